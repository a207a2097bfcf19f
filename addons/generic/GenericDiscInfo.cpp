// Table of contents, disc and track information, ATIP and CD-Text.
// Every function is still to be written: each fails with NotImplemented.
#include "addons/generic/Generic.h"

#include "addons/generic/GenericCommon.h"

bool ReadToc(CDevice* device, CToc* toc, SCSI_STATUS* status)
{
	return NotImplemented("ReadToc", status);
}

bool ReadDiscInformation(CDevice* device, SCSI_DISC_INFORMATION* information, SCSI_STATUS* status)
{
	return NotImplemented("ReadDiscInformation", status);
}

bool ReadDiscInformation_TeacCdr50(CDevice* device, SCSI_DISC_INFORMATION* information,
	SCSI_STATUS* status)
{
	return NotImplemented("ReadDiscInformation_TeacCdr50", status);
}

bool ReadDiscInformation_YamahaCdr100(CDevice* device, SCSI_DISC_INFORMATION* information,
	SCSI_STATUS* status)
{
	return NotImplemented("ReadDiscInformation_YamahaCdr100", status);
}

bool ReadTrackInformation(CDevice* device, int32 track, void* buffer, int32 length,
	SCSI_STATUS* status)
{
	return NotImplemented("ReadTrackInformation", status);
}

bool ReadTrackInformation_YamahaCdr100(CDevice* device, int32 track, void* buffer, int32 length,
	SCSI_STATUS* status)
{
	return NotImplemented("ReadTrackInformation_YamahaCdr100", status);
}

bool ReadAtipData(CDevice* device, SCSI_ATIP_DATA* atip, SCSI_STATUS* status)
{
	return NotImplemented("ReadAtipData", status);
}

bool ReadAtipData_Dummy(CDevice* device, SCSI_ATIP_DATA* atip, SCSI_STATUS* status)
{
	return NotImplemented("ReadAtipData_Dummy", status);
}

bool ReadAtipData_YamahaCdr100(CDevice* device, SCSI_ATIP_DATA* atip, SCSI_STATUS* status)
{
	return NotImplemented("ReadAtipData_YamahaCdr100", status);
}

bool ReadCdText(CDevice* device, void* buffer, int32 length, SCSI_STATUS* status)
{
	return NotImplemented("ReadCdText", status);
}

bool ReadCdText_Dummy(CDevice* device, void* buffer, int32 length, SCSI_STATUS* status)
{
	return NotImplemented("ReadCdText_Dummy", status);
}
