#include "devices/DeviceConfigurationView.h"

#include "devices/Device.h"
#include "devices/DevicePages.h"
#include "driver/driverbaseclass.h"
#include "frame/Diagnostics.h"
#include "frame/Preference.h"
#include "kit/device/ScsiParameters.h"
#include "kit/interface/Alert.h"
#include "kit/support/Message.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int32 kSectorBytes = 2352;
constexpr double kSectorsPerSecond = 75.0;
// The MODE SENSE allocation for the CD parameters page.
constexpr int32 kCdParametersAllocation = 152;

struct MENU_SPEC {
	const char* label;
	const char* key;
	const char* field;
};

const MENU_SPEC kMenuSpecs[CDeviceConfigurationView::kMenuCount] = {
	{"Spindown timeout", "spindown timeout", "time"},
	{"Spinup delay", "read spinup sectors", "sectors"},
	{"Sync mode", "read sync mode", "sync mode"},
	{"Sync sectors", "read sync sectors", "sectors"},
	{"Error action", "read error action", "error action"},
	{"Retry count", "read error retrys", "retrys"},
	{"Read cluster size", "read buffer sectors", "sectors"},
	{"Read element size", "read buffer clusters", "clusters"},
	{"Read buffer size", "read buffer elements", "elements"},
	{"Write cluster size", "write buffer sectors", "sectors"},
	{"Write element size", "write buffer clusters", "clusters"},
	{"Write buffer size", "write buffer elements", "elements"},
};

const CONFIGURATION_ITEM kSpindownItems[] = {
	{"current", -1}, {"vendor specific", 0}, {"125 ms", 1}, {"250 ms", 2}, {"500 ms", 3}, {"1 sec.", 4},
	{"2 sec.", 5}, {"4 sec.", 6}, {"8 sec.", 7}, {"16 sec.", 8}, {"32 sec.", 9}, {"1 min.", 10},
	{"2 min.", 11}, {"4 min.", 12}, {"8 min.", 13}, {"16 min.", 14}, {"32 min.", 15},
};

const CONFIGURATION_ITEM kSpinupItems[] = {
	{"none", 0}, {"0.2 sec. (15 sectors)", 15}, {"0.4 sec. (30 sectors)", 30}, {"0.6 sec. (45 sectors)", 45},
	{"0.8 sec. (60 sectors)", 60}, {"1 sec. (75 sectors)", 75}, {"1.5 sec. (112 sectors)", 112},
	{"2 sec. (150 sectors)", 150}, {"2.5 sec. (187 sectors)", 187}, {"3 sec. (225 sectors)", 225},
	{"4 sec. (300 sectors)", 300}, {"5 sec. (375 sectors)", 375}, {"6 sec. (450 sectors)", 450},
	{"7 sec. (525 sectors)", 525}, {"8 sec. (600 sectors)", 600}, {"9 sec. (675 sectors)", 675},
	{"10 sec. (750 sectors)", 750},
};

const CONFIGURATION_ITEM kSyncModeItems[] = {{"never", 0}, {"always", 1}, {"auto", 2}};

const CONFIGURATION_ITEM kErrorActionItems[] = {{"ask", 3}, {"abort", 0}, {"repair", 2}, {"ignore", 1}};

const int32 kRetryCounts[] = {0, 1, 2, 3, 4, 5, 10, 15, 20, 25, 30, 40, 50, 100};

const CONFIGURATION_ITEM kClusterItems[] = {
	{"7 KBytes (3 sectors)", 3}, {"14 KBytes (6 sectors)", 6}, {"30 KBytes (13 sectors)", 13},
	{"41 KBytes (18 sectors)", 18}, {"55 KBytes (24 sectors)", 24}, {"57 KBytes (25 sectors)", 25},
	{"59 KBytes (26 sectors)", 26}, {"62 KBytes (27 sectors)", 27}, {"64 KBytes (28 sectors)", 28},
	{"66 KBytes (29 sectors)", 29}, {"124 KBytes (54 sectors)", 54}, {"126 KBytes (55 sectors)", 55},
	{"188 KBytes (82 sectors)", 82}, {"190 KBytes (83 sectors)", 83}, {"253 KBytes (110 sectors)", 110},
	{"255 KBytes (111 sectors)", 111}, {"381 KBytes (166 sectors)", 166}, {"383 KBytes (167 sectors)", 167},
	{"507 KBytes (221 sectors)", 221}, {"509 KBytes (222 sectors)", 222}, {"586 KBytes (255 sectors)", 255},
};

// Element sizes in KBytes and buffer sizes in MBytes that are offered.
const int32 kElementKBytes[] = {64, 96, 128, 192, 256, 384, 512, 768, 1024, 1536, 2048, 2560, 3072, 3584, 4096};
const int32 kBufferMBytes[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 14, 16, 18, 20, 22, 24, 28, 32, 36, 40, 44, 48,
	52, 64};

std::string Number(int32 value)
{
	return std::to_string(value);
}

template<size_t N>
std::vector<CONFIGURATION_ITEM> Items(const CONFIGURATION_ITEM (&items)[N])
{
	return std::vector<CONFIGURATION_ITEM>(items, items + N);
}

}   // namespace

std::string DeviceConfigurationTitle(const CDevice* device)
{
	return std::string("Change Configuration - ") + (device != nullptr ? device->GetDeviceName() : "");
}

int32 CONFIGURATION_MENU::MarkedValue(int32 otherwise) const
{
	if (marked < 0 || marked >= int32(items.size()))
		return otherwise;
	return items[size_t(marked)].value;
}

int32 CONFIGURATION_MENU::IndexOf(int32 value) const
{
	for (size_t i = 0; i < items.size(); i++) {
		if (items[i].value == value)
			return int32(i);
	}
	return -1;
}

std::vector<CONFIGURATION_ITEM> CDeviceConfigurationView::ElementChoices(int32 clusterSectors)
{
	std::vector<CONFIGURATION_ITEM> items;
	if (clusterSectors <= 0)
		return items;
	const int64 clusterBytes = int64(clusterSectors) * kSectorBytes;
	int64 previousBytes = -1;
	for (int32 kbytes : kElementKBytes) {
		const int32 clusters = int32(int64(kbytes) * 1024 / clusterBytes);
		const int64 bytes = clusters * clusterBytes;
		if (clusters == 0 || bytes == previousBytes) {
			previousBytes = bytes;
			continue;
		}
		previousBytes = bytes;
		const int32 sectors = clusters * clusterSectors;
		char label[128];
		snprintf(label, sizeof(label), "%i KBytes (%i clusters, %i sectors, %.02f seconds)", int(bytes / 1024),
			int(clusters), int(sectors), sectors / kSectorsPerSecond);
		items.push_back({label, clusters});
	}
	return items;
}

std::vector<CONFIGURATION_ITEM> CDeviceConfigurationView::BufferChoices(int32 clusterSectors, int32 elementClusters)
{
	std::vector<CONFIGURATION_ITEM> items;
	if (clusterSectors <= 0 || elementClusters <= 0)
		return items;
	const int64 elementBytes = int64(elementClusters) * clusterSectors * kSectorBytes;
	int64 previousBytes = -1;
	for (int32 mbytes : kBufferMBytes) {
		const int32 elements = int32((int64(mbytes) << 20) / elementBytes);
		const int64 bytes = elements * elementBytes;
		const bool offered = bytes != previousBytes && elements > 2;
		previousBytes = bytes;
		if (!offered)
			continue;
		const int32 clusters = elements * elementClusters;
		const int32 sectors = clusters * clusterSectors;
		char label[160];
		snprintf(label, sizeof(label), "%.01f MBytes (%i elements, %i clusters, %i sectors, %.02f seconds)",
			double(bytes) / double(1 << 20), int(elements), int(clusters), int(sectors), sectors / kSectorsPerSecond);
		items.push_back({label, elements});
	}
	return items;
}

bool CDeviceConfigurationView::IsSyncSettingValid(int32 syncMode, int32 syncSectors, int32 readClusterSectors)
{
	return syncMode == 0 || readClusterSectors > syncSectors;
}

CDeviceConfigurationView::CDeviceConfigurationView(CPreference* settings, CDevice* device)
	:
	fSettings(settings),
	fDevice(device)
{
	for (int32 m = 0; m < kMenuCount; m++) {
		fMenus[m].label = kMenuSpecs[m].label;
		fMenus[m].key = kMenuSpecs[m].key;
		fMenus[m].field = kMenuSpecs[m].field;
	}
	fMenus[kSpindownTimeout].items = Items(kSpindownItems);
	fMenus[kSpinupDelay].items = Items(kSpinupItems);
	fMenus[kSyncMode].items = Items(kSyncModeItems);
	for (int32 sectors = 1; sectors <= 10; sectors++)
		fMenus[kSyncSectors].items.push_back({Number(sectors), sectors});
	fMenus[kErrorAction].items = Items(kErrorActionItems);
	for (int32 count : kRetryCounts)
		fMenus[kRetryCount].items.push_back({Number(count), count});
	fMenus[kReadClusterSize].items = Items(kClusterItems);
	fMenus[kWriteClusterSize].items = Items(kClusterItems);
}

void CDeviceConfigurationView::SetTarget(const BMessenger& target)
{
	fTarget = target;
}

void CDeviceConfigurationView::_MarkStored(int32 menu)
{
	CONFIGURATION_MENU& shown = fMenus[menu];
	int32 stored = shown.MarkedValue(0);
	if (fSettings != nullptr)
		fSettings->FindInt32(shown.key, &stored);
	int32 index = shown.IndexOf(stored);
	if (index < 0) {
		// A value this window does not offer (another window's, or an older
		// version's) is shown as it is rather than replaced unasked.
		shown.items.push_back({Number(stored), stored});
		index = int32(shown.items.size()) - 1;
	}
	shown.marked = index;
}

void CDeviceConfigurationView::Load()
{
	for (int32 menu : {kSpindownTimeout, kSpinupDelay, kSyncMode, kSyncSectors, kErrorAction, kRetryCount,
			 kReadClusterSize, kWriteClusterSize}) {
		_MarkStored(menu);
	}
	fMenus[kReadElementSize].items = ElementChoices(fMenus[kReadClusterSize].MarkedValue());
	fMenus[kWriteElementSize].items = ElementChoices(fMenus[kWriteClusterSize].MarkedValue());
	_MarkStored(kReadElementSize);
	_MarkStored(kWriteElementSize);
	fMenus[kReadBufferSize].items
		= BufferChoices(fMenus[kReadClusterSize].MarkedValue(), fMenus[kReadElementSize].MarkedValue());
	fMenus[kWriteBufferSize].items
		= BufferChoices(fMenus[kWriteClusterSize].MarkedValue(), fMenus[kWriteElementSize].MarkedValue());
	_MarkStored(kReadBufferSize);
	_MarkStored(kWriteBufferSize);
	fMenus[kSpindownTimeout].enabled = fDevice == nullptr || IsSpindownChangeable(fDevice);
	fChanged = false;
	_Post();
}

void CDeviceConfigurationView::_RebuildElements(int32 clusterMenu, int32 elementMenu, int32 bufferMenu)
{
	CONFIGURATION_MENU& elements = fMenus[elementMenu];
	const int32 previous = elements.MarkedValue(-1);
	elements.items = ElementChoices(fMenus[clusterMenu].MarkedValue());
	const int32 index = elements.IndexOf(previous);
	elements.marked = index >= 0 ? index : (elements.items.empty() ? -1 : 0);
	_RebuildBuffers(clusterMenu, elementMenu, bufferMenu);
}

void CDeviceConfigurationView::_RebuildBuffers(int32 clusterMenu, int32 elementMenu, int32 bufferMenu)
{
	CONFIGURATION_MENU& buffers = fMenus[bufferMenu];
	const int32 previous = buffers.MarkedValue(-1);
	buffers.items = BufferChoices(fMenus[clusterMenu].MarkedValue(), fMenus[elementMenu].MarkedValue());
	const int32 index = buffers.IndexOf(previous);
	buffers.marked = index >= 0 ? index : (buffers.items.empty() ? -1 : 0);
}

bool CDeviceConfigurationView::Choose(int32 menu, int32 value)
{
	if (menu < 0 || menu >= kMenuCount || !fMenus[menu].enabled)
		return false;
	const int32 index = fMenus[menu].IndexOf(value);
	if (index < 0)
		return false;
	fMenus[menu].marked = index;
	switch (menu) {
		case kReadClusterSize:
			_RebuildElements(kReadClusterSize, kReadElementSize, kReadBufferSize);
			break;
		case kReadElementSize:
			_RebuildBuffers(kReadClusterSize, kReadElementSize, kReadBufferSize);
			break;
		case kWriteClusterSize:
			_RebuildElements(kWriteClusterSize, kWriteElementSize, kWriteBufferSize);
			break;
		case kWriteElementSize:
			_RebuildBuffers(kWriteClusterSize, kWriteElementSize, kWriteBufferSize);
			break;
		default:
			break;
	}
	fChanged = true;
	_Post();
	return true;
}

bool CDeviceConfigurationView::MessageReceived(BMessage* message)
{
	if (message == nullptr || message->what != DEVICE_CONFIGURATION_CHOICE)
		return false;
	int32 menu = -1;
	int32 value = 0;
	if (message->FindInt32("menu", &menu) == B_OK && menu >= 0 && menu < kMenuCount
		&& message->FindInt32(fMenus[menu].field, &value) == B_OK) {
		Choose(menu, value);
	}
	return true;
}

bool CDeviceConfigurationView::QuitRequested()
{
	if (!IsSyncSettingValid(fMenus[kSyncMode].MarkedValue(), fMenus[kSyncSectors].MarkedValue(),
			fMenus[kReadClusterSize].MarkedValue())) {
		AlertRequest alert;
		alert.title = "invalid sync setting";
		alert.text = "You selected an invalid combination of synchronization sectors and read buffer cluster size.\n"
					 "The number of sectors in a read cluster must always be larger than the number of "
					 "synchronization sectors.";
		alert.buttons = {"OK"};
		alert.type = B_WARNING_ALERT;
		ShowAlert(alert);
		return false;
	}
	if (fSettings != nullptr) {
		for (const CONFIGURATION_MENU& menu : fMenus) {
			DEBUG_ASSERT(menu.marked >= 0);
			if (menu.marked >= 0)
				fSettings->ReplaceInt32(menu.key, menu.MarkedValue());
		}
		fSettings->Save();
	}
	if (fDevice != nullptr)
		fDevice->ApplyPreference();
	return true;
}

void CDeviceConfigurationView::_Post()
{
	if (fTarget.IsValid())
		fTarget.SendMessage(DEVICE_CONFIGURATION_CHANGED);
}

bool IsSpindownChangeable(CDevice* device)
{
	CDriver* driver = device != nullptr ? device->GetDriver() : nullptr;
	if (driver == nullptr || driver->ModeSense == nullptr || driver->ModeSelect == nullptr)
		return false;
	const uint16 pageFormat = device->IsAtapi() || device->GetResponseDataFormat() >= 2 ? 1 : 0;
	uint8 buffer[kCdParametersAllocation] = {};
	size_t offset = 0;
	device->DisableUpdates();
	bool sensed = driver->ModeSense(device, buffer, sizeof(buffer), kModePageCdParameters, 0, nullptr)
		&& LocateModePage(buffer, sizeof(buffer), 8, &offset);
	int32 length = 0;
	bool ok = false;
	if (!sensed) {
		CDebugFunctionTracer::Trace("Could not get CD parameters page, SpindownTimeout not changeable\n");
	} else {
		// The drive's own timer goes back unchanged.
		PrepareCdParametersSelect(buffer, sizeof(buffer), buffer[offset + 3] & 0x0F, &length);
		buffer[offset] = kModePageCdParameters;
		ok = driver->ModeSelect(device, buffer, length, pageFormat, 0, nullptr);
		if (!ok)
			CDebugFunctionTracer::Trace("Could not change CD parameters page, SpindownTimeout not changeable\n");
	}
	device->EnableUpdates();
	return ok;
}
