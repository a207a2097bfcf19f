// libFuzzer target: BMessage::Unflatten on arbitrary bytes. A refused input
// must leave the message empty; an accepted one must flatten back to the same
// bytes (the format has one encoding per message), and that flattening must
// unflatten again to the same message.
#include "kit/support/Message.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	BMessage message('fuzz');
	message.AddInt32("stale", 1);
	status_t status = message.Unflatten(reinterpret_cast<const char*>(data), size);
	if (status != B_OK) {
		if (!message.IsEmpty() || message.what != 0)
			abort();
		return 0;
	}

	std::string flat;
	if (message.Flatten(&flat) != B_OK || ssize_t(flat.size()) != message.FlattenedSize())
		abort();
	if (flat != std::string(reinterpret_cast<const char*>(data), size))
		abort();
	BMessage again;
	std::string flatAgain;
	if (again.Unflatten(flat.data(), flat.size()) != B_OK || again.Flatten(&flatAgain) != B_OK || flatAgain != flat)
		abort();

	// Walk every item through the typed readers (nested messages, refs, text).
	const char* name;
	type_code type;
	int32 count;
	for (int32 i = 0; message.GetInfo(B_ANY_TYPE, i, &name, &type, &count) == B_OK; i++) {
		for (int32 j = 0; j < count; j++) {
			BMessage nested;
			entry_ref ref;
			std::string text;
			if (type == B_MESSAGE_TYPE && message.FindMessage(name, j, &nested) != B_OK)
				abort();
			if (type == B_REF_TYPE && message.FindRef(name, j, &ref) != B_OK)
				abort();
			if (type == B_STRING_TYPE && message.FindString(name, j, &text) != B_OK)
				abort();
		}
	}
	return 0;
}
