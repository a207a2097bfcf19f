// Audio file inspection and naming: whether a file is CD audio and how long
// it is, and the rules that turn a file name into artist and title and back.
#pragma once

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

// Removes, ignoring case, every occurrence anywhere in `name` of the known
// audio and movie file extensions, one extension after the other.
void StripAudioFileExtension(std::string& name);

// Splits a name such as "01 - Artist - Title" into artist and title: leading
// track numbers and separators are skipped, then the first rule of a fixed
// list that finds its separator splits; blanks and underscores are tidied.
void SeparateArtistAndTitle(std::string& artist, std::string& title, std::string_view text);

// first + ": " + second when both are non-empty, else the one that is.
std::string GetTrackName(std::string_view first, std::string_view second);
