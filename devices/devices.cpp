#include "devices/devices.h"

#include "devices/Device.h"
#include "devices/ScsiMisc.h"
#include "driver/driverbaseclass.h"
#include "emulator/VirtualDrives.h"
#include "frame/Diagnostics.h"
#include "frame/Preference.h"
#include "kit/device/DeviceNamespace.h"
#include "kit/device/RawDevice.h"
#include "kit/storage/Path.h"

#include <fcntl.h>
#include <grp.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>

image_id imageIdCommonDriver = -1;
std::vector<std::unique_ptr<CDriverListEntry>> listDriver;

CDevice* g_pDevices[kMaxDevices] = {};
int countDevices = 0;

namespace {

std::mutex sFolderLock;
std::string sAddOnFolder;   // "" = beside the executable

bool sVirtualDrivesStarted = false;

std::mutex sProblemLock;
std::string sAccessProblems;

// Looks up a symbol of `image`; null when it is missing.
void* FindSymbol(image_id image, const char* name, int32 type)
{
	void* address = nullptr;
	if (get_image_symbol(image, name, type, &address) != B_OK)
		return nullptr;
	return address;
}

// The string a data symbol "const char* name" points to; null when the
// symbol or the string is missing.
const char* FindStringSymbol(image_id image, const char* name)
{
	auto* location = static_cast<const char* const*>(FindSymbol(image, name, B_SYMBOL_TYPE_DATA));
	return location != nullptr ? *location : nullptr;
}

// The stored add-on name is one of the generic add-ons (letter case ignored).
bool IsGenericName(const std::string& name)
{
	return strcasecmp(name.c_str(), kMmcDriverName) == 0 || strcasecmp(name.c_str(), kSystemDriverName) == 0;
}

// Records a newly chosen driver in the settings: its name, its six default
// settings, and no chosen speeds. The buffer settings are kept.
void TakeDriverDefaults(CPreference* preference, const CDriverListEntry* entry, const CDriver* driver)
{
	preference->ReplaceString("driver", entry->pszDriverName);
	preference->ReplaceInt32("spindown timeout", driver->nSpindownTimeout);
	preference->ReplaceInt32("read spinup sectors", driver->nReadSpinupSectors);
	preference->ReplaceInt32("read sync mode", driver->nReadSyncMode);
	preference->ReplaceInt32("read sync sectors", driver->nReadSyncSectors);
	preference->ReplaceInt32("read error action", driver->nReadErrorAction);
	preference->ReplaceInt32("read error retrys", driver->nReadErrorRetries);
	preference->ReplaceInt32("audio reading speed", -1);
	preference->ReplaceInt32("cd-r writing speed", -1);
	preference->ReplaceInt32("cd-rw writing speed", -1);
}

// Binds `driver` and `preference` to the device (which takes both over) and
// saves the record.
void Bind(CDevice* device, CDriver* driver, CPreference* preference)
{
	device->Init(driver, preference);
	preference->Save();
}

// The entry of a generic add-on the drive cannot do without; its absence
// ends the process.
CDriverListEntry* RequireGenericEntry(const char* name)
{
	CDriverListEntry* entry = FindDriverEntry(name);
	if (entry == nullptr) {
		std::string text = std::string("Can't continue\n\n") + name + " add-on NOT found! (Did you delete it?)\n";
		DebugAlert(text.c_str());
		fflush(nullptr);
		exit(1);
	}
	return entry;
}

// The Linux device behind a raw path of the namespace, "" when none.
std::string LinuxDeviceOf(const std::string& rawPath)
{
	for (const dev_drive_info& drive : dev_list_drives()) {
		if (drive.raw_path == rawPath)
			return drive.linux_device.empty() ? drive.linux_block_device : drive.linux_device;
	}
	return "";
}

// Tells the user about a drive that refused to open for lack of permission,
// once per drive.
void ReportAccessProblem(const std::string& rawPath)
{
	std::string text = DescribeAccessProblem(rawPath, LinuxDeviceOf(rawPath));
	{
		std::lock_guard<std::mutex> lock(sProblemLock);
		if (sAccessProblems.find(text) != std::string::npos)
			return;
		sAccessProblems += text;
	}
	DebugPrint("%s", text.c_str());
}

// Opens a path of the namespace for discovery; reports a permission
// failure. -1 when it did not open.
int OpenForDiscovery(const char* path)
{
	int fd = dev_open(path, O_RDONLY);
	if (fd < 0) {
		int error = errno;
		if (error == EACCES || error == EPERM)
			ReportAccessProblem(path);
	}
	return fd;
}

struct ATAPI_PATH {
	const char* path;
	int32 bus;
	int32 target;
};

constexpr ATAPI_PATH kAtapiPaths[] = {
	{"/dev/disk/ide/atapi/0/master/0/raw", -100, 0},
	{"/dev/disk/ide/atapi/0/slave/0/raw", -100, 1},
	{"/dev/disk/ide/atapi/1/master/0/raw", -101, 0},
	{"/dev/disk/ide/atapi/1/slave/0/raw", -101, 1},
	{"/dev/disk/ide/atapi/2/master/0/raw", -102, 0},
	{"/dev/disk/ide/atapi/2/slave/0/raw", -102, 1},
	{"/dev/disk/ide/atapi/3/master/0/raw", -103, 0},
	{"/dev/disk/ide/atapi/3/slave/0/raw", -103, 1},
};

}   // namespace

// --- Driver add-ons ---------------------------------------------------------

CDriverListEntry::CDriverListEntry(image_id image, const char* path, const char* name, const char* version,
	const char* description, CDriver* (*loadDriver)(const SCSI_INQUIRY*))
	:
	image(image),
	path(std::make_unique<BPath>(path)),
	pszDriverName(name),
	pszDriverVersion(version),
	pszDriverDescription(description),
	LoadDriver(loadDriver)
{
}

CDriverListEntry::~CDriverListEntry() = default;

std::string GetDriverAddOnFolder()
{
	{
		std::lock_guard<std::mutex> lock(sFolderLock);
		if (!sAddOnFolder.empty())
			return sAddOnFolder;
	}
	std::error_code error;
	std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
	if (error)
		return "add-ons";
	return (executable.parent_path() / "add-ons").string();
}

void SetDriverAddOnFolder(const char* path)
{
	std::lock_guard<std::mutex> lock(sFolderLock);
	sAddOnFolder = path != nullptr ? path : "";
}

void LoadDriver()
{
	CDebugFunctionTracer tracer("LoadDriver");
	const std::string folder = GetDriverAddOnFolder();

	imageIdCommonDriver = load_add_on((folder + "/generic").c_str());
	if (imageIdCommonDriver < 0) {
		Dummy_DebugLog("%s\n", last_add_on_error());
		DebugAlert("Error while loading generic add-on");
		return;
	}

	// The folder is listed in name order, as the system's own file system
	// lists a folder; the command library's file is among them.
	std::vector<std::string> names;
	std::error_code error;
	for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
		names.push_back(it->path().filename().string());
	std::sort(names.begin(), names.end());

	for (const std::string& name : names) {
		const std::string path = folder + "/" + name;
		Dummy_DebugLog("loading Driver %s\n", path.c_str());
		image_id image = load_add_on(path.c_str());
		if (image < 0)
			continue;
		auto initDriver = reinterpret_cast<bool (*)(image_id)>(FindSymbol(image, "InitDriver", B_SYMBOL_TYPE_TEXT));
		if (initDriver == nullptr) {
			Dummy_DebugLog("  Can't find InitDriver() symbol (loading failed)\n");
			unload_add_on(image);
			continue;
		}
		if (!initDriver(imageIdCommonDriver)) {
			Dummy_DebugLog("  InitDriver() failed (loading failed)\n");
			unload_add_on(image);
			continue;
		}
		auto loadDriver = reinterpret_cast<CDriver* (*)(const SCSI_INQUIRY*)>(
			FindSymbol(image, "LoadDriver", B_SYMBOL_TYPE_TEXT));
		const char* driverName = FindStringSymbol(image, "pszDriverName");
		const char* version = FindStringSymbol(image, "pszDriverVersion");
		const char* description = FindStringSymbol(image, "pszDriverDescription");
		// An add-on without its factory or its name cannot serve a drive.
		if (loadDriver == nullptr || driverName == nullptr) {
			Dummy_DebugLog("  LoadDriver() or pszDriverName missing (loading failed)\n");
			auto exitDriver = reinterpret_cast<bool (*)()>(FindSymbol(image, "ExitDriver", B_SYMBOL_TYPE_TEXT));
			if (exitDriver != nullptr)
				exitDriver();
			unload_add_on(image);
			continue;
		}
		listDriver.push_back(std::make_unique<CDriverListEntry>(image, path.c_str(), driverName,
			version != nullptr ? version : "", description != nullptr ? description : "", loadDriver));
	}
}

void UnloadDriver()
{
	CDebugFunctionTracer tracer("UnloadDriver");
	while (!listDriver.empty()) {
		std::unique_ptr<CDriverListEntry> entry = std::move(listDriver.front());
		listDriver.erase(listDriver.begin());
		auto exitDriver = reinterpret_cast<bool (*)()>(FindSymbol(entry->image, "ExitDriver", B_SYMBOL_TYPE_TEXT));
		if (exitDriver == nullptr)
			Dummy_DebugLog("  Can't find ExitDriver() symbol (continuing unloading)\n");
		else if (!exitDriver())
			Dummy_DebugLog("  ExitDriver failed (continuing unloading)\n");
		if (unload_add_on(entry->image) != B_OK)
			Dummy_DebugLog("  unloading failed\n");
	}
	if (imageIdCommonDriver >= 0) {
		if (unload_add_on(imageIdCommonDriver) != B_OK)
			Dummy_DebugLog("Error while unloading generic driver\n");
		imageIdCommonDriver = -1;
	}
}

CDriverListEntry* FindDriverEntry(const char* name)
{
	if (name == nullptr)
		return nullptr;
	for (const std::unique_ptr<CDriverListEntry>& entry : listDriver) {
		if (strcmp(entry->pszDriverName, name) == 0)
			return entry.get();
	}
	return nullptr;
}

CPreference* CreateDevicePreference(const CDevice* device)
{
	auto* preference = new CPreference(device->GetUniqueDeviceName());
	preference->AddString("driver", kNoDriverName);
	preference->AddInt32("spindown timeout", -1);
	preference->AddInt32("read spinup sectors", 75);
	preference->AddInt32("read sync mode", 0);
	preference->AddInt32("read sync sectors", 3);
	preference->AddInt32("read error action", 0);
	preference->AddInt32("read error retrys", 10);
	preference->AddInt32("audio reading speed", -1);
	preference->AddInt32("cd-rw writing speed", -1);
	preference->AddInt32("cd-r writing speed", -1);
	preference->AddInt32("read buffer sectors", 27);
	preference->AddInt32("read buffer clusters", 6);
	preference->AddInt32("read buffer elements", 5);
	preference->AddInt32("write buffer sectors", 27);
	preference->AddInt32("write buffer clusters", 8);
	preference->AddInt32("write buffer elements", 14);
	return preference;
}

void InitDevice(CDevice* device)
{
	const SCSI_INQUIRY* inquiry = device->GetInquiry();
	Dummy_DebugLog("\nloading add-on for %s %s %s...\n", device->GetVendor(), device->GetProduct(),
		device->GetRevision());

	CPreference* preference = CreateDevicePreference(device);
	preference->Load();
	std::string previous;
	preference->FindString("driver", &previous);
	Dummy_DebugLog("previous add-on name = '%s'\n", previous.c_str());

	// The add-on of last time, when it was a specific one and is still there.
	if (!IsGenericName(previous) && strcasecmp(previous.c_str(), kNoDriverName) != 0) {
		Dummy_DebugLog("trying to load previous add-on...\n");
		if (CDriverListEntry* entry = FindDriverEntry(previous.c_str())) {
			Dummy_DebugLog("previous add-on '%s' has been loaded\n", entry->pszDriverName);
			CDriver* driver = entry->LoadDriver(inquiry);
			if (driver != nullptr && (driver->Flags & F_SUPPORTED) != 0) {
				Dummy_DebugLog("device is supported by this add-on\n");
				Bind(device, driver, preference);
				return;
			}
			Dummy_DebugLog("device is not supported by this add-on\n");
			delete driver;
		} else {
			Dummy_DebugLog("the previous add-on was not found\n");
		}
	}

	// Auto detection: the first add-on that recognises the drive.
	Dummy_DebugLog("starting auto detection...\n");
	for (const std::unique_ptr<CDriverListEntry>& entry : listDriver) {
		CDriver* driver = entry->LoadDriver(inquiry);
		if (driver != nullptr && (driver->Flags & F_SUPPORTED) != 0) {
			Dummy_DebugLog("compatible add-on '%s' found\n", entry->pszDriverName);
			TakeDriverDefaults(preference, entry.get(), driver);
			Bind(device, driver, preference);
			return;
		}
		delete driver;
	}

	// A drive on a generic add-on goes back to it as it is.
	if (IsGenericName(previous)) {
		Dummy_DebugLog("trying to load previous generic add-on...\n");
		if (CDriverListEntry* entry = FindDriverEntry(previous.c_str())) {
			Dummy_DebugLog("previous generic add-on '%s' has been loaded\n", entry->pszDriverName);
			Bind(device, entry->LoadDriver(inquiry), preference);
			return;
		}
		Dummy_DebugLog("ups! the previous generic add-on was not found\n");
	}

	// The MMC driver, kept when the drive reads audio as an MMC drive does.
	Dummy_DebugLog("loading now 'drv-pellworth' add-on\n");
	CDriverListEntry* mmc = RequireGenericEntry(kMmcDriverName);
	CDriver* driver = mmc->LoadDriver(inquiry);
	if (driver != nullptr)
		TakeDriverDefaults(preference, mmc, driver);
	Bind(device, driver, preference);
	Dummy_DebugLog("drv-pellworth add-on loaded\n");

	bool audioReading = false;
	if (device->GetMmcCapabilities(&audioReading, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr)
		&& audioReading) {
		Dummy_DebugLog("Device is MMC compatible\n");
		return;
	}
	Dummy_DebugLog("Device is not MMC compatible\n");

	// The system's own CD support reads everything else.
	CPreference* second = CreateDevicePreference(device);
	second->Load();
	Dummy_DebugLog("loading now 'drv-quenmoor' add-on\n");
	CDriverListEntry* system = RequireGenericEntry(kSystemDriverName);
	driver = system->LoadDriver(inquiry);
	if (driver != nullptr)
		TakeDriverDefaults(second, system, driver);
	Bind(device, driver, second);
	Dummy_DebugLog("drv-quenmoor add-on loaded\n");
}

// --- Device list ------------------------------------------------------------

bool OpenDevices()
{
	CDebugFunctionTracer tracer("OpenDevices");
	if (!sVirtualDrivesStarted) {
		sVirtualDrivesStarted = true;
		StartVirtualDrives();
	}
	std::fill(std::begin(g_pDevices), std::end(g_pDevices), nullptr);
	countDevices = 0;
	OpenDevices_Walkpath("/dev/bus/scsi");
	OpenDevices_Atapi();
	return countDevices != 0;
}

void CloseDevices()
{
	CDebugFunctionTracer tracer("CloseDevices");
	for (int index = 0; index < kMaxDevices && g_pDevices[index] != nullptr; index++) {
		delete g_pDevices[index];
		g_pDevices[index] = nullptr;
	}
	countDevices = 0;
}

void OpenDevices_Walkpath(const char* path)
{
	std::vector<dev_entry> entries;
	if (path == nullptr || dev_list_directory(path, &entries) != 0)
		return;
	for (const dev_entry& entry : entries) {
		std::string child = std::string(path) + "/" + entry.name;
		if (entry.type == DEV_NODE_DIRECTORY)
			OpenDevices_Walkpath(child.c_str());
		else if (entry.name == "raw")
			OpenDevices_Inquiry(child.c_str());
	}
}

void OpenDevices_Inquiry(const char* path)
{
	int bus = 0;
	int target = 0;
	int lun = 0;
	int length = 0;
	// Only leaves of the bus/target/unit pattern have an address.
	if (sscanf(path, "/dev/bus/scsi/%d/%d/%d/raw%n", &bus, &target, &lun, &length) != 3 || length == 0
		|| path[length] != '\0') {
		Dummy_DebugLog("open error on %s!\n", path);
		return;
	}
	int fd = OpenForDiscovery(path);
	if (fd < 0) {
		Dummy_DebugLog("open error on %s!\n", path);
		return;
	}
	Dummy_DebugLog("device found at %s\n", path);
	OpenDevices_Inquiry(bus, target, lun, fd);
}

void OpenDevices_Inquiry(int32 bus, int32 target, int32 lun, int fd)
{
	// The last slot ends the list.
	if (countDevices >= kMaxDevices - 1) {
		dev_close(fd);
		return;
	}
	SCSI_INQUIRY inquiry;
	if (!ScsiInquiry(fd, &inquiry)) {
		Dummy_DebugLog("ScsiInquiry error!\n");
		dev_close(fd);
		return;
	}
	if (inquiry.PeripheralDeviceType != 4 && inquiry.PeripheralDeviceType != 5) {
		Dummy_DebugLog("not CD_ROM or WORM!\n");
		dev_close(fd);
		return;
	}
	auto* device = new CDevice(bus, target, lun, fd, &inquiry);
	g_pDevices[countDevices] = device;
	device->EnableDebug((GetDebugFlags() & DEBUG_FLAG_SCSI_LOG) != 0);
	InitDevice(device);
	countDevices++;
}

void OpenDevices_Atapi()
{
	for (const ATAPI_PATH& atapi : kAtapiPaths) {
		int fd = OpenForDiscovery(atapi.path);
		if (fd < 0)
			continue;
		Dummy_DebugLog("device found at %s\n", atapi.path);
		OpenDevices_Inquiry(atapi.bus, atapi.target, 0, fd);
	}
}

void ResetVirtualDrives()
{
	StopVirtualDrives();
	sVirtualDrivesStarted = false;
}

std::string GetDeviceAccessProblems()
{
	std::lock_guard<std::mutex> lock(sProblemLock);
	return sAccessProblems;
}

std::string DescribeAccessProblem(const std::string& rawPath, const std::string& linuxDevice)
{
	std::string text = "Can't open the drive at " + rawPath;
	if (!linuxDevice.empty())
		text += " (" + linuxDevice + ")";
	text += ": permission denied.\n";

	std::string group;
	struct stat info;
	if (!linuxDevice.empty() && stat(linuxDevice.c_str(), &info) == 0) {
		struct group entry;
		struct group* found = nullptr;
		char buffer[4096];
		if (getgrgid_r(info.st_gid, &entry, buffer, sizeof(buffer), &found) == 0 && found != nullptr)
			group = found->gr_name;
		else
			group = std::to_string(info.st_gid);
	}
	if (!group.empty() && group != "root") {
		text += "Join the group \"" + group + "\" that owns " + linuxDevice + " (sudo usermod -aG " + group
			+ " $USER), then log out and in again.\n";
	} else {
		text += "Ask the administrator for read and write access to "
			+ (linuxDevice.empty() ? rawPath : linuxDevice) + ".\n";
	}
	return text;
}
