// CRawMediaFileReader: delivers the CD audio of a sound file (44100 Hz,
// 2 channels, 16-bit samples) frame by frame to the recording feeder, always
// exactly as many frames as the file's track counts: a file that decodes
// shorter is padded with silence, one that decodes longer is cut; a decoder
// failure is passed on.
// Belongs to one feeder; one thread at a time.
#pragma once

#include "kit/storage/EntryRef.h"
#include "kit/support/SupportDefs.h"

#include <memory>
#include <string>
#include <vector>

class BMediaFile;
class BMediaTrack;

class CRawMediaFileReader {
public:
	CRawMediaFileReader();
	// Prints what went wrong with the length (see the .cpp; nothing for a
	// file that was not read since it was opened or rewound) and closes.
	~CRawMediaFileReader();
	CRawMediaFileReader(const CRawMediaFileReader&) = delete;
	CRawMediaFileReader& operator=(const CRawMediaFileReader&) = delete;

	// Opens the file and picks its first track that decodes to CD audio.
	// Once per reader. B_OK; the open status; B_ERROR when the file has no
	// tracks or none of them is CD audio.
	status_t SetTo(const entry_ref& ref);

	// In: *frames wanted; out: frames delivered, which is
	// min(wanted, frames remaining). B_OK; or the decoder's failure (a read
	// error) or B_IO_ERROR when the file ended early because it was cut or
	// removed after SetTo, with *frames = the frames delivered before it. A file that simply decodes shorter than its
	// count is padded with silence and gives B_OK.
	status_t ReadFrames(void* buffer, int32* frames);

	// Back to frame 0; frames still buffered from before are dropped.
	// Returns the seek's status.
	status_t Rewind();

	int32 FrameSize() const;       // 4
	uint32 ByteOrder() const;      // B_MEDIA_LITTLE_ENDIAN or B_MEDIA_BIG_ENDIAN
	int64 CountFrames() const;     // the track's frame count

private:
	void _HandOut(uint8*& destination, int64& wanted, int32& delivered);
	// The file is gone or smaller than when SetTo opened it.
	bool _FileShrank() const;

	std::unique_ptr<BMediaFile> fFile;
	BMediaTrack* fTrack = nullptr;          // owned by fFile
	std::vector<uint8> fBuffer;
	int32 fBufferCapacity = 0;              // frames
	int32 fBufferedFrames = 0;
	int32 fBufferSize = 0;                  // bytes
	int32 fFrameSize = 0;
	int32 fSampleSize = 0;
	int32 fChannels = 0;
	uint32 fSampleFormat = 0;
	uint32 fByteOrder = 0;
	float fFrameRate = 0;
	bool fFinished = false;
	int64 fRemainingFrames = 0;
	int64 fLastReadCount = -1;
	int64 fFramesDecoded = 0;
	int64 fFrameCount = 0;
	std::string fFileName;
	std::string fPath;
	int64 fOpenedFileSize = -1;
	int32 fBufferOffset = 0;                // frames of the buffer already handed out
};
