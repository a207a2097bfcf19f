// Digital playback of a virtual disc into a file sink driven by a clock of
// the test's own: the frames heard are the disc's from the chosen position,
// and the reported position moves with the clock, stands still while
// paused and ends with the disc.
#include "driver/VirtualDriveFixture.h"

#include "disc/Toc.h"
#include "kit/media/AudioOutput.h"
#include "players/CdTransports.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

using namespace drivertest;
using namespace emutest;

namespace {

constexpr int32 kSector = 2352;

std::shared_ptr<CDiscImage> LoadDisc(const STestDisc& disc)
{
	std::shared_ptr<CDiscImage> image;
	std::string error;
	EXPECT_EQ(CDiscImage::LoadCue(disc.cuePath, &image, &error), B_OK) << error;
	return image;
}

std::vector<uint8> ReadFile(const std::string& path)
{
	std::ifstream in(path, std::ios::binary);
	return std::vector<uint8>(std::istreambuf_iterator<char>(in), {});
}

// Waits (bounded) until `condition` holds.
template <typename Condition>
bool Eventually(Condition condition)
{
	bigtime_t end = system_time() + 10000000;
	while (!condition()) {
		if (system_time() > end)
			return false;
		snooze(1000);
	}
	return true;
}

class DigitalPlayback : public testing::Test {
protected:
	void SetUp() override
	{
		fDrive = std::make_unique<CVirtualDrive>(TestConfig(), LoadDisc(fDisc));
		ASSERT_TRUE(fDrive->Device()->ReadToc());
		fOutput = new CAudioOutput(MakeClockedSink(fClock, fFolder.File("heard.raw")), 8192);
		fPlayer = std::make_unique<CCdDigitalPlayer>(fDrive->Device(), std::unique_ptr<CAudioOutput>(fOutput));
		ASSERT_EQ(fPlayer->InitCheck(), B_OK);
	}

	CTempFolder fFolder;
	STestDisc fDisc = MakeTestDisc(fFolder);
	std::unique_ptr<CVirtualDrive> fDrive;
	std::shared_ptr<CManualClock> fClock = std::make_shared<CManualClock>();
	CAudioOutput* fOutput = nullptr;
	std::unique_ptr<CCdDigitalPlayer> fPlayer;
};

TEST_F(DigitalPlayback, FramesHeardAreTheDiscsAndThePositionFollowsTheClock)
{
	EXPECT_TRUE(IsVirtualCdDevice(fDrive->Device()));
	EXPECT_EQ(GetCdPlaybackMode(fDrive->Device()), CdPlaybackMode::kDigital);

	const int32 start = kTrack2Start + 10;
	ASSERT_TRUE(fPlayer->PlayPosition(start));
	// No time has passed: nothing heard, the position is the start.
	EXPECT_EQ(fPlayer->AbsolutePosition(), start + 150);
	EXPECT_EQ(fPlayer->CurrentTrack(), 2);
	EXPECT_EQ(fPlayer->RelativePosition(), 10);

	// One second in steps, through a ring smaller than a second.
	for (int step = 0; step < 10; step++)
		fClock->Advance(100000);
	ASSERT_TRUE(fOutput->WaitForPlayed(44100, 10000000));
	EXPECT_EQ(fOutput->FramesPlayed(), 44100);
	EXPECT_EQ(fPlayer->AbsolutePosition(), start + 75 + 150);
	EXPECT_EQ(fPlayer->RelativePosition(), 10 + 75);
	EXPECT_FALSE(fPlayer->IsPaused());

	// Paused: the clock moves, the position does not.
	fPlayer->Pause();
	EXPECT_TRUE(fPlayer->IsPaused());
	fClock->Advance(1000000);
	EXPECT_EQ(fPlayer->AbsolutePosition(), start + 75 + 150);
	fPlayer->Resume();
	fClock->Advance(500000);
	ASSERT_TRUE(fOutput->WaitForPlayed(22050, 10000000));
	EXPECT_EQ(fPlayer->AbsolutePosition(), start + 75 + 37 + 150);

	fPlayer->Stop();
	EXPECT_EQ(fPlayer->CurrentTrack(), 0);
	EXPECT_EQ(fPlayer->AbsolutePosition(), 0);
	fPlayer.reset();

	// The first second written is the disc's audio from the start position.
	std::vector<uint8> heard = ReadFile(fFolder.File("heard.raw"));
	ASSERT_GE(heard.size(), size_t(75 * kSector));
	auto from = fDisc.audio.begin() + ptrdiff_t(start) * kSector;
	EXPECT_TRUE(std::equal(heard.begin(), heard.begin() + 75 * kSector, from));
}

TEST_F(DigitalPlayback, PlayingATrackRunsToTheEndOfTheDiscAndStops)
{
	EXPECT_FALSE(fPlayer->PlayTrack(4));
	EXPECT_FALSE(fPlayer->PlayPosition(kLeadOut));
	ASSERT_TRUE(fPlayer->PlayTrack(3));
	EXPECT_EQ(fPlayer->AbsolutePosition(), kTrack3Start + 150);
	// 375 sectors are 5 seconds.
	for (int step = 0; step < 60; step++)
		fClock->Advance(100000);
	ASSERT_TRUE(Eventually([&] { return !fPlayer->IsPlaying(); }));
	EXPECT_EQ(fPlayer->CurrentTrack(), 0);
	fPlayer.reset();
	std::vector<uint8> heard = ReadFile(fFolder.File("heard.raw"));
	ASSERT_EQ(heard.size(), size_t(kLeadOut - kTrack3Start) * kSector);
	EXPECT_TRUE(std::equal(heard.begin(), heard.end(), fDisc.audio.begin() + ptrdiff_t(kTrack3Start) * kSector));
}

}   // namespace

TEST(PlaybackMode, AudioPlayBitIsReadOnlyFromAWholeCapabilitiesPage)
{
	// Header (length 6 + page), no block descriptors, page 2Ah with audio play.
	std::vector<uint8> data = {0, 0, 0, 0, 0, 0, 0, 0, 0x2A, 20, 0, 0, 0x01, 0};
	data[1] = uint8(data.size() - 2);
	EXPECT_TRUE(CapabilitiesReportAudioPlay(data.data(), data.size()));
	data[12] = 0;
	EXPECT_FALSE(CapabilitiesReportAudioPlay(data.data(), data.size()));
	data[12] = 1;
	// A saved-page bit is not part of the code; another page is refused.
	data[8] = 0x80 | 0x2A;
	EXPECT_TRUE(CapabilitiesReportAudioPlay(data.data(), data.size()));
	data[8] = 0x2B;
	EXPECT_FALSE(CapabilitiesReportAudioPlay(data.data(), data.size()));
	data[8] = 0x2A;
	// The length field or the buffer cutting the page's byte 4 off.
	data[1] = 9;
	EXPECT_FALSE(CapabilitiesReportAudioPlay(data.data(), data.size()));
	data[1] = uint8(data.size() - 2);
	EXPECT_FALSE(CapabilitiesReportAudioPlay(data.data(), 12));
	// Block descriptors pointing past the data.
	data[7] = 200;
	EXPECT_FALSE(CapabilitiesReportAudioPlay(data.data(), data.size()));
	data[6] = 0xFF;
	data[7] = 0xFF;
	EXPECT_FALSE(CapabilitiesReportAudioPlay(data.data(), data.size()));
	EXPECT_FALSE(CapabilitiesReportAudioPlay(nullptr, 100));
}

TEST(SoundOutput, AlsaNullDeviceTakesTheFramesWritten)
{
	CAudioOutput output(MakeAlsaSink("null"), 4096);
	if (output.Start() != B_OK)
		GTEST_SKIP() << "no ALSA null device";
	std::vector<int16> frames(size_t(8820) * kCdAudioChannels, 7);
	size_t written = 0;
	for (int attempt = 0; attempt < 100 && written < 8820; attempt++)
		written += output.Write(frames.data() + written * kCdAudioChannels, 8820 - written, 100000);
	EXPECT_EQ(written, 8820u);
	EXPECT_TRUE(output.WaitForPlayed(8820, 10000000));
	output.Flush();
	EXPECT_EQ(output.FramesPlayed(), 0);
	EXPECT_EQ(output.FramesPending(), 0);
}
