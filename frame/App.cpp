#include "frame/App.h"

#include "frame/Diagnostics.h"
#include "frame/Preference.h"
#include "kit/storage/Directory.h"
#include "kit/storage/Entry.h"
#include "kit/storage/FindDirectory.h"
#include "kit/support/EscapeText.h"

#include <cstdio>
#include <strings.h>
#include <sys/resource.h>

const char* pszAppName = "Tarnwick";
const char* pszAppVersion = "0.80 beta";
const char* pszAppSig = "application/x-vnd.Orrisec-Tarnwick";
const char* pszAppSettingsFile = "Tarnwick Settings";

std::atomic<bool> g_bApplicationQuitting {false};

bool IsDebugArgument(int argc, char** argv)
{
	if (argc < 2 || argv == nullptr || argv[1] == nullptr)
		return false;
	return strcasecmp(argv[1], "debug") == 0 || strcasecmp(argv[1], "-debug") == 0
		|| strcasecmp(argv[1], "--debug") == 0;
}

void ApplyCommandLine(int argc, char** argv)
{
	if (IsDebugArgument(argc, argv))
		SetDebugFlags(0xFFFFFFFF);
	CDebugFunctionTracer::Trace("%s %s starting%s...\n", pszAppName, pszAppVersion,
		(GetDebugFlags() & DEBUG_FLAG_DEBUG_MODE) != 0 ? " in debug mode" : "");
}

namespace {

// Raises the soft limit of `resource` to `wanted`, or to the hard limit when
// `toHard` is set; never lowers it and never goes above the hard limit.
status_t RaiseLimit(int resource, rlim_t wanted, bool toHard)
{
	struct rlimit limit;
	if (getrlimit(resource, &limit) != 0)
		return StatusFromErrno();
	rlim_t target = toHard ? limit.rlim_max : wanted;
	if (limit.rlim_max != RLIM_INFINITY && (target == RLIM_INFINITY || target > limit.rlim_max))
		target = limit.rlim_max;
	if (limit.rlim_cur == RLIM_INFINITY || (target != RLIM_INFINITY && limit.rlim_cur >= target))
		return B_OK;
	limit.rlim_cur = target;
	if (setrlimit(resource, &limit) != 0)
		return StatusFromErrno();
	return B_OK;
}

}   // namespace

status_t AskForFileDescriptors()
{
	printf("asking for 1024 file descriptors...");
	fflush(nullptr);
	status_t result = RaiseLimit(RLIMIT_NOFILE, 1024, false);
	printf("done, result = %s (0x%08X) \n", StatusText(result), (unsigned)result);
	fflush(stdout);
	// The recording buffer is locked memory: allow as much as the system does.
	RaiseLimit(RLIMIT_MEMLOCK, 0, true);
	return result;
}

std::string GetSettingsDirectory()
{
	std::string path;
	if (find_directory(B_USER_SETTINGS_DIRECTORY, &path, true) != B_OK || path.empty())
		return "/boot/home/config/settings/";
	if (path.back() != '/')
		path += '/';
	return path;
}

std::string GetSettingsFile()
{
	return GetSettingsDirectory() + pszAppSettingsFile;
}

std::string GetDefaultProjectRootFolder()
{
	return GetSettingsDirectory() + "Tarnwick Projects";
}

status_t CheckProjectVolume(const std::string& folder)
{
	// The volume part: up to the first '/' after the first character. A path
	// with no such '/' is a volume root itself and is tested whole.
	std::string volume = folder;
	if (folder.size() > 1) {
		size_t slash = folder.find('/', 1);
		if (slash != std::string::npos)
			volume = folder.substr(0, slash);
	}
	if (volume.empty())
		return B_ENTRY_NOT_FOUND;
	BEntry entry(volume.c_str());
	return entry.Exists() ? B_OK : B_ENTRY_NOT_FOUND;
}

status_t ResolveProjectRootFolder(std::string* path, project_folder_mover mover)
{
	DEBUG_ASSERT(path != nullptr && mover != nullptr);

	CPreference preference("project root folder");
	preference.AddString("rootfolder", GetDefaultProjectRootFolder());
	preference.AddString("newrootfolder", "dummy");
	preference.AddBool("move folder", false);
	preference.Load();

	bool moveFolder = false;
	std::string rootFolder;
	std::string newRootFolder;
	preference.FindBool("move folder", &moveFolder);
	preference.FindString("rootfolder", &rootFolder);
	preference.FindString("newrootfolder", &newRootFolder);
	*path = rootFolder;

	if (CheckProjectVolume(rootFolder) != B_OK)
		return B_ENTRY_NOT_FOUND;
	status_t status = create_directory(rootFolder.c_str(), 0777);
	if (status != B_OK)
		return status;

	if (moveFolder) {
		std::string target = newRootFolder;
		if (newRootFolder != rootFolder) {
			if (CheckProjectVolume(newRootFolder) != B_OK)
				return B_ENTRY_NOT_FOUND;
			status = create_directory(newRootFolder.c_str(), 0777);
			if (status == B_OK)
				status = mover(rootFolder.c_str(), newRootFolder.c_str());
			if (status == B_OK) {
				BEntry oldRoot(rootFolder.c_str());
				oldRoot.Remove();
			} else {
				std::string text = std::string(
					"Tarnwick\n\nAn error occured while moving the project folder to another volume. The old project folder will be used, but some projects and files have already been moved to the other volume.\n\nError: ")
					+ StatusText(status) + "\n\nOldpath: " + EscapeControlChars(rootFolder) + "\n\nNewpath: "
					+ EscapeControlChars(newRootFolder);
				DebugAlert(text.c_str());
				target = rootFolder;
			}
		}
		preference.ReplaceString("rootfolder", target);
		preference.RemoveName("move folder");
		preference.RemoveName("newrootfolder");
		preference.Save();
		preference.FindString("rootfolder", &rootFolder);
	}

	printf("rootfolder = %s\n", EscapeControlChars(rootFolder).c_str());
	*path = rootFolder;
	printf("GetProjectRootFolder = \"%s\"\n", EscapeControlChars(*path).c_str());
	fflush(stdout);
	return B_OK;
}
