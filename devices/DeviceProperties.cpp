#include "devices/DeviceProperties.h"

#include "devices/Device.h"
#include "devices/DeviceListing.h"
#include "devices/DeviceReport.h"
#include "driver/driverbaseclass.h"

namespace {

const char* Text(const char* text)
{
	return text != nullptr ? text : "";
}

const char* YesNo(bool value)
{
	return value ? "yes" : "no";
}

// "Audio reading: " -> "Audio reading"
std::string Label(const std::string& label)
{
	std::string shown = label;
	while (!shown.empty() && (shown.back() == ' ' || shown.back() == ':'))
		shown.pop_back();
	return shown;
}

}   // namespace

std::string DevicePropertiesTitle(const CDevice* device)
{
	return std::string("Device Properties - ") + (device != nullptr ? device->GetDeviceName() : "");
}

std::vector<PROPERTY_SECTION> DeviceProperties(CDevice* device)
{
	std::vector<PROPERTY_SECTION> sections;
	if (device == nullptr)
		return sections;

	PROPERTY_SECTION identity {"Device", {}};
	identity.rows.push_back({"Vendor", device->GetVendor()});
	identity.rows.push_back({"Product", device->GetProduct()});
	identity.rows.push_back({"Version", device->GetRevision()});
	identity.rows.push_back({"Path", DeviceRawPath(device)});
	identity.rows.push_back({"ATAPI", YesNo(device->IsAtapi())});
	identity.rows.push_back({"Little endian", YesNo(device->IsLittleEndian())});
	identity.rows.push_back({"FUA", YesNo(device->SupportsFua())});
	sections.push_back(std::move(identity));

	const CDriver* driver = device->GetDriver();
	PROPERTY_SECTION addOn {"Add-on", {}};
	addOn.rows.push_back({"Name", driver != nullptr ? Text(driver->pszName) : ""});
	addOn.rows.push_back({"Version", driver != nullptr ? Text(driver->pszVersion) : ""});
	addOn.rows.push_back({"Description", driver != nullptr ? Text(driver->pszDescription) : ""});
	addOn.rows.push_back({"Flags", DescribeDriverFlags(driver != nullptr ? driver->Flags : 0)});
	sections.push_back(std::move(addOn));

	PROPERTY_SECTION speeds {"Speeds", {}};
	speeds.rows.push_back({"Audio reading", DescribeSpeedTable(driver != nullptr ? driver->pReadSpeed : nullptr)});
	speeds.rows.push_back({"CD-R writing", DescribeSpeedTable(driver != nullptr ? driver->pWriteSpeedCdr : nullptr)});
	speeds.rows.push_back(
		{"CD-RW writing", DescribeSpeedTable(driver != nullptr ? driver->pWriteSpeedCdrw : nullptr)});
	sections.push_back(std::move(speeds));

	const auto lines = DeviceCapabilityLines(device);
	if (!lines.empty()) {
		PROPERTY_SECTION capabilities {"Capabilities", {}};
		for (const auto& [label, value] : lines)
			capabilities.rows.push_back({Label(label), value});
		sections.push_back(std::move(capabilities));
	}
	return sections;
}
