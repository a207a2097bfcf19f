// The "Copying Files" window: the progress of the program's background file
// copies. It renders a CFileCopyWorker (projects/FileUtil.h), which does the
// copying on its own thread and tells the window what to show through
// messages; the window sends the "Stop" button and copy requests back to it.
#pragma once

#include "kit/interface/qt/Window.h"
#include "projects/FileUtil.h"

#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;

// Makes the copy window the display of the shared copy worker: from now on
// the free CopyFile opens it (on the GUI thread) whenever the worker has no
// window. Call once at start-up; any thread.
void InstallFileCopyWindow();

// GUI thread, like every window.
class CFileCopyWindow : public BWindow {
	Q_OBJECT

public:
	// A hidden window of 360 by 60 pixels centred on the screen, rendering
	// `worker`. Call SetDisplay on the worker with Messenger() afterwards.
	explicit CFileCopyWindow(std::shared_ptr<CFileCopyWorker> worker);
	~CFileCopyWindow() override;

	// FILE_COPY_REQUEST goes to the worker's queue, FILE_COPY_STOP stops
	// it, FILE_COPY_PULSE refreshes the display, FILE_COPY_SHOW shows the
	// window when hidden, FILE_COPY_HIDE hides it, FILE_COPY_CLOSE quits it.
	void MessageReceived(BMessage* message) override;
	// With files remaining the user is asked whether to abort the copy;
	// the window closes only once the worker has caught up.
	bool QuitRequested() override;

	// What the window shows (for tests).
	const FileCopyDisplay& Display() const { return fDisplay; }
	QPushButton* StopButton() const { return fStopButton; }

private:
	void _Render();

	std::shared_ptr<CFileCopyWorker> fWorker;
	FileCopyDisplay fDisplay;
	QLabel* fLabel;
	QLabel* fTrailingLabel;
	QProgressBar* fBar;
	QLabel* fDestination;
	QPushButton* fStopButton;
};
