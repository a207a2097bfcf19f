// The virtual drive's words on top of the SCSI vocabulary of kit/device: the
// sense condition a command ends with (with the information and field
// pointer a drive adds), the named conditions the drive answers with, and
// the profiles of GET CONFIGURATION. Operation codes, command fields, sense
// names, status and CAM bytes, byte order, BCD and CD addresses are the
// kit's (ScsiCommands.h, ScsiCommandDecoders.h, ScsiSense.h, RawDevice.h,
// ByteOrder.h, CdAddress.h); namespace mmc sees the operation codes and the
// CD address helpers under their kit names.
#pragma once

#include "kit/device/CdAddress.h"
#include "kit/device/RawDevice.h"
#include "kit/device/ScsiCommandDecoders.h"
#include "kit/device/ScsiCommands.h"
#include "kit/device/ScsiSense.h"
#include "kit/support/ByteOrder.h"
#include "kit/support/SupportDefs.h"

#include <cstddef>

namespace mmc {

using namespace cdb;

// The kit's CD address helpers, as the image and the tests of the emulator
// name them.
using SMsf = SCdMsf;
using ::FramesToMsf;
using ::LbaToMsf;
using ::MsfToLba;
using ::ToBcd;
inline constexpr size_t kAudioSectorSize = kCdAudioSectorSize;
inline constexpr int32 kMsfOffset = kCdMsfOffset;
inline constexpr int32 kFramesPerSecond = kCdFramesPerSecond;
// Sense keys that descriptions of injected faults name.
inline constexpr uint8 kNotReady = kSenseKeyNotReady;
inline constexpr uint8 kMediumError = kSenseKeyMediumError;

// Profiles (feature sets) of GET CONFIGURATION.
enum : uint16 {
	kProfileNone = 0x0000,
	kProfileCdRom = 0x0008,
	kProfileCdR = 0x0009,
	kProfileCdRw = 0x000A,
};

// One sense condition: key, additional sense code and qualifier, with the
// optional information field (an LBA) and the optional field pointer of an
// ILLEGAL REQUEST (byte offset into the command block or parameter list).
struct SSense {
	uint8 key = kSenseKeyNoSense;
	uint8 asc = 0;
	uint8 ascq = 0;
	bool infoValid = false;
	uint32 info = 0;
	bool fieldValid = false;
	bool fieldInCdb = true;
	uint16 field = 0;

	constexpr SSense() = default;
	constexpr SSense(const SSenseCode& code) : key(code.key), asc(code.asc), ascq(code.ascq) {}

	bool IsError() const { return key != kSenseKeyNoSense || asc != 0 || ascq != 0; }
	SSenseCode Code() const { return {key, asc, ascq}; }
};

constexpr SSense Sense(uint8 key, uint8 asc, uint8 ascq)
{
	return SSense(SSenseCode {key, asc, ascq});
}

inline SSense SenseInvalidCdbField(uint16 byteOffset)
{
	SSense s = sense::kInvalidCdbField;
	s.fieldValid = true;
	s.fieldInCdb = true;
	s.field = byteOffset;
	return s;
}

inline SSense SenseInvalidParameterField(uint16 byteOffset)
{
	SSense s = sense::kInvalidParameterField;
	s.fieldValid = true;
	s.fieldInCdb = false;
	s.field = byteOffset;
	return s;
}

inline constexpr SSense kSenseNone = sense::kNone;
inline constexpr SSense kSenseInvalidOpcode = sense::kInvalidOpcode;
inline constexpr SSense kSenseLbaOutOfRange = sense::kLbaOutOfRange;
inline constexpr SSense kSenseParameterListLength = sense::kParameterListLengthError;
inline constexpr SSense kSenseSavingNotSupported = sense::kSavingNotSupported;
inline constexpr SSense kSenseIllegalModeForTrack = sense::kIllegalModeForTrack;
inline constexpr SSense kSenseCommandSequenceError = sense::kCommandSequenceError;
inline constexpr SSense kSenseRemovalPrevented = sense::kRemovalPrevented;
inline constexpr SSense kSenseMediumNotPresent = sense::kMediumNotPresent;
inline constexpr SSense kSenseMediumNotPresentTrayOpen = sense::kMediumNotPresentTrayOpen;
inline constexpr SSense kSenseBecomingReady = sense::kBecomingReady;
inline constexpr SSense kSenseMediumChanged = sense::kMediumChanged;
inline constexpr SSense kSenseUnrecoveredReadError = sense::kUnrecoveredReadError;
inline constexpr SSense kSenseAudioPlayInProgress = sense::kAudioPlayInProgress;

// Length of fixed-format sense data.
inline constexpr size_t kSenseLength = kFixedSenseLength;

// Writes `sense` as fixed-format sense data (18 bytes) into `out`.
void EncodeFixedSense(const SSense& sense, uint8* out);

}   // namespace mmc
