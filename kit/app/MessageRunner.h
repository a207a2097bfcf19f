// BMessageRunner: sends a copy of a message to a target after each interval,
// `count` times (-1: until destroyed). Destroying it stops further sends.
//
// Each runner has a thread of its own. The first copy goes out one interval
// after construction. A send waits for room in a full queue by the rule of
// PostInOrder (kit/app/OrderedPoster.h), and gives up when the runner is
// destroyed; the destructor returns only after the thread has ended, so no
// copy is sent after it.
#pragma once

#include "kit/app/Messenger.h"
#include "kit/support/SupportDefs.h"

#include <memory>

class BMessage;

class BMessageRunner {
public:
	BMessageRunner(BMessenger target, const BMessage* message, bigtime_t interval, int32 count = -1);
	BMessageRunner(BMessenger target, const BMessage& message, bigtime_t interval, int32 count = -1);
	~BMessageRunner();
	BMessageRunner(const BMessageRunner&) = delete;
	BMessageRunner& operator=(const BMessageRunner&) = delete;

	// B_BAD_VALUE for a non-positive interval, a null message, or a count
	// that is 0 or below -1; the runner then sends nothing.
	status_t InitCheck() const;
	// The next copy goes out one new interval from now. B_BAD_VALUE for a
	// non-positive interval.
	status_t SetInterval(bigtime_t interval);
	// Sets the number of copies still to send (-1: no limit; 0: stop).
	status_t SetCount(int32 count);
	// The interval and the number of copies still to send (-1: no limit).
	status_t GetInfo(bigtime_t* interval, int32* count) const;

	// Sends `message` to `target` `count` times (at least 1), the first after
	// `delay` and the others `delay` apart, without keeping a runner object:
	// nothing can stop it. B_BAD_VALUE for a null message, a non-positive
	// delay or count.
	static status_t StartSending(BMessenger target, const BMessage* message, bigtime_t delay, int32 count);

private:
	struct State;
	std::shared_ptr<State> fState;
};
