// The drive page's logic against a virtual drive: the list and its formats,
// the menu's labels, naming tracks with the notifications, the CD-Text
// question, the copy request to the extraction window, and the drag.
#include "driver/VirtualDriveFixture.h"

#include "disc/CdTextDecoder.h"
#include "disc/Toc.h"
#include "kit/app/MessageSink.h"
#include "kit/interface/Alert.h"
#include "kit/storage/Entry.h"
#include "kit/support/Message.h"
#include "players/CdromView.h"
#include "projects/Project.h"
#include "projects/ProjectRoster.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace drivertest;
using namespace emutest;

namespace {

std::shared_ptr<CDiscImage> LoadDisc(const STestDisc& disc)
{
	std::shared_ptr<CDiscImage> image;
	std::string error;
	EXPECT_EQ(CDiscImage::LoadCue(disc.cuePath, &image, &error), B_OK) << error;
	return image;
}

std::vector<int32> TocTracks(CMessageSink& sink)
{
	std::vector<int32> tracks;
	while (auto message = sink.WaitForMessage(M_NOTIFY_TOC_UPDATE, 0))
		tracks.push_back(message->GetInt32("track", -1));
	return tracks;
}

class DrivePage : public testing::Test {
protected:
	void SetUp() override
	{
		fPreviousAlerts = SetAlertHandler(&fAlerts);
		fDrive = std::make_unique<CVirtualDrive>(TestConfig(), LoadDisc(fDisc));
		ASSERT_TRUE(fDrive->Device()->ReadToc());
		CdromViewHooks hooks;
		hooks.showPlayer = [this](CDevice*) { return fPlayer->Messenger(); };
		hooks.showEditor = [this](CDevice*) { return fEditor->Messenger(); };
		hooks.showExtraction = [this](CDevice*) {
			fExtractionOpened++;
			return fExtraction->Messenger();
		};
		hooks.activeProject = [this] { return fActive; };
		hooks.roster = &fRoster;
		std::filesystem::create_directories(fFolder.File("projects/Live Set"));
		ASSERT_EQ(fRoster.Init(fFolder.File("projects").c_str()), B_OK);
		fView = std::make_unique<CCdromView>(fDrive->Device(), hooks);
		// The page's own notifications come back to the test.
		fDrive->Device()->Attach(fNames->Messenger(), false, false, false, true);
	}
	void TearDown() override
	{
		fDrive->Device()->Detach(fNames->Messenger());
		fView.reset();
		fRoster.Exit();
		SetAlertHandler(fPreviousAlerts);
	}

	CTempFolder fFolder;
	STestDisc fDisc = MakeTestDisc(fFolder);
	std::unique_ptr<CVirtualDrive> fDrive;
	CScriptedAlertHandler fAlerts;
	CAlertHandler* fPreviousAlerts = nullptr;
	std::shared_ptr<CMessageSink> fPlayer = std::make_shared<CMessageSink>();
	std::shared_ptr<CMessageSink> fEditor = std::make_shared<CMessageSink>();
	std::shared_ptr<CMessageSink> fExtraction = std::make_shared<CMessageSink>();
	std::shared_ptr<CMessageSink> fNames = std::make_shared<CMessageSink>();
	int fExtractionOpened = 0;
	CProjectRoster fRoster;
	CProject* fActive = nullptr;
	std::unique_ptr<CCdromView> fView;
};

void Notify(CCdromView& view, uint32 what, int32 track = -1)
{
	BMessage message(what);
	if (track >= 0)
		message.AddInt32("track", track);
	EXPECT_TRUE(view.MessageReceived(&message));
}

TEST_F(DrivePage, ListFollowsTheDiscAndTheMenuFollowsTheSelection)
{
	Notify(*fView, M_NOTIFY_CD_INSERTED);
	ASSERT_EQ(fView->Rows().size(), 3u);
	EXPECT_EQ(fView->Rows()[0].number, "01");
	EXPECT_EQ(fView->Rows()[2].number, "03");
	EXPECT_EQ(fView->Rows()[0].length, "00:04");
	EXPECT_EQ(fView->Rows()[1].length, "00:08");
	EXPECT_EQ(fView->Rows()[2].length, "00:06");

	fView->SetSelection({1});
	std::vector<CdMenuItem> menu = fView->ContextMenu();
	std::vector<std::string> labels;
	std::string keys;
	for (const CdMenuItem& item : menu) {
		labels.push_back(item.label);
		if (item.shortcut != 0)
			keys += item.shortcut;
	}
	EXPECT_EQ(labels, std::vector<std::string>({"Play", "Stop", "Get Info", "", "Edit Artist", "Edit Title",
		"Edit Properties", "Swap Artist & Title", "", "Read CD-TEXT", "", "Add A Copy", "", "Add A Copy To", "",
		"Eject"}));
	EXPECT_EQ(keys, "IATEBRC");
	ASSERT_EQ(menu[13].submenu.size(), 1u);
	EXPECT_EQ(menu[13].submenu[0].label, "Live Set");
	EXPECT_NE(menu[13].submenu[0].project, nullptr);

	fView->SetSelection({0, 2, 7, 0});   // rows off the list and repeats are dropped
	EXPECT_EQ(fView->Selection(), std::vector<int32>({0, 2}));
	menu = fView->ContextMenu();
	EXPECT_EQ(menu[7].label, "Swap Artists & Titles");
	EXPECT_EQ(menu[11].label, "Add Copys");
	EXPECT_EQ(menu[13].label, "Add Copys To");

	// A new name of one track rebuilds its row alone.
	fDrive->Device()->GetToc()->Lock();
	fDrive->Device()->GetToc()->SetTrackTitle(2, "Renamed");
	fDrive->Device()->GetToc()->Unlock();
	Notify(*fView, M_NOTIFY_TOC_UPDATE, 2);
	EXPECT_EQ(fView->Rows()[1].title, "Renamed");
	Notify(*fView, M_NOTIFY_CD_REMOVED);
	EXPECT_TRUE(fView->Rows().empty());
	EXPECT_TRUE(fView->Selection().empty());
	Notify(*fView, M_NOTIFY_CD_INSERTED);
	EXPECT_EQ(fView->Rows().size(), 3u);
}

TEST_F(DrivePage, NamingTracksChangesTheTocAndTellsEveryListener)
{
	Notify(*fView, M_NOTIFY_CD_INSERTED);
	fView->SetSelection({2, 0});
	fView->SetArtist("Band");
	fView->SetTitle("Song");
	EXPECT_EQ(TocTracks(*fNames), std::vector<int32>({3, 1, 3, 1}));
	fView->SetSelection({0});
	fView->SetArtist("Other");
	fView->SwapArtistAndTitle();
	EXPECT_EQ(TocTracks(*fNames), std::vector<int32>({1, 1}));
	CToc* toc = fDrive->Device()->GetToc();
	toc->Lock();
	EXPECT_STREQ(toc->TrackArtist(1), "Song");
	EXPECT_STREQ(toc->TrackTitle(1), "Other");
	EXPECT_STREQ(toc->TrackArtist(3), "Band");
	EXPECT_STREQ(toc->TrackTitle(3), "Song");
	toc->Unlock();
	EXPECT_EQ(fView->Rows()[0].artist, "Song");
	EXPECT_EQ(fView->Rows()[2].title, "Song");
}

TEST_F(DrivePage, CdTextIsAskedForWithLeadingZerosAndAppliedOnYes)
{
	Notify(*fView, M_NOTIFY_CD_INSERTED);
	fAlerts.QueueAnswer("No");
	EXPECT_FALSE(fView->ReadCdText());
	ASSERT_EQ(fAlerts.CountShown(), 1u);
	EXPECT_EQ(fAlerts.Shown()[0].text,
		"Do you want to replace the current CD track descriptions with the following data ?\n\n"
		"Title: Test Artist - Test Album\n"
		"Track 01: Singer One - First Song\n"
		"Track 02: Singer Two - Second Song\n"
		"Track 03: Singer Three - Third\n");
	EXPECT_EQ(fAlerts.Shown()[0].buttons, std::vector<std::string>({"No", "Yes"}));
	EXPECT_TRUE(TocTracks(*fNames).empty());

	fAlerts.QueueAnswer("Yes");
	EXPECT_TRUE(fView->ReadCdText());
	EXPECT_EQ(TocTracks(*fNames), std::vector<int32>({0, 1, 2, 3}));
	EXPECT_EQ(fView->Rows()[1].artist, "Singer Two");
	EXPECT_EQ(fView->Rows()[1].title, "Second Song");
	CToc* toc = fDrive->Device()->GetToc();
	toc->Lock();
	EXPECT_STREQ(toc->Title(), "Test Artist - Test Album");
	toc->Unlock();

	// Numbers up to 9 get their zero, 10 and above none; an entry without an
	// artist is its title alone.
	CCdTextDecoder empty;
	std::string question = CdTextQuestion(empty, 10);
	EXPECT_NE(question.find("Title: \nTrack 01: \n"), std::string::npos);
	EXPECT_NE(question.find("\nTrack 09: \nTrack 10: \n"), std::string::npos);
	EXPECT_EQ(CdTextEntry("", "Alone"), "Alone");
	EXPECT_EQ(CdTextEntry("Solo", ""), "Solo");

	// A drive that cannot read CD-Text says so.
	fDrive->Driver().ReadCdText = [](CDevice*, void*, int32, SCSI_STATUS*) { return false; };
	fAlerts.Clear();
	EXPECT_FALSE(fView->ReadCdText());
	ASSERT_EQ(fAlerts.CountShown(), 1u);
	EXPECT_EQ(fAlerts.Shown()[0].text,
		"Couldn't read CD-TEXT (command failed).\n\nPerhaps this CD-ROM doesn't\nsupport reading CD-TEXT.\n");
	fDrive->Driver().ReadCdText = [](CDevice*, void* buffer, int32 length, SCSI_STATUS*) {
		memset(buffer, 0, size_t(length));
		return true;
	};
	fAlerts.Clear();
	EXPECT_FALSE(fView->ReadCdText());
	ASSERT_EQ(fAlerts.CountShown(), 1u);
	EXPECT_EQ(fAlerts.Shown()[0].text, "Couldn't decode CD-TEXT.\n\nPerhaps this CD doesn't contain CD-TEXT.\n");
}

TEST_F(DrivePage, CopiesGoToTheExtractionWindowOnlyForValidProjects)
{
	Notify(*fView, M_NOTIFY_CD_INSERTED);
	CToc* toc = fDrive->Device()->GetToc();
	toc->Lock();
	toc->SetTrackArtist(3, "Three");
	toc->SetTrackTitle(3, "Last");
	toc->SetTrackTitle(1, "First");
	toc->Unlock();

	// Nothing selected: the extraction window opens, nothing is sent.
	fView->AddCopy();
	EXPECT_EQ(fExtractionOpened, 1);
	EXPECT_EQ(fExtraction->CountMessages(), 0);

	// No active project: refused with the alert.
	fView->SetSelection({2, 0});
	fView->AddCopy();
	ASSERT_EQ(fAlerts.CountShown(), 1u);
	EXPECT_EQ(fAlerts.Shown()[0].text, "Destination project does not exist, has been removed or is no longer valid.");
	EXPECT_EQ(fExtraction->CountMessages(), 0);

	ASSERT_TRUE(fRoster.Lock());
	fActive = fRoster.FindProject("Live Set");
	fRoster.Unlock();
	ASSERT_NE(fActive, nullptr);
	fView->AddCopy();
	auto request = fExtraction->WaitForMessage(CDROM_COPY_TRACKS, 5000000);
	ASSERT_NE(request, nullptr);
	entry_ref dir;
	ASSERT_EQ(request->FindRef("dir", &dir), B_OK);
	EXPECT_EQ(std::filesystem::path(dir.Path()), std::filesystem::path(fFolder.File("projects/Live Set")));
	// Selection order, with the names from the TOC.
	EXPECT_EQ(request->GetInt32("track", 0), 3);
	int32 second = 0;
	EXPECT_EQ(request->FindInt32("track", 1, &second), B_OK);
	EXPECT_EQ(second, 1);
	std::string artist, title;
	EXPECT_EQ(request->FindString("artist", 0, &artist), B_OK);
	EXPECT_EQ(request->FindString("title", 1, &title), B_OK);
	EXPECT_EQ(artist, "Three");
	EXPECT_EQ(title, "First");
	EXPECT_EQ(request->FindString("artist", 1, &artist), B_OK);
	EXPECT_EQ(artist, "");
	EXPECT_NE(request->FindInt32("track", 2, &second), B_OK);

	// Play and Edit send the first selected row's track.
	fView->Play();
	fView->Play(1);
	fView->Edit();
	auto play = fPlayer->WaitForMessage(CDROM_PLAY_TRACK, 0);
	ASSERT_NE(play, nullptr);
	EXPECT_EQ(play->GetInt32("track", 0), 3);
	play = fPlayer->WaitForMessage(CDROM_PLAY_TRACK, 0);
	ASSERT_NE(play, nullptr);
	EXPECT_EQ(play->GetInt32("track", 0), 2);
	auto edit = fEditor->WaitForMessage(CDROM_EDIT_TRACK, 0);
	ASSERT_NE(edit, nullptr);
	EXPECT_EQ(edit->GetInt32("track", 0), 3);
}

TEST_F(DrivePage, DraggedTracksAreCopiedIntoTheFolderThePageNames)
{
	Notify(*fView, M_NOTIFY_CD_INSERTED);
	fView->SetSelection({0, 1});
	BMessage drag = fView->DragMessage(BPoint(12, 40), true, true);
	EXPECT_EQ(drag.what, uint32('DATA'));
	EXPECT_TRUE(drag.GetBool("don't_create_file", false));
	EXPECT_STREQ(drag.GetString("be:clip_name", ""), "   ");
	EXPECT_EQ(drag.GetInt32("be:actions", 0), int32('DDCP'));
	EXPECT_STREQ(drag.GetString("be:type_descriptions", ""), "Audio CD Track");
	EXPECT_EQ(drag.GetInt32("buttons", 0), 2);
	EXPECT_EQ(fView->DragMessage(BPoint(), true, false).GetInt32("buttons", 0), 1);
	std::string flat;
	EXPECT_EQ(drag.Flatten(&flat), B_OK);

	// The project page answers with its folder and a placeholder it made.
	std::string folder = fFolder.File("projects/Live Set");
	std::ofstream(folder + "/placeholder").put('x');
	BMessage reply('DDCP');
	entry_ref ref;
	ASSERT_EQ(get_ref_for_path(folder.c_str(), &ref), B_OK);
	reply.AddRef("directory", &ref);
	reply.AddString("name", "placeholder");
	EXPECT_EQ(fView->DragReply(&reply), B_OK);
	EXPECT_FALSE(std::filesystem::exists(folder + "/placeholder"));
	auto request = fExtraction->WaitForMessage(CDROM_COPY_TRACKS, 5000000);
	ASSERT_NE(request, nullptr);
	EXPECT_EQ(request->GetInt32("track", 0), 1);
	// A reply without a folder copies nothing (the assertion is ignored).
	fAlerts.QueueAnswer("Ignore");
	BMessage empty('DDCP');
	EXPECT_NE(fView->DragReply(&empty), B_OK);
	EXPECT_EQ(fExtraction->CountMessages(), 0);
	EXPECT_EQ(fAlerts.CountShown(), 1u);
}

}   // namespace
