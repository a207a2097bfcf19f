// BMessageRunner: one sending thread per runner.
#include "kit/app/MessageRunner.h"

#include "kit/app/OrderedPoster.h"
#include "kit/support/Message.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

}   // namespace

struct BMessageRunner::State {
	std::mutex mutex;
	std::condition_variable changed;
	BMessenger target;
	std::unique_ptr<BMessage> message;
	bigtime_t interval = 0;
	int32 count = 0;
	status_t init = B_NO_INIT;
	bool stop = false;
	bool rescheduled = false;
	bool endWhenDone = false;   // no runner object: the thread ends after the last copy
	std::thread thread;

	void Run();
	status_t Send(const BMessage& copy, std::unique_lock<std::mutex>& lock);
};

void BMessageRunner::State::Run()
{
	std::unique_lock lock(mutex);
	Clock::time_point next = Clock::now() + std::chrono::microseconds(interval);
	for (;;) {
		if (stop || (count == 0 && endWhenDone))
			return;
		if (count == 0) {
			changed.wait(lock, [this] { return stop || count != 0; });
			next = Clock::now() + std::chrono::microseconds(interval);
			rescheduled = false;
			continue;
		}
		if (rescheduled) {
			next = Clock::now() + std::chrono::microseconds(interval);
			rescheduled = false;
		}
		if (Clock::now() < next) {
			changed.wait_until(lock, next, [this] { return stop || rescheduled || count == 0; });
			continue;
		}

		// Counted before it goes: whoever has received it sees the count
		// that is left.
		if (count > 0)
			count--;
		BMessage copy(*message);
		status_t status = Send(copy, lock);
		if (stop)
			return;
		if (status == B_BAD_PORT_ID)
			count = 0;   // the target is gone for good
		next += std::chrono::microseconds(interval);
		Clock::time_point now = Clock::now();
		if (next < now)
			next = now + std::chrono::microseconds(interval);   // fell behind: keep the spacing
	}
}

status_t BMessageRunner::State::Send(const BMessage& copy, std::unique_lock<std::mutex>& lock)
{
	BMessenger messenger = target;
	lock.unlock();
	BMessage outgoing(copy);
	// A full target is waited for until the runner goes.
	status_t status = PostInOrder(messenger, &outgoing, [this] {
		std::lock_guard<std::mutex> guard(mutex);
		return !stop;
	});
	lock.lock();
	return status;
}

BMessageRunner::BMessageRunner(BMessenger target, const BMessage* message, bigtime_t interval, int32 count)
	: fState(std::make_shared<State>())
{
	fState->target = std::move(target);
	fState->interval = interval;
	fState->count = count;
	if (message == nullptr || interval <= 0 || count == 0 || count < -1) {
		fState->init = B_BAD_VALUE;
		return;
	}
	fState->message = std::make_unique<BMessage>(*message);
	fState->init = B_OK;
	State* state = fState.get();
	fState->thread = std::thread([state] { state->Run(); });
}

BMessageRunner::BMessageRunner(BMessenger target, const BMessage& message, bigtime_t interval, int32 count)
	: BMessageRunner(std::move(target), &message, interval, count)
{
}

BMessageRunner::~BMessageRunner()
{
	{
		std::lock_guard lock(fState->mutex);
		fState->stop = true;
		fState->changed.notify_all();
	}
	if (fState->thread.joinable())
		fState->thread.join();
}

status_t BMessageRunner::InitCheck() const
{
	return fState->init;
}

status_t BMessageRunner::SetInterval(bigtime_t interval)
{
	if (fState->init != B_OK)
		return fState->init;
	if (interval <= 0)
		return B_BAD_VALUE;
	std::lock_guard lock(fState->mutex);
	fState->interval = interval;
	fState->rescheduled = true;
	fState->changed.notify_all();
	return B_OK;
}

status_t BMessageRunner::SetCount(int32 count)
{
	if (fState->init != B_OK)
		return fState->init;
	if (count < -1)
		return B_BAD_VALUE;
	std::lock_guard lock(fState->mutex);
	fState->count = count;
	fState->changed.notify_all();
	return B_OK;
}

status_t BMessageRunner::GetInfo(bigtime_t* interval, int32* count) const
{
	if (fState->init != B_OK)
		return fState->init;
	std::lock_guard lock(fState->mutex);
	if (interval != nullptr)
		*interval = fState->interval;
	if (count != nullptr)
		*count = fState->count;
	return B_OK;
}

status_t BMessageRunner::StartSending(BMessenger target, const BMessage* message, bigtime_t delay, int32 count)
{
	if (message == nullptr || delay <= 0 || count <= 0)
		return B_BAD_VALUE;
	auto state = std::make_shared<State>();
	state->target = std::move(target);
	state->message = std::make_unique<BMessage>(*message);
	state->interval = delay;
	state->count = count;
	state->init = B_OK;
	state->endWhenDone = true;
	// The thread keeps the state alive and ends after the last copy.
	std::thread([state] { state->Run(); }).detach();
	return B_OK;
}
