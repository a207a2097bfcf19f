// BPath: an absolute path name. Without normalisation the path is kept as
// given (made absolute against the working folder); normalising resolves ".",
// "..", doubled and trailing slashes and symbolic links of the folder part,
// which then has to exist. Paths that are not in that form (relative, with
// "." or ".." components, doubled or trailing slashes) are always normalised.
//
// A BPath is not locked: one thread uses it at a time.
#pragma once

#include "kit/storage/EntryRef.h"
#include "kit/support/SupportDefs.h"

#include <string>

class BEntry;

class BPath {
public:
	BPath();
	BPath(const char* dir, const char* leaf = nullptr, bool normalize = false);
	explicit BPath(const entry_ref* ref);
	explicit BPath(const BEntry* entry);
	BPath(const BPath& other) = default;
	BPath& operator=(const BPath& other) = default;

	// dir (absolute, or relative to the working folder) joined with leaf
	// (relative, may be null). B_BAD_VALUE for a null dir or an absolute leaf;
	// B_ENTRY_NOT_FOUND when normalising needs a folder that does not exist.
	status_t SetTo(const char* dir, const char* leaf = nullptr, bool normalize = false);
	status_t SetTo(const entry_ref* ref);
	status_t SetTo(const BEntry* entry);
	void Unset();
	status_t InitCheck() const { return fStatus; }

	// Appends a relative path (normalising as SetTo does).
	status_t Append(const char* path, bool normalize = false);

	// The path, or null when the object is not initialised.
	const char* Path() const;
	// The last component ("" for "/"), or null when not initialised.
	const char* Leaf() const;
	// The folder that holds the path; B_ENTRY_NOT_FOUND for "/".
	status_t GetParent(BPath* parent) const;

	bool operator==(const BPath& other) const;
	bool operator!=(const BPath& other) const { return !(*this == other); }
	bool operator==(const char* path) const;

private:
	std::string fPath;
	status_t fStatus = B_NO_INIT;
};
