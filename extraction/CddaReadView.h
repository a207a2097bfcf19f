// The extraction engine of one drive: a queue of tracks to read into sound
// files, worked off by the job worker thread ("cd_reading_jobworker") that
// reads the disc, and per track a file writer thread
// ("cd_reading_filewriter") that encodes what was read. Qt-free: the engine
// keeps what its window shows in a CddaReadDisplay and tells the window about
// changes by posting messages to a BMessenger target; the window (or a
// command-line front end, or a test's message sink) hands the messages that
// are addressed to the view back to MessageReceived.
#pragma once

#include "extraction/DiscIds.h"
#include "extraction/ExtractionSettings.h"
#include "extraction/OutputFile.h"
#include "kit/app/Messenger.h"
#include "kit/kernel/OS.h"
#include "kit/support/Locker.h"
#include "kit/support/SupportDefs.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class BMessage;
class BMessageRunner;
class CAudioBlockReader;
class CDevice;
class CRingBuffer;
class CTrackChecksums;

// Messages to the view.
enum : uint32 {
	CDDA_READ_COPY_TRACKS = 514,          // "dir" (string path or entry ref), "track" int32 (several),
	                                      // "artist", "title" strings (same index)
	CDDA_READ_UPDATE_STATUS = 'cpUS',     // the status runner: refresh speeds, times, bars
	CDDA_READ_STATUS_TEXT = 'stST',       // "text": the status line
	CDDA_READ_CLOSE_BUTTON = 69,          // "Abort" / "Close"
};
// Messages from the view to its target.
enum : uint32 {
	CDDA_READ_DISPLAY_CHANGED = 'crdC',   // Display() changed
	CDDA_READ_CLOSE_WINDOW = 'crdQ',      // the close button while idle: close the window
	CDDA_READ_BATCH_DONE = 'crdE',        // the queue ran empty (the end display is shown)
};

inline constexpr const char* kCddaReadWindowTitlePrefix = "Reading audio data - ";

// One progress bar: label left above it, text right above it, trailing text
// below it, value 0..100.
struct CddaReadBar {
	std::string label;
	std::string text;
	std::string trailing;
	int32 value = 0;
};

// Everything the window shows.
struct CddaReadDisplay {
	std::string cdBox = "CD";
	std::string trackBox = "Track";
	std::string statusBox = "Status";
	std::string statusText;
	std::string timeLabel = "Time:";
	std::string time;
	std::string remainingLabel = "Time Remaining:";
	std::string remaining;
	CddaReadBar current {"Current Track: ", "0 %", "Current Speed: 0.0 \xC3\x97", 0};
	CddaReadBar all {"All Tracks: ", "0 %", "Overall Speed: 0.0 \xC3\x97", 0};
	CddaReadBar third {"Buffer Used: ", "0 %", "", 0};   // "Spinning Up: " during the spin-up
	std::string button = "Close";
	bool buttonIsDefault = false;
};

// The outcome of one requested track.
struct CddaTrackResult {
	int32 track = 0;
	std::string artist;
	std::string title;
	std::string finalPath;       // "" unless the file was finished
	int64 frames = 0;            // frames encoded
	int64 framesRead = 0;        // frames read (before silence was removed)
	uint32 crc32 = 0;
	uint32 accurateRipV1 = 0;
	uint32 accurateRipV2 = 0;
	int32 rereads = 0;           // block reads beyond the first of each block
	int32 correctedBlocks = 0;   // blocks placed by read synchronisation
	bool secure = false;
	bool proven = false;         // secure: every block read the same twice
	std::string outcome;         // "OK", "Read error", "Aborted", "Write error", "Disc removed", ...
	bool Succeeded() const { return outcome == "OK"; }
};

// Overrides of the settings, for the command line: the engine otherwise
// reads "cdda read setup" and the drive's record for every job.
struct CddaReadOptions {
	bool overrideDeviceSettings = false;   // use deviceSettings instead of the drive's record
	DeviceReadSettings deviceSettings;
	bool overrideFormat = false;
	std::string formatShortName;
	std::string codecShortName;
	bool overrideReadOffset = false;
	int32 readOffset = 0;
	bool overrideSync = false;
	int32 syncMode = READ_SYNC_OFF;
	int32 syncSectors = 3;
	bool secure = false;              // read every block twice and compare
	std::string temporaryFolder;      // "": the project root folder, else the destination
	bool writeLog = true;             // the rip log next to the files at the end of a batch
	bool readEndiannessFromDriver = true;
	bool bigEndianDrive = false;      // when not read from the driver
};

class CCddaReadView {
public:
	// `device` is not owned and must outlive the view. Starts the job
	// worker; the target may be set later. Window thread.
	explicit CCddaReadView(CDevice* device, const BMessenger& target = BMessenger());
	// Stops the worker (the current job ends after its block and is
	// discarded), then frees the queue.
	~CCddaReadView();
	CCddaReadView(const CCddaReadView&) = delete;
	CCddaReadView& operator=(const CCddaReadView&) = delete;

	static std::string WindowTitle(const CDevice* device);

	void SetTarget(const BMessenger& target);
	// Before the first job.
	void SetOptions(const CddaReadOptions& options);
	// Where the engine's diagnostics lines go (standard output by default;
	// null: nowhere).
	void SetDiagnostics(FILE* stream);

	// The messages above addressed to the view; false for any other. The
	// window's thread.
	bool MessageReceived(BMessage* message);

	// Queues one track for `folder` (a path). False when the job was dropped
	// (no encoder, no such track). Any thread.
	bool AddJob(const std::string& folder, int32 track, const std::string& artist, const std::string& title);

	// The window is closing: true when it may. While busy asks "CD reading
	// not finished!\n\nAbort?" ("Abort", "Continue"); "Abort" stops the
	// batch and waits in 50 ms steps (calling `whileWaiting`) until the
	// worker is idle. Window thread.
	bool QuitRequested(const std::function<void()>& whileWaiting = {});

	// Stops the batch: the current block is finished, the current file and
	// every queued job are dropped. Any thread.
	void Abort();

	void ResetStatistics();
	// Posts the text for the status line. Any thread.
	void SetStatusText(const char* text);
	// Recomputes speeds, times and bars (on CDDA_READ_UPDATE_STATUS).
	void CopyUpdateStatus();

	// A copy of what the window shows. Any thread.
	CddaReadDisplay Display() const;
	bool IsBusy() const { return fBusy.load(); }
	// Idle with nothing queued. Any thread.
	bool IsIdle() const;
	// Waits until the worker is idle with an empty queue; false on time-out.
	bool WaitUntilIdle(bigtime_t timeout) const;
	// Results of the jobs since construction, oldest first. Any thread.
	std::vector<CddaTrackResult> Results() const;
	// Spin-ups since construction.
	int32 SpinUps() const { return fSpinUps.load(); }
	// The path of the last rip log written ("" when none).
	std::string LastLogPath() const;
	// Progress for a one-line display: sectors read and total of the batch,
	// buffer percent, the current track's number, re-reads so far.
	struct Progress {
		int32 sectorsRead = 0;
		int32 sectorsTotal = 0;
		int32 sectorsDone = 0;
		int32 trackSectors = 0;
		int32 track = 0;
		int32 bufferPercent = 0;
		int32 rereads = 0;
		double speed = 0;
	};
	Progress CurrentProgress() const;

	thread_id WorkerThread() const { return fWorker; }

private:
	struct CJob;

	static status_t _WorkerEntry(void* data);
	static status_t _FileWriterEntry(void* data);
	void _Work();
	void _ExecuteSpinup(CJob* job);
	void _ProcessJob(CJob* job);
	status_t _StartFileWriter(CJob* job);
	void _StopFileWriter(CJob* job);
	void _FileWriter(CJob* job);
	status_t _ReadBlock(CJob* job, int32 lba, int32 count, uint8* buffer, int32* rereads, bool* proven,
		status_t* failure);
	status_t _ReadSectors(int32 lba, int32 count, void* buffer);
	void _ShowSpinupDisplay();
	void _ShowCopyDisplay();
	void _ShowEndDisplay();
	void _UpdateSpinupBar(int32 done, int32 total);
	void _Changed();
	void _Print(const char* format, ...) __attribute__((format(printf, 2, 3)));
	void _WriteLog();
	DiscLayout _Layout();
	std::string _CdBoxLabel();

	CDevice* fDevice;
	BMessenger fTarget;
	CddaReadOptions fOptions;
	FILE* fDiagnostics = stdout;

	mutable BLocker fJobsLock {"cd_reading_jobs_locker"};
	std::deque<std::unique_ptr<CJob>> fJobs;   // guarded by fJobsLock
	CJob* fCurrentJob = nullptr;               // guarded by fJobsLock
	sem_id fJobSemaphore = -1;
	thread_id fWorker = -1;
	thread_id fFileWriterThreadId = -1;
	std::atomic<bool> fQuit {false};
	std::atomic<bool> fError {false};
	std::atomic<bool> fCancel {false};
	std::atomic<bool> fBusy {false};
	std::atomic<int32> fSectorsDone {0};
	std::atomic<int32> fSectorsRead {0};
	std::atomic<int32> fSectorsTotal {0};
	std::atomic<int32> fJobsTotal {0};
	std::atomic<int32> fJobsDone {0};
	std::atomic<int32> fSpinUps {0};
	std::atomic<int32> fRereads {0};
	std::atomic<bigtime_t> fJobStartTime {0};
	std::atomic<bigtime_t> fResetTime {0};
	std::atomic<int64> fLastShownTime {-1};
	std::atomic<int64> fLastShownRemaining {-1};
	std::atomic<int32> fLastCurrentPercent {-1};
	std::atomic<int32> fLastAllPercent {-1};

	mutable std::mutex fDisplayLock;
	CddaReadDisplay fDisplay;                  // guarded by fDisplayLock
	std::vector<CddaTrackResult> fResults;     // guarded by fDisplayLock
	std::vector<CddaTrackResult> fBatchResults;  // the batch's, for its log; guarded by fDisplayLock
	std::string fBatchFolder;                  // guarded by fDisplayLock
	std::string fLastLogPath;                  // guarded by fDisplayLock
	mutable std::mutex fIdleLock;
	mutable std::condition_variable fIdle;

	std::unique_ptr<CAudioBlockReader> fReader;   // the worker's
	int32 fReaderOffset = 0;
	int32 fReaderSyncMode = -1;
	int32 fReaderSyncSectors = -1;
	int32 fReaderBlock = -1;
};

// Starts a rip of `tracks` of the disc in `device` into `folder` on a view
// of the caller's (tests and the command line use it): one AddJob per track
// with the names of the table of contents.
int32 AddDiscTracks(CCddaReadView* view, CDevice* device, const std::string& folder, const std::vector<int32>& tracks);
