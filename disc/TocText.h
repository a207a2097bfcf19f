// The names of a disc in its table of contents: filled from the disc
// information store, merged with CD-Text, saved back to the store, and the
// manual CD-Text import of the drive view (its question and its answer).
//
// Every function works on a CToc whose lock the caller holds, and never
// sends a drive command: the drive reads the CD-Text packs between these
// steps, without the lock.
#pragma once

#include "kit/support/SupportDefs.h"

#include <string>

class CCdInfo;
class CCdTextDecoder;
class CToc;

// Size of the buffer handed to the ReadCdText command.
constexpr int kCdTextBufferSize = 36720;

// Console lines of the automatic path (the drive's name fills in %s).
constexpr const char* kCdTextReadFailedLine = "couldn't read cd-text on %s (command failed)\n";
constexpr const char* kCdTextDecodeFailedLine = "couldn't decode cd-text on %s\n";

// Texts of the manual import.
constexpr const char* kCdTextAlertTitle = "cd-text";
constexpr const char* kCdTextAlertYes = "Yes";
constexpr const char* kCdTextAlertNo = "No";
constexpr const char* kCdTextReadFailedAlert =
	"Couldn't read CD-TEXT (command failed).\n\nPerhaps this CD-ROM doesn't\nsupport reading CD-TEXT.\n";
constexpr const char* kCdTextDecodeFailedAlert = "Couldn't decode CD-TEXT.\n\nPerhaps this CD doesn't contain CD-TEXT.\n";

// Prepares `info` for the disc in `toc` (its track count, disc key and
// track keys), loads the stored names and puts them into `toc`: the disc
// title, and each track's text split into artist and title.
void LoadStoredTocText(CToc& toc, CCdInfo& info);

// Puts decoded CD-Text into `toc` where the names are empty or still the
// store's defaults: a disc title beginning with "Audio CD", track titles and
// artists beginning with "Track ". Names the user gave are kept.
void MergeCdText(CToc& toc, const CCdTextDecoder& text);

// Hands the names of `toc` to `info` (defaults for empty names) and saves
// them to the store. `info` must have been prepared by LoadStoredTocText
// for this disc. Returns the store's status.
status_t SaveStoredTocText(CToc& toc, CCdInfo& info);

// The question of the manual import, listing the decoded disc title and a
// line per track of `toc`.
std::string CdTextImportQuestion(CToc& toc, const CCdTextDecoder& text);

// The manual import after "Yes": the disc title is replaced, and each
// track's title and artist where CD-Text has one.
void ApplyCdTextImport(CToc& toc, const CCdTextDecoder& text);
