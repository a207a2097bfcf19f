// Driver add-on for Teac and compatible recorders. Speed values are the
// drives' own codes, not kB/s.
#include "addons/common/FlagSets.h"
#include "addons/common/ModelTable.h"
#include "addons/common/SpeedTables.h"

using namespace std::string_view_literals;

const char* pszDriverName = "drv-ostrel";
const char* pszDriverVersion = DRIVER_VERSION_TEXT;
const char* pszDriverDescription =
	"Teac CD-R50S\nTeac CD-R55S\nTeac CD-R56S-400\nTeac CD-R56S-450\nTeac CD-R56S-600\nTeac CD-R58S\nTraxdata CDR 4120\nSmart & Friendly CD-R 4012\nWaitec WT624\nWaitec WT824";

namespace {

constexpr SPEED_INFO kReadCdr50s[] = {Code(0, 1), Code(1, 2), Code(2, 4), kEnd};
constexpr SPEED_INFO kReadCdr55s[] = {Code(0, 1), Code(1, 2), Code(2, 4), Code(4, 8), Code(6, 12), kEnd};
constexpr SPEED_INFO kReadCdr56s[] = {Code(0, 1), Code(1, 2), Code(2, 4), Code(4, 8), Code(255, 24), kEnd};
constexpr SPEED_INFO kWriteUpTo4[] = {Code(0, 1), Code(1, 2), Code(2, 4), kEnd};
constexpr SPEED_INFO kWriteUpTo6[] = {Code(0, 1), Code(1, 2), Code(2, 4), Code(3, 6), kEnd};
constexpr SPEED_INFO kWriteUpTo8[] = {Code(0, 1), Code(1, 2), Code(2, 4), Code(3, 6), Code(4, 8), kEnd};

// The command set of the CD-R50 family.
constexpr std::array kTeacCdr50Set = {
	SLOT_BINDING {SLOT_READ_AUDIO, "ReadAudio_Sony"},
	SLOT_BINDING {SLOT_SPEED_SET, "SpeedSet_Teac"},
	SLOT_BINDING {SLOT_OPEN_SESSION, "OpenSession_TeacCdr50"},
	SLOT_BINDING {SLOT_CLOSE_SESSION, "CloseSession_TeacCdr50"},
	SLOT_BINDING {SLOT_GET_NEXT_TRACK_NUMBER, "GetNextTrackNumber_TeacCdr50"},
	SLOT_BINDING {SLOT_OPEN_TRACK, "OpenTrack_TeacCdr50"},
	SLOT_BINDING {SLOT_CLOSE_TRACK, "CloseTrack_TeacCdr50"},
	SLOT_BINDING {SLOT_FIXATE_DISC, "FixateDisc_TeacCdr50"},
	SLOT_BINDING {SLOT_READ_DISC_INFORMATION, "ReadDiscInformation_TeacCdr50"},
	SLOT_BINDING {SLOT_WRITE, "Write_TeacCdr50"},
	SLOT_BINDING {SLOT_READ_BUFFER_CAPACITY, "ReadBufferCapacity_Dummy"},
	SLOT_BINDING {SLOT_READ_ATIP_DATA, "ReadAtipData_Dummy"},
	SLOT_BINDING {SLOT_OPTIMUM_POWER_CALIBRATION, "OptimumPowerCalibration_Dummy"},
};
constexpr auto kCdr50sVariants
	= Concat(kTeacCdr50Set, std::array {SLOT_BINDING {SLOT_SPEED_GET, "SpeedGet_TeacCdr50S"}});
constexpr auto kCdr55sVariants
	= Concat(kTeacCdr50Set, std::array {SLOT_BINDING {SLOT_SPEED_GET, "SpeedGet_TeacCdr55S"}});
constexpr SLOT_BINDING kCdr56s400Variants[] = {
	{SLOT_SPEED_SET, "SpeedSet_Teac"},
	{SLOT_SPEED_GET, "SpeedGet_TeacCdr56S400"},
};
constexpr SLOT_BINDING kCdr56sVariants[] = {
	{SLOT_SPEED_SET, "SpeedSet_Teac"},
	{SLOT_SPEED_GET, "SpeedGet_TeacCdr56S"},
};
constexpr SLOT_BINDING kCdr58sVariants[] = {
	{SLOT_SPEED_SET, "SpeedSet_Teac"},
	{SLOT_SPEED_GET, "SpeedGet_TeacCdr58S"},
};

constexpr INQUIRY_TEST kCdr50sTests[] = {{"TEAC    "sv, "CD-R50S"sv}};
constexpr INQUIRY_TEST kCdr55sTests[] = {
	{"TEAC    "sv, "CD-R55S"sv},
	{"TRAXDATA"sv, "CDR 4120"sv},
	{"Traxdata"sv, "CDR4120"sv},
	{"SAF     "sv, "CD-R4012"sv},
};
// "CD-R56S4" comes before its prefix "CD-R56S".
constexpr INQUIRY_TEST kCdr56s400Tests[] = {{"TEAC    "sv, "CD-R56S4"sv}};
constexpr INQUIRY_TEST kCdr56sTests[] = {{"TEAC    "sv, "CD-R56S"sv}, {"WAITEC  "sv, "WT624"sv}};
constexpr INQUIRY_TEST kCdr58sTests[] = {{"TEAC    "sv, "CD-R58S"sv}, {"WAITEC  "sv, "WT824"sv}};

constexpr DRIVER_MODEL kModels[] = {
	{"drv-ostrel: Teac CD-R50S detected\n", kCdr50sTests, FLAGS_A, kReadCdr50s, kWriteUpTo4, nullptr,
		kCdr50sVariants},
	{"drv-ostrel: Teac CD-R55S detected\n", kCdr55sTests, FLAGS_A, kReadCdr55s, kWriteUpTo4, nullptr,
		kCdr55sVariants},
	{"drv-ostrel: Teac CD-R56S4 detected\n", kCdr56s400Tests, FLAGS_B, kReadCdr56s, kWriteUpTo4, nullptr,
		kCdr56s400Variants},
	{"drv-ostrel: Teac CD-R56S detected\n", kCdr56sTests, FLAGS_B, kReadCdr56s, kWriteUpTo6, nullptr,
		kCdr56sVariants},
	{"drv-ostrel: Teac CD-R58S detected\n", kCdr58sTests, FLAGS_B, kReadCdr56s, kWriteUpTo8, nullptr,
		kCdr58sVariants},
};

constexpr DRIVER_FAMILY kFamily = {
	.models = kModels,
	.noMatch = {"drv-ostrel: unknown device\n", {}, 0, nullptr, nullptr, nullptr, kCdr58sVariants},
};

}   // namespace

CDriver* LoadDriver(const SCSI_INQUIRY* inquiry)
{
	return LoadDriverForFamily(kFamily, inquiry);
}
