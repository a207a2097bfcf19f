// A drive that is not a kernel device: the virtual drives of emulator/
// register here and appear in the device namespace beside real drives, on a
// virtual bus of their own. The device layer hands each command to the drive
// as a real adapter would hand it to a target.
#pragma once

#include "kit/device/RawDevice.h"
#include "kit/support/SupportDefs.h"

#include <memory>
#include <string>
#include <vector>

class CVirtualDevice {
public:
	virtual ~CVirtualDevice() = default;

	// Carries out one command. Fills command->scsi_status and cam_status as a
	// real target and adapter would: on CHECK CONDITION the sense data go to
	// command->sense_data (autosense, CAM_AUTOSNS_VALID set) when a sense
	// buffer is given, and are kept for a following REQUEST SENSE. A transfer
	// shorter than data_length is reported as CAM_DATA_RUN_ERR with the
	// residual when B_RAW_DEVICE_REPORT_RESIDUAL is set. Returns B_OK when the
	// request was carried out (whatever the SCSI outcome), else an error (the
	// "os status").
	// May be called from several threads; implementations serialise.
	virtual status_t Execute(raw_device_command* command) = 0;

	// The operating system's CD audio read (Linux CDROMREADAUDIO): `count`
	// sectors of 2352 bytes from `lba` into `buffer`. B_OK, B_DEV_NO_MEDIA,
	// B_DEV_READ_ERROR, B_BAD_VALUE.
	virtual status_t ReadAudio(int32 lba, int32 count, void* buffer) = 0;

	// Peripheral device type (5 = CD-ROM, 4 = WORM) of the INQUIRY data.
	virtual uint8 PeripheralType() const = 0;
	// True when the drive sits on an ATAPI path instead of the SCSI tree.
	virtual bool IsAtapi() const { return false; }

	// The most data bytes one command may move, as a real adapter limits it
	// (see dev_max_transfer_length). Asked when a descriptor is opened.
	virtual size_t MaxTransferLength() const { return B_RAW_DEVICE_DEFAULT_MAX_TRANSFER; }
};

// Adds `device` to the virtual bus and returns (in *rawPath) the path it is
// offered under. Virtual drives take the host numbers above the real ones.
status_t RegisterVirtualDevice(std::shared_ptr<CVirtualDevice> device, std::string* rawPath);
// Removes every virtual drive (open descriptors to them fail from then on).
void UnregisterVirtualDevices();
// Raw paths of the registered virtual drives, in registration order.
std::vector<std::string> VirtualDevicePaths();
