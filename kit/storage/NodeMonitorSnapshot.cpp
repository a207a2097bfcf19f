// The node monitor's snapshots: attributes and folder entries as last seen,
// and the comparison with what is there now (after a kernel event, or for
// everything after a queue overflow).
#include "kit/storage/NodeMonitorPrivate.h"

namespace node_monitor {

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

}   // namespace node_monitor
