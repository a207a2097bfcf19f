// Constants and small helpers shared by the virtual drive: operation codes,
// sense codes, status bytes, big-endian field access and CD addresses.
//
// Everything lives in namespace mmc so that the names cannot clash with the
// SCSI records of devices/ (which the drive does not depend on).
#pragma once

#include "kit/support/SupportDefs.h"

#include <cstddef>

namespace mmc {

// Operation codes answered by the virtual drive.
enum : uint8 {
	kTestUnitReady = 0x00,
	kRequestSense = 0x03,
	kInquiry = 0x12,
	kStartStopUnit = 0x1B,
	kPreventAllowRemoval = 0x1E,
	kReadCapacity = 0x25,
	kRead10 = 0x28,
	kReadSubChannel = 0x42,
	kGetConfiguration = 0x46,
	kGetEventStatusNotification = 0x4A,
	kReadTocPmaAtip = 0x43,
	kPlayAudio10 = 0x45,
	kPlayAudioMsf = 0x47,
	kPlayAudioTrackIndex = 0x48,
	kPauseResume = 0x4B,
	kStopPlayScan = 0x4E,
	kReadDiscInformation = 0x51,
	kReadTrackInformation = 0x52,
	kModeSelect10 = 0x55,
	kModeSense10 = 0x5A,
	kReadBufferCapacity = 0x5C,
	kPlayAudio12 = 0xA5,
	kReadCdMsf = 0xB9,
	kSetCdSpeed = 0xBB,
	kReadCd = 0xBE,
	kReadCdDa = 0xD8,   // vendor command of Sony/Plextor-style readers
	kSynchronizeCache = 0x35,
	kSendOpcInformation = 0x54,
	kModeSelect6 = 0x15,
	kModeSense6 = 0x1A,
	// Vendor commands of the pre-MMC recorder families.
	kTeacSetLimits = 0xB3,
	kTeacSetSubcode = 0xC2,
	kTeacClearSubcode = 0xE4,
	kTeacNextWritableAddress = 0xE6,
	kTeacOpcExecution = 0xEC,
	kPhilipsFirstWritableAddress = 0xE2,
	kPhilipsWriteTrack = 0xE6,        // also the Yamaha CDR100's
	kPhilipsMediumLoadUnload = 0xE7,
	kYamahaWriteToc = 0xEA,
	kPhilipsWriteSession = 0xED,
	kPhilipsReadSessionInfo = 0xEE,
};

// Profiles (feature sets) of GET CONFIGURATION.
enum : uint16 {
	kProfileNone = 0x0000,
	kProfileCdRom = 0x0008,
	kProfileCdR = 0x0009,
	kProfileCdRw = 0x000A,
};

// SCSI status byte.
enum : uint8 {
	kStatusGood = 0x00,
	kStatusCheckCondition = 0x02,
};

// CAM status byte of the adapter (bits 0-5 the code, bit 7 autosense valid).
enum : uint8 {
	kCamRequestCompleted = 0x01,
	kCamRequestCompletedWithError = 0x04,
	kCamRequestInvalid = 0x06,
	kCamDataRunError = 0x12,
	kCamAutosenseValid = 0x80,
};

// Sense keys.
enum : uint8 {
	kNoSense = 0x0,
	kNotReady = 0x2,
	kMediumError = 0x3,
	kIllegalRequest = 0x5,
	kUnitAttention = 0x6,
};

// Audio status of READ SUB-CHANNEL.
enum : uint8 {
	kAudioStatusNotSupported = 0x00,
	kAudioStatusPlaying = 0x11,
	kAudioStatusPaused = 0x12,
	kAudioStatusCompleted = 0x13,
	kAudioStatusError = 0x14,
	kAudioStatusNone = 0x15,
};

// One sense condition: key, additional sense code and qualifier, with the
// optional information field (an LBA) and the optional field pointer of an
// ILLEGAL REQUEST (byte offset into the command block or parameter list).
struct SSense {
	uint8 key = kNoSense;
	uint8 asc = 0;
	uint8 ascq = 0;
	bool infoValid = false;
	uint32 info = 0;
	bool fieldValid = false;
	bool fieldInCdb = true;
	uint16 field = 0;

	bool IsError() const { return key != kNoSense || asc != 0 || ascq != 0; }
};

constexpr SSense Sense(uint8 key, uint8 asc, uint8 ascq)
{
	SSense s;
	s.key = key;
	s.asc = asc;
	s.ascq = ascq;
	return s;
}

inline SSense SenseInvalidCdbField(uint16 byteOffset)
{
	SSense s = Sense(kIllegalRequest, 0x24, 0x00);
	s.fieldValid = true;
	s.fieldInCdb = true;
	s.field = byteOffset;
	return s;
}

inline SSense SenseInvalidParameterField(uint16 byteOffset)
{
	SSense s = Sense(kIllegalRequest, 0x26, 0x00);
	s.fieldValid = true;
	s.fieldInCdb = false;
	s.field = byteOffset;
	return s;
}

constexpr SSense kSenseNone = Sense(kNoSense, 0x00, 0x00);
constexpr SSense kSenseInvalidOpcode = Sense(kIllegalRequest, 0x20, 0x00);
constexpr SSense kSenseLbaOutOfRange = Sense(kIllegalRequest, 0x21, 0x00);
constexpr SSense kSenseParameterListLength = Sense(kIllegalRequest, 0x1A, 0x00);
constexpr SSense kSenseSavingNotSupported = Sense(kIllegalRequest, 0x39, 0x00);
constexpr SSense kSenseIllegalModeForTrack = Sense(kIllegalRequest, 0x64, 0x00);
constexpr SSense kSenseCommandSequenceError = Sense(kIllegalRequest, 0x2C, 0x00);
constexpr SSense kSenseRemovalPrevented = Sense(kIllegalRequest, 0x53, 0x02);
constexpr SSense kSenseMediumNotPresent = Sense(kNotReady, 0x3A, 0x00);
constexpr SSense kSenseMediumNotPresentTrayOpen = Sense(kNotReady, 0x3A, 0x02);
constexpr SSense kSenseBecomingReady = Sense(kNotReady, 0x04, 0x01);
constexpr SSense kSenseMediumChanged = Sense(kUnitAttention, 0x28, 0x00);
constexpr SSense kSenseUnrecoveredReadError = Sense(kMediumError, 0x11, 0x00);
constexpr SSense kSenseAudioPlayInProgress = Sense(kNoSense, 0x00, 0x11);

// Length of fixed-format sense data.
constexpr size_t kSenseLength = 18;

// Writes `sense` as fixed-format sense data (18 bytes) into `out`.
void EncodeFixedSense(const SSense& sense, uint8* out);

// Big-endian access.
inline uint16 Get16(const uint8* p) { return uint16((p[0] << 8) | p[1]); }
inline uint32 Get24(const uint8* p) { return (uint32(p[0]) << 16) | (uint32(p[1]) << 8) | p[2]; }
inline uint32 Get32(const uint8* p)
{
	return (uint32(p[0]) << 24) | (uint32(p[1]) << 16) | (uint32(p[2]) << 8) | p[3];
}
inline void Put16(uint8* p, uint32 v)
{
	p[0] = uint8(v >> 8);
	p[1] = uint8(v);
}
inline void Put24(uint8* p, uint32 v)
{
	p[0] = uint8(v >> 16);
	p[1] = uint8(v >> 8);
	p[2] = uint8(v);
}
inline void Put32(uint8* p, uint32 v)
{
	p[0] = uint8(v >> 24);
	p[1] = uint8(v >> 16);
	p[2] = uint8(v >> 8);
	p[3] = uint8(v);
}

// CD addresses. An LBA counts sectors from the start of track 1's program
// area; the MSF time of a sector is LBA + 150 frames (75 frames a second).
// Negative LBAs (the lead-in) wrap into the 90..99 minute range, as the Q
// sub-channel writes them.
constexpr int32 kFramesPerSecond = 75;
constexpr int32 kMsfOffset = 150;
constexpr int32 kLeadInWrap = 450000;   // 100 minutes of frames
constexpr size_t kAudioSectorSize = 2352;

struct SMsf {
	uint8 minute = 0;
	uint8 second = 0;
	uint8 frame = 0;
};

inline SMsf LbaToMsf(int32 lba)
{
	int32 f = lba + kMsfOffset;
	if (f < 0)
		f += kLeadInWrap;
	SMsf msf;
	msf.minute = uint8((f / (60 * kFramesPerSecond)) % 256);
	msf.second = uint8((f / kFramesPerSecond) % 60);
	msf.frame = uint8(f % kFramesPerSecond);
	return msf;
}

// The LBA of an absolute MSF time; minutes of 90 and above are lead-in
// addresses (negative LBAs).
inline int32 MsfToLba(uint8 minute, uint8 second, uint8 frame)
{
	int32 f = (int32(minute) * 60 + second) * kFramesPerSecond + frame;
	if (minute >= 90)
		f -= kLeadInWrap;
	return f - kMsfOffset;
}

// A length in frames as an MSF value (no offset).
inline SMsf FramesToMsf(int32 frames)
{
	if (frames < 0)
		frames = -frames;
	SMsf msf;
	msf.minute = uint8((frames / (60 * kFramesPerSecond)) % 256);
	msf.second = uint8((frames / kFramesPerSecond) % 60);
	msf.frame = uint8(frames % kFramesPerSecond);
	return msf;
}

inline uint8 ToBcd(uint32 value) { return uint8(((value / 10) % 10) << 4 | (value % 10)); }

}   // namespace mmc
