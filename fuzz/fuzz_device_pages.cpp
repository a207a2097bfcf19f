// The drive answers that the device object reads itself: mode pages and the
// sub-channel position, each given a buffer of the fuzzer's bytes.
#include "devices/DevicePages.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	std::vector<uint8> buffer(data, data + size);
	MMC_CAPABILITIES capabilities;
	ParseCapabilitiesPage(buffer.data(), buffer.size(), &capabilities);
	HeaderSupportsFua(buffer.data(), buffer.size());

	int32 length = 0;
	std::vector<uint8> parameters = buffer;
	if (PrepareCdParametersSelect(parameters.data(), parameters.size(), size > 0 ? data[0] : 0, &length)) {
		if (length < 8 || size_t(length) > parameters.size())
			__builtin_trap();
	}
	parameters = buffer;
	if (PrepareAudioControlSelect(parameters.data(), parameters.size(), &length)) {
		if (length < 8 || size_t(length) > parameters.size())
			__builtin_trap();
	}

	uint8 position[16] = {};
	memcpy(position, data, size < sizeof(position) ? size : sizeof(position));
	ParseCurrentPosition(position);
	return 0;
}
