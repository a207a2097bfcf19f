// Counting semaphores on a mutex and a condition variable each.
//
// The registry hands out shared records: a thread that has looked a
// semaphore up keeps its record alive even when another thread deletes the
// semaphore meanwhile, and then sees it marked deleted. Waiters queue in
// arrival order; a release serves the queue from its head for as long as the
// free units cover the head's request.
#include "kit/kernel/OS.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace {

struct Waiter {
	int32 count;
	bool granted = false;
};

struct Semaphore {
	std::mutex lock;
	std::condition_variable changed;
	std::string name;
	int64 count = 0;        // free units, 0..INT32_MAX
	int64 waitedFor = 0;    // sum of the queued requests
	std::deque<Waiter*> waiters;
	bool deleted = false;

	// Grants requests from the head of the queue while the free units cover
	// them. Called with `lock` held.
	void Serve()
	{
		bool granted = false;
		while (!waiters.empty() && waiters.front()->count <= count) {
			Waiter* waiter = waiters.front();
			waiters.pop_front();
			count -= waiter->count;
			waitedFor -= waiter->count;
			waiter->granted = true;
			granted = true;
		}
		if (granted)
			changed.notify_all();
	}

	void Withdraw(Waiter* waiter)
	{
		for (auto it = waiters.begin(); it != waiters.end(); ++it) {
			if (*it == waiter) {
				waiters.erase(it);
				waitedFor -= waiter->count;
				break;
			}
		}
		Serve();   // it may have held back the ones behind it
	}
};

struct SemaphoreRegistry {
	std::mutex lock;
	std::unordered_map<sem_id, std::shared_ptr<Semaphore>> semaphores;
	sem_id nextId = 1;
};

// Never destroyed: threads may still use semaphores while the program exits.
SemaphoreRegistry& Registry()
{
	static SemaphoreRegistry* registry = new SemaphoreRegistry;
	return *registry;
}

std::shared_ptr<Semaphore> Find(sem_id id)
{
	SemaphoreRegistry& registry = Registry();
	std::lock_guard lock(registry.lock);
	auto found = registry.semaphores.find(id);
	return found != registry.semaphores.end() ? found->second : nullptr;
}

// Waits longer than this are treated as infinite, so that no deadline
// arithmetic overflows.
constexpr bigtime_t kForever = bigtime_t(100) * 365 * 24 * 3600 * 1000000;

}   // namespace

sem_id create_sem(int32 count, const char* name)
{
	if (count < 0)
		return B_BAD_VALUE;
	auto semaphore = std::make_shared<Semaphore>();
	semaphore->name = name != nullptr ? name : "";
	semaphore->count = count;
	SemaphoreRegistry& registry = Registry();
	std::lock_guard lock(registry.lock);
	if (registry.nextId == INT32_MAX)
		return B_NO_MORE_SEMS;
	sem_id id = registry.nextId++;
	registry.semaphores.emplace(id, std::move(semaphore));
	return id;
}

status_t delete_sem(sem_id sem)
{
	std::shared_ptr<Semaphore> semaphore;
	{
		SemaphoreRegistry& registry = Registry();
		std::lock_guard lock(registry.lock);
		auto found = registry.semaphores.find(sem);
		if (found == registry.semaphores.end())
			return B_BAD_SEM_ID;
		semaphore = std::move(found->second);
		registry.semaphores.erase(found);
	}
	std::lock_guard lock(semaphore->lock);
	semaphore->deleted = true;
	semaphore->waiters.clear();
	semaphore->waitedFor = 0;
	semaphore->changed.notify_all();
	return B_OK;
}

status_t acquire_sem(sem_id sem)
{
	return acquire_sem_etc(sem, 1, 0, 0);
}

status_t acquire_sem_etc(sem_id sem, int32 count, uint32 flags, bigtime_t timeout)
{
	auto semaphore = Find(sem);
	if (!semaphore)
		return B_BAD_SEM_ID;
	if (count < 1)
		return B_BAD_VALUE;

	// Deadline on the steady clock; none for an infinite wait.
	bool timed = false;
	bigtime_t remaining = 0;
	if ((flags & B_RELATIVE_TIMEOUT) != 0 && timeout != B_INFINITE_TIMEOUT) {
		if (timeout <= 0)
			remaining = 0;
		else
			remaining = timeout;
		timed = remaining < kForever;
	} else if ((flags & B_ABSOLUTE_TIMEOUT) != 0 && timeout != B_INFINITE_TIMEOUT) {
		bigtime_t now = system_time();
		remaining = timeout > now ? timeout - now : 0;
		timed = remaining < kForever;
	}
	auto deadline = std::chrono::steady_clock::now() + std::chrono::microseconds(remaining);

	std::unique_lock lock(semaphore->lock);
	if (semaphore->deleted)
		return B_BAD_SEM_ID;
	if (semaphore->waiters.empty() && semaphore->count >= count) {
		semaphore->count -= count;
		return B_OK;
	}
	if (timed && remaining == 0)
		return (flags & B_RELATIVE_TIMEOUT) != 0 ? B_WOULD_BLOCK : B_TIMED_OUT;

	Waiter waiter {count};
	semaphore->waiters.push_back(&waiter);
	semaphore->waitedFor += count;
	while (!waiter.granted && !semaphore->deleted) {
		if (!timed) {
			semaphore->changed.wait(lock);
			continue;
		}
		semaphore->changed.wait_until(lock, deadline);
		if (!waiter.granted && !semaphore->deleted && std::chrono::steady_clock::now() >= deadline) {
			semaphore->Withdraw(&waiter);
			return B_TIMED_OUT;
		}
	}
	// Units granted before a deletion were acquired.
	return waiter.granted ? B_OK : B_BAD_SEM_ID;
}

status_t release_sem(sem_id sem)
{
	return release_sem_etc(sem, 1, 0);
}

status_t release_sem_etc(sem_id sem, int32 count, uint32 flags)
{
	auto semaphore = Find(sem);
	if (!semaphore)
		return B_BAD_SEM_ID;
	if ((flags & B_RELEASE_ALL) == 0 && count < 1)
		return B_BAD_VALUE;
	std::lock_guard lock(semaphore->lock);
	if (semaphore->deleted)
		return B_BAD_SEM_ID;
	int64 units = count;
	if ((flags & B_RELEASE_ALL) != 0)
		units = std::max<int64>(0, semaphore->waitedFor - semaphore->count);
	if (semaphore->count + units > INT32_MAX)
		return B_BAD_VALUE;
	semaphore->count += units;
	semaphore->Serve();
	return B_OK;
}

status_t get_sem_count(sem_id sem, int32* threadCount)
{
	if (threadCount == nullptr)
		return B_BAD_VALUE;
	auto semaphore = Find(sem);
	if (!semaphore)
		return B_BAD_SEM_ID;
	std::lock_guard lock(semaphore->lock);
	if (semaphore->deleted)
		return B_BAD_SEM_ID;
	int64 value = semaphore->count - semaphore->waitedFor;
	*threadCount = static_cast<int32>(std::max<int64>(value, INT32_MIN));
	return B_OK;
}
