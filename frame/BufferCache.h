// Memory locked into RAM for the data paths.
#pragma once

#include "kit/support/SupportDefs.h"

// Rounds size up to whole pages and returns the area id (negative on
// failure, after an assertion); *address receives the start.
area_id AllocLockedMem(void** address, int size);
void FreeLockedMem(void* address);
