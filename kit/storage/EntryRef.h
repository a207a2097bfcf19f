// entry_ref names a directory entry: the device and inode of its directory
// and the entry's name. On Linux a directory cannot be opened by inode, so the
// reference also keeps the directory's path, which is what opening uses;
// device and directory identify the folder for comparisons and node monitor
// messages. node_ref names a node (device, inode).
#pragma once

#include "kit/support/SupportDefs.h"

#include <string>

struct entry_ref {
	int64 device = -1;
	int64 directory = -1;
	std::string name;       // entry name, no '/'
	std::string dirPath;    // absolute path of the directory

	entry_ref() = default;
	entry_ref(int64 device, int64 directory, std::string name, std::string dirPath)
		: device(device), directory(directory), name(std::move(name)), dirPath(std::move(dirPath)) {}

	// Full path of the entry ("" when the reference is empty).
	std::string Path() const;
	bool IsValid() const { return !name.empty() && !dirPath.empty(); }
	bool operator==(const entry_ref& other) const
	{
		return device == other.device && directory == other.directory && name == other.name;
	}
	bool operator!=(const entry_ref& other) const { return !(*this == other); }
};

struct node_ref {
	int64 device = -1;
	int64 node = -1;
	bool operator==(const node_ref& other) const = default;
};

// Fills `ref` for the entry at `path` (the entry itself need not exist, its
// directory must). Returns B_OK, B_ENTRY_NOT_FOUND or another status.
status_t get_ref_for_path(const char* path, entry_ref* ref);
