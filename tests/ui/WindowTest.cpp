// Windows: the registry (exact titles, order, quitting), messages from other
// threads through the GUI event queue, and the find-or-create openers.
#include "UiTestSupport.h"

#include "kit/app/Messenger.h"
#include "kit/interface/qt/Application.h"
#include "kit/interface/qt/GuiThread.h"
#include "kit/interface/qt/Window.h"
#include "kit/support/Message.h"
#include "ui/WindowOpener.h"

#include <QEventLoop>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <future>
#include <vector>

using namespace uitest;

namespace {

class CTestWindow : public BWindow {
public:
	explicit CTestWindow(const char* title, bool agree = true) : BWindow(BRect(10, 10, 209, 109), title), agree(agree)
	{
	}

	bool QuitRequested() override
	{
		asked++;
		return agree;
	}

	void MessageReceived(BMessage* message) override
	{
		threads.push_back(find_thread(nullptr));
		whats.push_back(message->what);
		if (message->what == 'ping') {
			BMessage reply('pong');
			message->SendReply(&reply);
			return;
		}
		BWindow::MessageReceived(message);
	}

	bool agree;
	int asked = 0;
	std::vector<thread_id> threads;
	std::vector<uint32> whats;
};

// Quits itself from QuitRequested and turns a nested event loop there (as a
// dialog does), so it is gone before QuitRequested returns.
class CSelfQuittingWindow : public BWindow {
public:
	explicit CSelfQuittingWindow(const char* title) : BWindow(BRect(10, 10, 209, 109), title) {}
	bool QuitRequested() override
	{
		Quit();
		QEventLoop loop;
		QTimer::singleShot(0, &loop, &QEventLoop::quit);
		loop.exec();
		QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
		return true;
	}
};

class WindowTest : public ::testing::Test {
protected:
	BApplication fApplication {"application/x-vnd.Orrisec-WindowTest"};
};

}   // namespace

TEST_F(WindowTest, FindWindowMatchesTheExactTitleOnly)
{
	auto* first = new CTestWindow("Device Preferences");
	auto* longer = new CTestWindow("Device Preferences - drive");
	auto* second = new CTestWindow("Device Preferences");

	EXPECT_EQ(FindWindow("Device Preferences"), first);
	EXPECT_EQ(FindWindow("Device Preferences - drive"), longer);
	EXPECT_EQ(FindWindow("device preferences"), nullptr);
	EXPECT_EQ(FindWindow("Device Preferences "), nullptr);
	EXPECT_EQ(FindWindow("Device"), nullptr);
	EXPECT_EQ(FindWindow(""), nullptr);
	EXPECT_EQ(FindWindow(nullptr), nullptr);

	// Any thread may look.
	auto lookup = std::async(std::launch::async, [] { return FindWindow("Device Preferences - drive"); });
	EXPECT_EQ(lookup.get(), longer);

	first->Quit();
	EXPECT_EQ(FindWindow("Device Preferences"), second);
	second->SetTitle("Renamed");
	EXPECT_EQ(FindWindow("Device Preferences"), nullptr);
	EXPECT_EQ(FindWindow("Renamed"), second);
}

TEST_F(WindowTest, WindowsAreListedInCreationOrderUntilTheyQuit)
{
	QPointer<BWindow> a = new CTestWindow("A");
	QPointer<BWindow> b = new CTestWindow("B");
	QPointer<BWindow> c = new CTestWindow("C");
	ASSERT_EQ(CountWindows(), 3);
	EXPECT_EQ(WindowAt(0), a.data());
	EXPECT_EQ(WindowAt(1), b.data());
	EXPECT_EQ(WindowAt(2), c.data());
	EXPECT_EQ(WindowAt(3), nullptr);
	EXPECT_EQ(WindowAt(-1), nullptr);

	b->Quit();
	EXPECT_EQ(CountWindows(), 2);   // off the list at once
	EXPECT_EQ(WindowAt(1), c.data());
	EXPECT_TRUE(RunUntil([&] { return b.isNull(); }));   // deleted when the loop turns
}

TEST_F(WindowTest, MessagesFromOtherThreadsArriveOnTheGuiThread)
{
	auto* window = new CTestWindow("Receiver");
	window->Show();

	auto posted = std::async(std::launch::async, [] {
		BMessenger messenger = FindWindowMessenger("Receiver");
		BMessage message('tst1');
		return messenger.SendMessage(&message);
	});
	ASSERT_TRUE(WaitWhileRunning(posted));
	EXPECT_EQ(posted.get(), B_OK);
	ASSERT_TRUE(RunUntil([&] { return !window->whats.empty(); }));
	EXPECT_EQ(window->whats[0], uint32('tst1'));
	EXPECT_EQ(window->threads[0], GuiThread());

	// A synchronous send from another thread gets the window's answer.
	auto answered = std::async(std::launch::async, [] {
		BMessenger messenger = FindWindowMessenger("Receiver");
		BMessage ping('ping');
		BMessage reply;
		status_t status = messenger.SendMessage(&ping, &reply, 5000000, 5000000);
		return status == B_OK ? reply.what : uint32(status);
	});
	ASSERT_TRUE(WaitWhileRunning(answered));
	EXPECT_EQ(answered.get(), uint32('pong'));
}

TEST_F(WindowTest, MessengerOfAWindowThatQuitRefusesMessages)
{
	auto* window = new CTestWindow("Short-lived");
	BMessenger messenger = window->Messenger();
	EXPECT_TRUE(messenger.IsValid());
	window->Quit();
	EXPECT_FALSE(messenger.IsValid());
	BMessage message('late');
	EXPECT_EQ(messenger.SendMessage(&message), B_BAD_PORT_ID);
	EXPECT_FALSE(FindWindowMessenger("Short-lived").IsValid());
}

TEST_F(WindowTest, QuitRequestClosesOnlyAWindowThatAgrees)
{
	QPointer<CTestWindow> refusing = new CTestWindow("Refusing", false);
	QPointer<CTestWindow> agreeing = new CTestWindow("Agreeing", true);
	refusing->PostMessage(B_QUIT_REQUESTED);
	agreeing->PostMessage(B_QUIT_REQUESTED);
	ASSERT_TRUE(RunUntil([&] { return agreeing.isNull(); }));
	ASSERT_FALSE(refusing.isNull());
	EXPECT_EQ(refusing->asked, 1);
	EXPECT_EQ(FindWindow("Refusing"), refusing.data());

	// The close button asks the same question.
	refusing->close();
	EXPECT_EQ(refusing->asked, 2);
	EXPECT_EQ(FindWindow("Refusing"), refusing.data());
	refusing->agree = true;
	refusing->close();
	EXPECT_EQ(FindWindow("Refusing"), nullptr);
}

TEST_F(WindowTest, WindowDeletedWhileItIsAskedIsLeftAlone)
{
	QPointer<BWindow> closed = new CSelfQuittingWindow("Closed");
	closed->Show();
	closed->close();
	EXPECT_TRUE(closed.isNull());

	QPointer<BWindow> asked = new CSelfQuittingWindow("Asked");
	asked->PostMessage(B_QUIT_REQUESTED);
	EXPECT_TRUE(RunUntil([&] { return asked.isNull(); }));
	EXPECT_EQ(CountWindows(), 0);
}

TEST_F(WindowTest, MessagesAreRefusedOnceTheLoopHasEnded)
{
	auto* window = new CTestWindow("After the loop");
	fApplication.Quit();   // before Run: Run returns at once
	fApplication.Run();
	EXPECT_EQ(window->PostMessage('late'), B_BAD_PORT_ID);
	EXPECT_EQ(fApplication.PostMessage(B_QUIT_REQUESTED), B_BAD_PORT_ID);
}

TEST_F(WindowTest, TwoOpenersOfOneTitleGiveOneWindow)
{
	std::atomic<int> created {0};
	auto create = [&created]() -> BWindow* {
		created++;
		return new CTestWindow("CD Player - drive 1");
	};
	auto first = std::async(std::launch::async, [&] { return ShowWindowWithTitle("CD Player - drive 1", create); });
	auto second = std::async(std::launch::async, [&] { return ShowWindowWithTitle("CD Player - drive 1", create); });
	ASSERT_TRUE(WaitWhileRunning(first));
	ASSERT_TRUE(WaitWhileRunning(second));
	BWindow* window = first.get();
	ASSERT_NE(window, nullptr);
	EXPECT_EQ(second.get(), window);
	EXPECT_EQ(created.load(), 1);
	EXPECT_FALSE(window->IsHidden());

	// Another drive gets its own window; the GUI thread may open directly.
	BWindow* other = ShowWindowWithTitle("CD Player - drive 2",
		[&created]() -> BWindow* { return created++, new CTestWindow("CD Player - drive 2"); });
	EXPECT_NE(other, window);
	EXPECT_EQ(created.load(), 2);
	EXPECT_EQ(ShowWindowWithTitle("CD Player - drive 1", create), window);
	EXPECT_EQ(created.load(), 2);
}

TEST_F(WindowTest, OpenerGivesNothingWhenTheGuiHasGone)
{
	fApplication.Quit();
	fApplication.Run();
	auto opened = std::async(std::launch::async, [] {
		return ShowWindowWithTitle("Late", []() -> BWindow* { return new CTestWindow("Late"); });
	});
	ASSERT_EQ(opened.wait_for(std::chrono::seconds(10)), std::future_status::ready);
	EXPECT_EQ(opened.get(), nullptr);
	EXPECT_EQ(FindWindow("Late"), nullptr);
}
