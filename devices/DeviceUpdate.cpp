// The device's life with discs: exclusive use, the listeners and the update
// thread that watches the drive, the table of contents and its names, the
// speed functions and the wait for a ready unit.
#include "devices/Device.h"

#include "devices/DevicePages.h"
#include "disc/CdInfo.h"
#include "disc/CdTextDecoder.h"
#include "disc/Toc.h"
#include "disc/TocText.h"
#include "driver/driverbaseclass.h"
#include "frame/Diagnostics.h"
#include "kit/support/Message.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// How long a notification may wait for room in a listener's queue.
constexpr bigtime_t kPostTimeout = 1000000;
// The rhythm of the update thread.
constexpr bigtime_t kPollInterval = 333325;
constexpr bigtime_t kNoDiscExtraWait = 1000000;
constexpr bigtime_t kWaitSlice = 20000;
constexpr bigtime_t kUnitReadyPause = 300000;
constexpr size_t kThreadNameLength = 31;

void AddUnique(std::vector<BMessenger>& list, const BMessenger& listener)
{
	if (std::find(list.begin(), list.end(), listener) == list.end())
		list.push_back(listener);
}

void Remove(std::vector<BMessenger>& list, const BMessenger& listener)
{
	list.erase(std::remove(list.begin(), list.end(), listener), list.end());
}

}   // namespace

// --- Exclusive use --------------------------------------------------------

bool CDevice::LockDevice(const char* owner, char* currentOwner, size_t size)
{
	acquire_sem(fDataLock);
	bool acquired = acquire_sem_etc(fDeviceLock, 1, B_RELATIVE_TIMEOUT, 0) == B_OK;
	if (acquired) {
		snprintf(fOwner, sizeof(fOwner), "%s", owner != nullptr ? owner : "");
	} else if (currentOwner != nullptr && size > 0) {
		snprintf(currentOwner, size, "%s", fOwner);
	}
	release_sem(fDataLock);
	return acquired;
}

void CDevice::UnlockDevice()
{
	acquire_sem(fDataLock);
	fOwner[0] = '\0';
	release_sem(fDeviceLock);
	release_sem(fDataLock);
}

// --- Listeners ----------------------------------------------------------

void CDevice::Attach(const BMessenger& listener, bool inserted, bool removed, bool update, bool tocChange)
{
	CDebugFunctionTracer tracer("CDevice::Attach");
	std::lock_guard<std::mutex> attach(fAttachLock);
	bool wasIdle = false;
	{
		std::lock_guard<std::mutex> lock(fListenerLock);
		wasIdle = fInsertedListeners.empty() && fRemovedListeners.empty() && fUpdateListeners.empty();
		if (inserted)
			AddUnique(fInsertedListeners, listener);
		if (removed)
			AddUnique(fRemovedListeners, listener);
		if (update)
			AddUnique(fUpdateListeners, listener);
		if (tocChange)
			AddUnique(fTocListeners, listener);
	}
	if (inserted && fDiscPresent) {
		CDebugFunctionTracer::Trace("Sending M_NOTIFY_CD_INSERTED\n");
		BMessage message(M_NOTIFY_CD_INSERTED);
		listener.SendMessage(&message, nullptr, kPostTimeout);
	}
	if (wasIdle && (inserted || removed || update)) {
		fUpdatesDisabled = 0;
		StartUpdateThread();
	}
}

void CDevice::Detach(const BMessenger& listener)
{
	std::lock_guard<std::mutex> attach(fAttachLock);
	bool idle = false;
	{
		std::lock_guard<std::mutex> lock(fListenerLock);
		Remove(fInsertedListeners, listener);
		Remove(fRemovedListeners, listener);
		Remove(fUpdateListeners, listener);
		Remove(fTocListeners, listener);
		idle = fInsertedListeners.empty() && fRemovedListeners.empty() && fUpdateListeners.empty();
	}
	if (idle)
		EndUpdateThread();
}

void CDevice::Notify(ListenerList list, uint32 what, int32 track)
{
	std::vector<BMessenger> listeners;
	{
		std::lock_guard<std::mutex> lock(fListenerLock);
		switch (list) {
			case kInsertedList:
				listeners = fInsertedListeners;
				break;
			case kRemovedList:
				listeners = fRemovedListeners;
				break;
			case kUpdateList:
				listeners = fUpdateListeners;
				break;
			case kTocList:
				listeners = fTocListeners;
				break;
		}
	}
	for (const BMessenger& listener : listeners) {
		if (what == M_NOTIFY_CD_INSERTED)
			CDebugFunctionTracer::Trace("Sending M_NOTIFY_CD_INSERTED\n");
		else if (what == M_NOTIFY_CD_REMOVED)
			CDebugFunctionTracer::Trace("Sending M_NOTIFY_CD_REMOVED\n");
		BMessage message(what);
		if (what == M_NOTIFY_TOC_UPDATE)
			message.AddInt32("track", track);
		listener.SendMessage(&message, nullptr, kPostTimeout);
	}
}

void CDevice::PostTocUpdate(int track)
{
	Notify(kTocList, M_NOTIFY_TOC_UPDATE, track);
}

// --- Update thread ----------------------------------------------------------

std::string CDevice::UpdateThreadName() const
{
	std::string name = std::string("update ") + GetVendor() + " " + GetProduct();
	if (name.size() > kThreadNameLength)
		name.resize(kThreadNameLength);
	return name;
}

bool CDevice::IsUpdateThreadRunning() const
{
	return fUpdateThread >= 0;
}

void CDevice::StartUpdateThread()
{
	if (fUpdateThread >= 0)
		return;
	fDiscPresent = false;
	fStopRequest = false;
	fPolled = false;
	thread_id thread = spawn_thread(_UpdateThread, UpdateThreadName().c_str(), B_NORMAL_PRIORITY, this);
	if (thread < 0)
		return;
	fUpdateThread = thread;
	resume_thread(thread);
	// The first poll has happened when Attach returns.
	while (!fPolled)
		snooze(kWaitSlice);
}

void CDevice::EndUpdateThread()
{
	if (fUpdateThread < 0)
		return;
	fStopRequest = true;
	status_t ignored = B_OK;
	wait_for_thread(fUpdateThread, &ignored);
	fUpdateThread = -1;
	fDiscPresent = false;
	SaveTocText();
}

status_t CDevice::_UpdateThread(void* data)
{
	static_cast<CDevice*>(data)->UpdateThread();
	return B_OK;
}

void CDevice::ClearPosition()
{
	fRelativePosition = 0;
	fAbsolutePosition = 0;
	fPaused = false;
}

void CDevice::UpdateThread()
{
	CDebugFunctionTracer::Trace("Update Thread started\n");
	while (!fStopRequest) {
		int32 status = 0;
		CDriver* driver = GetDriver();
		if (fUpdatesDisabled == 0 && driver != nullptr) {
			if (!driver->TestUnitReady(this, nullptr)) {
				status = -1;
				ClearPosition();
			} else {
				uint8 position[16] = {};
				if (!driver->ReadSubChannelCurrentPosition(this, position, nullptr)) {
					status = -1;
					ClearPosition();
				} else if (SUBCHANNEL_POSITION current = ParseCurrentPosition(position); current.playing) {
					status = current.track;
					fRelativePosition = current.relativeFrames;
					fAbsolutePosition = current.absoluteFrames;
					fPaused = current.paused;
				} else {
					ClearPosition();
				}
			}

			if (!fDiscPresent && status != -1) {
				fDiscPresent = true;
				CToc* toc = GetToc();
				toc->Lock();
				toc->MakeEmpty();
				driver->ReadToc(this, toc, nullptr);
				toc->Unlock();
				LoadTocText();
				Notify(kInsertedList, M_NOTIFY_CD_INSERTED, 0);
			} else if (fDiscPresent && status == -1) {
				fDiscPresent = false;
				SaveTocText();
				Notify(kRemovedList, M_NOTIFY_CD_REMOVED, 0);
			}
			fCurrentTrack = status == -1 ? 0 : status;
			Notify(kUpdateList, M_NOTIFY_CD_UPDATE, 0);
		}

		fPolled = true;
		// Without a readable disc the drive is asked less often. The wait
		// is cut in slices so a stop request is honoured within one.
		bigtime_t wait = kPollInterval + (status == -1 ? kNoDiscExtraWait : 0);
		bigtime_t end = system_time() + wait;
		while (!fStopRequest) {
			bigtime_t left = end - system_time();
			if (left <= 0)
				break;
			snooze(std::min(left, kWaitSlice));
		}
	}
}

void CDevice::EnableUpdates()
{
	fUpdatesDisabled--;
}

void CDevice::DisableUpdates()
{
	fUpdatesDisabled++;
}

bool CDevice::IsDiscPresent() const
{
	return fDiscPresent;
}

int32 CDevice::GetCurrentTrack() const
{
	return fCurrentTrack;
}

int32 CDevice::GetRelativePosition() const
{
	return fRelativePosition;
}

int32 CDevice::GetAbsolutePosition() const
{
	return fAbsolutePosition;
}

bool CDevice::IsPaused() const
{
	return fPaused;
}

// --- Table of contents and names ----------------------------------------------

bool CDevice::ReadToc()
{
	CDriver* driver = GetDriver();
	CToc* toc = GetToc();
	toc->Lock();
	toc->MakeEmpty();
	bool ok = driver != nullptr && driver->ReadToc(this, toc, nullptr);
	toc->Unlock();
	return ok;
}

void CDevice::LoadTocText()
{
	CToc* toc = GetToc();
	toc->Lock();
	LoadStoredTocText(*toc, *fCdInfo);
	toc->Unlock();

	CDriver* driver = GetDriver();
	std::vector<uint8> buffer(kCdTextBufferSize, 0);
	if (driver == nullptr || !driver->ReadCdText(this, buffer.data(), kCdTextBufferSize, nullptr)) {
		DebugPrint(kCdTextReadFailedLine, GetDeviceName());
		return;
	}
	CCdTextDecoder decoder;
	if (!decoder.Init(buffer.data(), kCdTextBufferSize)) {
		DebugPrint(kCdTextDecodeFailedLine, GetDeviceName());
		return;
	}
	toc->Lock();
	MergeCdText(*toc, decoder);
	toc->Unlock();
}

void CDevice::SaveTocText()
{
	CToc* toc = GetToc();
	toc->Lock();
	SaveStoredTocText(*toc, *fCdInfo);
	toc->Unlock();
}

// --- Speeds -------------------------------------------------------------------

bool CDevice::GetReadSpeed(float* factor, SCSI_STATUS* status)
{
	CDriver* driver = GetDriver();
	return driver != nullptr && driver->SpeedGet(this, factor, nullptr, status);
}

bool CDevice::GetWriteSpeed(float* factor, SCSI_STATUS* status)
{
	CDriver* driver = GetDriver();
	return driver != nullptr && driver->SpeedGet(this, nullptr, factor, status);
}

bool CDevice::SetReadSpeed(int speed, SCSI_STATUS* status)
{
	CDriver* driver = GetDriver();
	return driver != nullptr && driver->SpeedSet(this, speed, -1, status);
}

bool CDevice::SetWriteSpeed(int speed, SCSI_STATUS* status)
{
	CDriver* driver = GetDriver();
	return driver != nullptr && driver->SpeedSet(this, -1, speed, status);
}

bool CDevice::ResetReadSpeed(SCSI_STATUS* status)
{
	if (fSavedReadSpeed == -1)
		return true;
	CDriver* driver = GetDriver();
	bool ok = driver != nullptr && driver->SpeedSet(this, fSavedReadSpeed, -1, status);
	if (ok)
		fSavedReadSpeed = -1;
	return ok;
}

bool CDevice::ResetWriteSpeed(SCSI_STATUS* status)
{
	if (fSavedWriteSpeed == -1)
		return true;
	CDriver* driver = GetDriver();
	bool ok = driver != nullptr && driver->SpeedSet(this, -1, fSavedWriteSpeed, status);
	if (ok)
		fSavedWriteSpeed = -1;
	return ok;
}

bool CDevice::WaitUnitReady(bigtime_t timeout, SCSI_STATUS* status)
{
	CDriver* driver = GetDriver();
	if (driver == nullptr)
		return false;
	const bigtime_t start = system_time();
	while (!driver->TestUnitReady(this, status)) {
		snooze(kUnitReadyPause);
		if (system_time() - start >= timeout)
			return false;
	}
	return true;
}
