#include "emulator/WriteBuffer.h"

#include <algorithm>

void CWriteBuffer::Configure(size_t bytes, uint32 sectorsPerSecond)
{
	fCapacity = int32(std::clamp<size_t>(bytes / kSectorBytes, 1, 0x7FFFFFFF));
	SetSpeed(sectorsPerSecond);
	Stop();
	fUnderruns = 0;
}

void CWriteBuffer::SetSpeed(uint32 sectorsPerSecond)
{
	fRate = std::max<uint32>(1, sectorsPerSecond);
}

bigtime_t CWriteBuffer::Duration(int64 sectors) const
{
	if (sectors <= 0)
		return 0;
	return (sectors * 1000000 + fRate - 1) / fRate;
}

void CWriteBuffer::StartRun(bigtime_t now, int32 leadInSectors, bool bufferUnderrunFree)
{
	fBufferUnderrunFree = bufferUnderrunFree;
	fReceived = 0;
	fBurnedBase = 0;
	fUnderruns = 0;
	fLeadInEnd = now + Duration(leadInSectors);
	fDrainStart = fLeadInEnd;
	fPhase = leadInSectors > 0 ? kLeadIn : kPaused;
}

int64 CWriteBuffer::Burned(bigtime_t now) const
{
	if ((fPhase != kWriting && fPhase != kDraining) || now <= fDrainStart)
		return fBurnedBase;
	int64 burned = fBurnedBase + (now - fDrainStart) * int64(fRate) / 1000000;
	return std::min(burned, fReceived);
}

bigtime_t CWriteBuffer::EmptyAt() const
{
	return fDrainStart + Duration(fReceived - fBurnedBase);
}

bool CWriteBuffer::Update(bigtime_t now)
{
	if (fPhase == kLeadIn && now >= fLeadInEnd)
		fPhase = kWriting;   // fDrainStart is the lead-in's end
	if (fPhase == kWriting && now > EmptyAt())
		RanEmpty();
	if (fPhase == kDraining && now >= EmptyAt()) {
		fBurnedBase = fReceived;
		fPhase = kPaused;
	}
	return fPhase == kFailed;
}

CWriteBuffer::SAccept CWriteBuffer::Accept(bigtime_t now, int32 sectors)
{
	SAccept accept;
	accept.doneAt = now;
	if (fPhase == kFailed || sectors <= 0)
		return accept;
	if (fPhase == kIdle || fPhase == kPaused) {
		fBurnedBase = fReceived;
		fDrainStart = now;
		fPhase = kWriting;
	} else if (fPhase == kDraining) {
		fPhase = kWriting;
	}
	int64 fill = fReceived - Burned(now);
	int64 free = fCapacity - fill;
	int64 need = std::min<int64>(sectors, fCapacity);
	if (fPhase == kLeadIn && free < need) {
		accept.longWrite = true;
		return accept;
	}
	fReceived += sectors;
	if (sectors > free) {
		// The command completes when the last of its sectors fits.
		int64 mustBurn = fReceived - fCapacity - fBurnedBase;
		accept.doneAt = std::max(now, fDrainStart + Duration(mustBurn));
	}
	return accept;
}

bigtime_t CWriteBuffer::Drain(bigtime_t now)
{
	if (fPhase == kFailed || fPhase == kIdle)
		return now;
	if (fPhase == kPaused)
		return now;
	fPhase = kDraining;
	return std::max(now, EmptyAt());
}

void CWriteBuffer::ForceUnderrun(bigtime_t now)
{
	Update(now);
	if (fPhase == kWriting || fPhase == kLeadIn)
		RanEmpty();
}

void CWriteBuffer::RanEmpty()
{
	fBurnedBase = fReceived;
	if (fBufferUnderrunFree) {
		fUnderruns++;
		fPhase = kPaused;
	} else {
		fPhase = kFailed;
	}
}

void CWriteBuffer::Stop()
{
	fPhase = kIdle;
	fReceived = 0;
	fBurnedBase = 0;
}

int32 CWriteBuffer::FillSectors(bigtime_t now) const
{
	if (fPhase == kIdle || fPhase == kFailed)
		return 0;
	int64 fill = fReceived - Burned(now);
	return int32(std::clamp<int64>(fill, 0, fCapacity));
}
