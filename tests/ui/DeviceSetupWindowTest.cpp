// The "Device Preferences" window over the default virtual recorder: the
// list, the identity and status of the selected drive, the speed menus, and
// the choice stored when the window closes.
#include "UiTestSupport.h"
#include "driver/AddOnImages.h"
#include "emulator/EmulatorTestUtil.h"

#include "devices/Device.h"
#include "devices/devices.h"
#include "kit/interface/qt/Window.h"
#include "ui/DeviceSetupWindow.h"
#include "QuietDrives.h"

#include <QComboBox>
#include <QPlainTextEdit>
#include <QTreeWidget>

using namespace uitest;

namespace {

TEST(DeviceSetupWindow, ShowsTheSelectedDriveAndStoresItsSpeedOnClose)
{
	SettingsAndAlerts settings;
	emutest::CTempFolder folder;
	OpenDrivesQuietly(nullptr);
	ASSERT_EQ(countDevices, 1);

	auto* window = new CDeviceSetupWindow();
	window->Show();
	EXPECT_EQ(window->Title(), "Device Preferences");
	ASSERT_EQ(window->DeviceList()->topLevelItemCount(), 1);
	EXPECT_EQ(window->DeviceList()->topLevelItem(0)->text(0).toStdString(), "Tarnwick Virtual CD-RW");
	EXPECT_EQ(window->DeviceList()->headerItem()->text(3).toStdString(), "Version");
	EXPECT_FALSE(window->SpeedMenu(CDeviceSetupView::kCdrWriteMenu)->isEnabled()) << "no drive selected";

	window->SelectRow(0);
	EXPECT_EQ(window->View().SelectedIndex(), 0);
	EXPECT_EQ(window->StatusView()->toPlainText().toStdString(), window->View().StatusText());
	EXPECT_NE(window->View().StatusText().find("CD writing is enabled.\n"), std::string::npos);
	QComboBox* cdr = window->SpeedMenu(CDeviceSetupView::kCdrWriteMenu);
	ASSERT_TRUE(cdr->isEnabled());
	ASSERT_GT(cdr->count(), 2);
	EXPECT_EQ(cdr->itemText(0).toStdString(), "current");
	EXPECT_EQ(cdr->currentIndex(), 0);
	cdr->setCurrentIndex(2);
	emit cdr->activated(2);
	const int32 chosen = cdr->itemData(2).toInt();

	if (const char* path = getenv("TARNWICK_SCREENSHOT")) {
		window->Activate();
		RunFor(200000);
		EXPECT_TRUE(window->grab().save(path, "PNG")) << path;
	}

	EXPECT_TRUE(window->QuitRequested());
	CPreference record(g_pDevices[0]->GetUniqueDeviceName());
	ASSERT_TRUE(record.Load());
	int32 stored = 0;
	record.FindInt32("cd-rw writing speed", &stored);
	EXPECT_EQ(stored, chosen);
	window->Quit();
	RunFor(50000);

	CloseDevices();
	UnloadDriver();
	ResetVirtualDrives();
	SetDriverAddOnFolder(TARNWICK_ADDONS_DIR);   // as the test environment set it
	for (const char* name : {"drv-pellworth", "drv-quenmoor"}) {
		const drivertest::CAddOn& addOn = drivertest::AddOn(name);
		if (addOn.InitDriver != nullptr)
			addOn.InitDriver(drivertest::GenericImage());
	}
}

}   // namespace
