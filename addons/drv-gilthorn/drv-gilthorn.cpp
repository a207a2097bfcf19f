// Driver add-on for Ricoh recorders. All tables are MMC (kB/s values).
#include "addons/common/FlagSets.h"
#include "addons/common/ModelTable.h"
#include "addons/common/SpeedTables.h"

using namespace std::string_view_literals;

const char* pszDriverName = "drv-gilthorn";
const char* pszDriverVersion = DRIVER_VERSION_TEXT;
const char* pszDriverDescription = "Ricoh MP7040A, MP7040S, MP7060A, MP7060S";

namespace {

constexpr SPEED_INFO kRead7040a[] = {Mmc(1), Mmc(2), Mmc(4), Mmc(6), Mmc(8), Mmc(20), kEnd};
constexpr SPEED_INFO kWrite7040a[] = {Mmc(1), Mmc(2), Mmc(4), kEnd};
constexpr SPEED_INFO kRead7040s[] = {MmcU(1), MmcU(2), MmcU(4), MmcU(6), MmcU(8), MmcU(20), kEnd};
constexpr SPEED_INFO kRead7060[] = {MmcU(1), MmcU(2), MmcU(4), MmcU(6), MmcU(8), MmcU(24), kEnd};
constexpr SPEED_INFO kWrite7060[] = {MmcU(1), MmcU(2), MmcU(4), MmcU(6), kEnd};
constexpr SPEED_INFO kUpTo4u[] = {MmcU(1), MmcU(2), MmcU(4), kEnd};

constexpr SLOT_BINDING kFamilyVariants[] = {
	{SLOT_SPEED_SET, "SpeedSet_mmc"},
	{SLOT_SPEED_GET, "SpeedGet_mmc"},
};
constexpr std::string_view kVendors[] = {"RICOH   "sv};

constexpr INQUIRY_TEST kMp7040a[] = {{{}, "CD-R/RW MP7040A "sv}};
constexpr INQUIRY_TEST kMp7040s[] = {{{}, "CD-R/RW MP7040S "sv}};
constexpr INQUIRY_TEST kMp7060a[] = {{{}, "CD-R/RW MP7060A "sv}};
constexpr INQUIRY_TEST kMp7060s[] = {{{}, "CD-R/RW MP7060S "sv}};

constexpr DRIVER_MODEL kModels[] = {
	{"drv-gilthorn: Ricoh CD-R/RW MP7040A detected\n", kMp7040a, FLAGS_I, kRead7040a, kWrite7040a, kUpTo4u, {}},
	{"drv-gilthorn: Ricoh CD-R/RW MP7040S detected\n", kMp7040s, FLAGS_J, kRead7040s, kUpTo4u, kUpTo4u, {}},
	{"drv-gilthorn: Ricoh CD-R/RW MP7060A detected\n", kMp7060a, FLAGS_J, kRead7060, kWrite7060, kUpTo4u, {}},
	{"drv-gilthorn: Ricoh CD-R/RW MP7060S detected\n", kMp7060s, FLAGS_J, kRead7060, kWrite7060, kUpTo4u, {}},
};
static_assert(ProductsHaveLength(kModels, 16));

constexpr DRIVER_FAMILY kFamily = {
	.familyVariants = kFamilyVariants,
	.vendorGate = kVendors,
	.vendorMismatch = {"drv-gilthorn: not a Ricoh\n", {}, 0, nullptr, nullptr, nullptr, {}},
	.models = kModels,
	.noMatch = {"drv-gilthorn: unknown Ricoh\n", {}, 0, nullptr, nullptr, nullptr, {}},
};

}   // namespace

CDriver* LoadDriver(const SCSI_INQUIRY* inquiry)
{
	return LoadDriverForFamily(kFamily, inquiry);
}
