// The two commands the program sends itself before a driver is bound
// (INQUIRY, REQUEST SENSE), and the texts of sense data, SCSI status bytes
// and CAM status bytes for logs and error boxes. The records they fill
// (SCSI_SENSE, SCSI_STATUS, SCSI_INQUIRY) are in driver/ScsiRecords.h,
// included here for every user of this header.
#pragma once

#include "driver/ScsiRecords.h"
#include "kit/device/RawDevice.h"
#include "kit/support/SupportDefs.h"

#include <string>

// Sends INQUIRY (56 bytes) to a raw device descriptor of the device
// namespace. True when inquiry data were received (a short transfer counts);
// the record is zeroed first, so on false it holds zeros or what the drive
// sent. Logs through DebugLog.
bool ScsiInquiry(int fd, SCSI_INQUIRY* inquiry);

// Sends REQUEST SENSE (18 bytes). True when sense data were received (a
// short transfer counts). Logs through DebugLog.
bool ScsiRequestSense(int fd, SCSI_SENSE* sense);

// Asks the drive at `fd` for its session-at-once feature (002Eh) with GET
// CONFIGURATION: true when it can write CD-Text there (the feature's SAO
// and R-W bits). False when the drive has no such feature, refuses the
// command or answers something else; every length is checked.
bool ScsiCanWriteCdText(int fd);

// "(KK, AA, QQ) - " (or the verbose decimal/hex block) followed by the sense
// key text and " - " and the condition text, or "UNKNOWN ERROR".
std::string GetScsiSenseMessage(uint8 senseKey, uint8 asc, uint8 ascq, bool verbose);
// Text of the SCSI status byte (bits 1-5), "unknown status byte" if none.
std::string GetScsiStatusByteDescription(int status);
// Text of the CAM status code (bits 0-5) plus the queue-frozen and autosense
// remarks of bits 6 and 7.
std::string GetCamStatusByteDescription(int status);
// The bare text of the CAM status code (bits 0-5).
std::string _GetCamStatusByteDescription(int status);
// A multi-line report of one command's outcome for error boxes and logs.
std::string GetScsiErrorMessage(const char* headline, const SCSI_STATUS* status, bool verbose);

// Write to the console log (DebugLog).
void DumpSense(const SCSI_SENSE* sense);
void DumpStatus(const SCSI_STATUS* status);
void DumpInquiry(const SCSI_INQUIRY* inquiry);

// The text tables (ScsiSenseTables.cpp). Each ends with a row whose first
// code is SCSI_CODE_END; SCSI_CODE_ANY matches any value.
enum : uint16 {
	SCSI_CODE_ANY = 0xFFFE,
	SCSI_CODE_END = 0xFFFF,
};

struct SCSI_SENSE_KEY_TEXT {
	uint16 key;
	const char* text;
};

struct SCSI_MMC_CONDITION {
	uint16 key;
	uint16 asc;
	uint16 ascq;
	const char* text;
};

struct SCSI_ASC_CONDITION {
	uint16 asc;
	uint16 ascq;
	const char* text;
};

extern const SCSI_SENSE_KEY_TEXT g_ScsiSenseKeyTexts[];
extern const SCSI_MMC_CONDITION g_ScsiMmcConditions[];
extern const SCSI_ASC_CONDITION g_Scsi2Conditions[];
