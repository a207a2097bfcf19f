// BMessageRunner: sends a copy of a message to a target after each interval,
// `count` times (-1: until destroyed). Destroying it stops further sends.
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

	status_t InitCheck() const;   // B_BAD_VALUE for a non-positive interval or null message
	status_t SetInterval(bigtime_t interval);
	status_t SetCount(int32 count);
	status_t GetInfo(bigtime_t* interval, int32* count) const;

	// Sends `message` to `target` once after `delay`, without keeping a runner.
	static status_t StartSending(BMessenger target, const BMessage* message, bigtime_t delay, int32 count);

private:
	struct State;
	std::shared_ptr<State> fState;
};
