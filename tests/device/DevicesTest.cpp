// Discovery without driver add-ons: what it skips, and what it tells the user
// about drives that exist but refuse to open.
#include "devices/devices.h"
#include "emulator/DriveConfig.h"
#include "emulator/MmcDrive.h"
#include "kit/device/DeviceNamespace.h"
#include "kit/device/VirtualDevice.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace fs = std::filesystem;

namespace {

// A sysfs tree with one CD-ROM drive on host 0 and its Linux devices, in a
// temporary folder that every user may read.
class CFakeDrive {
public:
	CFakeDrive()
	{
		std::string pattern = (fs::temp_directory_path() / "devices-XXXXXX").string();
		if (mkdtemp(pattern.data()) == nullptr)
			abort();
		fRoot = pattern;
		chmod(fRoot.c_str(), 0755);
		std::string sys = fRoot + "/sys";
		std::string real = sys + "/devices/pci0000:00/usb1/0:0:0:0";
		fs::create_directories(sys + "/bus/scsi/devices");
		fs::create_directories(sys + "/class/scsi_host/host0");
		std::ofstream(sys + "/class/scsi_host/host0/proc_name") << "usb-storage\n";
		fs::create_directories(real + "/scsi_generic/sg0");
		fs::create_directories(real + "/block/sr0");
		std::ofstream(real + "/type") << "5\n";
		fs::create_directory_symlink(real, sys + "/bus/scsi/devices/0:0:0:0");
		fs::create_directories(fRoot + "/dev");
		for (const char* name : {"sg0", "sr0"}) {
			std::string path = fRoot + "/dev/" + name;
			std::ofstream(path) << "";
			chmod(path.c_str(), 0660);
		}
	}
	~CFakeDrive()
	{
		dev_set_system_roots("/sys", "/dev");
		std::error_code ignored;
		fs::remove_all(fRoot, ignored);
	}
	std::string Sysfs() const { return fRoot + "/sys"; }
	std::string Dev() const { return fRoot + "/dev"; }
	// Gives both device files to `group`.
	void SetGroup(gid_t group) const
	{
		for (const char* name : {"sg0", "sr0"}) {
			if (chown((Dev() + "/" + name).c_str(), 0, group) != 0)
				ADD_FAILURE() << "chown " << name;
		}
	}

private:
	std::string fRoot;
};

TEST(DeviceAccessTest, TheMessageNamesTheDeviceAndTheGroupToJoin)
{
	CFakeDrive fake;
	struct group* cdrom = getgrnam("cdrom");
	gid_t gid = cdrom != nullptr ? cdrom->gr_gid : 24;
	std::string name = cdrom != nullptr ? "cdrom" : "24";
	fake.SetGroup(gid);
	std::string device = fake.Dev() + "/sg0";
	std::string text = DescribeAccessProblem("/dev/bus/scsi/0/0/0/raw", device);
	EXPECT_EQ(text,
		"Can't open the drive at /dev/bus/scsi/0/0/0/raw (" + device + "): permission denied.\nJoin the group \""
			+ name + "\" that owns " + device + " (sudo usermod -aG " + name
			+ " $USER), then log out and in again.\n");

	// Owned by root's group, or unknown: nobody to join.
	fake.SetGroup(0);
	EXPECT_NE(DescribeAccessProblem("/dev/bus/scsi/0/0/0/raw", device)
				  .find("Ask the administrator for read and write access to " + device + ".\n"),
		std::string::npos);
	EXPECT_EQ(DescribeAccessProblem("/dev/disk/ide/atapi/1/slave/0/raw", ""),
		"Can't open the drive at /dev/disk/ide/atapi/1/slave/0/raw: permission denied.\nAsk the administrator "
		"for read and write access to /dev/disk/ide/atapi/1/slave/0/raw.\n");
}

// Discovery run as a user outside the device's group, in a child process.
TEST(DeviceAccessDeathTest, DiscoveryReportsADriveItMayNotOpen)
{
	GTEST_FLAG_SET(death_test_style, "threadsafe");
	CFakeDrive fake;
	struct group* cdrom = getgrnam("cdrom");
	gid_t gid = cdrom != nullptr ? cdrom->gr_gid : 24;
	fake.SetGroup(gid);
	EXPECT_EXIT(
		{
			if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
				exit(2);
			setenv("TARNWICK_VIRTUAL_DRIVES", "none", 1);
			ResetVirtualDrives();
			dev_set_system_roots(fake.Sysfs().c_str(), fake.Dev().c_str());
			bool found = OpenDevices();
			std::string problems = GetDeviceAccessProblems();
			fprintf(stderr, "%s", problems.c_str());
			// Once, however often discovery meets the drive.
			OpenDevices_Inquiry("/dev/bus/scsi/0/0/0/raw");
			bool once = GetDeviceAccessProblems() == problems;
			exit(!found && once && countDevices == 0 ? 0 : 3);
		},
		testing::ExitedWithCode(0),
		"Can't open the drive at /dev/bus/scsi/0/0/0/raw \\(.*/sg0\\): permission denied.\nJoin the group");
}

class DiscoveryTest : public testing::Test {
protected:
	void SetUp() override
	{
		setenv("TARNWICK_VIRTUAL_DRIVES", "none", 1);
		ResetVirtualDrives();
	}
	void TearDown() override
	{
		CloseDevices();
		ResetVirtualDrives();
		unsetenv("TARNWICK_VIRTUAL_DRIVES");
	}
};

TEST_F(DiscoveryTest, DevicesOfOtherTypesAndOtherPathsAreSkipped)
{
	CDriveConfig disk;
	disk.peripheralType = 0;
	std::string path;
	ASSERT_EQ(RegisterVirtualDevice(std::make_shared<CMmcDrive>(disk, nullptr), &path), B_OK);
	EXPECT_FALSE(OpenDevices());
	EXPECT_EQ(countDevices, 0);
	EXPECT_EQ(g_pDevices[0], nullptr);

	// Leaves outside the bus/target/unit pattern have no address.
	OpenDevices_Inquiry("/dev/bus/scsi/0/raw");
	OpenDevices_Inquiry("/dev/bus/scsi/0/0/0/raw/x");
	OpenDevices_Walkpath("/dev/bus/scsi/99");
	EXPECT_EQ(countDevices, 0);
	EXPECT_EQ(GetDeviceAccessProblems(), "");
}

}   // namespace
