#include "projects/DestinationModel.h"

#include "frame/App.h"
#include "frame/Diagnostics.h"
#include "frame/PostMessageAsync.h"
#include "kit/interface/Alert.h"
#include "kit/interface/Point.h"
#include "kit/storage/Directory.h"
#include "kit/support/Errors.h"
#include "kit/support/Message.h"
#include "projects/Project.h"
#include "projects/ProjectRoster.h"

#include <algorithm>

const char* const kNewProjectName = "New Project";
const char* const kNoBaseFolderText = "couldn't get project base folder";
const char* const kRenameFailedText = "could not rename project";
const char* const kNotEmptyText = "project must be empty";
const char* const kDeleteFailedText = "could not delete project";
const char* const kProjectGoneText
	= "Destination project does not exist, has been removed or is no longer valid.";
const char* const kEditProjectNotices[4] = {
	"Not implemented.\n",
	"function not available in this version.\n",
	"It's nothing here yet.\n",
	"This feature will get implemented in the future.\n",
};

namespace {

// How often a drop on an empty pane has waited for its project's page.
const char* const kDropTriesField = "tarnwick:drop_tries";

void Alert(const std::string& text)
{
	(new BAlert(pszAppName, text.c_str(), "OK", nullptr, nullptr, B_WIDTH_AS_USUAL, B_WARNING_ALERT))->Go();
}

CProject* ProjectOf(const BMessage* message)
{
	void* pointer = nullptr;
	if (message->FindPointer("Project", &pointer) != B_OK)
		return nullptr;
	return static_cast<CProject*>(pointer);
}

}   // namespace

std::string ProjectNameFromInput(const char* typed)
{
	std::string name = typed != nullptr ? typed : "";
	std::replace(name.begin(), name.end(), '/', '|');
	return name;
}

status_t CreateProjectFolder(BDirectory* base, const char* name, std::string* created)
{
	if (base == nullptr || name == nullptr || name[0] == '\0' || created == nullptr)
		return B_BAD_VALUE;
	std::string candidate = name;
	for (int32 counter = 1; counter <= 100000; counter++) {
		status_t status = base->CreateDirectory(candidate.c_str());
		if (status != B_FILE_EXISTS) {
			if (status == B_OK)
				*created = candidate;
			return status;
		}
		candidate = std::string(name) + " " + std::to_string(counter);
	}
	return B_FILE_EXISTS;
}

BMessage MakeFileDropMessage(const std::vector<entry_ref>& refs, bool copy, CProject* project)
{
	BMessage message(B_SIMPLE_DATA);
	message.AddPointer("src_window", nullptr);
	message.AddPoint("click_pt", BPoint(0, 0));
	message.AddInt32("buttons", 1);
	if (copy)
		message.AddBool("force_file_copy", true);
	for (const entry_ref& ref : refs)
		message.AddRef("refs", &ref);
	if (project != nullptr)
		message.AddPointer("Project", project);
	return message;
}

CDestinationModel::CDestinationModel(const BMessenger& display, const BMessenger& self, CProjectRoster* roster)
	:
	fDisplay(display),
	fSelf(self),
	fRoster(roster)
{
}

CDestinationModel::~CDestinationModel()
{
	Detach();
}

void CDestinationModel::Attach()
{
	if (fAttached || fRoster == nullptr)
		return;
	fAttached = true;
	fRoster->Attach(fSelf);
}

void CDestinationModel::Detach()
{
	if (!fAttached)
		return;
	fAttached = false;
	fRoster->Detach(fSelf);
	for (const DESTINATION_PAGE& page : fPages)
		fRoster->UnregisterProject(page.project);
	fPages.clear();
	fActive = nullptr;
}

const DESTINATION_PAGE* CDestinationModel::FindPage(CProject* project) const
{
	for (const DESTINATION_PAGE& page : fPages) {
		if (page.project == project)
			return &page;
	}
	return nullptr;
}

DESTINATION_PAGE* CDestinationModel::_Page(CProject* project)
{
	return const_cast<DESTINATION_PAGE*>(FindPage(project));
}

void CDestinationModel::SetActiveProject(CProject* project)
{
	fActive = FindPage(project) != nullptr ? project : nullptr;
}

std::vector<MENU_ITEM_RECORD> CDestinationModel::PopUpMenu() const
{
	auto item = [](const char* label, uint32 command, bool enabled) {
		MENU_ITEM_RECORD record;
		record.label = label;
		record.command = command;
		record.enabled = enabled;
		return record;
	};
	MENU_ITEM_RECORD separator;
	separator.separator = true;
	bool active = fActive != nullptr;
	return {item("Create New Project", DEST_CREATE_PROJECT, true), separator,
		item("Rename Project", DEST_RENAME_PROJECT, active), item("Edit Project Properties", DEST_EDIT_PROJECT, true),
		separator, item("Delete Current Project", DEST_DELETE_PROJECT, active)};
}

bool CDestinationModel::MessageReceived(BMessage* message)
{
	switch (message->what) {
		case DEST_CREATE_PROJECT:
			_AskName(DEST_CREATE_PROJECT_NAMED, kNewProjectName, "Create", nullptr);
			return true;
		case DEST_CREATE_PROJECT_NAMED: {
			std::string text;
			message->FindString("text", &text);
			_Create(text.c_str());
			return true;
		}
		case DEST_RENAME_PROJECT:
			if (fActive != nullptr)
				_AskName(DEST_RENAME_PROJECT_NAMED, fActive->Name().c_str(), "Rename", fActive);
			return true;
		case DEST_RENAME_PROJECT_NAMED: {
			std::string text;
			message->FindString("text", &text);
			CProject* project = ProjectOf(message);
			// The project the dialog was opened for, while it has a page.
			_Rename(project != nullptr && FindPage(project) != nullptr ? project : fActive, text.c_str());
			return true;
		}
		case DEST_EDIT_PROJECT:
			Alert(kEditProjectNotices[fNotice]);
			fNotice = (fNotice + 1) % 4;
			return true;
		case DEST_DELETE_PROJECT:
			if (fActive != nullptr)
				_Delete(fActive);
			return true;
		case PROJECT_ADDED:
			if (!fAttached) {
				// Posted before the model detached: the roster counted a
				// reference for it, which no page will hold.
				if (fRoster != nullptr && ProjectOf(message) != nullptr)
					fRoster->UnregisterProject(ProjectOf(message));
				return true;
			}
			_AddPage(ProjectOf(message));
			return true;
		case PROJECT_REMOVED:
			if (fAttached)
				_RemovePage(ProjectOf(message));
			return true;
		case PROJECT_RENAMED:
			if (fAttached)
				_RenamePage(ProjectOf(message));
			return true;
		case PROJECT_CHANGED:
		case PROJECT_TRACK_ADDED:
		case PROJECT_TRACK_REMOVED:
		case PROJECT_TRACK_CHANGED:
		case PROJECT_TRACKS_MOVED: {
			CProject* project = ProjectOf(message);
			if (!fAttached)
				return true;   // late news for a pane that has let go
			if (FindPage(project) == nullptr) {
				DebugAssert("DestinationView", __LINE__, "page of a notified project");
				return true;
			}
			_ToPage(project, *message);
			return true;
		}
		case B_SIMPLE_DATA:
			_Drop(message);
			return true;
		default:
			return false;
	}
}

void CDestinationModel::_AskName(uint32 reply, const char* text, const char* button, CProject* project)
{
	BMessage ask(DEST_ASK_NAME);
	ask.AddString("prompt", "Project Name:");
	ask.AddString("text", text);
	ask.AddString("button", button);
	ask.AddInt32("reply", int32(reply));
	if (project != nullptr)
		ask.AddPointer("Project", project);
	_Post(&ask);
}

bool CDestinationModel::_Create(const char* typed)
{
	std::string name = ProjectNameFromInput(typed);
	if (name.empty())
		return false;
	BDirectory base;
	if (fRoster == nullptr || fRoster->GetProjectBaseFolder(&base) != B_OK) {
		Alert(kNoBaseFolderText);
		return false;
	}
	std::string created;
	status_t status = CreateProjectFolder(&base, name.c_str(), &created);
	if (status != B_OK) {
		// Not a clash of names: the folder cannot be made at all.
		Alert(std::string("could not create project\n\n") + StatusText(status));
		return false;
	}
	// The roster's monitor announces the project; its page is then shown.
	fCreatedName = created;
	return true;
}

void CDestinationModel::_Rename(CProject* project, const char* typed)
{
	if (project == nullptr)
		return;
	std::string name = ProjectNameFromInput(typed);
	if (name == project->Name())
		return;
	bool locked = fRoster != nullptr && fRoster->Lock();
	status_t status = project->SetName(name.c_str());
	if (locked)
		fRoster->Unlock();
	if (status != B_OK)
		Alert(kRenameFailedText);
}

void CDestinationModel::_Delete(CProject* project)
{
	bool locked = fRoster != nullptr && fRoster->Lock();
	status_t status = B_OK;
	bool empty = project->CountTracks() == 0;
	if (empty)
		status = project->Delete();
	if (locked)
		fRoster->Unlock();
	if (!empty)
		Alert(kNotEmptyText);
	else if (status != B_OK)
		Alert(kDeleteFailedText);
}

void CDestinationModel::_AddPage(CProject* project)
{
	if (project == nullptr)
		return;
	if (FindPage(project) != nullptr) {
		// Announced twice: the page holds one reference only.
		if (fRoster != nullptr)
			fRoster->UnregisterProject(project);
		return;
	}
	std::string label = project->Name();
	fPages.push_back({project, label});
	BMessage added(DEST_PAGE_ADDED);
	added.AddPointer("Project", project);
	added.AddString("label", label);
	_Post(&added);

	bool created = !fCreatedName.empty() && label == fCreatedName;
	if (created)
		fCreatedName.clear();
	if (fActive == nullptr || created) {
		fActive = project;
		BMessage activated(DEST_PAGE_ACTIVATED);
		activated.AddPointer("Project", project);
		_Post(&activated);
	}
}

void CDestinationModel::_RemovePage(CProject* project)
{
	auto found = std::find_if(fPages.begin(), fPages.end(),
		[project](const DESTINATION_PAGE& page) { return page.project == project; });
	if (found == fPages.end()) {
		DebugAssert("DestinationView", __LINE__, "page of a removed project");
		return;
	}
	size_t index = size_t(found - fPages.begin());
	fPages.erase(found);
	BMessage removed(DEST_PAGE_REMOVED);
	removed.AddPointer("Project", project);
	_Post(&removed);
	if (fActive == project) {
		// The page that takes its place, else the one before it.
		fActive = fPages.empty() ? nullptr : fPages[std::min(index, fPages.size() - 1)].project;
		if (fActive != nullptr) {
			BMessage activated(DEST_PAGE_ACTIVATED);
			activated.AddPointer("Project", fActive);
			_Post(&activated);
		}
	}
	if (fRoster != nullptr)
		fRoster->UnregisterProject(project);
}

void CDestinationModel::_RenamePage(CProject* project)
{
	DESTINATION_PAGE* page = _Page(project);
	if (page == nullptr) {
		DebugAssert("DestinationView", __LINE__, "page of a renamed project");
		return;
	}
	page->label = project->Name();
	BMessage renamed(DEST_PAGE_RENAMED);
	renamed.AddPointer("Project", project);
	renamed.AddString("label", page->label);
	_Post(&renamed);
}

void CDestinationModel::_ToPage(CProject* project, const BMessage& message)
{
	BMessage forward(DEST_PAGE_MESSAGE);
	forward.AddPointer("Project", project);
	forward.AddMessage("message", &message);
	_Post(&forward);
}

void CDestinationModel::_Drop(BMessage* message)
{
	// A drop meant for one project (the volumes page's chosen project).
	if (CProject* target = ProjectOf(message)) {
		if (FindPage(target) == nullptr || (fRoster != nullptr && !fRoster->IsProjectValid(target))) {
			Alert(kProjectGoneText);
			return;
		}
		_ToPage(target, *message);
		return;
	}
	if (fActive != nullptr) {
		message->RemoveName(kDropTriesField);
		_ToPage(fActive, *message);
		return;
	}

	// No page: make "New Project" once, then wait for its page in steps of
	// half a second, and give up after a few (the folder may not be
	// announced at all) instead of making another project each time.
	int32 tries = 0;
	message->FindInt32(kDropTriesField, &tries);
	if (tries >= kDelayedDropTries) {
		Alert("The dropped files could not be added: there is no project to put them in.");
		return;
	}
	if (tries == 0 && !_Create(kNewProjectName))
		return;   // creating it failed and was reported
	BMessage again(*message);
	again.RemoveName(kDropTriesField);
	again.AddInt32(kDropTriesField, tries + 1);
	PostMessageAsync(&again, &fSelf, kDelayedDropWait);
}

void CDestinationModel::_Post(BMessage* message)
{
	if (fDisplay.IsValid())
		fDisplay.SendMessage(message, nullptr);
}
