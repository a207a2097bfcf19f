// BVolume over the mount table, statvfs/statfs and sysfs.
#include "kit/storage/Volume.h"

#include "kit/storage/Entry.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace {

struct DirCloser {
	void operator()(DIR* dir) const { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

struct MountEntry {
	unsigned major = 0;
	unsigned minor = 0;
	std::string root;
	std::string mountPoint;
	std::string fileSystem;
	std::string source;
};

// Undoes the octal escapes (\040 for a blank...) of the mount table.
std::string Unescape(const std::string& text)
{
	std::string result;
	result.reserve(text.size());
	for (size_t i = 0; i < text.size(); i++) {
		if (text[i] == '\\' && i + 3 < text.size()
			&& text[i + 1] >= '0' && text[i + 1] <= '3' && text[i + 2] >= '0' && text[i + 2] <= '7'
			&& text[i + 3] >= '0' && text[i + 3] <= '7') {
			result.push_back(char(((text[i + 1] - '0') << 6) | ((text[i + 2] - '0') << 3) | (text[i + 3] - '0')));
			i += 3;
		} else {
			result.push_back(text[i]);
		}
	}
	return result;
}

// One line of /proc/self/mountinfo; false when it is malformed.
bool ParseMountLine(const std::string& line, MountEntry* entry)
{
	std::istringstream stream(line);
	std::vector<std::string> fields;
	std::string field;
	while (stream >> field)
		fields.push_back(field);
	size_t separator = 0;
	for (size_t i = 6; i < fields.size(); i++) {
		if (fields[i] == "-") {
			separator = i;
			break;
		}
	}
	if (separator == 0 || separator + 2 >= fields.size())
		return false;
	unsigned major = 0;
	unsigned minor = 0;
	if (sscanf(fields[2].c_str(), "%u:%u", &major, &minor) != 2)
		return false;
	entry->major = major;
	entry->minor = minor;
	entry->root = Unescape(fields[3]);
	entry->mountPoint = Unescape(fields[4]);
	entry->fileSystem = fields[separator + 1];
	entry->source = Unescape(fields[separator + 2]);
	return true;
}

std::vector<MountEntry> ReadMounts()
{
	std::vector<MountEntry> mounts;
	std::ifstream file("/proc/self/mountinfo");
	std::string line;
	while (std::getline(file, line)) {
		MountEntry entry;
		if (ParseMountLine(line, &entry))
			mounts.push_back(std::move(entry));
	}
	return mounts;
}

std::string RealPath(const std::string& path)
{
	std::unique_ptr<char, decltype(&free)> resolved(realpath(path.c_str(), nullptr), &free);
	return resolved ? std::string(resolved.get()) : std::string();
}

std::string ReadSmallFile(const std::string& path)
{
	std::ifstream file(path);
	std::string text;
	std::getline(file, text);
	return text;
}

bool Exists(const std::string& path)
{
	struct stat st;
	return stat(path.c_str(), &st) == 0;
}

// Whether the block device major:minor, or one it is built on (device
// mapper, md, loop slaves), can be taken away.
bool BlockDeviceRemovable(unsigned major, unsigned minor, int depth)
{
	if (depth > 8)
		return false;
	std::string device = RealPath("/sys/dev/block/" + std::to_string(major) + ":" + std::to_string(minor));
	if (device.empty())
		return false;
	if (device.find("/usb") != std::string::npos || device.find("/mmc") != std::string::npos
		|| device.find("/memstick") != std::string::npos)
		return true;
	std::string disk = device;
	if (Exists(disk + "/partition"))
		disk = disk.substr(0, disk.rfind('/'));
	if (ReadSmallFile(disk + "/removable") == "1")
		return true;
	std::string slavesPath = disk + "/slaves";
	DirHandle slaves(opendir(slavesPath.c_str()));
	if (!slaves)
		return false;
	while (struct dirent* slave = readdir(slaves.get())) {
		if (slave->d_name[0] == '.')
			continue;
		unsigned slaveMajor = 0;
		unsigned slaveMinor = 0;
		std::string dev = ReadSmallFile(slavesPath + "/" + slave->d_name + "/dev");
		if (sscanf(dev.c_str(), "%u:%u", &slaveMajor, &slaveMinor) == 2
			&& BlockDeviceRemovable(slaveMajor, slaveMinor, depth + 1))
			return true;
	}
	return false;
}

// Magic numbers of file systems that keep nothing across a restart.
bool IsVolatileFileSystem(long type)
{
	static const long kVolatile[] = {
		0x01021994,   // tmpfs (also devtmpfs)
		0x858458f6,   // ramfs
		0x9fa0,       // proc
		0x62656572,   // sysfs
		0x1cd1,       // devpts
		0x27e0eb,     // cgroup
		0x63677270,   // cgroup2
		0x64626720,   // debugfs
		0x74726163,   // tracefs
		0x73636673,   // securityfs
		0xcafe4a11,   // bpf
		0x19800202,   // mqueue
		0x958458f6,   // hugetlbfs
		0x62656570,   // configfs
		0x65735543,   // fusectl
		0x42494e4d,   // binfmt_misc
		0x6e736673,   // nsfs
		0x50495045,   // pipefs
		0x534f434b,   // sockfs
		0x09041934,   // anon inodes
		0x5a3c69f0,   // aafs
	};
	for (long magic : kVolatile) {
		if (type == magic)
			return true;
	}
	return false;
}

}   // namespace

BVolume::BVolume() = default;

BVolume::BVolume(int64 device)
{
	SetTo(device);
}

status_t BVolume::SetTo(int64 device)
{
	Unset();
	// A negative number is a device widened from an int32 message field.
	dev_t dev = device < 0 ? dev_t(uint32(device)) : dev_t(device);
	unsigned wantedMajor = major(dev);
	unsigned wantedMinor = minor(dev);
	const MountEntry* best = nullptr;
	std::vector<MountEntry> mounts = ReadMounts();
	for (const MountEntry& entry : mounts) {
		if (entry.major != wantedMajor || entry.minor != wantedMinor)
			continue;
		struct stat st;
		if (stat(entry.mountPoint.c_str(), &st) != 0 || !same_device(int64(st.st_dev), device))
			continue;   // covered by a later mount
		// Prefer a mount of the file system's own root; later lines win.
		if (best == nullptr || entry.root == "/" || best->root != "/")
			best = &entry;
	}
	if (best == nullptr)
		return fStatus = B_BAD_VALUE;
	fDevice = device;
	fMountPoint = best->mountPoint;
	fFileSystem = best->fileSystem;
	fSource = best->source;
	return fStatus = B_OK;
}

status_t BVolume::SetToPath(const char* path)
{
	Unset();
	if (path == nullptr || path[0] == '\0')
		return fStatus = B_BAD_VALUE;
	struct stat st;
	if (stat(path, &st) != 0)
		return fStatus = StatusFromErrno();
	std::string real = RealPath(path);
	if (real.empty())
		return fStatus = StatusFromErrno();
	std::string folder = S_ISDIR(st.st_mode) ? real : real.substr(0, std::max<size_t>(real.rfind('/'), 1));

	// The mount whose point is the longest prefix of the path and that holds
	// the same device (bind mounts and file systems with their own device
	// numbers per subvolume both work).
	const MountEntry* best = nullptr;
	std::vector<MountEntry> mounts = ReadMounts();
	for (const MountEntry& entry : mounts) {
		const std::string& point = entry.mountPoint;
		bool prefix = point == "/" || real == point
			|| (real.compare(0, point.size(), point) == 0 && real.size() > point.size() && real[point.size()] == '/');
		if (!prefix)
			continue;
		if (best == nullptr || point.size() >= best->mountPoint.size())
			best = &entry;
	}
	fDevice = int64(st.st_dev);
	fProbeFolder = folder;
	if (best != nullptr) {
		fMountPoint = best->mountPoint;
		fFileSystem = best->fileSystem;
		fSource = best->source;
	} else {
		fMountPoint = "/";
	}
	return fStatus = B_OK;
}

void BVolume::Unset()
{
	fDevice = -1;
	fMountPoint.clear();
	fFileSystem.clear();
	fSource.clear();
	fProbeFolder.clear();
	fStatus = B_NO_INIT;
}

status_t BVolume::GetName(std::string* name) const
{
	if (name == nullptr)
		return B_BAD_VALUE;
	if (fStatus != B_OK)
		return fStatus;
	if (!fSource.empty() && fSource[0] == '/') {
		std::string source = RealPath(fSource);
		DirHandle labels(opendir("/dev/disk/by-label"));
		while (!source.empty() && labels) {
			struct dirent* label = readdir(labels.get());
			if (label == nullptr)
				break;
			if (label->d_name[0] == '.')
				continue;
			if (RealPath(std::string("/dev/disk/by-label/") + label->d_name) != source)
				continue;
			// udev writes unusual characters as \xNN.
			std::string text = label->d_name;
			std::string decoded;
			for (size_t i = 0; i < text.size(); i++) {
				unsigned value = 0;
				if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x'
					&& sscanf(text.substr(i + 2, 2).c_str(), "%2x", &value) == 1) {
					decoded.push_back(char(value));
					i += 3;
				} else {
					decoded.push_back(text[i]);
				}
			}
			*name = decoded;
			return B_OK;
		}
	}
	if (fMountPoint == "/")
		*name = "/";
	else
		*name = fMountPoint.substr(fMountPoint.rfind('/') + 1);
	return B_OK;
}

status_t BVolume::GetName(char* name) const
{
	if (name == nullptr)
		return B_BAD_VALUE;
	std::string text;
	status_t status = GetName(&text);
	if (status != B_OK)
		return status;
	if (text.size() >= size_t(B_FILE_NAME_LENGTH))
		text.resize(B_FILE_NAME_LENGTH - 1);
	memcpy(name, text.c_str(), text.size() + 1);
	return B_OK;
}

off_t BVolume::Capacity() const
{
	if (fStatus != B_OK)
		return fStatus;
	struct statvfs info;
	if (statvfs((fProbeFolder.empty() ? fMountPoint : fProbeFolder).c_str(), &info) != 0)
		return StatusFromErrno();
	return off_t(info.f_blocks) * off_t(info.f_frsize);
}

off_t BVolume::FreeBytes() const
{
	if (fStatus != B_OK)
		return fStatus;
	struct statvfs info;
	if (statvfs((fProbeFolder.empty() ? fMountPoint : fProbeFolder).c_str(), &info) != 0)
		return StatusFromErrno();
	return off_t(info.f_bavail) * off_t(info.f_frsize);
}

bool BVolume::IsPersistent() const
{
	if (fStatus != B_OK)
		return false;
	struct statfs info;
	if (statfs((fProbeFolder.empty() ? fMountPoint : fProbeFolder).c_str(), &info) != 0)
		return false;
	return !IsVolatileFileSystem(long(info.f_type));
}

bool BVolume::IsRemovable() const
{
	if (fStatus != B_OK)
		return false;
	dev_t dev = fDevice < 0 ? dev_t(uint32(fDevice)) : dev_t(fDevice);
	unsigned deviceMajor = major(dev);
	unsigned deviceMinor = minor(dev);
	if (deviceMajor == 0 && !fSource.empty() && fSource[0] == '/') {
		// File systems with anonymous device numbers (btrfs subvolumes...):
		// ask about the block device they were mounted from.
		struct stat st;
		if (stat(fSource.c_str(), &st) != 0 || !S_ISBLK(st.st_mode))
			return false;
		deviceMajor = major(st.st_rdev);
		deviceMinor = minor(st.st_rdev);
	}
	if (deviceMajor == 0)
		return false;
	return BlockDeviceRemovable(deviceMajor, deviceMinor, 0);
}

bool BVolume::IsReadOnly() const
{
	if (fStatus != B_OK)
		return false;
	struct statvfs info;
	if (statvfs((fProbeFolder.empty() ? fMountPoint : fProbeFolder).c_str(), &info) != 0)
		return false;
	return (info.f_flag & ST_RDONLY) != 0;
}

// Tries the probe in `folder`; false when no file could be made there.
bool BVolume::_ProbeFolder(const std::string& folder, bool* supported) const
{
	struct stat st;
	if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || !same_device(int64(st.st_dev), fDevice))
		return false;
	if (access(folder.c_str(), W_OK | X_OK) != 0)
		return false;
	// An unnamed file leaves no entry behind and shows up in no folder
	// watch; file systems without O_TMPFILE get a named file, unlinked at
	// once.
	int fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
	if (fd < 0) {
		std::string name = folder + "/.tarnwick-attr-probe-XXXXXX";
		std::vector<char> buffer(name.begin(), name.end());
		buffer.push_back('\0');
		fd = mkostemp(buffer.data(), O_CLOEXEC);
		if (fd < 0)
			return false;
		unlink(buffer.data());
	}
	static const char kProbe[] = "user.tarnwick.probe";
	*supported = fsetxattr(fd, kProbe, "1", 1, 0) == 0;
	if (*supported)
		fremovexattr(fd, kProbe);
	close(fd);
	return true;
}

bool BVolume::KnowsAttr() const
{
	if (fStatus != B_OK)
		return false;
	bool supported = false;
	if (!IsReadOnly()) {
		if (!fProbeFolder.empty() && _ProbeFolder(fProbeFolder, &supported))
			return supported;
		if (_ProbeFolder(fMountPoint, &supported))
			return supported;
	}
	// Nowhere to write: a file system without user xattrs refuses even the
	// question.
	char value;
	std::string folder = fProbeFolder.empty() ? fMountPoint : fProbeFolder;
	if (getxattr(folder.c_str(), "user.tarnwick.probe", &value, sizeof(value)) >= 0)
		return true;
	return errno == ENODATA || errno == ERANGE;
}

bool BVolume::KnowsMime() const
{
	return KnowsAttr();
}

bool BVolume::operator==(const BVolume& other) const
{
	if (fStatus != B_OK || other.fStatus != B_OK)
		return fStatus == other.fStatus;
	return same_device(fDevice, other.fDevice);
}
