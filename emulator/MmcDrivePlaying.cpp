#include "emulator/MmcDrive.h"

#include <algorithm>

using namespace mmc;

CMmcDrive::SResult CMmcDrive::StartPlay(int32 start, int32 end)
{
	SResult r;
	const CDiscImage& disc = *fMedium;
	if (disc.IsBlank() || start < 0 || end > disc.LeadOut() || start > end) {
		r.sense = kSenseLbaOutOfRange;
		return r;
	}
	bigtime_t now = fClock->Now();
	if (start == end) {
		return r;   // nothing to play; not an error
	}
	if (fModePages.StopOnTrackCrossing()) {
		const CDiscImage::STrack* track = disc.TrackAt(start);
		if (track != nullptr)
			end = std::min(end, track->end);
	}
	fPlayback.Play(start, end, now);
	return r;
}

CMmcDrive::SResult CMmcDrive::DoPlayAudio(const SContext& c)
{
	SResult r;
	if (!fConfig.capabilities.audioPlay) {
		r.sense = kSenseInvalidOpcode;
		return r;
	}
	const CDiscImage& disc = *fMedium;
	bigtime_t now = fClock->Now();
	int32 current = fPlayback.Position(now);
	switch (c.cdb[0]) {
		case kPlayAudio10:
		case kPlayAudio12: {
			const SPlayAudioFields fields = c.cdb[0] == kPlayAudio10 ? DecodePlayAudio10(c.cdb) : DecodePlayAudio12(c.cdb);
			uint32 address = fields.address;
			int64 length = fields.length;
			int32 start = address == 0xFFFFFFFF ? current : int32(address);
			if (length == 0)
				return r;
			if (start < 0 || start + length > disc.LeadOut()) {
				r.sense = kSenseLbaOutOfRange;
				return r;
			}
			return StartPlay(start, int32(start + length));
		}
		case kPlayAudioMsf: {
			const SMsfRange range = DecodePlayAudioMsf(c.cdb);
			bool fromCurrent = range.start.minute == 0xFF && range.start.second == 0xFF && range.start.frame == 0xFF;
			if (!fromCurrent && (range.start.second > 59 || range.start.frame > 74)) {
				r.sense = SenseInvalidCdbField(4);
				return r;
			}
			if (range.end.second > 59 || range.end.frame > 74) {
				r.sense = SenseInvalidCdbField(7);
				return r;
			}
			int32 start = fromCurrent ? current : MsfToLba(range.start);
			int32 end = MsfToLba(range.end);
			if (start > end) {
				r.sense = SenseInvalidCdbField(3);
				return r;
			}
			return StartPlay(start, end);
		}
		case kPlayAudioTrackIndex:
		default: {
			const SPlayTrackIndexFields fields = DecodePlayAudioTrackIndex(c.cdb);
			const CDiscImage::STrack* first = disc.FindTrack(fields.startTrack);
			if (first == nullptr) {
				r.sense = SenseInvalidCdbField(4);
				return r;
			}
			int32 start = -1;
			for (const auto& [number, lba] : first->indexes)
				if (number == std::max<int>(fields.startIndex, 1))
					start = lba;
			if (start < 0) {
				r.sense = SenseInvalidCdbField(5);
				return r;
			}
			int endNumber = std::min<int>(std::max<int>(fields.endTrack, 1), disc.LastTrack());
			const CDiscImage::STrack* last = disc.FindTrack(endNumber);
			if (last == nullptr || last->number < first->number) {
				r.sense = SenseInvalidCdbField(7);
				return r;
			}
			// Play up to the end of the ending index.
			int32 end = last->end;
			for (const auto& [number, lba] : last->indexes)
				if (number > fields.endIndex && number >= 1 && lba > start) {
					end = lba;
					break;
				}
			return StartPlay(start, end);
		}
	}
}

CMmcDrive::SResult CMmcDrive::DoPauseResume(const SContext& c)
{
	SResult r;
	bigtime_t now = fClock->Now();
	bool ok = DecodePauseResume(c.cdb) ? fPlayback.Resume(now) : fPlayback.Pause(now);
	if (!ok)
		r.sense = kSenseCommandSequenceError;
	return r;
}

CMmcDrive::SResult CMmcDrive::DoStop(const SContext& c)
{
	fPlayback.Stop(fClock->Now());
	return SResult();
}
