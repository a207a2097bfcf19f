// Reading CD audio sectors from a real drive.
#include "kit/device/CdAudio.h"

#include "kit/device/ScsiCommands.h"
#include "kit/device/ScsiSense.h"
#include "kit/device/SgTransport.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <linux/cdrom.h>

namespace {

// Sectors per request: the CD driver takes at most one second of audio;
// READ CD takes what the transfer limit allows, at most 64 sectors.
constexpr int32 kBlockDeviceChunk = CD_FRAMES;
constexpr int32 kScsiChunk = 64;

status_t StatusFromAudioErrno(int error)
{
	switch (error) {
		case ENOMEDIUM:
			return B_DEV_NO_MEDIA;
		case EIO:
			return B_DEV_READ_ERROR;
		case EINVAL:
			return B_BAD_VALUE;
		default:
			return StatusFromErrno(error);
	}
}

bool ValidRequest(int32 lba, int32 count, const void* buffer)
{
	return lba >= 0 && count > 0 && buffer != nullptr && int64(lba) + count <= INT32_MAX;
}

}   // namespace

status_t ReadCdAudioBlockDevice(int blockFd, int32 lba, int32 count, void* buffer)
{
	if (!ValidRequest(lba, count, buffer))
		return B_BAD_VALUE;
	uint8* out = static_cast<uint8*>(buffer);
	for (int32 done = 0; done < count;) {
		int32 chunk = std::min(count - done, kBlockDeviceChunk);
		cdrom_read_audio request;
		memset(&request, 0, sizeof(request));
		request.addr.lba = lba + done;
		request.addr_format = CDROM_LBA;
		request.nframes = chunk;
		request.buf = out + size_t(done) * CD_AUDIO_SECTOR_SIZE;
		if (CallOsIoctl(blockFd, CDROMREADAUDIO, &request) != 0)
			return StatusFromAudioErrno(errno);
		done += chunk;
	}
	return B_OK;
}

status_t ReadCdAudioScsi(int fd, int32 lba, int32 count, void* buffer, size_t maxTransfer)
{
	if (!ValidRequest(lba, count, buffer))
		return B_BAD_VALUE;
	uint8* out = static_cast<uint8*>(buffer);
	int32 perCommand = int32(std::clamp<size_t>(maxTransfer / CD_AUDIO_SECTOR_SIZE, 1, kScsiChunk));
	for (int32 done = 0; done < count;) {
		int32 chunk = std::min(count - done, perCommand);
		raw_device_command command = {};
		CCommandBlock block
			= cdb::ReadCd(lba + done, uint32(chunk), cdb::kSectorTypeCdDa, cdb::kReadCdUserData, cdb::kSubChannelNone);
		memcpy(command.command, block.Bytes(), block.Length());
		command.command_length = block.Length();
		command.flags = B_RAW_DEVICE_DATA_IN;
		command.data = out + size_t(done) * CD_AUDIO_SECTOR_SIZE;
		command.data_length = size_t(chunk) * CD_AUDIO_SECTOR_SIZE;
		uint8 sense[kFixedSenseLength] = {};
		command.sense_data = sense;
		command.sense_data_length = sizeof(sense);
		command.timeout = 30000000;
		if (SgExecuteRawCommand(fd, &command) != 0)
			return StatusFromAudioErrno(errno);

		switch (command.cam_status & CAM_STATUS_MASK) {
			case CAM_REQ_CMP:
				break;
			case CAM_CMD_TIMEOUT:
				return B_DEV_TIMEOUT;
			case CAM_REQ_CMP_ERR:
			{
				if ((command.cam_status & CAM_AUTOSNS_VALID) == 0)
					return B_DEV_READ_ERROR;
				SSenseCode code = DecodeSense(sense, sizeof(sense)).code;
				if (code.key == kSenseKeyNotReady)
					return SameCondition(code, sense::kMediumNotPresent, false) ? B_DEV_NO_MEDIA : B_DEV_NOT_READY;
				if (SameCondition(code, sense::kLbaOutOfRange, false))
					return B_BAD_VALUE;
				if (code.key == kSenseKeyUnitAttention)
					return B_DEV_MEDIA_CHANGED;
				return B_DEV_READ_ERROR;
			}
			default:
				return B_DEV_READ_ERROR;
		}
		done += chunk;
	}
	return B_OK;
}
