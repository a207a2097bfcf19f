// The driver record: construction and binding by name, the stand-ins of
// missing command functions, the add-on entry points and speed menu labels.
//
// This file is compiled into every driver add-on (with hidden symbols, so
// each add-on keeps its own imageId and record code) and into the program.
#include "driver/driverbaseclass.h"

#include "kit/kernel/OS.h"
#include "kit/support/Errors.h"

#include <cstdio>
#include <cstring>
#include <tuple>
#include <type_traits>
#include <utility>

// Defined by each add-on; the program has none, and its copy of this code
// names no add-on in its reports.
#pragma weak pszDriverName

const SPEED_INFO speed_dummy[] = {
	{0, 0.0f, nullptr, nullptr},
};

image_id imageId = -1;

namespace {

// What a slot holds when the command library lacks its function: fails at
// once, with os_status B_MISSING_SYMBOL, instead of a call through an unset
// pointer. The last argument of every command is its status record.
template <typename Function>
struct MissingFunction;

template <typename... Args>
struct MissingFunction<bool (*)(CDevice*, Args...)> {
	static_assert(sizeof...(Args) >= 1);
	static bool Call(CDevice*, Args... args)
	{
		auto* status = std::get<sizeof...(Args) - 1>(std::forward_as_tuple(args...));
		static_assert(std::is_same_v<decltype(status), SCSI_STATUS*>, "a command ends with its status record");
		if (status != nullptr) {
			memset(status, 0, sizeof(*status));
			status->os_status = B_MISSING_SYMBOL;
		}
		return false;
	}
};

template <auto Member>
struct SlotAccess {
	using Function = std::remove_reference_t<decltype(std::declval<CDriver&>().*Member)>;

	static void Assign(CDriver& driver, void* address)
	{
		driver.*Member = address != nullptr ? reinterpret_cast<Function>(address) : &MissingFunction<Function>::Call;
	}
	static void* Address(const CDriver& driver) { return reinterpret_cast<void*>(driver.*Member); }
};

struct SLOT_DESCRIPTION {
	const char* name;
	void (*assign)(CDriver& driver, void* address);
	void* (*address)(const CDriver& driver);
};

template <auto Member>
constexpr SLOT_DESCRIPTION Describe(const char* name)
{
	return {name, &SlotAccess<Member>::Assign, &SlotAccess<Member>::Address};
}

// Indexed by DRIVER_SLOT.
const SLOT_DESCRIPTION kSlots[SLOT_COUNT] = {
	Describe<&CDriver::PlayAudioPosition>("PlayAudioPosition"),
	Describe<&CDriver::PlayAudioTrack>("PlayAudioTrack"),
	Describe<&CDriver::StopAudio>("StopAudio"),
	Describe<&CDriver::PauseAudio>("PauseAudio"),
	Describe<&CDriver::ResumeAudio>("ResumeAudio"),
	Describe<&CDriver::ReadToc>("ReadToc"),
	Describe<&CDriver::ReadAudio>("ReadAudio"),
	Describe<&CDriver::MediumEject>("MediumEject"),
	Describe<&CDriver::MediumLoad>("MediumLoad"),
	Describe<&CDriver::MediumAllowRemoval>("MediumAllowRemoval"),
	Describe<&CDriver::MediumPreventRemoval>("MediumPreventRemoval"),
	Describe<&CDriver::ModeSense>("ModeSense"),
	Describe<&CDriver::ModeSelect>("ModeSelect"),
	Describe<&CDriver::TestUnitReady>("TestUnitReady"),
	Describe<&CDriver::CddaReadEnable>("CddaReadEnable"),
	Describe<&CDriver::CddaReadDisable>("CddaReadDisable"),
	Describe<&CDriver::SpeedSet>("SpeedSet"),
	Describe<&CDriver::SpeedGet>("SpeedGet"),
	Describe<&CDriver::StartUnit>("StartUnit"),
	Describe<&CDriver::StopUnit>("StopUnit"),
	Describe<&CDriver::ReadBufferCapacity>("ReadBufferCapacity"),
	Describe<&CDriver::ReadDiscInformation>("ReadDiscInformation"),
	Describe<&CDriver::ReadTrackInformation>("ReadTrackInformation"),
	Describe<&CDriver::ReadAtipData>("ReadAtipData"),
	Describe<&CDriver::ReadCdText>("ReadCdText"),
	Describe<&CDriver::ReadSubChannelCurrentPosition>("ReadSubChannelCurrentPosition"),
	Describe<&CDriver::ReadSubChannelMCN>("ReadSubChannelMCN"),
	Describe<&CDriver::ReadSubChannelISRC>("ReadSubChannelISRC"),
	Describe<&CDriver::Write>("Write"),
	Describe<&CDriver::OpenSession>("OpenSession"),
	Describe<&CDriver::CloseSession>("CloseSession"),
	Describe<&CDriver::GetNextTrackNumber>("GetNextTrackNumber"),
	Describe<&CDriver::OpenTrack>("OpenTrack"),
	Describe<&CDriver::CloseTrack>("CloseTrack"),
	Describe<&CDriver::FixateDisc>("FixateDisc"),
	Describe<&CDriver::OptimumPowerCalibration>("OptimumPowerCalibration"),
};

// The defaults, in the order they are looked up.
const struct {
	DRIVER_SLOT slot;
	const char* function;
} kDefaultBindings[] = {
	{SLOT_CDDA_READ_ENABLE, "CddaReadEnable_Dummy"},
	{SLOT_CDDA_READ_DISABLE, "CddaReadDisable_Dummy"},
	{SLOT_SPEED_SET, "SpeedSet_Dummy"},
	{SLOT_SPEED_GET, "SpeedGet_Dummy"},
	{SLOT_PLAY_AUDIO_POSITION, "PlayAudioPosition"},
	{SLOT_PLAY_AUDIO_TRACK, "PlayAudioTrack"},
	{SLOT_STOP_AUDIO, "StopAudio"},
	{SLOT_PAUSE_AUDIO, "PauseAudio"},
	{SLOT_RESUME_AUDIO, "ResumeAudio"},
	{SLOT_READ_TOC, "ReadToc"},
	{SLOT_READ_AUDIO, "ReadAudio_mmc"},
	{SLOT_START_UNIT, "StartUnit"},
	{SLOT_STOP_UNIT, "StopUnit"},
	{SLOT_MEDIUM_EJECT, "MediumEject"},
	{SLOT_MEDIUM_LOAD, "MediumLoad"},
	{SLOT_MEDIUM_ALLOW_REMOVAL, "MediumAllowRemoval"},
	{SLOT_MEDIUM_PREVENT_REMOVAL, "MediumPreventRemoval"},
	{SLOT_MODE_SENSE, "ModeSense"},
	{SLOT_MODE_SELECT, "ModeSelect"},
	{SLOT_TEST_UNIT_READY, "TestUnitReady"},
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
static_assert(sizeof(kDefaultBindings) / sizeof(kDefaultBindings[0]) == SLOT_COUNT);

const char* AddOnName()
{
	const char* const* name = &pszDriverName;
	return name != nullptr && *name != nullptr ? *name : "";
}

}   // namespace

const char* DriverSlotName(DRIVER_SLOT slot)
{
	return slot >= 0 && slot < SLOT_COUNT ? kSlots[slot].name : nullptr;
}

int32 CountSpeedEntries(const SPEED_INFO* table)
{
	int32 count = 0;
	if (table != nullptr) {
		while (table[count].fFactor != 0.0f)
			count++;
	}
	return count;
}

void get_function_pointer(image_id image, const char* functionName, void** slot)
{
	void* address = nullptr;
	if (functionName != nullptr && slot != nullptr
		&& get_image_symbol(image, functionName, B_SYMBOL_TYPE_TEXT, &address) == B_OK) {
		*slot = address;
		return;
	}
	char text[256];
	snprintf(text, sizeof(text), "Couldn't find function \"%s\" at \"%s\" in image 0x%08X",
		functionName != nullptr ? functionName : "", AddOnName(), static_cast<unsigned>(image));
	debugger(text);
}

CDriver::CDriver(image_id image)
	: Flags(0),
	  pszName(""),
	  pszVersion(""),
	  pszDescription(""),
	  pszInformation(""),
	  pReadSpeed(speed_dummy),
	  pWriteSpeedCdr(speed_dummy),
	  pWriteSpeedCdrw(speed_dummy),
	  nSpindownTimeout(-1),
	  nReadSpinupSectors(75),
	  nReadSyncMode(0),
	  nReadSyncSectors(3),
	  nReadErrorAction(0),
	  nReadErrorRetries(10),
	  imageId(image)
{
	for (const auto& binding : kDefaultBindings)
		BindFunction(binding.slot, binding.function);
}

CDriver::~CDriver() = default;

void CDriver::BindFunction(DRIVER_SLOT slot, const char* functionName)
{
	if (slot < 0 || slot >= SLOT_COUNT)
		return;
	void* address = nullptr;
	get_function_pointer(imageId, functionName, &address);
	kSlots[slot].assign(*this, address);
}

void* CDriver::FunctionAddress(DRIVER_SLOT slot) const
{
	return slot >= 0 && slot < SLOT_COUNT ? kSlots[slot].address(*this) : nullptr;
}

SPEED_MENU_ITEM CreateSpeedMenuItem(const SPEED_INFO* speed, uint32 command)
{
	if (speed == nullptr)
		return {"current", command, -1, -1.0f};

	std::string label;
	if (speed->pszName != nullptr) {
		label = speed->pszName;
		if (speed->pszComment != nullptr)
			label = label + " (" + speed->pszComment + ")";
	} else {
		// The K/sec figure rounds to the nearest integer; a factor no table
		// holds cannot overflow it.
		double rounded = speed->fFactor * 176.4 + 0.5;
		int kiloBytes = rounded > -2e9 && rounded < 2e9 ? static_cast<int>(rounded) : 0;
		char text[64];
		snprintf(text, sizeof(text), "%.01fX, %d K/sec", speed->fFactor, kiloBytes);
		label = text;
		if (speed->pszComment != nullptr)
			label = label + " (" + speed->pszComment + ")";
	}
	return {label, command, speed->nValue, speed->fFactor};
}

bool InitDriver(image_id commandLibrary)
{
	imageId = commandLibrary;
	return true;
}

bool ExitDriver()
{
	return true;
}
