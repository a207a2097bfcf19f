// Memory locked into RAM for the data paths.
#pragma once

#include "kit/support/SupportDefs.h"

// Rounds size up to whole pages and returns the area id (negative on
// failure, after an assertion); *address receives the start.
// A size of 0 or below gives B_BAD_VALUE (after the assertion).
area_id AllocLockedMem(void** address, int size);
// Deletes the area that contains `address` (an assertion when there is
// none). Null does nothing.
void FreeLockedMem(void* address);
