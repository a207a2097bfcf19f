#include "devices/DeviceListing.h"

#include "devices/Device.h"
#include "devices/devices.h"
#include "disc/Toc.h"
#include "driver/driverbaseclass.h"
#include "kit/device/CdAddress.h"

#include <cstdio>
#include <utility>

namespace {

constexpr std::pair<uint64, const char*> kFlagNames[] = {
	{F_SUPPORTED, "F_SUPPORTED"},
	{F_EXPERIMENTAL, "F_EXPERIMENTAL"},
	{F_BIGENDIAN, "F_BIGENDIAN"},
	{F_GENERIC_DRIVER, "F_GENERIC_DRIVER"},
	{F_GENERIC_READONLY, "F_GENERIC_READONLY"},
	{F_AUDIO_READ, "F_AUDIO_READ"},
	{F_ATIP_READ, "F_ATIP_READ"},
	{F_ISRC_READ, "F_ISRC_READ"},
	{F_MCN_READ, "F_MCN_READ"},
	{F_TAO_WRITE, "F_TAO_WRITE"},
	{F_DAO_WRITE, "F_DAO_WRITE"},
	{F_RAW_WRITE, "F_RAW_WRITE"},
	{F_TAO_TESTWRITE, "F_TAO_TESTWRITE"},
	{F_DAO_TESTWRITE, "F_DAO_TESTWRITE"},
	{F_RAW_TESTWRITE, "F_RAW_TESTWRITE"},
	{F_CDTEXT_READ, "F_CDTEXT_READ"},
	{F_CDTEXT_WRITE, "F_CDTEXT_WRITE"},
	{F_BLANK_FULL, "F_BLANK_FULL"},
	{F_BLANK_MINIMAL, "F_BLANK_MINIMAL"},
	{F_BUFFER_INQUIRY, "F_BUFFER_INQUIRY"},
};

// "MM:SS.FF" of a number of sectors.
std::string Duration(int32 sectors)
{
	if (sectors < 0)
		sectors = 0;
	char text[32];
	SCdMsf msf = FramesToMsf(sectors);
	snprintf(text, sizeof(text), "%02d:%02d.%02d", int(msf.minute), int(msf.second), int(msf.frame));
	return text;
}

std::string AudioDisc(CDevice* device)
{
	device->LoadTocText();
	CToc* toc = device->GetToc();
	toc->Lock();
	// The disc's own track numbers: a disc may start at any number.
	const int count = toc->TrackCount();
	const int first = toc->FirstTrack();
	const int last = toc->LastTrack();
	int32 total = 0;
	for (int track = first; track <= last; track++)
		total += toc->TrackSize(track);
	std::string text = "audio disc, " + std::to_string(count) + (count == 1 ? " track, " : " tracks, ")
		+ Duration(total) + "\n";
	text += std::string("    title: ") + toc->Title() + "\n";
	for (int track = first; track <= last; track++) {
		char line[32];
		snprintf(line, sizeof(line), "    %2d  %s  ", track, Duration(toc->TrackSize(track)).c_str());
		text += line;
		const char* artist = toc->TrackArtist(track);
		const char* title = toc->TrackTitle(track);
		if (toc->TrackDataTrack(track))
			text += "(data) ";
		if (artist[0] != '\0')
			text += std::string(artist) + (title[0] != '\0' ? " - " : "");
		text += std::string(title) + "\n";
	}
	toc->Unlock();
	return text;
}

}   // namespace

std::string DescribeDriverFlags(uint64 flags)
{
	std::string text;
	for (const auto& [flag, name] : kFlagNames) {
		if ((flags & flag) == 0)
			continue;
		if (!text.empty())
			text += ' ';
		text += name;
	}
	return text.empty() ? "none" : text;
}

std::string DescribeSpeedTable(const SPEED_INFO* table)
{
	std::string text;
	for (int32 index = 0; index < CountSpeedEntries(table); index++) {
		if (!text.empty())
			text += "; ";
		text += CreateSpeedMenuItem(&table[index], 0).label;
	}
	return text.empty() ? "none" : text;
}

std::string DeviceRawPath(const CDevice* device)
{
	char path[128];
	if (device->IsAtapi()) {
		CDevice::MakeSystemDevicePath(device->GetBus(), device->GetTarget(), device->GetLogicalUnit(), path,
			sizeof(path));
	} else {
		snprintf(path, sizeof(path), "/dev/bus/scsi/%d/%d/%d/raw", int(device->GetBus()), int(device->GetTarget()),
			int(device->GetLogicalUnit()));
	}
	return path;
}

std::string DescribeMedium(CDevice* device)
{
	CDriver* driver = device->GetDriver();
	// A medium that just arrived answers once with a unit attention, which
	// the command library asks past.
	if (driver == nullptr || !driver->TestUnitReady(device, nullptr))
		return "none\n";
	SCSI_DISC_INFORMATION information = {};
	if (driver->ReadDiscInformation(device, &information, nullptr) && information.DiscStatus == 0) {
		// Its length is the last possible start of the lead-out.
		const uint8* msf = information.LastPossibleStartTimeOfLeadout;
		int32 length = MsfToFrames(msf[0], msf[1], msf[2]);
		return std::string("blank ") + (information.Erasable ? "CD-RW" : "CD-R") + ", " + Duration(length) + "\n";
	}
	if (device->ReadToc())
		return AudioDisc(device);
	return "unreadable disc\n";
}

std::string DescribeDevice(CDevice* device, int index)
{
	CDriver* driver = device->GetDriver();
	std::string text = "Drive " + std::to_string(index) + ": " + device->GetDeviceName() + "\n";
	text += "  path:      " + DeviceRawPath(device) + "\n";
	char address[96];
	snprintf(address, sizeof(address), "  address:   bus %d, target %d, unit %d%s\n", int(device->GetBus()),
		int(device->GetTarget()), int(device->GetLogicalUnit()), device->IsAtapi() ? " (ATAPI)" : "");
	text += address;
	text += std::string("  vendor:    ") + device->GetVendor() + "\n";
	text += std::string("  product:   ") + device->GetProduct() + "\n";
	text += std::string("  revision:  ") + device->GetRevision() + "\n";
	if (driver == nullptr) {
		text += "  add-on:    none\n";
		return text;
	}
	text += std::string("  add-on:    ") + (driver->pszName != nullptr ? driver->pszName : "?");
	if (driver->pszVersion != nullptr && driver->pszVersion[0] != '\0')
		text += std::string(" ") + driver->pszVersion;
	text += "\n";
	text += "  flags:     " + DescribeDriverFlags(driver->Flags) + "\n";
	text += "  read speeds:  " + DescribeSpeedTable(driver->pReadSpeed) + "\n";
	text += "  CD-R speeds:  " + DescribeSpeedTable(driver->pWriteSpeedCdr) + "\n";
	text += "  CD-RW speeds: " + DescribeSpeedTable(driver->pWriteSpeedCdrw) + "\n";
	text += "  medium:    " + DescribeMedium(device);
	return text;
}

std::string DescribeDevices()
{
	std::string text;
	int index = 0;
	for (; index < kMaxDevices && g_pDevices[index] != nullptr; index++)
		text += DescribeDevice(g_pDevices[index], index + 1);
	if (index == 0)
		text += "No drive found.\n";
	text += GetDeviceAccessProblems();
	return text;
}
