// The device preferences: every drive of the device list, the add-on that
// serves the selected one and what it can do, and the drive's audio reading
// and CD-R / CD-RW writing speeds. Qt-free; the window (ui/) shows what this
// holds and passes the user's choices in.
//
// One thread (the window's) uses an object; the device list must not change
// while it lives (it does not between start-up and shutdown).
#pragma once

#include "driver/driverbaseclass.h"
#include "kit/support/SupportDefs.h"

#include <string>
#include <vector>

class CDevice;

// The message code of every speed menu item.
constexpr uint32 M_DEVICE_SETUP_SPEED = 853;

class CDeviceSetupView {
public:
	enum { kAudioReadMenu = 0, kCdrWriteMenu = 1, kCdrwWriteMenu = 2, kMenuCount = 3 };

	struct DEVICE_ROW {
		std::string device;   // the display name
		std::string vendor;
		std::string product;
		std::string version;
	};

	struct SPEED_MENU {
		std::string label;                  // "Audio reading speed", ...
		bool enabled = false;
		std::vector<SPEED_MENU_ITEM> items; // "current" first
		int32 marked = -1;                  // index of the marked item
	};

	// Takes the rows of g_pDevices; no drive is selected.
	CDeviceSetupView();
	// Stores the selected drive's speeds (as deselecting does).
	~CDeviceSetupView();
	CDeviceSetupView(const CDeviceSetupView&) = delete;
	CDeviceSetupView& operator=(const CDeviceSetupView&) = delete;

	// The column titles: "Device", "Vendor", "Product", "Version".
	static const char* const kColumns[4];
	const std::vector<DEVICE_ROW>& Rows() const { return fRows; }

	// Selects drive `index` of the list (the previous one is deselected
	// first, its speeds stored); an index outside the list selects none.
	void SelectDevice(int32 index);
	// Stores the marked speeds of the selected drive `index` in its
	// settings record and saves it; then no drive is selected.
	void DeselectDevice(int32 index);
	int32 SelectedIndex() const { return fIndex; }

	// Marks item `item` of menu `menu` (the user's choice). False when
	// either is out of range or the menu is disabled.
	bool MarkSpeed(int32 menu, int32 item);

	const std::string& Vendor() const { return fVendor; }
	const std::string& Product() const { return fProduct; }
	const std::string& Revision() const { return fRevision; }
	const std::string& StatusText() const { return fStatus; }
	const SPEED_MENU& Menu(int32 menu) const { return fMenus[menu]; }

	// The status text of a drive served by `driver`: support, what is
	// enabled, and the debugging section with the flags and the record's
	// strings.
	static std::string BuildStatusText(const CDriver& driver);
	// A speed menu of `table` (may be null) with the item of `stored`
	// marked, else "current".
	static SPEED_MENU BuildSpeedMenu(const char* label, const SPEED_INFO* table, int32 stored, bool enabled);

private:
	void Clear();

	std::vector<DEVICE_ROW> fRows;
	int32 fIndex = -1;
	CDevice* fDevice = nullptr;
	std::string fVendor;
	std::string fProduct;
	std::string fRevision;
	std::string fStatus;
	SPEED_MENU fMenus[kMenuCount];
};
