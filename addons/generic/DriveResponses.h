// Parsers of what drives answer: mode sense data, the capabilities page,
// the table of contents, the formatted Q sub-channel, CD-Text, disc, track
// and buffer information.
//
// A drive's answer is outside data: every length it reports is clamped to
// what actually arrived and to the buffer it was given, and a parser never
// reads a byte beyond either. The parsers are pure functions (no drive, no
// allocation), so any thread may call them.
#pragma once

#include "driver/driverbaseclass.h"
#include "kit/device/ScsiParameters.h"
#include "kit/support/SupportDefs.h"

#include <cstddef>

namespace response {

// The bytes of an answer with a 2-byte length field at its start (counting
// the bytes after the field) that can be used: the smaller of what the
// field says, what arrived and the buffer. 0 when not even the field arrived.
size_t UsableLength16(const uint8* data, size_t transferred, size_t bufferSize);

// --- Mode sense data ----------------------------------------------------------

// Finds `pageCode` in MODE SENSE(10) data (8-byte header, block descriptors
// of the length in bytes 6-7, then pages) or MODE SENSE(6) data (4-byte
// header, block descriptor length in byte 3). On success *offset is where
// the page starts and *size its length (code and length bytes included) as
// far as it arrived; at least the two header bytes of the page are there.
bool FindModePage10(const uint8* data, size_t transferred, uint8 pageCode, size_t* offset, size_t* size);
bool FindModePage6(const uint8* data, size_t transferred, uint8 pageCode, size_t* offset, size_t* size);

// Makes MODE SENSE(10) data in a buffer of `bufferSize` bytes of which
// `transferred` arrived safe to read for callers that trust its header: the
// mode data length and the block descriptor length are lowered to what
// arrived (the latter to 0 when the header itself is incomplete), and the
// bytes after the answer are zeroed.
void ClampModeSense10(uint8* data, size_t bufferSize, size_t transferred);

// What the capabilities page 2Ah says about speeds (kB/s) and abilities.
struct SCapabilities {
	uint16 maximumReadSpeed = 0;
	uint16 currentReadSpeed = 0;
	uint16 maximumWriteSpeed = 0;
	uint16 currentWriteSpeed = 0;
	uint16 bufferKb = 0;
	bool audioRead = false;     // byte 5 bit 0: CD-DA commands
	bool cdrWrite = false;
	bool cdrwWrite = false;
	bool testWrite = false;
};

// Parses page 2Ah out of MODE SENSE(10) data. Speeds that did not arrive
// are 0. False when the data hold no page 2Ah.
bool ParseCapabilities(const uint8* data, size_t transferred, SCapabilities* capabilities);

// --- Table of contents ----------------------------------------------------

struct SToc {
	int32 firstTrack = 0;
	int32 lastTrack = 0;
	int32 leadOut = 0;               // LBA
	uint8 leadOutControl = 0;
	int32 start[100] = {};           // start[n]: LBA of track n (index 1)
	uint8 control[100] = {};         // Q control nibble of track n
};

// Parses READ TOC/PMA/ATIP format 0 data with LBA addresses. True only for
// a table that can be used as it is: 1 <= first <= last <= 99, a descriptor
// for every track from first to last and for the lead-out, addresses from
// -150 to the last addressable sector, and starts ascending towards the
// lead-out. Descriptors of other numbers are ignored; a track given twice
// keeps its first descriptor.
bool ParseToc(const uint8* data, size_t transferred, SToc* toc);

// Parses READ CD formatted Q data (16 bytes a sector: the Q sub-channel with
// track and index in BCD, or in binary when `bcd` is false: drives differ).
// True for a mode-1 position (ADR 1) in the program area, with *track
// (1..99) and *index (0..99).
bool ParseFormattedQ(const uint8* q, size_t size, bool bcd, int32* track, int32* index);

// --- CD-Text ----------------------------------------------------------------

// Makes a READ TOC/PMA/ATIP format 5 answer safe for its decoder: the length
// field is lowered to the whole packs that arrived and fit the buffer, the
// bytes after them are zeroed. Returns the number of packs.
size_t ClampCdText(uint8* data, size_t bufferSize, size_t transferred);

// --- Disc, track, buffer ----------------------------------------------------

// Copies READ DISC INFORMATION data into *information: the bytes that
// arrived (at most 34, at most what the length field says), zeros for the
// rest, and the length field lowered to match. False when not even the
// length field and status byte arrived.
bool CopyDiscInformation(const uint8* data, size_t transferred, SCSI_DISC_INFORMATION* information);

struct STrackInformation {
	int32 track = 0;
	int32 session = 0;
	bool blank = false;              // byte 6 bit 6
	bool nextWritableValid = false;  // byte 7 bit 0
	int32 start = 0;                 // bytes 8-11
	int32 nextWritable = 0;          // bytes 12-15
	int32 freeBlocks = 0;            // bytes 16-19
	int32 size = 0;                  // bytes 24-27
};

// Parses READ TRACK INFORMATION data (at least the 28 bytes up to the track
// size must have arrived).
bool ParseTrackInformation(const uint8* data, size_t transferred, STrackInformation* information);

// Parses READ BUFFER CAPACITY data (12 bytes): buffer length and blank
// length in bytes, each at most INT32_MAX and the free part at most the
// whole.
bool ParseBufferCapacity(const uint8* data, size_t transferred, int32* totalBytes, int32* freeBytes);

// --- Cue sheets ---------------------------------------------------------------

struct SCueSheet {
	static constexpr int32 kMaxEntries = 256;
	int32 count = 0;
	SCueSheetEntry entries[kMaxEntries];   // binary entries as sent
	int32 firstTrack = 0;
	int32 lastTrack = 0;
	int32 firstLba = 0;         // the first sector after the lead-in
	int32 leadOut = 0;          // LBA of the lead-out entry
	int32 pregapStart[100] = {};   // index 0 of track n, or its start when it has none
	int32 start[100] = {};         // index 1 of track n
	uint8 control[100] = {};
};

// Parses a cue sheet of `size` bytes. True for a sheet a recorder can take:
// whole 8-byte entries (at most kMaxEntries), a lead-in entry first (track
// 0), mode-1 position entries (ADR 1) for tracks numbered upwards from 1
// without gaps, each with an index 1, times with seconds below 60 and
// frames below 75 that never go backwards, and a lead-out entry (track AAh)
// last.
bool ParseCueSheet(const void* data, size_t size, SCueSheet* sheet);

}   // namespace response
