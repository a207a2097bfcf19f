// Writing sound files: the format and encoder lists, every pair written and
// read back (by the kit and by the ffmpeg tool), and the writer's failures.
#include "media/MediaFixtures.h"

#include "kit/media/MeasureAudio.h"
#include "kit/media/MediaFile.h"
#include "kit/media/MediaFormats.h"
#include "kit/media/MediaTrack.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>

using namespace media_test;

namespace {

constexpr int64 kWrittenFrames = 2 * 44100 + 317;

media_format CdInput(uint32 byteOrder = B_MEDIA_LITTLE_ENDIAN, uint32 channels = 2, float rate = 44100.0f)
{
	media_format format;
	format.type = B_MEDIA_RAW_AUDIO;
	format.u.raw_audio.frame_rate = rate;
	format.u.raw_audio.channel_count = channels;
	format.u.raw_audio.format = B_AUDIO_SHORT;
	format.u.raw_audio.byte_order = byteOrder;
	return format;
}

std::vector<int16_t> TestSignal(int64 frames)
{
	std::vector<int16_t> samples(size_t(frames) * 2);
	for (int64 i = 0; i < frames; i++) {
		samples[size_t(2 * i)] = int16_t(9000 * std::sin(double(i) * 0.0627) + (i % 7) * 3);
		samples[size_t(2 * i + 1)] = int16_t(-7000 * std::sin(double(i) * 0.0911));
	}
	return samples;
}

struct Pair {
	media_file_format format;
	media_codec_info codec;
};

std::vector<Pair> AllPairs(const media_format& input)
{
	std::vector<Pair> pairs;
	int32 cookie = 0;
	media_file_format format;
	while (get_next_file_format(&cookie, &format) == B_OK) {
		int32 encoderCookie = 0;
		media_codec_info codec;
		media_format output;
		while (get_next_encoder(&encoderCookie, &format, &input, &output, &codec) == B_OK)
			pairs.push_back({format, codec});
	}
	return pairs;
}

bool FindPair(const char* formatName, const char* codecName, Pair* pair)
{
	for (const Pair& p : AllPairs(CdInput())) {
		if (std::strcmp(p.format.short_name, formatName) == 0 && std::strcmp(p.codec.short_name, codecName) == 0) {
			*pair = p;
			return true;
		}
	}
	return false;
}

// Writes `samples` (host order stereo) in uneven pieces; the status of the
// first failing step.
status_t WriteFile(const std::string& path, const Pair& pair, const std::vector<int16_t>& samples,
	const media_format& input = CdInput(B_MEDIA_HOST_ENDIAN))
{
	entry_ref ref = Ref(path);
	BMediaFile file(&ref, &pair.format, B_MEDIA_FILE_REPLACE_MODE);
	if (file.InitCheck() != B_OK)
		return file.InitCheck();
	media_format format = input;
	BMediaTrack* track = file.CreateTrack(&format, &pair.codec);
	if (track == nullptr)
		return B_RESOURCE_UNAVAILABLE;
	status_t status = track->SetQuality(1.0f);
	if (status == B_OK)
		status = file.CommitHeader();
	const int64 frames = int64(samples.size() / 2);
	const int32 pieces[] = {1, 4095, 10000, 333, 44100};
	int64 done = 0;
	for (size_t i = 0; status == B_OK && done < frames; i++) {
		int32 n = int32(std::min<int64>(pieces[i % std::size(pieces)], frames - done));
		status = track->WriteFrames(samples.data() + done * 2, n);
		done += n;
	}
	if (status == B_OK) {
		EXPECT_EQ(frames, track->CountFrames());
	}
	status_t closed = file.ReleaseTrack(track);
	if (status == B_OK)
		status = closed;
	closed = file.CloseFile();
	return status != B_OK ? status : closed;
}

class MediaWritePairs : public ::testing::TestWithParam<Pair> {};

std::vector<Pair> ParamPairs()
{
	return AllPairs(CdInput());
}

}   // namespace

// The kit's file formats and encoders come in a fixed order, and the
// minimum set is there.
TEST(MediaFormats, FixedOrderOfFormatsAndEncoders)
{
	std::vector<std::string> listed;
	for (const Pair& pair : AllPairs(CdInput()))
		listed.push_back(std::string(pair.format.short_name) + "/" + pair.codec.short_name);
	const std::vector<std::string> expected = {"wav/raw-audio", "aiff/raw-audio", "flac/flac", "mp3/lame", "ogg/vorbis",
		"opus/opus", "m4a/aac", "m4a/alac"};
	EXPECT_EQ(expected, listed);

	int32 cookie = 0;
	media_file_format format;
	ASSERT_EQ(B_OK, get_next_file_format(&cookie, &format));
	EXPECT_STREQ("wav", format.short_name);
	EXPECT_STREQ("wav", format.file_extension);
	EXPECT_STREQ("audio/x-wav", format.mime_type);
	EXPECT_STRNE("", format.pretty_name);
	while (get_next_file_format(&cookie, &format) == B_OK) {
	}
	EXPECT_EQ(B_BAD_INDEX, get_next_file_format(&cookie, &format));
	EXPECT_EQ(B_BAD_VALUE, get_next_file_format(nullptr, &format));

	Pair mp3;
	ASSERT_TRUE(FindPair("mp3", "lame", &mp3));
	EXPECT_STREQ("MP3 (LAME)", mp3.codec.pretty_name);
	EXPECT_STREQ("audio/mpeg", mp3.format.mime_type);
}

// Encoders are offered for the input they can take: LAME takes no more
// than two channels and no rate it lacks; Opus takes 44.1 kHz by
// resampling it to 48 kHz in the writer.
TEST(MediaFormats, EncodersForAnInputFormat)
{
	auto names = [](const media_format& input) {
		std::vector<std::string> listed;
		for (const Pair& pair : AllPairs(input))
			listed.push_back(std::string(pair.format.short_name) + "/" + pair.codec.short_name);
		return listed;
	};
	std::vector<std::string> sixChannels = names(CdInput(B_MEDIA_LITTLE_ENDIAN, 6));
	EXPECT_EQ(std::count(sixChannels.begin(), sixChannels.end(), "mp3/lame"), 0);
	EXPECT_EQ(std::count(sixChannels.begin(), sixChannels.end(), "flac/flac"), 1);
	std::vector<std::string> oddRate = names(CdInput(B_MEDIA_LITTLE_ENDIAN, 2, 12345.0f));
	EXPECT_EQ(std::count(oddRate.begin(), oddRate.end(), "mp3/lame"), 0);
	EXPECT_EQ(std::count(oddRate.begin(), oddRate.end(), "wav/raw-audio"), 1);

	media_format floats = CdInput();
	floats.u.raw_audio.format = B_AUDIO_FLOAT;
	EXPECT_TRUE(AllPairs(floats).empty());

	Pair opus;
	ASSERT_TRUE(FindPair("opus", "opus", &opus));
	int32 cookie = 0;
	media_codec_info codec;
	media_format output;
	media_format input = CdInput();
	ASSERT_EQ(B_OK, get_next_encoder(&cookie, &opus.format, &input, &output, &codec));
	EXPECT_EQ(B_MEDIA_ENCODED_AUDIO, output.type);
	EXPECT_EQ(48000.0f, output.u.encoded_audio.output.frame_rate);
}

// Every pair writes a complete file that the kit and the ffmpeg tool read
// back with the frames written: lossless pairs bit-identical; lossy pairs
// with the exact length where the container keeps the encoder's priming and
// padding (MP3's encoder tag, Ogg granule positions, the MP4 edit list: the
// ffmpeg tool hands out AAC's padding after it, the kit does not), and for
// Opus at 48 kHz within the resampler's rounding.
TEST_P(MediaWritePairs, WritesCompleteFilesThatReadBack)
{
	const Pair& pair = GetParam();
	const std::string codec = pair.codec.short_name;
	const std::string path = FixtureFolder() + "/written-" + pair.format.short_name + "-" + codec + "."
		+ pair.format.file_extension;
	const std::vector<int16_t> samples = TestSignal(kWrittenFrames);
	ASSERT_EQ(B_OK, WriteFile(path, pair, samples));

	entry_ref ref = Ref(path);
	BMediaFile file(&ref);
	ASSERT_EQ(B_OK, file.InitCheck());
	ASSERT_EQ(1, file.CountTracks());
	BMediaTrack* track = file.TrackAt(0);
	const std::vector<uint8_t> decoded = ReadAll(track);
	std::vector<uint8_t> byFfmpeg = FfmpegDecode(path);
	if (codec == "aac") {
		ASSERT_GE(byFfmpeg.size(), decoded.size());
		byFfmpeg.resize(decoded.size());
		EXPECT_TRUE(byFfmpeg == decoded);
	}
	EXPECT_EQ(byFfmpeg.size(), decoded.size());

	const bool lossless = codec == "raw-audio" || codec == "flac" || codec == "alac";
	const int64 decodedFrames = int64(decoded.size() / 4);
	int64 exact = 0;
	EXPECT_EQ(B_OK, MeasureExactFrameCount(ref, 0, &exact));
	EXPECT_EQ(decodedFrames, exact);
	if (lossless) {
		ASSERT_EQ(samples.size() * 2, decoded.size());
		EXPECT_EQ(0, std::memcmp(samples.data(), decoded.data(), decoded.size()));
		EXPECT_EQ(kWrittenFrames, track->CountFrames());
	} else if (codec == "lame" || codec == "vorbis" || codec == "aac") {
		EXPECT_EQ(kWrittenFrames, decodedFrames);
		EXPECT_EQ(kWrittenFrames, track->CountFrames());
	} else if (codec == "opus") {
		const int64 expected = kWrittenFrames * 48000 / 44100;
		EXPECT_NEAR(double(expected), double(decodedFrames), 2.0);
		EXPECT_EQ(decodedFrames, track->CountFrames());
	} else {
		EXPECT_NEAR(double(kWrittenFrames), double(decodedFrames), 1024.0);
		EXPECT_NEAR(double(kWrittenFrames), double(track->CountFrames()), 1024.0);
	}
}

INSTANTIATE_TEST_SUITE_P(AllPairs, MediaWritePairs, ::testing::ValuesIn(ParamPairs()), [](const auto& info) {
	std::string name = std::string(info.param.format.short_name) + "_" + info.param.codec.short_name;
	for (char& c : name) {
		if (!std::isalnum(static_cast<unsigned char>(c)))
			c = '_';
	}
	return name;
});

// Big-endian input is written as the samples it stands for.
TEST(MediaWrite, BigEndianInput)
{
	Pair wav;
	ASSERT_TRUE(FindPair("wav", "raw-audio", &wav));
	std::vector<int16_t> samples = TestSignal(5000);
	std::vector<int16_t> swapped = samples;
	for (int16_t& s : swapped)
		s = int16_t(__builtin_bswap16(uint16_t(s)));
	const std::string path = FixtureFolder() + "/big-endian.wav";
	ASSERT_EQ(B_OK, WriteFile(path, wav, B_MEDIA_HOST_ENDIAN == B_MEDIA_LITTLE_ENDIAN ? swapped : samples,
		CdInput(B_MEDIA_BIG_ENDIAN)));
	entry_ref ref = Ref(path);
	BMediaFile file(&ref);
	const std::vector<uint8_t> decoded = ReadAll(file.TrackAt(0));
	ASSERT_EQ(samples.size() * 2, decoded.size());
	EXPECT_EQ(0, std::memcmp(samples.data(), decoded.data(), decoded.size()));
}

TEST(MediaWrite, MisuseIsRefused)
{
	Pair wav, mp3;
	ASSERT_TRUE(FindPair("wav", "raw-audio", &wav));
	ASSERT_TRUE(FindPair("mp3", "lame", &mp3));
	const std::string path = FixtureFolder() + "/misuse.wav";
	std::filesystem::remove(path);
	entry_ref ref = Ref(path);
	{
		BMediaFile file(&ref, &wav.format);
		ASSERT_EQ(B_OK, file.InitCheck());
		media_format input = CdInput();
		EXPECT_EQ(nullptr, file.CreateTrack(&input, &mp3.codec));   // another format's encoder
		media_format mono3 = CdInput(B_MEDIA_LITTLE_ENDIAN, 0);
		EXPECT_EQ(nullptr, file.CreateTrack(&mono3, &wav.codec));
		BMediaTrack* track = file.CreateTrack(&input, &wav.codec);
		ASSERT_NE(nullptr, track);
		EXPECT_EQ(nullptr, file.CreateTrack(&input, &wav.codec));   // one track per file
		EXPECT_EQ(B_BAD_VALUE, track->SetQuality(1.5f));
		int16_t frame[2] = {1, 2};
		EXPECT_EQ(B_NO_INIT, track->WriteFrames(frame, 1));
		EXPECT_EQ(B_OK, file.CommitHeader());
		EXPECT_EQ(B_NOT_ALLOWED, track->SetQuality(0.5f));
		int64 frames = 0;
		EXPECT_EQ(B_NOT_ALLOWED, track->ReadFrames(frame, &frames));
		media_format decoded;
		EXPECT_EQ(B_NOT_ALLOWED, track->DecodedFormat(&decoded));
		EXPECT_EQ(B_OK, track->WriteFrames(frame, 1));
		// The file is completed by its destructor.
	}
	entry_ref again = Ref(path);
	BMediaFile readBack(&again);
	ASSERT_EQ(B_OK, readBack.InitCheck());
	EXPECT_EQ(1, readBack.TrackAt(0)->CountFrames());

	// Without the replace mode an existing file stays as it is.
	BMediaFile existing(&ref, &wav.format);
	EXPECT_EQ(B_FILE_EXISTS, existing.InitCheck());

	media_file_format bogus = wav.format;
	std::strcpy(bogus.short_name, "nope");
	BMediaFile unknown(&ref, &bogus, B_MEDIA_FILE_REPLACE_MODE);
	EXPECT_EQ(B_MEDIA_NO_HANDLER, unknown.InitCheck());
}

// A full disk is a status, not a truncated file reported as written.
TEST(MediaWrite, FullDeviceIsReported)
{
	if (!std::filesystem::exists("/dev/full"))
		GTEST_SKIP() << "no /dev/full";
	Pair wav;
	ASSERT_TRUE(FindPair("wav", "raw-audio", &wav));
	EXPECT_EQ(B_DEVICE_FULL, WriteFile("/dev/full", wav, TestSignal(50000)));
}
