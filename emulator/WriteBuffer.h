// The buffer of a virtual recorder, on the drive's clock: what the host sends
// fills it, the laser drains it at the write speed (75 sectors a second per
// speed factor) once the lead-in is written. The model is pure: every call
// takes the time it is asked at, and answers the time a command completes;
// the drive waits for that time on its clock (an instant clock does not).
//
// A run: StartRun (lead-in begins), Accept for every write, Drain when the
// host has sent the end of a track or session, Stop when the run is over.
// The buffer running empty before Drain is an underrun: with BUFE the
// recorder pauses and links on when data arrives (counted), without it the
// run fails. Not thread-safe: the drive calls it under its own lock.
#pragma once

#include "kit/support/SupportDefs.h"

#include <cstddef>

class CWriteBuffer {
public:
	static constexpr size_t kDefaultBytes = 2 * 1024 * 1024;

	struct SAccept {
		// The recorder is writing the lead-in and the buffer cannot take the
		// sectors: answer LONG WRITE IN PROGRESS, nothing was taken.
		bool longWrite = false;
		// When the command may complete (>= now): the sectors fit then.
		bigtime_t doneAt = 0;
	};

	// `bytes` of buffer (at least one sector is kept), draining at
	// `sectorsPerSecond` (at least 1). Ends any run.
	void Configure(size_t bytes, uint32 sectorsPerSecond);
	void SetSpeed(uint32 sectorsPerSecond);

	// A run starts at `now` with `leadInSectors` of lead-in before the
	// program area (0 for track at once).
	void StartRun(bigtime_t now, int32 leadInSectors, bool bufferUnderrunFree);
	// Brings the model to `now`. True when the run has failed by an
	// underrun without BUFE (now or before).
	bool Update(bigtime_t now);
	// `sectors` arrive at `now` (after Update).
	SAccept Accept(bigtime_t now, int32 sectors);
	// The host has sent everything up to the end of the track or session:
	// returns when the buffer will be empty. No underrun afterwards.
	bigtime_t Drain(bigtime_t now);
	// The time `sectors` take at the write speed (lead-in, lead-out).
	bigtime_t Duration(int64 sectors) const;
	// Forces the buffer empty at `now`, as an underrun of the host would.
	void ForceUnderrun(bigtime_t now);
	// The run is over; the buffer is empty.
	void Stop();

	bool Failed() const { return fPhase == kFailed; }
	bool Running() const { return fPhase != kIdle; }
	bool InLeadIn(bigtime_t now) const { return fPhase == kLeadIn && now < fLeadInEnd; }
	int32 Underruns() const { return fUnderruns; }
	// When the lead-in of the run is (or was) written.
	bigtime_t LeadInEnd() const { return fLeadInEnd; }
	size_t CapacityBytes() const { return size_t(fCapacity) * kSectorBytes; }
	int32 CapacitySectors() const { return fCapacity; }
	// Sectors held at `now` (after Update), 0..CapacitySectors().
	int32 FillSectors(bigtime_t now) const;
	size_t FillBytes(bigtime_t now) const { return size_t(FillSectors(now)) * kSectorBytes; }

private:
	enum phase { kIdle, kLeadIn, kWriting, kPaused, kDraining, kFailed };
	static constexpr size_t kSectorBytes = 2352;

	int64 Burned(bigtime_t now) const;
	// The buffer is empty in the middle of a run: BUFE pauses, else the run fails.
	void RanEmpty();
	bigtime_t EmptyAt() const;

	phase fPhase = kIdle;
	int32 fCapacity = int32(kDefaultBytes / kSectorBytes);
	uint32 fRate = 75;
	bool fBufferUnderrunFree = false;
	bigtime_t fLeadInEnd = 0;
	bigtime_t fDrainStart = 0;   // when the laser started on fBurnedBase
	int64 fReceived = 0;         // sectors taken in this run
	int64 fBurnedBase = 0;       // sectors burned before fDrainStart
	int32 fUnderruns = 0;
};
