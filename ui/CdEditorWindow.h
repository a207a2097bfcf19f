// The CD editor window of one drive, titled "CD Properties - " and the
// drive's name: a table of the disc's tracks whose artist and title can be
// edited. Edits go into the drive's CToc and are announced with
// CDevice::PostTocUpdate, so every page and window of the drive follows and
// the names are stored; the table follows the drive's notifications.
#pragma once

#include "kit/interface/qt/Window.h"

#include <memory>

class CDevice;
class QLineEdit;
class QTableWidget;

// Opens the editor of `device` (or brings it to the front) and returns its
// messenger (invalid when it could not be opened). Any thread.
BMessenger ShowCdEditorWindow(CDevice* device);

// GUI thread, like every window.
class CCdEditorWindow : public BWindow {
	Q_OBJECT

public:
	CCdEditorWindow(BRect frame, CDevice* device);
	~CCdEditorWindow() override;

	// 513 with int32 "track": selects that track's row; the drive's
	// notifications refill or update the table.
	void MessageReceived(BMessage* message) override;
	bool QuitRequested() override;

	QTableWidget* Table() const { return fTable; }
	QLineEdit* DiscTitle() const { return fDiscTitle; }
	// Reads the table again from the TOC.
	void Fill();

private:
	void _CellChanged(int row, int column);

	CDevice* fDevice;
	QTableWidget* fTable = nullptr;
	QLineEdit* fDiscTitle = nullptr;
	bool fFilling = false;
};
