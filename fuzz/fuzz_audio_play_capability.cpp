// The audio play capability of a drive's capabilities page, over arbitrary
// bytes: only the bytes given are read.
#include "players/CdTransports.h"

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	std::vector<uint8> bytes(data, data + size);
	CapabilitiesReportAudioPlay(bytes.data(), bytes.size());
	return 0;
}
