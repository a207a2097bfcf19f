#include "devices/devices.h"

#include "frame/Diagnostics.h"

void LoadDriver()
{
	CDebugFunctionTracer::Trace("LoadDriver: no driver add-ons are loaded yet\n");
}

void UnloadDriver()
{
	CDebugFunctionTracer::Trace("UnloadDriver: no driver add-ons to unload\n");
}

bool OpenDevices()
{
	CDebugFunctionTracer::Trace("OpenDevices: drive discovery is not available yet\n");
	return false;
}

void CloseDevices()
{
	CDebugFunctionTracer::Trace("CloseDevices: no drives to close\n");
}
