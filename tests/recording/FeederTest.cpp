// The disc feeder over real project folders: the cue sheet and counts, the
// exact stream of decoded samples with pauses and padding, the refusals of
// projects that cannot be recorded, and the checks before a run.
#include "DebugCapture.h"
#include "media/MediaFixtures.h"
#include "projects/Project.h"
#include "projects/ProjectTrack.h"
#include "recording/DaoFeeder.h"
#include "recording/RecordingCheck.h"
#include "recording/TrackFeeder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>

using namespace media_test;

namespace {

// A project folder of its own under HOME, filled by the test.
class ProjectFolder {
public:
	explicit ProjectFolder(const std::string& name)
		: fPath(std::string(std::getenv("HOME")) + "/projects/" + name)
	{
		std::filesystem::remove_all(fPath);
		std::filesystem::create_directories(fPath);
		fProject = std::make_unique<CProject>(fPath.c_str());
	}

	std::string Path(const std::string& leaf) const { return fPath + "/" + leaf; }
	CProject* Project() { return fProject.get(); }

	// A WAV of `frames` frames whose samples count up from `seed`.
	std::vector<uint8_t> AddWav(const std::string& leaf, int64_t frames, int16_t seed, int32 startSectors)
	{
		std::vector<int16_t> samples(size_t(frames) * 2);
		for (size_t i = 0; i < samples.size(); i++)
			samples[i] = int16_t(seed + int16_t(i * 7));
		WriteWav(Path(leaf), samples, uint32_t(frames));
		AddTrack(leaf, startSectors);
		std::vector<uint8_t> bytes(samples.size() * 2);
		std::memcpy(bytes.data(), samples.data(), bytes.size());
		return bytes;
	}

	// A copy of a media fixture as a track.
	void AddFixture(const std::string& fixture, const std::string& leaf, int32 startSectors)
	{
		std::filesystem::copy_file(fixture[0] == '/' ? fixture : Fixture(fixture), Path(leaf), std::filesystem::copy_options::overwrite_existing);
		AddTrack(leaf, startSectors);
	}

	CProjectTrack* AddTrack(const std::string& leaf, int32 startSectors)
	{
		auto made = std::make_unique<CProjectTrack>(fProject.get(), leaf.c_str(), "", "", startSectors, 0, 1000);
		CProjectTrack* track = made.get();
		fProject->AddTrack(std::move(made));
		return track;
	}

private:
	std::string fPath;
	std::unique_ptr<CProject> fProject;
};

// A 16-bit FLAC (the shared "cd.flac" fixture is made from floating-point
// samples, which the encoder stores with 24 bits).
std::string Flac16()
{
	const std::string path = FixtureFolder() + "/cd16.flac";
	if (!std::filesystem::exists(path)) {
		EXPECT_TRUE(RunFfmpeg("-i " + Quote(Fixture("cd.wav")) + " -c:a flac -sample_fmt s16 " + Quote(path)));
	}
	return path;
}

std::vector<uint8_t> ReadStream(CDaoFeeder& feeder, int request, bool littleEndian)
{
	std::vector<uint8_t> all;
	std::vector<uint8_t> buffer(static_cast<size_t>(request));
	for (;;) {
		int got = -1;
		EXPECT_EQ(B_OK, feeder.Read(buffer.data(), request, &got, littleEndian));
		EXPECT_GE(got, 0);
		all.insert(all.end(), buffer.begin(), buffer.begin() + std::max(got, 0));
		if (got < request)
			break;
	}
	int more = -1;
	EXPECT_EQ(B_OK, feeder.Read(buffer.data(), request, &more, littleEndian));
	EXPECT_EQ(0, more);
	return all;
}

void AppendSilence(std::vector<uint8_t>& stream, size_t bytes)
{
	stream.insert(stream.end(), bytes, 0);
}

void AppendTrack(std::vector<uint8_t>& stream, int32 pauseSectors, const std::vector<uint8_t>& data)
{
	AppendSilence(stream, size_t(pauseSectors) * CD_SECTOR_SIZE);
	stream.insert(stream.end(), data.begin(), data.end());
	AppendSilence(stream, (CD_SECTOR_SIZE - data.size() % CD_SECTOR_SIZE) % CD_SECTOR_SIZE);
}

std::string Hex(const uint8* bytes, int32 size)
{
	std::string text;
	char part[4];
	for (int32 i = 0; i < size; i++) {
		snprintf(part, sizeof(part), i % 8 == 7 ? "%02X\n" : "%02X ", bytes[i]);
		text += part;
	}
	return text;
}

}   // namespace

// Two tracks: 1000 data sectors (the last one padded) after a start silence
// of 100 sectors that the first track raises to 150, then 500 data sectors
// without a pause. The cue sheet, its trace and the counts.
TEST(DaoFeeder, CueSheetOfTwoTracks)
{
	ProjectFolder folder("cue");
	folder.AddWav("one.wav", 1000 * 588 - 100, 1, 100);
	folder.AddWav("two.wav", 500 * 588, 2, 0);
	CDaoFeeder feeder;
	ASSERT_EQ(B_OK, feeder.Init(folder.Project()));

	EXPECT_EQ(2, feeder.DiscTrackCount());
	EXPECT_EQ(1650, feeder.DiscSectorCount());
	EXPECT_EQ(1150, feeder.TrackSectorCount(1));
	EXPECT_EQ(1000, feeder.TrackDataSectorCount(1));
	EXPECT_EQ(150, feeder.TrackPauseSectorCount(1));
	EXPECT_EQ(500, feeder.TrackSectorCount(2));
	EXPECT_EQ(500, feeder.TrackDataSectorCount(2));
	EXPECT_EQ(0, feeder.TrackPauseSectorCount(2));
	EXPECT_STREQ("one.wav", feeder.TrackName(1));
	EXPECT_EQ(folder.Path("two.wav"), feeder.TrackFile(2));
	EXPECT_STREQ("", feeder.TrackISRC(2));
	EXPECT_EQ(1, feeder.CurrentTrack());

	CapturedOutput output;
	FlagsScope flags(DEBUG_FLAG_CONSOLE_LOG);
	std::unique_ptr<uint8[]> sheet;
	int32 size = 0;
	ASSERT_EQ(B_OK, feeder.CreateCueSheet(&sheet, &size));
	ASSERT_EQ(48, size);
	EXPECT_EQ("01 00 00 01 00 00 00 00\n"
			  "01 01 00 00 00 00 00 00\n"
			  "01 01 01 00 00 00 02 00\n"
			  "01 02 00 00 00 00 0F 19\n"
			  "01 02 01 00 00 00 0F 19\n"
			  "01 AA 01 01 00 00 16 00\n",
		Hex(sheet.get(), size));
	const std::string trace = output.Text();
	for (const char* line : {"lead-in,  Track 00, time = 00:00.00, 01 00 00 01 00 00 00 00\n",
			 "pause,    Track 01, time = 00:00.00, 01 01 00 00 00 00 00 00\n",
			 "audio,    Track 02, time = 00:15.25, 01 02 01 00 00 00 0F 19\n",
			 "lead-out, Track 170, time = 00:22.00, 01 AA 01 01 00 00 16 00\n"}) {
		EXPECT_NE(std::string::npos, trace.find(line)) << line << trace;
	}
}

// The stream is the decoded samples of every file, each track after its
// pause and padded to a whole sector, without a gap at track boundaries,
// whatever the request size; a rewind gives it again, and big-endian
// requests swap every sample.
TEST(DaoFeeder, StreamIsPausesSamplesAndPadding)
{
	ProjectFolder folder("stream");
	folder.AddFixture(Flac16(), "a.flac", 0);
	const std::vector<uint8_t> b = folder.AddWav("b.wav", 3001, 5, 2 * 75);
	const std::vector<uint8_t> c = folder.AddWav("c.wav", 588 * 3, -9, 7);
	CDaoFeeder feeder;
	ASSERT_EQ(B_OK, feeder.Init(folder.Project()));

	std::vector<uint8_t> expected;
	AppendTrack(expected, 150, FfmpegDecode(folder.Path("a.flac")));
	AppendTrack(expected, 150, b);
	AppendTrack(expected, 7, c);
	ASSERT_EQ(size_t(feeder.DiscSectorCount()) * CD_SECTOR_SIZE, expected.size());
	EXPECT_EQ(3, feeder.TrackDataSectorCount(3));

	// An element of the default buffer, and an odd size that ends reads in
	// the middle of pauses, data and padding.
	EXPECT_EQ(expected, ReadStream(feeder, 508032, true));
	EXPECT_EQ(3, feeder.CurrentTrack());
	ASSERT_EQ(B_OK, feeder.Rewind());
	EXPECT_EQ(expected, ReadStream(feeder, 9996, true));

	ASSERT_EQ(B_OK, feeder.Rewind());
	std::vector<uint8_t> swapped = expected;
	for (size_t i = 0; i + 1 < swapped.size(); i += 2)
		std::swap(swapped[i], swapped[i + 1]);
	EXPECT_EQ(swapped, ReadStream(feeder, 2352 * 5, false));

	// One track alone: a read that begins 1000 bytes before the end of the
	// pause gives those zeros, then data, in one full answer.
	CTrackFeeder track;
	const entry_ref ref = Ref(folder.Path("b.wav"));
	ASSERT_EQ(B_OK, track.Init(&ref));
	EXPECT_EQ(3001 * 4, track.DataLength());
	EXPECT_EQ(2352 * 6 - 3001 * 4, track.PaddingLength());
	track.SetPauseSectorCount(2);
	std::vector<uint8_t> buffer(10000, 0xAA);
	int got = 0;
	ASSERT_EQ(B_OK, track.Read(buffer.data(), 2 * 2352 - 1000, &got, true));
	ASSERT_EQ(2 * 2352 - 1000, got);
	ASSERT_EQ(B_OK, track.Read(buffer.data(), 10000, &got, true));
	ASSERT_EQ(10000, got);
	EXPECT_EQ(std::vector<uint8_t>(1000, 0), std::vector<uint8_t>(buffer.begin(), buffer.begin() + 1000));
	EXPECT_TRUE(std::equal(buffer.begin() + 1000, buffer.end(), b.begin()));
}

// A feeder that was never initialised delivers nothing; Init reports a
// missing file, a file that is no audio, an empty project, each with its
// line.
TEST(DaoFeeder, RefusesWhatItCannotFeed)
{
	CDaoFeeder idle;
	uint8 buffer[16];
	int got = -1;
	EXPECT_EQ(B_OK, idle.Read(buffer, 16, &got, true));
	EXPECT_EQ(0, got);
	EXPECT_EQ(0, idle.CurrentTrack());

	{
		ProjectFolder folder("missing");
		folder.AddWav("here.wav", 600, 1, 0);
		folder.AddTrack("gone.wav", 0);
		CapturedOutput output;
		CDaoFeeder feeder;
		EXPECT_EQ(B_FILE_NOT_FOUND, feeder.Init(folder.Project()));
		EXPECT_NE(std::string::npos, output.Text().find("CDaoFeeder error: File \"gone.wav\" does not exist!\n"));
	}
	{
		ProjectFolder folder("notaudio");
		folder.AddFixture("notes.txt", "notes.wav", 0);
		CapturedOutput output;
		CDaoFeeder feeder;
		EXPECT_NE(B_OK, feeder.Init(folder.Project()));
		EXPECT_NE(std::string::npos, output.Text().find("CTrackFeeder::Init error: CRawMediaFileReader::SetTo failed\n"
																"CDaoFeeder error: CTrackFeeder::Init() failed for file "
																"\"notes.wav\"!\n"))
			<< output.Text();
	}
	{
		ProjectFolder folder("empty");
		CDaoFeeder feeder;
		EXPECT_EQ(B_BAD_VALUE, feeder.Init(folder.Project()));
		std::vector<RECORDING_PROBLEM> problems;
		EXPECT_EQ(B_BAD_VALUE, CheckProjectForRecording(folder.Project(), &problems));
	}
}

// The byte counts of a run are int32: a disc of 99 minutes fits (and its
// cue sheet ends at 99 minutes), 240 minutes do not and are refused, before
// any reading, with the reason; the check names it too.
TEST(DaoFeeder, DiscByteTotalMustFitInt32)
{
	int64 total = 0;
	EXPECT_TRUE(DiscByteTotalFits({INT32_MAX - 4, 4}, &total));
	EXPECT_EQ(int64(INT32_MAX), total);
	EXPECT_FALSE(DiscByteTotalFits({INT32_MAX - 3, 4}, &total));
	EXPECT_FALSE(DiscByteTotalFits({-1}, &total));
	EXPECT_EQ(150, PauseSectorsForTrack(149 * 588 + 587, true));
	EXPECT_EQ(200, PauseSectorsForTrack(200 * 588, true));
	EXPECT_EQ(0, PauseSectorsForTrack(587, false));

	// 99 minutes: three tracks of 33 minutes of start silence and one sector
	// of sound each (445500 sectors plus 3).
	ProjectFolder folder("long");
	for (const char* name : {"a.wav", "b.wav", "c.wav"}) {
		folder.AddWav(name, 588, 1, 0);
		folder.Project()->TrackAt(folder.Project()->CountTracks() - 1)->SetStartSilenceLength(int64(33 * 60 * 75) * 588);
	}
	{
		CDaoFeeder feeder;
		ASSERT_EQ(B_OK, feeder.Init(folder.Project()));
		EXPECT_EQ(99 * 60 * 75 + 3, feeder.DiscSectorCount());
		std::unique_ptr<uint8[]> sheet;
		int32 size = 0;
		feeder.CreateCueSheet(&sheet, &size);
		ASSERT_EQ(64, size);
		EXPECT_EQ(99, sheet[56 + 5]);
		EXPECT_EQ(0, sheet[56 + 6]);
		EXPECT_EQ(3, sheet[56 + 7]);
		std::vector<RECORDING_PROBLEM> problems;
		EXPECT_EQ(B_OK, CheckProjectForRecording(folder.Project(), &problems));
		for (const RECORDING_PROBLEM& problem : problems)
			EXPECT_FALSE(problem.fatal) << problem.text;
	}

	// A fourth track of 141 minutes takes the disc past 2147483647 bytes.
	folder.AddWav("d.wav", 588, 1, 0);
	folder.Project()->TrackAt(3)->SetStartSilenceLength(int64(141 * 60 * 75) * 588);
	CapturedOutput output;
	CDaoFeeder feeder;
	EXPECT_EQ(StatusFromErrno(EFBIG), feeder.Init(folder.Project()));
	EXPECT_NE(std::string::npos, output.Text().find("CDaoFeeder error: the tracks up to \"d.wav\" take"))
		<< output.Text();
	std::vector<RECORDING_PROBLEM> problems;
	EXPECT_EQ(StatusFromErrno(EFBIG), CheckProjectForRecording(folder.Project(), &problems));
	ASSERT_FALSE(problems.empty());
	EXPECT_TRUE(problems.back().fatal);
	EXPECT_EQ(0, problems.back().track);
	EXPECT_NE(std::string::npos, problems.back().text.find("The project is too long to record")) << problems.back().text;
}

// Files that are not CD audio are named with the reason; CD audio in any
// format passes; a track shorter than 4 seconds is a warning naming it.
TEST(RecordingCheck, NamesFilesThatAreNotCdAudio)
{
	const struct {
		const char* fixture;
		const char* reason;   // null: CD audio
	} cases[] = {{"cd.wav", nullptr}, {"cd16.flac", nullptr}, {"cd.mp3", nullptr}, {"cd.aiff", nullptr},
		{"hz48.wav", "48000 Hz instead of 44100 Hz"}, {"mono.wav", "1 channel instead of 2"},
		{"s24.flac", "more than 16 bits per sample instead of 16"},
		{"float.wav", "floating-point samples instead of 16-bit integers"},
		{"notes.txt", "no decoder knows its format"}};
	for (const auto& c : cases) {
		std::string reason = "x";
		const std::string path = std::string(c.fixture) == "cd16.flac" ? Flac16() : Fixture(c.fixture);
		const status_t status = CheckCdAudioFile(Ref(path), &reason);
		if (c.reason == nullptr) {
			EXPECT_EQ(B_OK, status) << c.fixture << ": " << reason;
			EXPECT_EQ("", reason);
		} else {
			EXPECT_NE(B_OK, status) << c.fixture;
			EXPECT_EQ(c.reason, reason) << c.fixture;
		}
	}
	// 24-bit PCM in a WAV.
	const std::string s24 = FixtureFolder() + "/s24.wav";
	ASSERT_TRUE(RunFfmpeg("-i " + Quote(Fixture("cd.wav")) + " -c:a pcm_s24le " + Quote(s24)));
	std::string reason;
	EXPECT_EQ(B_MEDIA_BAD_FORMAT, CheckCdAudioFile(Ref(s24), &reason));
	EXPECT_EQ("more than 16 bits per sample instead of 16", reason);

	ProjectFolder folder("check");
	folder.AddFixture(Flac16(), "flac.flac", 0);
	folder.AddWav("short.wav", 299 * 588, 1, 0);
	folder.AddFixture("hz48.wav", "hz48.wav", 0);
	folder.AddFixture("mono.wav", "mono.wav", 0);
	std::vector<RECORDING_PROBLEM> problems;
	EXPECT_EQ(B_MEDIA_BAD_FORMAT, CheckProjectForRecording(folder.Project(), &problems));
	ASSERT_EQ(4u, problems.size());
	EXPECT_FALSE(problems[0].fatal);
	EXPECT_EQ(1, problems[0].track);
	EXPECT_EQ("\"flac.flac\" is shorter than 4 seconds (00:02.21); many recorders refuse such a track.",
		problems[0].text);
	EXPECT_FALSE(problems[1].fatal);
	EXPECT_EQ(2, problems[1].track);
	EXPECT_EQ("\"short.wav\" is shorter than 4 seconds (00:03.74); many recorders refuse such a track.",
		problems[1].text);
	EXPECT_TRUE(problems[2].fatal);
	EXPECT_EQ("hz48.wav", problems[2].file);
	EXPECT_EQ("\"hz48.wav\" is not CD audio: 48000 Hz instead of 44100 Hz.", problems[2].text);
	EXPECT_TRUE(problems[3].fatal);
	EXPECT_EQ("\"mono.wav\" is not CD audio: 1 channel instead of 2.", problems[3].text);
}

// DummyRead touches the file: a file of 3099 bytes or less gives -1 without
// reading; a larger one a sector's worth; a file that went away its status.
TEST(TrackFeeder, DummyRead)
{
	ProjectFolder folder("dummy");
	folder.AddWav("tiny.wav", (3099 - 44) / 4, 1, 0);   // 3096 bytes with the header
	folder.AddWav("big.wav", 5000, 1, 0);
	CTrackFeeder tiny;
	const entry_ref tinyRef = Ref(folder.Path("tiny.wav"));
	ASSERT_EQ(B_OK, tiny.Init(&tinyRef));
	EXPECT_EQ(-1, tiny.DummyRead());
	CTrackFeeder big;
	const entry_ref bigRef = Ref(folder.Path("big.wav"));
	ASSERT_EQ(B_OK, big.Init(&bigRef));
	for (int i = 0; i < 20; i++)
		EXPECT_EQ(B_OK, big.DummyRead());
	CTrackFeeder gone;
	std::filesystem::copy_file(folder.Path("big.wav"), folder.Path("gone.wav"));
	const entry_ref goneRef = Ref(folder.Path("gone.wav"));
	ASSERT_EQ(B_OK, gone.Init(&goneRef));
	std::filesystem::remove(folder.Path("gone.wav"));
	EXPECT_EQ(B_ENTRY_NOT_FOUND, gone.DummyRead());
}
