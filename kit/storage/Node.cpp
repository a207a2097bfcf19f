// BNode: nodes held open by O_PATH descriptors and their attributes as user
// xattrs.
#include "kit/storage/Node.h"

#include "kit/storage/Directory.h"
#include "kit/storage/Entry.h"
#include "kit/support/TypeConstants.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <linux/limits.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

const std::string kUserPrefix = "user.";
const std::string kReservedTypePrefix = "tarnwick.type.";
const std::string kTypePrefix = "user.tarnwick.type.";
const std::string kMimeTypeAttr = "BEOS:TYPE";
const std::string kMimeMirrorName = "mime_type";
const std::string kMimeMirror = "user.mime_type";

bool ProcFdAvailable()
{
	static const bool available = access("/proc/self/fd", F_OK) == 0;
	return available;
}

// Checks an attribute name; `forWriting` also refuses the reserved names.
status_t CheckName(const char* name, bool forWriting)
{
	if (name == nullptr || name[0] == '\0')
		return B_BAD_VALUE;
	size_t length = strlen(name);
	if (length >= size_t(B_ATTR_NAME_LENGTH) || kUserPrefix.size() + length > XATTR_NAME_MAX)
		return B_NAME_TOO_LONG;
	if (forWriting && (strncmp(name, kReservedTypePrefix.c_str(), kReservedTypePrefix.size()) == 0
			|| kMimeMirrorName == name))
		return B_BAD_VALUE;
	return B_OK;
}

std::string TypeCompanion(const char* name)
{
	return kTypePrefix + name;
}

std::string EncodeType(type_code type)
{
	std::string code(4, '\0');
	code[0] = char(type >> 24);
	code[1] = char(type >> 16);
	code[2] = char(type >> 8);
	code[3] = char(type);
	return code;
}

// The type of data without a recorded type: text (valid UTF-8 without
// control characters other than tab and line breaks, an optional final NUL)
// is a string, anything else raw data.
type_code GuessType(const std::string& data)
{
	size_t length = data.size();
	if (length > 0 && data[length - 1] == '\0')
		length--;
	size_t i = 0;
	while (i < length) {
		unsigned char c = data[i];
		if (c < 0x80) {
			if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
				return B_RAW_TYPE;
			if (c == 0x7f)
				return B_RAW_TYPE;
			i++;
			continue;
		}
		size_t extra = (c & 0xe0) == 0xc0 ? 1 : (c & 0xf0) == 0xe0 ? 2 : (c & 0xf8) == 0xf0 ? 3 : 0;
		if (extra == 0 || c == 0xc0 || c == 0xc1 || c > 0xf4 || i + extra >= length)
			return B_RAW_TYPE;
		for (size_t k = 1; k <= extra; k++) {
			if ((static_cast<unsigned char>(data[i + k]) & 0xc0) != 0x80)
				return B_RAW_TYPE;
		}
		i += extra + 1;
	}
	return B_STRING_TYPE;
}

}   // namespace

std::string attribute_name_for_xattr(const std::string& xattr, std::string* companionOf)
{
	if (companionOf != nullptr)
		companionOf->clear();
	if (xattr.compare(0, kUserPrefix.size(), kUserPrefix) != 0)
		return std::string();
	if (xattr.compare(0, kTypePrefix.size(), kTypePrefix) == 0) {
		if (companionOf != nullptr)
			*companionOf = xattr.substr(kTypePrefix.size());
		return std::string();
	}
	if (xattr == kMimeMirror)
		return kMimeTypeAttr;
	return xattr.substr(kUserPrefix.size());
}

// #pragma mark - BNode

BNode::BNode() = default;

BNode::BNode(const char* path)
{
	SetTo(path);
}

BNode::BNode(const entry_ref* ref)
{
	SetTo(ref);
}

BNode::BNode(const BEntry* entry)
{
	SetTo(entry);
}

BNode::BNode(const BDirectory* dir, const char* path)
{
	SetTo(dir, path);
}

BNode::BNode(const BNode& other)
{
	*this = other;
}

BNode& BNode::operator=(const BNode& other)
{
	if (this == &other)
		return *this;
	BNode::Unset();
	if (other.fStatus != B_OK) {
		fStatus = other.fStatus;
		return *this;
	}
	fFd = fcntl(other.fFd, F_DUPFD_CLOEXEC, 0);
	if (fFd < 0) {
		fStatus = StatusFromErrno();
		return *this;
	}
	fPath = other.fPath;
	fNode = other.fNode;
	fIsLink = other.fIsLink;
	fStatus = B_OK;
	return *this;
}

BNode::~BNode()
{
	BNode::Unset();
}

status_t BNode::SetTo(const char* path)
{
	Unset();
	if (path == nullptr || path[0] == '\0')
		return fStatus = B_BAD_VALUE;
	entry_ref ref;
	status_t status = get_ref_for_path(path, &ref);
	if (status != B_OK)
		return fStatus = status;
	return _SetToPath(ref.Path());
}

status_t BNode::SetTo(const entry_ref* ref)
{
	Unset();
	if (ref == nullptr || !ref->IsValid())
		return fStatus = B_BAD_VALUE;
	return _SetToPath(ref->Path());
}

status_t BNode::SetTo(const BEntry* entry)
{
	Unset();
	if (entry == nullptr)
		return fStatus = B_BAD_VALUE;
	entry_ref ref;
	status_t status = entry->GetRef(&ref);
	if (status != B_OK)
		return fStatus = status;
	return _SetToPath(ref.Path());
}

status_t BNode::SetTo(const BDirectory* dir, const char* path)
{
	Unset();
	BEntry entry(dir, path);
	if (entry.InitCheck() != B_OK)
		return fStatus = entry.InitCheck();
	return SetTo(&entry);
}

status_t BNode::_SetToPath(const std::string& path)
{
	int fd = open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
	if (fd < 0)
		return fStatus = StatusFromErrno();
	struct stat st;
	if (fstat(fd, &st) != 0) {
		status_t status = StatusFromErrno();
		close(fd);
		return fStatus = status;
	}
	fFd = fd;
	fPath = path;
	fNode = node_ref_for_stat(st);
	fIsLink = S_ISLNK(st.st_mode);
	remember_node_path(fNode, fPath);
	return fStatus = B_OK;
}

status_t BNode::_Fail(status_t status)
{
	BNode::Unset();
	return fStatus = status;
}

void BNode::Unset()
{
	if (fFd >= 0)
		close(fFd);
	fFd = -1;
	fPath.clear();
	fNode = node_ref();
	fIsLink = false;
	fStatus = B_NO_INIT;
	fAttrNames.clear();
	fAttrIndex = 0;
	fAttrsRead = false;
}

status_t BNode::GetStat(struct stat* st) const
{
	if (st == nullptr)
		return B_BAD_VALUE;
	if (fStatus != B_OK)
		return fStatus;
	if (fstat(fFd, st) != 0)
		return StatusFromErrno();
	return B_OK;
}

status_t BNode::GetNodeRef(node_ref* node) const
{
	if (node == nullptr)
		return B_BAD_VALUE;
	if (fStatus != B_OK)
		return fStatus;
	*node = fNode;
	return B_OK;
}

bool BNode::_UseProc() const
{
	return !fIsLink && ProcFdAvailable();
}

// Files and folders are reached through their descriptor (the magic link
// follows to the node itself); links, and systems without /proc, by path
// with the l* calls, which never follow.
std::string BNode::_XattrPath() const
{
	if (_UseProc())
		return "/proc/self/fd/" + std::to_string(fFd);
	return fPath;
}

status_t BNode::_Get(const std::string& xname, std::string* value) const
{
	std::string path = _XattrPath();
	bool proc = _UseProc();
	for (int attempt = 0; attempt < 8; attempt++) {
		ssize_t size = proc ? getxattr(path.c_str(), xname.c_str(), nullptr, 0)
			: lgetxattr(path.c_str(), xname.c_str(), nullptr, 0);
		if (size < 0)
			return errno == ENOTSUP && fIsLink ? B_ENTRY_NOT_FOUND : StatusFromErrno();
		value->resize(size_t(size));
		ssize_t got = proc ? getxattr(path.c_str(), xname.c_str(), value->data(), value->size())
			: lgetxattr(path.c_str(), xname.c_str(), value->data(), value->size());
		if (got >= 0) {
			value->resize(size_t(got));
			return B_OK;
		}
		if (errno != ERANGE)
			return StatusFromErrno();
		// It grew between the two calls: ask again.
	}
	return B_BUSY;
}

status_t BNode::_Set(const std::string& xname, const std::string& value)
{
	std::string path = _XattrPath();
	int result = _UseProc() ? setxattr(path.c_str(), xname.c_str(), value.data(), value.size(), 0)
		: lsetxattr(path.c_str(), xname.c_str(), value.data(), value.size(), 0);
	if (result == 0)
		return B_OK;
	if (errno == EPERM && fIsLink)
		return B_UNSUPPORTED;
	return StatusFromErrno();
}

status_t BNode::_Remove(const std::string& xname)
{
	std::string path = _XattrPath();
	int result = _UseProc() ? removexattr(path.c_str(), xname.c_str()) : lremovexattr(path.c_str(), xname.c_str());
	if (result == 0)
		return B_OK;
	if (fIsLink && (errno == EPERM || errno == ENOTSUP))
		return B_ENTRY_NOT_FOUND;
	return StatusFromErrno();
}

status_t BNode::_List(std::vector<std::string>* names) const
{
	names->clear();
	std::string path = _XattrPath();
	bool proc = _UseProc();
	std::string list;
	for (int attempt = 0;; attempt++) {
		ssize_t size = proc ? listxattr(path.c_str(), nullptr, 0) : llistxattr(path.c_str(), nullptr, 0);
		if (size < 0)
			return errno == ENOTSUP ? B_OK : StatusFromErrno();
		list.resize(size_t(size));
		ssize_t got = proc ? listxattr(path.c_str(), list.data(), list.size())
			: llistxattr(path.c_str(), list.data(), list.size());
		if (got >= 0) {
			list.resize(size_t(got));
			break;
		}
		if (errno != ERANGE || attempt >= 8)
			return StatusFromErrno();
	}
	bool hasType = false;
	bool hasMirror = false;
	size_t start = 0;
	while (start < list.size()) {
		size_t end = list.find('\0', start);
		if (end == std::string::npos)
			end = list.size();
		std::string xattr = list.substr(start, end - start);
		start = end + 1;
		if (xattr == kMimeMirror) {
			hasMirror = true;
			continue;
		}
		std::string name = attribute_name_for_xattr(xattr);
		if (name.empty())
			continue;
		if (name == kMimeTypeAttr)
			hasType = true;
		names->push_back(std::move(name));
	}
	if (hasMirror && !hasType)
		names->push_back(kMimeTypeAttr);
	return B_OK;
}

ssize_t BNode::ReadAttr(const char* name, type_code type, off_t offset, void* buffer, size_t length) const
{
	if (fStatus != B_OK)
		return fStatus;
	status_t status = CheckName(name, false);
	if (status != B_OK)
		return status;
	if (offset < 0 || (buffer == nullptr && length > 0))
		return B_BAD_VALUE;
	std::string data;
	status = _Get(kUserPrefix + name, &data);
	if (status == B_ENTRY_NOT_FOUND && kMimeTypeAttr == name && _Get(kMimeMirror, &data) == B_OK) {
		if (data.empty() || data.back() != '\0')
			data.push_back('\0');
		status = B_OK;
	}
	if (status != B_OK)
		return status;
	if (uint64(offset) >= data.size())
		return 0;
	size_t count = std::min(length, data.size() - size_t(offset));
	if (count > 0)
		memcpy(buffer, data.data() + offset, count);
	return ssize_t(count);
}

ssize_t BNode::WriteAttr(const char* name, type_code type, off_t offset, const void* buffer, size_t length)
{
	if (fStatus != B_OK)
		return fStatus;
	status_t status = CheckName(name, true);
	if (status != B_OK)
		return status;
	if (offset < 0 || (buffer == nullptr && length > 0) || length > size_t(SSIZE_MAX)
		|| uint64(offset) > uint64(XATTR_SIZE_MAX))
		return B_BAD_VALUE;

	std::string xname = kUserPrefix + name;
	std::string previous;
	bool existed = _Get(xname, &previous) == B_OK;

	std::string data;
	if (offset == 0) {
		data.assign(static_cast<const char*>(buffer), length);
	} else {
		data = existed ? previous : std::string();
		size_t end = size_t(offset) + length;
		if (data.size() < end)
			data.resize(end, '\0');
		if (length > 0)
			memcpy(data.data() + offset, buffer, length);
	}
	if (data.size() > size_t(XATTR_SIZE_MAX))
		return B_BAD_VALUE;

	status = _Set(xname, data);
	if (status != B_OK)
		return status;

	// The type beside the data; rewritten only when it changes, so that a
	// plain data update is one change of the node.
	std::string companion = TypeCompanion(name);
	std::string code = EncodeType(type);
	std::string oldCode;
	if (_Get(companion, &oldCode) != B_OK || oldCode != code) {
		status = _Set(companion, code);
		if (status != B_OK) {
			// Leave the attribute as it was.
			if (existed)
				_Set(xname, previous);
			else
				_Remove(xname);
			return status;
		}
	}

	if (kMimeTypeAttr == name) {
		// The mirror holds the text without its NUL; it is a courtesy for
		// other programs, so failing to write it is not an error.
		std::string text = data.substr(0, data.find('\0'));
		std::string oldText;
		if (_Get(kMimeMirror, &oldText) != B_OK || oldText != text)
			_Set(kMimeMirror, text);
	}
	return ssize_t(length);
}

status_t BNode::RemoveAttr(const char* name)
{
	if (fStatus != B_OK)
		return fStatus;
	status_t status = CheckName(name, true);
	if (status != B_OK)
		return status;
	status = _Remove(kUserPrefix + name);
	if (status == B_OK || status == B_ENTRY_NOT_FOUND)
		_Remove(TypeCompanion(name));
	if (kMimeTypeAttr == name) {
		status_t mirror = _Remove(kMimeMirror);
		if (status == B_ENTRY_NOT_FOUND && mirror == B_OK)
			status = B_OK;
	}
	return status;
}

status_t BNode::GetAttrInfo(const char* name, attr_info* info) const
{
	if (info == nullptr)
		return B_BAD_VALUE;
	if (fStatus != B_OK)
		return fStatus;
	status_t status = CheckName(name, false);
	if (status != B_OK)
		return status;
	std::string data;
	status = _Get(kUserPrefix + name, &data);
	if (status == B_ENTRY_NOT_FOUND && kMimeTypeAttr == name && _Get(kMimeMirror, &data) == B_OK) {
		info->type = B_MIME_TYPE;
		info->size = off_t(data.size()) + (data.empty() || data.back() != '\0' ? 1 : 0);
		return B_OK;
	}
	if (status != B_OK)
		return status;
	std::string code;
	if (_Get(TypeCompanion(name), &code) == B_OK && code.size() == 4) {
		info->type = FourCC(code[0], code[1], code[2], code[3]);
	} else {
		info->type = GuessType(data);
	}
	info->size = off_t(data.size());
	return B_OK;
}

status_t BNode::GetNextAttrName(char* buffer)
{
	if (buffer == nullptr)
		return B_BAD_VALUE;
	if (fStatus != B_OK)
		return fStatus;
	if (!fAttrsRead) {
		status_t status = _List(&fAttrNames);
		if (status != B_OK)
			return status;
		fAttrsRead = true;
		fAttrIndex = 0;
	}
	if (fAttrIndex >= fAttrNames.size())
		return B_ENTRY_NOT_FOUND;
	const std::string& name = fAttrNames[fAttrIndex++];
	size_t length = std::min(name.size(), size_t(B_ATTR_NAME_LENGTH - 1));
	memcpy(buffer, name.data(), length);
	buffer[length] = '\0';
	return B_OK;
}

status_t BNode::RewindAttrs()
{
	if (fStatus != B_OK)
		return fStatus;
	fAttrNames.clear();
	fAttrIndex = 0;
	fAttrsRead = false;
	return B_OK;
}

status_t BNode::GetAttrNames(std::vector<std::string>* names) const
{
	if (names == nullptr)
		return B_BAD_VALUE;
	if (fStatus != B_OK)
		return fStatus;
	return _List(names);
}

status_t BNode::ReadAttrString(const char* name, std::string* value) const
{
	if (value == nullptr)
		return B_BAD_VALUE;
	attr_info info;
	status_t status = GetAttrInfo(name, &info);
	if (status != B_OK)
		return status;
	std::string data(size_t(info.size), '\0');
	ssize_t got = ReadAttr(name, B_STRING_TYPE, 0, data.data(), data.size());
	if (got < 0)
		return status_t(got);
	data.resize(size_t(got));
	*value = data.substr(0, data.find('\0'));
	return B_OK;
}

status_t BNode::WriteAttrString(const char* name, const std::string& value)
{
	ssize_t written = WriteAttr(name, B_STRING_TYPE, 0, value.c_str(), value.size() + 1);
	if (written < 0)
		return status_t(written);
	return written == ssize_t(value.size() + 1) ? B_OK : B_ERROR;
}

bool BNode::operator==(const BNode& other) const
{
	if (fStatus != B_OK || other.fStatus != B_OK)
		return fStatus == other.fStatus;
	return fNode == other.fNode;
}
