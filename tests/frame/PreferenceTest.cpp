// The settings store: the merge of stored records over defaults, the file
// container, crash-safe saves and damaged files.
#include "frame/Preference.h"
#include "frame/SettingsFile.h"
#include "kit/interface/Alert.h"
#include "kit/interface/Font.h"
#include "kit/storage/Resources.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::string ReadAll(const std::string& path)
{
	std::ifstream in(path, std::ios::binary);
	std::stringstream buffer;
	buffer << in.rdbuf();
	return buffer.str();
}

class PreferenceTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		fFolder = std::filesystem::path(getenv("HOME")) / ("prefs-" + std::to_string(sCounter++));
		std::filesystem::create_directories(fFolder);
		fPath = (fFolder / "Tarnwick Settings").string();
		ASSERT_EQ(PreferenceHandler.Init(fPath.c_str()), B_OK);
		fPrevious = SetAlertHandler(&fAlerts);
	}
	void TearDown() override { SetAlertHandler(fPrevious); }

	static inline int sCounter = 0;
	std::filesystem::path fFolder;
	std::string fPath;
	CScriptedAlertHandler fAlerts {2};
	CAlertHandler* fPrevious = nullptr;
};

TEST_F(PreferenceTest, NeverSavedRecordKeepsDefaults)
{
	CPreference preference("splash screen");
	preference.AddBool("show", true);
	EXPECT_FALSE(preference.Load());
	bool show = false;
	EXPECT_EQ(preference.FindBool("show", &show), B_OK);
	EXPECT_TRUE(show);
	EXPECT_EQ(fAlerts.CountShown(), 0u);
}

TEST_F(PreferenceTest, MergeReplacesDefaultsKeepsMissingAndAddsUnknownKeys)
{
	{
		CPreference stored("project root folder");
		stored.what = 'abcd';
		stored.AddString("rootfolder", "/home/ann/Projects");
		stored.AddBool("move folder", true);
		stored.AddInt32("extra", 7);
		stored.AddInt32("extra", 8);
		ASSERT_TRUE(stored.Save());
	}
	CPreference preference("project root folder");
	preference.AddString("rootfolder", "/default");
	preference.AddString("newrootfolder", "dummy");
	preference.AddBool("move folder", false);
	EXPECT_TRUE(preference.Load());

	EXPECT_EQ(preference.what, uint32('abcd'));
	EXPECT_STREQ(preference.GetString("rootfolder", ""), "/home/ann/Projects");
	EXPECT_STREQ(preference.GetString("newrootfolder", ""), "dummy");
	EXPECT_TRUE(preference.GetBool("move folder", false));
	int32 value = 0;
	EXPECT_EQ(preference.FindInt32("extra", 1, &value), B_OK);
	EXPECT_EQ(value, 8);
	// Field order: defaults first, then keys only the file had.
	const char* name = nullptr;
	type_code type;
	ASSERT_EQ(preference.GetInfo(B_ANY_TYPE, 3, &name, &type), B_OK);
	EXPECT_STREQ(name, "extra");
	EXPECT_EQ(fAlerts.CountShown(), 0u);
}

TEST_F(PreferenceTest, StoredItemsBeyondTheDefaultsAreAppended)
{
	{
		CPreference stored("list");
		for (int32 i = 0; i < 3; i++)
			stored.AddInt32("speeds", i * 10);
		ASSERT_TRUE(stored.Save());
	}
	CPreference preference("list");
	preference.AddInt32("speeds", 99);
	EXPECT_TRUE(preference.Load());
	int32 count = 0;
	type_code type;
	ASSERT_EQ(preference.GetInfo("speeds", &type, &count), B_OK);
	EXPECT_EQ(count, 3);
	EXPECT_EQ(preference.GetInt32("speeds", -1), 0);
	EXPECT_EQ(fAlerts.CountShown(), 0u) << "a longer stored list is not a type clash";
}

TEST_F(PreferenceTest, TypeClashRaisesTheAssertion)
{
	{
		CPreference stored("clash");
		stored.AddString("speed", "fast");
		ASSERT_TRUE(stored.Save());
	}
	CPreference preference("clash");
	preference.AddInt32("speed", 4);
	preference.Load();
	ASSERT_EQ(fAlerts.CountShown(), 1u);
	AlertRequest alert = fAlerts.Shown()[0];
	EXPECT_EQ(alert.title, "assertion failed");
	EXPECT_NE(alert.text.find("file: Preference.cpp"), std::string::npos);
	EXPECT_EQ(preference.GetInt32("speed", -1), 4);
}

TEST_F(PreferenceTest, RecordsShareOneFileAndSaveWhole)
{
	CPreference a("a");
	a.AddInt32("value", 1);
	ASSERT_TRUE(a.Save());
	CPreference b("b");
	b.AddInt32("value", 2);
	ASSERT_TRUE(b.Save());
	a.ReplaceInt32("value", 3);
	ASSERT_TRUE(a.Save());

	CSettingsFile file;
	ASSERT_EQ(file.Parse(ReadAll(fPath)), B_OK);
	ASSERT_EQ(file.Records().size(), 2u);
	EXPECT_EQ(file.Records()[0].name, "a");
	EXPECT_EQ(file.Records()[1].name, "b");

	CPreference loaded("a");
	loaded.AddInt32("value", 0);
	loaded.Load();
	EXPECT_EQ(loaded.GetInt32("value", 0), 3);
	// No temporary file is left behind.
	int files = 0;
	for (auto& entry : std::filesystem::directory_iterator(fFolder)) {
		(void)entry;
		files++;
	}
	EXPECT_EQ(files, 1);
}

TEST_F(PreferenceTest, DamagedFileGivesDefaultsAndIsSetAsideOnSave)
{
	{
		std::ofstream out(fPath, std::ios::binary | std::ios::trunc);
		out << "TWSF but then nothing a container holds";
	}
	CPreference preference("window");
	preference.AddRect("window placement", BRect(1, 2, 3, 4));
	EXPECT_FALSE(preference.Load());
	EXPECT_EQ(LoadWindowPlacement("main window", BRect(40, 40, 550, 420)), BRect(40, 40, 550, 420));

	SaveWindowPlacement("main window", BRect(10, 20, 300, 400));
	EXPECT_TRUE(std::filesystem::exists(fPath + ".damaged"));
	EXPECT_EQ(LoadWindowPlacement("main window", BRect(0, 0, 5, 5)), BRect(10, 20, 300, 400));
}

TEST_F(PreferenceTest, EveryDamagedFileIsKeptUnderANameOfItsOwn)
{
	const std::string damage[] = {"TWSF first damage", "TWSF second damage", "TWSF third damage"};
	for (const std::string& bytes : damage) {
		{
			std::ofstream out(fPath, std::ios::binary | std::ios::trunc);
			out << bytes;
		}
		SaveWindowPlacement("main window", BRect(10, 20, 300, 400));
		EXPECT_EQ(LoadWindowPlacement("main window", BRect(0, 0, 5, 5)), BRect(10, 20, 300, 400));
	}
	EXPECT_EQ(ReadAll(fPath + ".damaged"), damage[0]);
	EXPECT_EQ(ReadAll(fPath + ".damaged 1"), damage[1]);
	EXPECT_EQ(ReadAll(fPath + ".damaged 2"), damage[2]);
}

// A path with a terminal escape in it is shown escaped in the message.
TEST_F(PreferenceTest, TheDamagedFileMessageShowsControlCharactersEscaped)
{
	const std::string folder = (fFolder / "red\033[31mfolder").string();
	std::filesystem::create_directories(folder);
	const std::string path = folder + "/Tarnwick Settings";
	CPreferenceHandler handler;
	ASSERT_EQ(handler.Init(path.c_str()), B_OK);
	std::ofstream(path, std::ios::binary) << "TWSF damaged";
	BMessage message('abcd');
	::testing::internal::CaptureStderr();
	EXPECT_TRUE(handler.SaveMessage("window", &message));
	const std::string text = ::testing::internal::GetCapturedStderr();
	EXPECT_NE(text.find("red\\x1B[31mfolder/Tarnwick Settings.damaged"), std::string::npos) << text;
	EXPECT_EQ(text.find('\033'), std::string::npos) << text;
	EXPECT_TRUE(std::filesystem::exists(path + ".damaged"));
}

TEST_F(PreferenceTest, AFifoAtTheSettingsPathIsRefusedWithoutBlocking)
{
	const std::string fifo = (fFolder / "fifo settings").string();
	ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
	// Every call runs on a thread of its own; one that blocks in open() is
	// released by opening the FIFO's other end, and fails the test.
	auto finishes = [&](auto call) {
		auto result = std::async(std::launch::async, call);
		if (result.wait_for(std::chrono::seconds(10)) == std::future_status::ready)
			return true;
		int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
		int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
		result.wait();
		close(writer);
		close(reader);
		return false;
	};

	CPreferenceHandler handler;
	EXPECT_TRUE(finishes([&] { EXPECT_EQ(handler.Init(fifo.c_str()), B_BAD_TYPE); }));
	std::string bytes;
	EXPECT_TRUE(finishes([&] { EXPECT_EQ(CSettingsFile::ReadFile(fifo, &bytes), B_BAD_TYPE); }));

	// A FIFO put in place of a bound settings file reads as no records and
	// is neither written through nor set aside.
	ASSERT_EQ(handler.Init(fPath.c_str()), B_OK);
	std::filesystem::remove(fPath);
	ASSERT_EQ(mkfifo(fPath.c_str(), 0600), 0);
	EXPECT_TRUE(finishes([&] { EXPECT_EQ(handler.LoadMessage("window"), nullptr); }));
	BMessage message('abcd');
	EXPECT_TRUE(finishes([&] { EXPECT_FALSE(handler.SaveMessage("window", &message)); }));
	EXPECT_EQ(std::filesystem::status(fPath).type(), std::filesystem::file_type::fifo);
	EXPECT_FALSE(std::filesystem::exists(fPath + ".damaged"));

	// The program stops with a message that names the path.
	EXPECT_EXIT(
		{
			dup2(2, 1);
			InitPreferenceHandler(fifo.c_str());
		},
		::testing::ExitedWithCode(1), "Preference file open error! \".*/fifo settings\" \\(not a regular file\\)");
	EXPECT_EQ(PreferenceFileProblem("/x/a\033[2Jb", B_ENTRY_NOT_FOUND),
		"\"/x/a\\x1B[2Jb\" (No such file or directory)");
}

TEST_F(PreferenceTest, WindowPositionRoundTrip)
{
	EXPECT_EQ(LoadWindowPosition("Main Window Splitter", BPoint(5, 6)), BPoint(5, 6));
	SaveWindowPosition("Main Window Splitter", BPoint(120, 0));
	EXPECT_EQ(LoadWindowPosition("Main Window Splitter", BPoint(5, 6)), BPoint(120, 0));
}

TEST_F(PreferenceTest, DeleteIsNotImplementedAndSaysSo)
{
	CPreference preference("x");
	EXPECT_TRUE(preference.Delete());
	ASSERT_EQ(fAlerts.CountShown(), 1u);
	EXPECT_NE(fAlerts.Shown()[0].text.find("file: Preference.cpp"), std::string::npos);
}

TEST(SettingsFileTest, ParseRefusesMalformedContainers)
{
	CSettingsFile file;
	file.Set("one", B_RAW_TYPE, std::string("\0\1\2", 3));
	file.Set("two", B_RAW_TYPE, "");
	std::string good = file.Serialize();

	CSettingsFile parsed;
	ASSERT_EQ(parsed.Parse(good), B_OK);
	ASSERT_EQ(parsed.Records().size(), 2u);
	EXPECT_EQ(parsed.Records()[0].data, std::string("\0\1\2", 3));

	// Every truncation is refused, and leaves no records behind.
	for (size_t length = 1; length < good.size(); length++) {
		EXPECT_EQ(parsed.Parse(good.substr(0, length)), B_BAD_DATA) << length;
		EXPECT_TRUE(parsed.Records().empty());
	}
	EXPECT_EQ(parsed.Parse(good + "x"), B_BAD_DATA);
	EXPECT_EQ(parsed.Parse(""), B_OK);
	EXPECT_TRUE(parsed.Records().empty());

	// Duplicate names are damage, not a choice between two values.
	CSettingsFile twice;
	twice.Set("one", B_RAW_TYPE, "a");
	std::string bytes = twice.Serialize();
	std::string record = bytes.substr(12);
	bytes[8] = 2;
	EXPECT_EQ(parsed.Parse(bytes + record), B_BAD_DATA);
}

TEST(RescaleArchiveTest, FactorNearOneLeavesTheArchiveAlone)
{
	BMessage archive;
	archive.AddFloat("designfsize", 12.0f);
	archive.AddRect("_frame", BRect(0, 0, 100, 50));
	SetPlainFontHeight(12.06f);   // factor 1.005
	RescaleArchive(&archive, 0);
	BRect frame;
	archive.FindRect("_frame", &frame);
	EXPECT_EQ(frame, BRect(0, 0, 100, 50));
	SetPlainFontHeight(kDefaultFontDesignSize);
}

TEST(RescaleArchiveTest, ScalesFramesOfAllChildViews)
{
	BMessage grandChild;
	grandChild.AddRect("_frame", BRect(10, 10, 20, 20));
	BMessage child;
	child.AddRect("_frame", BRect(0, 0, 50, 25));
	child.AddMessage("_views", &grandChild);
	BMessage archive;
	archive.AddFloat("designfsize", 10.0f);
	archive.AddRect("_frame", BRect(0, 0, 100, 50));
	archive.AddMessage("_views", &child);

	SetPlainFontHeight(12.0f);   // factor 1.2, times 1.02: 1.224
	RescaleArchive(&archive, 0);
	SetPlainFontHeight(kDefaultFontDesignSize);

	BRect frame;
	archive.FindRect("_frame", &frame);
	EXPECT_EQ(frame, BRect(0, 0, 122, 61));
	BMessage scaledChild;
	ASSERT_EQ(archive.FindMessage("_views", &scaledChild), B_OK);
	scaledChild.FindRect("_frame", &frame);
	EXPECT_EQ(frame, BRect(0, 0, 61, 31));
	BMessage scaledGrandChild;
	ASSERT_EQ(scaledChild.FindMessage("_views", &scaledGrandChild), B_OK);
	scaledGrandChild.FindRect("_frame", &frame);
	EXPECT_EQ(frame, BRect(12, 12, 24, 24));
}

TEST(GetResourceTest, MissingResourceEndsTheProgram)
{
	EXPECT_EXIT(GetResource("no such view"), ::testing::ExitedWithCode(1), "");
}

TEST(GetResourceTest, BuiltInArchiveIsUnflattened)
{
	static std::string flattened;
	BMessage archive('ARCV');
	archive.AddRect("_frame", BRect(0, 0, 9, 9));
	ASSERT_EQ(archive.Flatten(&flattened), B_OK);
	RegisterResource(FourCC('A', 'R', 'C', 'V'), "test view", flattened.data(), flattened.size());
	BMessage* loaded = GetResource("test view");
	ASSERT_NE(loaded, nullptr);
	EXPECT_EQ(loaded->what, uint32('ARCV'));
	delete loaded;
}

}   // namespace
