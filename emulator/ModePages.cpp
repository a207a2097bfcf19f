#include "emulator/ModePages.h"

#include "emulator/DriveConfig.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <utility>

using namespace mmc;

namespace {

std::vector<uint8> Page(uint8 code, size_t size)
{
	std::vector<uint8> page(size, 0);
	page[0] = code;
	page[1] = uint8(size - 2);
	return page;
}

}   // namespace

CModePages::CModePages(const SDriveCapabilities& capabilities, page_set set)
	:
	fCapabilities(capabilities),
	fMmc(set == kPagesMmc)
{
	if (fCapabilities.readSpeeds.empty())
		fCapabilities.readSpeeds.push_back(CDriveConfig::SpeedKbs(1));
	std::sort(fCapabilities.readSpeeds.begin(), fCapabilities.readSpeeds.end());
	std::sort(fCapabilities.writeSpeeds.begin(), fCapabilities.writeSpeeds.end());
	fReadSpeed = fCapabilities.readSpeeds.back();
	fWriteSpeed = fCapabilities.writeSpeeds.empty() ? 0 : fCapabilities.writeSpeeds.back();

	// 01h: read/write error recovery.
	{
		SPage p;
		p.code = kModePageErrorRecovery;
		p.defaults = Page(kModePageErrorRecovery, 12);
		p.defaults[3] = 0x10;   // read retry count
		p.defaults[8] = 0x10;   // write retry count
		p.changeable = Page(kModePageErrorRecovery, 12);
		p.changeable[2] = 0xF7;   // AWRE ARRE TB RC - PER DTE DCR
		p.changeable[3] = 0xFF;
		p.changeable[8] = 0xFF;
		p.changeable[10] = p.changeable[11] = 0xFF;
		fPages.push_back(p);
	}
	// 05h: write parameters, for MMC recorders.
	if (fMmc && (fCapabilities.writeCdR || fCapabilities.writeCdRw)) {
		SPage p;
		p.code = kModePageWriteParameters;
		p.defaults = Page(kModePageWriteParameters, 52);
		p.defaults[2] = 0x01;    // track at once
		p.defaults[3] = 0x04;    // track mode: data
		p.defaults[4] = 0x08;    // data block type: mode 1
		SetBe16(&p.defaults[14], 150);   // audio pause length
		p.changeable = Page(kModePageWriteParameters, 52);
		p.changeable[2] = uint8((fCapabilities.bufferUnderrunFree ? 0x40 : 0x00) | 0x20
			| (fCapabilities.testWrite ? 0x10 : 0x00) | 0x0F);
		p.changeable[3] = 0xFF;
		p.changeable[4] = 0x0F;
		p.changeable[5] = 0xFF;
		p.changeable[7] = 0x3F;
		p.changeable[8] = 0xFF;
		for (size_t i = 10; i < 52; i++)
			p.changeable[i] = 0xFF;
		fPages.push_back(p);
	}
	// 0Dh: CD device parameters.
	{
		SPage p;
		p.code = kModePageCdParameters;
		p.defaults = Page(kModePageCdParameters, 8);
		SetBe16(&p.defaults[4], 60);
		SetBe16(&p.defaults[6], 75);
		p.changeable = Page(kModePageCdParameters, 8);
		p.changeable[3] = 0x0F;
		fPages.push_back(p);
	}
	// 0Eh: CD audio control. Play commands always return at once (Immed).
	{
		SPage p;
		p.code = kModePageCdAudioControl;
		p.defaults = Page(kModePageCdAudioControl, 16);
		p.defaults[2] = 0x04;
		p.defaults[8] = 0x01;    // port 0: left channel
		p.defaults[9] = 0xFF;
		p.defaults[10] = 0x02;   // port 1: right channel
		p.defaults[11] = 0xFF;
		p.changeable = Page(kModePageCdAudioControl, 16);
		p.changeable[2] = 0x02;  // SOTC
		for (size_t i = 8; i < 16; i += 2) {
			p.changeable[i] = 0x0F;
			p.changeable[i + 1] = 0xFF;
		}
		fPages.push_back(p);
	}
	AddVendorPages(set);
	for (SPage& p : fPages) {
		p.current = p.defaults;
		p.saved = p.defaults;
	}
	// 2Ah: capabilities, built from the drive's state.
	if (fMmc) {
		SPage p;
		p.code = kModePageCapabilities;
		p.savable = false;
		fPages.push_back(p);
		BuildCapabilities();
	}
}

void CModePages::AddVendorPages(page_set set)
{
	auto add = [this](uint8 code, size_t size, std::initializer_list<std::pair<size_t, uint8>> defaults,
				   std::initializer_list<std::pair<size_t, uint8>> changeable) {
		SPage p;
		p.code = code;
		p.defaults = Page(code, size);
		p.changeable = Page(code, size);
		for (auto [at, value] : defaults)
			p.defaults[at] = value;
		for (auto [at, mask] : changeable)
			p.changeable[at] = mask;
		fPages.push_back(p);
	};
	auto factor = [](uint16 kbs) { return uint8(std::min(CDriveConfig::SpeedFactor(kbs), 255)); };
	uint16 maxWrite = fCapabilities.writeSpeeds.empty() ? 0 : fCapabilities.writeSpeeds.back();
	switch (set) {
		case kPagesMmc:
			break;
		case kPagesTeac:
			// 21h byte 2 bits 0-1: 3 = preview writing; 22h byte 4: write
			// method (2 disc at once); 31h byte 2: the speed code.
			add(kModePageTeacPreview, 3, {}, {{2, 0x03}});
			add(kModePageTeacWriteMethod, 9, {}, {{2, 0xFF}, {3, 0xFF}, {4, 0xFF}, {5, 0xFF}, {6, 0xFF}, {7, 0xFF}, {8, 0xFF}});
			add(kModePageTeacSpeed, 4, {}, {{2, 0xFF}});
			break;
		case kPagesPhilips: {
			// 21h: sector type, track and ISRC of the track to write; 22h:
			// catalogue number; 23h: byte 2 the writing speed, byte 3 bit 0
			// test writing, byte 4 the reading speed (factors).
			std::initializer_list<std::pair<size_t, uint8>> all21 = {{2, 0xFF}, {3, 0xFF}, {4, 0xFF}, {5, 0xFF},
				{6, 0xFF}, {7, 0xFF}, {8, 0xFF}, {9, 0xFF}, {10, 0xFF}, {11, 0xFF}, {12, 0xFF}, {13, 0xFF},
				{14, 0xFF}, {15, 0xFF}};
			add(kModePagePhilipsWriteTrack, 16, {}, all21);
			add(0x22, 10, {}, {{2, 0xFF}, {3, 0xFF}, {4, 0xFF}, {5, 0xFF}, {6, 0xFF}, {7, 0xFF}, {8, 0xFF},
				{9, 0xFF}});
			add(kModePagePhilipsSpeed, 8, {{2, factor(maxWrite)}, {4, factor(fCapabilities.readSpeeds.back())}},
				{{2, 0xFF}, {3, 0x01}, {4, 0xFF}});
			break;
		}
		case kPagesYamaha:
			// 31h byte 3: speed in the high nibble (0 single, 1 double, 2
			// quad), test writing in bit 0; 32h byte 3 bits 0-3: write format
			// (4 disc at once).
			add(kModePageYamahaConfiguration, 4, {{3, 0x20}}, {{3, 0xF1}});
			add(kModePageYamahaWriteFormat, 8, {}, {{2, 0xFF}, {3, 0xFF}});
			break;
		case kPagesPlextor:
			// 31h byte 2: the speed code, bytes 3-4 the special modes.
			add(kModePagePlextorSpeed, 8, {}, {{2, 0xFF}, {3, 0xFF}, {4, 0xFF}});
			break;
	}
}

const std::vector<uint8>* CModePages::CurrentPage(uint8 code) const
{
	const SPage* p = Find(code);
	return p != nullptr ? &p->current : nullptr;
}

void CModePages::BuildCapabilities()
{
	SPage* p = Find(kModePageCapabilities);
	if (p == nullptr)
		return;
	const SDriveCapabilities& c = fCapabilities;
	size_t descriptors = std::min<size_t>(c.writeSpeeds.size(), 16);
	size_t size = 32 + 4 * descriptors;
	std::vector<uint8> page = Page(kModePageCapabilities, size);
	page[2] = uint8((c.readCdR ? 0x01 : 0) | (c.readCdRw ? 0x02 : 0));
	page[3] = uint8((c.writeCdR ? 0x01 : 0) | (c.writeCdRw ? 0x02 : 0) | (c.testWrite ? 0x04 : 0));
	page[4] = uint8((c.audioPlay ? 0x01 : 0) | 0x40 | (c.bufferUnderrunFree ? 0x80 : 0));
	// R-W supported (the drive serves raw P-W through READ CD, with empty
	// R-W), not de-interleaved and corrected; C2 pointers.
	page[5] = uint8((c.cddaCommands ? 0x01 : 0) | (c.accurateStream ? 0x02 : 0) | 0x04 | 0x10 | (c.isrc ? 0x20 : 0)
		| (c.mcn ? 0x40 : 0));
	page[6] = uint8((c.lock ? 0x01 : 0) | (fLocked ? 0x02 : 0) | (c.eject ? 0x08 : 0) | 0x20);   // tray
	page[7] = c.audioPlay ? 0x03 : 0x00;
	uint16 maxWrite = c.writeSpeeds.empty() ? 0 : c.writeSpeeds.back();
	SetBe16(&page[capability::kMaximumReadSpeed], c.readSpeeds.back());
	SetBe16(&page[10], c.audioPlay ? 256 : 0);
	SetBe16(&page[capability::kBufferSize], c.bufferKb);
	SetBe16(&page[capability::kCurrentReadSpeed], fReadSpeed);
	SetBe16(&page[capability::kMaximumWriteSpeed], maxWrite);
	SetBe16(&page[capability::kCurrentWriteSpeed], fWriteSpeed);
	SetBe16(&page[28], fWriteSpeed);
	SetBe16(&page[30], uint32(descriptors));
	for (size_t i = 0; i < descriptors; i++)
		SetBe16(&page[32 + 4 * i + 2], c.writeSpeeds[c.writeSpeeds.size() - 1 - i]);   // fastest first

	p->current = page;
	p->defaults = page;
	SetBe16(&p->defaults[14], c.readSpeeds.back());
	SetBe16(&p->defaults[20], maxWrite);
	SetBe16(&p->defaults[28], maxWrite);
	p->defaults[6] &= uint8(~0x02);
	p->saved = p->current;
	p->changeable = Page(kModePageCapabilities, size);
}

CModePages::SPage* CModePages::Find(uint8 code)
{
	for (SPage& p : fPages)
		if (p.code == code)
			return &p;
	return nullptr;
}

const CModePages::SPage* CModePages::Find(uint8 code) const
{
	for (const SPage& p : fPages)
		if (p.code == code)
			return &p;
	return nullptr;
}

SSense CModePages::CollectPages(page_control control, uint8 page, uint8 subpage, std::vector<const SPage*>* pages,
	size_t* total) const
{
	*total = 0;
	if (subpage != 0 && !(page == 0x3F && subpage == 0xFF))
		return SenseInvalidCdbField(3);
	if (page == 0x3F) {
		for (const SPage& p : fPages)
			pages->push_back(&p);
	} else if (page == 0x00 && !fMmc) {
		// Page 0 of the SCSI-2 drives: the header and block descriptor alone.
	} else {
		const SPage* p = Find(page);
		if (p == nullptr)
			return SenseInvalidCdbField(2);
		if (control == kSaved && !p->savable)
			return kSenseSavingNotSupported;
		pages->push_back(p);
	}
	for (const SPage* p : *pages)
		*total += p->current.size();
	return kSenseNone;
}

size_t CModePages::CopyPages(page_control control, const std::vector<const SPage*>& pages, uint8* out, size_t done,
	size_t capacity) const
{
	for (const SPage* p : pages) {
		const std::vector<uint8>& values = control == kChangeable ? p->changeable
			: control == kDefault                                 ? p->defaults
			: control == kSaved && p->savable                     ? p->saved
																  : p->current;
		for (size_t i = 0; i < values.size() && done < capacity; i++, done++) {
			uint8 byte = values[i];
			if (i == 0)
				byte = uint8((p->savable ? 0x80 : 0x00) | (byte & 0x3F));
			out[done] = byte;
		}
	}
	return done;
}

SSense CModePages::Sense(page_control control, uint8 page, uint8 subpage, uint8* out, size_t capacity,
	size_t* length) const
{
	*length = 0;
	std::vector<const SPage*> pages;
	size_t pagesLength = 0;
	SSense sense = CollectPages(control, page, subpage, &pages, &pagesLength);
	if (sense.IsError())
		return sense;
	uint8 header[kHeaderLength] = {};
	size_t total = kHeaderLength + pagesLength;
	SetBe16(header, uint32(total - 2));
	header[3] = fCapabilities.supportsFua ? 0x10 : 0x00;
	size_t done = std::min(capacity, kHeaderLength);
	std::memcpy(out, header, done);
	CopyPages(control, pages, out, done, capacity);
	*length = total;
	return kSenseNone;
}

SSense CModePages::Sense6(page_control control, uint8 page, uint8 subpage, bool disableBlockDescriptors,
	uint32 blocks, uint8* out, size_t capacity, size_t* length) const
{
	*length = 0;
	std::vector<const SPage*> pages;
	size_t pagesLength = 0;
	SSense sense = CollectPages(control, page, subpage, &pages, &pagesLength);
	if (sense.IsError())
		return sense;
	uint8 header[kHeaderLength6 + kBlockDescriptorLength] = {};
	size_t headerLength = kHeaderLength6 + (disableBlockDescriptors ? 0 : kBlockDescriptorLength);
	size_t total = std::min<size_t>(headerLength + pagesLength, 255);
	header[0] = uint8(total - 1);
	header[2] = fCapabilities.supportsFua ? 0x10 : 0x00;
	if (!disableBlockDescriptors) {
		header[3] = kBlockDescriptorLength;
		header[4] = control == kChangeable ? 0xFF : fDensity;
		blocks = std::min<uint32>(blocks, 0xFFFFFF);
		header[5] = uint8(blocks >> 16);
		header[6] = uint8(blocks >> 8);
		header[7] = uint8(blocks);
		uint32 blockLength = control == kChangeable ? 0xFFFFFF : fBlockLength;
		header[9] = uint8(blockLength >> 16);
		header[10] = uint8(blockLength >> 8);
		header[11] = uint8(blockLength);
	}
	size_t done = std::min(capacity, headerLength);
	std::memcpy(out, header, done);
	CopyPages(control, pages, out, done, std::min(capacity, total));
	*length = total;
	return kSenseNone;
}

SSense CModePages::Validate(const SPage& page, const uint8* data, size_t listOffset) const
{
	for (size_t i = 2; i < page.current.size(); i++)
		if (((data[i] ^ page.current[i]) & ~page.changeable[i]) != 0)
			return SenseInvalidParameterField(uint16(listOffset + i));
	if (page.code == kModePageWriteParameters) {
		uint8 writeType = data[2] & 0x0F;
		if (writeType < 1 || writeType > 3)
			return SenseInvalidParameterField(uint16(listOffset + 2));
		if ((data[3] >> 6) == 2)
			return SenseInvalidParameterField(uint16(listOffset + 3));
		uint8 blockType = data[4] & 0x0F;
		if (!(blockType <= 3 || (blockType >= 8 && blockType <= 13 && blockType != 11)))
			return SenseInvalidParameterField(uint16(listOffset + 4));
		if (data[8] != 0x00 && data[8] != 0x10 && data[8] != 0x20)
			return SenseInvalidParameterField(uint16(listOffset + 8));
	}
	return kSenseNone;
}

SSense CModePages::Select(const uint8* list, size_t length, bool save)
{
	if (length == 0)
		return kSenseNone;
	if (length < kHeaderLength)
		return kSenseParameterListLength;
	// The mode data length, medium type and reserved bytes of the header are
	// zero in MODE SELECT; ATAPI drives take no block descriptors.
	for (size_t i : {0, 1, 2, 4, 5})
		if (list[i] != 0)
			return SenseInvalidParameterField(uint16(i));
	if (list[6] != 0 || list[7] != 0)
		return SenseInvalidParameterField(6);
	return SelectPages(list, length, kHeaderLength, save);
}

SSense CModePages::Select6(const uint8* list, size_t length, bool save)
{
	if (length == 0)
		return kSenseNone;
	if (length < kHeaderLength6)
		return kSenseParameterListLength;
	if (list[0] != 0 || list[1] != 0)
		return SenseInvalidParameterField(list[0] != 0 ? 0 : 1);
	size_t descriptors = list[3];
	if (descriptors != 0 && descriptors != kBlockDescriptorLength)
		return SenseInvalidParameterField(3);
	if (length < kHeaderLength6 + descriptors)
		return kSenseParameterListLength;
	uint8 density = fDensity;
	uint32 blockLength = fBlockLength;
	if (descriptors != 0) {
		const uint8* d = list + kHeaderLength6;
		density = d[0];
		blockLength = GetBe24(d + 5);
		if (density != 0x00 && density != 0x04 && density != 0x82)
			return SenseInvalidParameterField(kHeaderLength6);
		if (blockLength != 2048 && blockLength != 2352)
			return SenseInvalidParameterField(kHeaderLength6 + 5);
	}
	SSense sense = SelectPages(list, length, kHeaderLength6 + descriptors, save);
	if (sense.IsError())
		return sense;
	fDensity = density;
	fBlockLength = blockLength;
	return kSenseNone;
}

SSense CModePages::SelectPages(const uint8* list, size_t length, size_t offset, bool save)
{
	struct SChange {
		SPage* page;
		const uint8* data;
	};
	SChange changes[8];
	size_t changeCount = 0;
	while (offset < length) {
		if (length - offset < 2)
			return kSenseParameterListLength;
		uint8 code = list[offset] & 0x3F;
		if ((list[offset] & 0xC0) != 0)   // PS is reserved here; no subpage format
			return SenseInvalidParameterField(uint16(offset));
		SPage* page = Find(code);
		if (page == nullptr)
			return SenseInvalidParameterField(uint16(offset));
		if (list[offset + 1] != page->current.size() - 2)
			return SenseInvalidParameterField(uint16(offset + 1));
		if (length - offset < page->current.size())
			return kSenseParameterListLength;
		SSense sense = Validate(*page, list + offset, offset);
		if (sense.IsError())
			return sense;
		if (save && !page->savable)
			return kSenseSavingNotSupported;
		if (changeCount == std::size(changes))
			return SenseInvalidParameterField(uint16(offset));
		changes[changeCount++] = {page, list + offset};
		offset += page->current.size();
	}
	for (size_t i = 0; i < changeCount; i++) {
		SPage* page = changes[i].page;
		std::memcpy(page->current.data() + 2, changes[i].data + 2, page->current.size() - 2);
		if (save)
			page->saved = page->current;
	}
	return kSenseNone;
}

void CModePages::SetCurrentSpeeds(uint16 readKbs, uint16 writeKbs)
{
	fReadSpeed = readKbs;
	fWriteSpeed = writeKbs;
	BuildCapabilities();
}

void CModePages::SetLocked(bool locked)
{
	fLocked = locked;
	BuildCapabilities();
}

uint16 CModePages::CurrentReadSpeed() const
{
	return fReadSpeed;
}

uint16 CModePages::CurrentWriteSpeed() const
{
	return fWriteSpeed;
}

bool CModePages::StopOnTrackCrossing() const
{
	return (Find(kModePageCdAudioControl)->current[2] & audio_control::kStopOnTrackCrossing) != 0;
}

uint8 CModePages::WriteType() const
{
	const SPage* p = Find(kModePageWriteParameters);
	return p == nullptr ? 0 : uint8(p->current[2] & 0x0F);
}

bool CModePages::TestWrite() const
{
	const SPage* p = Find(kModePageWriteParameters);
	return p != nullptr && (p->current[2] & 0x10) != 0;
}
