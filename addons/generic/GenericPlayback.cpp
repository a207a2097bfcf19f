// Audio playback and the sub-channel.
// Every function is still to be written: each fails with NotImplemented.
#include "addons/generic/Generic.h"

#include "addons/generic/GenericCommon.h"

bool PlayAudioPosition(CDevice* device, int32 lba, SCSI_STATUS* status)
{
	return NotImplemented("PlayAudioPosition", status);
}

bool PlayAudioTrack(CDevice* device, int32 track, SCSI_STATUS* status)
{
	return NotImplemented("PlayAudioTrack", status);
}

bool StopAudio(CDevice* device, SCSI_STATUS* status)
{
	return NotImplemented("StopAudio", status);
}

bool PauseAudio(CDevice* device, SCSI_STATUS* status)
{
	return NotImplemented("PauseAudio", status);
}

bool ResumeAudio(CDevice* device, SCSI_STATUS* status)
{
	return NotImplemented("ResumeAudio", status);
}

bool ReadSubChannelCurrentPosition(CDevice* device, void* buffer, SCSI_STATUS* status)
{
	return NotImplemented("ReadSubChannelCurrentPosition", status);
}

bool ReadSubChannelMCN(CDevice* device, char* mcn, SCSI_STATUS* status)
{
	return NotImplemented("ReadSubChannelMCN", status);
}

bool ReadSubChannelISRC(CDevice* device, int32 track, char* isrc, SCSI_STATUS* status)
{
	return NotImplemented("ReadSubChannelISRC", status);
}
