// Sound output for CD audio: 16-bit signed stereo frames at 44.1 kHz in host
// order, written into a ring buffer by a producer and played by an output
// thread ("sound output") through a sink: the sound card through ALSA (which
// reaches PipeWire and PulseAudio through their plugins), a file, or
// nothing. A file or null sink consumes frames at the pace of a clock, so
// tests can drive playback with a clock of their own.
#pragma once

#include "kit/kernel/OS.h"
#include "kit/support/SupportDefs.h"

#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

constexpr uint32 kCdAudioRate = 44100;
constexpr uint32 kCdAudioChannels = 2;
constexpr size_t kCdAudioFrameBytes = 4;

// A time source in microseconds. Any thread.
class CAudioClock {
public:
	virtual ~CAudioClock() = default;
	virtual bigtime_t Now() = 0;
	// Waits until Now() may have changed or `timeout` passed.
	virtual void WaitForChange(bigtime_t timeout) = 0;
	// Wakes every waiter (the output uses it when it stops).
	virtual void Interrupt() {}
};

// system_time().
class CSystemClock : public CAudioClock {
public:
	bigtime_t Now() override;
	void WaitForChange(bigtime_t timeout) override;
	void Interrupt() override;

private:
	std::mutex fLock;
	std::condition_variable fChanged;
};

// A clock that moves only when told to: for tests.
class CManualClock : public CAudioClock {
public:
	bigtime_t Now() override;
	void WaitForChange(bigtime_t timeout) override;
	void Interrupt() override;
	void Advance(bigtime_t delta);

private:
	std::mutex fLock;
	std::condition_variable fChanged;
	bigtime_t fNow = 0;
};

// Where the frames go. Used by the output thread only, after Open.
class CSoundSink {
public:
	virtual ~CSoundSink() = default;
	virtual status_t Open() = 0;
	// Plays up to `frames` frames of `samples`; returns how many it took
	// (0 when it could take none within a short wait), or a negative error.
	virtual ssize_t Write(const int16* samples, size_t frames) = 0;
	// Frames taken but not heard yet.
	virtual int64 Delay() { return 0; }
	// Drops what is queued and not heard yet.
	virtual void Drop() {}
	// Cuts a running Write short (any thread).
	virtual void Interrupt() {}
	virtual void Close() = 0;
};

// The ALSA PCM `device` ("default" unless told).
std::unique_ptr<CSoundSink> MakeAlsaSink(const char* device = "default");
// A sink paced by `clock` (44100 frames per second of it) that appends the
// frames to `path` (raw, host order), or drops them when `path` is empty.
std::unique_ptr<CSoundSink> MakeClockedSink(std::shared_ptr<CAudioClock> clock, const std::string& path);

class CAudioOutput {
public:
	// A ring of `ringFrames` frames, allocated here once.
	explicit CAudioOutput(std::unique_ptr<CSoundSink> sink, size_t ringFrames = 44100 / 2);
	// Stops the output thread and closes the sink.
	~CAudioOutput();
	CAudioOutput(const CAudioOutput&) = delete;
	CAudioOutput& operator=(const CAudioOutput&) = delete;

	// Opens the sink and starts the output thread. B_OK or the sink's error.
	status_t Start();
	status_t InitCheck() const { return fStatus; }

	// Producer: copies up to `frames` frames into the ring, waiting at most
	// `timeout` for room. Returns how many it copied.
	size_t Write(const int16* samples, size_t frames, bigtime_t timeout);
	// Drops every frame in the ring and in the sink, and counts from 0
	// again; returns once the sink has dropped its queue (one chunk at most).
	void Flush();
	// Frames heard since the last Flush.
	int64 FramesPlayed() const;
	// Frames written since the last Flush that are not heard yet.
	int64 FramesPending() const;
	// Waits up to `timeout` until FramesPlayed() >= frames; true when it is.
	bool WaitForPlayed(int64 frames, bigtime_t timeout);

private:
	static status_t _ThreadEntry(void* data);
	void _Run();

	std::unique_ptr<CSoundSink> fSink;
	status_t fStatus = B_NO_INIT;
	std::vector<int16> fRing;
	std::vector<int16> fChunk;
	size_t fRingFrames;
	size_t fReadAt = 0;
	size_t fFill = 0;
	int64 fWritten = 0;
	int64 fTaken = 0;      // frames handed to the sink since the last Flush
	uint64 fGeneration = 0;
	bool fQuit = false;
	mutable std::mutex fLock;
	std::condition_variable fRoom;
	std::condition_variable fData;
	std::condition_variable fPlayed;
	int64 fDelay = 0;
	uint64 fDropsRequested = 0;
	uint64 fDropsDone = 0;
	thread_id fThread = -1;
};
