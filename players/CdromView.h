// The drive page of the source pane, without its widgets: the list of the
// disc's tracks, the context menu, the commands that play, edit, name, eject
// and copy tracks, and the drag of tracks onto a project page. The widget
// (ui/CdromView) shows the rows and the menu, keeps the selection here, and
// hands in the device's notifications; the windows this page talks to are
// reached through the openers it is given.
//
// Every member runs on the thread of the window the page sits in, except
// where it says otherwise.
#pragma once

#include "kit/app/Messenger.h"
#include "kit/interface/Point.h"
#include "kit/storage/EntryRef.h"
#include "kit/support/SupportDefs.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class BMessage;
class CCdTextDecoder;
class CDevice;
class CProject;
class CProjectRoster;

// Messages of the drive page.
enum : uint32 {
	CDROM_PLAY_TRACK = 512,    // to the player: int32 "track"
	CDROM_EDIT_TRACK = 513,    // to the editor: int32 "track"
	CDROM_COPY_TRACKS = 514,   // to the extraction window: ref "dir", then "track", "artist", "title" per track
	CDROM_DRAG_DATA = 'DATA',
	CDROM_DRAG_ACTION_COPY = 'DDCP',
	// Menu commands.
	CDROM_MENU_PLAY = 'CMpl',
	CDROM_MENU_STOP = 'CMst',
	CDROM_MENU_GET_INFO = 'CMin',
	CDROM_MENU_EDIT_ARTIST = 'CMea',
	CDROM_MENU_EDIT_TITLE = 'CMet',
	CDROM_MENU_EDIT = 'CMed',
	CDROM_MENU_SWAP = 'CMsw',
	CDROM_MENU_READ_CD_TEXT = 'CMct',
	CDROM_MENU_ADD_COPY = 'CMac',
	CDROM_MENU_ADD_COPY_TO = 'CMat',   // pointer "project"
	CDROM_MENU_EJECT = 'CMej',
	CDROM_MENU_LOOKUP = 'CMlu',
};

// The file type of the dragged tracks and their description.
extern const char* const kCdTrackDragFileType;   // "application/octet-stream"
extern const char* const kCdTrackDragDescription;  // "Audio CD Track"

// One row of the track list.
struct CdTrackRow {
	std::string number;   // "%02i"
	std::string artist;
	std::string title;
	std::string length;   // "%02i:%02i"
};

// One entry of the context menu: a separator when `label` is empty.
struct CdMenuItem {
	std::string label;
	char shortcut = 0;      // Ctrl + this key, 0 for none
	uint32 command = 0;
	std::vector<CdMenuItem> submenu;
	CProject* project = nullptr;   // "Add A Copy To" items
};

// What the page needs of the rest of the program. Openers return the
// window's messenger (invalid when it could not be opened).
struct CdromViewHooks {
	std::function<BMessenger(CDevice*)> showPlayer;
	std::function<BMessenger(CDevice*)> showEditor;
	std::function<BMessenger(CDevice*)> showExtraction;
	// The destination pane's active project, or null.
	std::function<CProject*()> activeProject;
	// The project roster (null: none; copying to a project is then refused).
	CProjectRoster* roster = nullptr;
};

// The CD-Text question's text for `decoder` and the tracks 1..`trackCount`.
std::string CdTextQuestion(const CCdTextDecoder& decoder, int32 trackCount);
// "artist - title" when both are there, else whichever is.
std::string CdTextEntry(const std::string& artist, const std::string& title);

class CCdromView {
public:
	// `device` must not be null ("pDevice != 0") and outlives the page.
	CCdromView(CDevice* device, CdromViewHooks hooks);
	~CCdromView();
	CCdromView(const CCdromView&) = delete;
	CCdromView& operator=(const CCdromView&) = delete;

	CDevice* Device() const { return fDevice; }

	// Registers `self` with the drive for disc inserted, removed and names
	// changed / removes it.
	void AttachedToWindow(const BMessenger& self);
	void DetachedFromWindow();
	// The drive's three notifications; false for another message.
	bool MessageReceived(const BMessage* message);

	// The rows (row i is track i + 1).
	const std::vector<CdTrackRow>& Rows() const { return fRows; }
	void Fill();
	void Clear();
	void UpdateRow(int32 track);

	// Selected rows in selection order.
	void SetSelection(const std::vector<int32>& rows);
	const std::vector<int32>& Selection() const { return fSelection; }

	// The context menu for the current selection (projects from the roster).
	std::vector<CdMenuItem> ContextMenu() const;

	// Commands. Play: `row`, or the first selected row when -1.
	void Play(int32 row = -1);
	void Stop();
	void Edit();
	void Eject();
	void SetArtist(const char* artist);
	void SetTitle(const char* title);
	void SwapArtistAndTitle();
	// Reads the disc's CD-Text, asks (BAlert "No"/"Yes") and applies it.
	// False when nothing was applied.
	bool ReadCdText();
	// Applies decoded CD-Text to the TOC and tells the drive.
	void ApplyCdText(const CCdTextDecoder& decoder);
	void AddCopy();
	// B_OK, B_BAD_VALUE for a project that is not valid (after the alert).
	status_t AddCopyTo(CProject* project);

	// The copy request for `folder` and the selected rows.
	BMessage CopyRequest(const entry_ref& folder) const;
	// The drag message of the selected rows (`point` in window
	// coordinates).
	BMessage DragMessage(BPoint point, bool primaryButton, bool control) const;
	// The project page's answer to a drag: opens its "directory", removes
	// the placeholder "name" when there is one, and posts the copy request.
	status_t DragReply(const BMessage* reply);

	// The disc ids as text (empty when not known).
	void SetDiscIds(const std::string& cddb, const std::string& musicBrainz);
	const std::string& CddbId() const { return fCddbId; }
	const std::string& MusicBrainzId() const { return fMusicBrainzId; }
	// The MusicBrainz page of the disc ("" without an id).
	std::string MusicBrainzUrl() const;

private:
	CdTrackRow _Row(int32 track) const;
	std::vector<int32> _SelectedTracks() const;
	status_t _PostCopyRequest(const entry_ref& folder);
	void _NotifyTocUpdates(const std::vector<int32>& tracks);

	CDevice* fDevice;
	CdromViewHooks fHooks;
	BMessenger fSelf;
	bool fAttached = false;
	std::vector<CdTrackRow> fRows;
	std::vector<int32> fSelection;
	std::string fCddbId;
	std::string fMusicBrainzId;
};
