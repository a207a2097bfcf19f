// The "Device Preferences" window: renders a CDeviceSetupView (devices/),
// which holds the drive list, the selected drive's identity, status text
// and speed menus, and stores the speeds when the selection moves or the
// window closes. Also the "Send Feedback…" command, which hands the drive
// report to a mail or saves it.
#pragma once

#include "devices/DeviceSetupView.h"
#include "kit/interface/qt/Window.h"

#include <memory>

class QComboBox;
class QLineEdit;
class CDevice;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

// GUI thread, like every window.
class CDeviceSetupWindow : public BWindow {
	Q_OBJECT

public:
	// A hidden window listing the drives of g_pDevices, none selected.
	CDeviceSetupWindow();
	~CDeviceSetupWindow() override;

	// Stores the selected drive's speeds before the window closes.
	bool QuitRequested() override;

	// Selects row `index` as a click does (-1: none).
	void SelectRow(int index);

	// What the window renders (for tests).
	CDeviceSetupView& View() { return *fView; }
	QTreeWidget* DeviceList() const { return fList; }
	QComboBox* SpeedMenu(int menu) const { return fMenus[menu]; }
	QPlainTextEdit* StatusView() const { return fStatus; }
	QPushButton* ConfigureButton() const { return fConfigure; }
	QPushButton* PropertiesButton() const { return fProperties; }
	// The selected drive, or null.
	CDevice* SelectedDevice() const;

private:
	void _Render();

	std::unique_ptr<CDeviceSetupView> fView;
	QTreeWidget* fList;
	QLineEdit* fVendor;
	QLineEdit* fProduct;
	QLineEdit* fRevision;
	QPlainTextEdit* fStatus;
	QComboBox* fMenus[CDeviceSetupView::kMenuCount];
	QPushButton* fConfigure = nullptr;
	QPushButton* fProperties = nullptr;
};

// Opens the device preferences window, or brings the open one to the front.
// GUI thread.
void ShowDeviceSetupWindow();

// "Send Feedback…": tells the user what happens, builds the report of every
// drive and opens it in a new mail; when no mail program takes it, saves it
// in the documents folder, copies it to the clipboard and says where it is.
// Sends drive commands: call it on a window thread, not the GUI thread.
void SendFeedbackFromMenu();
