// What the command library's sources share (not exported): sending one
// command block to a drive with its outcome in a SCSI_STATUS, the mode page
// helpers of both command sizes, and conversions.
//
// Every function may be called from any thread; a drive's commands are
// serialised by the device layer below.
#pragma once

#include "driver/driverbaseclass.h"
#include "kit/device/CdAddress.h"
#include "kit/device/ScsiCommands.h"
#include "kit/device/ScsiParameters.h"
#include "kit/device/ScsiSense.h"

class CDevice;

// Time-outs of the commands, in microseconds.
constexpr bigtime_t kDefaultTimeout = 30 * 1000000LL;
constexpr bigtime_t kReadTimeout = 60 * 1000000LL;
constexpr bigtime_t kWriteTimeout = 240 * 1000000LL;
constexpr bigtime_t kFixationTimeout = 480 * 1000000LL;

constexpr size_t kSectorSize = kCdAudioSectorSize;
constexpr size_t kDataBlockSize = 2048;   // CD-ROM mode 1 user data

// Sends `block` to the drive's raw descriptor with `length` bytes of `data`
// moving in `direction`, and fills *status (when not null) completely: the
// command block and its length, the os status of the request, the SCSI and
// CAM status bytes, the sense data (autosense, or REQUEST SENSE when the
// drive reported CHECK CONDITION without it) and the duration in
// microseconds. Logs the command by name when the drive's debug flag is set.
//
// True when the request was carried out with GOOD status and, for data-out
// and no-data commands, completely; a data-in command may deliver less than
// `length` (the drive's answer was shorter). *transferred (when given)
// receives the bytes actually moved, never more than `length`.
bool SendCommand(CDevice* device, const CCommandBlock& block, data_direction direction, void* data, size_t length,
	SCSI_STATUS* status, size_t* transferred = nullptr, bigtime_t timeout = kDefaultTimeout);

// How many sectors of `sectorSize` bytes one command may move on the drive:
// its transfer limit (dev_max_transfer_length) divided by the sector size,
// at least 1 and at most `limit` (what the command's length field holds).
int32 SectorsPerCommand(CDevice* device, size_t sectorSize, int32 limit);

// The outcome of a function that fails before or instead of sending a
// command: *status (when given) is zeroed and its os status set.
bool FailWith(SCSI_STATUS* status, status_t osStatus);
// The outcome of a function that succeeds without a command (the dummies):
// *status (when given) is zeroed.
bool SucceedWithoutCommand(SCSI_STATUS* status);

// A function that sends several commands reports the whole time they took:
// construct it first, call Finish(status) before returning. Drive time a
// transport reported beyond the real time (a virtual drive's instant clock)
// counts too. Only for the thread that constructed it.
class CCommandTimer {
public:
	CCommandTimer();
	// Puts the time since construction into status->time; returns `result`.
	bool Finish(SCSI_STATUS* status, bool result) const;

private:
	bigtime_t fStart;
	bigtime_t fDriveTimeAtStart;
};

// The sense key and additional sense code and qualifier of *status.
uint8 SenseKey(const SCSI_STATUS& status);
uint8 SenseCode(const SCSI_STATUS& status);
uint8 SenseQualifier(const SCSI_STATUS& status);
SSenseCode SenseOf(const SCSI_STATUS& status);

// What the sense table (ActionForSense, with the dialect's `alsoWait`
// conditions) says about a failed command: kFail for a command that did not
// reach the drive or ended without CHECK CONDITION.
sense_action ActionFor(const SCSI_STATUS& status, std::span<const SSenseCode> alsoWait = {});

// Reads the table of contents (READ TOC/PMA/ATIP format 0, LBA addresses)
// into *toc. A command that succeeds with an answer that is no usable table
// fails with os status B_BAD_DATA in *status.
namespace response {
struct SToc;
}
bool ReadTableOfContents(CDevice* device, response::SToc* toc, SCSI_STATUS* status);

// --- Mode pages -------------------------------------------------------------

// The largest page the helpers handle (page code, length byte and data).
constexpr size_t kMaxPageSize = 256;

// Reads the current values of `pageCode` with MODE SENSE(10) (ten-byte) or
// MODE SENSE(6) (six-byte) into page[] (the page alone, starting with its
// code byte); *pageSize receives the page's length as far as it arrived.
// False when the command fails or the answer holds no such page.
bool ReadModePage10(CDevice* device, uint8 pageCode, uint8* page, size_t capacity, size_t* pageSize,
	SCSI_STATUS* status);
bool ReadModePage6(CDevice* device, uint8 pageCode, uint8* page, size_t capacity, size_t* pageSize,
	SCSI_STATUS* status);

// Writes one page with MODE SELECT(10) or (6): a zero header without block
// descriptors, the page with its PS bit cleared. The page-format bit is set
// for the ten-byte command and, for the six-byte command, when the drive's
// inquiry data have response data format 2 or more (SCSI-2).
bool WriteModePage10(CDevice* device, const uint8* page, size_t pageSize, SCSI_STATUS* status);
bool WriteModePage6(CDevice* device, const uint8* page, size_t pageSize, SCSI_STATUS* status);

// Reads the current `pageCode` with MODE SENSE(6), lets `change(page,
// size)` edit it and writes it back with MODE SELECT(6), so that the page's
// other fields stay as the drive has them. Fails with B_BAD_DATA in *status
// when the page that arrived is shorter than `minimumSize`.
template <typename Change>
bool ChangeModePage6(CDevice* device, uint8 pageCode, size_t minimumSize, SCSI_STATUS* status, Change change)
{
	uint8 page[kMaxPageSize] = {};
	size_t size = 0;
	if (!ReadModePage6(device, pageCode, page, sizeof(page), &size, status))
		return false;
	if (size < minimumSize) {
		if (status != nullptr)
			status->os_status = B_BAD_DATA;
		return false;
	}
	change(page, size);
	return WriteModePage6(device, page, size, status);
}

// The same with MODE SENSE(10)/MODE SELECT(10).
template <typename Change>
bool ChangeModePage10(CDevice* device, uint8 pageCode, size_t minimumSize, SCSI_STATUS* status, Change change)
{
	uint8 page[kMaxPageSize] = {};
	size_t size = 0;
	if (!ReadModePage10(device, pageCode, page, sizeof(page), &size, status))
		return false;
	if (size < minimumSize) {
		if (status != nullptr)
			status->os_status = B_BAD_DATA;
		return false;
	}
	change(page, size);
	return WriteModePage10(device, page, size, status);
}

// Selects the density code and block length with MODE SELECT(6): a 4-byte
// header and one 8-byte block descriptor (number of blocks 0 = all).
bool SelectDensity6(CDevice* device, uint8 density, uint32 blockLength, SCSI_STATUS* status);

// Density codes of the block descriptor.
enum : uint8 {
	kDensityDefault = 0x00,
	kDensityCdDa = 0x82,       // CD-DA sectors of 2352 bytes read with READ(10)
	kDensityTeacAudio = 0x04,  // audio sectors written by the Teac CD-R50/55
};

// --- Conversions ------------------------------------------------------------

// A speed in kB/s as a factor of single speed. Drives count a factor as 176
// or as 176.4 kB/s; a speed within 2 kB/s of a whole factor in either count
// is that factor, any other is kB/s / 176.4.
float FactorFromKbs(uint32 kbs);
