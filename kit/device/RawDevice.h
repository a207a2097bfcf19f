// Raw SCSI pass-through: the platform's raw_device_command sent with
// B_RAW_DEVICE_COMMAND to a descriptor opened from the device namespace.
//
// The namespace shows real drives (Linux SCSI generic devices, through
// SG_IO) and virtual drives (see VirtualDevice.h) under the same paths, so
// code above this layer cannot tell them apart. Descriptors from dev_open are
// only used with the dev_* functions.
#pragma once

#include "kit/support/SupportDefs.h"

#include <cstddef>

enum : int {
	B_RAW_DEVICE_COMMAND = 10102,
};

// raw_device_command.flags
enum : uint8 {
	B_RAW_DEVICE_DATA_IN = 0x01,
	B_RAW_DEVICE_REPORT_RESIDUAL = 0x02,
	B_RAW_DEVICE_SHORT_READ_VALID = 0x04,
};

struct raw_device_command {
	uint8 command[16];
	uint8 command_length;
	uint8 flags;
	uint8 scsi_status;        // filled in: the target's status byte
	uint8 cam_status;         // filled in: the adapter's CAM status
	void* data;
	size_t data_length;       // with B_RAW_DEVICE_REPORT_RESIDUAL: replaced by the residual
	void* sense_data;
	size_t sense_data_length; // with B_RAW_DEVICE_REPORT_RESIDUAL: replaced by the residual
	bigtime_t timeout;        // microseconds
};
