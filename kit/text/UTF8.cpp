#include "kit/text/UTF8.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace {

constexpr uint32 kConversionCount = B_MS_WINDOWS_1250_CONVERSION + 1;

// iconv names of the sets we do not convert ourselves (null: own code).
constexpr std::array<const char*, kConversionCount> kIconvNames = {
	nullptr, "ISO-8859-2", "ISO-8859-3", "ISO-8859-4", "ISO-8859-5", "ISO-8859-6", "ISO-8859-7",
	"ISO-8859-8", "ISO-8859-9", "ISO-8859-10", "MACINTOSH", "CP932", "EUC-JP", "ISO-2022-JP", "CP1252",
	nullptr, "KOI8-R", "CP1251", "CP866", "CP437", "EUC-KR", "ISO-8859-13", "ISO-8859-14", "ISO-8859-15",
	"BIG5", "GBK", "UTF-16", "CP1250"};

const iconv_t kNoHandle = reinterpret_cast<iconv_t>(-1);

// One converter per set and thread, opened on first use.
class IconvCache {
public:
	IconvCache() { fHandles.fill(kNoHandle); }
	~IconvCache()
	{
		for (iconv_t handle : fHandles) {
			if (handle != kNoHandle)
				iconv_close(handle);
		}
	}
	iconv_t Get(uint32 encoding)
	{
		if (!fTried[encoding]) {
			fTried[encoding] = true;
			fHandles[encoding] = iconv_open("UTF-8", kIconvNames[encoding]);
		}
		return fHandles[encoding];
	}

private:
	std::array<iconv_t, kConversionCount> fHandles;
	std::array<bool, kConversionCount> fTried {};
};

// Shift states of ISO-2022-JP as kept in *state.
enum : int32 { kJisAscii = 0, kJisKanji = 1, kJisRoman = 2 };

// Appends the UTF-8 form of `code` if it fits; false when it does not.
bool PutUtf8(uint32 code, char* dest, size_t capacity, size_t& written)
{
	char bytes[4];
	size_t count;
	if (code < 0x80) {
		bytes[0] = char(code);
		count = 1;
	} else if (code < 0x800) {
		bytes[0] = char(0xC0 | (code >> 6));
		bytes[1] = char(0x80 | (code & 0x3F));
		count = 2;
	} else if (code < 0x10000) {
		bytes[0] = char(0xE0 | (code >> 12));
		bytes[1] = char(0x80 | ((code >> 6) & 0x3F));
		bytes[2] = char(0x80 | (code & 0x3F));
		count = 3;
	} else {
		bytes[0] = char(0xF0 | (code >> 18));
		bytes[1] = char(0x80 | ((code >> 12) & 0x3F));
		bytes[2] = char(0x80 | ((code >> 6) & 0x3F));
		bytes[3] = char(0x80 | (code & 0x3F));
		count = 4;
	}
	if (capacity - written < count)
		return false;
	memcpy(dest + written, bytes, count);
	written += count;
	return true;
}

void ConvertLatin1(const uint8* source, size_t length, char* dest, size_t capacity, size_t& consumed,
	size_t& written)
{
	while (consumed < length && PutUtf8(source[consumed], dest, capacity, written))
		consumed++;
}

void ConvertUcs2(const uint8* source, size_t length, char* dest, size_t capacity, size_t& consumed,
	size_t& written, char substitute)
{
	while (length - consumed >= 2) {
		uint32 code = uint32(source[consumed]) << 8 | source[consumed + 1];
		size_t used = 2;
		bool bad = false;
		if (code >= 0xD800 && code <= 0xDBFF) {
			if (length - consumed < 4)
				break;   // the pair's second half may come with the next call
			const uint32 low = uint32(source[consumed + 2]) << 8 | source[consumed + 3];
			if (low >= 0xDC00 && low <= 0xDFFF) {
				code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
				used = 4;
			} else {
				bad = true;
			}
		} else if (code >= 0xDC00 && code <= 0xDFFF) {
			bad = true;
		}
		if (bad) {
			if (written >= capacity)
				break;
			dest[written++] = substitute;
		} else if (!PutUtf8(code, dest, capacity, written)) {
			break;
		}
		consumed += used;
	}
}

// The shift state after the escape sequences in `bytes`, starting in `state`.
int32 ScanJisState(const uint8* bytes, size_t length, int32 state)
{
	for (size_t i = 0; i + 2 < length; i++) {
		if (bytes[i] != 0x1B)
			continue;
		if (bytes[i + 1] == '(' && bytes[i + 2] == 'B')
			state = kJisAscii;
		else if (bytes[i + 1] == '(' && bytes[i + 2] == 'J')
			state = kJisRoman;
		else if (bytes[i + 1] == '$' && (bytes[i + 2] == '@' || bytes[i + 2] == 'B'))
			state = kJisKanji;
	}
	return state;
}

status_t ConvertIconv(uint32 encoding, const uint8* source, size_t length, char* dest, size_t capacity,
	size_t& consumed, size_t& written, int32* state, char substitute)
{
	thread_local IconvCache cache;
	iconv_t handle = cache.Get(encoding);
	if (handle == kNoHandle)
		return B_ERROR;
	iconv(handle, nullptr, nullptr, nullptr, nullptr);

	const bool stateful = encoding == B_JIS_CONVERSION;
	const int32 startState = stateful && state != nullptr ? *state : kJisAscii;
	char* out = dest;
	size_t outLeft = capacity;
	if (startState == kJisKanji || startState == kJisRoman) {
		// Restore the shift state of the previous call; escapes write nothing.
		char escape[3] = {0x1B, startState == kJisKanji ? '$' : '(', startState == kJisKanji ? 'B' : 'J'};
		char* in = escape;
		size_t inLeft = sizeof(escape);
		iconv(handle, &in, &inLeft, &out, &outLeft);
	}

	char* in = reinterpret_cast<char*>(const_cast<uint8*>(source));
	size_t inLeft = length;
	while (inLeft > 0) {
		if (iconv(handle, &in, &inLeft, &out, &outLeft) != size_t(-1))
			break;
		if (errno != EILSEQ || outLeft == 0)
			break;   // destination full (E2BIG), or a character cut off at the end (EINVAL)
		*out++ = substitute;
		outLeft--;
		in++;
		inLeft--;
	}
	consumed = length - inLeft;
	written = capacity - outLeft;
	if (stateful && state != nullptr)
		*state = ScanJisState(source, consumed, startState);
	return B_OK;
}

}   // namespace

status_t convert_to_utf8(uint32 sourceEncoding, const char* source, int32* sourceLength, char* dest,
	int32* destLength, int32* state, char substitute)
{
	if (source == nullptr || sourceLength == nullptr || dest == nullptr || destLength == nullptr
		|| *sourceLength < 0 || *destLength < 0)
		return B_BAD_VALUE;
	if (sourceEncoding >= kConversionCount)
		return B_ERROR;

	const uint8* bytes = reinterpret_cast<const uint8*>(source);
	const size_t length = size_t(*sourceLength);
	const size_t capacity = size_t(*destLength);
	size_t consumed = 0;
	size_t written = 0;
	status_t status = B_OK;
	if (sourceEncoding == B_ISO1_CONVERSION)
		ConvertLatin1(bytes, length, dest, capacity, consumed, written);
	else if (sourceEncoding == B_UNICODE_CONVERSION)
		ConvertUcs2(bytes, length, dest, capacity, consumed, written, substitute);
	else
		status = ConvertIconv(sourceEncoding, bytes, length, dest, capacity, consumed, written, state, substitute);
	if (status != B_OK)
		return status;
	*sourceLength = int32(consumed);
	*destLength = int32(written);
	return B_OK;
}
