// The drive windows opened from the device preferences: "Change
// Configuration - <drive>" renders a CDeviceConfigurationView (devices/)
// and sends the user's menu choices back to it; "Device Properties -
// <drive>" lists what the drive reports of itself (devices/DeviceProperties).
#pragma once

#include "devices/DeviceConfigurationView.h"
#include "kit/interface/qt/Window.h"

class CDevice;
class CPreference;
class QComboBox;
class QGroupBox;
class QPushButton;
class QTreeWidget;

// GUI thread. Bring the drive's open window to the front, or make and show
// one at 50, 50 sized to its contents. Return the window.
BWindow* ShowDeviceConfigurationWindow(CDevice* device);
BWindow* ShowDevicePropertiesWindow(CDevice* device);

// GUI thread, like every window.
class CDeviceConfigurationWindow : public BWindow {
	Q_OBJECT

public:
	// `settings` is the drive's record (the device's own when null); the
	// device, which must outlive the window, applies it on closing.
	explicit CDeviceConfigurationWindow(CDevice* device, CPreference* settings = nullptr);
	~CDeviceConfigurationWindow() override;

	void MessageReceived(BMessage* message) override;
	// Refuses (after the view's alert) while the sync setting is invalid;
	// otherwise the view stores and saves the record.
	bool QuitRequested() override;

	CDeviceConfigurationView& View() { return fView; }
	QComboBox* Menu(int32 menu) const { return fMenus[menu]; }
	QPushButton* MoreButton() const { return fMore; }
	QGroupBox* MorePanel() const { return fBuffers; }

private:
	void _Render();

	CDeviceConfigurationView fView;
	QComboBox* fMenus[CDeviceConfigurationView::kMenuCount] = {};
	QPushButton* fMore = nullptr;
	QGroupBox* fBuffers = nullptr;
	bool fRendering = false;
};

class CDevicePropertiesWindow : public BWindow {
	Q_OBJECT

public:
	// Reads the drive's properties (drive commands) and shows them.
	explicit CDevicePropertiesWindow(CDevice* device);
	~CDevicePropertiesWindow() override;

	QTreeWidget* List() const { return fList; }

private:
	QTreeWidget* fList;
};
