#include "devices/DevicePages.h"

namespace {

uint16 Get16(const uint8* bytes)
{
	return uint16(bytes[0] << 8 | bytes[1]);
}

int32 Get32(const uint8* bytes)
{
	return int32(uint32(bytes[0]) << 24 | uint32(bytes[1]) << 16 | uint32(bytes[2]) << 8 | uint32(bytes[3]));
}

void Put16(uint8* bytes, uint16 value)
{
	bytes[0] = uint8(value >> 8);
	bytes[1] = uint8(value);
}

constexpr size_t kHeaderSize = 8;

}   // namespace

bool LocateModePage(const uint8* buffer, size_t size, size_t needed, size_t* offset)
{
	if (buffer == nullptr || size < kHeaderSize)
		return false;
	size_t start = kHeaderSize + Get16(buffer + 6);
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
	if ((page[0] & 0x3F) != 0x2A)
		return false;
	capabilities->audioReadByte2 = (page[2] & 0x01) != 0;
	capabilities->cdrWriting = (page[3] & 0x01) != 0;
	capabilities->cdrwWriting = (page[3] & 0x02) != 0;
	capabilities->testWriting = (page[3] & 0x04) != 0;
	capabilities->audioReading = (page[5] & 0x01) != 0;
	capabilities->audioAccurate = (page[5] & 0x02) != 0;
	capabilities->isrcReading = (page[5] & 0x20) != 0;
	capabilities->mcnReading = (page[5] & 0x40) != 0;
	capabilities->maximumReadSpeed = Get16(page + 8);
	capabilities->currentReadSpeed = Get16(page + 14);
	capabilities->maximumWriteSpeed = Get16(page + 18);
	capabilities->currentWriteSpeed = Get16(page + 20);
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
	page[0] &= 0x3F;
	page[3] = uint8((page[3] & 0xF0) | (timer & 0x0F));
	Put16(page + 4, 60);
	Put16(page + 6, 75);
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
	page[0] = uint8(0x0E | (page[0] & 0x40));
	page[2] = uint8((page[2] | 0x04) & ~0x02);
	*length = int32(offset + 16);
	return true;
}

bool HeaderSupportsFua(const uint8* buffer, size_t size)
{
	return buffer != nullptr && size >= 4 && (buffer[3] & 0x10) != 0;
}

SUBCHANNEL_POSITION ParseCurrentPosition(const uint8 (&data)[16])
{
	SUBCHANNEL_POSITION position;
	if (data[1] != 0x11 && data[1] != 0x12)
		return position;
	position.playing = true;
	position.paused = data[1] == 0x12;
	position.track = data[6];
	position.absoluteFrames = PositionToFrames(Get32(data + 8));
	position.relativeFrames = PositionToFrames(Get32(data + 12));
	return position;
}

int32 PositionToFrames(int32 address)
{
	// Wide arithmetic: a drive may send any address.
	const int64 frames = int64(address) + (address < -150 ? 450150 : 150);
	return int32(frames);
}
