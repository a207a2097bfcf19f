// The main window's frame: menus (order, separators, shortcuts, enabled
// items, debug menus), "Show Source" with the splitter, placement, the quit
// protocol, and the panes over a real project folder.
#include "DebugCapture.h"
#include "UiTestSupport.h"

#include "frame/Diagnostics.h"
#include "kit/interface/qt/Application.h"
#include "kit/support/Message.h"
#include "media/MediaFixtures.h"
#include "projects/Project.h"
#include "projects/ProjectRoster.h"
#include "ui/AboutBox.h"
#include "ui/DestinationView.h"
#include "ui/MainWindow.h"
#include "ui/SourceView.h"
#include "ui/VolumesPage.h"
#include "widgets/ContainerView.h"
#include "widgets/SplitterView.h"

#include <QAction>
#include <QDialog>
#include <QLineEdit>
#include <QMimeData>
#include <QDropEvent>
#include <QUrl>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
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
	// Every item of the settings menu is routed to its window.
	EXPECT_TRUE(window->MenuItem(MSG_SEND_FEEDBACK)->isEnabled());
	EXPECT_TRUE(window->MenuItem(MSG_APPLICATION_PREFERENCES)->isEnabled());
	EXPECT_TRUE(HasWindowOpener(MSG_APPLICATION_PREFERENCES));
	EXPECT_TRUE(window->MenuItem(MSG_CDDA_READ_PREFERENCES)->isEnabled());
	EXPECT_TRUE(HasWindowOpener(MSG_CDDA_READ_PREFERENCES));
	EXPECT_TRUE(window->MenuItem(MSG_DEVICE_PREFERENCES)->isEnabled());
	EXPECT_TRUE(HasWindowOpener(MSG_DEVICE_PREFERENCES));

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

TEST_F(MainWindowTest, CdReadingPreferencesOpensItsWindowOnce)
{
	CMainWindow* window = Open();
	window->MenuItem(MSG_CDDA_READ_PREFERENCES)->trigger();
	ASSERT_TRUE(RunUntil([] { return FindWindow("CD Reading Preferences") != nullptr; }));
	BWindow* preferences = FindWindow("CD Reading Preferences");
	window->MenuItem(MSG_CDDA_READ_PREFERENCES)->trigger();
	RunFor(50000);
	EXPECT_EQ(FindWindow("CD Reading Preferences"), preferences);
	int32 count = 0;
	for (int32 i = 0; i < CountWindows(); i++)
		count += WindowAt(i)->Title() == "CD Reading Preferences";
	EXPECT_EQ(count, 1);
	preferences->Quit();
	RunFor(50000);
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

namespace {

// The main window over a project folder with two projects.
class MainWindowProjectsTest : public MainWindowTest {
protected:
	void SetUp() override
	{
		fRoot = std::string(getenv("HOME")) + "/main-window-projects";
		std::filesystem::remove_all(fRoot);
		std::filesystem::create_directories(fRoot + "/Jazz Evening");
		std::filesystem::create_directories(fRoot + "/Road Trip");
		ASSERT_EQ(B_OK, fRoster.Init(fRoot.c_str()));
		fPreviousRoster = gpProjectRoster;
		gpProjectRoster = &fRoster;
	}
	void TearDown() override
	{
		MainWindowTest::TearDown();
		gpProjectRoster = fPreviousRoster;
		fRoster.Exit();
	}

	static std::vector<std::string> TabLabels(CContainerView* pane)
	{
		std::vector<std::string> labels;
		auto* tabs = pane->findChild<QTabWidget*>();
		for (int i = 0; i < tabs->count(); i++)
			labels.push_back(tabs->tabText(i).toStdString());
		return labels;
	}

	std::string fRoot;
	CProjectRoster fRoster;
	CProjectRoster* fPreviousRoster = nullptr;
};

}   // namespace

TEST_F(MainWindowProjectsTest, ProjectPagesPopUpMenuCreateAndDelete)
{
	CMainWindow* window = Open();
	window->Show();
	CDestinationView* destination = window->DestinationView();
	ASSERT_TRUE(RunUntil([&] { return destination->CountPages() == 2; }));
	std::vector<std::string> labels = TabLabels(destination);
	std::sort(labels.begin(), labels.end());
	EXPECT_EQ(labels, (std::vector<std::string> {"Jazz Evening", "Road Trip"}));
	// The shown page is the active project.
	ASSERT_NE(destination->ActiveProject(), nullptr);
	EXPECT_EQ(destination->ActivePage(), destination->PageOf(destination->ActiveProject()));

	// Showing the other page makes it the active project.
	QWidget* other = destination->PageAt(1);
	destination->SetActivePage(other);
	EXPECT_EQ(destination->PageOf(destination->ActiveProject()), other);

	std::unique_ptr<QMenu> menu(destination->MakePopUpMenu());
	std::vector<std::string> items;
	for (QAction* action : menu->actions())
		items.push_back(action->isSeparator() ? "-" : action->text().toStdString());
	EXPECT_EQ(items, (std::vector<std::string> {"Create New Project", "-", "Rename Project",
		"Edit Project Properties", "-", "Delete Current Project"}));
	for (QAction* action : menu->actions())
		EXPECT_TRUE(action->isEnabled()) << action->text().toStdString();

	// "Create New Project": the name dialog, then a page for the new folder,
	// shown at once.
	menu->actions()[0]->trigger();
	ASSERT_TRUE(RunUntil([&] { return destination->NameDialog() != nullptr; }));
	auto* edit = destination->NameDialog()->findChild<QLineEdit*>();
	ASSERT_NE(edit, nullptr);
	EXPECT_EQ(edit->text(), "New Project");
	edit->setText("Live/Set");
	QPushButton* create = nullptr;
	for (QPushButton* button : destination->NameDialog()->findChildren<QPushButton*>()) {
		if (button->text() == "Create")
			create = button;
	}
	ASSERT_NE(create, nullptr);
	create->click();
	ASSERT_TRUE(RunUntil([&] { return destination->CountPages() == 3; }));
	ASSERT_TRUE(RunUntil([&] {
		return destination->ActiveProject() != nullptr && destination->ActiveProject()->Name() == "Live|Set";
	}));
	EXPECT_EQ(destination->ActivePage(), destination->PageOf(destination->ActiveProject()));
	EXPECT_TRUE(std::filesystem::is_directory(fRoot + "/Live|Set"));

	// "Delete Current Project" removes the empty project and its page.
	std::unique_ptr<QMenu> again(destination->MakePopUpMenu());
	again->actions()[5]->trigger();
	ASSERT_TRUE(RunUntil([&] { return destination->CountPages() == 2; }));
	EXPECT_FALSE(std::filesystem::exists(fRoot + "/Live|Set"));
	EXPECT_TRUE(fSettings.alerts.Shown().empty());

	// The source pane starts with the volumes page.
	EXPECT_EQ(window->SourceView()->PageAt(0), window->SourceView()->VolumesPage());
	EXPECT_EQ(TabLabels(window->SourceView())[0], "Volumes");
}

TEST_F(MainWindowProjectsTest, FilesDroppedOnAnEmptyPaneMakeNewProject)
{
	CMainWindow* window = Open();
	window->Show();
	CDestinationView* destination = window->DestinationView();
	ASSERT_TRUE(RunUntil([&] { return destination->CountPages() == 2; }));
	// Projects removed by another program take their pages along.
	std::filesystem::remove_all(fRoot + "/Jazz Evening");
	std::filesystem::remove_all(fRoot + "/Road Trip");
	ASSERT_TRUE(RunUntil([&] { return destination->CountPages() == 0; }));
	EXPECT_EQ(destination->ActiveProject(), nullptr);

	std::string file = std::string(getenv("HOME")) + "/dropped.wav";
	std::ofstream(file) << "not really audio";
	QMimeData data;
	data.setUrls({QUrl::fromLocalFile(QString::fromStdString(file))});
	QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction | Qt::LinkAction, &data, Qt::LeftButton, Qt::NoModifier);
	QCoreApplication::sendEvent(destination, &enter);
	EXPECT_TRUE(enter.isAccepted());
	QDropEvent drop(QPointF(50, 50), Qt::CopyAction | Qt::LinkAction, &data, Qt::LeftButton, Qt::NoModifier);
	QCoreApplication::sendEvent(destination, &drop);
	ASSERT_TRUE(RunUntil([&] { return destination->CountPages() == 1; }));
	EXPECT_EQ(TabLabels(destination), (std::vector<std::string> {"New Project"}));
	EXPECT_EQ(destination->ActivePage(), destination->PageAt(0));
	EXPECT_TRUE(std::filesystem::is_directory(fRoot + "/New Project"));
}

// Opens the volumes tree down to `path` and selects it; false when it is
// not there.
static bool SelectInVolumes(CVolumesPage* page, const std::string& path)
{
	QTreeWidget* tree = page->Tree();
	QTreeWidgetItem* best = nullptr;
	size_t bestLength = 0;
	for (int i = 0; i < tree->topLevelItemCount(); i++) {
		std::string mount = tree->topLevelItem(i)->data(0, Qt::UserRole).toString().toStdString();
		if (path.rfind(mount, 0) == 0 && mount.size() >= bestLength) {
			best = tree->topLevelItem(i);
			bestLength = mount.size();
		}
	}
	QTreeWidgetItem* item = best;
	while (item != nullptr && item->data(0, Qt::UserRole).toString().toStdString() != path) {
		item->setExpanded(true);
		QTreeWidgetItem* next = nullptr;
		for (int i = 0; i < item->childCount(); i++) {
			std::string child = item->child(i)->data(0, Qt::UserRole).toString().toStdString();
			if (path == child || path.rfind(child + "/", 0) == 0)
				next = item->child(i);
		}
		item = next;
	}
	if (item == nullptr)
		return false;
	tree->clearSelection();
	item->setSelected(true);
	return true;
}

TEST_F(MainWindowProjectsTest, VolumesPageHandsFilesToTheChosenProject)
{
	CMainWindow* window = Open();
	CDestinationView* destination = window->DestinationView();
	ASSERT_TRUE(RunUntil([&] { return destination->CountPages() == 2; }));
	std::string folder = std::string(getenv("HOME")) + "/volume-files";
	std::filesystem::create_directories(folder);
	std::vector<int16_t> samples(44100 * 2, 0);
	media_test::WriteWav(folder + "/a.wav", samples, 44100);
	CVolumesPage* volumes = window->SourceView()->VolumesPage();
	EXPECT_EQ(volumes->CopyButton()->text(), "Add A Copy");
	EXPECT_EQ(volumes->LinkButton()->text(), "Add A Link");
	EXPECT_FALSE(volumes->AddSelection(true, nullptr));   // nothing selected
	volumes->Reload();
	ASSERT_TRUE(SelectInVolumes(volumes, folder + "/a.wav"));
	EXPECT_EQ(volumes->SelectedFiles(), (std::vector<std::string> {folder + "/a.wav"}));

	// To a project that has gone: the pane says so; to a live one: no alert.
	std::filesystem::remove_all(fRoot + "/Road Trip");
	ASSERT_TRUE(RunUntil([&] { return destination->CountPages() == 1; }));
	// (any pointer that is no page's project)
	EXPECT_TRUE(volumes->AddSelection(false, reinterpret_cast<CProject*>(&fRoster)));
	ASSERT_TRUE(RunUntil([&] { return fSettings.alerts.CountShown() == 1; }));
	EXPECT_EQ(fSettings.alerts.Shown()[0].text,
		"Destination project does not exist, has been removed or is no longer valid.");
	CProject* live = destination->ActiveProject();
	ASSERT_NE(nullptr, live);
	EXPECT_TRUE(volumes->AddSelection(true, live));
	const std::string copy = fRoot + "/" + live->Name() + "/a.wav";
	ASSERT_TRUE(RunUntil([&] { return live->CountTracks() == 1; }, 15000000));
	EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(copy))) << copy;
	EXPECT_EQ(fSettings.alerts.CountShown(), 1u);
}

TEST(VolumesPage, PseudoFileSystemsAreLeftOut)
{
	EXPECT_TRUE(IsPseudoVolume("proc", "/proc"));
	EXPECT_TRUE(IsPseudoVolume("sysfs", "/sys"));
	EXPECT_TRUE(IsPseudoVolume("cgroup2", "/sys/fs/cgroup"));
	EXPECT_TRUE(IsPseudoVolume("tmpfs", "/run"));
	EXPECT_TRUE(IsPseudoVolume("ext4", "/run/user/1000/doc"));
	EXPECT_FALSE(IsPseudoVolume("tmpfs", "/tmp"));
	EXPECT_FALSE(IsPseudoVolume("ext4", "/"));
	EXPECT_FALSE(IsPseudoVolume("vfat", "/media/ann/USB STICK"));
	EXPECT_FALSE(IsPseudoVolume("ext4", "/devices"));   // a prefix, not a system tree
	for (const VOLUME_INFO& volume : ListVolumes())
		EXPECT_FALSE(IsPseudoVolume(volume.fileSystem, volume.mountPoint)) << volume.mountPoint;
}

TEST(AboutBox, NamesTheProgramAndTheLicencesOfQtAndFFmpeg)
{
	std::string text = AboutText();
	EXPECT_EQ(text.rfind("Tarnwick 0.80 beta\n", 0), 0u);
	EXPECT_NE(text.find(std::string("Qt ") + qVersion()), std::string::npos);
	EXPECT_NE(text.find("GNU Lesser General Public License"), std::string::npos);
	EXPECT_NE(text.find("FFmpeg (libavformat "), std::string::npos);
	EXPECT_NE(text.find("GPL"), std::string::npos);
}
