// PostMessageAsync: direct posts with their log lines, delayed posts through
// the "PostMessageAsyncThread" thread, the messenger form's thread even at
// delay 0, and a target that goes away during the delay.
#include "DebugCapture.h"
#include "frame/Diagnostics.h"
#include "frame/PostMessageAsync.h"
#include "kit/app/Looper.h"
#include "kit/app/MessageSink.h"
#include "kit/app/Messenger.h"
#include "kit/kernel/OS.h"
#include "kit/support/Message.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

constexpr uint32 kPing = FourCC('P', 'i', 'n', 'g');
constexpr uint32 kRepost = FourCC('R', 'p', 's', 't');
constexpr bigtime_t kLongWait = 30'000'000;
const std::string kWhite = "\033[1;40;37m";

// Copies what arrives into `sink`, noting the thread that delivered it
// ("thread", "thread name", "priority").
void Note(CMessageSink& sink, const BMessage& message)
{
	thread_info info {};
	get_thread_info(find_thread(nullptr), &info);
	BMessage* copy = new BMessage(message);
	copy->AddInt32("thread", find_thread(nullptr));
	copy->AddString("thread name", info.name);
	copy->AddInt32("priority", info.priority);
	sink.Enqueue(copy, -1, 0);
}

class NotingTarget : public BMessageTarget {
public:
	status_t Enqueue(BMessage* message, int32, bigtime_t) override
	{
		Note(*sink, *message);
		delete message;
		return B_OK;
	}
	bool IsOpen() const override { return true; }
	std::shared_ptr<CMessageSink> sink = std::make_shared<CMessageSink>();
};

// A looper whose handler "view" and the looper itself note what they get.
class NotingLooper : public BLooper {
public:
	class View : public BHandler {
	public:
		View(CMessageSink& sink) : BHandler("view"), fSink(sink) {}
		void MessageReceived(BMessage* message) override
		{
			if (message->what == kRepost) {
				BMessage ping(kPing);
				PostMessageAsync(&ping, static_cast<BHandler*>(this), 0);   // from the looper's thread
			}
			Note(fSink, *message);
		}

	private:
		CMessageSink& fSink;
	};

	NotingLooper() : BLooper("post test looper"), view(*sink)
	{
		AddHandler(&view);
		Run();
	}
	~NotingLooper() override { RemoveHandler(&view); }
	void MessageReceived(BMessage* message) override { view.MessageReceived(message); }
	void QuitNow()
	{
		Lock();
		Quit();
	}

	std::shared_ptr<CMessageSink> sink = std::make_shared<CMessageSink>();
	View view;
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
	auto target = std::make_shared<NotingTarget>();
	BMessenger messenger(target);
	BMessage message(kPing);
	PostMessageAsync(&message, &messenger, 0);
	EXPECT_EQ(message.what, kPing);   // the caller keeps its message

	std::unique_ptr<BMessage> received = target->sink->WaitForMessage(kPing, kLongWait);
	ASSERT_NE(received, nullptr);
	EXPECT_NE(received->GetInt32("thread", -1), find_thread(nullptr));
	EXPECT_STREQ(received->GetString("thread name", ""), "PostMessageAsyncThread");
	EXPECT_EQ(received->GetInt32("priority", -1), 80);
	WaitForDeliveryThreads();
}

TEST(PostMessageAsync, MessengerFormWaitsAtLeastTheDelayAndTracesItsThread)
{
	uint32 flags = GetDebugFlags();
	SetDebugFlags(DEBUG_FLAG_CONSOLE_LOG);
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
	SetDebugFlags(flags);

	std::string text = output.Text();
	EXPECT_NE(text.find("PostMessageAsync() enter\n"), std::string::npos);
	EXPECT_NE(text.find("PostMessageAsyncThread() enter\n"), std::string::npos);
	EXPECT_NE(text.find("PostMessageAsyncThread() leave\n"), std::string::npos);
}

TEST(PostMessageAsync, DirectPostsFromOtherThreadsAndFromTheLooperItself)
{
	uint32 flags = GetDebugFlags();
	SetDebugFlags(DEBUG_FLAG_CONSOLE_LOG);
	CapturedOutput output;
	NotingLooper* looper = new NotingLooper;

	BMessage ping(kPing);
	PostMessageAsync(&ping, static_cast<BLooper*>(looper), 0);
	std::unique_ptr<BMessage> received = looper->sink->WaitForMessage(kPing, kLongWait);
	ASSERT_NE(received, nullptr);
	EXPECT_EQ(received->GetInt32("thread", -1), looper->Thread());
	EXPECT_EQ(output.Text(), kWhite + "Warning: PostMessageAsync - using currect thread...\n" + kWhite
			+ "Warning: PostMessageAsync - using currect thread...done\n");

	BMessage repost(kRepost);
	PostMessageAsync(&repost, &looper->view, 0);
	EXPECT_NE(looper->sink->WaitForMessage(kPing, kLongWait), nullptr);
	EXPECT_NE(output.Text().find(kWhite + "Warning: PostMessageAsync - posting syncronous...\n" + kWhite
				  + "Warning: PostMessageAsync - posting syncronous...done\n"),
		std::string::npos);
	looper->QuitNow();
	SetDebugFlags(flags);
}

TEST(PostMessageAsync, DelayedPostsToAViewOrLooperArriveAfterTheDelayOnTheLooper)
{
	NotingLooper* looper = new NotingLooper;
	BMessage ping(kPing);
	for (bool toView : {true, false}) {
		bigtime_t posted = system_time();
		if (toView)
			PostMessageAsync(&ping, &looper->view, 80'000);
		else
			PostMessageAsync(&ping, static_cast<BLooper*>(looper), 80'000);
		std::unique_ptr<BMessage> received = looper->sink->WaitForMessage(kPing, kLongWait);
		ASSERT_NE(received, nullptr);
		EXPECT_GE(system_time() - posted, 80'000);
		EXPECT_EQ(received->GetInt32("thread", -1), looper->Thread());
	}
	WaitForDeliveryThreads();
	looper->QuitNow();

	// A looper gone before the delay has passed: the delivery fails quietly.
	looper = new NotingLooper;
	PostMessageAsync(&ping, &looper->view, 50'000);
	PostMessageAsync(&ping, static_cast<BLooper*>(looper), 50'000);
	looper->QuitNow();
	WaitForDeliveryThreads();
}
