// Track checksums and disc ids.
#include "extraction/DiscIds.h"

#include "disc/Toc.h"
#include "kit/support/Locker.h"

#include <array>
#include <cstdio>
#include <cstring>

#include <discid/discid.h>

namespace {

constexpr int32 kPregap = 150;
constexpr int32 kSectorsPerSecond = 75;
constexpr int32 kMaxTracks = 99;
constexpr int64 kAccurateRipSkip = 5 * kCddaSectorFrames;   // 2940 frames

int32 DigitSum(int32 n)
{
	int32 sum = 0;
	for (; n > 0; n /= 10)
		sum += n % 10;
	return sum;
}

// CRC-32 tables for eight bytes at a time: table[0] is the usual one,
// table[k][i] the CRC of byte i followed by k zero bytes.
using CrcTables = std::array<std::array<uint32, 256>, 8>;

const CrcTables& CrcTable()
{
	static const CrcTables tables = [] {
		CrcTables t {};
		for (uint32 i = 0; i < 256; i++) {
			uint32 c = i;
			for (int k = 0; k < 8; k++)
				c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
			t[0][i] = c;
		}
		for (uint32 i = 0; i < 256; i++) {
			for (int k = 1; k < 8; k++)
				t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
		}
		return t;
	}();
	return tables;
}

// The indexes of the audio tracks.
std::vector<int32> AudioTracks(const DiscLayout& layout)
{
	std::vector<int32> audio;
	for (int32 i = 0; i < layout.TrackCount(); i++) {
		if (!layout.IsDataTrack(i))
			audio.push_back(i);
	}
	return audio;
}

}   // namespace

bool DiscLayout::IsValid() const
{
	int32 count = TrackCount();
	if (count < 1 || count > kMaxTracks || firstTrack < 1 || firstTrack + count - 1 > kMaxTracks)
		return false;
	if (trackStarts[0] < 0)
		return false;
	for (int32 i = 1; i < count; i++) {
		if (trackStarts[i] <= trackStarts[i - 1])
			return false;
	}
	// 450000 sectors (100 minutes) bounds every sum below well inside 32 bits.
	return leadOut > trackStarts[count - 1] && leadOut <= 450000;
}

DiscLayout DiscLayoutFromToc(CToc* toc)
{
	DiscLayout layout;
	if (toc == nullptr || !toc->Lock())
		return layout;
	int first = toc->FirstTrack();
	int last = toc->LastTrack();
	if (toc->TrackCount() > 0) {
		layout.firstTrack = first;
		for (int track = first; track <= last; track++) {
			layout.trackStarts.push_back(toc->TrackTrackLBA(track));
			layout.dataTracks.push_back(toc->TrackDataTrack(track));
		}
		layout.leadOut = toc->TrackLBA(last) + toc->TrackSize(last);
	}
	toc->Unlock();
	return layout;
}

uint32 CddbDiscId(const DiscLayout& layout)
{
	if (!layout.IsValid())
		return 0;
	int32 sum = 0;
	for (int32 start : layout.trackStarts)
		sum += DigitSum((start + kPregap) / kSectorsPerSecond);
	int32 seconds = (layout.leadOut + kPregap) / kSectorsPerSecond
		- (layout.trackStarts[0] + kPregap) / kSectorsPerSecond;
	return (uint32(sum % 255) << 24) | (uint32(seconds) << 8) | uint32(layout.TrackCount());
}

std::string AccurateRipDiscId::ToString() const
{
	char text[40];
	std::snprintf(text, sizeof(text), "%03d-%08x-%08x-%08x", int(audioTrackCount), unsigned(id1), unsigned(id2),
		unsigned(cddbId));
	return text;
}

AccurateRipDiscId ComputeAccurateRipDiscId(const DiscLayout& layout)
{
	AccurateRipDiscId id;
	if (!layout.IsValid())
		return id;
	std::vector<int32> audio = AudioTracks(layout);
	id.audioTrackCount = int32(audio.size());
	uint32 n = 1;
	for (int32 index : audio) {
		uint32 start = uint32(layout.trackStarts[index]);
		id.id1 += start;
		id.id2 += (start > 0 ? start : 1) * n;
		n++;
	}
	id.id1 += uint32(layout.leadOut);
	id.id2 += uint32(layout.leadOut) * n;
	id.cddbId = CddbDiscId(layout);
	return id;
}

std::string MusicBrainzDiscId(const DiscLayout& layout)
{
	if (!layout.IsValid())
		return "";
	// MusicBrainz counts the tracks of the first session: a trailing data
	// track (the second session of an enhanced CD) is left out, and that
	// session ends 11400 sectors before it starts.
	int32 first = 0;
	int32 last = layout.TrackCount() - 1;
	int32 leadOut = layout.leadOut;
	if (last > first && layout.IsDataTrack(last)) {
		leadOut = layout.trackStarts[last] - 11400;
		last--;
	}
	if (first > last || leadOut <= layout.trackStarts[last])
		return "";
	int offsets[100] = {};
	offsets[0] = leadOut + kPregap;
	for (int32 i = first; i <= last; i++)
		offsets[layout.firstTrack + i] = layout.trackStarts[i] + kPregap;
	DiscId* disc = discid_new();
	if (disc == nullptr)
		return "";
	std::string result;
	if (discid_put(disc, layout.firstTrack + first, layout.firstTrack + last, offsets) != 0) {
		const char* id = discid_get_id(disc);
		if (id != nullptr)
			result = id;
	}
	discid_free(disc);
	return result;
}

uint32 Crc32(uint32 crc, const void* data, size_t size)
{
	const CrcTables& t = CrcTable();
	const uint8* p = static_cast<const uint8*>(data);
	crc = ~crc;
	// Eight bytes a step: the CRC folded into the first four, each byte
	// looked up in the table of its distance from the end of the step.
	for (; size >= 8; size -= 8, p += 8) {
		const uint32 low = (uint32(p[0]) | uint32(p[1]) << 8 | uint32(p[2]) << 16 | uint32(p[3]) << 24) ^ crc;
		crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24]
			^ t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
	}
	for (; size > 0; size--, p++)
		crc = t[0][(crc ^ *p) & 0xFF] ^ (crc >> 8);
	return ~crc;
}

// #pragma mark - CTrackChecksums

CTrackChecksums::CTrackChecksums(int64 trackFrames, bool firstAudioTrack, bool lastAudioTrack)
	: fTrackFrames(trackFrames),
	  fSkipBefore(firstAudioTrack ? kAccurateRipSkip : 1),
	  fSkipAfter(lastAudioTrack ? trackFrames - kAccurateRipSkip : trackFrames)
{
}

void CTrackChecksums::Add(const void* data, size_t bytes)
{
	if (bytes == 0)
		return;
	fCrc = ::Crc32(fCrc, data, bytes);
	const uint8* p = static_cast<const uint8*>(data);
	size_t left = bytes;
	auto addFrame = [this](const uint8* frame) {
		fPosition++;
		if (fPosition < fSkipBefore || fPosition > fSkipAfter)
			return;
		uint32 sample = uint32(frame[0]) | uint32(frame[1]) << 8 | uint32(frame[2]) << 16 | uint32(frame[3]) << 24;
		uint64 product = uint64(sample) * uint64(fPosition);
		fV1 += uint32(product);
		fV2 += uint32(product) + uint32(product >> 32);
	};
	if (fCarryBytes > 0) {
		while (fCarryBytes < 4 && left > 0) {
			fCarry[fCarryBytes++] = *p++;
			left--;
		}
		if (fCarryBytes < 4)
			return;
		addFrame(fCarry);
		fCarryBytes = 0;
	}
	for (; left >= 4; left -= 4, p += 4)
		addFrame(p);
	while (left > 0) {
		fCarry[fCarryBytes++] = *p++;
		left--;
	}
}
