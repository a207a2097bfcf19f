#include "recording/CdRecordView.h"

#include "recording/CdTextWriter.h"
#include "recording/RecordAction.h"
#include "recording/RecordingCheck.h"

#include "devices/Device.h"
#include "driver/driverbaseclass.h"
#include "frame/Diagnostics.h"
#include "frame/Preference.h"
#include "kit/interface/Alert.h"
#include "kit/kernel/OS.h"
#include "kit/support/Message.h"
#include "projects/Project.h"
#include "projects/ProjectRoster.h"
#include "projects/ProjectTrack.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr int32 kModeDao = RECORD_MODE_DAO;
constexpr int32 kModeTao = RECORD_MODE_TAO_FIXATE;
constexpr int32 kModeTaoOpen = RECORD_MODE_TAO_OPEN;

constexpr const char* kNoMedium = "No medium, please insert something suitable.";

constexpr const char* kMediumLengthWarning =
	"W A R N I N G     W A R N I N G\n\nYou try to record more data than will fit on the medium.\nThis may damage "
	"the medium and make it unuseable. \n\nDo you really want to continue ?\n\n";
constexpr const char* kNoTestwriteWarning =
	"W A R N I N G\n\nYou are about to record a CD. \n\nSince this is a beta version, it MAY FAIL and create an "
	"UNUSEABLE CD.\n\nPlease do a simulation to test if the recording is possible. If this works, you can try to "
	"start the real write process.\n\n\nIf the writing or the simulation fails, DO NOT TRY IT AGAIN, it will most "
	"likely not work.\nPlease contact the author in this case!\n\nDo you really want to continue ?\n\n";
constexpr const char* kTestwriteWarning =
	"W A R N I N G\n\nYou try to start a recording simulation.\n\nIf the simulation fails, DO NOT TRY TO WRITE A "
	"DISC! Please contact the author in this case! \n\nDo you really want to continue ?\n\n";

SETUP_MENU_ITEM Item(const char* label, int32 value, bool enabled = true)
{
	SETUP_MENU_ITEM item;
	item.label = label;
	item.value = value;
	item.enabled = enabled;
	return item;
}

// Marks item `index` alone and shows its label; -1 unmarks every item.
void Mark(SETUP_MENU* menu, int32 index)
{
	for (size_t i = 0; i < menu->items.size(); i++)
		menu->items[i].marked = int32(i) == index;
	if (index >= 0 && size_t(index) < menu->items.size())
		menu->shown = menu->items[size_t(index)].label;
}

int32 FindValue(const SETUP_MENU& menu, int32 value)
{
	for (size_t i = 0; i < menu.items.size(); i++)
		if (menu.items[i].value == value)
			return int32(i);
	return -1;
}

int32 FindPointer(const SETUP_MENU& menu, const void* pointer)
{
	for (size_t i = 0; i < menu.items.size(); i++)
		if (menu.items[i].pointer == pointer)
			return int32(i);
	return -1;
}

bool Writes(const CDevice* device)
{
	CDriver* driver = device != nullptr ? device->GetDriver() : nullptr;
	return driver != nullptr && (driver->Flags & (F_TAO_WRITE | F_DAO_WRITE | F_RAW_WRITE)) != 0;
}

// The sectors each track of `project` takes on the disc, in order (locked
// for the call), the same sum DiscLength makes, in frames.
std::vector<int64> TrackFrames(CProject* project)
{
	std::vector<int64> frames;
	if (!project->Lock())
		return frames;
	for (int32 i = 0; i < project->CountTracks(); i++) {
		CProjectTrack* track = project->TrackAt(i);
		track->Lock();
		int64 used = track->FileLengthUsed();
		frames.push_back(track->StartSilenceLength() + (used < 0 ? 0 : used) + track->FilePaddingLength()
			+ track->EndSilenceLength());
		track->Unlock();
	}
	project->Unlock();
	return frames;
}

bool StopAlert(const char* title, const char* text)
{
	BAlert alert(title, text, "Continue", "Cancel", nullptr, B_WIDTH_AS_USUAL, B_STOP_ALERT);
	return alert.Go() == 0;
}

}   // namespace

// --- Texts -------------------------------------------------------------------

std::string FormatMsf(int64 sectors)
{
	if (sectors < 0)
		sectors = -sectors;
	char text[48];
	snprintf(text, sizeof(text), "%02d:%02d.%02d", int(sectors / 4500), int(sectors / 75 % 60), int(sectors % 75));
	return text;
}

std::string ProjectStatusText(int32 tracks, int64 lengthSectors, int64 freeSectors, bool* valid)
{
	*valid = false;
	if (tracks > 99)
		return "More than 99 tracks, recording not possible";
	if (tracks == 0)
		return "Project contains no tracks, recording not possible";
	if (lengthSectors == 0)
		return "Project length: 00:00.00, recording not possible";
	*valid = true;
	char text[160];
	snprintf(text, sizeof(text), "Tracks: %02d, length: %s, %s: %s", int(tracks), FormatMsf(lengthSectors).c_str(),
		freeSectors < 0 ? "oversize" : "unused", FormatMsf(freeSectors).c_str());
	return text;
}

std::string MediumShortfallText(int64 excessSectors, int32 tracksNotFitting)
{
	char text[160];
	snprintf(text, sizeof(text), "%s longer than the medium, %d track%s would not fit", FormatMsf(excessSectors).c_str(),
		int(tracksNotFitting), tracksNotFitting == 1 ? "" : "s");
	return text;
}

int32 SETUP_MENU::Marked() const
{
	for (size_t i = 0; i < items.size(); i++)
		if (items[i].marked)
			return int32(i);
	return -1;
}

int32 SETUP_MENU::Find(const std::string& text) const
{
	for (size_t i = 0; i < items.size(); i++)
		if (items[i].label == text)
			return int32(i);
	return -1;
}

// --- Construction ----------------------------------------------------------

CCdRecordView::CCdRecordView(const BMessenger& target, std::vector<CDevice*> devices, CProjectRoster* roster)
	:
	fTarget(target),
	fRoster(roster)
{
	for (CDevice* device : devices)
		if (Writes(device))
			fDevices.push_back(device);
}

CCdRecordView::~CCdRecordView()
{
	if (fAttached)
		Detach();
	StopUpdateThread();
}

void CCdRecordView::Attach(bool poll)
{
	fPoll = poll;
	SETUP_MENU recorders;
	{
		std::lock_guard<std::mutex> lock(fLock);
		fAttached = true;
		fDisplay.recorderStatus = kNoMedium;
		fDisplay.cdText.items = {Item("None", CD_TEXT_NONE), Item("Normal", CD_TEXT_NORMAL),
			Item("Uppercase", CD_TEXT_UPPERCASE), Item("Lowercase", CD_TEXT_LOWERCASE)};
		CPreference settings(kRecordSetupSettings);
		int32 remembered = CD_TEXT_NONE;
		if (settings.Load() && settings.FindInt32(kCdTextSetting, &remembered) == B_OK
			&& FindValue(fDisplay.cdText, remembered) >= 0)
			fCdTextChoice = remembered;
		_UpdateCdText();
		fDisplay.writeMode.items = {Item("Disc At Once", kModeDao), Item("Track At Once", kModeTao),
			Item("Track At Once without fixation", kModeTaoOpen, false)};
		fDisplay.action.items = {Item("Write simulation", RECORD_ACTION_SIMULATE),
			Item("Write simulation and write", RECORD_ACTION_SIMULATE | RECORD_ACTION_WRITE, false),
			Item("Write", RECORD_ACTION_WRITE), Item("Speed Test", RECORD_ACTION_SPEED_TEST, false)};
		fDisplay.recorder.items.clear();
		for (CDevice* device : fDevices) {
			SETUP_MENU_ITEM item;
			item.label = device->GetDeviceName();
			item.pointer = device;
			fDisplay.recorder.items.push_back(item);
		}
		fDisplay.projectStatus = "No Project, recording not possible";
		fProjectStatusBase = fDisplay.projectStatus;
		recorders = fDisplay.recorder;
		_Changed();
	}
	// The last recorder of the list is chosen.
	if (!fDevices.empty()) {
		std::unique_ptr<BMessage> choice(ItemMessage(recorders, int32(fDevices.size()) - 1));
		MessageReceived(choice.get());
	}
	if (fRoster != nullptr && fTarget.IsValid()) {
		fRoster->Attach(fTarget);
		fRosterAttached = true;
	}
}

void CCdRecordView::Detach()
{
	StopUpdateThread();
	std::lock_guard<std::mutex> lock(fLock);
	while (!fProjects.empty()) {
		CProject* project = fProjects.front();
		CDebugFunctionTracer::Trace("removing project %s\n", project->Name().c_str());
		_ProjectRemoved(project);
	}
	if (fRosterAttached) {
		fRoster->Detach(fTarget);
		fRosterAttached = false;
	}
	fAttached = false;
}

// --- Display ---------------------------------------------------------------

CD_RECORD_SETUP_DISPLAY CCdRecordView::Display() const
{
	std::lock_guard<std::mutex> lock(fLock);
	fNoticePending.store(false);
	return fDisplay;
}

void CCdRecordView::_Changed()
{
	if (fNoticePending.exchange(true))
		return;
	BMessage notice(M_RECORD_SETUP_DISPLAY_CHANGED);
	if (fTarget.IsValid())
		fTarget.SendMessage(&notice, nullptr, 0);
}

BMessage* CCdRecordView::ItemMessage(const SETUP_MENU& menu, int32 index)
{
	if (index < 0 || size_t(index) >= menu.items.size())
		return nullptr;
	const SETUP_MENU_ITEM& item = menu.items[size_t(index)];
	auto* message = new BMessage(menu.command);
	switch (menu.command) {
		case M_SETUP_WRITE_MODE:
			message->AddInt32("mode", item.value);
			break;
		case M_SETUP_SPEED:
			message->AddInt32(kSpeedValueField, item.value);
			message->AddFloat(kSpeedFactorField, item.factor);
			break;
		case M_SETUP_CD_TEXT:
			message->AddInt32("cdtext", item.value);
			break;
		case M_SETUP_RECORDER:
			message->AddPointer("device", item.pointer);
			break;
		case M_SETUP_PROJECT:
			message->AddPointer("project", item.pointer);
			break;
		case M_SETUP_ACTION:
			message->AddInt32("action", item.value);
			break;
		default:
			break;
	}
	return message;
}

// --- Messages --------------------------------------------------------------

void CCdRecordView::MessageReceived(BMessage* message)
{
	switch (message->what) {
		case M_SETUP_RECORDER: {
			void* pointer = nullptr;
			if (message->FindPointer("device", &pointer) != B_OK || pointer == nullptr)
				return;
			// The poller never sees the device change under it.
			StopUpdateThread();
			{
				std::lock_guard<std::mutex> lock(fLock);
				int32 index = FindPointer(fDisplay.recorder, pointer);
				if (index >= 0) {
					Mark(&fDisplay.recorder, index);
					if (fDevice != pointer) {
						fDevice = static_cast<CDevice*>(pointer);
						_RecorderChanged();
					}
					_Changed();
				}
			}
			if (fAttached && fPoll)
				StartUpdateThread();
			return;
		}
		case M_SETUP_START:
			_Action();
			return;
		case M_SETUP_EJECT:
			_LoadEject();
			return;
		case M_SETUP_PROJECT_INFO:
			DebugAlert("CCdRecordView::ProjectInfo()\n\nTrack layout display not implemented");
			return;
		case M_SETUP_CLOSE:
			if (fTarget.IsValid())
				fTarget.SendMessage(B_QUIT_REQUESTED);
			return;
		default: {
			std::lock_guard<std::mutex> lock(fLock);
			_HandleLocked(message);
			_Changed();
			return;
		}
	}
}

void CCdRecordView::_HandleLocked(BMessage* message)
{
	void* pointer = nullptr;
	int32 value = 0;
	bool flag = false;
	switch (message->what) {
		case M_SETUP_WRITE_MODE:
			if (message->FindInt32("mode", &value) == B_OK && FindValue(fDisplay.writeMode, value) >= 0) {
				Mark(&fDisplay.writeMode, FindValue(fDisplay.writeMode, value));
				if (value != fMode) {
					fMode = value;
					_WriteModeChanged();
				}
			}
			break;
		case M_SETUP_SPEED: {
			float factor = -1;
			if (message->FindInt32(kSpeedValueField, &value) != B_OK)
				break;
			message->FindFloat(kSpeedFactorField, &factor);
			fSpeedValue = value;
			fSpeedFactor = factor;
			for (size_t i = 0; i < fDisplay.speed.items.size(); i++)
				if (fDisplay.speed.items[i].value == value && fDisplay.speed.items[i].factor == factor)
					Mark(&fDisplay.speed, int32(i));
			break;
		}
		case M_SETUP_CD_TEXT: {
			int32 index = -1;
			if (message->FindInt32("cdtext", &value) != B_OK || (index = FindValue(fDisplay.cdText, value)) < 0
				|| !fDisplay.cdText.items[size_t(index)].enabled)
				break;
			if (value != fCdTextChoice) {
				fCdTextChoice = value;
				CPreference settings(kRecordSetupSettings);
				settings.Load();
				settings.RemoveName(kCdTextSetting);
				settings.AddInt32(kCdTextSetting, value);
				settings.Save();
			}
			_UpdateCdText();
			break;
		}
		case M_SETUP_PROJECT:
		case M_SETUP_SELECT_PROJECT:
			if (message->FindPointer("project", &pointer) != B_OK)
				break;
			if (pointer == nullptr && message->what == M_SETUP_SELECT_PROJECT)
				break;
			if (pointer != nullptr && FindPointer(fDisplay.project, pointer) < 0)
				break;
			_ChooseProject(static_cast<CProject*>(pointer));
			break;
		case M_SETUP_ACTION:
			if (message->FindInt32("action", &value) != B_OK || value < 1 || value > 4 || value == fAction)
				break;
			fAction = value;
			Mark(&fDisplay.action, FindValue(fDisplay.action, value));
			fDisplay.actionButtonLabel = value == 1 ? "Start Simulation"
				: value == 2                       ? "Start Writing"
				: value == 3                       ? "Start Simulation and Writing"
												   : "Start Speed Test";
			fDisplay.verifyEnabled = (value & RECORD_ACTION_WRITE) != 0;
			break;
		case M_SETUP_BURN_PROOF:
			if (message->FindBool("value", &flag) == B_OK)
				fDisplay.burnProof = flag;
			break;
		case M_SETUP_VERIFY:
			if (message->FindBool("value", &flag) == B_OK)
				fDisplay.verify = flag;
			break;
		case PROJECT_ADDED:
			if (message->FindPointer("Project", &pointer) == B_OK && pointer != nullptr)
				_ProjectAdded(static_cast<CProject*>(pointer));
			break;
		case PROJECT_REMOVED:
			if (message->FindPointer("Project", &pointer) == B_OK && pointer != nullptr)
				_ProjectRemoved(static_cast<CProject*>(pointer));
			break;
		case PROJECT_RENAMED:
		case PROJECT_CHANGED:
		case PROJECT_TRACKS_MOVED:
		case PROJECT_TRACK_ADDED:
		case PROJECT_TRACK_REMOVED:
		case PROJECT_TRACK_CHANGED:
			if (message->FindPointer("Project", &pointer) == B_OK && pointer != nullptr)
				_ProjectChangedNotice(static_cast<CProject*>(pointer));
			break;
		default:
			// 113, 129 and anything else: nothing to do.
			break;
	}
}

// --- Recorder ----------------------------------------------------------------

void CCdRecordView::_RecorderChanged()
{
	_SetRecorderStatus(kNoMedium);
	fRecorderReady = false;
	fMediumPresent = false;
	_UpdateSpeedMenu();

	uint64 flags = fDevice->GetDriver()->Flags;
	SETUP_MENU& modes = fDisplay.writeMode;
	modes.items[0].enabled = (flags & (F_DAO_WRITE | F_RAW_WRITE)) != 0;
	modes.items[1].enabled = (flags & F_TAO_WRITE) != 0;
	modes.items[2].enabled = false;
	DEBUG_ASSERT(modes.items[0].enabled || modes.items[1].enabled);
	int32 mode = modes.items[0].enabled ? kModeDao : kModeTao;
	Mark(&modes, FindValue(modes, mode));
	// A new recorder sets the simulation items again even when the mode
	// stays.
	fMode = mode;
	_WriteModeChanged();

	_UpdateCdText();
}

void CCdRecordView::_UpdateCdText()
{
	const uint64 flags = fDevice != nullptr ? fDevice->GetDriver()->Flags : 0;
	// The engine writes CD-Text into the lead-in of a disc-at-once session
	// (not of a raw one) on a recorder that says it can.
	const bool recorder = (flags & F_CDTEXT_WRITE) != 0 && (flags & F_DAO_WRITE) != 0;
	const bool possible = recorder && fMode == kModeDao;
	SETUP_MENU& menu = fDisplay.cdText;
	for (size_t i = 1; i < menu.items.size(); i++)
		menu.items[i].enabled = possible;
	fCdText = possible ? fCdTextChoice : CD_TEXT_NONE;
	Mark(&menu, std::max<int32>(FindValue(menu, fCdText), 0));

	std::string note;
	if (fDevice != nullptr && !recorder)
		note = kCdTextRecorderNote;
	else if (fDevice != nullptr && fMode != kModeDao)
		note = kCdTextTrackAtOnceNote;
	else if (fCdText != CD_TEXT_NONE && fProject != nullptr) {
		SCdTextResult result;
		if (BuildCdText(fProject, fCdText, &result) == B_OK)
			note = CdTextNotice(result);
	}
	if (note != fDisplay.cdTextNote) {
		fDisplay.cdTextNote = note;
		_Changed();
	}
}

void CCdRecordView::_WriteModeChanged()
{
	uint64 flags = fDevice != nullptr ? fDevice->GetDriver()->Flags : 0;
	bool simulate = fMode == kModeDao ? (flags & (F_DAO_TESTWRITE | F_RAW_TESTWRITE)) != 0
									  : (flags & F_TAO_TESTWRITE) != 0;
	SETUP_MENU& actions = fDisplay.action;
	actions.items[0].enabled = simulate;
	actions.items[1].enabled = false;
	int32 action = simulate ? RECORD_ACTION_SIMULATE : RECORD_ACTION_WRITE;
	BMessage choice(M_SETUP_ACTION);
	choice.AddInt32("action", action);
	fAction = 0;   // delivered as a change
	_HandleLocked(&choice);
	_UpdateCdText();
}

void CCdRecordView::_UpdateSpeedMenu()
{
	SETUP_MENU& menu = fDisplay.speed;
	menu.items.clear();
	auto add = [&](const SPEED_INFO* speed) {
		SPEED_MENU_ITEM made = CreateSpeedMenuItem(speed, M_SETUP_SPEED);
		SETUP_MENU_ITEM item;
		item.label = made.label;
		item.value = made.speedValue;
		item.factor = made.speedFactor;
		menu.items.push_back(item);
	};
	add(nullptr);
	CDriver* driver = fDevice != nullptr ? fDevice->GetDriver() : nullptr;
	int32 stored = -1;
	if (driver != nullptr) {
		// The device set-up stores its two choices under crossed keys: the
		// CD-R choice as "cd-rw writing speed" and the CD-RW one as "cd-r
		// writing speed". Stored settings rely on that.
		const SPEED_INFO* table = fMediumType == 2 ? driver->pWriteSpeedCdrw : driver->pWriteSpeedCdr;
		const char* key = fMediumType == 2 ? "cd-r writing speed" : "cd-rw writing speed";
		for (int32 i = 0; i < CountSpeedEntries(table); i++)
			add(&table[i]);
		if (BMessage* settings = fDevice->GetPreference())
			settings->FindInt32(key, &stored);
	}
	int32 marked = 0;
	for (size_t i = 1; i < menu.items.size(); i++)
		if (menu.items[i].value == stored) {
			marked = int32(i);
			break;
		}
	Mark(&menu, marked);
	fSpeedValue = menu.items[size_t(marked)].value;
	fSpeedFactor = menu.items[size_t(marked)].factor;
}

void CCdRecordView::_SetRecorderStatus(const std::string& text)
{
	fDisplay.recorderStatus = text;
	_Changed();
}

// --- Polling -------------------------------------------------------------------

void CCdRecordView::StartUpdateThread()
{
	if (fUpdateThread >= 0 || fDevice == nullptr)
		return;
	{
		std::lock_guard<std::mutex> lock(fStopLock);
		fStop = false;
	}
	fUpdateThread = spawn_thread(_UpdateThreadEntry, kSetupPollThreadName, kSetupPollThreadPriority, this);
	if (fUpdateThread >= 0)
		resume_thread(fUpdateThread);
}

void CCdRecordView::StopUpdateThread()
{
	if (fUpdateThread < 0)
		return;
	{
		std::lock_guard<std::mutex> lock(fStopLock);
		fStop = true;
	}
	fStopCondition.notify_all();
	status_t result;
	wait_for_thread(fUpdateThread, &result);
	fUpdateThread = -1;
}

status_t CCdRecordView::_UpdateThreadEntry(void* data)
{
	static_cast<CCdRecordView*>(data)->_UpdateThreadLoop();
	return B_OK;
}

void CCdRecordView::_UpdateThreadLoop()
{
	while (true) {
		DeviceUpdate();
		// Ten steps of 25 ms, left at once when asked to stop.
		std::unique_lock<std::mutex> lock(fStopLock);
		if (fStopCondition.wait_for(lock, std::chrono::microseconds(10 * 25000), [this] { return fStop; }))
			return;
	}
}

void CCdRecordView::DeviceUpdate()
{
	CDevice* device;
	{
		std::lock_guard<std::mutex> lock(fLock);
		device = fDevice;
	}
	// A run that uses the recorder owns it.
	if (device == nullptr || device->AreUpdatesDisabled())
		return;
	CDriver* driver = device->GetDriver();
	SCSI_DISC_INFORMATION info;
	memset(&info, 0, sizeof(info));
	bool ready = driver->TestUnitReady(device, nullptr);
	bool ok = ready && driver->ReadDiscInformation(device, &info, nullptr);

	std::lock_guard<std::mutex> lock(fLock);
	if (device != fDevice)
		return;
	if (fMediumPresent && !ok) {
		fMediumPresent = false;
		_SetRecorderStatus(kNoMedium);
		fRecorderReady = false;
		_UpdateShortfall();
	} else if (!fMediumPresent && ok) {
		fMediumPresent = true;
		_UpdateCdInserted(info);
	}
}

void CCdRecordView::_UpdateCdInserted(const SCSI_DISC_INFORMATION& info)
{
	fRecorderReady = false;
	int32 oldType = fMediumType;
	fMediumType = info.Erasable ? 2 : 1;
	SCSI_ATIP_DATA atip;
	memset(&atip, 0, sizeof(atip));
	fDevice->GetDriver()->ReadAtipData(fDevice, &atip, nullptr);

	const uint8* leadout = info.LastPossibleStartTimeOfLeadout;
	bool noLeadout = leadout[0] == 0xFF && leadout[1] == 0xFF && leadout[2] == 0xFF;
	if (noLeadout || info.DiscStatus == 2)
		_SetRecorderStatus("Disc is complete and cannot be written");
	else if (info.DiscStatus == 1)
		_SetRecorderStatus("Disc is incomplete and cannot be written");
	else if (info.DiscStatus == 0 && leadout[0] >= 11) {
		fMediumLength = int32(leadout[0]) * 4500 + int32(leadout[1]) * 75 + int32(leadout[2]) - 1;
		fRecorderReady = true;
		const char* type = fMediumType == 1 ? "CD-R" : fMediumType == 2 ? "CD-RW" : "Unknown";
		_SetRecorderStatus(std::string(type) + " medium is empty, length: " + FormatMsf(fMediumLength));
	}
	if (fMediumType != oldType)
		_UpdateSpeedMenu();
	_UpdateShortfall();
}

void CCdRecordView::_LoadEject()
{
	CDevice* device = Device();
	if (device == nullptr)
		return;
	device->GetDriver()->MediumAllowRemoval(device, nullptr);
	device->GetDriver()->MediumEject(device, nullptr);
}

// --- Projects ----------------------------------------------------------------

void CCdRecordView::_ChooseProject(CProject* project)
{
	fProject = project;
	_ProjectChanged();
}

void CCdRecordView::_ProjectChanged()
{
	fDisplay.projectProblems.clear();
	if (fProject == nullptr) {
		// A transient item: the field shows it, the menu does not keep it.
		Mark(&fDisplay.project, -1);
		fDisplay.project.shown = "<No Project>";
		fDisplay.projectStatus = "No Project, recording not possible";
		fProjectStatusBase = fDisplay.projectStatus;
		fProjectValid = false;
		fProjectSectors = 0;
		_UpdateCdText();
		return;
	}
	Mark(&fDisplay.project, FindPointer(fDisplay.project, fProject));
	int32 tracks = fProject->CountTracks();
	int64 length = fProject->DiscLength() / FRAMES_PER_SECTOR;
	int64 free = fProject->DiscMaxLength() / FRAMES_PER_SECTOR - length;
	fProjectSectors = length;
	fProjectStatusBase = ProjectStatusText(tracks, length, free, &fProjectValid);
	_UpdateShortfall();
	_UpdateCdText();
}

void CCdRecordView::_UpdateShortfall()
{
	std::string status = fProjectStatusBase;
	if (fProject != nullptr && fProjectValid && fRecorderReady && fProjectSectors > fMediumLength) {
		// Which tracks end beyond the medium.
		int32 notFitting = 0;
		int64 end = 0;
		for (int64 frames : TrackFrames(fProject)) {
			end += frames;
			if (end / FRAMES_PER_SECTOR > fMediumLength)
				notFitting++;
		}
		status += ", " + MediumShortfallText(fProjectSectors - fMediumLength, notFitting);
	}
	if (status != fDisplay.projectStatus) {
		fDisplay.projectStatus = status;
		_Changed();
	}
}

void CCdRecordView::_ProjectAdded(CProject* project)
{
	if (FindPointer(fDisplay.project, project) >= 0)
		return;
	fProjects.push_back(project);
	SETUP_MENU_ITEM item;
	item.label = project->Name();
	item.pointer = project;
	fDisplay.project.items.push_back(item);
	if (fProject == nullptr)
		_ChooseProject(project);
}

void CCdRecordView::_ProjectChangedNotice(CProject* project)
{
	int32 index = FindPointer(fDisplay.project, project);
	if (index < 0)
		return;
	fDisplay.project.items[size_t(index)].label = project->Name();
	if (project == fProject)
		_ProjectChanged();
}

void CCdRecordView::_ProjectRemoved(CProject* project)
{
	int32 index = FindPointer(fDisplay.project, project);
	if (index < 0)
		return;
	fDisplay.project.items.erase(fDisplay.project.items.begin() + index);
	if (project == fProject) {
		CProject* next = fDisplay.project.items.empty()
			? nullptr
			: static_cast<CProject*>(fDisplay.project.items.front().pointer);
		_ChooseProject(next);
	}
	std::erase(fProjects, project);
	if (fRoster != nullptr)
		fRoster->UnregisterProject(project);
}

// --- Start -------------------------------------------------------------------

void CCdRecordView::_Action()
{
	CProject* project;
	CDevice* device;
	int32 action;
	bool projectValid, recorderReady;
	int32 mediumLength;
	{
		std::lock_guard<std::mutex> lock(fLock);
		project = fProject;
		device = fDevice;
		action = fAction;
		projectValid = fProjectValid;
		recorderReady = fRecorderReady;
		mediumLength = fMediumLength;
	}
	if (!projectValid || project == nullptr) {
		DebugAlert("The project is invalid, CD recording not possible!");
		return;
	}
	if ((action & RECORD_ACTION_SPEED_TEST) != 0) {
		DebugAlert("speed test removed");
		return;
	}
	if (!recorderReady || device == nullptr) {
		DebugAlert("The recorder is not ready, CD recording not possible!");
		return;
	}
	// The files themselves, before any warning about the run.
	std::vector<RECORDING_PROBLEM> problems;
	status_t checked = CheckProjectForRecording(project, &problems);
	{
		std::lock_guard<std::mutex> lock(fLock);
		fDisplay.projectProblems.clear();
		for (const RECORDING_PROBLEM& problem : problems)
			fDisplay.projectProblems.push_back(problem.text);
		_Changed();
	}
	if (checked != B_OK) {
		std::string text = "The project cannot be recorded:\n";
		for (const RECORDING_PROBLEM& problem : problems)
			if (problem.fatal)
				text += "\n" + problem.text;
		BAlert alert("project problems", text.c_str(), "OK", nullptr, nullptr, B_WIDTH_AS_USUAL, B_STOP_ALERT);
		alert.Go();
		return;
	}
	int64 length = project->DiscLength() / FRAMES_PER_SECTOR;
	if (length > int64(mediumLength) && !StopAlert("medium length warning", kMediumLengthWarning))
		return;
	if ((action & 3) == RECORD_ACTION_WRITE && !StopAlert("no testwrite warning", kNoTestwriteWarning))
		return;
	if ((action & 3) == RECORD_ACTION_SIMULATE && !StopAlert("testwrite warning", kTestwriteWarning))
		return;

	auto record = std::make_unique<CRecordAction>();
	{
		std::lock_guard<std::mutex> lock(fLock);
		record->bRewritableMedium = fMediumType == 2;
		record->bBurnProof = fDisplay.burnProof;
		record->bVerify = fDisplay.verify && (fAction & RECORD_ACTION_WRITE) != 0;
		record->nActionFlags = fAction;
		record->nWriteMode = fMode;
		record->nCdText = fCdText;
		record->nWriteSpeed = fSpeedValue;
		record->fSpeedFactor = fSpeedFactor;
		record->pProject = fProject;
		record->pDevice = fDevice;
	}
	if (fRoster != nullptr) {
		fRoster->RegisterProject(record->pProject);
		record->bProjectRegistered = true;
	}
	BMessage handOver(M_RECORD_SETUP_HAND_OVER);
	handOver.AddPointer("recordaction", record.get());
	if (fTarget.IsValid() && fTarget.SendMessage(&handOver, nullptr, B_INFINITE_TIMEOUT) == B_OK)
		record.release();
	else
		return;   // nobody took the run: the action gives the project back
	fTarget.SendMessage(B_QUIT_REQUESTED);
}

// --- Choices -------------------------------------------------------------------

CDevice* CCdRecordView::Device() const
{
	std::lock_guard<std::mutex> lock(fLock);
	return fDevice;
}

CProject* CCdRecordView::Project() const
{
	std::lock_guard<std::mutex> lock(fLock);
	return fProject;
}

int32 CCdRecordView::ActionFlags() const
{
	std::lock_guard<std::mutex> lock(fLock);
	return fAction;
}

int32 CCdRecordView::WriteMode() const
{
	std::lock_guard<std::mutex> lock(fLock);
	return fMode;
}

int32 CCdRecordView::SpeedValue() const
{
	std::lock_guard<std::mutex> lock(fLock);
	return fSpeedValue;
}

float CCdRecordView::SpeedFactor() const
{
	std::lock_guard<std::mutex> lock(fLock);
	return fSpeedFactor;
}

bool CCdRecordView::RecorderReady() const
{
	std::lock_guard<std::mutex> lock(fLock);
	return fRecorderReady;
}

bool CCdRecordView::ProjectValid() const
{
	std::lock_guard<std::mutex> lock(fLock);
	return fProjectValid;
}

int32 CCdRecordView::MediumType() const
{
	std::lock_guard<std::mutex> lock(fLock);
	return fMediumType;
}

int32 CCdRecordView::MediumLength() const
{
	std::lock_guard<std::mutex> lock(fLock);
	return fMediumLength;
}

int32 CCdRecordView::CdText() const
{
	std::lock_guard<std::mutex> lock(fLock);
	return fCdText;
}
