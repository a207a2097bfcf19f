// The vendor variants of the command library against virtual drives that
// speak those families' dialects (Teac CD-R50/55, Philips CDD 2000/2600,
// Yamaha CDR100/102, Plextor readers), each bound by its own add-on from the
// drive's inquiry data: audio reads in the family's byte order, speeds,
// trays, disc information and the preparation of recording.
#include "VirtualDriveFixture.h"

#include "addons/generic/DriveResponses.h"
#include "kit/support/ByteOrder.h"
#include "disc/Toc.h"
#include "kit/support/Errors.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace drivertest;
using namespace emutest;

namespace {

CDriveConfig DialectConfig(CDriveConfig::dialect_type dialect, const char* vendor, const char* product)
{
	CDriveConfig config = TestConfig();
	config.dialect = dialect;
	config.vendor = vendor;
	config.product = product;
	return config;
}

std::shared_ptr<CDiscImage> Blank(int minutes = 80)
{
	return CDiscImage::CreateBlank(CDiscImage::kBlankCdR, minutes);
}

class VendorDialect : public testing::Test {
protected:
	std::shared_ptr<CDiscImage> Disc()
	{
		std::shared_ptr<CDiscImage> image;
		std::string error;
		EXPECT_EQ(CDiscImage::LoadCue(fDisc.cuePath, &image, &error), B_OK) << error;
		return image;
	}
	std::vector<uint8> Image(int32 lba, int32 count) const
	{
		auto begin = fDisc.audio.begin() + ptrdiff_t(lba) * 2352;
		return std::vector<uint8>(begin, begin + ptrdiff_t(count) * 2352);
	}
	// The operation codes the drive received, in order.
	static std::vector<uint8> Opcodes(const CMmcDrive& drive)
	{
		std::vector<uint8> codes;
		for (const auto& record : drive.History())
			codes.push_back(record.cdb[0]);
		return codes;
	}
	static const CMmcDrive::SCommandRecord* Last(const CMmcDrive& drive, uint8 opcode)
	{
		static std::vector<CMmcDrive::SCommandRecord> history;
		history = drive.History();
		for (auto it = history.rbegin(); it != history.rend(); ++it)
			if (it->cdb[0] == opcode)
				return &*it;
		return nullptr;
	}

	CTempFolder fFolder;
	STestDisc fDisc = MakeTestDisc(fFolder);
};

}   // namespace

TEST_F(VendorDialect, EachFamilyReadsAudioInItsOwnByteOrder)
{
	struct {
		CDriveConfig::dialect_type dialect;
		const char* vendor;
		const char* product;
		const char* addOn;
		const char* line;
		uint8 opcode;
		bool bigEndian;
	} cases[] = {
		{CDriveConfig::kDialectTeac, "TEAC", "CD-R55S", "drv-ostrel", "drv-ostrel: Teac CD-R55S detected\n", 0xD8,
			false},
		{CDriveConfig::kDialectYamaha, "YAMAHA", "CDR100", "drv-dunmere", "drv-dunmere: Yamaha CDR100 detected\n",
			0xD8, false},
		{CDriveConfig::kDialectPlextor, "PLEXTOR", "CD-ROM PX-40TS", "drv-elsgrove",
			"drv-elsgrove: Plextor CD-ROM PX-40TS detected\n", 0xD8, false},
		{CDriveConfig::kDialectPhilips, "PHILIPS", "CDD2600", "drv-cadwick",
			"drv-cadwick: Philips CDD2600 (or compatible) detected\n", 0x28, true},
	};
	// Drives read through the operating system's CD driver: no command at all.
	{
		CVirtualDrive drive(TestConfig(), Disc(), "drv-quenmoor");
		std::vector<uint8> buffer(100 * 2352);
		drive.Drive().ClearHistory();
		ASSERT_TRUE(drive.Driver().ReadAudio(drive.Device(), buffer.data(), 300, 100, nullptr));
		EXPECT_EQ(buffer, Image(300, 100));
		EXPECT_TRUE(drive.Drive().History().empty());
	}
	for (const auto& c : cases) {
		SCOPED_TRACE(c.addOn);
		CVirtualDrive drive(DialectConfig(c.dialect, c.vendor, c.product), Disc(), c.addOn);
		EXPECT_EQ(drive.Recognition(), c.line);
		EXPECT_EQ(drive.Device()->IsLittleEndian(), !c.bigEndian);
		std::vector<uint8> buffer(100 * 2352);
		SCSI_STATUS status;
		ASSERT_TRUE(drive.Driver().ReadAudio(drive.Device(), buffer.data(), 300, 100, &status));
		std::vector<uint8> expected = Image(300, 100);
		if (c.bigEndian) {
			for (size_t i = 0; i + 1 < expected.size(); i += 2)
				std::swap(expected[i], expected[i + 1]);
		}
		EXPECT_EQ(buffer, expected);
		ASSERT_NE(Last(drive.Drive(), c.opcode), nullptr);
		// These drives know no READ CD: the variant does not lean on MMC.
		auto readMmc = Generic<decltype(CDriver::ReadAudio)>("ReadAudio_mmc");
		EXPECT_FALSE(readMmc(drive.Device(), buffer.data(), 300, 1, &status));
		EXPECT_EQ(status.sense.AdditionalSenseCode, 0x20);
	}
}

TEST_F(VendorDialect, PhilipsReadsSelectTheAudioDensityAndRestoreTheDataBlocks)
{
	CVirtualDrive drive(DialectConfig(CDriveConfig::kDialectPhilips, "PHILIPS", "CDD2000"), Disc(), "drv-cadwick");
	std::vector<uint8> sector(2352);
	ASSERT_TRUE(drive.Driver().ReadAudio(drive.Device(), sector.data(), 0, 1, nullptr));
	std::vector<CMmcDrive::SCommandRecord> history = drive.Drive().History();
	ASSERT_GE(history.size(), 3u);
	const auto& select = history[history.size() - 3];
	ASSERT_EQ(select.cdb[0], 0x15);
	ASSERT_EQ(select.data.size(), 12u);
	EXPECT_EQ(select.data[3], 8);      // one block descriptor
	EXPECT_EQ(select.data[4], 0x82);   // CD-DA density
	EXPECT_EQ((select.data[9] << 16 | select.data[10] << 8 | select.data[11]), 2352);
	EXPECT_EQ(history[history.size() - 2].cdb[0], 0x28);
	const auto& restore = history.back();
	EXPECT_EQ(restore.data[4], 0x00);
	EXPECT_EQ((restore.data[10] << 8 | restore.data[11]), 2048);

	// Enabling CD-DA reads leaves the density selected until disabled.
	ASSERT_TRUE(drive.Driver().CddaReadEnable(drive.Device(), nullptr));
	EXPECT_EQ(Last(drive.Drive(), 0x15)->data[4], 0x82);
	ASSERT_TRUE(drive.Driver().CddaReadDisable(drive.Device(), nullptr));
	EXPECT_EQ(Last(drive.Drive(), 0x15)->data[4], 0x00);
	// The drive refuses a density it does not know.
	SCSI_STATUS status;
	EXPECT_FALSE(drive.Driver().ReadAudio(drive.Device(), sector.data(), kLeadOut, 1, &status));
	EXPECT_EQ(status.sense.AdditionalSenseCode, 0x21);
}

TEST_F(VendorDialect, SpeedsAreSetAndReadBackInEachFamilysPage)
{
	float read = 0, write = 0;
	{
		SCOPED_TRACE("Teac CD-R55S: one speed code in page 31h");
		CVirtualDrive drive(DialectConfig(CDriveConfig::kDialectTeac, "TEAC", "CD-R55S"), Disc(), "drv-ostrel");
		ASSERT_TRUE(drive.Driver().SpeedSet(drive.Device(), -1, 2, nullptr));
		EXPECT_EQ(drive.Drive().ModePage(0x31)[2], 2);
		ASSERT_TRUE(drive.Driver().SpeedGet(drive.Device(), &read, &write, nullptr));
		EXPECT_EQ(read, 4.0f);
		EXPECT_EQ(write, 4.0f);
		ASSERT_TRUE(drive.Driver().SpeedSet(drive.Device(), 6, -1, nullptr));
		ASSERT_TRUE(drive.Driver().SpeedGet(drive.Device(), &read, &write, nullptr));
		EXPECT_EQ(read, 12.0f);
		EXPECT_EQ(write, -1.0f) << "code 6 is no writing speed of the CD-R55S";
	}
	{
		SCOPED_TRACE("Teac CD-R58S");
		CVirtualDrive drive(DialectConfig(CDriveConfig::kDialectTeac, "TEAC", "CD-R58S"), Disc(), "drv-ostrel");
		ASSERT_TRUE(drive.Driver().SpeedSet(drive.Device(), 255, -1, nullptr));
		ASSERT_TRUE(drive.Driver().SpeedGet(drive.Device(), &read, nullptr, nullptr));
		EXPECT_EQ(read, 24.0f);
		ASSERT_TRUE(drive.Driver().SpeedSet(drive.Device(), -1, 4, nullptr));
		ASSERT_TRUE(drive.Driver().SpeedGet(drive.Device(), nullptr, &write, nullptr));
		EXPECT_EQ(write, 8.0f);
	}
	{
		SCOPED_TRACE("Philips CDD2600: writing and reading speeds apart in page 23h");
		CVirtualDrive drive(DialectConfig(CDriveConfig::kDialectPhilips, "PHILIPS", "CDD2600"), Disc(), "drv-cadwick");
		ASSERT_TRUE(drive.Driver().SpeedSet(drive.Device(), 4, 2, nullptr));
		std::vector<uint8> page = drive.Drive().ModePage(0x23);
		EXPECT_EQ(page[2], 2);
		EXPECT_EQ(page[4], 4);
		ASSERT_TRUE(drive.Driver().SpeedGet(drive.Device(), &read, &write, nullptr));
		EXPECT_EQ(read, 4.0f);
		EXPECT_EQ(write, 2.0f);
	}
	{
		SCOPED_TRACE("Philips CDD2000: one speed");
		CVirtualDrive drive(DialectConfig(CDriveConfig::kDialectPhilips, "PHILIPS", "CDD2000"), Disc(), "drv-cadwick");
		ASSERT_TRUE(drive.Driver().SpeedSet(drive.Device(), -1, 1, nullptr));
		ASSERT_TRUE(drive.Driver().SpeedGet(drive.Device(), &read, &write, nullptr));
		EXPECT_EQ(read, 1.0f);
		EXPECT_EQ(write, 1.0f);
	}
	{
		SCOPED_TRACE("Yamaha CDR100 and CDR102: page 31h high nibble");
		CVirtualDrive cdr100(DialectConfig(CDriveConfig::kDialectYamaha, "YAMAHA", "CDR100"), Disc(), "drv-dunmere");
		ASSERT_TRUE(cdr100.Driver().SpeedSet(cdr100.Device(), 16, -1, nullptr));
		EXPECT_EQ(cdr100.Drive().ModePage(0x31)[3], 0x10);
		ASSERT_TRUE(cdr100.Driver().SpeedGet(cdr100.Device(), &read, &write, nullptr));
		EXPECT_EQ(read, 2.0f);
		EXPECT_EQ(write, 2.0f);
		SCSI_STATUS status;
		EXPECT_FALSE(cdr100.Driver().SpeedSet(cdr100.Device(), 48, -1, &status));
		EXPECT_EQ(status.os_status, B_BAD_VALUE);
	}
	{
		CVirtualDrive cdr102(DialectConfig(CDriveConfig::kDialectYamaha, "YAMAHA", "CDR102"), Disc(), "drv-dunmere");
		ASSERT_TRUE(cdr102.Driver().SpeedSet(cdr102.Device(), -1, 32, nullptr));
		ASSERT_TRUE(cdr102.Driver().SpeedGet(cdr102.Device(), &read, &write, nullptr));
		EXPECT_EQ(read, 4.0f);
		EXPECT_EQ(write, 2.0f) << "the CDR102 writes at most at double speed";
	}
	{
		SCOPED_TRACE("Plextor PX-40TS: special modes in the higher bytes");
		CVirtualDrive drive(DialectConfig(CDriveConfig::kDialectPlextor, "PLEXTOR", "CD-ROM PX-40TS"), Disc(),
			"drv-elsgrove");
		ASSERT_TRUE(drive.Driver().SpeedSet(drive.Device(), 65542, -1, nullptr));
		std::vector<uint8> page = drive.Drive().ModePage(0x31);
		EXPECT_EQ(page[2], 6);
		EXPECT_EQ(page[3], 0);
		EXPECT_EQ(page[4], 1);
		ASSERT_TRUE(drive.Driver().SpeedSet(drive.Device(), 262, -1, nullptr));
		page = drive.Drive().ModePage(0x31);
		EXPECT_EQ(page[3], 1);
		EXPECT_EQ(page[4], 0);
		// The family has no speed query: the dummy says "unknown".
		ASSERT_TRUE(drive.Driver().SpeedGet(drive.Device(), &read, &write, nullptr));
		EXPECT_EQ(read, -1.0f);
	}
}

TEST_F(VendorDialect, TraysMoveWithTheFamilysCommands)
{
	{
		CVirtualDrive drive(DialectConfig(CDriveConfig::kDialectPhilips, "PHILIPS", "CDD2000"), Disc(), "drv-cadwick");
		ASSERT_TRUE(drive.Driver().MediumEject(drive.Device(), nullptr));
		EXPECT_EQ(Last(drive.Drive(), 0xE7)->cdb[8], 0x01);
		SCSI_STATUS status;
		EXPECT_FALSE(drive.Driver().TestUnitReady(drive.Device(), &status));
		EXPECT_EQ(status.sense.AdditionalSenseCodeQualifier, 0x02);   // tray open
		ASSERT_TRUE(drive.Driver().MediumLoad(drive.Device(), nullptr));
		EXPECT_EQ(Last(drive.Drive(), 0xE7)->cdb[8], 0x00);
		drive.Driver().TestUnitReady(drive.Device(), nullptr);   // the unit attention
		EXPECT_TRUE(drive.Driver().TestUnitReady(drive.Device(), nullptr));
	}
	{
		CVirtualDrive drive(DialectConfig(CDriveConfig::kDialectYamaha, "YAMAHA", "CDR102"), Disc(), "drv-dunmere");
		ASSERT_TRUE(drive.Driver().MediumEject(drive.Device(), nullptr));
		EXPECT_EQ(Last(drive.Drive(), 0x1B)->cdb[4], 0x02);
		// A caddy drive cannot pull its caddy back in: loading only spins up,
		// which fails while the caddy is out.
		SCSI_STATUS status;
		EXPECT_FALSE(drive.Driver().MediumLoad(drive.Device(), &status));
		EXPECT_EQ(Last(drive.Drive(), 0x1B)->cdb[4], 0x01);
		EXPECT_EQ(status.sense.SenseKey, 0x2);
	}
}

TEST_F(VendorDialect, DiscInformationWithoutReadDiscInformation)
{
	struct {
		CDriveConfig::dialect_type dialect;
		const char* vendor;
		const char* product;
		const char* addOn;
	} cases[] = {
		{CDriveConfig::kDialectTeac, "TEAC", "CD-R50S", "drv-ostrel"},
		{CDriveConfig::kDialectYamaha, "YAMAHA", "CDR100", "drv-dunmere"},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.addOn);
		CVirtualDrive blank(DialectConfig(c.dialect, c.vendor, c.product), Blank(74), c.addOn);
		SCSI_DISC_INFORMATION information;
		ASSERT_TRUE(blank.Driver().ReadDiscInformation(blank.Device(), &information, nullptr));
		EXPECT_EQ(information.DiscStatus, 0);
		EXPECT_EQ(information.LastPossibleStartTimeOfLeadout[0], 73);
		EXPECT_EQ(information.LastPossibleStartTimeOfLeadout[1], 59);
		EXPECT_EQ(information.LastPossibleStartTimeOfLeadout[2], 74);
		EXPECT_EQ(information.NumberOfFirstTrackOnDisc, 1);
		EXPECT_EQ(Last(blank.Drive(), 0x51), nullptr) << "no READ DISC INFORMATION was sent";
		int32 track = 0;
		ASSERT_TRUE(blank.Driver().GetNextTrackNumber(blank.Device(), &track, nullptr));
		EXPECT_EQ(track, 1);

		CVirtualDrive pressed(DialectConfig(c.dialect, c.vendor, c.product), Disc(), c.addOn);
		ASSERT_TRUE(pressed.Driver().ReadDiscInformation(pressed.Device(), &information, nullptr));
		EXPECT_EQ(information.DiscStatus, 2);
		EXPECT_EQ(information.LastTrackNumberInLastSession, 3);
		EXPECT_EQ(information.LastPossibleStartTimeOfLeadout[0], 0xFF);
		ASSERT_TRUE(pressed.Driver().GetNextTrackNumber(pressed.Device(), &track, nullptr));
		EXPECT_EQ(track, 4);
	}

	// Their ATIP and buffer: the Teac record binds the failing dummies, the
	// Yamaha one the MMC stand-ins.
	CVirtualDrive teac(DialectConfig(CDriveConfig::kDialectTeac, "TEAC", "CD-R50S"), Blank(), "drv-ostrel");
	SCSI_ATIP_DATA atip;
	int32 total = 0, free = 0;
	EXPECT_FALSE(teac.Driver().ReadAtipData(teac.Device(), &atip, nullptr));
	EXPECT_FALSE(teac.Driver().ReadBufferCapacity(teac.Device(), &total, &free, nullptr));
	CVirtualDrive yamaha(DialectConfig(CDriveConfig::kDialectYamaha, "YAMAHA", "CDR100"), Blank(), "drv-dunmere");
	ASSERT_TRUE(yamaha.Driver().ReadAtipData(yamaha.Device(), &atip, nullptr));
	EXPECT_EQ(atip.LastPossibleStartTimeOfLeadout[0], 79);
	ASSERT_TRUE(yamaha.Driver().ReadBufferCapacity(yamaha.Device(), &total, &free, nullptr));
	EXPECT_EQ(total, 2048 * 1024);
}

TEST_F(VendorDialect, TablesOfContentsWithoutReadCd)
{
	CVirtualDrive drive(DialectConfig(CDriveConfig::kDialectYamaha, "YAMAHA", "CDR100"), Disc(), "drv-dunmere");
	CToc* toc = drive.Device()->GetToc();
	toc->Lock();
	ASSERT_TRUE(drive.Driver().ReadToc(drive.Device(), toc, nullptr));
	EXPECT_EQ(toc->TrackCount(), 3);
	EXPECT_EQ(toc->TrackLBA(3), kTrack3Start);
	EXPECT_EQ(toc->TrackPauseSize(3), 0);
	toc->Unlock();

	uint8 information[36];
	ASSERT_TRUE(drive.Driver().ReadTrackInformation(drive.Device(), 2, information, sizeof(information), nullptr));
	EXPECT_EQ(information[2], 2);
	EXPECT_EQ(GetBe32(information + 8), uint32(kTrack2Start));
	EXPECT_EQ(GetBe32(information + 24), uint32(kTrack3Start - kTrack2Start));
	EXPECT_EQ(Last(drive.Drive(), 0x52), nullptr);
	SCSI_STATUS status;
	EXPECT_FALSE(drive.Driver().ReadTrackInformation(drive.Device(), 4, information, sizeof(information), &status));
	EXPECT_EQ(status.os_status, B_BAD_INDEX);
}

// The cue sheet of two tracks: track 1 with 150 pause sectors and 1000
// audio sectors, track 2 (copy allowed) with none and 500.
const uint8 kCueSheet[] = {
	0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00,
	0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
	0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00,
	0x21, 0x02, 0x00, 0x00, 0x00, 0x00, 0x0F, 0x19,
	0x21, 0x02, 0x01, 0x00, 0x00, 0x00, 0x0F, 0x19,
	0x01, 0xAA, 0x01, 0x01, 0x00, 0x00, 0x16, 0x00,
};

TEST_F(VendorDialect, TeacDiscAtOnceSetsPagesSubcodesAndTheToc)
{
	CVirtualDrive drive(DialectConfig(CDriveConfig::kDialectTeac, "TEAC", "CD-R50S"), Blank(), "drv-ostrel");
	int32 first = 0;
	SCSI_STATUS status;
	ASSERT_TRUE(drive.Driver().OpenSession(drive.Device(), 0, 1, kCueSheet, sizeof(kCueSheet), &first, &status));
	EXPECT_EQ(first, -150);
	EXPECT_EQ(drive.Drive().ModePage(0x21)[2] & 0x03, 0x03);   // preview writing
	EXPECT_EQ(drive.Drive().ModePage(0x22)[4], 0x02);          // disc at once
	std::vector<CMmcDrive::SCommandRecord> history = drive.Drive().History();
	std::vector<uint8> opcodes = Opcodes(drive.Drive());
	// Judged, but not calibrated while simulating.
	EXPECT_EQ(std::count(opcodes.begin(), opcodes.end(), 0xEC), 1);
	// Sub-codes: track 1's pause (P set, index 0), its data, track 2's data.
	std::vector<std::vector<uint8>> subcodes;
	std::vector<int32> limits;
	for (const auto& record : history) {
		if (record.cdb[0] == 0xB3)
			limits.push_back(int32(GetBe32(record.cdb.data() + 2)));
		if (record.cdb[0] == 0xC2)
			subcodes.push_back(record.data);
	}
	ASSERT_EQ(subcodes.size(), 4u);
	EXPECT_EQ(limits, (std::vector<int32> {-150, 0, 1000}));
	EXPECT_EQ(subcodes[0], (std::vector<uint8> {1, 0x01, 0x01, 0x00}));
	EXPECT_EQ(subcodes[1], (std::vector<uint8> {0, 0x01, 0x01, 0x01}));
	EXPECT_EQ(subcodes[2], (std::vector<uint8> {0, 0x21, 0x02, 0x01}));
	// The TOC: tracks at 00:02:00 and 00:15:25 (BCD), A0, A1, A2 at 00:22:00.
	const std::vector<uint8>& toc = subcodes[3];
	ASSERT_EQ(toc.size(), 3u + 5 * 5);
	EXPECT_EQ(std::vector<uint8>(toc.begin() + 3, toc.begin() + 8), (std::vector<uint8> {0x01, 0x01, 0x00, 0x02, 0x00}));
	EXPECT_EQ(std::vector<uint8>(toc.begin() + 8, toc.begin() + 13), (std::vector<uint8> {0x21, 0x02, 0x00, 0x15, 0x25}));
	EXPECT_EQ(toc[14], 0xA0);
	EXPECT_EQ(toc[19], 0xA1);
	EXPECT_EQ(std::vector<uint8>(toc.begin() + 23, toc.end()), (std::vector<uint8> {0x21, 0xA2, 0x00, 0x22, 0x00}));

	// Writes carry the extended-write bit up to the one that ends the
	// session. The drive cannot write yet and refuses them.
	std::vector<uint8> data(27 * 2352);
	EXPECT_FALSE(drive.Driver().Write(drive.Device(), -150, data.data(), 27, 2352, &status));
	EXPECT_EQ(status.command[9], 0x80);
	EXPECT_FALSE(drive.Driver().Write(drive.Device(), 1500 - 27, data.data(), 27, 2352, &status));
	EXPECT_EQ(status.command[9], 0x00);
	EXPECT_EQ(status.sense.AdditionalSenseCode, 0x20);
}

TEST_F(VendorDialect, YamahaDiscAtOnceSendsTheCueSheetInBcd)
{
	CVirtualDrive drive(DialectConfig(CDriveConfig::kDialectYamaha, "YAMAHA", "CDR100"), Blank(), "drv-dunmere");
	int32 first = 0;
	ASSERT_TRUE(drive.Driver().OpenSession(drive.Device(), 0, 1, kCueSheet, sizeof(kCueSheet), &first, nullptr));
	EXPECT_EQ(first, -150);
	EXPECT_EQ(drive.Drive().ModePage(0x31)[3] & 0x0F, 0x01);   // test writing
	EXPECT_EQ(drive.Drive().ModePage(0x32)[3] & 0x0F, 0x04);   // disc at once
	const CMmcDrive::SCommandRecord* toc = Last(drive.Drive(), 0xEA);
	ASSERT_NE(toc, nullptr);
	ASSERT_EQ(toc->data.size(), sizeof(kCueSheet));
	// Track 2's start at 00:15:25 in BCD; the lead-out at 00:22:00.
	EXPECT_EQ(std::vector<uint8>(toc->data.begin() + 32, toc->data.begin() + 40),
		(std::vector<uint8> {0x21, 0x02, 0x01, 0x00, 0x00, 0x00, 0x15, 0x25}));
	EXPECT_EQ(std::vector<uint8>(toc->data.end() - 8, toc->data.end()),
		(std::vector<uint8> {0x01, 0xAA, 0x01, 0x00, 0x00, 0x00, 0x22, 0x00}));
	EXPECT_EQ(Opcodes(drive.Drive()).back(), 0xE6);   // WRITE TRACK
	// On a pressed disc the drive refuses the cue sheet.
	CVirtualDrive pressed(DialectConfig(CDriveConfig::kDialectYamaha, "YAMAHA", "CDR100"), Disc(), "drv-dunmere");
	SCSI_STATUS status;
	EXPECT_FALSE(pressed.Driver().OpenSession(pressed.Device(), 0, 0, kCueSheet, sizeof(kCueSheet), &first, &status));
	EXPECT_EQ(status.command[0], 0xEA);
}

TEST_F(VendorDialect, PhilipsDiscAtOnceWritesTheSessionThenTheLeadIn)
{
	CVirtualDrive drive(DialectConfig(CDriveConfig::kDialectPhilips, "PHILIPS", "CDD2600"), Blank(), "drv-cadwick");
	int32 first = 0;
	SCSI_STATUS status;
	// WRITE SESSION is taken; the lead-in's silence needs WRITE(6), which the
	// drive cannot do yet.
	EXPECT_FALSE(drive.Driver().OpenSession(drive.Device(), 0, 1, kCueSheet, sizeof(kCueSheet), &first, &status));
	EXPECT_EQ(status.command[0], 0x0A);
	EXPECT_EQ(drive.Drive().ModePage(0x23)[3] & 0x01, 0x01);
	const CMmcDrive::SCommandRecord* session = Last(drive.Drive(), 0xED);
	ASSERT_NE(session, nullptr);
	ASSERT_EQ(session->data.size(), 40u);
	EXPECT_EQ(GetBe32(session->data.data() + 12), 0u);      // track 1 starts at LBA 0
	EXPECT_EQ(GetBe32(session->data.data() + 16), 1000u);   // and ends where track 2 begins
	EXPECT_EQ(session->data[20 + 2], 0x02);                          // track 2: copy allowed
	EXPECT_EQ(GetBe32(session->data.data() + 20 + 16), 1500u);
}

TEST_F(VendorDialect, TrackAtOnceOpensTracksInTheFamilysWay)
{
	std::vector<uint8> data(2352);
	{
		SCOPED_TRACE("Teac: sub-codes of the pause and the data, the pause written by the host");
		CVirtualDrive drive(DialectConfig(CDriveConfig::kDialectTeac, "TEAC", "CD-R50S"), Blank(), "drv-ostrel");
		int32 start = 0;
		SCSI_STATUS status;
		EXPECT_FALSE(drive.Driver().OpenTrack(drive.Device(), 1, 0, 0, 150, 1000, 0, 0, nullptr, nullptr, &start,
			&status));
		EXPECT_EQ(status.command[0], 0x2A) << "the pause's silence is the first write";
		std::vector<uint8> opcodes = Opcodes(drive.Drive());
		EXPECT_EQ(std::count(opcodes.begin(), opcodes.end(), 0xEC), 2) << "judged and calibrated";
		EXPECT_EQ(GetBe32(Last(drive.Drive(), 0xB3)->cdb.data() + 2), uint32(-150));
	}
	{
		SCOPED_TRACE("Yamaha: WRITE TRACK and the first writable address");
		CVirtualDrive drive(DialectConfig(CDriveConfig::kDialectYamaha, "YAMAHA", "CDR100"), Blank(), "drv-dunmere");
		int32 start = -1;
		ASSERT_TRUE(drive.Driver().OpenTrack(drive.Device(), 1, 0, 0, 150, 1000, 0, 1, nullptr, nullptr, &start,
			nullptr));
		EXPECT_EQ(start, 0);
		EXPECT_EQ(Last(drive.Drive(), 0xE6)->cdb[6], 0x0C);   // audio, copy
	}
	{
		SCOPED_TRACE("Philips: track page 21h, WRITE TRACK, first writable address");
		CVirtualDrive drive(DialectConfig(CDriveConfig::kDialectPhilips, "PHILIPS", "CDD2000"), Blank(), "drv-cadwick");
		int32 start = -1;
		ASSERT_TRUE(drive.Driver().OpenTrack(drive.Device(), 1, 0, 1, 150, 1000, 1, 0, nullptr, nullptr, &start,
			nullptr));
		EXPECT_EQ(start, 0);
		EXPECT_EQ(Last(drive.Drive(), 0xE6)->cdb[6], 5);   // audio with pre-emphasis
		EXPECT_EQ(drive.Drive().ModePage(0x21)[3], 5);
		EXPECT_EQ(drive.Drive().ModePage(0x23)[3] & 0x01, 0x01);   // test writing
	}
}
