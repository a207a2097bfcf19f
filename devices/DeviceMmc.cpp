// The device's settings and its MMC adaptation: Init, ApplyPreference, the
// capabilities page, and the flags and speed tables of generic records.
#include "devices/Device.h"

#include "devices/DevicePages.h"
#include "devices/ScsiMisc.h"
#include "driver/driverbaseclass.h"
#include "frame/Diagnostics.h"
#include "frame/Preference.h"
#include "kit/device/ScsiParameters.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int32 kCapabilitiesAllocation = 106;
constexpr int32 kErrorRecoveryAllocation = 152;
constexpr int32 kCdParametersAllocation = 152;
constexpr int32 kAudioControlAllocation = 160;
// Speeds above this many kB/s (100X) are taken as this.
constexpr int32 kMaximumSpeed = 17641;
// Entries of a built speed table, terminator included.
constexpr int kSpeedTableSize = 100;

const char* YesNo(bool value)
{
	return value ? "yes" : "no";
}

const char* TrueFalse(bool value)
{
	return value ? "true" : "false";
}

// Reads page 2Ah through the driver; false when the command fails or the
// answer is not that page.
bool ReadCapabilities(CDevice* device, MMC_CAPABILITIES* capabilities)
{
	*capabilities = MMC_CAPABILITIES();
	CDriver* driver = device->GetDriver();
	if (driver == nullptr)
		return false;
	uint8 buffer[kCapabilitiesAllocation] = {};
	if (!driver->ModeSense(device, buffer, sizeof(buffer), kModePageCapabilities, 0, nullptr))
		return false;
	return ParseCapabilitiesPage(buffer, sizeof(buffer), capabilities);
}

double SpeedFactor(int32 kbs)
{
	return kbs / 176.4 + 0.04;
}

// One probe over every whole speed up to `maximum` kB/s in one direction,
// appending what the drive really takes to `tables` (each may be null) from
// index 1 on. Entry 0 is the "maximum" row where the table is used.
void ProbeSpeeds(CDevice* device, int32 maximum, bool write, SPEED_INFO* first, SPEED_INFO* second)
{
	CDriver* driver = device->GetDriver();
	const int count = int(maximum / 176.4 + 0.04);
	int index = 1;
	int lastKept = -1;   // the "maximum" row's factor
	for (int x = 1; x <= count && index < kSpeedTableSize - 1; x++) {
		const int32 value = int32(176.4 * x + 1);
		bool set = write ? driver->SpeedSet(device, -1, value, nullptr) : driver->SpeedSet(device, value, -1, nullptr);
		if (!set)
			continue;
		float factor = 0.0f;
		bool got = write ? driver->SpeedGet(device, nullptr, &factor, nullptr)
						 : driver->SpeedGet(device, &factor, nullptr, nullptr);
		// A drive that does not tell its speed gives no row.
		if (!got || factor <= 0.0f)
			continue;
		const int whole = int(factor);
		const int32 taken = int32(176.4 * factor + 1);
		if (whole > x) {
			DebugPrint("ignoring:\t %d (%.1f X) => %d (%.1f X)\n", int(value), value / 176.4, int(taken), factor);
			continue;
		}
		if (whole == lastKept)
			continue;
		DebugPrint("using:   \t %d (%.1f X) => %d (%.1f X)\n", int(value), value / 176.4, int(taken), factor);
		for (SPEED_INFO* table : {first, second}) {
			if (table != nullptr)
				table[index] = SPEED_INFO {taken, factor, nullptr, nullptr};
		}
		lastKept = whole;
		index++;
	}
}

constexpr SPEED_INFO kMaximumRow = {65535, -1.0f, "maximum", nullptr};

}   // namespace

void CDevice::Init(CDriver* driver, CPreference* settings)
{
	CDebugFunctionTracer::Trace("CDevice::Init(), DriverName: %s\n",
		driver != nullptr && driver->pszName != nullptr ? driver->pszName : "");
	DisableUpdates();

	if (settings != fPreference.get())
		fPreference.reset(settings);
	SetDriver(driver);

	if (driver != nullptr && (driver->Flags & F_GENERIC_DRIVER) != 0 && (driver->Flags & F_GENERIC_READONLY) == 0) {
		AdjustMmcFlags();
		AdjustMmcDriverSpeedTable();
	}

	fSupportsFua = false;
	uint8 buffer[kErrorRecoveryAllocation] = {};
	if (driver == nullptr || !driver->ModeSense(this, buffer, sizeof(buffer), kModePageErrorRecovery, 0, nullptr))
		CDebugFunctionTracer::Trace("could not get Read-Write Error Recovery Page\n");
	else
		fSupportsFua = HeaderSupportsFua(buffer, sizeof(buffer));

	CDebugFunctionTracer::Trace("IsAtapi = %s\n", TrueFalse(IsAtapi()));
	CDebugFunctionTracer::Trace("SupportsFUA = %s\n", TrueFalse(fSupportsFua));
	ApplyPreference();
	EnableUpdates();
}

CPreference* CDevice::GetPreference() const
{
	return fPreference.get();
}

CCdInfo* CDevice::GetCdInfo() const
{
	return fCdInfo.get();
}

bool CDevice::SupportsFua() const
{
	return fSupportsFua;
}

void CDevice::ApplyPreference()
{
	CDebugFunctionTracer tracer("CDevice::ApplyPreference");
	CDriver* driver = GetDriver();
	if (driver == nullptr)
		return;
	DisableUpdates();
	const uint16 pageFormat = IsAtapi() || GetResponseDataFormat() >= 2 ? 1 : 0;

	int32 spindown = -1;
	if (fPreference != nullptr)
		fPreference->FindInt32("spindown timeout", &spindown);
	if (spindown != -1) {
		uint8 buffer[kCdParametersAllocation] = {};
		int32 length = 0;
		if (!driver->ModeSense(this, buffer, sizeof(buffer), kModePageCdParameters, 0, nullptr)
			|| !PrepareCdParametersSelect(buffer, sizeof(buffer), spindown, &length)) {
			CDebugFunctionTracer::Trace("Could not get CD parameters page\n");
		} else if (!driver->ModeSelect(this, buffer, length, pageFormat, 0, nullptr)) {
			CDebugFunctionTracer::Trace("Could not change CD parameters page\n");
		}
	}

	uint8 buffer[kAudioControlAllocation] = {};
	int32 length = 0;
	if (!driver->ModeSense(this, buffer, sizeof(buffer), kModePageCdAudioControl, 0, nullptr)
		|| !PrepareAudioControlSelect(buffer, sizeof(buffer), &length)) {
		CDebugFunctionTracer::Trace("Could not get CD Audio Control parameters page\n");
	} else if (!driver->ModeSelect(this, buffer, length, pageFormat, 0, nullptr)) {
		CDebugFunctionTracer::Trace("Could not change CD Audio Control parameters page\n");
	}
	EnableUpdates();
}

bool CDevice::GetMmcCapabilities(bool* audioReading, bool* cdrWriting, bool* cdrwWriting, bool* testWriting,
	bool* isrcReading, bool* mcnReading, bool* audioAccurate)
{
	MMC_CAPABILITIES capabilities;
	bool ok = ReadCapabilities(this, &capabilities);
	CDebugFunctionTracer::Trace("CDevice::GetMmcCapabilities result: Ok=%s", ok ? "yes" : "no\n");
	if (!ok)
		return false;
	CDebugFunctionTracer::Trace(
		", AudioReading=%s, CdrWriting=%s, CdrwWriting=%s, TestWriting=%s, IsrcReading=%s, McnReading=%s, AudioAccurate=%s\n",
		YesNo(capabilities.audioReading), YesNo(capabilities.cdrWriting), YesNo(capabilities.cdrwWriting),
		YesNo(capabilities.testWriting), YesNo(capabilities.isrcReading), YesNo(capabilities.mcnReading),
		YesNo(capabilities.audioAccurate));
	for (auto [out, value] : {std::pair {audioReading, capabilities.audioReading},
			 std::pair {cdrWriting, capabilities.cdrWriting}, std::pair {cdrwWriting, capabilities.cdrwWriting},
			 std::pair {testWriting, capabilities.testWriting}, std::pair {isrcReading, capabilities.isrcReading},
			 std::pair {mcnReading, capabilities.mcnReading}, std::pair {audioAccurate, capabilities.audioAccurate}}) {
		if (out != nullptr)
			*out = value;
	}
	return true;
}

bool CDevice::AdjustMmcFlags()
{
	CDriver* driver = GetDriver();
	if (driver == nullptr)
		return false;
	if (!(((GetDriver()->Flags) & F_SUPPORTED) == 0))
		DebugAssert(__FILE__, __LINE__, "((GetDriver()->Flags) & F_SUPPORTED) == 0");
	if (!(((GetDriver()->Flags) & F_GENERIC_DRIVER) != 0))
		DebugAssert(__FILE__, __LINE__, "((GetDriver()->Flags) & F_GENERIC_DRIVER) != 0");

	bool audio = false, cdr = false, cdrw = false, test = false, isrc = false, mcn = false, accurate = false;
	if (!GetMmcCapabilities(&audio, &cdr, &cdrw, &test, &isrc, &mcn, &accurate))
		return false;
	const bool readOnly = (driver->Flags & F_GENERIC_READONLY) != 0;
	if (audio)
		driver->Flags |= F_AUDIO_READ;
	if (!readOnly) {
		if (cdr)
			driver->Flags |= F_TAO_WRITE | F_DAO_WRITE | F_ATIP_READ;
		if (test)
			driver->Flags |= F_TAO_TESTWRITE | F_DAO_TESTWRITE;
		if (cdr && test)
			driver->Flags |= F_BUFFER_INQUIRY;
		if (cdr && ScsiCanWriteCdText(GetRawDescriptor()))
			driver->Flags |= F_CDTEXT_WRITE;
	}
	if (isrc)
		driver->Flags |= F_ISRC_READ;
	if (mcn)
		driver->Flags |= F_MCN_READ;
	return true;
}

bool CDevice::AdjustMmcDriverSpeedTable()
{
	CDriver* driver = GetDriver();
	if (driver == nullptr)
		return false;
	DebugPrint("Detecting speed table for  %s\n", GetDeviceName());
	MMC_CAPABILITIES capabilities;
	if (!ReadCapabilities(this, &capabilities))
		return false;

	const bool audioRead = capabilities.audioReadByte2;
	const bool cdrWrite = capabilities.cdrWriting;
	const bool cdrwWrite = capabilities.cdrwWriting;
	int32 maximumRead = capabilities.maximumReadSpeed;
	const int32 currentRead = capabilities.currentReadSpeed;
	int32 maximumWrite = capabilities.maximumWriteSpeed;
	const int32 currentWrite = capabilities.currentWriteSpeed;
	DebugPrint(
		"MaximumReadSpeed = %d (%.1f X)\nCurrentReadSpeed = %d (%.1f X)\nMaximumWriteSpeed = %d (%.1f X)\nCurrentWriteSpeed = %d (%.1f X)\nAudioRead = %d, CdrWrite = %d, CdrwWrite = %d\n",
		int(maximumRead), SpeedFactor(maximumRead), int(currentRead), SpeedFactor(currentRead), int(maximumWrite),
		SpeedFactor(maximumWrite), int(currentWrite), SpeedFactor(currentWrite), int(audioRead), int(cdrWrite),
		int(cdrwWrite));
	maximumRead = std::min(maximumRead, kMaximumSpeed);
	maximumWrite = std::min(maximumWrite, kMaximumSpeed);

	// Zeroed: every table ends at its first unused entry.
	auto read = std::make_unique<SPEED_INFO[]>(kSpeedTableSize);
	auto cdr = std::make_unique<SPEED_INFO[]>(kSpeedTableSize);
	auto cdrw = std::make_unique<SPEED_INFO[]>(kSpeedTableSize);

	if (audioRead && maximumRead != 0 && currentRead != 0) {
		read[0] = kMaximumRow;
		DebugPrint("read speed table:\n");
		ProbeSpeeds(this, maximumRead, false, read.get(), nullptr);
	}
	if ((cdrWrite || cdrwWrite) && maximumWrite != 0 && currentWrite != 0) {
		if (cdrWrite)
			cdr[0] = kMaximumRow;
		if (cdrwWrite)
			cdrw[0] = kMaximumRow;
		DebugPrint("write speed table:\n");
		ProbeSpeeds(this, maximumWrite, true, cdrWrite ? cdr.get() : nullptr, cdrwWrite ? cdrw.get() : nullptr);
	}

	driver->pReadSpeed = read.get();
	driver->pWriteSpeedCdr = cdr.get();
	driver->pWriteSpeedCdrw = cdrw.get();
	fReadSpeedTable = std::move(read);
	fWriteSpeedCdrTable = std::move(cdr);
	fWriteSpeedCdrwTable = std::move(cdrw);

	driver->SpeedSet(this, currentRead, -1, nullptr);
	driver->SpeedSet(this, -1, currentWrite, nullptr);
	return true;
}
