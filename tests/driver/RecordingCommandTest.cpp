// The recording functions as far as a virtual drive answers them: the
// write parameters they set, the blocks they send, how they wait for a busy
// recorder, and how the drive's refusals come back. (The drives record
// nothing yet; the recording engine's tests write whole discs.)
#include "VirtualDriveFixture.h"

#include "addons/generic/DriveResponses.h"
#include "kit/support/ByteOrder.h"
#include "kit/kernel/OS.h"
#include "kit/support/Errors.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace drivertest;
using namespace emutest;

namespace {

std::shared_ptr<CDiscImage> Blank()
{
	return CDiscImage::CreateBlank(CDiscImage::kBlankCdR, 80);
}

CDriveConfig Dialect(CDriveConfig::dialect_type dialect, const char* vendor, const char* product)
{
	CDriveConfig config = TestConfig();
	config.dialect = dialect;
	config.vendor = vendor;
	config.product = product;
	return config;
}

size_t Count(const CMmcDrive& drive, uint8 opcode)
{
	size_t n = 0;
	for (const auto& record : drive.History())
		n += record.cdb[0] == opcode;
	return n;
}

}   // namespace

TEST(RecordingCommands, MmcTrackAtOnceSetsTheWriteParameters)
{
	CVirtualDrive drive(TestConfig(), Blank(), "drv-pellworth");
	CDriver& driver = drive.Driver();
	CDevice* device = drive.Device();
	int32 track = 0;
	ASSERT_TRUE(driver.GetNextTrackNumber(device, &track, nullptr));
	ASSERT_EQ(track, 1);
	int32 start = -1;
	SCSI_STATUS status;
	ASSERT_TRUE(driver.OpenTrack(device, 1, 0, 1, 150, 1000, 1, 1, "0123456789012", "USTW10000001", &start, &status));
	EXPECT_EQ(start, 0) << "the recorder writes the first track's two seconds itself";
	std::vector<uint8> page = drive.Drive().ModePage(0x05);
	ASSERT_GE(page.size(), 48u);
	EXPECT_EQ(page[2] & 0x0F, 0x01);   // track at once
	EXPECT_EQ(page[2] & 0x10, 0x10);   // test writing
	EXPECT_EQ(page[3] & 0x0F, 0x03);   // pre-emphasis, copy permitted
	EXPECT_EQ(page[4] & 0x0F, 0x00);   // raw 2352-byte blocks
	EXPECT_EQ(page[14] << 8 | page[15], 0);
	EXPECT_EQ(page[16], 0x80);
	EXPECT_EQ(std::string(page.begin() + 17, page.begin() + 30), "0123456789012");
	EXPECT_EQ(page[32], 0x80);
	EXPECT_EQ(std::string(page.begin() + 33, page.begin() + 45), "USTW10000001");

	// A longer pause is silence the host writes at the next writable
	// address; the drive cannot write yet and refuses it.
	EXPECT_FALSE(driver.OpenTrack(device, 1, 0, 0, 200, 1000, 0, 0, nullptr, nullptr, &start, &status));
	EXPECT_EQ(status.command[0], 0x2A);
	EXPECT_EQ(GetBe32(status.command + 2), 0u);
	EXPECT_EQ(GetBe16(status.command + 7), 26u);
	EXPECT_EQ(status.sense.AdditionalSenseCode, 0x20);
	page = drive.Drive().ModePage(0x05);
	EXPECT_EQ(page[14] << 8 | page[15], 50);
	EXPECT_EQ(page[16], 0x00) << "no catalogue number given";

	SCSI_STATUS refused;
	EXPECT_FALSE(driver.OpenTrack(device, 0, 0, 0, 0, 1000, 0, 0, nullptr, nullptr, &start, &refused));
	EXPECT_EQ(refused.os_status, B_BAD_VALUE);
}

TEST(RecordingCommands, MmcWritesAndClosingCommandsSendTheirBlocks)
{
	CVirtualDrive drive(TestConfig(), Blank(), "drv-pellworth");
	CDriver& driver = drive.Driver();
	CDevice* device = drive.Device();
	std::vector<uint8> data(27 * 2352);
	SCSI_STATUS status;
	EXPECT_FALSE(driver.Write(device, -150, data.data(), 27, 2352, &status));
	EXPECT_EQ(status.command[0], 0x2A);
	EXPECT_EQ(GetBe32(status.command + 2), uint32(-150));
	EXPECT_EQ(GetBe16(status.command + 7), 27u);
	auto write12 = Generic<decltype(CDriver::Write)>("Write_12");
	EXPECT_FALSE(write12(device, 4500, data.data(), 27, 2352, &status));
	EXPECT_EQ(status.command[0], 0xAA);
	EXPECT_EQ(GetBe32(status.command + 6), 27u);
	// Bad requests never reach the drive.
	size_t before = drive.Drive().History().size();
	EXPECT_FALSE(driver.Write(device, 0, data.data(), 0, 2352, &status));
	EXPECT_EQ(status.os_status, B_BAD_VALUE);
	EXPECT_FALSE(driver.Write(device, 0, nullptr, 1, 2352, &status));
	EXPECT_FALSE(driver.Write(device, 0, data.data(), 70000, 2352, &status));
	EXPECT_EQ(drive.Drive().History().size(), before);

	EXPECT_TRUE(driver.OptimumPowerCalibration(device, &status));
	EXPECT_EQ(status.command[0], 0x54);
	EXPECT_EQ(status.command[1] & 0x01, 0x01);
	EXPECT_TRUE(driver.CloseTrack(device, 1, &status));
	EXPECT_TRUE(driver.CloseSession(device, 4.0f, &status));
	EXPECT_EQ(status.command[0], 0x35);
	EXPECT_FALSE(driver.FixateDisc(device, 4.0f, &status));
	EXPECT_EQ(status.command[0], 0x5B);
	EXPECT_EQ(status.command[2], 0x02);   // close the session
}

TEST(RecordingCommands, ClosingWaitsWhileTheRecorderIsBusy)
{
	CVirtualDrive drive(TestConfig(), Blank(), "drv-pellworth");
	// The recorder answers "long write in progress" twice, then is ready.
	drive.Drive().AddCommandFault(mmc::kTestUnitReady, mmc::Sense(mmc::kNotReady, 0x04, 0x08), 2);
	SCSI_STATUS status;
	bigtime_t start = system_time();
	ASSERT_TRUE(drive.Driver().CloseSession(drive.Device(), 8.0f, &status));
	EXPECT_GE(system_time() - start, 2 * 200000);
	EXPECT_GE(status.time, 2 * 200000) << "the status record times the whole closing";
	EXPECT_EQ(Count(drive.Drive(), mmc::kTestUnitReady), 3u);

	// Any other error ends the wait at once.
	drive.Drive().AddCommandFault(mmc::kTestUnitReady, mmc::Sense(mmc::kMediumError, 0x0C, 0x00), 1);
	EXPECT_FALSE(drive.Driver().CloseSession(drive.Device(), 8.0f, &status));
	EXPECT_EQ(status.sense.SenseKey, 0x3);
	EXPECT_EQ(status.command[0], 0x00);
}

TEST(RecordingCommands, VendorClosingCommands)
{
	{
		CVirtualDrive drive(Dialect(CDriveConfig::kDialectTeac, "TEAC", "CD-R50S"), Blank(), "drv-ostrel");
		SCSI_STATUS status;
		EXPECT_FALSE(drive.Driver().CloseTrack(drive.Device(), 1, &status));
		EXPECT_EQ(status.command[0], 0xE1);   // WRITE PMA, not answered
		EXPECT_FALSE(drive.Driver().FixateDisc(drive.Device(), 1.0f, &status));
		EXPECT_EQ(status.os_status, B_NOT_ALLOWED) << "no session was opened";
		EXPECT_TRUE(drive.Driver().CloseSession(drive.Device(), 1.0f, &status));
		EXPECT_EQ(status.os_status, B_OK);
	}
	{
		CVirtualDrive drive(Dialect(CDriveConfig::kDialectPhilips, "PHILIPS", "CDD2000"), Blank(), "drv-cadwick");
		SCSI_STATUS status;
		int32 track = 0;
		ASSERT_TRUE(drive.Driver().GetNextTrackNumber(drive.Device(), &track, nullptr));
		EXPECT_EQ(track, 1);
		EXPECT_TRUE(drive.Driver().CloseTrack(drive.Device(), 1, &status));
		EXPECT_EQ(status.command[0], 0x35);
		EXPECT_FALSE(drive.Driver().FixateDisc(drive.Device(), 1.0f, &status));
		EXPECT_EQ(status.command[0], 0xE9);
		EXPECT_EQ(status.command_length, 10);
		EXPECT_EQ(drive.Drive().History().back().cdb[0], 0x15) << "the data blocks are selected again";
		// No lead-out to write (no session was opened), then SYNCHRONIZE CACHE.
		EXPECT_TRUE(drive.Driver().CloseSession(drive.Device(), 1.0f, &status));
		EXPECT_EQ(status.command[0], 0x35);
	}
	{
		CVirtualDrive drive(Dialect(CDriveConfig::kDialectYamaha, "YAMAHA", "CDR102"), Blank(), "drv-dunmere");
		SCSI_STATUS status;
		EXPECT_TRUE(drive.Driver().CloseTrack(drive.Device(), 1, &status));
		EXPECT_TRUE(drive.Driver().CloseSession(drive.Device(), 2.0f, &status));
		EXPECT_FALSE(drive.Driver().FixateDisc(drive.Device(), 2.0f, &status));
		EXPECT_EQ(status.command[0], 0xE9);
		int32 total = 0, free = 0;
		ASSERT_TRUE(drive.Driver().ReadBufferCapacity(drive.Device(), &total, &free, nullptr));
		EXPECT_GT(total, 0);

		// While it writes the lead-in the drive answers 9/B8h; the write is
		// repeated until something else comes back.
		drive.Drive().AddCommandFault(0x2A, mmc::Sense(0x09, 0xB8, 0x00), 3);
		std::vector<uint8> data(2352);
		EXPECT_FALSE(drive.Driver().Write(drive.Device(), -150, data.data(), 1, 2352, &status));
		EXPECT_EQ(Count(drive.Drive(), 0x2A), 4u);
		EXPECT_EQ(status.sense.AdditionalSenseCode, 0x20);
	}
}

TEST(RecordingCommands, TeacSpeedQueriesOfEveryModel)
{
	struct {
		const char* product;
		int32 code;
		float read;
		float write;
	} cases[] = {
		{"CD-R50S", 2, 4.0f, 4.0f},
		{"CD-R56S4", 255, 24.0f, -1.0f},
		{"CD-R56S4", 2, 4.0f, 4.0f},
		{"CD-R56S", 3, -1.0f, 6.0f},
		{"CD-R56S", 4, 8.0f, -1.0f},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.product);
		CVirtualDrive drive(Dialect(CDriveConfig::kDialectTeac, "TEAC", c.product), Blank(), "drv-ostrel");
		ASSERT_TRUE(drive.Driver().SpeedSet(drive.Device(), -1, c.code, nullptr));
		float read = 0, write = 0;
		ASSERT_TRUE(drive.Driver().SpeedGet(drive.Device(), &read, &write, nullptr));
		EXPECT_EQ(read, c.read);
		EXPECT_EQ(write, c.write);
	}
}
