// A virtual disc for the extraction engine tests, a drive that can be held
// in the middle of a read, and the helpers that read the files back.
#pragma once

#include "driver/VirtualDriveFixture.h"

#include "disc/Toc.h"
#include "emulator/DriveClock.h"
#include "extraction/CddaReadView.h"
#include "kit/app/MessageSink.h"
#include "kit/interface/Alert.h"
#include "kit/support/Message.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>

namespace riptest {

using namespace drivertest;
using namespace emutest;

// Track 1: 0..300 (its first 225 sectors, three seconds, silent), track 2:
// 300..400 (100 sectors), track 3: 400..1000. Lead-out 1000.
constexpr int32 kTrack2 = 300;
constexpr int32 kTrack3 = 400;
constexpr int32 kDiscEnd = 1000;
constexpr int32 kLeadingSilence = 225;

struct SRipDisc {
	std::string cuePath;
	std::vector<uint8> audio;   // the whole disc, little-endian
	std::vector<uint8> Track(int32 first, int32 end) const
	{
		return std::vector<uint8>(audio.begin() + size_t(first) * 2352, audio.begin() + size_t(end) * 2352);
	}
};

inline SRipDisc MakeRipDisc(const CTempFolder& folder)
{
	SRipDisc disc;
	disc.cuePath = folder.File("rip.cue");
	disc.audio = PatternAudio(kDiscEnd, 11);
	std::fill(disc.audio.begin(), disc.audio.begin() + size_t(kLeadingSilence) * 2352, 0);
	WriteBytes(folder.File("rip.bin"), disc.audio);
	WriteText(disc.cuePath,
		"TITLE \"Rip Album\"\n"
		"FILE \"rip.bin\" BINARY\n"
		"  TRACK 01 AUDIO\n    TITLE \"One\"\n    PERFORMER \"Band\"\n    INDEX 01 00:00:00\n"
		"  TRACK 02 AUDIO\n    TITLE \"Two/Too\"\n    PERFORMER \"Band\"\n    INDEX 01 00:04:00\n"
		"  TRACK 03 AUDIO\n    TITLE \"Three\"\n    PERFORMER \"Band\"\n    INDEX 01 00:05:25\n");
	return disc;
}

// A drive clock that costs no time and, once closed, holds every read that
// waits on it after `passing` more waits until it is opened again (at most
// 20 s, so a broken test ends).
class CGateClock : public CDriveClock {
public:
	bigtime_t Now() const override { return fNow.load(); }
	void WaitUntil(bigtime_t when) override
	{
		bigtime_t now = fNow.load();
		while (now < when && !fNow.compare_exchange_weak(now, when)) {
		}
		std::unique_lock<std::mutex> lock(fLock);
		fWaits++;
		fChanged.notify_all();
		if (fClosed && fPassing-- <= 0) {
			fHeld++;
			fChanged.notify_all();
			fChanged.wait_for(lock, std::chrono::seconds(20), [this] { return !fClosed; });
			fHeld--;
		}
	}
	void Close(int32 passing)
	{
		std::lock_guard<std::mutex> lock(fLock);
		fClosed = true;
		fPassing = passing;
	}
	void Open()
	{
		std::lock_guard<std::mutex> lock(fLock);
		fClosed = false;
		fChanged.notify_all();
	}
	bool IsHeld()
	{
		std::lock_guard<std::mutex> lock(fLock);
		return fHeld > 0;
	}
	// Waits until a read is held; false after 20 s.
	bool WaitHeld()
	{
		std::unique_lock<std::mutex> lock(fLock);
		return fChanged.wait_for(lock, std::chrono::seconds(20), [this] { return fHeld > 0; });
	}

private:
	std::atomic<bigtime_t> fNow {1000000};
	std::mutex fLock;
	std::condition_variable fChanged;
	bool fClosed = false;
	int32 fPassing = 0;
	int32 fHeld = 0;
	int32 fWaits = 0;
};

// The PCM of a WAV file's data chunk; empty when there is none.
inline std::vector<uint8> WavData(const std::string& path)
{
	std::ifstream in(path, std::ios::binary);
	std::vector<uint8> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
	for (size_t at = 12; at + 8 <= file.size();) {
		uint32 size = uint32(file[at + 4]) | uint32(file[at + 5]) << 8 | uint32(file[at + 6]) << 16
			| uint32(file[at + 7]) << 24;
		if (std::memcmp(&file[at], "data", 4) == 0) {
			size_t end = std::min(file.size(), at + 8 + size_t(size));
			return std::vector<uint8>(file.begin() + at + 8, file.begin() + end);
		}
		at += 8 + size + (size & 1);
	}
	return {};
}

// Every file in `folder` (names only).
inline std::vector<std::string> FilesIn(const std::string& folder)
{
	std::vector<std::string> names;
	std::error_code error;
	for (const auto& entry : std::filesystem::directory_iterator(folder, error))
		names.push_back(entry.path().filename().string());
	std::sort(names.begin(), names.end());
	return names;
}

// Settings of a test rip: no spin-up unless asked, small blocks as set.
inline CddaReadOptions RipOptions(const std::string& temporaryFolder)
{
	CddaReadOptions options;
	options.overrideDeviceSettings = true;
	options.deviceSettings.readSpinupSectors = 0;
	options.overrideFormat = true;
	options.formatShortName = "wav";
	options.codecShortName = "raw-audio";
	options.temporaryFolder = temporaryFolder;
	return options;
}

// The status texts the engine posted to `sink`, in order.
inline std::vector<std::string> StatusTexts(CMessageSink& sink)
{
	std::vector<std::string> texts;
	BMessage message;
	for (int32 i = 0; sink.MessageAt(i, &message); i++) {
		if (message.what != CDDA_READ_STATUS_TEXT)
			continue;
		std::string text;
		message.FindString("text", &text);
		texts.push_back(text);
	}
	return texts;
}

// A drive, its disc and folders for one rip.
class RipTest : public testing::Test {
protected:
	void SetUp() override
	{
		fDisc = MakeRipDisc(fImages);
		fOut = fWork.File("out");
		fTemp = fWork.File("temp");
		std::filesystem::create_directories(fOut);
		std::filesystem::create_directories(fTemp);
		fPrevious = SetAlertHandler(&fAlerts);
	}
	void TearDown() override { SetAlertHandler(fPrevious); }

	std::shared_ptr<CDiscImage> Disc()
	{
		std::shared_ptr<CDiscImage> image;
		std::string error;
		EXPECT_EQ(CDiscImage::LoadCue(fDisc.cuePath, &image, &error), B_OK) << error;
		return image;
	}
	std::unique_ptr<CVirtualDrive> Drive(CDriveConfig config = TestConfig(), const std::string& addOn = "",
		std::shared_ptr<CDriveClock> clock = nullptr)
	{
		auto drive = std::make_unique<CVirtualDrive>(config, Disc(), addOn, std::move(clock));
		EXPECT_TRUE(drive->Device()->ReadToc());
		drive->Device()->LoadTocText();
		return drive;
	}
	// Rips `tracks` and waits for the end of the batch.
	std::vector<CddaTrackResult> Rip(CVirtualDrive& drive, const CddaReadOptions& options,
		const std::vector<int32>& tracks)
	{
		CCddaReadView view(drive.Device(), fSink->Messenger());
		view.SetDiagnostics(nullptr);
		view.SetOptions(options);
		AddDiscTracks(&view, drive.Device(), fOut, tracks);
		EXPECT_TRUE(view.WaitUntilIdle(60000000));
		return view.Results();
	}

	CTempFolder fImages;
	CTempFolder fWork;
	SRipDisc fDisc;
	std::string fOut;
	std::string fTemp;
	std::shared_ptr<CMessageSink> fSink = std::make_shared<CMessageSink>();
	CScriptedAlertHandler fAlerts {0};
	CAlertHandler* fPrevious = nullptr;
};

}   // namespace riptest
