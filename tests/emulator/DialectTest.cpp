// The vendor dialects of the virtual drive at the command-block level: the
// six-byte mode commands with their block descriptor, audio through READ(10)
// after selecting the CD-DA density, the families' vendor commands and
// pages, and the MMC additions they do not know.
#include "EmulatorTestUtil.h"

using namespace emutest;

namespace {

std::shared_ptr<CMmcDrive> Drive(CDriveConfig::dialect_type dialect, std::shared_ptr<CDiscImage> medium)
{
	CDriveConfig config = TestConfig();
	config.dialect = dialect;
	return std::make_shared<CMmcDrive>(config, std::move(medium));
}

std::shared_ptr<CDiscImage> Disc(const CTempFolder& folder, STestDisc* disc)
{
	*disc = MakeTestDisc(folder);
	std::shared_ptr<CDiscImage> image;
	std::string error;
	EXPECT_EQ(CDiscImage::LoadCue(disc->cuePath, &image, &error), B_OK) << error;
	return image;
}

SOutcome SelectDensity(CVirtualDevice& d, uint8 density, uint32 blockLength)
{
	std::vector<uint8> list = {0, 0, 0, 8, density, 0, 0, 0, 0, uint8(blockLength >> 16), uint8(blockLength >> 8),
		uint8(blockLength)};
	return Send(d, {0x15, 0, 0, 0, uint8(list.size()), 0}, list.data(), list.size(), true);
}

SOutcome Read10(CVirtualDevice& d, int32 lba, uint16 count, uint8* out, size_t length)
{
	uint32 a = uint32(lba);
	return Send(d, {0x28, 0, B3(a), B2(a), Hi(a), Lo(a), 0, Hi(count), Lo(count), 0}, out, length);
}

}   // namespace

TEST(DriveDialect, ReadTenReadsAudioAfterTheCdDaDensityIsSelected)
{
	CTempFolder folder;
	STestDisc disc;
	for (auto dialect : {CDriveConfig::kDialectPhilips, CDriveConfig::kDialectPlextor}) {
		auto drive = Drive(dialect, Disc(folder, &disc));
		std::vector<uint8> buffer(3 * 2352);
		// Data blocks of 2048 bytes: an audio disc has none.
		EXPECT_EQ(Read10(*drive, 10, 3, buffer.data(), buffer.size()).SenseText(), "5/64/00");
		ASSERT_TRUE(SelectDensity(*drive, 0x82, 2352).Good());
		ASSERT_TRUE(Read10(*drive, 10, 3, buffer.data(), buffer.size()).Good());
		std::vector<uint8> expected(disc.audio.begin() + 10 * 2352, disc.audio.begin() + 13 * 2352);
		if (dialect == CDriveConfig::kDialectPhilips) {
			for (size_t i = 0; i + 1 < expected.size(); i += 2)
				std::swap(expected[i], expected[i + 1]);
		}
		EXPECT_EQ(buffer, expected) << "Philips samples come big-endian";

		// The block descriptor reports the density, the disc's blocks and the
		// block length; DBD leaves it out.
		uint8 mode[64] = {};
		SOutcome o = Send(*drive, {0x1A, 0, 0x00, 0, sizeof(mode), 0}, mode, sizeof(mode));
		ASSERT_TRUE(o.Good());
		EXPECT_EQ(mode[0], 11);
		EXPECT_EQ(mode[3], 8);
		EXPECT_EQ(mode[4], 0x82);
		EXPECT_EQ(uint32(mode[5] << 16 | mode[6] << 8 | mode[7]), uint32(kLeadOut));
		EXPECT_EQ(uint32(mode[9] << 16 | mode[10] << 8 | mode[11]), 2352u);
		ASSERT_TRUE(Send(*drive, {0x1A, 0x08, 0x0E, 0, sizeof(mode), 0}, mode, sizeof(mode)).Good());
		EXPECT_EQ(mode[3], 0);
		EXPECT_EQ(mode[4] & 0x3F, 0x0E);
	}
}

TEST(DriveDialect, ModeSelectSixChecksItsBlockDescriptorAndPages)
{
	auto drive = Drive(CDriveConfig::kDialectTeac, CDiscImage::CreateBlank(CDiscImage::kBlankCdR, 80));
	EXPECT_EQ(SelectDensity(*drive, 0x05, 2352).SenseText(), "5/26/00") << "unknown density";
	EXPECT_EQ(SelectDensity(*drive, 0x82, 2340).SenseText(), "5/26/00") << "unsupported block length";
	// Density 04h (the Teac's audio writing density) with a speed page.
	std::vector<uint8> list = {0, 0, 0, 8, 0x04, 0, 0, 0, 0, 0, 0x09, 0x30, 0x31, 2, 3, 0};
	ASSERT_TRUE(Send(*drive, {0x15, 0x10, 0, 0, uint8(list.size()), 0}, list.data(), list.size(), true).Good());
	EXPECT_EQ(drive->ModePage(0x31)[2], 3);
	// A byte the page does not let change: nothing changes, not even the
	// block descriptor.
	list[4] = 0x82;
	list[15] = 1;
	EXPECT_EQ(Send(*drive, {0x15, 0x10, 0, 0, uint8(list.size()), 0}, list.data(), list.size(), true).SenseText(),
		"5/26/00");
	uint8 mode[12] = {};
	ASSERT_TRUE(Send(*drive, {0x1A, 0, 0x00, 0, sizeof(mode), 0}, mode, sizeof(mode)).Good());
	EXPECT_EQ(mode[4], 0x04);
	EXPECT_EQ(mode[11], 0x30);
	// The MMC pages are not there.
	EXPECT_EQ(Send(*drive, {0x1A, 0, 0x2A, 0, sizeof(mode), 0}, mode, sizeof(mode)).SenseText(), "5/24/00");
	EXPECT_TRUE(drive->ModePage(0x05).empty());
}

TEST(DriveDialect, VendorFamiliesDoNotKnowTheMmcAdditions)
{
	CTempFolder folder;
	STestDisc disc;
	auto drive = Drive(CDriveConfig::kDialectTeac, Disc(folder, &disc));
	uint8 buffer[2352];
	EXPECT_EQ(ReadCd(*drive, 0, 1, buffer, sizeof(buffer)).SenseText(), "5/20/00");
	EXPECT_EQ(SetCdSpeed(*drive, 0xFFFF, 0xFFFF).SenseText(), "5/20/00");
	EXPECT_EQ(Send(*drive, {0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, buffer, 34).SenseText(), "5/20/00");
	std::vector<uint8> out;
	EXPECT_EQ(ReadToc(*drive, 5, false, 0, &out).SenseText(), "5/24/00") << "no CD-Text";
	EXPECT_TRUE(ReadToc(*drive, 0, false, 0, &out).Good());
	EXPECT_TRUE(ReadCdDa(*drive, 0, 1, buffer, sizeof(buffer)).Good());
	// The Philips family reads audio only through READ(10).
	auto philips = Drive(CDriveConfig::kDialectPhilips, Disc(folder, &disc));
	EXPECT_EQ(ReadCdDa(*philips, 0, 1, buffer, sizeof(buffer)).SenseText(), "5/20/00");
	// An MMC drive knows no vendor command.
	auto mmc = Drive(CDriveConfig::kDialectMmc, Disc(folder, &disc));
	EXPECT_EQ(Send(*mmc, {0xE7, 0, 0, 0, 0, 0, 0, 0, 1, 0}).SenseText(), "5/20/00");
}

TEST(DriveDialect, TeacSubcodesAreCheckedForTheirFormat)
{
	auto drive = Drive(CDriveConfig::kDialectTeac, CDiscImage::CreateBlank(CDiscImage::kBlankCdR, 80));
	std::vector<uint8> subcode = {1, 0x01, 0x01, 0x00};
	auto setSubcode = [&](std::vector<uint8> data) {
		return Send(*drive, {0xC2, 0, 0, 0, 0, 0, 0, Hi(uint32(data.size())), Lo(uint32(data.size())), 0},
			data.data(), data.size(), true);
	};
	auto setLimits = [&](int32 start, uint32 length) {
		uint32 a = uint32(start);
		return Send(*drive, {0xB3, 0, B3(a), B2(a), Hi(a), Lo(a), B3(length), B2(length), Hi(length), Lo(length), 0,
			0});
	};
	EXPECT_EQ(setSubcode(subcode).SenseText(), "5/2C/00") << "no range set yet";
	ASSERT_TRUE(setLimits(-150, 150).Good());
	EXPECT_TRUE(setSubcode(subcode).Good());
	EXPECT_EQ(setSubcode({1, 0x01, 0x1A, 0x00}).SenseText(), "5/26/00") << "track number not BCD";
	EXPECT_EQ(setLimits(-151, 10).SenseText(), "5/24/00");
	// The TOC: one track and the points A0, A1 and A2.
	std::vector<uint8> toc = {0, 0, 0, 0x01, 0x01, 0x00, 0x02, 0x00, 0x01, 0xA0, 0x01, 0x00, 0x00, 0x01, 0xA1, 0x01,
		0x00, 0x00, 0x01, 0xA2, 0x00, 0x22, 0x00};
	EXPECT_TRUE(setSubcode(toc).Good());
	toc[21] = 0x60;   // 60 seconds
	EXPECT_EQ(setSubcode(toc).SenseText(), "5/26/00");
	uint8 address[4] = {0xEE, 0xEE, 0xEE, 0xEE};
	EXPECT_TRUE(Send(*drive, {0xE6, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0}, address, 4).Good());
	EXPECT_EQ(Be32(address), 0u);
	EXPECT_TRUE(Send(*drive, {0xEC, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}).Good());

	// A pressed disc can be neither judged nor written.
	CTempFolder folder;
	STestDisc disc;
	auto pressed = Drive(CDriveConfig::kDialectTeac, Disc(folder, &disc));
	EXPECT_EQ(Send(*pressed, {0xEC, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}).SenseText(), "5/CD/00");
	EXPECT_EQ(Send(*pressed, {0xE6, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0}, address, 4).SenseText(),
		"5/21/00");
}

TEST(DriveDialect, PhilipsAndYamahaVendorCommands)
{
	auto philips = Drive(CDriveConfig::kDialectPhilips, CDiscImage::CreateBlank(CDiscImage::kBlankCdR, 80));
	uint8 info[6] = {};
	ASSERT_TRUE(Send(*philips, {0xEE, 0, 0, 0, 0, 0, 0, 0, 4, 0}, info, 4).Good());
	EXPECT_GT(Be16(info), 0) << "lead-in length";
	EXPECT_EQ(Be16(info + 2), 6750) << "lead-out length";
	ASSERT_TRUE(Send(*philips, {0xE2, 0, 0, 4, 0, 0, 0, 0, 6, 0}, info, 6).Good());
	EXPECT_EQ(info[0], 5);
	EXPECT_EQ(Be32(info + 1), 0u);
	EXPECT_EQ(Send(*philips, {0xE2, 0, 0, 7, 0, 0, 0, 0, 6, 0}, info, 6).SenseText(), "5/24/00");
	// WRITE SESSION: descriptors of 20 bytes with ascending addresses.
	std::vector<uint8> session(20, 0);
	session[1] = 20;
	session[19] = 100;   // end 100
	EXPECT_TRUE(Send(*philips, {0xED, 0, 0, 0, 0, 0, 0, 0, 20, 0}, session.data(), 20, true).Good());
	session[15] = 200;   // start after the end
	EXPECT_EQ(Send(*philips, {0xED, 0, 0, 0, 0, 0, 0, 0, 20, 0}, session.data(), 20, true).SenseText(), "5/26/00");
	// The tray moves with MEDIUM LOAD/UNLOAD.
	ASSERT_TRUE(Send(*philips, {0xE7, 0, 0, 0, 0, 0, 0, 0, 1, 0}).Good());
	EXPECT_EQ(TestUnitReady(*philips).SenseText(), "2/3A/02");

	auto yamaha = Drive(CDriveConfig::kDialectYamaha, CDiscImage::CreateBlank(CDiscImage::kBlankCdR, 74));
	uint8 capacity[8];
	ASSERT_TRUE(Send(*yamaha, {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, capacity, 8).Good());
	EXPECT_EQ(Be32(capacity + 4), 0u) << "a writable disc has block length 0";
	EXPECT_EQ(int32(Be32(capacity)), MsfToLba(73, 59, 74));
	std::vector<uint8> cue = {0x01, 0x00, 0x00, 0, 0, 0x00, 0x00, 0x00, 0x01, 0x01, 0x01, 0, 0, 0x00, 0x02, 0x00,
		0x01, 0xAA, 0x01, 0, 0, 0x00, 0x22, 0x00};
	EXPECT_TRUE(Send(*yamaha, {0xEA, 0, 0, 0, 0, 0, 0, 0, 24, 0}, cue.data(), cue.size(), true).Good());
	cue[14] = 0x0A;   // not BCD
	EXPECT_EQ(Send(*yamaha, {0xEA, 0, 0, 0, 0, 0, 0, 0, 24, 0}, cue.data(), cue.size(), true).SenseText(), "5/26/00");
	EXPECT_TRUE(Send(*yamaha, {0xE6, 0, 0, 0, 0, 0, 0x04, 0, 0, 0}).Good()) << "WRITE TRACK, ten bytes";
}

TEST(DriveConfigParse, ReadsTheDialect)
{
	std::vector<CDriveConfig> drives;
	std::string error;
	ASSERT_EQ(CDriveConfig::Parse("[drive]\ndialect = Philips\n[drive]\n", "/", &drives, &error), B_OK) << error;
	ASSERT_EQ(drives.size(), 2u);
	EXPECT_EQ(drives[0].dialect, CDriveConfig::kDialectPhilips);
	EXPECT_EQ(drives[1].dialect, CDriveConfig::kDialectMmc);
	EXPECT_EQ(CDriveConfig::Parse("[drive]\ndialect = sony\n", "/", &drives, &error), B_BAD_DATA);
	EXPECT_NE(error.find("line 2"), std::string::npos) << error;
}
