// File utilities shared by the project code, extraction and the copy window:
// free names in a folder, attribute copies, the background file copier and
// the recursive folder move.
#pragma once

#include "kit/app/Messenger.h"
#include "kit/kernel/OS.h"
#include "kit/storage/EntryRef.h"
#include "kit/support/Locker.h"
#include "kit/support/SupportDefs.h"

#include <atomic>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <string>

class BDirectory;
class BMessage;
class BMessageRunner;
class BNode;

// Sets `name` to the first name that no entry of `folder` has: `baseName`
// (+ "." + `extension` when one is given), else `baseName` + " (1)", " (2)",
// ... (+ "." + extension). A dangling symbolic link counts as an entry.
// B_OK, B_BAD_VALUE for null arguments, or the status of a failing look-up.
// Any thread (the folder object is used by one thread at a time).
status_t GetUnusedName(std::string* name, const BDirectory* folder, const char* baseName,
	const char* extension = nullptr);

// Copies every attribute of `source` except "_trk/pinfo_le" that
// `destination` does not have yet, with its type, in pieces of at most
// `bufferSize` bytes of `buffer`, until the attribute's size is reached or a
// read gives nothing. Attributes the destination has already stay as they
// are. B_OK, or the first failing read, write or listing status (the copy
// goes on with the next attribute after a failure).
status_t CopyAttributes(const BNode* source, BNode* destination, void* buffer, size_t bufferSize);

// Moves every entry of `source` into `destination`, in directory order,
// stopping at the first failure: a file is copied (LowLevelCopyFile) and then
// removed; a folder gets a folder of the same name in the destination (an
// existing folder of that name is filled instead), its content is moved
// recursively, it takes the source folder's attributes, permissions, owner,
// group and times, and the emptied source folder is removed; a symbolic link
// is copied (LowLevelCopyLink) and removed; anything else is reported on the
// console and left. B_OK when every entry was handled; the status of the
// first failure otherwise (B_NO_MEMORY when a file does not fit), with
// everything not yet moved left in place. A destination inside the source is
// refused with B_BAD_VALUE. Any thread.
status_t MoveFolderContentRecursiv(BDirectory* source, BDirectory* destination);
status_t MoveFolderContentRecursiv(const char* source, const char* destination);

// Messages of the copy window and its worker.
enum : uint32 {
	FILE_COPY_REQUEST = 'copy',   // "sourcefile", "destdir": entry refs
	FILE_COPY_STOP = 'stop',      // the "Stop" button
	FILE_COPY_PULSE = 'puls',     // refresh the display (CFileCopyWorker::Pulse)
	FILE_COPY_SHOW = 'FCsh',      // the worker starts a file: show the window
	FILE_COPY_HIDE = 'FChd',      // every request is done: hide the window
	FILE_COPY_CLOSE = 'FCcl',     // the copy was aborted: close the window
};

// What the copy window shows, updated by CFileCopyWorker::Pulse.
struct FileCopyDisplay {
	int32 fileNumber = -1;       // the file number the labels were set for
	std::string label;           // the status bar's label: the file's name
	std::string trailingLabel;   // "%d of %d"
	std::string destination;     // "To: %s"
	float value = 0;             // the bar, 0 to 100
};

// The copy queue of the copy window and the thread that works it off
// ("file_copying_worker", priority 6). Requests come from any thread; the
// worker copies one file after the other, asks the user through alerts when
// a copy fails, and tells its display (the window) what to show by posting
// FILE_COPY_PULSE (also every 0.1 s while it copies), FILE_COPY_SHOW,
// FILE_COPY_HIDE and FILE_COPY_CLOSE to the display's messenger. Without a
// display it works all the same.
//
// Every member may be called from any thread unless it says otherwise.
class CFileCopyWorker {
public:
	// Starts the worker thread; InitCheck tells whether it runs.
	CFileCopyWorker();
	// Quit(), then frees the semaphore.
	~CFileCopyWorker();
	CFileCopyWorker(const CFileCopyWorker&) = delete;
	CFileCopyWorker& operator=(const CFileCopyWorker&) = delete;

	status_t InitCheck() const { return fStatus; }

	// Where the display messages go (an invalid messenger: nowhere).
	void SetDisplay(const BMessenger& display);
	// Sets `display` unless a valid display is set; true when it did.
	bool SetDisplayIfNone(const BMessenger& display);
	BMessenger Display() const;

	// Appends a copy request (a FILE_COPY_REQUEST message, copied) and counts
	// it as requested. B_BAD_VALUE for another message or one without both
	// refs; B_NO_INIT when the worker does not run.
	status_t AddRequest(const BMessage* request);
	status_t AddRequest(const entry_ref& source, const entry_ref& folder);

	// The "Stop" button: the current copy ends after its current block and
	// every queued request is dropped. Nothing happens when nothing is
	// queued or being copied.
	void Stop();
	// Requests counted since the queue was last empty, and how many of them
	// are done; both go back to 0 when the last one is done.
	int32 FilesRequested() const { return fFilesRequested.load(); }
	int32 FilesDone() const { return fFilesDone.load(); }
	bool IsCopying() const;
	// Set by "Ignore All" until the queue has been worked off.
	bool IgnoresErrors() const { return fIgnoreErrors.load(); }

	// Brings `display` up to date: when the file number changed, the label
	// becomes the current file's name, the trailing label "%d of %d" (files
	// done + 1, files requested) and the destination "To: " + the folder's
	// name; the bar always moves to bytes copied * 100 / size.
	void Pulse(FileCopyDisplay* display) const;

	// Asked before the window closes. With files remaining the user is asked
	// "File copying not finished!\n\nAbort copy operation?" ("Abort",
	// "Continue"): "Abort" stops the copy, waits in 50 ms steps (calling
	// `whileWaiting` at each, so the GUI can answer alerts meanwhile) until
	// the worker has caught up, and agrees; "Continue" refuses. Agrees at
	// once when nothing remains.
	bool QuitRequested(const std::function<void()>& whileWaiting = {});

	// Copies one file, asking the user on failure (unless "Ignore All" was
	// chosen) with the alert "Couldn't copy file: " + name + the failed
	// step, and the buttons "Abort", "Ignore All", "Continue". Called by the
	// worker thread; any thread may call it, one copy at a time.
	void CopyFile(const entry_ref& source, const entry_ref& folder);

	// Ends the worker thread: the current copy stops after its block and
	// the queue is dropped. Waits for the thread unless called on it.
	void Quit();

	thread_id Thread() const { return fThread; }

private:
	static status_t _WorkerEntry(void* data);
	void _Work();
	void _Post(uint32 what);
	void _StartPulse();
	void _StopPulse();
	void _SetProgress(off_t copied, off_t size);

	status_t fStatus = B_NO_INIT;
	sem_id fBlock = -1;
	thread_id fThread = -1;
	std::atomic<int32> fFilesRequested {0};
	std::atomic<int32> fFilesDone {0};
	std::atomic<bool> fAbort {false};
	std::atomic<bool> fIgnoreErrors {false};
	std::atomic<bool> fQuit {false};

	mutable BLocker fLock {"file_copying_worker_locker"};
	// Guarded by fLock:
	int64 fCurrentSize = 1;
	int64 fCopied = 0;
	std::string fCurrentName;
	std::string fFolderName;
	std::deque<std::unique_ptr<BMessage>> fQueue;
	BMessenger fDisplay;
	std::unique_ptr<BMessageRunner> fPulseRunner;
};

// Makes the display (the copy window) for the shared worker and gives its
// messenger. The user interface installs one; without one the shared worker
// copies without a window.
using FileCopyDisplayMaker = std::function<BMessenger(const std::shared_ptr<CFileCopyWorker>& worker)>;
// Installs `maker` (null: none) and returns the one installed before.
FileCopyDisplayMaker SetFileCopyDisplayMaker(FileCopyDisplayMaker maker);

// Queues the copy of `source` into the folder `folder` on the program's
// shared copy worker, making the worker and its display when there is none,
// and returns at once. Any thread.
void CopyFile(const entry_ref& source, const entry_ref& folder);
// The shared worker, or null when none was made yet.
std::shared_ptr<CFileCopyWorker> SharedFileCopyWorker();
// Stops the shared worker and lets it go (at exit, before the GUI ends).
void ShutDownFileCopying();
