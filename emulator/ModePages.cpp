#include "emulator/ModePages.h"

#include <algorithm>
#include <cstring>

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

CModePages::CModePages(const SDriveCapabilities& capabilities)
	:
	fCapabilities(capabilities)
{
	if (fCapabilities.readSpeeds.empty())
		fCapabilities.readSpeeds.push_back(176);
	std::sort(fCapabilities.readSpeeds.begin(), fCapabilities.readSpeeds.end());
	std::sort(fCapabilities.writeSpeeds.begin(), fCapabilities.writeSpeeds.end());
	fReadSpeed = fCapabilities.readSpeeds.back();
	fWriteSpeed = fCapabilities.writeSpeeds.empty() ? 0 : fCapabilities.writeSpeeds.back();

	// 01h: read/write error recovery.
	{
		SPage p;
		p.code = 0x01;
		p.defaults = Page(0x01, 12);
		p.defaults[3] = 0x10;   // read retry count
		p.defaults[8] = 0x10;   // write retry count
		p.changeable = Page(0x01, 12);
		p.changeable[2] = 0xF7;   // AWRE ARRE TB RC - PER DTE DCR
		p.changeable[3] = 0xFF;
		p.changeable[8] = 0xFF;
		p.changeable[10] = p.changeable[11] = 0xFF;
		fPages.push_back(p);
	}
	// 05h: write parameters, for recorders.
	if (fCapabilities.writeCdR || fCapabilities.writeCdRw) {
		SPage p;
		p.code = 0x05;
		p.defaults = Page(0x05, 52);
		p.defaults[2] = 0x01;    // track at once
		p.defaults[3] = 0x04;    // track mode: data
		p.defaults[4] = 0x08;    // data block type: mode 1
		Put16(&p.defaults[14], 150);   // audio pause length
		p.changeable = Page(0x05, 52);
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
		p.code = 0x0D;
		p.defaults = Page(0x0D, 8);
		Put16(&p.defaults[4], 60);
		Put16(&p.defaults[6], 75);
		p.changeable = Page(0x0D, 8);
		p.changeable[3] = 0x0F;
		fPages.push_back(p);
	}
	// 0Eh: CD audio control. Play commands always return at once (Immed).
	{
		SPage p;
		p.code = 0x0E;
		p.defaults = Page(0x0E, 16);
		p.defaults[2] = 0x04;
		p.defaults[8] = 0x01;    // port 0: left channel
		p.defaults[9] = 0xFF;
		p.defaults[10] = 0x02;   // port 1: right channel
		p.defaults[11] = 0xFF;
		p.changeable = Page(0x0E, 16);
		p.changeable[2] = 0x02;  // SOTC
		for (size_t i = 8; i < 16; i += 2) {
			p.changeable[i] = 0x0F;
			p.changeable[i + 1] = 0xFF;
		}
		fPages.push_back(p);
	}
	for (SPage& p : fPages) {
		p.current = p.defaults;
		p.saved = p.defaults;
	}
	// 2Ah: capabilities, built from the drive's state.
	{
		SPage p;
		p.code = 0x2A;
		p.savable = false;
		fPages.push_back(p);
		BuildCapabilities();
	}
}

void CModePages::BuildCapabilities()
{
	SPage* p = Find(0x2A);
	const SDriveCapabilities& c = fCapabilities;
	size_t descriptors = std::min<size_t>(c.writeSpeeds.size(), 16);
	size_t size = 32 + 4 * descriptors;
	std::vector<uint8> page = Page(0x2A, size);
	page[2] = uint8((c.readCdR ? 0x01 : 0) | (c.readCdRw ? 0x02 : 0));
	page[3] = uint8((c.writeCdR ? 0x01 : 0) | (c.writeCdRw ? 0x02 : 0) | (c.testWrite ? 0x04 : 0));
	page[4] = uint8((c.audioPlay ? 0x01 : 0) | 0x40 | (c.bufferUnderrunFree ? 0x80 : 0));
	page[5] = uint8((c.cddaCommands ? 0x01 : 0) | (c.accurateStream ? 0x02 : 0) | 0x10 | (c.isrc ? 0x20 : 0)
		| (c.mcn ? 0x40 : 0));
	page[6] = uint8((c.lock ? 0x01 : 0) | (fLocked ? 0x02 : 0) | (c.eject ? 0x08 : 0) | 0x20);   // tray
	page[7] = c.audioPlay ? 0x03 : 0x00;
	uint16 maxWrite = c.writeSpeeds.empty() ? 0 : c.writeSpeeds.back();
	Put16(&page[8], c.readSpeeds.back());
	Put16(&page[10], c.audioPlay ? 256 : 0);
	Put16(&page[12], c.bufferKb);
	Put16(&page[14], fReadSpeed);
	Put16(&page[18], maxWrite);
	Put16(&page[20], fWriteSpeed);
	Put16(&page[28], fWriteSpeed);
	Put16(&page[30], uint32(descriptors));
	for (size_t i = 0; i < descriptors; i++)
		Put16(&page[32 + 4 * i + 2], c.writeSpeeds[c.writeSpeeds.size() - 1 - i]);   // fastest first

	p->current = page;
	p->defaults = page;
	Put16(&p->defaults[14], c.readSpeeds.back());
	Put16(&p->defaults[20], maxWrite);
	Put16(&p->defaults[28], maxWrite);
	p->defaults[6] &= uint8(~0x02);
	p->saved = p->current;
	p->changeable = Page(0x2A, size);
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

SSense CModePages::Sense(page_control control, uint8 page, uint8 subpage, uint8* out, size_t capacity,
	size_t* length) const
{
	*length = 0;
	if (subpage != 0 && !(page == 0x3F && subpage == 0xFF))
		return SenseInvalidCdbField(3);
	std::vector<const SPage*> pages;
	if (page == 0x3F) {
		for (const SPage& p : fPages)
			pages.push_back(&p);
	} else {
		const SPage* p = Find(page);
		if (p == nullptr)
			return SenseInvalidCdbField(2);
		if (control == kSaved && !p->savable)
			return kSenseSavingNotSupported;
		pages.push_back(p);
	}

	uint8 header[kHeaderLength] = {};
	size_t total = kHeaderLength;
	for (const SPage* p : pages)
		total += p->current.size();
	Put16(header, uint32(total - 2));
	header[3] = fCapabilities.supportsFua ? 0x10 : 0x00;
	size_t done = std::min(capacity, kHeaderLength);
	std::memcpy(out, header, done);
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
	*length = total;
	return kSenseNone;
}

SSense CModePages::Validate(const SPage& page, const uint8* data, size_t listOffset) const
{
	for (size_t i = 2; i < page.current.size(); i++)
		if (((data[i] ^ page.current[i]) & ~page.changeable[i]) != 0)
			return SenseInvalidParameterField(uint16(listOffset + i));
	if (page.code == 0x05) {
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

	struct SChange {
		SPage* page;
		const uint8* data;
	};
	SChange changes[8];
	size_t changeCount = 0;
	size_t offset = kHeaderLength;
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
	return (Find(0x0E)->current[2] & 0x02) != 0;
}

uint8 CModePages::WriteType() const
{
	const SPage* p = Find(0x05);
	return p == nullptr ? 0 : uint8(p->current[2] & 0x0F);
}

bool CModePages::TestWrite() const
{
	const SPage* p = Find(0x05);
	return p != nullptr && (p->current[2] & 0x10) != 0;
}
