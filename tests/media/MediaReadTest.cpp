// Reading sound files: negotiation, whole-frame reads, the end, seeking,
// exact lengths, and files that are not (CD) audio.
#include "media/MediaFixtures.h"

#include "kit/media/MeasureAudio.h"
#include "kit/media/MediaFile.h"
#include "kit/media/MediaTrack.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

using namespace media_test;

namespace {

media_format RawAudioRequest(size_t bufferSize = 0)
{
	media_format format;
	format.type = B_MEDIA_RAW_AUDIO;
	format.u.raw_audio.buffer_size = bufferSize;
	return format;
}

class MediaReadFormats : public ::testing::TestWithParam<const char*> {};

}   // namespace

// Every CD audio fixture decodes to exactly what the ffmpeg tool decodes,
// in full buffers until the last, then B_LAST_BUFFER_ERROR for good.
TEST_P(MediaReadFormats, DecodesLikeFfmpegInWholeBuffers)
{
	const std::string path = Fixture(GetParam());
	entry_ref ref = Ref(path);
	BMediaFile file(&ref, B_MEDIA_FILE_BIG_BUFFERS);
	ASSERT_EQ(B_OK, file.InitCheck());
	ASSERT_EQ(1, file.CountTracks());
	BMediaTrack* track = file.TrackAt(0);
	ASSERT_NE(nullptr, track);

	// Wishes for another rate and channel count are not obeyed: the file's
	// own form is offered.
	media_format format = RawAudioRequest(10000);
	format.u.raw_audio.frame_rate = 22050.0f;
	format.u.raw_audio.channel_count = 1;
	format.u.raw_audio.format = B_AUDIO_FLOAT;
	ASSERT_EQ(B_OK, track->DecodedFormat(&format));
	const bool opus = std::string(GetParam()) == "cd.opus";
	EXPECT_EQ(B_MEDIA_RAW_AUDIO, format.type);
	EXPECT_EQ(opus ? 48000.0f : 44100.0f, format.u.raw_audio.frame_rate);
	EXPECT_EQ(2u, format.u.raw_audio.channel_count);
	EXPECT_EQ(uint32(B_AUDIO_SHORT), format.u.raw_audio.format);
	EXPECT_EQ(uint32(B_MEDIA_HOST_ENDIAN), format.u.raw_audio.byte_order);
	EXPECT_EQ(10000u, format.u.raw_audio.buffer_size);   // 2500 whole frames

	std::vector<uint8_t> decoded;
	std::vector<uint8_t> buffer(format.u.raw_audio.buffer_size);
	int64 frames = 0;
	int64 shortReads = 0;
	status_t status;
	while ((status = track->ReadFrames(buffer.data(), &frames)) == B_OK) {
		ASSERT_GT(frames, 0);
		ASSERT_LE(frames, 2500);
		shortReads += frames < 2500 ? 1 : 0;
		decoded.insert(decoded.end(), buffer.begin(), buffer.begin() + frames * 4);
	}
	EXPECT_EQ(B_LAST_BUFFER_ERROR, status);
	EXPECT_EQ(0, frames);
	EXPECT_EQ(B_LAST_BUFFER_ERROR, track->ReadFrames(buffer.data(), &frames));
	EXPECT_LE(shortReads, 1);
	std::vector<uint8_t> reference = FfmpegDecode(path);
	if (std::string(GetParam()) == "cd.m4a") {
		// The ffmpeg tool hands out the AAC padding after the length that
		// the MP4 file states; the kit stops there.
		EXPECT_EQ(kCdFrames * 4, int64(decoded.size()));
		ASSERT_GE(reference.size(), decoded.size());
		reference.resize(decoded.size());
	}
	EXPECT_EQ(reference, decoded);
	EXPECT_EQ(int64(decoded.size() / 4), track->CurrentFrame());

	int64 exact = -1;
	EXPECT_EQ(B_OK, MeasureExactFrameCount(ref, 0, &exact));
	EXPECT_EQ(int64(decoded.size() / 4), exact);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, MediaReadFormats,
	::testing::Values("cd.wav", "cd.aiff", "cd.flac", "cd.mp3", "cd.ogg", "cd.opus", "cd.m4a"),
	[](const auto& info) {
		std::string name = info.param;
		return name.substr(name.find('.') + 1);
	});

// The stated length: exact for PCM, FLAC, Vorbis and Opus, and for MP3
// with the encoder's delay and padding in its Info frame.
TEST(MediaRead, CountFramesIsTheFilesStatedLength)
{
	for (const char* name : {"cd.wav", "cd.aiff", "cd.flac", "cd.ogg"}) {
		entry_ref ref = Ref(Fixture(name));
		BMediaFile file(&ref);
		ASSERT_EQ(B_OK, file.InitCheck()) << name;
		EXPECT_EQ(kCdFrames, file.TrackAt(0)->CountFrames()) << name;
		EXPECT_EQ(kCdFrames * 1000000 / 44100, file.TrackAt(0)->Duration()) << name;
	}
	// Opus states its priming apart; the stated length is what decodes.
	entry_ref opusRef = Ref(Fixture("cd.opus"));
	BMediaFile opus(&opusRef);
	int64 opusExact = 0;
	EXPECT_EQ(B_OK, MeasureExactFrameCount(opusRef, 0, &opusExact));
	EXPECT_EQ(opusExact, opus.TrackAt(0)->CountFrames());

	entry_ref mp3Ref = Ref(Fixture("cd.mp3"));
	BMediaFile mp3(&mp3Ref);
	EXPECT_EQ(kCdFrames, mp3.TrackAt(0)->CountFrames());
	int64 exact = 0;
	EXPECT_EQ(B_OK, MeasureExactFrameCount(mp3Ref, 0, &exact));
	EXPECT_EQ(kCdFrames, exact);
}

// Other rates, channel counts and sample formats are offered as they are,
// always as 16-bit samples.
TEST(MediaRead, OffersTheFilesOwnRateChannelsAsShorts)
{
	struct Case {
		const char* name;
		float rate;
		uint32 channels;
	} cases[] = {{"hz48.wav", 48000.0f, 2}, {"mono.wav", 44100.0f, 1}, {"s24.flac", 44100.0f, 2},
		{"float.wav", 44100.0f, 2}};
	for (const Case& c : cases) {
		const std::string path = Fixture(c.name);
		entry_ref ref = Ref(path);
		BMediaFile file(&ref);
		ASSERT_EQ(B_OK, file.InitCheck()) << c.name;
		BMediaTrack* track = file.TrackAt(0);
		media_format format = RawAudioRequest();
		format.u.raw_audio.frame_rate = 44100.0f;
		format.u.raw_audio.channel_count = 2;
		ASSERT_EQ(B_OK, track->DecodedFormat(&format)) << c.name;
		EXPECT_EQ(c.rate, format.u.raw_audio.frame_rate) << c.name;
		EXPECT_EQ(c.channels, format.u.raw_audio.channel_count) << c.name;
		EXPECT_EQ(uint32(B_AUDIO_SHORT), format.u.raw_audio.format) << c.name;
		EXPECT_EQ(0u, format.u.raw_audio.buffer_size % (2 * c.channels)) << c.name;
		EXPECT_EQ(FfmpegDecode(path), ReadAll(track)) << c.name;
	}
}

// A video track and cover art are tracks, but raw audio cannot be
// negotiated on them; the audio track beside them decodes.
TEST(MediaRead, VideoAndCoverArtAreTracksThatDoNotDecode)
{
	struct Case {
		const char* name;
		int32 videoIndex;
		int32 audioIndex;
	} cases[] = {{"video_first.mov", 0, 1}, {"cover.mp3", 1, 0}};
	for (const Case& c : cases) {
		const std::string path = Fixture(c.name);
		entry_ref ref = Ref(path);
		BMediaFile file(&ref);
		ASSERT_EQ(B_OK, file.InitCheck()) << c.name;
		ASSERT_EQ(2, file.CountTracks()) << c.name;

		BMediaTrack* video = file.TrackAt(c.videoIndex);
		media_format encoded;
		EXPECT_EQ(B_OK, video->EncodedFormat(&encoded));
		EXPECT_EQ(B_MEDIA_ENCODED_VIDEO, encoded.type) << c.name;
		media_format format = RawAudioRequest();
		EXPECT_EQ(B_MEDIA_BAD_FORMAT, video->DecodedFormat(&format)) << c.name;
		int64 frames = 0;
		char buffer[64];
		EXPECT_EQ(B_MEDIA_BAD_FORMAT, video->ReadFrames(buffer, &frames));

		BMediaTrack* audio = file.TrackAt(c.audioIndex);
		EXPECT_EQ(B_OK, audio->EncodedFormat(&encoded));
		EXPECT_TRUE(encoded.IsAudio()) << c.name;
		EXPECT_EQ(FfmpegDecode(path, "-map 0:a"), ReadAll(audio)) << c.name;
	}
}

TEST(MediaRead, FilesThatAreNotMedia)
{
	entry_ref notes = Ref(Fixture("notes.txt"));
	EXPECT_EQ(B_MEDIA_NO_HANDLER, BMediaFile(&notes).InitCheck());

	const std::string empty = FixtureFolder() + "/empty.wav";
	std::ofstream(empty).close();
	entry_ref emptyRef = Ref(empty);
	EXPECT_EQ(B_MEDIA_NO_HANDLER, BMediaFile(&emptyRef).InitCheck());

	entry_ref missing = Ref(FixtureFolder() + "/missing.wav");
	EXPECT_EQ(B_ENTRY_NOT_FOUND, BMediaFile(&missing).InitCheck());

	entry_ref folder = Ref(FixtureFolder());
	EXPECT_EQ(B_IS_A_DIRECTORY, BMediaFile(&folder).InitCheck());

	entry_ref metadata = Ref(Fixture("metadata.txt"));
	BMediaFile noStreams(&metadata);
	EXPECT_EQ(B_OK, noStreams.InitCheck());
	EXPECT_EQ(0, noStreams.CountTracks());
	EXPECT_EQ(nullptr, noStreams.TrackAt(0));

	// A stream whose codec no decoder knows.
	entry_ref unknown = Ref(Fixture("unknown_codec.wav"));
	BMediaFile file(&unknown);
	ASSERT_EQ(B_OK, file.InitCheck());
	ASSERT_EQ(1, file.CountTracks());
	media_format format = RawAudioRequest();
	EXPECT_EQ(B_MEDIA_NO_HANDLER, file.TrackAt(0)->DecodedFormat(&format));
}

// Names are names: a colon or a protocol-like prefix never reaches FFmpeg's
// protocol layer.
TEST(MediaRead, PathsAreNeverUrls)
{
	for (const char* name : {"http:song.wav", "Artist: Title.wav", "file:x.wav"}) {
		const std::string path = FixtureFolder() + "/" + name;
		std::filesystem::copy_file(Fixture("cd.wav"), path, std::filesystem::copy_options::overwrite_existing);
		entry_ref ref = Ref(path);
		BMediaFile file(&ref);
		ASSERT_EQ(B_OK, file.InitCheck()) << name;
		EXPECT_EQ(kCdFrames, file.TrackAt(0)->CountFrames()) << name;
	}
}

// Seeking lands exactly, for every codec; a track released and taken again
// starts from frame 0.
TEST(MediaRead, SeekToFrameIsExact)
{
	for (const char* name : {"cd.wav", "cd.flac", "cd.mp3", "cd.ogg", "cd.aiff"}) {
		const std::string path = Fixture(name);
		entry_ref ref = Ref(path);
		BMediaFile file(&ref);
		BMediaTrack* track = file.TrackAt(0);
		const std::vector<uint8_t> whole = ReadAll(track, 4096);
		ASSERT_EQ(size_t(kCdFrames * 4), whole.size()) << name;

		std::vector<uint8_t> buffer(4096);
		for (int64 target : {int64(0), int64(1), int64(1151), int64(44100), kCdFrames - 100}) {
			int64 frame = target;
			ASSERT_EQ(B_OK, track->SeekToFrame(&frame)) << name << " " << target;
			EXPECT_EQ(target, frame) << name;
			EXPECT_EQ(target, track->CurrentFrame()) << name;
			int64 frames = 0;
			ASSERT_EQ(B_OK, track->ReadFrames(buffer.data(), &frames)) << name;
			ASSERT_EQ(std::min<int64>(1024, kCdFrames - target), frames) << name;
			EXPECT_EQ(0, std::memcmp(buffer.data(), whole.data() + target * 4, size_t(frames) * 4))
				<< name << " at " << target;
		}
		int64 beyond = kCdFrames + 5000;
		EXPECT_EQ(B_OK, track->SeekToFrame(&beyond));
		EXPECT_EQ(kCdFrames, beyond) << name;

		file.ReleaseTrack(track);
		EXPECT_EQ(whole, ReadAll(file.TrackAt(0), 4096)) << name;
	}
}

// Two tracks of one file read independently.
TEST(MediaRead, TracksReadIndependently)
{
	const std::string path = Fixture("video_first.mov");
	entry_ref ref = Ref(path);
	BMediaFile a(&ref);
	BMediaFile b(&ref);
	BMediaTrack* first = a.TrackAt(1);
	BMediaTrack* second = b.TrackAt(1);
	media_format format = RawAudioRequest(4000);
	ASSERT_EQ(B_OK, first->DecodedFormat(&format));
	ASSERT_EQ(B_OK, second->DecodedFormat(&format));
	std::vector<uint8_t> x(4000), y(4000);
	int64 n = 0;
	ASSERT_EQ(B_OK, first->ReadFrames(x.data(), &n));
	ASSERT_EQ(B_OK, first->ReadFrames(x.data(), &n));
	ASSERT_EQ(B_OK, second->ReadFrames(y.data(), &n));
	ASSERT_EQ(B_OK, second->ReadFrames(y.data(), &n));
	EXPECT_EQ(x, y);
}

// A file cut short ends early: the stated length stays, the exact
// measurement and the decoded frames give what is there.
TEST(MediaRead, TruncatedFilesEndEarly)
{
	for (const char* name : {"cd.wav", "cd.flac", "cd.mp3"}) {
		const std::vector<uint8_t> bytes = ReadFileBytes(Fixture(name));
		const std::string path = FixtureFolder() + "/truncated-" + name;
		std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
			std::streamsize(bytes.size() / 2));
		entry_ref ref = Ref(path);
		BMediaFile file(&ref);
		ASSERT_EQ(B_OK, file.InitCheck()) << name;
		BMediaTrack* track = file.TrackAt(0);
		status_t status = B_OK;
		const std::vector<uint8_t> decoded = ReadAll(track, 0, &status);
		EXPECT_TRUE(status == B_LAST_BUFFER_ERROR || status == B_MEDIA_BAD_FORMAT) << name << " " << status;
		EXPECT_GT(decoded.size(), 0u) << name;
		EXPECT_LT(int64(decoded.size() / 4), kCdFrames * 3 / 4) << name;
		int64 exact = 0;
		EXPECT_EQ(B_OK, MeasureExactFrameCount(ref, 0, &exact)) << name;
		EXPECT_EQ(int64(decoded.size() / 4), exact) << name;
	}
}

// A PCM file's exact length comes from its data, also when chunks follow
// the data; it never counts a chunk as audio.
TEST(MediaRead, ExactPcmLengthIgnoresTrailingChunks)
{
	std::vector<uint8_t> bytes = ReadFileBytes(Fixture("cd.wav"));
	const char trailer[] = "LIST\x0c\0\0\0INFOISFT\0\0\0\0";
	bytes.insert(bytes.end(), trailer, trailer + 20);
	const uint32_t riffSize = uint32_t(bytes.size() - 8);
	std::memcpy(bytes.data() + 4, &riffSize, 4);
	const std::string path = FixtureFolder() + "/trailing-chunk.wav";
	std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
		std::streamsize(bytes.size()));
	int64 exact = 0;
	EXPECT_EQ(B_OK, MeasureExactFrameCount(Ref(path), 0, &exact));
	EXPECT_EQ(kCdFrames, exact);
	EXPECT_EQ(B_BAD_INDEX, MeasureExactFrameCount(Ref(path), 3, &exact));
}
