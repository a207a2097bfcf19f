// Speed setting and query.
//
// SpeedSet takes the nValue codes of the driver's speed tables (kB/s for
// MMC drives, the drive's own codes for the vendor dialects); -1 leaves that
// speed as it is. SpeedGet gives the current speeds as factors of single
// speed, -1.0 where the drive does not tell; a null output is skipped.
//
// The vendor dialects keep their speed in a vendor mode page, changed with
// MODE SENSE(6)/MODE SELECT(6) by reading the page, changing the speed
// field and writing it back, so the page's other fields (the test-write
// bits) stay as they are.
#include "addons/generic/Generic.h"

#include "addons/generic/DriveResponses.h"
#include "addons/generic/GenericCommon.h"

#include <algorithm>

namespace {

// MODE SENSE(10) of the current capabilities page, without block
// descriptors.
CCommandBlock CapabilitiesSense(uint16 allocation)
{
	return cdb::ModeSense10(true, cdb::kPageControlCurrent, kModePageCapabilities, allocation);
}

void SetFactor(float* out, float factor)
{
	if (out != nullptr)
		*out = factor;
}

bool ReadVendorPage(CDevice* device, uint8 pageCode, size_t minimumSize, uint8* page, SCSI_STATUS* status)
{
	size_t size = 0;
	if (!ReadModePage6(device, pageCode, page, kMaxPageSize, &size, status))
		return false;
	if (size < minimumSize) {
		if (status != nullptr)
			status->os_status = B_BAD_DATA;
		return false;
	}
	return true;
}

struct SCodeFactor {
	int32 code;
	float factor;
};

// The factor of a drive code in a model's table, -1.0 when it has none.
template <size_t N>
float FactorOfCode(const SCodeFactor (&table)[N], int32 code)
{
	for (const SCodeFactor& entry : table)
		if (entry.code == code)
			return entry.factor;
	return -1.0f;
}

// --- Teac CD-R50/55/56/58 -----------------------------------------------------
// Page 31h (2 parameter bytes): byte 2 the speed code the drive reads and
// writes at. The read and write code tables of each model are those of its
// speed menus.

template <size_t R, size_t W>
bool SpeedGetTeac(CDevice* device, const SCodeFactor (&readTable)[R], const SCodeFactor (&writeTable)[W],
	float* readFactor, float* writeFactor, SCSI_STATUS* status)
{
	uint8 page[kMaxPageSize] = {};
	if (!ReadVendorPage(device, kModePageTeacSpeed, 3, page, status))
		return false;
	SetFactor(readFactor, FactorOfCode(readTable, page[2]));
	SetFactor(writeFactor, FactorOfCode(writeTable, page[2]));
	return true;
}

constexpr SCodeFactor kTeac50Codes[] = {{0, 1}, {1, 2}, {2, 4}};
constexpr SCodeFactor kTeac55ReadCodes[] = {{0, 1}, {1, 2}, {2, 4}, {4, 8}, {6, 12}};
constexpr SCodeFactor kTeac56ReadCodes[] = {{0, 1}, {1, 2}, {2, 4}, {4, 8}, {255, 24}};
constexpr SCodeFactor kTeac56WriteCodes[] = {{0, 1}, {1, 2}, {2, 4}, {3, 6}};
constexpr SCodeFactor kTeac58WriteCodes[] = {{0, 1}, {1, 2}, {2, 4}, {3, 6}, {4, 8}};

// --- Philips CDD 2000 / 2600 ---------------------------------------------------
// Page 23h (6 parameter bytes): byte 2 the speed as a factor, byte 3 bit 0
// test writing; the CDD 2600 keeps its read speed apart in byte 4.

float PhilipsFactor(uint8 value)
{
	return value == 0 ? -1.0f : float(value);
}

// --- Yamaha CDR100/102 -----------------------------------------------------------
// Page 31h (2 parameter bytes): byte 3 high nibble the speed (0 single,
// 1 double, 2 quad; the codes of the speed tables are the whole byte: 0, 16,
// 32), low nibble bit 0 test writing. Reading runs at the selected speed;
// the CDR102 writes at most at double speed.

// --- Plextor readers -----------------------------------------------------------
// Page 31h: byte 2 the speed code. The tables' codes 65542 and 262 carry the
// special modes of the 32X and 40X models in their higher bytes; those go to
// bytes 3 and 4 of the page, as far as the page has them (their meaning is
// not publicly documented).

}   // namespace

bool SpeedSet_Dummy(CDevice* device, int32 readSpeed, int32 writeSpeed, SCSI_STATUS* status)
{
	return SucceedWithoutCommand(status);
}

bool SpeedGet_Dummy(CDevice* device, float* readFactor, float* writeFactor, SCSI_STATUS* status)
{
	SetFactor(readFactor, -1.0f);
	SetFactor(writeFactor, -1.0f);
	return SucceedWithoutCommand(status);
}

// SET CD SPEED with kB/s values; a speed left unchanged is sent as the
// current one from page 2Ah (FFFFh, the maximum, when the page cannot be
// read).
bool SpeedSet_mmc(CDevice* device, int32 readSpeed, int32 writeSpeed, SCSI_STATUS* status)
{
	CCommandTimer timer;
	uint32 read = readSpeed < 0 ? 0xFFFF : std::min<uint32>(uint32(readSpeed), 0xFFFF);
	uint32 write = writeSpeed < 0 ? 0xFFFF : std::min<uint32>(uint32(writeSpeed), 0xFFFF);
	if (readSpeed < 0 || writeSpeed < 0) {
		uint8 data[256] = {};
		size_t transferred = 0;
		SCSI_STATUS ignored;
		response::SCapabilities capabilities;
		if (SendCommand(device, CapabilitiesSense(sizeof(data)), kDataIn, data, sizeof(data), &ignored, &transferred)
			&& response::ParseCapabilities(data, transferred, &capabilities)) {
			if (readSpeed < 0)
				read = capabilities.currentReadSpeed;
			if (writeSpeed < 0)
				write = capabilities.currentWriteSpeed;
		}
	}
	bool ok = SendCommand(device, cdb::SetCdSpeed(uint16(read), uint16(write)), kNoData, nullptr, 0, status);
	return timer.Finish(status, ok);
}

bool SpeedGet_mmc(CDevice* device, float* readFactor, float* writeFactor, SCSI_STATUS* status)
{
	uint8 data[256] = {};
	size_t transferred = 0;
	if (!SendCommand(device, CapabilitiesSense(sizeof(data)), kDataIn, data, sizeof(data), status, &transferred))
		return false;
	response::SCapabilities capabilities;
	if (!response::ParseCapabilities(data, transferred, &capabilities)) {
		if (status != nullptr)
			status->os_status = B_BAD_DATA;
		return false;
	}
	auto factor = [](uint16 kbs) { return kbs == 0 ? -1.0f : FactorFromKbs(kbs); };
	SetFactor(readFactor, factor(capabilities.currentReadSpeed));
	SetFactor(writeFactor, factor(capabilities.currentWriteSpeed));
	return true;
}

// The writing speed if one is given, else the reading speed: the drive has
// one speed code.
bool SpeedSet_Teac(CDevice* device, int32 readSpeed, int32 writeSpeed, SCSI_STATUS* status)
{
	int32 code = writeSpeed >= 0 ? writeSpeed : readSpeed;
	if (code < 0)
		return SucceedWithoutCommand(status);
	if (code > 255)
		return FailWith(status, B_BAD_VALUE);
	CCommandTimer timer;
	bool ok = ChangeModePage6(device, kModePageTeacSpeed, 3, status, [code](uint8* page, size_t) {
		page[2] = uint8(code);
	});
	return timer.Finish(status, ok);
}

bool SpeedGet_TeacCdr50S(CDevice* device, float* readFactor, float* writeFactor, SCSI_STATUS* status)
{
	return SpeedGetTeac(device, kTeac50Codes, kTeac50Codes, readFactor, writeFactor, status);
}

bool SpeedGet_TeacCdr55S(CDevice* device, float* readFactor, float* writeFactor, SCSI_STATUS* status)
{
	return SpeedGetTeac(device, kTeac55ReadCodes, kTeac50Codes, readFactor, writeFactor, status);
}

bool SpeedGet_TeacCdr56S(CDevice* device, float* readFactor, float* writeFactor, SCSI_STATUS* status)
{
	return SpeedGetTeac(device, kTeac56ReadCodes, kTeac56WriteCodes, readFactor, writeFactor, status);
}

bool SpeedGet_TeacCdr56S400(CDevice* device, float* readFactor, float* writeFactor, SCSI_STATUS* status)
{
	return SpeedGetTeac(device, kTeac56ReadCodes, kTeac50Codes, readFactor, writeFactor, status);
}

bool SpeedGet_TeacCdr58S(CDevice* device, float* readFactor, float* writeFactor, SCSI_STATUS* status)
{
	return SpeedGetTeac(device, kTeac56ReadCodes, kTeac58WriteCodes, readFactor, writeFactor, status);
}

bool SpeedSet_Plextor(CDevice* device, int32 readSpeed, int32 writeSpeed, SCSI_STATUS* status)
{
	if (readSpeed < 0)
		return SucceedWithoutCommand(status);
	if (readSpeed > 0xFFFFFF)
		return FailWith(status, B_BAD_VALUE);
	CCommandTimer timer;
	bool ok = ChangeModePage6(device, kModePagePlextorSpeed, 3, status, [readSpeed](uint8* page, size_t size) {
		page[2] = uint8(readSpeed);
		if (size > 3)
			page[3] = uint8(readSpeed >> 8);
		if (size > 4)
			page[4] = uint8(readSpeed >> 16);
	});
	return timer.Finish(status, ok);
}

// The CDD 2000 reads and writes at the speed of byte 2: the writing speed if
// one is given, else the reading speed.
bool SpeedSet_PhilipsCdd2000(CDevice* device, int32 readSpeed, int32 writeSpeed, SCSI_STATUS* status)
{
	int32 speed = writeSpeed >= 0 ? writeSpeed : readSpeed;
	if (speed < 0)
		return SucceedWithoutCommand(status);
	if (speed > 255)
		return FailWith(status, B_BAD_VALUE);
	CCommandTimer timer;
	bool ok = ChangeModePage6(device, kModePagePhilipsSpeed, 3, status, [speed](uint8* page, size_t) {
		page[2] = uint8(speed);
	});
	return timer.Finish(status, ok);
}

bool SpeedSet_PhilipsCdd2600(CDevice* device, int32 readSpeed, int32 writeSpeed, SCSI_STATUS* status)
{
	if (readSpeed < 0 && writeSpeed < 0)
		return SucceedWithoutCommand(status);
	if (readSpeed > 255 || writeSpeed > 255)
		return FailWith(status, B_BAD_VALUE);
	CCommandTimer timer;
	bool ok = ChangeModePage6(device, kModePagePhilipsSpeed, 5, status, [=](uint8* page, size_t) {
		if (writeSpeed >= 0)
			page[2] = uint8(writeSpeed);
		if (readSpeed >= 0)
			page[4] = uint8(readSpeed);
	});
	return timer.Finish(status, ok);
}

bool SpeedGet_PhilipsCdd2000(CDevice* device, float* readFactor, float* writeFactor, SCSI_STATUS* status)
{
	uint8 page[kMaxPageSize] = {};
	if (!ReadVendorPage(device, kModePagePhilipsSpeed, 3, page, status))
		return false;
	SetFactor(readFactor, PhilipsFactor(page[2]));
	SetFactor(writeFactor, PhilipsFactor(page[2]));
	return true;
}

bool SpeedGet_PhilipsCdd2600(CDevice* device, float* readFactor, float* writeFactor, SCSI_STATUS* status)
{
	uint8 page[kMaxPageSize] = {};
	if (!ReadVendorPage(device, kModePagePhilipsSpeed, 5, page, status))
		return false;
	SetFactor(readFactor, PhilipsFactor(page[4]));
	SetFactor(writeFactor, PhilipsFactor(page[2]));
	return true;
}

bool SpeedSet_YamahaCdr100(CDevice* device, int32 readSpeed, int32 writeSpeed, SCSI_STATUS* status)
{
	int32 code = writeSpeed >= 0 ? writeSpeed : readSpeed;
	if (code < 0)
		return SucceedWithoutCommand(status);
	if (code > 255 || (code & 0x0F) != 0 || (code >> 4) > 2)
		return FailWith(status, B_BAD_VALUE);
	CCommandTimer timer;
	bool ok = ChangeModePage6(device, kModePageYamahaConfiguration, 4, status, [code](uint8* page, size_t) {
		page[3] = uint8((page[3] & 0x0F) | code);
	});
	return timer.Finish(status, ok);
}

bool SpeedGet_YamahaCdr100(CDevice* device, float* readFactor, float* writeFactor, SCSI_STATUS* status)
{
	uint8 page[kMaxPageSize] = {};
	if (!ReadVendorPage(device, kModePageYamahaConfiguration, 4, page, status))
		return false;
	int32 nibble = page[3] >> 4;
	float factor = nibble <= 2 ? float(1 << nibble) : -1.0f;
	SetFactor(readFactor, factor);
	SetFactor(writeFactor, factor);
	return true;
}

bool SpeedGet_YamahaCdr102(CDevice* device, float* readFactor, float* writeFactor, SCSI_STATUS* status)
{
	uint8 page[kMaxPageSize] = {};
	if (!ReadVendorPage(device, kModePageYamahaConfiguration, 4, page, status))
		return false;
	int32 nibble = page[3] >> 4;
	SetFactor(readFactor, nibble <= 2 ? float(1 << nibble) : -1.0f);
	SetFactor(writeFactor, nibble == 0 ? 1.0f : nibble <= 2 ? 2.0f : -1.0f);
	return true;
}
