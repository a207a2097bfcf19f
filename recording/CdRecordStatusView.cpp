#include "recording/CdRecordStatusView.h"

#include "recording/CdTextWriter.h"
#include "recording/DaoFeeder.h"
#include "recording/DiscVerifier.h"
#include "recording/RecordClock.h"
#include "recording/SectorRingBuffer.h"

#include "devices/Device.h"
#include "driver/driverbaseclass.h"
#include "frame/Diagnostics.h"
#include "frame/Preference.h"
#include "kit/interface/Alert.h"
#include "kit/kernel/OS.h"
#include "kit/support/Message.h"
#include "projects/Project.h"

#include <cstdio>
#include <cstring>

int32 g_CdRecordingActive = 0;

namespace {

constexpr int32 kSectorSize = 2352;
constexpr int32 kInitialLba = -12345678;

std::string Format(const char* format, auto... arguments)
{
	char text[1024];
	snprintf(text, sizeof(text), format, arguments...);
	return text;
}

std::string ErrorCodeText(const char* prefix, status_t code)
{
	return std::string(prefix) + std::to_string(code) + ", " + strerror(code) + ")";
}

bool IsLongWriteInProgress(const SCSI_STATUS& status)
{
	return status.sense.SenseKey == 2 && status.sense.AdditionalSenseCode == 0x04
		&& status.sense.AdditionalSenseCodeQualifier == 0x08;
}

constexpr const char* kBurnProofAppendix =
	"\n\nYour recorder may not support the BURN-Proof feature. Please try again but don't enable BURN-Proof.\n";
constexpr const char* kDaoAppendix =
	"\n\nYour recorder may not support the Disk-At-Once (DAO) recording mode. Please try again using "
	"Track-At-Once mode. It is also possible that your recorder does support DAO, but failes when the data does "
	"not fit on the disk\n";
constexpr const char* kNotImplemented = "CCdRecordStatusView::CancelWrite()\n\nThis feature is not implemented";

}   // namespace

// --- Construction and messages ---------------------------------------------

CCdRecordStatusView::CCdRecordStatusView(const BMessenger& target, CRecordClock* clock)
	:
	fClock(clock != nullptr ? clock : DefaultRecordClock()),
	fTarget(target)
{
}

CCdRecordStatusView::~CCdRecordStatusView()
{
	// A run still going ends on its own; its last message finds no owner.
	WaitForWriteThreadEnd();
	fAction.reset();
}

void CCdRecordStatusView::SetTarget(const BMessenger& target)
{
	std::lock_guard<std::mutex> lock(fTargetLock);
	fTarget = target;
}

void CCdRecordStatusView::_PostToTarget(BMessage* message)
{
	BMessenger target;
	{
		std::lock_guard<std::mutex> lock(fTargetLock);
		target = fTarget;
	}
	if (target.IsValid())
		target.SendMessage(message, nullptr, 1000000);
}

void CCdRecordStatusView::MessageReceived(BMessage* message)
{
	switch (message->what) {
		case M_RECORD_START: {
			void* pointer = nullptr;
			if (message->FindPointer("recordaction", &pointer) == B_OK && pointer != nullptr)
				StartRecording(static_cast<CRecordAction*>(pointer));
			break;
		}
		case M_RECORD_WRITE_THREAD_ENDED:
			WaitForWriteThreadEnd();
			break;
		case M_RECORD_PROJECT_TEXT:
		case M_RECORD_STATUS_TEXT: {
			const char* text = nullptr;
			if (message->FindString("text", &text) != B_OK || text == nullptr)
				break;
			std::string line = text;
			bool status = message->what == M_RECORD_STATUS_TEXT;
			_ChangeDisplay([&](CD_RECORD_DISPLAY* display) { (status ? display->status : display->project) = line; });
			break;
		}
		default:
			break;
	}
}

void CCdRecordStatusView::StartRecording(CRecordAction* action)
{
	std::unique_ptr<CRecordAction> owned(action);
	if (fBusy.load()) {
		DebugAlert("Cannot start another recording, the recorder is busy");
		return;
	}
	if (owned == nullptr || owned->pDevice == nullptr || owned->pDevice->GetDriver() == nullptr
		|| owned->pProject == nullptr) {
		DebugAssert("CdRecordStatusView", __LINE__, "action != 0 && device != 0 && project != 0");
		return;
	}
	fBusy.store(true);
	fStopRequested.store(false);
	fAction = std::move(owned);
	StartWriteThread();
}

bool CCdRecordStatusView::CancelWrite()
{
	DebugAlert(kNotImplemented);
	return false;
}

bool CCdRecordStatusView::QuitRequested()
{
	if (!fBusy.load())
		return true;
	DebugAlert(kNotImplemented);
	return false;
}

// --- Display record ---------------------------------------------------------

template <typename Change>
void CCdRecordStatusView::_ChangeDisplay(Change change)
{
	{
		std::lock_guard<std::mutex> lock(fDisplayLock);
		change(&fDisplay);
	}
	_NotifyDisplay();
}

void CCdRecordStatusView::_NotifyDisplay()
{
	// One notice at a time: the receiver reads the whole record anyway.
	if (fDisplayNoticePending.exchange(true))
		return;
	BMessage notice(M_RECORD_DISPLAY_CHANGED);
	_PostToTarget(&notice);
}

CD_RECORD_DISPLAY CCdRecordStatusView::Display() const
{
	fDisplayNoticePending.store(false);
	std::lock_guard<std::mutex> lock(fDisplayLock);
	return fDisplay;
}

void CCdRecordStatusView::SetStatusTextAsync(const char* text)
{
	BMessage message(M_RECORD_STATUS_TEXT);
	message.AddString("text", text);
	std::string line = text != nullptr ? text : "";
	{
		std::lock_guard<std::mutex> lock(fDisplayLock);
		fDisplay.status = line;
	}
	_PostToTarget(&message);
	_NotifyDisplay();
}

void CCdRecordStatusView::SetProjectTextAsync(const char* text)
{
	BMessage message(M_RECORD_PROJECT_TEXT);
	message.AddString("text", text);
	std::string line = text != nullptr ? text : "";
	{
		std::lock_guard<std::mutex> lock(fDisplayLock);
		fDisplay.project = line;
	}
	_PostToTarget(&message);
	_NotifyDisplay();
}

float CCdRecordStatusView::BufferFill() const
{
	CSectorRingBuffer* buffer = fRingBuffer.load();
	if (buffer == nullptr)
		return -1;
	float fill = 0;
	buffer->GetStatus(&fill, nullptr);
	return fill;
}

std::string CCdRecordStatusView::FailureMessage() const
{
	std::lock_guard<std::mutex> lock(fFailureLock);
	return fFailureMessage;
}

std::string CCdRecordStatusView::ScsiErrorText(const char* prefix, const SCSI_STATUS& status)
{
	return std::string(prefix) + GetScsiStatusByteDescription(status.scsi_status) + "  "
		+ GetScsiSenseMessage(status.sense.SenseKey, status.sense.AdditionalSenseCode,
			status.sense.AdditionalSenseCodeQualifier, false)
		+ ")";
}

// --- Threads ----------------------------------------------------------------

status_t CCdRecordStatusView::_ReadThreadEntry(void* data)
{
	static_cast<CCdRecordStatusView*>(data)->_ReadThread();
	return B_OK;
}

status_t CCdRecordStatusView::_WriteThreadEntry(void* data)
{
	static_cast<CCdRecordStatusView*>(data)->_WriteThread();
	return B_OK;
}

status_t CCdRecordStatusView::_DisplayThreadEntry(void* data)
{
	static_cast<CCdRecordStatusView*>(data)->_DisplayThread();
	return B_OK;
}

status_t CCdRecordStatusView::_PriorityThreadEntry(void* data)
{
	static_cast<CCdRecordStatusView*>(data)->_PriorityThread();
	return B_OK;
}

namespace {

void WaitAndForget(std::atomic<thread_id>* thread)
{
	thread_id id = thread->load();
	if (id < 0)
		return;
	status_t exitValue = B_OK;
	wait_for_thread(id, &exitValue);
	thread->store(-1);
}

}   // namespace

void CCdRecordStatusView::StartReadThread()
{
	fReadAbort.store(false);
	CDebugFunctionTracer::Trace("Spawning read thread\n");
	thread_id id = spawn_thread(_ReadThreadEntry, kReadThreadName, kReadThreadPriority, this);
	fReadThread.store(id);
	if (id >= 0)
		resume_thread(id);
}

void CCdRecordStatusView::WaitForReadThreadEnd()
{
	CDebugFunctionTracer::Trace("Waiting for read thread to die\n");
	WaitAndForget(&fReadThread);
}

void CCdRecordStatusView::KillReadThread()
{
	if (fReadThread.load() < 0)
		return;
	fReadAbort.store(true);
	WaitForReadThreadEnd();
}

void CCdRecordStatusView::StartDisplayThread()
{
	CDebugFunctionTracer::Trace("Spawning display thread\n");
	thread_id id = spawn_thread(_DisplayThreadEntry, kDisplayThreadName, kDisplayThreadPriority, this);
	fDisplayThread.store(id);
	if (id >= 0)
		resume_thread(id);
}

void CCdRecordStatusView::WaitForDisplayThreadEnd()
{
	CDebugFunctionTracer::Trace("Waiting for display thread to die\n");
	WaitAndForget(&fDisplayThread);
}

void CCdRecordStatusView::KillDisplayThread()
{
	if (fDisplayThread.load() < 0)
		return;
	fRunState.store(STATUS_QUIT);
	WaitForDisplayThreadEnd();
}

void CCdRecordStatusView::StartPriorityThread()
{
	fPriorityStop.store(false);
	CDebugFunctionTracer::Trace("Spawning priority thread\n");
	thread_id id = spawn_thread(_PriorityThreadEntry, kPriorityThreadName, kPriorityThreadPriority, this);
	fPriorityThread.store(id);
	if (id >= 0)
		resume_thread(id);
}

void CCdRecordStatusView::StopPriorityThread()
{
	fPriorityStop.store(true);
	CDebugFunctionTracer::Trace("Waiting for priority thread to die\n");
	WaitAndForget(&fPriorityThread);
}

void CCdRecordStatusView::StartWriteThread()
{
	CDebugFunctionTracer::Trace("Spawning CD Write Thread\n");
	thread_id id = spawn_thread(_WriteThreadEntry, kWriteThreadName, kWriteThreadPriority, this);
	fWriteThread.store(id);
	CDebugFunctionTracer::Trace("Resuming CD Write Thread...");
	if (id >= 0)
		resume_thread(id);
	CDebugFunctionTracer::Trace("done\n");
}

void CCdRecordStatusView::WaitForWriteThreadEnd()
{
	CDebugFunctionTracer::Trace("Waiting for write thread to die\n");
	WaitAndForget(&fWriteThread);
	fBusy.store(false);
}

void CCdRecordStatusView::_SetOwnPriority(int32 priority)
{
	set_thread_priority(find_thread(nullptr), priority);
}

void CCdRecordStatusView::UpdateRecorderBuffer()
{
	int32 size = 0;
	int32 freeBytes = 0;
	if (fDriver != nullptr && fDriver->ReadBufferCapacity(fDevice, &size, &freeBytes, nullptr) && size > 0)
		fRecorderBufferFill.store(100.0f * float(size - freeBytes) / float(size));
	else
		fRecorderBufferFill.store(-1);
}

// --- Read thread ------------------------------------------------------------

void CCdRecordStatusView::_ReadThread()
{
	CDebugFunctionTracer::Trace("ReadThread started\n");
	CSectorRingBuffer* buffer = fRingBuffer.load();
	CDaoFeeder* feeder = fFeeder.load();
	bool littleEndian = fDevice->IsLittleEndian();
	buffer->WriteInit();

	std::string failedFile;
	status_t failure = B_OK;
	while (!fReadAbort.load()) {
		uint8* data = nullptr;
		bool timedOut = false;
		buffer->WriteElementBegin(&data, 1000000, &timedOut);
		if (timedOut) {
			// The buffer stays full while the recorder writes the lead-in:
			// keep the current file's disk awake.
			if (fRunState.load() == STATUS_LEADIN) {
				status_t status = feeder->DummyRead();
				if (status != B_OK)
					printf("DummyReading returned error code 0x%8X (%s)\n", unsigned(status), strerror(status));
			}
			continue;
		}
		if (fReadAbort.load()) {
			buffer->WriteElementEnd(0);
			break;
		}
		int32 bytes = 0;
		status_t status = fFeederRead ? fFeederRead(feeder, data, buffer->ElementSize(), &bytes, littleEndian)
									  : feeder->Read(data, buffer->ElementSize(), &bytes, littleEndian);
		if (status < B_OK) {
			failure = status;
			failedFile = feeder->TrackFile(feeder->CurrentTrack());
			fReadError.store(true);
			fReadAbort.store(true);
			// The partial element is dropped: the writer stops at the error.
			buffer->WriteElementEnd(0);
			break;
		}
		buffer->WriteElementEnd(bytes);
		if (bytes == 0)
			break;
	}
	// The end marker first, so the writer never waits for the alert below.
	buffer->WriteExit();

	if (failure != B_OK) {
		std::string text = Format(
			"G A M E   O V E R\n\nFile reading returned error\ncode 0x%8X (%s)\n\nFile: \"%s\"\n\nPossible "
			"reasons:\n\n*Medium access problem\n*Physical medium error\n*Corrupted media file\n*Media Kit codec "
			"failure\n*Tuneshelf problem (see TUNESHELF.TXT)\n\n\n\n",
			unsigned(failure), strerror(failure), failedFile.c_str());
		BAlert alert("read error", text.c_str(), "Abort", nullptr, nullptr, B_WIDTH_AS_USUAL, B_STOP_ALERT);
		alert.Go();
	}
	CDebugFunctionTracer::Trace("ReadThread ended\n");
}

// --- Display and priority threads -------------------------------------------

RECORD_RUN_SNAPSHOT CCdRecordStatusView::_Snapshot() const
{
	RECORD_RUN_SNAPSHOT run;
	run.runState = fRunState.load();
	run.simulation = fSimulationPass.load();
	run.currentTrack = fCurrentTrack.load();
	run.countTracksOfDisc = fCountTracksOfDisc.load();
	run.currentSectorOfTrack = fCurrentSectorOfTrack.load();
	run.countSectorsOfCurrentTrack = fCountSectorsOfCurrentTrack.load();
	run.currentSectorOfDisc = fCurrentSectorOfDisc.load();
	run.countSectorsOfDisc = fCountSectorsOfDisc.load();
	run.writeSpeedFactor = fWriteSpeedFactor.load();
	run.recorderBufferFill = fRecorderBufferFill.load();
	CSectorRingBuffer* buffer = fRingBuffer.load();
	run.hasRingBuffer = buffer != nullptr;
	if (buffer != nullptr)
		buffer->GetStatus(&run.ringBufferFill, nullptr);
	run.projectName = fProjectName;
	CDaoFeeder* feeder = fFeeder.load();
	if (feeder != nullptr) {
		run.trackName = [feeder](int32 track) {
			if (track < 1 || track > feeder->DiscTrackCount())
				return std::string();
			return std::string(feeder->TrackName(track));
		};
	}
	return run;
}

void CCdRecordStatusView::_DisplayThread()
{
	_ChangeDisplay([](CD_RECORD_DISPLAY* display) { CRecordDisplayUpdater::Begin(display); });
	CRecordDisplayUpdater updater;
	while (true) {
		// The snapshot is taken under the display lock: the write thread
		// changes the run state before it sets a status line, so a round
		// never applies a state older than the line it would overwrite
		// (a late "Writing leadout" over "Writing is finished.").
		bool changed = false;
		{
			std::lock_guard<std::mutex> lock(fDisplayLock);
			RECORD_RUN_SNAPSHOT run = _Snapshot();
			if (run.runState != STATUS_QUIT)
				changed = updater.Round(run, fClock->Now(), &fDisplay);
		}
		if (changed)
			_NotifyDisplay();
		fClock->Snooze(100000);
		if (fRunState.load() == STATUS_QUIT)
			break;
	}
	_ChangeDisplay([](CD_RECORD_DISPLAY* display) { CRecordDisplayUpdater::End(display); });
}

void CCdRecordStatusView::_PriorityThread()
{
	CRecordPriorityManager manager;
	CSectorRingBuffer* buffer = fRingBuffer.load();
	while (true) {
		// Once the reader has delivered everything the level only falls; that
		// is no reason for real-time priorities.
		if (fPriorityStop.load() || buffer->IsWriteFinished())
			break;
		float fill = 0;
		buffer->GetStatus(&fill, nullptr);
		PRIORITY_STEP step = manager.Round(fill);
		thread_id reader = fReadThread.load();
		if (step.readPriority >= 0 && reader >= 0)
			set_thread_priority(reader, step.readPriority);
		if (step.writePriority >= 0)
			set_thread_priority(fWriteThread.load(), step.writePriority);
		if (step.trouble) {
			fClock->Snooze(200000);
			fputs(kPriorityTroubleLine, stdout);
			fflush(stdout);
		}
		if (step.extraWait > 0)
			fClock->Snooze(step.extraWait);
		fClock->Snooze(70000);
	}
}

// --- Write thread -----------------------------------------------------------

bool CCdRecordStatusView::_Fail(const std::string& message)
{
	KillDisplayThread();
	{
		std::lock_guard<std::mutex> lock(fFailureLock);
		fFailureMessage = message;
	}
	SetStatusTextAsync(message.c_str());
	return false;
}

CCdRecordStatusView::EPassResult CCdRecordStatusView::_FailPass(const std::string& message)
{
	_Fail(message);
	return kPassFailed;
}

const char* CCdRecordStatusView::_WriteFailurePrefix() const
{
	return (fAction->nActionFlags & RECORD_ACTION_WRITE) != 0 ? "Writing failed! (" : "Simulation failed! (";
}

bool CCdRecordStatusView::_FileReadingError()
{
	return _Fail(std::string(_WriteFailurePrefix()) + "File reading error, reading stopped)");
}

bool CCdRecordStatusView::_Stopped()
{
	return _Fail(std::string(_WriteFailurePrefix()) + "stopped by the user)");
}

void CCdRecordStatusView::_WriteThread()
{
	fSucceeded.store(false);
	{
		std::lock_guard<std::mutex> lock(fFailureLock);
		fFailureMessage.clear();
	}

	bool succeeded = false;
	bool failed = !_Prepare();
	while (!failed && fFlags != 0) {
		EPassResult result = _RunPass();
		if (result == kPassFailed)
			failed = true;
		else if (result == kPassResetSpeedFailed)
			break;
		else if (fFlags == 0)
			succeeded = true;
	}
	if (failed)
		_FailureEnd();
	_ChangeDisplay([](CD_RECORD_DISPLAY* display) { display->verification.clear(); });
	fVerified.store(false);
	if (succeeded && fAction->bVerify && (fAction->nActionFlags & RECORD_ACTION_WRITE) != 0)
		_Verify();
	fSucceeded.store(succeeded);
	_CommonEnd();
}

void CCdRecordStatusView::_Verify()
{
	std::string finished = Display().status;
	SetStatusTextAsync("Verifying...");
	SCSI_STATUS status;
	memset(&status, 0, sizeof(status));
	fClock->WaitUnitReady(fDevice, 30000000, &status);
	std::vector<TRACK_VERIFICATION> results;
	status_t verified = VerifyRecordedDisc(fDevice, fAction->pProject, &results, &fStopRequested);
	if (verified == B_BAD_VALUE) {
		// Some recorders show the new table of contents only after the
		// medium was loaded again.
		fDriver->MediumEject(fDevice, nullptr);
		fDriver->MediumLoad(fDevice, nullptr);
		memset(&status, 0, sizeof(status));
		fClock->WaitUnitReady(fDevice, 30000000, &status);
		verified = VerifyRecordedDisc(fDevice, fAction->pProject, &results, &fStopRequested);
	}
	std::vector<std::string> lines;
	if (verified != B_OK) {
		lines.push_back(verified == B_BAD_VALUE ? "Verification: the disc's tracks differ from the project"
				: verified == B_CANCELED        ? "Verification stopped by the user"
												: ErrorCodeText("Verification not possible (", verified));
	}
	bool all = verified == B_OK;
	for (const TRACK_VERIFICATION& result : results) {
		std::string line = Format("Track %02d: ", int(result.track));
		if (result.verified)
			line += "verified";
		else if (!result.readError.empty())
			line += "reading failed, " + result.readError;
		else
			line += Format("differs from its source at sector %d", int(result.firstDifference));
		lines.push_back(line);
		all = all && result.verified;
	}
	fVerified.store(all);
	_ChangeDisplay([&](CD_RECORD_DISPLAY* display) { display->verification = lines; });
	SetStatusTextAsync("Ejecting medium");
	fDriver->MediumEject(fDevice, nullptr);
	SetStatusTextAsync(finished.c_str());
}

bool CCdRecordStatusView::_Prepare()
{
	CRecordAction& action = *fAction;
	SetStatusTextAsync("Initializing...");
	fRingBuffer.store(nullptr);
	fFeeder.store(nullptr);
	fRunState.store(STATUS_INIT);
	fSimulationPass.store(false);
	fCountTracksOfDisc.store(0);
	fCountSectorsOfDisc.store(0);
	fCountSectorsOfCurrentTrack.store(0);
	fCurrentSectorOfDisc.store(0);
	fCurrentSectorOfTrack.store(0);
	fCurrentTrack.store(1);
	fCurrentTrackNumber.store(1);
	fRecorderBufferFill.store(-1);
	fProjectName = action.pProject->Name();
	StartDisplayThread();
	atomic_add(&g_CdRecordingActive, 1);
	fRecordingCounted = true;

	fFlags = action.nActionFlags;
	fDevice = action.pDevice;
	fDriver = fDevice->GetDriver();
	fBurnProof = action.bBurnProof;
	fWriteSpeedFactor.store(-1);
	fReadError.store(false);
	fUpdatesDisabled = false;

	fTaoRecording = false;
	fFixate = false;
	fRawRecording = false;
	switch (action.nWriteMode) {
		case RECORD_MODE_TAO_FIXATE:
			fTaoRecording = true;
			fFixate = true;
			break;
		case RECORD_MODE_TAO_OPEN:
			fTaoRecording = true;
			break;
		case RECORD_MODE_DAO:
			if ((fDriver->Flags & F_DAO_WRITE) != 0)
				break;
			if ((fDriver->Flags & F_RAW_WRITE) != 0) {
				fRawRecording = true;
				break;
			}
			DebugAssert("CdRecordStatusView", __LINE__, "(flags & F_DAO_WRITE) || (flags & F_RAW_WRITE)");
			break;
		default:
			DebugAssert("CdRecordStatusView", __LINE__, "write mode 1, 2 or 4");
			break;
	}

	fDevice->DisableUpdates();
	fUpdatesDisabled = true;

	int32 sectors = 27;
	int32 clusters = 8;
	int32 elements = 14;
	if (CPreference* preference = fDevice->GetPreference()) {
		preference->FindInt32("write buffer sectors", &sectors);
		preference->FindInt32("write buffer clusters", &clusters);
		preference->FindInt32("write buffer elements", &elements);
	}
	SetStatusTextAsync("Allocating memory");
	auto* buffer = new CSectorRingBuffer(kSectorSize, sectors * kSectorSize, sectors * kSectorSize * clusters,
		elements);
	fRingBuffer.store(buffer);
	if (!buffer->InitCheck())
		return _Fail("Could not allocate buffer memory.");
	if (!buffer->IsMemoryLocked())
		return _Fail("Could not lock buffer memory.");

	SetStatusTextAsync("Opening files");
	auto* feeder = new CDaoFeeder();
	status_t status = feeder->Init(action.pProject);
	fFeeder.store(feeder);
	if (status != B_OK)
		return _Fail(ErrorCodeText("Could not open all project files. (error code ", status));

	// CD-Text only where it has a place: the lead-in of a disc-at-once
	// session on a recorder that writes it.
	fCdTextPacks.clear();
	if (action.nCdText != CD_TEXT_NONE && !fTaoRecording && !fRawRecording
		&& (fDriver->Flags & F_CDTEXT_WRITE) != 0) {
		SCdTextResult cdText;
		if (BuildCdText(action.pProject, action.nCdText, &cdText) == B_OK)
			fCdTextPacks = std::move(cdText.packs);
	}

	SetStatusTextAsync("Creating cue sheet");
	status = feeder->CreateCueSheet(&fCueSheet, &fCueSheetSize, !fCdTextPacks.empty());
	if (status != B_OK)
		return _Fail(ErrorCodeText("Could not create cue sheet. (error code ", status));
	return true;
}

bool CCdRecordStatusView::_WaitForUnit()
{
	SCSI_STATUS status {};
	for (int32 round = 60; round > 0; round--) {
		if (fStopRequested.load())
			return _Stopped();
		SetStatusTextAsync(Format("Waiting for device to get ready... (%02d)", round).c_str());
		memset(&status, 0, sizeof(status));
		if (fClock->WaitUnitReady(fDevice, 1000000, &status))
			return true;
	}
	return _Fail(ScsiErrorText("Device not ready. (", status));
}

bool CCdRecordStatusView::_FillBuffer()
{
	CSectorRingBuffer* buffer = fRingBuffer.load();
	SetStatusTextAsync("Filling the buffer");
	while (true) {
		if (fStopRequested.load())
			return _Stopped();
		float fill = 0;
		buffer->GetStatus(&fill, nullptr);
		if (fill >= 95.0f || buffer->IsWriteFinished())
			return true;
		fClock->Snooze(100000);
	}
}

CCdRecordStatusView::EPassResult CCdRecordStatusView::_RunPass()
{
	CSectorRingBuffer* buffer = fRingBuffer.load();
	CDaoFeeder* feeder = fFeeder.load();
	bool simulation = (fFlags & RECORD_ACTION_SIMULATE) != 0;
	fSimulationPass.store(simulation);
	uint64 flags = fDriver->Flags;
	bool daoRecording = !fTaoRecording && !fRawRecording;
	if (fTaoRecording && (flags & F_TAO_WRITE) == 0)
		DebugAssert("CdRecordStatusView", __LINE__, "(pDriver->Flags & F_TAO_WRITE) != 0");
	if (daoRecording && (flags & F_DAO_WRITE) == 0)
		DebugAssert("CdRecordStatusView", __LINE__, "(pDriver->Flags & F_DAO_WRITE) != 0");
	if (fRawRecording && (flags & F_RAW_WRITE) == 0)
		DebugAssert("CdRecordStatusView", __LINE__, "(pDriver->Flags & F_RAW_WRITE) != 0");
	if (simulation) {
		if (fTaoRecording && (flags & F_TAO_TESTWRITE) == 0)
			DebugAssert("CdRecordStatusView", __LINE__, "(pDriver->Flags & F_TAO_TESTWRITE) != 0");
		if (daoRecording && (flags & F_DAO_TESTWRITE) == 0)
			DebugAssert("CdRecordStatusView", __LINE__, "(pDriver->Flags & F_DAO_TESTWRITE) != 0");
		if (fRawRecording && (flags & F_RAW_TESTWRITE) == 0)
			DebugAssert("CdRecordStatusView", __LINE__, "(pDriver->Flags & F_RAW_TESTWRITE) != 0");
	}
	if (fFixate && !(fTaoRecording == true && fRawRecording == false))
		DebugAssert("CdRecordStatusView", __LINE__,
			"bTaoRecording == true && bRawRecording == false && bRawRecording == false");
	// Raw writing is not supported: refuse before the recorder is touched.
	if (fRawRecording) {
		DebugAlert("raw data mode not supported");
		_Fail("raw data mode not supported");
		return kPassFailed;
	}

	SetStatusTextAsync("Preventing medium removal");
	fDriver->MediumPreventRemoval(fDevice, nullptr);

	if (!_WaitForUnit())
		return kPassFailed;

	SCSI_STATUS status {};
	SetStatusTextAsync("Setting write speed");
	if (!fDevice->SetWriteSpeed(fAction->nWriteSpeed, &status))
		return _FailPass(ScsiErrorText("Could not set write speed. (", status));

	SetStatusTextAsync("Checking write speed");
	float factor = -1;
	memset(&status, 0, sizeof(status));
	if (!fDevice->GetWriteSpeed(&factor, &status))
		return _FailPass(ScsiErrorText("Could not get current write speed. (", status));
	if (factor == -1) {
		factor = 1.0f;
		fLeadinBudget.store(20000000);
	} else {
		fLeadinBudget.store(factor > 0 ? int64(135000000.0 / double(factor)) : 20000000);
	}
	fWriteSpeedFactor.store(factor);

	memset(&status, 0, sizeof(status));
	if (!fDriver->TestUnitReady(fDevice, &status))
		return _FailPass(ScsiErrorText("Device not ready. (", status));

	_SetOwnPriority(8);
	StartReadThread();
	if (!_FillBuffer())
		return kPassFailed;

	SetStatusTextAsync("Setting thread priority");
	if (thread_id reader = fReadThread.load(); reader >= 0)
		set_thread_priority(reader, 12);
	_SetOwnPriority(95);
	StartPriorityThread();

	fCountTracksOfDisc.store(feeder->DiscTrackCount());
	fCountSectorsOfDisc.store(feeder->DiscSectorCount());
	fCountSectorsOfCurrentTrack.store(feeder->TrackSectorCount(1));
	fCurrentTrackNumber.store(1);
	fCurrentTrack.store(1);
	fCurrentSectorOfDisc.store(0);
	fCurrentSectorOfTrack.store(0);
	fRestOfBufferSectors = 0;
	fRecorderBufferFill.store(-1);
	fCurrentLba = kInitialLba;
	fLongWriteSeen = false;
	if (fReadError.load()) {
		_FileReadingError();
		return kPassFailed;
	}
	buffer->ReadInit();
	fRunState.store(fTaoRecording ? STATUS_TRACK_WRITE : STATUS_LEADIN);

	if (!fTaoRecording) {
		SetStatusTextAsync("Opening session");
		memset(&status, 0, sizeof(status));
		int32 lba = fCurrentLba;
		if (!fDriver->OpenSession(fDevice, fBurnProof, simulation, fCueSheet.get(), fCueSheetSize, &lba, &status)) {
			std::string message = ScsiErrorText("Could not open new session. (", status);
			_Fail(message);
			DebugAlert((message + (fBurnProof ? kBurnProofAppendix : kDaoAppendix)).c_str());
			return kPassFailed;
		}
		fCurrentLba = lba;
	} else {
		memset(&status, 0, sizeof(status));
		int32 track = 1;
		if (!fDriver->GetNextTrackNumber(fDevice, &track, &status))
			return _FailPass(ScsiErrorText("Could not get next track number. (", status));
		fCurrentTrackNumber.store(track);
	}

	printf("executing OptimumPowerCalibration\n");
	fflush(stdout);
	fDriver->OptimumPowerCalibration(fDevice, nullptr);

	if (!fTaoRecording && !fCdTextPacks.empty()) {
		SetStatusTextAsync("Writing CD-Text");
		memset(&status, 0, sizeof(status));
		if (!WriteCdTextLeadIn(fDevice, fCdTextPacks, &status))
			return _FailPass(ScsiErrorText("Could not write CD-Text. (", status));
	}

	while (true) {
		if (!_WriteTrack())
			return kPassFailed;
		if (fCurrentTrack.load() >= fCountTracksOfDisc.load())
			break;
		int32 next = fCurrentTrack.load() + 1;
		fCountSectorsOfCurrentTrack.store(feeder->TrackSectorCount(next));
		fCurrentSectorOfTrack.store(0);
		fCurrentTrackNumber.store(fCurrentTrackNumber.load() + 1);
		fCurrentTrack.store(next);
	}
	if (fCurrentSectorOfDisc.load() != fCountSectorsOfDisc.load())
		DebugAssert("CdRecordStatusView", __LINE__, "currentSectorOfDisc == countSectorsOfDisc");
	if (fCurrentTrack.load() != fCountTracksOfDisc.load())
		DebugAssert("CdRecordStatusView", __LINE__, "currentTrack == countTracksOfDisc");

	if (!fTaoRecording) {
		fRunState.store(STATUS_LEADOUT);
		memset(&status, 0, sizeof(status));
		if (!fDriver->CloseSession(fDevice, fWriteSpeedFactor.load(), &status)) {
			const char* prefix = status.time > 10000000 ? "Closing session finished with an error. ("
														: "Could not close session. (";
			return _FailPass(ScsiErrorText(prefix, status));
		}
	} else if (fFixate) {
		fRunState.store(STATUS_FIXATE);
		memset(&status, 0, sizeof(status));
		if (!fDriver->FixateDisc(fDevice, fWriteSpeedFactor.load(), &status)) {
			const char* prefix = status.time > 10000000 ? "Fixating the disc finished with an error. ("
														: "Could not fixate the disc. (";
			return _FailPass(ScsiErrorText(prefix, status));
		}
	}

	fRunState.store(STATUS_FINISHED);
	buffer->ReadExit();
	SetStatusTextAsync("Setting thread priority");
	_SetOwnPriority(10);
	WaitForReadThreadEnd();
	StopPriorityThread();

	SetStatusTextAsync("Resetting write speed");
	memset(&status, 0, sizeof(status));
	if (!fDevice->ResetWriteSpeed(&status)) {
		SetStatusTextAsync("Error while resetting write speed");
		return kPassResetSpeedFailed;
	}
	SetStatusTextAsync("Allowing medium removal");
	fDriver->MediumAllowRemoval(fDevice, nullptr);
	// A written disc that is to be verified stays in: a recorder may hand
	// back another medium after an eject (the virtual recorder gives a
	// fresh blank). _Verify ejects it afterwards.
	const bool verifyFollows = !simulation && fAction->bVerify && (fAction->nActionFlags & RECORD_ACTION_WRITE) != 0;
	if (!verifyFollows) {
		SetStatusTextAsync("Ejecting medium");
		fDriver->MediumEject(fDevice, nullptr);
	}

	if (simulation)
		fFlags &= ~RECORD_ACTION_SIMULATE;
	else
		fFlags = 0;
	if (fFlags == 0) {
		bool wrote = (fAction->nActionFlags & RECORD_ACTION_WRITE) != 0;
		SetStatusTextAsync(wrote ? "Writing is finished." : "Simulation is finished.");
		return kPassDone;
	}

	// A write pass follows the simulation on a reloaded medium.
	SetStatusTextAsync("Reloading medium");
	fClock->Snooze(2000000);
	fDriver->MediumLoad(fDevice, nullptr);
	if (!_WaitForUnit())
		return kPassFailed;
	status_t rewound = feeder->Rewind();
	if (rewound != B_OK)
		return _FailPass(ErrorCodeText("Rewind failed. (error code ", rewound));
	buffer->Rewind();
	return kPassDone;
}

bool CCdRecordStatusView::_WriteTrack()
{
	CDaoFeeder* feeder = fFeeder.load();
	int32 track = fCurrentTrack.load();
	CDebugFunctionTracer::Trace("Starting Track write:\n");
	CDebugFunctionTracer::Trace(
		"countSectorsOfCurrentTrack = %d, currentTrackNumber = %d, currentTrack = %d, currentSectorOfDisc = %d, "
		"currentSectorOfTrack = %d, restOfBufferSectors = %d, currentLba = %d\n",
		fCountSectorsOfCurrentTrack.load(), fCurrentTrackNumber.load(), track, fCurrentSectorOfDisc.load(),
		fCurrentSectorOfTrack.load(), fRestOfBufferSectors, fCurrentLba);
	fSectorsToWrite = fCountSectorsOfCurrentTrack.load();

	if (fTaoRecording) {
		CDebugFunctionTracer::Trace("Skipping Pause\n");
		int32 pause = feeder->TrackPauseSectorCount(track);
		fCurrentSectorOfDisc.store(fCurrentSectorOfDisc.load() + pause);
		fCurrentSectorOfTrack.store(fCurrentSectorOfTrack.load() + pause);
		fSectorsToWrite -= pause;
		if (!_Transfer(pause, false))
			return false;
		SCSI_STATUS status {};
		int32 lba = fCurrentLba;
		std::string mcn = feeder->TrackMCN(track);
		std::string isrc = feeder->TrackISRC(track);
		if (!fDriver->OpenTrack(fDevice, fCurrentTrackNumber.load(), fBurnProof, fSimulationPass.load(), pause,
				feeder->TrackDataSectorCount(track), feeder->TrackPreEmphasis(track),
				feeder->TrackCopyAllowed(track), mcn.empty() ? nullptr : mcn.c_str(),
				isrc.empty() ? nullptr : isrc.c_str(), &lba, &status)) {
			std::string message = ScsiErrorText("Could not open a new track. (", status);
			_Fail(message);
			if (fBurnProof)
				DebugAlert((message + kBurnProofAppendix).c_str());
			return false;
		}
		fCurrentLba = lba;
	}

	if (!_Transfer(fSectorsToWrite, true))
		return false;

	CDebugFunctionTracer::Trace("Track finished\n");
	if (fCurrentSectorOfTrack.load() != fCountSectorsOfCurrentTrack.load())
		DebugAssert("CdRecordStatusView", __LINE__, "currentSectorOfTrack == countSectorsOfCurrentTrack");
	if (fSectorsToWrite != 0)
		DebugAssert("CdRecordStatusView", __LINE__, "nTrackSectorsToWrite == 0");
	if (fTaoRecording) {
		SCSI_STATUS status {};
		if (!fDriver->CloseTrack(fDevice, fCurrentTrackNumber.load(), &status))
			return _Fail(ScsiErrorText("Could not close the current track. (", status));
	}
	return true;
}

bool CCdRecordStatusView::_Transfer(int32 sectors, bool send)
{
	CSectorRingBuffer* buffer = fRingBuffer.load();
	int32 perCluster = buffer->SectorPerClusterCount();
	// The rest of the cluster the previous step began.
	int32 first = std::min(fRestOfBufferSectors, sectors);
	if (first > 0) {
		if (!_Round(first, false, send))
			return false;
		fRestOfBufferSectors -= first;
		sectors -= first;
	}
	for (int32 clusters = sectors / perCluster; clusters > 0; clusters--) {
		if (!_Round(perCluster, true, send))
			return false;
		sectors -= perCluster;
	}
	if (sectors > 0) {
		if (!_Round(sectors, false, send))
			return false;
		fRestOfBufferSectors = perCluster - sectors;
	}
	return true;
}

bool CCdRecordStatusView::_Round(int32 sectors, bool wholeCluster, bool send)
{
	CSectorRingBuffer* buffer = fRingBuffer.load();
	uint8* data = nullptr;
	int32 size = 0;
	bool granted = wholeCluster ? buffer->ReadClusterBegin(&data, &size)
								: buffer->ReadSectorBegin(&data, &size, sectors);
	if (!granted)
		return _FileReadingError();
	if (size != sectors * buffer->SectorSize()) {
		DebugAssert("CdRecordStatusView", __LINE__, "sizeData == nSectorsToWrite * pRingBuffer->SectorSize()");
		return _FileReadingError();
	}

	if (send) {
		SCSI_STATUS status {};
		while (true) {
			if (fStopRequested.load())
				return _Stopped();
			memset(&status, 0, sizeof(status));
			if (fDriver->Write(fDevice, fCurrentLba, data, size / kSectorSize, kSectorSize, &status))
				break;
			if (!IsLongWriteInProgress(status))
				return _Fail(ScsiErrorText(_WriteFailurePrefix(), status));
			fLongWriteSeen = true;
			fClock->Snooze(fRunState.load() == STATUS_LEADIN ? 200000 : 60000);
		}
		UpdateRecorderBuffer();
		if (fRunState.load() == STATUS_LEADIN) {
			bigtime_t budget = fLeadinBudget.load();
			if (fLongWriteSeen || status.time > budget) {
				fRunState.store(STATUS_TRACK_WRITE);
				CDebugFunctionTracer::Trace("STATUS_TRACK_WRITE\n");
			} else {
				CDebugFunctionTracer::Trace("scsistatus.time = %016llX, maxleadinwritetime = %016llX\n",
					(unsigned long long)status.time, (unsigned long long)budget);
				fLeadinBudget.store(budget - status.time);
			}
		}
	}

	if (wholeCluster)
		buffer->ReadClusterEnd();
	else
		buffer->ReadSectorEnd();
	if (fReadError.load())
		return _FileReadingError();

	if (send) {
		fCurrentSectorOfTrack.store(fCurrentSectorOfTrack.load() + sectors);
		fCurrentSectorOfDisc.store(fCurrentSectorOfDisc.load() + sectors);
		fCurrentLba += sectors;
		fSectorsToWrite -= sectors;
	}
	return true;
}

void CCdRecordStatusView::_FailureEnd()
{
	// The reader stops first and every wait of the buffer ends, so that no
	// thread of the run is left blocked whatever failed.
	fReadAbort.store(true);
	if (CSectorRingBuffer* buffer = fRingBuffer.load())
		buffer->Reset();
	_ChangeDisplay([](CD_RECORD_DISPLAY* display) { display->statusSelectable = true; });
	if (fDriver != nullptr && fUpdatesDisabled) {
		for (int i = 0; i < 4; i++)
			fDriver->MediumAllowRemoval(fDevice, nullptr);
		fDriver->MediumEject(fDevice, nullptr);
	}
	// The reader may still be answering its alert; the tray is free meanwhile.
	KillReadThread();
}

void CCdRecordStatusView::_CommonEnd()
{
	StopPriorityThread();
	// The display thread reads the feeder and the buffer: it ends before they go.
	KillDisplayThread();
	delete fFeeder.exchange(nullptr);
	delete fRingBuffer.exchange(nullptr);
	fCueSheet.reset();
	fCueSheetSize = 0;
	fCdTextPacks.clear();
	if (fUpdatesDisabled) {
		fDevice->EnableUpdates();
		fUpdatesDisabled = false;
	}
	fRunState.store(STATUS_QUIT);
	_SetOwnPriority(kWriteThreadPriority);
	if (fRecordingCounted) {
		atomic_add(&g_CdRecordingActive, -1);
		fRecordingCounted = false;
	}
	BMessage ended(M_RECORD_WRITE_THREAD_ENDED);
	_PostToTarget(&ended);
}
