// CCdAudioTransport: what the CD player needs of a drive. The drive's audio
// commands (their results are not looked at), the disc's table of contents,
// the position the drive reports, and the listener registration of the
// device. One implementation plays through the drive's own analogue output
// (CAnalogueTransport), another reads the audio digitally and plays it
// through the sound card (CDigitalTransport); the player cannot tell them
// apart.
//
// Commands and position getters may be called from any thread; Attach and
// Detach from any thread but the device's update thread.
#pragma once

#include "kit/app/Messenger.h"
#include "kit/support/SupportDefs.h"

class CToc;

class CCdAudioTransport {
public:
	virtual ~CCdAudioTransport() = default;

	// The disc's table of contents; callers take its lock. Never null.
	virtual CToc* Toc() = 0;

	// Plays from the start of `track` / from `lba` to the end of the disc.
	virtual void PlayAudioTrack(int32 track) = 0;
	virtual void PlayAudioPosition(int32 lba) = 0;
	virtual void PauseAudio() = 0;
	virtual void ResumeAudio() = 0;
	virtual void StopAudio() = 0;
	virtual void StartUnit() = 0;
	virtual void MediumAllowRemoval() = 0;
	virtual void MediumEject() = 0;
	virtual void MediumLoad() = 0;

	// Brackets in which the position is not polled.
	virtual void DisableUpdates() = 0;
	virtual void EnableUpdates() = 0;

	// The track being played or paused (0 when none), the position inside
	// it and on the disc in frames (an LBA + 150), and the pause state.
	virtual int32 CurrentTrack() const = 0;
	virtual int32 RelativePosition() const = 0;
	virtual int32 AbsolutePosition() const = 0;
	virtual bool IsPaused() const = 0;

	// Registers `listener` for the device's four notifications (disc
	// inserted, removed, every poll, names changed) / removes it.
	virtual void Attach(const BMessenger& listener) = 0;
	virtual void Detach(const BMessenger& listener) = 0;
};
