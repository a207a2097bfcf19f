#include "recording/DiscVerifier.h"

#include "recording/CdRecordStatusView.h"
#include "recording/DaoFeeder.h"

#include "devices/Device.h"
#include "disc/Toc.h"
#include "driver/driverbaseclass.h"
#include "projects/Project.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

constexpr int32 kSectorSize = 2352;
constexpr int32 kChunkSectors = 27;

}   // namespace

status_t VerifyRecordedDisc(CDevice* device, CProject* project, std::vector<TRACK_VERIFICATION>* results,
	const std::atomic<bool>* stop)
{
	results->clear();
	CDriver* driver = device->GetDriver();
	std::vector<int32> starts;
	if (device->ReadToc()) {
		CToc* toc = device->GetToc();
		toc->Lock();
		for (int32 track = 1; track <= toc->TrackCount(); track++)
			starts.push_back(toc->TrackTrackLBA(track));
		toc->Unlock();
	}

	// A disc of another number of tracks is refused before any file is
	// opened.
	project->Lock();
	const int32 projectTracks = project->CountTracks();
	project->Unlock();
	if (int32(starts.size()) != projectTracks)
		return B_BAD_VALUE;

	CDaoFeeder feeder;
	status_t status = feeder.Init(project);
	if (status != B_OK)
		return status;
	if (int32(starts.size()) != feeder.DiscTrackCount())
		return B_BAD_VALUE;

	// One allocation for the whole check; the feeder streams the disc in
	// order, track after track.
	std::unique_ptr<uint8[]> source(new uint8[size_t(kChunkSectors) * kSectorSize]);
	std::unique_ptr<uint8[]> disc(new uint8[size_t(kChunkSectors) * kSectorSize]);
	bool little = device->IsLittleEndian();
	for (int32 track = 1; track <= feeder.DiscTrackCount(); track++) {
		TRACK_VERIFICATION result;
		result.track = track;
		int32 sectors = feeder.TrackSectorCount(track);
		int32 lba = starts[track - 1] - feeder.TrackPauseSectorCount(track);
		int32 done = 0;
		while (done < sectors) {
			if (stop != nullptr && stop->load())
				return B_CANCELED;
			int32 count = std::min(kChunkSectors, sectors - done);
			int bytes = 0;
			status = feeder.Read(source.get(), count * kSectorSize, &bytes, little);
			if (status != B_OK || bytes != count * kSectorSize)
				return status != B_OK ? status : B_ERROR;
			int32 skip = std::clamp(-(lba + done), 0, count);
			if (skip < count && result.firstDifference < 0 && result.readError.empty()) {
				SCSI_STATUS scsi {};
				if (!driver->ReadAudio(device, disc.get(), lba + done + skip, count - skip, &scsi)) {
					result.readError = "sectors " + std::to_string(lba + done + skip) + "-"
						+ std::to_string(lba + done + count - 1) + ": "
						+ CCdRecordStatusView::ScsiErrorText("(", scsi);
				} else {
					for (int32 s = skip; s < count; s++) {
						if (memcmp(source.get() + size_t(s) * kSectorSize,
								disc.get() + size_t(s - skip) * kSectorSize, kSectorSize) != 0) {
							result.firstDifference = lba + done + s;
							break;
						}
					}
				}
			}
			done += count;
		}
		result.verified = result.firstDifference < 0 && result.readError.empty();
		results->push_back(result);
	}
	return B_OK;
}
