// The logic and displayed state of the "Application Preferences" window:
// where the project folder lies, whether the splash screen shows at start-up
// and whether a track's file is renamed with its title. A new project folder
// on the volume of the current one is swapped in when the window closes; one
// on another volume is recorded and moved at the next start.
//
// Qt-free: the window renders Display(), shows the folder selector when told
// to, and sends the user's actions back as messages. The view tells the
// window about changes by posting to its target.
//
// One thread (the window's) uses an object.
#pragma once

#include "kit/app/Messenger.h"
#include "kit/support/SupportDefs.h"

#include <functional>
#include <memory>
#include <string>

class BMessage;

inline constexpr const char* kApplicationSetupWindowTitle = "Application Preferences";

enum : uint32 {
	// To the view, from the window's controls.
	APPLICATION_SETUP_REVERT = 371,             // "Revert"
	APPLICATION_SETUP_SHOW_SELECTOR = 374,      // "ChangeProjectFolder"
	APPLICATION_SETUP_FOLDER_EDITED = 388,      // "ProjectFolder" edited: "text" string
	APPLICATION_SETUP_CHECK_BOX = 419,          // a check box: "ShowSplashScreen" or "RenameFiles" bool
	APPLICATION_SETUP_FOLDER_SELECTED = 1365,   // the selector's choice: "refs"
	// To the window.
	APPLICATION_SETUP_CHANGED = 'asCh',          // Display() changed
	APPLICATION_SETUP_OPEN_SELECTOR = 'asOp',    // show the selector at "folder" (or bring it to front)
	APPLICATION_SETUP_CLOSE_SELECTOR = 'asCl',   // close the selector
};

struct APPLICATION_SETUP_DISPLAY {
	std::string projectFolder;     // "ProjectFolder"
	bool revertEnabled = false;    // "Revert"
	bool showSplashScreen = true;  // "ShowSplashScreen"
	bool renameFiles = false;      // "RenameFiles"
	bool selectorOpen = false;
};

// What a folder's volume can do, as the project folder needs it.
struct VOLUME_CAPABILITIES {
	int64 device = -1;
	bool persistent = false;
	bool removable = false;
	bool readOnly = true;
	bool attributes = false;
	bool mimeTypes = false;
	bool queries = false;
};

// Finds the capabilities of the volume that holds `path` (or, for a path
// that does not exist, of its nearest existing parent). Tests give their
// own. Any thread.
class CVolumeInspector {
public:
	virtual ~CVolumeInspector() = default;
	// False when no volume could be found.
	virtual bool Inspect(const std::string& path, VOLUME_CAPABILITIES* capabilities) const;
};

class CApplicationSetupView {
public:
	// `currentFolder` gives the project folder in use (default: the
	// roster's root folder); `volumes` the volume checks (default: the
	// mounted volumes as the platform reports them).
	explicit CApplicationSetupView(std::function<std::string()> currentFolder = {},
		std::shared_ptr<const CVolumeInspector> volumes = {});
	CApplicationSetupView(const CApplicationSetupView&) = delete;
	CApplicationSetupView& operator=(const CApplicationSetupView&) = delete;

	void SetTarget(const BMessenger& target);

	// The window shows the view: Revert.
	void AttachedToWindow();
	// The window closes: Apply when something changed.
	void DetachedFromWindow();

	// Shows the current folder and the stored check boxes; clears the
	// changed flag.
	void Revert();
	// Handles the messages to the view (and B_CANCEL from the selector);
	// false for any other.
	bool MessageReceived(BMessage* message);
	// A folder was chosen: the first volume check that fails shows its
	// alert and nothing changes; else the folder is shown and marked
	// changed. True when it was taken.
	bool FolderSelected(const std::string& path);
	// Carries out the shown state: a new project folder (swapped in on the
	// same volume, recorded for the next start on another), and the check
	// boxes. Returns B_OK, or the status of a failed folder change (which
	// was reported to the user).
	status_t Apply();

	const APPLICATION_SETUP_DISPLAY& Display() const { return fDisplay; }
	bool IsChanged() const { return fChanged; }

	// The index (0-5) of the first check the volume fails, in the order
	// persistent, not removable, writable, attributes, MIME types, queries;
	// -1 when it passes all.
	static int32 FirstFailingCheck(const VOLUME_CAPABILITIES& capabilities);
	// The alert text of each check.
	static const char* const kVolumeAlerts[6];
	// Said when the new folder lies inside the current one or holds it.
	static const char* const kNestedFolderAlert;
	// Said when a move to another volume was recorded.
	static const char* const kOtherVolumeNotice;

private:
	void _DataChanged();
	void _Post(uint32 what);
	// The alert of the first failing check for `path`; true when it passes.
	bool _CheckFolder(const std::string& path);
	status_t _ChangeProjectFolder(const std::string& current, const std::string& chosen);

	std::function<std::string()> fCurrentFolder;
	std::shared_ptr<const CVolumeInspector> fVolumes;
	APPLICATION_SETUP_DISPLAY fDisplay;
	std::string fCheckedFolder;   // the last folder that passed the checks
	BMessenger fTarget;
	bool fChanged = false;
};

// Puts the folder `chosen` in the place of the project folder `current` on
// the same volume: `chosen` is renamed "_tarnwick_temp_project_dir", the
// project folder takes its name and place (keeping its projects), and what
// `chosen` held is moved into the project folder under free names; the
// emptied temporary folder goes. A `chosen` that does not exist yet is made
// first. B_OK, or the first failure (when the project folder could not take
// the new place, the chosen folder gets its name back). Any thread.
status_t SwapProjectFolder(const std::string& current, const std::string& chosen);
