// The splash screen: its window, its thread, the ways it ends, and a window
// that goes away before its thread does.
#include "UiTestSupport.h"

#include "kit/interface/qt/Application.h"
#include "kit/interface/qt/Bitmap.h"
#include "kit/interface/qt/Window.h"
#include "ui/SplashScreen.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>

#include <cmath>
#include <future>

using namespace uitest;

namespace {

class SplashScreenTest : public ::testing::Test {
protected:
	void TearDown() override
	{
		// Never leave a splash thread behind, and never wait unbounded.
		auto stopped = std::async(std::launch::async, [] { StopSplashScreen(); });
		EXPECT_TRUE(WaitWhileRunning(stopped, 10000000));
	}

	// Starts the splash on another thread, as start-up does, and waits for
	// the call while the GUI thread turns.
	static bool Start(const char* bitmap, bigtime_t displayTime)
	{
		auto started =
			std::async(std::launch::async, [bitmap, displayTime] { StartSplashScreen(bitmap, displayTime); });
		return WaitWhileRunning(started);
	}

	// True when the splash thread has ended within `timeout`.
	static bool SplashThreadEnds(bigtime_t timeout)
	{
		thread_id thread = SplashScreenThreadId;
		if (thread < 0)
			return true;
		auto ended = std::async(std::launch::async, [thread] {
			status_t result;
			wait_for_thread(thread, &result);
		});
		return WaitWhileRunning(ended, timeout);
	}

	BApplication fApplication {"application/x-vnd.Orrisec-SplashTest"};
};

}   // namespace

TEST_F(SplashScreenTest, BuiltInBitmapIsFound)
{
	QImage splash = GetBitmap("splash");
	EXPECT_FALSE(splash.isNull());
	EXPECT_GT(splash.width(), 100);
	EXPECT_TRUE(GetBitmap("no such bitmap").isNull());
}

TEST_F(SplashScreenTest, CentredBorderlessFloatingWindowOnAThreadOfPriority21)
{
	ASSERT_TRUE(Start("splash", 10000000));
	BWindow* window = FindWindow("splash");
	ASSERT_NE(window, nullptr);
	EXPECT_FALSE(window->IsHidden());

	QImage bitmap = GetBitmap("splash");
	QRect screen = QGuiApplication::primaryScreen()->geometry();
	BRect frame = window->Frame();
	EXPECT_EQ(frame.Width() + 1, bitmap.width());
	EXPECT_EQ(frame.Height() + 1, bitmap.height());
	EXPECT_EQ(frame.left, screen.left() + std::ceil((screen.width() - bitmap.width()) / 2.0));
	EXPECT_EQ(frame.top, screen.top() + std::ceil((screen.height() - bitmap.height()) / 2.0));
	Qt::WindowFlags flags = window->windowFlags();
	EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
	EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
	EXPECT_NE(window->findChild<QWidget*>("bitmap splash view"), nullptr);

	thread_info info;
	ASSERT_EQ(get_thread_info(SplashScreenThreadId, &info), B_OK);
	EXPECT_STREQ(info.name, "splash image");
	EXPECT_EQ(info.priority, 21);
}

TEST_F(SplashScreenTest, ClickHidesItAndTheThreadThenClosesTheWindow)
{
	ASSERT_TRUE(Start("splash", 10000000));
	BWindow* window = FindWindow("splash");
	ASSERT_NE(window, nullptr);
	QWidget* view = window->findChild<QWidget*>("bitmap splash view");
	ASSERT_NE(view, nullptr);
	QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 10), view->mapToGlobal(QPointF(10, 10)), Qt::LeftButton,
		Qt::LeftButton, Qt::NoModifier);
	QCoreApplication::sendEvent(view, &press);
	EXPECT_TRUE(window->IsHidden());
	// Long before the ten seconds are over.
	EXPECT_TRUE(RunUntil([] { return FindWindow("splash") == nullptr; }, 5000000));
	EXPECT_TRUE(SplashThreadEnds(5000000));
}

TEST_F(SplashScreenTest, DisplayTimeEndsIt)
{
	ASSERT_TRUE(Start("splash", 300000));
	EXPECT_NE(FindWindow("splash"), nullptr);
	EXPECT_TRUE(RunUntil([] { return FindWindow("splash") == nullptr; }, 8000000));
	EXPECT_TRUE(SplashThreadEnds(5000000));
}

TEST_F(SplashScreenTest, MissingBitmapShowsNothingAndTheThreadEndsAtOnce)
{
	ASSERT_TRUE(Start("no such bitmap", 10000000));
	EXPECT_EQ(FindWindow("splash"), nullptr);
	EXPECT_GE(SplashScreenThreadId, 0);
	EXPECT_TRUE(SplashThreadEnds(5000000));   // half the display time
}

TEST_F(SplashScreenTest, QuitSequenceMayCloseTheWindowWhileTheThreadRuns)
{
	ASSERT_TRUE(Start("splash", 10000000));
	BWindow* window = FindWindow("splash");
	ASSERT_NE(window, nullptr);
	window->Quit();   // as the application's quit does
	RunFor(300000);
	thread_info info;
	EXPECT_EQ(get_thread_info(SplashScreenThreadId, &info), B_OK);

	auto stopped = std::async(std::launch::async, [] { StopSplashScreen(); });
	EXPECT_TRUE(WaitWhileRunning(stopped, 5000000));
	EXPECT_EQ(SplashScreenThreadId, -1);
	EXPECT_EQ(CountWindows(), 0);
}
