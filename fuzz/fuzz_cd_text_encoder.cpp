// libFuzzer target: the CD-Text a recording writes, from arbitrary texts
// (any bytes, UTF-8 or not, of any length) for any pack type and track.
// Every result must be whole packs with right CRCs, at most 256 of them,
// that decode back to the transliterated texts (shortened only for the
// tracks reported as cut), and survive the lead-in's sub-channel form.
#include "kit/device/CdText.h"
#include "recording/CdTextWriter.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	if (size < 2)
		return 0;
	const int32 tracks = 1 + data[0] % 99;
	const int32 mode = data[1] % 4;
	size_t at = 2;
	std::vector<CD_TEXT_ENTRY> entries;
	// Entries: type, track, a 2-byte length, the text.
	while (at + 4 <= size) {
		CD_TEXT_ENTRY entry;
		entry.type = uint8(CCdText::kTitle + data[at] % CCdText::kTextTypes);
		entry.track = data[at + 1] % (tracks + 1);
		size_t length = size_t(data[at + 2]) | size_t(data[at + 3]) << 8;
		at += 4;
		length = std::min(length, size - at);
		entry.text.assign(reinterpret_cast<const char*>(data + at), length);
		at += length;
		entries.push_back(std::move(entry));
	}

	// What each text becomes, the last entry of a type and track winning.
	std::array<std::array<std::string, CCdText::kMaxTrack + 1>, CCdText::kTextTypes> expected;
	for (const CD_TEXT_ENTRY& entry : entries)
		expected[size_t(entry.type - CCdText::kTitle)][size_t(entry.track)]
			= ChangeLatin1Case(TransliterateToLatin1(entry.text), mode);

	SCdTextResult result;
	if (EncodeCdTextEntries(entries, tracks, mode, &result) != B_OK)
		abort();
	const std::vector<uint8>& packs = result.packs;
	if (packs.size() % CCdText::kPackSize != 0 || packs.size() > CCdText::kMaxPacks * CCdText::kPackSize)
		abort();
	if (mode == CD_TEXT_NONE) {
		if (!packs.empty() || !result.lostTracks.empty() || !result.cutTracks.empty())
			abort();
		return 0;
	}
	const size_t count = packs.size() / CCdText::kPackSize;
	for (size_t i = 0; i < count; i++)
		if (!CCdText::PackCrcValid(&packs[i * CCdText::kPackSize]) || packs[i * CCdText::kPackSize + 2] != i)
			abort();

	CCdText::SBlock block;
	const bool decoded = CCdText::Decode(packs.data(), count, &block);
	if (decoded != (count > 0))
		abort();
	for (size_t type = 0; type < expected.size(); type++) {
		for (int32 track = 0; track <= CCdText::kMaxTrack; track++) {
			const std::string& want = expected[type][size_t(track)];
			const std::string& got = block.texts[type][size_t(track)];
			bool cut = std::find(result.cutTracks.begin(), result.cutTracks.end(), track) != result.cutTracks.end();
			if (got.size() > want.size() || want.compare(0, got.size(), got) != 0 || (!cut && got != want))
				abort();
			for (char c : got)
				if (uint8(c) < 0x20)
					abort();
		}
	}

	// The lead-in's sub-channel carries the packs unchanged.
	if (count >= CCdText::kPacksPerSubcode) {
		uint8 subcode[CCdText::kSubcodeSize];
		uint8 back[CCdText::kPacksPerSubcode * CCdText::kPackSize];
		CCdText::PacksToSubcode(packs.data(), CCdText::kPacksPerSubcode, subcode);
		CCdText::SubcodeToPacks(subcode, back);
		if (!std::equal(back, back + sizeof(back), packs.begin()))
			abort();
	}
	return 0;
}
