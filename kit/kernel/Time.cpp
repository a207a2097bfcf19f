// Time and atomic arithmetic.
#include "kit/kernel/OS.h"

#include <cerrno>
#include <ctime>

namespace {

timespec ToTimespec(bigtime_t microseconds)
{
	timespec time;
	time.tv_sec = static_cast<time_t>(microseconds / 1000000);
	time.tv_nsec = static_cast<long>(microseconds % 1000000) * 1000;
	return time;
}

}   // namespace

bigtime_t system_time()
{
	timespec now;
	clock_gettime(CLOCK_MONOTONIC, &now);
	return bigtime_t(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

status_t snooze(bigtime_t microseconds)
{
	if (microseconds <= 0)
		return B_OK;
	bigtime_t now = system_time();
	if (microseconds > B_INFINITE_TIMEOUT - now)
		return snooze_until(B_INFINITE_TIMEOUT, B_SYSTEM_TIMEBASE);
	return snooze_until(now + microseconds, B_SYSTEM_TIMEBASE);
}

status_t snooze_until(bigtime_t time, int timeBase)
{
	if (timeBase != B_SYSTEM_TIMEBASE)
		return B_BAD_VALUE;
	if (time <= 0)
		return B_OK;
	timespec wakeUp = ToTimespec(time);
	// An absolute wake-up time: a signal only restarts the same wait.
	while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &wakeUp, nullptr) == EINTR) {
	}
	return B_OK;
}

int32 atomic_add(int32* value, int32 addValue)
{
	// Wraps around like the platform's; the builtin does not trap on overflow.
	return __atomic_fetch_add(value, addValue, __ATOMIC_SEQ_CST);
}

int64 atomic_add64(int64* value, int64 addValue)
{
	return __atomic_fetch_add(value, addValue, __ATOMIC_SEQ_CST);
}

int32 atomic_get(int32* value)
{
	return __atomic_load_n(value, __ATOMIC_SEQ_CST);
}

int32 atomic_set(int32* value, int32 newValue)
{
	return __atomic_exchange_n(value, newValue, __ATOMIC_SEQ_CST);
}
