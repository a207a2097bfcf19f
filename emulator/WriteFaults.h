// Faults of the write side a virtual recorder plays back on purpose: a write
// error at an LBA, answers of LONG WRITE IN PROGRESS, a buffer underrun when
// the writing reaches an LBA, a failing power calibration, a full power
// calibration area, and a disc shorter than its ATIP says. A count below 0
// means "every time". Not thread-safe: the drive calls it under its own lock.
#pragma once

#include "emulator/MmcDefs.h"
#include "kit/support/SupportDefs.h"

#include <vector>

class CWriteFaults {
public:
	// Writes that cover `lba` fail with WRITE ERROR (3/0C/00).
	// False when kMaxWriteErrors are set already.
	bool AddWriteError(int32 lba, int32 attempts)
	{
		if (fWriteErrors.size() >= kMaxWriteErrors)
			return false;
		fWriteErrors.push_back({lba, attempts});
		return true;
	}
	static constexpr size_t kMaxWriteErrors = 256;
	// The next `answers` writes answer LONG WRITE IN PROGRESS (2/04/08).
	void SetLongWrite(int32 answers) { fLongWrite = answers; }
	// The buffer runs empty when a write reaches `lba`.
	void ForceUnderrunAt(int32 lba) { fUnderrunAt = lba; fUnderrunArmed = true; }
	// Power calibration fails (3/73/03), or finds its area full (3/73/02).
	void SetOpcFailure(int32 attempts) { fOpcFailure = attempts; }
	void SetPcaFull(int32 attempts) { fPcaFull = attempts; }
	// The disc holds only `sectors` sectors of program area (< 0: as made).
	void SetDiscSectors(int32 sectors) { fDiscSectors = sectors; }
	void Clear() { *this = CWriteFaults(); }

	// Each returns true when the fault strikes now, and uses up one attempt.
	bool TakeWriteError(int32 lba, int32 count, int32* bad);
	bool TakeLongWrite() { return Use(&fLongWrite); }
	bool TakeUnderrun(int32 lba, int32 count);
	bool TakeOpcFault(mmc::SSense* sense);
	// The last possible lead-out of a disc made with `lastPossibleLeadOut`.
	int32 DiscLimit(int32 lastPossibleLeadOut) const;

private:
	struct SWriteError {
		int32 lba;
		int32 attempts;
	};
	static bool Use(int32* attempts);

	std::vector<SWriteError> fWriteErrors;
	int32 fLongWrite = 0;
	int32 fUnderrunAt = 0;
	bool fUnderrunArmed = false;
	int32 fOpcFailure = 0;
	int32 fPcaFull = 0;
	int32 fDiscSectors = -1;
};
