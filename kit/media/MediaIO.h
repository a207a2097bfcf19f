// FFmpeg byte I/O over a file descriptor of our own. The media kit never
// hands a path to FFmpeg's protocol layer: a file name with a colon is just a
// name, and a demuxer cannot open further files or URLs on its own.
// One MediaIO belongs to one media file and is used by one thread at a time.
#pragma once

#include "kit/support/SupportDefs.h"

#include <string>
#include <sys/types.h>

struct AVIOContext;

class MediaIO {
public:
	MediaIO() = default;
	~MediaIO();
	MediaIO(const MediaIO&) = delete;
	MediaIO& operator=(const MediaIO&) = delete;

	// Opens `path` for reading with an I/O buffer of `bufferSize` bytes.
	// B_OK, B_ENTRY_NOT_FOUND, B_IS_A_DIRECTORY, B_PERMISSION_DENIED, ...
	// A file that ends before the size it had when opened (cut while being
	// read) gives a read error (B_IO_ERROR), not an end of file.
	status_t OpenForReading(const std::string& path, int32 bufferSize);
	// Creates `path` for writing: replaces an existing file when `replace`,
	// else fails with B_FILE_EXISTS if there is one.
	status_t OpenForWriting(const std::string& path, bool replace);
	// Flushes what is buffered and closes the descriptor; the status of the
	// first failed write or of close itself, else B_OK. Safe to call twice.
	status_t Close();

	AVIOContext* Context() const { return fContext; }
	// The status of the last failed system call of a callback (B_OK if none),
	// so that FFmpeg's generic errors can be reported precisely.
	status_t LastError() const { return fLastError; }
	int64 FileSize() const;
	// Reads up to `size` bytes at `offset` without moving FFmpeg's position:
	// the bytes read (fewer at the end of the file), or -1 on an error.
	ssize_t ReadAt(int64 offset, void* buffer, size_t size) const;

private:
	static int Read(void* opaque, uint8_t* buffer, int size);
	static int Write(void* opaque, uint8_t* buffer, int size);
	static int64_t Seek(void* opaque, int64_t offset, int whence);
	status_t _Allocate(int32 bufferSize, bool writing);

	int fFD = -1;
	AVIOContext* fContext = nullptr;
	status_t fLastError = B_OK;
	int64 fOpenedSize = -1;   // size when opened for reading
	bool fWriting = false;
};

// A status for an FFmpeg error code: errno values through the platform's
// mapping, end of file as B_LAST_BUFFER_ERROR, invalid data as
// B_MEDIA_BAD_FORMAT, a missing decoder or demuxer as B_MEDIA_NO_HANDLER.
status_t StatusFromAVError(int error);

// How much FFmpeg itself prints to standard error: only what makes it give
// up (kQuiet, the default) or its warnings too.
enum class MediaKitLogLevel { kQuiet, kWarnings };

// Sets FFmpeg's console output level for the whole process, at once and for
// every media file opened later. The program calls it at start-up. Any
// thread.
void SetMediaKitLogLevel(MediaKitLogLevel level);

// Applies the default level (kQuiet) on the first call unless
// SetMediaKitLogLevel chose one. Called by every media file; idempotent.
void InitMediaKitLogging();
