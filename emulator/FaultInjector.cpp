#include "emulator/FaultInjector.h"

bool CFaultInjector::Use(int32* attempts)
{
	if (*attempts == 0)
		return false;
	if (*attempts > 0)
		(*attempts)--;
	return true;
}

void CFaultInjector::Clear()
{
	fNotReady = 0;
	fMediumErrors.clear();
	fCommandFaults.clear();
}

bool CFaultInjector::TakeNotReady()
{
	return Use(&fNotReady);
}

bool CFaultInjector::TakeCommandFault(uint8 opcode, mmc::SSense* sense)
{
	for (SCommandFault& fault : fCommandFaults) {
		if (fault.opcode == opcode && Use(&fault.attempts)) {
			*sense = fault.sense;
			return true;
		}
	}
	return false;
}

bool CFaultInjector::TakeMediumError(int32 lba, int32 count, int32* bad)
{
	SMediumError* first = nullptr;
	for (SMediumError& error : fMediumErrors) {
		if (error.attempts != 0 && error.lba >= lba && int64(error.lba) < int64(lba) + count &&
			(first == nullptr || error.lba < first->lba))
			first = &error;
	}
	if (first == nullptr)
		return false;
	Use(&first->attempts);
	*bad = first->lba;
	return true;
}
