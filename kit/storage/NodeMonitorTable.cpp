// The node monitor's watch table: entries by descriptor and by node, the
// kernel watches and descriptors they need, and the folders of name-watched
// nodes.
#include "kit/storage/NodeMonitorPrivate.h"

namespace node_monitor {

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

}   // namespace node_monitor
