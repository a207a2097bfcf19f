// tarnwick-cli: the program's drive layer and recording engine without a
// display. It runs the start-up stages of the program (settings store,
// driver add-ons, drive discovery and driver binding), then lists the drives
// or burns a project through the same engine as the recording window.
//
//   tarnwick-cli devices [--debug] [--add-ons FOLDER]
//   tarnwick-cli record PROJECT [--device N|NAME] [--speed X] [--simulate] [--tao]
//                        [--burn-proof] [--verify] [--eject|--no-eject]
//                        [--cd-text[=upper|lower]]
//   tarnwick-cli rip [options], tarnwick-cli formats (app/CliRip.cpp)
#include "app/CliRip.h"
#include "devices/Device.h"
#include "devices/DeviceListing.h"
#include "devices/devices.h"
#include "driver/driverbaseclass.h"
#include "frame/App.h"
#include "frame/Diagnostics.h"
#include "frame/Preference.h"
#include "kit/app/MessageSink.h"
#include "kit/kernel/OS.h"
#include "kit/storage/Entry.h"
#include "kit/storage/EntryRef.h"
#include "kit/support/Message.h"
#include "projects/Project.h"
#include "projects/ProjectTrack.h"
#include "recording/CdRecordStatusView.h"
#include "recording/CdTextWriter.h"
#include "recording/RecordAction.h"
#include "recording/RecordingCheck.h"

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

void PrintUsage(FILE* stream)
{
	fprintf(stream,
		"usage: tarnwick-cli devices [--debug] [--add-ons FOLDER]\n"
		"       tarnwick-cli report [--debug] [--add-ons FOLDER]\n"
		"       tarnwick-cli record PROJECT [--device N|NAME] [--speed X] [--simulate] [--tao]\n"
		"                           [--burn-proof] [--verify] [--eject|--no-eject]\n"
		"                           [--cd-text[=upper|lower]]\n"
		"       tarnwick-cli rip [options]   (see tarnwick-cli rip --help)\n"
		"       tarnwick-cli formats\n"
		"\n"
		"  devices       find the drives as the program does and list each one:\n"
		"                path, address, identity, add-on, flags, speeds, medium\n"
		"  report        the drive report of every drive (identity, add-on,\n"
		"                settings, capabilities, speed tests) for bug reports\n"
		"  record        write PROJECT (a project of the project folder, by name,\n"
		"                or any folder of audio files) to a recorder\n"
		"  --device      the recorder: its number in the devices list or its name\n"
		"                (default: the first drive that can write)\n"
		"  --speed       write speed factor, e.g. 8 (default: the drive's own)\n"
		"  --simulate    a test write only: the disc stays blank\n"
		"  --tao         track-at-once (fixated) instead of disc-at-once\n"
		"  --burn-proof  ask the recorder for buffer-underrun protection\n"
		"  --verify      read every track back and compare it with the sources\n"
		"  --eject       leave the disc ejected at the end (default)\n"
		"  --no-eject    load the disc again at the end\n"
		"  --cd-text     write the project's name and the tracks' titles and\n"
		"                artists as CD-Text (disc-at-once, on a recorder that\n"
		"                writes it); =upper or =lower changes their case\n"
		"  --debug       print the program's traces and drive commands\n"
		"  --add-ons     load the driver add-ons from FOLDER instead of the\n"
		"                add-ons folder beside this program\n");
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

struct RecordOptions {
	std::string project;
	std::string device;
	float speed = -1;
	bool simulate = false;
	bool tao = false;
	bool burnProof = false;
	bool verify = false;
	bool eject = true;
	int32 cdText = CD_TEXT_NONE;
};

volatile sig_atomic_t sInterrupted = 0;

void OnInterrupt(int)
{
	sInterrupted = 1;
}

bool IsHidden(const fs::path& path)
{
	return path.filename().string().rfind('.', 0) == 0;
}

// The project's folder: an existing folder given by path, else a project of
// the project folder by name.
std::string FindProjectFolder(const std::string& name)
{
	std::error_code error;
	if (fs::is_directory(name, error))
		return fs::absolute(name).lexically_normal().string();
	fs::path inRoot = fs::path(GetDefaultProjectRootFolder()) / name;
	if (fs::is_directory(inRoot, error))
		return inRoot.string();
	return std::string();
}

// Builds the project: the tracks of its data file when it has one, then
// every other audio file of the folder in name order. Files that are no
// audio at all are left out with a note.
std::unique_ptr<CProject> BuildProject(const std::string& folder)
{
	auto project = std::make_unique<CProject>(folder.c_str());
	std::error_code error;
	if (fs::exists(fs::path(folder) / kProjectDataFileName, error)) {
		status_t status = project->Load();
		if (status != B_OK)
			fprintf(stderr, "tarnwick-cli: the project's data file cannot be read (%s); taking the files in name "
				"order\n", strerror(status));
	}
	std::vector<std::string> listed;
	for (int32 i = 0; i < project->CountTracks(); i++)
		listed.push_back(fs::path(project->TrackAt(i)->File()).filename().string());

	std::vector<fs::path> files;
	for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
		if (IsHidden(entry.path()) || entry.path().filename() == kProjectDataFileName)
			continue;
		if (!entry.is_regular_file(error))
			continue;
		files.push_back(entry.path());
	}
	std::sort(files.begin(), files.end());
	for (const fs::path& file : files) {
		std::string leaf = file.filename().string();
		if (std::find(listed.begin(), listed.end(), leaf) != listed.end())
			continue;
		entry_ref ref;
		BEntry entry(file.c_str());
		std::string reason;
		if (entry.GetRef(&ref) != B_OK)
			continue;
		status_t status = CheckCdAudioFile(ref, &reason);
		if (status != B_OK && status != B_MEDIA_BAD_FORMAT) {
			printf("skipping \"%s\": not an audio file\n", leaf.c_str());
			continue;
		}
		project->AddTrack(std::make_unique<CProjectTrack>(project.get(), leaf.c_str(), leaf.c_str(), "", 0, 0, 0));
	}
	return project;
}

bool CanWrite(CDevice* device)
{
	CDriver* driver = device->GetDriver();
	return driver != nullptr && (driver->Flags & (F_DAO_WRITE | F_TAO_WRITE | F_RAW_WRITE)) != 0;
}

CDevice* ChooseDevice(const std::string& wanted)
{
	int32 count = 0;
	while (count < kMaxDevices && g_pDevices[count] != nullptr)
		count++;
	if (wanted.empty()) {
		for (int32 i = 0; i < count; i++)
			if (CanWrite(g_pDevices[i]))
				return g_pDevices[i];
		return nullptr;
	}
	char* end = nullptr;
	long number = strtol(wanted.c_str(), &end, 10);
	if (end != wanted.c_str() && *end == '\0')
		return number >= 1 && number <= count ? g_pDevices[number - 1] : nullptr;
	for (int32 i = 0; i < count; i++)
		if (wanted == g_pDevices[i]->GetDeviceName())
			return g_pDevices[i];
	for (int32 i = 0; i < count; i++)
		if (strcasestr(g_pDevices[i]->GetDeviceName(), wanted.c_str()) != nullptr)
			return g_pDevices[i];
	return nullptr;
}

// The speed value of the table entry for `factor` (the fastest entry not
// above it), or -1 (keep the drive's speed) when the table has none.
int32 SpeedValue(CDevice* device, float factor)
{
	if (factor <= 0)
		return -1;
	const SPEED_INFO* table = device->GetDriver()->pWriteSpeedCdr;
	int32 value = -1;
	float best = 0;
	for (int32 i = 0; table != nullptr && table[i].fFactor != 0.0f; i++) {
		float entry = table[i].fFactor;
		if (entry > 0 && entry <= factor + 0.01f && entry > best) {
			best = entry;
			value = table[i].nValue;
		}
	}
	if (value == -1)
		printf("no write speed of %.1fX in the drive's table: the drive's own speed is kept\n", factor);
	return value;
}

std::string FormatTime(int64 seconds)
{
	char text[32];
	snprintf(text, sizeof(text), "%d:%02d", int(seconds / 60), int(seconds % 60));
	return text;
}

// One progress line: track, percent, both buffers, speed, time left.
std::string ProgressLine(const CCdRecordStatusView& view)
{
	int32 state = view.RunState();
	int32 done = view.CurrentSectorOfDisc();
	int32 total = std::max(view.CountSectorsOfDisc(), 1);
	float factor = view.WriteSpeedFactor();
	float buffer = view.BufferFill();
	float recorder = view.RecorderBufferFill();
	char text[256];
	const char* phase = state == STATUS_LEADIN ? "lead-in"
		: state == STATUS_LEADOUT              ? "lead-out"
		: state == STATUS_FIXATE               ? "fixation"
		: state == STATUS_INIT                 ? "preparing"
												: "track";
	std::string left = factor > 0 ? FormatTime(int64((total - done) / (75.0f * factor))) : std::string("?");
	snprintf(text, sizeof(text), "%s %d/%d  %5.1f%%  buffer %3.0f%%  recorder %s  %s  left %s",
		phase, view.CurrentTrack(), view.CountTracksOfDisc(), done * 100.0f / total, std::max(buffer, 0.0f),
		recorder >= 0 ? (std::to_string(int(recorder + 0.5f)) + "%").c_str() : "?",
		factor > 0 ? (std::to_string(int(factor)) + "X").c_str() : "?X", left.c_str());
	return text;
}

int Record(const RecordOptions& options)
{
	// From here on an interrupt ends the run through the engine's failure
	// end; one that comes before the run starts ends the program before any
	// drive command.
	struct sigaction interrupt {};
	interrupt.sa_handler = OnInterrupt;
	sigemptyset(&interrupt.sa_mask);
	sigaction(SIGINT, &interrupt, nullptr);
	sigaction(SIGTERM, &interrupt, nullptr);

	std::string folder = FindProjectFolder(options.project);
	if (folder.empty()) {
		fprintf(stderr, "tarnwick-cli: no project or folder \"%s\"\n", options.project.c_str());
		return 2;
	}
	InitPreferenceHandler(GetSettingsFile().c_str());
	std::unique_ptr<CProject> project = BuildProject(folder);

	// Everything about the files is said before any drive command.
	std::vector<RECORDING_PROBLEM> problems;
	status_t checked = CheckProjectForRecording(project.get(), &problems);
	for (const RECORDING_PROBLEM& problem : problems)
		fprintf(problem.fatal ? stderr : stdout, "%s: %s\n", problem.fatal ? "error" : "warning",
			problem.text.c_str());
	if (checked != B_OK) {
		fprintf(stderr, "tarnwick-cli: \"%s\" cannot be recorded as it is\n", project->Name().c_str());
		return 1;
	}

	LoadDriver();
	OpenDevices();
	CDevice* device = ChooseDevice(options.device);
	if (device == nullptr || !CanWrite(device)) {
		fprintf(stderr, "tarnwick-cli: no recorder %s%s%s (see tarnwick-cli devices)\n",
			options.device.empty() ? "found" : "\"", options.device.c_str(), options.device.empty() ? "" : "\"");
		CloseDevices();
		UnloadDriver();
		return 1;
	}
	if (sInterrupted) {
		fprintf(stderr, "tarnwick-cli: stopped before the recording began\n");
		CloseDevices();
		UnloadDriver();
		return 1;
	}
	printf("recording \"%s\" (%d tracks) on %s\n", project->Name().c_str(), int(project->CountTracks()),
		device->GetDeviceName());

	if (options.cdText != CD_TEXT_NONE) {
		if (options.tao) {
			printf("CD-Text: not written in track-at-once mode\n");
		} else if ((device->GetDriver()->Flags & F_CDTEXT_WRITE) == 0) {
			printf("CD-Text: %s cannot write CD-Text; none is written\n", device->GetDeviceName());
		} else {
			SCdTextResult cdText;
			std::string notice;
			if (BuildCdText(project.get(), options.cdText, &cdText) == B_OK)
				notice = CdTextNotice(cdText);
			if (!notice.empty())
				printf("%s\n", notice.c_str());
		}
	}

	auto* action = new CRecordAction;
	action->nActionFlags = options.simulate ? RECORD_ACTION_SIMULATE : RECORD_ACTION_WRITE;
	action->nWriteMode = options.tao ? RECORD_MODE_TAO_FIXATE : RECORD_MODE_DAO;
	action->pProject = project.get();
	action->pDevice = device;
	action->nWriteSpeed = SpeedValue(device, options.speed);
	action->fSpeedFactor = options.speed;
	action->bBurnProof = options.burnProof;
	action->nCdText = options.cdText;
	// The engine reads the disc back before it ejects it.
	action->bVerify = options.verify && !options.simulate;

	auto sink = std::make_shared<CMessageSink>();
	bool terminal = isatty(STDOUT_FILENO) != 0;
	bool succeeded = false;
	bool verified = false;
	std::string failure;
	{
		CCdRecordStatusView view(sink->Messenger());
		view.StartRecording(action);
		std::string lastStatus;
		std::string lastLine;
		bigtime_t lastPlain = 0;
		bool stopAsked = false;
		while (true) {
			if (sInterrupted && !stopAsked) {
				stopAsked = true;
				view.RequestStop();
				printf("%sstopping...\n", terminal ? "\n" : "");
			}
			std::unique_ptr<BMessage> message = sink->WaitForAnyMessage(100000);
			if (message != nullptr && message->what == M_RECORD_WRITE_THREAD_ENDED) {
				view.MessageReceived(message.get());
				break;
			}
			std::string status = view.Display().status;
			if (status != lastStatus) {
				lastStatus = status;
				printf("%s%s\n", terminal && !lastLine.empty() ? "\r\033[K" : "", status.c_str());
				lastLine.clear();
			}
			int32 state = view.RunState();
			if (state == STATUS_LEADIN || state == STATUS_TRACK_WRITE || state == STATUS_LEADOUT
				|| state == STATUS_FIXATE) {
				std::string line = ProgressLine(view);
				if (terminal && line != lastLine) {
					printf("\r\033[K%s", line.c_str());
					lastLine = line;
				} else if (!terminal && system_time() - lastPlain >= 5000000) {
					printf("%s\n", line.c_str());
					lastPlain = system_time();
				}
			}
			fflush(stdout);
		}
		std::string status = view.Display().status;
		if (status != lastStatus)
			printf("%s%s\n", terminal && !lastLine.empty() ? "\r\033[K" : "", status.c_str());
		succeeded = view.Succeeded();
		failure = view.FailureMessage();
		verified = view.Verified();
		for (const std::string& line : view.Display().verification)
			printf("verify: %s\n", line.c_str());
	}
	fflush(stdout);

	int result = succeeded ? 0 : 1;
	if (!succeeded) {
		fprintf(stderr, "tarnwick-cli: %s\n", failure.empty() ? "the recording did not finish" : failure.c_str());
	} else {
		if (options.verify && !options.simulate && !verified) {
			fprintf(stderr, "tarnwick-cli: the disc was written but does not verify\n");
			result = 1;
		}
		if (!options.eject)
			device->GetDriver()->MediumLoad(device, nullptr);
	}
	if (options.verify && options.simulate)
		printf("verify: nothing to verify after a simulation\n");

	project.reset();
	CloseDevices();
	UnloadDriver();
	return result;
}

}   // namespace

int PrintDeviceReport();   // CliReport.cpp

int main(int argc, char** argv)
{
	std::string command;
	RecordOptions options;
	for (int index = 1; index < argc; index++) {
		const char* argument = argv[index];
		bool hasValue = index + 1 < argc;
		if (strcmp(argument, "--help") == 0 || strcmp(argument, "-h") == 0) {
			PrintUsage(stdout);
			return 0;
		}
		if (strcmp(argument, "--debug") == 0) {
			SetDebugFlags(0xFFFFFFFF);
		} else if (strcmp(argument, "--add-ons") == 0 && hasValue) {
			SetDriverAddOnFolder(argv[++index]);
		} else if (command == "record" && strcmp(argument, "--device") == 0 && hasValue) {
			options.device = argv[++index];
		} else if (command == "record" && strcmp(argument, "--speed") == 0 && hasValue) {
			char* end = nullptr;
			const char* value = argv[++index];
			options.speed = strtof(value, &end);
			if (end == value || (*end != '\0' && strcasecmp(end, "x") != 0) || options.speed <= 0) {
				fprintf(stderr, "tarnwick-cli: bad speed \"%s\"\n", value);
				return 2;
			}
		} else if (command == "record" && strcmp(argument, "--simulate") == 0) {
			options.simulate = true;
		} else if (command == "record" && strcmp(argument, "--tao") == 0) {
			options.tao = true;
		} else if (command == "record" && strcmp(argument, "--burn-proof") == 0) {
			options.burnProof = true;
		} else if (command == "record" && strcmp(argument, "--verify") == 0) {
			options.verify = true;
		} else if (command == "record" && strncmp(argument, "--cd-text", 9) == 0
			&& (argument[9] == '\0' || argument[9] == '=')) {
			const char* mode = argument[9] == '=' ? argument + 10 : "";
			options.cdText = mode[0] == '\0' ? CD_TEXT_NORMAL
				: strcmp(mode, "upper") == 0 ? CD_TEXT_UPPERCASE
				: strcmp(mode, "lower") == 0 ? CD_TEXT_LOWERCASE
											 : CD_TEXT_NONE;
			if (options.cdText == CD_TEXT_NONE) {
				fprintf(stderr, "tarnwick-cli: bad CD-Text case \"%s\" (upper or lower)\n", mode);
				return 2;
			}
		} else if (command == "record" && strcmp(argument, "--eject") == 0) {
			options.eject = true;
		} else if (command == "record" && strcmp(argument, "--no-eject") == 0) {
			options.eject = false;
		} else if (command.empty() && strcmp(argument, "rip") == 0) {
			return RipCommand(argc - index - 1, argv + index + 1);
		} else if (command.empty() && argument[0] != '-') {
			command = argument;
		} else if (command == "record" && options.project.empty() && argument[0] != '-') {
			options.project = argument;
		} else {
			fprintf(stderr, "tarnwick-cli: unknown argument \"%s\"\n", argument);
			PrintUsage(stderr);
			return 2;
		}
	}
	if (command == "devices")
		return ListDevices();
	if (command == "report")
		return PrintDeviceReport();
	if (command == "record" && !options.project.empty())
		return Record(options);
	if (command == "formats")
		return FormatsCommand();
	PrintUsage(stderr);
	return 2;
}
