// A virtual MMC drive: answers the command blocks of a CD-ROM drive or CD
// recorder from its configured identity, capabilities and speeds, for the
// medium in its tray (none, blank, or an audio disc image), with audio play
// timed by an injectable clock and faults injected on demand.
//
// Every method may be called from any thread; one mutex serialises them, as
// a real drive takes one command at a time.
#pragma once

#include "emulator/AudioPlayback.h"
#include "emulator/DiscImage.h"
#include "emulator/DriveClock.h"
#include "emulator/DriveConfig.h"
#include "emulator/FaultInjector.h"
#include "emulator/ModePages.h"
#include "kit/device/VirtualDevice.h"

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

	const CDriveConfig& Config() const { return fConfig; }

	// Longest answer the drive builds outside the caller's buffer.
	static constexpr size_t kResponseCapacity = 40960;

private:
	struct SResult {
		mmc::SSense sense;
		size_t transferred = 0;   // bytes moved to or from the caller's buffer
	};
	struct SContext {
		const uint8* cdb;
		uint8* data;               // the caller's buffer (data-in or data-out)
		size_t dataLength;
	};

	bool MediumReady() const;
	mmc::SSense NotReadySense() const;
	bool NeedsMedium(uint8 opcode) const;
	SResult Respond(const SContext& context, size_t allocation, size_t length);

	SResult DoRequestSense(const SContext& c);
	SResult DoInquiry(const SContext& c);
	SResult DoStartStopUnit(const SContext& c);
	SResult DoPreventAllow(const SContext& c);
	SResult DoReadCapacity(const SContext& c);
	SResult DoReadSubChannel(const SContext& c);
	SResult DoReadToc(const SContext& c);
	SResult DoPlayAudio(const SContext& c);
	SResult DoPauseResume(const SContext& c);
	SResult DoStop(const SContext& c);
	SResult DoReadDiscInformation(const SContext& c);
	SResult DoReadTrackInformation(const SContext& c);
	SResult DoModeSelect(const SContext& c);
	SResult DoModeSense(const SContext& c);
	SResult DoReadBufferCapacity(const SContext& c);
	SResult DoSetCdSpeed(const SContext& c);
	SResult DoReadCd(const SContext& c);
	SResult DoReadCdDa(const SContext& c);

	// Reads audio sectors with optional C2 and sub-channel parts into the
	// caller's buffer, checking range, faults and buffer size.
	SResult ReadSectors(const SContext& c, int32 lba, int64 count, bool userData, size_t c2Bytes,
		int subChannel);
	SResult StartPlay(int32 start, int32 end);
	uint16 ClampSpeed(uint32 requested, const std::vector<uint16>& speeds) const;
	void RealTimeDelay(int64 sectors);

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
};
