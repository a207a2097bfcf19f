// Free names, attribute copies, the folder move and the background copier.
#include "projects/FileUtil.h"

#include "frame/Diagnostics.h"
#include "frame/util.h"
#include "kit/app/MessageRunner.h"
#include "kit/interface/Alert.h"
#include "kit/storage/Directory.h"
#include "kit/storage/Entry.h"
#include "kit/storage/Node.h"
#include "kit/support/Errors.h"
#include "kit/support/EscapeText.h"
#include "kit/support/Message.h"
#include "projects/LowLevelFileUtil.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* kSkippedAttribute = "_trk/pinfo_le";
constexpr bigtime_t kPulseInterval = 100000;
constexpr bigtime_t kCatchUpStep = 50000;
constexpr int32 kWorkerPriority = 6;
constexpr size_t kAttributeBufferSize = 4096;

}   // namespace

// #pragma mark - names and attributes

status_t GetUnusedName(std::string* name, const BDirectory* folder, const char* baseName, const char* extension)
{
	if (name == nullptr || folder == nullptr || baseName == nullptr || baseName[0] == '\0'
		|| strchr(baseName, '/') != nullptr)
		return B_BAD_VALUE;
	if (folder->InitCheck() != B_OK)
		return folder->InitCheck();
	std::string suffix;
	if (extension != nullptr && extension[0] != '\0') {
		if (strchr(extension, '/') != nullptr)
			return B_BAD_VALUE;
		suffix = std::string(".") + extension;
	}
	std::string candidate = baseName + suffix;
	for (int32 number = 1;; number++) {
		BEntry entry;
		status_t status = entry.SetTo(folder, candidate.c_str());
		if (status != B_OK)
			return status;
		struct stat st;
		status = entry.GetStat(&st);
		if (status == B_ENTRY_NOT_FOUND) {
			*name = candidate;
			return B_OK;
		}
		if (status != B_OK)
			return status;
		if (number == INT32_MAX)
			return B_ERROR;
		candidate = std::string(baseName) + " (" + std::to_string(number) + ")" + suffix;
	}
}

status_t CopyAttributes(const BNode* source, BNode* destination, void* buffer, size_t bufferSize)
{
	if (source == nullptr || destination == nullptr || buffer == nullptr || bufferSize == 0)
		return B_BAD_VALUE;
	std::vector<std::string> names;
	status_t result = source->GetAttrNames(&names);
	if (result != B_OK)
		return result;
	std::vector<std::string> present;
	status_t status = destination->GetAttrNames(&present);
	if (status != B_OK)
		return status;
	for (const std::string& name : names) {
		if (name == kSkippedAttribute)
			continue;
		if (std::find(present.begin(), present.end(), name) != present.end())
			continue;
		attr_info info;
		status = source->GetAttrInfo(name.c_str(), &info);
		if (status != B_OK) {
			if (result == B_OK)
				result = status;
			continue;
		}
		if (info.size == 0) {
			ssize_t written = destination->WriteAttr(name.c_str(), info.type, 0, buffer, 0);
			if (written < 0 && result == B_OK)
				result = status_t(written);
			continue;
		}
		off_t offset = 0;
		while (offset < info.size) {
			size_t length = size_t(std::min<off_t>(off_t(bufferSize), info.size - offset));
			ssize_t got = source->ReadAttr(name.c_str(), info.type, offset, buffer, length);
			if (got <= 0) {
				if (got < 0 && result == B_OK)
					result = status_t(got);
				break;
			}
			ssize_t written = destination->WriteAttr(name.c_str(), info.type, offset, buffer, size_t(got));
			if (written != got) {
				if (result == B_OK)
					result = written < 0 ? status_t(written) : B_DEVICE_FULL;
				break;
			}
			offset += got;
		}
	}
	return result;
}

// #pragma mark - moving folders

namespace {

status_t MoveContent(BDirectory* source, BDirectory* destination);

// Gives the folder at `destPath` the attributes, owner, group, permissions
// and times of the folder at `sourcePath`.
status_t CopyFolderLook(const std::string& sourcePath, const std::string& destPath)
{
	BNode sourceNode(sourcePath.c_str());
	BNode destNode(destPath.c_str());
	status_t status = sourceNode.InitCheck() != B_OK ? sourceNode.InitCheck() : destNode.InitCheck();
	if (status != B_OK)
		return status;
	char buffer[kAttributeBufferSize];
	status = CopyAttributes(&sourceNode, &destNode, buffer, sizeof(buffer));
	if (status != B_OK)
		return status;
	struct stat st;
	if (stat(sourcePath.c_str(), &st) != 0)
		return StatusFromErrno();
	int fd = open(destPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
	if (fd < 0)
		return StatusFromErrno();
	status = CopyStatToFd(fd, st);
	close(fd);
	return status;
}

status_t MoveFolder(BDirectory* destination, const BEntry& entry, const std::string& name)
{
	std::string sourcePath = entry.Path();
	BDirectory subSource(sourcePath.c_str());
	if (subSource.InitCheck() != B_OK)
		return subSource.InitCheck();
	BDirectory subDest;
	status_t status = destination->CreateDirectory(name.c_str(), &subDest);
	if (status == B_FILE_EXISTS) {
		// Filled by an earlier, interrupted move: go on filling it, but
		// never through a link.
		BEntry existing;
		status = destination->FindEntry(name.c_str(), &existing);
		if (status != B_OK)
			return status;
		if (!existing.IsDirectory())
			return B_FILE_EXISTS;
		status = subDest.SetTo(&existing);
	}
	if (status != B_OK)
		return status;
	BEntry destEntry;
	status = subDest.GetEntry(&destEntry);
	if (status != B_OK)
		return status;
	status = MoveContent(&subSource, &subDest);
	if (status != B_OK)
		return status;
	status = CopyFolderLook(sourcePath, destEntry.Path());
	if (status != B_OK)
		return status;
	BEntry emptied(sourcePath.c_str());
	return emptied.Remove();
}

status_t MoveContent(BDirectory* source, BDirectory* destination)
{
	BEntry destFolder;
	status_t status = destination->GetEntry(&destFolder);
	if (status != B_OK)
		return status;
	entry_ref destRef;
	status = destFolder.GetRef(&destRef);
	if (status != B_OK)
		return status;
	status = source->Rewind();
	if (status != B_OK)
		return status;

	BEntry entry;
	while ((status = source->GetNextEntry(&entry, false)) == B_OK) {
		std::string name;
		entry.GetName(&name);
		entry_ref ref;
		status = entry.GetRef(&ref);
		if (status != B_OK)
			return status;
		struct stat st;
		status = entry.GetStat(&st);
		if (status == B_ENTRY_NOT_FOUND)
			continue;   // gone meanwhile: nothing to move
		if (status != B_OK)
			return status;
		if (S_ISREG(st.st_mode)) {
			status = LowLevelCopyFile(ref, destRef);
			if (status == B_OK)
				status = entry.Remove();
		} else if (S_ISDIR(st.st_mode)) {
			status = MoveFolder(destination, entry, name);
		} else if (S_ISLNK(st.st_mode)) {
			status = LowLevelCopyLink(ref, destRef);
			if (status == B_OK)
				status = entry.Remove();
		} else {
			printf("unknown directory entry type for entry '%s'\n", EscapeControlChars(name).c_str());
			fflush(stdout);
			status = B_OK;
		}
		if (status != B_OK)
			return status;
	}
	return status == B_ENTRY_NOT_FOUND ? B_OK : status;
}

// True when `inner` is `outer` or lies inside it (both canonical paths).
bool IsWithin(const std::string& inner, const std::string& outer)
{
	if (inner == outer)
		return true;
	if (outer == "/")
		return true;
	return inner.size() > outer.size() && inner.compare(0, outer.size(), outer) == 0 && inner[outer.size()] == '/';
}

std::string CanonicalPath(const std::string& path)
{
	char* resolved = realpath(path.c_str(), nullptr);
	if (resolved == nullptr)
		return std::string();
	std::string result(resolved);
	free(resolved);
	return result;
}

}   // namespace

status_t MoveFolderContentRecursiv(BDirectory* source, BDirectory* destination)
{
	if (source == nullptr || destination == nullptr)
		return B_BAD_VALUE;
	if (source->InitCheck() != B_OK)
		return source->InitCheck();
	if (destination->InitCheck() != B_OK)
		return destination->InitCheck();
	BEntry sourceEntry;
	BEntry destEntry;
	status_t status = source->GetEntry(&sourceEntry);
	if (status == B_OK)
		status = destination->GetEntry(&destEntry);
	if (status != B_OK)
		return status;
	std::string sourcePath = CanonicalPath(sourceEntry.Path());
	std::string destPath = CanonicalPath(destEntry.Path());
	if (sourcePath.empty() || destPath.empty())
		return B_ENTRY_NOT_FOUND;
	// Moving a folder into itself would never end.
	if (IsWithin(destPath, sourcePath))
		return B_BAD_VALUE;
	return MoveContent(source, destination);
}

status_t MoveFolderContentRecursiv(const char* source, const char* destination)
{
	if (source == nullptr || destination == nullptr)
		return B_BAD_VALUE;
	BDirectory sourceDir(source);
	BDirectory destDir(destination);
	return MoveFolderContentRecursiv(&sourceDir, &destDir);
}

// #pragma mark - CFileCopyWorker

CFileCopyWorker::CFileCopyWorker()
{
	fBlock = create_sem(0, "file_copying_worker_block");
	if (fBlock < 0) {
		fStatus = fBlock;
		return;
	}
	fThread = spawn_thread(_WorkerEntry, "file_copying_worker", kWorkerPriority, this);
	if (fThread < 0) {
		fStatus = fThread;
		return;
	}
	fStatus = B_OK;
	resume_thread(fThread);
}

CFileCopyWorker::~CFileCopyWorker()
{
	Quit();
	if (fBlock >= 0)
		delete_sem(fBlock);
}

void CFileCopyWorker::Quit()
{
	thread_id thread;
	{
		BAutolock lock(fLock);
		fQuit = true;
		fAbort = true;
		thread = fThread;
		fThread = -1;
	}
	if (thread < 0)
		return;
	give_sem(fBlock);
	if (thread == find_thread(nullptr)) {
		detach_thread(thread);
		return;
	}
	status_t ignored;
	wait_for_thread(thread, &ignored);
	_StopPulse();
}

void CFileCopyWorker::SetDisplay(const BMessenger& display)
{
	BAutolock lock(fLock);
	fDisplay = display;
}

bool CFileCopyWorker::SetDisplayIfNone(const BMessenger& display)
{
	BAutolock lock(fLock);
	if (fDisplay.IsValid())
		return false;
	fDisplay = display;
	return true;
}

BMessenger CFileCopyWorker::Display() const
{
	BAutolock lock(fLock);
	return fDisplay;
}

status_t CFileCopyWorker::AddRequest(const BMessage* request)
{
	if (request == nullptr || request->what != FILE_COPY_REQUEST)
		return B_BAD_VALUE;
	entry_ref ref;
	if (request->FindRef("sourcefile", &ref) != B_OK || request->FindRef("destdir", &ref) != B_OK)
		return B_BAD_VALUE;
	{
		BAutolock lock(fLock);
		if (fStatus != B_OK || fQuit)
			return B_NO_INIT;
		fQueue.push_back(std::make_unique<BMessage>(*request));
		fFilesRequested++;
	}
	give_sem(fBlock);
	return B_OK;
}

status_t CFileCopyWorker::AddRequest(const entry_ref& source, const entry_ref& folder)
{
	BMessage request(FILE_COPY_REQUEST);
	request.AddRef("sourcefile", &source);
	request.AddRef("destdir", &folder);
	return AddRequest(&request);
}

void CFileCopyWorker::Stop()
{
	BAutolock lock(fLock);
	if (fFilesRequested.load() != fFilesDone.load())
		fAbort = true;
}

bool CFileCopyWorker::IsCopying() const
{
	BAutolock lock(fLock);
	return fFilesRequested.load() != fFilesDone.load();
}

void CFileCopyWorker::Pulse(FileCopyDisplay* display) const
{
	if (display == nullptr)
		return;
	BAutolock lock(fLock);
	int32 done = fFilesDone.load();
	int32 requested = fFilesRequested.load();
	if (display->fileNumber != done) {
		display->fileNumber = done;
		display->label = fCurrentName;
		char text[64];
		snprintf(text, sizeof(text), "%d of %d", int(done + 1), int(requested));
		display->trailingLabel = text;
		display->destination = "To: " + fFolderName;
	}
	display->value = fCurrentSize > 0 ? float(double(fCopied) * 100.0 / double(fCurrentSize)) : 0.0f;
}

bool CFileCopyWorker::QuitRequested(const std::function<void()>& whileWaiting)
{
	if (!IsCopying())
		return true;
	int32 answer = (new BAlert("Copying Files", "File copying not finished!\n\nAbort copy operation?", "Abort",
		"Continue", nullptr, B_WIDTH_AS_USUAL, B_WARNING_ALERT))->Go();
	if (answer != 0)
		return false;
	Stop();
	while (IsCopying()) {
		if (whileWaiting)
			whileWaiting();
		snooze(kCatchUpStep);
	}
	return true;
}

void CFileCopyWorker::CopyFile(const entry_ref& source, const entry_ref& folder)
{
	FileCopyJob job;
	job.abort = &fAbort;
	job.progress = [this](off_t copied, off_t size) { _SetProgress(copied, size); };
	status_t status = CopyFileInto(source, folder, &job);
	if (status == B_OK || job.failedStep == COPY_STEP_ABORTED || fIgnoreErrors)
		return;

	std::string text = "Couldn't copy file: " + EscapeControlChars(source.name);
	switch (job.failedStep) {
		case COPY_STEP_OPEN_SOURCE:
			text += "\n\nsrcFile.InitCheck() error:\n";
			break;
		case COPY_STEP_STAT_SOURCE:
			text += "\n\nsrcFile.GetStat() error:\n";
			break;
		case COPY_STEP_OPEN_FOLDER:
		case COPY_STEP_FREE_SPACE:
			text += "\n\ndestDir.InitCheck() error:\n";
			break;
		case COPY_STEP_NAME:
			text += "\n\ntestentry.SetTo() error:\n";
			break;
		case COPY_STEP_CREATE:
			text += "\n\ndestFile.InitCheck() error:\n";
			break;
		case COPY_STEP_ATTRIBUTES:
			text += "\n\nCopyAttributes() error:\n";
			break;
		default:
			break;
	}
	if (job.failedStep == COPY_STEP_READ)
		text += "\n\nError:\nreaderror";
	else if (job.failedStep == COPY_STEP_WRITE)
		text += "\n\nError:\nwriteerror";
	else
		text += StatusText(status);

	int32 answer = (new BAlert("Copying Files", text.c_str(), "Abort", "Ignore All", "Continue",
		B_WIDTH_AS_USUAL, B_STOP_ALERT))->Go();
	if (answer == 0)
		fAbort = true;
	else if (answer == 1)
		fIgnoreErrors = true;
}

status_t CFileCopyWorker::_WorkerEntry(void* data)
{
	static_cast<CFileCopyWorker*>(data)->_Work();
	return B_OK;
}

void CFileCopyWorker::_Work()
{
	for (;;) {
		if (take_sem(fBlock) != B_OK)
			return;
		std::unique_ptr<BMessage> request;
		{
			BAutolock lock(fLock);
			if (fQuit)
				return;
			if (fQueue.empty())
				continue;   // a request dropped by Stop
			request = std::move(fQueue.front());
			fQueue.pop_front();
		}
		entry_ref source;
		entry_ref folder;
		request->FindRef("sourcefile", &source);
		request->FindRef("destdir", &folder);
		{
			BAutolock lock(fLock);
			fCurrentName = source.name;
			fFolderName = folder.name;
			fCurrentSize = 1;   // until the source's size is known
			fCopied = 0;
		}
		_StartPulse();
		_Post(FILE_COPY_PULSE);
		_Post(FILE_COPY_SHOW);

		if (!fAbort)
			CopyFile(source, folder);

		bool closed = false;
		{
			BAutolock lock(fLock);
			fFilesDone++;
			if (fAbort) {
				fFilesDone += int32(fQueue.size());
				fQueue.clear();
				closed = true;
			}
			if (fFilesDone.load() == fFilesRequested.load()) {
				fFilesDone = 0;
				fFilesRequested = 0;
				fIgnoreErrors = false;
				fAbort = false;
			}
		}
		_Post(FILE_COPY_PULSE);
		if (closed) {
			_StopPulse();
			_Post(FILE_COPY_CLOSE);
		} else if (!IsCopying()) {
			_StopPulse();
			_Post(FILE_COPY_HIDE);
		}
	}
}

void CFileCopyWorker::_Post(uint32 what)
{
	BMessenger display = Display();
	if (!display.IsValid())
		return;
	BMessage message(what);
	display.SendMessage(&message, nullptr, 0);
}

void CFileCopyWorker::_StartPulse()
{
	BAutolock lock(fLock);
	if (fPulseRunner != nullptr || !fDisplay.IsValid())
		return;
	BMessage pulse(FILE_COPY_PULSE);
	fPulseRunner = std::make_unique<BMessageRunner>(fDisplay, &pulse, kPulseInterval);
}

void CFileCopyWorker::_StopPulse()
{
	std::unique_ptr<BMessageRunner> runner;
	{
		BAutolock lock(fLock);
		runner = std::move(fPulseRunner);
	}
	// Destroyed outside the lock: it waits for its thread.
}

void CFileCopyWorker::_SetProgress(off_t copied, off_t size)
{
	BAutolock lock(fLock);
	fCopied = copied;
	fCurrentSize = size;
}

// #pragma mark - the shared worker

namespace {

std::mutex sSharedLock;
std::shared_ptr<CFileCopyWorker> sSharedWorker;   // guarded by sSharedLock
FileCopyDisplayMaker sDisplayMaker;               // guarded by sSharedLock

}   // namespace

FileCopyDisplayMaker SetFileCopyDisplayMaker(FileCopyDisplayMaker maker)
{
	std::lock_guard<std::mutex> lock(sSharedLock);
	FileCopyDisplayMaker previous = std::move(sDisplayMaker);
	sDisplayMaker = std::move(maker);
	return previous;
}

void CopyFile(const entry_ref& source, const entry_ref& folder)
{
	std::shared_ptr<CFileCopyWorker> worker;
	FileCopyDisplayMaker maker;
	{
		std::lock_guard<std::mutex> lock(sSharedLock);
		if (sSharedWorker == nullptr || sSharedWorker->InitCheck() != B_OK)
			sSharedWorker = std::make_shared<CFileCopyWorker>();
		worker = sSharedWorker;
		maker = sDisplayMaker;
	}
	if (worker->InitCheck() != B_OK) {
		DebugPrint("CopyFile: the copy worker cannot run: %s\n", StatusText(worker->InitCheck()));
		return;
	}
	// The display is made outside the lock: making a window waits for the
	// GUI thread, which may itself be asking for a copy.
	if (maker && !worker->Display().IsValid()) {
		BMessenger display = maker(worker);
		if (!worker->SetDisplayIfNone(display) && display.IsValid())
			display.SendMessage(FILE_COPY_CLOSE);
	}
	worker->AddRequest(source, folder);
}

std::shared_ptr<CFileCopyWorker> SharedFileCopyWorker()
{
	std::lock_guard<std::mutex> lock(sSharedLock);
	return sSharedWorker;
}

void ShutDownFileCopying()
{
	std::shared_ptr<CFileCopyWorker> worker;
	{
		std::lock_guard<std::mutex> lock(sSharedLock);
		worker = std::move(sSharedWorker);
	}
	if (worker != nullptr)
		worker->Quit();
}
