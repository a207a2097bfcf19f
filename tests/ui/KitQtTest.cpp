// The Qt half of the interface kit: work for the GUI thread, alert dialogs
// from any thread, the error alert, the clipboard, the folder panel and the
// hand-over to xdg-open / xdg-email.
#include "ThreadState.h"
#include "UiTestSupport.h"

#include "kit/app/MessageSink.h"
#include "kit/interface/qt/Application.h"
#include "kit/interface/qt/Clipboard.h"
#include "kit/interface/qt/FilePanel.h"
#include "kit/interface/qt/GuiThread.h"
#include "kit/interface/qt/Launcher.h"
#include "kit/interface/qt/QtAlertHandler.h"
#include "kit/support/Message.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <future>
#include <sstream>
#include <sys/stat.h>

using namespace uitest;
namespace fs = std::filesystem;

namespace {

class KitQtTest : public ::testing::Test {
protected:
	BApplication fApplication {"application/x-vnd.Orrisec-KitQtTest"};
};

QMessageBox* VisibleMessageBox()
{
	for (QWidget* widget : QApplication::topLevelWidgets()) {
		if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible())
			return box;
	}
	return nullptr;
}

}   // namespace

TEST_F(KitQtTest, WorkForTheGuiThreadRunsThereInOrder)
{
	std::vector<int> order;
	std::vector<bool> onGui;
	auto worker = std::async(std::launch::async, [&] {
		PostToGuiThread([&] { order.push_back(1); });
		bool ran = RunOnGuiThread([&] {
			order.push_back(2);
			onGui.push_back(IsGuiThread());
		});
		return ran;
	});
	ASSERT_TRUE(WaitWhileRunning(worker));
	EXPECT_TRUE(worker.get());
	EXPECT_EQ(order, (std::vector<int> {1, 2}));
	EXPECT_EQ(onGui, std::vector<bool> {true});

	// On the GUI thread it runs at once.
	bool ran = false;
	EXPECT_TRUE(RunOnGuiThread([&] { ran = true; }));
	EXPECT_TRUE(ran);
}

TEST_F(KitQtTest, WaitersAreReleasedWhenTheLoopEndsBeforeTheirTurn)
{
	std::atomic<bool> ran {false};
	std::atomic<pid_t> asker {0};
	auto worker = std::async(std::launch::async, [&] {
		asker = test_threads::CurrentTid();
		return RunOnGuiThread([&] { ran = true; });
	});
	// The loop ends only once the work is queued and its caller waits for
	// it; ended sooner, the call would be refused before queueing anything.
	while (asker == 0)
		snooze(1000);
	ASSERT_TRUE(test_threads::WaitUntilAsleep(asker));
	fApplication.Quit();
	fApplication.Run();   // returns at once: the queued work never gets its turn
	ASSERT_EQ(worker.wait_for(std::chrono::seconds(10)), std::future_status::ready);
	EXPECT_FALSE(worker.get());
	EXPECT_FALSE(ran);
}

TEST_F(KitQtTest, AlertFromAnotherThreadRunsOnTheGuiThreadWhileTheCallerWaits)
{
	CQtAlertHandler handler;
	AlertRequest request;
	request.title = "Error Box";
	request.text = "Something <b>happened</b>.\n";
	request.buttons = {"Cancel", "Retry", "Quit"};
	request.type = B_STOP_ALERT;
	request.feel = B_ALERT_FLOATING_ALL_FEEL;
	request.width = B_WIDTH_FROM_WIDEST;
	auto answer = std::async(std::launch::async, [&] { return handler.Show(request); });

	// The dialog runs in a nested event loop: look at it from a timer.
	bool seen = false;
	bool callerWaited = false;
	QTimer poll;
	poll.setInterval(20);
	QObject::connect(&poll, &QTimer::timeout, [&] {
		QMessageBox* box = VisibleMessageBox();
		if (box == nullptr || seen)
			return;
		seen = true;
		callerWaited = answer.wait_for(std::chrono::seconds(0)) == std::future_status::timeout;
		EXPECT_EQ(box->windowTitle(), "Error Box");
		EXPECT_EQ(box->text(), "Something <b>happened</b>.\n");   // shown as plain text
		EXPECT_EQ(box->textFormat(), Qt::PlainText);
		EXPECT_EQ(box->icon(), QMessageBox::Critical);
		EXPECT_TRUE(box->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
		QList<QAbstractButton*> buttons = box->buttons();
		EXPECT_EQ(buttons.size(), 3);
		EXPECT_EQ(box->defaultButton()->text(), "Quit");
		int widest = 0;
		for (QAbstractButton* button : buttons)
			widest = std::max(widest, button->minimumWidth());
		for (QAbstractButton* button : buttons)
			EXPECT_EQ(button->minimumWidth(), widest);
		// Always leave the dialog, so a failure cannot hang the test.
		QAbstractButton* retry = buttons.value(0);
		for (QAbstractButton* button : buttons) {
			if (button->text() == "Retry")
				retry = button;
		}
		retry->click();
	});
	poll.start();
	ASSERT_TRUE(WaitWhileRunning(answer));
	EXPECT_TRUE(seen);
	EXPECT_TRUE(callerWaited);
	EXPECT_EQ(answer.get(), 1);
}

TEST_F(KitQtTest, AlertAfterTheLoopEndedIsAnsweredOnTheConsole)
{
	fApplication.Quit();
	fApplication.Run();
	CQtAlertHandler handler;
	AlertRequest request;
	request.title = "late";
	request.text = "after the end";
	request.buttons = {"No", "Yes"};
	auto answer = std::async(std::launch::async, [&] { return handler.Show(request); });
	ASSERT_EQ(answer.wait_for(std::chrono::seconds(10)), std::future_status::ready);
	EXPECT_EQ(answer.get(), 1);   // the default button
}

TEST_F(KitQtTest, ErrorAlertIsAStopAlertWithWidestButtons)
{
	SettingsAndAlerts alerts;
	alerts.alerts.QueueAnswer(2);
	EXPECT_EQ(ShowErrorAlert(nullptr, "It failed.", "Cancel", "Retry", "Ignore"), 2);
	EXPECT_EQ(ShowErrorAlert(nullptr, "It failed again.", "OK"), 0);
	std::vector<AlertRequest> shown = alerts.alerts.Shown();
	ASSERT_EQ(shown.size(), 2u);
	EXPECT_EQ(shown[0].title, "error alert");
	EXPECT_EQ(shown[0].text, "It failed.");
	EXPECT_EQ(shown[0].buttons, (std::vector<std::string> {"Cancel", "Retry", "Ignore"}));
	EXPECT_EQ(shown[0].type, B_STOP_ALERT);
	EXPECT_EQ(shown[0].width, B_WIDTH_FROM_WIDEST);
	EXPECT_EQ(shown[0].spacing, B_OFFSET_SPACING);
	EXPECT_EQ(shown[1].buttons, std::vector<std::string> {"OK"});
	EXPECT_EQ(shown[1].spacing, B_EVEN_SPACING);
}

TEST_F(KitQtTest, ClipboardHoldsPlainTextForAnyThread)
{
	auto worker = std::async(std::launch::async, [] {
		std::string text;
		if (SetClipboardText("first line\nsecond – line") != B_OK)
			return std::string("set failed");
		if (GetClipboardText(&text) != B_OK)
			return std::string("get failed");
		return text;
	});
	ASSERT_TRUE(WaitWhileRunning(worker));
	EXPECT_EQ(worker.get(), "first line\nsecond – line");
	EXPECT_EQ(GetClipboardText(nullptr), B_BAD_VALUE);
}

TEST_F(KitQtTest, FolderPanelSendsTheChosenFolderOrACancel)
{
	std::string base = GetSettingsDirectory() + "panel-test";
	fs::create_directories(base + "/chosen");
	auto sink = std::make_shared<CMessageSink>();
	BMessage template_('Fold');
	template_.AddInt32("extra", 7);
	BFilePanel panel(sink->Messenger(), base.c_str(), &template_);
	panel.SetTitle("Choose Project Folder");
	panel.SetButtonLabel("Select");
	panel.Show();
	EXPECT_TRUE(panel.IsShowing());
	QFileDialog* dialog = panel.Dialog();
	EXPECT_EQ(dialog->windowTitle(), "Choose Project Folder");
	EXPECT_EQ(dialog->labelText(QFileDialog::Accept), "Select");
	EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
	EXPECT_EQ(fs::path(dialog->directory().absolutePath().toStdString()), fs::path(base));

	dialog->selectFile(QString::fromStdString(base + "/chosen"));
	QMetaObject::invokeMethod(dialog, "accept");
	std::unique_ptr<BMessage> chosen = sink->WaitForMessage('Fold', 5000000);
	ASSERT_NE(chosen, nullptr);
	entry_ref ref;
	ASSERT_EQ(chosen->FindRef("refs", &ref), B_OK);
	EXPECT_EQ(fs::path(ref.Path()), fs::canonical(base + "/chosen"));
	EXPECT_EQ(chosen->GetInt32("extra", 0), 7);

	panel.Show();
	dialog->reject();
	std::unique_ptr<BMessage> cancel = sink->WaitForMessage(B_CANCEL, 5000000);
	ASSERT_NE(cancel, nullptr);
	EXPECT_EQ(cancel->GetInt32("old_what", 0), int32('Fold'));
	fs::remove_all(base);
}

// xdg-open and xdg-email replaced by scripts that note their arguments and
// exit with the code in FAKE_XDG_EXIT.
class LauncherTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		fFolder = GetSettingsDirectory() + "fake-xdg";
		fs::create_directories(fFolder);
		for (const char* name : {"xdg-open", "xdg-email"}) {
			std::string path = fFolder + "/" + name;
			std::ofstream script(path);
			script << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" << fFolder
				   << "/args\"\nsleep \"${FAKE_XDG_SLEEP:-0}\"\nexit \"${FAKE_XDG_EXIT:-0}\"\n";
			script.close();
			chmod(path.c_str(), 0755);
		}
		const char* path = getenv("PATH");
		fOldPath = path != nullptr ? path : "";
		setenv("PATH", (fFolder + ":" + fOldPath).c_str(), 1);
		unsetenv("FAKE_XDG_EXIT");
		unsetenv("FAKE_XDG_SLEEP");
	}
	void TearDown() override
	{
		setenv("PATH", fOldPath.c_str(), 1);
		unsetenv("FAKE_XDG_EXIT");
		unsetenv("FAKE_XDG_SLEEP");
		fs::remove_all(fFolder);
	}

	std::string Arguments()
	{
		std::ifstream file(fFolder + "/args");
		std::stringstream text;
		text << file.rdbuf();
		return text.str();
	}

	std::string fFolder;
	std::string fOldPath;
};

TEST_F(LauncherTest, OpensAnExistingFileAndReportsTheHelpersFailures)
{
	std::string file = fFolder + "/report.txt";
	std::ofstream(file) << "text";
	EXPECT_EQ(OpenWithPreferredApplication(file.c_str()), B_OK);
	EXPECT_EQ(Arguments(), file + "\n");

	setenv("FAKE_XDG_EXIT", "3", 1);
	EXPECT_EQ(OpenWithPreferredApplication(file.c_str()), B_LAUNCH_FAILED_NO_PREFERRED_APP);
	setenv("FAKE_XDG_EXIT", "4", 1);
	EXPECT_EQ(OpenWithPreferredApplication(file.c_str()), B_LAUNCH_FAILED);

	fs::remove(fFolder + "/args");
	EXPECT_EQ(OpenWithPreferredApplication((fFolder + "/missing").c_str()), B_ENTRY_NOT_FOUND);
	EXPECT_FALSE(fs::exists(fFolder + "/args"));   // never handed over
	EXPECT_EQ(OpenWithPreferredApplication(nullptr), B_BAD_VALUE);
	EXPECT_EQ(OpenWithPreferredApplication(""), B_BAD_VALUE);
}

TEST_F(LauncherTest, RelativeNameStartingWithDashIsNotAnOption)
{
	std::string cwd = fs::current_path();
	fs::current_path(fFolder);
	std::ofstream("-x") << "text";
	EXPECT_EQ(OpenWithPreferredApplication("-x"), B_OK);
	fs::current_path(cwd);
	EXPECT_EQ(Arguments(), "./-x\n");
}

TEST_F(LauncherTest, NewMailCarriesAddressSubjectAndBody)
{
	EXPECT_EQ(OpenNewMail("drives@example.org", "Feedback", "line 1\nline 2"), B_OK);
	EXPECT_EQ(Arguments(), "--subject\nFeedback\n--body\nline 1\nline 2\ndrives@example.org\n");
	EXPECT_EQ(OpenNewMail("", nullptr, nullptr), B_OK);
	EXPECT_EQ(Arguments(), "");
	EXPECT_EQ(OpenNewMail("--utf8", "x", "y"), B_BAD_VALUE);
	setenv("FAKE_XDG_EXIT", "3", 1);
	EXPECT_EQ(OpenNewMail("a@example.org", "s", "b"), B_LAUNCH_FAILED_NO_PREFERRED_APP);
}

TEST_F(LauncherTest, MissingHelperAndHelperThatStaysAreTold)
{
	std::string file = fFolder + "/report.txt";
	std::ofstream(file) << "text";
	setenv("FAKE_XDG_SLEEP", "4", 1);
	EXPECT_EQ(OpenWithPreferredApplication(file.c_str()), B_OK);   // taken as started

	std::string empty = fFolder + "/empty";
	fs::create_directories(empty);
	setenv("PATH", empty.c_str(), 1);
	EXPECT_EQ(OpenWithPreferredApplication(file.c_str()), B_LAUNCH_FAILED_APP_NOT_FOUND);
	EXPECT_EQ(OpenNewMail("a@example.org", "s", "b"), B_LAUNCH_FAILED_APP_NOT_FOUND);
}
