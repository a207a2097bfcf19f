// Every recorder model the driver add-ons know, and the drives they do not:
// given the inquiry data, the add-on loaded from the build's add-on folder
// prints the expected console line and returns a record with the expected
// flags, speed tables and command functions.
#include "AddOnImages.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <regex>
#include <string>
#include <vector>

using namespace drivertest;

namespace {

struct Speed {
	int32 value;
	float factor;
	const char* name = nullptr;
	const char* comment = nullptr;
};

const char* const kU = "unverified";

// kB/s value of an MMC entry: the integer part of 176.4 x factor, plus 1.
int32 MmcKiloBytes(int factor)
{
	static const std::map<int, int32> listed = {{1, 177}, {2, 353}, {4, 706}, {6, 1059}, {8, 1412}, {10, 1765},
		{12, 2117}, {16, 2823}, {20, 3529}, {24, 4234}, {32, 5645}};
	auto found = listed.find(factor);
	// Factors without a listed value are whole numbers: 176.4 x f = 1764 x f / 10.
	return found != listed.end() ? found->second : factor * 1764 / 10 + 1;
}

Speed M(int factor)
{
	return {MmcKiloBytes(factor), static_cast<float>(factor)};
}
Speed MU(int factor)
{
	return {MmcKiloBytes(factor), static_cast<float>(factor), nullptr, kU};
}
Speed C(int32 code, float factor, const char* name = nullptr, const char* comment = nullptr)
{
	return {code, factor, name, comment};
}
Speed CU(int32 code, float factor)
{
	return {code, factor, nullptr, kU};
}
const Speed MAX = {65535, -1.0f, "maximum"};
const Speed MAXU = {65535, -1.0f, "maximum", kU};

using Table = std::vector<Speed>;
using Bindings = std::vector<std::pair<DRIVER_SLOT, const char*>>;

Table Join(Table first, const Table& second)
{
	first.insert(first.end(), second.begin(), second.end());
	return first;
}
Bindings Join(Bindings first, const Bindings& second)
{
	first.insert(first.end(), second.begin(), second.end());
	return first;
}

// What the record constructor binds.
const std::map<DRIVER_SLOT, const char*> kDefaults = {
	{SLOT_PLAY_AUDIO_POSITION, "PlayAudioPosition"},
	{SLOT_PLAY_AUDIO_TRACK, "PlayAudioTrack"},
	{SLOT_STOP_AUDIO, "StopAudio"},
	{SLOT_PAUSE_AUDIO, "PauseAudio"},
	{SLOT_RESUME_AUDIO, "ResumeAudio"},
	{SLOT_READ_TOC, "ReadToc"},
	{SLOT_READ_AUDIO, "ReadAudio_mmc"},
	{SLOT_MEDIUM_EJECT, "MediumEject"},
	{SLOT_MEDIUM_LOAD, "MediumLoad"},
	{SLOT_MEDIUM_ALLOW_REMOVAL, "MediumAllowRemoval"},
	{SLOT_MEDIUM_PREVENT_REMOVAL, "MediumPreventRemoval"},
	{SLOT_MODE_SENSE, "ModeSense"},
	{SLOT_MODE_SELECT, "ModeSelect"},
	{SLOT_TEST_UNIT_READY, "TestUnitReady"},
	{SLOT_CDDA_READ_ENABLE, "CddaReadEnable_Dummy"},
	{SLOT_CDDA_READ_DISABLE, "CddaReadDisable_Dummy"},
	{SLOT_SPEED_SET, "SpeedSet_Dummy"},
	{SLOT_SPEED_GET, "SpeedGet_Dummy"},
	{SLOT_START_UNIT, "StartUnit"},
	{SLOT_STOP_UNIT, "StopUnit"},
	{SLOT_READ_BUFFER_CAPACITY, "ReadBufferCapacity"},
	{SLOT_READ_DISC_INFORMATION, "ReadDiscInformation"},
	{SLOT_READ_TRACK_INFORMATION, "ReadTrackInformation"},
	{SLOT_READ_ATIP_DATA, "ReadAtipData"},
	{SLOT_READ_CD_TEXT, "ReadCdText"},
	{SLOT_READ_SUB_CHANNEL_CURRENT_POSITION, "ReadSubChannelCurrentPosition"},
	{SLOT_READ_SUB_CHANNEL_MCN, "ReadSubChannelMCN"},
	{SLOT_READ_SUB_CHANNEL_ISRC, "ReadSubChannelISRC"},
	{SLOT_WRITE, "Write_10"},
	{SLOT_OPEN_SESSION, "OpenSession_mmc"},
	{SLOT_CLOSE_SESSION, "CloseSession_mmc"},
	{SLOT_GET_NEXT_TRACK_NUMBER, "GetNextTrackNumber_mmc"},
	{SLOT_OPEN_TRACK, "OpenTrack_mmc"},
	{SLOT_CLOSE_TRACK, "CloseTrack_mmc"},
	{SLOT_FIXATE_DISC, "FixateDisc_mmc"},
	{SLOT_OPTIMUM_POWER_CALIBRATION, "OptimumPowerCalibration"},
};

const Bindings kMmcSpeed = {{SLOT_SPEED_SET, "SpeedSet_mmc"}, {SLOT_SPEED_GET, "SpeedGet_mmc"}};
const Bindings kTeacCdr50Set = {
	{SLOT_READ_AUDIO, "ReadAudio_Sony"},
	{SLOT_SPEED_SET, "SpeedSet_Teac"},
	{SLOT_OPEN_SESSION, "OpenSession_TeacCdr50"},
	{SLOT_CLOSE_SESSION, "CloseSession_TeacCdr50"},
	{SLOT_GET_NEXT_TRACK_NUMBER, "GetNextTrackNumber_TeacCdr50"},
	{SLOT_OPEN_TRACK, "OpenTrack_TeacCdr50"},
	{SLOT_CLOSE_TRACK, "CloseTrack_TeacCdr50"},
	{SLOT_FIXATE_DISC, "FixateDisc_TeacCdr50"},
	{SLOT_READ_DISC_INFORMATION, "ReadDiscInformation_TeacCdr50"},
	{SLOT_WRITE, "Write_TeacCdr50"},
	{SLOT_READ_BUFFER_CAPACITY, "ReadBufferCapacity_Dummy"},
	{SLOT_READ_ATIP_DATA, "ReadAtipData_Dummy"},
	{SLOT_OPTIMUM_POWER_CALIBRATION, "OptimumPowerCalibration_Dummy"},
};
const Bindings kPhilipsSet = {
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
Bindings YamahaCdr100Set(const char* speedGet, const char* readBufferCapacity)
{
	return {
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
	};
}

// The generic MMC tables: read maximum, 1u, 2u, 4u and every even factor to
// 80u; writing maximum and 1u to 12u.
Table GenericRead()
{
	Table table = {MAX, MU(1), MU(2), MU(4)};
	for (int factor = 6; factor <= 80; factor += 2)
		table.push_back(MU(factor));
	return table;
}
const Table kGenericWrite = {MAX, MU(1), MU(2), MU(4), MU(6), MU(8), MU(10), MU(12)};

constexpr uint64 Flags(uint32 upper, uint32 lower)
{
	return static_cast<uint64>(upper) << 32 | lower;
}
const uint64 A = Flags(0, 0x1B00D03), B = Flags(0x100, 0x1B00F01), C_ = Flags(0x140, 0x1B00F01),
			 D = Flags(0x1C0, 0x1B00F01), E = Flags(0x1C0, 0x1B00F03), F = Flags(0x140, 0x1B00F03),
			 G = Flags(0x1C0, 0x1B00F02), H = Flags(0x1C0, 0x1B00102), I = Flags(0x1C0, 0x1200F01),
			 J = Flags(0x1C0, 0x1200F03), K = Flags(0, 0x1200103), L = Flags(0, 0x900107),
			 M_ = Flags(0x1C0, 0x900F03), N = Flags(0, 0x101), O = Flags(0, 0x103), P = Flags(0, 0xA),
			 Q = Flags(0, 0x11A);

struct Row {
	const char* addOn;
	std::string vendor;
	std::string product;   // may run into the revision field
	const char* line;      // "" = nothing printed
	uint64 flags;
	Table read, cdr, cdrw;
	Bindings bindings;     // over the defaults, in binding order
};

std::string Z(const char* text, size_t length)
{
	return std::string(text, length);
}

std::vector<Row> Rows()
{
	const Table teacRead3 = {C(0, 1), C(1, 2), C(2, 4)};
	const Table teacRead12 = {C(0, 1), C(1, 2), C(2, 4), C(4, 8), C(6, 12)};
	const Table teacRead24 = {C(0, 1), C(1, 2), C(2, 4), C(4, 8), C(255, 24)};
	const Table teacWrite4 = {C(0, 1), C(1, 2), C(2, 4)};
	const Bindings r50 = Join(kTeacCdr50Set, {{SLOT_SPEED_GET, "SpeedGet_TeacCdr50S"}});
	const Bindings r55 = Join(kTeacCdr50Set, {{SLOT_SPEED_GET, "SpeedGet_TeacCdr55S"}});
	const Bindings r56s4 = {{SLOT_SPEED_SET, "SpeedSet_Teac"}, {SLOT_SPEED_GET, "SpeedGet_TeacCdr56S400"}};
	const Bindings r56 = {{SLOT_SPEED_SET, "SpeedSet_Teac"}, {SLOT_SPEED_GET, "SpeedGet_TeacCdr56S"}};
	const Bindings r58 = {{SLOT_SPEED_SET, "SpeedSet_Teac"}, {SLOT_SPEED_GET, "SpeedGet_TeacCdr58S"}};

	const Table y6 = {M(1), M(2), M(4), M(6)};
	const Table y16 = {M(1), M(2), M(4), M(6), M(8), M(10), M(16)};
	const Table y24 = Join(y16, {M(24)});
	Table yUnknownRead = {MU(1), MU(2)};
	for (int factor = 4; factor <= 38; factor += 2)
		yUnknownRead.push_back(MU(factor));
	yUnknownRead.push_back(MAXU);

	const Table cdd2000Read = {CU(1, 1), CU(2, 2), CU(4, 4)};
	const Table cddWrite = {CU(1, 1), CU(2, 2)};
	const Bindings cdd2600 = Join(kPhilipsSet,
		{{SLOT_SPEED_SET, "SpeedSet_PhilipsCdd2600"}, {SLOT_SPEED_GET, "SpeedGet_PhilipsCdd2600"}});

	const Table dunmereRead = {C(0, 1), C(16, 2), C(32, 4, nullptr, "data only")};

	const Bindings plextorReader = {{SLOT_READ_AUDIO, "ReadAudio_Plextor"}, {SLOT_SPEED_SET, "SpeedSet_Plextor"}};
	const Table px12 = {C(0, 1), C(1, 2), C(2, 4), C(3, 8), C(5, 12, nullptr, "data only")};
	const Table px32 = {C(0, 1), C(1, 2), C(2, 4), C(3, 8),
		C(6, 24, "14.0X - 24.0X, 2470 K/sec - 3234 K/sec", "audio only"),
		C(65542, 32, "14.0X - 32.0X, 2470 K/sec - 5645 K/sec", "data only"),
		C(262, 32, "14.0X - 32.0X, 2470 K/sec - 5645 K/sec", "audio only, experimental turbo mode")};
	const Table px40 = {C(0, 1), C(1, 2), C(2, 4), C(3, 8), C(5, 20, "10.0X - 20.0X, 1764 K/sec - 3528 K/sec"),
		C(6, 24, "17.0X - 24.0X, 2999 K/sec - 4234 K/sec", "audio only"),
		C(65542, 40, "17.0X - 40.0X, 2999 K/sec - 7056 K/sec", "data only"),
		C(262, 40, "17.0X - 40.0X, 2999 K/sec - 7056 K/sec", "audio only, experimental turbo mode")};

	const Table unknownRead = {MU(1), MU(2), MU(4), MU(8), MAXU};
	const Table unknownWrite = {MU(1), MU(2), MU(4), MU(6), MU(8), MAXU};

	return {
		// Teac and compatible recorders.
		{"drv-ostrel", "TEAC    ", "CD-R50S", "drv-ostrel: Teac CD-R50S detected\n", A, teacRead3, teacWrite4, {}, r50},
		{"drv-ostrel", "TEAC    ", "CD-R55S", "drv-ostrel: Teac CD-R55S detected\n", A, teacRead12, teacWrite4, {}, r55},
		{"drv-ostrel", "TRAXDATA", "CDR 4120", "drv-ostrel: Teac CD-R55S detected\n", A, teacRead12, teacWrite4, {},
			r55},
		{"drv-ostrel", "Traxdata", "CDR4120", "drv-ostrel: Teac CD-R55S detected\n", A, teacRead12, teacWrite4, {},
			r55},
		{"drv-ostrel", "SAF     ", "CD-R4012", "drv-ostrel: Teac CD-R55S detected\n", A, teacRead12, teacWrite4, {},
			r55},
		{"drv-ostrel", "TEAC    ", "CD-R56S4", "drv-ostrel: Teac CD-R56S4 detected\n", B, teacRead24, teacWrite4, {},
			r56s4},
		{"drv-ostrel", "TEAC    ", "CD-R56S-600", "drv-ostrel: Teac CD-R56S detected\n", B, teacRead24,
			Join(teacWrite4, {C(3, 6)}), {}, r56},
		{"drv-ostrel", "WAITEC  ", "WT624", "drv-ostrel: Teac CD-R56S detected\n", B, teacRead24,
			Join(teacWrite4, {C(3, 6)}), {}, r56},
		{"drv-ostrel", "TEAC    ", "CD-R58S", "drv-ostrel: Teac CD-R58S detected\n", B, teacRead24,
			Join(teacWrite4, {C(3, 6), C(4, 8)}), {}, r58},
		{"drv-ostrel", "WAITEC  ", "WT824", "drv-ostrel: Teac CD-R58S detected\n", B, teacRead24,
			Join(teacWrite4, {C(3, 6), C(4, 8)}), {}, r58},
		{"drv-ostrel", "teac    ", "CD-R50S", "drv-ostrel: unknown device\n", 0, {}, {}, {}, r58},
		{"drv-ostrel", "TEAC    ", "CD-R5", "drv-ostrel: unknown device\n", 0, {}, {}, {}, r58},

		// Yamaha recorders: whole product fields.
		{"drv-brinvale", "YAMAHA  ", "CDR200t", "drv-brinvale: Yamaha CDR200 detected\n", B, y6, {M(1), M(2)}, {},
			kMmcSpeed},
		{"drv-brinvale", "YAMAHA  ", "CDR400c", "drv-brinvale: Yamaha CDR400 detected\n", B, y6, {M(1), M(2), M(4)},
			{}, kMmcSpeed},
		{"drv-brinvale", "YAMAHA  ", "CDR400t", "drv-brinvale: Yamaha CDR400 detected\n", B, y6, {M(1), M(2), M(4)},
			{}, kMmcSpeed},
		{"drv-brinvale", "YAMAHA  ", "CRW2260", "drv-brinvale: Yamaha CRW2260 detected\n", C_, y6, {M(1), M(2)},
			{M(2)}, kMmcSpeed},
		{"drv-brinvale", "YAMAHA  ", "CRW4260", "drv-brinvale: Yamaha CRW4260 detected\n", C_, y6,
			{M(1), M(2), M(4)}, {M(2), M(4)}, kMmcSpeed},
		{"drv-brinvale", "YAMAHA  ", "CRW2216S", "drv-brinvale: Yamaha CRW2216S detected\n", D, y16, {M(1), M(2)},
			{M(2)}, kMmcSpeed},
		{"drv-brinvale", "YAMAHA  ", "CRW4416S", "drv-brinvale: Yamaha CRW4416S detected\n", D, y16,
			{M(1), M(2), M(4)}, {M(2), M(4)}, kMmcSpeed},
		{"drv-brinvale", "YAMAHA  ", "CRW6416S", "drv-brinvale: Yamaha CRW6416S detected\n", D, y16,
			{M(1), M(4), M(6)}, {M(2), M(4)}, kMmcSpeed},
		{"drv-brinvale", "YAMAHA  ", "CRW8424S", "drv-brinvale: Yamaha CRW8424S detected\n", D, y24,
			{M(1), M(4), M(8)}, {M(2), M(4)}, kMmcSpeed},
		{"drv-brinvale", "YAMAHA  ", "CDR401t", "drv-brinvale: Yamaha CDR401t detected\n", B, y6, {M(1), M(2), M(4)},
			{}, kMmcSpeed},
		{"drv-brinvale", "YAMAHA  ", "CRW4001", "drv-brinvale: Yamaha CRW4001 detected\n", C_, y6,
			{M(1), M(2), M(4)}, {M(2)}, kMmcSpeed},
		{"drv-brinvale", "YAMAHA  ", "CRW4261", "drv-brinvale: Yamaha CRW4261 detected\n", C_, y6,
			{M(1), M(2), M(4)}, {M(2)}, kMmcSpeed},
		{"drv-brinvale", "YAMAHA  ", "CRW2216E", "drv-brinvale: Yamaha CRW2216E detected\n", D, y16, {M(1), M(2)},
			{M(2)}, kMmcSpeed},
		{"drv-brinvale", "YAMAHA  ", "CRW4416E", "drv-brinvale: Yamaha CRW4416E detected\n", D, y16,
			{M(1), M(2), M(4)}, {M(2), M(4)}, kMmcSpeed},
		{"drv-brinvale", "YAMAHA  ", "CRW8424E", "drv-brinvale: Yamaha CRW8424E detected\n", D, y24,
			{M(1), M(4), M(8)}, {M(2), M(4)}, kMmcSpeed},
		{"drv-brinvale", "YAMAHA  ", "CRW8424EX", "drv-brinvale: Yamaha <unknown> detected\n", H, yUnknownRead,
			{MU(1), MU(2), MU(4), MU(6), MU(8), MU(10), MU(12), MAXU}, {MU(1), MU(2), MU(4), MU(6), MU(8), MAXU},
			kMmcSpeed},
		{"drv-brinvale", "YAMAHA2 ", "CDR200t", "drv-brinvale: device unknown\n", 0, {}, {}, {}, kMmcSpeed},

		// Philips CDD2000 family: big-endian audio.
		{"drv-cadwick", "HP      ", "C4324/C4325", "drv-cadwick: Philips CDD2000 (or compatible) detected\n", L,
			cdd2000Read, cddWrite, {}, kPhilipsSet},
		{"drv-cadwick", "KODAK   ", "PCD225", "drv-cadwick: Philips CDD2000 (or compatible) detected\n", L,
			cdd2000Read, cddWrite, {}, kPhilipsSet},
		{"drv-cadwick", "IMS     ", "CDD2000/00", "drv-cadwick: Philips CDD2000 (or compatible) detected\n", L,
			cdd2000Read, cddWrite, {}, kPhilipsSet},
		{"drv-cadwick", "IMS     ", "CDD522/10", "drv-cadwick: Philips CDD2000 (or compatible) detected\n", L,
			cdd2000Read, cddWrite, {}, kPhilipsSet},
		{"drv-cadwick", "PHILIPS ", "CDD2000", "drv-cadwick: Philips CDD2000 (or compatible) detected\n", L,
			cdd2000Read, cddWrite, {}, kPhilipsSet},
		{"drv-cadwick", "IMS     ", "CDD2000", "drv-cadwick: Philips CDD2000 (or compatible) detected\n", L,
			cdd2000Read, cddWrite, {}, kPhilipsSet},
		{"drv-cadwick", "IMS     ", "CDD522", "drv-cadwick: Philips CDD2000 (or compatible) detected\n", L,
			cdd2000Read, cddWrite, {}, kPhilipsSet},
		{"drv-cadwick", "PLASMON ", "CDR4220", "drv-cadwick: Philips CDD2000 (or compatible) detected\n", L,
			cdd2000Read, cddWrite, {}, kPhilipsSet},
		{"drv-cadwick", "MITSUMI", " CD-R   CR-2401TS", "drv-cadwick: Philips CDD2000 (or compatible) detected\n", L,
			cdd2000Read, cddWrite, {}, kPhilipsSet},
		// The 17th byte of the Mitsumi test lies in the revision field.
		{"drv-cadwick", "MITSUMI", " CD-R   CR-2401T1", "drv-cadwick: device unknown\n", 0, {}, {}, {}, kPhilipsSet},
		{"drv-cadwick", "PHILIPS ", "CDD2600", "drv-cadwick: Philips CDD2600 (or compatible) detected\n", L,
			Join(cdd2000Read, {CU(6, 6)}), cddWrite, {}, cdd2600},
		{"drv-cadwick", "IMS     ", "CDD2600", "drv-cadwick: Philips CDD2600 (or compatible) detected\n", L,
			Join(cdd2000Read, {CU(6, 6)}), cddWrite, {}, cdd2600},
		{"drv-cadwick", "WPI     ", "CDR-632", "drv-cadwick: Philips CDD2600 (or compatible) detected\n", L,
			Join(cdd2000Read, {CU(6, 6)}), cddWrite, {}, cdd2600},
		{"drv-cadwick", "WPI     ", "CDR-432", "drv-cadwick: Philips CDD2600 (or compatible) detected\n", L,
			Join(cdd2000Read, {CU(6, 6)}), cddWrite, {}, cdd2600},
		{"drv-cadwick", "HP      ", "CD-Writer 6020", "drv-cadwick: Philips CDD2600 (or compatible) detected\n", L,
			Join(cdd2000Read, {CU(6, 6)}), cddWrite, {}, cdd2600},
		{"drv-cadwick", "PHILIPS ", "CDD3600", "drv-cadwick: device unknown\n", 0, {}, {}, {}, kPhilipsSet},

		// Yamaha CDR100 and CDR102.
		{"drv-dunmere", "YAMAHA  ", "CDR100", "drv-dunmere: Yamaha CDR100 detected\n", K, dunmereRead,
			{C(0, 1), C(16, 2), C(32, 4)}, {},
			YamahaCdr100Set("SpeedGet_YamahaCdr100", "ReadBufferCapacity_YamahaCdr100")},
		{"drv-dunmere", "YAMAHAXX", "CDE100", "drv-dunmere: Yamaha CDR100 detected\n", K, dunmereRead,
			{C(0, 1), C(16, 2), C(32, 4)}, {},
			YamahaCdr100Set("SpeedGet_YamahaCdr100", "ReadBufferCapacity_YamahaCdr100")},
		{"drv-dunmere", "YAMAHA  ", "CDR102", "drv-dunmere: Yamaha CDR102 detected\n", K, dunmereRead,
			{C(0, 1), C(16, 2)}, {}, YamahaCdr100Set("SpeedGet_YamahaCdr102", "ReadBufferCapacity_YamahaCdr102")},
		{"drv-dunmere", "YAMAHA  ", "CDE102", "drv-dunmere: Yamaha CDR102 detected\n", K, dunmereRead,
			{C(0, 1), C(16, 2)}, {}, YamahaCdr100Set("SpeedGet_YamahaCdr102", "ReadBufferCapacity_YamahaCdr102")},
		{"drv-dunmere", "YAMAHA  ", "CDR400t", "drv-dunmere: device unknown\n", 0, {}, {}, {}, {}},
		{"drv-dunmere", "YAMAH   ", "CDR100", "drv-dunmere: device unknown\n", 0, {}, {}, {}, {}},

		// Plextor readers.
		{"drv-elsgrove", "PLEXTOR ", "CD-ROM PX-4XCH", "drv-elsgrove: Plextor CD-ROM PX-4XCH detected\n", N,
			{C(0, 1), C(1, 2), C(2, 4)}, {}, {}, plextorReader},
		{"drv-elsgrove", "PLEXTOR ", "CD-ROM PX-4XCS", "drv-elsgrove: Plextor CD-ROM PX-4XCS detected\n", N,
			{C(0, 1), C(1, 2), C(2, 4)}, {}, {}, plextorReader},
		{"drv-elsgrove", "PLEXTOR ", "CD-ROM PX-4XCE", "drv-elsgrove: Plextor CD-ROM PX-4XCE detected\n", N,
			{C(0, 1), C(1, 2), C(2, 4.5f)}, {}, {}, plextorReader},
		{"drv-elsgrove", "PLEXTOR ", "CD-ROM PX-6XCS", "drv-elsgrove: Plextor CD-ROM PX-6XCS detected\n", N,
			{C(0, 1), C(2, 4), C(4, 6)}, {}, {}, plextorReader},
		{"drv-elsgrove", "PLEXTOR ", "CD-ROM PX-8XCS", "drv-elsgrove: Plextor CD-ROM PX-8XCS detected\n", N,
			{C(0, 1), C(1, 2), C(2, 4), C(3, 8)}, {}, {}, plextorReader},
		{"drv-elsgrove", "PLEXTOR ", "CD-ROM PX-12CS", "drv-elsgrove: Plextor CD-ROM PX-12CS detected\n", N, px12, {},
			{}, plextorReader},
		{"drv-elsgrove", "PLEXTOR ", "CD-ROM PX-12TS", "drv-elsgrove: Plextor CD-ROM PX-12TS detected\n", N, px12, {},
			{}, plextorReader},
		{"drv-elsgrove", "PLEXTOR ", "CD-ROM PX-20TS", "drv-elsgrove: Plextor CD-ROM PX-20TS (12/20PleX) detected\n",
			N, {C(0, 1), C(1, 2), C(2, 4), C(3, 8), C(6, 20, "12.0X - 20.0X, 2117 K/sec - 3528 K/sec")}, {}, {},
			plextorReader},
		{"drv-elsgrove", "PLEXTOR ", "CD-ROM PX-32CS", "drv-elsgrove: Plextor CD-ROM PX-32CS detected\n", N, px32, {},
			{}, plextorReader},
		{"drv-elsgrove", "PLEXTOR ", "CD-ROM PX-32TS", "drv-elsgrove: Plextor CD-ROM PX-32TS detected\n", N, px32, {},
			{}, plextorReader},
		{"drv-elsgrove", "PLEXTOR ", "CD-ROM PX-40TS", "drv-elsgrove: Plextor CD-ROM PX-40TS detected\n", N, px40, {},
			{}, plextorReader},
		{"drv-elsgrove", "PLEXTOR ", "CD-ROM PX-40TW2", "drv-elsgrove: Plextor CD-ROM PX-40TW detected\n", N, px40,
			{}, {}, plextorReader},
		{"drv-elsgrove", "PLEXTOR ", "CD-ROM PX-32CSX", "drv-elsgrove: Unknown Plextor CD-ROM detected\n", O,
			{CU(0, 1), CU(1, 2), CU(2, 4), CU(3, 8), C(255, -1.0f, "maximum", kU)}, {}, {}, plextorReader},
		{"drv-elsgrove", "PLEXTOR ", "CD-R   PX-R412C", "", 0, {}, {}, {}, plextorReader},
		{"drv-elsgrove", "TEAC    ", "CD-ROM PX-12CS", "drv-elsgrove: device unknown\n", 0, {}, {}, {}, plextorReader},

		// Plextor recorders.
		{"drv-farrowby", "PLEXTOR ", "CD-R   PX-R412C", "drv-farrowby: Plextor CD-R PX-R412C detected\n", D,
			{M(1), M(4), M(8), M(12)}, {M(1), M(2), M(4)}, {}, kMmcSpeed},
		{"drv-farrowby", "PLEXTOR ", "CD-R   PX-R820T", "drv-farrowby: Plextor CD-R PX-R820T detected\n", D,
			{M(1), M(4), M(8), M(20)}, {M(1), M(2), M(4), M(8)}, {}, kMmcSpeed},
		{"drv-farrowby", "PLEXTOR ", "CD-R   PX-W4220T", "drv-farrowby: Plextor CD-R PX-W4220T detected\n", D,
			{M(1), M(4), M(8), M(20)}, {M(1), M(2), M(4)}, {M(2)}, kMmcSpeed},
		{"drv-farrowby", "PLEXTOR ", "CD-R   PX-W8220T", "drv-farrowby: Plextor CD-R PX-W8220T detected\n", D,
			{M(1), M(4), M(8), M(20)}, {M(1), M(2), M(4), M(8)}, {M(2)}, kMmcSpeed},
		{"drv-farrowby", "PLEXTOR ", "CD-R   PX-W8432T", "drv-farrowby: Plextor CD-R PX-W8432T detected\n", D,
			{M(1), M(4), M(8), M(20), M(32)}, {M(1), M(2), M(4), M(8)}, {MU(1), M(2), M(4)}, kMmcSpeed},
		{"drv-farrowby", "PLEXTOR ", "CD-R   PX-R412", "drv-farrowby: Plextor CD-recorder <unknown> detected\n", E,
			unknownRead, unknownWrite, unknownWrite, kMmcSpeed},
		{"drv-farrowby", "PLEXTOR ", "CD-ROM PX-40TS", "", 0, {}, {}, {}, kMmcSpeed},
		{"drv-farrowby", "plextor ", "CD-R   PX-R412C", "drv-farrowby: device unknown\n", 0, {}, {}, {}, kMmcSpeed},

		// Ricoh recorders.
		{"drv-gilthorn", "RICOH   ", "CD-R/RW MP7040A", "drv-gilthorn: Ricoh CD-R/RW MP7040A detected\n", I,
			{M(1), M(2), M(4), M(6), M(8), M(20)}, {M(1), M(2), M(4)}, {MU(1), MU(2), MU(4)}, kMmcSpeed},
		{"drv-gilthorn", "RICOH   ", "CD-R/RW MP7040S", "drv-gilthorn: Ricoh CD-R/RW MP7040S detected\n", J,
			{MU(1), MU(2), MU(4), MU(6), MU(8), MU(20)}, {MU(1), MU(2), MU(4)}, {MU(1), MU(2), MU(4)}, kMmcSpeed},
		{"drv-gilthorn", "RICOH   ", "CD-R/RW MP7060A", "drv-gilthorn: Ricoh CD-R/RW MP7060A detected\n", J,
			{MU(1), MU(2), MU(4), MU(6), MU(8), MU(24)}, {MU(1), MU(2), MU(4), MU(6)}, {MU(1), MU(2), MU(4)},
			kMmcSpeed},
		{"drv-gilthorn", "RICOH   ", "CD-R/RW MP7060S", "drv-gilthorn: Ricoh CD-R/RW MP7060S detected\n", J,
			{MU(1), MU(2), MU(4), MU(6), MU(8), MU(24)}, {MU(1), MU(2), MU(4), MU(6)}, {MU(1), MU(2), MU(4)},
			kMmcSpeed},
		{"drv-gilthorn", "RICOH   ", "CD-R/RW MP7060", "drv-gilthorn: unknown Ricoh\n", 0, {}, {}, {}, kMmcSpeed},
		{"drv-gilthorn", "RICOHX  ", "CD-R/RW MP7060S", "drv-gilthorn: not a Ricoh\n", 0, {}, {}, {}, kMmcSpeed},

		// Sony CRX100 family.
		{"drv-harlock", "SONY    ", "CD-RW  CRX100E", "drv-harlock: Sony CRX100E detected\n", I,
			{M(1), M(2), M(4), M(8), M(24)}, {M(1), M(2), M(4)}, {M(1), M(2)}, kMmcSpeed},
		{"drv-harlock", "HP      ", "CD-Writer+ 8100", "drv-harlock: Sony CRX100E detected\n", I,
			{M(1), M(2), M(4), M(8), M(24)}, {M(1), M(2), M(4)}, {M(1), M(2)}, kMmcSpeed},
		{"drv-harlock", "SONY    ", "CD-RW  CRX120E", "drv-harlock: Sony CRX120E detected\n", I,
			{M(1), M(2), M(4), M(8), M(24)}, {M(1), M(2), M(4)}, {M(1), M(2), M(4)}, kMmcSpeed},
		{"drv-harlock", "HP      ", "CD-Writer+ 8200", "drv-harlock: Sony CRX120E detected\n", I,
			{M(1), M(2), M(4), M(8), M(24)}, {M(1), M(2), M(4)}, {M(1), M(2), M(4)}, kMmcSpeed},
		{"drv-harlock", "HP      ", "CD-RW  CRX120E", "drv-harlock: device unknown\n", 0, {}, {}, {}, kMmcSpeed},

		// Memorex recorders.
		{"drv-islemont", "MEMOREX ", "CD-RW 8220S", "drv-islemont: Memorex CD-RW 8220S detected\n", E,
			{MU(1), MU(2), MU(4), MU(8), MU(20)}, {MU(1), MU(2), MU(4), MU(6), MU(8)}, {MU(1), MU(2)}, kMmcSpeed},
		{"drv-islemont", "Memorex ", "CDRW-4420", "drv-islemont: Memorex CDRW-4420 detected\n", E,
			{M(1), M(2), M(4), M(6), M(8), M(20)}, {M(1), M(2), M(4)}, {MU(1), MU(2), MU(4)}, kMmcSpeed},
		{"drv-islemont", "MEMOREX ", "CD-RW 4420", "drv-islemont: Memorex <unknown> detected\n", G, unknownRead,
			unknownWrite, unknownWrite, kMmcSpeed},
		{"drv-islemont", "MemoreX ", "CD-RW 8220S", "drv-islemont: device unknown\n", 0, {}, {}, {}, kMmcSpeed},

		// Creative Labs recorders.
		{"drv-jessop", "CREATIVE", "CD-RW RW4224E", "drv-jessop: Creative Labs CD-RW RW4224E detected\n", F,
			{M(1), M(2), M(4), M(8), M(24)}, {MU(1), M(2), M(4)}, {MU(1), M(2)}, kMmcSpeed},
		{"drv-jessop", "CREATIVE", "CD-RW RW4424E", "drv-jessop: Creative Labs CD-RW RW4424E detected\n", E,
			{M(1), M(2), M(4), M(8), M(24)}, {MU(1), M(2), M(4)}, {MU(1), M(2), M(4)}, kMmcSpeed},
		{"drv-jessop", "CREATIVE", "CD-RW RW8433E", "drv-jessop: Creative Labs <unknown> detected\n", G, unknownRead,
			unknownWrite, unknownWrite, kMmcSpeed},
		{"drv-jessop", "CREATIV ", "CD-RW RW4224E", "drv-jessop: device unknown\n", 0, {}, {}, {}, kMmcSpeed},

		// Sony CDU928E: the generic tables for every drive.
		{"drv-kelvary", "SONY    ", "CD-R   CDU928E", "drv-kelvary: Sony CD-R CDU928E detected\n", E, GenericRead(),
			kGenericWrite, kGenericWrite, Join({{SLOT_WRITE, "Write_12"}}, kMmcSpeed)},
		{"drv-kelvary", "SONY    ", "CD-R   CDU920S", "drv-kelvary: device unknown\n", G, GenericRead(), kGenericWrite,
			kGenericWrite, Join({{SLOT_WRITE, "Write_12"}}, kMmcSpeed)},

		// Iomega ZipCD.
		{"drv-lindrum", "IOMEGA  ", "ZIPCD 4x650", "drv-lindrum: Iomega ZipCD 4x650 detected\n", E,
			{M(2), M(4), M(8), M(12), M(24)}, {M(2), M(4)}, {M(2), M(4)}, kMmcSpeed},
		{"drv-lindrum", "IOMEGA  ", "ZIPCD 4X650", "drv-lindrum: device unknown\n", 0, {}, {}, {}, kMmcSpeed},

		// AOpen CRW9420: an empty vendor field.
		{"drv-morrant", Z("\0", 1), "CRW9420", "drv-morrant: AOpen CRW9420 detected\n", E,
			{M(1), M(2), M(4), M(6), M(8), M(20)}, {M(1), M(2), M(4)}, {M(1), M(2), M(4)}, kMmcSpeed},
		{"drv-morrant", "AOPEN   ", "CRW9420", "drv-morrant: device unknown\n", 0, {}, {}, {}, kMmcSpeed},
		{"drv-morrant", "", "CRW9420", "drv-morrant: device unknown\n", 0, {}, {}, {}, kMmcSpeed},

		// Medion and Tevion 4x4x32: no variants, no tables.
		{"drv-norbeck", "ATAPI   ", "CD-R/RW 4X4X32", "drv-norbeck: Medion / Tevion CD-R/RW 4X4X32 detected\n", M_,
			{}, {}, {}, {}},
		{"drv-norbeck", "ATAPI   ", "CD-R/RW 4X4X24", "drv-norbeck: device unknown\n", 0, {}, {}, {}, {}},

		// The generic drivers recognise nothing and print nothing.
		{"drv-pellworth", "TEAC    ", "CD-R58S", "", P, GenericRead(), kGenericWrite, kGenericWrite, kMmcSpeed},
		{"drv-pellworth", "", "", "", P, GenericRead(), kGenericWrite, kGenericWrite, kMmcSpeed},
		{"drv-quenmoor", "PLEXTOR ", "CD-ROM PX-40TS", "", Q, {}, {}, {}, {{SLOT_READ_AUDIO, "ReadAudio_BeOS"}}},
	};
}

std::string Describe(const SPEED_INFO& entry)
{
	return std::to_string(entry.nValue) + ":" + std::to_string(entry.fFactor) + " "
		+ (entry.pszName != nullptr ? entry.pszName : "-") + " / " + (entry.pszComment != nullptr ? entry.pszComment : "-");
}

std::string Describe(const Speed& entry)
{
	return std::to_string(entry.value) + ":" + std::to_string(entry.factor) + " " + (entry.name != nullptr ? entry.name : "-")
		+ " / " + (entry.comment != nullptr ? entry.comment : "-");
}

std::vector<std::string> Entries(const SPEED_INFO* table)
{
	std::vector<std::string> entries;
	for (int32 i = 0; i < CountSpeedEntries(table); i++)
		entries.push_back(Describe(table[i]));
	return entries;
}

std::vector<std::string> Entries(const Table& table)
{
	std::vector<std::string> entries;
	for (const Speed& entry : table)
		entries.push_back(Describe(entry));
	return entries;
}

std::string RowName(const Row& row)
{
	return std::string(row.addOn) + " '" + row.vendor + "' '" + row.product + "'";
}

}   // namespace

TEST(ModelTables, EveryModelGetsItsLineFlagsTablesAndCommands)
{
	ASSERT_GT(GenericImage(), 0);
	for (const Row& row : Rows()) {
		SCOPED_TRACE(RowName(row));
		const CAddOn& addOn = AddOn(row.addOn);
		ASSERT_NE(addOn.LoadDriver, nullptr);
		SCSI_INQUIRY inquiry = Inquiry(row.vendor, row.product);

		testing::internal::CaptureStdout();
		CDriver* driver = addOn.LoadDriver(&inquiry);
		std::string printed = testing::internal::GetCapturedStdout();
		ASSERT_NE(driver, nullptr);

		EXPECT_EQ(printed, row.line);
		EXPECT_EQ(driver->Flags, row.flags) << std::hex << driver->Flags;
		EXPECT_STREQ(driver->pszName, row.addOn);
		EXPECT_EQ(driver->pszVersion, addOn.version);
		EXPECT_EQ(driver->pszDescription, addOn.description);
		EXPECT_EQ(Entries(driver->pReadSpeed), Entries(row.read)) << "read";
		EXPECT_EQ(Entries(driver->pWriteSpeedCdr), Entries(row.cdr)) << "CD-R";
		EXPECT_EQ(Entries(driver->pWriteSpeedCdrw), Entries(row.cdrw)) << "CD-RW";

		std::map<DRIVER_SLOT, const char*> expected = kDefaults;
		for (const auto& [slot, function] : row.bindings)
			expected[slot] = function;
		for (int32 i = 0; i < SLOT_COUNT; i++) {
			auto slot = static_cast<DRIVER_SLOT>(i);
			void* address = GenericFunction(expected[slot]);
			ASSERT_NE(address, nullptr) << expected[slot];
			EXPECT_EQ(driver->FunctionAddress(slot), address)
				<< DriverSlotName(slot) << " should be " << expected[slot];
		}
		// Records are deleted through their virtual destructor, whose code
		// lies in the add-on.
		delete driver;
	}
}

TEST(ModelTables, AddOnsExportTheirNamesVersionsAndDescriptions)
{
	const std::map<std::string, std::string> descriptions = {
		{"drv-ostrel",
			"Teac CD-R50S\nTeac CD-R55S\nTeac CD-R56S-400\nTeac CD-R56S-450\nTeac CD-R56S-600\nTeac CD-R58S\nTraxdata CDR "
			"4120\nSmart & Friendly CD-R 4012\nWaitec WT624\nWaitec WT824"},
		{"drv-brinvale",
			"Yamaha CDR200t\nYamaha CDR400c\nYamaha CDR400t\nYamaha CDR401t\nYamaha CRW2216E\nYamaha CRW2216S\nYamaha "
			"CRW2260\nYamaha CRW4001\nYamaha CRW4260\nYamaha CRW4261\nYamaha CRW4416E\nYamaha CRW4416S\nYamaha "
			"CRW6416S\nYamaha CRW8424E\nYamaha CRW8424S\n"},
		{"drv-cadwick",
			"Philips CDD2000\nPhilips CDD2600\nPhilips CDD522\nHewlett-Packard 4020i\nHewlett-Packard 6020i\nKodak "
			"PCD225\nPlasmon 4220\nMitsumi CD-R CR-2401TS"},
		{"drv-dunmere", "Yamaha CDR100, CDR102"},
		{"drv-elsgrove",
			"Plextor PX-43C\nPlextor PX-43C\nPlextor PX-45C\nPlextor PX-63CS\nPlextor PX-65CS\nPlextor PX-83CS\nPlextor "
			"PX-85CS\nPlextor PX-12CS\nPlextor PX-12TS\nPlextor PX-20TS (12/20PleX)\nPlextor PX-32CS\nPlextor "
			"PX-32TS\nPlextor PX-40TS\nPlextor PX-40TW\n"},
		{"drv-farrowby",
			"Plextor PX-R412C\nPlextor PX-R820T\nPlextor PX-W4220T\nPlextor PX-W8220T\nPlextor PX-W8432T\n"},
		{"drv-gilthorn", "Ricoh MP7040A, MP7040S, MP7060A, MP7060S"},
		{"drv-harlock", "Sony CRX100E, CRX120E, Hewlett Packard 8100i, 8200i"},
		{"drv-islemont", "Memorex CD-RW 8220S, CDRW-4420"},
		{"drv-jessop", "Creative Labs CD-RW RW4224E, CD-RW RW4424E"},
		{"drv-kelvary", "Sony CDU928E"},
		{"drv-lindrum", "Iomega ZipCD 4x650"},
		{"drv-morrant", "AOpen CRW9420"},
		{"drv-norbeck", "Medion CD-R/RW 4X4X32\nTevion CD-R/RW 4X4X32"},
		{"drv-pellworth", "SCSI-3 MultiMedia Command Set compatible CD recorder"},
		{"drv-quenmoor", "BeOS compatible CD-ROM / DVD drives"},
	};
	// "0.80 (Jan  3 2001, 01:28:13)": the compiler's date and time.
	const std::regex version(R"(0\.80 \([A-Z][a-z]{2} [ 123][0-9] [0-9]{4}, [0-9]{2}:[0-9]{2}:[0-9]{2}\))");
	for (const auto& [name, description] : descriptions) {
		SCOPED_TRACE(name);
		const CAddOn& addOn = AddOn(name);
		ASSERT_NE(addOn.name, nullptr);
		ASSERT_NE(addOn.version, nullptr);
		ASSERT_NE(addOn.description, nullptr);
		EXPECT_EQ(std::string(addOn.name), name);
		EXPECT_TRUE(std::regex_match(addOn.version, version)) << addOn.version;
		EXPECT_EQ(std::string(addOn.description), description);
		ASSERT_NE(addOn.ExitDriver, nullptr);
		EXPECT_TRUE(addOn.ExitDriver());
		// A null inquiry is no drive the add-on knows; it still gets a record.
		testing::internal::CaptureStdout();
		CDriver* driver = addOn.LoadDriver(nullptr);
		testing::internal::GetCapturedStdout();
		ASSERT_NE(driver, nullptr);
		EXPECT_EQ(driver->Flags & F_SUPPORTED, 0u);
		delete driver;
	}
}
