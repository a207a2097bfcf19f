// The command library records whole discs on the virtual recorder, in the
// order the recording engine calls it: session at once (OpenSession, power
// calibration, 27-sector writes, CloseSession) and track at once
// (GetNextTrackNumber, OpenTrack, writes, CloseTrack, FixateDisc), through
// every dialect's recording variant. The disc is three tracks with a
// 200-sector first pause and no second pause; the image it leaves is read
// by cd-info, reloads in a virtual reader and reads back bit-identical.
#include "VirtualDriveFixture.h"

#include "kit/device/CdAddress.h"
#include "kit/device/ScsiCommands.h"
#include "kit/device/ScsiParameters.h"
#include "RunCommand.h"

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <regex>
#include <sstream>
#include <sys/wait.h>

using namespace drivertest;
using namespace emutest;

namespace {

constexpr int32 kSector = int32(kCdAudioSectorSize);

// A track of the test disc: its pause before index 1 and its length.
struct STrackPlan {
	int32 pause;
	int32 sectors;
};
// Track 1 starts at LBA 50, track 2 at 400 (no pause), track 3 at 775.
const STrackPlan kTracks[] = {{200, 350}, {0, 300}, {75, 225}};
constexpr int32 kLeadOut = 1000;
const std::map<int, int32> kStarts = {{1, 50}, {2, 400}, {3, 775}, {170, kLeadOut}};

// The cue sheet the recording engine sends: an index 0 entry for every
// track (zero-length without a pause) and index 1.
std::vector<uint8> CueSheet()
{
	std::vector<uint8> sheet;
	auto add = [&sheet](uint8 track, uint8 index, uint8 form, int32 lba) {
		SCueSheetEntry entry;
		entry.track = track;
		entry.index = index;
		entry.dataForm = form;
		entry.lba = lba;
		sheet.resize(sheet.size() + kCueSheetEntrySize);
		EncodeCueSheetEntry(entry, sheet.data() + sheet.size() - kCueSheetEntrySize);
	};
	add(0, 0, 0x01, -kCdMsfOffset);
	int32 lba = -kCdMsfOffset;
	for (int n = 1; n <= 3; n++) {
		const STrackPlan& t = kTracks[n - 1];
		add(uint8(n), 0, 0x00, lba);
		add(uint8(n), 1, 0x00, lba + t.pause);
		lba += t.pause + t.sectors;
	}
	add(cdb::kLeadOutTrack, 1, 0x01, lba);
	return sheet;
}

// What the disc holds from LBA -150 to the lead-out: silence in the pauses,
// a pattern in the tracks.
std::vector<uint8> DiscAudio()
{
	std::vector<uint8> audio(size_t(kLeadOut + kCdMsfOffset) * kSector, 0);
	std::vector<uint8> pattern = PatternAudio(size_t(kLeadOut), 11);
	for (const auto& [number, start] : kStarts) {
		if (number > 3)
			continue;
		int32 end = number < 3 ? kStarts.at(number + 1) - kTracks[number].pause : kLeadOut;
		std::copy(pattern.begin() + size_t(start) * kSector, pattern.begin() + size_t(end) * kSector,
			audio.begin() + size_t(start + kCdMsfOffset) * kSector);
	}
	return audio;
}

bool LongWriteInProgress(const SCSI_STATUS& s)
{
	return s.os_status == B_OK && s.sense.SenseKey == 0x2 && s.sense.AdditionalSenseCode == 0x04
		&& s.sense.AdditionalSenseCodeQualifier == 0x08;
}

// Writes [from, to) in 27-sector commands, repeating a write the recorder
// answers with LONG WRITE IN PROGRESS, as the recording engine does.
bool WriteRange(CVirtualDrive& drive, const std::vector<uint8>& audio, int32 from, int32 to, SCSI_STATUS* status)
{
	int retries = 0;
	for (int32 lba = from; lba < to;) {
		int32 count = std::min(27, to - lba);
		const uint8* data = audio.data() + size_t(lba + kCdMsfOffset) * kSector;
		if (drive.Driver().Write(drive.Device(), lba, data, count, kSector, status)) {
			lba += count;
			continue;
		}
		if (!LongWriteInProgress(*status) || ++retries > 100000)
			return false;
	}
	return true;
}

// The written image: cd-info's track starts, the reader's TOC and pauses,
// and every sector read back through the command library.
void CheckImage(const std::string& folder, const std::vector<uint8>& audio)
{
	std::string cue = folder + "/recording-001.cue";
	ASSERT_TRUE(std::filesystem::exists(cue)) << folder;
	if (system("command -v cd-info >/dev/null 2>&1") == 0) {
		std::string output = RunCommand("cd-info --no-device-info --no-header --cue-file '" + cue + "' 2>&1");
		std::regex line(R"(^\s*(\d+): \d\d:\d\d:\d\d\s+(\d+) )");
		std::smatch match;
		std::map<int, int32> starts;
		std::istringstream lines(output);
		for (std::string text; std::getline(lines, text);)
			if (std::regex_search(text, match, line))
				starts[std::stoi(match[1])] = std::stoi(match[2]);
		EXPECT_EQ(starts, kStarts) << output;
	}
	if (system("command -v cdrdao >/dev/null 2>&1") == 0) {
		// cdrdao names the pauses: track 1's 50 stored sectors, none before
		// track 2, 75 before track 3.
		// (cdrdao takes file names from its working folder.)
		std::string output = RunCommand("cd '" + folder + "' && cdrdao show-toc recording-001.cue 2>&1");
		std::regex line(R"(^\s*(PREGAP|START)\s+\d\d:\d\d:\d\d\(\s*(\d+)\))");
		std::smatch match;
		std::vector<std::string> found;
		std::istringstream lines(output);
		for (std::string text; std::getline(lines, text);)
			if (std::regex_search(text, match, line))
				found.push_back(match[1].str() + " " + match[2].str());
		EXPECT_EQ(found, (std::vector<std::string> {"PREGAP 50", "START 50", "START 400", "PREGAP 75", "START 775"}))
			<< output;
	}

	std::shared_ptr<CDiscImage> image;
	std::string error;
	ASSERT_EQ(CDiscImage::LoadCue(cue, &image, &error), B_OK) << error;
	CDriveConfig reader = TestConfig();
	reader.capabilities.writeCdR = reader.capabilities.writeCdRw = false;
	CVirtualDrive drive(reader, image);
	ASSERT_EQ(image->Tracks().size(), 3u);
	EXPECT_EQ(image->Tracks()[0].pregapStart, 0) << "the pause beyond 150 sectors is stored";
	EXPECT_EQ(image->Tracks()[1].pregapStart, 400) << "no pause before track 2";
	EXPECT_EQ(image->Tracks()[2].pregapStart, 700);
	std::vector<uint8> back(size_t(kLeadOut) * kSector);
	SCSI_STATUS status;
	for (int32 lba = 0; lba < kLeadOut; lba += 25)
		ASSERT_TRUE(drive.Driver().ReadAudio(drive.Device(), back.data() + size_t(lba) * kSector, lba, 25, &status))
			<< lba;
	EXPECT_TRUE(std::equal(back.begin(), back.end(), audio.begin() + size_t(kCdMsfOffset) * kSector))
		<< "every sector as sent";
}

CDriveConfig RecorderConfig(CDriveConfig::dialect_type dialect, const char* vendor, const char* product,
	const std::string& output)
{
	CDriveConfig config = TestConfig();
	config.dialect = dialect;
	config.vendor = vendor;
	config.product = product;
	config.output = output;
	return config;
}

void RecordSessionAtOnce(CVirtualDrive& drive, const std::vector<uint8>& audio)
{
	CDriver& driver = drive.Driver();
	std::vector<uint8> sheet = CueSheet();
	int32 first = 0;
	SCSI_STATUS status;
	ASSERT_TRUE(driver.OpenSession(drive.Device(), 0, 0, sheet.data(), int32(sheet.size()), &first, &status));
	EXPECT_EQ(first, -kCdMsfOffset);
	ASSERT_TRUE(driver.OptimumPowerCalibration(drive.Device(), &status));
	ASSERT_TRUE(WriteRange(drive, audio, first, kLeadOut, &status))
		<< std::hex << int(status.sense.SenseKey) << "/" << int(status.sense.AdditionalSenseCode);
	ASSERT_TRUE(driver.CloseSession(drive.Device(), 8.0f, &status));
}

void RecordTrackAtOnce(CVirtualDrive& drive, const std::vector<uint8>& audio)
{
	CDriver& driver = drive.Driver();
	SCSI_STATUS status;
	ASSERT_TRUE(driver.OptimumPowerCalibration(drive.Device(), &status));
	for (int n = 1; n <= 3; n++) {
		int32 track = 0;
		ASSERT_TRUE(driver.GetNextTrackNumber(drive.Device(), &track, &status));
		ASSERT_EQ(track, n);
		int32 start = 0;
		const STrackPlan& t = kTracks[n - 1];
		ASSERT_TRUE(driver.OpenTrack(drive.Device(), track, 0, 0, t.pause, t.sectors, 0, 0, nullptr, nullptr, &start,
			&status));
		ASSERT_EQ(start, kStarts.at(n)) << "track " << n;
		ASSERT_TRUE(WriteRange(drive, audio, start, start + t.sectors, &status));
		ASSERT_TRUE(driver.CloseTrack(drive.Device(), track, &status));
	}
	ASSERT_TRUE(driver.FixateDisc(drive.Device(), 8.0f, &status));
}

}   // namespace

TEST(RecorderHarness, MmcSessionAtOnceLeavesADiscOtherToolsRead)
{
	CTempFolder folder;
	std::vector<uint8> audio = DiscAudio();
	{
		CVirtualDrive drive(RecorderConfig(CDriveConfig::kDialectMmc, "TARNWICK", "Virtual CD-RW", folder.Path()),
			CDiscImage::CreateBlank(CDiscImage::kBlankCdR, 80), "drv-pellworth");
		RecordSessionAtOnce(drive, audio);
		// The written CD-R takes no second run.
		std::vector<uint8> sheet = CueSheet();
		int32 first = 0;
		SCSI_STATUS status;
		EXPECT_FALSE(
			drive.Driver().OpenSession(drive.Device(), 0, 0, sheet.data(), int32(sheet.size()), &first, &status));
	}
	CheckImage(folder.Path(), audio);
}

TEST(RecorderHarness, MmcTrackAtOnceLeavesTheSameDisc)
{
	CTempFolder folder;
	std::vector<uint8> audio = DiscAudio();
	{
		CVirtualDrive drive(RecorderConfig(CDriveConfig::kDialectMmc, "TARNWICK", "Virtual CD-RW", folder.Path()),
			CDiscImage::CreateBlank(CDiscImage::kBlankCdR, 80), "drv-pellworth");
		RecordTrackAtOnce(drive, audio);
	}
	CheckImage(folder.Path(), audio);
}

// The recording variants of the vendor dialects write the same disc: Teac
// CD-R50 (the host writes every sector, sub-codes by range), Philips CDD2600
// (WRITE SESSION, host-written lead-in and lead-out, big-endian samples)
// and Yamaha CDR100 (WRITE TOC in BCD).
TEST(RecorderHarness, EveryDialectRecordsTheDiscAtOnce)
{
	const struct {
		CDriveConfig::dialect_type dialect;
		const char* vendor;
		const char* product;
		const char* addOn;
	} recorders[] = {
		{CDriveConfig::kDialectTeac, "TEAC", "CD-R50S", "drv-ostrel"},
		{CDriveConfig::kDialectPhilips, "PHILIPS", "CDD2600", "drv-cadwick"},
		{CDriveConfig::kDialectYamaha, "YAMAHA", "CDR100", "drv-dunmere"},
	};
	for (const auto& r : recorders) {
		SCOPED_TRACE(r.product);
		CTempFolder folder;
		std::vector<uint8> audio = DiscAudio();
		std::vector<uint8> sent = audio;
		if (r.dialect == CDriveConfig::kDialectPhilips)
			for (size_t i = 0; i + 1 < sent.size(); i += 2)
				std::swap(sent[i], sent[i + 1]);   // the family takes big-endian samples
		{
			CVirtualDrive drive(RecorderConfig(r.dialect, r.vendor, r.product, folder.Path()),
				CDiscImage::CreateBlank(CDiscImage::kBlankCdR, 80), r.addOn);
			RecordSessionAtOnce(drive, sent);
			if (HasFatalFailure())
				return;
		}
		CheckImage(folder.Path(), audio);
	}
}

// Track at once on the Teac CD-R50, where the host writes the pauses: the
// same disc. (The Philips and Yamaha families write two seconds before every
// track themselves, so a track without a pause cannot be made with them.)
TEST(RecorderHarness, TeacTrackAtOnceLeavesTheSameDisc)
{
	CTempFolder folder;
	std::vector<uint8> audio = DiscAudio();
	{
		CVirtualDrive drive(RecorderConfig(CDriveConfig::kDialectTeac, "TEAC", "CD-R50S", folder.Path()),
			CDiscImage::CreateBlank(CDiscImage::kBlankCdR, 80), "drv-ostrel");
		RecordTrackAtOnce(drive, audio);
	}
	CheckImage(folder.Path(), audio);
}

// The command library's recording faults: a catalogue number or ISRC of a
// track-at-once run does not leak into the next disc's page; cue sheets
// with catalogue and ISRC entries (as cdrdao sends them) pass OpenSession;
// CloseTrack sends CLOSE TRACK after the flush.
TEST(RecorderHarness, LibraryKeepsNoStateBetweenRunsAndSendsWhatRecordersTake)
{
	CTempFolder folder;
	CVirtualDrive drive(RecorderConfig(CDriveConfig::kDialectMmc, "TARNWICK", "Virtual CD-RW", folder.Path()),
		CDiscImage::CreateBlank(CDiscImage::kBlankCdR, 80), "drv-pellworth");
	CDriver& driver = drive.Driver();
	SCSI_STATUS status;
	int32 start = 0;
	ASSERT_TRUE(driver.OpenTrack(drive.Device(), 1, 0, 1, 150, 300, 0, 0, "0123456789012", "USTW10000001", &start,
		&status));
	std::vector<uint8> page = drive.Drive().ModePage(kModePageWriteParameters);
	ASSERT_EQ(page[16], 0x80);

	std::vector<uint8> sheet = CueSheet();
	std::vector<uint8> codes(4 * kCueSheetEntrySize);
	const uint8 catalogue[] = {0x02, '0', '1', '2', '3', '4', '5', '6', 0x02, '7', '8', '9', '0', '1', '2', 0};
	const uint8 isrc[] = {0x03, 1, 'U', 'S', 'T', 'W', '1', '0', 0x03, 1, '0', '0', '0', '0', '0', '1'};
	std::copy(std::begin(catalogue), std::end(catalogue), codes.begin());
	std::copy(std::begin(isrc), std::end(isrc), codes.begin() + 16);
	// Catalogue first, lead-in, the ISRC pair, then track 1 on.
	std::vector<uint8> full(codes.begin(), codes.begin() + 16);
	full.insert(full.end(), sheet.begin(), sheet.begin() + 8);
	full.insert(full.end(), codes.begin() + 16, codes.end());
	full.insert(full.end(), sheet.begin() + 8, sheet.end());
	int32 first = 0;
	ASSERT_TRUE(driver.OpenSession(drive.Device(), 0, 1, full.data(), int32(full.size()), &first, &status));
	EXPECT_EQ(first, -kCdMsfOffset);
	page = drive.Drive().ModePage(kModePageWriteParameters);
	EXPECT_EQ(page[2] & 0x0F, kWriteTypeSessionAtOnce);
	EXPECT_EQ(page[16], 0x00) << "the catalogue number of the earlier run is gone";
	EXPECT_EQ(page[32], 0x00) << "and its ISRC";
	EXPECT_EQ(page[14] << 8 | page[15], 150);

	// A track-at-once track closed: the flush, then CLOSE TRACK of track 1.
	CTempFolder other;
	CVirtualDrive tao(RecorderConfig(CDriveConfig::kDialectMmc, "TARNWICK", "Virtual CD-RW", other.Path()),
		CDiscImage::CreateBlank(CDiscImage::kBlankCdR, 80), "drv-pellworth");
	std::vector<uint8> audio = DiscAudio();
	ASSERT_TRUE(tao.Driver().OpenTrack(tao.Device(), 1, 0, 0, 200, 350, 0, 0, nullptr, nullptr, &start, &status));
	ASSERT_TRUE(WriteRange(tao, audio, start, start + 350, &status));
	ASSERT_TRUE(tao.Driver().CloseTrack(tao.Device(), 1, &status));
	std::vector<CMmcDrive::SCommandRecord> history = tao.Drive().History();
	auto lastOf = [&history](uint8 opcode) {
		for (size_t i = history.size(); i-- > 0;)
			if (history[i].cdb[0] == opcode)
				return int(i);
		return -1;
	};
	int flush = lastOf(cdb::kSynchronizeCache);
	int close = lastOf(cdb::kCloseTrackSession);
	ASSERT_GE(flush, 0);
	ASSERT_GT(close, flush);
	EXPECT_EQ(history[size_t(close)].cdb[2], cdb::kCloseTrack);
	EXPECT_EQ(history[size_t(close)].cdb[5], 1);
}
