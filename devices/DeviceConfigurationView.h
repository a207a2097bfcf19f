// The logic and displayed state of a drive's "Change Configuration" window:
// the reading settings (spin-down, spin-up, synchronisation, error handling)
// and the geometry of the read and write buffers, each a menu of the values
// the engines accept. Element and buffer choices follow the cluster and
// element sizes. Qt-free: a window renders the menus and sends the user's
// choices back as messages; the view tells it about changes by posting
// DEVICE_CONFIGURATION_CHANGED to its target.
//
// One thread (the window's) uses an object.
#pragma once

#include "kit/app/Messenger.h"
#include "kit/support/SupportDefs.h"

#include <string>
#include <vector>

class BMessage;
class CDevice;
class CPreference;

enum : uint32 {
	// To the view: the user chose an item. "menu" int32 (the menu index),
	// and the menu's item field ("time", "sectors", ...) holding the value.
	DEVICE_CONFIGURATION_CHOICE = 'dcCh',
	// To the window: the menus changed.
	DEVICE_CONFIGURATION_CHANGED = 'dcCC',
};

// The title of the window for a drive: "Change Configuration - " + its
// display name.
std::string DeviceConfigurationTitle(const CDevice* device);

struct CONFIGURATION_ITEM {
	std::string label;
	int32 value = 0;
};

struct CONFIGURATION_MENU {
	std::string label;   // "Spindown timeout", ...
	const char* key = "";     // the settings key
	const char* field = "";   // the field of a choice message
	bool enabled = true;
	std::vector<CONFIGURATION_ITEM> items;
	int32 marked = -1;   // index of the marked item; -1: none

	// The marked item's value; `otherwise` when none is marked.
	int32 MarkedValue(int32 otherwise = 0) const;
	// The index of the item carrying `value`, or -1.
	int32 IndexOf(int32 value) const;
};

class CDeviceConfigurationView {
public:
	enum {
		kSpindownTimeout = 0,
		kSpinupDelay,
		kSyncMode,
		kSyncSectors,
		kErrorAction,
		kRetryCount,
		kReadClusterSize,
		kReadElementSize,
		kReadBufferSize,
		kWriteClusterSize,
		kWriteElementSize,
		kWriteBufferSize,
		kMenuCount
	};

	// `settings`: the drive's settings record, read by Load and written on
	// closing (not owned; it must outlive the view). `device` (may be null)
	// is the drive the record belongs to: Load asks it whether the
	// spin-down can be changed, and closing has it apply the record.
	explicit CDeviceConfigurationView(CPreference* settings, CDevice* device = nullptr);
	CDeviceConfigurationView(const CDeviceConfigurationView&) = delete;
	CDeviceConfigurationView& operator=(const CDeviceConfigurationView&) = delete;

	// Where DEVICE_CONFIGURATION_CHANGED goes (invalid: nowhere).
	void SetTarget(const BMessenger& target);

	// Marks each menu's stored value: the cluster menus first, then the
	// element menus built for them, then the buffer menus. A stored value
	// that no item carries is kept as an extra item labelled with the
	// number, so that closing does not change it unasked. With a drive, the
	// spin-down menu is enabled only when IsSpindownChangeable says so.
	void Load();
	// Handles DEVICE_CONFIGURATION_CHOICE; false for any other message.
	bool MessageReceived(BMessage* message);
	// Marks the item of `menu` with `value`, rebuilding the element and
	// buffer choices that follow from it. False when the menu is disabled
	// or no item carries the value.
	bool Choose(int32 menu, int32 value);

	// Asked before the window closes. An invalid combination of sync
	// sectors and read cluster size shows the "invalid sync setting" alert
	// and refuses; otherwise every menu's value is stored under its key, the
	// record is saved, the drive (when there is one) applies it, and the
	// answer is true.
	bool QuitRequested();

	const CONFIGURATION_MENU& Menu(int32 menu) const { return fMenus[menu]; }
	bool IsChanged() const { return fChanged; }

	// The element sizes offered for a cluster of `clusterSectors` sectors:
	// values are clusters per element.
	static std::vector<CONFIGURATION_ITEM> ElementChoices(int32 clusterSectors);
	// The buffer sizes offered for elements of `elementClusters` clusters of
	// `clusterSectors` sectors: values are elements per buffer.
	static std::vector<CONFIGURATION_ITEM> BufferChoices(int32 clusterSectors, int32 elementClusters);
	// Whether reading may use this synchronisation with this cluster size:
	// sync mode "never" (0), or more sectors in a cluster than sync sectors.
	static bool IsSyncSettingValid(int32 syncMode, int32 syncSectors, int32 readClusterSectors);

private:
	void _RebuildElements(int32 clusterMenu, int32 elementMenu, int32 bufferMenu);
	void _RebuildBuffers(int32 clusterMenu, int32 elementMenu, int32 bufferMenu);
	void _MarkStored(int32 menu);
	void _Post();

	CPreference* fSettings;
	CDevice* fDevice;
	BMessenger fTarget;
	CONFIGURATION_MENU fMenus[kMenuCount];
	bool fChanged = false;
};

// Whether the drive lets its spin-down timer be changed: reads the CD
// parameters page (0Dh) and writes it back with its own timer value. Traces
// why not when it does not. Sends drive commands (pausing the drive's
// polling); any thread but the drive's update thread.
bool IsSpindownChangeable(CDevice* device);
