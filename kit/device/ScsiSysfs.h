// Finding the optical drives of the machine in Linux sysfs: every SCSI
// device of peripheral type 4 (write-once) or 5 (CD-ROM) with its SCSI
// generic and block device names and whether it is attached through libata.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct SYSFS_SCSI_DRIVE {
	int host = 0;
	int channel = 0;
	int target = 0;
	int lun = 0;
	int type = 0;             // peripheral device type: 4 or 5
	std::string sgName;       // "sg1"; empty when the drive has no SCSI generic device
	std::string srName;       // "sr0"; empty when it has no block device
	bool ata = false;         // attached through libata (an ATAPI drive)
};

// The optical drives below `sysfsRoot` (normally "/sys", read from
// bus/scsi/devices/H:C:T:L and class/scsi_host/hostH), sorted by address.
// Devices with neither a SCSI generic nor a block device are left out.
// Malformed entries are skipped; never fails.
std::vector<SYSFS_SCSI_DRIVE> ScanSysfsDrives(const std::string& sysfsRoot);

// The highest SCSI host number below sysfsRoot/class/scsi_host, -1 if none.
int HighestSysfsScsiHost(const std::string& sysfsRoot);

// Parses "H:C:T:L" (four non-negative decimal numbers that fit an int).
bool ParseScsiAddress(std::string_view text, int* host, int* channel, int* target, int* lun);

// Parses a non-negative decimal number that fits an int, with optional
// surrounding white space (the content of a sysfs attribute file).
bool ParseSysfsNumber(std::string_view text, int* value);

// The number in the sysfs attribute file `path` (ParseSysfsNumber); -1
// when the file cannot be read or holds no such number.
int ReadSysfsNumber(const std::string& path);

// True when a SCSI host driver name (class/scsi_host/hostH/proc_name) is one
// of libata's ("ahci", "ata_piix", "pata_*", "sata_*", ...).
bool IsLibataHostName(std::string_view procName);
