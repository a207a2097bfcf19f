// The main window without its toolkit: the commands of its menus, the menu
// bar as a display record (items with shortcuts, separators, marks and
// enabled states), the "Show Source" rule with its stored splitter share,
// what is stored when the window closes, and the table of window openers
// the menu commands are routed through.
//
// The Qt window (ui/MainWindow) renders MainMenus() and hands the commands
// back to CMainWindowModel. Everything here runs on the thread of the
// window that owns the model; the opener table may be filled from any
// thread.
#pragma once

#include "kit/interface/Rect.h"
#include "kit/support/SupportDefs.h"

#include <functional>
#include <string>
#include <vector>

// Commands of the main window's menus.
enum : uint32 {
	MSG_SEND_FEEDBACK = FourCC('M', 'W', 'f', 'b'),
	MSG_ABOUT = FourCC('M', 'W', 'a', 'b'),
	MSG_APPLICATION_PREFERENCES = FourCC('M', 'W', 'a', 'p'),
	MSG_CDDA_READ_PREFERENCES = FourCC('M', 'W', 'c', 'p'),
	MSG_DEVICE_PREFERENCES = FourCC('M', 'W', 'd', 'p'),
	MSG_SHOW_SOURCE = FourCC('M', 'W', 's', 's'),
	// Debug tools, handled by the active drive page (65..73 go there).
	MSG_DEVICE_TOOL_1 = 65,
	MSG_DEVICE_TOOL_2 = 66,
	MSG_DEVICE_TOOL_3 = 67,
	MSG_DEVICE_TOOL_4 = 68,
	MSG_DRIVE_PAGE_FIRST = 65,
	MSG_DRIVE_PAGE_LAST = 73,
	MSG_USE_CONSOLE_LOG = 81,
	MSG_USE_SCSI_CONSOLE_LOG = 82,
};

// One item of a menu: a separator, or a command with its label.
struct MENU_ITEM_RECORD {
	bool separator = false;
	std::string label;
	uint32 command = 0;
	char shortcut = 0;        // with the command key (Ctrl); 0: none
	bool checkable = false;
	bool marked = false;
	bool enabled = true;

	bool operator==(const MENU_ITEM_RECORD&) const = default;
};

struct MENU_RECORD {
	std::string title;
	std::vector<MENU_ITEM_RECORD> items;
};

// The window opener table: a command that opens a window (the preference
// windows, the feedback mail) runs the opener registered for it. Openers
// are installed by the code that owns those windows, once at start-up.
// Null removes one. Any thread.
void RegisterWindowOpener(uint32 command, std::function<void()> opener);
bool HasWindowOpener(uint32 command);
// Runs the opener of `command` on the calling thread; false when none is
// registered (the command is then simply not handled yet).
bool RunWindowOpener(uint32 command);

class CMainWindowModel {
public:
	// Reads the source pane's visibility ("Main Window Source Visible": shown
	// when its x is exactly 1.0). The settings store must be bound.
	CMainWindowModel();

	bool IsSourceVisible() const { return fSourceVisible; }
	// The share the splitter starts with: the stored "Main Window Splitter"
	// share (default 50) when the source is shown, else 0.
	float InitialSplitterShare() const;
	// Inverts the visibility and returns the share the splitter takes now:
	// the stored share when the pane appears; 0 when it goes, after storing
	// `currentShare` under "Main Window Splitter".
	float ToggleSource(float currentShare);

	// Flips debug flag 1 (MSG_USE_CONSOLE_LOG) or 8 (MSG_USE_SCSI_CONSOLE_LOG)
	// and returns whether it is set now. Other commands: false, no change.
	bool ToggleDebugFlag(uint32 command);

	// What the window stores when it closes: the frame under "main window",
	// the visibility (1.0 or 0.0) and, when shown, the splitter share.
	void SaveOnClose(BRect frame, float splitterShare) const;

	// The menu bar, in order. The "Debug Tools" and "Debug" menus are there
	// only with debug flag 16; items routed through the opener table are
	// enabled when an opener is registered; "Show Source" and the debug
	// items carry their marks.
	std::vector<MENU_RECORD> MainMenus() const;

private:
	bool fSourceVisible = true;
};
