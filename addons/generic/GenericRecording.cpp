// Writing, sessions, tracks, the recorder buffer and power calibration.
//
// Callers (the recording engine) rely on:
//   OpenSession   disc-at-once: the recorder is set up for the cue sheet
//                 (binary SEND CUE SHEET entries, MSF 00:00:00 = LBA -150)
//                 and *firstLba is the first sector after the lead-in that
//                 the caller writes (track 1's pause).
//   GetNextTrackNumber, OpenTrack, CloseTrack, FixateDisc
//                 track-at-once: OpenTrack gets the track's pause in sectors
//                 (not sent by the caller: the library writes what the
//                 recorder does not write itself) and gives in *startLba the
//                 first sector of the track's data.
//   Write         `sectors` sectors of 2352 bytes at `lba`; the status
//                 record's time is the command's duration.
//   CloseSession, FixateDisc
//                 the speed factor of the run sets how long the recorder may
//                 take for lead-in and lead-out; the status record's time is
//                 the whole closing.
//
// The Teac CD-R50/55 and Philips CDD 2600 dialects need to remember where
// the open track or session ends between calls; that state is kept per
// device object (by its instance id, never reused) below, and forgotten at
// every start and end of a run.
#include "addons/generic/Generic.h"

#include "addons/generic/DriveResponses.h"
#include "addons/generic/GenericCommon.h"
#include "devices/Device.h"
#include "kit/device/CdAddress.h"
#include "kit/device/ScsiParameters.h"
#include "kit/device/ScsiSense.h"
#include "kit/kernel/OS.h"
#include "kit/support/ByteOrder.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

namespace {

constexpr int32 kSilenceSectors = 26;
// The pause a recorder writes before a track by itself: two seconds.
constexpr int32 kRecorderPause = 2 * kCdFramesPerSecond;
const uint8 kSilence[kSilenceSectors * kSectorSize] = {};

// What a dialect remembers of the session being written on one drive.
struct SWriteState {
	int32 writeEnd = 0;          // first sector after the data of the open track or session
	int32 next = 0;              // next sector of a track-at-once session
	int32 leadOutLength = 0;     // sectors of lead-out the host writes (Philips CDD 2600)
	struct STrackMark {
		int32 track;
		int32 start;
		uint8 control;
	};
	std::vector<STrackMark> tracks;   // tracks opened in this session (Teac)
	bool open = false;
};

std::mutex sStateLock;
std::map<uint64, SWriteState> sStates;

SWriteState GetState(const CDevice* device)
{
	std::lock_guard<std::mutex> lock(sStateLock);
	auto found = sStates.find(device->GetInstanceId());
	return found != sStates.end() ? found->second : SWriteState();
}

void PutState(const CDevice* device, const SWriteState& state)
{
	std::lock_guard<std::mutex> lock(sStateLock);
	sStates[device->GetInstanceId()] = state;
}

void ForgetState(const CDevice* device)
{
	std::lock_guard<std::mutex> lock(sStateLock);
	sStates.erase(device->GetInstanceId());
}

// What MMC recorders also report while they close a track or session.
constexpr SSenseCode kClosingConditions[] = {sense::kOperationInProgress};
// What the CDR100/102 report while they write the lead-in with a full
// buffer, and while they write the lead-out.
constexpr SSenseCode kYamahaWritingLeadIn[] = {sense::kYamahaWritingLeadIn};
constexpr SSenseCode kYamahaClosing[] = {sense::kOperationInProgress, sense::kYamahaWriteInProgress};

// How long closing a session or fixating may take at a speed factor: lead-in
// and lead-out at that speed, with room to spare.
bigtime_t ClosingTimeout(float speedFactor)
{
	float factor = speedFactor >= 1.0f ? speedFactor : 1.0f;
	return 60 * 1000000LL + bigtime_t(600.0f / factor) * 1000000LL;
}

// Waits until the drive answers TEST UNIT READY while the sense table
// (ActionFor, with the dialect's `alsoWait` conditions) says to wait. True
// when ready; false with the last answer in *status when the drive reports
// anything else or `timeout` passes.
bool WaitWhileBusy(CDevice* device, bigtime_t timeout, SCSI_STATUS* status,
	std::span<const SSenseCode> alsoWait = kClosingConditions)
{
	bigtime_t deadline = system_time() + timeout;
	for (;;) {
		SCSI_STATUS tur;
		if (SendCommand(device, cdb::TestUnitReady(), kNoData, nullptr, 0, &tur))
			return true;
		if (ActionFor(tur, alsoWait) != sense_action::kWait || system_time() >= deadline) {
			if (status != nullptr)
				*status = tur;
			return false;
		}
		snooze(200000);
	}
}

template <typename Writer>
bool WriteSilence(int32 lba, int32 sectors, Writer write, SCSI_STATUS* status)
{
	while (sectors > 0) {
		int32 count = std::min(sectors, kSilenceSectors);
		if (!write(lba, kSilence, count, status))
			return false;
		lba += count;
		sectors -= count;
	}
	return true;
}

// Writes `sectors` sectors of `sectorSize` bytes from `buffer` in commands
// of at most `perCommand` sectors: send(lba, data, count, status) sends
// one. Stops at the first failure; the status record holds the last command
// with the time of them all.
template <typename Send>
bool WriteInCommands(const void* buffer, int32 lba, int32 sectors, int32 sectorSize, int32 perCommand,
	SCSI_STATUS* status, Send send)
{
	CCommandTimer timer;
	const auto* data = static_cast<const uint8*>(buffer);
	for (int32 done = 0; done < sectors;) {
		int32 count = std::min(sectors - done, perCommand);
		if (!send(lba + done, const_cast<uint8*>(data + size_t(done) * size_t(sectorSize)), count, status))
			return timer.Finish(status, false);
		done += count;
	}
	return timer.Finish(status, true);
}

bool ValidWrite(const void* buffer, int32 sectors, int32 sectorSize, int32 maxSectors)
{
	return buffer != nullptr && sectors >= 1 && sectors <= maxSectors && sectorSize >= 1
		&& int64(sectors) * sectorSize <= 0x7FFFFFFF;
}

// The Q control nibble of an audio track.
uint8 TrackControl(bool preEmphasis, bool copyAllowed)
{
	return uint8((preEmphasis ? cdb::kControlPreEmphasis : 0) | (copyAllowed ? cdb::kControlCopyPermitted : 0));
}

bool IsText(const char* text, size_t length)
{
	return text != nullptr && strlen(text) == length;
}

// Reads the write parameters page, lets `change` edit its fields and writes
// it back; the fields the record does not name keep the drive's values.
template <typename Change>
bool ChangeWriteParameters(CDevice* device, SCSI_STATUS* status, Change change)
{
	return ChangeModePage10(device, kModePageWriteParameters, kWriteParametersMinimumSize, status,
		[&](uint8* page, size_t size) {
			SWriteParameters parameters;
			DecodeWriteParametersPage(page, size, &parameters);
			parameters.linkSizeValid = false;
			parameters.multiSession = kMultiSessionNone;
			parameters.fixedPackets = false;
			parameters.copy = false;
			parameters.dataBlockType = kDataBlockRaw2352;
			parameters.sessionFormat = 0x00;   // CD-DA or CD-ROM
			change(&parameters);
			EncodeWriteParametersPage(parameters, page, size);
		});
}

// The next track of a disc by its table of contents: the one after the last
// recorded, 1 when the disc has none (READ TOC fails with ILLEGAL REQUEST
// or a medium error on a blank disc).
bool NextTrackFromToc(CDevice* device, int32* track, SCSI_STATUS* status)
{
	if (track == nullptr)
		return FailWith(status, B_BAD_VALUE);
	response::SToc toc;
	if (ReadTableOfContents(device, &toc, status)) {
		if (toc.lastTrack >= 99)
			return FailWith(status, B_DEVICE_FULL);
		*track = toc.lastTrack + 1;
		return true;
	}
	if (status != nullptr && status->os_status == B_OK && status->scsi_status == SCSI_STATUS_CHECK_CONDITION
		&& (status->sense.SenseKey == kSenseKeyIllegalRequest || status->sense.SenseKey == kSenseKeyMediumError)) {
		*track = 1;
		return true;
	}
	if (status == nullptr) {
		// Without a status record the reason is unknown: ask once more.
		SCSI_STATUS local;
		return NextTrackFromToc(device, track, &local);
	}
	return false;
}

// --- Teac CD-R50/55 -------------------------------------------------------------
// The preview page (test writing) and the write method page (disc at once);
// density 04h with 2352-byte blocks for audio.

enum : uint8 {
	kTeacPreview = 0x03,
	kTeacDiscAtOnce = 0x02,
};

bool TeacPrepare(CDevice* device, bool testWrite, bool discAtOnce, SCSI_STATUS* status)
{
	if (!SelectDensity6(device, kDensityTeacAudio, kSectorSize, status))
		return false;
	if (!ChangeModePage6(device, kModePageTeacPreview, 3, status, [testWrite](uint8* page, size_t) {
			page[2] = uint8((page[2] & ~kTeacPreview) | (testWrite ? kTeacPreview : 0x00));
		}))
		return false;
	if (discAtOnce
		&& !ChangeModePage6(device, kModePageTeacWriteMethod, 5, status, [](uint8* page, size_t) {
			   page[4] = kTeacDiscAtOnce;
		   }))
		return false;
	// Judge the disc, then calibrate the laser (not when only simulating).
	if (!SendCommand(device, cdb::TeacOpcExecution(true), kNoData, nullptr, 0, status, nullptr, kDefaultTimeout * 2))
		return false;
	if (!testWrite
		&& !SendCommand(device, cdb::TeacOpcExecution(false), kNoData, nullptr, 0, status, nullptr,
			kDefaultTimeout * 2))
		return false;
	return true;
}

// SET LIMITS and SET SUBCODE for one range of a track: the P-channel flag
// (set in pauses), control and ADR 1, track and index in BCD.
bool TeacSetRange(CDevice* device, int32 start, int32 length, uint8 control, int32 track, int32 index,
	SCSI_STATUS* status)
{
	if (length <= 0)
		return true;
	if (!SendCommand(device, cdb::TeacSetLimits(start, uint32(length)), kNoData, nullptr, 0, status))
		return false;
	uint8 subcode[4] = {uint8(index == 0 ? 1 : 0), uint8(control << 4 | cdb::kAdrPosition), ToBcd(uint32(track)),
		ToBcd(uint32(index))};
	return SendCommand(device, cdb::TeacSetSubcode(sizeof(subcode)), kDataOut, subcode, sizeof(subcode), status);
}

// SET SUBCODE with the TOC of the lead-in: a 3-byte header, then 5-byte
// entries (control/ADR, point, BCD MSF) for every track and the points A0h
// (first track, disc type 00h = CD-DA), A1h (last track) and A2h (lead-out).
bool TeacSetToc(CDevice* device, const std::vector<SWriteState::STrackMark>& tracks, int32 leadOut,
	SCSI_STATUS* status)
{
	if (tracks.empty())
		return FailWith(status, B_BAD_VALUE);
	std::vector<uint8> data(3, 0);
	auto entry = [&](uint8 control, uint8 point, uint8 a, uint8 b, uint8 c) {
		data.insert(data.end(), {uint8(control << 4 | cdb::kAdrPosition), point, a, b, c});
	};
	auto timeEntry = [&](uint8 control, uint8 point, int32 lba) {
		SCdMsf bcd = MsfToBcd(LbaToMsf(lba));
		entry(control, point, bcd.minute, bcd.second, bcd.frame);
	};
	for (const auto& track : tracks)
		timeEntry(track.control, ToBcd(uint32(track.track)), track.start);
	entry(tracks.front().control, 0xA0, ToBcd(uint32(tracks.front().track)), 0x00, 0x00);
	entry(tracks.back().control, 0xA1, ToBcd(uint32(tracks.back().track)), 0x00, 0x00);
	timeEntry(tracks.back().control, 0xA2, leadOut);
	return SendCommand(device, cdb::TeacSetSubcode(uint16(data.size())), kDataOut, data.data(), data.size(), status);
}

// --- Philips CDD 2000/2600 and Yamaha CDR100/102 ---------------------------------

enum : uint8 {
	kYamahaDiscAtOnce = 4,               // write format page, byte 3 bits 0-3
	kPhilipsSectorAudio = 4,
	kPhilipsSectorAudioPreEmphasis = 5,
};

bool PhilipsFirstWritableAddress(CDevice* device, uint8 sectorType, int32* lba, SCSI_STATUS* status)
{
	uint8 data[6] = {};
	size_t transferred = 0;
	if (!SendCommand(device, cdb::PhilipsFirstWritableAddress(0, sectorType, sizeof(data)), kDataIn, data,
			sizeof(data), status, &transferred))
		return false;
	if (transferred < 5) {
		if (status != nullptr)
			status->os_status = B_BAD_DATA;
		return false;
	}
	*lba = int32(GetBe32(data + 1));
	return true;
}

}   // namespace

// --- Writing ------------------------------------------------------------------

// Writes longer than the drive's transfer limit are split into several
// commands at consecutive addresses.
bool Write_10(CDevice* device, int32 lba, const void* buffer, int32 sectors, int32 sectorSize, SCSI_STATUS* status)
{
	if (!ValidWrite(buffer, sectors, sectorSize, 0xFFFF))
		return FailWith(status, B_BAD_VALUE);
	return WriteInCommands(buffer, lba, sectors, sectorSize, SectorsPerCommand(device, size_t(sectorSize), 0xFFFF),
		status, [&](int32 at, uint8* data, int32 count, SCSI_STATUS* s) {
			return SendCommand(device, cdb::Write10(at, uint16(count)), kDataOut, data,
				size_t(count) * size_t(sectorSize), s, nullptr, kWriteTimeout);
		});
}

bool Write_12(CDevice* device, int32 lba, const void* buffer, int32 sectors, int32 sectorSize, SCSI_STATUS* status)
{
	if (!ValidWrite(buffer, sectors, sectorSize, 0x7FFFFFFF))
		return FailWith(status, B_BAD_VALUE);
	return WriteInCommands(buffer, lba, sectors, sectorSize,
		SectorsPerCommand(device, size_t(sectorSize), 0x7FFFFFFF), status,
		[&](int32 at, uint8* data, int32 count, SCSI_STATUS* s) {
			return SendCommand(device, cdb::Write12(at, uint32(count)), kDataOut, data,
				size_t(count) * size_t(sectorSize), s, nullptr, kWriteTimeout);
		});
}

// WRITE(10) with the extended-write bit on every write but the one that
// reaches the end of the open track or session (as OpenTrack or
// OpenSession set it); without an open one the bit stays set.
bool Write_TeacCdr50(CDevice* device, int32 lba, const void* buffer, int32 sectors, int32 sectorSize,
	SCSI_STATUS* status)
{
	if (!ValidWrite(buffer, sectors, sectorSize, 0xFFFF))
		return FailWith(status, B_BAD_VALUE);
	SWriteState state = GetState(device);
	return WriteInCommands(buffer, lba, sectors, sectorSize, SectorsPerCommand(device, size_t(sectorSize), 0xFFFF),
		status, [&](int32 at, uint8* data, int32 count, SCSI_STATUS* s) {
			bool extended = !state.open || int64(at) + count < state.writeEnd;
			return SendCommand(device, cdb::TeacWrite10(at, uint16(count), extended), kDataOut, data,
				size_t(count) * size_t(sectorSize), s, nullptr, kWriteTimeout);
		});
}

// WRITE(6): the recorder writes at its own next address, so `lba` only
// counts; requests above 255 sectors or the drive's transfer limit are
// split.
bool Write_PhilipsCdd2000(CDevice* device, int32 lba, const void* buffer, int32 sectors, int32 sectorSize,
	SCSI_STATUS* status)
{
	if (!ValidWrite(buffer, sectors, sectorSize, 0x7FFFFFFF))
		return FailWith(status, B_BAD_VALUE);
	return WriteInCommands(buffer, lba, sectors, sectorSize, SectorsPerCommand(device, size_t(sectorSize), 255),
		status, [&](int32, uint8* data, int32 count, SCSI_STATUS* s) {
			return SendCommand(device, cdb::Write6(uint8(count)), kDataOut, data, size_t(count) * size_t(sectorSize),
				s, nullptr, kWriteTimeout);
		});
}

// WRITE(10); while the drive writes the lead-in with a full buffer it
// answers 9/B8h (write lead-in in progress), and the write is repeated.
bool Write_YamahaCdr100(CDevice* device, int32 lba, const void* buffer, int32 sectors, int32 sectorSize,
	SCSI_STATUS* status)
{
	if (!ValidWrite(buffer, sectors, sectorSize, 0xFFFF))
		return FailWith(status, B_BAD_VALUE);
	bigtime_t deadline = system_time() + kWriteTimeout;
	return WriteInCommands(buffer, lba, sectors, sectorSize, SectorsPerCommand(device, size_t(sectorSize), 0xFFFF),
		status, [&](int32 at, uint8* data, int32 count, SCSI_STATUS* status) {
			SCSI_STATUS local;
			SCSI_STATUS* s = status != nullptr ? status : &local;
			for (;;) {
				if (SendCommand(device, cdb::Write10(at, uint16(count)), kDataOut, data,
						size_t(count) * size_t(sectorSize), s, nullptr, kWriteTimeout))
					return true;
				if (ActionFor(*s, kYamahaWritingLeadIn) != sense_action::kWait || system_time() >= deadline)
					return false;
				snooze(40000);
			}
		});
}

// --- Disc at once ---------------------------------------------------------------

// Page 05h: session at once, test writing and buffer underrun protection as
// asked, raw 2352-byte audio blocks, CD-DA session; then SEND CUE SHEET.
bool OpenSession_mmc(CDevice* device, uint16 burnProof, uint16 testWrite, const void* cueSheet, int32 cueSheetBytes,
	int32* firstLba, SCSI_STATUS* status)
{
	response::SCueSheet sheet;
	if (firstLba == nullptr || cueSheetBytes < 0 || !response::ParseCueSheet(cueSheet, size_t(cueSheetBytes), &sheet))
		return FailWith(status, B_BAD_VALUE);
	CCommandTimer timer;
	ForgetState(device);   // a new run
	bool ok = ChangeWriteParameters(device, status, [&](SWriteParameters* p) {
		p->bufferUnderrunFree = burnProof != 0;
		p->testWrite = testWrite != 0;
		p->writeType = kWriteTypeSessionAtOnce;
		p->trackMode = 0;   // audio; the cue sheet gives each track's control
	});
	if (!ok)
		return timer.Finish(status, false);
	if (!SendCommand(device, cdb::SendCueSheet(uint32(cueSheetBytes)), kDataOut, const_cast<void*>(cueSheet),
			size_t(cueSheetBytes), status))
		return timer.Finish(status, false);
	*firstLba = sheet.firstLba;
	return timer.Finish(status, true);
}

// Disc at once as the CD-R50/55 do it: audio density, preview and write
// method pages, disc judging and calibration, then the sub-codes of every
// range of the cue sheet (SET LIMITS + SET SUBCODE) and the TOC.
bool OpenSession_TeacCdr50(CDevice* device, uint16 burnProof, uint16 testWrite, const void* cueSheet,
	int32 cueSheetBytes, int32* firstLba, SCSI_STATUS* status)
{
	response::SCueSheet sheet;
	if (firstLba == nullptr || cueSheetBytes < 0 || !response::ParseCueSheet(cueSheet, size_t(cueSheetBytes), &sheet))
		return FailWith(status, B_BAD_VALUE);
	CCommandTimer timer;
	ForgetState(device);   // a new run
	if (!TeacPrepare(device, testWrite != 0, true, status))
		return timer.Finish(status, false);
	if (!SendCommand(device, cdb::TeacClearSubcode(), kNoData, nullptr, 0, status))
		return timer.Finish(status, false);
	// Every track or index entry covers the sectors up to the next entry.
	for (int32 i = 1; i + 1 < sheet.count; i++) {
		const SCueSheetEntry& entry = sheet.entries[i];
		int32 end = sheet.entries[i + 1].lba;
		if (!TeacSetRange(device, entry.lba, end - entry.lba, entry.control, entry.track, entry.index, status))
			return timer.Finish(status, false);
	}
	SWriteState state;
	for (int32 n = sheet.firstTrack; n <= sheet.lastTrack; n++)
		state.tracks.push_back({n, sheet.start[n], sheet.control[n]});
	if (!TeacSetToc(device, state.tracks, sheet.leadOut, status))
		return timer.Finish(status, false);
	state.open = true;
	state.writeEnd = sheet.leadOut;
	PutState(device, state);
	*firstLba = sheet.firstLba;
	return timer.Finish(status, true);
}

// Disc at once as the CDD 2600 does it: 2352-byte blocks, test writing in
// page 23h, WRITE SESSION with one descriptor per track (its start and end;
// the index list is left empty), then the lead-in that the host writes as
// silence. CloseSession writes the lead-out.
bool OpenSession_PhilipsCdd2000(CDevice* device, uint16 burnProof, uint16 testWrite, const void* cueSheet,
	int32 cueSheetBytes, int32* firstLba, SCSI_STATUS* status)
{
	response::SCueSheet sheet;
	if (firstLba == nullptr || cueSheetBytes < 0 || !response::ParseCueSheet(cueSheet, size_t(cueSheetBytes), &sheet))
		return FailWith(status, B_BAD_VALUE);
	CCommandTimer timer;
	ForgetState(device);   // a new run
	if (!SelectDensity6(device, kDensityDefault, kSectorSize, status))
		return timer.Finish(status, false);
	if (!ChangeModePage6(device, kModePagePhilipsSpeed, 4, status, [testWrite](uint8* page, size_t) {
			page[3] = uint8((page[3] & ~0x01) | (testWrite ? 0x01 : 0x00));
		}))
		return timer.Finish(status, false);
	uint8 session[4] = {};
	size_t transferred = 0;
	if (!SendCommand(device, cdb::PhilipsReadSessionInfo(sizeof(session)), kDataIn, session, sizeof(session), status,
			&transferred)
		|| transferred < 4)
		return timer.Finish(status, false);
	int32 leadInLength = int32(GetBe16(session));
	int32 leadOutLength = int32(GetBe16(session + 2));

	std::vector<uint8> descriptors;
	for (int32 n = sheet.firstTrack; n <= sheet.lastTrack; n++) {
		uint8 d[20] = {};
		int32 end = n < sheet.lastTrack ? sheet.pregapStart[n + 1] : sheet.leadOut;
		d[1] = sizeof(d);
		d[2] = uint8(sheet.control[n] & (cdb::kControlCopyPermitted | cdb::kControlPreEmphasis));
		SetBe32(d + 12, uint32(sheet.start[n]));
		SetBe32(d + 16, uint32(end));
		descriptors.insert(descriptors.end(), d, d + sizeof(d));
	}
	if (!SendCommand(device, cdb::PhilipsWriteSession(0, uint16(descriptors.size())), kDataOut, descriptors.data(),
			descriptors.size(), status))
		return timer.Finish(status, false);
	if (!WriteSilence(sheet.firstLba - leadInLength, leadInLength,
			[device](int32 lba, const void* data, int32 count, SCSI_STATUS* s) {
				return Write_PhilipsCdd2000(device, lba, data, count, kSectorSize, s);
			},
			status))
		return timer.Finish(status, false);
	SWriteState state;
	state.open = true;
	state.writeEnd = sheet.leadOut;
	state.leadOutLength = leadOutLength;
	PutState(device, state);
	*firstLba = sheet.firstLba;
	return timer.Finish(status, true);
}

// Disc at once on the CDR100/102: test writing in page 31h, disc at once in
// page 32h, the cue sheet with BCD track, index and times through WRITE TOC,
// then WRITE TRACK to start.
bool OpenSession_YamahaCdr100(CDevice* device, uint16 burnProof, uint16 testWrite, const void* cueSheet,
	int32 cueSheetBytes, int32* firstLba, SCSI_STATUS* status)
{
	response::SCueSheet sheet;
	if (firstLba == nullptr || cueSheetBytes < 0 || !response::ParseCueSheet(cueSheet, size_t(cueSheetBytes), &sheet))
		return FailWith(status, B_BAD_VALUE);
	CCommandTimer timer;
	ForgetState(device);   // a new run
	if (!ChangeModePage6(device, kModePageYamahaConfiguration, 4, status, [testWrite](uint8* page, size_t) {
			page[3] = uint8((page[3] & 0xF0) | (testWrite ? 0x01 : 0x00));
		}))
		return timer.Finish(status, false);
	if (!ChangeModePage6(device, kModePageYamahaWriteFormat, 4, status, [](uint8* page, size_t) {
			page[2] &= 0xF0;
			page[3] = uint8((page[3] & 0xF0) | kYamahaDiscAtOnce);
		}))
		return timer.Finish(status, false);
	std::vector<uint8> bcd(size_t(sheet.count) * kCueSheetEntrySize);
	for (int32 i = 0; i < sheet.count; i++) {
		SCueSheetEntry entry = sheet.entries[i];
		entry.dataForm = 0x00;   // the drive's data type: audio
		entry.scms = 0x00;
		EncodeCueSheetEntry(entry, bcd.data() + size_t(i) * kCueSheetEntrySize, true);
	}
	if (!SendCommand(device, cdb::YamahaWriteToc(uint16(bcd.size())), kDataOut, bcd.data(), bcd.size(), status))
		return timer.Finish(status, false);
	if (!SendCommand(device, cdb::YamahaWriteTrack(0, 0), kNoData, nullptr, 0, status))
		return timer.Finish(status, false);
	*firstLba = sheet.firstLba;
	return timer.Finish(status, true);
}

// SYNCHRONIZE CACHE makes a session-at-once recorder write what it holds and
// the lead-out; then wait until the drive is ready again.
bool CloseSession_mmc(CDevice* device, float speedFactor, SCSI_STATUS* status)
{
	CCommandTimer timer;
	ForgetState(device);   // the run ends here, however it goes
	bigtime_t timeout = ClosingTimeout(speedFactor);
	if (!SendCommand(device, cdb::SynchronizeCache(false), kNoData, nullptr, 0, status, nullptr, timeout))
		return timer.Finish(status, false);
	return timer.Finish(status, WaitWhileBusy(device, timeout, status));
}

// The CD-R50/55 write the lead-out after the write without the extended-
// write bit; wait until the drive is ready again.
bool CloseSession_TeacCdr50(CDevice* device, float speedFactor, SCSI_STATUS* status)
{
	CCommandTimer timer;
	bool ok = WaitWhileBusy(device, ClosingTimeout(speedFactor), status);
	ForgetState(device);
	if (ok && status != nullptr)
		memset(status, 0, sizeof(*status));
	return timer.Finish(status, ok);
}

// The CDD 2600 takes the lead-out as silence from the host, then
// SYNCHRONIZE CACHE.
bool CloseSession_PhilipsCdd2000(CDevice* device, float speedFactor, SCSI_STATUS* status)
{
	CCommandTimer timer;
	SWriteState state = GetState(device);
	ForgetState(device);
	if (!WriteSilence(state.writeEnd, state.leadOutLength,
			[device](int32 lba, const void* data, int32 count, SCSI_STATUS* s) {
				return Write_PhilipsCdd2000(device, lba, data, count, kSectorSize, s);
			},
			status))
		return timer.Finish(status, false);
	bool ok = SendCommand(device, cdb::SynchronizeCache(false), kNoData, nullptr, 0, status, nullptr,
		ClosingTimeout(speedFactor));
	SCSI_STATUS ignored;
	SelectDensity6(device, kDensityDefault, kDataBlockSize, &ignored);
	return timer.Finish(status, ok);
}

// SYNCHRONIZE CACHE; the CDR100/102 then answer 0Bh/50h (write operation in
// progress) until the lead-out is written.
bool CloseSession_YamahaCdr100(CDevice* device, float speedFactor, SCSI_STATUS* status)
{
	CCommandTimer timer;
	ForgetState(device);   // the run ends here, however it goes
	bigtime_t timeout = ClosingTimeout(speedFactor);
	if (!SendCommand(device, cdb::SynchronizeCache(false), kNoData, nullptr, 0, status, nullptr, timeout))
		return timer.Finish(status, false);
	return timer.Finish(status, WaitWhileBusy(device, timeout, status, kYamahaClosing));
}

// --- Track at once ------------------------------------------------------------

// The track after the last one of the last session: the last track itself
// when it is still blank (the invisible track of a recordable disc).
bool GetNextTrackNumber_mmc(CDevice* device, int32* track, SCSI_STATUS* status)
{
	if (track == nullptr)
		return FailWith(status, B_BAD_VALUE);
	CCommandTimer timer;
	SCSI_DISC_INFORMATION information;
	if (!ReadDiscInformation(device, &information, status))
		return timer.Finish(status, false);
	if (information.DiscStatus == 2)
		return timer.Finish(status, FailWith(status, B_READ_ONLY_DEVICE));
	int32 last = information.LastTrackNumberInLastSession | int32(information.LastTrackNumberInLastSessionMsb) << 8;
	uint8 data[36] = {};
	size_t transferred = 0;
	response::STrackInformation trackInformation;
	if (!SendCommand(device, cdb::ReadTrackInformation(cdb::kTrackAddressTrack, uint32(last), sizeof(data)), kDataIn,
			data, sizeof(data), status, &transferred)
		|| !response::ParseTrackInformation(data, transferred, &trackInformation))
		return timer.Finish(status, false);
	int32 next = trackInformation.blank ? last : last + 1;
	if (next < 1 || next > 99)
		return timer.Finish(status, FailWith(status, B_DEVICE_FULL));
	*track = next;
	return timer.Finish(status, true);
}

bool GetNextTrackNumber_TeacCdr50(CDevice* device, int32* track, SCSI_STATUS* status)
{
	return NextTrackFromToc(device, track, status);
}

bool GetNextTrackNumber_PhilipsCdd2000(CDevice* device, int32* track, SCSI_STATUS* status)
{
	return NextTrackFromToc(device, track, status);
}

bool GetNextTrackNumber_YamahaCdr100(CDevice* device, int32* track, SCSI_STATUS* status)
{
	return NextTrackFromToc(device, track, status);
}

// Page 05h for track at once (track mode from pre-emphasis and copy, raw
// audio blocks, the catalogue number and ISRC when given), the next
// writable address of the track, then the track's pause as silence: the
// recorder writes the first track's 2-second pause before LBA 0 itself.
bool OpenTrack_mmc(CDevice* device, int32 track, uint16 burnProof, uint16 testWrite, int32 pauseSectors,
	int32 sectors, uint16 preEmphasis, uint16 copyAllowed, const char* mcn, const char* isrc, int32* startLba,
	SCSI_STATUS* status)
{
	if (startLba == nullptr || track < 1 || track > 99 || pauseSectors < 0 || sectors < 1)
		return FailWith(status, B_BAD_VALUE);
	CCommandTimer timer;
	if (track == 1)
		ForgetState(device);   // a new run
	int32 silence = std::max(0, pauseSectors - (track == 1 ? kRecorderPause : 0));
	bool ok = ChangeWriteParameters(device, status, [&](SWriteParameters* p) {
		p->bufferUnderrunFree = burnProof != 0;
		p->testWrite = testWrite != 0;
		p->writeType = kWriteTypeTrackAtOnce;
		p->trackMode = TrackControl(preEmphasis != 0, copyAllowed != 0);
		p->audioPauseLength = uint16(std::min(silence, 0xFFFF));
		p->catalogueValid = IsText(mcn, sizeof(p->catalogue) - 1);
		memset(p->catalogue, 0, sizeof(p->catalogue));
		if (p->catalogueValid)
			memcpy(p->catalogue, mcn, sizeof(p->catalogue) - 1);
		p->isrcValid = IsText(isrc, sizeof(p->isrc) - 1);
		memset(p->isrc, 0, sizeof(p->isrc));
		if (p->isrcValid)
			memcpy(p->isrc, isrc, sizeof(p->isrc) - 1);
	});
	if (!ok)
		return timer.Finish(status, false);
	uint8 data[36] = {};
	size_t transferred = 0;
	response::STrackInformation information;
	if (!SendCommand(device, cdb::ReadTrackInformation(cdb::kTrackAddressTrack, uint32(track), sizeof(data)), kDataIn,
			data, sizeof(data), status, &transferred)
		|| !response::ParseTrackInformation(data, transferred, &information))
		return timer.Finish(status, false);
	if (!information.nextWritableValid) {
		if (status != nullptr)
			status->os_status = B_BAD_DATA;
		return timer.Finish(status, false);
	}
	int32 lba = information.nextWritable;
	if (!WriteSilence(lba, silence,
			[device](int32 at, const void* buffer, int32 count, SCSI_STATUS* s) {
				return Write_10(device, at, buffer, count, kSectorSize, s);
			},
			status))
		return timer.Finish(status, false);
	*startLba = lba + silence;
	return timer.Finish(status, true);
}

// Track at once on the CD-R50/55: the host writes every sector of the
// session itself, from LBA -150 on a blank disc. The first track judges the
// disc and calibrates; every track sets the sub-codes of its pause (index 0)
// and of its data (index 1), and writes the pause as silence.
bool OpenTrack_TeacCdr50(CDevice* device, int32 track, uint16 burnProof, uint16 testWrite, int32 pauseSectors,
	int32 sectors, uint16 preEmphasis, uint16 copyAllowed, const char* mcn, const char* isrc, int32* startLba,
	SCSI_STATUS* status)
{
	if (startLba == nullptr || track < 1 || track > 99 || pauseSectors < 0 || sectors < 1)
		return FailWith(status, B_BAD_VALUE);
	CCommandTimer timer;
	SWriteState state = GetState(device);
	if (track == 1 || !state.open) {
		if (track != 1)
			return timer.Finish(status, FailWith(status, B_NOT_ALLOWED));
		state = SWriteState();
		state.next = -kCdMsfOffset;
		if (!TeacPrepare(device, testWrite != 0, false, status))
			return timer.Finish(status, false);
	} else if (!SelectDensity6(device, kDensityTeacAudio, kSectorSize, status)) {
		return timer.Finish(status, false);
	}
	uint8 control = TrackControl(preEmphasis != 0, copyAllowed != 0);
	int32 lba = state.next;
	if (!SendCommand(device, cdb::TeacClearSubcode(), kNoData, nullptr, 0, status)
		|| !TeacSetRange(device, lba, pauseSectors, control, track, 0, status))
		return timer.Finish(status, false);
	state.open = true;
	state.writeEnd = lba + pauseSectors + sectors;
	PutState(device, state);
	if (!WriteSilence(lba, pauseSectors,
			[device](int32 at, const void* buffer, int32 count, SCSI_STATUS* s) {
				return Write_TeacCdr50(device, at, buffer, count, kSectorSize, s);
			},
			status))
		return timer.Finish(status, false);
	lba += pauseSectors;
	// The drive takes at least 300 sectors of sub-code per track.
	if (!TeacSetRange(device, lba, std::max(sectors, 300), control, track, 1, status))
		return timer.Finish(status, false);
	state.next = lba + sectors;
	state.tracks.push_back({track, lba, control});
	PutState(device, state);
	*startLba = lba;
	return timer.Finish(status, true);
}

// Track at once on the CDD 2000 family: 2352-byte blocks, test writing in
// page 23h, the track's sector type in write track page 21h, WRITE TRACK of
// a new track, and its first writable address. The recorder writes a
// 2-second pause itself; a longer pause is written as silence.
bool OpenTrack_PhilipsCdd2000(CDevice* device, int32 track, uint16 burnProof, uint16 testWrite,
	int32 pauseSectors, int32 sectors, uint16 preEmphasis, uint16 copyAllowed, const char* mcn, const char* isrc,
	int32* startLba, SCSI_STATUS* status)
{
	if (startLba == nullptr || track < 1 || track > 99 || pauseSectors < 0 || sectors < 1)
		return FailWith(status, B_BAD_VALUE);
	CCommandTimer timer;
	if (track == 1)
		ForgetState(device);   // a new run
	uint8 sectorType = preEmphasis ? kPhilipsSectorAudioPreEmphasis : kPhilipsSectorAudio;
	if (!SelectDensity6(device, kDensityDefault, kSectorSize, status)
		|| !ChangeModePage6(device, kModePagePhilipsSpeed, 4, status,
			[testWrite](uint8* page, size_t) { page[3] = uint8((page[3] & ~0x01) | (testWrite ? 0x01 : 0x00)); }))
		return timer.Finish(status, false);
	uint8 trackPage[16] = {kModePagePhilipsWriteTrack, 0x0E};
	trackPage[3] = sectorType;
	trackPage[4] = 0;   // a new track
	if (!WriteModePage6(device, trackPage, sizeof(trackPage), status)
		|| !SendCommand(device, cdb::PhilipsWriteTrack(0, sectorType), kNoData, nullptr, 0, status))
		return timer.Finish(status, false);
	int32 lba = 0;
	if (!PhilipsFirstWritableAddress(device, sectorType, &lba, status))
		return timer.Finish(status, false);
	int32 silence = std::max(0, pauseSectors - kRecorderPause);
	if (!WriteSilence(lba, silence,
			[device](int32 at, const void* buffer, int32 count, SCSI_STATUS* s) {
				return Write_PhilipsCdd2000(device, at, buffer, count, kSectorSize, s);
			},
			status))
		return timer.Finish(status, false);
	*startLba = lba + silence;
	return timer.Finish(status, true);
}

// Track at once on the CDR100/102: 2352-byte blocks, test writing in page
// 31h, WRITE TRACK with the audio and copy bits (the drive takes no
// pre-emphasis flag here), and the first writable address as the Philips
// recorders give it. A pause longer than 2 seconds is written as silence.
bool OpenTrack_YamahaCdr100(CDevice* device, int32 track, uint16 burnProof, uint16 testWrite, int32 pauseSectors,
	int32 sectors, uint16 preEmphasis, uint16 copyAllowed, const char* mcn, const char* isrc, int32* startLba,
	SCSI_STATUS* status)
{
	if (startLba == nullptr || track < 1 || track > 99 || pauseSectors < 0 || sectors < 1)
		return FailWith(status, B_BAD_VALUE);
	CCommandTimer timer;
	if (track == 1)
		ForgetState(device);   // a new run
	if (!SelectDensity6(device, kDensityDefault, kSectorSize, status)
		|| !ChangeModePage6(device, kModePageYamahaConfiguration, 4, status,
			[testWrite](uint8* page, size_t) { page[3] = uint8((page[3] & 0xF0) | (testWrite ? 0x01 : 0x00)); }))
		return timer.Finish(status, false);
	uint8 flags = uint8(0x04 | (copyAllowed ? 0x08 : 0x00));
	if (!SendCommand(device, cdb::YamahaWriteTrack(0, flags), kNoData, nullptr, 0, status))
		return timer.Finish(status, false);
	int32 lba = 0;
	if (!PhilipsFirstWritableAddress(device, kPhilipsSectorAudio, &lba, status))
		return timer.Finish(status, false);
	int32 silence = std::max(0, pauseSectors - kRecorderPause);
	if (!WriteSilence(lba, silence,
			[device](int32 at, const void* buffer, int32 count, SCSI_STATUS* s) {
				return Write_YamahaCdr100(device, at, buffer, count, kSectorSize, s);
			},
			status))
		return timer.Finish(status, false);
	*startLba = lba + silence;
	return timer.Finish(status, true);
}

bool CloseTrack_mmc(CDevice* device, int32 track, SCSI_STATUS* status)
{
	CCommandTimer timer;
	if (!SendCommand(device, cdb::SynchronizeCache(false), kNoData, nullptr, 0, status, nullptr, kWriteTimeout))
		return timer.Finish(status, false);
	return timer.Finish(status, WaitWhileBusy(device, kWriteTimeout, status));
}

// WRITE PMA records the track in the program memory area.
bool CloseTrack_TeacCdr50(CDevice* device, int32 track, SCSI_STATUS* status)
{
	return SendCommand(device, cdb::TeacWritePma(), kNoData, nullptr, 0, status, nullptr, kWriteTimeout);
}

bool CloseTrack_PhilipsCdd2000(CDevice* device, int32 track, SCSI_STATUS* status)
{
	return SendCommand(device, cdb::SynchronizeCache(false), kNoData, nullptr, 0, status, nullptr, kWriteTimeout);
}

bool CloseTrack_YamahaCdr100(CDevice* device, int32 track, SCSI_STATUS* status)
{
	return SendCommand(device, cdb::SynchronizeCache(false), kNoData, nullptr, 0, status, nullptr, kWriteTimeout);
}

// CLOSE TRACK/SESSION closing the session (lead-in and lead-out), then wait
// until the drive is ready again.
bool FixateDisc_mmc(CDevice* device, float speedFactor, SCSI_STATUS* status)
{
	CCommandTimer timer;
	ForgetState(device);   // the run ends here, however it goes
	bigtime_t timeout = ClosingTimeout(speedFactor);
	if (!SendCommand(device, cdb::CloseTrackSession(false, cdb::kCloseSession, 0), kNoData, nullptr, 0, status,
			nullptr, timeout))
		return timer.Finish(status, false);
	return timer.Finish(status, WaitWhileBusy(device, timeout, status));
}

// The TOC of the tracks opened in this session into the lead-in
// (SET SUBCODE), then FREEZE.
bool FixateDisc_TeacCdr50(CDevice* device, float speedFactor, SCSI_STATUS* status)
{
	CCommandTimer timer;
	SWriteState state = GetState(device);
	ForgetState(device);
	if (!state.open || state.tracks.empty())
		return timer.Finish(status, FailWith(status, B_NOT_ALLOWED));
	bigtime_t timeout = ClosingTimeout(speedFactor);
	bool ok = SendCommand(device, cdb::TeacClearSubcode(), kNoData, nullptr, 0, status)
		&& TeacSetToc(device, state.tracks, state.next, status)
		&& SendCommand(device, cdb::TeacFreeze(true), kNoData, nullptr, 0, status, nullptr, timeout)
		&& WaitWhileBusy(device, timeout, status);
	return timer.Finish(status, ok);
}

bool FixateDisc_PhilipsCdd2000(CDevice* device, float speedFactor, SCSI_STATUS* status)
{
	CCommandTimer timer;
	ForgetState(device);   // the run ends here, however it goes
	bigtime_t timeout = std::max(ClosingTimeout(speedFactor), kFixationTimeout);
	bool ok = SendCommand(device, cdb::PhilipsFixation(false, 0), kNoData, nullptr, 0, status, nullptr, timeout);
	SCSI_STATUS ignored;
	SelectDensity6(device, kDensityDefault, kDataBlockSize, &ignored);
	return timer.Finish(status, ok);
}

bool FixateDisc_YamahaCdr100(CDevice* device, float speedFactor, SCSI_STATUS* status)
{
	CCommandTimer timer;
	ForgetState(device);   // the run ends here, however it goes
	bigtime_t timeout = std::max(ClosingTimeout(speedFactor), kFixationTimeout);
	bool ok = SendCommand(device, cdb::PhilipsFixation(false, 0), kNoData, nullptr, 0, status, nullptr, timeout);
	return timer.Finish(status, ok);
}

// --- Buffer and calibration ------------------------------------------------------

bool ReadBufferCapacity(CDevice* device, int32* totalBytes, int32* freeBytes, SCSI_STATUS* status)
{
	if (totalBytes == nullptr || freeBytes == nullptr)
		return FailWith(status, B_BAD_VALUE);
	uint8 data[12] = {};
	size_t transferred = 0;
	if (!SendCommand(device, cdb::ReadBufferCapacity(sizeof(data)), kDataIn, data, sizeof(data), status,
			&transferred))
		return false;
	if (!response::ParseBufferCapacity(data, transferred, totalBytes, freeBytes)) {
		if (status != nullptr)
			status->os_status = B_BAD_DATA;
		return false;
	}
	return true;
}

// Fails: the drive cannot tell its buffer level (the recorder bar stays
// unknown).
bool ReadBufferCapacity_Dummy(CDevice* device, int32* totalBytes, int32* freeBytes, SCSI_STATUS* status)
{
	return FailWith(status, B_NOT_SUPPORTED);
}

// The CDR100's command for its buffer level is not publicly documented: this
// sends the MMC equivalent, READ BUFFER CAPACITY.
bool ReadBufferCapacity_YamahaCdr100(CDevice* device, int32* totalBytes, int32* freeBytes, SCSI_STATUS* status)
{
	return ReadBufferCapacity(device, totalBytes, freeBytes, status);
}

// As for the CDR100: the MMC equivalent, READ BUFFER CAPACITY.
bool ReadBufferCapacity_YamahaCdr102(CDevice* device, int32* totalBytes, int32* freeBytes, SCSI_STATUS* status)
{
	return ReadBufferCapacity(device, totalBytes, freeBytes, status);
}

// SEND OPC INFORMATION with DoOpc: the drive calibrates its laser now.
bool OptimumPowerCalibration(CDevice* device, SCSI_STATUS* status)
{
	return SendCommand(device, cdb::SendOpcInformation(true), kNoData, nullptr, 0, status, nullptr,
		kDefaultTimeout * 2);
}

bool OptimumPowerCalibration_Dummy(CDevice* device, SCSI_STATUS* status)
{
	return SucceedWithoutCommand(status);
}
