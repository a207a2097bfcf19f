// Texts of status codes and the errno mapping.
#include "kit/support/Errors.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

struct ErrorText {
	status_t code;
	const char* text;
};

constexpr ErrorText kTexts[] = {
	{B_OK, "No error"},
	{B_ERROR, "General system error"},

	{B_NO_MEMORY, "Out of memory"},
	{B_IO_ERROR, "I/O error"},
	{B_PERMISSION_DENIED, "Permission denied"},
	{B_BAD_INDEX, "Index not in range for the data set"},
	{B_BAD_TYPE, "Bad argument type passed to function"},
	{B_BAD_VALUE, "Bad value"},
	{B_MISMATCHED_VALUES, "Mismatched values passed to function"},
	{B_NAME_NOT_FOUND, "Name not found"},
	{B_NAME_IN_USE, "Name in use"},
	{B_TIMED_OUT, "Operation timed out"},
	{B_INTERRUPTED, "Interrupted system call"},
	{B_WOULD_BLOCK, "Operation would block"},
	{B_CANCELED, "Operation canceled"},
	{B_NO_INIT, "Initialization failed"},
	{B_BUSY, "Device/File/Resource busy"},
	{B_NOT_ALLOWED, "Operation not allowed"},
	{B_BAD_DATA, "Bad data"},
	{B_DONT_DO_THAT, "Don't do that"},

	{B_BAD_SEM_ID, "Bad semaphore ID"},
	{B_NO_MORE_SEMS, "No more semaphores"},
	{B_BAD_THREAD_ID, "Bad thread ID"},
	{B_NO_MORE_THREADS, "No more threads"},
	{B_BAD_THREAD_STATE, "Thread is inappropriate state"},
	{B_BAD_TEAM_ID, "Operation on invalid team"},
	{B_NO_MORE_TEAMS, "No more teams"},
	{B_BAD_PORT_ID, "Bad port ID"},
	{B_NO_MORE_PORTS, "No more ports available"},
	{B_BAD_IMAGE_ID, "Bad image ID"},
	{B_BAD_ADDRESS, "Bad address"},
	{B_NOT_AN_EXECUTABLE, "Not an executable"},
	{B_MISSING_LIBRARY, "Missing library"},
	{B_MISSING_SYMBOL, "Symbol not found"},
	{B_DEBUGGER_ALREADY_INSTALLED, "Debugger already installed for this team"},

	{B_BAD_REPLY, "Invalid or unwanted reply"},
	{B_DUPLICATE_REPLY, "Duplicate reply"},
	{B_MESSAGE_TO_SELF, "Can't send message to self"},
	{B_BAD_HANDLER, "Bad handler"},
	{B_ALREADY_RUNNING, "Already running"},
	{B_LAUNCH_FAILED, "Launch failed"},
	{B_AMBIGUOUS_APP_LAUNCH, "Ambiguous app launch"},
	{B_UNKNOWN_MIME_TYPE, "Unknown MIME type"},
	{B_BAD_SCRIPT_SYNTAX, "Bad script syntax"},
	{B_NOT_A_MESSAGE, "Data is not a message"},
	{B_SHUTDOWN_CANCELLED, "Shutdown cancelled"},
	{B_SHUTTING_DOWN, "Shutting down"},

	{B_STREAM_NOT_FOUND, "Stream not found"},
	{B_SERVER_NOT_FOUND, "Server not found"},
	{B_RESOURCE_NOT_FOUND, "Resource not found"},
	{B_RESOURCE_UNAVAILABLE, "Resource unavailable"},
	{B_BAD_SUBSCRIBER, "Bad subscriber"},
	{B_SUBSCRIBER_NOT_ENTERED, "Subscriber not entered"},
	{B_BUFFER_NOT_AVAILABLE, "Buffer not available"},
	{B_LAST_BUFFER_ERROR, "Last buffer"},
	{B_MEDIA_SYSTEM_FAILURE, "Media system failure"},
	{B_MEDIA_BAD_NODE, "Bad media node"},
	{B_MEDIA_NODE_BUSY, "Media node busy"},
	{B_MEDIA_BAD_FORMAT, "Bad media format"},
	{B_MEDIA_BAD_BUFFER, "Bad buffer"},
	{B_MEDIA_TOO_MANY_NODES, "Too many nodes"},
	{B_MEDIA_TOO_MANY_BUFFERS, "Too many buffers"},
	{B_MEDIA_NODE_ALREADY_EXISTS, "Media node already exists"},
	{B_MEDIA_BUFFER_ALREADY_EXISTS, "Buffer already exists"},
	{B_MEDIA_CANNOT_SEEK, "Cannot seek"},
	{B_MEDIA_CANNOT_CHANGE_RUN_MODE, "Cannot change run mode"},
	{B_MEDIA_APP_ALREADY_REGISTERED, "Application already registered"},
	{B_MEDIA_APP_NOT_REGISTERED, "Application not registered"},
	{B_MEDIA_CANNOT_RECLAIM_BUFFERS, "Cannot reclaim buffers"},
	{B_MEDIA_BUFFERS_NOT_RECLAIMED, "Buffers not reclaimed"},
	{B_MEDIA_TIME_SOURCE_STOPPED, "Time source stopped"},
	{B_MEDIA_TIME_SOURCE_BUSY, "Time source busy"},
	{B_MEDIA_BAD_SOURCE, "Bad source"},
	{B_MEDIA_BAD_DESTINATION, "Bad destination"},
	{B_MEDIA_ALREADY_CONNECTED, "Already connected"},
	{B_MEDIA_NOT_CONNECTED, "Not connected"},
	{B_MEDIA_BAD_CLIP_FORMAT, "Bad clipping format"},
	{B_MEDIA_ADDON_FAILED, "Media add-on failed"},
	{B_MEDIA_ADDON_DISABLED, "Media add-on disabled"},
	{B_MEDIA_CHANGE_IN_PROGRESS, "Change in progress"},
	{B_MEDIA_STALE_CHANGE_COUNT, "Stale change count"},
	{B_MEDIA_ADDON_RESTRICTED, "Media add-on restricted"},
	{B_MEDIA_NO_HANDLER, "No handler for this media"},
	{B_MEDIA_DUPLICATE_FORMAT, "Duplicate format"},
	{B_MEDIA_REALTIME_DISABLED, "Realtime disabled"},
	{B_MEDIA_REALTIME_UNAVAILABLE, "Realtime unavailable"},

	{B_FILE_ERROR, "File error"},
	{B_FILE_NOT_FOUND, "File not found"},
	{B_FILE_EXISTS, "File or Directory already exists"},
	{B_ENTRY_NOT_FOUND, "No such file or directory"},
	{B_NAME_TOO_LONG, "File or Directory name too long"},
	{B_NOT_A_DIRECTORY, "Not a directory"},
	{B_DIRECTORY_NOT_EMPTY, "Directory not empty"},
	{B_DEVICE_FULL, "No space left on device"},
	{B_READ_ONLY_DEVICE, "Read-only file system"},
	{B_IS_A_DIRECTORY, "Is a directory"},
	{B_NO_MORE_FDS, "Too many open files"},
	{B_CROSS_DEVICE_LINK, "Cross-device link"},
	{B_LINK_LIMIT, "Too many symbolic links"},
	{B_BUSTED_PIPE, "Broken pipe"},
	{B_UNSUPPORTED, "Operation not supported"},
	{B_PARTITION_TOO_SMALL, "Partition too small to contain filesystem"},

	{B_DEV_INVALID_IOCTL, "Invalid device ioctl"},
	{B_DEV_NO_MEMORY, "No device memory"},
	{B_DEV_BAD_DRIVE_NUM, "Bad drive number"},
	{B_DEV_NO_MEDIA, "No media present"},
	{B_DEV_UNREADABLE, "Device unreadable"},
	{B_DEV_FORMAT_ERROR, "Device format error"},
	{B_DEV_TIMEOUT, "Device timeout"},
	{B_DEV_RECALIBRATE_ERROR, "Device recalibrate error"},
	{B_DEV_SEEK_ERROR, "Device seek error"},
	{B_DEV_ID_ERROR, "Device ID error"},
	{B_DEV_READ_ERROR, "Device read error"},
	{B_DEV_WRITE_ERROR, "Device write error"},
	{B_DEV_NOT_READY, "Device not ready"},
	{B_DEV_MEDIA_CHANGED, "Device media changed"},
	{B_DEV_MEDIA_CHANGE_REQUESTED, "Device media change requested"},
	{B_DEV_RESOURCE_CONFLICT, "Resource conflict"},
	{B_DEV_CONFIGURATION_ERROR, "Configuration error"},
	{B_DEV_DISABLED_BY_USER, "Disabled by user"},
	{B_DEV_DOOR_OPEN, "Drive door open"},
};

// errno values with a platform code of their own; everything else keeps its
// number inside the POSIX range of the platform (the mapping POSIX errno
// values had there).
struct ErrnoMapping {
	int err;
	status_t code;
};

constexpr ErrnoMapping kErrno[] = {
	{ENOMEM, B_NO_MEMORY},
	{EIO, B_IO_ERROR},
	{EACCES, B_PERMISSION_DENIED},
	{EPERM, B_NOT_ALLOWED},
	{EINVAL, B_BAD_VALUE},
	{ETIMEDOUT, B_TIMED_OUT},
	{EINTR, B_INTERRUPTED},
	{EAGAIN, B_WOULD_BLOCK},
	{ECANCELED, B_CANCELED},
	{EBUSY, B_BUSY},
	{EBADF, B_FILE_ERROR},
	{EEXIST, B_FILE_EXISTS},
	{ENOENT, B_ENTRY_NOT_FOUND},
	{ENAMETOOLONG, B_NAME_TOO_LONG},
	{ENOTDIR, B_NOT_A_DIRECTORY},
	{ENOTEMPTY, B_DIRECTORY_NOT_EMPTY},
	{ENOSPC, B_DEVICE_FULL},
	{EDQUOT, B_DEVICE_FULL},
	{EROFS, B_READ_ONLY_DEVICE},
	{EISDIR, B_IS_A_DIRECTORY},
	{EMFILE, B_NO_MORE_FDS},
	{EXDEV, B_CROSS_DEVICE_LINK},
	{ELOOP, B_LINK_LIMIT},
	{EPIPE, B_BUSTED_PIPE},
	{EOPNOTSUPP, B_UNSUPPORTED},
	{EFAULT, B_BAD_ADDRESS},
	{ENOEXEC, B_NOT_AN_EXECUTABLE},
	{ENOMEDIUM, B_DEV_NO_MEDIA},
	{ENODEV, B_DEV_BAD_DRIVE_NUM},
	{ENXIO, B_DEV_BAD_DRIVE_NUM},
	{ENOTTY, B_DEV_INVALID_IOCTL},
	{ENODATA, B_ENTRY_NOT_FOUND},
	{ENOBUFS, B_NO_MEMORY},
	{E2BIG, B_POSIX_ERROR_BASE + 1},
	{ECHILD, B_POSIX_ERROR_BASE + 2},
	{EDEADLK, B_POSIX_ERROR_BASE + 3},
	{EFBIG, B_POSIX_ERROR_BASE + 4},
	{EMLINK, B_POSIX_ERROR_BASE + 5},
	{ENFILE, B_POSIX_ERROR_BASE + 6},
	{ENOLCK, B_POSIX_ERROR_BASE + 8},
	{ENOSYS, B_POSIX_ERROR_BASE + 9},
	{ESPIPE, B_POSIX_ERROR_BASE + 12},
	{ESRCH, B_POSIX_ERROR_BASE + 13},
	{EDOM, B_POSIX_ERROR_BASE + 16},
	{ERANGE, B_POSIX_ERROR_BASE + 17},
	{EOVERFLOW, B_POSIX_ERROR_BASE + 41},
	{ENOTSUP, B_POSIX_ERROR_BASE + 56},
};

constexpr ErrorText kPosixTexts[] = {
	{B_POSIX_ERROR_BASE + 1, "Argument too big"},
	{B_POSIX_ERROR_BASE + 2, "No child process"},
	{B_POSIX_ERROR_BASE + 3, "Resource deadlock"},
	{B_POSIX_ERROR_BASE + 4, "File too large"},
	{B_POSIX_ERROR_BASE + 5, "Too many links"},
	{B_POSIX_ERROR_BASE + 6, "File table overflow"},
	{B_POSIX_ERROR_BASE + 8, "No record locks available"},
	{B_POSIX_ERROR_BASE + 9, "Function not implemented"},
	{B_POSIX_ERROR_BASE + 12, "Seek not allowed on file descriptor"},
	{B_POSIX_ERROR_BASE + 13, "No such process"},
	{B_POSIX_ERROR_BASE + 16, "Domain error"},
	{B_POSIX_ERROR_BASE + 17, "Range error"},
	{B_POSIX_ERROR_BASE + 41, "Value too large for defined type"},
	{B_POSIX_ERROR_BASE + 56, "Operation not supported"},
};

}   // namespace

const char* StatusText(status_t status)
{
	for (const ErrorText& entry : kTexts) {
		if (entry.code == status)
			return entry.text;
	}
	for (const ErrorText& entry : kPosixTexts) {
		if (entry.code == status)
			return entry.text;
	}
	thread_local char unknown[48];
	snprintf(unknown, sizeof(unknown), "Unknown error (0x%08X)", (unsigned)status);
	return unknown;
}

status_t StatusFromErrno(int err)
{
	if (err == 0)
		return B_OK;
	for (const ErrnoMapping& entry : kErrno) {
		if (entry.err == err)
			return entry.code;
	}
	return B_ERROR;
}

status_t StatusFromErrno()
{
	return StatusFromErrno(errno);
}
