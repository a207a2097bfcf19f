// BVolume: the mounted file system that holds a node, and what it can do.
// Answers come from the running system each time they are asked (statvfs,
// statfs, sysfs and a probe), never from a table of file-system names.
//
// A BVolume is not locked: one thread uses it at a time.
#pragma once

#include "kit/support/SupportDefs.h"

#include <string>
#include <sys/types.h>

class BVolume {
public:
	BVolume();
	// The volume of a device number (st_dev, or its low 32 bits as node
	// monitor messages carry it), found in the mount table.
	explicit BVolume(int64 device);

	status_t SetTo(int64 device);
	// The volume holding `path` (following links). Capability probes then
	// use that folder first.
	status_t SetToPath(const char* path);
	void Unset();
	status_t InitCheck() const { return fStatus; }

	int64 Device() const { return fDevice; }
	const std::string& MountPoint() const { return fMountPoint; }
	// The file system's type as mounted ("ext4", "tmpfs", ...).
	const std::string& FileSystem() const { return fFileSystem; }

	// The label of the file system, else the name of its mount point ("/"
	// for the root), into a buffer of B_FILE_NAME_LENGTH bytes.
	status_t GetName(char* name) const;
	status_t GetName(std::string* name) const;

	// Bytes of the volume, and bytes an unprivileged writer may still use.
	// Negative status codes on failure.
	off_t Capacity() const;
	off_t FreeBytes() const;

	// Data survives a restart: false for memory and kernel file systems
	// (tmpfs, ramfs, proc, sysfs, ...).
	bool IsPersistent() const;
	// The medium can go away: the block device (or a device it is built on)
	// is marked removable, or sits on USB, MMC or memory-stick buses.
	bool IsRemovable() const;
	bool IsReadOnly() const;
	bool IsShared() const { return false; }
	// A user xattr can be set and removed on an unnamed temporary file in a
	// writable folder of the volume; without a writable folder, reading a
	// user xattr of the mount point is not refused as unsupported.
	bool KnowsAttr() const;
	// Types are recorded as attributes, so as KnowsAttr.
	bool KnowsMime() const;
	// No indexed queries on Linux file systems.
	bool KnowsQuery() const { return false; }

	bool operator==(const BVolume& other) const;
	bool operator!=(const BVolume& other) const { return !(*this == other); }

private:
	bool _ProbeFolder(const std::string& folder, bool* supported) const;

	int64 fDevice = -1;
	std::string fMountPoint;
	std::string fFileSystem;
	std::string fSource;
	std::string fProbeFolder;
	status_t fStatus = B_NO_INIT;
};
