// The command library "generic": every drive command that the driver records
// bind by name, the MMC defaults and the vendor variants alike. Each function
// has exactly the type of the CDriver slot it is bound to (checked in
// GenericSignatures.cpp): the drive first, the status record (may be null)
// last, true on success.
//
// Sources by command family:
//   GenericPlayback.cpp     audio playback and sub-channel
//   GenericUnit.cpp         unit, tray and medium lock, TEST UNIT READY
//   GenericModePages.cpp    MODE SENSE / MODE SELECT
//   GenericReadAudio.cpp    audio reading and CD-DA enabling
//   GenericSpeed.cpp        speed setting and query
//   GenericDiscInfo.cpp     TOC, disc and track information, ATIP, CD-Text
//   GenericRecording.cpp    writing, sessions, tracks, buffer, calibration
// and what they share, not exported:
//   GenericCommon.h/.cpp    sending a block, the status record, mode pages
//   DriveResponses.h/.cpp   parsers of drive answers, clamped to what arrived
// The command blocks, sense codes and parameter pages come from
// kit/device (ScsiCommands.h, ScsiSense.h, ScsiParameters.h).
//
// Every command goes to the drive's raw descriptor (kit/device) with
// B_RAW_DEVICE_COMMAND; the functions run on any thread, and a drive
// serialises its commands below. The device object, the table of contents,
// the device layer and the diagnostics come from the program that loads the
// library.
#pragma once

#include "driver/driverbaseclass.h"

extern "C" {

// Audio playback and sub-channel.
DRIVER_EXPORT bool PlayAudioPosition(CDevice* device, int32 lba, SCSI_STATUS* status);
DRIVER_EXPORT bool PlayAudioTrack(CDevice* device, int32 track, SCSI_STATUS* status);
DRIVER_EXPORT bool StopAudio(CDevice* device, SCSI_STATUS* status);
DRIVER_EXPORT bool PauseAudio(CDevice* device, SCSI_STATUS* status);
DRIVER_EXPORT bool ResumeAudio(CDevice* device, SCSI_STATUS* status);
DRIVER_EXPORT bool ReadSubChannelCurrentPosition(CDevice* device, void* buffer, SCSI_STATUS* status);
DRIVER_EXPORT bool ReadSubChannelMCN(CDevice* device, char* mcn, SCSI_STATUS* status);
DRIVER_EXPORT bool ReadSubChannelISRC(CDevice* device, int32 track, char* isrc, SCSI_STATUS* status);

// Unit, tray and medium lock.
DRIVER_EXPORT bool StartUnit(CDevice* device, SCSI_STATUS* status);
DRIVER_EXPORT bool StopUnit(CDevice* device, SCSI_STATUS* status);
DRIVER_EXPORT bool TestUnitReady(CDevice* device, SCSI_STATUS* status);
DRIVER_EXPORT bool MediumEject(CDevice* device, SCSI_STATUS* status);
DRIVER_EXPORT bool MediumEject_Philips(CDevice* device, SCSI_STATUS* status);
DRIVER_EXPORT bool MediumEject_YamahaCdr100(CDevice* device, SCSI_STATUS* status);
DRIVER_EXPORT bool MediumLoad(CDevice* device, SCSI_STATUS* status);
DRIVER_EXPORT bool MediumLoad_Philips(CDevice* device, SCSI_STATUS* status);
DRIVER_EXPORT bool MediumLoad_YamahaCdr100(CDevice* device, SCSI_STATUS* status);
DRIVER_EXPORT bool MediumAllowRemoval(CDevice* device, SCSI_STATUS* status);
DRIVER_EXPORT bool MediumPreventRemoval(CDevice* device, SCSI_STATUS* status);

// Mode pages.
DRIVER_EXPORT bool ModeSense(CDevice* device, void* buffer, int32 length, int32 page, uint16 pageControl,
	SCSI_STATUS* status);
DRIVER_EXPORT bool ModeSelect(CDevice* device, const void* buffer, int32 length, uint16 pageFormat, uint16 save,
	SCSI_STATUS* status);

// Audio reading.
DRIVER_EXPORT bool ReadAudio_mmc(CDevice* device, void* buffer, int32 lba, int32 sectors, SCSI_STATUS* status);
DRIVER_EXPORT bool ReadAudio_10(CDevice* device, void* buffer, int32 lba, int32 sectors, SCSI_STATUS* status);
DRIVER_EXPORT bool ReadAudio_Sony(CDevice* device, void* buffer, int32 lba, int32 sectors, SCSI_STATUS* status);
DRIVER_EXPORT bool ReadAudio_Plextor(CDevice* device, void* buffer, int32 lba, int32 sectors, SCSI_STATUS* status);
DRIVER_EXPORT bool ReadAudio_BeOS(CDevice* device, void* buffer, int32 lba, int32 sectors, SCSI_STATUS* status);
DRIVER_EXPORT bool CddaReadEnable_Dummy(CDevice* device, SCSI_STATUS* status);
DRIVER_EXPORT bool CddaReadEnable_Philips(CDevice* device, SCSI_STATUS* status);
DRIVER_EXPORT bool CddaReadDisable_Dummy(CDevice* device, SCSI_STATUS* status);
DRIVER_EXPORT bool CddaReadDisable_Philips(CDevice* device, SCSI_STATUS* status);

// Speed.
DRIVER_EXPORT bool SpeedSet_Dummy(CDevice* device, int32 readSpeed, int32 writeSpeed, SCSI_STATUS* status);
DRIVER_EXPORT bool SpeedSet_mmc(CDevice* device, int32 readSpeed, int32 writeSpeed, SCSI_STATUS* status);
DRIVER_EXPORT bool SpeedSet_Teac(CDevice* device, int32 readSpeed, int32 writeSpeed, SCSI_STATUS* status);
DRIVER_EXPORT bool SpeedSet_Plextor(CDevice* device, int32 readSpeed, int32 writeSpeed, SCSI_STATUS* status);
DRIVER_EXPORT bool SpeedSet_PhilipsCdd2000(CDevice* device, int32 readSpeed, int32 writeSpeed,
	SCSI_STATUS* status);
DRIVER_EXPORT bool SpeedSet_PhilipsCdd2600(CDevice* device, int32 readSpeed, int32 writeSpeed,
	SCSI_STATUS* status);
DRIVER_EXPORT bool SpeedSet_YamahaCdr100(CDevice* device, int32 readSpeed, int32 writeSpeed, SCSI_STATUS* status);
DRIVER_EXPORT bool SpeedGet_Dummy(CDevice* device, float* readFactor, float* writeFactor, SCSI_STATUS* status);
DRIVER_EXPORT bool SpeedGet_mmc(CDevice* device, float* readFactor, float* writeFactor, SCSI_STATUS* status);
DRIVER_EXPORT bool SpeedGet_TeacCdr50S(CDevice* device, float* readFactor, float* writeFactor,
	SCSI_STATUS* status);
DRIVER_EXPORT bool SpeedGet_TeacCdr55S(CDevice* device, float* readFactor, float* writeFactor,
	SCSI_STATUS* status);
DRIVER_EXPORT bool SpeedGet_TeacCdr56S(CDevice* device, float* readFactor, float* writeFactor,
	SCSI_STATUS* status);
DRIVER_EXPORT bool SpeedGet_TeacCdr56S400(CDevice* device, float* readFactor, float* writeFactor,
	SCSI_STATUS* status);
DRIVER_EXPORT bool SpeedGet_TeacCdr58S(CDevice* device, float* readFactor, float* writeFactor,
	SCSI_STATUS* status);
DRIVER_EXPORT bool SpeedGet_PhilipsCdd2000(CDevice* device, float* readFactor, float* writeFactor,
	SCSI_STATUS* status);
DRIVER_EXPORT bool SpeedGet_PhilipsCdd2600(CDevice* device, float* readFactor, float* writeFactor,
	SCSI_STATUS* status);
DRIVER_EXPORT bool SpeedGet_YamahaCdr100(CDevice* device, float* readFactor, float* writeFactor,
	SCSI_STATUS* status);
DRIVER_EXPORT bool SpeedGet_YamahaCdr102(CDevice* device, float* readFactor, float* writeFactor,
	SCSI_STATUS* status);

// Disc information.
DRIVER_EXPORT bool ReadToc(CDevice* device, CToc* toc, SCSI_STATUS* status);
DRIVER_EXPORT bool ReadDiscInformation(CDevice* device, SCSI_DISC_INFORMATION* information, SCSI_STATUS* status);
DRIVER_EXPORT bool ReadDiscInformation_TeacCdr50(CDevice* device, SCSI_DISC_INFORMATION* information,
	SCSI_STATUS* status);
DRIVER_EXPORT bool ReadDiscInformation_YamahaCdr100(CDevice* device, SCSI_DISC_INFORMATION* information,
	SCSI_STATUS* status);
DRIVER_EXPORT bool ReadTrackInformation(CDevice* device, int32 track, void* buffer, int32 length,
	SCSI_STATUS* status);
DRIVER_EXPORT bool ReadTrackInformation_YamahaCdr100(CDevice* device, int32 track, void* buffer, int32 length,
	SCSI_STATUS* status);
DRIVER_EXPORT bool ReadAtipData(CDevice* device, SCSI_ATIP_DATA* atip, SCSI_STATUS* status);
DRIVER_EXPORT bool ReadAtipData_Dummy(CDevice* device, SCSI_ATIP_DATA* atip, SCSI_STATUS* status);
DRIVER_EXPORT bool ReadAtipData_YamahaCdr100(CDevice* device, SCSI_ATIP_DATA* atip, SCSI_STATUS* status);
DRIVER_EXPORT bool ReadCdText(CDevice* device, void* buffer, int32 length, SCSI_STATUS* status);
DRIVER_EXPORT bool ReadCdText_Dummy(CDevice* device, void* buffer, int32 length, SCSI_STATUS* status);

// Recording.
DRIVER_EXPORT bool Write_10(CDevice* device, int32 lba, const void* buffer, int32 sectors, int32 sectorSize,
	SCSI_STATUS* status);
DRIVER_EXPORT bool Write_12(CDevice* device, int32 lba, const void* buffer, int32 sectors, int32 sectorSize,
	SCSI_STATUS* status);
DRIVER_EXPORT bool Write_TeacCdr50(CDevice* device, int32 lba, const void* buffer, int32 sectors,
	int32 sectorSize, SCSI_STATUS* status);
DRIVER_EXPORT bool Write_PhilipsCdd2000(CDevice* device, int32 lba, const void* buffer, int32 sectors,
	int32 sectorSize, SCSI_STATUS* status);
DRIVER_EXPORT bool Write_YamahaCdr100(CDevice* device, int32 lba, const void* buffer, int32 sectors,
	int32 sectorSize, SCSI_STATUS* status);
DRIVER_EXPORT bool OpenSession_mmc(CDevice* device, uint16 burnProof, uint16 testWrite, const void* cueSheet,
	int32 cueSheetBytes, int32* firstLba, SCSI_STATUS* status);
DRIVER_EXPORT bool OpenSession_TeacCdr50(CDevice* device, uint16 burnProof, uint16 testWrite,
	const void* cueSheet, int32 cueSheetBytes, int32* firstLba, SCSI_STATUS* status);
DRIVER_EXPORT bool OpenSession_PhilipsCdd2000(CDevice* device, uint16 burnProof, uint16 testWrite,
	const void* cueSheet, int32 cueSheetBytes, int32* firstLba, SCSI_STATUS* status);
DRIVER_EXPORT bool OpenSession_YamahaCdr100(CDevice* device, uint16 burnProof, uint16 testWrite,
	const void* cueSheet, int32 cueSheetBytes, int32* firstLba, SCSI_STATUS* status);
DRIVER_EXPORT bool CloseSession_mmc(CDevice* device, float speedFactor, SCSI_STATUS* status);
DRIVER_EXPORT bool CloseSession_TeacCdr50(CDevice* device, float speedFactor, SCSI_STATUS* status);
DRIVER_EXPORT bool CloseSession_PhilipsCdd2000(CDevice* device, float speedFactor, SCSI_STATUS* status);
DRIVER_EXPORT bool CloseSession_YamahaCdr100(CDevice* device, float speedFactor, SCSI_STATUS* status);
DRIVER_EXPORT bool GetNextTrackNumber_mmc(CDevice* device, int32* track, SCSI_STATUS* status);
DRIVER_EXPORT bool GetNextTrackNumber_TeacCdr50(CDevice* device, int32* track, SCSI_STATUS* status);
DRIVER_EXPORT bool GetNextTrackNumber_PhilipsCdd2000(CDevice* device, int32* track, SCSI_STATUS* status);
DRIVER_EXPORT bool GetNextTrackNumber_YamahaCdr100(CDevice* device, int32* track, SCSI_STATUS* status);
DRIVER_EXPORT bool OpenTrack_mmc(CDevice* device, int32 track, uint16 burnProof, uint16 testWrite,
	int32 pauseSectors, int32 sectors, uint16 preEmphasis, uint16 copyAllowed, const char* mcn, const char* isrc,
	int32* startLba, SCSI_STATUS* status);
DRIVER_EXPORT bool OpenTrack_TeacCdr50(CDevice* device, int32 track, uint16 burnProof, uint16 testWrite,
	int32 pauseSectors, int32 sectors, uint16 preEmphasis, uint16 copyAllowed, const char* mcn, const char* isrc,
	int32* startLba, SCSI_STATUS* status);
DRIVER_EXPORT bool OpenTrack_PhilipsCdd2000(CDevice* device, int32 track, uint16 burnProof, uint16 testWrite,
	int32 pauseSectors, int32 sectors, uint16 preEmphasis, uint16 copyAllowed, const char* mcn, const char* isrc,
	int32* startLba, SCSI_STATUS* status);
DRIVER_EXPORT bool OpenTrack_YamahaCdr100(CDevice* device, int32 track, uint16 burnProof, uint16 testWrite,
	int32 pauseSectors, int32 sectors, uint16 preEmphasis, uint16 copyAllowed, const char* mcn, const char* isrc,
	int32* startLba, SCSI_STATUS* status);
DRIVER_EXPORT bool CloseTrack_mmc(CDevice* device, int32 track, SCSI_STATUS* status);
DRIVER_EXPORT bool CloseTrack_TeacCdr50(CDevice* device, int32 track, SCSI_STATUS* status);
DRIVER_EXPORT bool CloseTrack_PhilipsCdd2000(CDevice* device, int32 track, SCSI_STATUS* status);
DRIVER_EXPORT bool CloseTrack_YamahaCdr100(CDevice* device, int32 track, SCSI_STATUS* status);
DRIVER_EXPORT bool FixateDisc_mmc(CDevice* device, float speedFactor, SCSI_STATUS* status);
DRIVER_EXPORT bool FixateDisc_TeacCdr50(CDevice* device, float speedFactor, SCSI_STATUS* status);
DRIVER_EXPORT bool FixateDisc_PhilipsCdd2000(CDevice* device, float speedFactor, SCSI_STATUS* status);
DRIVER_EXPORT bool FixateDisc_YamahaCdr100(CDevice* device, float speedFactor, SCSI_STATUS* status);
DRIVER_EXPORT bool ReadBufferCapacity(CDevice* device, int32* totalBytes, int32* freeBytes, SCSI_STATUS* status);
DRIVER_EXPORT bool ReadBufferCapacity_Dummy(CDevice* device, int32* totalBytes, int32* freeBytes,
	SCSI_STATUS* status);
DRIVER_EXPORT bool ReadBufferCapacity_YamahaCdr100(CDevice* device, int32* totalBytes, int32* freeBytes,
	SCSI_STATUS* status);
DRIVER_EXPORT bool ReadBufferCapacity_YamahaCdr102(CDevice* device, int32* totalBytes, int32* freeBytes,
	SCSI_STATUS* status);
DRIVER_EXPORT bool OptimumPowerCalibration(CDevice* device, SCSI_STATUS* status);
DRIVER_EXPORT bool OptimumPowerCalibration_Dummy(CDevice* device, SCSI_STATUS* status);

}   // extern "C"
