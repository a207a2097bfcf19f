// Inside the node monitor: the records of the watch table and the monitor
// class, shared by its sources (NodeMonitor.cpp: start, reader loop, kernel
// events and the interface; NodeMonitorTable.cpp: the watch table;
// NodeMonitorSnapshot.cpp: snapshots of nodes and folders and their
// comparison; NodeMonitorMoves.cpp: the pairing of the halves of moves;
// NodeMonitorDelivery.cpp: the messages and their delivery). Internal to
// kit/storage.
#pragma once

#include "kit/app/Messenger.h"
#include "kit/kernel/OS.h"
#include "kit/storage/Entry.h"
#include "kit/storage/EntryRef.h"
#include "kit/storage/Node.h"
#include "kit/storage/NodeMonitor.h"
#include "kit/support/Message.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <string_view>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace node_monitor {

// How long the reader waits for the other half of a move before it counts
// the move as leaving the watched folders.
inline constexpr int kPairingWaitMs = 20;
struct NodeKey {
	uint32 device;
	int64 node;
	bool operator<(const NodeKey& other) const
	{
		return device != other.device ? device < other.device : node < other.node;
	}
};

inline NodeKey KeyOf(const node_ref& node)
{
	return NodeKey{uint32(node.device), node.node};
}

struct Listener {
	BMessenger target;
	uint32 flags;
};

struct Child {
	int64 node;
	bool isDir;
};

struct AttrState {
	size_t size;
	size_t hash;
	bool operator==(const AttrState& other) const = default;
};

struct Watch {
	int wd = -1;
	uint32 mask = 0;
	node_ref node;
	bool isDir = false;
	bool isLink = false;
	std::string path;          // last known path
	int fd = -1;               // O_PATH descriptor for name and folder watches
	std::vector<Listener> listeners;
	int childRefs = 0;         // name-watched nodes whose folder this is
	node_ref parent;           // folder holding the node (node -1: unknown)
	std::string name;          // its name there
	bool parentTracked = false;
	bool removedReported = false;

	bool haveStat = false;
	struct stat st {};
	bool haveAttrs = false;
	std::map<std::string, AttrState> attrs;
	bool haveEntries = false;
	std::map<std::string, Child> entries;

	uint32 Flags() const
	{
		uint32 flags = 0;
		for (const Listener& listener : listeners)
			flags |= listener.flags;
		return flags;
	}
	bool Has(uint32 flag) const { return (Flags() & flag) != 0; }
};

// The "moved from" half of a rename, waiting for its other half. `node` is
// the node the old name referred to as far as our records tell (-1: not
// known); `isDir` is meaningful only when it is known.
struct PendingMove {
	uint32 cookie;
	node_ref fromDir;
	std::string name;
	int64 node;
	bool isDir;
	uint64 batch;
};

struct Outgoing {
	BMessenger target;
	BMessage message;
};

inline std::string ProcPath(int fd)
{
	return "/proc/self/fd/" + std::to_string(fd);
}

inline std::string Dirname(const std::string& path)
{
	size_t slash = path.rfind('/');
	if (slash == std::string::npos)
		return std::string();
	return slash == 0 ? std::string("/") : path.substr(0, slash);
}

inline std::string Basename(const std::string& path)
{
	size_t slash = path.rfind('/');
	return slash == std::string::npos ? path : path.substr(slash + 1);
}

inline std::string Join(const std::string& folder, const std::string& name)
{
	return folder == "/" ? "/" + name : folder + "/" + name;
}

inline bool SameNode(const struct stat& st, const node_ref& node)
{
	return same_device(int64(st.st_dev), node.device) && int64(st.st_ino) == node.node;
}

// Stat fields whose change is a "stat change" (the change time is not one:
// it moves with every attribute write).
inline bool StatDiffers(const struct stat& a, const struct stat& b)
{
	return a.st_size != b.st_size || a.st_mode != b.st_mode || a.st_uid != b.st_uid || a.st_gid != b.st_gid
		|| a.st_nlink != b.st_nlink || a.st_mtim.tv_sec != b.st_mtim.tv_sec
		|| a.st_mtim.tv_nsec != b.st_mtim.tv_nsec || a.st_atim.tv_sec != b.st_atim.tv_sec
		|| a.st_atim.tv_nsec != b.st_atim.tv_nsec;
}

inline bool CtimeDiffers(const struct stat& a, const struct stat& b)
{
	return a.st_ctim.tv_sec != b.st_ctim.tv_sec || a.st_ctim.tv_nsec != b.st_ctim.tv_nsec;
}

inline BMessage MakeMessage(int32 opcode, const node_ref& node)
{
	BMessage message(B_NODE_MONITOR);
	message.AddInt32("opcode", opcode);
	message.AddInt32("device", int32(node.device));
	return message;
}

class NodeMonitor {
public:
	static NodeMonitor& Default()
	{
		static NodeMonitor monitor;
		return monitor;
	}

	~NodeMonitor()
	{
		{
			std::lock_guard<std::mutex> lock(fLock);
			fQuit = true;
		}
		if (fWake >= 0) {
			uint64 one = 1;
			ssize_t ignored = write(fWake, &one, sizeof(one));
			(void)ignored;
		}
		if (fThread.joinable())
			fThread.join();
		for (auto& entry : fWatches) {
			if (entry.second->fd >= 0)
				close(entry.second->fd);
		}
		fWatches.clear();
		if (fInotify >= 0)
			close(fInotify);
		if (fWake >= 0)
			close(fWake);
	}

	status_t WatchNode(const node_ref& node, uint32 flags, const BMessenger& target);
	status_t StopWatching(const BMessenger& target);
	bool PathFor(const node_ref& node, std::string* path);

private:
	NodeMonitor();
	status_t _Start();
	void _Run();
	void _ProcessBuffer(const char* buffer, size_t length);
	void _FinishBatch(bool idle);
	void _Deliver(std::vector<Outgoing>& outgoing);
	bool _IsRegistered(const BMessenger& target);

	Watch* _ByWd(int wd);
	Watch* _ByNode(const node_ref& node);
	// Ends every watch of target; the caller holds fLock.
	void _RemoveListener(const BMessenger& target);
	Watch* _Create(const node_ref& node, const std::string& path, status_t* status);
	bool _Update(Watch* watch, status_t* status = nullptr);
	void _Erase(Watch* watch, bool removeFromKernel);
	bool _AcquireParent(Watch* watch);
	void _ReleaseParent(Watch* watch);

	std::string _CurrentPath(Watch* watch, int depth = 0);
	bool _Stat(Watch* watch, struct stat* st);
	bool _ChildStat(Watch* watch, const std::string& name, struct stat* st);
	bool _ReadAttrs(Watch* watch, std::map<std::string, AttrState>* attrs);
	bool _ScanEntries(Watch* watch, std::map<std::string, Child>* entries);

	void _Send(Watch* watch, uint32 flag, const BMessage& message);
	void _SendCreated(Watch* folder, int64 node, const std::string& name);
	void _SendRemoved(Watch* folder, int64 node, const std::string& name);

	void _OnCreate(Watch* folder, const std::string& name);
	void _OnDelete(Watch* folder, const std::string& name);
	void _OnMovedFrom(Watch* folder, const std::string& name, uint32 cookie);
	void _OnMovedTo(Watch* folder, const std::string& name, uint32 cookie);
	void _OnContentChanged(Watch* watch);
	void _CheckChanges(Watch* watch, bool fromKernelEvent);
	void _FinishMove(const PendingMove& move);
	void _HintChildren(Watch* folder, const std::string& name);
	void _Resolve(Watch* watch);
	void _ReportRemoved(Watch* watch);
	void _Resync();

	std::mutex fLock;
	int fInotify = -1;
	int fWake = -1;
	bool fStarted = false;
	bool fQuit = false;
	std::thread fThread;
	std::unordered_map<int, std::unique_ptr<Watch>> fWatches;   // by wd
	std::map<NodeKey, int> fByNode;
	std::vector<PendingMove> fPending;
	uint64 fBatch = 0;
	std::vector<Outgoing> fOutgoing;   // collected under fLock, sent without it
};

}   // namespace node_monitor
