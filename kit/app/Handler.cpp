// BHandler: names, tokens and the default message handling.
#include "kit/app/Handler.h"

#include "kit/app/Looper.h"
#include "kit/support/Message.h"

#include <mutex>
#include <unordered_map>

namespace {

// Live handlers by token, so that a messenger can name a handler without
// holding a pointer to it.
struct TokenSpace {
	std::mutex mutex;
	std::unordered_map<int32, BHandler*> handlers;
	int32 next = 1;
};

TokenSpace& Tokens()
{
	static TokenSpace* space = new TokenSpace;   // never destroyed: handlers may outlive static destruction
	return *space;
}

}   // namespace

BHandler::BHandler(const char* name)
	: fName(name ? name : "")
{
	TokenSpace& space = Tokens();
	std::lock_guard lock(space.mutex);
	fToken = space.next++;
	space.handlers[fToken] = this;
}

BHandler::~BHandler()
{
	if (Looper() != nullptr && LockLooper()) {
		BLooper* looper = Looper();
		looper->RemoveHandler(this);
		looper->Unlock();
	}
	TokenSpace& space = Tokens();
	std::lock_guard lock(space.mutex);
	space.handlers.erase(fToken);
}

BHandler* BHandler::HandlerForToken(int32 token)
{
	TokenSpace& space = Tokens();
	std::lock_guard lock(space.mutex);
	auto found = space.handlers.find(token);
	return found == space.handlers.end() ? nullptr : found->second;
}

void BHandler::MessageReceived(BMessage* message)
{
	if (fNextHandler != nullptr && fNextHandler != this) {
		fNextHandler->MessageReceived(message);
		return;
	}
	if (message != nullptr && message->IsSourceWaiting())
		message->SendReply(B_MESSAGE_NOT_UNDERSTOOD);
}

bool BHandler::LockLooper()
{
	BLooper* looper = Looper();
	if (looper == nullptr || !looper->Lock())
		return false;
	if (Looper() != looper) {
		looper->Unlock();
		return false;
	}
	return true;
}

void BHandler::UnlockLooper()
{
	if (BLooper* looper = Looper())
		looper->Unlock();
}
