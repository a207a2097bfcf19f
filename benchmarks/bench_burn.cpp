// How the recording engine keeps up. Not a test: timing lives here.
//
//   bench_burn [--minutes N] [--track-minutes N] [--speed X] [--realtime-minutes N] [--skip-realtime]
//              [--folder DIR] [--keep]
//
// 1. A project of FLAC files (N minutes of generated, music-like audio, 16-bit
//    CD audio) burned to a virtual recorder on the instant clock, against
//    ffmpeg decoding the same files into one raw file, in the same run:
//    both times and their ratio.
// 2. The same burn on the real-time clock at X (48) while both cores are kept
//    busy by spinning child processes: the lowest fill of the ring buffer
//    after the first fill (while the reader still has data to deliver), the
//    lowest fill of the recorder's buffer, and whether the run failed
//    (a buffer underrun of the virtual recorder fails the write).
// 3. The peak resident memory of the instant burn of a 10-minute project and
//    of the N-minute one: each burn runs in a child process of its own and
//    its ru_maxrss is read by the parent.
//
// The generated audio lives in a temporary folder that is removed at the
// end (unless --keep).
#include "devices/Device.h"
#include "devices/devices.h"
#include "driver/driverbaseclass.h"
#include "frame/App.h"
#include "frame/Preference.h"
#include "kit/app/MessageSink.h"
#include "kit/device/DeviceNamespace.h"
#include "kit/interface/Alert.h"
#include "kit/kernel/OS.h"
#include "kit/support/Message.h"
#include "projects/Project.h"
#include "projects/ProjectTrack.h"
#include "recording/CdRecordStatusView.h"
#include "recording/RecordAction.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int32 kFramesPerSecond = 44100;

double Seconds(std::chrono::steady_clock::time_point start)
{
	return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A WAV file of `seconds` seconds of a slowly changing chord with a little
// noise, different for each `seed`.
void WriteWav(const std::string& path, int64 seconds, uint32 seed)
{
	std::ofstream wave(path, std::ios::binary);
	const uint32 dataBytes = uint32(seconds * kFramesPerSecond * 4);
	auto put32 = [&](uint32 v) { wave.write(reinterpret_cast<const char*>(&v), 4); };
	auto put16 = [&](uint16 v) { wave.write(reinterpret_cast<const char*>(&v), 2); };
	wave.write("RIFF", 4);
	put32(36 + dataBytes);
	wave.write("WAVEfmt ", 8);
	put32(16);
	put16(1);
	put16(2);
	put32(kFramesPerSecond);
	put32(kFramesPerSecond * 4);
	put16(4);
	put16(16);
	wave.write("data", 4);
	put32(dataBytes);
	std::vector<int16> second(size_t(kFramesPerSecond) * 2);
	uint32 noise = seed * 2654435761u + 1;
	const double base = 110.0 * (1 + (seed % 7) / 7.0);
	int64 frame = 0;
	for (int64 s = 0; s < seconds; s++) {
		for (int32 i = 0; i < kFramesPerSecond; i++, frame++) {
			double t = double(frame) / kFramesPerSecond;
			double chord = 0.3 * std::sin(2 * M_PI * base * t) + 0.2 * std::sin(2 * M_PI * base * 1.26 * t)
				+ 0.15 * std::sin(2 * M_PI * base * 1.5 * t * (1 + 0.001 * std::sin(t)));
			noise = noise * 1664525u + 1013904223u;
			double hiss = (int32(noise >> 16) - 32768) / 32768.0 * 0.02;
			second[size_t(i) * 2] = int16(std::lround((chord + hiss) * 20000));
			second[size_t(i) * 2 + 1] = int16(std::lround((chord * 0.8 - hiss) * 20000));
		}
		wave.write(reinterpret_cast<const char*>(second.data()), std::streamsize(second.size() * 2));
	}
}

int RunCommand(const std::vector<std::string>& arguments)
{
	pid_t child = fork();
	if (child == 0) {
		std::vector<char*> argv;
		for (const std::string& argument : arguments)
			argv.push_back(const_cast<char*>(argument.c_str()));
		argv.push_back(nullptr);
		execvp(argv[0], argv.data());
		_exit(127);
	}
	int status = 0;
	waitpid(child, &status, 0);
	return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct BURN_RESULT {
	bool succeeded = false;
	std::string failure;
	float minBufferFill = 101;     // after the first fill, while the reader has data
	float minRecorderFill = 101;
	int32 sectors = 0;
};

// Runs in a child process: the program's start-up with the drives file
// `drives`, one burn of the files of `project`, the outcome written to the
// pipe `out`.
void BurnInChild(const std::string& drives, const std::string& project, float speed, int out)
{
	setenv("TARNWICK_VIRTUAL_DRIVES", drives.c_str(), 1);
	CConsoleAlertHandler alerts;
	SetAlertHandler(&alerts);
	InitPreferenceHandler(GetSettingsFile().c_str());
	LoadDriver();
	OpenDevices();
	CDevice* device = nullptr;
	for (int i = 0; i < kMaxDevices && g_pDevices[i] != nullptr && device == nullptr; i++)
		if (g_pDevices[i]->GetDriver() != nullptr && (g_pDevices[i]->GetDriver()->Flags & F_DAO_WRITE) != 0)
			device = g_pDevices[i];
	BURN_RESULT result;
	if (device == nullptr) {
		result.failure = "no recorder";
	} else {
		auto cdProject = std::make_unique<CProject>(project.c_str());
		std::vector<fs::path> files;
		for (const fs::directory_entry& entry : fs::directory_iterator(project))
			if (entry.path().extension() == ".flac")
				files.push_back(entry.path());
		std::sort(files.begin(), files.end());
		for (const fs::path& file : files) {
			std::string leaf = file.filename().string();
			cdProject->AddTrack(std::make_unique<CProjectTrack>(cdProject.get(), leaf.c_str(), leaf.c_str(), "", 0, 0, 0));
		}
		int32 speedValue = -1;
		const SPEED_INFO* table = device->GetDriver()->pWriteSpeedCdr;
		for (int32 i = 0; table != nullptr && table[i].fFactor != 0.0f; i++)
			if (table[i].fFactor <= speed + 0.01f)
				speedValue = table[i].nValue;
		auto* action = new CRecordAction;
		action->nActionFlags = RECORD_ACTION_WRITE;
		action->nWriteMode = RECORD_MODE_DAO;
		action->pProject = cdProject.get();
		action->pDevice = device;
		action->nWriteSpeed = speedValue;
		action->fSpeedFactor = speed;
		auto sink = std::make_shared<CMessageSink>();
		{
			CCdRecordStatusView view(sink->Messenger());
			view.StartRecording(action);
			// The ring buffer's size in sectors, once there is one.
			CPreference* preference = device->GetPreference();
			int32 sectors = 27, clusters = 8, elements = 14;
			if (preference != nullptr) {
				preference->FindInt32("write buffer sectors", &sectors);
				preference->FindInt32("write buffer clusters", &clusters);
				preference->FindInt32("write buffer elements", &elements);
			}
			const int32 bufferSectors = sectors * clusters * elements;
			while (true) {
				std::unique_ptr<BMessage> message = sink->WaitForMessage(M_RECORD_WRITE_THREAD_ENDED, 20000);
				if (message != nullptr) {
					view.MessageReceived(message.get());
					break;
				}
				sink->Clear();
				int32 state = view.RunState();
				if (state != STATUS_LEADIN && state != STATUS_TRACK_WRITE)
					continue;
				int32 left = view.CountSectorsOfDisc() - view.CurrentSectorOfDisc();
				if (left <= bufferSectors)
					continue;
				float fill = view.BufferFill();
				if (fill >= 0)
					result.minBufferFill = std::min(result.minBufferFill, fill);
				float recorder = view.RecorderBufferFill();
				if (recorder >= 0 && state == STATUS_TRACK_WRITE)
					result.minRecorderFill = std::min(result.minRecorderFill, recorder);
			}
			result.succeeded = view.Succeeded();
			result.failure = view.FailureMessage();
			result.sectors = view.CountSectorsOfDisc();
		}
	}
	char text[512];
	snprintf(text, sizeof(text), "%d %.1f %.1f %d %s", result.succeeded ? 1 : 0, result.minBufferFill,
		result.minRecorderFill, int(result.sectors), result.failure.c_str());
	ssize_t ignored = write(out, text, strlen(text));
	(void)ignored;
	close(out);
	_exit(result.succeeded ? 0 : 1);
}

struct MEASURED {
	BURN_RESULT burn;
	double seconds = 0;
	long maxRssKiB = 0;
};

MEASURED Burn(const std::string& drives, const std::string& project, float speed)
{
	int pipes[2];
	MEASURED measured;
	if (pipe(pipes) != 0)
		return measured;
	auto start = std::chrono::steady_clock::now();
	pid_t child = fork();
	if (child == 0) {
		close(pipes[0]);
		BurnInChild(drives, project, speed, pipes[1]);
	}
	close(pipes[1]);
	std::string text;
	char buffer[512];
	ssize_t got;
	while ((got = read(pipes[0], buffer, sizeof(buffer))) > 0)
		text.append(buffer, size_t(got));
	close(pipes[0]);
	int status = 0;
	rusage usage {};
	wait4(child, &status, 0, &usage);
	measured.seconds = Seconds(start);
	measured.maxRssKiB = usage.ru_maxrss;
	int succeeded = 0, sectors = 0;
	float minFill = 0, minRecorder = 0;
	int consumed = 0;
	if (sscanf(text.c_str(), "%d %f %f %d %n", &succeeded, &minFill, &minRecorder, &sectors, &consumed) >= 4) {
		measured.burn.succeeded = succeeded != 0;
		measured.burn.minBufferFill = minFill;
		measured.burn.minRecorderFill = minRecorder;
		measured.burn.sectors = sectors;
		measured.burn.failure = text.substr(size_t(consumed));
	} else {
		measured.burn.failure = "the burn did not report (exit status " + std::to_string(status) + ")";
	}
	return measured;
}

std::string DrivesFile(const std::string& folder, const std::string& name, bool realTime, int speed)
{
	std::string path = folder + "/" + name;
	std::ofstream(path) << "[drive]\nproduct = \"Bench Recorder\"\nmedium = cdr\nminutes = 80\n"
						<< "timing = " << (realTime ? "realtime" : "instant") << "\nafter_eject = blank\n"
						<< "write_speeds = 4 8 16 24 32 40 " << speed << "\nbuffer_kb = 2048\n"
						<< "output = " << folder << "/images\n";
	return path;
}

}   // namespace

int main(int argc, char** argv)
{
	int minutes = 74, trackMinutes = 2, speed = 48, realtimeMinutes = -1;
	bool keep = false, skipRealtime = false;
	std::string folder;
	for (int i = 1; i < argc; i++) {
		std::string argument = argv[i];
		if (argument == "--minutes" && i + 1 < argc)
			minutes = atoi(argv[++i]);
		else if (argument == "--track-minutes" && i + 1 < argc)
			trackMinutes = atoi(argv[++i]);
		else if (argument == "--speed" && i + 1 < argc)
			speed = atoi(argv[++i]);
		else if (argument == "--realtime-minutes" && i + 1 < argc)
			realtimeMinutes = atoi(argv[++i]);
		else if (argument == "--skip-realtime")
			skipRealtime = true;
		else if (argument == "--keep")
			keep = true;
		else if (argument == "--folder" && i + 1 < argc)
			folder = argv[++i];
		else {
			fprintf(stderr, "usage: bench_burn [--minutes N] [--track-minutes N] [--speed X] [--realtime-minutes N] "
							"[--skip-realtime] [--folder DIR] [--keep]\n");
			return 2;
		}
	}
	if (minutes < 10 || minutes > 79 || trackMinutes < 1 || trackMinutes > minutes || speed < 1 || speed > 100)
		return 2;
	if (realtimeMinutes < 0)
		realtimeMinutes = minutes;
	if (folder.empty())
		folder = (fs::temp_directory_path() / ("bench-burn-" + std::to_string(getpid()))).string();
	// The program's settings and the recorder's images stay inside the folder.
	setenv("HOME", folder.c_str(), 1);
	setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
	setenv("XDG_DATA_HOME", (folder + "/data").c_str(), 1);
	SetDriverAddOnFolder(TARNWICK_ADDONS_DIR);
	std::string systemRoot = folder + "/no-real-drives";
	fs::create_directories(systemRoot);
	dev_set_system_roots(systemRoot.c_str(), systemRoot.c_str());
	const std::string project = folder + "/project";
	const std::string small = folder + "/project-10";
	fs::create_directories(project);
	fs::create_directories(small);
	fs::create_directories(folder + "/images");

	// The project: FLAC files of trackMinutes each (the last one takes the
	// rest), the first ones also making the 10-minute project.
	auto start = std::chrono::steady_clock::now();
	std::string list;
	int made = 0;
	for (int t = 1; made < minutes; t++) {
		int length = std::min(trackMinutes, minutes - made);
		char name[32];
		snprintf(name, sizeof(name), "track%02d", t);
		std::string wav = folder + "/" + name + ".wav";
		std::string flac = project + "/" + name + ".flac";
		std::error_code missing;
		if (fs::exists(flac, missing)) {
			// A kept folder: the files are made already.
		} else if (WriteWav(wav, int64(length) * 60, uint32(t)); RunCommand({"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-i", wav, "-c:a", "flac", "-sample_fmt",
				"s16", flac})
			!= 0) {
			fprintf(stderr, "bench_burn: ffmpeg could not make %s\n", flac.c_str());
			return 1;
		}
		fs::remove(wav, missing);
		if (made < 10 && !fs::exists(small + "/" + name + ".flac", missing))
			fs::create_symlink(flac, small + "/" + name + ".flac");
		list += "file '" + flac + "'\n";
		made += length;
	}
	std::ofstream(folder + "/list.txt") << list;
	printf("project: %d minutes of FLAC in %d-minute tracks (made in %.1f s)\n", minutes, trackMinutes, Seconds(start));
	fflush(stdout);

	const std::string instant = DrivesFile(folder, "instant-drives", false, speed);
	const std::string realtime = DrivesFile(folder, "realtime-drives", true, speed);

	// 1. Instant burn against ffmpeg decoding the same files.
	MEASURED burn = Burn(instant, project, float(speed));
	start = std::chrono::steady_clock::now();
	int ffmpegStatus = RunCommand({"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "concat", "-safe", "0", "-i",
		folder + "/list.txt", "-f", "s16le", folder + "/decoded.raw"});
	const double ffmpegSeconds = Seconds(start);
	std::error_code ignored;
	fs::remove(folder + "/decoded.raw", ignored);
	printf("burn, instant clock: %.2f s (%s, %d sectors)\n", burn.seconds,
		burn.burn.succeeded ? "written" : ("FAILED: " + burn.burn.failure).c_str(), int(burn.burn.sectors));
	printf("ffmpeg decoding to one raw file: %.2f s%s\n", ffmpegSeconds, ffmpegStatus == 0 ? "" : " (FAILED)");
	printf("ratio burn / ffmpeg: %.2f (target at most 1.2)\n", burn.seconds / ffmpegSeconds);
	fflush(stdout);

	// 3. Peak resident memory: 10 minutes against the whole project.
	MEASURED tenMinutes = Burn(instant, small, float(speed));
	printf("peak resident memory: 10-minute project %ld MiB (%s), %d-minute project %ld MiB\n",
		tenMinutes.maxRssKiB / 1024, tenMinutes.burn.succeeded ? "written" : "FAILED", minutes, burn.maxRssKiB / 1024);
	fflush(stdout);

	// 2. Real time at the chosen speed with both cores busy.
	bool realtimeOk = true;
	if (!skipRealtime) {
		std::string realtimeProject = project;
		if (realtimeMinutes < minutes)
			realtimeProject = small;
		std::vector<pid_t> spinners;
		long cores = std::max(2L, sysconf(_SC_NPROCESSORS_ONLN));
		for (long i = 0; i < cores; i++) {
			pid_t child = fork();
			if (child == 0) {
				volatile uint64 counter = 0;
				while (true)
					counter = counter + 1;
			}
			spinners.push_back(child);
		}
		MEASURED timed = Burn(realtime, realtimeProject, float(speed));
		for (pid_t child : spinners) {
			kill(child, SIGKILL);
			waitpid(child, nullptr, 0);
		}
		realtimeOk = timed.burn.succeeded;
		printf("burn, real-time clock at %dX with %ld spinning processes: %.1f s, %s\n", speed, cores, timed.seconds,
			timed.burn.succeeded ? "written, no underrun" : ("FAILED: " + timed.burn.failure).c_str());
		printf("  lowest ring buffer fill after the first fill: %.1f %% (target at least 50 %%)\n",
			timed.burn.minBufferFill);
		printf("  lowest recorder buffer fill while writing tracks: %.1f %%\n", timed.burn.minRecorderFill);
	}

	if (!keep)
		fs::remove_all(folder, ignored);
	return burn.burn.succeeded && tenMinutes.burn.succeeded && realtimeOk ? 0 : 1;
}
