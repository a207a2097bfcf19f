#include "emulator/AudioPlayback.h"

#include "emulator/MmcDefs.h"

void CAudioPlayback::Update(bigtime_t now)
{
	if (fState != kPlaying)
		return;
	bigtime_t elapsed = now > fStartTime ? now - fStartTime : 0;
	int64 position = int64(fStart) + elapsed * kCdFramesPerSecond / 1000000;
	if (position >= fEnd) {
		fState = kCompleted;
		fPosition = fEnd > fStart ? fEnd - 1 : fStart;
	} else {
		fPosition = int32(position);
	}
}

void CAudioPlayback::Play(int32 start, int32 end, bigtime_t now)
{
	fStart = start;
	fEnd = end;
	fPosition = start;
	fStartTime = now;
	fState = end > start ? kPlaying : kIdle;
}

bool CAudioPlayback::Pause(bigtime_t now)
{
	Update(now);
	if (fState == kPaused)
		return true;
	if (fState != kPlaying)
		return false;
	fState = kPaused;
	return true;
}

bool CAudioPlayback::Resume(bigtime_t now)
{
	Update(now);
	if (fState == kPlaying)
		return true;
	if (fState != kPaused)
		return false;
	fStart = fPosition;
	fStartTime = now;
	fState = kPlaying;
	return true;
}

void CAudioPlayback::Stop(bigtime_t now)
{
	Update(now);
	fState = kIdle;
}

CAudioPlayback::state CAudioPlayback::State(bigtime_t now)
{
	Update(now);
	return fState;
}

int32 CAudioPlayback::Position(bigtime_t now)
{
	Update(now);
	return fPosition;
}

bool CAudioPlayback::IsActive(bigtime_t now)
{
	Update(now);
	return fState == kPlaying || fState == kPaused;
}

uint8 CAudioPlayback::ReportStatus(bigtime_t now)
{
	Update(now);
	switch (fState) {
		case kPlaying:
			return mmc::kAudioStatusPlaying;
		case kPaused:
			return mmc::kAudioStatusPaused;
		case kCompleted:
			fState = kIdle;
			return mmc::kAudioStatusCompleted;
		case kIdle:
		default:
			return mmc::kAudioStatusNone;
	}
}
