// Parameter data of drive commands: mode page codes and the fields the
// program sets, the write parameters page (05h) and the entries of a SEND
// CUE SHEET cue sheet, each with a typed encoder and a bounds-checked
// decoder.
//
// Any thread; no allocation.
#pragma once

#include "kit/support/SupportDefs.h"

#include <cstddef>

// Mode page codes.
enum : uint8 {
	kModePageErrorRecovery = 0x01,
	kModePageWriteParameters = 0x05,
	kModePageCdParameters = 0x0D,
	kModePageCdAudioControl = 0x0E,
	kModePageCapabilities = 0x2A,
	// Vendor pages of the pre-MMC recorders.
	kModePageTeacPreview = 0x21,           // byte 2 bits 0-1: 3 = preview (test writing)
	kModePageTeacWriteMethod = 0x22,       // byte 4: 2 = disc at once
	kModePagePhilipsWriteTrack = 0x21,     // byte 3: sector type, byte 4: track (0 = new)
	kModePagePhilipsSpeed = 0x23,          // byte 2: speed factor; byte 3 bit 0: test writing
	kModePageTeacSpeed = 0x31,             // byte 2: speed code
	kModePagePlextorSpeed = 0x31,          // byte 2: speed code
	kModePageYamahaConfiguration = 0x31,   // byte 3: speed (high nibble), test writing (bit 0)
	kModePageYamahaWriteFormat = 0x32,     // byte 3 bits 0-3: 4 = disc at once
	kModePageAll = 0x3F,
	kModePageCodeMask = 0x3F,
	kModePageSavable = 0x80,               // PS bit of the code byte
};

// Fields of the capabilities page 2Ah the program reads: byte offsets from
// the page's code byte, and bits.
namespace capability {
constexpr size_t kReadAbilities = 2;       // byte 2: what the drive reads
constexpr uint8 kReadCdr = 0x01;
constexpr size_t kWriteAbilities = 3;      // byte 3: what it writes
constexpr uint8 kWriteCdr = 0x01;
constexpr uint8 kWriteCdrw = 0x02;
constexpr uint8 kTestWrite = 0x04;
constexpr size_t kAudioAbilities = 5;      // byte 5
constexpr uint8 kCdDaCommands = 0x01;      // READ CD of audio sectors
constexpr uint8 kCdDaAccurate = 0x02;      // audio reads resume exactly
constexpr uint8 kIsrcRead = 0x20;
constexpr uint8 kCatalogueRead = 0x40;
constexpr size_t kMaximumReadSpeed = 8;    // 2 bytes each, kB/s (buffer: KiB)
constexpr size_t kBufferSize = 12;
constexpr size_t kCurrentReadSpeed = 14;
constexpr size_t kMaximumWriteSpeed = 18;
constexpr size_t kCurrentWriteSpeed = 20;
}   // namespace capability

// Fields of the CD audio control page 0Eh (byte 2) and the CD parameters
// page 0Dh (byte 3: inactivity timer; bytes 4-7: MSF units).
namespace audio_control {
constexpr uint8 kImmediate = 0x04;
constexpr uint8 kStopOnTrackCrossing = 0x02;
}   // namespace audio_control

// Write types of the write parameters page (byte 2 bits 0-3).
enum : uint8 {
	kWriteTypePacket = 0x00,
	kWriteTypeTrackAtOnce = 0x01,
	kWriteTypeSessionAtOnce = 0x02,
	kWriteTypeRaw = 0x03,
};

// Data block types (byte 4 bits 0-3).
enum : uint8 {
	kDataBlockRaw2352 = 0x00,
	kDataBlockMode1 = 0x08,
};

// Multi-session field (byte 3 bits 6-7).
enum : uint8 {
	kMultiSessionNone = 0x00,   // no next session
	kMultiSessionFinal = 0x01,
	kMultiSessionNext = 0x03,   // next session allowed
};

// The write parameters page 05h: its code byte, length byte 32h and 50
// bytes of fields.
constexpr size_t kWriteParametersPageSize = 52;
// The bytes up to the audio pause length: what a page needs to be usable.
constexpr size_t kWriteParametersMinimumSize = 16;

struct SWriteParameters {
	bool bufferUnderrunFree = false;   // byte 2 bit 6 (BUFE)
	bool linkSizeValid = false;        // byte 2 bit 5
	bool testWrite = false;            // byte 2 bit 4
	uint8 writeType = kWriteTypeTrackAtOnce;
	uint8 multiSession = kMultiSessionNone;
	bool fixedPackets = false;         // byte 3 bit 5
	bool copy = false;                 // byte 3 bit 4 (SCMS copy bit)
	uint8 trackMode = 0;               // byte 3 bits 0-3: the Q control nibble
	uint8 dataBlockType = kDataBlockRaw2352;
	uint8 linkSize = 0;
	uint8 applicationCode = 0;         // byte 7 bits 0-5
	uint8 sessionFormat = 0;           // byte 8: 00h CD-DA or CD-ROM
	uint32 packetSize = 0;             // bytes 10-13
	uint16 audioPauseLength = 150;     // bytes 14-15, sectors
	bool catalogueValid = false;       // byte 16 bit 7
	char catalogue[14] = {};           // 13 digits, bytes 17-29
	bool isrcValid = false;            // byte 32 bit 7
	char isrc[13] = {};                // 12 characters, bytes 33-44
};

// Writes the fields of `parameters` into page[0..size): the code byte, the
// length byte (32h, when the page is empty) and every field that lies
// inside `size`; the bytes the record does not name keep their values, so a
// page read from the drive can be changed in place. False (nothing written)
// when `size` is below kWriteParametersMinimumSize.
bool EncodeWriteParametersPage(const SWriteParameters& parameters, uint8* page, size_t size);

// Reads page 05h as it arrived (`size` bytes from its code byte, at most
// its own length + 2). False when it is not page 05h or shorter than
// kWriteParametersMinimumSize; the catalogue number and ISRC are read only
// when they arrived whole.
bool DecodeWriteParametersPage(const uint8* page, size_t size, SWriteParameters* parameters);

// One 8-byte entry of a SEND CUE SHEET cue sheet: control/ADR, track (TNO),
// index, data form, SCMS and the absolute MSF time. MMC recorders take the
// numbers and time in binary; the disc-at-once TOC of some older recorders
// takes them in BCD (the lead-out's AAh stays AAh).
constexpr size_t kCueSheetEntrySize = 8;

struct SCueSheetEntry {
	uint8 control = 0;   // byte 0 bits 4-7
	uint8 adr = 1;       // byte 0 bits 0-3
	uint8 track = 0;     // 0 lead-in, 1..99, AAh lead-out
	uint8 index = 0;
	uint8 dataForm = 0;  // 00h: CD-DA, 2352 bytes a sector
	uint8 scms = 0;      // 80h: serial copy management bit
	int32 lba = -150;    // the time, as an LBA (MSF 00:00:00 is -150)
};

// Writes `entry` into out[0..7]. The time is lba + 150 frames (never
// wrapped: a cue sheet addresses no lead-in time beyond 00:00:00).
void EncodeCueSheetEntry(const SCueSheetEntry& entry, uint8* out, bool bcd = false);

// Reads an entry from in[0..7]. False when the time has seconds above 59 or
// frames above 74, or (with `bcd`) a number that is no BCD.
bool DecodeCueSheetEntry(const uint8* in, SCueSheetEntry* entry, bool bcd = false);
