#include "kit/media/Mp3Gap.h"

#include <cstring>

namespace {

uint32 BigEndian32(const uint8* p)
{
	return (uint32(p[0]) << 24) | (uint32(p[1]) << 16) | (uint32(p[2]) << 8) | uint32(p[3]);
}

struct FrameHeader {
	bool mpeg1;
	bool mono;
	int32 sampleRate;
};

// A layer III frame header at `p` (4 bytes): sync, version, layer, a valid
// bitrate index and sample rate.
bool ParseFrameHeader(const uint8* p, FrameHeader* header)
{
	if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0)
		return false;
	const int version = (p[1] >> 3) & 3;   // 0: 2.5, 1: reserved, 2: 2, 3: 1
	const int layer = (p[1] >> 1) & 3;     // 1: layer III
	const int bitrateIndex = p[2] >> 4;
	const int rateIndex = (p[2] >> 2) & 3;
	if (version == 1 || layer != 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
		return false;
	static const int32 kRates[3] = {44100, 48000, 32000};
	header->mpeg1 = version == 3;
	header->sampleRate = kRates[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
	header->mono = (p[3] >> 6) == 3;
	return true;
}

}   // namespace

size_t Id3v2TagSize(const uint8* data, size_t size)
{
	if (size < 10 || std::memcmp(data, "ID3", 3) != 0 || data[3] == 0xFF || data[4] == 0xFF)
		return 0;
	uint32 body = 0;
	for (int i = 6; i < 10; i++) {
		if (data[i] & 0x80)
			return 0;
		body = (body << 7) | data[i];
	}
	const bool footer = (data[5] & 0x10) != 0;
	return 10 + size_t(body) + (footer ? 10 : 0);
}

bool ParseMp3EncoderGap(const uint8* data, size_t size, size_t maxJunk, Mp3EncoderGap* gap)
{
	if (data == nullptr || gap == nullptr)
		return false;
	size_t start = 0;
	FrameHeader header {};
	for (;; start++) {
		if (start > maxJunk || size < 4 || start > size - 4)
			return false;
		if (ParseFrameHeader(data + start, &header))
			break;
	}
	// The tag follows the side information, whose size depends on the
	// version and the channel count.
	const size_t sideInfo = header.mpeg1 ? (header.mono ? 17 : 32) : (header.mono ? 9 : 17);
	size_t offset = start + 4 + sideInfo;
	auto left = [&]() { return offset <= size ? size - offset : 0; };
	if (left() < 8)
		return false;
	if (std::memcmp(data + offset, "Xing", 4) != 0 && std::memcmp(data + offset, "Info", 4) != 0)
		return false;
	const uint32 flags = BigEndian32(data + offset + 4);
	offset += 8;
	Mp3EncoderGap result;
	if (flags & 0x1) {
		if (left() < 4)
			return false;
		result.frames = BigEndian32(data + offset);
		offset += 4;
	}
	const size_t optional = ((flags & 0x2) ? 4 : 0) + ((flags & 0x4) ? 100 : 0) + ((flags & 0x8) ? 4 : 0);
	if (left() < optional)
		return false;
	offset += optional;
	// The extension: encoder (9), revision and method (1), lowpass (1),
	// peak (4), two gains (2 + 2), flags (1), bitrate (1), then delay and
	// padding in 12 bits each.
	constexpr size_t kDelayOffset = 21;
	if (left() < kDelayOffset + 3)
		return false;
	const uint8* extension = data + offset;
	if (std::memcmp(extension, "LAME", 4) != 0 && std::memcmp(extension, "Lavf", 4) != 0
		&& std::memcmp(extension, "Lavc", 4) != 0)
		return false;
	const uint32 gaps = (uint32(extension[kDelayOffset]) << 16) | (uint32(extension[kDelayOffset + 1]) << 8)
		| uint32(extension[kDelayOffset + 2]);
	result.delay = int32(gaps >> 12);
	result.padding = int32(gaps & 0xFFF);
	result.samplesPerFrame = header.mpeg1 ? 1152 : 576;
	result.sampleRate = header.sampleRate;
	*gap = result;
	return true;
}

int64 Mp3GaplessSampleCount(const Mp3EncoderGap& gap)
{
	if (gap.frames <= 0 || gap.samplesPerFrame <= 0)
		return -1;
	const int64 total = gap.frames * gap.samplesPerFrame - gap.delay - gap.padding;
	return total > 0 ? total : 0;
}
