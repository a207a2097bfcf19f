#include "disc/CdTextDecoder.h"

#include "frame/Diagnostics.h"
#include "frame/TrackNames.h"
#include "kit/text/UTF8.h"

#include <algorithm>

namespace {

constexpr int kHeaderSize = 4;
constexpr int kPackSize = 18;
constexpr int kTextBytes = 12;
constexpr int kMaxBlocks = 8;

constexpr uint8 kPackTitle = 0x80;
constexpr uint8 kPackPerformer = 0x81;
constexpr uint8 kPackSizeInfo = 0x8F;

// Character codes of a block, from its size information.
constexpr uint8 kCharCodeMsJis = 0x80;
constexpr uint8 kCharCodeKorean = 0x81;
constexpr uint8 kCharCodeMandarin = 0x82;

// A text that stands for "the same as the track before".
constexpr char kRepeatMarker[] = "\t";

int BlockOf(const uint8* pack)
{
	return (pack[3] >> 4) & 0x07;
}

// The conversion for the double-byte packs of each block: 16-bit Unicode
// unless the block's size information names another double-byte code.
void FindDoubleByteConversions(const uint8* packs, int count, uint32 (&conversions)[kMaxBlocks])
{
	std::fill(std::begin(conversions), std::end(conversions), uint32(B_UNICODE_CONVERSION));
	for (int i = 0; i < count; i++) {
		const uint8* pack = packs + i * kPackSize;
		if (pack[0] != kPackSizeInfo || pack[1] != 0)
			continue;
		uint32& conversion = conversions[BlockOf(pack)];
		switch (pack[4]) {
			case kCharCodeMsJis:
				conversion = B_SJIS_CONVERSION;
				break;
			case kCharCodeKorean:
				conversion = B_EUC_KR_CONVERSION;
				break;
			case kCharCodeMandarin:
				conversion = B_GBK_CONVERSION;
				break;
			default:
				break;
		}
	}
}

// Appends one character converted to UTF-8, or a blank when it cannot be
// converted.
void AppendConverted(std::string& text, uint32 conversion, const uint8* bytes, int32 count)
{
	char converted[15];
	int32 sourceLength = count;
	int32 destLength = sizeof(converted);
	int32 state = 0;
	if (convert_to_utf8(conversion, reinterpret_cast<const char*>(bytes), &sourceLength, converted, &destLength,
			&state, ' ')
			!= B_OK
		|| destLength == 0) {
		text += ' ';
		return;
	}
	// A 0 inside a double-byte character would cut the name short.
	for (int32 i = 0; i < destLength; i++)
		text += converted[i] != '\0' ? converted[i] : ' ';
}

}   // namespace

CCdTextDecoder::CCdTextDecoder() = default;

bool CCdTextDecoder::Init(const void* buffer, int size)
{
	for (std::string& text : fTitles)
		text.clear();
	for (std::string& text : fArtists)
		text.clear();

	const uint8* data = static_cast<const uint8*>(buffer);
	if (data == nullptr || size < 2 || (data[0] == 0 && data[1] == 0)) {
		DebugPrint("couldn't decode cd-text (no data)\n");
		return false;
	}
	const int length = data[0] << 8 | data[1];
	const int claimed = std::max(length - 2, 0) / kPackSize;
	const int present = size >= kHeaderSize ? (size - kHeaderSize) / kPackSize : 0;
	const int count = std::min(claimed, present);
	if (count == 0) {
		DebugPrint("couldn't decode cd-text (no data packs)\n");
		return false;
	}
	const uint8* packs = data + kHeaderSize;

	uint32 doubleByteConversions[kMaxBlocks];
	FindDoubleByteConversions(packs, count, doubleByteConversions);

	// Only the first block is read: further blocks hold the same texts in
	// other languages and would be appended to the first one's.
	int block = -1;
	int lastSequence = -1;
	for (int i = 0; i < count; i++) {
		const uint8* pack = packs + i * kPackSize;
		if (pack[2] < lastSequence)
			break;
		lastSequence = pack[2];
		if ((pack[0] != kPackTitle && pack[0] != kPackPerformer) || (pack[1] & 0x80) != 0)
			continue;
		if (block < 0)
			block = BlockOf(pack);
		else if (BlockOf(pack) != block)
			continue;

		auto& list = pack[0] == kPackTitle ? fTitles : fArtists;
		int track = pack[1];
		const uint8* text = pack + 4;
		if ((pack[3] & 0x80) == 0) {
			for (int k = 0; k < kTextBytes; k++) {
				if (text[k] == 0)
					track++;
				else if (track <= kMaxTrack)
					AppendConverted(list[track], B_ISO1_CONVERSION, text + k, 1);
			}
		} else {
			for (int k = 0; k < kTextBytes; k += 2) {
				if (text[k] == 0 && text[k + 1] == 0)
					track++;
				else if (track > kMaxTrack)
					continue;
				else if (text[k] == '\t' && text[k + 1] == '\t')
					list[track] += kRepeatMarker;
				else
					AppendConverted(list[track], doubleByteConversions[block], text + k, 2);
			}
		}
	}

	for (auto* list : {&fTitles, &fArtists}) {
		for (int n = 0; n <= kMaxTrack; n++) {
			if ((*list)[n] == kRepeatMarker)
				(*list)[n] = n > 0 ? (*list)[n - 1] : std::string();
		}
	}

	for (int n = 0; n <= kMaxTrack; n++) {
		if (!fTitles[n].empty() && fArtists[n].empty()) {
			std::string artist;
			std::string title;
			SeparateArtistAndTitle(artist, title, fTitles[n]);
			// A title of digits and separators only ("1999") splits into
			// nothing: it stays as it is.
			if (artist.empty() && title.empty())
				continue;
			fArtists[n] = artist;
			fTitles[n] = title;
		}
	}

	for (int n = 0; n <= kMaxTrack; n++) {
		if (!fTitles[n].empty())
			CDebugFunctionTracer::Trace("CD-TEXT Title  %02d: %s\n", n, fTitles[n].c_str());
		if (!fArtists[n].empty())
			CDebugFunctionTracer::Trace("CD-TEXT Artist %02d: %s\n", n, fArtists[n].c_str());
	}
	return true;
}

bool CCdTextDecoder::CheckTrack(int track)
{
	if (track >= 0 && track <= kMaxTrack)
		return true;
	DebugAssert(__FILE__, __LINE__, "track >= 0 && track <= 99");
	return false;
}

const char* CCdTextDecoder::Title(int track) const
{
	return CheckTrack(track) ? fTitles[track].c_str() : "";
}

const char* CCdTextDecoder::Artist(int track) const
{
	return CheckTrack(track) ? fArtists[track].c_str() : "";
}
