// The record set-up window "Start CD Recording...": one at a time. It owns a
// CCdRecordView (the set-up logic), renders the view's display record when
// the view posts that it changed, and posts the user's choices back to it.
#pragma once

#include "kit/interface/qt/Window.h"
#include "recording/CdRecordView.h"

#include <memory>
#include <vector>

class CProject;

// Brings up the set-up window (activating the existing one, else making a
// new one) and posts it the choice of `project` (may be null: keep the
// current choice). Returns the window. GUI thread.
BWindow* ShowCdRecordWindow(CProject* project);

class CDevice;
class CProjectRoster;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

constexpr const char* kCdRecordWindowTitle = "Start CD Recording...";

// GUI thread, like every window. Not resizable; placed where it was last.
class CCdRecordWindow : public BWindow {
	Q_OBJECT

public:
	// Offers the recording drives of `devices` and the projects of `roster`
	// (may be null). `poll`: watch the recorder for media (tests pass false
	// and call the view's DeviceUpdate).
	CCdRecordWindow(BRect frame, std::vector<CDevice*> devices, CProjectRoster* roster, bool poll = true);
	~CCdRecordWindow() override;

	// Codes below 65535 and the roster's notices go to the view; the display
	// notice renders; the hand-over opens the status window with the run.
	void MessageReceived(BMessage* message) override;
	// Saves the placement, detaches the view; true.
	bool QuitRequested() override;

	CCdRecordView* View() const { return fView.get(); }
	const CD_RECORD_SETUP_DISPLAY& Shown() const { return fShown; }
	// The widget of a menu field by its child name ("Recorder", "Project",
	// "Action", "Write Mode", "Write Speed", "CD Text").
	QPushButton* MenuField(const char* name) const;
	QLineEdit* RecorderStatus() const { return fRecorderStatus; }
	QLineEdit* ProjectStatus() const { return fProjectStatus; }
	QPushButton* ActionButton() const { return fActionButton; }
	QCheckBox* BurnProof() const { return fBurnProof; }
	QCheckBox* Verify() const { return fVerify; }

private:
	struct Field {
		const SETUP_MENU CD_RECORD_SETUP_DISPLAY::*menu;
		QPushButton* button;
	};
	QPushButton* _MakeField(const SETUP_MENU& menu);
	void _RenderField(const Field& field);
	void _Render();
	void _PostCommand(uint32 command);

	std::unique_ptr<CCdRecordView> fView;
	CD_RECORD_SETUP_DISPLAY fShown;
	std::vector<Field> fFields;
	QLineEdit* fRecorderStatus;
	QLineEdit* fProjectStatus;
	QLabel* fProblems;
	QLabel* fCdTextNote;   // under the CD-Text menu
	QCheckBox* fBurnProof;
	QCheckBox* fVerify;
	QPushButton* fActionButton;
};
