// The project page's logic without widgets: what it shows, how it moves,
// pauses and retitles tracks, its context menu, and the drops it hands to its
// threads. The display is a message sink; dialogs and pop-ups are scripted.
#include "projects/ProjectPaneView.h"

#include "kit/app/MessageSink.h"
#include "kit/interface/Alert.h"
#include "kit/storage/EntryRef.h"
#include "kit/support/Message.h"
#include "media/MediaFixtures.h"
#include "projects/Project.h"
#include "projects/ProjectRoster.h"
#include "projects/ProjectTrack.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

constexpr bigtime_t kWait = 15000000;   // a bound, not a delay

void MakeWav(const std::string& path, int frames)
{
	std::vector<int16_t> samples(size_t(frames) * 2, 100);
	media_test::WriteWav(path, samples, uint32_t(frames));
}

class CScriptedHost : public CProjectViewHost {
public:
	bool AskText(const char* prompt, const char*, std::string* text) override
	{
		prompts.push_back(std::string(prompt) + "=" + *text);
		if (answers.empty())
			return false;
		*text = answers.front();
		answers.pop_front();
		return true;
	}
	int32 PopUp(const std::vector<std::string>& items, BPoint) override
	{
		popUps.push_back(items);
		return popUpChoice;
	}
	status_t OpenFile(const char* path) override
	{
		opened.push_back(path);
		return B_OK;
	}

	std::deque<std::string> answers;
	std::vector<std::string> prompts;
	std::vector<std::vector<std::string>> popUps;
	int32 popUpChoice = -1;
	std::vector<std::string> opened;
};

class ProjectPaneTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
		fBase = std::string(getenv("HOME")) + "/pane-" + name;
		fs::remove_all(fBase);
		fFolder = fBase + "/Project";
		fSources = fBase + "/sources";
		fs::create_directories(fFolder);
		fs::create_directories(fSources);
		fPrevious = SetAlertHandler(&fAlerts);
		fProject = std::make_unique<CProject>(fFolder.c_str());
		fProject->FolderPathOrNameChanged(fFolder.c_str());
	}

	void TearDown() override
	{
		if (fView != nullptr) {
			EXPECT_TRUE(fView->WaitForDropThreads(kWait));
		}
		fView.reset();
		fProject.reset();
		SetAlertHandler(fPrevious);
	}

	// A track of `sectors` used length with a pause of `pauseSectors`; its
	// file exists when `withFile`.
	CProjectTrack* AddTrack(const std::string& title, int64 sectors, int32 pauseSectors = 150, bool withFile = false)
	{
		const std::string file = title + ".wav";
		if (withFile)
			MakeWav(fFolder + "/" + file, int(sectors * FRAMES_PER_SECTOR));
		auto track = std::make_unique<CProjectTrack>(fProject.get(), file.c_str(), title.c_str(),
			("artist " + title).c_str(), pauseSectors, 0, sectors * FRAMES_PER_SECTOR);
		CProjectTrack* added = track.get();
		fProject->AddTrack(std::move(track));
		return added;
	}

	CProjectView& View()
	{
		if (fView == nullptr) {
			fView = std::make_unique<CProjectView>(fProject.get(), nullptr, &fHost);
			fView->SetDisplay(fSink->Messenger());
		}
		return *fView;
	}

	std::vector<std::string> Titles()
	{
		std::vector<std::string> titles;
		for (int32 i = 0; i < fProject->CountTracks(); i++)
			titles.push_back(fProject->TrackAt(i)->Title());
		return titles;
	}

	void Send(BMessage message) { View().MessageReceived(&message); }

	BMessage Drop(const std::vector<std::string>& paths)
	{
		BMessage drop(B_SIMPLE_DATA);
		drop.AddInt32("buttons", kPrimaryMouseButton);
		for (const std::string& path : paths) {
			entry_ref ref;
			EXPECT_EQ(B_OK, get_ref_for_path(path.c_str(), &ref)) << path;
			drop.AddRef("refs", &ref);
		}
		return drop;
	}

	std::string Source(const std::string& name, bool audio = true)
	{
		const std::string path = fSources + "/" + name;
		if (audio)
			MakeWav(path, 4410);
		else
			std::ofstream(path) << "not audio\n";
		return path;
	}

	std::string fBase, fFolder, fSources;
	std::unique_ptr<CProject> fProject;
	std::unique_ptr<CProjectView> fView;
	CScriptedHost fHost;
	std::shared_ptr<CMessageSink> fSink = std::make_shared<CMessageSink>();
	CScriptedAlertHandler fAlerts {2};
	CAlertHandler* fPrevious = nullptr;
};

}   // namespace

TEST(ProjectPaneFormat, TimesAndBothStatusLineForms)
{
	EXPECT_EQ("00:00.00", FormatSectors(0));
	EXPECT_EQ("01:01.01", FormatSectors(75 * 61 + 1));
	EXPECT_EQ("74:00.00", FormatSectors(333000));
	EXPECT_EQ("100:00.74", FormatSectors(75 * 6000 + 74));

	// An empty project: the whole disc is free.
	EXPECT_EQ("Tracks: 0   Used: 00:00.00   Free: 74:00.00", FormatProjectStatus(0, 0, 333000));
	// Exactly full is not oversize.
	EXPECT_EQ("Tracks: 3   Used: 74:00.00   Free: 00:00.00", FormatProjectStatus(3, 333000, 333000));
	// One sector over.
	EXPECT_EQ("Tracks: 12   Used: 74:00.01   Free: 00:00.00   Oversize: 00:00.01",
		FormatProjectStatus(12, 333001, 333000));
	EXPECT_EQ("Tracks: 2   Used: 80:00.00   Free: 00:00.00   Oversize: 06:00.00",
		FormatProjectStatus(2, 360000, 333000));
}

TEST(ProjectPaneFormat, SelectionMoveDistanceRules)
{
	// Up: at most as far as the first selected row.
	EXPECT_EQ(0, SelectionMoveDistance({0, 2}, 5, -1));   // first already first
	EXPECT_EQ(-1, SelectionMoveDistance({1, 3}, 5, -3));
	EXPECT_EQ(-2, SelectionMoveDistance({3}, 5, -2));
	// Down: at most as far as the rows below the last selected one.
	EXPECT_EQ(0, SelectionMoveDistance({1, 4}, 5, 1));    // last already last
	EXPECT_EQ(2, SelectionMoveDistance({0, 2}, 5, 7));
	EXPECT_EQ(0, SelectionMoveDistance({0}, 1, 1));       // fewer than two rows
	EXPECT_EQ(0, SelectionMoveDistance({}, 5, 1));
	EXPECT_EQ(0, SelectionMoveDistance({2}, 5, 0));
}

TEST_F(ProjectPaneTest, RowsAndStatusLineFollowTheProject)
{
	AddTrack("one", 75 * 62 + 3, 150, true);
	AddTrack("two", 75 * 10, 0, false);
	CProjectView& view = View();
	const ProjectViewDisplay& display = view.Display();
	ASSERT_EQ(2u, display.rows.size());
	EXPECT_EQ("    01", display.rows[0].columns[0]);
	EXPECT_EQ("artist one", display.rows[0].columns[1]);
	EXPECT_EQ("one", display.rows[0].columns[2]);
	EXPECT_EQ("01:02.03", display.rows[0].columns[3]);
	EXPECT_EQ("00:02.00", display.rows[0].columns[4]);
	EXPECT_EQ(fFolder + "/one.wav", display.rows[0].columns[5]);
	EXPECT_EQ("    02", display.rows[1].columns[0]);
	EXPECT_EQ("DOES NOT EXIST: two.wav", display.rows[1].columns[5]);
	// Used: pause + length of each track (the first one's length ends on a
	// sector boundary, so no padding).
	EXPECT_EQ(FormatProjectStatus(2, 150 + 75 * 62 + 3 + 75 * 10, 333000), display.status);

	// A project longer than its disc.
	fProject->SetDiscMaxLength(75 * 60 * FRAMES_PER_SECTOR);
	fSink->Clear();
	BMessage changed(PROJECT_CHANGED);
	changed.AddPointer("Project", fProject.get());
	view.MessageReceived(&changed);
	EXPECT_EQ("Tracks: 2   Used: 01:14.03   Free: 00:00.00   Oversize: 00:14.03", display.status);
	EXPECT_EQ(1, fSink->CountMessages(PROJECT_VIEW_CHANGED));
	// Another project's notice is not this page's business.
	BMessage other(PROJECT_TRACK_ADDED);
	other.AddPointer("Project", &changed);
	view.MessageReceived(&other);
	EXPECT_EQ(1, fSink->CountMessages(PROJECT_VIEW_CHANGED));
}

TEST_F(ProjectPaneTest, MoveUpDownAndReorderByDragMoveTheSelectionAsFarAsItCan)
{
	for (const char* title : {"a", "b", "c", "d", "e"})
		AddTrack(title, 750);
	CProjectView& view = View();

	view.SetSelection({1, 3});
	Send(BMessage(PROJECT_VIEW_MOVE_UP));
	EXPECT_EQ((std::vector<std::string> {"b", "a", "d", "c", "e"}), Titles());
	EXPECT_EQ((std::vector<int32> {0, 2}), view.Display().selection);
	// The first selected track is first: nothing moves.
	Send(BMessage(PROJECT_VIEW_MOVE_UP));
	EXPECT_EQ((std::vector<std::string> {"b", "a", "d", "c", "e"}), Titles());
	Send(BMessage(PROJECT_VIEW_MOVE_DOWN));
	Send(BMessage(PROJECT_VIEW_MOVE_DOWN));
	EXPECT_EQ((std::vector<std::string> {"a", "c", "b", "e", "d"}), Titles());
	EXPECT_EQ((std::vector<int32> {2, 4}), view.Display().selection);
	Send(BMessage(PROJECT_VIEW_MOVE_DOWN));
	EXPECT_EQ((std::vector<std::string> {"a", "c", "b", "e", "d"}), Titles());

	// A drag of row 0 dropped on row 3 lands before it; on the next row, or
	// on itself, it stays.
	auto drag = [&](int32 source, int32 target, int32 buttons = kPrimaryMouseButton) {
		BMessage message(B_SIMPLE_DATA);
		message.AddBool(kTrackDragDropFlag, true);
		message.AddInt32("source_index", source);
		message.AddInt32("target_index", target);
		message.AddInt32("buttons", buttons);
		view.SetSelection({source});
		view.MessageReceived(&message);
	};
	drag(0, 3);
	EXPECT_EQ((std::vector<std::string> {"c", "b", "a", "e", "d"}), Titles());
	drag(2, 3);
	drag(2, 2);
	EXPECT_EQ((std::vector<std::string> {"c", "b", "a", "e", "d"}), Titles());
	// Below the last row (the row count) and upwards.
	drag(0, 5);
	EXPECT_EQ((std::vector<std::string> {"b", "a", "e", "d", "c"}), Titles());
	drag(4, 0);
	EXPECT_EQ((std::vector<std::string> {"c", "b", "a", "e", "d"}), Titles());
	// The secondary button asks first; only "Move Here" moves.
	fHost.popUpChoice = 2;
	drag(0, 5, kSecondaryMouseButton);
	EXPECT_EQ((std::vector<std::string> {"c", "b", "a", "e", "d"}), Titles());
	ASSERT_EQ(1u, fHost.popUps.size());
	EXPECT_EQ((std::vector<std::string> {"Move Here", "", "Cancel"}), fHost.popUps[0]);
	fHost.popUpChoice = 0;
	drag(0, 5, kSecondaryMouseButton);
	EXPECT_EQ((std::vector<std::string> {"b", "a", "e", "d", "c"}), Titles());
	// The order is saved.
	CProject reloaded(fFolder.c_str());
	ASSERT_EQ(B_OK, reloaded.Load());
	ASSERT_EQ(5, reloaded.CountTracks());
	EXPECT_EQ("b.wav", reloaded.TrackAt(0)->Filename());
}

TEST_F(ProjectPaneTest, PausesStayWithinOneHour)
{
	CProjectTrack* first = AddTrack("a", 750, 150);
	CProjectTrack* second = AddTrack("b", 750, 150);
	CProjectView& view = View();
	view.SetSelection({0, 1});

	BMessage set(PROJECT_VIEW_SET_PAUSE);
	set.AddInt32("seconds", 5);
	Send(set);
	EXPECT_EQ(5 * 75 * FRAMES_PER_SECTOR, first->StartSilenceLength());
	EXPECT_EQ(5 * 75 * FRAMES_PER_SECTOR, second->StartSilenceLength());
	EXPECT_EQ("00:05.00", view.Display().rows[1].columns[4]);

	// Exactly one hour is allowed, a hundredth more is ignored, as are
	// negative and non-numbers; 0 clears.
	EXPECT_TRUE(view.SetPause(3600));
	EXPECT_EQ(kMaxPauseSectors * FRAMES_PER_SECTOR, first->StartSilenceLength());
	EXPECT_FALSE(view.SetPause(3600.01));
	EXPECT_FALSE(view.SetPause(-1));
	EXPECT_FALSE(view.SetPause(std::nan("")));
	EXPECT_EQ(kMaxPauseSectors * FRAMES_PER_SECTOR, first->StartSilenceLength());
	EXPECT_TRUE(view.SetPause(0));
	EXPECT_EQ(0, second->StartSilenceLength());

	// Edit Pause starts from the first selected track's pause; the typed
	// number is applied to every selected track, unless above the limit.
	view.SetSelection({1});
	EXPECT_TRUE(view.SetPause(2.4));
	fHost.answers = {"3600.01", "1.6", "abc"};
	Send(BMessage(PROJECT_VIEW_EDIT_PAUSE));
	Send(BMessage(PROJECT_VIEW_EDIT_PAUSE));
	Send(BMessage(PROJECT_VIEW_EDIT_PAUSE));
	EXPECT_EQ((std::vector<std::string> {"Pause (Seconds):=2.40", "Pause (Seconds):=2.40", "Pause (Seconds):=1.60"}),
		fHost.prompts);
	EXPECT_EQ(int64(120) * FRAMES_PER_SECTOR, second->StartSilenceLength());
	EXPECT_EQ(0, first->StartSilenceLength());
	// The pauses are saved.
	CProject reloaded(fFolder.c_str());
	ASSERT_EQ(B_OK, reloaded.Load());
	EXPECT_EQ(int64(120) * FRAMES_PER_SECTOR, reloaded.TrackAt(1)->StartSilenceLength());
}

TEST_F(ProjectPaneTest, ContextMenuForOneAndForSeveralTracks)
{
	AddTrack("a", 750);
	AddTrack("b", 750);
	CProjectView& view = View();
	auto labels = [](const std::vector<ProjectViewMenuItem>& menu) {
		std::string text;
		for (const ProjectViewMenuItem& item : menu) {
			text += item.IsSeparator() ? "-" : item.label;
			if (item.shortcut != 0)
				text += std::string("^") + item.shortcut;
			text += "|";
		}
		return text;
	};

	view.SetSelection({1});
	std::vector<ProjectViewMenuItem> menu = view.ContextMenu();
	EXPECT_EQ("Play|Stop|Get Info^I|-|Edit Artist^A|Edit Title^T|Swap Artist & Title^B|-|Edit Pause^P|Set Pause|-|"
			  "Move To|Copy To|-|Delete^D|-|Write CD|",
		labels(menu));
	const ProjectViewMenuItem& pauses = menu[9];
	EXPECT_EQ("0 Seconds|1 Seconds|2 Seconds|3 Seconds|5 Seconds|10 Seconds|", labels(pauses.items));
	int32 seconds = 0;
	EXPECT_EQ(B_OK, pauses.items[5].message.FindInt32("seconds", &seconds));
	EXPECT_EQ(10, seconds);
	EXPECT_EQ(PROJECT_VIEW_SET_PAUSE, pauses.items[5].message.what);
	// Without a roster there is no other project to move to.
	EXPECT_FALSE(menu[11].enabled);

	view.SetSelection({0, 1});
	EXPECT_EQ("Play|Stop|Get Info^I|-|Edit Artist^A|Edit Title^T|Swap Artists & Titles^B|-|Edit Pauses^P|Set Pauses|-|"
			  "Move To|Copy To|-|Delete^D|-|Write CD|",
		labels(view.ContextMenu()));

	// Every command item reaches the view; Write CD asks the display to open
	// the record set-up for this project.
	Send(BMessage(PROJECT_VIEW_WRITE_CD));
	BMessage open;
	ASSERT_TRUE(fSink->LastMessage(PROJECT_VIEW_OPEN_RECORD_SETUP, &open));
	void* project = nullptr;
	EXPECT_EQ(B_OK, open.FindPointer("project", &project));
	EXPECT_EQ(fProject.get(), project);
}

TEST_F(ProjectPaneTest, SwapAndEditArtistAndTitleOfEverySelectedTrack)
{
	CProjectTrack* first = AddTrack("a", 750, 150, true);
	CProjectTrack* second = AddTrack("b", 750, 150, true);
	CProjectTrack* third = AddTrack("c", 750, 150, true);
	CProjectView& view = View();
	view.SetSelection({0, 2});
	Send(BMessage(PROJECT_VIEW_SWAP));
	EXPECT_EQ("artist a", first->Title());
	EXPECT_EQ("a", first->Artist());
	EXPECT_EQ("b", second->Title());
	EXPECT_EQ("artist c", third->Title());
	EXPECT_EQ("c", view.Display().rows[2].columns[1]);
	EXPECT_EQ("artist c", view.Display().rows[2].columns[2]);
	// Swapping twice gives the names back.
	Send(BMessage(PROJECT_VIEW_SWAP));
	EXPECT_EQ("a", first->Title());
	EXPECT_EQ("artist a", first->Artist());

	fHost.answers = {"New Title", "Someone"};
	Send(BMessage(PROJECT_VIEW_EDIT_TITLE));
	Send(BMessage(PROJECT_VIEW_EDIT_ARTIST));
	EXPECT_EQ((std::vector<std::string> {"Title:=a", "Artist:=artist a"}), fHost.prompts);
	EXPECT_EQ("New Title", first->Title());
	EXPECT_EQ("New Title", third->Title());
	EXPECT_EQ("Someone", third->Artist());
	EXPECT_EQ("b", second->Title());
	// A cancelled dialog changes nothing.
	Send(BMessage(PROJECT_VIEW_EDIT_TITLE));
	EXPECT_EQ("New Title", first->Title());
}

TEST_F(ProjectPaneTest, DropThreadsLinkMoveAndAskAboutWhatTheyCannotTake)
{
	CProjectView& view = View();
	const std::string one = Source("one.wav");
	const std::string two = Source("two.wav");
	const std::string text = Source("notes.txt", false);
	const std::string more = Source("more.txt", false);

	// "Continue" skips the entry and asks again for the next one.
	fAlerts.QueueAnswer("Continue");
	fAlerts.QueueAnswer("Continue");
	Send(Drop({text, one, more}));
	ASSERT_TRUE(view.WaitForDropThreads(kWait));
	EXPECT_TRUE(fs::is_symlink(fFolder + "/one.wav"));
	EXPECT_EQ(one, fs::read_symlink(fFolder + "/one.wav").string());
	EXPECT_FALSE(fs::exists(fFolder + "/notes.txt"));
	ASSERT_EQ(2u, fAlerts.CountShown());
	const AlertRequest alert = fAlerts.Shown()[0];
	EXPECT_EQ(0u, alert.text.find("Couldn't link to file: notes.txt\n\nError:\n")) << alert.text;
	EXPECT_EQ((std::vector<std::string> {"Abort", "Ignore All", "Continue"}), alert.buttons);

	// "Abort" ends the thread: nothing after it is linked.
	fAlerts.Clear();
	fAlerts.QueueAnswer("Abort");
	Send(Drop({text, two}));
	ASSERT_TRUE(view.WaitForDropThreads(kWait));
	EXPECT_EQ(1u, fAlerts.CountShown());
	EXPECT_FALSE(fs::exists(fFolder + "/two.wav"));

	// Linking over a name that is taken is reported with the system's text
	// and replaces nothing.
	fAlerts.Clear();
	Send(Drop({one}));
	ASSERT_TRUE(view.WaitForDropThreads(kWait));
	ASSERT_EQ(1u, fAlerts.CountShown());
	EXPECT_EQ(0u, fAlerts.Shown()[0].text.find("Couldn't link to file: one.wav\n\nError:\n"));

	// A move ("Move To" of another page) skips the audio test; an entry
	// that vanished is reported as such; the rest arrives, and a name that
	// is taken gets a free one.
	fAlerts.Clear();
	BMessage move = Drop({two, text, one});
	move.AddBool("force_file_move", true);
	move.AddBool("skip_file_test", true);
	fs::remove(text);
	Send(move);
	ASSERT_TRUE(view.WaitForDropThreads(kWait));
	ASSERT_EQ(1u, fAlerts.CountShown());
	EXPECT_EQ("Couldn't move: notes.txt\n\nError:\nfile does not exist\n", fAlerts.Shown()[0].text);
	EXPECT_FALSE(fs::exists(two));
	EXPECT_FALSE(fs::exists(one));
	EXPECT_TRUE(fs::is_regular_file(fFolder + "/two.wav"));
	EXPECT_TRUE(fs::is_symlink(fFolder + "/one.wav"));
	EXPECT_TRUE(fs::is_regular_file(fFolder + "/one (1).wav"));
	EXPECT_EQ(0, view.RunningDropThreads());
}

TEST_F(ProjectPaneTest, SecondaryButtonDropAsksAndNegotiatedDropMakesAPlaceholder)
{
	CProjectView& view = View();
	const std::string one = Source("one.wav");
	BMessage drop = Drop({one});
	drop.ReplaceInt32("buttons", kSecondaryMouseButton);
	fHost.popUpChoice = 4;   // "Cancel"
	Send(drop);
	ASSERT_TRUE(view.WaitForDropThreads(kWait));
	ASSERT_EQ(1u, fHost.popUps.size());
	EXPECT_EQ((std::vector<std::string> {"Create Link Here", "Move Here", "Copy Here", "", "Cancel"}), fHost.popUps[0]);
	EXPECT_FALSE(fs::exists(fFolder + "/one.wav"));
	fHost.popUpChoice = 1;   // "Move Here"
	Send(drop);
	ASSERT_TRUE(view.WaitForDropThreads(kWait));
	EXPECT_TRUE(fs::is_regular_file(fFolder + "/one.wav"));
	EXPECT_FALSE(fs::exists(one));

	// A negotiated drop whose clip name is taken: " (1)" is appended.
	std::ofstream(fFolder + "/Track 1") << "";
	BMessage offer(B_SIMPLE_DATA);
	offer.AddString("be:types", "application/octet-stream");
	offer.AddInt32("be:actions", int32('DDCP'));
	offer.AddString("be:clip_name", "Track 1");
	offer.AddString("be:type_descriptions", "Audio CD Track");
	Send(offer);
	EXPECT_TRUE(fs::exists(fFolder + "/Track 1 (1)"));
	// One that offers no copy action is refused.
	BMessage refused(B_SIMPLE_DATA);
	refused.AddString("be:types", "application/octet-stream");
	refused.AddInt32("be:actions", int32('DDMV'));
	refused.AddString("be:clip_name", "Other");
	Send(refused);
	EXPECT_FALSE(fs::exists(fFolder + "/Other"));
}

TEST_F(ProjectPaneTest, DeleteRemovesTheFileOrTheTrackAndMoveToNeedsALiveTarget)
{
	AddTrack("a", 750, 150, true);
	CProjectTrack* missing = AddTrack("b", 750, 150, false);
	CProjectView& view = View();
	view.SetSelection({0, 1});
	Send(BMessage(PROJECT_VIEW_DELETE));
	// The file is gone (the roster's monitor would drop its track); the
	// track without a file was taken out at once.
	EXPECT_FALSE(fs::exists(fFolder + "/a.wav"));
	EXPECT_EQ(-1, fProject->IndexOf(missing));
	EXPECT_EQ(0u, fAlerts.CountShown());

	BMessage move(PROJECT_VIEW_MOVE_TO);
	move.AddPointer("project", fProject.get());
	view.SetSelection({0});
	Send(move);
	ASSERT_EQ(1u, fAlerts.CountShown());
	EXPECT_EQ("Destination project does not exist, has been removed or is no longer valid.", fAlerts.Shown()[0].text);
}
