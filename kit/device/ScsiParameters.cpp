// The write parameters page and cue sheet entries.
#include "kit/device/ScsiParameters.h"

#include "kit/device/CdAddress.h"
#include "kit/device/ScsiCommands.h"
#include "kit/support/ByteOrder.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint8 kWriteParametersLength = kWriteParametersPageSize - 2;
constexpr size_t kCatalogueOffset = 16;
constexpr size_t kCatalogueDigits = 13;
constexpr size_t kIsrcOffset = 32;
constexpr size_t kIsrcCharacters = 12;
constexpr uint8 kValidBit = 0x80;

uint8 SetField(uint8 byte, uint8 mask, uint8 value)
{
	return uint8((byte & ~mask) | (value & mask));
}

// The 16-byte field of a catalogue number or ISRC at `offset`, when the page
// holds it: the valid bit and at most `length` characters of `code`.
void PutCode(uint8* page, size_t size, size_t offset, bool valid, const char* code, size_t length)
{
	if (size < offset + 16)
		return;
	uint8* field = page + offset;
	memset(field, 0, 16);
	if (valid) {
		field[0] = kValidBit;
		memcpy(field + 1, code, strnlen(code, length));
	}
}

}   // namespace

bool EncodeWriteParametersPage(const SWriteParameters& p, uint8* page, size_t size)
{
	if (page == nullptr || size < kWriteParametersMinimumSize)
		return false;
	page[0] = kModePageWriteParameters;
	if (page[1] == 0)
		page[1] = kWriteParametersLength;
	page[2] = SetField(page[2], 0x7F,
		uint8((p.bufferUnderrunFree ? 0x40 : 0) | (p.linkSizeValid ? 0x20 : 0) | (p.testWrite ? 0x10 : 0)
			| (p.writeType & 0x0F)));
	page[3] = uint8((p.multiSession & 0x03) << 6 | (p.fixedPackets ? 0x20 : 0) | (p.copy ? 0x10 : 0)
		| (p.trackMode & 0x0F));
	page[4] = SetField(page[4], 0x0F, p.dataBlockType);
	page[5] = p.linkSize;
	page[7] = SetField(page[7], 0x3F, p.applicationCode);
	page[8] = p.sessionFormat;
	SetBe32(page + 10, p.packetSize);
	SetBe16(page + 14, p.audioPauseLength);
	PutCode(page, size, kCatalogueOffset, p.catalogueValid, p.catalogue, kCatalogueDigits);
	PutCode(page, size, kIsrcOffset, p.isrcValid, p.isrc, kIsrcCharacters);
	return true;
}

bool DecodeWriteParametersPage(const uint8* page, size_t size, SWriteParameters* parameters)
{
	if (page == nullptr || size < 2 || (page[0] & kModePageCodeMask) != kModePageWriteParameters)
		return false;
	size = std::min(size, size_t(page[1]) + 2);
	if (size < kWriteParametersMinimumSize)
		return false;
	SWriteParameters p;
	p.bufferUnderrunFree = (page[2] & 0x40) != 0;
	p.linkSizeValid = (page[2] & 0x20) != 0;
	p.testWrite = (page[2] & 0x10) != 0;
	p.writeType = page[2] & 0x0F;
	p.multiSession = uint8(page[3] >> 6);
	p.fixedPackets = (page[3] & 0x20) != 0;
	p.copy = (page[3] & 0x10) != 0;
	p.trackMode = page[3] & 0x0F;
	p.dataBlockType = page[4] & 0x0F;
	p.linkSize = page[5];
	p.applicationCode = page[7] & 0x3F;
	p.sessionFormat = page[8];
	p.packetSize = GetBe32(page + 10);
	p.audioPauseLength = GetBe16(page + 14);
	if (size >= kCatalogueOffset + 1 + kCatalogueDigits && (page[kCatalogueOffset] & kValidBit) != 0) {
		p.catalogueValid = true;
		memcpy(p.catalogue, page + kCatalogueOffset + 1, kCatalogueDigits);
	}
	if (size >= kIsrcOffset + 1 + kIsrcCharacters && (page[kIsrcOffset] & kValidBit) != 0) {
		p.isrcValid = true;
		memcpy(p.isrc, page + kIsrcOffset + 1, kIsrcCharacters);
	}
	*parameters = p;
	return true;
}

void EncodeCueSheetEntry(const SCueSheetEntry& entry, uint8* out, bool bcd)
{
	SCdMsf msf = FramesToMsf(std::max(0, entry.lba + kCdMsfOffset));
	auto number = [bcd](uint8 value) { return bcd ? ToBcd(value) : value; };
	out[0] = uint8(entry.control << 4 | (entry.adr & 0x0F));
	out[1] = entry.track == cdb::kLeadOutTrack ? uint8(cdb::kLeadOutTrack) : number(entry.track);
	out[2] = number(entry.index);
	out[3] = entry.dataForm;
	out[4] = entry.scms;
	out[5] = number(msf.minute);
	out[6] = number(msf.second);
	out[7] = number(msf.frame);
}

bool DecodeCueSheetEntry(const uint8* in, SCueSheetEntry* entry, bool bcd)
{
	int32 track = in[1] == cdb::kLeadOutTrack ? cdb::kLeadOutTrack : QValue(in[1], bcd);
	int32 index = QValue(in[2], bcd);
	int32 minute = QValue(in[5], bcd);
	int32 second = QValue(in[6], bcd);
	int32 frame = QValue(in[7], bcd);
	if (track < 0 || index < 0 || minute < 0 || second < 0 || second > 59 || frame < 0 || frame > 74)
		return false;
	SCueSheetEntry e;
	e.control = uint8(in[0] >> 4);
	e.adr = uint8(in[0] & 0x0F);
	e.track = uint8(track);
	e.index = uint8(index);
	e.dataForm = in[3];
	e.scms = in[4];
	e.lba = ProgramMsfToLba(minute, second, frame);
	*entry = e;
	return true;
}
