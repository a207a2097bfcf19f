// The application object: start-up to the main window and a clean quit with
// everything saved, a start-up that fails, the quit protocol with a window
// that refuses, SIGTERM, and the program itself shut down by SIGTERM.
#include "DebugCapture.h"
#include "UiTestSupport.h"

#include "frame/Diagnostics.h"
#include "kit/interface/qt/Window.h"
#include "kit/support/Message.h"
#include "projects/ProjectRoster.h"
#include "ui/App.h"
#include "ui/MainWindow.h"
#include "ui/SplashScreen.h"

#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace uitest;
namespace fs = std::filesystem;

namespace {

// Runs the application's loop, calling `step` on the GUI thread every 20 ms.
// False when the loop had to be ended after `timeout` milliseconds.
bool RunApp(CApp& app, const std::function<void()>& step, int timeout = 30000)
{
	bool timedOut = false;
	QTimer poll;
	poll.setInterval(20);
	QObject::connect(&poll, &QTimer::timeout, step);
	poll.start();
	QTimer guard;
	guard.setSingleShot(true);
	QObject::connect(&guard, &QTimer::timeout, [&] {
		timedOut = true;
		app.Quit();
	});
	guard.start(timeout);
	app.Run();
	return !timedOut;
}

std::unique_ptr<BMessage> Record(const char* name)
{
	return std::unique_ptr<BMessage>(PreferenceHandler.LoadMessage(name));
}

class CRefusingWindow : public BWindow {
public:
	CRefusingWindow() : BWindow(BRect(600, 40, 799, 139), "Refuser") {}
	bool QuitRequested() override
	{
		asked++;
		return agree;
	}
	bool agree = false;
	int asked = 0;
};

class AppTest : public ::testing::Test {
protected:
	void TearDown() override { fs::remove_all(GetDefaultProjectRootFolder()); }

	SettingsAndAlerts fSettings;
};

}   // namespace

TEST_F(AppTest, StartsIntoTheMainWindowAndQuitsWithEverythingSaved)
{
	auto* app = new CApp;
	thread_info info;
	ASSERT_EQ(get_thread_info(app->InitThreadId(), &info), B_OK);
	EXPECT_STREQ(info.name, "application init");
	EXPECT_EQ(info.priority, 10);

	bool sawSplash = false;
	bool sawMainWindow = false;
	int32 splashPriority = -1;
	bool finished = RunApp(*app, [&] {
		thread_id splashThread = SplashScreenThreadId;
		thread_info splashInfo;
		if (splashThread >= 0 && get_thread_info(splashThread, &splashInfo) == B_OK
			&& strcmp(splashInfo.name, "splash image") == 0)
			splashPriority = splashInfo.priority;
		if (FindWindow("splash") != nullptr)
			sawSplash = true;
		if (!sawMainWindow && FindWindow("Tarnwick") != nullptr) {
			sawMainWindow = true;
			EXPECT_EQ(FindWindow("Tarnwick"), pMainWindow);
			app->PostMessage(B_QUIT_REQUESTED);
		}
	});
	EXPECT_TRUE(finished);
	EXPECT_TRUE(sawMainWindow);
	EXPECT_TRUE(sawSplash);
	EXPECT_EQ(splashPriority, 21);
	EXPECT_TRUE(g_bApplicationQuitting);
	EXPECT_EQ(CountWindows(), 0);
	ASSERT_NE(gpProjectRoster, nullptr);

	delete app;
	EXPECT_EQ(gpProjectRoster, nullptr);
	EXPECT_EQ(SplashScreenThreadId, -1);
	EXPECT_EQ(fSettings.alerts.CountShown(), 0u);

	auto placement = Record("main window");
	ASSERT_NE(placement, nullptr);
	BRect frame;
	EXPECT_EQ(placement->FindRect("window placement", &frame), B_OK);
	EXPECT_EQ(frame, BRect(40, 40, 550, 420));
	auto splash = Record("splash screen");
	ASSERT_NE(splash, nullptr);
	EXPECT_TRUE(splash->GetBool("show", false));
	auto root = Record("project root folder");
	ASSERT_NE(root, nullptr);
	std::string rootFolder;
	root->FindString("rootfolder", &rootFolder);
	EXPECT_EQ(rootFolder, GetDefaultProjectRootFolder());
	EXPECT_TRUE(fs::is_directory(rootFolder));
	EXPECT_NE(Record("Main Window Source Visible"), nullptr);
}

TEST_F(AppTest, SplashScreenSwitchedOffShowsNone)
{
	CPreference splash("splash screen");
	splash.AddBool("show", false);
	ASSERT_TRUE(splash.Save());

	auto* app = new CApp;
	bool sawSplash = false;
	bool finished = RunApp(*app, [&] {
		sawSplash = sawSplash || FindWindow("splash") != nullptr;
		if (FindWindow("Tarnwick") != nullptr)
			app->PostMessage(B_QUIT_REQUESTED);
	});
	delete app;
	EXPECT_TRUE(finished);
	EXPECT_FALSE(sawSplash);
}

TEST_F(AppTest, UnusableProjectFolderShowsTheQuitAlertAndEndsTheProgram)
{
	const std::string missing = "/tarnwick-unmounted-volume/Projects";
	CPreference record("project root folder");
	record.AddString("rootfolder", missing);
	ASSERT_TRUE(record.Save());

	auto* app = new CApp;
	bool sawMainWindow = false;
	bool finished = RunApp(*app, [&] { sawMainWindow = sawMainWindow || FindWindow("Tarnwick") != nullptr; });
	EXPECT_TRUE(finished);   // the quit came from start-up itself
	EXPECT_FALSE(sawMainWindow);
	delete app;

	std::vector<AlertRequest> shown = fSettings.alerts.Shown();
	ASSERT_EQ(shown.size(), 2u);
	EXPECT_EQ(shown[0].title, "Error Box");
	EXPECT_EQ(shown[0].text, "Couldn't initialize project folder.\n\n" + missing + "\n\nError: "
		+ StatusText(B_ENTRY_NOT_FOUND));
	EXPECT_EQ(shown[0].buttons, std::vector<std::string> {"Quit"});
	EXPECT_EQ(shown[0].type, B_INFO_ALERT);
	EXPECT_EQ(shown[0].feel, B_ALERT_FLOATING_ALL_FEEL);
	// Shutdown still runs in full; there is no folder whose place it could save.
	EXPECT_EQ(shown[1].title, "Error Box");
	EXPECT_EQ(shown[1].text, std::string("Tarnwick\n\nCouldn't save current project folder location.\n\nError: ")
		+ StatusText(B_NO_INIT) + "\n\n");
	EXPECT_EQ(shown[1].feel, B_ALERT_FLOATING_ALL_FEEL);

	EXPECT_FALSE(fs::exists("/tarnwick-unmounted-volume"));
	auto root = Record("project root folder");
	ASSERT_NE(root, nullptr);
	std::string rootFolder;
	root->FindString("rootfolder", &rootFolder);
	EXPECT_EQ(rootFolder, missing);
}

TEST_F(AppTest, WindowThatRefusesCancelsTheQuitAndClearsTheFlag)
{
	FlagsScope flags(DEBUG_FLAG_CONSOLE_LOG);
	CapturedOutput trace;
	auto* app = new CApp;
	CRefusingWindow* refuser = nullptr;
	int stage = 0;
	bool finished = RunApp(*app, [&] {
		if (stage == 0 && FindWindow("Tarnwick") != nullptr) {
			refuser = new CRefusingWindow;   // listed after the main window
			refuser->Show();
			app->PostMessage(B_QUIT_REQUESTED);
			stage = 1;
		} else if (stage == 1 && refuser->asked == 1) {
			EXPECT_FALSE(g_bApplicationQuitting);
			EXPECT_NE(FindWindow("Tarnwick"), nullptr);   // asked first, still open
			EXPECT_EQ(FindWindow("Refuser"), refuser);
			refuser->agree = true;
			app->PostMessage(B_QUIT_REQUESTED);
			stage = 2;
		}
	});
	delete app;
	EXPECT_TRUE(finished);
	EXPECT_EQ(stage, 2);
	std::string text = trace.Text();
	EXPECT_NE(text.find("| asking windows to quit\n"), std::string::npos);
	EXPECT_NE(text.find("| window refused to quit: \"Refuser\"\n"), std::string::npos);
	EXPECT_NE(text.find("| application quit canceled\n"), std::string::npos);
	EXPECT_NE(text.find("| closing all windows now\n"), std::string::npos);
}

TEST_F(AppTest, ClosingTheMainWindowStartsTheApplicationsQuit)
{
	FlagsScope flags(DEBUG_FLAG_CONSOLE_LOG);
	CapturedOutput trace;
	auto* app = new CApp;
	bool closed = false;
	bool finished = RunApp(*app, [&] {
		BWindow* main = FindWindow("Tarnwick");
		if (!closed && main != nullptr) {
			closed = true;
			main->close();
			EXPECT_EQ(FindWindow("Tarnwick"), main);   // refused for now
		}
	});
	delete app;
	EXPECT_TRUE(finished);
	EXPECT_NE(trace.Text().find("passing quit request to application\n"), std::string::npos);
	EXPECT_NE(Record("main window"), nullptr);
}

TEST_F(AppTest, SigtermAsksTheApplicationToQuit)
{
	struct sigaction before = {};
	sigaction(SIGTERM, nullptr, &before);

	auto* app = new CApp;
	bool sent = false;
	bool finished = RunApp(*app, [&] {
		if (!sent && FindWindow("Tarnwick") != nullptr) {
			sent = true;
			raise(SIGTERM);
		}
	});
	delete app;
	EXPECT_TRUE(finished);
	EXPECT_TRUE(sent);
	EXPECT_NE(Record("main window"), nullptr);

	struct sigaction after = {};
	sigaction(SIGTERM, nullptr, &after);
	EXPECT_EQ(after.sa_handler, before.sa_handler);   // given back
}

// The program itself: started headless in debug mode and sent SIGTERM once
// it runs, it shuts down and exits with 0.
TEST(ProgramTest, SigtermShutsTheProgramDownCleanly)
{
	char self[4096];
	ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
	ASSERT_GT(length, 0);
	self[length] = '\0';
	fs::path program = fs::path(self).parent_path().parent_path() / "Tarnwick";
	if (!fs::exists(program))
		GTEST_SKIP() << "build the Tarnwick target first (" << program << ")";

	std::string home = fs::temp_directory_path() / "tarnwick-program-XXXXXX";
	ASSERT_NE(mkdtemp(home.data()), nullptr);

	// Everything the child needs is made before fork: after it only
	// async-signal-safe calls are allowed.
	std::vector<std::string> environment = {"QT_QPA_PLATFORM=offscreen", "HOME=" + home,
		"XDG_CONFIG_HOME=" + home + "/config", "XDG_DATA_HOME=" + home + "/data"};
	if (const char* path = getenv("PATH"))
		environment.push_back(std::string("PATH=") + path);
	std::vector<char*> envp;
	for (std::string& entry : environment)
		envp.push_back(entry.data());
	envp.push_back(nullptr);
	std::string programPath = program.string();
	char debug[] = "debug";
	char* argv[] = {programPath.data(), debug, nullptr};

	int output[2];
	ASSERT_EQ(pipe2(output, O_CLOEXEC), 0);
	pid_t child = fork();
	ASSERT_GE(child, 0);
	if (child == 0) {
		dup2(output[1], STDOUT_FILENO);
		dup2(output[1], STDERR_FILENO);
		execve(argv[0], argv, envp.data());
		_exit(127);
	}
	close(output[1]);

	// Reads what the program prints until `text` shows up or time runs out.
	std::string printed;
	auto readUntil = [&](const char* text, bigtime_t timeout) {
		bigtime_t deadline = system_time() + timeout;
		while (printed.find(text) == std::string::npos && system_time() < deadline) {
			struct pollfd fd = {output[0], POLLIN, 0};
			if (poll(&fd, 1, 100) <= 0)
				continue;
			char buffer[4096];
			ssize_t got = read(output[0], buffer, sizeof(buffer));
			if (got <= 0)
				break;
			printed.append(buffer, size_t(got));
		}
		return printed.find(text) != std::string::npos;
	};

	bool running = readUntil("Running application", 30000000);
	EXPECT_TRUE(running) << printed;
	kill(child, SIGTERM);
	EXPECT_TRUE(readUntil("Application is now shut down", 30000000)) << printed;

	int status = 0;
	pid_t done = 0;
	for (bigtime_t deadline = system_time() + 30000000; system_time() < deadline;) {
		done = waitpid(child, &status, WNOHANG);
		if (done != 0)
			break;
		snooze(20000);
	}
	if (done == 0) {
		kill(child, SIGKILL);
		waitpid(child, &status, 0);
		ADD_FAILURE() << "the program did not end after SIGTERM";
	} else {
		ASSERT_EQ(done, child);
		EXPECT_TRUE(WIFEXITED(status));
		EXPECT_EQ(WEXITSTATUS(status), 0);
	}
	close(output[0]);
	EXPECT_NE(printed.find("starting in debug mode..."), std::string::npos);
	EXPECT_NE(printed.find("CApp::QuitRequested() enter"), std::string::npos);
	fs::remove_all(home);
}
