#include "emulator/ShiftedAudio.h"

#include "emulator/DiscImage.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr int32 kFramesPerSector = 588;
constexpr int32 kFrameBytes = 4;
constexpr int32 kSectorBytes = kFramesPerSector * kFrameBytes;
// Sectors staged per image read; the drive reads longer answers in pieces.
constexpr int32 kStageSectors = 32;

int64 FloorDiv(int64 a, int64 b)
{
	return a >= 0 ? a / b : -((-a + b - 1) / b);
}

}   // namespace

status_t ReadShiftedAudio(const CDiscImage& disc, int32 lba, int32 count, uint8* buffer, size_t stride,
	int32 shiftFrames)
{
	if (shiftFrames == 0 || count <= 0)
		return disc.ReadSectors(lba, count, buffer, stride);
	if (buffer == nullptr || stride < size_t(kSectorBytes) || lba < 0 || int64(lba) + count > disc.LeadOut())
		return B_BAD_VALUE;

	// One staging area per thread, kept between calls: no allocation per read.
	thread_local std::vector<uint8> stage;
	stage.resize(size_t(kStageSectors + 1) * kSectorBytes);

	for (int32 done = 0; done < count;) {
		const int32 sectors = std::min(kStageSectors, count - done);
		// The disc frames this piece shows, and the sectors that hold them.
		const int64 firstFrame = int64(lba + done) * kFramesPerSector - shiftFrames;
		const int64 endFrame = firstFrame + int64(sectors) * kFramesPerSector;
		const int64 firstSector = FloorDiv(firstFrame, kFramesPerSector);
		const int64 readFrom = std::max<int64>(firstSector, 0);
		const int64 readTo = std::min<int64>(FloorDiv(endFrame - 1, kFramesPerSector) + 1, disc.LeadOut());
		std::memset(stage.data(), 0, stage.size());
		if (readTo > readFrom) {
			uint8* at = stage.data() + size_t(readFrom - firstSector) * kSectorBytes;
			status_t status = disc.ReadSectors(int32(readFrom), int32(readTo - readFrom), at, kSectorBytes);
			if (status != B_OK)
				return status;
		}
		// Frames before the disc's first or after its last stay silent.
		const int64 skip = firstFrame - firstSector * kFramesPerSector;
		for (int32 i = 0; i < sectors; i++) {
			uint8* out = buffer + size_t(done + i) * stride;
			const uint8* in = stage.data() + size_t(skip + int64(i) * kFramesPerSector) * kFrameBytes;
			std::memcpy(out, in, kSectorBytes);
		}
		done += sectors;
	}
	return B_OK;
}
