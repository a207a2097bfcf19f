// Sending command blocks and filling the status record; the mode page
// helpers; conversions.
#include "addons/generic/GenericCommon.h"

#include "addons/generic/DriveResponses.h"
#include "devices/Device.h"
#include "frame/Diagnostics.h"
#include "kit/device/RawDevice.h"
#include "kit/kernel/OS.h"
#include "kit/support/Errors.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace {

// Sense bytes asked for: room for descriptor-format sense with an
// information and a sense-key specific descriptor.
constexpr size_t kSenseLength = 64;

void LogCommand(CDevice* device, const char* name, const SCSI_STATUS& status, bool ok, size_t transferred)
{
	if (device == nullptr || !device->IsDebugEnabled())
		return;
	if (ok) {
		DebugLogScsi("%s: %s (%02Xh) %lld us, %zu bytes\n", device->GetDeviceName(), name, status.command[0],
			static_cast<long long>(status.time), transferred);
	} else {
		DebugLogScsi("%s: %s (%02Xh) %lld us, failed: os 0x%08X, SCSI status %02Xh, CAM status %02Xh, "
			"sense %X/%02X/%02X\n",
			device->GetDeviceName(), name, status.command[0], static_cast<long long>(status.time),
			static_cast<unsigned>(status.os_status), static_cast<unsigned>(status.scsi_status),
			static_cast<unsigned>(status.cam_status), status.sense.SenseKey, status.sense.AdditionalSenseCode,
			status.sense.AdditionalSenseCodeQualifier);
	}
}

// REQUEST SENSE after a CHECK CONDITION without autosense data: the bytes
// that arrived in data[], their count returned.
size_t FetchSense(int fd, uint8 (&data)[kSenseLength])
{
	CCommandBlock block = cdb::RequestSense(kSenseLength);
	raw_device_command command {};
	memcpy(command.command, block.Bytes(), block.Length());
	command.command_length = block.Length();
	command.flags = B_RAW_DEVICE_DATA_IN | B_RAW_DEVICE_REPORT_RESIDUAL;
	command.data = data;
	command.data_length = sizeof(data);
	command.timeout = kDefaultTimeout;
	if (dev_ioctl(fd, B_RAW_DEVICE_COMMAND, &command, sizeof(command)) != 0
		|| command.scsi_status != SCSI_STATUS_GOOD)
		return 0;
	return sizeof(data) - std::min(command.data_length, sizeof(data));
}

// The status record's sense as fixed-format bytes, whatever format the
// drive sent: descriptor-format sense is decoded and written as fixed
// format (key, code, qualifier, information, sense-key specific bytes).
void StoreSense(const uint8* data, size_t size, SCSI_SENSE* out)
{
	memset(out, 0, sizeof(*out));
	SScsiSense sense = DecodeSense(data, size);
	if (!sense.valid || !sense.descriptorFormat) {
		// Fixed format, or bytes of no known format: kept as they came.
		memcpy(out, data, std::min(size, sizeof(*out)));
		return;
	}
	uint8 fixed[kFixedSenseLength];
	EncodeFixedSense(sense, fixed);
	static_assert(sizeof(fixed) == sizeof(SCSI_SENSE));
	memcpy(out, fixed, sizeof(fixed));
}

struct SSendResult {
	int result = 0;
	int error = 0;
	size_t moved = 0;
	raw_device_command command {};
};

SSendResult SendOnce(CDevice* device, const CCommandBlock& block, data_direction direction, void* data,
	size_t length, bigtime_t timeout, SCSI_STATUS& s)
{
	SSendResult r;
	raw_device_command& command = r.command;
	memcpy(command.command, block.Bytes(), block.Length());
	command.command_length = block.Length();
	command.flags = B_RAW_DEVICE_REPORT_RESIDUAL | (direction == kDataIn ? B_RAW_DEVICE_DATA_IN : 0);
	command.data = length > 0 ? data : nullptr;
	command.data_length = length;
	uint8 sense[kSenseLength] = {};
	command.sense_data = sense;
	command.sense_data_length = sizeof(sense);
	command.timeout = timeout;

	bigtime_t start = system_time();
	r.result = dev_ioctl(device->GetRawDescriptor(), B_RAW_DEVICE_COMMAND, &command, sizeof(command));
	r.error = errno;
	s.time = std::max(system_time() - start, command.duration);   // a drive's own clock may say more

	// The residuals are the drive's word: never trust them beyond the
	// buffers they refer to.
	r.moved = length - std::min(command.data_length, length);
	s.os_status = r.result == 0 ? B_OK : StatusFromErrno(r.error);
	s.scsi_status = command.scsi_status;
	s.cam_status = command.cam_status;
	memset(&s.sense, 0, sizeof(s.sense));
	if (r.result == 0 && command.scsi_status == SCSI_STATUS_CHECK_CONDITION) {
		if ((command.cam_status & CAM_AUTOSNS_VALID) != 0) {
			size_t received = sizeof(sense) - std::min(command.sense_data_length, sizeof(sense));
			StoreSense(sense, received, &s.sense);
		} else {
			uint8 fetched[kSenseLength] = {};
			size_t received = FetchSense(device->GetRawDescriptor(), fetched);
			StoreSense(fetched, received, &s.sense);
		}
	}
	command.sense_data = nullptr;
	return r;
}

}   // namespace

bool SendCommand(CDevice* device, const CCommandBlock& block, data_direction direction, void* data, size_t length,
	SCSI_STATUS* status, size_t* transferred, bigtime_t timeout)
{
	SCSI_STATUS local;
	SCSI_STATUS& s = status != nullptr ? *status : local;
	memset(&s, 0, sizeof(s));
	memcpy(s.command, block.Bytes(), block.Length());
	s.command_length = block.Length();
	if (transferred != nullptr)
		*transferred = 0;

	if (device == nullptr || (length > 0 && data == nullptr)) {
		s.os_status = B_BAD_VALUE;
		return false;
	}
	if (direction == kNoData)
		length = 0;

	SSendResult r = SendOnce(device, block, direction, data, length, timeout, s);
	// A unit attention ends the command before the drive carries it out:
	// send it once more.
	if (ActionFor(s) == sense_action::kRetry) {
		LogCommand(device, block.Name(), s, false, r.moved);
		bigtime_t first = s.time;
		r = SendOnce(device, block, direction, data, length, timeout, s);
		s.time += first;
	}

	uint8 cam = r.command.cam_status & CAM_STATUS_MASK;
	bool ok = r.result == 0 && r.command.scsi_status == SCSI_STATUS_GOOD
		&& (cam == CAM_REQ_CMP || (cam == CAM_DATA_RUN_ERR && direction == kDataIn));
	if (ok && direction != kDataIn && r.moved != length)
		ok = false;
	// A data-run error that filled the whole buffer is an overrun: the drive
	// had more to send than was asked for, so the command block and the
	// buffer disagree (a forgotten sub-channel, say). Only a short transfer
	// (an underrun) is a usable answer.
	if (ok && cam == CAM_DATA_RUN_ERR && length > 0 && r.moved >= length)
		ok = false;
	if (transferred != nullptr)
		*transferred = r.moved;
	LogCommand(device, block.Name(), s, ok, r.moved);
	return ok;
}

int32 SectorsPerCommand(CDevice* device, size_t sectorSize, int32 limit)
{
	size_t bytes = device != nullptr ? dev_max_transfer_length(device->GetRawDescriptor()) : 0;
	if (bytes == 0)
		bytes = B_RAW_DEVICE_DEFAULT_MAX_TRANSFER;
	size_t sectors = sectorSize > 0 ? bytes / sectorSize : 1;
	return int32(std::clamp<size_t>(sectors, 1, size_t(std::max(limit, 1))));
}

bool FailWith(SCSI_STATUS* status, status_t osStatus)
{
	if (status != nullptr) {
		memset(status, 0, sizeof(*status));
		status->os_status = osStatus;
	}
	return false;
}

bool SucceedWithoutCommand(SCSI_STATUS* status)
{
	if (status != nullptr)
		memset(status, 0, sizeof(*status));
	return true;
}

CCommandTimer::CCommandTimer()
	:
	fStart(system_time()),
	fDriveTimeAtStart(dev_command_time_beyond_real())
{
}

bool CCommandTimer::Finish(SCSI_STATUS* status, bool result) const
{
	if (status != nullptr)
		status->time = system_time() - fStart + (dev_command_time_beyond_real() - fDriveTimeAtStart);
	return result;
}

uint8 SenseKey(const SCSI_STATUS& status)
{
	return status.sense.SenseKey;
}

uint8 SenseCode(const SCSI_STATUS& status)
{
	return status.sense.AdditionalSenseCode;
}

uint8 SenseQualifier(const SCSI_STATUS& status)
{
	return status.sense.AdditionalSenseCodeQualifier;
}

SSenseCode SenseOf(const SCSI_STATUS& status)
{
	return SSenseCode {SenseKey(status), SenseCode(status), SenseQualifier(status)};
}

sense_action ActionFor(const SCSI_STATUS& status, std::span<const SSenseCode> alsoWait)
{
	if (status.os_status != B_OK || status.scsi_status != SCSI_STATUS_CHECK_CONDITION)
		return sense_action::kFail;
	return ActionForSense(SenseOf(status), alsoWait);
}

bool ReadTableOfContents(CDevice* device, response::SToc* toc, SCSI_STATUS* status)
{
	uint8 data[4 + 101 * 8] = {};
	size_t transferred = 0;
	if (!SendCommand(device, cdb::ReadTocPmaAtip(false, cdb::kTocFormatToc, 0, sizeof(data)), kDataIn, data,
			sizeof(data), status, &transferred))
		return false;
	if (!response::ParseToc(data, transferred, toc)) {
		if (status != nullptr)
			status->os_status = B_BAD_DATA;
		return false;
	}
	return true;
}

bool ReadModePage10(CDevice* device, uint8 pageCode, uint8* page, size_t capacity, size_t* pageSize,
	SCSI_STATUS* status)
{
	uint8 data[8 + 256 + kMaxPageSize] = {};
	size_t transferred = 0;
	*pageSize = 0;
	if (!SendCommand(device, cdb::ModeSense10(false, 0, pageCode, sizeof(data)), kDataIn, data, sizeof(data),
			status, &transferred))
		return false;
	size_t offset = 0;
	size_t size = 0;
	if (!response::FindModePage10(data, transferred, pageCode, &offset, &size))
		return false;
	size = std::min(size, capacity);
	memcpy(page, data + offset, size);
	*pageSize = size;
	return true;
}

bool ReadModePage6(CDevice* device, uint8 pageCode, uint8* page, size_t capacity, size_t* pageSize,
	SCSI_STATUS* status)
{
	uint8 data[255] = {};
	size_t transferred = 0;
	*pageSize = 0;
	if (!SendCommand(device, cdb::ModeSense6(false, 0, pageCode, sizeof(data)), kDataIn, data, sizeof(data), status,
			&transferred))
		return false;
	size_t offset = 0;
	size_t size = 0;
	if (!response::FindModePage6(data, transferred, pageCode, &offset, &size))
		return false;
	size = std::min(size, capacity);
	memcpy(page, data + offset, size);
	*pageSize = size;
	return true;
}

bool WriteModePage10(CDevice* device, const uint8* page, size_t pageSize, SCSI_STATUS* status)
{
	uint8 list[8 + kMaxPageSize] = {};
	if (pageSize < 2 || pageSize > kMaxPageSize)
		return FailWith(status, B_BAD_VALUE);
	memcpy(list + 8, page, pageSize);
	list[8] &= kModePageCodeMask;   // PS cleared
	size_t length = 8 + pageSize;
	return SendCommand(device, cdb::ModeSelect10(true, false, uint16(length)), kDataOut, list, length, status);
}

bool WriteModePage6(CDevice* device, const uint8* page, size_t pageSize, SCSI_STATUS* status)
{
	uint8 list[4 + kMaxPageSize] = {};
	if (pageSize < 2 || 4 + pageSize > 255)
		return FailWith(status, B_BAD_VALUE);
	memcpy(list + 4, page, pageSize);
	list[4] &= kModePageCodeMask;
	size_t length = 4 + pageSize;
	bool pageFormat = device != nullptr && device->GetResponseDataFormat() >= 2;
	return SendCommand(device, cdb::ModeSelect6(pageFormat, false, uint8(length)), kDataOut, list, length, status);
}

bool SelectDensity6(CDevice* device, uint8 density, uint32 blockLength, SCSI_STATUS* status)
{
	uint8 list[12] = {};
	list[3] = 8;                        // block descriptor length
	list[4] = density;
	list[9] = uint8(blockLength >> 16);
	list[10] = uint8(blockLength >> 8);
	list[11] = uint8(blockLength);
	return SendCommand(device, cdb::ModeSelect6(false, false, sizeof(list)), kDataOut, list, sizeof(list), status);
}

float FactorFromKbs(uint32 kbs)
{
	double factor = kbs / 176.4;
	double whole = std::floor(factor + 0.5);
	if (whole >= 1 && (std::fabs(kbs - whole * 176.0) <= 2.0 || std::fabs(kbs - whole * 176.4) <= 2.0))
		return static_cast<float>(whole);
	return static_cast<float>(factor);
}
