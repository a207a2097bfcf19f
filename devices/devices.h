// Drives of the program: the driver add-ons (loading, the list of loaded
// add-ons, the choice of an add-on for each drive) and the device list.
//
// Start-up calls LoadDriver, then OpenDevices, on the "application init"
// thread; shutdown calls CloseDevices, then UnloadDriver. Between the two,
// g_pDevices does not change and any thread may read it.
#pragma once

#include "kit/kernel/OS.h"
#include "kit/support/SupportDefs.h"

#include <memory>
#include <string>
#include <vector>

class BPath;
class CDevice;
class CDriver;
class CPreference;
struct SCSI_INQUIRY;

// --- Driver add-ons ---------------------------------------------------------

// One loaded driver add-on. The strings and the factory live in the add-on
// and are valid while it is loaded.
class CDriverListEntry {
public:
	CDriverListEntry(image_id image, const char* path, const char* name, const char* version,
		const char* description, CDriver* (*loadDriver)(const SCSI_INQUIRY*));
	~CDriverListEntry();
	CDriverListEntry(const CDriverListEntry&) = delete;
	CDriverListEntry& operator=(const CDriverListEntry&) = delete;

	image_id image;
	std::unique_ptr<BPath> path;
	const char* pszDriverName;
	const char* pszDriverVersion;
	const char* pszDriverDescription;
	// Returns a new record for the drive of `inquiry` (the caller owns it;
	// F_SUPPORTED when the add-on recognised the drive).
	CDriver* (*LoadDriver)(const SCSI_INQUIRY* inquiry);
};

// The command library "generic" (-1 while it is not loaded).
extern image_id imageIdCommonDriver;
// The loaded driver add-ons, in the order the add-on folder lists them
// (file names in ascending byte order). Changed only by LoadDriver and
// UnloadDriver.
extern std::vector<std::unique_ptr<CDriverListEntry>> listDriver;

// Names of the two generic add-ons.
constexpr const char* kMmcDriverName = "drv-pellworth";
constexpr const char* kSystemDriverName = "drv-quenmoor";
// The "driver" value of a drive that was never bound.
constexpr const char* kNoDriverName = "no add-on";

// The add-on folder: the one set by SetDriverAddOnFolder, else "add-ons"
// beside the running executable.
std::string GetDriverAddOnFolder();
// Sets the add-on folder used by the next LoadDriver (tests; a front end
// with an option). Null or "" goes back to the folder beside the executable.
void SetDriverAddOnFolder(const char* path);

// Loads the command library and every driver add-on of the add-on folder.
// Called once by the "application init" thread, before OpenDevices. When
// the command library does not load it says so ("Error while loading
// generic add-on") and loads nothing else.
void LoadDriver();
// Calls every add-on's ExitDriver and unloads it, then unloads the command
// library. Called last at shutdown, after CloseDevices.
void UnloadDriver();
// The entry of the add-on whose name is exactly `name`, or null.
CDriverListEntry* FindDriverEntry(const char* name);

// The per-drive settings record of `device` (named by its unique name) with
// every default set, not loaded yet. The caller owns it.
CPreference* CreateDevicePreference(const CDevice* device);

// Chooses and binds a driver for `device`: the add-on it was bound to last
// time, else the first add-on that recognises it, else drv-pellworth for an
// MMC drive that reads audio, else drv-quenmoor. The settings record is
// saved on every path. Ends the process with status 1 (after an alert)
// when a generic add-on it needs is missing. Called once per drive, right
// after the device object was made.
void InitDevice(CDevice* device);

// --- Device list ------------------------------------------------------------

constexpr int kMaxDevices = 64;
// The drives, from index 0 up to the first null entry (at most 63). Owned
// by the table; filled by OpenDevices, emptied by CloseDevices.
extern CDevice* g_pDevices[kMaxDevices];
extern int countDevices;

// Offers the virtual drives (once per process), then finds every drive:
// the SCSI tree first, then the eight ATAPI paths. Each CD-ROM or write-once
// drive gets a CDevice and a driver. True when at least one drive was
// found (start-up goes on without drives).
bool OpenDevices();
// Deletes every drive of the device list and clears the list.
void CloseDevices();

// The steps of OpenDevices, for tests and the device report.
void OpenDevices_Walkpath(const char* path);
void OpenDevices_Inquiry(const char* path);
// Keeps or rejects one opened device; takes over `fd` in either case.
void OpenDevices_Inquiry(int32 bus, int32 target, int32 lun, int fd);
void OpenDevices_Atapi();

// Unregisters the virtual drives and lets the next OpenDevices read their
// description again. Tests only: the program offers them once per run.
void ResetVirtualDrives();

// What discovery has to tell the user about drives that exist but could not
// be opened for lack of permission ("" when nothing): which device and what
// to do. Printed once, when discovery meets it; the device list shows it.
std::string GetDeviceAccessProblems();

// The text for a drive at `rawPath` whose Linux device `linuxDevice` (may
// be empty) refused to open: names the device and the group to join (read
// from the device file's owner group).
std::string DescribeAccessProblem(const std::string& rawPath, const std::string& linuxDevice);
