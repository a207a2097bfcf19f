// The disc information store, and the names it gives a table of contents
// together with CD-Text.
#include "disc/CdInfo.h"
#include "disc/CdTextDecoder.h"
#include "disc/Toc.h"
#include "disc/TocText.h"
#include "kit/interface/Alert.h"
#include "kit/storage/Node.h"
#include "kit/support/TypeConstants.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Length {
	int minutes;
	int seconds;
};

void InitDisc(CCdInfo& info, int key, Length disc, const std::vector<Length>& tracks)
{
	info.Reset();
	info.Init(int(tracks.size()), key, disc.minutes, disc.seconds);
	for (size_t i = 0; i < tracks.size(); i++)
		info.Init(int(i + 1), tracks[i].minutes, tracks[i].seconds);
}

std::string ReadWhole(const fs::path& path)
{
	std::ifstream in(path, std::ios::binary);
	std::stringstream text;
	text << in.rdbuf();
	return text.str();
}

// A C string with its terminating 0, as the attributes hold them.
std::string WithNul(const std::string& text)
{
	return text + '\0';
}

std::string AttrValue(const fs::path& path, const char* name)
{
	BNode node(path.c_str());
	attr_info info;
	if (node.GetAttrInfo(name, &info) != B_OK)
		return "<none>";
	std::string value(size_t(info.size), '\0');
	node.ReadAttr(name, info.type, 0, value.data(), value.size());
	return value;
}

class CdInfoStore : public ::testing::Test {
protected:
	void SetUp() override
	{
		ASSERT_EQ(CCdInfo::GetStorePath(&fStore), B_OK);
		for (const auto& entry : fs::directory_iterator(fStore))
			fs::remove_all(entry.path());
	}
	std::vector<std::string> Files() const
	{
		std::vector<std::string> names;
		for (const auto& entry : fs::directory_iterator(fStore))
			names.push_back(entry.path().filename().string());
		std::sort(names.begin(), names.end());
		return names;
	}
	fs::path File(const char* name) const { return fs::path(fStore) / name; }

	std::string fStore;
};

}   // namespace

TEST_F(CdInfoStore, NewDiscsGetDefaultFiles)
{
	EXPECT_EQ(fStore, std::string(getenv("XDG_DATA_HOME")) + "/tarnwick/cd");
	CCdInfo info;
	InitDisc(info, 0x442850, {44, 28}, {{1, 5}, {10, 0}, {3, 7}});
	ASSERT_EQ(info.Load(), B_OK);
	EXPECT_STREQ(info.CdText(), "Audio CD");
	EXPECT_STREQ(info.TrackText(3), "Track 3");
	ASSERT_EQ(Files(), std::vector<std::string> {"Audio CD"});
	EXPECT_EQ(ReadWhole(File("Audio CD")), "Audio CD\t44:28\nTrack 1\t01:05\nTrack 2\t10:00\nTrack 3\t03:07\n");
	EXPECT_EQ(AttrValue(File("Audio CD"), "CD:tracks"), WithNul("Audio CD\nTrack 1\nTrack 2\nTrack 3\n"));
	EXPECT_EQ(AttrValue(File("Audio CD"), "BEOS:TYPE"), WithNul("text/x-cd_tracks"));
	int32 key = 0x442850;
	EXPECT_EQ(AttrValue(File("Audio CD"), "CD:key"), std::string(reinterpret_cast<char*>(&key), 4));

	// Another disc, and one with the same key but another track length.
	CCdInfo other;
	InitDisc(other, 0x100000, {10, 0}, {{10, 0}});
	ASSERT_EQ(other.Load(), B_OK);
	EXPECT_STREQ(other.CdText(), "Audio CD 1");
	InitDisc(other, 0x442850, {44, 28}, {{1, 5}, {10, 0}, {3, 8}});
	ASSERT_EQ(other.Load(), B_OK);
	EXPECT_STREQ(other.CdText(), "Audio CD 2");
	// The first disc finds its file again.
	InitDisc(info, 0x442850, {44, 28}, {{1, 5}, {10, 0}, {3, 7}});
	ASSERT_EQ(info.Load(), B_OK);
	EXPECT_STREQ(info.CdText(), "Audio CD");
	EXPECT_EQ(Files().size(), 3u);
}

TEST_F(CdInfoStore, SavedNamesComeBack)
{
	CCdInfo info;
	InitDisc(info, 0x123456, {12, 34}, {{1, 5}, {10, 0}});
	ASSERT_EQ(info.Load(), B_OK);
	info.SetCdText("Band - Album");
	info.SetTrackText(1, "Band - First");
	info.SetTrackText(2, "Tab\there\nand line");
	ASSERT_EQ(info.Save(), B_OK);
	EXPECT_EQ(ReadWhole(File("Audio CD")), "Band - Album\t12:34\nBand - First\t01:05\nTab here and line\t10:00\n");
	EXPECT_EQ(AttrValue(File("Audio CD"), "CD:tracks"), WithNul("Band - Album\nBand - First\nTab here and line\n"));

	CCdInfo again;
	InitDisc(again, 0x123456, {12, 34}, {{1, 5}, {10, 0}});
	ASSERT_EQ(again.Load(), B_OK);
	EXPECT_STREQ(again.CdText(), "Band - Album");
	EXPECT_STREQ(again.TrackText(2), "Tab here and line");
	EXPECT_EQ(Files(), std::vector<std::string> {"Audio CD"});
}

TEST_F(CdInfoStore, NamesBeyondTheAttributeSpaceAreKept)
{
	std::vector<Length> lengths;
	for (int i = 0; i < 99; i++)
		lengths.push_back({i % 20, i % 60});
	CCdInfo info;
	InitDisc(info, 0x0777, {70, 1}, lengths);
	// First short names (the attribute holds them), then long ones.
	for (int track = 1; track <= 99; track++)
		info.SetTrackText(track, ("short " + std::to_string(track)).c_str());
	info.SetCdText("short");
	ASSERT_EQ(info.Save(), B_OK);
	auto longName = [](int track) { return "Performer " + std::to_string(track) + " - " + std::string(120, 'a'); };
	for (int track = 1; track <= 99; track++)
		info.SetTrackText(track, longName(track).c_str());
	ASSERT_EQ(info.Save(), B_OK);
	ASSERT_GT(info.TracksAttribute().size(), 8192u);
	// No stale value is left where the attribute cannot hold the names.
	const std::string stored = AttrValue(File("Audio CD"), "CD:tracks");
	EXPECT_TRUE(stored == "<none>" || stored == WithNul(info.TracksAttribute()));

	CCdInfo again;
	InitDisc(again, 0x0777, {70, 1}, lengths);
	ASSERT_EQ(again.Load(), B_OK);
	EXPECT_STREQ(again.CdText(), "short");
	for (int track = 1; track <= 99; track++)
		ASSERT_EQ(again.TrackText(track), longName(track)) << track;
	EXPECT_EQ(Files().size(), 1u);
}

TEST_F(CdInfoStore, ShortOrMissingAttributeIsCompletedFromTheLines)
{
	CCdInfo info;
	InitDisc(info, 7, {1, 2}, {{0, 30}, {0, 31}, {0, 32}});
	info.SetCdText("Disc");
	for (int track = 1; track <= 3; track++)
		info.SetTrackText(track, ("Name " + std::to_string(track)).c_str());
	ASSERT_EQ(info.Save(), B_OK);
	BNode node(File("Audio CD").c_str());
	const char shortValue[] = "Other disc\nOther 1\n";
	ASSERT_GT(node.WriteAttr("CD:tracks", B_STRING_TYPE, 0, shortValue, sizeof(shortValue)), 0);

	InitDisc(info, 7, {1, 2}, {{0, 30}, {0, 31}, {0, 32}});
	ASSERT_EQ(info.Load(), B_OK);
	EXPECT_STREQ(info.CdText(), "Other disc");
	EXPECT_STREQ(info.TrackText(1), "Other 1");
	EXPECT_STREQ(info.TrackText(2), "Name 2");

	ASSERT_EQ(node.RemoveAttr("CD:tracks"), B_OK);
	ASSERT_EQ(info.Load(), B_OK);
	EXPECT_STREQ(info.CdText(), "Disc");
	EXPECT_STREQ(info.TrackText(1), "Name 1");
}

TEST_F(CdInfoStore, DamagedAndForeignFilesAreNotTaken)
{
	const int32 key = 0x010203;
	auto plant = [&](const char* name, const std::string& data, bool withKey) {
		std::ofstream(File(name), std::ios::binary) << data;
		BNode node(File(name).c_str());
		if (withKey)
			node.WriteAttr("CD:key", B_INT32_TYPE, 0, &key, sizeof(key));
	};
	plant("Audio CD", "garbage without tabs", true);
	plant("no key", "Mine\t01:02\nT1\t00:30\n", false);
	plant("cut", "Mine\t01:02\nT1\t00:", true);
	plant("huge number", "Mine\t01:02\nT1\t99999999999999:30\n", true);
	plant("extra line", "Mine\t01:02\nT1\t00:30\nT2\t00:10\n", true);
	plant("empty", "", true);
	fs::create_directory(File("a folder"));

	CCdInfo info;
	InitDisc(info, key, {1, 2}, {{0, 30}});
	CScriptedAlertHandler alerts(2);
	CAlertHandler* previous = SetAlertHandler(&alerts);
	ASSERT_EQ(info.Load(), B_OK);
	SetAlertHandler(previous);
	EXPECT_EQ(alerts.CountShown(), 0u);
	EXPECT_STREQ(info.CdText(), "Audio CD 1");
	EXPECT_EQ(ReadWhole(File("extra line")), "Mine\t01:02\nT1\t00:30\nT2\t00:10\n");

	// The check on its own: one line per entry with its length, the last tab
	// of a line ending the name.
	EXPECT_TRUE(info.CheckFile("With\ttab\t01:02\nT1\t00:30"));
	EXPECT_FALSE(info.CheckFile("Mine\t01:02\nT1\t00:31\n"));
	EXPECT_FALSE(info.CheckFile("Mine\t01:02\n\nT1\t00:30\n"));
	EXPECT_FALSE(info.CheckFile("Mine\t1-02\nT1\t00:30\n"));
}

TEST_F(CdInfoStore, NothingWithoutTracks)
{
	CCdInfo info;
	info.Init(0, 5, 1, 1);
	EXPECT_EQ(info.Load(), B_OK);
	EXPECT_EQ(info.Save(), B_OK);
	info.SetCdText("ignored");
	EXPECT_STREQ(info.CdText(), "");
	EXPECT_TRUE(Files().empty());
}

namespace {

// A table of contents of `count` tracks of 65 seconds each, with its keys.
void FillToc(CToc& toc, int count)
{
	toc.MakeEmpty();
	toc.SetTrackCount(count);
	for (int track = 1; track <= count; track++)
		toc.InitCdTracksTrackKey(track, (track - 1) * 65 * 75, track * 65 * 75);
	toc.InitCdTracksCdKey(count * 65 * 75);
}

struct TextPack {
	uint8 type;
	uint8 track;
	std::string text;
};

bool DecodeText(CCdTextDecoder& decoder, const std::vector<TextPack>& packs)
{
	std::vector<uint8> buffer {0, uint8(packs.size() * 18 + 2), 0, 0};
	uint8 sequence = 0;
	for (const auto& [type, track, text] : packs) {
		uint8 pack[18] = {type, track, sequence++, 0};
		for (size_t i = 0; i < text.size() && i < 12; i++)
			pack[4 + i] = uint8(text[i]);
		buffer.insert(buffer.end(), pack, pack + 18);
	}
	return decoder.Init(buffer.data(), int(buffer.size()));
}

}   // namespace

TEST_F(CdInfoStore, TocNamesFromStoreAndCdText)
{
	CToc toc;
	CCdInfo info;
	toc.Lock();
	FillToc(toc, 3);
	LoadStoredTocText(toc, info);
	EXPECT_STREQ(toc.Title(), "Audio CD");
	EXPECT_STREQ(toc.TrackTitle(2), "Track 2");

	// The user names track 1; track 2 keeps only an artist.
	toc.SetTrackTitle(1, "Mine");
	toc.SetTrackArtist(2, "Someone");
	toc.SetTrackTitle(2, "");
	ASSERT_EQ(SaveStoredTocText(toc, info), B_OK);
	EXPECT_STREQ(info.TrackText(1), "Mine");
	EXPECT_STREQ(info.TrackText(2), "Someone - ");
	EXPECT_STREQ(info.TrackText(3), "Track 3");

	// Next insertion: the stored names come back and win; CD-Text replaces
	// the defaults.
	CCdTextDecoder text;
	ASSERT_TRUE(DecodeText(text, {{0x80, 0, std::string("Album\0T1\0T2\0", 12)}, {0x80, 3, "T3"},
									 {0x81, 0, std::string("Band\0P1\0P2\0", 12)}, {0x81, 3, "P3"}}));
	FillToc(toc, 3);
	LoadStoredTocText(toc, info);
	MergeCdText(toc, text);
	EXPECT_STREQ(toc.Title(), "Band - Album");
	EXPECT_STREQ(toc.TrackTitle(1), "Mine");
	EXPECT_STREQ(toc.TrackArtist(1), "P1");
	EXPECT_STREQ(toc.TrackTitle(2), "T2");
	EXPECT_STREQ(toc.TrackArtist(2), "Someone");
	EXPECT_STREQ(toc.TrackTitle(3), "T3");

	// A disc title the user gave stays; a CD-Text title without performer is
	// taken as it is; without a CD-Text disc name the default stays.
	toc.SetTitle("My Disc");
	MergeCdText(toc, text);
	EXPECT_STREQ(toc.Title(), "My Disc");
	ASSERT_TRUE(DecodeText(text, {{0x80, 0, "1999"}}));
	toc.SetTitle("Audio CD 4");
	MergeCdText(toc, text);
	EXPECT_STREQ(toc.Title(), "1999");
	ASSERT_TRUE(DecodeText(text, {{0x80, 1, "X"}}));
	toc.SetTitle("Audio CD 4");
	MergeCdText(toc, text);
	EXPECT_STREQ(toc.Title(), "Audio CD 4");

	toc.SetTitle("");
	ASSERT_EQ(SaveStoredTocText(toc, info), B_OK);
	EXPECT_STREQ(info.CdText(), "Audio CD");
	toc.Unlock();
}

TEST(CdTextImport, QuestionAndAnswer)
{
	CToc toc;
	toc.Lock();
	FillToc(toc, 2);
	toc.SetTitle("Kept?");
	toc.SetTrackTitle(1, "Old 1");
	toc.SetTrackArtist(1, "Old artist");
	toc.SetTrackTitle(2, "Old 2");
	CCdTextDecoder text;
	ASSERT_TRUE(DecodeText(text, {{0x80, 0, std::string("Album\0One\0\0", 11)}, {0x81, 0, std::string("Band\0\0Solo", 10)}}));

	EXPECT_EQ(CdTextImportQuestion(toc, text),
		"Do you want to replace the current CD track descriptions with the following data ?\n\n"
		"Title: Band - Album\nTrack 01: One\nTrack 02: Solo\n\n\n");
	ApplyCdTextImport(toc, text);
	EXPECT_STREQ(toc.Title(), "Band - Album");
	EXPECT_STREQ(toc.TrackTitle(1), "One");
	EXPECT_STREQ(toc.TrackArtist(1), "Old artist");
	EXPECT_STREQ(toc.TrackTitle(2), "Old 2");
	EXPECT_STREQ(toc.TrackArtist(2), "Solo");
	toc.Unlock();
}
