// The drive page, the CD player and the CD editor on a virtual drive: the
// page lists the disc with the names the drive read, an edit in the editor
// reaches the page through the drive, and the player plays a track digitally
// and shows it. With TARNWICK_SCREENSHOT_DIR set, the three are saved as
// PNGs there.
#include "UiTestSupport.h"
#include "driver/VirtualDriveFixture.h"

#include "disc/Toc.h"
#include "kit/interface/qt/Application.h"
#include "kit/interface/qt/Window.h"
#include "kit/media/AudioOutput.h"
#include "players/CdTransports.h"
#include "ui/CdEditorWindow.h"
#include "ui/CdPlayerWindow.h"
#include "ui/CdromView.h"
#include "ui/DrivePageFactory.h"

#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cstdlib>

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
