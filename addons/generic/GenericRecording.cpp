// Writing, sessions, tracks, the recorder buffer and power calibration.
// Every function is still to be written: each fails with NotImplemented.
#include "addons/generic/Generic.h"

#include "addons/generic/GenericCommon.h"

bool Write_10(CDevice* device, int32 lba, const void* buffer, int32 sectors, int32 sectorSize,
	SCSI_STATUS* status)
{
	return NotImplemented("Write_10", status);
}

bool Write_12(CDevice* device, int32 lba, const void* buffer, int32 sectors, int32 sectorSize,
	SCSI_STATUS* status)
{
	return NotImplemented("Write_12", status);
}

bool Write_TeacCdr50(CDevice* device, int32 lba, const void* buffer, int32 sectors,
	int32 sectorSize, SCSI_STATUS* status)
{
	return NotImplemented("Write_TeacCdr50", status);
}

bool Write_PhilipsCdd2000(CDevice* device, int32 lba, const void* buffer, int32 sectors,
	int32 sectorSize, SCSI_STATUS* status)
{
	return NotImplemented("Write_PhilipsCdd2000", status);
}

bool Write_YamahaCdr100(CDevice* device, int32 lba, const void* buffer, int32 sectors,
	int32 sectorSize, SCSI_STATUS* status)
{
	return NotImplemented("Write_YamahaCdr100", status);
}

bool OpenSession_mmc(CDevice* device, uint16 burnProof, uint16 testWrite, const void* cueSheet,
	int32 cueSheetBytes, int32* firstLba, SCSI_STATUS* status)
{
	return NotImplemented("OpenSession_mmc", status);
}

bool OpenSession_TeacCdr50(CDevice* device, uint16 burnProof, uint16 testWrite,
	const void* cueSheet, int32 cueSheetBytes, int32* firstLba, SCSI_STATUS* status)
{
	return NotImplemented("OpenSession_TeacCdr50", status);
}

bool OpenSession_PhilipsCdd2000(CDevice* device, uint16 burnProof, uint16 testWrite,
	const void* cueSheet, int32 cueSheetBytes, int32* firstLba, SCSI_STATUS* status)
{
	return NotImplemented("OpenSession_PhilipsCdd2000", status);
}

bool OpenSession_YamahaCdr100(CDevice* device, uint16 burnProof, uint16 testWrite,
	const void* cueSheet, int32 cueSheetBytes, int32* firstLba, SCSI_STATUS* status)
{
	return NotImplemented("OpenSession_YamahaCdr100", status);
}

bool CloseSession_mmc(CDevice* device, float speedFactor, SCSI_STATUS* status)
{
	return NotImplemented("CloseSession_mmc", status);
}

bool CloseSession_TeacCdr50(CDevice* device, float speedFactor, SCSI_STATUS* status)
{
	return NotImplemented("CloseSession_TeacCdr50", status);
}

bool CloseSession_PhilipsCdd2000(CDevice* device, float speedFactor, SCSI_STATUS* status)
{
	return NotImplemented("CloseSession_PhilipsCdd2000", status);
}

bool CloseSession_YamahaCdr100(CDevice* device, float speedFactor, SCSI_STATUS* status)
{
	return NotImplemented("CloseSession_YamahaCdr100", status);
}

bool GetNextTrackNumber_mmc(CDevice* device, int32* track, SCSI_STATUS* status)
{
	return NotImplemented("GetNextTrackNumber_mmc", status);
}

bool GetNextTrackNumber_TeacCdr50(CDevice* device, int32* track, SCSI_STATUS* status)
{
	return NotImplemented("GetNextTrackNumber_TeacCdr50", status);
}

bool GetNextTrackNumber_PhilipsCdd2000(CDevice* device, int32* track, SCSI_STATUS* status)
{
	return NotImplemented("GetNextTrackNumber_PhilipsCdd2000", status);
}

bool GetNextTrackNumber_YamahaCdr100(CDevice* device, int32* track, SCSI_STATUS* status)
{
	return NotImplemented("GetNextTrackNumber_YamahaCdr100", status);
}

bool OpenTrack_mmc(CDevice* device, int32 track, uint16 burnProof, uint16 testWrite,
	int32 pauseSectors, int32 sectors, uint16 preEmphasis, uint16 copyAllowed, const char* mcn, const char* isrc,
	int32* startLba, SCSI_STATUS* status)
{
	return NotImplemented("OpenTrack_mmc", status);
}

bool OpenTrack_TeacCdr50(CDevice* device, int32 track, uint16 burnProof, uint16 testWrite,
	int32 pauseSectors, int32 sectors, uint16 preEmphasis, uint16 copyAllowed, const char* mcn, const char* isrc,
	int32* startLba, SCSI_STATUS* status)
{
	return NotImplemented("OpenTrack_TeacCdr50", status);
}

bool OpenTrack_PhilipsCdd2000(CDevice* device, int32 track, uint16 burnProof, uint16 testWrite,
	int32 pauseSectors, int32 sectors, uint16 preEmphasis, uint16 copyAllowed, const char* mcn, const char* isrc,
	int32* startLba, SCSI_STATUS* status)
{
	return NotImplemented("OpenTrack_PhilipsCdd2000", status);
}

bool OpenTrack_YamahaCdr100(CDevice* device, int32 track, uint16 burnProof, uint16 testWrite,
	int32 pauseSectors, int32 sectors, uint16 preEmphasis, uint16 copyAllowed, const char* mcn, const char* isrc,
	int32* startLba, SCSI_STATUS* status)
{
	return NotImplemented("OpenTrack_YamahaCdr100", status);
}

bool CloseTrack_mmc(CDevice* device, int32 track, SCSI_STATUS* status)
{
	return NotImplemented("CloseTrack_mmc", status);
}

bool CloseTrack_TeacCdr50(CDevice* device, int32 track, SCSI_STATUS* status)
{
	return NotImplemented("CloseTrack_TeacCdr50", status);
}

bool CloseTrack_PhilipsCdd2000(CDevice* device, int32 track, SCSI_STATUS* status)
{
	return NotImplemented("CloseTrack_PhilipsCdd2000", status);
}

bool CloseTrack_YamahaCdr100(CDevice* device, int32 track, SCSI_STATUS* status)
{
	return NotImplemented("CloseTrack_YamahaCdr100", status);
}

bool FixateDisc_mmc(CDevice* device, float speedFactor, SCSI_STATUS* status)
{
	return NotImplemented("FixateDisc_mmc", status);
}

bool FixateDisc_TeacCdr50(CDevice* device, float speedFactor, SCSI_STATUS* status)
{
	return NotImplemented("FixateDisc_TeacCdr50", status);
}

bool FixateDisc_PhilipsCdd2000(CDevice* device, float speedFactor, SCSI_STATUS* status)
{
	return NotImplemented("FixateDisc_PhilipsCdd2000", status);
}

bool FixateDisc_YamahaCdr100(CDevice* device, float speedFactor, SCSI_STATUS* status)
{
	return NotImplemented("FixateDisc_YamahaCdr100", status);
}

bool ReadBufferCapacity(CDevice* device, int32* totalBytes, int32* freeBytes, SCSI_STATUS* status)
{
	return NotImplemented("ReadBufferCapacity", status);
}

bool ReadBufferCapacity_Dummy(CDevice* device, int32* totalBytes, int32* freeBytes,
	SCSI_STATUS* status)
{
	return NotImplemented("ReadBufferCapacity_Dummy", status);
}

bool ReadBufferCapacity_YamahaCdr100(CDevice* device, int32* totalBytes, int32* freeBytes,
	SCSI_STATUS* status)
{
	return NotImplemented("ReadBufferCapacity_YamahaCdr100", status);
}

bool ReadBufferCapacity_YamahaCdr102(CDevice* device, int32* totalBytes, int32* freeBytes,
	SCSI_STATUS* status)
{
	return NotImplemented("ReadBufferCapacity_YamahaCdr102", status);
}

bool OptimumPowerCalibration(CDevice* device, SCSI_STATUS* status)
{
	return NotImplemented("OptimumPowerCalibration", status);
}

bool OptimumPowerCalibration_Dummy(CDevice* device, SCSI_STATUS* status)
{
	return NotImplemented("OptimumPowerCalibration_Dummy", status);
}
