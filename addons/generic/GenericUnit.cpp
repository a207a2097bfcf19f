// The unit, the tray and the medium lock.
// Every function is still to be written: each fails with NotImplemented.
#include "addons/generic/Generic.h"

#include "addons/generic/GenericCommon.h"

bool StartUnit(CDevice* device, SCSI_STATUS* status)
{
	return NotImplemented("StartUnit", status);
}

bool StopUnit(CDevice* device, SCSI_STATUS* status)
{
	return NotImplemented("StopUnit", status);
}

bool TestUnitReady(CDevice* device, SCSI_STATUS* status)
{
	return NotImplemented("TestUnitReady", status);
}

bool MediumEject(CDevice* device, SCSI_STATUS* status)
{
	return NotImplemented("MediumEject", status);
}

bool MediumEject_Philips(CDevice* device, SCSI_STATUS* status)
{
	return NotImplemented("MediumEject_Philips", status);
}

bool MediumEject_YamahaCdr100(CDevice* device, SCSI_STATUS* status)
{
	return NotImplemented("MediumEject_YamahaCdr100", status);
}

bool MediumLoad(CDevice* device, SCSI_STATUS* status)
{
	return NotImplemented("MediumLoad", status);
}

bool MediumLoad_Philips(CDevice* device, SCSI_STATUS* status)
{
	return NotImplemented("MediumLoad_Philips", status);
}

bool MediumLoad_YamahaCdr100(CDevice* device, SCSI_STATUS* status)
{
	return NotImplemented("MediumLoad_YamahaCdr100", status);
}

bool MediumAllowRemoval(CDevice* device, SCSI_STATUS* status)
{
	return NotImplemented("MediumAllowRemoval", status);
}

bool MediumPreventRemoval(CDevice* device, SCSI_STATUS* status)
{
	return NotImplemented("MediumPreventRemoval", status);
}
