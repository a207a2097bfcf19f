// The driver record: the constructor's defaults and bindings, the command
// library's exports, missing functions reported and replaced by failing
// stand-ins, speed tables and their menu labels.
#include "AddOnImages.h"

#include "kit/support/Errors.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace drivertest;

namespace {

std::vector<std::string> sReports;

void RecordReport(const char* message)
{
	sReports.emplace_back(message);
}

// Collects what debugger() is given while it lives.
class DebuggerReports {
public:
	DebuggerReports()
	{
		sReports.clear();
		fPrevious = set_debugger_hook(RecordReport);
	}
	~DebuggerReports() { set_debugger_hook(fPrevious); }
	const std::vector<std::string>& Reports() const { return sReports; }

private:
	debugger_hook fPrevious = nullptr;
};

// The names the record constructor looks up, in its order.
const std::vector<std::string> kConstructorOrder = {"CddaReadEnable_Dummy", "CddaReadDisable_Dummy", "SpeedSet_Dummy",
	"SpeedGet_Dummy", "PlayAudioPosition", "PlayAudioTrack", "StopAudio", "PauseAudio", "ResumeAudio", "ReadToc",
	"ReadAudio_mmc", "StartUnit", "StopUnit", "MediumEject", "MediumLoad", "MediumAllowRemoval",
	"MediumPreventRemoval", "ModeSense", "ModeSelect", "TestUnitReady", "ReadBufferCapacity", "ReadDiscInformation",
	"ReadTrackInformation", "ReadAtipData", "ReadCdText", "ReadSubChannelCurrentPosition", "ReadSubChannelMCN",
	"ReadSubChannelISRC", "Write_10", "OpenSession_mmc", "CloseSession_mmc", "GetNextTrackNumber_mmc",
	"OpenTrack_mmc", "CloseTrack_mmc", "FixateDisc_mmc", "OptimumPowerCalibration"};

// Every variant a driver record may bind: slot name + suffix.
std::vector<std::string> Variants()
{
	const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> suffixes = {
		{{"ReadAudio"}, {"_10", "_Sony", "_Plextor", "_BeOS"}},
		{{"SpeedSet"}, {"_mmc", "_Teac", "_Plextor", "_PhilipsCdd2000", "_PhilipsCdd2600", "_YamahaCdr100"}},
		{{"SpeedGet"}, {"_mmc", "_TeacCdr50S", "_TeacCdr55S", "_TeacCdr56S", "_TeacCdr56S400", "_TeacCdr58S",
						   "_PhilipsCdd2000", "_PhilipsCdd2600", "_YamahaCdr100", "_YamahaCdr102"}},
		{{"Write"}, {"_12", "_TeacCdr50", "_PhilipsCdd2000", "_YamahaCdr100"}},
		{{"OpenSession", "CloseSession", "GetNextTrackNumber", "OpenTrack", "CloseTrack", "FixateDisc"},
			{"_TeacCdr50", "_PhilipsCdd2000", "_YamahaCdr100"}},
		{{"ReadDiscInformation"}, {"_TeacCdr50", "_YamahaCdr100"}},
		{{"ReadTrackInformation"}, {"_YamahaCdr100"}},
		{{"ReadBufferCapacity"}, {"_Dummy", "_YamahaCdr100", "_YamahaCdr102"}},
		{{"ReadAtipData"}, {"_Dummy", "_YamahaCdr100"}},
		{{"MediumEject", "MediumLoad"}, {"_Philips", "_YamahaCdr100"}},
		{{"CddaReadEnable", "CddaReadDisable"}, {"_Philips"}},
		{{"ReadCdText", "OptimumPowerCalibration"}, {"_Dummy"}},
	};
	std::vector<std::string> names;
	for (const auto& [slots, endings] : suffixes) {
		for (const std::string& slot : slots) {
			for (const std::string& ending : endings)
				names.push_back(slot + ending);
		}
	}
	return names;
}

// Calls every slot with harmless arguments and returns the os_status each
// call left (B_OK marks a call that returned true).
std::vector<int32> CallEverySlot(const CDriver& driver)
{
	std::vector<int32> results;
	auto record = [&](bool ok, const SCSI_STATUS& status) { results.push_back(ok ? B_OK : status.os_status); };
	SCSI_STATUS s {};
	char buffer[2352] = {};
	int32 a = 0, b = 0;
	float f = 0, g = 0;
	SCSI_DISC_INFORMATION information {};
	SCSI_ATIP_DATA atip {};
	record(driver.PlayAudioPosition(nullptr, 0, &s), s);
	record(driver.PlayAudioTrack(nullptr, 1, &s), s);
	record(driver.StopAudio(nullptr, &s), s);
	record(driver.PauseAudio(nullptr, &s), s);
	record(driver.ResumeAudio(nullptr, &s), s);
	record(driver.ReadToc(nullptr, nullptr, &s), s);
	record(driver.ReadAudio(nullptr, buffer, 0, 1, &s), s);
	record(driver.MediumEject(nullptr, &s), s);
	record(driver.MediumLoad(nullptr, &s), s);
	record(driver.MediumAllowRemoval(nullptr, &s), s);
	record(driver.MediumPreventRemoval(nullptr, &s), s);
	record(driver.ModeSense(nullptr, buffer, 64, 0x2A, 0, &s), s);
	record(driver.ModeSelect(nullptr, buffer, 64, 1, 0, &s), s);
	record(driver.TestUnitReady(nullptr, &s), s);
	record(driver.CddaReadEnable(nullptr, &s), s);
	record(driver.CddaReadDisable(nullptr, &s), s);
	record(driver.SpeedSet(nullptr, -1, -1, &s), s);
	record(driver.SpeedGet(nullptr, &f, &g, &s), s);
	record(driver.StartUnit(nullptr, &s), s);
	record(driver.StopUnit(nullptr, &s), s);
	record(driver.ReadBufferCapacity(nullptr, &a, &b, &s), s);
	record(driver.ReadDiscInformation(nullptr, &information, &s), s);
	record(driver.ReadTrackInformation(nullptr, 1, buffer, 36, &s), s);
	record(driver.ReadAtipData(nullptr, &atip, &s), s);
	record(driver.ReadCdText(nullptr, buffer, sizeof(buffer), &s), s);
	record(driver.ReadSubChannelCurrentPosition(nullptr, buffer, &s), s);
	record(driver.ReadSubChannelMCN(nullptr, buffer, &s), s);
	record(driver.ReadSubChannelISRC(nullptr, 1, buffer, &s), s);
	record(driver.Write(nullptr, 0, buffer, 1, 2352, &s), s);
	record(driver.OpenSession(nullptr, 0, 1, buffer, 8, &a, &s), s);
	record(driver.CloseSession(nullptr, 1.0f, &s), s);
	record(driver.GetNextTrackNumber(nullptr, &a, &s), s);
	record(driver.OpenTrack(nullptr, 1, 0, 1, 150, 750, 0, 0, nullptr, nullptr, &a, &s), s);
	record(driver.CloseTrack(nullptr, 1, &s), s);
	record(driver.FixateDisc(nullptr, 1.0f, &s), s);
	record(driver.OptimumPowerCalibration(nullptr, &s), s);
	// Without a status record too.
	EXPECT_FALSE(driver.TestUnitReady(nullptr, nullptr));
	return results;
}

}   // namespace

TEST(DriverRecord, FreshRecordHasTheDefaultsAndTheDefaultCommands)
{
	ASSERT_GT(GenericImage(), 0);
	DebuggerReports reports;
	CDriver driver(GenericImage());
	EXPECT_TRUE(reports.Reports().empty());
	EXPECT_EQ(driver.Flags, 0u);
	EXPECT_STREQ(driver.pszName, "");
	EXPECT_STREQ(driver.pszVersion, "");
	EXPECT_STREQ(driver.pszDescription, "");
	EXPECT_STREQ(driver.pszInformation, "");
	EXPECT_EQ(CountSpeedEntries(driver.pReadSpeed), 0);
	EXPECT_EQ(CountSpeedEntries(driver.pWriteSpeedCdr), 0);
	EXPECT_EQ(CountSpeedEntries(driver.pWriteSpeedCdrw), 0);
	EXPECT_EQ(driver.nSpindownTimeout, -1);
	EXPECT_EQ(driver.nReadSpinupSectors, 75);
	EXPECT_EQ(driver.nReadSyncMode, 0);
	EXPECT_EQ(driver.nReadSyncSectors, 3);
	EXPECT_EQ(driver.nReadErrorAction, 0);
	EXPECT_EQ(driver.nReadErrorRetries, 10);
	EXPECT_EQ(driver.imageId, GenericImage());

	// Rebinding one slot changes that slot only.
	void* before = driver.FunctionAddress(SLOT_SPEED_GET);
	driver.BindFunction(SLOT_SPEED_SET, "SpeedSet_mmc");
	EXPECT_EQ(driver.FunctionAddress(SLOT_SPEED_SET), GenericFunction("SpeedSet_mmc"));
	EXPECT_EQ(driver.FunctionAddress(SLOT_SPEED_GET), before);
	EXPECT_EQ(driver.FunctionAddress(SLOT_COUNT), nullptr);
	EXPECT_EQ(DriverSlotName(SLOT_COUNT), nullptr);
	EXPECT_STREQ(DriverSlotName(SLOT_READ_SUB_CHANNEL_ISRC), "ReadSubChannelISRC");
}

TEST(DriverRecord, CommandLibraryExportsEveryDefaultAndVariant)
{
	ASSERT_GT(GenericImage(), 0);
	std::vector<std::string> names = kConstructorOrder;
	for (const std::string& variant : Variants())
		names.push_back(variant);
	EXPECT_EQ(names.size(), 94u);
	for (const std::string& name : names)
		EXPECT_NE(GenericFunction(name.c_str()), nullptr) << name;
	// The add-on walk meets the command library too: it must not look like
	// a driver add-on.
	void* address = nullptr;
	EXPECT_EQ(get_image_symbol(GenericImage(), "InitDriver", B_SYMBOL_TYPE_ANY, &address), B_MISSING_SYMBOL);
	EXPECT_EQ(get_image_symbol(GenericImage(), "NotImplemented", B_SYMBOL_TYPE_ANY, &address), B_MISSING_SYMBOL);
}

// A command library that lacks a function is reported for each name, in the
// order of binding, and the slot fails cleanly instead of staying unset.
TEST(DriverRecord, MissingFunctionsAreReportedAndTheirSlotsFail)
{
	const CAddOn& ostrel = AddOn("drv-ostrel");
	const CAddOn& empty = AddOn("drv-norbeck");   // an image with none of the command names
	ASSERT_NE(ostrel.LoadDriver, nullptr);
	ASSERT_GT(empty.image, 0);

	DebuggerReports reports;
	ASSERT_TRUE(ostrel.InitDriver(empty.image));
	SCSI_INQUIRY inquiry = Inquiry("TEAC    ", "CD-R50S");
	testing::internal::CaptureStdout();
	CDriver* driver = ostrel.LoadDriver(&inquiry);
	std::string printed = testing::internal::GetCapturedStdout();
	ASSERT_TRUE(ostrel.InitDriver(GenericImage()));
	ASSERT_NE(driver, nullptr);
	EXPECT_EQ(printed, "drv-ostrel: Teac CD-R50S detected\n");

	std::vector<std::string> expected = kConstructorOrder;
	for (const char* variant : {"ReadAudio_Sony", "SpeedSet_Teac", "OpenSession_TeacCdr50", "CloseSession_TeacCdr50",
			 "GetNextTrackNumber_TeacCdr50", "OpenTrack_TeacCdr50", "CloseTrack_TeacCdr50", "FixateDisc_TeacCdr50",
			 "ReadDiscInformation_TeacCdr50", "Write_TeacCdr50", "ReadBufferCapacity_Dummy", "ReadAtipData_Dummy",
			 "OptimumPowerCalibration_Dummy", "SpeedGet_TeacCdr50S"})
		expected.push_back(variant);
	ASSERT_EQ(reports.Reports().size(), expected.size());
	for (size_t i = 0; i < expected.size(); i++) {
		char text[256];
		snprintf(text, sizeof(text), "Couldn't find function \"%s\" at \"drv-ostrel\" in image 0x%08X",
			expected[i].c_str(), static_cast<unsigned>(empty.image));
		EXPECT_EQ(reports.Reports()[i], text);
	}

	for (int32 i = 0; i < SLOT_COUNT; i++)
		EXPECT_NE(driver->FunctionAddress(static_cast<DRIVER_SLOT>(i)), nullptr);
	std::vector<int32> results = CallEverySlot(*driver);
	ASSERT_EQ(results.size(), static_cast<size_t>(SLOT_COUNT));
	for (int32 i = 0; i < SLOT_COUNT; i++)
		EXPECT_EQ(results[i], B_MISSING_SYMBOL) << DriverSlotName(static_cast<DRIVER_SLOT>(i));
	delete driver;
}

TEST(DriverRecord, SpeedTablesEndAtTheFirstZeroFactor)
{
	const SPEED_INFO table[] = {{177, 1.0f, nullptr, nullptr}, {65535, -1.0f, "maximum", nullptr},
		{5, 0.0f, "ignored", nullptr}, {353, 2.0f, nullptr, nullptr}};
	EXPECT_EQ(CountSpeedEntries(table), 2);
	EXPECT_EQ(CountSpeedEntries(speed_dummy), 0);
	EXPECT_EQ(CountSpeedEntries(nullptr), 0);
}

TEST(DriverRecord, SpeedMenuItemLabelsAndValues)
{
	struct {
		SPEED_INFO entry;
		const char* label;
	} cases[] = {
		{{1412, 8.0f, nullptr, nullptr}, "8.0X, 1411 K/sec"},
		{{1412, 8.0f, nullptr, "unverified"}, "8.0X, 1411 K/sec (unverified)"},
		{{65535, -1.0f, "maximum", "unverified"}, "maximum (unverified)"},
		{{65535, -1.0f, "maximum", nullptr}, "maximum"},
		{{2, 4.5f, nullptr, nullptr}, "4.5X, 794 K/sec"},
		{{6, 20.0f, "12.0X - 20.0X, 2117 K/sec - 3528 K/sec", nullptr}, "12.0X - 20.0X, 2117 K/sec - 3528 K/sec"},
	};
	for (const auto& c : cases) {
		SPEED_MENU_ITEM item = CreateSpeedMenuItem(&c.entry, 'SpRd');
		EXPECT_EQ(item.label, c.label);
		EXPECT_EQ(item.command, static_cast<uint32>('SpRd'));
		EXPECT_EQ(item.speedValue, c.entry.nValue);
		EXPECT_EQ(item.speedFactor, c.entry.fFactor);
	}
	SPEED_MENU_ITEM current = CreateSpeedMenuItem(nullptr, 7);
	EXPECT_EQ(current.label, "current");
	EXPECT_EQ(current.command, 7u);
	EXPECT_EQ(current.speedValue, -1);
	EXPECT_EQ(current.speedFactor, -1.0f);
	EXPECT_STREQ(kSpeedValueField, "speedvalue");
	EXPECT_STREQ(kSpeedFactorField, "speedfactor");
}

TEST(DriverRecord, FlagsAboveBit31KeepTheirPlaces)
{
	EXPECT_EQ(F_CDTEXT_READ, 0x10ULL << 32);
	EXPECT_EQ(F_CDTEXT_WRITE, 0x20ULL << 32);
	EXPECT_EQ(F_BLANK_FULL, 0x40ULL << 32);
	EXPECT_EQ(F_BLANK_MINIMAL, 0x80ULL << 32);
	EXPECT_EQ(F_BUFFER_INQUIRY, 0x100ULL << 32);
	EXPECT_EQ(F_RAW_TESTWRITE, 0x2000000ULL);
}
