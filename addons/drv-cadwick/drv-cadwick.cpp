// Driver add-on for the Philips CDD2000 family and its relatives. Speed
// values are the drives' own codes; these drives take audio big-endian.
#include "addons/common/FlagSets.h"
#include "addons/common/ModelTable.h"
#include "addons/common/SpeedTables.h"

using namespace std::string_view_literals;

const char* pszDriverName = "drv-cadwick";
const char* pszDriverVersion = DRIVER_VERSION_TEXT;
const char* pszDriverDescription =
	"Philips CDD2000\nPhilips CDD2600\nPhilips CDD522\nHewlett-Packard 4020i\nHewlett-Packard 6020i\nKodak PCD225\nPlasmon 4220\nMitsumi CD-R CR-2401TS";

namespace {

constexpr SPEED_INFO kReadCdd2000[] = {CodeU(1, 1), CodeU(2, 2), CodeU(4, 4), kEnd};
constexpr SPEED_INFO kReadCdd2600[] = {CodeU(1, 1), CodeU(2, 2), CodeU(4, 4), CodeU(6, 6), kEnd};
constexpr SPEED_INFO kWrite[] = {CodeU(1, 1), CodeU(2, 2), kEnd};

constexpr SLOT_BINDING kFamilyVariants[] = {
	{SLOT_SPEED_SET, "SpeedSet_PhilipsCdd2000"},
	{SLOT_SPEED_GET, "SpeedGet_PhilipsCdd2000"},
	{SLOT_READ_AUDIO, "ReadAudio_10"},
	{SLOT_CDDA_READ_ENABLE, "CddaReadEnable_Philips"},
	{SLOT_CDDA_READ_DISABLE, "CddaReadDisable_Philips"},
	{SLOT_MEDIUM_EJECT, "MediumEject_Philips"},
	{SLOT_MEDIUM_LOAD, "MediumLoad_Philips"},
	{SLOT_WRITE, "Write_PhilipsCdd2000"},
	{SLOT_OPEN_SESSION, "OpenSession_PhilipsCdd2000"},
	{SLOT_CLOSE_SESSION, "CloseSession_PhilipsCdd2000"},
	{SLOT_GET_NEXT_TRACK_NUMBER, "GetNextTrackNumber_PhilipsCdd2000"},
	{SLOT_OPEN_TRACK, "OpenTrack_PhilipsCdd2000"},
	{SLOT_CLOSE_TRACK, "CloseTrack_PhilipsCdd2000"},
	{SLOT_FIXATE_DISC, "FixateDisc_PhilipsCdd2000"},
	{SLOT_READ_BUFFER_CAPACITY, "ReadBufferCapacity_Dummy"},
	{SLOT_READ_ATIP_DATA, "ReadAtipData_Dummy"},
	{SLOT_OPTIMUM_POWER_CALIBRATION, "OptimumPowerCalibration_Dummy"},
};

constexpr INQUIRY_TEST kCdd2000Tests[] = {
	{"HP      "sv, "C4324/C4325"sv},
	{"KODAK   "sv, "PCD225"sv},
	{"IMS     "sv, "CDD2000/00"sv},
	{"IMS     "sv, "CDD522/10"sv},
	{"PHILIPS "sv, "CDD2000"sv},
	{"IMS     "sv, "CDD2000"sv},
	{"IMS     "sv, "CDD522"sv},
	{"PLASMON "sv, "CDR4220"sv},
	// Seven bytes of the vendor; 17 bytes from the start of the product
	// field, the last one in the revision field.
	{"MITSUMI"sv, " CD-R   CR-2401TS"sv},
};
constexpr INQUIRY_TEST kCdd2600Tests[] = {
	{"PHILIPS "sv, "CDD2600"sv},
	{"IMS     "sv, "CDD2600"sv},
	{"WPI     "sv, "CDR-632"sv},
	{"WPI     "sv, "CDR-432"sv},
	{"HP      "sv, "CD-Writer 6020"sv},
};
constexpr SLOT_BINDING kCdd2600Variants[] = {
	{SLOT_SPEED_SET, "SpeedSet_PhilipsCdd2600"},
	{SLOT_SPEED_GET, "SpeedGet_PhilipsCdd2600"},
};

constexpr DRIVER_MODEL kModels[] = {
	{"drv-cadwick: Philips CDD2000 (or compatible) detected\n", kCdd2000Tests, FLAGS_L, kReadCdd2000, kWrite,
		nullptr, {}},
	{"drv-cadwick: Philips CDD2600 (or compatible) detected\n", kCdd2600Tests, FLAGS_L, kReadCdd2600, kWrite,
		nullptr, kCdd2600Variants},
};

constexpr DRIVER_FAMILY kFamily = {
	.familyVariants = kFamilyVariants,
	.models = kModels,
	.noMatch = {"drv-cadwick: device unknown\n", {}, 0, nullptr, nullptr, nullptr, {}},
};

}   // namespace

CDriver* LoadDriver(const SCSI_INQUIRY* inquiry)
{
	return LoadDriverForFamily(kFamily, inquiry);
}
