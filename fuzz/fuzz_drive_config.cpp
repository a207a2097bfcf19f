// libFuzzer target: the description file of the virtual drives. A refused
// text must give a line-numbered error and no drives; an accepted one must
// respect the documented bounds, and every drive it describes must answer
// its identity and mode pages without touching memory it does not own.
#include "emulator/DriveConfig.h"
#include "emulator/MmcDrive.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

void Send(CMmcDrive& drive, std::initializer_list<uint8> cdb, size_t length)
{
	static uint8 buffer[2048];
	uint8 sense[18];
	raw_device_command command {};
	std::memcpy(command.command, cdb.begin(), cdb.size());
	command.command_length = uint8(cdb.size());
	command.flags = B_RAW_DEVICE_DATA_IN | B_RAW_DEVICE_REPORT_RESIDUAL;
	command.data = buffer;
	command.data_length = length;
	command.sense_data = sense;
	command.sense_data_length = sizeof(sense);
	if (drive.Execute(&command) != B_OK || command.data_length > length)
		abort();
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	std::vector<CDriveConfig> drives;
	std::string error;
	std::string_view text(reinterpret_cast<const char*>(data), size);
	if (CDriveConfig::Parse(text, "/base", &drives, &error) != B_OK) {
		if (error.empty() || !drives.empty())
			abort();
		return 0;
	}
	if (drives.size() > CDriveConfig::kMaxDrives)
		abort();
	for (const CDriveConfig& config : drives) {
		if (config.vendor.size() > 8 || config.product.size() > 16 || config.revision.size() > 4)
			abort();
		if (config.capabilities.readSpeeds.empty() || config.minutes < 1 || config.minutes > 99)
			abort();
		if (config.medium == CDriveConfig::kMediumImage && config.image.empty())
			abort();
		CDriveConfig instant = config;
		instant.realTime = false;
		CMmcDrive drive(instant, CDiscImage::CreateBlank(CDiscImage::kBlankCdR, config.minutes));
		Send(drive, {0x12, 0, 0, 0, 0xFF, 0}, 255);
		Send(drive, {0x5A, 0, 0x3F, 0, 0, 0, 0, 0x08, 0x00, 0}, 2048);
		Send(drive, {0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 20, 0}, 20);
		Send(drive, {0xBB, 0, 0x12, 0x34, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0}, 0);
		Send(drive, {0x43, 0, 4, 0, 0, 0, 0, 0, 40, 0}, 40);
	}
	return 0;
}
