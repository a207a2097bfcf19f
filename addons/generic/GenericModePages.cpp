// MODE SENSE and MODE SELECT.
// Every function is still to be written: each fails with NotImplemented.
#include "addons/generic/Generic.h"

#include "addons/generic/GenericCommon.h"

bool ModeSense(CDevice* device, void* buffer, int32 length, int32 page, uint16 pageControl,
	SCSI_STATUS* status)
{
	return NotImplemented("ModeSense", status);
}

bool ModeSelect(CDevice* device, const void* buffer, int32 length, uint16 pageFormat, uint16 save,
	SCSI_STATUS* status)
{
	return NotImplemented("ModeSelect", status);
}
