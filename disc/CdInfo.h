// The disc information store: the names a user gave to audio discs, one file
// per disc in the store folder, found again by the disc key and confirmed by
// the lengths of the disc and of every track.
//
// A disc's file holds one line per entry (the disc, then tracks 1..n):
// name, a tab, the length as MM:SS, a line feed. Its attributes are
// "BEOS:TYPE" ("text/x-cd_tracks"), "CD:key" (the disc key, int32) and
// "CD:tracks" (every name followed by a line feed, as a C string). The
// attribute is where names are read from; as attribute space is small, the
// lines carry the names too, and they fill in whatever the attribute does
// not hold (names that did not fit, or a missing attribute).
//
// A CCdInfo belongs to one drive and is used only by that drive's update
// thread, while it holds the drive's CToc lock. It is not locked itself.
#pragma once

#include "kit/support/SupportDefs.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

class BEntry;

// One entry: the disc (track 0) or a track, with its length key and name.
struct CD_INFO_DATA {
	int32 track = 0;
	int32 minutes = 0;
	int32 seconds = 0;
	std::optional<std::string> text;   // no name yet
};

class CCdInfo {
public:
	static constexpr int32 kMaxTracks = 99;
	// Name of the store folder below the user's data folder.
	static constexpr const char* kStoreFolder = "tarnwick/cd";
	// The type of a store file ("BEOS:TYPE").
	static constexpr const char* kFileType = "text/x-cd_tracks";

	// No entries, track count 0, disc key -1, not initialised.
	CCdInfo();
	~CCdInfo();
	CCdInfo(const CCdInfo&) = delete;
	CCdInfo& operator=(const CCdInfo&) = delete;

	// Drops every entry; back to the state after construction.
	void Reset();
	// Starts a disc: its track count (0..99, others are reported and
	// clamped), disc key and the disc's minutes and seconds. Earlier entries
	// are dropped.
	void Init(int count, int key, int minutes, int seconds);
	// Adds a track (1..99; others are reported and not added).
	void Init(int track, int minutes, int seconds);

	// Finds the disc's file in the store, creating it with default names
	// when no file matches, and reads the names from it (Load) or writes
	// them to it (Save). Nothing while the track count is 0. Returns B_OK,
	// or the failure of the store folder or file (also reported through
	// DebugAssert).
	status_t Load();
	status_t Save();

	// Entry 0's name / a track's name; "" when there is none or the track
	// count is 0. The pointer stays valid until the name is changed or the
	// entries are dropped.
	const char* CdText();
	const char* TrackText(int track);
	// Replace a name with a copy of `text` (null is taken as ""); nothing
	// while the track count is 0.
	void SetCdText(const char* text);
	void SetTrackText(int track, const char* text);

	// The entry of that track (0 = the disc); null, reported, when absent.
	CD_INFO_DATA* InfoData(int track);

	int32 TrackCount() const { return fTrackCount; }
	int32 Key() const { return fKey; }

	// The store folder, created (0777) when missing.
	static status_t GetStorePath(std::string* path);

	// Whether a store file's data lines belong to this disc: there is a
	// line for every entry, in order, with the entry's minutes and seconds,
	// and no further line. Names are not compared.
	bool CheckFile(std::string_view data) const;
	// Reads the names of a store file that belongs to this disc: from the
	// "CD:tracks" attribute's lines where `tracks` (null when the file has
	// none) has one, else from the data lines. False, with no name changed,
	// when the data lines are not this disc's.
	bool LoadCdData(std::string_view data, const std::string* tracks);
	// The same on a file: false when it cannot be read or is not this
	// disc's.
	bool LoadCdData(const BEntry* entry);
	// Writes the names to a file that belongs to this disc: data lines with
	// the names and the lengths, and "CD:tracks". False when the file is not
	// this disc's or cannot be read. Tabs and line feeds in names are
	// written as blanks, so that the lines stay readable.
	bool SaveCdData(const BEntry* entry);

	// The file content and the "CD:tracks" value that the names give.
	std::string DataLines() const;
	std::string TracksAttribute() const;

private:
	status_t DoLoadSave(bool save);
	status_t CreateFile(const std::string& folder, BEntry* entry);
	bool CheckInit() const;
	const char* TextOf(CD_INFO_DATA* data);
	void SetTextOf(CD_INFO_DATA* data, const char* text);

	std::vector<CD_INFO_DATA> fEntries;
	int32 fTrackCount = 0;
	int32 fKey = -1;
	bool bInit = false;
	status_t fIoStatus = B_OK;   // the first I/O failure of the running Load or Save
};
