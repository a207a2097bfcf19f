// Posting in order to targets whose queues may be full: the one rule that
// every sender of the program follows (the node monitor's reader, the
// project roster's notices, message runners, the views' engines).
//
// The rule: a message goes to its target with SendMessage. While the
// target's queue is full the send is tried again, one slice
// (kOrderedPostSlice) at a time, for at most `patience` in all. It is given
// up at once when the target is gone (any failure other than a full queue),
// and between two slices when the sender's `keepTrying` answers false (the
// sender stops, or no longer wants the target). A sender that gives one
// message up goes on with the next: order is kept because a message is
// handed over only after the one before it was delivered or given up.
#pragma once

#include "kit/app/Messenger.h"
#include "kit/support/SupportDefs.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class BMessage;

// One attempt's wait for room: how soon a sender sees that it should stop.
constexpr bigtime_t kOrderedPostSlice = 50000;
// How long a message waits for room in all before it is given up: a target
// that takes nothing for that long (a hung window) does not hold its sender
// for ever.
constexpr bigtime_t kOrderedPostPatience = 30000000;

// Sends `message` to `target` by the rule above. `keepTrying` (null: always)
// is called between slices, on the calling thread, with no lock of ours
// held. Returns B_OK; B_TIMED_OUT when the queue stayed full (patience used
// up or keepTrying said no); or the failure that ended it (B_BAD_PORT_ID:
// the target is gone for good). Any thread.
status_t PostInOrder(const BMessenger& target, BMessage* message, const std::function<bool()>& keepTrying = nullptr,
	bigtime_t patience = kOrderedPostPatience);

// A thread of its own that posts copies of messages by the rule, in the
// order Post was called, so that the caller never waits for a target (and
// may post while holding its locks). Any thread may call any member.
class COrderedPoster {
public:
	// `name` names the thread; `patience` is the rule's bound per message.
	explicit COrderedPoster(const char* name, bigtime_t patience = kOrderedPostPatience);
	// Stop().
	~COrderedPoster();
	COrderedPoster(const COrderedPoster&) = delete;
	COrderedPoster& operator=(const COrderedPoster&) = delete;

	// Starts the thread (again after Stop). True when it runs.
	bool Start();
	// Queues a copy of `message` for `target`. False (nothing queued) unless
	// started.
	bool Post(const BMessenger& target, const BMessage& message);
	// Delivers what is queued, giving up at once on a target whose queue is
	// full, and ends the thread. Not from the poster's own thread.
	void Stop();
	// For tests: messages queued and not yet handed over.
	int32 CountQueued() const;

private:
	struct Outgoing {
		BMessenger target;
		std::unique_ptr<BMessage> message;
	};

	void _Run();

	std::string fName;
	bigtime_t fPatience;
	mutable std::mutex fLock;
	std::condition_variable fChanged;
	std::deque<Outgoing> fQueue;
	bool fRunning = false;
	bool fStopping = false;
	std::thread fThread;
};
