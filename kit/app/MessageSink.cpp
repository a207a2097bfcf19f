// CMessageSink: a message target that keeps what it receives.
#include "kit/app/MessageSink.h"

#include "kit/app/AppPrivate.h"
#include "kit/kernel/OS.h"
#include "kit/support/Message.h"

#include <algorithm>

using app_private::WaitUntilReady;

CMessageSink::CMessageSink(int32 capacity)
	: fCapacity(capacity)
{
}

CMessageSink::~CMessageSink() = default;

status_t CMessageSink::Enqueue(BMessage* message, int32 handlerToken, bigtime_t timeout)
{
	if (message == nullptr)
		return B_BAD_VALUE;
	std::unique_lock lock(fMutex);
	auto hasRoom = [this] { return !fOpen || fCapacity < 0 || fEntries.size() < size_t(fCapacity); };
	if (!fOpen)
		return B_BAD_PORT_ID;
	if (!hasRoom()) {
		if (timeout <= 0)
			return B_WOULD_BLOCK;
		fWaitingSenders++;
		fSenderWaits.notify_all();
		const bool ready = WaitUntilReady(fRoom, lock, timeout, hasRoom);
		fWaitingSenders--;
		if (!ready)
			return B_TIMED_OUT;
		if (!fOpen)
			return B_BAD_PORT_ID;
	}
	fEntries.push_back(Entry {std::unique_ptr<BMessage>(message), handlerToken, system_time()});
	fArrived.notify_all();
	return B_OK;
}

bool CMessageSink::IsOpen() const
{
	std::lock_guard lock(fMutex);
	return fOpen;
}

BMessenger CMessageSink::Messenger(int32 handlerToken)
{
	return BMessenger(shared_from_this(), handlerToken);
}

void CMessageSink::Close()
{
	std::lock_guard lock(fMutex);
	fOpen = false;
	fRoom.notify_all();
}

void CMessageSink::SetCapacity(int32 capacity)
{
	std::lock_guard lock(fMutex);
	fCapacity = capacity;
	fRoom.notify_all();
}

std::unique_ptr<BMessage> CMessageSink::WaitForMessage(uint32 what, bigtime_t timeout)
{
	std::unique_ptr<BMessage> message;
	{
		std::unique_lock lock(fMutex);
		auto matches = [what](const Entry& entry) { return entry.message->what == what; };
		auto present = [&] { return std::any_of(fEntries.begin(), fEntries.end(), matches); };
		if (!WaitUntilReady(fArrived, lock, timeout, present))
			return nullptr;
		auto found = std::find_if(fEntries.begin(), fEntries.end(), matches);
		message = std::move(found->message);
		fEntries.erase(found);
		fRoom.notify_all();
	}
	return message;
}

std::unique_ptr<BMessage> CMessageSink::WaitForAnyMessage(bigtime_t timeout)
{
	std::unique_lock lock(fMutex);
	if (!WaitUntilReady(fArrived, lock, timeout, [this] { return !fEntries.empty(); }))
		return nullptr;
	std::unique_ptr<BMessage> message = std::move(fEntries.front().message);
	fEntries.pop_front();
	fRoom.notify_all();
	return message;
}

bool CMessageSink::WaitForCount(uint32 what, int32 count, bigtime_t timeout)
{
	std::unique_lock lock(fMutex);
	return WaitUntilReady(fArrived, lock, timeout, [&] {
		return std::count_if(fEntries.begin(), fEntries.end(),
				   [what](const Entry& entry) { return entry.message->what == what; })
			>= count;
	});
}

int32 CMessageSink::CountMessages() const
{
	std::lock_guard lock(fMutex);
	return int32(fEntries.size());
}

int32 CMessageSink::CountMessages(uint32 what) const
{
	std::lock_guard lock(fMutex);
	return int32(std::count_if(
		fEntries.begin(), fEntries.end(), [what](const Entry& entry) { return entry.message->what == what; }));
}

std::vector<uint32> CMessageSink::Whats() const
{
	std::lock_guard lock(fMutex);
	std::vector<uint32> whats;
	whats.reserve(fEntries.size());
	for (const Entry& entry : fEntries)
		whats.push_back(entry.message->what);
	return whats;
}

bool CMessageSink::MessageAt(int32 index, BMessage* copy, int32* handlerToken, bigtime_t* when) const
{
	std::lock_guard lock(fMutex);
	if (index < 0 || size_t(index) >= fEntries.size())
		return false;
	const Entry& entry = fEntries[size_t(index)];
	if (copy != nullptr)
		*copy = *entry.message;
	if (handlerToken != nullptr)
		*handlerToken = entry.token;
	if (when != nullptr)
		*when = entry.when;
	return true;
}

bool CMessageSink::LastMessage(uint32 what, BMessage* copy) const
{
	std::lock_guard lock(fMutex);
	for (auto entry = fEntries.rbegin(); entry != fEntries.rend(); ++entry) {
		if (entry->message->what == what) {
			if (copy != nullptr)
				*copy = *entry->message;
			return true;
		}
	}
	return false;
}

void CMessageSink::Clear()
{
	std::deque<Entry> dropped;
	{
		std::lock_guard lock(fMutex);
		dropped.swap(fEntries);
		fRoom.notify_all();
	}
	// Deleted outside the lock: a waiting sender wakes with B_NO_REPLY.
}

bool CMessageSink::WaitForWaitingSender(bigtime_t timeout)
{
	std::unique_lock lock(fMutex);
	return WaitUntilReady(fSenderWaits, lock, timeout, [this] { return fWaitingSenders > 0; });
}
