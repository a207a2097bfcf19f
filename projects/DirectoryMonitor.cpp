// The shared monitor looper and worker, and the directory monitor.
#include "projects/DirectoryMonitor.h"

#include "frame/Diagnostics.h"
#include "frame/util.h"
#include "kit/app/Handler.h"
#include "kit/app/Looper.h"
#include "kit/storage/Directory.h"
#include "kit/storage/Entry.h"
#include "kit/storage/NodeMonitor.h"
#include "kit/support/Message.h"

#include <algorithm>

namespace {

constexpr int32 kLooperPriority = 13;
constexpr int32 kLooperCapacity = 100;
constexpr int32 kWorkerPriority = 8;

const MonitorWatcherNames kDirectoryNames = {
	"dir_monitor_watcher", "dir_monitor_worker_block", "dir_monitor_worker"};

struct WatcherClass {
	std::shared_ptr<CMonitorWatcher> watcher;
	int32 instances = 0;
};

std::mutex sClassesLock;
std::map<std::string, WatcherClass> sClasses;   // by looper name, guarded by sClassesLock

bool SameDevice(int32 a, int32 b)
{
	return a == b;
}

int32 DeviceOf(const node_ref& node)
{
	return int32(node.device);
}

node_ref NodeOf(int32 device, int64 node)
{
	// The kit compares devices by their low 32 bits.
	return node_ref{int64(uint32(device)), node};
}

template<typename Client, typename Call>
void CallClients(const std::vector<Client*>& clients, Call call)
{
	for (Client* client : clients)
		call(client);
}

}   // namespace

// #pragma mark - CMonitorHandler

// One monitor instance's handler in the shared looper.
class CMonitorHandler : public BHandler {
public:
	CMonitorHandler(CMonitorWatcher* watcher, CMonitorWatcherClient* client)
		: BHandler("monitor client"), fWatcher(watcher), fClient(client)
	{
	}

	void MessageReceived(BMessage* msg) override
	{
		DEBUG_ASSERT(msg->what == B_NODE_MONITOR);
		if (msg->what != B_NODE_MONITOR) {
			BHandler::MessageReceived(msg);
			return;
		}
		fWatcher->_Enqueue(fClient, msg);
	}

private:
	CMonitorWatcher* fWatcher;
	CMonitorWatcherClient* fClient;
};

// #pragma mark - CMonitorWatcher

std::shared_ptr<CMonitorWatcher> CMonitorWatcher::Acquire(const MonitorWatcherNames& names)
{
	std::lock_guard<std::mutex> lock(sClassesLock);
	WatcherClass& slot = sClasses[names.looper];
	if (slot.watcher == nullptr) {
		std::shared_ptr<CMonitorWatcher> watcher(new CMonitorWatcher(names));
		if (watcher->_Start(watcher) != B_OK) {
			watcher->_Stop();
			return nullptr;
		}
		slot.watcher = watcher;
	}
	slot.instances++;
	return slot.watcher;
}

void CMonitorWatcher::Release(std::shared_ptr<CMonitorWatcher> watcher)
{
	if (watcher == nullptr)
		return;
	std::shared_ptr<CMonitorWatcher> last;
	{
		std::lock_guard<std::mutex> lock(sClassesLock);
		auto found = sClasses.find(watcher->fNames.looper);
		if (found == sClasses.end() || found->second.watcher != watcher)
			return;
		if (--found->second.instances == 0) {
			last = std::move(found->second.watcher);
			sClasses.erase(found);
		}
	}
	if (last != nullptr)
		last->_Stop();
}

CMonitorWatcher::CMonitorWatcher(const MonitorWatcherNames& names) : fNames(names)
{
}

CMonitorWatcher::~CMonitorWatcher()
{
	if (fBlock >= 0)
		delete_sem(fBlock);
}

status_t CMonitorWatcher::_Start(const std::shared_ptr<CMonitorWatcher>& self)
{
	fBlock = create_sem(0, fNames.semaphore);
	if (fBlock < 0)
		return fBlock;
	fLooper = new BLooper(fNames.looper, kLooperPriority, kLooperCapacity);
	thread_id looperThread = fLooper->Run();
	if (looperThread < 0) {
		delete fLooper;
		fLooper = nullptr;
		return looperThread;
	}
	// The worker keeps the watcher alive until it ends.
	auto* keep = new std::shared_ptr<CMonitorWatcher>(self);
	fWorker = spawn_thread(_WorkerEntry, fNames.worker, kWorkerPriority, keep);
	if (fWorker < 0) {
		delete keep;
		return fWorker;
	}
	resume_thread(fWorker);
	return B_OK;
}

void CMonitorWatcher::_Stop()
{
	if (fLooper != nullptr) {
		BLooper* looper = fLooper;
		fLooper = nullptr;
		looper->Lock();
		looper->Quit();
	}
	{
		std::lock_guard<std::mutex> lock(fQueueLock);
		fQuit = true;
	}
	if (fWorker < 0)
		return;
	give_sem(fBlock);
	if (IsWorkerThread()) {
		detach_thread(fWorker);
		return;
	}
	status_t ignored;
	wait_for_thread(fWorker, &ignored);
}

BMessenger CMonitorWatcher::Register(CMonitorWatcherClient* client)
{
	auto* handler = new CMonitorHandler(this, client);
	{
		std::lock_guard<std::mutex> lock(fQueueLock);
		fHandlers[client] = handler;
	}
	fLooper->Lock();
	fLooper->AddHandler(handler);
	fLooper->Unlock();
	return BMessenger(handler, fLooper);
}

void CMonitorWatcher::Unregister(CMonitorWatcherClient* client)
{
	CMonitorHandler* handler = nullptr;
	{
		std::lock_guard<std::mutex> lock(fQueueLock);
		auto found = fHandlers.find(client);
		if (found != fHandlers.end()) {
			handler = found->second;
			fHandlers.erase(found);
		}
	}
	if (handler != nullptr) {
		// Waits for a dispatch to the handler in progress.
		fLooper->Lock();
		fLooper->RemoveHandler(handler);
		fLooper->Unlock();
		delete handler;
	}
	std::unique_lock<std::mutex> lock(fQueueLock);
	fQueue.erase(std::remove_if(fQueue.begin(), fQueue.end(), [client](const Item& item) { return item.client == client; }),
		fQueue.end());
	if (!IsWorkerThread())
		fIdle.wait(lock, [this, client] { return fCurrent != client; });
}

void CMonitorWatcher::_Enqueue(CMonitorWatcherClient* client, const BMessage* message)
{
	{
		std::lock_guard<std::mutex> lock(fQueueLock);
		fQueue.push_back(Item{client, std::make_unique<BMessage>(*message)});
	}
	give_sem(fBlock);
}

status_t CMonitorWatcher::_WorkerEntry(void* data)
{
	auto* keep = static_cast<std::shared_ptr<CMonitorWatcher>*>(data);
	(*keep)->_Work();
	delete keep;
	return B_OK;
}

void CMonitorWatcher::_Work()
{
	for (;;) {
		if (take_sem(fBlock) != B_OK)
			return;
		Item item;
		{
			std::lock_guard<std::mutex> lock(fQueueLock);
			if (fQueue.empty()) {
				if (fQuit)
					return;
				continue;   // its messages were dropped by Unregister
			}
			item = std::move(fQueue.front());
			fQueue.pop_front();
			fCurrent = item.client;
		}
		item.client->HandleNodeMonitorMessage(item.message.get());
		item.message.reset();
		{
			std::lock_guard<std::mutex> lock(fQueueLock);
			fCurrent = nullptr;
		}
		fIdle.notify_all();
	}
}

// #pragma mark - CDirectoryMonitor

status_t CMonitorWatcher::Connect(const MonitorWatcherNames& names, CMonitorWatcherClient* client,
	std::shared_ptr<CMonitorWatcher>* watcher, BMessenger* messenger)
{
	*watcher = Acquire(names);
	if (*watcher == nullptr)
		return B_NO_MORE_THREADS;
	*messenger = (*watcher)->Register(client);
	return B_OK;
}

void CMonitorWatcher::Disconnect(CMonitorWatcherClient* client, std::shared_ptr<CMonitorWatcher>* watcher,
	const BMessenger& messenger)
{
	if (*watcher == nullptr)
		return;
	stop_watching(messenger);
	(*watcher)->Unregister(client);
	// A callback that was running may have started watches meanwhile.
	stop_watching(messenger);
	Release(std::move(*watcher));
}

CDirectoryMonitor::CDirectoryMonitor()
{
	fStatus = CMonitorWatcher::Connect(kDirectoryNames, this, &fWatcher, &fMessenger);
}

CDirectoryMonitor::~CDirectoryMonitor()
{
	CMonitorWatcher::Disconnect(this, &fWatcher, fMessenger);
}

status_t CDirectoryMonitor::StartWatch(CDirectoryMonitorClient* client, int32 device, int64 folder)
{
	if (client == nullptr)
		return B_BAD_VALUE;
	if (fStatus != B_OK)
		return fStatus;
	BAutolock lock(fLock);
	FolderMapping* mapping = _FindFolder(device, folder);
	if (mapping == nullptr) {
		node_ref folderNode = NodeOf(device, folder);
		BDirectory dir(&folderNode);
		if (dir.InitCheck() != B_OK)
			return dir.InitCheck();
		// Watched before it is read, so no entry made meanwhile is missed
		// (one seen both ways is reported once).
		status_t status = watch_node(&folderNode, B_WATCH_DIRECTORY, fMessenger);
		if (status != B_OK)
			return status;
		fFolders.push_back(FolderMapping{device, folder, {}});
		BEntry entry;
		while (dir.GetNextEntry(&entry, false) == B_OK) {
			node_ref node;
			if (entry.GetNodeRef(&node) != B_OK)
				continue;   // gone meanwhile
			std::string name;
			entry.GetName(&name);
			_AddContent(device, folder, node.node, name.c_str());
		}
		mapping = &fFolders.back();
	}
	mapping->clients.push_back(client);
	return B_OK;
}

status_t CDirectoryMonitor::StartWatch(CDirectoryMonitorClient* client, const BEntry* entry)
{
	if (entry == nullptr)
		return B_BAD_VALUE;
	BDirectory dir(entry);
	if (dir.InitCheck() != B_OK)
		return dir.InitCheck();
	node_ref node;
	status_t status = dir.GetNodeRef(&node);
	if (status != B_OK)
		return status;
	return StartWatch(client, DeviceOf(node), node.node);
}

status_t CDirectoryMonitor::StopWatch(CDirectoryMonitorClient* client, int32 device, int64 folder)
{
	BAutolock lock(fLock);
	FolderMapping* mapping = _FindFolder(device, folder);
	DEBUG_ASSERT(mapping != nullptr);
	if (mapping == nullptr)
		return B_ERROR;
	auto found = std::find(mapping->clients.begin(), mapping->clients.end(), client);
	DEBUG_ASSERT(found != mapping->clients.end());
	if (found == mapping->clients.end())
		return B_ERROR;
	mapping->clients.erase(found);
	if (!mapping->clients.empty())
		return B_OK;

	fFolders.erase(fFolders.begin() + (mapping - fFolders.data()));
	_UpdateWatch(device, folder);
	std::vector<int64> nodes;
	for (auto it = fContents.begin(); it != fContents.end();) {
		if (SameDevice(it->device, device) && it->folder == folder) {
			nodes.push_back(it->node);
			it = fContents.erase(it);
		} else {
			++it;
		}
	}
	for (int64 node : nodes)
		_UpdateWatch(device, node);
	return B_OK;
}

int32 CDirectoryMonitor::CountWatchedFolders() const
{
	BAutolock lock(fLock);
	return int32(fFolders.size());
}

int32 CDirectoryMonitor::CountWatchedEntries() const
{
	BAutolock lock(fLock);
	return int32(fContents.size());
}

void CDirectoryMonitor::HandleNodeMonitorMessage(const BMessage* message)
{
	int32 opcode;
	if (message->FindInt32("opcode", &opcode) != B_OK)
		return;
	switch (opcode) {
		case B_ENTRY_CREATED:
			_EntryCreated(message);
			break;
		case B_ENTRY_REMOVED:
			_EntryRemoved(message);
			break;
		case B_ENTRY_MOVED:
			_EntryMoved(message);
			break;
		case B_STAT_CHANGED:
			_NodeChanged(message, false);
			break;
		case B_ATTR_CHANGED:
			_NodeChanged(message, true);
			break;
		default:
			break;
	}
}

void CDirectoryMonitor::_EntryCreated(const BMessage* message)
{
	int32 device;
	int64 directory;
	int64 node;
	const char* name;
	if (message->FindInt32("device", &device) != B_OK || message->FindInt64("directory", &directory) != B_OK
		|| message->FindInt64("node", &node) != B_OK || message->FindString("name", &name) != B_OK)
		return;
	ClientList clients;
	{
		BAutolock lock(fLock);
		FolderMapping* mapping = _FindFolder(device, directory);
		if (mapping == nullptr) {
			CDebugFunctionTracer::Trace("entry not watched\n");
			return;
		}
		// Already seen when the folder was read.
		if (_HasContent(device, directory, node))
			return;
		_AddContent(device, directory, node, name);
		clients = mapping->clients;
	}
	CallClients(clients, [&](CDirectoryMonitorClient* client) { client->EntryCreated(device, directory, node, name); });
}

void CDirectoryMonitor::_EntryRemoved(const BMessage* message)
{
	int32 device;
	int64 directory;
	int64 node;
	if (message->FindInt32("device", &device) != B_OK || message->FindInt64("directory", &directory) != B_OK
		|| message->FindInt64("node", &node) != B_OK)
		return;
	ClientList clients;
	{
		BAutolock lock(fLock);
		FolderMapping* mapping = _FindFolder(device, directory);
		if (mapping == nullptr || mapping->clients.empty())
			return;
		_RemoveContent(device, directory, node);
		clients = mapping->clients;
	}
	CallClients(clients, [&](CDirectoryMonitorClient* client) { client->EntryRemoved(device, directory, node); });
}

void CDirectoryMonitor::_EntryMoved(const BMessage* message)
{
	int32 device;
	int64 from;
	int64 to;
	int64 node;
	const char* name;
	if (message->FindInt32("device", &device) != B_OK || message->FindInt64("from directory", &from) != B_OK
		|| message->FindInt64("to directory", &to) != B_OK || message->FindInt64("node", &node) != B_OK
		|| message->FindString("name", &name) != B_OK)
		return;

	ClientList renamedClients;
	ClientList removedClients;
	ClientList createdClients;
	{
		BAutolock lock(fLock);
		FolderMapping* fromMapping = _FindFolder(device, from);
		FolderMapping* toMapping = _FindFolder(device, to);
		if (from == to) {
			if (fromMapping != nullptr)
				renamedClients = fromMapping->clients;
		} else {
			bool removal = fromMapping != nullptr;
			bool creation = toMapping != nullptr;
			if (removal && creation) {
				// Reported once for each of the two folders: the first
				// report is the creation in the target, the second the
				// removal from the source.
				removal = !fCreationNext;
				creation = fCreationNext;
				fCreationNext = !fCreationNext;
			}
			if (creation) {
				if (!_HasContent(device, to, node)) {
					_AddContent(device, to, node, name);
					createdClients = toMapping->clients;
				}
			}
			if (removal) {
				_RemoveContent(device, from, node);
				removedClients = fromMapping->clients;
			}
		}
	}
	CallClients(renamedClients,
		[&](CDirectoryMonitorClient* client) { client->EntryRenamed(device, from, node, name); });
	CallClients(removedClients, [&](CDirectoryMonitorClient* client) { client->EntryRemoved(device, from, node); });
	CallClients(createdClients,
		[&](CDirectoryMonitorClient* client) { client->EntryCreated(device, to, node, name); });
}

void CDirectoryMonitor::_NodeChanged(const BMessage* message, bool attributes)
{
	int32 device;
	int64 node;
	if (message->FindInt32("device", &device) != B_OK || message->FindInt64("node", &node) != B_OK)
		return;
	// A node with links in several watched folders is reported for each.
	std::vector<std::pair<int64, ClientList>> calls;
	{
		BAutolock lock(fLock);
		for (const ContentMapping& content : fContents) {
			if (!SameDevice(content.device, device) || content.node != node)
				continue;
			FolderMapping* mapping = _FindFolder(device, content.folder);
			if (mapping == nullptr) {
				CDebugFunctionTracer::Trace("ERROR, not watching direcotry of this node\n");
				DEBUG_ASSERT(mapping != nullptr);
				continue;
			}
			calls.emplace_back(content.folder, mapping->clients);
		}
		if (calls.empty()) {
			CDebugFunctionTracer::Trace("not watching node\n");
			return;
		}
	}
	for (const auto& [folder, clients] : calls) {
		int64 directory = folder;
		CallClients(clients, [&](CDirectoryMonitorClient* client) {
			if (attributes)
				client->EntryAttrChanged(device, directory, node);
			else
				client->EntryStatChanged(device, directory, node);
		});
	}
}

CDirectoryMonitor::FolderMapping* CDirectoryMonitor::_FindFolder(int32 device, int64 folder)
{
	for (FolderMapping& mapping : fFolders) {
		if (SameDevice(mapping.device, device) && mapping.folder == folder)
			return &mapping;
	}
	return nullptr;
}

bool CDirectoryMonitor::_HasContent(int32 device, int64 folder, int64 node) const
{
	return std::any_of(fContents.begin(), fContents.end(), [&](const ContentMapping& content) {
		return SameDevice(content.device, device) && content.folder == folder && content.node == node;
	});
}

void CDirectoryMonitor::_AddContent(int32 device, int64 folder, int64 node, const char* name)
{
	if (_HasContent(device, folder, node))
		return;
	fContents.push_back(ContentMapping{device, folder, node});
	// The node must be known to the kit before it can be watched: meet it
	// through its entry (it may be gone already; its removal follows).
	entry_ref ref;
	if (name != nullptr && get_ref_for_entry(int64(uint32(device)), folder, name, &ref) == B_OK) {
		BEntry entry(&ref, false);
		node_ref found;
		entry.GetNodeRef(&found);
	}
	node_ref watched = NodeOf(device, node);
	watch_node(&watched, B_WATCH_STAT | B_WATCH_ATTR, fMessenger);
}

void CDirectoryMonitor::_RemoveContent(int32 device, int64 folder, int64 node)
{
	auto found = std::find_if(fContents.begin(), fContents.end(), [&](const ContentMapping& content) {
		return SameDevice(content.device, device) && content.folder == folder && content.node == node;
	});
	if (found == fContents.end())
		return;
	fContents.erase(found);
	_UpdateWatch(device, node);
}

// Brings the watch of `node` in line with the mappings that still need it:
// a watched folder keeps its folder watch, an entry of a watched folder its
// stat and attribute watch; a node nothing needs is no longer watched.
void CDirectoryMonitor::_UpdateWatch(int32 device, int64 node)
{
	uint32 flags = 0;
	if (_FindFolder(device, node) != nullptr)
		flags |= B_WATCH_DIRECTORY;
	if (std::any_of(fContents.begin(), fContents.end(), [&](const ContentMapping& content) {
			return SameDevice(content.device, device) && content.node == node;
		}))
		flags |= B_WATCH_STAT | B_WATCH_ATTR;
	node_ref watched = NodeOf(device, node);
	watch_node(&watched, flags == 0 ? uint32(B_STOP_WATCHING) : flags, fMessenger);
}
