// BMessageReplyChannel and the reply side of BMessage.
#include "kit/app/ReplyChannel.h"

#include "kit/app/AppPrivate.h"
#include "kit/support/Message.h"

using app_private::WaitUntilReady;

// #pragma mark - BMessageReplyWaiter

BMessageReplyWaiter::BMessageReplyWaiter() = default;
BMessageReplyWaiter::~BMessageReplyWaiter() = default;

status_t BMessageReplyWaiter::Wait(bigtime_t timeout, BMessage* reply)
{
	std::unique_ptr<BMessage> answer;
	State state;
	{
		std::unique_lock lock(fMutex);
		WaitUntilReady(fChanged, lock, timeout, [this] { return fState != WAITING; });
		if (fState == WAITING)
			fState = ABANDONED;
		state = fState;
		answer = std::move(fReply);
	}
	// Filled outside the lock: assigning may release another channel.
	switch (state) {
		case REPLIED:
			*reply = *answer;
			return B_OK;
		case NO_REPLY:
			reply->MakeEmpty();
			reply->what = B_NO_REPLY;
			return B_NO_REPLY;
		default:
			return B_TIMED_OUT;
	}
}

// #pragma mark - BMessageReplyChannel

BMessageReplyChannel::BMessageReplyChannel(std::shared_ptr<BMessageReplyWaiter> waiter)
	: fWaiter(std::move(waiter))
{
}

BMessageReplyChannel::BMessageReplyChannel(const BMessenger& replyTo)
	: fReplyTo(replyTo)
{
}

BMessageReplyChannel::~BMessageReplyChannel()
{
	if (fWaiter == nullptr)
		return;
	std::lock_guard lock(fWaiter->fMutex);
	if (fWaiter->fState == BMessageReplyWaiter::WAITING) {
		fWaiter->fState = BMessageReplyWaiter::NO_REPLY;
		fWaiter->fChanged.notify_all();
	}
}

bool BMessageReplyChannel::IsSourceWaiting() const
{
	if (fWaiter == nullptr)
		return false;
	std::lock_guard lock(fWaiter->fMutex);
	return fWaiter->fState == BMessageReplyWaiter::WAITING;
}

status_t BMessageReplyChannel::Reply(const BMessage& reply)
{
	// The answer travels without a channel of its own: it is not a request.
	auto copy = std::make_unique<BMessage>(reply);
	copy->fReplyChannel.reset();
	copy->fWasDelivered = false;

	if (fWaiter == nullptr) {
		// Wait for room, unless the reply goes to the caller's own queue.
		const std::shared_ptr<BMessageTarget>& target = fReplyTo.MessageTarget();
		bool own = target != nullptr && target->TargetThread() == find_thread(nullptr);
		return fReplyTo.Deliver(std::move(copy), own ? 0 : B_INFINITE_TIMEOUT);
	}

	std::lock_guard lock(fWaiter->fMutex);
	switch (fWaiter->fState) {
		case BMessageReplyWaiter::WAITING:
			fWaiter->fReply = std::move(copy);
			fWaiter->fState = BMessageReplyWaiter::REPLIED;
			fWaiter->fChanged.notify_all();
			return B_OK;
		case BMessageReplyWaiter::ABANDONED:
			return B_BAD_PORT_ID;
		default:
			return B_DUPLICATE_REPLY;
	}
}

void BMessageReplyChannel::Attach(BMessage* message, std::shared_ptr<BMessageReplyChannel> channel)
{
	message->fReplyChannel = std::move(channel);
	message->fWasDelivered = false;
}

// #pragma mark - BMessage (reply side)

bool BMessage::IsSourceWaiting() const
{
	return fReplyChannel != nullptr && fReplyChannel->IsSourceWaiting();
}

status_t BMessage::SendReply(uint32 command)
{
	BMessage reply(command);
	return SendReply(&reply);
}

status_t BMessage::SendReply(BMessage* reply)
{
	if (reply == nullptr)
		return B_BAD_VALUE;
	if (fReplyChannel == nullptr)
		return B_BAD_REPLY;
	return fReplyChannel->Reply(*reply);
}
