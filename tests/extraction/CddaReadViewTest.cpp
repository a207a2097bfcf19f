// The extraction engine against virtual drives: what it reads, how it
// retries and gives up, what it leaves behind, and what it shows.
#include "RipFixture.h"

#include "kit/device/VirtualDevice.h"

#include <sys/resource.h>

#include <csignal>

using namespace riptest;

namespace {

// The READ CD commands of a drive's history: (LBA, sectors).
std::vector<std::pair<int32, int32>> ReadCommands(CMmcDrive& drive)
{
	std::vector<std::pair<int32, int32>> reads;
	for (const auto& record : drive.History()) {
		if (record.cdb.size() < 12 || record.cdb[0] != 0xBE)
			continue;
		int32 lba = int32(uint32(record.cdb[2]) << 24 | uint32(record.cdb[3]) << 16 | uint32(record.cdb[4]) << 8
			| record.cdb[5]);
		int32 count = int32(uint32(record.cdb[6]) << 16 | uint32(record.cdb[7]) << 8 | record.cdb[8]);
		reads.push_back({lba, count});
	}
	return reads;
}

}   // namespace

TEST_F(RipTest, TrackIsReadInBlocksIntoAnExactFileWithItsFinalNameAndLog)
{
	auto drive = Drive();
	CddaReadOptions options = RipOptions(fTemp);
	drive->Drive().ClearHistory();
	auto results = Rip(*drive, options, {2});
	ASSERT_EQ(results.size(), 1u);
	EXPECT_EQ(results[0].outcome, "OK");
	// 100 sectors in blocks of 27.
	std::vector<std::pair<int32, int32>> expected {{300, 27}, {327, 27}, {354, 27}, {381, 19}};
	EXPECT_EQ(ReadCommands(drive->Drive()), expected);
	// The name from artist and title ('/' made '|'), the disc's exact samples.
	EXPECT_EQ(results[0].finalPath, fOut + "/Band: Two|Too.wav");
	EXPECT_EQ(WavData(results[0].finalPath), fDisc.Track(kTrack2, kTrack3));
	EXPECT_EQ(results[0].frames, 100 * 588);
	EXPECT_EQ(FilesIn(fTemp), std::vector<std::string>());
	EXPECT_TRUE(std::filesystem::exists(fOut + "/Tarnwick rip log.txt"));

	// The end display.
	CddaReadDisplay display;
	{
		CCddaReadView view(drive->Device(), fSink->Messenger());
		view.SetDiagnostics(nullptr);
		options.writeLog = false;
		view.SetOptions(options);
		EXPECT_EQ(AddDiscTracks(&view, drive->Device(), fOut, {3}), 1);
		ASSERT_TRUE(view.WaitUntilIdle(60000000));
		display = view.Display();
	}
	EXPECT_EQ(display.statusBox, "Status: Done");
	EXPECT_EQ(display.button, "Close");
	EXPECT_TRUE(display.buttonIsDefault);
	EXPECT_EQ(display.third.text, "0 %");
	EXPECT_EQ(display.cdBox, "CD: Rip Album");
}

TEST_F(RipTest, LeadingSilenceIsRemovedOnlyAtTheTrackStart)
{
	auto drive = Drive();
	auto results = Rip(*drive, RipOptions(fTemp), {1});
	ASSERT_EQ(results.size(), 1u);
	// Three seconds shorter; the rest exactly.
	EXPECT_EQ(WavData(results[0].finalPath), fDisc.Track(kLeadingSilence, kTrack2));
	EXPECT_EQ(results[0].framesRead, 300 * 588);
}

TEST_F(RipTest, UncorrectableBlockIsTriedElevenTimesAndEndsTheBatchLeavingNoFile)
{
	CDriveConfig config = TestConfig();
	config.mediumErrors.push_back({350, -1});
	auto drive = Drive(config);
	drive->Drive().ClearHistory();
	auto results = Rip(*drive, RipOptions(fTemp), {2, 3});
	ASSERT_EQ(results.size(), 2u);
	EXPECT_EQ(results[0].outcome, "Read error");
	EXPECT_EQ(results[1].outcome, "Aborted");   // the rest of the batch is dropped
	EXPECT_EQ(FilesIn(fOut), std::vector<std::string>{"Tarnwick rip log.txt"});
	EXPECT_EQ(FilesIn(fTemp), std::vector<std::string>());

	int32 attempts = 0;
	for (auto read : ReadCommands(drive->Drive()))
		attempts += read.first == 327 ? 1 : 0;
	EXPECT_EQ(attempts, 11);

	std::vector<std::string> expected;
	const char* ordinals[] = {"1st", "2nd", "3rd", "4th", "5th", "6th", "7th", "8th", "9th", "10th"};
	for (const char* ordinal : ordinals) {
		expected.push_back(std::string("Error reading sectors 327 to 353, retrying ") + ordinal + " time");
		expected.push_back("");
	}
	expected.push_back("Read Error could not be corrected. CD reading aborted");
	EXPECT_EQ(StatusTexts(*fSink), expected);
}

TEST_F(RipTest, SecondRequestJoinsTheBatchWithoutSecondSpinUp)
{
	auto clock = std::make_shared<CGateClock>();
	CDriveConfig config = TestConfig();
	config.realTime = true;
	auto drive = Drive(config, "", clock);
	CddaReadOptions options = RipOptions(fTemp);
	options.deviceSettings.readSpinupSectors = 3;
	CCddaReadView view(drive->Device(), fSink->Messenger());
	view.SetDiagnostics(nullptr);
	view.SetOptions(options);
	clock->Close(5);   // three spin-up reads, two blocks
	ASSERT_EQ(AddDiscTracks(&view, drive->Device(), fOut, {3}), 1);
	ASSERT_TRUE(clock->WaitHeld());
	ASSERT_EQ(AddDiscTracks(&view, drive->Device(), fOut, {2}), 1);
	view.CopyUpdateStatus();
	EXPECT_EQ(view.Display().trackBox, "Track 1 of 2, 3 - Band - Three");
	clock->Open();
	ASSERT_TRUE(view.WaitUntilIdle(60000000));
	EXPECT_EQ(view.SpinUps(), 1);
	auto results = view.Results();
	ASSERT_EQ(results.size(), 2u);
	EXPECT_EQ(results[0].outcome, "OK");
	EXPECT_EQ(results[1].outcome, "OK");
	EXPECT_EQ(WavData(results[1].finalPath), fDisc.Track(kTrack2, kTrack3));
}

TEST_F(RipTest, AbortWhileReadingLeavesNoPartialOrTemporaryFile)
{
	auto clock = std::make_shared<CGateClock>();
	CDriveConfig config = TestConfig();
	config.realTime = true;
	auto drive = Drive(config, "", clock);
	CCddaReadView view(drive->Device(), fSink->Messenger());
	view.SetDiagnostics(nullptr);
	view.SetOptions(RipOptions(fTemp));
	clock->Close(3);
	ASSERT_EQ(AddDiscTracks(&view, drive->Device(), fOut, {3, 2}), 2);
	ASSERT_TRUE(clock->WaitHeld());
	EXPECT_FALSE(FilesIn(fTemp).empty());   // the temporary file is being written
	// Closing the window: "Continue" keeps reading, "Abort" stops.
	fAlerts.QueueAnswer("Continue");
	EXPECT_FALSE(view.QuitRequested());
	EXPECT_TRUE(view.IsBusy());
	fAlerts.QueueAnswer("Abort");
	clock->Open();
	EXPECT_TRUE(view.QuitRequested());
	ASSERT_TRUE(view.WaitUntilIdle(60000000));
	auto results = view.Results();
	ASSERT_EQ(results.size(), 2u);
	EXPECT_EQ(results[0].outcome, "Aborted");
	EXPECT_EQ(results[1].outcome, "Aborted");
	EXPECT_EQ(FilesIn(fTemp), std::vector<std::string>());
	EXPECT_EQ(FilesIn(fOut), std::vector<std::string>{"Tarnwick rip log.txt"});
	auto texts = StatusTexts(*fSink);
	EXPECT_NE(std::find(texts.begin(), texts.end(), "CD reading aborted!\n"), texts.end());
	auto shown = fAlerts.Shown();
	ASSERT_FALSE(shown.empty());
	EXPECT_EQ(shown.back().text, "CD reading not finished!\n\nAbort?");
}

TEST_F(RipTest, DriveOrDiscGoneMidReadEndsTheBatchNamingTheDrive)
{
	for (bool wholeDrive : {false, true}) {
		SCOPED_TRACE(wholeDrive ? "drive gone" : "disc removed");
		fSink->Clear();
		auto clock = std::make_shared<CGateClock>();
		CDriveConfig config = TestConfig();
		config.realTime = true;
		auto drive = Drive(config, "", clock);
		std::string name = drive->Device()->GetDeviceName();
		CCddaReadView view(drive->Device(), fSink->Messenger());
		view.SetDiagnostics(nullptr);
		view.SetOptions(RipOptions(fTemp));
		clock->Close(2);
		ASSERT_EQ(AddDiscTracks(&view, drive->Device(), fOut, {3, 2}), 2);
		ASSERT_TRUE(clock->WaitHeld());
		if (wholeDrive)
			UnregisterVirtualDevices();
		else
			ASSERT_EQ(drive->Drive().EjectMedium(), B_OK);
		clock->Open();
		ASSERT_TRUE(view.WaitUntilIdle(20000000));
		auto results = view.Results();
		ASSERT_EQ(results.size(), 2u);
		EXPECT_EQ(results[0].outcome, wholeDrive ? "Drive gone" : "Disc removed");
		EXPECT_EQ(results[1].outcome, "Aborted");
		auto texts = StatusTexts(*fSink);
		ASSERT_FALSE(texts.empty());
		EXPECT_NE(texts.back().find(name), std::string::npos) << texts.back();
		EXPECT_NE(texts.back().find("CD reading aborted"), std::string::npos);
		EXPECT_EQ(FilesIn(fTemp), std::vector<std::string>());
		// No retries on a drive that is gone.
		EXPECT_EQ(std::count_if(texts.begin(), texts.end(),
					  [](const std::string& t) { return t.find("retrying") != std::string::npos; }),
			0);
	}
}

TEST_F(RipTest, BigEndianDriveGivesTheSameFile)
{
	CDriveConfig config = TestConfig();
	config.dialect = CDriveConfig::kDialectPhilips;
	config.vendor = "PHILIPS";
	config.product = "CDD2000";
	auto drive = Drive(config, "drv-cadwick");
	ASSERT_FALSE(drive->Device()->IsLittleEndian());
	auto results = Rip(*drive, RipOptions(fTemp), {2});
	ASSERT_EQ(results.size(), 1u);
	EXPECT_EQ(WavData(results[0].finalPath), fDisc.Track(kTrack2, kTrack3));
}

TEST_F(RipTest, FullDiskAsksAndAbortLeavesNothingBehind)
{
	// The output may not grow past 200 kB: writes fail like a full disk.
	signal(SIGXFSZ, SIG_IGN);
	rlimit previous;
	getrlimit(RLIMIT_FSIZE, &previous);
	rlimit limit = previous;
	limit.rlim_cur = 200 * 1024;
	auto drive = Drive();
	CddaReadOptions options = RipOptions(fTemp);
	options.writeLog = false;
	fAlerts.QueueAnswer("Retry");
	fAlerts.QueueAnswer("Abort");
	setrlimit(RLIMIT_FSIZE, &limit);
	auto results = Rip(*drive, options, {3});
	setrlimit(RLIMIT_FSIZE, &previous);
	ASSERT_EQ(results.size(), 1u);
	EXPECT_EQ(results[0].outcome, "Write error");
	auto shown = fAlerts.Shown();
	ASSERT_EQ(shown.size(), 2u);   // asked again after "Retry"
	EXPECT_EQ(shown[0].title, "Write error");
	EXPECT_NE(shown[0].text.find("Couldn't write to output file, harddisk full?"), std::string::npos);
	EXPECT_EQ(shown[0].buttons, (std::vector<std::string> {"Abort", "Retry"}));
	EXPECT_EQ(FilesIn(fTemp), std::vector<std::string>());
	EXPECT_EQ(FilesIn(fOut), std::vector<std::string>());
}
