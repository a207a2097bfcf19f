// Posting in order with a bounded wait for room, and the poster thread.
#include "kit/app/OrderedPoster.h"

#include "kit/kernel/OS.h"
#include "kit/support/Message.h"

#include <pthread.h>

status_t PostInOrder(const BMessenger& target, BMessage* message, const std::function<bool()>& keepTrying,
	bigtime_t patience)
{
	if (message == nullptr)
		return B_BAD_VALUE;
	const bigtime_t deadline = system_time() + (patience > 0 ? patience : 0);
	for (;;) {
		bigtime_t slice = deadline - system_time();
		if (slice > kOrderedPostSlice)
			slice = kOrderedPostSlice;
		if (slice < 0)
			slice = 0;
		status_t status = target.SendMessage(message, nullptr, slice);
		if (status != B_TIMED_OUT && status != B_WOULD_BLOCK)
			return status;
		if (system_time() >= deadline || (keepTrying && !keepTrying()))
			return B_TIMED_OUT;
	}
}

COrderedPoster::COrderedPoster(const char* name, bigtime_t patience)
	: fName(name != nullptr ? name : "ordered poster"), fPatience(patience)
{
}

COrderedPoster::~COrderedPoster()
{
	Stop();
}

bool COrderedPoster::Start()
{
	std::lock_guard<std::mutex> lock(fLock);
	if (fRunning)
		return true;
	fRunning = true;
	fStopping = false;
	fThread = std::thread(&COrderedPoster::_Run, this);
	return true;
}

bool COrderedPoster::Post(const BMessenger& target, const BMessage& message)
{
	std::lock_guard<std::mutex> lock(fLock);
	if (!fRunning || fStopping)
		return false;
	fQueue.push_back(Outgoing{target, std::make_unique<BMessage>(message)});
	fChanged.notify_one();
	return true;
}

void COrderedPoster::Stop()
{
	{
		std::lock_guard<std::mutex> lock(fLock);
		if (!fRunning)
			return;
		fStopping = true;
		fChanged.notify_one();
	}
	fThread.join();
	std::lock_guard<std::mutex> lock(fLock);
	fQueue.clear();
	fRunning = false;
	fStopping = false;
}

int32 COrderedPoster::CountQueued() const
{
	std::lock_guard<std::mutex> lock(fLock);
	return int32(fQueue.size());
}

void COrderedPoster::_Run()
{
	pthread_setname_np(pthread_self(), fName.substr(0, 15).c_str());
	std::unique_lock<std::mutex> lock(fLock);
	for (;;) {
		fChanged.wait(lock, [this] { return fStopping || !fQueue.empty(); });
		if (fQueue.empty())
			return;   // asked to stop, and everything was handed over
		Outgoing outgoing = std::move(fQueue.front());
		fQueue.pop_front();
		lock.unlock();
		// A target that closed meanwhile is not waited for.
		PostInOrder(
			outgoing.target, outgoing.message.get(),
			[this, &outgoing] {
				std::lock_guard<std::mutex> guard(fLock);
				return !fStopping && outgoing.target.IsValid();
			},
			fPatience);
		outgoing.message.reset();
		lock.lock();
	}
}
