// Output files of the extraction: the encoder pair, the temporary file, the
// final name, the type, the tags, and nothing left behind on any failure.
#include "ExtractionTestSupport.h"
#include "extraction/OutputFile.h"
#include "kit/media/MediaFile.h"
#include "kit/media/MediaTrack.h"
#include "kit/storage/Mime.h"
#include "kit/storage/Node.h"
#include "RunCommand.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

class TrackFileTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		fRoot = fs::path(getenv("HOME")) / ("trackfile-" + std::to_string(sCounter++));
		fs::create_directories(fRoot / "temp");
		fs::create_directories(fRoot / "dest");
	}
	void TearDown() override { fs::remove_all(fRoot); }

	std::string Temp() const { return (fRoot / "temp").string(); }
	std::string Dest() const { return (fRoot / "dest").string(); }

	static std::set<std::string> Names(const std::string& folder)
	{
		std::set<std::string> names;
		for (const auto& entry : fs::directory_iterator(folder))
			names.insert(entry.path().filename().string());
		return names;
	}

	// A file format and encoder pair that must be there.
	static void Pair(const char* format, const char* codec, media_file_format* fileFormat, media_codec_info* info)
	{
		media_format input = CddaInputFormat();
		ASSERT_EQ(FindEncoder(fileFormat, info, &input, format, codec), B_OK) << format << "/" << codec;
	}

	// `frames` frames of a recognisable pattern.
	static std::vector<uint8> Audio(int32 frames, uint32 seed = 1)
	{
		std::vector<uint8> audio(size_t(frames) * 4);
		uint32 x = seed;
		for (size_t i = 0; i < audio.size(); i += 2) {
			x = x * 1664525u + 1013904223u;
			int16 sample = int16((x >> 16) % 20000) - 10000;
			audio[i] = uint8(sample);
			audio[i + 1] = uint8(uint16(sample) >> 8);
		}
		return audio;
	}

	// Writes a whole file and finishes it; returns where it went.
	std::string WriteTrack(const char* format, const char* codec, const std::string& artist,
		const std::string& title, const std::vector<uint8>& audio, const TrackTags& tags = {})
	{
		media_file_format fileFormat;
		media_codec_info info;
		Pair(format, codec, &fileFormat, &info);
		CTrackFile file;
		EXPECT_EQ(file.Create(Temp(), fileFormat, info, tags), B_OK);
		EXPECT_EQ(file.WriteFrames(audio.data(), int32(audio.size() / 4)), B_OK);
		std::string path;
		EXPECT_EQ(file.Finish(Dest(), artist, title, &path), B_OK);
		return path;
	}

	// Decodes the whole file as 16-bit host-order PCM.
	static std::vector<uint8> Decode(const std::string& path)
	{
		entry_ref ref;
		get_ref_for_path(path.c_str(), &ref);
		BMediaFile file(&ref);
		std::vector<uint8> pcm;
		if (file.InitCheck() != B_OK || file.CountTracks() < 1)
			return pcm;
		BMediaTrack* track = file.TrackAt(0);
		media_format format {};
		format.type = B_MEDIA_RAW_AUDIO;
		track->DecodedFormat(&format);
		std::vector<uint8> buffer(1 << 16);
		for (;;) {
			int64 frames = 0;
			if (track->ReadFrames(buffer.data(), &frames) != B_OK || frames <= 0)
				break;
			pcm.insert(pcm.end(), buffer.begin(), buffer.begin() + frames * 4);
		}
		return pcm;
	}

	fs::path fRoot;
	static int sCounter;
};

int TrackFileTest::sCounter = 0;

std::string Quote(const std::string& text)
{
	std::string quoted = "'";
	for (char c : text) {
		if (c == '\'')
			quoted += "'\\''";
		else
			quoted += c;
	}
	return quoted + "'";
}

}   // namespace

TEST(Encoders, ThePairsOfTheMediaKitAreFoundByTheirShortNames)
{
	std::vector<FileFormatPair> pairs = ListFileFormatPairs(CddaInputFormat());
	std::set<std::string> names;
	for (const FileFormatPair& pair : pairs)
		names.insert(pair.formatShortName + "/" + pair.codecShortName);
	for (const char* expected : {"wav/raw-audio", "aiff/raw-audio", "flac/flac", "mp3/lame", "ogg/vorbis",
			 "opus/opus", "m4a/aac", "m4a/alac"})
		EXPECT_EQ(names.count(expected), 1u) << expected;
	ASSERT_FALSE(pairs.empty());
	EXPECT_EQ(pairs[0].label, "wav, Raw Audio");   // "%s, %s": extension and encoder name

	media_format input = CddaInputFormat();
	media_file_format format;
	media_codec_info codec;
	ASSERT_EQ(FindEncoder(&format, &codec, &input, "wav", "raw-audio"), B_OK);
	EXPECT_STREQ(format.short_name, "wav");
	EXPECT_STREQ(codec.short_name, "raw-audio");
	EXPECT_EQ(FindEncoder(&format, &codec, &input, "m4a", "alac"), B_OK);
	EXPECT_STREQ(codec.short_name, "alac");
	EXPECT_EQ(FindEncoder(&format, &codec, &input, "wave", "raw-audio"), B_ERROR);   // exact names only
	EXPECT_EQ(FindEncoder(&format, &codec, &input, "wav", "flac"), B_ERROR);         // not that format's
	EXPECT_EQ(FindEncoder(&format, &codec, &input, nullptr, "flac"), B_BAD_VALUE);
}

TEST(FinalNames, ArtistAndTitleWithSlashesMadeBars)
{
	EXPECT_EQ(FinalTrackBaseName("Left/Right", "Song"), "Left|Right: Song");
	EXPECT_EQ(FinalTrackBaseName("", "A/B"), "A|B");
	EXPECT_EQ(FinalTrackBaseName("Artist", ""), "Artist");
}

TEST_F(TrackFileTest, AFinishedTrackTakesAFreeFinalNameItsTypeAndExactAudio)
{
	std::vector<uint8> audio = Audio(44100);
	std::string first = WriteTrack("wav", "raw-audio", "Left/Right", "Song", audio);
	EXPECT_EQ(fs::path(first).filename(), "Left|Right: Song.wav");
	std::string second = WriteTrack("wav", "raw-audio", "Left/Right", "Song", audio);
	EXPECT_EQ(fs::path(second).filename(), "Left|Right: Song (1).wav");
	std::string third = WriteTrack("flac", "flac", "", "Song", audio);
	EXPECT_EQ(fs::path(third).filename(), "Song.flac");
	EXPECT_TRUE(Names(Temp()).empty());   // no temporary file stays

	BNode node(first.c_str());
	BNodeInfo info(&node);
	std::string type;
	EXPECT_EQ(info.GetType(&type), B_OK);
	EXPECT_EQ(type, "audio/x-wav");
	BNode flacNode(third.c_str());
	BNodeInfo flacInfo(&flacNode);
	EXPECT_EQ(flacInfo.GetType(&type), B_OK);
	EXPECT_EQ(type, "audio/flac");

	EXPECT_TRUE(Decode(first) == audio);
	EXPECT_TRUE(Decode(third) == audio);
}

TEST_F(TrackFileTest, ALeftoverTemporaryFileIsNeitherReusedNorRemoved)
{
	{
		std::ofstream leftover(Temp() + "/Tarnwick temporary trackdata");
		leftover << "earlier";
	}
	media_file_format format;
	media_codec_info codec;
	Pair("wav", "raw-audio", &format, &codec);
	CTrackFile file;
	ASSERT_EQ(file.Create(Temp(), format, codec, {}), B_OK);
	EXPECT_EQ(fs::path(file.TemporaryPath()).filename(), "Tarnwick temporary trackdata (1)");
	CTrackFile other;
	ASSERT_EQ(other.Create(Temp(), format, codec, {}), B_OK);
	EXPECT_EQ(fs::path(other.TemporaryPath()).filename(), "Tarnwick temporary trackdata (2)");
	EXPECT_EQ(file.Create(Temp(), format, codec, {}), B_BUSY);
	EXPECT_EQ(file.Discard(), B_OK);
	EXPECT_EQ(Names(Temp()), (std::set<std::string> {"Tarnwick temporary trackdata",
								 "Tarnwick temporary trackdata (2)"}));
}

TEST_F(TrackFileTest, EveryFailureAndEveryAbandonedFileLeavesNothingBehind)
{
	media_file_format wav, m4a;
	media_codec_info raw, alac;
	Pair("wav", "raw-audio", &wav, &raw);
	Pair("m4a", "alac", &m4a, &alac);
	std::vector<uint8> audio = Audio(4410);

	CTrackFile file;
	EXPECT_NE(file.Create(Temp() + "/missing", wav, raw, {}), B_OK);
	EXPECT_EQ(file.Create(Temp(), wav, alac, {}), B_RESOURCE_UNAVAILABLE);   // a codec of another format
	EXPECT_TRUE(Names(Temp()).empty());
	EXPECT_EQ(file.WriteFrames(audio.data(), 10), B_NO_INIT);

	// Cancelled: discarded after some audio.
	ASSERT_EQ(file.Create(Temp(), m4a, alac, {}), B_OK);
	ASSERT_EQ(file.WriteFrames(audio.data(), 4410), B_OK);
	EXPECT_EQ(file.Discard(), B_OK);
	EXPECT_TRUE(Names(Temp()).empty());

	// Abandoned: the object goes while the file is open.
	{
		CTrackFile abandoned;
		ASSERT_EQ(abandoned.Create(Temp(), wav, raw, {}), B_OK);
		abandoned.WriteFrames(audio.data(), 4410);
	}
	EXPECT_TRUE(Names(Temp()).empty());

	// A destination that is not there: the finished file stays under its
	// temporary name, complete, and nothing appears elsewhere.
	CTrackFile stranded;
	ASSERT_EQ(stranded.Create(Temp(), wav, raw, {}), B_OK);
	ASSERT_EQ(stranded.WriteFrames(audio.data(), 4410), B_OK);
	EXPECT_NE(stranded.Finish(Dest() + "/missing", "A", "B"), B_OK);
	EXPECT_EQ(Names(Temp()), std::set<std::string> {"Tarnwick temporary trackdata"});
	EXPECT_TRUE(Decode(stranded.TemporaryPath()) == audio);
	EXPECT_TRUE(Names(Dest()).empty());
}

TEST_F(TrackFileTest, VeryLongNamesAreCutToFitTheFileSystem)
{
	std::string title;
	for (int i = 0; i < 120; i++)
		title += "\xC3\xA9";   // two bytes each: 240 bytes
	std::string path = WriteTrack("wav", "raw-audio", "Artist", title, Audio(588));
	std::string name = fs::path(path).filename().string();
	EXPECT_LE(name.size(), 255u);
	EXPECT_EQ(name.substr(0, 8), "Artist: ");
	EXPECT_EQ(name.substr(name.size() - 4), ".wav");
	std::string again = fs::path(WriteTrack("wav", "raw-audio", "Artist", title, Audio(588))).filename();
	EXPECT_NE(again.find(" (1).wav"), std::string::npos);
}

TEST_F(TrackFileTest, TagsReadBackWithFfprobeInEveryFormatThatCarriesThem)
{
	int status = 0;
	RunCommand("ffprobe -version >/dev/null 2>&1", &status);
	if (status != 0)
		GTEST_SKIP() << "ffprobe is not installed";
	TrackTags tags;
	tags.artist = "Left/Right";
	tags.title = "Song";
	tags.album = "The Disc";
	tags.trackNumber = 3;
	tags.trackCount = 12;
	tags.musicBrainzDiscId = "9AQWqQ0eCCwktwPPrIUIYkUw2Uo-";
	std::vector<uint8> audio = Audio(44100);
	struct Case {
		const char* format;
		const char* codec;
		bool discId;   // free-form tags: Vorbis comments, ID3v2
	} cases[] = {
		{"flac", "flac", true}, {"mp3", "lame", true}, {"ogg", "vorbis", true}, {"opus", "opus", true},
		{"aiff", "raw-audio", true}, {"m4a", "aac", false}, {"m4a", "alac", false}, {"wav", "raw-audio", false},
	};
	for (const Case& c : cases) {
		std::string path = WriteTrack(c.format, c.codec, tags.artist, tags.title, audio, tags);
		std::string probe = RunCommand("ffprobe -v error -show_entries format_tags:stream_tags -of default=nw=1 "
			+ Quote(path));
		for (const char* tag : {"=Left/Right\n", "=Song\n", "=The Disc\n", "=3/12\n"})
			EXPECT_NE(probe.find(tag), std::string::npos) << c.format << "/" << c.codec << " lacks " << tag << probe;
		if (c.discId)
			EXPECT_NE(probe.find("=9AQWqQ0eCCwktwPPrIUIYkUw2Uo-\n"), std::string::npos) << c.format << probe;
	}
}

// A write that the file system refuses: run in a private mount namespace with
// a 192 KiB file system (the child test below), where the disk really fills.
TEST(TrackFileFullDisk, AFullDiskIsAnErrorAndLeavesNothingBehind)
{
	int status = 0;
	RunCommand("unshare -rm true >/dev/null 2>&1", &status);
	if (status != 0)
		GTEST_SKIP() << "no private mount namespace here";
	fs::path folder = fs::path(getenv("HOME")) / "full-disk";
	fs::create_directories(folder);
	std::string command = "TARNWICK_FULL_DISK=" + Quote(folder.string()) + " unshare -rm sh -c "
		+ Quote("mount -t tmpfs -o size=192k tarnwick-full " + Quote(folder.string())
			+ " && exec " + Quote(fs::read_symlink("/proc/self/exe").string()) + " --gtest_filter=TrackFileOnFullDisk.*")
		+ " 2>&1";
	std::string output = RunCommand(command, &status);
	EXPECT_EQ(status, 0) << output;
	EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
}

TEST(TrackFileOnFullDisk, WriteAndCloseFailuresRemoveTheTemporaryFile)
{
	const char* folder = getenv("TARNWICK_FULL_DISK");
	if (folder == nullptr)
		GTEST_SKIP() << "run by TrackFileFullDisk in its own mount namespace";
	media_format input = CddaInputFormat();
	media_file_format format;
	media_codec_info codec;
	ASSERT_EQ(FindEncoder(&format, &codec, &input, "wav", "raw-audio"), B_OK);
	std::vector<uint8> block(2352 * 27);
	for (size_t i = 0; i < block.size(); i++)
		block[i] = uint8(i * 7);

	// The disk fills while the track is written: the failure is a full disk,
	// and giving up leaves nothing.
	CTrackFile file;
	ASSERT_EQ(file.Create(folder, format, codec, {}), B_OK);
	status_t status = B_OK;
	for (int i = 0; i < 100 && status == B_OK; i++)
		status = file.WriteFrames(block.data(), int32(block.size() / 4));
	if (status == B_OK)
		status = file.Finish(folder, "A", "B");
	else
		EXPECT_EQ(file.Discard(), B_OK);
	EXPECT_EQ(status, B_DEVICE_FULL);
	EXPECT_TRUE(fs::is_empty(folder));

	// Room for the header but not for the end of the file: the failure comes
	// when the file is completed, and the incomplete file goes.
	std::vector<uint8> filler(150 * 1024);
	{
		std::ofstream fill(std::string(folder) + "/filler", std::ios::binary);
		fill.write(reinterpret_cast<const char*>(filler.data()), std::streamsize(filler.size()));
	}
	ASSERT_EQ(file.Create(folder, format, codec, {}), B_OK);
	status = B_OK;
	for (int i = 0; i < 100 && status == B_OK; i++)
		status = file.WriteFrames(block.data(), 588);
	if (status == B_OK) {
		status = file.Finish(folder, "A", "B");
	} else {
		file.Discard();
	}
	EXPECT_EQ(status, B_DEVICE_FULL);
	EXPECT_EQ(fs::remove(std::string(folder) + "/filler"), true);
	EXPECT_TRUE(fs::is_empty(folder));
}
