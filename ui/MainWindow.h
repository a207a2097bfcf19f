// CMainWindow: the one document window: the menu bar and, below it, the
// splitter with the source pane and the destination pane. Its rules (menus,
// "Show Source", what is stored on closing) are CMainWindowModel's
// (frame/MainWindowModel.h); the window renders them. Messages posted to it
// go to the model's commands, the source pane (drive tools) and the
// destination pane (the project commands, the roster's notifications,
// drops), in that order.
#pragma once

#include "frame/MainWindowModel.h"
#include "kit/interface/qt/Window.h"

class CDestinationView;
class CSourceView;
class CSplitterView;
class QAction;
class QMenuBar;

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
	// Lets go of the roster (the destination pane's pages and references)
	// before the window goes: at exit the roster is deleted right after the
	// windows are closed.
	void Quit() override;

	bool IsSourceVisible() const { return fModel.IsSourceVisible(); }
	QMenuBar* MenuBar() const { return fMenuBar; }
	CSplitterView* Splitter() const { return fSplitter; }
	// The menu item that sends `command`, or null.
	QAction* MenuItem(uint32 command) const;

	CSourceView* SourceView() const { return fSourceView; }
	CDestinationView* DestinationView() const { return fDestinationView; }

private:
	void BuildMenus();
	// Brings enabled states and marks up to date with the model.
	void UpdateMenus();
	void ToggleSource();
	void ToggleDebugFlag(uint32 command);

	CMainWindowModel fModel;

	QMenuBar* fMenuBar;
	CSplitterView* fSplitter;
	CSourceView* fSourceView;
	CDestinationView* fDestinationView;
};

// The main window while it exists (GUI thread).
extern CMainWindow* pMainWindow;
