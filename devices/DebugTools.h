// The debug tools: each runs one drive command and shows its decoded answer
// in an alert. The text builders are separate so that the command line and
// tests can use them; the decoders read only the record they are given.
//
// The tools run on the thread that asks (a window thread); the drive's
// update thread may poll in between.
#pragma once

#include "kit/support/SupportDefs.h"

#include <cstddef>
#include <string>

class CDevice;
struct SCSI_ATIP_DATA;
struct SCSI_DISC_INFORMATION;

// The decoded fields, lines of "Label = value\n".
std::string DescribeBufferCapacity(int32 totalBytes, int32 freeBytes);
std::string DescribeDiscInformation(const SCSI_DISC_INFORMATION& information);
std::string DescribeAtipData(const SCSI_ATIP_DATA& atip);
// The write parameters page (05h) of a MODE SENSE(10) answer of `size`
// bytes; "" when the page is not all there. Codes whose valid bit is clear
// show "<invalid>".
std::string DescribeWriteParametersPage(const uint8* buffer, size_t size);

// The whole text of a tool: the drive's display name, ":\n\n", the
// result label with "OK" or "ERROR", "\n\n", and on success the fields.
// Each sends its one command through the drive's driver.
std::string DeviceToolText_1(CDevice* device);   // READ BUFFER CAPACITY
std::string DeviceToolText_2(CDevice* device);   // READ DISC INFORMATION
std::string DeviceToolText_3(CDevice* device);   // ATIP
std::string DeviceToolText_4(CDevice* device);   // MODE SENSE of the write parameters page

// Build the text and show it in a synchronous alert (no title, "OK").
void DeviceTool_1(CDevice* device);
void DeviceTool_2(CDevice* device);
void DeviceTool_3(CDevice* device);
void DeviceTool_4(CDevice* device);
// Tools without a command: they do nothing.
void DeviceTool_5(CDevice* device);
void DeviceTool_6(CDevice* device);
void DeviceTool_7(CDevice* device);
void DeviceTool_8(CDevice* device);
void DeviceTool_9(CDevice* device);

// The "Debug Tools" menu items' messages: 65 to 68 run tools 1 to 4, 69 to
// 73 reach the empty tools 5 to 9.
enum : uint32 {
	M_DEVICE_TOOL_1 = 65,
	M_DEVICE_TOOL_9 = 73,
};
// Runs the tool of message `what` on `device` (the drive page's drive).
// False when `what` is no tool message or there is no drive.
bool RunDeviceTool(uint32 what, CDevice* device);
