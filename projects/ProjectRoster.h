// CProjectRoster: owns every project of the project root folder and keeps
// them in step with the file system, whoever changes it. Each folder in the
// root folder is a project; each audio file (or link to one) in a project
// folder is a track. The roster watches the root folder, the project folders
// and the track files, adds, renames and drops projects and tracks as the
// notifications come, saves the projects concerned and tells every attached
// handler by posting a message.
//
// Handlers are BMessenger targets (a window, a looper, a message sink).
// Every message carries the pointer field "Project"; the track messages also
// "Track". Messages are posted in order by a thread of the roster, never
// delivered synchronously and never while the roster lock is held, so a
// handler may call the roster while it handles them.
//
// Reference counting: a handler that receives 'PrAd' for a project holds one
// reference to it, counted by the roster on its behalf, and gives it back
// with UnregisterProject when it receives 'PrRm' or stops using the project.
// Other users take one with RegisterProject. A removed project stays in
// memory, marked deleted, until its count reaches 0.
//
// Locking: the roster lock comes before a project lock, a project lock
// before a track lock. Notifications arrive on the monitors' worker threads;
// any thread may call the public members.
#pragma once

#include "kit/app/Messenger.h"
#include "kit/app/OrderedPoster.h"
#include "kit/storage/Directory.h"
#include "kit/storage/EntryRef.h"
#include "kit/support/Locker.h"
#include "kit/support/SupportDefs.h"
#include "projects/DirectoryMonitor.h"
#include "projects/MoveFolderContent.h"
#include "projects/PathMonitor.h"

#include <memory>
#include <set>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

class BEntry;
class BMessage;
class CProject;
class CProjectTrack;

// Messages posted to the handlers.
enum : uint32 {
	PROJECT_ADDED = 'PrAd',
	PROJECT_REMOVED = 'PrRm',
	PROJECT_RENAMED = 'PrRn',
	PROJECT_CHANGED = 'PrCh',
	PROJECT_TRACKS_MOVED = 'PrTm',
	PROJECT_TRACK_ADDED = 'PrTA',
	PROJECT_TRACK_REMOVED = 'PrTR',
	PROJECT_TRACK_CHANGED = 'PrTC',
};

// The folder name in the root folder that start-up keeps for itself.
extern const char* const kTemporaryProjectFolderName;   // "_tarnwick_temp_project_dir"

class CProjectRoster : public CProjectFilePathMonitorClient, public CProjectDirectoryMonitorClient {
public:
	CProjectRoster();
	// Exit() when still initialised.
	~CProjectRoster() override;
	CProjectRoster(const CProjectRoster&) = delete;
	CProjectRoster& operator=(const CProjectRoster&) = delete;

	// Opens the root folder `rootFolder` (which must exist), starts watching
	// it and loads every folder in it as a project. B_OK, or the status of
	// opening it (the roster stays uninitialised then).
	status_t Init(const char* rootFolder);
	// Stops watching, delivers the messages already posted, saves every live
	// project and deletes all projects. Does nothing unless initialised.
	// Handlers should have given back their references before.
	void Exit();

	// Adds a message target and sends it one 'PrAd' per live project (each
	// counted as a reference it holds). Detaching a handler that is not
	// attached is an assertion.
	void Attach(const BMessenger& handler);
	void Detach(const BMessenger& handler);

	// Reference counting (see above). The project must be one of the
	// roster's; counts never go negative.
	void RegisterProject(CProject* project);
	void UnregisterProject(CProject* project);
	// The project is known and not removed.
	bool IsProjectValid(CProject* project);

	// The first live project at or after *index; *index is moved past it.
	// Null at the end. For building project menus.
	CProject* GetNextProjectAt(int32* index);

	// Sets `dir` to the folder of a live project / to the root folder.
	// B_OK, B_BAD_VALUE (null argument, unknown or removed project),
	// B_NO_INIT (not initialised), or the status of opening the folder.
	status_t GetProjectFolder(BDirectory* dir, CProject* project);
	status_t GetProjectBaseFolder(BDirectory* dir);

	// Adds the audio file at `path` (in the project's folder; a link is not
	// followed) as a new last track with 2 seconds of pause before it,
	// announces it ('PrTA') and watches the file. The file is inspected up
	// to 5 times, 0.5 s apart. A file that is not audio is reported with an
	// alert and not added; one that vanished, is still empty or is still
	// being written is not reported: it is tried again when it changes.
	// Not to be called with the roster lock held unless the file is known to
	// be audio (the attempts sleep). The project is not saved here.
	void AddFileToProject(CProject* project, const char* path);
	// Takes out a track whose file no longer exists, announcing it ('PrTR').
	// Returns true.
	bool RemoveTrack(CProject* project, CProjectTrack* track);

	// Announce a change the caller made (and saved) itself.
	void SendProjectChangedNotify(CProject* project);
	void SendProjectTracksMovedNotify(CProject* project);
	void SendTrackChangedNotify(CProject* project, CProjectTrack* track);

	// Posts a copy of `message` to one handler / to every attached handler.
	void SendMessage(const BMessenger& handler, const BMessage* message);
	void BroadcastMessage(const BMessage* message);

	bool Lock();
	void Unlock();

	// For tests and diagnostics: projects in memory (live and removed), the
	// reference count of a project (-1 when unknown), watched track files.
	int32 CountProjectMaps();
	int32 ReferenceCount(CProject* project);
	int32 CountFileMaps();
	// The live project whose folder has the leaf name `name`, or null.
	CProject* FindProject(const char* name);

	// Path monitor notifications (the root folder's path).
	void NotifyFileRemoved(int32 device, int64 node) override;
	void NotifyFileStatChanged(int32 device, int64 node) override;
	void NotifyFileAttrChanged(int32 device, int64 node) override;
	void NotifyFilePathChanged(int32 device, int64 node, const char* newPath) override;

	// Directory monitor notifications (the root folder and project folders).
	void NotifyDirectoryEntryCreated(int32 device, int64 directory, int64 node, const char* name) override;
	void NotifyDirectoryEntryRemoved(int32 device, int64 directory, int64 node) override;
	void NotifyDirectoryEntryRenamed(int32 device, int64 directory, int64 node, const char* newName) override;
	void NotifyDirectoryEntryStatChanged(int32 device, int64 directory, int64 node) override;
	void NotifyDirectoryEntryAttrChanged(int32 device, int64 directory, int64 node) override;

private:
	struct ProjectMap {
		std::unique_ptr<CProject> project;
		int32 reference;
		bool deleted;
		node_ref folderNode;   // the entry in the root folder
		node_ref contentNode;  // the folder its files are in (a link's target)
	};
	struct FileMap {
		struct stat stat;
		node_ref node;
		CProject* project;
		CProjectTrack* track;
	};

	// All under fLock.
	CProject* AddProject(const BEntry& entry);
	void CheckProject(CProject* project);
	void RemoveProject(ProjectMap* map);
	// Maps the file at `path` (a link itself) to the track; `known` is its
	// stat record when the caller has it already.
	void StartFileWatching(const char* path, CProject* project, CProjectTrack* track,
		const struct stat* known = nullptr);
	void StopFileWatching(node_ref node);
	void UninitializeProjectFilesWatching(CProject* project);
	// Takes the track of a file map out (its file is gone), saves and
	// announces it.
	void _RemoveTrackOfMap(FileMap* fileMap);
	// A report named the node of the file map; the track keeps to the file
	// its name holds now: the map is moved to that node (a new file put in
	// its place is measured and announced). False when the name holds
	// nothing, or another track's file.
	bool _FollowName(FileMap* fileMap);
	// The track of `project` with the file name `name` other than `except`.
	CProjectTrack* _TrackNamed(CProject* project, const char* name, const CProjectTrack* except);
	// A track whose file another one was renamed over is taken out.
	void _DropReplacedTrack(CProject* project, const char* name, const CProjectTrack* renamed);
	// The node (device, node) now holds the name of a track's file (a new
	// link or file put in its place): the track follows it. False when no
	// track has that name.
	bool _RebindReplacedTrack(CProject* project, const char* name, int32 device, int64 node);
	ProjectMap* _FindMap(CProject* project);
	ProjectMap* _FindMapByFolderNode(int32 device, int64 node);
	ProjectMap* _FindMapByContentNode(int32 device, int64 node);
	FileMap* _FindFileMap(int32 device, int64 node);
	void _FreeMap(ProjectMap* map);
	bool _IsRoot(int32 device, int64 node) const;
	bool _Accepting() const { return fInitialized && !fExiting; }
	void _Broadcast(uint32 what, CProject* project, CProjectTrack* track = nullptr);
	void _Post(const BMessenger& target, const BMessage& message);

	// Inspects and adds a file (see AddFileToProject) without the roster
	// lock held; `expected` is the node the path should still name (null:
	// any).
	void _AddFile(CProject* project, const std::string& path, const node_ref* expected);
	// Registers the project of a project folder notification, lets go of
	// the roster lock, adds the file and gives the registration back.
	void _AddFileUnlocked(ProjectMap* map, const std::string& path, const node_ref& node);


	BLocker fLock {"CProjectRoster locker"};
	node_ref fRootNode;
	BDirectory fRootFolder;
	std::string fRootPath;
	std::vector<std::unique_ptr<ProjectMap>> fProjects;
	std::vector<BMessenger> fHandlers;
	std::unique_ptr<CPathMonitor> fPathMonitor;
	std::unique_ptr<CDirectoryMonitor> fDirectoryMonitor;
	bool fInitialized = false;
	bool fExiting = false;
	std::vector<std::unique_ptr<FileMap>> fFileMaps;
	// Files in project folders that were not audio yet while being written.
	std::set<std::pair<int32, int64>> fPendingFiles;

	// Hands the handlers their messages in order, never under fLock.
	COrderedPoster fPoster {"project roster"};
};

// The roster of the running application: created and initialised by start-up,
// shut down and deleted at exit.
extern CProjectRoster* gpProjectRoster;
