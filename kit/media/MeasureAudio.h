// Exact length of an audio track, for lengths that must not be estimates
// (the project model's exact file size). Safe from any thread: opens the
// file on its own.
#pragma once

#include "kit/media/MediaDefs.h"
#include "kit/storage/EntryRef.h"

// Frames that track `trackIndex` of the file at `ref` delivers when read
// from start to end (decoding through; for PCM data, the data size the file
// really holds, capped at what its header states). B_OK; the file's open
// status; B_BAD_INDEX for a missing track; the track's DecodedFormat error
// for a track that is not audio; a read error met on the way.
status_t MeasureExactFrameCount(const entry_ref& ref, int32 trackIndex, int64* frameCount);
