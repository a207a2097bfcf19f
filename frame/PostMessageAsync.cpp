// Posting a message after a delay (or from a thread of its own).
#include "frame/PostMessageAsync.h"

#include "frame/Diagnostics.h"
#include "kit/app/Handler.h"
#include "kit/app/Looper.h"
#include "kit/app/Messenger.h"
#include "kit/kernel/OS.h"
#include "kit/support/Message.h"

#include <memory>

namespace {

constexpr int32 kPostMessageAsyncPriority = 80;

// One delayed delivery, owned by its thread. The target is held as a
// messenger (made when the message was posted), so a handler or looper that
// went away during the delay makes the delivery fail instead of touching
// freed memory.
struct DelayedMessage {
	BMessage message;
	BMessenger target;
	bigtime_t delay;
};

status_t PostMessageAsyncThread(void* data)
{
	std::unique_ptr<DelayedMessage> record(static_cast<DelayedMessage*>(data));
	CDebugFunctionTracer tracer("PostMessageAsyncThread");
	if (record->delay > 0)
		snooze(record->delay);
	if (record->target.MessageTarget() == nullptr)
		DebugAssert(__FILE__, __LINE__, "false");   // a record without a target
	else
		record->target.SendMessage(&record->message);
	return B_OK;
}

// Hands the record to a new "PostMessageAsyncThread"; returns at once.
void StartDelayedDelivery(std::unique_ptr<DelayedMessage> record)
{
	thread_id thread = spawn_thread(PostMessageAsyncThread, "PostMessageAsyncThread", kPostMessageAsyncPriority,
		record.get());
	if (thread < 0) {
		DebugLog("Warning: PostMessageAsync - no thread: %s\n", StatusText(thread));
		return;
	}
	record.release();   // the thread owns it now
	detach_thread(thread);
	resume_thread(thread);
}

// Delay 0 (or below): posts at once from the calling thread, to `handler`
// or, when it is null, as looper->PostMessage(message) does.
void PostNow(BMessage* message, BLooper* looper, BHandler* handler)
{
	auto post = [&] {
		if (handler != nullptr)
			looper->PostMessage(message, handler);
		else
			looper->PostMessage(message);
	};
	if (find_thread(nullptr) == looper->Thread()) {
		DebugLog("Warning: PostMessageAsync - posting syncronous...\n");
		post();
		DebugLog("Warning: PostMessageAsync - posting syncronous...done\n");
	} else {
		DebugLog("Warning: PostMessageAsync - using currect thread...\n");
		post();
		DebugLog("Warning: PostMessageAsync - using currect thread...done\n");
	}
}

}   // namespace

void PostMessageAsync(BMessage* message, BHandler* target, int64 delay)
{
	if (message == nullptr || target == nullptr)
		return;
	BLooper* looper = target->Looper();
	if (looper == nullptr) {
		DebugLog("Warning: PostMessageAsync - target has no looper\n");
		return;
	}
	if (delay <= 0) {
		PostNow(message, looper, target);
		return;
	}
	StartDelayedDelivery(std::unique_ptr<DelayedMessage>(
		new DelayedMessage {*message, BMessenger(target, looper), delay}));
}

void PostMessageAsync(BMessage* message, BLooper* target, int64 delay)
{
	if (message == nullptr || target == nullptr)
		return;
	if (delay <= 0) {
		PostNow(message, target, nullptr);
		return;
	}
	// The looper itself handles it, as BLooper::PostMessage(message) would.
	StartDelayedDelivery(std::unique_ptr<DelayedMessage>(
		new DelayedMessage {*message, BMessenger(static_cast<BHandler*>(target), target), delay}));
}

void PostMessageAsync(BMessage* message, BMessenger* target, int64 delay)
{
	CDebugFunctionTracer tracer("PostMessageAsync");
	if (message == nullptr || target == nullptr)
		return;
	StartDelayedDelivery(std::unique_ptr<DelayedMessage>(new DelayedMessage {*message, *target, delay}));
}
