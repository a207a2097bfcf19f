// CPathMonitor: tells its clients when the full path of a watched entry
// changes because the entry or any folder above it was renamed or moved.
#pragma once

#include "kit/app/Messenger.h"
#include "kit/storage/EntryRef.h"
#include "kit/support/Locker.h"
#include "kit/support/SupportDefs.h"
#include "projects/DirectoryMonitor.h"

#include <memory>
#include <string>
#include <vector>

class BEntry;
class BMessage;

// Devices are the low 32 bits of the device numbers, nodes inode numbers;
// `node` is always the node of the entry the client asked to watch. Calls
// come on the path monitors' worker thread ("path_monitor_worker"), one at a
// time.
class CPathMonitorClient {
public:
	virtual ~CPathMonitorClient() = default;
	// The watched entry's last name went.
	virtual void EntryRemoved(int32 device, int64 node) = 0;
	virtual void EntryStatChanged(int32 device, int64 node) = 0;
	virtual void EntryAttrChanged(int32 device, int64 node) = 0;
	// The watched entry is now at `newPath` (absolute).
	virtual void EntryPathChanged(int32 device, int64 node, const char* newPath) = 0;
};

// The project roster's side: every call goes on, unchanged, to the Notify
// operation of the same slot.
class CProjectFilePathMonitorClient : public CPathMonitorClient {
public:
	void EntryRemoved(int32 device, int64 node) override { NotifyFileRemoved(device, node); }
	void EntryStatChanged(int32 device, int64 node) override { NotifyFileStatChanged(device, node); }
	void EntryAttrChanged(int32 device, int64 node) override { NotifyFileAttrChanged(device, node); }
	void EntryPathChanged(int32 device, int64 node, const char* newPath) override
	{
		NotifyFilePathChanged(device, node, newPath);
	}

	virtual void NotifyFileRemoved(int32 device, int64 node) = 0;
	virtual void NotifyFileStatChanged(int32 device, int64 node) = 0;
	virtual void NotifyFileAttrChanged(int32 device, int64 node) = 0;
	virtual void NotifyFilePathChanged(int32 device, int64 node, const char* newPath) = 0;
};

// Watches entries and every folder above them up to the root. All path
// monitors share the looper "path_monitor_watcher" and the worker
// "path_monitor_worker", so their callbacks are serialised on that worker.
//
// The watched entry is watched for its name, stat and attributes, the
// folders above it for their names. When one of them is renamed or moved,
// every client watching an entry at or below it gets EntryPathChanged with
// the entry's new path; after a move into another folder the folders above
// are watched anew. Stat and attribute changes and the removal of the watched
// entry itself go to its clients; those of the folders above go nowhere.
//
// The mappings are guarded by the monitor's lock, which is not held while
// clients are called. A callback that has begun may still run after
// StopWatch returned; the destructor waits for it.
class CPathMonitor : private CMonitorWatcherClient {
public:
	CPathMonitor();
	// Ends every watch and waits for a callback of this monitor in progress
	// (unless called from one). Do not destroy a monitor while holding a
	// lock that its clients take in their callbacks.
	~CPathMonitor() override;
	CPathMonitor(const CPathMonitor&) = delete;
	CPathMonitor& operator=(const CPathMonitor&) = delete;

	status_t InitCheck() const { return fStatus; }

	// Watches `entry` (a link itself, not what it names) and the folders
	// above it for `client`. B_OK, or the status of reading or watching one
	// of them (nothing stays watched for the client then).
	status_t StartWatch(CPathMonitorClient* client, const BEntry* entry);
	// The same for the entry `name` in the folder (device, folder).
	status_t StartWatch(CPathMonitorClient* client, int32 device, int64 folder, const char* name);
	// Ends the client's watch of the entry whose node is (device, node);
	// nodes no client needs any more are no longer watched. B_OK, or
	// B_ENTRY_NOT_FOUND when the client did not watch that node.
	status_t StopWatch(CPathMonitorClient* client, int32 device, int64 node);

	// For tests: how many nodes are watched.
	int32 CountWatchedNodes() const;

private:
	struct ClientMapping {
		CPathMonitorClient* client;
		int32 device;
		int64 node;   // the entry the client watches
	};
	struct NodeMapping {
		node_ref node;
		node_ref parent;   // node -1 for the root
		std::string name;
		bool entry = false;   // some client watches this node itself
		std::vector<ClientMapping> clients;
	};
	struct PathCall {
		CPathMonitorClient* client;
		int32 device;
		int64 node;
		std::string path;
	};

	void HandleNodeMonitorMessage(const BMessage* message) override;
	void _EntryMoved(const BMessage* message);
	void _NodeEvent(const BMessage* message, int32 opcode);

	// Under fLock.
	status_t _Watch(CPathMonitorClient* client, const BEntry& entry);
	status_t _AddMapping(const BEntry& entry, bool asEntry, const ClientMapping& client);
	bool _Unwatch(CPathMonitorClient* client, int32 device, int64 node);
	NodeMapping* _Find(int32 device, int64 node);
	bool _PathOf(const NodeMapping& mapping, std::string* path);

	status_t fStatus = B_NO_INIT;
	mutable BLocker fLock {"CPathMonitor locker"};
	std::shared_ptr<CMonitorWatcher> fWatcher;
	BMessenger fMessenger;
	std::vector<std::unique_ptr<NodeMapping>> fNodes;
};
