// The node monitor's pairing of moves: the two halves of a rename, moves
// whose other half never comes, and where a name-watched node went.
#include "kit/storage/NodeMonitorPrivate.h"

namespace node_monitor {

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

}   // namespace node_monitor
