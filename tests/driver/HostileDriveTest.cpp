// Answers no drive should give: lengths beyond what arrived, residuals beyond
// the buffer, tables that contradict themselves. The command library clamps
// every length to what it got and refuses what it cannot use.
#include "AddOnImages.h"

#include "devices/Device.h"
#include "disc/Toc.h"
#include "kit/device/RawDevice.h"
#include "kit/device/VirtualDevice.h"
#include "kit/support/ByteOrder.h"
#include "kit/support/Errors.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

using namespace drivertest;

namespace {

// Answers every data-in command with the same bytes; GOOD status.
class CScriptedDrive : public CVirtualDevice {
public:
	std::vector<uint8> answer;
	bool lieAboutResidual = false;   // report a residual larger than the buffer
	bool checkWithoutAutosense = false;   // CHECK CONDITION; sense only on REQUEST SENSE
	std::deque<std::vector<uint8>> senses;   // autosense of the next commands, one each
	int commands = 0;                        // commands other than REQUEST SENSE

	status_t Execute(raw_device_command* command) override
	{
		if (command->command[0] != 0x03)
			commands++;
		if (!senses.empty() && command->command[0] != 0x03) {
			std::vector<uint8> sense = std::move(senses.front());
			senses.pop_front();
			size_t n = std::min(sense.size(), command->sense_data_length);
			memcpy(command->sense_data, sense.data(), n);
			command->scsi_status = SCSI_STATUS_CHECK_CONDITION;
			command->cam_status = CAM_REQ_CMP_ERR | CAM_AUTOSNS_VALID;
			// Nothing moved: data_length stays as the whole residual.
			if ((command->flags & B_RAW_DEVICE_REPORT_RESIDUAL) != 0)
				command->sense_data_length -= n;
			return B_OK;
		}
		if (checkWithoutAutosense) {
			if (command->command[0] == 0x03) {
				const uint8 sense[18] = {0x70, 0, 0x03, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x11, 0x05};
				size_t n = std::min(sizeof(sense), command->data_length);
				memcpy(command->data, sense, n);
				command->data_length -= n;
				command->scsi_status = 0;
				command->cam_status = CAM_REQ_CMP;
			} else {
				command->scsi_status = SCSI_STATUS_CHECK_CONDITION;
				command->cam_status = CAM_REQ_CMP_ERR;
			}
			return B_OK;
		}
		size_t n = 0;
		if ((command->flags & B_RAW_DEVICE_DATA_IN) != 0 && command->data != nullptr) {
			n = std::min(answer.size(), command->data_length);
			memcpy(command->data, answer.data(), n);
		}
		command->scsi_status = 0;
		command->cam_status = n < command->data_length ? CAM_DATA_RUN_ERR : CAM_REQ_CMP;
		if ((command->flags & B_RAW_DEVICE_REPORT_RESIDUAL) != 0) {
			command->data_length = lieAboutResidual ? command->data_length + 1000 : command->data_length - n;
			command->sense_data_length = 0;
		}
		return B_OK;
	}
	status_t ReadAudio(int32, int32, void*) override { return B_DEV_READ_ERROR; }
	uint8 PeripheralType() const override { return 5; }
};

class HostileDrive : public testing::Test {
protected:
	void SetUp() override
	{
		fDrive = std::make_shared<CScriptedDrive>();
		std::string path;
		ASSERT_EQ(RegisterVirtualDevice(fDrive, &path), B_OK);
		int bus = 0, target = 0, lun = 0;
		ASSERT_EQ(sscanf(path.c_str(), "/dev/bus/scsi/%d/%d/%d/raw", &bus, &target, &lun), 3);
		SCSI_INQUIRY inquiry = Inquiry("SCRIPTED", "DRIVE");
		fDevice = std::make_unique<CDevice>(bus, target, lun, dev_open(path.c_str(), O_RDONLY), &inquiry);
		fDevice->SetDriver(new CDriver(GenericImage()));
	}
	void TearDown() override
	{
		fDevice.reset();
		UnregisterVirtualDevices();
	}
	CDriver& Driver() { return *fDevice->GetDriver(); }

	std::shared_ptr<CScriptedDrive> fDrive;
	std::unique_ptr<CDevice> fDevice;
};

}   // namespace

TEST_F(HostileDrive, TablesOfContentsThatContradictThemselvesAreRefused)
{
	CToc* toc = fDevice->GetToc();
	toc->Lock();
	SCSI_STATUS status;
	// Claims 64 KB, sends one descriptor and no lead-out.
	fDrive->answer = {0xFF, 0xFF, 1, 1, 0, 0x10, 1, 0, 0, 0, 0, 0};
	EXPECT_FALSE(Driver().ReadToc(fDevice.get(), toc, &status));
	EXPECT_EQ(status.os_status, B_BAD_DATA);
	EXPECT_EQ(toc->TrackCount(), 0);
	// Tracks 1 to 99 announced, two described.
	fDrive->answer = {0, 18, 1, 99, 0, 0x10, 1, 0, 0, 0, 0, 0, 0, 0x10, 0xAA, 0, 0, 0, 1, 0};
	EXPECT_FALSE(Driver().ReadToc(fDevice.get(), toc, &status));
	// Starts going backwards.
	fDrive->answer = {0, 26, 1, 2, 0, 0x10, 1, 0, 0, 0, 1, 0, 0, 0x10, 2, 0, 0, 0, 0, 0, 0, 0x10, 0xAA, 0, 0, 0, 2,
		0};
	EXPECT_FALSE(Driver().ReadToc(fDevice.get(), toc, &status));
	EXPECT_EQ(toc->TrackCount(), 0);
	// An address beyond what a CD can hold.
	fDrive->answer = {0, 18, 1, 1, 0, 0x10, 1, 0, 0, 0, 0, 0, 0, 0x10, 0xAA, 0, 0x7F, 0xFF, 0xFF, 0xFF};
	EXPECT_FALSE(Driver().ReadToc(fDevice.get(), toc, &status));
	// Sane but with its length field too long: what arrived is used.
	fDrive->answer = {0x01, 0x00, 1, 1, 0, 0x10, 1, 0, 0, 0, 0, 0, 0, 0x10, 0xAA, 0, 0, 0, 0x10, 0};
	EXPECT_TRUE(Driver().ReadToc(fDevice.get(), toc, &status));
	EXPECT_EQ(toc->TrackCount(), 1);
	EXPECT_EQ(toc->TrackSize(1), 0x1000);
	toc->Unlock();
}

TEST_F(HostileDrive, LengthsAreClampedToWhatArrived)
{
	// Mode sense: a block descriptor length far beyond the answer.
	fDrive->answer = {0xFF, 0xFF, 0, 0, 0, 0, 0xFF, 0xF0, 0x2A, 0x02, 0x33, 0x44};
	uint8 mode[64];
	memset(mode, 0xEE, sizeof(mode));
	ASSERT_TRUE(Driver().ModeSense(fDevice.get(), mode, sizeof(mode), 0x2A, 0, nullptr));
	EXPECT_EQ(mode[0] << 8 | mode[1], 10);
	EXPECT_EQ(mode[6] << 8 | mode[7], 4) << "the descriptors cannot reach past the answer";
	EXPECT_EQ(mode[12], 0) << "the rest of the buffer is cleared";

	// CD-Text: a length field of 64 KB over two packs and a half.
	fDrive->answer.assign(4 + 2 * 18 + 9, 0x41);
	fDrive->answer[0] = fDrive->answer[1] = 0xFF;
	std::vector<uint8> text(100, 0xEE);
	ASSERT_TRUE(Driver().ReadCdText(fDevice.get(), text.data(), int32(text.size()), nullptr));
	EXPECT_EQ(text[0] << 8 | text[1], 2 + 2 * 18);
	EXPECT_EQ(text[4 + 2 * 18], 0);
	EXPECT_EQ(text[99], 0);

	// Disc information: the data length is what arrived.
	fDrive->answer.assign(34, 0);
	fDrive->answer[1] = 0xFF;
	SCSI_DISC_INFORMATION information;
	ASSERT_TRUE(Driver().ReadDiscInformation(fDevice.get(), &information, nullptr));
	EXPECT_EQ(information.DataLength[0] << 8 | information.DataLength[1], 32);

	// Buffer capacity: more free than there is.
	fDrive->answer = {0, 10, 0, 0, 0, 0, 0x10, 0, 0, 0, 0x20, 0};
	int32 total = 0, free = 0;
	ASSERT_TRUE(Driver().ReadBufferCapacity(fDevice.get(), &total, &free, nullptr));
	EXPECT_EQ(total, 0x1000);
	EXPECT_EQ(free, 0x1000);

	// Sub-channel: five bytes of sixteen; the rest reads as zero.
	fDrive->answer = {0, 0x11, 0, 12, 1};
	uint8 position[16];
	memset(position, 0xEE, sizeof(position));
	ASSERT_TRUE(Driver().ReadSubChannelCurrentPosition(fDevice.get(), position, nullptr));
	EXPECT_EQ(position[1], 0x11);
	EXPECT_EQ(position[15], 0);
}

TEST_F(HostileDrive, ResidualsBeyondTheBufferMeanNothingArrived)
{
	fDrive->lieAboutResidual = true;
	fDrive->answer.assign(2352, 0x55);
	std::vector<uint8> sector(2352);
	SCSI_STATUS status;
	EXPECT_FALSE(Driver().ReadAudio(fDevice.get(), sector.data(), 0, 1, &status));
	uint8 mode[16];
	EXPECT_FALSE(Driver().ModeSense(fDevice.get(), mode, sizeof(mode), 0x2A, 0, nullptr));
	EXPECT_EQ(mode[0], 0);
	// A short audio read is a failed read.
	fDrive->lieAboutResidual = false;
	fDrive->answer.assign(2352 + 100, 0x55);
	std::vector<uint8> two(2 * 2352);
	EXPECT_FALSE(Driver().ReadAudio(fDevice.get(), two.data(), 0, 2, &status));
	EXPECT_EQ(status.cam_status, CAM_DATA_RUN_ERR);
}

TEST_F(HostileDrive, SenseWithoutAutosenseIsFetchedWithRequestSense)
{
	fDrive->checkWithoutAutosense = true;
	SCSI_STATUS status;
	EXPECT_FALSE(Driver().TestUnitReady(fDevice.get(), &status));
	EXPECT_EQ(status.scsi_status, SCSI_STATUS_CHECK_CONDITION);
	EXPECT_EQ(status.cam_status & CAM_AUTOSNS_VALID, 0);
	EXPECT_EQ(status.sense.ErrorCode, 0x70);
	EXPECT_EQ(status.sense.SenseKey, 0x3);
	EXPECT_EQ(status.sense.AdditionalSenseCode, 0x11);
	EXPECT_EQ(status.sense.AdditionalSenseCodeQualifier, 0x05);
	EXPECT_EQ(status.command[0], 0x00) << "the record holds the failed command, not REQUEST SENSE";
}

namespace {

std::vector<uint8> FixedSense(uint8 key, uint8 asc, uint8 ascq)
{
	return {0x70, 0, key, 0, 0, 0, 0, 10, 0, 0, 0, 0, asc, ascq, 0, 0, 0, 0};
}

}   // namespace

TEST_F(HostileDrive, DescriptorSenseFillsTheRecordAsFixedSenseWould)
{
	// MEDIUM ERROR 11h/05h at LBA 1234h: an information descriptor and a
	// sense-key specific descriptor, in descriptor format (72h).
	fDrive->senses.push_back({0x72, 0x03, 0x11, 0x05, 0, 0, 0, 20,
		0x00, 0x0A, 0x80, 0, 0, 0, 0, 0, 0, 0, 0x12, 0x34,
		0x02, 0x06, 0, 0, 0x80, 0x00, 0x07, 0});
	std::vector<uint8> sector(2352);
	SCSI_STATUS status;
	EXPECT_FALSE(Driver().ReadAudio(fDevice.get(), sector.data(), 0x1234, 1, &status));
	EXPECT_EQ(status.scsi_status, SCSI_STATUS_CHECK_CONDITION);
	EXPECT_EQ(status.sense.ErrorCode, 0x70);
	EXPECT_EQ(status.sense.SenseKey, 0x3);
	EXPECT_EQ(status.sense.AdditionalSenseCode, 0x11);
	EXPECT_EQ(status.sense.AdditionalSenseCodeQualifier, 0x05);
	EXPECT_EQ(status.sense.Valid, 1);
	EXPECT_EQ(GetBe32(status.sense.Information), 0x1234u);
	EXPECT_EQ(status.sense.SenseKeySpecific[0] & 0x80, 0x80);
	EXPECT_EQ(status.sense.SenseKeySpecific[2], 0x07);

	// Descriptor sense that claims more descriptors than arrived: the key
	// and codes still count, nothing beyond the bytes is read.
	fDrive->senses.push_back({0x72, 0x05, 0x24, 0x00, 0, 0, 0, 0xFF, 0x02, 0x06});
	EXPECT_FALSE(Driver().TestUnitReady(fDevice.get(), &status));
	EXPECT_EQ(status.sense.SenseKey, 0x5);
	EXPECT_EQ(status.sense.AdditionalSenseCode, 0x24);
	EXPECT_EQ(status.sense.Valid, 0);
}

TEST_F(HostileDrive, AUnitAttentionIsRetriedOnceAndOnlyOnce)
{
	SCSI_STATUS status;
	// One unit attention (medium changed, either format): the command is
	// sent again and succeeds.
	fDrive->senses.push_back(FixedSense(0x6, 0x28, 0x00));
	fDrive->commands = 0;
	EXPECT_TRUE(Driver().TestUnitReady(fDevice.get(), &status));
	EXPECT_EQ(fDrive->commands, 2);
	EXPECT_EQ(status.sense.SenseKey, 0);
	fDrive->senses.push_back({0x72, 0x06, 0x29, 0x00, 0, 0, 0, 0});
	fDrive->commands = 0;
	EXPECT_TRUE(Driver().TestUnitReady(fDevice.get(), &status));
	EXPECT_EQ(fDrive->commands, 2);

	// A second one in a row is the answer.
	fDrive->senses.push_back(FixedSense(0x6, 0x28, 0x00));
	fDrive->senses.push_back(FixedSense(0x6, 0x29, 0x00));
	fDrive->commands = 0;
	EXPECT_FALSE(Driver().TestUnitReady(fDevice.get(), &status));
	EXPECT_EQ(fDrive->commands, 2);
	EXPECT_EQ(status.sense.SenseKey, 0x6);
	EXPECT_EQ(status.sense.AdditionalSenseCode, 0x29);

	// Becoming ready and other conditions are not retried by the command
	// itself.
	for (const auto& sense : {FixedSense(0x2, 0x04, 0x01), FixedSense(0x3, 0x11, 0x00)}) {
		fDrive->senses.push_back(sense);
		fDrive->commands = 0;
		EXPECT_FALSE(Driver().TestUnitReady(fDevice.get(), &status));
		EXPECT_EQ(fDrive->commands, 1);
		fDrive->senses.clear();
	}
}
