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

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace drivertest {

// What sits between the namespace and a virtual drive, as real adapters and
// drives differ: a transfer limit that is enforced (a longer command fails
// in the request, as SG_IO refuses it), and formatted Q numbers in binary
// instead of BCD.
struct SAdapter {
	size_t maxTransfer = B_RAW_DEVICE_DEFAULT_MAX_TRANSFER;
	bool hexQ = false;
};

class CAdapterDevice : public CVirtualDevice {
public:
	CAdapterDevice(std::shared_ptr<CVirtualDevice> drive, const SAdapter& adapter)
		:
		fDrive(std::move(drive)),
		fAdapter(adapter)
	{
	}

	status_t Execute(raw_device_command* command) override
	{
		{
			std::lock_guard<std::mutex> lock(fLock);
			fLengths.push_back(command->data_length);
		}
		if (command->data_length > fAdapter.maxTransfer)
			return B_BAD_VALUE;
		size_t length = command->data_length;
		status_t status = fDrive->Execute(command);
		if (status == B_OK && fAdapter.hexQ)
			ToBinaryQ(*command, length);
		return status;
	}
	status_t ReadAudio(int32 lba, int32 count, void* buffer) override
	{
		return fDrive->ReadAudio(lba, count, buffer);
	}
	uint8 PeripheralType() const override { return fDrive->PeripheralType(); }
	bool IsAtapi() const override { return fDrive->IsAtapi(); }
	size_t MaxTransferLength() const override { return fAdapter.maxTransfer; }

	// The data lengths of the commands sent so far.
	std::vector<size_t> Lengths()
	{
		std::lock_guard<std::mutex> lock(fLock);
		return fLengths;
	}

private:
	// READ CD with formatted Q (sub-channel selection 2), no user data: the
	// track, index and times of every position frame (ADR 1) in binary.
	static void ToBinaryQ(const raw_device_command& command, size_t length)
	{
		if (command.command[0] != 0xBE || (command.command[10] & 0x07) != 2 || command.command[9] != 0
			|| command.scsi_status != 0)
			return;
		auto* q = static_cast<uint8*>(command.data);
		if ((command.flags & B_RAW_DEVICE_REPORT_RESIDUAL) != 0)
			length -= std::min(length, command.data_length);
		for (size_t at = 0; at + 16 <= length; at += 16) {
			if ((q[at] & 0x0F) != 1)
				continue;
			for (size_t i : {1, 2, 3, 4, 5, 7, 8, 9})
				q[at + i] = uint8((q[at + i] >> 4) * 10 + (q[at + i] & 0x0F));
		}
	}

	std::shared_ptr<CVirtualDevice> fDrive;
	SAdapter fAdapter;
	std::mutex fLock;
	std::vector<size_t> fLengths;
};

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
	// With an `adapter`, the drive is offered behind a CAdapterDevice.
	CVirtualDrive(const CDriveConfig& config, std::shared_ptr<CDiscImage> medium, const std::string& addOn = "",
		std::shared_ptr<CDriveClock> clock = nullptr, const SAdapter* adapter = nullptr)
	{
		fDrive = std::make_shared<CMmcDrive>(config, std::move(medium), std::move(clock));
		if (adapter != nullptr) {
			fAdapter = std::make_shared<CAdapterDevice>(fDrive, *adapter);
			EXPECT_EQ(RegisterVirtualDevice(fAdapter, &fPath), B_OK);
		} else {
			EXPECT_EQ(RegisterVirtualDevice(fDrive, &fPath), B_OK);
		}
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
	// The adapter given to the constructor; null without one.
	CAdapterDevice* Adapter() const { return fAdapter.get(); }
	const std::string& Path() const { return fPath; }
	// What the add-on printed when it looked at the drive.
	const std::string& Recognition() const { return fRecognition; }

private:
	std::shared_ptr<CMmcDrive> fDrive;
	std::shared_ptr<CAdapterDevice> fAdapter;
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
