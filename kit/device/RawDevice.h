// Raw SCSI pass-through: the platform's raw_device_command sent with
// B_RAW_DEVICE_COMMAND to a descriptor opened from the device namespace.
//
// The namespace shows real drives (Linux SCSI generic devices, through
// SG_IO) and virtual drives (see VirtualDevice.h) under the same paths, so
// code above this layer cannot tell them apart. Descriptors from dev_open are
// only used with the dev_* functions.
//
// Paths of the namespace (see DeviceNamespace.h for listing them):
//   "/dev/bus/scsi/<host>/<target>/<lun>/raw"     raw device of a SCSI drive
//   "/dev/disk/scsi/<host>/<target>/<lun>/raw"    its system device file
//   "/dev/disk/ide/atapi/<0-3>/<master|slave>/0/raw"
//                                                 an ATAPI drive (raw device
//                                                 and system device file)
//
// Every function may be called from any thread.
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
	bigtime_t timeout;        // microseconds; 0 or less: the adapter's default
	// Filled in where the transport measures it: how long the target worked
	// on the command, in microseconds of the target's own clock (SG_IO's
	// duration; a virtual drive's clock). 0 when the transport cannot say.
	bigtime_t duration = 0;
};

// CAM status byte: bits 0-5 the code, bit 6 the frozen queue, bit 7 valid
// autosense data.
enum : uint8 {
	CAM_REQ_INPROG = 0x00,
	CAM_REQ_CMP = 0x01,
	CAM_REQ_ABORTED = 0x02,
	CAM_UA_ABORT = 0x03,
	CAM_REQ_CMP_ERR = 0x04,
	CAM_BUSY = 0x05,
	CAM_REQ_INVALID = 0x06,
	CAM_PATH_INVALID = 0x07,
	CAM_DEV_NOT_THERE = 0x08,
	CAM_UA_TERMIO = 0x09,
	CAM_SEL_TIMEOUT = 0x0a,
	CAM_CMD_TIMEOUT = 0x0b,
	CAM_MSG_REJECT_REC = 0x0d,
	CAM_SCSI_BUS_RESET = 0x0e,
	CAM_UNCOR_PARITY = 0x0f,
	CAM_AUTOSENSE_FAIL = 0x10,
	CAM_NO_HBA = 0x11,
	CAM_DATA_RUN_ERR = 0x12,
	CAM_UNEXP_BUSFREE = 0x13,
	CAM_SEQUENCE_FAIL = 0x14,
	CAM_CCB_LEN_ERR = 0x15,
	CAM_PROVIDE_FAIL = 0x16,
	CAM_BDR_SENT = 0x17,
	CAM_REQ_TERMIO = 0x18,
	CAM_HBA_ERR = 0x19,
	CAM_BUS_RESET_DENIED = 0x1a,
	CAM_IDE = 0x33,
	CAM_RESRC_UNAVAIL = 0x34,
	CAM_UNACKED_EVENT = 0x35,
	CAM_MESSAGE_RECV = 0x36,
	CAM_INVALID_CDB = 0x37,
	CAM_LUN_INVALID = 0x38,
	CAM_TID_INVALID = 0x39,
	CAM_FUNC_NOTAVAIL = 0x3a,
	CAM_NO_NEXUS = 0x3b,
	CAM_IID_INVALID = 0x3c,
	CAM_CDB_RECVD = 0x3d,
	CAM_LUN_ALLREADY_ENAB = 0x3e,
	CAM_SCSI_BUSY = 0x3f,

	CAM_STATUS_MASK = 0x3f,
	CAM_SIM_QFRZN = 0x40,
	CAM_AUTOSNS_VALID = 0x80,
};

// SCSI status bytes a target returns.
enum : uint8 {
	SCSI_STATUS_GOOD = 0x00,
	SCSI_STATUS_CHECK_CONDITION = 0x02,
	SCSI_STATUS_CONDITION_MET = 0x04,
	SCSI_STATUS_BUSY = 0x08,
	SCSI_STATUS_INTERMEDIATE = 0x10,
	SCSI_STATUS_INTERMEDIATE_CONDITION_MET = 0x14,
	SCSI_STATUS_RESERVATION_CONFLICT = 0x18,
	SCSI_STATUS_COMMAND_TERMINATED = 0x22,
	SCSI_STATUS_QUEUE_FULL = 0x28,
};

// Opens a path of the device namespace. `flags` are open(2) flags (O_RDONLY
// and O_RDWR both give a descriptor that takes every command). Returns a
// descriptor (>= 0) or -1 with errno: ENOENT (no such path), EISDIR (a
// directory of the namespace), EINVAL (null path), or the error of opening
// the Linux device (EACCES, ENXIO...).
int dev_open(const char* path, int flags);

// Closes a descriptor of dev_open. Returns 0, or -1 with errno EBADF when it
// is not one. A command still running on another thread finishes first (the
// Linux descriptor is released when the last user lets go of it).
int dev_close(int fd);

// B_RAW_DEVICE_COMMAND with a raw_device_command (`size` is its size, or 0):
// sends the command and fills scsi_status and cam_status (and the residuals
// with B_RAW_DEVICE_REPORT_RESIDUAL). Returns 0 when the request was carried
// out, whatever its SCSI outcome; -1 with errno otherwise: EBADF (not a
// descriptor of dev_open), ENODEV (its virtual drive was unregistered),
// EINVAL (bad request: command length not 1-16, a length without buffer,
// size too small), ENOTTY (another request code), or the Linux error of
// SG_IO. Blocks until the command is done.
int dev_ioctl(int fd, int request, void* arg, size_t size);

// The time the drives reported for this thread's commands beyond the real
// time those commands took, summed since the thread began: work that a
// virtual drive's instant clock did without real time passing. A timer of
// several commands adds the growth of this sum to the real time it measured.
bigtime_t dev_command_time_beyond_real();

// The most data bytes one command may move when nothing better is known:
// what the Linux SCSI generic layer and USB bridges take everywhere.
constexpr size_t B_RAW_DEVICE_DEFAULT_MAX_TRANSFER = 64 * 1024;

// The most data bytes one command may move on the drive of `fd`. A real
// drive: the smaller of its SCSI generic reserved buffer (SG_GET_RESERVED_SIZE,
// raised towards the queue's limit when the kernel lets us) and its block
// queue's maximum transfer (sysfs max_sectors_kb), whichever are known;
// B_RAW_DEVICE_DEFAULT_MAX_TRANSFER when neither is. A virtual drive: what
// it reports. Fixed when the descriptor is opened. 0 with errno EBADF for a
// descriptor that is not one of dev_open.
size_t dev_max_transfer_length(int fd);

// Reads `count` audio sectors of 2352 bytes from `lba` into `buffer` through
// the operating system's CD driver (CDROMREADAUDIO on the drive's block
// device; the drive's READ CD when it has none) or the virtual drive's
// ReadAudio. Returns B_OK, B_BAD_VALUE (count < 1, lba < 0, null buffer),
// B_FILE_ERROR (not a descriptor of dev_open), B_DEV_BAD_DRIVE_NUM (virtual
// drive unregistered), B_DEV_NO_MEDIA, B_DEV_READ_ERROR or another error.
status_t dev_read_cd_audio(int fd, int32 lba, int32 count, void* buffer);
