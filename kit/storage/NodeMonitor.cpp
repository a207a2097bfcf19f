// The node monitor over inotify: one descriptor and one reader thread for
// the process, the translation of kernel events into node monitor messages,
// and the public interface. The watch table, the snapshots and their
// comparison, the pairing of moves and the delivery have files of their
// own (see NodeMonitorPrivate.h).
#include "kit/storage/NodeMonitor.h"

#include "kit/storage/NodeMonitorPrivate.h"

namespace node_monitor {

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
	_RemoveListener(target);
	return B_OK;
}

void NodeMonitor::_RemoveListener(const BMessenger& target)
{
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

}   // namespace node_monitor

using node_monitor::NodeMonitor;

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
