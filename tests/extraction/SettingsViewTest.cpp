// The reading preferences view over its records, and the rip log.
#include "ExtractionTestSupport.h"
#include "extraction/CddaReadSetupView.h"
#include "extraction/RipLog.h"
#include "frame/Preference.h"
#include "kit/app/MessageSink.h"
#include "kit/support/Message.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

const char* const kDrive = "Virtual DVD-RW 1.00 /dev/bus/scsi/9/0/0/raw";

class ReadSetupViewTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		fFolder = fs::path(getenv("HOME")) / ("readsetup-" + std::to_string(sCounter++));
		fs::create_directories(fFolder);
		ASSERT_EQ(PreferenceHandler.Init((fFolder / "Tarnwick Settings").string().c_str()), B_OK);
	}

	static std::vector<FileFormatPair> Pairs()
	{
		return {
			{"wav, Raw Audio", "wav", "raw-audio", "wav", "audio/x-wav"},
			{"flac, FLAC", "flac", "flac", "flac", "audio/flac"},
			{"m4a, Apple Lossless", "m4a", "alac", "m4a", "audio/mp4"},
		};
	}

	static void Save(const char* name, const BMessage& record)
	{
		CPreference preference(name);
		static_cast<BMessage&>(preference) = record;
		ASSERT_TRUE(preference.Save());
	}

	static std::unique_ptr<BMessage> Stored(const char* name)
	{
		return std::unique_ptr<BMessage>(PreferenceHandler.LoadMessage(name));
	}

	static void Send(CCddaReadSetupView& view, uint32 what, int32 value)
	{
		BMessage message(what);
		message.AddInt32("value", value);
		EXPECT_TRUE(view.MessageReceived(&message));
	}

	static inline int sCounter = 0;
	fs::path fFolder;
};

}   // namespace

TEST_F(ReadSetupViewTest, OpeningAndClosingWithoutAChangeLeavesTheRecordsAlone)
{
	auto sink = std::make_shared<CMessageSink>();
	{
		CCddaReadSetupView view;
		view.SetTarget(sink->Messenger());
		view.SetFileFormats(Pairs());
		view.AttachedToWindow();
		const CddaReadSetupDisplay& display = view.Display();
		EXPECT_EQ(display.markedFileFormat, 0);   // the defaults: wav, raw-audio
		EXPECT_TRUE(display.removeSilenceAtBeginning);
		EXPECT_FALSE(display.removeSilenceAtEnding);
		EXPECT_FALSE(display.removeSilenceAtEndingEnabled);
		EXPECT_FALSE(display.revertEnabled);
		EXPECT_FALSE(display.hasDevice);
		EXPECT_EQ(display.fileFormatLabels.size(), 3u);
		view.DetachedFromWindow();
	}
	EXPECT_EQ(Stored(kCddaReadSetupName), nullptr);   // never written
	EXPECT_TRUE(sink->WaitForCount(CDDA_READ_SETUP_CHANGED, 1, 0));
}

TEST_F(ReadSetupViewTest, AChangeIsSavedOnCloseWithTheEndingOptionOff)
{
	BMessage stored;
	stored.AddString("format short name", "flac");
	stored.AddString("codec short name", "flac");
	stored.AddBool("remove digital silence at beginning", false);
	stored.AddBool("remove digital silence at ending", true);
	stored.AddInt32("kept", 7);   // a key of a later version stays
	Save(kCddaReadSetupName, stored);

	CCddaReadSetupView view;
	view.SetFileFormats(Pairs());
	view.AttachedToWindow();
	EXPECT_EQ(view.Display().markedFileFormat, 1);
	EXPECT_FALSE(view.Display().removeSilenceAtBeginning);
	EXPECT_FALSE(view.Display().removeSilenceAtEnding);   // shown off whatever is stored

	BMessage choose(CDDA_READ_SETUP_FORMAT);
	choose.AddString("format short name", "m4a");
	choose.AddString("codec short name", "alac");
	EXPECT_TRUE(view.MessageReceived(&choose));
	EXPECT_EQ(view.Display().markedFileFormat, 2);
	EXPECT_TRUE(view.Display().revertEnabled);

	// Revert brings the record back and disables itself.
	Send(view, CDDA_READ_SETUP_REVERT, 0);
	EXPECT_EQ(view.Display().markedFileFormat, 1);
	EXPECT_FALSE(view.Display().revertEnabled);
	EXPECT_FALSE(view.IsChanged());

	Send(view, CDDA_READ_SETUP_SILENCE_BEGINNING, 1);
	EXPECT_TRUE(view.IsChanged());
	view.DetachedFromWindow();

	std::unique_ptr<BMessage> saved = Stored(kCddaReadSetupName);
	ASSERT_NE(saved, nullptr);
	CddaReadSetup setup = CddaReadSetupFromMessage(*saved);
	EXPECT_EQ(setup.formatShortName, "flac");
	EXPECT_EQ(setup.codecShortName, "flac");
	EXPECT_TRUE(setup.removeSilenceAtBeginning);
	EXPECT_FALSE(setup.removeSilenceAtEnding);
	int32 kept = 0;
	EXPECT_EQ(saved->FindInt32("kept", &kept), B_OK);
	EXPECT_EQ(kept, 7);
}

TEST_F(ReadSetupViewTest, AStoredPairNoLongerInstalledShowsAndStoresTheFirst)
{
	AlertScope alerts;
	CapturedOutput output;
	BMessage stored;
	stored.AddString("format short name", "ape");
	stored.AddString("codec short name", "monkey");
	Save(kCddaReadSetupName, stored);

	CCddaReadSetupView view;
	view.SetFileFormats(Pairs());
	view.AttachedToWindow();
	EXPECT_EQ(view.Display().markedFileFormat, 0);
	EXPECT_NE(output.Text().find("Assertion failed!"), std::string::npos);
	Send(view, CDDA_READ_SETUP_SILENCE_ENDING, 1);
	view.DetachedFromWindow();
	CddaReadSetup setup = CddaReadSetupFromMessage(*Stored(kCddaReadSetupName));
	EXPECT_EQ(setup.formatShortName, "wav");
	EXPECT_EQ(setup.codecShortName, "raw-audio");
}

TEST_F(ReadSetupViewTest, TheDrivePartEditsTheDriveRecordWithinItsBounds)
{
	BMessage drive;
	drive.AddString("driver", "generic");
	drive.AddInt32("read sync mode", 0);
	drive.AddInt32("read sync sectors", 3);
	Save(kDrive, drive);   // no "read offset" yet: it reads as 0

	CCddaReadSetupView view(kDrive);
	view.SetFileFormats(Pairs());
	view.AttachedToWindow();
	EXPECT_TRUE(view.Display().hasDevice);
	EXPECT_EQ(view.Display().readOffset, 0);
	EXPECT_EQ(view.Display().readSyncSectors, 3);

	Send(view, CDDA_READ_SETUP_SYNC_MODE, READ_SYNC_AUTO);
	Send(view, CDDA_READ_SETUP_SYNC_SECTORS, 500);   // clamped
	Send(view, CDDA_READ_SETUP_READ_OFFSET, -1164);
	EXPECT_EQ(view.Display().readSyncSectors, kMaxReadSyncSectors);
	view.DetachedFromWindow();

	DeviceReadSettings settings = LoadDeviceReadSettings(kDrive);
	EXPECT_EQ(settings.readSyncMode, READ_SYNC_AUTO);
	EXPECT_EQ(settings.readSyncSectors, kMaxReadSyncSectors);
	EXPECT_EQ(settings.readOffset, -1164);
	std::string driver;
	EXPECT_EQ(Stored(kDrive)->FindString("driver", &driver), B_OK);
	EXPECT_EQ(driver, "generic");

	// A drive without a record gets none from the preferences.
	CCddaReadSetupView other("Nobody's drive");
	other.SetFileFormats(Pairs());
	other.AttachedToWindow();
	Send(other, CDDA_READ_SETUP_READ_OFFSET, 6);
	other.DetachedFromWindow();
	EXPECT_EQ(Stored("Nobody's drive"), nullptr);
}

TEST(RipLogText, ListsTheDriveSettingsEveryTrackAndTheDiscIds)
{
	RipLog log;
	log.program = "Tarnwick 1.0";
	log.drive = "Virtual\nDrive";   // shown escaped, on one line
	log.readOffset = 6;
	log.readSyncMode = READ_SYNC_ALWAYS;
	log.readSyncSectors = 3;
	log.readErrorRetrys = 10;
	log.secureMode = true;
	log.formatShortName = "flac";
	log.codecShortName = "flac";
	log.layout.trackStarts = {0, 12617, 40337, 63075, 93260, 117965, 151715, 184190, 215110, 247305};
	log.layout.leadOut = 270185;
	RipLogTrack track;
	track.number = 1;
	track.title = "Song";
	track.fileName = "Song.flac";
	track.frames = 12617 * 588;
	track.crc32 = 0x5BFEEB0B;
	track.accurateRipV1 = 0xBF233960;
	track.accurateRipV2 = 0xBFBF0D64;
	track.rereads = 2;
	track.secure = true;
	track.proven = true;
	track.outcome = "OK";
	log.tracks.push_back(track);
	track.number = 2;
	track.outcome = "Read error";
	track.proven = false;
	log.tracks.push_back(track);

	std::string text = log.ToText();
	for (const char* line : {"Drive: Virtual\\nDrive\n", "Read offset: +6 samples\n", "Read sync: always, 3 sectors\n",
			 "AccurateRip disc id: 010-00154c2f-00af4fd4-890e120a\n", "CDDB disc id: 890e120a\n",
			 "MusicBrainz disc id: 9AQWqQ0eCCwktwPPrIUIYkUw2Uo-\n", "  CRC32: 5BFEEB0B\n",
			 "  AccurateRip v1: BF233960\n", "  AccurateRip v2: BFBF0D64\n", "  Re-reads: 2\n",
			 "  Secure: both reads agree\n", "  Secure: reads differ\n", "  Length: 02:48.17",
			 "1 of 2 tracks read without error\n"})
		EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;

	fs::path path = fs::path(getenv("HOME")) / kRipLogFileName;
	ASSERT_EQ(log.WriteTo(path.string()), B_OK);
	std::ifstream in(path);
	std::stringstream read;
	read << in.rdbuf();
	EXPECT_EQ(read.str(), text);
	EXPECT_NE(log.WriteTo((fs::path(getenv("HOME")) / "missing" / "log.txt").string()), B_OK);
}
