// The main window's frame: menus (order, separators, shortcuts, enabled
// items, debug menus), "Show Source" with the splitter, placement, and the
// quit protocol.
#include "DebugCapture.h"
#include "UiTestSupport.h"

#include "frame/Diagnostics.h"
#include "kit/interface/qt/Application.h"
#include "kit/support/Message.h"
#include "ui/MainWindow.h"
#include "widgets/ContainerView.h"
#include "widgets/SplitterView.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>

#include <string>
#include <vector>

using namespace uitest;

namespace {

// Counts the quit requests it gets and refuses them.
class CCountingApplication : public BApplication {
public:
	CCountingApplication() : BApplication("application/x-vnd.Orrisec-MainWindowTest") {}
	bool QuitRequested() override
	{
		quitRequests++;
		return false;
	}
	int quitRequests = 0;
};

// Menu titles, and per menu its item texts with "-" for a separator.
std::vector<std::string> MenuTitles(QMenuBar* bar)
{
	std::vector<std::string> titles;
	for (QAction* action : bar->actions())
		titles.push_back(action->text().toStdString());
	return titles;
}

std::vector<std::string> MenuItems(QMenuBar* bar, const char* title)
{
	std::vector<std::string> items;
	for (QAction* action : bar->actions()) {
		if (action->text() != QString::fromUtf8(title) || action->menu() == nullptr)
			continue;
		for (QAction* item : action->menu()->actions())
			items.push_back(item->isSeparator() ? "-" : item->text().toStdString());
	}
	return items;
}

class MainWindowTest : public ::testing::Test {
protected:
	void TearDown() override
	{
		if (!fWindow.isNull())
			fWindow->Quit();
		RunUntil([&] { return fWindow.isNull(); }, 5000000);
	}

	CMainWindow* Open(BRect frame = BRect(40, 40, 550, 420))
	{
		fWindow = new CMainWindow(frame);
		return static_cast<CMainWindow*>(fWindow.data());
	}

	SettingsAndAlerts fSettings;
	CCountingApplication fApplication;
	QPointer<BWindow> fWindow;
};

}   // namespace

TEST_F(MainWindowTest, MenusInOrderWithSeparatorsShortcutsAndLaterItemsDisabled)
{
	FlagsScope flags(0);
	CMainWindow* window = Open();
	EXPECT_EQ(window->Title(), "Tarnwick");
	EXPECT_EQ(window->MenuBar()->objectName(), "Menu Bar");
	EXPECT_EQ(window->Splitter()->objectName(), "Main Splitter");

	EXPECT_EQ(MenuTitles(window->MenuBar()), (std::vector<std::string> {"Tarnwick", "Settings"}));
	EXPECT_EQ(MenuItems(window->MenuBar(), "Tarnwick"),
		(std::vector<std::string> {"Send Feedback…", "-", "About…", "-", "Quit"}));
	EXPECT_EQ(MenuItems(window->MenuBar(), "Settings"),
		(std::vector<std::string> {"Application Preferences…", "CD Reading Preferences…", "Device Preferences…",
			"-", "Show Source"}));

	EXPECT_EQ(window->MenuItem(B_QUIT_REQUESTED)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
	EXPECT_EQ(window->MenuItem(MSG_SHOW_SOURCE)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
	EXPECT_TRUE(window->MenuItem(MSG_SHOW_SOURCE)->isCheckable());
	EXPECT_TRUE(window->MenuItem(MSG_SHOW_SOURCE)->isChecked());
	EXPECT_TRUE(window->MenuItem(MSG_ABOUT)->isEnabled());
	EXPECT_FALSE(window->MenuItem(MSG_SEND_FEEDBACK)->isEnabled());
	EXPECT_FALSE(window->MenuItem(MSG_APPLICATION_PREFERENCES)->isEnabled());
	EXPECT_FALSE(window->MenuItem(MSG_CDDA_READ_PREFERENCES)->isEnabled());
	EXPECT_FALSE(window->MenuItem(MSG_DEVICE_PREFERENCES)->isEnabled());

	// The panes are labelled containers.
	auto* source = window->findChild<CContainerView*>("source-container-view");
	auto* destination = window->findChild<CContainerView*>("destination-container-view");
	ASSERT_NE(source, nullptr);
	ASSERT_NE(destination, nullptr);
	EXPECT_EQ(source->Label(), "Source");
	EXPECT_EQ(destination->Label(), "Destination");
}

TEST_F(MainWindowTest, SizeLimits)
{
	CMainWindow* window = Open();
	window->ResizeTo(100, 100);
	EXPECT_EQ(window->Frame().Width(), 400);
	EXPECT_EQ(window->Frame().Height(), 250);
	window->ResizeTo(5000, 5000);
	EXPECT_EQ(window->Frame().Width(), 4096);
	EXPECT_EQ(window->Frame().Height(), 4096);
}

TEST_F(MainWindowTest, DebugMenusOnlyInDebugModeToggleTheirFlagsAndMarks)
{
	FlagsScope flags(DEBUG_FLAG_DEBUG_MODE | DEBUG_FLAG_CONSOLE_LOG);
	CMainWindow* window = Open();
	EXPECT_EQ(MenuTitles(window->MenuBar()),
		(std::vector<std::string> {"Tarnwick", "Settings", "Debug Tools", "Debug"}));
	EXPECT_EQ(MenuItems(window->MenuBar(), "Debug Tools"),
		(std::vector<std::string> {"execute ReadBufferCapacity…", "execute ReadDiscInformation…",
			"execute ReadAtipData…", "show Write-Parameter-Page…"}));
	EXPECT_EQ(MenuItems(window->MenuBar(), "Debug"),
		(std::vector<std::string> {"Use Console Log", "Use SCSI Console Log"}));

	QAction* console = window->MenuItem(MSG_USE_CONSOLE_LOG);
	QAction* scsi = window->MenuItem(MSG_USE_SCSI_CONSOLE_LOG);
	ASSERT_NE(console, nullptr);
	ASSERT_NE(scsi, nullptr);
	EXPECT_TRUE(console->isChecked());
	EXPECT_FALSE(scsi->isChecked());

	console->trigger();
	EXPECT_EQ(GetDebugFlags() & DEBUG_FLAG_CONSOLE_LOG, 0u);
	EXPECT_FALSE(console->isChecked());
	scsi->trigger();
	EXPECT_EQ(GetDebugFlags() & DEBUG_FLAG_SCSI_LOG, uint32(DEBUG_FLAG_SCSI_LOG));
	EXPECT_TRUE(scsi->isChecked());
	console->trigger();
	EXPECT_EQ(GetDebugFlags(), uint32(DEBUG_FLAG_DEBUG_MODE | DEBUG_FLAG_CONSOLE_LOG | DEBUG_FLAG_SCSI_LOG));
	EXPECT_TRUE(console->isChecked());

	// The same commands arrive as messages.
	BMessage message(MSG_USE_SCSI_CONSOLE_LOG);
	window->DispatchMessage(&message);
	EXPECT_EQ(GetDebugFlags() & DEBUG_FLAG_SCSI_LOG, 0u);
	EXPECT_FALSE(scsi->isChecked());
}

TEST_F(MainWindowTest, AboutShowsTheAboutBox)
{
	CMainWindow* window = Open();
	window->MenuItem(MSG_ABOUT)->trigger();
	ASSERT_EQ(fSettings.alerts.CountShown(), 1u);
	AlertRequest about = fSettings.alerts.Shown()[0];
	EXPECT_NE(about.text.find("Tarnwick 0.80 beta"), std::string::npos);
	EXPECT_EQ(about.buttons.size(), 1u);
}

TEST_F(MainWindowTest, QuitItemAsksTheApplication)
{
	CMainWindow* window = Open();
	window->MenuItem(B_QUIT_REQUESTED)->trigger();
	EXPECT_TRUE(RunUntil([&] { return fApplication.quitRequests == 1; }));
	EXPECT_EQ(FindWindow("Tarnwick"), window);
}

TEST_F(MainWindowTest, ShowSourceTwiceRestoresTheSplitterPosition)
{
	CMainWindow* window = Open();
	window->Show();
	RunFor(50000);
	EXPECT_TRUE(window->IsSourceVisible());
	EXPECT_EQ(window->Splitter()->Percentage(), 50.0f);
	window->Splitter()->SetPercentage(30);

	QAction* item = window->MenuItem(MSG_SHOW_SOURCE);
	item->trigger();
	EXPECT_FALSE(window->IsSourceVisible());
	EXPECT_FALSE(item->isChecked());
	EXPECT_EQ(window->Splitter()->Percentage(), 0.0f);
	EXPECT_EQ(window->Splitter()->sizes().value(0), 0);
	EXPECT_EQ(LoadWindowPosition("Main Window Splitter", BPoint(-1, -1)).x, 30.0f);

	item->trigger();
	EXPECT_TRUE(window->IsSourceVisible());
	EXPECT_TRUE(item->isChecked());
	EXPECT_EQ(window->Splitter()->Percentage(), 30.0f);
	EXPECT_GT(window->Splitter()->sizes().value(0), 0);
}

TEST_F(MainWindowTest, HiddenSourceIsRestoredAsZeroAndShownAtTheStoredShare)
{
	SaveWindowPosition("Main Window Source Visible", BPoint(0, 0));
	SaveWindowPosition("Main Window Splitter", BPoint(70, 0));
	CMainWindow* window = Open();
	EXPECT_FALSE(window->IsSourceVisible());
	EXPECT_FALSE(window->MenuItem(MSG_SHOW_SOURCE)->isChecked());
	EXPECT_EQ(window->Splitter()->Percentage(), 0.0f);
	window->MenuItem(MSG_SHOW_SOURCE)->trigger();
	EXPECT_EQ(window->Splitter()->Percentage(), 70.0f);
}

TEST_F(MainWindowTest, ClosingWhileTheApplicationIsNotQuittingKeepsItOpen)
{
	CMainWindow* window = Open();
	window->Show();
	window->close();
	EXPECT_EQ(FindWindow("Tarnwick"), window);
	EXPECT_FALSE(window->IsHidden());
	EXPECT_TRUE(RunUntil([&] { return fApplication.quitRequests == 1; }));
	EXPECT_EQ(PreferenceHandler.LoadMessage("main window"), nullptr);   // nothing saved yet
}

TEST_F(MainWindowTest, QuittingApplicationSavesPlacementVisibilityAndSplitter)
{
	CMainWindow* window = Open();
	window->MoveTo(60, 70);
	window->ResizeTo(599, 399);
	window->Splitter()->SetPercentage(40);
	g_bApplicationQuitting = true;
	EXPECT_TRUE(window->QuitRequested());
	EXPECT_EQ(LoadWindowPlacement("main window", BRect()), BRect(60, 70, 659, 469));
	EXPECT_EQ(LoadWindowPosition("Main Window Source Visible", BPoint(-1, -1)), BPoint(1, 0));
	EXPECT_EQ(LoadWindowPosition("Main Window Splitter", BPoint(-1, -1)), BPoint(40, 0));

	// With the source hidden, the share it had stays stored.
	window->MenuItem(MSG_SHOW_SOURCE)->trigger();
	EXPECT_TRUE(window->QuitRequested());
	EXPECT_EQ(LoadWindowPosition("Main Window Source Visible", BPoint(-1, -1)), BPoint(0, 0));
	EXPECT_EQ(LoadWindowPosition("Main Window Splitter", BPoint(-1, -1)), BPoint(40, 0));
}

TEST_F(MainWindowTest, StoredPlacementIsUsedWhenItIsOnAScreen)
{
	SaveWindowPlacement("main window", BRect(100, 120, 700, 520));
	CMainWindow* window = Open();
	EXPECT_EQ(window->Frame(), BRect(100, 120, 700, 520));
	window->Quit();
	RunUntil([&] { return fWindow.isNull(); });

	SaveWindowPlacement("main window", BRect(50000, 50000, 50600, 50400));
	window = Open();
	EXPECT_EQ(window->Frame(), BRect(40, 40, 550, 420));
}
