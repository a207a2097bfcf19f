// Audio playback and the sub-channel.
#include "addons/generic/Generic.h"

#include "addons/generic/DriveResponses.h"
#include "addons/generic/GenericCommon.h"

#include <cstring>

namespace {

// Plays from `start` to the lead-out, whose address comes from the table of
// contents (PLAY AUDIO MSF needs an end; the drive has no "to the end").
bool PlayToLeadOut(CDevice* device, int32 start, const response::SToc& toc, SCSI_STATUS* status)
{
	if (start < 0 || start >= toc.leadOut)
		return FailWith(status, B_BAD_VALUE);
	return SendCommand(device, cdb::PlayAudioMsf(start, toc.leadOut), kNoData, nullptr, 0, status);
}

}   // namespace

bool PlayAudioPosition(CDevice* device, int32 lba, SCSI_STATUS* status)
{
	CCommandTimer timer;
	response::SToc toc;
	if (!ReadTableOfContents(device, &toc, status))
		return timer.Finish(status, false);
	return timer.Finish(status, PlayToLeadOut(device, lba, toc, status));
}

bool PlayAudioTrack(CDevice* device, int32 track, SCSI_STATUS* status)
{
	CCommandTimer timer;
	response::SToc toc;
	if (!ReadTableOfContents(device, &toc, status))
		return timer.Finish(status, false);
	if (track < toc.firstTrack || track > toc.lastTrack)
		return timer.Finish(status, FailWith(status, B_BAD_INDEX));
	return timer.Finish(status, PlayToLeadOut(device, toc.start[track], toc, status));
}

bool StopAudio(CDevice* device, SCSI_STATUS* status)
{
	return SendCommand(device, cdb::StopPlayScan(), kNoData, nullptr, 0, status);
}

bool PauseAudio(CDevice* device, SCSI_STATUS* status)
{
	return SendCommand(device, cdb::PauseResume(false), kNoData, nullptr, 0, status);
}

bool ResumeAudio(CDevice* device, SCSI_STATUS* status)
{
	return SendCommand(device, cdb::PauseResume(true), kNoData, nullptr, 0, status);
}

// The 16 bytes of the current position data (LBA addresses); bytes that did
// not arrive are zero.
bool ReadSubChannelCurrentPosition(CDevice* device, void* buffer, SCSI_STATUS* status)
{
	if (buffer == nullptr)
		return FailWith(status, B_BAD_VALUE);
	uint8 data[16] = {};
	size_t transferred = 0;
	bool ok = SendCommand(device, cdb::ReadSubChannel(false, true, cdb::kSubChannelPosition, 0, sizeof(data)),
		kDataIn, data, sizeof(data), status, &transferred);
	if (!ok)
		transferred = 0;
	memset(data + transferred, 0, sizeof(data) - transferred);
	memcpy(buffer, data, sizeof(data));
	return ok && transferred >= 4;
}

// True when the command succeeded; the text is empty when the disc carries
// no catalogue number.
bool ReadSubChannelMCN(CDevice* device, char* mcn, SCSI_STATUS* status)
{
	if (mcn == nullptr)
		return FailWith(status, B_BAD_VALUE);
	mcn[0] = '\0';
	uint8 data[24] = {};
	size_t transferred = 0;
	if (!SendCommand(device, cdb::ReadSubChannel(false, true, cdb::kSubChannelMcn, 0, sizeof(data)), kDataIn, data,
			sizeof(data), status, &transferred))
		return false;
	if (transferred >= 9 + 13 && (data[8] & 0x80) != 0) {
		memcpy(mcn, data + 9, 13);
		mcn[13] = '\0';
	}
	return true;
}

// True when the command succeeded; the text is empty when the track carries
// no ISRC.
bool ReadSubChannelISRC(CDevice* device, int32 track, char* isrc, SCSI_STATUS* status)
{
	if (isrc == nullptr || track < 1 || track > 99)
		return FailWith(status, B_BAD_VALUE);
	isrc[0] = '\0';
	uint8 data[24] = {};
	size_t transferred = 0;
	if (!SendCommand(device, cdb::ReadSubChannel(false, true, cdb::kSubChannelIsrc, uint8(track), sizeof(data)),
			kDataIn, data, sizeof(data), status, &transferred))
		return false;
	if (transferred >= 9 + 12 && (data[8] & 0x80) != 0) {
		memcpy(isrc, data + 9, 12);
		isrc[12] = '\0';
	}
	return true;
}
