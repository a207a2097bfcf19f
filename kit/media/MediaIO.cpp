// FFmpeg byte I/O over our own file descriptor, and FFmpeg error mapping.
#include "kit/media/MediaIO.h"

#include "kit/kernel/OS.h"

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <atomic>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

MediaIO::~MediaIO()
{
	Close();
}

status_t MediaIO::OpenForReading(const std::string& path, int32 bufferSize)
{
	if (fFD >= 0) {
		debugger("MediaIO::OpenForReading: already open");
		return B_NOT_ALLOWED;
	}
	InitMediaKitLogging();
	int fd;
	do {
		fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
	} while (fd < 0 && errno == EINTR);
	if (fd < 0)
		return StatusFromErrno();
	struct stat st;
	if (fstat(fd, &st) != 0) {
		status_t status = StatusFromErrno();
		close(fd);
		return status;
	}
	if (S_ISDIR(st.st_mode)) {
		close(fd);
		return B_IS_A_DIRECTORY;
	}
	fFD = fd;
	fOpenedSize = st.st_size;
	return _Allocate(bufferSize, false);
}

status_t MediaIO::OpenForWriting(const std::string& path, bool replace)
{
	if (fFD >= 0) {
		debugger("MediaIO::OpenForWriting: already open");
		return B_NOT_ALLOWED;
	}
	InitMediaKitLogging();
	int flags = O_RDWR | O_CREAT | O_CLOEXEC | (replace ? O_TRUNC : O_EXCL);
	int fd;
	do {
		fd = open(path.c_str(), flags, 0644);
	} while (fd < 0 && errno == EINTR);
	if (fd < 0)
		return StatusFromErrno();
	fFD = fd;
	fWriting = true;
	return _Allocate(64 * 1024, true);
}

status_t MediaIO::_Allocate(int32 bufferSize, bool writing)
{
	auto* buffer = static_cast<unsigned char*>(av_malloc(bufferSize));
	if (buffer == nullptr) {
		Close();
		return B_NO_MEMORY;
	}
	fContext = avio_alloc_context(buffer, bufferSize, writing ? 1 : 0, this, writing ? nullptr : &Read,
		writing ? &Write : nullptr, &Seek);
	if (fContext == nullptr) {
		av_free(buffer);
		Close();
		return B_NO_MEMORY;
	}
	return B_OK;
}

status_t MediaIO::Close()
{
	status_t status = B_OK;
	if (fContext != nullptr) {
		if (fWriting)
			avio_flush(fContext);
		if (fContext->error < 0 && fWriting)
			status = fLastError != B_OK ? fLastError : StatusFromAVError(fContext->error);
		av_freep(&fContext->buffer);
		avio_context_free(&fContext);
	}
	if (fFD >= 0) {
		if (close(fFD) != 0 && status == B_OK && errno != EINTR)
			status = StatusFromErrno();
		fFD = -1;
	}
	if (status == B_OK && fWriting && fLastError != B_OK)
		status = fLastError;
	return status;
}

int64 MediaIO::FileSize() const
{
	struct stat st;
	if (fFD < 0 || fstat(fFD, &st) != 0)
		return -1;
	return st.st_size;
}

ssize_t MediaIO::ReadAt(int64 offset, void* buffer, size_t size) const
{
	if (fFD < 0 || offset < 0)
		return -1;
	size_t done = 0;
	while (done < size) {
		ssize_t got = pread(fFD, static_cast<uint8*>(buffer) + done, size - done, off_t(offset) + off_t(done));
		if (got < 0 && errno == EINTR)
			continue;
		if (got < 0)
			return -1;
		if (got == 0)
			break;
		done += size_t(got);
	}
	return ssize_t(done);
}

int MediaIO::Read(void* opaque, uint8_t* buffer, int size)
{
	auto* self = static_cast<MediaIO*>(opaque);
	ssize_t done;
	do {
		done = read(self->fFD, buffer, size_t(size));
	} while (done < 0 && errno == EINTR);
	if (done < 0) {
		self->fLastError = StatusFromErrno();
		return AVERROR(errno);
	}
	if (done == 0) {
		off_t position = lseek(self->fFD, 0, SEEK_CUR);
		if (position >= 0 && position < self->fOpenedSize) {
			self->fLastError = B_IO_ERROR;
			return AVERROR(EIO);
		}
		return AVERROR_EOF;
	}
	return int(done);
}

int MediaIO::Write(void* opaque, uint8_t* buffer, int size)
{
	auto* self = static_cast<MediaIO*>(opaque);
	int written = 0;
	while (written < size) {
		ssize_t done = write(self->fFD, buffer + written, size_t(size - written));
		if (done < 0 && errno == EINTR)
			continue;
		if (done <= 0) {
			int err = done < 0 ? errno : ENOSPC;
			self->fLastError = StatusFromErrno(err);
			return AVERROR(err);
		}
		written += int(done);
	}
	return written;
}

int64_t MediaIO::Seek(void* opaque, int64_t offset, int whence)
{
	auto* self = static_cast<MediaIO*>(opaque);
	if (whence & AVSEEK_SIZE)
		return self->FileSize() >= 0 ? self->FileSize() : AVERROR(EIO);
	whence &= ~AVSEEK_FORCE;
	off_t result = lseek(self->fFD, off_t(offset), whence);
	if (result < 0) {
		self->fLastError = StatusFromErrno();
		return AVERROR(errno);
	}
	return result;
}

status_t StatusFromAVError(int error)
{
	if (error >= 0)
		return B_OK;
	switch (error) {
		case AVERROR_EOF:
			return B_LAST_BUFFER_ERROR;
		case AVERROR_INVALIDDATA:
		case AVERROR_BUG:
		case AVERROR_BUG2:
			return B_MEDIA_BAD_FORMAT;
		case AVERROR_DECODER_NOT_FOUND:
		case AVERROR_DEMUXER_NOT_FOUND:
		case AVERROR_ENCODER_NOT_FOUND:
		case AVERROR_MUXER_NOT_FOUND:
		case AVERROR_STREAM_NOT_FOUND:
		case AVERROR_PATCHWELCOME:
			return B_MEDIA_NO_HANDLER;
		case AVERROR_EXIT:
			return B_CANCELED;
		default:
			break;
	}
	// FFmpeg's errno codes are negated errno values on Linux.
	if (error > -4096)
		return StatusFromErrno(-error);
	return B_ERROR;
}

namespace {

// The level chosen by SetMediaKitLogLevel, or -1 while none was chosen.
std::atomic<int> sChosenLogLevel {-1};

int AVLogLevel(MediaKitLogLevel level)
{
	return level == MediaKitLogLevel::kWarnings ? AV_LOG_WARNING : AV_LOG_FATAL;
}

}   // namespace

void SetMediaKitLogLevel(MediaKitLogLevel level)
{
	sChosenLogLevel.store(int(level));
	av_log_set_level(AVLogLevel(level));
}

void InitMediaKitLogging()
{
	static std::once_flag once;
	std::call_once(once, [] {
		// FFmpeg's own default prints informational lines: quiet it unless
		// the program chose a level already.
		if (sChosenLogLevel.load() < 0)
			av_log_set_level(AVLogLevel(MediaKitLogLevel::kQuiet));
	});
}
