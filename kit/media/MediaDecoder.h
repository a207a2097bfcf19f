// The decoding side of one audio track: FFmpeg's decoder for one stream of
// an open demuxer, delivering interleaved 16-bit samples in host order at
// the stream's own rate and channel count (never resampled or remixed).
// Owned by its BMediaTrack; one thread at a time.
#pragma once

#include "kit/media/MediaDefs.h"

#include <memory>
#include <string>
#include <vector>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwrContext;
class MediaDemuxer;

class MediaDecoder {
public:
	// Decodes stream `stream->index` of the file at `path`. `stream` (of the
	// media file's own demuxer) gives the codec parameters and must outlive
	// the decoder; reading opens a demuxer of the decoder's own, with an I/O
	// buffer of `bufferSize` bytes.
	MediaDecoder(const std::string& path, int32 bufferSize, const AVStream* stream);
	~MediaDecoder();
	MediaDecoder(const MediaDecoder&) = delete;
	MediaDecoder& operator=(const MediaDecoder&) = delete;

	// Opens the decoder when needed and fills `ioFormat` with what it
	// offers: raw audio, the stream's rate and channels, B_AUDIO_SHORT, host
	// byte order, the requested buffer size in whole frames (a default when
	// open). B_MEDIA_BAD_FORMAT when something else than raw audio is asked
	// for, B_MEDIA_NO_HANDLER when no decoder opens.
	status_t Negotiate(media_format* ioFormat);

	// Fills `buffer` (the negotiated buffer size) with as many whole frames
	// as it holds, fewer only at the end. B_OK with *frameCount > 0; at the
	// end 0 frames and B_LAST_BUFFER_ERROR; after a read or format error the
	// frames decoded before it come first, then that error.
	status_t ReadFrames(void* buffer, int64* frameCount, media_header* header);

	// Positions at *ioFrame exactly; *ioFrame receives where the track
	// stands, which is earlier when the track ends first. Frame 0 restarts
	// demuxer and decoder as freshly opened; PCM seeks by timestamp; other
	// codecs decode from the start and drop the frames before the target.
	status_t SeekToFrame(int64* ioFrame);

	// Delivers at most `frames` frames from frame 0 on: the length the file
	// declares when the decoder alone would hand out the encoder's padding
	// at the end. -1 (the default) for no limit.
	void SetFrameLimit(int64 frames) { fFrameLimit = frames; }

	int64 CurrentFrame() const { return fPosition; }
	int32 FrameBytes() const { return fFrameBytes; }

	// Decodes from the current position to the end, counting frames.
	status_t CountRemainingFrames(int64* frames);
	// PCM: the frames the file's data holds (first packet to end of file,
	// at most `statedFrames` when that is positive). Leaves the track at
	// frame 0.
	status_t CountPcmFrames(int64 statedFrames, int64* frames);
	bool IsPcm() const;

private:
	status_t _Open();
	status_t _Restart();
	status_t _EnsureDemuxer();
	status_t _NextFrame();
	// Drops up to `count` decoded frames; returns how many were dropped.
	int64 _Skip(int64 count, status_t* status);
	bool _Convert(uint8* destination, int64 frames);
	// Frames that may still be handed out at `position` under the limit.
	int64 _FramesAllowed(int64 position) const;

	std::string fPath;
	int32 fIOBufferSize;
	const AVStream* fStream;
	int fStreamIndex;
	std::unique_ptr<MediaDemuxer> fDemuxer;

	AVCodecContext* fCodec = nullptr;
	AVPacket* fPacket = nullptr;
	AVFrame* fFrame = nullptr;
	SwrContext* fSwr = nullptr;
	int fSwrFormat = -1;
	std::vector<const uint8*> fPlanes;

	status_t fOpenStatus = B_NO_INIT;
	int32 fChannels = 0;
	int32 fRate = 0;
	int32 fFrameBytes = 0;
	int64 fBufferFrames = 0;
	bool fNegotiated = false;

	bool fHaveFrame = false;
	int64 fFrameOffset = 0;       // frames of fFrame already handed out
	bool fInputEnded = false;     // the demuxer is at its end; the decoder drains
	bool fEnded = false;          // nothing more will come
	status_t fEndStatus = B_LAST_BUFFER_ERROR;
	int32 fBadPackets = 0;        // consecutive packets the decoder refused
	int64 fPosition = 0;          // frames handed out (or skipped) since frame 0
	int64 fOriginPts;             // timestamp of frame 0, once seen
	bool fAtStart = true;         // the next decoded frame is frame 0
	int64 fFrameLimit = -1;       // frames delivered at most, -1: all
};
