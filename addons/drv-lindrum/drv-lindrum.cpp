// Driver add-on for the Iomega ZipCD. All tables are MMC (kB/s values).
#include "addons/common/FlagSets.h"
#include "addons/common/ModelTable.h"
#include "addons/common/SpeedTables.h"

using namespace std::string_view_literals;

const char* pszDriverName = "drv-lindrum";
const char* pszDriverVersion = DRIVER_VERSION_TEXT;
const char* pszDriverDescription = "Iomega ZipCD 4x650";

namespace {

constexpr SPEED_INFO kRead[] = {Mmc(2), Mmc(4), Mmc(8), Mmc(12), Mmc(24), kEnd};
constexpr SPEED_INFO kWrite[] = {Mmc(2), Mmc(4), kEnd};

constexpr SLOT_BINDING kFamilyVariants[] = {
	{SLOT_SPEED_SET, "SpeedSet_mmc"},
	{SLOT_SPEED_GET, "SpeedGet_mmc"},
};

constexpr INQUIRY_TEST kZipCd[] = {{"IOMEGA"sv, "ZIPCD 4x650"sv}};

constexpr DRIVER_MODEL kModels[] = {
	{"drv-lindrum: Iomega ZipCD 4x650 detected\n", kZipCd, FLAGS_E, kRead, kWrite, kWrite, {}},
};

constexpr DRIVER_FAMILY kFamily = {
	.familyVariants = kFamilyVariants,
	.models = kModels,
	.noMatch = {"drv-lindrum: device unknown\n", {}, 0, nullptr, nullptr, nullptr, {}},
};

}   // namespace

CDriver* LoadDriver(const SCSI_INQUIRY* inquiry)
{
	return LoadDriverForFamily(kFamily, inquiry);
}
