// The encoder delay and end padding that an MP3 file declares in the
// LAME extension of its Xing/Info frame: the samples a gapless reader
// removes at the start and at the end so that it delivers exactly the
// samples that were encoded. Pure functions over bytes; any thread.
#pragma once

#include "kit/support/SupportDefs.h"

#include <cstddef>

struct Mp3EncoderGap {
	int64 frames = 0;             // MPEG frames the Info frame counts (0: none stated)
	int32 samplesPerFrame = 0;    // 1152 (MPEG-1) or 576 (MPEG-2 and 2.5)
	int32 sampleRate = 0;
	int32 delay = 0;              // samples of encoder delay at the start
	int32 padding = 0;            // samples of padding at the end
};

// Bytes of an ID3v2 tag at the start of `data` (header, body and footer),
// or 0 when `data` does not start with one. Needs only the 10 header bytes.
size_t Id3v2TagSize(const uint8* data, size_t size);

// Reads the first MPEG audio frame in `data` (at most `maxJunk` bytes after
// its start; the caller has skipped an ID3v2 tag). True when it is a
// layer III Xing or Info frame with a LAME, Lavf or Lavc extension: then
// *gap holds its counts. Every read is checked against `size`.
bool ParseMp3EncoderGap(const uint8* data, size_t size, size_t maxJunk, Mp3EncoderGap* gap);

// The samples a gapless decoder delivers for `gap`: frames x samples per
// frame less delay and padding; -1 when the frame count is not stated.
int64 Mp3GaplessSampleCount(const Mp3EncoderGap& gap);
