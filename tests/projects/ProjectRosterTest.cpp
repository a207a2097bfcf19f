// The project roster on a real project folder with real file-system
// notifications: files and folders changed by "another program" (plain
// std::filesystem and xattr calls) show up in the model and are announced to
// every handler; nothing is lost across a restart. Waits are bounded; the
// absence of an announcement is shown by a later one that must come after it.
#include "projects/ProjectRoster.h"

#include "frame/Preference.h"
#include "kit/app/MessageSink.h"
#include "kit/interface/Alert.h"
#include "kit/kernel/OS.h"
#include "kit/support/Message.h"
#include "media/MediaFixtures.h"
#include "projects/Project.h"
#include "projects/ProjectTrack.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sys/xattr.h>
#include <thread>

namespace fs = std::filesystem;

namespace {

constexpr bigtime_t kWait = 15000000;   // a bound, not a delay

std::string ReadBytes(const std::string& path)
{
	std::ifstream in(path, std::ios::binary);
	return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
	std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

void MakeWav(const std::string& path, int frames)
{
	std::vector<int16_t> samples(size_t(frames) * 2);
	for (size_t i = 0; i < samples.size(); i++)
		samples[i] = int16_t(i % 300);
	media_test::WriteWav(path, samples, uint32_t(frames));
}

// What a handler of the roster does with its messages: it keeps them, holds
// one reference per 'PrAd' and gives it back on 'PrRm'.
class CTestHandler {
public:
	struct Event {
		uint32 what;
		CProject* project;
		CProjectTrack* track;
	};

	explicit CTestHandler(CProjectRoster* roster) : fRoster(roster) {}
	~CTestHandler() { Release(); }

	void Attach()
	{
		fRoster->Attach(fSink->Messenger());
		fAttached = true;
	}

	// Waits for the next not yet matched event with `what` (and `project`
	// when given); false when it does not come in time.
	bool WaitFor(uint32 what, CProject* project = nullptr, Event* found = nullptr)
	{
		const bigtime_t deadline = system_time() + kWait;
		for (;;) {
			for (size_t i = fCursor; i < fEvents.size(); i++) {
				if (fEvents[i].what == what && (project == nullptr || fEvents[i].project == project)) {
					if (found != nullptr)
						*found = fEvents[i];
					fCursor = i + 1;
					return true;
				}
			}
			const bigtime_t left = deadline - system_time();
			if (left <= 0 || !_Take(left))
				return false;
		}
	}

	// Events with `what` seen so far (all taken in first).
	int Count(uint32 what)
	{
		while (_Take(0)) {
		}
		int count = 0;
		for (const Event& event : fEvents)
			count += event.what == what;
		return count;
	}
	std::vector<Event> Events()
	{
		while (_Take(0)) {
		}
		return fEvents;
	}

	// Detaches and gives back every reference still held.
	void Release()
	{
		if (!fAttached)
			return;
		fRoster->Detach(fSink->Messenger());
		while (_Take(100000)) {
		}
		for (CProject* project : fHeld)
			fRoster->UnregisterProject(project);
		fHeld.clear();
		fAttached = false;
	}

private:
	bool _Take(bigtime_t timeout)
	{
		std::unique_ptr<BMessage> message = fSink->WaitForAnyMessage(timeout);
		if (message == nullptr)
			return false;
		Event event {message->what, nullptr, nullptr};
		void* pointer = nullptr;
		if (message->FindPointer("Project", &pointer) == B_OK)
			event.project = static_cast<CProject*>(pointer);
		if (message->FindPointer("Track", &pointer) == B_OK)
			event.track = static_cast<CProjectTrack*>(pointer);
		fEvents.push_back(event);
		if (event.what == PROJECT_ADDED)
			fHeld.insert(event.project);
		if (event.what == PROJECT_REMOVED) {
			auto held = fHeld.find(event.project);
			if (held != fHeld.end()) {
				fHeld.erase(held);
				fRoster->UnregisterProject(event.project);
			}
		}
		return true;
	}

	CProjectRoster* fRoster;
	std::shared_ptr<CMessageSink> fSink = std::make_shared<CMessageSink>();
	std::vector<Event> fEvents;
	size_t fCursor = 0;
	std::multiset<CProject*> fHeld;
	bool fAttached = false;
};

// One project as the tests compare it across a restart.
struct ProjectSnapshot {
	std::string name, title, artist;
	int64 maxLength;
	std::vector<std::string> tracks;   // file|title|artist|start|end|used
	bool operator==(const ProjectSnapshot&) const = default;
};

std::vector<ProjectSnapshot> Snapshot(CProjectRoster& roster)
{
	std::vector<ProjectSnapshot> result;
	roster.Lock();
	int32 index = 0;
	while (CProject* project = roster.GetNextProjectAt(&index)) {
		project->Lock();
		ProjectSnapshot snapshot {project->Name(), project->Title(), project->Artist(), project->DiscMaxLength(), {}};
		for (int32 i = 0; i < project->CountTracks(); i++) {
			CProjectTrack* track = project->TrackAt(i);
			snapshot.tracks.push_back(track->Filename() + "|" + track->Title() + "|" + track->Artist() + "|"
				+ std::to_string(track->StartSilenceLength()) + "|" + std::to_string(track->EndSilenceLength()) + "|"
				+ std::to_string(track->FileLengthUsed()));
		}
		project->Unlock();
		result.push_back(snapshot);
	}
	roster.Unlock();
	return result;
}

class RosterTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
		const std::string home = getenv("HOME");
		fRoot = home + "/roster-" + name + "/Tarnwick Projects";
		fSources = home + "/roster-" + name + "/sources";
		fOutside = home + "/roster-" + name + "/outside";
		fs::remove_all(home + "/roster-" + name);
		fs::create_directories(fRoot);
		fs::create_directories(fSources);
		fs::create_directories(fOutside);
		fPrevious = SetAlertHandler(&fAlerts);
	}

	void TearDown() override
	{
		for (auto& handler : fHandlers)
			handler->Release();
		fRoster.Exit();
		SetAlertHandler(fPrevious);
		EXPECT_EQ(0, Assertions()) << "an assertion was raised";
	}

	CTestHandler& AddHandler()
	{
		fHandlers.push_back(std::make_unique<CTestHandler>(&fRoster));
		fHandlers.back()->Attach();
		return *fHandlers.back();
	}

	// A source file outside the project folder.
	std::string Source(const std::string& name, int frames = 3000)
	{
		const std::string path = fSources + "/" + name;
		MakeWav(path, frames);
		return path;
	}

	CProjectTrack* TrackNamed(CProject* project, const std::string& file)
	{
		project->Lock();
		CProjectTrack* found = nullptr;
		for (int32 i = 0; i < project->CountTracks(); i++) {
			if (project->TrackAt(i)->Filename() == file)
				found = project->TrackAt(i);
		}
		project->Unlock();
		return found;
	}

	// A file caught while it is still being written is measured again when
	// it changes: waits until the track has `frames`.
	void WaitForLength(CTestHandler& handler, CProjectTrack* track, int64 frames)
	{
		WaitForChanges(handler, track->Project(), [&] { return track->FileLengthUsed() == frames; });
		EXPECT_EQ(frames, track->FileLengthUsed());
	}
	// Takes 'PrTC' notices of `project` until `done` holds (or time is up).
	void WaitForChanges(CTestHandler& handler, CProject* project, const std::function<bool()>& done)
	{
		const bigtime_t deadline = system_time() + kWait;
		while (!done() && system_time() < deadline)
			handler.WaitFor(PROJECT_TRACK_CHANGED, project);
	}

	int Assertions()
	{
		int count = 0;
		for (const AlertRequest& alert : fAlerts.Shown())
			count += alert.title == "assertion failed";
		return count;
	}

	// Waits for a "debug alert" whose text starts with `start`.
	bool WaitForAlert(const std::string& start)
	{
		const bigtime_t deadline = system_time() + kWait;
		while (system_time() < deadline) {
			for (const AlertRequest& alert : fAlerts.Shown()) {
				if (alert.title == "debug alert" && alert.text.compare(0, start.size(), start) == 0)
					return true;
			}
			snooze(20000);
		}
		return false;
	}

	std::string fRoot;
	std::string fSources;
	std::string fOutside;
	CProjectRoster fRoster;
	std::vector<std::unique_ptr<CTestHandler>> fHandlers;
	CScriptedAlertHandler fAlerts {2};   // assertions: "Ignore"
	CAlertHandler* fPrevious = nullptr;
};

}   // namespace

TEST_F(RosterTest, InitLoadsEveryFolderAndAnnouncesItToEachHandler)
{
	fs::create_directories(fRoot + "/Alpha");
	fs::create_directories(fRoot + "/Beta");
	fs::create_directories(fOutside + "/Linked");
	fs::create_directory_symlink(fOutside + "/Linked", fRoot + "/Gamma");
	MakeWav(fRoot + "/loose.wav", 100);   // no folder: no project
	// Put in while the program was not running: found by the check.
	fs::copy_file(Source("Old Band - Old Song.wav"), fRoot + "/Beta/Old Band - Old Song.wav");
	WriteBytes(fRoot + "/Beta/notes.txt", "not audio");

	ASSERT_EQ(B_OK, fRoster.Init(fRoot.c_str()));
	EXPECT_EQ(3, fRoster.CountProjectMaps());
	CProject* beta = fRoster.FindProject("Beta");
	ASSERT_NE(nullptr, beta);
	ASSERT_EQ(1, beta->CountTracks());
	EXPECT_EQ("Old Song", beta->TrackAt(0)->Title());
	EXPECT_EQ("Old Band", beta->TrackAt(0)->Artist());
	EXPECT_TRUE(fAlerts.Shown().empty());   // the text file is passed over silently

	CTestHandler& first = AddHandler();
	CTestHandler& second = AddHandler();
	std::set<CProject*> announced;
	for (int i = 0; i < 3; i++) {
		CTestHandler::Event event;
		ASSERT_TRUE(first.WaitFor(PROJECT_ADDED, nullptr, &event));
		announced.insert(event.project);
		ASSERT_TRUE(second.WaitFor(PROJECT_ADDED));
	}
	EXPECT_EQ(3u, announced.size());
	EXPECT_EQ(2, fRoster.ReferenceCount(beta));

	// Menus walk the live projects.
	std::set<std::string> names;
	int32 index = 0;
	while (CProject* project = fRoster.GetNextProjectAt(&index))
		names.insert(project->Name());
	EXPECT_EQ((std::set<std::string> {"Alpha", "Beta", "Gamma"}), names);

	BDirectory folder;
	ASSERT_EQ(B_OK, fRoster.GetProjectFolder(&folder, beta));
	EXPECT_TRUE(folder.Contains("Old Band - Old Song.wav"));
	ASSERT_EQ(B_OK, fRoster.GetProjectBaseFolder(&folder));
	EXPECT_TRUE(folder.Contains("Beta"));

	// A project reached through a link watches the folder it names.
	CProject* gamma = fRoster.FindProject("Gamma");
	ASSERT_NE(nullptr, gamma);
	fs::copy_file(Source("x.wav"), fOutside + "/Linked/x.wav");
	EXPECT_TRUE(first.WaitFor(PROJECT_TRACK_ADDED, gamma));
}

TEST_F(RosterTest, FilesPutIntoAProjectFolderBecomeTracks)
{
	fs::create_directories(fRoot + "/Disc");
	ASSERT_EQ(B_OK, fRoster.Init(fRoot.c_str()));
	CProject* disc = fRoster.FindProject("Disc");
	ASSERT_NE(nullptr, disc);
	CTestHandler& handler = AddHandler();
	CTestHandler& other = AddHandler();

	// Copied.
	fs::copy_file(Source("07 - Some Artist - Some Title.wav", 4321), fRoot + "/Disc/07 - Some Artist - Some Title.wav");
	CTestHandler::Event added;
	ASSERT_TRUE(handler.WaitFor(PROJECT_TRACK_ADDED, disc, &added));
	ASSERT_TRUE(other.WaitFor(PROJECT_TRACK_ADDED, disc));
	ASSERT_NE(nullptr, added.track);
	EXPECT_EQ("07 - Some Artist - Some Title.wav", added.track->Filename());
	EXPECT_EQ("Some Title", added.track->Title());
	EXPECT_EQ("Some Artist", added.track->Artist());
	EXPECT_EQ(150 * 588, added.track->StartSilenceLength());
	EXPECT_EQ(0, added.track->EndSilenceLength());
	WaitForLength(handler, added.track, 4321);

	// Linked.
	fs::create_symlink(Source("Linked.wav"), fRoot + "/Disc/Linked.wav");
	ASSERT_TRUE(handler.WaitFor(PROJECT_TRACK_ADDED, disc, &added));
	EXPECT_EQ("Linked.wav", added.track->Filename());

	// Not audio: reported, not added. The program's scratch files are
	// never tracks, even with audio in them.
	WriteBytes(fRoot + "/Disc/readme.txt", "just text");
	MakeWav(fRoot + "/Disc/.tarnwick-project.saving", 100);
	EXPECT_TRUE(WaitForAlert("CProjectRoster::AddFileToProject failed!\n\nproject = \"Disc\"\nfile = \"" + fRoot
		+ "/Disc/readme.txt\"\n\nError:\n"));
	fs::copy_file(Source("marker.wav"), fRoot + "/Disc/marker.wav");
	ASSERT_TRUE(handler.WaitFor(PROJECT_TRACK_ADDED, disc, &added));
	EXPECT_EQ("marker.wav", added.track->Filename());
	EXPECT_EQ(3, disc->CountTracks());
	EXPECT_EQ(3, handler.Count(PROJECT_TRACK_ADDED));
	EXPECT_EQ(1u, fAlerts.CountShown());
}

TEST_F(RosterTest, AFileStillBeingWrittenIsPickedUpOnceComplete)
{
	fs::create_directories(fRoot + "/Disc");
	ASSERT_EQ(B_OK, fRoster.Init(fRoot.c_str()));
	CProject* disc = fRoster.FindProject("Disc");
	CTestHandler& handler = AddHandler();

	const std::string wav = ReadBytes(Source("slow.wav", 2000));
	const std::string target = fRoot + "/Disc/slow.wav";
	{
		std::ofstream out(target, std::ios::binary);
		out.flush();
		// Longer than the roster's five attempts.
		snooze(3500000);
		out.write(wav.data(), std::streamsize(wav.size()));
	}
	CTestHandler::Event added;
	ASSERT_TRUE(handler.WaitFor(PROJECT_TRACK_ADDED, disc, &added));
	EXPECT_EQ("slow.wav", added.track->Filename());
	WaitForLength(handler, added.track, 2000);
	EXPECT_EQ(0u, fAlerts.CountShown());

	// Growing afterwards: the length follows.
	MakeWav(fSources + "/longer.wav", 5000);
	fs::copy_file(fSources + "/longer.wav", target, fs::copy_options::overwrite_existing);
	WaitForLength(handler, added.track, 5000);
}

TEST_F(RosterTest, TrackFilesRenamedRetitledAndDeletedElsewhereAreFollowed)
{
	fs::create_directories(fRoot + "/Disc");
	fs::copy_file(Source("one.wav"), fRoot + "/Disc/one.wav");
	fs::copy_file(Source("two.wav"), fRoot + "/Disc/two.wav");
	ASSERT_EQ(B_OK, fRoster.Init(fRoot.c_str()));
	CProject* disc = fRoster.FindProject("Disc");
	ASSERT_NE(nullptr, disc);
	ASSERT_EQ(2, disc->CountTracks());
	CProjectTrack* one = TrackNamed(disc, "one.wav");
	ASSERT_NE(nullptr, one);
	CTestHandler& handler = AddHandler();

	fs::rename(fRoot + "/Disc/one.wav", fRoot + "/Disc/uno.wav");
	CTestHandler::Event changed;
	ASSERT_TRUE(handler.WaitFor(PROJECT_TRACK_CHANGED, disc, &changed));
	EXPECT_EQ(one, changed.track);
	EXPECT_EQ("uno.wav", one->Filename());
	EXPECT_NE(std::string::npos, ReadBytes(fRoot + "/Disc/Tarnwick project").find("uno.wav"));

	const std::string title = "Written by another tool";
	ASSERT_EQ(0, setxattr((fRoot + "/Disc/uno.wav").c_str(), "user.Audio:Title", title.c_str(), title.size() + 1, 0));
	ASSERT_TRUE(handler.WaitFor(PROJECT_TRACK_CHANGED, disc, &changed));
	EXPECT_EQ(one, changed.track);
	EXPECT_EQ(title, one->Title());

	fs::remove(fRoot + "/Disc/uno.wav");
	CTestHandler::Event removed;
	ASSERT_TRUE(handler.WaitFor(PROJECT_TRACK_REMOVED, disc, &removed));
	EXPECT_EQ(one, removed.track);
	EXPECT_EQ(1, disc->CountTracks());
	EXPECT_EQ(1, fRoster.CountFileMaps());
	EXPECT_EQ(std::string::npos, ReadBytes(fRoot + "/Disc/Tarnwick project").find("uno.wav"));
}

TEST_F(RosterTest, ProjectFoldersCreatedRenamedAndMovedAreFollowed)
{
	ASSERT_EQ(B_OK, fRoster.Init(fRoot.c_str()));
	CTestHandler& handler = AddHandler();

	fs::create_directory(fRoot + "/New");
	CTestHandler::Event added;
	ASSERT_TRUE(handler.WaitFor(PROJECT_ADDED, nullptr, &added));
	CProject* project = added.project;
	EXPECT_EQ("New", project->Name());
	EXPECT_EQ(1, fRoster.ReferenceCount(project));

	fs::rename(fRoot + "/New", fRoot + "/Newer");
	ASSERT_TRUE(handler.WaitFor(PROJECT_RENAMED, project));
	EXPECT_EQ("Newer", project->Name());
	EXPECT_EQ(fRoot + "/Newer", project->ProjectFolder());
	fs::copy_file(Source("in newer.wav"), fRoot + "/Newer/in newer.wav");
	CTestHandler::Event track;
	ASSERT_TRUE(handler.WaitFor(PROJECT_TRACK_ADDED, project, &track));
	EXPECT_EQ(fRoot + "/Newer/in newer.wav", track.track->File());

	// The user's own rename goes the same way.
	ASSERT_EQ(B_OK, project->SetName("Newest"));
	ASSERT_TRUE(handler.WaitFor(PROJECT_RENAMED, project));
	EXPECT_EQ("Newest", project->Name());

	// Moved out of the root folder: removed, and freed once given back.
	fs::rename(fRoot + "/Newest", fOutside + "/Newest");
	ASSERT_TRUE(handler.WaitFor(PROJECT_REMOVED, project));
	EXPECT_EQ(0, fRoster.CountProjectMaps());
	EXPECT_EQ(0, fRoster.CountFileMaps());

	// Moved back in: a project again, with its track.
	fs::rename(fOutside + "/Newest", fRoot + "/Newest");
	ASSERT_TRUE(handler.WaitFor(PROJECT_ADDED, nullptr, &added));
	EXPECT_EQ("Newest", added.project->Name());
	EXPECT_EQ(1, added.project->CountTracks());
}

TEST_F(RosterTest, ARemovedProjectStaysUsableUntilItIsGivenBack)
{
	fs::create_directories(fRoot + "/Burning");
	fs::copy_file(Source("song.wav"), fRoot + "/Burning/song.wav");
	ASSERT_EQ(B_OK, fRoster.Init(fRoot.c_str()));
	CProject* project = fRoster.FindProject("Burning");
	ASSERT_NE(nullptr, project);
	CTestHandler& handler = AddHandler();
	ASSERT_TRUE(handler.WaitFor(PROJECT_ADDED, project));
	fRoster.RegisterProject(project);   // a recording holds it
	EXPECT_EQ(2, fRoster.ReferenceCount(project));

	fs::rename(fRoot + "/Burning", fOutside + "/Burning");
	ASSERT_TRUE(handler.WaitFor(PROJECT_REMOVED, project));   // the handler gives its reference back
	EXPECT_FALSE(fRoster.IsProjectValid(project));
	EXPECT_EQ(1, fRoster.ReferenceCount(project));
	EXPECT_EQ(1, fRoster.CountProjectMaps());
	int32 index = 0;
	EXPECT_EQ(nullptr, fRoster.GetNextProjectAt(&index));
	// Still whole for the recording.
	project->Lock();
	EXPECT_EQ("Burning", project->Name());
	ASSERT_EQ(1, project->CountTracks());
	EXPECT_EQ("song.wav", project->TrackAt(0)->Filename());
	EXPECT_GT(project->DiscLength(), 0);
	project->Unlock();

	fRoster.UnregisterProject(project);
	EXPECT_EQ(0, fRoster.CountProjectMaps());
	EXPECT_EQ(-1, fRoster.ReferenceCount(project));
}

TEST_F(RosterTest, RestartBringsBackProjectsTrackOrderPausesTitlesAndArtists)
{
	for (const char* name : {"First", "Second"}) {
		fs::create_directories(fRoot + "/" + name);
		for (const char* file : {"a.wav", "b.wav", "c.wav"})
			fs::copy_file(Source(file), fRoot + "/" + name + "/" + file);
	}
	ASSERT_EQ(B_OK, fRoster.Init(fRoot.c_str()));
	CTestHandler& handler = AddHandler();
	CProject* first = fRoster.FindProject("First");
	ASSERT_NE(nullptr, first);
	ASSERT_EQ(3, first->CountTracks());

	// Changes the way the project view makes them: under the locks, then
	// saved.
	fRoster.Lock();
	first->Lock();
	first->SetTitle("Disc title");
	first->SetArtist("Disc artist");
	first->SetDiscMaxLength(80 * 60 * 75 * 588);
	first->MoveTrack(2, 0);
	first->TrackAt(1)->SetStartSilenceLength(300 * 588);
	first->TrackAt(2)->SetEndSilenceLength(75 * 588);
	CProjectTrack* renamed = first->TrackAt(0);
	first->Unlock();
	fRoster.Unlock();
	ASSERT_EQ(B_OK, first->Save());
	renamed->SetArtistAndTitle("The Artist", "The Title");   // renames the file
	first->Save();
	ASSERT_TRUE(handler.WaitFor(PROJECT_TRACK_CHANGED, first));
	EXPECT_EQ("The Artist - The Title.wav", renamed->Filename());

	const std::vector<ProjectSnapshot> before = Snapshot(fRoster);
	ASSERT_EQ(2u, before.size());
	handler.Release();
	fRoster.Exit();

	CProjectRoster again;
	ASSERT_EQ(B_OK, again.Init(fRoot.c_str()));
	EXPECT_EQ(before, Snapshot(again));
	again.Exit();
}

TEST_F(RosterTest, ADamagedDataFileDropsOnlyThatProject)
{
	fs::create_directories(fRoot + "/Good");
	fs::create_directories(fRoot + "/Damaged");
	fs::copy_file(Source("good.wav"), fRoot + "/Good/good.wav");
	fs::copy_file(Source("kept.wav"), fRoot + "/Damaged/kept.wav");
	const std::string garbage = "\x01\x02 not a project data file";
	WriteBytes(fRoot + "/Damaged/Tarnwick project", garbage);
	// A save that never finished left its scratch file: not a track.
	MakeWav(fRoot + "/Good/.tarnwick-project.saving", 100);

	ASSERT_EQ(B_OK, fRoster.Init(fRoot.c_str()));
	EXPECT_EQ(1, fRoster.CountProjectMaps());
	CProject* good = fRoster.FindProject("Good");
	ASSERT_NE(nullptr, good);
	EXPECT_EQ(1, good->CountTracks());
	EXPECT_EQ(nullptr, fRoster.FindProject("Damaged"));
	fRoster.Exit();

	EXPECT_EQ(garbage, ReadBytes(fRoot + "/Damaged/Tarnwick project"));
	EXPECT_EQ(2u, std::distance(fs::directory_iterator(fRoot + "/Damaged"), fs::directory_iterator()));
	EXPECT_FALSE(fs::exists(fRoot + "/Good/.tarnwick-project.saving"));
}

TEST_F(RosterTest, ARenamedRootFolderTakesItsProjectsAlong)
{
	fs::create_directories(fRoot + "/Disc");
	fs::copy_file(Source("t.wav"), fRoot + "/Disc/t.wav");
	ASSERT_EQ(B_OK, fRoster.Init(fRoot.c_str()));
	CProject* disc = fRoster.FindProject("Disc");
	CTestHandler& handler = AddHandler();

	const std::string moved = fs::path(fRoot).parent_path().string() + "/Moved Projects";
	fs::rename(fRoot, moved);
	ASSERT_TRUE(handler.WaitFor(PROJECT_CHANGED, disc));
	EXPECT_EQ(moved + "/Disc", disc->ProjectFolder());
	EXPECT_EQ(moved + "/Disc/t.wav", disc->TrackAt(0)->File());
	BDirectory base;
	ASSERT_EQ(B_OK, fRoster.GetProjectBaseFolder(&base));
	EXPECT_TRUE(base.Contains("Disc"));
	fs::copy_file(Source("u.wav"), moved + "/Disc/u.wav");
	EXPECT_TRUE(handler.WaitFor(PROJECT_TRACK_ADDED, disc));
}

// Files put in place of a track's file: moved over it from elsewhere, the
// track takes the new file; another track's file renamed over it, that
// track takes its place and the replaced one goes.
TEST_F(RosterTest, FilesReplacingATrackFileAreFollowed)
{
	fs::create_directories(fRoot + "/Disc");
	fs::copy_file(Source("one.wav", 1000), fRoot + "/Disc/one.wav");
	fs::copy_file(Source("two.wav", 2000), fRoot + "/Disc/two.wav");
	ASSERT_EQ(B_OK, fRoster.Init(fRoot.c_str()));
	CProject* disc = fRoster.FindProject("Disc");
	ASSERT_NE(nullptr, disc);
	CProjectTrack* one = TrackNamed(disc, "one.wav");
	CProjectTrack* two = TrackNamed(disc, "two.wav");
	ASSERT_TRUE(one != nullptr && two != nullptr);
	CTestHandler& handler = AddHandler();

	fs::rename(Source("better take.wav", 3000), fRoot + "/Disc/one.wav");
	CTestHandler::Event event;
	ASSERT_TRUE(handler.WaitFor(PROJECT_TRACK_CHANGED, disc, &event));
	EXPECT_EQ(one, event.track);
	EXPECT_EQ(3000, one->FileLengthUsed());
	EXPECT_EQ(2, disc->CountTracks());

	fs::rename(fRoot + "/Disc/two.wav", fRoot + "/Disc/one.wav");
	ASSERT_TRUE(handler.WaitFor(PROJECT_TRACK_REMOVED, disc, &event));
	EXPECT_EQ(one, event.track);
	ASSERT_TRUE(handler.WaitFor(PROJECT_TRACK_CHANGED, disc, &event));
	EXPECT_EQ(two, event.track);
	EXPECT_EQ("one.wav", two->Filename());
	EXPECT_EQ(1, disc->CountTracks());
	EXPECT_EQ(1, fRoster.CountFileMaps());
	fs::remove(fRoot + "/Disc/one.wav");
	ASSERT_TRUE(handler.WaitFor(PROJECT_TRACK_REMOVED, disc, &event));
	EXPECT_EQ(two, event.track);
}

// Renaming a linked track with "rename source files" on renames the source
// and puts a new link in the old one's place: the track stays.
TEST_F(RosterTest, ALinkedTrackKeepsItsTrackWhenItsSourceIsRenamed)
{
	ASSERT_EQ(B_OK, PreferenceHandler.Init((fOutside + "/settings").c_str()));
	CPreference settings("global project settings");
	settings.AddBool("rename source files", true);
	ASSERT_TRUE(settings.Save());
	fs::create_directories(fRoot + "/Disc");
	fs::create_symlink(Source("take 1.wav"), fRoot + "/Disc/take 1.wav");
	ASSERT_EQ(B_OK, fRoster.Init(fRoot.c_str()));
	CProject* disc = fRoster.FindProject("Disc");
	ASSERT_NE(nullptr, disc);
	ASSERT_EQ(1, disc->CountTracks());
	CProjectTrack* track = disc->TrackAt(0);
	CTestHandler& handler = AddHandler();

	track->SetArtistAndTitle("Band", "Final");
	WaitForChanges(handler, disc, [&] { return track->Filename() == "Band - Final.wav"; });
	EXPECT_EQ("Band - Final.wav", track->Filename());
	EXPECT_EQ(1, disc->CountTracks());
	EXPECT_TRUE(fs::exists(fSources + "/Band - Final.wav"));
	// The new link is the track's file from now on: removing it removes the
	// track.
	fs::remove(fRoot + "/Disc/Band - Final.wav");
	CTestHandler::Event removed;
	ASSERT_TRUE(handler.WaitFor(PROJECT_TRACK_REMOVED, disc, &removed));
	EXPECT_EQ(track, removed.track);
	EXPECT_EQ(1, handler.Count(PROJECT_TRACK_REMOVED));
	settings.ReplaceBool("rename source files", false);
	settings.Save();
}

TEST_F(RosterTest, TheViewsOwnRemovalsAndNoticesReachEveryHandler)
{
	fs::create_directories(fRoot + "/Disc");
	fs::copy_file(Source("a.wav"), fRoot + "/Disc/a.wav");
	fs::copy_file(Source("b.wav"), fRoot + "/Disc/b.wav");
	ASSERT_EQ(B_OK, fRoster.Init(fRoot.c_str()));
	CProject* disc = fRoster.FindProject("Disc");
	ASSERT_NE(nullptr, disc);
	CTestHandler& handler = AddHandler();
	CProjectTrack* a = TrackNamed(disc, "a.wav");
	CProjectTrack* b = TrackNamed(disc, "b.wav");

	// A track still watched is taken out all the same, with a warning.
	EXPECT_TRUE(fRoster.RemoveTrack(disc, a));
	CTestHandler::Event event;
	ASSERT_TRUE(handler.WaitFor(PROJECT_TRACK_REMOVED, disc, &event));
	EXPECT_EQ(a, event.track);
	EXPECT_TRUE(WaitForAlert("CProjectRoster::RemoveTrack()\n\nWarning, track found!"));
	EXPECT_EQ(1, disc->CountTracks());
	EXPECT_EQ(1, fRoster.CountFileMaps());

	fRoster.SendProjectTracksMovedNotify(disc);
	fRoster.SendProjectChangedNotify(disc);
	fRoster.SendTrackChangedNotify(disc, b);
	EXPECT_TRUE(handler.WaitFor(PROJECT_TRACKS_MOVED, disc));
	EXPECT_TRUE(handler.WaitFor(PROJECT_CHANGED, disc));
	ASSERT_TRUE(handler.WaitFor(PROJECT_TRACK_CHANGED, disc, &event));
	EXPECT_EQ(b, event.track);
}

// The user interface walks and changes projects (roster, project, track
// locks in that order) while another program changes the folder.
TEST_F(RosterTest, ModelChangesAndFileChangesRunSideBySide)
{
	fs::create_directories(fRoot + "/Busy");
	ASSERT_EQ(B_OK, fRoster.Init(fRoot.c_str()));
	CTestHandler& handler = AddHandler();
	std::atomic<bool> stop {false};
	std::thread viewer([&] {
		while (!stop.load()) {
			fRoster.Lock();
			int32 index = 0;
			while (CProject* project = fRoster.GetNextProjectAt(&index)) {
				project->Lock();
				for (int32 i = 0; i < project->CountTracks(); i++) {
					CProjectTrack* track = project->TrackAt(i);
					track->SetStartSilenceLength(track->StartSilenceLength());
					(void)track->Title();
				}
				(void)project->DiscLength();
				project->Unlock();
			}
			fRoster.Unlock();
			snooze(1000);
		}
	});
	struct Joiner {
		std::atomic<bool>& stop;
		std::thread& thread;
		~Joiner()
		{
			stop = true;
			thread.join();
		}
	} joiner {stop, viewer};

	CProject* busy = fRoster.FindProject("Busy");
	for (int i = 0; i < 6; i++) {
		const std::string name = "f" + std::to_string(i) + ".wav";
		fs::copy_file(Source(name, 1000 + i), fRoot + "/Busy/" + name);
	}
	for (int i = 0; i < 6; i++)
		ASSERT_TRUE(handler.WaitFor(PROJECT_TRACK_ADDED, busy));
	for (int i = 0; i < 6; i += 2)
		fs::rename(fRoot + "/Busy/f" + std::to_string(i) + ".wav", fRoot + "/Busy/g" + std::to_string(i) + ".wav");
	for (int i = 1; i < 6; i += 2)
		fs::remove(fRoot + "/Busy/f" + std::to_string(i) + ".wav");
	for (int i = 0; i < 3; i++)
		ASSERT_TRUE(handler.WaitFor(PROJECT_TRACK_REMOVED, busy));
	EXPECT_EQ(3, busy->CountTracks());
}

// #pragma mark - moving the root folder

namespace {

class CRecordingNotice : public CMoveFolderNotice {
public:
	void Show(const AlertRequest& request) override
	{
		shown = request;
		shownAt = system_time();
		open = true;
	}
	void Close() override
	{
		closedAt = system_time();
		open = false;
	}
	AlertRequest shown;
	bigtime_t shownAt = 0;
	bigtime_t closedAt = 0;
	bool open = false;
};

}   // namespace

TEST_F(RosterTest, MoveFolderContentMovesEverythingUnderANotice)
{
	fs::create_directories(fRoot + "/Disc");
	MakeWav(fRoot + "/Disc/t.wav", 100);
	ASSERT_EQ(0, setxattr((fRoot + "/Disc/t.wav").c_str(), "user.Audio:Title", "T", 2, 0));
	const std::string target = fOutside + "/new root";
	fs::create_directories(target);

	CRecordingNotice notice;
	CMoveFolderNotice* previous = SetMoveFolderNotice(&notice);
	status_t status = MoveFolderContent(fRoot.c_str(), target.c_str());
	SetMoveFolderNotice(previous);

	EXPECT_EQ(B_OK, status);
	EXPECT_EQ("moving folder", notice.shown.title);
	EXPECT_EQ("Tarnwick\n\nPlease wait while the project folder is moved to another volume.\n\nThis may take a few "
			  "minutes!\n\nThis box will go away when finished.",
		notice.shown.text);
	EXPECT_FALSE(notice.open);
	EXPECT_GE(notice.closedAt - notice.shownAt, 3000000);
	EXPECT_TRUE(fs::is_empty(fRoot));
	std::string title;
	EXPECT_EQ(B_OK, ReadFileAttributeString((target + "/Disc/t.wav").c_str(), "Audio:Title", &title));
	EXPECT_EQ("T", title);

	// A folder that cannot be opened: its status, the notice closed again.
	notice = CRecordingNotice();
	previous = SetMoveFolderNotice(&notice);
	EXPECT_EQ(B_ENTRY_NOT_FOUND, MoveFolderContent((fOutside + "/missing").c_str(), target.c_str(), 0));
	SetMoveFolderNotice(previous);
	EXPECT_FALSE(notice.open);
	EXPECT_NE(0, notice.closedAt);
}
