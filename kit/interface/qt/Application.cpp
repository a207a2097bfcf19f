#include "kit/interface/qt/Application.h"

#include "kit/app/MessageTarget.h"
#include "kit/interface/qt/GuiThread.h"
#include "kit/interface/qt/Window.h"
#include "kit/support/Message.h"

#include <QApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

BApplication* be_app = nullptr;

// The application's end of its messengers.
class CAppTarget : public BMessageTarget, public std::enable_shared_from_this<CAppTarget> {
public:
	explicit CAppTarget(BApplication* application) : fApplication(application) {}

	status_t Enqueue(BMessage* message, int32 handlerToken, bigtime_t timeout) override
	{
		if (message == nullptr)
			return B_BAD_VALUE;
		if (!IsOpen())
			return B_BAD_PORT_ID;
		// Owns the message while it waits; a message that could not be
		// queued stays the sender's.
		struct Queued {
			explicit Queued(BMessage* message) : message(message) {}
			~Queued() { delete message; }
			BMessage* message;
		};
		auto queued = std::make_shared<Queued>(message);
		std::shared_ptr<CAppTarget> self = shared_from_this();
		bool posted = PostToGuiThread([self, queued] {
			if (BApplication* application = self->Application())
				application->DispatchMessage(queued->message);
		});
		if (!posted) {
			queued->message = nullptr;
			return B_BAD_PORT_ID;
		}
		return B_OK;
	}
	thread_id TargetThread() const override { return GuiThread(); }
	bool IsOpen() const override { return Application() != nullptr && IsGuiDispatchOpen(); }

	BApplication* Application() const
	{
		std::lock_guard<std::mutex> lock(fLock);
		return fApplication;
	}
	void Close()
	{
		std::lock_guard<std::mutex> lock(fLock);
		fApplication = nullptr;
	}

private:
	mutable std::mutex fLock;
	BApplication* fApplication;
};

// #pragma mark - quit signals

namespace {

volatile sig_atomic_t sSignalWriteFd = -1;

void QuitSignalHandler(int signalNumber)
{
	int savedErrno = errno;
	char byte = char(signalNumber);
	if (sSignalWriteFd >= 0) {
		ssize_t ignored = write(sSignalWriteFd, &byte, 1);
		(void)ignored;
	}
	errno = savedErrno;
}

}   // namespace

// Turns SIGINT and SIGTERM into quit requests on the GUI thread.
class CQuitSignalWatcher {
public:
	explicit CQuitSignalWatcher(BApplication* application) : fApplication(application) {}
	~CQuitSignalWatcher()
	{
		if (fInstalled) {
			sigaction(SIGINT, &fOldInt, nullptr);
			sigaction(SIGTERM, &fOldTerm, nullptr);
		}
		sSignalWriteFd = -1;
		delete fNotifier;
		if (fPipe[0] >= 0)
			close(fPipe[0]);
		if (fPipe[1] >= 0)
			close(fPipe[1]);
	}

	status_t Install()
	{
		if (pipe2(fPipe, O_CLOEXEC | O_NONBLOCK) != 0)
			return StatusFromErrno();
		fNotifier = new QSocketNotifier(fPipe[0], QSocketNotifier::Read);
		QObject::connect(fNotifier, &QSocketNotifier::activated, [this] { Drain(); });
		sSignalWriteFd = fPipe[1];

		struct sigaction action = {};
		action.sa_handler = QuitSignalHandler;
		sigemptyset(&action.sa_mask);
		action.sa_flags = SA_RESTART;
		if (sigaction(SIGINT, &action, &fOldInt) != 0)
			return StatusFromErrno();
		if (sigaction(SIGTERM, &action, &fOldTerm) != 0) {
			status_t status = StatusFromErrno();
			sigaction(SIGINT, &fOldInt, nullptr);
			return status;
		}
		fInstalled = true;
		return B_OK;
	}

private:
	void Drain()
	{
		char buffer[64];
		bool any = false;
		while (read(fPipe[0], buffer, sizeof(buffer)) > 0)
			any = true;
		if (any)
			fApplication->PostMessage(B_QUIT_REQUESTED);
	}

	BApplication* fApplication;
	int fPipe[2] = {-1, -1};
	QSocketNotifier* fNotifier = nullptr;
	struct sigaction fOldInt = {};
	struct sigaction fOldTerm = {};
	bool fInstalled = false;
};

// #pragma mark - BApplication

namespace {

int sDefaultArgc = 1;
char sDefaultName[] = "Tarnwick";
char* sDefaultArgv[] = {sDefaultName, nullptr};

}   // namespace

BApplication::BApplication(const char* signature, int* argc, char** argv)
	:
	fSignature(signature != nullptr ? signature : ""),
	fTarget(std::make_shared<CAppTarget>(this))
{
	if (QApplication::instance() == nullptr) {
		if (argc == nullptr || argv == nullptr)
			fOwnedApplication = new QApplication(sDefaultArgc, sDefaultArgv);
		else
			fOwnedApplication = new QApplication(*argc, argv);
	}
	QApplication::setQuitOnLastWindowClosed(false);
	be_app = this;
	OpenGuiDispatch();
}

BApplication::~BApplication()
{
	fSignals.reset();
	fTarget->Close();
	CloseGuiDispatch();
	while (CountWindows() > 0) {
		BWindow* window = WindowAt(0);
		if (window == nullptr)
			break;
		window->Quit();
	}
	QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
	ShutDownGuiDispatch();
	if (be_app == this)
		be_app = nullptr;
	delete fOwnedApplication;
}

thread_id BApplication::Run()
{
	if (!fQuitPending) {
		fRunning = true;
		QApplication::exec();
		fRunning = false;
	}
	fQuitPending = false;
	CloseGuiDispatch();
	// Windows that quit during the last turn of the loop go now.
	QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
	return find_thread(nullptr);
}

void BApplication::Quit()
{
	if (!IsGuiThread()) {
		PostToGuiThread([this] { Quit(); });
		return;
	}
	if (fRunning)
		QCoreApplication::exit(0);
	else
		fQuitPending = true;
}

bool BApplication::QuitRequested()
{
	return true;
}

void BApplication::MessageReceived(BMessage* message)
{
	if (message != nullptr && message->IsSourceWaiting())
		message->SendReply(B_MESSAGE_NOT_UNDERSTOOD);
}

status_t BApplication::PostMessage(uint32 command)
{
	BMessage message(command);
	return PostMessage(&message);
}

status_t BApplication::PostMessage(const BMessage* message)
{
	if (message == nullptr)
		return B_BAD_VALUE;
	BMessage* copy = new BMessage(*message);
	status_t status = fTarget->Enqueue(copy, -1, B_INFINITE_TIMEOUT);
	if (status != B_OK)
		delete copy;
	return status;
}

BMessenger BApplication::Messenger() const
{
	return BMessenger(std::static_pointer_cast<BMessageTarget>(fTarget));
}

status_t BApplication::WatchQuitSignals()
{
	if (fSignals)
		return B_OK;
	auto watcher = std::make_unique<CQuitSignalWatcher>(this);
	status_t status = watcher->Install();
	if (status != B_OK)
		return status;
	fSignals = std::move(watcher);
	return B_OK;
}

void BApplication::DispatchMessage(BMessage* message)
{
	if (message == nullptr)
		return;
	if (message->what == B_QUIT_REQUESTED) {
		bool agreed = QuitRequested();
		if (message->IsSourceWaiting()) {
			BMessage reply(B_REPLY);
			reply.AddBool("result", agreed);
			message->SendReply(&reply);
		}
		if (agreed)
			Quit();
		return;
	}
	MessageReceived(message);
}
