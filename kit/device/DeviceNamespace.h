// The device namespace: the drives of the machine (from Linux sysfs) and the
// registered virtual drives under the paths the program probes, listed like
// a file system.
//
//   /dev/bus/scsi/<host>/<target>/<lun>/raw       SCSI drives (raw device)
//   /dev/disk/scsi/<host>/<target>/<lun>/raw      their system device files
//   /dev/disk/ide/atapi/<c>/<master|slave>/0/raw  ATAPI drives, c = 0..3
//
// Real drives keep the Linux host, target and logical unit numbers; drives
// attached through libata take the ATAPI paths (controllers in the order of
// their hosts, master for target 0, slave for target 1), and go to the SCSI
// tree only when the eight ATAPI paths are taken. Virtual drives sit on the
// hosts after the highest real one, sixteen targets each, or on a free ATAPI
// path. The directories "/dev/bus/scsi", "/dev/disk/scsi" and
// "/dev/disk/ide/atapi" always exist, even when empty.
//
// The real drives are read from sysfs once, on first use; dev_rescan_drives
// reads them again. Every function may be called from any thread.
#pragma once

#include "kit/device/VirtualDevice.h"
#include "kit/support/SupportDefs.h"

#include <memory>
#include <string>
#include <vector>

enum dev_node_type {
	DEV_NODE_NONE = 0,       // no such path
	DEV_NODE_DIRECTORY = 1,
	DEV_NODE_DEVICE = 2,     // a "raw" leaf that dev_open opens
};

struct dev_entry {
	std::string name;        // leaf name ("0", "master", "raw")
	dev_node_type type;
};

// What a path is. Paths are absolute; repeated and trailing slashes and "."
// components are allowed, ".." is not.
dev_node_type dev_node(const char* path);

// The entries of a directory of the namespace, sorted (numbers numerically,
// names alphabetically). Returns 0, or -1 with errno ENOENT (no such path),
// ENOTDIR (a device) or EINVAL (null arguments). Entries are not symbolic
// links.
int dev_list_directory(const char* path, std::vector<dev_entry>* entries);
int dev_list_directory(const char* path, std::vector<std::string>* names);

// One drive of the namespace.
struct dev_drive_info {
	std::string raw_path;          // the path to open for commands
	std::string system_path;       // its system device file (the same path for ATAPI)
	bool is_virtual = false;
	bool is_atapi = false;
	std::string linux_device;      // "/dev/sg1"; empty for virtual drives
	std::string linux_block_device;// "/dev/sr0"; empty when none
};

// Every drive: real ones in address order, then the virtual ones in
// registration order.
std::vector<dev_drive_info> dev_list_drives();

// Where real drives are looked for: the sysfs root ("/sys") and the folder
// of the Linux device files ("/dev"); nullptr keeps the default. Tests point
// them at a fake tree. Reads the drives again. Set them before registering
// virtual drives (their host numbers follow the real ones).
void dev_set_system_roots(const char* sysfsRoot, const char* devRoot);

// Reads the real drives from sysfs again.
void dev_rescan_drives();

// What a "raw" leaf stands for (used by the descriptor layer).
struct DEVICE_NODE {
	bool isVirtual = false;
	bool rawDevice = false;        // a raw device (for SCSI commands)
	bool systemFile = false;       // a system device file (ATAPI paths are both)
	std::string sgPath;            // real drives: Linux devices, empty when none
	std::string srPath;
	std::string queueLimitPath;    // real drives with a block device: sysfs max_sectors_kb
	uint64 virtualId = 0;          // virtual drives: registration id
};

class CDeviceNamespace {
public:
	static CDeviceNamespace& Default();

	dev_node_type NodeType(const std::string& path);
	int List(const std::string& path, std::vector<dev_entry>* entries);
	// Fills *node for a "raw" leaf; false when `path` is none.
	bool Resolve(const std::string& path, DEVICE_NODE* node);
	std::vector<dev_drive_info> Drives();
	void SetRoots(const char* sysfsRoot, const char* devRoot);
	void Rescan();

	status_t RegisterVirtual(std::shared_ptr<CVirtualDevice> device, std::string* rawPath);
	void UnregisterVirtuals();
	std::vector<std::string> VirtualPaths();
	// The registered drive of `id`; null once it was unregistered.
	std::shared_ptr<CVirtualDevice> FindVirtual(uint64 id);

	CDeviceNamespace(const CDeviceNamespace&) = delete;
	CDeviceNamespace& operator=(const CDeviceNamespace&) = delete;

private:
	CDeviceNamespace();
	struct Private;
	std::unique_ptr<Private> fPrivate;
};
