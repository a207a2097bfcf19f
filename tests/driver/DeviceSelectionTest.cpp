// Drives at start-up, the way the program brings them up: the add-ons
// loaded from the build's add-on folder, virtual drives from a description
// file found by discovery, each bound to its add-on and remembered in the
// settings store; and the device object watching a drive for discs.
#include "AddOnImages.h"
#include "emulator/EmulatorTestUtil.h"

#include "devices/Device.h"
#include "devices/DeviceListing.h"
#include "devices/devices.h"
#include "disc/Toc.h"
#include "driver/driverbaseclass.h"
#include "emulator/DiscImage.h"
#include "emulator/MmcDrive.h"
#include "frame/Preference.h"
#include "kit/app/MessageSink.h"
#include "kit/device/DeviceNamespace.h"
#include "kit/interface/Alert.h"
#include "kit/kernel/OS.h"
#include "kit/storage/FindDirectory.h"
#include "kit/support/Message.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const kAddOnNames[] = {"drv-ostrel", "drv-brinvale", "drv-cadwick", "drv-dunmere", "drv-elsgrove",
	"drv-farrowby", "drv-gilthorn", "drv-harlock", "drv-islemont", "drv-jessop", "drv-kelvary", "drv-lindrum",
	"drv-morrant", "drv-norbeck", "drv-pellworth", "drv-quenmoor"};

constexpr bigtime_t kNotificationWait = 20000000;

// One drive of every add-on family (the AOpen's vendor field starts with a
// zero byte), an unknown MMC recorder, an MMC reader without CD-DA, and an
// ATAPI drive.
const char* const kEveryFamily = R"(# every family
[drive]
vendor = TEAC
product = CD-R55S
dialect = teac
medium = none
[drive]
vendor = YAMAHA
product = CDR400t
medium = none
[drive]
vendor = PHILIPS
product = CDD2000
dialect = philips
medium = none
[drive]
vendor = YAMAHA
product = CDR100
dialect = yamaha
medium = none
[drive]
vendor = PLEXTOR
product = CD-ROM PX-4XCH
dialect = plextor
write_cdr = no
write_cdrw = no
medium = none
[drive]
vendor = PLEXTOR
product = CD-R   PX-R412C
medium = none
[drive]
vendor = RICOH
product = CD-R/RW MP7040A
medium = none
[drive]
vendor = SONY
product = CD-RW  CRX100E
medium = none
[drive]
vendor = MEMOREX
product = CD-RW 8220S
medium = none
[drive]
vendor = CREATIVE
product = CD-RW RW4224E
medium = none
[drive]
vendor = ATAPI
product = CD-R/RW 4X4X32
bus = atapi
medium = none
[drive]
vendor = SONY
product = CD-R   CDU928E
medium = none
[drive]
vendor = IOMEGA
product = ZIPCD 4x650
medium = none
[drive]
vendor = \x00
product = CRW9420
medium = none
[drive]
vendor = ACME
product = Burner 52x
read_speeds = 4 8 13 16
write_speeds = 2 4 8
medium = none
[drive]
vendor = ACME
product = Reader 48x
write_cdr = no
write_cdrw = no
cdda = no
medium = none
)";

// Product -> add-on bound to it.
const std::map<std::string, std::string> kBindings = {
	{"CD-R55S", "drv-ostrel"},
	{"CDR400t", "drv-brinvale"},
	{"CDD2000", "drv-cadwick"},
	{"CDR100", "drv-dunmere"},
	{"CD-ROM PX-4XCH", "drv-elsgrove"},
	{"CD-R   PX-R412C", "drv-farrowby"},
	{"CD-R/RW MP7040A", "drv-gilthorn"},
	{"CD-RW  CRX100E", "drv-harlock"},
	{"CD-RW 8220S", "drv-islemont"},
	{"CD-RW RW4224E", "drv-jessop"},
	{"CD-R   CDU928E", "drv-kelvary"},
	{"ZIPCD 4x650", "drv-lindrum"},
	{"CRW9420", "drv-morrant"},
	{"CD-R/RW 4X4X32", "drv-norbeck"},
	{"Burner 52x", "drv-pellworth"},
	{"Reader 48x", "drv-quenmoor"},
};

int Count(const std::string& text, const std::string& part)
{
	int count = 0;
	for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
		count++;
	return count;
}

// Program start-up and shutdown of the drive layer, each test with its own
// settings file, disc store and virtual drives.
class DriveStartUpTest : public testing::Test {
protected:
	void SetUp() override
	{
		fFolder = std::make_unique<emutest::CTempFolder>();
		ASSERT_EQ(PreferenceHandler.Init(fFolder->File("Tarnwick Settings").c_str()), B_OK);
		std::string data;
		ASSERT_EQ(find_directory(B_USER_DATA_DIRECTORY, &data, true), B_OK);
		std::error_code ignored;
		fs::remove_all(data + "/tarnwick/cd", ignored);
		unsetenv("TARNWICK_VIRTUAL_DRIVES");
		SetDriverAddOnFolder(TARNWICK_ADDONS_DIR);
		ResetVirtualDrives();
	}

	void TearDown() override
	{
		Stop();
		ResetVirtualDrives();
		unsetenv("TARNWICK_VIRTUAL_DRIVES");
		SetDriverAddOnFolder(nullptr);
		// The add-ons are the same loaded objects as the other driver tests'
		// images: give them back the command library those tests loaded.
		for (const char* name : kAddOnNames) {
			const drivertest::CAddOn& addOn = drivertest::AddOn(name);
			if (addOn.InitDriver != nullptr)
				addOn.InitDriver(drivertest::GenericImage());
		}
		fFolder.reset();
	}

	void Describe(const std::string& text)
	{
		emutest::WriteText(fFolder->File("drives"), text);
		setenv("TARNWICK_VIRTUAL_DRIVES", fFolder->File("drives").c_str(), 1);
	}

	// LoadDriver and OpenDevices; returns what they printed.
	std::string Start()
	{
		testing::internal::CaptureStdout();
		LoadDriver();
		OpenDevices();
		fStarted = true;
		return testing::internal::GetCapturedStdout();
	}

	void Stop()
	{
		if (!fStarted)
			return;
		CloseDevices();
		UnloadDriver();
		fStarted = false;
	}

	std::vector<CDevice*> Devices() const
	{
		std::vector<CDevice*> devices;
		for (int i = 0; i < kMaxDevices && g_pDevices[i] != nullptr; i++)
			devices.push_back(g_pDevices[i]);
		return devices;
	}

	CDevice* Find(const std::string& product) const
	{
		for (CDevice* device : Devices()) {
			if (product == device->GetProduct())
				return device;
		}
		ADD_FAILURE() << "no drive " << product;
		return nullptr;
	}

	static std::string AddOnOf(const CDevice* device)
	{
		CDriver* driver = device->GetDriver();
		return driver != nullptr && driver->pszName != nullptr ? driver->pszName : "";
	}

	// The stored settings record of a drive (as the next start reads it).
	static BMessage Stored(const CDevice* device)
	{
		std::unique_ptr<BMessage> message(PreferenceHandler.LoadMessage(device->GetUniqueDeviceName()));
		return message != nullptr ? *message : BMessage();
	}

	static std::string StoredDriver(const CDevice* device)
	{
		std::string name;
		Stored(device).FindString("driver", &name);
		return name;
	}

	// The virtual drive behind a device of the list.
	static std::shared_ptr<CMmcDrive> DriveOf(const CDevice* device)
	{
		DEVICE_NODE node;
		if (!CDeviceNamespace::Default().Resolve(DeviceRawPath(device), &node) || !node.isVirtual)
			return nullptr;
		return std::dynamic_pointer_cast<CMmcDrive>(CDeviceNamespace::Default().FindVirtual(node.virtualId));
	}

	// An add-on folder with links to the build's add-ons but `missing`.
	std::string AddOnsWithout(const std::vector<std::string>& missing)
	{
		std::string folder = fFolder->File("add-ons-" + std::to_string(++fFolders));
		fs::create_directories(folder);
		for (const auto& entry : fs::directory_iterator(TARNWICK_ADDONS_DIR)) {
			std::string name = entry.path().filename().string();
			if (std::find(missing.begin(), missing.end(), name) == missing.end())
				fs::create_symlink(entry.path(), folder + "/" + name);
		}
		return folder;
	}

	std::unique_ptr<emutest::CTempFolder> fFolder;
	bool fStarted = false;
	int fFolders = 0;
};

TEST_F(DriveStartUpTest, WithoutConfigurationTheDefaultRecorderIsOnTheMmcAddOn)
{
	std::string output = Start();
	ASSERT_EQ(countDevices, 1);
	CDevice* device = g_pDevices[0];
	EXPECT_EQ(AddOnOf(device), "drv-pellworth");
	const uint64 flags = device->GetDriver()->Flags;
	EXPECT_EQ(flags & F_SUPPORTED, 0u);
	for (uint64 flag : {F_GENERIC_DRIVER, F_AUDIO_READ, F_TAO_WRITE, F_DAO_WRITE, F_ATIP_READ, F_TAO_TESTWRITE,
			 F_DAO_TESTWRITE, F_BUFFER_INQUIRY, F_ISRC_READ, F_MCN_READ, F_CDTEXT_WRITE}) {
		EXPECT_NE(flags & flag, 0u) << DescribeDriverFlags(flag);
	}
	EXPECT_NE(output.find("Detecting speed table for  Tarnwick Virtual CD-RW\n"), std::string::npos) << output;
	EXPECT_EQ(StoredDriver(device), "drv-pellworth");

	std::string listing = DescribeDevices();
	EXPECT_NE(listing.find("add-on:    drv-pellworth"), std::string::npos) << listing;
	EXPECT_NE(listing.find("F_GENERIC_DRIVER F_AUDIO_READ"), std::string::npos) << listing;
	EXPECT_NE(listing.find("read speeds:  maximum; 4.0X, 706 K/sec; 8.0X"), std::string::npos) << listing;
	EXPECT_NE(listing.find("CD-R speeds:  maximum; 1.0X, 176 K/sec"), std::string::npos) << listing;
	EXPECT_NE(listing.find("medium:    blank CD-R, 79:59.74"), std::string::npos) << listing;
}

TEST_F(DriveStartUpTest, EveryDriveIsBoundAsSpecifiedAndRemembered)
{
	Describe(kEveryFamily);
	std::string first = Start();
	std::vector<CDevice*> devices = Devices();
	ASSERT_EQ(devices.size(), kBindings.size());
	for (CDevice* device : devices) {
		auto expected = kBindings.find(device->GetProduct());
		ASSERT_NE(expected, kBindings.end()) << device->GetProduct();
		EXPECT_EQ(AddOnOf(device), expected->second) << device->GetProduct();
		EXPECT_EQ(StoredDriver(device), expected->second) << device->GetProduct();
	}
	// SCSI drives first, in the order of the description; the ATAPI drive
	// last, on the first ATAPI controller as master.
	EXPECT_STREQ(devices.front()->GetProduct(), "CD-R55S");
	CDevice* atapi = devices.back();
	EXPECT_STREQ(atapi->GetProduct(), "CD-R/RW 4X4X32");
	EXPECT_EQ(atapi->GetBus(), -100);
	EXPECT_EQ(atapi->GetTarget(), 0);
	EXPECT_TRUE(atapi->IsAtapi());

	for (const char* line : {"drv-ostrel: Teac CD-R55S detected\n", "drv-brinvale: Yamaha CDR400 detected\n",
			 "drv-cadwick: Philips CDD2000 (or compatible) detected\n", "drv-dunmere: Yamaha CDR100 detected\n",
			 "drv-elsgrove: Plextor CD-ROM PX-4XCH detected\n", "drv-farrowby: Plextor CD-R PX-R412C detected\n",
			 "drv-gilthorn: Ricoh CD-R/RW MP7040A detected\n", "drv-harlock: Sony CRX100E detected\n",
			 "drv-islemont: Memorex CD-RW 8220S detected\n", "drv-jessop: Creative Labs CD-RW RW4224E detected\n",
			 "drv-kelvary: Sony CD-R CDU928E detected\n", "drv-lindrum: Iomega ZipCD 4x650 detected\n",
			 "drv-morrant: AOpen CRW9420 detected\n", "drv-norbeck: Medion / Tevion CD-R/RW 4X4X32 detected\n"}) {
		EXPECT_EQ(Count(first, line), 1) << line << first;
	}
	// The reader went through the MMC driver before it fell back.
	EXPECT_EQ(Count(first, "Detecting speed table for  Acme Reader 48x\n"), 1);
	CDevice* reader = Find("Reader 48x");
	EXPECT_EQ(reader->GetDriver()->Flags & F_GENERIC_READONLY, F_GENERIC_READONLY);
	EXPECT_EQ(CountSpeedEntries(reader->GetDriver()->pReadSpeed), 0);

	// The second start: every specific drive goes straight to its add-on
	// (the Yamaha CDR100 is no longer offered to the other Yamaha add-on
	// first), the reader straight to drv-quenmoor without the MMC probe.
	Stop();
	std::string second = Start();
	ASSERT_EQ(Devices().size(), kBindings.size());
	for (CDevice* device : Devices())
		EXPECT_EQ(AddOnOf(device), kBindings.at(device->GetProduct())) << device->GetProduct();
	EXPECT_EQ(Count(first, "drv-brinvale: Yamaha <unknown> detected\n"), 1) << first;
	EXPECT_EQ(Count(second, "drv-brinvale: Yamaha <unknown> detected\n"), 0) << second;
	EXPECT_EQ(Count(second, "drv-dunmere: Yamaha CDR100 detected\n"), 1);
	EXPECT_EQ(Count(second, "Detecting speed table for  Acme Reader 48x\n"), 0) << second;
	EXPECT_EQ(Count(second, "Detecting speed table for  Acme Burner 52x\n"), 1) << second;
}

TEST_F(DriveStartUpTest, ADriveWhoseAddOnWasRemovedIsDetectedAgain)
{
	Describe("[drive]\nvendor = TEAC\nproduct = CD-R55S\ndialect = teac\nmedium = none\n");
	// What an earlier run left: an add-on that is gone, and the user's
	// settings.
	{
		Start();
		ASSERT_EQ(countDevices, 1);
		CPreference record(g_pDevices[0]->GetUniqueDeviceName());
		record.AddString("driver", "drv-vanished");
		for (auto [key, value] : {std::pair {"read spinup sectors", 600}, std::pair {"read error retrys", 50},
				 std::pair {"audio reading speed", 1412}, std::pair {"cd-r writing speed", 2},
				 std::pair {"read buffer sectors", 55}, std::pair {"write buffer elements", 20}}) {
			record.AddInt32(key, value);
		}
		ASSERT_TRUE(record.Save());
		Stop();
	}
	std::string output = Start();
	ASSERT_EQ(countDevices, 1);
	CDevice* device = g_pDevices[0];
	EXPECT_EQ(AddOnOf(device), "drv-ostrel");
	EXPECT_EQ(Count(output, "drv-ostrel: Teac CD-R55S detected\n"), 1);
	BMessage stored = Stored(device);
	std::string driver;
	int32 value = 0;
	EXPECT_EQ(stored.FindString("driver", &driver), B_OK);
	EXPECT_EQ(driver, "drv-ostrel");
	// The add-on's defaults replace the read settings, the chosen speeds
	// are forgotten, the buffer settings stay.
	stored.FindInt32("read spinup sectors", &value);
	EXPECT_EQ(value, device->GetDriver()->nReadSpinupSectors);
	stored.FindInt32("read error retrys", &value);
	EXPECT_EQ(value, device->GetDriver()->nReadErrorRetries);
	stored.FindInt32("audio reading speed", &value);
	EXPECT_EQ(value, -1);
	stored.FindInt32("cd-r writing speed", &value);
	EXPECT_EQ(value, -1);
	stored.FindInt32("read buffer sectors", &value);
	EXPECT_EQ(value, 55);
	stored.FindInt32("write buffer elements", &value);
	EXPECT_EQ(value, 20);
}

TEST_F(DriveStartUpTest, AGenericNameInOtherLetterCaseTakesTheMmcAddOnAfresh)
{
	Describe("[drive]\nvendor = ACME\nproduct = Burner 52x\nmedium = none\n");
	Start();
	ASSERT_EQ(countDevices, 1);
	CPreference record(g_pDevices[0]->GetUniqueDeviceName());
	record.AddString("driver", "DRV-PELLWORTH");
	record.AddInt32("read spinup sectors", 600);
	ASSERT_TRUE(record.Save());
	Stop();

	std::string output = Start();
	ASSERT_EQ(countDevices, 1);
	EXPECT_EQ(AddOnOf(g_pDevices[0]), "drv-pellworth");
	EXPECT_EQ(StoredDriver(g_pDevices[0]), "drv-pellworth");
	int32 spinup = 0;
	Stored(g_pDevices[0]).FindInt32("read spinup sectors", &spinup);
	EXPECT_EQ(spinup, g_pDevices[0]->GetDriver()->nReadSpinupSectors);
}

TEST_F(DriveStartUpTest, TheSpeedTableKeepsWhatTheDriveReallyTakes)
{
	// Requests of 8X to 12X give 8X: one 8X row. Requests below 4X give 4X
	// and are ignored.
	Describe("[drive]\nvendor = ACME\nproduct = Burner 52x\nread_speeds = 4 8 13 16\n"
			 "write_speeds = 2 4 8\nwrite_cdrw = no\nmedium = none\n");
	std::string output = Start();
	ASSERT_EQ(countDevices, 1);
	CDriver* driver = g_pDevices[0]->GetDriver();

	std::vector<float> read;
	for (int i = 0; i < CountSpeedEntries(driver->pReadSpeed); i++)
		read.push_back(driver->pReadSpeed[i].fFactor);
	EXPECT_EQ(read, (std::vector<float> {-1.0f, 4.0f, 8.0f, 13.0f, 16.0f}));
	EXPECT_EQ(driver->pReadSpeed[0].nValue, 65535);
	EXPECT_STREQ(driver->pReadSpeed[0].pszName, "maximum");
	EXPECT_EQ(driver->pReadSpeed[2].nValue, 1412);

	std::vector<float> cdr;
	for (int i = 0; i < CountSpeedEntries(driver->pWriteSpeedCdr); i++)
		cdr.push_back(driver->pWriteSpeedCdr[i].fFactor);
	EXPECT_EQ(cdr, (std::vector<float> {-1.0f, 2.0f, 4.0f, 8.0f}));
	EXPECT_EQ(CountSpeedEntries(driver->pWriteSpeedCdrw), 0);

	EXPECT_NE(output.find("MaximumReadSpeed = 2822 (16.0 X)\nCurrentReadSpeed = 2822 (16.0 X)\n"),
		std::string::npos)
		<< output;
	EXPECT_NE(output.find("AudioRead = 1, CdrWrite = 1, CdrwWrite = 0\n"), std::string::npos) << output;
	EXPECT_NE(output.find("read speed table:\nignoring:\t 177 (1.0 X) => 706 (4.0 X)\n"), std::string::npos)
		<< output;
	EXPECT_NE(output.find("using:   \t 1412 (8.0 X) => 1412 (8.0 X)\nusing:   \t 2294 (13.0 X)"),
		std::string::npos)
		<< output;
	std::string readTable = output.substr(output.find("read speed table:"));
	readTable = readTable.substr(0, readTable.find("write speed table:"));
	EXPECT_EQ(Count(readTable, "=> 1412 (8.0 X)"), 1) << readTable;
	EXPECT_NE(output.find("write speed table:\nignoring:\t 177 (1.0 X) => 353 (2.0 X)\n"), std::string::npos)
		<< output;

	// The drive is back at the speeds it had.
	float factor = 0;
	ASSERT_TRUE(g_pDevices[0]->GetReadSpeed(&factor, nullptr));
	EXPECT_EQ(factor, 16.0f);
	ASSERT_TRUE(g_pDevices[0]->GetWriteSpeed(&factor, nullptr));
	EXPECT_EQ(factor, 8.0f);
}

TEST_F(DriveStartUpTest, WithoutTheCommandLibraryNoAddOnIsLoaded)
{
	SetDriverAddOnFolder(AddOnsWithout({"generic"}).c_str());
	CScriptedAlertHandler alerts;
	CAlertHandler* previous = SetAlertHandler(&alerts);
	LoadDriver();
	SetAlertHandler(previous);
	ASSERT_EQ(alerts.CountShown(), 1u);
	EXPECT_EQ(alerts.Shown()[0].text, "Error while loading generic add-on");
	EXPECT_TRUE(listDriver.empty());
	EXPECT_LT(imageIdCommonDriver, 0);
	UnloadDriver();
}

TEST_F(DriveStartUpTest, AddOnsAreListedInNameOrderWithTheirStrings)
{
	LoadDriver();
	fStarted = true;
	ASSERT_EQ(listDriver.size(), 16u);
	for (size_t i = 1; i < listDriver.size(); i++)
		EXPECT_LT(std::string(listDriver[i - 1]->pszDriverName), listDriver[i]->pszDriverName);
	CDriverListEntry* mmc = FindDriverEntry("drv-pellworth");
	ASSERT_NE(mmc, nullptr);
	EXPECT_STREQ(mmc->pszDriverDescription, "SCSI-3 MultiMedia Command Set compatible CD recorder");
	EXPECT_NE(mmc->pszDriverVersion[0], '\0');
	EXPECT_EQ(FindDriverEntry("DRV-PELLWORTH"), nullptr);
	EXPECT_EQ(FindDriverEntry("generic"), nullptr);
}

TEST_F(DriveStartUpTest, TheListHoldsSixtyThreeDrivesAtMost)
{
	setenv("TARNWICK_VIRTUAL_DRIVES", "none", 1);
	for (int i = 0; i < kMaxDevices + 1; i++) {
		CDriveConfig config = emutest::TestConfig();
		config.product = "Drive " + std::to_string(i);
		config.medium = CDriveConfig::kMediumNone;
		std::string path;
		ASSERT_EQ(RegisterVirtualDevice(std::make_shared<CMmcDrive>(config, nullptr), &path), B_OK);
	}
	Start();
	EXPECT_EQ(countDevices, kMaxDevices - 1);
	EXPECT_EQ(g_pDevices[kMaxDevices - 1], nullptr);
	EXPECT_STREQ(g_pDevices[kMaxDevices - 2]->GetProduct(), "Drive 62");
}

using DriveStartUpDeathTest = DriveStartUpTest;

TEST_F(DriveStartUpDeathTest, AMissingGenericAddOnEndsStartUp)
{
	GTEST_FLAG_SET(death_test_style, "threadsafe");
	Describe("[drive]\nvendor = ACME\nproduct = Burner 52x\nmedium = none\n");
	SetDriverAddOnFolder(AddOnsWithout({"drv-pellworth"}).c_str());
	EXPECT_EXIT(
		{
			LoadDriver();
			OpenDevices();
		},
		testing::ExitedWithCode(1), "");

	Describe("[drive]\nvendor = ACME\nproduct = Reader 48x\nwrite_cdr = no\nwrite_cdrw = no\ncdda = no\n"
			 "medium = none\n");
	ResetVirtualDrives();
	SetDriverAddOnFolder(AddOnsWithout({"drv-quenmoor"}).c_str());
	EXPECT_EXIT(
		{
			LoadDriver();
			OpenDevices();
		},
		testing::ExitedWithCode(1), "");
}

// --- The device object on a watched drive --------------------------------------

class WatchedDriveTest : public DriveStartUpTest {
protected:
	void SetUp() override
	{
		DriveStartUpTest::SetUp();
		fDisc = emutest::MakeTestDisc(*fFolder);
		Describe("[drive]\nvendor = ACME\nproduct = Burner 52x\nmedium = none\ntiming = instant\n");
		Start();
		ASSERT_EQ(countDevices, 1);
		fDevice = g_pDevices[0];
		fDrive = DriveOf(fDevice);
		ASSERT_NE(fDrive, nullptr);
	}

	void TearDown() override
	{
		if (fDevice != nullptr) {
			fDevice->Detach(fSink->Messenger());
			fDevice->Detach(fSecond->Messenger());
		}
		DriveStartUpTest::TearDown();
	}

	void Insert()
	{
		std::shared_ptr<CDiscImage> image;
		std::string error;
		ASSERT_EQ(CDiscImage::LoadCue(fDisc.cuePath, &image, &error), B_OK) << error;
		fDrive->InsertMedium(image);
	}

	emutest::STestDisc fDisc;
	CDevice* fDevice = nullptr;
	std::shared_ptr<CMmcDrive> fDrive;
	std::shared_ptr<CMessageSink> fSink = std::make_shared<CMessageSink>();
	std::shared_ptr<CMessageSink> fSecond = std::make_shared<CMessageSink>();
};

TEST_F(WatchedDriveTest, AnInsertedDiscBringsItsCdTextAndTheUsersNamesWinNextTime)
{
	fDevice->Attach(fSink->Messenger(), true, true, true, false);
	ASSERT_TRUE(fDevice->IsUpdateThreadRunning());
	EXPECT_FALSE(fDevice->IsDiscPresent());
	EXPECT_EQ(fSink->CountMessages(M_NOTIFY_CD_INSERTED), 0);
	EXPECT_GE(fSink->CountMessages(M_NOTIFY_CD_UPDATE), 1);

	Insert();
	ASSERT_NE(fSink->WaitForMessage(M_NOTIFY_CD_INSERTED, kNotificationWait), nullptr);
	EXPECT_TRUE(fDevice->IsDiscPresent());
	CToc* toc = fDevice->GetToc();
	toc->Lock();
	ASSERT_EQ(toc->TrackCount(), 3);
	EXPECT_STREQ(toc->Title(), "Test Artist - Test Album");
	EXPECT_STREQ(toc->TrackTitle(1), "First Song");
	EXPECT_STREQ(toc->TrackArtist(1), "Singer One");
	EXPECT_STREQ(toc->TrackTitle(3), "Third");
	// The user names the disc and a track.
	toc->SetTitle("My Disc");
	toc->SetTrackTitle(2, "My Own Title");
	toc->SetTrackArtist(2, "My Band");
	toc->Unlock();

	ASSERT_EQ(fDrive->EjectMedium(), B_OK);
	ASSERT_NE(fSink->WaitForMessage(M_NOTIFY_CD_REMOVED, kNotificationWait), nullptr);
	EXPECT_FALSE(fDevice->IsDiscPresent());

	// The names are in the store.
	std::string data;
	ASSERT_EQ(find_directory(B_USER_DATA_DIRECTORY, &data, false), B_OK);
	std::string stored;
	for (const auto& entry : fs::directory_iterator(data + "/tarnwick/cd")) {
		std::ifstream file(entry.path());
		stored += std::string(std::istreambuf_iterator<char>(file), {});
	}
	EXPECT_NE(stored.find("My Disc\t"), std::string::npos) << stored;
	EXPECT_NE(stored.find("My Band - My Own Title\t"), std::string::npos) << stored;
	EXPECT_NE(stored.find("Singer One - First Song\t"), std::string::npos) << stored;

	Insert();
	ASSERT_NE(fSink->WaitForMessage(M_NOTIFY_CD_INSERTED, kNotificationWait), nullptr);
	toc->Lock();
	EXPECT_STREQ(toc->Title(), "My Disc");
	EXPECT_STREQ(toc->TrackTitle(2), "My Own Title");
	EXPECT_STREQ(toc->TrackArtist(2), "My Band");
	EXPECT_STREQ(toc->TrackTitle(1), "First Song");
	EXPECT_STREQ(toc->TrackArtist(1), "Singer One");
	toc->Unlock();
}

TEST_F(WatchedDriveTest, ListenersAndTheUpdateThread)
{
	// A listener of TOC changes alone starts no thread.
	fDevice->Attach(fSecond->Messenger(), false, false, false, true);
	EXPECT_FALSE(fDevice->IsUpdateThreadRunning());
	fDevice->PostTocUpdate(3);
	std::unique_ptr<BMessage> toc = fSecond->WaitForMessage(M_NOTIFY_TOC_UPDATE, kNotificationWait);
	ASSERT_NE(toc, nullptr);
	int32 track = 0;
	EXPECT_EQ(toc->FindInt32("track", &track), B_OK);
	EXPECT_EQ(track, 3);

	Insert();
	fDevice->Attach(fSink->Messenger(), true, true, false, false);
	ASSERT_TRUE(fDevice->IsUpdateThreadRunning());
	EXPECT_EQ(fDevice->UpdateThreadName(), "update ACME Burner 52x");
	thread_id thread = find_thread("update ACME Burner 52x");
	ASSERT_GT(thread, 0);
	thread_info info;
	ASSERT_EQ(get_thread_info(thread, &info), B_OK);
	EXPECT_EQ(info.priority, B_NORMAL_PRIORITY);

	ASSERT_NE(fSink->WaitForMessage(M_NOTIFY_CD_INSERTED, kNotificationWait), nullptr);
	// A second view attached while the disc is known hears of it at once.
	fDevice->Attach(fSecond->Messenger(), true, false, false, false);
	EXPECT_EQ(fSecond->CountMessages(M_NOTIFY_CD_INSERTED), 1);
	EXPECT_EQ(fSink->CountMessages(M_NOTIFY_CD_UPDATE), 0);

	// The thread ends with the last listener of the three lists.
	fDevice->Detach(fSink->Messenger());
	EXPECT_TRUE(fDevice->IsUpdateThreadRunning());
	fDevice->Detach(fSecond->Messenger());
	EXPECT_FALSE(fDevice->IsUpdateThreadRunning());
	EXPECT_FALSE(fDevice->IsDiscPresent());
	EXPECT_LT(find_thread("update ACME Burner 52x"), 0);
}

TEST_F(WatchedDriveTest, DisabledUpdatesPausePolling)
{
	fDevice->Attach(fSink->Messenger(), false, false, true, false);
	fDevice->DisableUpdates();
	snooze(400000);   // a poll that was running finishes
	fSink->Clear();
	snooze(1000000);
	EXPECT_EQ(fSink->CountMessages(M_NOTIFY_CD_UPDATE), 0);
	fDevice->EnableUpdates();
	EXPECT_TRUE(fSink->WaitForCount(M_NOTIFY_CD_UPDATE, 1, kNotificationWait));
}

TEST_F(WatchedDriveTest, ExclusiveUseSpeedsAndReadiness)
{
	char owner[8] = "?";
	EXPECT_TRUE(fDevice->LockDevice("recording window", owner, sizeof(owner)));
	EXPECT_FALSE(fDevice->LockDevice("player", owner, sizeof(owner)));
	EXPECT_STREQ(owner, "recordi");
	fDevice->UnlockDevice();
	EXPECT_TRUE(fDevice->LockDevice("player", nullptr, 0));
	fDevice->UnlockDevice();

	// No medium: one test, one pause, then false.
	bigtime_t start = system_time();
	EXPECT_FALSE(fDevice->WaitUnitReady(0, nullptr));
	EXPECT_GE(system_time() - start, 300000);

	Insert();
	EXPECT_TRUE(fDevice->WaitUnitReady(5000000, nullptr));

	// A reset after a set leaves the speed that was set.
	float factor = 0;
	ASSERT_TRUE(fDevice->SetReadSpeed(1412, nullptr));
	ASSERT_TRUE(fDevice->ResetReadSpeed(nullptr));
	ASSERT_TRUE(fDevice->GetReadSpeed(&factor, nullptr));
	EXPECT_EQ(factor, 8.0f);
	ASSERT_TRUE(fDevice->SetWriteSpeed(706, nullptr));
	ASSERT_TRUE(fDevice->ResetWriteSpeed(nullptr));
	ASSERT_TRUE(fDevice->GetWriteSpeed(&factor, nullptr));
	EXPECT_EQ(factor, 4.0f);
}

TEST_F(WatchedDriveTest, SettingsGoToTheModePages)
{
	CDriver* driver = fDevice->GetDriver();
	std::vector<uint8> page;
	// Stop on track crossing, as a drive may have it.
	ASSERT_TRUE(emutest::ModeSense(*fDrive, 0x0E, 0, &page).Good());
	page.resize(8 + 16);
	std::fill(page.begin(), page.begin() + 8, 0);
	page[8] &= 0x3F;
	page[8 + 2] |= 0x02;
	ASSERT_TRUE(emutest::ModeSelect(*fDrive, page).Good());

	fDevice->GetPreference()->ReplaceInt32("spindown timeout", 5);
	fDevice->ApplyPreference();

	uint8 buffer[160] = {};
	ASSERT_TRUE(driver->ModeSense(fDevice, buffer, 152, 0x0D, 0, nullptr));
	EXPECT_EQ(buffer[8 + 3] & 0x0F, 5);
	ASSERT_TRUE(driver->ModeSense(fDevice, buffer, 160, 0x0E, 0, nullptr));
	EXPECT_EQ(buffer[8 + 2] & 0x06, 0x04);   // Immed set, SOTC clear
}

}   // namespace

TEST_F(DriveStartUpTest, CdTextWritingIsTakenFromTheDrivesSessionAtOnceFeature)
{
	Describe("[drive]\nvendor = ACME\nproduct = Burner 52x\nwrite_speeds = 2 4\nmedium = none\ncd_text_write = no\n"
			 "[drive]\nvendor = ACME\nproduct = Burner 40x\nwrite_speeds = 2 4\nmedium = none\n");
	Start();
	CDevice* without = Find("Burner 52x");
	CDevice* with = Find("Burner 40x");
	ASSERT_NE(without, nullptr);
	ASSERT_NE(with, nullptr);
	EXPECT_EQ(without->GetDriver()->Flags & (F_DAO_WRITE | F_CDTEXT_WRITE), F_DAO_WRITE);
	EXPECT_EQ(with->GetDriver()->Flags & (F_DAO_WRITE | F_CDTEXT_WRITE), F_DAO_WRITE | F_CDTEXT_WRITE);
}
