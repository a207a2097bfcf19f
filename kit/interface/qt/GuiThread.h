// Work for the GUI thread: every window and widget lives on the thread that
// runs the Qt application, and other threads hand work to it here.
//
// The dispatch is open from the moment the application object exists until
// its event loop has ended (or the application is closed without running).
// Work queued while it is open runs in order on the GUI thread once the
// event loop turns; work whose turn has not come when the dispatch closes is
// dropped, and a thread waiting for it is released.
#pragma once

#include "kit/kernel/OS.h"

#include <functional>

// True on the GUI thread while the dispatch is open or the application
// object exists.
bool IsGuiThread();
// The kit id of the GUI thread, or -1 when there is no application.
thread_id GuiThread();
// True while work can be queued.
bool IsGuiDispatchOpen();

// Runs `function` on the GUI thread and waits until it has run; on the GUI
// thread itself it runs at once. False when it did not run: the dispatch is
// closed, or closed before the function's turn came. Once the function has
// started, the call waits for it to finish however long it takes (a dialog
// may wait for the user). Any thread.
bool RunOnGuiThread(const std::function<void()>& function);

// Queues `function` for the GUI thread without waiting (also when called on
// the GUI thread: it runs on a later turn of the event loop). False when the
// dispatch is closed; the function is then destroyed without running. Any
// thread.
bool PostToGuiThread(std::function<void()> function);

// For the application object (GUI thread): opens the dispatch on the calling
// thread, which must be the Qt application's thread, and closes it. Closing
// releases every waiter whose work has not started.
void OpenGuiDispatch();
void CloseGuiDispatch();
// Ends the dispatch for good when the application object goes away: work
// still queued is destroyed without running.
void ShutDownGuiDispatch();
