// CD-Text of a disc: texts per pack type and track, encoded into the 18-byte
// packs of the lead-in (one block, ISO 8859-1, language English) with their
// CRCs and the closing size-information packs; packs decoded back into the
// raw texts of one block; packs carried in the R-W sub-channel of lead-in
// sectors; and packs read from a file. The one pack codec of the program:
// the virtual drives, the recording engine and the disc decoder use it.
// Not thread-safe per object; the static functions may be called by any
// thread.
#pragma once

#include "kit/support/SupportDefs.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

class CCdText {
public:
	// Pack types of text.
	enum : uint8 {
		kTitle = 0x80,
		kPerformer = 0x81,
		kSongwriter = 0x82,
		kComposer = 0x83,
		kArranger = 0x84,
		kMessage = 0x85,
		kSizeInfo = 0x8F,
	};
	static constexpr size_t kPackSize = 18;
	static constexpr size_t kMaxPacks = 256;     // sequence numbers of one block
	static constexpr int kMaxTrack = 99;
	static constexpr int kTextTypes = 6;          // kTitle..kMessage
	// R-W sub-channel bytes of one sector, and the packs they carry: each
	// 18-byte pack is spread over 24 six-bit symbols (bits 5..0 of a byte).
	static constexpr size_t kSubcodeSize = 96;
	static constexpr size_t kPacksPerSubcode = 4;

	// The raw texts of one block, as Decode finds them.
	struct SBlock {
		int block = -1;                  // block number, -1 when no text pack was found
		uint8 characterCode = 0;         // from the size information: 00h ISO 8859-1, 80h MS-JIS...
		std::array<bool, kTextTypes> doubleByte {};   // the type's packs carry 2-byte characters
		// texts[type - kTitle][track]: the bytes without the terminator;
		// double-byte texts hold their characters as byte pairs.
		std::array<std::array<std::string, kMaxTrack + 1>, kTextTypes> texts;
	};

	// Sets the text (ISO 8859-1 bytes, no zero byte) of a text pack type
	// (kTitle..kMessage) for a track (0 = the disc). B_BAD_VALUE otherwise.
	status_t SetText(uint8 packType, int track, std::string_view latin1);
	const std::string& Text(uint8 packType, int track) const;
	bool IsEmpty() const;

	// Encodes the texts of the disc and of tracks first..last into packs
	// (appended to *packs, kPackSize bytes each). B_BAD_DATA when they need
	// more than kMaxPacks packs, B_BAD_VALUE for a bad track range. An empty
	// CD-Text gives no packs.
	status_t Encode(int firstTrack, int lastTrack, std::vector<uint8>* packs) const;

	// Decodes `count` packs at `packs` into the texts of the block of the
	// first text pack; packs of other blocks, packs with the extension flag
	// and texts of tracks above 99 are dropped; decoding stops at a sequence
	// number lower than the one before. CRCs are not checked. Returns false
	// when no text pack was found.
	static bool Decode(const uint8* packs, size_t count, SBlock* block);

	// Spreads `count` (at most kPacksPerSubcode) packs over the symbols of
	// one sector's R-W sub-channel (`subcode`, kSubcodeSize bytes); the
	// symbols of absent packs are 0. The recorder adds parity and interleaving.
	static void PacksToSubcode(const uint8* packs, size_t count, uint8* subcode);
	// The kPacksPerSubcode packs of one sector's R-W sub-channel.
	static void SubcodeToPacks(const uint8* subcode, uint8* packs);

	// CRC-16 of CD sub-channel data (polynomial x^16 + x^12 + x^5 + 1,
	// initial value 0, result inverted), as stored big-endian after the data.
	static uint16 Crc16(const uint8* data, size_t length);
	static bool PackCrcValid(const uint8* pack);

	// Accepts the contents of a packs file: plain packs (a multiple of 18
	// bytes), or the READ TOC/PMA/ATIP format-5 answer with its 4-byte header
	// (whose length field must match); either may end in one zero byte, as
	// mastering tools write it. At least one and at most kMaxPacks * 8 packs,
	// each of a CD-Text pack type (80h..8Fh). Returns
	// B_BAD_DATA otherwise, with *why (when given) saying what is wrong.
	static status_t ParsePacks(const uint8* data, size_t size, std::vector<uint8>* packs,
		std::string* why = nullptr);
	// Reads a packs file as ParsePacks does. B_ENTRY_NOT_FOUND when it
	// cannot be opened, B_BAD_DATA when it is no regular file (a FIFO is
	// refused, never waited on) or not packs, B_IO_ERROR when reading
	// fails; *why (when given) says which.
	static status_t LoadPacksFile(const std::string& path, std::vector<uint8>* packs, std::string* why = nullptr);

	// Text from a CUE sheet as ISO 8859-1: valid UTF-8 is converted (characters
	// beyond U+00FF become '?'); anything else is taken byte for byte.
	static std::string ToLatin1(std::string_view text);

private:
	static int TypeIndex(uint8 packType);

	std::array<std::array<std::string, kMaxTrack + 1>, 6> fTexts;
};
