#include "app/CliRip.h"

#include "devices/Device.h"
#include "devices/devices.h"
#include "disc/Toc.h"
#include "extraction/CddaReadView.h"
#include "extraction/OutputFile.h"
#include "frame/App.h"
#include "frame/Diagnostics.h"
#include "frame/Preference.h"
#include "kit/app/MessageSink.h"
#include "kit/interface/Alert.h"
#include "kit/kernel/OS.h"
#include "kit/support/Message.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::atomic<bool> sInterrupted {false};

void OnInterrupt(int)
{
	sInterrupted = true;
}

// Alerts on the command line: shown on standard error and answered with the
// first button ("Abort" for a write error, "OK" for notices), so that a
// full disk ends the rip instead of retrying for ever.
class CRipAlertHandler : public CAlertHandler {
public:
	int32 Show(const AlertRequest& request) override
	{
		fprintf(stderr, "\n%s: %s\n", request.title.c_str(), request.text.c_str());
		return 0;
	}
};

void PrintRipUsage(FILE* stream)
{
	fprintf(stream,
		"usage: tarnwick-cli rip [--device N|NAME] [--tracks LIST]\n"
		"                        [--format SHORT --codec SHORT | --preset flac|mp3|ogg|opus|wav]\n"
		"                        [--dest DIR | --project NAME] [--secure] [--offset N]\n"
		"                        [--sync SECTORS [--sync-mode always|auto]]\n");
}

// "1,3-5" -> 1 3 4 5. False for anything else.
bool ParseTracks(const std::string& text, std::vector<int32>* tracks)
{
	size_t at = 0;
	while (at < text.size()) {
		size_t comma = text.find(',', at);
		std::string part = text.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
		int first = 0, last = 0;
		char extra = 0;
		if (sscanf(part.c_str(), "%d-%d%c", &first, &last, &extra) == 2) {
		} else if (sscanf(part.c_str(), "%d%c", &first, &extra) == 1) {
			last = first;
		} else {
			return false;
		}
		if (first < 1 || last > 99 || last < first)
			return false;
		for (int track = first; track <= last; track++)
			tracks->push_back(track);
		if (comma == std::string::npos)
			break;
		at = comma + 1;
	}
	return !tracks->empty();
}

bool ParseInt(const char* text, int32 low, int32 high, int32* value)
{
	char* end = nullptr;
	long number = strtol(text, &end, 10);
	if (end == text || *end != 0 || number < low || number > high)
		return false;
	*value = int32(number);
	return true;
}

CDevice* FindDevice(const std::string& which)
{
	if (countDevices <= 0)
		return nullptr;
	if (which.empty())
		return g_pDevices[0];
	int32 index = 0;
	if (ParseInt(which.c_str(), 1, countDevices, &index))
		return g_pDevices[index - 1];
	for (int i = 0; i < countDevices; i++) {
		CDevice* device = g_pDevices[i];
		if (device != nullptr && strcasestr(device->GetDeviceName(), which.c_str()) != nullptr)
			return device;
	}
	return nullptr;
}

void ShowProgress(const CCddaReadView::Progress& progress, bool terminal)
{
	if (!terminal || progress.track == 0)
		return;
	int32 percent = progress.trackSectors > 0 ? progress.sectorsDone * 100 / progress.trackSectors : 0;
	int32 overall = progress.sectorsTotal > 0 ? progress.sectorsRead * 100 / progress.sectorsTotal : 0;
	fprintf(stdout, "\r\033[Ktrack %d: %3d %% (all %3d %%)  %.1fx  buffer %3d %%  re-reads %d", int(progress.track),
		int(percent), int(overall), progress.speed, int(progress.bufferPercent), int(progress.rereads));
	fflush(stdout);
}

}   // namespace

int FormatsCommand()
{
	for (const FileFormatPair& pair : ListFileFormatPairs(CddaInputFormat()))
		printf("%-6s %-10s %s\n", pair.formatShortName.c_str(), pair.codecShortName.c_str(), pair.label.c_str());
	return 0;
}

int RipCommand(int argc, char** argv)
{
	std::string deviceName, destination, project, format, codec;
	std::vector<int32> tracks;
	CddaReadOptions options;
	bool syncAuto = false;
	for (int index = 0; index < argc; index++) {
		std::string argument = argv[index];
		const bool hasValue = index + 1 < argc;
		if (argument == "--device" && hasValue) {
			deviceName = argv[++index];
		} else if (argument == "--tracks" && hasValue) {
			if (!ParseTracks(argv[++index], &tracks)) {
				fprintf(stderr, "tarnwick-cli: --tracks takes numbers and ranges such as 1,3-5\n");
				return 2;
			}
		} else if (argument == "--format" && hasValue) {
			format = argv[++index];
		} else if (argument == "--codec" && hasValue) {
			codec = argv[++index];
		} else if (argument == "--preset" && hasValue) {
			std::string preset = argv[++index];
			static const char* const kPresets[][3] = {{"flac", "flac", "flac"}, {"mp3", "mp3", "lame"},
				{"ogg", "ogg", "vorbis"}, {"opus", "opus", "opus"}, {"wav", "wav", "raw-audio"}};
			bool found = false;
			for (const auto& entry : kPresets) {
				if (preset == entry[0]) {
					format = entry[1];
					codec = entry[2];
					found = true;
				}
			}
			if (!found) {
				fprintf(stderr, "tarnwick-cli: unknown preset \"%s\"\n", preset.c_str());
				return 2;
			}
		} else if (argument == "--dest" && hasValue) {
			destination = argv[++index];
		} else if (argument == "--project" && hasValue) {
			project = argv[++index];
		} else if (argument == "--secure") {
			options.secure = true;
		} else if (argument == "--offset" && hasValue) {
			if (!ParseInt(argv[++index], -kMaxReadOffsetSamples, kMaxReadOffsetSamples, &options.readOffset)) {
				fprintf(stderr, "tarnwick-cli: --offset takes samples from %d to %d\n", -kMaxReadOffsetSamples,
					kMaxReadOffsetSamples);
				return 2;
			}
			options.overrideReadOffset = true;
		} else if (argument == "--sync" && hasValue) {
			if (!ParseInt(argv[++index], 0, kMaxReadSyncSectors, &options.syncSectors)) {
				fprintf(stderr, "tarnwick-cli: --sync takes sectors from 0 to %d\n", kMaxReadSyncSectors);
				return 2;
			}
			options.overrideSync = true;
		} else if (argument == "--sync-mode" && hasValue) {
			std::string mode = argv[++index];
			if (mode != "always" && mode != "auto") {
				fprintf(stderr, "tarnwick-cli: --sync-mode is always or auto\n");
				return 2;
			}
			syncAuto = mode == "auto";
		} else if (argument == "--debug") {
			SetDebugFlags(0xFFFFFFFF);
		} else {
			fprintf(stderr, "tarnwick-cli: unknown argument \"%s\"\n", argument.c_str());
			PrintRipUsage(stderr);
			return 2;
		}
	}
	if (options.overrideSync)
		options.syncMode = options.syncSectors == 0 ? READ_SYNC_OFF : syncAuto ? READ_SYNC_AUTO : READ_SYNC_ALWAYS;
	if (format.empty() != codec.empty()) {
		fprintf(stderr, "tarnwick-cli: --format and --codec go together\n");
		return 2;
	}
	if (!destination.empty() && !project.empty()) {
		fprintf(stderr, "tarnwick-cli: give --dest or --project, not both\n");
		return 2;
	}
	if (!format.empty()) {
		options.overrideFormat = true;
		options.formatShortName = format;
		options.codecShortName = codec;
	}

	InitPreferenceHandler(GetSettingsFile().c_str());
	if (!project.empty()) {
		std::string root;
		status_t status = ResolveProjectRootFolder(&root, [](const char*, const char*) { return status_t(B_ERROR); });
		if (status != B_OK || project.find('/') != std::string::npos) {
			fprintf(stderr, "tarnwick-cli: no project folder \"%s\" (%s)\n", project.c_str(), root.c_str());
			return 1;
		}
		destination = root + "/" + project;
	}
	if (destination.empty())
		destination = ".";
	std::error_code error;
	std::filesystem::create_directories(destination, error);
	destination = std::filesystem::absolute(destination, error).lexically_normal().string();
	if (!destination.empty() && destination.back() == '/' && destination.size() > 1)
		destination.pop_back();
	if (!std::filesystem::is_directory(destination)) {
		fprintf(stderr, "tarnwick-cli: cannot write into \"%s\"\n", destination.c_str());
		return 1;
	}
	options.temporaryFolder = destination;

	CRipAlertHandler alerts;
	CAlertHandler* previousAlerts = SetAlertHandler(&alerts);
	LoadDriver();
	OpenDevices();
	int result = 1;
	CDevice* device = FindDevice(deviceName);
	if (device == nullptr) {
		fprintf(stderr, "tarnwick-cli: no drive %s\n", deviceName.empty() ? "found" : ("\"" + deviceName + "\"").c_str());
	} else if (!device->ReadToc()) {
		fprintf(stderr, "tarnwick-cli: no readable disc in %s\n", device->GetDeviceName());
	} else {
		device->LoadTocText();
		if (tracks.empty()) {
			CToc* toc = device->GetToc();
			toc->Lock();
			for (int track = toc->FirstTrack(); track <= toc->LastTrack(); track++) {
				if (!toc->TrackDataTrack(track))
					tracks.push_back(track);
			}
			toc->Unlock();
		}
		printf("Reading %zu track(s) from %s into %s\n", tracks.size(), device->GetDeviceName(), destination.c_str());
		fflush(stdout);

		auto sink = std::make_shared<CMessageSink>();
		auto previousInt = signal(SIGINT, OnInterrupt);
		auto previousTerm = signal(SIGTERM, OnInterrupt);
		{
			CCddaReadView view(device, sink->Messenger());
			view.SetDiagnostics(nullptr);
			view.SetOptions(options);
			const int32 added = AddDiscTracks(&view, device, destination, tracks);
			const bool terminal = isatty(STDOUT_FILENO) != 0;
			bool aborted = false;
			while (added > 0 && !(view.IsIdle() && int32(view.Results().size()) >= added)) {
				if (sInterrupted && !aborted) {
					view.Abort();
					aborted = true;
				}
				std::unique_ptr<BMessage> message = sink->WaitForAnyMessage(200000);
				if (message != nullptr) {
					if (message->what == CDDA_READ_STATUS_TEXT) {
						std::string text;
						message->FindString("text", &text);
						while (!text.empty() && text.back() == '\n')
							text.pop_back();
						if (!text.empty() && text != "Removing digital silence at track beginning")
							fprintf(stdout, "%s%s\n", terminal ? "\r\033[K" : "", text.c_str());
					}
					view.MessageReceived(message.get());
				}
				ShowProgress(view.CurrentProgress(), terminal);
			}
			if (terminal)
				fprintf(stdout, "\r\033[K");
			bool allGood = added == int32(tracks.size()) && added > 0;
			for (const CddaTrackResult& track : view.Results()) {
				printf("track %2d: %-11s CRC32 %08X  AccurateRip v1 %08X v2 %08X  re-reads %d%s%s\n", int(track.track),
					track.outcome.c_str(), unsigned(track.crc32), unsigned(track.accurateRipV1),
					unsigned(track.accurateRipV2), int(track.rereads), track.finalPath.empty() ? "" : "  ",
					std::filesystem::path(track.finalPath).filename().c_str());
				if (!track.Succeeded() || (options.secure && !track.proven))
					allGood = false;
			}
			if (!view.LastLogPath().empty())
				printf("log: %s\n", view.LastLogPath().c_str());
			result = allGood ? 0 : 1;
		}
		signal(SIGINT, previousInt);
		signal(SIGTERM, previousTerm);
	}
	fflush(stdout);
	CloseDevices();
	UnloadDriver();
	SetAlertHandler(previousAlerts);
	return result;
}
