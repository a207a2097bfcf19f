// Audio file inspection (on files made at test time) and the extension rule.
#include "projects/AudioFileInfo.h"

#include "media/MediaFixtures.h"

#include <gtest/gtest.h>

#include <thread>

using namespace media_test;

namespace {

std::string ErrorDetail(status_t status)
{
	return std::to_string(uint32(status)) + " (" + StatusText(status) + ").\n";
}

struct Inspection {
	status_t status;
	bool isAudio;
	int64 frames;
	std::string info;
};

Inspection Inspect(const std::string& path)
{
	Inspection result {B_ERROR, true, -1, "untouched"};
	result.status = GetMediaFileInfo(Ref(path), result.isAudio, result.frames, result.info);
	return result;
}

}   // namespace

TEST(GetMediaFileInfo, CdAudioFilesWithTheirFrameCounts)
{
	// A 24-bit FLAC counts too: its decoder offers 16-bit samples itself.
	for (const char* name : {"cd.wav", "cd.aiff", "cd.flac", "cd.ogg", "s24.flac", "video_first.mov"}) {
		Inspection result = Inspect(Fixture(name));
		EXPECT_EQ(B_OK, result.status) << name;
		EXPECT_TRUE(result.isAudio) << name;
		EXPECT_EQ(kCdFrames, result.frames) << name;
		EXPECT_EQ("", result.info) << name;
	}
	// MP3 states its length with the encoder's priming and padding; the
	// exact measurement gives the frames themselves.
	for (const char* name : {"cd.mp3", "cover.mp3"}) {
		Inspection result = Inspect(Fixture(name));
		EXPECT_EQ(B_OK, result.status) << name;
		EXPECT_TRUE(result.isAudio) << name;
		EXPECT_GE(result.frames, kCdFrames) << name;
		EXPECT_LE(result.frames, kCdFrames + 2 * 1152) << name;
		int64 exact = 0;
		EXPECT_EQ(B_OK, GetExactMediaFileLength(Ref(Fixture(name)), exact)) << name;
		EXPECT_EQ(kCdFrames, exact) << name;
	}
}

TEST(GetMediaFileInfo, ReasonsForFilesThatAreNotCdAudio)
{
	struct Case {
		const char* name;
		std::string info;
	} cases[] = {
		{"hz48.wav", "This is not a 44100 Hz audio file.\n"},
		{"mono.wav", "This is not a stereo audio file.\n"},
		{"cd.opus", "This is not a 44100 Hz audio file.\n"},
		// One reason per rejected track, in track order.
		{"video_hz48.mov", "BMediaTrack::DecodedFormat() returned error code " + ErrorDetail(B_MEDIA_BAD_FORMAT)
			+ "This is not a 44100 Hz audio file.\n"},
		{"unknown_codec.wav", "BMediaTrack::DecodedFormat() returned error code " + ErrorDetail(B_MEDIA_NO_HANDLER)},
	};
	for (const Case& c : cases) {
		Inspection result = Inspect(Fixture(c.name));
		EXPECT_EQ(B_OK, result.status) << c.name;
		EXPECT_FALSE(result.isAudio) << c.name;
		EXPECT_EQ(0, result.frames) << c.name;
		EXPECT_EQ(c.info, result.info) << c.name;
	}
	int64 exact = -1;
	EXPECT_EQ(B_ERROR, GetExactMediaFileLength(Ref(Fixture("hz48.wav")), exact));
}

TEST(GetMediaFileInfo, FilesThatCannotBeInspected)
{
	Inspection notes = Inspect(Fixture("notes.txt"));
	EXPECT_EQ(B_MEDIA_NO_HANDLER, notes.status);
	EXPECT_FALSE(notes.isAudio);
	EXPECT_EQ("No codec available for the required file format.\n", notes.info);

	Inspection missing = Inspect(FixtureFolder() + "/no such file.wav");
	EXPECT_EQ(B_ENTRY_NOT_FOUND, missing.status);
	EXPECT_EQ("BMediaFile::InitCheck() returned error code " + ErrorDetail(B_ENTRY_NOT_FOUND), missing.info);

	Inspection noTracks = Inspect(Fixture("metadata.txt"));
	EXPECT_EQ(B_STREAM_NOT_FOUND, noTracks.status);
	EXPECT_EQ("BMediaFile::CountTracks() returned 0.\n", noTracks.info);
}

// Inspections from several threads are serialised and all answer right.
TEST(GetMediaFileInfo, SafeFromAnyThread)
{
	const std::string wav = Fixture("cd.wav");
	const std::string mono = Fixture("mono.wav");
	std::vector<std::thread> threads;
	std::vector<int> failures(4, 0);
	for (int t = 0; t < 4; t++) {
		threads.emplace_back([&, t] {
			for (int i = 0; i < 3; i++) {
				Inspection a = Inspect(wav);
				Inspection b = Inspect(mono);
				if (!a.isAudio || a.frames != kCdFrames || b.isAudio || b.status != B_OK)
					failures[size_t(t)]++;
			}
		});
	}
	for (std::thread& thread : threads)
		thread.join();
	EXPECT_EQ(std::vector<int>(4, 0), failures);
}

TEST(AudioFileNames, StripAudioFileExtensionRemovesOnlyAKnownFinalExtension)
{
	struct Case {
		const char* in;
		const char* out;
	} cases[] = {
		{"Song.WAV", "Song"},
		{"my.audio.wav", "my.audio"},       // dots inside the name stay
		{"my.wave.file.wav", "my.wave.file"},
		{"Clip.MPEG.mov", "Clip.MPEG"},     // one extension only
		{"take.aiff", "take"},
		{"take.aif", "take"},
		{"take.aifc", "take"},
		{"Song.flac", "Song"},
		{"Song.Ogg", "Song"},
		{"Song.oga", "Song"},
		{"Song.opus", "Song"},
		{"Song.m4a", "Song"},
		{"Song.wma", "Song"},
		{"Song.wv", "Song"},
		{"Song.ape", "Song"},
		{"Song.aac", "Song"},
		{"Song.mp3", "Song"},
		{"Song.wav.txt", "Song.wav.txt"},   // the final extension is no sound format
		{"Mr. Blue Sky", "Mr. Blue Sky"},
		{"Vol. 2", "Vol. 2"},
		{"x.wa.wavv", "x.wa.wavv"},
		{"Song.", "Song."},
		{".wav", ".wav"},                   // never an empty title
		{"Intro", "Intro"},
		{"", ""},
	};
	for (const Case& c : cases) {
		std::string name = c.in;
		StripAudioFileExtension(name);
		EXPECT_EQ(c.out, name) << c.in;
	}
}
