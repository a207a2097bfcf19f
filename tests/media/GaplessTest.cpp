// Every compressed format the kit reads delivers exactly the frames that
// were encoded: the encoder's priming and padding that the file declares
// are never handed out.
#include "kit/media/MeasureAudio.h"
#include "kit/media/Mp3Gap.h"

#include "media/MediaFixtures.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <memory>

using namespace media_test;

namespace {

struct EncodedFormat {
	const char* label;
	const char* encoder;    // ffmpeg's encoder name
	const char* fileName;
	const char* options;
};

// Whether the installed ffmpeg tool has `encoder`.
bool HasEncoder(const std::string& encoder)
{
	std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen("ffmpeg -hide_banner -encoders 2>/dev/null", "r"), pclose);
	if (!pipe)
		return false;
	char line[512];
	while (fgets(line, sizeof(line), pipe.get()) != nullptr) {
		char flags[16];
		char name[128];
		if (sscanf(line, " %15s %127s", flags, name) == 2 && encoder == name)
			return true;
	}
	return false;
}

class GaplessDecoding : public ::testing::TestWithParam<EncodedFormat> {};

// Ten seconds of a 440 Hz tone: 441000 frames at 44.1 kHz, stereo.
constexpr int64_t kEncodedFrames = 441000;

}   // namespace

TEST_P(GaplessDecoding, DeliversTheFramesThatWereEncoded)
{
	const EncodedFormat& format = GetParam();
	if (!HasEncoder(format.encoder))
		GTEST_SKIP() << "the installed ffmpeg has no " << format.encoder << " encoder: " << format.label
					 << " not tested";
	const std::string path = FixtureFolder() + "/gapless-" + format.fileName;
	ASSERT_TRUE(RunFfmpeg(std::string("-f lavfi -i sine=f=440:d=10 -ac 2 -c:a ") + format.encoder + " "
		+ format.options + " " + Quote(path)));

	entry_ref ref = Ref(path);
	BMediaFile file(&ref);
	ASSERT_EQ(B_OK, file.InitCheck());
	BMediaTrack* track = file.TrackAt(0);
	ASSERT_NE(nullptr, track);
	// The stated length is what the reader gets (a reader that trusts it
	// pads or cuts nothing).
	EXPECT_EQ(kEncodedFrames, track->CountFrames()) << format.label;
	status_t status = B_OK;
	const std::vector<uint8_t> decoded = ReadAll(track, 0, &status);
	EXPECT_EQ(B_LAST_BUFFER_ERROR, status);
	EXPECT_EQ(kEncodedFrames, int64_t(decoded.size() / 4)) << format.label;
	EXPECT_EQ(kEncodedFrames, track->CurrentFrame()) << format.label;
	// The priming is gone from the start, not frames from the end: the
	// frames are the ffmpeg tool's, which drops the priming too.
	std::vector<uint8_t> reference = FfmpegDecode(path);
	ASSERT_GE(reference.size(), decoded.size());
	reference.resize(decoded.size());
	EXPECT_TRUE(reference == decoded) << format.label << ": the frames differ from the ffmpeg tool's";

	// A seek past the end stops at the last encoded frame.
	int64 frame = kEncodedFrames + 5000;
	EXPECT_EQ(B_OK, track->SeekToFrame(&frame));
	EXPECT_EQ(kEncodedFrames, frame) << format.label;

	int64 exact = -1;
	EXPECT_EQ(B_OK, MeasureExactFrameCount(ref, 0, &exact));
	EXPECT_EQ(kEncodedFrames, exact) << format.label;
	file.ReleaseTrack(track);
}

INSTANTIATE_TEST_SUITE_P(Formats, GaplessDecoding,
	::testing::Values(EncodedFormat {"MP3", "libmp3lame", "tone.mp3", "-q:a 2"},
		EncodedFormat {"AAC in M4A", "aac", "tone-aac.m4a", "-b:a 160k"},
		EncodedFormat {"Vorbis", "libvorbis", "tone.ogg", "-q:a 4"},
		EncodedFormat {"FLAC", "flac", "tone.flac", ""},
		EncodedFormat {"WavPack", "wavpack", "tone.wv", ""},
		EncodedFormat {"ALAC in M4A", "alac", "tone-alac.m4a", ""}),
	[](const auto& info) {
		std::string name;
		for (const char* c = info.param.label; *c != '\0'; c++) {
			if (std::isalnum(static_cast<unsigned char>(*c)))
				name += *c;
		}
		return name;
	});

// The Info frame of a real file, cut at every length and damaged: never a
// read past the bytes given, and counts only from a whole extension.
TEST(Mp3EncoderGap, ReadsTheInfoFrameAndRefusesEveryShortOrDamagedOne)
{
	if (!HasEncoder("libmp3lame"))
		GTEST_SKIP() << "the installed ffmpeg has no libmp3lame encoder: the Info frame is not tested";
	const std::string path = FixtureFolder() + "/gap-info.mp3";
	ASSERT_TRUE(RunFfmpeg("-f lavfi -i sine=f=440:d=1 -ac 2 -c:a libmp3lame -q:a 2 -id3v2_version 3 "
		"-metadata title=Tone " + Quote(path)));
	const std::vector<uint8_t> file = ReadFileBytes(path);
	const size_t tag = Id3v2TagSize(file.data(), file.size());
	ASSERT_GT(tag, 10u);
	ASSERT_LT(tag, file.size());
	const std::vector<uint8_t> head(file.begin() + std::ptrdiff_t(tag), file.end());

	Mp3EncoderGap gap;
	ASSERT_TRUE(ParseMp3EncoderGap(head.data(), head.size(), 0, &gap));
	EXPECT_EQ(1152, gap.samplesPerFrame);
	EXPECT_EQ(44100, gap.sampleRate);
	EXPECT_EQ(44100, Mp3GaplessSampleCount(gap));

	size_t firstWhole = 0;
	for (size_t length = 0; length < 300 && length <= head.size(); length++) {
		// A copy of exactly `length` bytes, so that a tool like ASan sees
		// any read past it.
		std::vector<uint8_t> cut(head.begin(), head.begin() + std::ptrdiff_t(length));
		Mp3EncoderGap partial;
		const bool parsed = ParseMp3EncoderGap(cut.data(), cut.size(), 0, &partial);
		if (parsed && firstWhole == 0)
			firstWhole = length;
		EXPECT_EQ(parsed, firstWhole != 0 && length >= firstWhole) << length;
	}
	EXPECT_GT(firstWhole, 36u + 120u);   // header, side information, Xing fields, extension

	std::vector<uint8_t> damaged = head;
	damaged[37] = '?';   // neither "Xing" nor "Info"
	EXPECT_FALSE(ParseMp3EncoderGap(damaged.data(), damaged.size(), 0, &gap));
	damaged = head;
	damaged[1] = 0xF9;   // layer bits 00: reserved
	EXPECT_FALSE(ParseMp3EncoderGap(damaged.data(), damaged.size(), 0, &gap));
	// Junk before the frame is skipped only as far as allowed.
	std::vector<uint8_t> junk(100, 0);
	junk.insert(junk.end(), head.begin(), head.end());
	EXPECT_FALSE(ParseMp3EncoderGap(junk.data(), junk.size(), 99, &gap));
	EXPECT_TRUE(ParseMp3EncoderGap(junk.data(), junk.size(), 100, &gap));

	// ID3v2 sizes are synchsafe; a size byte with its top bit set is no tag.
	const uint8_t id3[10] = {'I', 'D', '3', 4, 0, 0x10, 0, 0, 0x02, 0x01};
	EXPECT_EQ(10u + 257u + 10u, Id3v2TagSize(id3, sizeof(id3)));
	const uint8_t bad[10] = {'I', 'D', '3', 4, 0, 0, 0x80, 0, 0, 0};
	EXPECT_EQ(0u, Id3v2TagSize(bad, sizeof(bad)));
	EXPECT_EQ(0u, Id3v2TagSize(id3, 9));
}
