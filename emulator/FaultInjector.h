// Faults a virtual drive plays back on purpose: a drive that is not ready for
// a number of commands, medium errors at given addresses for a number of
// read attempts, and commands (by operation code) that fail with given sense
// data. A count below 0 means "every time". Not thread-safe: the drive calls
// it under its own lock.
#pragma once

#include "emulator/MmcDefs.h"
#include "kit/support/SupportDefs.h"

#include <vector>

class CFaultInjector {
public:
	struct SMediumError {
		int32 lba = 0;
		int32 attempts = 1;
	};
	struct SCommandFault {
		uint8 opcode = 0;
		mmc::SSense sense;
		int32 attempts = 1;
	};

	// The next `commands` commands that need the medium answer NOT READY,
	// LOGICAL UNIT IS IN PROCESS OF BECOMING READY (2/04/01).
	void SetNotReady(int32 commands) { fNotReady = commands; }
	void AddMediumError(int32 lba, int32 attempts) { fMediumErrors.push_back({lba, attempts}); }
	void AddCommandFault(uint8 opcode, const mmc::SSense& sense, int32 attempts)
	{
		fCommandFaults.push_back({opcode, sense, attempts});
	}
	void Clear();

	// The drive's read offset in frames (samples of both channels), kept by
	// Clear: every audio read delivers the disc's samples that many frames
	// late (negative: early). Jitter: each read command lands a further
	// random number of frames within +-bound off, `percent` of the commands
	// (a fixed seed, so a run repeats). Clear ends the jitter.
	void SetReadOffset(int32 frames) { fReadOffset = frames; }
	void SetJitter(int32 boundFrames, int32 percent, uint32 seed = 1);
	// The shift of the next audio read: read offset plus this read's jitter.
	int32 TakeReadShift();

	// Each returns true when the fault strikes now, and uses up one attempt.
	bool TakeNotReady();
	bool TakeCommandFault(uint8 opcode, mmc::SSense* sense);
	// The first failing LBA of [lba, lba + count) in *bad.
	bool TakeMediumError(int32 lba, int32 count, int32* bad);

private:
	static bool Use(int32* attempts);

	int32 fNotReady = 0;
	int32 fReadOffset = 0;
	int32 fJitterBound = 0;
	int32 fJitterPercent = 0;
	uint64 fJitterState = 1;
	std::vector<SMediumError> fMediumErrors;
	std::vector<SCommandFault> fCommandFaults;
};
