// Driver add-on for the AOpen CRW9420, which reports an empty vendor field.
// All tables are MMC (kB/s values).
#include "addons/common/FlagSets.h"
#include "addons/common/ModelTable.h"
#include "addons/common/SpeedTables.h"

using namespace std::string_view_literals;

const char* pszDriverName = "drv-morrant";
const char* pszDriverVersion = DRIVER_VERSION_TEXT;
const char* pszDriverDescription = "AOpen CRW9420";

namespace {

constexpr SPEED_INFO kRead[] = {Mmc(1), Mmc(2), Mmc(4), Mmc(6), Mmc(8), Mmc(20), kEnd};
constexpr SPEED_INFO kWrite[] = {Mmc(1), Mmc(2), Mmc(4), kEnd};

constexpr SLOT_BINDING kFamilyVariants[] = {
	{SLOT_SPEED_SET, "SpeedSet_mmc"},
	{SLOT_SPEED_GET, "SpeedGet_mmc"},
};

// The vendor field's first byte is 0.
constexpr INQUIRY_TEST kCrw9420[] = {{"\0"sv, "CRW9420"sv}};
static_assert(kCrw9420[0].vendor.size() == 1);

constexpr DRIVER_MODEL kModels[] = {
	{"drv-morrant: AOpen CRW9420 detected\n", kCrw9420, FLAGS_E, kRead, kWrite, kWrite, {}},
};

constexpr DRIVER_FAMILY kFamily = {
	.familyVariants = kFamilyVariants,
	.models = kModels,
	.noMatch = {"drv-morrant: device unknown\n", {}, 0, nullptr, nullptr, nullptr, {}},
};

}   // namespace

CDriver* LoadDriver(const SCSI_INQUIRY* inquiry)
{
	return LoadDriverForFamily(kFamily, inquiry);
}
