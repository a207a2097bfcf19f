#include "kit/support/EscapeText.h"

#include <cstdint>

namespace {

void AppendHexByte(std::string& out, uint8_t byte)
{
	static const char kDigits[] = "0123456789ABCDEF";
	out += "\\x";
	out += kDigits[byte >> 4];
	out += kDigits[byte & 0x0F];
}

// Length of the well-formed UTF-8 sequence at text[pos] (2 to 4), or 0 when
// the bytes there are not one (overlong forms, surrogates, values past
// U+10FFFF and truncated sequences included).
size_t Utf8SequenceLength(std::string_view text, size_t pos, uint32_t& codePoint)
{
	const uint8_t lead = uint8_t(text[pos]);
	size_t length;
	uint32_t minimum;
	if (lead >= 0xC2 && lead <= 0xDF) {
		length = 2;
		minimum = 0x80;
		codePoint = lead & 0x1F;
	} else if (lead >= 0xE0 && lead <= 0xEF) {
		length = 3;
		minimum = 0x800;
		codePoint = lead & 0x0F;
	} else if (lead >= 0xF0 && lead <= 0xF4) {
		length = 4;
		minimum = 0x10000;
		codePoint = lead & 0x07;
	} else {
		return 0;
	}
	if (text.size() - pos < length)
		return 0;
	for (size_t i = 1; i < length; i++) {
		const uint8_t next = uint8_t(text[pos + i]);
		if ((next & 0xC0) != 0x80)
			return 0;
		codePoint = (codePoint << 6) | (next & 0x3F);
	}
	if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
		return 0;
	return length;
}

}  // namespace

std::string EscapeControlChars(std::string_view text)
{
	std::string out;
	out.reserve(text.size());
	size_t pos = 0;
	while (pos < text.size()) {
		const uint8_t byte = uint8_t(text[pos]);
		if (byte < 0x80) {
			switch (byte) {
				case '\t': out += "\\t"; break;
				case '\n': out += "\\n"; break;
				case '\r': out += "\\r"; break;
				case '\\': out += "\\\\"; break;
				default:
					if (byte < 0x20 || byte == 0x7F)
						AppendHexByte(out, byte);
					else
						out += char(byte);
			}
			pos++;
			continue;
		}
		uint32_t codePoint = 0;
		const size_t length = Utf8SequenceLength(text, pos, codePoint);
		if (length == 0) {
			AppendHexByte(out, byte);
			pos++;
		} else if (codePoint <= 0x9F) {
			for (size_t i = 0; i < length; i++)
				AppendHexByte(out, uint8_t(text[pos + i]));
			pos += length;
		} else {
			out.append(text.substr(pos, length));
			pos += length;
		}
	}
	return out;
}
