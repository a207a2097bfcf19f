// The path monitor: watched entries, the folders above them, and the new
// full paths after renames and moves.
#include "projects/PathMonitor.h"

#include "frame/Diagnostics.h"
#include "kit/storage/Entry.h"
#include "kit/storage/NodeMonitor.h"
#include "kit/support/Message.h"

#include <algorithm>

namespace {

const MonitorWatcherNames kPathNames = {
	"path_monitor_watcher", "path_monitor_worker_block", "path_monitor_worker"};

constexpr uint32 kEntryFlags = B_WATCH_NAME | B_WATCH_STAT | B_WATCH_ATTR;
constexpr uint32 kFolderFlags = B_WATCH_NAME;

bool SameNode(const node_ref& mapped, int32 device, int64 node)
{
	return int32(mapped.device) == device && mapped.node == node;
}

}   // namespace

CPathMonitor::CPathMonitor()
{
	fStatus = CMonitorWatcher::Connect(kPathNames, this, &fWatcher, &fMessenger);
}

CPathMonitor::~CPathMonitor()
{
	CMonitorWatcher::Disconnect(this, &fWatcher, fMessenger);
}

status_t CPathMonitor::StartWatch(CPathMonitorClient* client, const BEntry* entry)
{
	if (client == nullptr || entry == nullptr)
		return B_BAD_VALUE;
	if (entry->InitCheck() != B_OK)
		return entry->InitCheck();
	if (fStatus != B_OK)
		return fStatus;
	BAutolock lock(fLock);
	return _Watch(client, *entry);
}

status_t CPathMonitor::StartWatch(CPathMonitorClient* client, int32 device, int64 folder, const char* name)
{
	entry_ref ref;
	status_t status = get_ref_for_entry(int64(uint32(device)), folder, name, &ref);
	if (status != B_OK)
		return status;
	BEntry entry(&ref, false);
	return StartWatch(client, &entry);
}

status_t CPathMonitor::StopWatch(CPathMonitorClient* client, int32 device, int64 node)
{
	BAutolock lock(fLock);
	return _Unwatch(client, device, node) ? B_OK : B_ENTRY_NOT_FOUND;
}

int32 CPathMonitor::CountWatchedNodes() const
{
	BAutolock lock(fLock);
	return int32(fNodes.size());
}

// Maps the entry and every folder above it for the client; afterwards the
// client is mapped on exactly that chain (mappings of an earlier chain that
// is no longer above the entry are given up).
status_t CPathMonitor::_Watch(CPathMonitorClient* client, const BEntry& entry)
{
	node_ref node;
	status_t status = entry.GetNodeRef(&node);
	if (status != B_OK)
		return status;
	ClientMapping mapping{client, int32(node.device), node.node};
	std::vector<node_ref> chain;
	BEntry current = entry;
	bool first = true;
	for (;;) {
		status = _AddMapping(current, first, mapping);
		if (status != B_OK) {
			_Unwatch(client, mapping.device, mapping.node);
			return status;
		}
		node_ref currentNode;
		current.GetNodeRef(&currentNode);
		chain.push_back(currentNode);
		first = false;
		BEntry parent;
		status = current.GetParent(&parent);
		if (status == B_ENTRY_NOT_FOUND)
			break;   // the root
		if (status != B_OK) {
			_Unwatch(client, mapping.device, mapping.node);
			return status;
		}
		current = parent;
	}

	// Folders the entry was below before a move.
	for (auto it = fNodes.begin(); it != fNodes.end();) {
		NodeMapping& nodeMapping = **it;
		bool onChain = std::any_of(chain.begin(), chain.end(), [&](const node_ref& link) {
			return SameNode(nodeMapping.node, int32(link.device), link.node);
		});
		auto& clients = nodeMapping.clients;
		size_t before = clients.size();
		if (!onChain) {
			clients.erase(std::remove_if(clients.begin(), clients.end(), [&](const ClientMapping& other) {
				return other.client == client && other.device == mapping.device && other.node == mapping.node;
			}), clients.end());
		}
		if (clients.empty() && before > 0) {
			watch_node(&nodeMapping.node, B_STOP_WATCHING, fMessenger);
			it = fNodes.erase(it);
		} else {
			++it;
		}
	}
	return B_OK;
}

status_t CPathMonitor::_AddMapping(const BEntry& entry, bool asEntry, const ClientMapping& client)
{
	node_ref node;
	status_t status = entry.GetNodeRef(&node);
	if (status != B_OK)
		return status;
	entry_ref ref;
	status = entry.GetRef(&ref);
	if (status != B_OK)
		return status;
	bool isRoot = ref.name == ".";
	NodeMapping* mapping = _Find(int32(node.device), node.node);
	bool created = mapping == nullptr;
	if (created) {
		fNodes.push_back(std::make_unique<NodeMapping>());
		mapping = fNodes.back().get();
		mapping->node = node;
	}
	if (created || (asEntry && !mapping->entry)) {
		status = watch_node(&node, asEntry ? kEntryFlags : kFolderFlags, fMessenger);
		if (status != B_OK) {
			if (created)
				fNodes.pop_back();
			return status;
		}
	}
	mapping->parent = isRoot ? node_ref{node.device, -1} : node_ref{ref.device, ref.directory};
	mapping->name = isRoot ? std::string() : ref.name;
	mapping->entry = mapping->entry || asEntry;
	bool present = std::any_of(mapping->clients.begin(), mapping->clients.end(), [&](const ClientMapping& other) {
		return other.client == client.client && other.device == client.device && other.node == client.node;
	});
	if (!present)
		mapping->clients.push_back(client);
	return B_OK;
}

bool CPathMonitor::_Unwatch(CPathMonitorClient* client, int32 device, int64 node)
{
	bool found = false;
	for (auto it = fNodes.begin(); it != fNodes.end();) {
		NodeMapping& mapping = **it;
		auto& clients = mapping.clients;
		size_t before = clients.size();
		clients.erase(std::remove_if(clients.begin(), clients.end(), [&](const ClientMapping& other) {
			return other.client == client && other.device == device && other.node == node;
		}), clients.end());
		if (clients.size() != before)
			found = true;
		if (clients.empty()) {
			watch_node(&mapping.node, B_STOP_WATCHING, fMessenger);
			it = fNodes.erase(it);
			continue;
		}
		mapping.entry = std::any_of(clients.begin(), clients.end(), [&](const ClientMapping& other) {
			return SameNode(mapping.node, other.device, other.node);
		});
		++it;
	}
	return found;
}

CPathMonitor::NodeMapping* CPathMonitor::_Find(int32 device, int64 node)
{
	for (auto& mapping : fNodes) {
		if (SameNode(mapping->node, device, node))
			return mapping.get();
	}
	return nullptr;
}

bool CPathMonitor::_PathOf(const NodeMapping& mapping, std::string* path)
{
	if (mapping.parent.node < 0) {
		*path = "/";
		return true;
	}
	entry_ref ref;
	if (get_ref_for_entry(mapping.parent.device, mapping.parent.node, mapping.name.c_str(), &ref) != B_OK)
		return false;
	*path = ref.Path();
	return true;
}

void CPathMonitor::HandleNodeMonitorMessage(const BMessage* message)
{
	int32 opcode;
	if (message->FindInt32("opcode", &opcode) != B_OK)
		return;
	switch (opcode) {
		case B_ENTRY_MOVED:
			_EntryMoved(message);
			break;
		case B_ENTRY_REMOVED:
		case B_STAT_CHANGED:
		case B_ATTR_CHANGED:
			_NodeEvent(message, opcode);
			break;
		default:
			// Creations are of no interest here.
			break;
	}
}

void CPathMonitor::_EntryMoved(const BMessage* message)
{
	int32 device;
	int64 node;
	int64 from;
	int64 to;
	const char* name;
	if (message->FindInt32("device", &device) != B_OK || message->FindInt64("node", &node) != B_OK
		|| message->FindInt64("from directory", &from) != B_OK || message->FindInt64("to directory", &to) != B_OK
		|| message->FindString("name", &name) != B_OK)
		return;

	std::vector<PathCall> calls;
	{
		BAutolock lock(fLock);
		NodeMapping* mapping = _Find(device, node);
		if (mapping == nullptr) {
			// Its watch ended after the message was sent.
			CDebugFunctionTracer::Trace("CPathMonitor: node %lld is not watched\n", (long long)node);
			return;
		}
		mapping->name = name;
		bool folderChanged = mapping->parent.node != to;
		if (folderChanged)
			mapping->parent = node_ref{mapping->node.device, to};
		std::vector<ClientMapping> clients = mapping->clients;
		for (const ClientMapping& client : clients) {
			NodeMapping* watched = _Find(client.device, client.node);
			std::string path;
			if (watched == nullptr || !_PathOf(*watched, &path)) {
				CDebugFunctionTracer::Trace("CPathMonitor: no path for node %lld\n", (long long)client.node);
				continue;
			}
			calls.push_back(PathCall{client.client, client.device, client.node, path});
			if (folderChanged) {
				// New folders above the entry: watch them instead.
				BEntry entry(path.c_str(), false);
				if (entry.InitCheck() == B_OK)
					_Watch(client.client, entry);
			}
		}
	}
	for (const PathCall& call : calls)
		call.client->EntryPathChanged(call.device, call.node, call.path.c_str());
}

void CPathMonitor::_NodeEvent(const BMessage* message, int32 opcode)
{
	int32 device;
	int64 node;
	if (message->FindInt32("device", &device) != B_OK || message->FindInt64("node", &node) != B_OK)
		return;
	std::vector<CPathMonitorClient*> clients;
	{
		BAutolock lock(fLock);
		NodeMapping* mapping = _Find(device, node);
		if (mapping == nullptr)
			return;
		// Only the clients that watch this node itself hear about it.
		for (const ClientMapping& client : mapping->clients) {
			if (client.device == device && client.node == node)
				clients.push_back(client.client);
		}
	}
	for (CPathMonitorClient* client : clients) {
		if (opcode == B_ENTRY_REMOVED)
			client->EntryRemoved(device, node);
		else if (opcode == B_STAT_CHANGED)
			client->EntryStatChanged(device, node);
		else
			client->EntryAttrChanged(device, node);
	}
}
