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

constexpr size_t kSenseLength = sizeof(SCSI_SENSE);

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

// REQUEST SENSE after a CHECK CONDITION without autosense data.
void FetchSense(int fd, SCSI_SENSE* sense)
{
	CCommandBlock block = cdb::RequestSense(kSenseLength);
	uint8 data[kSenseLength] = {};
	raw_device_command command {};
	memcpy(command.command, block.Bytes(), block.Length());
	command.command_length = block.Length();
	command.flags = B_RAW_DEVICE_DATA_IN | B_RAW_DEVICE_REPORT_RESIDUAL;
	command.data = data;
	command.data_length = sizeof(data);
	command.timeout = kDefaultTimeout;
	if (dev_ioctl(fd, B_RAW_DEVICE_COMMAND, &command, sizeof(command)) != 0
		|| command.scsi_status != SCSI_STATUS_GOOD)
		return;
	size_t received = sizeof(data) - std::min(command.data_length, sizeof(data));
	memcpy(sense, data, received);
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

	raw_device_command command {};
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
	int result = dev_ioctl(device->GetRawDescriptor(), B_RAW_DEVICE_COMMAND, &command, sizeof(command));
	int error = errno;
	s.time = system_time() - start;

	// The residuals are the drive's word: never trust them beyond the
	// buffers they refer to.
	size_t moved = length - std::min(command.data_length, length);
	s.os_status = result == 0 ? B_OK : StatusFromErrno(error);
	s.scsi_status = command.scsi_status;
	s.cam_status = command.cam_status;
	if (result == 0 && command.scsi_status == SCSI_STATUS_CHECK_CONDITION) {
		if ((command.cam_status & CAM_AUTOSNS_VALID) != 0) {
			size_t received = sizeof(sense) - std::min(command.sense_data_length, sizeof(sense));
			memcpy(&s.sense, sense, received);
		} else {
			FetchSense(device->GetRawDescriptor(), &s.sense);
		}
	}

	uint8 cam = command.cam_status & CAM_STATUS_MASK;
	bool ok = result == 0 && command.scsi_status == SCSI_STATUS_GOOD
		&& (cam == CAM_REQ_CMP || (cam == CAM_DATA_RUN_ERR && direction == kDataIn));
	if (ok && direction != kDataIn && moved != length)
		ok = false;
	if (transferred != nullptr)
		*transferred = moved;
	LogCommand(device, block.Name(), s, ok, moved);
	return ok;
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
	fStart(system_time())
{
}

bool CCommandTimer::Finish(SCSI_STATUS* status, bool result) const
{
	if (status != nullptr)
		status->time = system_time() - fStart;
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

sense_action ActionFor(const SCSI_STATUS& status)
{
	if (status.os_status != B_OK || status.scsi_status != SCSI_STATUS_CHECK_CONDITION)
		return sense_action::kFail;
	return ActionForSense(SenseOf(status));
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
	list[8] &= 0x3F;
	size_t length = 8 + pageSize;
	return SendCommand(device, cdb::ModeSelect10(true, false, uint16(length)), kDataOut, list, length, status);
}

bool WriteModePage6(CDevice* device, const uint8* page, size_t pageSize, SCSI_STATUS* status)
{
	uint8 list[4 + kMaxPageSize] = {};
	if (pageSize < 2 || 4 + pageSize > 255)
		return FailWith(status, B_BAD_VALUE);
	memcpy(list + 4, page, pageSize);
	list[4] &= 0x3F;
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
