// libFuzzer target: CD-Text decoding of an arbitrary drive answer. Decoding
// must stay inside the buffer, and every text it gives must be valid UTF-8.
#include "disc/CdTextDecoder.h"
#include "frame/Diagnostics.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool IsValidUtf8(const char* text)
{
	const auto* bytes = reinterpret_cast<const unsigned char*>(text);
	size_t i = 0;
	const size_t length = strlen(text);
	while (i < length) {
		const unsigned char lead = bytes[i];
		size_t count;
		uint32_t code;
		if (lead < 0x80) {
			i++;
			continue;
		} else if ((lead & 0xE0) == 0xC0) {
			count = 1;
			code = lead & 0x1F;
		} else if ((lead & 0xF0) == 0xE0) {
			count = 2;
			code = lead & 0x0F;
		} else if ((lead & 0xF8) == 0xF0) {
			count = 3;
			code = lead & 0x07;
		} else {
			return false;
		}
		for (size_t k = 1; k <= count; k++) {
			if (i + k >= length || (bytes[i + k] & 0xC0) != 0x80)
				return false;
			code = code << 6 | (bytes[i + k] & 0x3F);
		}
		if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
			return false;
		i += count + 1;
	}
	return true;
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	static FILE* const quiet = [] {
		FILE* devNull = fopen("/dev/null", "w");
		SetDebugOutput(devNull);
		return devNull;
	}();
	(void)quiet;

	CCdTextDecoder decoder;
	if (!decoder.Init(data, int(size > INT_MAX ? INT_MAX : size)))
		return 0;
	for (int track = 0; track <= CCdTextDecoder::kMaxTrack; track++) {
		if (!IsValidUtf8(decoder.Title(track)) || !IsValidUtf8(decoder.Artist(track)))
			abort();
	}
	return 0;
}
