// The settings container, and every record in it as a message.
#include "frame/SettingsFile.h"
#include "kit/support/Message.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	CSettingsFile file;
	std::string bytes(reinterpret_cast<const char*>(data), size);
	if (file.Parse(bytes) != B_OK)
		return 0;
	// A container that parses serializes back to the same bytes.
	if (!bytes.empty() && file.Serialize() != bytes)
		abort();
	for (const CSettingsFile::Record& record : file.Records()) {
		BMessage message;
		message.Unflatten(record.data.data(), record.data.size());
	}
	return 0;
}
