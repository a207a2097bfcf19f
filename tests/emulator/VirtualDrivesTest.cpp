// The description file of the virtual drives, start-up through the device
// namespace, and an outside tool reading the images the tests make.
#include "EmulatorTestUtil.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>

#include "emulator/VirtualDrives.h"
#include "kit/device/VirtualDevice.h"
#include "RunCommand.h"

#include <fcntl.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <map>
#include <regex>
#include <sstream>

using namespace emutest;

namespace {

std::string ParseError(const std::string& text)
{
	std::vector<CDriveConfig> drives;
	std::string error;
	if (CDriveConfig::Parse(text, "/base", &drives, &error) == B_OK)
		return "accepted";
	return error;
}

// Sets an environment variable for one test.
class CEnvironment {
public:
	CEnvironment(const char* name, const std::string& value) : fName(name)
	{
		const char* old = getenv(name);
		fHad = old != nullptr;
		if (fHad)
			fOld = old;
		setenv(name, value.c_str(), 1);
	}
	~CEnvironment()
	{
		if (fHad)
			setenv(fName.c_str(), fOld.c_str(), 1);
		else
			unsetenv(fName.c_str());
	}

private:
	std::string fName;
	std::string fOld;
	bool fHad = false;
};

}   // namespace

TEST(DriveConfigParse, ReadsEveryKey)
{
	const char* text =
		"# two drives\n"
		"[drive]\n"
		"vendor = \"YAMAHA  \"\n"
		"product = CRW4416S\n"
		"revision = 1.0b\n"
		"type = 4\n"
		"bus = atapi\n"
		"read_speeds = 2, 4 6\n"
		"write_speeds = 1 2 4\n"
		"buffer_kb = 0x800\n"
		"burn_free = yes\n"
		"isrc = no\n"
		"read_cd_da = no\n"
		"medium = cdrw\n"
		"minutes = 74\n"
		"output = out\n"
		"timing = instant\n"
		"q_format = HEX\n"
		"not_ready = 3\n"
		"medium_error = 1000 2\n"
		"medium_error = 2000\n"
		"command_error = 0x43 5 0x24 0 -1\n"
		"\n"
		"[ drive ]\r\n"
		"write_cdr = no\r\n"
		"write_cdrw = no\r\n"
		"image = /discs/album.cue\r\n"
		"cdtext = album.cdt\r\n";
	std::vector<CDriveConfig> drives;
	std::string error;
	ASSERT_EQ(CDriveConfig::Parse(text, "/base", &drives, &error), B_OK) << error;
	ASSERT_EQ(drives.size(), 2u);
	const CDriveConfig& a = drives[0];
	EXPECT_EQ(a.vendor, "YAMAHA  ");
	EXPECT_EQ(a.product, "CRW4416S");
	EXPECT_EQ(a.revision, "1.0b");
	EXPECT_EQ(a.peripheralType, 4);
	EXPECT_TRUE(a.atapi);
	EXPECT_EQ(a.capabilities.readSpeeds, (std::vector<uint16> {353, 706, 1058}));
	EXPECT_EQ(a.capabilities.writeSpeeds, (std::vector<uint16> {176, 353, 706}));
	EXPECT_EQ(a.capabilities.bufferKb, 2048);
	EXPECT_TRUE(a.capabilities.bufferUnderrunFree);
	EXPECT_FALSE(a.capabilities.isrc);
	EXPECT_FALSE(a.readCdDaCommand);
	EXPECT_EQ(a.medium, CDriveConfig::kMediumBlankCdRw);
	EXPECT_EQ(a.minutes, 74);
	EXPECT_EQ(a.output, "/base/out");
	EXPECT_FALSE(a.realTime);
	EXPECT_TRUE(a.hexQ);
	EXPECT_EQ(a.notReady, 3);
	ASSERT_EQ(a.mediumErrors.size(), 2u);
	EXPECT_EQ(a.mediumErrors[0].lba, 1000);
	EXPECT_EQ(a.mediumErrors[0].attempts, 2);
	EXPECT_EQ(a.mediumErrors[1].attempts, 1);
	ASSERT_EQ(a.commandFaults.size(), 1u);
	EXPECT_EQ(a.commandFaults[0].opcode, 0x43);
	EXPECT_EQ(a.commandFaults[0].sense.asc, 0x24);
	EXPECT_EQ(a.commandFaults[0].attempts, -1);

	const CDriveConfig& b = drives[1];
	EXPECT_EQ(b.vendor, "TARNWICK") << "defaults";
	EXPECT_EQ(b.medium, CDriveConfig::kMediumImage);
	EXPECT_EQ(b.image, "/discs/album.cue");
	EXPECT_EQ(b.cdText, "/base/album.cdt");
	EXPECT_TRUE(b.capabilities.writeSpeeds.empty()) << "a reader has no write speeds";
	EXPECT_FALSE(b.capabilities.testWrite);
	EXPECT_TRUE(b.realTime);
	EXPECT_FALSE(b.hexQ) << "BCD unless told";

	// An empty description offers no drive.
	ASSERT_EQ(CDriveConfig::Parse("# none\n", "/", &drives, nullptr), B_OK);
	EXPECT_TRUE(drives.empty());
}

TEST(DriveConfigParse, RefusesBadDescriptionsNamingTheLine)
{
	EXPECT_EQ(ParseError("vendor = X\n"), "line 1: key vendor outside a [drive] section");
	EXPECT_EQ(ParseError("[drives]\n"), "line 1: unknown section [drives] (only [drive])");
	EXPECT_EQ(ParseError("[drive]\nvendor = NINECHARS\n"),
		"line 2: vendor takes at most 8 printable ASCII characters or \\xNN escapes (\\\\ for a backslash)");
	EXPECT_EQ(ParseError("[drive]\nproduct = \"open\n"), "line 2: unterminated quote");
	EXPECT_EQ(ParseError("[drive]\nspeed = 4\n"), "line 2: unknown key speed");
	EXPECT_EQ(ParseError("[drive]\nread_speeds = 4 x\n"), "line 2: read_speeds lists up to 32 speed factors 1..100");
	EXPECT_EQ(ParseError("[drive]\nread_speeds = 101\n"), "line 2: read_speeds lists up to 32 speed factors 1..100");
	EXPECT_EQ(ParseError("[drive]\nread_speeds =\n"), "line 2: read_speeds needs at least one speed");
	EXPECT_EQ(ParseError("[drive]\nminutes = 100\n"), "line 2: minutes is 1..99");
	EXPECT_EQ(ParseError("[drive]\nbuffer_kb = 99999999999999\n"), "line 2: buffer_kb is 0..65535");
	EXPECT_EQ(ParseError("[drive]\nmedium = dvd\n"), "line 2: medium is none, cdr, cdrw or image");
	EXPECT_EQ(ParseError("[drive]\nmedium = image\n[drive]\n"), "line 3: medium = image needs an image");
	EXPECT_EQ(ParseError("[drive]\nwrite_speeds =\n"), "line 2: a drive that writes needs write_speeds");
	EXPECT_EQ(ParseError("[drive]\ncommand_error = 0x43 16 0 0\n"),
		"line 2: command_error is opcode, sense key, ASC, ASCQ and optionally a count");
	EXPECT_EQ(ParseError("[drive]\nmedium_error = -5\n"),
		"line 2: medium_error is an LBA and optionally a count of attempts");
	EXPECT_EQ(ParseError("[drive]\nlock = maybe\n"), "line 2: lock is yes or no");
	EXPECT_EQ(ParseError("[drive]\nq_format = binary\n"), "line 2: q_format is bcd or hex");
	EXPECT_EQ(ParseError("[drive]\nvendor = " + std::string(5000, 'x') + "\n"), "line 2: line too long");
	std::string many;
	for (int i = 0; i < 17; i++)
		many += "[drive]\n";
	EXPECT_EQ(ParseError(many), "line 17: more than 16 drives");
}

// A FIFO at the description's path is refused at once, not waited on.
TEST(DriveConfigParse, AFifoIsNoDescription)
{
	CTempFolder folder;
	std::string fifo = folder.File("drives");
	ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
	std::vector<CDriveConfig> drives;
	std::string error;
	auto load = std::async(std::launch::async, [&] { return CDriveConfig::Load(fifo, &drives, &error); });
	bool finished = load.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
	if (!finished) {
		int writer = open(fifo.c_str(), O_RDWR | O_NONBLOCK);   // lets a blocked open return
		load.wait();
		close(writer);
	}
	EXPECT_TRUE(finished) << "the open waited for a writer";
	EXPECT_EQ(load.get(), B_BAD_DATA);
	EXPECT_NE(error.find("is not a file"), std::string::npos) << error;
}

TEST(DriveConfigParse, IdentityEscapesStandForRawBytes)
{
	const char* text =
		"[drive]\n"
		"vendor = \\x00\n"
		"product = \"\\x41\\\\b\\xfF \"\n"
		"revision = \\x00\\x01\\x7f\\\\\n";
	std::vector<CDriveConfig> drives;
	std::string error;
	ASSERT_EQ(CDriveConfig::Parse(text, "/base", &drives, &error), B_OK) << error;
	ASSERT_EQ(drives.size(), 1u);
	EXPECT_EQ(drives[0].vendor, std::string(1, '\0'));
	EXPECT_EQ(drives[0].product, std::string("A\\b\xFF "));
	EXPECT_EQ(drives[0].revision, std::string("\0\x01\x7F\\", 4));

	// The drive answers with the bytes as they are, the zero included.
	auto drive = std::make_shared<CMmcDrive>(drives[0], CDiscImage::CreateBlank(CDiscImage::kBlankCdR, 80));
	uint8 data[36];
	ASSERT_TRUE(Send(*drive, {0x12, 0, 0, 0, 36, 0}, data, sizeof(data)).Good());
	EXPECT_EQ(std::string(reinterpret_cast<char*>(data + 8), 8), std::string("\0       ", 8));
	EXPECT_EQ(std::string(reinterpret_cast<char*>(data + 16), 5), "A\\b\xFF ");
	EXPECT_EQ(std::string(reinterpret_cast<char*>(data + 32), 4), std::string("\0\x01\x7F\\", 4));

	// The limits count decoded bytes; a bad or cut escape is refused.
	EXPECT_EQ(ParseError("[drive]\nvendor = \\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\n"), "accepted");
	const std::string refused =
		"line 2: vendor takes at most 8 printable ASCII characters or \\xNN escapes (\\\\ for a backslash)";
	for (const char* value : {"\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00X", "\\", "A\\", "\\x", "\\x4",
			 "\\x4g", "\\X41", "\\n", "\\0", "\"\\x4\"", "\xC3\xA9"})
		EXPECT_EQ(ParseError(std::string("[drive]\nvendor = ") + value + "\n"), refused) << value;
}

TEST(VirtualDriveStart, OffersTheDescribedDrivesOrTheDefaultRecorder)
{
	CTempFolder folder;
	UnregisterVirtualDevices();
	{
		// No description: one recorder with a blank 80-minute CD-R.
		CEnvironment noFile("TARNWICK_VIRTUAL_DRIVES", "");
		std::vector<std::string> paths;
		ASSERT_EQ(StartVirtualDrives(&paths), B_OK);
		ASSERT_EQ(paths.size(), 1u);
		EXPECT_EQ(VirtualDevicePaths(), paths);
		int fd = dev_open(paths[0].c_str(), O_RDONLY);
		ASSERT_GE(fd, 0);
		uint8 atip[28] = {};
		raw_device_command command {};
		const uint8 cdb[10] = {0x43, 0, 4, 0, 0, 0, 0, 0, 28, 0};
		std::memcpy(command.command, cdb, sizeof(cdb));
		command.command_length = 10;
		command.flags = B_RAW_DEVICE_DATA_IN;
		command.data = atip;
		command.data_length = sizeof(atip);
		ASSERT_EQ(dev_ioctl(fd, B_RAW_DEVICE_COMMAND, &command, sizeof(command)), 0);
		EXPECT_EQ(command.scsi_status, 0);
		EXPECT_EQ(atip[12], 79) << "80-minute CD-R";
		dev_close(fd);
		StopVirtualDrives();
		EXPECT_TRUE(VirtualDevicePaths().empty());
	}
	{
		// A description in the settings folder.
		STestDisc disc = MakeTestDisc(folder);
		std::string settings = std::string(getenv("XDG_CONFIG_HOME")) + "/Tarnwick";
		std::filesystem::create_directories(settings);
		WriteText(settings + "/virtual-drives",
			"[drive]\nproduct = Reader\nbus = atapi\nimage = " + disc.cuePath + "\n[drive]\nmedium = none\n");
		CEnvironment noVariable("TARNWICK_VIRTUAL_DRIVES", "");
		std::vector<std::string> paths;
		ASSERT_EQ(StartVirtualDrives(&paths), B_OK);
		ASSERT_EQ(paths.size(), 2u);
		EXPECT_EQ(paths[0].rfind("/dev/disk/ide/atapi/", 0), 0u) << paths[0];
		int fd = dev_open(paths[0].c_str(), O_RDONLY);
		ASSERT_GE(fd, 0);
		std::vector<uint8> audio(kCdAudioSectorSize);
		EXPECT_EQ(dev_read_cd_audio(fd, 5, 1, audio.data()), B_OK);
		EXPECT_EQ(std::memcmp(audio.data(), &disc.audio[5 * kCdAudioSectorSize], audio.size()), 0);
		dev_close(fd);
		StopVirtualDrives();
		std::filesystem::remove(settings + "/virtual-drives");
	}
	{
		// The variable wins; a drive whose image is missing is left out.
		WriteText(folder.File("drives"), "[drive]\nimage = missing.cue\n[drive]\nmedium = cdrw\n");
		CEnvironment variable("TARNWICK_VIRTUAL_DRIVES", folder.File("drives"));
		std::vector<std::string> paths;
		EXPECT_EQ(StartVirtualDrives(&paths), B_ENTRY_NOT_FOUND);
		EXPECT_EQ(paths.size(), 1u);
		StopVirtualDrives();
	}
	{
		// Messages quote the file's bytes with their control characters
		// escaped: an escape sequence in it never reaches the terminal.
		WriteText(folder.File("hostile"), "[drive]\nvendor = \\x1b[2J\nimage = gone\x1b]0;x\x07.cue\n");
		CEnvironment variable("TARNWICK_VIRTUAL_DRIVES", folder.File("hostile"));
		testing::internal::CaptureStderr();
		EXPECT_EQ(StartVirtualDrives(nullptr), B_ENTRY_NOT_FOUND);
		std::string printed = testing::internal::GetCapturedStderr();
		EXPECT_EQ(printed.find('\x1b'), std::string::npos) << printed;
		EXPECT_EQ(printed.find('\x07'), std::string::npos) << printed;
		EXPECT_NE(printed.find("virtual drives: \\x1B[2J"), std::string::npos) << printed;
		EXPECT_NE(printed.find("gone\\x1B]0;x\\x07.cue"), std::string::npos) << printed;

		WriteText(folder.File("hostile"), "[drive]\nspeed\x1b[31m = 4\n");
		testing::internal::CaptureStderr();
		EXPECT_EQ(StartVirtualDrives(nullptr), B_BAD_DATA);
		printed = testing::internal::GetCapturedStderr();
		EXPECT_NE(printed.find("line 2: unknown key speed\\x1B[31m"), std::string::npos) << printed;
		StopVirtualDrives();
	}
	{
		CEnvironment none("TARNWICK_VIRTUAL_DRIVES", "none");
		std::vector<std::string> paths;
		EXPECT_EQ(StartVirtualDrives(&paths), B_OK);
		EXPECT_TRUE(paths.empty());
	}
	{
		CEnvironment missing("TARNWICK_VIRTUAL_DRIVES", folder.File("nothing-here"));
		EXPECT_EQ(StartVirtualDrives(nullptr), B_ENTRY_NOT_FOUND);
		EXPECT_TRUE(VirtualDevicePaths().empty());
	}
}

// libcdio's cd-info reads the test image on its own: same track count and
// the same track starts as the drive's TOC.
TEST(OutsideTool, CdInfoReadsTheTestImageLikeTheDrive)
{
	if (system("command -v cd-info >/dev/null 2>&1") != 0)
		GTEST_SKIP() << "cd-info (libcdio-utils) is not installed";
	CTempFolder folder;
	STestDisc disc = MakeTestDisc(folder, "image");
	std::string command = "cd-info --no-device-info --no-header --cue-file '" + disc.cuePath + "' 2>&1";
	int status = -1;
	std::string output = RunCommand(command, &status);
	ASSERT_EQ(status, 0) << output;

	std::smatch match;
	ASSERT_TRUE(std::regex_search(output, match, std::regex(R"(Track List \((\d+) - (\d+)\))"))) << output;
	EXPECT_EQ(std::stoi(match[1]), 1);
	EXPECT_EQ(std::stoi(match[2]), 3);

	std::shared_ptr<CDiscImage> image;
	std::string error;
	ASSERT_EQ(CDiscImage::LoadCue(disc.cuePath, &image, &error), B_OK) << error;
	CMmcDrive drive(TestConfig(), image);
	std::vector<uint8> toc;
	ASSERT_TRUE(ReadToc(drive, 0, false, 0, &toc).Good());
	std::map<int, int32> ours;
	for (size_t i = 4; i + 8 <= toc.size(); i += 8)
		ours[toc[i + 2] == 0xAA ? 170 : toc[i + 2]] = int32(Be32(&toc[i + 4]));

	std::regex line(R"(^\s*(\d+): \d\d:\d\d:\d\d\s+(\d+) )");
	std::map<int, int32> theirs;
	std::istringstream lines(output);
	for (std::string text; std::getline(lines, text);)
		if (std::regex_search(text, match, line))
			theirs[std::stoi(match[1])] = std::stoi(match[2]);
	EXPECT_EQ(theirs, ours) << output;
	EXPECT_NE(output.find("0123456789012"), std::string::npos) << "the catalogue number";
}
