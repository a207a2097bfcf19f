// The record set-up window over the fake recorder of the engine tests: it
// renders the view's menus, marks, enabled states, status lines and check
// boxes, posts the user's choices back, and a start hands the run to the
// status window, which writes and verifies the disc. With
// TARNWICK_SCREENSHOT_SETUP set, the window is saved there as a PNG.
#include "UiTestSupport.h"
#include "recording/RecordEngineFixture.h"

#include "kit/interface/qt/Application.h"
#include "kit/interface/qt/Window.h"
#include "devices/devices.h"
#include "projects/ProjectRoster.h"
#include "ui/CdRecordStatusWindow.h"
#include "ui/CdRecordWindow.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

#include <cstdlib>

using namespace recordtest;
using namespace uitest;

namespace {

bool gMediumPresent = false;

class CdRecordWindowTest : public RecordEngine {
protected:
	// The fake recorder with an empty 74-minute CD-R in it.
	void UseRecorderWithMedium()
	{
		UseRecorder();
		gMediumPresent = true;
		fDevice->GetDriver()->ReadDiscInformation = [](CDevice*, SCSI_DISC_INFORMATION* info, SCSI_STATUS* s) {
			if (!gMediumPresent)
				return false;
			memset(info, 0, sizeof(*info));
			info->LastPossibleStartTimeOfLeadout[0] = 74;
			return Good(s);
		};
		fDevice->GetDriver()->ReadAtipData = [](CDevice*, SCSI_ATIP_DATA*, SCSI_STATUS* s) { return Good(s); };
	}
	CCdRecordWindow* Open()
	{
		auto* window = new CCdRecordWindow(BRect(100, 100, -1, -1), {fDevice.get()}, nullptr, false);
		window->Show();
		BMessage added(PROJECT_ADDED);
		added.AddPointer("Project", fProject.get());
		window->PostMessage(&added);
		window->View()->DeviceUpdate();
		return window;
	}
	static QAction* MenuAction(QPushButton* field, const char* label)
	{
		for (QAction* action : field->menu()->actions())
			if (action->text() == label)
				return action;
		return nullptr;
	}

	SettingsAndAlerts fSettings;
	BApplication fApplication {"application/x-vnd.Orrisec-RecordSetupTest"};
};

}   // namespace

TEST_F(CdRecordWindowTest, RendersTheChoicesAndPostsTheUsersBack)
{
	UseRecorderWithMedium();
	MakeProject({{588 * 300, 0}, {588 * 310, 0}});
	CCdRecordWindow* window = Open();
	EXPECT_EQ(window->Title(), "Start CD Recording...");
	ASSERT_TRUE(RunUntil([&] {
		return window->RecorderStatus()->text() == "CD-R medium is empty, length: 73:59.74"
			&& window->MenuField("Project")->text().toStdString() == fProject->Name();
	})) << window->RecorderStatus()->text().toStdString();

	EXPECT_EQ(window->MenuField("Recorder")->text(), "Fake RECORDER");
	EXPECT_EQ(window->MenuField("Recorder")->toolTip(), "Select the CD recorder");
	EXPECT_EQ(window->MenuField("Write Mode")->text(), "Disc At Once");
	EXPECT_EQ(window->MenuField("CD Text")->text(), "None");
	EXPECT_EQ(window->MenuField("Action")->text(), "Write simulation");
	EXPECT_EQ(window->ProjectStatus()->text().left(32), "Tracks: 02, length: 00:08.10, un");
	EXPECT_EQ(window->ActionButton()->text(), "Start Simulation");
	EXPECT_TRUE(window->ActionButton()->isDefault());
	EXPECT_EQ(window->ActionButton()->toolTip(), "Are you sure?");
	EXPECT_EQ(window->BurnProof()->text(), "Enable BURN-Proof");
	EXPECT_EQ(window->Verify()->text(), "Verify after writing");
	EXPECT_FALSE(window->Verify()->isEnabled());
	// Marks and enabled states reach the pop-up menus.
	QAction* simulation = MenuAction(window->MenuField("Action"), "Write simulation");
	ASSERT_NE(simulation, nullptr);
	EXPECT_TRUE(simulation->isChecked());
	EXPECT_FALSE(MenuAction(window->MenuField("Action"), "Speed Test")->isEnabled());
	EXPECT_FALSE(MenuAction(window->MenuField("Action"), "Write simulation and write")->isEnabled());
	EXPECT_FALSE(MenuAction(window->MenuField("Write Mode"), "Track At Once without fixation")->isEnabled());

	// Choosing "Write" in the menu goes through the view and back.
	MenuAction(window->MenuField("Action"), "Write")->trigger();
	ASSERT_TRUE(RunUntil([&] { return window->ActionButton()->text() == "Start Writing"; }));
	EXPECT_TRUE(window->Verify()->isEnabled());
	EXPECT_TRUE(MenuAction(window->MenuField("Action"), "Write")->isChecked());
	window->Verify()->setChecked(true);
	ASSERT_TRUE(RunUntil([&] { return window->Shown().verify; }));

	if (const char* path = getenv("TARNWICK_SCREENSHOT_SETUP")) {
		window->Activate();
		RunFor(200000);
		EXPECT_TRUE(window->grab().save(path, "PNG")) << path;
	}

	// Start: the warning is answered "Continue" (the scripted answer 0), the
	// set-up closes and the status window writes and verifies the disc.
	window->ActionButton()->click();
	ASSERT_TRUE(RunUntil([&] { return FindWindow("Start CD Recording...") == nullptr; }));
	ASSERT_EQ(fSettings.alerts.CountShown(), 1u);
	EXPECT_EQ(fSettings.alerts.Shown()[0].title, "no testwrite warning");
	auto* status = dynamic_cast<CCdRecordStatusWindow*>(FindWindow("CD Recording - Fake RECORDER"));
	ASSERT_NE(status, nullptr);
	ASSERT_TRUE(RunUntil([&] { return !status->View()->IsBusy() && status->View()->RunState() != STATUS_INIT; },
		30000000));
	RunFor(100000);
	EXPECT_EQ(status->StatusLine()->text(), "Writing is finished.");
	EXPECT_EQ(status->VerificationLabel()->text(), "Track 01: verified\nTrack 02: verified");
	EXPECT_TRUE(Written(-150) == fExpected);
	if (const char* path = getenv("TARNWICK_SCREENSHOT_SETUP")) {
		EXPECT_TRUE(status->grab().save((std::string(path) + ".status.png").c_str(), "PNG"));
	}
	status->PostMessage(B_QUIT_REQUESTED);
	EXPECT_TRUE(RunUntil([&] { return FindWindow("CD Recording - Fake RECORDER") == nullptr; }));
}

TEST_F(CdRecordWindowTest, OneSetUpWindowAtATime)
{
	int32 windows = CountWindows();
	BWindow* window = ShowCdRecordWindow(nullptr);
	ASSERT_NE(window, nullptr);
	EXPECT_EQ(FindWindow("Start CD Recording..."), window);
	EXPECT_EQ(ShowCdRecordWindow(nullptr), window);
	EXPECT_EQ(CountWindows(), windows + 1);
	auto* setup = dynamic_cast<CCdRecordWindow*>(window);
	ASSERT_NE(setup, nullptr);
	RunFor(50000);
	// No drive that writes and no project: nothing can start.
	EXPECT_EQ(setup->ProjectStatus()->text(), "No Project, recording not possible");
	EXPECT_EQ(setup->RecorderStatus()->text(), "No medium, please insert something suitable.");
	setup->ActionButton()->click();
	ASSERT_TRUE(RunUntil([&] { return fSettings.alerts.CountShown() == 1; }));
	EXPECT_EQ(fSettings.alerts.Shown()[0].text, "The project is invalid, CD recording not possible!");
	// "Cancel" closes it.
	setup->findChild<QPushButton*>("Cancel")->click();
	EXPECT_TRUE(RunUntil([&] { return FindWindow("Start CD Recording...") == nullptr; }));
}

// The default virtual recorder through the whole command path: discovery,
// its add-on, and the set-up's poll finding the blank 80-minute CD-R.
TEST(CdRecordWindowVirtualRecorder, FindsTheBlankMediumOfTheDefaultRecorder)
{
	SettingsAndAlerts settings;
	BApplication application {"application/x-vnd.Orrisec-RecordSetupVirtualTest"};
	unsetenv("TARNWICK_VIRTUAL_DRIVES");
	ResetVirtualDrives();
	LoadDriver();
	OpenDevices();
	BWindow* window = ShowCdRecordWindow(nullptr);
	auto* setup = dynamic_cast<CCdRecordWindow*>(window);
	ASSERT_NE(setup, nullptr);
	EXPECT_TRUE(RunUntil([&] { return setup->RecorderStatus()->text() == "CD-R medium is empty, length: 79:59.73"; }))
		<< setup->RecorderStatus()->text().toStdString();
	EXPECT_NE(setup->View()->Device(), nullptr);
	EXPECT_EQ(setup->View()->MediumLength(), 359998);
	setup->PostMessage(B_QUIT_REQUESTED);
	EXPECT_TRUE(RunUntil([&] { return FindWindow("Start CD Recording...") == nullptr; }));
	CloseDevices();
	UnloadDriver();
	setenv("TARNWICK_VIRTUAL_DRIVES", "none", 1);
	ResetVirtualDrives();
}
