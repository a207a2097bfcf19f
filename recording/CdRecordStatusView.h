// CCdRecordStatusView: the recording engine behind the recording status
// window. It takes one CRecordAction at a time and runs it on threads of its
// own:
//
//   "cd-recording cd writer"       (10) drives the recorder through the
//                                       driver record's command slots and owns
//                                       every resource of the run;
//   "cd-recording file reader"     (10) decodes the project's files through the
//                                       disc feeder into the sector ring buffer;
//   "cd-recording display updater" (15) keeps the display record up to date;
//   "cd-recording priority manager" (120) moves the reading and writing
//                                       threads' priorities with the buffer level.
//
// The view is free of any toolkit. It keeps what the window shows in a
// display record (CD_RECORD_DISPLAY) and posts M_RECORD_DISPLAY_CHANGED to
// its target when the record changed; the window (or the command line, or a
// test's message sink) then reads it with Display(). The write thread posts
// M_RECORD_WRITE_THREAD_ENDED to the target when it ends; whoever receives it
// hands it to MessageReceived, which waits for the thread and clears busy.
#pragma once

#include "recording/RecordAction.h"
#include "recording/RecordDisplay.h"

#include "devices/ScsiMisc.h"
#include "kit/app/Messenger.h"
#include "kit/support/SupportDefs.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class BMessage;
class CDaoFeeder;
class CDevice;
class CDriver;
class CRecordClock;
class CSectorRingBuffer;

// Messages of the view.
enum : uint32 {
	M_RECORD_START = 29847,                  // pointer "recordaction": a CRecordAction to run
	M_RECORD_WRITE_THREAD_ENDED = 30801,     // posted by the write thread as its last act
	M_RECORD_PROJECT_TEXT = 30802,           // string "text": the project line
	M_RECORD_STATUS_TEXT = 30803,            // string "text": the status line
	M_RECORD_DISPLAY_CHANGED = 'CRdc',       // the display record changed
};

// Running write threads of the whole process; changed only with atomic_add.
extern int32 g_CdRecordingActive;

// Thread names of a run.
constexpr const char* kReadThreadName = "cd-recording file reader";
constexpr const char* kWriteThreadName = "cd-recording cd writer";
constexpr const char* kDisplayThreadName = "cd-recording display updater";
constexpr const char* kPriorityThreadName = "cd-recording priority manager";

class CCdRecordStatusView {
public:
	// `target` receives the view's messages (may be set later with
	// SetTarget); `clock` (not owned, null: real time) times every wait.
	explicit CCdRecordStatusView(const BMessenger& target = BMessenger(), CRecordClock* clock = nullptr);
	// Waits for a run still going (its threads end the run on their own),
	// then deletes the kept action, which gives its project back.
	~CCdRecordStatusView();
	CCdRecordStatusView(const CCdRecordStatusView&) = delete;
	CCdRecordStatusView& operator=(const CCdRecordStatusView&) = delete;

	// Before a run. Any thread.
	void SetTarget(const BMessenger& target);

	// The owner's thread (the window's): M_RECORD_START starts a run,
	// M_RECORD_WRITE_THREAD_ENDED ends it, M_RECORD_PROJECT_TEXT and
	// M_RECORD_STATUS_TEXT set the lines. Other messages are ignored.
	void MessageReceived(BMessage* message);

	// Takes `action` over. While busy the diagnostics alert "Cannot start
	// another recording, the recorder is busy" is shown and the action
	// deleted; else the previous action is deleted, this one kept, and the
	// write thread started. The owner's thread.
	void StartRecording(CRecordAction* action);
	// A write thread runs (set by StartRecording, cleared on
	// M_RECORD_WRITE_THREAD_ENDED). Any thread.
	bool IsBusy() const { return fBusy.load(); }
	// Shows the diagnostics alert that cancelling is not implemented; false.
	bool CancelWrite();
	// True when idle. While busy: the "not implemented" alert, false.
	bool QuitRequested();

	// Asks the run to stop (the command line's interrupt): no further data
	// is sent and the run ends through the failure end with "Writing
	// failed! (stopped by the user)" (or "Simulation failed! (...)"). Holds
	// for the run started last (a request right after StartRecording is not
	// lost). Any thread.
	void RequestStop() { fStopRequested.store(true); }

	// Post M_RECORD_STATUS_TEXT / M_RECORD_PROJECT_TEXT to the target and set
	// the line at once. Any thread.
	void SetStatusTextAsync(const char* text);
	void SetProjectTextAsync(const char* text);

	// A copy of the display record; the next change is posted again. Any
	// thread.
	CD_RECORD_DISPLAY Display() const;

	// The run as the other threads read it. Any thread.
	int32 RunState() const { return fRunState.load(); }
	bool SimulationPass() const { return fSimulationPass.load(); }
	int32 CurrentTrack() const { return fCurrentTrack.load(); }
	int32 CurrentTrackNumber() const { return fCurrentTrackNumber.load(); }
	int32 CountTracksOfDisc() const { return fCountTracksOfDisc.load(); }
	int32 CountSectorsOfDisc() const { return fCountSectorsOfDisc.load(); }
	int32 CurrentSectorOfDisc() const { return fCurrentSectorOfDisc.load(); }
	int32 CurrentSectorOfTrack() const { return fCurrentSectorOfTrack.load(); }
	int32 CountSectorsOfCurrentTrack() const { return fCountSectorsOfCurrentTrack.load(); }
	float WriteSpeedFactor() const { return fWriteSpeedFactor.load(); }
	float RecorderBufferFill() const { return fRecorderBufferFill.load(); }
	// The ring buffer's fill level, -1 while there is none.
	float BufferFill() const;
	// The lead-in budget of the current pass, in microseconds.
	bigtime_t LeadinBudget() const { return fLeadinBudget.load(); }
	// The message the last run failed with ("" after a success).
	std::string FailureMessage() const;
	// The last run wrote (or simulated) the whole disc.
	bool Succeeded() const { return fSucceeded.load(); }
	// The last run asked for verification, and every track of the disc read
	// back equal to its source. Any thread, after the run ended.
	bool Verified() const { return fVerified.load(); }

	// How the read thread takes the next bytes of the disc: by default
	// CDaoFeeder::Read. Tests put faults between the feeder and the buffer.
	// Set while idle.
	using FeederReadFunction = std::function<status_t(CDaoFeeder* feeder, void* buffer, int bytes, int* bytesRead,
		bool littleEndian)>;
	void SetFeederReadFunction(FeederReadFunction function) { fFeederRead = std::move(function); }

	// Thread ids (-1 = none). Any thread.
	thread_id WriteThread() const { return fWriteThread.load(); }
	thread_id ReadThread() const { return fReadThread.load(); }
	thread_id DisplayThread() const { return fDisplayThread.load(); }
	thread_id PriorityThread() const { return fPriorityThread.load(); }

	// Thread control (the write thread's, and the destructor's).
	void StartReadThread();
	void WaitForReadThreadEnd();
	void KillReadThread();
	void StartDisplayThread();
	void WaitForDisplayThreadEnd();
	void KillDisplayThread();
	void StartPriorityThread();
	void StopPriorityThread();
	void StartWriteThread();
	void WaitForWriteThreadEnd();

	// Asks the recorder for its buffer level: recorder buffer fill :=
	// 100 * (size - free) / size, or -1 when it cannot tell. Write thread.
	void UpdateRecorderBuffer();

	// The text of a failed drive command: `prefix`, the SCSI status byte's
	// text, two blanks, the sense text and ")".
	static std::string ScsiErrorText(const char* prefix, const SCSI_STATUS& status);

private:
	enum EPassResult { kPassFailed, kPassDone, kPassResetSpeedFailed };

	static status_t _ReadThreadEntry(void* data);
	static status_t _WriteThreadEntry(void* data);
	static status_t _DisplayThreadEntry(void* data);
	static status_t _PriorityThreadEntry(void* data);
	void _ReadThread();
	void _WriteThread();
	void _DisplayThread();
	void _PriorityThread();

	// After a successful write asked to verify, with the written disc still
	// in: reads every track back (loading the medium again once when its
	// tracks do not match), puts the outcome into the display record and
	// ejects the medium.
	void _Verify();
	bool _Prepare();
	EPassResult _RunPass();
	bool _WaitForUnit();
	bool _FillBuffer();
	bool _WriteTrack();
	bool _Transfer(int32 sectors, bool send);
	bool _Round(int32 sectors, bool wholeCluster, bool send);
	bool _Fail(const std::string& message);
	EPassResult _FailPass(const std::string& message);
	bool _FileReadingError();
	bool _Stopped();
	const char* _WriteFailurePrefix() const;
	void _FailureEnd();
	void _CommonEnd();

	void _SetOwnPriority(int32 priority);
	RECORD_RUN_SNAPSHOT _Snapshot() const;
	// Changes the display record under its lock and posts a change notice.
	template <typename Change>
	void _ChangeDisplay(Change change);
	void _NotifyDisplay();
	void _PostToTarget(BMessage* message);

	CRecordClock* fClock;
	FeederReadFunction fFeederRead;

	mutable std::mutex fTargetLock;
	BMessenger fTarget;

	mutable std::mutex fDisplayLock;
	CD_RECORD_DISPLAY fDisplay;
	mutable std::atomic<bool> fDisplayNoticePending {false};

	// The current or last run; written by the owner's thread.
	std::unique_ptr<CRecordAction> fAction;
	std::atomic<bool> fBusy {false};

	// Run parameters, set by the write thread during the preparation.
	CDevice* fDevice = nullptr;
	CDriver* fDriver = nullptr;
	int32 fFlags = 0;
	bool fBurnProof = false;
	bool fTaoRecording = false;
	bool fFixate = false;
	bool fRawRecording = false;
	bool fUpdatesDisabled = false;
	bool fRecordingCounted = false;
	std::unique_ptr<uint8[]> fCueSheet;
	int32 fCueSheetSize = 0;
	std::vector<uint8> fCdTextPacks;   // written into the lead-in when not empty
	std::string fProjectName;

	// Run resources, owned by the write thread; the other threads only read
	// them while the write thread keeps them.
	std::atomic<CDaoFeeder*> fFeeder {nullptr};
	std::atomic<CSectorRingBuffer*> fRingBuffer {nullptr};

	// Run state, each written by one thread.
	std::atomic<int32> fCountTracksOfDisc {0};
	std::atomic<int32> fCountSectorsOfDisc {0};
	std::atomic<int32> fCountSectorsOfCurrentTrack {0};
	std::atomic<int32> fCurrentSectorOfDisc {0};
	std::atomic<int32> fCurrentSectorOfTrack {0};
	std::atomic<int32> fCurrentTrack {1};
	std::atomic<int32> fCurrentTrackNumber {1};
	std::atomic<int32> fRunState {STATUS_INIT};
	std::atomic<float> fRecorderBufferFill {-1};
	std::atomic<float> fWriteSpeedFactor {-1};
	std::atomic<bigtime_t> fLeadinBudget {0};
	std::atomic<bool> fReadAbort {false};
	std::atomic<bool> fPriorityStop {false};
	std::atomic<bool> fReadError {false};
	std::atomic<bool> fSimulationPass {false};
	std::atomic<bool> fStopRequested {false};
	std::atomic<bool> fSucceeded {false};
	std::atomic<bool> fVerified {false};

	// Write thread locals of a pass.
	int32 fRestOfBufferSectors = 0;
	int32 fSectorsToWrite = 0;
	int32 fCurrentLba = 0;
	bool fLongWriteSeen = false;

	mutable std::mutex fFailureLock;
	std::string fFailureMessage;

	std::atomic<thread_id> fReadThread {-1};
	std::atomic<thread_id> fWriteThread {-1};
	std::atomic<thread_id> fDisplayThread {-1};
	std::atomic<thread_id> fPriorityThread {-1};
};
