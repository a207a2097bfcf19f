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

// A list of `separator`-separated entries as one entry a line.
std::string OneALine(std::string text, const std::string& separator)
{
	for (size_t at = text.find(separator); at != std::string::npos; at = text.find(separator, at + 1))
		text.replace(at, separator.size(), "\n");
	return text;
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
	addOn.rows.push_back({"Flags", OneALine(DescribeDriverFlags(driver != nullptr ? driver->Flags : 0), " ")});
	sections.push_back(std::move(addOn));

	PROPERTY_SECTION speeds {"Speeds", {}};
	const SPEED_INFO* tables[] = {driver != nullptr ? driver->pReadSpeed : nullptr,
		driver != nullptr ? driver->pWriteSpeedCdr : nullptr, driver != nullptr ? driver->pWriteSpeedCdrw : nullptr};
	const char* const labels[] = {"Audio reading", "CD-R writing", "CD-RW writing"};
	for (int i = 0; i < 3; i++)
		speeds.rows.push_back({labels[i], OneALine(DescribeSpeedTable(tables[i]), "; ")});
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
