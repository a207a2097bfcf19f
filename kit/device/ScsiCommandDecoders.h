// The fields of the command blocks a drive takes, read back: one decoder per
// command, the mirror of the builders of ScsiCommands.h (a block built with
// a builder decodes to the values it was built from). The virtual drives
// read every command block through them.
//
// Each decoder reads `block` as the command's own length (6, 10 or 12
// bytes); the caller guarantees that many bytes. Fields the builders leave
// at 0 (allocation lengths of the 6-byte INQUIRY, reserved bits that a drive
// checks) are decoded too, so that a drive can refuse what it does not take.
// Header only; any thread.
#pragma once

#include "kit/device/CdAddress.h"
#include "kit/device/ScsiCommands.h"
#include "kit/support/ByteOrder.h"
#include "kit/support/SupportDefs.h"

namespace cdb {

struct SRequestSenseFields {
	bool descriptorFormat = false;   // byte 1 bit 0
	uint8 allocation = 0;
};

inline SRequestSenseFields DecodeRequestSense(const uint8* block)
{
	return {(block[1] & 0x01) != 0, block[4]};
}

struct SInquiryFields {
	bool vitalProductData = false;   // EVPD, byte 1 bit 0
	uint8 otherFlags = 0;            // byte 1 without EVPD (obsolete CmdDt)
	uint8 page = 0;
	uint16 allocation = 0;           // bytes 3-4 (byte 4 alone in SCSI-2)
};

inline SInquiryFields DecodeInquiry(const uint8* block)
{
	return {(block[1] & 0x01) != 0, uint8(block[1] & 0xFE), block[2], GetBe16(block + 3)};
}

struct SStartStopUnitFields {
	bool immediate = false;
	uint8 powerCondition = 0;   // byte 4 bits 4-7
	bool loadEject = false;
	bool start = false;
};

inline SStartStopUnitFields DecodeStartStopUnit(const uint8* block)
{
	return {(block[1] & 0x01) != 0, uint8(block[4] >> 4), (block[4] & 0x02) != 0, (block[4] & 0x01) != 0};
}

inline bool DecodePreventAllowMediumRemoval(const uint8* block)
{
	return (block[4] & 0x01) != 0;
}

// READ(10), WRITE(10), WRITE(12), READ CD-DA, SET LIMITS: an address and a
// number of blocks.
struct SBlockRange {
	int32 lba = 0;
	uint32 blocks = 0;
};

inline SBlockRange DecodeRead10(const uint8* block)
{
	return {int32(GetBe32(block + 2)), GetBe16(block + 7)};
}

struct SReadSubChannelFields {
	bool msf = false;
	bool subQ = false;
	uint8 format = 0;
	uint8 track = 0;
	uint16 allocation = 0;
};

inline SReadSubChannelFields DecodeReadSubChannel(const uint8* block)
{
	return {(block[1] & 0x02) != 0, (block[2] & 0x40) != 0, block[3], block[6], GetBe16(block + 7)};
}

struct SReadTocFields {
	bool msf = false;
	uint8 format = 0;   // byte 2 bits 0-3, or the older place (byte 9 bits 6-7) when that is 0
	uint8 trackSession = 0;
	uint16 allocation = 0;
};

inline SReadTocFields DecodeReadTocPmaAtip(const uint8* block)
{
	uint8 format = block[2] & 0x0F;
	if (format == 0)
		format = uint8(block[9] >> 6);
	return {(block[1] & 0x02) != 0, format, block[6], GetBe16(block + 7)};
}

// PLAY AUDIO(10) and (12): a start address (FFFFFFFFh: the current
// position) and a length.
struct SPlayAudioFields {
	uint32 address = 0;
	uint32 length = 0;
};

inline SPlayAudioFields DecodePlayAudio10(const uint8* block)
{
	return {GetBe32(block + 2), GetBe16(block + 7)};
}

inline SPlayAudioFields DecodePlayAudio12(const uint8* block)
{
	return {GetBe32(block + 2), GetBe32(block + 6)};
}

// An MSF range (PLAY AUDIO MSF, READ CD MSF): the fields as sent, unchecked.
struct SMsfRange {
	SCdMsf start;
	SCdMsf end;
};

inline SMsfRange DecodePlayAudioMsf(const uint8* block)
{
	return {{block[3], block[4], block[5]}, {block[6], block[7], block[8]}};
}

struct SPlayTrackIndexFields {
	uint8 startTrack = 0;
	uint8 startIndex = 0;
	uint8 endTrack = 0;
	uint8 endIndex = 0;
};

inline SPlayTrackIndexFields DecodePlayAudioTrackIndex(const uint8* block)
{
	return {block[4], block[5], block[7], block[8]};
}

inline bool DecodePauseResume(const uint8* block)
{
	return (block[8] & 0x01) != 0;
}

struct SReadDiscInformationFields {
	uint8 dataType = 0;   // byte 1 bits 0-2 (0: standard disc information)
	uint16 allocation = 0;
};

inline SReadDiscInformationFields DecodeReadDiscInformation(const uint8* block)
{
	return {uint8(block[1] & 0x07), GetBe16(block + 7)};
}

struct SReadTrackInformationFields {
	uint8 addressType = 0;
	uint32 number = 0;
	uint16 allocation = 0;
};

inline SReadTrackInformationFields DecodeReadTrackInformation(const uint8* block)
{
	return {uint8(block[1] & 0x03), GetBe32(block + 2), GetBe16(block + 7)};
}

inline bool DecodeSendOpcInformation(const uint8* block)
{
	return (block[1] & 0x01) != 0;
}

struct SModeSelectFields {
	bool pageFormat = false;
	bool save = false;
	uint16 length = 0;
};

inline SModeSelectFields DecodeModeSelect6(const uint8* block)
{
	return {(block[1] & 0x10) != 0, (block[1] & 0x01) != 0, block[4]};
}

inline SModeSelectFields DecodeModeSelect10(const uint8* block)
{
	return {(block[1] & 0x10) != 0, (block[1] & 0x01) != 0, GetBe16(block + 7)};
}

struct SModeSenseFields {
	bool disableBlockDescriptors = false;
	uint8 pageControl = 0;
	uint8 page = 0;
	uint8 subpage = 0;
	uint16 allocation = 0;
};

inline SModeSenseFields DecodeModeSense6(const uint8* block)
{
	return {(block[1] & 0x08) != 0, uint8(block[2] >> 6), uint8(block[2] & 0x3F), block[3], block[4]};
}

inline SModeSenseFields DecodeModeSense10(const uint8* block)
{
	return {(block[1] & 0x08) != 0, uint8(block[2] >> 6), uint8(block[2] & 0x3F), block[3], GetBe16(block + 7)};
}

struct SReadBufferCapacityFields {
	bool blocks = false;   // byte 1 bit 0: the answer counts blocks, not bytes
	uint16 allocation = 0;
};

inline SReadBufferCapacityFields DecodeReadBufferCapacity(const uint8* block)
{
	return {(block[1] & 0x01) != 0, GetBe16(block + 7)};
}

struct SSetCdSpeedFields {
	uint8 rotationControl = 0;   // byte 1 bits 0-1 (0 CLV, 1 CAV)
	uint16 readSpeed = 0;
	uint16 writeSpeed = 0;
};

inline SSetCdSpeedFields DecodeSetCdSpeed(const uint8* block)
{
	return {uint8(block[1] & 0x03), GetBe16(block + 2), GetBe16(block + 4)};
}

// READ CD and READ CD MSF: expected sector type, the range, the fields of
// byte 9 and the sub-channel selection.
struct SReadCdFields {
	uint8 sectorType = 0;   // byte 1 bits 2-4
	int32 lba = 0;          // READ CD
	uint32 blocks = 0;
	SMsfRange msf;          // READ CD MSF
	uint8 fields = 0;       // byte 9: 80h sync, 60h headers, 10h user data, 08h EDC, 06h C2
	uint8 subChannel = 0;   // byte 10 bits 0-2

	constexpr bool UserData() const { return (fields & kReadCdUserData) != 0; }
	constexpr uint8 C2Field() const { return uint8((fields >> 1) & 0x03); }
};

inline SReadCdFields DecodeReadCd(const uint8* block)
{
	SReadCdFields f;
	f.sectorType = uint8((block[1] >> 2) & 0x07);
	f.lba = int32(GetBe32(block + 2));
	f.blocks = GetBe24(block + 6);
	f.fields = block[9];
	f.subChannel = uint8(block[10] & 0x07);
	return f;
}

inline SReadCdFields DecodeReadCdMsf(const uint8* block)
{
	SReadCdFields f;
	f.sectorType = uint8((block[1] >> 2) & 0x07);
	f.msf = {{block[3], block[4], block[5]}, {block[6], block[7], block[8]}};
	f.fields = block[9];
	f.subChannel = uint8(block[10] & 0x07);
	return f;
}

struct SGetConfigurationFields {
	uint8 requestType = 0;   // RT, byte 1 bits 0-1
	uint16 startingFeature = 0;
	uint16 allocation = 0;
};

inline SGetConfigurationFields DecodeGetConfiguration(const uint8* block)
{
	return {uint8(block[1] & 0x03), GetBe16(block + 2), GetBe16(block + 7)};
}

struct SGetEventStatusFields {
	bool polled = false;           // byte 1 bit 0
	uint8 classRequest = 0;        // byte 4: bit n asks for class n
	uint16 allocation = 0;
};

inline SGetEventStatusFields DecodeGetEventStatusNotification(const uint8* block)
{
	return {(block[1] & 0x01) != 0, block[4], GetBe16(block + 7)};
}

// --- Vendor dialects --------------------------------------------------------

struct SReadCdDaFields {
	int32 lba = 0;
	uint32 blocks = 0;
	uint8 subCode = 0;
};

inline SReadCdDaFields DecodeReadCdDa(const uint8* block)
{
	return {int32(GetBe32(block + 2)), GetBe32(block + 6), block[10]};
}

inline bool DecodePhilipsMediumLoadUnload(const uint8* block)
{
	return (block[8] & 0x01) != 0;   // true: unload
}

struct SPhilipsFirstWritableAddressFields {
	uint8 track = 0;
	uint8 sectorType = 0;
	uint8 allocation = 0;
};

inline SPhilipsFirstWritableAddressFields DecodePhilipsFirstWritableAddress(const uint8* block)
{
	return {block[2], block[3], block[8]};
}

inline uint8 DecodePhilipsReadSessionInfo(const uint8* block)
{
	return block[8];   // allocation
}

// The parameter list length of SET SUBCODE, WRITE SESSION and WRITE TOC
// (bytes 7-8).
inline uint16 DecodeParameterListLength10(const uint8* block)
{
	return GetBe16(block + 7);
}

inline SBlockRange DecodeTeacSetLimits(const uint8* block)
{
	return {int32(GetBe32(block + 2)), GetBe32(block + 6)};
}

}   // namespace cdb
