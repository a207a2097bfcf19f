// The project page as a user meets it, over a real roster and project folder:
// files dropped from the file manager (text/uri-list) are linked, or copied
// with Ctrl; tracks dragged within the list are reordered; the context menu
// names what is selected. Set TARNWICK_SCREENSHOT_DIR to keep a picture of
// the page.
#include "UiTestSupport.h"

#include "kit/interface/qt/Application.h"
#include "kit/support/Message.h"
#include "media/MediaFixtures.h"
#include "projects/Project.h"
#include "projects/ProjectRoster.h"
#include "ui/ProjectPageFactory.h"
#include "ui/ProjectView.h"

#include <QDropEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QToolButton>
#include <QUrl>

#include <filesystem>
#include <fstream>

using namespace uitest;
namespace fs = std::filesystem;

namespace {

void MakeWav(const std::string& path, int frames)
{
	std::vector<int16_t> samples(size_t(frames) * 2);
	for (size_t i = 0; i < samples.size(); i++)
		samples[i] = int16_t((i * 37) % 2000);
	media_test::WriteWav(path, samples, uint32_t(frames));
}

class ProjectPageTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
		fBase = std::string(getenv("HOME")) + "/page-" + name;
		fs::remove_all(fBase);
		fRoot = fBase + "/Tarnwick Projects";
		fSources = fBase + "/sources";
		fs::create_directories(fRoot + "/Songs");
		fs::create_directories(fRoot + "/Other");
		fs::create_directories(fSources);
		ASSERT_EQ(B_OK, fRoster.Init(fRoot.c_str()));
		fProject = fRoster.FindProject("Songs");
		ASSERT_NE(nullptr, fProject);
		QWidget* page = CreateProjectPage(fProject);
		fPage = qobject_cast<CProjectPage*>(page);
		ASSERT_NE(nullptr, fPage);
		// The factory's page serves the program's roster; the tests' page
		// serves this one.
		delete page;
		fPage = new CProjectPage(fProject, nullptr, &fRoster);
		fPage->resize(760, 320);
		fRoster.Attach(fPage->Messenger());
	}

	void TearDown() override
	{
		if (fPage != nullptr) {
			EXPECT_TRUE(fPage->View()->WaitForDropThreads(15000000));
			fRoster.Detach(fPage->Messenger());
			delete fPage;
			// Give back the references the page's 'PrAd' messages held.
			fRoster.Lock();
			std::vector<CProject*> projects;
			int32 index = 0;
			while (CProject* project = fRoster.GetNextProjectAt(&index))
				projects.push_back(project);
			fRoster.Unlock();
			for (CProject* project : projects)
				fRoster.UnregisterProject(project);
		}
		fRoster.Exit();
		CProjectPage::SetPopUpAnswer(nullptr);
	}

	std::string Source(const std::string& name, bool audio = true)
	{
		const std::string path = fSources + "/" + name;
		if (audio)
			MakeWav(path, 44100 + int(name.size()) * 588);
		else
			std::ofstream(path) << "a text file\n";
		return path;
	}

	void DropFiles(const std::vector<std::string>& paths, Qt::KeyboardModifiers modifiers)
	{
		QMimeData data;
		QList<QUrl> urls;
		for (const std::string& path : paths)
			urls << QUrl::fromLocalFile(QString::fromStdString(path));
		data.setUrls(urls);
		const Qt::DropActions actions = Qt::CopyAction | Qt::LinkAction | Qt::MoveAction;
		QDragEnterEvent enter(QPoint(20, 20), actions, &data, Qt::LeftButton, modifiers);
		QCoreApplication::sendEvent(fPage->List()->viewport(), &enter);
		EXPECT_TRUE(enter.isAccepted());
		QDropEvent drop(QPointF(20, 20), actions, &data, Qt::LeftButton, modifiers);
		QCoreApplication::sendEvent(fPage->List()->viewport(), &drop);
		EXPECT_TRUE(drop.isAccepted());
	}

	int Rows() const { return fPage->List()->topLevelItemCount(); }
	QString Cell(int row, int column) const { return fPage->List()->topLevelItem(row)->text(column); }

	BApplication fApplication {"application/x-vnd.Orrisec-ProjectPageTest"};
	std::string fBase, fRoot, fSources;
	CProjectRoster fRoster;
	CProject* fProject = nullptr;
	CProjectPage* fPage = nullptr;
	SettingsAndAlerts fSettings;
};

QStringList Labels(QMenu* menu)
{
	QStringList labels;
	for (QAction* action : menu->actions()) {
		QString label = action->isSeparator() ? QStringLiteral("-") : action->text();
		if (!action->shortcut().isEmpty())
			label += " " + action->shortcut().toString();
		labels << label;
	}
	return labels;
}

}   // namespace

TEST_F(ProjectPageTest, UriListDropLinksAudioFilesAndIgnoreAllSkipsTheRest)
{
	const std::string one = Source("one.wav");
	const std::string two = Source("two.wav");
	const std::string three = Source("three.wav");
	const std::string notes = Source("notes.txt", false);
	const std::string readme = Source("readme.txt", false);
	EXPECT_EQ("Tracks: 0   Used: 00:00.00   Free: 74:00.00", fPage->StatusLine()->text().toStdString());

	fSettings.alerts.QueueAnswer("Ignore All");
	DropFiles({one, notes, two, readme, three}, Qt::NoModifier);
	ASSERT_TRUE(fPage->View()->WaitForDropThreads(15000000));
	ASSERT_EQ(1u, fSettings.alerts.CountShown());
	const AlertRequest alert = fSettings.alerts.Shown()[0];
	EXPECT_EQ(0u, alert.text.find("Couldn't link to file: notes.txt\n\nError:\n")) << alert.text;
	EXPECT_EQ((std::vector<std::string> {"Abort", "Ignore All", "Continue"}), alert.buttons);

	// The roster notices the links and the page shows them.
	ASSERT_TRUE(RunUntil([&] { return Rows() == 3; }, 15000000)) << Rows();
	for (const char* name : {"one.wav", "two.wav", "three.wav"}) {
		const std::string link = fRoot + "/Songs/" + name;
		EXPECT_TRUE(fs::is_symlink(link)) << link;
		EXPECT_EQ(fSources + "/" + name, fs::read_symlink(link).string());
	}
	EXPECT_FALSE(fs::exists(fRoot + "/Songs/notes.txt"));
	EXPECT_FALSE(fs::exists(fRoot + "/Songs/readme.txt"));
	EXPECT_EQ("    01", Cell(0, 0).toStdString());
	EXPECT_EQ("    03", Cell(2, 0).toStdString());
	// Each track: its length and the roster's 2-second pause.
	EXPECT_EQ("00:02.00", Cell(0, 4).toStdString());
	ASSERT_TRUE(RunUntil([&] { return fPage->StatusLine()->text().startsWith("Tracks: 3"); }));

	if (const char* folder = getenv("TARNWICK_SCREENSHOT_DIR")) {
		fPage->List()->topLevelItem(1)->setSelected(true);
		fPage->show();
		RunFor(300000);
		fPage->grab().save(QString::fromLocal8Bit(folder) + "/project-page.png");
	}
}

TEST_F(ProjectPageTest, CtrlDropCopiesAndDragWithinTheListReorders)
{
	const std::string first = Source("first.wav");
	DropFiles({first}, Qt::ControlModifier);
	ASSERT_TRUE(RunUntil([&] { return Rows() == 1; }, 15000000));
	EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(fRoot + "/Songs/first.wav")));
	EXPECT_TRUE(fs::exists(first));   // a copy, the source stays

	DropFiles({Source("second.wav"), Source("third.wav")}, Qt::NoModifier);
	ASSERT_TRUE(RunUntil([&] { return Rows() == 3; }, 15000000)) << Rows() << " rows, " << fProject->CountTracks()
		<< " tracks, " << fSettings.alerts.CountShown() << " alerts: "
		<< (fSettings.alerts.CountShown() > 0 ? fSettings.alerts.Shown()[0].text : std::string());
	const QString firstTitle = Cell(0, 2);
	const QString secondTitle = Cell(1, 2);
	const QString thirdTitle = Cell(2, 2);

	// Drag the first row onto the third: it lands before it.
	CProjectDirView* list = fPage->List();
	list->clearSelection();
	list->topLevelItem(0)->setSelected(true);
	std::unique_ptr<QMimeData> data(list->SelectionMimeData());
	ASSERT_NE(nullptr, data);
	EXPECT_TRUE(data->hasFormat(kTarnwickMessageMimeType));
	const QPoint onThird = list->visualItemRect(list->topLevelItem(2)).center();
	QDragEnterEvent enter(onThird, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
	QCoreApplication::sendEvent(list->viewport(), &enter);
	EXPECT_TRUE(enter.isAccepted());
	QDropEvent drop(QPointF(onThird), Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
	QCoreApplication::sendEvent(list->viewport(), &drop);
	ASSERT_TRUE(RunUntil([&] { return Cell(1, 2) == firstTitle; }));
	EXPECT_EQ(secondTitle, Cell(0, 2));
	EXPECT_EQ(thirdTitle, Cell(2, 2));
	// The selection follows the track.
	EXPECT_TRUE(list->topLevelItem(1)->isSelected());
	EXPECT_FALSE(list->topLevelItem(0)->isSelected());
	// Numbers stay positions.
	EXPECT_EQ("    02", Cell(1, 0).toStdString());

	// Track drags of another project's page are not taken here.
	BMessage foreign(B_SIMPLE_DATA);
	foreign.AddBool("project_track_drag_drop", true);
	foreign.AddPointer("project", &foreign);
	foreign.AddInt32("source_index", 0);
	std::string flat;
	ASSERT_EQ(B_OK, foreign.Flatten(&flat));
	QMimeData foreignData;
	foreignData.setData(kTarnwickMessageMimeType, QByteArray(flat.data(), qsizetype(flat.size())));
	EXPECT_FALSE(list->Drop(&foreignData, onThird, Qt::NoModifier));
}

TEST_F(ProjectPageTest, ContextMenuNamesOneOrSeveralTracksAndWriteCdOpensTheSetUp)
{
	DropFiles({Source("a.wav"), Source("bb.wav")}, Qt::NoModifier);
	ASSERT_TRUE(RunUntil([&] { return Rows() == 2; }, 15000000));
	CProjectDirView* list = fPage->List();

	list->topLevelItem(1)->setSelected(true);
	std::unique_ptr<QMenu> menu(fPage->MakeContextMenu());
	EXPECT_EQ(QStringList({"Play", "Stop", "Get Info Ctrl+I", "-", "Edit Artist Ctrl+A", "Edit Title Ctrl+T",
				  "Swap Artist & Title Ctrl+B", "-", "Edit Pause Ctrl+P", "Set Pause", "-", "Move To", "Copy To", "-",
				  "Delete Ctrl+D", "-", "Write CD"}),
		Labels(menu.get()));
	QMenu* moveTo = menu->actions()[11]->menu();
	ASSERT_NE(nullptr, moveTo);
	EXPECT_EQ(QStringList({"Other"}), Labels(moveTo));

	list->topLevelItem(0)->setSelected(true);
	menu.reset(fPage->MakeContextMenu());
	QStringList several = Labels(menu.get());
	EXPECT_EQ("Swap Artists & Titles Ctrl+B", several[6].toStdString());
	EXPECT_EQ("Edit Pauses Ctrl+P", several[8].toStdString());
	EXPECT_EQ("Set Pauses", several[9].toStdString());
	QMenu* pauses = menu->actions()[9]->menu();
	ASSERT_NE(nullptr, pauses);
	EXPECT_EQ(QStringList({"0 Seconds", "1 Seconds", "2 Seconds", "3 Seconds", "5 Seconds", "10 Seconds"}),
		Labels(pauses));
	// Choosing "5 Seconds" reaches every selected track.
	pauses->actions()[4]->trigger();
	ASSERT_TRUE(RunUntil([&] { return Cell(0, 4) == "00:05.00" && Cell(1, 4) == "00:05.00"; }));

	CProject* opened = nullptr;
	RecordSetupOpener previous = SetRecordSetupOpener([&](CProject* project) { opened = project; });
	fPage->findChild<QToolButton*>("btnWriteCd")->click();
	EXPECT_TRUE(RunUntil([&] { return opened == fProject; }));
	SetRecordSetupOpener(previous);
	// Every button carries an image.
	for (const char* name : {"btnPlay", "btnUp", "btnDown", "btnDelete", "btnWriteCd"}) {
		QToolButton* button = fPage->findChild<QToolButton*>(name);
		ASSERT_NE(nullptr, button) << name;
		EXPECT_FALSE(button->icon().isNull()) << name;
	}
}
