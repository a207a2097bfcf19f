// CMessageSink: a message target that keeps what it receives, for tests and
// for code that wants to collect messages without a looper. Messages are kept
// in arrival order with the handler token they were sent to and the time they
// arrived (system_time). Any thread may call any member.
//
// Create it with std::make_shared; Messenger() gives a messenger to it.
// A message sent synchronously to a sink keeps its sender waiting until the
// message is answered (take it with WaitForMessage and call SendReply) or
// deleted (Clear, or the sink's destruction): the sender then gets B_NO_REPLY.
#pragma once

#include "kit/app/MessageTarget.h"
#include "kit/app/Messenger.h"
#include "kit/support/SupportDefs.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

class BMessage;

class CMessageSink : public BMessageTarget, public std::enable_shared_from_this<CMessageSink> {
public:
	// capacity: how many messages it keeps before senders must wait
	// (B_WOULD_BLOCK / B_TIMED_OUT); -1: no limit.
	explicit CMessageSink(int32 capacity = -1);
	~CMessageSink() override;

	status_t Enqueue(BMessage* message, int32 handlerToken, bigtime_t timeout) override;
	bool IsOpen() const override;

	// A messenger to the sink, naming `handlerToken` (-1: none in particular).
	BMessenger Messenger(int32 handlerToken = -1);
	// Refuses further messages with B_BAD_PORT_ID; keeps the stored ones.
	void Close();
	void SetCapacity(int32 capacity);

	// Waits up to `timeout` for a message with code `what`, removes the
	// oldest such message and returns it; null on time-out.
	std::unique_ptr<BMessage> WaitForMessage(uint32 what, bigtime_t timeout);
	// The same for any code.
	std::unique_ptr<BMessage> WaitForAnyMessage(bigtime_t timeout);
	// Waits up to `timeout` until at least `count` messages with code `what`
	// are stored; true when they are. Nothing is removed.
	bool WaitForCount(uint32 what, int32 count, bigtime_t timeout);
	// Waits up to `timeout` until a sender waits for room; true when one does.
	bool WaitForWaitingSender(bigtime_t timeout);

	int32 CountMessages() const;
	int32 CountMessages(uint32 what) const;
	// The codes of the stored messages, oldest first.
	std::vector<uint32> Whats() const;
	// Copies of the stored message at `index` (false past the end), with the
	// token it was sent to and its arrival time when asked for.
	bool MessageAt(int32 index, BMessage* copy, int32* handlerToken = nullptr, bigtime_t* when = nullptr) const;
	// A copy of the newest stored message with code `what`; false when none.
	bool LastMessage(uint32 what, BMessage* copy) const;
	// Deletes every stored message.
	void Clear();

private:
	struct Entry {
		std::unique_ptr<BMessage> message;
		int32 token;
		bigtime_t when;
	};

	mutable std::mutex fMutex;
	std::condition_variable fArrived;
	std::condition_variable fRoom;
	std::condition_variable fSenderWaits;
	int32 fWaitingSenders = 0;
	std::deque<Entry> fEntries;
	int32 fCapacity;
	bool fOpen = true;
};
