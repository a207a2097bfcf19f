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

	// Whole-file helpers. ReadFile: B_OK (a missing file is an empty
	// container), B_BAD_DATA, or the read error. WriteFile writes a temporary
	// file beside `path`, syncs it and renames it over `path`, so the old
	// file stays whole until the new one is complete.
	static status_t ReadFile(const std::string& path, std::string* bytes);
	static status_t WriteFile(const std::string& path, const std::string& bytes);

private:
	std::vector<Record> fRecords;
};
