#include "emulator/MmcDrive.h"

#include "kit/device/CdText.h"
#include "emulator/ShiftedAudio.h"

#include <algorithm>
#include <cstring>

using namespace mmc;

namespace {

void PutAddress(uint8* p, int32 lba, bool msf)
{
	if (msf) {
		SCdMsf m = LbaToMsf(lba);
		p[0] = 0;
		p[1] = m.minute;
		p[2] = m.second;
		p[3] = m.frame;
	} else {
		SetBe32(p, uint32(lba));
	}
}

// A relative address: negative in a pregap (an MSF then counts the distance).
void PutRelative(uint8* p, int32 relative, bool msf)
{
	if (msf) {
		SCdMsf m = FramesToMsf(relative);
		p[0] = 0;
		p[1] = m.minute;
		p[2] = m.second;
		p[3] = m.frame;
	} else {
		SetBe32(p, uint32(relative));
	}
}

// Where the catalogue number and ISRC frames sit: the sectors whose absolute
// frame count leaves these remainders by 100 (at least one of each in any
// hundred sectors, as the CD standard asks, and never two next to each
// other).
constexpr int32 kCatalogPhase = 20;
constexpr int32 kIsrcPhase = 70;

// One ISRC character in the 6-bit code of the Q sub-channel; -1 for a
// character that has none.
int IsrcCode(char c)
{
	if (c >= '0' && c <= '9')
		return c - '0';
	if (c >= 'A' && c <= 'Z')
		return c - 'A' + 17;
	return -1;
}

void SetCrc(uint8* q)
{
	uint16 crc = CCdText::Crc16(q, 10);
	q[10] = uint8(crc >> 8);
	q[11] = uint8(crc);
}

// ADR 2: 13 BCD digits, 12 zero bits, the absolute frame. False when the
// catalogue number is not 13 digits.
bool CatalogFrame(const std::string& catalog, uint8 control, uint8 absFrame, uint8* q)
{
	if (catalog.size() != 13)
		return false;
	uint8 digits[14] = {};
	for (size_t i = 0; i < 13; i++) {
		if (catalog[i] < '0' || catalog[i] > '9')
			return false;
		digits[i] = uint8(catalog[i] - '0');
	}
	std::memset(q, 0, 12);
	q[0] = uint8(control << 4 | 0x02);
	for (size_t i = 0; i < 7; i++)
		q[1 + i] = uint8(digits[2 * i] << 4 | digits[2 * i + 1]);
	q[9] = absFrame;
	SetCrc(q);
	return true;
}

// ADR 3: five 6-bit characters, two zero bits, seven BCD digits, four zero
// bits, the absolute frame. False for an ISRC that cannot be coded.
bool IsrcFrame(const std::string& isrc, uint8 control, uint8 absFrame, uint8* q)
{
	if (isrc.size() != 12)
		return false;
	uint64 bits = 0;   // the 60 bits of the code, first character highest
	for (size_t i = 0; i < 5; i++) {
		int code = IsrcCode(isrc[i]);
		if (code < 0)
			return false;
		bits = bits << 6 | uint64(code);
	}
	bits <<= 2;
	for (size_t i = 5; i < 12; i++) {
		if (isrc[i] < '0' || isrc[i] > '9')
			return false;
		bits = bits << 4 | uint64(isrc[i] - '0');
	}
	bits <<= 4;   // 64 bits: bytes 1..8
	std::memset(q, 0, 12);
	q[0] = uint8(control << 4 | 0x03);
	for (size_t i = 0; i < 8; i++)
		q[1 + i] = uint8(bits >> (56 - 8 * i));
	q[9] = absFrame;
	SetCrc(q);
	return true;
}

}   // namespace

CMmcDrive::SResult CMmcDrive::DoReadCapacity(const SContext& c)
{
	uint8* out = fResponse.data();
	if (fConfig.dialect == CDriveConfig::kDialectYamaha && fMedium->IsBlank() && fMedium->IsRecordable()) {
		// A writable disc: the blocks that can be written, block length 0.
		SetBe32(out, uint32(fMedium->LastPossibleLeadOut()));
		SetBe32(out + 4, 0);
		return Respond(c, 8, 8);
	}
	int32 last = fMedium->IsBlank() ? 0 : fMedium->LeadOut() - 1;
	SetBe32(out, uint32(last));
	SetBe32(out + 4, VendorDialect() ? fModePages.BlockLength() : 2048);
	return Respond(c, 8, 8);
}

CMmcDrive::SResult CMmcDrive::DoReadSubChannel(const SContext& c)
{
	SResult r;
	const SReadSubChannelFields fields = DecodeReadSubChannel(c.cdb);
	bool msf = fields.msf;
	bool subQ = fields.subQ;
	uint8 format = fields.format;
	uint8 trackNumber = fields.track;
	size_t allocation = fields.allocation;
	if (subQ && (format < 1 || format > 3)) {
		r.sense = SenseInvalidCdbField(3);
		return r;
	}
	const CDiscImage& disc = *fMedium;
	const CDiscImage::STrack* isrcTrack = nullptr;
	if (subQ && format == 3) {
		isrcTrack = disc.FindTrack(trackNumber);
		if (isrcTrack == nullptr) {
			r.sense = SenseInvalidCdbField(6);
			return r;
		}
	}

	bigtime_t now = fClock->Now();
	uint8 status = fConfig.capabilities.audioPlay ? fPlayback.ReportStatus(now) : uint8(kAudioStatusNotSupported);
	uint8* out = fResponse.data();
	std::memset(out, 0, 24);
	out[1] = status;
	if (!subQ)
		return Respond(c, allocation, 4);

	size_t length = format == 1 ? 16 : 24;
	SetBe16(out + 2, uint32(length - 4));
	out[4] = format;
	if (format == 1) {
		int32 lba = fPlayback.Position(now);
		uint8 q[12];
		disc.QSubChannel(lba, q);
		const CDiscImage::STrack* track = disc.TrackAt(lba);
		out[5] = uint8(0x10 | (q[0] >> 4));
		int32 relative = lba - disc.LeadOut();
		if (track != nullptr) {
			out[6] = uint8(track->number);
			out[7] = uint8(CDiscImage::IndexAt(*track, lba));
			relative = lba - track->start;
		} else if (!disc.Tracks().empty() && lba < disc.Tracks().front().start) {
			out[6] = uint8(disc.FirstTrack());
			relative = lba - disc.Tracks().front().start;
		} else {
			out[6] = 0xAA;
			out[7] = 1;
		}
		PutAddress(out + 8, lba, msf);
		PutRelative(out + 12, relative, msf);
	} else if (format == 2) {
		if (fConfig.capabilities.mcn && !disc.Catalog().empty()) {
			out[8] = 0x80;
			std::memcpy(out + 9, disc.Catalog().data(), 13);
		}
	} else {
		out[5] = uint8(0x30 | (isrcTrack->control & 0x0F));
		out[6] = uint8(isrcTrack->number);
		if (fConfig.capabilities.isrc && isrcTrack->isrc.size() == 12) {
			out[8] = 0x80;
			std::memcpy(out + 9, isrcTrack->isrc.data(), 12);
		}
	}
	return Respond(c, allocation, length);
}

CMmcDrive::SResult CMmcDrive::DoReadToc(const SContext& c)
{
	SResult r;
	const SReadTocFields fields = DecodeReadTocPmaAtip(c.cdb);
	bool msf = fields.msf;
	uint8 format = fields.format;
	uint8 number = fields.trackSession;
	size_t allocation = fields.allocation;
	const CDiscImage& disc = *fMedium;
	uint8* out = fResponse.data();

	if (format <= 2 && disc.IsBlank()) {
		r.sense = SenseInvalidCdbField(2);
		return r;
	}
	// The vendor families read no CD-Text, and only the Yamaha answers the
	// ATIP (see MmcDrive.h).
	if (VendorDialect() && (format == 5 || (format == 4 && fConfig.dialect != CDriveConfig::kDialectYamaha))) {
		r.sense = SenseInvalidCdbField(2);
		return r;
	}
	const auto& tracks = disc.Tracks();
	size_t length = 4;
	switch (format) {
		case 0: {
			if (number > disc.LastTrack() && number != 0xAA) {
				r.sense = SenseInvalidCdbField(6);
				return r;
			}
			out[2] = uint8(disc.FirstTrack());
			out[3] = uint8(disc.LastTrack());
			auto add = [&](uint8 control, uint8 track, int32 lba) {
				uint8* d = out + length;
				d[0] = 0;
				d[1] = uint8(0x10 | (control & 0x0F));
				d[2] = track;
				d[3] = 0;
				PutAddress(d + 4, lba, msf);
				length += 8;
			};
			if (number != 0xAA)
				for (const auto& track : tracks)
					if (track.number >= number)
						add(track.control, uint8(track.number), track.start);
			add(tracks.back().control, 0xAA, disc.LeadOut());
			break;
		}
		case 1: {
			out[2] = 1;
			out[3] = 1;
			uint8* d = out + 4;
			d[0] = 0;
			d[1] = uint8(0x10 | (tracks.front().control & 0x0F));
			d[2] = uint8(tracks.front().number);
			d[3] = 0;
			PutAddress(d + 4, tracks.front().start, msf);
			length = 12;
			break;
		}
		case 2: {
			if (number > 1) {
				r.sense = SenseInvalidCdbField(6);
				return r;
			}
			out[2] = 1;
			out[3] = 1;
			auto add = [&](uint8 control, uint8 point, uint8 pmin, uint8 psec, uint8 pframe) {
				uint8* d = out + length;
				std::memset(d, 0, 11);
				d[0] = 1;
				d[1] = uint8(0x10 | (control & 0x0F));
				d[3] = point;
				d[8] = pmin;
				d[9] = psec;
				d[10] = pframe;
				length += 11;
			};
			add(tracks.front().control, 0xA0, uint8(disc.FirstTrack()), 0x00, 0);
			add(tracks.back().control, 0xA1, uint8(disc.LastTrack()), 0, 0);
			SCdMsf leadOut = LbaToMsf(disc.LeadOut());
			add(tracks.back().control, 0xA2, leadOut.minute, leadOut.second, leadOut.frame);
			for (const auto& track : tracks) {
				SCdMsf start = LbaToMsf(track.start);
				add(track.control, uint8(track.number), start.minute, start.second, start.frame);
			}
			break;
		}
		case 4: {
			if (!disc.IsRecordable()) {
				r.sense = SenseInvalidCdbField(2);
				return r;
			}
			std::memset(out, 0, 28);
			out[4] = 0x80 | 0x50 | 0x01;    // indicative writing power 5, reference speed 1
			out[5] = 0x40;                  // URU: unrestricted use
			out[6] = uint8(0x80 | (disc.IsErasable() ? 0x40 : 0x00));
			SCdMsf leadIn = LbaToMsf(disc.LeadInStart());
			SCdMsf leadOut = LbaToMsf(disc.LastPossibleLeadOut());
			out[8] = leadIn.minute;
			out[9] = leadIn.second;
			out[10] = leadIn.frame;
			out[12] = leadOut.minute;
			out[13] = leadOut.second;
			out[14] = leadOut.frame;
			length = 28;
			break;
		}
		case 5: {
			const auto& packs = disc.CdTextPacks();
			out[2] = out[3] = 0;
			size_t n = std::min(packs.size(), fResponse.size() - 4);
			if (n > 0)
				std::memcpy(out + 4, packs.data(), n);    // an empty vector's data() may be null
			length = 4 + n;
			break;
		}
		default:
			r.sense = SenseInvalidCdbField(2);
			return r;
	}
	SetBe16(out, uint32(length - 2));
	return Respond(c, allocation, length);
}

CMmcDrive::SResult CMmcDrive::DoReadDiscInformation(const SContext& c)
{
	SResult r;
	const SReadDiscInformationFields fields = DecodeReadDiscInformation(c.cdb);
	if (fields.dataType != 0) {
		r.sense = SenseInvalidCdbField(1);
		return r;
	}
	const CDiscImage& disc = *fMedium;
	uint8* out = fResponse.data();
	constexpr size_t kLength = 34;
	std::memset(out, 0, kLength);
	SetBe16(out, kLength - 2);
	if (disc.IsBlank()) {
		out[2] = uint8(disc.IsErasable() ? 0x10 : 0x00);   // empty disc, empty session
		out[3] = 1;
		out[4] = 1;
		out[5] = 1;
		out[6] = 1;
		SCdMsf leadIn = LbaToMsf(disc.LeadInStart());
		SCdMsf leadOut = LbaToMsf(disc.LastPossibleLeadOut());
		out[17] = leadIn.minute;
		out[18] = leadIn.second;
		out[19] = leadIn.frame;
		out[21] = leadOut.minute;
		out[22] = leadOut.second;
		out[23] = leadOut.frame;
	} else {
		out[2] = uint8((disc.IsErasable() ? 0x10 : 0x00) | 0x0C | 0x02);   // complete session, complete disc
		out[3] = uint8(disc.FirstTrack());
		out[4] = 1;
		out[5] = uint8(disc.FirstTrack());
		out[6] = uint8(disc.LastTrack());
		std::memset(out + 16, 0xFF, 8);
	}
	out[7] = 0x20;   // URU: unrestricted use
	out[8] = 0x00;   // CD-DA or CD-ROM
	return Respond(c, fields.allocation, kLength);
}

CMmcDrive::SResult CMmcDrive::DoReadTrackInformation(const SContext& c)
{
	SResult r;
	const SReadTrackInformationFields fields = DecodeReadTrackInformation(c.cdb);
	uint8 type = fields.addressType;
	uint32 value = fields.number;
	const CDiscImage& disc = *fMedium;
	uint8* out = fResponse.data();
	constexpr size_t kLength = 36;
	std::memset(out, 0, kLength);
	SetBe16(out, kLength - 2);
	out[3] = 1;   // session

	if (disc.IsBlank()) {
		// The invisible track that recording fills.
		bool ok = (type == 1 && (value == 1 || value == 0xFF)) || (type == 2 && value == 1)
			|| (type == 0 && int64(value) < disc.LastPossibleLeadOut());
		if (!ok) {
			r.sense = SenseInvalidCdbField(type == 3 ? 1 : 2);
			return r;
		}
		out[2] = 1;
		out[6] = 0x40 | 0x0F;   // blank, data mode unknown
		out[7] = 0x01;          // next writable address valid
		SetBe32(out + 16, uint32(disc.LastPossibleLeadOut()));
		SetBe32(out + 24, uint32(disc.LastPossibleLeadOut()));
		return Respond(c, fields.allocation, kLength);
	}

	const CDiscImage::STrack* track = nullptr;
	if (type == 0)
		track = int32(value) >= 0 && int32(value) < disc.LeadOut() ? disc.TrackAt(int32(value)) : nullptr;
	else if (type == 1)
		track = value <= 99 ? disc.FindTrack(int(value)) : nullptr;
	else if (type == 2)
		track = value == 1 ? &disc.Tracks().front() : nullptr;
	if (track == nullptr) {
		r.sense = SenseInvalidCdbField(type == 3 ? 1 : 2);
		return r;
	}
	// A track holds its pause: it starts at index 0 and ends where the next
	// track's pause begins, so that every sector of the program area belongs
	// to one track (track 1's pause before LBA 0 is outside it).
	int32 first = std::max<int32>(track->pregapStart, 0);
	out[2] = uint8(track->number);
	out[5] = uint8(track->control & 0x0F);
	out[6] = 0x0F;
	SetBe32(out + 8, uint32(first));
	SetBe32(out + 24, uint32(track->end - first));
	SetBe32(out + 28, uint32(track->end - 1));
	return Respond(c, fields.allocation, kLength);
}

CMmcDrive::SResult CMmcDrive::DoReadCd(const SContext& c)
{
	SResult r;
	const bool msfRange = c.cdb[0] == kReadCdMsf;
	const SReadCdFields request = msfRange ? DecodeReadCdMsf(c.cdb) : DecodeReadCd(c.cdb);
	uint8 sectorType = request.sectorType;
	if (sectorType > 5) {
		r.sense = SenseInvalidCdbField(1);
		return r;
	}
	int32 lba;
	int64 count;
	if (msfRange) {
		if (request.msf.start.second > 59 || request.msf.start.frame > 74) {
			r.sense = SenseInvalidCdbField(3);
			return r;
		}
		if (request.msf.end.second > 59 || request.msf.end.frame > 74) {
			r.sense = SenseInvalidCdbField(6);
			return r;
		}
		lba = MsfToLba(request.msf.start);
		int32 end = MsfToLba(request.msf.end);
		if (end < lba) {
			r.sense = SenseInvalidCdbField(6);
			return r;
		}
		count = end - lba;
	} else {
		lba = request.lba;
		count = request.blocks;
	}
	uint8 c2 = request.C2Field();
	if (c2 == 3) {
		r.sense = SenseInvalidCdbField(9);
		return r;
	}
	uint8 sub = request.subChannel;
	if (sub != 0 && sub != 1 && sub != 2) {
		r.sense = SenseInvalidCdbField(10);
		return r;
	}
	// Every track is audio: data sector types do not match it.
	if (sectorType >= 2 || !fConfig.capabilities.cddaCommands) {
		if (!fMedium->IsBlank() && lba >= 0 && lba < fMedium->LeadOut()) {
			r.sense = kSenseIllegalModeForTrack;
			return r;
		}
	}
	size_t c2Bytes = c2 == 0 ? 0 : c2 == 1 ? 294 : 296;
	return ReadSectors(c, lba, count, request.UserData(), c2Bytes, sub == 1 ? 96 : sub == 2 ? 16 : 0);
}

CMmcDrive::SResult CMmcDrive::DoReadCdDa(const SContext& c)
{
	SResult r;
	const SReadCdDaFields fields = DecodeReadCdDa(c.cdb);
	int32 lba = fields.lba;
	int64 count = fields.blocks;
	switch (fields.subCode) {
		case 0:
			return ReadSectors(c, lba, count, true, 0, 0);
		case 1:
			return ReadSectors(c, lba, count, true, 0, 16);
		case 2:
			return ReadSectors(c, lba, count, true, 0, 96);
		case 3:
			return ReadSectors(c, lba, count, false, 0, 96);
		default:
			r.sense = SenseInvalidCdbField(10);
			return r;
	}
}

CMmcDrive::SResult CMmcDrive::DoRead10(const SContext& c)
{
	SResult r;
	const SBlockRange range = DecodeRead10(c.cdb);
	int32 lba = range.lba;
	uint32 count = range.blocks;
	bool audioBlocks = VendorDialect() && fModePages.BlockLength() == kCdAudioSectorSize
		&& (fModePages.Density() == 0x82 || fModePages.Density() == 0x00);
	if (fMedium->IsBlank() || lba < 0 || int64(lba) + count > fMedium->LeadOut()) {
		r.sense = kSenseLbaOutOfRange;
		return r;
	}
	if (count == 0)
		return r;
	if (!audioBlocks) {
		r.sense = kSenseIllegalModeForTrack;   // audio tracks hold no 2048-byte blocks
		return r;
	}
	r = ReadSectors(c, lba, count, true, 0, 0);
	if (fConfig.dialect == CDriveConfig::kDialectPhilips) {
		// The CDD 2000 family delivers its samples big-endian.
		for (size_t i = 0; i + 1 < r.transferred; i += 2)
			std::swap(c.data[i], c.data[i + 1]);
	}
	return r;
}

uint32 CMmcDrive::MediumBlocks() const
{
	if (!MediumReady())
		return 0;
	return uint32(std::max<int32>(0, fMedium->IsBlank() ? fMedium->LastPossibleLeadOut() : fMedium->LeadOut()));
}

CMmcDrive::SResult CMmcDrive::ReadSectors(const SContext& c, int32 lba, int64 count, bool userData, size_t c2Bytes,
	int subChannel)
{
	SResult r;
	const CDiscImage& disc = *fMedium;
	if (disc.IsBlank() || lba < 0 || count < 0 || lba + count > disc.LeadOut()) {
		r.sense = kSenseLbaOutOfRange;
		return r;
	}
	const size_t userBytes = userData ? kCdAudioSectorSize : 0;
	const size_t perSector = userBytes + c2Bytes + size_t(subChannel);
	if (count == 0 || perSector == 0)
		return r;
	fPlayback.Stop(fClock->Now());

	// Whole sectors that fit into the caller's buffer; when the answer is
	// longer, the first bytes of the next sector fill the rest of it.
	int32 whole = int32(std::min<int64>(count, int64(c.dataLength / perSector)));
	size_t tail = whole < count ? c.dataLength - size_t(whole) * perSector : 0;
	int32 sectors = whole + (tail > 0 ? 1 : 0);
	int32 bad = -1;
	if (fFaults.TakeMediumError(lba, sectors, &bad)) {
		sectors = bad - lba;
		whole = std::min(whole, sectors);
		tail = sectors > whole ? tail : 0;
	}
	if (userData && whole > 0
		&& ReadShiftedAudio(disc, lba, whole, c.data, perSector, fFaults.TakeReadShift()) != B_OK) {
		r.sense = kSenseUnrecoveredReadError;
		return r;
	}
	for (int32 i = 0; i < whole; i++)
		BuildSectorExtras(lba + i, c.data + size_t(i) * perSector + userBytes, c2Bytes, subChannel);
	if (tail > 0) {
		uint8* sector = fResponse.data();
		if (userData && disc.ReadSectors(lba + whole, 1, sector, perSector) != B_OK) {
			r.sense = kSenseUnrecoveredReadError;
			return r;
		}
		BuildSectorExtras(lba + whole, sector + userBytes, c2Bytes, subChannel);
		std::memcpy(c.data + size_t(whole) * perSector, sector, tail);
	}
	r.transferred = size_t(whole) * perSector + tail;
	r.overrun = bad < 0 && int64(count) * perSector > c.dataLength;
	if (bad >= 0) {
		r.sense = kSenseUnrecoveredReadError;
		r.sense.infoValid = true;
		r.sense.info = uint32(bad);
	}
	r.busy = ReadTime(sectors);
	return r;
}

void CMmcDrive::SectorQ(int32 lba, uint8* q) const
{
	const CDiscImage& disc = *fMedium;
	disc.QSubChannel(lba, q);
	if (lba < 0 || lba >= disc.LeadOut())
		return;
	int32 phase = (lba + kCdMsfOffset) % 100;
	uint8 control = uint8(q[0] >> 4);
	if (phase == kCatalogPhase) {
		CatalogFrame(disc.Catalog(), control, q[9], q);
	} else if (phase == kIsrcPhase) {
		const CDiscImage::STrack* track = disc.TrackAt(lba);
		if (track != nullptr && lba >= track->start)
			IsrcFrame(track->isrc, control, q[9], q);
	}
}

void CMmcDrive::BuildSectorExtras(int32 lba, uint8* out, size_t c2Bytes, int subChannel) const
{
	const CDiscImage& disc = *fMedium;
	if (c2Bytes > 0) {
		std::memset(out, 0, c2Bytes);
		out += c2Bytes;
	}
	if (subChannel == 0)
		return;
	uint8 q[12];
	SectorQ(lba, q);
	if (subChannel == 16) {
		// Formatted Q. A hex-Q drive gives the BCD fields in binary (the
		// lead-out's AAh stays); the CRC is the recorded frame's.
		std::memcpy(out, q, 12);
		std::memset(out + 12, 0, 4);
		if (fConfig.hexQ) {
			if ((q[0] & 0x0F) == 0x01) {
				for (int i : {1, 2, 3, 4, 5, 7, 8})
					if (!(i == 1 && q[1] == 0xAA))
						out[i] = uint8(FromBcd(q[i]));
			}
			out[9] = uint8(FromBcd(q[9]));
		}
		return;
	}
	// Raw P-W: one bit of each sub-channel per byte, P in bit 7, Q in bit 6;
	// R-W carry nothing.
	const CDiscImage::STrack* track = disc.TrackAt(lba);
	bool pause = track != nullptr && lba < track->start;
	for (int j = 0; j < 96; j++) {
		uint8 qBit = (q[j / 8] >> (7 - j % 8)) & 0x01;
		out[j] = uint8((pause ? 0x80 : 0x00) | (qBit << 6));
	}
}
