// How fast CRawMediaFileReader delivers CD audio: frames per second over
// whole files, read the way the recording feeder reads (one second of audio
// per request). Not a test: scripts/bench-media runs it next to the ffmpeg
// tool on the same files.
//
//   bench_raw_media_reader [--runs N] FILE...
//
// Prints one line per file: "<file> frames=<n> best_s=<t> fps=<frames/s>",
// the best of N runs (default 5), each run opening the file anew.
#include "projects/RawMediaFileReader.h"

#include "frame/Diagnostics.h"
#include "kit/storage/EntryRef.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int32 kRequestFrames = 44100;

// Seconds for one pass over `path`; the frames delivered in `frames`.
double ReadOnce(const entry_ref& ref, std::vector<uint8>& buffer, int64* frames)
{
	const auto start = std::chrono::steady_clock::now();
	CRawMediaFileReader reader;
	if (reader.SetTo(ref) != B_OK)
		return -1.0;
	int64 total = 0;
	for (;;) {
		int32 count = kRequestFrames;
		reader.ReadFrames(buffer.data(), &count);
		if (count == 0)
			break;
		total += count;
	}
	*frames = total;
	return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}   // namespace

int main(int argc, char** argv)
{
	int runs = 5;
	std::vector<std::string> files;
	for (int i = 1; i < argc; i++) {
		if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
			runs = std::max(1, std::atoi(argv[++i]));
		else
			files.emplace_back(argv[i]);
	}
	if (files.empty()) {
		std::fprintf(stderr, "usage: %s [--runs N] FILE...\n", argv[0]);
		return 2;
	}
	// The reader's diagnostics (length mismatches) are not part of the run.
	FILE* sink = std::fopen("/dev/null", "w");
	if (sink != nullptr)
		SetDebugOutput(sink);

	std::vector<uint8> buffer(size_t(kRequestFrames) * 4);
	int status = 0;
	for (const std::string& file : files) {
		entry_ref ref;
		if (get_ref_for_path(file.c_str(), &ref) != B_OK) {
			std::fprintf(stderr, "%s: not found\n", file.c_str());
			status = 1;
			continue;
		}
		double best = -1.0;
		int64 frames = 0;
		for (int run = 0; run < runs; run++) {
			double seconds = ReadOnce(ref, buffer, &frames);
			if (seconds < 0) {
				std::fprintf(stderr, "%s: not CD audio\n", file.c_str());
				status = 1;
				break;
			}
			best = best < 0 ? seconds : std::min(best, seconds);
		}
		if (best > 0) {
			std::printf("%s frames=%lld best_s=%.4f fps=%.0f\n", file.c_str(), (long long)frames, best,
				double(frames) / best);
		}
	}
	return status;
}
