#include "kit/interface/qt/GuiThread.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace {

const QEvent::Type kWorkEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class CWorkEvent : public QEvent {
public:
	explicit CWorkEvent(std::function<void()> work) : QEvent(kWorkEvent), fWork(std::move(work)) {}
	void Run() { fWork(); }

private:
	std::function<void()> fWork;
};

// Receives the queued work on the GUI thread.
class CGuiDispatcher : public QObject {
public:
	bool event(QEvent* event) override;
};

std::mutex sLock;
CGuiDispatcher* sDispatcher = nullptr;   // guarded by sLock
bool sOpen = false;                      // guarded by sLock
std::thread::id sGuiThread;              // guarded by sLock
thread_id sGuiThreadId = -1;             // guarded by sLock

bool CGuiDispatcher::event(QEvent* event)
{
	if (event->type() != kWorkEvent)
		return QObject::event(event);
	if (IsGuiDispatchOpen())
		static_cast<CWorkEvent*>(event)->Run();
	return true;
}

// What a waiting caller and its queued work share.
struct WaitState {
	std::mutex lock;
	std::condition_variable changed;
	bool started = false;
	bool done = false;
	bool abandoned = false;
};

}   // namespace

bool IsGuiThread()
{
	std::lock_guard<std::mutex> lock(sLock);
	return sGuiThread != std::thread::id() && sGuiThread == std::this_thread::get_id();
}

thread_id GuiThread()
{
	std::lock_guard<std::mutex> lock(sLock);
	return sGuiThreadId;
}

bool IsGuiDispatchOpen()
{
	std::lock_guard<std::mutex> lock(sLock);
	return sOpen;
}

bool RunOnGuiThread(const std::function<void()>& function)
{
	if (IsGuiThread()) {
		if (!IsGuiDispatchOpen())
			return false;
		function();
		return true;
	}

	auto state = std::make_shared<WaitState>();
	bool posted = PostToGuiThread([state, &function] {
		{
			std::lock_guard<std::mutex> lock(state->lock);
			if (state->abandoned)
				return;
			state->started = true;
		}
		function();
		{
			std::lock_guard<std::mutex> lock(state->lock);
			state->done = true;
		}
		state->changed.notify_all();
	});
	if (!posted)
		return false;

	std::unique_lock<std::mutex> lock(state->lock);
	while (!state->done) {
		if (!state->started && !IsGuiDispatchOpen()) {
			// The work may still sit in a queue: it must not touch `function`
			// once we have returned.
			state->abandoned = true;
			return false;
		}
		state->changed.wait_for(lock, std::chrono::milliseconds(50));
	}
	return true;
}

bool PostToGuiThread(std::function<void()> function)
{
	std::lock_guard<std::mutex> lock(sLock);
	if (!sOpen || sDispatcher == nullptr)
		return false;
	QCoreApplication::postEvent(sDispatcher, new CWorkEvent(std::move(function)));
	return true;
}

void OpenGuiDispatch()
{
	thread_id self = find_thread(nullptr);
	std::lock_guard<std::mutex> lock(sLock);
	if (sDispatcher == nullptr)
		sDispatcher = new CGuiDispatcher;
	sGuiThread = std::this_thread::get_id();
	sGuiThreadId = self;
	sOpen = true;
}

void CloseGuiDispatch()
{
	std::lock_guard<std::mutex> lock(sLock);
	sOpen = false;
}

void ShutDownGuiDispatch()
{
	CGuiDispatcher* dispatcher;
	{
		std::lock_guard<std::mutex> lock(sLock);
		sOpen = false;
		dispatcher = sDispatcher;
		sDispatcher = nullptr;
		sGuiThread = std::thread::id();
		sGuiThreadId = -1;
	}
	// Qt destroys the events still queued for it.
	delete dispatcher;
}
