// BMessageTarget: the receiving end of a BMessenger. A looper's queue is one;
// a Qt window (through the GUI event queue) and test sinks are others.
// Targets are shared: a messenger keeps its target object alive, and a target
// whose owner is gone refuses messages with B_BAD_PORT_ID.
//
// Every member may be called from any thread.
#pragma once

#include "kit/support/SupportDefs.h"

class BLooper;
class BMessage;

class BMessageTarget {
public:
	virtual ~BMessageTarget() = default;

	// Takes ownership of `message` on B_OK only. `handlerToken` names the
	// handler (BHandler::Token) or is -1 for the target's preferred handler.
	// May wait up to `timeout` (relative, microseconds; B_INFINITE_TIMEOUT:
	// no limit) when the queue is full: B_WOULD_BLOCK for a time-out of 0,
	// B_TIMED_OUT otherwise. B_BAD_PORT_ID once the target is closed.
	virtual status_t Enqueue(BMessage* message, int32 handlerToken, bigtime_t timeout) = 0;
	// The thread that receives (for "is the caller the target's thread"), or
	// -1 when no single thread does.
	virtual thread_id TargetThread() const { return -1; }
	// The kit looper behind the target while it exists, if it is one.
	virtual BLooper* TargetLooper() const { return nullptr; }
	virtual bool IsOpen() const = 0;
};
