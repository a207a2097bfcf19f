// What the device properties window shows of a drive: its identity, the
// add-on that serves it with the capability flags by name, its speed tables
// and the capabilities page (2Ah) it answers with.
#pragma once

#include <string>
#include <vector>

class CDevice;

struct PROPERTY_ROW {
	std::string label;
	std::string value;   // lists (flags, speeds) hold one entry a line
};

struct PROPERTY_SECTION {
	std::string title;
	std::vector<PROPERTY_ROW> rows;
};

// The sections "Device", "Add-on", "Speeds" and, when the drive answers
// with its capabilities page, "Capabilities". Sends drive commands; any
// thread but the drive's update thread.
std::vector<PROPERTY_SECTION> DeviceProperties(CDevice* device);

// "Device Properties - " + the drive's display name.
std::string DevicePropertiesTitle(const CDevice* device);
