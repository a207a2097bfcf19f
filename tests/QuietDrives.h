// The drives of a virtual drive description opened as the program opens them
// at start-up, with the add-ons of this build and the start-up's console
// lines swallowed.
#pragma once

#include "devices/devices.h"
#include "driver/driverbaseclass.h"

#include <gtest/gtest.h>

#include <cstdlib>

// `description`: a description file, or null for the default recorder.
inline void OpenDrivesQuietly(const char* description)
{
	if (description != nullptr)
		setenv("TARNWICK_VIRTUAL_DRIVES", description, 1);
	else
		unsetenv("TARNWICK_VIRTUAL_DRIVES");
	SetDriverAddOnFolder(TARNWICK_ADDONS_DIR);
	ResetVirtualDrives();
	testing::internal::CaptureStdout();
	LoadDriver();
	OpenDevices();
	testing::internal::GetCapturedStdout();
}
