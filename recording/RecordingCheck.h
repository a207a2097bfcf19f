// Checks of a project before anything is sent to a recorder: every file must
// be CD audio (44100 Hz, 2 channels, 16-bit samples), the disc stream must
// fit the int32 byte counts of the feeders, and tracks shorter than the CD
// standard's 4 seconds are named with a warning. The recording engine and
// the command line call them before the first drive command.
#pragma once

#include "kit/storage/EntryRef.h"
#include "kit/support/SupportDefs.h"

#include <string>
#include <vector>

class CProject;

// Shortest track the CD standard allows: 4 seconds.
constexpr int32 MIN_TRACK_SECTORS = 300;

// Pause sectors that the disc feeder gives a track with `startSilenceFrames`
// of start silence: the frames / 588, truncated; the first track gets at
// least 150. Pure.
int64 PauseSectorsForTrack(int64 startSilenceFrames, bool firstTrack);

// Bytes of a disc whose tracks take `trackBytes` bytes each, summed in 64
// bits, and whether that total fits the int32 counts of a recording run.
bool DiscByteTotalFits(const std::vector<int64>& trackBytes, int64* total);

// Whether `ref` decodes to CD audio. B_OK when it does; else the status
// (the open status, or B_MEDIA_BAD_FORMAT for a file that opens but is not
// CD audio) and *reason: one short line without the file name, such as
// "48000 Hz instead of 44100 Hz", "1 channel instead of 2" or "24-bit
// samples instead of 16-bit". Any thread.
status_t CheckCdAudioFile(const entry_ref& ref, std::string* reason);

struct RECORDING_PROBLEM {
	bool fatal = false;      // true: the project cannot be recorded as it is
	int32 track = 0;         // 1-based; 0 for the whole project
	std::string file;        // the track's file name; "" for the project
	std::string text;        // the whole line, naming the file, no newline
};

// Checks every track of `project` (locked for the call): missing files,
// files that are not CD audio, the disc's byte total, more than 99 tracks or
// none (fatal), and tracks shorter than 4 seconds (warnings). Each finding
// is appended to *problems in track order. B_OK when nothing is fatal, else
// the status of the first fatal finding.
status_t CheckProjectForRecording(CProject* project, std::vector<RECORDING_PROBLEM>* problems);
