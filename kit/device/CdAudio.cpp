// Reading CD audio sectors from a real drive.
#include "kit/device/CdAudio.h"

#include "kit/device/SgTransport.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <linux/cdrom.h>

namespace {

// Sectors per request: the CD driver takes at most one second of audio, and
// READ CD stays below 64 KiB.
constexpr int32 kBlockDeviceChunk = CD_FRAMES;
constexpr int32 kScsiChunk = 27;

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

status_t ReadCdAudioScsi(int fd, int32 lba, int32 count, void* buffer)
{
	if (!ValidRequest(lba, count, buffer))
		return B_BAD_VALUE;
	uint8* out = static_cast<uint8*>(buffer);
	for (int32 done = 0; done < count;) {
		int32 chunk = std::min(count - done, kScsiChunk);
		uint32 address = uint32(lba + done);
		raw_device_command command = {};
		const uint8 block[12] = {0xBE, 0x04, uint8(address >> 24), uint8(address >> 16),
			uint8(address >> 8), uint8(address), uint8(uint32(chunk) >> 16), uint8(uint32(chunk) >> 8),
			uint8(chunk), 0x10, 0x00, 0x00};
		memcpy(command.command, block, sizeof(block));
		command.command_length = sizeof(block);
		command.flags = B_RAW_DEVICE_DATA_IN;
		command.data = out + size_t(done) * CD_AUDIO_SECTOR_SIZE;
		command.data_length = size_t(chunk) * CD_AUDIO_SECTOR_SIZE;
		uint8 sense[18] = {};
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
				uint8 key = sense[2] & 0x0f;
				uint8 asc = sense[12];
				if (key == 0x02)
					return asc == 0x3A ? B_DEV_NO_MEDIA : B_DEV_NOT_READY;
				if (key == 0x05 && asc == 0x21)
					return B_BAD_VALUE;
				if (key == 0x06)
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
