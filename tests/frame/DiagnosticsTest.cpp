// Diagnostics: tracer lines byte for byte (nesting, threads, colours), the
// console logs and their flag bits, the assertion handler's three answers.
#include "DebugCapture.h"
#include "frame/Diagnostics.h"
#include "kit/interface/Alert.h"
#include "kit/kernel/OS.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

class AlertScope {
public:
	AlertScope() : fPrevious(SetAlertHandler(&handler)) {}
	~AlertScope() { SetAlertHandler(fPrevious); }
	CScriptedAlertHandler handler {2};

private:
	CAlertHandler* fPrevious;
};

// Runs `body` on a thread of its own and waits for it.
template<typename Body>
void OnNewThread(Body body)
{
	std::thread thread(body);
	thread.join();
}

std::vector<std::string> Lines(const std::string& text)
{
	std::vector<std::string> lines;
	std::istringstream in(text);
	for (std::string line; std::getline(in, line);)
		lines.push_back(line);
	return lines;
}

void Inner()
{
	CDebugFunctionTracer tracer("Inner");
	CDebugFunctionTracer::Trace("value %d\n", 42);
}

void Middle()
{
	CDebugFunctionTracer tracer("Middle");
	Inner();
}

void Outer()
{
	CDebugFunctionTracer tracer("Outer");
	Middle();
}

}   // namespace

TEST(DebugFunctionTracer, NestedCallsIndentEachLevelInTheThreadsColour)
{
	FlagsScope flags(DEBUG_FLAG_CONSOLE_LOG);
	CapturedOutput output;
	int color = -1;
	int levelAfter = -1;
	OnNewThread([&] {
		Outer();
		color = CDebugFunctionTracer::GetColor();
		levelAfter = CDebugFunctionTracer::GetLevel();
	});

	ASSERT_GE(color, 0);
	std::string c = colormap[color % 12];
	EXPECT_EQ(output.Text(),
		c + "Outer() enter\n" + c + "| Middle() enter\n" + c + "| | Inner() enter\n" + c + "| | | value 42\n" + c
			+ "| | Inner() leave\n" + c + "| Middle() leave\n" + c + "Outer() leave\n");
	EXPECT_EQ(levelAfter, 0);
}

TEST(DebugFunctionTracer, ThreadsAreNumberedInOrderAndColoursRepeatAfterTwelve)
{
	FlagsScope flags(DEBUG_FLAG_CONSOLE_LOG);
	const int kThreads = 13;
	std::vector<uint32> words(kThreads);
	std::vector<std::string> firstLines(kThreads);
	for (int i = 0; i < kThreads; i++) {
		CapturedOutput output;
		OnNewThread([&] {
			CDebugFunctionTracer tracer("Worker");
			words[i] = CDebugFunctionTracer::GetValue();
		});
		firstLines[i] = Lines(output.Text()).at(0);
	}

	for (int i = 0; i < kThreads; i++) {
		uint32 number = words[i] >> 16;
		EXPECT_EQ(words[i] & 0xffff, 1u) << "level inside the tracer";
		if (i > 0) {
			EXPECT_EQ(number, (words[i - 1] >> 16) + 1) << "thread " << i;
		}
		EXPECT_EQ(firstLines[i], std::string(colormap[(number - 1) % 12]) + "Worker() enter");
	}
	std::string first = firstLines[0].substr(0, firstLines[0].find("Worker"));
	std::string second = firstLines[1].substr(0, firstLines[1].find("Worker"));
	std::string thirteenth = firstLines[12].substr(0, firstLines[12].find("Worker"));
	EXPECT_EQ(thirteenth, first);
	EXPECT_NE(second, first);
}

TEST(DebugFunctionTracer, ThreadsTracingAtOnceGetDistinctNumbers)
{
	FlagsScope flags(DEBUG_FLAG_CONSOLE_LOG);
	CapturedOutput output;
	std::vector<int> colors(8, -1);
	std::vector<std::thread> threads;
	for (size_t t = 0; t < colors.size(); t++) {
		threads.emplace_back([&colors, t] {
			CDebugFunctionTracer tracer("Busy");
			colors[t] = CDebugFunctionTracer::GetColor();
		});
	}
	for (std::thread& thread : threads)
		thread.join();
	std::sort(colors.begin(), colors.end());
	EXPECT_EQ(std::adjacent_find(colors.begin(), colors.end()), colors.end());
	EXPECT_EQ(Lines(output.Text()).size(), 16u);
}

TEST(DebugFunctionTracer, ConsoleLogOffPrintsNothingAndKeepsTheThreadWord)
{
	FlagsScope flags(0);
	CapturedOutput output;
	uint32 before = 0, inside = 0, after = 0;
	OnNewThread([&] {
		before = CDebugFunctionTracer::GetValue();
		{
			CDebugFunctionTracer tracer("Quiet");
			CDebugFunctionTracer::Trace("hidden\n");
			inside = CDebugFunctionTracer::GetValue();
		}
		after = CDebugFunctionTracer::GetValue();
	});
	EXPECT_EQ(output.Text(), "");
	EXPECT_EQ(inside, before);
	EXPECT_EQ(after, before);
}

TEST(DebugFunctionTracer, SwitchingTheLogOffInsideATracedFunctionRestoresTheLevel)
{
	FlagsScope flags(DEBUG_FLAG_CONSOLE_LOG);
	CapturedOutput output;
	int level = -1;
	OnNewThread([&] {
		{
			CDebugFunctionTracer tracer("Toggled");
			SetDebugFlags(0);
		}
		level = CDebugFunctionTracer::GetLevel();
	});
	EXPECT_EQ(level, 0);
	EXPECT_EQ(Lines(output.Text()).size(), 1u);   // the "enter" line only
}

TEST(DebugLog, EachLogPrintsOnlyUnderItsOwnBit)
{
	const std::string white = "\033[1;40;37m";
	struct {
		uint32 flags;
		std::string expected;
	} cases[] = {
		{DEBUG_FLAG_CONSOLE_LOG, white + "console 3\n"},
		{DEBUG_FLAG_SCSI_LOG, white + "sense 3a"},
		{0, ""},
	};
	for (const auto& c : cases) {
		FlagsScope flags(c.flags);
		CapturedOutput output;
		DebugLog("console %d\n", 3);
		DebugLogScsi("sense %02x", 0x3a);
		Dummy_DebugLog("never %d\n", 2);
		EXPECT_EQ(output.Text(), c.expected) << "flags " << c.flags;
	}
}

TEST(DebugAssert, IgnoreShowsTheFileNameOnlyAndReturns)
{
	AlertScope alerts;
	alerts.handler.QueueAnswer("Ignore");
	CapturedOutput output;
	DebugAssert("/home/build/src/devices/Device.cpp", 1234, "fdBEOS >= 0");

	EXPECT_EQ(output.Text(),
		"\033[1;40;37mAssertion failed! file: Device.cpp, line: 1234, expression: fdBEOS >= 0\n");
	std::vector<AlertRequest> shown = alerts.handler.Shown();
	ASSERT_EQ(shown.size(), 1u);
	EXPECT_EQ(shown[0].title, "assertion failed");
	EXPECT_EQ(shown[0].text,
		"Debug assertion failed!\n\nfile: Device.cpp, line: 1234\n\nPlease report file, line and the "
		"application's\nversion number to the author. Consult the readme\nfile for further information.\n\nIf "
		"you click on \"Ignore\", the application will\ntry to continue, but this may be dangerous.\n");
	EXPECT_EQ(shown[0].buttons, (std::vector<std::string> {"Abort", "Debugger", "Ignore"}));
	EXPECT_EQ(shown[0].type, B_INFO_ALERT);
	EXPECT_EQ(shown[0].width, B_WIDTH_AS_USUAL);
}

namespace {
std::string sDebuggerMessage;
int sDebuggerCalls = 0;
void RecordDebugger(const char* message)
{
	sDebuggerMessage = message;
	sDebuggerCalls++;
}
}   // namespace

TEST(DebugAssert, DebuggerEntersTheDebuggerWithTheConsoleMessageAndReturns)
{
	AlertScope alerts;
	alerts.handler.QueueAnswer("Debugger");
	CapturedOutput output;
	sDebuggerCalls = 0;
	debugger_hook previous = set_debugger_hook(RecordDebugger);
	DebugAssert("Toc.cpp", 7, "track <= 99");
	set_debugger_hook(previous);

	EXPECT_EQ(sDebuggerCalls, 1);
	EXPECT_EQ(sDebuggerMessage, "Assertion failed! file: Toc.cpp, line: 7, expression: track <= 99\n");
}

TEST(DebugAssertDeathTest, AbortEndsTheProcessWithStatusOne)
{
	GTEST_FLAG_SET(death_test_style, "threadsafe");
	EXPECT_EXIT(
		{
			CScriptedAlertHandler handler;
			handler.QueueAnswer("Abort");
			SetAlertHandler(&handler);
			// A second thread must end with the process.
			std::thread([] { snooze(60'000'000); }).detach();
			DebugAssert("a/b.cpp", 1, "false");
		},
		::testing::ExitedWithCode(1), "");
}

TEST(DebugAlert, ShowsOneOkButtonAndReturns)
{
	AlertScope alerts;
	DebugAlert("The generic add-on is missing.");
	std::vector<AlertRequest> shown = alerts.handler.Shown();
	ASSERT_EQ(shown.size(), 1u);
	EXPECT_EQ(shown[0].title, "debug alert");
	EXPECT_EQ(shown[0].text, "The generic add-on is missing.");
	EXPECT_EQ(shown[0].buttons, std::vector<std::string> {"OK"});
	EXPECT_EQ(shown[0].type, B_INFO_ALERT);
}
