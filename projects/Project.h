// CProject: one audio CD project, the in-memory form of one folder inside the
// project root folder. The folder holds the tracks' audio files (or links to
// them) and the data file "Tarnwick project": one flattened message with the
// disc's artist, title and maximum length and one record per track, in disc
// order.
//
// Saving is crash-safe: the message is written to a scratch file in the
// folder, synced, and renamed over the data file, so an interrupted save
// (crash, full disk) leaves the previous data file as it was.
//
// Locking: Load, Save, Delete, SetName, FolderPathOrNameChanged, DiscLength
// and the track list members take the project lock themselves; callers that
// walk the tracks hold it across the walk. The roster lock comes before the
// project lock, the project lock before a track lock.
#pragma once

#include "kit/support/Locker.h"
#include "kit/support/SupportDefs.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

class BMessage;
class CProjectTrack;

// The data file's name, and the scratch file a save writes first.
extern const char* const kProjectDataFileName;       // "Tarnwick project"
extern const char* const kProjectDataScratchName;    // ".tarnwick-project.saving"
// Names starting with this are the program's own scratch entries in a
// project folder (never tracks).
extern const char* const kProjectScratchPrefix;      // ".tarnwick-"

// True for the names in a project folder that are not tracks: the data file
// and the program's scratch entries.
bool IsProjectBookkeepingName(const char* name);

// 74 minutes in frames (333000 sectors).
constexpr int64 DEFAULT_DISC_MAX_LENGTH = 195804000;

// What a project data file holds, parsed but not yet turned into tracks.
struct PROJECT_DATA {
	std::string artist;
	std::string title;
	int64 maxLength = DEFAULT_DISC_MAX_LENGTH;
	bool hasTrackCount = false;
	std::vector<BMessage> tracks;   // the "TrackData" records, in order
};

// Parses the content of a data file: an empty file is an empty project;
// missing fields take their defaults; without "TrackCount" every
// "TrackData" record present is taken, else at most that many. B_OK, or the
// unflatten failure (B_BAD_DATA, B_NO_MEMORY) for damaged data. Pure, any
// thread.
status_t ParseProjectData(const void* data, size_t size, PROJECT_DATA* out);

class CProject {
public:
	// `folderPath`: the absolute path of the project folder. Does not read
	// the disk.
	explicit CProject(const char* folderPath);
	// Deletes the tracks of both lists.
	~CProject();
	CProject(const CProject&) = delete;
	CProject& operator=(const CProject&) = delete;

	// Reads the data file (created empty when missing) into a project that
	// has no tracks yet. B_OK; the status of opening or reading the folder
	// or the file; B_BAD_DATA (or B_NO_MEMORY) when its content cannot be
	// parsed, in which case the project is left empty and nothing on disk
	// is changed.
	status_t Load();
	// Writes the data file (see above). B_OK or the first failing step's
	// status; the previous data file is intact on any failure.
	status_t Save();
	// Removes the data file and the folder of a project without tracks. When
	// the folder cannot be removed (it is not empty) the data file is written
	// again and the removal's status returned.
	status_t Delete();
	// Renames the project folder in place; `name` must not be empty nor
	// contain '/' (B_BAD_VALUE). The name and folder members change only
	// when the roster hears of it (FolderPathOrNameChanged).
	status_t SetName(const char* name);
	// The folder is now at `path`: folder = path, name = its leaf.
	void FolderPathOrNameChanged(const char* path);

	// Copies; "" when unset. Any thread.
	std::string ProjectFolder() const;
	std::string Name() const;
	std::string Title() const;
	std::string Artist() const;
	void SetTitle(const char* title);
	void SetArtist(const char* artist);

	// Frames the tracks take on the disc: per track the silence before, the
	// used length, its padding and the silence after (saturating).
	int64 DiscLength() const;
	int64 DiscMaxLength() const;
	void SetDiscMaxLength(int64 frames);

	int32 CountTracks() const;
	// Null when out of range.
	CProjectTrack* TrackAt(int32 index) const;
	int32 IndexOf(const CProjectTrack* track) const;
	// Appends the track, which the project owns from now on.
	void AddTrack(std::unique_ptr<CProjectTrack> track);
	// Moves the track at `from` to position `to`; false when either is out
	// of range.
	bool MoveTrack(int32 from, int32 to);
	// Moves the track to the removed list (it is deleted with the project);
	// false when it is not in the track list.
	bool RemoveTrack(CProjectTrack* track);

	bool Lock();
	void Unlock();
	bool IsLocked() const { return fLock.IsLocked(); }

	// For tests: called by Save between writing the scratch file and renaming
	// it over the data file (null: none). A hook that ends the process there
	// shows what a crash at that moment leaves behind.
	static void SetSaveCommitHook(void (*hook)(const char* scratchPath));

private:
	mutable BLocker fLock {"CProject locker"};
	// The folder strings are also read under the track lock (File()), so
	// they have a lock of their own that is never held while taking another.
	mutable std::mutex fFolderLock;
	std::string fName;
	std::string fFolder;
	std::string fTitle;
	std::string fArtist;
	int64 mMaxLength = DEFAULT_DISC_MAX_LENGTH;
	std::vector<std::unique_ptr<CProjectTrack>> fTracks;
	// Tracks taken out stay allocated until the project goes: handlers may
	// still hold their pointers from the removal message.
	std::vector<std::unique_ptr<CProjectTrack>> fRemovedTracks;
};
