// Driver add-on for the Medion and Tevion CD-R/RW 4X4X32. No variants and
// no speed tables: the speed commands stay the dummies.
#include "addons/common/FlagSets.h"
#include "addons/common/ModelTable.h"

using namespace std::string_view_literals;

const char* pszDriverName = "drv-norbeck";
const char* pszDriverVersion = DRIVER_VERSION_TEXT;
const char* pszDriverDescription = "Medion CD-R/RW 4X4X32\nTevion CD-R/RW 4X4X32";

namespace {

constexpr INQUIRY_TEST k4x4x32[] = {{"ATAPI"sv, "CD-R/RW 4X4X32"sv}};

constexpr DRIVER_MODEL kModels[] = {
	{"drv-norbeck: Medion / Tevion CD-R/RW 4X4X32 detected\n", k4x4x32, FLAGS_M, nullptr, nullptr, nullptr, {}},
};

constexpr DRIVER_FAMILY kFamily = {
	.models = kModels,
	.noMatch = {"drv-norbeck: device unknown\n", {}, 0, nullptr, nullptr, nullptr, {}},
};

}   // namespace

CDriver* LoadDriver(const SCSI_INQUIRY* inquiry)
{
	return LoadDriverForFamily(kFamily, inquiry);
}
