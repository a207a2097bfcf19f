#include "players/CdTransports.h"

#include "devices/Device.h"
#include "disc/Toc.h"
#include "driver/driverbaseclass.h"
#include "kit/device/DeviceNamespace.h"
#include "kit/media/AudioOutput.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace {

constexpr int32 kSectorBytes = 2352;
constexpr int32 kFramesPerSector = 588;
constexpr int32 kSectorsPerRead = 16;
constexpr int32 kMsfOffset = 150;
constexpr bigtime_t kWriteWait = 50000;
constexpr bigtime_t kIdleWait = 100000;

std::mutex sModeLock;
std::map<std::string, CdPlaybackMode> sModes;

bool AddressOfRawPath(const std::string& path, int32* bus, int32* target, int32* lun)
{
	int b = 0, t = 0, l = 0;
	if (sscanf(path.c_str(), "/dev/bus/scsi/%d/%d/%d/raw", &b, &t, &l) == 3) {
		*bus = b;
		*target = t;
		*lun = l;
		return true;
	}
	char position[16] = {};
	if (sscanf(path.c_str(), "/dev/disk/ide/atapi/%d/%15[a-z]/0/raw", &b, position) == 2) {
		*bus = -100 - b;
		*target = std::string(position) == "slave" ? 1 : 0;
		*lun = 0;
		return true;
	}
	return false;
}

}   // namespace

bool IsVirtualCdDevice(CDevice* device)
{
	for (const dev_drive_info& drive : dev_list_drives()) {
		int32 bus = 0, target = 0, lun = 0;
		if (drive.is_virtual && AddressOfRawPath(drive.raw_path, &bus, &target, &lun)
			&& bus == device->GetBus() && target == device->GetTarget() && lun == device->GetLogicalUnit())
			return true;
	}
	return false;
}

bool CapabilitiesReportAudioPlay(const uint8* data, size_t size)
{
	// MODE SENSE(10): an 8-byte header whose first two bytes count the bytes
	// after them, block descriptors, then the page.
	if (data == nullptr || size < 8)
		return false;
	size_t length = std::min(size, size_t((data[0] << 8) | data[1]) + 2);
	size_t page = 8 + size_t((data[6] << 8) | data[7]);
	if (page >= length || length - page < 5 || (data[page] & 0x3F) != 0x2A)
		return false;
	return (data[page + 4] & 0x01) != 0;
}

bool DriveReportsAnaloguePlay(CDevice* device)
{
	CDriver* driver = device->GetDriver();
	if (driver == nullptr || driver->ModeSense == nullptr)
		return false;
	uint8 data[256] = {};
	if (!driver->ModeSense(device, data, sizeof(data), 0x2A, 0, nullptr))
		return false;
	return CapabilitiesReportAudioPlay(data, sizeof(data));
}

CdPlaybackMode DefaultCdPlaybackMode(CDevice* device)
{
	if (IsVirtualCdDevice(device) || !DriveReportsAnaloguePlay(device))
		return CdPlaybackMode::kDigital;
	return CdPlaybackMode::kAnalogue;
}

CdPlaybackMode GetCdPlaybackMode(CDevice* device)
{
	{
		std::lock_guard<std::mutex> lock(sModeLock);
		auto found = sModes.find(device->GetUniqueDeviceName());
		if (found != sModes.end())
			return found->second;
	}
	return DefaultCdPlaybackMode(device);
}

void SetCdPlaybackMode(CDevice* device, CdPlaybackMode mode)
{
	std::lock_guard<std::mutex> lock(sModeLock);
	sModes[device->GetUniqueDeviceName()] = mode;
}

std::unique_ptr<CCdAudioTransport> MakeCdAudioTransport(CDevice* device)
{
	if (GetCdPlaybackMode(device) == CdPlaybackMode::kAnalogue)
		return std::make_unique<CAnalogueTransport>(device);
	// Without a sound card the player still runs, silently, in real time.
	auto output = std::make_unique<CAudioOutput>(MakeAlsaSink());
	if (output->Start() != B_OK)
		output = std::make_unique<CAudioOutput>(MakeClockedSink(std::make_shared<CSystemClock>(), ""));
	return std::make_unique<CDigitalTransport>(device, std::move(output));
}

// --- Analogue ---------------------------------------------------------------

CAnalogueTransport::CAnalogueTransport(CDevice* device)
	:
	fDevice(device)
{
	if (fDevice == nullptr)
		DebugAssert(__FILE__, __LINE__, "pDevice != 0");
}

CToc* CAnalogueTransport::Toc()
{
	return fDevice->GetToc();
}

#define DRIVER_CALL(slot, ...)                                  \
	do {                                                        \
		CDriver* driver = fDevice->GetDriver();                 \
		if (driver != nullptr && driver->slot != nullptr)       \
			driver->slot(fDevice, ##__VA_ARGS__);               \
	} while (0)

void CAnalogueTransport::PlayAudioTrack(int32 track) { DRIVER_CALL(PlayAudioTrack, track, nullptr); }
void CAnalogueTransport::PlayAudioPosition(int32 lba) { DRIVER_CALL(PlayAudioPosition, lba, nullptr); }
void CAnalogueTransport::PauseAudio() { DRIVER_CALL(PauseAudio, nullptr); }
void CAnalogueTransport::ResumeAudio() { DRIVER_CALL(ResumeAudio, nullptr); }
void CAnalogueTransport::StopAudio() { DRIVER_CALL(StopAudio, nullptr); }
void CAnalogueTransport::StartUnit() { DRIVER_CALL(StartUnit, nullptr); }
void CAnalogueTransport::MediumAllowRemoval() { DRIVER_CALL(MediumAllowRemoval, nullptr); }
void CAnalogueTransport::MediumEject() { DRIVER_CALL(MediumEject, nullptr); }
void CAnalogueTransport::MediumLoad() { DRIVER_CALL(MediumLoad, nullptr); }

void CAnalogueTransport::DisableUpdates() { fDevice->DisableUpdates(); }
void CAnalogueTransport::EnableUpdates() { fDevice->EnableUpdates(); }
int32 CAnalogueTransport::CurrentTrack() const { return fDevice->GetCurrentTrack(); }
int32 CAnalogueTransport::RelativePosition() const { return fDevice->GetRelativePosition(); }
int32 CAnalogueTransport::AbsolutePosition() const { return fDevice->GetAbsolutePosition(); }
bool CAnalogueTransport::IsPaused() const { return fDevice->IsPaused(); }

void CAnalogueTransport::Attach(const BMessenger& listener)
{
	fDevice->Attach(listener, true, true, true, true);
}

void CAnalogueTransport::Detach(const BMessenger& listener)
{
	fDevice->Detach(listener);
}

// --- Digital player ---------------------------------------------------------

CCdDigitalPlayer::CCdDigitalPlayer(CDevice* device, std::unique_ptr<CAudioOutput> output)
	:
	fDevice(device),
	fOutput(std::move(output)),
	fBuffer(size_t(kSectorsPerRead) * kSectorBytes)
{
	if (fOutput == nullptr || fOutput->Start() != B_OK) {
		fStatus = fOutput != nullptr ? fOutput->InitCheck() : B_BAD_VALUE;
		return;
	}
	fThread = spawn_thread(_ReaderEntry, "cd digital playback", B_URGENT_DISPLAY_PRIORITY, this);
	if (fThread < 0 || resume_thread(fThread) != B_OK) {
		fThread = -1;
		fStatus = B_NO_MORE_THREADS;
		return;
	}
	fStatus = B_OK;
}

CCdDigitalPlayer::~CCdDigitalPlayer()
{
	{
		std::lock_guard<std::mutex> lock(fLock);
		fQuit = true;
		fGeneration++;
	}
	fWake.notify_all();
	if (fThread >= 0) {
		status_t result;
		wait_for_thread(fThread, &result);
	}
	fOutput.reset();
}

int32 CCdDigitalPlayer::_DiscEnd()
{
	CToc* toc = fDevice->GetToc();
	toc->Lock();
	int32 end = 0;
	if (toc->TrackCount() > 0) {
		int32 last = toc->LastTrack();
		end = toc->TrackLBA(last) + toc->TrackSize(last);
	}
	toc->Unlock();
	return end;
}

bool CCdDigitalPlayer::_Start(int32 lba, int32 end)
{
	if (fStatus != B_OK || lba < 0 || lba >= end)
		return false;
	CommandGate gate(this);
	std::lock_guard<std::mutex> lock(fLock);
	fOutput->Flush();
	fGeneration++;
	fStartLba = lba;
	fNextLba = lba;
	fEndLba = end;
	fPlaying = true;
	fPaused = false;
	fWake.notify_all();
	return true;
}

bool CCdDigitalPlayer::PlayTrack(int32 track)
{
	CToc* toc = fDevice->GetToc();
	toc->Lock();
	bool onDisc = track >= toc->FirstTrack() && track <= toc->LastTrack() && toc->TrackCount() > 0;
	int32 lba = onDisc ? toc->TrackTrackLBA(track) : 0;
	toc->Unlock();
	return onDisc && _Start(lba, _DiscEnd());
}

bool CCdDigitalPlayer::PlayPosition(int32 lba)
{
	return _Start(lba, _DiscEnd());
}

void CCdDigitalPlayer::Pause()
{
	CommandGate gate(this);
	std::lock_guard<std::mutex> lock(fLock);
	if (!fPlaying || fPaused)
		return;
	int32 lba = _PositionLocked();
	fOutput->Flush();
	fGeneration++;
	fStartLba = lba;
	fNextLba = lba;
	fPaused = true;
}

void CCdDigitalPlayer::Resume()
{
	CommandGate gate(this);
	std::lock_guard<std::mutex> lock(fLock);
	if (!fPlaying || !fPaused)
		return;
	// The count starts again from the pause's frame, now.
	fOutput->Flush();
	fGeneration++;
	fNextLba = fStartLba;
	fPaused = false;
	fWake.notify_all();
}

void CCdDigitalPlayer::Stop()
{
	CommandGate gate(this);
	std::lock_guard<std::mutex> lock(fLock);
	fOutput->Flush();
	fGeneration++;
	fPlaying = false;
	fPaused = false;
}

int32 CCdDigitalPlayer::_PositionLocked() const
{
	if (!fPlaying)
		return -1;
	if (fPaused)
		return fStartLba;
	int64 lba = fStartLba + fOutput->FramesPlayed() / kFramesPerSector;
	return int32(std::min<int64>(lba, std::max(fStartLba, fEndLba - 1)));
}

int32 CCdDigitalPlayer::PositionLba() const
{
	std::lock_guard<std::mutex> lock(fLock);
	return _PositionLocked();
}

int32 CCdDigitalPlayer::CurrentTrack() const
{
	int32 lba = PositionLba();
	if (lba < 0)
		return 0;
	CToc* toc = fDevice->GetToc();
	toc->Lock();
	int32 found = 0;
	if (toc->TrackCount() > 0) {
		for (int32 track = toc->FirstTrack(); track <= toc->LastTrack(); track++) {
			if (lba >= toc->TrackLBA(track))
				found = track;
		}
	}
	toc->Unlock();
	return found;
}

int32 CCdDigitalPlayer::RelativePosition() const
{
	int32 lba = PositionLba();
	int32 track = CurrentTrack();
	if (lba < 0 || track == 0)
		return 0;
	CToc* toc = fDevice->GetToc();
	toc->Lock();
	int32 start = toc->TrackTrackLBA(track);
	toc->Unlock();
	return std::max(0, lba - start);
}

int32 CCdDigitalPlayer::AbsolutePosition() const
{
	int32 lba = PositionLba();
	return lba < 0 ? 0 : lba + kMsfOffset;
}

bool CCdDigitalPlayer::IsPaused() const
{
	std::lock_guard<std::mutex> lock(fLock);
	return fPlaying && fPaused;
}

bool CCdDigitalPlayer::IsPlaying() const
{
	std::lock_guard<std::mutex> lock(fLock);
	return fPlaying;
}

status_t CCdDigitalPlayer::_ReaderEntry(void* data)
{
	static_cast<CCdDigitalPlayer*>(data)->_Reader();
	return B_OK;
}

void CCdDigitalPlayer::_Reader()
{
	std::unique_lock<std::mutex> lock(fLock);
	while (!fQuit) {
		if (!fPlaying || fPaused || fNextLba >= fEndLba) {
			// The last frames heard: the disc has played to its end.
			if (fPlaying && !fPaused && fNextLba >= fEndLba && fOutput->FramesPending() == 0)
				fPlaying = false;
			fWake.wait_for(lock, std::chrono::microseconds(fPlaying ? kIdleWait / 10 : kIdleWait));
			continue;
		}
		int32 lba = fNextLba;
		int32 count = std::min(kSectorsPerRead, fEndLba - lba);
		uint64 generation = fGeneration;
		lock.unlock();

		CDriver* driver = fDevice->GetDriver();
		bool read = driver != nullptr && driver->ReadAudio != nullptr
			&& driver->ReadAudio(fDevice, fBuffer.data(), lba, count, nullptr);
		size_t bytes = size_t(count) * kSectorBytes;
		// An unreadable block is heard as silence, so time keeps going.
		if (!read)
			std::fill(fBuffer.begin(), fBuffer.begin() + ptrdiff_t(bytes), uint8(0));
		else if (fDevice->IsLittleEndian() != (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__)) {
			for (size_t i = 0; i + 1 < bytes; i += 2)
				std::swap(fBuffer[i], fBuffer[i + 1]);
		}

		{
			std::lock_guard<std::mutex> writing(fWriteLock);
			const int16* samples = reinterpret_cast<const int16*>(fBuffer.data());
			size_t frames = size_t(count) * kFramesPerSector;
			size_t done = 0;
			while (done < frames) {
				{
					std::lock_guard<std::mutex> check(fLock);
					if (fQuit || generation != fGeneration || fCommandsWaiting.load() > 0)
						break;
				}
				done += fOutput->Write(samples + done * kCdAudioChannels, frames - done, kWriteWait);
			}
			std::lock_guard<std::mutex> check(fLock);
			if (done == frames && generation == fGeneration)
				fNextLba = lba + count;
		}
		lock.lock();
	}
}

// --- Digital transport ------------------------------------------------------

CDigitalTransport::CDigitalTransport(CDevice* device, std::unique_ptr<CAudioOutput> output)
	:
	CAnalogueTransport(device),
	fPlayer(device, std::move(output))
{
}

void CDigitalTransport::PlayAudioTrack(int32 track) { fPlayer.PlayTrack(track); }
void CDigitalTransport::PlayAudioPosition(int32 lba) { fPlayer.PlayPosition(lba); }
void CDigitalTransport::PauseAudio() { fPlayer.Pause(); }
void CDigitalTransport::ResumeAudio() { fPlayer.Resume(); }
void CDigitalTransport::StopAudio() { fPlayer.Stop(); }

void CDigitalTransport::MediumEject()
{
	fPlayer.Stop();
	CAnalogueTransport::MediumEject();
}

int32 CDigitalTransport::CurrentTrack() const { return fPlayer.CurrentTrack(); }
int32 CDigitalTransport::RelativePosition() const { return fPlayer.RelativePosition(); }
int32 CDigitalTransport::AbsolutePosition() const { return fPlayer.AbsolutePosition(); }
bool CDigitalTransport::IsPaused() const { return fPlayer.IsPaused(); }
