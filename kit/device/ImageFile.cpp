#include "kit/device/ImageFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace image_file {

namespace {

const char* KindOf(mode_t mode)
{
	if (S_ISFIFO(mode))
		return "a FIFO";
	if (S_ISDIR(mode))
		return "a folder";
	if (S_ISCHR(mode) || S_ISBLK(mode))
		return "a device";
	if (S_ISSOCK(mode))
		return "a socket";
	return "not a plain file";
}

}   // namespace

status_t OpenRegular(const std::string& path, int* fd, uint64* size, std::string* error)
{
	*fd = -1;
	// O_NONBLOCK: opening a FIFO for reading would wait for a writer.
	int handle = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
	if (handle < 0) {
		*error = "cannot open " + path;
		return B_ENTRY_NOT_FOUND;
	}
	struct stat st;
	if (fstat(handle, &st) != 0) {
		::close(handle);
		*error = "cannot open " + path;
		return B_ENTRY_NOT_FOUND;
	}
	if (!S_ISREG(st.st_mode)) {
		::close(handle);
		*error = path + " is not a regular file (" + KindOf(st.st_mode) + ")";
		return B_BAD_DATA;
	}
	int flags = fcntl(handle, F_GETFL);
	if (flags >= 0)
		fcntl(handle, F_SETFL, flags & ~O_NONBLOCK);
	*fd = handle;
	*size = uint64(st.st_size);
	return B_OK;
}

bool ReadAll(int fd, uint8* buffer, size_t size, uint64 offset)
{
	size_t done = 0;
	while (done < size) {
		ssize_t n = ::pread(fd, buffer + done, size - done, off_t(offset + done));
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0)
			return false;
		done += size_t(n);
	}
	return true;
}

}   // namespace image_file
