// A virtual drive offered in the device namespace, found and opened the way
// discovery does it (raw path, INQUIRY), wrapped in a CDevice with a driver
// record from the build's add-ons: the command library's functions run
// against it through real raw commands.
#pragma once

#include "AddOnImages.h"
#include "emulator/EmulatorTestUtil.h"

#include "devices/Device.h"
#include "devices/ScsiMisc.h"
#include "emulator/MmcDrive.h"
#include "kit/device/DeviceNamespace.h"
#include "kit/device/RawDevice.h"
#include "kit/device/VirtualDevice.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <cstdio>
#include <memory>
#include <string>

namespace drivertest {

// Bus, target and logical unit of a raw path, as discovery numbers them.
inline bool AddressOfPath(const std::string& path, int32* bus, int32* target, int32* lun)
{
	int b = 0, t = 0, l = 0;
	if (sscanf(path.c_str(), "/dev/bus/scsi/%d/%d/%d/raw", &b, &t, &l) == 3) {
		*bus = b;
		*target = t;
		*lun = l;
		return true;
	}
	char position[16] = {};
	if (sscanf(path.c_str(), "/dev/disk/ide/atapi/%d/%15[a-z]/0/raw", &b, position) == 2) {
		*bus = -100 - b;
		*target = std::string(position) == "slave" ? 1 : 0;
		*lun = 0;
		return true;
	}
	return false;
}

class CVirtualDrive {
public:
	// Registers a drive of `config` holding `medium`, opens it and makes the
	// device object; `addOn` names the driver add-on whose LoadDriver gives
	// the record (empty: a plain record of the command library's defaults).
	CVirtualDrive(const CDriveConfig& config, std::shared_ptr<CDiscImage> medium, const std::string& addOn = "",
		std::shared_ptr<CDriveClock> clock = nullptr)
	{
		fDrive = std::make_shared<CMmcDrive>(config, std::move(medium), std::move(clock));
		EXPECT_EQ(RegisterVirtualDevice(fDrive, &fPath), B_OK);
		int32 bus = 0, target = 0, lun = 0;
		EXPECT_TRUE(AddressOfPath(fPath, &bus, &target, &lun)) << fPath;
		int fd = dev_open(fPath.c_str(), O_RDONLY);
		EXPECT_GE(fd, 0) << fPath;
		SCSI_INQUIRY inquiry;
		EXPECT_TRUE(ScsiInquiry(fd, &inquiry));
		fDevice = std::make_unique<CDevice>(bus, target, lun, fd, &inquiry);
		CDriver* driver = nullptr;
		if (addOn.empty()) {
			driver = new CDriver(GenericImage());
		} else {
			const CAddOn& image = AddOn(addOn);
			testing::internal::CaptureStdout();
			driver = image.LoadDriver(&inquiry);
			fRecognition = testing::internal::GetCapturedStdout();
		}
		fDevice->SetDriver(driver);
	}
	~CVirtualDrive()
	{
		fDevice.reset();
		UnregisterVirtualDevices();
	}

	CDevice* Device() const { return fDevice.get(); }
	CDriver& Driver() const { return *fDevice->GetDriver(); }
	CMmcDrive& Drive() const { return *fDrive; }
	const std::string& Path() const { return fPath; }
	// What the add-on printed when it looked at the drive.
	const std::string& Recognition() const { return fRecognition; }

private:
	std::shared_ptr<CMmcDrive> fDrive;
	std::string fPath;
	std::unique_ptr<CDevice> fDevice;
	std::string fRecognition;
};

// A command library function by name, cast to the type of a record slot.
template <typename Function>
Function Generic(const char* name)
{
	void* address = GenericFunction(name);
	EXPECT_NE(address, nullptr) << name;
	return reinterpret_cast<Function>(address);
}

}   // namespace drivertest
