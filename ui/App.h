// CApp: the application object. It brings the program up on the
// "application init" thread while the message loop already runs (settings,
// driver add-ons, drives, project roster, then the main window), asks every
// window before the program quits, and takes everything down again in
// reverse when it is deleted.
#pragma once

#include "kit/interface/qt/Application.h"
#include "kit/kernel/OS.h"
#include "kit/support/SupportDefs.h"

#include <string>

class CApp : public BApplication {
public:
	// Main thread. Starts the init thread and returns at once; SIGINT and
	// SIGTERM ask the application to quit from now on. argc/argv (may be
	// null) go to the Qt application and must outlive the object.
	explicit CApp(int* argc = nullptr, char** argv = nullptr);
	// Main thread, after Run(): waits for the init thread, then Exit() and
	// StopSplashScreen().
	~CApp() override;

	void MessageReceived(BMessage* message) override;
	// Asks every window in turn; the first refusal cancels the quit.
	// Otherwise closes every window and agrees.
	bool QuitRequested() override;

	// The start-up sequence; true when the program is ready for its main
	// window. Run by the init thread.
	static bool Init();
	// The shutdown sequence; every step runs, whatever failed before.
	static void Exit();
	// The project root folder, made when missing (a pending move of it is
	// carried out). B_OK, B_ENTRY_NOT_FOUND when its volume is missing, or
	// the failure to make it; `path` receives the folder in every case.
	static status_t GetProjectRootFolder(std::string* path);
	static void DevicesInit();
	static void DevicesExit();

	// The init thread's id (-1 once it has been waited for).
	thread_id InitThreadId() const { return fInitThread; }

private:
	static status_t initthread(void* data);
	void InitThread();

	thread_id fInitThread = -1;
};

// The whole program: the command line, the limits, the application's run
// and its shutdown. Returns the exit status (0).
int TarnwickMain(int argc, char** argv);
