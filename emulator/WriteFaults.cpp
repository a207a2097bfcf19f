#include "emulator/WriteFaults.h"

#include "emulator/RecorderState.h"

#include <algorithm>

bool CWriteFaults::Use(int32* attempts)
{
	if (*attempts == 0)
		return false;
	if (*attempts > 0)
		(*attempts)--;
	return true;
}

bool CWriteFaults::TakeWriteError(int32 lba, int32 count, int32* bad)
{
	SWriteError* first = nullptr;
	for (SWriteError& error : fWriteErrors) {
		if (error.attempts != 0 && error.lba >= lba && int64(error.lba) < int64(lba) + count
			&& (first == nullptr || error.lba < first->lba))
			first = &error;
	}
	if (first == nullptr)
		return false;
	Use(&first->attempts);
	*bad = first->lba;
	return true;
}

bool CWriteFaults::TakeUnderrun(int32 lba, int32 count)
{
	if (!fUnderrunArmed || int64(lba) + count <= fUnderrunAt)
		return false;
	fUnderrunArmed = false;
	return true;
}

bool CWriteFaults::TakeOpcFault(mmc::SSense* sense)
{
	if (Use(&fPcaFull)) {
		*sense = mmc::kSensePcaFull;
		return true;
	}
	if (Use(&fOpcFailure)) {
		*sense = mmc::kSenseOpcFailed;
		return true;
	}
	return false;
}

int32 CWriteFaults::DiscLimit(int32 lastPossibleLeadOut) const
{
	return fDiscSectors < 0 ? lastPossibleLeadOut : std::min(lastPossibleLeadOut, fDiscSectors);
}
