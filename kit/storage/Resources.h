// Resources built into the program: typed, named blobs (archived view
// hierarchies, bitmaps) registered at start-up by the code that embeds them.
#pragma once

#include "kit/support/SupportDefs.h"

#include <cstddef>

// Registers a resource; `data` must stay valid for the life of the program
// (static data). A second registration of the same type and name replaces
// the first.
void RegisterResource(type_code type, const char* name, const void* data, size_t size);
// The data of a resource, or null when there is none; *size receives its size.
const void* FindResource(type_code type, const char* name, size_t* size);
