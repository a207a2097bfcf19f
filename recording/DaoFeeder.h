// CDaoFeeder: the whole disc of a project as one continuous stream of
// 2352-byte audio sectors (one CTrackFeeder per project track, read across
// track boundaries without gaps), its per-track and per-disc sector counts,
// and the disc-at-once cue sheet in the 8-byte entry format of SEND CUE
// SHEET.
//
// Threads: Init on one thread while nobody else uses the feeder; Read,
// Rewind and DummyRead on the reading thread; the counts, attributes and
// CreateCueSheet read only what Init fixed and may be called from any
// thread once Init returned.
#pragma once

#include "kit/support/SupportDefs.h"
#include "recording/TrackFeeder.h"

#include <memory>
#include <vector>

class CProject;

class CDaoFeeder {
public:
	// A feeder that was never initialised delivers nothing.
	CDaoFeeder();
	// Deletes every track feeder.
	~CDaoFeeder();
	CDaoFeeder(const CDaoFeeder&) = delete;
	CDaoFeeder& operator=(const CDaoFeeder&) = delete;

	// Builds one track feeder per track of `project` (locked for the whole
	// call) and rewinds to track 1. Track 1 gets at least 150 pause sectors.
	// B_OK or the first failure, each printed with its "CDaoFeeder error:"
	// line: a missing file (B_FILE_NOT_FOUND), a track feeder that does not
	// initialise (its status); B_BAD_VALUE for a project without tracks or
	// with more than 99; the status of EFBIG ("File too large") when the
	// disc's byte total does not fit an int32. Feeders made before a failure
	// stay until the destructor.
	status_t Init(CProject* project);
	// Places the next at most `bytes` bytes (a multiple of 4) of the disc at
	// `buffer`, running over track boundaries; *bytesRead receives the
	// count, short only at the end of the disc (0 after it or before Init).
	// B_OK, or a track's read failure with *bytesRead = the bytes gathered
	// before that track's read.
	status_t Read(void* buffer, int bytes, int* bytesRead, bool littleEndian);
	// Back to the first byte of track 1. B_OK or that track's status.
	status_t Rewind();
	// CTrackFeeder::DummyRead on the current track; B_OK past the last.
	status_t DummyRead();
	// The cue sheet: 8 bytes per entry, 2 x tracks + 2 entries (lead-in, per
	// track its index 0 and index 1, lead-out). *cueSheet receives the new
	// buffer (the caller owns it), *size its bytes. With `cdText` the
	// lead-in entry announces CD-Text from the host (data form 41h), which
	// the caller then writes into the lead-in. Always B_OK.
	status_t CreateCueSheet(std::unique_ptr<uint8[]>* cueSheet, int32* size, bool cdText = false);

	int32 DiscTrackCount() const { return fTrackCount; }
	// (sum of all track lengths) / 2352.
	int32 DiscSectorCount() const;
	// Tracks are numbered from 1 (at most 99).
	int32 TrackSectorCount(int32 track) const;
	// Data plus padding.
	int32 TrackDataSectorCount(int32 track) const;
	int32 TrackPauseSectorCount(int32 track) const;
	const char* TrackName(int32 track) const;
	const char* TrackFile(int32 track) const;
	bool TrackCopyAllowed(int32 track) const;
	bool TrackPreEmphasis(int32 track) const;
	// No catalogue number nor ISRC is written: always "".
	const char* TrackMCN(int32 track) const;
	const char* TrackISRC(int32 track) const;
	// The track that the next Read continues, at most DiscTrackCount().
	int32 CurrentTrack() const;

private:
	// The feeder of `track` (1-based), null after an assertion when there
	// is none.
	CTrackFeeder* _Track(int32 track) const;

	std::vector<std::unique_ptr<CTrackFeeder>> fTracks;   // item i is track i + 1
	int32 fTrackCount = 0;
	int32 fCurrentTrack = 9999;
};
