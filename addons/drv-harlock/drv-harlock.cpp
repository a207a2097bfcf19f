// Driver add-on for the Sony CRX100 family. All tables are MMC (kB/s values).
#include "addons/common/FlagSets.h"
#include "addons/common/ModelTable.h"
#include "addons/common/SpeedTables.h"

using namespace std::string_view_literals;

const char* pszDriverName = "drv-harlock";
const char* pszDriverVersion = DRIVER_VERSION_TEXT;
const char* pszDriverDescription = "Sony CRX100E, CRX120E, Hewlett Packard 8100i, 8200i";

namespace {

constexpr SPEED_INFO kRead[] = {Mmc(1), Mmc(2), Mmc(4), Mmc(8), Mmc(24), kEnd};
constexpr SPEED_INFO kWrite[] = {Mmc(1), Mmc(2), Mmc(4), kEnd};
constexpr SPEED_INFO kRewriteCrx100[] = {Mmc(1), Mmc(2), kEnd};
constexpr SPEED_INFO kRewriteCrx120[] = {Mmc(1), Mmc(2), Mmc(4), kEnd};

constexpr SLOT_BINDING kFamilyVariants[] = {
	{SLOT_SPEED_SET, "SpeedSet_mmc"},
	{SLOT_SPEED_GET, "SpeedGet_mmc"},
};

constexpr INQUIRY_TEST kCrx100Tests[] = {{"SONY    "sv, "CD-RW  CRX100E"sv}, {"HP      "sv, "CD-Writer+ 8100"sv}};
constexpr INQUIRY_TEST kCrx120Tests[] = {{"SONY    "sv, "CD-RW  CRX120E"sv}, {"HP      "sv, "CD-Writer+ 8200"sv}};

constexpr DRIVER_MODEL kModels[] = {
	{"drv-harlock: Sony CRX100E detected\n", kCrx100Tests, FLAGS_I, kRead, kWrite, kRewriteCrx100, {}},
	{"drv-harlock: Sony CRX120E detected\n", kCrx120Tests, FLAGS_I, kRead, kWrite, kRewriteCrx120, {}},
};

constexpr DRIVER_FAMILY kFamily = {
	.familyVariants = kFamilyVariants,
	.models = kModels,
	.noMatch = {"drv-harlock: device unknown\n", {}, 0, nullptr, nullptr, nullptr, {}},
};

}   // namespace

CDriver* LoadDriver(const SCSI_INQUIRY* inquiry)
{
	return LoadDriverForFamily(kFamily, inquiry);
}
