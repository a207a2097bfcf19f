// Checksums of extracted tracks and the ids of a disc: CRC32, AccurateRip v1
// and v2 track checksums, the AccurateRip, CDDB and MusicBrainz disc ids.
// Pure functions and small value classes; any thread.
#pragma once

#include "kit/support/SupportDefs.h"

#include <cstddef>
#include <string>
#include <vector>

class CToc;

inline constexpr int32 kCddaSectorBytes = 2352;
inline constexpr int32 kCddaSectorFrames = 588;   // stereo 16-bit frames per sector

// A disc's table of contents as the ids need it. Addresses are LBAs (the
// first sector of the program area is 0; the 150 sectors of the first
// pregap are not counted).
struct DiscLayout {
	int32 firstTrack = 1;
	std::vector<int32> trackStarts;   // LBA of each track from firstTrack on
	std::vector<bool> dataTracks;     // per track: a data track (empty: all audio)
	int32 leadOut = 0;                // LBA of the lead-out

	int32 TrackCount() const { return int32(trackStarts.size()); }
	bool IsDataTrack(int32 index) const { return index < int32(dataTracks.size()) && dataTracks[index]; }
	// Whether the layout is usable: 1..99 tracks, ascending starts from 0
	// on, a lead-out after the last start, firstTrack + count - 1 <= 99.
	bool IsValid() const;
};

// The layout of a drive's table of contents (its lock is taken for the
// call): each track starts after its pause, the lead-out follows the last
// track.
DiscLayout DiscLayoutFromToc(CToc* toc);

// The CDDB (freedb) disc id of every track, data tracks included.
// 0 for an invalid layout.
uint32 CddbDiscId(const DiscLayout& layout);

// The AccurateRip disc id: audio track count, the two sums over the audio
// tracks' starts and the disc's lead-out, and the CDDB id of every track.
// Data tracks (first or last) are left out of the count and the sums.
struct AccurateRipDiscId {
	int32 audioTrackCount = 0;
	uint32 id1 = 0;
	uint32 id2 = 0;
	uint32 cddbId = 0;
	// "nnn-aaaaaaaa-bbbbbbbb-ffffffff".
	std::string ToString() const;
};
AccurateRipDiscId ComputeAccurateRipDiscId(const DiscLayout& layout);

// The MusicBrainz disc id (28 characters) through libdiscid, or "" for an
// invalid layout. It covers the first session: a trailing data track (the
// second session of an enhanced CD) is left out, and the first session ends
// 11400 sectors before it starts.
std::string MusicBrainzDiscId(const DiscLayout& layout);

// Continues `crc` (start with 0) over `size` bytes: the CRC-32 of zlib and
// of the rip logs of other programs.
uint32 Crc32(uint32 crc, const void* data, size_t size);

// Checksums of one track's audio as it is read, in order, in pieces of any
// size. Samples are 16-bit little-endian stereo frames. The AccurateRip sums
// leave out the first 5 sectors minus one frame of the disc's first audio
// track and the last 5 sectors of its last one.
class CTrackChecksums {
public:
	// trackFrames: the track's whole length in frames (sectors x 588).
	CTrackChecksums(int64 trackFrames, bool firstAudioTrack, bool lastAudioTrack);

	void Add(const void* data, size_t bytes);

	uint32 Crc32() const { return fCrc; }
	uint32 AccurateRipV1() const { return fV1; }
	uint32 AccurateRipV2() const { return fV2; }
	int64 FramesAdded() const { return fPosition; }
	int64 TrackFrames() const { return fTrackFrames; }

private:
	int64 fTrackFrames;
	int64 fSkipBefore;   // first 1-based position counted
	int64 fSkipAfter;    // last 1-based position counted
	int64 fPosition = 0;
	uint32 fCrc = 0;
	uint32 fV1 = 0;
	uint32 fV2 = 0;
	uint8 fCarry[4] = {};
	int32 fCarryBytes = 0;
};
