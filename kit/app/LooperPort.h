// BLooperPort: the queue and lock of one BLooper, kept apart from the looper
// object and shared with its messengers, so that a messenger (or a thread
// blocked in Lock) that outlives the looper finds it closed instead of freed
// memory. Internal to the application kit.
#pragma once

#include "kit/app/MessageTarget.h"
#include "kit/support/Locker.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

class BLooperPort final : public BMessageTarget {
public:
	BLooperPort(BLooper* looper, const char* name, int32 capacity);
	~BLooperPort() override;

	status_t Enqueue(BMessage* message, int32 handlerToken, bigtime_t timeout) override;
	thread_id TargetThread() const override;
	BLooper* TargetLooper() const override;
	bool IsOpen() const override;

	// Looper side. Dequeue blocks until a message is there and hands it over
	// (the caller owns it); false when the end marker left by Close(true)
	// is reached or the port was closed without one.
	bool Dequeue(BMessage** message, int32* handlerToken);
	// Refuses new messages and wakes waiting senders (B_BAD_PORT_ID). With
	// `drain` the receiver still gets the queued messages, then the end
	// marker; without it they are deleted now.
	void Close(bool drain);
	void SetThread(thread_id thread);
	// Messages waiting in the queue (for tests and diagnostics).
	int32 CountQueued() const;
	// Senders waiting for room in the full queue (for tests).
	int32 CountWaitingSenders() const;
	// The looper is being deleted: TargetLooper() and LockLooper() fail from
	// now on. Call with the lock held.
	void LooperGone();

	// The looper's lock. LockLooper fails with B_BAD_VALUE when the looper
	// is gone (also for a thread that was waiting for the lock meanwhile).
	status_t LockLooper(bigtime_t timeout);
	BLocker& Locker() { return fLocker; }
	const BLocker& Locker() const { return fLocker; }

private:
	struct Entry {
		BMessage* message;   // null: end marker
		int32 token;
	};

	BLocker fLocker;
	mutable std::mutex fMutex;
	std::condition_variable fNotEmpty;
	std::condition_variable fNotFull;
	std::deque<Entry> fQueue;
	size_t fQueued = 0;   // messages in fQueue (the marker not counted)
	size_t fCapacity;
	int32 fWaitingSenders = 0;
	BLooper* fLooper;
	thread_id fThread = -1;
	bool fOpen = true;
	bool fStopped = false;   // closed without a marker
};
