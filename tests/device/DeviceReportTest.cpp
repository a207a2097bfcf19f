// The drive report and the debug tools against the default virtual recorder
// (a blank 80-minute CD-R), found and bound by the program's own start-up.
#include "driver/AddOnImages.h"
#include "emulator/EmulatorTestUtil.h"

#include "devices/DebugTools.h"
#include "devices/Device.h"
#include "devices/DeviceReport.h"
#include "devices/devices.h"
#include "driver/driverbaseclass.h"
#include "frame/Preference.h"
#include "kit/interface/Alert.h"
#include "kit/storage/FindDirectory.h"
#include "QuietDrives.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

int Count(const std::string& text, const std::string& part)
{
	int count = 0;
	for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
		count++;
	return count;
}

class DeviceReportTest : public testing::Test {
protected:
	void SetUp() override
	{
		fFolder = std::make_unique<emutest::CTempFolder>();
		ASSERT_EQ(PreferenceHandler.Init(fFolder->File("Tarnwick Settings").c_str()), B_OK);
		OpenDrivesQuietly(nullptr);
		ASSERT_NE(g_pDevices[0], nullptr);
		fDevice = g_pDevices[0];
	}

	void TearDown() override
	{
		CloseDevices();
		UnloadDriver();
		ResetVirtualDrives();
		SetDriverAddOnFolder(nullptr);
		for (const char* name : {"drv-pellworth", "drv-quenmoor"}) {
			const drivertest::CAddOn& addOn = drivertest::AddOn(name);
			if (addOn.InitDriver != nullptr)
				addOn.InitDriver(drivertest::GenericImage());
		}
		fFolder.reset();
	}

	std::unique_ptr<emutest::CTempFolder> fFolder;
	CDevice* fDevice = nullptr;
};

TEST_F(DeviceReportTest, ReportHasEveryLineTheCapabilitiesAndBothSpeedTests)
{
	const std::string all = DeviceReportAll();
	const std::string banner = "\n\n========================================================================\n"
		"=============Tarnwick Virtual CD-RW\n"
		"========================================================================\n\n";
	ASSERT_EQ(all.rfind(banner, 0), 0u) << all.substr(0, 300);

	std::istringstream lines(all.substr(banner.size()));
	std::vector<std::string> got;
	for (std::string line; std::getline(lines, line);)
		got.push_back(line);
	// Identity, driver and settings lines in their order.
	const std::vector<std::string> head = {"Vendor: \"TARNWICK\"", "Product: \"Virtual CD-RW\"", "Version: \"1.00\"",
		"Atapi: \"false\"", "LittleEndian: \"true\"", "FUA: \"false\"", "", "DriverName: \"drv-pellworth\""};
	// 23 identity, driver and settings lines, 23 of the capabilities page,
	// 1 + 66 read probes, 1 + 13 write probes.
	ASSERT_EQ(got.size(), 127u);
	for (size_t i = 0; i < head.size(); i++)
		EXPECT_EQ(got[i], head[i]) << i;
	EXPECT_EQ(got[8].rfind("DriverVersion: \"", 0), 0u);
	char flags[64];
	snprintf(flags, sizeof(flags), "DriverFlags: \"0x%llX\"", (unsigned long long)fDevice->GetDriver()->Flags);
	EXPECT_EQ(got[9], flags);
	EXPECT_EQ(got[10], "Supported: \"false\"") << "the generic MMC add-on does not claim the drive";
	EXPECT_EQ(got[11], "spindown timeout: \"-1\"");
	EXPECT_EQ(got[16], "read error retrys: \"10\"");
	EXPECT_EQ(got[22], "write buffer elements: \"14\"");
	EXPECT_EQ(got[23], "0x2A Page Code: \"42\"");

	// Capabilities as the virtual recorder's page has them.
	for (const char* line : {"CD-R writing: \"true\"\n", "Test writing: \"true\"\n", "Bar codes reading: \"false\"\n",
			 "Audio reading: \"true\"\n", "Buffer size: \"2048 KBytes\"\n",
			 "Maximum read speed: \"40.0 (7056 KBytes/s)\"\n", "Maximum write speed: \"16.0 (2822 KBytes/s)\"\n"})
		EXPECT_EQ(Count(all, line), 1) << line;

	// 65 read probes and the maximum, 12 write probes and the maximum; the
	// drive rounds a request down to a speed it has.
	const size_t read = all.find("Read Speed test:\n");
	const size_t write = all.find("Write Speed test:\n");
	ASSERT_NE(read, std::string::npos);
	ASSERT_LT(read, write);
	EXPECT_EQ(Count(all.substr(read, write - read), "Set: "), 66);
	EXPECT_EQ(Count(all.substr(write), "Set: "), 13);
	EXPECT_EQ(Count(all, "failed"), 0);
	EXPECT_NE(all.find("Set: \"1.0 (177 KBytes/s)\"  Got: \"4.0 (706 KBytes/s)\"\n"), std::string::npos);
	EXPECT_NE(all.find("Set: \"65.0 (11467 KBytes/s)\"  Got: \"40.0 (7056 KBytes/s)\"\n"), std::string::npos);
	EXPECT_NE(all.find("Set: \"3.0 (530 KBytes/s)\"  Got: \"2.0 (353 KBytes/s)\"\n", write), std::string::npos);
	EXPECT_EQ(all.substr(all.rfind("Set: ")), "Set: \"65535.0 (65535 KBytes/s)\"  Got: \"16.0 (2822 KBytes/s)\"\n")
		<< "the test ends at the maximum";
}

TEST_F(DeviceReportTest, DebugToolsDecodeTheBlankDiscAndTheWriteParameters)
{
	const std::string name = std::string(fDevice->GetDeviceName()) + ":\n\n";
	const std::string buffer = DeviceToolText_1(fDevice);
	EXPECT_EQ(buffer.rfind(name + "ReadBufferCapacity result: OK\n\nWholeLength = 2048 KBytes\nUnusedLength = ", 0), 0u)
		<< buffer;

	const std::string disc = DeviceToolText_2(fDevice);
	EXPECT_EQ(disc.rfind(name + "ReadDiscInformation result: OK\n\nDataLength = 32\nDiscStatus = 0\n", 0), 0u) << disc;
	for (const char* line : {"Eraseable = 0\n", "NumberOfSessions = 1\n", "NumberOfFirstTrackOnDisc = 1\n",
			 "LastPossibleStartTimeOfLeadoutMinutes = 79\n", "LastPossibleStartTimeOfLeadoutSeconds = 59\n",
			 "LastPossibleStartTimeOfLeadoutFrames = 74\n"})
		EXPECT_EQ(Count(disc, line), 1) << line << disc;

	const std::string atip = DeviceToolText_3(fDevice);
	EXPECT_EQ(atip.rfind(name + "ReadAtipData result: OK\n\n", 0), 0u) << atip;
	for (const char* line : {"DiscType = 0\n", "LastPossibleStartTimeOfLeadoutMinutes = 79\n",
			 "LastPossibleStartTimeOfLeadoutFrames = 74\n"})
		EXPECT_EQ(Count(atip, line), 1) << line << atip;

	const std::string page = DeviceToolText_4(fDevice);
	EXPECT_EQ(page.rfind(name + "ModeSense (Write-Parameter-Page) result: OK\n\nPageCode = 5\n", 0), 0u) << page;
	EXPECT_EQ(Count(page, "InternationalStandardRecordingCode = <invalid>\n"), 1) << page;
	EXPECT_EQ(Count(page, "MediaCatalogNumber = <invalid>\n"), 1) << page;
	EXPECT_EQ(Count(page, "SubHeaderByte3 = "), 1) << page;
}

TEST_F(DeviceReportTest, FeedbackWithoutAMailProgramIsSavedAndCopied)
{
	const std::string report = DeviceReportAll();
	std::string clipboard;
	FEEDBACK_ACTIONS actions;
	actions.folder = fFolder->File("Documents");
	std::string subject;
	actions.openMail = [&](const char* address, const char* subjectText, const char* body) {
		subject = subjectText;
		EXPECT_STREQ(address, kFeedbackAddress);
		EXPECT_EQ(body, report);
		return status_t(B_OK);
	};
	actions.putIntoClipboard = [&](const char* text) { clipboard = text; return true; };
	FEEDBACK_RESULT mailed = SendFeedback(report, actions);
	EXPECT_EQ(mailed.outcome, FEEDBACK_MAILED);
	EXPECT_EQ(subject, "Tarnwick feedback");
	EXPECT_TRUE(clipboard.empty()) << "a taken mail leaves the clipboard alone";
	EXPECT_FALSE(fs::exists(actions.folder));

	actions.openMail = [](const char*, const char*, const char*) { return status_t(B_LAUNCH_FAILED_NO_PREFERRED_APP); };
	FEEDBACK_RESULT first = SendFeedback(report, actions);
	FEEDBACK_RESULT second = SendFeedback("second", actions);
	ASSERT_EQ(first.outcome, FEEDBACK_SAVED);
	ASSERT_EQ(second.outcome, FEEDBACK_SAVED);
	EXPECT_NE(first.path, second.path) << "a former report is never overwritten";
	std::ifstream file(first.path);
	std::string saved((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
	EXPECT_EQ(saved, report);
	EXPECT_EQ(clipboard, "second");
	EXPECT_TRUE(first.copied);
	EXPECT_NE(first.alertText.find(first.path), std::string::npos) << first.alertText;

	// Nowhere to save: the clipboard still has it and the user is told.
	std::ofstream(fFolder->File("plain")) << "x";
	actions.folder = fFolder->File("plain");
	FEEDBACK_RESULT lost = SendFeedback("third", actions);
	EXPECT_EQ(lost.outcome, FEEDBACK_LOST);
	EXPECT_EQ(clipboard, "third");
	EXPECT_NE(lost.alertText.find("copied to the clipboard"), std::string::npos);
}

TEST(DebugToolDecoders, WriteParametersPageValidBitsAndShortAnswers)
{
	uint8 answer[8 + 52] = {};
	answer[1] = sizeof(answer) - 2;
	uint8* page = answer + 8;
	page[0] = 0x05;
	page[1] = 0x32;
	page[2] = 0x12;   // test write, disc-at-once
	page[3] = 0xE4;   // multi-session 3, FP, track mode 4
	page[16] = 0x80;
	memcpy(page + 17, "0123456789012", 13);
	memcpy(page + 33, "GBAYE0000351", 12);   // ISRC with TCVAL clear
	page[51] = 9;
	std::string text = DescribeWriteParametersPage(answer, sizeof(answer));
	EXPECT_NE(text.find("WriteType = 2\nTestWrite = 1\nTrackMode = 4\nCopy = 0\nFP = 1\nMultiSession = 3\n"),
		std::string::npos) << text;
	EXPECT_NE(text.find("InternationalStandardRecordingCode = <invalid>\nMediaCatalogNumber = 0123456789012\n"),
		std::string::npos) << text;
	EXPECT_NE(text.find("SubHeaderByte3 = 9\n"), std::string::npos);
	page[32] = 0x80;
	page[16] = 0;
	text = DescribeWriteParametersPage(answer, sizeof(answer));
	EXPECT_NE(text.find("InternationalStandardRecordingCode = GBAYE0000351\nMediaCatalogNumber = <invalid>\n"),
		std::string::npos) << text;
	EXPECT_EQ(DescribeWriteParametersPage(answer, sizeof(answer) - 1), "") << "a cut page is no page";
	page[0] = 0x2A;
	EXPECT_EQ(DescribeWriteParametersPage(answer, sizeof(answer)), "") << "another page";
}

}   // namespace

namespace {

class CCapturedAlerts : public CAlertHandler {
public:
	int32 Show(const AlertRequest& request) override
	{
		shown.push_back(request);
		return 0;
	}
	std::vector<AlertRequest> shown;
};

TEST_F(DeviceReportTest, ToolMessagesRunTheirToolInAnUntitledAlert)
{
	CCapturedAlerts alerts;
	CAlertHandler* previous = SetAlertHandler(&alerts);
	EXPECT_TRUE(RunDeviceTool(66, fDevice));
	EXPECT_TRUE(RunDeviceTool(72, fDevice)) << "an empty tool";
	EXPECT_FALSE(RunDeviceTool(74, fDevice));
	EXPECT_FALSE(RunDeviceTool(65, nullptr));
	SetAlertHandler(previous);
	ASSERT_EQ(alerts.shown.size(), 1u);
	EXPECT_EQ(alerts.shown[0].title, "");
	EXPECT_EQ(alerts.shown[0].buttons, std::vector<std::string> {"OK"});
	EXPECT_NE(alerts.shown[0].text.find("ReadDiscInformation result: OK"), std::string::npos);
}

}   // namespace
