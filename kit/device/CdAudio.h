// Reading CD audio sectors (2352 bytes each) from a real drive: through the
// Linux CD driver (CDROMREADAUDIO), or with the drive's READ CD command when
// only its SCSI generic device is at hand.
#pragma once

#include "kit/device/CdAddress.h"
#include "kit/support/SupportDefs.h"

#include <cstddef>

enum : int32 {
	CD_AUDIO_SECTOR_SIZE = int32(kCdAudioSectorSize),
};

// CDROMREADAUDIO on the CD block device `blockFd`, in requests of at most 75
// sectors. Returns B_OK, B_BAD_VALUE, B_DEV_NO_MEDIA, B_DEV_READ_ERROR or the
// status of the driver's errno. The buffer holds `count` sectors.
status_t ReadCdAudioBlockDevice(int blockFd, int32 lba, int32 count, void* buffer);

// READ CD (BEh, sector type CD-DA, user data) through SG_IO on `fd`, in
// commands of at most `maxTransfer` bytes (and 64 sectors). Returns
// B_OK, B_BAD_VALUE (address out of range), B_DEV_NO_MEDIA, B_DEV_NOT_READY,
// B_DEV_MEDIA_CHANGED, B_DEV_TIMEOUT, B_DEV_READ_ERROR (any other failure or
// a short transfer) or the status of SG_IO's errno.
status_t ReadCdAudioScsi(int fd, int32 lba, int32 count, void* buffer, size_t maxTransfer);
