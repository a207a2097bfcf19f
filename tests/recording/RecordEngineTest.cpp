// The recording engine against a recorder made of test functions: whole
// runs in both modes and with a simulation before the write, the lead-in
// detection, every failure ending with its message and nothing left behind,
// and a run refusing a second one.
#include "RecordEngineFixture.h"

#include "kit/interface/Alert.h"
#include "recording/DaoFeeder.h"
#include "recording/DiscVerifier.h"

#include <condition_variable>
#include <thread>

using namespace recordtest;

namespace {

// Installs a scripted alert handler for one test.
class AlertScope {
public:
	AlertScope() : fPrevious(SetAlertHandler(&fAlerts)) {}
	~AlertScope() { SetAlertHandler(fPrevious); }
	CScriptedAlertHandler& Alerts() { return fAlerts; }
	bool Showed(const std::string& text)
	{
		for (const AlertRequest& request : fAlerts.Shown())
			if (request.text == text)
				return true;
		return false;
	}

private:
	CScriptedAlertHandler fAlerts {2};
	CAlertHandler* fPrevious;
};

const std::vector<TRACK_SPEC> kTwoTracks = {{588 * 40 + 100, 0}, {588 * 25 + 300, 75}};

}   // namespace

TEST_F(RecordEngine, DiscAtOnceSendsTheWholeStreamClusterByClusterAndTidiesUp)
{
	UseRecorder();
	MakeProject(kTwoTracks);
	ASSERT_TRUE(Run(Action(RECORD_ACTION_WRITE)));

	EXPECT_TRUE(fView->Succeeded()) << fView->FailureMessage();
	EXPECT_EQ(fView->Display().status, "Writing is finished.");
	EXPECT_FALSE(fView->Display().statusSelectable);
	std::vector<uint8> written = Written(-150);
	ASSERT_EQ(written.size(), fExpected.size());
	EXPECT_TRUE(written == fExpected) << "the disc differs from the project's stream";
	// 150 + 41 and 75 + 26 sectors: the counters end on the disc's total.
	EXPECT_EQ(fView->CountSectorsOfDisc(), 292);
	EXPECT_EQ(fView->CurrentSectorOfDisc(), 292);
	EXPECT_EQ(fView->CurrentTrack(), 2);

	// Every Write carries at most one cluster (4 sectors) and none crosses a
	// cluster boundary of the stream.
	for (auto [lba, count] : fRecorder.writes) {
		EXPECT_LE(count, 4);
		EXPECT_EQ((lba + 150) / 4, (lba + 150 + count - 1) / 4) << lba << " " << count;
	}
	// The commands around the data, in order; the cue sheet has 6 entries.
	std::vector<std::string> commands;
	for (const std::string& entry : fRecorder.log)
		if (entry != "TestUnitReady")
			commands.push_back(entry);
	EXPECT_EQ(commands, (std::vector<std::string> {"MediumPreventRemoval", "SpeedSet 4", "SpeedGet",
							"OpenSession 0 48", "OptimumPowerCalibration", "CloseSession", "MediumAllowRemoval",
							"MediumEject"}));
	CD_RECORD_DISPLAY display = fView->Display();
	EXPECT_EQ(display.buttonLabel, "Close");
	EXPECT_EQ(display.project, fProject->Name());
	EXPECT_GT(fSink->CountMessages(M_RECORD_DISPLAY_CHANGED), 0);
	ExpectNothingLeft();
}

TEST_F(RecordEngine, SimulationThenWriteReloadsAndSendsTheSameSectorsAgain)
{
	UseRecorder();
	MakeProject(kTwoTracks);
	ASSERT_TRUE(Run(Action(RECORD_ACTION_SIMULATE | RECORD_ACTION_WRITE)));

	EXPECT_TRUE(fView->Succeeded()) << fView->FailureMessage();
	EXPECT_EQ(fView->Display().status, "Writing is finished.");
	EXPECT_EQ(fRecorder.simulatedSectors, 292);
	EXPECT_TRUE(Written(-150) == fExpected);
	EXPECT_TRUE(fRecorder.Logged("OpenSession 1 48"));
	EXPECT_TRUE(fRecorder.Logged("OpenSession 0 48"));
	EXPECT_EQ(fRecorder.CountLogged("MediumEject"), 2);
	EXPECT_EQ(fRecorder.CountLogged("MediumLoad"), 1);
	std::vector<bigtime_t> waits = fClock.WriterSnoozes();
	EXPECT_NE(std::find(waits.begin(), waits.end(), 2000000), waits.end()) << "no 2 s wait before the reload";
	ExpectNothingLeft();
}

TEST_F(RecordEngine, SimulationOnlyLeavesTheDiscBlank)
{
	UseRecorder();
	MakeProject(kTwoTracks);
	ASSERT_TRUE(Run(Action(RECORD_ACTION_SIMULATE)));
	EXPECT_TRUE(fView->Succeeded());
	EXPECT_EQ(fView->Display().status, "Simulation is finished.");
	EXPECT_TRUE(fRecorder.sectors.empty());
	EXPECT_EQ(fRecorder.simulatedSectors, 292);
	ExpectNothingLeft();
}

TEST_F(RecordEngine, TrackAtOnceSkipsThePausesAndFixatesOnlyWhenAsked)
{
	UseRecorder();
	MakeProject(kTwoTracks);
	ASSERT_TRUE(Run(Action(RECORD_ACTION_WRITE, RECORD_MODE_TAO_FIXATE)));
	EXPECT_TRUE(fView->Succeeded()) << fView->FailureMessage();

	// The pauses go to OpenTrack, never to the recorder as data, yet the
	// disc position counts them.
	EXPECT_EQ(fRecorder.openTrackPauses, (std::vector<int32> {150, 75}));
	EXPECT_EQ(fRecorder.openTrackSectors, (std::vector<int32> {41, 26}));
	std::vector<uint8> dataOnly;
	for (size_t track = 0; track < fTrackStarts.size(); track++) {
		size_t end = track + 1 < fTrackStarts.size() ? size_t(fTrackStarts[track + 1] - fPauses[track + 1])
													 : fExpected.size() / 2352;
		dataOnly.insert(dataOnly.end(), fExpected.begin() + fTrackStarts[track] * 2352, fExpected.begin() + end * 2352);
	}
	EXPECT_TRUE(Written(0) == dataOnly);
	EXPECT_EQ(fView->CurrentSectorOfDisc(), 292);
	EXPECT_TRUE(fRecorder.Logged("CloseTrack 1"));
	EXPECT_TRUE(fRecorder.Logged("CloseTrack 2"));
	EXPECT_TRUE(fRecorder.Logged("FixateDisc"));
	EXPECT_FALSE(fRecorder.Logged("OpenSession 0 48"));
	ExpectNothingLeft();

	// Mode 2 leaves the disc open.
	fRecorder.log.clear();
	fRecorder.sectors.clear();
	ASSERT_TRUE(Run(Action(RECORD_ACTION_WRITE, RECORD_MODE_TAO_OPEN)));
	EXPECT_TRUE(fView->Succeeded());
	EXPECT_FALSE(fRecorder.Logged("FixateDisc"));
	EXPECT_TRUE(fRecorder.Logged("CloseTrack 2"));
}

TEST_F(RecordEngine, LeadinEndsWhenTheRecorderStopsAnsweringLongWriteOrTheBudgetIsSpent)
{
	UseRecorder();
	MakeProject(kTwoTracks);

	// The first three Writes find the recorder busy writing the lead-in: each
	// is sent again after 0.2 s, and the next accepted one ends the lead-in.
	fRecorder.longWrites = 3;
	ASSERT_TRUE(Run(Action(RECORD_ACTION_WRITE)));
	ASSERT_TRUE(fView->Succeeded()) << fView->FailureMessage();
	ASSERT_GE(fRecorder.statesAtWrite.size(), 6u);
	for (int i = 0; i < 4; i++)
		EXPECT_EQ(fRecorder.statesAtWrite[i], STATUS_LEADIN) << i;
	EXPECT_EQ(fRecorder.statesAtWrite[4], STATUS_TRACK_WRITE);
	std::vector<bigtime_t> waits = fClock.WriterSnoozes();
	EXPECT_EQ(std::count(waits.begin(), waits.end(), 200000), 3);
	EXPECT_TRUE(Written(-150) == fExpected);

	// At 4.0X the budget is exactly 33 750 000 us: a first Write taking
	// that long still counts as lead-in, one taking a microsecond more ends it.
	auto switchedAt = [&](int64 writeTime) {
		fRecorder.sectors.clear();
		fRecorder.statesAtWrite.clear();
		fRecorder.writeTime = writeTime;
		EXPECT_TRUE(Run(Action(RECORD_ACTION_WRITE)));
		EXPECT_TRUE(fView->Succeeded());
		const std::vector<int32>& states = fRecorder.statesAtWrite;
		return int32(std::find(states.begin(), states.end(), STATUS_TRACK_WRITE) - states.begin());
	};
	EXPECT_EQ(switchedAt(33750000), 2);
	EXPECT_EQ(switchedAt(33750001), 1);
	EXPECT_FLOAT_EQ(fView->WriteSpeedFactor(), 4.0f);

	// A recorder that cannot tell its speed: factor 1.0, a 20 s budget.
	fRecorder.factor = -1;
	EXPECT_EQ(switchedAt(20000000), 2);
	EXPECT_EQ(switchedAt(20000001), 1);
	EXPECT_FLOAT_EQ(fView->WriteSpeedFactor(), 1.0f);
	ExpectNothingLeft();
}

TEST_F(RecordEngine, ASecondRunIsRefusedAndTheWindowStaysOpenWhileBusy)
{
	AlertScope alerts;
	UseRecorder();
	MakeProject(kTwoTracks);
	std::mutex lock;
	std::condition_variable changed;
	bool writing = false;
	bool release = false;
	fRecorder.onWrite = [&](int32 index) {
		if (index != 0)
			return;
		std::unique_lock<std::mutex> guard(lock);
		writing = true;
		changed.notify_all();
		changed.wait_for(guard, std::chrono::seconds(30), [&] { return release; });
	};
	fView->StartRecording(Action(RECORD_ACTION_WRITE));
	{
		std::unique_lock<std::mutex> guard(lock);
		ASSERT_TRUE(changed.wait_for(guard, std::chrono::seconds(30), [&] { return writing; }));
	}
	EXPECT_TRUE(fView->IsBusy());
	EXPECT_EQ(g_CdRecordingActive, 1);
	EXPECT_TRUE(fRecorder.trayLocked);
	thread_info info;
	ASSERT_EQ(get_thread_info(fView->WriteThread(), &info), B_OK);
	EXPECT_STREQ(info.name, kWriteThreadName);
	ASSERT_EQ(get_thread_info(fView->DisplayThread(), &info), B_OK);
	EXPECT_EQ(info.priority, 15);
	ASSERT_EQ(get_thread_info(fView->PriorityThread(), &info), B_OK);
	EXPECT_EQ(info.priority, 120);

	fView->StartRecording(Action(RECORD_ACTION_WRITE));
	EXPECT_TRUE(alerts.Showed("Cannot start another recording, the recorder is busy"));
	EXPECT_FALSE(fView->QuitRequested());
	EXPECT_TRUE(alerts.Showed("CCdRecordStatusView::CancelWrite()\n\nThis feature is not implemented"));
	{
		std::lock_guard<std::mutex> guard(lock);
		release = true;
		changed.notify_all();
	}
	std::unique_ptr<BMessage> ended = fSink->WaitForMessage(M_RECORD_WRITE_THREAD_ENDED, 60000000);
	ASSERT_NE(ended, nullptr);
	fView->MessageReceived(ended.get());
	EXPECT_TRUE(fView->Succeeded());
	EXPECT_TRUE(fView->QuitRequested());
	ExpectNothingLeft();
}

// --- Failures ------------------------------------------------------------

struct FAILURE_CASE {
	const char* name;
	std::function<void(CFakeRecorder&)> arrange;
	int32 flags;
	int32 mode;
	bool burnProof;
	uint64 driverFlags;
	const char* message;   // how the status line begins
	const char* alert;     // text the diagnostics alert ends with, or null
};

class RecordEngineFailure : public RecordEngine, public testing::WithParamInterface<FAILURE_CASE> {};

TEST_P(RecordEngineFailure, EndsWithItsMessageTheTrayFreeAndNoThreadLeft)
{
	const FAILURE_CASE& c = GetParam();
	AlertScope alerts;
	UseRecorder(c.driverFlags);
	MakeProject(kTwoTracks);
	if (c.arrange)
		c.arrange(fRecorder);
	if (std::string(c.name) == "MissingFile")
		std::filesystem::remove(fFolder + "/track2.wav");
	ASSERT_TRUE(Run(Action(c.flags, c.mode, c.burnProof)));
	ExpectFailure(c.message);
	if (c.alert != nullptr) {
		std::string whole = fView->FailureMessage() + c.alert;
		EXPECT_TRUE(alerts.Showed(whole)) << whole;
	}
}

constexpr uint64 kRawOnly = F_SUPPORTED | F_RAW_WRITE | F_RAW_TESTWRITE;

INSTANTIATE_TEST_SUITE_P(Table, RecordEngineFailure,
	testing::Values(
		FAILURE_CASE {"NotReadyFor60Seconds", [](CFakeRecorder& r) { r.notReadyRounds = -1; }, RECORD_ACTION_WRITE,
			RECORD_MODE_DAO, false, kRecorderFlags, "Device not ready. (", nullptr},
		FAILURE_CASE {"SetSpeedRefused", [](CFakeRecorder& r) { r.failSpeedSet = true; }, RECORD_ACTION_WRITE,
			RECORD_MODE_DAO, false, kRecorderFlags, "Could not set write speed. (", nullptr},
		FAILURE_CASE {"GetSpeedRefused", [](CFakeRecorder& r) { r.failSpeedGet = true; }, RECORD_ACTION_WRITE,
			RECORD_MODE_DAO, false, kRecorderFlags, "Could not get current write speed. (", nullptr},
		FAILURE_CASE {"OpenSessionRefused", [](CFakeRecorder& r) { r.failOpenSession = true; }, RECORD_ACTION_WRITE,
			RECORD_MODE_DAO, false, kRecorderFlags, "Could not open new session. (",
			"\n\nYour recorder may not support the Disk-At-Once (DAO) recording mode. Please try again using "
			"Track-At-Once mode. It is also possible that your recorder does support DAO, but failes when the data "
			"does not fit on the disk\n"},
		FAILURE_CASE {"OpenSessionRefusedWithBurnProof", [](CFakeRecorder& r) { r.failOpenSession = true; },
			RECORD_ACTION_WRITE, RECORD_MODE_DAO, true, kRecorderFlags, "Could not open new session. (",
			"\n\nYour recorder may not support the BURN-Proof feature. Please try again but don't enable "
			"BURN-Proof.\n"},
		FAILURE_CASE {"OpenTrackRefused", [](CFakeRecorder& r) { r.failOpenTrack = true; }, RECORD_ACTION_WRITE,
			RECORD_MODE_TAO_FIXATE, false, kRecorderFlags, "Could not open a new track. (", nullptr},
		FAILURE_CASE {"WriteError", [](CFakeRecorder& r) { r.failWriteAt = 20; }, RECORD_ACTION_WRITE,
			RECORD_MODE_DAO, false, kRecorderFlags, "Writing failed! (", nullptr},
		FAILURE_CASE {"WriteErrorInSimulation", [](CFakeRecorder& r) { r.failWriteAt = 20; }, RECORD_ACTION_SIMULATE,
			RECORD_MODE_DAO, false, kRecorderFlags, "Simulation failed! (", nullptr},
		FAILURE_CASE {"WriteErrorInTheSimulationBeforeAWrite", [](CFakeRecorder& r) { r.failWriteAt = 20; },
			RECORD_ACTION_SIMULATE | RECORD_ACTION_WRITE, RECORD_MODE_DAO, false, kRecorderFlags,
			"Writing failed! (", nullptr},
		FAILURE_CASE {"CloseSessionAfter12Seconds",
			[](CFakeRecorder& r) {
				r.failCloseSession = true;
				r.closeTime = 12000000;
			},
			RECORD_ACTION_WRITE, RECORD_MODE_DAO, false, kRecorderFlags, "Closing session finished with an error. (",
			nullptr},
		FAILURE_CASE {"CloseSessionAfter3Seconds",
			[](CFakeRecorder& r) {
				r.failCloseSession = true;
				r.closeTime = 3000000;
			},
			RECORD_ACTION_WRITE, RECORD_MODE_DAO, false, kRecorderFlags, "Could not close session. (", nullptr},
		FAILURE_CASE {"FixateAfter12Seconds",
			[](CFakeRecorder& r) {
				r.failFixate = true;
				r.closeTime = 12000000;
			},
			RECORD_ACTION_WRITE, RECORD_MODE_TAO_FIXATE, false, kRecorderFlags,
			"Fixating the disc finished with an error. (", nullptr},
		FAILURE_CASE {"FixateAfter3Seconds",
			[](CFakeRecorder& r) {
				r.failFixate = true;
				r.closeTime = 3000000;
			},
			RECORD_ACTION_WRITE, RECORD_MODE_TAO_FIXATE, false, kRecorderFlags, "Could not fixate the disc. (",
			nullptr},
		FAILURE_CASE {"RawMode", nullptr, RECORD_ACTION_WRITE, RECORD_MODE_DAO, false, kRawOnly,
			"raw data mode not supported", nullptr},
		FAILURE_CASE {"MissingFile", nullptr, RECORD_ACTION_WRITE, RECORD_MODE_DAO, false, kRecorderFlags,
			"Could not open all project files. (error code ", nullptr},
		FAILURE_CASE {"StoppedByTheUser",
			[](CFakeRecorder& r) {
				r.onWrite = [&r](int32 index) {
					if (index == 10)
						r.view->RequestStop();
				};
			},
			RECORD_ACTION_WRITE, RECORD_MODE_DAO, false, kRecorderFlags, "Writing failed! (stopped by the user)",
			nullptr}),
	[](const testing::TestParamInfo<FAILURE_CASE>& info) { return std::string(info.param.name); });

TEST_F(RecordEngine, AFailedCommandIsNamedWithItsStatusAndSenseTexts)
{
	UseRecorder();
	MakeProject(kTwoTracks);
	fRecorder.failWriteAt = 3;
	ASSERT_TRUE(Run(Action(RECORD_ACTION_WRITE)));
	EXPECT_EQ(fView->FailureMessage(),
		"Writing failed! (" + GetScsiStatusByteDescription(2) + "  " + GetScsiSenseMessage(3, 0x0C, 0, false) + ")");
	// Nothing after the failed Write reached the disc.
	EXPECT_EQ(fRecorder.writes.size(), 3u);
	EXPECT_FALSE(fRecorder.Logged("CloseSession"));
	ExpectNothingLeft();

	// The view takes the next run at once.
	fRecorder.failWriteAt = -1;
	fRecorder.writeCalls = 0;
	fRecorder.sectors.clear();
	ASSERT_TRUE(Run(Action(RECORD_ACTION_WRITE)));
	EXPECT_TRUE(fView->Succeeded());
	EXPECT_TRUE(Written(-150) == fExpected);
}

// An alert handler that keeps the reader's "read error" alert open until
// the recorder's tray has been freed and the medium ejected: the writer must
// get there without waiting for the answer.
class CTrayWatchingAlerts : public CScriptedAlertHandler {
public:
	CTrayWatchingAlerts() : CScriptedAlertHandler(0) {}
	int32 Show(const AlertRequest& request) override
	{
		if (request.title == "read error") {
			bigtime_t deadline = system_time() + 20000000;
			while (system_time() < deadline) {
				{
					std::lock_guard<std::mutex> guard(gRecorder->lock);
					if (gRecorder->ejected && !gRecorder->trayLocked) {
						trayFreedWhileShown = true;
						break;
					}
				}
				snooze(1000);
			}
		}
		return CScriptedAlertHandler::Show(request);
	}
	std::atomic<bool> trayFreedWhileShown {false};
};

TEST_F(RecordEngine, AFileReadingErrorStopsTheRunWithoutWaitingForTheAlert)
{
	CTrayWatchingAlerts alerts;
	CAlertHandler* previous = SetAlertHandler(&alerts);
	UseRecorder();
	MakeProject(kTwoTracks);
	// The sixth element cannot be read: the buffer (4 elements) has been
	// filled and writing has begun.
	std::atomic<int32> reads {0};
	fView->SetFeederReadFunction([&](CDaoFeeder* feeder, void* buffer, int bytes, int* bytesRead, bool little) {
		if (reads++ == 5) {
			*bytesRead = 0;
			return status_t(B_IO_ERROR);
		}
		return feeder->Read(buffer, bytes, bytesRead, little);
	});
	ASSERT_TRUE(Run(Action(RECORD_ACTION_WRITE)));
	SetAlertHandler(previous);

	ExpectFailure("Writing failed! (File reading error, reading stopped)");
	EXPECT_EQ(fView->FailureMessage(), "Writing failed! (File reading error, reading stopped)");
	EXPECT_TRUE(alerts.trayFreedWhileShown.load());
	std::vector<AlertRequest> shown = alerts.Shown();
	ASSERT_EQ(shown.size(), 1u);
	EXPECT_EQ(shown[0].title, "read error");
	EXPECT_EQ(shown[0].buttons, std::vector<std::string> {"Abort"});
	EXPECT_EQ(shown[0].text.rfind("G A M E   O V E R\n\nFile reading returned error\ncode 0x", 0), 0u);
	EXPECT_NE(shown[0].text.find("File: \"" + fFolder + "/track1.wav\""), std::string::npos) << shown[0].text;
	// The sectors before the failing element reached the disc, none after.
	EXPECT_LE(fRecorder.sectors.size(), 5u * 8u);
	EXPECT_FALSE(fRecorder.Logged("CloseSession"));
}

// The real decoder path: a file cut short while the run reads it is a read
// error, not a track padded with silence; whether the cut comes before its
// decoding began (Write 0, still in track 1's pause) or in the middle of it
// (Write 70, in track 2).
TEST_F(RecordEngine, AFileCutWhileBeingReadStopsTheRunWithAFileReadingError)
{
	AlertScope alerts;
	UseRecorder();
	for (int32 cutAt : {0, 70}) {
		SCOPED_TRACE(cutAt);
		MakeProject({{588 * 40 + 100, 0}, {588 * 600, 0}});
		fRecorder.writeCalls = 0;
		fRecorder.log.clear();
		fRecorder.onWrite = [this, cutAt](int32 index) {
			if (index == cutAt)
				std::filesystem::resize_file(fFolder + "/track2.wav", 44 + 588 * 4 * 20);
		};
		ASSERT_TRUE(Run(Action(RECORD_ACTION_WRITE)));
		ExpectFailure("Writing failed! (File reading error, reading stopped)");
		EXPECT_EQ(fView->FailureMessage(), "Writing failed! (File reading error, reading stopped)");
		ASSERT_FALSE(alerts.Alerts().Shown().empty());
		EXPECT_NE(alerts.Alerts().Shown().back().text.find("track2.wav"), std::string::npos);
		EXPECT_FALSE(fRecorder.Logged("CloseSession"));
	}
}

TEST_F(RecordEngine, VerificationReadsEveryTrackBackAndNamesTheFirstDifference)
{
	UseRecorder();
	MakeProject(kTwoTracks);
	ASSERT_TRUE(Run(Action(RECORD_ACTION_WRITE)));
	ASSERT_TRUE(fView->Succeeded());

	std::vector<TRACK_VERIFICATION> results;
	ASSERT_EQ(VerifyRecordedDisc(fDevice.get(), fProject.get(), &results), B_OK);
	ASSERT_EQ(results.size(), 2u);
	EXPECT_TRUE(results[0].verified);
	EXPECT_TRUE(results[1].verified);

	// One byte changed in track 2's pause, one sector of track 1 unreadable.
	int32 changed = fTrackStarts[1] - 150 - 10;
	int32 missing = fTrackStarts[0] - 150 + 20;
	fRecorder.sectors[changed][1000] ^= 0x01;
	fRecorder.sectors.erase(missing);
	ASSERT_EQ(VerifyRecordedDisc(fDevice.get(), fProject.get(), &results), B_OK);
	ASSERT_EQ(results.size(), 2u);
	EXPECT_FALSE(results[0].verified);
	// Reads go 27 sectors at a time from the pause's start at -150.
	EXPECT_EQ(results[0].readError.rfind("sectors 12-38: (", 0), 0u) << results[0].readError;
	EXPECT_FALSE(results[1].verified);
	EXPECT_EQ(results[1].firstDifference, changed);

	// A disc with another number of tracks is not compared.
	fRecorder.tocStarts.pop_back();
	fRecorder.tocPauses.pop_back();
	EXPECT_EQ(VerifyRecordedDisc(fDevice.get(), fProject.get(), &results), B_BAD_VALUE);
}
