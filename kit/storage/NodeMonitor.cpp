// The node monitor over inotify: one descriptor and one reader thread for
// the process, a table of watched nodes with their listeners, and the
// translation of kernel events into node monitor messages.
#include "kit/storage/NodeMonitor.h"

#include "kit/app/Messenger.h"
#include "kit/kernel/OS.h"
#include "kit/storage/Entry.h"
#include "kit/storage/Node.h"
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

namespace {

// How long the reader waits for the other half of a move before it counts
// the move as leaving the watched folders.
constexpr int kPairingWaitMs = 20;
// How long one attempt to hand a message to a full target waits.
constexpr bigtime_t kSendSlice = 100000;

struct NodeKey {
	uint32 device;
	int64 node;
	bool operator<(const NodeKey& other) const
	{
		return device != other.device ? device < other.device : node < other.node;
	}
};

NodeKey KeyOf(const node_ref& node)
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

std::string ProcPath(int fd)
{
	return "/proc/self/fd/" + std::to_string(fd);
}

std::string Dirname(const std::string& path)
{
	size_t slash = path.rfind('/');
	if (slash == std::string::npos)
		return std::string();
	return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string Basename(const std::string& path)
{
	size_t slash = path.rfind('/');
	return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Join(const std::string& folder, const std::string& name)
{
	return folder == "/" ? "/" + name : folder + "/" + name;
}

bool SameNode(const struct stat& st, const node_ref& node)
{
	return same_device(int64(st.st_dev), node.device) && int64(st.st_ino) == node.node;
}

// Stat fields whose change is a "stat change" (the change time is not one:
// it moves with every attribute write).
bool StatDiffers(const struct stat& a, const struct stat& b)
{
	return a.st_size != b.st_size || a.st_mode != b.st_mode || a.st_uid != b.st_uid || a.st_gid != b.st_gid
		|| a.st_nlink != b.st_nlink || a.st_mtim.tv_sec != b.st_mtim.tv_sec
		|| a.st_mtim.tv_nsec != b.st_mtim.tv_nsec || a.st_atim.tv_sec != b.st_atim.tv_sec
		|| a.st_atim.tv_nsec != b.st_atim.tv_nsec;
}

bool CtimeDiffers(const struct stat& a, const struct stat& b)
{
	return a.st_ctim.tv_sec != b.st_ctim.tv_sec || a.st_ctim.tv_nsec != b.st_ctim.tv_nsec;
}

BMessage MakeMessage(int32 opcode, const node_ref& node)
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

NodeMonitor::NodeMonitor() = default;

status_t NodeMonitor::_Start()
{
	if (fStarted)
		return B_OK;
	fInotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
	if (fInotify < 0)
		return StatusFromErrno();
	fWake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
	if (fWake < 0) {
		status_t status = StatusFromErrno();
		close(fInotify);
		fInotify = -1;
		return status;
	}
	fThread = std::thread([this] { _Run(); });
	fStarted = true;
	return B_OK;
}

// #pragma mark - table

Watch* NodeMonitor::_ByWd(int wd)
{
	auto found = fWatches.find(wd);
	return found == fWatches.end() ? nullptr : found->second.get();
}

Watch* NodeMonitor::_ByNode(const node_ref& node)
{
	auto found = fByNode.find(KeyOf(node));
	return found == fByNode.end() ? nullptr : _ByWd(found->second);
}

// A new entry of the table for the node at `path` (checked to be that
// node), without listeners yet and not yet known to the kernel.
Watch* NodeMonitor::_Create(const node_ref& node, const std::string& path, status_t* status)
{
	struct stat st;
	if (lstat(path.c_str(), &st) != 0 || !SameNode(st, node)) {
		*status = B_ENTRY_NOT_FOUND;
		return nullptr;
	}
	auto watch = std::make_unique<Watch>();
	watch->node = node;
	watch->isDir = S_ISDIR(st.st_mode);
	watch->isLink = S_ISLNK(st.st_mode);
	watch->path = path;
	watch->name = Basename(path);
	struct stat parentStat;
	std::string parentPath = Dirname(path);
	if (!parentPath.empty() && path != "/" && lstat(parentPath.c_str(), &parentStat) == 0)
		watch->parent = node_ref_for_stat(parentStat);
	// Parked under a temporary key until the kernel gives the wd.
	int key = -1;
	while (fWatches.count(key) != 0)
		key--;
	watch->wd = key;
	Watch* result = watch.get();
	fWatches[key] = std::move(watch);
	*status = B_OK;
	return result;
}

void NodeMonitor::_Erase(Watch* watch, bool removeFromKernel)
{
	if (watch->parentTracked)
		_ReleaseParent(watch);
	if (removeFromKernel && watch->wd >= 0)
		inotify_rm_watch(fInotify, watch->wd);
	if (watch->fd >= 0)
		close(watch->fd);
	auto byNode = fByNode.find(KeyOf(watch->node));
	if (byNode != fByNode.end() && byNode->second == watch->wd)
		fByNode.erase(byNode);
	fWatches.erase(watch->wd);
}

// Brings the kernel watch, the descriptor, the snapshots and the tracking
// of the parent folder in line with what the listeners ask for. Returns
// false when the entry is gone afterwards (nobody needs it, or it failed:
// then *status says why).
bool NodeMonitor::_Update(Watch* watch, status_t* status)
{
	if (status != nullptr)
		*status = B_OK;
	// A new entry that fails is dropped; an existing one keeps its kernel
	// watch and the caller learns the status.
	auto fail = [this, watch, status](status_t error) {
		if (status != nullptr)
			*status = error;
		if (watch->wd >= 0)
			return true;
		if (watch->fd >= 0)
			close(watch->fd);
		watch->fd = -1;
		fWatches.erase(watch->wd);
		return false;
	};
	uint32 flags = watch->Flags();
	if (watch->listeners.empty() && watch->childRefs == 0) {
		_Erase(watch, true);
		return false;
	}
	bool needName = (flags & B_WATCH_NAME) != 0 && !watch->removedReported;
	bool needDir = (flags & B_WATCH_DIRECTORY) != 0 && watch->isDir;
	bool needStat = (flags & B_WATCH_STAT) != 0;
	bool needAttr = (flags & B_WATCH_ATTR) != 0;

	// Descriptor: for name watches (to find the node after a move) and folder
	// watches (to read entries of the folder itself, wherever it went).
	if ((needName || needDir) && watch->fd < 0) {
		std::string path = _CurrentPath(watch);
		int fd = open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
		struct stat st;
		if (fd >= 0 && (fstat(fd, &st) != 0 || !SameNode(st, watch->node))) {
			close(fd);
			fd = -1;
			errno = ENOENT;
		}
		if (fd < 0)
			return fail(StatusFromErrno());
		watch->fd = fd;
	} else if (!(needName || needDir) && watch->fd >= 0) {
		close(watch->fd);
		watch->fd = -1;
	}

	uint32 mask = IN_DELETE_SELF | IN_MOVE_SELF | IN_EXCL_UNLINK;
	if (needDir || watch->childRefs > 0)
		mask |= IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
	if (needName || needAttr)
		mask |= IN_ATTRIB;
	if (needStat)
		mask |= IN_ATTRIB | IN_MODIFY | IN_CLOSE_WRITE;
	if (mask != watch->mask || watch->wd < 0) {
		int wd;
		if (watch->fd >= 0) {
			// Through the descriptor: the same node whatever its path now.
			wd = inotify_add_watch(fInotify, ProcPath(watch->fd).c_str(), mask);
		} else {
			std::string path = _CurrentPath(watch);
			struct stat before;
			struct stat after;
			wd = -1;
			errno = ENOENT;
			if (lstat(path.c_str(), &before) == 0 && SameNode(before, watch->node)) {
				wd = inotify_add_watch(fInotify, path.c_str(), mask | IN_DONT_FOLLOW);
				if (wd >= 0 && (lstat(path.c_str(), &after) != 0 || !SameNode(after, watch->node))) {
					// Replaced while we looked: that watch is not ours.
					if (fWatches.count(wd) == 0)
						inotify_rm_watch(fInotify, wd);
					wd = -1;
					errno = ENOENT;
				}
			}
		}
		if (wd < 0)
			return fail(errno == ENOSPC ? B_DEVICE_FULL : StatusFromErrno());
		if (wd != watch->wd) {
			if (watch->wd >= 0 || fWatches.count(wd) != 0) {
				// The kernel sees another node than we do: give up on it,
				// and give the node it saw its own mask back.
				if (Watch* other = _ByWd(wd)) {
					if (other != watch) {
						other->mask = 0;
						_Update(other);
					}
				} else {
					inotify_rm_watch(fInotify, wd);
				}
				return fail(B_ENTRY_NOT_FOUND);
			}
			std::unique_ptr<Watch> moved = std::move(fWatches[watch->wd]);
			fWatches.erase(watch->wd);
			watch->wd = wd;
			fWatches[wd] = std::move(moved);
			fByNode[KeyOf(watch->node)] = wd;
		}
		watch->mask = mask;
	}

	if (needDir && !watch->haveEntries)
		watch->haveEntries = _ScanEntries(watch, &watch->entries);
	else if (!needDir && watch->haveEntries) {
		watch->entries.clear();
		watch->haveEntries = false;
	}
	if ((needStat || needAttr || needName) && !watch->haveStat)
		watch->haveStat = _Stat(watch, &watch->st);
	// Attributes are also kept for stat watches, so that an attribute write
	// is not mistaken for a stat change.
	if ((needAttr || needStat) && !watch->haveAttrs)
		watch->haveAttrs = _ReadAttrs(watch, &watch->attrs);
	else if (!(needAttr || needStat) && watch->haveAttrs) {
		watch->attrs.clear();
		watch->haveAttrs = false;
	}

	if (needName && !watch->parentTracked)
		_AcquireParent(watch);
	else if (!needName && watch->parentTracked)
		_ReleaseParent(watch);
	return true;
}

// Watches the folder holding a name-watched node, so that its removal and
// renames are seen there.
bool NodeMonitor::_AcquireParent(Watch* watch)
{
	std::string path = _CurrentPath(watch);
	std::string parentPath = Dirname(path);
	if (parentPath.empty() || path == "/")
		return false;
	struct stat st;
	if (lstat(parentPath.c_str(), &st) != 0)
		return false;
	node_ref parentNode = node_ref_for_stat(st);
	watch->parent = parentNode;
	watch->name = Basename(path);
	Watch* parent = _ByNode(parentNode);
	status_t status = B_OK;
	if (parent == nullptr) {
		parent = _Create(parentNode, parentPath, &status);
		if (parent == nullptr)
			return false;
	}
	parent->childRefs++;
	if (!_Update(parent, &status))
		return false;
	watch->parentTracked = true;
	return true;
}

void NodeMonitor::_ReleaseParent(Watch* watch)
{
	watch->parentTracked = false;
	Watch* parent = _ByNode(watch->parent);
	if (parent == nullptr || parent->childRefs == 0)
		return;
	parent->childRefs--;
	_Update(parent);
}

// #pragma mark - reading nodes

std::string NodeMonitor::_CurrentPath(Watch* watch, int depth)
{
	if (watch->fd >= 0) {
		char buffer[PATH_MAX];
		ssize_t length = readlink(ProcPath(watch->fd).c_str(), buffer, sizeof(buffer) - 1);
		if (length > 0 && buffer[0] == '/') {
			std::string path(buffer, size_t(length));
			static const std::string kDeleted = " (deleted)";
			if (path.size() > kDeleted.size()
				&& path.compare(path.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0)
				return watch->path;
			watch->path = path;
			return path;
		}
	}
	if (depth < 64 && watch->parent.node >= 0 && !watch->name.empty()) {
		Watch* parent = _ByNode(watch->parent);
		if (parent != nullptr && parent != watch) {
			std::string parentPath = _CurrentPath(parent, depth + 1);
			if (!parentPath.empty()) {
				std::string path = Join(parentPath, watch->name);
				struct stat st;
				if (lstat(path.c_str(), &st) == 0 && SameNode(st, watch->node))
					watch->path = path;
			}
		}
	}
	return watch->path;
}

bool NodeMonitor::_Stat(Watch* watch, struct stat* st)
{
	if (watch->fd >= 0)
		return fstat(watch->fd, st) == 0;
	std::string path = _CurrentPath(watch);
	return lstat(path.c_str(), st) == 0 && SameNode(*st, watch->node);
}

bool NodeMonitor::_ChildStat(Watch* folder, const std::string& name, struct stat* st)
{
	if (folder->fd >= 0)
		return fstatat(folder->fd, name.c_str(), st, AT_SYMLINK_NOFOLLOW) == 0;
	return lstat(Join(_CurrentPath(folder), name).c_str(), st) == 0;
}

bool NodeMonitor::_ReadAttrs(Watch* watch, std::map<std::string, AttrState>* attrs)
{
	attrs->clear();
	std::string path;
	bool follow = false;
	if (watch->fd >= 0 && !watch->isLink) {
		path = ProcPath(watch->fd);
		follow = true;
	} else {
		path = _CurrentPath(watch);
		struct stat st;
		if (lstat(path.c_str(), &st) != 0 || !SameNode(st, watch->node))
			return false;
	}
	std::string list(1024, '\0');
	ssize_t length;
	for (;;) {
		length = follow ? listxattr(path.c_str(), list.data(), list.size())
			: llistxattr(path.c_str(), list.data(), list.size());
		if (length >= 0 || errno != ERANGE || list.size() > (1u << 20))
			break;
		list.resize(list.size() * 4);
	}
	if (length < 0)
		return errno == ENOTSUP;
	list.resize(size_t(length));
	std::string value;
	size_t start = 0;
	while (start < list.size()) {
		size_t end = list.find('\0', start);
		if (end == std::string::npos)
			end = list.size();
		std::string name = list.substr(start, end - start);
		start = end + 1;
		if (name.compare(0, 5, "user.") != 0)
			continue;
		value.resize(65536);
		ssize_t size = follow ? getxattr(path.c_str(), name.c_str(), value.data(), value.size())
			: lgetxattr(path.c_str(), name.c_str(), value.data(), value.size());
		if (size < 0)
			continue;   // removed meanwhile
		(*attrs)[name] = AttrState{size_t(size), std::hash<std::string_view>()(std::string_view(value.data(), size_t(size)))};
	}
	return true;
}

bool NodeMonitor::_ScanEntries(Watch* folder, std::map<std::string, Child>* entries)
{
	entries->clear();
	int fd = folder->fd >= 0 ? openat(folder->fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)
		: open(_CurrentPath(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
	if (fd < 0)
		return false;
	struct stat st;
	if (fstat(fd, &st) != 0 || !SameNode(st, folder->node)) {
		close(fd);
		return false;
	}
	DIR* dir = fdopendir(fd);
	if (dir == nullptr) {
		close(fd);
		return false;
	}
	while (struct dirent* dirent = readdir(dir)) {
		if (strcmp(dirent->d_name, ".") == 0 || strcmp(dirent->d_name, "..") == 0)
			continue;
		struct stat child;
		if (fstatat(dirfd(dir), dirent->d_name, &child, AT_SYMLINK_NOFOLLOW) != 0)
			continue;
		(*entries)[dirent->d_name] = Child{int64(child.st_ino), S_ISDIR(child.st_mode)};
	}
	closedir(dir);
	return true;
}

// #pragma mark - messages

void NodeMonitor::_Send(Watch* watch, uint32 flag, const BMessage& message)
{
	for (const Listener& listener : watch->listeners) {
		if ((listener.flags & flag) != 0)
			fOutgoing.push_back(Outgoing{listener.target, message});
	}
}

void NodeMonitor::_SendCreated(Watch* folder, int64 node, const std::string& name)
{
	BMessage message = MakeMessage(B_ENTRY_CREATED, folder->node);
	message.AddInt64("directory", folder->node.node);
	message.AddInt64("node", node);
	message.AddString("name", name);
	_Send(folder, B_WATCH_DIRECTORY, message);
}

void NodeMonitor::_SendRemoved(Watch* folder, int64 node, const std::string& name)
{
	BMessage message = MakeMessage(B_ENTRY_REMOVED, folder->node);
	message.AddInt64("directory", folder->node.node);
	message.AddInt64("node", node);
	message.AddString("name", name);
	_Send(folder, B_WATCH_DIRECTORY, message);
}

// #pragma mark - events

void NodeMonitor::_OnCreate(Watch* folder, const std::string& name)
{
	struct stat st;
	if (!_ChildStat(folder, name, &st))
		return;   // already gone again; its removal will not be reported either
	if (folder->haveEntries) {
		auto known = folder->entries.find(name);
		if (known != folder->entries.end() && known->second.node == int64(st.st_ino))
			return;
		folder->entries[name] = Child{int64(st.st_ino), S_ISDIR(st.st_mode)};
	}
	_SendCreated(folder, int64(st.st_ino), name);
	_HintChildren(folder, name);
}

void NodeMonitor::_OnDelete(Watch* folder, const std::string& name)
{
	int64 node = -1;
	if (folder->haveEntries) {
		auto known = folder->entries.find(name);
		if (known != folder->entries.end()) {
			node = known->second.node;
			folder->entries.erase(known);
		}
	}
	if (node >= 0)
		_SendRemoved(folder, node, name);
	_HintChildren(folder, name);
}

// Records which node left `name` of `folder`: from the folder's entry list
// when it is watched as a folder, else from the watched node known to have
// that name there. Nothing is read from the disk: the name may already mean
// another node by the time the event is read.
void NodeMonitor::_OnMovedFrom(Watch* folder, const std::string& name, uint32 cookie)
{
	int64 node = -1;
	bool isDir = false;
	if (folder->haveEntries) {
		auto known = folder->entries.find(name);
		if (known != folder->entries.end()) {
			node = known->second.node;
			isDir = known->second.isDir;
			folder->entries.erase(known);
		}
	}
	if (node < 0) {
		for (auto& entry : fWatches) {
			Watch* child = entry.second.get();
			if (child != folder && child->parent == folder->node && child->name == name) {
				node = child->node.node;
				isDir = child->isDir;
				break;
			}
		}
	}
	fPending.push_back(PendingMove{cookie, folder->node, name, node, isDir, fBatch});
}

void NodeMonitor::_OnMovedTo(Watch* folder, const std::string& name, uint32 cookie)
{
	auto pending = std::find_if(fPending.begin(), fPending.end(),
		[cookie](const PendingMove& move) { return move.cookie == cookie; });
	bool paired = pending != fPending.end();
	PendingMove move;
	if (paired) {
		move = *pending;
		fPending.erase(pending);
	}

	// The moved node is the one the old name referred to, as recorded with
	// the other half. Only when that is not known (a move in from a folder
	// nobody watches, or an old name we had no record of) is the new name
	// looked up. That look-up sees the folder as it is when the event is
	// read: if the name was taken over again since, it finds the later node.
	int64 node = -1;
	bool isDir = false;
	if (paired && move.node >= 0) {
		node = move.node;
		isDir = move.isDir;
	} else {
		struct stat st;
		if (_ChildStat(folder, name, &st)) {
			node = int64(st.st_ino);
			isDir = S_ISDIR(st.st_mode);
		}
	}
	if (node < 0)
		return;
	if (folder->haveEntries)
		folder->entries[name] = Child{node, isDir};

	node_ref movedNode{folder->node.device, node};
	Watch* moved = _ByNode(movedNode);
	if (!paired) {
		// From a folder nobody watches.
		_SendCreated(folder, node, name);
		if (moved != nullptr) {
			if (moved->Has(B_WATCH_NAME))
				_Resolve(moved);
			else {
				moved->parent = folder->node;
				moved->name = name;
			}
		}
		_HintChildren(folder, name);
		return;
	}

	Watch* from = _ByNode(move.fromDir);
	bool fromWatched = from != nullptr && from->Has(B_WATCH_DIRECTORY);
	bool toWatched = folder->Has(B_WATCH_DIRECTORY);
	if (fromWatched && toWatched) {
		BMessage message = MakeMessage(B_ENTRY_MOVED, folder->node);
		message.AddInt64("from directory", move.fromDir.node);
		message.AddInt64("to directory", folder->node.node);
		message.AddInt64("node", node);
		message.AddString("name", name);
		message.AddString("from name", move.name);
		_Send(from, B_WATCH_DIRECTORY, message);
		if (from != folder)
			_Send(folder, B_WATCH_DIRECTORY, message);
	} else if (fromWatched) {
		_SendRemoved(from, node, move.name);
	} else if (toWatched) {
		_SendCreated(folder, node, name);
	}

	if (moved != nullptr && moved != folder) {
		node_ref oldParent = moved->parent;
		moved->parent = folder->node;
		moved->name = name;
		if (moved->Has(B_WATCH_NAME) && !moved->removedReported) {
			BMessage message = MakeMessage(B_ENTRY_MOVED, folder->node);
			message.AddInt64("from directory", move.fromDir.node);
			message.AddInt64("to directory", folder->node.node);
			message.AddInt64("node", node);
			message.AddString("name", name);
			message.AddString("from name", move.name);
			_Send(moved, B_WATCH_NAME, message);
			if (moved->parentTracked && oldParent != folder->node) {
				Watch* oldFolder = _ByNode(oldParent);
				folder->childRefs++;
				_Update(folder);
				if (oldFolder != nullptr && oldFolder->childRefs > 0) {
					oldFolder->childRefs--;
					_Update(oldFolder);
				}
			}
		}
	}
	_HintChildren(folder, name);
}

// A move whose other half did not come: the entry left for a folder nobody
// watches.
void NodeMonitor::_FinishMove(const PendingMove& move)
{
	Watch* from = _ByNode(move.fromDir);
	if (from != nullptr && move.node >= 0)
		_SendRemoved(from, move.node, move.name);
	if (move.node < 0)
		return;
	Watch* moved = _ByNode(node_ref{move.fromDir.device, move.node});
	if (moved == nullptr)
		return;
	if (moved->Has(B_WATCH_NAME))
		_Resolve(moved);
	else if (moved->parent == move.fromDir && moved->name == move.name) {
		moved->parent = node_ref();
		moved->name.clear();
	}
}

// Name-watched nodes that were called `name` in `folder`: see where they
// are now.
void NodeMonitor::_HintChildren(Watch* folder, const std::string& name)
{
	std::vector<node_ref> hinted;
	for (auto& entry : fWatches) {
		Watch* child = entry.second.get();
		if (child != folder && child->parent == folder->node && child->name == name && child->Has(B_WATCH_NAME))
			hinted.push_back(child->node);
	}
	for (const node_ref& node : hinted) {
		if (Watch* child = _ByNode(node))
			_Resolve(child);
	}
}

// Where a name-watched node is now: removed, moved, or where it was.
void NodeMonitor::_Resolve(Watch* watch)
{
	if (watch->removedReported || watch->fd < 0)
		return;
	struct stat st;
	if (fstat(watch->fd, &st) != 0 || st.st_nlink == 0) {
		_ReportRemoved(watch);
		return;
	}
	char buffer[PATH_MAX];
	ssize_t length = readlink(ProcPath(watch->fd).c_str(), buffer, sizeof(buffer) - 1);
	if (length <= 0 || buffer[0] != '/')
		return;
	std::string path(buffer, size_t(length));
	static const std::string kDeleted = " (deleted)";
	if (path.size() > kDeleted.size() && path.compare(path.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0) {
		// This name of the node is gone (another hard link may remain).
		_ReportRemoved(watch);
		return;
	}
	watch->path = path;
	std::string parentPath = Dirname(path);
	std::string name = Basename(path);
	struct stat parentStat;
	if (parentPath.empty() || lstat(parentPath.c_str(), &parentStat) != 0)
		return;
	node_ref parent = node_ref_for_stat(parentStat);
	if (parent == watch->parent && name == watch->name)
		return;

	BMessage message = MakeMessage(B_ENTRY_MOVED, watch->node);
	message.AddInt64("from directory", watch->parent.node);
	message.AddInt64("to directory", parent.node);
	message.AddInt64("node", watch->node.node);
	message.AddString("name", name);
	message.AddString("from name", watch->name);
	_Send(watch, B_WATCH_NAME, message);

	bool tracked = watch->parentTracked;
	if (tracked)
		_ReleaseParent(watch);
	watch->parent = parent;
	watch->name = name;
	if (tracked)
		_AcquireParent(watch);
}

void NodeMonitor::_ReportRemoved(Watch* watch)
{
	if (watch->removedReported)
		return;
	watch->removedReported = true;
	BMessage message = MakeMessage(B_ENTRY_REMOVED, watch->node);
	message.AddInt64("directory", watch->parent.node);
	message.AddInt64("node", watch->node.node);
	message.AddString("name", watch->name);
	_Send(watch, B_WATCH_NAME, message);
	// Let the kernel free the node (and end the watch) now.
	if (watch->parentTracked)
		_ReleaseParent(watch);
	if (watch->fd >= 0 && !watch->Has(B_WATCH_DIRECTORY)) {
		close(watch->fd);
		watch->fd = -1;
	}
}

void NodeMonitor::_OnContentChanged(Watch* watch)
{
	if (!watch->Has(B_WATCH_STAT))
		return;
	struct stat st;
	if (_Stat(watch, &st)) {
		if (watch->haveStat && !StatDiffers(watch->st, st))
			return;
		watch->st = st;
		watch->haveStat = true;
	}
	BMessage message = MakeMessage(B_STAT_CHANGED, watch->node);
	message.AddInt64("node", watch->node.node);
	_Send(watch, B_WATCH_STAT, message);
}

// Stat and attribute changes after IN_ATTRIB (fromKernelEvent) or after an
// overflow (then an unexplained change time is not reported).
void NodeMonitor::_CheckChanges(Watch* watch, bool fromKernelEvent)
{
	bool wantStat = watch->Has(B_WATCH_STAT);
	bool wantAttr = watch->Has(B_WATCH_ATTR);
	if (!wantStat && !wantAttr)
		return;
	struct stat st;
	bool haveStat = _Stat(watch, &st);
	std::map<std::string, AttrState> attrs;
	bool haveAttrs = _ReadAttrs(watch, &attrs);

	std::vector<std::string> changed;
	if (haveAttrs && watch->haveAttrs) {
		auto note = [&changed](const std::string& xattr) {
			std::string companionOf;
			std::string name = attribute_name_for_xattr(xattr, &companionOf);
			if (name.empty())
				name = companionOf;
			if (!name.empty() && std::find(changed.begin(), changed.end(), name) == changed.end())
				changed.push_back(name);
		};
		for (const auto& entry : attrs) {
			auto old = watch->attrs.find(entry.first);
			if (old == watch->attrs.end() || !(old->second == entry.second))
				note(entry.first);
		}
		for (const auto& entry : watch->attrs) {
			if (attrs.count(entry.first) == 0)
				note(entry.first);
		}
	}
	bool statChanged = haveStat && watch->haveStat && StatDiffers(watch->st, st);
	bool unexplained = !haveStat || !watch->haveStat || !haveAttrs || !watch->haveAttrs
		|| (changed.empty() && !statChanged && CtimeDiffers(watch->st, st));
	if (haveStat) {
		watch->st = st;
		watch->haveStat = true;
	}
	if (haveAttrs) {
		watch->attrs = std::move(attrs);
		watch->haveAttrs = true;
	}

	if (unexplained && fromKernelEvent) {
		statChanged = true;
		if (changed.empty())
			changed.push_back(std::string());
	}
	for (const std::string& name : changed) {
		BMessage message = MakeMessage(B_ATTR_CHANGED, watch->node);
		message.AddInt64("node", watch->node.node);
		message.AddString("attr", name);
		_Send(watch, B_WATCH_ATTR, message);
	}
	if (statChanged) {
		BMessage message = MakeMessage(B_STAT_CHANGED, watch->node);
		message.AddInt64("node", watch->node.node);
		_Send(watch, B_WATCH_STAT, message);
	}
}

// After a queue overflow: compare everything with what we knew.
void NodeMonitor::_Resync()
{
	fPending.clear();
	std::vector<node_ref> nodes;
	for (auto& entry : fWatches)
		nodes.push_back(entry.second->node);
	for (const node_ref& node : nodes) {
		Watch* watch = _ByNode(node);
		if (watch == nullptr || !watch->haveEntries)
			continue;
		std::map<std::string, Child> now;
		if (!_ScanEntries(watch, &now))
			continue;
		std::map<std::string, Child> before = std::move(watch->entries);
		watch->entries = now;
		for (const auto& old : before) {
			auto current = now.find(old.first);
			if (current == now.end() || current->second.node != old.second.node)
				_SendRemoved(watch, old.second.node, old.first);
		}
		for (const auto& current : now) {
			auto old = before.find(current.first);
			if (old == before.end() || old->second.node != current.second.node)
				_SendCreated(watch, current.second.node, current.first);
		}
		// Children whose names changed unseen.
		for (auto& entry : fWatches) {
			Watch* child = entry.second.get();
			if (child->parent != watch->node)
				continue;
			auto byName = now.find(child->name);
			if (byName != now.end() && byName->second.node == child->node.node)
				continue;
			child->name.clear();
			child->parent = node_ref();
			for (const auto& current : now) {
				if (current.second.node == child->node.node) {
					child->name = current.first;
					child->parent = watch->node;
					break;
				}
			}
		}
	}
	for (const node_ref& node : nodes) {
		Watch* watch = _ByNode(node);
		if (watch == nullptr)
			continue;
		if (watch->Has(B_WATCH_NAME))
			_Resolve(watch);
		_CheckChanges(watch, false);
	}
}

void NodeMonitor::_ProcessBuffer(const char* buffer, size_t length)
{
	size_t offset = 0;
	while (offset + sizeof(struct inotify_event) <= length) {
		struct inotify_event event;
		memcpy(&event, buffer + offset, sizeof(event));
		size_t total = sizeof(struct inotify_event) + event.len;
		if (total > length - offset)
			break;
		std::string name;
		if (event.len > 0) {
			const char* text = buffer + offset + sizeof(struct inotify_event);
			name.assign(text, strnlen(text, event.len));
		}
		offset += total;

		if (event.mask & IN_Q_OVERFLOW) {
			_Resync();
			continue;
		}
		Watch* watch = _ByWd(event.wd);
		if (watch == nullptr)
			continue;
		if (event.mask & IN_IGNORED) {
			// The kernel ended the watch (node deleted, volume unmounted).
			_Erase(watch, false);
			continue;
		}
		if (!name.empty()) {
			if (event.mask & IN_CREATE)
				_OnCreate(watch, name);
			else if (event.mask & IN_DELETE)
				_OnDelete(watch, name);
			else if (event.mask & IN_MOVED_FROM)
				_OnMovedFrom(watch, name, event.cookie);
			else if (event.mask & IN_MOVED_TO)
				_OnMovedTo(watch, name, event.cookie);
			continue;
		}
		if (event.mask & (IN_MODIFY | IN_CLOSE_WRITE))
			_OnContentChanged(watch);
		if (event.mask & IN_ATTRIB) {
			if (watch->Has(B_WATCH_NAME))
				_Resolve(watch);
			if ((watch = _ByWd(event.wd)) != nullptr)
				_CheckChanges(watch, true);
		}
		if ((watch = _ByWd(event.wd)) == nullptr)
			continue;
		if (event.mask & IN_MOVE_SELF) {
			if (watch->Has(B_WATCH_NAME))
				_Resolve(watch);
		}
		if ((watch = _ByWd(event.wd)) == nullptr)
			continue;
		if (event.mask & IN_DELETE_SELF) {
			if (watch->Has(B_WATCH_NAME))
				_ReportRemoved(watch);
		}
	}
}

// Moves from earlier batches that found no other half are departures.
void NodeMonitor::_FinishBatch(bool idle)
{
	std::vector<PendingMove> finished;
	for (auto it = fPending.begin(); it != fPending.end();) {
		if (idle || it->batch < fBatch) {
			finished.push_back(*it);
			it = fPending.erase(it);
		} else {
			++it;
		}
	}
	for (const PendingMove& move : finished)
		_FinishMove(move);
}

bool NodeMonitor::_IsRegistered(const BMessenger& target)
{
	for (auto& entry : fWatches) {
		for (const Listener& listener : entry.second->listeners) {
			if (listener.target == target)
				return true;
		}
	}
	return false;
}

void NodeMonitor::_Deliver(std::vector<Outgoing>& outgoing)
{
	for (Outgoing& item : outgoing) {
		for (;;) {
			status_t status = item.target.SendMessage(&item.message, nullptr, kSendSlice);
			if (status == B_OK)
				break;
			std::lock_guard<std::mutex> lock(fLock);
			if (status == B_TIMED_OUT || status == B_WOULD_BLOCK) {
				if (!fQuit && _IsRegistered(item.target))
					continue;
				break;
			}
			if (status == B_BAD_PORT_ID) {
				// The target is gone for good: end its watches.
				std::vector<node_ref> nodes;
				for (auto& entry : fWatches)
					nodes.push_back(entry.second->node);
				for (const node_ref& node : nodes) {
					Watch* watch = _ByNode(node);
					if (watch == nullptr)
						continue;
					auto& listeners = watch->listeners;
					size_t before = listeners.size();
					listeners.erase(std::remove_if(listeners.begin(), listeners.end(),
						[&item](const Listener& listener) { return listener.target == item.target; }),
						listeners.end());
					if (listeners.size() != before)
						_Update(watch);
				}
			}
			break;
		}
	}
	outgoing.clear();
}

void NodeMonitor::_Run()
{
	std::vector<char> buffer(64 * 1024);
	std::vector<Outgoing> outgoing;
	for (;;) {
		bool waiting;
		{
			std::lock_guard<std::mutex> lock(fLock);
			if (fQuit)
				return;
			waiting = !fPending.empty();
		}
		struct pollfd fds[2] = {{fInotify, POLLIN, 0}, {fWake, POLLIN, 0}};
		int ready = poll(fds, 2, waiting ? kPairingWaitMs : -1);
		if (ready < 0 && errno != EINTR)
			return;
		if (fds[1].revents & POLLIN) {
			uint64 value;
			ssize_t ignored = read(fWake, &value, sizeof(value));
			(void)ignored;
		}
		{
			std::lock_guard<std::mutex> lock(fLock);
			if (fQuit)
				return;
			// One batch per turn, so that watchers waiting for the lock and
			// the targets waiting for messages are served between batches.
			ssize_t length = read(fInotify, buffer.data(), buffer.size());
			if (length > 0) {
				fBatch++;
				_ProcessBuffer(buffer.data(), size_t(length));
				_FinishBatch(false);
			} else if (waiting && ready == 0) {
				fBatch++;
				_FinishBatch(true);
			}
			outgoing.swap(fOutgoing);
		}
		_Deliver(outgoing);
	}
}

// #pragma mark - interface

status_t NodeMonitor::WatchNode(const node_ref& node, uint32 flags, const BMessenger& target)
{
	if ((flags & ~uint32(B_WATCH_ALL)) != 0 || (flags != B_STOP_WATCHING && !target.IsValid()))
		return B_BAD_VALUE;
	// Resolved before taking the lock: the path look-up asks us too.
	std::string path;
	status_t pathStatus = flags == B_STOP_WATCHING ? B_OK : get_path_for_node(node, &path);

	std::lock_guard<std::mutex> lock(fLock);
	Watch* watch = _ByNode(node);
	if (flags == B_STOP_WATCHING) {
		if (watch == nullptr)
			return B_OK;
		auto& listeners = watch->listeners;
		listeners.erase(std::remove_if(listeners.begin(), listeners.end(),
			[&target](const Listener& listener) { return listener.target == target; }),
			listeners.end());
		_Update(watch);
		return B_OK;
	}

	status_t status = _Start();
	if (status != B_OK)
		return status;
	if (watch == nullptr) {
		if (pathStatus != B_OK)
			return pathStatus;
		watch = _Create(node, path, &status);
		if (watch == nullptr)
			return status;
	}
	auto existing = std::find_if(watch->listeners.begin(), watch->listeners.end(),
		[&target](const Listener& listener) { return listener.target == target; });
	uint32 oldFlags = 0;
	if (existing != watch->listeners.end()) {
		oldFlags = existing->flags;
		existing->flags |= flags;
	} else {
		watch->listeners.push_back(Listener{target, flags});
	}
	if (!_Update(watch, &status))
		return status;
	if (status != B_OK) {
		// The kernel refused the new mask: undo the new flags.
		auto listener = std::find_if(watch->listeners.begin(), watch->listeners.end(),
			[&target](const Listener& listener) { return listener.target == target; });
		if (listener != watch->listeners.end()) {
			if (oldFlags == 0)
				watch->listeners.erase(listener);
			else
				listener->flags = oldFlags;
		}
		_Update(watch);
		return status;
	}
	return B_OK;
}

status_t NodeMonitor::StopWatching(const BMessenger& target)
{
	std::lock_guard<std::mutex> lock(fLock);
	std::vector<node_ref> nodes;
	for (auto& entry : fWatches)
		nodes.push_back(entry.second->node);
	for (const node_ref& node : nodes) {
		Watch* watch = _ByNode(node);
		if (watch == nullptr)
			continue;
		auto& listeners = watch->listeners;
		size_t before = listeners.size();
		listeners.erase(std::remove_if(listeners.begin(), listeners.end(),
			[&target](const Listener& listener) { return listener.target == target; }),
			listeners.end());
		if (listeners.size() != before)
			_Update(watch);
	}
	return B_OK;
}

bool NodeMonitor::PathFor(const node_ref& node, std::string* path)
{
	std::lock_guard<std::mutex> lock(fLock);
	Watch* watch = _ByNode(node);
	if (watch == nullptr)
		return false;
	*path = _CurrentPath(watch);
	return !path->empty();
}

}   // namespace

status_t watch_node(const node_ref* node, uint32 flags, const BMessenger& target)
{
	if (node == nullptr || node->node < 0)
		return B_BAD_VALUE;
	return NodeMonitor::Default().WatchNode(*node, flags, target);
}

status_t watch_node(const node_ref* node, uint32 flags, const BHandler* handler, const BLooper* looper)
{
	status_t status = B_OK;
	BMessenger target(handler, looper, &status);
	if (status != B_OK)
		return status;
	return watch_node(node, flags, target);
}

status_t stop_watching(const BMessenger& target)
{
	return NodeMonitor::Default().StopWatching(target);
}

status_t stop_watching(const BHandler* handler, const BLooper* looper)
{
	status_t status = B_OK;
	BMessenger target(handler, looper, &status);
	if (status != B_OK)
		return status;
	return stop_watching(target);
}

bool watched_node_path(const node_ref& node, std::string* path)
{
	if (path == nullptr)
		return false;
	return NodeMonitor::Default().PathFor(node, path);
}
