#include "frame/App.h"

#include "frame/Diagnostics.h"
#include "frame/Preference.h"
#include "kit/storage/FindDirectory.h"

#include <cerrno>
#include <cstdio>
#include <strings.h>
#include <sys/resource.h>

const char* pszAppName = "Tarnwick";
const char* pszAppVersion = "0.80 beta";
const char* pszAppSig = "application/x-vnd.Orrisec-Tarnwick";
const char* pszAppSettingsFile = "Tarnwick Settings";

bool IsDebugArgument(int argc, char** argv)
{
	if (argc < 2 || argv[1] == nullptr)
		return false;
	return strcasecmp(argv[1], "debug") == 0 || strcasecmp(argv[1], "-debug") == 0
		|| strcasecmp(argv[1], "--debug") == 0;
}

std::string GetSettingsDirectory()
{
	std::string path;
	if (find_directory(B_USER_SETTINGS_DIRECTORY, &path, true) != B_OK)
		return "/boot/home/config/settings/";
	return path + "/";
}

std::string GetSettingsFile()
{
	return GetSettingsDirectory() + pszAppSettingsFile;
}

namespace {

// Raises the soft limit of `resource` to `wanted` (or to the hard limit when
// `wanted` is negative), never above the hard limit.
status_t RaiseLimit(int resource, rlim_t wanted, bool toHard)
{
	struct rlimit limit;
	if (getrlimit(resource, &limit) != 0)
		return StatusFromErrno();
	rlim_t target = toHard ? limit.rlim_max : wanted;
	if (target != RLIM_INFINITY && limit.rlim_max != RLIM_INFINITY && target > limit.rlim_max)
		target = limit.rlim_max;
	if (limit.rlim_cur != RLIM_INFINITY && (target == RLIM_INFINITY || limit.rlim_cur < target)) {
		limit.rlim_cur = target;
		if (setrlimit(resource, &limit) != 0)
			return StatusFromErrno();
	}
	return B_OK;
}

}   // namespace

int TarnwickMain(int argc, char** argv)
{
	if (IsDebugArgument(argc, argv))
		g_DebugFlags = 0xFFFFFFFF;
	CDebugFunctionTracer::Trace("%s %s starting%s...\n", pszAppName, pszAppVersion,
		(g_DebugFlags & DEBUG_FLAG_DEBUG_MODE) != 0 ? " in debug mode" : "");

	printf("asking for 1024 file descriptors...");
	fflush(nullptr);
	status_t result = RaiseLimit(RLIMIT_NOFILE, 1024, false);
	printf("done, result = %s (0x%08X) \n", StatusText(result), (unsigned)result);
	// Locked buffers of the recording engine need the memlock limit.
	RaiseLimit(RLIMIT_MEMLOCK, 0, true);

	InitPreferenceHandler(GetSettingsFile().c_str());
	CDebugFunctionTracer::Trace("Application is now shut down\n");
	return 0;
}
