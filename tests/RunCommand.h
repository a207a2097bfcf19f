// Running an outside tool from a test (cd-info, ffmpeg, tarnwick-cli).
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

// Runs `command` through the shell and returns what it wrote to standard
// output (add "2>&1" to the command for standard error too). *status, when
// given, receives the exit code, or -1 when the command could not start or
// did not exit normally.
inline std::string RunCommand(const std::string& command, int* status = nullptr)
{
	std::string output;
	if (status != nullptr)
		*status = -1;
	FILE* pipe = popen(command.c_str(), "r");
	if (pipe == nullptr)
		return output;
	char buffer[4096];
	size_t got;
	while ((got = fread(buffer, 1, sizeof(buffer), pipe)) > 0)
		output.append(buffer, got);
	const int result = pclose(pipe);
	if (status != nullptr && result != -1 && WIFEXITED(result))
		*status = WEXITSTATUS(result);
	return output;
}
