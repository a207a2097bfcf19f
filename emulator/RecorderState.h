// What a virtual recorder knows about the disc it is writing: the write
// parameters of page 05h, the cue sheet of a session-at-once run, the tracks
// written so far (the PMA of a track-at-once disc), the next writable address
// and the disc status. The state belongs to the drive; the medium image it
// writes onto stays immutable until the session is closed and the written
// disc is loaded as a new image.
//
// Every check answers as an MMC recorder does, with the sense data of its
// refusal. Not thread-safe: the drive calls it under its own lock.
#pragma once

#include "emulator/MmcDefs.h"
#include "kit/device/ScsiParameters.h"
#include "kit/support/SupportDefs.h"

#include <string>
#include <vector>

// The layout of a written (or being written) disc: its tracks with their
// index points, the catalogue number and the lead-out. Both the cue sheet of
// a session-at-once run and the PMA of a track-at-once disc give one.
struct SWrittenDisc {
	struct STrack {
		int number = 0;
		uint8 control = 0;        // Q control nibble (0x01 PRE, 0x02 DCP, 0x08 4CH)
		std::string isrc;         // 12 characters, or empty
		int32 pregapStart = 0;    // index 0, == start without a pregap
		int32 start = 0;          // index 1
		int32 end = 0;            // first sector after the track
		std::vector<std::pair<int, int32>> indexes;   // (number >= 1, LBA), ascending, index 1 first
	};

	std::string mcn;
	std::vector<STrack> tracks;
	int32 leadOut = 0;
	// The CD-Text packs the host wrote into the lead-in (one cycle of
	// them, 18 bytes each, CRCs checked), or empty.
	std::vector<uint8> cdTextPacks;
};

// A session-at-once cue sheet accepted by the recorder.
struct SCueSheetPlan {
	// A stretch of the session with one data form: the host sends its
	// sectors (00h) or the recorder makes them itself (01h, silence).
	struct SRange {
		int32 start = 0;
		int32 count = 0;
		bool fromHost = true;
	};

	// The lead-in's data form: 01h (the recorder generates the lead-in) or
	// 41h (the host writes the lead-in's R-W sub-channel: CD-Text packs, 96
	// bytes a sector, from the lead-in start up to the first sector).
	uint8 leadInDataForm = 0x01;
	bool HostWritesLeadIn() const { return leadInDataForm == 0x41; }
	SWrittenDisc disc;
	std::vector<SRange> ranges;   // ascending, from the first track entry to the lead-out

	// The first sector of the session (track 1's first entry, -150).
	int32 FirstSector() const { return ranges.empty() ? 0 : ranges.front().start; }
};

// Checks a SEND CUE SHEET parameter list of `length` bytes against a medium
// whose last possible lead-out is `lastPossibleLeadOut`. Returns kSenseNone
// with *plan filled, or the refusal: PARAMETER LIST LENGTH ERROR for a list
// that is not whole 8-byte entries, INVALID FIELD IN PARAMETER LIST with the
// field pointer at the offending byte for anything else. With `bcd` the
// track, index and time are BCD and the lead-in and lead-out may have data
// form 00h, as in the disc-at-once TOC of the older recorders.
mmc::SSense ParseCueSheetPlan(const uint8* data, size_t length, int32 lastPossibleLeadOut, SCueSheetPlan* plan,
	bool bcd = false);

// Sense conditions of the write side.
namespace mmc {
inline constexpr SSense kSenseInvalidAddressForWrite = sense::kInvalidAddressForWrite;
inline constexpr SSense kSenseWriteError = sense::kWriteError;
inline constexpr SSense kSenseBufferUnderrun = sense::kBufferUnderrun;
inline constexpr SSense kSenseLongWriteInProgress = sense::kLongWriteInProgress;
inline constexpr SSense kSenseOpcFailed = sense::kPowerCalibrationError;
inline constexpr SSense kSensePcaFull = sense::kPowerCalibrationAreaFull;
inline constexpr SSense kSensePermanentWriteProtect = sense::kPermanentWriteProtect;
inline constexpr SSense kSenseCannotFormatMedium = sense::kCannotFormatMedium;
inline constexpr SSense kSenseIncompleteTrack = sense::kIncompleteTrackInSession;
inline constexpr SSense kSenseYamahaWritingLeadIn = sense::kYamahaWritingLeadIn;
inline constexpr SSense kSenseYamahaWriteInProgress = sense::kYamahaWriteInProgress;
}   // namespace mmc

// The recording state of one drive and its medium.
class CRecorderState {
public:
	enum disc_status { kEmpty = 0, kIncomplete = 1, kComplete = 2 };

	// Where a write goes: the first sector of the request and, when the
	// recorder writes sectors of its own before it (a track-at-once pause or
	// a 01h range), those first.
	struct SWritePlan {
		int32 generatedStart = 0;
		int32 generatedCount = 0;   // recorder-made sectors before `lba`
		int32 lba = 0;
		int32 count = 0;
		bool startsRun = false;     // the first write of a run (lead-in, OPC)
	};

	// A new medium: blank (`lastPossibleLeadOut` its capacity) or finished.
	// Only the host-writes-pauses setting stays.
	void Reset(bool blank, int32 lastPossibleLeadOut);

	disc_status Status() const { return fStatus; }
	bool Unusable() const { return fUnusable; }
	bool RunOpen() const { return fRunOpen; }
	bool TrackOpen() const { return fTrackOpen; }
	bool TestRun() const { return fTestRun; }
	uint8 RunWriteType() const { return fRunType; }
	int32 LastPossibleLeadOut() const { return fLastPossibleLeadOut; }
	// The plan of the accepted cue sheet, or null.
	const SCueSheetPlan* CueSheet() const { return fHasCueSheet ? &fPlan : nullptr; }
	// What is written so far: the tracks of the PMA (track at once) or of
	// the cue sheet (session at once).
	const SWrittenDisc& Disc() const { return fDisc; }
	// The sectors written so far (the next one to write).
	int32 Written() const { return fNext; }

	// The next writable address for `parameters` (the invisible track's, a
	// track-at-once pause included) and whether there is one.
	bool NextWritableAddress(const SWriteParameters& parameters, int32* lba) const;
	// The number of the track the next track-at-once write starts.
	int NextTrackNumber() const;

	// SEND CUE SHEET with the current parameters.
	mmc::SSense SendCueSheet(const SWriteParameters& parameters, const uint8* data, size_t length,
		bool bcd = false);
	// A session-at-once plan that a vendor command described; the plan's
	// lead-out must lie within the medium.
	mmc::SSense SetPlan(const SWriteParameters& parameters, SCueSheetPlan plan);
	// Track at once where the host writes every sector itself, pauses
	// included, from LBA -150 on (no pause made by the recorder).
	void SetHostWritesPauses(bool host) { fHostPauses = host; }
	// The first sector of the medium's lead-in (from its ATIP); kept over
	// Reset. A cue sheet with a CD-Text lead-in starts its run there.
	void SetLeadInStart(int32 lba) { fLeadInStart = lba; }
	// Whether a write at `lba` goes into a host-written lead-in: its
	// sectors are kSubcodeSize bytes of R-W sub-channel, not audio.
	bool InHostLeadIn(int32 lba) const;
	// Takes the R-W sub-channel of `sectors` lead-in sectors: every pack
	// must carry a CD-Text pack type and a right CRC (all-zero packs are
	// padding), else INVALID FIELD IN PARAMETER LIST and nothing is kept.
	// The packs repeat over the lead-in; the first cycle is kept for the
	// written disc.
	mmc::SSense TakeLeadInPacks(const uint8* subcode, int32 sectors);
	// Moves index 1 of the open track-at-once track to `start` (its pause
	// before it), with the Q control nibble `control`.
	void SetOpenTrackStart(int32 start, uint8 control);

	// Checks a WRITE of `count` sectors at `lba` and plans it; nothing
	// changes until Commit.
	mmc::SSense PlanWrite(const SWriteParameters& parameters, int32 lba, int32 count, SWritePlan* plan) const;
	// Records a planned write as done.
	void Commit(const SWriteParameters& parameters, const SWritePlan& plan);

	// Ends the open track-at-once track (CLOSE TRACK, SYNCHRONIZE CACHE).
	// True when a track was open.
	bool CloseTrack();
	// Checks that the session can be closed now (every sector of a cue
	// sheet written, a track-at-once track closed).
	mmc::SSense CanCloseSession() const;
	// The session is closed: the disc is complete (a test run leaves it
	// blank). Returns the written layout.
	SWrittenDisc CloseSession();
	// The run failed (write error, underrun without BUFE): the disc is
	// unusable, a real CD-R would be lost.
	void Fail();

	// A session-at-once run's end: every sector up to the lead-out written.
	bool AllSectorsWritten() const;

private:
	void StartRun(const SWriteParameters& parameters);

	disc_status fStatus = kEmpty;
	bool fUnusable = false;
	int32 fLastPossibleLeadOut = 0;
	bool fHasCueSheet = false;
	SCueSheetPlan fPlan;
	SWrittenDisc fDisc;
	bool fRunOpen = false;
	bool fTestRun = false;
	uint8 fRunType = 0;
	bool fTrackOpen = false;
	bool fHostPauses = false;
	int32 fNext = -150;   // next sector to write
	int32 fLeadInStart = -150;
	std::vector<uint8> fLeadInPacks;   // the first cycle of the lead-in's packs
	bool fLeadInCycleDone = false;
};
