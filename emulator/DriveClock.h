// The time base of a virtual drive: audio play advances with it. The drive
// asks the clock for the time on every command; tests inject a manual clock
// and move it forward to watch the play position advance.
#pragma once

#include "kit/support/SupportDefs.h"

#include <atomic>
#include <chrono>

class CDriveClock {
public:
	virtual ~CDriveClock() = default;
	// Microseconds on a monotonic scale. Any thread may call.
	virtual bigtime_t Now() const = 0;
};

// The machine's monotonic clock.
class CSystemDriveClock : public CDriveClock {
public:
	bigtime_t Now() const override
	{
		return std::chrono::duration_cast<std::chrono::microseconds>(
			std::chrono::steady_clock::now().time_since_epoch()).count();
	}
};

// A clock that moves only when told to. Any thread may call.
class CManualDriveClock : public CDriveClock {
public:
	explicit CManualDriveClock(bigtime_t start = 1000000) : fNow(start) {}

	bigtime_t Now() const override { return fNow.load(); }
	void Advance(bigtime_t microseconds) { fNow.fetch_add(microseconds); }
	void Set(bigtime_t now) { fNow.store(now); }

private:
	std::atomic<bigtime_t> fNow;
};
