// The directory and path monitors on a real folder tree with real inotify
// events. Waits are bounded; the absence of a callback is shown with a
// marker event that must arrive after it.
#include "projects/DirectoryMonitor.h"
#include "projects/PathMonitor.h"

#include "kit/app/Looper.h"
#include "kit/interface/Alert.h"
#include "kit/kernel/OS.h"
#include "kit/storage/Directory.h"
#include "kit/storage/Entry.h"
#include "kit/storage/Node.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr bigtime_t kWait = 10000000;   // a generous bound, not a delay

struct Call {
	std::string kind;
	int32 device = 0;
	int64 directory = -1;
	int64 node = -1;
	std::string text;   // name or path

	std::string Describe() const
	{
		std::ostringstream out;
		out << kind << " dir " << directory << " node " << node << " '" << text << "'";
		return out.str();
	}
};

// Records the calls of both client kinds; any thread may wait for them.
class CRecorder {
public:
	void Add(Call call)
	{
		std::lock_guard<std::mutex> lock(fLock);
		fCalls.push_back(std::move(call));
		fChanged.notify_all();
	}
	// Waits for a call matching `match`; returns every call up to and
	// including it, and forgets them.
	std::vector<Call> Until(const std::function<bool(const Call&)>& match)
	{
		std::unique_lock<std::mutex> lock(fLock);
		size_t index = 0;
		bool found = fChanged.wait_for(lock, std::chrono::microseconds(kWait), [&] {
			for (index = 0; index < fCalls.size(); index++) {
				if (match(fCalls[index]))
					return true;
			}
			return false;
		});
		if (!found) {
			ADD_FAILURE() << "the expected call did not come; calls so far:\n" << _Dump();
			return {};
		}
		std::vector<Call> result(fCalls.begin(), fCalls.begin() + index + 1);
		fCalls.erase(fCalls.begin(), fCalls.begin() + index + 1);
		return result;
	}
	std::vector<Call> Take()
	{
		std::lock_guard<std::mutex> lock(fLock);
		std::vector<Call> result;
		result.swap(fCalls);
		return result;
	}

private:
	std::string _Dump() const
	{
		std::string text;
		for (const Call& call : fCalls)
			text += "  " + call.Describe() + "\n";
		return text;
	}

	std::mutex fLock;
	std::condition_variable fChanged;
	std::vector<Call> fCalls;
};

class CDirClient : public CProjectDirectoryMonitorClient {
public:
	explicit CDirClient(CRecorder* recorder) : fRecorder(recorder) {}
	void NotifyDirectoryEntryCreated(int32 device, int64 directory, int64 node, const char* name) override
	{
		if (beforeCreated)
			beforeCreated(name);
		fRecorder->Add(Call{"created", device, directory, node, name});
	}
	void NotifyDirectoryEntryRemoved(int32 device, int64 directory, int64 node) override
	{
		fRecorder->Add(Call{"removed", device, directory, node, ""});
	}
	void NotifyDirectoryEntryRenamed(int32 device, int64 directory, int64 node, const char* name) override
	{
		fRecorder->Add(Call{"renamed", device, directory, node, name});
	}
	void NotifyDirectoryEntryStatChanged(int32 device, int64 directory, int64 node) override
	{
		fRecorder->Add(Call{"stat", device, directory, node, ""});
	}
	void NotifyDirectoryEntryAttrChanged(int32 device, int64 directory, int64 node) override
	{
		fRecorder->Add(Call{"attr", device, directory, node, ""});
	}

	std::function<void(const char* name)> beforeCreated;

private:
	CRecorder* fRecorder;
};

class CPathClient : public CProjectFilePathMonitorClient {
public:
	explicit CPathClient(CRecorder* recorder) : fRecorder(recorder) {}
	void NotifyFileRemoved(int32 device, int64 node) override { fRecorder->Add(Call{"removed", device, -1, node, ""}); }
	void NotifyFileStatChanged(int32 device, int64 node) override
	{
		fRecorder->Add(Call{"stat", device, -1, node, ""});
	}
	void NotifyFileAttrChanged(int32 device, int64 node) override
	{
		fRecorder->Add(Call{"attr", device, -1, node, ""});
	}
	void NotifyFilePathChanged(int32 device, int64 node, const char* path) override
	{
		fRecorder->Add(Call{"path", device, -1, node, path});
	}

private:
	CRecorder* fRecorder;
};

struct Node {
	int32 device;
	int64 node;
};

Node NodeOf(const std::string& path)
{
	struct stat st;
	EXPECT_EQ(0, lstat(path.c_str(), &st)) << path;
	return Node{int32(st.st_dev), int64(st.st_ino)};
}

void Touch(const std::string& path, const char* data = "x")
{
	std::ofstream out(path, std::ios::binary | std::ios::app);
	out << data;
}

class MonitorTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		std::string pattern = std::string(getenv("HOME")) + "/monitor-XXXXXX";
		ASSERT_NE(nullptr, mkdtemp(pattern.data()));
		fRoot = pattern;
	}
	void TearDown() override
	{
		std::error_code ignored;
		fs::remove_all(fRoot, ignored);
	}

	std::string Folder(const std::string& relative)
	{
		std::string path = fRoot + "/" + relative;
		fs::create_directories(path);
		return path;
	}

	status_t Watch(CDirectoryMonitor& monitor, CDirectoryMonitorClient* client, const std::string& folder)
	{
		BEntry entry(folder.c_str());
		return monitor.StartWatch(client, &entry);
	}

	// Creates the folder `name` in `folder` (nothing follows its creation)
	// and waits for its creation: every call before it is returned.
	std::vector<Call> Marker(CRecorder& recorder, const std::string& folder, const std::string& name = "marker")
	{
		fs::create_directory(folder + "/" + name);
		return recorder.Until([&](const Call& call) { return call.kind == "created" && call.text == name; });
	}

	std::string fRoot;
};

int Count(const std::vector<Call>& calls, const std::string& kind, int64 node)
{
	int count = 0;
	for (const Call& call : calls) {
		if (call.kind == kind && call.node == node)
			count++;
	}
	return count;
}

}   // namespace

TEST_F(MonitorTest, RenamesMovesAndOutsideMovesInWatchedFolders)
{
	std::string a = Folder("a");
	std::string b = Folder("b");
	std::string outside = Folder("outside");
	Touch(a + "/song.wav");
	Node song = NodeOf(a + "/song.wav");
	Node folderA = NodeOf(a);
	Node folderB = NodeOf(b);

	CRecorder recorder;
	CDirClient client(&recorder);
	CDirectoryMonitor monitor;
	ASSERT_EQ(B_OK, monitor.InitCheck());
	ASSERT_EQ(B_OK, Watch(monitor, &client, a));
	ASSERT_EQ(B_OK, Watch(monitor, &client, b));
	EXPECT_EQ(2, monitor.CountWatchedFolders());
	EXPECT_EQ(1, monitor.CountWatchedEntries());

	// A rename in place: one rename, no removal or creation.
	fs::rename(a + "/song.wav", a + "/Artist - Song.wav");
	std::vector<Call> calls = Marker(recorder, a);
	ASSERT_EQ(2u, calls.size());
	EXPECT_EQ("renamed", calls[0].kind);
	EXPECT_EQ(folderA.node, calls[0].directory);
	EXPECT_EQ(song.node, calls[0].node);
	EXPECT_EQ(song.device, calls[0].device);
	EXPECT_EQ("Artist - Song.wav", calls[0].text);

	// Between two watched folders, twice (the halves alternate): one
	// removal from the source and one creation in the target each time.
	for (int round = 0; round < 2; round++) {
		std::string from = round == 0 ? a : b;
		std::string to = round == 0 ? b : a;
		fs::rename(from + "/Artist - Song.wav", to + "/Artist - Song.wav");
		calls = Marker(recorder, to, "marker" + std::to_string(round));
		ASSERT_EQ(3u, calls.size()) << round;
		EXPECT_EQ(1, Count(calls, "removed", song.node));
		EXPECT_EQ(1, Count(calls, "created", song.node));
		for (const Call& call : calls) {
			if (call.node != song.node)
				continue;
			if (call.kind == "removed")
				EXPECT_EQ((round == 0 ? folderA : folderB).node, call.directory);
			else
				EXPECT_EQ((round == 0 ? folderB : folderA).node, call.directory);
		}
	}

	// Out to an unwatched folder and back in.
	fs::rename(a + "/Artist - Song.wav", outside + "/x.wav");
	calls = recorder.Until([&](const Call& call) { return call.kind == "removed"; });
	ASSERT_EQ(1u, calls.size());
	EXPECT_EQ(song.node, calls[0].node);
	EXPECT_EQ(folderA.node, calls[0].directory);
	fs::rename(outside + "/x.wav", b + "/back.wav");
	calls = recorder.Until([&](const Call& call) { return call.kind == "created"; });
	ASSERT_EQ(1u, calls.size());
	EXPECT_EQ(folderB.node, calls[0].directory);
	EXPECT_EQ(song.node, calls[0].node);
	EXPECT_EQ("back.wav", calls[0].text);

	// Its stat and attribute changes are reported in its new folder.
	Touch(b + "/back.wav", "more data");
	calls = recorder.Until([&](const Call& call) { return call.kind == "stat"; });
	EXPECT_EQ(folderB.node, calls.back().directory);
	EXPECT_EQ(song.node, calls.back().node);
	BNode node((b + "/back.wav").c_str());
	ASSERT_EQ(B_OK, node.WriteAttrString("Audio:Title", "Song"));
	calls = recorder.Until([&](const Call& call) { return call.kind == "attr"; });
	EXPECT_EQ(song.node, calls.back().node);

	fs::remove(b + "/back.wav");
	calls = recorder.Until([&](const Call& call) { return call.kind == "removed"; });
	EXPECT_EQ(song.node, calls.back().node);
	EXPECT_EQ(folderB.node, calls.back().directory);
}

TEST_F(MonitorTest, SeveralClientsShareAFolderUntilTheLastStops)
{
	std::string folder = Folder("shared");
	Touch(folder + "/one.wav");
	Node folderNode = NodeOf(folder);
	BDirectory opened(folder.c_str());   // as the roster has it open
	CRecorder first;
	CRecorder second;
	CDirClient firstClient(&first);
	CDirClient secondClient(&second);
	CDirectoryMonitor monitor;
	ASSERT_EQ(B_OK, monitor.StartWatch(&firstClient, folderNode.device, folderNode.node));
	ASSERT_EQ(B_OK, monitor.StartWatch(&secondClient, folderNode.device, folderNode.node));
	EXPECT_EQ(1, monitor.CountWatchedFolders());
	EXPECT_EQ(1, monitor.CountWatchedEntries());

	Touch(folder + "/two.wav");
	for (CRecorder* recorder : {&first, &second}) {
		std::vector<Call> calls = recorder->Until([](const Call& call) { return call.kind == "created"; });
		ASSERT_EQ(1u, calls.size());
		EXPECT_EQ("two.wav", calls[0].text);
		EXPECT_EQ(folderNode.node, calls[0].directory);
	}
	// The entry that was there at the start is watched for both.
	Touch(folder + "/one.wav", "y");
	for (CRecorder* recorder : {&first, &second})
		recorder->Until([](const Call& call) { return call.kind == "stat"; });

	ASSERT_EQ(B_OK, monitor.StopWatch(&firstClient, folderNode.device, folderNode.node));
	Touch(folder + "/three.wav");
	second.Until([](const Call& call) { return call.kind == "created" && call.text == "three.wav"; });
	ASSERT_EQ(B_OK, monitor.StopWatch(&secondClient, folderNode.device, folderNode.node));
	EXPECT_EQ(0, monitor.CountWatchedFolders());
	EXPECT_EQ(0, monitor.CountWatchedEntries());

	// Stopping what is not watched is an assertion and -1.
	CScriptedAlertHandler alerts(2);   // "Ignore"
	CAlertHandler* previous = SetAlertHandler(&alerts);
	EXPECT_EQ(B_ERROR, monitor.StopWatch(&secondClient, folderNode.device, folderNode.node));
	SetAlertHandler(previous);
	EXPECT_EQ(1u, alerts.CountShown());

	// Nothing reaches the first client after its stop.
	Touch(folder + "/four.wav");
	CDirectoryMonitor other;
	ASSERT_EQ(B_OK, other.StartWatch(&firstClient, folderNode.device, folderNode.node));
	Touch(folder + "/marker");
	std::vector<Call> calls = first.Until([](const Call& call) { return call.text == "marker"; });
	for (const Call& call : calls)
		EXPECT_NE("three.wav", call.text) << call.Describe();
	EXPECT_EQ(B_OK, other.StopWatch(&firstClient, folderNode.device, folderNode.node));
}

TEST_F(MonitorTest, ClientsMayCallTheMonitorWhileOtherThreadsDo)
{
	// A client whose callback waits for a lock that another thread holds
	// while it starts a watch (the roster's lock) must not deadlock.
	std::string root = Folder("root");
	std::string project = Folder("project");
	CRecorder recorder;
	CDirClient client(&recorder);
	CDirectoryMonitor monitor;
	std::mutex rosterLock;
	std::atomic<bool> entered {false};
	client.beforeCreated = [&](const char* name) {
		entered = true;
		std::lock_guard<std::mutex> lock(rosterLock);
		// From inside the callback, like a roster adding a project.
		std::string path = root + "/" + name;
		if (fs::is_directory(path)) {
			BEntry entry(path.c_str());
			EXPECT_EQ(B_OK, monitor.StartWatch(&client, &entry));
		}
	};
	ASSERT_EQ(B_OK, Watch(monitor, &client, root));
	{
		std::lock_guard<std::mutex> lock(rosterLock);
		fs::create_directory(root + "/New Project");
		bigtime_t deadline = system_time() + kWait;
		while (!entered && system_time() < deadline)
			snooze(1000);
		ASSERT_TRUE(entered.load());
		EXPECT_EQ(B_OK, Watch(monitor, &client, project));
	}
	recorder.Until([](const Call& call) { return call.kind == "created" && call.text == "New Project"; });
	Touch(root + "/New Project/track.wav");
	std::vector<Call> calls
		= recorder.Until([](const Call& call) { return call.kind == "created" && call.text == "track.wav"; });
	EXPECT_EQ(NodeOf(root + "/New Project").node, calls.back().directory);
}

TEST_F(MonitorTest, MonitorsShareTheirLooperAndWorker)
{
	auto threadPriority = [](const char* name) {
		thread_id thread = find_thread(name);
		thread_info info;
		return thread >= 0 && get_thread_info(thread, &info) == B_OK ? info.priority : -1;
	};
	{
		CDirectoryMonitor first;
		CDirectoryMonitor second;
		CPathMonitor path;
		EXPECT_EQ(13, threadPriority("dir_monitor_watcher"));
		EXPECT_EQ(8, threadPriority("dir_monitor_worker"));
		EXPECT_EQ(13, threadPriority("path_monitor_watcher"));
		EXPECT_EQ(8, threadPriority("path_monitor_worker"));
		BLooper* looper = BLooper::LooperForThread(find_thread("dir_monitor_watcher"));
		ASSERT_NE(nullptr, looper);
		EXPECT_EQ(100, looper->PortCapacity());
		thread_id worker = find_thread("dir_monitor_worker");
		{
			CDirectoryMonitor third;
			EXPECT_EQ(worker, find_thread("dir_monitor_worker"));
		}
		EXPECT_EQ(worker, find_thread("dir_monitor_worker"));
	}
	EXPECT_EQ(B_NAME_NOT_FOUND, find_thread("dir_monitor_watcher"));
	EXPECT_EQ(B_NAME_NOT_FOUND, find_thread("dir_monitor_worker"));
	EXPECT_EQ(B_NAME_NOT_FOUND, find_thread("path_monitor_worker"));
	// A new first instance starts them again.
	CDirectoryMonitor again;
	EXPECT_EQ(B_OK, again.InitCheck());
	EXPECT_EQ(8, threadPriority("dir_monitor_worker"));
}

TEST_F(MonitorTest, PathChangesAboveAWatchedEntry)
{
	std::string folder = Folder("top/middle/lower");
	std::string file = folder + "/Tarnwick Projects";
	fs::create_directory(file);
	Node watched = NodeOf(file);
	CRecorder recorder;
	CPathClient client(&recorder);
	CPathMonitor monitor;
	ASSERT_EQ(B_OK, monitor.InitCheck());
	BEntry entry(file.c_str());
	ASSERT_EQ(B_OK, monitor.StartWatch(&client, &entry));
	int32 nodes = monitor.CountWatchedNodes();
	EXPECT_GE(nodes, 5);   // the entry, three folders of the test, and the folders above

	auto nextPath = [&] {
		std::vector<Call> calls = recorder.Until([](const Call& call) { return call.kind == "path"; });
		if (calls.empty())
			return Call();
		// Stat changes of the entry may come along; other paths may not.
		for (const Call& call : calls)
			EXPECT_TRUE(call.kind == "stat" || call.kind == "attr" || &call == &calls.back()) << call.Describe();
		EXPECT_EQ(watched.node, calls.back().node);
		EXPECT_EQ(watched.device, calls.back().device);
		return calls.back();
	};

	// Two levels above the entry.
	fs::rename(fRoot + "/top/middle", fRoot + "/top/centre");
	EXPECT_EQ(fRoot + "/top/centre/lower/Tarnwick Projects", nextPath().text);
	// The entry itself.
	fs::rename(fRoot + "/top/centre/lower/Tarnwick Projects", fRoot + "/top/centre/lower/Projects");
	EXPECT_EQ(fRoot + "/top/centre/lower/Projects", nextPath().text);
	// Into another folder: the folders above are watched anew.
	std::string elsewhere = Folder("elsewhere/deeper");
	fs::rename(fRoot + "/top/centre/lower", elsewhere + "/lower");
	EXPECT_EQ(elsewhere + "/lower/Projects", nextPath().text);
	fs::rename(fRoot + "/elsewhere", fRoot + "/moved");
	EXPECT_EQ(fRoot + "/moved/deeper/lower/Projects", nextPath().text);
	// The old folders above no longer concern it.
	fs::rename(fRoot + "/top/centre", fRoot + "/top/old");
	fs::rename(fRoot + "/moved/deeper/lower/Projects", fRoot + "/moved/deeper/lower/Final");
	EXPECT_EQ(fRoot + "/moved/deeper/lower/Final", nextPath().text);

	// Changes of the entry itself go to its client.
	std::string final = fRoot + "/moved/deeper/lower/Final";
	BNode node(final.c_str());
	ASSERT_EQ(B_OK, node.WriteAttrString("Note", "x"));
	recorder.Until([&](const Call& call) { return call.kind == "attr" && call.node == watched.node; });

	// After the stop nothing is watched and nothing is reported.
	ASSERT_EQ(B_OK, monitor.StopWatch(&client, watched.device, watched.node));
	EXPECT_EQ(0, monitor.CountWatchedNodes());
	EXPECT_EQ(B_ENTRY_NOT_FOUND, monitor.StopWatch(&client, watched.device, watched.node));
	fs::rename(final, fRoot + "/moved/deeper/lower/Gone");

	// A second watch by folder and name sees the next change, and only it.
	Node lower = NodeOf(fRoot + "/moved/deeper/lower");
	BDirectory lowerFolder((fRoot + "/moved/deeper/lower").c_str());
	ASSERT_EQ(B_OK, monitor.StartWatch(&client, lower.device, lower.node, "Gone"));
	fs::rename(fRoot + "/moved/deeper/lower/Gone", fRoot + "/moved/deeper/lower/Back");
	EXPECT_EQ(fRoot + "/moved/deeper/lower/Back", nextPath().text);
	fs::remove(fRoot + "/moved/deeper/lower/Back");
	std::vector<Call> calls = recorder.Until([](const Call& call) { return call.kind == "removed"; });
	EXPECT_EQ(watched.node, calls.back().node);
}
