// CProjectTrack: one track of an audio CD project, the in-memory form of one
// audio file (or symbolic link to one) in the project folder. Artist and
// title live in the file's attributes "Audio:Artist" and "Audio:Title"; the
// other settings are kept in the project's data file as a track record.
//
// All lengths and offsets are counts of sample frames (4 bytes, 44100 per
// second); 588 frames make one sector.
//
// Locking: every member that reads or changes the track takes the track lock
// itself. Whoever also needs the roster or the project lock takes them first
// (roster, project, track).
#pragma once

#include "kit/support/Locker.h"
#include "kit/support/SupportDefs.h"

#include <memory>
#include <string>

class BEntry;
class BMessage;
class CProject;

constexpr int64 FRAMES_PER_SECTOR = 588;

// The attributes that hold a track's artist and title.
extern const char* const kArtistAttribute;   // "Audio:Artist"
extern const char* const kTitleAttribute;    // "Audio:Title"

// Reads attribute `attribute` of the file at `path` (a symbolic link is
// followed), whatever its type: at most its first 500 bytes, up to the first
// NUL, without leading blanks (' ' only). `value` is emptied first. B_OK or
// the status of the first failing step (opening, the attribute's info, the
// read). Any thread.
status_t ReadFileAttributeString(const char* path, const char* attribute, std::string* value);
// Writes `value` with its terminating NUL as attribute `attribute` (type
// B_STRING_TYPE) of the file at `path` (a symbolic link is followed). The
// write is best-effort: B_OK once the file could be opened, else the status
// of opening it. Any thread.
status_t WriteFileAttributeString(const char* path, const char* attribute, const char* value);

// The settings of one track record as read from a project data file, with
// the defaults for missing fields and hostile values made harmless (no
// negative spans; -1 stays "not measured"; a file name that is not a plain
// leaf name, such as "../x", names no file). Pure; used by the track and by
// the parser checks.
struct TRACK_RECORD {
	std::string file;
	std::string artist;
	std::string title;
	bool hasArtist = false;
	bool hasTitle = false;
	int64 startSilenceLength = 0;
	int64 endSilenceLength = 0;
	int64 fileLengthEstimated = -1;
	int64 fileLengthExact = -1;
	int64 fileLengthUsed = -1;
	int64 fileStartOffset = 0;
	int64 fileFadeInEndOffset = 0;
	int64 fileFadeOutStartOffset = 0;
	int64 index1Offset = 0;
	float gain = 1.0f;
};
void ReadTrackRecord(const BMessage& record, TRACK_RECORD* values);

// The clamps that keep a track's spans inside its used length: fade-in end,
// fade-out start and index 1 at most `used`; when both fades together exceed
// `used`, each becomes half of it. Overflow-safe. Pure.
void ClampTrackSpans(int64 used, int64* fadeInEnd, int64* fadeOutStart, int64* index1);

// Frames that fill the last sector of `used` frames (0 when it ends on a
// sector boundary or is not positive).
int64 PaddingFrames(int64 used);

class CProjectTrack {
public:
	// From a track record (the data file). Reads the file's attributes, which
	// win over the record's artist and title; a record value is written back
	// to a file that lacks the attribute. Measures the file when the record
	// has no estimated length.
	CProjectTrack(CProject* project, const BMessage* record);
	// For a new file: `startSectors` / `endSectors` of silence before and
	// after, `estimatedLength` frames as measured by the inspection.
	CProjectTrack(CProject* project, const char* file, const char* title, const char* artist, int32 startSectors,
		int32 endSectors, int64 estimatedLength);
	// Asserts that every GetEntry was released.
	~CProjectTrack();
	CProjectTrack(const CProjectTrack&) = delete;
	CProjectTrack& operator=(const CProjectTrack&) = delete;

	// Empties `record` and fills it with the track record, field by field;
	// the status of the first failing add, else B_OK.
	status_t Save(BMessage* record) const;

	CProject* Project() const { return fProject; }
	// The project folder joined with the file's leaf name (not normalised).
	std::string File() const;
	std::string Filename() const;
	std::string Title() const;
	std::string Artist() const;

	// Set the member(s), write the attribute(s) ("Audio:Artist" first), then
	// RenameFile(). The caller saves the project afterwards.
	void SetTitle(const char* title);
	void SetArtist(const char* artist);
	void SetArtistAndTitle(const char* artist, const char* title);

	// Plain settings, no side effects.
	void SetGain(float gain);
	float Gain() const;
	void SetStartSilenceLength(int64 frames);
	int64 StartSilenceLength() const;
	void SetEndSilenceLength(int64 frames);
	int64 EndSilenceLength() const;
	void SetIndex1Offset(int64 frames);
	int64 Index1Offset() const;
	void SetFileFadeOutStartOffset(int64 frames);
	int64 FileFadeOutStartOffset() const;
	void SetFileFadeInEndOffset(int64 frames);
	int64 FileFadeInEndOffset() const;
	void SetFileStartOffset(int64 frames);
	int64 FileStartOffset() const;
	void SetFileLengthUsed(int64 frames);
	int64 FileLengthUsed() const;
	int64 FileLengthEstimated() const;
	int64 FileLengthExact() const;

	// The exact length when measured, else the estimate.
	int64 FileLength() const;
	bool IsFileLengthExact() const;
	int64 FilePaddingLength() const;

	// Shared, counted access to the entry of File() (a link is not
	// followed): the first user makes it, later users get the same object,
	// the last ReleaseEntry deletes it. B_OK (pair it with ReleaseEntry),
	// B_ENTRY_NOT_FOUND when the file does not exist, or the status of
	// making the entry. The entry is valid until the matching ReleaseEntry.
	status_t GetEntry(const BEntry** entry);
	void ReleaseEntry();

	// The file exists (a link is followed to its target).
	bool FileExists() const;

	// Reactions to file-system changes (the roster calls them). The new leaf
	// name of the file (no '/'):
	void FileNameChanged(const char* name);
	// Re-measures the file: the exact length is forgotten, the estimate taken
	// again and the used length set to it. True when one of the three
	// changed. A file that cannot be measured now (another program is
	// rewriting it) counts as 0 frames until it changes again.
	bool FileSizeChanged();
	// Re-reads "Audio:Artist" and "Audio:Title"; a non-empty value that
	// differs is taken. True when one changed.
	bool FileAttributesChanged();

	// Replaces the estimate by the exact length and re-applies the limits.
	// B_OK (also when the exact length was known), or the measurement's
	// failure (nothing changes then).
	status_t CalculateExactFileSize();

	// Gives the file the name artist + " - " + title + its extension (a blank
	// for an empty part, a '/' in them becomes '|'), appending " (1)",
	// " (2)", ... while the name is taken. A linked file's source is renamed
	// too (and the link pointed at it again) when the setting "rename source
	// files" of "global project settings" is on. The new name reaches the
	// track through the roster's notification, not here.
	void RenameFile();

	bool Lock();
	void Unlock();

private:
	void construct_CProjectTrack(CProject* project, const BMessage* record);
	void _ApplyInvariants();
	// The inspection's length (0 when it fails; a failure on a file that
	// exists is an assertion when `assertOnFailure`).
	int64 _GetEstimatedFileLength(bool assertOnFailure);

	mutable BLocker fLock {"CProjectTrack locker"};
	std::string mTitle;
	std::string mArtist;
	std::string mFile;
	int64 mStartSilenceLength = 0;
	int64 mEndSilenceLength = 0;
	int64 mFileLengthEstimated = -1;
	int64 mFileLengthExact = -1;
	int64 mFileLengthUsed = -1;
	int64 mFileStartOffset = 0;
	int64 mFileFadeInEndOffset = 0;
	int64 mFileFadeOutStartOffset = 0;
	int64 mIndex1Offset = 0;
	float mGain = 1.0f;
	CProject* fProject = nullptr;
	std::unique_ptr<BEntry> mEntry;
	int32 mEntryUseCounter = 0;
};
