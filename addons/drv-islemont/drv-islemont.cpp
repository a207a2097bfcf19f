// Driver add-on for Memorex recorders. All tables are MMC (kB/s values).
#include "addons/common/FlagSets.h"
#include "addons/common/ModelTable.h"
#include "addons/common/SpeedTables.h"

using namespace std::string_view_literals;

const char* pszDriverName = "drv-islemont";
const char* pszDriverVersion = DRIVER_VERSION_TEXT;
const char* pszDriverDescription = "Memorex CD-RW 8220S, CDRW-4420";

namespace {

constexpr SPEED_INFO kRead8220s[] = {MmcU(1), MmcU(2), MmcU(4), MmcU(8), MmcU(20), kEnd};
constexpr SPEED_INFO kWrite8220s[] = {MmcU(1), MmcU(2), MmcU(4), MmcU(6), MmcU(8), kEnd};
constexpr SPEED_INFO kRewrite8220s[] = {MmcU(1), MmcU(2), kEnd};
constexpr SPEED_INFO kRead4420[] = {Mmc(1), Mmc(2), Mmc(4), Mmc(6), Mmc(8), Mmc(20), kEnd};
constexpr SPEED_INFO kWrite4420[] = {Mmc(1), Mmc(2), Mmc(4), kEnd};
constexpr SPEED_INFO kRewrite4420[] = {MmcU(1), MmcU(2), MmcU(4), kEnd};
constexpr SPEED_INFO kReadUnknown[] = {MmcU(1), MmcU(2), MmcU(4), MmcU(8), kMaxU, kEnd};
constexpr SPEED_INFO kWriteUnknown[] = {MmcU(1), MmcU(2), MmcU(4), MmcU(6), MmcU(8), kMaxU, kEnd};

constexpr SLOT_BINDING kFamilyVariants[] = {
	{SLOT_SPEED_SET, "SpeedSet_mmc"},
	{SLOT_SPEED_GET, "SpeedGet_mmc"},
};
constexpr std::string_view kVendors[] = {"MEMOREX "sv, "Memorex "sv};

constexpr INQUIRY_TEST k8220s[] = {{{}, "CD-RW 8220S"sv}};
constexpr INQUIRY_TEST k4420[] = {{{}, "CDRW-4420"sv}};

constexpr DRIVER_MODEL kModels[] = {
	{"drv-islemont: Memorex CD-RW 8220S detected\n", k8220s, FLAGS_E, kRead8220s, kWrite8220s, kRewrite8220s, {}},
	{"drv-islemont: Memorex CDRW-4420 detected\n", k4420, FLAGS_E, kRead4420, kWrite4420, kRewrite4420, {}},
};

constexpr DRIVER_FAMILY kFamily = {
	.familyVariants = kFamilyVariants,
	.vendorGate = kVendors,
	.vendorMismatch = {"drv-islemont: device unknown\n", {}, 0, nullptr, nullptr, nullptr, {}},
	.models = kModels,
	.noMatch = {"drv-islemont: Memorex <unknown> detected\n", {}, FLAGS_G, kReadUnknown, kWriteUnknown,
		kWriteUnknown, {}},
};

}   // namespace

CDriver* LoadDriver(const SCSI_INQUIRY* inquiry)
{
	return LoadDriverForFamily(kFamily, inquiry);
}
