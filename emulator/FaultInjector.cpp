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
	fJitterBound = 0;
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

void CFaultInjector::SetJitter(int32 boundFrames, int32 percent, uint32 seed)
{
	fJitterBound = boundFrames < 0 ? 0 : boundFrames;
	fJitterPercent = percent < 0 ? 0 : (percent > 100 ? 100 : percent);
	fJitterState = uint64(seed) * 0x9E3779B97F4A7C15ull + 1;
}

int32 CFaultInjector::TakeReadShift()
{
	if (fJitterBound == 0 || fJitterPercent == 0)
		return fReadOffset;
	// xorshift64*: small, fast and the same on every machine.
	auto next = [this] {
		fJitterState ^= fJitterState >> 12;
		fJitterState ^= fJitterState << 25;
		fJitterState ^= fJitterState >> 27;
		return uint32((fJitterState * 0x2545F4914F6CDD1Dull) >> 32);
	};
	if (int32(next() % 100) >= fJitterPercent)
		return fReadOffset;
	int32 jitter = int32(next() % uint32(2 * fJitterBound)) - fJitterBound;
	if (jitter >= 0)
		jitter++;   // never 0: a struck read is always off
	return fReadOffset + jitter;
}
