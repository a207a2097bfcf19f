// BLocker: a recursive lock owned by a kit thread id.
#include "kit/support/Locker.h"

#include "kit/kernel/OS.h"

#include <chrono>

BLocker::BLocker() : BLocker("some BLocker") {}

// Every lock is the same kind here: `benaphoreStyle` only mattered for speed
// on the platform.
BLocker::BLocker(const char* name, bool benaphoreStyle) : fName(name != nullptr ? name : "") {}

// Destroying a lock that a thread holds or waits for is a programming error.
BLocker::~BLocker() = default;

bool BLocker::Lock()
{
	thread_id self = find_thread(nullptr);
	std::unique_lock lock(fMutex);
	if (fOwner == self) {
		fCount++;
		return true;
	}
	fFree.wait(lock, [&] { return fCount == 0; });
	fOwner = self;
	fCount = 1;
	return true;
}

// A time-out of 0 or less is a try; B_INFINITE_TIMEOUT waits like Lock().
status_t BLocker::LockWithTimeout(bigtime_t timeout)
{
	// Longer than a century counts as for ever (and keeps the clock
	// arithmetic from overflowing).
	constexpr bigtime_t kForever = bigtime_t(100) * 365 * 24 * 3600 * 1000000;
	if (timeout >= kForever)
		return Lock() ? B_OK : B_ERROR;
	thread_id self = find_thread(nullptr);
	auto deadline = std::chrono::steady_clock::now() + std::chrono::microseconds(timeout > 0 ? timeout : 0);
	std::unique_lock lock(fMutex);
	if (fOwner == self) {
		fCount++;
		return B_OK;
	}
	if (!fFree.wait_until(lock, deadline, [&] { return fCount == 0; }))
		return B_TIMED_OUT;
	fOwner = self;
	fCount = 1;
	return B_OK;
}

// Only the holder unlocks; a call from any other thread (or on a free lock)
// is a programming error and is ignored.
void BLocker::Unlock()
{
	thread_id self = find_thread(nullptr);
	std::lock_guard lock(fMutex);
	if (fOwner != self || fCount == 0)
		return;
	if (--fCount == 0) {
		fOwner = -1;
		fFree.notify_one();
	}
}

bool BLocker::IsLocked() const
{
	thread_id self = find_thread(nullptr);
	std::lock_guard lock(fMutex);
	return fCount > 0 && fOwner == self;
}

// The holder's id, or B_ERROR (-1) when the lock is free.
thread_id BLocker::LockingThread() const
{
	std::lock_guard lock(fMutex);
	return fOwner;
}

int32 BLocker::CountLocks() const
{
	std::lock_guard lock(fMutex);
	return fCount;
}
