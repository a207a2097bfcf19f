// The shared LoadDriver of the driver add-ons.
#include "addons/common/ModelTable.h"

#include <cstdio>
#include <cstring>

namespace {

// Compares `constant` with the inquiry bytes from `offset` on; an empty
// constant always matches, one that would run past the 56 bytes never does.
bool BytesMatch(const SCSI_INQUIRY& inquiry, size_t offset, std::string_view constant)
{
	if (constant.empty())
		return true;
	if (offset > sizeof(SCSI_INQUIRY) || constant.size() > sizeof(SCSI_INQUIRY) - offset)
		return false;
	const auto* bytes = reinterpret_cast<const unsigned char*>(&inquiry);
	return memcmp(bytes + offset, constant.data(), constant.size()) == 0;
}

constexpr size_t kVendorOffset = offsetof(SCSI_INQUIRY, VendorIdentification);
constexpr size_t kProductOffset = offsetof(SCSI_INQUIRY, ProductIdentification);

void Apply(CDriver* driver, const DRIVER_MODEL& model)
{
	if (model.line != nullptr)
		printf("%s", model.line);
	driver->Flags = model.flags;
	if (model.read != nullptr)
		driver->pReadSpeed = model.read;
	if (model.writeCdr != nullptr)
		driver->pWriteSpeedCdr = model.writeCdr;
	if (model.writeCdrw != nullptr)
		driver->pWriteSpeedCdrw = model.writeCdrw;
	for (const SLOT_BINDING& binding : model.variants)
		driver->BindFunction(binding.slot, binding.function);
}

}   // namespace

bool InquiryTestHolds(const INQUIRY_TEST& test, const SCSI_INQUIRY& inquiry)
{
	return BytesMatch(inquiry, kVendorOffset, test.vendor) && BytesMatch(inquiry, kProductOffset, test.product);
}

const DRIVER_MODEL& FindDriverModel(const DRIVER_FAMILY& family, const SCSI_INQUIRY* inquiry)
{
	if (!family.vendorGate.empty()) {
		bool vendorKnown = false;
		for (std::string_view vendor : family.vendorGate)
			vendorKnown = vendorKnown || (inquiry != nullptr && BytesMatch(*inquiry, kVendorOffset, vendor));
		if (!vendorKnown)
			return family.vendorMismatch;
	}
	if (inquiry != nullptr) {
		for (const DRIVER_MODEL& model : family.models) {
			for (const INQUIRY_TEST& test : model.tests) {
				if (InquiryTestHolds(test, *inquiry))
					return model;
			}
		}
	}
	return family.noMatch;
}

CDriver* LoadDriverForFamily(const DRIVER_FAMILY& family, const SCSI_INQUIRY* inquiry)
{
	auto* driver = new CDriver(imageId);
	driver->pszName = pszDriverName;
	driver->pszVersion = pszDriverVersion;
	driver->pszDescription = pszDriverDescription;

	for (const SLOT_BINDING& binding : family.familyVariants)
		driver->BindFunction(binding.slot, binding.function);
	if (family.familyRead != nullptr)
		driver->pReadSpeed = family.familyRead;
	if (family.familyWriteCdr != nullptr)
		driver->pWriteSpeedCdr = family.familyWriteCdr;
	if (family.familyWriteCdrw != nullptr)
		driver->pWriteSpeedCdrw = family.familyWriteCdrw;

	Apply(driver, FindDriverModel(family, inquiry));
	return driver;
}
