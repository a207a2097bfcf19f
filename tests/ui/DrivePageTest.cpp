// The drive page, the CD player and the CD editor on a virtual drive: the
// page lists the disc with the names the drive read, an edit in the editor
// reaches the page through the drive, and the player plays a track digitally
// and shows it; tracks dragged from the page onto a project page of the main
// window are copied into the project by the extraction window. With
// TARNWICK_SCREENSHOT_DIR set, the three are saved as PNGs there.
#include "UiTestSupport.h"
#include "driver/VirtualDriveFixture.h"

#include "disc/Toc.h"
#include "kit/interface/qt/Application.h"
#include "kit/interface/qt/Window.h"
#include "kit/media/AudioOutput.h"
#include "players/CdTransports.h"
#include "projects/Project.h"
#include "projects/ProjectRoster.h"
#include "ui/CdEditorWindow.h"
#include "ui/CdPlayerWindow.h"
#include "ui/CddaReadWindow.h"
#include "ui/CdromView.h"
#include "ui/DestinationView.h"
#include "ui/DrivePageFactory.h"
#include "ui/MainWindow.h"
#include "ui/ProjectView.h"

#include <QDropEvent>
#include <QMimeData>
#include <QPointer>

#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

using namespace drivertest;
using namespace emutest;
using namespace uitest;

namespace {

std::shared_ptr<CDiscImage> LoadDisc(const STestDisc& disc)
{
	std::shared_ptr<CDiscImage> image;
	std::string error;
	EXPECT_EQ(CDiscImage::LoadCue(disc.cuePath, &image, &error), B_OK) << error;
	return image;
}

void Screenshot(QWidget* widget, const char* name)
{
	const char* folder = getenv("TARNWICK_SCREENSHOT_DIR");
	if (folder == nullptr)
		return;
	RunFor(200000);
	std::string path = std::string(folder) + "/" + name;
	EXPECT_TRUE(widget->grab().save(QString::fromStdString(path), "PNG")) << path;
}

}   // namespace

TEST(DrivePageWindows, PagePlayerAndEditorFollowOneDrive)
{
	SettingsAndAlerts settings;
	BApplication application {"application/x-vnd.Orrisec-DrivePageTest"};
	CTempFolder folder;
	STestDisc disc = MakeTestDisc(folder);
	CVirtualDrive drive(TestConfig(), LoadDisc(disc));
	CDevice* device = drive.Device();

	auto* host = new BWindow(BRect(50, 50, 549, 399), "Drive page host");
	auto* layout = new QVBoxLayout(host);
	QWidget* pageWidget = CreateDrivePage(device, host);
	layout->addWidget(pageWidget);
	auto* page = qobject_cast<CCdromPage*>(pageWidget);
	ASSERT_NE(page, nullptr);
	host->Show();

	// The drive reads the disc and its CD-Text names; the page lists them.
	QTreeWidget* list = page->List();
	ASSERT_TRUE(RunUntil([&] { return list->topLevelItemCount() == 3; }));
	EXPECT_EQ(list->topLevelItem(0)->text(0), "01");
	EXPECT_EQ(list->topLevelItem(1)->text(1), "Singer Two");
	EXPECT_EQ(list->topLevelItem(1)->text(2), "Second Song");
	EXPECT_EQ(list->topLevelItem(1)->text(3), "00:08");
	for (const char* name : {"btnPlay", "btnStop", "btnEjectLoad", "btnEdit", "btnAddCopy"}) {
		ASSERT_NE(page->Button(name), nullptr) << name;
		EXPECT_FALSE(page->Button(name)->icon().isNull()) << name;
	}
	EXPECT_EQ(page->Button("btnEdit")->toolTip(), "Edit Track Properties");
	// The disc's ids, and its MusicBrainz page.
	EXPECT_EQ(page->View()->CddbId().size(), 8u);
	EXPECT_EQ(page->View()->MusicBrainzId().size(), 28u);
	EXPECT_EQ(page->View()->MusicBrainzUrl(), "https://musicbrainz.org/cdtoc/" + page->View()->MusicBrainzId());
	list->topLevelItem(1)->setSelected(true);
	EXPECT_EQ(page->View()->Selection(), std::vector<int32>({1}));
	Screenshot(host, "drive-page.png");

	// Edit opens the editor at the selected track; a new artist there
	// reaches the TOC and, through the drive, the page.
	page->RunCommand(CDROM_MENU_EDIT);
	std::string editorTitle = std::string("CD Properties - ") + device->GetDeviceName();
	auto* editor = static_cast<CCdEditorWindow*>(FindWindow(editorTitle.c_str()));
	ASSERT_NE(editor, nullptr);
	ASSERT_TRUE(RunUntil([&] { return editor->Table()->currentRow() == 1; }));
	ASSERT_EQ(editor->Table()->rowCount(), 3);
	editor->Table()->item(2, 1)->setText("New Singer");
	ASSERT_TRUE(RunUntil([&] { return list->topLevelItem(2)->text(1) == "New Singer"; }));
	device->GetToc()->Lock();
	EXPECT_STREQ(device->GetToc()->TrackArtist(3), "New Singer");
	device->GetToc()->Unlock();
	Screenshot(editor, "cd-editor.png");

	// The player, digital into a silent sink that keeps real time.
	std::string playerTitle = std::string("CD Player - ") + device->GetDeviceName();
	auto transport = std::make_unique<CDigitalTransport>(device,
		std::make_unique<CAudioOutput>(MakeClockedSink(std::make_shared<CSystemClock>(), "")));
	auto* player = new CCdPlayerWindow(BRect(340, 100, -1, -1), device, std::move(transport));
	player->Show();
	ASSERT_TRUE(RunUntil([&] { return player->TrackField()->text() == "Select a track"; }));
	EXPECT_EQ(player->Button("EjectButton")->text(), "Eject");
	BMessage play(CD_PLAYER_PLAY_TRACK);
	play.AddInt32("track", 2);
	player->PostMessage(&play);
	ASSERT_TRUE(RunUntil([&] { return player->Button("PlayButton")->text() == "Pause"; }));
	EXPECT_TRUE(player->TrackField()->text().startsWith("02)    Singer Two: Second Song"));
	Screenshot(player, "cd-player.png");
	player->PostMessage(CD_PLAYER_STOP);
	ASSERT_TRUE(RunUntil([&] { return player->Button("PlayButton")->text() == "Play"; }));

	player->Quit();
	editor->Quit();
	host->Quit();
	RunFor(100000);
}

// Two tracks dragged from a drive page onto a project page: the page and the
// drive page negotiate the copy, the drive's extraction window reads both
// into the project folder, and the roster shows them as the project's tracks.
TEST(DrivePageWindows, TracksDraggedOntoAProjectPageAreCopiedIntoTheProject)
{
	SettingsAndAlerts settings;
	BApplication application {"application/x-vnd.Orrisec-DrivePageDragTest"};
	const std::string root = std::string(getenv("HOME")) + "/drag-copy/Tarnwick Projects";
	std::filesystem::remove_all(root);
	std::filesystem::create_directories(root + "/Rips");
	CProjectRoster roster;
	ASSERT_EQ(B_OK, roster.Init(root.c_str()));
	CProjectRoster* previousRoster = gpProjectRoster;
	gpProjectRoster = &roster;

	CTempFolder folder;
	STestDisc disc = MakeTestDisc(folder);
	CVirtualDrive drive(TestConfig(), LoadDisc(disc));
	CDevice* device = drive.Device();

	// The main window routes copy requests to the drive's extraction window.
	QPointer<BWindow> main = new CMainWindow(BRect(40, 40, 799, 519));
	main->Show();
	CDestinationView* destination = static_cast<CMainWindow*>(main.data())->DestinationView();
	ASSERT_TRUE(RunUntil([&] { return destination->ActiveProject() != nullptr; }));
	CProject* project = destination->ActiveProject();
	auto* projectPage = qobject_cast<CProjectPage*>(destination->PageOf(project));
	ASSERT_NE(projectPage, nullptr);

	auto* host = new BWindow(BRect(50, 50, 549, 399), "Drive page host");
	auto* layout = new QVBoxLayout(host);
	auto* page = qobject_cast<CCdromPage*>(CreateDrivePage(device, host));
	ASSERT_NE(page, nullptr);
	layout->addWidget(page);
	host->Show();
	QTreeWidget* list = page->List();
	ASSERT_TRUE(RunUntil([&] { return list->topLevelItemCount() == 3; }));
	list->topLevelItem(0)->setSelected(true);
	list->topLevelItem(2)->setSelected(true);
	ASSERT_EQ(page->View()->Selection(), std::vector<int32>({0, 2}));
	std::unique_ptr<QMimeData> data(page->SelectionMimeData(list->visualItemRect(list->topLevelItem(0)).center()));
	ASSERT_NE(data, nullptr);

	QWidget* target = projectPage->List()->viewport();
	QDragEnterEvent enter(QPoint(30, 30), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
	QCoreApplication::sendEvent(target, &enter);
	ASSERT_TRUE(enter.isAccepted());
	QDropEvent drop(QPointF(30, 30), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
	QCoreApplication::sendEvent(target, &drop);
	ASSERT_TRUE(drop.isAccepted());

	// The copy is queued in the drive's extraction window, which reads both.
	const std::string title = std::string("Reading audio data - ") + device->GetDeviceName();
	CCddaReadWindow* reader = nullptr;
	ASSERT_TRUE(RunUntil([&] { return (reader = dynamic_cast<CCddaReadWindow*>(FindWindow(title.c_str()))); }));
	ASSERT_TRUE(RunUntil([&] { return reader->Shown().statusBox == "Status: Done"; }, 60000000))
		<< reader->Shown().statusBox;
	QTreeWidget* tracks = projectPage->List();
	ASSERT_TRUE(RunUntil([&] {
		return tracks->topLevelItemCount() == 2 && tracks->topLevelItem(0)->text(2) == "First Song"
			&& tracks->topLevelItem(1)->text(2) == "Third";
	}, 15000000)) << tracks->topLevelItemCount();
	// (the artists as the drive knows them: an earlier test may have renamed one)
	device->GetToc()->Lock();
	EXPECT_EQ(tracks->topLevelItem(0)->text(1).toStdString(), device->GetToc()->TrackArtist(1));
	EXPECT_EQ(tracks->topLevelItem(1)->text(1).toStdString(), device->GetToc()->TrackArtist(3));
	device->GetToc()->Unlock();
	std::vector<std::string> files;
	for (const auto& entry : std::filesystem::directory_iterator(root + "/Rips"))
		if (entry.path().extension() == ".wav")
			files.push_back(entry.path().filename().string());
	std::sort(files.begin(), files.end());
	EXPECT_EQ(files.size(), 2u) << ::testing::PrintToString(files);
	EXPECT_EQ(settings.alerts.CountShown(), 0u)
		<< (settings.alerts.CountShown() ? settings.alerts.Shown()[0].text : std::string());

	// Dropped on the pane beside the list, a track goes to the active page
	// by way of the main window and is copied the same way.
	list->clearSelection();
	list->topLevelItem(1)->setSelected(true);
	data.reset(page->SelectionMimeData(list->visualItemRect(list->topLevelItem(1)).center()));
	ASSERT_NE(data, nullptr);
	QDragEnterEvent paneEnter(QPoint(5, 5), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
	QCoreApplication::sendEvent(destination, &paneEnter);
	ASSERT_TRUE(paneEnter.isAccepted());
	QDropEvent paneDrop(QPointF(5, 5), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
	QCoreApplication::sendEvent(destination, &paneDrop);
	ASSERT_TRUE(paneDrop.isAccepted());
	ASSERT_TRUE(RunUntil([&] {
		return tracks->topLevelItemCount() == 3 && tracks->topLevelItem(2)->text(2) == "Second Song";
	}, 30000000)) << tracks->topLevelItemCount();
	EXPECT_TRUE(RunUntil([&] { return reader->Shown().statusBox == "Status: Done"; }, 30000000));

	reader->Button()->click();
	EXPECT_TRUE(RunUntil([&] { return FindWindow(title.c_str()) == nullptr; }));
	host->Quit();
	main->Quit();
	RunUntil([&] { return main.isNull(); }, 5000000);
	gpProjectRoster = previousRoster;
	roster.Exit();
}
