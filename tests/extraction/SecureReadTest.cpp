// Read offsets, jitter correction and secure reads, end to end on virtual
// drives that misbehave on purpose.
#include "RipFixture.h"

using namespace riptest;

TEST_F(RipTest, JitterIsCorrectedWithReadSyncAndNotWithout)
{
	CDriveConfig config = TestConfig();
	config.jitter = 300;
	config.jitterPercent = 50;
	for (int32 mode : {READ_SYNC_ALWAYS, READ_SYNC_AUTO, READ_SYNC_OFF}) {
		SCOPED_TRACE(mode);
		auto drive = Drive(config);
		CddaReadOptions options = RipOptions(fTemp);
		options.overrideSync = true;
		options.syncMode = mode;
		options.syncSectors = 3;
		auto results = Rip(*drive, options, {3, 2});
		ASSERT_EQ(results.size(), 2u);
		bool exact = WavData(results[0].finalPath) == fDisc.Track(kTrack3, kDiscEnd)
			&& WavData(results[1].finalPath) == fDisc.Track(kTrack2, kTrack3);
		EXPECT_EQ(exact, mode != READ_SYNC_OFF);
		if (mode != READ_SYNC_OFF) {
			EXPECT_GT(results[0].correctedBlocks, 0);
		}
		std::filesystem::remove_all(fOut);
		std::filesystem::create_directories(fOut);
	}
}

TEST_F(RipTest, AutomaticReadSyncOverlapsOnlyADriveThatJitters)
{
	// The sectors a rip of track 3 from a steady drive reads.
	auto sectorsRead = [](CMmcDrive& drive) {
		int64 sectors = 0;
		for (const auto& record : drive.History()) {
			if (record.cdb.size() >= 12 && record.cdb[0] == 0xBE)
				sectors += int64(record.cdb[6]) << 16 | int64(record.cdb[7]) << 8 | record.cdb[8];
		}
		return sectors;
	};
	CddaReadOptions options = RipOptions(fTemp);
	options.overrideSync = true;
	options.syncSectors = 3;
	int64 read[2] = {};
	for (int32 mode : {READ_SYNC_ALWAYS, READ_SYNC_AUTO}) {
		auto drive = Drive();
		drive->Drive().ClearHistory();
		options.syncMode = mode;
		auto results = Rip(*drive, options, {3});
		ASSERT_EQ(results.size(), 1u);
		EXPECT_EQ(WavData(results[0].finalPath), fDisc.Track(kTrack3, kDiscEnd));
		EXPECT_EQ(results[0].correctedBlocks, 0);
		read[mode == READ_SYNC_AUTO] = sectorsRead(drive->Drive());
		std::filesystem::remove_all(fOut);
		std::filesystem::create_directories(fOut);
	}
	// The steady drive costs the automatic mode at most one sector in ten
	// more than plain reads, far less than full overlaps.
	const int64 plain = kDiscEnd - kTrack3;
	EXPECT_LE(read[1], plain + plain / 10 + 3 * 27);
	EXPECT_LT(read[1], read[0]);
}

TEST_F(RipTest, ReadOffsetIsAppliedAcrossTrackBoundaries)
{
	for (int32 offset : {6, -1164}) {
		SCOPED_TRACE(offset);
		CDriveConfig config = TestConfig();
		config.readOffset = offset;
		auto drive = Drive(config);
		CddaReadOptions options = RipOptions(fTemp);
		options.overrideReadOffset = true;
		options.readOffset = offset;
		auto results = Rip(*drive, options, {2});
		ASSERT_EQ(results.size(), 1u);
		EXPECT_EQ(WavData(results[0].finalPath), fDisc.Track(kTrack2, kTrack3));
		std::filesystem::remove_all(fOut);
		std::filesystem::create_directories(fOut);

		// Without the setting the drive's shift shows.
		options.readOffset = 0;
		results = Rip(*drive, options, {2});
		ASSERT_EQ(results.size(), 1u);
		EXPECT_NE(WavData(results[0].finalPath), fDisc.Track(kTrack2, kTrack3));
		std::filesystem::remove_all(fOut);
		std::filesystem::create_directories(fOut);
	}
}

TEST_F(RipTest, OffsetBeyondTheLeadOutGivesSilence)
{
	CDriveConfig config = TestConfig();
	auto drive = Drive(config);
	CddaReadOptions options = RipOptions(fTemp);
	options.overrideReadOffset = true;
	options.readOffset = 700;   // more than a sector past the disc's end
	auto results = Rip(*drive, options, {3});
	ASSERT_EQ(results.size(), 1u);
	std::vector<uint8> expected(fDisc.audio.begin() + size_t(kTrack3) * 2352 + 700 * 4, fDisc.audio.end());
	expected.resize(size_t(kDiscEnd - kTrack3) * 2352, 0);
	EXPECT_EQ(WavData(results[0].finalPath), expected);
}

TEST_F(RipTest, SecureModeProvesTracksAndRereadsBlocksThatDiffer)
{
	CDriveConfig config = TestConfig();
	config.jitter = 200;
	config.jitterPercent = 30;
	auto drive = Drive(config);
	CddaReadOptions options = RipOptions(fTemp);
	options.secure = true;
	options.overrideSync = true;
	options.syncMode = READ_SYNC_OFF;
	auto results = Rip(*drive, options, {3});
	ASSERT_EQ(results.size(), 1u);
	// Plain reads that land off disagree with each other: re-read until two
	// agree, which the exact reads do.
	EXPECT_TRUE(results[0].secure);
	EXPECT_TRUE(results[0].proven);
	EXPECT_GT(results[0].rereads, 0);
	EXPECT_EQ(results[0].outcome, "OK");

	// A sector that never reads the same twice cannot be proven.
	CDriveConfig steady = TestConfig();
	auto good = Drive(steady);
	options.overrideSync = false;
	results = Rip(*good, options, {2});
	ASSERT_EQ(results.size(), 1u);
	EXPECT_TRUE(results[0].proven);
	EXPECT_EQ(results[0].rereads, 0);
	EXPECT_EQ(WavData(results[0].finalPath), fDisc.Track(kTrack2, kTrack3));
}
