#include "kit/media/AudioOutput.h"

#include "kit/support/Errors.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

// The output thread hands the sink at most this many frames at a time, so
// a flush or a stop waits for one chunk at most.
constexpr size_t kChunkFrames = 1024;
constexpr bigtime_t kIdleWait = 20000;
// How far ahead of its clock a clocked sink takes frames.
constexpr int64 kClockedLatencyFrames = kCdAudioRate / 20;

class CClockedSink : public CSoundSink {
public:
	CClockedSink(std::shared_ptr<CAudioClock> clock, std::string path)
		:
		fClock(std::move(clock)),
		fPath(std::move(path))
	{
	}

	status_t Open() override
	{
		if (!fPath.empty()) {
			fFile = fopen(fPath.c_str(), "wb");
			if (fFile == nullptr)
				return StatusFromErrno();
		}
		fBase = _NowFrame();
		fTaken = 0;
		return B_OK;
	}

	// The clock plays what was taken, one frame per frame of clock time
	// since the stream began; a sink that was starved catches up, so the
	// frames heard depend on the clock alone.
	ssize_t Write(const int16* samples, size_t frames) override
	{
		int64 room = _NowFrame() - fBase + kClockedLatencyFrames - fTaken;
		if (room <= 0) {
			fClock->WaitForChange(kIdleWait);
			return 0;
		}
		size_t take = std::min(frames, size_t(room));
		if (fFile != nullptr && (fwrite(samples, kCdAudioFrameBytes, take, fFile) != take || fflush(fFile) != 0))
			return B_IO_ERROR;
		fTaken += int64(take);
		return ssize_t(take);
	}

	int64 Delay() override { return fTaken - std::clamp<int64>(_NowFrame() - fBase, 0, fTaken); }

	void Drop() override
	{
		fBase = _NowFrame();
		fTaken = 0;
	}

	void Interrupt() override { fClock->Interrupt(); }

	void Close() override
	{
		if (fFile != nullptr)
			fclose(fFile);
		fFile = nullptr;
	}

	~CClockedSink() override { Close(); }

private:
	int64 _NowFrame() { return fClock->Now() * int64(kCdAudioRate) / 1000000; }

	std::shared_ptr<CAudioClock> fClock;
	std::string fPath;
	FILE* fFile = nullptr;
	int64 fBase = 0;
	int64 fTaken = 0;
};

class CAlsaSink : public CSoundSink {
public:
	explicit CAlsaSink(const char* device) : fDevice(device != nullptr ? device : "default") {}
	~CAlsaSink() override { Close(); }

	status_t Open() override
	{
		if (snd_pcm_open(&fPcm, fDevice.c_str(), SND_PCM_STREAM_PLAYBACK, 0) < 0) {
			fPcm = nullptr;
			return B_DEV_BAD_DRIVE_NUM;
		}
		snd_pcm_format_t format = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? SND_PCM_FORMAT_S16_LE
			: SND_PCM_FORMAT_S16_BE;
		if (snd_pcm_set_params(fPcm, format, SND_PCM_ACCESS_RW_INTERLEAVED, kCdAudioChannels, kCdAudioRate, 1,
				100000) < 0) {
			Close();
			return B_ERROR;
		}
		return B_OK;
	}

	ssize_t Write(const int16* samples, size_t frames) override
	{
		snd_pcm_sframes_t written = snd_pcm_writei(fPcm, samples, frames);
		if (written < 0) {
			// An underrun or a suspend: recover and report nothing taken.
			if (snd_pcm_recover(fPcm, int(written), 1) < 0)
				return B_IO_ERROR;
			return 0;
		}
		return ssize_t(written);
	}

	int64 Delay() override
	{
		snd_pcm_sframes_t delay = 0;
		if (fPcm == nullptr || snd_pcm_delay(fPcm, &delay) < 0 || delay < 0)
			return 0;
		return delay;
	}

	void Drop() override
	{
		if (fPcm != nullptr) {
			snd_pcm_drop(fPcm);
			snd_pcm_prepare(fPcm);
		}
	}

	void Close() override
	{
		if (fPcm != nullptr)
			snd_pcm_close(fPcm);
		fPcm = nullptr;
	}

private:
	std::string fDevice;
	snd_pcm_t* fPcm = nullptr;
};

}   // namespace

bigtime_t CSystemClock::Now()
{
	return system_time();
}

void CSystemClock::WaitForChange(bigtime_t timeout)
{
	std::unique_lock<std::mutex> lock(fLock);
	fChanged.wait_for(lock, std::chrono::microseconds(std::min<bigtime_t>(timeout, 5000)));
}

void CSystemClock::Interrupt()
{
	fChanged.notify_all();
}

bigtime_t CManualClock::Now()
{
	std::lock_guard<std::mutex> lock(fLock);
	return fNow;
}

void CManualClock::WaitForChange(bigtime_t timeout)
{
	std::unique_lock<std::mutex> lock(fLock);
	bigtime_t was = fNow;
	fChanged.wait_for(lock, std::chrono::microseconds(timeout), [&] { return fNow != was; });
}

void CManualClock::Interrupt()
{
	fChanged.notify_all();
}

void CManualClock::Advance(bigtime_t delta)
{
	{
		std::lock_guard<std::mutex> lock(fLock);
		fNow += delta;
	}
	fChanged.notify_all();
}

std::unique_ptr<CSoundSink> MakeAlsaSink(const char* device)
{
	return std::make_unique<CAlsaSink>(device);
}

std::unique_ptr<CSoundSink> MakeClockedSink(std::shared_ptr<CAudioClock> clock, const std::string& path)
{
	return std::make_unique<CClockedSink>(std::move(clock), path);
}

CAudioOutput::CAudioOutput(std::unique_ptr<CSoundSink> sink, size_t ringFrames)
	:
	fSink(std::move(sink)),
	fRing(std::max<size_t>(ringFrames, kChunkFrames) * kCdAudioChannels),
	fChunk(kChunkFrames * kCdAudioChannels),
	fRingFrames(std::max<size_t>(ringFrames, kChunkFrames))
{
}

CAudioOutput::~CAudioOutput()
{
	{
		std::lock_guard<std::mutex> lock(fLock);
		fQuit = true;
	}
	fData.notify_all();
	fRoom.notify_all();
	if (fSink != nullptr)
		fSink->Interrupt();
	if (fThread >= 0) {
		status_t result;
		wait_for_thread(fThread, &result);
	}
	if (fSink != nullptr && fStatus == B_OK)
		fSink->Close();
}

status_t CAudioOutput::Start()
{
	if (fSink == nullptr)
		return fStatus = B_BAD_VALUE;
	if (fThread >= 0)
		return fStatus;
	fStatus = fSink->Open();
	if (fStatus != B_OK)
		return fStatus;
	fThread = spawn_thread(_ThreadEntry, "sound output", B_REAL_TIME_DISPLAY_PRIORITY, this);
	if (fThread < 0 || resume_thread(fThread) != B_OK) {
		fSink->Close();
		fThread = -1;
		return fStatus = B_NO_MORE_THREADS;
	}
	return B_OK;
}

size_t CAudioOutput::Write(const int16* samples, size_t frames, bigtime_t timeout)
{
	std::unique_lock<std::mutex> lock(fLock);
	size_t copied = 0;
	auto end = std::chrono::steady_clock::now() + std::chrono::microseconds(timeout);
	while (copied < frames && !fQuit) {
		if (fFill == fRingFrames) {
			if (fRoom.wait_until(lock, end) == std::cv_status::timeout && fFill == fRingFrames)
				break;
			continue;
		}
		size_t writeAt = (fReadAt + fFill) % fRingFrames;
		size_t n = std::min({frames - copied, fRingFrames - fFill, fRingFrames - writeAt});
		memcpy(&fRing[writeAt * kCdAudioChannels], samples + copied * kCdAudioChannels,
			n * kCdAudioFrameBytes);
		fFill += n;
		fWritten += int64(n);
		copied += n;
		fData.notify_all();
	}
	return copied;
}

void CAudioOutput::Flush()
{
	std::unique_lock<std::mutex> lock(fLock);
	fGeneration++;
	fReadAt = 0;
	fFill = 0;
	fWritten = 0;
	fTaken = 0;
	fDelay = 0;
	uint64 drop = ++fDropsRequested;
	fRoom.notify_all();
	fData.notify_all();
	// The sink drops its queue now, not at some later turn of the thread:
	// the count starts from this moment. The thread answers within one chunk.
	if (fThread >= 0 && fThread != find_thread(nullptr))
		fPlayed.wait_for(lock, std::chrono::seconds(1), [&] { return fDropsDone >= drop || fQuit; });
}

int64 CAudioOutput::FramesPlayed() const
{
	std::lock_guard<std::mutex> lock(fLock);
	return std::max<int64>(0, fTaken - fDelay);
}

int64 CAudioOutput::FramesPending() const
{
	std::lock_guard<std::mutex> lock(fLock);
	return fWritten - std::max<int64>(0, fTaken - fDelay);
}

bool CAudioOutput::WaitForPlayed(int64 frames, bigtime_t timeout)
{
	std::unique_lock<std::mutex> lock(fLock);
	return fPlayed.wait_for(lock, std::chrono::microseconds(timeout),
		[&] { return std::max<int64>(0, fTaken - fDelay) >= frames; });
}

status_t CAudioOutput::_ThreadEntry(void* data)
{
	static_cast<CAudioOutput*>(data)->_Run();
	return B_OK;
}

void CAudioOutput::_Run()
{
	std::unique_lock<std::mutex> lock(fLock);
	while (!fQuit) {
		if (fDropsDone < fDropsRequested) {
			uint64 drop = fDropsRequested;
			lock.unlock();
			fSink->Drop();
			lock.lock();
			fDropsDone = drop;
			fPlayed.notify_all();
			continue;
		}
		if (fFill == 0) {
			// Idle: keep the heard count moving while the sink drains.
			uint64 generation = fGeneration;
			lock.unlock();
			int64 delay = fSink->Delay();
			lock.lock();
			if (generation == fGeneration && delay != fDelay) {
				fDelay = delay;
				fPlayed.notify_all();
			}
			fData.wait_for(lock, std::chrono::microseconds(kIdleWait));
			continue;
		}
		size_t n = std::min({fFill, kChunkFrames, fRingFrames - fReadAt});
		memcpy(fChunk.data(), &fRing[fReadAt * kCdAudioChannels], n * kCdAudioFrameBytes);
		uint64 generation = fGeneration;
		lock.unlock();
		ssize_t taken = fSink->Write(fChunk.data(), n);
		int64 delay = fSink->Delay();
		lock.lock();
		if (generation != fGeneration)
			continue;
		// A failing sink loses the chunk but keeps time moving.
		size_t done = taken < 0 ? n : size_t(taken);
		fReadAt = (fReadAt + done) % fRingFrames;
		fFill -= done;
		fTaken += int64(done);
		fDelay = delay;
		fRoom.notify_all();
		fPlayed.notify_all();
	}
}
