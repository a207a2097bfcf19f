// tarnwick-cli report: the drive report of every drive, as the program's
// "Send Feedback" puts it into a mail, printed to standard output.
#include "devices/DeviceReport.h"
#include "devices/devices.h"
#include "frame/App.h"
#include "frame/Preference.h"

#include <cstdio>

int PrintDeviceReport()
{
	InitPreferenceHandler(GetSettingsFile().c_str());
	LoadDriver();
	OpenDevices();
	fflush(stdout);
	const std::string report = DeviceReportAll();
	if (report.empty())
		printf("\nNo drives found.\n");
	else
		fwrite(report.data(), 1, report.size(), stdout);
	fflush(stdout);
	CloseDevices();
	UnloadDriver();
	return 0;
}
