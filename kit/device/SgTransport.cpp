// Raw commands to real drives through Linux SG_IO.
#include "kit/device/SgTransport.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <mutex>
#include <scsi/sg.h>
#include <sys/ioctl.h>

namespace {

std::mutex sIoctlLock;
std::shared_ptr<const OsIoctlFunction> sIoctlFunction;

// Sense bytes the kernel may write (its own buffer holds 96).
constexpr size_t kSenseBufferSize = 96;

bool IsSuccessStatus(uint8 maskedStatus)
{
	return maskedStatus == SCSI_STATUS_GOOD || maskedStatus == SCSI_STATUS_CONDITION_MET
		|| maskedStatus == SCSI_STATUS_INTERMEDIATE
		|| maskedStatus == SCSI_STATUS_INTERMEDIATE_CONDITION_MET;
}

uint8 CamStatusFromHostByte(uint16 host)
{
	switch (host) {
		case SG_DID_NO_CONNECT:
		case SG_DID_BAD_TARGET:
			return CAM_SEL_TIMEOUT;
		case SG_DID_TIME_OUT:
			return CAM_CMD_TIMEOUT;
		case SG_DID_BUS_BUSY:
			return CAM_SCSI_BUSY;
		case SG_DID_ABORT:
			return CAM_REQ_ABORTED;
		case SG_DID_PARITY:
			return CAM_UNCOR_PARITY;
		case SG_DID_RESET:
			return CAM_SCSI_BUS_RESET;
		case SG_DID_IMM_RETRY:
		case SG_DID_REQUEUE:
		case SG_DID_TRANSPORT_DISRUPTED:
			return CAM_BUSY;
		case SG_DID_TRANSPORT_FAILFAST:
			return CAM_DEV_NOT_THERE;
		case SG_DID_ALLOC_FAILURE:
			return CAM_RESRC_UNAVAIL;
		default:
			return CAM_REQ_CMP_ERR;
	}
}

}   // namespace

void SetOsIoctlFunction(OsIoctlFunction function)
{
	std::shared_ptr<const OsIoctlFunction> installed;
	if (function)
		installed = std::make_shared<const OsIoctlFunction>(std::move(function));
	std::lock_guard<std::mutex> lock(sIoctlLock);
	sIoctlFunction = std::move(installed);
}

int CallOsIoctl(int fd, unsigned long request, void* arg)
{
	std::shared_ptr<const OsIoctlFunction> function;
	{
		std::lock_guard<std::mutex> lock(sIoctlLock);
		function = sIoctlFunction;
	}
	if (function)
		return (*function)(fd, request, arg);
	return ioctl(fd, request, arg);
}

SG_COMMAND_OUTCOME MapSgResult(const SG_TRANSPORT_RESULT& result, size_t senseDelivered)
{
	SG_COMMAND_OUTCOME outcome;
	outcome.scsi_status = result.status;
	outcome.residual = result.resid > 0
		? std::min<size_t>(size_t(result.resid), result.requested_length) : 0;

	const uint8 masked = result.status & 0x3E;
	const uint16 driver = result.driver_status & SG_DRIVER_MASK;
	if (result.host_status != SG_DID_OK)
		outcome.cam_status = CamStatusFromHostByte(result.host_status);
	else if (driver == SG_DRIVER_TIMEOUT)
		outcome.cam_status = CAM_CMD_TIMEOUT;
	else if (driver == SG_DRIVER_BUSY)
		outcome.cam_status = CAM_BUSY;
	else if (driver == SG_DRIVER_INVALID)
		outcome.cam_status = CAM_REQ_INVALID;
	else if (driver != SG_DRIVER_OK && driver != SG_DRIVER_SENSE)
		outcome.cam_status = CAM_REQ_CMP_ERR;
	else if (!IsSuccessStatus(masked))
		outcome.cam_status = CAM_REQ_CMP_ERR;
	else
		outcome.cam_status = outcome.residual > 0 ? CAM_DATA_RUN_ERR : CAM_REQ_CMP;

	const bool senseExpected = masked == SCSI_STATUS_CHECK_CONDITION
		|| masked == SCSI_STATUS_COMMAND_TERMINATED || driver == SG_DRIVER_SENSE;
	if (senseExpected && senseDelivered > 0)
		outcome.cam_status |= CAM_AUTOSNS_VALID;
	return outcome;
}

uint8 CamStatusFromErrno(int error)
{
	switch (error) {
		case EINVAL:
		case EFAULT:
		case E2BIG:
		case ENOMSG:
			return CAM_REQ_INVALID;
		case ENODEV:
		case ENXIO:
		case ENOENT:
			return CAM_DEV_NOT_THERE;
		case EBUSY:
		case EAGAIN:
			return CAM_BUSY;
		case ENOMEM:
			return CAM_RESRC_UNAVAIL;
		case EPERM:
		case EACCES:
		case ENOTTY:
		case ENOSYS:
		case EOPNOTSUPP:
			return CAM_FUNC_NOTAVAIL;
		case ETIMEDOUT:
			return CAM_CMD_TIMEOUT;
		default:
			return CAM_REQ_CMP_ERR;
	}
}

int BuildSgRequest(const raw_device_command& command, sg_io_hdr* header, uint8* senseBuffer,
	size_t senseBufferSize)
{
	if (command.command_length < 1 || command.command_length > sizeof(command.command))
		return EINVAL;
	if (command.data_length > UINT_MAX || (command.data_length > 0 && command.data == nullptr))
		return EINVAL;

	memset(header, 0, sizeof(*header));
	header->interface_id = 'S';
	header->cmdp = const_cast<unsigned char*>(command.command);
	header->cmd_len = command.command_length;
	if (command.data_length == 0)
		header->dxfer_direction = SG_DXFER_NONE;
	else if ((command.flags & B_RAW_DEVICE_DATA_IN) != 0)
		header->dxfer_direction = SG_DXFER_FROM_DEV;
	else
		header->dxfer_direction = SG_DXFER_TO_DEV;
	header->dxferp = command.data_length > 0 ? command.data : nullptr;
	header->dxfer_len = static_cast<unsigned int>(command.data_length);
	header->sbp = senseBuffer;
	header->mx_sb_len = static_cast<unsigned char>(std::min<size_t>(senseBufferSize, 255));

	// Microseconds to milliseconds, rounded up; 0 leaves the kernel's default.
	if (command.timeout > 0) {
		int64 milliseconds = (command.timeout + 999) / 1000;
		header->timeout = static_cast<unsigned int>(std::min<int64>(milliseconds, UINT_MAX));
	}
	return 0;
}

int SgExecuteRawCommand(int fd, raw_device_command* command)
{
	if (command == nullptr) {
		errno = EINVAL;
		return -1;
	}
	command->scsi_status = 0;
	command->cam_status = CAM_REQ_INPROG;
	if (command->sense_data_length > 0 && command->sense_data == nullptr) {
		command->cam_status = CAM_REQ_INVALID;
		errno = EINVAL;
		return -1;
	}

	sg_io_hdr_t header;
	uint8 sense[kSenseBufferSize] = {};
	int error = BuildSgRequest(*command, &header, sense, sizeof(sense));
	if (error != 0) {
		command->cam_status = CAM_REQ_INVALID;
		errno = error;
		return -1;
	}

	if (CallOsIoctl(fd, SG_IO, &header) != 0) {
		int saved = errno;
		command->cam_status = CamStatusFromErrno(saved);
		errno = saved;
		return -1;
	}

	SG_TRANSPORT_RESULT result;
	result.status = header.status;
	result.host_status = header.host_status;
	result.driver_status = header.driver_status;
	result.resid = header.resid;
	result.requested_length = header.dxfer_len;

	size_t senseWritten = std::min<size_t>(header.sb_len_wr, sizeof(sense));
	size_t senseDelivered = std::min(senseWritten, command->sense_data_length);
	if (senseDelivered > 0)
		memcpy(command->sense_data, sense, senseDelivered);

	command->duration = bigtime_t(header.duration) * 1000;   // the kernel counts milliseconds
	SG_COMMAND_OUTCOME outcome = MapSgResult(result, senseDelivered);
	command->scsi_status = outcome.scsi_status;
	command->cam_status = outcome.cam_status;
	if ((command->flags & B_RAW_DEVICE_REPORT_RESIDUAL) != 0) {
		command->data_length = outcome.residual;
		command->sense_data_length -= senseDelivered;
	}
	return 0;
}
