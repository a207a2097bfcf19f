// The "Copying Files" window over the shared copy worker: it appears for a
// copy, shows the file, count and destination, hides when the queue is done,
// and asks before closing while files remain.
#include "UiTestSupport.h"

#include "kit/interface/qt/Application.h"
#include "kit/interface/qt/Window.h"
#include "kit/storage/EntryRef.h"
#include "kit/storage/Node.h"
#include "projects/FileUtil.h"
#include "ui/CopyWindow.h"

#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <vector>

using namespace uitest;
namespace fs = std::filesystem;

namespace {

// Holds copy error alerts until the test answers them; the close question
// is answered with `closeAnswer`.
class CHeldAlerts : public CAlertHandler {
public:
	int32 Show(const AlertRequest& request) override
	{
		std::unique_lock<std::mutex> lock(fLock);
		fShown.push_back(request);
		if (request.text.rfind("File copying not finished!", 0) == 0)
			return closeAnswer;
		fChanged.wait(lock, [this] { return !fAnswers.empty(); });
		int32 answer = fAnswers.front();
		fAnswers.erase(fAnswers.begin());
		return answer;
	}
	void Answer(int32 answer)
	{
		std::lock_guard<std::mutex> lock(fLock);
		fAnswers.push_back(answer);
		fChanged.notify_all();
	}
	size_t CountShown()
	{
		std::lock_guard<std::mutex> lock(fLock);
		return fShown.size();
	}
	std::vector<AlertRequest> Shown()
	{
		std::lock_guard<std::mutex> lock(fLock);
		return fShown;
	}

	std::atomic<int32> closeAnswer {1};

private:
	std::mutex fLock;
	std::condition_variable fChanged;
	std::vector<AlertRequest> fShown;
	std::vector<int32> fAnswers;
};

class CopyWindowTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		std::string base = std::string(getenv("HOME")) + "/copywindow";
		fSource = base + "/source";
		fTarget = base + "/Album";
		fs::create_directories(fSource);
		fs::create_directories(fTarget);
		fPrevious = SetAlertHandler(&fAlerts);
		InstallFileCopyWindow();
	}
	void TearDown() override
	{
		// Whatever is still held goes on, so the worker can end.
		for (int i = 0; i < 4; i++)
			fAlerts.Answer(2);
		ShutDownFileCopying();
		SetFileCopyDisplayMaker(nullptr);
		SetAlertHandler(fPrevious);
		fs::remove_all(fs::path(fSource).parent_path());
	}

	entry_ref Ref(const std::string& path)
	{
		entry_ref ref;
		EXPECT_EQ(B_OK, get_ref_for_path(path.c_str(), &ref));
		return ref;
	}

	void MakeFile(const std::string& name)
	{
		std::ofstream(fSource + "/" + name) << "audio data";
		BNode node((fSource + "/" + name).c_str());
		node.WriteAttrString("Audio:Title", name);
	}

	BApplication fApplication {"application/x-vnd.Orrisec-CopyWindowTest"};
	CHeldAlerts fAlerts;
	CAlertHandler* fPrevious = nullptr;
	std::string fSource;
	std::string fTarget;
};

}   // namespace

TEST_F(CopyWindowTest, ShowsTheCopyAndHidesWhenTheQueueIsDone)
{
	MakeFile("Song.wav");
	CopyFile(Ref(fSource + "/missing.wav"), Ref(fTarget));
	CopyFile(Ref(fSource + "/Song.wav"), Ref(fTarget));

	QPointer<BWindow> found;
	ASSERT_TRUE(RunUntil([&] {
		found = FindWindow("Copying Files");
		return found != nullptr && !found->IsHidden();
	}));
	auto* window = static_cast<CFileCopyWindow*>(found.data());
	EXPECT_EQ(CountWindows(), 1);
	EXPECT_EQ(360, int(window->Frame().Width()) + 1);
	// The worker waits in the alert about the missing file.
	ASSERT_TRUE(RunUntil([&] { return fAlerts.CountShown() == 1 && window->Display().label == "missing.wav"; }));
	EXPECT_EQ("1 of 2", window->Display().trailingLabel);
	EXPECT_EQ("To: Album", window->Display().destination);

	fAlerts.Answer(2);   // "Continue"
	ASSERT_TRUE(RunUntil([&] { return found.isNull() || window->IsHidden(); }));
	EXPECT_FALSE(found.isNull());
	EXPECT_TRUE(fs::exists(fTarget + "/Song.wav"));

	// The same window serves the next copy.
	MakeFile("Other.wav");
	CopyFile(Ref(fSource + "/Other.wav"), Ref(fTarget));
	ASSERT_TRUE(RunUntil([&] { return fs::exists(fTarget + "/Other.wav") && window->IsHidden(); }));
	EXPECT_EQ(CountWindows(), 1);
}

TEST_F(CopyWindowTest, ClosingWhileCopyingAsksAndStopsTheCopy)
{
	MakeFile("Later.wav");
	CopyFile(Ref(fSource + "/missing.wav"), Ref(fTarget));
	CopyFile(Ref(fSource + "/Later.wav"), Ref(fTarget));
	ASSERT_TRUE(RunUntil([&] { return fAlerts.CountShown() == 1; }));
	QPointer<BWindow> window = FindWindow("Copying Files");
	ASSERT_FALSE(window.isNull());

	// "Continue": the window stays.
	window->close();
	RunFor(50000);
	EXPECT_FALSE(window.isNull());
	ASSERT_EQ(2u, fAlerts.CountShown());
	EXPECT_EQ("File copying not finished!\n\nAbort copy operation?", fAlerts.Shown()[1].text);

	// "Abort": the copy stops, the queue is dropped, the window goes. The
	// held alert is answered ("Continue") while the window waits for the
	// worker to catch up.
	fAlerts.closeAnswer = 0;
	QTimer::singleShot(0, [this] { fAlerts.Answer(2); });
	window->close();
	EXPECT_TRUE(RunUntil([&] { return window.isNull(); }));
	EXPECT_FALSE(SharedFileCopyWorker()->IsCopying());
	EXPECT_FALSE(fs::exists(fTarget + "/Later.wav"));

	// A new copy opens a new window.
	CopyFile(Ref(fSource + "/Later.wav"), Ref(fTarget));
	EXPECT_TRUE(RunUntil([&] { return fs::exists(fTarget + "/Later.wav"); }));
	EXPECT_NE(nullptr, FindWindow("Copying Files"));
}

TEST_F(CopyWindowTest, StopButtonAbortsAndClosesTheWindow)
{
	MakeFile("Never.wav");
	CopyFile(Ref(fSource + "/missing.wav"), Ref(fTarget));
	CopyFile(Ref(fSource + "/Never.wav"), Ref(fTarget));
	ASSERT_TRUE(RunUntil([&] { return fAlerts.CountShown() == 1; }));
	QPointer<BWindow> window = FindWindow("Copying Files");
	ASSERT_FALSE(window.isNull());
	static_cast<CFileCopyWindow*>(window.data())->StopButton()->click();
	RunFor(50000);
	fAlerts.Answer(2);   // the held alert: "Continue", but the stop wins
	EXPECT_TRUE(RunUntil([&] { return window.isNull(); }));
	EXPECT_FALSE(fs::exists(fTarget + "/Never.wav"));
}
