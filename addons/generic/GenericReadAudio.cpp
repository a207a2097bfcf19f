// Audio reading and CD-DA enabling.
// Every function is still to be written: each fails with NotImplemented.
#include "addons/generic/Generic.h"

#include "addons/generic/GenericCommon.h"

bool ReadAudio_mmc(CDevice* device, void* buffer, int32 lba, int32 sectors, SCSI_STATUS* status)
{
	return NotImplemented("ReadAudio_mmc", status);
}

bool ReadAudio_10(CDevice* device, void* buffer, int32 lba, int32 sectors, SCSI_STATUS* status)
{
	return NotImplemented("ReadAudio_10", status);
}

bool ReadAudio_Sony(CDevice* device, void* buffer, int32 lba, int32 sectors, SCSI_STATUS* status)
{
	return NotImplemented("ReadAudio_Sony", status);
}

bool ReadAudio_Plextor(CDevice* device, void* buffer, int32 lba, int32 sectors, SCSI_STATUS* status)
{
	return NotImplemented("ReadAudio_Plextor", status);
}

bool ReadAudio_BeOS(CDevice* device, void* buffer, int32 lba, int32 sectors, SCSI_STATUS* status)
{
	return NotImplemented("ReadAudio_BeOS", status);
}

bool CddaReadEnable_Dummy(CDevice* device, SCSI_STATUS* status)
{
	return NotImplemented("CddaReadEnable_Dummy", status);
}

bool CddaReadEnable_Philips(CDevice* device, SCSI_STATUS* status)
{
	return NotImplemented("CddaReadEnable_Philips", status);
}

bool CddaReadDisable_Dummy(CDevice* device, SCSI_STATUS* status)
{
	return NotImplemented("CddaReadDisable_Dummy", status);
}

bool CddaReadDisable_Philips(CDevice* device, SCSI_STATUS* status)
{
	return NotImplemented("CddaReadDisable_Philips", status);
}
