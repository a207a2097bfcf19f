#include "emulator/MmcDrive.h"

#include <cstring>

using namespace mmc;

namespace {

bool IsBcd(uint8 value, int maximum)
{
	if ((value >> 4) > 9 || (value & 0x0F) > 9)
		return false;
	return (value >> 4) * 10 + (value & 0x0F) <= maximum;
}

}   // namespace

// Nothing is held back: there is nothing to write.
CMmcDrive::SResult CMmcDrive::DoSynchronizeCache(const SContext&)
{
	return SResult();
}

// DoOpc on a medium that can be written; the OPC table itself (DoOpc clear)
// is not kept.
CMmcDrive::SResult CMmcDrive::DoSendOpcInformation(const SContext& c)
{
	SResult r;
	if ((c.cdb[1] & 0x01) != 0)
		WritableMedium(&r.sense);
	return r;
}

CMmcDrive::SResult CMmcDrive::DoTeacClearSubcode(const SContext&)
{
	fLimitStart = fLimitLength = 0;
	return SResult();
}

bool CMmcDrive::WritableMedium(SSense* sense) const
{
	if (fMedium == nullptr || !fMedium->IsRecordable() || !fMedium->IsBlank()) {
		*sense = kSenseLbaOutOfRange;   // no writable address on this disc
		return false;
	}
	return true;
}

CMmcDrive::SResult CMmcDrive::DoReadBufferCapacity(const SContext& c)
{
	uint8* out = fResponse.data();
	std::memset(out, 0, 12);
	Put16(out, 10);
	uint32 bytes = uint32(fConfig.capabilities.bufferKb) * 1024;
	if ((c.cdb[1] & 0x01) != 0) {
		Put32(out + 8, bytes / uint32(kAudioSectorSize));
	} else {
		Put32(out + 4, bytes);
		Put32(out + 8, bytes);   // nothing is being recorded: all of it is free
	}
	return Respond(c, Get16(c.cdb + 7), 12);
}

CMmcDrive::SResult CMmcDrive::DoTeacSetLimits(const SContext& c)
{
	SResult r;
	int32 start = int32(Get32(c.cdb + 2));
	uint32 length = Get32(c.cdb + 6);
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
	size_t length = Get16(c.cdb + 7);
	if (length > c.dataLength) {
		r.sense = kSenseParameterListLength;
		return r;
	}
	r.transferred = length;
	if (!WritableMedium(&r.sense))
		return r;
	const uint8* d = c.data;
	if (length == 4) {
		if (fLimitLength == 0) {
			r.sense = kSenseCommandSequenceError;
			return r;
		}
		if (d[0] > 1 || (d[1] & 0x0F) != 1 || !IsBcd(d[2], 99) || d[2] == 0 || !IsBcd(d[3], 99))
			r.sense = SenseInvalidParameterField(d[0] > 1 ? 0 : (d[1] & 0x0F) != 1 ? 1 : !IsBcd(d[2], 99) ? 2 : 3);
		return r;
	}
	if (length < 3 + 3 * 5 || (length - 3) % 5 != 0) {
		r.sense = kSenseParameterListLength;
		return r;
	}
	for (size_t at = 3; at < length; at += 5) {
		uint8 point = d[at + 1];
		bool pointValid = (IsBcd(point, 99) && point != 0) || point == 0xA0 || point == 0xA1 || point == 0xA2;
		bool timeValid = point == 0xA0 || point == 0xA1
			|| (IsBcd(d[at + 2], 99) && IsBcd(d[at + 3], 59) && IsBcd(d[at + 4], 74));
		if ((d[at] & 0x0F) != 1 || !pointValid || !timeValid) {
			r.sense = SenseInvalidParameterField(uint16(at));
			return r;
		}
	}
	return r;
}

CMmcDrive::SResult CMmcDrive::DoTeacNextWritableAddress(const SContext& c)
{
	SResult r;
	if (!WritableMedium(&r.sense))
		return r;
	std::memset(fResponse.data(), 0, 4);   // the program area starts at 0
	return Respond(c, c.dataLength, 4);
}

CMmcDrive::SResult CMmcDrive::DoTeacOpcExecution(const SContext& c)
{
	SResult r;
	if (!WritableMedium(&r.sense))
		r.sense = Sense(kIllegalRequest, 0xCD, 0x00);   // cannot ensure reliable writing on this disc
	return r;
}

CMmcDrive::SResult CMmcDrive::DoPhilipsFirstWritableAddress(const SContext& c)
{
	SResult r;
	if (!WritableMedium(&r.sense))
		return r;
	uint8 sectorType = c.cdb[3];
	if (sectorType != 1 && sectorType != 4 && sectorType != 5) {
		r.sense = SenseInvalidCdbField(3);
		return r;
	}
	uint8* out = fResponse.data();
	std::memset(out, 0, 6);
	out[0] = 5;
	Put32(out + 1, 0);
	return Respond(c, c.cdb[8], 6);
}

CMmcDrive::SResult CMmcDrive::DoPhilipsReadSessionInfo(const SContext& c)
{
	SResult r;
	if (!WritableMedium(&r.sense))
		return r;
	uint8* out = fResponse.data();
	Put16(out, uint32(-150 - fMedium->LeadInStart()));   // lead-in length
	Put16(out + 2, 6750);                                  // lead-out: 90 seconds
	return Respond(c, c.cdb[8], 4);
}

// WRITE SESSION: per track a descriptor of at least 20 bytes (length,
// flags, ISRC, start, index points, end) with ascending addresses.
CMmcDrive::SResult CMmcDrive::DoPhilipsWriteSession(const SContext& c)
{
	SResult r;
	size_t length = Get16(c.cdb + 7);
	if (length > c.dataLength) {
		r.sense = kSenseParameterListLength;
		return r;
	}
	r.transferred = length;
	if (!WritableMedium(&r.sense))
		return r;
	int64 last = -150;
	size_t at = 0;
	while (at < length) {
		size_t size = length - at >= 2 ? Get16(c.data + at) : 0;
		if (size < 20 || size % 4 != 0 || at + size > length) {
			r.sense = SenseInvalidParameterField(uint16(at));
			return r;
		}
		for (size_t field = 12; field < size; field += 4) {
			int64 lba = int32(Get32(c.data + at + field));
			if (lba < last || lba > fMedium->LastPossibleLeadOut()) {
				r.sense = SenseInvalidParameterField(uint16(at + field));
				return r;
			}
			last = lba;
		}
		at += size;
	}
	if (length == 0)
		r.sense = kSenseParameterListLength;
	return r;
}

// WRITE TOC: the disc-at-once cue sheet with BCD track, index and times: a
// lead-in entry first, a lead-out entry (AAh) last.
CMmcDrive::SResult CMmcDrive::DoYamahaWriteToc(const SContext& c)
{
	SResult r;
	size_t length = Get16(c.cdb + 7);
	if (length > c.dataLength) {
		r.sense = kSenseParameterListLength;
		return r;
	}
	r.transferred = length;
	if (!WritableMedium(&r.sense))
		return r;
	if (length < 24 || length % 8 != 0) {
		r.sense = kSenseParameterListLength;
		return r;
	}
	for (size_t at = 0; at < length; at += 8) {
		const uint8* e = c.data + at;
		bool first = at == 0;
		bool last = at + 8 == length;
		bool trackValid = first ? e[1] == 0 : last ? e[1] == 0xAA : IsBcd(e[1], 99) && e[1] != 0;
		if ((e[0] & 0x0F) != 1 || !trackValid || !IsBcd(e[2], 99) || !IsBcd(e[5], 99) || !IsBcd(e[6], 59)
			|| !IsBcd(e[7], 74)) {
			r.sense = SenseInvalidParameterField(uint16(at));
			return r;
		}
	}
	return r;
}

CMmcDrive::SResult CMmcDrive::DoYamahaWriteTrack(const SContext& c)
{
	SResult r;
	WritableMedium(&r.sense);
	return r;
}
