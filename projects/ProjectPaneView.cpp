#include "projects/ProjectPaneView.h"

#include "frame/Diagnostics.h"
#include "kit/interface/Alert.h"
#include "kit/kernel/OS.h"
#include "kit/storage/EntryRef.h"
#include "kit/support/Errors.h"
#include "projects/AudioFileInfo.h"
#include "projects/FileUtil.h"
#include "projects/LowLevelFileUtil.h"
#include "projects/Project.h"
#include "projects/ProjectRoster.h"
#include "projects/ProjectTrack.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

const char* const kTrackDragDropFlag = "project_track_drag_drop";

const char* const kProjectViewColumns[6] = {"Track", "Artist", "Title", "Time", "Pause", "File"};

const ProjectViewButton kProjectViewButtons[5] = {
	{"btnPlay", "Play", "play_pressed", "play_unpressed", "media-playback-start", PROJECT_VIEW_PLAY},
	{"btnUp", "Move Up", "up_pressed", "up_unpressed", "go-up", PROJECT_VIEW_MOVE_UP},
	{"btnDown", "Move Down", "down_pressed", "down_unpressed", "go-down", PROJECT_VIEW_MOVE_DOWN},
	{"btnDelete", "Delete", "delete_pressed", "delete_unpressed", "edit-delete", PROJECT_VIEW_DELETE},
	{"btnWriteCd", "Start CD Recording", "write_cd_pressed", "write_cd_unpressed", "media-optical-burn",
		PROJECT_VIEW_WRITE_CD},
};

namespace {

constexpr int64 kSectorsPerSecond = 75;
constexpr const char* kAlertTitle = "Tarnwick";

std::mutex sRegistryLock;
std::map<CProject*, std::pair<const CProjectView*, BMessenger>> sPages;   // guarded by sRegistryLock

int32 Ask(const std::string& text)
{
	return (new BAlert(kAlertTitle, text.c_str(), "OK", nullptr, nullptr, B_WIDTH_AS_USUAL, B_WARNING_ALERT))->Go();
}

std::string YesNo(bool value)
{
	return value ? "yes" : "no";
}

std::string FramesText(int64 frames)
{
	char buffer[96];
	snprintf(buffer, sizeof(buffer), "%lld frames (%.2f seconds)", (long long)frames, double(frames) / 44100.0);
	return buffer;
}

// The work of one drop thread: the message it owns and where it works.
struct DropJob {
	std::unique_ptr<BMessage> message;
	CProjectView::drop_mode mode;
	std::string folder;
	std::shared_ptr<CProjectView::DropState> state;
};

const char* FileHead(CProjectView::drop_mode mode)
{
	switch (mode) {
		case CProjectView::DROP_COPY:
			return "Couldn't copy file: ";
		case CProjectView::DROP_MOVE:
			return "Couldn't move file: ";
		default:
			return "Couldn't link to file: ";
	}
}

const char* EntryHead(CProjectView::drop_mode mode)
{
	switch (mode) {
		case CProjectView::DROP_COPY:
			return "Couldn't copy: ";
		case CProjectView::DROP_MOVE:
			return "Couldn't move: ";
		default:
			return "Couldn't link to: ";
	}
}

enum drop_answer { ANSWER_ABORT = 0, ANSWER_IGNORE_ALL = 1, ANSWER_CONTINUE = 2 };

// Moves `source` into `folder` under a free name: a rename on one volume, a
// copy and removal across volumes. B_OK or the failing step's status.
status_t MoveInto(const entry_ref& source, const std::string& folder)
{
	BDirectory directory(folder.c_str());
	std::string name;
	// "a.wav" becomes "a (1).wav" when taken.
	const size_t dot = source.name.rfind('.');
	const bool split = dot != std::string::npos && dot > 0 && dot + 1 < source.name.size();
	status_t status = split
		? GetUnusedName(&name, &directory, source.name.substr(0, dot).c_str(), source.name.c_str() + dot + 1)
		: GetUnusedName(&name, &directory, source.name.c_str());
	if (status != B_OK)
		return status;
	const std::string from = source.Path();
	const std::string to = folder + "/" + name;
	// Never replaces an entry that appeared meanwhile.
	if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
		return B_OK;
	if (errno != EXDEV)
		return StatusFromErrno(errno);
	entry_ref folderRef;
	status = get_ref_for_path(folder.c_str(), &folderRef);
	if (status != B_OK)
		return status;
	struct stat st;
	if (lstat(from.c_str(), &st) != 0)
		return StatusFromErrno(errno);
	status = S_ISLNK(st.st_mode) ? LowLevelCopyLink(source, folderRef) : LowLevelCopyFile(source, folderRef);
	if (status != B_OK)
		return status;
	if (unlink(from.c_str()) != 0)
		return StatusFromErrno(errno);
	return B_OK;
}

status_t DropThread(void* data)
{
	std::unique_ptr<DropJob> job(static_cast<DropJob*>(data));
	const bool skipTest = job->message->HasData("skip_file_test", B_ANY_TYPE);
	bool ignoreAll = false;
	entry_ref folderRef;
	status_t folderStatus = get_ref_for_path(job->folder.c_str(), &folderRef);

	// True when the thread goes on after the alert (or without one).
	auto report = [&](const std::string& text) {
		if (ignoreAll)
			return true;
		int32 answer = (new BAlert(kAlertTitle, text.c_str(), "Abort", "Ignore All", "Continue", B_WIDTH_AS_USUAL,
			B_OFFSET_SPACING, B_WARNING_ALERT))->Go();
		if (answer == ANSWER_IGNORE_ALL)
			ignoreAll = true;
		return answer != ANSWER_ABORT;
	};

	entry_ref ref;
	for (int32 i = 0; job->message->FindRef("refs", i, &ref) == B_OK; i++) {
		const std::string path = ref.Path();
		if (!skipTest) {
			bool isAudio = false;
			int64 frames = 0;
			std::string info;
			status_t status = GetMediaFileInfo(ref, isAudio, frames, info);
			if (status != B_OK || !isAudio) {
				std::string reason = status != B_OK ? std::string(StatusText(status)) : info;
				if (!report(FileHead(job->mode) + ref.name + "\n\nError:\n" + reason))
					break;
				continue;
			}
		}
		struct stat st;
		if (stat(path.c_str(), &st) != 0) {
			if (!report(EntryHead(job->mode) + ref.name + "\n\nError:\nfile does not exist\n"))
				break;
			continue;
		}
		if (!S_ISREG(st.st_mode)) {
			if (!report(EntryHead(job->mode) + ref.name + "\n\nError:\nnot a file\n"))
				break;
			continue;
		}
		status_t status = folderStatus;
		if (status == B_OK) {
			switch (job->mode) {
				case CProjectView::DROP_LINK: {
					const std::string link = job->folder + "/" + ref.name;
					status = symlink(path.c_str(), link.c_str()) == 0 ? B_OK : StatusFromErrno(errno);
					break;
				}
				case CProjectView::DROP_COPY:
					// The shared copy worker copies in the background and
					// asks the user itself about its failures.
					CopyFile(ref, folderRef);
					break;
				case CProjectView::DROP_MOVE:
					status = MoveInto(ref, job->folder);
					break;
			}
		}
		if (status != B_OK && !report(FileHead(job->mode) + ref.name + "\n\nError:\n" + StatusText(status)))
			break;
	}

	std::shared_ptr<CProjectView::DropState> state = job->state;
	job.reset();
	std::lock_guard<std::mutex> lock(state->lock);
	state->running--;
	state->ended.notify_all();
	return B_OK;
}

}   // namespace

std::string FormatSectors(int64 sectors)
{
	if (sectors < 0)
		sectors = 0;
	char buffer[48];
	snprintf(buffer, sizeof(buffer), "%02lld:%02lld.%02lld", (long long)(sectors / (kSectorsPerSecond * 60)),
		(long long)(sectors / kSectorsPerSecond % 60), (long long)(sectors % kSectorsPerSecond));
	return buffer;
}

std::string FormatProjectStatus(int32 count, int64 used, int64 max)
{
	char buffer[160];
	const int64 free = max - used;
	if (free >= 0) {
		snprintf(buffer, sizeof(buffer), "Tracks: %d   Used: %s   Free: %s", int(count), FormatSectors(used).c_str(),
			FormatSectors(free).c_str());
	} else {
		snprintf(buffer, sizeof(buffer), "Tracks: %d   Used: %s   Free: 00:00.00   Oversize: %s", int(count),
			FormatSectors(used).c_str(), FormatSectors(-free).c_str());
	}
	return buffer;
}

int32 SelectionMoveDistance(const std::vector<int32>& selected, int32 count, int32 n)
{
	if (selected.empty() || n == 0)
		return 0;
	if (n < 0) {
		const int32 first = selected.front();
		return -std::min(-n, first);
	}
	if (count < 2)
		return 0;
	const int32 last = selected.back();
	return std::max(0, std::min(n, count - 1 - last));
}

// #pragma mark - CProjectView

CProjectView::CProjectView(CProject* project, CProjectRoster* roster, CProjectViewHost* host)
	:
	fProject(project),
	fRoster(roster),
	fHost(host)
{
	DEBUG_ASSERT(project != nullptr);
	Refresh();
}

CProjectView::~CProjectView()
{
	if (!fRegistered)
		return;
	std::lock_guard<std::mutex> lock(sRegistryLock);
	auto found = sPages.find(fProject);
	if (found != sPages.end() && found->second.first == this)
		sPages.erase(found);
}

void CProjectView::SetPageMessenger(const BMessenger& page)
{
	std::lock_guard<std::mutex> lock(sRegistryLock);
	sPages[fProject] = {this, page};
	fRegistered = true;
}

BMessenger CProjectView::PageMessenger(CProject* project)
{
	std::lock_guard<std::mutex> lock(sRegistryLock);
	auto found = sPages.find(project);
	return found != sPages.end() ? found->second.second : BMessenger();
}

void CProjectView::_LockModel()
{
	if (fRoster != nullptr)
		fRoster->Lock();
	fProject->Lock();
}

void CProjectView::_UnlockModel()
{
	fProject->Unlock();
	if (fRoster != nullptr)
		fRoster->Unlock();
}

void CProjectView::_FillRow(ProjectViewRow* row, int32 index, CProjectTrack* track) const
{
	row->track = track;
	char number[32];
	snprintf(number, sizeof(number), "    %02d", int(index + 1));
	row->columns[0] = number;
	row->columns[1] = track->Artist();
	row->columns[2] = track->Title();
	row->columns[3] = FormatSectors(track->FileLengthUsed() / FRAMES_PER_SECTOR);
	row->columns[4] = FormatSectors(track->StartSilenceLength() / FRAMES_PER_SECTOR);
	row->fileExists = track->FileExists();
	row->columns[5] = row->fileExists ? track->File() : "DOES NOT EXIST: " + track->Filename();
}

void CProjectView::_UpdateStatus()
{
	fProject->Lock();
	const int64 used = fProject->DiscLength() / FRAMES_PER_SECTOR;
	const int64 max = fProject->DiscMaxLength() / FRAMES_PER_SECTOR;
	const int32 count = fProject->CountTracks();
	fProject->Unlock();
	fView.status = FormatProjectStatus(count, used, max);
}

void CProjectView::Refresh()
{
	fProject->Lock();
	const int32 count = fProject->CountTracks();
	fView.rows.assign(size_t(count), ProjectViewRow());
	fView.selection.clear();
	std::set<CProjectTrack*> stillSelected;
	for (int32 i = 0; i < count; i++) {
		CProjectTrack* track = fProject->TrackAt(i);
		_FillRow(&fView.rows[size_t(i)], i, track);
		if (fSelected.count(track) != 0) {
			fView.selection.push_back(i);
			stillSelected.insert(track);
		}
	}
	fProject->Unlock();
	fSelected = std::move(stillSelected);
	_UpdateStatus();
	_Notify();
}

void CProjectView::_Notify()
{
	if (fDisplay.IsValid())
		fDisplay.SendMessage(PROJECT_VIEW_CHANGED);
}

void CProjectView::SetSelection(const std::vector<int32>& rows)
{
	fSelected.clear();
	fView.selection.clear();
	for (int32 row : rows) {
		if (row >= 0 && size_t(row) < fView.rows.size())
			fSelected.insert(fView.rows[size_t(row)].track);
	}
	for (size_t i = 0; i < fView.rows.size(); i++) {
		if (fSelected.count(fView.rows[i].track) != 0)
			fView.selection.push_back(int32(i));
	}
}

std::vector<CProjectTrack*> CProjectView::_SelectedTracks() const
{
	std::vector<CProjectTrack*> tracks;
	for (int32 row : fView.selection)
		tracks.push_back(fView.rows[size_t(row)].track);
	return tracks;
}

std::vector<ProjectViewMenuItem> CProjectView::ContextMenu() const
{
	const bool one = fView.selection.size() == 1;
	std::vector<ProjectViewMenuItem> menu;
	auto item = [&](const char* label, uint32 what, char shortcut = 0) {
		ProjectViewMenuItem entry;
		entry.label = label;
		entry.shortcut = shortcut;
		entry.message.what = what;
		menu.push_back(entry);
	};
	auto separator = [&] { menu.push_back(ProjectViewMenuItem()); };

	item("Play", PROJECT_VIEW_PLAY);
	item("Stop", PROJECT_VIEW_STOP);
	item("Get Info", PROJECT_VIEW_GET_INFO, 'I');
	separator();
	item("Edit Artist", PROJECT_VIEW_EDIT_ARTIST, 'A');
	item("Edit Title", PROJECT_VIEW_EDIT_TITLE, 'T');
	item(one ? "Swap Artist & Title" : "Swap Artists & Titles", PROJECT_VIEW_SWAP, 'B');
	separator();
	item(one ? "Edit Pause" : "Edit Pauses", PROJECT_VIEW_EDIT_PAUSE, 'P');

	ProjectViewMenuItem pauses;
	pauses.label = one ? "Set Pause" : "Set Pauses";
	for (int32 seconds : {0, 1, 2, 3, 5, 10}) {
		ProjectViewMenuItem entry;
		entry.label = std::to_string(seconds) + " Seconds";
		entry.message.what = PROJECT_VIEW_SET_PAUSE;
		entry.message.AddInt32("seconds", seconds);
		pauses.items.push_back(entry);
	}
	menu.push_back(pauses);
	separator();

	ProjectViewMenuItem moveTo;
	moveTo.label = "Move To";
	ProjectViewMenuItem copyTo;
	copyTo.label = "Copy To";
	if (fRoster != nullptr) {
		fRoster->Lock();
		int32 index = 0;
		while (CProject* project = fRoster->GetNextProjectAt(&index)) {
			if (project == fProject)
				continue;
			ProjectViewMenuItem entry;
			entry.label = project->Name();
			entry.message.what = PROJECT_VIEW_MOVE_TO;
			entry.message.AddPointer("project", project);
			moveTo.items.push_back(entry);
			entry.message.what = PROJECT_VIEW_COPY_TO;
			copyTo.items.push_back(entry);
		}
		fRoster->Unlock();
	}
	// An empty sub-menu cannot be opened: the item stays, disabled.
	moveTo.enabled = !moveTo.items.empty();
	copyTo.enabled = !copyTo.items.empty();
	menu.push_back(moveTo);
	menu.push_back(copyTo);
	separator();
	item("Delete", PROJECT_VIEW_DELETE, 'D');
	separator();
	item("Write CD", PROJECT_VIEW_WRITE_CD);
	return menu;
}

void CProjectView::MessageReceived(BMessage* message)
{
	void* pointer = nullptr;
	switch (message->what) {
		case PROJECT_CHANGED:
			if (message->FindPointer("Project", &pointer) == B_OK && pointer == fProject) {
				_UpdateStatus();
				_Notify();
			}
			break;
		case PROJECT_TRACKS_MOVED:
		case PROJECT_TRACK_ADDED:
		case PROJECT_TRACK_REMOVED:
		case PROJECT_TRACK_CHANGED:
			if (message->FindPointer("Project", &pointer) == B_OK && pointer == fProject)
				Refresh();
			break;
		case B_SIMPLE_DATA:
			_HandleDrop(message);
			break;
		case PROJECT_VIEW_PLAY:
			_Play(message);
			break;
		case PROJECT_VIEW_STOP:
			// Playing hands the file to another program, which the user
			// stops there.
			break;
		case PROJECT_VIEW_GET_INFO:
			_GetInfo();
			break;
		case PROJECT_VIEW_EDIT_ARTIST:
			_EditText(false);
			break;
		case PROJECT_VIEW_EDIT_TITLE:
			_EditText(true);
			break;
		case PROJECT_VIEW_SWAP:
			SwapArtistAndTitle();
			break;
		case PROJECT_VIEW_EDIT_PAUSE:
			_EditPause();
			break;
		case PROJECT_VIEW_SET_PAUSE: {
			int32 seconds = 0;
			if (message->FindInt32("seconds", &seconds) == B_OK)
				SetPause(seconds);
			break;
		}
		case PROJECT_VIEW_MOVE_TO:
		case PROJECT_VIEW_COPY_TO:
			_TransferTo(message, message->what == PROJECT_VIEW_MOVE_TO);
			break;
		case PROJECT_VIEW_DELETE:
			_Delete();
			break;
		case PROJECT_VIEW_WRITE_CD:
			_OpenRecordSetup();
			break;
		case PROJECT_VIEW_MOVE_UP:
			MoveSelection(-1);
			break;
		case PROJECT_VIEW_MOVE_DOWN:
			MoveSelection(1);
			break;
		default:
			break;
	}
}

// #pragma mark - model changes

void CProjectView::_TrackChanged(CProjectTrack* track)
{
	if (fRoster != nullptr)
		fRoster->SendTrackChangedNotify(fProject, track);
}

void CProjectView::_TracksMoved()
{
	if (fRoster != nullptr)
		fRoster->SendProjectTracksMovedNotify(fProject);
	else
		Refresh();
}

bool CProjectView::MoveSelection(int32 n)
{
	_LockModel();
	// The rows may be older than the model: take the indexes from the model.
	std::vector<int32> selected;
	for (CProjectTrack* track : fSelected) {
		int32 index = fProject->IndexOf(track);
		if (index >= 0)
			selected.push_back(index);
	}
	std::sort(selected.begin(), selected.end());
	const int32 distance = SelectionMoveDistance(selected, fProject->CountTracks(), n);
	if (distance < 0) {
		for (int32 index : selected)
			fProject->MoveTrack(index, index + distance);
	} else if (distance > 0) {
		for (auto index = selected.rbegin(); index != selected.rend(); ++index)
			fProject->MoveTrack(*index, *index + distance);
	}
	_UnlockModel();
	if (distance == 0)
		return false;
	fProject->Save();
	_TracksMoved();
	return true;
}

bool CProjectView::SetPause(double seconds)
{
	if (!std::isfinite(seconds) || seconds < 0)
		return false;
	const double sectors = std::round(seconds * double(kSectorsPerSecond));
	if (sectors > double(kMaxPauseSectors))
		return false;
	const std::vector<CProjectTrack*> tracks = _SelectedTracks();
	if (tracks.empty())
		return false;
	_LockModel();
	for (CProjectTrack* track : tracks)
		track->SetStartSilenceLength(int64(sectors) * FRAMES_PER_SECTOR);
	_UnlockModel();
	fProject->Save();
	for (CProjectTrack* track : tracks)
		_TrackChanged(track);
	if (fRoster == nullptr)
		Refresh();
	return true;
}

void CProjectView::SwapArtistAndTitle()
{
	const std::vector<CProjectTrack*> tracks = _SelectedTracks();
	if (tracks.empty())
		return;
	_LockModel();
	for (CProjectTrack* track : tracks) {
		const std::string artist = track->Artist();
		const std::string title = track->Title();
		track->SetArtistAndTitle(title.c_str(), artist.c_str());
	}
	_UnlockModel();
	fProject->Save();
	for (CProjectTrack* track : tracks)
		_TrackChanged(track);
	if (fRoster == nullptr)
		Refresh();
}

void CProjectView::_EditPause()
{
	const std::vector<CProjectTrack*> tracks = _SelectedTracks();
	if (tracks.empty() || fHost == nullptr)
		return;
	char initial[64];
	snprintf(initial, sizeof(initial), "%.02f",
		double(tracks.front()->StartSilenceLength() / FRAMES_PER_SECTOR) / double(kSectorsPerSecond));
	std::string text = initial;
	if (!fHost->AskText("Pause (Seconds):", "Change", &text))
		return;
	char* end = nullptr;
	const double seconds = strtod(text.c_str(), &end);
	if (end == text.c_str())
		return;
	SetPause(seconds);
}

void CProjectView::_EditText(bool title)
{
	const std::vector<CProjectTrack*> tracks = _SelectedTracks();
	if (tracks.empty() || fHost == nullptr)
		return;
	std::string text = title ? tracks.front()->Title() : tracks.front()->Artist();
	if (!fHost->AskText(title ? "Title:" : "Artist:", "Change", &text))
		return;
	_LockModel();
	for (CProjectTrack* track : tracks) {
		if (title)
			track->SetTitle(text.c_str());
		else
			track->SetArtist(text.c_str());
	}
	_UnlockModel();
	fProject->Save();
	for (CProjectTrack* track : tracks)
		_TrackChanged(track);
	if (fRoster == nullptr)
		Refresh();
}

void CProjectView::_Delete()
{
	const std::vector<CProjectTrack*> tracks = _SelectedTracks();
	if (tracks.empty())
		return;
	for (CProjectTrack* track : tracks) {
		_LockModel();
		const bool known = fProject->IndexOf(track) >= 0;
		const bool exists = known && track->FileExists();
		const std::string path = known ? track->File() : std::string();
		_UnlockModel();
		if (!known) {
			Ask("could not delete nonexisting track");
			continue;
		}
		if (exists) {
			// The roster's monitor takes the track out once the file is gone.
			if (unlink(path.c_str()) != 0)
				Ask("could not delete track file");
			continue;
		}
		bool removed = false;
		if (fRoster != nullptr)
			removed = fRoster->RemoveTrack(fProject, track);
		else {
			fProject->Lock();
			removed = fProject->RemoveTrack(track);
			fProject->Unlock();
		}
		if (!removed)
			Ask("could not delete track");
	}
	fProject->Save();
	if (fRoster == nullptr)
		Refresh();
}

void CProjectView::_TransferTo(BMessage* message, bool move)
{
	void* pointer = nullptr;
	message->FindPointer("project", &pointer);
	CProject* target = static_cast<CProject*>(pointer);
	BMessenger page = PageMessenger(target);
	if (target == nullptr || fRoster == nullptr || !fRoster->IsProjectValid(target) || !page.IsValid()) {
		Ask("Destination project does not exist, has been removed or is no longer valid.");
		return;
	}
	const std::vector<CProjectTrack*> tracks = _SelectedTracks();
	if (tracks.empty())
		return;
	BMessage drop(B_SIMPLE_DATA);
	drop.AddPointer("src_window", nullptr);
	drop.AddPoint("click_pt", BPoint(0, 0));
	drop.AddInt32("buttons", kPrimaryMouseButton);
	drop.AddBool(move ? "force_file_move" : "force_file_copy", true);
	drop.AddBool("skip_file_test", true);
	for (CProjectTrack* track : tracks) {
		entry_ref ref;
		if (get_ref_for_path(track->File().c_str(), &ref) == B_OK)
			drop.AddRef("refs", &ref);
	}
	page.SendMessage(&drop);
}

void CProjectView::_Play(BMessage* message)
{
	int32 index = -1;
	if (message->FindInt32("index", &index) != B_OK)
		index = fView.selection.empty() ? -1 : fView.selection.front();
	if (index < 0 || size_t(index) >= fView.rows.size() || fHost == nullptr)
		return;
	const std::string path = fView.rows[size_t(index)].track->File();
	status_t status = fHost->OpenFile(path.c_str());
	if (status != B_OK)
		Ask("Couldn't play file: " + path + "\n\nError:\n" + StatusText(status));
}

std::string CProjectView::TrackInfo(CProjectTrack* track)
{
	const std::string file = track->File();
	std::error_code error;
	const bool isLink = std::filesystem::is_symlink(file, error);
	std::string link = "no";
	if (isLink) {
		std::filesystem::path target = std::filesystem::read_symlink(file, error);
		link = error ? std::string("yes") : target.string();
	}
	std::string realPath = std::filesystem::weakly_canonical(file, error).string();
	struct stat linkStat = {};
	struct stat realStat = {};
	const bool hasEntry = lstat(file.c_str(), &linkStat) == 0;
	const bool exists = stat(file.c_str(), &realStat) == 0;
	auto bytes = [](off_t size) { return std::to_string((long long)size) + " Bytes"; };

	std::string text;
	text += "Title: " + track->Title() + "\n";
	text += "Artist: " + track->Artist() + "\n";
	text += "File: " + file + "\n";
	text += "Link: " + link + "\n";
	text += "Real Path: " + realPath + "\n";
	text += "Folder: " + (track->Project() != nullptr ? track->Project()->ProjectFolder() : std::string()) + "\n";
	text += "FileExists: " + YesNo(exists) + "\n";
	text += "Size: " + bytes(hasEntry ? linkStat.st_size : 0) + "\n";
	text += "Real Size: " + bytes(exists ? realStat.st_size : 0) + "\n";
	text += "FileLength: " + FramesText(track->FileLength()) + "\n";
	text += "FileLengthUsed: " + FramesText(track->FileLengthUsed()) + "\n";
	text += "FileStartOffset: " + FramesText(track->FileStartOffset()) + "\n";
	text += "FilePaddingLength: " + FramesText(track->FilePaddingLength()) + "\n";
	text += "FileFadeInEndOffset: " + FramesText(track->FileFadeInEndOffset()) + "\n";
	text += "FileFadeOutStartOffset: " + FramesText(track->FileFadeOutStartOffset()) + "\n";
	text += "StartSilenceLength: " + FramesText(track->StartSilenceLength()) + "\n";
	text += "EndSilenceLength: " + FramesText(track->EndSilenceLength()) + "\n";
	text += "Index1Offset: " + FramesText(track->Index1Offset()) + "\n";
	char gain[32];
	snprintf(gain, sizeof(gain), "%.3f", double(track->Gain()));
	text += std::string("Gain: ") + gain + "\n";
	text += "IsFileLengthExact: " + YesNo(track->IsFileLengthExact()) + "\n";
	return text;
}

void CProjectView::_GetInfo()
{
	const std::vector<CProjectTrack*> tracks = _SelectedTracks();
	if (tracks.empty())
		return;
	const std::string text = TrackInfo(tracks.front());
	(new BAlert("Track Info", text.c_str(), "OK"))->Go();
}

void CProjectView::_OpenRecordSetup()
{
	BMessage message(PROJECT_VIEW_OPEN_RECORD_SETUP);
	message.AddPointer("project", fProject);
	if (fDisplay.IsValid())
		fDisplay.SendMessage(&message);
}

// #pragma mark - drops

void CProjectView::_HandleDrop(BMessage* message)
{
	if (message->HasData(kTrackDragDropFlag, B_ANY_TYPE)) {
		_Reorder(message);
		return;
	}
	if (message->HasData("force_file_copy", B_ANY_TYPE)) {
		_StartDropThread(message, DROP_COPY);
		return;
	}
	if (message->HasData("force_file_move", B_ANY_TYPE)) {
		_StartDropThread(message, DROP_MOVE);
		return;
	}
	if (message->HasData("be:types", B_ANY_TYPE) && message->HasData("be:actions", B_ANY_TYPE)) {
		_Negotiate(message);
		return;
	}
	int32 buttons = kPrimaryMouseButton;
	message->FindInt32("buttons", &buttons);
	if ((buttons & kSecondaryMouseButton) == 0) {
		_StartDropThread(message, DROP_LINK);
		return;
	}
	BPoint where;
	message->FindPoint("_drop_point_", &where);
	const int32 choice = fHost != nullptr
		? fHost->PopUp({"Create Link Here", "Move Here", "Copy Here", "", "Cancel"}, where)
		: -1;
	if (choice == 0)
		_StartDropThread(message, DROP_LINK);
	else if (choice == 1)
		_StartDropThread(message, DROP_MOVE);
	else if (choice == 2)
		_StartDropThread(message, DROP_COPY);
}

void CProjectView::_Reorder(BMessage* message)
{
	int32 buttons = kPrimaryMouseButton;
	message->FindInt32("buttons", &buttons);
	if ((buttons & kSecondaryMouseButton) != 0) {
		BPoint where;
		message->FindPoint("_drop_point_", &where);
		if (fHost == nullptr || fHost->PopUp({"Move Here", "", "Cancel"}, where) != 0)
			return;
	}
	const int32 count = int32(fView.rows.size());
	int32 source = -1;
	if (message->FindInt32("source_index", &source) != B_OK || source < 0 || source >= count)
		source = fView.selection.empty() ? -1 : fView.selection.front();
	int32 target = count;
	if (message->FindInt32("target_index", &target) != B_OK || target < 0 || target > count)
		target = count;
	if (source < 0)
		return;
	int32 distance = target - source;
	if (distance == 0 || distance == 1)
		return;
	if (distance > 1)
		distance--;
	MoveSelection(distance);
}

void CProjectView::_Negotiate(BMessage* message)
{
	int32 action = 0;
	bool copyOffered = false;
	for (int32 i = 0; message->FindInt32("be:actions", i, &action) == B_OK; i++)
		copyOffered |= uint32(action) == 'DDCP';
	if (!copyOffered)
		return;
	int32 buttons = kPrimaryMouseButton;
	message->FindInt32("buttons", &buttons);
	if ((buttons & kSecondaryMouseButton) != 0) {
		Ask("media-type selection pop-up menu not implemented");
		return;
	}
	const std::string folder = fProject->ProjectFolder();
	BMessage reply('DDCP');
	entry_ref folderRef;
	if (get_ref_for_path(folder.c_str(), &folderRef) != B_OK) {
		DebugAssert("ProjectView", __LINE__, "project folder cannot be opened");
		return;
	}
	reply.AddRef("directory", &folderRef);
	reply.AddString("be:types", "application/octet-stream");
	std::string type;
	bool anyType = false;
	for (int32 i = 0; message->FindString("be:filetypes", i, &type) == B_OK; i++) {
		reply.AddString("be:filetypes", type);
		anyType = true;
	}
	if (!anyType)
		reply.AddString("be:filetypes", "application/octet-stream");
	for (int32 i = 0; message->FindString("be:type_descriptions", i, &type) == B_OK; i++)
		reply.AddString("be:type_descriptions", type);

	if (!message->HasData("don't_create_file", B_ANY_TYPE)) {
		std::string clip;
		if (message->FindString("be:clip_name", &clip) != B_OK || clip.empty())
			clip = "audio cd track";
		std::string name = clip;
		bool created = false;
		for (int32 attempt = 0; attempt < 150 && !created; attempt++) {
			if (attempt > 0)
				name = clip + " (" + std::to_string(attempt) + ")";
			const std::string path = folder + "/" + name;
			FILE* file = fopen(path.c_str(), "wx");
			if (file != nullptr) {
				fclose(file);
				created = true;
			} else if (errno != EEXIST) {
				return;
			}
		}
		if (!created)
			return;
		reply.AddString("name", name);
	}
	message->SendReply(&reply);
}

void CProjectView::_StartDropThread(BMessage* message, drop_mode mode)
{
	static const char* const kNames[] = {"link dropped files", "copy dropped files", "move dropped files"};
	auto job = std::make_unique<DropJob>();
	job->message = std::make_unique<BMessage>(*message);
	job->mode = mode;
	job->folder = fProject->ProjectFolder();
	job->state = fDropState;
	{
		std::lock_guard<std::mutex> lock(fDropState->lock);
		fDropState->running++;
	}
	thread_id thread = spawn_thread(DropThread, kNames[mode], B_NORMAL_PRIORITY, job.get());
	if (thread < 0) {
		std::lock_guard<std::mutex> lock(fDropState->lock);
		fDropState->running--;
		fDropState->ended.notify_all();
		return;
	}
	job.release();
	detach_thread(thread);
	resume_thread(thread);
}

int32 CProjectView::RunningDropThreads() const
{
	std::lock_guard<std::mutex> lock(fDropState->lock);
	return fDropState->running;
}

bool CProjectView::WaitForDropThreads(bigtime_t timeout) const
{
	std::unique_lock<std::mutex> lock(fDropState->lock);
	return fDropState->ended.wait_for(lock, std::chrono::microseconds(timeout),
		[this] { return fDropState->running == 0; });
}
