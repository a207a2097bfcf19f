// PostMessageAsync: direct posts with their log lines, delayed posts through
// the "PostMessageAsyncThread" thread, the messenger form's thread even at
// delay 0, and a target that goes away during the delay.
#include "frame/Diagnostics.h"
#include "frame/PostMessageAsync.h"
#include "kit/app/Handler.h"
#include "kit/app/Looper.h"
#include "kit/app/MessageSink.h"
#include "kit/app/Messenger.h"
#include "kit/kernel/OS.h"
#include "kit/support/Message.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

namespace {

constexpr uint32 kPing = FourCC('P', 'i', 'n', 'g');
constexpr uint32 kRepost = FourCC('R', 'p', 's', 't');
constexpr bigtime_t kLongWait = 30'000'000;

class CapturedOutput {
public:
	CapturedOutput()
	{
		fStream = open_memstream(&fBuffer, &fSize);
		fPrevious = SetDebugOutput(fStream);
	}
	~CapturedOutput()
	{
		SetDebugOutput(fPrevious);
		fclose(fStream);
		free(fBuffer);
	}
	std::string Text()
	{
		fflush(fStream);
		return std::string(fBuffer, fSize);
	}

private:
	FILE* fStream;
	FILE* fPrevious;
	char* fBuffer = nullptr;
	size_t fSize = 0;
};

class FlagsScope {
public:
	explicit FlagsScope(uint32 flags) : fPrevious(GetDebugFlags()) { SetDebugFlags(flags); }
	~FlagsScope() { SetDebugFlags(fPrevious); }

private:
	uint32 fPrevious;
};

// Records where and when messages are delivered to it.
class RecordingHandler : public BHandler {
public:
	explicit RecordingHandler(const char* name) : BHandler(name) {}

	void MessageReceived(BMessage* message) override
	{
		if (message->what == kRepost) {
			// Posting from the looper's own thread.
			BMessage ping(kPing);
			PostMessageAsync(&ping, static_cast<BHandler*>(this), 0);
		}
		std::lock_guard lock(fMutex);
		fWhats.push_back(message->what);
		fThread = find_thread(nullptr);
		fWhen = system_time();
		fArrived.notify_all();
	}

	// Waits until `count` messages arrived; the codes in arrival order.
	std::vector<uint32> WaitFor(size_t count)
	{
		std::unique_lock lock(fMutex);
		fArrived.wait_for(lock, std::chrono::microseconds(kLongWait), [&] { return fWhats.size() >= count; });
		return fWhats;
	}
	thread_id Thread()
	{
		std::lock_guard lock(fMutex);
		return fThread;
	}
	bigtime_t When()
	{
		std::lock_guard lock(fMutex);
		return fWhen;
	}

private:
	std::mutex fMutex;
	std::condition_variable fArrived;
	std::vector<uint32> fWhats;
	thread_id fThread = -1;
	bigtime_t fWhen = 0;
};

class RecordingLooper : public BLooper {
public:
	RecordingLooper() : BLooper("post test looper"), handler("view")
	{
		AddHandler(&handler);
	}
	~RecordingLooper() override { RemoveHandler(&handler); }
	void MessageReceived(BMessage* message) override { handler.MessageReceived(message); }
	RecordingHandler handler;
};

// A looper that runs for the test and is quit at its end.
struct RunningLooper {
	RunningLooper()
	{
		looper = new RecordingLooper;
		looper->Run();
	}
	~RunningLooper()
	{
		if (looper->Lock())
			looper->Quit();
	}
	RecordingLooper* looper;
};

// A target that notes which thread delivers to it.
class ThreadNotingTarget : public BMessageTarget {
public:
	status_t Enqueue(BMessage* message, int32 handlerToken, bigtime_t timeout) override
	{
		thread_info info {};
		get_thread_info(find_thread(nullptr), &info);
		std::lock_guard lock(fMutex);
		fThreadName = info.name;
		fPriority = info.priority;
		fThread = find_thread(nullptr);
		fWhat = message->what;
		delete message;
		fDelivered = true;
		fArrived.notify_all();
		return B_OK;
	}
	bool IsOpen() const override { return true; }

	bool WaitForDelivery()
	{
		std::unique_lock lock(fMutex);
		return fArrived.wait_for(lock, std::chrono::microseconds(kLongWait), [&] { return fDelivered; });
	}

	std::mutex fMutex;
	std::condition_variable fArrived;
	bool fDelivered = false;
	std::string fThreadName;
	int32 fPriority = -1;
	thread_id fThread = -1;
	uint32 fWhat = 0;
};

// Delivery threads end after delivering; wait until none is left so that
// tests do not see each other's threads.
void WaitForDeliveryThreads()
{
	bigtime_t deadline = system_time() + kLongWait;
	while (find_thread("PostMessageAsyncThread") >= 0 && system_time() < deadline)
		snooze(1'000);
}

}   // namespace

TEST(PostMessageAsync, MessengerFormDeliversFromItsOwnThreadEvenWithoutDelay)
{
	auto target = std::make_shared<ThreadNotingTarget>();
	BMessenger messenger(target);
	BMessage message(kPing);
	PostMessageAsync(&message, &messenger, 0);
	EXPECT_EQ(message.what, kPing);   // the caller keeps its message

	ASSERT_TRUE(target->WaitForDelivery());
	std::lock_guard lock(target->fMutex);
	EXPECT_EQ(target->fWhat, kPing);
	EXPECT_NE(target->fThread, find_thread(nullptr));
	EXPECT_EQ(target->fThreadName, "PostMessageAsyncThread");
	EXPECT_EQ(target->fPriority, 80);
	WaitForDeliveryThreads();
}

TEST(PostMessageAsync, MessengerFormWaitsAtLeastTheDelayAndTracesItsThread)
{
	FlagsScope flags(DEBUG_FLAG_CONSOLE_LOG);
	CapturedOutput output;
	auto sink = std::make_shared<CMessageSink>();
	BMessenger messenger = sink->Messenger();
	BMessage message(kPing);
	message.AddInt32("track", 5);
	bigtime_t posted = system_time();
	PostMessageAsync(&message, &messenger, 100'000);

	std::unique_ptr<BMessage> received = sink->WaitForMessage(kPing, kLongWait);
	ASSERT_NE(received, nullptr);
	EXPECT_GE(system_time() - posted, 100'000);
	EXPECT_EQ(received->GetInt32("track", 0), 5);
	WaitForDeliveryThreads();

	std::string text = output.Text();
	EXPECT_NE(text.find("PostMessageAsync() enter\n"), std::string::npos);
	EXPECT_NE(text.find("PostMessageAsyncThread() enter\n"), std::string::npos);
	EXPECT_NE(text.find("PostMessageAsyncThread() leave\n"), std::string::npos);
}

TEST(PostMessageAsync, DirectPostsFromOtherThreadsAndFromTheLooperItself)
{
	FlagsScope flags(DEBUG_FLAG_CONSOLE_LOG);
	CapturedOutput output;
	RunningLooper running;
	RecordingLooper* looper = running.looper;

	BMessage ping(kPing);
	PostMessageAsync(&ping, static_cast<BLooper*>(looper), 0);
	ASSERT_EQ(looper->handler.WaitFor(1).size(), 1u);
	EXPECT_EQ(looper->handler.Thread(), looper->Thread());
	const std::string white = "\033[1;40;37m";
	EXPECT_EQ(output.Text(),
		white + "Warning: PostMessageAsync - using currect thread...\n" + white
			+ "Warning: PostMessageAsync - using currect thread...done\n");

	BMessage repost(kRepost);
	PostMessageAsync(&repost, &looper->handler, 0);
	EXPECT_EQ(looper->handler.WaitFor(3), (std::vector<uint32> {kPing, kRepost, kPing}));
	std::string text = output.Text();
	EXPECT_NE(text.find(white + "Warning: PostMessageAsync - posting syncronous...\n" + white
				  + "Warning: PostMessageAsync - posting syncronous...done\n"),
		std::string::npos);
}

TEST(PostMessageAsync, DelayedPostsToAViewOrLooperArriveAfterTheDelayOnTheLooper)
{
	RunningLooper running;
	RecordingLooper* looper = running.looper;

	BMessage ping(kPing);
	bigtime_t posted = system_time();
	PostMessageAsync(&ping, &looper->handler, 80'000);
	ASSERT_EQ(looper->handler.WaitFor(1).size(), 1u);
	EXPECT_GE(looper->handler.When() - posted, 80'000);
	EXPECT_EQ(looper->handler.Thread(), looper->Thread());

	posted = system_time();
	PostMessageAsync(&ping, static_cast<BLooper*>(looper), 50'000);
	ASSERT_EQ(looper->handler.WaitFor(2).size(), 2u);
	EXPECT_GE(looper->handler.When() - posted, 50'000);
	WaitForDeliveryThreads();
}

TEST(PostMessageAsync, LooperGoneBeforeTheDelayEndsIsNoHarm)
{
	{
		RunningLooper running;
		BMessage ping(kPing);
		PostMessageAsync(&ping, &running.looper->handler, 50'000);
		PostMessageAsync(&ping, static_cast<BLooper*>(running.looper), 50'000);
	}
	WaitForDeliveryThreads();
	SUCCEED();
}
