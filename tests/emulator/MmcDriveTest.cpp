// The command rules of a virtual drive: identity, sense codes, medium
// changes, mode pages, speeds, blank media and injected faults.
#include "EmulatorTestUtil.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

using namespace emutest;

namespace {

std::shared_ptr<CMmcDrive> BlankDrive(CDriveConfig config = TestConfig(),
	CDiscImage::medium_kind kind = CDiscImage::kBlankCdR, int minutes = 80)
{
	return std::make_shared<CMmcDrive>(config, CDiscImage::CreateBlank(kind, minutes));
}

std::shared_ptr<CMmcDrive> DiscDrive(const CTempFolder& folder, CDriveConfig config = TestConfig(),
	std::shared_ptr<CDriveClock> clock = nullptr)
{
	STestDisc disc = MakeTestDisc(folder);
	std::shared_ptr<CDiscImage> image;
	std::string error;
	EXPECT_EQ(CDiscImage::LoadCue(disc.cuePath, &image, &error), B_OK) << error;
	return std::make_shared<CMmcDrive>(config, image, std::move(clock));
}

// A clock whose waits block until the test opens the gate: shows what the
// drive does while a command waits. Waits are bounded so that a broken
// drive fails the test instead of hanging it.
class CGateClock : public CDriveClock {
public:
	bigtime_t Now() const override { return 1000000; }
	void WaitUntil(bigtime_t when) override
	{
		std::unique_lock<std::mutex> lock(fLock);
		fWaiting = true;
		fWaitedFor = when;
		fChanged.notify_all();
		fChanged.wait_for(lock, std::chrono::seconds(10), [this] { return fOpen; });
		fWaiting = false;
	}
	bool WaitForWaiter()
	{
		std::unique_lock<std::mutex> lock(fLock);
		return fChanged.wait_for(lock, std::chrono::seconds(10), [this] { return fWaiting; });
	}
	void Open()
	{
		std::lock_guard<std::mutex> lock(fLock);
		fOpen = true;
		fChanged.notify_all();
	}
	bigtime_t WaitedFor()
	{
		std::lock_guard<std::mutex> lock(fLock);
		return fWaitedFor;
	}

private:
	std::mutex fLock;
	std::condition_variable fChanged;
	bool fWaiting = false;
	bool fOpen = false;
	bigtime_t fWaitedFor = 0;
};

}   // namespace

TEST(MmcDriveIdentity, InquiryHonoursTheAllocationLength)
{
	CDriveConfig config = TestConfig();
	config.vendor = "PLEXTOR";
	config.product = "CD-R   PX-W4012A";
	config.revision = "1.05";
	config.peripheralType = 4;
	auto drive = BlankDrive(config);

	uint8 data[128];
	std::memset(data, 0xEE, sizeof(data));
	SOutcome o = Send(*drive, {0x12, 0, 0, 0, 36, 0}, data, sizeof(data));
	ASSERT_TRUE(o.Good());
	EXPECT_EQ(o.camStatus, CAM_DATA_RUN_ERR) << "36 of 128 bytes";
	EXPECT_EQ(o.residual, 128u - 36);
	EXPECT_EQ(data[36], 0xEE) << "nothing beyond the allocation length";
	EXPECT_EQ(data[0], 4);
	EXPECT_EQ(data[1] & 0x80, 0x80) << "removable";
	EXPECT_EQ(data[3] & 0x0F, 2) << "response data format";
	EXPECT_EQ(std::string(reinterpret_cast<char*>(data + 8), 8), "PLEXTOR ");
	EXPECT_EQ(std::string(reinterpret_cast<char*>(data + 16), 16), "CD-R   PX-W4012A");
	EXPECT_EQ(std::string(reinterpret_cast<char*>(data + 32), 4), "1.05");

	// 56 bytes, as discovery asks: all there, no underrun.
	o = Send(*drive, {0x12, 0, 0, 0, 56, 0}, data, 56);
	EXPECT_EQ(o.camStatus, CAM_REQ_CMP);
	EXPECT_EQ(data[4] + 5, 96) << "additional length";

	EXPECT_EQ(Send(*drive, {0x12, 0, 0x80, 0, 56, 0}, data, 56).SenseText(), "5/24/00") << "page without EVPD";
	EXPECT_EQ(Send(*drive, {0x12, 1, 0x80, 0, 56, 0}, data, 56).camStatus, CAM_DATA_RUN_ERR);
	EXPECT_EQ(std::string(reinterpret_cast<char*>(data + 4), data[3]), "TWVIRTUAL");
	EXPECT_EQ(drive->PeripheralType(), 4);
}

TEST(MmcDriveSense, ErrorsCarryTheirSenseCodes)
{
	CTempFolder folder;
	auto drive = DiscDrive(folder);
	uint8 buffer[4096];

	SOutcome o = Send(*drive, {0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
	EXPECT_EQ(o.scsiStatus, SCSI_STATUS_CHECK_CONDITION);
	EXPECT_EQ(o.camStatus, CAM_REQ_CMP_ERR | CAM_AUTOSNS_VALID);
	EXPECT_EQ(o.SenseText(), "5/20/00") << "unknown operation code";
	EXPECT_EQ(o.sense[0], 0x70);
	EXPECT_EQ(o.sense[7], 10);

	// The sense stays for a following REQUEST SENSE, then clears.
	uint8 sense[18] = {};
	ASSERT_TRUE(Send(*drive, {0x03, 0, 0, 0, 18, 0}, sense, sizeof(sense)).Good());
	EXPECT_EQ(sense[2], 0x05);
	EXPECT_EQ(sense[12], 0x20);
	ASSERT_TRUE(Send(*drive, {0x03, 0, 0, 0, 18, 0}, sense, sizeof(sense)).Good());
	EXPECT_EQ(sense[2], 0x00);
	EXPECT_EQ(sense[12], 0x00);

	// Bad fields: with the field pointer.
	o = ReadCd(*drive, 0, 1, buffer, sizeof(buffer), 0, 0x10, 7);
	EXPECT_EQ(o.SenseText(), "5/24/00") << "sector type 7";
	EXPECT_EQ(o.sense[15], 0xC0) << "SKSV, in the command block";
	EXPECT_EQ(Be16(o.sense + 16), 1);
	EXPECT_EQ(ReadCd(*drive, 0, 1, buffer, sizeof(buffer), 4).SenseText(), "5/24/00") << "R-W sub-channel";
	std::vector<uint8> toc;
	EXPECT_EQ(ReadToc(*drive, 0, false, 4, &toc).SenseText(), "5/24/00") << "no track 4";
	EXPECT_EQ(ReadToc(*drive, 3, false, 0, &toc).SenseText(), "5/24/00") << "PMA";
	EXPECT_EQ(ReadToc(*drive, 4, false, 0, &toc).SenseText(), "5/24/00") << "no ATIP on a pressed disc";
	std::vector<uint8> sub;
	EXPECT_EQ(ReadSubChannel(*drive, 3, false, 9, &sub).SenseText(), "5/24/00") << "ISRC of track 9";
	EXPECT_EQ(Send(*drive, {0x48, 0, 0, 0, 7, 1, 0, 7, 1, 0}).SenseText(), "5/24/00") << "play track 7";
	EXPECT_EQ(PlayMsf(*drive, 900, 800).SenseText(), "5/24/00") << "start after end";
	EXPECT_EQ(ReadCd(*drive, 0, 1, buffer, sizeof(buffer), 0, 0x10, 2).SenseText(), "5/64/00")
		<< "mode 1 sector type on an audio track";
	EXPECT_EQ(Send(*drive, {0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0}, buffer, 2048).SenseText(), "5/64/00")
		<< "READ(10) of audio";

	// Addresses past the disc, none transferred.
	o = ReadCd(*drive, kLeadOut - 1, 2, buffer, sizeof(buffer));
	EXPECT_EQ(o.SenseText(), "5/21/00");
	EXPECT_EQ(o.residual, sizeof(buffer));
	EXPECT_EQ(ReadCd(*drive, -1, 1, buffer, sizeof(buffer)).SenseText(), "5/21/00");
	EXPECT_EQ(ReadCdDa(*drive, 0x7FFFFFFF, 1, buffer, sizeof(buffer)).SenseText(), "5/21/00");
	EXPECT_EQ(Send(*drive, {0x45, 0, 0, 0, 0x05, 0x46, 0, 0, 1, 0}).SenseText(), "5/21/00") << "play at 1350";
	EXPECT_EQ(drive->ReadAudio(kLeadOut, 1, buffer), B_BAD_VALUE);

	// A READ CD that asks for nothing moves nothing and succeeds.
	o = ReadCd(*drive, 0, 0, buffer, 0);
	EXPECT_TRUE(o.Good());

	// A buffer too small for the sectors asked for is filled and the
	// overrun reported by the adapter, with nothing left over.
	o = ReadCd(*drive, 0, 2, buffer, 3000);
	EXPECT_EQ(o.scsiStatus, SCSI_STATUS_GOOD);
	EXPECT_EQ(o.residual, 0u);
	EXPECT_EQ(o.camStatus, CAM_DATA_RUN_ERR);
}

TEST(MmcDriveSense, DataDirectionAndShortCommandBlocksAreRefusedByTheAdapter)
{
	auto drive = BlankDrive();
	uint8 data[64];
	raw_device_command command {};
	command.command[0] = 0x12;
	command.command[4] = 36;
	command.command_length = 6;
	command.flags = 0;   // INQUIRY without the data-in flag
	command.data = data;
	command.data_length = 36;
	EXPECT_EQ(drive->Execute(&command), B_OK);
	EXPECT_EQ(command.cam_status, CAM_REQ_INVALID);

	command.command[0] = 0x43;   // READ TOC in a 6-byte block
	command.flags = B_RAW_DEVICE_DATA_IN;
	EXPECT_EQ(drive->Execute(&command), B_OK);
	EXPECT_EQ(command.cam_status, CAM_REQ_INVALID);

	command.command_length = 20;
	EXPECT_EQ(drive->Execute(&command), B_BAD_VALUE);
	command.command_length = 10;
	command.data = nullptr;
	EXPECT_EQ(drive->Execute(&command), B_BAD_VALUE);
	EXPECT_EQ(drive->Execute(nullptr), B_BAD_VALUE);
}

TEST(MmcDriveMedium, NoMediumTrayAndUnitAttention)
{
	CTempFolder folder;
	auto empty = std::make_shared<CMmcDrive>(TestConfig(), nullptr);
	EXPECT_EQ(TestUnitReady(*empty).SenseText(), "2/3A/00");
	std::vector<uint8> toc;
	EXPECT_EQ(ReadToc(*empty, 0, false, 0, &toc).SenseText(), "2/3A/00");
	uint8 buffer[2352];
	EXPECT_EQ(empty->ReadAudio(0, 1, buffer), B_DEV_NO_MEDIA);
	// Commands that need no medium still work.
	std::vector<uint8> page;
	EXPECT_TRUE(ModeSense(*empty, 0x2A, 0, &page).Good());
	EXPECT_TRUE(SetCdSpeed(*empty, 0xFFFF, 0xFFFF).Good());

	// The first medium raises no unit attention; a new one does, once.
	auto drive = DiscDrive(folder);
	EXPECT_TRUE(TestUnitReady(*drive).Good());
	ASSERT_TRUE(Send(*drive, {0x1B, 0, 0, 0, 0x02, 0}).Good()) << "eject";
	EXPECT_EQ(TestUnitReady(*drive).SenseText(), "2/3A/02") << "tray open";
	ASSERT_TRUE(Send(*drive, {0x1B, 0, 0, 0, 0x03, 0}).Good()) << "load";
	uint8 inquiry[36];
	EXPECT_TRUE(Send(*drive, {0x12, 0, 0, 0, 36, 0}, inquiry, 36).Good()) << "INQUIRY passes a unit attention";
	EXPECT_EQ(TestUnitReady(*drive).SenseText(), "6/28/00");
	EXPECT_TRUE(TestUnitReady(*drive).Good());

	// Removal prevented: eject refused, by command and by hand.
	ASSERT_TRUE(Send(*drive, {0x1E, 0, 0, 0, 0x01, 0}).Good());
	ASSERT_TRUE(ModeSense(*drive, 0x2A, 0, &page).Good());
	EXPECT_EQ(page[8 + 6] & 0x02, 0x02) << "lock state in page 2Ah";
	EXPECT_EQ(Send(*drive, {0x1B, 0, 0, 0, 0x02, 0}).SenseText(), "5/53/02");
	EXPECT_EQ(drive->EjectMedium(), B_NOT_ALLOWED);
	EXPECT_TRUE(TestUnitReady(*drive).Good());
	ASSERT_TRUE(Send(*drive, {0x1E, 0, 0, 0, 0x00, 0}).Good());
	EXPECT_EQ(drive->EjectMedium(), B_OK);
	EXPECT_EQ(TestUnitReady(*drive).SenseText(), "2/3A/02");

	// A drive that can neither lock nor eject refuses both.
	CDriveConfig fixedTray = TestConfig();
	fixedTray.capabilities.lock = fixedTray.capabilities.eject = false;
	auto fixed = DiscDrive(folder, fixedTray);
	EXPECT_EQ(Send(*fixed, {0x1E, 0, 0, 0, 0x01, 0}).SenseText(), "5/24/00");
	EXPECT_EQ(Send(*fixed, {0x1B, 0, 0, 0, 0x02, 0}).SenseText(), "5/24/00");
	EXPECT_TRUE(TestUnitReady(*fixed).Good());

	// Inserting by hand: unit attention, reported by REQUEST SENSE too.
	drive->InsertMedium(CDiscImage::CreateBlank(CDiscImage::kBlankCdRw, 74));
	uint8 sense[18];
	ASSERT_TRUE(Send(*drive, {0x03, 0, 0, 0, 18, 0}, sense, sizeof(sense)).Good());
	EXPECT_EQ(sense[2], 0x06);
	EXPECT_EQ(sense[12], 0x28);
	EXPECT_TRUE(TestUnitReady(*drive).Good());
}

TEST(MmcDriveMedium, BlankMediaReportAtipAndAnEmptyDisc)
{
	auto drive = BlankDrive(TestConfig(), CDiscImage::kBlankCdR, 80);
	std::vector<uint8> atip;
	ASSERT_TRUE(ReadToc(*drive, 4, false, 0, &atip).Good());
	ASSERT_EQ(atip.size(), 28u);
	EXPECT_EQ(Be16(&atip[0]), 26);
	EXPECT_EQ(atip[6] & 0x40, 0) << "CD-R";
	EXPECT_EQ(atip[5] & 0x40, 0x40) << "URU: a disc for unrestricted use";
	int32 leadIn = MsfToLba(atip[8], atip[9], atip[10]);
	int32 leadOut = MsfToLba(atip[12], atip[13], atip[14]);
	EXPECT_LT(leadIn, 0);
	EXPECT_EQ(atip[12], 79);
	EXPECT_EQ(atip[13], 59);
	EXPECT_EQ(atip[14], 74);
	EXPECT_EQ(leadOut, 359849);

	uint8 disc[34];
	ASSERT_TRUE(Send(*drive, {0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, disc, sizeof(disc)).Good());
	EXPECT_EQ(disc[2] & 0x1F, 0x00) << "empty disc, empty session, not erasable";
	EXPECT_EQ(disc[7] & 0x20, 0x20) << "URU";
	EXPECT_EQ(MsfToLba(disc[17], disc[18], disc[19]), leadIn);
	EXPECT_EQ(MsfToLba(disc[21], disc[22], disc[23]), leadOut);

	uint8 track[36];
	ASSERT_TRUE(Send(*drive, {0x52, 0x01, 0, 0, 0, 0xFF, 0, 0, 36, 0}, track, sizeof(track)).Good());
	EXPECT_EQ(track[6] & 0x40, 0x40) << "blank";
	EXPECT_EQ(track[7] & 0x01, 0x01) << "next writable address valid";
	EXPECT_EQ(Be32(track + 16), uint32(leadOut)) << "free blocks";

	std::vector<uint8> toc;
	EXPECT_EQ(ReadToc(*drive, 0, false, 0, &toc).SenseText(), "5/24/00") << "no TOC on a blank disc";
	uint8 buffer[2352];
	EXPECT_EQ(ReadCd(*drive, 0, 1, buffer, sizeof(buffer)).SenseText(), "5/21/00");

	auto rw = BlankDrive(TestConfig(), CDiscImage::kBlankCdRw, 74);
	ASSERT_TRUE(ReadToc(*rw, 4, false, 0, &atip).Good());
	EXPECT_EQ(atip[6] & 0x40, 0x40) << "CD-RW";
	EXPECT_EQ(atip[12], 73);
	ASSERT_TRUE(Send(*rw, {0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, disc, sizeof(disc)).Good());
	EXPECT_EQ(disc[2] & 0x10, 0x10) << "erasable";
}

TEST(MmcDriveModePages, PagesAnswerWithTheTenByteHeader)
{
	CDriveConfig config = TestConfig();
	config.capabilities.bufferKb = 4096;
	config.capabilities.supportsFua = true;
	auto drive = BlankDrive(config);

	std::vector<uint8> all;
	ASSERT_TRUE(ModeSense(*drive, 0x3F, 0, &all).Good());
	EXPECT_EQ(Be16(&all[0]), all.size() - 2);
	EXPECT_EQ(all[3] & 0x10, 0x10) << "DPOFUA";
	EXPECT_EQ(Be16(&all[6]), 0) << "no block descriptors";
	std::vector<uint8> codes;
	for (size_t i = 8; i + 2 <= all.size(); i += 2 + all[i + 1])
		codes.push_back(all[i] & 0x3F);
	EXPECT_EQ(codes, (std::vector<uint8> {0x01, 0x05, 0x0D, 0x0E, 0x2A}));

	std::vector<uint8> caps;
	ASSERT_TRUE(ModeSense(*drive, 0x2A, 0, &caps, 106).Good());
	const uint8* p = &caps[8];
	EXPECT_EQ(p[0], 0x2A) << "capabilities are not savable: PS clear";
	EXPECT_EQ(p[1], 30 + 4 * 5) << "five write speed descriptors";
	EXPECT_EQ(p[2] & 0x03, 0x03) << "reads CD-R and CD-RW";
	EXPECT_EQ(p[3] & 0x07, 0x07) << "writes CD-R, CD-RW, test write";
	EXPECT_EQ(p[5] & 0x63, 0x63) << "CD-DA, accurate stream, ISRC, MCN";
	EXPECT_EQ(p[5] & 0x0C, 0x04) << "R-W served (raw P-W), not de-interleaved";
	EXPECT_EQ(Be16(p + 8), 7056) << "40X at 176.4 kB/s, as real drives count";
	EXPECT_EQ(Be16(p + 12), 4096);
	EXPECT_EQ(Be16(p + 14), CDriveConfig::SpeedKbs(40));
	EXPECT_EQ(Be16(p + 18), CDriveConfig::SpeedKbs(16));
	EXPECT_EQ(Be16(p + 20), CDriveConfig::SpeedKbs(16));
	EXPECT_EQ(Be16(p + 30), 5);
	EXPECT_EQ(Be16(p + 32 + 2), CDriveConfig::SpeedKbs(16)) << "fastest descriptor first";
	EXPECT_EQ(Be16(p + 32 + 4 * 4 + 2), 176);

	std::vector<uint8> page;
	ASSERT_TRUE(ModeSense(*drive, 0x0D, 0, &page).Good());
	EXPECT_EQ(page[8], 0x80 | 0x0D) << "savable: PS set";
	EXPECT_EQ(Be16(&page[8 + 4]), 60);
	EXPECT_EQ(Be16(&page[8 + 6]), 75);
	ASSERT_TRUE(ModeSense(*drive, 0x0D, 1, &page).Good());
	EXPECT_EQ(page[8 + 3], 0x0F) << "changeable: the inactivity timer";
	EXPECT_EQ(ModeSense(*drive, 0x2A, 3, &page).SenseText(), "5/39/00");
	EXPECT_EQ(ModeSense(*drive, 0x1C, 0, &page).SenseText(), "5/24/00");
	EXPECT_EQ(Send(*drive, {0x5A, 0, 0x0D, 0x01, 0, 0, 0, 0, 64, 0}, page.data(), 64).SenseText(), "5/24/00")
		<< "subpage";

	// A reader has no write parameters page.
	CDriveConfig reader = TestConfig();
	reader.capabilities.writeCdR = reader.capabilities.writeCdRw = reader.capabilities.testWrite = false;
	reader.capabilities.writeSpeeds.clear();
	auto readOnly = BlankDrive(reader);
	EXPECT_EQ(ModeSense(*readOnly, 0x05, 0, &page).SenseText(), "5/24/00");
	ASSERT_TRUE(ModeSense(*readOnly, 0x2A, 0, &page).Good());
	EXPECT_EQ(page[8 + 3] & 0x07, 0);
	EXPECT_EQ(page[8 + 1], 30);
}

TEST(MmcDriveModePages, ModeSelectFollowsThePageFormatRules)
{
	auto drive = BlankDrive();
	// What the device object does: sense page 0Dh, clear the header's first
	// six bytes and the page's PS bit, change the timer, select it.
	std::vector<uint8> sensed;
	ASSERT_TRUE(ModeSense(*drive, 0x0D, 0, &sensed).Good());
	std::vector<uint8> list(sensed.begin(), sensed.begin() + 16);
	std::fill(list.begin(), list.begin() + 6, 0);
	list[8] &= 0x3F;
	list[11] = 0x05;
	ASSERT_TRUE(ModeSelect(*drive, list).Good());
	ASSERT_TRUE(ModeSense(*drive, 0x0D, 0, &sensed).Good());
	EXPECT_EQ(sensed[11], 0x05);
	ASSERT_TRUE(ModeSense(*drive, 0x0D, 3, &sensed).Good());
	EXPECT_EQ(sensed[11], 0x00) << "not saved without SP";
	ASSERT_TRUE(ModeSelect(*drive, list, 0x11).Good());
	ASSERT_TRUE(ModeSense(*drive, 0x0D, 3, &sensed).Good());
	EXPECT_EQ(sensed[11], 0x05) << "saved with SP";

	auto expectFails = [&](std::vector<uint8> bad, const char* sense, uint16 field, const char* what,
		uint8 byte1 = 0x10) {
		SOutcome o = ModeSelect(*drive, bad, byte1);
		EXPECT_EQ(o.SenseText(), sense) << what;
		if (std::string(sense) == "5/26/00") {
			EXPECT_EQ(o.sense[15], 0x80) << what << ": field pointer in the parameter list";
			EXPECT_EQ(Be16(o.sense + 16), field) << what;
		}
	};
	auto with = [&](size_t index, uint8 value) {
		std::vector<uint8> v = list;
		v[index] = value;
		return v;
	};
	expectFails(list, "5/24/00", 0, "page format bit clear", 0x00);
	expectFails(with(1, 14), "5/26/00", 1, "mode data length in the header");
	expectFails(with(7, 8), "5/26/00", 6, "block descriptor length");
	expectFails(with(8, 0x8D), "5/26/00", 8, "PS bit set");
	expectFails(with(9, 0x08), "5/26/00", 9, "wrong page length");
	expectFails(with(13, 61), "5/26/00", 13, "unchangeable S units per M unit");
	expectFails(with(8, 0x1C), "5/26/00", 8, "unknown page");
	expectFails(std::vector<uint8>(list.begin(), list.begin() + 12), "5/1A/00", 0, "page cut short");
	expectFails(std::vector<uint8>(list.begin(), list.begin() + 5), "5/1A/00", 0, "header cut short");
	// An unchanged capabilities page is accepted; changing it is not.
	std::vector<uint8> caps;
	ASSERT_TRUE(ModeSense(*drive, 0x2A, 0, &caps).Good());
	std::fill(caps.begin(), caps.begin() + 8, 0);
	caps[8] &= 0x3F;
	EXPECT_TRUE(ModeSelect(*drive, caps).Good());
	caps[8 + 15] ^= 0x01;
	EXPECT_EQ(ModeSelect(*drive, caps).SenseText(), "5/26/00") << "current read speed";

	// Write parameters: changeable write type, checked values.
	std::vector<uint8> write;
	ASSERT_TRUE(ModeSense(*drive, 0x05, 0, &write).Good());
	ASSERT_EQ(write.size(), 8u + 52);
	std::fill(write.begin(), write.begin() + 8, 0);
	write[8] &= 0x3F;
	write[10] = 0x12;   // test write, session at once
	ASSERT_TRUE(ModeSelect(*drive, write).Good());
	write[10] = 0x04;   // layer jump: not on CD
	EXPECT_EQ(ModeSelect(*drive, write).SenseText(), "5/26/00");
	// Nothing of a refused list is applied, even its valid first page.
	std::vector<uint8> two = list;
	two[11] = 0x09;
	two.insert(two.end(), write.begin() + 8, write.end());
	EXPECT_EQ(ModeSelect(*drive, two).SenseText(), "5/26/00");
	ASSERT_TRUE(ModeSense(*drive, 0x0D, 0, &sensed).Good());
	EXPECT_EQ(sensed[11], 0x05);
}

TEST(MmcDriveSpeeds, SetCdSpeedIsClampedAndReportedInThePage)
{
	CDriveConfig config = TestConfig();
	config.capabilities.readSpeeds = {CDriveConfig::SpeedKbs(4), CDriveConfig::SpeedKbs(8), CDriveConfig::SpeedKbs(16), CDriveConfig::SpeedKbs(24)};
	config.capabilities.writeSpeeds = {CDriveConfig::SpeedKbs(2), CDriveConfig::SpeedKbs(4), CDriveConfig::SpeedKbs(8)};
	auto drive = BlankDrive(config);
	auto current = [&](uint16* read, uint16* write) {
		std::vector<uint8> page;
		ASSERT_TRUE(ModeSense(*drive, 0x2A, 0, &page).Good());
		*read = Be16(&page[8 + 14]);
		*write = Be16(&page[8 + 20]);
	};
	struct {
		uint16 askRead, askWrite, read, write;
	} cases[] = {
		{0xFFFF, 0xFFFF, CDriveConfig::SpeedKbs(24), CDriveConfig::SpeedKbs(8)},   // maximum
		{1412, 706, CDriveConfig::SpeedKbs(8), CDriveConfig::SpeedKbs(4)},         // 8x and 4x as the speed table asks them
		{2000, 1000, CDriveConfig::SpeedKbs(8), CDriveConfig::SpeedKbs(4)},        // between speeds: the lower one
		{177, 177, CDriveConfig::SpeedKbs(4), CDriveConfig::SpeedKbs(2)},          // below the slowest: the slowest
		{0, 0, CDriveConfig::SpeedKbs(4), CDriveConfig::SpeedKbs(2)},
		{60000, 60000, CDriveConfig::SpeedKbs(24), CDriveConfig::SpeedKbs(8)},     // above the fastest: the fastest
	};
	for (const auto& c : cases) {
		ASSERT_TRUE(SetCdSpeed(*drive, c.askRead, c.askWrite).Good());
		uint16 read, write;
		current(&read, &write);
		EXPECT_EQ(read, c.read) << "asked " << c.askRead;
		EXPECT_EQ(write, c.write) << "asked " << c.askWrite;
	}
	EXPECT_EQ(Send(*drive, {0xBB, 0x02, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0}).SenseText(), "5/24/00")
		<< "reserved rotational control";

	uint8 capacity[12];
	ASSERT_TRUE(Send(*drive, {0x5C, 0, 0, 0, 0, 0, 0, 0, 12, 0}, capacity, sizeof(capacity)).Good());
	EXPECT_EQ(Be16(capacity), 10);
	EXPECT_EQ(Be32(capacity + 4), 2048u * 1024);
	EXPECT_EQ(Be32(capacity + 8), 2048u * 1024);
}

TEST(MmcDriveFaults, InjectedFaultsStrikeAndWearOff)
{
	CTempFolder folder;
	CDriveConfig config = TestConfig();
	config.notReady = 2;
	config.mediumErrors.push_back({100, 2});
	config.commandFaults.push_back({0x43, mmc::Sense(0x04, 0x44, 0x00), 1});
	auto drive = DiscDrive(folder, config);

	EXPECT_EQ(TestUnitReady(*drive).SenseText(), "2/04/01");
	EXPECT_EQ(TestUnitReady(*drive).SenseText(), "2/04/01");
	EXPECT_TRUE(TestUnitReady(*drive).Good());

	std::vector<uint8> toc;
	EXPECT_EQ(ReadToc(*drive, 0, false, 0, &toc).SenseText(), "4/44/00");
	EXPECT_TRUE(ReadToc(*drive, 0, false, 0, &toc).Good());

	// The medium error at 100 strikes twice: the sectors before it arrive,
	// the sense names the bad address.
	const size_t sector = kCdAudioSectorSize;
	std::vector<uint8> data(20 * sector);
	SOutcome o = ReadCd(*drive, 90, 20, data.data(), data.size());
	EXPECT_EQ(o.SenseText(), "3/11/00");
	EXPECT_EQ(o.sense[0], 0xF0) << "information field valid";
	EXPECT_EQ(Be32(o.sense + 3), 100u);
	EXPECT_EQ(o.residual, 10 * sector);
	EXPECT_EQ(ReadCdDa(*drive, 95, 10, data.data(), data.size()).SenseText(), "3/11/00");
	EXPECT_TRUE(ReadCd(*drive, 90, 20, data.data(), data.size()).Good()) << "recovered after two attempts";

	// Faults added at run time; an endless one until cleared.
	drive->AddMediumError(500, -1);
	uint8 one[2352];
	for (int i = 0; i < 3; i++)
		EXPECT_EQ(drive->ReadAudio(500, 1, one), B_DEV_READ_ERROR);
	EXPECT_EQ(drive->ReadAudio(499, 1, one), B_OK);
	drive->AddCommandFault(0x00, mmc::Sense(0x02, 0x04, 0x07), -1);
	EXPECT_EQ(TestUnitReady(*drive).SenseText(), "2/04/07");
	EXPECT_EQ(TestUnitReady(*drive).SenseText(), "2/04/07");
	drive->ClearFaults();
	EXPECT_TRUE(TestUnitReady(*drive).Good());
	EXPECT_EQ(drive->ReadAudio(500, 1, one), B_OK);

	// Not ready only concerns the medium: identity and mode pages answer.
	drive->SetNotReady(-1);
	uint8 inquiry[36];
	EXPECT_TRUE(Send(*drive, {0x12, 0, 0, 0, 36, 0}, inquiry, 36).Good());
	EXPECT_EQ(TestUnitReady(*drive).SenseText(), "2/04/01");
}

TEST(MmcDriveFaults, ConcurrentCommandsAreSerialised)
{
	CTempFolder folder;
	auto drive = DiscDrive(folder);
	std::vector<std::thread> threads;
	std::atomic<int> failures {0};
	for (int t = 0; t < 4; t++) {
		threads.emplace_back([&, t] {
			std::vector<uint8> data(8 * kCdAudioSectorSize);
			std::vector<uint8> sub;
			for (int i = 0; i < 50; i++) {
				if (!ReadCd(*drive, (t * 97 + i * 13) % (kLeadOut - 8), 8, data.data(), data.size()).Good())
					failures++;
				if (!ReadSubChannel(*drive, 1, false, 0, &sub).Good())
					failures++;
				if (!SetCdSpeed(*drive, CDriveConfig::SpeedKbs(1 + i % 40), 0xFFFF).Good())
					failures++;
			}
		});
	}
	for (auto& thread : threads)
		thread.join();
	EXPECT_EQ(failures.load(), 0);
}

// A timed drive spends the time of its reads on its own clock, one command
// after the other, and holds no lock while it waits.
TEST(MmcDriveTiming, ReadsTakeTheirTimeOnTheDriveClockWithoutHoldingTheDrive)
{
	CTempFolder folder;
	CDriveConfig config = TestConfig();
	config.realTime = true;
	config.capabilities.readSpeeds = {CDriveConfig::SpeedKbs(4), CDriveConfig::SpeedKbs(8)};
	auto clock = std::make_shared<CManualDriveClock>(5000000);
	auto drive = DiscDrive(folder, config, clock);
	ASSERT_TRUE(SetCdSpeed(*drive, CDriveConfig::SpeedKbs(4), 0xFFFF).Good());

	// 75 sectors at 4x take a quarter of a second; the READ CD returns when
	// the clock has reached its end.
	std::vector<uint8> data(75 * kCdAudioSectorSize);
	ASSERT_TRUE(ReadCd(*drive, 0, 75, data.data(), data.size()).Good());
	EXPECT_NEAR(double(clock->Now() - 5000000), 250000.0, 500.0);
	// The operating system's audio read is timed alike; commands without
	// data take no time.
	std::vector<uint8> audio(150 * kCdAudioSectorSize);
	ASSERT_EQ(drive->ReadAudio(0, 150, audio.data()), B_OK);
	EXPECT_NEAR(double(clock->Now() - 5000000), 750000.0, 1000.0);
	ASSERT_TRUE(TestUnitReady(*drive).Good());
	EXPECT_NEAR(double(clock->Now() - 5000000), 750000.0, 1000.0);
	// An untimed drive answers in no time.
	CTempFolder other;
	auto instantClock = std::make_shared<CManualDriveClock>(5000000);
	auto instant = DiscDrive(other, TestConfig(), instantClock);
	ASSERT_TRUE(ReadCd(*instant, 0, 75, data.data(), data.size()).Good());
	EXPECT_EQ(instantClock->Now(), 5000000);

	// While one read waits for its time, the drive takes other commands.
	auto gate = std::make_shared<CGateClock>();
	CTempFolder third;
	auto gated = DiscDrive(third, config, gate);
	auto read = std::async(std::launch::async, [&] { return ReadCd(*gated, 0, 75, data.data(), data.size()); });
	ASSERT_TRUE(gate->WaitForWaiter());
	EXPECT_GT(gate->WaitedFor(), 1000000) << "the read waits for its end";
	auto probe = std::async(std::launch::async, [&] { return TestUnitReady(*gated); });
	bool answered = probe.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
	gate->Open();
	EXPECT_TRUE(answered) << "a waiting command keeps the drive locked";
	EXPECT_TRUE(read.get().Good());
	EXPECT_TRUE(probe.get().Good());
}
