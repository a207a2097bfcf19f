// Sense, status and error texts, and the sysfs attribute parsers, over
// arbitrary bytes.
#include "devices/ScsiMisc.h"
#include "kit/device/ScsiSysfs.h"

#include <cstring>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	SCSI_STATUS status;
	memset(&status, 0, sizeof(status));
	memcpy(&status, data, size < sizeof(status) ? size : sizeof(status));
	bool verbose = size > 0 && (data[0] & 1) != 0;

	std::string text = GetScsiErrorMessage("fuzz", &status, verbose);
	text += GetScsiSenseMessage(status.sense.SenseKey, status.sense.AdditionalSenseCode,
		status.sense.AdditionalSenseCodeQualifier, verbose);
	if (size >= 3)
		text += GetScsiSenseMessage(data[0], data[1], data[2], verbose);
	text += GetScsiStatusByteDescription(status.scsi_status);
	text += GetCamStatusByteDescription(status.cam_status);
	DumpSense(&status.sense);

	std::string_view input(reinterpret_cast<const char*>(data), size);
	int a, b, c, d;
	ParseScsiAddress(input, &a, &b, &c, &d);
	ParseSysfsNumber(input, &a);
	IsLibataHostName(input);
	return text.empty() ? 1 : 0;
}
