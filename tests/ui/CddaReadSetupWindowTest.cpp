// The "CD Reading Preferences" window over its view: one window, the record
// shown in its controls, the user's changes saved when it closes.
#include "UiTestSupport.h"

#include "extraction/CddaReadSetupView.h"
#include "kit/interface/qt/Application.h"
#include "kit/interface/qt/Window.h"
#include "kit/support/Message.h"
#include "ui/CddaReadSetupWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>

#include <cstdlib>
#include <memory>

using namespace uitest;

namespace {

const char* const kDrive = "Virtual CD-RW 1.0";

class CddaReadSetupWindowTest : public ::testing::Test {
protected:
	static std::vector<FileFormatPair> Pairs()
	{
		return {
			{"wav, Raw Audio", "wav", "raw-audio", "wav", "audio/x-wav"},
			{"flac, FLAC (Free Lossless Audio Codec)", "flac", "flac", "flac", "audio/flac"},
			{"ogg, Vorbis", "ogg", "vorbis", "ogg", "audio/x-vorbis+ogg"},
		};
	}

	BApplication fApplication {"application/x-vnd.Orrisec-CddaReadSetupWindowTest"};
	SettingsAndAlerts fSettings;
};

}   // namespace

TEST_F(CddaReadSetupWindowTest, ShowsTheRecordAndSavesTheUsersChangesOnClose)
{
	CPreference drive(kDrive);
	drive.AddInt32("read sync mode", READ_SYNC_ALWAYS);
	drive.AddInt32("read sync sectors", 4);
	drive.AddInt32("read offset", 6);
	ASSERT_TRUE(drive.Save());
	std::vector<FileFormatPair> pairs = Pairs();
	QPointer<CCddaReadSetupWindow> window = new CCddaReadSetupWindow(kDrive, &pairs);
	window->Show();
	EXPECT_EQ(window->Title(), "CD Reading Preferences");
	EXPECT_EQ(window->FileFormatMenu()->count(), 3);
	EXPECT_EQ(window->FileFormatMenu()->currentText(), "wav, Raw Audio");
	EXPECT_TRUE(window->BeginningCheckBox()->isChecked());
	EXPECT_FALSE(window->EndingCheckBox()->isChecked());
	EXPECT_FALSE(window->EndingCheckBox()->isEnabled());
	EXPECT_FALSE(window->RevertButton()->isEnabled());
	EXPECT_EQ(window->SyncModeMenu()->currentText(), "Always");
	EXPECT_EQ(window->SyncSectorsBox()->value(), 4);
	EXPECT_EQ(window->ReadOffsetBox()->value(), 6);

	// Opening again brings this window forward instead of a second one.
	int32 before = CountWindows();
	ShowCddaReadSetupWindow(kDrive);
	EXPECT_EQ(CountWindows(), before);

	window->FileFormatMenu()->setCurrentIndex(1);
	window->BeginningCheckBox()->setChecked(false);
	window->ReadOffsetBox()->setValue(-1164);
	ASSERT_TRUE(RunUntil([&] { return window->RevertButton()->isEnabled(); }));
	ASSERT_TRUE(RunUntil([&] { return window->View().Display().readOffset == -1164; }));

	if (const char* folder = getenv("TARNWICK_SCREENSHOT_DIR"))
		window->grab().save(QString(folder) + "/cd-reading-preferences.png");

	// Revert shows the record again; a new change is what closing saves.
	window->RevertButton()->click();
	ASSERT_TRUE(RunUntil([&] { return !window->RevertButton()->isEnabled(); }));
	EXPECT_EQ(window->FileFormatMenu()->currentIndex(), 0);
	EXPECT_TRUE(window->BeginningCheckBox()->isChecked());
	EXPECT_EQ(window->ReadOffsetBox()->value(), 6);
	window->FileFormatMenu()->setCurrentIndex(2);
	ASSERT_TRUE(RunUntil([&] { return window->View().IsChanged(); }));

	window->PostMessage(B_QUIT_REQUESTED);
	ASSERT_TRUE(RunUntil([&] { return window.isNull(); }));
	CddaReadSetup setup = LoadCddaReadSetup();
	EXPECT_EQ(setup.formatShortName, "ogg");
	EXPECT_EQ(setup.codecShortName, "vorbis");
	EXPECT_TRUE(setup.removeSilenceAtBeginning);
	EXPECT_FALSE(setup.removeSilenceAtEnding);
	EXPECT_EQ(LoadDeviceReadSettings(kDrive).readOffset, 6);
	EXPECT_TRUE(LoadWindowPlacement("CD Reading Preferences", BRect()).IsValid());
}

TEST_F(CddaReadSetupWindowTest, WithoutADriveOnlyTheOutputIsShownAndAnUntouchedWindowSavesNothing)
{
	ShowCddaReadSetupWindow();
	QPointer<BWindow> found = FindWindow("CD Reading Preferences");
	ASSERT_FALSE(found.isNull());
	auto* window = static_cast<CCddaReadSetupWindow*>(found.data());
	EXPECT_EQ(window->SyncModeMenu(), nullptr);
	EXPECT_GE(window->FileFormatMenu()->count(), 1);   // the media kit's pairs
	EXPECT_EQ(window->FileFormatMenu()->currentText().toStdString(), window->View().FileFormats()[0].label);
	window->PostMessage(B_QUIT_REQUESTED);
	ASSERT_TRUE(RunUntil([&] { return found.isNull(); }));
	EXPECT_EQ(std::unique_ptr<BMessage>(PreferenceHandler.LoadMessage(kCddaReadSetupName)), nullptr);
}
