// Copies, free names and folder moves on real files, and the copy worker with
// scripted alerts and a message sink as its window.
#include "projects/FileUtil.h"
#include "projects/LowLevelFileUtil.h"

#include "kit/app/MessageSink.h"
#include "kit/interface/Alert.h"
#include "kit/kernel/OS.h"
#include "kit/storage/Directory.h"
#include "kit/storage/Entry.h"
#include "kit/storage/Node.h"
#include "kit/support/Errors.h"
#include "kit/support/Message.h"
#include "kit/support/TypeConstants.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <csignal>
#include <fcntl.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr bigtime_t kWait = 20000000;   // a generous bound, not a delay

std::string MakeTempFolder(const char* prefix)
{
	std::string pattern = std::string(getenv("HOME")) + "/" + prefix + "-XXXXXX";
	if (mkdtemp(pattern.data()) == nullptr)
		ADD_FAILURE() << "mkdtemp failed";
	return pattern;
}

void WriteFile(const std::string& path, const std::string& data)
{
	std::ofstream out(path, std::ios::binary);
	out << data;
}

std::string ReadFile(const std::string& path)
{
	std::ifstream in(path, std::ios::binary);
	return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Pattern(size_t size)
{
	std::string data(size, '\0');
	for (size_t i = 0; i < size; i++)
		data[i] = char((i * 131 + i / 977) & 0xff);
	return data;
}

entry_ref Ref(const std::string& path)
{
	entry_ref ref;
	EXPECT_EQ(B_OK, get_ref_for_path(path.c_str(), &ref)) << path;
	return ref;
}

std::string Title(const std::string& path)
{
	BNode node(path.c_str());
	std::string value;
	node.ReadAttrString("Audio:Title", &value);
	return value;
}

std::set<std::string> Names(const std::string& folder)
{
	std::set<std::string> names;
	for (const auto& entry : fs::directory_iterator(folder))
		names.insert(entry.path().filename().string());
	return names;
}

class CopyTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		fSource = MakeTempFolder("copy-source");
		fTarget = MakeTempFolder("copy-target");
	}
	void TearDown() override
	{
		SetFreeSpaceQuery(nullptr);
		std::error_code ignored;
		fs::remove_all(fSource, ignored);
		fs::remove_all(fTarget, ignored);
	}

	// A file with data, a title, a number attribute, mode 0640 and old times.
	std::string MakeTrack(const std::string& name, const std::string& data, const char* title)
	{
		std::string path = fSource + "/" + name;
		WriteFile(path, data);
		BNode node(path.c_str());
		EXPECT_EQ(B_OK, node.WriteAttrString("Audio:Title", title));
		int32 number = 7;
		EXPECT_EQ(ssize_t(sizeof(number)), node.WriteAttr("Track:Number", B_INT32_TYPE, 0, &number, sizeof(number)));
		chmod(path.c_str(), 0640);
		struct timespec times[2] = {{1000000000, 123456789}, {1200000000, 987654321}};
		utimensat(AT_FDCWD, path.c_str(), times, 0);
		return path;
	}

	std::string fSource;
	std::string fTarget;
};

// Sets RLIMIT_FSIZE for the scope: writes past it fail with EFBIG.
class FileSizeLimit {
public:
	explicit FileSizeLimit(rlim_t limit)
	{
		fHandler = signal(SIGXFSZ, SIG_IGN);
		getrlimit(RLIMIT_FSIZE, &fOld);
		struct rlimit limited = fOld;
		limited.rlim_cur = limit;
		setrlimit(RLIMIT_FSIZE, &limited);
	}
	~FileSizeLimit()
	{
		setrlimit(RLIMIT_FSIZE, &fOld);
		signal(SIGXFSZ, fHandler);
	}

private:
	struct rlimit fOld;
	sighandler_t fHandler;
};

}   // namespace

TEST(GetUnusedName, NumbersTakenNamesAndKeepsTheExtension)
{
	std::string folder = MakeTempFolder("names");
	BDirectory dir(folder.c_str());
	std::string name;
	EXPECT_EQ(B_OK, GetUnusedName(&name, &dir, "Song", "wav"));
	EXPECT_EQ("Song.wav", name);
	WriteFile(folder + "/Song.wav", "x");
	EXPECT_EQ(B_OK, GetUnusedName(&name, &dir, "Song", "wav"));
	EXPECT_EQ("Song (1).wav", name);
	// A dangling link holds its name too.
	ASSERT_EQ(0, symlink("/nonexistent/target", (folder + "/Song (1).wav").c_str()));
	EXPECT_EQ(B_OK, GetUnusedName(&name, &dir, "Song", "wav"));
	EXPECT_EQ("Song (2).wav", name);
	// Without an extension the number goes at the very end.
	EXPECT_EQ(B_OK, GetUnusedName(&name, &dir, "Song.wav"));
	EXPECT_EQ("Song.wav (1)", name);
	EXPECT_EQ(B_BAD_VALUE, GetUnusedName(&name, &dir, "sub/Song", "wav"));
	fs::remove_all(folder);
}

TEST_F(CopyTest, CopiesNeverReplaceANameAndCarryTitleModeOwnerAndTimes)
{
	std::string data = Pattern(200000);
	std::string source = MakeTrack("track.wav", data, "First Light");
	if (geteuid() == 0) {
		ASSERT_EQ(0, chown(source.c_str(), 1234, 5678));
	}
	WriteFile(fTarget + "/track.wav", "already here");

	ASSERT_EQ(B_OK, LowLevelCopyFile(Ref(source), Ref(fTarget)));
	// The access time as it was before the copy read the source (reading
	// the copy would change it again).
	struct stat first;
	ASSERT_EQ(0, stat((fTarget + "/track.wav (1)").c_str(), &first));
	EXPECT_EQ(1000000000, first.st_atim.tv_sec);
	EXPECT_EQ(123456789, first.st_atim.tv_nsec);
	ASSERT_EQ(B_OK, LowLevelCopyFile(Ref(source), Ref(fTarget)));
	EXPECT_EQ(ReadFile(fTarget + "/track.wav"), "already here");
	struct stat sourceStat;
	ASSERT_EQ(0, stat(source.c_str(), &sourceStat));
	for (const char* name : {"/track.wav (1)", "/track.wav (2)"}) {
		std::string copy = fTarget + name;
		EXPECT_EQ(data, ReadFile(copy)) << name;
		EXPECT_EQ("First Light", Title(copy)) << name;
		BNode node(copy.c_str());
		attr_info info;
		ASSERT_EQ(B_OK, node.GetAttrInfo("Track:Number", &info));
		EXPECT_EQ(B_INT32_TYPE, info.type);
		struct stat st;
		ASSERT_EQ(0, stat(copy.c_str(), &st));
		EXPECT_EQ(0640u, st.st_mode & 07777) << name;
		EXPECT_EQ(sourceStat.st_uid, st.st_uid);
		EXPECT_EQ(sourceStat.st_gid, st.st_gid);
		EXPECT_EQ(sourceStat.st_mtim.tv_sec, st.st_mtim.tv_sec);
		EXPECT_EQ(sourceStat.st_mtim.tv_nsec, st.st_mtim.tv_nsec);
	}
	EXPECT_EQ(3u, Names(fTarget).size());

	// The window's copy names its copies the same way.
	CFileCopyWorker worker;
	worker.CopyFile(Ref(source), Ref(fTarget));
	EXPECT_EQ("First Light", Title(fTarget + "/track.wav (3)"));
	EXPECT_EQ(data, ReadFile(fTarget + "/track.wav (3)"));
}

TEST_F(CopyTest, CopyAttributesSkipsTheTrackInfoAndKeepsWhatTheTargetHas)
{
	std::string source = MakeTrack("a.wav", "data", "Source Title");
	std::string target = fTarget + "/b.wav";
	WriteFile(target, "other");
	BNode sourceNode(source.c_str());
	std::string big = Pattern(1000);
	ASSERT_EQ(ssize_t(big.size()), sourceNode.WriteAttr("Big", B_RAW_TYPE, 0, big.data(), big.size()));
	ASSERT_EQ(4, sourceNode.WriteAttr("_trk/pinfo_le", B_RAW_TYPE, 0, "info", 4));
	BNode targetNode(target.c_str());
	ASSERT_EQ(B_OK, targetNode.WriteAttrString("Audio:Title", "Kept"));

	char buffer[7];   // the big attribute travels in many pieces
	EXPECT_EQ(B_OK, CopyAttributes(&sourceNode, &targetNode, buffer, sizeof(buffer)));
	EXPECT_EQ("Kept", Title(target));
	attr_info info;
	EXPECT_EQ(B_ENTRY_NOT_FOUND, targetNode.GetAttrInfo("_trk/pinfo_le", &info));
	ASSERT_EQ(B_OK, targetNode.GetAttrInfo("Big", &info));
	std::string copied(size_t(info.size), '\0');
	ASSERT_EQ(ssize_t(big.size()), targetNode.ReadAttr("Big", B_RAW_TYPE, 0, copied.data(), copied.size()));
	EXPECT_EQ(big, copied);
	ASSERT_EQ(B_OK, targetNode.GetAttrInfo("Track:Number", &info));
	EXPECT_EQ(B_INT32_TYPE, info.type);
}

TEST_F(CopyTest, FailedCopiesLeaveNothingBehind)
{
	std::string source = MakeTrack("big.wav", Pattern(300000), "Big");

	// The volume is full: refused before anything is made.
	off_t size = 300000;
	SetFreeSpaceQuery([size](const char*) { return size + 8000; });
	EXPECT_EQ(B_NO_MEMORY, LowLevelCopyFile(Ref(source), Ref(fTarget)));
	EXPECT_TRUE(Names(fTarget).empty());
	SetFreeSpaceQuery([size](const char*) { return size + 8001; });
	EXPECT_EQ(B_OK, LowLevelCopyFile(Ref(source), Ref(fTarget)));
	fs::remove(fTarget + "/big.wav");
	SetFreeSpaceQuery([](const char*) { return off_t(B_IO_ERROR); });
	EXPECT_EQ(B_IO_ERROR, LowLevelCopyFile(Ref(source), Ref(fTarget)));
	SetFreeSpaceQuery(nullptr);

	// A write fails half-way: the partial file goes.
	{
		FileSizeLimit limit(100000);
		EXPECT_EQ(B_DEVICE_FULL, LowLevelCopyFile(Ref(source), Ref(fTarget)));
	}
	EXPECT_TRUE(Names(fTarget).empty());

	// Aborted after the first block.
	std::atomic<bool> abort {false};
	FileCopyJob job;
	job.abort = &abort;
	job.progress = [&abort](off_t copied, off_t) {
		if (copied > 0)
			abort = true;
	};
	EXPECT_EQ(B_CANCELED, CopyFileInto(Ref(source), Ref(fTarget), &job));
	EXPECT_EQ(COPY_STEP_ABORTED, job.failedStep);
	EXPECT_TRUE(Names(fTarget).empty());

	// Missing sources, folders as sources, missing folders.
	job = FileCopyJob();
	EXPECT_EQ(B_ENTRY_NOT_FOUND, CopyFileInto(Ref(fSource + "/missing.wav"), Ref(fTarget), &job));
	EXPECT_EQ(COPY_STEP_OPEN_SOURCE, job.failedStep);
	EXPECT_EQ(B_IS_A_DIRECTORY, CopyFileInto(Ref(fSource), Ref(fTarget), &job));
	EXPECT_EQ(B_ENTRY_NOT_FOUND, CopyFileInto(Ref(source), Ref(fTarget + "/gone"), &job));
	EXPECT_EQ(COPY_STEP_OPEN_FOLDER, job.failedStep);
	EXPECT_TRUE(Names(fTarget).empty());
}

TEST_F(CopyTest, LinksAreCopiedWithTheirTargetAndTimes)
{
	std::string link = fSource + "/link.wav";
	std::string longTarget = "../" + std::string(1500, 'x');   // longer than the old 1023 limit
	ASSERT_EQ(0, symlink("/somewhere/else.wav", link.c_str()));
	struct timespec times[2] = {{1000000000, 0}, {1100000000, 5}};
	ASSERT_EQ(0, utimensat(AT_FDCWD, link.c_str(), times, AT_SYMLINK_NOFOLLOW));
	WriteFile(fTarget + "/link.wav", "taken");

	ASSERT_EQ(B_OK, LowLevelCopyLink(Ref(link), Ref(fTarget)));
	std::string copy = fTarget + "/link.wav (1)";
	EXPECT_EQ("/somewhere/else.wav", fs::read_symlink(copy).string());
	struct stat st;
	ASSERT_EQ(0, lstat(copy.c_str(), &st));
	EXPECT_EQ(1100000000, st.st_mtim.tv_sec);
	EXPECT_EQ(5, st.st_mtim.tv_nsec);

	std::string longLink = fSource + "/long";
	ASSERT_EQ(0, symlink(longTarget.c_str(), longLink.c_str()));
	ASSERT_EQ(B_OK, LowLevelCopyLink(Ref(longLink), Ref(fTarget)));
	EXPECT_EQ(longTarget, fs::read_symlink(fTarget + "/long").string());
	EXPECT_EQ(B_BAD_VALUE, LowLevelCopyLink(Ref(fTarget + "/link.wav"), Ref(fTarget)));
}

TEST_F(CopyTest, MovingATreeMovesEverythingItKnows)
{
	std::string data = Pattern(5000);
	MakeTrack("top.wav", data, "Top");
	fs::create_directories(fSource + "/Project/Inner");
	WriteFile(fSource + "/Project/Inner/deep.wav", "deep");
	WriteFile(fSource + "/Project/one.wav", "one");
	chmod((fSource + "/Project").c_str(), 0750);
	BNode folderNode((fSource + "/Project").c_str());
	ASSERT_EQ(B_OK, folderNode.WriteAttrString("Folder:Note", "kept"));
	ASSERT_EQ(0, symlink("../top.wav", (fSource + "/Project/link.wav").c_str()));
	ASSERT_EQ(0, mkfifo((fSource + "/pipe").c_str(), 0600));
	// A folder of that name exists already (an earlier, interrupted move).
	fs::create_directories(fTarget + "/Project");
	WriteFile(fTarget + "/Project/one.wav", "older");

	testing::internal::CaptureStdout();
	EXPECT_EQ(B_OK, MoveFolderContentRecursiv(fSource.c_str(), fTarget.c_str()));
	std::string console = testing::internal::GetCapturedStdout();
	EXPECT_NE(std::string::npos, console.find("unknown directory entry type for entry 'pipe'\n")) << console;

	EXPECT_EQ((std::set<std::string> {"pipe"}), Names(fSource));
	EXPECT_EQ((std::set<std::string> {"Project", "top.wav"}), Names(fTarget));
	EXPECT_EQ(data, ReadFile(fTarget + "/top.wav"));
	EXPECT_EQ("Top", Title(fTarget + "/top.wav"));
	EXPECT_EQ("older", ReadFile(fTarget + "/Project/one.wav"));
	EXPECT_EQ("one", ReadFile(fTarget + "/Project/one.wav (1)"));
	EXPECT_EQ("deep", ReadFile(fTarget + "/Project/Inner/deep.wav"));
	EXPECT_EQ("../top.wav", fs::read_symlink(fTarget + "/Project/link.wav").string());
	struct stat st;
	ASSERT_EQ(0, stat((fTarget + "/Project").c_str(), &st));
	EXPECT_EQ(0750u, st.st_mode & 07777);
	BNode movedFolder((fTarget + "/Project").c_str());
	std::string note;
	EXPECT_EQ(B_OK, movedFolder.ReadAttrString("Folder:Note", &note));
	EXPECT_EQ("kept", note);

	EXPECT_EQ(B_BAD_VALUE, MoveFolderContentRecursiv(fTarget.c_str(), (fTarget + "/Project").c_str()));
	EXPECT_EQ(B_BAD_VALUE, MoveFolderContentRecursiv(fTarget.c_str(), fTarget.c_str()));
}

TEST_F(CopyTest, AMoveThatRunsOutOfSpaceStopsAndLeavesTheRestInPlace)
{
	std::set<std::string> all;
	for (int i = 0; i < 6; i++) {
		std::string name = "small" + std::to_string(i) + ".wav";
		WriteFile(fSource + "/" + name, Pattern(1000));
		all.insert(name);
	}
	WriteFile(fSource + "/huge.wav", Pattern(200000));
	all.insert("huge.wav");
	SetFreeSpaceQuery([](const char*) { return off_t(100000); });

	EXPECT_EQ(B_NO_MEMORY, MoveFolderContentRecursiv(fSource.c_str(), fTarget.c_str()));
	std::set<std::string> left = Names(fSource);
	std::set<std::string> moved = Names(fTarget);
	EXPECT_EQ(1u, left.count("huge.wav"));
	EXPECT_EQ(0u, moved.count("huge.wav"));
	// Every file is in exactly one place, whole.
	std::set<std::string> together = left;
	for (const std::string& name : moved) {
		EXPECT_EQ(0u, left.count(name)) << name;
		EXPECT_EQ(Pattern(1000), ReadFile(fTarget + "/" + name));
		together.insert(name);
	}
	EXPECT_EQ(all, together);
}

// #pragma mark - the copy worker

namespace {

// Answers copy error alerts only when the test releases them; the close
// question is answered at once with `closeAnswer`.
class CGatedAlerts : public CAlertHandler {
public:
	int32 Show(const AlertRequest& request) override
	{
		std::unique_lock<std::mutex> lock(fLock);
		fShown.push_back(request);
		fChanged.notify_all();
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
	bool WaitForShown(size_t count)
	{
		std::unique_lock<std::mutex> lock(fLock);
		return fChanged.wait_for(lock, std::chrono::microseconds(kWait), [&] { return fShown.size() >= count; });
	}
	std::vector<AlertRequest> Shown()
	{
		std::lock_guard<std::mutex> lock(fLock);
		return fShown;
	}

	int32 closeAnswer = 0;

private:
	std::mutex fLock;
	std::condition_variable fChanged;
	std::vector<AlertRequest> fShown;
	std::vector<int32> fAnswers;
};

class ScopedAlertHandler {
public:
	explicit ScopedAlertHandler(CAlertHandler* handler) : fPrevious(SetAlertHandler(handler)) {}
	~ScopedAlertHandler() { SetAlertHandler(fPrevious); }

private:
	CAlertHandler* fPrevious;
};

bool WaitUntil(const std::function<bool()>& condition)
{
	bigtime_t deadline = system_time() + kWait;
	while (!condition()) {
		if (system_time() > deadline)
			return false;
		snooze(2000);
	}
	return true;
}

}   // namespace

TEST_F(CopyTest, WorkerCopiesTheQueueAndTellsItsWindow)
{
	for (const char* name : {"a.wav", "b.wav", "c.wav"})
		MakeTrack(name, Pattern(70000), name);
	CFileCopyWorker worker;
	ASSERT_EQ(B_OK, worker.InitCheck());
	thread_info info;
	ASSERT_EQ(B_OK, get_thread_info(worker.Thread(), &info));
	EXPECT_STREQ("file_copying_worker", info.name);
	EXPECT_EQ(6, info.priority);

	auto sink = std::make_shared<CMessageSink>();
	worker.SetDisplay(sink->Messenger());
	CGatedAlerts alerts;
	ScopedAlertHandler scoped(&alerts);
	// The first request fails and holds the worker in its alert.
	ASSERT_EQ(B_OK, worker.AddRequest(Ref(fSource + "/missing.wav"), Ref(fTarget)));
	for (const char* name : {"a.wav", "b.wav", "c.wav"})
		ASSERT_EQ(B_OK, worker.AddRequest(Ref(fSource + "/" + name), Ref(fTarget)));
	BMessage notCopy('nope');
	EXPECT_EQ(B_BAD_VALUE, worker.AddRequest(&notCopy));
	ASSERT_TRUE(alerts.WaitForShown(1));

	AlertRequest alert = alerts.Shown()[0];
	EXPECT_EQ(std::string("Couldn't copy file: missing.wav\n\nsrcFile.InitCheck() error:\n")
			+ StatusText(B_ENTRY_NOT_FOUND),
		alert.text);
	EXPECT_EQ((std::vector<std::string> {"Abort", "Ignore All", "Continue"}), alert.buttons);
	FileCopyDisplay display;
	worker.Pulse(&display);
	EXPECT_EQ("missing.wav", display.label);
	EXPECT_EQ("1 of 4", display.trailingLabel);
	EXPECT_EQ("To: " + fs::path(fTarget).filename().string(), display.destination);
	EXPECT_TRUE(worker.IsCopying());
	EXPECT_TRUE(sink->WaitForCount(FILE_COPY_SHOW, 1, kWait));

	alerts.Answer(2);   // "Continue"
	ASSERT_TRUE(sink->WaitForCount(FILE_COPY_HIDE, 1, kWait));
	EXPECT_TRUE(WaitUntil([&] { return !worker.IsCopying(); }));
	EXPECT_EQ(0, worker.FilesRequested());
	EXPECT_EQ(0, worker.FilesDone());
	EXPECT_EQ((std::set<std::string> {"a.wav", "b.wav", "c.wav"}), Names(fTarget));
	EXPECT_EQ("b.wav", Title(fTarget + "/b.wav"));
	EXPECT_GE(sink->CountMessages(FILE_COPY_PULSE), 5);
	EXPECT_EQ(0, sink->CountMessages(FILE_COPY_CLOSE));
	worker.Pulse(&display);
	EXPECT_EQ(100.0f, display.value);
}

TEST_F(CopyTest, IgnoreAllSilencesErrorsUntilTheQueueIsDone)
{
	CFileCopyWorker worker;
	auto sink = std::make_shared<CMessageSink>();
	worker.SetDisplay(sink->Messenger());
	CGatedAlerts alerts;
	ScopedAlertHandler scoped(&alerts);
	MakeTrack("good.wav", "good", "Good");
	for (const char* name : {"x1.wav", "x2.wav", "good.wav", "x3.wav"})
		worker.AddRequest(Ref(fSource + "/" + name), Ref(fTarget));
	ASSERT_TRUE(alerts.WaitForShown(1));
	alerts.Answer(1);   // "Ignore All"
	ASSERT_TRUE(sink->WaitForCount(FILE_COPY_HIDE, 1, kWait));
	EXPECT_EQ(1u, alerts.Shown().size());
	EXPECT_EQ((std::set<std::string> {"good.wav"}), Names(fTarget));
	EXPECT_FALSE(worker.IgnoresErrors());

	// A new queue asks again.
	worker.AddRequest(Ref(fSource + "/x4.wav"), Ref(fTarget));
	ASSERT_TRUE(alerts.WaitForShown(2));
	alerts.Answer(2);
	EXPECT_TRUE(sink->WaitForCount(FILE_COPY_HIDE, 2, kWait));
}

TEST_F(CopyTest, AbortDropsTheQueueAndClosesTheWindow)
{
	for (const char* name : {"a.wav", "b.wav"})
		MakeTrack(name, "data", name);
	CFileCopyWorker worker;
	auto sink = std::make_shared<CMessageSink>();
	worker.SetDisplay(sink->Messenger());
	CGatedAlerts alerts;
	ScopedAlertHandler scoped(&alerts);

	// "Abort" in the error alert.
	worker.AddRequest(Ref(fSource + "/missing.wav"), Ref(fTarget));
	worker.AddRequest(Ref(fSource + "/a.wav"), Ref(fTarget));
	ASSERT_TRUE(alerts.WaitForShown(1));
	alerts.Answer(0);
	ASSERT_TRUE(sink->WaitForCount(FILE_COPY_CLOSE, 1, kWait));
	EXPECT_TRUE(WaitUntil([&] { return !worker.IsCopying(); }));
	EXPECT_TRUE(Names(fTarget).empty());

	// Closing the window: "Continue" keeps it, "Abort" waits for the worker.
	worker.AddRequest(Ref(fSource + "/missing.wav"), Ref(fTarget));
	worker.AddRequest(Ref(fSource + "/b.wav"), Ref(fTarget));
	ASSERT_TRUE(alerts.WaitForShown(2));
	alerts.closeAnswer = 1;
	EXPECT_FALSE(worker.QuitRequested());
	AlertRequest question = alerts.Shown()[2];
	EXPECT_EQ("File copying not finished!\n\nAbort copy operation?", question.text);
	EXPECT_EQ((std::vector<std::string> {"Abort", "Continue"}), question.buttons);
	alerts.closeAnswer = 0;
	int turns = 0;
	EXPECT_TRUE(worker.QuitRequested([&] {
		// The GUI answers the pending error alert meanwhile.
		if (turns++ == 0)
			alerts.Answer(2);
	}));
	EXPECT_FALSE(worker.IsCopying());
	EXPECT_TRUE(Names(fTarget).empty());
	EXPECT_TRUE(worker.QuitRequested());   // nothing left: no question
	EXPECT_EQ(4u, alerts.Shown().size());
}
