// The container of the settings file: an ordered list of named records, each
// a type code and a blob (a flattened message).
//
// Layout (all integers little-endian):
//   "TWSF"  uint32 version (1)  uint32 record count
//   per record: uint32 name length, name bytes (no NUL),
//               uint32 type code, uint32 data length, data bytes
// An empty file is a valid container without records.
#pragma once

#include "kit/support/SupportDefs.h"

#include <string>
#include <vector>

class CSettingsFile {
public:
	struct Record {
		std::string name;
		type_code type;
		std::string data;
	};

	// Parses `bytes`; B_BAD_DATA for anything malformed (the records are
	// then empty). Every length is checked against what is left.
	status_t Parse(const std::string& bytes);
	std::string Serialize() const;

	const Record* Find(const std::string& name) const;
	// Replaces the record of that name in place, or appends it.
	void Set(const std::string& name, type_code type, std::string data);
	bool Remove(const std::string& name);
	const std::vector<Record>& Records() const { return fRecords; }

	// Whole-file helpers. None of them blocks on a FIFO or a device at
	// `path`: the type is checked on a descriptor opened without blocking.
	// CreateFile makes an empty file (mode 0600) when none exists: B_OK when
	// `path` is, or now is, a regular file; B_BAD_TYPE when it is something
	// else (a FIFO, a directory, a device); else the open error.
	static status_t CreateFile(const std::string& path);
	// ReadFile: B_OK (a missing file is an empty container), B_BAD_TYPE for
	// something else than a regular file, B_BAD_DATA for a file too large
	// to be settings, or the read error. WriteFile writes a temporary
	// file beside `path`, syncs it and renames it over `path`, so the old
	// file stays whole until the new one is complete.
	static status_t ReadFile(const std::string& path, std::string* bytes);
	static status_t WriteFile(const std::string& path, const std::string& bytes);

private:
	std::vector<Record> fRecords;
};
