// CDirectoryMonitor: tells its clients about the entries of watched folders:
// entries created in them, removed from them, renamed in them, moved between
// them, and stat or attribute changes of their entries. Also the machinery
// that every monitor class shares: one looper that receives the node monitor
// messages and one worker thread that handles them, so that clients never
// run on the looper.
#pragma once

#include "kit/app/Messenger.h"
#include "kit/kernel/OS.h"
#include "kit/support/Locker.h"
#include "kit/support/SupportDefs.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class BEntry;
class BLooper;
class BMessage;
class CMonitorHandler;

// #pragma mark - shared looper and worker

// What a monitor instance does with the node monitor messages sent to it.
class CMonitorWatcherClient {
public:
	virtual ~CMonitorWatcherClient() = default;
	// Called on the worker thread, one message at a time for all instances
	// of a monitor class.
	virtual void HandleNodeMonitorMessage(const BMessage* message) = 0;
};

// The names of one monitor class's shared items.
struct MonitorWatcherNames {
	const char* looper;      // also the key of the class
	const char* semaphore;
	const char* worker;
};

// The looper (priority 13, port capacity 100) and the worker thread
// (priority 8) of one monitor class. The looper takes only node monitor
// messages, queues a copy for the worker and wakes it; the worker hands the
// messages, oldest first, to the instance they were sent to.
class CMonitorWatcher {
public:
	// The watcher of the class `names.looper`, made and started when no
	// instance of the class holds it; every call counts one instance. Null
	// when it cannot be started.
	static std::shared_ptr<CMonitorWatcher> Acquire(const MonitorWatcherNames& names);
	// Gives one instance's count back; the last one quits the looper and
	// ends the worker (waiting for it unless called on it).
	static void Release(std::shared_ptr<CMonitorWatcher> watcher);
	// For a monitor instance's construction: acquires the class's watcher and
	// registers `client`. B_OK, or B_NO_MORE_THREADS when the watcher cannot
	// be started (*watcher is then null).
	static status_t Connect(const MonitorWatcherNames& names, CMonitorWatcherClient* client,
		std::shared_ptr<CMonitorWatcher>* watcher, BMessenger* messenger);
	// For its destruction: ends the client's watches, unregisters it and gives
	// the watcher back. Does nothing when *watcher is null.
	static void Disconnect(CMonitorWatcherClient* client, std::shared_ptr<CMonitorWatcher>* watcher,
		const BMessenger& messenger);

	~CMonitorWatcher();
	CMonitorWatcher(const CMonitorWatcher&) = delete;
	CMonitorWatcher& operator=(const CMonitorWatcher&) = delete;

	// A messenger for `client` to give the node monitor: messages sent to it
	// reach client->HandleNodeMonitorMessage on the worker thread.
	BMessenger Register(CMonitorWatcherClient* client);
	// Takes the client off: its queued messages are dropped, and unless the
	// call comes from the worker thread it waits until the worker is not
	// handling a message of the client. The caller must not hold anything
	// the client's handling may wait for.
	void Unregister(CMonitorWatcherClient* client);

	bool IsWorkerThread() const { return find_thread(nullptr) == fWorker; }
	thread_id WorkerThread() const { return fWorker; }
	BLooper* Looper() const { return fLooper; }

private:
	friend class CMonitorHandler;

	explicit CMonitorWatcher(const MonitorWatcherNames& names);
	status_t _Start(const std::shared_ptr<CMonitorWatcher>& self);
	void _Stop();
	void _Enqueue(CMonitorWatcherClient* client, const BMessage* message);
	static status_t _WorkerEntry(void* data);
	void _Work();

	struct Item {
		CMonitorWatcherClient* client;
		std::unique_ptr<BMessage> message;
	};

	MonitorWatcherNames fNames;
	BLooper* fLooper = nullptr;
	sem_id fBlock = -1;
	thread_id fWorker = -1;

	std::mutex fQueueLock;   // the class's "..._watcher_locker"
	std::condition_variable fIdle;
	std::deque<Item> fQueue;
	CMonitorWatcherClient* fCurrent = nullptr;   // whose message the worker handles
	bool fQuit = false;
	std::map<CMonitorWatcherClient*, CMonitorHandler*> fHandlers;
};

// #pragma mark - directory monitor

// Devices are the low 32 bits of the device numbers, as node monitor
// messages carry them; nodes are inode numbers. Calls come on the directory
// monitors' worker thread ("dir_monitor_worker"), one at a time.
class CDirectoryMonitorClient {
public:
	virtual ~CDirectoryMonitorClient() = default;
	virtual void EntryCreated(int32 device, int64 directory, int64 node, const char* name) = 0;
	virtual void EntryRemoved(int32 device, int64 directory, int64 node) = 0;
	virtual void EntryRenamed(int32 device, int64 directory, int64 node, const char* newName) = 0;
	virtual void EntryStatChanged(int32 device, int64 directory, int64 node) = 0;
	virtual void EntryAttrChanged(int32 device, int64 directory, int64 node) = 0;
};

// The project roster's side: every call goes on, unchanged, to the Notify
// operation of the same name.
class CProjectDirectoryMonitorClient : public CDirectoryMonitorClient {
public:
	void EntryCreated(int32 device, int64 directory, int64 node, const char* name) override
	{
		NotifyDirectoryEntryCreated(device, directory, node, name);
	}
	void EntryRemoved(int32 device, int64 directory, int64 node) override
	{
		NotifyDirectoryEntryRemoved(device, directory, node);
	}
	void EntryRenamed(int32 device, int64 directory, int64 node, const char* newName) override
	{
		NotifyDirectoryEntryRenamed(device, directory, node, newName);
	}
	void EntryStatChanged(int32 device, int64 directory, int64 node) override
	{
		NotifyDirectoryEntryStatChanged(device, directory, node);
	}
	void EntryAttrChanged(int32 device, int64 directory, int64 node) override
	{
		NotifyDirectoryEntryAttrChanged(device, directory, node);
	}

	virtual void NotifyDirectoryEntryCreated(int32 device, int64 directory, int64 node, const char* name) = 0;
	virtual void NotifyDirectoryEntryRemoved(int32 device, int64 directory, int64 node) = 0;
	virtual void NotifyDirectoryEntryRenamed(int32 device, int64 directory, int64 node, const char* newName) = 0;
	virtual void NotifyDirectoryEntryStatChanged(int32 device, int64 directory, int64 node) = 0;
	virtual void NotifyDirectoryEntryAttrChanged(int32 device, int64 directory, int64 node) = 0;
};

// Watches folders for any number of clients. All directory monitors share
// the looper "dir_monitor_watcher" and the worker "dir_monitor_worker", so
// the callbacks of every directory monitor are serialised on that worker.
//
// An entry renamed inside a watched folder gives one EntryRenamed; an entry
// moved between two watched folders EntryRemoved for the source and
// EntryCreated for the target; one moved in from or out to a folder this
// monitor does not watch EntryCreated or EntryRemoved.
//
// The mappings are guarded by the monitor's lock, which is not held while
// clients are called, so a client may call the monitor from its callbacks
// and from other threads alike. A callback that has begun may still run
// after StopWatch returned; the destructor waits for it.
class CDirectoryMonitor : private CMonitorWatcherClient {
public:
	CDirectoryMonitor();
	// Ends every watch and waits for a callback of this monitor in progress
	// (unless called from one). Do not destroy a monitor while holding a
	// lock that its clients take in their callbacks.
	~CDirectoryMonitor() override;
	CDirectoryMonitor(const CDirectoryMonitor&) = delete;
	CDirectoryMonitor& operator=(const CDirectoryMonitor&) = delete;

	// B_OK when the shared looper and worker run.
	status_t InitCheck() const { return fStatus; }

	// Adds `client` to the clients of the folder (device, folder). A folder
	// not watched yet is read and its entries (links not followed) are
	// watched for stat and attribute changes. B_OK, or the status of opening
	// or watching the folder.
	status_t StartWatch(CDirectoryMonitorClient* client, int32 device, int64 folder);
	// The same for the folder of `entry` (a link to a folder is followed).
	status_t StartWatch(CDirectoryMonitorClient* client, const BEntry* entry);
	// Takes one `client` off the folder; when the folder has no client left
	// it is no longer watched, nor are its entries. B_ERROR (and an
	// assertion) when the folder or the client is not found.
	status_t StopWatch(CDirectoryMonitorClient* client, int32 device, int64 folder);

	// For tests: how many folders and entries are watched.
	int32 CountWatchedFolders() const;
	int32 CountWatchedEntries() const;

private:
	struct FolderMapping {
		int32 device;
		int64 folder;
		std::vector<CDirectoryMonitorClient*> clients;
	};
	struct ContentMapping {
		int32 device;
		int64 folder;
		int64 node;
	};
	using ClientList = std::vector<CDirectoryMonitorClient*>;

	void HandleNodeMonitorMessage(const BMessage* message) override;
	void _EntryCreated(const BMessage* message);
	void _EntryRemoved(const BMessage* message);
	void _EntryMoved(const BMessage* message);
	void _NodeChanged(const BMessage* message, bool attributes);

	// Under fLock.
	FolderMapping* _FindFolder(int32 device, int64 folder);
	bool _HasContent(int32 device, int64 folder, int64 node) const;
	void _AddContent(int32 device, int64 folder, int64 node, const char* name);
	void _RemoveContent(int32 device, int64 folder, int64 node);
	void _UpdateWatch(int32 device, int64 node);

	status_t fStatus = B_NO_INIT;
	mutable BLocker fLock {"CDirectoryMonitor locker"};
	std::shared_ptr<CMonitorWatcher> fWatcher;
	BMessenger fMessenger;
	std::vector<FolderMapping> fFolders;
	std::vector<ContentMapping> fContents;
	bool fCreationNext = true;   // the next half of a move between two watched folders
};
