// The encoding side of one written audio track: raw interleaved 16-bit
// input (in the byte order it was declared with) converted to what the
// FFmpeg encoder takes, cut into the encoder's frame size and muxed.
// The only resampling in the kit happens here, for an encoder that cannot
// take the input's rate (Opus: 48 kHz); see EncoderEntry::resamples.
// Owned by its BMediaTrack; one thread at a time.
#pragma once

#include "kit/media/MediaDefs.h"
#include "kit/media/MediaFormats.h"

#include <vector>

struct AVAudioFifo;
struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwrContext;
class MediaIO;

class MediaEncoder {
public:
	// Adds a stream to `context` for `entry`, taking `input` (raw audio,
	// B_AUDIO_SHORT, rate and channels set). InitCheck() tells.
	MediaEncoder(AVFormatContext* context, MediaIO* io, const media_kit_private::EncoderEntry& entry,
		const media_raw_audio_format& input);
	~MediaEncoder();
	MediaEncoder(const MediaEncoder&) = delete;
	MediaEncoder& operator=(const MediaEncoder&) = delete;

	status_t InitCheck() const { return fStatus; }
	const media_kit_private::EncoderEntry& Entry() const { return fEntry; }
	int StreamIndex() const;

	status_t SetQuality(float quality);
	float Quality() const { return fQuality; }

	// Opens the encoder (quality applied) and fills the stream's
	// parameters; before the file's header is written.
	status_t Open();
	status_t Write(const void* data, int32 frames);
	// Pushes out what is buffered and drains the encoder; once.
	status_t Finish();

	int64 FramesWritten() const { return fFramesWritten; }

private:
	status_t _PushToFifo(const uint8* interleaved, int32 frames);
	status_t _Encode(bool final);
	status_t _SendFrame(AVFrame* frame);
	status_t _WriteError(int error) const;

	AVFormatContext* fContext;
	MediaIO* fIO;
	const media_kit_private::EncoderEntry& fEntry;
	media_raw_audio_format fInput;
	status_t fStatus = B_NO_INIT;
	float fQuality = 0.8f;
	bool fOpened = false;
	bool fFinished = false;

	AVStream* fStream = nullptr;
	AVCodecContext* fCodec = nullptr;
	SwrContext* fSwr = nullptr;
	AVAudioFifo* fFifo = nullptr;
	AVFrame* fFrame = nullptr;
	AVPacket* fPacket = nullptr;
	int32 fFrameSize = 0;              // samples per encoder frame
	int32 fChunkCapacity = 0;          // converted samples that fit fConverted
	std::vector<uint8> fSwapped;       // input in host order
	std::vector<uint8> fConverted;     // converted samples, all planes
	std::vector<uint8*> fPlanes;       // plane pointers into fConverted
	int64 fNextPts = 0;
	int64 fFramesWritten = 0;
};
