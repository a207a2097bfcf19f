#include "disc/CdTextDecoder.h"

#include "frame/Diagnostics.h"
#include "frame/TrackNames.h"
#include "kit/device/CdText.h"
#include "kit/text/UTF8.h"

#include <algorithm>

namespace {

constexpr int kHeaderSize = 4;
constexpr int kPackSize = int(CCdText::kPackSize);

// Character codes of a block, from its size information.
constexpr uint8 kCharCodeMsJis = 0x80;
constexpr uint8 kCharCodeKorean = 0x81;
constexpr uint8 kCharCodeMandarin = 0x82;

// A text that stands for "the same as the track before".
constexpr char kRepeatMarker[] = "\t";

// The conversion for double-byte texts: 16-bit Unicode unless the block's
// size information names another double-byte code.
uint32 DoubleByteConversion(uint8 characterCode)
{
	switch (characterCode) {
		case kCharCodeMsJis:
			return B_SJIS_CONVERSION;
		case kCharCodeKorean:
			return B_EUC_KR_CONVERSION;
		case kCharCodeMandarin:
			return B_GBK_CONVERSION;
		default:
			return B_UNICODE_CONVERSION;
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
	// Only the first block is read: further blocks hold the same texts in
	// other languages.
	CCdText::SBlock block;
	CCdText::Decode(data + kHeaderSize, size_t(count), &block);
	const uint32 doubleByteConversion = DoubleByteConversion(block.characterCode);
	for (uint8 type : {CCdText::kTitle, CCdText::kPerformer}) {
		const size_t index = size_t(type - CCdText::kTitle);
		auto& list = type == CCdText::kTitle ? fTitles : fArtists;
		for (int n = 0; n <= kMaxTrack; n++) {
			const std::string& raw = block.texts[index][size_t(n)];
			const uint8* bytes = reinterpret_cast<const uint8*>(raw.data());
			if (!block.doubleByte[index]) {
				for (size_t k = 0; k < raw.size(); k++)
					AppendConverted(list[size_t(n)], B_ISO1_CONVERSION, bytes + k, 1);
				continue;
			}
			for (size_t k = 0; k + 1 < raw.size(); k += 2) {
				if (bytes[k] == '\t' && bytes[k + 1] == '\t')
					list[size_t(n)] += kRepeatMarker;
				else
					AppendConverted(list[size_t(n)], doubleByteConversion, bytes + k, 2);
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
