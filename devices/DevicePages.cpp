#include "devices/DevicePages.h"

#include "kit/device/CdAddress.h"
#include "kit/device/ScsiCommands.h"
#include "kit/device/ScsiParameters.h"
#include "kit/support/ByteOrder.h"

namespace {

constexpr size_t kHeaderSize = 8;

}   // namespace

bool LocateModePage(const uint8* buffer, size_t size, size_t needed, size_t* offset)
{
	if (buffer == nullptr || size < kHeaderSize)
		return false;
	size_t start = kHeaderSize + GetBe16(buffer + 6);
	if (start > size || needed > size - start)
		return false;
	*offset = start;
	return true;
}

bool ParseCapabilitiesPage(const uint8* buffer, size_t size, MMC_CAPABILITIES* capabilities)
{
	*capabilities = MMC_CAPABILITIES();
	size_t offset = 0;
	if (!LocateModePage(buffer, size, 22, &offset))
		return false;
	const uint8* page = buffer + offset;
	if ((page[0] & kModePageCodeMask) != kModePageCapabilities)
		return false;
	using namespace capability;
	capabilities->audioReadByte2 = (page[kReadAbilities] & kReadCdr) != 0;
	capabilities->cdrWriting = (page[kWriteAbilities] & kWriteCdr) != 0;
	capabilities->cdrwWriting = (page[kWriteAbilities] & kWriteCdrw) != 0;
	capabilities->testWriting = (page[kWriteAbilities] & kTestWrite) != 0;
	capabilities->audioReading = (page[kAudioAbilities] & kCdDaCommands) != 0;
	capabilities->audioAccurate = (page[kAudioAbilities] & kCdDaAccurate) != 0;
	capabilities->isrcReading = (page[kAudioAbilities] & kIsrcRead) != 0;
	capabilities->mcnReading = (page[kAudioAbilities] & kCatalogueRead) != 0;
	capabilities->maximumReadSpeed = GetBe16(page + kMaximumReadSpeed);
	capabilities->currentReadSpeed = GetBe16(page + kCurrentReadSpeed);
	capabilities->maximumWriteSpeed = GetBe16(page + kMaximumWriteSpeed);
	capabilities->currentWriteSpeed = GetBe16(page + kCurrentWriteSpeed);
	return true;
}

bool PrepareCdParametersSelect(uint8* buffer, size_t size, int32 timer, int32* length)
{
	size_t offset = 0;
	if (!LocateModePage(buffer, size, 8, &offset))
		return false;
	uint8* page = buffer + offset;
	for (size_t i = 0; i < 6; i++)
		buffer[i] = 0;
	page[0] &= kModePageCodeMask;
	page[3] = uint8((page[3] & 0xF0) | (timer & 0x0F));
	SetBe16(page + 4, 60);                    // S units per M
	SetBe16(page + 6, kCdFramesPerSecond);    // F units per S
	*length = int32(offset + 8);
	return true;
}

bool PrepareAudioControlSelect(uint8* buffer, size_t size, int32* length)
{
	size_t offset = 0;
	if (!LocateModePage(buffer, size, 16, &offset))
		return false;
	uint8* page = buffer + offset;
	for (size_t i = 0; i < 6; i++)
		buffer[i] = 0;
	page[0] = uint8(kModePageCdAudioControl | (page[0] & 0x40));
	page[2] = uint8((page[2] | audio_control::kImmediate) & ~audio_control::kStopOnTrackCrossing);
	*length = int32(offset + 16);
	return true;
}

bool HeaderSupportsFua(const uint8* buffer, size_t size)
{
	// MODE SENSE(10) header byte 3, the device-specific parameter: DPOFUA.
	return buffer != nullptr && size >= 4 && (buffer[3] & 0x10) != 0;
}

SUBCHANNEL_POSITION ParseCurrentPosition(const uint8 (&data)[16])
{
	SUBCHANNEL_POSITION position;
	if (data[1] != cdb::kAudioStatusPlaying && data[1] != cdb::kAudioStatusPaused)
		return position;
	position.playing = true;
	position.paused = data[1] == cdb::kAudioStatusPaused;
	position.track = data[6];
	position.absoluteFrames = PositionToFrames(int32(GetBe32(data + 8)));
	position.relativeFrames = PositionToFrames(int32(GetBe32(data + 12)));
	return position;
}

int32 PositionToFrames(int32 address)
{
	return LbaToFrames(address);
}
