// Shared by the Qt tests: one Qt application for the whole test program
// (the application objects under test use it), bounded event loops, and a
// fresh settings store.
#pragma once

#include "frame/App.h"
#include "frame/Preference.h"
#include "kit/interface/Alert.h"
#include "kit/kernel/OS.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>

#include <filesystem>
#include <functional>
#include <future>
#include <gtest/gtest.h>

namespace uitest {

// Turns the event loop (posted work, deferred deletes) until `condition`
// holds or `timeout` (microseconds) has passed; returns the condition.
inline bool RunUntil(const std::function<bool()>& condition, bigtime_t timeout = 10000000)
{
	bigtime_t deadline = system_time() + timeout;
	for (;;) {
		QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
		QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
		if (condition())
			return true;
		if (system_time() >= deadline)
			return false;
		snooze(5000);
	}
}

// Turns the event loop for about `time` microseconds.
inline void RunFor(bigtime_t time)
{
	RunUntil([] { return false; }, time);
}

// Waits up to `timeout` microseconds for `future` while the event loop
// turns (the work it waits for may need the GUI thread).
template<typename T>
bool WaitWhileRunning(std::future<T>& future, bigtime_t timeout = 10000000)
{
	return RunUntil([&] { return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
		timeout);
}

// A fresh settings file, bound; scripted alerts (answer 0) for the test.
class SettingsAndAlerts {
public:
	SettingsAndAlerts()
	{
		std::filesystem::remove(GetSettingsFile());
		InitPreferenceHandler(GetSettingsFile().c_str());
		fPrevious = SetAlertHandler(&alerts);
		g_bApplicationQuitting = false;
	}
	~SettingsAndAlerts()
	{
		SetAlertHandler(fPrevious);
		g_bApplicationQuitting = false;
	}

	CScriptedAlertHandler alerts {0};

private:
	CAlertHandler* fPrevious;
};

}   // namespace uitest
