// BDirectory and create_directory.
#include "kit/storage/Directory.h"

#include "kit/storage/Entry.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

BDirectory::BDirectory() = default;

BDirectory::BDirectory(const char* path)
{
	SetTo(path);
}

BDirectory::BDirectory(const entry_ref* ref)
{
	SetTo(ref);
}

BDirectory::BDirectory(const node_ref* node)
{
	SetTo(node);
}

BDirectory::BDirectory(const BEntry* entry)
{
	SetTo(entry);
}

BDirectory::BDirectory(const BDirectory* dir, const char* path)
{
	SetTo(dir, path);
}

BDirectory::BDirectory(const BDirectory& other)
	: BNode(other)
{
}

BDirectory& BDirectory::operator=(const BDirectory& other)
{
	if (this != &other) {
		Unset();
		BNode::operator=(other);
	}
	return *this;
}

BDirectory::~BDirectory()
{
	Unset();
}

status_t BDirectory::SetTo(const char* path)
{
	Unset();
	if (path == nullptr || path[0] == '\0')
		return BNode::SetTo(path);
	BEntry entry(path, true);
	return SetTo(&entry);
}

status_t BDirectory::SetTo(const entry_ref* ref)
{
	Unset();
	BEntry entry(ref, true);
	return SetTo(&entry);
}

status_t BDirectory::SetTo(const node_ref* node)
{
	Unset();
	if (node == nullptr)
		return _Fail(B_BAD_VALUE);
	std::string path;
	status_t status = get_path_for_node(*node, &path);
	if (status != B_OK)
		return _Fail(status);
	return SetTo(path.c_str());
}

status_t BDirectory::SetTo(const BEntry* entry)
{
	Unset();
	if (entry == nullptr)
		return _Fail(B_BAD_VALUE);
	status_t status = entry->InitCheck();
	if (status != B_OK)
		return _Fail(status);
	// Follow a link to its folder.
	BEntry target(entry->Path().c_str(), true);
	status = target.InitCheck();
	if (status == B_OK) {
		struct stat st;
		status = target.GetStat(&st);
		if (status == B_OK && !S_ISDIR(st.st_mode))
			status = B_NOT_A_DIRECTORY;
	}
	if (status != B_OK)
		return _Fail(status);
	return BNode::SetTo(&target);
}

status_t BDirectory::SetTo(const BDirectory* dir, const char* path)
{
	Unset();
	BEntry entry(dir, path, true);
	return SetTo(&entry);
}

void BDirectory::Unset()
{
	if (fDir != nullptr)
		closedir(fDir);
	fDir = nullptr;
	BNode::Unset();
}

status_t BDirectory::GetEntry(BEntry* entry) const
{
	if (entry == nullptr)
		return B_BAD_VALUE;
	if (InitCheck() != B_OK)
		return InitCheck();
	return entry->SetTo(Path().c_str());
}

bool BDirectory::IsRootDirectory() const
{
	return InitCheck() == B_OK && Path() == "/";
}

status_t BDirectory::_Resolve(const char* path, std::string* full) const
{
	if (InitCheck() != B_OK)
		return InitCheck();
	if (path == nullptr || path[0] == '\0')
		return B_BAD_VALUE;
	if (path[0] == '/') {
		*full = path;
		return B_OK;
	}
	*full = Path();
	if (full->back() != '/')
		full->push_back('/');
	full->append(path);
	return B_OK;
}

status_t BDirectory::FindEntry(const char* path, BEntry* entry, bool traverse) const
{
	if (entry == nullptr)
		return B_BAD_VALUE;
	std::string full;
	status_t status = _Resolve(path, &full);
	if (status == B_OK)
		status = entry->SetTo(full.c_str(), traverse);
	if (status == B_OK && !entry->Exists())
		status = B_ENTRY_NOT_FOUND;
	if (status != B_OK)
		entry->Unset();
	return status;
}

bool BDirectory::Contains(const char* path) const
{
	std::string full;
	if (_Resolve(path, &full) != B_OK)
		return false;
	BEntry entry(full.c_str());
	if (entry.InitCheck() != B_OK || !entry.Exists())
		return false;
	if (path[0] != '/')
		return true;
	return Contains(&entry);
}

bool BDirectory::Contains(const BEntry* entry) const
{
	if (entry == nullptr || entry->InitCheck() != B_OK || InitCheck() != B_OK || !entry->Exists())
		return false;
	std::string inner = entry->Path();
	std::string outer = Path();
	if (outer.back() != '/')
		outer.push_back('/');
	return inner.compare(0, outer.size(), outer) == 0 && inner.size() > outer.size();
}

status_t BDirectory::_OpenDir()
{
	if (fDir != nullptr)
		return B_OK;
	if (InitCheck() != B_OK)
		return InitCheck();
	node_ref node;
	GetNodeRef(&node);
	// Opened by path and checked to be the held node.
	int fd = open(Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
	if (fd < 0)
		return StatusFromErrno();
	struct stat st;
	if (fstat(fd, &st) != 0 || node_ref_for_stat(st) != node) {
		close(fd);
		return B_ENTRY_NOT_FOUND;
	}
	fDir = fdopendir(fd);
	if (fDir == nullptr) {
		status_t status = StatusFromErrno();
		close(fd);
		return status;
	}
	return B_OK;
}

status_t BDirectory::GetNextRef(entry_ref* ref)
{
	if (ref == nullptr)
		return B_BAD_VALUE;
	status_t status = _OpenDir();
	if (status != B_OK)
		return status;
	node_ref node;
	GetNodeRef(&node);
	for (;;) {
		errno = 0;
		struct dirent* dirent = readdir(fDir);
		if (dirent == nullptr)
			return errno != 0 ? StatusFromErrno() : B_ENTRY_NOT_FOUND;
		if (strcmp(dirent->d_name, ".") == 0 || strcmp(dirent->d_name, "..") == 0)
			continue;
		*ref = entry_ref(node.device, node.node, dirent->d_name, Path());
		return B_OK;
	}
}

status_t BDirectory::GetNextEntry(BEntry* entry, bool traverse)
{
	if (entry == nullptr)
		return B_BAD_VALUE;
	entry_ref ref;
	status_t status = GetNextRef(&ref);
	if (status != B_OK) {
		entry->Unset();
		return status;
	}
	return entry->SetTo(&ref, traverse);
}

status_t BDirectory::Rewind()
{
	if (InitCheck() != B_OK)
		return InitCheck();
	if (fDir != nullptr)
		rewinddir(fDir);
	return B_OK;
}

int32 BDirectory::CountEntries()
{
	if (Rewind() != B_OK)
		return InitCheck();
	int32 count = 0;
	entry_ref ref;
	while (GetNextRef(&ref) == B_OK)
		count++;
	Rewind();
	return count;
}

status_t BDirectory::CreateFile(const char* path, BEntry* entry, bool failIfExists)
{
	std::string full;
	status_t status = _Resolve(path, &full);
	if (status != B_OK)
		return status;
	int fd = open(full.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (failIfExists ? O_EXCL : 0), 0666);
	if (fd < 0)
		return StatusFromErrno();
	close(fd);
	if (entry != nullptr)
		return entry->SetTo(full.c_str());
	return B_OK;
}

status_t BDirectory::CreateDirectory(const char* path, BDirectory* dir)
{
	std::string full;
	status_t status = _Resolve(path, &full);
	if (status != B_OK)
		return status;
	if (mkdir(full.c_str(), 0777) != 0)
		return StatusFromErrno();
	if (dir != nullptr)
		return dir->SetTo(full.c_str());
	return B_OK;
}

status_t BDirectory::CreateSymLink(const char* path, const char* linkToPath, BEntry* link)
{
	if (linkToPath == nullptr || linkToPath[0] == '\0')
		return B_BAD_VALUE;
	std::string full;
	status_t status = _Resolve(path, &full);
	if (status != B_OK)
		return status;
	if (symlink(linkToPath, full.c_str()) != 0)
		return StatusFromErrno();
	if (link != nullptr)
		return link->SetTo(full.c_str());
	return B_OK;
}

status_t create_directory(const char* path, mode_t mode)
{
	if (path == nullptr || path[0] == '\0')
		return B_BAD_VALUE;
	std::string full = path;
	while (full.size() > 1 && full.back() == '/')
		full.pop_back();
	struct stat st;
	if (stat(full.c_str(), &st) == 0)
		return S_ISDIR(st.st_mode) ? B_OK : B_NOT_A_DIRECTORY;
	if (errno != ENOENT)
		return StatusFromErrno();
	size_t slash = full.rfind('/');
	if (slash != std::string::npos && slash > 0) {
		status_t status = create_directory(full.substr(0, slash).c_str(), mode);
		if (status != B_OK)
			return status;
	}
	if (mkdir(full.c_str(), mode) != 0) {
		// Someone else may have made it meanwhile.
		if (errno == EEXIST && stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
			return B_OK;
		return StatusFromErrno();
	}
	return B_OK;
}
