// Driver add-on for Yamaha recorders. All tables are MMC (kB/s values).
#include "addons/common/FlagSets.h"
#include "addons/common/ModelTable.h"
#include "addons/common/SpeedTables.h"

using namespace std::string_view_literals;

const char* pszDriverName = "drv-brinvale";
const char* pszDriverVersion = DRIVER_VERSION_TEXT;
const char* pszDriverDescription =
	"Yamaha CDR200t\nYamaha CDR400c\nYamaha CDR400t\nYamaha CDR401t\nYamaha CRW2216E\nYamaha CRW2216S\nYamaha CRW2260\nYamaha CRW4001\nYamaha CRW4260\nYamaha CRW4261\nYamaha CRW4416E\nYamaha CRW4416S\nYamaha CRW6416S\nYamaha CRW8424E\nYamaha CRW8424S\n";

namespace {

constexpr SPEED_INFO kRead6[] = {Mmc(1), Mmc(2), Mmc(4), Mmc(6), kEnd};
constexpr SPEED_INFO kRead16[] = {Mmc(1), Mmc(2), Mmc(4), Mmc(6), Mmc(8), Mmc(10), Mmc(16), kEnd};
constexpr SPEED_INFO kRead24[] = {Mmc(1), Mmc(2), Mmc(4), Mmc(6), Mmc(8), Mmc(10), Mmc(16), Mmc(24), kEnd};
constexpr SPEED_INFO kWrite12[] = {Mmc(1), Mmc(2), kEnd};
constexpr SPEED_INFO kWrite124[] = {Mmc(1), Mmc(2), Mmc(4), kEnd};
constexpr SPEED_INFO kWrite146[] = {Mmc(1), Mmc(4), Mmc(6), kEnd};
constexpr SPEED_INFO kWrite148[] = {Mmc(1), Mmc(4), Mmc(8), kEnd};
constexpr SPEED_INFO kRewrite2[] = {Mmc(2), kEnd};
constexpr SPEED_INFO kRewrite24[] = {Mmc(2), Mmc(4), kEnd};

// An unlisted Yamaha model.
constexpr SPEED_INFO kReadUnknown[] = {
	MmcU(1), MmcU(2), MmcU(4), MmcU(6), MmcU(8), MmcU(10), MmcU(12), MmcU(14), MmcU(16), MmcU(18), MmcU(20),
	MmcU(22), MmcU(24), MmcU(26), MmcU(28), MmcU(30), MmcU(32), MmcU(34), MmcU(36), MmcU(38), kMaxU, kEnd,
};
constexpr SPEED_INFO kWriteUnknown[] = {MmcU(1), MmcU(2), MmcU(4), MmcU(6), MmcU(8), MmcU(10), MmcU(12), kMaxU, kEnd};
constexpr SPEED_INFO kRewriteUnknown[] = {MmcU(1), MmcU(2), MmcU(4), MmcU(6), MmcU(8), kMaxU, kEnd};

constexpr SLOT_BINDING kFamilyVariants[] = {
	{SLOT_SPEED_SET, "SpeedSet_mmc"},
	{SLOT_SPEED_GET, "SpeedGet_mmc"},
};
constexpr std::string_view kVendors[] = {"YAMAHA  "sv};

constexpr INQUIRY_TEST kCdr200[] = {{{}, "CDR200t         "sv}};
constexpr INQUIRY_TEST kCdr400[] = {{{}, "CDR400c         "sv}, {{}, "CDR400t         "sv}};
constexpr INQUIRY_TEST kCrw2260[] = {{{}, "CRW2260         "sv}};
constexpr INQUIRY_TEST kCrw4260[] = {{{}, "CRW4260         "sv}};
constexpr INQUIRY_TEST kCrw2216s[] = {{{}, "CRW2216S        "sv}};
constexpr INQUIRY_TEST kCrw4416s[] = {{{}, "CRW4416S        "sv}};
constexpr INQUIRY_TEST kCrw6416s[] = {{{}, "CRW6416S        "sv}};
constexpr INQUIRY_TEST kCrw8424s[] = {{{}, "CRW8424S        "sv}};
constexpr INQUIRY_TEST kCdr401t[] = {{{}, "CDR401t         "sv}};
constexpr INQUIRY_TEST kCrw4001[] = {{{}, "CRW4001         "sv}};
constexpr INQUIRY_TEST kCrw4261[] = {{{}, "CRW4261         "sv}};
constexpr INQUIRY_TEST kCrw2216e[] = {{{}, "CRW2216E        "sv}};
constexpr INQUIRY_TEST kCrw4416e[] = {{{}, "CRW4416E        "sv}};
constexpr INQUIRY_TEST kCrw8424e[] = {{{}, "CRW8424E        "sv}};

constexpr DRIVER_MODEL kModels[] = {
	{"drv-brinvale: Yamaha CDR200 detected\n", kCdr200, FLAGS_B, kRead6, kWrite12, nullptr, {}},
	{"drv-brinvale: Yamaha CDR400 detected\n", kCdr400, FLAGS_B, kRead6, kWrite124, nullptr, {}},
	{"drv-brinvale: Yamaha CRW2260 detected\n", kCrw2260, FLAGS_C, kRead6, kWrite12, kRewrite2, {}},
	{"drv-brinvale: Yamaha CRW4260 detected\n", kCrw4260, FLAGS_C, kRead6, kWrite124, kRewrite24, {}},
	{"drv-brinvale: Yamaha CRW2216S detected\n", kCrw2216s, FLAGS_D, kRead16, kWrite12, kRewrite2, {}},
	{"drv-brinvale: Yamaha CRW4416S detected\n", kCrw4416s, FLAGS_D, kRead16, kWrite124, kRewrite24, {}},
	{"drv-brinvale: Yamaha CRW6416S detected\n", kCrw6416s, FLAGS_D, kRead16, kWrite146, kRewrite24, {}},
	{"drv-brinvale: Yamaha CRW8424S detected\n", kCrw8424s, FLAGS_D, kRead24, kWrite148, kRewrite24, {}},
	{"drv-brinvale: Yamaha CDR401t detected\n", kCdr401t, FLAGS_B, kRead6, kWrite124, nullptr, {}},
	{"drv-brinvale: Yamaha CRW4001 detected\n", kCrw4001, FLAGS_C, kRead6, kWrite124, kRewrite2, {}},
	{"drv-brinvale: Yamaha CRW4261 detected\n", kCrw4261, FLAGS_C, kRead6, kWrite124, kRewrite2, {}},
	{"drv-brinvale: Yamaha CRW2216E detected\n", kCrw2216e, FLAGS_D, kRead16, kWrite12, kRewrite2, {}},
	{"drv-brinvale: Yamaha CRW4416E detected\n", kCrw4416e, FLAGS_D, kRead16, kWrite124, kRewrite24, {}},
	{"drv-brinvale: Yamaha CRW8424E detected\n", kCrw8424e, FLAGS_D, kRead24, kWrite148, kRewrite24, {}},
};
static_assert(ProductsHaveLength(kModels, 16));

constexpr DRIVER_FAMILY kFamily = {
	.familyVariants = kFamilyVariants,
	.vendorGate = kVendors,
	.vendorMismatch = {"drv-brinvale: device unknown\n", {}, 0, nullptr, nullptr, nullptr, {}},
	.models = kModels,
	// A Yamaha drive of no listed model: experimental, and not taken by the
	// program since F_SUPPORTED is clear.
	.noMatch = {"drv-brinvale: Yamaha <unknown> detected\n", {}, FLAGS_H, kReadUnknown, kWriteUnknown,
		kRewriteUnknown, {}},
};

}   // namespace

CDriver* LoadDriver(const SCSI_INQUIRY* inquiry)
{
	return LoadDriverForFamily(kFamily, inquiry);
}
