// tarnwick-cli: the program's drive layer without a display. It runs the
// start-up stages of the program (settings store, driver add-ons, drive
// discovery and driver binding) and prints what it found.
//
//   tarnwick-cli devices [--debug] [--add-ons FOLDER]
#include "app/CliRip.h"
#include "devices/DeviceListing.h"
#include "devices/devices.h"
#include "frame/App.h"
#include "frame/Diagnostics.h"
#include "frame/Preference.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

void PrintUsage(FILE* stream)
{
	fprintf(stream,
		"usage: tarnwick-cli devices [--debug] [--add-ons FOLDER]\n"
		"       tarnwick-cli rip [options]   (see tarnwick-cli rip --help)\n"
		"       tarnwick-cli formats\n"
		"\n"
		"  devices    find the drives as the program does and list each one:\n"
		"             path, address, identity, add-on, flags, speeds, medium\n"
		"  --debug    print the program's traces and drive commands\n"
		"  --add-ons  load the driver add-ons from FOLDER instead of the\n"
		"             add-ons folder beside this program\n");
}

int ListDevices()
{
	InitPreferenceHandler(GetSettingsFile().c_str());
	LoadDriver();
	OpenDevices();
	fflush(stdout);
	printf("\n%s", DescribeDevices().c_str());
	fflush(stdout);
	CloseDevices();
	UnloadDriver();
	return 0;
}

}   // namespace

int main(int argc, char** argv)
{
	std::string command;
	for (int index = 1; index < argc; index++) {
		const char* argument = argv[index];
		if (strcmp(argument, "--help") == 0 || strcmp(argument, "-h") == 0) {
			PrintUsage(stdout);
			return 0;
		}
		if (strcmp(argument, "--debug") == 0) {
			SetDebugFlags(0xFFFFFFFF);
		} else if (strcmp(argument, "--add-ons") == 0 && index + 1 < argc) {
			SetDriverAddOnFolder(argv[++index]);
		} else if (command.empty() && strcmp(argument, "rip") == 0) {
			return RipCommand(argc - index - 1, argv + index + 1);
		} else if (command.empty() && argument[0] != '-') {
			command = argument;
		} else {
			fprintf(stderr, "tarnwick-cli: unknown argument \"%s\"\n", argument);
			PrintUsage(stderr);
			return 2;
		}
	}
	if (command == "devices")
		return ListDevices();
	if (command == "formats")
		return FormatsCommand();
	PrintUsage(stderr);
	return 2;
}
