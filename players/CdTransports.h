// The drive-backed transports of the CD player: the drive's analogue output
// (its own audio commands and the position its update thread polls), or
// digital playback (the audio read with ReadAudio and played through the
// sound card, with the position counted from the frames heard), and the
// per-drive choice between them.
#pragma once

#include "kit/kernel/OS.h"
#include "players/CdAudioTransport.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CAudioOutput;
class CDevice;

enum class CdPlaybackMode { kAnalogue, kDigital };

// Digital for a virtual drive and for a drive whose capabilities page does
// not report audio play; analogue otherwise.
CdPlaybackMode DefaultCdPlaybackMode(CDevice* device);
// The mode set with SetCdPlaybackMode, else the default.
CdPlaybackMode GetCdPlaybackMode(CDevice* device);
// Chooses the mode of the drive for the rest of the run. Any thread.
void SetCdPlaybackMode(CDevice* device, CdPlaybackMode mode);
// The drive sits on the virtual bus.
bool IsVirtualCdDevice(CDevice* device);
// The drive's capabilities page says it can play audio to its own output.
// False when the page cannot be read.
bool DriveReportsAnaloguePlay(CDevice* device);
// The audio play bit of MODE SENSE(10) data of the capabilities page (2Ah),
// `size` bytes at `data`; false for data that does not hold the page.
bool CapabilitiesReportAudioPlay(const uint8* data, size_t size);

// The transport of the drive's mode: digital through ALSA's default device,
// or, when that cannot be opened, into a silent sink that keeps real time.
std::unique_ptr<CCdAudioTransport> MakeCdAudioTransport(CDevice* device);

// Plays through the drive's own output; every command goes through the
// driver record with no status record.
class CAnalogueTransport : public CCdAudioTransport {
public:
	explicit CAnalogueTransport(CDevice* device);

	CToc* Toc() override;
	void PlayAudioTrack(int32 track) override;
	void PlayAudioPosition(int32 lba) override;
	void PauseAudio() override;
	void ResumeAudio() override;
	void StopAudio() override;
	void StartUnit() override;
	void MediumAllowRemoval() override;
	void MediumEject() override;
	void MediumLoad() override;
	void DisableUpdates() override;
	void EnableUpdates() override;
	int32 CurrentTrack() const override;
	int32 RelativePosition() const override;
	int32 AbsolutePosition() const override;
	bool IsPaused() const override;
	void Attach(const BMessenger& listener) override;
	void Detach(const BMessenger& listener) override;

protected:
	CDevice* fDevice;
};

// Reads the disc with the driver's ReadAudio in blocks, on its own thread
// ("cd digital playback"), into an audio output, and reports the position of
// the frames heard. Stopping, pausing and seeking drop what is queued, so the
// position is exact; resuming goes on from the frame where the pause was.
// Every member may be called from any thread.
class CCdDigitalPlayer {
public:
	// `device` is not owned and must outlive the player; `output` is started
	// here (InitCheck tells whether it runs).
	CCdDigitalPlayer(CDevice* device, std::unique_ptr<CAudioOutput> output);
	~CCdDigitalPlayer();
	CCdDigitalPlayer(const CCdDigitalPlayer&) = delete;
	CCdDigitalPlayer& operator=(const CCdDigitalPlayer&) = delete;

	status_t InitCheck() const { return fStatus; }

	// From the start of `track` (after its pause) / from `lba` to the end
	// of the disc's last track. False for a track or LBA not on the disc.
	bool PlayTrack(int32 track);
	bool PlayPosition(int32 lba);
	void Pause();
	void Resume();
	void Stop();

	// The LBA being heard; -1 when stopped.
	int32 PositionLba() const;
	int32 CurrentTrack() const;
	int32 RelativePosition() const;
	int32 AbsolutePosition() const;
	bool IsPaused() const;
	bool IsPlaying() const;

	CAudioOutput* Output() const { return fOutput.get(); }

private:
	static status_t _ReaderEntry(void* data);
	void _Reader();
	bool _Start(int32 lba, int32 end);
	int32 _PositionLocked() const;
	// Ends of the disc's audio: the lead-out of the last track.
	int32 _DiscEnd();

	CDevice* fDevice;
	std::unique_ptr<CAudioOutput> fOutput;
	status_t fStatus = B_NO_INIT;
	std::vector<uint8> fBuffer;

	mutable std::mutex fLock;
	// Held while frames of the current stream go into the output, so that a
	// command never sees stale frames after its flush.
	std::mutex fWriteLock;
	// Commands waiting for fWriteLock: the reader lets go of it for them.
	std::atomic<int32> fCommandsWaiting{0};
	class CommandGate {
	public:
		explicit CommandGate(CCdDigitalPlayer* player) : fPlayer(player)
		{
			fPlayer->fCommandsWaiting++;
			fPlayer->fWriteLock.lock();
		}
		~CommandGate()
		{
			fPlayer->fWriteLock.unlock();
			fPlayer->fCommandsWaiting--;
		}

	private:
		CCdDigitalPlayer* fPlayer;
	};
	std::condition_variable fWake;
	bool fQuit = false;
	bool fPlaying = false;
	bool fPaused = false;
	int32 fStartLba = 0;   // the LBA heard when the output's count was 0
	int32 fNextLba = 0;    // the next LBA to read
	int32 fEndLba = 0;
	uint64 fGeneration = 0;
	thread_id fThread = -1;
};

// The drive's names, medium and listeners, with digital playback.
class CDigitalTransport : public CAnalogueTransport {
public:
	CDigitalTransport(CDevice* device, std::unique_ptr<CAudioOutput> output);

	void PlayAudioTrack(int32 track) override;
	void PlayAudioPosition(int32 lba) override;
	void PauseAudio() override;
	void ResumeAudio() override;
	void StopAudio() override;
	void MediumEject() override;
	int32 CurrentTrack() const override;
	int32 RelativePosition() const override;
	int32 AbsolutePosition() const override;
	bool IsPaused() const override;

	CCdDigitalPlayer* Player() { return &fPlayer; }

private:
	CCdDigitalPlayer fPlayer;
};
