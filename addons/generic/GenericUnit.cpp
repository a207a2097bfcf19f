// The unit, the tray and the medium lock.
#include "addons/generic/Generic.h"

#include "addons/generic/GenericCommon.h"

bool StartUnit(CDevice* device, SCSI_STATUS* status)
{
	return SendCommand(device, cdb::StartStopUnit(false, true), kNoData, nullptr, 0, status);
}

bool StopUnit(CDevice* device, SCSI_STATUS* status)
{
	return SendCommand(device, cdb::StartStopUnit(false, false), kNoData, nullptr, 0, status);
}

bool TestUnitReady(CDevice* device, SCSI_STATUS* status)
{
	return SendCommand(device, cdb::TestUnitReady(), kNoData, nullptr, 0, status);
}

bool MediumEject(CDevice* device, SCSI_STATUS* status)
{
	return SendCommand(device, cdb::StartStopUnit(true, false), kNoData, nullptr, 0, status);
}

// The Philips CDD 52x/2000/2600 move their tray with their own MEDIUM
// LOAD/UNLOAD command (E7h).
bool MediumEject_Philips(CDevice* device, SCSI_STATUS* status)
{
	return SendCommand(device, cdb::PhilipsMediumLoadUnload(true), kNoData, nullptr, 0, status);
}

// The Yamaha CDR100/102 take their disc in a caddy: ejecting is START STOP
// UNIT with LoEj set, loading is only spinning up (LoEj is reserved there).
bool MediumEject_YamahaCdr100(CDevice* device, SCSI_STATUS* status)
{
	return SendCommand(device, cdb::StartStopUnit(true, false), kNoData, nullptr, 0, status);
}

bool MediumLoad(CDevice* device, SCSI_STATUS* status)
{
	return SendCommand(device, cdb::StartStopUnit(true, true), kNoData, nullptr, 0, status);
}

bool MediumLoad_Philips(CDevice* device, SCSI_STATUS* status)
{
	return SendCommand(device, cdb::PhilipsMediumLoadUnload(false), kNoData, nullptr, 0, status);
}

bool MediumLoad_YamahaCdr100(CDevice* device, SCSI_STATUS* status)
{
	return SendCommand(device, cdb::StartStopUnit(false, true), kNoData, nullptr, 0, status);
}

bool MediumAllowRemoval(CDevice* device, SCSI_STATUS* status)
{
	return SendCommand(device, cdb::PreventAllowMediumRemoval(false), kNoData, nullptr, 0, status);
}

bool MediumPreventRemoval(CDevice* device, SCSI_STATUS* status)
{
	return SendCommand(device, cdb::PreventAllowMediumRemoval(true), kNoData, nullptr, 0, status);
}
