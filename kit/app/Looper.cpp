// BLooper and its queue (BLooperPort).
#include "kit/app/Looper.h"

#include "kit/app/AppPrivate.h"
#include "kit/app/LooperPort.h"
#include "kit/app/Messenger.h"
#include "kit/support/Message.h"

#include <algorithm>
#include <mutex>
#include <unordered_map>

using app_private::WaitUntilReady;

namespace {

// Loopers by the id of their thread, from Run until the loop ends.
struct LooperRegistry {
	std::mutex mutex;
	std::unordered_map<thread_id, BLooper*> loopers;
};

LooperRegistry& Registry()
{
	static LooperRegistry* registry = new LooperRegistry;   // never destroyed: loopers may outlive it
	return *registry;
}

void RegisterThread(thread_id thread, BLooper* looper)
{
	LooperRegistry& registry = Registry();
	std::lock_guard lock(registry.mutex);
	if (looper != nullptr)
		registry.loopers[thread] = looper;
	else
		registry.loopers.erase(thread);
}

}   // namespace

// #pragma mark - BLooperPort

BLooperPort::BLooperPort(BLooper* looper, const char* name, int32 capacity)
	: fLocker(name),
	  fCapacity(size_t(capacity)),
	  fLooper(looper)
{
}

BLooperPort::~BLooperPort()
{
	for (Entry& entry : fQueue)
		delete entry.message;
}

status_t BLooperPort::Enqueue(BMessage* message, int32 handlerToken, bigtime_t timeout)
{
	if (message == nullptr)
		return B_BAD_VALUE;
	std::unique_lock lock(fMutex);
	if (!fOpen)
		return B_BAD_PORT_ID;
	if (fQueued >= fCapacity) {
		if (timeout <= 0)
			return B_WOULD_BLOCK;
		fWaitingSenders++;
		const bool ready = WaitUntilReady(fNotFull, lock, timeout, [this] { return !fOpen || fQueued < fCapacity; });
		fWaitingSenders--;
		if (!ready)
			return B_TIMED_OUT;
		if (!fOpen)
			return B_BAD_PORT_ID;
	}
	fQueue.push_back(Entry {message, handlerToken});
	fQueued++;
	fNotEmpty.notify_one();
	return B_OK;
}

thread_id BLooperPort::TargetThread() const
{
	std::lock_guard lock(fMutex);
	return fThread;
}

BLooper* BLooperPort::TargetLooper() const
{
	std::lock_guard lock(fMutex);
	return fLooper;
}

bool BLooperPort::IsOpen() const
{
	std::lock_guard lock(fMutex);
	return fOpen;
}

bool BLooperPort::Dequeue(BMessage** message, int32* handlerToken)
{
	std::unique_lock lock(fMutex);
	fNotEmpty.wait(lock, [this] { return fStopped || !fQueue.empty(); });
	if (fQueue.empty())
		return false;
	Entry entry = fQueue.front();
	fQueue.pop_front();
	if (entry.message == nullptr)
		return false;
	fQueued--;
	fNotFull.notify_one();
	*message = entry.message;
	*handlerToken = entry.token;
	return true;
}

void BLooperPort::Close(bool drain)
{
	std::deque<Entry> dropped;
	{
		std::lock_guard lock(fMutex);
		if (drain) {
			if (fOpen)
				fQueue.push_back(Entry {nullptr, -1});
		} else {
			dropped.swap(fQueue);
			fQueued = 0;
			fStopped = true;
		}
		fOpen = false;
		fNotFull.notify_all();
		fNotEmpty.notify_all();
	}
	// Deleting a message may wake a synchronous sender (B_NO_REPLY); do it
	// outside the queue's lock.
	for (Entry& entry : dropped)
		delete entry.message;
}

void BLooperPort::SetThread(thread_id thread)
{
	std::lock_guard lock(fMutex);
	fThread = thread;
}

int32 BLooperPort::CountQueued() const
{
	std::lock_guard lock(fMutex);
	return int32(fQueued);
}

int32 BLooperPort::CountWaitingSenders() const
{
	std::lock_guard lock(fMutex);
	return fWaitingSenders;
}

void BLooperPort::LooperGone()
{
	std::lock_guard lock(fMutex);
	fLooper = nullptr;
}

status_t BLooperPort::LockLooper(bigtime_t timeout)
{
	status_t status;
	if (timeout >= app_private::kUnlimitedTimeout)
		status = fLocker.Lock() ? B_OK : B_BAD_VALUE;
	else
		status = fLocker.LockWithTimeout(std::max<bigtime_t>(timeout, 0));
	if (status != B_OK)
		return status;
	bool gone;
	{
		std::lock_guard lock(fMutex);
		gone = fLooper == nullptr;
	}
	if (gone) {
		fLocker.Unlock();
		return B_BAD_VALUE;
	}
	return B_OK;
}

// #pragma mark - BLooper

BLooper::BLooper(const char* name, int32 priority, int32 portCapacity)
	: BHandler(name),
	  fPriority(priority),
	  fCapacity(portCapacity > 0 ? portCapacity : B_LOOPER_PORT_DEFAULT_CAPACITY)
{
	fPort = std::make_shared<BLooperPort>(this, Name(), fCapacity);
	fPort->Locker().Lock();   // Run() unlocks
	fPreferred = this;
	AddHandler(this);
}

BLooper::~BLooper()
{
	std::shared_ptr<BLooperPort> port = fPort;
	thread_id self = find_thread(nullptr);
	if (fRunning && !fQuitFromOutside && !fQuitting && self != fThread) {
		// Deleted while it runs: stop the thread before the object goes.
		debugger("BLooper deleted while it runs; use Quit()");
		if (!port->Locker().IsLocked())
			port->Locker().Lock();
		fQuitFromOutside = true;
		port->Close(true);
		while (port->Locker().IsLocked())
			port->Locker().Unlock();
		wait_for_thread(fThread, nullptr);
	}
	if (!port->Locker().IsLocked())
		port->Locker().Lock();
	port->Close(false);
	port->LooperGone();
	if (fRunning)
		RegisterThread(fThread, nullptr);

	for (BHandler* handler : fHandlers) {
		handler->fLooper.store(nullptr, std::memory_order_release);
		if (handler->fNextHandler == this)
			handler->fNextHandler = nullptr;
	}
	fHandlers.clear();
	delete fCurrentMessage;
	fCurrentMessage = nullptr;

	while (port->Locker().IsLocked())
		port->Locker().Unlock();
}

thread_id BLooper::Run()
{
	if (fRunning) {
		debugger("BLooper::Run called twice");
		return fThread;
	}
	const char* name = Name()[0] != '\0' ? Name() : "anonymous looper";
	thread_id thread = spawn_thread(&BLooper::LoopEntry, name, fPriority, this);
	if (thread < 0)
		return thread;
	fThread = thread;
	fRunning = true;
	fPort->SetThread(thread);
	RegisterThread(thread, this);
	if (fPort->Locker().IsLocked())
		fPort->Locker().Unlock();
	status_t status = resume_thread(thread);
	if (status != B_OK)
		return status;
	return thread;
}

status_t BLooper::LoopEntry(void* data)
{
	static_cast<BLooper*>(data)->Loop();
	return B_OK;
}

void BLooper::Loop()
{
	// The looper may be deleted by this thread or by a quitting thread:
	// keep what is needed after that in locals.
	std::shared_ptr<BLooperPort> port = fPort;
	BLocker& locker = port->Locker();
	for (;;) {
		BMessage* message = nullptr;
		int32 token = -1;
		if (!port->Dequeue(&message, &token))
			break;   // Quit from another thread: it waits for us and deletes the looper
		locker.Lock();
		if (BHandler* handler = ResolveHandler(token)) {
			message->fWasDelivered = true;
			fCurrentMessage = message;
			DispatchMessage(message, handler);
			delete fCurrentMessage;   // null when detached
			fCurrentMessage = nullptr;
		} else {
			delete message;   // its handler was removed meanwhile
		}
		if (fQuitting) {
			if (fQuitFromOutside) {
				// The quitting thread deletes the looper.
				locker.Unlock();
				break;
			}
			RegisterThread(fThread, nullptr);
			detach_thread(fThread);
			delete this;   // with the lock held; the destructor releases it
			return;
		}
		locker.Unlock();
	}
}

BHandler* BLooper::ResolveHandler(int32 token) const
{
	if (token < 0)
		return fPreferred != nullptr ? fPreferred : const_cast<BLooper*>(this);
	for (BHandler* handler : fHandlers) {
		if (handler->Token() == token)
			return handler;
	}
	return nullptr;
}

void BLooper::Quit()
{
	std::shared_ptr<BLooperPort> port = fPort;
	if (!fRunning) {
		// Never ran: no thread to stop.
		if (!port->Locker().IsLocked())
			port->Locker().Lock();
		delete this;
		return;
	}
	if (find_thread(nullptr) == fThread) {
		// On our own thread: the loop ends after the current message.
		fQuitting = true;
		port->Close(false);
		return;
	}
	if (!port->Locker().IsLocked() && port->LockLooper(B_INFINITE_TIMEOUT) != B_OK)
		return;
	if (fQuitFromOutside) {
		// Another thread is already quitting the looper and deletes it.
		while (port->Locker().IsLocked())
			port->Locker().Unlock();
		return;
	}
	fQuitFromOutside = true;
	thread_id thread = fThread;
	port->Close(true);
	// Let the thread dispatch what is queued (it needs the lock).
	while (port->Locker().IsLocked())
		port->Locker().Unlock();
	wait_for_thread(thread, nullptr);
	port->Locker().Lock();
	delete this;
}

bool BLooper::QuitRequested()
{
	return true;
}

void BLooper::DispatchMessage(BMessage* message, BHandler* handler)
{
	if (message == nullptr || handler == nullptr)
		return;
	if (message->what == B_QUIT_REQUESTED && handler == this) {
		bool quit = QuitRequested();
		if (message->IsSourceWaiting()) {
			BMessage reply(B_REPLY);
			reply.AddBool("result", quit);
			message->SendReply(&reply);
		}
		if (quit)
			Quit();
		return;
	}
	handler->MessageReceived(message);
}

void BLooper::MessageReceived(BMessage* message)
{
	BHandler::MessageReceived(message);
}

status_t BLooper::PostMessage(uint32 command)
{
	BMessage message(command);
	return PostMessage(&message, this);
}

status_t BLooper::PostMessage(BMessage* message)
{
	return PostMessage(message, this);
}

status_t BLooper::PostMessage(uint32 command, BHandler* handler, BHandler* replyTo)
{
	BMessage message(command);
	return PostMessage(&message, handler, replyTo);
}

status_t BLooper::PostMessage(BMessage* message, BHandler* handler, BHandler* replyTo)
{
	if (message == nullptr)
		return B_BAD_VALUE;
	int32 token = -1;
	if (handler != nullptr) {
		if (handler->Looper() != this)
			return B_MISMATCHED_VALUES;
		token = handler->Token();
	}
	return BMessenger(fPort, token).SendMessage(message, replyTo, 0);
}

bool BLooper::Lock()
{
	return LockWithTimeout(B_INFINITE_TIMEOUT) == B_OK;
}

void BLooper::Unlock()
{
	fPort->Locker().Unlock();
}

status_t BLooper::LockWithTimeout(bigtime_t timeout)
{
	// Keep the port: the looper may be deleted while this thread waits.
	std::shared_ptr<BLooperPort> port = fPort;
	return port->LockLooper(timeout);
}

bool BLooper::IsLocked() const
{
	return fPort->Locker().IsLocked();
}

thread_id BLooper::LockingThread() const
{
	return fPort->Locker().LockingThread();
}

int32 BLooper::CountLocks() const
{
	return fPort->Locker().CountLocks();
}

BMessage* BLooper::DetachCurrentMessage()
{
	BMessage* message = fCurrentMessage;
	fCurrentMessage = nullptr;
	return message;
}

void BLooper::AddHandler(BHandler* handler)
{
	if (handler == nullptr)
		return;
	BAutolock lock(fPort->Locker());
	BLooper* owner = handler->Looper();
	if (owner == this)
		return;
	if (owner != nullptr) {
		debugger("BLooper::AddHandler: the handler belongs to another looper");
		return;
	}
	handler->fLooper.store(this, std::memory_order_release);
	if (handler != this && handler->fNextHandler == nullptr)
		handler->fNextHandler = this;
	fHandlers.push_back(handler);
}

bool BLooper::RemoveHandler(BHandler* handler)
{
	if (handler == nullptr || handler == this)
		return false;
	BAutolock lock(fPort->Locker());
	if (handler->Looper() != this)
		return false;
	fHandlers.erase(std::remove(fHandlers.begin(), fHandlers.end(), handler), fHandlers.end());
	handler->fLooper.store(nullptr, std::memory_order_release);
	if (handler->fNextHandler == this)
		handler->fNextHandler = nullptr;
	if (fPreferred == handler)
		fPreferred = this;
	return true;
}

void BLooper::SetPreferredHandler(BHandler* handler)
{
	fPreferred = handler != nullptr && handler->Looper() == this ? handler : this;
}

int32 BLooper::CountHandlers() const
{
	return int32(fHandlers.size());
}

BHandler* BLooper::HandlerAt(int32 index) const
{
	if (index < 0 || size_t(index) >= fHandlers.size())
		return nullptr;
	return fHandlers[size_t(index)];
}

std::shared_ptr<BMessageTarget> BLooper::Target() const
{
	return fPort;
}

BLooper* BLooper::LooperForThread(thread_id thread)
{
	LooperRegistry& registry = Registry();
	std::lock_guard lock(registry.mutex);
	auto found = registry.loopers.find(thread);
	return found == registry.loopers.end() ? nullptr : found->second;
}
