// The audio of a disc as exact sample streams: blocks of sectors read
// through a drive's audio read, moved by the drive's read offset (silence
// where the drive cannot read into the lead-in or the lead-out), and, with
// read synchronisation, read with an overlap that is matched sample-exactly
// against the audio before them, so that a drive that lands a few samples off
// (jitter) still gives a gapless, exact stream.
#pragma once

#include "kit/support/SupportDefs.h"

#include <functional>
#include <memory>

// Reads `count` sectors at `lba` into `buffer` (count x 2352 bytes, the
// drive's byte order). B_OK, or why not: B_DEV_NO_MEDIA when the disc is
// gone, B_DEV_NOT_READY / B_DEV_BAD_DRIVE_NUM when the drive is, anything
// else for a read error.
using AudioSectorReader = std::function<status_t(int32 lba, int32 count, void* buffer)>;

struct AudioBlockReaderOptions {
	int32 readOffset = 0;        // frames: the drive delivers this late (as offset lists count it)
	int32 syncMode = 0;          // READ_SYNC_OFF, READ_SYNC_ALWAYS or READ_SYNC_AUTO
	int32 syncSectors = 0;       // overlap of synchronised reads, in sectors
	int32 leadOut = 0;           // LBA of the lead-out: the drive reads 0 .. leadOut - 1
	int32 maxBlockSectors = 27;  // the longest block asked for
	int32 maxCommandSectors = 27;  // the most one drive command reads: a command lands as a whole
};

// Owned and used by one thread (the extraction engine's reading thread).
// Buffers are allocated once, in the constructor.
class CAudioBlockReader {
public:
	static constexpr int32 kAnchorFrames = 256;   // frames matched to place a block

	CAudioBlockReader(AudioSectorReader reader, const AudioBlockReaderOptions& options);
	~CAudioBlockReader();
	CAudioBlockReader(const CAudioBlockReader&) = delete;
	CAudioBlockReader& operator=(const CAudioBlockReader&) = delete;

	status_t InitCheck() const { return fStatus; }
	const AudioBlockReaderOptions& Options() const { return fOptions; }

	// Fills `buffer` with the `count` sectors of audio (count x 588 frames,
	// the drive's byte order) that belong at `lba`, the read offset applied.
	// With synchronisation, a block that continues the last accepted one is
	// placed by matching the overlap against it; the first block of a
	// stretch is accepted only when several reads of it agree. In automatic
	// mode a continuing block is read with only the anchor before it and
	// taken when the anchor sits where it belongs; the first time it does
	// not (the drive jitters), the block and every later one are read with
	// the full overlap, as in READ_SYNC_ALWAYS. The block is not
	// accepted yet: call Accept with the same block once it is used, so that
	// a re-read of the block is placed against the same audio.
	// B_OK; the drive's status; B_MISMATCHED_VALUES when the overlap could
	// not be placed (a re-read may succeed); B_BAD_VALUE for a count above
	// maxBlockSectors.
	status_t ReadBlock(int32 lba, int32 count, void* buffer);
	// The block at `lba` in `buffer` is part of the stream from now on.
	void Accept(int32 lba, int32 count, const void* buffer);
	// Forgets the stream (the next block starts a new stretch) and, in
	// automatic mode, the jitter seen: for a new batch, perhaps a new disc.
	void Restart();

	// Blocks placed away from where they were asked for, since construction.
	int32 CorrectedBlocks() const { return fCorrectedBlocks; }
	// The placement found for the last synchronised block, in frames.
	int32 LastJitter() const { return fLastJitter; }
	// Whether blocks are read with the full overlap: always in
	// READ_SYNC_ALWAYS, in READ_SYNC_AUTO once jitter was seen.
	bool OverlapEngaged() const;

private:
	bool _Synchronised() const;
	// Reads the drive frames [first, first + frames) as the drive delivers
	// them (silence outside the disc) into `out`.
	status_t _ReadFrames(int64 first, int64 frames, uint8* out);
	// One piece of a synchronised block, read with one drive command.
	status_t _ReadFirstBlock(int32 lba, int32 count, uint8* buffer);
	status_t _ReadContinuing(int32 lba, int32 count, uint8* buffer, const uint8* anchor);
	// A continuing piece read with only the anchor before it (automatic
	// mode): B_OK when the anchor is in place, else it engages the overlap
	// and reads the piece with _ReadContinuing.
	status_t _ReadChecked(int32 lba, int32 count, uint8* buffer, const uint8* anchor);

	AudioSectorReader fRead;
	AudioBlockReaderOptions fOptions;
	status_t fStatus = B_NO_INIT;
	int32 fOverlapFrames = 0;     // frames read before and after a synchronised block
	std::unique_ptr<uint8[]> fWindow;        // one synchronised read
	std::unique_ptr<uint8[]> fSecondWindow;  // a second read of a first block
	std::unique_ptr<uint8[]> fSectors;       // sector staging of _ReadFrames
	int64 fWindowBytes = 0;
	// The last kAnchorFrames frames of the accepted stream, and the frame
	// (in disc frames, lba x 588) where the stream ends; -1: no stream.
	uint8 fAnchor[kAnchorFrames * 4] = {};
	uint8 fPieceAnchor[kAnchorFrames * 4] = {};
	int32 fPieceSectors = 1;      // sectors of a synchronised piece
	int32 fCheckedPieceSectors = 1;  // sectors of a piece read with the anchor only
	bool fJitterSeen = false;     // automatic mode: the overlap is engaged
	int64 fStreamEnd = -1;
	int32 fCorrectedBlocks = 0;
	int32 fLastJitter = 0;
};

// A 64-bit hash of `size` bytes (not cryptographic): tells two reads of a
// block apart.
uint64 AudioHash(const void* data, size_t size);
