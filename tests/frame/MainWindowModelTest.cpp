// The main window's rules without a window: the menu records with and
// without debug mode, the items routed through the window openers, the
// "Show Source" rule and what is stored on closing.
#include "frame/MainWindowModel.h"

#include "frame/Diagnostics.h"
#include "frame/Preference.h"
#include "kit/support/Message.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

class MainWindowModelTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		fPath = std::string(getenv("HOME")) + "/main-window-model-settings";
		std::filesystem::remove(fPath);
		ASSERT_EQ(PreferenceHandler.Init(fPath.c_str()), B_OK);
		fFlags = GetDebugFlags();
	}
	void TearDown() override
	{
		SetDebugFlags(fFlags);
		for (uint32 command : {MSG_SEND_FEEDBACK, MSG_APPLICATION_PREFERENCES, MSG_DEVICE_PREFERENCES})
			RegisterWindowOpener(command, nullptr);
	}

	// "-" for a separator; "*" after a marked item, "(off)" after a disabled
	// one, "^X" for a shortcut.
	static std::vector<std::string> Render(const MENU_RECORD& menu)
	{
		std::vector<std::string> items;
		for (const MENU_ITEM_RECORD& item : menu.items) {
			if (item.separator) {
				items.push_back("-");
				continue;
			}
			std::string text = item.label;
			if (item.shortcut != 0)
				text += std::string(" ^") + item.shortcut;
			if (item.marked)
				text += " *";
			if (!item.enabled)
				text += " (off)";
			items.push_back(text);
		}
		return items;
	}

	std::string fPath;
	uint32 fFlags = 0;
};

}   // namespace

TEST_F(MainWindowModelTest, MenusWithoutAndWithDebugModeAndOpenerRoutes)
{
	SetDebugFlags(DEBUG_FLAG_CONSOLE_LOG);   // a channel without debug mode
	CMainWindowModel model;
	std::vector<MENU_RECORD> menus = model.MainMenus();
	ASSERT_EQ(menus.size(), 2u);
	EXPECT_EQ(menus[0].title, "Tarnwick");
	EXPECT_EQ(Render(menus[0]),
		(std::vector<std::string> {"Send Feedback… (off)", "-", "About…", "-", "Quit ^Q"}));
	EXPECT_EQ(menus[1].title, "Settings");
	EXPECT_EQ(Render(menus[1]),
		(std::vector<std::string> {"Application Preferences… (off)", "CD Reading Preferences… (off)",
			"Device Preferences… (off)", "-", "Show Source ^S *"}));
	EXPECT_EQ(menus[0].items[4].command, uint32(B_QUIT_REQUESTED));

	// An installed opener enables its item and runs on the command.
	int opened = 0;
	RegisterWindowOpener(MSG_APPLICATION_PREFERENCES, [&] { opened++; });
	EXPECT_EQ(Render(model.MainMenus()[1])[0], "Application Preferences…");
	EXPECT_TRUE(RunWindowOpener(MSG_APPLICATION_PREFERENCES));
	EXPECT_FALSE(RunWindowOpener(MSG_DEVICE_PREFERENCES));
	EXPECT_EQ(opened, 1);
	RegisterWindowOpener(MSG_APPLICATION_PREFERENCES, nullptr);
	EXPECT_FALSE(HasWindowOpener(MSG_APPLICATION_PREFERENCES));

	SetDebugFlags(DEBUG_FLAG_DEBUG_MODE | DEBUG_FLAG_SCSI_LOG);
	menus = model.MainMenus();
	ASSERT_EQ(menus.size(), 4u);
	EXPECT_EQ(menus[2].title, "Debug Tools");
	EXPECT_EQ(Render(menus[2]),
		(std::vector<std::string> {"execute ReadBufferCapacity…", "execute ReadDiscInformation…",
			"execute ReadAtipData…", "show Write-Parameter-Page…"}));
	std::vector<uint32> tools;
	for (const MENU_ITEM_RECORD& item : menus[2].items)
		tools.push_back(item.command);
	EXPECT_EQ(tools, (std::vector<uint32> {65, 66, 67, 68}));
	EXPECT_EQ(menus[3].title, "Debug");
	EXPECT_EQ(Render(menus[3]), (std::vector<std::string> {"Use Console Log", "Use SCSI Console Log *"}));

	// The debug items flip their flags and their marks follow.
	EXPECT_TRUE(model.ToggleDebugFlag(MSG_USE_CONSOLE_LOG));
	EXPECT_FALSE(model.ToggleDebugFlag(MSG_USE_SCSI_CONSOLE_LOG));
	EXPECT_FALSE(model.ToggleDebugFlag(MSG_SHOW_SOURCE));
	EXPECT_EQ(GetDebugFlags(), uint32(DEBUG_FLAG_DEBUG_MODE | DEBUG_FLAG_CONSOLE_LOG));
	EXPECT_EQ(Render(model.MainMenus()[3]), (std::vector<std::string> {"Use Console Log *", "Use SCSI Console Log"}));
}

TEST_F(MainWindowModelTest, ShowSourceTwiceRestoresTheShareAndClosingStoresTheRightKeys)
{
	CMainWindowModel model;
	EXPECT_TRUE(model.IsSourceVisible());
	EXPECT_EQ(model.InitialSplitterShare(), 50.0f);

	EXPECT_EQ(model.ToggleSource(35.5f), 0.0f);
	EXPECT_FALSE(model.IsSourceVisible());
	EXPECT_FALSE(model.MainMenus()[1].items[4].marked);
	EXPECT_EQ(model.ToggleSource(0.0f), 35.5f);
	EXPECT_TRUE(model.IsSourceVisible());

	// Closing while hidden stores 0 for the visibility and keeps the share
	// the pane had.
	model.ToggleSource(42.0f);
	model.SaveOnClose(BRect(10, 20, 609, 419), 0.0f);
	EXPECT_EQ(LoadWindowPlacement("main window", BRect()), BRect(10, 20, 609, 419));
	EXPECT_EQ(LoadWindowPosition("Main Window Source Visible", BPoint(-1, -1)), BPoint(0, 0));
	EXPECT_EQ(LoadWindowPosition("Main Window Splitter", BPoint(-1, -1)), BPoint(42, 0));

	// A new window starts hidden at 0 and shows the stored share.
	CMainWindowModel again;
	EXPECT_FALSE(again.IsSourceVisible());
	EXPECT_EQ(again.InitialSplitterShare(), 0.0f);
	EXPECT_EQ(again.ToggleSource(0.0f), 42.0f);

	// Only exactly 1.0 means shown.
	SaveWindowPosition("Main Window Source Visible", BPoint(0.99f, 0));
	EXPECT_FALSE(CMainWindowModel().IsSourceVisible());
}
