// CProjectView: the behaviour and the displayed state of one project's page
// in the destination pane, without any widget. It lists the project's tracks
// (six text columns per row), the status line and the context menu, reacts
// to the roster's notifications, to the page's commands and to drops, and
// changes the project only through the project model under the roster lock
// and then the project lock, letting the roster announce the change.
//
// The page (a Qt widget in the program, a message sink in tests) is told of
// every change of the display record by a PROJECT_VIEW_CHANGED message posted
// to the display messenger; it then reads Display() on its own thread.
// Dialogs, pop-up menus and opening a file go through a CProjectViewHost.
//
// Threads: every member is called on the page's thread (the GUI thread in the
// program), except RunningDropThreads and WaitForDropThreads (any thread).
// The drop threads touch only the file system and the alerts.
#pragma once

#include "kit/app/Messenger.h"
#include "kit/interface/Point.h"
#include "kit/support/Message.h"
#include "kit/support/SupportDefs.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

class CProject;
class CProjectRoster;
class CProjectTrack;

enum : uint32 {
	// To the display messenger: the display record changed.
	PROJECT_VIEW_CHANGED = 'PvCh',
	// To the display messenger: open the record set-up for the pointer
	// field "project".
	PROJECT_VIEW_OPEN_RECORD_SETUP = 'PvRS',

	// Commands (menu items, buttons, shortcuts) to MessageReceived.
	PROJECT_VIEW_PLAY = 'PvPl',         // optional "index": that row, else the first selected
	PROJECT_VIEW_STOP = 'PvSt',
	PROJECT_VIEW_GET_INFO = 'PvGI',
	PROJECT_VIEW_EDIT_ARTIST = 'PvEA',
	PROJECT_VIEW_EDIT_TITLE = 'PvET',
	PROJECT_VIEW_SWAP = 'PvSw',
	PROJECT_VIEW_EDIT_PAUSE = 'PvEP',
	PROJECT_VIEW_SET_PAUSE = 'PvSP',    // "seconds" (int32)
	PROJECT_VIEW_MOVE_TO = 'PvMT',      // "project" (pointer)
	PROJECT_VIEW_COPY_TO = 'PvCT',      // "project" (pointer)
	PROJECT_VIEW_DELETE = 'PvDl',
	PROJECT_VIEW_WRITE_CD = 'PvWC',
	PROJECT_VIEW_MOVE_UP = 'PvUp',
	PROJECT_VIEW_MOVE_DOWN = 'PvDn',
};

// Mouse buttons as drops carry them in "buttons".
constexpr int32 kPrimaryMouseButton = 1;
constexpr int32 kSecondaryMouseButton = 2;

// The flag of a drag of tracks within one page. Such a drop also carries
// "source_index" (the row under the click point; absent: the first selected
// row) and "target_index" (the row under the drop point; the row count when
// below the last row).
extern const char* const kTrackDragDropFlag;   // "project_track_drag_drop"

// The longest pause a track may get, in sectors (one hour).
constexpr int64 kMaxPauseSectors = 270000;

// Prints a length in sectors as "%02d:%02d.%02d" (minutes, seconds, frames
// of 75 per second). Negative lengths print as 00:00.00.
std::string FormatSectors(int64 sectors);

// The status line of a project with `count` tracks using `used` of `max`
// sectors: "Tracks: %d   Used: %s   Free: %s", with "   Oversize: %s" and a
// free time of 00:00.00 when used exceeds max.
std::string FormatProjectStatus(int32 count, int64 used, int64 max);

// How far a selection moves. `selected` are sorted row indexes, `count` the
// rows, `n` the wanted distance (negative: up). The distance actually
// applied: up by at most the first index, down by at most the rows below the
// last selected one; 0 when nothing moves.
int32 SelectionMoveDistance(const std::vector<int32>& selected, int32 count, int32 n);

// One row of the track list.
struct ProjectViewRow {
	CProjectTrack* track = nullptr;
	// Number ("    %02d"), artist, title, time, pause, file.
	std::array<std::string, 6> columns;
	bool fileExists = false;
};

// The column titles, in order.
extern const char* const kProjectViewColumns[6];

// One entry of the context menu: a separator, an item with a command, or a
// sub-menu (items not empty, message unused).
struct ProjectViewMenuItem {
	std::string label;            // empty for a separator
	char shortcut = 0;            // with the command key (Ctrl), 0 for none
	bool enabled = true;
	BMessage message;             // what the item sends to MessageReceived
	std::vector<ProjectViewMenuItem> items;

	bool IsSeparator() const { return label.empty(); }
};

// A button of the page.
struct ProjectViewButton {
	const char* name;             // "btnPlay", ...
	const char* toolTip;          // "Play", ...
	const char* pressedImage;     // resource names
	const char* unpressedImage;
	const char* themeIcon;        // freedesktop icon name that fits, or null
	uint32 command;
};
extern const ProjectViewButton kProjectViewButtons[5];

struct ProjectViewDisplay {
	std::vector<ProjectViewRow> rows;
	std::string status;                 // the line "viewCdSize"
	std::vector<int32> selection;       // selected rows, ascending
};

// What the page does for the view on its own thread.
class CProjectViewHost {
public:
	virtual ~CProjectViewHost() = default;
	// A modal text dialog with `prompt`, `*text` as the initial text and the
	// buttons "Cancel" and `okLabel`; true with `*text` the typed text when
	// `okLabel` was pressed.
	virtual bool AskText(const char* prompt, const char* okLabel, std::string* text) = 0;
	// A pop-up menu at `where` (page coordinates) with `items` ("" is a
	// separator); the index chosen, or -1 when it was closed.
	virtual int32 PopUp(const std::vector<std::string>& items, BPoint where) = 0;
	// Opens the file with the application the system prefers for its type.
	virtual status_t OpenFile(const char* path) = 0;
};

class CProjectView {
public:
	// `project` is not owned and must outlive the view; `roster` (not owned)
	// is the roster that owns it, or null for a project without one (tests):
	// then the view refreshes itself after its own changes. `host` may be
	// null (no dialogs: edits do nothing, pop-ups are cancelled).
	CProjectView(CProject* project, CProjectRoster* roster, CProjectViewHost* host);
	// Leaves the page registry; running drop threads go on by themselves.
	~CProjectView();
	CProjectView(const CProjectView&) = delete;
	CProjectView& operator=(const CProjectView&) = delete;

	CProject* Project() const { return fProject; }

	// Where PROJECT_VIEW_CHANGED and PROJECT_VIEW_OPEN_RECORD_SETUP go.
	void SetDisplay(const BMessenger& display) { fDisplay = display; }
	// The messenger that reaches this view's MessageReceived (the page's):
	// "Move To" and "Copy To" of other pages post their drops there.
	void SetPageMessenger(const BMessenger& page);
	// The page messenger registered for `project`; invalid when none.
	static BMessenger PageMessenger(CProject* project);

	// Rebuilds the rows and the status line from the project, and tells the
	// display.
	void Refresh();
	const ProjectViewDisplay& Display() const { return fView; }

	// The user's selection (row indexes; out-of-range ones are dropped).
	void SetSelection(const std::vector<int32>& rows);

	// The context menu for the current selection; "Move To" and "Copy To"
	// list every other live project of the roster.
	std::vector<ProjectViewMenuItem> ContextMenu() const;

	// Commands, roster notifications for this project, and drops
	// (B_SIMPLE_DATA). Unknown messages are ignored.
	void MessageReceived(BMessage* message);

	// Moves the selected tracks by `n` rows (negative: up), as far as they
	// can go; true when something moved.
	bool MoveSelection(int32 n);
	// Gives each selected track a pause of `seconds`; values that are
	// negative, not numbers or above one hour are ignored (false).
	bool SetPause(double seconds);
	// Exchanges artist and title of each selected track.
	void SwapArtistAndTitle();
	// The text Get Info shows for `track`.
	static std::string TrackInfo(CProjectTrack* track);

	// Drop threads started and not yet ended. Any thread.
	int32 RunningDropThreads() const;
	// Waits up to `timeout` until no drop thread runs; true when none does.
	bool WaitForDropThreads(bigtime_t timeout) const;

	enum drop_mode { DROP_LINK, DROP_COPY, DROP_MOVE };

	// Shared with the drop threads, which outlive the view if they must.
	struct DropState {
		mutable std::mutex lock;
		mutable std::condition_variable ended;
		int32 running = 0;
	};

private:
	void _HandleDrop(BMessage* message);
	void _Reorder(BMessage* message);
	void _Negotiate(BMessage* message);
	void _StartDropThread(BMessage* message, drop_mode mode);
	void _EditPause();
	void _EditText(bool title);
	void _TransferTo(BMessage* message, bool move);
	void _Delete();
	void _Play(BMessage* message);
	void _GetInfo();
	void _OpenRecordSetup();

	// Locks the roster (when there is one) and the project.
	void _LockModel();
	void _UnlockModel();
	// After a change made by the view: the roster announces it, or the view
	// refreshes itself when there is no roster.
	void _TrackChanged(CProjectTrack* track);
	void _TracksMoved();
	std::vector<CProjectTrack*> _SelectedTracks() const;
	void _FillRow(ProjectViewRow* row, int32 index, CProjectTrack* track) const;
	void _UpdateStatus();
	void _Notify();

	CProject* fProject;
	CProjectRoster* fRoster;
	CProjectViewHost* fHost;
	BMessenger fDisplay;
	bool fRegistered = false;
	ProjectViewDisplay fView;
	std::set<CProjectTrack*> fSelected;
	std::shared_ptr<DropState> fDropState = std::make_shared<DropState>();
};
