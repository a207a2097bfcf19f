// BEntry: one entry (a name in a folder), which need not exist as long as its
// folder does ("abstract" entries). An entry set with `traverse` follows a
// symbolic link to what it names, through chains of links (B_LINK_LIMIT
// after 16); a link to a missing target gives the abstract entry of the
// target. Without `traverse` the entry is the link itself.
//
// The folder part of an entry is kept as its canonical path; the entry keeps
// naming the same folder path and name after the node behind it changed.
// Rename and MoveTo move the entry along with the node.
//
// A BEntry is not locked: one thread uses it at a time.
#pragma once

#include "kit/storage/EntryRef.h"
#include "kit/support/SupportDefs.h"

#include <string>
#include <sys/stat.h>

class BDirectory;
class BPath;

constexpr int32 B_FILE_NAME_LENGTH = 256;    // a name with its NUL
constexpr int32 B_PATH_NAME_LENGTH = 1024;   // a path with its NUL

class BEntry {
public:
	BEntry();
	explicit BEntry(const char* path, bool traverse = false);
	explicit BEntry(const entry_ref* ref, bool traverse = false);
	BEntry(const BDirectory* dir, const char* path, bool traverse = false);
	BEntry(const BEntry& other) = default;
	BEntry& operator=(const BEntry& other) = default;
	virtual ~BEntry();

	// path: absolute, or relative to the working folder. Returns B_OK,
	// B_BAD_VALUE, B_ENTRY_NOT_FOUND (the folder does not exist),
	// B_NOT_A_DIRECTORY, B_NAME_TOO_LONG or B_LINK_LIMIT.
	status_t SetTo(const char* path, bool traverse = false);
	status_t SetTo(const entry_ref* ref, bool traverse = false);
	// path relative to dir (an absolute path ignores dir).
	status_t SetTo(const BDirectory* dir, const char* path, bool traverse = false);
	void Unset();
	status_t InitCheck() const { return fStatus; }

	bool Exists() const;
	bool IsFile() const;        // a regular file (links not followed)
	bool IsDirectory() const;
	bool IsSymLink() const;

	status_t GetRef(entry_ref* ref) const;
	status_t GetPath(BPath* path) const;
	// The full path; "" when not initialised.
	std::string Path() const;
	// lstat of the entry; B_ENTRY_NOT_FOUND for an abstract entry.
	status_t GetStat(struct stat* st) const;
	status_t GetNodeRef(node_ref* node) const;
	// The name into a buffer of B_FILE_NAME_LENGTH bytes.
	status_t GetName(char* buffer) const;
	status_t GetName(std::string* name) const;
	// The entry of the folder holding this one; B_ENTRY_NOT_FOUND for "/".
	status_t GetParent(BEntry* parent) const;
	status_t GetParent(BDirectory* parent) const;

	// New name or path, relative to the entry's folder (absolute paths move
	// the entry anywhere on its volume). Without clobber an existing target
	// gives B_FILE_EXISTS and nothing changes. On success the entry names the
	// new place.
	status_t Rename(const char* path, bool clobber = false);
	// Moves into `dir`, under `path` (relative to dir) or the current name.
	status_t MoveTo(const BDirectory* dir, const char* path = nullptr, bool clobber = false);
	// Removes the entry (a folder must be empty). The entry stays set, now
	// abstract.
	status_t Remove();

	bool operator==(const BEntry& other) const;
	bool operator!=(const BEntry& other) const { return !(*this == other); }

private:
	status_t _SetToPath(std::string path, bool traverse);
	status_t _Move(const std::string& target, bool clobber);

	entry_ref fRef;
	status_t fStatus = B_NO_INIT;
};

// Reference for the entry `name` in the folder (device, directory), for
// folders whose path this process knows (watched by the node monitor, or met
// recently through BEntry, BNode or BDirectory). B_ENTRY_NOT_FOUND otherwise.
status_t get_ref_for_entry(int64 device, int64 directory, const char* name, entry_ref* ref);

// The current path of a node this process knows (see above), checked against
// the file system before it is returned: B_ENTRY_NOT_FOUND when the node is
// unknown or no longer at any known path. Devices compare by their low 32
// bits, the width of the "device" field of node monitor messages.
status_t get_path_for_node(const node_ref& node, std::string* path);

// Records where a node was met, for get_path_for_node. The kit's storage
// classes call this; the table holds a bounded number of recent nodes.
void remember_node_path(const node_ref& node, const std::string& path);

// node_ref from a stat record.
node_ref node_ref_for_stat(const struct stat& st);
// True when two device numbers name the same device (low 32 bits equal).
bool same_device(int64 a, int64 b);
