// CMainWindow: the one document window: the menu bar and, below it, the
// splitter with the source pane and the destination pane.
#pragma once

#include "kit/interface/qt/Window.h"

class CDestinationView;
class CSourceView;
class CSplitterView;
class QAction;
class QMenuBar;

// Commands of the main window's menus.
enum : uint32 {
	MSG_SEND_FEEDBACK = FourCC('M', 'W', 'f', 'b'),
	MSG_ABOUT = FourCC('M', 'W', 'a', 'b'),
	MSG_APPLICATION_PREFERENCES = FourCC('M', 'W', 'a', 'p'),
	MSG_CDDA_READ_PREFERENCES = FourCC('M', 'W', 'c', 'p'),
	MSG_DEVICE_PREFERENCES = FourCC('M', 'W', 'd', 'p'),
	MSG_SHOW_SOURCE = FourCC('M', 'W', 's', 's'),
	// Debug tools, handled by the active drive page.
	MSG_DEVICE_TOOL_1 = 65,
	MSG_DEVICE_TOOL_2 = 66,
	MSG_DEVICE_TOOL_3 = 67,
	MSG_DEVICE_TOOL_4 = 68,
	MSG_USE_CONSOLE_LOG = 81,
	MSG_USE_SCSI_CONSOLE_LOG = 82,
};

class CMainWindow : public BWindow {
	Q_OBJECT

public:
	// GUI thread. `frame` is used unless the "main window" record holds a
	// placement that is on a screen.
	explicit CMainWindow(BRect frame);
	~CMainWindow() override;

	// Refuses and asks the application to quit, unless the application is
	// quitting already: then saves the placement, the source pane's
	// visibility and the splitter position, and agrees.
	bool QuitRequested() override;
	void MessageReceived(BMessage* message) override;

	bool IsSourceVisible() const { return fSourceVisible; }
	QMenuBar* MenuBar() const { return fMenuBar; }
	CSplitterView* Splitter() const { return fSplitter; }
	// The menu item that sends `command`, or null.
	QAction* MenuItem(uint32 command) const;

private:
	void BuildMenus();
	QAction* AddItem(class QMenu* menu, const char* label, uint32 command, bool enabled = true);
	void ToggleSource();
	void ToggleDebugFlag(uint32 flag, uint32 command);

	QMenuBar* fMenuBar;
	CSplitterView* fSplitter;
	CSourceView* fSourceView;
	CDestinationView* fDestinationView;
	bool fSourceVisible;
};

// The main window while it exists (GUI thread).
extern CMainWindow* pMainWindow;
