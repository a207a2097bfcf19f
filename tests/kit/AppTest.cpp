// Loopers, handlers, messengers, replies and message runners.
#include "kit/app/Handler.h"
#include "kit/app/Looper.h"
#include "kit/app/LooperPort.h"
#include "kit/app/MessageRunner.h"
#include "kit/app/MessageSink.h"
#include "kit/app/OrderedPoster.h"
#include "kit/app/Messenger.h"
#include "kit/kernel/OS.h"
#include "kit/support/Message.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// A wait that only a fault runs out.
constexpr bigtime_t kLongWait = 10000000;

enum : uint32 {
	kBlock = FourCC('b', 'l', 'c', 'k'),   // the handler waits for the test's gate
	kQuitNow = FourCC('q', 'u', 'i', 't'),  // the handler calls Quit()
	kDetach = FourCC('d', 't', 'c', 'h'),   // the handler keeps the message
	kEcho = FourCC('e', 'c', 'h', 'o'),     // the handler answers "index" + 1 with code "answer"
	kAnswer = FourCC('a', 'n', 's', 'r'),
	kData = FourCC('d', 'a', 't', 'a'),
};

// A synchronous send that fails instead of hanging when no answer comes.
status_t Ask(const BMessenger& messenger, BMessage* question, BMessage* reply)
{
	return messenger.SendMessage(question, reply, kLongWait, kLongWait);
}

status_t Ask(const BMessenger& messenger, uint32 what, BMessage* reply)
{
	BMessage question(what);
	return Ask(messenger, &question, reply);
}

bool WaitUntil(const std::function<bool()>& ready, bigtime_t timeout = kLongWait)
{
	bigtime_t end = system_time() + timeout;
	while (!ready()) {
		if (system_time() > end)
			return false;
		snooze(1000);
	}
	return true;
}

// Lets a test hold a looper inside a dispatch.
class Gate {
public:
	void Enter()
	{
		std::unique_lock lock(fMutex);
		fEntered = true;
		fChanged.notify_all();
		fChanged.wait(lock, [this] { return fOpen; });
	}
	bool WaitEntered()
	{
		std::unique_lock lock(fMutex);
		return fChanged.wait_for(lock, std::chrono::seconds(10), [this] { return fEntered; });
	}
	void Open()
	{
		std::lock_guard lock(fMutex);
		fOpen = true;
		fChanged.notify_all();
	}

private:
	std::mutex fMutex;
	std::condition_variable fChanged;
	bool fEntered = false;
	bool fOpen = false;
};

// Handles the test codes above and passes every other message, with the
// receiving thread and handler added, to a sink.
class Recorder {
public:
	Recorder(std::shared_ptr<CMessageSink> sink) : fSink(std::move(sink)) {}

	bool Handle(BHandler* handler, BMessage* message)
	{
		BLooper* looper = handler->Looper();
		switch (message->what) {
			case kBlock:
				gate.Enter();
				return true;
			case kQuitNow:
				looper->Quit();
				return true;
			case kDetach:
				detached.reset(looper->DetachCurrentMessage());
				detachedReady = true;
				return true;
			case kEcho: {
				BMessage answer(uint32(message->GetInt32("answer", int32(kAnswer))));
				answer.AddInt32("index", message->GetInt32("index", 0) + 1);
				message->SendReply(&answer);
				return true;
			}
			case kData: {
				auto copy = std::make_unique<BMessage>(*message);
				copy->AddInt32("thread", find_thread(nullptr));
				copy->AddBool("looper for thread", BLooper::LooperForThread(find_thread(nullptr)) == looper);
				copy->AddString("handler", handler->Name());
				if (fSink->Enqueue(copy.get(), handler->Token(), B_INFINITE_TIMEOUT) == B_OK)
					copy.release();
				return true;
			}
			default:
				return false;
		}
	}

	Gate gate;
	std::unique_ptr<BMessage> detached;
	std::atomic<bool> detachedReady {false};

private:
	std::shared_ptr<CMessageSink> fSink;
};

class TestLooper : public BLooper {
public:
	TestLooper(std::shared_ptr<CMessageSink> sink, std::atomic<bool>* deleted, const char* name = "test looper",
		int32 priority = B_NORMAL_PRIORITY, int32 capacity = B_LOOPER_PORT_DEFAULT_CAPACITY)
		: BLooper(name, priority, capacity),
		  recorder(std::move(sink)),
		  fDeleted(deleted)
	{
	}
	~TestLooper() override
	{
		if (fDeleted != nullptr)
			*fDeleted = true;
	}
	void MessageReceived(BMessage* message) override
	{
		if (!recorder.Handle(this, message))
			BLooper::MessageReceived(message);
	}
	bool QuitRequested() override { return allowQuit; }

	Recorder recorder;
	std::atomic<bool> allowQuit {true};

private:
	std::atomic<bool>* fDeleted;
};

class TestHandler : public BHandler {
public:
	TestHandler(const char* name, std::shared_ptr<CMessageSink> sink) : BHandler(name), fRecorder(std::move(sink)) {}
	void MessageReceived(BMessage* message) override
	{
		if (!fRecorder.Handle(this, message))
			BHandler::MessageReceived(message);
	}

private:
	Recorder fRecorder;
};

BMessage Data(int32 index)
{
	BMessage message(kData);
	message.AddInt32("index", index);
	return message;
}

void QuitLooper(BLooper* looper)
{
	ASSERT_TRUE(looper->Lock());
	looper->Quit();
}

class LooperTest : public ::testing::Test {
protected:
	TestLooper* Start(const char* name = "test looper", int32 priority = B_NORMAL_PRIORITY,
		int32 capacity = B_LOOPER_PORT_DEFAULT_CAPACITY)
	{
		auto* looper = new TestLooper(sink, &deleted, name, priority, capacity);
		looper->Run();
		return looper;
	}
	void TearDown() override { sink->Clear(); }

	std::shared_ptr<CMessageSink> sink = std::make_shared<CMessageSink>();
	std::atomic<bool> deleted {false};
};

using MessengerTest = LooperTest;

}   // namespace

// #pragma mark - Looper

TEST_F(LooperTest, DispatchesInOrderOnItsOwnNamedThread)
{
	const char* name = "looper with a name longer than Linux keeps";
	TestLooper* looper = Start(name, 13);
	thread_info info;
	ASSERT_EQ(get_thread_info(looper->Thread(), &info), B_OK);
	EXPECT_STREQ(info.name, name);
	EXPECT_EQ(info.priority, 13);
	EXPECT_EQ(BLooper::LooperForThread(find_thread(nullptr)), nullptr);

	for (int32 i = 0; i < 50; i++) {
		BMessage message = Data(i);
		ASSERT_EQ(looper->PostMessage(&message), B_OK);
	}
	ASSERT_TRUE(sink->WaitForCount(kData, 50, kLongWait));
	for (int32 i = 0; i < 50; i++) {
		BMessage received;
		ASSERT_TRUE(sink->MessageAt(i, &received));
		EXPECT_EQ(received.GetInt32("index", -1), i);
		EXPECT_EQ(received.GetInt32("thread", -1), looper->Thread());
		EXPECT_TRUE(received.GetBool("looper for thread", false));
	}
	thread_id thread = looper->Thread();
	QuitLooper(looper);
	EXPECT_TRUE(deleted);
	EXPECT_EQ(BLooper::LooperForThread(thread), nullptr);
}

TEST_F(LooperTest, PostingNeverWaitsButMessengersWaitForRoom)
{
	TestLooper* looper = Start("bounded", B_NORMAL_PRIORITY, 3);
	BMessenger messenger(looper);
	ASSERT_EQ(looper->PostMessage(kBlock), B_OK);
	ASSERT_TRUE(looper->recorder.gate.WaitEntered());

	for (int32 i = 0; i < 3; i++) {
		BMessage message = Data(i);
		EXPECT_EQ(looper->PostMessage(&message), B_OK);
	}
	BMessage extra = Data(3);
	EXPECT_EQ(looper->PostMessage(&extra), B_WOULD_BLOCK);
	EXPECT_EQ(messenger.SendMessage(&extra, nullptr, 0), B_WOULD_BLOCK);
	EXPECT_EQ(messenger.SendMessage(&extra, nullptr, 20000), B_TIMED_OUT);

	// A sender with a long time-out gets through once the looper moves on;
	// the looper moves on only once the sender waits for room.
	auto port = std::dynamic_pointer_cast<BLooperPort>(looper->Target());
	ASSERT_NE(port, nullptr);
	status_t lateStatus = B_ERROR;   // waits for room, not forever
	std::thread late([&] { lateStatus = messenger.SendMessage(&extra, nullptr, kLongWait); });
	EXPECT_TRUE(WaitUntil([&] { return port->CountWaitingSenders() == 1; }));
	looper->recorder.gate.Open();
	late.join();
	EXPECT_EQ(lateStatus, B_OK);
	ASSERT_TRUE(sink->WaitForCount(kData, 4, kLongWait));
	EXPECT_EQ(sink->CountMessages(kData), 4);
	QuitLooper(looper);
}

TEST_F(LooperTest, QuitFromAnotherThreadDispatchesWhatIsQueuedThenDeletes)
{
	TestLooper* looper = Start();
	BMessenger messenger(looper);
	// Queued while the test holds the lock, so none is dispatched before Quit.
	ASSERT_TRUE(looper->Lock());
	for (int32 i = 0; i < 3; i++) {
		BMessage message = Data(i);
		ASSERT_EQ(looper->PostMessage(&message), B_OK);
	}
	looper->Quit();
	EXPECT_TRUE(deleted);
	EXPECT_EQ(sink->CountMessages(kData), 3);

	// The messenger outlives the looper safely.
	BMessenger copy = messenger;
	EXPECT_EQ(copy, messenger);
	EXPECT_FALSE(messenger.IsValid());
	EXPECT_FALSE(messenger.LockTarget());
	BLooper* target = reinterpret_cast<BLooper*>(1);
	EXPECT_EQ(messenger.Target(&target), nullptr);
	EXPECT_EQ(target, nullptr);
	BMessage message = Data(9);
	BMessage reply;
	EXPECT_EQ(messenger.SendMessage(&message), B_BAD_PORT_ID);
	EXPECT_EQ(Ask(messenger, &message, &reply), B_BAD_PORT_ID);
}

TEST_F(LooperTest, QuitOnItsOwnThreadDropsTheRestAndAnswersWaitingSenders)
{
	TestLooper* looper = Start();
	auto port = std::dynamic_pointer_cast<BLooperPort>(looper->Target());
	BMessenger messenger(looper);
	ASSERT_EQ(looper->PostMessage(kBlock), B_OK);
	ASSERT_TRUE(looper->recorder.gate.WaitEntered());
	ASSERT_EQ(looper->PostMessage(kQuitNow), B_OK);

	status_t status = B_ERROR;
	BMessage reply;
	std::thread sender([&] {
		BMessage question = Data(1);
		status = Ask(messenger, &question, &reply);
	});
	ASSERT_TRUE(WaitUntil([&] { return port->CountQueued() == 2; }));
	looper->recorder.gate.Open();
	sender.join();
	EXPECT_EQ(status, B_NO_REPLY);
	EXPECT_EQ(reply.what, uint32(B_NO_REPLY));
	EXPECT_TRUE(WaitUntil([&] { return deleted.load(); }));
	EXPECT_EQ(sink->CountMessages(kData), 0);
	EXPECT_EQ(messenger.SendMessage(kData), B_BAD_PORT_ID);
}

TEST_F(LooperTest, QuitRequestedMayRefuse)
{
	TestLooper* looper = Start();
	looper->allowQuit = false;
	BMessenger messenger(looper);
	BMessage reply;
	ASSERT_EQ(Ask(messenger, B_QUIT_REQUESTED, &reply), B_OK);
	EXPECT_EQ(reply.what, uint32(B_REPLY));
	EXPECT_FALSE(reply.GetBool("result", true));
	EXPECT_TRUE(messenger.IsValid());
	EXPECT_FALSE(deleted);

	looper->allowQuit = true;
	ASSERT_EQ(Ask(messenger, B_QUIT_REQUESTED, &reply), B_OK);
	EXPECT_TRUE(reply.GetBool("result", false));
	EXPECT_TRUE(WaitUntil([&] { return deleted.load(); }));
	EXPECT_EQ(messenger.SendMessage(kData), B_BAD_PORT_ID);
}

TEST_F(LooperTest, HandlersAreAddressedByTokenAndRemovedOnesGetNothing)
{
	TestLooper* looper = Start();
	TestHandler first("first", sink);
	TestHandler second("second", sink);
	ASSERT_TRUE(looper->Lock());
	looper->AddHandler(&first);
	looper->AddHandler(&second);
	EXPECT_EQ(looper->CountHandlers(), 3);
	EXPECT_EQ(looper->HandlerAt(0), looper);
	EXPECT_EQ(looper->PreferredHandler(), looper);
	EXPECT_EQ(first.NextHandler(), looper);
	looper->Unlock();

	status_t result;
	BMessenger toFirst(&first, looper, &result);
	EXPECT_EQ(result, B_OK);
	BMessage message = Data(1);
	ASSERT_EQ(toFirst.SendMessage(&message), B_OK);
	auto received = sink->WaitForMessage(kData, kLongWait);
	ASSERT_NE(received, nullptr);
	EXPECT_STREQ(received->GetString("handler", ""), "first");
	BLooper* targetLooper = nullptr;
	EXPECT_EQ(toFirst.Target(&targetLooper), &first);
	EXPECT_EQ(targetLooper, looper);

	// The preferred handler takes what is sent to the looper as a whole.
	ASSERT_TRUE(looper->Lock());
	looper->SetPreferredHandler(&second);
	looper->Unlock();
	ASSERT_EQ(BMessenger(nullptr, looper).SendMessage(&message), B_OK);
	received = sink->WaitForMessage(kData, kLongWait);
	ASSERT_NE(received, nullptr);
	EXPECT_STREQ(received->GetString("handler", ""), "second");

	// Queued for `first`, which is removed before the looper gets to it.
	ASSERT_TRUE(looper->Lock());
	ASSERT_EQ(toFirst.SendMessage(&message), B_OK);
	EXPECT_TRUE(looper->RemoveHandler(&first));
	EXPECT_FALSE(looper->RemoveHandler(&first));
	EXPECT_FALSE(looper->RemoveHandler(looper));
	looper->Unlock();
	EXPECT_EQ(first.Looper(), nullptr);
	EXPECT_EQ(looper->PostMessage(&message, &first), B_MISMATCHED_VALUES);
	BMessenger stale(&first, nullptr, &result);
	EXPECT_EQ(result, B_BAD_HANDLER);
	auto* other = new BLooper("other");
	BMessenger mismatched(&second, other, &result);
	EXPECT_EQ(result, B_BAD_HANDLER);
	EXPECT_FALSE(mismatched.IsValid());
	delete other;

	// A later message through the looper comes first, and a round trip
	// after it finds nothing more: the dropped one never came.
	ASSERT_EQ(looper->PostMessage(&message, &second), B_OK);
	received = sink->WaitForMessage(kData, kLongWait);
	ASSERT_NE(received, nullptr);
	EXPECT_STREQ(received->GetString("handler", ""), "second");
	BMessage reply;
	ASSERT_EQ(Ask(BMessenger(looper), kEcho, &reply), B_OK);
	EXPECT_EQ(sink->CountMessages(), 0);
	QuitLooper(looper);   // `second` is detached by the looper's deletion
	EXPECT_EQ(second.Looper(), nullptr);
}

TEST_F(LooperTest, UnhandledMessagesAreAnsweredNotUnderstood)
{
	TestLooper* looper = Start();
	BHandler plain("plain");
	ASSERT_TRUE(looper->Lock());
	looper->AddHandler(&plain);
	looper->Unlock();
	BMessage reply;
	BMessage question(FourCC('?', '?', '?', '?'));
	ASSERT_EQ(Ask(BMessenger(&plain), &question, &reply), B_OK);
	EXPECT_EQ(reply.what, uint32(B_MESSAGE_NOT_UNDERSTOOD));
	ASSERT_EQ(Ask(BMessenger(looper), &question, &reply), B_OK);
	EXPECT_EQ(reply.what, uint32(B_MESSAGE_NOT_UNDERSTOOD));
	QuitLooper(looper);
}

TEST_F(LooperTest, NeverRunLoopersAreDeletedDirectly)
{
	auto* looper = new TestLooper(sink, &deleted);
	BMessenger messenger(looper);
	EXPECT_TRUE(looper->IsLocked());   // until Run
	EXPECT_EQ(looper->PostMessage(kData), B_OK);
	delete looper;
	EXPECT_TRUE(deleted);
	EXPECT_EQ(messenger.SendMessage(kData), B_BAD_PORT_ID);

	std::atomic<bool> quitDeleted {false};
	auto* other = new TestLooper(sink, &quitDeleted);
	other->Quit();
	EXPECT_TRUE(quitDeleted);
	EXPECT_EQ(sink->CountMessages(), 0);
}

TEST_F(LooperTest, LockIsRecursiveAndTimesOutWhileTheLooperDispatches)
{
	TestLooper* looper = Start();
	ASSERT_EQ(looper->PostMessage(kBlock), B_OK);
	ASSERT_TRUE(looper->recorder.gate.WaitEntered());
	EXPECT_EQ(looper->LockingThread(), looper->Thread());
	EXPECT_EQ(looper->LockWithTimeout(20000), B_TIMED_OUT);
	looper->recorder.gate.Open();

	ASSERT_TRUE(looper->Lock());
	ASSERT_EQ(looper->LockWithTimeout(0), B_OK);
	EXPECT_TRUE(looper->IsLocked());
	EXPECT_EQ(looper->CountLocks(), 2);
	EXPECT_EQ(looper->LockingThread(), find_thread(nullptr));
	looper->Unlock();
	looper->Quit();   // still locked once
	EXPECT_TRUE(deleted);
}

TEST_F(LooperTest, ManySendersKeepTheirOrder)
{
	TestLooper* looper = Start("busy", B_NORMAL_PRIORITY, 8);
	BMessenger messenger(looper);
	constexpr int32 kSenders = 4;
	constexpr int32 kEach = 200;
	std::vector<std::thread> senders;
	for (int32 s = 0; s < kSenders; s++) {
		senders.emplace_back([&, s] {
			for (int32 i = 0; i < kEach; i++) {
				BMessage message = Data(s * kEach + i);
				EXPECT_EQ(messenger.SendMessage(&message), B_OK);
			}
		});
	}
	for (std::thread& sender : senders)
		sender.join();
	ASSERT_TRUE(sink->WaitForCount(kData, kSenders * kEach, kLongWait));
	std::vector<int32> last(kSenders, -1);
	for (int32 i = 0; i < kSenders * kEach; i++) {
		BMessage received;
		ASSERT_TRUE(sink->MessageAt(i, &received));
		int32 index = received.GetInt32("index", -1);
		EXPECT_GT(index % kEach, last[index / kEach]);
		last[index / kEach] = index % kEach;
	}
	QuitLooper(looper);
}

// #pragma mark - Messenger

TEST_F(MessengerTest, SynchronousSendsGetTheAnswerOrNoReply)
{
	TestLooper* looper = Start();
	BMessenger messenger(looper);
	BMessage question(kEcho);
	question.AddInt32("index", 41);
	BMessage reply;
	ASSERT_EQ(Ask(messenger, &question, &reply), B_OK);
	EXPECT_EQ(reply.what, uint32(kAnswer));
	EXPECT_EQ(reply.GetInt32("index", 0), 42);
	EXPECT_FALSE(reply.IsSourceWaiting());

	// kData is recorded (as a copy) and deleted unanswered.
	BMessage ignored = Data(1);
	EXPECT_EQ(Ask(messenger, &ignored, &reply), B_NO_REPLY);
	EXPECT_EQ(reply.what, uint32(B_NO_REPLY));
	QuitLooper(looper);
}

TEST_F(MessengerTest, SynchronousSendToTheOwnThreadIsRefused)
{
	class SelfSender : public BLooper {
	public:
		void MessageReceived(BMessage* message) override
		{
			if (message->what != kData)
				return;
			BMessage reply;
			BMessage question(kEcho);
			result = BMessenger(this).SendMessage(&question, &reply, 0, 1000000);
			done = true;
		}
		std::atomic<status_t> result {B_OK};
		std::atomic<bool> done {false};
	};
	auto* looper = new SelfSender;
	looper->Run();
	ASSERT_EQ(looper->PostMessage(kData), B_OK);
	ASSERT_TRUE(WaitUntil([&] { return looper->done.load(); }));
	EXPECT_EQ(looper->result, B_BAD_VALUE);
	QuitLooper(looper);
}

TEST_F(MessengerTest, DetachedMessagesAreAnsweredOnceOrAbandoned)
{
	TestLooper* looper = Start();
	BMessenger messenger(looper);
	Recorder& recorder = looper->recorder;

	status_t status = B_ERROR;
	BMessage reply;
	std::thread sender([&] {
		BMessage question(kDetach);
		status = Ask(messenger, &question, &reply);
	});
	ASSERT_TRUE(WaitUntil([&] { return recorder.detachedReady.load(); }));
	std::unique_ptr<BMessage> held = std::move(recorder.detached);
	recorder.detachedReady = false;
	EXPECT_TRUE(held->IsSourceWaiting());
	EXPECT_TRUE(held->WasDelivered());
	EXPECT_EQ(held->SendReply(kAnswer), B_OK);
	EXPECT_EQ(held->SendReply(kAnswer), B_DUPLICATE_REPLY);
	sender.join();
	EXPECT_EQ(status, B_OK);
	EXPECT_EQ(reply.what, uint32(kAnswer));

	// The sender gives up: a late answer is refused.
	BMessage question(kDetach);
	EXPECT_EQ(messenger.SendMessage(&question, &reply, B_INFINITE_TIMEOUT, 20000), B_TIMED_OUT);
	ASSERT_TRUE(WaitUntil([&] { return recorder.detachedReady.load(); }));
	held = std::move(recorder.detached);
	EXPECT_FALSE(held->IsSourceWaiting());
	EXPECT_EQ(held->SendReply(kAnswer), B_BAD_PORT_ID);
	QuitLooper(looper);
}

TEST_F(MessengerTest, RepliesGoToTheReplyToHandler)
{
	TestLooper* asker = Start("asker");
	TestHandler replies("replies", sink);
	ASSERT_TRUE(asker->Lock());
	asker->AddHandler(&replies);
	asker->Unlock();
	std::atomic<bool> answererDeleted {false};
	auto* answerer = new TestLooper(sink, &answererDeleted, "answerer");
	answerer->Run();

	BMessage question(kEcho);
	question.AddInt32("index", 6);
	question.AddInt32("answer", int32(kData));   // recorded by the handler that gets it
	ASSERT_EQ(BMessenger(answerer).SendMessage(&question, &replies), B_OK);
	auto answer = sink->WaitForMessage(kData, kLongWait);
	ASSERT_NE(answer, nullptr);
	EXPECT_STREQ(answer->GetString("handler", ""), "replies");
	EXPECT_EQ(answer->GetInt32("index", 0), 7);
	EXPECT_EQ(answer->GetInt32("thread", -1), asker->Thread());

	// Without replyTo there is nobody to answer.
	BMessage unsent(kEcho);
	EXPECT_EQ(unsent.SendReply(kAnswer), B_BAD_REPLY);
	EXPECT_FALSE(unsent.IsSourceWaiting());

	QuitLooper(answerer);
	QuitLooper(asker);
}

TEST_F(MessengerTest, AnySharedTargetCanReceive)
{
	auto target = std::make_shared<CMessageSink>(1);
	BMessenger messenger = target->Messenger(7);
	EXPECT_TRUE(messenger.IsValid());
	EXPECT_EQ(messenger, target->Messenger(7));
	EXPECT_NE(messenger, target->Messenger(8));
	BLooper* looper = reinterpret_cast<BLooper*>(1);
	EXPECT_EQ(messenger.Target(&looper), nullptr);
	EXPECT_EQ(looper, nullptr);
	EXPECT_FALSE(messenger.LockTarget());

	BMessage message = Data(1);
	ASSERT_EQ(messenger.SendMessage(&message), B_OK);
	EXPECT_EQ(messenger.SendMessage(&message, nullptr, 0), B_WOULD_BLOCK);
	EXPECT_EQ(messenger.SendMessage(&message, nullptr, 10000), B_TIMED_OUT);
	int32 token = 0;
	BMessage stored;
	ASSERT_TRUE(target->MessageAt(0, &stored, &token));
	EXPECT_EQ(token, 7);
	EXPECT_EQ(stored.GetInt32("index", 0), 1);
	target->Clear();

	// A synchronous send waits until the stored message is answered...
	status_t status = B_ERROR;
	BMessage reply;
	std::thread sender([&] { status = Ask(messenger, kEcho, &reply); });
	auto question = target->WaitForMessage(kEcho, kLongWait);
	ASSERT_NE(question, nullptr);
	EXPECT_EQ(question->SendReply(kAnswer), B_OK);
	sender.join();
	EXPECT_EQ(status, B_OK);
	EXPECT_EQ(reply.what, uint32(kAnswer));

	// ... or dropped.
	sender = std::thread([&] { status = Ask(messenger, kEcho, &reply); });
	ASSERT_TRUE(target->WaitForCount(kEcho, 1, kLongWait));
	target->Clear();
	sender.join();
	EXPECT_EQ(status, B_NO_REPLY);

	target->Close();
	EXPECT_FALSE(messenger.IsValid());
	EXPECT_EQ(messenger.SendMessage(&message), B_BAD_PORT_ID);

	status_t result = B_OK;
	BMessenger none(nullptr, nullptr, &result);
	EXPECT_EQ(result, B_BAD_VALUE);
	EXPECT_FALSE(none.IsValid());
	EXPECT_EQ(none.SendMessage(&message), B_BAD_PORT_ID);
	BHandler loose("loose");
	BMessenger toLoose(&loose, nullptr, &result);
	EXPECT_EQ(result, B_BAD_HANDLER);
}

// #pragma mark - MessageRunner

TEST(MessageRunnerTest, SendsCountCopiesEachAfterItsInterval)
{
	auto sink = std::make_shared<CMessageSink>();
	constexpr bigtime_t kInterval = 30000;
	BMessage tick(kData);
	bigtime_t start = system_time();
	BMessageRunner runner(sink->Messenger(), &tick, kInterval, 3);
	ASSERT_EQ(runner.InitCheck(), B_OK);
	ASSERT_TRUE(sink->WaitForCount(kData, 3, kLongWait));
	for (int32 i = 0; i < 3; i++) {
		bigtime_t when = 0;
		ASSERT_TRUE(sink->MessageAt(i, nullptr, nullptr, &when));
		EXPECT_GE(when - start, (i + 1) * kInterval) << "copy " << i;
	}
	bigtime_t interval = 0;
	int32 count = -1;
	EXPECT_TRUE(WaitUntil([&] { return runner.GetInfo(&interval, &count) == B_OK && count == 0; }));
	EXPECT_EQ(interval, kInterval);
	// A fourth copy would come within an interval.
	EXPECT_FALSE(sink->WaitForCount(kData, 4, 3 * kInterval));
}

TEST(MessageRunnerTest, RefusesBadArguments)
{
	auto sink = std::make_shared<CMessageSink>();
	BMessage tick(kData);
	EXPECT_EQ(BMessageRunner(sink->Messenger(), &tick, 0).InitCheck(), B_BAD_VALUE);
	EXPECT_EQ(BMessageRunner(sink->Messenger(), nullptr, 1000).InitCheck(), B_BAD_VALUE);
	EXPECT_EQ(BMessageRunner(sink->Messenger(), tick, 1000, 0).InitCheck(), B_BAD_VALUE);
	EXPECT_EQ(BMessageRunner::StartSending(sink->Messenger(), &tick, 1000, 0), B_BAD_VALUE);
	BMessageRunner runner(sink->Messenger(), tick, 1000000);
	EXPECT_EQ(runner.SetInterval(0), B_BAD_VALUE);
	EXPECT_EQ(runner.SetCount(-2), B_BAD_VALUE);
	// The refused changes left the runner as it was.
	bigtime_t interval = 0;
	int32 count = 0;
	ASSERT_EQ(runner.GetInfo(&interval, &count), B_OK);
	EXPECT_EQ(interval, 1000000);
	EXPECT_EQ(count, -1);
}

TEST(MessageRunnerTest, DestructionStopsTheSends)
{
	auto sink = std::make_shared<CMessageSink>();
	BMessage tick(kData);
	auto runner = std::make_unique<BMessageRunner>(sink->Messenger(), &tick, 2000);
	ASSERT_TRUE(sink->WaitForCount(kData, 3, kLongWait));
	runner.reset();
	int32 count = sink->CountMessages();
	// A copy after the destruction would come within an interval (2 ms).
	EXPECT_FALSE(sink->WaitForCount(kData, count + 1, 30000));

	// Also while a send waits for room in a full target.
	auto full = std::make_shared<CMessageSink>(1);
	runner = std::make_unique<BMessageRunner>(full->Messenger(), &tick, 1000);
	ASSERT_TRUE(full->WaitForCount(kData, 1, kLongWait));
	ASSERT_TRUE(full->WaitForWaitingSender(kLongWait));
	runner.reset();
	full->SetCapacity(-1);
	EXPECT_FALSE(full->WaitForCount(kData, 2, 30000));
}

TEST(MessageRunnerTest, IntervalAndCountCanChange)
{
	auto sink = std::make_shared<CMessageSink>();
	BMessage tick(kData);
	BMessageRunner runner(sink->Messenger(), &tick, 3600000000LL);
	ASSERT_EQ(runner.SetInterval(5000), B_OK);
	ASSERT_EQ(runner.SetCount(2), B_OK);
	ASSERT_TRUE(sink->WaitForCount(kData, 2, kLongWait));
	// The count falls once the send has returned.
	int32 count = -1;
	EXPECT_TRUE(WaitUntil([&] { return runner.GetInfo(nullptr, &count) == B_OK && count == 0; }));
	EXPECT_FALSE(sink->WaitForCount(kData, 3, 30000));   // a third would come within 5 ms

	ASSERT_EQ(runner.SetCount(1), B_OK);
	ASSERT_TRUE(sink->WaitForCount(kData, 3, kLongWait));
}

TEST(MessageRunnerTest, StartSendingNeedsNoRunner)
{
	auto sink = std::make_shared<CMessageSink>();
	BMessage tick(kData);
	bigtime_t start = system_time();
	ASSERT_EQ(BMessageRunner::StartSending(sink->Messenger(), &tick, 20000, 2), B_OK);
	ASSERT_TRUE(sink->WaitForCount(kData, 2, kLongWait));
	bigtime_t when = 0;
	ASSERT_TRUE(sink->MessageAt(0, nullptr, nullptr, &when));
	EXPECT_GE(when - start, 20000);
	EXPECT_FALSE(sink->WaitForCount(kData, 3, 60000));   // a third would come within 20 ms
}

TEST(MessageRunnerTest, StopsWhenTheTargetLooperIsGone)
{
	auto* looper = new BLooper("runner target");
	looper->Run();
	BMessage tick(kData);
	BMessageRunner runner(BMessenger(looper), &tick, 2000);
	QuitLooper(looper);
	int32 count = -1;
	EXPECT_TRUE(WaitUntil([&] { return runner.GetInfo(nullptr, &count) == B_OK && count == 0; }));
}

// #pragma mark - OrderedPoster

TEST(OrderedPosterTest, AFullTargetIsWaitedForWithinTheBoundAndAGoneOneNotAtAll)
{
	auto full = std::make_shared<CMessageSink>(1);
	BMessage first(kData);
	ASSERT_EQ(PostInOrder(full->Messenger(), &first), B_OK);

	// Room that comes while the sender waits lets the message through.
	BMessage second(kData);
	std::thread room([&] {
		if (full->WaitForWaitingSender(kLongWait))
			full->SetCapacity(2);
	});
	EXPECT_EQ(PostInOrder(full->Messenger(), &second), B_OK);
	room.join();
	EXPECT_EQ(full->CountMessages(kData), 2);

	// No room: given up when the sender says so, or when the bound runs out.
	int32 asked = 0;
	BMessage third(kData);
	EXPECT_EQ(PostInOrder(full->Messenger(), &third, [&] { return ++asked < 2; }), B_TIMED_OUT);
	EXPECT_EQ(asked, 2);
	EXPECT_EQ(PostInOrder(full->Messenger(), &third, nullptr, 2 * kOrderedPostSlice), B_TIMED_OUT);
	EXPECT_EQ(full->CountMessages(kData), 2);

	// A closed target ends it at once, whatever the bound.
	full->Close();
	bigtime_t start = system_time();
	EXPECT_EQ(PostInOrder(full->Messenger(), &third, nullptr, kLongWait), B_BAD_PORT_ID);
	EXPECT_LT(system_time() - start, kLongWait / 2);
}

TEST(OrderedPosterTest, PostsInOrderAndStopGivesUpOnAFullTarget)
{
	auto sink = std::make_shared<CMessageSink>(1);
	auto other = std::make_shared<CMessageSink>();
	COrderedPoster poster("test poster");
	BMessage message(kData);
	EXPECT_FALSE(poster.Post(sink->Messenger(), message));   // not started
	ASSERT_TRUE(poster.Start());
	for (int32 i = 0; i < 5; i++) {
		message.MakeEmpty();
		message.AddInt32("index", i);
		ASSERT_TRUE(poster.Post(sink->Messenger(), message));
	}
	// The poster waits for room at the first target; what follows for the
	// other target waits its turn.
	ASSERT_TRUE(poster.Post(other->Messenger(), message));
	ASSERT_TRUE(sink->WaitForWaitingSender(kLongWait));
	EXPECT_EQ(other->CountMessages(), 0);
	sink->SetCapacity(3);
	ASSERT_TRUE(sink->WaitForCount(kData, 3, kLongWait));
	ASSERT_TRUE(sink->WaitForWaitingSender(kLongWait));

	// Stopping hands over what is left, giving up where there is no room.
	poster.Stop();
	EXPECT_EQ(sink->CountMessages(), 3);
	for (int32 i = 0; i < 3; i++) {
		BMessage received;
		ASSERT_TRUE(sink->MessageAt(i, &received));
		EXPECT_EQ(received.GetInt32("index", -1), i);
	}
	EXPECT_EQ(other->CountMessages(), 1);
	EXPECT_EQ(poster.CountQueued(), 0);
	EXPECT_FALSE(poster.Post(sink->Messenger(), message));
}
