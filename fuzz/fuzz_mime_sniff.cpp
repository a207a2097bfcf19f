// Recognition of file types from their first bytes and name.
#include "kit/storage/Mime.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	// Copied into a buffer of exactly `size` bytes, so that any read past
	// the end is caught.
	std::unique_ptr<uint8_t[]> bytes(new uint8_t[size > 0 ? size : 1]);
	if (size > 0)
		memcpy(bytes.get(), data, size);
	const char* names[] = {nullptr, "track.m4a", "x.flac", "noext", "a.wma", "b.mka", "c.weba"};
	for (const char* name : names) {
		const char* type = sniff_mime_type(bytes.get(), size, name);
		if (type != nullptr && strchr(type, '/') == nullptr)
			abort();
	}
	// Every prefix must be handled as well (short reads of small files).
	for (size_t length = 0; length < size && length < 64; length++)
		sniff_mime_type(bytes.get(), length, nullptr);
	return 0;
}
