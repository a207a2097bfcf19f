// BLooper: one named thread at a given priority that takes messages from a
// bounded queue and dispatches them to its handlers, with the looper locked.
//
// Life cycle: the constructor leaves the looper locked by the constructing
// thread; Run() starts the thread and unlocks it. A running looper ends only
// through Quit() (directly, or by B_QUIT_REQUESTED when QuitRequested()
// agrees), which also deletes it. A looper that never ran may be deleted
// directly or through Quit().
#pragma once

#include "kit/app/Handler.h"
#include "kit/kernel/OS.h"
#include "kit/support/SupportDefs.h"

#include <memory>
#include <vector>

class BLooperPort;
class BMessage;
class BMessageTarget;
class BMessenger;

constexpr int32 B_LOOPER_PORT_DEFAULT_CAPACITY = 200;

class BLooper : public BHandler {
public:
	// portCapacity <= 0 gives the default capacity.
	explicit BLooper(const char* name = nullptr, int32 priority = B_NORMAL_PRIORITY,
		int32 portCapacity = B_LOOPER_PORT_DEFAULT_CAPACITY);
	// Delete a looper only through Quit() once it runs (Quit deletes it);
	// a looper never run may be deleted directly.
	~BLooper() override;

	// Spawns and starts the thread (named after the looper, at its priority);
	// returns its id, or the error of spawn_thread. The looper is unlocked
	// when Run returns. Running twice is refused (returns the running thread).
	virtual thread_id Run();
	// From another thread: must be called with the looper locked (it is
	// locked if the caller does not hold it); the messages already queued are
	// still dispatched, then the thread ends; Quit waits for it and deletes
	// the looper. From the looper's own thread: ends the loop after the
	// current message (the rest of the queue is dropped) and deletes the
	// looper there. Either way the queue refuses new messages at once.
	virtual void Quit();
	virtual bool QuitRequested();   // B_QUIT_REQUESTED asks it first; default true

	// Called on the looper's thread, locked. B_QUIT_REQUESTED addressed to
	// the looper itself asks QuitRequested() (a waiting sender gets B_REPLY
	// with the bool "result") and quits when it agrees; everything else goes
	// to handler->MessageReceived.
	virtual void DispatchMessage(BMessage* message, BHandler* handler);
	void MessageReceived(BMessage* message) override;

	// Posting: never waits; B_WOULD_BLOCK when the queue is full,
	// B_BAD_PORT_ID after Quit, B_MISMATCHED_VALUES when `handler` is not one
	// of this looper's. The message goes to `handler`, to the looper itself
	// when no handler is given, or to the preferred handler when `handler`
	// is passed as null. Replies to it go to `replyTo`'s looper.
	status_t PostMessage(uint32 command);
	status_t PostMessage(BMessage* message);   // a copy is queued
	status_t PostMessage(uint32 command, BHandler* handler, BHandler* replyTo = nullptr);
	status_t PostMessage(BMessage* message, BHandler* handler, BHandler* replyTo = nullptr);

	// The lock is recursive. Lock fails (false, B_BAD_VALUE) once the
	// looper is deleted; a thread blocked in Lock then returns false.
	bool Lock();
	void Unlock();
	status_t LockWithTimeout(bigtime_t timeout);
	bool IsLocked() const;   // held by the calling thread
	thread_id LockingThread() const;
	int32 CountLocks() const;

	thread_id Thread() const { return fThread; }
	int32 Priority() const { return fPriority; }
	// The message being dispatched (owned by the looper; valid during dispatch).
	BMessage* CurrentMessage() const { return fCurrentMessage; }
	// Takes the current message from the looper; the caller owns it (and
	// answers a waiting sender, or deletes it: the sender then gets B_NO_REPLY).
	BMessage* DetachCurrentMessage();

	// Handler list; call with the looper locked (these lock it themselves
	// too). A handler belongs to one looper at a time; the looper itself is
	// always its first handler and cannot be removed. Messages already queued
	// for a handler that is removed are dropped.
	void AddHandler(BHandler* handler);
	bool RemoveHandler(BHandler* handler);
	int32 CountHandlers() const;
	BHandler* HandlerAt(int32 index) const;
	// Messages sent to the looper's preferred handler (token -1) go here;
	// the looper itself by default, and when set to null or to a handler
	// that is not one of this looper's. Call with the looper locked.
	BHandler* PreferredHandler() const { return fPreferred; }
	void SetPreferredHandler(BHandler* handler);
	// The queue messengers deliver to (shared so messengers outlive the looper safely).
	std::shared_ptr<BMessageTarget> Target() const;
	int32 PortCapacity() const { return fCapacity; }

	// The looper whose thread `thread` is, or null.
	static BLooper* LooperForThread(thread_id thread);

private:
	static status_t LoopEntry(void* data);
	void Loop();
	BHandler* ResolveHandler(int32 token) const;

	std::shared_ptr<BLooperPort> fPort;   // queue and lock, shared with messengers
	std::vector<BHandler*> fHandlers;
	BHandler* fPreferred = nullptr;
	BMessage* fCurrentMessage = nullptr;
	thread_id fThread = -1;
	int32 fPriority;
	int32 fCapacity;
	bool fQuitting = false;          // Quit() was called on the looper's thread
	bool fQuitFromOutside = false;   // another thread quits it and deletes it
	bool fRunning = false;
};
