#include "emulator/MmcDrive.h"
#include "kit/device/CdText.h"

#include "kit/device/CdAddress.h"
#include "kit/device/ScsiCommands.h"
#include "kit/device/ScsiParameters.h"
#include "kit/storage/FindDirectory.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unistd.h>

using namespace mmc;

namespace {

// A BCD byte whose value is at most `maximum`.
bool BcdAtMost(uint8 value, int32 maximum)
{
	int32 v = FromBcd(value);
	return v >= 0 && v <= maximum;
}

constexpr int32 kLeadOutSectors = 6750;   // 90 seconds: the lead-out of a first session

}   // namespace

bool CMmcDrive::TakeWriteParameters(const SContext& c, size_t* length, SResult* r) const
{
	*length = DecodeParameterListLength10(c.cdb);
	if (*length > c.dataLength) {
		r->sense = kSenseParameterListLength;
		return false;
	}
	r->transferred = *length;
	return WritableMedium(&r->sense);
}

// Writes what the buffer holds. Track at once: the track ends. Session at
// once: when every sector of the cue sheet has arrived, the lead-out follows
// and the session is closed.
CMmcDrive::SResult CMmcDrive::DoSynchronizeCache(const SContext& c)
{
	// The Yamaha family answers at once and reports the lead-out as a
	// write in progress.
	bool immediate = (c.cdb[1] & 0x02) != 0 || fConfig.dialect == CDriveConfig::kDialectYamaha;
	if (!fRecorder.RunOpen())
		return SResult();   // nothing is held back
	bigtime_t now = WriteNow();
	if (fWriteBuffer.Update(now))
		return FailRun(kSenseBufferUnderrun, "the buffer ran empty");
	if (fRecorder.RunWriteType() == kWriteTypeSessionAtOnce) {
		if (fRecorder.AllSectorsWritten() && fVendorLeadIn == 0)
			return FinishSession(kLeadOutSectors, immediate);
		return Until(fWriteBuffer.Drain(now), immediate);
	}
	bigtime_t doneAt = fWriteBuffer.Drain(now);
	fRecorder.CloseTrack();
	return Until(doneAt, immediate);
}

// DoOpc on a medium that can be written; the OPC table itself (DoOpc clear)
// is not kept.
CMmcDrive::SResult CMmcDrive::DoSendOpcInformation(const SContext& c)
{
	SResult r;
	if (DecodeSendOpcInformation(c.cdb) && WritableMedium(&r.sense))
		fWriteFaults.TakeOpcFault(&r.sense);
	return r;
}

CMmcDrive::SResult CMmcDrive::DoTeacClearSubcode(const SContext&)
{
	fLimitStart = fLimitLength = 0;
	fSubcodes.clear();
	return SResult();
}

// WRITE PMA: the track just written gets its index 1 from the sub-code
// ranges and is closed.
CMmcDrive::SResult CMmcDrive::DoTeacWritePma(const SContext&)
{
	SResult r;
	if (!fRecorder.RunOpen() || !fRecorder.TrackOpen()) {
		r.sense = kSenseCommandSequenceError;
		return r;
	}
	bigtime_t now = WriteNow();
	if (fWriteBuffer.Update(now))
		return FailRun(kSenseBufferUnderrun, "the buffer ran empty");
	int number = fRecorder.NextTrackNumber();
	for (const SSubcodeRange& range : fSubcodes)
		if (range.track == number && range.index == 1)
			fRecorder.SetOpenTrackStart(range.start, range.control);
	bigtime_t doneAt = fWriteBuffer.Drain(now);
	fRecorder.CloseTrack();
	return Until(doneAt, false);
}

// FREEZE: the TOC goes into the lead-in, the lead-out follows; the drive
// is busy until then.
CMmcDrive::SResult CMmcDrive::DoTeacFreeze(const SContext&)
{
	SResult r;
	if (!fRecorder.RunOpen()) {
		r.sense = kSenseCommandSequenceError;
		return r;
	}
	r.sense = fRecorder.CanCloseSession();
	if (r.sense.IsError())
		return r;
	return FinishSession(kLeadOutSectors + std::max(0, -kCdMsfOffset - fMedium->LeadInStart()), true);
}

bool CMmcDrive::WritableMedium(SSense* sense) const
{
	if (fMedium == nullptr || !fMedium->IsRecordable() || !fMedium->IsBlank() || fRecorder.Unusable()) {
		*sense = kSenseLbaOutOfRange;   // no writable address on this disc
		return false;
	}
	return true;
}

CMmcDrive::SResult CMmcDrive::DoReadBufferCapacity(const SContext& c)
{
	uint8* out = fResponse.data();
	std::memset(out, 0, 12);
	SetBe16(out, 10);
	bigtime_t now = WriteNow();
	fWriteBuffer.Update(now);   // an underrun is reported by the next write
	uint32 bytes = uint32(fConfig.capabilities.bufferKb) * 1024;
	uint32 fill = uint32(std::min<size_t>(fWriteBuffer.FillBytes(now), bytes));
	const SReadBufferCapacityFields fields = DecodeReadBufferCapacity(c.cdb);
	if (fields.blocks) {
		SetBe32(out + 8, (bytes - fill) / uint32(kCdAudioSectorSize));
	} else {
		SetBe32(out + 4, bytes);
		SetBe32(out + 8, bytes - fill);
	}
	return Respond(c, fields.allocation, 12);
}

CMmcDrive::SResult CMmcDrive::DoTeacSetLimits(const SContext& c)
{
	SResult r;
	const SBlockRange range = DecodeTeacSetLimits(c.cdb);
	int32 start = range.lba;
	uint32 length = range.blocks;
	if (!WritableMedium(&r.sense))
		return r;
	if (start < -150 || start >= fMedium->LastPossibleLeadOut()) {
		r.sense = SenseInvalidCdbField(2);
		return r;
	}
	if (length == 0 || int64(start) + length > int64(fMedium->LastPossibleLeadOut()) + 6750) {
		r.sense = SenseInvalidCdbField(6);
		return r;
	}
	fLimitStart = start;
	fLimitLength = int32(length);
	return r;
}

// SET SUBCODE takes either the sub-code of the range of the last SET LIMITS
// (P flag, control/ADR, BCD track and index) or the TOC of the lead-in (a
// 3-byte header, then 5-byte entries of control/ADR, point and BCD MSF).
CMmcDrive::SResult CMmcDrive::DoTeacSetSubcode(const SContext& c)
{
	SResult r;
	size_t length = 0;
	if (!TakeWriteParameters(c, &length, &r))
		return r;
	const uint8* d = c.data;
	if (length == 4) {
		if (fLimitLength == 0) {
			r.sense = kSenseCommandSequenceError;
			return r;
		}
		if (d[0] > 1 || (d[1] & 0x0F) != 1 || !BcdAtMost(d[2], 99) || d[2] == 0 || !BcdAtMost(d[3], 99)) {
			r.sense = SenseInvalidParameterField(d[0] > 1 ? 0 : (d[1] & 0x0F) != 1 ? 1 : !BcdAtMost(d[2], 99) ? 2 : 3);
			return r;
		}
		if (fSubcodes.size() < 100 * 100)
			fSubcodes.push_back({fLimitStart, fLimitLength, FromBcd(d[2]), FromBcd(d[3]), uint8(d[1] >> 4)});
		return r;
	}
	if (length < 3 + 3 * 5 || (length - 3) % 5 != 0) {
		r.sense = kSenseParameterListLength;
		return r;
	}
	for (size_t at = 3; at < length; at += 5) {
		uint8 point = d[at + 1];
		bool pointValid = (BcdAtMost(point, 99) && point != 0) || point == 0xA0 || point == 0xA1 || point == 0xA2;
		bool timeValid = point == 0xA0 || point == 0xA1
			|| (BcdAtMost(d[at + 2], 99) && BcdAtMost(d[at + 3], 59) && BcdAtMost(d[at + 4], 74));
		if ((d[at] & 0x0F) != 1 || !pointValid || !timeValid) {
			r.sense = SenseInvalidParameterField(uint16(at));
			return r;
		}
	}
	// Disc at once: the ranges set so far and the lead-out of the TOC make
	// the session's plan.
	SWriteParameters p = WriteParameters();
	if (p.writeType != kWriteTypeSessionAtOnce)
		return r;
	int32 leadOut = 0;
	for (size_t at = 3; at < length; at += 5)
		if (d[at + 1] == 0xA2)
			leadOut = ProgramMsfToLba(FromBcd(d[at + 2]), FromBcd(d[at + 3]), FromBcd(d[at + 4]));
	SCueSheetPlan plan;
	if (!PlanFromSubcodes(leadOut, &plan)) {
		r.sense = kSenseCommandSequenceError;
		return r;
	}
	r.sense = fRecorder.SetPlan(p, std::move(plan));
	return r;
}

bool CMmcDrive::PlanFromSubcodes(int32 leadOut, SCueSheetPlan* plan) const
{
	std::vector<SSubcodeRange> ranges = fSubcodes;
	std::sort(ranges.begin(), ranges.end(),
		[](const SSubcodeRange& a, const SSubcodeRange& b) { return a.start < b.start; });
	SWrittenDisc& disc = plan->disc;
	for (const SSubcodeRange& range : ranges) {
		if (disc.tracks.empty() || disc.tracks.back().number != range.track) {
			if (range.track != int(disc.tracks.size()) + 1 || range.index > 1)
				return false;
			if (!disc.tracks.empty())
				disc.tracks.back().end = range.start;
			SWrittenDisc::STrack track;
			track.number = range.track;
			track.control = range.control & 0x0B;
			track.pregapStart = track.start = range.start;
			disc.tracks.push_back(track);
		}
		SWrittenDisc::STrack& track = disc.tracks.back();
		if (range.index == 1 && track.indexes.empty())
			track.start = range.start;
		if (range.index >= 1 && (track.indexes.empty() || track.indexes.back().first < range.index))
			track.indexes.emplace_back(range.index, range.start);
	}
	if (disc.tracks.empty() || leadOut <= disc.tracks.back().start)
		return false;
	for (const SWrittenDisc::STrack& track : disc.tracks)
		if (track.indexes.empty())
			return false;
	disc.tracks.back().end = leadOut;
	disc.leadOut = leadOut;
	int32 first = disc.tracks.front().pregapStart;
	plan->ranges.push_back({first, leadOut - first, true});
	return first == -kCdMsfOffset;
}

CMmcDrive::SResult CMmcDrive::DoTeacNextWritableAddress(const SContext& c)
{
	SResult r;
	if (!WritableMedium(&r.sense))
		return r;
	int32 nwa = 0;
	if (!fRecorder.NextWritableAddress(WriteParameters(), &nwa))
		nwa = fRecorder.Written();
	SetBe32(fResponse.data(), uint32(nwa));
	return Respond(c, c.dataLength, 4);
}

CMmcDrive::SResult CMmcDrive::DoTeacOpcExecution(const SContext& c)
{
	SResult r;
	if (!WritableMedium(&r.sense))
		r.sense = Sense(kSenseKeyIllegalRequest, 0xCD, 0x00);   // cannot ensure reliable writing on this disc
	else if ((c.cdb[1] & 0x01) == 0)
		fWriteFaults.TakeOpcFault(&r.sense);   // calibration, not judging the disc
	return r;
}

CMmcDrive::SResult CMmcDrive::DoPhilipsFirstWritableAddress(const SContext& c)
{
	SResult r;
	if (!WritableMedium(&r.sense))
		return r;
	const SPhilipsFirstWritableAddressFields fields = DecodePhilipsFirstWritableAddress(c.cdb);
	uint8 sectorType = fields.sectorType;
	if (sectorType != 1 && sectorType != 4 && sectorType != 5) {
		r.sense = SenseInvalidCdbField(3);
		return r;
	}
	int32 nwa = 0;
	if (!fRecorder.NextWritableAddress(WriteParameters(), &nwa)) {
		r.sense = kSenseInvalidAddressForWrite;
		return r;
	}
	uint8* out = fResponse.data();
	std::memset(out, 0, 6);
	out[0] = 5;
	SetBe32(out + 1, uint32(nwa));
	return Respond(c, fields.allocation, 6);
}

CMmcDrive::SResult CMmcDrive::DoPhilipsReadSessionInfo(const SContext& c)
{
	SResult r;
	if (!WritableMedium(&r.sense))
		return r;
	uint8* out = fResponse.data();
	SetBe16(out, uint32(-150 - fMedium->LeadInStart()));   // lead-in length
	SetBe16(out + 2, 6750);                                  // lead-out: 90 seconds
	return Respond(c, DecodePhilipsReadSessionInfo(c.cdb), 4);
}

// WRITE SESSION: per track a descriptor of at least 20 bytes (length,
// flags, ISRC, start, index points, end) with ascending addresses.
CMmcDrive::SResult CMmcDrive::DoPhilipsWriteSession(const SContext& c)
{
	SResult r;
	size_t length = 0;
	if (!TakeWriteParameters(c, &length, &r))
		return r;
	int64 last = -150;
	size_t at = 0;
	while (at < length) {
		size_t size = length - at >= 2 ? GetBe16(c.data + at) : 0;
		if (size < 20 || size % 4 != 0 || at + size > length) {
			r.sense = SenseInvalidParameterField(uint16(at));
			return r;
		}
		for (size_t field = 12; field < size; field += 4) {
			int64 lba = int32(GetBe32(c.data + at + field));
			if (lba < last || lba > fMedium->LastPossibleLeadOut()) {
				r.sense = SenseInvalidParameterField(uint16(at + field));
				return r;
			}
			last = lba;
		}
		at += size;
	}
	if (length == 0) {
		r.sense = kSenseParameterListLength;
		return r;
	}
	// Per track: flags (bit 0 pre-emphasis, bit 1 copy), its start, its
	// further index points and its end; the pause before it is the rest.
	SCueSheetPlan plan;
	int32 previousEnd = -kCdMsfOffset;
	for (at = 0; at < length;) {
		size_t size = GetBe16(c.data + at);
		SWrittenDisc::STrack track;
		track.number = int(plan.disc.tracks.size()) + 1;
		track.control = c.data[at + 2] & 0x03;
		track.pregapStart = previousEnd;
		for (size_t field = 12; field + 4 < size; field += 4)
			track.indexes.emplace_back(int(track.indexes.size()) + 1, int32(GetBe32(c.data + at + field)));
		track.start = track.indexes.empty() ? previousEnd : track.indexes.front().second;
		track.end = int32(GetBe32(c.data + at + size - 4));
		if (track.indexes.empty() || track.start >= track.end || track.number > 99 || (track.number == 1 && track.start < 0)) {
			r.sense = SenseInvalidParameterField(uint16(at + 12));
			return r;
		}
		previousEnd = track.end;
		plan.disc.tracks.push_back(track);
		at += size;
	}
	plan.disc.leadOut = previousEnd;
	plan.ranges.push_back({-kCdMsfOffset, previousEnd + kCdMsfOffset, true});
	SWriteParameters p = WriteParameters();
	p.writeType = kWriteTypeSessionAtOnce;
	r.sense = fRecorder.SetPlan(p, std::move(plan));
	if (!r.sense.IsError()) {
		fVendorLeadIn = std::max(0, -kCdMsfOffset - fMedium->LeadInStart());   // the host writes it
		fVendorLeadOut = kLeadOutSectors;
	}
	return r;
}

// WRITE TOC: the disc-at-once cue sheet with BCD track, index and times: a
// lead-in entry first, a lead-out entry (AAh) last.
CMmcDrive::SResult CMmcDrive::DoYamahaWriteToc(const SContext& c)
{
	SResult r;
	size_t length = 0;
	if (!TakeWriteParameters(c, &length, &r))
		return r;
	if (length < 24 || length % 8 != 0) {
		r.sense = kSenseParameterListLength;
		return r;
	}
	for (size_t at = 0; at < length; at += 8) {
		const uint8* e = c.data + at;
		bool first = at == 0;
		bool last = at + 8 == length;
		bool trackValid = first ? e[1] == 0 : last ? e[1] == 0xAA : BcdAtMost(e[1], 99) && e[1] != 0;
		if ((e[0] & 0x0F) != 1 || !trackValid || !BcdAtMost(e[2], 99) || !BcdAtMost(e[5], 99) || !BcdAtMost(e[6], 59)
			|| !BcdAtMost(e[7], 74)) {
			r.sense = SenseInvalidParameterField(uint16(at));
			return r;
		}
	}
	r.sense = fRecorder.SendCueSheet(WriteParameters(), c.data, length, true);
	return r;
}

// WRITE TRACK of the Philips and Yamaha families: a new track with the
// sector type (Philips byte 6: 5 = audio with pre-emphasis) or the flags
// (Yamaha byte 6 bit 3: copy permitted) of its Q control nibble.
CMmcDrive::SResult CMmcDrive::DoYamahaWriteTrack(const SContext& c)
{
	SResult r;
	if (!WritableMedium(&r.sense))
		return r;
	if (fConfig.dialect == CDriveConfig::kDialectPhilips)
		fVendorTrackMode = c.cdb[6] == 5 ? 0x01 : 0x00;
	else
		fVendorTrackMode = (c.cdb[6] & 0x08) != 0 ? 0x02 : 0x00;
	return r;
}

// FIXATION of the Philips and Yamaha families: closes the track-at-once
// session (lead-in and lead-out).
CMmcDrive::SResult CMmcDrive::DoVendorFixation(const SContext&)
{
	SResult r;
	if (!fRecorder.RunOpen()) {
		r.sense = kSenseCommandSequenceError;
		return r;
	}
	bigtime_t now = WriteNow();
	if (fWriteBuffer.Update(now))
		return FailRun(kSenseBufferUnderrun, "the buffer ran empty");
	r.sense = fRecorder.CanCloseSession();
	if (r.sense.IsError())
		return r;
	int64 closing = kLeadOutSectors;
	if (fRecorder.RunWriteType() == kWriteTypeTrackAtOnce)
		closing += std::max(0, -kCdMsfOffset - fMedium->LeadInStart());
	return FinishSession(closing, false);
}

// WRITE(6) of the Philips family: at the recorder's own next address, with
// big-endian samples; in a disc-at-once session the host also writes the
// lead-in before LBA -150 and the lead-out after the last track as silence,
// which the recorder takes and does not store.
CMmcDrive::SResult CMmcDrive::DoWrite6(const SContext& c)
{
	SResult r;
	int32 count = c.cdb[4] == 0 ? 256 : c.cdb[4];
	if (c.dataLength < size_t(count) * kCdAudioSectorSize) {
		r.sense = SenseInvalidCdbField(4);
		return r;
	}
	int32 done = std::min(count, fVendorLeadIn);
	fVendorLeadIn -= done;
	if (done < count && fRecorder.RunOpen() && fRecorder.AllSectorsWritten()) {
		fVendorLeadOut -= std::min(fVendorLeadOut, count - done);
		done = count;
	}
	if (done < count) {
		SWriteParameters p = WriteParameters();
		int32 nwa = 0;
		if (!fRecorder.NextWritableAddress(p, &nwa)) {
			r.sense = fRecorder.Status() == CRecorderState::kComplete ? kSensePermanentWriteProtect
																	   : kSenseInvalidAddressForWrite;
			return r;
		}
		int32 sectors = count - done;
		if (const SCueSheetPlan* plan = fRecorder.CueSheet())
			sectors = std::min(sectors, plan->disc.leadOut - nwa);
		SContext part {c.cdb, c.data + size_t(done) * kCdAudioSectorSize, size_t(sectors) * kCdAudioSectorSize};
		r = RecordSectors(part, nwa, sectors, true);
		if (r.sense.IsError())
			return r;
		done += sectors;
		fVendorLeadOut -= std::min(fVendorLeadOut, count - done);   // silence past the lead-out
	}
	r.transferred = size_t(count) * kCdAudioSectorSize;
	return r;
}

// READ TOC of a disc being written: the tracks closed so far (format 0), so
// that the vendor families find the next track number; else as any disc.
CMmcDrive::SResult CMmcDrive::DoRecorderReadToc(const SContext& c)
{
	uint8 format = c.cdb[2] & 0x0F;
	if (format == 0 && (c.cdb[9] >> 6) != 0)
		format = uint8(c.cdb[9] >> 6);
	const SWrittenDisc& disc = fRecorder.Disc();
	size_t closed = disc.tracks.size() - (fRecorder.TrackOpen() ? 1 : 0);
	if (format != 0 || !fMedium->IsRecordable() || !fMedium->IsBlank() || closed == 0
		|| fRecorder.RunWriteType() == kWriteTypeSessionAtOnce)
		return DoReadToc(c);
	SResult r;
	bool msf = (c.cdb[1] & 0x02) != 0;
	uint8 number = c.cdb[6];
	int last = disc.tracks[closed - 1].number;
	if (number > last && number != cdb::kLeadOutTrack) {
		r.sense = SenseInvalidCdbField(6);
		return r;
	}
	uint8* out = fResponse.data();
	size_t length = 4;
	auto add = [&](uint8 control, uint8 track, int32 lba) {
		uint8* d = out + length;
		std::memset(d, 0, 8);
		d[1] = uint8(0x10 | (control & 0x0F));
		d[2] = track;
		if (msf) {
			SCdMsf m = ::LbaToMsf(lba);
			d[5] = m.minute;
			d[6] = m.second;
			d[7] = m.frame;
		} else {
			SetBe32(d + 4, uint32(lba));
		}
		length += 8;
	};
	for (size_t i = 0; i < closed; i++)
		if (number != cdb::kLeadOutTrack && disc.tracks[i].number >= number)
			add(disc.tracks[i].control, uint8(disc.tracks[i].number), disc.tracks[i].start);
	add(disc.tracks[closed - 1].control, cdb::kLeadOutTrack, disc.tracks[closed - 1].end);
	out[2] = uint8(disc.tracks.front().number);
	out[3] = uint8(last);
	SetBe16(out, uint32(length - 2));
	return Respond(c, GetBe16(c.cdb + 7), length);
}

// --- The write side --------------------------------------------------------------

void CMmcDrive::SetWriteFaults(const CWriteFaults& faults)
{
	std::lock_guard<std::mutex> lock(fLock);
	fWriteFaults = faults;
	if (fMedium != nullptr && !fRecorder.RunOpen() && fRecorder.Status() == CRecorderState::kEmpty)
		MediumChanged();   // a shorter disc counts from now on
}

int32 CMmcDrive::BufferUnderruns() const
{
	std::lock_guard<std::mutex> lock(fLock);
	return fWriteBuffer.Underruns();
}

void CMmcDrive::MediumChanged()
{
	fImage.Abandon();
	fWriteBuffer.Configure(size_t(fConfig.capabilities.bufferKb) * 1024, kCdFramesPerSecond);
	fRecorderBusyUntil = 0;
	bool blank = fMedium != nullptr && fMedium->IsRecordable() && fMedium->IsBlank();
	int32 capacity = fMedium != nullptr ? fWriteFaults.DiscLimit(fMedium->LastPossibleLeadOut()) : 0;
	fRecorder.SetHostWritesPauses(fConfig.dialect == CDriveConfig::kDialectTeac);
	fRecorder.SetLeadInStart(fMedium != nullptr ? fMedium->LeadInStart() : -kCdMsfOffset);
	fRecorder.Reset(blank, capacity);
	fSubcodes.clear();
	fVendorLeadIn = fVendorLeadOut = 0;
	fVendorTrackMode = 0;
}

void CMmcDrive::TrayOpened()
{
	if (fRecorder.RunOpen())
		FailRun(kSenseWriteError, "the tray was opened while writing");
}

void CMmcDrive::TrayClosed()
{
	if (!fConfig.blankAfterEject || fMedium == nullptr || !fMedium->IsRecordable())
		return;
	if (fMedium != fWrittenDisc && !fRecorder.Unusable())
		return;
	// A fresh blank of the same kind and length takes the written disc's place.
	int minutes = (fMedium->LastPossibleLeadOut() + 1 + kCdMsfOffset) / kCdFramesPerMinute;
	auto kind = fMedium->IsErasable() ? CDiscImage::kBlankCdRw : CDiscImage::kBlankCdR;
	if (std::shared_ptr<CDiscImage> blank = CDiscImage::CreateBlank(kind, minutes)) {
		fMedium = std::move(blank);
		fWrittenDisc.reset();
		MediumChanged();
	}
}

bool CMmcDrive::RecorderBusy(SSense* sense)
{
	if (fRecorderBusyUntil == 0)
		return false;
	if (WriteNow() >= fRecorderBusyUntil) {
		fRecorderBusyUntil = 0;
		return false;
	}
	*sense = fConfig.dialect == CDriveConfig::kDialectYamaha ? kSenseYamahaWriteInProgress : kSenseLongWriteInProgress;
	return true;
}

uint32 CMmcDrive::WriteRate() const
{
	// A speed in kB/s moves that many thousand bytes of 2352-byte sectors
	// (rounded: 1411 kB/s is 8X, 600 sectors a second).
	uint32 kbs = std::max<uint32>(fModePages.CurrentWriteSpeed(), CDriveConfig::SpeedKbs(1));
	return uint32((uint64(kbs) * 1000 + kCdAudioSectorSize / 2) / kCdAudioSectorSize);
}

SWriteParameters CMmcDrive::WriteParameters() const
{
	SWriteParameters p;
	if (!VendorDialect()) {
		const std::vector<uint8>* page = fModePages.CurrentPage(kModePageWriteParameters);
		if (page != nullptr)
			DecodeWriteParametersPage(page->data(), page->size(), &p);
		return p;
	}
	// The families keep test writing and the write method in vendor pages
	// and write 2352-byte audio blocks once the block length says so (the
	// Yamaha's write format page decides alone).
	auto byte = [this](uint8 code, size_t at) -> uint8 {
		const std::vector<uint8>* page = fModePages.CurrentPage(code);
		return page != nullptr && page->size() > at ? (*page)[at] : 0;
	};
	p.trackMode = fVendorTrackMode;
	p.audioPauseLength = 150;   // the recorder writes two seconds before each track
	p.dataBlockType = fModePages.BlockLength() == kCdAudioSectorSize ? kDataBlockRaw2352 : kDataBlockMode1;
	switch (fConfig.dialect) {
		case CDriveConfig::kDialectTeac:
			p.testWrite = (byte(kModePageTeacPreview, 2) & 0x03) == 0x03;
			p.writeType = byte(kModePageTeacWriteMethod, 4) == 0x02 ? kWriteTypeSessionAtOnce : kWriteTypeTrackAtOnce;
			break;
		case CDriveConfig::kDialectPhilips:
			p.testWrite = (byte(kModePagePhilipsSpeed, 3) & 0x01) != 0;
			p.writeType = fRecorder.CueSheet() != nullptr ? kWriteTypeSessionAtOnce : kWriteTypeTrackAtOnce;
			break;
		case CDriveConfig::kDialectYamaha:
			p.testWrite = (byte(kModePageYamahaConfiguration, 3) & 0x01) != 0;
			p.writeType = (byte(kModePageYamahaWriteFormat, 3) & 0x0F) == 0x04 ? kWriteTypeSessionAtOnce
																				: kWriteTypeTrackAtOnce;
			p.dataBlockType = kDataBlockRaw2352;
			break;
		default:
			p.writeType = kWriteTypePacket;   // a reader
			break;
	}
	return p;
}

std::string CMmcDrive::OutputFolder() const
{
	if (!fConfig.output.empty())
		return fConfig.output;
	std::string data;
	if (find_directory(B_USER_DATA_DIRECTORY, &data, false) != B_OK)
		data = ".";
	return data + "/tarnwick/virtual-recorder";
}

CMmcDrive::SResult CMmcDrive::Until(bigtime_t doneAt, bool immediate)
{
	SResult r;
	if (!fConfig.realTime) {
		fWriteClock->WaitUntil(doneAt);   // the drive's own clock: a jump
		return r;
	}
	if (immediate) {
		fRecorderBusyUntil = std::max(doneAt, bigtime_t(1));
		return r;
	}
	r.busy = std::max<bigtime_t>(0, doneAt - fClock->Now());
	return r;
}

CMmcDrive::SResult CMmcDrive::FailRun(const SSense& sense, const std::string& why)
{
	SResult r;
	r.sense = sense;
	std::string partial = fImage.IsOpen() ? fImage.PartialPath() : std::string();
	fImage.Abandon();
	fRecorder.Fail();
	fWriteBuffer.Stop();
	fprintf(stderr, "virtual recorder %.8s %.16s: %s; writing failed", fConfig.vendor.c_str(),
		fConfig.product.c_str(), why.c_str());
	if (!partial.empty())
		fprintf(stderr, ", the partial image stays as \"%s\"", partial.c_str());
	fprintf(stderr, "\n");
	return r;
}

CMmcDrive::SResult CMmcDrive::DoSendCueSheet(const SContext& c)
{
	SResult r;
	size_t length = GetBe24(c.cdb + 6);
	if (length > c.dataLength) {
		r.sense = kSenseParameterListLength;
		return r;
	}
	r.transferred = length;
	// A recorder that cannot write CD-Text refuses a lead-in that carries it.
	for (size_t at = 0; !fConfig.capabilities.cdTextWrite && at + 8 <= length; at += 8) {
		const uint8* e = c.data + at;
		if ((e[0] & 0x0F) == 0x01 && e[1] == 0 && e[3] == 0x41) {
			r.sense = SenseInvalidParameterField(uint16(std::min<size_t>(at + 3, 0xFFFF)));
			return r;
		}
	}
	r.sense = fRecorder.SendCueSheet(WriteParameters(), c.data, length);
	return r;
}

// WRITE(10) and WRITE(12): 2352-byte audio sectors at the next writable
// address.
CMmcDrive::SResult CMmcDrive::DoWrite(const SContext& c)
{
	SResult r;
	bool twelve = c.cdb[0] == cdb::kWrite12;
	int32 lba = int32(GetBe32(c.cdb + 2));
	uint32 count = twelve ? GetBe32(c.cdb + 6) : GetBe16(c.cdb + 7);
	if (count == 0)
		return r;
	// The sectors of a host-written lead-in are its R-W sub-channel only.
	const size_t sectorSize = fRecorder.InHostLeadIn(lba) ? CCdText::kSubcodeSize : size_t(kCdAudioSectorSize);
	if (count > uint32(INT32_MAX) / kCdAudioSectorSize || c.dataLength < size_t(count) * sectorSize) {
		r.sense = SenseInvalidCdbField(twelve ? 6 : 7);
		return r;
	}
	r = RecordSectors(c, lba, int32(count), false);
	// A Teac write without the extended-write bit ends the session at once.
	bool extended = (c.cdb[9] & 0x80) != 0;
	if (!r.sense.IsError() && fConfig.dialect == CDriveConfig::kDialectTeac && !extended
		&& fRecorder.RunWriteType() == kWriteTypeSessionAtOnce && fRecorder.AllSectorsWritten()) {
		size_t transferred = r.transferred;
		SResult finished = FinishSession(kLeadOutSectors, true);
		finished.busy = std::max(finished.busy, r.busy);
		finished.transferred = transferred;
		return finished;
	}
	return r;
}

CMmcDrive::SResult CMmcDrive::RecordSectors(const SContext& c, int32 lba, int32 count, bool bigEndian)
{
	SResult r;
	bigtime_t now = WriteNow();
	if (fWriteFaults.TakeLongWrite()) {
		r.sense = kSenseLongWriteInProgress;
		return r;
	}
	SWriteParameters p = WriteParameters();
	CRecorderState::SWritePlan plan;
	r.sense = fRecorder.PlanWrite(p, lba, count, &plan);
	if (r.sense.IsError())
		return r;
	if (plan.startsRun && !fWriteBuffer.Running()) {
		if (fWriteFaults.TakeOpcFault(&r.sense))
			return r;   // the recorder calibrates before its first sector
		if (!p.testWrite) {
			std::string error;
			if (fImage.Begin(OutputFolder(), &error) != B_OK)
				return FailRun(kSenseWriteError, error);
		}
		fWriteBuffer.SetSpeed(WriteRate());
		// The recorder writes the lead-in itself before the host's first
		// sector, unless the host writes it.
		int32 leadIn = p.writeType == kWriteTypeSessionAtOnce && !fRecorder.InHostLeadIn(lba)
			? -kCdMsfOffset - fMedium->LeadInStart() : 0;
		fWriteBuffer.StartRun(now, std::max(leadIn, 0), p.bufferUnderrunFree);
	}
	if (fWriteBuffer.Update(now))
		return FailRun(kSenseBufferUnderrun, "the buffer ran empty");
	if (fWriteFaults.TakeUnderrun(lba, count)) {
		fWriteBuffer.ForceUnderrun(now);
		if (fWriteBuffer.Failed())
			return FailRun(kSenseBufferUnderrun, "the buffer ran empty (injected)");
	}
	int32 bad = 0;
	if (fWriteFaults.TakeWriteError(lba, count, &bad)) {
		return FailRun(WriteErrorAt(bad), "write error at LBA " + std::to_string(bad) + " (injected)");
	}
	const bool leadIn = fRecorder.InHostLeadIn(lba);
	if (leadIn) {
		r.sense = fRecorder.TakeLeadInPacks(c.data, count);
		if (r.sense.IsError())
			return r;
	}
	CWriteBuffer::SAccept accept = fWriteBuffer.Accept(now, count + plan.generatedCount);
	if (accept.longWrite) {
		// The lead-in is still being written and the buffer is full. An
		// instant drive moves its clock on, so that the next try fits.
		if (!fConfig.realTime)
			fWriteClock->WaitUntil(fWriteBuffer.LeadInEnd());
		r.sense = fConfig.dialect == CDriveConfig::kDialectYamaha ? kSenseYamahaWritingLeadIn : kSenseLongWriteInProgress;
		return r;
	}
	if (fImage.IsOpen() && !leadIn) {
		std::string error;
		status_t status = fImage.Store(plan.generatedStart, nullptr, plan.generatedCount, false, &error);
		if (status == B_OK)
			status = fImage.Store(lba, c.data, count, bigEndian, &error);
		if (status != B_OK)
			return FailRun(kSenseWriteError, error);
	}
	fRecorder.Commit(p, plan);
	if (fRecorder.AllSectorsWritten())
		fWriteBuffer.Drain(now);   // the cue sheet's last sector: nothing more to wait for
	SResult done = Until(accept.doneAt, false);
	done.transferred = size_t(count) * kCdAudioSectorSize;
	return done;
}

// WRITE ERROR naming the sector that failed.
SSense CMmcDrive::WriteErrorAt(int32 lba)
{
	SSense sense = kSenseWriteError;
	sense.infoValid = true;
	sense.info = uint32(lba);
	return sense;
}

CMmcDrive::SResult CMmcDrive::FinishSession(int64 closingSectors, bool immediate)
{
	SResult r;
	bigtime_t now = WriteNow();
	const bigtime_t drained = fWriteBuffer.Drain(now);
	const bigtime_t doneAt = drained + fWriteBuffer.Duration(closingSectors);
	// A write error in the lead-out (the closing work's last kLeadOutSectors):
	// the drive answers when it reaches the bad sector.
	const int32 leadOut = fRecorder.Written();
	const int64 beforeLeadOut = std::max<int64>(0, closingSectors - kLeadOutSectors);
	int32 bad = 0;
	if (fWriteFaults.TakeWriteError(leadOut, int32(closingSectors - beforeLeadOut), &bad)) {
		const bigtime_t failedAt = drained + fWriteBuffer.Duration(beforeLeadOut + (bad - leadOut) + 1);
		SResult failed
			= FailRun(WriteErrorAt(bad), "write error in the lead-out at LBA " + std::to_string(bad) + " (injected)");
		failed.busy = Until(failedAt, false).busy;
		return failed;
	}
	bool test = fRecorder.TestRun();
	SWrittenDisc disc = fRecorder.CloseSession();
	fWriteBuffer.Stop();
	if (!test) {
		std::string cuePath, error;
		std::shared_ptr<CDiscImage> written;
		status_t status = fImage.Finish(disc, &cuePath, &error);
		if (status == B_OK && CDiscImage::LoadCue(cuePath, &written, &error) != B_OK) {
			unlink(cuePath.c_str());   // a sheet the drive cannot load claims nothing
			status = B_BAD_DATA;
		}
		if (status != B_OK) {
			fRecorder.Reset(true, fRecorder.LastPossibleLeadOut());
			return FailRun(kSenseWriteError, error);
		}
		written->SetRecordedOn(*fMedium);
		fMedium = written;
		fWrittenDisc = written;
		MediumChanged();
	}
	SResult done = Until(doneAt, immediate);
	done.sense = r.sense;
	return done;
}

// CLOSE TRACK ends the open track-at-once track; CLOSE SESSION writes the
// lead-in and lead-out of a track-at-once session (the lead-out only after
// session at once) and closes the disc.
CMmcDrive::SResult CMmcDrive::DoCloseTrackSession(const SContext& c)
{
	SResult r;
	bool immediate = (c.cdb[1] & 0x01) != 0;
	uint8 function = c.cdb[2] & 0x07;
	if (function != cdb::kCloseTrack && function != cdb::kCloseSession) {
		r.sense = SenseInvalidCdbField(2);
		return r;
	}
	if (!fRecorder.RunOpen()) {
		if (function == cdb::kCloseSession && fRecorder.Status() != CRecorderState::kComplete)
			r.sense = kSenseCommandSequenceError;   // nothing written to close
		return r;
	}
	bigtime_t now = WriteNow();
	if (fWriteBuffer.Update(now))
		return FailRun(kSenseBufferUnderrun, "the buffer ran empty");
	if (function == cdb::kCloseTrack) {
		bigtime_t doneAt = fWriteBuffer.Drain(now);
		fRecorder.CloseTrack();
		return Until(doneAt, immediate);
	}
	r.sense = fRecorder.CanCloseSession();
	if (r.sense.IsError())
		return r;
	int64 closing = kLeadOutSectors;
	if (fRecorder.RunWriteType() == kWriteTypeTrackAtOnce)
		closing += std::max(0, -kCdMsfOffset - fMedium->LeadInStart());
	return FinishSession(closing, immediate);
}

// BLANK: a CD-RW becomes an empty disc (the whole disc, or the minimal
// blank of PMA, TOC and first pregap).
CMmcDrive::SResult CMmcDrive::DoBlank(const SContext& c)
{
	SResult r;
	uint8 type = c.cdb[1] & 0x07;
	bool immediate = (c.cdb[1] & 0x10) != 0;
	if (type != cdb::kBlankDisc && type != cdb::kBlankMinimal) {
		r.sense = SenseInvalidCdbField(1);
		return r;
	}
	if (!fMedium->IsErasable()) {
		r.sense = kSenseCannotFormatMedium;
		return r;
	}
	if (fRecorder.RunOpen()) {
		r.sense = kSenseCommandSequenceError;
		return r;
	}
	int minutes = (fMedium->LastPossibleLeadOut() + 1 + kCdMsfOffset) / kCdFramesPerMinute;
	std::shared_ptr<CDiscImage> blank = CDiscImage::CreateBlank(CDiscImage::kBlankCdRw, minutes);
	if (blank == nullptr) {
		r.sense = kSenseCannotFormatMedium;
		return r;
	}
	int64 sectors = std::max(0, -kCdMsfOffset - fMedium->LeadInStart());
	if (type == cdb::kBlankDisc)
		sectors += int64(fMedium->LastPossibleLeadOut()) + kCdMsfOffset + kLeadOutSectors;
	fWriteBuffer.SetSpeed(WriteRate());
	bigtime_t doneAt = WriteNow() + fWriteBuffer.Duration(sectors);
	fMedium = std::move(blank);
	fWrittenDisc.reset();
	MediumChanged();
	return Until(doneAt, immediate);
}

// READ DISC INFORMATION of a disc being written: incomplete, with the track
// being written (or the next one) as the last track of the open session.
CMmcDrive::SResult CMmcDrive::DoRecorderDiscInformation(const SContext& c)
{
	SResult r = DoReadDiscInformation(c);
	if (r.sense.IsError() || !fMedium->IsRecordable() || !fMedium->IsBlank()
		|| (fRecorder.Status() == CRecorderState::kEmpty && !fRecorder.Unusable()))
		return r;
	uint8* out = fResponse.data();
	out[2] = uint8((out[2] & 0x10) | 0x04 | 0x01);   // incomplete session, incomplete disc
	out[6] = uint8(fRecorder.NextTrackNumber());
	return Respond(c, GetBe16(c.cdb + 7), size_t(GetBe16(out)) + 2);
}

// READ TRACK INFORMATION on a recordable disc that is not complete: the
// tracks written so far and the invisible track with the next writable
// address.
CMmcDrive::SResult CMmcDrive::DoRecorderTrackInformation(const SContext& c)
{
	if (!fMedium->IsRecordable() || !fMedium->IsBlank())
		return DoReadTrackInformation(c);
	SResult r;
	uint8 type = c.cdb[1] & 0x03;
	uint32 value = GetBe32(c.cdb + 2);
	const SWrittenDisc& disc = fRecorder.Disc();
	const int last = fRecorder.NextTrackNumber();
	int number = 0;
	if (type == 1) {
		number = value == 0xFF ? last : int(value);
	} else if (type == 2) {
		number = value == 1 ? 1 : 0;
	} else if (type == 0) {
		int32 lba = int32(value);
		number = lba >= fRecorder.Written() && lba < fRecorder.LastPossibleLeadOut() ? last : 0;
		for (const SWrittenDisc::STrack& track : disc.tracks)
			if (lba >= track.pregapStart && lba < track.end)
				number = track.number;
	}
	if (number < 1 || number > last) {
		r.sense = SenseInvalidCdbField(type == 3 ? 1 : 2);
		return r;
	}
	uint8* out = fResponse.data();
	constexpr size_t kLength = 36;
	std::memset(out, 0, kLength);
	SetBe16(out, kLength - 2);
	out[2] = uint8(number);
	out[3] = 1;   // session
	SWriteParameters p = WriteParameters();
	int32 nwa = 0;
	bool nwaValid = fRecorder.NextWritableAddress(p, &nwa);
	const SWrittenDisc::STrack* track = nullptr;
	for (const SWrittenDisc::STrack& t : disc.tracks)
		if (t.number == number)
			track = &t;
	if (track != nullptr && fRecorder.RunWriteType() != kWriteTypeSessionAtOnce) {
		bool open = number == last && fRecorder.RunOpen() && nwaValid && nwa == fRecorder.Written();
		out[5] = uint8((track->control & 0x0F) | (fRecorder.Unusable() ? 0x20 : 0x00));
		out[6] = 0x0F;
		// A track holds its pause (from LBA 0 on), as on a finished disc.
		int32 first = std::max<int32>(track->pregapStart, 0);
		SetBe32(out + 8, uint32(first));
		SetBe32(out + 24, uint32(track->end - first));
		SetBe32(out + 28, uint32(track->end - 1));
		out[7] = 0x02;   // last recorded address valid
		if (open) {
			out[7] |= 0x01;
			SetBe32(out + 12, uint32(nwa));
			SetBe32(out + 16, uint32(fRecorder.LastPossibleLeadOut() - nwa));
		}
		return Respond(c, GetBe16(c.cdb + 7), kLength);
	}
	// The invisible (or, at once, the session's) track.
	int32 start = nwaValid ? nwa : fRecorder.Written();
	bool sessionWritten = fRecorder.RunOpen() && fRecorder.RunWriteType() == kWriteTypeSessionAtOnce;
	out[6] = uint8((sessionWritten ? 0x00 : 0x40) | 0x0F);
	out[7] = nwaValid ? 0x01 : 0x00;
	SetBe32(out + 8, uint32(start));
	SetBe32(out + 12, uint32(nwaValid ? nwa : 0));
	SetBe32(out + 16, uint32(std::max(0, fRecorder.LastPossibleLeadOut() - start)));
	SetBe32(out + 24, uint32(std::max(0, fRecorder.LastPossibleLeadOut() - start)));
	return Respond(c, GetBe16(c.cdb + 7), kLength);
}
