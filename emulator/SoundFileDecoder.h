// Sound files of a CUE sheet (FLAC, AIFF, MP3, ...) decoded through the media
// kit, once, when a disc image is loaded. The only part of the emulator that
// uses the media kit.
#pragma once

#include "kit/support/SupportDefs.h"

#include <string>

// What follows a file's name when it is refused for its samples.
inline constexpr const char* kNotCdAudio = " is not CD audio (44.1 kHz stereo 16-bit)";

// Decodes the first audio track of the sound file at `path` into an unlinked
// temporary file (in $TMPDIR, else /tmp) of 16-bit little-endian stereo
// samples; *fd receives it (the caller closes it; the file disappears with
// it) and *size its length in bytes. The track must be 44.1 kHz stereo with
// 16-bit or lossy samples, and decode to at most `maxBytes`. `name` names the
// file in messages. Returns B_OK, or B_BAD_DATA / B_IO_ERROR /
// B_ENTRY_NOT_FOUND with *error saying why ("NAME is not CD audio (44.1 kHz
// stereo 16-bit) (48000 Hz, 2 channels)", ...).
status_t DecodeSoundFile(const std::string& path, const std::string& name, uint64 maxBytes, int* fd, uint64* size,
	std::string* error);
