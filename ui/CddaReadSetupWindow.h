// The "CD Reading Preferences" window: renders a CCddaReadSetupView
// (extraction/CddaReadSetupView.h) and sends the user's choices back to it.
#pragma once

#include "extraction/CddaReadSetupView.h"
#include "kit/interface/qt/Window.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QPushButton;
class QSpinBox;

// GUI thread. Brings the window with the title "CD Reading Preferences" to
// the front, or makes and shows one. deviceRecordName: the settings record
// of the drive whose reading options it shows too (may be null).
void ShowCddaReadSetupWindow(const char* deviceRecordName = nullptr);

// GUI thread, like every window.
class CCddaReadSetupWindow : public BWindow {
	Q_OBJECT

public:
	// A hidden window at its stored placement (else centred), sized to its
	// contents. `pairs`, when not null, replaces the media kit's list (tests).
	explicit CCddaReadSetupWindow(const char* deviceRecordName = nullptr,
		const std::vector<FileFormatPair>* pairs = nullptr);
	~CCddaReadSetupWindow() override;

	// CDDA_READ_SETUP_CHANGED renders the view; the view's own messages go
	// to it.
	void MessageReceived(BMessage* message) override;
	// Saves the placement, then lets the view save a change.
	bool QuitRequested() override;

	CCddaReadSetupView& View() { return fView; }
	// The controls (for tests).
	QComboBox* FileFormatMenu() const { return fFileFormat; }
	QCheckBox* BeginningCheckBox() const { return fBeginning; }
	QCheckBox* EndingCheckBox() const { return fEnding; }
	QPushButton* RevertButton() const { return fRevert; }
	QComboBox* SyncModeMenu() const { return fSyncMode; }
	QSpinBox* SyncSectorsBox() const { return fSyncSectors; }
	QSpinBox* ReadOffsetBox() const { return fReadOffset; }

private:
	void _Render();
	void _Post(uint32 what, int32 value);

	CCddaReadSetupView fView;
	QComboBox* fFileFormat = nullptr;
	QCheckBox* fBeginning = nullptr;
	QCheckBox* fEnding = nullptr;
	QPushButton* fRevert = nullptr;
	QGroupBox* fDrive = nullptr;
	QComboBox* fSyncMode = nullptr;
	QSpinBox* fSyncSectors = nullptr;
	QSpinBox* fReadOffset = nullptr;
	bool fRendering = false;
};
