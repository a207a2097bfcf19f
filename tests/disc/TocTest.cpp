// CToc: lock checks, track-number checks that never index outside the
// tracks, text getters that never give null, and the disc and track keys.
#include "disc/Toc.h"

#include "frame/Diagnostics.h"
#include "kit/interface/Alert.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

// Answers every assertion with "Ignore" and collects the expression texts
// from the diagnostics output.
class AssertionRecorder {
public:
	AssertionRecorder()
	{
		fPreviousHandler = SetAlertHandler(&fHandler);
		fStream = open_memstream(&fBuffer, &fSize);
		fPreviousOutput = SetDebugOutput(fStream);
	}
	~AssertionRecorder()
	{
		SetDebugOutput(fPreviousOutput);
		SetAlertHandler(fPreviousHandler);
		fclose(fStream);
		free(fBuffer);
	}
	// Expression texts of the assertions so far, in order.
	std::vector<std::string> Expressions()
	{
		fflush(fStream);
		std::vector<std::string> found;
		std::string text(fBuffer, fSize);
		const std::string marker = "expression: ";
		for (size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at)) {
			at += marker.size();
			size_t end = text.find('\n', at);
			found.push_back(text.substr(at, end - at));
		}
		return found;
	}
	size_t Count() const { return fHandler.CountShown(); }

private:
	CScriptedAlertHandler fHandler {2};
	CAlertHandler* fPreviousHandler = nullptr;
	char* fBuffer = nullptr;
	size_t fSize = 0;
	FILE* fStream = nullptr;
	FILE* fPreviousOutput = nullptr;
};

const std::string kTrackRange = "TrackNr >= 1 && TrackNr <= 99";

}   // namespace

TEST(Toc, FreshTocIsEmptyAndTextsAreNeverNull)
{
	AssertionRecorder asserts;
	CToc toc;
	toc.Lock();
	EXPECT_EQ(toc.TrackCount(), 0);
	ASSERT_NE(toc.Title(), nullptr);
	EXPECT_STREQ(toc.Title(), "");
	for (int track : {1, 50, 99}) {
		ASSERT_NE(toc.TrackTitle(track), nullptr);
		EXPECT_STREQ(toc.TrackTitle(track), "");
		ASSERT_NE(toc.TrackArtist(track), nullptr);
		EXPECT_STREQ(toc.TrackArtist(track), "");
	}
	toc.SetTrackTitle(3, nullptr);
	toc.SetTitle(nullptr);
	EXPECT_STREQ(toc.TrackTitle(3), "");
	EXPECT_STREQ(toc.Title(), "");
	toc.Unlock();
	EXPECT_EQ(asserts.Count(), 0u);
}

TEST(Toc, TrackNumbersOutsideTheRangeAssertAndTouchNothing)
{
	AssertionRecorder asserts;
	CToc toc;
	toc.Lock();
	toc.SetTrackLBA(99, 1234);   // track 99 is valid
	toc.SetTrackTitle(99, "last");
	toc.SetTrackLBA(1, 5);
	EXPECT_EQ(asserts.Count(), 0u);

	// Every setter and getter with 0, 100 and far-off numbers: reported, no
	// write next to the tracks (AddressSanitizer checks the reads).
	for (int bad : {0, 100, -1, 1000000, -2147483647 - 1}) {
		toc.SetTrackLBA(bad, 7);
		toc.SetTrackSize(bad, 7);
		toc.SetTrackPauseSize(bad, 7);
		toc.SetTrackPreEmphasis(bad, true);
		toc.SetTrackCopyAllowed(bad, true);
		toc.SetTrackDataTrack(bad, true);
		toc.SetTrackTitle(bad, "x");
		toc.SetTrackArtist(bad, "x");
		toc.InitCdTracksTrackKey(bad, 0, 7500);
		EXPECT_EQ(toc.TrackLBA(bad), 0);
		EXPECT_EQ(toc.TrackSize(bad), 0);
		EXPECT_EQ(toc.TrackPauseSize(bad), 0);
		EXPECT_EQ(toc.TrackTrackLBA(bad), 0);
		EXPECT_EQ(toc.TrackTrackSize(bad), 0);
		EXPECT_FALSE(toc.TrackPreEmphasis(bad));
		EXPECT_FALSE(toc.TrackCopyAllowed(bad));
		EXPECT_FALSE(toc.TrackDataTrack(bad));
		EXPECT_STREQ(toc.TrackTitle(bad), "");
		EXPECT_STREQ(toc.TrackArtist(bad), "");
		int minutes = -5, seconds = -5;
		toc.GetCdTracksTrackKey(bad, &minutes, &seconds);
		EXPECT_EQ(minutes, 0);
		EXPECT_EQ(seconds, 0);
	}
	std::vector<std::string> expressions = asserts.Expressions();
	EXPECT_EQ(expressions.size(), 5u * 20u);
	for (const std::string& e : expressions)
		EXPECT_EQ(e, kTrackRange);
	EXPECT_EQ(toc.TrackLBA(99), 1234);
	EXPECT_STREQ(toc.TrackTitle(99), "last");
	EXPECT_EQ(toc.TrackLBA(1), 5);
	toc.Unlock();
}

TEST(Toc, CountOutsideTheRangeAssertsAndNeverExceedsTheTracks)
{
	AssertionRecorder asserts;
	CToc toc;
	toc.Lock();
	toc.SetTrackCount(99);
	EXPECT_EQ(toc.TrackCount(), 99);
	EXPECT_TRUE(asserts.Expressions().empty());
	toc.SetTrackCount(100);
	EXPECT_EQ(toc.TrackCount(), 99);
	toc.SetTrackCount(-3);
	EXPECT_EQ(toc.TrackCount(), 0);
	EXPECT_EQ(asserts.Expressions(),
		(std::vector<std::string> {"count >= 0 && count <= 99", "count >= 0 && count <= 99"}));
	toc.Unlock();
}

TEST(Toc, AccessWithoutTheLockIsReportedButProceeds)
{
	AssertionRecorder asserts;
	CToc toc;
	toc.SetTrackLBA(2, 300);
	EXPECT_EQ(asserts.Expressions(), std::vector<std::string> {"pLocker->IsLocked()"});

	// A lock held by another thread does not count for this one.
	toc.Lock();
	int seen = 0;
	std::thread([&] { seen = toc.TrackLBA(2); }).join();
	toc.Unlock();
	EXPECT_EQ(seen, 300);
	EXPECT_EQ(asserts.Expressions(), (std::vector<std::string> {"pLocker->IsLocked()", "pLocker->IsLocked()"}));

	// Lock and Unlock themselves need no lock; a recursive lock is held.
	toc.Lock();
	toc.Lock();
	toc.Unlock();
	EXPECT_EQ(toc.TrackLBA(2), 300);
	toc.Unlock();
	EXPECT_EQ(asserts.Count(), 2u);
}

TEST(Toc, DerivedValuesAndMakeEmptyKeepsTheKeys)
{
	AssertionRecorder asserts;
	CToc toc;
	toc.Lock();
	toc.SetTrackCount(2);
	toc.SetTitle("Album");
	toc.SetTrackLBA(2, 20000);
	toc.SetTrackSize(2, 15000);
	toc.SetTrackPauseSize(2, 150);
	toc.SetTrackPreEmphasis(2, true);
	toc.SetTrackCopyAllowed(2, true);
	toc.SetTrackDataTrack(2, true);
	toc.SetTrackArtist(2, "Artist");
	toc.SetTrackTitle(2, "Title");
	EXPECT_EQ(toc.TrackTrackLBA(2), 20150);
	EXPECT_EQ(toc.TrackTrackSize(2), 14850);
	EXPECT_TRUE(toc.TrackPreEmphasis(2));
	EXPECT_TRUE(toc.TrackCopyAllowed(2));
	EXPECT_TRUE(toc.TrackDataTrack(2));

	EXPECT_EQ(toc.InitCdTracksCdKey(200000), 0x442850);
	toc.InitCdTracksTrackKey(2, 149, 4650);
	toc.MakeEmpty();

	EXPECT_EQ(toc.TrackCount(), 0);
	EXPECT_STREQ(toc.Title(), "");
	EXPECT_EQ(toc.TrackLBA(2), 0);
	EXPECT_EQ(toc.TrackSize(2), 0);
	EXPECT_EQ(toc.TrackPauseSize(2), 0);
	EXPECT_FALSE(toc.TrackPreEmphasis(2));
	EXPECT_FALSE(toc.TrackCopyAllowed(2));
	EXPECT_FALSE(toc.TrackDataTrack(2));
	EXPECT_STREQ(toc.TrackArtist(2), "");
	EXPECT_STREQ(toc.TrackTitle(2), "");
	int key = 0, minutes = 0, seconds = 0;
	toc.GetCdTracksCdKey(&key);
	toc.GetCdTracksCdKey(&minutes, &seconds);
	EXPECT_EQ(key, 0x442850);
	EXPECT_EQ(minutes, 44);
	EXPECT_EQ(seconds, 28);
	toc.GetCdTracksTrackKey(2, &minutes, &seconds);
	EXPECT_EQ(minutes, 1);
	EXPECT_EQ(seconds, 1);
	toc.Unlock();
	EXPECT_EQ(asserts.Count(), 0u);
}

TEST(Toc, DiscKeysIncludingTheWrapBelowTheDiscStart)
{
	CToc toc;
	toc.Lock();
	struct {
		int leadOut;
		int key, minutes, seconds;
	} cases[] = {
		{-150, 0x000000, 0, 0},
		{-151, 0x995974, 99, 59},
		{-450150, 0x000000, 0, 0},     // the wrap's own start
		{0, 0x000200, 0, 2},
		{200000, 0x442850, 44, 28},
		{449849, 0x995974, 99, 59},    // last position of the 100 minutes
		{449850, 0x000000, 0, 0},      // wraps instead of a seventh digit
		{2147483647, -1, -1, -1},      // no overflow; only checked for BCD digits
		{-2147483647 - 1, -1, -1, -1},
	};
	for (const auto& c : cases) {
		int key = toc.InitCdTracksCdKey(c.leadOut);
		int stored = 0, minutes = 0, seconds = 0;
		toc.GetCdTracksCdKey(&stored);
		toc.GetCdTracksCdKey(&minutes, &seconds);
		EXPECT_EQ(stored, key) << c.leadOut;
		for (int shift = 0; shift < 24; shift += 4)
			EXPECT_LE((key >> shift) & 0xF, 9) << c.leadOut;
		EXPECT_EQ(key >> 24, 0) << c.leadOut;
		if (c.key < 0)
			continue;
		EXPECT_EQ(key, c.key) << c.leadOut;
		EXPECT_EQ(minutes, c.minutes) << c.leadOut;
		EXPECT_EQ(seconds, c.seconds) << c.leadOut;
	}
	toc.Unlock();
}

TEST(Toc, TrackKeysCutBothEndsToWholeSeconds)
{
	CToc toc;
	toc.Lock();
	struct {
		int start, end;
		int minutes, seconds;
	} cases[] = {
		{149, 4650, 1, 1},        // 1 s to 62 s
		{150, 4649, 0, 59},       // 2 s to 61 s
		{0, 74, 0, 0},
		{0, 270000, 60, 0},
		{-2147483647 - 1, 2147483647, 954437, 10},   // 64-bit arithmetic: no overflow
	};
	int track = 1;
	for (const auto& c : cases) {
		toc.InitCdTracksTrackKey(track, c.start, c.end);
		int minutes = -1, seconds = -1;
		toc.GetCdTracksTrackKey(track, &minutes, &seconds);
		EXPECT_EQ(minutes, c.minutes) << c.start << ".." << c.end;
		EXPECT_EQ(seconds, c.seconds) << c.start << ".." << c.end;
		track++;
	}
	toc.Unlock();
}
