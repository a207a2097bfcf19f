#include "frame/MainWindowModel.h"

#include "frame/App.h"
#include "frame/Diagnostics.h"
#include "frame/Preference.h"
#include "kit/support/Message.h"

#include <map>
#include <mutex>

namespace {

const char* const kPlacementRecord = "main window";
const char* const kSourceVisibleRecord = "Main Window Source Visible";
const char* const kSplitterRecord = "Main Window Splitter";
constexpr float kDefaultSplitterShare = 50.0f;

std::mutex sOpenerLock;
std::map<uint32, std::function<void()>>& Openers()
{
	static std::map<uint32, std::function<void()>> openers;
	return openers;
}

MENU_ITEM_RECORD Item(const char* label, uint32 command, char shortcut = 0)
{
	MENU_ITEM_RECORD item;
	item.label = label;
	item.command = command;
	item.shortcut = shortcut;
	return item;
}

MENU_ITEM_RECORD Separator()
{
	MENU_ITEM_RECORD item;
	item.separator = true;
	return item;
}

MENU_ITEM_RECORD Routed(const char* label, uint32 command)
{
	MENU_ITEM_RECORD item = Item(label, command);
	item.enabled = HasWindowOpener(command);
	return item;
}

MENU_ITEM_RECORD Mark(MENU_ITEM_RECORD item, bool marked)
{
	item.checkable = true;
	item.marked = marked;
	return item;
}

}   // namespace

void RegisterWindowOpener(uint32 command, std::function<void()> opener)
{
	std::lock_guard<std::mutex> lock(sOpenerLock);
	if (opener)
		Openers()[command] = std::move(opener);
	else
		Openers().erase(command);
}

bool HasWindowOpener(uint32 command)
{
	std::lock_guard<std::mutex> lock(sOpenerLock);
	return Openers().count(command) != 0;
}

bool RunWindowOpener(uint32 command)
{
	std::function<void()> opener;
	{
		std::lock_guard<std::mutex> lock(sOpenerLock);
		auto found = Openers().find(command);
		if (found == Openers().end())
			return false;
		opener = found->second;
	}
	// Run without the lock: an opener may register others.
	opener();
	return true;
}

CMainWindowModel::CMainWindowModel()
	:
	fSourceVisible(LoadWindowPosition(kSourceVisibleRecord, BPoint(1.0f, 0)).x == 1.0f)
{
}

float CMainWindowModel::InitialSplitterShare() const
{
	return fSourceVisible ? LoadWindowPosition(kSplitterRecord, BPoint(kDefaultSplitterShare, 0)).x : 0.0f;
}

float CMainWindowModel::ToggleSource(float currentShare)
{
	fSourceVisible = !fSourceVisible;
	if (fSourceVisible)
		return LoadWindowPosition(kSplitterRecord, BPoint(kDefaultSplitterShare, 0)).x;
	SaveWindowPosition(kSplitterRecord, BPoint(currentShare, 0));
	return 0.0f;
}

bool CMainWindowModel::ToggleDebugFlag(uint32 command)
{
	uint32 flag;
	switch (command) {
		case MSG_USE_CONSOLE_LOG:
			flag = DEBUG_FLAG_CONSOLE_LOG;
			break;
		case MSG_USE_SCSI_CONSOLE_LOG:
			flag = DEBUG_FLAG_SCSI_LOG;
			break;
		default:
			return false;
	}
	uint32 flags = GetDebugFlags() ^ flag;
	SetDebugFlags(flags);
	return (flags & flag) != 0;
}

void CMainWindowModel::SaveOnClose(BRect frame, float splitterShare) const
{
	SaveWindowPlacement(kPlacementRecord, frame);
	SaveWindowPosition(kSourceVisibleRecord, BPoint(fSourceVisible ? 1.0f : 0.0f, 0));
	if (fSourceVisible)
		SaveWindowPosition(kSplitterRecord, BPoint(splitterShare, 0));
}

std::vector<MENU_RECORD> CMainWindowModel::MainMenus() const
{
	std::vector<MENU_RECORD> menus;
	menus.push_back({pszAppName,
		{Routed("Send Feedback…", MSG_SEND_FEEDBACK), Separator(), Item("About…", MSG_ABOUT), Separator(),
			Item("Quit", B_QUIT_REQUESTED, 'Q')}});
	menus.push_back({"Settings",
		{Routed("Application Preferences…", MSG_APPLICATION_PREFERENCES),
			Routed("CD Reading Preferences…", MSG_CDDA_READ_PREFERENCES),
			Routed("Device Preferences…", MSG_DEVICE_PREFERENCES), Separator(),
			Mark(Item("Show Source", MSG_SHOW_SOURCE, 'S'), fSourceVisible)}});

	uint32 flags = GetDebugFlags();
	if ((flags & DEBUG_FLAG_DEBUG_MODE) == 0)
		return menus;
	menus.push_back({"Debug Tools",
		{Item("execute ReadBufferCapacity…", MSG_DEVICE_TOOL_1), Item("execute ReadDiscInformation…", MSG_DEVICE_TOOL_2),
			Item("execute ReadAtipData…", MSG_DEVICE_TOOL_3), Item("show Write-Parameter-Page…", MSG_DEVICE_TOOL_4)}});
	menus.push_back({"Debug",
		{Mark(Item("Use Console Log", MSG_USE_CONSOLE_LOG), (flags & DEBUG_FLAG_CONSOLE_LOG) != 0),
			Mark(Item("Use SCSI Console Log", MSG_USE_SCSI_CONSOLE_LOG), (flags & DEBUG_FLAG_SCSI_LOG) != 0)}});
	return menus;
}
