// The splash screen that covers start-up: a borderless picture in the middle
// of the screen, above every window, for a given time or until it is clicked.
//
// The "splash image" thread times it. It never touches the window itself:
// the window tells it that it was hidden through a shared flag, and the
// thread asks the window to quit through its messenger, so the window may go
// away first (the application's quit closes it) without harm.
#pragma once

#include "kit/app/Messenger.h"
#include "kit/interface/qt/Window.h"
#include "kit/kernel/OS.h"

#include <QImage>
#include <QWidget>

#include <atomic>
#include <memory>

// The splash thread, or -1.
extern std::atomic<thread_id> SplashScreenThreadId;
// Set to make the splash thread end.
extern std::atomic<bool> bStopSplashScreenThread;

// Shows the bitmap `bitmapName` (GetBitmap) for `displayTime` microseconds
// and starts the "splash image" thread (priority 21). A missing bitmap
// shows nothing and the thread ends at once. Any thread; the window is made
// on the GUI thread (nothing is shown when the GUI has gone).
void StartSplashScreen(const char* bitmapName, bigtime_t displayTime);
// Makes the splash thread end and waits for it. Any thread but the splash
// thread; does nothing when no splash thread runs.
void StopSplashScreen();
// The splash thread: `data` is the CSplashScreen, which it deletes.
status_t SplashScreenThread(void* data);

// The record the splash thread owns: its display time, the window's
// messenger and the bitmap.
class CSplashScreen {
public:
	// Any thread but the GUI thread's own waiting on it; shows the window.
	CSplashScreen(const char* bitmapName, bigtime_t displayTime);
	// Asks the window to quit if it is still there.
	~CSplashScreen();
	CSplashScreen(const CSplashScreen&) = delete;
	CSplashScreen& operator=(const CSplashScreen&) = delete;

	bigtime_t DisplayTime() const { return fDisplayTime; }
	// True once the window was hidden (clicked, quit) or is gone.
	bool IsHidden() const;
	const QImage& Bitmap() const { return fBitmap; }

private:
	bigtime_t fDisplayTime;
	QImage fBitmap;
	BMessenger fWindow;
	std::shared_ptr<std::atomic<bool>> fHidden;
};

// The borderless window "splash" (GUI thread).
class CSplashScreenWindow : public BWindow {
	Q_OBJECT

public:
	// Centred on the main screen, sized to the bitmap. `hidden` is set when
	// the window is hidden or goes away.
	CSplashScreenWindow(const QImage& bitmap, std::shared_ptr<std::atomic<bool>> hidden);
	~CSplashScreenWindow() override;

	// Hides the window and agrees.
	bool QuitRequested() override;

protected:
	void hideEvent(QHideEvent* event) override;

private:
	std::shared_ptr<std::atomic<bool>> fHidden;
};

// The view that draws its own copy of the bitmap; a click hides its window.
class CSplashScreenBitmapView : public QWidget {
	Q_OBJECT

public:
	CSplashScreenBitmapView(const QImage& bitmap, QWidget* parent);

protected:
	void paintEvent(QPaintEvent* event) override;
	void mousePressEvent(QMouseEvent* event) override;

private:
	QImage fBitmap;
};
