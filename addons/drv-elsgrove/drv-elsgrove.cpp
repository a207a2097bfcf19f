// Driver add-on for Plextor CD-ROM readers (reading only). Speed values are
// the drives' own codes; 65542 and 262 select the drives' special modes.
#include "addons/common/FlagSets.h"
#include "addons/common/ModelTable.h"
#include "addons/common/SpeedTables.h"

using namespace std::string_view_literals;

const char* pszDriverName = "drv-elsgrove";
const char* pszDriverVersion = DRIVER_VERSION_TEXT;
const char* pszDriverDescription =
	"Plextor PX-43C\nPlextor PX-43C\nPlextor PX-45C\nPlextor PX-63CS\nPlextor PX-65CS\nPlextor PX-83CS\nPlextor PX-85CS\nPlextor PX-12CS\nPlextor PX-12TS\nPlextor PX-20TS (12/20PleX)\nPlextor PX-32CS\nPlextor PX-32TS\nPlextor PX-40TS\nPlextor PX-40TW\n";

namespace {

constexpr const char* kTurbo = "audio only, experimental turbo mode";

constexpr SPEED_INFO kRead4[] = {Code(0, 1), Code(1, 2), Code(2, 4), kEnd};
constexpr SPEED_INFO kRead4xce[] = {Code(0, 1), Code(1, 2), Code(2, 4.5f), kEnd};
constexpr SPEED_INFO kRead6[] = {Code(0, 1), Code(2, 4), Code(4, 6), kEnd};
constexpr SPEED_INFO kRead8[] = {Code(0, 1), Code(1, 2), Code(2, 4), Code(3, 8), kEnd};
constexpr SPEED_INFO kRead12[] = {Code(0, 1), Code(1, 2), Code(2, 4), Code(3, 8), Code(5, 12, nullptr, kDataOnly), kEnd};
constexpr SPEED_INFO kRead20[] = {
	Code(0, 1), Code(1, 2), Code(2, 4), Code(3, 8), Code(6, 20, "12.0X - 20.0X, 2117 K/sec - 3528 K/sec"), kEnd,
};
constexpr SPEED_INFO kRead32[] = {
	Code(0, 1),
	Code(1, 2),
	Code(2, 4),
	Code(3, 8),
	Code(6, 24, "14.0X - 24.0X, 2470 K/sec - 3234 K/sec", kAudioOnly),
	Code(65542, 32, "14.0X - 32.0X, 2470 K/sec - 5645 K/sec", kDataOnly),
	Code(262, 32, "14.0X - 32.0X, 2470 K/sec - 5645 K/sec", kTurbo),
	kEnd,
};
constexpr SPEED_INFO kRead40[] = {
	Code(0, 1),
	Code(1, 2),
	Code(2, 4),
	Code(3, 8),
	Code(5, 20, "10.0X - 20.0X, 1764 K/sec - 3528 K/sec"),
	Code(6, 24, "17.0X - 24.0X, 2999 K/sec - 4234 K/sec", kAudioOnly),
	Code(65542, 40, "17.0X - 40.0X, 2999 K/sec - 7056 K/sec", kDataOnly),
	Code(262, 40, "17.0X - 40.0X, 2999 K/sec - 7056 K/sec", kTurbo),
	kEnd,
};
constexpr SPEED_INFO kReadUnknown[] = {
	CodeU(0, 1), CodeU(1, 2), CodeU(2, 4), CodeU(3, 8), Code(255, -1.0f, "maximum", kUnverified), kEnd,
};

constexpr SLOT_BINDING kFamilyVariants[] = {
	{SLOT_READ_AUDIO, "ReadAudio_Plextor"},
	{SLOT_SPEED_SET, "SpeedSet_Plextor"},
};
constexpr std::string_view kVendors[] = {"PLEXTOR "sv};

constexpr INQUIRY_TEST kPx4xch[] = {{{}, "CD-ROM PX-4XCH  "sv}};
constexpr INQUIRY_TEST kPx4xcs[] = {{{}, "CD-ROM PX-4XCS  "sv}};
constexpr INQUIRY_TEST kPx4xce[] = {{{}, "CD-ROM PX-4XCE  "sv}};
constexpr INQUIRY_TEST kPx6xcs[] = {{{}, "CD-ROM PX-6XCS  "sv}};
constexpr INQUIRY_TEST kPx8xcs[] = {{{}, "CD-ROM PX-8XCS  "sv}};
constexpr INQUIRY_TEST kPx12cs[] = {{{}, "CD-ROM PX-12CS  "sv}};
constexpr INQUIRY_TEST kPx12ts[] = {{{}, "CD-ROM PX-12TS  "sv}};
constexpr INQUIRY_TEST kPx20ts[] = {{{}, "CD-ROM PX-20TS  "sv}};
constexpr INQUIRY_TEST kPx32cs[] = {{{}, "CD-ROM PX-32CS  "sv}};
constexpr INQUIRY_TEST kPx32ts[] = {{{}, "CD-ROM PX-32TS  "sv}};
constexpr INQUIRY_TEST kPx40ts[] = {{{}, "CD-ROM PX-40TS  "sv}};
constexpr INQUIRY_TEST kPx40tw[] = {{{}, "CD-ROM PX-40TW"sv}};
constexpr INQUIRY_TEST kPxAny[] = {{{}, "CD-ROM PX-"sv}};

constexpr DRIVER_MODEL kModels[] = {
	{"drv-elsgrove: Plextor CD-ROM PX-4XCH detected\n", kPx4xch, FLAGS_N, kRead4, nullptr, nullptr, {}},
	{"drv-elsgrove: Plextor CD-ROM PX-4XCS detected\n", kPx4xcs, FLAGS_N, kRead4, nullptr, nullptr, {}},
	{"drv-elsgrove: Plextor CD-ROM PX-4XCE detected\n", kPx4xce, FLAGS_N, kRead4xce, nullptr, nullptr, {}},
	{"drv-elsgrove: Plextor CD-ROM PX-6XCS detected\n", kPx6xcs, FLAGS_N, kRead6, nullptr, nullptr, {}},
	{"drv-elsgrove: Plextor CD-ROM PX-8XCS detected\n", kPx8xcs, FLAGS_N, kRead8, nullptr, nullptr, {}},
	{"drv-elsgrove: Plextor CD-ROM PX-12CS detected\n", kPx12cs, FLAGS_N, kRead12, nullptr, nullptr, {}},
	{"drv-elsgrove: Plextor CD-ROM PX-12TS detected\n", kPx12ts, FLAGS_N, kRead12, nullptr, nullptr, {}},
	{"drv-elsgrove: Plextor CD-ROM PX-20TS (12/20PleX) detected\n", kPx20ts, FLAGS_N, kRead20, nullptr, nullptr, {}},
	{"drv-elsgrove: Plextor CD-ROM PX-32CS detected\n", kPx32cs, FLAGS_N, kRead32, nullptr, nullptr, {}},
	{"drv-elsgrove: Plextor CD-ROM PX-32TS detected\n", kPx32ts, FLAGS_N, kRead32, nullptr, nullptr, {}},
	{"drv-elsgrove: Plextor CD-ROM PX-40TS detected\n", kPx40ts, FLAGS_N, kRead40, nullptr, nullptr, {}},
	{"drv-elsgrove: Plextor CD-ROM PX-40TW detected\n", kPx40tw, FLAGS_N, kRead40, nullptr, nullptr, {}},
	{"drv-elsgrove: Unknown Plextor CD-ROM detected\n", kPxAny, FLAGS_O, kReadUnknown, nullptr, nullptr, {}},
};

constexpr DRIVER_FAMILY kFamily = {
	.familyVariants = kFamilyVariants,
	.vendorGate = kVendors,
	.vendorMismatch = {"drv-elsgrove: device unknown\n", {}, 0, nullptr, nullptr, nullptr, {}},
	.models = kModels,
	// A Plextor drive that is no CD-ROM reader: silent, flags 0.
	.noMatch = {nullptr, {}, 0, nullptr, nullptr, nullptr, {}},
};

}   // namespace

CDriver* LoadDriver(const SCSI_INQUIRY* inquiry)
{
	return LoadDriverForFamily(kFamily, inquiry);
}
