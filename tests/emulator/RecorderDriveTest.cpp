// The virtual recorder through its command blocks: session-at-once and
// track-at-once runs that leave a disc the drive and cd-info read back,
// test writes, CD-R and CD-RW media, the buffer on a fake clock and the
// faults of the write side.
#include "emulator/MmcDrive.h"
#include "kit/device/CdAddress.h"
#include "kit/device/CdText.h"
#include "kit/device/ScsiCommands.h"
#include "kit/device/ScsiParameters.h"
#include "tests/emulator/EmulatorTestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

using namespace emutest;

namespace {

constexpr size_t kSector = kCdAudioSectorSize;

// The three-track disc of the recording tests: a 200-sector first pause
// (track 1 starts at LBA 50), none before track 2 (a zero-length index 0),
// 75 sectors before track 3; lead-out at 1000.
std::vector<uint8> ThreeTrackCueSheet()
{
	struct SPoint {
		uint8 track, index;
		int32 lba;
	};
	const SPoint points[] = {{0, 0, -150}, {1, 0, -150}, {1, 1, 50}, {2, 0, 400}, {2, 1, 400}, {3, 0, 700},
		{3, 1, 775}, {cdb::kLeadOutTrack, 1, 1000}};
	std::vector<uint8> sheet;
	for (const SPoint& p : points) {
		SCueSheetEntry entry;
		entry.track = p.track;
		entry.index = p.index;
		entry.lba = p.lba;
		entry.dataForm = p.track == 0 || p.track == cdb::kLeadOutTrack ? 0x01 : 0x00;
		sheet.resize(sheet.size() + kCueSheetEntrySize);
		EncodeCueSheetEntry(entry, sheet.data() + sheet.size() - kCueSheetEntrySize);
	}
	return sheet;
}

std::vector<std::string> FilesIn(const std::string& folder)
{
	std::vector<std::string> names;
	std::error_code ignored;
	for (const auto& entry : std::filesystem::directory_iterator(folder, ignored))
		names.push_back(entry.path().filename().string());
	std::sort(names.begin(), names.end());
	return names;
}

// A recorder in a temporary folder and the commands of a run.
class CRecorderRun {
public:
	explicit CRecorderRun(CDriveConfig config = TestConfig(), std::shared_ptr<CDriveClock> clock = nullptr)
	{
		config.output = fFolder.File("out");
		auto kind = config.medium == CDriveConfig::kMediumBlankCdRw ? CDiscImage::kBlankCdRw : CDiscImage::kBlankCdR;
		drive = std::make_unique<CMmcDrive>(config, CDiscImage::CreateBlank(kind, 80), std::move(clock));
	}

	// Page 05h with the write type, test writing, BUFE and pause.
	SOutcome SetPage(uint8 writeType, bool test = false, bool bufe = false, uint16 pause = 150)
	{
		std::vector<uint8> sense;
		SOutcome o = ModeSense(*drive, kModePageWriteParameters, 0, &sense);
		if (!o.Good() || sense.size() < 8 + kWriteParametersPageSize)
			return o;
		std::vector<uint8> list(sense.begin(), sense.begin() + 8 + kWriteParametersPageSize);
		std::fill(list.begin(), list.begin() + 8, 0);
		SWriteParameters p;
		DecodeWriteParametersPage(list.data() + 8, kWriteParametersPageSize, &p);
		p.writeType = writeType;
		p.testWrite = test;
		p.bufferUnderrunFree = bufe;
		p.audioPauseLength = pause;
		p.dataBlockType = kDataBlockRaw2352;
		p.trackMode = 0;
		EncodeWriteParametersPage(p, list.data() + 8, kWriteParametersPageSize);
		return ModeSelect(*drive, list);
	}

	SOutcome SendCueSheet(std::vector<uint8> sheet)
	{
		uint32 n = uint32(sheet.size());
		return Send(*drive, {0x5D, 0, 0, 0, 0, 0, B2(n), Hi(n), Lo(n), 0}, sheet.data(), sheet.size(), true);
	}

	SOutcome Write(int32 lba, int32 count, const uint8* data)
	{
		uint32 a = uint32(lba);
		return Send(*drive, {0x2A, 0, B3(a), B2(a), Hi(a), Lo(a), 0, Hi(uint32(count)), Lo(uint32(count)), 0},
			const_cast<uint8*>(data), size_t(count) * kSector, true);
	}

	// Writes sectors [from, to) of `audio` (whose first sector is `first`) in
	// 27-sector commands, trying again while the drive answers LONG WRITE IN
	// PROGRESS, as the recording engine does. The first failure's outcome,
	// or the last good one.
	SOutcome WriteAll(const std::vector<uint8>& audio, int32 first, int32 from, int32 to)
	{
		SOutcome o;
		for (int32 lba = from; lba < to;) {
			int32 count = std::min(27, to - lba);
			o = Write(lba, count, audio.data() + size_t(lba - first) * kSector);
			if (!o.Good() && o.Key() == 0x2 && o.Asc() == 0x04 && o.Ascq() == 0x08 && ++longWrites < 100000)
				continue;
			if (!o.Good())
				return o;
			lba += count;
		}
		return o;
	}

	SOutcome Synchronize(bool immediate = false)
	{
		return Send(*drive, {0x35, uint8(immediate ? 0x02 : 0x00), 0, 0, 0, 0, 0, 0, 0, 0});
	}

	SOutcome Close(uint8 function, uint16 track = 0)
	{
		return Send(*drive, {0x5B, 0, function, 0, Hi(track), Lo(track), 0, 0, 0, 0});
	}

	SOutcome TrackInformation(uint32 track, std::vector<uint8>* out)
	{
		out->assign(36, 0);
		return Send(*drive, {0x52, 0x01, B3(track), B2(track), Hi(track), Lo(track), 0, 0, 36, 0}, out->data(), 36);
	}

	uint8 DiscStatus()
	{
		uint8 info[34] = {};
		Send(*drive, {0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, info, sizeof(info));
		return info[2] & 0x03;
	}

	// Free and total bytes of READ BUFFER CAPACITY.
	std::pair<uint32, uint32> Buffer()
	{
		uint8 data[12] = {};
		Send(*drive, {0x5C, 0, 0, 0, 0, 0, 0, 0, 12, 0}, data, sizeof(data));
		return {Be32(data + 8), Be32(data + 4)};
	}

	std::string Folder() const { return fFolder.File("out"); }

	CTempFolder fFolder;
	std::unique_ptr<CMmcDrive> drive;
	int longWrites = 0;
};

bool Is(const SOutcome& o, uint8 key, uint8 asc, uint8 ascq)
{
	return o.status == B_OK && o.scsiStatus == SCSI_STATUS_CHECK_CONDITION && o.Key() == key && o.Asc() == asc
		&& o.Ascq() == ascq;
}

}   // namespace

TEST(RecorderDrive, SessionAtOnceLeavesTheDiscItWasSentAndWritesItOnce)
{
	CRecorderRun run;
	std::vector<uint8> audio = PatternAudio(1150, 3);   // LBA -150..999
	ASSERT_TRUE(run.SetPage(kWriteTypeSessionAtOnce).Good());
	EXPECT_TRUE(Is(run.Write(-150, 27, audio.data()), 0x5, 0x2C, 0x00)) << "a write before the cue sheet";
	ASSERT_TRUE(run.SendCueSheet(ThreeTrackCueSheet()).Good());
	EXPECT_TRUE(Is(run.Write(0, 27, audio.data()), 0x5, 0x21, 0x02)) << "not at the next writable address";
	ASSERT_TRUE(run.WriteAll(audio, -150, -150, 980).Good());
	EXPECT_GT(run.longWrites, 0) << "the lead-in holds the buffer full";
	EXPECT_EQ(run.DiscStatus(), 1) << "incomplete while writing";
	EXPECT_TRUE(Is(run.Write(980, 27, audio.data()), 0x5, 0x21, 0x00)) << "beyond the lead-out";
	ASSERT_TRUE(run.WriteAll(audio, -150, 980, 1000).Good());
	EXPECT_TRUE(FilesIn(run.Folder()) == std::vector<std::string> {"recording-001.partial.bin"});
	ASSERT_TRUE(run.Synchronize().Good());

	// The written disc is in the drive: complete, with its TOC, read back exactly.
	EXPECT_EQ(run.DiscStatus(), 2);
	std::vector<uint8> toc;
	ASSERT_TRUE(ReadToc(*run.drive, 0, false, 0, &toc).Good());
	ASSERT_EQ(toc.size(), 4u + 4 * 8);
	EXPECT_EQ(Be32(&toc[4 + 4]), 50u);
	EXPECT_EQ(Be32(&toc[12 + 4]), 400u);
	EXPECT_EQ(Be32(&toc[20 + 4]), 775u);
	EXPECT_EQ(Be32(&toc[28 + 4]), 1000u);
	std::vector<uint8> back(1000 * kSector);
	for (int32 lba = 0; lba < 1000; lba += 20)
		ASSERT_TRUE(ReadCd(*run.drive, lba, 20, back.data() + size_t(lba) * kSector, 20 * kSector).Good());
	EXPECT_TRUE(std::equal(back.begin(), back.end(), audio.begin() + 150 * kSector));
	EXPECT_TRUE(FilesIn(run.Folder()) == (std::vector<std::string> {"recording-001.bin", "recording-001.cue"}));

	// A CD-R is written once; eject and load keep the written disc.
	EXPECT_TRUE(Is(run.SendCueSheet(ThreeTrackCueSheet()), 0x7, 0x27, 0x05));
	EXPECT_TRUE(Is(run.Write(-150, 27, audio.data()), 0x7, 0x27, 0x05));
	ASSERT_TRUE(Send(*run.drive, {0x1B, 0, 0, 0, 0x02, 0}).Good());
	Send(*run.drive, {0x1B, 0, 0, 0, 0x03, 0});
	TestUnitReady(*run.drive);   // the unit attention of the load
	EXPECT_EQ(run.DiscStatus(), 2);
}

TEST(RecorderDrive, TestWriteLeavesTheMediumBlankAndStoresNothing)
{
	CRecorderRun run;
	std::vector<uint8> audio = PatternAudio(1150, 4);
	ASSERT_TRUE(run.SetPage(kWriteTypeSessionAtOnce, true).Good());
	ASSERT_TRUE(run.SendCueSheet(ThreeTrackCueSheet()).Good());
	ASSERT_TRUE(run.WriteAll(audio, -150, -150, 1000).Good());
	EXPECT_GT(run.longWrites, 0) << "the same answers as a real write";
	ASSERT_TRUE(run.Synchronize().Good());
	EXPECT_EQ(run.DiscStatus(), 0);
	EXPECT_TRUE(run.drive->Medium()->IsBlank());
	EXPECT_TRUE(FilesIn(run.Folder()).empty());
	// The blank takes a real run afterwards.
	ASSERT_TRUE(run.SetPage(kWriteTypeSessionAtOnce).Good());
	EXPECT_TRUE(run.SendCueSheet(ThreeTrackCueSheet()).Good());
}

TEST(RecorderDrive, TrackAtOnceWritesThePausesAndBlankEmptiesTheCdRw)
{
	CDriveConfig config = TestConfig();
	config.medium = CDriveConfig::kMediumBlankCdRw;
	config.blankAfterEject = true;
	CRecorderRun run(config);
	std::vector<uint8> audio = PatternAudio(1000, 5);   // LBA 0..999 as the disc will hold them
	const struct {
		uint16 pause;
		int32 start, end;
	} tracks[] = {{200, 50, 400}, {0, 400, 700}, {75, 775, 1000}};
	for (int n = 1; n <= 3; n++) {
		const auto& t = tracks[n - 1];
		ASSERT_TRUE(run.SetPage(kWriteTypeTrackAtOnce, false, false, t.pause).Good());
		std::vector<uint8> info;
		ASSERT_TRUE(run.TrackInformation(uint32(n), &info).Good()) << n;
		ASSERT_TRUE((info[7] & 0x01) != 0) << "next writable address valid";
		EXPECT_TRUE((info[6] & 0x40) != 0) << "the invisible track is blank";
		ASSERT_EQ(int32(Be32(&info[12])), t.start) << "the pause is the drive's";
		ASSERT_TRUE(run.WriteAll(audio, 0, t.start, t.end).Good());
		ASSERT_TRUE(run.Synchronize().Good());
		EXPECT_TRUE(run.Close(cdb::kCloseTrack, uint16(n)).Good()) << "CLOSE TRACK after the flush";
		EXPECT_EQ(run.DiscStatus(), 1);
	}
	EXPECT_EQ(run.longWrites, 0) << "track at once writes no lead-in first";
	ASSERT_TRUE(run.Close(cdb::kCloseSession).Good());
	EXPECT_EQ(run.DiscStatus(), 2);
	const CDiscImage& disc = *run.drive->Medium();
	ASSERT_EQ(disc.Tracks().size(), 3u);
	EXPECT_EQ(disc.Tracks()[0].start, 50);
	EXPECT_EQ(disc.Tracks()[1].pregapStart, 400);
	EXPECT_EQ(disc.Tracks()[2].pregapStart, 700);
	EXPECT_EQ(disc.Tracks()[2].start, 775);
	std::vector<uint8> back(1000 * kSector);
	ASSERT_EQ(disc.ReadSectors(0, 1000, back.data(), kSector), B_OK);
	for (const auto& t : tracks)
		EXPECT_TRUE(std::equal(back.begin() + t.start * kSector, back.begin() + t.end * kSector,
			audio.begin() + t.start * kSector)) << t.start;
	EXPECT_TRUE(std::all_of(back.begin() + 700 * kSector, back.begin() + 775 * kSector, [](uint8 b) { return b == 0; }))
		<< "the drive's pause is silence";

	// BLANK makes the written CD-RW writable again.
	ASSERT_TRUE(Send(*run.drive, {0xA1, cdb::kBlankMinimal, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}).Good());
	EXPECT_EQ(run.DiscStatus(), 0);
	ASSERT_TRUE(run.SetPage(kWriteTypeTrackAtOnce).Good());
	ASSERT_TRUE(run.WriteAll(audio, 0, 0, 300).Good());
	ASSERT_TRUE(run.Close(cdb::kCloseSession).Good());
	EXPECT_EQ(FilesIn(run.Folder()).size(), 4u) << "two images";
	// A description key brings a fresh blank after the written disc is ejected.
	ASSERT_TRUE(Send(*run.drive, {0x1B, 0, 0, 0, 0x02, 0}).Good());
	ASSERT_TRUE(Send(*run.drive, {0x1B, 0, 0, 0, 0x03, 0}).Good());
	TestUnitReady(*run.drive);
	EXPECT_EQ(run.DiscStatus(), 0);

	// A CD-R cannot be blanked.
	CRecorderRun cdr;
	EXPECT_TRUE(Is(Send(*cdr.drive, {0xA1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), 0x5, 0x30, 0x06));
}

// The buffer on a fake clock at 8X: it fills during the lead-in until the
// drive answers LONG WRITE IN PROGRESS, drains at 600 sectors a second, and
// an underrun without BUFE ends the run.
TEST(RecorderDrive, BufferRisesAndFallsOnTheDriveClockAndUnderrunsFail)
{
	auto clock = std::make_shared<CManualDriveClock>();
	CDriveConfig config = TestConfig();
	config.realTime = true;
	config.capabilities.bufferKb = 512;   // 222 sectors
	CRecorderRun run(config, clock);
	ASSERT_TRUE(SetCdSpeed(*run.drive, 0xFFFF, CDriveConfig::SpeedKbs(8)).Good());
	std::vector<uint8> audio = PatternAudio(1150, 6);
	ASSERT_TRUE(run.SetPage(kWriteTypeSessionAtOnce).Good());
	ASSERT_TRUE(run.SendCueSheet(ThreeTrackCueSheet()).Good());
	EXPECT_EQ(run.Buffer(), std::make_pair(512u * 1024, 512u * 1024));
	int32 lba = -150;
	SOutcome o;
	while ((o = run.Write(lba, 27, audio.data() + size_t(lba + 150) * kSector)).Good())
		lba += 27;
	EXPECT_TRUE(Is(o, 0x2, 0x04, 0x08)) << o.SenseText();
	EXPECT_EQ(lba, -150 + 8 * 27) << "eight writes fill 222 sectors";
	EXPECT_LT(run.Buffer().first, 27 * kSector);
	bigtime_t before = clock->Now();
	TestUnitReady(*run.drive);
	EXPECT_EQ(clock->Now(), before) << "nothing waits during the lead-in";

	// The lead-in ends: writing drains the buffer at 600 sectors a second.
	int32 leadIn = -kCdMsfOffset - run.drive->Medium()->LeadInStart();
	clock->Advance((int64(leadIn) * 1000000 + 599) / 600);
	uint32 full = run.Buffer().first;
	clock->Advance(100000);   // 60 sectors
	EXPECT_EQ(run.Buffer().first - full, 60 * kSector);
	bigtime_t t0 = clock->Now();
	ASSERT_TRUE(run.Write(lba, 27, audio.data() + size_t(lba + 150) * kSector).Good());
	lba += 27;
	EXPECT_EQ(clock->Now(), t0) << "free space: no wait";
	ASSERT_TRUE(run.WriteAll(audio, -150, lba, lba + 270).Good());
	EXPECT_GT(clock->Now(), t0) << "a full buffer makes writes wait";
	EXPECT_LT(run.Buffer().first, 27 * kSector);
	lba += 270;

	clock->Advance(2000000);   // the host stalls: the buffer runs empty
	EXPECT_TRUE(Is(run.Write(lba, 27, audio.data() + size_t(lba + 150) * kSector), 0x3, 0x0C, 0x09));
	EXPECT_TRUE(Is(run.Write(lba, 27, audio.data() + size_t(lba + 150) * kSector), 0x5, 0x21, 0x02));
	EXPECT_EQ(run.DiscStatus(), 1) << "an unusable disc";
	EXPECT_TRUE(run.Synchronize().Good());
	EXPECT_TRUE(FilesIn(run.Folder()) == std::vector<std::string> {"recording-001.partial.bin"});
}

TEST(RecorderDrive, BufferUnderrunFreeWritingPausesAndLinksOn)
{
	auto clock = std::make_shared<CManualDriveClock>();
	CDriveConfig config = TestConfig();
	config.realTime = true;
	config.capabilities.bufferUnderrunFree = true;
	CRecorderRun run(config, clock);
	std::vector<uint8> audio = PatternAudio(1000, 7);
	ASSERT_TRUE(run.SetPage(kWriteTypeTrackAtOnce, false, true, 150).Good());
	ASSERT_TRUE(run.WriteAll(audio, 0, 0, 270).Good());
	clock->Advance(10000000);
	ASSERT_TRUE(run.WriteAll(audio, 0, 270, 540).Good());
	clock->Advance(10000000);
	ASSERT_TRUE(run.WriteAll(audio, 0, 540, 1000).Good());
	EXPECT_EQ(run.drive->BufferUnderruns(), 2);
	ASSERT_TRUE(run.Synchronize().Good());
	ASSERT_TRUE(run.Close(cdb::kCloseSession, 0).Good());
	std::vector<uint8> back(1000 * kSector);
	ASSERT_EQ(run.drive->Medium()->ReadSectors(0, 1000, back.data(), kSector), B_OK);
	EXPECT_TRUE(back == audio);
}

// Every fault of the write side answers its sense and leaves no CUE.
TEST(RecorderDrive, WriteFaultsEndWithTheirSenseAndNoCompleteImage)
{
	std::vector<uint8> audio = PatternAudio(1150, 8);
	{
		CRecorderRun run;
		CWriteFaults faults;
		faults.AddWriteError(300, 1);
		run.drive->SetWriteFaults(faults);
		ASSERT_TRUE(run.SetPage(kWriteTypeSessionAtOnce).Good());
		ASSERT_TRUE(run.SendCueSheet(ThreeTrackCueSheet()).Good());
		SOutcome o = run.WriteAll(audio, -150, -150, 1000);
		EXPECT_TRUE(Is(o, 0x3, 0x0C, 0x00)) << o.SenseText();
		EXPECT_EQ(Be32(o.sense + 3), 300u) << "the sense names the LBA";
		EXPECT_TRUE(FilesIn(run.Folder()) == std::vector<std::string> {"recording-001.partial.bin"});
		EXPECT_FALSE(run.Close(cdb::kCloseSession).Good());
		EXPECT_FALSE(run.SendCueSheet(ThreeTrackCueSheet()).Good()) << "the disc is lost";
	}
	{
		CRecorderRun run;
		CWriteFaults faults;
		faults.ForceUnderrunAt(500);
		faults.SetLongWrite(3);
		run.drive->SetWriteFaults(faults);
		ASSERT_TRUE(run.SetPage(kWriteTypeTrackAtOnce).Good());
		for (int i = 0; i < 3; i++)
			EXPECT_TRUE(Is(run.Write(0, 27, audio.data()), 0x2, 0x04, 0x08));
		SOutcome o = run.WriteAll(audio, 0, 0, 1000);
		EXPECT_TRUE(Is(o, 0x3, 0x0C, 0x09)) << o.SenseText();
		EXPECT_TRUE(FilesIn(run.Folder()) == std::vector<std::string> {"recording-001.partial.bin"});
	}
	{
		CRecorderRun run;
		CWriteFaults faults;
		faults.SetOpcFailure(1);
		faults.SetPcaFull(1);
		run.drive->SetWriteFaults(faults);
		EXPECT_TRUE(Is(Send(*run.drive, {0x54, 0x01, 0, 0, 0, 0, 0, 0, 0, 0}), 0x3, 0x73, 0x02));
		ASSERT_TRUE(run.SetPage(kWriteTypeTrackAtOnce).Good());
		EXPECT_TRUE(Is(run.Write(0, 27, audio.data()), 0x3, 0x73, 0x03)) << "calibration before the first sector";
		EXPECT_TRUE(run.Write(0, 27, audio.data()).Good());
	}
	{
		CRecorderRun run;
		CWriteFaults faults;
		faults.SetDiscSectors(999);
		run.drive->SetWriteFaults(faults);
		ASSERT_TRUE(run.SetPage(kWriteTypeSessionAtOnce).Good());
		EXPECT_TRUE(Is(run.SendCueSheet(ThreeTrackCueSheet()), 0x5, 0x26, 0x00)) << "the disc is too short";
	}
	if (geteuid() != 0) {
		CRecorderRun run;
		std::filesystem::create_directories(run.Folder());
		chmod(run.Folder().c_str(), 0500);
		ASSERT_TRUE(run.SetPage(kWriteTypeTrackAtOnce).Good());
		EXPECT_TRUE(Is(run.Write(0, 27, audio.data()), 0x3, 0x0C, 0x00)) << "an unwritable folder";
		chmod(run.Folder().c_str(), 0700);
		EXPECT_TRUE(FilesIn(run.Folder()).empty());
	}
	{
		// Interrupted: the tray opens in the middle of a run.
		CRecorderRun run;
		ASSERT_TRUE(run.SetPage(kWriteTypeTrackAtOnce).Good());
		ASSERT_TRUE(run.WriteAll(audio, 0, 0, 100).Good());
		ASSERT_EQ(run.drive->EjectMedium(), B_OK);
		EXPECT_TRUE(FilesIn(run.Folder()) == std::vector<std::string> {"recording-001.partial.bin"});
	}
}

TEST(RecorderDrive, CdTextLeadInIsCheckedAndStoredBesideTheImage)
{
	CRecorderRun run;
	std::vector<uint8> audio = PatternAudio(1150, 5);
	CCdText text;
	ASSERT_EQ(text.SetText(CCdText::kTitle, 0, "Caf\xE9 \"Bleu\""), B_OK);
	ASSERT_EQ(text.SetText(CCdText::kPerformer, 0, "Trio"), B_OK);
	for (int track = 1; track <= 3; track++)
		ASSERT_EQ(text.SetText(CCdText::kTitle, track, "Song " + std::to_string(track)), B_OK);
	std::vector<uint8> packs;
	ASSERT_EQ(text.Encode(1, 3, &packs), B_OK);
	const size_t packCount = packs.size() / CCdText::kPackSize;

	std::vector<uint8> sheet = ThreeTrackCueSheet();
	sheet[3] = 0x41;   // the lead-in entry: CD-Text from the host
	ASSERT_TRUE(run.SetPage(kWriteTypeSessionAtOnce).Good());
	ASSERT_TRUE(run.SendCueSheet(sheet).Good());

	uint8 info[34] = {};
	ASSERT_TRUE(Send(*run.drive, {0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, info, sizeof(info)).Good());
	const int32 leadIn = MsfToLba(info[17], info[18], info[19]);
	ASSERT_LT(leadIn, -150);
	EXPECT_TRUE(Is(run.Write(-150, 27, audio.data()), 0x5, 0x21, 0x02)) << "the lead-in comes first";

	// The lead-in's sub-channel: the packs over and over, four a sector.
	const int32 sectors = -150 - leadIn;
	std::vector<uint8> subcode(size_t(sectors) * CCdText::kSubcodeSize);
	std::vector<uint8> four(4 * CCdText::kPackSize);
	for (int32 s = 0; s < sectors; s++) {
		for (size_t p = 0; p < 4; p++) {
			size_t n = (size_t(s) * 4 + p) % packCount;
			std::copy_n(packs.begin() + long(n * CCdText::kPackSize), CCdText::kPackSize,
				four.begin() + long(p * CCdText::kPackSize));
		}
		CCdText::PacksToSubcode(four.data(), 4, subcode.data() + size_t(s) * CCdText::kSubcodeSize);
	}
	auto writeLeadIn = [&](int32 lba, int32 count, const uint8* data) {
		uint32 a = uint32(lba);
		return Send(*run.drive, {0x2A, 0, B3(a), B2(a), Hi(a), Lo(a), 0, Hi(uint32(count)), Lo(uint32(count)), 0},
			const_cast<uint8*>(data), size_t(count) * CCdText::kSubcodeSize, true);
	};
	std::vector<uint8> damaged(subcode.begin(), subcode.begin() + 10 * long(CCdText::kSubcodeSize));
	damaged[5 * CCdText::kSubcodeSize + 30] ^= 0x01;
	EXPECT_TRUE(Is(writeLeadIn(leadIn, 10, damaged.data()), 0x5, 0x26, 0x00)) << "a pack with a wrong CRC";
	EXPECT_TRUE(Is(writeLeadIn(leadIn, sectors + 1, subcode.data()), 0x5, 0x21, 0x02))
		<< "a write across the lead-in's end";
	for (int32 done = 0; done < sectors;) {
		int32 count = std::min(500, sectors - done);
		ASSERT_TRUE(writeLeadIn(leadIn + done, count, subcode.data() + size_t(done) * CCdText::kSubcodeSize).Good());
		done += count;
	}
	ASSERT_TRUE(run.WriteAll(audio, -150, -150, 1000).Good());
	ASSERT_TRUE(run.Synchronize().Good());

	EXPECT_TRUE(FilesIn(run.Folder())
		== (std::vector<std::string> {"recording-001.bin", "recording-001.cdt", "recording-001.cue"}));
	std::ifstream cdt(run.Folder() + "/recording-001.cdt", std::ios::binary);
	std::vector<uint8> stored((std::istreambuf_iterator<char>(cdt)), std::istreambuf_iterator<char>());
	EXPECT_EQ(stored, packs) << "one cycle of the packs";
	std::ifstream cueFile(run.Folder() + "/recording-001.cue");
	std::string cue((std::istreambuf_iterator<char>(cueFile)), std::istreambuf_iterator<char>());
	EXPECT_NE(cue.find("CDTEXTFILE \"recording-001.cdt\"\nTITLE \"Caf\xE9 'Bleu'\"\nPERFORMER \"Trio\"\nFILE"),
		std::string::npos)
		<< cue;
	EXPECT_NE(cue.find("  TRACK 02 AUDIO\n    TITLE \"Song 2\"\n"), std::string::npos) << cue;

	// The written disc serves its packs.
	std::vector<uint8> served;
	ASSERT_TRUE(ReadToc(*run.drive, 5, false, 0, &served).Good());
	ASSERT_EQ(served.size(), 4 + packs.size());
	EXPECT_TRUE(std::equal(packs.begin(), packs.end(), served.begin() + 4));
}
