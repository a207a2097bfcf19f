// The device namespace: real drives from sysfs and the registered virtual
// drives under the program's device paths.
#include "kit/device/DeviceNamespace.h"

#include "kit/device/ScsiSysfs.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <mutex>
#include <set>
#include <tuple>

namespace {

constexpr int kAtapiSlots = 8;   // four controllers, master and slave
constexpr int kVirtualTargetsPerHost = 16;

const std::vector<std::vector<std::string>> kFixedDirectories = {
	{},
	{"dev"},
	{"dev", "bus"},
	{"dev", "bus", "scsi"},
	{"dev", "disk"},
	{"dev", "disk", "scsi"},
	{"dev", "disk", "ide"},
	{"dev", "disk", "ide", "atapi"},
};

std::string ScsiRawPath(int bus, int target, int lun)
{
	return "/dev/bus/scsi/" + std::to_string(bus) + "/" + std::to_string(target) + "/"
		+ std::to_string(lun) + "/raw";
}

std::string ScsiSystemPath(int bus, int target, int lun)
{
	return "/dev/disk/scsi/" + std::to_string(bus) + "/" + std::to_string(target) + "/"
		+ std::to_string(lun) + "/raw";
}

std::string AtapiPath(int slot)
{
	return "/dev/disk/ide/atapi/" + std::to_string(slot / 2) + (slot % 2 == 0 ? "/master" : "/slave")
		+ "/0/raw";
}

// Splits an absolute path into its components; false for a relative path or
// one with "..".
bool SplitPath(const std::string& path, std::vector<std::string>* parts)
{
	parts->clear();
	if (path.empty() || path[0] != '/')
		return false;
	size_t position = 0;
	while (position < path.size()) {
		size_t end = path.find('/', position);
		if (end == std::string::npos)
			end = path.size();
		std::string part = path.substr(position, end - position);
		position = end + 1;
		if (part.empty() || part == ".")
			continue;
		if (part == "..")
			return false;
		parts->push_back(std::move(part));
	}
	return true;
}

bool StartsWith(const std::vector<std::string>& path, const std::vector<std::string>& prefix)
{
	return path.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), path.begin());
}

bool AllDigits(const std::string& text)
{
	return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
		return c >= '0' && c <= '9';
	});
}

// Numbers numerically (also when longer than an int), then names.
bool EntryLess(const dev_entry& a, const dev_entry& b)
{
	bool aNumber = AllDigits(a.name);
	bool bNumber = AllDigits(b.name);
	if (aNumber && bNumber) {
		std::string aTrimmed = a.name.substr(std::min(a.name.find_first_not_of('0'), a.name.size()));
		std::string bTrimmed = b.name.substr(std::min(b.name.find_first_not_of('0'), b.name.size()));
		if (aTrimmed.size() != bTrimmed.size())
			return aTrimmed.size() < bTrimmed.size();
		if (aTrimmed != bTrimmed)
			return aTrimmed < bTrimmed;
		return a.name < b.name;
	}
	if (aNumber != bNumber)
		return aNumber;
	return a.name < b.name;
}

struct REAL_DRIVE {
	SYSFS_SCSI_DRIVE sysfs;
	bool atapi = false;
	std::string rawPath;
	std::string systemPath;
	std::string sgPath;
	std::string srPath;
};

struct VIRTUAL_DRIVE {
	uint64 id = 0;
	std::shared_ptr<CVirtualDevice> device;
	bool atapi = false;
	int atapiSlot = -1;
	std::string rawPath;
	std::string systemPath;
};

struct LEAF {
	std::vector<std::string> components;
	DEVICE_NODE node;
};

}   // namespace

struct CDeviceNamespace::Private {
	std::mutex lock;
	std::string sysfsRoot = "/sys";
	std::string devRoot = "/dev";
	bool scanned = false;
	std::vector<REAL_DRIVE> real;
	bool realAtapiSlots[kAtapiSlots] = {};
	int realBusLimit = 0;      // the first host number after the real ones
	std::vector<VIRTUAL_DRIVE> virtuals;
	int virtualBase = 0;       // first virtual host, chosen when the first drive registers
	int virtualScsiCount = 0;
	uint64 nextId = 1;

	void EnsureScanned()
	{
		if (!scanned)
			Scan();
	}

	void Scan();
	std::vector<LEAF> Leaves();
	bool AtapiSlotTaken(int slot) const;
};

void CDeviceNamespace::Private::Scan()
{
	scanned = true;
	real.clear();
	std::fill(std::begin(realAtapiSlots), std::end(realAtapiSlots), false);

	std::vector<SYSFS_SCSI_DRIVE> drives = ScanSysfsDrives(sysfsRoot);
	int highestHost = HighestSysfsScsiHost(sysfsRoot);
	for (const SYSFS_SCSI_DRIVE& drive : drives)
		highestHost = std::max(highestHost, drive.host);
	int nextExtraBus = highestHost + 1;

	// ATAPI paths first: controllers numbered in the order of their hosts.
	std::map<std::pair<int, int>, int> controllers;
	for (const SYSFS_SCSI_DRIVE& drive : drives) {
		if (drive.ata)
			controllers.emplace(std::make_pair(drive.host, drive.channel), int(controllers.size()));
	}
	std::vector<int> slots(drives.size(), -1);
	for (size_t i = 0; i < drives.size(); i++) {
		const SYSFS_SCSI_DRIVE& drive = drives[i];
		if (!drive.ata)
			continue;
		int controller = controllers[std::make_pair(drive.host, drive.channel)];
		int slot = -1;
		if (controller < kAtapiSlots / 2 && drive.target <= 1 && drive.lun == 0) {
			int preferred = controller * 2 + drive.target;
			if (!realAtapiSlots[preferred])
				slot = preferred;
		}
		for (int candidate = 0; slot < 0 && candidate < kAtapiSlots; candidate++) {
			if (!realAtapiSlots[candidate])
				slot = candidate;
		}
		if (slot >= 0) {
			realAtapiSlots[slot] = true;
			slots[i] = slot;
		}
	}

	std::set<std::tuple<int, int, int>> used;
	for (size_t i = 0; i < drives.size(); i++) {
		REAL_DRIVE entry;
		entry.sysfs = drives[i];
		if (!entry.sysfs.sgName.empty())
			entry.sgPath = devRoot + "/" + entry.sysfs.sgName;
		if (!entry.sysfs.srName.empty())
			entry.srPath = devRoot + "/" + entry.sysfs.srName;
		if (slots[i] >= 0) {
			entry.atapi = true;
			entry.rawPath = AtapiPath(slots[i]);
			entry.systemPath = entry.rawPath;
		} else {
			// Another channel of the same host gets a host number of its own.
			int bus = entry.sysfs.host;
			auto address = std::make_tuple(bus, entry.sysfs.target, entry.sysfs.lun);
			if (used.count(address) != 0) {
				bus = nextExtraBus++;
				address = std::make_tuple(bus, entry.sysfs.target, entry.sysfs.lun);
			}
			used.insert(address);
			entry.rawPath = ScsiRawPath(bus, entry.sysfs.target, entry.sysfs.lun);
			entry.systemPath = ScsiSystemPath(bus, entry.sysfs.target, entry.sysfs.lun);
		}
		real.push_back(std::move(entry));
	}
	realBusLimit = nextExtraBus;
}

bool CDeviceNamespace::Private::AtapiSlotTaken(int slot) const
{
	if (realAtapiSlots[slot])
		return true;
	return std::any_of(virtuals.begin(), virtuals.end(), [slot](const VIRTUAL_DRIVE& drive) {
		return drive.atapiSlot == slot;
	});
}

std::vector<LEAF> CDeviceNamespace::Private::Leaves()
{
	EnsureScanned();
	std::vector<LEAF> leaves;
	auto add = [&leaves](const std::string& path, const DEVICE_NODE& node) {
		LEAF leaf;
		SplitPath(path, &leaf.components);
		leaf.node = node;
		leaves.push_back(std::move(leaf));
	};
	for (const REAL_DRIVE& drive : real) {
		DEVICE_NODE node;
		node.sgPath = drive.sgPath;
		node.srPath = drive.srPath;
		if (!drive.sysfs.srName.empty())
			node.queueLimitPath = sysfsRoot + "/class/block/" + drive.sysfs.srName + "/queue/max_sectors_kb";
		node.rawDevice = true;
		node.systemFile = drive.atapi;
		add(drive.rawPath, node);
		if (!drive.atapi) {
			node.rawDevice = false;
			node.systemFile = true;
			add(drive.systemPath, node);
		}
	}
	for (const VIRTUAL_DRIVE& drive : virtuals) {
		DEVICE_NODE node;
		node.isVirtual = true;
		node.virtualId = drive.id;
		node.rawDevice = true;
		node.systemFile = drive.atapi;
		add(drive.rawPath, node);
		if (!drive.atapi) {
			node.rawDevice = false;
			node.systemFile = true;
			add(drive.systemPath, node);
		}
	}
	return leaves;
}

CDeviceNamespace::CDeviceNamespace()
	:
	fPrivate(std::make_unique<Private>())
{
}

CDeviceNamespace& CDeviceNamespace::Default()
{
	// Never destroyed: descriptors may be closed by threads that outlive main.
	static CDeviceNamespace* instance = new CDeviceNamespace;
	return *instance;
}

dev_node_type CDeviceNamespace::NodeType(const std::string& path)
{
	std::vector<std::string> parts;
	if (!SplitPath(path, &parts))
		return DEV_NODE_NONE;
	for (const std::vector<std::string>& directory : kFixedDirectories) {
		if (directory == parts)
			return DEV_NODE_DIRECTORY;
	}
	std::lock_guard<std::mutex> lock(fPrivate->lock);
	for (const LEAF& leaf : fPrivate->Leaves()) {
		if (leaf.components == parts)
			return DEV_NODE_DEVICE;
		if (StartsWith(leaf.components, parts))
			return DEV_NODE_DIRECTORY;
	}
	return DEV_NODE_NONE;
}

int CDeviceNamespace::List(const std::string& path, std::vector<dev_entry>* entries)
{
	entries->clear();
	dev_node_type type = NodeType(path);
	if (type == DEV_NODE_NONE) {
		errno = ENOENT;
		return -1;
	}
	if (type == DEV_NODE_DEVICE) {
		errno = ENOTDIR;
		return -1;
	}
	std::vector<std::string> parts;
	SplitPath(path, &parts);
	const size_t depth = parts.size();

	std::map<std::string, dev_node_type> children;
	for (const std::vector<std::string>& directory : kFixedDirectories) {
		if (directory.size() == depth + 1 && StartsWith(directory, parts))
			children[directory.back()] = DEV_NODE_DIRECTORY;
	}
	{
		std::lock_guard<std::mutex> lock(fPrivate->lock);
		for (const LEAF& leaf : fPrivate->Leaves()) {
			if (leaf.components.size() <= depth || !StartsWith(leaf.components, parts))
				continue;
			dev_node_type childType
				= leaf.components.size() == depth + 1 ? DEV_NODE_DEVICE : DEV_NODE_DIRECTORY;
			children.emplace(leaf.components[depth], childType);
		}
	}
	for (const auto& [name, childType] : children)
		entries->push_back(dev_entry{name, childType});
	std::sort(entries->begin(), entries->end(), EntryLess);
	return 0;
}

bool CDeviceNamespace::Resolve(const std::string& path, DEVICE_NODE* node)
{
	std::vector<std::string> parts;
	if (!SplitPath(path, &parts))
		return false;
	std::lock_guard<std::mutex> lock(fPrivate->lock);
	for (const LEAF& leaf : fPrivate->Leaves()) {
		if (leaf.components == parts) {
			*node = leaf.node;
			return true;
		}
	}
	return false;
}

std::vector<dev_drive_info> CDeviceNamespace::Drives()
{
	std::lock_guard<std::mutex> lock(fPrivate->lock);
	fPrivate->EnsureScanned();
	std::vector<dev_drive_info> drives;
	for (const REAL_DRIVE& drive : fPrivate->real) {
		dev_drive_info info;
		info.raw_path = drive.rawPath;
		info.system_path = drive.systemPath;
		info.is_atapi = drive.atapi;
		info.linux_device = !drive.sgPath.empty() ? drive.sgPath : drive.srPath;
		info.linux_block_device = drive.srPath;
		drives.push_back(std::move(info));
	}
	for (const VIRTUAL_DRIVE& drive : fPrivate->virtuals) {
		dev_drive_info info;
		info.raw_path = drive.rawPath;
		info.system_path = drive.systemPath;
		info.is_virtual = true;
		info.is_atapi = drive.atapi;
		drives.push_back(std::move(info));
	}
	return drives;
}

void CDeviceNamespace::SetRoots(const char* sysfsRoot, const char* devRoot)
{
	std::lock_guard<std::mutex> lock(fPrivate->lock);
	if (sysfsRoot != nullptr)
		fPrivate->sysfsRoot = sysfsRoot;
	if (devRoot != nullptr)
		fPrivate->devRoot = devRoot;
	fPrivate->Scan();
}

void CDeviceNamespace::Rescan()
{
	std::lock_guard<std::mutex> lock(fPrivate->lock);
	fPrivate->Scan();
}

status_t CDeviceNamespace::RegisterVirtual(std::shared_ptr<CVirtualDevice> device,
	std::string* rawPath)
{
	if (rawPath != nullptr)
		rawPath->clear();
	if (!device)
		return B_BAD_VALUE;
	const bool atapi = device->IsAtapi();

	std::lock_guard<std::mutex> lock(fPrivate->lock);
	fPrivate->EnsureScanned();
	if (fPrivate->virtuals.empty()) {
		fPrivate->virtualBase = fPrivate->realBusLimit;
		fPrivate->virtualScsiCount = 0;
	}

	VIRTUAL_DRIVE drive;
	drive.device = std::move(device);
	drive.atapi = atapi;
	if (atapi) {
		for (int slot = 0; slot < kAtapiSlots && drive.atapiSlot < 0; slot++) {
			if (!fPrivate->AtapiSlotTaken(slot))
				drive.atapiSlot = slot;
		}
		if (drive.atapiSlot < 0)
			return B_BUSY;
		drive.rawPath = AtapiPath(drive.atapiSlot);
		drive.systemPath = drive.rawPath;
	} else {
		int index = fPrivate->virtualScsiCount++;
		int bus = fPrivate->virtualBase + index / kVirtualTargetsPerHost;
		int target = index % kVirtualTargetsPerHost;
		drive.rawPath = ScsiRawPath(bus, target, 0);
		drive.systemPath = ScsiSystemPath(bus, target, 0);
	}
	drive.id = fPrivate->nextId++;
	if (rawPath != nullptr)
		*rawPath = drive.rawPath;
	fPrivate->virtuals.push_back(std::move(drive));
	return B_OK;
}

void CDeviceNamespace::UnregisterVirtuals()
{
	std::vector<VIRTUAL_DRIVE> removed;
	{
		std::lock_guard<std::mutex> lock(fPrivate->lock);
		removed.swap(fPrivate->virtuals);
		fPrivate->virtualScsiCount = 0;
	}
	// The drives are released here, outside the lock: a destructor may call
	// back into the namespace.
}

std::vector<std::string> CDeviceNamespace::VirtualPaths()
{
	std::lock_guard<std::mutex> lock(fPrivate->lock);
	std::vector<std::string> paths;
	for (const VIRTUAL_DRIVE& drive : fPrivate->virtuals)
		paths.push_back(drive.rawPath);
	return paths;
}

std::shared_ptr<CVirtualDevice> CDeviceNamespace::FindVirtual(uint64 id)
{
	std::lock_guard<std::mutex> lock(fPrivate->lock);
	for (const VIRTUAL_DRIVE& drive : fPrivate->virtuals) {
		if (drive.id == id)
			return drive.device;
	}
	return nullptr;
}

// #pragma mark - functions

dev_node_type dev_node(const char* path)
{
	if (path == nullptr)
		return DEV_NODE_NONE;
	return CDeviceNamespace::Default().NodeType(path);
}

int dev_list_directory(const char* path, std::vector<dev_entry>* entries)
{
	if (path == nullptr || entries == nullptr) {
		errno = EINVAL;
		return -1;
	}
	return CDeviceNamespace::Default().List(path, entries);
}

int dev_list_directory(const char* path, std::vector<std::string>* names)
{
	if (names == nullptr) {
		errno = EINVAL;
		return -1;
	}
	names->clear();
	std::vector<dev_entry> entries;
	if (dev_list_directory(path, &entries) != 0)
		return -1;
	for (dev_entry& entry : entries)
		names->push_back(std::move(entry.name));
	return 0;
}

std::vector<dev_drive_info> dev_list_drives()
{
	return CDeviceNamespace::Default().Drives();
}

void dev_set_system_roots(const char* sysfsRoot, const char* devRoot)
{
	CDeviceNamespace::Default().SetRoots(sysfsRoot, devRoot);
}

void dev_rescan_drives()
{
	CDeviceNamespace::Default().Rescan();
}
