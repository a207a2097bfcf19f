// The project page of the destination pane: renders a CProjectView
// (projects/ProjectPaneView.h), which holds the page's behaviour and what it
// shows, and sends the user's actions back to it. The track list takes drops
// of files from the desktop (text/uri-list) and drags of tracks within the
// page (the program's own flattened message, kTarnwickMessageMimeType).
//
// Files dropped from the file manager: a plain drop links them into the
// project, Ctrl copies, Shift moves; with Alt held a pop-up asks.
//
// GUI thread only, except Messenger(), which any thread may use to post
// roster notifications and drops to the page.
#pragma once

#include "kit/app/Messenger.h"
#include "projects/ProjectPaneView.h"

#include <QTreeWidget>
#include <QWidget>

#include <functional>
#include <memory>

class CProject;
class CProjectRoster;
class CProjectPageTarget;
class QGridLayout;
class QLabel;
class QMimeData;
class QToolButton;

// The MIME type of a flattened BMessage dragged within the program.
extern const char* const kTarnwickMessageMimeType;   // "application/x-vnd.tarnwick-message"

// Opens the record set-up for a project ("Write CD"). The program installs
// the opener of the set-up window; returns the one installed before. Without
// one, "Write CD" does nothing.
using RecordSetupOpener = std::function<void(CProject* project)>;
RecordSetupOpener SetRecordSetupOpener(RecordSetupOpener opener);

// The track list: rows and drag and drop.
class CProjectDirView : public QTreeWidget {
	Q_OBJECT

public:
	explicit CProjectDirView(QWidget* parent);

	// Where drops go (the page's message handler).
	std::function<void(BMessage*)> dropHandler;
	// The project whose tracks are dragged from here.
	CProject* project = nullptr;

	// A drop of `data` at `position` (viewport coordinates) with
	// `modifiers`, as the page receives it. True when it was taken.
	bool Drop(const QMimeData* data, QPoint position, Qt::KeyboardModifiers modifiers);
	// The drag data of the selected rows.
	QMimeData* SelectionMimeData() const;

protected:
	QStringList mimeTypes() const override;
	Qt::DropActions supportedDropActions() const override;
	void startDrag(Qt::DropActions actions) override;
	void dragEnterEvent(QDragEnterEvent* event) override;
	void dragMoveEvent(QDragMoveEvent* event) override;
	void dropEvent(QDropEvent* event) override;
};

class CProjectPage : public QWidget, public CProjectViewHost {
	Q_OBJECT

public:
	// `project` (not owned) must outlive the page; `roster` is the roster
	// that owns it (null: the program's roster).
	CProjectPage(CProject* project, QWidget* parent = nullptr, CProjectRoster* roster = nullptr);
	~CProjectPage() override;

	CProject* Project() const { return fView->Project(); }
	CProjectView* View() const { return fView.get(); }
	// Posts into the page's MessageReceived on the GUI thread. Any thread.
	BMessenger Messenger() const;
	// Roster notifications, drops, commands and the view's display messages.
	void MessageReceived(BMessage* message);

	// For tests: the widgets.
	CProjectDirView* List() const { return fList; }
	QLabel* StatusLine() const { return fStatus; }
	QToolButton* Button(int index) const { return fButtons[index]; }
	// Builds the context menu for the current selection (the caller owns it).
	QMenu* MakeContextMenu();

	// CProjectViewHost, on the GUI thread.
	bool AskText(const char* prompt, const char* okLabel, std::string* text) override;
	int32 PopUp(const std::vector<std::string>& items, BPoint where) override;
	status_t OpenFile(const char* path) override;

	// For tests: answers the pop-ups and text dialogs instead of the user
	// (null: ask the user).
	static void SetPopUpAnswer(std::function<int32(const std::vector<std::string>&)> answer);
	static void SetTextAnswer(std::function<bool(const char* prompt, std::string* text)> answer);

protected:
	void resizeEvent(QResizeEvent* event) override;

private:
	void _Render();
	void _ArrangeBottom();
	void _SelectionChanged();
	void _Send(const BMessage& message);
	void _InstallShortcuts();

	std::unique_ptr<CProjectView> fView;
	std::shared_ptr<CProjectPageTarget> fTarget;
	CProjectDirView* fList;
	QLabel* fStatus;
	QWidget* fButtonRow;
	QGridLayout* fBottom;
	int fStatusBeside = -1;   // status line left of the buttons (1) or above them (0); -1 before the first layout
	QToolButton* fButtons[5];
	bool fRendering = false;
};
