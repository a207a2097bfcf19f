// libFuzzer target: CUE sheet parsing on arbitrary text, and the CD-Text
// packs made from an accepted sheet. A refused sheet must be left empty; an
// accepted one must keep the promises of CCueSheet (consecutive tracks, each
// with INDEX 01, ascending index numbers, times ascending within a file,
// bounded texts), and its
// packs must carry valid CRCs.
#include "kit/device/CdText.h"
#include "emulator/CueSheet.h"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	CCueSheet sheet;
	std::string error;
	std::string_view text(reinterpret_cast<const char*>(data), size);
	if (sheet.Parse(text, &error) != B_OK) {
		if (error.rfind("line ", 0) != 0 || !sheet.Tracks().empty() || !sheet.Files().empty())
			abort();
		return 0;
	}
	const auto& tracks = sheet.Tracks();
	if (tracks.empty() || sheet.Files().empty() || sheet.Files().size() > 99)
		abort();
	CCdText cdText;
	for (size_t i = 0; i < tracks.size(); i++) {
		const CCueSheet::STrack& track = tracks[i];
		if (track.number < 1 || track.number > 99 || (i > 0 && track.number != tracks[i - 1].number + 1))
			abort();
		if (track.file < 0 || size_t(track.file) >= sheet.Files().size() || track.IndexPosition(1) < 0)
			abort();
		for (size_t k = 1; k < track.indexes.size(); k++)
			if (track.indexes[k].number <= track.indexes[k - 1].number
				|| track.indexes[k].file < track.indexes[k - 1].file
				|| (track.indexes[k].file == track.indexes[k - 1].file
					&& track.indexes[k].position <= track.indexes[k - 1].position))
				abort();
		for (const CCueSheet::SIndex& index : track.indexes)
			if (index.file < 0 || size_t(index.file) >= sheet.Files().size())
				abort();
		for (int field = 0; field < CCueSheet::kTextCount; field++) {
			if (track.text[size_t(field)].size() > CCueSheet::kMaxTextLength)
				abort();
			cdText.SetText(uint8(CCdText::kTitle + field), track.number,
				CCdText::ToLatin1(track.text[size_t(field)]));
		}
	}
	for (int field = 0; field < CCueSheet::kTextCount; field++)
		cdText.SetText(uint8(CCdText::kTitle + field), 0, CCdText::ToLatin1(sheet.DiscText()[size_t(field)]));
	std::vector<uint8> packs;
	if (cdText.Encode(tracks.front().number, tracks.back().number, &packs) == B_OK) {
		if (packs.size() % CCdText::kPackSize != 0 || packs.size() > CCdText::kMaxPacks * CCdText::kPackSize)
			abort();
		for (size_t i = 0; i < packs.size(); i += CCdText::kPackSize)
			if (!CCdText::PackCrcValid(&packs[i]))
				abort();
	}
	return 0;
}
