#include "emulator/SoundFileDecoder.h"

#include "kit/media/MediaFile.h"
#include "kit/media/MediaTrack.h"
#include "kit/storage/EntryRef.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace {

// Bytes decoded at a time: 16 sectors.
constexpr size_t kDecodeBufferBytes = 16 * 2352;

bool WriteAll(int fd, const uint8* data, size_t size)
{
	while (size > 0) {
		ssize_t n = ::write(fd, data, size);
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0)
			return false;
		data += n;
		size -= size_t(n);
	}
	return true;
}

// An unlinked temporary file open for reading and writing, or -1: it
// disappears with its last descriptor.
int CreateScratchFile()
{
	const char* tmp = std::getenv("TMPDIR");
	std::string folder = tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp";
	int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_EXCL | O_CLOEXEC, 0600);
	if (fd >= 0)
		return fd;
	std::string name = folder + "/tarnwick-audio-XXXXXX";
	fd = ::mkostemp(name.data(), O_CLOEXEC);
	if (fd >= 0)
		::unlink(name.c_str());
	return fd;
}

}   // namespace

status_t DecodeSoundFile(const std::string& path, const std::string& name, uint64 maxBytes, int* fd, uint64* size,
	std::string* error)
{
	*fd = -1;
	entry_ref ref;
	if (get_ref_for_path(path.c_str(), &ref) != B_OK) {
		*error = "cannot open " + path;
		return B_ENTRY_NOT_FOUND;
	}
	BMediaFile file(&ref);
	if (file.InitCheck() != B_OK) {
		*error = name + " is not a sound file the media kit can decode";
		return B_BAD_DATA;
	}
	BMediaTrack* track = nullptr;
	media_format decoded;
	std::string reason;
	for (int32 i = 0; i < file.CountTracks() && track == nullptr; i++) {
		BMediaTrack* candidate = file.TrackAt(i);
		media_format encoded;
		if (candidate == nullptr || candidate->EncodedFormat(&encoded) != B_OK || !encoded.IsAudio()) {
			file.ReleaseTrack(candidate);
			continue;
		}
		decoded.Clear();
		decoded.type = B_MEDIA_RAW_AUDIO;
		decoded.u.raw_audio.buffer_size = kDecodeBufferBytes;
		if (candidate->DecodedFormat(&decoded) != B_OK || decoded.u.raw_audio.buffer_size == 0) {
			reason = " (no decoder)";
			file.ReleaseTrack(candidate);
			continue;
		}
		const media_raw_audio_format& stored
			= encoded.type == B_MEDIA_RAW_AUDIO ? encoded.u.raw_audio : encoded.u.encoded_audio.output;
		const media_raw_audio_format& raw = decoded.u.raw_audio;
		// Integer samples of another size (8, 24 or 32 bits) are not CD
		// audio; lossy files (decoded from float) have no sample size.
		bool sampleSizeOk = stored.format == 0 || stored.format == B_AUDIO_SHORT || stored.format == B_AUDIO_FLOAT;
		if (raw.frame_rate != 44100.0f || raw.channel_count != 2 || raw.format != B_AUDIO_SHORT || !sampleSizeOk) {
			reason = " (" + std::to_string(int(raw.frame_rate)) + " Hz, " + std::to_string(raw.channel_count)
				+ (raw.channel_count == 1 ? " channel" : " channels")
				+ (sampleSizeOk ? ")" : ", not 16-bit)");
			file.ReleaseTrack(candidate);
			continue;
		}
		track = candidate;
	}
	if (track == nullptr) {
		*error = reason.empty() ? name + " is not a sound file the media kit can decode" : name + kNotCdAudio + reason;
		return B_BAD_DATA;
	}

	int scratch = CreateScratchFile();
	if (scratch < 0) {
		*error = "no room for the decoded samples of " + name;
		return B_IO_ERROR;
	}
	std::vector<uint8> buffer(decoded.u.raw_audio.buffer_size);
	bool swap = decoded.u.raw_audio.byte_order == B_MEDIA_BIG_ENDIAN;
	uint64 total = 0;
	status_t status = B_OK;
	for (;;) {
		int64 frames = 0;
		status_t read = track->ReadFrames(buffer.data(), &frames);
		if (frames > 0) {
			size_t bytes = std::min<size_t>(size_t(frames) * 4, buffer.size());
			if (total + bytes > maxBytes) {
				*error = name + " is longer than a CD";
				status = B_BAD_DATA;
				break;
			}
			if (swap)
				for (size_t b = 0; b + 1 < bytes; b += 2)
					std::swap(buffer[b], buffer[b + 1]);
			if (!WriteAll(scratch, buffer.data(), bytes)) {
				*error = "no room for the decoded samples of " + name;
				status = B_IO_ERROR;
				break;
			}
			total += bytes;
		}
		if (read == B_LAST_BUFFER_ERROR || (read == B_OK && frames == 0))
			break;
		if (read != B_OK) {
			*error = "cannot decode " + name;
			status = B_IO_ERROR;
			break;
		}
	}
	file.ReleaseTrack(track);
	if (status != B_OK) {
		::close(scratch);
		return status;
	}
	*fd = scratch;
	*size = total;
	return B_OK;
}

