// Driver add-on for the Sony CDU928E. Every drive gets the generic MMC
// tables and flags; only a CDU928E is marked supported.
#include "addons/common/FlagSets.h"
#include "addons/common/ModelTable.h"
#include "addons/common/SpeedTables.h"

using namespace std::string_view_literals;

const char* pszDriverName = "drv-kelvary";
const char* pszDriverVersion = DRIVER_VERSION_TEXT;
const char* pszDriverDescription = "Sony CDU928E";

namespace {

constexpr SLOT_BINDING kFamilyVariants[] = {
	{SLOT_WRITE, "Write_12"},
	{SLOT_SPEED_SET, "SpeedSet_mmc"},
	{SLOT_SPEED_GET, "SpeedGet_mmc"},
};

constexpr INQUIRY_TEST kCdu928e[] = {{"SONY"sv, "CD-R   CDU928E"sv}};

constexpr DRIVER_MODEL kModels[] = {
	{"drv-kelvary: Sony CD-R CDU928E detected\n", kCdu928e, FLAGS_G | F_SUPPORTED, nullptr, nullptr, nullptr, {}},
};

constexpr DRIVER_FAMILY kFamily = {
	.familyVariants = kFamilyVariants,
	.familyRead = g_GenericReadSpeed,
	.familyWriteCdr = g_GenericWriteSpeed,
	.familyWriteCdrw = g_GenericWriteSpeed,
	.models = kModels,
	.noMatch = {"drv-kelvary: device unknown\n", {}, FLAGS_G, nullptr, nullptr, nullptr, {}},
};

}   // namespace

CDriver* LoadDriver(const SCSI_INQUIRY* inquiry)
{
	return LoadDriverForFamily(kFamily, inquiry);
}
