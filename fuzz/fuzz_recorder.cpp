// libFuzzer target: the write side of the virtual recorder, its SEND CUE
// SHEET parser and the write parameters page 05h. The cue sheet plan must
// hold together whenever it is accepted, and a recorder taking the page and
// the sheet must then answer every write, flush and close without leaving
// its buffers.
//
// Input: byte 0 picks the medium (bit 0: CD-RW), the write type (bit 1:
// session at once, else track at once) and the write size (bits 2-7); then
// the 52 bytes of page 05h (test writing is always set: nothing is stored);
// the rest is the cue sheet.
#include "emulator/MmcDrive.h"
#include "emulator/RecorderState.h"
#include "kit/device/ScsiParameters.h"
#include "kit/support/ByteOrder.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int32 kCapacity = 74 * 60 * 75 - 151;
constexpr size_t kSector = 2352;

void CheckPlan(const SCueSheetPlan& plan)
{
	if (plan.disc.tracks.empty() || plan.ranges.empty() || plan.disc.leadOut > kCapacity)
		abort();
	int32 at = plan.FirstSector();
	for (const SCueSheetPlan::SRange& range : plan.ranges) {
		if (range.start != at || range.count <= 0)
			abort();
		at += range.count;
	}
	if (at != plan.disc.leadOut)
		abort();
	int number = 0;
	for (const SWrittenDisc::STrack& track : plan.disc.tracks) {
		if (track.number != number + 1 || track.pregapStart > track.start || track.start >= track.end
			|| track.indexes.empty() || track.indexes.front().second != track.start)
			abort();
		number = track.number;
	}
}

struct SResult {
	bool good = false;
	uint8 key = 0;
};

SResult Send(CMmcDrive& drive, std::initializer_list<uint8> cdb, uint8* data, size_t length, bool out)
{
	raw_device_command command {};
	std::memcpy(command.command, cdb.begin(), cdb.size());
	command.command_length = uint8(cdb.size());
	command.flags = uint8((out ? 0 : B_RAW_DEVICE_DATA_IN) | B_RAW_DEVICE_REPORT_RESIDUAL);
	command.data = data;
	command.data_length = length;
	uint8 sense[18] = {};
	command.sense_data = sense;
	command.sense_data_length = sizeof(sense);
	if (drive.Execute(&command) != B_OK || command.data_length > length || command.sense_data_length > 18)
		abort();
	return {command.scsi_status == 0, uint8(sense[2] & 0x0F)};
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	if (size < 1 + kWriteParametersPageSize)
		return 0;
	const uint8* sheet = data + 1 + kWriteParametersPageSize;
	const size_t sheetLength = size - 1 - kWriteParametersPageSize;

	SCueSheetPlan plan;
	if (!ParseCueSheetPlan(sheet, sheetLength, kCapacity, &plan).IsError())
		CheckPlan(plan);

	static std::vector<uint8> buffer(64 * kSector);
	CDriveConfig config;
	config.realTime = false;
	config.capabilities.bufferUnderrunFree = true;
	config.output = "/nonexistent";   // test writes store nothing
	CMmcDrive drive(config,
		CDiscImage::CreateBlank((data[0] & 0x01) != 0 ? CDiscImage::kBlankCdRw : CDiscImage::kBlankCdR, 74));

	uint8 list[8 + kWriteParametersPageSize] = {};
	std::memcpy(list + 8, data + 1, kWriteParametersPageSize);
	list[8] = kModePageWriteParameters;
	list[9] = uint8(kWriteParametersPageSize - 2);
	list[10] = uint8((list[10] & 0x60) | 0x10 | ((data[0] & 0x02) != 0 ? 0x02 : 0x01));
	Send(drive, {0x55, 0x10, 0, 0, 0, 0, 0, 0, uint8(sizeof(list)), 0}, list, sizeof(list), true);

	std::vector<uint8> cue(sheet, sheet + sheetLength);
	uint32 n = uint32(cue.size());
	Send(drive, {0x5D, 0, 0, 0, 0, 0, uint8(n >> 16), uint8(n >> 8), uint8(n), 0}, cue.data(), cue.size(), true);

	// Write at the next writable address until refused (at most 3000 sectors).
	const uint16 count = uint16(1 + (data[0] >> 2));
	int written = 0;
	for (int i = 0; i < 3000 / count; i++) {
		uint8 info[36] = {};
		if (!Send(drive, {0x52, 0x01, 0, 0, 0, 0xFF, 0, 0, 36, 0}, info, sizeof(info), false).good || (info[7] & 1) == 0)
			break;
		uint32 nwa = GetBe32(info + 12);
		SResult r = Send(drive,
			{0x2A, 0, uint8(nwa >> 24), uint8(nwa >> 16), uint8(nwa >> 8), uint8(nwa), 0, uint8(count >> 8),
				uint8(count), 0},
			buffer.data(), std::min<size_t>(size_t(count) * kSector, buffer.size()), true);
		if (!r.good && r.key != 0x2)
			break;
		written += count;
	}
	uint8 capacity[12];
	Send(drive, {0x5C, 0, 0, 0, 0, 0, 0, 0, 12, 0}, capacity, sizeof(capacity), false);
	Send(drive, {0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}, nullptr, 0, false);
	Send(drive, {0x5B, 0, 0x02, 0, 0, 0, 0, 0, 0, 0}, nullptr, 0, false);
	if (!drive.Medium()->IsBlank())
		abort();   // a test write leaves the medium blank
	(void)written;
	return 0;
}
