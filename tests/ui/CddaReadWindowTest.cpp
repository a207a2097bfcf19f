// The "Reading audio data" window over a virtual drive held in the middle
// of a read: what it shows while reading and at the end, one window per
// drive, and its close button.
#include "UiTestSupport.h"

#include "extraction/RipFixture.h"
#include "kit/interface/qt/Application.h"
#include "kit/interface/qt/Window.h"
#include "ui/CddaReadWindow.h"

#include <QPixmap>
#include <QPushButton>

using namespace uitest;
using namespace riptest;

TEST(CddaReadWindow, ShowsTheRipAndClosesWhenDone)
{
	BApplication application {"application/x-vnd.Orrisec-CddaReadWindowTest"};
	SettingsAndAlerts settings;
	CTempFolder images, work;
	SRipDisc disc = MakeRipDisc(images);
	std::string out = work.File("out");
	std::filesystem::create_directories(out);
	std::shared_ptr<CDiscImage> image;
	std::string error;
	ASSERT_EQ(CDiscImage::LoadCue(disc.cuePath, &image, &error), B_OK) << error;
	auto clock = std::make_shared<CGateClock>();
	CDriveConfig config = TestConfig();
	config.realTime = true;
	CVirtualDrive drive(config, image, "", clock);
	ASSERT_TRUE(drive.Device()->ReadToc());
	drive.Device()->LoadTocText();

	CCddaReadWindow* window = ShowCddaReadWindow(drive.Device());
	EXPECT_EQ(window->Title(), std::string("Reading audio data - ") + drive.Device()->GetDeviceName());
	EXPECT_EQ(ShowCddaReadWindow(drive.Device()), window);   // one window per drive
	CddaReadOptions options = RipOptions(work.Path());
	window->View()->SetDiagnostics(nullptr);
	window->View()->SetOptions(options);

	clock->Close(12);
	BMessage copy(CDDA_READ_COPY_TRACKS);
	copy.AddString("dir", out.c_str());
	copy.AddInt32("track", 3);
	copy.AddString("artist", "Band");
	const std::string title = "Three, a Song Whose Title Goes On and On (the Extended Version)";
	copy.AddString("title", title.c_str());
	ASSERT_EQ(window->PostMessage(&copy), B_OK);
	ASSERT_TRUE(RunUntil([&] { return clock->IsHeld(); }));
	window->PostMessage(CDDA_READ_UPDATE_STATUS);
	ASSERT_TRUE(RunUntil([&] { return window->Shown().trackBox == "Track 1 of 1, 3 - Band - " + title; }));
	const CddaReadDisplay& shown = window->Shown();
	EXPECT_EQ(shown.cdBox, "CD: Rip Album");
	EXPECT_EQ(shown.statusBox, "Status");
	EXPECT_EQ(shown.button, "Abort");
	EXPECT_EQ(shown.third.label, "Buffer Used: ");
	EXPECT_EQ(shown.current.label, "Current Track: ");
	EXPECT_GT(shown.current.value, 0);
	EXPECT_EQ(window->Button()->text().toStdString(), "Abort");
	// A long name is cut to the box, not widening the window.
	const int width = window->width();
	EXPECT_LE(width, 440);
	window->View()->SetStatusText("Error reading sectors 327 to 353, retrying 10th time");
	ASSERT_TRUE(RunUntil([&] { return !window->Shown().statusText.empty(); }));
	EXPECT_EQ(window->width(), width);
	EXPECT_TRUE(window->TrackBoxTitle().startsWith("Track 1 of 1, 3 - Band - Three"));
	EXPECT_TRUE(window->TrackBoxTitle().endsWith(QChar(0x2026)));
	if (const char* folder = getenv("TARNWICK_SCREENSHOT_DIR"))
		window->grab().save(QString(folder) + "/reading-audio-data.png");

	clock->Open();
	ASSERT_TRUE(RunUntil([&] { return window->Shown().statusBox == "Status: Done"; }, 30000000));
	EXPECT_EQ(window->Button()->text().toStdString(), "Close");
	EXPECT_TRUE(window->Button()->isDefault());
	EXPECT_TRUE(std::filesystem::exists(out + "/Band: " + title + ".wav"));

	// "Close" when idle closes the window without a question.
	std::string windowTitle = window->Title();
	window->Button()->click();
	ASSERT_TRUE(RunUntil([&] { return FindWindow(windowTitle.c_str()) == nullptr; }));
	EXPECT_EQ(settings.alerts.CountShown(), 0u);
}
