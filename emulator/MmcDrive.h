// A virtual MMC drive: answers the command blocks of a CD-ROM drive or CD
// recorder from its configured identity, capabilities and speeds, for the
// medium in its tray (none, blank, or an audio disc image), with audio play
// timed by an injectable clock and faults injected on demand.
//
// A drive of a vendor dialect (CDriveConfig::dialect) speaks the command set
// of a pre-MMC family instead: the SCSI-2 CD-ROM commands, MODE SENSE(6)/
// MODE SELECT(6) with a block descriptor whose density code 82h (or 00h)
// and block length 2352 make READ(10) read audio sectors, the family's
// vendor mode pages (ModePages.h) and vendor commands, and none of the MMC
// additions (READ CD, SET CD SPEED, READ DISC/TRACK INFORMATION, GET
// CONFIGURATION, GET EVENT STATUS NOTIFICATION, page 2Ah, CD-Text). The dialects follow the command descriptions in the drivers of
// cdrecord (drv_jvc.c, drv_philips.c) and cdrdao (TeacCdr55, CDD2600Base,
// YamahaCDR10x, PlextorReader):
//   teac     Teac CD-R50/55: READ CD-DA (D8h), OPC EXECUTION (ECh), CLEAR
//            SUBCODE (E4h), SET LIMITS (B3h), SET SUBCODE (C2h), NEXT
//            WRITABLE ADDRESS (E6h, 12 bytes)
//   philips  Philips CDD 2000/2600: big-endian audio samples, MEDIUM
//            LOAD/UNLOAD (E7h), FIRST WRITABLE ADDRESS (E2h), READ SESSION
//            INFO (EEh), WRITE SESSION (EDh)
//   yamaha   Yamaha CDR100/102: READ CD-DA (D8h), WRITE TOC (EAh), WRITE
//            TRACK (E6h, 10 bytes), FIRST WRITABLE ADDRESS (E2h), READ
//            CAPACITY with block length 0 on a writable disc; it also answers
//            READ BUFFER CAPACITY and the ATIP of READ TOC/PMA/ATIP, the MMC
//            stand-ins the command library sends for its undocumented ones
//   plextor  Plextor CD-ROM readers: READ CD-DA (D8h), speed page 31h
// The vendor commands that only prepare recording are checked for their
// format and answered, as are SYNCHRONIZE CACHE (nothing is held back) and
// SEND OPC INFORMATION; the drives write nothing yet.
//
// Every method may be called from any thread; one mutex serialises them, as
// a real drive takes one command at a time. A command that takes time on a
// timed drive (reading at the drive's speed) is answered under the mutex and
// then waits on the drive's clock with the mutex released; the drive's busy
// time is booked command after command, so commands still complete one at a
// time on the drive's clock.
//
// The answers are split by command group: identity, state and mode pages
// (MmcDriveIdentity.cpp), reading (MmcDriveReading.cpp), audio play
// (MmcDrivePlaying.cpp) and recording (MmcDriveRecording.cpp); MmcDrive.cpp
// holds the command table of each dialect and the adapter's part.
#pragma once

#include "emulator/AudioPlayback.h"
#include "emulator/DiscImage.h"
#include "emulator/DriveClock.h"
#include "emulator/DriveConfig.h"
#include "emulator/FaultInjector.h"
#include "emulator/ImageWriter.h"
#include "emulator/ModePages.h"
#include "emulator/RecorderState.h"
#include "emulator/WriteBuffer.h"
#include "emulator/WriteFaults.h"
#include "kit/device/VirtualDevice.h"

#include <array>
#include <memory>
#include <mutex>
#include <vector>

class CMmcDrive : public CVirtualDevice {
public:
	// The drive starts with its tray closed, holding `medium` (null = empty);
	// that first medium raises no unit attention. A null clock means the
	// machine's clock.
	CMmcDrive(const CDriveConfig& config, std::shared_ptr<CDiscImage> medium,
		std::shared_ptr<CDriveClock> clock = nullptr);
	~CMmcDrive() override;

	status_t Execute(raw_device_command* command) override;
	status_t ReadAudio(int32 lba, int32 count, void* buffer) override;
	uint8 PeripheralType() const override;
	bool IsAtapi() const override;

	// What a person does at the drive. InsertMedium closes the tray on a new
	// medium (null = empty tray): the next command gets UNIT ATTENTION.
	// EjectMedium opens the tray unless removal is prevented (B_NOT_ALLOWED).
	void InsertMedium(std::shared_ptr<CDiscImage> medium);
	status_t EjectMedium();
	std::shared_ptr<CDiscImage> Medium() const;

	// Faults, on top of those of the configuration.
	void SetNotReady(int32 commands);
	void AddMediumError(int32 lba, int32 attempts);
	void AddCommandFault(uint8 opcode, const mmc::SSense& sense, int32 attempts);
	void ClearFaults();

	// Faults of the write side, on top of those of the configuration.
	void SetWriteFaults(const CWriteFaults& faults);
	// Underruns that BUFE has bridged in the current or last run.
	int32 BufferUnderruns() const;

	const CDriveConfig& Config() const { return fConfig; }

	// The most recent commands (at most kHistoryLength): the command block
	// and the first bytes of the data sent with it. Tests read what a
	// command sequence looked like on the wire.
	struct SCommandRecord {
		std::vector<uint8> cdb;
		std::vector<uint8> data;
	};
	static constexpr size_t kHistoryLength = 256;
	static constexpr size_t kHistoryDataLength = 4096;
	std::vector<SCommandRecord> History() const;
	void ClearHistory();
	// The current values of a mode page (code byte first); empty when the
	// drive has no such page.
	std::vector<uint8> ModePage(uint8 code) const;

	// Longest answer the drive builds outside the caller's buffer.
	static constexpr size_t kResponseCapacity = 40960;
	// Longest cue sheet the drive takes (GET CONFIGURATION feature 002Eh).
	static constexpr uint32 kCueSheetCapacity = 64 * 1024;

private:
	struct SResult {
		mmc::SSense sense;
		size_t transferred = 0;   // bytes moved to or from the caller's buffer
		bool overrun = false;     // the answer was longer than the caller's buffer
		bigtime_t busy = 0;       // how long the drive works on the command (drive clock)
	};
	struct SContext {
		const uint8* cdb;
		uint8* data;               // the caller's buffer (data-in or data-out)
		size_t dataLength;
	};
	using handler = SResult (CMmcDrive::*)(const SContext&);
	// One command of a dialect: how the adapter checks it and who answers it.
	struct SCommand {
		uint8 opcode;
		uint8 length;              // command block length
		data_direction dir;
		bool needsMedium;
		bool skipsUnitAttention;
		handler handle;
	};
	struct SCommandList {
		const SCommand* commands;
		size_t count;
	};
	// The command tables (MmcDrive.cpp): those every dialect answers, then
	// those of `dialect`, which replace an entry of the same opcode.
	static SCommandList CommonCommands();
	static SCommandList DialectCommands(CDriveConfig::dialect_type dialect);
	void BuildCommandTable();

	bool MediumReady() const;
	mmc::SSense NotReadySense() const;
	SResult Respond(const SContext& context, size_t allocation, size_t length);
	// Takes the drive's busy time for a command of `duration`, after the
	// commands before it; returns the time at which the command completes.
	bigtime_t Schedule(bigtime_t duration);
	// Time to move `sectors` sectors at the current read speed (0 unless the
	// drive is timed).
	bigtime_t ReadTime(int64 sectors) const;

	// Identity, state and pages (MmcDriveIdentity.cpp).
	SResult DoTestUnitReady(const SContext& c);
	SResult DoRequestSense(const SContext& c);
	SResult DoInquiry(const SContext& c);
	SResult DoStartStopUnit(const SContext& c);
	SResult DoPreventAllow(const SContext& c);
	SResult DoModeSelect(const SContext& c);
	SResult DoModeSense(const SContext& c);
	SResult DoModeSense6(const SContext& c);
	SResult DoModeSelect6(const SContext& c);
	SResult DoSetCdSpeed(const SContext& c);
	SResult DoPhilipsLoadUnload(const SContext& c);
	SResult DoGetConfiguration(const SContext& c);
	SResult DoGetEventStatusNotification(const SContext& c);
	mmc::SSense EjectTray();
	void CloseTray();
	// Media event codes of GET EVENT STATUS NOTIFICATION.
	enum media_event : uint8 {
		kMediaNoChange = 0,
		kMediaEjectRequest = 1,
		kMediaNew = 2,
		kMediaRemoval = 3,
	};
	// Keeps `event` for GET EVENT STATUS NOTIFICATION (the oldest is dropped
	// when kMediaEventCapacity are waiting).
	void QueueMediaEvent(media_event event);
	// The profile (MMC feature set) of the medium in the tray, 0 for none.
	uint16 CurrentProfile() const;
	uint16 ClampSpeed(uint32 requested, const std::vector<uint16>& speeds) const;

	// Reading (MmcDriveReading.cpp).
	SResult DoReadCapacity(const SContext& c);
	SResult DoReadSubChannel(const SContext& c);
	SResult DoReadToc(const SContext& c);
	SResult DoReadDiscInformation(const SContext& c);
	SResult DoReadTrackInformation(const SContext& c);
	SResult DoReadCd(const SContext& c);
	SResult DoReadCdDa(const SContext& c);
	SResult DoRead10(const SContext& c);
	// Reads audio sectors with optional C2 and sub-channel parts into the
	// caller's buffer, checking range and faults. An answer longer than the
	// buffer fills it and is flagged as an overrun.
	SResult ReadSectors(const SContext& c, int32 lba, int64 count, bool userData, size_t c2Bytes,
		int subChannel);
	// The 12 bytes of the Q sub-channel of the sector at `lba` as recorded:
	// the position (ADR 1), or in one sector of each hundred the catalogue
	// number (ADR 2) or the track's ISRC (ADR 3) when the disc has them.
	void SectorQ(int32 lba, uint8* q) const;
	// Builds the C2 and sub-channel bytes of the sector at `lba` after its
	// user data at `out`.
	void BuildSectorExtras(int32 lba, uint8* out, size_t c2Bytes, int subChannel) const;
	// Sectors the block descriptor counts: the lead-out of a recorded disc,
	// the last possible lead-out of a blank one.
	uint32 MediumBlocks() const;

	// Playing (MmcDrivePlaying.cpp).
	SResult DoPlayAudio(const SContext& c);
	SResult DoPauseResume(const SContext& c);
	SResult DoStop(const SContext& c);
	SResult StartPlay(int32 start, int32 end);

	// Recording (MmcDriveRecording.cpp).
	SResult DoSynchronizeCache(const SContext& c);
	SResult DoSendOpcInformation(const SContext& c);
	SResult DoReadBufferCapacity(const SContext& c);
	SResult DoTeacSetLimits(const SContext& c);
	SResult DoTeacSetSubcode(const SContext& c);
	SResult DoTeacClearSubcode(const SContext& c);
	SResult DoTeacNextWritableAddress(const SContext& c);
	SResult DoTeacOpcExecution(const SContext& c);
	SResult DoPhilipsFirstWritableAddress(const SContext& c);
	SResult DoPhilipsReadSessionInfo(const SContext& c);
	SResult DoPhilipsWriteSession(const SContext& c);
	SResult DoYamahaWriteToc(const SContext& c);
	SResult DoYamahaWriteTrack(const SContext& c);
	SResult DoWrite(const SContext& c);
	SResult DoSendCueSheet(const SContext& c);
	SResult DoCloseTrackSession(const SContext& c);
	SResult DoBlank(const SContext& c);
	SResult DoRecorderDiscInformation(const SContext& c);
	SResult DoRecorderTrackInformation(const SContext& c);
	SResult DoRecorderReadToc(const SContext& c);
	SResult DoTeacWritePma(const SContext& c);
	SResult DoTeacFreeze(const SContext& c);
	SResult DoVendorFixation(const SContext& c);
	SResult DoWrite6(const SContext& c);
	// A disc-at-once plan from the Teac sub-code ranges and the lead-out.
	bool PlanFromSubcodes(int32 leadOut, SCueSheetPlan* plan) const;
	// A blank recordable medium is in the tray (else the sense to answer).
	bool WritableMedium(mmc::SSense* sense) const;
	// The medium in the tray changed (inserted, loaded, blanked, written):
	// the recording state starts over for it.
	void MediumChanged();
	// The tray opened, or closed (a written disc may come back as a blank).
	void TrayOpened();
	void TrayClosed();
	// While the recorder closes a session or blanks after an immediate
	// command, the commands that need the medium get LONG WRITE IN PROGRESS.
	bool RecorderBusy(mmc::SSense* sense);
	// The write parameters in effect (page 05h, or a dialect's own pages).
	SWriteParameters WriteParameters() const;
	// Stores one write (sectors made by the recorder first) and books its time.
	SResult RecordSectors(const SContext& c, int32 lba, int32 count, bool bigEndian);
	// Drains the buffer, writes `closingSectors` of lead-in/lead-out and
	// closes the session: the written disc becomes the medium.
	SResult FinishSession(int64 closingSectors, bool immediate);
	// Ends the run with `sense` (write error, underrun): the partial image
	// stays, the disc is unusable.
	SResult FailRun(const mmc::SSense& sense, const std::string& why);
	static mmc::SSense WriteErrorAt(int32 lba);
	// The result of a command that takes until `doneAt` on the write clock.
	SResult Until(bigtime_t doneAt, bool immediate);
	bigtime_t WriteNow() const { return fWriteClock->Now(); }
	// Sectors a second at the current write speed.
	uint32 WriteRate() const;
	std::string OutputFolder() const;
	// Takes the parameter list of a vendor recording command (its length in
	// bytes 7-8) for a writable medium: false with r->sense set when the
	// list is longer than the data sent or the medium cannot be written.
	bool TakeWriteParameters(const SContext& c, size_t* length, SResult* r) const;

	bool VendorDialect() const { return fConfig.dialect != CDriveConfig::kDialectMmc; }
	void Record(const raw_device_command* command, const uint8* cdb, bool dataIn);

	mutable std::mutex fLock;
	const CDriveConfig fConfig;
	std::shared_ptr<CDriveClock> fClock;
	std::shared_ptr<CDiscImage> fMedium;   // in the tray
	bool fTrayOpen = false;
	bool fPrevent = false;
	bool fUnitAttention = false;
	mmc::SSense fPendingSense;             // for the next REQUEST SENSE
	CModePages fModePages;
	CAudioPlayback fPlayback;
	CFaultInjector fFaults;
	std::vector<uint8> fResponse;          // kResponseCapacity bytes, made once
	int32 fLimitStart = 0;                 // Teac SET LIMITS range
	int32 fLimitLength = 0;
	std::vector<SCommandRecord> fHistory;  // ring of kHistoryLength records
	size_t fHistoryNext = 0;
	std::array<const SCommand*, 256> fCommands {};   // by opcode; null = not known
	bigtime_t fBusyUntil = 0;              // drive clock time the last command completes
	static constexpr size_t kMediaEventCapacity = 4;
	std::array<media_event, kMediaEventCapacity> fMediaEvents {};   // oldest first
	size_t fMediaEventCount = 0;

	// Recording. An instant drive keeps the buffer on a clock of its own
	// that jumps when the drive would wait.
	std::shared_ptr<CDriveClock> fWriteClock;
	CRecorderState fRecorder;
	CWriteBuffer fWriteBuffer;
	CWriteFaults fWriteFaults;
	CImageWriter fImage;
	bigtime_t fRecorderBusyUntil = 0;      // write clock time an immediate closing ends
	std::shared_ptr<CDiscImage> fWrittenDisc;   // the disc this drive wrote last
	struct SSubcodeRange {                 // Teac SET LIMITS + SET SUBCODE
		int32 start;
		int32 length;
		int track;
		int index;
		uint8 control;
	};
	std::vector<SSubcodeRange> fSubcodes;
	int32 fVendorLeadIn = 0;               // Philips: lead-in sectors the host still writes
	int32 fVendorLeadOut = 0;              // and lead-out sectors after the last track
	uint8 fVendorTrackMode = 0;            // Q control nibble of WRITE TRACK
};
