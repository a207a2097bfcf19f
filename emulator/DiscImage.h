// The medium in a virtual drive: nothing, a blank CD-R or CD-RW of a given
// length, or a finished audio disc laid out from a CUE sheet and its files.
//
// A loaded disc keeps its audio files open and copies sectors with pread
// straight into the caller's buffer: reading allocates nothing. The object is
// immutable once made, so any thread may read from it; drives share it
// through std::shared_ptr.
//
// Recording will turn a blank medium into a disc with tracks of its own (its
// status then goes from empty through incomplete to complete): the layout
// below (tracks with index points over segments of files or silence) is the
// same for both.
#pragma once

#include "emulator/CueSheet.h"
#include "kit/support/SupportDefs.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

class CDiscImage {
public:
	enum medium_kind {
		kBlankCdR,
		kBlankCdRw,
		kAudioDisc,
	};
	enum disc_status {
		kStatusEmpty = 0,
		kStatusIncomplete = 1,
		kStatusComplete = 2,
	};

	struct STrack {
		int number = 0;
		uint8 control = 0;       // Q control nibble (0x01 PRE, 0x02 DCP, 0x08 4CH)
		std::string isrc;        // 12 characters, or empty
		int32 pregapStart = 0;   // LBA of index 0 (== start when the track has no pregap)
		int32 start = 0;         // LBA of index 1: the track's start in the TOC
		int32 end = 0;           // first LBA after the track (next pregap or lead-out)
		std::vector<std::pair<int, int32>> indexes;   // (index number, LBA), ascending, index 1 included
	};

	~CDiscImage();
	CDiscImage(const CDiscImage&) = delete;
	CDiscImage& operator=(const CDiscImage&) = delete;

	// A blank CD-R or CD-RW of `minutes` (1..99) minutes: its last possible
	// lead-out starts one frame before that time. Null for a bad length or kind.
	static std::shared_ptr<CDiscImage> CreateBlank(medium_kind kind, int minutes);

	// Lays out the disc of a CUE sheet; file names are relative to the sheet's
	// folder. CD-Text comes from `cdTextPath` when given, else from the sheet's
	// CDTEXTFILE, else from its TITLE/PERFORMER/... entries. Returns B_OK, or
	// B_ENTRY_NOT_FOUND / B_BAD_DATA / B_IO_ERROR with *error (when given)
	// naming the problem.
	static status_t LoadCue(const std::string& cuePath, std::shared_ptr<CDiscImage>* image,
		std::string* error, const std::string& cdTextPath = std::string());
	// The same from a parsed sheet and the folder its files are in.
	static status_t FromCueSheet(const CCueSheet& sheet, const std::string& folder,
		std::shared_ptr<CDiscImage>* image, std::string* error, const std::string& cdTextPath = std::string());

	// Makes a disc just loaded from the image a recorder wrote into the
	// finished disc on `blank`'s medium: its kind (CD-R or CD-RW) and ATIP.
	// Only before the image is shared.
	void SetRecordedOn(const CDiscImage& blank);

	medium_kind Kind() const { return fKind; }
	disc_status Status() const { return fStatus; }
	bool IsBlank() const { return fStatus == kStatusEmpty; }
	// CD-R and CD-RW media carry ATIP; pressed discs do not.
	bool IsRecordable() const { return fKind != kAudioDisc; }
	bool IsErasable() const { return fKind == kBlankCdRw; }

	// ATIP values of recordable media (LBAs; the lead-in start is negative).
	int32 LeadInStart() const { return fLeadInStart; }
	int32 LastPossibleLeadOut() const { return fLastPossibleLeadOut; }

	// Layout of a recorded disc. A blank medium has no tracks and lead-out 0.
	int32 LeadOut() const { return fLeadOut; }
	const std::vector<STrack>& Tracks() const { return fTracks; }
	int FirstTrack() const { return fTracks.empty() ? 0 : fTracks.front().number; }
	int LastTrack() const { return fTracks.empty() ? 0 : fTracks.back().number; }
	// The track with this number, or null.
	const STrack* FindTrack(int number) const;
	// The track holding `lba` (pregap included), or null outside the tracks.
	const STrack* TrackAt(int32 lba) const;
	// The index number of `lba` within `track` (0 in the pregap).
	static int IndexAt(const STrack& track, int32 lba);

	// The disc's media catalogue number (13 digits, from CATALOG), or empty.
	// Drives send it in Q frames of ADR 2.
	const std::string& Catalog() const { return fCatalog; }
	// The ISRC (12 characters, from ISRC) of the track with this number, or
	// empty when the track has none or does not exist. Drives send it in Q
	// frames of ADR 3 within that track.
	const std::string& Isrc(int trackNumber) const;
	// CD-Text packs (18 bytes each), empty when the disc has none.
	const std::vector<uint8>& CdTextPacks() const { return fCdTextPacks; }

	// Copies `count` audio sectors (2352 bytes, little-endian samples) from
	// `lba` to `buffer`, sector i at buffer + i * stride (stride >= 2352).
	// B_BAD_VALUE outside 0..LeadOut(), B_IO_ERROR when a file read fails.
	status_t ReadSectors(int32 lba, int32 count, uint8* buffer, size_t stride) const;

	// The 12 bytes of the Q sub-channel (mode 1 position, CRC included) of
	// the sector at `lba`, as recorded on the disc.
	void QSubChannel(int32 lba, uint8* q) const;

private:
	struct SSegment {
		int32 start = 0;
		int32 count = 0;
		int file = -1;            // index into fFiles; -1 = silence
		uint64 offset = 0;        // byte offset of the segment's first sector
	};
	struct SFile {
		int fd = -1;              // the file, or a scratch file of decoded samples
		uint64 dataOffset = 0;
		uint64 dataSize = 0;
		bool bigEndian = false;
	};

	CDiscImage() = default;

	// Opens the audio file at `path` (`name` in messages): raw samples and
	// WAVE PCM are read in place, other sound files are decoded first.
	static status_t OpenAudioFile(const std::string& path, const std::string& name, CCueSheet::file_type type,
		SFile* file, std::string* error);

	medium_kind fKind = kAudioDisc;
	disc_status fStatus = kStatusEmpty;
	int32 fLeadInStart = 0;
	int32 fLastPossibleLeadOut = 0;
	int32 fLeadOut = 0;
	std::vector<STrack> fTracks;
	std::vector<SSegment> fSegments;
	std::vector<SFile> fFiles;
	std::string fCatalog;
	std::vector<uint8> fCdTextPacks;
};
