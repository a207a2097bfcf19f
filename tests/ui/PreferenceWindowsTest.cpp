// The application preferences window with its folder selector, and the
// device configuration and properties windows opened from the device
// preferences for the default virtual recorder. With TARNWICK_SCREENSHOT_DIR
// set, each window is saved there as a PNG.
#include "UiTestSupport.h"
#include "driver/AddOnImages.h"
#include "emulator/EmulatorTestUtil.h"

#include "devices/Device.h"
#include "devices/devices.h"
#include "frame/MainWindowModel.h"
#include "kit/interface/qt/Application.h"
#include "kit/interface/qt/FilePanel.h"
#include "kit/interface/qt/Window.h"
#include "ui/ApplicationSetupWindow.h"
#include "ui/DeviceConfigurationWindow.h"
#include "ui/DeviceSetupWindow.h"
#include "QuietDrives.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>

#include <cstdlib>
#include <filesystem>

using namespace uitest;

namespace {

void Screenshot(QWidget* window, const char* name)
{
	const char* folder = getenv("TARNWICK_SCREENSHOT_DIR");
	if (folder == nullptr)
		return;
	RunFor(100000);
	EXPECT_TRUE(window->grab().save(QString(folder) + "/" + name, "PNG")) << name;
}

// Volumes as the tests want them: every folder passes.
class CPassingVolumes : public CVolumeInspector {
public:
	bool Inspect(const std::string&, VOLUME_CAPABILITIES* capabilities) const override
	{
		capabilities->device = 1;
		capabilities->persistent = true;
		capabilities->removable = false;
		capabilities->readOnly = false;
		capabilities->attributes = capabilities->mimeTypes = capabilities->queries = true;
		return true;
	}
};

TEST(ApplicationSetupWindow, ShowsTheFolderOffersTheSelectorAndStoresTheCheckBoxes)
{
	BApplication application("application/x-vnd.Orrisec-PreferenceWindowsTest");
	SettingsAndAlerts settings;
	const std::string current = std::string(getenv("HOME")) + "/Tarnwick Projects";
	std::filesystem::create_directories(current);

	auto view = std::make_unique<CApplicationSetupView>([current] { return current; },
		std::make_shared<CPassingVolumes>());
	QPointer<CApplicationSetupWindow> window = new CApplicationSetupWindow(std::move(view));
	window->Show();
	EXPECT_EQ(window->Title(), "Application Preferences");
	EXPECT_EQ(window->FolderField()->text().toStdString(), current);
	EXPECT_TRUE(window->SplashCheckBox()->isChecked());
	EXPECT_FALSE(window->RenameCheckBox()->isChecked());
	EXPECT_FALSE(window->RevertButton()->isEnabled());
	Screenshot(window, "application-preferences.png");

	// The selector: one directory-only panel, titled as the program names it.
	window->ChangeButton()->click();
	ASSERT_TRUE(RunUntil([&] { return window->FolderSelector() != nullptr; }));
	QFileDialog* dialog = window->FolderSelector()->Dialog();
	EXPECT_EQ(dialog->windowTitle(), "Select New Project Folder");
	EXPECT_EQ(dialog->labelText(QFileDialog::Accept), "Select");
	EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
	EXPECT_EQ(dialog->directory().absolutePath().toStdString(), std::string(getenv("HOME")));
	dialog->reject();
	ASSERT_TRUE(RunUntil([&] { return !window->View().Display().selectorOpen; }));

	window->RenameCheckBox()->click();
	ASSERT_TRUE(RunUntil([&] { return window->RevertButton()->isEnabled(); }));
	window->PostMessage(B_QUIT_REQUESTED);
	ASSERT_TRUE(RunUntil([&] { return window.isNull(); }));
	std::unique_ptr<BMessage> stored(PreferenceHandler.LoadMessage("global project settings"));
	ASSERT_NE(stored, nullptr);
	EXPECT_TRUE(stored->GetBool("rename source files", false));
	EXPECT_TRUE(LoadWindowPlacement("Application Preferences", BRect()).IsValid());
	EXPECT_EQ(settings.alerts.CountShown(), 0u);
}

TEST(DeviceConfigurationWindow, OpensFromTheDevicePreferencesAndRefusesAnInvalidSyncSetting)
{
	BApplication application("application/x-vnd.Orrisec-PreferenceWindowsTest");
	SettingsAndAlerts settings;
	emutest::CTempFolder folder;
	OpenDrivesQuietly(nullptr);
	ASSERT_EQ(countDevices, 1);
	CDevice* device = g_pDevices[0];

	QPointer<CDeviceSetupWindow> setup = new CDeviceSetupWindow();
	setup->Show();
	EXPECT_FALSE(setup->ConfigureButton()->isEnabled()) << "no drive selected";
	setup->SelectRow(0);
	ASSERT_TRUE(setup->ConfigureButton()->isEnabled());
	Screenshot(setup, "device-preferences.png");

	setup->ConfigureButton()->click();
	const std::string title = std::string("Change Configuration - ") + device->GetDeviceName();
	QPointer<BWindow> found = FindWindow(title.c_str());
	ASSERT_FALSE(found.isNull());
	auto* configuration = static_cast<CDeviceConfigurationWindow*>(found.data());
	// A second click brings the same window forward.
	const int32 windows = CountWindows();
	setup->ConfigureButton()->click();
	EXPECT_EQ(CountWindows(), windows);

	using View = CDeviceConfigurationView;
	EXPECT_EQ(configuration->Menu(View::kSpindownTimeout)->itemText(0), "current");
	EXPECT_TRUE(configuration->Menu(View::kSpindownTimeout)->isEnabled());
	EXPECT_EQ(configuration->Menu(View::kReadClusterSize)->currentText(), "62 KBytes (27 sectors)");
	configuration->MoreButton()->click();
	EXPECT_TRUE(configuration->MorePanel()->isVisible());

	// 28 sectors through the menu: the element menu follows.
	QComboBox* cluster = configuration->Menu(View::kReadClusterSize);
	const int index28 = cluster->findData(28);
	ASSERT_GE(index28, 0);
	cluster->setCurrentIndex(index28);
	emit cluster->activated(index28);
	ASSERT_TRUE(RunUntil([&] {
		return configuration->Menu(View::kReadElementSize)->itemText(0)
			== "64 KBytes (1 clusters, 28 sectors, 0.37 seconds)";
	}));
	Screenshot(configuration, "device-configuration.png");

	// Sync "always" with 28 sync sectors... is not offered; 3 sectors with
	// 3 sync sectors is refused.
	ASSERT_TRUE(configuration->View().Choose(View::kReadClusterSize, 3));
	ASSERT_TRUE(configuration->View().Choose(View::kSyncMode, 1));
	ASSERT_TRUE(configuration->View().Choose(View::kSyncSectors, 3));
	configuration->PostMessage(B_QUIT_REQUESTED);
	ASSERT_TRUE(RunUntil([&] { return settings.alerts.CountShown() == 1; }));
	EXPECT_EQ(settings.alerts.Shown()[0].title, "invalid sync setting");
	EXPECT_FALSE(found.isNull()) << "the window stays";
	ASSERT_TRUE(configuration->View().Choose(View::kSyncSectors, 2));
	configuration->PostMessage(B_QUIT_REQUESTED);
	ASSERT_TRUE(RunUntil([&] { return found.isNull(); }));
	CPreference record(device->GetUniqueDeviceName());
	ASSERT_TRUE(record.Load());
	int32 value = 0;
	record.FindInt32("read buffer sectors", &value);
	EXPECT_EQ(value, 3);
	record.FindInt32("read sync sectors", &value);
	EXPECT_EQ(value, 2);

	// The properties window lists what the drive reports.
	setup->PropertiesButton()->click();
	const std::string propertiesTitle = std::string("Device Properties - ") + device->GetDeviceName();
	QPointer<BWindow> properties = FindWindow(propertiesTitle.c_str());
	ASSERT_FALSE(properties.isNull());
	QTreeWidget* list = static_cast<CDevicePropertiesWindow*>(properties.data())->List();
	ASSERT_EQ(list->topLevelItemCount(), 4);
	EXPECT_EQ(list->topLevelItem(3)->text(0), "Capabilities");
	EXPECT_GT(list->topLevelItem(3)->childCount(), 10);
	Screenshot(properties, "device-properties.png");

	properties->PostMessage(B_QUIT_REQUESTED);
	setup->PostMessage(B_QUIT_REQUESTED);
	ASSERT_TRUE(RunUntil([&] { return properties.isNull() && setup.isNull(); }));

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
