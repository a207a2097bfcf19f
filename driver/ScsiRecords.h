// The records that the program, the driver add-ons and the command library
// pass to each other about one drive command: its outcome (SCSI_STATUS), the
// sense data inside it (SCSI_SENSE) and standard INQUIRY data
// (SCSI_INQUIRY). Records only, laid out byte for byte as the drive sends
// them; the functions that fill and describe them are in devices/ScsiMisc.h.
#pragma once

#include "kit/device/RawDevice.h"   // the codes of scsi_status and cam_status
#include "kit/support/SupportDefs.h"

#include <cstddef>

// Fixed-format sense data, 18 bytes, as the drive returns them.
struct SCSI_SENSE {
	uint8 ErrorCode : 7;   // 70h current, 71h deferred
	uint8 Valid : 1;       // the Information field is valid
	uint8 SegmentNumber;
	uint8 SenseKey : 4;
	uint8 Reserved : 1;
	uint8 ILI : 1;         // incorrect length indicator
	uint8 EOM : 1;         // end of medium
	uint8 FileMark : 1;
	uint8 Information[4];  // big-endian
	uint8 AdditionalSenseLength;
	uint8 CommandSpecificInformation[4];
	uint8 AdditionalSenseCode;
	uint8 AdditionalSenseCodeQualifier;
	uint8 FieldReplaceableUnitCode;
	uint8 SenseKeySpecific[3];
};
static_assert(sizeof(SCSI_SENSE) == 18);
static_assert(offsetof(SCSI_SENSE, SegmentNumber) == 1);
static_assert(offsetof(SCSI_SENSE, Information) == 3);
static_assert(offsetof(SCSI_SENSE, AdditionalSenseLength) == 7);
static_assert(offsetof(SCSI_SENSE, CommandSpecificInformation) == 8);
static_assert(offsetof(SCSI_SENSE, AdditionalSenseCode) == 12);
static_assert(offsetof(SCSI_SENSE, AdditionalSenseCodeQualifier) == 13);
static_assert(offsetof(SCSI_SENSE, FieldReplaceableUnitCode) == 14);
static_assert(offsetof(SCSI_SENSE, SenseKeySpecific) == 15);

// The outcome of one drive command, filled by whoever sends it.
struct SCSI_STATUS {
	SCSI_SENSE sense;      // autosense or a following REQUEST SENSE
	uint8 _align[2];
	int32 os_status;       // result of the raw-device request, 0 = carried out
	int32 scsi_status;     // the target's status byte
	int32 cam_status;      // the adapter's CAM status byte
	int32 command_length;  // valid bytes of `command`, 0-16
	uint8 command[16];     // the command block sent
	uint8 _align2[4];
	int64 time;            // duration of the command in microseconds
};
static_assert(offsetof(SCSI_STATUS, sense) == 0);
static_assert(offsetof(SCSI_STATUS, os_status) == 20);
static_assert(offsetof(SCSI_STATUS, scsi_status) == 24);
static_assert(offsetof(SCSI_STATUS, cam_status) == 28);
static_assert(offsetof(SCSI_STATUS, command_length) == 32);
static_assert(offsetof(SCSI_STATUS, command) == 36);
static_assert(offsetof(SCSI_STATUS, time) == 56);
static_assert(sizeof(SCSI_STATUS) == 64);

// The first 56 bytes of standard INQUIRY data.
struct SCSI_INQUIRY {
	uint8 PeripheralDeviceType : 5;   // 4 write-once (WORM), 5 CD-ROM
	uint8 PeripheralQualifier : 3;
	uint8 DeviceTypeModifier : 7;
	uint8 RemovableMedium : 1;
	uint8 AnsiVersion : 3;
	uint8 EcmaVersion : 3;
	uint8 IsoVersion : 2;
	uint8 ResponseDataFormat : 4;
	uint8 Reserved1 : 2;
	uint8 TerminateIoProcess : 1;
	uint8 AsynchronousEventNotification : 1;
	uint8 AdditionalLength;
	uint8 Reserved2[2];
	uint8 SoftReset : 1;
	uint8 CommandQueuing : 1;
	uint8 Reserved3 : 1;
	uint8 Linked : 1;
	uint8 Synchronous : 1;
	uint8 WideBus16 : 1;
	uint8 WideBus32 : 1;
	uint8 RelativeAddressing : 1;
	char VendorIdentification[8];     // ASCII, blank padded, no terminator
	char ProductIdentification[16];
	char ProductRevisionLevel[4];
	uint8 VendorSpecific[20];         // vendor specific and reserved, as received
};
static_assert(sizeof(SCSI_INQUIRY) == 56);
static_assert(offsetof(SCSI_INQUIRY, AdditionalLength) == 4);
static_assert(offsetof(SCSI_INQUIRY, VendorIdentification) == 8);
static_assert(offsetof(SCSI_INQUIRY, ProductIdentification) == 16);
static_assert(offsetof(SCSI_INQUIRY, ProductRevisionLevel) == 32);
static_assert(offsetof(SCSI_INQUIRY, VendorSpecific) == 36);
