// The debug tools' decoders: the write parameters page of a MODE SENSE
// answer of the fuzzer's bytes, and the disc information and ATIP records
// filled from them.
#include "devices/DebugTools.h"
#include "driver/driverbaseclass.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	// An exact-size copy, so that a read past the answer is caught.
	std::vector<uint8> buffer(data, data + size);
	DescribeWriteParametersPage(buffer.data(), buffer.size());

	SCSI_DISC_INFORMATION information;
	memset(&information, 0, sizeof(information));
	memcpy(&information, data, size < sizeof(information) ? size : sizeof(information));
	DescribeDiscInformation(information);

	SCSI_ATIP_DATA atip;
	memset(&atip, 0, sizeof(atip));
	memcpy(&atip, data, size < sizeof(atip) ? size : sizeof(atip));
	DescribeAtipData(atip);
	return 0;
}
