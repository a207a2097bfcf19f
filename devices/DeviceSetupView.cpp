#include "devices/DeviceSetupView.h"

#include "devices/Device.h"
#include "devices/DeviceListing.h"
#include "devices/devices.h"
#include "frame/Diagnostics.h"
#include "frame/Preference.h"

namespace {

const char* const kMenuLabels[] = {"Audio reading speed", "CD-R writing speed", "CD-RW writing speed"};
// The settings key of each menu. The CD-R table's choice is kept under the
// CD-RW key and the other way round: the recording set-up reads them so.
const char* const kMenuKeys[] = {"audio reading speed", "cd-rw writing speed", "cd-r writing speed"};

constexpr uint64 kWriteFlags = F_TAO_WRITE | F_DAO_WRITE | F_RAW_WRITE;

bool HasEntry(const SPEED_INFO* table)
{
	return table != nullptr && table[0].fFactor != 0.0f;
}

const char* Text(const char* text)
{
	return text != nullptr ? text : "";
}

}   // namespace

const char* const CDeviceSetupView::kColumns[4] = {"Device", "Vendor", "Product", "Version"};

CDeviceSetupView::CDeviceSetupView()
{
	for (int i = 0; i < kMaxDevices && g_pDevices[i] != nullptr; i++) {
		const CDevice* device = g_pDevices[i];
		fRows.push_back({device->GetDeviceName(), device->GetVendor(), device->GetProduct(), device->GetRevision()});
	}
	Clear();
}

CDeviceSetupView::~CDeviceSetupView()
{
	if (fDevice != nullptr)
		DeselectDevice(fIndex);
}

void CDeviceSetupView::Clear()
{
	fIndex = -1;
	fDevice = nullptr;
	fVendor.clear();
	fProduct.clear();
	fRevision.clear();
	fStatus.clear();
	for (int m = 0; m < kMenuCount; m++)
		fMenus[m] = BuildSpeedMenu(kMenuLabels[m], nullptr, -1, false);
}

std::string CDeviceSetupView::BuildStatusText(const CDriver& driver)
{
	const uint64 flags = driver.Flags;
	std::string text;
	if ((flags & F_SUPPORTED) != 0) {
		text += "This device is supported by the ";
		text += Text(driver.pszName);
		text += " add-on.\n";
		if ((flags & F_EXPERIMENTAL) != 0)
			text += "The support is experimental and has not been verified.\n";
	} else {
		text += "This device is unknown and may not work.\n";
		text += "If you experinece problems, please contact the author.\n";
	}
	if ((flags & F_AUDIO_READ) != 0)
		text += "CD reading is enabled.\n";
	if ((flags & kWriteFlags) != 0)
		text += "CD writing is enabled.\n";
	if ((flags & F_CDTEXT_READ) != 0)
		text += "CD-TEXT reading is enabled.\n";
	if ((flags & F_CDTEXT_WRITE) != 0)
		text += "CD-TEXT writing is enabled.\n";

	text += "\n\n\n\n\n\nFor debugging only:\n============\n";
	text += "Flags: \t\t";
	const std::string names = DescribeDriverFlags(flags);
	if (names != "none") {
		// Every name followed by a blank.
		text += names;
		text += ' ';
	}
	text += "\n";
	text += "Name: \t\t" + std::string(Text(driver.pszName)) + "\n";
	text += "Version: \t\t" + std::string(Text(driver.pszVersion)) + "\n";
	text += "Description: \t" + std::string(Text(driver.pszDescription)) + "\n";
	text += "Information: \t" + std::string(Text(driver.pszInformation)) + "\n";
	return text;
}

CDeviceSetupView::SPEED_MENU CDeviceSetupView::BuildSpeedMenu(const char* label, const SPEED_INFO* table,
	int32 stored, bool enabled)
{
	SPEED_MENU menu;
	menu.label = label;
	menu.enabled = enabled;
	menu.items.push_back(CreateSpeedMenuItem(nullptr, M_DEVICE_SETUP_SPEED));
	for (int32 i = 0; table != nullptr && table[i].fFactor != 0.0f; i++)
		menu.items.push_back(CreateSpeedMenuItem(&table[i], M_DEVICE_SETUP_SPEED));
	menu.marked = 0;
	for (size_t i = 0; i < menu.items.size(); i++) {
		if (menu.items[i].speedValue == stored) {
			menu.marked = int32(i);
			break;
		}
	}
	return menu;
}

void CDeviceSetupView::SelectDevice(int32 index)
{
	if (fDevice != nullptr)
		DeselectDevice(fIndex);
	if (index < 0 || index >= int32(fRows.size()) || g_pDevices[index] == nullptr)
		return;

	fIndex = index;
	fDevice = g_pDevices[index];
	fVendor = fDevice->GetVendor();
	fProduct = fDevice->GetProduct();
	fRevision = fDevice->GetRevision();

	const CDriver* driver = fDevice->GetDriver();
	const CPreference* settings = fDevice->GetPreference();
	const SPEED_INFO* tables[kMenuCount] = {};
	bool enabled[kMenuCount] = {};
	if (driver != nullptr) {
		tables[kAudioReadMenu] = driver->pReadSpeed;
		tables[kCdrWriteMenu] = driver->pWriteSpeedCdr;
		tables[kCdrwWriteMenu] = driver->pWriteSpeedCdrw;
		enabled[kAudioReadMenu] = (driver->Flags & F_AUDIO_READ) != 0 && HasEntry(driver->pReadSpeed);
		enabled[kCdrWriteMenu] = (driver->Flags & kWriteFlags) != 0 && HasEntry(driver->pWriteSpeedCdr);
		enabled[kCdrwWriteMenu] = (driver->Flags & kWriteFlags) != 0 && HasEntry(driver->pWriteSpeedCdrw);
		fStatus = BuildStatusText(*driver);
	} else {
		fStatus = "This device is unknown and may not work.\n";
	}
	for (int m = 0; m < kMenuCount; m++) {
		int32 stored = -1;
		if (settings != nullptr)
			settings->FindInt32(kMenuKeys[m], &stored);
		fMenus[m] = BuildSpeedMenu(kMenuLabels[m], tables[m], stored, enabled[m]);
	}
}

void CDeviceSetupView::DeselectDevice(int32 index)
{
	DEBUG_ASSERT(index >= 0 && index < kMaxDevices && fDevice == g_pDevices[index]);
	if (fDevice == nullptr || index != fIndex)
		return;
	CPreference* settings = fDevice->GetPreference();
	if (settings != nullptr) {
		for (int m = 0; m < kMenuCount; m++) {
			const SPEED_MENU& menu = fMenus[m];
			DEBUG_ASSERT(menu.marked >= 0 && menu.marked < int32(menu.items.size()));
			if (menu.marked < 0 || menu.marked >= int32(menu.items.size()))
				continue;
			settings->ReplaceInt32(kMenuKeys[m], menu.items[menu.marked].speedValue);
		}
		settings->Save();
	}
	Clear();
}

bool CDeviceSetupView::MarkSpeed(int32 menu, int32 item)
{
	if (menu < 0 || menu >= kMenuCount || !fMenus[menu].enabled)
		return false;
	if (item < 0 || item >= int32(fMenus[menu].items.size()))
		return false;
	fMenus[menu].marked = item;
	return true;
}
