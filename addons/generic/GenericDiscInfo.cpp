// Table of contents, disc and track information, ATIP and CD-Text.
#include "addons/generic/Generic.h"

#include "addons/generic/DriveResponses.h"
#include "addons/generic/GenericCommon.h"
#include "disc/Toc.h"
#include "kit/support/ByteOrder.h"

#include <algorithm>
#include <cstring>

namespace {

// One sector's formatted Q sub-channel (READ CD, no user data) with at
// least `needed` bytes: false when the drive cannot read the sub-channel.
// The bytes that did not arrive are 0.
bool ReadQ(CDevice* device, int32 lba, size_t needed, uint8 (&q)[16])
{
	memset(q, 0, sizeof(q));
	size_t transferred = 0;
	SCSI_STATUS status;
	return SendCommand(device, cdb::ReadCd(lba, 1, cdb::kSectorTypeCdDa, 0x00, cdb::kSubChannelFormattedQ), kDataIn,
			   q, sizeof(q), &status, &transferred, kReadTimeout)
		&& transferred >= needed;
}

// Whether the drive gives the numbers of the formatted Q in BCD (most do)
// or in binary. Told by the absolute time of a sector whose seconds and
// frames are 10 or more (the two codings differ there), searched from the
// first track on; BCD when no such sector answers with a position.
bool DriveGivesBcdQ(CDevice* device, const response::SToc& toc)
{
	int32 lba = std::max(toc.start[toc.firstTrack], 0);
	// Forward to a time of the form mm:ss:ff with ss >= 10 and ff >= 10.
	while (lba < toc.leadOut && (LbaToMsf(lba).second < 10 || LbaToMsf(lba).frame < 10))
		lba++;
	for (int32 at = lba; at < toc.leadOut && at < lba + 4; at++) {
		uint8 q[16];
		if (!ReadQ(device, at, 10, q))
			return true;
		if ((q[0] & 0x0F) != cdb::kAdrPosition)
			continue;   // a catalogue number or ISRC frame
		SCdMsf expected = LbaToMsf(at);
		SCdMsf delivered {q[7], q[8], q[9]};
		if (delivered == expected)
			return false;
		return true;
	}
	return true;
}

// Where the track at the sector `lba` is, from the formatted Q sub-channel.
// *track is 0 for a sector whose Q holds no position (catalogue number or
// ISRC frames). False when the drive cannot read the sub-channel.
bool ProbeQ(CDevice* device, int32 lba, bool bcd, int32* track)
{
	uint8 q[16];
	if (!ReadQ(device, lba, 3, q))
		return false;
	int32 index = 0;
	if (!response::ParseFormattedQ(q, sizeof(q), bcd, track, &index))
		*track = 0;
	return true;
}

// The track number of the first sector at or after `lba` (up to `limit`)
// whose Q holds a position; 0 when none does.
bool ProbeTrackFrom(CDevice* device, int32 lba, int32 limit, bool bcd, int32* track)
{
	for (int32 at = lba; at <= limit && at < lba + 4; at++) {
		if (!ProbeQ(device, at, bcd, track))
			return false;
		if (*track != 0)
			return true;
	}
	*track = 0;
	return true;
}

// Finds where track n's pause (index 0) begins: between the start of the
// track before and its own start, the first sector whose Q names track n.
// *pregapStart is `start[n]` when the track has no pause. False when the
// drive cannot read the sub-channel.
bool FindPregapStart(CDevice* device, const response::SToc& toc, int32 n, bool bcd, int32* pregapStart)
{
	int32 start = toc.start[n];
	int32 previous = toc.start[n - 1];
	*pregapStart = start;
	// The last sector before the start that carries a position (a few may
	// carry a catalogue number or ISRC instead).
	int32 track = 0;
	for (int32 at = start - 1; at > previous && at >= start - 4 && track == 0; at--) {
		if (!ProbeQ(device, at, bcd, &track))
			return false;
	}
	if (track != n)
		return true;
	// Invariant: the sector at `low` belongs to an earlier track, the one at
	// `high` to track n.
	int32 low = previous;
	int32 high = start - 1;
	while (high - low > 1) {
		int32 middle = low + (high - low) / 2;
		if (!ProbeTrackFrom(device, middle, high - 1, bcd, &track))
			return false;
		if (track == n || track == 0)
			high = middle;
		else
			low = middle;
	}
	*pregapStart = high;
	return true;
}

void CopyClamped(const uint8* data, size_t transferred, void* out, size_t outSize)
{
	size_t usable = std::min(response::UsableLength16(data, transferred, transferred), outSize);
	memset(out, 0, outSize);
	memcpy(out, data, usable);
	if (usable >= 2) {
		auto* bytes = static_cast<uint8*>(out);
		bytes[0] = uint8((usable - 2) >> 8);
		bytes[1] = uint8(usable - 2);
	}
}

void PutMsf(uint8* out, int32 lba)
{
	SCdMsf msf = LbaToMsf(lba);
	out[0] = msf.minute;
	out[1] = msf.second;
	out[2] = msf.frame;
}

// Disc information built from what a drive without READ DISC INFORMATION
// can tell: its tracks, whether it can still write, and its capacity.
void BuildDiscInformation(bool hasTracks, const response::SToc& toc, bool writable, int32 capacity,
	SCSI_DISC_INFORMATION* information)
{
	memset(information, 0, sizeof(*information));
	information->DataLength[1] = sizeof(*information) - 2;
	information->NumberOfFirstTrackOnDisc = uint8(hasTracks ? toc.firstTrack : 1);
	information->NumberOfSessions = 1;
	information->FirstTrackNumberInLastSession = uint8(hasTracks ? toc.firstTrack : 1);
	information->LastTrackNumberInLastSession = uint8(hasTracks ? toc.lastTrack : 1);
	if (!hasTracks && writable) {
		information->DiscStatus = 0;            // empty
		information->StateOfLastSession = 0;
	} else if (writable) {
		information->DiscStatus = 1;            // incomplete
		information->StateOfLastSession = 1;
	} else {
		information->DiscStatus = 2;            // complete
		information->StateOfLastSession = 3;
	}
	if (writable && capacity > 0) {
		PutMsf(information->LastPossibleStartTimeOfLeadout, capacity);
	} else {
		memset(information->LastSessionStartTimeOfLeadin, 0xFF, 3);
		memset(information->LastPossibleStartTimeOfLeadout, 0xFF, 3);
	}
}

}   // namespace

// Fills the locked, emptied table of contents: count, LBAs, sizes, pauses
// and flags, and the disc and track keys. The TOC gives each track's start
// (index 1); a track's pause (index 0) is found in the Q sub-channel of the
// sectors before it. A drive that cannot read the sub-channel gives tracks
// without pauses. The keys use the TOC's starts and the lead-out.
bool ReadToc(CDevice* device, CToc* toc, SCSI_STATUS* status)
{
	if (toc == nullptr)
		return FailWith(status, B_BAD_VALUE);
	CCommandTimer timer;
	response::SToc table;
	if (!ReadTableOfContents(device, &table, status))
		return timer.Finish(status, false);

	int32 pregapStart[101] = {};
	bool subChannel = true;
	bool bcd = table.lastTrack < 10 || DriveGivesBcdQ(device, table);
	for (int32 n = table.firstTrack; n <= table.lastTrack; n++) {
		pregapStart[n] = table.start[n];
		if (n == table.firstTrack) {
			// The sectors before the first track belong to its pause.
			if (table.start[n] > 0)
				pregapStart[n] = 0;
		} else if (subChannel) {
			subChannel = FindPregapStart(device, table, n, bcd, &pregapStart[n]);
			if (!subChannel)
				pregapStart[n] = table.start[n];
		}
	}

	toc->SetTrackRange(table.firstTrack, table.lastTrack);
	for (int32 n = table.firstTrack; n <= table.lastTrack; n++) {
		int32 next = n < table.lastTrack ? pregapStart[n + 1] : table.leadOut;
		int32 nextStart = n < table.lastTrack ? table.start[n + 1] : table.leadOut;
		toc->SetTrackLBA(n, pregapStart[n]);
		toc->SetTrackSize(n, next - pregapStart[n]);
		toc->SetTrackPauseSize(n, table.start[n] - pregapStart[n]);
		toc->SetTrackPreEmphasis(n, (table.control[n] & cdb::kControlPreEmphasis) != 0);
		toc->SetTrackCopyAllowed(n, (table.control[n] & cdb::kControlCopyPermitted) != 0);
		toc->SetTrackDataTrack(n, (table.control[n] & cdb::kControlData) != 0);
		toc->InitCdTracksTrackKey(n, table.start[n], nextStart);
	}
	toc->InitCdTracksCdKey(table.leadOut);
	return timer.Finish(status, true);
}

bool ReadDiscInformation(CDevice* device, SCSI_DISC_INFORMATION* information, SCSI_STATUS* status)
{
	if (information == nullptr)
		return FailWith(status, B_BAD_VALUE);
	uint8 data[sizeof(SCSI_DISC_INFORMATION)] = {};
	size_t transferred = 0;
	bool ok = SendCommand(device, cdb::ReadDiscInformation(sizeof(data)), kDataIn, data, sizeof(data), status,
		&transferred);
	bool parsed = response::CopyDiscInformation(data, ok ? transferred : 0, information);
	return ok && parsed;
}

// The Teac CD-R50/55 have no READ DISC INFORMATION: the tracks come from
// READ TOC, whether the disc can still be written from NEXT WRITABLE
// ADDRESS, and the capacity from the number of blocks of the MODE SENSE(6)
// block descriptor.
bool ReadDiscInformation_TeacCdr50(CDevice* device, SCSI_DISC_INFORMATION* information, SCSI_STATUS* status)
{
	if (information == nullptr)
		return FailWith(status, B_BAD_VALUE);
	CCommandTimer timer;
	if (!SendCommand(device, cdb::TestUnitReady(), kNoData, nullptr, 0, status))
		return timer.Finish(status, false);
	response::SToc toc;
	SCSI_STATUS ignored;
	bool hasTracks = ReadTableOfContents(device, &toc, &ignored);
	uint8 address[4] = {};
	bool writable = SendCommand(device, cdb::TeacNextWritableAddress(-1, -1), kDataIn, address, sizeof(address),
		&ignored);
	uint8 mode[12] = {};
	size_t transferred = 0;
	int32 capacity = 0;
	if (!SendCommand(device, cdb::ModeSense6(false, 0, 0, sizeof(mode)), kDataIn, mode, sizeof(mode), status,
			&transferred))
		return timer.Finish(status, false);
	if (transferred >= 12 && mode[3] >= 8)
		capacity = int32(GetBe24(mode + 5));
	BuildDiscInformation(hasTracks, toc, writable, capacity, information);
	return timer.Finish(status, true);
}

// The Yamaha CDR100/102 have no READ DISC INFORMATION: READ CAPACITY gives a
// block length of 0 on a writable disc, with the number of blocks that can
// still be written; the tracks come from READ TOC.
bool ReadDiscInformation_YamahaCdr100(CDevice* device, SCSI_DISC_INFORMATION* information, SCSI_STATUS* status)
{
	if (information == nullptr)
		return FailWith(status, B_BAD_VALUE);
	CCommandTimer timer;
	uint8 capacity[8] = {};
	size_t transferred = 0;
	if (!SendCommand(device, cdb::ReadCapacity(), kDataIn, capacity, sizeof(capacity), status, &transferred)
		|| transferred < 8)
		return timer.Finish(status, false);
	bool writable = GetBe32(capacity + 4) == 0;
	int32 blocks = int32(std::min<uint32>(GetBe32(capacity), kCdLastMsfLba));
	response::SToc toc;
	SCSI_STATUS ignored;
	bool hasTracks = ReadTableOfContents(device, &toc, &ignored);
	BuildDiscInformation(hasTracks, toc, writable, blocks, information);
	return timer.Finish(status, true);
}

// READ TRACK INFORMATION of a track number; the answer's length field is
// clamped to what arrived and the rest of the buffer zeroed.
bool ReadTrackInformation(CDevice* device, int32 track, void* buffer, int32 length, SCSI_STATUS* status)
{
	if (buffer == nullptr || length < 4 || track < 0)
		return FailWith(status, B_BAD_VALUE);
	size_t size = std::min<size_t>(size_t(length), 0xFFFF);
	uint8 data[256] = {};
	size_t transferred = 0;
	size_t asked = std::min(size, sizeof(data));
	bool ok = SendCommand(device, cdb::ReadTrackInformation(cdb::kTrackAddressTrack, uint32(track), uint16(asked)),
		kDataIn, data, asked, status, &transferred);
	CopyClamped(data, ok ? transferred : 0, buffer, size_t(length));
	return ok && transferred >= 4;
}

// The Yamaha CDR100/102 have no READ TRACK INFORMATION: the answer is built
// in its layout from the table of contents (track number, session 1, the
// track's control nibble as track mode, start and size).
bool ReadTrackInformation_YamahaCdr100(CDevice* device, int32 track, void* buffer, int32 length,
	SCSI_STATUS* status)
{
	if (buffer == nullptr || length < 4)
		return FailWith(status, B_BAD_VALUE);
	CCommandTimer timer;
	response::SToc toc;
	if (!ReadTableOfContents(device, &toc, status))
		return timer.Finish(status, false);
	if (track < toc.firstTrack || track > toc.lastTrack)
		return timer.Finish(status, FailWith(status, B_BAD_INDEX));
	uint8 data[36] = {};
	int32 end = track < toc.lastTrack ? toc.start[track + 1] : toc.leadOut;
	data[1] = sizeof(data) - 2;
	data[2] = uint8(track);
	data[3] = 1;
	data[5] = uint8(toc.control[track] & 0x0F);
	data[6] = 0x0F;
	SetBe32(data + 8, uint32(toc.start[track]));
	SetBe32(data + 24, uint32(end - toc.start[track]));
	SetBe32(data + 28, uint32(end - 1));
	CopyClamped(data, sizeof(data), buffer, size_t(length));
	return timer.Finish(status, true);
}

// READ TOC/PMA/ATIP format 4 (times in MSF).
bool ReadAtipData(CDevice* device, SCSI_ATIP_DATA* atip, SCSI_STATUS* status)
{
	if (atip == nullptr)
		return FailWith(status, B_BAD_VALUE);
	uint8 data[sizeof(SCSI_ATIP_DATA)] = {};
	size_t transferred = 0;
	bool ok = SendCommand(device, cdb::ReadTocPmaAtip(true, cdb::kTocFormatAtip, 0, sizeof(data)), kDataIn, data,
		sizeof(data), status, &transferred);
	CopyClamped(data, ok ? transferred : 0, atip, sizeof(*atip));
	return ok && transferred >= 12;
}

// Fails: the drive cannot tell its ATIP.
bool ReadAtipData_Dummy(CDevice* device, SCSI_ATIP_DATA* atip, SCSI_STATUS* status)
{
	if (atip != nullptr)
		memset(atip, 0, sizeof(*atip));
	return FailWith(status, B_NOT_SUPPORTED);
}

// The Yamaha CDR100/102 command for the ATIP is not publicly documented:
// this sends the MMC equivalent, READ TOC/PMA/ATIP format 4.
bool ReadAtipData_YamahaCdr100(CDevice* device, SCSI_ATIP_DATA* atip, SCSI_STATUS* status)
{
	return ReadAtipData(device, atip, status);
}

// READ TOC/PMA/ATIP format 5 into `buffer`: the 4-byte header and the packs.
// The length field is clamped to the whole packs that arrived (0 when
// none), the rest of the buffer zeroed.
bool ReadCdText(CDevice* device, void* buffer, int32 length, SCSI_STATUS* status)
{
	if (buffer == nullptr || length < 4)
		return FailWith(status, B_BAD_VALUE);
	size_t size = std::min<size_t>(size_t(length), 0xFFFF);
	auto* data = static_cast<uint8*>(buffer);
	size_t transferred = 0;
	bool ok = SendCommand(device, cdb::ReadTocPmaAtip(false, cdb::kTocFormatCdText, 0, uint16(size)), kDataIn, data,
		size, status, &transferred, kReadTimeout);
	response::ClampCdText(data, size_t(length), ok ? transferred : 0);
	return ok;
}

// The drive cannot read CD-Text: succeeds without a command and leaves the
// buffer as it is (its caller's empty header then decodes to nothing).
bool ReadCdText_Dummy(CDevice* device, void* buffer, int32 length, SCSI_STATUS* status)
{
	return SucceedWithoutCommand(status);
}
