#include "emulator/MmcDrive.h"

#include <cstring>

using namespace mmc;

namespace {

// A BCD byte whose value is at most `maximum`.
bool BcdAtMost(uint8 value, int32 maximum)
{
	int32 v = FromBcd(value);
	return v >= 0 && v <= maximum;
}

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
	if (DecodeSendOpcInformation(c.cdb))
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
	SetBe16(out, 10);
	uint32 bytes = uint32(fConfig.capabilities.bufferKb) * 1024;
	const SReadBufferCapacityFields fields = DecodeReadBufferCapacity(c.cdb);
	if (fields.blocks) {
		SetBe32(out + 8, bytes / uint32(kCdAudioSectorSize));
	} else {
		SetBe32(out + 4, bytes);
		SetBe32(out + 8, bytes);   // nothing is being recorded: all of it is free
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
		if (d[0] > 1 || (d[1] & 0x0F) != 1 || !BcdAtMost(d[2], 99) || d[2] == 0 || !BcdAtMost(d[3], 99))
			r.sense = SenseInvalidParameterField(d[0] > 1 ? 0 : (d[1] & 0x0F) != 1 ? 1 : !BcdAtMost(d[2], 99) ? 2 : 3);
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
		r.sense = Sense(kSenseKeyIllegalRequest, 0xCD, 0x00);   // cannot ensure reliable writing on this disc
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
	uint8* out = fResponse.data();
	std::memset(out, 0, 6);
	out[0] = 5;
	SetBe32(out + 1, 0);
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
	if (length == 0)
		r.sense = kSenseParameterListLength;
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
	return r;
}

CMmcDrive::SResult CMmcDrive::DoYamahaWriteTrack(const SContext& c)
{
	SResult r;
	WritableMedium(&r.sense);
	return r;
}
