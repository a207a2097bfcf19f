// The time base of a virtual drive: audio play advances with it, and a timed
// drive waits on it for the time its commands take. The drive asks the clock
// for the time on every command; tests inject a manual clock and move it
// forward to watch the play position advance.
#pragma once

#include "kit/support/SupportDefs.h"

#include <atomic>
#include <chrono>
#include <thread>

class CDriveClock {
public:
	virtual ~CDriveClock() = default;
	// Microseconds on a monotonic scale. Any thread may call.
	virtual bigtime_t Now() const = 0;
	// Returns once Now() has reached `when` (at once when it has). The drive
	// calls it without holding any lock. Any thread may call.
	virtual void WaitUntil(bigtime_t when) = 0;
};

// The machine's monotonic clock.
class CSystemDriveClock : public CDriveClock {
public:
	bigtime_t Now() const override
	{
		return std::chrono::duration_cast<std::chrono::microseconds>(
			std::chrono::steady_clock::now().time_since_epoch()).count();
	}
	void WaitUntil(bigtime_t when) override
	{
		std::this_thread::sleep_until(std::chrono::steady_clock::time_point(std::chrono::microseconds(when)));
	}
};

// A clock that moves only when told to, or when a drive waits on it: a wait
// moves it forward to the time waited for, at once. Tests see every answer in
// its order and the time the drive took, without waiting. Any thread may
// call.
class CManualDriveClock : public CDriveClock {
public:
	explicit CManualDriveClock(bigtime_t start = 1000000) : fNow(start) {}

	bigtime_t Now() const override { return fNow.load(); }
	void WaitUntil(bigtime_t when) override
	{
		bigtime_t now = fNow.load();
		while (now < when && !fNow.compare_exchange_weak(now, when)) {
		}
	}
	void Advance(bigtime_t microseconds) { fNow.fetch_add(microseconds); }
	void Set(bigtime_t now) { fNow.store(now); }

private:
	std::atomic<bigtime_t> fNow;
};
