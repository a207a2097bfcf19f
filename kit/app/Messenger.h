// BMessenger: sends messages to a handler of a looper, or to any other
// BMessageTarget, from any thread. Copyable; stays safe after the target is
// gone (sending then fails with B_BAD_PORT_ID).
//
// A messenger object is used by one thread at a time; copies may be used by
// different threads at once.
#pragma once

#include "kit/app/MessageTarget.h"
#include "kit/kernel/OS.h"
#include "kit/support/SupportDefs.h"

#include <cstddef>
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

	// True while the target accepts messages.
	bool IsValid() const;
	bool IsTargetLocal() const { return true; }
	// The looper and handler named by the messenger (null when the target is
	// not a looper, or is gone; the handler is null for the preferred handler).
	// The pointers are only safe to use while the looper is locked.
	BHandler* Target(BLooper** looper) const;
	// Locks the target looper; false when there is none or it is gone.
	bool LockTarget() const;
	const std::shared_ptr<BMessageTarget>& MessageTarget() const { return fTarget; }
	int32 HandlerToken() const { return fHandlerToken; }

	// Asynchronous: a copy of `message` is queued; replies go to `replyTo`'s
	// looper (may be null: there is nobody to answer and SendReply fails).
	// The timeout bounds the wait for room. B_BAD_PORT_ID without a target.
	status_t SendMessage(uint32 command, BHandler* replyTo = nullptr) const;
	status_t SendMessage(BMessage* message, BHandler* replyTo = nullptr,
		bigtime_t timeout = B_INFINITE_TIMEOUT) const;
	// The same without a reply handler (a literal nullptr would otherwise
	// fit the synchronous form too).
	status_t SendMessage(BMessage* message, std::nullptr_t, bigtime_t timeout = B_INFINITE_TIMEOUT) const
	{
		return SendMessage(message, static_cast<BHandler*>(nullptr), timeout);
	}
	// Synchronous: waits for the reply. B_OK with the answer in `reply`;
	// B_NO_REPLY (and reply->what == B_NO_REPLY) when the receiver deleted
	// the message unanswered; B_TIMED_OUT after `replyTimeout`. Sending to
	// the caller's own looper thread is refused with B_BAD_VALUE instead of
	// deadlocking.
	status_t SendMessage(BMessage* message, BMessage* reply, bigtime_t deliveryTimeout = B_INFINITE_TIMEOUT,
		bigtime_t replyTimeout = B_INFINITE_TIMEOUT) const;
	status_t SendMessage(uint32 command, BMessage* reply) const;

	// Same target object and handler.
	bool operator==(const BMessenger& other) const;
	bool operator!=(const BMessenger& other) const { return !(*this == other); }

private:
	friend class BMessageReplyChannel;

	// Queues `message` as it is (its reply channel included).
	status_t Deliver(std::unique_ptr<BMessage> message, bigtime_t timeout) const;

	std::shared_ptr<BMessageTarget> fTarget;
	int32 fHandlerToken = -1;
};
