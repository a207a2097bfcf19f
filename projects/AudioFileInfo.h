// Audio file inspection and naming: whether a file is CD audio and how long
// it is, and the rule that takes the extension off a file name. The artist
// and title rules are in frame/TrackNames.h, included here for the callers.
#pragma once

#include "frame/TrackNames.h"
#include "kit/storage/EntryRef.h"
#include "kit/support/SupportDefs.h"

#include <string>
#include <string_view>

// Inspects `ref`: isAudio tells whether one of its tracks decodes to CD
// audio (44100 Hz, 2 channels, B_AUDIO_SHORT); frameCount is that track's
// frame count (0 when none); info is empty for audio, else one reason per
// rejected track, or why the file could not be inspected at all.
// Returns B_OK once the file is open and has tracks (also when none is CD
// audio), else the open status or B_STREAM_NOT_FOUND. Safe from any thread;
// calls are serialised by a process-wide lock.
status_t GetMediaFileInfo(const entry_ref& ref, bool& isAudio, int64& frameCount, std::string& info);

// The exact length in frames of the track GetMediaFileInfo accepts (the
// first CD audio track), by decoding through or from the PCM data size.
// B_OK; B_ERROR when no track is CD audio; the file's or the measurement's
// failure. Safe from any thread.
status_t GetExactMediaFileLength(const entry_ref& ref, int64& frameCount);

// Removes the final extension of `name` when it is, ignoring case, one of a
// sound file format the media kit reads (".wav", ".flac", ".m4a", ...) or of
// the movie and raw formats (".mov", ".qt", ".mpeg", ".mpg", ".riff",
// ".rif", ".raw"): "my.audio.wav" becomes "my.audio". A name that is only
// an extension is kept.
void StripAudioFileExtension(std::string& name);
