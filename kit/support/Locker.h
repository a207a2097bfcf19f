// BLocker: a named recursive lock. The thread that holds it may lock it again;
// it is free when every Lock has been matched by Unlock.
#pragma once

#include "kit/support/SupportDefs.h"

#include <condition_variable>
#include <mutex>
#include <string>

class BLocker {
public:
	BLocker();
	explicit BLocker(const char* name, bool benaphoreStyle = true);
	~BLocker();
	BLocker(const BLocker&) = delete;
	BLocker& operator=(const BLocker&) = delete;

	bool Lock();
	// B_OK, B_TIMED_OUT.
	status_t LockWithTimeout(bigtime_t timeout);
	void Unlock();
	bool IsLocked() const;        // held by the calling thread
	thread_id LockingThread() const;
	int32 CountLocks() const;
	const char* Name() const { return fName.c_str(); }

private:
	std::string fName;
	mutable std::mutex fMutex;
	std::condition_variable fFree;
	thread_id fOwner = -1;
	int32 fCount = 0;
};

class BAutolock {
public:
	explicit BAutolock(BLocker* locker) : fLocker(locker), fLocked(locker->Lock()) {}
	explicit BAutolock(BLocker& locker) : BAutolock(&locker) {}
	~BAutolock()
	{
		if (fLocked)
			fLocker->Unlock();
	}
	bool IsLocked() const { return fLocked; }

private:
	BLocker* fLocker;
	bool fLocked;
};
