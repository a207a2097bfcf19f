// Helpers of the virtual drive tests: temporary folders, audio images made
// at test time, and command blocks sent to a drive.
#pragma once

#include "emulator/DiscImage.h"
#include "emulator/DriveConfig.h"
#include "emulator/MmcDefs.h"
#include "emulator/MmcDrive.h"
#include "kit/device/RawDevice.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace emutest {

class CTempFolder {
public:
	CTempFolder()
	{
		std::string pattern = (std::filesystem::temp_directory_path() / "tw-emu-XXXXXX").string();
		if (mkdtemp(pattern.data()) == nullptr)
			abort();
		fPath = pattern;
	}
	~CTempFolder()
	{
		std::error_code ignored;
		std::filesystem::remove_all(fPath, ignored);
	}
	const std::string& Path() const { return fPath; }
	std::string File(const std::string& name) const { return fPath + "/" + name; }

private:
	std::string fPath;
};

inline void WriteText(const std::string& path, const std::string& text)
{
	std::ofstream out(path, std::ios::binary);
	out << text;
}

inline void WriteBytes(const std::string& path, const std::vector<uint8>& bytes)
{
	std::ofstream out(path, std::ios::binary);
	out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Audio whose every 16-bit sample tells where it is: no two sectors alike.
inline std::vector<uint8> PatternAudio(size_t sectors, uint32 seed)
{
	std::vector<uint8> data(sectors * kCdAudioSectorSize);
	uint32 x = seed * 2654435761u + 12345;
	for (size_t i = 0; i < data.size(); i++) {
		x = x * 1103515245u + 12345u;
		data[i] = uint8(x >> 16);
	}
	return data;
}

// The disc the agreement tests use: one BINARY file of 1350 sectors, three
// tracks, a pregap from the file before tracks 2 and 3, index 2 in track 2,
// disc and track CD-Text, a catalogue number and an ISRC.
//   track 1: start 0
//   track 2: index 0 at 300, start (index 1) at 450, index 2 at 600
//   track 3: index 0 at 900, start at 975; lead-out at 1350
struct STestDisc {
	std::string cuePath;
	std::string binPath;
	std::vector<uint8> audio;
};

constexpr int32 kTrack2Pregap = 300;
constexpr int32 kTrack2Start = 450;
constexpr int32 kTrack2Index2 = 600;
constexpr int32 kTrack3Pregap = 900;
constexpr int32 kTrack3Start = 975;
constexpr int32 kLeadOut = 1350;

inline STestDisc MakeTestDisc(const CTempFolder& folder, const std::string& base = "disc")
{
	STestDisc disc;
	disc.cuePath = folder.File(base + ".cue");
	disc.binPath = folder.File(base + ".bin");
	disc.audio = PatternAudio(kLeadOut, 7);
	WriteBytes(disc.binPath, disc.audio);
	WriteText(disc.cuePath,
		"REM made by the tests\r\n"
		"CATALOG 0123456789012\r\n"
		"PERFORMER \"Test Artist\"\r\n"
		"TITLE \"Test Album\"\r\n"
		"FILE \"" + base + ".bin\" BINARY\r\n"
		"  TRACK 01 AUDIO\r\n"
		"    TITLE \"First Song\"\r\n"
		"    PERFORMER \"Singer One\"\r\n"
		"    ISRC USTW10000001\r\n"
		"    INDEX 01 00:00:00\r\n"
		"  TRACK 02 AUDIO\r\n"
		"    FLAGS DCP\r\n"
		"    TITLE \"Second Song\"\r\n"
		"    PERFORMER \"Singer Two\"\r\n"
		"    INDEX 00 00:04:00\r\n"
		"    INDEX 01 00:06:00\r\n"
		"    INDEX 02 00:08:00\r\n"
		"  TRACK 03 AUDIO\r\n"
		"    TITLE \"Third\"\r\n"
		"    PERFORMER \"Singer Three\"\r\n"
		"    INDEX 00 00:12:00\r\n"
		"    INDEX 01 00:13:00\r\n");
	return disc;
}

// A drive description for tests: reads instantly.
inline CDriveConfig TestConfig()
{
	CDriveConfig config;
	config.realTime = false;
	return config;
}

// One command sent to a drive, with its outcome.
struct SOutcome {
	status_t status = B_OK;
	uint8 scsiStatus = 0;
	uint8 camStatus = 0;
	size_t residual = 0;
	uint8 sense[kFixedSenseLength] = {};

	uint8 Key() const { return sense[2] & 0x0F; }
	uint8 Asc() const { return sense[12]; }
	uint8 Ascq() const { return sense[13]; }
	bool Good() const { return status == B_OK && scsiStatus == SCSI_STATUS_GOOD; }
	// "key/asc/ascq" for messages.
	std::string SenseText() const
	{
		char text[32];
		snprintf(text, sizeof(text), "%X/%02X/%02X", Key(), Asc(), Ascq());
		return text;
	}
};

// Sends `cdb` to the drive; data-in unless `dataOut`.
inline SOutcome Send(CVirtualDevice& drive, std::initializer_list<uint8> cdb, void* data = nullptr,
	size_t length = 0, bool dataOut = false)
{
	raw_device_command command {};
	std::memcpy(command.command, cdb.begin(), cdb.size());
	command.command_length = uint8(cdb.size());
	command.flags = uint8((dataOut ? 0 : B_RAW_DEVICE_DATA_IN) | B_RAW_DEVICE_REPORT_RESIDUAL);
	command.data = data;
	command.data_length = length;
	SOutcome outcome;
	command.sense_data = outcome.sense;
	command.sense_data_length = sizeof(outcome.sense);
	command.timeout = 1000000;
	outcome.status = drive.Execute(&command);
	outcome.scsiStatus = command.scsi_status;
	outcome.camStatus = command.cam_status;
	outcome.residual = command.data_length;
	return outcome;
}

inline uint8 Hi(uint32 v) { return uint8(v >> 8); }
inline uint8 Lo(uint32 v) { return uint8(v); }
inline uint8 B3(uint32 v) { return uint8(v >> 24); }
inline uint8 B2(uint32 v) { return uint8(v >> 16); }

// Command blocks.
inline SOutcome TestUnitReady(CVirtualDevice& d) { return Send(d, {0x00, 0, 0, 0, 0, 0}); }

inline SOutcome ReadToc(CVirtualDevice& d, uint8 format, bool msf, uint8 number, std::vector<uint8>* out,
	uint16 allocation = 0xFFFF)
{
	out->assign(allocation, 0);
	SOutcome o = Send(d, {0x43, uint8(msf ? 0x02 : 0x00), format, 0, 0, 0, number, Hi(allocation), Lo(allocation), 0},
		out->data(), out->size());
	out->resize(out->size() - o.residual);
	return o;
}

inline SOutcome ReadCd(CVirtualDevice& d, int32 lba, uint32 count, uint8* out, size_t length, uint8 sub = 0,
	uint8 fields = 0x10, uint8 sectorType = 1)
{
	uint32 a = uint32(lba);
	return Send(d,
		{0xBE, uint8(sectorType << 2), B3(a), B2(a), Hi(a), Lo(a), uint8(count >> 16), Hi(count), Lo(count), fields,
			sub, 0},
		out, length);
}

inline SOutcome ReadCdDa(CVirtualDevice& d, int32 lba, uint32 count, uint8* out, size_t length, uint8 sub = 0)
{
	uint32 a = uint32(lba);
	return Send(d, {0xD8, 0, B3(a), B2(a), Hi(a), Lo(a), B3(count), B2(count), Hi(count), Lo(count), sub, 0}, out,
		length);
}

inline SOutcome ReadSubChannel(CVirtualDevice& d, uint8 format, bool msf, uint8 track, std::vector<uint8>* out)
{
	out->assign(48, 0);
	SOutcome o = Send(d, {0x42, uint8(msf ? 0x02 : 0x00), 0x40, format, 0, 0, track, 0, 48, 0}, out->data(),
		out->size());
	out->resize(out->size() - o.residual);
	return o;
}

inline SOutcome ModeSense(CVirtualDevice& d, uint8 page, uint8 control, std::vector<uint8>* out,
	uint16 allocation = 0x400)
{
	out->assign(allocation, 0);
	SOutcome o = Send(d, {0x5A, 0x08, uint8(control << 6 | page), 0, 0, 0, 0, Hi(allocation), Lo(allocation), 0},
		out->data(), out->size());
	out->resize(out->size() - o.residual);
	return o;
}

inline SOutcome ModeSelect(CVirtualDevice& d, std::vector<uint8> list, uint8 byte1 = 0x10)
{
	uint16 n = uint16(list.size());
	return Send(d, {0x55, byte1, 0, 0, 0, 0, 0, Hi(n), Lo(n), 0}, list.data(), list.size(), true);
}

inline SOutcome SetCdSpeed(CVirtualDevice& d, uint16 read, uint16 write)
{
	return Send(d, {0xBB, 0, Hi(read), Lo(read), Hi(write), Lo(write), 0, 0, 0, 0, 0, 0});
}

inline SOutcome PlayMsf(CVirtualDevice& d, int32 start, int32 end)
{
	SCdMsf s = LbaToMsf(start);
	SCdMsf e = LbaToMsf(end);
	return Send(d, {0x47, 0, 0, s.minute, s.second, s.frame, e.minute, e.second, e.frame, 0});
}

inline uint32 Be32(const uint8* p) { return GetBe32(p); }
inline uint16 Be16(const uint8* p) { return GetBe16(p); }

}   // namespace emutest
