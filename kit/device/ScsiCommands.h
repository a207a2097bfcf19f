// Command blocks of the drive commands the command library sends: one builder
// per operation code, each making a block of that command's fixed length
// with its fields set through big-endian setters. Nothing here talks to a
// drive.
//
// MMC commands follow the T10 MMC drafts (MMC-1 to MMC-3) and the SCSI-2
// CD-ROM command set. Vendor commands follow what is publicly known of those
// drives' dialects: the command descriptions in the drivers of cdrecord
// (drv_jvc.c for the Teac CD-R50/55, drv_philips.c for the Philips CDD
// 52x/2000 and the Yamaha CDR100/102) and of cdrdao (TeacCdr55,
// CDD2600Base, YamahaCDR10x, PlextorReader), read for the wire format only.
// Where a field is not documented there, the builder says so.
//
// The vocabulary is shared by the command library, the device layer and the
// virtual drives: operation codes, the direction of a command's data, the
// typed builders. Sense codes are in ScsiSense.h, mode pages and cue sheet
// entries in ScsiParameters.h, status and CAM bytes in RawDevice.h.
// Header only; any thread.
#pragma once

#include "kit/device/CdAddress.h"
#include "kit/support/ByteOrder.h"
#include "kit/support/SupportDefs.h"

#include <cstddef>
#include <cstring>

// Which way a command's data move.
enum data_direction : uint8 {
	kNoData,
	kDataIn,    // from the drive
	kDataOut,   // to the drive
};

class CCommandBlock {
public:
	static constexpr size_t kMaxLength = 16;

	// A zeroed block of `length` bytes (6, 10, 12 or 16) starting with
	// `opcode`; `name` (a static string) names the command in logs.
	CCommandBlock(uint8 opcode, uint8 length, const char* name)
		:
		fLength(length <= kMaxLength ? length : kMaxLength),
		fName(name)
	{
		memset(fBytes, 0, sizeof(fBytes));
		fBytes[0] = opcode;
	}

	uint8 Opcode() const { return fBytes[0]; }
	uint8 Length() const { return fLength; }
	const uint8* Bytes() const { return fBytes; }
	const char* Name() const { return fName; }

	// Field setters. A field that does not lie inside the block is not
	// written (the builders never ask for one).
	CCommandBlock& Byte(size_t offset, uint8 value)
	{
		if (Fits(offset, 1))
			fBytes[offset] = value;
		return *this;
	}
	// Sets (or clears) the bits of `mask` in byte `offset`.
	CCommandBlock& Bits(size_t offset, uint8 mask, bool set)
	{
		if (Fits(offset, 1))
			fBytes[offset] = set ? uint8(fBytes[offset] | mask) : uint8(fBytes[offset] & ~mask);
		return *this;
	}
	CCommandBlock& Be16(size_t offset, uint32 value)
	{
		if (Fits(offset, 2))
			SetBe16(fBytes + offset, value);
		return *this;
	}
	CCommandBlock& Be24(size_t offset, uint32 value)
	{
		if (Fits(offset, 3))
			SetBe24(fBytes + offset, value);
		return *this;
	}
	CCommandBlock& Be32(size_t offset, uint32 value)
	{
		if (Fits(offset, 4))
			SetBe32(fBytes + offset, value);
		return *this;
	}

private:
	bool Fits(size_t offset, size_t size) const { return offset + size <= fLength; }

	uint8 fBytes[kMaxLength];
	uint8 fLength;
	const char* fName;
};

namespace cdb {

// Operation codes.
enum : uint8 {
	kTestUnitReady = 0x00,
	kRequestSense = 0x03,
	kWrite6 = 0x0A,
	kInquiry = 0x12,
	kModeSelect6 = 0x15,
	kModeSense6 = 0x1A,
	kStartStopUnit = 0x1B,
	kPreventAllowMediumRemoval = 0x1E,
	kReadCapacity = 0x25,
	kRead10 = 0x28,
	kWrite10 = 0x2A,
	kSynchronizeCache = 0x35,
	kReadSubChannel = 0x42,
	kReadTocPmaAtip = 0x43,
	kPlayAudio10 = 0x45,
	kGetConfiguration = 0x46,
	kPlayAudioMsf = 0x47,
	kPlayAudioTrackIndex = 0x48,
	kGetEventStatusNotification = 0x4A,
	kPauseResume = 0x4B,
	kStopPlayScan = 0x4E,
	kReadDiscInformation = 0x51,
	kReadTrackInformation = 0x52,
	kSendOpcInformation = 0x54,
	kModeSelect10 = 0x55,
	kCloseTrackSession = 0x5B,
	kReadBufferCapacity = 0x5C,
	kSendCueSheet = 0x5D,
	kModeSense10 = 0x5A,
	kBlank = 0xA1,
	kPlayAudio12 = 0xA5,
	kWrite12 = 0xAA,
	kReadCdMsf = 0xB9,
	kSetCdSpeed = 0xBB,
	kReadCd = 0xBE,
	// Vendor commands.
	kTeacSetLimits = 0xB3,
	kTeacSetSubcode = 0xC2,
	kReadCdDa = 0xD8,               // Sony, Plextor, Teac and Yamaha readers
	kTeacWritePma = 0xE1,
	kPhilipsFirstWritableAddress = 0xE2,
	kTeacFreeze = 0xE3,
	kTeacClearSubcode = 0xE4,
	kPhilipsWriteTrack = 0xE6,      // also Yamaha's WRITE TRACK
	kTeacNextWritableAddress = 0xE6,
	kPhilipsMediumLoadUnload = 0xE7,
	kPhilipsFixation = 0xE9,
	kYamahaWriteToc = 0xEA,
	kTeacOpcExecution = 0xEC,
	kPhilipsWriteSession = 0xED,
	kPhilipsReadSessionInfo = 0xEE,
};

// The Q sub-channel's ADR (mode) values.
enum : uint8 {
	kAdrPosition = 0x01,
	kAdrCatalogue = 0x02,   // media catalogue number
	kAdrIsrc = 0x03,
};

// Q control nibble bits.
enum : uint8 {
	kControlPreEmphasis = 0x01,
	kControlCopyPermitted = 0x02,
	kControlData = 0x04,
	kControlFourChannel = 0x08,
};

// Track numbers of the lead-in and lead-out in TOC entries and cue sheets.
enum : uint8 {
	kLeadInTrack = 0x00,
	kLeadOutTrack = 0xAA,
};

// READ CD expected sector types (byte 1 bits 2-4), fields (byte 9) and
// sub-channel selections (byte 10).
enum : uint8 {
	kSectorTypeAny = 0x00,
	kSectorTypeCdDa = 0x01,
	kReadCdUserData = 0x10,
	kSubChannelNone = 0x00,
	kSubChannelRawPW = 0x01,
	kSubChannelFormattedQ = 0x02,
};

// MODE SENSE page control.
enum : uint8 {
	kPageControlCurrent = 0,
	kPageControlChangeable = 1,
	kPageControlDefault = 2,
	kPageControlSaved = 3,
};

// READ TRACK INFORMATION address types.
enum : uint8 {
	kTrackAddressLba = 0,
	kTrackAddressTrack = 1,
	kTrackAddressSession = 2,
};

// READ TOC/PMA/ATIP formats.
enum : uint8 {
	kTocFormatToc = 0x00,
	kTocFormatSessionInfo = 0x01,
	kTocFormatFullToc = 0x02,
	kTocFormatAtip = 0x04,
	kTocFormatCdText = 0x05,
};

// Audio status of READ SUB-CHANNEL (byte 1 of the header).
enum : uint8 {
	kAudioStatusNotSupported = 0x00,
	kAudioStatusPlaying = 0x11,
	kAudioStatusPaused = 0x12,
	kAudioStatusCompleted = 0x13,
	kAudioStatusError = 0x14,
	kAudioStatusNone = 0x15,
};

// READ SUB-CHANNEL formats.
enum : uint8 {
	kSubChannelPosition = 0x01,
	kSubChannelMcn = 0x02,
	kSubChannelIsrc = 0x03,
};

// CLOSE TRACK/SESSION functions.
enum : uint8 {
	kCloseTrack = 0x01,
	kCloseSession = 0x02,
};

// BLANK types.
enum : uint8 {
	kBlankDisc = 0x00,      // the whole disc
	kBlankMinimal = 0x01,   // PMA, TOC and the first track's pregap
};

// --- SCSI and MMC ---------------------------------------------------------

inline CCommandBlock TestUnitReady()
{
	return CCommandBlock(kTestUnitReady, 6, "TEST UNIT READY");
}

inline CCommandBlock RequestSense(uint8 allocation)
{
	return CCommandBlock(kRequestSense, 6, "REQUEST SENSE").Byte(4, allocation);
}

// Standard inquiry data (EVPD clear).
inline CCommandBlock Inquiry(uint8 allocation)
{
	return CCommandBlock(kInquiry, 6, "INQUIRY").Byte(4, allocation);
}

// LoEj and Start bits of byte 4; Immed in byte 1.
inline CCommandBlock StartStopUnit(bool loadEject, bool start, bool immediate = false)
{
	return CCommandBlock(kStartStopUnit, 6, "START STOP UNIT")
		.Bits(1, 0x01, immediate)
		.Bits(4, 0x02, loadEject)
		.Bits(4, 0x01, start);
}

inline CCommandBlock PreventAllowMediumRemoval(bool prevent)
{
	return CCommandBlock(kPreventAllowMediumRemoval, 6, "PREVENT ALLOW MEDIUM REMOVAL").Bits(4, 0x01, prevent);
}

inline CCommandBlock ReadCapacity()
{
	return CCommandBlock(kReadCapacity, 10, "READ CAPACITY");
}

inline CCommandBlock Read10(int32 lba, uint16 blocks)
{
	return CCommandBlock(kRead10, 10, "READ(10)").Be32(2, uint32(lba)).Be16(7, blocks);
}

// WRITE(6): the transfer length in byte 4 (0 means 256 blocks); the address
// field is left 0 for the sequential writers that take it as "next".
inline CCommandBlock Write6(uint8 blocks)
{
	return CCommandBlock(kWrite6, 6, "WRITE(6)").Byte(4, blocks);
}

inline CCommandBlock Write10(int32 lba, uint16 blocks)
{
	return CCommandBlock(kWrite10, 10, "WRITE(10)").Be32(2, uint32(lba)).Be16(7, blocks);
}

inline CCommandBlock Write12(int32 lba, uint32 blocks)
{
	return CCommandBlock(kWrite12, 12, "WRITE(12)").Be32(2, uint32(lba)).Be32(6, blocks);
}

inline CCommandBlock Blank(bool immediate, uint8 type)
{
	return CCommandBlock(kBlank, 12, "BLANK").Byte(1, uint8((immediate ? 0x10 : 0x00) | (type & 0x07)));
}

inline CCommandBlock SynchronizeCache(bool immediate)
{
	return CCommandBlock(kSynchronizeCache, 10, "SYNCHRONIZE CACHE").Bits(1, 0x02, immediate);
}

inline CCommandBlock ReadSubChannel(bool msf, bool subQ, uint8 format, uint8 track, uint16 allocation)
{
	return CCommandBlock(kReadSubChannel, 10, "READ SUB-CHANNEL")
		.Bits(1, 0x02, msf)
		.Bits(2, 0x40, subQ)
		.Byte(3, format)
		.Byte(6, track)
		.Be16(7, allocation);
}

inline CCommandBlock ReadTocPmaAtip(bool msf, uint8 format, uint8 trackSession, uint16 allocation)
{
	return CCommandBlock(kReadTocPmaAtip, 10, "READ TOC/PMA/ATIP")
		.Bits(1, 0x02, msf)
		.Byte(2, uint8(format & 0x0F))
		.Byte(6, trackSession)
		.Be16(7, allocation);
}

// Plays from the MSF time of `startLba` up to (not including) that of
// `endLba`; both LBAs must lie in -150..449849.
inline CCommandBlock PlayAudioMsf(int32 startLba, int32 endLba)
{
	SCdMsf start = LbaToMsf(startLba);
	SCdMsf end = LbaToMsf(endLba);
	return CCommandBlock(kPlayAudioMsf, 10, "PLAY AUDIO MSF")
		.Byte(3, start.minute)
		.Byte(4, start.second)
		.Byte(5, start.frame)
		.Byte(6, end.minute)
		.Byte(7, end.second)
		.Byte(8, end.frame);
}

inline CCommandBlock PauseResume(bool resume)
{
	return CCommandBlock(kPauseResume, 10, "PAUSE/RESUME").Bits(8, 0x01, resume);
}

inline CCommandBlock StopPlayScan()
{
	return CCommandBlock(kStopPlayScan, 10, "STOP PLAY/SCAN");
}

// Request types: 0 all features, 1 the current ones, 2 only `feature`.
inline CCommandBlock GetConfiguration(uint8 requestType, uint16 feature, uint16 allocation)
{
	return CCommandBlock(kGetConfiguration, 10, "GET CONFIGURATION")
		.Byte(1, uint8(requestType & 0x03))
		.Be16(2, feature)
		.Be16(7, allocation);
}

inline CCommandBlock ReadDiscInformation(uint16 allocation)
{
	return CCommandBlock(kReadDiscInformation, 10, "READ DISC INFORMATION").Be16(7, allocation);
}

// Address types: 0 LBA, 1 track number, 2 session number.
inline CCommandBlock ReadTrackInformation(uint8 addressType, uint32 number, uint16 allocation)
{
	return CCommandBlock(kReadTrackInformation, 10, "READ TRACK INFORMATION")
		.Byte(1, uint8(addressType & 0x03))
		.Be32(2, number)
		.Be16(7, allocation);
}

inline CCommandBlock SendOpcInformation(bool doOpc)
{
	return CCommandBlock(kSendOpcInformation, 10, "SEND OPC INFORMATION").Bits(1, 0x01, doOpc);
}

inline CCommandBlock ModeSelect6(bool pageFormat, bool save, uint8 length)
{
	return CCommandBlock(kModeSelect6, 6, "MODE SELECT(6)")
		.Bits(1, 0x10, pageFormat)
		.Bits(1, 0x01, save)
		.Byte(4, length);
}

// Page control: 0 current, 1 changeable, 2 default, 3 saved.
inline CCommandBlock ModeSense6(bool disableBlockDescriptors, uint8 pageControl, uint8 page, uint8 allocation)
{
	return CCommandBlock(kModeSense6, 6, "MODE SENSE(6)")
		.Bits(1, 0x08, disableBlockDescriptors)
		.Byte(2, uint8((pageControl & 0x03) << 6 | (page & 0x3F)))
		.Byte(4, allocation);
}

inline CCommandBlock ModeSelect10(bool pageFormat, bool save, uint16 length)
{
	return CCommandBlock(kModeSelect10, 10, "MODE SELECT(10)")
		.Bits(1, 0x10, pageFormat)
		.Bits(1, 0x01, save)
		.Be16(7, length);
}

inline CCommandBlock ModeSense10(bool disableBlockDescriptors, uint8 pageControl, uint8 page, uint16 allocation)
{
	return CCommandBlock(kModeSense10, 10, "MODE SENSE(10)")
		.Bits(1, 0x08, disableBlockDescriptors)
		.Byte(2, uint8((pageControl & 0x03) << 6 | (page & 0x3F)))
		.Be16(7, allocation);
}

inline CCommandBlock CloseTrackSession(bool immediate, uint8 function, uint16 trackNumber)
{
	return CCommandBlock(kCloseTrackSession, 10, "CLOSE TRACK/SESSION")
		.Bits(1, 0x01, immediate)
		.Byte(2, uint8(function & 0x07))
		.Be16(4, trackNumber);
}

// Block bit clear: the answer counts bytes.
inline CCommandBlock ReadBufferCapacity(uint16 allocation)
{
	return CCommandBlock(kReadBufferCapacity, 10, "READ BUFFER CAPACITY").Be16(7, allocation);
}

inline CCommandBlock SendCueSheet(uint32 length)
{
	return CCommandBlock(kSendCueSheet, 10, "SEND CUE SHEET").Be24(6, length);
}

// Speeds in kB/s; FFFFh asks for the drive's maximum.
inline CCommandBlock SetCdSpeed(uint16 readSpeed, uint16 writeSpeed)
{
	return CCommandBlock(kSetCdSpeed, 12, "SET CD SPEED").Be16(2, readSpeed).Be16(4, writeSpeed);
}

// Expected sector type in bits 2-4 of byte 1 (1 = CD-DA), the fields to
// return in byte 9 (10h = user data), the sub-channel selection in byte 10
// (0 none, 1 raw P-W, 2 formatted Q).
inline CCommandBlock ReadCd(int32 lba, uint32 blocks, uint8 sectorType, uint8 fields, uint8 subChannel)
{
	return CCommandBlock(kReadCd, 12, "READ CD")
		.Byte(1, uint8((sectorType & 0x07) << 2))
		.Be32(2, uint32(lba))
		.Be24(6, blocks)
		.Byte(9, fields)
		.Byte(10, uint8(subChannel & 0x07));
}

// --- Vendor dialects --------------------------------------------------------

// READ CD-DA (D8h) of the Sony, Plextor, Teac and Yamaha readers: address in
// bytes 2-5, transfer length in bytes 6-9, sub-code format in byte 10 (0:
// audio only, 2352 bytes a sector).
inline CCommandBlock ReadCdDa(const char* name, int32 lba, uint32 blocks, uint8 subCode)
{
	return CCommandBlock(kReadCdDa, 12, name).Be32(2, uint32(lba)).Be32(6, blocks).Byte(10, subCode);
}

// Philips CDD 52x/2000/2600 (and the Yamaha CDR100 for fixation and
// writing tracks).

// MEDIUM LOAD/UNLOAD: byte 8 bit 0 set unloads.
inline CCommandBlock PhilipsMediumLoadUnload(bool unload)
{
	return CCommandBlock(kPhilipsMediumLoadUnload, 10, "MEDIUM LOAD/UNLOAD (Philips)").Bits(8, 0x01, unload);
}

// FIRST WRITABLE ADDRESS: track in byte 2, sector type in byte 3 (4 audio,
// 5 audio with pre-emphasis, 1 data), byte 7 bit 0 next program area,
// allocation in byte 8. Answer: length byte, 4-byte address, reserved.
inline CCommandBlock PhilipsFirstWritableAddress(uint8 track, uint8 sectorType, uint8 allocation)
{
	return CCommandBlock(kPhilipsFirstWritableAddress, 10, "FIRST WRITABLE ADDRESS (Philips)")
		.Byte(2, track)
		.Byte(3, sectorType)
		.Byte(8, allocation);
}

// WRITE TRACK: track number in bytes 2-5 (0 opens a new track), sector type
// in byte 6.
inline CCommandBlock PhilipsWriteTrack(uint32 track, uint8 sectorType)
{
	return CCommandBlock(kPhilipsWriteTrack, 10, "WRITE TRACK (Philips)").Be32(2, track).Byte(6, sectorType);
}

// FIXATION: byte 8 = TOC type (0 CD-DA) plus 8 to leave the next program
// area open.
inline CCommandBlock PhilipsFixation(bool openNext, uint8 tocType)
{
	return CCommandBlock(kPhilipsFixation, 10, "FIXATION (Philips)")
		.Byte(8, uint8((openNext ? 0x08 : 0x00) | (tocType & 0x07)));
}

// READ SESSION INFO: answer = lead-in length and lead-out length in
// sectors (2 bytes each).
inline CCommandBlock PhilipsReadSessionInfo(uint8 allocation)
{
	return CCommandBlock(kPhilipsReadSessionInfo, 10, "READ SESSION INFO (Philips)").Byte(8, allocation);
}

// WRITE SESSION (CDD2600 disc-at-once): TOC type in byte 6 (bit 3 keeps
// the next session open), parameter list length in bytes 7-8.
inline CCommandBlock PhilipsWriteSession(uint8 tocType, uint16 length)
{
	return CCommandBlock(kPhilipsWriteSession, 10, "WRITE SESSION (Philips)").Byte(6, tocType).Be16(7, length);
}

// Yamaha CDR100/102.

// WRITE TOC: the disc-at-once cue sheet (BCD times), length in bytes 7-8.
inline CCommandBlock YamahaWriteToc(uint16 length)
{
	return CCommandBlock(kYamahaWriteToc, 10, "WRITE TOC (Yamaha)").Be16(7, length);
}

// WRITE TRACK: track number in byte 5 (0 = next), byte 6 bit 2 audio,
// bit 3 copy, bit 4 byte swap, bit 5 R parity, bits 0-1 mode.
inline CCommandBlock YamahaWriteTrack(uint8 track, uint8 flags)
{
	return CCommandBlock(kPhilipsWriteTrack, 10, "WRITE TRACK (Yamaha)").Byte(5, track).Byte(6, flags);
}

// Teac CD-R50/55.

// WRITE(10) with the drive's extended-write bit (byte 9 bit 7): set on every
// write of a track but its last.
inline CCommandBlock TeacWrite10(int32 lba, uint16 blocks, bool extendedWrite)
{
	return CCommandBlock(kWrite10, 10, "WRITE(10) (Teac)")
		.Be32(2, uint32(lba))
		.Be16(7, blocks)
		.Bits(9, 0x80, extendedWrite);
}

// OPC EXECUTION: byte 1 bit 0 judges the disc instead of calibrating.
inline CCommandBlock TeacOpcExecution(bool judgeDisc)
{
	return CCommandBlock(kTeacOpcExecution, 12, "OPC EXECUTION (Teac)").Bits(1, 0x01, judgeDisc);
}

inline CCommandBlock TeacClearSubcode()
{
	return CCommandBlock(kTeacClearSubcode, 12, "CLEAR SUBCODE (Teac)").Byte(5, 0x80);
}

// SET LIMITS: the range of sectors the next SET SUBCODE applies to.
inline CCommandBlock TeacSetLimits(int32 lba, uint32 length)
{
	return CCommandBlock(kTeacSetLimits, 12, "SET LIMITS (Teac)").Be32(2, uint32(lba)).Be32(6, length);
}

// SET SUBCODE: parameter list length in bytes 7-8 (a 4-byte program area
// subcode, or the TOC: 3-byte header and 5-byte BCD entries).
inline CCommandBlock TeacSetSubcode(uint16 length)
{
	return CCommandBlock(kTeacSetSubcode, 10, "SET SUBCODE (Teac)").Be16(7, length);
}

// NEXT WRITABLE ADDRESS: start and last LBA of the search (FFFFFFFFh: from
// the drive's own position); answer = 4-byte address.
inline CCommandBlock TeacNextWritableAddress(int32 startLba, int32 lastLba)
{
	return CCommandBlock(kTeacNextWritableAddress, 12, "NEXT WRITABLE ADDRESS (Teac)")
		.Be32(2, uint32(startLba))
		.Be32(6, uint32(lastLba));
}

// WRITE PMA: records the track just written in the program memory area.
inline CCommandBlock TeacWritePma()
{
	return CCommandBlock(kTeacWritePma, 12, "WRITE PMA (Teac)");
}

// FREEZE: writes the TOC set with SET SUBCODE into the lead-in, then the
// lead-out; byte 5 bit 7 is set when no further session is to follow.
inline CCommandBlock TeacFreeze(bool lastSession)
{
	return CCommandBlock(kTeacFreeze, 12, "FREEZE (Teac)").Bits(5, 0x80, lastSession);
}

}   // namespace cdb
