// Raw commands to real drives through Linux SG_IO, and the mapping of the
// kernel's result (SCSI status, host byte, driver byte, residual, sense) to
// the SCSI and CAM status bytes of raw_device_command.
#pragma once

#include "kit/device/RawDevice.h"
#include "kit/support/SupportDefs.h"

#include <functional>

struct sg_io_hdr;

// The ioctl through which real drives are reached. Tests install a fake (a
// drive that is not there); nullptr restores ioctl(2). Set it while no
// command runs. Returns what ioctl returns (0 or -1 with errno).
using OsIoctlFunction = std::function<int(int fd, unsigned long request, void* arg)>;
void SetOsIoctlFunction(OsIoctlFunction function);
int CallOsIoctl(int fd, unsigned long request, void* arg);

// Host bytes of the Linux SCSI midlayer (sg_io_hdr.host_status).
enum : uint16 {
	SG_DID_OK = 0x00,
	SG_DID_NO_CONNECT = 0x01,
	SG_DID_BUS_BUSY = 0x02,
	SG_DID_TIME_OUT = 0x03,
	SG_DID_BAD_TARGET = 0x04,
	SG_DID_ABORT = 0x05,
	SG_DID_PARITY = 0x06,
	SG_DID_ERROR = 0x07,
	SG_DID_RESET = 0x08,
	SG_DID_BAD_INTR = 0x09,
	SG_DID_PASSTHROUGH = 0x0a,
	SG_DID_SOFT_ERROR = 0x0b,
	SG_DID_IMM_RETRY = 0x0c,
	SG_DID_REQUEUE = 0x0d,
	SG_DID_TRANSPORT_DISRUPTED = 0x0e,
	SG_DID_TRANSPORT_FAILFAST = 0x0f,
	SG_DID_TARGET_FAILURE = 0x10,
	SG_DID_NEXUS_FAILURE = 0x11,
	SG_DID_ALLOC_FAILURE = 0x12,
	SG_DID_MEDIUM_ERROR = 0x13,
	SG_DID_TRANSPORT_MARGINAL = 0x14,
};

// Driver bytes (low four bits of sg_io_hdr.driver_status).
enum : uint16 {
	SG_DRIVER_OK = 0x00,
	SG_DRIVER_BUSY = 0x01,
	SG_DRIVER_SOFT = 0x02,
	SG_DRIVER_MEDIA = 0x03,
	SG_DRIVER_ERROR = 0x04,
	SG_DRIVER_INVALID = 0x05,
	SG_DRIVER_TIMEOUT = 0x06,
	SG_DRIVER_HARD = 0x07,
	SG_DRIVER_SENSE = 0x08,
	SG_DRIVER_MASK = 0x0f,
};

// What the kernel reported for one SG_IO request that it carried out.
struct SG_TRANSPORT_RESULT {
	uint8 status = 0;             // the target's SCSI status byte
	uint16 host_status = 0;
	uint16 driver_status = 0;
	int32 resid = 0;              // bytes not transferred (the kernel may report nonsense)
	uint32 requested_length = 0;  // dxfer_len of the request
};

struct SG_COMMAND_OUTCOME {
	uint8 scsi_status = 0;
	uint8 cam_status = 0;
	size_t residual = 0;          // 0 .. requested_length
};

// The SCSI and CAM status bytes of a carried-out request. `senseDelivered`
// is the number of sense bytes handed to the caller: with a CHECK CONDITION
// (or COMMAND TERMINATED, or the driver's sense flag) and sense delivered,
// CAM_AUTOSNS_VALID is added. A good status with a residual gives
// CAM_DATA_RUN_ERR.
SG_COMMAND_OUTCOME MapSgResult(const SG_TRANSPORT_RESULT& result, size_t senseDelivered);

// The CAM status reported when SG_IO itself failed with `error`.
uint8 CamStatusFromErrno(int error);

// Fills an SG_IO header from `command`, with `senseBuffer` (of
// `senseBufferSize` bytes, at most 255) as the kernel's sense buffer.
// Returns 0, or EINVAL for a request SG_IO cannot carry (command length not
// 1-16, data longer than 4 GiB, a length without buffer).
int BuildSgRequest(const raw_device_command& command, sg_io_hdr* header, uint8* senseBuffer,
	size_t senseBufferSize);

// Sends `command` to the Linux SCSI generic or CD block device `fd` with
// SG_IO (through CallOsIoctl) and fills its status bytes, sense data and,
// with B_RAW_DEVICE_REPORT_RESIDUAL, residuals. Returns 0 when the kernel
// carried out the request, else -1 with errno (cam_status then tells what
// kind of failure it was). Blocks; any thread.
int SgExecuteRawCommand(int fd, raw_device_command* command);
