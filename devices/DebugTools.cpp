#include "devices/DebugTools.h"

#include "devices/Device.h"
#include "devices/DevicePages.h"
#include "driver/driverbaseclass.h"
#include "kit/device/ScsiParameters.h"
#include "kit/interface/Alert.h"
#include "kit/support/ByteOrder.h"

#include <cstring>

namespace {

// Bytes of the write parameters page the tool decodes (through the
// sub-header, bytes 48-51).
constexpr size_t kWriteParametersNeeded = 52;
constexpr int32 kWriteParametersAllocation = 256;

void Field(std::string* text, const char* label, long value)
{
	*text += label;
	*text += " = ";
	*text += std::to_string(value);
	*text += "\n";
}

void Field(std::string* text, const char* label, const std::string& value)
{
	*text += label;
	*text += " = ";
	*text += value;
	*text += "\n";
}

std::string Header(CDevice* device, const char* result, bool ok)
{
	std::string text = device->GetDeviceName();
	text += ":\n\n";
	text += result;
	text += ok ? "OK" : "ERROR";
	text += "\n\n";
	return text;
}

void Msf(std::string* text, const char* what, const uint8* msf)
{
	Field(text, (std::string(what) + "Minutes").c_str(), msf[0]);
	Field(text, (std::string(what) + "Seconds").c_str(), msf[1]);
	Field(text, (std::string(what) + "Frames").c_str(), msf[2]);
}

// Printable characters of a code as they are; anything else as '?'.
std::string Code(const uint8* bytes, size_t count)
{
	std::string code;
	for (size_t i = 0; i < count; i++)
		code += bytes[i] >= 0x20 && bytes[i] < 0x7F ? char(bytes[i]) : '?';
	return code;
}

void ShowToolAlert(const std::string& text)
{
	AlertRequest request;
	request.text = text;
	request.buttons = {"OK"};
	ShowAlert(request);
}

}   // namespace

std::string DescribeBufferCapacity(int32 totalBytes, int32 freeBytes)
{
	std::string text;
	text += "WholeLength = " + std::to_string(totalBytes / 1024) + " KBytes\n";
	text += "UnusedLength = " + std::to_string(freeBytes / 1024) + " KBytes\n";
	return text;
}

std::string DescribeDiscInformation(const SCSI_DISC_INFORMATION& info)
{
	std::string text;
	Field(&text, "DataLength", GetBe16(info.DataLength));
	Field(&text, "DiscStatus", info.DiscStatus);
	Field(&text, "StateOfLastSession", info.StateOfLastSession);
	Field(&text, "Eraseable", info.Erasable);
	Field(&text, "NumberOfFirstTrackOnDisc", info.NumberOfFirstTrackOnDisc);
	Field(&text, "NumberOfSessions", info.NumberOfSessions);
	Field(&text, "FirstTrackNumberInLastSession", info.FirstTrackNumberInLastSession);
	Field(&text, "LastTrackNumberInLastSession", info.LastTrackNumberInLastSession);
	Field(&text, "URU", info.URU);
	Field(&text, "DBC_V", info.DBC_V);
	Field(&text, "DID_V", info.DID_V);
	Field(&text, "DiscType", info.DiscType);
	Msf(&text, "LastSessionStartTimeOfLeadin", info.LastSessionStartTimeOfLeadin);
	Msf(&text, "LastPossibleStartTimeOfLeadout", info.LastPossibleStartTimeOfLeadout);
	Field(&text, "NumberOfOpcTableEntries", info.NumberOfOpcTableEntries);
	return text;
}

std::string DescribeAtipData(const SCSI_ATIP_DATA& atip)
{
	std::string text;
	Field(&text, "DataLength", GetBe16(atip.DataLength));
	Field(&text, "ReferenceSpeed", atip.ReferenceSpeed);
	Field(&text, "IndicativeTargetWritingPower", atip.IndicativeTargetWritingPower);
	Field(&text, "URU", atip.URU);
	Field(&text, "A3", atip.A3);
	Field(&text, "A2", atip.A2);
	Field(&text, "A1", atip.A1);
	Field(&text, "DiscSubType", atip.DiscSubType);
	Field(&text, "DiscType", atip.DiscType);
	Msf(&text, "LastSessionStartTimeOfLeadin", atip.StartTimeOfLeadin);
	Msf(&text, "LastPossibleStartTimeOfLeadout", atip.LastPossibleStartTimeOfLeadout);
	// A1 values: byte 0 bits 4-6 lowest and 1-3 highest CLV speed; byte 1
	// bits 4-6 p and 1-3 y; byte 2 bits 4-6 the erase/write power ratio.
	Field(&text, "HighestUseableClvRecordingSpeed", atip.A1Values[0] >> 1 & 7);
	Field(&text, "LowestUseableClvRecordingSpeed", atip.A1Values[0] >> 4 & 7);
	Field(&text, "TargetYValueOfTheModulationPowerFunction", atip.A1Values[1] >> 1 & 7);
	Field(&text, "PowerMultiplicationFactorP", atip.A1Values[1] >> 4 & 7);
	Field(&text, "RecommendedEraseWritePowerRatio", atip.A1Values[2] >> 4 & 7);
	return text;
}

std::string DescribeWriteParametersPage(const uint8* buffer, size_t size)
{
	size_t offset = 0;
	if (buffer == nullptr || !LocateModePage(buffer, size, kWriteParametersNeeded, &offset))
		return std::string();
	const uint8* page = buffer + offset;
	if ((page[0] & 0x3F) != kModePageWriteParameters)
		return std::string();
	std::string text;
	Field(&text, "PageCode", page[0] & 0x3F);
	Field(&text, "PageLength", page[1]);
	Field(&text, "WriteType", page[2] & 0x0F);
	Field(&text, "TestWrite", page[2] >> 4 & 1);
	Field(&text, "TrackMode", page[3] & 0x0F);
	Field(&text, "Copy", page[3] >> 4 & 1);
	Field(&text, "FP", page[3] >> 5 & 1);
	Field(&text, "MultiSession", page[3] >> 6 & 3);
	Field(&text, "DataBlockType", page[4] & 0x0F);
	Field(&text, "HostApplicationCode", page[7] & 0x3F);
	Field(&text, "SessionFormat", page[8]);
	Field(&text, "PacketSize", long(GetBe32(page + 10)));
	Field(&text, "AudioPauseLength", GetBe16(page + 14));
	// Bytes 32-47: TCVAL (byte 32 bit 7), the ISRC in bytes 33-44; bytes
	// 16-31: MCVAL (byte 16 bit 7), the catalogue number in bytes 17-29.
	Field(&text, "InternationalStandardRecordingCode", (page[32] & 0x80) != 0 ? Code(page + 33, 12) : "<invalid>");
	Field(&text, "MediaCatalogNumber", (page[16] & 0x80) != 0 ? Code(page + 17, 13) : "<invalid>");
	Field(&text, "SubHeaderByte0", page[48]);
	Field(&text, "SubHeaderByte1", page[49]);
	Field(&text, "SubHeaderByte2", page[50]);
	Field(&text, "SubHeaderByte3", page[51]);
	return text;
}

std::string DeviceToolText_1(CDevice* device)
{
	CDriver* driver = device->GetDriver();
	int32 total = 0;
	int32 unused = 0;
	const bool ok = driver != nullptr && driver->ReadBufferCapacity != nullptr
		&& driver->ReadBufferCapacity(device, &total, &unused, nullptr);
	std::string text = Header(device, "ReadBufferCapacity result: ", ok);
	if (ok)
		text += DescribeBufferCapacity(total, unused);
	return text;
}

std::string DeviceToolText_2(CDevice* device)
{
	CDriver* driver = device->GetDriver();
	SCSI_DISC_INFORMATION info;
	memset(&info, 0, sizeof(info));
	const bool ok = driver != nullptr && driver->ReadDiscInformation != nullptr
		&& driver->ReadDiscInformation(device, &info, nullptr);
	std::string text = Header(device, "ReadDiscInformation result: ", ok);
	if (ok)
		text += DescribeDiscInformation(info);
	return text;
}

std::string DeviceToolText_3(CDevice* device)
{
	CDriver* driver = device->GetDriver();
	SCSI_ATIP_DATA atip;
	memset(&atip, 0, sizeof(atip));
	const bool ok = driver != nullptr && driver->ReadAtipData != nullptr && driver->ReadAtipData(device, &atip, nullptr);
	std::string text = Header(device, "ReadAtipData result: ", ok);
	if (ok)
		text += DescribeAtipData(atip);
	return text;
}

std::string DeviceToolText_4(CDevice* device)
{
	CDriver* driver = device->GetDriver();
	uint8 buffer[kWriteParametersAllocation] = {};
	bool ok = driver != nullptr && driver->ModeSense != nullptr
		&& driver->ModeSense(device, buffer, sizeof(buffer), kModePageWriteParameters, 0, nullptr);
	std::string fields = ok ? DescribeWriteParametersPage(buffer, sizeof(buffer)) : std::string();
	// An answer without the whole page is no result.
	ok = ok && !fields.empty();
	return Header(device, "ModeSense (Write-Parameter-Page) result: ", ok) + fields;
}

void DeviceTool_1(CDevice* device) { ShowToolAlert(DeviceToolText_1(device)); }
void DeviceTool_2(CDevice* device) { ShowToolAlert(DeviceToolText_2(device)); }
void DeviceTool_3(CDevice* device) { ShowToolAlert(DeviceToolText_3(device)); }
void DeviceTool_4(CDevice* device) { ShowToolAlert(DeviceToolText_4(device)); }
void DeviceTool_5(CDevice*) {}
void DeviceTool_6(CDevice*) {}
void DeviceTool_7(CDevice*) {}
void DeviceTool_8(CDevice*) {}
void DeviceTool_9(CDevice*) {}

bool RunDeviceTool(uint32 what, CDevice* device)
{
	static void (*const kTools[])(CDevice*) = {DeviceTool_1, DeviceTool_2, DeviceTool_3, DeviceTool_4,
		DeviceTool_5, DeviceTool_6, DeviceTool_7, DeviceTool_8, DeviceTool_9};
	if (device == nullptr || what < M_DEVICE_TOOL_1 || what > M_DEVICE_TOOL_9)
		return false;
	kTools[what - M_DEVICE_TOOL_1](device);
	return true;
}
