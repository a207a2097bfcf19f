// BLooper: one named thread at a given priority that takes messages from a
// bounded queue and dispatches them to its handlers, with the looper locked.
#pragma once

#include "kit/app/Handler.h"
#include "kit/kernel/OS.h"
#include "kit/support/Locker.h"

#include <memory>
#include <vector>

class BMessage;
class BMessageTarget;
class BMessenger;

constexpr int32 B_LOOPER_PORT_DEFAULT_CAPACITY = 200;

class BLooper : public BHandler {
public:
	explicit BLooper(const char* name = nullptr, int32 priority = B_NORMAL_PRIORITY,
		int32 portCapacity = B_LOOPER_PORT_DEFAULT_CAPACITY);
	// Delete a looper only through Quit() once it runs (Quit deletes it);
	// a looper never run may be deleted directly.
	~BLooper() override;

	// Spawns and starts the thread (named after the looper); returns its id.
	// The looper is unlocked when Run returns.
	virtual thread_id Run();
	// From another thread: must be called with the looper locked; asks the
	// thread to end, waits for it, deletes the looper. From the looper's own
	// thread: ends the loop after the current message and deletes the looper.
	virtual void Quit();
	virtual bool QuitRequested();   // B_QUIT_REQUESTED asks it first; default true

	virtual void DispatchMessage(BMessage* message, BHandler* handler);
	void MessageReceived(BMessage* message) override;

	// Posting: never waits; B_WOULD_BLOCK when the queue is full,
	// B_BAD_PORT_ID after Quit.
	status_t PostMessage(uint32 command);
	status_t PostMessage(BMessage* message);   // a copy is queued
	status_t PostMessage(uint32 command, BHandler* handler, BHandler* replyTo = nullptr);
	status_t PostMessage(BMessage* message, BHandler* handler, BHandler* replyTo = nullptr);

	bool Lock();
	void Unlock();
	status_t LockWithTimeout(bigtime_t timeout);
	bool IsLocked() const;
	thread_id LockingThread() const;
	int32 CountLocks() const;

	thread_id Thread() const { return fThread; }
	int32 Priority() const { return fPriority; }
	// The message being dispatched (owned by the looper; valid during dispatch).
	BMessage* CurrentMessage() const { return fCurrentMessage; }
	// Takes the current message from the looper; the caller owns it.
	BMessage* DetachCurrentMessage();

	void AddHandler(BHandler* handler);
	bool RemoveHandler(BHandler* handler);
	int32 CountHandlers() const;
	BHandler* HandlerAt(int32 index) const;
	BHandler* PreferredHandler() const { return fPreferred; }
	void SetPreferredHandler(BHandler* handler) { fPreferred = handler; }
	// The queue messengers deliver to (shared so messengers outlive the looper safely).
	std::shared_ptr<BMessageTarget> Target() const { return fPort; }
	int32 PortCapacity() const { return fCapacity; }

	// The looper whose thread `thread` is, or null.
	static BLooper* LooperForThread(thread_id thread);

private:
	class Port;
	friend class Port;
	static status_t LoopEntry(void* data);
	void Loop();

	BLocker fLock;
	std::shared_ptr<Port> fPortImpl;
	std::shared_ptr<BMessageTarget> fPort;
	std::vector<BHandler*> fHandlers;
	BHandler* fPreferred = nullptr;
	BMessage* fCurrentMessage = nullptr;
	thread_id fThread = -1;
	int32 fPriority;
	int32 fCapacity;
	bool fQuitting = false;
	bool fRunning = false;
};
