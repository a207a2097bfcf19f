// Driver add-on for Plextor recorders. All tables are MMC (kB/s values).
#include "addons/common/FlagSets.h"
#include "addons/common/ModelTable.h"
#include "addons/common/SpeedTables.h"

using namespace std::string_view_literals;

const char* pszDriverName = "drv-farrowby";
const char* pszDriverVersion = DRIVER_VERSION_TEXT;
const char* pszDriverDescription =
	"Plextor PX-R412C\nPlextor PX-R820T\nPlextor PX-W4220T\nPlextor PX-W8220T\nPlextor PX-W8432T\n";

namespace {

constexpr SPEED_INFO kRead12[] = {Mmc(1), Mmc(4), Mmc(8), Mmc(12), kEnd};
constexpr SPEED_INFO kRead20[] = {Mmc(1), Mmc(4), Mmc(8), Mmc(20), kEnd};
constexpr SPEED_INFO kRead32[] = {Mmc(1), Mmc(4), Mmc(8), Mmc(20), Mmc(32), kEnd};
constexpr SPEED_INFO kWrite4[] = {Mmc(1), Mmc(2), Mmc(4), kEnd};
constexpr SPEED_INFO kWrite8[] = {Mmc(1), Mmc(2), Mmc(4), Mmc(8), kEnd};
constexpr SPEED_INFO kRewrite2[] = {Mmc(2), kEnd};
constexpr SPEED_INFO kRewrite4[] = {MmcU(1), Mmc(2), Mmc(4), kEnd};
constexpr SPEED_INFO kReadUnknown[] = {MmcU(1), MmcU(2), MmcU(4), MmcU(8), kMaxU, kEnd};
constexpr SPEED_INFO kWriteUnknown[] = {MmcU(1), MmcU(2), MmcU(4), MmcU(6), MmcU(8), kMaxU, kEnd};

constexpr SLOT_BINDING kFamilyVariants[] = {
	{SLOT_SPEED_SET, "SpeedSet_mmc"},
	{SLOT_SPEED_GET, "SpeedGet_mmc"},
};
constexpr std::string_view kVendors[] = {"PLEXTOR "sv};

constexpr INQUIRY_TEST kR412c[] = {{{}, "CD-R   PX-R412C "sv}};
constexpr INQUIRY_TEST kR820t[] = {{{}, "CD-R   PX-R820T "sv}};
constexpr INQUIRY_TEST kW4220t[] = {{{}, "CD-R   PX-W4220T"sv}};
constexpr INQUIRY_TEST kW8220t[] = {{{}, "CD-R   PX-W8220T"sv}};
constexpr INQUIRY_TEST kW8432t[] = {{{}, "CD-R   PX-W8432T"sv}};
constexpr INQUIRY_TEST kAnyRecorder[] = {{{}, "CD-R "sv}};

constexpr DRIVER_MODEL kModels[] = {
	{"drv-farrowby: Plextor CD-R PX-R412C detected\n", kR412c, FLAGS_D, kRead12, kWrite4, nullptr, {}},
	{"drv-farrowby: Plextor CD-R PX-R820T detected\n", kR820t, FLAGS_D, kRead20, kWrite8, nullptr, {}},
	{"drv-farrowby: Plextor CD-R PX-W4220T detected\n", kW4220t, FLAGS_D, kRead20, kWrite4, kRewrite2, {}},
	{"drv-farrowby: Plextor CD-R PX-W8220T detected\n", kW8220t, FLAGS_D, kRead20, kWrite8, kRewrite2, {}},
	{"drv-farrowby: Plextor CD-R PX-W8432T detected\n", kW8432t, FLAGS_D, kRead32, kWrite8, kRewrite4, {}},
	{"drv-farrowby: Plextor CD-recorder <unknown> detected\n", kAnyRecorder, FLAGS_E, kReadUnknown,
		kWriteUnknown, kWriteUnknown, {}},
};

constexpr DRIVER_FAMILY kFamily = {
	.familyVariants = kFamilyVariants,
	.vendorGate = kVendors,
	.vendorMismatch = {"drv-farrowby: device unknown\n", {}, 0, nullptr, nullptr, nullptr, {}},
	.models = kModels,
	// A Plextor drive that is no recorder: silent, flags 0.
	.noMatch = {nullptr, {}, 0, nullptr, nullptr, nullptr, {}},
};

}   // namespace

CDriver* LoadDriver(const SCSI_INQUIRY* inquiry)
{
	return LoadDriverForFamily(kFamily, inquiry);
}
