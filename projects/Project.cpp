// The project model: the data file (parsing, crash-safe saving), the track
// list and the folder's name.
#include "projects/Project.h"

#include "frame/Diagnostics.h"
#include "kit/storage/Directory.h"
#include "kit/storage/Entry.h"
#include "kit/storage/Path.h"
#include "kit/support/Message.h"
#include "projects/ProjectTrack.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

const char* const kProjectDataFileName = "Tarnwick project";
const char* const kProjectDataScratchName = ".tarnwick-project.saving";
const char* const kProjectScratchPrefix = ".tarnwick-";

namespace {

// A data file this large is not one this program wrote.
constexpr off_t kMaxDataFileSize = 64 * 1024 * 1024;
// Without "TrackCount" at most this many records are read.
constexpr int32 kMissingTrackCount = 10000;

std::atomic<void (*)(const char*)> sSaveCommitHook {nullptr};

std::string JoinPath(const std::string& folder, const char* leaf)
{
	return folder + "/" + leaf;
}

// Writes all of `data` to `fd`; B_OK or the failing write's status.
status_t WriteAll(int fd, const std::string& data)
{
	size_t done = 0;
	while (done < data.size()) {
		ssize_t written = write(fd, data.data() + done, data.size() - done);
		if (written < 0) {
			if (errno == EINTR)
				continue;
			return StatusFromErrno();
		}
		if (written == 0)
			return B_DEVICE_FULL;
		done += size_t(written);
	}
	return B_OK;
}

// Replaces the data file of `folder` by `data`: written to the scratch file,
// synced, renamed over the data file, the folder synced. On failure the
// scratch file is removed and the data file is as it was.
status_t WriteDataFileSafely(const std::string& folder, const std::string& data)
{
	const std::string scratch = JoinPath(folder, kProjectDataScratchName);
	const std::string target = JoinPath(folder, kProjectDataFileName);

	int fd = open(scratch.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
	if (fd < 0)
		return StatusFromErrno();
	status_t status = WriteAll(fd, data);
	if (status == B_OK && fsync(fd) != 0)
		status = StatusFromErrno();
	if (close(fd) != 0 && status == B_OK)
		status = StatusFromErrno();
	if (status != B_OK) {
		unlink(scratch.c_str());
		return status;
	}

	if (void (*hook)(const char*) = sSaveCommitHook.load())
		hook(scratch.c_str());

	if (rename(scratch.c_str(), target.c_str()) != 0) {
		status = StatusFromErrno();
		unlink(scratch.c_str());
		return status;
	}
	int dirFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
	if (dirFd >= 0) {
		fsync(dirFd);
		close(dirFd);
	}
	return B_OK;
}

int64 SaturatingAdd(int64 a, int64 b)
{
	int64 sum;
	if (__builtin_add_overflow(a, b, &sum))
		return b > 0 ? std::numeric_limits<int64>::max() : std::numeric_limits<int64>::min();
	return sum;
}

}   // namespace

bool IsProjectBookkeepingName(const char* name)
{
	if (name == nullptr)
		return false;
	return strcmp(name, kProjectDataFileName) == 0
		|| strncmp(name, kProjectScratchPrefix, strlen(kProjectScratchPrefix)) == 0;
}

status_t ParseProjectData(const void* data, size_t size, PROJECT_DATA* out)
{
	if (out == nullptr || (data == nullptr && size > 0))
		return B_BAD_VALUE;
	*out = PROJECT_DATA();
	if (size == 0)
		return B_OK;

	BMessage message;
	status_t status = message.Unflatten(static_cast<const char*>(data), size);
	if (status != B_OK)
		return status;

	if (message.FindString("mArtist", &out->artist) != B_OK)
		out->artist.clear();
	if (message.FindString("mTitle", &out->title) != B_OK)
		out->title.clear();
	int64 maxLength;
	if (message.FindInt64("mMaxLength", &maxLength) == B_OK && maxLength >= 0)
		out->maxLength = maxLength;

	int32 count = kMissingTrackCount;
	out->hasTrackCount = message.FindInt32("TrackCount", &count) == B_OK;
	if (!out->hasTrackCount)
		count = kMissingTrackCount;
	for (int32 index = 0; index < count; index++) {
		BMessage record;
		if (message.FindMessage("TrackData", index, &record) != B_OK)
			break;
		out->tracks.push_back(std::move(record));
	}
	return B_OK;
}

// #pragma mark - CProject

CProject::CProject(const char* folderPath)
{
	fTracks.reserve(20);
	FolderPathOrNameChanged(folderPath != nullptr ? folderPath : "");
}

CProject::~CProject() = default;

status_t CProject::Load()
{
	BAutolock lock(fLock);
	DEBUG_ASSERT(fTracks.empty());

	const std::string folder = ProjectFolder();
	BDirectory directory(folder.c_str());
	if (directory.InitCheck() != B_OK)
		return directory.InitCheck();

	// A scratch file left by a save that never finished is not the data.
	unlink(JoinPath(folder, kProjectDataScratchName).c_str());

	const std::string path = JoinPath(folder, kProjectDataFileName);
	int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
	if (fd < 0 && errno == ENOENT)
		fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
	if (fd < 0)
		return StatusFromErrno();

	status_t status = B_OK;
	struct stat st;
	std::string content;
	if (fstat(fd, &st) != 0)
		status = StatusFromErrno();
	else if (!S_ISREG(st.st_mode))
		status = B_BAD_DATA;
	else if (st.st_size > kMaxDataFileSize)
		status = B_BAD_DATA;
	else {
		content.resize(size_t(st.st_size));
		size_t done = 0;
		while (done < content.size()) {
			ssize_t got = read(fd, content.data() + done, content.size() - done);
			if (got < 0 && errno == EINTR)
				continue;
			if (got < 0) {
				status = StatusFromErrno();
				break;
			}
			if (got == 0) {
				// Shorter than its size said: not a whole data file.
				status = B_IO_ERROR;
				break;
			}
			done += size_t(got);
		}
	}
	close(fd);
	if (status != B_OK)
		return status;

	PROJECT_DATA data;
	status = ParseProjectData(content.data(), content.size(), &data);
	if (status != B_OK)
		return status;

	fArtist = data.artist;
	fTitle = data.title;
	mMaxLength = data.maxLength;
	DEBUG_ASSERT(data.hasTrackCount || content.empty());
	for (const BMessage& record : data.tracks)
		fTracks.push_back(std::make_unique<CProjectTrack>(this, &record));
	return B_OK;
}

status_t CProject::Save()
{
	BAutolock lock(fLock);
	const std::string folder = ProjectFolder();
	BDirectory directory(folder.c_str());
	if (directory.InitCheck() != B_OK)
		return directory.InitCheck();

	BMessage message(0);
	status_t status;
	if ((status = message.AddString("mArtist", fArtist)) != B_OK)
		return status;
	if ((status = message.AddString("mTitle", fTitle)) != B_OK)
		return status;
	if ((status = message.AddInt64("mMaxLength", mMaxLength)) != B_OK)
		return status;
	if ((status = message.AddInt32("TrackCount", int32(fTracks.size()))) != B_OK)
		return status;
	for (const std::unique_ptr<CProjectTrack>& track : fTracks) {
		BMessage record(0);
		if ((status = track->Save(&record)) != B_OK)
			return status;
		if ((status = message.AddMessage("TrackData", &record)) != B_OK)
			return status;
	}

	std::string flat;
	if ((status = message.Flatten(&flat)) != B_OK)
		return status;
	return WriteDataFileSafely(folder, flat);
}

status_t CProject::Delete()
{
	BAutolock lock(fLock);
	DEBUG_ASSERT(fTracks.empty());

	const std::string folder = ProjectFolder();
	BDirectory directory(folder.c_str());
	if (directory.InitCheck() != B_OK)
		return directory.InitCheck();

	unlink(JoinPath(folder, kProjectDataScratchName).c_str());
	if (unlink(JoinPath(folder, kProjectDataFileName).c_str()) != 0 && errno != ENOENT)
		return StatusFromErrno();
	directory.Unset();
	if (rmdir(folder.c_str()) != 0) {
		status_t status = StatusFromErrno();
		// Something else is still in the folder: the project stays whole.
		Save();
		return status;
	}
	return B_OK;
}

status_t CProject::SetName(const char* name)
{
	if (name == nullptr || name[0] == '\0' || strchr(name, '/') != nullptr)
		return B_BAD_VALUE;
	BAutolock lock(fLock);
	BEntry entry(ProjectFolder().c_str());
	if (entry.InitCheck() != B_OK)
		return entry.InitCheck();
	return entry.Rename(name, false);
}

void CProject::FolderPathOrNameChanged(const char* path)
{
	BAutolock lock(fLock);
	BPath folder;
	std::string newFolder;
	std::string newName;
	if (path != nullptr && folder.SetTo(path, nullptr, false) == B_OK) {
		newFolder = folder.Path();
		newName = folder.Leaf();
	} else if (path != nullptr) {
		newFolder = path;
	}
	std::lock_guard<std::mutex> folderLock(fFolderLock);
	fFolder = newFolder;
	fName = newName;
}

std::string CProject::ProjectFolder() const
{
	std::lock_guard<std::mutex> folderLock(fFolderLock);
	return fFolder;
}

std::string CProject::Name() const
{
	std::lock_guard<std::mutex> folderLock(fFolderLock);
	return fName;
}

std::string CProject::Title() const
{
	BAutolock lock(fLock);
	return fTitle;
}

std::string CProject::Artist() const
{
	BAutolock lock(fLock);
	return fArtist;
}

void CProject::SetTitle(const char* title)
{
	BAutolock lock(fLock);
	fTitle = title != nullptr ? title : "";
}

void CProject::SetArtist(const char* artist)
{
	BAutolock lock(fLock);
	fArtist = artist != nullptr ? artist : "";
}

int64 CProject::DiscLength() const
{
	BAutolock lock(fLock);
	int64 length = 0;
	for (const std::unique_ptr<CProjectTrack>& track : fTracks) {
		track->Lock();
		const int64 used = track->FileLengthUsed();
		length = SaturatingAdd(length, track->StartSilenceLength());
		length = SaturatingAdd(length, used < 0 ? 0 : used);
		length = SaturatingAdd(length, track->FilePaddingLength());
		length = SaturatingAdd(length, track->EndSilenceLength());
		track->Unlock();
	}
	return length;
}

int64 CProject::DiscMaxLength() const
{
	BAutolock lock(fLock);
	return mMaxLength;
}

void CProject::SetDiscMaxLength(int64 frames)
{
	BAutolock lock(fLock);
	mMaxLength = frames;
}

int32 CProject::CountTracks() const
{
	BAutolock lock(fLock);
	return int32(fTracks.size());
}

CProjectTrack* CProject::TrackAt(int32 index) const
{
	BAutolock lock(fLock);
	if (index < 0 || size_t(index) >= fTracks.size())
		return nullptr;
	return fTracks[size_t(index)].get();
}

int32 CProject::IndexOf(const CProjectTrack* track) const
{
	BAutolock lock(fLock);
	auto found = std::find_if(fTracks.begin(), fTracks.end(),
		[track](const std::unique_ptr<CProjectTrack>& item) { return item.get() == track; });
	return found == fTracks.end() ? -1 : int32(found - fTracks.begin());
}

void CProject::AddTrack(std::unique_ptr<CProjectTrack> track)
{
	DEBUG_ASSERT(track != nullptr);
	if (track == nullptr)
		return;
	BAutolock lock(fLock);
	fTracks.push_back(std::move(track));
}

bool CProject::MoveTrack(int32 from, int32 to)
{
	BAutolock lock(fLock);
	const int32 count = int32(fTracks.size());
	if (from < 0 || from >= count || to < 0 || to >= count)
		return false;
	std::unique_ptr<CProjectTrack> track = std::move(fTracks[size_t(from)]);
	fTracks.erase(fTracks.begin() + from);
	fTracks.insert(fTracks.begin() + to, std::move(track));
	return true;
}

bool CProject::RemoveTrack(CProjectTrack* track)
{
	BAutolock lock(fLock);
	auto found = std::find_if(fTracks.begin(), fTracks.end(),
		[track](const std::unique_ptr<CProjectTrack>& item) { return item.get() == track; });
	if (found == fTracks.end())
		return false;
	fRemovedTracks.push_back(std::move(*found));
	fTracks.erase(found);
	return true;
}

bool CProject::Lock()
{
	return fLock.Lock();
}

void CProject::Unlock()
{
	fLock.Unlock();
}

void CProject::SetSaveCommitHook(void (*hook)(const char* scratchPath))
{
	sSaveCommitHook.store(hook);
}
