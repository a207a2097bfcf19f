// BMessenger: delivery to a shared target, synchronous sends and replies.
#include "kit/app/Messenger.h"

#include "kit/app/Handler.h"
#include "kit/app/Looper.h"
#include "kit/app/LooperPort.h"
#include "kit/app/ReplyChannel.h"
#include "kit/support/Message.h"

BMessenger::BMessenger() = default;

BMessenger::BMessenger(const BHandler* handler, const BLooper* looper, status_t* result)
{
	status_t status = B_OK;
	if (handler != nullptr) {
		BLooper* owner = handler->Looper();
		if (owner == nullptr || (looper != nullptr && looper != owner)) {
			status = B_BAD_HANDLER;
		} else {
			fTarget = owner->Target();
			fHandlerToken = handler->Token();
		}
	} else if (looper != nullptr) {
		fTarget = looper->Target();
		fHandlerToken = -1;
	} else {
		status = B_BAD_VALUE;
	}
	if (result != nullptr)
		*result = status;
}

BMessenger::BMessenger(std::shared_ptr<BMessageTarget> target, int32 handlerToken)
	: fTarget(std::move(target)),
	  fHandlerToken(handlerToken)
{
}

BMessenger::BMessenger(const BMessenger& other) = default;
BMessenger& BMessenger::operator=(const BMessenger& other) = default;
BMessenger::~BMessenger() = default;

bool BMessenger::IsValid() const
{
	return fTarget != nullptr && fTarget->IsOpen();
}

BHandler* BMessenger::Target(BLooper** looper) const
{
	BLooper* targetLooper = fTarget != nullptr ? fTarget->TargetLooper() : nullptr;
	if (looper != nullptr)
		*looper = targetLooper;
	if (targetLooper == nullptr || fHandlerToken < 0)
		return nullptr;
	BHandler* handler = BHandler::HandlerForToken(fHandlerToken);
	return handler != nullptr && handler->Looper() == targetLooper ? handler : nullptr;
}

bool BMessenger::LockTarget() const
{
	auto port = std::dynamic_pointer_cast<BLooperPort>(fTarget);
	return port != nullptr && port->LockLooper(B_INFINITE_TIMEOUT) == B_OK;
}

status_t BMessenger::SendMessage(uint32 command, BHandler* replyTo) const
{
	BMessage message(command);
	return SendMessage(&message, replyTo);
}

status_t BMessenger::SendMessage(BMessage* message, BHandler* replyTo, bigtime_t timeout) const
{
	if (message == nullptr)
		return B_BAD_VALUE;
	if (fTarget == nullptr)
		return B_BAD_PORT_ID;
	auto copy = std::make_unique<BMessage>(*message);
	std::shared_ptr<BMessageReplyChannel> channel;
	if (replyTo != nullptr) {
		status_t status;
		BMessenger replyMessenger(replyTo, nullptr, &status);
		if (status == B_OK)
			channel = std::make_shared<BMessageReplyChannel>(replyMessenger);
	}
	BMessageReplyChannel::Attach(copy.get(), std::move(channel));
	return Deliver(std::move(copy), timeout);
}

status_t BMessenger::SendMessage(BMessage* message, BMessage* reply, bigtime_t deliveryTimeout,
	bigtime_t replyTimeout) const
{
	if (message == nullptr || reply == nullptr)
		return B_BAD_VALUE;
	if (fTarget == nullptr)
		return B_BAD_PORT_ID;
	if (fTarget->TargetThread() == find_thread(nullptr))
		return B_BAD_VALUE;   // we would wait for ourselves

	auto waiter = std::make_shared<BMessageReplyWaiter>();
	auto copy = std::make_unique<BMessage>(*message);
	BMessageReplyChannel::Attach(copy.get(), std::make_shared<BMessageReplyChannel>(waiter));
	status_t status = Deliver(std::move(copy), deliveryTimeout);
	if (status != B_OK)
		return status;
	return waiter->Wait(replyTimeout, reply);
}

status_t BMessenger::SendMessage(uint32 command, BMessage* reply) const
{
	BMessage message(command);
	return SendMessage(&message, reply);
}

bool BMessenger::operator==(const BMessenger& other) const
{
	return fTarget == other.fTarget && fHandlerToken == other.fHandlerToken;
}

status_t BMessenger::Deliver(std::unique_ptr<BMessage> message, bigtime_t timeout) const
{
	if (fTarget == nullptr)
		return B_BAD_PORT_ID;
	status_t status = fTarget->Enqueue(message.get(), fHandlerToken, timeout);
	if (status == B_OK)
		message.release();   // the target owns it now
	return status;
}
