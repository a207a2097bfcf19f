#include "recording/RecordClock.h"

#include "devices/Device.h"
#include "kit/kernel/OS.h"

bigtime_t CRecordClock::Now()
{
	return system_time();
}

void CRecordClock::Snooze(bigtime_t microseconds)
{
	snooze(microseconds);
}

bool CRecordClock::WaitUnitReady(CDevice* device, bigtime_t timeout, SCSI_STATUS* status)
{
	return device->WaitUnitReady(timeout, status);
}

CRecordClock* DefaultRecordClock()
{
	static CRecordClock clock;
	return &clock;
}
