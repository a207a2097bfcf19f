// How fast the extraction engine rips a disc to FLAC compared with the flac
// tool encoding the same audio from a WAV file: a virtual drive with an
// instant clock holds a disc of generated audio (music-like: tones and
// noise, so the encoders have work to do), the engine reads every track into
// FLAC files, then `flac -5` encodes one WAV file of the same samples. Not a
// test: timing lives here.
//
//   bench_rip [--minutes N] [--tracks N] [--secure] [--sync SECTORS] [--keep] [--folder DIR]
//
// Prints the seconds of both (wall and CPU), their ratios and the peak
// resident memory. With --keep and --folder a later run reuses the disc.
#include "devices/Device.h"
#include "devices/ScsiMisc.h"
#include "disc/Toc.h"
#include "driver/driverbaseclass.h"
#include "emulator/DiscImage.h"
#include "emulator/DriveConfig.h"
#include "emulator/MmcDrive.h"
#include "extraction/CddaReadView.h"
#include "kit/device/DeviceNamespace.h"
#include "kit/device/RawDevice.h"
#include "kit/device/VirtualDevice.h"
#include "kit/interface/Alert.h"
#include "kit/kernel/OS.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int32 kSectorBytes = 2352;

double Seconds(std::chrono::steady_clock::time_point start)
{
	return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Writes `sectors` sectors of generated audio to `bin` and the same samples
// as a WAV file to `wav`, a second at a time.
void WriteAudio(const std::string& bin, const std::string& wav, int64 sectors)
{
	std::ofstream raw(bin, std::ios::binary), wave(wav, std::ios::binary);
	const uint32 dataBytes = uint32(sectors * kSectorBytes);
	auto put32 = [&](uint32 v) { wave.write(reinterpret_cast<const char*>(&v), 4); };
	auto put16 = [&](uint16 v) { wave.write(reinterpret_cast<const char*>(&v), 2); };
	wave.write("RIFF", 4);
	put32(36 + dataBytes);
	wave.write("WAVEfmt ", 8);
	put32(16);
	put16(1);
	put16(2);
	put32(44100);
	put32(44100 * 4);
	put16(4);
	put16(16);
	wave.write("data", 4);
	put32(dataBytes);

	std::vector<int16> second(75 * 588 * 2);
	uint32 noise = 12345;
	int64 frame = 0;
	for (int64 done = 0; done < sectors; done += 75) {
		int64 count = std::min<int64>(75, sectors - done);
		for (int64 i = 0; i < count * 588; i++, frame++) {
			double t = double(frame) / 44100.0;
			// A slowly changing chord with a little noise.
			double chord = 0.3 * std::sin(2 * M_PI * 220.0 * t) + 0.2 * std::sin(2 * M_PI * 277.2 * t * (1 + 0.001 * std::sin(t)))
				+ 0.15 * std::sin(2 * M_PI * 329.6 * t) + 0.1 * std::sin(2 * M_PI * 55.0 * t);
			noise = noise * 1664525u + 1013904223u;
			double hiss = (int32(noise >> 16) - 32768) / 32768.0 * 0.02;
			second[size_t(i) * 2] = int16(std::lround((chord + hiss) * 20000));
			second[size_t(i) * 2 + 1] = int16(std::lround((chord * 0.8 - hiss) * 20000));
		}
		raw.write(reinterpret_cast<const char*>(second.data()), std::streamsize(count * kSectorBytes));
		wave.write(reinterpret_cast<const char*>(second.data()), std::streamsize(count * kSectorBytes));
	}
}

std::string Msf(int64 sectors)
{
	char text[16];
	snprintf(text, sizeof(text), "%02d:%02d:%02d", int(sectors / 4500), int(sectors / 75 % 60), int(sectors % 75));
	return text;
}

}   // namespace

int main(int argc, char** argv)
{
	int minutes = 74, trackCount = 20, syncSectors = 0;
	bool secure = false, keep = false;
	std::string folder;
	for (int i = 1; i < argc; i++) {
		std::string argument = argv[i];
		if (argument == "--minutes" && i + 1 < argc)
			minutes = atoi(argv[++i]);
		else if (argument == "--tracks" && i + 1 < argc)
			trackCount = atoi(argv[++i]);
		else if (argument == "--sync" && i + 1 < argc)
			syncSectors = atoi(argv[++i]);
		else if (argument == "--secure")
			secure = true;
		else if (argument == "--keep")
			keep = true;
		else if (argument == "--folder" && i + 1 < argc)
			folder = argv[++i];
		else {
			fprintf(stderr, "usage: bench_rip [--minutes N] [--tracks N] [--secure] [--sync SECTORS] [--keep] [--folder DIR]\n");
			return 2;
		}
	}
	if (minutes < 1 || minutes > 80 || trackCount < 1 || trackCount > 99)
		return 2;
	if (folder.empty())
		folder = (std::filesystem::temp_directory_path() / ("bench-rip-" + std::to_string(getpid()))).string();
	std::filesystem::remove_all(folder + "/out");   // files of an earlier run
	std::filesystem::create_directories(folder + "/out");

	const int64 sectors = int64(minutes) * 60 * 75;
	auto start = std::chrono::steady_clock::now();
	// A kept folder with a disc of this length is used again.
	std::error_code sizeError;
	if (std::filesystem::file_size(folder + "/disc.bin", sizeError) != uintmax_t(sectors * kSectorBytes)
		|| std::filesystem::file_size(folder + "/disc.wav", sizeError) != uintmax_t(sectors * kSectorBytes + 44))
		WriteAudio(folder + "/disc.bin", folder + "/disc.wav", sectors);
	std::string cue = "FILE \"disc.bin\" BINARY\n";
	for (int t = 0; t < trackCount; t++) {
		char line[96];
		snprintf(line, sizeof(line), "  TRACK %02d AUDIO\n    TITLE \"Track %d\"\n    INDEX 01 %s\n", t + 1, t + 1,
			Msf(sectors * t / trackCount).c_str());
		cue += line;
	}
	std::ofstream(folder + "/disc.cue") << cue;
	printf("disc: %d minutes, %d tracks, %lld sectors (made in %.1f s)\n", minutes, trackCount, (long long)sectors,
		Seconds(start));

	// The drive: instant clock, the command library's MMC record.
	std::shared_ptr<CDiscImage> image;
	std::string error;
	if (CDiscImage::LoadCue(folder + "/disc.cue", &image, &error) != B_OK) {
		fprintf(stderr, "bench_rip: %s\n", error.c_str());
		return 1;
	}
	CDriveConfig config;
	config.realTime = false;
	auto drive = std::make_shared<CMmcDrive>(config, image);
	std::string path;
	RegisterVirtualDevice(drive, &path);
	int bus = 0, target = 0, lun = 0;
	sscanf(path.c_str(), "/dev/bus/scsi/%d/%d/%d/raw", &bus, &target, &lun);
	int fd = dev_open(path.c_str(), O_RDONLY);
	SCSI_INQUIRY inquiry;
	if (fd < 0 || !ScsiInquiry(fd, &inquiry)) {
		fprintf(stderr, "bench_rip: the virtual drive does not answer\n");
		return 1;
	}
	auto device = std::make_unique<CDevice>(bus, target, lun, fd, &inquiry);
	image_id generic = load_add_on((std::string(TARNWICK_ADDONS_DIR) + "/generic").c_str());
	if (generic < 0) {
		fprintf(stderr, "bench_rip: no command library: %s\n", last_add_on_error());
		return 1;
	}
	device->SetDriver(new CDriver(generic));
	if (!device->ReadToc()) {
		fprintf(stderr, "bench_rip: no table of contents\n");
		return 1;
	}

	CConsoleAlertHandler alerts;
	SetAlertHandler(&alerts);
	CddaReadOptions options;
	options.overrideFormat = true;
	options.formatShortName = "flac";
	options.codecShortName = "flac";
	options.temporaryFolder = folder + "/out";
	options.secure = secure;
	options.overrideSync = syncSectors > 0;
	options.syncMode = syncSectors > 0 ? READ_SYNC_ALWAYS : READ_SYNC_OFF;
	options.syncSectors = syncSectors;
	options.overrideDeviceSettings = true;
	options.deviceSettings.readSpinupSectors = 0;
	std::vector<int32> tracks;
	for (int t = 1; t <= trackCount; t++)
		tracks.push_back(t);

	auto cpuSeconds = [](int who) {
		rusage usage;
		getrusage(who, &usage);
		return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
			+ double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
	};
	const double cpuBefore = cpuSeconds(RUSAGE_SELF);
	start = std::chrono::steady_clock::now();
	bool allGood = true;
	{
		CCddaReadView view(device.get());
		view.SetDiagnostics(nullptr);
		view.SetOptions(options);
		AddDiscTracks(&view, device.get(), folder + "/out", tracks);
		while (!view.WaitUntilIdle(1000000) || int(view.Results().size()) < trackCount) {
		}
		for (const CddaTrackResult& result : view.Results())
			allGood = allGood && result.Succeeded();
	}
	const double ripSeconds = Seconds(start);
	const double ripCpu = cpuSeconds(RUSAGE_SELF) - cpuBefore;
	rusage usage;
	getrusage(RUSAGE_SELF, &usage);

	start = std::chrono::steady_clock::now();
	pid_t child = fork();
	if (child == 0) {
		execlp("flac", "flac", "-5", "-f", "-s", "-o", (folder + "/flac-tool.flac").c_str(),
			(folder + "/disc.wav").c_str(), static_cast<char*>(nullptr));
		_exit(127);
	}
	int status = 0;
	waitpid(child, &status, 0);
	const double flacSeconds = Seconds(start);
	const double flacCpu = cpuSeconds(RUSAGE_CHILDREN);
	const bool flacRan = WIFEXITED(status) && WEXITSTATUS(status) == 0;

	uintmax_t ripBytes = 0;
	for (const auto& entry : std::filesystem::directory_iterator(folder + "/out"))
		if (entry.path().extension() == ".flac")
			ripBytes += entry.file_size();
	std::error_code ignored;
	uintmax_t toolBytes = std::filesystem::file_size(folder + "/flac-tool.flac", ignored);

	printf("rip%s%s: %.2f s, %.2f s of CPU (%s), %ju bytes of FLAC\n", secure ? " --secure" : "",
		syncSectors > 0 ? " with read sync" : "", ripSeconds, ripCpu, allGood ? "every track OK" : "TRACKS FAILED",
		ripBytes);
	printf("flac -5: %.2f s, %.2f s of CPU%s, %ju bytes\n", flacSeconds, flacCpu,
		flacRan ? "" : " (FAILED: is flac installed?)", toolBytes);
	// Wall time counts on an idle machine; CPU time is the fairer figure on
	// a busy one.
	printf("ratio rip / flac -5: %.2f (CPU time: %.2f)\n", ripSeconds / flacSeconds, ripCpu / flacCpu);
	printf("peak resident memory: %ld MiB\n", usage.ru_maxrss / 1024);

	device.reset();
	UnregisterVirtualDevices();
	if (!keep)
		std::filesystem::remove_all(folder, ignored);
	return allGood && flacRan ? 0 : 1;
}
