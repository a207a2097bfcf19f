// A recording as a user makes it, from the main window to the image on disk:
// a project created through the destination pane, three sound files dropped
// from the file manager, reordered, one pause set, "Write CD" from the page,
// a simulation and then a write on the default virtual recorder (on its
// instant clock), and the CUE/BIN image it leaves checked against the
// sources. With TARNWICK_SCREENSHOT_DIR set, the main window, the set-up
// window and the status window are saved there as PNGs.
#include "UiTestSupport.h"

#include "devices/Device.h"
#include "devices/devices.h"
#include "driver/driverbaseclass.h"
#include "kit/interface/qt/Application.h"
#include "kit/interface/qt/Window.h"
#include "kit/support/Message.h"
#include "media/MediaFixtures.h"
#include "projects/Project.h"
#include "projects/ProjectRoster.h"
#include "ui/CdRecordStatusWindow.h"
#include "ui/CdRecordWindow.h"
#include "ui/DestinationView.h"
#include "ui/MainWindow.h"
#include "ui/ProjectView.h"
#include "ui/SourceView.h"
#include "RunCommand.h"

#include <QAction>
#include <QDialog>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>
#include <QUrl>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

using namespace uitest;
namespace fs = std::filesystem;

namespace {

constexpr size_t kSectorBytes = 2352;

// Distinct, never silent stereo samples for the source number `seed`.
std::vector<int16_t> Samples(int frames, int seed)
{
	std::vector<int16_t> samples(size_t(frames) * 2);
	for (size_t i = 0; i < samples.size(); i++)
		samples[i] = int16_t(((i * (7 + seed * 5)) % 3001) + 1 + seed * 4000);
	return samples;
}

void Screenshot(QWidget* widget, const char* name)
{
	const char* folder = getenv("TARNWICK_SCREENSHOT_DIR");
	if (folder == nullptr)
		return;
	RunFor(300000);
	std::string path = std::string(folder) + "/" + name;
	EXPECT_TRUE(widget->grab().save(QString::fromStdString(path), "PNG")) << path;
}

std::string ReadFile(const fs::path& path)
{
	std::ifstream in(path, std::ios::binary);
	return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

QAction* FindAction(QMenu* menu, const QString& label)
{
	for (QAction* action : menu->actions())
		if (action->text() == label)
			return action;
	return nullptr;
}

CCdRecordStatusWindow* FindStatusWindow()
{
	for (int32 i = 0; i < CountWindows(); i++)
		if (auto* window = dynamic_cast<CCdRecordStatusWindow*>(WindowAt(i)))
			return window;
	return nullptr;
}

class EndToEndTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		fBase = std::string(getenv("HOME")) + "/end-to-end";
		fs::remove_all(fBase);
		fRoot = fBase + "/Tarnwick Projects";
		fSources = fBase + "/sources";
		fs::create_directories(fRoot);
		fs::create_directories(fSources);
		fOutput = std::string(getenv("XDG_DATA_HOME")) + "/tarnwick/virtual-recorder";
		fs::remove_all(fOutput);
		// The default recorder, on the drive's instant clock.
		fDrives = fBase + "/virtual-drives";
		std::ofstream(fDrives) << "[drive]\ntiming = instant\nafter_eject = blank\n";
		setenv("TARNWICK_VIRTUAL_DRIVES", fDrives.c_str(), 1);
		ResetVirtualDrives();
		LoadDriver();
		OpenDevices();
		ASSERT_EQ(B_OK, fRoster.Init(fRoot.c_str()));
		fPreviousRoster = gpProjectRoster;
		gpProjectRoster = &fRoster;
	}
	void TearDown() override
	{
		for (const char* title : {"Start CD Recording..."})
			if (BWindow* window = FindWindow(title))
				window->Quit();
		if (CCdRecordStatusWindow* status = FindStatusWindow())
			status->Quit();
		if (!fWindow.isNull())
			fWindow->Quit();
		RunUntil([&] { return fWindow.isNull(); }, 5000000);
		gpProjectRoster = fPreviousRoster;
		fRoster.Exit();
		CloseDevices();
		UnloadDriver();
		setenv("TARNWICK_VIRTUAL_DRIVES", "none", 1);
		ResetVirtualDrives();
	}

	std::string Source(const std::string& name, int frames, int seed)
	{
		const std::string path = fSources + "/" + name;
		std::vector<int16_t> samples = Samples(frames, seed);
		media_test::WriteWav(path, samples, uint32_t(frames));
		fAudio[name] = samples;
		return path;
	}

	// The little-endian bytes of a source, padded to whole sectors.
	std::string Sectors(const std::string& name)
	{
		const std::vector<int16_t>& samples = fAudio[name];
		std::string bytes;
		for (int16_t sample : samples) {
			bytes.push_back(char(uint16_t(sample) & 0xFF));
			bytes.push_back(char(uint16_t(sample) >> 8));
		}
		bytes.resize((bytes.size() + kSectorBytes - 1) / kSectorBytes * kSectorBytes, '\0');
		return bytes;
	}

	// Opens the set-up from the page, picks `action` and starts; returns
	// the status window once its run has ended.
	CCdRecordStatusWindow* Record(CProjectPage* page, const char* action, const char* buttonLabel,
		const char* warning, const char* screenshot)
	{
		page->findChild<QToolButton*>("btnWriteCd")->click();
		CCdRecordWindow* setup = nullptr;
		EXPECT_TRUE(RunUntil([&] {
			setup = dynamic_cast<CCdRecordWindow*>(FindWindow("Start CD Recording..."));
			return setup != nullptr;
		}));
		if (setup == nullptr)
			return nullptr;
		const QString projectName = QString::fromStdString(page->Project()->Name());
		EXPECT_TRUE(RunUntil([&] {
			return setup->RecorderStatus()->text() == "CD-R medium is empty, length: 79:59.73"
				&& setup->MenuField("Project")->text() == projectName;
		})) << setup->RecorderStatus()->text().toStdString() << " / "
			<< setup->MenuField("Project")->text().toStdString();
		EXPECT_EQ(setup->MenuField("Recorder")->text(), "Tarnwick Virtual CD-RW");
		EXPECT_TRUE(setup->ProjectStatus()->text().startsWith("Tracks: 03, length: "))
			<< setup->ProjectStatus()->text().toStdString();
		QAction* choice = FindAction(setup->MenuField("Action")->menu(), action);
		EXPECT_NE(choice, nullptr) << action;
		if (choice == nullptr)
			return nullptr;
		choice->trigger();
		EXPECT_TRUE(RunUntil([&] { return setup->ActionButton()->text() == buttonLabel; }))
			<< setup->ActionButton()->text().toStdString();
		if (screenshot != nullptr)
			Screenshot(setup, screenshot);

		const size_t alerts = fSettings.alerts.CountShown();
		setup->ActionButton()->click();
		EXPECT_TRUE(RunUntil([&] { return FindWindow("Start CD Recording...") == nullptr; }));
		EXPECT_EQ(fSettings.alerts.CountShown(), alerts + 1);
		if (fSettings.alerts.CountShown() > alerts) {
			EXPECT_EQ(fSettings.alerts.Shown()[alerts].title, warning);
		}
		CCdRecordStatusWindow* status = nullptr;
		EXPECT_TRUE(RunUntil([&] { return (status = FindStatusWindow()) != nullptr; }));
		if (status == nullptr)
			return nullptr;
		EXPECT_EQ(status->Title(), "CD Recording - Tarnwick Virtual CD-RW");
		EXPECT_TRUE(RunUntil(
			[&] { return status->View()->RunState() != STATUS_INIT && !status->View()->IsBusy(); }, 60000000));
		RunFor(200000);
		return status;
	}

	void CloseStatus(CCdRecordStatusWindow* status)
	{
		status->PostMessage(B_QUIT_REQUESTED);
		EXPECT_TRUE(RunUntil([&] { return FindStatusWindow() == nullptr; }));
	}

	SettingsAndAlerts fSettings;
	BApplication fApplication {"application/x-vnd.Orrisec-EndToEndTest"};
	std::string fBase, fRoot, fSources, fOutput, fDrives;
	std::map<std::string, std::vector<int16_t>> fAudio;
	CProjectRoster fRoster;
	CProjectRoster* fPreviousRoster = nullptr;
	QPointer<BWindow> fWindow;
};

}   // namespace

TEST_F(EndToEndTest, ProjectBuiltInTheMainWindowIsWrittenToTheVirtualRecorder)
{
	auto* window = new CMainWindow(BRect(40, 40, 939, 639));
	fWindow = window;
	window->Show();
	CDestinationView* destination = window->DestinationView();

	// "Create New Project" through the pane's pop-up menu and the name dialog.
	std::unique_ptr<QMenu> menu(destination->MakePopUpMenu());
	menu->actions()[0]->trigger();
	ASSERT_TRUE(RunUntil([&] { return destination->NameDialog() != nullptr; }));
	auto* edit = destination->NameDialog()->findChild<QLineEdit*>();
	ASSERT_NE(edit, nullptr);
	edit->setText("Road Songs");
	for (QPushButton* button : destination->NameDialog()->findChildren<QPushButton*>())
		if (button->text() == "Create")
			button->click();
	ASSERT_TRUE(RunUntil([&] {
		return destination->ActiveProject() != nullptr && destination->ActiveProject()->Name() == "Road Songs";
	}));
	CProject* project = destination->ActiveProject();
	auto* page = qobject_cast<CProjectPage*>(destination->PageOf(project));
	ASSERT_NE(page, nullptr);
	CProjectDirView* list = page->List();

	// Three files from the file manager: a plain drop links them.
	QMimeData files;
	files.setUrls({QUrl::fromLocalFile(QString::fromStdString(Source("alpha.wav", 44100 + 123, 1))),
		QUrl::fromLocalFile(QString::fromStdString(Source("bravo.wav", 30000, 2))),
		QUrl::fromLocalFile(QString::fromStdString(Source("charlie.wav", 52000 + 7, 3)))});
	const Qt::DropActions actions = Qt::CopyAction | Qt::LinkAction | Qt::MoveAction;
	QDragEnterEvent enter(QPoint(20, 20), actions, &files, Qt::LeftButton, Qt::NoModifier);
	QCoreApplication::sendEvent(list->viewport(), &enter);
	ASSERT_TRUE(enter.isAccepted());
	QDropEvent drop(QPointF(20, 20), actions, &files, Qt::LeftButton, Qt::NoModifier);
	QCoreApplication::sendEvent(list->viewport(), &drop);
	ASSERT_TRUE(drop.isAccepted());
	ASSERT_TRUE(RunUntil([&] { return list->topLevelItemCount() == 3; }, 15000000));
	EXPECT_TRUE(fs::is_symlink(fRoot + "/Road Songs/alpha.wav"));
	EXPECT_EQ(fSettings.alerts.CountShown(), 0u);
	auto file = [&](int row) {
		return fs::path(list->topLevelItem(row)->text(5).toStdString()).filename().string();
	};
	ASSERT_TRUE(RunUntil([&] { return file(0) == "alpha.wav" && file(2) == "charlie.wav"; }))
		<< file(0) << " " << file(1) << " " << file(2);

	// Drag "alpha" onto "charlie": it lands before it.
	list->clearSelection();
	list->topLevelItem(0)->setSelected(true);
	std::unique_ptr<QMimeData> rows(list->SelectionMimeData());
	ASSERT_NE(rows, nullptr);
	const QPoint onThird = list->visualItemRect(list->topLevelItem(2)).center();
	QDragEnterEvent moveEnter(onThird, Qt::MoveAction, rows.get(), Qt::LeftButton, Qt::NoModifier);
	QCoreApplication::sendEvent(list->viewport(), &moveEnter);
	QDropEvent moveDrop(QPointF(onThird), Qt::MoveAction, rows.get(), Qt::LeftButton, Qt::NoModifier);
	QCoreApplication::sendEvent(list->viewport(), &moveDrop);
	ASSERT_TRUE(RunUntil([&] { return file(0) == "bravo.wav" && file(1) == "alpha.wav"; }));
	EXPECT_EQ(file(2), "charlie.wav");

	// No pause anywhere, then 2 seconds before the middle track.
	list->selectAll();
	std::unique_ptr<QMenu> context(page->MakeContextMenu());
	QAction* setPauses = FindAction(context.get(), "Set Pauses");
	ASSERT_NE(setPauses, nullptr);
	FindAction(setPauses->menu(), "0 Seconds")->trigger();
	ASSERT_TRUE(RunUntil([&] { return list->topLevelItem(1)->text(4) == "00:00.00"; }));
	list->clearSelection();
	list->topLevelItem(1)->setSelected(true);
	context.reset(page->MakeContextMenu());
	QAction* setPause = FindAction(context.get(), "Set Pause");
	ASSERT_NE(setPause, nullptr);
	FindAction(setPause->menu(), "2 Seconds")->trigger();
	ASSERT_TRUE(RunUntil([&] { return list->topLevelItem(1)->text(4) == "00:02.00"; }));
	EXPECT_EQ(list->topLevelItem(0)->text(4), "00:00.00");
	EXPECT_EQ(list->topLevelItem(2)->text(4), "00:00.00");
	EXPECT_TRUE(page->StatusLine()->text().startsWith("Tracks: 3")) << page->StatusLine()->text().toStdString();
	Screenshot(window, "main-window.png");
	if (getenv("TARNWICK_SCREENSHOT_DIR") != nullptr) {
		// And at the size the program first opens with.
		window->ResizeTo(509, 379);
		Screenshot(window, "main-window-small.png");
		// With the recorder's drive page in front.
		if (window->SourceView()->CountPages() > 1) {
			window->SourceView()->SetActivePage(window->SourceView()->PageAt(1));
			Screenshot(window, "main-window-drive-page.png");
			window->SourceView()->SetActivePage(window->SourceView()->PageAt(0));
		}
		window->ResizeTo(899, 599);
	}

	// A simulation first: it ends as one, and leaves no image.
	CCdRecordStatusWindow* status = Record(page, "Write simulation", "Start Simulation", "testwrite warning",
		"record-setup.png");
	ASSERT_NE(status, nullptr);
	EXPECT_EQ(status->StatusLine()->text(), "Simulation is finished.");
	bool anyCue = false;
	if (fs::is_directory(fOutput))
		for (const auto& entry : fs::directory_iterator(fOutput))
			anyCue |= entry.path().extension() == ".cue";
	EXPECT_FALSE(anyCue);
	CloseStatus(status);

	// The run ejected the disc; the user pushes the tray back in.
	ASSERT_NE(g_pDevices[0], nullptr);
	EXPECT_TRUE(g_pDevices[0]->GetDriver()->MediumLoad(g_pDevices[0], nullptr));

	// Then the write.
	status = Record(page, "Write", "Start Writing", "no testwrite warning", nullptr);
	ASSERT_NE(status, nullptr);
	EXPECT_EQ(status->StatusLine()->text(), "Writing is finished.");
	EXPECT_EQ(status->Button()->text(), "Close");
	Screenshot(status, "record-status-finished.png");
	CloseStatus(status);

	// The image: one CUE sheet with its BIN.
	fs::path cue;
	ASSERT_TRUE(fs::is_directory(fOutput)) << fOutput;
	for (const auto& entry : fs::directory_iterator(fOutput))
		if (entry.path().extension() == ".cue")
			cue = entry.path();
	ASSERT_FALSE(cue.empty()) << "no CUE sheet in " << fOutput;
	const std::string sheet = ReadFile(cue);
	std::string binName;
	{
		std::istringstream lines(sheet);
		std::string line;
		while (std::getline(lines, line)) {
			size_t open = line.find("FILE \"");
			if (open != std::string::npos)
				binName = line.substr(open + 6, line.find('"', open + 6) - open - 6);
		}
	}
	ASSERT_FALSE(binName.empty()) << sheet;
	const std::string bin = ReadFile(cue.parent_path() / binName);

	// Its audio: bravo, two seconds of silence, alpha, charlie, each padded
	// to whole sectors (the BIN starts at LBA 0, after the first pregap).
	const std::string first = Sectors("bravo.wav");
	const std::string second = Sectors("alpha.wav");
	const std::string third = Sectors("charlie.wav");
	std::string expected = first + std::string(150 * kSectorBytes, '\0') + second + third;
	ASSERT_EQ(bin.size(), expected.size());
	EXPECT_TRUE(bin == expected);
	// The sheet: track 2's pause as its index 0, at the end of track 1.
	const int32 track1Sectors = int32(first.size() / kSectorBytes);
	auto msf = [](int32 lba) {
		char text[16];
		snprintf(text, sizeof(text), "%02d:%02d:%02d", int(lba / 4500), int(lba / 75 % 60), int(lba % 75));
		return std::string(text);
	};
	EXPECT_NE(sheet.find("TRACK 03 AUDIO"), std::string::npos) << sheet;
	EXPECT_NE(sheet.find("INDEX 00 " + msf(track1Sectors)), std::string::npos) << sheet;
	EXPECT_NE(sheet.find("INDEX 01 " + msf(track1Sectors + 150)), std::string::npos) << sheet;

	// A standard tool reads the image the same way, when it is installed.
	if (system("command -v cd-info >/dev/null 2>&1") == 0) {
		std::string info = RunCommand("cd-info --no-header --no-device-info --cue-file '" + cue.string() + "' 2>&1");
		EXPECT_NE(info.find("CD-ROM Track List (1 - 3)"), std::string::npos) << info;
		EXPECT_NE(info.find("audio"), std::string::npos) << info;
	}
}
