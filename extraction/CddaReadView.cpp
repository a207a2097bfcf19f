#include "extraction/CddaReadView.h"

#include "devices/Device.h"
#include "disc/Toc.h"
#include "driver/driverbaseclass.h"
#include "extraction/ReadSync.h"
#include "extraction/RingBuffer.h"
#include "extraction/RipLog.h"
#include "frame/Diagnostics.h"
#include "frame/Preference.h"
#include "kit/app/MessageRunner.h"
#include "kit/device/RawDevice.h"
#include "kit/interface/Alert.h"
#include "kit/storage/Directory.h"
#include "kit/storage/Entry.h"
#include "kit/storage/Path.h"
#include "kit/support/Errors.h"
#include "kit/support/Message.h"
#include "projects/ProjectRoster.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <ctime>
#include <filesystem>

namespace {

constexpr int32 kSectorSize = 2352;
constexpr int32 kSectorsPerSecond = 75;
constexpr int32 kWorkerPriority = 11;
constexpr int32 kFileWriterPriority = 12;
constexpr bigtime_t kBatchPause = 200000;        // a longer wait starts a new batch
constexpr bigtime_t kStatusInterval = 200000;
constexpr bigtime_t kSpinupSectorTime = 13333;  // 75 sectors a second at most
constexpr bigtime_t kQuitStep = 50000;
constexpr const char* kTimes = " \xC3\x97";     // " ×"

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...)
{
	char buffer[512];
	va_list args;
	va_start(args, format);
	vsnprintf(buffer, sizeof(buffer), format, args);
	va_end(args);
	return buffer;
}

// "1st time", "2nd time", "3rd time", then "4th time" ...
std::string RetryText(int32 retry)
{
	switch (retry) {
		case 1:
			return "1st time";
		case 2:
			return "2nd time";
		case 3:
			return "3rd time";
		default:
			return std::to_string(retry) + "th time";
	}
}

std::string MinutesSeconds(int64 seconds)
{
	if (seconds < 0)
		seconds = 0;
	return Format("%02d:%02d", int(seconds / 60), int(seconds % 60));
}

bool IsGone(status_t status)
{
	return status == B_DEV_NO_MEDIA || status == B_DEV_BAD_DRIVE_NUM || status == B_DEV_NOT_READY;
}

size_t PageRound(size_t size)
{
	return (size + B_PAGE_SIZE - 1) / B_PAGE_SIZE * B_PAGE_SIZE;
}

}   // namespace

struct CCddaReadView::CJob {
	CCddaReadView* view = nullptr;
	int32 sectorSize = kSectorSize;
	int32 countReadBlockSectors = 27;
	int32 countWriteBlockSectors = 162;
	int32 countSpinUpSectors = 75;
	int32 countSyncSectors = 0;
	int32 syncMode = READ_SYNC_OFF;
	int32 countMaxReadRetrys = 10;
	int32 countWriteBufferElements = 5;
	int32 readOffset = 0;
	bool RemoveDigitalSilenceAtBeginning = true;
	bool RemoveDigitalSilenceAtEnding = true;
	bool secure = false;
	bool littleEndianDrive = true;
	media_file_format fileFormat {};
	media_codec_info codec {};
	std::string formatShortName;
	std::string codecShortName;
	int32 spinUpCounter = -1;
	int32 track = 0;
	std::string folder;
	std::string temporaryFolder;
	std::string artist;
	std::string title;
	TrackTags tags;
	CTrackFile file;
	std::unique_ptr<BMessageRunner> statusRunner;
	std::unique_ptr<CRingBuffer> ring;
	area_id readArea = -1;
	uint8* readBuffer = nullptr;
	std::unique_ptr<uint8[]> verifyBuffer;   // secure mode: the second read of a block
	int32 CopyTrackStartFrame = 0;
	int32 CopyTrackFramesCount = 0;
	bool firstAudioTrack = false;
	bool lastAudioTrack = false;
	std::unique_ptr<CTrackChecksums> sums;
	CddaTrackResult result;
	bool writeAborted = false;
	bool readFailed = false;
	status_t failure = B_OK;
};

CCddaReadView::CCddaReadView(CDevice* device, const BMessenger& target)
	:
	fDevice(device),
	fTarget(target)
{
	ResetStatistics();
	fJobSemaphore = create_sem(0, "cd_reading_jobworker_block");
	fWorker = spawn_thread(_WorkerEntry, "cd_reading_jobworker", kWorkerPriority, this);
	if (fWorker >= 0)
		resume_thread(fWorker);
}

CCddaReadView::~CCddaReadView()
{
	fQuit = true;
	fCancel = true;
	{
		BAutolock lock(fJobsLock);
		fJobs.clear();
	}
	if (fWorker >= 0) {
		release_sem(fJobSemaphore);
		status_t ignored;
		wait_for_thread(fWorker, &ignored);
	}
	delete_sem(fJobSemaphore);
}

std::string CCddaReadView::WindowTitle(const CDevice* device)
{
	return std::string(kCddaReadWindowTitlePrefix) + (device != nullptr ? device->GetDeviceName() : "");
}

void CCddaReadView::SetTarget(const BMessenger& target)
{
	std::lock_guard<std::mutex> lock(fDisplayLock);
	fTarget = target;
}

void CCddaReadView::SetOptions(const CddaReadOptions& options)
{
	BAutolock lock(fJobsLock);
	fOptions = options;
}

void CCddaReadView::SetDiagnostics(FILE* stream)
{
	fDiagnostics = stream;
}

void CCddaReadView::_Print(const char* format, ...)
{
	if (fDiagnostics == nullptr)
		return;
	va_list args;
	va_start(args, format);
	vfprintf(fDiagnostics, format, args);
	va_end(args);
	fflush(fDiagnostics);
}

void CCddaReadView::_Changed()
{
	BMessenger target;
	{
		std::lock_guard<std::mutex> lock(fDisplayLock);
		target = fTarget;
	}
	if (target.IsValid())
		target.SendMessage(CDDA_READ_DISPLAY_CHANGED);
}

// #pragma mark - Messages

bool CCddaReadView::MessageReceived(BMessage* message)
{
	switch (message->what) {
		case CDDA_READ_COPY_TRACKS: {
			std::string folder;
			entry_ref ref;
			if (message->FindRef("dir", &ref) == B_OK) {
				BPath path(&ref);
				if (path.InitCheck() == B_OK)
					folder = path.Path();
			} else {
				message->FindString("dir", &folder);
			}
			int32 track = 0;
			for (int32 i = 0; message->FindInt32("track", i, &track) == B_OK; i++) {
				std::string artist, title;
				message->FindString("artist", i, &artist);
				message->FindString("title", i, &title);
				AddJob(folder, track, artist, title);
			}
			return true;
		}
		case CDDA_READ_UPDATE_STATUS:
			CopyUpdateStatus();
			return true;
		case CDDA_READ_STATUS_TEXT: {
			std::string text;
			message->FindString("text", &text);
			{
				std::lock_guard<std::mutex> lock(fDisplayLock);
				fDisplay.statusText = text;
			}
			_Changed();
			return true;
		}
		case CDDA_READ_CLOSE_BUTTON:
			if (!IsBusy()) {
				BMessenger target;
				{
					std::lock_guard<std::mutex> lock(fDisplayLock);
					target = fTarget;
				}
				if (target.IsValid())
					target.SendMessage(CDDA_READ_CLOSE_WINDOW);
			} else {
				QuitRequested();
			}
			return true;
		default:
			return false;
	}
}

void CCddaReadView::SetStatusText(const char* text)
{
	BMessage message(CDDA_READ_STATUS_TEXT);
	message.AddString("text", text != nullptr ? text : "");
	BMessenger target;
	{
		std::lock_guard<std::mutex> lock(fDisplayLock);
		target = fTarget;
	}
	if (target.IsValid())
		target.SendMessage(&message);
	else
		MessageReceived(&message);
}

// #pragma mark - Jobs

bool CCddaReadView::AddJob(const std::string& folder, int32 track, const std::string& artist,
	const std::string& title)
{
	auto job = std::make_unique<CJob>();
	job->view = this;
	CddaReadOptions options;
	{
		BAutolock lock(fJobsLock);
		options = fOptions;
	}
	DeviceReadSettings device = options.deviceSettings;
	if (!options.overrideDeviceSettings && fDevice != nullptr && fDevice->GetPreference() != nullptr)
		device = DeviceReadSettingsFromMessage(*fDevice->GetPreference());
	job->countReadBlockSectors = std::max<int32>(1, device.readBufferSectors);
	job->countWriteBlockSectors = job->countReadBlockSectors * std::max<int32>(1, device.readBufferClusters);
	job->countSpinUpSectors = std::max<int32>(0, device.readSpinupSectors);
	job->syncMode = options.overrideSync ? options.syncMode : device.readSyncMode;
	job->countSyncSectors = options.overrideSync ? options.syncSectors : device.readSyncSectors;
	if (job->syncMode == READ_SYNC_OFF)
		job->countSyncSectors = 0;
	job->countMaxReadRetrys = std::max<int32>(0, device.readErrorRetrys);
	job->countWriteBufferElements = std::max<int32>(2, device.readBufferElements);
	job->readOffset = options.overrideReadOffset ? options.readOffset : device.readOffset;
	job->secure = options.secure;
	job->littleEndianDrive = options.readEndiannessFromDriver
		? (fDevice == nullptr || fDevice->IsLittleEndian()) : !options.bigEndianDrive;

	CddaReadSetup setup = LoadCddaReadSetup();
	job->RemoveDigitalSilenceAtBeginning = setup.removeSilenceAtBeginning;
	job->RemoveDigitalSilenceAtEnding = setup.removeSilenceAtEnding;
	job->formatShortName = options.overrideFormat ? options.formatShortName : setup.formatShortName;
	job->codecShortName = options.overrideFormat ? options.codecShortName : setup.codecShortName;
	media_format input = CddaInputFormat();
	status_t status = FindEncoder(&job->fileFormat, &job->codec, &input, job->formatShortName.c_str(),
		job->codecShortName.c_str());
	if (status != B_OK) {
		std::string text = "Couldn't find encoder.\n\nError:\n" + std::string(StatusText(status)) + "\n\nformat = "
			+ job->formatShortName + "\ncodec = " + job->codecShortName;
		DebugAlert(text.c_str());
		return false;
	}

	job->track = track;
	job->folder = folder;
	job->artist = artist;
	job->title = title;
	DiscLayout layout = _Layout();
	{
		CToc* toc = fDevice != nullptr ? fDevice->GetToc() : nullptr;
		if (toc == nullptr)
			return false;
		toc->Lock();
		bool exists = track >= toc->FirstTrack() && track <= toc->LastTrack() && toc->TrackSize(track) > 0;
		bool data = exists && toc->TrackDataTrack(track);
		if (exists && !data) {
			int32 lba = toc->TrackLBA(track);
			job->CopyTrackStartFrame = lba < -150 ? lba + 450150 : lba + 150;
			job->CopyTrackFramesCount = toc->TrackSize(track);
			int32 firstAudio = 0, lastAudio = 0;
			for (int32 t = toc->FirstTrack(); t <= toc->LastTrack(); t++) {
				if (toc->TrackDataTrack(t))
					continue;
				if (firstAudio == 0)
					firstAudio = t;
				lastAudio = t;
			}
			job->firstAudioTrack = track == firstAudio;
			job->lastAudioTrack = track == lastAudio;
			job->tags.album = toc->Title();
			job->tags.trackCount = toc->TrackCount();
		}
		toc->Unlock();
		if (!exists || data) {
			SetStatusText(data ? Format("Track %d is a data track", int(track)).c_str()
							   : Format("There is no track %d on the disc", int(track)).c_str());
			return false;
		}
	}
	job->tags.artist = artist;
	job->tags.title = title;
	job->tags.trackNumber = track;
	job->tags.musicBrainzDiscId = MusicBrainzDiscId(layout);
	job->result.track = track;
	job->result.artist = artist;
	job->result.title = title;
	job->result.secure = job->secure;

	if (!options.temporaryFolder.empty()) {
		job->temporaryFolder = options.temporaryFolder;
	} else if (gpProjectRoster != nullptr && gpProjectRoster->Lock()) {
		BDirectory root;
		if (gpProjectRoster->GetProjectBaseFolder(&root) == B_OK) {
			BEntry entry;
			BPath path;
			if (root.GetEntry(&entry) == B_OK && entry.GetPath(&path) == B_OK)
				job->temporaryFolder = path.Path();
		}
		gpProjectRoster->Unlock();
	}
	if (job->temporaryFolder.empty())
		job->temporaryFolder = folder;

	_Print("format_short_name = %s\n", job->formatShortName.c_str());
	_Print("codec_short_name = %s\n", job->codecShortName.c_str());
	_Print("RemoveDigitalSilenceAtBeginning = %s\n", job->RemoveDigitalSilenceAtBeginning ? "yes" : "no");
	_Print("RemoveDigitalSilenceAtEnding = %s\n", job->RemoveDigitalSilenceAtEnding ? "yes" : "no");
	_Print("CopyTrackStartFrame = %d\n", int(job->CopyTrackStartFrame));
	_Print("CopyTrackFramesCount = %d\n", int(job->CopyTrackFramesCount));

	fSectorsTotal += job->CopyTrackFramesCount;
	{
		BAutolock lock(fJobsLock);
		fJobs.push_back(std::move(job));
		fJobsTotal++;
	}
	{
		std::lock_guard<std::mutex> lock(fDisplayLock);
		fBatchFolder = folder;
	}
	release_sem(fJobSemaphore);
	return true;
}

int32 AddDiscTracks(CCddaReadView* view, CDevice* device, const std::string& folder, const std::vector<int32>& tracks)
{
	int32 added = 0;
	for (int32 track : tracks) {
		std::string artist, title;
		CToc* toc = device->GetToc();
		toc->Lock();
		artist = toc->TrackArtist(track);
		title = toc->TrackTitle(track);
		toc->Unlock();
		if (view->AddJob(folder, track, artist, title))
			added++;
	}
	return added;
}

DiscLayout CCddaReadView::_Layout()
{
	DiscLayout layout;
	CToc* toc = fDevice != nullptr ? fDevice->GetToc() : nullptr;
	if (toc == nullptr)
		return layout;
	toc->Lock();
	layout.firstTrack = toc->FirstTrack();
	for (int32 t = toc->FirstTrack(); t <= toc->LastTrack(); t++) {
		layout.trackStarts.push_back(toc->TrackLBA(t));
		layout.dataTracks.push_back(toc->TrackDataTrack(t));
	}
	if (toc->TrackCount() > 0)
		layout.leadOut = toc->TrackLBA(toc->LastTrack()) + toc->TrackSize(toc->LastTrack());
	toc->Unlock();
	return layout;
}

std::string CCddaReadView::_CdBoxLabel()
{
	CToc* toc = fDevice != nullptr ? fDevice->GetToc() : nullptr;
	if (toc == nullptr)
		return "CD";
	toc->Lock();
	std::string title = toc->Title();
	toc->Unlock();
	bool blank = std::all_of(title.begin(), title.end(), [](char c) { return c == ' ' || c == '\t'; });
	return blank ? "CD" : "CD: " + title;
}

// #pragma mark - Worker

status_t CCddaReadView::_WorkerEntry(void* data)
{
	static_cast<CCddaReadView*>(data)->_Work();
	return B_OK;
}

void CCddaReadView::_Work()
{
	bool firstJob = true;
	for (;;) {
		bigtime_t waitStart = system_time();
		acquire_sem(fJobSemaphore);
		fBusy = true;
		bool spinupDue = firstJob || system_time() - waitStart > kBatchPause;
		firstJob = false;

		std::unique_ptr<CJob> job;
		{
			BAutolock lock(fJobsLock);
			if (fJobs.empty() || fQuit) {
				fBusy = false;
				break;
			}
			job = std::move(fJobs.front());
			fJobs.pop_front();
			fCurrentJob = job.get();
		}
		if (spinupDue) {
			// A new batch: its counters, its flags and its log start afresh.
			ResetStatistics();
			{
				std::lock_guard<std::mutex> lock(fDisplayLock);
				fBatchResults.clear();
			}
			if (fReader != nullptr)
				fReader->Restart();
			if (job->countSpinUpSectors > 0) {
				_ShowSpinupDisplay();
				_ExecuteSpinup(job.get());
				fSpinUps++;
			}
		}
		if (!fCancel) {
			_ShowCopyDisplay();
			_ProcessJob(job.get());
			fJobsDone++;
		} else {
			job->result.outcome = "Aborted";
		}
		{
			std::lock_guard<std::mutex> lock(fDisplayLock);
			fResults.push_back(job->result);
			fBatchResults.push_back(job->result);
		}
		{
			BAutolock lock(fJobsLock);
			fCurrentJob = nullptr;
		}
		job.reset();

		if (fCancel) {
			for (;;) {
				std::unique_ptr<CJob> dropped;
				{
					BAutolock lock(fJobsLock);
					if (fJobs.empty())
						break;
					dropped = std::move(fJobs.front());
					fJobs.pop_front();
				}
				acquire_sem(fJobSemaphore);
				fJobsDone++;
				dropped->result.outcome = "Aborted";
				std::lock_guard<std::mutex> lock(fDisplayLock);
				fResults.push_back(dropped->result);
				fBatchResults.push_back(dropped->result);
			}
		}

		bool empty;
		{
			BAutolock lock(fJobsLock);
			empty = fJobs.empty();
			fBusy = false;
		}
		if (empty) {
			_ShowEndDisplay();
			_WriteLog();
			BMessenger target;
			{
				std::lock_guard<std::mutex> lock(fDisplayLock);
				target = fTarget;
			}
			if (target.IsValid())
				target.SendMessage(CDDA_READ_BATCH_DONE);
		}
		{
			std::lock_guard<std::mutex> lock(fIdleLock);
		}
		fIdle.notify_all();
	}
	{
		std::lock_guard<std::mutex> lock(fIdleLock);
	}
	fIdle.notify_all();
}

bool CCddaReadView::IsIdle() const
{
	BAutolock lock(fJobsLock);
	return !fBusy && fJobs.empty();
}

bool CCddaReadView::WaitUntilIdle(bigtime_t timeout) const
{
	std::unique_lock<std::mutex> lock(fIdleLock);
	return fIdle.wait_for(lock, std::chrono::microseconds(timeout), [this] { return IsIdle(); });
}

std::vector<CddaTrackResult> CCddaReadView::Results() const
{
	std::lock_guard<std::mutex> lock(fDisplayLock);
	return fResults;
}

std::string CCddaReadView::LastLogPath() const
{
	std::lock_guard<std::mutex> lock(fDisplayLock);
	return fLastLogPath;
}

void CCddaReadView::Abort()
{
	fCancel = true;
}

void CCddaReadView::ResetStatistics()
{
	fSectorsDone = 0;
	fSectorsRead = 0;
	fRereads = 0;
	fResetTime = system_time();
	fLastShownTime = -1;
	fLastShownRemaining = -1;
	fLastCurrentPercent = -1;
	fLastAllPercent = -1;
	BAutolock lock(fJobsLock);
	int32 sectors = fCurrentJob != nullptr ? fCurrentJob->CopyTrackFramesCount : 0;
	int32 jobs = fCurrentJob != nullptr ? 1 : 0;
	for (const auto& job : fJobs) {
		sectors += job->CopyTrackFramesCount;
		jobs++;
	}
	fSectorsTotal = sectors;
	fJobsTotal = jobs;
	fJobsDone = 0;
	fError = false;
	fCancel = false;
}

status_t CCddaReadView::_ReadSectors(int32 lba, int32 count, void* buffer)
{
	CDriver* driver = fDevice != nullptr ? fDevice->GetDriver() : nullptr;
	if (driver == nullptr || driver->ReadAudio == nullptr)
		return B_DEV_BAD_DRIVE_NUM;
	SCSI_STATUS status;
	memset(&status, 0, sizeof(status));
	if (driver->ReadAudio(fDevice, buffer, lba, count, &status))
		return B_OK;
	// Tell a drive or disc that went away from a sector that could not be
	// read: retrying the first is pointless.
	int32 cam = status.cam_status & 0x3F;
	if (cam == CAM_DEV_NOT_THERE || cam == CAM_SEL_TIMEOUT || status.os_status == B_DEV_BAD_DRIVE_NUM
		|| status.os_status == B_FILE_ERROR)
		return B_DEV_BAD_DRIVE_NUM;
	if (status.os_status == B_DEV_NO_MEDIA
		|| (status.sense.SenseKey == 0x2 && status.sense.AdditionalSenseCode == 0x3A))
		return B_DEV_NO_MEDIA;
	return B_DEV_READ_ERROR;
}

void CCddaReadView::_ExecuteSpinup(CJob* job)
{
	job->spinUpCounter = -1;
	_UpdateSpinupBar(0, job->countSpinUpSectors);
	std::vector<uint8> sector(kSectorSize);
	for (int32 i = 0; i < job->countSpinUpSectors; i++) {
		bigtime_t start = system_time();
		bool read = false;
		for (int32 attempt = 0; attempt <= job->countMaxReadRetrys && !read; attempt++) {
			status_t status = _ReadSectors(i + 1, 1, sector.data());
			read = status == B_OK;
			if (IsGone(status))
				break;
		}
		if (!read) {
			SetStatusText("Spinup read command failed\n");
			return;
		}
		if (fCancel) {
			SetStatusText("Spinup aborted!\n");
			return;
		}
		job->spinUpCounter = i + 1;
		_UpdateSpinupBar(job->spinUpCounter, job->countSpinUpSectors);
		bigtime_t left = start + kSpinupSectorTime - system_time();
		if (left > 0)
			snooze(left);
	}
}

status_t CCddaReadView::_StartFileWriter(CJob* job)
{
	status_t status = job->file.Create(job->temporaryFolder, job->fileFormat, job->codec, job->tags);
	if (status != B_OK)
		return status;
	{
		// The status display looks at the ring buffer under the jobs lock.
		auto ring = std::make_unique<CRingBuffer>(job->sectorSize * job->countWriteBlockSectors,
			job->countWriteBufferElements);
		BAutolock lock(fJobsLock);
		job->ring = std::move(ring);
	}
	status = job->ring->InitCheck();
	if (status == B_OK) {
		size_t bytes = PageRound(size_t(job->countReadBlockSectors) * job->sectorSize);
		void* address = nullptr;
		job->readArea = create_area("cd reading buffer", &address, B_ANY_ADDRESS, bytes, B_FULL_LOCK,
			B_READ_AREA | B_WRITE_AREA);
		if (job->readArea < 0)   // over the locked-memory limit: unlocked will do
			job->readArea = create_area("cd reading buffer", &address, B_ANY_ADDRESS, bytes, B_NO_LOCK,
				B_READ_AREA | B_WRITE_AREA);
		if (job->readArea < 0)
			status = job->readArea;
		job->readBuffer = static_cast<uint8*>(address);
	}
	if (status == B_OK && job->secure) {
		job->verifyBuffer.reset(new (std::nothrow) uint8[size_t(job->countReadBlockSectors) * job->sectorSize]);
		if (job->verifyBuffer == nullptr)
			status = B_NO_MEMORY;
	}
	if (status == B_OK && (fReader == nullptr || fReaderOffset != job->readOffset || fReaderSyncMode != job->syncMode
			|| fReaderSyncSectors != job->countSyncSectors || fReaderBlock != job->countReadBlockSectors)) {
		AudioBlockReaderOptions options;
		options.readOffset = job->readOffset;
		options.syncMode = job->syncMode;
		options.syncSectors = job->countSyncSectors;
		options.leadOut = _Layout().leadOut;
		options.maxBlockSectors = job->countReadBlockSectors;
		size_t transfer = fDevice != nullptr ? dev_max_transfer_length(fDevice->GetRawDescriptor()) : 0;
		options.maxCommandSectors = int32(std::clamp<size_t>(
			(transfer != 0 ? transfer : B_RAW_DEVICE_DEFAULT_MAX_TRANSFER) / kSectorSize, 1, 64));
		fReader = std::make_unique<CAudioBlockReader>(
			[this](int32 lba, int32 count, void* buffer) { return _ReadSectors(lba, count, buffer); }, options);
		status = fReader->InitCheck();
		fReaderOffset = job->readOffset;
		fReaderSyncMode = job->syncMode;
		fReaderSyncSectors = job->countSyncSectors;
		fReaderBlock = job->countReadBlockSectors;
	}
	if (status != B_OK) {
		job->file.Discard();
		{
			BAutolock lock(fJobsLock);
			job->ring.reset();
		}
		if (job->readArea >= 0)
			delete_area(job->readArea);
		job->readArea = -1;
		return status;
	}
	job->sums = std::make_unique<CTrackChecksums>(int64(job->CopyTrackFramesCount) * kCddaSectorFrames,
		job->firstAudioTrack, job->lastAudioTrack);
	DEBUG_ASSERT(fFileWriterThreadId == B_ERROR);
	fFileWriterThreadId = spawn_thread(_FileWriterEntry, "cd_reading_filewriter", kFileWriterPriority, job);
	if (fFileWriterThreadId < 0) {
		status = fFileWriterThreadId;
		fFileWriterThreadId = -1;
		job->file.Discard();
		{
			BAutolock lock(fJobsLock);
			job->ring.reset();
		}
		delete_area(job->readArea);
		job->readArea = -1;
		return status;
	}
	resume_thread(fFileWriterThreadId);
	return B_OK;
}

status_t CCddaReadView::_FileWriterEntry(void* data)
{
	auto* job = static_cast<CJob*>(data);
	job->view->_FileWriter(job);
	return B_OK;
}

void CCddaReadView::_FileWriter(CJob* job)
{
	CRingBuffer& ring = *job->ring;
	bool strip = job->RemoveDigitalSilenceAtBeginning;
	bool aborted = false;
	ring.ReadInit();
	for (;;) {
		void* data = nullptr;
		int32 bytes = 0;
		ring.ReadBegin(&data, &bytes);
		if (bytes == 0)
			break;
		// After an abort (the user's, a read error's or a write error's) the
		// file is discarded: drain without writing.
		if (aborted || fCancel) {
			ring.ReadEnd();
			continue;
		}
		auto* p = static_cast<uint8*>(data);
		if (!job->littleEndianDrive) {
			for (int32 i = 0; i + 1 < bytes; i += 2)
				std::swap(p[i], p[i + 1]);
		}
		job->sums->Add(p, size_t(bytes));
		job->result.framesRead += bytes / 4;
		if (strip) {
			SetStatusText("Removing digital silence at track beginning");
			int32 at = 0;
			while (at + 4 <= bytes && p[at] == 0 && p[at + 1] == 0 && p[at + 2] == 0 && p[at + 3] == 0)
				at += 4;
			if (at + 4 <= bytes) {
				strip = false;
				SetStatusText("");
			}
			p += at;
			bytes -= at;
			if (bytes < 4) {
				ring.ReadEnd();
				continue;
			}
		}
		int32 frames = bytes / 4;
		for (;;) {
			status_t status = job->file.WriteFrames(p, frames);
			_Print("status = 0x%08x\n", unsigned(status));
			if (status == B_OK)
				break;
			_Print("Write Error %s (0x%08x)\n", StatusText(status), unsigned(status));
			std::string text = Format("%s (0x%08x)\n\nCouldn't write to output file, harddisk full?", StatusText(status),
				unsigned(status));
			int32 answer = (new BAlert("Write error", text.c_str(), "Abort", "Retry", nullptr, B_WIDTH_AS_USUAL,
								B_STOP_ALERT))->Go();
			if (answer == 1)
				continue;
			_Print("Aborting\n");
			aborted = true;
			job->writeAborted = true;
			job->failure = status;
			fCancel = true;
			break;
		}
		ring.ReadEnd();
	}
	ring.ReadEnd();
	ring.ReadExit();
}

void CCddaReadView::_StopFileWriter(CJob* job)
{
	status_t ignored;
	wait_for_thread(fFileWriterThreadId, &ignored);
	fFileWriterThreadId = -1;

	job->result.frames = job->file.FramesWritten();
	job->result.crc32 = job->sums->Crc32();
	job->result.accurateRipV1 = job->sums->AccurateRipV1();
	job->result.accurateRipV2 = job->sums->AccurateRipV2();
	if (fCancel) {
		job->file.Discard();
		if (job->writeAborted)
			job->result.outcome = "Write error";
		else if (job->failure == B_DEV_NO_MEDIA)
			job->result.outcome = "Disc removed";
		else if (job->failure == B_DEV_BAD_DRIVE_NUM)
			job->result.outcome = "Drive gone";
		else if (job->readFailed)
			job->result.outcome = "Read error";
		else
			job->result.outcome = "Aborted";
	} else {
		std::string finalPath;
		status_t status = job->file.Finish(job->folder, job->artist, job->title, &finalPath);
		if (status == B_OK) {
			job->result.finalPath = finalPath;
			job->result.outcome = job->secure && !job->result.proven ? "Not proven" : "OK";
		} else {
			job->result.outcome = "Write error";
			std::string text = Format("%s (0x%08x)\n\nCouldn't write to output file, harddisk full?",
				StatusText(status), unsigned(status));
			(new BAlert("Write error", text.c_str(), "OK", nullptr, nullptr, B_WIDTH_AS_USUAL, B_STOP_ALERT))->Go();
		}
	}
	{
		BAutolock lock(fJobsLock);
		job->ring.reset();
	}
	if (job->readArea >= 0)
		delete_area(job->readArea);
	job->readArea = -1;
	job->readBuffer = nullptr;
	job->verifyBuffer.reset();
}

status_t CCddaReadView::_ReadBlock(CJob* job, int32 lba, int32 count, uint8* buffer, int32* rereads, bool* proven,
	status_t* failure)
{
	// One read under the retry count, showing the retry texts.
	int32 attempt = 0;
	auto readOnce = [&](uint8* into) -> status_t {
		status_t status = B_ERROR;
		for (; attempt <= job->countMaxReadRetrys; attempt++) {
			if (fCancel)
				return B_CANCELED;
			if (attempt > 0) {
				std::string text = Format("Error reading sectors %u to %u, retrying ", unsigned(lba),
					unsigned(lba + count - 1)) + RetryText(attempt);
				SetStatusText(text.c_str());
				(*rereads)++;
				fRereads++;
			}
			status = fReader->ReadBlock(lba, count, into);
			if (attempt > 0)
				SetStatusText("");
			if (status == B_OK) {
				attempt++;
				return B_OK;
			}
			if (IsGone(status))
				return status;
		}
		return status;
	};

	status_t status = readOnce(buffer);
	if (status != B_OK) {
		*failure = status;
		return status;
	}
	if (!job->secure)
		return B_OK;

	// Secure: the block counts when two reads of it agree; each further read
	// is compared with every read before it.
	const size_t bytes = size_t(count) * kSectorSize;
	uint64 hashes[64];
	int32 reads = 0;
	hashes[reads++] = AudioHash(buffer, bytes);
	attempt = 0;
	while (reads < 64) {
		status = readOnce(job->verifyBuffer.get());
		if (status != B_OK)
			break;
		uint64 hash = AudioHash(job->verifyBuffer.get(), bytes);
		bool agrees = std::find(hashes, hashes + reads, hash) != hashes + reads;
		if (reads > 1) {
			(*rereads)++;
			fRereads++;
		}
		hashes[reads++] = hash;
		if (agrees) {
			if (hash != hashes[0])
				memcpy(buffer, job->verifyBuffer.get(), bytes);
			return B_OK;
		}
		if (attempt > job->countMaxReadRetrys)
			break;
	}
	if (status == B_CANCELED || IsGone(status)) {
		*failure = status;
		return status;
	}
	*proven = false;
	return B_OK;
}

void CCddaReadView::_ProcessJob(CJob* job)
{
	status_t status = _StartFileWriter(job);
	if (status != B_OK) {
		std::string text = Format("Couldn't start file writing.\n\nError:\n%s (0x%08X)\n", StatusText(status),
			unsigned(status));
		DebugAlert(text.c_str());
		job->result.outcome = "File error";
		return;
	}
	fSectorsDone = 0;
	fJobStartTime = system_time();
	{
		BMessenger target;
		{
			std::lock_guard<std::mutex> lock(fDisplayLock);
			target = fTarget;
		}
		BMessage update(CDDA_READ_UPDATE_STATUS);
		if (target.IsValid()) {
			job->statusRunner = std::make_unique<BMessageRunner>(target, &update, kStatusInterval);
			target.SendMessage(CDDA_READ_UPDATE_STATUS);
		}
	}
	job->ring->WriteInit();

	bool proven = true;
	int32 rereads = 0;
	int32 correctedBefore = fReader->CorrectedBlocks();
	int32 address = job->CopyTrackStartFrame;
	while (fSectorsDone < job->CopyTrackFramesCount && !fCancel) {
		int32 count = std::min(job->countReadBlockSectors, job->CopyTrackFramesCount - fSectorsDone.load());
		int32 lba = address - 150;
		status_t failure = B_OK;
		status = _ReadBlock(job, lba, count, job->readBuffer, &rereads, &proven, &failure);
		if (fCancel)
			break;
		if (status != B_OK) {
			fError = true;
			fCancel = true;
			job->readFailed = true;
			job->failure = failure;
			const char* name = fDevice != nullptr ? fDevice->GetDeviceName() : "";
			if (failure == B_DEV_NO_MEDIA) {
				SetStatusText(Format("The disc was removed from %s. CD reading aborted", name).c_str());
			} else if (failure == B_DEV_BAD_DRIVE_NUM || failure == B_DEV_NOT_READY) {
				SetStatusText(Format("%s does not answer any more. CD reading aborted", name).c_str());
			} else {
				SetStatusText("Read Error could not be corrected. CD reading aborted");
			}
			break;
		}
		fReader->Accept(lba, count, job->readBuffer);
		address += count;
		fSectorsDone += count;
		fSectorsRead += count;
		job->ring->Write(job->readBuffer, count * kSectorSize);
	}
	job->result.rereads = rereads;
	job->result.proven = job->secure && proven && !fCancel;
	job->result.correctedBlocks = fReader->CorrectedBlocks() - correctedBefore;
	job->ring->WriteExit();
	if (fCancel && !fError)
		SetStatusText("CD reading aborted!\n");
	{
		BMessenger target;
		{
			std::lock_guard<std::mutex> lock(fDisplayLock);
			target = fTarget;
		}
		if (target.IsValid())
			target.SendMessage(CDDA_READ_UPDATE_STATUS);
	}
	job->statusRunner.reset();
	_StopFileWriter(job);
}

// #pragma mark - Displays

void CCddaReadView::_ShowSpinupDisplay()
{
	std::string cd = _CdBoxLabel();
	{
		std::lock_guard<std::mutex> lock(fDisplayLock);
		fDisplay.current = {"Current Track: ", "0 %", std::string("Current Speed: 0.0") + kTimes, 0};
		fDisplay.all = {"All Tracks: ", "0 %", std::string("Overall Speed: 0.0") + kTimes, 0};
		fDisplay.third = {"Spinning Up: ", "0 %", "", 0};
		fDisplay.statusBox = "Status: Starting Copy";
		fDisplay.trackBox = "Track";
		fDisplay.time = "00:00";
		fDisplay.remaining = "00:00";
		fDisplay.button = "Abort";
		fDisplay.buttonIsDefault = false;
		fDisplay.cdBox = cd;
	}
	_Changed();
}

void CCddaReadView::_UpdateSpinupBar(int32 done, int32 total)
{
	int32 percent = total > 0 ? std::min<int32>(100, done * 100 / total) : 0;
	{
		std::lock_guard<std::mutex> lock(fDisplayLock);
		fDisplay.third.value = percent;
		fDisplay.third.text = Format("%d %%", int(percent));
	}
	_Changed();
}

void CCddaReadView::_ShowCopyDisplay()
{
	std::string cd = _CdBoxLabel();
	{
		std::lock_guard<std::mutex> lock(fDisplayLock);
		fDisplay.current = {"Current Track: ", "0 %", std::string("Current Speed: 0.0") + kTimes, 0};
		fDisplay.all = {"All Tracks: ", "0 %", std::string("Overall Speed: 0.0") + kTimes, 0};
		fDisplay.third = {"Buffer Used: ", "0 %", "", 0};
		fDisplay.statusBox = "Status";
		fDisplay.trackBox = "Track";
		fDisplay.time = "00:00";
		fDisplay.remaining = "00:00";
		fDisplay.button = "Abort";
		fDisplay.buttonIsDefault = false;
		fDisplay.cdBox = cd;
	}
	fLastCurrentPercent = -1;
	fLastShownTime = -1;
	fLastShownRemaining = -1;
	_Changed();
}

void CCddaReadView::_ShowEndDisplay()
{
	{
		std::lock_guard<std::mutex> lock(fDisplayLock);
		fDisplay.third.value = 0;
		fDisplay.third.text = "0 %";
		fDisplay.statusBox = "Status: Done";
		fDisplay.button = "Close";
		fDisplay.buttonIsDefault = true;
	}
	_Changed();
}

void CCddaReadView::CopyUpdateStatus()
{
	BAutolock jobs(fJobsLock);
	CJob* job = fCurrentJob;
	if (job == nullptr)
		return;
	const int32 done = fSectorsDone;
	const int32 read = fSectorsRead;
	const int32 total = fSectorsTotal;
	const bigtime_t now = system_time();
	int32 currentPercent = job->CopyTrackFramesCount > 0 ? done * 100 / job->CopyTrackFramesCount : 0;
	int32 allPercent = total > 0 ? read * 100 / total : 0;
	double jobSeconds = std::max(1e-6, (now - fJobStartTime) / 1e6);
	double resetSeconds = std::max(1e-6, (now - fResetTime) / 1e6);
	double currentSpeed = done / double(kSectorsPerSecond) / jobSeconds;
	double overallSpeed = read / double(kSectorsPerSecond) / resetSeconds;

	std::string trackLabel = "Track " + std::to_string(fJobsDone + 1) + " of " + std::to_string(fJobsTotal) + ", "
		+ std::to_string(job->track);
	if (!job->artist.empty())
		trackLabel += " - " + job->artist;
	if (!job->title.empty())
		trackLabel += " - " + job->title;

	int32 used = 0, unused = 100;
	if (job->ring != nullptr)
		job->ring->GetStatus(&used, &unused);

	{
		std::lock_guard<std::mutex> lock(fDisplayLock);
		if (fDisplay.trackBox != trackLabel)
			fDisplay.trackBox = trackLabel;
		// Times in 1/75 s, redrawn when their second changes.
		int64 elapsed = overallSpeed > 0 ? int64(read / overallSpeed) : 0;
		int64 remaining = overallSpeed > 0 ? int64((total - read) / overallSpeed) : 0;
		elapsed = std::max<int64>(0, elapsed);
		remaining = std::max<int64>(0, remaining);
		if (elapsed / kSectorsPerSecond != fLastShownTime.load()) {
			fLastShownTime = elapsed / kSectorsPerSecond;
			fDisplay.time = MinutesSeconds(fLastShownTime);
		}
		if (remaining / kSectorsPerSecond != fLastShownRemaining.load()) {
			fLastShownRemaining = remaining / kSectorsPerSecond;
			fDisplay.remaining = MinutesSeconds(fLastShownRemaining);
		}
		if (currentPercent != fLastCurrentPercent) {
			fLastCurrentPercent = currentPercent;
			fDisplay.current.value = currentPercent;
			fDisplay.current.text = Format("%d %%", int(currentPercent));
			fDisplay.current.trailing = Format("Current Speed: %.1f", currentSpeed) + kTimes;
		}
		if (allPercent != fLastAllPercent) {
			fLastAllPercent = allPercent;
			fDisplay.all.value = allPercent;
			fDisplay.all.text = Format("%d %%", int(allPercent));
			fDisplay.all.trailing = Format("Overall Speed: %.1f", overallSpeed) + kTimes;
		}
		fDisplay.third.value = used;
		fDisplay.third.text = Format("%i %%%s", int(used), used >= 100 ? " waiting for encoder / harddisk" : "");
	}
	_Changed();
}

CddaReadDisplay CCddaReadView::Display() const
{
	std::lock_guard<std::mutex> lock(fDisplayLock);
	return fDisplay;
}

CCddaReadView::Progress CCddaReadView::CurrentProgress() const
{
	Progress progress;
	progress.sectorsRead = fSectorsRead;
	progress.sectorsTotal = fSectorsTotal;
	progress.sectorsDone = fSectorsDone;
	progress.rereads = fRereads;
	BAutolock lock(fJobsLock);
	if (fCurrentJob != nullptr) {
		progress.track = fCurrentJob->track;
		progress.trackSectors = fCurrentJob->CopyTrackFramesCount;
		int32 unused = 0;
		if (fCurrentJob->ring != nullptr)
			fCurrentJob->ring->GetStatus(&progress.bufferPercent, &unused);
	}
	double seconds = (system_time() - fResetTime) / 1e6;
	progress.speed = seconds > 0 ? progress.sectorsRead / double(kSectorsPerSecond) / seconds : 0;
	return progress;
}

bool CCddaReadView::QuitRequested(const std::function<void()>& whileWaiting)
{
	if (!IsBusy())
		return true;
	int32 answer = (new BAlert("CD reading", "CD reading not finished!\n\nAbort?", "Abort", "Continue", nullptr,
						B_WIDTH_AS_USUAL, B_WARNING_ALERT))->Go();
	if (answer != 0)
		return false;
	fCancel = true;
	while (IsBusy()) {
		if (whileWaiting)
			whileWaiting();
		snooze(kQuitStep);
	}
	fCancel = false;
	return true;
}

// #pragma mark - Log

void CCddaReadView::_WriteLog()
{
	std::vector<CddaTrackResult> results;
	std::string folder;
	CddaReadOptions options;
	{
		BAutolock lock(fJobsLock);
		options = fOptions;
	}
	{
		std::lock_guard<std::mutex> lock(fDisplayLock);
		results = fBatchResults;
		folder = fBatchFolder;
	}
	if (!options.writeLog || results.empty() || folder.empty())
		return;
	DeviceReadSettings device = options.deviceSettings;
	if (!options.overrideDeviceSettings && fDevice != nullptr && fDevice->GetPreference() != nullptr)
		device = DeviceReadSettingsFromMessage(*fDevice->GetPreference());
	CddaReadSetup setup = LoadCddaReadSetup();

	RipLog log;
	log.program = "Tarnwick";
	char date[64] = {};
	time_t now = time(nullptr);
	struct tm local;
	localtime_r(&now, &local);
	strftime(date, sizeof(date), "%Y-%m-%d %H:%M:%S", &local);
	log.date = date;
	if (fDevice != nullptr) {
		log.drive = std::string(fDevice->GetVendor()) + " " + fDevice->GetProduct() + " " + fDevice->GetRevision()
			+ " (" + fDevice->GetDeviceName() + ")";
	}
	log.readOffset = options.overrideReadOffset ? options.readOffset : device.readOffset;
	log.readSyncMode = options.overrideSync ? options.syncMode : device.readSyncMode;
	log.readSyncSectors = options.overrideSync ? options.syncSectors : device.readSyncSectors;
	log.readErrorRetrys = device.readErrorRetrys;
	log.secureMode = options.secure;
	log.removeLeadingSilence = setup.removeSilenceAtBeginning;
	log.formatShortName = options.overrideFormat ? options.formatShortName : setup.formatShortName;
	log.codecShortName = options.overrideFormat ? options.codecShortName : setup.codecShortName;
	log.layout = _Layout();
	if (fDevice != nullptr) {
		CToc* toc = fDevice->GetToc();
		toc->Lock();
		log.discTitle = toc->Title();
		toc->Unlock();
	}
	for (const CddaTrackResult& result : results) {
		RipLogTrack track;
		track.number = result.track;
		track.artist = result.artist;
		track.title = result.title;
		track.fileName = std::filesystem::path(result.finalPath).filename().string();
		track.frames = result.frames;
		track.crc32 = result.crc32;
		track.accurateRipV1 = result.accurateRipV1;
		track.accurateRipV2 = result.accurateRipV2;
		track.rereads = result.rereads;
		track.correctedBlocks = result.correctedBlocks;
		track.secure = result.secure;
		track.proven = result.proven;
		track.outcome = result.outcome;
		log.tracks.push_back(track);
	}
	std::string path = folder + "/" + kRipLogFileName;
	if (log.WriteTo(path) == B_OK) {
		std::lock_guard<std::mutex> lock(fDisplayLock);
		fLastLogPath = path;
	}
}
