// Speed setting and query.
// Every function is still to be written: each fails with NotImplemented.
#include "addons/generic/Generic.h"

#include "addons/generic/GenericCommon.h"

bool SpeedSet_Dummy(CDevice* device, int32 readSpeed, int32 writeSpeed, SCSI_STATUS* status)
{
	return NotImplemented("SpeedSet_Dummy", status);
}

bool SpeedSet_mmc(CDevice* device, int32 readSpeed, int32 writeSpeed, SCSI_STATUS* status)
{
	return NotImplemented("SpeedSet_mmc", status);
}

bool SpeedSet_Teac(CDevice* device, int32 readSpeed, int32 writeSpeed, SCSI_STATUS* status)
{
	return NotImplemented("SpeedSet_Teac", status);
}

bool SpeedSet_Plextor(CDevice* device, int32 readSpeed, int32 writeSpeed, SCSI_STATUS* status)
{
	return NotImplemented("SpeedSet_Plextor", status);
}

bool SpeedSet_PhilipsCdd2000(CDevice* device, int32 readSpeed, int32 writeSpeed,
	SCSI_STATUS* status)
{
	return NotImplemented("SpeedSet_PhilipsCdd2000", status);
}

bool SpeedSet_PhilipsCdd2600(CDevice* device, int32 readSpeed, int32 writeSpeed,
	SCSI_STATUS* status)
{
	return NotImplemented("SpeedSet_PhilipsCdd2600", status);
}

bool SpeedSet_YamahaCdr100(CDevice* device, int32 readSpeed, int32 writeSpeed, SCSI_STATUS* status)
{
	return NotImplemented("SpeedSet_YamahaCdr100", status);
}

bool SpeedGet_Dummy(CDevice* device, float* readFactor, float* writeFactor, SCSI_STATUS* status)
{
	return NotImplemented("SpeedGet_Dummy", status);
}

bool SpeedGet_mmc(CDevice* device, float* readFactor, float* writeFactor, SCSI_STATUS* status)
{
	return NotImplemented("SpeedGet_mmc", status);
}

bool SpeedGet_TeacCdr50S(CDevice* device, float* readFactor, float* writeFactor,
	SCSI_STATUS* status)
{
	return NotImplemented("SpeedGet_TeacCdr50S", status);
}

bool SpeedGet_TeacCdr55S(CDevice* device, float* readFactor, float* writeFactor,
	SCSI_STATUS* status)
{
	return NotImplemented("SpeedGet_TeacCdr55S", status);
}

bool SpeedGet_TeacCdr56S(CDevice* device, float* readFactor, float* writeFactor,
	SCSI_STATUS* status)
{
	return NotImplemented("SpeedGet_TeacCdr56S", status);
}

bool SpeedGet_TeacCdr56S400(CDevice* device, float* readFactor, float* writeFactor,
	SCSI_STATUS* status)
{
	return NotImplemented("SpeedGet_TeacCdr56S400", status);
}

bool SpeedGet_TeacCdr58S(CDevice* device, float* readFactor, float* writeFactor,
	SCSI_STATUS* status)
{
	return NotImplemented("SpeedGet_TeacCdr58S", status);
}

bool SpeedGet_PhilipsCdd2000(CDevice* device, float* readFactor, float* writeFactor,
	SCSI_STATUS* status)
{
	return NotImplemented("SpeedGet_PhilipsCdd2000", status);
}

bool SpeedGet_PhilipsCdd2600(CDevice* device, float* readFactor, float* writeFactor,
	SCSI_STATUS* status)
{
	return NotImplemented("SpeedGet_PhilipsCdd2600", status);
}

bool SpeedGet_YamahaCdr100(CDevice* device, float* readFactor, float* writeFactor,
	SCSI_STATUS* status)
{
	return NotImplemented("SpeedGet_YamahaCdr100", status);
}

bool SpeedGet_YamahaCdr102(CDevice* device, float* readFactor, float* writeFactor,
	SCSI_STATUS* status)
{
	return NotImplemented("SpeedGet_YamahaCdr102", status);
}
