// The recording status window: one per recorder, titled "CD Recording - "
// and the recorder's name. It owns a CCdRecordStatusView (the recording
// engine), renders the view's display record whenever the view posts that it
// changed, hands the view's own messages to it, and refuses to close while
// a run is active.
#pragma once

#include "kit/interface/qt/Window.h"
#include "recording/CdRecordStatusView.h"

#include <memory>

class CRecordAction;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

// Hands `action` (ownership passes on) to the status window of its
// recorder, opening the window when there is none and bringing it to the
// front otherwise; the view starts the run or refuses it while busy.
// Returns the window. GUI thread.
BWindow* ShowCdRecordStatusWindow(CRecordAction* action);

// GUI thread, like every window.
class CCdRecordStatusWindow : public BWindow {
	Q_OBJECT

public:
	// `frame` is replaced by the placement saved for `title`. `clock` (not
	// owned, null: real time) is handed to the engine.
	CCdRecordStatusWindow(BRect frame, const char* title, CRecordClock* clock = nullptr);
	~CCdRecordStatusWindow() override;

	// Codes below 65535 go to the view; M_RECORD_DISPLAY_CHANGED renders the
	// display record; the rest goes to BWindow.
	void MessageReceived(BMessage* message) override;
	// Saves the placement under the title; false while a run is active.
	bool QuitRequested() override;

	CCdRecordStatusView* View() const { return fView.get(); }
	// What the window shows now (for tests).
	const CD_RECORD_DISPLAY& Shown() const { return fShown; }

	struct Bar {
		QLabel* label = nullptr;      // label and text
		QLabel* trailing = nullptr;   // trailing text
		QProgressBar* bar = nullptr;
	};
	const Bar& OverallBar() const { return fOverall; }
	const Bar& TrackBar() const { return fTrack; }
	const Bar& BufferBar() const { return fBuffer; }
	const Bar& RecorderBufferBar() const { return fRecorderBuffer; }
	QLineEdit* ProjectLine() const { return fProject; }
	QLineEdit* StatusLine() const { return fStatus; }
	QPushButton* Button() const { return fButton; }
	// The verification after a write, one line per track; hidden when none.
	QLabel* VerificationLabel() const { return fVerification; }

private:
	Bar _MakeBar(const char* name);
	void _RenderBar(const Bar& bar, const RECORD_BAR_DISPLAY& shown);
	void _Render();

	std::unique_ptr<CCdRecordStatusView> fView;
	CD_RECORD_DISPLAY fShown;
	QLineEdit* fProject;
	QLineEdit* fStatus;
	Bar fOverall;
	Bar fTrack;
	Bar fBuffer;
	Bar fRecorderBuffer;
	QLabel* fVerification;
	QPushButton* fButton;
};
