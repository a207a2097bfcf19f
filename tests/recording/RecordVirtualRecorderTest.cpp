// Whole burns on the default virtual recorder, through the driver add-ons:
// `tarnwick-cli record --verify` of a project of three formats with a start
// silence set in the project model, its image read by cd-info; the same
// project written track-at-once and, through the engine's own interface,
// simulated then written (flags 3); and a verification that must fail.
#include "media/MediaFixtures.h"

#include "devices/Device.h"
#include "devices/devices.h"
#include "disc/Toc.h"
#include "driver/driverbaseclass.h"
#include "frame/App.h"
#include "frame/Preference.h"
#include "kit/app/MessageSink.h"
#include "kit/device/DeviceNamespace.h"
#include "projects/Project.h"
#include "projects/ProjectTrack.h"
#include "recording/CdRecordStatusView.h"
#include "recording/RecordAction.h"
#include "QuietDrives.h"
#include "RecordEngineFixture.h"
#include "RunCommand.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct CLI_RUN {
	int exitStatus = -1;
	std::string output;
};

// Runs `tarnwick-cli` with `arguments` (shell words), `environment`
// prepended (VAR=value words); stdout and stderr together.
CLI_RUN RunCli(const std::string& arguments, const std::string& environment = "")
{
	CLI_RUN run;
	std::string command = environment + " " + media_test::Quote(TARNWICK_CLI_PATH) + " " + arguments
		+ " --add-ons " + media_test::Quote(TARNWICK_ADDONS_DIR) + " 2>&1 </dev/null";
	run.output = RunCommand(command, &run.exitStatus);
	return run;
}

bool Contains(const std::string& text, const std::string& part)
{
	return text.find(part) != std::string::npos;
}

std::string ReadWhole(const std::string& path)
{
	std::ifstream file(path, std::ios::binary);
	return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The CUE files the recorder wrote into `folder`, in name order.
std::vector<std::string> Images(const std::string& folder)
{
	std::vector<std::string> cues;
	std::error_code ignored;
	for (const fs::directory_entry& entry : fs::directory_iterator(folder, ignored))
		if (entry.path().extension() == ".cue")
			cues.push_back(entry.path().string());
	std::sort(cues.begin(), cues.end());
	return cues;
}

// The track starts (LSN, the lead-out last) that cd-info reads from a CUE
// image; empty when cd-info is missing or reads nothing.
std::vector<int> CdInfoStarts(const std::string& cue)
{
	std::vector<int> starts;
	FILE* pipe = popen(("cd-info --no-header --no-device-info --no-cddb --no-disc-mode --cue-file "
						   + media_test::Quote(cue) + " 2>/dev/null").c_str(),
		"r");
	if (pipe == nullptr)
		return starts;
	std::string text;
	char buffer[4096];
	size_t got;
	while ((got = fread(buffer, 1, sizeof(buffer), pipe)) > 0)
		text.append(buffer, got);
	pclose(pipe);
	std::regex line(R"(^\s*\d+: \d\d:\d\d:\d\d\s+(\d+) (audio|leadout))");
	std::istringstream lines(text);
	std::string each;
	std::smatch match;
	while (std::getline(lines, each))
		if (std::regex_search(each, match, line))
			starts.push_back(std::stoi(match[1]));
	return starts;
}

bool HaveCdInfo()
{
	return std::system("command -v cd-info >/dev/null 2>&1") == 0;
}

// Each fixture holds kCdFrames (100001) frames: 171 sectors with padding.
constexpr int kFileSectors = 171;
// Track 1 at 0; track 2's 2-second pause (150 sectors) from 171, its audio
// from 321; track 3 from 492; the lead-out at 663.
const std::vector<int> kStarts = {0, 321, 492, 663};

class VirtualRecorderBurn : public testing::Test {
protected:
	void SetUp() override
	{
		fRecorderFolder = std::string(getenv("XDG_DATA_HOME")) + "/tarnwick/virtual-recorder";
		fFolder = std::string(getenv("HOME")) + "/Three Formats";
		fs::remove_all(fFolder);
		fs::create_directories(fFolder);
		const char* names[] = {"1 Flac.flac", "2 Mp3.mp3", "3 Wav.wav"};
		// The FLAC fixture holds 24-bit samples, which a disc cannot take:
		// a 16-bit one of the same tone and length is made here.
		ASSERT_TRUE(media_test::RunFfmpeg(media_test::ToneSource(44100, 2, media_test::kCdFrames)
			+ media_test::Trim(media_test::kCdFrames) + "-c:a flac -sample_fmt s16 "
			+ media_test::Quote(fFolder + "/" + names[0])));
		fs::copy_file(media_test::Fixture("cd.mp3"), fFolder + "/" + names[1]);
		fs::copy_file(media_test::Fixture("cd.wav"), fFolder + "/" + names[2]);
		// The project model: three tracks, a 2-second start silence on
		// track 2, saved as the project's data file.
		CProject project(fFolder.c_str());
		for (int i = 0; i < 3; i++) {
			auto track = std::make_unique<CProjectTrack>(&project, names[i], names[i], "Artist", 0, 0, 0);
			if (i == 1)
				track->SetStartSilenceLength(2 * 44100);
			project.AddTrack(std::move(track));
		}
		ASSERT_EQ(project.Save(), B_OK);
		ASSERT_TRUE(fs::exists(fFolder + "/" + kProjectDataFileName));
	}

	// A drives file describing the default recorder (same output folder, a
	// fresh blank after an eject) that writes at once instead of at its
	// speed: for the runs beyond the first.
	std::string InstantRecorder()
	{
		std::string drives = std::string(getenv("HOME")) + "/instant-drives";
		std::ofstream(drives) << "[drive]\ntiming = instant\nafter_eject = blank\noutput = " << fRecorderFolder
							  << "\n";
		return drives;
	}

	// The devices of the drives file `drives` opened in this process, and
	// the first that writes disc-at-once (null if none does).
	CDevice* OpenRecorder(const std::string& drives)
	{
		std::string systemRoot = std::string(getenv("HOME")) + "/no-real-drives";
		fs::create_directories(systemRoot);
		dev_set_system_roots(systemRoot.c_str(), systemRoot.c_str());
		InitPreferenceHandler(GetSettingsFile().c_str());
		OpenDrivesQuietly(drives.c_str());
		for (int i = 0; i < kMaxDevices && g_pDevices[i] != nullptr; i++) {
			CDriver* driver = g_pDevices[i]->GetDriver();
			if (driver != nullptr && (driver->Flags & F_DAO_WRITE) != 0)
				return g_pDevices[i];
		}
		return nullptr;
	}

	// A disc-at-once run of the engine with `flags` (verifying what it
	// writes), on `clock` or the real one; the view once its run has ended.
	std::unique_ptr<CCdRecordStatusView> RunEngine(CDevice* device, CProject* project, int32 flags,
		CRecordClock* clock = nullptr)
	{
		auto* action = new CRecordAction;
		action->nActionFlags = flags;
		action->nWriteMode = RECORD_MODE_DAO;
		action->pProject = project;
		action->pDevice = device;
		action->nWriteSpeed = -1;
		action->bVerify = true;
		auto view = std::make_unique<CCdRecordStatusView>(fSink->Messenger(), clock);
		view->StartRecording(action);
		std::unique_ptr<BMessage> ended = fSink->WaitForMessage(M_RECORD_WRITE_THREAD_ENDED, 120000000);
		EXPECT_NE(ended, nullptr);
		if (ended != nullptr)
			view->MessageReceived(ended.get());
		return view;
	}

	// The image of the last burn.
	std::string LastImage()
	{
		std::vector<std::string> cues = Images(fRecorderFolder);
		return cues.empty() ? std::string() : cues.back();
	}

	void ExpectImage(const std::string& cue)
	{
		ASSERT_FALSE(cue.empty());
		// The CUE names track 2's pause as its index 0.
		std::string text = ReadWhole(cue);
		EXPECT_TRUE(Contains(text, "TRACK 02 AUDIO\n    INDEX 00 00:02:21\n    INDEX 01 00:04:21")) << text;
		if (!HaveCdInfo()) {
			GTEST_LOG_(INFO) << "cd-info not found: the image is not read by it";
			return;
		}
		EXPECT_EQ(CdInfoStarts(cue), kStarts);
		std::string bin = cue.substr(0, cue.size() - 4) + ".bin";
		EXPECT_EQ(fs::file_size(bin), uintmax_t(kStarts.back()) * 2352);
	}

	std::string fFolder;
	std::string fRecorderFolder;
	std::shared_ptr<CMessageSink> fSink = std::make_shared<CMessageSink>();
};

const char kEveryTrackVerified[] = "verify: Track 01: verified\nverify: Track 02: verified\nverify: Track 03: verified\n";

TEST_F(VirtualRecorderBurn, CommandLineWritesAndVerifiesAtOnceAndTrackAtOnce)
{
	// Disc-at-once on the default recorder as it is (writing at its speed),
	// track-at-once on the same recorder writing at once.
	for (const char* mode : {"", "--tao --no-eject"}) {
		SCOPED_TRACE(mode);
		size_t before = Images(fRecorderFolder).size();
		std::string environment = mode[0] == '\0' ? "" : "TARNWICK_VIRTUAL_DRIVES=" + media_test::Quote(InstantRecorder());
		CLI_RUN run = RunCli("record " + media_test::Quote(fFolder) + " --verify " + mode, environment);
		EXPECT_EQ(run.exitStatus, 0) << run.output;
		EXPECT_TRUE(Contains(run.output, "Writing is finished.\n")) << run.output;
		EXPECT_TRUE(Contains(run.output, kEveryTrackVerified)) << run.output;
		EXPECT_FALSE(Contains(run.output, "shorter than expected")) << run.output;
		ASSERT_EQ(Images(fRecorderFolder).size(), before + 1);
		ExpectImage(LastImage());
	}
}

TEST_F(VirtualRecorderBurn, VerificationFailsWhenTheDiscReadsBackOtherwise)
{
	// A recorder whose reads come 30 samples late: the disc is written
	// right, yet what is read back differs from the sources.
	std::string drives = std::string(getenv("HOME")) + "/shifted-drives";
	std::ofstream(drives) << "[drive]\nproduct = \"Shifted Recorder\"\ntiming = instant\nafter_eject = blank\n"
						  << "read_offset = 30\noutput = " << fRecorderFolder << "/shifted\n";
	CLI_RUN run = RunCli("record " + media_test::Quote(fFolder) + " --verify",
		"TARNWICK_VIRTUAL_DRIVES=" + media_test::Quote(drives));
	EXPECT_EQ(run.exitStatus, 1) << run.output;
	EXPECT_TRUE(Contains(run.output, "Writing is finished.\n")) << run.output;
	EXPECT_TRUE(std::regex_search(run.output, std::regex("verify: Track 01: differs from its source at sector \\d+")))
		<< run.output;
	EXPECT_TRUE(Contains(run.output, "does not verify")) << run.output;

	// Without --verify the same burn succeeds.
	run = RunCli("record " + media_test::Quote(fFolder), "TARNWICK_VIRTUAL_DRIVES=" + media_test::Quote(drives));
	EXPECT_EQ(run.exitStatus, 0) << run.output;
	EXPECT_FALSE(Contains(run.output, "verify:")) << run.output;
}

// The recorder's own faults end each run with the engine's message and a
// failure status, and leave no finished image.
TEST_F(VirtualRecorderBurn, RecorderFaultsEndTheRunWithTheirMessages)
{
	struct FAULT {
		const char* drive;     // the fault's line of the drives file
		const char* options;
		const char* message;   // how the failure line begins
		const char* alsoShown; // printed as well (an alert's text), or null
	};
	const FAULT faults[] = {
		{"write_error = 100", "", "Writing failed! (CHECK CONDITION.", nullptr},
		{"command_error = 187 5 36 0 -1", "--speed 8", "Could not set write speed. (CHECK CONDITION.", nullptr},
		{"command_error = 93 5 38 0 -1", "", "Could not open new session. (CHECK CONDITION.",
			"Your recorder may not support the Disk-At-Once (DAO) recording mode."},
		{"", "--burn-proof", "Could not open new session. (CHECK CONDITION.",
			"Your recorder may not support the BURN-Proof feature."},
		{"command_error = 53 3 12 0 -1", "", "Could not close session. (CHECK CONDITION.", nullptr},
		// The lead-out starts at 663; at 4X the drive writes 300 sectors a
		// second, and a small buffer leaves little to drain at the close.
		// Failing about 12 s into the closing is the drive's word on a
		// closing that ran; about 3 s in, the closing itself was refused.
		{"buffer_kb = 256\nwrite_error = 4233", "--speed 4", "Closing session finished with an error. (CHECK CONDITION.",
			nullptr},
		{"buffer_kb = 256\nwrite_error = 1533", "--speed 4", "Could not close session. (CHECK CONDITION.", nullptr},
	};
	for (const FAULT& fault : faults) {
		SCOPED_TRACE(std::string(fault.drive) + " " + fault.options);
		std::string drives = std::string(getenv("HOME")) + "/faulty-drives";
		std::ofstream(drives) << "[drive]\ntiming = instant\nafter_eject = blank\noutput = " << fRecorderFolder
							  << "\n" << fault.drive << "\n";
		size_t before = Images(fRecorderFolder).size();
		CLI_RUN run = RunCli("record " + media_test::Quote(fFolder) + " " + fault.options,
			"TARNWICK_VIRTUAL_DRIVES=" + media_test::Quote(drives));
		EXPECT_EQ(run.exitStatus, 1) << run.output;
		EXPECT_TRUE(Contains(run.output, std::string("\ntarnwick-cli: ") + fault.message)) << run.output;
		if (fault.alsoShown != nullptr) {
			EXPECT_TRUE(Contains(run.output, fault.alsoShown)) << run.output;
		}
		EXPECT_FALSE(Contains(run.output, "Writing is finished.")) << run.output;
		EXPECT_EQ(Images(fRecorderFolder).size(), before);
	}
}

// The engine's interface, not the command line: a simulation followed by
// the write (flags 3) leaves the same disc as a plain write, and a
// simulation alone leaves the disc blank.
TEST_F(VirtualRecorderBurn, SimulationThenWriteLeavesTheSameDiscAndASimulationLeavesItBlank)
{
	const size_t before = Images(fRecorderFolder).size();
	CDevice* device = OpenRecorder(InstantRecorder());
	ASSERT_NE(device, nullptr);

	auto project = std::make_unique<CProject>(fFolder.c_str());
	ASSERT_EQ(project->Load(), B_OK);
	ASSERT_EQ(project->CountTracks(), 3);
	auto run = [&](int32 flags) {
		std::unique_ptr<CCdRecordStatusView> view = RunEngine(device, project.get(), flags);
		EXPECT_TRUE(view->Succeeded()) << view->FailureMessage();
		EXPECT_EQ(g_CdRecordingActive, 0);
		return view;
	};

	std::unique_ptr<CCdRecordStatusView> view = run(RECORD_ACTION_SIMULATE);
	EXPECT_EQ(view->Display().status, "Simulation is finished.");
	EXPECT_TRUE(view->Display().verification.empty());
	EXPECT_EQ(Images(fRecorderFolder).size(), before) << "a simulation wrote an image";
	// The disc in the recorder is still blank: it holds no track.
	device->GetDriver()->MediumLoad(device, nullptr);
	EXPECT_FALSE(device->ReadToc() && device->GetToc()->TrackCount() > 0);

	view = run(RECORD_ACTION_SIMULATE | RECORD_ACTION_WRITE);
	EXPECT_EQ(view->Display().status, "Writing is finished.");
	EXPECT_TRUE(view->Verified());
	EXPECT_EQ(view->Display().verification,
		(std::vector<std::string> {"Track 01: verified", "Track 02: verified", "Track 03: verified"}));
	ASSERT_EQ(Images(fRecorderFolder).size(), before + 1);
	std::string simulatedFirst = LastImage();
	ExpectImage(simulatedFirst);
	view.reset();
	project.reset();
	CloseDevices();
	UnloadDriver();

	// The plain write of the command line gives the same bytes.
	CLI_RUN plain = RunCli("record " + media_test::Quote(fFolder));
	unsetenv("TARNWICK_VIRTUAL_DRIVES");
	ASSERT_EQ(plain.exitStatus, 0) << plain.output;
	ASSERT_EQ(Images(fRecorderFolder).size(), before + 2);
	auto binOf = [](const std::string& cue) { return ReadWhole(cue.substr(0, cue.size() - 4) + ".bin"); };
	EXPECT_TRUE(binOf(simulatedFirst) == binOf(LastImage()));
}

// A recorder that never becomes ready: the engine waits its 60 rounds of a
// second (on a fast clock), ends with the drive's answer, and leaves the
// tray free and no run behind.
TEST_F(VirtualRecorderBurn, ARecorderThatNeverGetsReadyEndsTheRunAfterAMinute)
{
	std::string drives = std::string(getenv("HOME")) + "/never-ready-drives";
	std::ofstream(drives) << "[drive]\ntiming = instant\nafter_eject = blank\noutput = " << fRecorderFolder
						  << "\ncommand_error = 0 2 4 1 -1\n";
	const size_t before = Images(fRecorderFolder).size();
	CDevice* device = OpenRecorder(drives);
	ASSERT_NE(device, nullptr);
	auto project = std::make_unique<CProject>(fFolder.c_str());
	ASSERT_EQ(project->Load(), B_OK);

	recordtest::CFastClock clock;
	const bigtime_t started = clock.Now();
	std::unique_ptr<CCdRecordStatusView> view = RunEngine(device, project.get(), RECORD_ACTION_WRITE, &clock);
	EXPECT_FALSE(view->Succeeded());
	EXPECT_EQ(view->FailureMessage().rfind("Device not ready. (CHECK CONDITION.", 0), 0u) << view->FailureMessage();
	EXPECT_GE(clock.Now() - started, 60000000);
	EXPECT_EQ(g_CdRecordingActive, 0);
	EXPECT_EQ(Images(fRecorderFolder).size(), before);
	// The failure end allowed medium removal: the tray opens again.
	SCSI_STATUS status {};
	device->GetDriver()->MediumLoad(device, nullptr);
	EXPECT_TRUE(device->GetDriver()->MediumEject(device, &status)) << int(status.sense.AdditionalSenseCode);

	view.reset();
	project.reset();
	CloseDevices();
	UnloadDriver();
	unsetenv("TARNWICK_VIRTUAL_DRIVES");
}

}   // namespace
