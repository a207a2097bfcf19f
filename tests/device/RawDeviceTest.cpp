// The device layer: sysfs scanning, the namespace paths and listings,
// descriptors over real (faked) and virtual drives, the SG_IO mapping and
// CD audio reads.
#include "kit/device/CdAudio.h"
#include "kit/device/DeviceNamespace.h"
#include "kit/device/RawDevice.h"
#include "kit/device/ScsiSysfs.h"
#include "kit/device/SgTransport.h"
#include "kit/device/VirtualDevice.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <linux/cdrom.h>
#include <mutex>
#include <scsi/sg.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A sysfs tree and a device folder in a temporary folder.
class CFakeSystem {
public:
	CFakeSystem()
	{
		std::string pattern = (fs::temp_directory_path() / "rawdevice-XXXXXX").string();
		if (mkdtemp(pattern.data()) == nullptr)
			abort();
		fRoot = pattern;
		fs::create_directories(Sysfs() + "/bus/scsi/devices");
		fs::create_directories(Sysfs() + "/class/scsi_host");
		fs::create_directories(Dev());
	}
	~CFakeSystem()
	{
		std::error_code ignored;
		fs::remove_all(fRoot, ignored);
	}

	std::string Sysfs() const { return fRoot + "/sys"; }
	std::string Dev() const { return fRoot + "/dev"; }

	void AddHost(int host, const std::string& procName)
	{
		std::string folder = Sysfs() + "/class/scsi_host/host" + std::to_string(host);
		fs::create_directories(folder);
		Write(folder + "/proc_name", procName + "\n");
	}

	// A SCSI device "H:C:T:L" whose real folder lies below an ATA port when
	// `ataPort`; its SCSI generic and block devices get files in Dev().
	void AddDevice(const std::string& address, int type, const std::string& sg,
		const std::string& sr, bool ataPort = false, bool legacyNames = false)
	{
		std::string real = Sysfs() + "/devices/pci0000:00/" + (ataPort ? "ata3/" : "usb1/") + address;
		fs::create_directories(real);
		Write(real + "/type", std::to_string(type) + "\n");
		if (!sg.empty()) {
			fs::create_directories(real + (legacyNames ? "/scsi_generic:" + sg : "/scsi_generic/" + sg));
			Write(Dev() + "/" + sg, "");
		}
		if (!sr.empty()) {
			fs::create_directories(real + (legacyNames ? "/block:" + sr : "/block/" + sr));
			Write(Dev() + "/" + sr, "");
		}
		fs::create_directory_symlink(real, Sysfs() + "/bus/scsi/devices/" + address);
	}

	void Apply() const { dev_set_system_roots(Sysfs().c_str(), Dev().c_str()); }

	// True when descriptor `fd` is the Linux file Dev()/name.
	bool Opened(int fd, const std::string& name) const
	{
		struct stat opened, file;
		return fstat(fd, &opened) == 0 && stat((Dev() + "/" + name).c_str(), &file) == 0
			&& opened.st_ino == file.st_ino && opened.st_dev == file.st_dev;
	}

private:
	static void Write(const std::string& path, const std::string& text)
	{
		std::ofstream(path) << text;
	}

	std::string fRoot;
};

std::vector<std::string> Names(const char* path)
{
	std::vector<std::string> names;
	EXPECT_EQ(dev_list_directory(path, &names), 0) << path;
	return names;
}

// The raw leaves below `path`, walked the way discovery walks the tree.
void Walk(const std::string& path, std::vector<std::string>* leaves)
{
	std::vector<dev_entry> entries;
	if (dev_list_directory(path.c_str(), &entries) != 0)
		return;
	for (const dev_entry& entry : entries) {
		std::string child = path + "/" + entry.name;
		if (entry.type == DEV_NODE_DIRECTORY)
			Walk(child, leaves);
		else if (entry.name == "raw")
			leaves->push_back(child);
	}
}

// A virtual drive that records what reaches it.
class CRecordingDrive : public CVirtualDevice {
public:
	explicit CRecordingDrive(bool atapi = false) : fAtapi(atapi) {}

	status_t Execute(raw_device_command* command) override
	{
		fCommands++;
		fLastOpcode = command->command[0];
		command->cam_status = CAM_REQ_CMP;
		if (command->data_length > 0)
			memset(command->data, 0x5A, command->data_length);
		return fResult;
	}
	status_t ReadAudio(int32 lba, int32 count, void* buffer) override
	{
		fAudioLba = lba;
		fAudioCount = count;
		memset(buffer, 0x33, size_t(count) * CD_AUDIO_SECTOR_SIZE);
		return B_OK;
	}
	uint8 PeripheralType() const override { return 5; }
	bool IsAtapi() const override { return fAtapi; }

	bool fAtapi;
	std::atomic<int> fCommands {0};
	std::atomic<int> fLastOpcode {-1};
	std::atomic<status_t> fResult {B_OK};
	std::atomic<int32> fAudioLba {-1};
	std::atomic<int32> fAudioCount {0};
};

// Every test starts with an empty fake machine, no virtual drives and the
// real ioctl.
class DeviceLayerTest : public ::testing::Test {
protected:
	void SetUp() override { fSystem.Apply(); }
	void TearDown() override
	{
		UnregisterVirtualDevices();
		SetOsIoctlFunction(nullptr);
	}

	CFakeSystem fSystem;
};

raw_device_command TestUnitReady()
{
	raw_device_command command = {};
	command.command_length = 6;
	command.timeout = 1000000;
	return command;
}

}   // namespace

// #pragma mark - sysfs

TEST(SysfsParsing, AddressesAndNumbers)
{
	int h, c, t, l;
	ASSERT_TRUE(ParseScsiAddress("12:0:3:7", &h, &c, &t, &l));
	EXPECT_EQ(h, 12);
	EXPECT_EQ(c, 0);
	EXPECT_EQ(t, 3);
	EXPECT_EQ(l, 7);
	for (const char* bad : {"1:2:3", "1:2:3:", "1:2:3:4:5", ":1:2:3", "a:0:0:0", "99999999999:0:0:0",
			 "2147483648:0:0:0", "-1:0:0:0", "host0", "target0:0:0", ""})
		EXPECT_FALSE(ParseScsiAddress(bad, &h, &c, &t, &l)) << bad;

	int value;
	ASSERT_TRUE(ParseSysfsNumber(" 5\n", &value));
	EXPECT_EQ(value, 5);
	EXPECT_FALSE(ParseSysfsNumber("-1", &value));
	EXPECT_FALSE(ParseSysfsNumber("5x", &value));
	EXPECT_FALSE(ParseSysfsNumber("\n", &value));

	EXPECT_TRUE(IsLibataHostName("ahci\n"));
	EXPECT_TRUE(IsLibataHostName("ata_piix"));
	EXPECT_TRUE(IsLibataHostName("pata_amd"));
	EXPECT_FALSE(IsLibataHostName("usb-storage"));
	EXPECT_FALSE(IsLibataHostName("virtio_scsi"));
}

TEST(SysfsScan, KeepsOpticalDrivesWithTheirDevices)
{
	CFakeSystem system;
	system.AddHost(0, "ahci");
	system.AddHost(2, "usb-storage");
	system.AddHost(10, "mpt3sas");
	system.AddHost(11, "uas");
	system.AddDevice("0:0:0:0", 5, "sg0", "sr0");              // ATA by host driver
	system.AddDevice("0:0:1:0", 0, "sg1", "");                 // a disk
	system.AddDevice("2:0:0:0", 4, "sg2", "sr1");
	system.AddDevice("10:0:5:0", 5, "sg3", "", false, true);   // older sysfs names
	system.AddDevice("11:0:0:0", 5, "sg4", "sr2", true);       // ATA by its place in sysfs
	system.AddDevice("11:0:1:0", 5, "", "");                   // no device to open
	fs::create_directories(system.Sysfs() + "/bus/scsi/devices/host0");
	fs::create_directories(system.Sysfs() + "/bus/scsi/devices/target0:0:0");

	std::vector<SYSFS_SCSI_DRIVE> drives = ScanSysfsDrives(system.Sysfs());
	ASSERT_EQ(drives.size(), 4u);
	EXPECT_EQ(drives[0].host, 0);
	EXPECT_EQ(drives[0].sgName, "sg0");
	EXPECT_EQ(drives[0].srName, "sr0");
	EXPECT_TRUE(drives[0].ata);
	EXPECT_EQ(drives[1].host, 2);
	EXPECT_EQ(drives[1].type, 4);
	EXPECT_FALSE(drives[1].ata);
	EXPECT_EQ(drives[2].host, 10);   // numeric order: 10 after 2
	EXPECT_EQ(drives[2].target, 5);
	EXPECT_EQ(drives[2].sgName, "sg3");
	EXPECT_EQ(drives[2].srName, "");
	EXPECT_EQ(drives[3].host, 11);
	EXPECT_TRUE(drives[3].ata);
	EXPECT_EQ(HighestSysfsScsiHost(system.Sysfs()), 11);

	EXPECT_TRUE(ScanSysfsDrives(system.Sysfs() + "/missing").empty());
	EXPECT_EQ(HighestSysfsScsiHost(system.Sysfs() + "/missing"), -1);
}

// #pragma mark - namespace

TEST_F(DeviceLayerTest, EmptyMachineStillHasTheProbedDirectories)
{
	EXPECT_TRUE(Names("/dev/bus/scsi").empty());
	EXPECT_TRUE(Names("/dev/disk/ide/atapi").empty());
	EXPECT_EQ(Names("/dev"), (std::vector<std::string> {"bus", "disk"}));
	EXPECT_EQ(Names("/dev/disk"), (std::vector<std::string> {"ide", "scsi"}));
	EXPECT_EQ(dev_node("/dev/bus/scsi"), DEV_NODE_DIRECTORY);
	EXPECT_EQ(dev_node("/dev/bus/scsi/0"), DEV_NODE_NONE);

	std::vector<std::string> names;
	errno = 0;
	EXPECT_EQ(dev_list_directory("/dev/bus/scsi/0", &names), -1);
	EXPECT_EQ(errno, ENOENT);
	EXPECT_EQ(dev_open("/dev/disk/ide/atapi/0/master/0/raw", O_RDONLY), -1);
	EXPECT_EQ(errno, ENOENT);
}

TEST_F(DeviceLayerTest, RealDrivesAppearUnderScsiAndAtapiPaths)
{
	fSystem.AddHost(0, "ahci");
	fSystem.AddHost(1, "ahci");
	fSystem.AddHost(4, "ata_piix");
	fSystem.AddHost(6, "usb-storage");
	fSystem.AddDevice("0:0:0:0", 5, "sg0", "sr0");   // controller 0 master
	fSystem.AddDevice("4:0:1:0", 5, "sg1", "sr1");   // controller 1 slave
	fSystem.AddDevice("6:0:2:1", 4, "sg2", "sr2");   // SCSI
	fSystem.Apply();

	EXPECT_EQ(Names("/dev/bus/scsi"), std::vector<std::string> {"6"});
	EXPECT_EQ(Names("/dev/bus/scsi/6"), std::vector<std::string> {"2"});
	EXPECT_EQ(Names("/dev/bus/scsi/6/2"), std::vector<std::string> {"1"});
	std::vector<dev_entry> entries;
	ASSERT_EQ(dev_list_directory("/dev/bus/scsi/6/2/1", &entries), 0);
	ASSERT_EQ(entries.size(), 1u);
	EXPECT_EQ(entries[0].name, "raw");
	EXPECT_EQ(entries[0].type, DEV_NODE_DEVICE);
	EXPECT_EQ(Names("/dev/disk/ide/atapi"), (std::vector<std::string> {"0", "1"}));
	EXPECT_EQ(Names("/dev/disk/ide/atapi/1"), std::vector<std::string> {"slave"});

	std::vector<std::string> leaves;
	Walk("/dev/bus/scsi", &leaves);
	EXPECT_EQ(leaves, std::vector<std::string> {"/dev/bus/scsi/6/2/1/raw"});
	EXPECT_EQ(dev_node("/dev/disk/ide/atapi/0/master/0/raw"), DEV_NODE_DEVICE);
	EXPECT_EQ(dev_node("/dev/disk/ide/atapi/1/slave/0/raw"), DEV_NODE_DEVICE);
	EXPECT_EQ(dev_node("/dev/disk/scsi/6/2/1/raw"), DEV_NODE_DEVICE);
	EXPECT_EQ(dev_node("//dev/bus/scsi/6/2/1/raw/"), DEV_NODE_DEVICE);
	EXPECT_EQ(dev_node("/dev/bus/scsi/6/../6/2/1/raw"), DEV_NODE_NONE);
	EXPECT_EQ(dev_node("dev/bus/scsi"), DEV_NODE_NONE);

	std::vector<dev_drive_info> drives = dev_list_drives();
	ASSERT_EQ(drives.size(), 3u);
	EXPECT_EQ(drives[0].raw_path, "/dev/disk/ide/atapi/0/master/0/raw");
	EXPECT_TRUE(drives[0].is_atapi);
	EXPECT_EQ(drives[0].linux_device, fSystem.Dev() + "/sg0");
	EXPECT_EQ(drives[2].system_path, "/dev/disk/scsi/6/2/1/raw");
	EXPECT_EQ(drives[2].linux_block_device, fSystem.Dev() + "/sr2");

	std::vector<std::string> names;
	EXPECT_EQ(dev_list_directory("/dev/bus/scsi/6/2/1/raw", &names), -1);
	EXPECT_EQ(errno, ENOTDIR);
	EXPECT_EQ(dev_open("/dev/bus/scsi/6", O_RDONLY), -1);
	EXPECT_EQ(errno, EISDIR);
}

TEST_F(DeviceLayerTest, AtaDrivesBeyondEightPathsAndSharedAddressesStayReachable)
{
	for (int host = 0; host < 9; host++) {
		fSystem.AddHost(host, "ahci");
		fSystem.AddDevice(std::to_string(host) + ":0:0:0", 5, "sg" + std::to_string(host), "");
	}
	fSystem.AddHost(9, "aic7xxx");
	fSystem.AddDevice("9:0:3:0", 5, "sg9", "");
	fSystem.AddDevice("9:1:3:0", 5, "sg10", "");   // same host, target and unit on channel 1
	fSystem.Apply();

	std::vector<std::string> atapi;
	Walk("/dev/disk/ide/atapi", &atapi);
	EXPECT_EQ(atapi.size(), 8u);
	std::vector<std::string> scsi;
	Walk("/dev/bus/scsi", &scsi);
	EXPECT_EQ(scsi, (std::vector<std::string> {
		"/dev/bus/scsi/8/0/0/raw", "/dev/bus/scsi/9/3/0/raw", "/dev/bus/scsi/10/3/0/raw"}));
	int fd = dev_open("/dev/bus/scsi/10/3/0/raw", O_RDONLY);
	ASSERT_GE(fd, 0);
	EXPECT_TRUE(fSystem.Opened(fd, "sg10"));
	EXPECT_EQ(dev_close(fd), 0);
}

TEST_F(DeviceLayerTest, RawPathsOpenTheGenericDeviceAndSystemFilesTheBlockDevice)
{
	fSystem.AddHost(0, "ahci");
	fSystem.AddHost(3, "usb-storage");
	fSystem.AddDevice("0:0:0:0", 5, "sg0", "sr0");
	fSystem.AddDevice("3:0:0:0", 5, "sg1", "sr1");
	fSystem.AddDevice("3:0:1:0", 5, "", "sr2");
	fSystem.Apply();

	int raw = dev_open("/dev/bus/scsi/3/0/0/raw", O_RDONLY);
	int system = dev_open("/dev/disk/scsi/3/0/0/raw", O_RDONLY);
	int atapi = dev_open("/dev/disk/ide/atapi/0/master/0/raw", O_RDONLY);
	int blockOnly = dev_open("/dev/bus/scsi/3/1/0/raw", O_RDONLY);
	EXPECT_TRUE(fSystem.Opened(raw, "sg1"));
	EXPECT_TRUE(fSystem.Opened(system, "sr1"));
	EXPECT_TRUE(fSystem.Opened(atapi, "sg0"));
	EXPECT_TRUE(fSystem.Opened(blockOnly, "sr2"));
	for (int fd : {raw, system, atapi, blockOnly})
		EXPECT_EQ(dev_close(fd), 0);
	EXPECT_EQ(dev_close(raw), -1);
	EXPECT_EQ(errno, EBADF);

	fs::remove(fSystem.Dev() + "/sg1");   // no SCSI generic device file: the block device serves
	raw = dev_open("/dev/bus/scsi/3/0/0/raw", O_RDONLY);
	EXPECT_TRUE(fSystem.Opened(raw, "sr1"));
	dev_close(raw);
	fs::remove(fSystem.Dev() + "/sr1");
	EXPECT_EQ(dev_open("/dev/bus/scsi/3/0/0/raw", O_RDONLY), -1);
	EXPECT_EQ(errno, ENOENT);
}

// #pragma mark - SG_IO

TEST(SgMapping, StatusHostAndDriverBytes)
{
	struct CASE {
		uint8 status;
		uint16 host;
		uint16 driver;
		int32 resid;
		size_t sense;
		uint8 cam;
		size_t residual;
	};
	const CASE cases[] = {
		{0x00, 0, 0, 0, 0, CAM_REQ_CMP, 0},
		{0x00, 0, 0, 100, 0, CAM_DATA_RUN_ERR, 100},
		{0x00, 0, 0, 5000, 0, CAM_DATA_RUN_ERR, 4096},     // clamped to the request
		{0x00, 0, 0, -8, 0, CAM_REQ_CMP, 0},
		{0x04, 0, 0, 0, 0, CAM_REQ_CMP, 0},                 // CONDITION MET
		{0x02, 0, SG_DRIVER_SENSE, 0, 18, CAM_REQ_CMP_ERR | CAM_AUTOSNS_VALID, 0},
		{0x02, 0, 0, 10, 18, CAM_REQ_CMP_ERR | CAM_AUTOSNS_VALID, 10},
		{0x02, 0, 0, 0, 0, CAM_REQ_CMP_ERR, 0},             // no sense delivered
		{0x08, 0, 0, 0, 0, CAM_REQ_CMP_ERR, 0},             // BUSY
		{0x00, SG_DID_NO_CONNECT, 0, 0, 0, CAM_SEL_TIMEOUT, 0},
		{0x00, SG_DID_BAD_TARGET, 0, 0, 0, CAM_SEL_TIMEOUT, 0},
		{0x00, SG_DID_TIME_OUT, 0, 0, 0, CAM_CMD_TIMEOUT, 0},
		{0x00, SG_DID_BUS_BUSY, 0, 0, 0, CAM_SCSI_BUSY, 0},
		{0x00, SG_DID_RESET, 0, 0, 0, CAM_SCSI_BUS_RESET, 0},
		{0x00, SG_DID_ERROR, 0, 0, 0, CAM_REQ_CMP_ERR, 0},
		{0x00, SG_DID_REQUEUE, 0, 0, 0, CAM_BUSY, 0},
		{0x02, SG_DID_ERROR, SG_DRIVER_SENSE, 0, 18, CAM_REQ_CMP_ERR | CAM_AUTOSNS_VALID, 0},
		{0x00, 0, SG_DRIVER_TIMEOUT, 0, 0, CAM_CMD_TIMEOUT, 0},
		{0x00, 0, 0x10 | SG_DRIVER_TIMEOUT, 0, 0, CAM_CMD_TIMEOUT, 0},   // suggestion bits ignored
		{0x00, 0, SG_DRIVER_INVALID, 0, 0, CAM_REQ_INVALID, 0},
	};
	for (const CASE& c : cases) {
		SG_TRANSPORT_RESULT result;
		result.status = c.status;
		result.host_status = c.host;
		result.driver_status = c.driver;
		result.resid = c.resid;
		result.requested_length = 4096;
		SG_COMMAND_OUTCOME outcome = MapSgResult(result, c.sense);
		SCOPED_TRACE(testing::Message() << "status " << int(c.status) << " host " << c.host
									    << " driver " << c.driver << " resid " << c.resid);
		EXPECT_EQ(outcome.cam_status, c.cam);
		EXPECT_EQ(outcome.scsi_status, c.status);
		EXPECT_EQ(outcome.residual, c.residual);
	}
	EXPECT_EQ(CamStatusFromErrno(ENOMEM), CAM_RESRC_UNAVAIL);
	EXPECT_EQ(CamStatusFromErrno(ENODEV), CAM_DEV_NOT_THERE);
	EXPECT_EQ(CamStatusFromErrno(EIO), CAM_REQ_CMP_ERR);
}

TEST(SgMapping, RequestHeaderFromTheCommand)
{
	uint8 data[64];
	uint8 sense[32];
	raw_device_command command = {};
	command.command[0] = 0x28;
	command.command_length = 10;
	command.flags = B_RAW_DEVICE_DATA_IN;
	command.data = data;
	command.data_length = sizeof(data);
	command.timeout = 1500;   // microseconds: rounded up to 2 ms

	sg_io_hdr_t header;
	ASSERT_EQ(BuildSgRequest(command, &header, sense, sizeof(sense)), 0);
	EXPECT_EQ(header.interface_id, 'S');
	EXPECT_EQ(header.dxfer_direction, SG_DXFER_FROM_DEV);
	EXPECT_EQ(header.cmd_len, 10);
	EXPECT_EQ(header.cmdp[0], 0x28);
	EXPECT_EQ(header.dxferp, data);
	EXPECT_EQ(header.dxfer_len, sizeof(data));
	EXPECT_EQ(header.sbp, sense);
	EXPECT_EQ(header.mx_sb_len, sizeof(sense));
	EXPECT_EQ(header.timeout, 2u);

	command.flags = 0;
	command.timeout = 0;   // the kernel's default
	ASSERT_EQ(BuildSgRequest(command, &header, sense, sizeof(sense)), 0);
	EXPECT_EQ(header.dxfer_direction, SG_DXFER_TO_DEV);
	EXPECT_EQ(header.timeout, 0u);
	command.timeout = int64(1) << 60;
	ASSERT_EQ(BuildSgRequest(command, &header, sense, sizeof(sense)), 0);
	EXPECT_EQ(header.timeout, UINT_MAX);

	command.data_length = 0;
	command.flags = B_RAW_DEVICE_DATA_IN;
	ASSERT_EQ(BuildSgRequest(command, &header, sense, sizeof(sense)), 0);
	EXPECT_EQ(header.dxfer_direction, SG_DXFER_NONE);
	EXPECT_EQ(header.dxferp, nullptr);

	command.command_length = 0;
	EXPECT_EQ(BuildSgRequest(command, &header, sense, sizeof(sense)), EINVAL);
	command.command_length = 17;
	EXPECT_EQ(BuildSgRequest(command, &header, sense, sizeof(sense)), EINVAL);
	command.command_length = 6;
	command.data_length = size_t(UINT_MAX) + 1;
	EXPECT_EQ(BuildSgRequest(command, &header, sense, sizeof(sense)), EINVAL);
}

TEST_F(DeviceLayerTest, RealDriveCommandsGoThroughSgIo)
{
	fSystem.AddHost(1, "usb-storage");
	fSystem.AddDevice("1:0:0:0", 5, "sg0", "sr0");
	fSystem.Apply();
	int fd = dev_open("/dev/bus/scsi/1/0/0/raw", O_RDWR);
	ASSERT_GE(fd, 0);

	// The drive answers CHECK CONDITION with 18 sense bytes and a residual.
	std::vector<unsigned long> requests;
	SetOsIoctlFunction([&](int ioctlFd, unsigned long request, void* arg) {
		requests.push_back(request);
		EXPECT_EQ(ioctlFd, fd);
		sg_io_hdr_t* header = static_cast<sg_io_hdr_t*>(arg);
		const uint8 sense[18] = {0x70, 0, 0x03, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x11, 0x05};
		memcpy(header->sbp, sense, std::min<size_t>(sizeof(sense), header->mx_sb_len));
		header->sb_len_wr = std::min<size_t>(sizeof(sense), header->mx_sb_len);
		header->status = 0x02;
		header->driver_status = SG_DRIVER_SENSE;
		header->resid = int(header->dxfer_len) - 100;
		header->duration = 7000;   // milliseconds the drive took, by the kernel's count
		return 0;
	});

	uint8 data[2352];
	uint8 sense[8] = {};
	raw_device_command command = {};
	command.command[0] = 0xBE;
	command.command_length = 12;
	command.flags = B_RAW_DEVICE_DATA_IN | B_RAW_DEVICE_REPORT_RESIDUAL;
	command.data = data;
	command.data_length = sizeof(data);
	command.sense_data = sense;
	command.sense_data_length = sizeof(sense);
	const bigtime_t beyondBefore = dev_command_time_beyond_real();
	ASSERT_EQ(dev_ioctl(fd, B_RAW_DEVICE_COMMAND, &command, sizeof(command)), 0);
	EXPECT_EQ(requests, std::vector<unsigned long> {SG_IO});
	// The drive's 7 s, of which nearly none passed here: the rest counts as
	// time beyond real time for the timers of several commands.
	EXPECT_EQ(command.duration, 7000000);
	EXPECT_GT(dev_command_time_beyond_real() - beyondBefore, 6000000);
	EXPECT_EQ(command.scsi_status, 0x02);
	EXPECT_EQ(command.cam_status, CAM_REQ_CMP_ERR | CAM_AUTOSNS_VALID);
	EXPECT_EQ(command.data_length, sizeof(data) - 100);   // the residual
	EXPECT_EQ(command.sense_data_length, 0u);             // all eight bytes were filled
	EXPECT_EQ(sense[2], 0x03);

	// Without a sense buffer the sense data cannot be valid.
	command.sense_data = nullptr;
	command.sense_data_length = 0;
	command.data_length = sizeof(data);
	command.flags = B_RAW_DEVICE_DATA_IN;
	ASSERT_EQ(dev_ioctl(fd, B_RAW_DEVICE_COMMAND, &command, 0), 0);
	EXPECT_EQ(command.cam_status, CAM_REQ_CMP_ERR);
	EXPECT_EQ(command.data_length, sizeof(data));   // kept without REPORT_RESIDUAL

	// A good status with a residual is a data underrun.
	SetOsIoctlFunction([](int, unsigned long, void* arg) {
		static_cast<sg_io_hdr_t*>(arg)->resid = 4;
		return 0;
	});
	command.flags = B_RAW_DEVICE_DATA_IN | B_RAW_DEVICE_REPORT_RESIDUAL;
	ASSERT_EQ(dev_ioctl(fd, B_RAW_DEVICE_COMMAND, &command, sizeof(command)), 0);
	EXPECT_EQ(command.cam_status, CAM_DATA_RUN_ERR);
	EXPECT_EQ(command.data_length, 4u);

	// SG_IO refused by the kernel.
	SetOsIoctlFunction([](int, unsigned long, void*) {
		errno = ENOMEM;
		return -1;
	});
	command.data_length = sizeof(data);
	EXPECT_EQ(dev_ioctl(fd, B_RAW_DEVICE_COMMAND, &command, sizeof(command)), -1);
	EXPECT_EQ(errno, ENOMEM);
	EXPECT_EQ(command.cam_status, CAM_RESRC_UNAVAIL);

	// Requests the layer refuses before they reach the kernel.
	SetOsIoctlFunction([](int, unsigned long, void*) -> int {
		ADD_FAILURE() << "reached the kernel";
		return 0;
	});
	raw_device_command bad = TestUnitReady();
	bad.command_length = 0;
	EXPECT_EQ(dev_ioctl(fd, B_RAW_DEVICE_COMMAND, &bad, sizeof(bad)), -1);
	EXPECT_EQ(errno, EINVAL);
	bad = TestUnitReady();
	bad.data_length = 10;
	EXPECT_EQ(dev_ioctl(fd, B_RAW_DEVICE_COMMAND, &bad, sizeof(bad)), -1);
	EXPECT_EQ(errno, EINVAL);
	bad = TestUnitReady();
	EXPECT_EQ(dev_ioctl(fd, B_RAW_DEVICE_COMMAND, &bad, 8), -1);
	EXPECT_EQ(errno, EINVAL);
	EXPECT_EQ(dev_ioctl(fd, 1234, &bad, sizeof(bad)), -1);
	EXPECT_EQ(errno, ENOTTY);
	EXPECT_EQ(dev_ioctl(fd + 1000, B_RAW_DEVICE_COMMAND, &bad, sizeof(bad)), -1);
	EXPECT_EQ(errno, EBADF);
	dev_close(fd);
}

// #pragma mark - audio

TEST_F(DeviceLayerTest, AudioReadsGoThroughTheCdDriverInSecondChunks)
{
	fSystem.AddHost(1, "usb-storage");
	fSystem.AddDevice("1:0:0:0", 5, "sg0", "sr0");
	fSystem.Apply();
	int system = dev_open("/dev/disk/scsi/1/0/0/raw", O_RDONLY);
	int raw = dev_open("/dev/bus/scsi/1/0/0/raw", O_RDONLY);
	ASSERT_GE(system, 0);
	ASSERT_GE(raw, 0);

	struct CALL {
		int fd;
		int lba;
		int frames;
		size_t offset;
	};
	std::vector<CALL> calls;
	std::vector<uint8> buffer(160 * CD_AUDIO_SECTOR_SIZE);
	SetOsIoctlFunction([&](int fd, unsigned long request, void* arg) {
		EXPECT_EQ(request, (unsigned long)CDROMREADAUDIO);
		cdrom_read_audio* read = static_cast<cdrom_read_audio*>(arg);
		EXPECT_EQ(read->addr_format, CDROM_LBA);
		calls.push_back({fd, read->addr.lba, read->nframes, size_t(read->buf - buffer.data())});
		return 0;
	});
	ASSERT_EQ(dev_read_cd_audio(system, 1000, 160, buffer.data()), B_OK);
	ASSERT_EQ(calls.size(), 3u);
	EXPECT_EQ(calls[0].lba, 1000);
	EXPECT_EQ(calls[0].frames, 75);
	EXPECT_EQ(calls[1].lba, 1075);
	EXPECT_EQ(calls[1].offset, 75u * CD_AUDIO_SECTOR_SIZE);
	EXPECT_EQ(calls[2].lba, 1150);
	EXPECT_EQ(calls[2].frames, 10);
	EXPECT_EQ(calls[2].fd, system);

	// A raw descriptor reads through the drive's block device too.
	calls.clear();
	ASSERT_EQ(dev_read_cd_audio(raw, 0, 1, buffer.data()), B_OK);
	ASSERT_EQ(calls.size(), 1u);
	EXPECT_NE(calls[0].fd, raw);

	SetOsIoctlFunction([](int, unsigned long, void*) {
		errno = ENOMEDIUM;
		return -1;
	});
	EXPECT_EQ(dev_read_cd_audio(system, 0, 1, buffer.data()), B_DEV_NO_MEDIA);
	SetOsIoctlFunction([](int, unsigned long, void*) {
		errno = EIO;
		return -1;
	});
	EXPECT_EQ(dev_read_cd_audio(system, 0, 1, buffer.data()), B_DEV_READ_ERROR);

	EXPECT_EQ(dev_read_cd_audio(system, -1, 1, buffer.data()), B_BAD_VALUE);
	EXPECT_EQ(dev_read_cd_audio(system, 0, 0, buffer.data()), B_BAD_VALUE);
	EXPECT_EQ(dev_read_cd_audio(system, 0, 1, nullptr), B_BAD_VALUE);
	EXPECT_EQ(dev_read_cd_audio(system, INT32_MAX, 2, buffer.data()), B_BAD_VALUE);
	EXPECT_EQ(dev_read_cd_audio(system + 1000, 0, 1, buffer.data()), B_FILE_ERROR);
	dev_close(system);
	dev_close(raw);
}

TEST_F(DeviceLayerTest, AudioReadsWithoutBlockDeviceUseReadCd)
{
	fSystem.AddHost(1, "usb-storage");
	fSystem.AddDevice("1:0:0:0", 5, "sg0", "");
	fSystem.Apply();
	int raw = dev_open("/dev/bus/scsi/1/0/0/raw", O_RDONLY);
	ASSERT_GE(raw, 0);

	std::vector<std::vector<uint8>> blocks;
	SetOsIoctlFunction([&](int, unsigned long request, void* arg) {
		EXPECT_EQ(request, (unsigned long)SG_IO);
		sg_io_hdr_t* header = static_cast<sg_io_hdr_t*>(arg);
		blocks.emplace_back(header->cmdp, header->cmdp + header->cmd_len);
		EXPECT_EQ(header->dxfer_direction, SG_DXFER_FROM_DEV);
		EXPECT_EQ(header->dxfer_len, uint32(blocks.back()[8]) * CD_AUDIO_SECTOR_SIZE);
		return 0;
	});
	std::vector<uint8> buffer(30 * CD_AUDIO_SECTOR_SIZE);
	ASSERT_EQ(dev_read_cd_audio(raw, 0x010203, 30, buffer.data()), B_OK);
	ASSERT_EQ(blocks.size(), 2u);
	EXPECT_EQ(blocks[0], (std::vector<uint8> {0xBE, 0x04, 0x00, 0x01, 0x02, 0x03, 0, 0, 27, 0x10, 0, 0}));
	EXPECT_EQ(blocks[1][5], 0x03 + 27);
	EXPECT_EQ(blocks[1][8], 3);

	SetOsIoctlFunction([](int, unsigned long, void* arg) {
		sg_io_hdr_t* header = static_cast<sg_io_hdr_t*>(arg);
		const uint8 sense[18] = {0x70, 0, 0x02, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x3A, 0x00};
		memcpy(header->sbp, sense, sizeof(sense));
		header->sb_len_wr = sizeof(sense);
		header->status = 0x02;
		return 0;
	});
	EXPECT_EQ(dev_read_cd_audio(raw, 0, 1, buffer.data()), B_DEV_NO_MEDIA);
	dev_close(raw);
}

// #pragma mark - virtual drives

TEST_F(DeviceLayerTest, VirtualDrivesTakeHostsAfterTheRealOnesAndFreeAtapiPaths)
{
	fSystem.AddHost(0, "ahci");
	fSystem.AddHost(5, "usb-storage");
	fSystem.AddDevice("0:0:0:0", 5, "sg0", "sr0");
	fSystem.Apply();

	std::vector<std::string> paths;
	for (int i = 0; i < 17; i++) {
		std::string path;
		ASSERT_EQ(RegisterVirtualDevice(std::make_shared<CRecordingDrive>(), &path), B_OK);
		paths.push_back(path);
	}
	EXPECT_EQ(paths[0], "/dev/bus/scsi/6/0/0/raw");
	EXPECT_EQ(paths[1], "/dev/bus/scsi/6/1/0/raw");
	EXPECT_EQ(paths[16], "/dev/bus/scsi/7/0/0/raw");
	EXPECT_EQ(VirtualDevicePaths(), paths);
	EXPECT_EQ(Names("/dev/bus/scsi"), (std::vector<std::string> {"6", "7"}));
	EXPECT_EQ(dev_node("/dev/disk/scsi/6/1/0/raw"), DEV_NODE_DEVICE);

	std::string atapi;
	ASSERT_EQ(RegisterVirtualDevice(std::make_shared<CRecordingDrive>(true), &atapi), B_OK);
	EXPECT_EQ(atapi, "/dev/disk/ide/atapi/0/slave/0/raw");   // master is the real drive
	for (int i = 0; i < 6; i++)
		ASSERT_EQ(RegisterVirtualDevice(std::make_shared<CRecordingDrive>(true), &atapi), B_OK);
	EXPECT_EQ(atapi, "/dev/disk/ide/atapi/3/slave/0/raw");
	EXPECT_EQ(RegisterVirtualDevice(std::make_shared<CRecordingDrive>(true), &atapi), B_BUSY);
	EXPECT_EQ(atapi, "");
	EXPECT_EQ(RegisterVirtualDevice(nullptr, &atapi), B_BAD_VALUE);

	std::vector<dev_drive_info> drives = dev_list_drives();
	ASSERT_EQ(drives.size(), 1u + 17u + 7u);
	EXPECT_FALSE(drives[0].is_virtual);
	EXPECT_TRUE(drives[1].is_virtual);
	EXPECT_TRUE(drives.back().is_atapi);

	UnregisterVirtualDevices();
	EXPECT_TRUE(VirtualDevicePaths().empty());
	EXPECT_TRUE(Names("/dev/bus/scsi").empty());
	std::string again;
	ASSERT_EQ(RegisterVirtualDevice(std::make_shared<CRecordingDrive>(), &again), B_OK);
	EXPECT_EQ(again, paths[0]);
}

TEST_F(DeviceLayerTest, VirtualDescriptorsRouteToTheDrive)
{
	auto drive = std::make_shared<CRecordingDrive>();
	std::string path;
	ASSERT_EQ(RegisterVirtualDevice(drive, &path), B_OK);
	int raw = dev_open(path.c_str(), O_RDONLY);
	int raw2 = dev_open(path.c_str(), O_RDONLY);
	std::string systemPath = "/dev/disk/scsi" + path.substr(strlen("/dev/bus/scsi"));
	int system = dev_open(systemPath.c_str(), O_RDONLY);
	ASSERT_GE(raw, 0);
	ASSERT_GE(system, 0);
	EXPECT_NE(raw, raw2);

	raw_device_command command = TestUnitReady();
	command.command[0] = 0x25;
	ASSERT_EQ(dev_ioctl(raw, B_RAW_DEVICE_COMMAND, &command, sizeof(command)), 0);
	EXPECT_EQ(drive->fLastOpcode, 0x25);
	EXPECT_EQ(command.cam_status, CAM_REQ_CMP);
	ASSERT_EQ(dev_ioctl(system, B_RAW_DEVICE_COMMAND, &command, sizeof(command)), 0);
	EXPECT_EQ(drive->fCommands, 2);

	drive->fResult = B_DEV_NO_MEDIA;
	EXPECT_EQ(dev_ioctl(raw, B_RAW_DEVICE_COMMAND, &command, sizeof(command)), -1);
	EXPECT_EQ(errno, ENOMEDIUM);
	drive->fResult = B_OK;

	command.command_length = 17;
	EXPECT_EQ(dev_ioctl(raw, B_RAW_DEVICE_COMMAND, &command, sizeof(command)), -1);
	EXPECT_EQ(errno, EINVAL);
	EXPECT_EQ(drive->fCommands, 3);   // the bad request never reached the drive

	std::vector<uint8> audio(2 * CD_AUDIO_SECTOR_SIZE);
	ASSERT_EQ(dev_read_cd_audio(system, 150, 2, audio.data()), B_OK);
	EXPECT_EQ(drive->fAudioLba, 150);
	EXPECT_EQ(drive->fAudioCount, 2);
	EXPECT_EQ(audio.back(), 0x33);

	// Unregistered: open descriptors fail cleanly, the path is gone.
	UnregisterVirtualDevices();
	command = TestUnitReady();
	EXPECT_EQ(dev_ioctl(raw, B_RAW_DEVICE_COMMAND, &command, sizeof(command)), -1);
	EXPECT_EQ(errno, ENODEV);
	EXPECT_EQ(dev_read_cd_audio(system, 0, 1, audio.data()), B_DEV_BAD_DRIVE_NUM);
	EXPECT_EQ(dev_open(path.c_str(), O_RDONLY), -1);
	EXPECT_EQ(errno, ENOENT);
	// A drive registered under the same path is not reached through old descriptors.
	auto second = std::make_shared<CRecordingDrive>();
	std::string secondPath;
	ASSERT_EQ(RegisterVirtualDevice(second, &secondPath), B_OK);
	EXPECT_EQ(secondPath, path);
	EXPECT_EQ(dev_ioctl(raw2, B_RAW_DEVICE_COMMAND, &command, sizeof(command)), -1);
	EXPECT_EQ(second->fCommands, 0);
	for (int fd : {raw, raw2, system})
		EXPECT_EQ(dev_close(fd), 0);
}

TEST_F(DeviceLayerTest, CommandsCloseAndUnregisterFromSeveralThreads)
{
	auto drive = std::make_shared<CRecordingDrive>();
	std::string registered;
	ASSERT_EQ(RegisterVirtualDevice(drive, &registered), B_OK);
	const std::string path = registered;

	std::atomic<bool> stop {false};
	std::atomic<int> unexpected {0};
	std::vector<std::thread> threads;
	for (int t = 0; t < 3; t++) {
		threads.emplace_back([&] {
			while (!stop) {
				int fd = dev_open(path.c_str(), O_RDONLY);
				if (fd < 0) {
					if (errno != ENOENT)
						unexpected++;
					continue;
				}
				for (int i = 0; i < 20; i++) {
					raw_device_command command = TestUnitReady();
					if (dev_ioctl(fd, B_RAW_DEVICE_COMMAND, &command, sizeof(command)) != 0
						&& errno != ENODEV)
						unexpected++;
				}
				if (dev_close(fd) != 0)
					unexpected++;
			}
		});
	}
	for (int round = 0; round < 50; round++) {
		UnregisterVirtualDevices();
		EXPECT_EQ(RegisterVirtualDevice(drive, &registered), B_OK);
		EXPECT_EQ(registered, path);
		std::this_thread::yield();
	}
	// The drive stays registered now: let the threads reach it at least once.
	for (int wait = 0; wait < 1000 && drive->fCommands == 0; wait++)
		std::this_thread::sleep_for(std::chrono::milliseconds(10));
	stop = true;
	for (std::thread& thread : threads)
		thread.join();
	EXPECT_EQ(unexpected, 0);
	EXPECT_GT(drive->fCommands, 0);
}

TEST_F(DeviceLayerTest, TransferLimitComesFromTheReservedBufferAndTheQueue)
{
	fSystem.AddHost(1, "usb-storage");
	fSystem.AddDevice("1:0:0:0", 5, "sg0", "sr0");
	fSystem.AddDevice("1:0:1:0", 5, "sg1", "");
	std::string queue = fSystem.Sysfs() + "/class/block/sr0/queue";
	fs::create_directories(queue);
	std::ofstream(queue + "/max_sectors_kb") << "120\n";
	fSystem.Apply();

	int reserved = 32 * 1024;
	int growTo = 0;   // what SG_SET_RESERVED_SIZE reaches at most; 0: refused
	bool knowsReserved = true;
	std::vector<std::vector<uint8>> blocks;
	SetOsIoctlFunction([&](int, unsigned long request, void* arg) {
		int* value = static_cast<int*>(arg);
		if (request == (unsigned long)SG_GET_RESERVED_SIZE && knowsReserved) {
			*value = reserved;
			return 0;
		}
		if (request == (unsigned long)SG_SET_RESERVED_SIZE && growTo > 0) {
			reserved = std::min(*value, growTo);
			return 0;
		}
		if (request == (unsigned long)SG_IO) {
			sg_io_hdr_t* header = static_cast<sg_io_hdr_t*>(arg);
			blocks.emplace_back(header->cmdp, header->cmdp + header->cmd_len);
			return 0;
		}
		errno = ENOTTY;
		return -1;
	});
	auto limit = [&]() {
		int fd = dev_open("/dev/bus/scsi/1/0/0/raw", O_RDONLY);
		EXPECT_GE(fd, 0);
		size_t bytes = dev_max_transfer_length(fd);
		dev_close(fd);
		return bytes;
	};

	// A reserved buffer that cannot grow is the limit, and audio reads
	// through READ CD (a drive without block device) keep to it: 13
	// sectors of 2352 bytes in 32 KiB.
	EXPECT_EQ(limit(), 32u * 1024u);
	int fd = dev_open("/dev/bus/scsi/1/1/0/raw", O_RDONLY);
	EXPECT_EQ(dev_max_transfer_length(fd), 32u * 1024u);
	std::vector<uint8> buffer(30 * CD_AUDIO_SECTOR_SIZE);
	ASSERT_EQ(dev_read_cd_audio(fd, 0, 30, buffer.data()), B_OK);
	dev_close(fd);
	ASSERT_EQ(blocks.size(), 3u);
	EXPECT_EQ(blocks[0][8], 13);
	EXPECT_EQ(blocks[2][8], 4);

	// One that grows is raised towards the queue's limit.
	growTo = 96 * 1024;
	EXPECT_EQ(limit(), 96u * 1024u);
	reserved = 1024 * 1024;
	EXPECT_EQ(limit(), 120u * 1024u) << "the queue takes less than the reserved buffer";
	// Neither known: 64 KiB.
	knowsReserved = false;
	fs::remove(queue + "/max_sectors_kb");
	EXPECT_EQ(limit(), 64u * 1024u);
	std::ofstream(queue + "/max_sectors_kb") << "junk\n";
	EXPECT_EQ(limit(), 64u * 1024u);

	EXPECT_EQ(dev_max_transfer_length(-5), 0u);
	EXPECT_EQ(errno, EBADF);
}
