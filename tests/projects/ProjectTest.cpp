// The project and track model on real folders: the data file (its layout,
// loading with missing parts, crash-safe saving), deleting and renaming
// projects, the length limits, the attributes and renaming of track files.
#include "projects/Project.h"
#include "projects/ProjectTrack.h"

#include "frame/Preference.h"
#include "kit/interface/Alert.h"
#include "kit/storage/Entry.h"
#include "kit/support/Message.h"
#include "media/MediaFixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <fstream>
#include <memory>
#include <sys/resource.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace fs = std::filesystem;
using media_test::WriteWav;

namespace {

std::string ReadBytes(const std::string& path)
{
	std::ifstream in(path, std::ios::binary);
	return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
	std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

// A CD audio WAV of `frames` frames (a quiet ramp).
void MakeWav(const std::string& path, int frames, uint32_t statedFrames = 0)
{
	std::vector<int16_t> samples(size_t(frames) * 2);
	for (size_t i = 0; i < samples.size(); i++)
		samples[i] = int16_t(i % 200);
	WriteWav(path, samples, statedFrames != 0 ? statedFrames : uint32_t(frames));
}

std::string GetXattr(const std::string& path, const std::string& name)
{
	char buffer[2048];
	ssize_t got = getxattr(path.c_str(), ("user." + name).c_str(), buffer, sizeof(buffer));
	return got < 0 ? std::string("<none>") : std::string(buffer, size_t(got));
}

void SetXattr(const std::string& path, const std::string& name, const std::string& value)
{
	ASSERT_EQ(0, setxattr(path.c_str(), ("user." + name).c_str(), value.data(), value.size(), 0)) << path;
}

BMessage Record(const char* file)
{
	BMessage record;
	record.AddString("mFile", file);
	return record;
}

// Field names of a message in their order.
std::vector<std::string> FieldNames(const BMessage& message)
{
	std::vector<std::string> names;
	const char* name;
	type_code type;
	for (int32 i = 0; message.GetInfo(B_ANY_TYPE, i, &name, &type) == B_OK; i++)
		names.push_back(name);
	return names;
}

// Records the alerts shown meanwhile; assertions are answered "Ignore".
class AlertScope {
public:
	AlertScope() : fPrevious(SetAlertHandler(&fAlerts)) {}
	~AlertScope() { SetAlertHandler(fPrevious); }
	CScriptedAlertHandler& Alerts() { return fAlerts; }
	int Assertions()
	{
		int count = 0;
		for (const AlertRequest& alert : fAlerts.Shown())
			count += alert.title == "assertion failed";
		return count;
	}

private:
	CScriptedAlertHandler fAlerts {2};
	CAlertHandler* fPrevious;
};

// Child process of a death test: saves a grown project while files may not
// grow past `limit` bytes; exits 0 when the save reported the failure.
void SaveWithFileSizeLimit(const std::string& folder, rlim_t limit)
{
	CProject project(folder.c_str());
	if (project.Load() != B_OK)
		_exit(1);
	project.SetTitle(std::string(4096, 'x').c_str());
	signal(SIGXFSZ, SIG_IGN);
	struct rlimit rlimit;
	rlimit.rlim_cur = limit;
	rlimit.rlim_max = limit;
	setrlimit(RLIMIT_FSIZE, &rlimit);
	_exit(project.Save() == B_OK ? 2 : 0);
}

class ProjectTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		const char* info = ::testing::UnitTest::GetInstance()->current_test_info()->name();
		fRoot = std::string(getenv("HOME")) + "/projects-" + info;
		fs::remove_all(fRoot);
		fFolder = fRoot + "/My Disc";
		fs::create_directories(fFolder);
		fData = fFolder + "/Tarnwick project";
	}

	std::string fRoot;
	std::string fFolder;
	std::string fData;
};

}   // namespace

// #pragma mark - data file

TEST_F(ProjectTest, SavesTheDataFileInItsFieldOrderAndLoadsItBack)
{
	MakeWav(fFolder + "/a.wav", 1000);
	MakeWav(fFolder + "/b.wav", 2000);
	{
		CProject project(fFolder.c_str());
		ASSERT_EQ(B_OK, project.Load());
		project.SetArtist("Disc Artist");
		project.SetTitle("Disc Title");
		project.SetDiscMaxLength(12345678);
		project.AddTrack(std::make_unique<CProjectTrack>(&project, "a.wav", "Song A", "Singer", 150, 0, 1000));
		project.AddTrack(std::make_unique<CProjectTrack>(&project, "b.wav", "Song B", "", 75, 2, 2000));
		project.TrackAt(1)->SetGain(0.5f);
		project.TrackAt(1)->SetIndex1Offset(100);
		ASSERT_TRUE(project.MoveTrack(1, 0));
		ASSERT_EQ(B_OK, project.Save());
	}

	BMessage stored;
	std::string bytes = ReadBytes(fData);
	ASSERT_EQ(B_OK, stored.Unflatten(bytes.data(), bytes.size()));
	EXPECT_EQ(0u, stored.what);
	EXPECT_EQ((std::vector<std::string> {"mArtist", "mTitle", "mMaxLength", "TrackCount", "TrackData"}),
		FieldNames(stored));
	BMessage first;
	ASSERT_EQ(B_OK, stored.FindMessage("TrackData", 0, &first));
	EXPECT_EQ((std::vector<std::string> {"mFile", "mArtist", "mTitle", "mStartSilenceLength", "mEndSilenceLength",
				  "mFileLengthEstimated", "mFileLengthExact", "mFileLengthUsed", "mFileStartOffset",
				  "mFileFadeInEndOffset", "mFileFadeOutStartOffset", "mIndex1Offset", "mGain"}),
		FieldNames(first));
	EXPECT_STREQ("b.wav", first.GetString("mFile", ""));
	EXPECT_EQ(2 * 588, first.GetInt64("mEndSilenceLength", -1));
	EXPECT_FALSE(fs::exists(fFolder + "/.tarnwick-project.saving"));

	CProject again(fFolder.c_str());
	ASSERT_EQ(B_OK, again.Load());
	EXPECT_EQ("Disc Artist", again.Artist());
	EXPECT_EQ("Disc Title", again.Title());
	EXPECT_EQ("My Disc", again.Name());
	EXPECT_EQ(12345678, again.DiscMaxLength());
	ASSERT_EQ(2, again.CountTracks());
	CProjectTrack* b = again.TrackAt(0);
	EXPECT_EQ("b.wav", b->Filename());
	EXPECT_EQ("Song B", b->Title());
	EXPECT_EQ(75 * 588, b->StartSilenceLength());
	EXPECT_EQ(2000, b->FileLengthUsed());
	EXPECT_EQ(100, b->Index1Offset());
	EXPECT_FLOAT_EQ(0.5f, b->Gain());
	EXPECT_EQ("Singer", again.TrackAt(1)->Artist());
	EXPECT_EQ(150 * 588, again.TrackAt(1)->StartSilenceLength());
}

TEST_F(ProjectTest, LoadsEmptyMissingAndIncompleteDataFiles)
{
	AlertScope alerts;
	// No data file: one is made, empty, and the project is empty.
	{
		CProject project(fFolder.c_str());
		ASSERT_EQ(B_OK, project.Load());
		EXPECT_TRUE(fs::exists(fData));
		EXPECT_EQ(0u, fs::file_size(fData));
		EXPECT_EQ(0, project.CountTracks());
		EXPECT_EQ(195804000, project.DiscMaxLength());
		EXPECT_EQ("", project.Title());
	}

	// No "TrackCount": every record present is read (and that is reported).
	MakeWav(fFolder + "/x.wav", 700);
	BMessage data(0);
	data.AddString("mTitle", "Only a title");
	for (int i = 0; i < 3; i++) {
		BMessage record = Record("x.wav");
		record.AddInt64("mFileLengthEstimated", 700);
		record.AddInt64("mStartSilenceLength", i * 588);
		data.AddMessage("TrackData", &record);
	}
	std::string flat;
	ASSERT_EQ(B_OK, data.Flatten(&flat));
	WriteBytes(fData, flat);
	{
		CProject project(fFolder.c_str());
		ASSERT_EQ(B_OK, project.Load());
		EXPECT_EQ(1, alerts.Assertions());
		EXPECT_EQ("Only a title", project.Title());
		EXPECT_EQ("", project.Artist());
		EXPECT_EQ(195804000, project.DiscMaxLength());
		ASSERT_EQ(3, project.CountTracks());
		EXPECT_EQ(2 * 588, project.TrackAt(2)->StartSilenceLength());
		// Missing track fields take their defaults.
		CProjectTrack* track = project.TrackAt(0);
		EXPECT_EQ(0, track->EndSilenceLength());
		EXPECT_EQ(-1, track->FileLengthExact());
		EXPECT_EQ(700, track->FileLengthUsed());
		EXPECT_FLOAT_EQ(1.0f, track->Gain());
	}

	// "TrackCount" smaller than the records: only that many.
	data.AddInt32("TrackCount", 2);
	ASSERT_EQ(B_OK, data.Flatten(&flat));
	WriteBytes(fData, flat);
	CProject project(fFolder.c_str());
	ASSERT_EQ(B_OK, project.Load());
	EXPECT_EQ(2, project.CountTracks());

	// A record without "mFile" names no file.
	PROJECT_DATA parsed;
	BMessage noFile(0);
	BMessage empty;
	noFile.AddInt32("TrackCount", 1);
	noFile.AddMessage("TrackData", &empty);
	ASSERT_EQ(B_OK, noFile.Flatten(&flat));
	ASSERT_EQ(B_OK, ParseProjectData(flat.data(), flat.size(), &parsed));
	TRACK_RECORD values;
	ReadTrackRecord(parsed.tracks.at(0), &values);
	EXPECT_EQ("file not found in message", values.file);
	// Nor may a record name a file outside the project folder.
	for (const char* escape : {"../outside.wav", "..", "sub/x.wav"}) {
		ReadTrackRecord(Record(escape), &values);
		EXPECT_EQ("file not found in message", values.file) << escape;
	}
}

TEST_F(ProjectTest, DamagedDataFileFailsToLoadAndStaysUntouched)
{
	const std::string damaged = "this is not a flattened message at all";
	WriteBytes(fData, damaged);
	CProject project(fFolder.c_str());
	EXPECT_EQ(B_BAD_DATA, project.Load());
	EXPECT_EQ(0, project.CountTracks());
	EXPECT_EQ(damaged, ReadBytes(fData));

	// Hostile values are made harmless: no negative spans, no overflow.
	BMessage record = Record("none.wav");
	record.AddInt64("mFileLengthEstimated", 1000);
	record.AddInt64("mStartSilenceLength", -5);
	record.AddInt64("mFileFadeInEndOffset", INT64_MAX);
	record.AddInt64("mFileFadeOutStartOffset", INT64_MAX);
	record.AddInt64("mFileLengthUsed", -77);
	record.AddFloat("mGain", NAN);
	TRACK_RECORD values;
	ReadTrackRecord(record, &values);
	EXPECT_EQ(0, values.startSilenceLength);
	EXPECT_EQ(-1, values.fileLengthUsed);
	EXPECT_FLOAT_EQ(1.0f, values.gain);
	ClampTrackSpans(1000, &values.fileFadeInEndOffset, &values.fileFadeOutStartOffset, &values.index1Offset);
	EXPECT_EQ(500, values.fileFadeInEndOffset);
	EXPECT_EQ(500, values.fileFadeOutStartOffset);
}

// A save that dies between writing and renaming leaves the previous data
// file; the scratch file it leaves is not data and goes at the next load.
TEST_F(ProjectTest, SaveKilledBeforeItsRenameKeepsThePreviousDataFile)
{
	GTEST_FLAG_SET(death_test_style, "fast");   // the child shares this HOME
	{
		CProject project(fFolder.c_str());
		ASSERT_EQ(B_OK, project.Load());
		project.SetTitle("Old title");
		ASSERT_EQ(B_OK, project.Save());
	}
	const std::string before = ReadBytes(fData);

	EXPECT_EXIT(
		{
			CProject project(fFolder.c_str());
			if (project.Load() != B_OK)
				_exit(1);
			project.SetTitle("New title, never committed");
			CProject::SetSaveCommitHook([](const char*) { _exit(7); });
			project.Save();
			_exit(0);
		},
		::testing::ExitedWithCode(7), "");

	EXPECT_EQ(before, ReadBytes(fData));
	EXPECT_TRUE(fs::exists(fFolder + "/.tarnwick-project.saving"));
	CProject project(fFolder.c_str());
	ASSERT_EQ(B_OK, project.Load());
	EXPECT_EQ("Old title", project.Title());
	EXPECT_FALSE(fs::exists(fFolder + "/.tarnwick-project.saving"));
}

// A volume that fills up during the save: the save fails, the old file stays.
TEST_F(ProjectTest, SaveOnAFullVolumeFailsAndKeepsThePreviousDataFile)
{
	GTEST_FLAG_SET(death_test_style, "fast");   // the child shares this HOME
	{
		CProject project(fFolder.c_str());
		ASSERT_EQ(B_OK, project.Load());
		project.SetTitle("Kept");
		ASSERT_EQ(B_OK, project.Save());
	}
	const std::string before = ReadBytes(fData);

	EXPECT_EXIT(SaveWithFileSizeLimit(fFolder, 200), ::testing::ExitedWithCode(0), "");

	EXPECT_EQ(before, ReadBytes(fData));
	EXPECT_FALSE(fs::exists(fFolder + "/.tarnwick-project.saving"));
}

TEST_F(ProjectTest, DeleteRemovesAnEmptyProjectAndKeepsAFolderWithForeignFiles)
{
	{
		CProject project(fFolder.c_str());
		ASSERT_EQ(B_OK, project.Load());
		project.SetTitle("Keep me");
		WriteBytes(fFolder + "/notes.txt", "foreign");
		EXPECT_EQ(B_DIRECTORY_NOT_EMPTY, project.Delete());
		EXPECT_TRUE(fs::exists(fData));
	}
	{
		CProject project(fFolder.c_str());
		ASSERT_EQ(B_OK, project.Load());
		EXPECT_EQ("Keep me", project.Title());
	}
	fs::remove(fFolder + "/notes.txt");
	CProject project(fFolder.c_str());
	ASSERT_EQ(B_OK, project.Load());
	EXPECT_EQ(B_OK, project.Delete());
	EXPECT_FALSE(fs::exists(fFolder));
}

TEST_F(ProjectTest, SetNameRenamesTheFolderAndWaitsForTheNotification)
{
	CProject project(fFolder.c_str());
	EXPECT_EQ(B_BAD_VALUE, project.SetName("a/b"));
	EXPECT_EQ(B_BAD_VALUE, project.SetName(""));
	ASSERT_EQ(B_OK, project.SetName("Renamed"));
	EXPECT_TRUE(fs::is_directory(fRoot + "/Renamed"));
	EXPECT_EQ("My Disc", project.Name());
	project.FolderPathOrNameChanged((fRoot + "/Renamed").c_str());
	EXPECT_EQ("Renamed", project.Name());
	EXPECT_EQ(fRoot + "/Renamed", project.ProjectFolder());
	fs::create_directories(fRoot + "/Taken");
	EXPECT_EQ(B_FILE_EXISTS, project.SetName("Taken"));
}

// #pragma mark - lengths

TEST_F(ProjectTest, DiscLengthAddsPausesUsedFramesAndPadding)
{
	MakeWav(fFolder + "/t.wav", 100);
	CProject project(fFolder.c_str());
	auto add = [&](int64 used, int32 startSectors, int32 endSectors) {
		auto made = std::make_unique<CProjectTrack>(&project, "t.wav", "", "", startSectors, endSectors, 100000);
		CProjectTrack* track = made.get();
		track->SetFileLengthUsed(used);
		project.AddTrack(std::move(made));
		return track;
	};
	EXPECT_EQ(0, project.DiscLength());
	CProjectTrack* silent = add(0, 150, 1);
	EXPECT_EQ(0, silent->FilePaddingLength());
	EXPECT_EQ(151 * 588, project.DiscLength());
	CProjectTrack* whole = add(588 * 3, 0, 0);
	EXPECT_EQ(0, whole->FilePaddingLength());
	CProjectTrack* odd = add(589, 0, 0);
	EXPECT_EQ(587, odd->FilePaddingLength());
	EXPECT_EQ(151 * 588 + 588 * 3 + 588 * 2, project.DiscLength());
	EXPECT_EQ(0, PaddingFrames(-5));
}

TEST_F(ProjectTest, ConstructionMeasuresAndClampsTheSpans)
{
	MakeWav(fFolder + "/t.wav", 4000);
	CProject project(fFolder.c_str());

	// No estimate: measured; no used length: the file length.
	BMessage bare = Record("t.wav");
	CProjectTrack measured(&project, &bare);
	EXPECT_EQ(4000, measured.FileLengthEstimated());
	EXPECT_EQ(4000, measured.FileLengthUsed());

	auto make = [&](int64 fadeIn, int64 fadeOut, int64 index1) {
		BMessage record = Record("t.wav");
		record.AddInt64("mFileLengthEstimated", 1000);
		record.AddInt64("mFileFadeInEndOffset", fadeIn);
		record.AddInt64("mFileFadeOutStartOffset", fadeOut);
		record.AddInt64("mIndex1Offset", index1);
		return std::make_unique<CProjectTrack>(&project, &record);
	};
	auto both = make(700, 500, 0);
	EXPECT_EQ(500, both->FileFadeInEndOffset());
	EXPECT_EQ(500, both->FileFadeOutStartOffset());
	auto longFade = make(1500, 0, 2000);
	EXPECT_EQ(1000, longFade->FileFadeInEndOffset());   // clamped to the used length
	EXPECT_EQ(0, longFade->FileFadeOutStartOffset());
	EXPECT_EQ(1000, longFade->Index1Offset());
	auto tooLong = make(1500, 1, 0);
	EXPECT_EQ(500, tooLong->FileFadeInEndOffset());
	EXPECT_EQ(500, tooLong->FileFadeOutStartOffset());
}

TEST_F(ProjectTest, ExactFileSizeReplacesTheEstimate)
{
	// The header promises 5000 frames, the data holds 3000.
	MakeWav(fFolder + "/short.wav", 3000, 5000);
	CProject project(fFolder.c_str());
	BMessage record = Record("short.wav");
	record.AddInt64("mFileLengthEstimated", 5000);
	record.AddInt64("mFileFadeOutStartOffset", 4000);
	CProjectTrack track(&project, &record);
	EXPECT_FALSE(track.IsFileLengthExact());
	ASSERT_EQ(B_OK, track.CalculateExactFileSize());
	EXPECT_TRUE(track.IsFileLengthExact());
	EXPECT_EQ(3000, track.FileLength());
	EXPECT_EQ(3000, track.FileLengthUsed());
	EXPECT_EQ(3000, track.FileFadeOutStartOffset());

	// A start offset past the end: nothing of the file is used.
	BMessage late = Record("short.wav");
	late.AddInt64("mFileLengthEstimated", 5000);
	late.AddInt64("mFileStartOffset", 4500);
	late.AddInt64("mFileLengthUsed", 100);
	late.AddInt64("mIndex1Offset", 200);
	CProjectTrack lateTrack(&project, &late);
	ASSERT_EQ(B_OK, lateTrack.CalculateExactFileSize());
	EXPECT_EQ(3000, lateTrack.FileStartOffset());
	EXPECT_EQ(0, lateTrack.FileLengthUsed());
	EXPECT_EQ(0, lateTrack.Index1Offset());

	// Growing file: the size changes, the length follows.
	MakeWav(fFolder + "/short.wav", 6000);
	EXPECT_TRUE(track.FileSizeChanged());
	EXPECT_FALSE(track.IsFileLengthExact());
	EXPECT_EQ(6000, track.FileLengthUsed());
	EXPECT_FALSE(track.FileSizeChanged());

	// Caught while another program rewrites it: 0 for now, no assertion.
	AlertScope alerts;
	WriteBytes(fFolder + "/short.wav", "RIFF");
	EXPECT_TRUE(track.FileSizeChanged());
	EXPECT_EQ(0, track.FileLengthUsed());
	EXPECT_EQ(0, alerts.Assertions());
}

// #pragma mark - attributes and file names

TEST_F(ProjectTest, AttributesAreCutStrippedAndWinOverTheDataFile)
{
	const std::string file = fFolder + "/song.wav";
	MakeWav(file, 100);
	SetXattr(file, "Audio:Title", "   Blank start");
	SetXattr(file, "Audio:Artist", std::string(600, 'a'));
	std::string value;
	ASSERT_EQ(B_OK, ReadFileAttributeString(file.c_str(), "Audio:Title", &value));
	EXPECT_EQ("Blank start", value);
	ASSERT_EQ(B_OK, ReadFileAttributeString(file.c_str(), "Audio:Artist", &value));
	EXPECT_EQ(std::string(500, 'a'), value);
	EXPECT_NE(B_OK, ReadFileAttributeString(file.c_str(), "Audio:Nothing", &value));
	EXPECT_EQ("", value);

	// Through a link, to the file it names.
	const std::string link = fFolder + "/link.wav";
	fs::create_symlink(file, link);
	ASSERT_EQ(B_OK, WriteFileAttributeString(link.c_str(), "Audio:Title", "Via link"));
	EXPECT_EQ(std::string("Via link") + '\0', GetXattr(file, "Audio:Title"));

	CProject project(fFolder.c_str());
	BMessage record = Record("song.wav");
	record.AddString("mTitle", "Data file title");
	record.AddString("mArtist", "Data file artist");
	record.AddInt64("mFileLengthEstimated", 100);
	CProjectTrack track(&project, &record);
	EXPECT_EQ("Via link", track.Title());
	EXPECT_EQ(std::string(500, 'a'), track.Artist());

	// A file without the attributes takes the record's values, written back.
	const std::string bare = fFolder + "/bare.wav";
	MakeWav(bare, 100);
	record.ReplaceString("mFile", "bare.wav");
	CProjectTrack bareTrack(&project, &record);
	EXPECT_EQ("Data file title", bareTrack.Title());
	EXPECT_EQ(std::string("Data file artist") + '\0', GetXattr(bare, "Audio:Artist"));

	// Another program changes the title: only a non-empty change counts.
	SetXattr(bare, "Audio:Title", "Changed elsewhere");
	EXPECT_TRUE(bareTrack.FileAttributesChanged());
	EXPECT_EQ("Changed elsewhere", bareTrack.Title());
	EXPECT_FALSE(bareTrack.FileAttributesChanged());
	SetXattr(bare, "Audio:Title", std::string(1, '\0'));
	EXPECT_FALSE(bareTrack.FileAttributesChanged());
	EXPECT_EQ("Changed elsewhere", bareTrack.Title());
}

TEST_F(ProjectTest, RenameFileTakesTheNextFreeNumber)
{
	MakeWav(fFolder + "/track01.wav", 100);
	WriteBytes(fFolder + "/Band - Song.wav", "taken");
	WriteBytes(fFolder + "/Band - Song (1).wav", "taken");
	CProject project(fFolder.c_str());
	CProjectTrack track(&project, "track01.wav", "", "", 0, 0, 100);
	track.SetArtistAndTitle("Band", "Song");
	EXPECT_TRUE(fs::exists(fFolder + "/Band - Song (2).wav"));
	EXPECT_EQ(std::string("Song") + '\0', GetXattr(fFolder + "/Band - Song (2).wav", "Audio:Title"));

	// The new name reaches the track through the notification.
	EXPECT_EQ("track01.wav", track.Filename());
	track.FileNameChanged("Band - Song (2).wav");
	// Setting the same names again keeps the file where it is.
	track.SetTitle("Song");
	EXPECT_TRUE(fs::exists(fFolder + "/Band - Song (2).wav"));

	// An empty artist becomes a blank; a '/' cannot make a sub-folder.
	track.SetArtist("");
	EXPECT_TRUE(fs::exists(fFolder + "/  - Song.wav"));
	track.FileNameChanged("  - Song.wav");
	track.SetArtistAndTitle("AC/DC", "");
	EXPECT_TRUE(fs::exists(fFolder + "/AC|DC -  .wav"));
}

TEST_F(ProjectTest, RenameFileOfALinkRenamesTheSourceOnlyWhenSetTo)
{
	ASSERT_EQ(B_OK, PreferenceHandler.Init((fRoot + "/settings").c_str()));
	const std::string sources = fRoot + "/sources";
	fs::create_directories(sources);
	MakeWav(sources + "/orig.wav", 100);
	fs::create_symlink(sources + "/orig.wav", fFolder + "/orig.wav");
	CProject project(fFolder.c_str());
	CProjectTrack track(&project, "orig.wav", "", "", 0, 0, 100);

	track.SetArtistAndTitle("A", "B");
	EXPECT_TRUE(fs::is_symlink(fFolder + "/A - B.wav"));
	EXPECT_TRUE(fs::exists(sources + "/orig.wav"));

	CPreference settings("global project settings");
	settings.AddBool("rename source files", true);
	ASSERT_TRUE(settings.Save());
	track.FileNameChanged("A - B.wav");
	track.SetTitle("C");
	EXPECT_TRUE(fs::exists(sources + "/A - C.wav"));
	EXPECT_FALSE(fs::exists(sources + "/orig.wav"));
	// The link is pointed at the renamed source, not left dangling.
	ASSERT_TRUE(fs::is_symlink(fFolder + "/A - C.wav"));
	EXPECT_EQ(fs::path(sources + "/A - C.wav"), fs::read_symlink(fFolder + "/A - C.wav"));
	EXPECT_EQ(1u, std::distance(fs::directory_iterator(fFolder), fs::directory_iterator()));
	settings.ReplaceBool("rename source files", false);
	settings.Save();
}

TEST_F(ProjectTest, GetEntryIsSharedAndCounted)
{
	MakeWav(fFolder + "/e.wav", 100);
	CProject project(fFolder.c_str());
	CProjectTrack track(&project, "e.wav", "", "", 0, 0, 100);
	const BEntry* first = nullptr;
	const BEntry* second = nullptr;
	ASSERT_EQ(B_OK, track.GetEntry(&first));
	ASSERT_EQ(B_OK, track.GetEntry(&second));
	EXPECT_EQ(first, second);
	EXPECT_EQ(fFolder + "/e.wav", first->Path());
	track.ReleaseEntry();
	track.ReleaseEntry();

	CProjectTrack missing(&project, "gone.wav", "", "", 0, 0, 100);
	const BEntry* none = nullptr;
	EXPECT_EQ(B_ENTRY_NOT_FOUND, missing.GetEntry(&none));
	EXPECT_FALSE(missing.FileExists());
	// The failed call was not counted: destruction asserts nothing.
}
