// CTrackFeeder: pause, decoded audio and padding of one track.
#include "recording/TrackFeeder.h"

#include "frame/Diagnostics.h"
#include "kit/media/MediaDefs.h"
#include "kit/storage/Entry.h"
#include "kit/storage/Path.h"
#include "projects/RawMediaFileReader.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Swaps the two bytes of every 16-bit sample of `bytes` bytes (even).
void SwapInt16Samples(uint8* data, int32 bytes)
{
	for (int32 i = 0; i + 1 < bytes; i += 2)
		std::swap(data[i], data[i + 1]);
}

}   // namespace

CTrackFeeder::CTrackFeeder()
	:
	fReader(std::make_unique<CRawMediaFileReader>())
{
}

CTrackFeeder::~CTrackFeeder()
{
	DebugLog("CTrackFeeder finished: DEBUG_data_bytes_max=%d, DEBUG_data_bytes_read=%d\n", int(DEBUG_data_bytes_max),
		int(DEBUG_data_bytes_read));
	fReader.reset();
	if (fDummyFile >= 0)
		close(fDummyFile);
}

status_t CTrackFeeder::Init(const entry_ref* ref)
{
	DEBUG_ASSERT(ref != nullptr);
	if (ref == nullptr)
		return B_BAD_VALUE;
	fRef = *ref;
	status_t status = fReader->SetTo(fRef);
	if (status != B_OK) {
		DebugPrint("CTrackFeeder::Init error: CRawMediaFileReader::SetTo failed\n");
		return status;
	}

	BEntry entry(&fRef, false);
	BPath path;
	status = entry.InitCheck();
	if (status == B_OK)
		status = path.SetTo(&entry);
	if (status != B_OK) {
		DebugPrint("CTrackFeeder::Init error: BPath::SetTo failed\n");
		return status;
	}
	fName = path.Leaf() != nullptr ? path.Leaf() : "";
	fPath = path.Path() != nullptr ? path.Path() : "";

	// Computed in 64 bits: a file whose data does not fit the int32 byte
	// counts is refused rather than cut to a wrong length.
	const int64 dataLength = fReader->CountFrames() * int64(fReader->FrameSize());
	if (dataLength <= 0) {
		DebugPrint("CTrackFeeder::Init error: no data\n");
		return B_ERROR;
	}
	if (dataLength > int64(INT32_MAX) - CD_SECTOR_SIZE) {
		DebugPrint("CTrackFeeder::Init error: file \"%s\" holds %lld bytes of audio, more than a track can take\n",
			fName.c_str(), (long long)dataLength);
		return StatusFromErrno(EFBIG);
	}
	fDataLength = int32(dataLength);
	DEBUG_data_bytes_max = fDataLength;
	fPaddingLength = fDataLength % CD_SECTOR_SIZE == 0 ? 0 : CD_SECTOR_SIZE - fDataLength % CD_SECTOR_SIZE;
	fPauseLength = 0;
	fDataIsLittleEndian = fReader->ByteOrder() == B_MEDIA_LITTLE_ENDIAN;

	// Measured: the decoder goes until the track is read, so that a disc of
	// many tracks holds one decoder at a time.
	fReader.reset();
	fPosition = 0;
	DEBUG_data_bytes_read = 0;
	return B_OK;
}

status_t CTrackFeeder::_Open()
{
	auto reader = std::make_unique<CRawMediaFileReader>();
	status_t status = reader->SetTo(fRef);
	if (status != B_OK) {
		DebugPrint("CTrackFeeder error: CRawMediaFileReader::SetTo failed for \"%s\"\n", fName.c_str());
		return status;
	}
	if (reader->CountFrames() * int64(reader->FrameSize()) != fDataLength) {
		DebugPrint("CTrackFeeder error: file \"%s\" changed its length\n", fName.c_str());
		return B_IO_ERROR;
	}
	fReader = std::move(reader);
	return B_OK;
}

status_t CTrackFeeder::Rewind()
{
	if (fReader == nullptr) {
		fPosition = 0;
		DEBUG_data_bytes_read = 0;
		return _Open();
	}
	status_t status = fReader->Rewind();
	if (status != B_OK) {
		DebugPrint("CTrackFeeder::Rewind error: Rewind failed\n");
		return status;
	}
	fPosition = 0;
	DEBUG_data_bytes_read = 0;
	return B_OK;
}

void CTrackFeeder::Release()
{
	fReader.reset();
}

status_t CTrackFeeder::Read(void* buffer, int bytes, int* bytesRead, bool littleEndian)
{
	DEBUG_ASSERT(bytes % 4 == 0);
	DEBUG_ASSERT(bytesRead != nullptr);
	auto* out = static_cast<uint8*>(buffer);
	const int32 trackLength = TrackLength();
	int32 placed = 0;
	int32 remaining = std::max(bytes, 0) / 4 * 4;

	if (fPosition >= trackLength) {
		*bytesRead = 0;
		return B_OK;
	}

	// Pause.
	if (remaining > 0 && fPosition < fPauseLength) {
		const int32 count = std::min(remaining, fPauseLength - fPosition);
		DEBUG_ASSERT(count > 0);
		std::memset(out, 0, size_t(count));
		out += count;
		placed += count;
		remaining -= count;
		fPosition += count;
		DEBUG_ASSERT(remaining % 4 == 0);
	}

	// Data.
	if (remaining > 0 && fPosition < fPauseLength + fDataLength) {
		// A released or never opened decoder starts at the file's first
		// frame: right only where no data has been delivered yet.
		if (fReader == nullptr) {
			if (fPosition != fPauseLength)
				return B_NO_INIT;
			status_t status = _Open();
			if (status != B_OK)
				return status;
		}
		int32 frames = remaining / 4;
		status_t status = fReader->ReadFrames(out, &frames);
		if (status != B_OK) {
			DebugPrint("CTrackFeeder::Read error: ReadFrames failed\n");
			return status;
		}
		// The reader never delivers more than asked nor past the file's end;
		// a hostile count is still kept inside both.
		frames = std::clamp<int32>(frames, 0, std::min(remaining, fPauseLength + fDataLength - fPosition) / 4);
		const int32 count = frames * 4;
		DEBUG_data_bytes_read += count;
		fPosition += count;
		if (fDataIsLittleEndian != littleEndian)
			SwapInt16Samples(out, count);
		out += count;
		placed += count;
		remaining -= count;
		DEBUG_ASSERT(remaining % 4 == 0);
	}

	// Padding.
	if (remaining > 0 && fPosition < trackLength) {
		const int32 count = std::min(remaining, trackLength - fPosition);
		DEBUG_ASSERT(count > 0);
		std::memset(out, 0, size_t(count));
		placed += count;
		remaining -= count;
		fPosition += count;
		DEBUG_ASSERT(remaining % 4 == 0);
	}

	*bytesRead = placed;
	return B_OK;
}

status_t CTrackFeeder::DummyRead()
{
	DebugLog("CTrackFeeder::DummyRead()\n");
	if (fDummyFile < 0) {
		const std::string path = fRef.Path();
		fDummyFile = open(path.c_str(), O_RDONLY | O_CLOEXEC);
		if (fDummyFile < 0)
			return StatusFromErrno();
	}
	struct stat st;
	if (fstat(fDummyFile, &st) != 0)
		return StatusFromErrno();
	const int64 rest = int64(st.st_size) - 3000;
	if (rest <= 99)
		return -1;
	// The product of two rand() values, as a signed 32-bit number; its sign
	// is dropped so that the offset lies inside the file.
	const int64 product = int64(int32(uint32(rand()) * uint32(rand())));
	const int64 offset = (product < 0 ? -product : product) % rest;
	uint8 scratch[CD_SECTOR_SIZE];
	const ssize_t got = pread(fDummyFile, scratch, sizeof(scratch), off_t(offset));
	return got == CD_SECTOR_SIZE ? B_OK : -1;
}

const char* CTrackFeeder::File() const
{
	return fPath.c_str();
}

const char* CTrackFeeder::Name() const
{
	return fName.c_str();
}

void CTrackFeeder::SetPauseSectorCount(int sectors)
{
	DEBUG_ASSERT(sectors >= 0 && sectors <= MaxPauseSectorCount());
	sectors = std::clamp(sectors, 0, MaxPauseSectorCount());
	fPauseLength = sectors * CD_SECTOR_SIZE;
}

int32 CTrackFeeder::MaxPauseSectorCount() const
{
	return (INT32_MAX - fDataLength - fPaddingLength) / CD_SECTOR_SIZE;
}
