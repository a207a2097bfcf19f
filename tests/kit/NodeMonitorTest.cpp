// The node monitor on a real folder tree with real inotify events. Waits are
// bounded; the absence of a message is shown with a marker event that must
// arrive after it.
#include "kit/app/MessageSink.h"
#include "kit/kernel/OS.h"
#include "kit/storage/Directory.h"
#include "kit/storage/Entry.h"
#include "kit/storage/Node.h"
#include "kit/storage/NodeMonitor.h"
#include "kit/support/Message.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr bigtime_t kWait = 10000000;   // 10 s: a generous bound, not a delay

struct Event {
	int32 opcode = 0;
	int32 device = 0;
	int64 directory = -1;
	int64 fromDirectory = -1;
	int64 toDirectory = -1;
	int64 node = -1;
	std::string name;
	std::string fromName;
	std::string attr;
	bool hasAttr = false;

	std::string Describe() const
	{
		std::ostringstream text;
		text << "opcode " << opcode << " node " << node << " name '" << name << "'";
		if (opcode == B_ENTRY_MOVED)
			text << " from " << fromDirectory << " to " << toDirectory << " from name '" << fromName << "'";
		if (hasAttr)
			text << " attr '" << attr << "'";
		return text.str();
	}
};

Event Decode(const BMessage& message)
{
	Event event;
	EXPECT_EQ(message.what, B_NODE_MONITOR);
	message.FindInt32("opcode", &event.opcode);
	message.FindInt32("device", &event.device);
	message.FindInt64("directory", &event.directory);
	message.FindInt64("from directory", &event.fromDirectory);
	message.FindInt64("to directory", &event.toDirectory);
	message.FindInt64("node", &event.node);
	message.FindString("name", &event.name);
	message.FindString("from name", &event.fromName);
	event.hasAttr = message.FindString("attr", &event.attr) == B_OK;
	return event;
}

class Watcher {
public:
	Watcher()
		: fSink(std::make_shared<CMessageSink>()),
		  fMessenger(fSink->Messenger())
	{
	}
	~Watcher() { stop_watching(fMessenger); }

	const BMessenger& Messenger() const { return fMessenger; }
	CMessageSink& Sink() { return *fSink; }

	// The next message; fails the test after the bound.
	bool Next(Event* event)
	{
		std::unique_ptr<BMessage> message = fSink->WaitForAnyMessage(kWait);
		if (!message) {
			ADD_FAILURE() << "no node monitor message within the bound";
			return false;
		}
		*event = Decode(*message);
		return true;
	}

	// Messages up to the creation of `marker` (not included).
	std::vector<Event> Until(const std::string& marker)
	{
		std::vector<Event> events;
		Event event;
		while (Next(&event)) {
			if (event.opcode == B_ENTRY_CREATED && event.name == marker)
				return events;
			events.push_back(event);
		}
		return events;
	}

private:
	std::shared_ptr<CMessageSink> fSink;
	BMessenger fMessenger;
};

class NodeMonitorTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		std::string pattern = std::filesystem::temp_directory_path() / "monitor-XXXXXX";
		ASSERT_NE(mkdtemp(pattern.data()), nullptr);
		fRoot = std::filesystem::canonical(pattern).string();
	}
	void TearDown() override
	{
		std::error_code ignored;
		std::filesystem::remove_all(fRoot, ignored);
	}

	std::string PathOf(const std::string& name) const { return fRoot + "/" + name; }

	std::string MakeDir(const std::string& name)
	{
		std::string path = PathOf(name);
		EXPECT_EQ(mkdir(path.c_str(), 0755), 0);
		return path;
	}
	std::string MakeFile(const std::string& name, const std::string& content = "x")
	{
		std::string path = PathOf(name);
		std::ofstream(path, std::ios::binary) << content;
		return path;
	}

	static node_ref NodeOf(const std::string& path)
	{
		node_ref node;
		BEntry entry(path.c_str());
		EXPECT_EQ(entry.GetNodeRef(&node), B_OK) << path;
		return node;
	}

	static int64 Inode(const std::string& path)
	{
		struct stat st;
		EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
		return int64(st.st_ino);
	}

	// inotify watches this process holds on the inode of `path`.
	static int KernelWatches(int64 inode)
	{
		int count = 0;
		DIR* fds = opendir("/proc/self/fd");
		if (fds == nullptr)
			return -1;
		while (struct dirent* fd = readdir(fds)) {
			char target[64] = {};
			std::string link = std::string("/proc/self/fd/") + fd->d_name;
			if (readlink(link.c_str(), target, sizeof(target) - 1) <= 0
				|| strcmp(target, "anon_inode:inotify") != 0)
				continue;
			std::ifstream info(std::string("/proc/self/fdinfo/") + fd->d_name);
			std::string line;
			while (std::getline(info, line)) {
				unsigned long ino = 0;
				size_t at = line.find(" ino:");
				if (line.rfind("inotify", 0) == 0 && at != std::string::npos
					&& sscanf(line.c_str() + at, " ino:%lx", &ino) == 1 && int64(ino) == inode)
					count++;
			}
		}
		closedir(fds);
		return count;
	}

	// The inotify descriptor of this process that watches `inode` (the
	// monitor's own); -1 when there is none.
	static int InotifyFdWatching(int64 inode)
	{
		int found = -1;
		DIR* fds = opendir("/proc/self/fd");
		if (fds == nullptr)
			return -1;
		while (struct dirent* fd = readdir(fds)) {
			char target[64] = {};
			std::string link = std::string("/proc/self/fd/") + fd->d_name;
			if (readlink(link.c_str(), target, sizeof(target) - 1) <= 0
				|| strcmp(target, "anon_inode:inotify") != 0)
				continue;
			std::ifstream info(std::string("/proc/self/fdinfo/") + fd->d_name);
			std::string line;
			while (found < 0 && std::getline(info, line)) {
				unsigned long ino = 0;
				size_t at = line.find(" ino:");
				if (line.rfind("inotify", 0) == 0 && at != std::string::npos
					&& sscanf(line.c_str() + at, " ino:%lx", &ino) == 1 && int64(ino) == inode)
					found = atoi(fd->d_name);
			}
		}
		closedir(fds);
		return found;
	}

	std::string fRoot;
};

TEST_F(NodeMonitorTest, EntriesCreatedAndRemovedInAWatchedFolder)
{
	std::string dir = MakeDir("watched");
	node_ref folder = NodeOf(dir);
	Watcher watcher;
	ASSERT_EQ(watch_node(&folder, B_WATCH_DIRECTORY, watcher.Messenger()), B_OK);

	std::string file = MakeFile("watched/song.wav");
	Event event;
	ASSERT_TRUE(watcher.Next(&event));
	EXPECT_EQ(event.opcode, B_ENTRY_CREATED);
	EXPECT_EQ(event.device, int32(folder.device));
	EXPECT_EQ(event.directory, folder.node);
	EXPECT_EQ(event.node, Inode(file));
	EXPECT_EQ(event.name, "song.wav");

	int64 node = Inode(file);
	ASSERT_EQ(unlink(file.c_str()), 0);
	ASSERT_TRUE(watcher.Next(&event));
	EXPECT_EQ(event.opcode, B_ENTRY_REMOVED);
	EXPECT_EQ(event.directory, folder.node);
	EXPECT_EQ(event.node, node);
	EXPECT_EQ(event.name, "song.wav");

	MakeDir("watched/sub");
	ASSERT_TRUE(watcher.Next(&event));
	EXPECT_EQ(event.opcode, B_ENTRY_CREATED);
	EXPECT_EQ(event.name, "sub");
	// Writing to a file of the folder is not an entry change.
	std::string other = MakeFile("watched/other");
	ASSERT_TRUE(watcher.Next(&event));
	std::ofstream(other, std::ios::app) << "more";
	MakeFile("watched/marker");
	EXPECT_TRUE(watcher.Until("marker").empty());
}

TEST_F(NodeMonitorTest, RenameInsideAFolderIsOneMove)
{
	std::string dir = MakeDir("w");
	std::string file = MakeFile("w/01 - Artist - Title.wav");
	node_ref folder = NodeOf(dir);
	Watcher watcher;
	ASSERT_EQ(watch_node(&folder, B_WATCH_DIRECTORY, watcher.Messenger()), B_OK);

	int64 node = Inode(file);
	ASSERT_EQ(rename(file.c_str(), PathOf("w/Artist - Title.wav").c_str()), 0);
	MakeFile("w/marker");
	std::vector<Event> events = watcher.Until("marker");
	ASSERT_EQ(events.size(), 1u);
	EXPECT_EQ(events[0].opcode, B_ENTRY_MOVED) << events[0].Describe();
	EXPECT_EQ(events[0].fromDirectory, folder.node);
	EXPECT_EQ(events[0].toDirectory, folder.node);
	EXPECT_EQ(events[0].node, node);
	EXPECT_EQ(events[0].name, "Artist - Title.wav");
	EXPECT_EQ(events[0].fromName, "01 - Artist - Title.wav");
}

// `rename a b` followed by `rename c b` before the monitor reads either: the
// first move is still reported with a's node, not with what "b" is by then.
TEST_F(NodeMonitorTest, MovesKeepTheirNodeWhenTheNewNameIsTakenOverAgain)
{
	std::string dir = MakeDir("w");
	std::string a = MakeFile("w/a");
	std::string c = MakeFile("w/c");
	node_ref folder = NodeOf(dir);
	node_ref nodeA = NodeOf(a);
	int64 nodeC = Inode(c);
	auto sink = std::make_shared<CMessageSink>(1);
	BMessenger messenger = sink->Messenger();
	Watcher names;
	ASSERT_EQ(watch_node(&folder, B_WATCH_DIRECTORY, messenger), B_OK);
	ASSERT_EQ(watch_node(&nodeA, B_WATCH_NAME, names.Messenger()), B_OK);
	int inotify = InotifyFdWatching(folder.node);
	if (inotify < 0) {
		stop_watching(messenger);
		GTEST_SKIP() << "the monitor's inotify descriptor is not visible";
	}

	// "first" fills the sink; delivering "second" holds the reader. Once the
	// kernel queue is empty the reader has taken "second", and reads nothing
	// more until the sink has room.
	MakeFile("w/first");
	ASSERT_TRUE(sink->WaitForCount(B_NODE_MONITOR, 1, kWait));
	MakeFile("w/second");
	bigtime_t deadline = system_time() + kWait;
	int unread = 1;
	while ((ioctl(inotify, FIONREAD, &unread) != 0 || unread > 0) && system_time() < deadline)
		usleep(1000);
	ASSERT_EQ(unread, 0) << "the reader never took the event";
	ASSERT_EQ(rename(a.c_str(), PathOf("w/b").c_str()), 0);
	ASSERT_EQ(rename(c.c_str(), PathOf("w/b").c_str()), 0);
	MakeFile("w/marker");
	sink->SetCapacity(-1);

	std::vector<Event> events;
	for (;;) {
		std::unique_ptr<BMessage> message = sink->WaitForAnyMessage(kWait);
		ASSERT_TRUE(message != nullptr);
		Event event = Decode(*message);
		if (event.opcode == B_ENTRY_CREATED && event.name == "marker")
			break;
		events.push_back(event);
	}
	stop_watching(messenger);
	ASSERT_EQ(events.size(), 4u);
	EXPECT_EQ(events[0].name, "first");
	EXPECT_EQ(events[1].name, "second");
	EXPECT_EQ(events[2].opcode, B_ENTRY_MOVED) << events[2].Describe();
	EXPECT_EQ(events[2].node, nodeA.node) << events[2].Describe();
	EXPECT_EQ(events[2].fromName, "a");
	EXPECT_EQ(events[2].name, "b");
	EXPECT_EQ(events[3].opcode, B_ENTRY_MOVED) << events[3].Describe();
	EXPECT_EQ(events[3].node, nodeC) << events[3].Describe();
	EXPECT_EQ(events[3].fromName, "c");

	// The name watch of a sees its move, then the loss of its last name.
	Event event;
	ASSERT_TRUE(names.Next(&event));
	EXPECT_EQ(event.opcode, B_ENTRY_MOVED) << event.Describe();
	EXPECT_EQ(event.node, nodeA.node);
	EXPECT_EQ(event.name, "b");
	ASSERT_TRUE(names.Next(&event));
	EXPECT_EQ(event.opcode, B_ENTRY_REMOVED) << event.Describe();
	EXPECT_EQ(event.node, nodeA.node);
}

TEST_F(NodeMonitorTest, MoveBetweenWatchedFoldersIsReportedToEachWatch)
{
	std::string a = MakeDir("a");
	std::string b = MakeDir("b");
	std::string file = MakeFile("a/track");
	node_ref folderA = NodeOf(a);
	node_ref folderB = NodeOf(b);
	Watcher first;
	Watcher second;
	Watcher both;
	ASSERT_EQ(watch_node(&folderA, B_WATCH_DIRECTORY, first.Messenger()), B_OK);
	ASSERT_EQ(watch_node(&folderB, B_WATCH_DIRECTORY, second.Messenger()), B_OK);
	ASSERT_EQ(watch_node(&folderA, B_WATCH_DIRECTORY, both.Messenger()), B_OK);
	ASSERT_EQ(watch_node(&folderB, B_WATCH_DIRECTORY, both.Messenger()), B_OK);

	int64 node = Inode(file);
	ASSERT_EQ(rename(file.c_str(), PathOf("b/track").c_str()), 0);
	MakeFile("a/marker");
	MakeFile("b/marker");

	auto check = [&](const Event& event) {
		EXPECT_EQ(event.opcode, B_ENTRY_MOVED) << event.Describe();
		EXPECT_EQ(event.fromDirectory, folderA.node);
		EXPECT_EQ(event.toDirectory, folderB.node);
		EXPECT_EQ(event.node, node);
		EXPECT_EQ(event.name, "track");
	};
	std::vector<Event> events = first.Until("marker");
	ASSERT_EQ(events.size(), 1u);
	check(events[0]);
	events = second.Until("marker");
	ASSERT_EQ(events.size(), 1u);
	check(events[0]);
	events = both.Until("marker");
	ASSERT_EQ(events.size(), 2u);
	check(events[0]);
	check(events[1]);
}

TEST_F(NodeMonitorTest, MovesFromAndToUnwatchedFolders)
{
	std::string watched = MakeDir("watched");
	MakeDir("elsewhere");
	std::string file = MakeFile("elsewhere/song");
	node_ref folder = NodeOf(watched);
	Watcher watcher;
	ASSERT_EQ(watch_node(&folder, B_WATCH_DIRECTORY, watcher.Messenger()), B_OK);
	int64 node = Inode(file);

	ASSERT_EQ(rename(file.c_str(), PathOf("watched/song").c_str()), 0);
	Event event;
	ASSERT_TRUE(watcher.Next(&event));
	EXPECT_EQ(event.opcode, B_ENTRY_CREATED) << event.Describe();
	EXPECT_EQ(event.node, node);
	EXPECT_EQ(event.name, "song");

	ASSERT_EQ(rename(PathOf("watched/song").c_str(), PathOf("elsewhere/renamed").c_str()), 0);
	ASSERT_TRUE(watcher.Next(&event));
	EXPECT_EQ(event.opcode, B_ENTRY_REMOVED) << event.Describe();
	EXPECT_EQ(event.directory, folder.node);
	EXPECT_EQ(event.node, node);
	EXPECT_EQ(event.name, "song");

	// A folder moved in counts as one entry; what it holds is not reported.
	MakeDir("elsewhere/album");
	MakeFile("elsewhere/album/inside");
	ASSERT_EQ(rename(PathOf("elsewhere/album").c_str(), PathOf("watched/album").c_str()), 0);
	MakeFile("watched/marker");
	std::vector<Event> events = watcher.Until("marker");
	ASSERT_EQ(events.size(), 1u);
	EXPECT_EQ(events[0].opcode, B_ENTRY_CREATED);
	EXPECT_EQ(events[0].name, "album");
}

TEST_F(NodeMonitorTest, AttributeAndStatChangesOfAFile)
{
	std::string dir = MakeDir("d");
	std::string file = MakeFile("d/track.wav", "RIFF");
	node_ref folder = NodeOf(dir);
	node_ref node = NodeOf(file);
	Watcher attrs;
	Watcher stats;
	ASSERT_EQ(watch_node(&folder, B_WATCH_DIRECTORY, attrs.Messenger()), B_OK);
	ASSERT_EQ(watch_node(&node, B_WATCH_ATTR, attrs.Messenger()), B_OK);
	ASSERT_EQ(watch_node(&folder, B_WATCH_DIRECTORY, stats.Messenger()), B_OK);
	ASSERT_EQ(watch_node(&node, B_WATCH_STAT, stats.Messenger()), B_OK);

	// An attribute write: attribute watchers hear of it by name, stat
	// watchers do not hear of it at all.
	BNode fileNode(file.c_str());
	ASSERT_EQ(fileNode.WriteAttrString("Audio:Title", "New Title"), B_OK);
	MakeFile("d/marker1");
	std::vector<Event> events = attrs.Until("marker1");
	ASSERT_FALSE(events.empty());
	for (const Event& event : events) {
		EXPECT_EQ(event.opcode, B_ATTR_CHANGED) << event.Describe();
		EXPECT_EQ(event.node, node.node);
		EXPECT_EQ(event.attr, "Audio:Title");
	}
	events = stats.Until("marker1");
	EXPECT_TRUE(events.empty()) << events.front().Describe();

	// Content and mode changes: stat watchers only.
	std::ofstream(file, std::ios::app) << "more data";
	ASSERT_EQ(chmod(file.c_str(), 0600), 0);
	MakeFile("d/marker2");
	events = stats.Until("marker2");
	ASSERT_FALSE(events.empty());
	for (const Event& event : events) {
		EXPECT_EQ(event.opcode, B_STAT_CHANGED) << event.Describe();
		EXPECT_EQ(event.node, node.node);
	}
	events = attrs.Until("marker2");
	EXPECT_TRUE(events.empty()) << events.front().Describe();

	// Removing an attribute, and another program's xattr write.
	ASSERT_EQ(fileNode.RemoveAttr("Audio:Title"), B_OK);
	Event event;
	ASSERT_TRUE(attrs.Next(&event));
	EXPECT_EQ(event.opcode, B_ATTR_CHANGED);
	EXPECT_EQ(event.attr, "Audio:Title");
	ASSERT_EQ(setxattr(file.c_str(), "user.Audio:Artist", "X", 1, 0), 0);
	MakeFile("d/marker3");
	events = attrs.Until("marker3");
	bool sawArtist = false;
	for (const Event& item : events)
		sawArtist |= item.opcode == B_ATTR_CHANGED && item.attr == "Audio:Artist";
	EXPECT_TRUE(sawArtist);
}

TEST_F(NodeMonitorTest, NameWatchFollowsTheNode)
{
	MakeDir("one");
	MakeDir("two");
	std::string file = MakeFile("one/song");
	std::string folder = MakeDir("one/album");
	node_ref node = NodeOf(file);
	node_ref album = NodeOf(folder);
	int64 one = Inode(PathOf("one"));
	int64 two = Inode(PathOf("two"));
	Watcher watcher;
	ASSERT_EQ(watch_node(&node, B_WATCH_NAME, watcher.Messenger()), B_OK);
	ASSERT_EQ(watch_node(&album, B_WATCH_NAME, watcher.Messenger()), B_OK);

	ASSERT_EQ(rename(file.c_str(), PathOf("one/renamed").c_str()), 0);
	Event event;
	ASSERT_TRUE(watcher.Next(&event));
	EXPECT_EQ(event.opcode, B_ENTRY_MOVED) << event.Describe();
	EXPECT_EQ(event.fromDirectory, one);
	EXPECT_EQ(event.toDirectory, one);
	EXPECT_EQ(event.name, "renamed");
	EXPECT_EQ(event.node, node.node);

	// Into a folder nobody watches: still found.
	ASSERT_EQ(rename(PathOf("one/renamed").c_str(), PathOf("two/moved").c_str()), 0);
	ASSERT_TRUE(watcher.Next(&event));
	EXPECT_EQ(event.opcode, B_ENTRY_MOVED) << event.Describe();
	EXPECT_EQ(event.fromDirectory, one);
	EXPECT_EQ(event.toDirectory, two);
	EXPECT_EQ(event.name, "moved");
	std::string path;
	EXPECT_EQ(get_path_for_node(node, &path), B_OK);
	EXPECT_EQ(path, PathOf("two/moved"));

	ASSERT_EQ(unlink(PathOf("two/moved").c_str()), 0);
	ASSERT_TRUE(watcher.Next(&event));
	EXPECT_EQ(event.opcode, B_ENTRY_REMOVED) << event.Describe();
	EXPECT_EQ(event.directory, two);
	EXPECT_EQ(event.name, "moved");
	EXPECT_EQ(event.node, node.node);

	ASSERT_EQ(rmdir(folder.c_str()), 0);
	ASSERT_TRUE(watcher.Next(&event));
	EXPECT_EQ(event.opcode, B_ENTRY_REMOVED) << event.Describe();
	EXPECT_EQ(event.node, album.node);
	EXPECT_EQ(event.name, "album");
}

TEST_F(NodeMonitorTest, StoppingEndsOnlyThatWatcher)
{
	std::string dir = MakeDir("shared");
	node_ref folder = NodeOf(dir);
	Watcher staying;
	Watcher leaving;
	ASSERT_EQ(watch_node(&folder, B_WATCH_DIRECTORY, staying.Messenger()), B_OK);
	ASSERT_EQ(watch_node(&folder, B_WATCH_DIRECTORY, leaving.Messenger()), B_OK);
	EXPECT_EQ(KernelWatches(folder.node), 1);

	ASSERT_EQ(stop_watching(leaving.Messenger()), B_OK);
	MakeFile("shared/after");
	MakeFile("shared/marker");
	std::vector<Event> events = staying.Until("marker");
	ASSERT_EQ(events.size(), 1u);
	EXPECT_EQ(events[0].name, "after");
	EXPECT_EQ(leaving.Sink().CountMessages(), 0);

	// The kernel watch goes with the last watcher.
	ASSERT_EQ(watch_node(&folder, B_STOP_WATCHING, staying.Messenger()), B_OK);
	EXPECT_EQ(KernelWatches(folder.node), 0);
	EXPECT_EQ(watch_node(&folder, B_STOP_WATCHING, staying.Messenger()), B_OK);

	// Flags add up for one messenger; bad requests are refused.
	node_ref missing{folder.device, 1234567890123};
	EXPECT_EQ(watch_node(&missing, B_WATCH_STAT, staying.Messenger()), B_ENTRY_NOT_FOUND);
	EXPECT_EQ(watch_node(&folder, 0x100, staying.Messenger()), B_BAD_VALUE);
	EXPECT_EQ(watch_node(nullptr, B_WATCH_STAT, staying.Messenger()), B_BAD_VALUE);
	EXPECT_EQ(watch_node(&folder, B_WATCH_STAT, BMessenger()), B_BAD_VALUE);
}

TEST_F(NodeMonitorTest, WatchedFoldersKeepTheirPathWhenAnAncestorMoves)
{
	MakeDir("outer");
	std::string inner = MakeDir("outer/inner");
	node_ref folder = NodeOf(inner);
	Watcher watcher;
	ASSERT_EQ(watch_node(&folder, B_WATCH_DIRECTORY, watcher.Messenger()), B_OK);

	ASSERT_EQ(rename(PathOf("outer").c_str(), PathOf("renamed").c_str()), 0);
	std::string path;
	ASSERT_EQ(get_path_for_node(folder, &path), B_OK);
	EXPECT_EQ(path, PathOf("renamed/inner"));

	MakeFile("renamed/inner/new");
	Event event;
	ASSERT_TRUE(watcher.Next(&event));
	EXPECT_EQ(event.opcode, B_ENTRY_CREATED);
	entry_ref ref;
	ASSERT_EQ(get_ref_for_entry(event.device, event.directory, event.name.c_str(), &ref), B_OK);
	EXPECT_EQ(ref.Path(), PathOf("renamed/inner/new"));
	BDirectory byNode(&folder);
	EXPECT_EQ(byNode.Path(), PathOf("renamed/inner"));
}

TEST_F(NodeMonitorTest, ClosedTargetsLoseTheirWatches)
{
	std::string closedDir = MakeDir("closed");
	std::string openDir = MakeDir("open");
	node_ref closedFolder = NodeOf(closedDir);
	node_ref openFolder = NodeOf(openDir);
	auto sink = std::make_shared<CMessageSink>();
	Watcher watcher;
	ASSERT_EQ(watch_node(&closedFolder, B_WATCH_DIRECTORY, sink->Messenger()), B_OK);
	ASSERT_EQ(watch_node(&openFolder, B_WATCH_DIRECTORY, watcher.Messenger()), B_OK);
	sink->Close();

	// The failed delivery for the first file comes before the marker's.
	MakeFile("closed/file");
	MakeFile("open/marker");
	watcher.Until("marker");
	EXPECT_EQ(KernelWatches(closedFolder.node), 0);
	EXPECT_EQ(KernelWatches(openFolder.node), 1);
}

TEST_F(NodeMonitorTest, QueueOverflowKeepsTheWatchesAndCatchesUp)
{
	std::string dir = MakeDir("busy");
	node_ref folder = NodeOf(dir);
	auto sink = std::make_shared<CMessageSink>(1);
	BMessenger messenger = sink->Messenger();
	ASSERT_EQ(watch_node(&folder, B_WATCH_DIRECTORY, messenger), B_OK);

	// The first message fills the sink; the second holds the reader, so the
	// kernel queue overflows behind it.
	MakeFile("busy/first");
	ASSERT_TRUE(sink->WaitForCount(B_NODE_MONITOR, 1, kWait));
	MakeFile("busy/second");
	int limit = 16384;
	std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> limit;
	if (limit > 200000) {
		stop_watching(messenger);
		GTEST_SKIP() << "inotify queue too long to overflow quickly";
	}
	for (int i = 0; i < limit / 2 + 100; i++) {
		std::string churn = PathOf("busy/churn");
		close(creat(churn.c_str(), 0644));
		unlink(churn.c_str());
	}
	for (int i = 0; i < 5; i++)
		MakeFile("busy/keep" + std::to_string(i));
	ASSERT_EQ(unlink(PathOf("busy/first").c_str()), 0);
	sink->SetCapacity(-1);

	// What the messages say must end as what the folder holds.
	std::set<std::string> seen;
	auto apply = [&seen](const Event& event) {
		if (event.opcode == B_ENTRY_CREATED)
			seen.insert(event.name);
		else if (event.opcode == B_ENTRY_REMOVED)
			seen.erase(event.name);
	};
	std::set<std::string> expected = {"second", "keep0", "keep1", "keep2", "keep3", "keep4", "marker"};
	MakeFile("busy/marker");
	while (seen != expected) {
		std::unique_ptr<BMessage> message = sink->WaitForAnyMessage(kWait);
		ASSERT_TRUE(message != nullptr) << "state never caught up";
		apply(Decode(*message));
	}
	// The watch still works after the overflow.
	MakeFile("busy/after");
	for (;;) {
		std::unique_ptr<BMessage> message = sink->WaitForAnyMessage(kWait);
		ASSERT_TRUE(message != nullptr);
		Event event = Decode(*message);
		if (event.opcode == B_ENTRY_CREATED && event.name == "after")
			break;
	}
	stop_watching(messenger);
}

TEST_F(NodeMonitorTest, WatchersComeAndGoFromManyThreads)
{
	std::string dir = MakeDir("many");
	node_ref folder = NodeOf(dir);
	std::atomic<bool> done{false};
	std::thread writer([&] {
		int i = 0;
		while (!done.load()) {
			std::string path = PathOf("many/f" + std::to_string(i++ % 8));
			close(creat(path.c_str(), 0644));
			unlink(path.c_str());
		}
	});
	std::vector<std::thread> threads;
	for (int t = 0; t < 4; t++) {
		threads.emplace_back([&] {
			Watcher watcher;
			for (int round = 0; round < 50; round++) {
				EXPECT_EQ(watch_node(&folder, B_WATCH_DIRECTORY | B_WATCH_STAT, watcher.Messenger()), B_OK);
				if (round % 2 == 0)
					EXPECT_EQ(watch_node(&folder, B_STOP_WATCHING, watcher.Messenger()), B_OK);
				else
					EXPECT_EQ(stop_watching(watcher.Messenger()), B_OK);
			}
		});
	}
	for (std::thread& thread : threads)
		thread.join();
	done = true;
	writer.join();
	EXPECT_EQ(KernelWatches(folder.node), 0);

	// Still working afterwards.
	Watcher watcher;
	ASSERT_EQ(watch_node(&folder, B_WATCH_DIRECTORY, watcher.Messenger()), B_OK);
	MakeFile("many/marker");
	watcher.Until("marker");
}

}   // namespace
