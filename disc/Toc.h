// The table of contents of the audio disc in a drive: track count, each
// track's position, length, pause and flags, the names the user sees, and the
// disc and track keys that identify a disc by its lengths.
//
// A CToc is shared between threads (the drive's update thread fills it, views
// and workers read it). Every method except the constructor, the destructor,
// Lock and Unlock must be called with the lock held; a call without it, a
// track number outside 1..99 or a count outside 0..99 is reported through
// DebugAssert and the call then goes on without touching anything outside
// the 99 tracks.
#pragma once

#include "kit/support/Locker.h"
#include "kit/support/SupportDefs.h"

#include <memory>
#include <string>

class CTocTrack {
public:
	CTocTrack();
	~CTocTrack();

	// Numbers to 0, flags to false, artist and title to "".
	void MakeEmpty();

	int32 lba = 0;         // where the track's pause (pre-gap) begins
	int32 size = 0;        // sectors, pause included
	int32 pauseSize = 0;   // sectors of the pause
	bool preEmphasis = false;
	bool copyAllowed = false;
	bool dataTrack = false;
	std::string artist;
	std::string title;
};

class CToc {
public:
	static constexpr int32 kMaxTracks = 99;

	// Empty: no tracks, empty title, keys 0, lock "CToc locker" created.
	CToc();
	~CToc();
	CToc(const CToc&) = delete;
	CToc& operator=(const CToc&) = delete;

	// Any thread. The lock is recursive.
	bool Lock();
	void Unlock();
	bool IsLocked() const;   // held by the calling thread

	// Count 0, first track 1, title "", all tracks emptied. The keys keep
	// their values.
	void MakeEmpty();

	// A count outside 0..99 is reported and stored clamped into that range;
	// the tracks are numbered from 1.
	void SetTrackCount(int count);
	int TrackCount();
	// The disc's own track numbers: a disc may start at any number
	// (1 <= first <= last <= 99), and its tracks keep their numbers here.
	// A range outside that is reported and nothing is changed.
	void SetTrackRange(int first, int last);
	// The first track's number (1 when there are no tracks) and the last's
	// (FirstTrack() + TrackCount() - 1, so a loop from the first to the
	// last visits every track and nothing else).
	int FirstTrack();
	int LastTrack();

	void SetTitle(const char* title);   // null stores ""
	// Never null; points into this object, valid while the lock is held
	// and the value is not changed.
	const char* Title();

	// Track numbers run 1..99 (the disc's own numbers, FirstTrack() to
	// LastTrack() hold tracks). For a number outside 1..99, setters store
	// nothing and getters answer 0, false or "".
	void SetTrackLBA(int track, int lba);
	int TrackLBA(int track);
	void SetTrackSize(int track, int size);
	int TrackSize(int track);
	void SetTrackPauseSize(int track, int pauseSize);
	int TrackPauseSize(int track);
	// The track's own start after its pause (LBA + pause size) and its own
	// length (size - pause size).
	int TrackTrackLBA(int track);
	int TrackTrackSize(int track);
	void SetTrackPreEmphasis(int track, bool preEmphasis);
	bool TrackPreEmphasis(int track);
	void SetTrackCopyAllowed(int track, bool copyAllowed);
	bool TrackCopyAllowed(int track);
	void SetTrackDataTrack(int track, bool dataTrack);
	bool TrackDataTrack(int track);
	void SetTrackTitle(int track, const char* title);     // null stores ""
	const char* TrackTitle(int track);                     // never null
	void SetTrackArtist(int track, const char* artist);   // null stores ""
	const char* TrackArtist(int track);                    // never null

	// Computes the disc key from the lead-out LBA: the lead-out position as
	// six BCD digits MMSSFF (positions below -150 wrap into the 100-minute
	// range), stores it with its minutes and seconds, and returns it.
	int InitCdTracksCdKey(int leadOutLba);
	// Stores a track's key: the length between the two LBAs, both first cut
	// to whole seconds, as minutes and remaining seconds.
	void InitCdTracksTrackKey(int track, int startLba, int endLba);
	// Null outputs are skipped.
	void GetCdTracksCdKey(int* key);
	void GetCdTracksCdKey(int* minutes, int* seconds);
	void GetCdTracksTrackKey(int track, int* minutes, int* seconds);

private:
	// Report a missing lock; report a bad track number and return false.
	void CheckLocked() const;
	bool CheckTrack(int track) const;

	int32 countTracks = 0;
	int32 firstTrack = 1;
	CTocTrack tracks[kMaxTracks];
	std::string title;
	std::unique_ptr<BLocker> pLocker;
	int32 cdKey = 0;
	int32 cdKeyMinutes = 0;
	int32 cdKeySeconds = 0;
	int32 trackKeyMinutes[kMaxTracks] = {};
	int32 trackKeySeconds[kMaxTracks] = {};
};
