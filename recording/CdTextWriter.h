// CD-Text of a recording: the texts of a project turned into the packs of
// one ISO 8859-1 block, the notices the user gets about them, and the
// disc-at-once lead-in that carries them.
//
// Threads: BuildCdText locks the project itself and may run on any thread;
// WriteCdTextLeadIn runs on the recording thread while the drive's updates
// are paused.
#pragma once

#include "kit/support/SupportDefs.h"

#include <string>
#include <string_view>
#include <vector>

class CDevice;
class CProject;
struct SCSI_STATUS;

// The set-up's CD-Text choice ("cdtext"): the texts as they are, or in
// upper or lower case (the project keeps its own).
enum : int32 {
	CD_TEXT_NONE = 0,
	CD_TEXT_NORMAL = 1,
	CD_TEXT_UPPERCASE = 2,
	CD_TEXT_LOWERCASE = 3,
};

// What BuildCdText made.
struct SCdTextResult {
	std::vector<uint8> packs;          // 18-byte packs with CRCs; empty for CD_TEXT_NONE
	std::vector<int32> lostTracks;     // ascending; 0 = the disc: characters transliterated or replaced by "?"
	std::vector<int32> cutTracks;      // ascending; 0 = the disc: texts shortened to fit 256 packs
};

// UTF-8 `text` as ISO 8859-1: characters of ISO 8859-1 stay, others become
// the nearest Latin letters where there are some ("ł" "l", "Œ" "OE", "„"
// '"'), else "?"; control characters become blanks, and bytes that are not
// UTF-8 "?". *lost (when given) is set when any character did not stay.
std::string TransliterateToLatin1(std::string_view text, bool* lost = nullptr);

// ISO 8859-1 `latin1` in upper (CD_TEXT_UPPERCASE) or lower case
// (CD_TEXT_LOWERCASE), letters with accents included; other modes leave it.
std::string ChangeLatin1Case(std::string latin1, int32 mode);

// One text of a CD-Text: pack type (CCdText::kTitle..kMessage), track
// (0 = the disc) and UTF-8 text.
struct CD_TEXT_ENTRY {
	uint8 type = 0;
	int32 track = 0;
	std::string text;
};

// Encodes `entries` for a disc of tracks 1..`tracks` in `mode`: each text
// transliterated to ISO 8859-1 and its case changed; when the block would
// need more than 256 packs the longest texts are cut (at the end, 12 bytes
// at a time) until it fits. B_OK; B_BAD_VALUE for a bad track count or an
// entry of another type or track. CD_TEXT_NONE gives no packs.
status_t EncodeCdTextEntries(std::vector<CD_TEXT_ENTRY> entries, int32 tracks, int32 mode, SCdTextResult* result);

// The CD-Text of `project` for `mode`: the disc title is the project's
// name, the disc performer the artist every track shares (none when they
// differ or one has none), each track's title and performer its own. When
// the block would need more than 256 packs, the longest texts are cut (at
// the end) until it fits; their tracks are listed. B_OK, B_BAD_VALUE for a
// project without tracks or with more than 99. CD_TEXT_NONE gives no packs.
status_t BuildCdText(CProject* project, int32 mode, SCdTextResult* result);

// One line for the user about `result`: which tracks lost characters and
// which texts were cut ("" when neither), e.g. "CD-Text: characters replaced
// in the disc title, track 2; shortened to fit: track 14".
std::string CdTextNotice(const SCdTextResult& result);

// Writes the lead-in of a disc-at-once session whose cue sheet announced
// CD-Text: from the lead-in start that READ DISC INFORMATION gives up to the
// first sector of the session (LBA -150), 96 bytes of R-W sub-channel a
// sector, four packs each, the packs repeated over the whole lead-in. True
// on success; false with *status (when given) holding the failed command.
bool WriteCdTextLeadIn(CDevice* device, const std::vector<uint8>& packs, SCSI_STATUS* status);
