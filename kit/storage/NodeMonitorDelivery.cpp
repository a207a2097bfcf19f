// The node monitor's messages and their delivery to the watchers, in
// order, by the rule of PostInOrder.
#include "kit/storage/NodeMonitorPrivate.h"
#include "kit/app/OrderedPoster.h"

namespace node_monitor {

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
		// Waits for room while the target still watches something.
		status_t status = PostInOrder(item.target, &item.message, [this, &item] {
			std::lock_guard<std::mutex> lock(fLock);
			return !fQuit && _IsRegistered(item.target);
		});
		if (status != B_BAD_PORT_ID)
			continue;   // delivered, or given up by the rule
		// The target is gone for good: end its watches.
		std::lock_guard<std::mutex> lock(fLock);
		_RemoveListener(item.target);
	}
	outgoing.clear();
}

}   // namespace node_monitor
