#include "kit/interface/qt/Launcher.h"

#include "kit/kernel/OS.h"

#include <cerrno>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

namespace {

// How long a helper may take to report a failure.
constexpr bigtime_t kReportTime = 2000000;

// The xdg-utils exit codes.
status_t StatusForExit(int code)
{
	switch (code) {
		case 0:
			return B_OK;
		case 2:
			return B_ENTRY_NOT_FOUND;
		case 3:
			return B_LAUNCH_FAILED_NO_PREFERRED_APP;
		default:
			return B_LAUNCH_FAILED;
	}
}

status_t RunHelper(const std::vector<std::string>& arguments)
{
	std::vector<char*> argv;
	for (const std::string& argument : arguments)
		argv.push_back(const_cast<char*>(argument.c_str()));
	argv.push_back(nullptr);

	pid_t child = -1;
	int error = posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ);
	if (error != 0)
		return error == ENOENT ? B_LAUNCH_FAILED_APP_NOT_FOUND : B_LAUNCH_FAILED;

	bigtime_t deadline = system_time() + kReportTime;
	for (;;) {
		int status = 0;
		pid_t done = waitpid(child, &status, WNOHANG);
		if (done == child) {
			if (WIFEXITED(status))
				return StatusForExit(WEXITSTATUS(status));
			return B_LAUNCH_FAILED;
		}
		if (done < 0 && errno != EINTR)
			return B_LAUNCH_FAILED;
		if (system_time() >= deadline)
			break;
		snooze(20000);
	}
	// Still running: some helpers stay with the program they started.
	std::thread([child] {
		int status = 0;
		while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
		}
	}).detach();
	return B_OK;
}

}   // namespace

status_t OpenWithPreferredApplication(const char* path)
{
	if (path == nullptr || path[0] == '\0')
		return B_BAD_VALUE;
	struct stat st;
	if (stat(path, &st) != 0)
		return B_ENTRY_NOT_FOUND;
	// A relative name that starts with '-' must not read as an option.
	std::string target = path;
	if (target[0] != '/')
		target = "./" + target;
	return RunHelper({"xdg-open", target});
}

status_t OpenNewMail(const char* address, const char* subject, const char* body)
{
	if (address != nullptr && address[0] == '-')
		return B_BAD_VALUE;   // would read as an option
	std::vector<std::string> arguments {"xdg-email"};
	if (subject != nullptr) {
		arguments.push_back("--subject");
		arguments.push_back(subject);
	}
	if (body != nullptr) {
		arguments.push_back("--body");
		arguments.push_back(body);
	}
	if (address != nullptr && address[0] != '\0')
		arguments.push_back(address);
	return RunHelper(arguments);
}
