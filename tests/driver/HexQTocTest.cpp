// The command library reads the same table of contents, pauses included,
// from a drive that gives its formatted Q in BCD and from one that gives it
// in binary, on a disc of twelve tracks whose pauses lie at times where the
// two forms differ (seconds and track numbers of 10 and more).
#include "VirtualDriveFixture.h"

#include "disc/Toc.h"

#include <gtest/gtest.h>

#include <string>

using namespace drivertest;
using namespace emutest;

namespace {

struct STocTrack {
	int lba, size, pause, start;
	bool copy, preEmphasis;
};

std::vector<STocTrack> ReadTable(CVirtualDrive& drive)
{
	CToc* toc = drive.Device()->GetToc();
	toc->Lock();
	toc->MakeEmpty();
	std::vector<STocTrack> tracks;
	SCSI_STATUS status;
	EXPECT_TRUE(drive.Driver().ReadToc(drive.Device(), toc, &status));
	for (int n = 1; n <= toc->TrackCount(); n++)
		tracks.push_back({toc->TrackLBA(n), toc->TrackSize(n), toc->TrackPauseSize(n), toc->TrackTrackLBA(n),
			toc->TrackCopyAllowed(n), toc->TrackPreEmphasis(n)});
	toc->Unlock();
	return tracks;
}

}   // namespace

TEST(HexQ, TwelveTracksWithPausesGiveTheSameTableOfContentsAsBcd)
{
	// Track n's pause (index 0) and start (index 1), in sectors of one
	// BINARY file; track 7 has no pause, track 11 a long one.
	struct {
		int32 pregap, start;
	} layout[12];
	int32 lba = 0;
	for (int n = 1; n <= 12; n++) {
		int32 pause = n == 1 || n == 7 ? 0 : n == 11 ? 1000 : 75 + 37 * n;
		layout[n - 1] = {lba, lba + pause};
		lba += pause + 800 + 13 * n;
	}
	const int32 leadOut = lba;
	CTempFolder folder;
	WriteBytes(folder.File("twelve.bin"), PatternAudio(size_t(leadOut), 12));
	std::string sheet = "FILE \"twelve.bin\" BINARY\n";
	auto time = [](int32 sectors) {
		char text[16];
		snprintf(text, sizeof(text), "%02d:%02d:%02d", sectors / 4500, sectors / 75 % 60, sectors % 75);
		return std::string(text);
	};
	for (int n = 1; n <= 12; n++) {
		char track[32];
		snprintf(track, sizeof(track), "  TRACK %02d AUDIO\n", n);
		sheet += track;
		if (n == 4)
			sheet += "    FLAGS DCP PRE\n";
		if (layout[n - 1].pregap < layout[n - 1].start)
			sheet += "    INDEX 00 " + time(layout[n - 1].pregap) + "\n";
		sheet += "    INDEX 01 " + time(layout[n - 1].start) + "\n";
	}
	WriteText(folder.File("twelve.cue"), sheet);
	std::shared_ptr<CDiscImage> image;
	std::string error;
	ASSERT_EQ(CDiscImage::LoadCue(folder.File("twelve.cue"), &image, &error), B_OK) << error;

	std::vector<STocTrack> fromBcd, fromHex;
	{
		CVirtualDrive bcd(TestConfig(), image, "drv-pellworth");
		fromBcd = ReadTable(bcd);
	}
	{
		CDriveConfig hexConfig = TestConfig();
		hexConfig.hexQ = true;
		CVirtualDrive hex(hexConfig, image, "drv-pellworth");
		fromHex = ReadTable(hex);
	}

	ASSERT_EQ(fromBcd.size(), 12u);
	ASSERT_EQ(fromHex.size(), 12u);
	for (int n = 1; n <= 12; n++) {
		SCOPED_TRACE(testing::Message() << "track " << n);
		const STocTrack& b = fromBcd[size_t(n - 1)];
		const STocTrack& h = fromHex[size_t(n - 1)];
		int32 end = n < 12 ? layout[n].pregap : leadOut;
		// The BCD drive: what the sheet says.
		EXPECT_EQ(b.lba, layout[n - 1].pregap);
		EXPECT_EQ(b.start, layout[n - 1].start);
		EXPECT_EQ(b.pause, layout[n - 1].start - layout[n - 1].pregap);
		EXPECT_EQ(b.size, end - layout[n - 1].pregap);
		// The hex drive: the same.
		EXPECT_EQ(h.lba, b.lba);
		EXPECT_EQ(h.start, b.start);
		EXPECT_EQ(h.pause, b.pause);
		EXPECT_EQ(h.size, b.size);
		EXPECT_EQ(h.copy, b.copy);
		EXPECT_EQ(h.preEmphasis, b.preEmphasis);
		EXPECT_EQ(b.copy, n == 4);
		EXPECT_EQ(b.preEmphasis, n == 4);
	}
}
