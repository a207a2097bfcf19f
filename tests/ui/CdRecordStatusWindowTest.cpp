// The recording status window rendering a run of the engine against a fake
// recorder: the bars, labels, trailing texts and tool tips mid-run, one
// window per recorder, the refusal to close while busy, and the end of the
// run. With TARNWICK_SCREENSHOT set, the window is also saved as a PNG
// mid-run.
#include "UiTestSupport.h"
#include "recording/RecordEngineFixture.h"

#include "kit/interface/qt/Application.h"
#include "kit/interface/qt/Window.h"
#include "ui/CdRecordStatusWindow.h"

#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>

#include <condition_variable>
#include <cstdlib>

using namespace recordtest;
using namespace uitest;

namespace {

class CdRecordStatusWindowTest : public RecordEngine {
protected:
	bool Showed(const std::string& text)
	{
		for (const AlertRequest& request : fSettings.alerts.Shown())
			if (request.text == text)
				return true;
		return false;
	}

	SettingsAndAlerts fSettings;
	BApplication fApplication {"application/x-vnd.Orrisec-RecordWindowTest"};
};

}   // namespace

TEST_F(CdRecordStatusWindowTest, RendersARunAndStaysOpenUntilItEnds)
{
	UseRecorder();
	MakeProject({{588 * 40 + 100, 0}, {588 * 25 + 300, 75}});
	std::mutex lock;
	std::condition_variable changed;
	bool held = false;
	bool release = false;
	// The recorder ends its lead-in at once.
	fRecorder.longWrites = 1;
	// The run stops in the middle of track 2 until the test lets it go on.
	fRecorder.onWrite = [&](int32 index) {
		if (index != 60)
			return;
		std::unique_lock<std::mutex> guard(lock);
		held = true;
		changed.wait_for(guard, std::chrono::seconds(30), [&] { return release; });
	};
	BWindow* shown = ShowCdRecordStatusWindow(Action(RECORD_ACTION_WRITE));
	auto* window = dynamic_cast<CCdRecordStatusWindow*>(shown);
	ASSERT_NE(window, nullptr);
	EXPECT_EQ(window->Title(), "CD Recording - Fake RECORDER");

	ASSERT_TRUE(RunUntil([&] {
		std::lock_guard<std::mutex> guard(lock);
		return held && window->Shown().status == "Writing track no. 2: track2.wav"
			&& window->Shown().track.trailingText == "Track 2 of 2";
	})) << window->Shown().status << " busy " << window->View()->IsBusy() << " writes " << fRecorder.writeCalls << " log " << fRecorder.log.size() << " alerts " << fSettings.alerts.CountShown() << " "
		<< (fSettings.alerts.CountShown() ? fSettings.alerts.Shown()[0].text : "");
	// Let the display settle on the held position.
	RunFor(300000);

	EXPECT_EQ(window->ProjectLine()->text().toStdString(), fProject->Name());
	EXPECT_EQ(window->StatusLine()->text().toStdString(), "Writing track no. 2: track2.wav");
	EXPECT_EQ(window->Button()->text().toStdString(), "Cancel");
	EXPECT_EQ(window->Button()->toolTip().toStdString(), "Cancel the write process");
	EXPECT_EQ(window->TrackBar().trailing->text().toStdString(), "Track 2 of 2");
	EXPECT_EQ(window->TrackBar().label->text().toStdString().rfind("Current Track: ", 0), 0u);
	EXPECT_EQ(window->TrackBar().bar->toolTip().toStdString(), "Progress of writing the current track");
	EXPECT_EQ(window->OverallBar().label->text().toStdString().rfind("All Tracks: ", 0), 0u);
	EXPECT_EQ(window->OverallBar().trailing->text().toStdString().rfind("Position: 00:0", 0), 0u);
	EXPECT_EQ(window->OverallBar().bar->toolTip().toStdString(), "Progress of writing all the tracks");
	EXPECT_EQ(window->BufferBar().label->text().toStdString().rfind("Buffer: ", 0), 0u);
	EXPECT_EQ(window->RecorderBufferBar().label->text().toStdString(), "Recorder Buffer: 75.0%");
	EXPECT_EQ(window->RecorderBufferBar().bar->value(), 750);
	EXPECT_EQ(window->RecorderBufferBar().bar->toolTip().toStdString(), "Fill level of the recorder buffer");
	// The overall bar shows the sectors passed of the disc's 292.
	float overall = float(window->View()->CurrentSectorOfDisc()) * 100.0f / 292.0f;
	EXPECT_GT(overall, 65.4f);
	EXPECT_EQ(window->OverallBar().label->text().toStdString(), "All Tracks: " + FormatPercent(overall));
	EXPECT_EQ(window->OverallBar().bar->value(), int(overall * 10.0f + 0.5f));

	if (const char* path = getenv("TARNWICK_SCREENSHOT")) {
		window->Activate();
		RunFor(200000);
		EXPECT_TRUE(window->grab().save(path, "PNG")) << path;
	}

	// Closing is refused while busy; a second run for the same recorder goes
	// to the same window, which refuses it.
	int32 windows = CountWindows();
	window->PostMessage(B_QUIT_REQUESTED);
	RunFor(100000);
	EXPECT_EQ(FindWindow("CD Recording - Fake RECORDER"), window);
	EXPECT_TRUE(Showed("CCdRecordStatusView::CancelWrite()\n\nThis feature is not implemented"));
	EXPECT_EQ(ShowCdRecordStatusWindow(Action(RECORD_ACTION_WRITE)), window);
	EXPECT_TRUE(RunUntil([&] { return Showed("Cannot start another recording, the recorder is busy"); }));
	EXPECT_EQ(CountWindows(), windows);

	{
		std::lock_guard<std::mutex> guard(lock);
		release = true;
		changed.notify_all();
	}
	ASSERT_TRUE(RunUntil([&] { return !window->View()->IsBusy(); }, 30000000));
	RunFor(100000);
	EXPECT_EQ(window->StatusLine()->text().toStdString(), "Writing is finished.");
	EXPECT_EQ(window->Button()->text().toStdString(), "Close");
	EXPECT_EQ(window->Button()->toolTip().toStdString(), "Close this window?");
	EXPECT_TRUE(Written(-150) == fExpected);
	EXPECT_FALSE(fRecorder.trayLocked);
	EXPECT_EQ(g_CdRecordingActive, 0);

	// Idle, it closes.
	window->PostMessage(B_QUIT_REQUESTED);
	EXPECT_TRUE(RunUntil([&] { return FindWindow("CD Recording - Fake RECORDER") == nullptr; }));
}
