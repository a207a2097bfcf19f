// Audio sectors as a drive with a read offset or jitter delivers them: the
// samples of the disc moved by a number of stereo frames, silence where the
// moved range leaves the disc (the lead-in before LBA 0, the lead-out after
// the last sector).
#pragma once

#include "kit/support/SupportDefs.h"

#include <cstddef>

class CDiscImage;

// Copies `count` sectors as if they sat at `lba`, but holding the disc's
// samples from frame lba x 588 - `shiftFrames` on: a positive shift delivers
// the data late (the first frames of the answer come from before the
// requested sector). Sector i goes to buffer + i x stride (stride >= 2352).
// B_OK, B_BAD_VALUE for a range outside 0..LeadOut(), or the image's read
// failure. The caller serialises (the drive's lock).
status_t ReadShiftedAudio(const CDiscImage& disc, int32 lba, int32 count, uint8* buffer, size_t stride,
	int32 shiftFrames);
