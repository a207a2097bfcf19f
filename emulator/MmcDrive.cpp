#include "emulator/MmcDrive.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

using namespace mmc;

namespace {

enum direction { kNoData, kDataIn, kDataOut };

// Which dialects know a command.
enum : uint8 {
	kMmc = 1 << CDriveConfig::kDialectMmc,
	kTeac = 1 << CDriveConfig::kDialectTeac,
	kPhilips = 1 << CDriveConfig::kDialectPhilips,
	kYamaha = 1 << CDriveConfig::kDialectYamaha,
	kPlextor = 1 << CDriveConfig::kDialectPlextor,
	kVendor = kTeac | kPhilips | kYamaha | kPlextor,
	kAll = kMmc | kVendor,
};

struct SCommandInfo {
	uint8 opcode;
	uint8 length;           // command block length
	direction dir;
	bool needsMedium;
	bool skipsUnitAttention;
	uint8 dialects;
};

const SCommandInfo kCommands[] = {
	{kTestUnitReady, 6, kNoData, true, false, kAll},
	{kRequestSense, 6, kDataIn, false, true, kAll},
	{kInquiry, 6, kDataIn, false, true, kAll},
	{kModeSelect6, 6, kDataOut, false, false, kVendor},
	{kModeSense6, 6, kDataIn, false, false, kVendor},
	{kStartStopUnit, 6, kNoData, false, false, kAll},
	{kPreventAllowRemoval, 6, kNoData, false, false, kAll},
	{kReadCapacity, 10, kDataIn, true, false, kAll},
	{kRead10, 10, kDataIn, true, false, kAll},
	{kReadSubChannel, 10, kDataIn, true, false, kAll},
	{kReadTocPmaAtip, 10, kDataIn, true, false, kAll},
	{kPlayAudio10, 10, kNoData, true, false, kAll},
	{kPlayAudioMsf, 10, kNoData, true, false, kAll},
	{kPlayAudioTrackIndex, 10, kNoData, true, false, kAll},
	{kPauseResume, 10, kNoData, true, false, kAll},
	{kStopPlayScan, 10, kNoData, true, false, kAll},
	{kSynchronizeCache, 10, kNoData, true, false, kAll},
	{kReadDiscInformation, 10, kDataIn, true, false, kMmc},
	{kSendOpcInformation, 10, kDataOut, true, false, kMmc},
	{kReadTrackInformation, 10, kDataIn, true, false, kMmc},
	{kModeSelect10, 10, kDataOut, false, false, kAll},
	{kModeSense10, 10, kDataIn, false, false, kAll},
	{kReadBufferCapacity, 10, kDataIn, false, false, kMmc | kYamaha},
	{kPlayAudio12, 12, kNoData, true, false, kAll},
	{kReadCdMsf, 12, kDataIn, true, false, kMmc},
	{kSetCdSpeed, 12, kNoData, false, false, kMmc},
	{kReadCd, 12, kDataIn, true, false, kMmc},
	{kReadCdDa, 12, kDataIn, true, false, kMmc | kTeac | kYamaha | kPlextor},
	{kTeacSetLimits, 12, kNoData, true, false, kTeac},
	{kTeacSetSubcode, 10, kDataOut, true, false, kTeac},
	{kTeacClearSubcode, 12, kNoData, true, false, kTeac},
	{kTeacNextWritableAddress, 12, kDataIn, true, false, kTeac},
	{kTeacOpcExecution, 12, kNoData, true, false, kTeac},
	{kPhilipsFirstWritableAddress, 10, kDataIn, true, false, kPhilips | kYamaha},
	{kPhilipsWriteTrack, 10, kNoData, true, false, kPhilips | kYamaha},
	{kPhilipsMediumLoadUnload, 10, kNoData, false, false, kPhilips},
	{kYamahaWriteToc, 10, kDataOut, true, false, kYamaha},
	{kPhilipsWriteSession, 10, kDataOut, true, false, kPhilips},
	{kPhilipsReadSessionInfo, 10, kDataIn, true, false, kPhilips},
};

const SCommandInfo* FindCommand(uint8 opcode, CDriveConfig::dialect_type dialect)
{
	for (const SCommandInfo& info : kCommands)
		if (info.opcode == opcode && (info.dialects & (1 << dialect)) != 0)
			return &info;
	return nullptr;
}

CModePages::page_set PageSet(CDriveConfig::dialect_type dialect)
{
	switch (dialect) {
		case CDriveConfig::kDialectTeac:
			return CModePages::kPagesTeac;
		case CDriveConfig::kDialectPhilips:
			return CModePages::kPagesPhilips;
		case CDriveConfig::kDialectYamaha:
			return CModePages::kPagesYamaha;
		case CDriveConfig::kDialectPlextor:
			return CModePages::kPagesPlextor;
		case CDriveConfig::kDialectMmc:
		default:
			return CModePages::kPagesMmc;
	}
}

bool IsBcd(uint8 value, int maximum)
{
	if ((value >> 4) > 9 || (value & 0x0F) > 9)
		return false;
	return (value >> 4) * 10 + (value & 0x0F) <= maximum;
}

void PutAddress(uint8* p, int32 lba, bool msf)
{
	if (msf) {
		SMsf m = LbaToMsf(lba);
		p[0] = 0;
		p[1] = m.minute;
		p[2] = m.second;
		p[3] = m.frame;
	} else {
		Put32(p, uint32(lba));
	}
}

// A relative address: negative in a pregap (an MSF then counts the distance).
void PutRelative(uint8* p, int32 relative, bool msf)
{
	if (msf) {
		SMsf m = FramesToMsf(relative);
		p[0] = 0;
		p[1] = m.minute;
		p[2] = m.second;
		p[3] = m.frame;
	} else {
		Put32(p, uint32(relative));
	}
}

}   // namespace

CMmcDrive::CMmcDrive(const CDriveConfig& config, std::shared_ptr<CDiscImage> medium,
	std::shared_ptr<CDriveClock> clock)
	:
	fConfig(config),
	fClock(clock != nullptr ? std::move(clock) : std::make_shared<CSystemDriveClock>()),
	fMedium(std::move(medium)),
	fModePages(config.capabilities, PageSet(config.dialect)),
	fResponse(kResponseCapacity, 0)
{
	fFaults.SetNotReady(config.notReady);
	for (const auto& error : config.mediumErrors)
		fFaults.AddMediumError(error.lba, error.attempts);
	for (const auto& fault : config.commandFaults)
		fFaults.AddCommandFault(fault.opcode, fault.sense, fault.attempts);
}

CMmcDrive::~CMmcDrive() = default;

uint8 CMmcDrive::PeripheralType() const
{
	return fConfig.peripheralType;
}

bool CMmcDrive::IsAtapi() const
{
	return fConfig.atapi;
}

void CMmcDrive::InsertMedium(std::shared_ptr<CDiscImage> medium)
{
	std::lock_guard<std::mutex> lock(fLock);
	fPlayback.Stop(fClock->Now());
	fMedium = std::move(medium);
	fTrayOpen = false;
	fUnitAttention = fMedium != nullptr;
	fPendingSense = SSense();   // the medium change outdates the last command's sense
}

status_t CMmcDrive::EjectMedium()
{
	std::lock_guard<std::mutex> lock(fLock);
	if (fPrevent)
		return B_NOT_ALLOWED;
	fPlayback.Stop(fClock->Now());
	fTrayOpen = true;
	return B_OK;
}

std::shared_ptr<CDiscImage> CMmcDrive::Medium() const
{
	std::lock_guard<std::mutex> lock(fLock);
	return fMedium;
}

void CMmcDrive::SetNotReady(int32 commands)
{
	std::lock_guard<std::mutex> lock(fLock);
	fFaults.SetNotReady(commands);
}

void CMmcDrive::AddMediumError(int32 lba, int32 attempts)
{
	std::lock_guard<std::mutex> lock(fLock);
	fFaults.AddMediumError(lba, attempts);
}

void CMmcDrive::AddCommandFault(uint8 opcode, const SSense& sense, int32 attempts)
{
	std::lock_guard<std::mutex> lock(fLock);
	fFaults.AddCommandFault(opcode, sense, attempts);
}

void CMmcDrive::ClearFaults()
{
	std::lock_guard<std::mutex> lock(fLock);
	fFaults.Clear();
}

bool CMmcDrive::MediumReady() const
{
	return !fTrayOpen && fMedium != nullptr;
}

SSense CMmcDrive::NotReadySense() const
{
	return fTrayOpen ? kSenseMediumNotPresentTrayOpen : kSenseMediumNotPresent;
}

CMmcDrive::SResult CMmcDrive::Respond(const SContext& c, size_t allocation, size_t length)
{
	SResult r;
	size_t n = std::min({allocation, length, c.dataLength, fResponse.size()});
	if (n > 0)
		std::memcpy(c.data, fResponse.data(), n);
	r.transferred = n;
	return r;
}

status_t CMmcDrive::Execute(raw_device_command* command)
{
	if (command == nullptr)
		return B_BAD_VALUE;
	if (command->command_length < 6 || command->command_length > 16 ||
		(command->data_length > 0 && command->data == nullptr)) {
		command->scsi_status = kStatusGood;
		command->cam_status = kCamRequestInvalid;
		return B_BAD_VALUE;
	}

	std::lock_guard<std::mutex> lock(fLock);
	uint8 cdb[16] = {};
	std::memcpy(cdb, command->command, command->command_length);
	const uint8 opcode = cdb[0];
	const SCommandInfo* info = FindCommand(opcode, fConfig.dialect);
	if (opcode == kReadCdDa && (!fConfig.readCdDaCommand || fConfig.dialect == CDriveConfig::kDialectPhilips))
		info = nullptr;
	const bool dataIn = (command->flags & B_RAW_DEVICE_DATA_IN) != 0;
	Record(command, cdb, dataIn);

	if (info != nullptr) {
		bool wrongDirection = command->data_length > 0
			&& ((info->dir == kDataIn && !dataIn) || (info->dir == kDataOut && dataIn));
		if (command->command_length < info->length || wrongDirection) {
			command->scsi_status = kStatusGood;
			command->cam_status = kCamRequestInvalid;
			return B_OK;
		}
	}

	SContext context {cdb, static_cast<uint8*>(command->data), command->data_length};
	SResult result;
	bool check = true;
	if (fFaults.TakeCommandFault(opcode, &result.sense)) {
	} else if (info == nullptr) {
		result.sense = kSenseInvalidOpcode;
	} else if (fUnitAttention && !info->skipsUnitAttention) {
		fUnitAttention = false;
		result.sense = kSenseMediumChanged;
	} else if (info->needsMedium && !MediumReady()) {
		result.sense = NotReadySense();
	} else if (info->needsMedium && fFaults.TakeNotReady()) {
		result.sense = kSenseBecomingReady;
	} else {
		switch (opcode) {
			case kTestUnitReady:
				break;
			case kRequestSense:
				result = DoRequestSense(context);
				break;
			case kInquiry:
				result = DoInquiry(context);
				break;
			case kStartStopUnit:
				result = DoStartStopUnit(context);
				break;
			case kPreventAllowRemoval:
				result = DoPreventAllow(context);
				break;
			case kReadCapacity:
				result = DoReadCapacity(context);
				break;
			case kRead10:
				result = DoRead10(context);
				break;
			case kModeSense6:
				result = DoModeSense6(context);
				break;
			case kModeSelect6:
				result = DoModeSelect6(context);
				break;
			case kTeacSetLimits:
				result = DoTeacSetLimits(context);
				break;
			case kTeacSetSubcode:
				result = DoTeacSetSubcode(context);
				break;
			case kSynchronizeCache:
				break;   // nothing is held back: nothing to write
			case kSendOpcInformation:
				// DoOpc on a medium that can be written; the OPC table
				// itself (DoOpc clear) is not kept.
				if ((cdb[1] & 0x01) != 0)
					WritableMedium(&result.sense);
				break;
			case kTeacClearSubcode:
				fLimitStart = fLimitLength = 0;
				break;
			case kTeacNextWritableAddress:   // kPhilipsWriteTrack: the dialect's own command
				result = fConfig.dialect == CDriveConfig::kDialectTeac ? DoTeacNextWritableAddress(context)
																	   : DoYamahaWriteTrack(context);
				break;
			case kTeacOpcExecution:
				result = DoTeacOpcExecution(context);
				break;
			case kPhilipsMediumLoadUnload:
				result = DoPhilipsLoadUnload(context);
				break;
			case kPhilipsFirstWritableAddress:
				result = DoPhilipsFirstWritableAddress(context);
				break;
			case kPhilipsReadSessionInfo:
				result = DoPhilipsReadSessionInfo(context);
				break;
			case kPhilipsWriteSession:
				result = DoPhilipsWriteSession(context);
				break;
			case kYamahaWriteToc:
				result = DoYamahaWriteToc(context);
				break;
			case kReadSubChannel:
				result = DoReadSubChannel(context);
				break;
			case kReadTocPmaAtip:
				result = DoReadToc(context);
				break;
			case kPlayAudio10:
			case kPlayAudio12:
			case kPlayAudioMsf:
			case kPlayAudioTrackIndex:
				result = DoPlayAudio(context);
				break;
			case kPauseResume:
				result = DoPauseResume(context);
				break;
			case kStopPlayScan:
				result = DoStop(context);
				break;
			case kReadDiscInformation:
				result = DoReadDiscInformation(context);
				break;
			case kReadTrackInformation:
				result = DoReadTrackInformation(context);
				break;
			case kModeSelect10:
				result = DoModeSelect(context);
				break;
			case kModeSense10:
				result = DoModeSense(context);
				break;
			case kReadBufferCapacity:
				result = DoReadBufferCapacity(context);
				break;
			case kSetCdSpeed:
				result = DoSetCdSpeed(context);
				break;
			case kReadCd:
			case kReadCdMsf:
				result = DoReadCd(context);
				break;
			case kReadCdDa:
				result = DoReadCdDa(context);
				break;
		}
		check = result.sense.key != kNoSense || result.sense.asc != 0;
		if (opcode == kRequestSense)
			check = false;
	}

	size_t senseCopied = 0;
	if (check) {
		fPendingSense = result.sense;
		command->scsi_status = kStatusCheckCondition;
		command->cam_status = kCamRequestCompletedWithError;
		if (command->sense_data != nullptr && command->sense_data_length > 0) {
			uint8 sense[kSenseLength];
			EncodeFixedSense(result.sense, sense);
			senseCopied = std::min(command->sense_data_length, kSenseLength);
			std::memcpy(command->sense_data, sense, senseCopied);
			command->cam_status |= kCamAutosenseValid;
		}
	} else {
		if (opcode != kRequestSense)
			fPendingSense = SSense();
		command->scsi_status = kStatusGood;
		bool shortTransfer = info != nullptr && info->dir == kDataIn && result.transferred < command->data_length;
		command->cam_status = shortTransfer ? kCamDataRunError : kCamRequestCompleted;
	}
	if ((command->flags & B_RAW_DEVICE_REPORT_RESIDUAL) != 0) {
		command->data_length -= std::min(result.transferred, command->data_length);
		command->sense_data_length -= senseCopied;
	}
	return B_OK;
}

status_t CMmcDrive::ReadAudio(int32 lba, int32 count, void* buffer)
{
	if (buffer == nullptr || count <= 0)
		return B_BAD_VALUE;
	std::lock_guard<std::mutex> lock(fLock);
	if (!MediumReady())
		return B_DEV_NO_MEDIA;
	if (fMedium->IsBlank() || lba < 0 || int64(lba) + count > fMedium->LeadOut())
		return B_BAD_VALUE;
	fPlayback.Stop(fClock->Now());
	int32 bad;
	if (fFaults.TakeMediumError(lba, count, &bad))
		return B_DEV_READ_ERROR;
	if (fMedium->ReadSectors(lba, count, static_cast<uint8*>(buffer), kAudioSectorSize) != B_OK)
		return B_DEV_READ_ERROR;
	RealTimeDelay(count);
	return B_OK;
}

CMmcDrive::SResult CMmcDrive::DoRequestSense(const SContext& c)
{
	SResult r;
	if ((c.cdb[1] & 0x01) != 0) {   // descriptor format is not offered
		r.sense = SenseInvalidCdbField(1);
		return r;
	}
	SSense sense;
	bigtime_t now = fClock->Now();
	if (fPendingSense.IsError()) {
		sense = fPendingSense;
		fPendingSense = SSense();
	} else if (fUnitAttention) {
		sense = kSenseMediumChanged;
		fUnitAttention = false;
	} else if (!MediumReady()) {
		sense = NotReadySense();
	} else if (fPlayback.State(now) == CAudioPlayback::kPlaying) {
		sense = kSenseAudioPlayInProgress;
	} else if (fPlayback.State(now) == CAudioPlayback::kPaused) {
		sense = Sense(kNoSense, 0x00, 0x12);
	}
	EncodeFixedSense(sense, fResponse.data());
	return Respond(c, c.cdb[4], kSenseLength);
}

CMmcDrive::SResult CMmcDrive::DoInquiry(const SContext& c)
{
	SResult r;
	bool evpd = (c.cdb[1] & 0x01) != 0;
	uint8 page = c.cdb[2];
	size_t allocation = Get16(c.cdb + 3);
	uint8* out = fResponse.data();
	if ((c.cdb[1] & 0xFE) != 0) {
		r.sense = SenseInvalidCdbField(1);
		return r;
	}
	if (!evpd && page != 0) {
		r.sense = SenseInvalidCdbField(2);
		return r;
	}
	if (evpd) {
		std::memset(out, 0, 64);
		out[0] = fConfig.peripheralType;
		out[1] = page;
		if (page == 0x00) {
			out[3] = 2;
			out[4] = 0x00;
			out[5] = 0x80;
			return Respond(c, allocation, 6);
		}
		if (page == 0x80) {
			static const char kSerial[] = "TWVIRTUAL";
			out[3] = uint8(sizeof(kSerial) - 1);
			std::memcpy(out + 4, kSerial, sizeof(kSerial) - 1);
			return Respond(c, allocation, 4 + sizeof(kSerial) - 1);
		}
		r.sense = SenseInvalidCdbField(2);
		return r;
	}
	constexpr size_t kLength = 96;
	std::memset(out, 0, kLength);
	out[0] = fConfig.peripheralType & 0x1F;
	out[1] = 0x80;                               // removable medium
	out[2] = fConfig.atapi ? 0x00 : 0x05;        // version
	out[3] = 0x02;                               // response data format
	out[4] = uint8(kLength - 5);                 // additional length
	auto pad = [](uint8* field, const std::string& text, size_t width) {
		std::memset(field, ' ', width);
		std::memcpy(field, text.data(), std::min(text.size(), width));
	};
	pad(out + 8, fConfig.vendor, 8);
	pad(out + 16, fConfig.product, 16);
	pad(out + 32, fConfig.revision, 4);
	pad(out + 36, "Tarnwick virtual", 20);
	return Respond(c, allocation, kLength);
}

CMmcDrive::SResult CMmcDrive::DoStartStopUnit(const SContext& c)
{
	SResult r;
	bigtime_t now = fClock->Now();
	uint8 power = c.cdb[4] >> 4;
	bool loadEject = (c.cdb[4] & 0x02) != 0;
	bool start = (c.cdb[4] & 0x01) != 0;
	if (power != 0)
		return r;
	if (loadEject) {
		if (start) {
			if (fTrayOpen) {
				fTrayOpen = false;
				fUnitAttention = fMedium != nullptr;
			}
		} else {
			r.sense = EjectTray();
		}
	} else if (start) {
		if (!MediumReady())
			r.sense = NotReadySense();
	} else {
		fPlayback.Stop(now);
	}
	return r;
}

CMmcDrive::SResult CMmcDrive::DoPreventAllow(const SContext& c)
{
	SResult r;
	bool prevent = (c.cdb[4] & 0x01) != 0;
	if (prevent && !fConfig.capabilities.lock) {   // a drive that cannot lock its tray
		r.sense = SenseInvalidCdbField(4);
		return r;
	}
	fPrevent = prevent;
	fModePages.SetLocked(fPrevent);
	return r;
}

CMmcDrive::SResult CMmcDrive::DoReadCapacity(const SContext& c)
{
	uint8* out = fResponse.data();
	if (fConfig.dialect == CDriveConfig::kDialectYamaha && fMedium->IsBlank() && fMedium->IsRecordable()) {
		// A writable disc: the blocks that can be written, block length 0.
		Put32(out, uint32(fMedium->LastPossibleLeadOut()));
		Put32(out + 4, 0);
		return Respond(c, 8, 8);
	}
	int32 last = fMedium->IsBlank() ? 0 : fMedium->LeadOut() - 1;
	Put32(out, uint32(last));
	Put32(out + 4, VendorDialect() ? fModePages.BlockLength() : 2048);
	return Respond(c, 8, 8);
}

CMmcDrive::SResult CMmcDrive::DoReadSubChannel(const SContext& c)
{
	SResult r;
	bool msf = (c.cdb[1] & 0x02) != 0;
	bool subQ = (c.cdb[2] & 0x40) != 0;
	uint8 format = c.cdb[3];
	uint8 trackNumber = c.cdb[6];
	size_t allocation = Get16(c.cdb + 7);
	if (subQ && (format < 1 || format > 3)) {
		r.sense = SenseInvalidCdbField(3);
		return r;
	}
	const CDiscImage& disc = *fMedium;
	const CDiscImage::STrack* isrcTrack = nullptr;
	if (subQ && format == 3) {
		isrcTrack = disc.FindTrack(trackNumber);
		if (isrcTrack == nullptr) {
			r.sense = SenseInvalidCdbField(6);
			return r;
		}
	}

	bigtime_t now = fClock->Now();
	uint8 status = fConfig.capabilities.audioPlay ? fPlayback.ReportStatus(now) : uint8(kAudioStatusNotSupported);
	uint8* out = fResponse.data();
	std::memset(out, 0, 24);
	out[1] = status;
	if (!subQ)
		return Respond(c, allocation, 4);

	size_t length = format == 1 ? 16 : 24;
	Put16(out + 2, uint32(length - 4));
	out[4] = format;
	if (format == 1) {
		int32 lba = fPlayback.Position(now);
		uint8 q[12];
		disc.QSubChannel(lba, q);
		const CDiscImage::STrack* track = disc.TrackAt(lba);
		out[5] = uint8(0x10 | (q[0] >> 4));
		int32 relative = lba - disc.LeadOut();
		if (track != nullptr) {
			out[6] = uint8(track->number);
			out[7] = uint8(CDiscImage::IndexAt(*track, lba));
			relative = lba - track->start;
		} else if (!disc.Tracks().empty() && lba < disc.Tracks().front().start) {
			out[6] = uint8(disc.FirstTrack());
			relative = lba - disc.Tracks().front().start;
		} else {
			out[6] = 0xAA;
			out[7] = 1;
		}
		PutAddress(out + 8, lba, msf);
		PutRelative(out + 12, relative, msf);
	} else if (format == 2) {
		if (fConfig.capabilities.mcn && !disc.Catalog().empty()) {
			out[8] = 0x80;
			std::memcpy(out + 9, disc.Catalog().data(), 13);
		}
	} else {
		out[5] = uint8(0x30 | (isrcTrack->control & 0x0F));
		out[6] = uint8(isrcTrack->number);
		if (fConfig.capabilities.isrc && isrcTrack->isrc.size() == 12) {
			out[8] = 0x80;
			std::memcpy(out + 9, isrcTrack->isrc.data(), 12);
		}
	}
	return Respond(c, allocation, length);
}

CMmcDrive::SResult CMmcDrive::DoReadToc(const SContext& c)
{
	SResult r;
	bool msf = (c.cdb[1] & 0x02) != 0;
	uint8 format = c.cdb[2] & 0x0F;
	if (format == 0 && (c.cdb[9] >> 6) != 0)   // the older place of the format field
		format = uint8(c.cdb[9] >> 6);
	uint8 number = c.cdb[6];
	size_t allocation = Get16(c.cdb + 7);
	const CDiscImage& disc = *fMedium;
	uint8* out = fResponse.data();

	if (format <= 2 && disc.IsBlank()) {
		r.sense = SenseInvalidCdbField(2);
		return r;
	}
	// The vendor families read no CD-Text, and only the Yamaha answers the
	// ATIP (see MmcDrive.h).
	if (VendorDialect() && (format == 5 || (format == 4 && fConfig.dialect != CDriveConfig::kDialectYamaha))) {
		r.sense = SenseInvalidCdbField(2);
		return r;
	}
	const auto& tracks = disc.Tracks();
	size_t length = 4;
	switch (format) {
		case 0: {
			if (number > disc.LastTrack() && number != 0xAA) {
				r.sense = SenseInvalidCdbField(6);
				return r;
			}
			out[2] = uint8(disc.FirstTrack());
			out[3] = uint8(disc.LastTrack());
			auto add = [&](uint8 control, uint8 track, int32 lba) {
				uint8* d = out + length;
				d[0] = 0;
				d[1] = uint8(0x10 | (control & 0x0F));
				d[2] = track;
				d[3] = 0;
				PutAddress(d + 4, lba, msf);
				length += 8;
			};
			if (number != 0xAA)
				for (const auto& track : tracks)
					if (track.number >= number)
						add(track.control, uint8(track.number), track.start);
			add(tracks.back().control, 0xAA, disc.LeadOut());
			break;
		}
		case 1: {
			out[2] = 1;
			out[3] = 1;
			uint8* d = out + 4;
			d[0] = 0;
			d[1] = uint8(0x10 | (tracks.front().control & 0x0F));
			d[2] = uint8(tracks.front().number);
			d[3] = 0;
			PutAddress(d + 4, tracks.front().start, msf);
			length = 12;
			break;
		}
		case 2: {
			if (number > 1) {
				r.sense = SenseInvalidCdbField(6);
				return r;
			}
			out[2] = 1;
			out[3] = 1;
			auto add = [&](uint8 control, uint8 point, uint8 pmin, uint8 psec, uint8 pframe) {
				uint8* d = out + length;
				std::memset(d, 0, 11);
				d[0] = 1;
				d[1] = uint8(0x10 | (control & 0x0F));
				d[3] = point;
				d[8] = pmin;
				d[9] = psec;
				d[10] = pframe;
				length += 11;
			};
			add(tracks.front().control, 0xA0, uint8(disc.FirstTrack()), 0x00, 0);
			add(tracks.back().control, 0xA1, uint8(disc.LastTrack()), 0, 0);
			SMsf leadOut = LbaToMsf(disc.LeadOut());
			add(tracks.back().control, 0xA2, leadOut.minute, leadOut.second, leadOut.frame);
			for (const auto& track : tracks) {
				SMsf start = LbaToMsf(track.start);
				add(track.control, uint8(track.number), start.minute, start.second, start.frame);
			}
			break;
		}
		case 4: {
			if (!disc.IsRecordable()) {
				r.sense = SenseInvalidCdbField(2);
				return r;
			}
			std::memset(out, 0, 28);
			out[4] = 0x80 | 0x50 | 0x01;    // indicative writing power 5, reference speed 1
			out[6] = uint8(0x80 | (disc.IsErasable() ? 0x40 : 0x00));
			SMsf leadIn = LbaToMsf(disc.LeadInStart());
			SMsf leadOut = LbaToMsf(disc.LastPossibleLeadOut());
			out[8] = leadIn.minute;
			out[9] = leadIn.second;
			out[10] = leadIn.frame;
			out[12] = leadOut.minute;
			out[13] = leadOut.second;
			out[14] = leadOut.frame;
			length = 28;
			break;
		}
		case 5: {
			const auto& packs = disc.CdTextPacks();
			out[2] = out[3] = 0;
			size_t n = std::min(packs.size(), fResponse.size() - 4);
			std::memcpy(out + 4, packs.data(), n);
			length = 4 + n;
			break;
		}
		default:
			r.sense = SenseInvalidCdbField(2);
			return r;
	}
	Put16(out, uint32(length - 2));
	return Respond(c, allocation, length);
}

CMmcDrive::SResult CMmcDrive::StartPlay(int32 start, int32 end)
{
	SResult r;
	const CDiscImage& disc = *fMedium;
	if (disc.IsBlank() || start < 0 || end > disc.LeadOut() || start > end) {
		r.sense = kSenseLbaOutOfRange;
		return r;
	}
	bigtime_t now = fClock->Now();
	if (start == end) {
		return r;   // nothing to play; not an error
	}
	if (fModePages.StopOnTrackCrossing()) {
		const CDiscImage::STrack* track = disc.TrackAt(start);
		if (track != nullptr)
			end = std::min(end, track->end);
	}
	fPlayback.Play(start, end, now);
	return r;
}

CMmcDrive::SResult CMmcDrive::DoPlayAudio(const SContext& c)
{
	SResult r;
	if (!fConfig.capabilities.audioPlay) {
		r.sense = kSenseInvalidOpcode;
		return r;
	}
	const CDiscImage& disc = *fMedium;
	bigtime_t now = fClock->Now();
	int32 current = fPlayback.Position(now);
	switch (c.cdb[0]) {
		case kPlayAudio10:
		case kPlayAudio12: {
			uint32 address = Get32(c.cdb + 2);
			int64 length = c.cdb[0] == kPlayAudio10 ? Get16(c.cdb + 7) : Get32(c.cdb + 6);
			int32 start = address == 0xFFFFFFFF ? current : int32(address);
			if (length == 0)
				return r;
			if (start < 0 || start + length > disc.LeadOut()) {
				r.sense = kSenseLbaOutOfRange;
				return r;
			}
			return StartPlay(start, int32(start + length));
		}
		case kPlayAudioMsf: {
			bool fromCurrent = c.cdb[3] == 0xFF && c.cdb[4] == 0xFF && c.cdb[5] == 0xFF;
			if (!fromCurrent && (c.cdb[4] > 59 || c.cdb[5] > 74)) {
				r.sense = SenseInvalidCdbField(4);
				return r;
			}
			if (c.cdb[7] > 59 || c.cdb[8] > 74) {
				r.sense = SenseInvalidCdbField(7);
				return r;
			}
			int32 start = fromCurrent ? current : MsfToLba(c.cdb[3], c.cdb[4], c.cdb[5]);
			int32 end = MsfToLba(c.cdb[6], c.cdb[7], c.cdb[8]);
			if (start > end) {
				r.sense = SenseInvalidCdbField(3);
				return r;
			}
			return StartPlay(start, end);
		}
		case kPlayAudioTrackIndex:
		default: {
			const CDiscImage::STrack* first = disc.FindTrack(c.cdb[4]);
			if (first == nullptr) {
				r.sense = SenseInvalidCdbField(4);
				return r;
			}
			int32 start = -1;
			for (const auto& [number, lba] : first->indexes)
				if (number == std::max<int>(c.cdb[5], 1))
					start = lba;
			if (start < 0) {
				r.sense = SenseInvalidCdbField(5);
				return r;
			}
			int endNumber = std::min<int>(std::max<int>(c.cdb[7], 1), disc.LastTrack());
			const CDiscImage::STrack* last = disc.FindTrack(endNumber);
			if (last == nullptr || last->number < first->number) {
				r.sense = SenseInvalidCdbField(7);
				return r;
			}
			// Play up to the end of the ending index.
			int32 end = last->end;
			for (const auto& [number, lba] : last->indexes)
				if (number > c.cdb[8] && number >= 1 && lba > start) {
					end = lba;
					break;
				}
			return StartPlay(start, end);
		}
	}
}

CMmcDrive::SResult CMmcDrive::DoPauseResume(const SContext& c)
{
	SResult r;
	bigtime_t now = fClock->Now();
	bool ok = (c.cdb[8] & 0x01) != 0 ? fPlayback.Resume(now) : fPlayback.Pause(now);
	if (!ok)
		r.sense = kSenseCommandSequenceError;
	return r;
}

CMmcDrive::SResult CMmcDrive::DoStop(const SContext& c)
{
	fPlayback.Stop(fClock->Now());
	return SResult();
}

CMmcDrive::SResult CMmcDrive::DoReadDiscInformation(const SContext& c)
{
	SResult r;
	if ((c.cdb[1] & 0x07) != 0) {
		r.sense = SenseInvalidCdbField(1);
		return r;
	}
	const CDiscImage& disc = *fMedium;
	uint8* out = fResponse.data();
	constexpr size_t kLength = 34;
	std::memset(out, 0, kLength);
	Put16(out, kLength - 2);
	if (disc.IsBlank()) {
		out[2] = uint8(disc.IsErasable() ? 0x10 : 0x00);   // empty disc, empty session
		out[3] = 1;
		out[4] = 1;
		out[5] = 1;
		out[6] = 1;
		SMsf leadIn = LbaToMsf(disc.LeadInStart());
		SMsf leadOut = LbaToMsf(disc.LastPossibleLeadOut());
		out[17] = leadIn.minute;
		out[18] = leadIn.second;
		out[19] = leadIn.frame;
		out[21] = leadOut.minute;
		out[22] = leadOut.second;
		out[23] = leadOut.frame;
	} else {
		out[2] = uint8((disc.IsErasable() ? 0x10 : 0x00) | 0x0C | 0x02);   // complete session, complete disc
		out[3] = uint8(disc.FirstTrack());
		out[4] = 1;
		out[5] = uint8(disc.FirstTrack());
		out[6] = uint8(disc.LastTrack());
		std::memset(out + 16, 0xFF, 8);
	}
	out[8] = 0x00;   // CD-DA or CD-ROM
	return Respond(c, Get16(c.cdb + 7), kLength);
}

CMmcDrive::SResult CMmcDrive::DoReadTrackInformation(const SContext& c)
{
	SResult r;
	uint8 type = c.cdb[1] & 0x03;
	uint32 value = Get32(c.cdb + 2);
	const CDiscImage& disc = *fMedium;
	uint8* out = fResponse.data();
	constexpr size_t kLength = 36;
	std::memset(out, 0, kLength);
	Put16(out, kLength - 2);
	out[3] = 1;   // session

	if (disc.IsBlank()) {
		// The invisible track that recording fills.
		bool ok = (type == 1 && (value == 1 || value == 0xFF)) || (type == 2 && value == 1)
			|| (type == 0 && int64(value) < disc.LastPossibleLeadOut());
		if (!ok) {
			r.sense = SenseInvalidCdbField(type == 3 ? 1 : 2);
			return r;
		}
		out[2] = 1;
		out[6] = 0x40 | 0x0F;   // blank, data mode unknown
		out[7] = 0x01;          // next writable address valid
		Put32(out + 16, uint32(disc.LastPossibleLeadOut()));
		Put32(out + 24, uint32(disc.LastPossibleLeadOut()));
		return Respond(c, Get16(c.cdb + 7), kLength);
	}

	const CDiscImage::STrack* track = nullptr;
	if (type == 0)
		track = int32(value) >= 0 && int32(value) < disc.LeadOut() ? disc.TrackAt(int32(value)) : nullptr;
	else if (type == 1)
		track = value <= 99 ? disc.FindTrack(int(value)) : nullptr;
	else if (type == 2)
		track = value == 1 ? &disc.Tracks().front() : nullptr;
	if (track == nullptr) {
		r.sense = SenseInvalidCdbField(type == 3 ? 1 : 2);
		return r;
	}
	out[2] = uint8(track->number);
	out[5] = uint8(track->control & 0x0F);
	out[6] = 0x0F;
	Put32(out + 8, uint32(track->start));
	Put32(out + 24, uint32(track->end - track->start));
	Put32(out + 28, uint32(track->end - 1));
	return Respond(c, Get16(c.cdb + 7), kLength);
}

CMmcDrive::SResult CMmcDrive::DoModeSelect(const SContext& c)
{
	SResult r;
	size_t length = Get16(c.cdb + 7);
	if ((c.cdb[1] & 0x10) == 0) {   // page format is required
		r.sense = SenseInvalidCdbField(1);
		return r;
	}
	if (length > c.dataLength) {
		r.sense = kSenseParameterListLength;
		return r;
	}
	r.sense = fModePages.Select(c.data, length, (c.cdb[1] & 0x01) != 0);
	r.transferred = length;
	return r;
}

CMmcDrive::SResult CMmcDrive::DoModeSense(const SContext& c)
{
	SResult r;
	auto control = CModePages::page_control(c.cdb[2] >> 6);
	size_t length = 0;
	r.sense = fModePages.Sense(control, c.cdb[2] & 0x3F, c.cdb[3], fResponse.data(), fResponse.size(), &length);
	if (r.sense.IsError())
		return r;
	return Respond(c, Get16(c.cdb + 7), length);
}

CMmcDrive::SResult CMmcDrive::DoReadBufferCapacity(const SContext& c)
{
	uint8* out = fResponse.data();
	std::memset(out, 0, 12);
	Put16(out, 10);
	uint32 bytes = uint32(fConfig.capabilities.bufferKb) * 1024;
	if ((c.cdb[1] & 0x01) != 0) {
		Put32(out + 8, bytes / uint32(kAudioSectorSize));
	} else {
		Put32(out + 4, bytes);
		Put32(out + 8, bytes);   // nothing is being recorded: all of it is free
	}
	return Respond(c, Get16(c.cdb + 7), 12);
}

uint16 CMmcDrive::ClampSpeed(uint32 requested, const std::vector<uint16>& speeds) const
{
	if (speeds.empty())
		return 0;
	if (requested == 0xFFFF)
		return speeds.back();
	uint16 chosen = speeds.front();
	for (uint16 speed : speeds)
		if (speed <= requested)
			chosen = speed;
	return chosen;
}

CMmcDrive::SResult CMmcDrive::DoSetCdSpeed(const SContext& c)
{
	SResult r;
	if ((c.cdb[1] & 0x03) > 1) {   // CLV or CAV
		r.sense = SenseInvalidCdbField(1);
		return r;
	}
	const SDriveCapabilities& caps = fConfig.capabilities;
	uint16 read = ClampSpeed(Get16(c.cdb + 2), caps.readSpeeds);
	uint16 write = ClampSpeed(Get16(c.cdb + 4), caps.writeSpeeds);
	fModePages.SetCurrentSpeeds(read, write);
	return r;
}

CMmcDrive::SResult CMmcDrive::DoReadCd(const SContext& c)
{
	SResult r;
	uint8 sectorType = (c.cdb[1] >> 2) & 0x07;
	if (sectorType > 5) {
		r.sense = SenseInvalidCdbField(1);
		return r;
	}
	int32 lba;
	int64 count;
	if (c.cdb[0] == kReadCdMsf) {
		if (c.cdb[4] > 59 || c.cdb[5] > 74) {
			r.sense = SenseInvalidCdbField(3);
			return r;
		}
		if (c.cdb[7] > 59 || c.cdb[8] > 74) {
			r.sense = SenseInvalidCdbField(6);
			return r;
		}
		lba = MsfToLba(c.cdb[3], c.cdb[4], c.cdb[5]);
		int32 end = MsfToLba(c.cdb[6], c.cdb[7], c.cdb[8]);
		if (end < lba) {
			r.sense = SenseInvalidCdbField(6);
			return r;
		}
		count = end - lba;
	} else {
		lba = int32(Get32(c.cdb + 2));
		count = Get24(c.cdb + 6);
	}
	uint8 fields = c.cdb[9];
	uint8 c2 = (fields >> 1) & 0x03;
	if (c2 == 3) {
		r.sense = SenseInvalidCdbField(9);
		return r;
	}
	uint8 sub = c.cdb[10] & 0x07;
	if (sub != 0 && sub != 1 && sub != 2) {
		r.sense = SenseInvalidCdbField(10);
		return r;
	}
	// Every track is audio: data sector types do not match it.
	if (sectorType >= 2 || !fConfig.capabilities.cddaCommands) {
		if (!fMedium->IsBlank() && lba >= 0 && lba < fMedium->LeadOut()) {
			r.sense = kSenseIllegalModeForTrack;
			return r;
		}
	}
	size_t c2Bytes = c2 == 0 ? 0 : c2 == 1 ? 294 : 296;
	return ReadSectors(c, lba, count, (fields & 0x10) != 0, c2Bytes, sub == 1 ? 96 : sub == 2 ? 16 : 0);
}

CMmcDrive::SResult CMmcDrive::DoReadCdDa(const SContext& c)
{
	SResult r;
	if (!fConfig.readCdDaCommand) {
		r.sense = kSenseInvalidOpcode;
		return r;
	}
	int32 lba = int32(Get32(c.cdb + 2));
	int64 count = Get32(c.cdb + 6);
	switch (c.cdb[10]) {
		case 0:
			return ReadSectors(c, lba, count, true, 0, 0);
		case 1:
			return ReadSectors(c, lba, count, true, 0, 16);
		case 2:
			return ReadSectors(c, lba, count, true, 0, 96);
		case 3:
			return ReadSectors(c, lba, count, false, 0, 96);
		default:
			r.sense = SenseInvalidCdbField(10);
			return r;
	}
}

SSense CMmcDrive::EjectTray()
{
	if (!fConfig.capabilities.eject)
		return SenseInvalidCdbField(4);
	if (fPrevent)
		return kSenseRemovalPrevented;
	fPlayback.Stop(fClock->Now());
	fTrayOpen = true;
	return kSenseNone;
}

void CMmcDrive::Record(const raw_device_command* command, const uint8* cdb, bool dataIn)
{
	SCommandRecord record;
	record.cdb.assign(cdb, cdb + command->command_length);
	if (!dataIn && command->data != nullptr) {
		size_t n = std::min(command->data_length, kHistoryDataLength);
		const auto* data = static_cast<const uint8*>(command->data);
		record.data.assign(data, data + n);
	}
	if (fHistory.size() < kHistoryLength) {
		fHistory.push_back(std::move(record));
	} else {
		fHistory[fHistoryNext] = std::move(record);
	}
	fHistoryNext = (fHistoryNext + 1) % kHistoryLength;
}

std::vector<CMmcDrive::SCommandRecord> CMmcDrive::History() const
{
	std::lock_guard<std::mutex> lock(fLock);
	if (fHistory.size() < kHistoryLength)
		return fHistory;
	std::vector<SCommandRecord> ordered(fHistory.begin() + ptrdiff_t(fHistoryNext), fHistory.end());
	ordered.insert(ordered.end(), fHistory.begin(), fHistory.begin() + ptrdiff_t(fHistoryNext));
	return ordered;
}

void CMmcDrive::ClearHistory()
{
	std::lock_guard<std::mutex> lock(fLock);
	fHistory.clear();
	fHistoryNext = 0;
}

std::vector<uint8> CMmcDrive::ModePage(uint8 code) const
{
	std::lock_guard<std::mutex> lock(fLock);
	const std::vector<uint8>* page = fModePages.CurrentPage(code);
	return page != nullptr ? *page : std::vector<uint8>();
}

bool CMmcDrive::WritableMedium(SSense* sense) const
{
	if (fMedium == nullptr || !fMedium->IsRecordable() || !fMedium->IsBlank()) {
		*sense = kSenseLbaOutOfRange;   // no writable address on this disc
		return false;
	}
	return true;
}

uint32 CMmcDrive::MediumBlocks() const
{
	if (!MediumReady())
		return 0;
	return uint32(std::max<int32>(0, fMedium->IsBlank() ? fMedium->LastPossibleLeadOut() : fMedium->LeadOut()));
}

CMmcDrive::SResult CMmcDrive::DoRead10(const SContext& c)
{
	SResult r;
	int32 lba = int32(Get32(c.cdb + 2));
	uint32 count = Get16(c.cdb + 7);
	bool audioBlocks = VendorDialect() && fModePages.BlockLength() == kAudioSectorSize
		&& (fModePages.Density() == 0x82 || fModePages.Density() == 0x00);
	if (fMedium->IsBlank() || lba < 0 || int64(lba) + count > fMedium->LeadOut()) {
		r.sense = kSenseLbaOutOfRange;
		return r;
	}
	if (count == 0)
		return r;
	if (!audioBlocks) {
		r.sense = kSenseIllegalModeForTrack;   // audio tracks hold no 2048-byte blocks
		return r;
	}
	r = ReadSectors(c, lba, count, true, 0, 0);
	if (fConfig.dialect == CDriveConfig::kDialectPhilips) {
		// The CDD 2000 family delivers its samples big-endian.
		for (size_t i = 0; i + 1 < r.transferred; i += 2)
			std::swap(c.data[i], c.data[i + 1]);
	}
	return r;
}

CMmcDrive::SResult CMmcDrive::DoModeSense6(const SContext& c)
{
	SResult r;
	auto control = CModePages::page_control(c.cdb[2] >> 6);
	bool disableBlockDescriptors = (c.cdb[1] & 0x08) != 0;
	size_t length = 0;
	r.sense = fModePages.Sense6(control, c.cdb[2] & 0x3F, c.cdb[3], disableBlockDescriptors, MediumBlocks(),
		fResponse.data(), fResponse.size(), &length);
	if (r.sense.IsError())
		return r;
	return Respond(c, c.cdb[4], length);
}

CMmcDrive::SResult CMmcDrive::DoModeSelect6(const SContext& c)
{
	SResult r;
	size_t length = c.cdb[4];
	if (length > c.dataLength) {
		r.sense = kSenseParameterListLength;
		return r;
	}
	r.sense = fModePages.Select6(c.data, length, (c.cdb[1] & 0x01) != 0);
	r.transferred = length;
	return r;
}

CMmcDrive::SResult CMmcDrive::DoTeacSetLimits(const SContext& c)
{
	SResult r;
	int32 start = int32(Get32(c.cdb + 2));
	uint32 length = Get32(c.cdb + 6);
	if (!WritableMedium(&r.sense))
		return r;
	if (start < -150 || start >= fMedium->LastPossibleLeadOut()) {
		r.sense = SenseInvalidCdbField(2);
		return r;
	}
	if (length == 0 || int64(start) + length > int64(fMedium->LastPossibleLeadOut()) + 6750) {
		r.sense = SenseInvalidCdbField(6);
		return r;
	}
	fLimitStart = start;
	fLimitLength = int32(length);
	return r;
}

// SET SUBCODE takes either the sub-code of the range of the last SET LIMITS
// (P flag, control/ADR, BCD track and index) or the TOC of the lead-in (a
// 3-byte header, then 5-byte entries of control/ADR, point and BCD MSF).
CMmcDrive::SResult CMmcDrive::DoTeacSetSubcode(const SContext& c)
{
	SResult r;
	size_t length = Get16(c.cdb + 7);
	if (length > c.dataLength) {
		r.sense = kSenseParameterListLength;
		return r;
	}
	r.transferred = length;
	if (!WritableMedium(&r.sense))
		return r;
	const uint8* d = c.data;
	if (length == 4) {
		if (fLimitLength == 0) {
			r.sense = kSenseCommandSequenceError;
			return r;
		}
		if (d[0] > 1 || (d[1] & 0x0F) != 1 || !IsBcd(d[2], 99) || d[2] == 0 || !IsBcd(d[3], 99))
			r.sense = SenseInvalidParameterField(d[0] > 1 ? 0 : (d[1] & 0x0F) != 1 ? 1 : !IsBcd(d[2], 99) ? 2 : 3);
		return r;
	}
	if (length < 3 + 3 * 5 || (length - 3) % 5 != 0) {
		r.sense = kSenseParameterListLength;
		return r;
	}
	for (size_t at = 3; at < length; at += 5) {
		uint8 point = d[at + 1];
		bool pointValid = (IsBcd(point, 99) && point != 0) || point == 0xA0 || point == 0xA1 || point == 0xA2;
		bool timeValid = point == 0xA0 || point == 0xA1
			|| (IsBcd(d[at + 2], 99) && IsBcd(d[at + 3], 59) && IsBcd(d[at + 4], 74));
		if ((d[at] & 0x0F) != 1 || !pointValid || !timeValid) {
			r.sense = SenseInvalidParameterField(uint16(at));
			return r;
		}
	}
	return r;
}

CMmcDrive::SResult CMmcDrive::DoTeacNextWritableAddress(const SContext& c)
{
	SResult r;
	if (!WritableMedium(&r.sense))
		return r;
	std::memset(fResponse.data(), 0, 4);   // the program area starts at 0
	return Respond(c, c.dataLength, 4);
}

CMmcDrive::SResult CMmcDrive::DoTeacOpcExecution(const SContext& c)
{
	SResult r;
	if (!WritableMedium(&r.sense))
		r.sense = Sense(kIllegalRequest, 0xCD, 0x00);   // cannot ensure reliable writing on this disc
	return r;
}

CMmcDrive::SResult CMmcDrive::DoPhilipsLoadUnload(const SContext& c)
{
	SResult r;
	if ((c.cdb[8] & 0x01) != 0) {
		r.sense = EjectTray();
	} else if (fTrayOpen) {
		fTrayOpen = false;
		fUnitAttention = fMedium != nullptr;
	}
	return r;
}

CMmcDrive::SResult CMmcDrive::DoPhilipsFirstWritableAddress(const SContext& c)
{
	SResult r;
	if (!WritableMedium(&r.sense))
		return r;
	uint8 sectorType = c.cdb[3];
	if (sectorType != 1 && sectorType != 4 && sectorType != 5) {
		r.sense = SenseInvalidCdbField(3);
		return r;
	}
	uint8* out = fResponse.data();
	std::memset(out, 0, 6);
	out[0] = 5;
	Put32(out + 1, 0);
	return Respond(c, c.cdb[8], 6);
}

CMmcDrive::SResult CMmcDrive::DoPhilipsReadSessionInfo(const SContext& c)
{
	SResult r;
	if (!WritableMedium(&r.sense))
		return r;
	uint8* out = fResponse.data();
	Put16(out, uint32(-150 - fMedium->LeadInStart()));   // lead-in length
	Put16(out + 2, 6750);                                  // lead-out: 90 seconds
	return Respond(c, c.cdb[8], 4);
}

// WRITE SESSION: per track a descriptor of at least 20 bytes (length,
// flags, ISRC, start, index points, end) with ascending addresses.
CMmcDrive::SResult CMmcDrive::DoPhilipsWriteSession(const SContext& c)
{
	SResult r;
	size_t length = Get16(c.cdb + 7);
	if (length > c.dataLength) {
		r.sense = kSenseParameterListLength;
		return r;
	}
	r.transferred = length;
	if (!WritableMedium(&r.sense))
		return r;
	int64 last = -150;
	size_t at = 0;
	while (at < length) {
		size_t size = length - at >= 2 ? Get16(c.data + at) : 0;
		if (size < 20 || size % 4 != 0 || at + size > length) {
			r.sense = SenseInvalidParameterField(uint16(at));
			return r;
		}
		for (size_t field = 12; field < size; field += 4) {
			int64 lba = int32(Get32(c.data + at + field));
			if (lba < last || lba > fMedium->LastPossibleLeadOut()) {
				r.sense = SenseInvalidParameterField(uint16(at + field));
				return r;
			}
			last = lba;
		}
		at += size;
	}
	if (length == 0)
		r.sense = kSenseParameterListLength;
	return r;
}

// WRITE TOC: the disc-at-once cue sheet with BCD track, index and times: a
// lead-in entry first, a lead-out entry (AAh) last.
CMmcDrive::SResult CMmcDrive::DoYamahaWriteToc(const SContext& c)
{
	SResult r;
	size_t length = Get16(c.cdb + 7);
	if (length > c.dataLength) {
		r.sense = kSenseParameterListLength;
		return r;
	}
	r.transferred = length;
	if (!WritableMedium(&r.sense))
		return r;
	if (length < 24 || length % 8 != 0) {
		r.sense = kSenseParameterListLength;
		return r;
	}
	for (size_t at = 0; at < length; at += 8) {
		const uint8* e = c.data + at;
		bool first = at == 0;
		bool last = at + 8 == length;
		bool trackValid = first ? e[1] == 0 : last ? e[1] == 0xAA : IsBcd(e[1], 99) && e[1] != 0;
		if ((e[0] & 0x0F) != 1 || !trackValid || !IsBcd(e[2], 99) || !IsBcd(e[5], 99) || !IsBcd(e[6], 59)
			|| !IsBcd(e[7], 74)) {
			r.sense = SenseInvalidParameterField(uint16(at));
			return r;
		}
	}
	return r;
}

CMmcDrive::SResult CMmcDrive::DoYamahaWriteTrack(const SContext& c)
{
	SResult r;
	WritableMedium(&r.sense);
	return r;
}

CMmcDrive::SResult CMmcDrive::ReadSectors(const SContext& c, int32 lba, int64 count, bool userData, size_t c2Bytes,
	int subChannel)
{
	SResult r;
	const CDiscImage& disc = *fMedium;
	if (disc.IsBlank() || lba < 0 || count < 0 || lba + count > disc.LeadOut()) {
		r.sense = kSenseLbaOutOfRange;
		return r;
	}
	size_t perSector = (userData ? kAudioSectorSize : 0) + c2Bytes + size_t(subChannel);
	if (count == 0 || perSector == 0)
		return r;
	fPlayback.Stop(fClock->Now());

	// Whole sectors that fit into the caller's buffer.
	int32 n = int32(std::min<int64>(count, int64(c.dataLength / perSector)));
	int32 bad = -1;
	if (fFaults.TakeMediumError(lba, n, &bad))
		n = bad - lba;
	if (userData && n > 0 && disc.ReadSectors(lba, n, c.data, perSector) != B_OK) {
		r.sense = kSenseUnrecoveredReadError;
		return r;
	}
	for (int32 i = 0; i < n; i++) {
		uint8* extra = c.data + size_t(i) * perSector + (userData ? kAudioSectorSize : 0);
		if (c2Bytes > 0) {
			std::memset(extra, 0, c2Bytes);
			extra += c2Bytes;
		}
		if (subChannel == 0)
			continue;
		uint8 q[12];
		disc.QSubChannel(lba + i, q);
		if (subChannel == 16) {
			std::memcpy(extra, q, 12);
			std::memset(extra + 12, 0, 4);
		} else {
			// Raw P-W: one bit of each sub-channel per byte, P in bit 7, Q in bit 6.
			const CDiscImage::STrack* track = disc.TrackAt(lba + i);
			bool pause = track != nullptr && lba + i < track->start;
			for (int j = 0; j < 96; j++) {
				uint8 qBit = (q[j / 8] >> (7 - j % 8)) & 0x01;
				extra[j] = uint8((pause ? 0x80 : 0x00) | (qBit << 6));
			}
		}
	}
	r.transferred = size_t(n) * perSector;
	if (bad >= 0) {
		r.sense = kSenseUnrecoveredReadError;
		r.sense.infoValid = true;
		r.sense.info = uint32(bad);
	}
	RealTimeDelay(n);
	return r;
}

void CMmcDrive::RealTimeDelay(int64 sectors)
{
	if (!fConfig.realTime || sectors <= 0)
		return;
	uint32 speed = std::max<uint32>(fModePages.CurrentReadSpeed(), CDriveConfig::kKbPerSpeedFactor);
	// One speed factor reads 75 sectors a second.
	int64 micros = sectors * 1000000 * CDriveConfig::kKbPerSpeedFactor / (75 * int64(speed));
	std::this_thread::sleep_for(std::chrono::microseconds(micros));
}
