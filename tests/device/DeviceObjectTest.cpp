// The device object's part that the command library uses: names from the
// inquiry data, the system device file, the ATAPI, byte-order and debug
// properties, and the driver record it owns.
#include "driver/AddOnImages.h"

#include "devices/Device.h"
#include "emulator/DriveConfig.h"
#include "emulator/MmcDrive.h"
#include "kit/device/RawDevice.h"
#include "kit/device/VirtualDevice.h"
#include "kit/interface/Alert.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <cstring>
#include <memory>
#include <string>

using namespace drivertest;

namespace {

struct SNames {
	char vendor[CDevice::kVendorSize];
	char product[CDevice::kProductSize];
	char revision[CDevice::kRevisionSize];
	char display[CDevice::kNameSize];
	char unique[CDevice::kNameSize];
};

SNames Names(const SCSI_INQUIRY& inquiry, int32 bus, int32 target, int32 lun)
{
	SNames n;
	CDevice::MakeNames(inquiry, bus, target, lun, n.vendor, n.product, n.revision, n.display, n.unique);
	return n;
}

std::string SystemPath(int32 bus, int32 target, int32 lun)
{
	char path[128];
	CDevice::MakeSystemDevicePath(bus, target, lun, path, sizeof(path));
	return path;
}

// A driver record whose flags say the drive's audio is big-endian.
class CBigEndianDriver : public CDriver {
public:
	explicit CBigEndianDriver(bool* deleted) : CDriver(GenericImage()), fDeleted(deleted) { Flags = F_BIGENDIAN; }
	~CBigEndianDriver() override { *fDeleted = true; }

private:
	bool* fDeleted;
};

}   // namespace

TEST(DeviceObject, NamesComeFromTheInquiryFields)
{
	SCSI_INQUIRY inquiry = Inquiry("TEAC", "CD-R55S");
	memcpy(inquiry.ProductRevisionLevel, "1.0 ", 4);
	SNames n = Names(inquiry, 0, 3, 0);
	EXPECT_STREQ(n.vendor, "TEAC");
	EXPECT_STREQ(n.product, "CD-R55S");
	EXPECT_STREQ(n.revision, "1.0");
	EXPECT_STREQ(n.display, "Teac CD-R55S");
	EXPECT_STREQ(n.unique, "000300TEACCD-R55S");

	// Every blank-separated word of the vendor is capitalised; the product
	// keeps its case and inner blanks.
	n = Names(Inquiry("SAF CO", "CD-R   PX-W4012A"), 2, 11, 1);
	EXPECT_STREQ(n.display, "Saf Co CD-R   PX-W4012A");
	EXPECT_STREQ(n.unique, "021101SAF COCD-R   PX-W4012A");

	// A zero byte ends a field (the vendor of the AOpen CRW9420 is empty).
	inquiry = Inquiry("", "CRW9420");
	inquiry.VendorIdentification[0] = '\0';
	n = Names(inquiry, -101, 1, 0);
	EXPECT_STREQ(n.vendor, "");
	EXPECT_STREQ(n.display, " CRW9420");
	EXPECT_STREQ(n.unique, "-1010100CRW9420");

	// Full fields without a terminator stay inside their buffers.
	inquiry = Inquiry("ABCDEFGH", "0123456789ABCDEF");
	memcpy(inquiry.ProductRevisionLevel, "WXYZ", 4);
	n = Names(inquiry, 0, 0, 0);
	EXPECT_STREQ(n.vendor, "ABCDEFGH");
	EXPECT_STREQ(n.product, "0123456789ABCDEF");
	EXPECT_STREQ(n.revision, "WXYZ");
	EXPECT_STREQ(n.display, "Abcdefgh 0123456789ABCDEF");
}

TEST(DeviceObject, SystemDeviceFilesFollowTheAddress)
{
	EXPECT_EQ(SystemPath(-100, 0, 0), "/dev/disk/ide/atapi/0/master/0/raw");
	EXPECT_EQ(SystemPath(-103, 1, 0), "/dev/disk/ide/atapi/3/slave/0/raw");
	EXPECT_EQ(SystemPath(4, 2, 1), "/dev/disk/scsi/4/2/1/raw");
	EXPECT_EQ(SystemPath(-99, 0, 0), "/dev/disk/scsi/-99/0/0/raw") << "not an ATAPI bus";
}

TEST(DeviceObject, OwnsItsDescriptorsAndRecordAndKnowsItsProperties)
{
	CDriveConfig config;
	config.realTime = false;
	config.atapi = true;
	auto drive = std::make_shared<CMmcDrive>(config, nullptr);
	std::string path;
	ASSERT_EQ(RegisterVirtualDevice(drive, &path), B_OK);
	ASSERT_EQ(path.rfind("/dev/disk/ide/atapi/", 0), 0u) << path;
	int controller = 0;
	char position[16] = {};
	ASSERT_EQ(sscanf(path.c_str(), "/dev/disk/ide/atapi/%d/%15[a-z]/0/raw", &controller, position), 2);
	int fd = dev_open(path.c_str(), O_RDONLY);
	ASSERT_GE(fd, 0);
	SCSI_INQUIRY inquiry;
	ASSERT_TRUE(ScsiInquiry(fd, &inquiry));

	auto device = std::make_unique<CDevice>(-100 - controller, std::string(position) == "slave" ? 1 : 0, 0, fd,
		&inquiry);
	EXPECT_TRUE(device->IsAtapi());
	EXPECT_TRUE(device->IsLittleEndian());
	EXPECT_FALSE(device->IsDebugEnabled());
	EXPECT_EQ(device->GetRawDescriptor(), fd);
	int system = device->GetSystemDescriptor();
	EXPECT_GE(system, 0);
	EXPECT_NE(system, fd);
	EXPECT_EQ(device->GetResponseDataFormat(), 2);
	EXPECT_STREQ(device->GetVendor(), "TARNWICK");
	EXPECT_STREQ(device->GetDeviceName(), "Tarnwick Virtual CD-RW");
	EXPECT_EQ(memcmp(device->GetInquiry(), &inquiry, sizeof(inquiry)), 0);
	EXPECT_NE(device->GetToc(), nullptr);
	EXPECT_EQ(device->GetDriver(), nullptr);
	device->SetDeviceName("Renamed");
	EXPECT_STREQ(device->GetDeviceName(), "Renamed");
	EXPECT_STREQ(device->GetUniqueDeviceName(), ("-1000" + std::to_string(device->GetTarget()) + "00TARNWICKVirtual CD-RW").c_str());
	device->EnableDebug(true);
	EXPECT_TRUE(device->IsDebugEnabled());

	// The record's flags set the byte order; a new record replaces the old
	// one, which is deleted through its virtual destructor.
	bool firstDeleted = false, secondDeleted = false;
	device->SetDriver(new CBigEndianDriver(&firstDeleted));
	EXPECT_FALSE(device->IsLittleEndian());
	device->SetDriver(new CBigEndianDriver(&secondDeleted));
	EXPECT_TRUE(firstDeleted);
	EXPECT_FALSE(secondDeleted);
	device.reset();
	EXPECT_TRUE(secondDeleted);
	// Both descriptors were closed with the device.
	EXPECT_EQ(dev_close(fd), -1);
	EXPECT_EQ(dev_close(system), -1);
	UnregisterVirtualDevices();
}

TEST(DeviceObject, AMissingSystemDeviceFileIsAFatalAssertion)
{
	CScriptedAlertHandler alerts(2);   // "Ignore"
	CAlertHandler* previous = SetAlertHandler(&alerts);
	SCSI_INQUIRY inquiry = Inquiry("NOWHERE", "DRIVE");
	CDevice device(250, 15, 7, -1, &inquiry);
	SetAlertHandler(previous);
	ASSERT_EQ(alerts.CountShown(), 1u);
	EXPECT_NE(alerts.Shown()[0].text.find("file: Device, line: 83"), std::string::npos) << alerts.Shown()[0].text;
	EXPECT_EQ(device.GetSystemDescriptor(), -1);
	EXPECT_FALSE(device.IsAtapi());
	// The audio read through the missing file fails cleanly.
	device.SetDriver(new CDriver(GenericImage()));
	auto readBeOS = reinterpret_cast<decltype(CDriver::ReadAudio)>(GenericFunction("ReadAudio_BeOS"));
	uint8 sector[2352];
	SCSI_STATUS status;
	EXPECT_FALSE(readBeOS(&device, sector, 0, 1, &status));
	EXPECT_EQ(status.os_status, B_FILE_ERROR);
}
