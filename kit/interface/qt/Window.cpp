#include "kit/interface/qt/Window.h"

#include "kit/app/MessageTarget.h"
#include "kit/interface/qt/GuiThread.h"
#include "kit/support/Message.h"

#include <QCloseEvent>
#include <QPointer>

#include <algorithm>
#include <mutex>
#include <vector>

// The receiving end of a window's messengers. It outlives its window (a
// messenger may hold it); once the window is gone it refuses messages.
class CWindowTarget : public BMessageTarget, public std::enable_shared_from_this<CWindowTarget> {
public:
	CWindowTarget(BWindow* window, const char* title) : fWindow(window), fTitle(title != nullptr ? title : "") {}

	status_t Enqueue(BMessage* message, int32 handlerToken, bigtime_t timeout) override;
	thread_id TargetThread() const override { return GuiThread(); }
	bool IsOpen() const override
	{
		std::lock_guard<std::mutex> lock(fLock);
		return fWindow != nullptr;
	}

	std::string Title() const
	{
		std::lock_guard<std::mutex> lock(fLock);
		return fTitle;
	}
	void SetTitle(const char* title)
	{
		std::lock_guard<std::mutex> lock(fLock);
		fTitle = title != nullptr ? title : "";
	}
	// GUI thread only: the window, or null once it quit.
	BWindow* Window() const
	{
		std::lock_guard<std::mutex> lock(fLock);
		return fWindow;
	}
	void Close()
	{
		std::lock_guard<std::mutex> lock(fLock);
		fWindow = nullptr;
	}

private:
	mutable std::mutex fLock;
	BWindow* fWindow;
	std::string fTitle;
};

namespace {

// Owns a queued message until it is handled; a message whose queueing
// failed is handed back to the sender (released) instead of deleted.
struct QueuedMessage {
	explicit QueuedMessage(BMessage* message) : message(message) {}
	~QueuedMessage() { delete message; }
	BMessage* message;
};

std::mutex sRegistryLock;
std::vector<std::shared_ptr<CWindowTarget>> sWindows;   // guarded by sRegistryLock

void Unlist(const std::shared_ptr<CWindowTarget>& target)
{
	target->Close();
	std::lock_guard<std::mutex> lock(sRegistryLock);
	sWindows.erase(std::remove(sWindows.begin(), sWindows.end(), target), sWindows.end());
}

}   // namespace

status_t CWindowTarget::Enqueue(BMessage* message, int32 handlerToken, bigtime_t timeout)
{
	if (message == nullptr)
		return B_BAD_VALUE;
	if (!IsOpen())
		return B_BAD_PORT_ID;
	auto queued = std::make_shared<QueuedMessage>(message);
	std::shared_ptr<CWindowTarget> self = shared_from_this();
	bool posted = PostToGuiThread([self, queued] {
		BWindow* window = self->Window();
		if (window != nullptr)
			window->DispatchMessage(queued->message);
	});
	if (!posted) {
		queued->message = nullptr;   // still the sender's
		return B_BAD_PORT_ID;
	}
	return B_OK;
}

// #pragma mark - BWindow

BWindow::BWindow(BRect frame, const char* title, Qt::WindowFlags flags)
	:
	QWidget(nullptr, flags),
	fTarget(std::make_shared<CWindowTarget>(this, title))
{
	setWindowTitle(QString::fromUtf8(title != nullptr ? title : ""));
	if (frame.right >= frame.left && frame.bottom >= frame.top)
		setGeometry(int(frame.left), int(frame.top), int(frame.Width()) + 1, int(frame.Height()) + 1);
	else
		move(int(frame.left), int(frame.top));
	std::lock_guard<std::mutex> lock(sRegistryLock);
	sWindows.push_back(fTarget);
}

BWindow::~BWindow()
{
	Unlist(fTarget);
}

std::string BWindow::Title() const
{
	return fTarget->Title();
}

void BWindow::SetTitle(const char* title)
{
	fTarget->SetTitle(title);
	setWindowTitle(QString::fromUtf8(title != nullptr ? title : ""));
}

bool BWindow::QuitRequested()
{
	return true;
}

void BWindow::MessageReceived(BMessage* message)
{
	if (message != nullptr && message->IsSourceWaiting())
		message->SendReply(B_MESSAGE_NOT_UNDERSTOOD);
}

void BWindow::Quit()
{
	if (fQuitting)
		return;
	fQuitting = true;
	Unlist(fTarget);
	hide();
	deleteLater();
}

void BWindow::Show()
{
	show();
	// Windows that float above all others stay above the newcomer, also
	// where no window manager keeps them there.
	if ((windowFlags() & Qt::WindowStaysOnTopHint) != 0)
		return;
	for (int32 index = 0; BWindow* window = WindowAt(index); index++) {
		if (window != this && window->isVisible() && (window->windowFlags() & Qt::WindowStaysOnTopHint) != 0)
			window->raise();
	}
}

void BWindow::Hide()
{
	hide();
}

bool BWindow::IsHidden() const
{
	return isHidden();
}

void BWindow::Activate(bool active)
{
	if (!active)
		return;
	raise();
	activateWindow();
}

BRect BWindow::Frame() const
{
	QRect area = geometry();
	return BRect(area.left(), area.top(), area.left() + area.width() - 1, area.top() + area.height() - 1);
}

void BWindow::MoveTo(float left, float top)
{
	move(int(left), int(top));
}

void BWindow::ResizeTo(float width, float height)
{
	resize(int(width) + 1, int(height) + 1);
}

void BWindow::SetSizeLimits(float minWidth, float maxWidth, float minHeight, float maxHeight)
{
	setMinimumSize(int(minWidth) + 1, int(minHeight) + 1);
	setMaximumSize(int(maxWidth) + 1, int(maxHeight) + 1);
}

BMessenger BWindow::Messenger() const
{
	return BMessenger(std::static_pointer_cast<BMessageTarget>(fTarget));
}

status_t BWindow::PostMessage(uint32 command)
{
	BMessage message(command);
	return PostMessage(&message);
}

status_t BWindow::PostMessage(const BMessage* message)
{
	if (message == nullptr)
		return B_BAD_VALUE;
	BMessage* copy = new BMessage(*message);
	status_t status = fTarget->Enqueue(copy, -1, B_INFINITE_TIMEOUT);
	if (status != B_OK)
		delete copy;
	return status;
}

void BWindow::DispatchMessage(BMessage* message)
{
	if (message == nullptr || fQuitting)
		return;
	// A handler that runs a nested event loop (a dialog) may see the window
	// quit and deleted before it returns.
	QPointer<BWindow> self(this);
	BMessage* previous = fCurrentMessage;
	fCurrentMessage = message;
	if (message->what == B_QUIT_REQUESTED) {
		bool agreed = QuitRequested();
		if (message->IsSourceWaiting()) {
			BMessage reply(B_REPLY);
			reply.AddBool("result", agreed && !self.isNull());
			message->SendReply(&reply);
		}
		if (agreed && !self.isNull())
			Quit();
	} else {
		MessageReceived(message);
	}
	if (!self.isNull())
		fCurrentMessage = previous;
}

void BWindow::closeEvent(QCloseEvent* event)
{
	// The window goes away only through Quit(), so its list entry and its
	// deletion follow one path.
	event->ignore();
	if (fQuitting)
		return;
	QPointer<BWindow> self(this);
	bool agreed = QuitRequested();
	if (agreed && !self.isNull() && !fQuitting)
		Quit();
}

// #pragma mark - registry

int32 CountWindows()
{
	std::lock_guard<std::mutex> lock(sRegistryLock);
	return int32(sWindows.size());
}

BWindow* WindowAt(int32 index)
{
	std::shared_ptr<CWindowTarget> target;
	{
		std::lock_guard<std::mutex> lock(sRegistryLock);
		if (index < 0 || size_t(index) >= sWindows.size())
			return nullptr;
		target = sWindows[size_t(index)];
	}
	return target->Window();
}

namespace {

std::shared_ptr<CWindowTarget> FindTarget(const char* title)
{
	if (title == nullptr)
		return nullptr;
	std::lock_guard<std::mutex> lock(sRegistryLock);
	for (const std::shared_ptr<CWindowTarget>& target : sWindows) {
		if (target->Title() == title)
			return target;
	}
	return nullptr;
}

}   // namespace

BWindow* FindWindow(const char* title)
{
	std::shared_ptr<CWindowTarget> target = FindTarget(title);
	return target ? target->Window() : nullptr;
}

BMessenger FindWindowMessenger(const char* title)
{
	std::shared_ptr<CWindowTarget> target = FindTarget(title);
	if (!target)
		return BMessenger();
	return BMessenger(std::static_pointer_cast<BMessageTarget>(target));
}
