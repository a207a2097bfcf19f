// BMessenger: sends messages to a handler of a looper, or to any other
// BMessageTarget, from any thread. Copyable; stays safe after the target is
// gone (sending then fails with B_BAD_PORT_ID).
#pragma once

#include "kit/app/MessageTarget.h"
#include "kit/kernel/OS.h"
#include "kit/support/SupportDefs.h"

#include <memory>

class BHandler;
class BLooper;
class BMessage;

class BMessenger {
public:
	BMessenger();
	// Targets `handler` in its looper, or `looper`'s preferred handler when
	// handler is null. result: B_OK, B_BAD_VALUE (both null), B_BAD_HANDLER
	// (handler not in a looper, or in another looper than `looper`).
	BMessenger(const BHandler* handler, const BLooper* looper = nullptr, status_t* result = nullptr);
	explicit BMessenger(std::shared_ptr<BMessageTarget> target, int32 handlerToken = -1);
	BMessenger(const BMessenger& other);
	BMessenger& operator=(const BMessenger& other);
	~BMessenger();

	bool IsValid() const;
	bool IsTargetLocal() const { return true; }
	// The looper and handler named by the messenger (null when the target is not a looper).
	BHandler* Target(BLooper** looper) const;
	bool LockTarget() const;
	const std::shared_ptr<BMessageTarget>& MessageTarget() const { return fTarget; }

	// Asynchronous: a copy of `message` is queued; replies go to `replyTo`
	// (may be null: they are dropped). The timeout bounds the wait for room.
	status_t SendMessage(uint32 command, BHandler* replyTo = nullptr) const;
	status_t SendMessage(BMessage* message, BHandler* replyTo = nullptr,
		bigtime_t timeout = B_INFINITE_TIMEOUT) const;
	// Synchronous: waits for the reply (B_NO_REPLY when the receiver deleted
	// the message unanswered). Sending to the caller's own looper thread is
	// refused with B_BAD_VALUE instead of deadlocking.
	status_t SendMessage(BMessage* message, BMessage* reply, bigtime_t deliveryTimeout = B_INFINITE_TIMEOUT,
		bigtime_t replyTimeout = B_INFINITE_TIMEOUT) const;
	status_t SendMessage(uint32 command, BMessage* reply) const;

	bool operator==(const BMessenger& other) const;
	bool operator!=(const BMessenger& other) const { return !(*this == other); }

private:
	std::shared_ptr<BMessageTarget> fTarget;
	int32 fHandlerToken = -1;
};
