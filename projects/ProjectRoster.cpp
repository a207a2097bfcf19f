// The project roster: projects and tracks kept in step with the project root
// folder through the directory and path monitors, and the handlers told.
#include "projects/ProjectRoster.h"

#include "frame/Diagnostics.h"
#include "kit/kernel/OS.h"
#include "kit/storage/Entry.h"
#include "kit/storage/Path.h"
#include "kit/support/EscapeText.h"
#include "kit/support/Message.h"
#include "projects/AudioFileInfo.h"
#include "projects/Project.h"
#include "projects/ProjectTrack.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

CProjectRoster* gpProjectRoster = nullptr;

const char* const kTemporaryProjectFolderName = "_tarnwick_temp_project_dir";

namespace {

constexpr int32 kInspectionAttempts = 5;
constexpr bigtime_t kInspectionPause = 500000;
constexpr int32 kNewTrackPauseSectors = 150;

std::string JoinPath(const std::string& folder, const char* leaf)
{
	return folder + "/" + leaf;
}

bool SameNode(const node_ref& a, int32 device, int64 node)
{
	return a.node == node && same_device(a.device, device);
}

std::pair<int32, int64> PendingKey(int32 device, int64 node)
{
	return {device, node};
}

void TraceStatChanges(const struct stat& before, const struct stat& after)
{
	if (before.st_size != after.st_size)
		CDebugFunctionTracer::Trace("size changed: %lld -> %lld\n", (long long)before.st_size,
			(long long)after.st_size);
	if (before.st_mode != after.st_mode)
		CDebugFunctionTracer::Trace("mode changed: 0%o -> 0%o\n", (unsigned)before.st_mode, (unsigned)after.st_mode);
	if (before.st_nlink != after.st_nlink)
		CDebugFunctionTracer::Trace("link count changed\n");
	if (before.st_uid != after.st_uid || before.st_gid != after.st_gid)
		CDebugFunctionTracer::Trace("owner or group changed\n");
	if (before.st_mtim.tv_sec != after.st_mtim.tv_sec || before.st_mtim.tv_nsec != after.st_mtim.tv_nsec)
		CDebugFunctionTracer::Trace("modification time changed\n");
	if (before.st_atim.tv_sec != after.st_atim.tv_sec || before.st_atim.tv_nsec != after.st_atim.tv_nsec)
		CDebugFunctionTracer::Trace("access time changed\n");
	if (before.st_ctim.tv_sec != after.st_ctim.tv_sec || before.st_ctim.tv_nsec != after.st_ctim.tv_nsec)
		CDebugFunctionTracer::Trace("change time changed\n");
}

bool ContentChanged(const struct stat& before, const struct stat& after)
{
	return before.st_size != after.st_size || before.st_mtim.tv_sec != after.st_mtim.tv_sec
		|| before.st_mtim.tv_nsec != after.st_mtim.tv_nsec || before.st_ino != after.st_ino;
}

}   // namespace

CProjectRoster::CProjectRoster() = default;

CProjectRoster::~CProjectRoster()
{
	Exit();
}

// #pragma mark - start and end

status_t CProjectRoster::Init(const char* rootFolder)
{
	CDebugFunctionTracer tracer("CProjectRoster::Init");
	if (rootFolder == nullptr)
		return B_BAD_VALUE;
	BAutolock lock(fLock);
	DEBUG_ASSERT(!fInitialized);
	if (fInitialized)
		return B_BUSY;

	BDirectory root(rootFolder);
	status_t status = root.InitCheck();
	if (status != B_OK)
		return status;
	BEntry rootEntry;
	if ((status = root.GetEntry(&rootEntry)) != B_OK)
		return status;
	if ((status = root.GetNodeRef(&fRootNode)) != B_OK)
		return status;
	fRootFolder = root;
	fRootPath = rootEntry.Path();

	fPoster.Start();
	fPathMonitor = std::make_unique<CPathMonitor>();
	fDirectoryMonitor = std::make_unique<CDirectoryMonitor>();
	status_t s = fPathMonitor->StartWatch(static_cast<CPathMonitorClient*>(this), &rootEntry);
	DEBUG_ASSERT(s == B_OK);
	s = fDirectoryMonitor->StartWatch(static_cast<CDirectoryMonitorClient*>(this), int32(fRootNode.device),
		fRootNode.node);
	DEBUG_ASSERT(s == B_OK);
	fInitialized = true;
	fExiting = false;

	BEntry entry;
	while (root.GetNextEntry(&entry, false) == B_OK) {
		BEntry resolved(entry.Path().c_str(), true);
		if (resolved.InitCheck() == B_OK && resolved.IsDirectory())
			AddProject(entry);
	}
	return B_OK;
}

void CProjectRoster::Exit()
{
	{
		BAutolock lock(fLock);
		if (!fInitialized || fExiting)
			return;
		CDebugFunctionTracer::Trace("CProjectRoster::Exit: saving the projects\n");
		// Notifications that arrive from now on are ignored.
		fExiting = true;
	}

	// Without the lock: a notification in progress may be waiting for it,
	// and the monitors wait for their callbacks to end.
	fPathMonitor.reset();
	fDirectoryMonitor.reset();
	fPoster.Stop();

	BAutolock lock(fLock);
	fFileMaps.clear();
	fPendingFiles.clear();
	for (std::unique_ptr<ProjectMap>& map : fProjects) {
		DEBUG_ASSERT(map->reference == 0);
		if (!map->deleted) {
			status_t status = map->project->Save();
			DEBUG_ASSERT(status == B_OK);
		}
	}
	fProjects.clear();
	fHandlers.clear();
	fRootFolder.Unset();
	fInitialized = false;
	fExiting = false;
}

// #pragma mark - projects

CProject* CProjectRoster::AddProject(const BEntry& entry)
{
	const std::string path = entry.Path();
	auto project = std::make_unique<CProject>(path.c_str());
	status_t status = project->Load();
	if (status != B_OK) {
		// Its folder and files stay as they are.
		CDebugFunctionTracer::Trace("ERROR: couldn't load project \"%s\"\n", EscapeControlChars(path).c_str());
		return nullptr;
	}

	auto map = std::make_unique<ProjectMap>();
	map->project = std::move(project);
	map->reference = 0;
	map->deleted = false;
	entry.GetNodeRef(&map->folderNode);
	map->contentNode = map->folderNode;
	BEntry resolved(path.c_str(), true);
	if (resolved.InitCheck() == B_OK)
		resolved.GetNodeRef(&map->contentNode);
	CProject* added = map->project.get();
	ProjectMap* mapPointer = map.get();
	fProjects.push_back(std::move(map));

	added->Lock();
	for (int32 index = 0; index < added->CountTracks(); index++) {
		CProjectTrack* track = added->TrackAt(index);
		if (track->FileExists())
			StartFileWatching(track->File().c_str(), added, track);
		else
			CDebugFunctionTracer::Trace("File not found, couldn't watch track %d, file = %s\n", (int)index,
				EscapeControlChars(track->File()).c_str());
	}
	added->Unlock();

	mapPointer->reference += int32(fHandlers.size());

	status_t s = fDirectoryMonitor->StartWatch(static_cast<CDirectoryMonitorClient*>(this),
		int32(mapPointer->contentNode.device), mapPointer->contentNode.node);
	DEBUG_ASSERT(s == B_OK);

	CheckProject(added);
	_Broadcast(PROJECT_ADDED, added);
	return added;
}

void CProjectRoster::CheckProject(CProject* project)
{
	BDirectory folder(project->ProjectFolder().c_str());
	if (folder.InitCheck() != B_OK)
		return;
	BEntry entry;
	while (folder.GetNextEntry(&entry, false) == B_OK) {
		std::string name;
		entry.GetName(&name);
		if (IsProjectBookkeepingName(name.c_str()))
			continue;
		node_ref node;
		if (entry.GetNodeRef(&node) != B_OK)
			continue;
		if (_FindFileMap(int32(node.device), node.node) != nullptr)
			continue;
		BEntry resolved(entry.Path().c_str(), true);
		if (resolved.InitCheck() != B_OK || !resolved.IsFile())
			continue;

		entry_ref ref;
		bool isAudio = false;
		int64 frames = 0;
		std::string info;
		if (entry.GetRef(&ref) == B_OK && GetMediaFileInfo(ref, isAudio, frames, info) == B_OK && isAudio) {
			_AddFile(project, entry.Path(), &node);
			continue;
		}
		CDebugFunctionTracer::Trace("Not an audio file\n");
		// One that is still empty may be being written: tried again when it
		// changes.
		struct stat st;
		if (stat(entry.Path().c_str(), &st) == 0 && st.st_size == 0)
			fPendingFiles.insert(PendingKey(int32(node.device), node.node));
	}
}

void CProjectRoster::RemoveProject(ProjectMap* map)
{
	CProject* project = map->project.get();
	UninitializeProjectFilesWatching(project);
	if (fDirectoryMonitor != nullptr) {
		status_t s = fDirectoryMonitor->StopWatch(static_cast<CDirectoryMonitorClient*>(this),
			int32(map->contentNode.device), map->contentNode.node);
		DEBUG_ASSERT(s == B_OK);
	}
	DEBUG_ASSERT(map->deleted == false);
	map->deleted = true;
	_Broadcast(PROJECT_REMOVED, project);
	if (map->reference == 0)
		_FreeMap(map);
}

void CProjectRoster::_FreeMap(ProjectMap* map)
{
	auto found = std::find_if(fProjects.begin(), fProjects.end(),
		[map](const std::unique_ptr<ProjectMap>& item) { return item.get() == map; });
	if (found != fProjects.end())
		fProjects.erase(found);   // the project with it
}

// #pragma mark - handlers and references

void CProjectRoster::Attach(const BMessenger& handler)
{
	BAutolock lock(fLock);
	fHandlers.push_back(handler);
	for (std::unique_ptr<ProjectMap>& map : fProjects) {
		if (map->deleted)
			continue;
		map->reference++;
		BMessage message(PROJECT_ADDED);
		message.AddPointer("Project", map->project.get());
		_Post(handler, message);
	}
}

void CProjectRoster::Detach(const BMessenger& handler)
{
	BAutolock lock(fLock);
	auto found = std::find(fHandlers.begin(), fHandlers.end(), handler);
	DEBUG_ASSERT(found != fHandlers.end());
	if (found != fHandlers.end())
		fHandlers.erase(found);
}

void CProjectRoster::RegisterProject(CProject* project)
{
	BAutolock lock(fLock);
	ProjectMap* map = _FindMap(project);
	DEBUG_ASSERT(map != 0);
	if (map != nullptr)
		map->reference++;
}

void CProjectRoster::UnregisterProject(CProject* project)
{
	BAutolock lock(fLock);
	ProjectMap* map = _FindMap(project);
	DEBUG_ASSERT(map != 0);
	if (map == nullptr)
		return;
	map->reference--;
	DEBUG_ASSERT(map->reference >= 0);
	if (map->reference < 0)
		map->reference = 0;
	if (map->deleted && map->reference == 0)
		_FreeMap(map);
}

bool CProjectRoster::IsProjectValid(CProject* project)
{
	BAutolock lock(fLock);
	ProjectMap* map = _FindMap(project);
	return map != nullptr && !map->deleted;
}

CProject* CProjectRoster::GetNextProjectAt(int32* index)
{
	if (index == nullptr)
		return nullptr;
	BAutolock lock(fLock);
	for (int32 i = *index < 0 ? 0 : *index; size_t(i) < fProjects.size(); i++) {
		if (!fProjects[size_t(i)]->deleted) {
			*index = i + 1;
			return fProjects[size_t(i)]->project.get();
		}
	}
	*index = int32(fProjects.size());
	return nullptr;
}

status_t CProjectRoster::GetProjectFolder(BDirectory* dir, CProject* project)
{
	if (dir == nullptr || project == nullptr)
		return B_BAD_VALUE;
	BAutolock lock(fLock);
	ProjectMap* map = _FindMap(project);
	if (map == nullptr || map->deleted)
		return B_BAD_VALUE;
	return dir->SetTo(project->ProjectFolder().c_str());
}

status_t CProjectRoster::GetProjectBaseFolder(BDirectory* dir)
{
	if (dir == nullptr)
		return B_BAD_VALUE;
	BAutolock lock(fLock);
	if (!fInitialized)
		return B_NO_INIT;
	return dir->SetTo(fRootPath.c_str());
}

// #pragma mark - tracks

void CProjectRoster::AddFileToProject(CProject* project, const char* path)
{
	if (project == nullptr || path == nullptr)
		return;
	_AddFile(project, path, nullptr);
}

void CProjectRoster::_AddFile(CProject* project, const std::string& path, const node_ref* expected)
{
	entry_ref ref;
	status_t status = get_ref_for_path(path.c_str(), &ref);
	struct stat before;
	const bool hadBefore = stat(path.c_str(), &before) == 0;
	// What the file looked like when it was measured: a change after that
	// (still being written) re-measures it once it is watched.
	struct stat measured;
	const bool hadMeasured = lstat(path.c_str(), &measured) == 0;

	bool isAudio = false;
	int64 frames = 0;
	std::string info;
	for (int32 attempt = 0; status == B_OK && attempt < kInspectionAttempts; attempt++) {
		isAudio = false;
		status = GetMediaFileInfo(ref, isAudio, frames, info);
		if (status == B_OK && isAudio)
			break;
		struct stat now;
		if (stat(path.c_str(), &now) != 0 && errno == ENOENT) {
			status = B_ENTRY_NOT_FOUND;
			break;
		}
		if (status == B_OK)
			status = B_ERROR;   // inspected, but not CD audio
		if (attempt + 1 < kInspectionAttempts) {
			status = B_OK;
			snooze(kInspectionPause);
		}
	}

	// Under the lock; returns the text of an alert to raise once it is let
	// go (empty: none).
	auto commit = [&]() -> std::string {
		BAutolock lock(fLock);
		if (!_Accepting() || !IsProjectValid(project))
			return std::string();

		struct stat st;
		const bool exists = lstat(path.c_str(), &st) == 0;
		const node_ref node = exists ? node_ref_for_stat(st) : node_ref();
		const std::pair<int32, int64> key = PendingKey(int32(node.device), node.node);
		if (expected != nullptr && (!exists || !SameNode(node, int32(expected->device), expected->node))) {
			// Renamed or replaced meanwhile: the notification about that comes
			// next and tries again.
			fPendingFiles.insert(PendingKey(int32(expected->device), expected->node));
			return std::string();
		}

		if (!(status == B_OK && isAudio)) {
			if (status == B_ENTRY_NOT_FOUND || !exists) {
				CDebugFunctionTracer::Trace("file went away: %s\n", EscapeControlChars(path).c_str());
				return std::string();
			}
			struct stat after;
			const bool hasAfter = stat(path.c_str(), &after) == 0;
			if (hasAfter && (after.st_size == 0 || (hadBefore && ContentChanged(before, after)))) {
				// Still being written: tried again when it changes.
				CDebugFunctionTracer::Trace("file not complete yet: %s\n", EscapeControlChars(path).c_str());
				fPendingFiles.insert(key);
				return std::string();
			}
			fPendingFiles.erase(key);
			std::string text = "CProjectRoster::AddFileToProject failed!\n\n";
			text += "project = \"" + EscapeControlChars(project->Name()) + "\"\nfile = \"" + EscapeControlChars(path)
				+ "\"\n\nError:\n" + info;
			return text;
		}

		if (_FindFileMap(int32(node.device), node.node) != nullptr)
			return std::string();   // already a track
		fPendingFiles.erase(key);

		BPath filePath(path.c_str());
		const std::string leaf = filePath.Leaf() != nullptr ? filePath.Leaf() : "";
		std::string name = leaf;
		StripAudioFileExtension(name);
		std::string artist;
		std::string title;
		SeparateArtistAndTitle(artist, title, name);

		auto made = std::make_unique<CProjectTrack>(project, leaf.c_str(), title.c_str(), artist.c_str(),
			kNewTrackPauseSectors, 0, frames);
		CProjectTrack* track = made.get();
		project->AddTrack(std::move(made));
		// Watched before it is announced: whoever hears of it may act on the
		// file at once (a removal must find the track).
		const bool sameNode = hadMeasured && SameNode(node_ref_for_stat(measured), int32(node.device), node.node);
		StartFileWatching(path.c_str(), project, track, sameNode ? &measured : &st);
		_Broadcast(PROJECT_TRACK_ADDED, project, track);
		return std::string();
	};
	const std::string alert = commit();
	if (!alert.empty())
		DebugAlert(alert.c_str());
}

void CProjectRoster::_AddFileUnlocked(ProjectMap* map, const std::string& path, const node_ref& node)
{
	CProject* project = map->project.get();
	map->reference++;
	const int32 depth = fLock.CountLocks();
	for (int32 i = 0; i < depth; i++)
		fLock.Unlock();
	_AddFile(project, path, &node);
	for (int32 i = 0; i < depth; i++)
		fLock.Lock();
	UnregisterProject(project);
}

bool CProjectRoster::RemoveTrack(CProject* project, CProjectTrack* track)
{
	bool watched = false;
	{
		BAutolock lock(fLock);
		auto found = std::find_if(fFileMaps.begin(), fFileMaps.end(),
			[track](const std::unique_ptr<FileMap>& map) { return map->track == track; });
		if (found != fFileMaps.end()) {
			fFileMaps.erase(found);
			watched = true;
		}
		bool removed = project->RemoveTrack(track);
		DEBUG_ASSERT(removed);
		_Broadcast(PROJECT_TRACK_REMOVED, project, track);
	}
	// Not under the lock: the alert waits for an answer.
	if (watched)
		DebugAlert("CProjectRoster::RemoveTrack()\n\nWarning, track found!");
	return true;
}

void CProjectRoster::_RemoveTrackOfMap(FileMap* fileMap)
{
	CProject* project = fileMap->project;
	CProjectTrack* track = fileMap->track;
	StopFileWatching(fileMap->node);
	bool removed = project->RemoveTrack(track);
	DEBUG_ASSERT(removed);
	// The data file follows, so a restart does not bring the track back.
	project->Save();
	_Broadcast(PROJECT_TRACK_REMOVED, project, track);
}

bool CProjectRoster::_FollowName(FileMap* fileMap)
{
	struct stat st;
	if (lstat(fileMap->track->File().c_str(), &st) != 0)
		return false;
	const node_ref now = node_ref_for_stat(st);
	if (now == fileMap->node)
		return true;
	FileMap* other = _FindFileMap(int32(now.device), now.node);
	if (other != nullptr && other != fileMap)
		return false;   // the name holds another track's file
	fileMap->node = now;
	fileMap->stat = st;
	fPendingFiles.erase(PendingKey(int32(now.device), now.node));
	if (fileMap->track->FileSizeChanged())
		fileMap->project->Save();
	_Broadcast(PROJECT_TRACK_CHANGED, fileMap->project, fileMap->track);
	return true;
}

CProjectTrack* CProjectRoster::_TrackNamed(CProject* project, const char* name, const CProjectTrack* except)
{
	project->Lock();
	CProjectTrack* found = nullptr;
	for (int32 index = 0; found == nullptr && index < project->CountTracks(); index++) {
		CProjectTrack* track = project->TrackAt(index);
		if (track != except && track->Filename() == name)
			found = track;
	}
	project->Unlock();
	return found;
}

void CProjectRoster::_DropReplacedTrack(CProject* project, const char* name, const CProjectTrack* renamed)
{
	CProjectTrack* replaced = _TrackNamed(project, name, renamed);
	if (replaced == nullptr)
		return;
	for (std::unique_ptr<FileMap>& fileMap : fFileMaps) {
		if (fileMap->track == replaced) {
			_RemoveTrackOfMap(fileMap.get());
			return;
		}
	}
	bool removed = project->RemoveTrack(replaced);
	DEBUG_ASSERT(removed);
	_Broadcast(PROJECT_TRACK_REMOVED, project, replaced);
}

bool CProjectRoster::_RebindReplacedTrack(CProject* project, const char* name, int32 device, int64 node)
{
	CProjectTrack* track = _TrackNamed(project, name, nullptr);
	if (track == nullptr)
		return false;
	const std::string path = track->File();
	struct stat st;
	const bool known = lstat(path.c_str(), &st) == 0 && SameNode(node_ref_for_stat(st), device, node);
	FileMap* fileMap = nullptr;
	for (std::unique_ptr<FileMap>& map : fFileMaps) {
		if (map->track == track)
			fileMap = map.get();
	}
	if (fileMap == nullptr) {
		// A track whose file was missing gets one again.
		if (!known)
			return true;
		StartFileWatching(path.c_str(), project, track, &st);
	} else if (known) {
		fileMap->node = node_ref_for_stat(st);
		fileMap->stat = st;
	} else {
		// The report is older than the name's current file: keep to that.
		_FollowName(fileMap);
		return true;
	}
	fPendingFiles.erase(PendingKey(device, node));
	if (known)
		track->FileSizeChanged();
	project->Save();
	_Broadcast(PROJECT_TRACK_CHANGED, project, track);
	return true;
}

void CProjectRoster::StartFileWatching(const char* path, CProject* project, CProjectTrack* track,
	const struct stat* known)
{
	auto map = std::make_unique<FileMap>();
	if (known != nullptr)
		map->stat = *known;
	else if (lstat(path, &map->stat) != 0) {
		CDebugFunctionTracer::Trace("couldn't watch \"%s\": %s\n", EscapeControlChars(path).c_str(), strerror(errno));
		return;
	}
	map->node = node_ref_for_stat(map->stat);
	map->project = project;
	map->track = track;
	fFileMaps.push_back(std::move(map));
}

void CProjectRoster::StopFileWatching(node_ref node)
{
	fFileMaps.erase(std::remove_if(fFileMaps.begin(), fFileMaps.end(),
						[&](const std::unique_ptr<FileMap>& map) { return SameNode(map->node, int32(node.device), node.node); }),
		fFileMaps.end());
}

void CProjectRoster::UninitializeProjectFilesWatching(CProject* project)
{
	fFileMaps.erase(std::remove_if(fFileMaps.begin(), fFileMaps.end(),
						[&](const std::unique_ptr<FileMap>& map) { return map->project == project; }),
		fFileMaps.end());
}

// #pragma mark - notices

void CProjectRoster::SendProjectChangedNotify(CProject* project)
{
	BAutolock lock(fLock);
	_Broadcast(PROJECT_CHANGED, project);
}

void CProjectRoster::SendProjectTracksMovedNotify(CProject* project)
{
	BAutolock lock(fLock);
	_Broadcast(PROJECT_TRACKS_MOVED, project);
}

void CProjectRoster::SendTrackChangedNotify(CProject* project, CProjectTrack* track)
{
	BAutolock lock(fLock);
	_Broadcast(PROJECT_TRACK_CHANGED, project, track);
}

void CProjectRoster::SendMessage(const BMessenger& handler, const BMessage* message)
{
	if (message != nullptr)
		_Post(handler, *message);
}

void CProjectRoster::BroadcastMessage(const BMessage* message)
{
	if (message == nullptr)
		return;
	BAutolock lock(fLock);
	// Targets that closed without detaching are let go.
	fHandlers.erase(std::remove_if(fHandlers.begin(), fHandlers.end(),
						[](const BMessenger& handler) { return !handler.IsValid(); }),
		fHandlers.end());
	for (const BMessenger& handler : fHandlers)
		_Post(handler, *message);
}

void CProjectRoster::_Broadcast(uint32 what, CProject* project, CProjectTrack* track)
{
	BMessage message(what);
	message.AddPointer("Project", project);
	if (track != nullptr)
		message.AddPointer("Track", track);
	BroadcastMessage(&message);
}

void CProjectRoster::_Post(const BMessenger& target, const BMessage& message)
{
	fPoster.Post(target, message);
}

bool CProjectRoster::Lock()
{
	return fLock.Lock();
}

void CProjectRoster::Unlock()
{
	fLock.Unlock();
}

int32 CProjectRoster::CountProjectMaps()
{
	BAutolock lock(fLock);
	return int32(fProjects.size());
}

int32 CProjectRoster::ReferenceCount(CProject* project)
{
	BAutolock lock(fLock);
	ProjectMap* map = _FindMap(project);
	return map != nullptr ? map->reference : -1;
}

int32 CProjectRoster::CountFileMaps()
{
	BAutolock lock(fLock);
	return int32(fFileMaps.size());
}

CProject* CProjectRoster::FindProject(const char* name)
{
	if (name == nullptr)
		return nullptr;
	BAutolock lock(fLock);
	for (std::unique_ptr<ProjectMap>& map : fProjects) {
		if (!map->deleted && map->project->Name() == name)
			return map->project.get();
	}
	return nullptr;
}

// #pragma mark - look-ups (under the lock)

CProjectRoster::ProjectMap* CProjectRoster::_FindMap(CProject* project)
{
	for (std::unique_ptr<ProjectMap>& map : fProjects) {
		if (map->project.get() == project)
			return map.get();
	}
	return nullptr;
}

CProjectRoster::ProjectMap* CProjectRoster::_FindMapByFolderNode(int32 device, int64 node)
{
	for (std::unique_ptr<ProjectMap>& map : fProjects) {
		if (!map->deleted && SameNode(map->folderNode, device, node))
			return map.get();
	}
	return nullptr;
}

CProjectRoster::ProjectMap* CProjectRoster::_FindMapByContentNode(int32 device, int64 node)
{
	for (std::unique_ptr<ProjectMap>& map : fProjects) {
		if (!map->deleted && SameNode(map->contentNode, device, node))
			return map.get();
	}
	return nullptr;
}

CProjectRoster::FileMap* CProjectRoster::_FindFileMap(int32 device, int64 node)
{
	for (std::unique_ptr<FileMap>& map : fFileMaps) {
		if (SameNode(map->node, device, node))
			return map.get();
	}
	return nullptr;
}

bool CProjectRoster::_IsRoot(int32 device, int64 node) const
{
	return SameNode(fRootNode, device, node);
}

// #pragma mark - path monitor notifications

void CProjectRoster::NotifyFileRemoved(int32 device, int64 node)
{
	CDebugFunctionTracer::Trace("project root folder removed\n");
}

void CProjectRoster::NotifyFileStatChanged(int32 device, int64 node)
{
	CDebugFunctionTracer::Trace("project root folder: stat changed\n");
}

void CProjectRoster::NotifyFileAttrChanged(int32 device, int64 node)
{
	CDebugFunctionTracer::Trace("project root folder: attributes changed\n");
}

void CProjectRoster::NotifyFilePathChanged(int32 device, int64 node, const char* newPath)
{
	BAutolock lock(fLock);
	if (!_Accepting() || !_IsRoot(device, node) || newPath == nullptr)
		return;
	CDebugFunctionTracer::Trace("project root folder is now \"%s\"\n", EscapeControlChars(newPath).c_str());
	fRootPath = newPath;
	fRootFolder.SetTo(newPath);
	for (std::unique_ptr<ProjectMap>& map : fProjects) {
		if (map->deleted)
			continue;
		CProject* project = map->project.get();
		project->FolderPathOrNameChanged(JoinPath(fRootPath, project->Name().c_str()).c_str());
		project->Lock();
		for (int32 index = 0; index < project->CountTracks(); index++)
			_Broadcast(PROJECT_TRACK_CHANGED, project, project->TrackAt(index));
		project->Unlock();
		_Broadcast(PROJECT_CHANGED, project);
	}
}

// #pragma mark - directory monitor notifications

void CProjectRoster::NotifyDirectoryEntryCreated(int32 device, int64 directory, int64 node, const char* name)
{
	if (name == nullptr || IsProjectBookkeepingName(name))
		return;
	BAutolock lock(fLock);
	if (!_Accepting())
		return;

	if (_IsRoot(device, directory)) {
		std::string path = JoinPath(fRootPath, name);
		struct stat st;
		std::string movedRoot;
		// The root folder may have moved with the path monitor's word still
		// on its way: its node tells where it is now.
		if (lstat(path.c_str(), &st) != 0 && get_path_for_node(fRootNode, &movedRoot) == B_OK
			&& movedRoot != fRootPath) {
			path = JoinPath(movedRoot, name);
		}
		BEntry entry(path.c_str(), false);
		BEntry resolved(path.c_str(), true);
		if (entry.InitCheck() != B_OK || resolved.InitCheck() != B_OK || !resolved.IsDirectory())
			return;
		if (_FindMapByFolderNode(device, node) != nullptr)
			return;   // found by Init already
		AddProject(entry);
		return;
	}

	ProjectMap* map = _FindMapByContentNode(device, directory);
	if (map == nullptr) {
		CDebugFunctionTracer::Trace("couldn't find a project\n");
		return;
	}
	const std::string path = JoinPath(map->project->ProjectFolder(), name);
	BEntry resolved(path.c_str(), true);
	if (resolved.InitCheck() != B_OK || !resolved.IsFile()) {
		CDebugFunctionTracer::Trace("couldn't find a project\n");
		return;
	}
	if (_FindFileMap(device, node) != nullptr)
		return;   // already a track
	// Put in place of a track's file (moved over it from elsewhere): the
	// track takes the new file.
	if (_RebindReplacedTrack(map->project.get(), name, device, node))
		return;
	struct stat st;
	if (lstat(path.c_str(), &st) != 0)
		return;   // gone again
	_AddFileUnlocked(map, path, node_ref_for_stat(st));
}

void CProjectRoster::NotifyDirectoryEntryRemoved(int32 device, int64 directory, int64 node)
{
	BAutolock lock(fLock);
	if (!_Accepting())
		return;

	if (_IsRoot(device, directory)) {
		if (ProjectMap* map = _FindMapByFolderNode(device, node))
			RemoveProject(map);
		return;
	}

	fPendingFiles.erase(PendingKey(device, node));
	FileMap* fileMap = _FindFileMap(device, node);
	if (fileMap == nullptr) {
		CDebugFunctionTracer::Trace("removed entry is no track\n");
		return;
	}
	// The track's name may hold a new file already (put in its place): the
	// track follows its name.
	if (!_FollowName(fileMap))
		_RemoveTrackOfMap(fileMap);
}

void CProjectRoster::NotifyDirectoryEntryRenamed(int32 device, int64 directory, int64 node, const char* newName)
{
	if (newName == nullptr)
		return;
	BAutolock lock(fLock);
	if (!_Accepting())
		return;

	if (_IsRoot(device, directory)) {
		ProjectMap* map = _FindMapByFolderNode(device, node);
		if (map == nullptr)
			return;
		map->project->FolderPathOrNameChanged(JoinPath(fRootPath, newName).c_str());
		_Broadcast(PROJECT_RENAMED, map->project.get());
		return;
	}

	FileMap* fileMap = _FindFileMap(device, node);
	if (IsProjectBookkeepingName(newName)) {
		// The data file being saved; a track file given such a name is no
		// track any more.
		// A number of a file that is gone may be given to the data file:
		// only a track whose name is free now was renamed so.
		if (fileMap != nullptr && !_FollowName(fileMap))
			_RemoveTrackOfMap(fileMap);
		return;
	}
	if (fileMap != nullptr) {
		CProject* project = fileMap->project;
		CProjectTrack* track = fileMap->track;
		// A track whose file this one was renamed over is gone.
		_DropReplacedTrack(project, newName, track);
		track->FileNameChanged(newName);
		project->Save();
		// The node the report names may have left the name already (replaced
		// by a later one): the track keeps to the file its name holds.
		const node_ref before = fileMap->node;
		if (!_FollowName(fileMap) || fileMap->node == before)
			_Broadcast(PROJECT_TRACK_CHANGED, project, track);
		return;
	}

	ProjectMap* map = _FindMapByContentNode(device, directory);
	if (map == nullptr)
		return;
	if (_RebindReplacedTrack(map->project.get(), newName, device, node))
		return;
	if (fPendingFiles.count(PendingKey(device, node)) != 0)
		_AddFileUnlocked(map, JoinPath(map->project->ProjectFolder(), newName), node_ref {device, node});
}

void CProjectRoster::NotifyDirectoryEntryStatChanged(int32 device, int64 directory, int64 node)
{
	BAutolock lock(fLock);
	if (!_Accepting())
		return;

	FileMap* fileMap = _FindFileMap(device, node);
	if (fileMap == nullptr) {
		if (fPendingFiles.count(PendingKey(device, node)) == 0)
			return;
		ProjectMap* map = _FindMapByContentNode(device, directory);
		if (map == nullptr)
			return;
		// A file that was not complete yet: find its name and try again.
		BDirectory folder(map->project->ProjectFolder().c_str());
		BEntry entry;
		while (folder.GetNextEntry(&entry, false) == B_OK) {
			node_ref entryNode;
			if (entry.GetNodeRef(&entryNode) == B_OK && SameNode(entryNode, device, node)) {
				_AddFileUnlocked(map, entry.Path(), entryNode);
				return;
			}
		}
		return;
	}

	const std::string path = fileMap->track->File();
	BEntry entry(path.c_str(), false);
	if (entry.InitCheck() != B_OK) {
		CDebugFunctionTracer::Trace("InitCheck failed\n");
		return;
	}
	struct stat st;
	if (entry.GetStat(&st) != B_OK) {
		CDebugFunctionTracer::Trace("GetStat failed\n");
		return;
	}
	TraceStatChanges(fileMap->stat, st);
	const bool contentChanged = ContentChanged(fileMap->stat, st);
	fileMap->stat = st;
	if (!contentChanged)
		return;   // times or owner only: the length is what it was
	CProject* project = fileMap->project;
	CProjectTrack* track = fileMap->track;
	if (track->FileSizeChanged()) {
		project->Save();
		_Broadcast(PROJECT_TRACK_CHANGED, project, track);
	}
}

void CProjectRoster::NotifyDirectoryEntryAttrChanged(int32 device, int64 directory, int64 node)
{
	BAutolock lock(fLock);
	if (!_Accepting())
		return;
	FileMap* fileMap = _FindFileMap(device, node);
	if (fileMap == nullptr)
		return;
	if (fileMap->track->FileAttributesChanged()) {
		fileMap->project->Save();
		_Broadcast(PROJECT_TRACK_CHANGED, fileMap->project, fileMap->track);
	}
}
