// BNode: a file-system node (file, folder or symbolic link) and its
// attributes. The node is held open (O_PATH), so it stays the same node when
// its entry is renamed or replaced; a symbolic link is the link itself, never
// what it points to (use BEntry with traverse to reach the target).
//
// Attributes are extended attributes in the "user." namespace: attribute
// "Audio:Title" is the xattr "user.Audio:Title", holding exactly the data
// written. The type code lives beside it in "user.tarnwick.type.<name>" (the
// four characters of the code), which listing never shows. An attribute
// without that companion (written by another program) reports
// B_STRING_TYPE when its data is text, else B_RAW_TYPE. "BEOS:TYPE" is
// mirrored, without its terminating NUL, to "user.mime_type" (the name other
// desktop programs read), and a node that only has "user.mime_type" shows
// it as "BEOS:TYPE". Names starting with "tarnwick.type." and the name
// "mime_type" are reserved: writing or removing them gives B_BAD_VALUE.
//
// Linux accepts user attributes on files and folders only: on a symbolic
// link reading finds nothing and writing gives B_UNSUPPORTED. A volume
// without user xattrs gives B_UNSUPPORTED too. xattr space is small (about
// 4 KB per file on ext4): a write that does not fit gives B_DEVICE_FULL or
// an "Argument too big" status.
//
// A BNode is not locked: one thread uses it at a time.
#pragma once

#include "kit/storage/EntryRef.h"
#include "kit/support/SupportDefs.h"

#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

class BDirectory;
class BEntry;

constexpr int32 B_ATTR_NAME_LENGTH = 256;   // an attribute name with its NUL

struct attr_info {
	uint32 type;
	off_t size;
};

class BNode {
public:
	BNode();
	explicit BNode(const char* path);
	explicit BNode(const entry_ref* ref);
	explicit BNode(const BEntry* entry);
	BNode(const BDirectory* dir, const char* path);
	BNode(const BNode& other);
	BNode& operator=(const BNode& other);
	virtual ~BNode();

	// The node at the entry (a final symbolic link is not followed).
	// B_ENTRY_NOT_FOUND, B_BAD_VALUE, B_PERMISSION_DENIED, B_NO_MORE_FDS...
	status_t SetTo(const char* path);
	status_t SetTo(const entry_ref* ref);
	status_t SetTo(const BEntry* entry);
	status_t SetTo(const BDirectory* dir, const char* path);
	virtual void Unset();
	status_t InitCheck() const { return fStatus; }

	status_t GetStat(struct stat* st) const;
	status_t GetNodeRef(node_ref* node) const;
	// The path the node was set to (it may have moved since); "" when unset.
	const std::string& Path() const { return fPath; }
	bool IsSymLink() const { return fIsLink; }

	// Reads up to `length` bytes of the attribute from `offset` (the type is
	// not checked). Returns the byte count (0 past the end) or
	// B_ENTRY_NOT_FOUND, B_BAD_VALUE, B_NAME_TOO_LONG, B_NO_INIT...
	ssize_t ReadAttr(const char* name, type_code type, off_t offset, void* buffer, size_t length) const;
	// Writes `length` bytes at `offset`: at offset 0 the data replaces the
	// attribute; further on it is written into the existing data (a gap is
	// filled with zeros). The attribute takes `type`. Returns `length` or an
	// error status; on an error the attribute is as it was.
	ssize_t WriteAttr(const char* name, type_code type, off_t offset, const void* buffer, size_t length);
	// B_ENTRY_NOT_FOUND when there is no such attribute.
	status_t RemoveAttr(const char* name);
	status_t GetAttrInfo(const char* name, attr_info* info) const;

	// Attribute names one by one into a buffer of B_ATTR_NAME_LENGTH bytes;
	// B_ENTRY_NOT_FOUND after the last. The list is read on the first call
	// after SetTo or RewindAttrs.
	status_t GetNextAttrName(char* buffer);
	status_t RewindAttrs();
	// All attribute names, in the order GetNextAttrName gives them.
	status_t GetAttrNames(std::vector<std::string>* names) const;

	// A string attribute (data up to its first NUL) / written as B_STRING_TYPE
	// with its terminating NUL.
	status_t ReadAttrString(const char* name, std::string* value) const;
	status_t WriteAttrString(const char* name, const std::string& value);

	bool operator==(const BNode& other) const;
	bool operator!=(const BNode& other) const { return !(*this == other); }

protected:
	status_t _SetToPath(const std::string& path);
	// Leaves the node unset with `status` as its InitCheck.
	status_t _Fail(status_t status);

private:
	std::string _XattrPath() const;
	bool _UseProc() const;
	status_t _Get(const std::string& xname, std::string* value) const;
	status_t _Set(const std::string& xname, const std::string& value);
	status_t _Remove(const std::string& xname);
	status_t _List(std::vector<std::string>* names) const;

	int fFd = -1;
	std::string fPath;
	node_ref fNode;
	bool fIsLink = false;
	status_t fStatus = B_NO_INIT;
	std::vector<std::string> fAttrNames;
	size_t fAttrIndex = 0;
	bool fAttrsRead = false;
};

// Attribute helpers for code that works on xattr names directly (the node
// monitor, copying): the attribute name an xattr stands for, or "" when the
// xattr is not an attribute (another namespace, a type companion). A type
// companion gives the name of its attribute through `companionOf`.
std::string attribute_name_for_xattr(const std::string& xattr, std::string* companionOf = nullptr);
