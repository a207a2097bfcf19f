// libFuzzer target: the command interpreter of the virtual drives, MMC and
// the vendor dialects (Teac, Philips, Yamaha, Plextor), with their parameter
// lists (MODE SELECT block descriptors and pages, SET SUBCODE, WRITE
// SESSION, WRITE TOC) and the answers built in the drive (GET
// CONFIGURATION, events, formatted and raw sub-channel, overruns). Whatever the stream of commands asks, a drive must stay inside
// the buffers it was given and never report more data than there was room
// for.
//
// Input: byte 0 picks the dialect (bits 0-2, modulo 5), the medium (bit 3:
// a small audio disc, else a blank CD-R) and hex formatted Q (bit 4); then records of a flags byte, 16 command
// block bytes and a 2-byte data length; data-out commands carry the bytes
// that follow.
#include "emulator/DriveConfig.h"
#include "emulator/MmcDrive.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// A two-track disc of 40 sectors, made once.
std::shared_ptr<CDiscImage> SmallDisc()
{
	static std::shared_ptr<CDiscImage> disc = [] {
		char folder[] = "/tmp/tw-fuzz-XXXXXX";
		if (mkdtemp(folder) == nullptr)
			abort();
		std::string base = folder;
		FILE* bin = fopen((base + "/d.bin").c_str(), "wb");
		for (int i = 0; i < 40 * 2352; i++)
			fputc(i * 13 & 0xFF, bin);
		fclose(bin);
		FILE* cue = fopen((base + "/d.cue").c_str(), "w");
		fputs("FILE \"d.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n TRACK 02 AUDIO\n"
			  "  INDEX 00 00:00:20\n  INDEX 01 00:00:25\n",
			cue);
		fclose(cue);
		std::shared_ptr<CDiscImage> image;
		if (CDiscImage::LoadCue(base + "/d.cue", &image, nullptr) != B_OK)
			abort();
		return image;
	}();
	return disc;
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	static uint8 buffer[16384];
	if (size < 1)
		return 0;
	const CDriveConfig::dialect_type dialects[] = {CDriveConfig::kDialectTeac, CDriveConfig::kDialectPhilips,
		CDriveConfig::kDialectYamaha, CDriveConfig::kDialectPlextor, CDriveConfig::kDialectMmc};
	CDriveConfig config;
	config.realTime = false;
	config.dialect = dialects[(data[0] & 0x07) % 5];
	config.hexQ = (data[0] & 0x10) != 0;
	std::shared_ptr<CDiscImage> medium
		= (data[0] & 0x08) != 0 ? SmallDisc() : CDiscImage::CreateBlank(CDiscImage::kBlankCdR, 74);
	CMmcDrive drive(config, medium);

	size_t offset = 1;
	while (offset + 19 <= size) {
		const uint8_t* record = data + offset;
		offset += 19;
		raw_device_command command {};
		std::memcpy(command.command, record + 1, 16);
		command.command_length = uint8(6 + (record[0] & 0x0F) % 11);
		command.flags = uint8((record[0] >> 4) & 0x03) | B_RAW_DEVICE_REPORT_RESIDUAL;
		size_t length = std::min<size_t>(size_t(record[17]) << 8 | record[18], sizeof(buffer));
		if ((command.flags & B_RAW_DEVICE_DATA_IN) == 0) {
			size_t n = std::min(length, size - offset);
			std::memcpy(buffer, data + offset, n);
			offset += n;
		}
		uint8 sense[18];
		command.data = length > 0 ? buffer : nullptr;
		command.data_length = length;
		command.sense_data = sense;
		command.sense_data_length = sizeof(sense);
		if (drive.Execute(&command) == B_OK && (command.data_length > length || command.sense_data_length > 18))
			abort();
	}
	return 0;
}
