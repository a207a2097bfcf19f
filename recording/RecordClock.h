// The time source of a recording run: every wait of the engine's threads
// and every reading of the clock goes through one CRecordClock, so tests can
// run the engine on a faster clock instead of waiting in real time.
#pragma once

#include "kit/support/SupportDefs.h"

class CDevice;
struct SCSI_STATUS;

class CRecordClock {
public:
	virtual ~CRecordClock() = default;
	// Microseconds on a monotonic scale. Any thread.
	virtual bigtime_t Now();
	// Waits at least `microseconds` of this clock's time. Any thread.
	virtual void Snooze(bigtime_t microseconds);
	// Waits until `device` is ready or `timeout` of this clock's time has
	// passed; the real clock uses CDevice::WaitUnitReady. True = ready.
	virtual bool WaitUnitReady(CDevice* device, bigtime_t timeout, SCSI_STATUS* status);
};

// The real-time clock shared by every run that is given no clock.
CRecordClock* DefaultRecordClock();
