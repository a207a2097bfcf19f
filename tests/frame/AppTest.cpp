// The Qt-free rules of start-up: the debug argument, the start line, the
// volume check and the project root folder with its pending move.
#include "DebugCapture.h"
#include "frame/App.h"
#include "frame/Diagnostics.h"
#include "frame/Preference.h"
#include "kit/interface/Alert.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool DebugArgument(std::vector<std::string> arguments)
{
	std::vector<char*> argv;
	for (std::string& argument : arguments)
		argv.push_back(argument.data());
	argv.push_back(nullptr);
	return IsDebugArgument(int(arguments.size()), argv.data());
}

}   // namespace

TEST(AppCommandLineTest, OnlyTheFirstArgumentInAnyCaseTurnsDebugOn)
{
	EXPECT_TRUE(DebugArgument({"Tarnwick", "debug"}));
	EXPECT_TRUE(DebugArgument({"Tarnwick", "DEBUG"}));
	EXPECT_TRUE(DebugArgument({"Tarnwick", "-Debug"}));
	EXPECT_TRUE(DebugArgument({"Tarnwick", "--dEbUg", "more"}));

	EXPECT_FALSE(DebugArgument({"Tarnwick"}));
	EXPECT_FALSE(DebugArgument({"Tarnwick", "other", "debug"}));
	EXPECT_FALSE(DebugArgument({"Tarnwick", "debugging"}));
	EXPECT_FALSE(DebugArgument({"Tarnwick", "---debug"}));
	EXPECT_FALSE(DebugArgument({"Tarnwick", ""}));
}

TEST(AppCommandLineTest, DebugArgumentSetsEveryFlagAndSaysSoInTheStartLine)
{
	FlagsScope flags(0);
	CapturedOutput trace;
	char name[] = "Tarnwick";
	char debug[] = "Debug";
	char* argv[] = {name, debug, nullptr};
	ApplyCommandLine(2, argv);
	EXPECT_EQ(GetDebugFlags(), 0xFFFFFFFFu);
	EXPECT_NE(trace.Text().find("Tarnwick 0.80 beta starting in debug mode...\n"), std::string::npos);
}

TEST(AppCommandLineTest, WithoutDebugArgumentFlagsStayAndNothingIsTraced)
{
	FlagsScope flags(0);
	CapturedOutput trace;
	char name[] = "Tarnwick";
	char other[] = "--verbose";
	char debug[] = "debug";
	char* argv[] = {name, other, debug, nullptr};
	ApplyCommandLine(3, argv);
	EXPECT_EQ(GetDebugFlags(), 0u);
	EXPECT_EQ(trace.Text(), "");
}

TEST(AppCommandLineTest, StartLineWithConsoleLogButNotDebugMode)
{
	FlagsScope flags(DEBUG_FLAG_CONSOLE_LOG);
	CapturedOutput trace;
	char name[] = "Tarnwick";
	char* argv[] = {name, nullptr};
	ApplyCommandLine(1, argv);
	EXPECT_NE(trace.Text().find("Tarnwick 0.80 beta starting...\n"), std::string::npos);
}

TEST(AppVolumeCheckTest, FirstComponentMustExistAndVolumeRootsAreTestedWhole)
{
	EXPECT_EQ(CheckProjectVolume("/tmp/tarnwick-not-there/projects"), B_OK);   // /tmp exists
	EXPECT_EQ(CheckProjectVolume("/"), B_OK);
	EXPECT_EQ(CheckProjectVolume("/tmp"), B_OK);
	EXPECT_EQ(CheckProjectVolume("/tarnwick-unmounted-volume/projects"), B_ENTRY_NOT_FOUND);
	EXPECT_EQ(CheckProjectVolume("/tarnwick-unmounted-volume"), B_ENTRY_NOT_FOUND);
	EXPECT_EQ(CheckProjectVolume(""), B_ENTRY_NOT_FOUND);
}

// The project root folder, with the settings store bound to a fresh file.
class ProjectRootFolderTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		fs::remove(GetSettingsFile());
		InitPreferenceHandler(GetSettingsFile().c_str());
		fPrevious = SetAlertHandler(&fAlerts);
		sMoves.clear();
		sMoveResult = B_OK;
		fRoot = GetSettingsDirectory() + "root-test";
		fs::remove_all(fRoot);
		fs::create_directories(fRoot);
	}
	void TearDown() override
	{
		SetAlertHandler(fPrevious);
		fs::remove_all(fRoot);
		fs::remove_all(GetDefaultProjectRootFolder());
	}

	static void StoreRecord(const std::string& root, const std::string* newRoot, bool move)
	{
		CPreference record("project root folder");
		record.AddString("rootfolder", root);
		if (newRoot != nullptr)
			record.AddString("newrootfolder", *newRoot);
		record.AddBool("move folder", move);
		ASSERT_TRUE(record.Save());
	}

	static status_t FakeMove(const char* from, const char* to)
	{
		sMoves.push_back(std::string(from) + " -> " + to);
		return sMoveResult;
	}

	static std::vector<std::string> sMoves;
	static status_t sMoveResult;
	CScriptedAlertHandler fAlerts {0};
	CAlertHandler* fPrevious = nullptr;
	std::string fRoot;
};

std::vector<std::string> ProjectRootFolderTest::sMoves;
status_t ProjectRootFolderTest::sMoveResult = B_OK;

TEST_F(ProjectRootFolderTest, DefaultFolderIsCreatedUnderTheSettingsFolder)
{
	std::string expected = GetSettingsDirectory() + "Tarnwick Projects";
	ASSERT_FALSE(fs::exists(expected));
	std::string path;
	EXPECT_EQ(ResolveProjectRootFolder(&path, FakeMove), B_OK);
	EXPECT_EQ(path, expected);
	EXPECT_TRUE(fs::is_directory(expected));
	EXPECT_TRUE(sMoves.empty());
	EXPECT_EQ(fAlerts.CountShown(), 0u);
}

TEST_F(ProjectRootFolderTest, UnmountedVolumeFailsAndCreatesNothing)
{
	const std::string missing = "/tarnwick-unmounted-volume/Projects";
	StoreRecord(missing, nullptr, false);
	std::string path;
	EXPECT_EQ(ResolveProjectRootFolder(&path, FakeMove), B_ENTRY_NOT_FOUND);
	EXPECT_EQ(path, missing);
	EXPECT_FALSE(fs::exists("/tarnwick-unmounted-volume"));
	EXPECT_FALSE(fs::exists(GetDefaultProjectRootFolder()));
}

TEST_F(ProjectRootFolderTest, NestedFolderOnAnExistingVolumeIsCreatedWhole)
{
	std::string nested = fRoot + "/a/b/projects";
	StoreRecord(nested, nullptr, false);
	std::string path;
	EXPECT_EQ(ResolveProjectRootFolder(&path, FakeMove), B_OK);
	EXPECT_EQ(path, nested);
	EXPECT_TRUE(fs::is_directory(nested));
}

TEST_F(ProjectRootFolderTest, FileInTheWayIsReported)
{
	std::string blocked = fRoot + "/file";
	FILE* file = fopen(blocked.c_str(), "w");
	ASSERT_NE(file, nullptr);
	fclose(file);
	StoreRecord(blocked, nullptr, false);
	std::string path;
	EXPECT_NE(ResolveProjectRootFolder(&path, FakeMove), B_OK);
	EXPECT_EQ(path, blocked);
}

TEST_F(ProjectRootFolderTest, PendingMoveToTheSameFolderOnlyClearsThePendingKeys)
{
	std::string root = fRoot + "/projects";
	StoreRecord(root, &root, true);
	std::string path;
	EXPECT_EQ(ResolveProjectRootFolder(&path, FakeMove), B_OK);
	EXPECT_EQ(path, root);
	EXPECT_TRUE(sMoves.empty());

	CPreference record("project root folder");
	ASSERT_TRUE(record.Load());
	EXPECT_FALSE(record.HasString("newrootfolder"));
	EXPECT_FALSE(record.HasBool("move folder"));
	std::string stored;
	record.FindString("rootfolder", &stored);
	EXPECT_EQ(stored, root);
}

TEST_F(ProjectRootFolderTest, PendingMoveMovesAndSwitchesToTheNewFolder)
{
	std::string oldRoot = fRoot + "/old";
	std::string newRoot = fRoot + "/new";
	StoreRecord(oldRoot, &newRoot, true);
	std::string path;
	EXPECT_EQ(ResolveProjectRootFolder(&path, FakeMove), B_OK);
	EXPECT_EQ(path, newRoot);
	ASSERT_EQ(sMoves.size(), 1u);
	EXPECT_EQ(sMoves[0], oldRoot + " -> " + newRoot);
	EXPECT_TRUE(fs::is_directory(newRoot));
	EXPECT_FALSE(fs::exists(oldRoot));   // the emptied old folder is removed

	CPreference record("project root folder");
	ASSERT_TRUE(record.Load());
	std::string stored;
	record.FindString("rootfolder", &stored);
	EXPECT_EQ(stored, newRoot);
	EXPECT_FALSE(record.HasBool("move folder"));
	EXPECT_FALSE(record.HasString("newrootfolder"));
}

TEST_F(ProjectRootFolderTest, FailedMoveKeepsTheOldFolderAndSaysWhy)
{
	std::string oldRoot = fRoot + "/old";
	std::string newRoot = fRoot + "/new";
	StoreRecord(oldRoot, &newRoot, true);
	sMoveResult = B_DEVICE_FULL;
	std::string path;
	EXPECT_EQ(ResolveProjectRootFolder(&path, FakeMove), B_OK);
	EXPECT_EQ(path, oldRoot);
	EXPECT_TRUE(fs::is_directory(oldRoot));

	ASSERT_EQ(fAlerts.CountShown(), 1u);
	AlertRequest alert = fAlerts.Shown()[0];
	EXPECT_EQ(alert.title, "debug alert");
	EXPECT_EQ(alert.text,
		std::string("Tarnwick\n\nAn error occured while moving the project folder to another volume. The old project "
					"folder will be used, but some projects and files have already been moved to the other "
					"volume.\n\nError: ")
			+ StatusText(B_DEVICE_FULL) + "\n\nOldpath: " + oldRoot + "\n\nNewpath: " + newRoot);

	// The move is not tried again.
	CPreference record("project root folder");
	ASSERT_TRUE(record.Load());
	std::string stored;
	record.FindString("rootfolder", &stored);
	EXPECT_EQ(stored, oldRoot);
	EXPECT_FALSE(record.HasBool("move folder"));
}

TEST_F(ProjectRootFolderTest, MissingTargetVolumeFailsAndKeepsThePendingMove)
{
	std::string oldRoot = fRoot + "/old";
	std::string newRoot = "/tarnwick-unmounted-volume/new";
	StoreRecord(oldRoot, &newRoot, true);
	std::string path;
	EXPECT_EQ(ResolveProjectRootFolder(&path, FakeMove), B_ENTRY_NOT_FOUND);
	EXPECT_TRUE(sMoves.empty());
	EXPECT_FALSE(fs::exists("/tarnwick-unmounted-volume"));

	CPreference record("project root folder");
	ASSERT_TRUE(record.Load());
	bool move = false;
	record.FindBool("move folder", &move);
	EXPECT_TRUE(move);
	std::string stored;
	record.FindString("newrootfolder", &stored);
	EXPECT_EQ(stored, newRoot);
}
