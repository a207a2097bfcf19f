// For threaded tests: wait until another thread is asleep in the kernel
// (blocked on a lock, a condition or a semaphore), so that a test reaches
// the waiting path it means to test instead of guessing with a sleep.
#pragma once

#include "kit/kernel/OS.h"

#include <fstream>
#include <string>
#include <sys/types.h>
#include <unistd.h>

namespace test_threads {

// The calling thread's Linux thread id.
inline pid_t CurrentTid()
{
	return gettid();
}

// True when thread `tid` of this process is asleep (state S or D).
inline bool IsAsleep(pid_t tid)
{
	std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/stat");
	std::string line;
	if (!std::getline(in, line))
		return false;
	// The state follows the command name, which is in parentheses.
	size_t close = line.rfind(')');
	if (close == std::string::npos || close + 2 >= line.size())
		return false;
	const char state = line[close + 2];
	return state == 'S' || state == 'D';
}

// Waits up to `timeout` until thread `tid` has been seen asleep `times`
// looks in a row (a thread asleep for a moment on its way, say on an
// allocator's lock, is awake again at the next look). True when it was.
inline bool WaitUntilAsleep(pid_t tid, bigtime_t timeout = 10000000, int times = 5)
{
	const bigtime_t end = system_time() + timeout;
	int seen = 0;
	while (system_time() < end) {
		seen = IsAsleep(tid) ? seen + 1 : 0;
		if (seen >= times)
			return true;
		snooze(1000);
	}
	return false;
}

}   // namespace test_threads
