// Arbitrary bytes as a sound file: open, list and negotiate every track,
// read a bounded number of frames, seek, read again. FFmpeg's demuxers and
// decoders are the parsers; the kit's own code must stay in bounds around
// them (buffer sizes, frame counts, conversions).
#include "kit/media/MediaFile.h"
#include "kit/media/MediaTrack.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

// Bounds each input's work: decoded frames per track and reads per pass.
constexpr int64 kMaxFrames = 1 << 18;
constexpr int kMaxReads = 64;

void ReadSome(BMediaTrack* track, std::vector<uint8_t>& buffer, size_t frameBytes)
{
	int64 total = 0;
	for (int i = 0; i < kMaxReads && total < kMaxFrames; i++) {
		int64 frames = -1;
		status_t status = track->ReadFrames(buffer.data(), &frames);
		if (status != B_OK) {
			if (frames != 0)
				abort();
			break;
		}
		// Whole frames, never more than the negotiated buffer.
		if (frames <= 0 || size_t(frames) * frameBytes > buffer.size())
			abort();
		total += frames;
	}
}

}   // namespace

// Crafted headers make FFmpeg allocate many differently sized buffers; let
// the sanitizer's allocator hand freed memory back so that the run's RSS
// reflects live memory only.
extern "C" const char* __asan_default_options()
{
	return "allocator_release_to_os_interval_ms=500:quarantine_size_mb=64";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	int fd = memfd_create("fuzz_media_file", 0);
	if (fd < 0)
		return 0;
	size_t written = 0;
	while (written < size) {
		ssize_t n = write(fd, data + written, size - written);
		if (n <= 0)
			break;
		written += size_t(n);
	}
	entry_ref ref(0, 0, std::to_string(fd), "/proc/self/fd");
	{
		BMediaFile file(&ref, B_MEDIA_FILE_BIG_BUFFERS);
		if (file.InitCheck() == B_OK) {
			const int32 count = file.CountTracks();
			for (int32 i = 0; i < count && i < 8; i++) {
				BMediaTrack* track = file.TrackAt(i);
				if (track == nullptr)
					abort();
				media_format encoded;
				track->EncodedFormat(&encoded);
				track->CountFrames();
				media_format format;
				format.type = B_MEDIA_RAW_AUDIO;
				format.u.raw_audio.buffer_size = 4096 + size % 977;
				if (track->DecodedFormat(&format) != B_OK)
					continue;
				const size_t frameBytes = 2 * size_t(format.u.raw_audio.channel_count);
				if (format.u.raw_audio.format != B_AUDIO_SHORT || frameBytes == 0
					|| format.u.raw_audio.buffer_size % frameBytes != 0)
					abort();
				std::vector<uint8_t> buffer(format.u.raw_audio.buffer_size);
				ReadSome(track, buffer, frameBytes);
				int64 frame = 0;
				if (track->SeekToFrame(&frame) == B_OK && frame != 0)
					abort();
				ReadSome(track, buffer, frameBytes);
				file.ReleaseTrack(track);
			}
		}
	}
	close(fd);
	return 0;
}
