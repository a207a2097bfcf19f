// Track checksums and disc ids against published values and an independent
// implementation's results.
#include "disc/Toc.h"
#include "extraction/DiscIds.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// The audio layout of a published enhanced CD: ten audio tracks, then a data
// track in a second session.
const std::vector<int32> kAudioStarts = {0, 12617, 40337, 63075, 93260, 117965, 151715, 184190, 215110, 247305};

DiscLayout AudioOnly()
{
	DiscLayout layout;
	layout.trackStarts = kAudioStarts;
	layout.leadOut = 270185;   // the end of the audio session
	return layout;
}

DiscLayout Enhanced()
{
	DiscLayout layout;
	layout.trackStarts = kAudioStarts;
	layout.trackStarts.push_back(281585);
	layout.dataTracks.assign(11, false);
	layout.dataTracks[10] = true;
	layout.leadOut = 333651;
	return layout;
}

// 12 sectors of stereo frames from a fixed linear congruential sequence.
std::vector<uint8> TestAudio()
{
	std::vector<uint8> audio(12 * kCddaSectorBytes);
	uint32 x = 12345;
	for (size_t i = 0; i < audio.size(); i += 4) {
		x = x * 1103515245u + 12345u;
		audio[i] = uint8(x);
		audio[i + 1] = uint8(x >> 8);
		audio[i + 2] = uint8(x >> 16);
		audio[i + 3] = uint8(x >> 24);
	}
	return audio;
}

}   // namespace

TEST(DiscIds, PublishedDiscsGiveTheirPublishedIds)
{
	// As the audio session alone shows it (and MusicBrainz lists it).
	EXPECT_EQ(CddbDiscId(AudioOnly()), 0x890e120au);
	EXPECT_EQ(ComputeAccurateRipDiscId(AudioOnly()).ToString(), "010-00154c2f-00af4fd4-890e120a");
	EXPECT_EQ(MusicBrainzDiscId(AudioOnly()), "9AQWqQ0eCCwktwPPrIUIYkUw2Uo-");

	// The whole enhanced disc: AccurateRip counts the audio tracks against the
	// real lead-out, CDDB counts every track, MusicBrainz the first session.
	EXPECT_EQ(CddbDiscId(Enhanced()), 0x9e11600bu);
	EXPECT_EQ(ComputeAccurateRipDiscId(Enhanced()).ToString(), "010-00164419-00b9f6e2-9e11600b");
	EXPECT_EQ(MusicBrainzDiscId(Enhanced()), "9AQWqQ0eCCwktwPPrIUIYkUw2Uo-");

	// A mixed-mode disc: a data track first, 28 audio tracks after it.
	DiscLayout mixed;
	for (int32 start : {150, 66728, 76502, 85963, 93760, 104048, 116066, 124743, 134206, 142916, 151852, 160720,
			 169425, 178731, 188459, 196711, 206354, 214845, 223686, 225746, 226384, 232668, 239447, 239931,
			 244989, 254264, 260066, 261222, 261674})
		mixed.trackStarts.push_back(start - 150);
	mixed.dataTracks.assign(29, false);
	mixed.dataTracks[0] = true;
	mixed.leadOut = 261976 - 150;
	EXPECT_EQ(ComputeAccurateRipDiscId(mixed).ToString(), "028-00517a54-05a845d2-af0da31d");
}

TEST(DiscIds, InvalidLayoutsGiveNoId)
{
	DiscLayout empty;
	EXPECT_EQ(CddbDiscId(empty), 0u);
	EXPECT_EQ(MusicBrainzDiscId(empty), "");
	DiscLayout backwards = AudioOnly();
	std::swap(backwards.trackStarts[3], backwards.trackStarts[4]);
	EXPECT_FALSE(backwards.IsValid());
	EXPECT_EQ(ComputeAccurateRipDiscId(backwards).audioTrackCount, 0);
	DiscLayout shortLeadOut = AudioOnly();
	shortLeadOut.leadOut = kAudioStarts.back();
	EXPECT_EQ(MusicBrainzDiscId(shortLeadOut), "");
	DiscLayout tooMany;
	tooMany.firstTrack = 95;
	tooMany.trackStarts = {0, 100, 200, 300, 400, 500};
	tooMany.leadOut = 600;
	EXPECT_FALSE(tooMany.IsValid());
}

// Expected values from an independent AccurateRip implementation run on the
// same audio as a WAV file (track n of m).
TEST(TrackChecksums, MatchAnIndependentImplementationInEveryTrackPosition)
{
	std::vector<uint8> audio = TestAudio();
	int64 frames = int64(audio.size() / 4);
	struct Case {
		bool first, last;
		uint32 v1, v2;
	} cases[] = {
		{true, false, 0xBF233960u, 0xBFBF0D64u},   // 1 of 3
		{false, false, 0x929FF5F0u, 0x935D68A3u},  // 2 of 3
		{false, true, 0xC3D794C4u, 0xC4194D1Cu},   // 3 of 3
		{true, true, 0xF05AD834u, 0xF07AF1DDu},    // 1 of 1
	};
	for (const Case& c : cases) {
		CTrackChecksums whole(frames, c.first, c.last);
		whole.Add(audio.data(), audio.size());
		EXPECT_EQ(whole.AccurateRipV1(), c.v1) << c.first << c.last;
		EXPECT_EQ(whole.AccurateRipV2(), c.v2) << c.first << c.last;
		EXPECT_EQ(whole.Crc32(), 0x5BFEEB0Bu);
		EXPECT_EQ(whole.FramesAdded(), frames);

		// Pieces that split frames give the same sums.
		CTrackChecksums pieces(frames, c.first, c.last);
		size_t offset = 0;
		for (size_t step : {1u, 3u, 2351u, 5u, 7057u}) {
			for (; offset + step <= audio.size(); offset += step * 3 + 1) {
				pieces.Add(audio.data() + offset, step);
				pieces.Add(audio.data() + offset + step, step * 2 + 1);
			}
		}
		pieces.Add(audio.data() + offset, audio.size() - offset);
		EXPECT_EQ(pieces.AccurateRipV1(), c.v1);
		EXPECT_EQ(pieces.AccurateRipV2(), c.v2);
		EXPECT_EQ(pieces.Crc32(), 0x5BFEEB0Bu);
	}
}

TEST(TrackChecksums, Crc32IsTheUsualOne)
{
	const char* text = "123456789";
	EXPECT_EQ(Crc32(0, text, std::strlen(text)), 0xCBF43926u);
	EXPECT_EQ(Crc32(Crc32(0, text, 4), text + 4, 5), 0xCBF43926u);
}

TEST(DiscIds, ATableOfContentsGivesTheLayoutOfItsTracksAfterTheirPauses)
{
	CToc toc;
	toc.Lock();
	toc.SetTrackRange(1, 10);
	for (int track = 1; track <= 10; track++) {
		int start = kAudioStarts[track - 1];
		int end = track < 10 ? kAudioStarts[track] : 270185;
		int pause = track == 1 ? 0 : 2;   // two sectors of pause before tracks 2..10
		toc.SetTrackLBA(track, start - pause);
		toc.SetTrackPauseSize(track, pause);
		int nextPause = track < 10 ? 2 : 0;
		toc.SetTrackSize(track, end - nextPause - (start - pause));
	}
	toc.Unlock();
	DiscLayout layout = DiscLayoutFromToc(&toc);
	EXPECT_EQ(layout.trackStarts, kAudioStarts);
	EXPECT_EQ(layout.leadOut, 270185);
	EXPECT_EQ(MusicBrainzDiscId(layout), "9AQWqQ0eCCwktwPPrIUIYkUw2Uo-");
	CToc empty;
	EXPECT_FALSE(DiscLayoutFromToc(&empty).IsValid());
}
