// What the recording status window shows, kept free of any toolkit: the
// display record of CCdRecordStatusView, the run states, and the rules by
// which the display thread turns the engine's run state and counters into
// texts and bar values (CRecordDisplayUpdater), and by which the priority
// manager moves the reading and writing threads' priorities with the fill
// level of the sector ring buffer (CRecordPriorityManager).
#pragma once

#include "kit/support/SupportDefs.h"

#include <functional>
#include <string>
#include <vector>

// Run states of a recording pass (bit values).
enum : int32 {
	STATUS_INIT = 1,
	STATUS_LEADIN = 64,
	STATUS_TRACK_WRITE = 128,
	STATUS_LEADOUT = 256,
	STATUS_FIXATE = 512,
	STATUS_FINISHED = 1024,
	STATUS_QUIT = 16384,
};

// One progress bar: label at the left, text after it, trailing text at the
// right, a value from 0 to 100 and the bar's tool tip ("" = none).
struct RECORD_BAR_DISPLAY {
	std::string label;
	std::string text;
	std::string trailingText;
	float value = 0;
	std::string toolTip;

	bool operator==(const RECORD_BAR_DISPLAY&) const = default;
};

// The recording status window's content. The names are those of the
// window's children: "Cancel", "Project", "Status", "Overall", "Track",
// "Buffer", "Recorder Buffer".
struct CD_RECORD_DISPLAY {
	std::string buttonLabel = "Close";
	std::string buttonToolTip = "Close this window?";
	bool buttonIsDefault = false;
	std::string project = "No project";
	std::string status = "Nothing to do";
	// After a failure the status line can be selected and copied.
	bool statusSelectable = false;
	RECORD_BAR_DISPLAY overall {"All Tracks: ", "0%", "", 0, "Progress of writing all the tracks"};
	RECORD_BAR_DISPLAY track {"", "0%", "", 0, "Progress of writing the current track"};
	RECORD_BAR_DISPLAY buffer {"Buffer: ", "0%", "", 0, "Fill level of the application buffer (file cache)"};
	RECORD_BAR_DISPLAY recorderBuffer {"Recorder Buffer: ", "0%", "", 0, "Fill level of the recorder buffer"};
	// After a write with verification: one line per track ("Track 01:
	// verified", or where it differs), or why the disc could not be compared.
	std::vector<std::string> verification;

	bool operator==(const CD_RECORD_DISPLAY&) const = default;
};

// What the display thread reads of the engine in one round.
struct RECORD_RUN_SNAPSHOT {
	int32 runState = STATUS_INIT;
	bool simulation = false;
	int32 currentTrack = 1;
	int32 countTracksOfDisc = 0;
	int32 currentSectorOfTrack = 0;
	int32 countSectorsOfCurrentTrack = 0;
	int32 currentSectorOfDisc = 0;
	int32 countSectorsOfDisc = 0;
	float writeSpeedFactor = -1;     // -1 = unknown
	float recorderBufferFill = -1;   // -1 = unknown
	bool hasRingBuffer = false;
	float ringBufferFill = 0;
	std::string projectName;
	// The name of a track (1-based); called only while the feeder exists.
	std::function<std::string(int32)> trackName;
};

// Expected durations of the phases at single speed, in microseconds.
constexpr bigtime_t kLeadinDuration = 170000000;
constexpr bigtime_t kLeadoutDuration = 92000000;
constexpr bigtime_t kFixationDuration = 246000000;
// How long a phase may overrun its expected time before the estimate grows.
constexpr bigtime_t kEstimateSlack = 15000000;

// The display thread's memory between rounds: the state and track it showed
// last and the start and expected length of lead-in, lead-out and fixation.
// Used by one thread.
class CRecordDisplayUpdater {
public:
	// Sets the button to "Cancel" (the window's default, with its tool tip),
	// as the display thread does when it starts.
	static void Begin(CD_RECORD_DISPLAY* display);
	// Sets the button back to "Close", as the display thread does when it
	// ends.
	static void End(CD_RECORD_DISPLAY* display);

	// One round at time `now`: the texts of a new run state, then the bars
	// of the current one. True when `display` changed.
	bool Round(const RECORD_RUN_SNAPSHOT& run, bigtime_t now, CD_RECORD_DISPLAY* display);

	// The expected length of the phase now shown (lead-in, lead-out or
	// fixation), in microseconds; 0 before any.
	bigtime_t Expected() const { return fExpected; }

private:
	void _EnterState(const RECORD_RUN_SNAPSHOT& run, bigtime_t now, CD_RECORD_DISPLAY* display);
	void _StartPhase(bigtime_t duration, const RECORD_RUN_SNAPSHOT& run, bigtime_t now);
	static std::string _TrackLine(const RECORD_RUN_SNAPSHOT& run);

	int32 fLastState = -1;
	int32 fLastTrack = -1;
	bigtime_t fPhaseStart = 0;
	bigtime_t fExpected = 0;
};

// "%.1f%%" of a percentage.
std::string FormatPercent(float percent);
// "Position: %02d:%02d.%02d" of a sector count (75 sectors a second).
std::string FormatPosition(int32 sectors);

// Priorities of the recording threads.
constexpr int32 kReadThreadPriority = 10;
constexpr int32 kWriteThreadPriority = 10;
constexpr int32 kDisplayThreadPriority = 15;
constexpr int32 kPriorityThreadPriority = 120;

// What one round of the priority manager does.
struct PRIORITY_STEP {
	int32 readPriority = -1;    // -1 = unchanged
	int32 writePriority = -1;   // -1 = unchanged
	bool trouble = false;       // entered the last row: wait 0.2 s and print the "Trouble!" line
	bigtime_t extraWait = 0;    // waited on top of the round's 70 ms
};

constexpr const char* kPriorityTroubleLine =
	"cd-recording priority manager: Trouble! Switching to realtime priority! Buffer fill level is less than 50 %\n";

// The priority manager's table: above 80 % 12/95, 71..80 % 18, 51..70 % 80,
// 50 % or less 112/120. Starts in the first row without changing anything.
// Used by one thread.
class CRecordPriorityManager {
public:
	PRIORITY_STEP Round(float fillPercent);
	int32 Row() const { return fRow; }
	static int32 RowOfLevel(int32 fillLevel);

private:
	int32 fRow = 0;
};
