// BDirectory: a folder, its entries and the creation of new entries in it.
// Entries come in the folder's own order, without "." and "..". Relative
// paths given to the members are taken from this folder.
//
// A BDirectory is not locked: one thread uses it at a time.
#pragma once

#include "kit/storage/Node.h"

#include <dirent.h>
#include <string>

class BEntry;

class BDirectory : public BNode {
public:
	BDirectory();
	explicit BDirectory(const char* path);
	explicit BDirectory(const entry_ref* ref);
	// A folder known by its node: see get_path_for_node for which nodes this
	// process can open.
	explicit BDirectory(const node_ref* node);
	explicit BDirectory(const BEntry* entry);
	BDirectory(const BDirectory* dir, const char* path);
	BDirectory(const BDirectory& other);
	BDirectory& operator=(const BDirectory& other);
	~BDirectory() override;

	// Symbolic links are followed to the folder they name (B_NOT_A_DIRECTORY
	// when the entry is something else).
	status_t SetTo(const char* path);
	status_t SetTo(const entry_ref* ref);
	status_t SetTo(const node_ref* node);
	status_t SetTo(const BEntry* entry);
	status_t SetTo(const BDirectory* dir, const char* path);
	void Unset() override;

	status_t GetEntry(BEntry* entry) const;
	bool IsRootDirectory() const;

	// The entry at `path` (relative to this folder, or absolute).
	// B_ENTRY_NOT_FOUND when it does not exist.
	status_t FindEntry(const char* path, BEntry* entry, bool traverse = false) const;
	// True when `path` exists: a relative path inside this folder, an
	// absolute path anywhere below it.
	bool Contains(const char* path) const;
	bool Contains(const BEntry* entry) const;

	// Iteration. B_ENTRY_NOT_FOUND after the last entry.
	status_t GetNextEntry(BEntry* entry, bool traverse = false);
	status_t GetNextRef(entry_ref* ref);
	status_t Rewind();
	// Entries without "." and ".."; the iteration starts again afterwards.
	int32 CountEntries();

	// Creates an empty regular file (mode 0666 minus the umask). Without
	// failIfExists an existing file is kept as it is (its content too);
	// with it B_FILE_EXISTS. `entry` (may be null) receives the new entry.
	status_t CreateFile(const char* path, BEntry* entry = nullptr, bool failIfExists = false);
	// Creates a folder (mode 0777 minus the umask); B_FILE_EXISTS when the
	// name is taken. `dir` (may be null) is set to it.
	status_t CreateDirectory(const char* path, BDirectory* dir = nullptr);
	// Creates a symbolic link at `path` holding `linkToPath`.
	status_t CreateSymLink(const char* path, const char* linkToPath, BEntry* link = nullptr);

private:
	status_t _Resolve(const char* path, std::string* full) const;
	status_t _OpenDir();

	DIR* fDir = nullptr;
};

// Creates the folder at `path` and every missing folder above it with
// `mode`. B_OK when it exists already as a folder; B_NOT_A_DIRECTORY when
// something else is in the way.
status_t create_directory(const char* path, mode_t mode);
