// The alert service: handler replacement, scripted answers and records, the
// console rule, BAlert's buttons and its ownership in Go().
#include "kit/interface/Alert.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

class AlertScope {
public:
	explicit AlertScope(int32 defaultAnswer = 2) : handler(defaultAnswer), fPrevious(SetAlertHandler(&handler)) {}
	~AlertScope() { SetAlertHandler(fPrevious); }
	CScriptedAlertHandler handler;

private:
	CAlertHandler* fPrevious;
};

}   // namespace

TEST(AlertService, HandlersReplaceEachOtherAndNullRestoresTheConsole)
{
	CScriptedAlertHandler first, second;
	CAlertHandler* original = SetAlertHandler(&first);
	EXPECT_EQ(GetAlertHandler(), &first);
	EXPECT_EQ(SetAlertHandler(&second), &first);
	EXPECT_EQ(SetAlertHandler(nullptr), &second);
	EXPECT_NE(dynamic_cast<CConsoleAlertHandler*>(GetAlertHandler()), nullptr);
	SetAlertHandler(original);
	EXPECT_EQ(GetAlertHandler(), original);
}

TEST(AlertService, ScriptedAnswersComeInOrderThenTheDefault)
{
	AlertScope alerts(1);
	alerts.handler.QueueAnswer(0);
	alerts.handler.QueueAnswer("Skip");
	alerts.handler.QueueAnswer("No such button");

	BAlert alert("Question", "Go on?", "Cancel", "Skip", "Continue");
	EXPECT_EQ(alert.Go(), 0);
	EXPECT_EQ(alert.Go(), 1);   // by label
	EXPECT_EQ(alert.Go(), 1);   // unknown label: the default
	EXPECT_EQ(alert.Go(), 1);   // script used up: the default

	std::vector<AlertRequest> shown = alerts.handler.Shown();
	ASSERT_EQ(shown.size(), 4u);
	EXPECT_EQ(shown[0].title, "Question");
	EXPECT_EQ(shown[0].text, "Go on?");
	EXPECT_EQ(shown[0].buttons, (std::vector<std::string> {"Cancel", "Skip", "Continue"}));

	alerts.handler.Clear();
	EXPECT_EQ(alerts.handler.CountShown(), 0u);
}

TEST(AlertService, AlertsFromManyThreadsAreAllAnsweredAndRecorded)
{
	AlertScope alerts(0);
	const int kThreads = 4, kEach = 50;
	std::vector<std::thread> threads;
	for (int t = 0; t < kThreads; t++) {
		threads.emplace_back([t] {
			for (int i = 0; i < kEach; i++) {
				AlertRequest request;
				request.title = "thread " + std::to_string(t);
				request.buttons = {"OK"};
				ShowAlert(request);
			}
		});
	}
	for (std::thread& thread : threads)
		thread.join();
	EXPECT_EQ(alerts.handler.CountShown(), size_t(kThreads * kEach));
}

TEST(AlertService, ConsoleHandlerPrintsTheAlertAndPressesTheLastButton)
{
	CConsoleAlertHandler console;
	AlertRequest request;
	request.title = "debug alert";
	request.text = "Moving the project folder failed.";
	request.buttons = {"Abort", "Debugger", "Ignore"};
	::testing::internal::CaptureStdout();
	EXPECT_EQ(console.Show(request), 2);
	std::string printed = ::testing::internal::GetCapturedStdout();
	EXPECT_NE(printed.find("debug alert"), std::string::npos);
	EXPECT_NE(printed.find("Moving the project folder failed.\n"), std::string::npos);
	EXPECT_NE(printed.find("[Abort] [Debugger] [Ignore]"), std::string::npos);
}

TEST(BAlert, TakesTheGivenButtonsAndDeletesItselfWhenMadeWithNew)
{
	AlertScope alerts(0);
	BAlert one("t", "x", "OK");
	EXPECT_EQ(one.Request().buttons, std::vector<std::string> {"OK"});
	BAlert two("t", "x", "No", "Yes", nullptr, B_WIDTH_FROM_WIDEST, B_OFFSET_SPACING, B_WARNING_ALERT);
	EXPECT_EQ(two.Request().buttons, (std::vector<std::string> {"No", "Yes"}));
	EXPECT_EQ(two.Request().spacing, B_OFFSET_SPACING);
	EXPECT_EQ(two.Request().type, B_WARNING_ALERT);
	EXPECT_EQ(two.Go(), 0);   // on the stack: left alone

	alerts.handler.QueueAnswer(1);
	// The platform's form: Go() deletes the alert (a leak or a double delete
	// shows under the address sanitizer).
	EXPECT_EQ((new BAlert("t", "x", "A", "B"))->Go(), 1);
	EXPECT_EQ(alerts.handler.CountShown(), 2u);
}
