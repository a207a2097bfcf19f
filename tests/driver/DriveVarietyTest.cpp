// The command library on drives that differ as real ones do: adapters that
// take less per command, drives that give the formatted Q in binary, discs
// whose first track is not track 1.
#include "VirtualDriveFixture.h"

#include "devices/DeviceListing.h"
#include "disc/Toc.h"
#include "kit/support/Errors.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace drivertest;
using namespace emutest;

namespace {

std::shared_ptr<CDiscImage> LoadCue(const std::string& path)
{
	std::shared_ptr<CDiscImage> image;
	std::string error;
	EXPECT_EQ(CDiscImage::LoadCue(path, &image, &error), B_OK) << error;
	return image;
}

// A disc of `tracks` tracks numbered from `first`, one file: every track 30
// seconds, and a pause of 2 + n % 3 seconds before every track but the
// first, so that pauses differ. It has a CD-Text title.
std::string WriteDisc(const CTempFolder& folder, int first, int tracks, int32* leadOut)
{
	std::string cue = "TITLE \"Late Start\"\nFILE \"disc.bin\" BINARY\n";
	int32 at = 0;
	for (int n = 0; n < tracks; n++) {
		char line[96];
		snprintf(line, sizeof(line), "  TRACK %02d AUDIO\n", first + n);
		cue += line;
		if (n > 0) {
			int32 index0 = at;
			at += (2 + n % 3) * 75;
			snprintf(line, sizeof(line), "    INDEX 00 %02d:%02d:%02d\n", int(index0 / 4500), int(index0 / 75 % 60),
				int(index0 % 75));
			cue += line;
		}
		snprintf(line, sizeof(line), "    INDEX 01 %02d:%02d:%02d\n", int(at / 4500), int(at / 75 % 60), int(at % 75));
		cue += line;
		at += 30 * 75;
	}
	*leadOut = at;
	WriteBytes(folder.File("disc.bin"), PatternAudio(size_t(at), 3));
	WriteText(folder.File("disc.cue"), cue);
	return folder.File("disc.cue");
}

struct STrackRow {
	int32 lba, size, pause;
	bool operator==(const STrackRow&) const = default;
};

std::vector<STrackRow> ReadRows(CVirtualDrive& drive)
{
	std::vector<STrackRow> rows;
	CToc* toc = drive.Device()->GetToc();
	toc->Lock();
	toc->MakeEmpty();
	EXPECT_TRUE(drive.Driver().ReadToc(drive.Device(), toc, nullptr));
	for (int n = toc->FirstTrack(); n <= toc->LastTrack(); n++)
		rows.push_back({toc->TrackLBA(n), toc->TrackSize(n), toc->TrackPauseSize(n)});
	toc->Unlock();
	return rows;
}

}   // namespace

TEST(DriveVariety, AudioReadsAreSplitToTheAdaptersLimitAndStayBitIdentical)
{
	CTempFolder folder;
	STestDisc disc = MakeTestDisc(folder);
	SAdapter narrow;   // 64 KiB: what an unknown adapter takes
	SAdapter wide;
	wide.maxTransfer = 1024 * 1024;
	CVirtualDrive small(TestConfig(), LoadCue(disc.cuePath), "", nullptr, &narrow);
	CVirtualDrive large(TestConfig(), LoadCue(disc.cuePath), "", nullptr, &wide);

	// The reference: one READ CD of all 150 sectors, unsplit.
	std::vector<uint8> whole(150 * 2352);
	ASSERT_TRUE(emutest::ReadCd(large.Drive(), 400, 150, whole.data(), whole.size()).Good());
	ASSERT_EQ(whole, std::vector<uint8>(disc.audio.begin() + 400 * 2352, disc.audio.begin() + 550 * 2352));

	std::vector<uint8> split(150 * 2352, 0xEE);
	SCSI_STATUS status;
	ASSERT_TRUE(small.Driver().ReadAudio(small.Device(), split.data(), 400, 150, &status));
	EXPECT_EQ(split, whole);
	std::vector<size_t> lengths = small.Adapter()->Lengths();
	size_t reads = 0, total = 0;
	for (size_t length : lengths) {
		EXPECT_LE(length, 64u * 1024u);
		if (length >= 2352) {
			reads++;
			total += length;
		}
	}
	EXPECT_EQ(reads, 6u) << "27 sectors a command";
	EXPECT_EQ(total, whole.size());

	// The wide adapter takes the library's 64 sectors a command.
	std::vector<uint8> wideRead(150 * 2352, 0xEE);
	ASSERT_TRUE(large.Driver().ReadAudio(large.Device(), wideRead.data(), 400, 150, &status));
	EXPECT_EQ(wideRead, whole);
	EXPECT_EQ(large.Adapter()->Lengths().back(), 22u * 2352u);
	EXPECT_EQ(dev_max_transfer_length(small.Device()->GetRawDescriptor()), 64u * 1024u);
	EXPECT_EQ(dev_max_transfer_length(large.Device()->GetRawDescriptor()), 1024u * 1024u);

	// A longer command than the adapter takes fails in the request.
	std::vector<uint8> refused(64 * 2352);
	EXPECT_FALSE(emutest::ReadCd(*small.Adapter(), 400, 64, refused.data(), refused.size()).Good());
}

TEST(DriveVariety, VendorWritesAreSplitToTheAdaptersLimit)
{
	CDriveConfig config = TestConfig();
	config.dialect = CDriveConfig::kDialectPhilips;
	config.vendor = "PHILIPS";
	config.product = "CDD2000";
	SAdapter narrow;
	CVirtualDrive drive(config, CDiscImage::CreateBlank(CDiscImage::kBlankCdR, 80), "", nullptr, &narrow);
	auto write6 = Generic<decltype(CDriver::Write)>("Write_PhilipsCdd2000");
	std::vector<uint8> data(255 * 2352);
	SCSI_STATUS status;
	write6(drive.Device(), 0, data.data(), 255, 2352, &status);
	// Whatever the drive answered, no command carried more than 64 KiB.
	bool sawWrite = false;
	for (const auto& record : drive.Drive().History()) {
		if (record.cdb[0] != 0x0A)
			continue;
		sawWrite = true;
		EXPECT_LE(size_t(record.cdb[4]) * 2352, 64u * 1024u);
	}
	EXPECT_TRUE(sawWrite);
	for (size_t length : drive.Adapter()->Lengths())
		EXPECT_LE(length, 64u * 1024u);
}

TEST(DriveVariety, BinaryQDrivesGiveTheSameTableAsBcdDrives)
{
	CTempFolder folder;
	int32 leadOut = 0;
	std::string cue = WriteDisc(folder, 1, 12, &leadOut);
	SAdapter bcd;
	SAdapter hex;
	hex.hexQ = true;
	CVirtualDrive bcdDrive(TestConfig(), LoadCue(cue), "", nullptr, &bcd);
	CVirtualDrive hexDrive(TestConfig(), LoadCue(cue), "", nullptr, &hex);

	std::vector<STrackRow> expected = ReadRows(bcdDrive);
	ASSERT_EQ(expected.size(), 12u);
	// The pauses are those of the sheet, tracks 10 to 12 included.
	for (int n = 2; n <= 12; n++)
		EXPECT_EQ(expected[size_t(n - 1)].pause, (2 + (n - 1) % 3) * 75) << n;
	EXPECT_EQ(ReadRows(hexDrive), expected);

	CToc* toc = hexDrive.Device()->GetToc();
	toc->Lock();
	EXPECT_EQ(toc->TrackLBA(1) + toc->TrackSize(1), toc->TrackLBA(2));
	EXPECT_EQ(toc->TrackLBA(12) + toc->TrackSize(12), leadOut);
	toc->Unlock();
}

TEST(DriveVariety, ADiscKeepsItsOwnTrackNumbers)
{
	CTempFolder folder;
	int32 leadOut = 0;
	std::string cue = WriteDisc(folder, 4, 2, &leadOut);
	CVirtualDrive drive(TestConfig(), LoadCue(cue), "drv-pellworth");
	std::vector<STrackRow> rows = ReadRows(drive);
	CToc* toc = drive.Device()->GetToc();
	toc->Lock();
	EXPECT_EQ(toc->FirstTrack(), 4);
	EXPECT_EQ(toc->LastTrack(), 5);
	EXPECT_EQ(toc->TrackCount(), 2);
	for (int n = 1; n <= 3; n++)
		EXPECT_EQ(toc->TrackSize(n), 0) << "no track " << n << " is invented";
	EXPECT_EQ(toc->TrackLBA(4), 0);
	EXPECT_EQ(toc->TrackPauseSize(5), 3 * 75);
	EXPECT_EQ(toc->TrackLBA(5) + toc->TrackSize(5), leadOut);
	toc->Unlock();
	ASSERT_EQ(rows.size(), 2u);

	std::string medium = DescribeMedium(drive.Device());
	EXPECT_NE(medium.find("audio disc, 2 tracks"), std::string::npos) << medium;
	EXPECT_NE(medium.find("title: Late Start"), std::string::npos) << medium;
	EXPECT_NE(medium.find("\n     4  00:30.00"), std::string::npos) << medium;
	EXPECT_NE(medium.find("\n     5  00:33.00"), std::string::npos) << medium;
	EXPECT_EQ(medium.find("\n     1  "), std::string::npos) << medium;
}
