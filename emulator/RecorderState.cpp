#include "emulator/RecorderState.h"

#include "kit/device/CdAddress.h"
#include "kit/device/CdText.h"

#include <algorithm>

using namespace mmc;

namespace {

constexpr size_t kCueEntrySize = 8;
constexpr int32 kFirstSector = -kCdMsfOffset;   // MSF 00:00:00

constexpr uint8 kDataFormAudio = 0x00;       // CD-DA, sectors from the host
constexpr uint8 kDataFormGenerated = 0x01;   // CD-DA, sectors made by the recorder
constexpr uint8 kDataFormCdText = 0x41;      // lead-in with CD-Text packs from the host
// The longest cue sheet: 99 tracks of 100 index points, catalogue and ISRC
// entries, lead-in and lead-out.
constexpr size_t kMaxCueEntries = 99 * 102 + 4;

SSense InvalidAt(size_t offset)
{
	return SenseInvalidParameterField(uint16(std::min<size_t>(offset, 0xFFFF)));
}

bool IsDigit(uint8 c)
{
	return c >= '0' && c <= '9';
}

bool IsIsrcCharacter(uint8 c)
{
	return IsDigit(c) || (c >= 'A' && c <= 'Z');
}

// The ISRC characters 0-4 are country and owner (letters or digits), 5-11
// year and serial number (digits).
bool IsrcCharacterValid(size_t position, uint8 c)
{
	return position < 5 ? IsIsrcCharacter(c) : IsDigit(c);
}

// The catalogue number and ISRC of page 05h, when flagged valid and well formed.
std::string PageCatalogue(const SWriteParameters& p)
{
	if (!p.catalogueValid)
		return std::string();
	for (size_t i = 0; i < 13; i++)
		if (!IsDigit(uint8(p.catalogue[i])))
			return std::string();
	return std::string(p.catalogue, 13);
}

std::string PageIsrc(const SWriteParameters& p)
{
	if (!p.isrcValid)
		return std::string();
	for (size_t i = 0; i < 12; i++)
		if (!IsrcCharacterValid(i, uint8(p.isrc[i])))
			return std::string();
	return std::string(p.isrc, 12);
}

}   // namespace

SSense ParseCueSheetPlan(const uint8* data, size_t length, int32 lastPossibleLeadOut, SCueSheetPlan* plan, bool bcd)
{
	*plan = SCueSheetPlan();
	if (data == nullptr || length == 0 || length % kCueEntrySize != 0 || length / kCueEntrySize > kMaxCueEntries)
		return kSenseParameterListLength;
	const size_t count = length / kCueEntrySize;

	struct SPoint {
		int track;
		int index;
		bool fromHost;
		int32 lba;
	};
	std::vector<SPoint> points;   // ADR 1 entries after the lead-in, lead-out included
	SWrittenDisc& disc = plan->disc;
	bool leadIn = false;
	bool leadOut = false;
	int track = 0;                // the track of the last ADR 1 entry
	int index = 0;
	int32 lastLba = kFirstSector;
	std::string pendingIsrc;
	int pendingIsrcTrack = 0;

	for (size_t i = 0; i < count; i++) {
		const uint8* e = data + i * kCueEntrySize;
		const size_t at = i * kCueEntrySize;
		const uint8 control = uint8(e[0] >> 4);
		const uint8 adr = e[0] & 0x0F;
		if (leadOut)
			return InvalidAt(at);   // nothing follows the lead-out

		if (adr == 0x02) {
			// Catalogue number: 7 digits in the first entry, 6 and a zero
			// byte in the second, before the first track.
			if (track != 0 || !disc.mcn.empty() || i + 1 >= count)
				return InvalidAt(at);
			const uint8* second = e + kCueEntrySize;
			if ((second[0] & 0x0F) != 0x02)
				return InvalidAt(at + kCueEntrySize);
			for (size_t k = 1; k < 8; k++)
				if (!IsDigit(e[k]))
					return InvalidAt(at + k);
			for (size_t k = 1; k < 7; k++)
				if (!IsDigit(second[k]))
					return InvalidAt(at + kCueEntrySize + k);
			if (second[7] != 0)
				return InvalidAt(at + kCueEntrySize + 7);
			disc.mcn.assign(reinterpret_cast<const char*>(e + 1), 7);
			disc.mcn.append(reinterpret_cast<const char*>(second + 1), 6);
			i++;
			continue;
		}
		if (adr == 0x03) {
			// ISRC: two entries naming the track that follows, 6 characters each.
			if (!leadIn || !pendingIsrc.empty() || i + 1 >= count)
				return InvalidAt(at);
			const uint8* second = e + kCueEntrySize;
			if ((second[0] & 0x0F) != 0x03)
				return InvalidAt(at + kCueEntrySize);
			if (e[1] != track + 1 || second[1] != e[1])
				return InvalidAt(e[1] != track + 1 ? at + 1 : at + kCueEntrySize + 1);
			for (size_t k = 0; k < 12; k++) {
				size_t offset = k < 6 ? at + 2 + k : at + kCueEntrySize + 2 + (k - 6);
				if (!IsrcCharacterValid(k, data[offset]))
					return InvalidAt(offset);
			}
			pendingIsrc.assign(reinterpret_cast<const char*>(e + 2), 6);
			pendingIsrc.append(reinterpret_cast<const char*>(second + 2), 6);
			pendingIsrcTrack = e[1];
			i++;
			continue;
		}
		if (adr != 0x01)
			return InvalidAt(at);

		// A position entry: binary track, index and time.
		SCueSheetEntry entry;
		if (!DecodeCueSheetEntry(e, &entry, bcd))
			return InvalidAt(at + (!bcd ? (e[6] > 59 ? 6 : 7) : !IsBcd(e[1]) && e[1] != cdb::kLeadOutTrack ? 1
					: !IsBcd(e[2]) ? 2 : !IsBcd(e[5]) ? 5 : !IsBcd(e[6]) || e[6] > 0x59 ? 6 : 7));
		const int32 lba = entry.lba;
		if (e[4] != 0x00 && e[4] != 0x80)   // serial copy management: alternate copy bit only
			return InvalidAt(at + 4);

		if (!leadIn) {
			if (entry.track != 0)
				return InvalidAt(at + 1);
			if (entry.index != 0)
				return InvalidAt(at + 2);
			// A CD-Text lead-in (41h): the host writes its packs. The
			// older recorders' BCD sheets know no such lead-in.
			if (e[3] != kDataFormGenerated && !(bcd && e[3] == kDataFormAudio) && !(!bcd && e[3] == kDataFormCdText))
				return InvalidAt(at + 3);
			if (lba != kFirstSector)
				return InvalidAt(at + 5);
			plan->leadInDataForm = e[3];
			leadIn = true;
			continue;
		}
		if ((control & 0x04) != 0)   // data tracks are not written
			return InvalidAt(at);
		if (e[3] != kDataFormAudio && e[3] != kDataFormGenerated)
			return InvalidAt(at + 3);
		if (lba < lastLba)
			return InvalidAt(at + 5);

		const uint8 trackField = entry.track;
		const uint8 indexField = entry.index;
		if (trackField == cdb::kLeadOutTrack) {
			if (track == 0 || index == 0)
				return InvalidAt(at + 1);
			if (indexField != 1)
				return InvalidAt(at + 2);
			if (lba <= disc.tracks.back().start || lba == lastLba)
				return InvalidAt(at + 5);
			if (lba > lastPossibleLeadOut)
				return InvalidAt(at + 5);
			points.push_back({cdb::kLeadOutTrack, 1, false, lba});
			disc.leadOut = lba;
			leadOut = true;
			continue;
		}

		const int number = trackField;
		if (number == track && track != 0) {
			if (indexField != index + 1)
				return InvalidAt(at + 2);
			// Only an index 0 may be empty (index 1 at the same time).
			if (lba == lastLba && !(index == 0 && indexField == 1))
				return InvalidAt(at + 5);
			if (index == 0 && indexField == 1 && lba < 0 && track == 1)
				return InvalidAt(at + 5);   // track 1 starts at 00:02:00 or later
			index = indexField;
		} else {
			if (number != track + 1 || number > 99)
				return InvalidAt(at + 1);
			if (track != 0 && index == 0)
				return InvalidAt(at + 1);   // the previous track has no index 1
			if (indexField > 1)
				return InvalidAt(at + 2);
			if (number == 1 && lba != kFirstSector)
				return InvalidAt(at + 5);
			if (number == 1 && indexField == 1 && lba < 0)
				return InvalidAt(at + 5);
			if (track != 0 && lba == lastLba)
				return InvalidAt(at + 5);   // the previous track would be empty
			if (!pendingIsrc.empty() && pendingIsrcTrack != number)
				return InvalidAt(at + 1);
			SWrittenDisc::STrack t;
			t.number = number;
			t.control = control;
			t.isrc = pendingIsrc;
			t.pregapStart = lba;
			pendingIsrc.clear();
			if (!disc.tracks.empty())
				disc.tracks.back().end = lba;
			disc.tracks.push_back(t);
			track = number;
			index = indexField;
		}
		SWrittenDisc::STrack& current = disc.tracks.back();
		if (index == 1) {
			current.start = lba;
			current.control = control;
		}
		if (index >= 1)
			current.indexes.emplace_back(index, lba);
		points.push_back({track, index, e[3] == kDataFormAudio, lba});
		lastLba = lba;
	}
	if (!leadIn || track == 0 || !pendingIsrc.empty())
		return InvalidAt(length - kCueEntrySize);
	if (!leadOut)
		return InvalidAt(length - kCueEntrySize + 1);
	disc.tracks.back().end = disc.leadOut;

	for (size_t i = 0; i + 1 < points.size(); i++) {
		int32 start = points[i].lba;
		int32 sectors = points[i + 1].lba - start;
		if (sectors <= 0)
			continue;
		if (!plan->ranges.empty() && plan->ranges.back().fromHost == points[i].fromHost)
			plan->ranges.back().count += sectors;
		else
			plan->ranges.push_back({start, sectors, points[i].fromHost});
	}
	return kSenseNone;
}

// --- CRecorderState -------------------------------------------------------------

void CRecorderState::Reset(bool blank, int32 lastPossibleLeadOut)
{
	bool hostPauses = fHostPauses;
	int32 leadInStart = fLeadInStart;
	*this = CRecorderState();
	fHostPauses = hostPauses;
	fLeadInStart = leadInStart;
	fStatus = blank ? kEmpty : kComplete;
	fLastPossibleLeadOut = lastPossibleLeadOut;
}

int CRecorderState::NextTrackNumber() const
{
	if (fTrackOpen)
		return fDisc.tracks.back().number;
	return fDisc.tracks.empty() ? 1 : fDisc.tracks.back().number + 1;
}

bool CRecorderState::NextWritableAddress(const SWriteParameters& parameters, int32* lba) const
{
	if (fStatus == kComplete || fUnusable)
		return false;
	if (parameters.writeType == kWriteTypeSessionAtOnce) {
		if (!fHasCueSheet)
			return false;
		int32 next = fNext;
		for (const SCueSheetPlan::SRange& range : fPlan.ranges)
			if (!range.fromHost && next >= range.start && next < range.start + range.count)
				next = range.start + range.count;
		*lba = next;
		return next < fPlan.disc.leadOut;
	}
	if (fTrackOpen || fHostPauses) {
		*lba = fNext;
	} else {
		if (NextTrackNumber() > 99)
			return false;
		int32 pause = parameters.audioPauseLength;
		if (fDisc.tracks.empty())
			pause = std::max<int32>(pause, -kFirstSector);
		*lba = fNext + pause;
	}
	return *lba < fLastPossibleLeadOut;
}

SSense CRecorderState::SendCueSheet(const SWriteParameters& parameters, const uint8* data, size_t length, bool bcd)
{
	if (fStatus == kComplete)
		return kSensePermanentWriteProtect;
	if (fStatus != kEmpty || fUnusable || fRunOpen || parameters.writeType != kWriteTypeSessionAtOnce)
		return kSenseCommandSequenceError;
	SCueSheetPlan plan;
	SSense sense = ParseCueSheetPlan(data, length, fLastPossibleLeadOut, &plan, bcd);
	if (sense.IsError())
		return sense;
	return SetPlan(parameters, std::move(plan));
}

SSense CRecorderState::SetPlan(const SWriteParameters& parameters, SCueSheetPlan plan)
{
	if (fStatus == kComplete)
		return kSensePermanentWriteProtect;
	if (fStatus != kEmpty || fUnusable || fRunOpen || parameters.writeType != kWriteTypeSessionAtOnce)
		return kSenseCommandSequenceError;
	if (plan.ranges.empty() || plan.disc.tracks.empty() || plan.disc.leadOut > fLastPossibleLeadOut)
		return kSenseLbaOutOfRange;
	if (plan.HostWritesLeadIn() && fLeadInStart >= plan.FirstSector())
		return kSenseCommandSequenceError;   // a medium without a lead-in to write
	fPlan = std::move(plan);
	fHasCueSheet = true;
	fNext = fPlan.HostWritesLeadIn() ? fLeadInStart : fPlan.FirstSector();
	fLeadInPacks.clear();
	fLeadInCycleDone = false;
	return kSenseNone;
}

void CRecorderState::SetOpenTrackStart(int32 start, uint8 control)
{
	if (!fTrackOpen)
		return;
	SWrittenDisc::STrack& track = fDisc.tracks.back();
	if (start < track.pregapStart || start >= track.end)
		return;
	track.start = start;
	track.control = control & 0x0B;
	track.indexes.assign(1, {1, start});
}

SSense CRecorderState::PlanWrite(const SWriteParameters& parameters, int32 lba, int32 count, SWritePlan* plan) const
{
	if (fStatus == kComplete)
		return kSensePermanentWriteProtect;
	if (fUnusable)
		return kSenseInvalidAddressForWrite;
	if ((parameters.writeType != kWriteTypeTrackAtOnce
			&& parameters.writeType != kWriteTypeSessionAtOnce)
		|| parameters.dataBlockType != kDataBlockRaw2352)
		return kSenseIllegalModeForTrack;
	if (fRunOpen && (parameters.writeType != fRunType || parameters.testWrite != fTestRun))
		return kSenseCommandSequenceError;
	if (parameters.writeType == kWriteTypeSessionAtOnce && !fHasCueSheet)
		return kSenseCommandSequenceError;
	if (parameters.writeType == kWriteTypeTrackAtOnce && fHasCueSheet)
		return kSenseCommandSequenceError;

	int32 expected = 0;
	if (!NextWritableAddress(parameters, &expected))
		return kSenseLbaOutOfRange;
	if (lba != expected)
		return kSenseInvalidAddressForWrite;
	int64 end = int64(lba) + count;
	if (parameters.writeType == kWriteTypeSessionAtOnce) {
		if (end > fPlan.disc.leadOut)
			return kSenseLbaOutOfRange;
		if (InHostLeadIn(lba) && end > fPlan.FirstSector())
			return kSenseInvalidAddressForWrite;   // lead-in and program sectors differ in size
		for (const SCueSheetPlan::SRange& range : fPlan.ranges)
			if (!range.fromHost && range.start < end && range.start + range.count > lba)
				return kSenseInvalidAddressForWrite;   // data for sectors the recorder makes
	} else if (end > fLastPossibleLeadOut) {
		return kSenseLbaOutOfRange;
	}
	plan->generatedStart = fNext;
	plan->generatedCount = lba - fNext;
	plan->lba = lba;
	plan->count = count;
	plan->startsRun = !fRunOpen;
	return kSenseNone;
}

bool CRecorderState::InHostLeadIn(int32 lba) const
{
	return fHasCueSheet && fPlan.HostWritesLeadIn() && lba < fPlan.FirstSector();
}

SSense CRecorderState::TakeLeadInPacks(const uint8* subcode, int32 sectors)
{
	constexpr size_t kMaxKept = CCdText::kMaxPacks * 8 * CCdText::kPackSize;
	std::vector<uint8> packs(CCdText::kPacksPerSubcode * CCdText::kPackSize);
	const size_t before = fLeadInPacks.size();
	const bool doneBefore = fLeadInCycleDone;
	for (int32 s = 0; s < sectors; s++) {
		CCdText::SubcodeToPacks(subcode + size_t(s) * CCdText::kSubcodeSize, packs.data());
		for (size_t p = 0; p < CCdText::kPacksPerSubcode; p++) {
			const uint8* pack = packs.data() + p * CCdText::kPackSize;
			bool zero = true;
			for (size_t k = 0; k < CCdText::kPackSize && zero; k++)
				zero = pack[k] == 0;
			if (zero)
				continue;
			if (pack[0] < 0x80 || pack[0] > 0x8F || !CCdText::PackCrcValid(pack)) {
				fLeadInPacks.resize(before);
				fLeadInCycleDone = doneBefore;
				return InvalidAt(size_t(s) * CCdText::kSubcodeSize + p * 24);
			}
			if (fLeadInCycleDone)
				continue;
			if (!fLeadInPacks.empty() && std::equal(pack, pack + CCdText::kPackSize, fLeadInPacks.begin())) {
				fLeadInCycleDone = true;   // the packs start over
				continue;
			}
			if (fLeadInPacks.size() < kMaxKept)
				fLeadInPacks.insert(fLeadInPacks.end(), pack, pack + CCdText::kPackSize);
		}
	}
	return kSenseNone;
}

void CRecorderState::StartRun(const SWriteParameters& parameters)
{
	fRunOpen = true;
	fTestRun = parameters.testWrite;
	fRunType = parameters.writeType;
	fStatus = kIncomplete;
	if (fHasCueSheet)
		fDisc = fPlan.disc;
}

void CRecorderState::Commit(const SWriteParameters& parameters, const SWritePlan& plan)
{
	if (!fRunOpen)
		StartRun(parameters);
	if (fRunType == kWriteTypeTrackAtOnce) {
		if (!fTrackOpen) {
			SWrittenDisc::STrack track;
			track.number = NextTrackNumber();
			track.control = parameters.trackMode & 0x0B;
			track.isrc = PageIsrc(parameters);
			track.pregapStart = plan.generatedStart;
			track.start = plan.lba;
			track.indexes.emplace_back(1, plan.lba);
			fDisc.tracks.push_back(track);
			std::string mcn = PageCatalogue(parameters);
			if (!mcn.empty())
				fDisc.mcn = mcn;
			fTrackOpen = true;
		}
		fDisc.tracks.back().end = plan.lba + plan.count;
		fDisc.leadOut = plan.lba + plan.count;
	}
	fNext = plan.lba + plan.count;
}

bool CRecorderState::CloseTrack()
{
	if (!fTrackOpen)
		return false;
	fTrackOpen = false;
	return true;
}

bool CRecorderState::AllSectorsWritten() const
{
	if (!fHasCueSheet)
		return false;
	int32 next = 0;
	SWriteParameters sao;
	sao.writeType = kWriteTypeSessionAtOnce;
	return !NextWritableAddress(sao, &next) && next >= fPlan.disc.leadOut;
}

SSense CRecorderState::CanCloseSession() const
{
	if (fStatus == kComplete)
		return kSensePermanentWriteProtect;
	if (fUnusable || !fRunOpen)
		return kSenseCommandSequenceError;
	if (fRunType == kWriteTypeSessionAtOnce && !AllSectorsWritten())
		return kSenseIncompleteTrack;
	if (fDisc.tracks.empty())
		return kSenseCommandSequenceError;
	return kSenseNone;
}

SWrittenDisc CRecorderState::CloseSession()
{
	SWrittenDisc disc = fDisc;
	if (fHasCueSheet && fPlan.HostWritesLeadIn())
		disc.cdTextPacks = fLeadInPacks;
	bool test = fTestRun;
	int32 capacity = fLastPossibleLeadOut;
	Reset(test, capacity);
	return disc;
}

void CRecorderState::Fail()
{
	fUnusable = true;
	fRunOpen = false;
	fTrackOpen = false;
	if (fTestRun)
		Reset(true, fLastPossibleLeadOut);   // nothing was burned
}
