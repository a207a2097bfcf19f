// CUE sheets: what the parser accepts and refuses, and how a sheet with
// several files, generated gaps and WAVE or big-endian audio is laid out.
#include "EmulatorTestUtil.h"

#include "emulator/CdText.h"
#include "emulator/CueSheet.h"

using namespace emutest;

namespace {

std::vector<uint8> Wave(const std::vector<uint8>& pcm, uint16 channels = 2, uint32 rate = 44100)
{
	auto le32 = [](std::vector<uint8>& v, uint32 x) {
		for (int i = 0; i < 4; i++)
			v.push_back(uint8(x >> (8 * i)));
	};
	auto le16 = [](std::vector<uint8>& v, uint16 x) {
		v.push_back(uint8(x));
		v.push_back(uint8(x >> 8));
	};
	std::vector<uint8> w = {'R', 'I', 'F', 'F'};
	le32(w, uint32(4 + 8 + 16 + 8 + 4 + 8 + pcm.size()));
	w.insert(w.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
	le32(w, 16);
	le16(w, 1);
	le16(w, channels);
	le32(w, rate);
	le32(w, rate * channels * 2);
	le16(w, uint16(channels * 2));
	le16(w, 16);
	// A chunk the reader must step over.
	w.insert(w.end(), {'L', 'I', 'S', 'T'});
	le32(w, 4);
	w.insert(w.end(), {'I', 'N', 'F', 'O'});
	w.insert(w.end(), {'d', 'a', 't', 'a'});
	le32(w, uint32(pcm.size()));
	w.insert(w.end(), pcm.begin(), pcm.end());
	return w;
}

std::string ParseError(const std::string& text)
{
	CCueSheet sheet;
	std::string error;
	if (sheet.Parse(text, &error) == B_OK)
		return "accepted";
	EXPECT_TRUE(sheet.Tracks().empty());
	return error;
}

}   // namespace

TEST(CueSheetParse, RefusesMalformedSheetsNamingTheLine)
{
	const std::string head = "FILE \"a.bin\" BINARY\n  TRACK 01 AUDIO\n";
	EXPECT_EQ(ParseError(head + "    INDEX 01 00:00:00\n"), "accepted");
	EXPECT_EQ(ParseError("TRACK 01 AUDIO\n"), "line 1: TRACK before FILE");
	EXPECT_EQ(ParseError(head + "    INDEX 01 00:60:00\n"), "line 3: INDEX needs a number 0..99 and a time mm:ss:ff");
	EXPECT_EQ(ParseError(head + "    INDEX 01 00:00:75\n"), "line 3: INDEX needs a number 0..99 and a time mm:ss:ff");
	EXPECT_EQ(ParseError(head + "    INDEX 02 00:00:00\n"), "line 3: a track's first index must be 00 or 01");
	EXPECT_EQ(ParseError(head + "    INDEX 00 00:02:00\n    INDEX 01 00:01:00\n"),
		"line 4: index numbers and times must increase");
	EXPECT_EQ(ParseError(head + "    INDEX 01 00:00:00\n  TRACK 03 AUDIO\n"),
		"line 4: track numbers must follow each other");
	EXPECT_EQ(ParseError(head + "  TRACK 02 AUDIO\n"), "line 3: track 1 has no INDEX 01");
	EXPECT_EQ(ParseError(head + "    INDEX 00 00:00:00\n"), "line 3: track 1 has no INDEX 01");
	EXPECT_EQ(ParseError(head + "    INDEX 01 00:05:00\n  TRACK 02 AUDIO\n    INDEX 01 00:04:00\n"),
		"line 5: track starts before the previous track's last index");
	EXPECT_EQ(ParseError(head + "    INDEX 01 00:00:00\n    PREGAP 00:02:00\n"),
		"line 4: PREGAP must come once, before the track's indexes");
	EXPECT_EQ(ParseError(head + "    POSTGAP 00:02:00\n    INDEX 01 00:00:00\n"),
		"line 3: POSTGAP must come once, after INDEX 01");
	EXPECT_EQ(ParseError(head + "    INDEX 01 00:00:00\n    POSTGAP 00:01:00\n    INDEX 02 00:03:00\n"),
		"line 5: INDEX after POSTGAP");
	EXPECT_EQ(ParseError("FILE \"a.mp3\" MP3\n"), "line 1: unsupported file type MP3");
	EXPECT_EQ(ParseError("CATALOG 12345\n"), "line 1: CATALOG needs 13 digits");
	EXPECT_EQ(ParseError(head + "    ISRC US-TW1-00-00001\n"),
		"line 3: ISRC needs a track and a code of 12 characters (CCOOOYYNNNNN)");
	EXPECT_EQ(ParseError(head + "    FLAGS DCP LOUD\n"), "line 3: unknown flag LOUD");
	EXPECT_EQ(ParseError("TITLE \"open\n"), "line 1: unterminated quote");
	EXPECT_EQ(ParseError("TITLE \"" + std::string(256, 'x') + "\"\n"), "line 1: TITLE is longer than 255 bytes");
	EXPECT_EQ(ParseError(""), "line 1: no track");
	EXPECT_EQ(ParseError(head + "    INDEX 01 00:00:00\nFILE \"b.bin\" BINARY\n"), "line 4: FILE without a track");

	// Tool extensions and remarks are skipped; a byte order mark is fine.
	CCueSheet sheet;
	ASSERT_EQ(sheet.Parse("\xEF\xBB\xBFREM GENRE Test\nDISC_ID 1234\n" + head
						  + "    FLAGS PRE 4CH\n    INDEX 01 00:00:00\n",
				  nullptr),
		B_OK);
	EXPECT_EQ(sheet.Tracks()[0].control, 0x09);
}

TEST(CueSheetLayout, SeveralFilesGapsAndIndexPointsMapToDiscAddresses)
{
	CTempFolder folder;
	// a.bin: 200 sectors (tracks 1 and 2), b.wav: 100.5 sectors (track 3),
	// c.bin: big-endian samples, 50 sectors (track 4).
	std::vector<uint8> a = PatternAudio(200, 1);
	std::vector<uint8> b = PatternAudio(101, 2);
	b.resize(100 * mmc::kAudioSectorSize + mmc::kAudioSectorSize / 2);
	std::vector<uint8> c = PatternAudio(50, 3);
	WriteBytes(folder.File("a.bin"), a);
	WriteBytes(folder.File("b.wav"), Wave(b));
	WriteBytes(folder.File("c.raw"), c);
	WriteText(folder.File("x.cue"),
		"FILE \"a.bin\" BINARY\n"
		"  TRACK 01 AUDIO\n"
		"    INDEX 01 00:00:00\n"
		"  TRACK 02 AUDIO\n"
		"    INDEX 00 00:01:00\n"     // 75
		"    INDEX 01 00:01:30\n"     // 105
		"    INDEX 03 00:02:00\n"     // 150
		"FILE \"b.wav\" WAVE\n"
		"  TRACK 03 AUDIO\n"
		"    PREGAP 00:00:20\n"       // 20 sectors of silence
		"    INDEX 01 00:00:00\n"
		"    POSTGAP 00:00:10\n"      // 10 sectors of silence
		"FILE \"c.raw\" MOTOROLA\n"
		"  TRACK 04 AUDIO\n"
		"    INDEX 00 00:00:00\n"
		"    INDEX 01 00:00:05\n");
	std::shared_ptr<CDiscImage> disc;
	std::string error;
	ASSERT_EQ(CDiscImage::LoadCue(folder.File("x.cue"), &disc, &error), B_OK) << error;

	// track 3: silence 200..219, WAVE data 220..320 (101 sectors), postgap
	// 321..330; track 4 from c.raw at 331, index 1 at 336; lead-out 381.
	const auto& t = disc->Tracks();
	ASSERT_EQ(t.size(), 4u);
	EXPECT_EQ(t[0].pregapStart, -150);
	EXPECT_EQ(t[0].start, 0);
	EXPECT_EQ(t[0].end, 75);
	EXPECT_EQ(t[1].pregapStart, 75);
	EXPECT_EQ(t[1].start, 105);
	EXPECT_EQ(CDiscImage::IndexAt(t[1], 149), 1);
	EXPECT_EQ(CDiscImage::IndexAt(t[1], 150), 3);
	EXPECT_EQ(CDiscImage::IndexAt(t[1], 90), 0);
	EXPECT_EQ(t[1].end, 200);
	EXPECT_EQ(t[2].pregapStart, 200);
	EXPECT_EQ(t[2].start, 220);
	EXPECT_EQ(t[2].end, 331);
	EXPECT_EQ(t[3].pregapStart, 331);
	EXPECT_EQ(t[3].start, 336);
	EXPECT_EQ(disc->LeadOut(), 381);

	const size_t s = mmc::kAudioSectorSize;
	std::vector<uint8> out(381 * s, 0xAB);
	ASSERT_EQ(disc->ReadSectors(0, 381, out.data(), s), B_OK);
	EXPECT_EQ(std::memcmp(out.data(), a.data(), a.size()), 0);
	EXPECT_TRUE(std::all_of(&out[200 * s], &out[220 * s], [](uint8 x) { return x == 0; })) << "pregap";
	EXPECT_EQ(std::memcmp(&out[220 * s], b.data(), b.size()), 0) << "WAVE data after its header";
	EXPECT_TRUE(std::all_of(&out[220 * s + b.size()], &out[331 * s], [](uint8 x) { return x == 0; }))
		<< "the half sector and the postgap are silence";
	for (size_t i = 0; i < c.size(); i += 2) {
		ASSERT_EQ(out[331 * s + i], c[i + 1]) << "big-endian samples arrive little-endian";
		ASSERT_EQ(out[331 * s + i + 1], c[i]);
	}
	// Strided reads (room for sub-channel data) give the same sectors.
	std::vector<uint8> strided(3 * (s + 96));
	ASSERT_EQ(disc->ReadSectors(218, 3, strided.data(), s + 96), B_OK);
	for (int i = 0; i < 3; i++)
		EXPECT_EQ(std::memcmp(&strided[size_t(i) * (s + 96)], &out[(218 + size_t(i)) * s], s), 0);
	EXPECT_EQ(disc->ReadSectors(380, 2, out.data(), s), B_BAD_VALUE);
	EXPECT_TRUE(disc->CdTextPacks().empty()) << "no texts, no packs";
}

TEST(CueSheetLayout, RefusesWhatCannotBeLaidOut)
{
	CTempFolder folder;
	WriteBytes(folder.File("a.bin"), PatternAudio(10, 1));
	WriteBytes(folder.File("mono.wav"), Wave(PatternAudio(2, 1), 1));
	auto load = [&](const std::string& cue) {
		WriteText(folder.File("t.cue"), cue);
		std::shared_ptr<CDiscImage> disc;
		std::string error;
		status_t status = CDiscImage::LoadCue(folder.File("t.cue"), &disc, &error);
		EXPECT_EQ(disc == nullptr, status != B_OK);
		return status == B_OK ? std::string("loaded") : error;
	};
	EXPECT_EQ(load("FILE \"a.bin\" BINARY\n TRACK 01 AUDIO\n INDEX 01 00:00:00\n"), "loaded");
	EXPECT_EQ(load("FILE \"none.bin\" BINARY\n TRACK 01 AUDIO\n INDEX 01 00:00:00\n"),
		"cannot open " + folder.File("none.bin"));
	EXPECT_EQ(load("FILE \"a.bin\" BINARY\n TRACK 01 AUDIO\n INDEX 01 00:00:10\n"),
		"track 1: an index lies beyond the end of a.bin");
	EXPECT_EQ(load("FILE \"a.bin\" BINARY\n TRACK 01 MODE1/2352\n INDEX 01 00:00:00\n"),
		"track 1 is not an audio track (MODE1/2352)");
	EXPECT_EQ(load("FILE \"mono.wav\" WAVE\n TRACK 01 AUDIO\n INDEX 01 00:00:00\n"),
		folder.File("mono.wav") + " is not 16-bit stereo 44.1 kHz PCM");
	EXPECT_EQ(load("FILE \"a.bin\" WAVE\n TRACK 01 AUDIO\n INDEX 01 00:00:00\n"),
		folder.File("a.bin") + " is not a WAVE file");
	EXPECT_EQ(load("FILE \"a.bin\" BINARY\n TRACK 01 AUDIO\n PREGAP 99:00:00\n INDEX 01 00:00:00\n"
				   "POSTGAP 02:00:00\n"),
		"the disc is longer than 99:59:74");
}

TEST(CueSheetCdText, SheetTextsBecomeLatin1PacksAndAPacksFileWins)
{
	CTempFolder folder;
	WriteBytes(folder.File("a.bin"), PatternAudio(10, 1));
	WriteText(folder.File("t.cue"),
		"TITLE \"Caf\xC3\xA9 \xE2\x82\xAC\"\n"   // UTF-8: e-acute and the euro sign
		"FILE \"a.bin\" BINARY\n TRACK 01 AUDIO\n  SONGWRITER \"Writer\"\n  INDEX 01 00:00:00\n");
	std::shared_ptr<CDiscImage> disc;
	std::string error;
	ASSERT_EQ(CDiscImage::LoadCue(folder.File("t.cue"), &disc, &error), B_OK) << error;
	const auto& packs = disc->CdTextPacks();
	ASSERT_FALSE(packs.empty());
	EXPECT_EQ(packs[0], 0x80);
	EXPECT_EQ(std::string(reinterpret_cast<const char*>(&packs[4]), 6), "Caf\xE9 ?");

	// A packs file (with the READ TOC header) replaces the sheet's texts.
	uint8 pack[18] = {0x80, 0, 0, 0, 'P', 'a', 'c', 'k', 's'};
	uint16 crc = CCdText::Crc16(pack, 16);
	pack[16] = uint8(crc >> 8);
	pack[17] = uint8(crc);
	std::vector<uint8> file(4 + 18, 0);
	file[1] = 20;
	std::memcpy(&file[4], pack, 18);
	WriteBytes(folder.File("t.cdt"), file);
	ASSERT_EQ(CDiscImage::LoadCue(folder.File("t.cue"), &disc, &error, folder.File("t.cdt")), B_OK) << error;
	ASSERT_EQ(disc->CdTextPacks().size(), 18u);
	EXPECT_EQ(std::memcmp(disc->CdTextPacks().data(), pack, 18), 0);

	// Through the sheet's CDTEXTFILE; a file of the wrong size is refused.
	WriteText(folder.File("u.cue"), "CDTEXTFILE \"t.cdt\"\nFILE \"a.bin\" BINARY\n TRACK 01 AUDIO\n INDEX 01 00:00:00\n");
	ASSERT_EQ(CDiscImage::LoadCue(folder.File("u.cue"), &disc, &error), B_OK) << error;
	EXPECT_EQ(disc->CdTextPacks().size(), 18u);
	file.resize(file.size() + 1, 0);
	WriteBytes(folder.File("t.cdt"), file);
	EXPECT_EQ(CDiscImage::LoadCue(folder.File("u.cue"), &disc, &error), B_BAD_DATA);
}
