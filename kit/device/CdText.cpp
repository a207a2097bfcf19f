#include "kit/device/CdText.h"

#include "kit/device/ImageFile.h"

#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

const std::string kEmpty;

}   // namespace

int CCdText::TypeIndex(uint8 packType)
{
	if (packType < kTitle || packType > kMessage)
		return -1;
	return packType - kTitle;
}

status_t CCdText::SetText(uint8 packType, int track, std::string_view latin1)
{
	int index = TypeIndex(packType);
	if (index < 0 || track < 0 || track > kMaxTrack)
		return B_BAD_VALUE;
	if (latin1.find('\0') != std::string_view::npos)
		return B_BAD_VALUE;
	fTexts[index][track] = std::string(latin1);
	return B_OK;
}

const std::string& CCdText::Text(uint8 packType, int track) const
{
	int index = TypeIndex(packType);
	if (index < 0 || track < 0 || track > kMaxTrack)
		return kEmpty;
	return fTexts[index][track];
}

bool CCdText::IsEmpty() const
{
	for (const auto& type : fTexts)
		for (const auto& text : type)
			if (!text.empty())
				return false;
	return true;
}

uint16 CCdText::Crc16(const uint8* data, size_t length)
{
	uint16 crc = 0;
	for (size_t i = 0; i < length; i++) {
		crc ^= uint16(data[i]) << 8;
		for (int bit = 0; bit < 8; bit++)
			crc = (crc & 0x8000) ? uint16((crc << 1) ^ 0x1021) : uint16(crc << 1);
	}
	return uint16(~crc);
}

bool CCdText::PackCrcValid(const uint8* pack)
{
	uint16 crc = Crc16(pack, 16);
	return pack[16] == uint8(crc >> 8) && pack[17] == uint8(crc);
}

status_t CCdText::Encode(int firstTrack, int lastTrack, std::vector<uint8>* packs) const
{
	if (firstTrack < 1 || lastTrack < firstTrack || lastTrack > kMaxTrack)
		return B_BAD_VALUE;
	if (IsEmpty())
		return B_OK;

	std::vector<uint8> out;
	std::array<int, 16> countPerType {};
	int sequence = 0;

	auto addPack = [&](uint8 type, int track, int charPosition, const uint8* text12) -> bool {
		if (size_t(sequence) >= kMaxPacks)
			return false;
		uint8 pack[kPackSize] = {};
		pack[0] = type;
		pack[1] = uint8(track);
		pack[2] = uint8(sequence);
		pack[3] = uint8(std::min(charPosition, 15));   // block 0, single-byte characters
		std::memcpy(pack + 4, text12, 12);
		uint16 crc = Crc16(pack, 16);
		pack[16] = uint8(crc >> 8);
		pack[17] = uint8(crc);
		out.insert(out.end(), pack, pack + kPackSize);
		countPerType[type & 0x0F]++;
		sequence++;
		return true;
	};

	for (int index = 0; index < int(fTexts.size()); index++) {
		const auto& texts = fTexts[index];
		bool any = false;
		for (int track = 0; track <= kMaxTrack; track++)
			any = any || !texts[track].empty();
		if (!any)
			continue;

		// The stream of this type: the disc's text, then each track's, each
		// ended by a zero byte. Every byte remembers its track and its place
		// in that track's text.
		std::vector<uint8> stream;
		std::vector<uint8> trackOf;
		std::vector<int> positionOf;
		auto append = [&](int track) {
			const std::string& text = texts[track];
			for (size_t i = 0; i <= text.size(); i++) {
				stream.push_back(i < text.size() ? uint8(text[i]) : 0);
				trackOf.push_back(uint8(track));
				positionOf.push_back(int(i));
			}
		};
		append(0);
		for (int track = firstTrack; track <= lastTrack; track++)
			append(track);

		for (size_t start = 0; start < stream.size(); start += 12) {
			uint8 text12[12] = {};
			size_t n = std::min<size_t>(12, stream.size() - start);
			std::memcpy(text12, stream.data() + start, n);
			if (!addPack(uint8(kTitle + index), trackOf[start], positionOf[start], text12))
				return B_BAD_DATA;
		}
	}

	// Size information: three packs closing the block.
	if (size_t(sequence) + 3 > kMaxPacks)
		return B_BAD_DATA;
	countPerType[kSizeInfo & 0x0F] = 3;
	uint8 info[36] = {};
	info[0] = 0x00;   // ISO 8859-1
	info[1] = uint8(firstTrack);
	info[2] = uint8(lastTrack);
	info[3] = 0x00;
	for (int i = 0; i < 16; i++)
		info[4 + i] = uint8(countPerType[i]);
	info[20] = uint8(sequence + 2);   // last sequence number of block 0
	info[28] = 0x09;                  // English
	for (int i = 0; i < 3; i++)
		addPack(kSizeInfo, i, 0, info + 12 * i);

	packs->insert(packs->end(), out.begin(), out.end());
	return B_OK;
}

bool CCdText::Decode(const uint8* packs, size_t count, SBlock* out)
{
	*out = SBlock();
	if (packs == nullptr)
		return false;
	int lastSequence = -1;
	std::array<int, kTextTypes> track {};
	std::array<bool, kTextTypes> seen {};
	for (size_t i = 0; i < count; i++) {
		const uint8* pack = packs + i * kPackSize;
		if (pack[2] < lastSequence)
			break;
		lastSequence = pack[2];
		const int block = (pack[3] >> 4) & 0x07;
		if (pack[0] == kSizeInfo && pack[1] == 0 && (out->block < 0 || out->block == block))
			out->characterCode = pack[4];
		int index = TypeIndex(pack[0]);
		if (index < 0 || (pack[1] & 0x80) != 0)
			continue;
		if (out->block < 0)
			out->block = block;
		else if (block != out->block)
			continue;
		if (!seen[size_t(index)]) {
			seen[size_t(index)] = true;
			out->doubleByte[size_t(index)] = (pack[3] & 0x80) != 0;
		}
		auto& texts = out->texts[size_t(index)];
		int& t = track[size_t(index)];
		t = pack[1];   // the track of the pack's first character
		const uint8* text = pack + 4;
		if (!out->doubleByte[size_t(index)]) {
			for (int k = 0; k < 12; k++) {
				if (text[k] == 0)
					t++;
				else if (t <= kMaxTrack)
					texts[size_t(t)].push_back(char(text[k]));
			}
		} else {
			for (int k = 0; k < 12; k += 2) {
				if (text[k] == 0 && text[k + 1] == 0)
					t++;
				else if (t <= kMaxTrack)
					texts[size_t(t)].append(reinterpret_cast<const char*>(text + k), 2);
			}
		}
	}
	// A size information of another block than the texts' says nothing.
	if (out->block < 0)
		out->characterCode = 0;
	return out->block >= 0;
}

void CCdText::PacksToSubcode(const uint8* packs, size_t count, uint8* subcode)
{
	std::memset(subcode, 0, kSubcodeSize);
	for (size_t p = 0; p < std::min(count, kPacksPerSubcode); p++) {
		const uint8* in = packs + p * kPackSize;
		uint8* out = subcode + p * 24;
		// Every 3 bytes make 4 symbols.
		for (size_t g = 0; g < 6; g++) {
			uint32 bits = uint32(in[3 * g]) << 16 | uint32(in[3 * g + 1]) << 8 | in[3 * g + 2];
			for (size_t s = 0; s < 4; s++)
				out[4 * g + s] = uint8((bits >> (18 - 6 * s)) & 0x3F);
		}
	}
}

void CCdText::SubcodeToPacks(const uint8* subcode, uint8* packs)
{
	for (size_t p = 0; p < kPacksPerSubcode; p++) {
		const uint8* in = subcode + p * 24;
		uint8* out = packs + p * kPackSize;
		for (size_t g = 0; g < 6; g++) {
			uint32 bits = 0;
			for (size_t s = 0; s < 4; s++)
				bits = bits << 6 | (in[4 * g + s] & 0x3F);
			out[3 * g] = uint8(bits >> 16);
			out[3 * g + 1] = uint8(bits >> 8);
			out[3 * g + 2] = uint8(bits);
		}
	}
}

status_t CCdText::ParsePacks(const uint8* data, size_t size, std::vector<uint8>* packs, std::string* why)
{
	std::string ignored;
	if (why == nullptr)
		why = &ignored;
	const size_t maxPacks = kMaxPacks * 8;
	if (data == nullptr && size != 0)
		return B_BAD_VALUE;
	// One zero byte after the packs is not part of them.
	if (size % kPackSize == 1 || (size >= 4 && (size - 4) % kPackSize == 1)) {
		if (data[size - 1] != 0) {
			*why = "it ends in a byte after its packs that is not zero";
			return B_BAD_DATA;
		}
		size--;
	}
	size_t offset = 0;
	if (size % kPackSize != 0) {
		// With the 4-byte header of the READ TOC answer.
		if (size < 4 || (size - 4) % kPackSize != 0) {
			*why = std::to_string(size) + " bytes are not whole packs of 18 bytes";
			return B_BAD_DATA;
		}
		size_t length = (size_t(data[0]) << 8) | data[1];
		if (length != size - 2) {
			*why = "its header gives a length of " + std::to_string(length) + " for "
				+ std::to_string(size - 2) + " bytes";
			return B_BAD_DATA;
		}
		offset = 4;
	}
	size_t count = (size - offset) / kPackSize;
	if (count == 0) {
		*why = "it holds no packs";
		return B_BAD_DATA;
	}
	if (count > maxPacks) {
		*why = "it holds more than " + std::to_string(maxPacks) + " packs";
		return B_BAD_DATA;
	}
	for (size_t i = 0; i < count; i++) {
		const uint8* pack = data + offset + i * kPackSize;
		if (pack[0] < 0x80 || pack[0] > 0x8F) {
			char type[8];
			std::snprintf(type, sizeof(type), "%02Xh", pack[0]);
			*why = "pack " + std::to_string(i + 1) + " has the type " + type + ", not one of CD-Text";
			return B_BAD_DATA;
		}
	}
	packs->assign(data + offset, data + size);
	return B_OK;
}

status_t CCdText::LoadPacksFile(const std::string& path, std::vector<uint8>* packs, std::string* why)
{
	std::string ignored;
	if (why == nullptr)
		why = &ignored;
	int fd;
	uint64 size;
	status_t status = image_file::OpenRegular(path, &fd, &size, why);
	if (status != B_OK)
		return status;
	// The header, the most packs, and a zero byte.
	const uint64 limit = 4 + kMaxPacks * 8 * kPackSize + 1;
	if (size > limit) {
		::close(fd);
		*why = path + " is larger than " + std::to_string(limit) + " bytes";
		return B_BAD_DATA;
	}
	std::vector<uint8> data(size_t(size), 0);
	bool ok = image_file::ReadAll(fd, data.data(), data.size(), 0);
	::close(fd);
	if (!ok) {
		*why = "cannot read " + path;
		return B_IO_ERROR;
	}
	status = ParsePacks(data.data(), data.size(), packs, why);
	if (status != B_OK)
		*why = path + ": " + *why;
	return status;
}

std::string CCdText::ToLatin1(std::string_view text)
{
	std::string out;
	out.reserve(text.size());
	size_t i = 0;
	while (i < text.size()) {
		uint8 c = uint8(text[i]);
		if (c < 0x80) {
			out.push_back(char(c));
			i++;
			continue;
		}
		int extra = (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
		bool valid = extra > 0 && size_t(extra) < text.size() - i;
		uint32 code = 0;
		if (valid) {
			code = c & (0x3F >> extra);
			for (int k = 1; k <= extra; k++) {
				uint8 cc = uint8(text[i + size_t(k)]);
				if ((cc & 0xC0) != 0x80) {
					valid = false;
					break;
				}
				code = (code << 6) | (cc & 0x3F);
			}
		}
		if (!valid)
			return std::string(text);   // not UTF-8: take the bytes as they are
		out.push_back(code <= 0xFF ? char(code) : '?');
		i += size_t(extra) + 1;
	}
	return out;
}
