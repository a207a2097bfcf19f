// The device preferences' logic: status texts, speed menus and the speeds
// stored when the selection moves, on virtual drives bound by start-up.
#include "driver/AddOnImages.h"
#include "emulator/EmulatorTestUtil.h"

#include "devices/Device.h"
#include "devices/DeviceSetupView.h"
#include "devices/devices.h"
#include "driver/driverbaseclass.h"
#include "frame/Preference.h"
#include "QuietDrives.h"

#include <gtest/gtest.h>

namespace {

class CTestDriver : public CDriver {
public:
	explicit CTestDriver(uint64 flags) : CDriver(drivertest::GenericImage())
	{
		Flags = flags;
		pszName = "drv-test";
		pszVersion = "1.2";
		pszDescription = "Test drives";
		pszInformation = "none";
	}
};

const char* const kDebugTail = "\n\n\n\n\n\nFor debugging only:\n============\nFlags: \t\t";
const char* const kStrings = "Name: \t\tdrv-test\nVersion: \t\t1.2\nDescription: \tTest drives\nInformation: \tnone\n";

TEST(DeviceSetupStatus, SupportedExperimentalAndUnknownDrives)
{
	CTestDriver supported(F_SUPPORTED | F_AUDIO_READ | F_DAO_WRITE | F_CDTEXT_WRITE);
	EXPECT_EQ(CDeviceSetupView::BuildStatusText(supported),
		std::string("This device is supported by the drv-test add-on.\nCD reading is enabled.\n"
					"CD writing is enabled.\nCD-TEXT writing is enabled.\n")
			+ kDebugTail + "F_SUPPORTED F_AUDIO_READ F_DAO_WRITE F_CDTEXT_WRITE \n" + kStrings);

	CTestDriver experimental(F_SUPPORTED | F_EXPERIMENTAL | F_RAW_WRITE | F_CDTEXT_READ);
	EXPECT_EQ(CDeviceSetupView::BuildStatusText(experimental),
		std::string("This device is supported by the drv-test add-on.\n"
					"The support is experimental and has not been verified.\n"
					"CD writing is enabled.\nCD-TEXT reading is enabled.\n")
			+ kDebugTail + "F_SUPPORTED F_EXPERIMENTAL F_RAW_WRITE F_CDTEXT_READ \n" + kStrings);

	// Experimental without supported says nothing of support; no flag at
	// all leaves the flag line empty.
	CTestDriver unknown(0);
	EXPECT_EQ(CDeviceSetupView::BuildStatusText(unknown),
		std::string("This device is unknown and may not work.\n"
					"If you experinece problems, please contact the author.\n")
			+ kDebugTail + "\n" + kStrings);
	CTestDriver unknownExperimental(F_EXPERIMENTAL | F_TAO_WRITE);
	std::string text = CDeviceSetupView::BuildStatusText(unknownExperimental);
	EXPECT_EQ(text.find("experimental and"), std::string::npos);
	EXPECT_NE(text.find("CD writing is enabled.\n"), std::string::npos);
}

TEST(DeviceSetupMenus, StoredValueIsMarkedElseCurrent)
{
	const SPEED_INFO table[] = {{706, 4.0f, nullptr, nullptr}, {1412, 8.0f, nullptr, nullptr}, {0, 0.0f, nullptr, nullptr}};
	CDeviceSetupView::SPEED_MENU menu = CDeviceSetupView::BuildSpeedMenu("CD-R writing speed", table, 1412, true);
	ASSERT_EQ(menu.items.size(), 3u);
	EXPECT_EQ(menu.items[0].label, "current");
	EXPECT_EQ(menu.items[0].speedValue, -1);
	EXPECT_EQ(menu.items[0].command, M_DEVICE_SETUP_SPEED);
	EXPECT_EQ(menu.marked, 2);
	EXPECT_EQ(CDeviceSetupView::BuildSpeedMenu("x", table, 999, true).marked, 0) << "a value the table lost";
	EXPECT_EQ(CDeviceSetupView::BuildSpeedMenu("x", nullptr, -1, false).items.size(), 1u);
}

class DeviceSetupViewTest : public testing::Test {
protected:
	void SetUp() override
	{
		fFolder = std::make_unique<emutest::CTempFolder>();
		ASSERT_EQ(PreferenceHandler.Init(fFolder->File("Tarnwick Settings").c_str()), B_OK);
		emutest::WriteText(fFolder->File("drives"),
			"[drive]\nvendor = ACME\nproduct = Burner 52x\nmedium = none\n"
			"[drive]\nvendor = TEAC\nproduct = CD-R55S\ndialect = teac\nmedium = none\n");
		OpenDrivesQuietly(fFolder->File("drives").c_str());
		ASSERT_EQ(countDevices, 2);
	}

	void TearDown() override
	{
		CloseDevices();
		UnloadDriver();
		ResetVirtualDrives();
		unsetenv("TARNWICK_VIRTUAL_DRIVES");
		SetDriverAddOnFolder(nullptr);
		for (const char* name : {"drv-pellworth", "drv-quenmoor", "drv-ostrel", "drv-norbeck"}) {
			const drivertest::CAddOn& addOn = drivertest::AddOn(name);
			if (addOn.InitDriver != nullptr)
				addOn.InitDriver(drivertest::GenericImage());
		}
		fFolder.reset();
	}

	// The stored value of `key` in drive `index`'s record, read from the file.
	int32 Stored(int index, const char* key)
	{
		CPreference record(g_pDevices[index]->GetUniqueDeviceName());
		EXPECT_TRUE(record.Load());
		int32 value = -2;
		record.FindInt32(key, &value);
		return value;
	}

	std::unique_ptr<emutest::CTempFolder> fFolder;
};

TEST_F(DeviceSetupViewTest, SwitchingDrivesStoresTheFirstDrivesSpeedsCrossed)
{
	CDeviceSetupView view;
	ASSERT_EQ(view.Rows().size(), 2u);
	int generic = std::string(g_pDevices[0]->GetProduct()) == "Burner 52x" ? 0 : 1;
	EXPECT_EQ(view.Rows()[generic].device, "Acme Burner 52x");
	EXPECT_EQ(view.SelectedIndex(), -1);
	EXPECT_FALSE(view.Menu(CDeviceSetupView::kAudioReadMenu).enabled);

	view.SelectDevice(generic);
	EXPECT_EQ(view.Vendor(), "ACME");
	EXPECT_EQ(view.Product(), "Burner 52x");
	EXPECT_EQ(view.StatusText().rfind("This device is unknown and may not work.\n", 0), 0u) << view.StatusText();
	for (int m = 0; m < CDeviceSetupView::kMenuCount; m++) {
		const CDeviceSetupView::SPEED_MENU& menu = view.Menu(m);
		EXPECT_TRUE(menu.enabled) << menu.label;
		EXPECT_GT(menu.items.size(), 2u) << menu.label;
		EXPECT_EQ(menu.marked, 0) << "nothing stored yet: current";
	}
	ASSERT_TRUE(view.MarkSpeed(CDeviceSetupView::kAudioReadMenu, 1));
	ASSERT_TRUE(view.MarkSpeed(CDeviceSetupView::kCdrWriteMenu, 2));
	ASSERT_TRUE(view.MarkSpeed(CDeviceSetupView::kCdrwWriteMenu, 3));
	const int32 read = view.Menu(CDeviceSetupView::kAudioReadMenu).items[1].speedValue;
	const int32 cdr = view.Menu(CDeviceSetupView::kCdrWriteMenu).items[2].speedValue;
	const int32 cdrw = view.Menu(CDeviceSetupView::kCdrwWriteMenu).items[3].speedValue;
	EXPECT_FALSE(view.MarkSpeed(CDeviceSetupView::kCdrWriteMenu, 99));
	EXPECT_EQ(Stored(generic, "cd-rw writing speed"), -1) << "nothing is stored before the switch";

	// Switching stores the first drive's choices before showing the second.
	view.SelectDevice(1 - generic);
	EXPECT_EQ(Stored(generic, "audio reading speed"), read);
	EXPECT_EQ(Stored(generic, "cd-rw writing speed"), cdr) << "the CD-R menu is kept under the CD-RW key";
	EXPECT_EQ(Stored(generic, "cd-r writing speed"), cdrw);
	EXPECT_EQ(view.Vendor(), "TEAC");
	EXPECT_EQ(view.StatusText().rfind("This device is supported by the ", 0), 0u) << view.StatusText();
	EXPECT_EQ(view.Menu(CDeviceSetupView::kCdrWriteMenu).marked, 0);

	// Back to the first: its choices are marked again.
	view.SelectDevice(generic);
	EXPECT_EQ(view.Menu(CDeviceSetupView::kAudioReadMenu).marked, 1);
	EXPECT_EQ(view.Menu(CDeviceSetupView::kCdrWriteMenu).marked, 2);
	EXPECT_EQ(view.Menu(CDeviceSetupView::kCdrwWriteMenu).marked, 3);
	// Selecting no drive stores the selected one as well.
	ASSERT_TRUE(view.MarkSpeed(CDeviceSetupView::kCdrWriteMenu, 0));
	view.SelectDevice(-1);
	EXPECT_EQ(Stored(generic, "cd-rw writing speed"), -1);
	EXPECT_EQ(view.SelectedIndex(), -1);
}

}   // namespace
