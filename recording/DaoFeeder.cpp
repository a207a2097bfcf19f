// CDaoFeeder: the disc stream over all track feeders, its counts and its
// cue sheet.
#include "recording/DaoFeeder.h"

#include "frame/Diagnostics.h"
#include "kit/storage/Entry.h"
#include "projects/Project.h"
#include "projects/ProjectTrack.h"
#include "recording/RecordingCheck.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr int32 kMaxTracks = 99;
constexpr int32 kCueEntrySize = 8;

// Unlocks the project on every way out of Init.
class ProjectLock {
public:
	explicit ProjectLock(CProject* project) : fProject(project) { fProject->Lock(); }
	~ProjectLock() { fProject->Unlock(); }
	ProjectLock(const ProjectLock&) = delete;
	ProjectLock& operator=(const ProjectLock&) = delete;

private:
	CProject* fProject;
};

// Writes one cue sheet entry at `entry` and traces it with `kind` (the
// padded label of the trace line).
void PutCueEntry(uint8* entry, const char* kind, uint8 control, uint8 track, uint8 index, uint8 dataForm, int32 time)
{
	const int32 minute = time / (60 * CD_SECTORS_PER_SECOND);
	const int32 second = (time / CD_SECTORS_PER_SECOND) % 60;
	const int32 frame = time % CD_SECTORS_PER_SECOND;
	entry[0] = control;
	entry[1] = track;
	entry[2] = index;
	entry[3] = dataForm;
	entry[4] = 0;
	entry[5] = uint8(minute);
	entry[6] = uint8(second);
	entry[7] = uint8(frame);
	CDebugFunctionTracer::Trace("%s Track %02d, time = %02d:%02d.%02d, %02X %02X %02X %02X %02X %02X %02X %02X\n",
		kind, int(track), int(minute), int(second), int(frame), entry[0], entry[1], entry[2], entry[3], entry[4],
		entry[5], entry[6], entry[7]);
}

// Control/ADR byte of a track: ADR 1, pre-emphasis 0x10, copy allowed 0x20.
uint8 ControlAdr(const CTrackFeeder& track)
{
	return uint8(0x01 | (track.PreEmphasis() ? 0x10 : 0) | (track.CopyAllowed() ? 0x20 : 0));
}

}   // namespace

CDaoFeeder::CDaoFeeder()
{
	fTracks.reserve(20);
}

CDaoFeeder::~CDaoFeeder() = default;

status_t CDaoFeeder::Init(CProject* project)
{
	DEBUG_ASSERT(project != nullptr);
	if (project == nullptr)
		return B_BAD_VALUE;
	ProjectLock lock(project);
	fTrackCount = project->CountTracks();
	if (fTrackCount <= 0 || fTrackCount > kMaxTracks) {
		DebugPrint("CDaoFeeder error: the project has %d tracks, a disc takes 1 to 99!\n", int(fTrackCount));
		return B_BAD_VALUE;
	}

	int64 discBytes = 0;
	for (int32 i = 0; i < fTrackCount; i++) {
		CProjectTrack* projectTrack = project->TrackAt(i);
		if (projectTrack == nullptr) {
			DebugAssert(__FILE__, __LINE__, "projecttrack != 0");
			return B_ERROR;
		}
		const std::string fileName = projectTrack->Filename();

		const BEntry* entry = nullptr;
		status_t status = projectTrack->GetEntry(&entry);
		if (status == B_ENTRY_NOT_FOUND) {
			DebugPrint("CDaoFeeder error: File \"%s\" does not exist!\n", fileName.c_str());
			return B_FILE_NOT_FOUND;
		}
		if (status != B_OK) {
			DebugPrint("CDaoFeeder error: projecttrack->GetEntry failed for file \"%s\"!\n", fileName.c_str());
			return status;
		}
		const bool exists = entry->Exists();
		entry_ref ref;
		const status_t refStatus = exists ? entry->GetRef(&ref) : B_OK;
		projectTrack->ReleaseEntry();
		if (!exists) {
			DebugPrint("CDaoFeeder error: File \"%s\" does not exist!\n", fileName.c_str());
			return B_FILE_NOT_FOUND;
		}
		if (refStatus != B_OK) {
			DebugPrint("CDaoFeeder error: Could not get entry_ref for file \"%s\"!\n", fileName.c_str());
			return refStatus;
		}

		auto feeder = std::make_unique<CTrackFeeder>();
		status = feeder->Init(&ref);
		if (status != B_OK) {
			DebugPrint("CDaoFeeder error: CTrackFeeder::Init() failed for file \"%s\"!\n", fileName.c_str());
			return status;
		}

		// Summed in 64 bits: the counts of a run are int32 bytes, so a disc
		// that does not fit is refused here, before any drive command.
		const int64 pause = PauseSectorsForTrack(projectTrack->StartSilenceLength(), i == 0);
		discBytes += pause * CD_SECTOR_SIZE + feeder->TrackLength();
		if (pause > feeder->MaxPauseSectorCount() || discBytes > INT32_MAX) {
			DebugPrint("CDaoFeeder error: the tracks up to \"%s\" take %lld bytes, more than the %d bytes a disc "
				"stream can hold!\n", fileName.c_str(), (long long)discBytes, int(INT32_MAX));
			return StatusFromErrno(EFBIG);
		}
		feeder->SetPauseSectorCount(int(pause));
		fTracks.push_back(std::move(feeder));
	}

	status_t status = Rewind();
	if (status != B_OK) {
		DebugPrint("CDaoFeeder error: Rewind failed!\n");
		return status;
	}
	return B_OK;
}

status_t CDaoFeeder::Read(void* buffer, int bytes, int* bytesRead, bool littleEndian)
{
	DEBUG_ASSERT(bytesRead != nullptr);
	if (fCurrentTrack > fTrackCount || fCurrentTrack > int32(fTracks.size())) {
		*bytesRead = 0;
		return B_OK;
	}
	auto* out = static_cast<uint8*>(buffer);
	int total = 0;
	int remaining = bytes;
	for (;;) {
		int got = 0;
		status_t status = fTracks[size_t(fCurrentTrack - 1)]->Read(out + total, remaining, &got, littleEndian);
		if (status != B_OK) {
			*bytesRead = total;
			return status;
		}
		total += got;
		remaining -= got;
		DEBUG_ASSERT(remaining >= 0);
		if (remaining <= 0)
			break;
		// The track has been read to its end: its decoder goes.
		fTracks[size_t(fCurrentTrack - 1)]->Release();
		fCurrentTrack++;
		if (fCurrentTrack > fTrackCount || fCurrentTrack > int32(fTracks.size()))
			break;
		status = fTracks[size_t(fCurrentTrack - 1)]->Rewind();
		if (status != B_OK) {
			*bytesRead = total;
			return status;
		}
	}
	*bytesRead = total;
	return B_OK;
}

status_t CDaoFeeder::Rewind()
{
	fCurrentTrack = 1;
	CTrackFeeder* track = _Track(1);
	return track != nullptr ? track->Rewind() : B_NO_INIT;
}

status_t CDaoFeeder::DummyRead()
{
	if (fCurrentTrack > fTrackCount || fCurrentTrack > int32(fTracks.size()))
		return B_OK;
	return fTracks[size_t(fCurrentTrack - 1)]->DummyRead();
}

status_t CDaoFeeder::CreateCueSheet(std::unique_ptr<uint8[]>* cueSheet, int32* size, bool cdText)
{
	DEBUG_ASSERT(cueSheet != nullptr && size != nullptr);
	const int32 tracks = int32(fTracks.size());
	const int32 entries = 2 * tracks + 2;
	auto sheet = std::make_unique<uint8[]>(size_t(entries) * kCueEntrySize);
	uint8* entry = sheet.get();

	const uint8 firstControl = tracks > 0 ? ControlAdr(*fTracks[0]) : 0x01;
	PutCueEntry(entry, "lead-in, ", firstControl, 0, 0, cdText ? 0x41 : 0x01, 0);
	entry += kCueEntrySize;
	int32 time = 0;
	for (int32 n = 1; n <= tracks; n++) {
		const CTrackFeeder& track = *fTracks[size_t(n - 1)];
		const uint8 control = ControlAdr(track);
		PutCueEntry(entry, "pause,   ", control, uint8(n), 0, 0x00, time);
		entry += kCueEntrySize;
		time += TrackPauseSectorCount(n);
		PutCueEntry(entry, "audio,   ", control, uint8(n), 1, 0x00, time);
		entry += kCueEntrySize;
		time += TrackDataSectorCount(n);
	}
	PutCueEntry(entry, "lead-out,", 0x01, 0xAA, 1, 0x01, time);

	*cueSheet = std::move(sheet);
	*size = entries * kCueEntrySize;
	return B_OK;
}

int32 CDaoFeeder::DiscSectorCount() const
{
	// Init refused every disc whose byte total does not fit an int32.
	int32 bytes = 0;
	for (const auto& track : fTracks)
		bytes += track->TrackLength();
	return bytes / CD_SECTOR_SIZE;
}

int32 CDaoFeeder::TrackSectorCount(int32 track) const
{
	const CTrackFeeder* feeder = _Track(track);
	return feeder != nullptr ? feeder->TrackLength() / CD_SECTOR_SIZE : 0;
}

int32 CDaoFeeder::TrackDataSectorCount(int32 track) const
{
	const CTrackFeeder* feeder = _Track(track);
	return feeder != nullptr ? (feeder->TrackLength() - feeder->PauseLength()) / CD_SECTOR_SIZE : 0;
}

int32 CDaoFeeder::TrackPauseSectorCount(int32 track) const
{
	const CTrackFeeder* feeder = _Track(track);
	return feeder != nullptr ? feeder->PauseLength() / CD_SECTOR_SIZE : 0;
}

const char* CDaoFeeder::TrackName(int32 track) const
{
	const CTrackFeeder* feeder = _Track(track);
	return feeder != nullptr ? feeder->Name() : "";
}

const char* CDaoFeeder::TrackFile(int32 track) const
{
	const CTrackFeeder* feeder = _Track(track);
	return feeder != nullptr ? feeder->File() : "";
}

bool CDaoFeeder::TrackCopyAllowed(int32 track) const
{
	const CTrackFeeder* feeder = _Track(track);
	return feeder != nullptr && feeder->CopyAllowed();
}

bool CDaoFeeder::TrackPreEmphasis(int32 track) const
{
	const CTrackFeeder* feeder = _Track(track);
	return feeder != nullptr && feeder->PreEmphasis();
}

const char* CDaoFeeder::TrackMCN(int32 track) const
{
	DEBUG_ASSERT(track >= 1 && track <= 99);
	return "";
}

const char* CDaoFeeder::TrackISRC(int32 track) const
{
	DEBUG_ASSERT(track >= 1 && track <= 99);
	return "";
}

int32 CDaoFeeder::CurrentTrack() const
{
	return std::min(fCurrentTrack, fTrackCount);
}

CTrackFeeder* CDaoFeeder::_Track(int32 track) const
{
	DEBUG_ASSERT(track >= 1 && track <= 99);
	if (track < 1 || track > int32(fTracks.size())) {
		DebugAssert(__FILE__, __LINE__, "trackfeeder != 0");
		return nullptr;
	}
	return fTracks[size_t(track - 1)].get();
}
