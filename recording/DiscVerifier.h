// Verification after writing: every track of the disc in a recorder is read
// back through the driver's ReadAudio and compared, pause and padding
// included, with the sectors the disc feeder makes of the project.
#pragma once

#include "kit/support/SupportDefs.h"

#include <atomic>
#include <string>
#include <vector>

class CDevice;
class CProject;

struct TRACK_VERIFICATION {
	int32 track = 0;
	bool verified = false;
	int32 firstDifference = -1;   // LBA of the first sector that differs, -1 = none
	std::string readError;        // "" unless a read failed: "sectors A-B: " and the drive's answer
};

// Reads the disc's table of contents (the caller has loaded the medium and
// paused the drive's polling) and checks each track. Sectors of track 1's
// pause that lie in the lead-in (before LBA 0) cannot be read and are not
// compared. B_OK when the disc and the project have the same tracks (the
// per-track outcome is in *results), B_BAD_VALUE when they do not, or the
// feeder's status when the project cannot be decoded; B_CANCELED as soon as
// `stop` (when given) is set, between two reads. Any thread but the drive's
// update thread; one run at a time per drive.
status_t VerifyRecordedDisc(CDevice* device, CProject* project, std::vector<TRACK_VERIFICATION>* results,
	const std::atomic<bool>* stop = nullptr);
