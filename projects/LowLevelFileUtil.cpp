// File and link copies into a folder, with the free-space test of folder
// moves and the clean-up of failed copies.
#include "projects/LowLevelFileUtil.h"

#include "frame/Diagnostics.h"
#include "kit/storage/Directory.h"
#include "kit/storage/Entry.h"
#include "kit/storage/Node.h"
#include "kit/storage/Volume.h"
#include "kit/support/Errors.h"
#include "projects/FileUtil.h"

#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>
#include <vector>

namespace {

constexpr off_t kFreeSpaceReserve = 8000;
constexpr size_t kDefaultBlockSize = 65536;
constexpr size_t kAttributeBufferSize = 4096;
// How often a name that was free when looked up may be taken by someone else
// before the copy gives up.
constexpr int kNameAttempts = 100;
// Link targets are read whole up to this length.
constexpr size_t kMaxLinkTarget = 4096;

std::mutex sQueryLock;
FreeSpaceQuery sQuery;   // guarded by sQueryLock; null: the volume answers

off_t VolumeFreeSpace(const char* folderPath)
{
	BVolume volume;
	status_t status = volume.SetToPath(folderPath);
	if (status != B_OK)
		return status;
	return volume.FreeBytes();
}

// An open descriptor that closes itself.
class FdCloser {
public:
	explicit FdCloser(int fd = -1) : fFd(fd) {}
	~FdCloser()
	{
		if (fFd >= 0)
			close(fFd);
	}
	FdCloser(const FdCloser&) = delete;
	FdCloser& operator=(const FdCloser&) = delete;
	int Get() const { return fFd; }
	void Reset(int fd)
	{
		if (fFd >= 0)
			close(fFd);
		fFd = fd;
	}
	// Closes now; B_OK or the status of close (delayed write errors).
	status_t Close()
	{
		int fd = fFd;
		fFd = -1;
		if (fd >= 0 && close(fd) != 0 && errno != EINTR)
			return StatusFromErrno();
		return B_OK;
	}

private:
	int fFd;
};

status_t Fail(FileCopyJob* job, copy_step step, status_t status)
{
	job->failedStep = step;
	job->status = status;
	return status;
}

// Reads up to `length` bytes, retrying interrupted reads. The count, or -1
// with errno set.
ssize_t ReadSome(int fd, char* buffer, size_t length)
{
	for (;;) {
		ssize_t got = read(fd, buffer, length);
		if (got >= 0 || errno != EINTR)
			return got;
	}
}

// Writes all `length` bytes; B_OK or the status of the failing write (a
// write that makes no progress counts as a full device).
status_t WriteAll(int fd, const char* buffer, size_t length)
{
	while (length > 0) {
		ssize_t done = write(fd, buffer, length);
		if (done < 0) {
			if (errno == EINTR)
				continue;
			return StatusFromErrno();
		}
		if (done == 0)
			return B_DEVICE_FULL;
		buffer += done;
		length -= size_t(done);
	}
	return B_OK;
}

// The name of a copy of `baseName` that nobody has in `folder` yet; `create`
// makes the entry (failing with EEXIST when someone took the name first).
status_t CreateUnderFreeName(const BDirectory& folder, const char* baseName, FileCopyJob* job,
	const std::function<bool(const std::string& name, status_t* status)>& create)
{
	for (int attempt = 0; attempt < kNameAttempts; attempt++) {
		std::string name;
		status_t status = GetUnusedName(&name, &folder, baseName);
		if (status != B_OK)
			return Fail(job, COPY_STEP_NAME, status);
		if (create(name, &status)) {
			job->name = name;
			return B_OK;
		}
		if (status != B_FILE_EXISTS)
			return Fail(job, COPY_STEP_CREATE, status);
	}
	return Fail(job, COPY_STEP_CREATE, B_FILE_EXISTS);
}

}   // namespace

FreeSpaceQuery SetFreeSpaceQuery(FreeSpaceQuery query)
{
	std::lock_guard<std::mutex> lock(sQueryLock);
	FreeSpaceQuery previous = std::move(sQuery);
	sQuery = std::move(query);
	return previous;
}

off_t QueryFreeSpace(const char* folderPath)
{
	FreeSpaceQuery query;
	{
		std::lock_guard<std::mutex> lock(sQueryLock);
		query = sQuery;
	}
	if (folderPath == nullptr)
		return B_BAD_VALUE;
	return query ? query(folderPath) : VolumeFreeSpace(folderPath);
}

status_t CopyStatToFd(int fd, const struct stat& st)
{
	// Owner first: changing it clears the set-user and set-group bits.
	if (fchown(fd, st.st_uid, st.st_gid) != 0) {
		// Not permitted to give the file away: keep at least the group when
		// the caller belongs to it.
		if (fchown(fd, uid_t(-1), st.st_gid) != 0) {
			// The caller's own owner and group stay.
		}
	}
	if (fchmod(fd, st.st_mode & 07777) != 0)
		return StatusFromErrno();
	struct timespec times[2] = {st.st_atim, st.st_mtim};
	if (futimens(fd, times) != 0)
		return StatusFromErrno();
	return B_OK;
}

status_t CopyFileInto(const entry_ref& source, const entry_ref& folder, FileCopyJob* job)
{
	DEBUG_ASSERT(job != nullptr);
	if (job == nullptr)
		return B_BAD_VALUE;
	job->failedStep = COPY_STEP_NONE;
	job->status = B_OK;
	job->name.clear();
	if (!source.IsValid())
		return Fail(job, COPY_STEP_OPEN_SOURCE, B_BAD_VALUE);

	// Non-blocking, so that a FIFO under the name cannot hold the copy up.
	FdCloser sourceFd(open(source.Path().c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
	if (sourceFd.Get() < 0)
		return Fail(job, COPY_STEP_OPEN_SOURCE, StatusFromErrno());
	struct stat st;
	if (fstat(sourceFd.Get(), &st) != 0)
		return Fail(job, COPY_STEP_STAT_SOURCE, StatusFromErrno());
	if (S_ISDIR(st.st_mode))
		return Fail(job, COPY_STEP_OPEN_SOURCE, B_IS_A_DIRECTORY);
	if (!S_ISREG(st.st_mode))
		return Fail(job, COPY_STEP_OPEN_SOURCE, B_NOT_ALLOWED);
	int flags = fcntl(sourceFd.Get(), F_GETFL);
	if (flags >= 0)
		fcntl(sourceFd.Get(), F_SETFL, flags & ~O_NONBLOCK);
	if (job->progress)
		job->progress(0, st.st_size);

	if (!folder.IsValid())
		return Fail(job, COPY_STEP_OPEN_FOLDER, B_BAD_VALUE);
	std::string folderPath = folder.Path();
	BDirectory destDir(folderPath.c_str());
	if (destDir.InitCheck() != B_OK)
		return Fail(job, COPY_STEP_OPEN_FOLDER, destDir.InitCheck());
	FdCloser folderFd(open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
	if (folderFd.Get() < 0)
		return Fail(job, COPY_STEP_OPEN_FOLDER, StatusFromErrno());

	if (job->checkFreeSpace) {
		off_t freeBytes = QueryFreeSpace(folderPath.c_str());
		if (freeBytes < 0)
			return Fail(job, COPY_STEP_FREE_SPACE, status_t(freeBytes));
		if (freeBytes <= st.st_size + kFreeSpaceReserve)
			return Fail(job, COPY_STEP_FREE_SPACE, B_NO_MEMORY);
	}

	// Created private to the owner; the source's permissions come at the end.
	FdCloser destFd;
	status_t status = CreateUnderFreeName(destDir, source.name.c_str(), job,
		[&](const std::string& name, status_t* createStatus) {
			int fd = openat(folderFd.Get(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY,
				S_IRUSR | S_IWUSR);
			if (fd < 0) {
				*createStatus = StatusFromErrno();
				return false;
			}
			destFd.Reset(fd);
			return true;
		});
	if (status != B_OK)
		return status;

	auto removeCopy = [&] {
		destFd.Reset(-1);
		unlinkat(folderFd.Get(), job->name.c_str(), 0);
	};

	size_t blockSize = st.st_blksize > 0 ? size_t(st.st_blksize) : kDefaultBlockSize;
	std::vector<char> buffer(blockSize);
	off_t copied = 0;
	for (;;) {
		if (job->abort != nullptr && job->abort->load()) {
			removeCopy();
			return Fail(job, COPY_STEP_ABORTED, B_CANCELED);
		}
		ssize_t got = ReadSome(sourceFd.Get(), buffer.data(), buffer.size());
		if (got < 0) {
			status = StatusFromErrno();
			removeCopy();
			return Fail(job, COPY_STEP_READ, status);
		}
		if (got == 0)
			break;
		status = WriteAll(destFd.Get(), buffer.data(), size_t(got));
		if (status != B_OK) {
			removeCopy();
			return Fail(job, COPY_STEP_WRITE, status);
		}
		copied += got;
		if (job->progress)
			job->progress(copied, st.st_size);
	}

	// Attributes from the node the data came from (the link's target).
	std::string destPath = folderPath == "/" ? "/" + job->name : folderPath + "/" + job->name;
	BEntry sourceEntry(&source, true);
	BNode sourceNode(&sourceEntry);
	BNode destNode(destPath.c_str());
	status = sourceNode.InitCheck() != B_OK ? sourceNode.InitCheck() : destNode.InitCheck();
	if (status == B_OK) {
		char attributeBuffer[kAttributeBufferSize];
		status = CopyAttributes(&sourceNode, &destNode, attributeBuffer, sizeof(attributeBuffer));
	}
	if (status == B_OK)
		status = CopyStatToFd(destFd.Get(), st);
	if (status != B_OK) {
		removeCopy();
		return Fail(job, COPY_STEP_ATTRIBUTES, status);
	}
	status = destFd.Close();
	if (status != B_OK) {
		unlinkat(folderFd.Get(), job->name.c_str(), 0);
		return Fail(job, COPY_STEP_WRITE, status);
	}
	return B_OK;
}

status_t LowLevelCopyFile(const entry_ref& source, const entry_ref& folder)
{
	FileCopyJob job;
	job.checkFreeSpace = true;
	status_t status = CopyFileInto(source, folder, &job);
	if (status == B_OK)
		return B_OK;
	if (job.failedStep == COPY_STEP_READ)
		return B_IO_ERROR;
	if (job.failedStep == COPY_STEP_WRITE)
		return B_DEVICE_FULL;
	return status;
}

status_t LowLevelCopyLink(const entry_ref& link, const entry_ref& folder)
{
	if (!link.IsValid() || !folder.IsValid())
		return B_BAD_VALUE;
	std::string linkPath = link.Path();
	struct stat st;
	if (lstat(linkPath.c_str(), &st) != 0)
		return StatusFromErrno();
	if (!S_ISLNK(st.st_mode))
		return B_BAD_VALUE;
	std::vector<char> target(kMaxLinkTarget);
	ssize_t length = readlink(linkPath.c_str(), target.data(), target.size());
	if (length < 0)
		return StatusFromErrno();
	if (size_t(length) >= target.size())
		return B_NAME_TOO_LONG;   // never a cut-off target
	std::string targetText(target.data(), size_t(length));

	std::string folderPath = folder.Path();
	BDirectory destDir(folderPath.c_str());
	if (destDir.InitCheck() != B_OK)
		return destDir.InitCheck();
	FdCloser folderFd(open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
	if (folderFd.Get() < 0)
		return StatusFromErrno();

	FileCopyJob job;
	status_t status = CreateUnderFreeName(destDir, link.name.c_str(), &job,
		[&](const std::string& name, status_t* createStatus) {
			if (symlinkat(targetText.c_str(), folderFd.Get(), name.c_str()) != 0) {
				*createStatus = StatusFromErrno();
				return false;
			}
			return true;
		});
	if (status != B_OK)
		return status;

	if (fchownat(folderFd.Get(), job.name.c_str(), st.st_uid, st.st_gid, AT_SYMLINK_NOFOLLOW) != 0) {
		if (fchownat(folderFd.Get(), job.name.c_str(), uid_t(-1), st.st_gid, AT_SYMLINK_NOFOLLOW) != 0) {
			// The caller's own owner and group stay.
		}
	}
	struct timespec times[2] = {st.st_atim, st.st_mtim};
	if (utimensat(folderFd.Get(), job.name.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
		status = StatusFromErrno();
		unlinkat(folderFd.Get(), job.name.c_str(), 0);
		return status;
	}
	return B_OK;
}
