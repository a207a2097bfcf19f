#include "projects/ApplicationSetupView.h"

#include "frame/Diagnostics.h"
#include "frame/Preference.h"
#include "kit/interface/Alert.h"
#include "kit/storage/Directory.h"
#include "kit/storage/Entry.h"
#include "kit/storage/EntryRef.h"
#include "kit/storage/Volume.h"
#include "kit/support/Message.h"
#include "projects/FileUtil.h"
#include "projects/ProjectRoster.h"

#include <filesystem>
#include <sys/stat.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const kRootRecord = "project root folder";
const char* const kSplashRecord = "splash screen";
const char* const kProjectSettingsRecord = "global project settings";

// An absolute path without "." or ".." parts and without a trailing '/'
// (except the root itself); "" for a relative or empty path.
std::string Normalized(const std::string& path)
{
	if (path.empty() || path[0] != '/')
		return std::string();
	std::string normal = fs::path(path).lexically_normal().string();
	while (normal.size() > 1 && normal.back() == '/')
		normal.pop_back();
	return normal;
}

// `inner` lies inside `outer` (both normalised, not equal).
bool IsInside(const std::string& inner, const std::string& outer)
{
	if (outer == "/")
		return inner != "/";
	return inner.size() > outer.size() && inner.compare(0, outer.size(), outer) == 0 && inner[outer.size()] == '/';
}

void Alert(const char* text)
{
	AlertRequest alert;
	alert.title = kApplicationSetupWindowTitle;
	alert.text = text;
	alert.buttons = {"OK"};
	alert.type = B_WARNING_ALERT;
	ShowAlert(alert);
}

std::string RosterFolder()
{
	BDirectory folder;
	if (gpProjectRoster == nullptr || gpProjectRoster->GetProjectBaseFolder(&folder) != B_OK)
		return std::string();
	return folder.Path();
}

bool StoredBool(const char* record, const char* key, bool otherwise)
{
	CPreference preference(record);
	preference.AddBool(key, otherwise);
	preference.Load();
	bool value = otherwise;
	preference.FindBool(key, &value);
	return value;
}

void StoreBool(const char* record, const char* key, bool value)
{
	CPreference preference(record);
	preference.Load();
	if (preference.ReplaceBool(key, value) != B_OK) {
		preference.RemoveName(key);
		preference.AddBool(key, value);
	}
	preference.Save();
}

void StoreString(CPreference* preference, const char* key, const std::string& value)
{
	if (preference->ReplaceString(key, value.c_str()) != B_OK) {
		preference->RemoveName(key);
		preference->AddString(key, value.c_str());
	}
}

}   // namespace

const char* const CApplicationSetupView::kVolumeAlerts[6] = {
	"\nThe selected folder is located on a non persistent volume. It cannot be used.\n",
	"\nThe selected folder is located on a removeable volume. It cannot be used.\n",
	"\nThe selected folder is located on a read-only volume. It cannot be used.\n",
	"\nThe selected folder is located on a volume that does not accept attributes. It cannot be used.\n",
	"\nThe selected folder is located on a volume that does not use MIME to type files. It cannot be used.\n",
	"\nThe selected folder is located on a volume that does not support queries. It cannot be used.\n",
};

const char* const CApplicationSetupView::kNestedFolderAlert
	= "\nThe selected folder lies inside the current project folder or holds it. It cannot be used.\n";

const char* const CApplicationSetupView::kOtherVolumeNotice
	= "\nThe new project folder is located on a different volume than the old project folder. It is not possible "
	  "to move the project folder while Tarnwick is running. Please quit and restart Tarnwick to apply the "
	  "change.\n";

bool CVolumeInspector::Inspect(const std::string& path, VOLUME_CAPABILITIES* capabilities) const
{
	// The nearest folder that exists stands for a path still to be made.
	std::string existing = Normalized(path);
	struct stat st;
	while (!existing.empty() && stat(existing.c_str(), &st) != 0) {
		if (existing == "/")
			return false;
		existing = fs::path(existing).parent_path().string();
	}
	BVolume volume;
	if (existing.empty() || volume.SetToPath(existing.c_str()) != B_OK)
		return false;
	capabilities->device = volume.Device();
	capabilities->persistent = volume.IsPersistent();
	capabilities->removable = volume.IsRemovable();
	capabilities->readOnly = volume.IsReadOnly();
	capabilities->attributes = volume.KnowsAttr();
	capabilities->mimeTypes = volume.KnowsMime();
	// Nothing in the program runs a query: a volume that keeps attributes
	// serves.
	capabilities->queries = volume.KnowsQuery() || capabilities->attributes;
	return true;
}

int32 CApplicationSetupView::FirstFailingCheck(const VOLUME_CAPABILITIES& capabilities)
{
	const bool passes[6] = {capabilities.persistent, !capabilities.removable, !capabilities.readOnly,
		capabilities.attributes, capabilities.mimeTypes, capabilities.queries};
	for (int32 i = 0; i < 6; i++) {
		if (!passes[i])
			return i;
	}
	return -1;
}

CApplicationSetupView::CApplicationSetupView(std::function<std::string()> currentFolder,
	std::shared_ptr<const CVolumeInspector> volumes)
	:
	fCurrentFolder(currentFolder ? std::move(currentFolder) : RosterFolder),
	fVolumes(volumes ? std::move(volumes) : std::make_shared<CVolumeInspector>())
{
}

void CApplicationSetupView::SetTarget(const BMessenger& target)
{
	fTarget = target;
}

void CApplicationSetupView::AttachedToWindow()
{
	Revert();
}

void CApplicationSetupView::DetachedFromWindow()
{
	if (fChanged)
		Apply();
}

void CApplicationSetupView::Revert()
{
	fDisplay.projectFolder = fCurrentFolder();
	fDisplay.showSplashScreen = StoredBool(kSplashRecord, "show", true);
	fDisplay.renameFiles = StoredBool(kProjectSettingsRecord, "rename source files", false);
	fDisplay.revertEnabled = false;
	fChanged = false;
	fCheckedFolder.clear();
	_Post(APPLICATION_SETUP_CHANGED);
}

void CApplicationSetupView::_DataChanged()
{
	fChanged = true;
	fDisplay.revertEnabled = true;
	_Post(APPLICATION_SETUP_CHANGED);
}

void CApplicationSetupView::_Post(uint32 what)
{
	if (!fTarget.IsValid())
		return;
	if (what == APPLICATION_SETUP_OPEN_SELECTOR) {
		// The selector starts where the shown path ends, cut at its last '/'.
		std::string folder = fDisplay.projectFolder;
		size_t slash = folder.rfind('/');
		folder = slash == std::string::npos ? std::string() : folder.substr(0, slash == 0 ? 1 : slash);
		BMessage message(what);
		message.AddString("folder", folder.c_str());
		fTarget.SendMessage(&message);
		return;
	}
	fTarget.SendMessage(what);
}

bool CApplicationSetupView::MessageReceived(BMessage* message)
{
	if (message == nullptr)
		return false;
	switch (message->what) {
		case APPLICATION_SETUP_REVERT:
			Revert();
			return true;
		case APPLICATION_SETUP_SHOW_SELECTOR:
			fDisplay.selectorOpen = true;
			_Post(APPLICATION_SETUP_OPEN_SELECTOR);
			return true;
		case APPLICATION_SETUP_FOLDER_EDITED: {
			std::string text;
			if (message->FindString("text", &text) == B_OK && text != fDisplay.projectFolder) {
				fDisplay.projectFolder = text;
				_DataChanged();
			}
			return true;
		}
		case APPLICATION_SETUP_CHECK_BOX: {
			bool value = false;
			if (message->FindBool("ShowSplashScreen", &value) == B_OK)
				fDisplay.showSplashScreen = value;
			else if (message->FindBool("RenameFiles", &value) == B_OK)
				fDisplay.renameFiles = value;
			else
				return true;
			_DataChanged();
			return true;
		}
		case APPLICATION_SETUP_FOLDER_SELECTED: {
			fDisplay.selectorOpen = false;
			_Post(APPLICATION_SETUP_CLOSE_SELECTOR);
			entry_ref ref;
			if (message->FindRef("refs", &ref) == B_OK)
				FolderSelected(ref.Path());
			return true;
		}
		case B_CANCEL:
			fDisplay.selectorOpen = false;
			_Post(APPLICATION_SETUP_CLOSE_SELECTOR);
			return true;
		default:
			return false;
	}
}

bool CApplicationSetupView::_CheckFolder(const std::string& path)
{
	VOLUME_CAPABILITIES capabilities;
	if (!fVolumes->Inspect(path, &capabilities)) {
		Alert(kVolumeAlerts[0]);
		return false;
	}
	int32 failing = FirstFailingCheck(capabilities);
	if (failing >= 0) {
		Alert(kVolumeAlerts[failing]);
		return false;
	}
	// The project folder cannot move into itself, nor the chosen folder
	// into a folder it holds.
	const std::string current = Normalized(fCurrentFolder());
	if (!current.empty() && (IsInside(path, current) || IsInside(current, path))) {
		Alert(kNestedFolderAlert);
		return false;
	}
	return true;
}

bool CApplicationSetupView::FolderSelected(const std::string& path)
{
	const std::string folder = Normalized(path);
	if (folder.empty() || !_CheckFolder(folder))
		return false;
	fCheckedFolder = folder;
	fDisplay.projectFolder = folder;
	_DataChanged();
	return true;
}

status_t CApplicationSetupView::Apply()
{
	status_t result = B_OK;
	const std::string current = Normalized(fCurrentFolder());
	const std::string chosen = Normalized(fDisplay.projectFolder);
	if (chosen != current) {
		// A typed path gets the checks a chosen one had.
		if (chosen.empty() || current.empty()) {
			Alert(kVolumeAlerts[0]);
			result = B_BAD_VALUE;
		} else if (chosen != fCheckedFolder && !_CheckFolder(chosen)) {
			result = B_NOT_ALLOWED;
		} else {
			result = _ChangeProjectFolder(current, chosen);
		}
	}
	StoreBool(kSplashRecord, "show", fDisplay.showSplashScreen);
	StoreBool(kProjectSettingsRecord, "rename source files", fDisplay.renameFiles);
	fChanged = false;
	fDisplay.revertEnabled = false;
	return result;
}

status_t CApplicationSetupView::_ChangeProjectFolder(const std::string& current, const std::string& chosen)
{
	VOLUME_CAPABILITIES from;
	VOLUME_CAPABILITIES to;
	const bool sameVolume = fVolumes->Inspect(current, &from) && fVolumes->Inspect(chosen, &to)
		&& from.device == to.device;
	status_t status = B_CROSS_DEVICE_LINK;
	if (sameVolume)
		status = SwapProjectFolder(current, chosen);
	if (status == B_OK || status != B_CROSS_DEVICE_LINK) {
		if (status == B_OK) {
			CPreference record(kRootRecord);
			record.Load();
			StoreString(&record, "rootfolder", chosen);
			record.Save();
		} else {
			DebugAssert("ApplicationSetupView", __LINE__, "SwapProjectFolder(current, chosen) == B_OK");
		}
		return status;
	}

	// Another volume (or one that refuses to rename across): the move
	// happens at the next start.
	CPreference record(kRootRecord);
	record.Load();
	record.RemoveName("move folder");
	record.AddBool("move folder", true);
	StoreString(&record, "rootfolder", current);
	StoreString(&record, "newrootfolder", chosen);
	record.Save();
	Alert(kOtherVolumeNotice);
	return B_OK;
}

status_t SwapProjectFolder(const std::string& currentPath, const std::string& chosenPath)
{
	const std::string current = Normalized(currentPath);
	const std::string chosen = Normalized(chosenPath);
	if (current.empty() || chosen.empty() || chosen == "/" || current == chosen || IsInside(chosen, current)
		|| IsInside(current, chosen)) {
		return B_BAD_VALUE;
	}
	status_t status = create_directory(chosen.c_str(), 0777);
	if (status != B_OK)
		return status;

	const fs::path chosenFs(chosen);
	const std::string parentPath = chosenFs.parent_path().string();
	const std::string chosenName = chosenFs.filename().string();
	BDirectory parent(parentPath.c_str());
	if ((status = parent.InitCheck()) != B_OK)
		return status;

	// The chosen folder steps aside (never over a folder of that name).
	BEntry temporary(chosen.c_str());
	if ((status = temporary.InitCheck()) != B_OK)
		return status;
	if ((status = temporary.Rename(kTemporaryProjectFolderName)) != B_OK)
		return status;

	// The project folder takes its place, and keeps its identity.
	BEntry project(current.c_str());
	status = project.InitCheck();
	if (status == B_OK)
		status = project.MoveTo(&parent, chosenName.c_str());
	if (status != B_OK) {
		temporary.Rename(chosenName.c_str());
		return status;
	}

	// What the chosen folder held goes into the project folder.
	BDirectory held(&parent, kTemporaryProjectFolderName);
	BDirectory projectFolder(chosen.c_str());
	if ((status = held.InitCheck()) != B_OK || (status = projectFolder.InitCheck()) != B_OK)
		return status;
	std::vector<std::string> names;
	BEntry entry;
	while (held.GetNextEntry(&entry) == B_OK) {
		std::string name;
		if (entry.GetName(&name) == B_OK)
			names.push_back(name);
	}
	for (const std::string& name : names) {
		BEntry item(&held, name.c_str());
		std::string freeName;
		if ((status = GetUnusedName(&freeName, &projectFolder, name.c_str())) != B_OK)
			return status;
		if ((status = item.MoveTo(&projectFolder, freeName.c_str())) != B_OK)
			return status;
	}
	BEntry emptied(&parent, kTemporaryProjectFolderName);
	return emptied.Remove();
}
