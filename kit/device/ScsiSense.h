// Sense data: the names of the sense keys and of the additional sense codes
// the program tests or sets, one decoded record for both sense formats, and
// the one table that decides what a sense means for whoever sent the
// command (retry it, wait for the drive, or fail).
//
// Any thread; no allocation.
#pragma once

#include "kit/support/SupportDefs.h"

#include <cstddef>
#include <span>

// Sense keys.
enum : uint8 {
	kSenseKeyNoSense = 0x0,
	kSenseKeyRecoveredError = 0x1,
	kSenseKeyNotReady = 0x2,
	kSenseKeyMediumError = 0x3,
	kSenseKeyHardwareError = 0x4,
	kSenseKeyIllegalRequest = 0x5,
	kSenseKeyUnitAttention = 0x6,
	kSenseKeyDataProtect = 0x7,
	kSenseKeyBlankCheck = 0x8,
	kSenseKeyVendorSpecific = 0x9,
	kSenseKeyAbortedCommand = 0xB,
	kSenseKeyMiscompare = 0xE,
};

// Response codes of sense data (byte 0, bits 0-6).
enum : uint8 {
	kSenseFixedCurrent = 0x70,
	kSenseFixedDeferred = 0x71,
	kSenseDescriptorCurrent = 0x72,
	kSenseDescriptorDeferred = 0x73,
};

// A sense condition: key, additional sense code and qualifier.
struct SSenseCode {
	uint8 key = kSenseKeyNoSense;
	uint8 asc = 0;
	uint8 ascq = 0;

	constexpr bool operator==(const SSenseCode&) const = default;
};

// The conditions the program names. The key is the one drives report with
// the code; SameCondition compares the code and qualifier only where drives
// differ in the key.
namespace sense {
constexpr SSenseCode kNone {kSenseKeyNoSense, 0x00, 0x00};
constexpr SSenseCode kAudioPlayInProgress {kSenseKeyNoSense, 0x00, 0x11};
constexpr SSenseCode kNotReadyCauseNotReportable {kSenseKeyNotReady, 0x04, 0x00};
constexpr SSenseCode kBecomingReady {kSenseKeyNotReady, 0x04, 0x01};
constexpr SSenseCode kOperationInProgress {kSenseKeyNotReady, 0x04, 0x07};
constexpr SSenseCode kLongWriteInProgress {kSenseKeyNotReady, 0x04, 0x08};
constexpr SSenseCode kMediumNotPresent {kSenseKeyNotReady, 0x3A, 0x00};
constexpr SSenseCode kMediumNotPresentTrayOpen {kSenseKeyNotReady, 0x3A, 0x02};
constexpr SSenseCode kUnrecoveredReadError {kSenseKeyMediumError, 0x11, 0x00};
constexpr SSenseCode kParameterListLengthError {kSenseKeyIllegalRequest, 0x1A, 0x00};
constexpr SSenseCode kInvalidOpcode {kSenseKeyIllegalRequest, 0x20, 0x00};
constexpr SSenseCode kLbaOutOfRange {kSenseKeyIllegalRequest, 0x21, 0x00};
constexpr SSenseCode kInvalidCdbField {kSenseKeyIllegalRequest, 0x24, 0x00};
constexpr SSenseCode kInvalidParameterField {kSenseKeyIllegalRequest, 0x26, 0x00};
constexpr SSenseCode kCommandSequenceError {kSenseKeyIllegalRequest, 0x2C, 0x00};
constexpr SSenseCode kSavingNotSupported {kSenseKeyIllegalRequest, 0x39, 0x00};
constexpr SSenseCode kRemovalPrevented {kSenseKeyIllegalRequest, 0x53, 0x02};
constexpr SSenseCode kIllegalModeForTrack {kSenseKeyIllegalRequest, 0x64, 0x00};
constexpr SSenseCode kMediumChanged {kSenseKeyUnitAttention, 0x28, 0x00};
constexpr SSenseCode kPowerOnOrReset {kSenseKeyUnitAttention, 0x29, 0x00};
// Vendor conditions of the pre-MMC recorders: the CDR100/102's buffer is
// full while it writes the lead-in; its lead-out is still being written.
constexpr SSenseCode kYamahaWritingLeadIn {kSenseKeyVendorSpecific, 0xB8, 0x00};
constexpr SSenseCode kYamahaWriteInProgress {kSenseKeyAbortedCommand, 0x50, 0x00};
}   // namespace sense

// True when `a` and `b` have the same key and code; the qualifier too when
// `withQualifier`.
constexpr bool SameCondition(const SSenseCode& a, const SSenseCode& b, bool withQualifier = true)
{
	return a.key == b.key && a.asc == b.asc && (!withQualifier || a.ascq == b.ascq);
}

// Sense data decoded, whichever format the drive used.
struct SScsiSense {
	bool valid = false;          // a known response code (70h-73h) arrived
	bool descriptorFormat = false;
	bool deferred = false;       // 71h/73h: the error of an earlier command
	SSenseCode code;
	bool informationValid = false;
	uint64 information = 0;      // usually an LBA
	bool senseKeySpecificValid = false;   // SKSV
	uint8 senseKeySpecific[3] = {};       // bytes as sent (bit 7 of the first is SKSV)
	bool fieldPointerValid = false;       // ILLEGAL REQUEST: which byte was wrong
	bool fieldInCommand = false;          // C/D: in the command block (else in the parameter list)
	uint16 fieldPointer = 0;
	bool progressValid = false;           // NOT READY / NO SENSE: progress indication
	uint16 progress = 0;                  // 0..65535 of 65536
};

// Decodes `size` bytes of sense data in fixed (70h/71h) or descriptor
// (72h/73h) format. Reads nothing beyond `size` nor beyond the additional
// length the data declare. Data of another response code give a record with
// valid false. `data` may be null when `size` is 0.
SScsiSense DecodeSense(const uint8* data, size_t size);

// Writes `sense` as 18 bytes of fixed-format sense data into out[0..17]:
// the response code (71h when deferred), key, information, additional
// length 10, ASC/ASCQ and the sense-key specific bytes (field pointer or
// progress when set).
constexpr size_t kFixedSenseLength = 18;
void EncodeFixedSense(const SScsiSense& sense, uint8* out);

// What a failed command's sense means for its sender.
enum class sense_action : uint8 {
	kFail,     // report the error
	kRetry,    // send the same command again, once
	kWait,     // the drive is busy: ask again (TEST UNIT READY) within a bound
};

// The table: UNIT ATTENTION 28h (medium may have changed) and 29h (reset)
// are retried once; NOT READY 04h/01h (becoming ready) and 04h/08h (long
// write in progress) are waited for; everything else fails. A dialect that
// knows more busy conditions of its drives (vendor sense) names them in
// `alsoWait`: a code whose key and ASC match one of them is waited for too.
sense_action ActionForSense(const SSenseCode& code, std::span<const SSenseCode> alsoWait = {});
