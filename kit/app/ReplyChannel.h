// BMessageReplyChannel: how the receiver of a message answers its sender.
// A message carries one when its sender waits for the answer (a synchronous
// BMessenger::SendMessage) or named a handler for replies (`replyTo`).
//
// A synchronous channel answers once: the first reply wakes the sender; when
// the last message holding the channel is deleted unanswered, the sender
// wakes with B_NO_REPLY. A replyTo channel posts every reply to the handler's
// looper. Channels may be used from any thread.
#pragma once

#include "kit/app/Messenger.h"
#include "kit/support/SupportDefs.h"

#include <condition_variable>
#include <memory>
#include <mutex>

class BMessage;

// The sender's side of a synchronous send.
class BMessageReplyWaiter {
public:
	BMessageReplyWaiter();
	~BMessageReplyWaiter();
	BMessageReplyWaiter(const BMessageReplyWaiter&) = delete;
	BMessageReplyWaiter& operator=(const BMessageReplyWaiter&) = delete;

	// Waits up to `timeout` (relative) for the answer. B_OK: `reply` holds
	// it. B_NO_REPLY: unanswered (reply->what = B_NO_REPLY). B_TIMED_OUT:
	// the waiter gives up; a later answer is refused.
	status_t Wait(bigtime_t timeout, BMessage* reply);

private:
	friend class BMessageReplyChannel;
	enum State { WAITING, REPLIED, NO_REPLY, ABANDONED };

	std::mutex fMutex;
	std::condition_variable fChanged;
	State fState = WAITING;
	std::unique_ptr<BMessage> fReply;
};

class BMessageReplyChannel {
public:
	// A synchronous channel that answers `waiter`.
	explicit BMessageReplyChannel(std::shared_ptr<BMessageReplyWaiter> waiter);
	// A channel that posts replies through `replyTo`.
	explicit BMessageReplyChannel(const BMessenger& replyTo);
	// Tells a waiter still waiting that no answer will come.
	~BMessageReplyChannel();
	BMessageReplyChannel(const BMessageReplyChannel&) = delete;
	BMessageReplyChannel& operator=(const BMessageReplyChannel&) = delete;

	bool IsSourceWaiting() const;
	// Sends a copy of `reply`. B_DUPLICATE_REPLY when a waiter was already
	// answered, B_BAD_PORT_ID when it gave up or the replyTo target is gone.
	// A reply to a replyTo handler waits for room in its looper's queue,
	// except on that looper's own thread (B_WOULD_BLOCK when it is full).
	status_t Reply(const BMessage& reply);

	// Gives `message` a channel (null: none).
	static void Attach(BMessage* message, std::shared_ptr<BMessageReplyChannel> channel);

private:
	std::shared_ptr<BMessageReplyWaiter> fWaiter;
	BMessenger fReplyTo;
};
