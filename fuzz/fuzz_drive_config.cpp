// libFuzzer target: the description file of the virtual drives, and the
// drive's command interpreter. A refused text must give a line-numbered
// error and no drives; an accepted one must respect the documented bounds,
// and every drive it describes must answer its identity and mode pages.
// The same bytes, read as a stream of command blocks, go to a drive holding
// a small audio disc: whatever they ask, the drive must stay inside the
// buffers it was given.
#include "emulator/DriveConfig.h"
#include "emulator/MmcDrive.h"

#include <unistd.h>

#include <cstdio>
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

// A three-track disc of 60 sectors with CD-Text, made once.
std::shared_ptr<CDiscImage> SmallDisc()
{
	static std::shared_ptr<CDiscImage> disc = [] {
		char folder[] = "/tmp/tw-fuzz-XXXXXX";
		if (mkdtemp(folder) == nullptr)
			abort();
		std::string base = folder;
		FILE* bin = fopen((base + "/d.bin").c_str(), "wb");
		for (int i = 0; i < 60 * 2352; i++)
			fputc(i * 7 & 0xFF, bin);
		fclose(bin);
		FILE* cue = fopen((base + "/d.cue").c_str(), "w");
		fputs("CATALOG 0000000000001\nTITLE \"T\"\nFILE \"d.bin\" BINARY\n TRACK 01 AUDIO\n  ISRC USTW10000001\n"
			  "  INDEX 01 00:00:00\n TRACK 02 AUDIO\n  INDEX 00 00:00:20\n  INDEX 01 00:00:25\n"
			  "  INDEX 02 00:00:30\n TRACK 03 AUDIO\n  TITLE \"x\"\n  INDEX 01 00:00:40\n",
			cue);
		fclose(cue);
		std::shared_ptr<CDiscImage> image;
		if (CDiscImage::LoadCue(base + "/d.cue", &image, nullptr) != B_OK)
			abort();
		return image;
	}();
	return disc;
}

// Each record: flags, a clock step, 16 command block bytes, and a data
// length (2 bytes); data-out commands carry the bytes that follow.
void RunCommands(const uint8_t* data, size_t size)
{
	static uint8 buffer[70000];
	auto clock = std::make_shared<CManualDriveClock>();
	CDriveConfig config;
	config.realTime = false;
	CMmcDrive drive(config, SmallDisc(), clock);
	size_t offset = 0;
	while (offset + 20 <= size) {
		const uint8_t* record = data + offset;
		offset += 20;
		raw_device_command command {};
		std::memcpy(command.command, record + 2, 16);
		command.command_length = uint8(6 + (record[0] & 0x0F) % 11);
		command.flags = uint8((record[0] >> 4) & 0x07);
		size_t length = size_t(record[18]) << 8 | record[19];
		if ((record[0] & 0x80) != 0)
			length *= 16;
		length = std::min(length, sizeof(buffer));
		if ((command.flags & B_RAW_DEVICE_DATA_IN) == 0) {
			size_t n = std::min(length, size - offset);
			std::memcpy(buffer, data + offset, n);
			offset += n;
		}
		uint8 sense[18];
		command.data = length > 0 ? buffer : nullptr;
		command.data_length = length;
		command.sense_data = sense;
		command.sense_data_length = record[1] % 19;
		clock->Advance(bigtime_t(record[1]) * 100000);
		if (drive.Execute(&command) == B_OK && command.data_length > length)
			abort();
		if (record[1] == 0xFF)
			drive.InsertMedium(SmallDisc());
	}
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	RunCommands(data, size);

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
