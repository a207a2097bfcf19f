// BEntry and the table of node paths this process knows.
#include "kit/storage/Entry.h"

#include "kit/storage/Directory.h"
#include "kit/storage/NodeMonitor.h"
#include "kit/storage/Path.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace {

constexpr int kMaxLinkDepth = 16;

// Recently met nodes and their paths. Bounded: when it grows past kCapacity
// the older half is dropped.
class NodePathTable {
public:
	void Remember(const node_ref& node, const std::string& path)
	{
		std::lock_guard<std::mutex> lock(fLock);
		Entry& entry = fEntries[Key(node)];
		entry.path = path;
		entry.stamp = ++fClock;
		if (fEntries.size() > kCapacity)
			_DropOldest();
	}

	bool Find(const node_ref& node, std::string* path)
	{
		std::lock_guard<std::mutex> lock(fLock);
		auto found = fEntries.find(Key(node));
		if (found == fEntries.end())
			return false;
		*path = found->second.path;
		return true;
	}

	void Forget(const node_ref& node)
	{
		std::lock_guard<std::mutex> lock(fLock);
		fEntries.erase(Key(node));
	}

private:
	static constexpr size_t kCapacity = 4096;

	struct Entry {
		std::string path;
		uint64 stamp = 0;
	};
	struct KeyType {
		uint32 device;
		int64 node;
		bool operator==(const KeyType& other) const = default;
	};
	struct KeyHash {
		size_t operator()(const KeyType& key) const
		{
			return std::hash<int64>()(key.node) * 31 + key.device;
		}
	};

	static KeyType Key(const node_ref& node) { return KeyType{uint32(node.device), node.node}; }

	void _DropOldest()
	{
		std::vector<uint64> stamps;
		stamps.reserve(fEntries.size());
		for (const auto& entry : fEntries)
			stamps.push_back(entry.second.stamp);
		std::nth_element(stamps.begin(), stamps.begin() + stamps.size() / 2, stamps.end());
		uint64 limit = stamps[stamps.size() / 2];
		for (auto it = fEntries.begin(); it != fEntries.end();) {
			if (it->second.stamp < limit)
				it = fEntries.erase(it);
			else
				++it;
		}
	}

	std::mutex fLock;
	std::unordered_map<KeyType, Entry, KeyHash> fEntries;
	uint64 fClock = 0;
};

NodePathTable& PathTable()
{
	static NodePathTable table;
	return table;
}

bool PathHoldsNode(const std::string& path, const node_ref& node)
{
	struct stat st;
	if (lstat(path.c_str(), &st) != 0)
		return false;
	return same_device(int64(st.st_dev), node.device) && int64(st.st_ino) == node.node;
}

}   // namespace

node_ref node_ref_for_stat(const struct stat& st)
{
	node_ref node;
	node.device = int64(st.st_dev);
	node.node = int64(st.st_ino);
	return node;
}

bool same_device(int64 a, int64 b)
{
	return uint32(a) == uint32(b);
}

void remember_node_path(const node_ref& node, const std::string& path)
{
	if (node.node < 0 || path.empty())
		return;
	PathTable().Remember(node, path);
}

status_t get_path_for_node(const node_ref& node, std::string* path)
{
	if (path == nullptr)
		return B_BAD_VALUE;
	std::string candidate;
	if (watched_node_path(node, &candidate) && PathHoldsNode(candidate, node)) {
		*path = std::move(candidate);
		return B_OK;
	}
	if (PathTable().Find(node, &candidate)) {
		if (PathHoldsNode(candidate, node)) {
			*path = std::move(candidate);
			return B_OK;
		}
		PathTable().Forget(node);
	}
	return B_ENTRY_NOT_FOUND;
}

status_t get_ref_for_entry(int64 device, int64 directory, const char* name, entry_ref* ref)
{
	if (name == nullptr || name[0] == '\0' || strchr(name, '/') != nullptr || ref == nullptr)
		return B_BAD_VALUE;
	node_ref folder;
	folder.device = device;
	folder.node = directory;
	std::string folderPath;
	status_t status = get_path_for_node(folder, &folderPath);
	if (status != B_OK)
		return status;
	struct stat st;
	if (stat(folderPath.c_str(), &st) != 0)
		return StatusFromErrno();
	*ref = entry_ref(int64(st.st_dev), int64(st.st_ino), name, folderPath);
	return B_OK;
}

// #pragma mark - BEntry

BEntry::BEntry() = default;

BEntry::BEntry(const char* path, bool traverse)
{
	SetTo(path, traverse);
}

BEntry::BEntry(const entry_ref* ref, bool traverse)
{
	SetTo(ref, traverse);
}

BEntry::BEntry(const BDirectory* dir, const char* path, bool traverse)
{
	SetTo(dir, path, traverse);
}

BEntry::~BEntry() = default;

status_t BEntry::SetTo(const char* path, bool traverse)
{
	Unset();
	if (path == nullptr || path[0] == '\0')
		return fStatus = B_BAD_VALUE;
	return fStatus = _SetToPath(path, traverse);
}

status_t BEntry::SetTo(const entry_ref* ref, bool traverse)
{
	Unset();
	if (ref == nullptr || !ref->IsValid())
		return fStatus = B_BAD_VALUE;
	if (!traverse) {
		fRef = *ref;
		remember_node_path(node_ref{ref->device, ref->directory}, ref->dirPath);
		return fStatus = B_OK;
	}
	return fStatus = _SetToPath(ref->Path(), true);
}

status_t BEntry::SetTo(const BDirectory* dir, const char* path, bool traverse)
{
	Unset();
	if (path == nullptr || path[0] == '\0')
		return fStatus = B_BAD_VALUE;
	if (path[0] == '/')
		return SetTo(path, traverse);
	if (dir == nullptr || dir->InitCheck() != B_OK)
		return fStatus = B_BAD_VALUE;
	std::string full = dir->Path();
	if (full.back() != '/')
		full.push_back('/');
	full.append(path);
	return fStatus = _SetToPath(std::move(full), traverse);
}

status_t BEntry::_SetToPath(std::string path, bool traverse)
{
	entry_ref ref;
	status_t status = get_ref_for_path(path.c_str(), &ref);
	if (status != B_OK)
		return status;
	for (int depth = 0; traverse; depth++) {
		std::string full = ref.Path();
		struct stat st;
		if (lstat(full.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
			break;
		if (depth >= kMaxLinkDepth)
			return B_LINK_LIMIT;
		char target[PATH_MAX];
		ssize_t length = readlink(full.c_str(), target, sizeof(target) - 1);
		if (length < 0)
			return StatusFromErrno();
		if (length == 0)
			return B_ENTRY_NOT_FOUND;
		target[length] = '\0';
		std::string next = target;
		if (next[0] != '/')
			next = (ref.dirPath == "/" ? std::string("/") : ref.dirPath + "/") + next;
		status = get_ref_for_path(next.c_str(), &ref);
		if (status != B_OK)
			return status;
	}
	fRef = std::move(ref);
	remember_node_path(node_ref{fRef.device, fRef.directory}, fRef.dirPath);
	return B_OK;
}

void BEntry::Unset()
{
	fRef = entry_ref();
	fStatus = B_NO_INIT;
}

bool BEntry::Exists() const
{
	struct stat st;
	return GetStat(&st) == B_OK;
}

bool BEntry::IsFile() const
{
	struct stat st;
	return GetStat(&st) == B_OK && S_ISREG(st.st_mode);
}

bool BEntry::IsDirectory() const
{
	struct stat st;
	return GetStat(&st) == B_OK && S_ISDIR(st.st_mode);
}

bool BEntry::IsSymLink() const
{
	struct stat st;
	return GetStat(&st) == B_OK && S_ISLNK(st.st_mode);
}

status_t BEntry::GetRef(entry_ref* ref) const
{
	if (ref == nullptr)
		return B_BAD_VALUE;
	if (fStatus != B_OK)
		return fStatus;
	*ref = fRef;
	return B_OK;
}

status_t BEntry::GetPath(BPath* path) const
{
	if (path == nullptr)
		return B_BAD_VALUE;
	if (fStatus != B_OK)
		return fStatus;
	return path->SetTo(&fRef);
}

std::string BEntry::Path() const
{
	return fStatus == B_OK ? fRef.Path() : std::string();
}

status_t BEntry::GetStat(struct stat* st) const
{
	if (st == nullptr)
		return B_BAD_VALUE;
	if (fStatus != B_OK)
		return fStatus;
	if (lstat(fRef.Path().c_str(), st) != 0)
		return StatusFromErrno();
	return B_OK;
}

status_t BEntry::GetNodeRef(node_ref* node) const
{
	if (node == nullptr)
		return B_BAD_VALUE;
	struct stat st;
	status_t status = GetStat(&st);
	if (status != B_OK)
		return status;
	*node = node_ref_for_stat(st);
	remember_node_path(*node, fRef.Path());
	return B_OK;
}

status_t BEntry::GetName(char* buffer) const
{
	if (buffer == nullptr)
		return B_BAD_VALUE;
	if (fStatus != B_OK)
		return fStatus;
	std::string name = fRef.name == "." ? std::string("/") : fRef.name;
	if (name.size() >= size_t(B_FILE_NAME_LENGTH))
		return B_NAME_TOO_LONG;
	memcpy(buffer, name.c_str(), name.size() + 1);
	return B_OK;
}

status_t BEntry::GetName(std::string* name) const
{
	if (name == nullptr)
		return B_BAD_VALUE;
	if (fStatus != B_OK)
		return fStatus;
	*name = fRef.name == "." ? std::string("/") : fRef.name;
	return B_OK;
}

status_t BEntry::GetParent(BEntry* parent) const
{
	if (parent == nullptr)
		return B_BAD_VALUE;
	if (fStatus != B_OK)
		return fStatus;
	if (fRef.name == ".") {
		parent->Unset();
		return B_ENTRY_NOT_FOUND;
	}
	return parent->SetTo(fRef.dirPath.c_str());
}

status_t BEntry::GetParent(BDirectory* parent) const
{
	if (parent == nullptr)
		return B_BAD_VALUE;
	if (fStatus != B_OK)
		return fStatus;
	if (fRef.name == ".") {
		parent->Unset();
		return B_ENTRY_NOT_FOUND;
	}
	return parent->SetTo(fRef.dirPath.c_str());
}

status_t BEntry::Rename(const char* path, bool clobber)
{
	if (path == nullptr || path[0] == '\0')
		return B_BAD_VALUE;
	if (fStatus != B_OK)
		return fStatus;
	std::string target = path;
	if (target[0] != '/')
		target = (fRef.dirPath == "/" ? std::string("/") : fRef.dirPath + "/") + target;
	return _Move(target, clobber);
}

status_t BEntry::MoveTo(const BDirectory* dir, const char* path, bool clobber)
{
	if (fStatus != B_OK)
		return fStatus;
	if (dir == nullptr || dir->InitCheck() != B_OK)
		return B_BAD_VALUE;
	std::string target = dir->Path();
	if (target.back() != '/')
		target.push_back('/');
	if (path != nullptr && path[0] == '/')
		return B_BAD_VALUE;
	target.append(path != nullptr && path[0] != '\0' ? path : fRef.name.c_str());
	return _Move(target, clobber);
}

status_t BEntry::_Move(const std::string& target, bool clobber)
{
	std::string source = fRef.Path();
	entry_ref targetRef;
	status_t status = get_ref_for_path(target.c_str(), &targetRef);
	if (status != B_OK)
		return status;
	std::string targetPath = targetRef.Path();
	if (clobber) {
		if (rename(source.c_str(), targetPath.c_str()) != 0)
			return StatusFromErrno();
	} else if (renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, targetPath.c_str(), RENAME_NOREPLACE) != 0) {
		if (errno != EINVAL && errno != ENOSYS)
			return StatusFromErrno();
		// The file system cannot refuse atomically: test, then rename.
		struct stat st;
		if (lstat(targetPath.c_str(), &st) == 0)
			return B_FILE_EXISTS;
		if (rename(source.c_str(), targetPath.c_str()) != 0)
			return StatusFromErrno();
	}
	fRef = std::move(targetRef);
	return B_OK;
}

status_t BEntry::Remove()
{
	if (fStatus != B_OK)
		return fStatus;
	std::string path = fRef.Path();
	struct stat st;
	if (lstat(path.c_str(), &st) != 0)
		return StatusFromErrno();
	int result = S_ISDIR(st.st_mode) ? rmdir(path.c_str()) : unlink(path.c_str());
	if (result != 0)
		return StatusFromErrno();
	return B_OK;
}

bool BEntry::operator==(const BEntry& other) const
{
	if (fStatus != B_OK || other.fStatus != B_OK)
		return fStatus == other.fStatus;
	return fRef == other.fRef;
}
