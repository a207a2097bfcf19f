// CDestinationModel: the destination pane of the main window without its
// toolkit. It keeps one page record per project (in the order the roster
// announced them, labelled with the project's name), the active page, and
// the pane's commands: create, rename and delete a project, the "Edit
// Project Properties" notices, the roster's notifications and drops.
//
// Messages come in through MessageReceived (the window, or a test, hands
// them over); what the pane must show goes out as messages to the display
// messenger:
//   DEST_PAGE_ADDED    "Project" pointer, "label": add a page at the end
//   DEST_PAGE_REMOVED  "Project": remove and delete that page
//   DEST_PAGE_RENAMED  "Project", "label": relabel that page
//   DEST_PAGE_ACTIVATED "Project": show that page
//   DEST_PAGE_MESSAGE  "Project", "message": hand the nested message to
//                      that page (roster notifications, drops)
//   DEST_ASK_NAME      "prompt", "text", "button", "reply" (int32 code),
//                      optional "Project": show the name dialog; its
//                      confirm button sends "reply" with "text" (and the
//                      "Project" it was asked for) back to the pane
// Alerts go through the kit's alert handler.
//
// The model registers with the roster as the handler `self` (the messenger
// its messages arrive through), holds one reference per page and gives
// them back when pages go and when it detaches. One thread at a time (the
// window's).
#pragma once

#include "frame/MainWindowModel.h"
#include "kit/app/Messenger.h"
#include "kit/storage/EntryRef.h"
#include "kit/support/SupportDefs.h"

#include <string>
#include <vector>

class BDirectory;
class BMessage;
class CProject;
class CProjectRoster;

enum : uint32 {
	// The pane's commands (its pop-up menu) and the name dialog's answers.
	DEST_CREATE_PROJECT = 'CrtP',
	DEST_CREATE_PROJECT_NAMED = 'CtPD',   // "text"
	DEST_RENAME_PROJECT = 'RenP',
	DEST_RENAME_PROJECT_NAMED = 'RePD',   // "text", optional "Project"
	DEST_EDIT_PROJECT = 'EdiP',
	DEST_DELETE_PROJECT = 'DelP',

	// To the display (see above).
	DEST_PAGE_ADDED = 'DVpa',
	DEST_PAGE_REMOVED = 'DVpr',
	DEST_PAGE_RENAMED = 'DVpn',
	DEST_PAGE_ACTIVATED = 'DVac',
	DEST_PAGE_MESSAGE = 'DVpm',
	DEST_ASK_NAME = 'DVnm',
};

// The name a new project gets when files are dropped on an empty pane.
extern const char* const kNewProjectName;   // "New Project"
// How long a drop on an empty pane waits for the new project's page, per try.
constexpr bigtime_t kDelayedDropWait = 500000;
// How many times it waits before giving up with an alert.
constexpr int32 kDelayedDropTries = 10;

// The alert texts of the pane.
extern const char* const kNoBaseFolderText;      // "couldn't get project base folder"
extern const char* const kRenameFailedText;      // "could not rename project"
extern const char* const kNotEmptyText;          // "project must be empty"
extern const char* const kDeleteFailedText;      // "could not delete project"
extern const char* const kProjectGoneText;       // a drop for a project that is gone
// The four notices of "Edit Project Properties", shown in turn.
extern const char* const kEditProjectNotices[4];

// The typed project name with every '/' replaced by '|'.
std::string ProjectNameFromInput(const char* typed);

// Creates a folder named `name` in `base`; while the name is taken, tries
// `name` + " 1", " 2", ... (at most 100000 tries). `created` receives the
// name used. B_OK, B_BAD_VALUE for an empty name or null arguments, or the
// first failure that is not "exists".
status_t CreateProjectFolder(BDirectory* base, const char* name, std::string* created);

// The drop message that hands files to a project page, as "Copy To" and
// the volumes page send it: 'DATA' with "buttons" = 1, "click_pt" = (0, 0),
// one "refs" per file, and "force_file_copy" = true when `copy` (else the
// page links them). `project` (may be null: the active page) goes into
// "Project".
BMessage MakeFileDropMessage(const std::vector<entry_ref>& refs, bool copy, CProject* project);

struct DESTINATION_PAGE {
	CProject* project;
	std::string label;
};

class CDestinationModel {
public:
	// `display` receives the display messages; `self` is where the roster's
	// notifications and the model's own delayed messages are sent (the
	// window that hands them to MessageReceived). `roster` (not owned) may
	// be null: then there are no projects.
	CDestinationModel(const BMessenger& display, const BMessenger& self, CProjectRoster* roster);
	// Detach().
	~CDestinationModel();
	CDestinationModel(const CDestinationModel&) = delete;
	CDestinationModel& operator=(const CDestinationModel&) = delete;

	// Registers with the roster (which then announces every project) /
	// unregisters and gives back the references of all pages.
	void Attach();
	void Detach();

	// Handles the pane's messages (see the enum and the roster's codes);
	// false for a message that is not the pane's.
	bool MessageReceived(BMessage* message);

	// The user showed another page (null: none).
	void SetActiveProject(CProject* project);
	CProject* ActiveProject() const { return fActive; }
	const std::vector<DESTINATION_PAGE>& Pages() const { return fPages; }
	const DESTINATION_PAGE* FindPage(CProject* project) const;

	// The pane's pop-up menu: "Create New Project" | "Rename Project",
	// "Edit Project Properties" | "Delete Current Project"; renaming and
	// deleting need an active project.
	std::vector<MENU_ITEM_RECORD> PopUpMenu() const;
	// Which notice "Edit Project Properties" shows next (0..3).
	int32 NextNotice() const { return fNotice; }

private:
	void _AskName(uint32 reply, const char* text, const char* button, CProject* project);
	// False when nothing was made (an empty name, or a reported failure).
	bool _Create(const char* typed);
	void _Rename(CProject* project, const char* typed);
	void _Delete(CProject* project);
	void _AddPage(CProject* project);
	void _RemovePage(CProject* project);
	void _RenamePage(CProject* project);
	void _ToPage(CProject* project, const BMessage& message);
	void _Drop(BMessage* message);
	void _Post(BMessage* message);
	DESTINATION_PAGE* _Page(CProject* project);

	BMessenger fDisplay;
	BMessenger fSelf;
	CProjectRoster* fRoster;
	bool fAttached = false;
	std::vector<DESTINATION_PAGE> fPages;
	CProject* fActive = nullptr;
	int32 fNotice = 0;
	// The folder name of the project this pane created last, until its page
	// arrives: that page is shown.
	std::string fCreatedName;
};
