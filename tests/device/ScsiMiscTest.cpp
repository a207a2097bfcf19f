// SCSI records, INQUIRY and REQUEST SENSE with their log lines, and the
// texts of sense data, SCSI status bytes and CAM status bytes.
#include "devices/ScsiMisc.h"

#include "frame/Diagnostics.h"
#include "kit/device/DeviceNamespace.h"
#include "kit/device/RawDevice.h"
#include "kit/device/VirtualDevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
#include <vector>
#include <fcntl.h>
#include <unistd.h>

namespace {

const char* const kLogColor = "\033[1;40;37m";

const std::string kKey5 = "ILLEGAL REQUEST - there was an illegal parameter in the command "
						  "descriptor block or in the additional parameters supplied as data";

// Collects the diagnostics output with the console log switched on; the
// colour sequence in front of each DebugLog call is removed.
class CapturedLog {
public:
	CapturedLog()
	{
		fFlags = GetDebugFlags();
		SetDebugFlags(DEBUG_FLAG_CONSOLE_LOG);
		fStream = open_memstream(&fBuffer, &fSize);
		fPrevious = SetDebugOutput(fStream);
	}
	~CapturedLog()
	{
		SetDebugOutput(fPrevious);
		SetDebugFlags(fFlags);
		fclose(fStream);
		free(fBuffer);
	}
	std::string Text()
	{
		fflush(fStream);
		std::string text(fBuffer, fSize);
		for (size_t position; (position = text.find(kLogColor)) != std::string::npos;)
			text.erase(position, strlen(kLogColor));
		return text;
	}

private:
	uint32 fFlags;
	FILE* fStream;
	FILE* fPrevious;
	char* fBuffer = nullptr;
	size_t fSize = 0;
};

// One scripted answer of the fake drive.
struct ANSWER {
	status_t result = B_OK;
	uint8 camStatus = CAM_REQ_CMP;
	uint8 scsiStatus = 0;
	std::vector<uint8> data;    // copied into the data buffer
	std::vector<uint8> sense;   // copied into the sense buffer (autosense)
};

// A drive that answers each command with the next scripted answer and keeps
// a copy of every request.
class CScriptedDrive : public CVirtualDevice {
public:
	status_t Execute(raw_device_command* command) override
	{
		std::lock_guard<std::mutex> lock(fLock);
		fRequests.push_back(*command);
		if (fAnswers.empty())
			return B_ERROR;
		ANSWER answer = fAnswers.front();
		fAnswers.pop_front();
		size_t dataLength = std::min(answer.data.size(), command->data_length);
		if (dataLength > 0)
			memcpy(command->data, answer.data.data(), dataLength);
		size_t senseLength = std::min(answer.sense.size(), command->sense_data_length);
		if (senseLength > 0)
			memcpy(command->sense_data, answer.sense.data(), senseLength);
		command->cam_status = answer.camStatus;
		command->scsi_status = answer.scsiStatus;
		return answer.result;
	}
	status_t ReadAudio(int32, int32, void*) override { return B_DEV_NO_MEDIA; }
	uint8 PeripheralType() const override { return 5; }

	std::mutex fLock;
	std::deque<ANSWER> fAnswers;
	std::vector<raw_device_command> fRequests;
};

std::vector<uint8> SenseBytes(uint8 key, uint8 asc, uint8 ascq)
{
	std::vector<uint8> sense(18, 0);
	sense[0] = 0x70;
	sense[2] = key;
	sense[7] = 10;
	sense[12] = asc;
	sense[13] = ascq;
	return sense;
}

std::string SenseDump(const void* address, const std::string& message, const std::string& hex,
	const std::string& fields)
{
	char head[64];
	snprintf(head, sizeof(head), "Dump: SCSI_SENSE @ %08" PRIxPTR "h\n",
		reinterpret_cast<uintptr_t>(address));
	return head + message + "\n" + hex + fields + "\n";
}

class ScsiCommandTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		fRoot = std::filesystem::temp_directory_path() / ("scsimisc-" + std::to_string(getpid()));
		std::filesystem::create_directories(fRoot);
		dev_set_system_roots(fRoot.c_str(), fRoot.c_str());
		fDrive = std::make_shared<CScriptedDrive>();
		std::string path;
		ASSERT_EQ(RegisterVirtualDevice(fDrive, &path), B_OK);
		fFd = dev_open(path.c_str(), O_RDONLY);
		ASSERT_GE(fFd, 0);
	}
	void TearDown() override
	{
		dev_close(fFd);
		UnregisterVirtualDevices();
		std::error_code ignored;
		std::filesystem::remove_all(fRoot, ignored);
	}

	std::string fRoot;
	std::shared_ptr<CScriptedDrive> fDrive;
	int fFd = -1;
};

}   // namespace

TEST(ScsiRecords, SenseBitFieldsFollowTheWireLayout)
{
	const uint8 bytes[18] = {0xF1, 0x07, 0xE6, 1, 2, 3, 4, 10, 5, 6, 7, 8, 0x24, 0x01, 9, 0xA, 0xB, 0xC};
	SCSI_SENSE sense;
	memcpy(&sense, bytes, sizeof(sense));
	EXPECT_EQ(sense.ErrorCode, 0x71);
	EXPECT_EQ(sense.Valid, 1);
	EXPECT_EQ(sense.SegmentNumber, 7);
	EXPECT_EQ(sense.SenseKey, 6);
	EXPECT_EQ(sense.ILI, 1);
	EXPECT_EQ(sense.EOM, 1);
	EXPECT_EQ(sense.FileMark, 1);
	EXPECT_EQ(sense.AdditionalSenseCode, 0x24);
	EXPECT_EQ(sense.SenseKeySpecific[2], 0xC);

	uint8 inquiryBytes[56] = {0x25, 0x80, 0x02, 0x42};
	memcpy(inquiryBytes + 8, "VENDOR  PRODUCT         1.00", 28);
	SCSI_INQUIRY inquiry;
	memcpy(&inquiry, inquiryBytes, sizeof(inquiry));
	EXPECT_EQ(inquiry.PeripheralDeviceType, 5);
	EXPECT_EQ(inquiry.PeripheralQualifier, 1);
	EXPECT_EQ(inquiry.RemovableMedium, 1);
	EXPECT_EQ(inquiry.ResponseDataFormat, 2);
	EXPECT_EQ(std::string(inquiry.ProductIdentification, 16), "PRODUCT         ");
	EXPECT_EQ(std::string(inquiry.ProductRevisionLevel, 4), "1.00");
}

TEST(ScsiSenseMessage, FindsKeyAndConditionTexts)
{
	EXPECT_EQ(GetScsiSenseMessage(5, 0x24, 0, false), "(05, 24, 00) - " + kKey5 + " - INVALID FIELD IN CDB");
	EXPECT_EQ(GetScsiSenseMessage(5, 0x24, 0, true),
		"sense key: 5 (05h)\nadditional sense code (ASC): 36 (24h)\n"
		"additional sense code qualifier (ASCQ): 0 (00h)\n" + kKey5 + " - INVALID FIELD IN CDB");
	// The MMC row wins over the SCSI-2 row of the same ASC/ASCQ.
	EXPECT_EQ(GetScsiSenseMessage(6, 0x28, 0, false),
		"(06, 28, 00) - UNIT ATTENTION - the removable medium may have been changed or the target "
		"has been reset - NOT READY TO READY CHANGE, MEDIUM MAY HAVE CHANGED");
}

TEST(ScsiSenseMessage, WildcardRowsAreFormatsFilledWithTheAscq)
{
	const std::string key4 = "HARDWARE ERROR - the target detected a non-recoverable hardware failure";
	EXPECT_EQ(GetScsiSenseMessage(4, 0x40, 0x91, false),
		"(04, 40, 91) - " + key4 + " - DIAGNOSTIC FAILURE ON COMPONENT 91h");
	// First match wins: the MMC wildcard row takes ASCQ 0 as well.
	EXPECT_EQ(GetScsiSenseMessage(4, 0x40, 0x00, false),
		"(04, 40, 00) - " + key4 + " - DIAGNOSTIC FAILURE ON COMPONENT 00h");
	EXPECT_EQ(GetScsiSenseMessage(0x0B, 0x4D, 0x7F, false),
		"(0B, 4D, 7F) - ABORTED COMMAND - the target aborted the command - "
		"TAGGED OVERLAPPED COMMANDS (QUEUE TAG = 7Fh)");
	// In the SCSI-2 table 40/00 comes before 40/any.
	EXPECT_EQ(GetScsiSenseMessage(5, 0x40, 0x00, false), "(05, 40, 00) - " + kKey5 + " - RAM FAILURE");
	EXPECT_EQ(GetScsiSenseMessage(5, 0x40, 0x12, false),
		"(05, 40, 12) - " + kKey5 + " - DIAGNOSTIC FAILURE ON COMPONENT 12h");
}

TEST(ScsiSenseMessage, FallsBackToScsi2AndToUnknown)
{
	EXPECT_EQ(GetScsiSenseMessage(0x0F, 0, 0, false), "(0F, 00, 00) - RESERVED - NO ADDITIONAL SENSE INFORMATION");
	// Key 5 has no MMC row for 12/00; the SCSI-2 row answers.
	EXPECT_EQ(GetScsiSenseMessage(5, 0x12, 0, false),
		"(05, 12, 00) - " + kKey5 + " - ADDRESS MARK NOT FOUND FOR ID FIELD");
	EXPECT_EQ(GetScsiSenseMessage(3, 0xEE, 0, false),
		"(03, EE, 00) - MEDIUM ERROR - the command terminated with a non-recovered error condition "
		"that was probably caused by a flaw in the medium or an error in the recorded data, or the "
		"target is unable to distinguish between a flaw in the medium and a specific hardware failure");
	EXPECT_EQ(GetScsiSenseMessage(0x10, 0xEE, 0xEE, false), "(10, EE, EE) - UNKNOWN ERROR");
	EXPECT_EQ(GetScsiSenseMessage(0xFF, 0xFF, 0xFF, true),
		"sense key: 255 (FFh)\nadditional sense code (ASC): 255 (FFh)\n"
		"additional sense code qualifier (ASCQ): 255 (FFh)\nUNKNOWN ERROR");
}

TEST(ScsiSenseMessage, TablesAreComplete)
{
	auto count = [](auto* table, auto end) {
		int rows = 0;
		for (; !end(*table); table++)
			rows++;
		return rows;
	};
	EXPECT_EQ(count(g_ScsiSenseKeyTexts, [](auto& row) { return row.key == SCSI_CODE_END; }), 16);
	EXPECT_EQ(count(g_ScsiMmcConditions, [](auto& row) { return row.key == SCSI_CODE_END; }), 175);
	EXPECT_EQ(count(g_Scsi2Conditions, [](auto& row) { return row.asc == SCSI_CODE_END; }), 195);
	EXPECT_STREQ(g_ScsiMmcConditions[174].text, "PROGRAM MEMORY AREA IS FULL");
	EXPECT_STREQ(g_Scsi2Conditions[194].text, "ILLEGAL MODE FOR THIS TRACK");
}

TEST(ScsiStatusTexts, StatusByteIsMaskedWith3E)
{
	const std::string check = "CHECK CONDITION.  This status indicates that a contingent allegiance "
							  "condition has occurred";
	EXPECT_EQ(GetScsiStatusByteDescription(0x02), check);
	EXPECT_EQ(GetScsiStatusByteDescription(0x03), check);
	EXPECT_EQ(GetScsiStatusByteDescription(0xC2), check);
	EXPECT_EQ(GetScsiStatusByteDescription(0x01).substr(0, 6), "GOOD. ");
	EXPECT_EQ(GetScsiStatusByteDescription(0x29).substr(0, 12), "QUEUE FULL. ");
	EXPECT_EQ(GetScsiStatusByteDescription(0x06), "unknown status byte");
	EXPECT_EQ(GetScsiStatusByteDescription(0x30), "unknown status byte");
}

TEST(ScsiStatusTexts, CamCodeAndItsFlagBits)
{
	EXPECT_EQ(GetCamStatusByteDescription(0x01), "CAM_REQ_CMP - CCB request completed without error");
	EXPECT_EQ(GetCamStatusByteDescription(0x92),
		"CAM_DATA_RUN_ERR - Data overrun/underrun error, CAM_AUTOSNS_VALID");
	EXPECT_EQ(GetCamStatusByteDescription(0xC4),
		"CAM_REQ_CMP_ERR - CCB request completed with an error, CAM_SIM_QFRZN - The SIM queue is "
		"frozen with this error, CAM_AUTOSNS_VALID");
	EXPECT_EQ(GetCamStatusByteDescription(0x0C), "unknown status byte");
	EXPECT_EQ(GetCamStatusByteDescription(0x5B),
		"unknown status byte, CAM_SIM_QFRZN - The SIM queue is frozen with this error");
	EXPECT_EQ(_GetCamStatusByteDescription(0x3F), "CAM_SCSI_BUSY - SCSI bus busy");
	EXPECT_EQ(_GetCamStatusByteDescription(0x8A), "CAM_SEL_TIMEOUT - Target selection timeout");
}

TEST(ScsiErrorMessage, BuildsTheWholeReport)
{
	SCSI_STATUS status;
	memset(&status, 0, sizeof(status));
	const uint8 sense[18] = {0xF0, 0, 0x25, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24, 0x00};
	memcpy(&status.sense, sense, sizeof(sense));
	status.os_status = -1;
	status.scsi_status = 2;
	status.cam_status = 0x84;
	status.command_length = 6;
	const uint8 block[16] = {0x12, 0, 0, 0, 0x38, 0, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 1, 2, 3, 4};
	memcpy(status.command, block, sizeof(block));

	EXPECT_EQ(GetScsiErrorMessage("Reading failed.", &status, false),
		"Reading failed.\n\n"
		"os status = -1 (FFFFFFFFh)\n"
		"scsi status = 2 (02h)\n"
		"cam status = 132 (84h)\n\n"
		"last command (6) = 12h 00h 00h 00h 38h 00h 00h 00h 00h 00h 00h 00h 00h 00h 00h 00h\n\n"
		"(05, 24, 00) - " + kKey5 + " - INVALID FIELD IN CDB\n\n"
		"sense error code = 112 (70h)\n"
		"sense valid bit = 1\n"
		"sense incorrect length indicator bit = 1\n\n\n");

	std::string verbose = GetScsiErrorMessage("x", &status, true);
	EXPECT_NE(verbose.find("scsi status = 2 (02h) CHECK CONDITION.  This status"), std::string::npos);
	EXPECT_NE(verbose.find("cam status = 132 (84h) CAM_REQ_CMP_ERR - CCB request completed with an "
						   "error, CAM_AUTOSNS_VALID\n\n"), std::string::npos);
	EXPECT_NE(verbose.find("\nsense key: 5 (05h)\n"), std::string::npos);

	status.command_length = 40;
	EXPECT_NE(GetScsiErrorMessage("", &status, false)
				  .find("last command (40) = 12h 00h 00h 00h 38h 00h AAh BBh CCh DDh EEh FFh 01h 02h 03h 04h\n"),
		std::string::npos);
	status.command_length = -3;
	EXPECT_NE(GetScsiErrorMessage("", &status, false)
				  .find("last command (-3) = 00h 00h 00h 00h 00h 00h 00h 00h 00h 00h 00h 00h 00h 00h 00h 00h\n"),
		std::string::npos);
}

TEST(ScsiDumps, SenseDumpShowsEveryField)
{
	const uint8 bytes[18] = {0xF0, 0x03, 0xE5, 1, 2, 3, 4, 0x0A, 5, 6, 7, 8, 0x24, 0x00, 9, 0xA, 0xB, 0xC};
	SCSI_SENSE sense;
	memcpy(&sense, bytes, sizeof(sense));
	CapturedLog log;
	DumpSense(&sense);
	EXPECT_EQ(log.Text(),
		SenseDump(&sense, "(05, 24, 00) - " + kKey5 + " - INVALID FIELD IN CDB",
			"  hex: f0 03 e5 01 02 03 04 0a\n"
			"  hex: 05 06 07 08 24 00 09 0a\n"
			"  hex: 0b 0c\n",
			"  ErrorCode: 70h\n"
			"  Valid: 01h\n"
			"  SegmentNumber: 03h\n"
			"  SenseKey: 05h\n"
			"  ILI: 01h\n"
			"  EOM: 01h\n"
			"  FileMark: 01h\n"
			"  Information: 01h 02h 03h 04h\n"
			"  AdditionalSenseLength: 0ah\n"
			"  CommandSpecificInformation: 05h 06h 07h 08h\n"
			"  AdditionalSenseCode: 24h\n"
			"  AdditionalSenseCodeQualifier: 00h\n"
			"  FieldReplaceableUnitCode: 09h\n"));
}

TEST_F(ScsiCommandTest, InquirySendsTheCommandAndTakesTheData)
{
	ANSWER answer;
	answer.data.assign(56, 0);
	answer.data[0] = 0x05;
	memcpy(answer.data.data() + 8, "ACME    CD-R 4X         1.0A", 28);
	fDrive->fAnswers.push_back(answer);

	CapturedLog log;
	SCSI_INQUIRY inquiry;
	memset(&inquiry, 0xAA, sizeof(inquiry));
	ASSERT_TRUE(ScsiInquiry(fFd, &inquiry));
	EXPECT_EQ(log.Text(), "requesting inquiry data... \ndone\n");
	EXPECT_EQ(inquiry.PeripheralDeviceType, 5);
	EXPECT_EQ(std::string(inquiry.VendorIdentification, 8), "ACME    ");
	EXPECT_EQ(inquiry.VendorSpecific[19], 0);

	ASSERT_EQ(fDrive->fRequests.size(), 1u);
	const raw_device_command& sent = fDrive->fRequests[0];
	EXPECT_EQ(sent.command_length, 6);
	EXPECT_EQ(std::vector<uint8>(sent.command, sent.command + 6), (std::vector<uint8> {0x12, 0, 0, 0, 0x38, 0}));
	EXPECT_EQ(sent.flags, 5);
	EXPECT_EQ(sent.data_length, 56u);
	EXPECT_EQ(sent.sense_data_length, 18u);
	EXPECT_EQ(sent.timeout, 1000000);
}

TEST_F(ScsiCommandTest, InquiryAcceptsCompletionWithFlagBitsAndABareUnderrun)
{
	ANSWER completed;
	completed.camStatus = CAM_REQ_CMP | CAM_AUTOSNS_VALID;
	fDrive->fAnswers.push_back(completed);
	ANSWER shortTransfer;
	shortTransfer.camStatus = CAM_DATA_RUN_ERR;
	fDrive->fAnswers.push_back(shortTransfer);

	SCSI_INQUIRY inquiry;
	EXPECT_TRUE(ScsiInquiry(fFd, &inquiry));
	CapturedLog log;
	EXPECT_TRUE(ScsiInquiry(fFd, &inquiry));
	EXPECT_EQ(log.Text(),
		"requesting inquiry data... \n"
		"failed: ret = 0 (00h), rdc.cam_status = 18 (12h), rdc.scsi_status = 0 (00h)\n"
		"inquiry error 0x12 (CAM_DATA_RUN_ERR - Data overrun/underrun error) ignored\n"
		"Inquiry bytes requested: 56\n");
	EXPECT_EQ(fDrive->fRequests.size(), 2u);
}

TEST_F(ScsiCommandTest, InquiryFailureWithAutosenseDumpsIt)
{
	ANSWER answer;
	answer.camStatus = CAM_DATA_RUN_ERR | CAM_AUTOSNS_VALID;   // only a bare 12h is tolerated
	answer.scsiStatus = 2;
	answer.sense = SenseBytes(5, 0x24, 0);
	fDrive->fAnswers.push_back(answer);

	CapturedLog log;
	SCSI_INQUIRY inquiry;
	EXPECT_FALSE(ScsiInquiry(fFd, &inquiry));
	std::string text = log.Text();
	const std::string head = "requesting inquiry data... \n"
							 "failed: ret = 0 (00h), rdc.cam_status = 146 (92h), rdc.scsi_status = 2 (02h)\n"
							 "autosense information provided\n"
							 "Dump: SCSI_SENSE @ ";
	ASSERT_EQ(text.substr(0, head.size()), head);
	EXPECT_NE(text.find("(05, 24, 00) - " + kKey5 + " - INVALID FIELD IN CDB\n  hex: 70 00 05"), std::string::npos);
	EXPECT_EQ(fDrive->fRequests.size(), 1u);   // no REQUEST SENSE
}

TEST_F(ScsiCommandTest, InquiryFailureWithoutAutosenseRequestsSense)
{
	ANSWER failed;
	failed.camStatus = CAM_REQ_CMP_ERR;
	failed.scsiStatus = 2;
	fDrive->fAnswers.push_back(failed);
	ANSWER sense;
	sense.data = SenseBytes(2, 0x3A, 0);
	fDrive->fAnswers.push_back(sense);

	CapturedLog log;
	SCSI_INQUIRY inquiry;
	EXPECT_FALSE(ScsiInquiry(fFd, &inquiry));
	std::string text = log.Text();
	const std::string head = "requesting inquiry data... \n"
							 "failed: ret = 0 (00h), rdc.cam_status = 4 (04h), rdc.scsi_status = 2 (02h)\n"
							 "no autosense information\n"
							 "requesting sense data... \n"
							 "done\n"
							 "Dump: SCSI_SENSE @ ";
	ASSERT_EQ(text.substr(0, head.size()), head);
	EXPECT_NE(text.find("(02, 3A, 00) - NOT READY - the logical unit addressed cannot be accessed - "
						"MEDIUM NOT PRESENT\n"), std::string::npos);
	ASSERT_EQ(fDrive->fRequests.size(), 2u);
	EXPECT_EQ(fDrive->fRequests[1].command[0], 0x03);
}

TEST_F(ScsiCommandTest, InquiryRejectedByThePlatformFails)
{
	ANSWER rejected;
	rejected.result = B_IO_ERROR;
	rejected.camStatus = CAM_DATA_RUN_ERR;   // not tolerated when the request itself failed
	fDrive->fAnswers.push_back(rejected);
	fDrive->fAnswers.push_back(ANSWER());

	CapturedLog log;
	SCSI_INQUIRY inquiry;
	EXPECT_FALSE(ScsiInquiry(fFd, &inquiry));
	EXPECT_NE(log.Text().find("failed: ret = -1 (FFFFFFFFh), rdc.cam_status = 18 (12h)"), std::string::npos);

	SetDebugFlags(0);
	EXPECT_FALSE(ScsiInquiry(-1, &inquiry));   // not a descriptor of the namespace
}

TEST_F(ScsiCommandTest, RequestSenseSendsTheCommandAndToleratesAShortTransfer)
{
	ANSWER full;
	full.data = SenseBytes(6, 0x28, 0);
	fDrive->fAnswers.push_back(full);
	ANSWER shortTransfer;
	shortTransfer.camStatus = CAM_DATA_RUN_ERR;
	shortTransfer.data = {0x70, 0, 2};
	fDrive->fAnswers.push_back(shortTransfer);
	ANSWER failed;
	failed.camStatus = CAM_DATA_RUN_ERR | CAM_SIM_QFRZN;
	fDrive->fAnswers.push_back(failed);

	SCSI_SENSE sense;
	CapturedLog log;
	ASSERT_TRUE(ScsiRequestSense(fFd, &sense));
	EXPECT_EQ(sense.SenseKey, 6);
	EXPECT_EQ(sense.AdditionalSenseCode, 0x28);
	EXPECT_EQ(log.Text(), "requesting sense data... \ndone\n");
	const raw_device_command& sent = fDrive->fRequests[0];
	EXPECT_EQ(std::vector<uint8>(sent.command, sent.command + 6), (std::vector<uint8> {0x03, 0, 0, 0, 0x12, 0}));
	EXPECT_EQ(sent.flags, 5);
	EXPECT_EQ(sent.data_length, 18u);
	EXPECT_EQ(sent.sense_data_length, 0u);
	EXPECT_EQ(sent.timeout, 1000000);

	ASSERT_TRUE(ScsiRequestSense(fFd, &sense));
	EXPECT_EQ(sense.SenseKey, 2);
	EXPECT_EQ(sense.AdditionalSenseCode, 0);   // zeroed before the command
	EXPECT_FALSE(ScsiRequestSense(fFd, &sense));
	EXPECT_EQ(log.Text(),
		"requesting sense data... \ndone\n"
		"requesting sense data... \n"
		"failed: ret = 0 (00h), rdc.cam_status = 18 (12h), rdc.scsi_status = 0 (00h)\n"
		"request sense error 0x12 (CAM_DATA_RUN_ERR - Data overrun/underrun error) ignored\n"
		"Sense bytes requested: 18\n"
		"requesting sense data... \n"
		"failed: ret = 0 (00h), rdc.cam_status = 82 (52h), rdc.scsi_status = 0 (00h)\n");
}
