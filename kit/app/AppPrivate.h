// Helpers shared by the application kit's sources. Internal.
#pragma once

#include "kit/kernel/OS.h"
#include "kit/support/SupportDefs.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace app_private {

// Time-outs beyond this are waits without limit (keeps deadline arithmetic
// clear of overflow).
constexpr bigtime_t kUnlimitedTimeout = bigtime_t(100) * 365 * 24 * 3600 * 1000000;

// Waits on `condition` until `ready()` holds or `timeout` (relative
// microseconds) has passed; returns ready(). A time-out of 0 or less only
// tests.
template <class Predicate>
bool WaitUntilReady(std::condition_variable& condition, std::unique_lock<std::mutex>& lock, bigtime_t timeout,
	Predicate ready)
{
	if (timeout >= kUnlimitedTimeout) {
		condition.wait(lock, ready);
		return true;
	}
	if (timeout <= 0)
		return ready();
	auto deadline = std::chrono::steady_clock::now() + std::chrono::microseconds(timeout);
	return condition.wait_until(lock, deadline, ready);
}

}   // namespace app_private
