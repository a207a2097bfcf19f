// CD-Text decoding: turns the packs that a drive returns for READ TOC/PMA/ATIP
// (CD-Text format) into a title and a performer per track.
//
// A decoder is used by one thread at a time.
#pragma once

#include "kit/support/SupportDefs.h"

#include <array>
#include <string>

class CCdTextDecoder {
public:
	static constexpr int32 kMaxTrack = 99;
	// Size of the pack buffer a caller hands to the drive: a 4-byte header
	// and 2039 packs of 18 bytes.
	static constexpr int32 kBufferSize = 36720;

	// All 200 texts empty.
	CCdTextDecoder();

	// Decodes `size` bytes at `buffer`: a 4-byte header whose first two bytes
	// (big-endian) count the bytes after them, then 18-byte packs. Only the
	// packs that lie completely inside both the length field and `size` are
	// read. Texts of earlier calls are cleared first. Title (0x80) and
	// performer (0x81) packs of blocks with a single-byte character code are
	// taken as ISO 8859-1; double-byte packs as 16-bit Unicode, or as MS-JIS,
	// Korean or Mandarin when the block's size information says so. A text
	// that is a lone tab stands for the text of the track before. Texts of
	// tracks above 99 are dropped. A title without a performer is split into
	// the two where it holds a separator.
	// Returns false, with a console line, when there are no packs.
	bool Init(const void* buffer, int size);

	// track 0 is the disc. Never null; "" for an empty text. A track outside
	// 0..99 is reported through DebugAssert and gives "".
	const char* Title(int track) const;
	const char* Artist(int track) const;

private:
	static bool CheckTrack(int track);

	std::array<std::string, kMaxTrack + 1> fTitles;
	std::array<std::string, kMaxTrack + 1> fArtists;
};
