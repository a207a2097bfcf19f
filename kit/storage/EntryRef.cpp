// entry_ref paths and references made from paths.
#include "kit/storage/EntryRef.h"

#include <climits>
#include <cstdlib>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

std::string entry_ref::Path() const
{
	if (!IsValid())
		return std::string();
	if (name == ".")
		return dirPath;
	if (dirPath.back() == '/')
		return dirPath + name;
	return dirPath + "/" + name;
}

namespace {

// The canonical absolute form of an existing path, symbolic links resolved.
status_t CanonicalPath(const std::string& path, std::string* canonical)
{
	std::unique_ptr<char, decltype(&free)> resolved(realpath(path.c_str(), nullptr), &free);
	if (!resolved)
		return StatusFromErrno();
	*canonical = resolved.get();
	return B_OK;
}

}   // namespace

status_t get_ref_for_path(const char* path, entry_ref* ref)
{
	if (path == nullptr || path[0] == '\0' || ref == nullptr)
		return B_BAD_VALUE;

	std::string full = path;
	if (full[0] != '/') {
		std::unique_ptr<char, decltype(&free)> cwd(getcwd(nullptr, 0), &free);
		if (!cwd)
			return StatusFromErrno();
		full = std::string(cwd.get()) + "/" + full;
	}
	while (full.size() > 1 && full.back() == '/')
		full.pop_back();

	size_t slash = full.rfind('/');
	std::string leaf = full.substr(slash + 1);
	std::string directory = slash == 0 ? std::string("/") : full.substr(0, slash);
	if (leaf.empty() || leaf == "." || leaf == "..") {
		// The entry is a folder named through "." or "..": use its real path.
		std::string canonical;
		status_t status = CanonicalPath(full, &canonical);
		if (status != B_OK)
			return status;
		if (canonical == "/") {
			directory = "/";
			leaf = ".";
		} else {
			slash = canonical.rfind('/');
			leaf = canonical.substr(slash + 1);
			directory = slash == 0 ? std::string("/") : canonical.substr(0, slash);
		}
	}
	if (leaf.size() > NAME_MAX)
		return B_NAME_TOO_LONG;

	std::string canonicalDirectory;
	status_t status = CanonicalPath(directory, &canonicalDirectory);
	if (status != B_OK)
		return status;
	struct stat st;
	if (stat(canonicalDirectory.c_str(), &st) != 0)
		return StatusFromErrno();
	if (!S_ISDIR(st.st_mode))
		return B_NOT_A_DIRECTORY;

	ref->device = int64(st.st_dev);
	ref->directory = int64(st.st_ino);
	ref->name = std::move(leaf);
	ref->dirPath = std::move(canonicalDirectory);
	return B_OK;
}
