#include "recording/CdTextWriter.h"

#include "devices/Device.h"
#include "driver/driverbaseclass.h"
#include "kit/device/CdAddress.h"
#include "kit/device/CdText.h"
#include "projects/Project.h"
#include "projects/ProjectTrack.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// The Latin letters of U+0100..U+017F (Latin Extended-A).
constexpr const char* kLatinExtendedA[128] = {
	"A", "a", "A", "a", "A", "a", "C", "c",
	"C", "c", "C", "c", "C", "c", "D", "d",
	"D", "d", "E", "e", "E", "e", "E", "e",
	"E", "e", "E", "e", "G", "g", "G", "g",
	"G", "g", "G", "g", "H", "h", "H", "h",
	"I", "i", "I", "i", "I", "i", "I", "i",
	"I", "i", "IJ", "ij", "J", "j", "K", "k",
	"q", "L", "l", "L", "l", "L", "l", "L",
	"l", "L", "l", "N", "n", "N", "n", "N",
	"n", "n", "N", "n", "O", "o", "O", "o",
	"O", "o", "OE", "oe", "R", "r", "R", "r",
	"R", "r", "S", "s", "S", "s", "S", "s",
	"S", "s", "T", "t", "T", "t", "T", "t",
	"U", "u", "U", "u", "U", "u", "U", "u",
	"U", "u", "U", "u", "W", "w", "Y", "y",
	"Y", "Z", "z", "Z", "z", "Z", "z", "s",
};

// The nearest Latin text of a character beyond ISO 8859-1, or null.
const char* NearestLatin(uint32 code)
{
	if (code >= 0x100 && code < 0x180)
		return kLatinExtendedA[code - 0x100];
	switch (code) {
		case 0x0218: return "S";   // comma below
		case 0x0219: return "s";
		case 0x021A: return "T";
		case 0x021B: return "t";
		case 0x2010: case 0x2011: case 0x2012: case 0x2013: case 0x2014: case 0x2015: case 0x2212:
			return "-";
		case 0x2018: case 0x2019: case 0x201A: case 0x201B: case 0x2032:
			return "'";
		case 0x201C: case 0x201D: case 0x201E: case 0x201F: case 0x2033:
			return "\"";
		case 0x2026: return "...";
		case 0x2022: return "\xB7";   // middle dot
		case 0x20AC: return "EUR";
		case 0x2122: return "TM";
		default: return nullptr;
	}
}

// Decodes one UTF-8 character at text[*i]; false (and *i past the byte)
// for a byte that does not start a valid sequence.
bool NextCharacter(std::string_view text, size_t* i, uint32* code)
{
	const uint8 c = uint8(text[*i]);
	if (c < 0x80) {
		*code = c;
		(*i)++;
		return true;
	}
	const int extra = (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
	if (extra < 0 || text.size() - *i <= size_t(extra)) {
		(*i)++;
		return false;
	}
	uint32 value = c & (0x3F >> extra);
	for (int k = 1; k <= extra; k++) {
		const uint8 next = uint8(text[*i + size_t(k)]);
		if ((next & 0xC0) != 0x80) {
			(*i)++;
			return false;
		}
		value = value << 6 | (next & 0x3F);
	}
	// Overlong forms and surrogates are not characters.
	static constexpr uint32 kLeast[4] = {0, 0x80, 0x800, 0x10000};
	if (value < kLeast[extra] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
		(*i)++;
		return false;
	}
	*i += size_t(extra) + 1;
	*code = value;
	return true;
}

void AddUnique(std::vector<int32>& list, int32 track)
{
	if (std::find(list.begin(), list.end(), track) == list.end())
		list.push_back(track);
}

std::string TrackList(const std::vector<int32>& tracks)
{
	std::string text;
	for (int32 track : tracks) {
		if (!text.empty())
			text += ", ";
		text += track == 0 ? "the disc title" : "track " + std::to_string(track);
	}
	return text;
}

}   // namespace

std::string TransliterateToLatin1(std::string_view text, bool* lost)
{
	std::string out;
	out.reserve(text.size());
	bool changed = false;
	size_t i = 0;
	while (i < text.size()) {
		uint32 code = 0;
		if (!NextCharacter(text, &i, &code)) {
			out += '?';
			changed = true;
		} else if (code < 0x20 || code == 0x7F || (code >= 0x80 && code < 0xA0)) {
			out += ' ';
			changed = true;
		} else if (code <= 0xFF) {
			out += char(code);
		} else {
			const char* latin = NearestLatin(code);
			out += latin != nullptr ? latin : "?";
			changed = true;
		}
	}
	if (lost != nullptr)
		*lost = changed;
	return out;
}

std::string ChangeLatin1Case(std::string latin1, int32 mode)
{
	if (mode != CD_TEXT_UPPERCASE && mode != CD_TEXT_LOWERCASE)
		return latin1;
	for (char& c : latin1) {
		const uint8 b = uint8(c);
		if (mode == CD_TEXT_UPPERCASE) {
			// ß (DFh) and ÿ (FFh) have no upper case of their own here.
			if ((b >= 'a' && b <= 'z') || (b >= 0xE0 && b <= 0xFE && b != 0xF7))
				c = char(b - 0x20);
		} else if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDE && b != 0xD7)) {
			c = char(b + 0x20);
		}
	}
	return latin1;
}

status_t EncodeCdTextEntries(std::vector<CD_TEXT_ENTRY> entries, int32 tracks, int32 mode, SCdTextResult* result)
{
	*result = SCdTextResult();
	if (tracks < 1 || tracks > CCdText::kMaxTrack)
		return B_BAD_VALUE;
	for (const CD_TEXT_ENTRY& entry : entries)
		if (entry.type < CCdText::kTitle || entry.type > CCdText::kMessage || entry.track < 0 || entry.track > tracks)
			return B_BAD_VALUE;
	if (mode == CD_TEXT_NONE)
		return B_OK;

	// The ISO 8859-1 texts by type and track; a later entry replaces an
	// earlier one.
	std::array<std::array<std::string, CCdText::kMaxTrack + 1>, CCdText::kTextTypes> texts;
	for (CD_TEXT_ENTRY& entry : entries) {
		bool lost = false;
		std::string text = ChangeLatin1Case(TransliterateToLatin1(entry.text, &lost), mode);
		if (lost)
			AddUnique(result->lostTracks, entry.track);
		texts[size_t(entry.type - CCdText::kTitle)][size_t(entry.track)] = std::move(text);
	}

	// The packs the encoder makes: per type with any text, its stream (every
	// text and its terminator, the disc's first) in 12-byte packs; then the
	// three size packs.
	auto packsNeeded = [&]() {
		size_t packs = 3;
		for (const auto& type : texts) {
			size_t stream = 0;
			bool any = false;
			for (int32 track = 0; track <= tracks; track++) {
				stream += type[size_t(track)].size() + 1;
				any = any || !type[size_t(track)].empty();
			}
			if (any)
				packs += (stream + 11) / 12;
		}
		return packs;
	};
	// Too many packs: shorten the longest text, never below the next
	// longest by more than a pack, until the block fits. Every text empty
	// fits (six types of 100 terminators and the size packs), so this ends.
	for (size_t needed = packsNeeded(); needed > CCdText::kMaxPacks; needed = packsNeeded()) {
		std::string* longest = nullptr;
		size_t second = 0;
		int32 longestTrack = 0;
		for (auto& type : texts) {
			for (int32 track = 0; track <= tracks; track++) {
				std::string& text = type[size_t(track)];
				if (longest == nullptr || text.size() > longest->size()) {
					if (longest != nullptr)
						second = std::max(second, longest->size());
					longest = &text;
					longestTrack = track;
				} else {
					second = std::max(second, text.size());
				}
			}
		}
		if (longest == nullptr || longest->empty())
			break;
		const size_t excess = (needed - CCdText::kMaxPacks) * 12;
		const size_t cut = std::min(longest->size(), std::max<size_t>(12, std::min(excess, longest->size() - second)));
		longest->resize(longest->size() - cut);
		AddUnique(result->cutTracks, longestTrack);
	}

	CCdText cdText;
	for (size_t type = 0; type < texts.size(); type++)
		for (int32 track = 0; track <= tracks; track++)
			cdText.SetText(uint8(CCdText::kTitle + type), int(track), texts[type][size_t(track)]);
	std::sort(result->lostTracks.begin(), result->lostTracks.end());
	std::sort(result->cutTracks.begin(), result->cutTracks.end());
	return cdText.Encode(1, int(tracks), &result->packs);
}

status_t BuildCdText(CProject* project, int32 mode, SCdTextResult* result)
{
	*result = SCdTextResult();
	if (project == nullptr)
		return B_BAD_VALUE;
	std::vector<CD_TEXT_ENTRY> entries;
	if (!project->Lock())
		return B_ERROR;
	const int32 count = project->CountTracks();
	if (count >= 1 && count <= CCdText::kMaxTrack) {
		std::string common;
		bool shared = true;
		for (int32 i = 0; i < count; i++) {
			const CProjectTrack* track = project->TrackAt(i);
			const std::string artist = track != nullptr ? track->Artist() : std::string();
			if (artist.empty() || (i > 0 && artist != common))
				shared = false;
			common = artist;
			entries.push_back({CCdText::kTitle, i + 1, track != nullptr ? track->Title() : std::string()});
			entries.push_back({CCdText::kPerformer, i + 1, artist});
		}
		entries.push_back({CCdText::kTitle, 0, project->Name()});
		if (shared)
			entries.push_back({CCdText::kPerformer, 0, common});
	}
	project->Unlock();
	return EncodeCdTextEntries(std::move(entries), count, mode, result);
}

std::string CdTextNotice(const SCdTextResult& result)
{
	std::string text;
	if (!result.lostTracks.empty())
		text += "characters replaced in " + TrackList(result.lostTracks);
	if (!result.cutTracks.empty())
		text += std::string(text.empty() ? "" : "; ") + "shortened to fit: " + TrackList(result.cutTracks);
	return text.empty() ? text : "CD-Text: " + text;
}

bool WriteCdTextLeadIn(CDevice* device, const std::vector<uint8>& packs, SCSI_STATUS* status)
{
	SCSI_STATUS local {};
	SCSI_STATUS& s = status != nullptr ? *status : local;
	CDriver* driver = device != nullptr ? device->GetDriver() : nullptr;
	const size_t count = packs.size() / CCdText::kPackSize;
	if (driver == nullptr || driver->ReadDiscInformation == nullptr || driver->Write == nullptr || count == 0)
		return false;
	SCSI_DISC_INFORMATION information {};
	if (!driver->ReadDiscInformation(device, &information, &s))
		return false;
	const uint8* msf = information.LastSessionStartTimeOfLeadin;
	const int32 start = MsfToLba(msf[0], msf[1], msf[2]);
	const int32 end = -kCdMsfOffset;
	// A lead-in start outside the lead-in's minutes is no start at all.
	if (start >= end || msf[0] < kCdLeadInMinute)
		return false;

	constexpr int32 kChunk = 64;
	std::vector<uint8> chunk(size_t(kChunk) * CCdText::kSubcodeSize);
	uint8 four[CCdText::kPacksPerSubcode * CCdText::kPackSize];
	size_t next = 0;   // the pack that comes next
	for (int32 lba = start; lba < end;) {
		const int32 sectors = std::min(kChunk, end - lba);
		for (int32 k = 0; k < sectors; k++) {
			for (size_t p = 0; p < CCdText::kPacksPerSubcode; p++) {
				std::memcpy(four + p * CCdText::kPackSize, packs.data() + next * CCdText::kPackSize,
					CCdText::kPackSize);
				next = (next + 1) % count;
			}
			CCdText::PacksToSubcode(four, CCdText::kPacksPerSubcode, chunk.data() + size_t(k) * CCdText::kSubcodeSize);
		}
		if (!driver->Write(device, lba, chunk.data(), sectors, int32(CCdText::kSubcodeSize), &s))
			return false;
		lba += sectors;
	}
	return true;
}
