// Opening the files of a disc image (CUE sheets, audio files, CD-Text packs)
// without ever blocking: a FIFO or device named as an image file is refused
// instead of waiting for a writer in open().
#pragma once

#include "kit/support/SupportDefs.h"

#include <string>

namespace image_file {

// Opens `path` for reading when it is a regular file; *fd receives the
// descriptor (the caller closes it) and *size its length. Otherwise returns
// B_ENTRY_NOT_FOUND ("cannot open PATH") or B_BAD_DATA ("PATH is not a
// regular file (...)") with *error saying so. Never blocks.
status_t OpenRegular(const std::string& path, int* fd, uint64* size, std::string* error);

// Reads exactly `size` bytes at `offset`; false on an error or a short file.
bool ReadAll(int fd, uint8* buffer, size_t size, uint64 offset);

}   // namespace image_file
