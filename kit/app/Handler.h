// BHandler: receives the messages its looper dispatches to it.
#pragma once

#include "kit/support/SupportDefs.h"

#include <atomic>
#include <string>

class BLooper;
class BMessage;

class BHandler {
public:
	explicit BHandler(const char* name = nullptr);
	// A handler still attached to a looper removes itself from it (locking
	// the looper).
	virtual ~BHandler();
	BHandler(const BHandler&) = delete;
	BHandler& operator=(const BHandler&) = delete;

	// Called on the looper's thread with the looper locked. The default
	// passes the message to the next handler, or answers B_MESSAGE_NOT_UNDERSTOOD
	// to a waiting sender.
	virtual void MessageReceived(BMessage* message);

	// The looper the handler is attached to, or null. Any thread may ask.
	BLooper* Looper() const { return fLooper.load(std::memory_order_acquire); }
	const char* Name() const { return fName.c_str(); }
	void SetName(const char* name) { fName = name ? name : ""; }
	// The next handler gets the messages MessageReceived does not handle.
	// Adding a handler to a looper makes the looper its next handler unless
	// one was set. Change it with the looper locked.
	void SetNextHandler(BHandler* handler) { fNextHandler = handler; }
	BHandler* NextHandler() const { return fNextHandler; }
	// Locks the handler's looper; false when it has none or it is gone.
	bool LockLooper();
	void UnlockLooper();
	// Process-unique token that messengers use to name this handler.
	int32 Token() const { return fToken; }

private:
	friend class BLooper;
	friend class BMessenger;

	// The live handler with that token, or null (for BMessenger::Target).
	static BHandler* HandlerForToken(int32 token);

	std::string fName;
	std::atomic<BLooper*> fLooper {nullptr};
	BHandler* fNextHandler = nullptr;
	int32 fToken;
};
