// BApplication: the program's application object on top of a Qt
// application. Its message loop is the Qt event loop of the thread that made
// it (the GUI thread); messages posted to it from any thread are handled
// there, B_QUIT_REQUESTED by asking QuitRequested() and ending the loop on
// agreement.
//
// One application object exists at a time. Closing the last window does not
// end the loop: only Quit() does.
#pragma once

#include "kit/app/Messenger.h"
#include "kit/kernel/OS.h"
#include "kit/support/SupportDefs.h"

#include <memory>
#include <string>

class BMessage;
class BWindow;
class QApplication;
class CAppTarget;
class CQuitSignalWatcher;

class BApplication {
public:
	// On the thread that will run the loop. Uses the Qt application that
	// exists already, or makes one from argc/argv (both must outlive the
	// object; null gives a command line of the program's name only).
	explicit BApplication(const char* signature, int* argc = nullptr, char** argv = nullptr);
	// GUI thread. Deletes the windows still listed, then the Qt application
	// if this object made it.
	virtual ~BApplication();
	BApplication(const BApplication&) = delete;
	BApplication& operator=(const BApplication&) = delete;

	// Runs the message loop until Quit() and returns the thread's id. After
	// it returns the application takes no more messages.
	thread_id Run();
	// GUI thread: ends Run() (at once when called before Run: Run then
	// returns without looping). Another thread's call is queued.
	void Quit();
	// GUI thread, on B_QUIT_REQUESTED. Default: true.
	virtual bool QuitRequested();
	// GUI thread. The default answers a waiting sender with
	// B_MESSAGE_NOT_UNDERSTOOD.
	virtual void MessageReceived(BMessage* message);

	// Any thread: queues a copy. B_OK, or B_BAD_PORT_ID once the loop ended.
	status_t PostMessage(uint32 command);
	status_t PostMessage(const BMessage* message);
	BMessenger Messenger() const;
	const char* Signature() const { return fSignature.c_str(); }
	// True while Run() loops.
	bool IsRunning() const { return fRunning; }

	// From now on until the object goes away, SIGINT and SIGTERM post
	// B_QUIT_REQUESTED to the application (through a pipe: the signal
	// handler only writes to it). B_OK or the failure to set it up.
	status_t WatchQuitSignals();

	// GUI thread: handles one message as the loop would.
	void DispatchMessage(BMessage* message);

private:
	std::string fSignature;
	std::shared_ptr<CAppTarget> fTarget;
	std::unique_ptr<CQuitSignalWatcher> fSignals;
	QApplication* fOwnedApplication = nullptr;
	bool fRunning = false;
	bool fQuitPending = false;
};

// The application object, or null.
extern BApplication* be_app;
