// BMediaTrack: one track of a BMediaFile. A read track decodes audio to raw
// 16-bit samples at the file's own rate and channel count; a track made
// with BMediaFile::CreateTrack encodes raw 16-bit samples into the file.
// Owned by its file; used by one thread at a time.
#pragma once

#include "kit/media/MediaDefs.h"

#include <memory>

class BMediaFile;
class MediaDecoder;
class MediaEncoder;

class BMediaTrack {
public:
	~BMediaTrack();
	BMediaTrack(const BMediaTrack&) = delete;
	BMediaTrack& operator=(const BMediaTrack&) = delete;

	status_t InitCheck() const { return fStatus; }

	// The stored form: raw audio for PCM streams, else encoded audio or
	// encoded video; B_MEDIA_UNKNOWN_TYPE for other streams.
	status_t EncodedFormat(media_format* format) const;

	// Negotiates what ReadFrames delivers. Ask with type B_MEDIA_RAW_AUDIO
	// (or B_MEDIA_UNKNOWN_TYPE) and any wished fields; the answer is what the
	// decoder offers: the file's rate and channels, B_AUDIO_SHORT, host byte
	// order, the wished buffer size (whole frames) or a default. Other wishes
	// are not obeyed (the caller checks the answer). Errors:
	// B_MEDIA_BAD_FORMAT for tracks that are not audio or a type that is not
	// raw audio; B_MEDIA_NO_HANDLER when no decoder opens; B_NOT_ALLOWED on a
	// written track.
	status_t DecodedFormat(media_format* ioFormat, uint32 flags = 0);

	// Decoder (reading) or encoder (writing) names.
	status_t GetCodecInfo(media_codec_info* info) const;

	// Frames of the track as the file states them (an estimate for some
	// compressed files); frames written so far on a written track.
	int64 CountFrames() const;
	bigtime_t Duration() const;
	int64 CurrentFrame() const;

	// Fills `buffer` (the negotiated buffer size) with whole frames: a full
	// buffer, fewer only at the end; *frameCount receives the count. At the
	// end: 0 frames and B_LAST_BUFFER_ERROR. A read or format error ends the
	// track with that status (frames decoded before it come first).
	status_t ReadFrames(void* buffer, int64* frameCount, media_header* header = nullptr);

	// Goes to frame *ioFrame exactly; *ioFrame receives the frame reached
	// (the end when the track is shorter).
	status_t SeekToFrame(int64* ioFrame, int32 flags = 0);

	// The exact length of the track in frames: what ReadFrames delivers from
	// frame 0 to the end, found by decoding through (for PCM streams: from
	// the size of the data the file really holds, without decoding). The
	// position afterwards is unspecified: seek before reading.
	status_t CountFramesExactly(int64* frameCount);

	// Writing: encodes `frameCount` frames in the format given to
	// CreateTrack. Needs the header committed. B_OK or the write's failure
	// (B_DEVICE_FULL, B_IO_ERROR, ...).
	status_t WriteFrames(const void* data, int32 frameCount, int32 flags = 0);

	// Writing: 0.0 (smallest) to 1.0 (best); takes effect at CommitHeader.
	// B_BAD_VALUE out of range, B_NOT_ALLOWED once the header is written or
	// on a read track.
	status_t SetQuality(float quality);
	status_t GetQuality(float* quality) const;

private:
	friend class BMediaFile;

	BMediaTrack(BMediaFile* file, int32 streamIndex);
	BMediaTrack(BMediaFile* file, std::unique_ptr<MediaEncoder> encoder);

	BMediaFile* fFile;
	int32 fStreamIndex;
	status_t fStatus = B_NO_INIT;
	media_type fKind = B_MEDIA_UNKNOWN_TYPE;
	int64 fFrameCount = 0;
	int32 fRate = 0;
	std::unique_ptr<MediaDecoder> fDecoder;
	std::unique_ptr<MediaEncoder> fEncoder;
};
