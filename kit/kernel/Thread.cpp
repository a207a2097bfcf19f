// Named threads with the program's priorities, on pthreads.
//
// A registry maps thread ids to records. Threads made by spawn_thread are
// created at once (detached from the pthread point of view) and block until
// resume_thread; their end is published through the record, so waiting needs
// no pthread_join and a detached thread leaves nothing behind. Threads not
// made here (main, std::thread) get a record on their first find_thread(null);
// it is removed when they end.
#include "kit/kernel/OS.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

enum class ThreadState { Suspended, Running, Ended };

struct ThreadRecord {
	thread_id id = 0;
	std::string name;
	int32 priority = B_NORMAL_PRIORITY;
	thread_func func = nullptr;
	void* data = nullptr;
	pthread_t handle {};
	pid_t tid = 0;          // the kernel's id once the thread runs
	bool foreign = false;   // not made by spawn_thread
	bool detached = false;
	ThreadState state = ThreadState::Suspended;
	status_t exitValue = B_OK;
};

struct ThreadRegistry {
	std::mutex lock;
	std::condition_variable changed;   // any resume or end
	std::map<thread_id, std::shared_ptr<ThreadRecord>> threads;
	thread_id nextId = 1;
};

// Never destroyed: threads may still end while the program exits.
ThreadRegistry& Registry()
{
	static ThreadRegistry* registry = new ThreadRegistry;
	return *registry;
}

// The calling thread's record. For a foreign thread the record is ended and
// removed when the thread ends.
struct CurrentThread {
	std::shared_ptr<ThreadRecord> record;

	~CurrentThread()
	{
		if (!record || !record->foreign)
			return;
		ThreadRegistry& registry = Registry();
		std::lock_guard lock(registry.lock);
		record->state = ThreadState::Ended;
		registry.threads.erase(record->id);
		registry.changed.notify_all();
	}
};

thread_local CurrentThread tCurrent;

// Cuts `name` to at most `maxBytes` bytes without splitting a UTF-8 sequence.
std::string Truncated(const char* name, size_t maxBytes)
{
	size_t length = strnlen(name, maxBytes + 1);
	if (length <= maxBytes)
		return std::string(name, length);
	length = maxBytes;
	while (length > 0 && (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80)
		length--;
	return std::string(name, length);
}

std::string RecordName(const char* name)
{
	return Truncated(name != nullptr ? name : "unnamed thread", B_OS_NAME_LENGTH - 1);
}

int32 ClampPriority(int32 priority)
{
	return std::clamp<int32>(priority, B_IDLE_PRIORITY, B_REAL_TIME_PRIORITY);
}

// Nice value for a priority below B_REAL_TIME_DISPLAY_PRIORITY: normal is 0,
// each step below it 2 nice levels, each step above it one, within -20..19.
int NiceFor(int32 priority)
{
	if (priority <= B_NORMAL_PRIORITY)
		return std::min(19, (B_NORMAL_PRIORITY - priority) * 2);
	return std::max(-20, B_NORMAL_PRIORITY - priority);
}

// Applies the record's priority to the system, best effort: failures (no
// permission to raise the priority) are ignored. Called with the registry
// locked and only while the thread has not ended, so its handle is valid.
void ApplyPriority(const ThreadRecord& record)
{
	if (record.tid == 0)
		return;   // the thread applies it itself when it starts
	int policy = SCHED_OTHER;
	sched_param param {};
	pthread_getschedparam(record.handle, &policy, &param);
	if (record.priority >= B_REAL_TIME_DISPLAY_PRIORITY) {
		sched_param realTime {};
		realTime.sched_priority = std::min(sched_get_priority_max(SCHED_RR),
			1 + record.priority - B_REAL_TIME_DISPLAY_PRIORITY);
		if (pthread_setschedparam(record.handle, SCHED_RR, &realTime) == 0)
			return;
		// Not permitted: the strongest ordinary priority instead.
		if (policy != SCHED_OTHER) {
			sched_param other {};
			pthread_setschedparam(record.handle, SCHED_OTHER, &other);
		}
		setpriority(PRIO_PROCESS, static_cast<id_t>(record.tid), -20);
		return;
	}
	if (policy != SCHED_OTHER) {
		sched_param other {};
		pthread_setschedparam(record.handle, SCHED_OTHER, &other);
	}
	setpriority(PRIO_PROCESS, static_cast<id_t>(record.tid), NiceFor(record.priority));
}

// Gives the system the first 15 bytes of the name (its limit). Called with
// the registry locked and only while the thread has not ended.
void ApplyName(const ThreadRecord& record)
{
	std::string shortName = Truncated(record.name.c_str(), 15);
	pthread_setname_np(record.handle, shortName.c_str());
}

// Looks a record up; the registry must be locked.
std::shared_ptr<ThreadRecord> Find(ThreadRegistry& registry, thread_id id)
{
	auto found = registry.threads.find(id);
	return found != registry.threads.end() ? found->second : nullptr;
}

void* ThreadEntry(void* argument)
{
	std::shared_ptr<ThreadRecord> record;
	{
		auto* handOver = static_cast<std::shared_ptr<ThreadRecord>*>(argument);
		record = std::move(*handOver);
		delete handOver;
	}
	tCurrent.record = record;
	ThreadRegistry& registry = Registry();
	{
		std::unique_lock lock(registry.lock);
		record->handle = pthread_self();
		record->tid = gettid();
		ApplyName(*record);
		ApplyPriority(*record);
		registry.changed.wait(lock, [&] { return record->state != ThreadState::Suspended; });
	}

	status_t result = record->func(record->data);

	std::lock_guard lock(registry.lock);
	record->exitValue = result;
	record->state = ThreadState::Ended;
	if (record->detached)
		registry.threads.erase(record->id);
	registry.changed.notify_all();
	return nullptr;
}

}   // namespace

thread_id spawn_thread(thread_func func, const char* name, int32 priority, void* data)
{
	if (func == nullptr)
		return B_BAD_VALUE;
	auto record = std::make_shared<ThreadRecord>();
	record->name = RecordName(name);
	record->priority = ClampPriority(priority);
	record->func = func;
	record->data = data;

	ThreadRegistry& registry = Registry();
	std::lock_guard lock(registry.lock);
	if (registry.nextId == INT32_MAX)
		return B_NO_MORE_THREADS;
	record->id = registry.nextId;

	pthread_attr_t attributes;
	if (pthread_attr_init(&attributes) != 0)
		return B_NO_MORE_THREADS;
	pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
	auto* handOver = new std::shared_ptr<ThreadRecord>(record);
	pthread_t handle;
	// The new thread blocks on the registry lock until this returns.
	int error = pthread_create(&handle, &attributes, ThreadEntry, handOver);
	pthread_attr_destroy(&attributes);
	if (error != 0) {
		delete handOver;
		return B_NO_MORE_THREADS;
	}
	record->handle = handle;
	registry.nextId++;
	registry.threads.emplace(record->id, record);
	return record->id;
}

status_t resume_thread(thread_id thread)
{
	ThreadRegistry& registry = Registry();
	std::lock_guard lock(registry.lock);
	auto record = Find(registry, thread);
	if (!record)
		return B_BAD_THREAD_ID;
	if (record->state != ThreadState::Suspended)
		return B_BAD_THREAD_STATE;
	record->state = ThreadState::Running;
	registry.changed.notify_all();
	return B_OK;
}

status_t wait_for_thread(thread_id thread, status_t* exitValue)
{
	if (thread == find_thread(nullptr))
		return B_BAD_THREAD_ID;
	ThreadRegistry& registry = Registry();
	std::unique_lock lock(registry.lock);
	auto record = Find(registry, thread);
	if (!record)
		return B_BAD_THREAD_ID;
	if (record->state == ThreadState::Suspended) {
		record->state = ThreadState::Running;
		registry.changed.notify_all();
	}
	registry.changed.wait(lock, [&] { return record->state == ThreadState::Ended; });
	// The first waiter to wake removes the record; later ones keep theirs.
	registry.threads.erase(thread);
	if (exitValue != nullptr)
		*exitValue = record->exitValue;
	return B_OK;
}

status_t set_thread_priority(thread_id thread, int32 newPriority)
{
	ThreadRegistry& registry = Registry();
	std::lock_guard lock(registry.lock);
	auto record = Find(registry, thread);
	if (!record)
		return B_BAD_THREAD_ID;
	int32 previous = record->priority;
	record->priority = ClampPriority(newPriority);
	if (record->state != ThreadState::Ended)
		ApplyPriority(*record);
	return previous;
}

status_t rename_thread(thread_id thread, const char* newName)
{
	if (newName == nullptr)
		return B_BAD_VALUE;
	ThreadRegistry& registry = Registry();
	std::lock_guard lock(registry.lock);
	auto record = Find(registry, thread);
	if (!record)
		return B_BAD_THREAD_ID;
	record->name = RecordName(newName);
	// A thread that has not started yet names itself when it does.
	if (record->state != ThreadState::Ended && record->tid != 0)
		ApplyName(*record);
	return B_OK;
}

status_t get_thread_info(thread_id thread, thread_info* info)
{
	if (info == nullptr)
		return B_BAD_VALUE;
	ThreadRegistry& registry = Registry();
	std::lock_guard lock(registry.lock);
	auto record = Find(registry, thread);
	if (!record)
		return B_BAD_THREAD_ID;
	*info = thread_info {};
	info->thread = record->id;
	info->team = current_team();
	memcpy(info->name, record->name.c_str(), record->name.size() + 1);   // fits: cut at spawn
	info->priority = record->priority;
	return B_OK;
}

thread_id find_thread(const char* name)
{
	ThreadRegistry& registry = Registry();
	if (name == nullptr) {
		if (tCurrent.record)
			return tCurrent.record->id;   // never changes
		auto record = std::make_shared<ThreadRecord>();
		char systemName[16] = {};
		pthread_getname_np(pthread_self(), systemName, sizeof(systemName));
		record->name = RecordName(systemName);
		record->handle = pthread_self();
		record->tid = gettid();
		record->foreign = true;
		record->state = ThreadState::Running;
		std::lock_guard lock(registry.lock);
		if (registry.nextId == INT32_MAX)
			return B_NO_MORE_THREADS;
		record->id = registry.nextId++;
		registry.threads.emplace(record->id, record);
		tCurrent.record = record;
		return record->id;
	}
	std::lock_guard lock(registry.lock);
	for (const auto& [id, record] : registry.threads) {
		if (record->state != ThreadState::Ended && record->name == name)
			return id;
	}
	return B_NAME_NOT_FOUND;
}

team_id current_team()
{
	return static_cast<team_id>(getpid());
}

status_t detach_thread(thread_id thread)
{
	ThreadRegistry& registry = Registry();
	std::lock_guard lock(registry.lock);
	auto record = Find(registry, thread);
	if (!record)
		return B_BAD_THREAD_ID;
	record->detached = true;
	if (record->state == ThreadState::Ended)
		registry.threads.erase(thread);
	return B_OK;
}
