// Driver add-on for the Yamaha CDR100 and CDR102. Speed values are the
// drives' own codes.
#include "addons/common/FlagSets.h"
#include "addons/common/ModelTable.h"
#include "addons/common/SpeedTables.h"

using namespace std::string_view_literals;

const char* pszDriverName = "drv-dunmere";
const char* pszDriverVersion = DRIVER_VERSION_TEXT;
const char* pszDriverDescription = "Yamaha CDR100, CDR102";

namespace {

// Quad speed reads data only.
constexpr SPEED_INFO kRead[] = {Code(0, 1), Code(16, 2), Code(32, 4, nullptr, kDataOnly), kEnd};
constexpr SPEED_INFO kWriteCdr100[] = {Code(0, 1), Code(16, 2), Code(32, 4), kEnd};
constexpr SPEED_INFO kWriteCdr102[] = {Code(0, 1), Code(16, 2), kEnd};

// The bindings of both models, with the two that differ in between.
constexpr std::array<SLOT_BINDING, 18> Variants(const char* speedGet, const char* readBufferCapacity)
{
	return {{
		{SLOT_READ_AUDIO, "ReadAudio_Sony"},
		{SLOT_SPEED_SET, "SpeedSet_YamahaCdr100"},
		{SLOT_SPEED_GET, speedGet},
		{SLOT_OPEN_SESSION, "OpenSession_YamahaCdr100"},
		{SLOT_CLOSE_SESSION, "CloseSession_YamahaCdr100"},
		{SLOT_GET_NEXT_TRACK_NUMBER, "GetNextTrackNumber_YamahaCdr100"},
		{SLOT_OPEN_TRACK, "OpenTrack_YamahaCdr100"},
		{SLOT_CLOSE_TRACK, "CloseTrack_YamahaCdr100"},
		{SLOT_FIXATE_DISC, "FixateDisc_YamahaCdr100"},
		{SLOT_READ_TRACK_INFORMATION, "ReadTrackInformation_YamahaCdr100"},
		{SLOT_READ_DISC_INFORMATION, "ReadDiscInformation_YamahaCdr100"},
		{SLOT_WRITE, "Write_YamahaCdr100"},
		{SLOT_READ_BUFFER_CAPACITY, readBufferCapacity},
		{SLOT_READ_ATIP_DATA, "ReadAtipData_YamahaCdr100"},
		{SLOT_READ_CD_TEXT, "ReadCdText_Dummy"},
		{SLOT_MEDIUM_EJECT, "MediumEject_YamahaCdr100"},
		{SLOT_MEDIUM_LOAD, "MediumLoad_YamahaCdr100"},
		{SLOT_OPTIMUM_POWER_CALIBRATION, "OptimumPowerCalibration_Dummy"},
	}};
}
constexpr auto kCdr100Variants = Variants("SpeedGet_YamahaCdr100", "ReadBufferCapacity_YamahaCdr100");
constexpr auto kCdr102Variants = Variants("SpeedGet_YamahaCdr102", "ReadBufferCapacity_YamahaCdr102");

constexpr std::string_view kVendors[] = {"YAMAHA"sv};
constexpr INQUIRY_TEST kCdr100Tests[] = {{{}, "CDR100"sv}, {{}, "CDE100"sv}};
constexpr INQUIRY_TEST kCdr102Tests[] = {{{}, "CDR102"sv}, {{}, "CDE102"sv}};

constexpr DRIVER_MODEL kModels[] = {
	{"drv-dunmere: Yamaha CDR100 detected\n", kCdr100Tests, FLAGS_K, kRead, kWriteCdr100, nullptr, kCdr100Variants},
	{"drv-dunmere: Yamaha CDR102 detected\n", kCdr102Tests, FLAGS_K, kRead, kWriteCdr102, nullptr, kCdr102Variants},
};
static_assert(ProductsHaveLength(kModels, 6));

constexpr DRIVER_MODEL kUnknown = {"drv-dunmere: device unknown\n", {}, 0, nullptr, nullptr, nullptr, {}};

constexpr DRIVER_FAMILY kFamily = {
	.vendorGate = kVendors,
	.vendorMismatch = kUnknown,
	.models = kModels,
	.noMatch = kUnknown,
};

}   // namespace

CDriver* LoadDriver(const SCSI_INQUIRY* inquiry)
{
	return LoadDriverForFamily(kFamily, inquiry);
}
