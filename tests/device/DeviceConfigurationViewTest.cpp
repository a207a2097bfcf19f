// The device configuration's logic: the element and buffer choices that
// follow the cluster size, the sync check on closing, what is stored, and
// the spin-down probe and the properties of a virtual drive.
#include "driver/AddOnImages.h"
#include "emulator/EmulatorTestUtil.h"

#include "devices/Device.h"
#include "devices/DeviceConfigurationView.h"
#include "devices/DeviceProperties.h"
#include "devices/devices.h"
#include "frame/Preference.h"
#include "kit/app/MessageSink.h"
#include "kit/interface/Alert.h"
#include "kit/support/Message.h"
#include "QuietDrives.h"

#include <gtest/gtest.h>

namespace {

using View = CDeviceConfigurationView;

std::vector<int32> Values(const std::vector<CONFIGURATION_ITEM>& items)
{
	std::vector<int32> values;
	for (const CONFIGURATION_ITEM& item : items)
		values.push_back(item.value);
	return values;
}

class DeviceConfigurationViewTest : public testing::Test {
protected:
	void SetUp() override
	{
		fFolder = std::make_unique<emutest::CTempFolder>();
		ASSERT_EQ(PreferenceHandler.Init(fFolder->File("Tarnwick Settings").c_str()), B_OK);
		fPrevious = SetAlertHandler(&fAlerts);
	}
	void TearDown() override { SetAlertHandler(fPrevious); }

	// A drive record as a new drive gets it, then `changes`.
	std::unique_ptr<CPreference> Record(std::initializer_list<std::pair<const char*, int32>> changes = {})
	{
		auto record = std::make_unique<CPreference>("Test Drive 1.0");
		for (auto [key, value] : std::initializer_list<std::pair<const char*, int32>> {{"spindown timeout", -1},
				 {"read spinup sectors", 75}, {"read sync mode", 0}, {"read sync sectors", 3},
				 {"read error action", 0}, {"read error retrys", 10}, {"read buffer sectors", 27},
				 {"read buffer clusters", 6}, {"read buffer elements", 5}, {"write buffer sectors", 27},
				 {"write buffer clusters", 8}, {"write buffer elements", 14}}) {
			record->AddInt32(key, value);
		}
		for (auto [key, value] : changes)
			record->ReplaceInt32(key, value);
		return record;
	}

	static int32 Stored(const char* key)
	{
		CPreference record("Test Drive 1.0");
		EXPECT_TRUE(record.Load());
		int32 value = -99;
		record.FindInt32(key, &value);
		return value;
	}

	std::unique_ptr<emutest::CTempFolder> fFolder;
	CScriptedAlertHandler fAlerts {0};
	CAlertHandler* fPrevious = nullptr;
};

TEST(DeviceConfigurationChoices, ElementSizesFollowTheClusterSize)
{
	// 64 KBytes hold one cluster of 27 sectors but none of 28; a size whose
	// bytes repeat the previous one's is left out.
	std::vector<CONFIGURATION_ITEM> at27 = View::ElementChoices(27);
	EXPECT_EQ(Values(at27), (std::vector<int32> {1, 2, 3, 4, 6, 8, 12, 16, 24, 33, 41, 49, 57, 66}));
	EXPECT_EQ(at27[0].label, "62 KBytes (1 clusters, 27 sectors, 0.36 seconds)");
	std::vector<CONFIGURATION_ITEM> at28 = View::ElementChoices(28);
	EXPECT_EQ(Values(at28), (std::vector<int32> {1, 2, 3, 5, 7, 11, 15, 23, 31, 39, 47, 55, 63}));
	EXPECT_EQ(at28[0].label, "64 KBytes (1 clusters, 28 sectors, 0.37 seconds)");
	EXPECT_EQ(at28.back().label, "4051 KBytes (63 clusters, 1764 sectors, 23.52 seconds)");
	EXPECT_TRUE(View::ElementChoices(0).empty());
}

TEST(DeviceConfigurationChoices, OneMegabyteIsOfferedOnlyWithMoreThanTwoElements)
{
	// Elements of 6 clusters of 27 sectors: 1 MByte holds only 2 of them.
	std::vector<CONFIGURATION_ITEM> large = View::BufferChoices(27, 6);
	ASSERT_FALSE(large.empty());
	EXPECT_EQ(large[0].label, "1.8 MBytes (5 elements, 30 clusters, 810 sectors, 10.80 seconds)");
	for (const CONFIGURATION_ITEM& item : large)
		EXPECT_GT(item.value, 2) << item.label;
	// Elements of one cluster: 1 MByte holds 16.
	std::vector<CONFIGURATION_ITEM> small = View::BufferChoices(27, 1);
	ASSERT_FALSE(small.empty());
	EXPECT_EQ(small[0].label, "1.0 MBytes (16 elements, 16 clusters, 432 sectors, 5.76 seconds)");
	EXPECT_EQ(small.back().value, 64 * 1048576 / 63504);
	// Elements of 4 MBytes: only the sizes above 8 MBytes hold more than 2,
	// and no size is offered twice.
	std::vector<CONFIGURATION_ITEM> huge = View::BufferChoices(255, 7);
	ASSERT_FALSE(huge.empty());
	EXPECT_EQ(huge[0].value, 3);
	for (size_t i = 1; i < huge.size(); i++)
		EXPECT_GT(huge[i].value, huge[i - 1].value);
}

TEST_F(DeviceConfigurationViewTest, ChangingTheClusterSizeRebuildsElementsKeepingTheChoiceWhenOffered)
{
	auto record = Record({{"read buffer clusters", 2}, {"read buffer elements", 40}});
	auto sink = std::make_shared<CMessageSink>();
	View view(record.get());
	view.SetTarget(sink->Messenger());
	view.Load();
	EXPECT_TRUE(sink->WaitForCount(DEVICE_CONFIGURATION_CHANGED, 1, 0));
	EXPECT_EQ(view.Menu(View::kReadClusterSize).MarkedValue(), 27);
	EXPECT_EQ(view.Menu(View::kReadElementSize).MarkedValue(), 2);
	EXPECT_EQ(view.Menu(View::kReadBufferSize).MarkedValue(), 40);
	EXPECT_EQ(view.Menu(View::kWriteElementSize).MarkedValue(), 8);
	EXPECT_EQ(view.Menu(View::kWriteBufferSize).MarkedValue(), 14);
	EXPECT_EQ(view.Menu(View::kErrorAction).items[0].label, "ask");
	EXPECT_EQ(view.Menu(View::kSpindownTimeout).items[0].label, "current");

	// The user picks 28 sectors through the menu item's message.
	BMessage choice(DEVICE_CONFIGURATION_CHOICE);
	choice.AddInt32("menu", View::kReadClusterSize);
	choice.AddInt32("sectors", 28);
	EXPECT_TRUE(view.MessageReceived(&choice));
	EXPECT_TRUE(sink->WaitForCount(DEVICE_CONFIGURATION_CHANGED, 2, 0));
	EXPECT_EQ(Values(view.Menu(View::kReadElementSize).items), Values(View::ElementChoices(28)));
	EXPECT_EQ(view.Menu(View::kReadElementSize).MarkedValue(), 2) << "2 clusters are still offered";
	EXPECT_EQ(Values(view.Menu(View::kReadBufferSize).items), Values(View::BufferChoices(28, 2)));
	// 40 elements of 2 x 28 sectors no longer make a size of the table.
	EXPECT_EQ(view.Menu(View::kReadBufferSize).marked, 0);
	// The write menus are the write buffer's own.
	EXPECT_EQ(view.Menu(View::kWriteClusterSize).MarkedValue(), 27);
	EXPECT_EQ(Values(view.Menu(View::kWriteElementSize).items), Values(View::ElementChoices(27)));

	// A value no item carries is refused.
	EXPECT_FALSE(view.Choose(View::kSyncSectors, 11));
	EXPECT_FALSE(view.Choose(View::kReadClusterSize, 30));

	ASSERT_TRUE(view.QuitRequested());
	EXPECT_EQ(Stored("read buffer sectors"), 28);
	EXPECT_EQ(Stored("read buffer clusters"), 2);
	EXPECT_EQ(Stored("read buffer elements"), view.Menu(View::kReadBufferSize).items[0].value);
	EXPECT_EQ(Stored("write buffer elements"), 14);
	EXPECT_EQ(fAlerts.CountShown(), 0u);
}

TEST_F(DeviceConfigurationViewTest, SyncSectorsMustStayBelowTheReadClusterToClose)
{
	auto record = Record({{"read buffer sectors", 3}, {"read sync mode", 1}, {"read sync sectors", 3},
		{"read buffer clusters", 1}, {"read buffer elements", 148}});
	View view(record.get());
	view.Load();
	EXPECT_EQ(view.Menu(View::kReadBufferSize).MarkedValue(), 148);

	EXPECT_FALSE(view.QuitRequested());
	ASSERT_EQ(fAlerts.CountShown(), 1u);
	AlertRequest alert = fAlerts.Shown()[0];
	EXPECT_EQ(alert.title, "invalid sync setting");
	EXPECT_EQ(alert.text, "You selected an invalid combination of synchronization sectors and read buffer cluster "
						  "size.\nThe number of sectors in a read cluster must always be larger than the number "
						  "of synchronization sectors.");
	EXPECT_EQ(alert.buttons, std::vector<std::string> {"OK"});
	EXPECT_FALSE(CPreference("Test Drive 1.0").Load()) << "nothing stored while the window stays";

	ASSERT_TRUE(view.Choose(View::kSyncSectors, 2));
	EXPECT_TRUE(view.QuitRequested());
	EXPECT_EQ(fAlerts.CountShown(), 1u);
	EXPECT_EQ(Stored("read sync sectors"), 2);
	EXPECT_EQ(Stored("read sync mode"), 1);

	EXPECT_TRUE(View::IsSyncSettingValid(0, 3, 3)) << "never synchronising takes any count";
	EXPECT_FALSE(View::IsSyncSettingValid(2, 3, 3)) << "auto synchronises too";
}

TEST_F(DeviceConfigurationViewTest, AStoredValueTheMenusDoNotOfferIsKeptAsItIs)
{
	// The reading preferences allow more overlap sectors than this window
	// offers; closing without touching the menu must not change them.
	auto record = Record({{"read sync sectors", 20}, {"read error retrys", 7}});
	View view(record.get());
	view.Load();
	const CONFIGURATION_MENU& sync = view.Menu(View::kSyncSectors);
	EXPECT_EQ(sync.MarkedValue(), 20);
	EXPECT_EQ(sync.items[size_t(sync.marked)].label, "20");
	EXPECT_EQ(view.Menu(View::kRetryCount).MarkedValue(), 7);
	ASSERT_TRUE(view.QuitRequested());
	EXPECT_EQ(Stored("read sync sectors"), 20);
	EXPECT_EQ(Stored("read error retrys"), 7);
}

class DeviceConfigurationDriveTest : public DeviceConfigurationViewTest {
protected:
	void SetUp() override
	{
		DeviceConfigurationViewTest::SetUp();
		emutest::WriteText(fFolder->File("drives"), "[drive]\nvendor = ACME\nproduct = Burner 52x\nmedium = none\n");
		OpenDrivesQuietly(fFolder->File("drives").c_str());
		ASSERT_EQ(countDevices, 1);
	}

	void TearDown() override
	{
		CloseDevices();
		UnloadDriver();
		ResetVirtualDrives();
		unsetenv("TARNWICK_VIRTUAL_DRIVES");
		SetDriverAddOnFolder(nullptr);
		for (const char* name : {"drv-pellworth", "drv-quenmoor"}) {
			const drivertest::CAddOn& addOn = drivertest::AddOn(name);
			if (addOn.InitDriver != nullptr)
				addOn.InitDriver(drivertest::GenericImage());
		}
		DeviceConfigurationViewTest::TearDown();
	}
};

TEST_F(DeviceConfigurationDriveTest, AVirtualDriveTakesTheSpindownAndReportsItsProperties)
{
	CDevice* device = g_pDevices[0];
	EXPECT_TRUE(IsSpindownChangeable(device));
	EXPECT_EQ(DeviceConfigurationTitle(device), std::string("Change Configuration - ") + device->GetDeviceName());

	View view(device->GetPreference(), device);
	view.Load();
	EXPECT_TRUE(view.Menu(View::kSpindownTimeout).enabled);
	ASSERT_TRUE(view.Choose(View::kSpindownTimeout, 9));
	ASSERT_TRUE(view.QuitRequested());
	CPreference stored(device->GetUniqueDeviceName());
	ASSERT_TRUE(stored.Load());
	int32 spindown = 0;
	stored.FindInt32("spindown timeout", &spindown);
	EXPECT_EQ(spindown, 9);

	std::vector<PROPERTY_SECTION> sections = DeviceProperties(device);
	ASSERT_EQ(sections.size(), 4u);
	EXPECT_EQ(sections[0].title, "Device");
	EXPECT_EQ(sections[0].rows[0].value, "ACME");
	EXPECT_EQ(sections[1].title, "Add-on");
	EXPECT_NE(sections[1].rows[3].value.find("F_AUDIO_READ"), std::string::npos) << sections[1].rows[3].value;
	EXPECT_EQ(sections[2].title, "Speeds");
	EXPECT_NE(sections[2].rows[1].value, "none") << "a recorder has CD-R writing speeds";
	EXPECT_EQ(sections[3].title, "Capabilities");
	bool writes = false;
	for (const PROPERTY_ROW& row : sections[3].rows)
		writes |= row.label == "CD-R writing" && row.value == "true";
	EXPECT_TRUE(writes);
}

}   // namespace
