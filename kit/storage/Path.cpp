// BPath: absolute path names, normalised on request or when needed.
#include "kit/storage/Path.h"

#include "kit/storage/Entry.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <unistd.h>

namespace {

// True when `path` (absolute) has ".", ".." or empty components or a
// trailing slash, which only normalising can resolve.
bool NeedsNormalizing(const std::string& path)
{
	if (path.empty() || path[0] != '/')
		return true;
	if (path.size() > 1 && path.back() == '/')
		return true;
	size_t start = 1;
	while (start <= path.size()) {
		size_t end = path.find('/', start);
		if (end == std::string::npos)
			end = path.size();
		std::string_view component(path.data() + start, end - start);
		if (path.size() > 1 && (component.empty() || component == "." || component == ".."))
			return true;
		start = end + 1;
	}
	return false;
}

status_t Absolute(const char* path, std::string* out)
{
	if (path[0] == '/') {
		*out = path;
		return B_OK;
	}
	std::unique_ptr<char, decltype(&free)> cwd(getcwd(nullptr, 0), &free);
	if (!cwd)
		return StatusFromErrno();
	*out = cwd.get();
	if (out->back() != '/')
		out->push_back('/');
	out->append(path);
	return B_OK;
}

}   // namespace

BPath::BPath() = default;

BPath::BPath(const char* dir, const char* leaf, bool normalize)
{
	SetTo(dir, leaf, normalize);
}

BPath::BPath(const entry_ref* ref)
{
	SetTo(ref);
}

BPath::BPath(const BEntry* entry)
{
	SetTo(entry);
}

status_t BPath::SetTo(const char* dir, const char* leaf, bool normalize)
{
	Unset();
	if (dir == nullptr || dir[0] == '\0' || (leaf != nullptr && leaf[0] == '/'))
		return fStatus = B_BAD_VALUE;
	std::string path;
	status_t status = Absolute(dir, &path);
	if (status != B_OK)
		return fStatus = status;
	if (leaf != nullptr && leaf[0] != '\0') {
		if (path.back() != '/')
			path.push_back('/');
		path.append(leaf);
	}
	if (path.size() >= PATH_MAX)
		return fStatus = B_NAME_TOO_LONG;
	if (normalize || NeedsNormalizing(path)) {
		entry_ref ref;
		status = get_ref_for_path(path.c_str(), &ref);
		if (status != B_OK)
			return fStatus = status;
		path = ref.Path();
	}
	fPath = std::move(path);
	return fStatus = B_OK;
}

status_t BPath::SetTo(const entry_ref* ref)
{
	Unset();
	if (ref == nullptr || !ref->IsValid())
		return fStatus = B_BAD_VALUE;
	fPath = ref->Path();
	return fStatus = B_OK;
}

status_t BPath::SetTo(const BEntry* entry)
{
	Unset();
	if (entry == nullptr)
		return fStatus = B_BAD_VALUE;
	entry_ref ref;
	status_t status = entry->GetRef(&ref);
	if (status != B_OK)
		return fStatus = status;
	return SetTo(&ref);
}

void BPath::Unset()
{
	fPath.clear();
	fStatus = B_NO_INIT;
}

status_t BPath::Append(const char* path, bool normalize)
{
	if (fStatus != B_OK)
		return fStatus;
	if (path == nullptr || path[0] == '/')
		return B_BAD_VALUE;
	std::string base = fPath;
	return SetTo(base.c_str(), path, normalize);
}

const char* BPath::Path() const
{
	return fStatus == B_OK ? fPath.c_str() : nullptr;
}

const char* BPath::Leaf() const
{
	if (fStatus != B_OK)
		return nullptr;
	return fPath.c_str() + fPath.rfind('/') + 1;
}

status_t BPath::GetParent(BPath* parent) const
{
	if (parent == nullptr)
		return B_BAD_VALUE;
	if (fStatus != B_OK)
		return fStatus;
	if (fPath == "/")
		return B_ENTRY_NOT_FOUND;
	size_t slash = fPath.rfind('/');
	parent->fPath = slash == 0 ? std::string("/") : fPath.substr(0, slash);
	parent->fStatus = B_OK;
	return B_OK;
}

bool BPath::operator==(const BPath& other) const
{
	return fStatus == other.fStatus && fPath == other.fPath;
}

bool BPath::operator==(const char* path) const
{
	if (fStatus != B_OK)
		return path == nullptr;
	return path != nullptr && fPath == path;
}
