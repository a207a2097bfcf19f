// The "Application Preferences" window: renders a CApplicationSetupView
// (projects/ApplicationSetupView.h), shows the folder selector when the view
// asks for it, and sends the user's actions back to the view.
#pragma once

#include "kit/interface/qt/Window.h"
#include "projects/ApplicationSetupView.h"

#include <memory>

class BFilePanel;
class QCheckBox;
class QLineEdit;
class QPushButton;

// GUI thread. Brings the open window to the front or makes and shows one.
void ShowApplicationSetupWindow();

// GUI thread, like every window.
class CApplicationSetupWindow : public BWindow {
	Q_OBJECT

public:
	// A hidden window placed at its stored frame (else at 150, 100), sized
	// to its contents. `view` replaces the default view (tests).
	explicit CApplicationSetupWindow(std::unique_ptr<CApplicationSetupView> view = nullptr);
	~CApplicationSetupWindow() override;

	void MessageReceived(BMessage* message) override;
	// Stores the frame under the title, then lets the view apply a change.
	bool QuitRequested() override;

	CApplicationSetupView& View() { return *fView; }
	// The controls and the selector (for tests; the selector is null until
	// first shown).
	QLineEdit* FolderField() const { return fFolder; }
	QPushButton* ChangeButton() const { return fChange; }
	QPushButton* RevertButton() const { return fRevert; }
	QCheckBox* SplashCheckBox() const { return fSplash; }
	QCheckBox* RenameCheckBox() const { return fRename; }
	BFilePanel* FolderSelector() const { return fPanel.get(); }

private:
	void _Render();
	void _OpenSelector(const char* folder);

	std::unique_ptr<CApplicationSetupView> fView;
	std::unique_ptr<BFilePanel> fPanel;
	QLineEdit* fFolder = nullptr;
	QPushButton* fChange = nullptr;
	QPushButton* fRevert = nullptr;
	QCheckBox* fSplash = nullptr;
	QCheckBox* fRename = nullptr;
	bool fRendering = false;
};
