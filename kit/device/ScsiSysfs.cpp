// Finding the optical drives of the machine in Linux sysfs.
#include "kit/device/ScsiSysfs.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <filesystem>
#include <fstream>
#include <tuple>

namespace fs = std::filesystem;

namespace {

// The first bytes of a sysfs attribute; empty when it cannot be read.
std::string ReadAttribute(const fs::path& path)
{
	std::ifstream file(path, std::ios::binary);
	if (!file)
		return std::string();
	char buffer[256];
	file.read(buffer, sizeof(buffer));
	return std::string(buffer, size_t(file.gcount()));
}

// The entries of a directory; empty when it cannot be read.
std::vector<fs::path> ListDirectory(const fs::path& directory)
{
	std::vector<fs::path> entries;
	std::error_code error;
	fs::directory_iterator iterator(directory, error);
	while (!error && iterator != fs::directory_iterator()) {
		entries.push_back(iterator->path());
		iterator.increment(error);
	}
	return entries;
}

std::string_view Trim(std::string_view text)
{
	while (!text.empty() && isspace(static_cast<unsigned char>(text.front())))
		text.remove_prefix(1);
	while (!text.empty() && isspace(static_cast<unsigned char>(text.back())))
		text.remove_suffix(1);
	return text;
}

bool ParseDigits(std::string_view text, int* value)
{
	if (text.empty() || text.size() > 10)
		return false;
	long long number = 0;
	for (char c : text) {
		if (c < '0' || c > '9')
			return false;
		number = number * 10 + (c - '0');
	}
	if (number > INT_MAX)
		return false;
	*value = int(number);
	return true;
}

// The name of the first class device of `subsystem` below a SCSI device:
// "<device>/<subsystem>/<name>", or the older "<device>/<subsystem>:<name>".
std::string FindClassDevice(const fs::path& device, const std::string& subsystem,
	const std::string& prefix)
{
	std::vector<std::string> names;
	for (const fs::path& entry : ListDirectory(device / subsystem)) {
		std::string name = entry.filename().string();
		if (name.compare(0, prefix.size(), prefix) == 0)
			names.push_back(name);
	}
	if (names.empty()) {
		std::string legacy = subsystem + ":" + prefix;
		for (const fs::path& entry : ListDirectory(device)) {
			std::string name = entry.filename().string();
			if (name.compare(0, legacy.size(), legacy) == 0)
				names.push_back(name.substr(subsystem.size() + 1));
		}
	}
	std::sort(names.begin(), names.end());
	return names.empty() ? std::string() : names.front();
}

// True when the device's real path in sysfs passes an ATA port ("ata3").
bool SitsBelowAtaPort(const fs::path& device)
{
	std::error_code error;
	fs::path real = fs::canonical(device, error);
	if (error)
		return false;
	for (const fs::path& component : real) {
		std::string name = component.string();
		int number;
		if (name.size() > 3 && name.compare(0, 3, "ata") == 0
			&& ParseDigits(std::string_view(name).substr(3), &number))
			return true;
	}
	return false;
}

}   // namespace

bool ParseSysfsNumber(std::string_view text, int* value)
{
	return ParseDigits(Trim(text), value);
}

int ReadSysfsNumber(const std::string& path)
{
	int value = -1;
	if (!ParseSysfsNumber(ReadAttribute(path), &value))
		return -1;
	return value;
}

bool ParseScsiAddress(std::string_view text, int* host, int* channel, int* target, int* lun)
{
	int* fields[4] = {host, channel, target, lun};
	for (int i = 0; i < 4; i++) {
		size_t end = i < 3 ? text.find(':') : text.size();
		if (end == std::string_view::npos)
			return false;
		int number;
		if (!ParseDigits(text.substr(0, end), &number))
			return false;
		*fields[i] = number;
		text.remove_prefix(i < 3 ? end + 1 : end);
	}
	return true;
}

bool IsLibataHostName(std::string_view procName)
{
	procName = Trim(procName);
	for (std::string_view prefix : {"ahci", "ata", "pata", "sata", "libata"}) {
		if (procName.substr(0, prefix.size()) == prefix)
			return true;
	}
	return false;
}

int HighestSysfsScsiHost(const std::string& sysfsRoot)
{
	int highest = -1;
	for (const fs::path& entry : ListDirectory(fs::path(sysfsRoot) / "class" / "scsi_host")) {
		std::string name = entry.filename().string();
		int number;
		if (name.compare(0, 4, "host") == 0 && ParseDigits(std::string_view(name).substr(4), &number))
			highest = std::max(highest, number);
	}
	return highest;
}

std::vector<SYSFS_SCSI_DRIVE> ScanSysfsDrives(const std::string& sysfsRoot)
{
	std::vector<SYSFS_SCSI_DRIVE> drives;
	const fs::path root(sysfsRoot);
	for (const fs::path& device : ListDirectory(root / "bus" / "scsi" / "devices")) {
		SYSFS_SCSI_DRIVE drive;
		if (!ParseScsiAddress(device.filename().string(), &drive.host, &drive.channel,
				&drive.target, &drive.lun))
			continue;
		if (!ParseSysfsNumber(ReadAttribute(device / "type"), &drive.type))
			continue;
		if (drive.type != 4 && drive.type != 5)
			continue;
		drive.sgName = FindClassDevice(device, "scsi_generic", "sg");
		drive.srName = FindClassDevice(device, "block", "sr");
		if (drive.sgName.empty() && drive.srName.empty())
			continue;
		std::string procName = ReadAttribute(
			root / "class" / "scsi_host" / ("host" + std::to_string(drive.host)) / "proc_name");
		drive.ata = IsLibataHostName(procName) || SitsBelowAtaPort(device);
		drives.push_back(std::move(drive));
	}
	std::sort(drives.begin(), drives.end(), [](const SYSFS_SCSI_DRIVE& a, const SYSFS_SCSI_DRIVE& b) {
		return std::tie(a.host, a.channel, a.target, a.lun) < std::tie(b.host, b.channel, b.target, b.lun);
	});
	return drives;
}
