// Driver add-on for Creative Labs recorders. All tables are MMC (kB/s
// values).
#include "addons/common/FlagSets.h"
#include "addons/common/ModelTable.h"
#include "addons/common/SpeedTables.h"

using namespace std::string_view_literals;

const char* pszDriverName = "drv-jessop";
const char* pszDriverVersion = DRIVER_VERSION_TEXT;
const char* pszDriverDescription = "Creative Labs CD-RW RW4224E, CD-RW RW4424E";

namespace {

constexpr SPEED_INFO kRead[] = {Mmc(1), Mmc(2), Mmc(4), Mmc(8), Mmc(24), kEnd};
constexpr SPEED_INFO kWrite[] = {MmcU(1), Mmc(2), Mmc(4), kEnd};
constexpr SPEED_INFO kRewrite4224e[] = {MmcU(1), Mmc(2), kEnd};
constexpr SPEED_INFO kRewrite4424e[] = {MmcU(1), Mmc(2), Mmc(4), kEnd};
constexpr SPEED_INFO kReadUnknown[] = {MmcU(1), MmcU(2), MmcU(4), MmcU(8), kMaxU, kEnd};
constexpr SPEED_INFO kWriteUnknown[] = {MmcU(1), MmcU(2), MmcU(4), MmcU(6), MmcU(8), kMaxU, kEnd};

constexpr SLOT_BINDING kFamilyVariants[] = {
	{SLOT_SPEED_SET, "SpeedSet_mmc"},
	{SLOT_SPEED_GET, "SpeedGet_mmc"},
};
constexpr std::string_view kVendors[] = {"CREATIVE"sv};

constexpr INQUIRY_TEST kRw4224e[] = {{{}, "CD-RW RW4224E"sv}};
constexpr INQUIRY_TEST kRw4424e[] = {{{}, "CD-RW RW4424E"sv}};

constexpr DRIVER_MODEL kModels[] = {
	{"drv-jessop: Creative Labs CD-RW RW4224E detected\n", kRw4224e, FLAGS_F, kRead, kWrite, kRewrite4224e, {}},
	{"drv-jessop: Creative Labs CD-RW RW4424E detected\n", kRw4424e, FLAGS_E, kRead, kWrite, kRewrite4424e, {}},
};

constexpr DRIVER_FAMILY kFamily = {
	.familyVariants = kFamilyVariants,
	.vendorGate = kVendors,
	.vendorMismatch = {"drv-jessop: device unknown\n", {}, 0, nullptr, nullptr, nullptr, {}},
	.models = kModels,
	.noMatch = {"drv-jessop: Creative Labs <unknown> detected\n", {}, FLAGS_G, kReadUnknown, kWriteUnknown,
		kWriteUnknown, {}},
};

}   // namespace

CDriver* LoadDriver(const SCSI_INQUIRY* inquiry)
{
	return LoadDriverForFamily(kFamily, inquiry);
}
