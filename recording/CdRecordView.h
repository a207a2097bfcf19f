// CCdRecordView: the logic of the record set-up window "Start CD Recording...".
// It keeps the user's choices (recorder, project, write mode, speed, CD-Text,
// action, BURN-Proof, verification) consistent with what the chosen
// recorder's driver can do and with the medium in it, polls the recorder for
// media changes on its own thread, checks the project, warns before risky
// runs and finally builds a CRecordAction for the recording status window.
//
// The view is free of any toolkit. What the window shows is kept in a display
// record (CD_RECORD_SETUP_DISPLAY); when it changes the view posts
// M_RECORD_SETUP_DISPLAY_CHANGED to its target, which reads it with
// Display(). A run is handed over by posting M_RECORD_SETUP_HAND_OVER with
// the action (owned by the message's receiver) followed by B_QUIT_REQUESTED.
//
// Threads: MessageReceived and the operations below run on the owner's
// thread (the window's). The polling thread changes the view only while it
// holds the view's lock; Display() may be called from any thread.
#pragma once

#include "kit/app/Messenger.h"
#include "kit/support/SupportDefs.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

class BMessage;
class CDevice;
class CProject;
class CProjectRoster;
struct SCSI_DISC_INFORMATION;

// Messages handled by the view (all below 65535 except the roster notices).
enum : uint32 {
	M_SETUP_START = 123,            // the start button ("Action")
	M_SETUP_PROJECT_INFO = 115,     // "Project Info"
	M_SETUP_CLOSE = 117,            // "Cancel"
	M_SETUP_EJECT = 120,            // "Eject"
	M_SETUP_RECORDER_INFO = 113,    // "Recorder Info": accepted, nothing done
	M_SETUP_NOTHING = 129,          // accepted, nothing done
	M_SETUP_WRITE_MODE = 29441,     // int32 "mode"
	M_SETUP_SPEED = 29442,          // int32 "speedvalue", float "speedfactor"
	M_SETUP_CD_TEXT = 29443,        // int32 "cdtext"
	M_SETUP_RECORDER = 29444,       // pointer "device"
	M_SETUP_PROJECT = 29445,        // pointer "project"
	M_SETUP_ACTION = 29446,         // int32 "action"
	M_SETUP_SELECT_PROJECT = 29846, // pointer "project" (null: keep the choice)
	M_SETUP_BURN_PROOF = 30820,     // bool "value": the "burnproof" check box
	M_SETUP_VERIFY = 30821,         // bool "value": the "verify" check box

	// Posted to the target.
	M_RECORD_SETUP_DISPLAY_CHANGED = 'CSdc',
	M_RECORD_SETUP_HAND_OVER = 'CSho',   // pointer "recordaction": a CRecordAction, owned by the receiver
};

// The polling thread.
constexpr const char* kSetupPollThreadName = "polling CD recorder";
constexpr int32 kSetupPollThreadPriority = 7;

// One item of a pop-up menu. `value`, `factor` and `pointer` are what the
// item's message carries (see CCdRecordView::ItemMessage).
struct SETUP_MENU_ITEM {
	std::string label;
	bool marked = false;
	bool enabled = true;
	int32 value = 0;
	float factor = 0;
	void* pointer = nullptr;

	bool operator==(const SETUP_MENU_ITEM&) const = default;
};

// A menu field: its label, what it shows (the marked item's label, or the
// text of a transient item), its items and its tool tip.
struct SETUP_MENU {
	std::string name;       // the child's name
	std::string label;      // "" when the field has no label
	uint32 command = 0;     // the message code of its items
	std::string shown;
	std::vector<SETUP_MENU_ITEM> items;
	std::string toolTip;

	bool operator==(const SETUP_MENU&) const = default;
	// Index of the marked item, -1 when none.
	int32 Marked() const;
	// Index of the item labelled `label`, -1 when none.
	int32 Find(const std::string& label) const;
};

// The CD-Text menu's tool tip, and the notes shown under it.
constexpr const char* kCdTextToolTip =
	"Select CD-Text options:\nNone - Don't write CD-Text\nNormal - Write the project name and the track titles "
	"and artists\nUppercase - Write them in upper case\nLowercase - Write them in lower case\nCD-Text is "
	"written in Disc At Once mode only, on recorders that can write it";
constexpr const char* kCdTextTrackAtOnceNote = "Track At Once writes no CD-Text";
constexpr const char* kCdTextRecorderNote = "This recorder cannot write CD-Text";
// The settings record and field that remember the CD-Text choice.
constexpr const char* kRecordSetupSettings = "record setup";
constexpr const char* kCdTextSetting = "cdtext";

// The set-up window's content.
struct CD_RECORD_SETUP_DISPLAY {
	SETUP_MENU recorder {"Recorder", "Recorder:", 29444, "Select", {}, "Select the CD recorder"};
	SETUP_MENU project {"Project", "Project:", 29445, "Select", {}, "Select the CD project"};
	SETUP_MENU action {"Action", "Action:", 29446, "Select", {},
		"Select the write action:\nWrite simulation - Do a test writing\nWrite simulation and write - CURRENTLY "
		"DISABLED\nWrite - Write to the medium\nSpeed Test"};
	SETUP_MENU writeMode {"Write Mode", "Write Mode:", 29441, "", {},
		"Select the writing method:\nDisk At Once - Write the whole CD and fixate it\nTrack At Once - Write tracks "
		"and fixate the CD\nTrack At Once without fixation - NOT IMPLEMENTED"};
	SETUP_MENU speed {"Write Speed", "Write Speed:", 29442, "", {}, "Select the write speed"};
	SETUP_MENU cdText {"CD Text", "CD-Text:", 29443, "", {}, kCdTextToolTip};
	// Under the CD-Text menu: why CD-Text cannot be written, or which
	// tracks' texts lost characters or were shortened; "" when nothing.
	std::string cdTextNote;
	std::string recorderStatus;
	std::string projectStatus;
	// Problems of the project's files found before a start, one a line.
	std::vector<std::string> projectProblems;
	std::string actionButtonLabel = "Start Writing";
	bool burnProof = false;
	bool verify = false;
	// Verification reads a written disc: off for a simulation.
	bool verifyEnabled = true;

	bool operator==(const CD_RECORD_SETUP_DISPLAY&) const = default;
};

// Tool tips of the buttons.
constexpr const char* kRecorderInfoToolTip = "Show more information about the medium\nNOT IMPLEMENTED";
constexpr const char* kProjectInfoToolTip = "Show more information about the project\nNOT IMPLEMENTED";
constexpr const char* kCancelToolTip = "Close this window";
constexpr const char* kEjectToolTip = "Eject the medium / tray";
constexpr const char* kActionToolTip = "Are you sure?";

// Project status line of a measured project: the valid forms and the
// refusals (*valid false). `tracks` and the lengths in sectors; free may be
// negative (the oversize form).
std::string ProjectStatusText(int32 tracks, int64 lengthSectors, int64 freeSectors, bool* valid);
// The line shown when the project is longer than the inserted medium: by how
// much, in time, and how many of the last tracks would not fit.
std::string MediumShortfallText(int64 excessSectors, int32 tracksNotFitting);
// "%02d:%02d.%02d" of a sector count (75 a second).
std::string FormatMsf(int64 sectors);

class CCdRecordView {
public:
	// `devices`: the drives to offer (those whose driver writes are kept,
	// in order). `roster` (may be null) announces the projects and counts
	// references. `target` receives the view's messages.
	CCdRecordView(const BMessenger& target, std::vector<CDevice*> devices, CProjectRoster* roster);
	// Detaches when still attached.
	~CCdRecordView();
	CCdRecordView(const CCdRecordView&) = delete;
	CCdRecordView& operator=(const CCdRecordView&) = delete;

	// Fills the menus, chooses the last recorder, attaches to the roster,
	// and starts polling when `poll` (tests poll by calling DeviceUpdate).
	void Attach(bool poll = true);
	// Stops polling, gives every project back, detaches from the roster.
	void Detach();

	// The owner's thread: every message listed above.
	void MessageReceived(BMessage* message);

	// A copy of the display record; the next change is posted again. Any
	// thread.
	CD_RECORD_SETUP_DISPLAY Display() const;
	// The message of item `index` of `menu` (null past the end). The caller
	// owns it.
	static BMessage* ItemMessage(const SETUP_MENU& menu, int32 index);

	// One poll of the recorder (the polling thread's round). Any thread but
	// the owner's while polling runs.
	void DeviceUpdate();
	void StartUpdateThread();
	void StopUpdateThread();
	thread_id UpdateThread() const { return fUpdateThread; }

	// Choices, for tests and the window. Any thread.
	CDevice* Device() const;
	CProject* Project() const;
	int32 ActionFlags() const;
	int32 WriteMode() const;
	int32 SpeedValue() const;
	float SpeedFactor() const;
	bool RecorderReady() const;
	bool ProjectValid() const;
	int32 MediumType() const;
	int32 MediumLength() const;
	// The CD-Text written (CD_TEXT_*): the choice where the recorder and
	// the write mode allow CD-Text, else none.
	int32 CdText() const;

private:
	// Everything below runs with fLock held.
	void _RecorderChanged();
	void _ProjectChanged();
	void _WriteModeChanged();
	void _UpdateCdText();
	void _UpdateSpeedMenu();
	void _UpdateCdInserted(const SCSI_DISC_INFORMATION& info);
	void _SetRecorderStatus(const std::string& text);
	void _ChooseProject(CProject* project);
	void _HandleLocked(BMessage* message);
	void _ProjectAdded(CProject* project);
	void _ProjectRemoved(CProject* project);
	void _ProjectChangedNotice(CProject* project);
	void _RelabelProjects();
	void _UpdateShortfall();
	void _Changed();

	// The start button: the checks in order, then the hand-over. Takes the
	// lock itself (not across an alert).
	void _Action();
	void _LoadEject();

	static status_t _UpdateThreadEntry(void* data);
	void _UpdateThreadLoop();

	BMessenger fTarget;
	std::vector<CDevice*> fDevices;
	CProjectRoster* fRoster;
	bool fAttached = false;
	bool fPoll = true;
	bool fRosterAttached = false;

	mutable std::mutex fLock;
	CD_RECORD_SETUP_DISPLAY fDisplay;
	mutable std::atomic<bool> fNoticePending {false};

	CDevice* fDevice = nullptr;
	CProject* fProject = nullptr;
	std::vector<CProject*> fProjects;
	int32 fAction = 0;
	int32 fMode = 0;
	int32 fSpeedValue = -1;
	float fSpeedFactor = -1;
	int32 fCdText = 0;         // what is written
	int32 fCdTextChoice = 0;   // what the user chose (remembered)
	bool fRecorderReady = false;
	bool fProjectValid = false;
	int32 fMediumType = 1;
	int32 fMediumLength = 0;
	bool fMediumPresent = false;
	int64 fProjectSectors = 0;
	std::string fProjectStatusBase;

	thread_id fUpdateThread = -1;
	std::mutex fStopLock;
	std::condition_variable fStopCondition;
	bool fStop = false;
};
