// Audio reading and CD-DA enabling.
//
// Every ReadAudio variant delivers `sectors` sectors of 2352 bytes in the
// drive's byte order (the device's little-endian property tells which) and
// is true only when all of them arrived. Long requests are split into
// commands of at most kSectorsPerCommand sectors, fewer when the drive's
// transfer limit takes less; the status record then holds the last command
// sent, with the time of them all.
#include "addons/generic/Generic.h"

#include "addons/generic/GenericCommon.h"
#include "devices/Device.h"
#include "kit/device/RawDevice.h"
#include "kit/kernel/OS.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int32 kSectorsPerCommand = 64;

template <typename Builder>
bool ReadInCommands(CDevice* device, void* buffer, int32 lba, int32 sectors, Builder build, SCSI_STATUS* status)
{
	if (buffer == nullptr || lba < 0 || sectors < 1)
		return FailWith(status, B_BAD_VALUE);
	CCommandTimer timer;
	auto* out = static_cast<uint8*>(buffer);
	int32 perCommand = SectorsPerCommand(device, kSectorSize, kSectorsPerCommand);
	for (int32 done = 0; done < sectors;) {
		int32 count = std::min(perCommand, sectors - done);
		size_t bytes = size_t(count) * kSectorSize;
		size_t transferred = 0;
		if (!SendCommand(device, build(lba + done, count), kDataIn, out + size_t(done) * kSectorSize, bytes, status,
				&transferred, kReadTimeout)
			|| transferred != bytes)
			return timer.Finish(status, false);
		done += count;
	}
	return timer.Finish(status, true);
}

bool ReadCdDa(CDevice* device, const char* name, void* buffer, int32 lba, int32 sectors, SCSI_STATUS* status)
{
	return ReadInCommands(device, buffer, lba, sectors,
		[name](int32 at, int32 count) { return cdb::ReadCdDa(name, at, uint32(count), 0); }, status);
}

}   // namespace

// MMC READ CD: sector type CD-DA, user data only, no sub-channel.
bool ReadAudio_mmc(CDevice* device, void* buffer, int32 lba, int32 sectors, SCSI_STATUS* status)
{
	return ReadInCommands(device, buffer, lba, sectors,
		[](int32 at, int32 count) {
			return cdb::ReadCd(at, uint32(count), cdb::kSectorTypeCdDa, cdb::kReadCdUserData, cdb::kSubChannelNone);
		},
		status);
}

// READ(10) of 2352-byte blocks after selecting the CD-DA density (82h) in a
// MODE SELECT(6) block descriptor, as the Philips CDD 2000 family and the
// SCSI-2 readers of its time read audio; the drive is set back to data
// blocks of 2048 bytes afterwards, whatever the outcome.
bool ReadAudio_10(CDevice* device, void* buffer, int32 lba, int32 sectors, SCSI_STATUS* status)
{
	if (buffer == nullptr || lba < 0 || sectors < 1)
		return FailWith(status, B_BAD_VALUE);
	CCommandTimer timer;
	if (!SelectDensity6(device, kDensityCdDa, kSectorSize, status))
		return timer.Finish(status, false);
	bool ok = ReadInCommands(device, buffer, lba, sectors,
		[](int32 at, int32 count) { return cdb::Read10(at, uint16(count)); }, status);
	SCSI_STATUS restore;
	SelectDensity6(device, kDensityDefault, kDataBlockSize, &restore);
	return timer.Finish(status, ok);
}

// READ CD-DA (D8h) as the Sony readers (and the Teac CD-R50/55 and Yamaha
// CDR100/102 that share it) define it.
bool ReadAudio_Sony(CDevice* device, void* buffer, int32 lba, int32 sectors, SCSI_STATUS* status)
{
	return ReadCdDa(device, "READ CD-DA (Sony)", buffer, lba, sectors, status);
}

// READ CD-DA (D8h) of the Plextor readers: the same block as the Sony one.
bool ReadAudio_Plextor(CDevice* device, void* buffer, int32 lba, int32 sectors, SCSI_STATUS* status)
{
	return ReadCdDa(device, "READ CD-DA (Plextor)", buffer, lba, sectors, status);
}

// Through the operating system's CD driver on the drive's system device
// file. The status record carries the driver's status and the time; it has
// no command block.
bool ReadAudio_BeOS(CDevice* device, void* buffer, int32 lba, int32 sectors, SCSI_STATUS* status)
{
	if (device == nullptr || buffer == nullptr || lba < 0 || sectors < 1)
		return FailWith(status, B_BAD_VALUE);
	bigtime_t start = system_time();
	status_t result = dev_read_cd_audio(device->GetSystemDescriptor(), lba, sectors, buffer);
	if (status != nullptr) {
		memset(status, 0, sizeof(*status));
		status->os_status = result;
		status->time = system_time() - start;
	}
	if (device->IsDebugEnabled()) {
		DebugLogScsi("%s: CD driver audio read of %d sectors at %d: %lld us, status 0x%08X\n", device->GetDeviceName(),
			static_cast<int>(sectors), static_cast<int>(lba), static_cast<long long>(system_time() - start),
			static_cast<unsigned>(result));
	}
	return result == B_OK;
}

bool CddaReadEnable_Dummy(CDevice* device, SCSI_STATUS* status)
{
	return SucceedWithoutCommand(status);
}

bool CddaReadDisable_Dummy(CDevice* device, SCSI_STATUS* status)
{
	return SucceedWithoutCommand(status);
}

// Selects the CD-DA density with 2352-byte blocks, so READ(10) reads audio.
bool CddaReadEnable_Philips(CDevice* device, SCSI_STATUS* status)
{
	return SelectDensity6(device, kDensityCdDa, kSectorSize, status);
}

// Back to the default density with 2048-byte data blocks.
bool CddaReadDisable_Philips(CDevice* device, SCSI_STATUS* status)
{
	return SelectDensity6(device, kDensityDefault, kDataBlockSize, status);
}
