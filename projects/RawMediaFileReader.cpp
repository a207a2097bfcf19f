// CRawMediaFileReader: CD audio frames out of a media file.
#include "projects/RawMediaFileReader.h"

#include "frame/Diagnostics.h"
#include "kit/media/MediaFile.h"
#include "kit/media/MediaTrack.h"
#include "kit/support/EscapeText.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>

namespace {

constexpr size_t kWantedBufferSize = 262144;

}   // namespace

CRawMediaFileReader::CRawMediaFileReader() = default;

CRawMediaFileReader::~CRawMediaFileReader()
{
	if (fTrack != nullptr) {
		if (fBufferedFrames > 0) {
			DebugPrint("CRawMediaFileReader: error! file '%s' was %d or more frames longer than expected\n",
				EscapeControlChars(fFileName).c_str(), int(fBufferedFrames));
		} else if (fLastReadCount != -1 && fFramesDecoded < fFrameCount) {
			DebugPrint("CRawMediaFileReader: error! file '%s' was %lld frames shorter than expected\n",
				EscapeControlChars(fFileName).c_str(), (long long)(fFrameCount - fFramesDecoded));
		}
		fFile->ReleaseTrack(fTrack);
		fTrack = nullptr;
	}
	fFile.reset();
}

status_t CRawMediaFileReader::SetTo(const entry_ref& ref)
{
	DEBUG_ASSERT(fFile == nullptr);
	if (fFile != nullptr)
		return B_NOT_ALLOWED;

	fFile = std::make_unique<BMediaFile>(&ref, B_MEDIA_FILE_BIG_BUFFERS);
	status_t status = fFile->InitCheck();
	if (status != B_OK)
		return status;
	const int32 trackCount = fFile->CountTracks();
	if (trackCount <= 0)
		return B_ERROR;

	media_format format;
	for (int32 i = 0; i < trackCount; i++) {
		BMediaTrack* track = fFile->TrackAt(i);
		if (track == nullptr)
			continue;
		format.Clear();
		format.type = B_MEDIA_RAW_AUDIO;
		format.u.raw_audio.frame_rate = 44100.0f;
		format.u.raw_audio.channel_count = 2;
		format.u.raw_audio.format = B_AUDIO_SHORT;
		format.u.raw_audio.buffer_size = kWantedBufferSize;
		if (track->DecodedFormat(&format) == B_OK && format.type == B_MEDIA_RAW_AUDIO
			&& format.u.raw_audio.channel_count == 2 && format.u.raw_audio.frame_rate == 44100.0f
			&& format.u.raw_audio.format == B_AUDIO_SHORT) {
			fTrack = track;
			break;
		}
		fFile->ReleaseTrack(track);
	}
	if (fTrack == nullptr)
		return B_ERROR;

	const media_raw_audio_format& raw = format.u.raw_audio;
	fBufferSize = int32(std::min<size_t>(raw.buffer_size, size_t(INT32_MAX)));
	fSampleFormat = raw.format;
	fSampleSize = int32(raw.format & B_AUDIO_SIZE_MASK);
	fChannels = int32(raw.channel_count);
	fFrameSize = fSampleSize * fChannels;
	// The decoding buffer is made by the first read: a project opens every
	// file at once but reads one at a time.
	fBuffer.clear();
	fBufferCapacity = fBufferSize / fFrameSize;
	fFrameRate = raw.frame_rate;
	fByteOrder = raw.byte_order;
	fFrameCount = fTrack->CountFrames();
	fRemainingFrames = fFrameCount;
	fFramesDecoded = 0;
	fFileName = ref.name;
	fPath = ref.Path();
	struct stat st;
	fOpenedFileSize = stat(fPath.c_str(), &st) == 0 ? int64(st.st_size) : -1;
	return B_OK;
}

bool CRawMediaFileReader::_FileShrank() const
{
	struct stat st;
	if (stat(fPath.c_str(), &st) != 0)
		return true;
	return fOpenedFileSize >= 0 && int64(st.st_size) < fOpenedFileSize;
}

void CRawMediaFileReader::_HandOut(uint8*& destination, int64& wanted, int32& delivered)
{
	int32 n = int32(std::min<int64>(wanted, fBufferedFrames));
	if (n <= 0)
		return;
	std::memcpy(destination, fBuffer.data() + size_t(fBufferOffset) * size_t(fFrameSize),
		size_t(n) * size_t(fFrameSize));
	destination += size_t(n) * size_t(fFrameSize);
	fBufferOffset += n;
	fBufferedFrames -= n;
	fRemainingFrames -= n;
	wanted -= n;
	delivered += n;
}

status_t CRawMediaFileReader::ReadFrames(void* buffer, int32* frames)
{
	DEBUG_ASSERT(fTrack != nullptr && frames != nullptr);
	if (frames == nullptr)
		return B_OK;
	int64 wanted = std::min<int64>(std::max<int32>(*frames, 0), fRemainingFrames);
	*frames = 0;
	if (wanted <= 0 || fTrack == nullptr)
		return B_OK;

	auto* destination = static_cast<uint8*>(buffer);
	int32 delivered = 0;
	while (wanted > 0) {
		_HandOut(destination, wanted, delivered);

		if (wanted > 0 && !fFinished) {
			if (fBuffer.empty())
				fBuffer.assign(size_t(fBufferSize), 0);
			int64 count = 0;
			status_t status = fTrack->ReadFrames(fBuffer.data(), &count);
			if (fLastReadCount != -1 && count != fLastReadCount) {
				DebugPrint("CRawMediaFileReader: BMediaTrack::ReadFrames returned 0x%08X, %lld frames "
					"(frame count %lld, frames decoded %lld, remaining frames %lld)\n", unsigned(status),
					(long long)count, (long long)fFrameCount, (long long)fFramesDecoded,
					(long long)fRemainingFrames);
			}
			fLastReadCount = count;
			fBufferOffset = 0;
			if (status == B_OK) {
				fBufferedFrames = int32(std::clamp<int64>(count, 0, fBufferCapacity));
				fFramesDecoded += count;
				_HandOut(destination, wanted, delivered);
			} else if (status == B_LAST_BUFFER_ERROR) {
				fFinished = true;
				if (fFramesDecoded < fFrameCount && _FileShrank()) {
					DebugPrint("CRawMediaFileReader: error! file '%s' was cut while being read\n",
						EscapeControlChars(fFileName).c_str());
					*frames = delivered;
					return B_IO_ERROR;
				}
			} else {
				// A decoder that fails (the file cut or unreadable while
				// being read) is reported, not covered with silence.
				DebugPrint("CRawMediaFileReader: error! BMediaTrack::ReadFrames returned error code 0x%8X (%s)\n",
					unsigned(status), StatusText(status));
				*frames = delivered;
				return status;
			}
		}

		if (fFinished && wanted > 0) {
			std::memset(destination, 0, size_t(wanted) * size_t(fFrameSize));
			DebugPrint("CRawMediaFileReader: error! not enough frames, padding with zero bytes, FramesToRead = %d, "
				"track_rest_frames = %lld\n", int(wanted), (long long)fRemainingFrames);
			destination += size_t(wanted) * size_t(fFrameSize);
			delivered += int32(wanted);
			fRemainingFrames -= wanted;
			wanted = 0;
		}
	}
	*frames = delivered;
	return B_OK;
}

status_t CRawMediaFileReader::Rewind()
{
	DEBUG_ASSERT(fTrack != nullptr);
	if (fTrack == nullptr)
		return B_NO_INIT;
	int64 frame = 0;
	status_t status = fTrack->SeekToFrame(&frame);
	if (frame != 0)
		DebugPrint("CRawMediaFileReader: error! Couldn't seek to frame 0, newframe = %d\n", int(frame));
	fFinished = false;
	fRemainingFrames = fTrack->CountFrames();
	// Frames decoded before the seek belong to the old position: drop them,
	// and count the new pass from its start.
	fBufferedFrames = 0;
	fBufferOffset = 0;
	fFramesDecoded = 0;
	fLastReadCount = -1;
	return status;
}

int32 CRawMediaFileReader::FrameSize() const
{
	DEBUG_ASSERT(fTrack != nullptr);
	return fFrameSize;
}

uint32 CRawMediaFileReader::ByteOrder() const
{
	DEBUG_ASSERT(fTrack != nullptr);
	return fByteOrder;
}

int64 CRawMediaFileReader::CountFrames() const
{
	DEBUG_ASSERT(fTrack != nullptr);
	return fTrack != nullptr ? fTrack->CountFrames() : 0;
}
