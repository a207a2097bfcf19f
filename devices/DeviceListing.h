// A text listing of the drives found at start-up, for the command-line front
// end: each drive's path, address, identity, add-on, flags, speed tables and
// medium.
#pragma once

#include "kit/support/SupportDefs.h"

#include <string>

class CDevice;
struct SPEED_INFO;

// The names of the capability flags set in `flags` ("F_SUPPORTED
// F_AUDIO_READ ..."), separated by blanks; "none" when no flag is set.
std::string DescribeDriverFlags(uint64 flags);
// The labels of a speed table, separated by "; "; "none" for an empty or
// missing table.
std::string DescribeSpeedTable(const SPEED_INFO* table);
// The raw device path of the drive (the path discovery opened).
std::string DeviceRawPath(const CDevice* device);
// What the drive holds: "none", "blank CD-R, 79:59.74" (its length) or an audio disc
// with its tracks and names (read from the drive, names from the disc
// information store and CD-Text). Sends drive commands; the caller keeps
// the drive's polling paused or not running.
std::string DescribeMedium(CDevice* device);
// Everything about one drive, several lines, each ended by a line feed.
// `index` numbers the drive from 1.
std::string DescribeDevice(CDevice* device, int index);
// Every drive of g_pDevices, or a line saying there is none; followed by
// the access problems discovery met.
std::string DescribeDevices();
