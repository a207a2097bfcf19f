// The audio play state of a virtual drive: playing from a start LBA towards
// an end LBA at one sector per 1/75 s of the drive's clock, paused, stopped,
// or completed. Not thread-safe: the drive calls it under its own lock.
#pragma once

#include "kit/support/SupportDefs.h"

class CAudioPlayback {
public:
	enum state {
		kIdle,        // nothing played, or stopped
		kPlaying,
		kPaused,
		kCompleted,   // reached the end; reported once as 13h, then idle
	};

	// Starts playing [start, end) at time `now`.
	void Play(int32 start, int32 end, bigtime_t now);
	// Returns false when nothing is playing or paused.
	bool Pause(bigtime_t now);
	// Returns false when nothing is paused or playing (a play in progress is
	// not an error).
	bool Resume(bigtime_t now);
	void Stop(bigtime_t now);

	state State(bigtime_t now);
	// The sector under the pick-up: advances while playing.
	int32 Position(bigtime_t now);
	bool IsActive(bigtime_t now);   // playing or paused
	// The READ SUB-CHANNEL audio status; a completed play is reported once.
	uint8 ReportStatus(bigtime_t now);

private:
	void Update(bigtime_t now);

	state fState = kIdle;
	int32 fStart = 0;         // position at fStartTime
	int32 fEnd = 0;
	int32 fPosition = 0;
	bigtime_t fStartTime = 0;
};
