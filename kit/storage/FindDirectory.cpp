// Standard folders, from the XDG variables with the usual fall-backs.
#include "kit/storage/FindDirectory.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace {

// Creates `path` and its missing parents with mode 0700.
status_t MakeFolders(const std::string& path)
{
	struct stat st;
	if (stat(path.c_str(), &st) == 0)
		return S_ISDIR(st.st_mode) ? B_OK : B_NOT_A_DIRECTORY;
	for (size_t slash = path.find('/', 1); ; slash = path.find('/', slash + 1)) {
		std::string part = path.substr(0, slash);
		if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
			return StatusFromErrno();
		if (slash == std::string::npos)
			break;
	}
	return B_OK;
}

std::string FromEnvironment(const char* variable, const char* homeSuffix)
{
	const char* value = getenv(variable);
	if (value != nullptr && value[0] == '/')
		return value;
	const char* home = getenv("HOME");
	if (home == nullptr || home[0] != '/')
		return std::string();
	return std::string(home) + homeSuffix;
}

}   // namespace

status_t find_directory(directory_which which, std::string* path, bool createIt)
{
	if (path == nullptr)
		return B_BAD_VALUE;
	std::string result;
	switch (which) {
		case B_USER_SETTINGS_DIRECTORY:
			result = FromEnvironment("XDG_CONFIG_HOME", "/.config");
			break;
		case B_USER_DATA_DIRECTORY:
			result = FromEnvironment("XDG_DATA_HOME", "/.local/share");
			break;
		case B_USER_DIRECTORY:
			result = FromEnvironment("HOME", "");
			break;
		case B_SYSTEM_TEMP_DIRECTORY: {
			const char* tmp = getenv("TMPDIR");
			result = (tmp != nullptr && tmp[0] == '/') ? tmp : "/tmp";
			break;
		}
		default:
			return B_BAD_VALUE;
	}
	if (result.empty())
		return B_ENTRY_NOT_FOUND;
	while (result.size() > 1 && result.back() == '/')
		result.pop_back();
	if (createIt) {
		status_t status = MakeFolders(result);
		if (status != B_OK)
			return status;
	}
	*path = result;
	return B_OK;
}

status_t find_directory(directory_which which, int32 device, bool createIt, char* pathString, int32 length)
{
	if (pathString == nullptr || length <= 0)
		return B_BAD_VALUE;
	std::string path;
	status_t status = find_directory(which, &path, createIt);
	if (status != B_OK)
		return status;
	if (path.size() + 1 > size_t(length))
		return B_NAME_TOO_LONG;
	memcpy(pathString, path.c_str(), path.size() + 1);
	return B_OK;
}
