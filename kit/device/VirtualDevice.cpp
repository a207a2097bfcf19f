// The registry of virtual drives: kept by the device namespace.
#include "kit/device/VirtualDevice.h"

#include "kit/device/DeviceNamespace.h"

status_t RegisterVirtualDevice(std::shared_ptr<CVirtualDevice> device, std::string* rawPath)
{
	return CDeviceNamespace::Default().RegisterVirtual(std::move(device), rawPath);
}

void UnregisterVirtualDevices()
{
	CDeviceNamespace::Default().UnregisterVirtuals();
}

std::vector<std::string> VirtualDevicePaths()
{
	return CDeviceNamespace::Default().VirtualPaths();
}
