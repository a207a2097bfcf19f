// debugger(): report, and stop in a debugger when one is attached.
#include "kit/kernel/OS.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::atomic<debugger_hook> sHook {nullptr};

// Whether a tracer (a debugger) is attached to the process.
bool DebuggerAttached()
{
	FILE* status = fopen("/proc/self/status", "r");
	if (status == nullptr)
		return false;
	char line[256];
	bool attached = false;
	while (fgets(line, sizeof(line), status) != nullptr) {
		if (strncmp(line, "TracerPid:", 10) == 0) {
			attached = strtol(line + 10, nullptr, 10) != 0;
			break;
		}
	}
	fclose(status);
	return attached;
}

}   // namespace

void debugger(const char* message)
{
	if (message == nullptr)
		message = "";
	if (debugger_hook hook = sHook.load()) {
		hook(message);
		return;
	}
	fprintf(stderr, "debugger: %s\n", message);
	fflush(stderr);
	if (DebuggerAttached())
		raise(SIGTRAP);
}

debugger_hook set_debugger_hook(debugger_hook hook)
{
	return sHook.exchange(hook);
}
