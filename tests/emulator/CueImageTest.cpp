// CUE sheets: what the parser accepts and refuses, and how a sheet with
// several files, generated gaps and WAVE, big-endian or compressed audio is
// laid out. Where cd-info and cdrdao are installed, their reading of the
// same disc is compared with ours; the expected numbers hold without them.
#include "EmulatorTestUtil.h"

#include "kit/device/CdText.h"
#include "emulator/CueSheet.h"
#include "RunCommand.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <future>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>
#include <unistd.h>

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

// Output of a shell command, or nullopt when `tool` is not installed.
std::optional<std::string> RunTool(const std::string& tool, const std::string& command)
{
	if (std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) != 0)
		return std::nullopt;
	return RunCommand(command + " 2>&1");
}

// A track as the tools report it: number, pregap start, start (index 1),
// end (the next track's pregap, or the lead-out). -1 when not reported.
struct SToolTrack {
	int number;
	int32 pregapStart, start, end;
	bool operator==(const SToolTrack&) const = default;
};

std::ostream& operator<<(std::ostream& out, const SToolTrack& t)
{
	return out << "{track " << t.number << ": pregap " << t.pregapStart << ", start " << t.start << ", end " << t.end
			   << "}";
}

std::vector<SToolTrack> ImageTracks(const CDiscImage& disc)
{
	std::vector<SToolTrack> tracks;
	for (const auto& t : disc.Tracks())
		tracks.push_back({t.number, t.number == disc.FirstTrack() ? 0 : t.pregapStart, t.start, t.end});
	return tracks;
}

// cd-info's track list: starts (LSN) and the lead-out; it does not report
// pregaps, so ends are the next start.
std::vector<SToolTrack> CdInfoTracks(const std::string& output)
{
	std::vector<SToolTrack> tracks;
	std::istringstream in(output);
	std::string line;
	std::regex row(R"(^\s*(\d+): \d\d:\d\d:\d\d\s+(\d+) (audio|leadout))");
	std::smatch m;
	while (std::getline(in, line)) {
		if (!std::regex_search(line, m, row))
			continue;
		int32 lsn = std::stoi(m[2]);
		if (!tracks.empty())
			tracks.back().end = lsn;
		if (m[3] == "audio")
			tracks.push_back({std::stoi(m[1]), -1, lsn, -1});
	}
	return tracks;
}

// cdrdao show-toc: per track PREGAP length, START and END (sectors).
std::vector<SToolTrack> CdrdaoTracks(const std::string& output)
{
	std::vector<SToolTrack> tracks;
	std::istringstream in(output);
	std::string line;
	std::regex track(R"(^TRACK\s+(\d+))");
	std::regex field(R"(^\s+(PREGAP|START|END)\s+\S+\(\s*(\d+)\))");
	std::smatch m;
	int32 pregap = 0;
	while (std::getline(in, line)) {
		if (std::regex_search(line, m, track)) {
			tracks.push_back({std::stoi(m[1]), -1, -1, -1});
			pregap = 0;
		} else if (!tracks.empty() && std::regex_search(line, m, field)) {
			int32 value = std::stoi(m[2]);
			if (m[1] == "PREGAP")
				pregap = value;
			else if (m[1] == "START")
				tracks.back().start = value, tracks.back().pregapStart = value - pregap;
			else
				tracks.back().end = value;
		}
	}
	return tracks;
}

std::string Msf(int32 frames)
{
	char text[16];
	std::snprintf(text, sizeof(text), "%02d:%02d:%02d", frames / 4500, frames / 75 % 60, frames % 75);
	return text;
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
	EXPECT_EQ(ParseError("FILE \"a.ogg\" OGG\n"), "line 1: unsupported file type OGG");
	EXPECT_EQ(ParseError("CATALOG 12345\n"), "line 1: CATALOG needs 13 digits");
	EXPECT_EQ(ParseError(head + "    ISRC US-TW1-00-00001\n"),
		"line 3: ISRC needs a track and a code of 12 characters (CCOOOYYNNNNN)");
	EXPECT_EQ(ParseError(head + "    FLAGS DCP LOUD\n"), "line 3: unknown flag LOUD");
	EXPECT_EQ(ParseError("TITLE \"open\n"), "line 1: unterminated quote");
	EXPECT_EQ(ParseError("TITLE \"" + std::string(256, 'x') + "\"\n"), "line 1: TITLE is longer than 255 bytes");
	EXPECT_EQ(ParseError(""), "line 1: no track");
	EXPECT_EQ(ParseError(head + "    INDEX 01 00:00:00\nFILE \"b.bin\" BINARY\n"), "line 4: the last FILE has no INDEX");
	EXPECT_EQ(ParseError(head + "FILE \"b.bin\" BINARY\n    INDEX 01 00:00:00\n"),
		"line 3: the previous FILE has no INDEX");
	EXPECT_EQ(ParseError("\xFF\xFE" + std::string("T\0R\0", 4) + "X"),
		"line 1: UTF-16 text of an odd number of bytes");

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
		folder.File("mono.wav") + " is not CD audio (44.1 kHz stereo 16-bit)");
	EXPECT_EQ(load("FILE \"a.bin\" WAVE\n TRACK 01 AUDIO\n INDEX 01 00:00:00\n"),
		folder.File("a.bin") + " is not a sound file the media kit can decode");
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

	// Through the sheet's CDTEXTFILE, with a trailing zero byte; a file of
	// the wrong size is refused, saying why.
	WriteText(folder.File("u.cue"), "CDTEXTFILE \"t.cdt\"\nFILE \"a.bin\" BINARY\n TRACK 01 AUDIO\n INDEX 01 00:00:00\n");
	file.resize(file.size() + 1, 0);
	WriteBytes(folder.File("t.cdt"), file);
	ASSERT_EQ(CDiscImage::LoadCue(folder.File("u.cue"), &disc, &error), B_OK) << error;
	EXPECT_EQ(disc->CdTextPacks().size(), 18u);
	file.back() = 1;
	WriteBytes(folder.File("t.cdt"), file);
	EXPECT_EQ(CDiscImage::LoadCue(folder.File("u.cue"), &disc, &error), B_BAD_DATA);
	EXPECT_EQ(error, "cannot use the CD-Text packs: " + folder.File("t.cdt")
			+ ": it ends in a byte after its packs that is not zero");
}

TEST(CueSheetParse, AcceptsWhatRippersWrite)
{
	// Lower-case keywords, CR LF, remarks, flags, a catalogue number and an
	// ISRC; the same sheet in UTF-16 of either byte order reads the same.
	const std::string utf8 = "rem COMMENT \"x\"\r\ncatalog 0123456789012\r\n"
							 "title \"Caf\xC3\xA9 \xF0\x9F\x8E\xB5\"\r\n"
							 "file \"a.wav\" wave\r\n  track 01 audio\r\n    flags dcp pre\r\n"
							 "    isrc usabc0000001\r\n    index 01 00:00:00\r\n";
	CCueSheet sheet;
	ASSERT_EQ(sheet.Parse(utf8, nullptr), B_OK);
	EXPECT_EQ(sheet.Catalog(), "0123456789012");
	EXPECT_EQ(sheet.Files()[0].name, "a.wav");
	EXPECT_EQ(sheet.Tracks()[0].control, 0x03);
	EXPECT_EQ(sheet.Tracks()[0].isrc, "USABC0000001");
	const std::string title = sheet.DiscText()[CCueSheet::kTextTitle];
	EXPECT_EQ(title, "Caf\xC3\xA9 \xF0\x9F\x8E\xB5");

	// The same text in UTF-16 (U+1F3B5 as a surrogate pair).
	const std::u16string text16 = u"rem COMMENT \"x\"\r\ncatalog 0123456789012\r\ntitle \"Caf\u00E9 \U0001F3B5\"\r\n"
								  u"file \"a.wav\" wave\r\n  track 01 audio\r\n    flags dcp pre\r\n"
								  u"    isrc usabc0000001\r\n    index 01 00:00:00\r\n";
	for (bool bigEndian : {false, true}) {
		std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
		for (char16_t u : text16) {
			char hi = char(u >> 8), lo = char(u & 0xFF);
			bytes += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
		}
		CCueSheet wide;
		std::string error;
		ASSERT_EQ(wide.Parse(bytes, &error), B_OK) << error;
		EXPECT_EQ(wide.DiscText()[CCueSheet::kTextTitle], title);
		EXPECT_EQ(wide.Tracks().size(), 1u);
		EXPECT_EQ(wide.Tracks()[0].isrc, "USABC0000001");
	}
}

// A secure ripper's "gaps appended" sheet: each track's pregap at the end of
// the previous track's file, INDEX 01 at 00:00:00 of its own file. Index
// positions count per file. The same disc as one file is what cd-info and
// cdrdao read (neither lays out several files); all three agree.
TEST(CueSheetLayout, GapsAppendedToThePreviousFileAgreeWithCdInfoAndCdrdao)
{
	CTempFolder folder;
	// 01.wav: track 1 (900) + track 2's pregap (100); 02.wav: track 2 (725)
	// + track 3's pregap (75); 03.wav: track 3 (600).
	const size_t sizes[3] = {1000, 800, 600};
	std::vector<uint8> all;
	for (int i = 0; i < 3; i++) {
		std::vector<uint8> pcm = PatternAudio(sizes[i], uint32(i + 7));
		WriteBytes(folder.File("0" + std::to_string(i + 1) + ".wav"), Wave(pcm));
		all.insert(all.end(), pcm.begin(), pcm.end());
	}
	WriteText(folder.File("gaps.cue"),
		"CATALOG 0123456789012\n"
		"FILE \"01.wav\" WAVE\n"
		"  TRACK 01 AUDIO\n"
		"    ISRC USABC0000001\n"
		"    INDEX 01 00:00:00\n"
		"  TRACK 02 AUDIO\n"
		"    FLAGS DCP\n"
		"    INDEX 00 00:12:00\n"     // 900
		"FILE \"02.wav\" WAVE\n"
		"    INDEX 01 00:00:00\n"
		"  TRACK 03 AUDIO\n"
		"    ISRC USABC0000003\n"
		"    INDEX 00 00:09:50\n"     // 725
		"FILE \"03.wav\" WAVE\n"
		"    INDEX 01 00:00:00\n");
	std::shared_ptr<CDiscImage> disc;
	std::string error;
	ASSERT_EQ(CDiscImage::LoadCue(folder.File("gaps.cue"), &disc, &error), B_OK) << error;
	const std::vector<SToolTrack> expected = {{1, 0, 0, 900}, {2, 900, 1000, 1725}, {3, 1725, 1800, 2400}};
	EXPECT_EQ(ImageTracks(*disc), expected);
	EXPECT_EQ(disc->LeadOut(), 2400);
	EXPECT_EQ(disc->Tracks()[1].control, 0x02);
	EXPECT_EQ(disc->Catalog(), "0123456789012");
	EXPECT_EQ(disc->Isrc(1), "USABC0000001");
	EXPECT_EQ(disc->Isrc(2), "");
	EXPECT_EQ(disc->Isrc(3), "USABC0000003");
	EXPECT_EQ(disc->Isrc(4), "");
	std::vector<uint8> out(all.size());
	ASSERT_EQ(disc->ReadSectors(0, 2400, out.data(), mmc::kAudioSectorSize), B_OK);
	EXPECT_TRUE(out == all) << "the files follow each other without a gap";

	// The same disc in one file, as the tools read it.
	WriteBytes(folder.File("one.bin"), all);
	std::string single = "CATALOG 0123456789012\nFILE \"one.bin\" BINARY\n";
	for (const SToolTrack& t : expected) {
		single += "  TRACK 0" + std::to_string(t.number) + " AUDIO\n";
		if (t.pregapStart < t.start)
			single += "    INDEX 00 " + Msf(t.pregapStart) + "\n";
		single += "    INDEX 01 " + Msf(t.start) + "\n";
	}
	WriteText(folder.File("one.cue"), single);
	std::shared_ptr<CDiscImage> oneFile;
	ASSERT_EQ(CDiscImage::LoadCue(folder.File("one.cue"), &oneFile, &error), B_OK) << error;
	EXPECT_EQ(ImageTracks(*oneFile), expected);

	if (auto cdInfo = RunTool("cd-info", "cd-info --no-device-info --no-cddb --cue-file " + folder.File("one.cue"))) {
		std::vector<SToolTrack> reported = CdInfoTracks(*cdInfo);
		ASSERT_EQ(reported.size(), 3u) << *cdInfo;
		for (size_t i = 0; i < 3; i++) {
			EXPECT_EQ(reported[i].number, expected[i].number);
			EXPECT_EQ(reported[i].start, expected[i].start) << "track " << i + 1;
			// cd-info's length runs to the next start, ours to the next pregap.
			int32 nextPregap = i + 1 < 3 ? expected[i + 1].start - expected[i + 1].pregapStart : 0;
			EXPECT_EQ(reported[i].end - reported[i].start, expected[i].end - expected[i].start + nextPregap);
		}
	}
	if (auto cdrdao = RunTool("cdrdao", "cd " + folder.Path() + " && cdrdao show-toc one.cue")) {
		EXPECT_EQ(CdrdaoTracks(*cdrdao), expected) << *cdrdao;
	}
}

// PREGAP and POSTGAP are silence that no file holds. cdrdao inserts it as
// the sheet format says (cd-info neither inserts PREGAP nor knows POSTGAP).
TEST(CueSheetLayout, GeneratedGapsAgreeWithCdrdao)
{
	CTempFolder folder;
	std::vector<uint8> pcm = PatternAudio(1000, 3);
	WriteBytes(folder.File("g.bin"), pcm);
	WriteText(folder.File("g.cue"),
		"FILE \"g.bin\" BINARY\n"
		"  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n    POSTGAP 00:01:00\n"
		"  TRACK 02 AUDIO\n    PREGAP 00:02:00\n    INDEX 01 00:05:00\n"
		"  TRACK 03 AUDIO\n    INDEX 00 00:08:00\n    INDEX 01 00:09:00\n");
	std::shared_ptr<CDiscImage> disc;
	std::string error;
	ASSERT_EQ(CDiscImage::LoadCue(folder.File("g.cue"), &disc, &error), B_OK) << error;
	// Track 1: 375 from the file and 75 of postgap; track 2: 150 of pregap
	// and file 375..600; track 3: file 600..1000.
	const std::vector<SToolTrack> expected = {{1, 0, 0, 450}, {2, 450, 600, 825}, {3, 825, 900, 1225}};
	EXPECT_EQ(ImageTracks(*disc), expected);
	if (auto cdrdao = RunTool("cdrdao", "cd " + folder.Path() + " && cdrdao show-toc g.cue")) {
		EXPECT_EQ(CdrdaoTracks(*cdrdao), expected) << *cdrdao;
	}
	std::vector<uint8> out(1225 * mmc::kAudioSectorSize);
	ASSERT_EQ(disc->ReadSectors(0, 1225, out.data(), mmc::kAudioSectorSize), B_OK);
	const size_t s = mmc::kAudioSectorSize;
	EXPECT_EQ(std::memcmp(&out[0], &pcm[0], 375 * s), 0);
	EXPECT_TRUE(std::all_of(&out[375 * s], &out[600 * s], [](uint8 x) { return x == 0; }));
	EXPECT_EQ(std::memcmp(&out[600 * s], &pcm[375 * s], 625 * s), 0);
}

// A disc whose first track is 4 keeps its numbers, as cd-info reports them.
TEST(CueSheetLayout, KeepsTheDiscsOwnTrackNumbers)
{
	CTempFolder folder;
	WriteBytes(folder.File("t.bin"), PatternAudio(1000, 4));
	WriteText(folder.File("t.cue"),
		"TITLE \"Album\"\nFILE \"t.bin\" BINARY\n"
		"  TRACK 04 AUDIO\n    TITLE \"Four\"\n    INDEX 01 00:00:00\n"
		"  TRACK 05 AUDIO\n    INDEX 00 00:05:00\n    INDEX 01 00:06:00\n");
	std::shared_ptr<CDiscImage> disc;
	std::string error;
	ASSERT_EQ(CDiscImage::LoadCue(folder.File("t.cue"), &disc, &error), B_OK) << error;
	EXPECT_EQ(disc->FirstTrack(), 4);
	EXPECT_EQ(disc->LastTrack(), 5);
	EXPECT_EQ(disc->FindTrack(1), nullptr);
	EXPECT_EQ(disc->TrackAt(0)->number, 4);
	EXPECT_EQ(disc->TrackAt(-1)->number, 4) << "the lead-in pregap belongs to the first track";
	const std::vector<SToolTrack> expected = {{4, 0, 0, 375}, {5, 375, 450, 1000}};
	EXPECT_EQ(ImageTracks(*disc), expected);
	uint8 q[12];
	disc->QSubChannel(500, q);
	EXPECT_EQ(q[1], 0x05) << "Q names track 5";
	const auto& packs = disc->CdTextPacks();
	ASSERT_GE(packs.size(), 3 * CCdText::kPackSize);
	const uint8* sizeInfo = &packs[packs.size() - 3 * CCdText::kPackSize];
	EXPECT_EQ(sizeInfo[5], 4) << "first track of the CD-Text";
	EXPECT_EQ(sizeInfo[6], 5) << "last track";
	if (auto cdInfo = RunTool("cd-info", "cd-info --no-device-info --no-cddb --cue-file " + folder.File("t.cue"))) {
		std::vector<SToolTrack> reported = CdInfoTracks(*cdInfo);
		ASSERT_EQ(reported.size(), 2u) << *cdInfo;
		EXPECT_EQ(reported[0], (SToolTrack {4, -1, 0, 450}));
		EXPECT_EQ(reported[1], (SToolTrack {5, -1, 450, 1000}));
	}
}

// FLAC and AIFF decode to the samples encoded; a file that is not CD
// audio is refused with its name.
TEST(CueSheetLayout, SoundFilesAreDecodedAndOthersRefusedByName)
{
	CTempFolder folder;
	std::vector<uint8> pcm = PatternAudio(40, 5);
	for (uint8& b : pcm)   // quieter: no clipping in the lossy encoder
		b = uint8(b & 0x0F);
	WriteBytes(folder.File("pcm.raw"), pcm);
	auto make = [&](const std::string& name, const std::string& options) {
		return RunTool("ffmpeg", "ffmpeg -nostdin -loglevel error -y -f s16le -ar 44100 -ac 2 -i "
				+ folder.File("pcm.raw") + " " + options + " " + folder.File(name))
			.has_value();
	};
	if (!make("a.flac", "-c:a flac") || !make("b.aiff", "-c:a pcm_s16be") || !make("c.mp3", "-c:a libmp3lame")
		|| !make("mono.flac", "-ac 1 -c:a flac") || !make("hi.flac", "-ar 48000 -c:a flac")
		|| !make("deep.flac", "-c:a flac -sample_fmt s32"))
		GTEST_SKIP() << "no ffmpeg tool";
	auto load = [&](const std::string& file, const std::string& type, std::shared_ptr<CDiscImage>* disc) {
		WriteText(folder.File("s.cue"),
			"FILE \"" + file + "\" " + type + "\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
		std::string error;
		return CDiscImage::LoadCue(folder.File("s.cue"), disc, &error) == B_OK ? std::string("loaded") : error;
	};
	std::shared_ptr<CDiscImage> disc;
	for (auto [file, type] : {std::pair {"a.flac", "WAVE"}, {"a.flac", "FLAC"}, {"b.aiff", "AIFF"}}) {
		ASSERT_EQ(load(file, type, &disc), "loaded") << file;
		ASSERT_EQ(disc->LeadOut(), 40) << file;
		std::vector<uint8> out(pcm.size());
		ASSERT_EQ(disc->ReadSectors(0, 40, out.data(), mmc::kAudioSectorSize), B_OK);
		EXPECT_TRUE(out == pcm) << file << " decodes to the samples encoded";
	}
	ASSERT_EQ(load("c.mp3", "MP3", &disc), "loaded");
	EXPECT_GE(disc->LeadOut(), 40);
	EXPECT_LE(disc->LeadOut(), 42);
	const std::string notCd = " is not CD audio (44.1 kHz stereo 16-bit)";
	EXPECT_EQ(load("mono.flac", "FLAC", &disc), folder.File("mono.flac") + notCd + " (44100 Hz, 1 channel)");
	EXPECT_EQ(load("hi.flac", "WAVE", &disc), folder.File("hi.flac") + notCd + " (48000 Hz, 2 channels)");
	EXPECT_EQ(load("deep.flac", "FLAC", &disc), folder.File("deep.flac") + notCd + " (44100 Hz, 2 channels, not 16-bit)");
	EXPECT_EQ(load("pcm.raw", "MP3", &disc), folder.File("pcm.raw") + " is not a sound file the media kit can decode");
}

// A FIFO named as a sheet, an audio file or a packs file is refused at once
// instead of blocking in open() for a writer that never comes.
TEST(CueSheetLayout, RefusesAFifoInsteadOfWaitingForAWriter)
{
	CTempFolder folder;
	WriteBytes(folder.File("a.bin"), PatternAudio(10, 1));
	ASSERT_EQ(mkfifo(folder.File("fifo").c_str(), 0600), 0);
	auto load = [&](const std::string& cue, const std::string& cdText) {
		WriteText(folder.File("t.cue"), cue);
		std::string path = cue.empty() ? folder.File("fifo") : folder.File("t.cue");
		auto done = std::async(std::launch::async, [&] {
			std::shared_ptr<CDiscImage> disc;
			std::string error;
			CDiscImage::LoadCue(path, &disc, &error, cdText);
			return error;
		});
		if (done.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
			// Release the blocked reader so that the test ends, failed.
			int fd = ::open(folder.File("fifo").c_str(), O_WRONLY | O_NONBLOCK);
			if (fd >= 0)
				::close(fd);
			ADD_FAILURE() << "blocked in open()";
		}
		return done.get();
	};
	const std::string fifoIs = folder.File("fifo") + " is not a regular file (a FIFO)";
	EXPECT_EQ(load("", ""), fifoIs);
	EXPECT_EQ(load("FILE \"fifo\" BINARY\n TRACK 01 AUDIO\n INDEX 01 00:00:00\n", ""), fifoIs);
	EXPECT_EQ(load("FILE \"fifo\" WAVE\n TRACK 01 AUDIO\n INDEX 01 00:00:00\n", ""), fifoIs);
	EXPECT_EQ(load("FILE \"a.bin\" BINARY\n TRACK 01 AUDIO\n INDEX 01 00:00:00\n", folder.File("fifo")),
		"cannot use the CD-Text packs: " + fifoIs);
}

// Flags, catalogue number and ISRC of a sheet with CR LF line ends and a
// remark, as cd-info and cdrdao read them (both refuse a byte order mark;
// cd-info refuses lower-case keywords, which we accept, see above).
TEST(CueSheetLayout, FlagsCatalogAndIsrcAgreeWithCdInfoAndCdrdao)
{
	CTempFolder folder;
	WriteBytes(folder.File("f.bin"), PatternAudio(1000, 6));
	WriteText(folder.File("f.cue"),
		"REM GENRE Test\r\nCATALOG 0123456789012\r\nFILE \"f.bin\" BINARY\r\n"
		"  TRACK 01 AUDIO\r\n    FLAGS DCP PRE\r\n    ISRC USABC0000001\r\n    INDEX 01 00:00:00\r\n"
		"  TRACK 02 AUDIO\r\n    FLAGS 4CH\r\n    INDEX 00 00:05:00\r\n    INDEX 01 00:06:00\r\n");
	std::shared_ptr<CDiscImage> disc;
	std::string error;
	ASSERT_EQ(CDiscImage::LoadCue(folder.File("f.cue"), &disc, &error), B_OK) << error;
	// Q control nibble: 0x01 pre-emphasis, 0x02 copy permitted, 0x08 four channels.
	std::vector<int> control;
	for (const auto& t : disc->Tracks())
		control.push_back(t.control);
	EXPECT_EQ(control, (std::vector<int> {0x03, 0x08}));
	EXPECT_EQ(disc->Catalog(), "0123456789012");
	EXPECT_EQ(disc->Isrc(1), "USABC0000001");

	if (auto cdInfo = RunTool("cd-info", "cd-info --no-device-info --no-cddb --cue-file " + folder.File("f.cue"))) {
		// "#: MSF LSN Type Green? Copy? Channels Premphasis?"
		std::regex row(R"(^\s*(\d+): \S+\s+\d+ audio\s+\S+\s+(yes|no)\s+(\d)\s+(yes|no))");
		std::vector<int> reported;
		std::istringstream in(*cdInfo);
		std::smatch m;
		for (std::string line; std::getline(in, line);)
			if (std::regex_search(line, m, row))
				reported.push_back((m[2] == "yes" ? 0x02 : 0) | (m[3] == "4" ? 0x08 : 0) | (m[4] == "yes" ? 0x01 : 0));
		EXPECT_EQ(reported, control) << *cdInfo;
		EXPECT_NE(cdInfo->find("Media Catalog Number (MCN): 0123456789012"), std::string::npos);
	}
	if (auto cdrdao = RunTool("cdrdao", "cd " + folder.Path() + " && cdrdao show-toc f.cue")) {
		std::vector<int> reported;
		std::vector<std::string> isrcs;
		std::istringstream in(*cdrdao);
		for (std::string line; std::getline(in, line);) {
			if (line.rfind("TRACK", 0) == 0) {
				reported.push_back(0);
				isrcs.emplace_back();
			} else if (reported.empty()) {
				continue;
			} else if (line.find(" COPY PERMITTED") != std::string::npos) {
				reported.back() |= 0x02;
			} else if (line.find(" PRE-EMPHASIS") != std::string::npos && line.find("NO PRE") == std::string::npos) {
				reported.back() |= 0x01;
			} else if (line.find("FOUR CHANNEL") != std::string::npos) {
				reported.back() |= 0x08;
			} else if (auto at = line.find("ISRC "); at != std::string::npos) {
				for (char c : line.substr(at + 5))
					if (c != ' ')
						isrcs.back() += c;
			}
		}
		EXPECT_EQ(reported, control) << *cdrdao;
		EXPECT_EQ(isrcs, (std::vector<std::string> {"USABC0000001", ""}));
		EXPECT_NE(cdrdao->find("CATALOG NUMBER: 0123456789012"), std::string::npos);
	}
}
