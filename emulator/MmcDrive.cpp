#include "emulator/MmcDrive.h"

#include "emulator/ShiftedAudio.h"
#include "kit/device/ScsiCommands.h"

#include <algorithm>
#include <cstring>

using namespace mmc;

namespace {

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

template<size_t N>
constexpr size_t Count(const auto (&)[N])
{
	return N;
}

}   // namespace

// The SCSI-2 commands of a CD-ROM drive, which every dialect answers.
CMmcDrive::SCommandList CMmcDrive::CommonCommands()
{
	static const SCommand kCommands[] = {
		{kTestUnitReady, 6, kNoData, true, false, &CMmcDrive::DoTestUnitReady},
		{kRequestSense, 6, kDataIn, false, true, &CMmcDrive::DoRequestSense},
		{kInquiry, 6, kDataIn, false, true, &CMmcDrive::DoInquiry},
		{kStartStopUnit, 6, kNoData, false, false, &CMmcDrive::DoStartStopUnit},
		{kPreventAllowMediumRemoval, 6, kNoData, false, false, &CMmcDrive::DoPreventAllow},
		{kReadCapacity, 10, kDataIn, true, false, &CMmcDrive::DoReadCapacity},
		{kRead10, 10, kDataIn, true, false, &CMmcDrive::DoRead10},
		{kReadSubChannel, 10, kDataIn, true, false, &CMmcDrive::DoReadSubChannel},
		{kReadTocPmaAtip, 10, kDataIn, true, false, &CMmcDrive::DoRecorderReadToc},
		{kPlayAudio10, 10, kNoData, true, false, &CMmcDrive::DoPlayAudio},
		{kPlayAudioMsf, 10, kNoData, true, false, &CMmcDrive::DoPlayAudio},
		{kPlayAudioTrackIndex, 10, kNoData, true, false, &CMmcDrive::DoPlayAudio},
		{kPauseResume, 10, kNoData, true, false, &CMmcDrive::DoPauseResume},
		{kStopPlayScan, 10, kNoData, true, false, &CMmcDrive::DoStop},
		{kSynchronizeCache, 10, kNoData, true, false, &CMmcDrive::DoSynchronizeCache},
		{kModeSelect10, 10, kDataOut, false, false, &CMmcDrive::DoModeSelect},
		{kModeSense10, 10, kDataIn, false, false, &CMmcDrive::DoModeSense},
		{kPlayAudio12, 12, kNoData, true, false, &CMmcDrive::DoPlayAudio},
	};
	return {kCommands, Count(kCommands)};
}

// The commands each dialect adds to the common ones (see MmcDrive.h).
CMmcDrive::SCommandList CMmcDrive::DialectCommands(CDriveConfig::dialect_type dialect)
{
	static const SCommand kMmcCommands[] = {
		{kReadDiscInformation, 10, kDataIn, true, false, &CMmcDrive::DoRecorderDiscInformation},
		{kSendOpcInformation, 10, kDataOut, true, false, &CMmcDrive::DoSendOpcInformation},
		{kReadTrackInformation, 10, kDataIn, true, false, &CMmcDrive::DoRecorderTrackInformation},
		{cdb::kWrite10, 10, kDataOut, true, false, &CMmcDrive::DoWrite},
		{cdb::kWrite12, 12, kDataOut, true, false, &CMmcDrive::DoWrite},
		{cdb::kSendCueSheet, 10, kDataOut, true, false, &CMmcDrive::DoSendCueSheet},
		{cdb::kCloseTrackSession, 10, kNoData, true, false, &CMmcDrive::DoCloseTrackSession},
		{cdb::kBlank, 12, kNoData, true, false, &CMmcDrive::DoBlank},
		{kReadBufferCapacity, 10, kDataIn, false, false, &CMmcDrive::DoReadBufferCapacity},
		{kReadCdMsf, 12, kDataIn, true, false, &CMmcDrive::DoReadCd},
		{kSetCdSpeed, 12, kNoData, false, false, &CMmcDrive::DoSetCdSpeed},
		{kGetConfiguration, 10, kDataIn, false, true, &CMmcDrive::DoGetConfiguration},
		{kGetEventStatusNotification, 10, kDataIn, false, true, &CMmcDrive::DoGetEventStatusNotification},
		{kReadCd, 12, kDataIn, true, false, &CMmcDrive::DoReadCd},
		{kReadCdDa, 12, kDataIn, true, false, &CMmcDrive::DoReadCdDa},
	};
	static const SCommand kTeacCommands[] = {
		{kModeSelect6, 6, kDataOut, false, false, &CMmcDrive::DoModeSelect6},
		{kModeSense6, 6, kDataIn, false, false, &CMmcDrive::DoModeSense6},
		{kReadCdDa, 12, kDataIn, true, false, &CMmcDrive::DoReadCdDa},
		{kTeacSetLimits, 12, kNoData, true, false, &CMmcDrive::DoTeacSetLimits},
		{kTeacSetSubcode, 10, kDataOut, true, false, &CMmcDrive::DoTeacSetSubcode},
		{kTeacClearSubcode, 12, kNoData, true, false, &CMmcDrive::DoTeacClearSubcode},
		{kTeacNextWritableAddress, 12, kDataIn, true, false, &CMmcDrive::DoTeacNextWritableAddress},
		{kTeacOpcExecution, 12, kNoData, true, false, &CMmcDrive::DoTeacOpcExecution},
		{cdb::kWrite10, 10, kDataOut, true, false, &CMmcDrive::DoWrite},
		{cdb::kTeacWritePma, 12, kNoData, true, false, &CMmcDrive::DoTeacWritePma},
		{cdb::kTeacFreeze, 12, kNoData, true, false, &CMmcDrive::DoTeacFreeze},
	};
	static const SCommand kPhilipsCommands[] = {
		{kModeSelect6, 6, kDataOut, false, false, &CMmcDrive::DoModeSelect6},
		{kModeSense6, 6, kDataIn, false, false, &CMmcDrive::DoModeSense6},
		{kPhilipsFirstWritableAddress, 10, kDataIn, true, false, &CMmcDrive::DoPhilipsFirstWritableAddress},
		{kPhilipsWriteTrack, 10, kNoData, true, false, &CMmcDrive::DoYamahaWriteTrack},
		{kPhilipsMediumLoadUnload, 10, kNoData, false, false, &CMmcDrive::DoPhilipsLoadUnload},
		{kPhilipsWriteSession, 10, kDataOut, true, false, &CMmcDrive::DoPhilipsWriteSession},
		{kPhilipsReadSessionInfo, 10, kDataIn, true, false, &CMmcDrive::DoPhilipsReadSessionInfo},
		{cdb::kWrite6, 6, kDataOut, true, false, &CMmcDrive::DoWrite6},
		{cdb::kPhilipsFixation, 10, kNoData, true, false, &CMmcDrive::DoVendorFixation},
	};
	static const SCommand kYamahaCommands[] = {
		{kModeSelect6, 6, kDataOut, false, false, &CMmcDrive::DoModeSelect6},
		{kModeSense6, 6, kDataIn, false, false, &CMmcDrive::DoModeSense6},
		{kReadBufferCapacity, 10, kDataIn, false, false, &CMmcDrive::DoReadBufferCapacity},
		{kReadCdDa, 12, kDataIn, true, false, &CMmcDrive::DoReadCdDa},
		{kPhilipsFirstWritableAddress, 10, kDataIn, true, false, &CMmcDrive::DoPhilipsFirstWritableAddress},
		{kPhilipsWriteTrack, 10, kNoData, true, false, &CMmcDrive::DoYamahaWriteTrack},
		{kYamahaWriteToc, 10, kDataOut, true, false, &CMmcDrive::DoYamahaWriteToc},
		{cdb::kWrite10, 10, kDataOut, true, false, &CMmcDrive::DoWrite},
		{cdb::kPhilipsFixation, 10, kNoData, true, false, &CMmcDrive::DoVendorFixation},
	};
	static const SCommand kPlextorCommands[] = {
		{kModeSelect6, 6, kDataOut, false, false, &CMmcDrive::DoModeSelect6},
		{kModeSense6, 6, kDataIn, false, false, &CMmcDrive::DoModeSense6},
		{kReadCdDa, 12, kDataIn, true, false, &CMmcDrive::DoReadCdDa},
	};
	switch (dialect) {
		case CDriveConfig::kDialectTeac:
			return {kTeacCommands, Count(kTeacCommands)};
		case CDriveConfig::kDialectPhilips:
			return {kPhilipsCommands, Count(kPhilipsCommands)};
		case CDriveConfig::kDialectYamaha:
			return {kYamahaCommands, Count(kYamahaCommands)};
		case CDriveConfig::kDialectPlextor:
			return {kPlextorCommands, Count(kPlextorCommands)};
		case CDriveConfig::kDialectMmc:
		default:
			return {kMmcCommands, Count(kMmcCommands)};
	}
}

void CMmcDrive::BuildCommandTable()
{
	fCommands.fill(nullptr);
	for (SCommandList list : {CommonCommands(), DialectCommands(fConfig.dialect)})
		for (size_t i = 0; i < list.count; i++)
			fCommands[list.commands[i].opcode] = &list.commands[i];
	if (!fConfig.readCdDaCommand)
		fCommands[kReadCdDa] = nullptr;
}

CMmcDrive::CMmcDrive(const CDriveConfig& config, std::shared_ptr<CDiscImage> medium,
	std::shared_ptr<CDriveClock> clock)
	:
	fConfig(config),
	fClock(clock != nullptr ? std::move(clock) : std::make_shared<CSystemDriveClock>()),
	fMedium(std::move(medium)),
	fModePages(config.capabilities, PageSet(config.dialect)),
	fResponse(kResponseCapacity, 0)
{
	BuildCommandTable();
	fFaults.SetNotReady(config.notReady);
	fFaults.SetReadOffset(config.readOffset);
	fFaults.SetJitter(config.jitter, config.jitterPercent);
	for (const auto& error : config.mediumErrors)
		fFaults.AddMediumError(error.lba, error.attempts);
	for (const auto& fault : config.commandFaults)
		fFaults.AddCommandFault(fault.opcode, fault.sense, fault.attempts);
	fWriteClock = config.realTime ? fClock : std::make_shared<CManualDriveClock>();
	fWriteFaults = config.writeFaults;
	MediumChanged();
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
	TrayOpened();
	if (fMedium != nullptr && !fTrayOpen)
		QueueMediaEvent(kMediaRemoval);
	fMedium = std::move(medium);
	fWrittenDisc.reset();   // a disc a person inserts stays in the tray
	MediumChanged();
	fTrayOpen = true;
	CloseTray();
	fPendingSense = SSense();   // the medium change outdates the last command's sense
}

status_t CMmcDrive::EjectMedium()
{
	std::lock_guard<std::mutex> lock(fLock);
	if (fPrevent) {
		QueueMediaEvent(kMediaEjectRequest);   // the host decides
		return B_NOT_ALLOWED;
	}
	fPlayback.Stop(fClock->Now());
	if (fMedium != nullptr && !fTrayOpen)
		QueueMediaEvent(kMediaRemoval);
	fTrayOpen = true;
	TrayOpened();
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

bigtime_t CMmcDrive::Schedule(bigtime_t duration)
{
	if (duration <= 0)
		return 0;
	fBusyUntil = std::max(fBusyUntil, fClock->Now()) + duration;
	return fBusyUntil;
}

bigtime_t CMmcDrive::ReadTime(int64 sectors) const
{
	if (!fConfig.realTime || sectors <= 0)
		return 0;
	// kB/s are thousands of bytes a second; microseconds = bytes * 1000 / kB/s.
	int64 speed = std::max<int64>(fModePages.CurrentReadSpeed(), CDriveConfig::SpeedKbs(1));
	return sectors * int64(kCdAudioSectorSize) * 1000 / speed;
}

status_t CMmcDrive::Execute(raw_device_command* command)
{
	if (command == nullptr)
		return B_BAD_VALUE;
	if (command->command_length < 6 || command->command_length > 16 ||
		(command->data_length > 0 && command->data == nullptr)) {
		command->scsi_status = SCSI_STATUS_GOOD;
		command->cam_status = CAM_REQ_INVALID;
		return B_BAD_VALUE;
	}

	// The time the command takes on the drive's clocks: an instant
	// recorder's work shows there though no real time passes.
	const bigtime_t started = fClock->Now();
	const bigtime_t writeStarted = fWriteClock->Now();
	bigtime_t completion = 0;
	{
		std::lock_guard<std::mutex> lock(fLock);
		uint8 cdb[16] = {};
		std::memcpy(cdb, command->command, command->command_length);
		const uint8 opcode = cdb[0];
		const SCommand* info = fCommands[opcode];
		const bool dataIn = (command->flags & B_RAW_DEVICE_DATA_IN) != 0;
		Record(command, cdb, dataIn);

		if (info != nullptr) {
			bool wrongDirection = command->data_length > 0
				&& ((info->dir == kDataIn && !dataIn) || (info->dir == kDataOut && dataIn));
			if (command->command_length < info->length || wrongDirection) {
				command->scsi_status = SCSI_STATUS_GOOD;
				command->cam_status = CAM_REQ_INVALID;
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
		} else if (info->needsMedium && RecorderBusy(&result.sense)) {
		} else {
			result = (this->*info->handle)(context);
			check = opcode != kRequestSense && (result.sense.key != kSenseKeyNoSense || result.sense.asc != 0);
		}

		size_t senseCopied = 0;
		if (check) {
			fPendingSense = result.sense;
			command->scsi_status = SCSI_STATUS_CHECK_CONDITION;
			command->cam_status = CAM_REQ_CMP_ERR;
			if (command->sense_data != nullptr && command->sense_data_length > 0) {
				uint8 sense[kSenseLength];
				EncodeFixedSense(result.sense, sense);
				senseCopied = std::min(command->sense_data_length, kSenseLength);
				std::memcpy(command->sense_data, sense, senseCopied);
				command->cam_status |= CAM_AUTOSNS_VALID;
			}
		} else {
			if (opcode != kRequestSense)
				fPendingSense = SSense();
			command->scsi_status = SCSI_STATUS_GOOD;
			// The adapter sees a short transfer (the drive sent less than the
			// buffer holds) or an overrun (it had more to send than the buffer
			// took; the buffer is full and the rest is lost) alike.
			bool shortTransfer = info->dir == kDataIn && result.transferred < command->data_length;
			command->cam_status = shortTransfer || result.overrun ? CAM_DATA_RUN_ERR : CAM_REQ_CMP;
		}
		if ((command->flags & B_RAW_DEVICE_REPORT_RESIDUAL) != 0) {
			command->data_length -= std::min(result.transferred, command->data_length);
			command->sense_data_length -= senseCopied;
		}
		completion = Schedule(result.busy);
	}
	if (completion > 0)
		fClock->WaitUntil(completion);
	command->duration = fClock->Now() - started;
	if (fWriteClock != fClock)
		command->duration += fWriteClock->Now() - writeStarted;
	return B_OK;
}

status_t CMmcDrive::ReadAudio(int32 lba, int32 count, void* buffer)
{
	if (buffer == nullptr || count <= 0)
		return B_BAD_VALUE;
	bigtime_t completion = 0;
	{
		std::lock_guard<std::mutex> lock(fLock);
		if (!MediumReady())
			return B_DEV_NO_MEDIA;
		if (fMedium->IsBlank() || lba < 0 || int64(lba) + count > fMedium->LeadOut())
			return B_BAD_VALUE;
		fPlayback.Stop(fClock->Now());
		int32 bad;
		if (fFaults.TakeMediumError(lba, count, &bad))
			return B_DEV_READ_ERROR;
		if (ReadShiftedAudio(*fMedium, lba, count, static_cast<uint8*>(buffer), kCdAudioSectorSize,
				fFaults.TakeReadShift())
			!= B_OK)
			return B_DEV_READ_ERROR;
		completion = Schedule(ReadTime(count));
	}
	if (completion > 0)
		fClock->WaitUntil(completion);
	return B_OK;
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
