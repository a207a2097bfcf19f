#include "addons/generic/DriveResponses.h"

#include "kit/device/CdAddress.h"
#include "kit/device/ScsiCommands.h"
#include "kit/support/ByteOrder.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace response {

namespace {

// The last sector a CD can address: 99:59:74.
constexpr int32 kLastAddressable = kCdLastMsfLba;

bool FindPage(const uint8* data, size_t usable, size_t firstPage, uint8 pageCode, size_t* offset, size_t* size)
{
	size_t at = firstPage;
	while (at + 2 <= usable) {
		size_t pageSize = size_t(data[at + 1]) + 2;
		if ((data[at] & kModePageCodeMask) == (pageCode & kModePageCodeMask)) {
			*offset = at;
			*size = std::min(pageSize, usable - at);
			return true;
		}
		at += pageSize;
	}
	return false;
}

}   // namespace

size_t UsableLength16(const uint8* data, size_t transferred, size_t bufferSize)
{
	size_t arrived = std::min(transferred, bufferSize);
	if (arrived < 2)
		return 0;
	return std::min(arrived, size_t(GetBe16(data)) + 2);
}

bool FindModePage10(const uint8* data, size_t transferred, uint8 pageCode, size_t* offset, size_t* size)
{
	size_t usable = UsableLength16(data, transferred, transferred);
	if (usable < 8)
		return false;
	return FindPage(data, usable, 8 + size_t(GetBe16(data + 6)), pageCode, offset, size);
}

bool FindModePage6(const uint8* data, size_t transferred, uint8 pageCode, size_t* offset, size_t* size)
{
	if (transferred < 4)
		return false;
	size_t usable = std::min(transferred, size_t(data[0]) + 1);
	return FindPage(data, usable, 4 + size_t(data[3]), pageCode, offset, size);
}

void ClampModeSense10(uint8* data, size_t bufferSize, size_t transferred)
{
	size_t arrived = std::min(transferred, bufferSize);
	size_t usable = arrived < 2 ? 0 : UsableLength16(data, arrived, bufferSize);
	// Bytes beyond the answer are no part of it.
	memset(data + usable, 0, bufferSize - usable);
	if (usable < 2)
		return;
	data[0] = uint8((usable - 2) >> 8);
	data[1] = uint8(usable - 2);
	if (usable >= 8) {
		size_t descriptors = std::min(size_t(GetBe16(data + 6)), usable - 8);
		data[6] = uint8(descriptors >> 8);
		data[7] = uint8(descriptors);
	} else {
		// No room for block descriptors.
		for (size_t i = 6; i < 8 && i < bufferSize; i++)
			data[i] = 0;
	}
}

bool ParseCapabilities(const uint8* data, size_t transferred, SCapabilities* capabilities)
{
	size_t offset = 0;
	size_t size = 0;
	*capabilities = SCapabilities();
	if (!FindModePage10(data, transferred, kModePageCapabilities, &offset, &size))
		return false;
	const uint8* page = data + offset;
	auto byte = [&](size_t i) -> uint8 { return i < size ? page[i] : 0; };
	auto word = [&](size_t i) -> uint16 { return i + 1 < size ? uint16(GetBe16(page + i)) : 0; };
	capabilities->cdrWrite = (byte(capability::kWriteAbilities) & capability::kWriteCdr) != 0;
	capabilities->cdrwWrite = (byte(capability::kWriteAbilities) & capability::kWriteCdrw) != 0;
	capabilities->testWrite = (byte(capability::kWriteAbilities) & capability::kTestWrite) != 0;
	capabilities->audioRead = (byte(capability::kAudioAbilities) & capability::kCdDaCommands) != 0;
	capabilities->maximumReadSpeed = word(capability::kMaximumReadSpeed);
	capabilities->bufferKb = word(capability::kBufferSize);
	capabilities->currentReadSpeed = word(capability::kCurrentReadSpeed);
	capabilities->maximumWriteSpeed = word(capability::kMaximumWriteSpeed);
	capabilities->currentWriteSpeed = word(capability::kCurrentWriteSpeed);
	return true;
}

bool ParseToc(const uint8* data, size_t transferred, SToc* toc)
{
	*toc = SToc();
	size_t usable = UsableLength16(data, transferred, transferred);
	if (usable < 4)
		return false;
	int32 first = data[2];
	int32 last = data[3];
	if (first < 1 || last > 99 || first > last)
		return false;

	bool seen[100] = {};
	bool leadOutSeen = false;
	for (size_t at = 4; at + 8 <= usable; at += 8) {
		const uint8* d = data + at;
		int32 number = d[2];
		int32 lba = int32(GetBe32(d + 4));
		if (lba < -kCdMsfOffset || lba > kLastAddressable)
			return false;
		if (number == 0xAA) {
			if (!leadOutSeen) {
				leadOutSeen = true;
				toc->leadOut = lba;
				toc->leadOutControl = uint8(d[1] & 0x0F);
			}
		} else if (number >= first && number <= last && !seen[number]) {
			seen[number] = true;
			toc->start[number] = lba;
			toc->control[number] = uint8(d[1] & 0x0F);
		}
	}
	if (!leadOutSeen)
		return false;
	for (int32 n = first; n <= last; n++) {
		if (!seen[n])
			return false;
		int32 next = n < last ? toc->start[n + 1] : toc->leadOut;
		if (toc->start[n] >= next)
			return false;
	}
	toc->firstTrack = first;
	toc->lastTrack = last;
	return true;
}

bool ParseFormattedQ(const uint8* q, size_t size, bool bcd, int32* track, int32* index)
{
	if (size < 3 || (q[0] & 0x0F) != cdb::kAdrPosition)
		return false;
	int32 t = QValue(q[1], bcd);
	int32 i = QValue(q[2], bcd);
	if (t < 1 || t > 99 || i < 0 || i > 99)
		return false;
	*track = t;
	*index = i;
	return true;
}

size_t ClampCdText(uint8* data, size_t bufferSize, size_t transferred)
{
	size_t arrived = std::min(transferred, bufferSize);
	size_t usable = UsableLength16(data, arrived, bufferSize);
	size_t packs = usable >= 4 ? (usable - 4) / 18 : 0;
	size_t end = 4 + packs * 18;
	if (bufferSize >= 2) {
		size_t length = packs > 0 ? end - 2 : 0;
		data[0] = uint8(length >> 8);
		data[1] = uint8(length);
	}
	size_t keep = std::min(std::max<size_t>(end, 2), bufferSize);
	if (packs == 0)
		keep = std::min<size_t>(2, bufferSize);
	if (keep < bufferSize)
		memset(data + keep, 0, bufferSize - keep);
	return packs;
}

bool CopyDiscInformation(const uint8* data, size_t transferred, SCSI_DISC_INFORMATION* information)
{
	uint8* out = reinterpret_cast<uint8*>(information);
	memset(out, 0, sizeof(*information));
	size_t usable = std::min(UsableLength16(data, transferred, transferred), sizeof(*information));
	if (usable < 3)
		return false;
	memcpy(out, data, usable);
	out[0] = uint8((usable - 2) >> 8);
	out[1] = uint8(usable - 2);
	return true;
}

bool ParseTrackInformation(const uint8* data, size_t transferred, STrackInformation* information)
{
	*information = STrackInformation();
	size_t usable = UsableLength16(data, transferred, transferred);
	if (usable < 28)
		return false;
	information->track = data[2] | (usable > 32 ? int32(data[32]) << 8 : 0);
	information->session = data[3] | (usable > 33 ? int32(data[33]) << 8 : 0);
	information->blank = (data[6] & 0x40) != 0;
	information->nextWritableValid = (data[7] & 0x01) != 0;
	information->start = int32(GetBe32(data + 8));
	information->nextWritable = int32(GetBe32(data + 12));
	information->freeBlocks = int32(GetBe32(data + 16));
	information->size = int32(GetBe32(data + 24));
	return true;
}

bool ParseBufferCapacity(const uint8* data, size_t transferred, int32* totalBytes, int32* freeBytes)
{
	if (transferred < 12)
		return false;
	uint32 total = std::min<uint32>(GetBe32(data + 4), INT32_MAX);
	uint32 blank = std::min<uint32>(GetBe32(data + 8), total);
	*totalBytes = int32(total);
	*freeBytes = int32(blank);
	return true;
}

bool ParseCueSheet(const void* data, size_t size, SCueSheet* sheet)
{
	*sheet = SCueSheet();
	const auto* bytes = static_cast<const uint8*>(data);
	if (bytes == nullptr || size % kCueSheetEntrySize != 0 || size < 3 * kCueSheetEntrySize
		|| size / kCueSheetEntrySize > size_t(SCueSheet::kMaxEntries))
		return false;
	int32 count = int32(size / kCueSheetEntrySize);
	int32 lastLba = -kCdMsfOffset;
	int32 currentTrack = 0;
	bool hasIndex1[100] = {};
	bool hasPregap[100] = {};
	for (int32 i = 0; i < count; i++) {
		SCueSheetEntry entry;
		if (!DecodeCueSheetEntry(bytes + size_t(i) * kCueSheetEntrySize, &entry) || entry.adr != cdb::kAdrPosition)
			return false;
		if (entry.lba < lastLba)
			return false;
		lastLba = entry.lba;
		bool last = i == count - 1;
		if (i == 0) {
			if (entry.track != cdb::kLeadInTrack)
				return false;
		} else if (last) {
			if (entry.track != cdb::kLeadOutTrack)
				return false;
		} else {
			if (entry.track < 1 || entry.track > 99 || entry.index > 99)
				return false;
			if (entry.track != currentTrack) {
				if (entry.track != currentTrack + 1)
					return false;
				currentTrack = entry.track;
				sheet->pregapStart[currentTrack] = entry.lba;
				sheet->control[currentTrack] = entry.control;
				if (currentTrack == 1)
					sheet->firstLba = entry.lba;
			}
			if (entry.index == 0) {
				if (hasIndex1[currentTrack])
					return false;
				hasPregap[currentTrack] = true;
			} else if (entry.index == 1 && !hasIndex1[currentTrack]) {
				hasIndex1[currentTrack] = true;
				sheet->start[currentTrack] = entry.lba;
			} else if (!hasIndex1[currentTrack]) {
				return false;
			}
		}
		sheet->entries[i] = entry;
	}
	if (currentTrack == 0)
		return false;
	for (int32 n = 1; n <= currentTrack; n++) {
		if (!hasIndex1[n])
			return false;
		if (!hasPregap[n])
			sheet->pregapStart[n] = sheet->start[n];
	}
	sheet->count = count;
	sheet->firstTrack = 1;
	sheet->lastTrack = currentTrack;
	sheet->leadOut = sheet->entries[count - 1].lba;
	if (sheet->leadOut <= sheet->start[currentTrack])
		return false;
	return true;
}

}   // namespace response
