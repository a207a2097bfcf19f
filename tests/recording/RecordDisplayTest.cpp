// The display thread's rules (texts per run state, bars, the estimates of
// lead-in, lead-out and fixation and their growth) and the priority
// manager's table, driven round by round with explicit times.
#include "recording/RecordDisplay.h"

#include <gtest/gtest.h>

namespace {

RECORD_RUN_SNAPSHOT Snapshot(int32 state, bool simulation = false)
{
	RECORD_RUN_SNAPSHOT run;
	run.runState = state;
	run.simulation = simulation;
	run.currentTrack = 1;
	run.countTracksOfDisc = 3;
	run.countSectorsOfCurrentTrack = 1000;
	run.countSectorsOfDisc = 9000;
	run.projectName = "Summer";
	run.trackName = [](int32 track) { return "Song " + std::to_string(track); };
	return run;
}

}   // namespace

TEST(RecordDisplay, EachRunStateSetsItsTexts)
{
	CD_RECORD_DISPLAY display;
	EXPECT_EQ(display.status, "Nothing to do");
	EXPECT_EQ(display.project, "No project");
	EXPECT_EQ(display.overall.text, "0%");
	CRecordDisplayUpdater::Begin(&display);
	EXPECT_EQ(display.buttonLabel, "Cancel");
	EXPECT_EQ(display.buttonToolTip, "Cancel the write process");

	CRecordDisplayUpdater updater;
	RECORD_RUN_SNAPSHOT run = Snapshot(STATUS_INIT);
	run.hasRingBuffer = true;
	run.ringBufferFill = 42.5f;
	EXPECT_TRUE(updater.Round(run, 0, &display));
	EXPECT_EQ(display.project, "Summer");
	EXPECT_EQ(display.overall.label, "All Tracks: ");
	EXPECT_EQ(display.overall.trailingText, "Position: 00:00.00");
	EXPECT_EQ(display.track.toolTip, "");
	EXPECT_EQ(display.buffer.text, "42.5%");

	run = Snapshot(STATUS_LEADIN, true);
	updater.Round(run, 1000000, &display);
	EXPECT_EQ(display.status, "Simulation mode - writing leadin");
	EXPECT_EQ(display.track.label, "Leadin: ");
	EXPECT_EQ(display.track.toolTip, "Progress of writing the disc leadin");

	// Track 1, then track 2 at a new round: the simulation wording stays.
	run = Snapshot(STATUS_TRACK_WRITE, true);
	run.currentSectorOfTrack = 250;
	run.currentSectorOfDisc = 4500 + 75 * 61 + 3;
	run.recorderBufferFill = 80;
	updater.Round(run, 2000000, &display);
	EXPECT_EQ(display.status, "Simulation mode - writing track no. 1: Song 1");
	EXPECT_EQ(display.track.label, "Current Track: ");
	EXPECT_EQ(display.track.trailingText, "Track 1 of 3");
	EXPECT_EQ(display.track.text, "25.0%");
	EXPECT_EQ(display.overall.trailingText, "Position: 02:01.03");
	EXPECT_EQ(display.recorderBuffer.text, "80.0%");
	run.currentTrack = 2;
	updater.Round(run, 2100000, &display);
	EXPECT_EQ(display.status, "Simulation mode - writing track no. 2: Song 2");
	EXPECT_EQ(display.track.trailingText, "Track 2 of 3");
	// A recorder that cannot report its buffer leaves the bar alone.
	run.recorderBufferFill = -1;
	updater.Round(run, 2200000, &display);
	EXPECT_EQ(display.recorderBuffer.text, "80.0%");
	// A track number beyond the disc changes no line.
	run.currentTrack = 4;
	updater.Round(run, 2300000, &display);
	EXPECT_EQ(display.status, "Simulation mode - writing track no. 2: Song 2");

	run = Snapshot(STATUS_LEADOUT);
	updater.Round(run, 3000000, &display);
	EXPECT_EQ(display.status, "Writing leadout");
	EXPECT_EQ(display.track.label, "Leadout: ");
	EXPECT_EQ(display.overall.text, "100.0%");
	EXPECT_EQ(display.buffer.text, "0.0%");
	EXPECT_EQ(display.recorderBuffer.text, "0.0%");
	EXPECT_EQ(display.track.toolTip, "Progress of writing the disc leadout");

	run = Snapshot(STATUS_FIXATE, true);
	updater.Round(run, 4000000, &display);
	EXPECT_EQ(display.status, "Simulation mode - fixating the medium");
	EXPECT_EQ(display.track.label, "Fixation: ");
	EXPECT_EQ(display.track.toolTip, "Progress of writing the disc leadin and leadout");
	run.simulation = false;
	CRecordDisplayUpdater fresh;
	fresh.Round(run, 0, &display);
	EXPECT_EQ(display.status, "Fixating the medium");

	CRecordDisplayUpdater::End(&display);
	EXPECT_EQ(display.buttonLabel, "Close");
	EXPECT_EQ(display.buttonToolTip, "Close this window?");
}

TEST(RecordDisplay, PhaseEstimatesFollowTheSpeedAndGrowWhenOverrun)
{
	CD_RECORD_DISPLAY display;
	CRecordDisplayUpdater updater;
	RECORD_RUN_SNAPSHOT run = Snapshot(STATUS_LEADIN);
	run.writeSpeedFactor = 2.0f;
	bigtime_t start = 5000000;
	updater.Round(run, start, &display);
	EXPECT_EQ(updater.Expected(), 85000000);
	updater.Round(run, start + 42500000, &display);
	EXPECT_EQ(display.track.text, "50.0%");
	updater.Round(run, start + 85000000, &display);
	EXPECT_EQ(display.track.text, "100.0%");
	// Up to 15 s late the estimate holds and the bar stays full.
	updater.Round(run, start + 100000000, &display);
	EXPECT_EQ(updater.Expected(), 85000000);
	EXPECT_EQ(display.track.value, 100);
	// Beyond that it grows by four tenths: 119 s.
	updater.Round(run, start + 100000001, &display);
	EXPECT_EQ(updater.Expected(), 119000000);
	EXPECT_EQ(display.track.text, FormatPercent(float(100000001.0 * 100.0 / 119000000.0)));
	updater.Round(run, start + 110000000, &display);
	EXPECT_EQ(display.track.text, FormatPercent(float(110000000.0 * 100.0 / 119000000.0)));

	// Lead-out and fixation at an unknown speed take their single-speed time.
	CRecordDisplayUpdater other;
	run = Snapshot(STATUS_LEADOUT);
	other.Round(run, 0, &display);
	EXPECT_EQ(other.Expected(), 92000000);
	run = Snapshot(STATUS_FIXATE);
	run.writeSpeedFactor = 4.0f;
	other.Round(run, 0, &display);
	EXPECT_EQ(other.Expected(), 61500000);
}

TEST(RecordPriority, RowsFollowTheFillLevelAndWarnOnceOnEnteringTheLast)
{
	CRecordPriorityManager manager;
	// The first row changes nothing.
	PRIORITY_STEP step = manager.Round(99);
	EXPECT_EQ(step.readPriority, -1);
	EXPECT_EQ(step.writePriority, -1);

	step = manager.Round(50.9f);
	EXPECT_EQ(step.readPriority, 112);
	EXPECT_EQ(step.writePriority, 120);
	EXPECT_TRUE(step.trouble);
	EXPECT_EQ(step.extraWait, 400000);
	step = manager.Round(30);
	EXPECT_FALSE(step.trouble);
	EXPECT_EQ(step.readPriority, -1);
	EXPECT_EQ(step.extraWait, 400000);

	step = manager.Round(85);
	EXPECT_EQ(step.readPriority, 12);
	EXPECT_EQ(step.writePriority, 95);
	EXPECT_EQ(step.extraWait, 0);

	step = manager.Round(75);
	EXPECT_EQ(step.readPriority, 18);
	EXPECT_EQ(step.writePriority, -1);
	step = manager.Round(70.99f);
	EXPECT_EQ(step.readPriority, 80);
	EXPECT_EQ(step.writePriority, -1);
	EXPECT_FALSE(step.trouble);
	EXPECT_EQ(CRecordPriorityManager::RowOfLevel(81), 0);
	EXPECT_EQ(CRecordPriorityManager::RowOfLevel(80), 1);
	EXPECT_EQ(CRecordPriorityManager::RowOfLevel(71), 1);
	EXPECT_EQ(CRecordPriorityManager::RowOfLevel(51), 2);
	EXPECT_EQ(CRecordPriorityManager::RowOfLevel(50), 3);
}
