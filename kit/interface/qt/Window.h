// BWindow: a top-level window of the program, and the registry of all of
// them. Every window lives on the GUI thread; other threads reach it by its
// exact title (FindWindowMessenger) or through its messenger, which posts
// messages into the GUI event queue for the window's MessageReceived.
//
// Windows are listed in the order they were made, from construction until
// Quit() (or destruction).
#pragma once

#include "kit/app/Messenger.h"
#include "kit/interface/Rect.h"
#include "kit/support/SupportDefs.h"

#include <QWidget>

#include <memory>
#include <string>

class BMessage;
class CWindowTarget;

class BWindow : public QWidget {
	Q_OBJECT

public:
	// GUI thread. `frame` is the content area in screen coordinates, edges
	// inclusive (a frame (0,0,99,49) is 100 by 50 pixels). A frame whose
	// right or bottom lies below its left or top (the openers pass -1) only
	// places the window; its contents size it. The window starts hidden.
	BWindow(BRect frame, const char* title, Qt::WindowFlags flags = Qt::Window);
	// GUI thread. Delete a window through Quit(); the application deletes
	// windows still listed when it goes away.
	~BWindow() override;

	// Any thread.
	std::string Title() const;
	// GUI thread.
	void SetTitle(const char* title);

	// GUI thread. Asked before the window closes (the close button, a
	// B_QUIT_REQUESTED message, the application's quit). Default: true.
	virtual bool QuitRequested();
	// GUI thread. Messages posted to the window. The default answers a
	// waiting sender with B_MESSAGE_NOT_UNDERSTOOD.
	virtual void MessageReceived(BMessage* message);
	// GUI thread. Takes the window off the list and off the screen at once
	// and deletes it when the event loop next turns. Safe inside the window's
	// own handlers. Does not ask QuitRequested.
	virtual void Quit();

	// GUI thread. Showing a window keeps the windows that float above all
	// others (Qt::WindowStaysOnTopHint) above it.
	void Show();
	void Hide();
	bool IsHidden() const;
	// Brings the window to the front and gives it the focus.
	void Activate(bool active = true);
	// The content area in screen coordinates (edges inclusive).
	BRect Frame() const;
	void MoveTo(float left, float top);
	void ResizeTo(float width, float height);
	// Limits of Frame().Width() and Frame().Height().
	void SetSizeLimits(float minWidth, float maxWidth, float minHeight, float maxHeight);
	// The message being handled by MessageReceived, or null.
	BMessage* CurrentMessage() const { return fCurrentMessage; }

	// Any thread. The messenger stays safe after the window is gone
	// (sending then fails with B_BAD_PORT_ID).
	BMessenger Messenger() const;
	// Any thread: queues a copy of the message. B_OK, or B_BAD_PORT_ID once
	// the window has quit or the event loop has ended.
	status_t PostMessage(uint32 command);
	status_t PostMessage(const BMessage* message);

	// GUI thread: handles one message as the queue would (B_QUIT_REQUESTED
	// asks QuitRequested and quits on agreement; the rest goes to
	// MessageReceived).
	void DispatchMessage(BMessage* message);

protected:
	void closeEvent(QCloseEvent* event) override;

private:
	std::shared_ptr<CWindowTarget> fTarget;
	BMessage* fCurrentMessage = nullptr;
	bool fQuitting = false;
};

// Any thread: how many windows are listed.
int32 CountWindows();
// The window at `index` (0 = the oldest), or null. The pointer may only be
// used on the GUI thread (any thread may compare it).
BWindow* WindowAt(int32 index);
// The first listed window whose title equals `title` exactly, or null. Any
// thread may look; the pointer may only be used on the GUI thread.
BWindow* FindWindow(const char* title);
// The messenger of that window; an invalid messenger when there is none.
// Any thread.
BMessenger FindWindowMessenger(const char* title);
