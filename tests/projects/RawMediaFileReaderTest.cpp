// CRawMediaFileReader: the CD audio of files made at test time, delivered
// in whole frames, cut or padded to the stated frame count, with its
// console lines.
#include "DebugCapture.h"
#include "projects/RawMediaFileReader.h"

#include "frame/Diagnostics.h"
#include "kit/media/MediaDefs.h"
#include "media/MediaFixtures.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

using namespace media_test;

namespace {

// Reads the whole file in requests of `request` frames; every request is
// answered in full until the last.
std::vector<uint8_t> ReadInRequests(CRawMediaFileReader& reader, int32 request)
{
	std::vector<uint8_t> all;
	std::vector<uint8_t> buffer(size_t(request) * 4);
	for (;;) {
		int32 frames = request;
		EXPECT_EQ(B_OK, reader.ReadFrames(buffer.data(), &frames));
		if (frames == 0)
			break;
		EXPECT_LE(frames, request);
		all.insert(all.end(), buffer.begin(), buffer.begin() + frames * 4);
		if (frames < request) {
			int32 more = request;
			EXPECT_EQ(B_OK, reader.ReadFrames(buffer.data(), &more));
			EXPECT_EQ(0, more);
			break;
		}
	}
	return all;
}

std::string WriteShortWav()
{
	// The header states 10000 frames; 4000 are there.
	std::vector<int16_t> samples(4000 * 2);
	for (size_t i = 0; i < samples.size(); i++)
		samples[i] = int16_t(i % 2000 + 1);
	const std::string path = FixtureFolder() + "/short.wav";
	WriteWav(path, samples, 10000, 10000);
	return path;
}

}   // namespace

// Requests of one sector (588 frames) deliver the decoded frames in order,
// without gaps or repeats, across decoder buffers and the last short one.
TEST(RawMediaFileReader, DeliversCdAudioInSectors)
{
	for (const char* name : {"cd.wav", "cd.flac", "cd.ogg", "cd.aiff"}) {
		const std::string path = Fixture(name);
		CapturedOutput output;
		CRawMediaFileReader reader;
		ASSERT_EQ(B_OK, reader.SetTo(Ref(path))) << name;
		EXPECT_EQ(4, reader.FrameSize());
		EXPECT_EQ(uint32(B_MEDIA_HOST_ENDIAN), reader.ByteOrder());
		EXPECT_EQ(kCdFrames, reader.CountFrames()) << name;
		const std::vector<uint8_t> delivered = ReadInRequests(reader, 588);
		EXPECT_EQ(FfmpegDecode(path), delivered) << name;
		EXPECT_EQ(std::string::npos, output.Text().find("error!")) << name << output.Text();
	}
}

// The first suitable track is read, after a video track.
TEST(RawMediaFileReader, PicksTheAudioTrack)
{
	const std::string path = Fixture("video_first.mov");
	CRawMediaFileReader reader;
	ASSERT_EQ(B_OK, reader.SetTo(Ref(path)));
	EXPECT_EQ(kCdFrames, reader.CountFrames());
	EXPECT_EQ(FfmpegDecode(path, "-map 0:a"), ReadInRequests(reader, 10000));
}

TEST(RawMediaFileReader, RefusesFilesWithoutCdAudio)
{
	struct Case {
		const char* name;
		status_t status;
	} cases[] = {{"hz48.wav", B_ERROR}, {"mono.wav", B_ERROR}, {"cd.opus", B_ERROR}, {"metadata.txt", B_ERROR},
		{"notes.txt", B_MEDIA_NO_HANDLER}};
	for (const Case& c : cases) {
		CRawMediaFileReader reader;
		EXPECT_EQ(c.status, reader.SetTo(Ref(Fixture(c.name)))) << c.name;
	}
	CRawMediaFileReader missing;
	EXPECT_EQ(B_ENTRY_NOT_FOUND, missing.SetTo(Ref(FixtureFolder() + "/gone.wav")));

	// Once per reader.
	CRawMediaFileReader reader;
	ASSERT_EQ(B_OK, reader.SetTo(Ref(Fixture("cd.wav"))));
	EXPECT_EQ(B_NOT_ALLOWED, reader.SetTo(Ref(Fixture("cd.wav"))));
}

// Never more than remain: 1000 wanted with 600 left gives 600.
TEST(RawMediaFileReader, DeliversNoMoreThanRemain)
{
	CRawMediaFileReader reader;
	ASSERT_EQ(B_OK, reader.SetTo(Ref(Fixture("cd.flac"))));
	std::vector<uint8_t> buffer(size_t(kCdFrames) * 4);
	int32 frames = int32(kCdFrames - 600);
	ASSERT_EQ(B_OK, reader.ReadFrames(buffer.data(), &frames));
	ASSERT_EQ(kCdFrames - 600, frames);
	frames = 1000;
	EXPECT_EQ(B_OK, reader.ReadFrames(buffer.data(), &frames));
	EXPECT_EQ(600, frames);
	frames = 1000;
	EXPECT_EQ(B_OK, reader.ReadFrames(buffer.data(), &frames));
	EXPECT_EQ(0, frames);
	frames = -5;
	EXPECT_EQ(B_OK, reader.ReadFrames(buffer.data(), &frames));
	EXPECT_EQ(0, frames);
}

// A file that decodes shorter than it states is padded with zero frames up
// to its count, and says so.
TEST(RawMediaFileReader, PadsAShortFileWithSilence)
{
	const std::string path = WriteShortWav();
	CapturedOutput output;
	std::vector<uint8_t> delivered;
	{
		CRawMediaFileReader reader;
		ASSERT_EQ(B_OK, reader.SetTo(Ref(path)));
		ASSERT_EQ(10000, reader.CountFrames());
		delivered = ReadInRequests(reader, 3000);
	}
	ASSERT_EQ(10000u * 4, delivered.size());
	const std::vector<uint8_t> bytes = ReadFileBytes(path);
	const size_t dataStart = bytes.size() - 4000 * 4;
	EXPECT_EQ(0, std::memcmp(bytes.data() + dataStart, delivered.data(), 4000 * 4));
	EXPECT_EQ(std::vector<uint8_t>(6000 * 4, 0), std::vector<uint8_t>(delivered.begin() + 4000 * 4, delivered.end()));

	const std::string text = output.Text();
	EXPECT_NE(std::string::npos, text.find("CRawMediaFileReader: error! not enough frames, padding with zero bytes, "
		"FramesToRead = 2000, track_rest_frames = 6000\n")) << text;
	EXPECT_NE(std::string::npos, text.find("CRawMediaFileReader: error! not enough frames, padding with zero bytes, "
		"FramesToRead = 3000, track_rest_frames = 4000\n")) << text;
	EXPECT_NE(std::string::npos, text.find("CRawMediaFileReader: error! file 'short.wav' was 6000 frames shorter "
		"than expected\n")) << text;
}

// AAC in MP4 and MP3 give exactly the frames that were encoded: the
// count is the encoder's input, and no frame is padded or cut (the ffmpeg
// tool of this FFmpeg decodes AAC's last frame whole: its frames run on).
TEST(RawMediaFileReader, ReadsLossyFilesGaplessly)
{
	for (const char* name : {"cd.m4a", "cd.mp3"}) {
		const std::string path = Fixture(name);
		CapturedOutput output;
		std::vector<uint8_t> delivered;
		int64 count = 0;
		{
			CRawMediaFileReader reader;
			ASSERT_EQ(B_OK, reader.SetTo(Ref(path)));
			count = reader.CountFrames();
			delivered = ReadInRequests(reader, 588);
		}
		EXPECT_EQ(kCdFrames, count) << name;
		const std::vector<uint8_t> decoded = FfmpegDecode(path);
		ASSERT_GE(decoded.size(), size_t(count) * 4) << name;
		ASSERT_EQ(size_t(count) * 4, delivered.size()) << name;
		EXPECT_TRUE(std::equal(delivered.begin(), delivered.end(), decoded.begin())) << name;
		EXPECT_EQ(std::string::npos, output.Text().find("error!")) << name << ": " << output.Text();
	}
}

// Rewind starts over at frame 0 and drops what was buffered from before,
// so the next frames are the file's first ones.
TEST(RawMediaFileReader, RewindDropsBufferedFrames)
{
	for (const char* name : {"cd.flac", "cd.mp3"}) {
		const std::string path = Fixture(name);
		CapturedOutput output;
		CRawMediaFileReader reader;
		ASSERT_EQ(B_OK, reader.SetTo(Ref(path)));
		std::vector<uint8_t> buffer(1000 * 4);
		int32 frames = 1000;
		ASSERT_EQ(B_OK, reader.ReadFrames(buffer.data(), &frames));
		const std::vector<uint8_t> first(buffer.begin(), buffer.end());
		ASSERT_EQ(B_OK, reader.ReadFrames(buffer.data(), &frames));

		EXPECT_EQ(B_OK, reader.Rewind());
		frames = 1000;
		ASSERT_EQ(B_OK, reader.ReadFrames(buffer.data(), &frames));
		EXPECT_EQ(first, buffer) << name;

		EXPECT_EQ(B_OK, reader.Rewind());
		std::vector<uint8_t> whole = ReadInRequests(reader, 588);
		EXPECT_EQ(size_t(reader.CountFrames()) * 4, whole.size()) << name;
		std::vector<uint8_t> decoded = FfmpegDecode(path);
		EXPECT_TRUE(std::equal(decoded.begin(), decoded.end(), whole.begin())) << name;
		EXPECT_EQ(std::string::npos, output.Text().find("Couldn't seek")) << name;
	}
}
