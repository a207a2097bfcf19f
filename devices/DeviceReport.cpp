#include "devices/DeviceReport.h"

#include "devices/Device.h"
#include "devices/DevicePages.h"
#include "devices/devices.h"
#include "driver/driverbaseclass.h"
#include "frame/Preference.h"
#include "kit/device/RawDevice.h"
#include "kit/device/ScsiCommands.h"
#include "kit/device/ScsiParameters.h"
#include "kit/storage/FindDirectory.h"
#include "kit/support/ByteOrder.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

// The capabilities page is asked for with this allocation length.
constexpr int32 kReportCapabilitiesAllocation = 166;
// Page bytes the report reads (up to the current write speed, bytes 20-21).
constexpr size_t kReportCapabilitiesNeeded = 22;

const char* TrueFalse(bool value)
{
	return value ? "true" : "false";
}

void Line(std::string* text, const char* label, const std::string& value)
{
	*text += label;
	*text += '"';
	*text += value;
	*text += "\"\n";
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...)
{
	char buffer[256];
	va_list arguments;
	va_start(arguments, format);
	vsnprintf(buffer, sizeof(buffer), format, arguments);
	va_end(arguments);
	return buffer;
}

std::string SpeedText(int32 kbs)
{
	return Format("%.01f (%i KBytes/s)", kbs / 176.4 + 0.04, int(kbs));
}

// Reads page 2Ah through the driver into `buffer`; *page receives where the
// page starts. False when the command fails or the page is not all there.
bool ReadCapabilityPage(CDevice* device, uint8 (&buffer)[kReportCapabilitiesAllocation], const uint8** page)
{
	CDriver* driver = device->GetDriver();
	if (driver == nullptr || driver->ModeSense == nullptr)
		return false;
	memset(buffer, 0, sizeof(buffer));
	if (!driver->ModeSense(device, buffer, sizeof(buffer), kModePageCapabilities, 0, nullptr))
		return false;
	size_t offset = 0;
	if (!LocateModePage(buffer, sizeof(buffer), kReportCapabilitiesNeeded, &offset))
		return false;
	if ((buffer[offset] & 0x3F) != kModePageCapabilities)
		return false;
	*page = buffer + offset;
	return true;
}

bool Bit(const uint8* page, int byte, int bit)
{
	return (page[byte] >> bit & 1) != 0;
}

// SET CD SPEED straight to the raw descriptor; true when the request was
// carried out and completed.
bool SetSpeedRaw(CDevice* device, uint16 readSpeed, uint16 writeSpeed)
{
	CCommandBlock block = cdb::SetCdSpeed(readSpeed, writeSpeed);
	uint8 sense[18] = {};
	raw_device_command command = {};
	memcpy(command.command, block.Bytes(), block.Length());
	command.command_length = block.Length();
	command.sense_data = sense;
	command.sense_data_length = sizeof(sense);
	command.timeout = 500000;
	if (dev_ioctl(device->GetRawDescriptor(), B_RAW_DEVICE_COMMAND, &command, sizeof(command)) != 0)
		return false;
	return (command.cam_status & CAM_STATUS_MASK) == CAM_REQ_CMP;
}

void SpeedTest(CDevice* device, std::string* text, bool write, int last)
{
	*text += write ? "Write Speed test:\n" : "Read Speed test:\n";
	for (int x = 1; x <= last + 1; x++) {
		const bool maximum = x == last + 1;
		const int shown = maximum ? 65535 : x;
		const int value = maximum ? 0xFFFF : x * 176400 / 1000 + 1;
		*text += "Set: \"" + Format("%i.0 (%i KBytes/s)", shown, value) + "\"  ";
		const bool set = write ? SetSpeedRaw(device, 0xFFFF, uint16(value)) : SetSpeedRaw(device, uint16(value), 0xFFFF);
		uint8 buffer[kReportCapabilitiesAllocation];
		const uint8* page = nullptr;
		if (!set || !ReadCapabilityPage(device, buffer, &page)) {
			*text += "     failed\n";
			continue;
		}
		const int32 current = GetBe16(page + (write ? 20 : 14));
		*text += "Got: \"" + SpeedText(current) + "\"\n";
	}
}

std::string FreeName(const fs::path& folder, const std::string& stem)
{
	std::error_code error;
	for (int n = 1; n < 10000; n++) {
		std::string name = n == 1 ? stem + ".txt" : Format("%s %d.txt", stem.c_str(), n);
		if (!fs::exists(folder / name, error))
			return (folder / name).string();
	}
	return std::string();
}

}   // namespace

const char* const kFeedbackIntroText =
	"In the next step, device data about your CD-ROMs and CD recorders is put into an email. It is not send "
	"automatically. Please add a few comments, if you have problems, please tell me whats going wrong.\n\n"
	"Your email configuration must be correct, and you must go online to send the email!\n\n";

std::vector<std::pair<std::string, std::string>> DeviceCapabilityLines(CDevice* device)
{
	std::vector<std::pair<std::string, std::string>> lines;
	uint8 buffer[kReportCapabilitiesAllocation];
	const uint8* page = nullptr;
	if (!ReadCapabilityPage(device, buffer, &page))
		return lines;
	auto line = [&](const char* label, std::string value) { lines.emplace_back(label, std::move(value)); };
	line("0x2A Page Code: ", Format("%d", page[0] & 0x3F));
	line("0x2A Page Length: ", Format("%d", page[1]));
	struct { const char* label; int byte; int bit; } const kBits[] = {
		{"CD-R reading: ", 2, 0}, {"CD-RW reading: ", 2, 1}, {"CD-R writing: ", 3, 0}, {"CD-RW writing: ", 3, 1},
		{"Test writing: ", 3, 2}, {"ISRC reading: ", 5, 5}, {"UPC (MCN) reading: ", 5, 6},
		{"Bar codes reading: ", 5, 7}, {"Audio reading is accurate: ", 5, 1}, {"R-W subcode reading: ", 5, 3},
		{"R-W subcode raw reading: ", 5, 2}, {"C2-Error indication: ", 5, 4}, {"Audio playing: ", 4, 0},
		{"Medium ejecting: ", 6, 3}, {"Medium locking: ", 6, 0}, {"Audio reading: ", 5, 0},
	};
	for (const auto& bit : kBits)
		line(bit.label, TrueFalse(Bit(page, bit.byte, bit.bit)));
	line("Buffer size: ", Format("%i KBytes", int(GetBe16(page + 12))));
	line("Current read speed: ", SpeedText(GetBe16(page + 14)));
	line("Maximum read speed: ", SpeedText(GetBe16(page + 8)));
	line("Current write speed: ", SpeedText(GetBe16(page + 20)));
	line("Maximum write speed: ", SpeedText(GetBe16(page + 18)));
	return lines;
}

std::string DeviceReport(CDevice* device)
{
	std::string text;
	Line(&text, "Vendor: ", device->GetVendor());
	Line(&text, "Product: ", device->GetProduct());
	Line(&text, "Version: ", device->GetRevision());
	Line(&text, "Atapi: ", TrueFalse(device->IsAtapi()));
	Line(&text, "LittleEndian: ", TrueFalse(device->IsLittleEndian()));
	Line(&text, "FUA: ", TrueFalse(device->SupportsFua()));
	text += "\n";

	const CDriver* driver = device->GetDriver();
	Line(&text, "DriverName: ", driver != nullptr && driver->pszName != nullptr ? driver->pszName : "");
	Line(&text, "DriverVersion: ", driver != nullptr && driver->pszVersion != nullptr ? driver->pszVersion : "");
	const uint64 flags = driver != nullptr ? driver->Flags : 0;
	Line(&text, "DriverFlags: ", Format("0x%" PRIX64, flags));
	Line(&text, "Supported: ", TrueFalse((flags & F_SUPPORTED) != 0));

	static const char* const kSettings[] = {"spindown timeout", "read spinup sectors", "read sync mode",
		"read sync sectors", "read error action", "read error retrys", "read buffer sectors",
		"read buffer clusters", "read buffer elements", "write buffer sectors", "write buffer clusters",
		"write buffer elements"};
	const CPreference* settings = device->GetPreference();
	for (const char* key : kSettings) {
		int32 value = 0;
		std::string shown;
		if (settings != nullptr && settings->FindInt32(key, &value) == B_OK)
			shown = Format("%d", int(value));
		Line(&text, (std::string(key) + ": ").c_str(), shown);
	}

	const std::vector<std::pair<std::string, std::string>> capabilities = DeviceCapabilityLines(device);
	if (capabilities.empty())
		return text;
	for (const auto& [label, value] : capabilities)
		Line(&text, label.c_str(), value);

	SpeedTest(device, &text, false, 65);
	SpeedTest(device, &text, true, 12);
	return text;
}

std::string DeviceReportAll()
{
	std::string text;
	for (int i = 0; i < kMaxDevices && g_pDevices[i] != nullptr; i++) {
		text += "\n\n========================================================================\n";
		text += "=============";
		text += g_pDevices[i]->GetDeviceName();
		text += "\n========================================================================\n\n";
		text += DeviceReport(g_pDevices[i]);
	}
	return text;
}

std::string DocumentsFolder()
{
	const char* home = getenv("HOME");
	const std::string homeFolder = home != nullptr ? home : "";
	auto expand = [&](std::string value) {
		if (value.rfind("$HOME", 0) == 0)
			value = homeFolder + value.substr(5);
		return value;
	};
	if (const char* documents = getenv("XDG_DOCUMENTS_DIR"); documents != nullptr && documents[0] != '\0')
		return expand(documents);
	std::string settings;
	if (find_directory(B_USER_SETTINGS_DIRECTORY, &settings, false) == B_OK) {
		std::ifstream file(settings + "/user-dirs.dirs");
		std::string line;
		while (std::getline(file, line)) {
			const std::string key = "XDG_DOCUMENTS_DIR=\"";
			if (line.rfind(key, 0) != 0 || line.size() < key.size() + 1 || line.back() != '"')
				continue;
			std::string value = expand(line.substr(key.size(), line.size() - key.size() - 1));
			// "$HOME/" alone means the documents are kept in the home folder.
			if (!value.empty())
				return value;
		}
	}
	return homeFolder + "/Documents";
}

FEEDBACK_RESULT SendFeedback(const std::string& report, const FEEDBACK_ACTIONS& actions)
{
	FEEDBACK_RESULT result;
	if (actions.openMail
		&& actions.openMail(kFeedbackAddress, kFeedbackSubject, report.c_str()) == B_OK) {
		result.outcome = FEEDBACK_MAILED;
		return result;
	}

	result.copied = actions.putIntoClipboard && actions.putIntoClipboard(report.c_str());

	const fs::path folder = actions.folder.empty() ? DocumentsFolder() : actions.folder;
	std::error_code error;
	fs::create_directories(folder, error);
	std::string path = FreeName(folder, "Tarnwick feedback");
	bool saved = false;
	if (!path.empty()) {
		// A new file only: an existing one (made in between) is never replaced.
		FILE* file = fopen(path.c_str(), "wx");
		if (file != nullptr) {
			saved = fwrite(report.data(), 1, report.size(), file) == report.size();
			saved = fclose(file) == 0 && saved;
			if (!saved)
				fs::remove(path, error);
		}
	}

	std::string text = "No mail program took the feedback mail.\n\n";
	if (saved) {
		result.outcome = FEEDBACK_SAVED;
		result.path = path;
		text += "The report was saved to \"" + path + "\"";
		text += result.copied ? " and copied to the clipboard.\n\n" : ".\n\n";
	} else {
		result.outcome = FEEDBACK_LOST;
		text += result.copied ? "The report could not be saved to a file; it was copied to the clipboard.\n\n"
							  : "The report could neither be saved nor copied to the clipboard.\n\n";
	}
	text += "Please send it to ";
	text += kFeedbackAddress;
	text += " yourself.";
	result.alertText = text;
	return result;
}
