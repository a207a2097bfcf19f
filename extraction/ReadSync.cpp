#include "extraction/ReadSync.h"

#include "extraction/ExtractionSettings.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int32 kSectorFrames = 588;
constexpr int32 kFrameBytes = 4;
constexpr int32 kSectorBytes = kSectorFrames * kFrameBytes;
// Reads of the first block of a stretch, and how many of them must agree.
constexpr int32 kFirstBlockReads = 10;
constexpr int32 kFirstBlockAgreement = 3;

int64 FloorDiv(int64 a, int64 b)
{
	return a >= 0 ? a / b : -((-a + b - 1) / b);
}

}   // namespace

uint64 AudioHash(const void* data, size_t size)
{
	// Eight bytes a step, each mixed in by a multiply and a fold of the high
	// half; the bytes of a shorter tail one at a time.
	const auto* bytes = static_cast<const uint8*>(data);
	uint64 h = 1469598103934665603ull ^ uint64(size);
	for (; size >= 8; size -= 8, bytes += 8) {
		uint64 word;
		std::memcpy(&word, bytes, 8);
		h = (h ^ word) * 0x9E3779B97F4A7C15ull;
		h ^= h >> 32;
	}
	for (; size > 0; size--, bytes++)
		h = (h ^ *bytes) * 1099511628211ull;
	return h;
}

CAudioBlockReader::CAudioBlockReader(AudioSectorReader reader, const AudioBlockReaderOptions& options)
	:
	fRead(std::move(reader)),
	fOptions(options)
{
	if (!fRead || fOptions.maxBlockSectors < 1 || fOptions.leadOut < 0) {
		fStatus = B_BAD_VALUE;
		return;
	}
	fOptions.readOffset = std::clamp(fOptions.readOffset, -kMaxReadOffsetSamples, kMaxReadOffsetSamples);
	fOptions.syncSectors = std::clamp(fOptions.syncSectors, 0, kMaxReadSyncSectors);
	if (fOptions.syncSectors == 0)
		fOptions.syncMode = READ_SYNC_OFF;
	fOverlapFrames = fOptions.syncSectors * kSectorFrames;
	fPieceSectors = std::max(1, fOptions.maxCommandSectors - 2 * fOptions.syncSectors - 1);
	// The anchor before a piece and a read offset that does not fall on a
	// sector add up to two sectors to its command.
	fCheckedPieceSectors = std::max(1, fOptions.maxCommandSectors - 2);
	const int64 windowFrames = int64(fOptions.maxBlockSectors) * kSectorFrames + 2 * fOverlapFrames;
	fWindowBytes = windowFrames * kFrameBytes;
	// Staging holds every sector a window touches, one more for a window
	// that does not start on a sector.
	const int64 stagingSectors = windowFrames / kSectorFrames + 2;
	fWindow.reset(new (std::nothrow) uint8[size_t(fWindowBytes)]);
	fSecondWindow.reset(new (std::nothrow) uint8[size_t(fWindowBytes)]);
	fSectors.reset(new (std::nothrow) uint8[size_t(stagingSectors * kSectorBytes)]);
	fStatus = fWindow && fSecondWindow && fSectors ? B_OK : B_NO_MEMORY;
}

CAudioBlockReader::~CAudioBlockReader() = default;

bool CAudioBlockReader::_Synchronised() const
{
	return fOptions.syncMode != READ_SYNC_OFF && fOverlapFrames > 0;
}

bool CAudioBlockReader::OverlapEngaged() const
{
	return _Synchronised() && (fOptions.syncMode != READ_SYNC_AUTO || fJitterSeen);
}

void CAudioBlockReader::Restart()
{
	fStreamEnd = -1;
	fJitterSeen = false;
}

status_t CAudioBlockReader::_ReadFrames(int64 first, int64 frames, uint8* out)
{
	const int64 firstSector = FloorDiv(first, kSectorFrames);
	const int64 endSector = FloorDiv(first + frames - 1, kSectorFrames) + 1;
	const int64 readFrom = std::max<int64>(firstSector, 0);
	const int64 readTo = std::min<int64>(endSector, fOptions.leadOut);
	uint8* staging = fSectors.get();
	if (readFrom > firstSector)
		std::memset(staging, 0, size_t(std::min(readFrom, endSector) - firstSector) * kSectorBytes);
	if (readTo > readFrom) {
		status_t status = fRead(int32(readFrom), int32(readTo - readFrom),
			staging + size_t(readFrom - firstSector) * kSectorBytes);
		if (status != B_OK)
			return status;
	}
	const int64 silentFrom = std::max(readTo, readFrom);
	if (endSector > silentFrom)
		std::memset(staging + size_t(silentFrom - firstSector) * kSectorBytes, 0,
			size_t(endSector - silentFrom) * kSectorBytes);
	std::memcpy(out, staging + size_t(first - firstSector * kSectorFrames) * kFrameBytes, size_t(frames) * kFrameBytes);
	return B_OK;
}

status_t CAudioBlockReader::ReadBlock(int32 lba, int32 count, void* buffer)
{
	if (fStatus != B_OK)
		return fStatus;
	if (buffer == nullptr || count < 1 || count > fOptions.maxBlockSectors)
		return B_BAD_VALUE;
	const int64 start = int64(lba) * kSectorFrames + fOptions.readOffset;
	if (!_Synchronised()) {
		if (fOptions.readOffset == 0 && lba >= 0 && lba + count <= fOptions.leadOut)
			return fRead(lba, count, buffer);
		return _ReadFrames(start, int64(count) * kSectorFrames, static_cast<uint8*>(buffer));
	}
	// Each drive command lands as a whole, so each is placed on its own,
	// against the piece before it.
	auto* out = static_cast<uint8*>(buffer);
	bool continuing = fStreamEnd == int64(lba) * kSectorFrames;
	if (continuing)
		std::memcpy(fPieceAnchor, fAnchor, sizeof(fPieceAnchor));
	for (int32 done = 0; done < count;) {
		const bool checked = continuing && !OverlapEngaged();
		const int32 sectors = std::min(checked ? fCheckedPieceSectors : fPieceSectors, count - done);
		uint8* piece = out + size_t(done) * kSectorBytes;
		status_t status;
		if (!continuing)
			status = _ReadFirstBlock(lba + done, sectors, piece);
		else if (checked)
			status = _ReadChecked(lba + done, sectors, piece, fPieceAnchor);
		else
			status = _ReadContinuing(lba + done, sectors, piece, fPieceAnchor);
		if (status != B_OK)
			return status;
		std::memcpy(fPieceAnchor, piece + size_t(sectors) * kSectorBytes - sizeof(fPieceAnchor),
			sizeof(fPieceAnchor));
		continuing = true;
		done += sectors;
	}
	return B_OK;
}

status_t CAudioBlockReader::_ReadFirstBlock(int32 lba, int32 count, uint8* buffer)
{
	// Where the block lands cannot be told from the audio before it: the
	// block is taken when kFirstBlockAgreement reads of it (with the overlap
	// on both sides) are identical, which a drive that lands off now and
	// then gives for the reads that land right.
	const int64 frames = int64(count) * kSectorFrames + 2 * fOverlapFrames;
	const int64 first = int64(lba) * kSectorFrames + fOptions.readOffset - fOverlapFrames;
	const size_t bytes = size_t(frames) * kFrameBytes;
	uint64 hashes[kFirstBlockReads];
	for (int32 read = 0; read < kFirstBlockReads; read++) {
		status_t status = _ReadFrames(first, frames, fWindow.get());
		if (status != B_OK)
			return status;
		hashes[read] = AudioHash(fWindow.get(), bytes);
		int32 same = 1;
		for (int32 i = 0; i < read; i++)
			same += hashes[i] == hashes[read] ? 1 : 0;
		if (same >= kFirstBlockAgreement) {
			std::memcpy(buffer, fWindow.get() + size_t(fOverlapFrames) * kFrameBytes,
				size_t(count) * kSectorBytes);
			fLastJitter = 0;
			return B_OK;
		}
	}
	return B_MISMATCHED_VALUES;
}

status_t CAudioBlockReader::_ReadContinuing(int32 lba, int32 count, uint8* buffer, const uint8* anchor)
{
	const int64 blockFrames = int64(count) * kSectorFrames;
	const int64 frames = blockFrames + 2 * fOverlapFrames;
	const int64 first = int64(lba) * kSectorFrames + fOptions.readOffset - fOverlapFrames;
	status_t status = _ReadFrames(first, frames, fWindow.get());
	if (status != B_OK)
		return status;

	// The anchor (the stream's last frames) sits just before the block. A
	// read that landed `shift` frames late holds it `shift` frames further
	// on; the nearest placement to the expected one wins.
	const uint8* window = fWindow.get();
	// Frames past the lead-out are silence made up here, not read: a read that
	// landed late cannot fill them with the disc's last frames.
	const int64 readable = int64(fOptions.leadOut) * kSectorFrames - first;
	const int32 anchorBytes = kAnchorFrames * kFrameBytes;
	const int64 expected = fOverlapFrames - kAnchorFrames;
	const int64 lowest = int64(kAnchorFrames) - fOverlapFrames;   // anchor at the window's start
	const int64 highest = fOverlapFrames;                          // block at the window's end
	for (int64 distance = 0; distance <= std::max(-lowest, highest); distance++) {
		for (int64 shift : {distance, -distance}) {
			if (shift < lowest || shift > highest || (distance == 0 && shift < 0))
				continue;
			const uint8* at = window + size_t(expected + shift) * kFrameBytes;
			if (std::memcmp(at, anchor, anchorBytes) != 0)
				continue;
			if (shift > 0 && expected + shift + kAnchorFrames + blockFrames > readable)
				return B_MISMATCHED_VALUES;
			std::memcpy(buffer, at + anchorBytes, size_t(blockFrames) * kFrameBytes);
			fLastJitter = int32(shift);
			if (shift != 0)
				fCorrectedBlocks++;
			return B_OK;
		}
	}
	return B_MISMATCHED_VALUES;
}

status_t CAudioBlockReader::_ReadChecked(int32 lba, int32 count, uint8* buffer, const uint8* anchor)
{
	const int64 blockFrames = int64(count) * kSectorFrames;
	const int64 first = int64(lba) * kSectorFrames + fOptions.readOffset - kAnchorFrames;
	status_t status = _ReadFrames(first, blockFrames + kAnchorFrames, fWindow.get());
	if (status != B_OK)
		return status;
	const int32 anchorBytes = kAnchorFrames * kFrameBytes;
	if (std::memcmp(fWindow.get(), anchor, anchorBytes) == 0) {
		std::memcpy(buffer, fWindow.get() + anchorBytes, size_t(blockFrames) * kFrameBytes);
		fLastJitter = 0;
		return B_OK;
	}
	fJitterSeen = true;
	return _ReadContinuing(lba, count, buffer, anchor);
}

void CAudioBlockReader::Accept(int32 lba, int32 count, const void* buffer)
{
	if (!_Synchronised() || buffer == nullptr || count < 1)
		return;
	const auto* data = static_cast<const uint8*>(buffer);
	std::memcpy(fAnchor, data + size_t(count) * kSectorBytes - sizeof(fAnchor), sizeof(fAnchor));
	fStreamEnd = int64(lba + count) * kSectorFrames;
}
