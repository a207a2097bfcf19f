// The command library against virtual MMC drives, through real raw commands:
// table of contents and keys of a disc made at test time, audio reads,
// CD-Text, playing and the sub-channel, speeds, mode pages, disc
// information and ATIP, the status record and the command log.
#include "VirtualDriveFixture.h"

#include "disc/CdTextDecoder.h"
#include "disc/Toc.h"
#include "frame/Diagnostics.h"
#include "kit/support/Errors.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <vector>

using namespace drivertest;
using namespace emutest;

namespace {

std::shared_ptr<CDiscImage> LoadDisc(const STestDisc& disc)
{
	std::shared_ptr<CDiscImage> image;
	std::string error;
	EXPECT_EQ(CDiscImage::LoadCue(disc.cuePath, &image, &error), B_OK) << error;
	return image;
}

std::vector<uint8> ImageSectors(const STestDisc& disc, int32 lba, int32 count)
{
	auto begin = disc.audio.begin() + ptrdiff_t(lba) * 2352;
	return std::vector<uint8>(begin, begin + ptrdiff_t(count) * 2352);
}

class CommandLibrary : public testing::Test {
protected:
	CTempFolder fFolder;
	STestDisc fDisc = MakeTestDisc(fFolder);
};

}   // namespace

TEST_F(CommandLibrary, TableOfContentsWithPausesFlagsAndKeys)
{
	CVirtualDrive drive(TestConfig(), LoadDisc(fDisc), "drv-pellworth");
	CToc* toc = drive.Device()->GetToc();
	toc->Lock();
	toc->MakeEmpty();
	SCSI_STATUS status;
	ASSERT_TRUE(drive.Driver().ReadToc(drive.Device(), toc, &status));
	EXPECT_EQ(toc->TrackCount(), 3);
	// Each track's LBA is where its pause begins; the pauses come from the
	// sub-channel (track 2: index 0 at 300, index 1 at 450).
	const int32 lba[] = {0, kTrack2Pregap, kTrack3Pregap};
	const int32 size[] = {kTrack2Pregap, kTrack3Pregap - kTrack2Pregap, kLeadOut - kTrack3Pregap};
	const int32 pause[] = {0, kTrack2Start - kTrack2Pregap, kTrack3Start - kTrack3Pregap};
	for (int n = 1; n <= 3; n++) {
		EXPECT_EQ(toc->TrackLBA(n), lba[n - 1]) << n;
		EXPECT_EQ(toc->TrackSize(n), size[n - 1]) << n;
		EXPECT_EQ(toc->TrackPauseSize(n), pause[n - 1]) << n;
		EXPECT_FALSE(toc->TrackPreEmphasis(n));
		EXPECT_FALSE(toc->TrackDataTrack(n));
	}
	EXPECT_EQ(toc->TrackTrackLBA(2), kTrack2Start);
	EXPECT_TRUE(toc->TrackCopyAllowed(2));   // FLAGS DCP
	EXPECT_FALSE(toc->TrackCopyAllowed(1));

	// Keys from the TOC's starts: lead-out 1350 is 00:20.00; the tracks
	// last 6, 7 and 5 whole seconds between their starts.
	int key = 0, minutes = -1, seconds = -1;
	toc->GetCdTracksCdKey(&key);
	EXPECT_EQ(key, 0x002000);
	const int expectedSeconds[] = {6, 7, 5};
	for (int n = 1; n <= 3; n++) {
		toc->GetCdTracksTrackKey(n, &minutes, &seconds);
		EXPECT_EQ(minutes, 0);
		EXPECT_EQ(seconds, expectedSeconds[n - 1]) << n;
	}
	toc->Unlock();
	EXPECT_GT(status.time, 0);
}

TEST_F(CommandLibrary, DrivesWithoutSubChannelGiveTracksWithoutPauses)
{
	CDriveConfig config = TestConfig();
	config.capabilities.cddaCommands = false;   // READ CD of audio is refused
	CVirtualDrive drive(config, LoadDisc(fDisc), "drv-pellworth");
	CToc* toc = drive.Device()->GetToc();
	toc->Lock();
	ASSERT_TRUE(drive.Driver().ReadToc(drive.Device(), toc, nullptr));
	EXPECT_EQ(toc->TrackCount(), 3);
	EXPECT_EQ(toc->TrackLBA(2), kTrack2Start);
	EXPECT_EQ(toc->TrackPauseSize(2), 0);
	EXPECT_EQ(toc->TrackSize(2), kTrack3Start - kTrack2Start);
	toc->Unlock();
}

TEST_F(CommandLibrary, MmcAndOperatingSystemReadsAreBitIdenticalToTheImage)
{
	for (bool atapi : {false, true}) {
		CDriveConfig config = TestConfig();
		config.atapi = atapi;
		CVirtualDrive drive(config, LoadDisc(fDisc), "drv-pellworth");
		EXPECT_EQ(drive.Device()->IsAtapi(), atapi);
		// 150 sectors: more than one command's worth.
		std::vector<uint8> buffer(150 * 2352);
		SCSI_STATUS status;
		ASSERT_TRUE(drive.Driver().ReadAudio(drive.Device(), buffer.data(), 400, 150, &status));
		EXPECT_EQ(buffer, ImageSectors(fDisc, 400, 150));
		EXPECT_EQ(status.command[0], 0xBE);
		EXPECT_EQ(status.command_length, 12);

		auto readBeOS = Generic<decltype(CDriver::ReadAudio)>("ReadAudio_BeOS");
		std::vector<uint8> os(20 * 2352);
		ASSERT_TRUE(readBeOS(drive.Device(), os.data(), 1330, 20, &status));
		EXPECT_EQ(os, ImageSectors(fDisc, 1330, 20));
		EXPECT_EQ(status.command_length, 0);
		// Past the lead-out neither reads.
		EXPECT_FALSE(drive.Driver().ReadAudio(drive.Device(), buffer.data(), 1300, 51, &status));
		EXPECT_EQ(status.scsi_status, SCSI_STATUS_CHECK_CONDITION);
		EXPECT_EQ(status.sense.SenseKey, 0x5);
		EXPECT_EQ(status.sense.AdditionalSenseCode, 0x21);
		EXPECT_FALSE(readBeOS(drive.Device(), os.data(), 1340, 20, &status));
		EXPECT_NE(status.os_status, B_OK);
	}
}

TEST_F(CommandLibrary, CdTextPacksDecodeToTheSheetsTexts)
{
	CVirtualDrive drive(TestConfig(), LoadDisc(fDisc), "drv-pellworth");
	std::vector<uint8> buffer(CCdTextDecoder::kBufferSize, 0xEE);
	SCSI_STATUS status;
	ASSERT_TRUE(drive.Driver().ReadCdText(drive.Device(), buffer.data(), int32(buffer.size()), &status));
	const std::vector<uint8>& packs = drive.Drive().Medium()->CdTextPacks();
	ASSERT_FALSE(packs.empty());
	EXPECT_EQ((buffer[0] << 8 | buffer[1]), int(packs.size() + 2));
	EXPECT_TRUE(std::equal(packs.begin(), packs.end(), buffer.begin() + 4));
	EXPECT_EQ(buffer[4 + packs.size()], 0) << "the rest of the buffer is cleared";
	CCdTextDecoder decoder;
	ASSERT_TRUE(decoder.Init(buffer.data(), int(buffer.size())));
	EXPECT_STREQ(decoder.Title(0), "Test Album");
	EXPECT_STREQ(decoder.Artist(0), "Test Artist");
	EXPECT_STREQ(decoder.Title(2), "Second Song");
	EXPECT_STREQ(decoder.Artist(3), "Singer Three");
}

TEST_F(CommandLibrary, PlayingMovesTheSubChannelPosition)
{
	auto clock = std::make_shared<CManualDriveClock>();
	CVirtualDrive drive(TestConfig(), LoadDisc(fDisc), "drv-pellworth", clock);
	CDriver& driver = drive.Driver();
	CDevice* device = drive.Device();
	uint8 position[16];
	auto read = [&]() {
		memset(position, 0xEE, sizeof(position));
		EXPECT_TRUE(driver.ReadSubChannelCurrentPosition(device, position, nullptr));
	};
	auto be32 = [](const uint8* p) { return int32(uint32(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]); };

	ASSERT_TRUE(driver.PlayAudioTrack(device, 2, nullptr));
	read();
	EXPECT_EQ(position[1], 0x11);   // playing
	EXPECT_EQ(position[6], 2);
	EXPECT_EQ(be32(position + 8), kTrack2Start);
	EXPECT_EQ(be32(position + 12), 0);
	clock->Advance(2000000);   // 150 sectors later: index 2 of track 2
	read();
	EXPECT_EQ(be32(position + 8), kTrack2Start + 150);
	EXPECT_EQ(position[7], 2);

	ASSERT_TRUE(driver.PauseAudio(device, nullptr));
	clock->Advance(1000000);
	read();
	EXPECT_EQ(position[1], 0x12);   // paused, not moving
	EXPECT_EQ(be32(position + 8), kTrack2Start + 150);
	ASSERT_TRUE(driver.ResumeAudio(device, nullptr));

	// From a position inside track 3's pause; the relative address counts
	// towards the track's start.
	ASSERT_TRUE(driver.PlayAudioPosition(device, kTrack3Pregap + 10, nullptr));
	read();
	EXPECT_EQ(position[6], 3);
	EXPECT_EQ(position[7], 0);
	EXPECT_EQ(be32(position + 12), kTrack3Pregap + 10 - kTrack3Start);
	ASSERT_TRUE(driver.StopAudio(device, nullptr));
	read();
	EXPECT_NE(position[1], 0x11);

	SCSI_STATUS status;
	EXPECT_FALSE(driver.PlayAudioTrack(device, 4, &status));
	EXPECT_EQ(status.os_status, B_BAD_INDEX);
	EXPECT_FALSE(driver.PlayAudioPosition(device, kLeadOut, &status));
	EXPECT_EQ(status.os_status, B_BAD_VALUE);

	char text[16];
	ASSERT_TRUE(driver.ReadSubChannelMCN(device, text, nullptr));
	EXPECT_STREQ(text, "0123456789012");
	ASSERT_TRUE(driver.ReadSubChannelISRC(device, 1, text, nullptr));
	EXPECT_STREQ(text, "USTW10000001");
	ASSERT_TRUE(driver.ReadSubChannelISRC(device, 2, text, nullptr));
	EXPECT_STREQ(text, "");
}

TEST_F(CommandLibrary, MmcSpeedsAreSetAndReadBack)
{
	CVirtualDrive drive(TestConfig(), LoadDisc(fDisc), "drv-pellworth");
	CDriver& driver = drive.Driver();
	CDevice* device = drive.Device();
	float read = 0, write = 0;
	SCSI_STATUS status;
	// 8X as the speed tables write it (176.4 x + 1); the drive counts 176
	// kB/s a factor.
	ASSERT_TRUE(driver.SpeedSet(device, 1412, -1, &status));
	EXPECT_EQ(status.command[0], 0xBB);
	ASSERT_TRUE(driver.SpeedGet(device, &read, &write, &status));
	EXPECT_FLOAT_EQ(read, 8.0f);
	EXPECT_FLOAT_EQ(write, 16.0f);   // unchanged: the maximum
	ASSERT_TRUE(driver.SpeedSet(device, -1, 706, nullptr));
	ASSERT_TRUE(driver.SpeedGet(device, &read, &write, nullptr));
	EXPECT_FLOAT_EQ(read, 8.0f) << "a speed of -1 stays as it was";
	EXPECT_FLOAT_EQ(write, 4.0f);
	// A request between the drive's speeds gets the one below it; 65535 the
	// maximum.
	ASSERT_TRUE(driver.SpeedSet(device, 2117, 65535, nullptr));
	ASSERT_TRUE(driver.SpeedGet(device, &read, nullptr, nullptr));
	EXPECT_FLOAT_EQ(read, 8.0f);
	ASSERT_TRUE(driver.SpeedGet(device, nullptr, &write, nullptr));
	EXPECT_FLOAT_EQ(write, 16.0f);
}

TEST_F(CommandLibrary, ModePagesRoundTrip)
{
	CVirtualDrive drive(TestConfig(), LoadDisc(fDisc), "drv-pellworth");
	CDriver& driver = drive.Driver();
	CDevice* device = drive.Device();
	uint8 data[160];
	ASSERT_TRUE(driver.ModeSense(device, data, sizeof(data), 0x0E, 0, nullptr));
	int offset = 8 + (data[6] << 8 | data[7]);
	ASSERT_EQ(data[offset] & 0x3F, 0x0E);
	EXPECT_EQ(data[offset + 2] & 0x02, 0);
	int length = offset + 2 + data[offset + 1];
	data[0] = data[1] = 0;
	data[offset] &= 0x3F;
	data[offset + 2] |= 0x02;   // stop on track crossing
	SCSI_STATUS status;
	ASSERT_TRUE(driver.ModeSelect(device, data, length, 1, 0, &status));
	EXPECT_EQ(status.command[0], 0x55);
	EXPECT_EQ(status.command[1], 0x10);
	memset(data, 0, sizeof(data));
	ASSERT_TRUE(driver.ModeSense(device, data, sizeof(data), 0x0E, 0, nullptr));
	EXPECT_EQ(data[offset + 2] & 0x02, 0x02);

	// A field the drive cannot change is refused with the field pointer.
	data[0] = data[1] = 0;
	data[offset] &= 0x3F;
	data[offset + 3] ^= 0x10;
	EXPECT_FALSE(driver.ModeSelect(device, data, length, 1, 0, &status));
	EXPECT_EQ(status.sense.SenseKey, 0x5);
	EXPECT_EQ(status.sense.AdditionalSenseCode, 0x26);

	// A short buffer gets a header that matches what arrived.
	uint8 small[12];
	memset(small, 0xEE, sizeof(small));
	ASSERT_TRUE(driver.ModeSense(device, small, sizeof(small), 0x2A, 0, nullptr));
	EXPECT_EQ(small[0] << 8 | small[1], 10);
	EXPECT_EQ(small[8] & 0x3F, 0x2A);
}

TEST_F(CommandLibrary, DiscInformationAndAtipOfABlankMedium)
{
	for (CDiscImage::medium_kind kind : {CDiscImage::kBlankCdR, CDiscImage::kBlankCdRw}) {
		CVirtualDrive drive(TestConfig(), CDiscImage::CreateBlank(kind, 74), "drv-pellworth");
		SCSI_DISC_INFORMATION information;
		SCSI_STATUS status;
		ASSERT_TRUE(drive.Driver().ReadDiscInformation(drive.Device(), &information, &status));
		EXPECT_EQ(information.DiscStatus, 0);   // empty
		EXPECT_EQ(information.Erasable, kind == CDiscImage::kBlankCdRw ? 1 : 0);
		EXPECT_EQ(information.LastPossibleStartTimeOfLeadout[0], 73);
		EXPECT_EQ(information.LastPossibleStartTimeOfLeadout[1], 59);
		EXPECT_EQ(information.LastPossibleStartTimeOfLeadout[2], 74);
		EXPECT_EQ(information.DataLength[1], 32);

		SCSI_ATIP_DATA atip;
		ASSERT_TRUE(drive.Driver().ReadAtipData(drive.Device(), &atip, &status));
		EXPECT_EQ(status.command[1] & 0x02, 0x02) << "ATIP times come as MSF";
		EXPECT_EQ(atip.DiscType, kind == CDiscImage::kBlankCdRw ? 1 : 0);
		EXPECT_EQ(atip.LastPossibleStartTimeOfLeadout[0], 73);
		EXPECT_GE(atip.StartTimeOfLeadin[0], 90);   // the lead-in lies before 00:00:00

		int32 total = 0, free = 0;
		ASSERT_TRUE(drive.Driver().ReadBufferCapacity(drive.Device(), &total, &free, nullptr));
		EXPECT_EQ(total, 2048 * 1024);
		EXPECT_EQ(free, total);
		int32 track = 0;
		ASSERT_TRUE(drive.Driver().GetNextTrackNumber(drive.Device(), &track, nullptr));
		EXPECT_EQ(track, 1);
		uint8 trackInformation[36];
		ASSERT_TRUE(drive.Driver().ReadTrackInformation(drive.Device(), 1, trackInformation,
			sizeof(trackInformation), nullptr));
		EXPECT_EQ(trackInformation[6] & 0x40, 0x40);   // blank
	}

	// A pressed disc has no ATIP and is complete.
	CVirtualDrive pressed(TestConfig(), LoadDisc(fDisc), "drv-pellworth");
	SCSI_DISC_INFORMATION information;
	ASSERT_TRUE(pressed.Driver().ReadDiscInformation(pressed.Device(), &information, nullptr));
	EXPECT_EQ(information.DiscStatus, 2);
	SCSI_ATIP_DATA atip;
	EXPECT_FALSE(pressed.Driver().ReadAtipData(pressed.Device(), &atip, nullptr));
	int32 track = 0;
	SCSI_STATUS status;
	EXPECT_FALSE(pressed.Driver().GetNextTrackNumber(pressed.Device(), &track, &status));
	EXPECT_EQ(status.os_status, B_READ_ONLY_DEVICE);
}

TEST_F(CommandLibrary, StatusRecordsTellTheWholeOutcome)
{
	CVirtualDrive drive(TestConfig(), LoadDisc(fDisc), "drv-pellworth");
	CDriver& driver = drive.Driver();
	CDevice* device = drive.Device();
	SCSI_STATUS status;
	memset(&status, 0xEE, sizeof(status));
	ASSERT_TRUE(driver.TestUnitReady(device, &status));
	EXPECT_EQ(status.os_status, B_OK);
	EXPECT_EQ(status.scsi_status, SCSI_STATUS_GOOD);
	EXPECT_EQ(status.cam_status, CAM_REQ_CMP);
	EXPECT_EQ(status.command_length, 6);
	const uint8 tur[16] = {};
	EXPECT_EQ(memcmp(status.command, tur, 16), 0);
	EXPECT_EQ(status.sense.SenseKey, 0);
	EXPECT_GE(status.time, 0);

	// Removal prevented: the eject fails with its sense from autosense.
	ASSERT_TRUE(driver.MediumPreventRemoval(device, nullptr));
	EXPECT_FALSE(driver.MediumEject(device, &status));
	EXPECT_EQ(status.scsi_status, SCSI_STATUS_CHECK_CONDITION);
	EXPECT_EQ(status.cam_status & CAM_AUTOSNS_VALID, CAM_AUTOSNS_VALID);
	EXPECT_EQ(status.sense.SenseKey, 0x5);
	EXPECT_EQ(status.sense.AdditionalSenseCode, 0x53);
	EXPECT_EQ(status.sense.AdditionalSenseCodeQualifier, 0x02);
	EXPECT_EQ(status.command[0], 0x1B);
	EXPECT_EQ(status.command[4], 0x02);
	ASSERT_TRUE(driver.MediumAllowRemoval(device, nullptr));
	ASSERT_TRUE(driver.MediumEject(device, nullptr));
	EXPECT_FALSE(driver.TestUnitReady(device, &status));
	EXPECT_EQ(status.sense.SenseKey, 0x2);
	EXPECT_EQ(status.sense.AdditionalSenseCode, 0x3A);
	EXPECT_EQ(status.sense.AdditionalSenseCodeQualifier, 0x02);   // tray open
	ASSERT_TRUE(driver.MediumLoad(device, nullptr));
	// The loaded medium raises a unit attention once; the library asks again.
	EXPECT_TRUE(driver.TestUnitReady(device, &status));
	EXPECT_EQ(status.sense.SenseKey, 0);
	EXPECT_TRUE(driver.TestUnitReady(device, nullptr));
	EXPECT_TRUE(driver.StartUnit(device, nullptr));
	EXPECT_TRUE(driver.StopUnit(device, nullptr));

	// A command to an unregistered drive fails in the request itself.
	UnregisterVirtualDevices();
	EXPECT_FALSE(driver.TestUnitReady(device, &status));
	EXPECT_NE(status.os_status, B_OK);
	EXPECT_EQ(status.command_length, 6);
	// No device at all is refused before anything is sent.
	EXPECT_FALSE(driver.TestUnitReady(nullptr, &status));
	EXPECT_EQ(status.os_status, B_BAD_VALUE);
}

TEST_F(CommandLibrary, CommandsAreLoggedByNameWhenTheDrivesDebugFlagIsSet)
{
	CVirtualDrive drive(TestConfig(), LoadDisc(fDisc), "drv-pellworth");
	char* text = nullptr;
	size_t size = 0;
	FILE* memory = open_memstream(&text, &size);
	FILE* previous = SetDebugOutput(memory);
	uint32 flags = GetDebugFlags();
	SetDebugFlags(flags | DEBUG_FLAG_SCSI_LOG);

	drive.Driver().TestUnitReady(drive.Device(), nullptr);   // flag clear: silent
	drive.Device()->EnableDebug(true);
	drive.Driver().TestUnitReady(drive.Device(), nullptr);
	uint8 buffer[2352];
	drive.Driver().ReadAudio(drive.Device(), buffer, kLeadOut, 1, nullptr);

	SetDebugFlags(flags);
	SetDebugOutput(previous);
	fclose(memory);
	std::string log(text, size);
	free(text);
	EXPECT_EQ(log.find("TEST UNIT READY"), log.rfind("TEST UNIT READY")) << log;
	EXPECT_NE(log.find("TEST UNIT READY (00h)"), std::string::npos) << log;
	EXPECT_NE(log.find(" us"), std::string::npos) << log;
	EXPECT_NE(log.find("READ CD (BEh)"), std::string::npos) << log;
	EXPECT_NE(log.find("sense 5/21/00"), std::string::npos) << log;
}

TEST_F(CommandLibrary, DummiesSucceedOrFailAsTheirCallersRelyOn)
{
	CVirtualDrive drive(TestConfig(), LoadDisc(fDisc));
	CDevice* device = drive.Device();
	SCSI_STATUS status;
	float read = 0, write = 0;
	EXPECT_TRUE(Generic<decltype(CDriver::SpeedSet)>("SpeedSet_Dummy")(device, 1412, 706, &status));
	EXPECT_EQ(status.command_length, 0);
	EXPECT_TRUE(Generic<decltype(CDriver::SpeedGet)>("SpeedGet_Dummy")(device, &read, &write, &status));
	EXPECT_EQ(read, -1.0f);
	EXPECT_EQ(write, -1.0f);
	EXPECT_TRUE(Generic<decltype(CDriver::CddaReadEnable)>("CddaReadEnable_Dummy")(device, &status));
	EXPECT_TRUE(Generic<decltype(CDriver::CddaReadDisable)>("CddaReadDisable_Dummy")(device, &status));
	EXPECT_TRUE(Generic<decltype(CDriver::OptimumPowerCalibration)>("OptimumPowerCalibration_Dummy")(device, &status));
	uint8 text[8] = {0, 0, 1, 2, 3, 4, 5, 6};
	EXPECT_TRUE(Generic<decltype(CDriver::ReadCdText)>("ReadCdText_Dummy")(device, text, sizeof(text), &status));
	EXPECT_EQ(text[2], 1) << "the buffer is left alone";
	int32 total = 7, free = 7;
	EXPECT_FALSE(
		Generic<decltype(CDriver::ReadBufferCapacity)>("ReadBufferCapacity_Dummy")(device, &total, &free, &status));
	EXPECT_EQ(status.os_status, B_NOT_SUPPORTED);
	SCSI_ATIP_DATA atip;
	EXPECT_FALSE(Generic<decltype(CDriver::ReadAtipData)>("ReadAtipData_Dummy")(device, &atip, &status));
	EXPECT_EQ(status.os_status, B_NOT_SUPPORTED);
}

TEST_F(CommandLibrary, RecordingCommandsAsFarAsTheDriveAnswers)
{
	CVirtualDrive drive(TestConfig(), CDiscImage::CreateBlank(CDiscImage::kBlankCdR, 80), "drv-pellworth");
	CDriver& driver = drive.Driver();
	CDevice* device = drive.Device();
	// The cue sheet of one track: 150 pause sectors and 1000 audio sectors.
	const uint8 cue[] = {0x01, 0x00, 0x00, 0x01, 0, 0, 0, 0, 0x01, 0x01, 0x00, 0x00, 0, 0, 0, 0, 0x01, 0x01, 0x01,
		0x00, 0, 0, 2, 0, 0x01, 0xAA, 0x01, 0x01, 0, 0, 15, 25};
	int32 first = 0;
	SCSI_STATUS status;
	// The write parameters page is set for session at once, then the drive
	// refuses SEND CUE SHEET, which it does not know.
	EXPECT_FALSE(driver.OpenSession(device, 0, 1, cue, sizeof(cue), &first, &status));
	EXPECT_EQ(status.command[0], 0x5D);
	EXPECT_EQ(status.sense.SenseKey, 0x5);
	EXPECT_EQ(status.sense.AdditionalSenseCode, 0x20);
	uint8 page[64];
	ASSERT_TRUE(driver.ModeSense(device, page, sizeof(page), 0x05, 0, nullptr));
	EXPECT_EQ(page[8 + 2] & 0x0F, 0x02);   // session at once
	EXPECT_EQ(page[8 + 2] & 0x10, 0x10);   // test write
	// BURN-Proof on a drive without it is refused by the page.
	EXPECT_FALSE(driver.OpenSession(device, 1, 0, cue, sizeof(cue), &first, &status));
	EXPECT_EQ(status.command[0], 0x55);
	EXPECT_EQ(status.sense.AdditionalSenseCode, 0x26);
	// A cue sheet that is no cue sheet is refused before anything is sent.
	EXPECT_FALSE(driver.OpenSession(device, 0, 0, cue, 12, &first, &status));
	EXPECT_EQ(status.os_status, B_BAD_VALUE);
	EXPECT_EQ(status.command_length, 0);
}
