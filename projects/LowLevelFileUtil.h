// Silent copies of files and symbolic links into a folder, as used when a
// folder tree is moved to another volume, and the file copy that the copy
// window builds on. Copies never replace an existing name: they take the
// first free one (the name, then the name + " (1)", " (2)", ...).
//
// A copy keeps the attributes, the permission bits, the access and
// modification times and, as far as the system permits the caller, the owner
// and group of its source. Linux keeps no settable creation time, so the copy
// has its own. A copy that fails leaves nothing behind in the folder.
//
// Every function may be called from any thread.
#pragma once

#include "kit/storage/EntryRef.h"
#include "kit/support/SupportDefs.h"

#include <atomic>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

// The bytes an unprivileged writer may still use on the volume holding the
// folder `folderPath`, or a negative status.
using FreeSpaceQuery = std::function<off_t(const char* folderPath)>;

// Installs the query LowLevelCopyFile asks before it copies (null restores
// the volume's own answer) and returns the one installed before. Tests
// simulate a full volume with it.
FreeSpaceQuery SetFreeSpaceQuery(FreeSpaceQuery query);
// Asks the installed query.
off_t QueryFreeSpace(const char* folderPath);

// The step of a file copy that failed.
enum copy_step {
	COPY_STEP_NONE = 0,
	COPY_STEP_OPEN_SOURCE,   // opening the source (a folder or a device is refused here)
	COPY_STEP_STAT_SOURCE,   // reading its stat record
	COPY_STEP_OPEN_FOLDER,   // opening the destination folder
	COPY_STEP_FREE_SPACE,    // the volume lacks room (B_NO_MEMORY) or cannot tell
	COPY_STEP_NAME,          // looking for a free name
	COPY_STEP_CREATE,        // creating the new file or link
	COPY_STEP_READ,          // reading the source's data
	COPY_STEP_WRITE,         // writing the copy's data (or closing it)
	COPY_STEP_ATTRIBUTES,    // copying attributes, permissions or times
	COPY_STEP_ABORTED,       // the abort flag was raised (B_CANCELED)
};

// One file copy: what the caller asks for and what happened.
struct FileCopyJob {
	// Refuse with B_NO_MEMORY unless the volume has more free bytes than
	// the source's size + 8000.
	bool checkFreeSpace = false;
	// Raised by another thread to end the copy after the current block.
	const std::atomic<bool>* abort = nullptr;
	// Called on the copying thread once the source's size is known (copied
	// 0) and after every block written.
	std::function<void(off_t copied, off_t size)> progress;

	copy_step failedStep = COPY_STEP_NONE;   // COPY_STEP_NONE on success
	status_t status = B_OK;                  // the failing step's status
	std::string name;                        // the name created in the folder
};

// Copies the file `source` (a symbolic link is followed; the copy takes the
// link's name) into the folder `folder` under the first free name: its data
// in blocks of the source's block size (65536 bytes when it gives none),
// then its attributes, owner and group, permissions and times. B_OK, or the
// status of the failed step, which `job` names; the partly written copy is
// removed then.
status_t CopyFileInto(const entry_ref& source, const entry_ref& folder, FileCopyJob* job);

// The same, refused with B_NO_MEMORY unless the folder's volume has more free
// bytes than the file's size + 8000. A failed read gives B_IO_ERROR, a failed
// write B_DEVICE_FULL; other failures their own status.
status_t LowLevelCopyFile(const entry_ref& source, const entry_ref& folder);

// Creates in `folder`, under the first free name for the link's name, a
// symbolic link with the same target as `link`, with the link's owner and
// group (as permitted) and times. B_OK or the failing step's status; nothing
// is left behind on failure. Linux links carry no attributes and no
// permissions of their own; their type is always the symbolic link type.
status_t LowLevelCopyLink(const entry_ref& link, const entry_ref& folder);

// Gives the open node `fd` the owner and group of `st` (silently kept as
// they are when the system refuses), then its permission bits, access and
// modification time. B_OK or the status of the failing step.
status_t CopyStatToFd(int fd, const struct stat& st);
