// The CD player of one drive, without its window: the track menu, the
// buttons' labels, the position display, and the commands that play, pause,
// skip, seek and eject. The window (ui/CdPlayerWindow) hands it the messages
// of its controls and of the device, and shows what it posts as
// CD_PLAYER_DISPLAY.
//
// Every member except the constructor's play thread runs on the window's
// thread.
#pragma once

#include "kit/app/Messenger.h"
#include "kit/kernel/OS.h"
#include "kit/support/SupportDefs.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class BMessage;
class CCdAudioTransport;

// Messages of the player's controls.
enum : uint32 {
	CD_PLAYER_PLAY_TRACK = 512,      // int32 "track": one-based
	CD_PLAYER_MENU_ITEM = 16386,     // int32 "index": menu item chosen
	CD_PLAYER_PLAY = 'back',         // play / pause / resume button
	CD_PLAYER_STOP = 'stop',
	CD_PLAYER_SKIP_BACKWARD = '||<<',
	CD_PLAYER_SKIP_FORWARD = '>>||',
	CD_PLAYER_EJECT = 'ejct',
	CD_PLAYER_SEEK_BACKWARD = '<<<<',   // int32 "btn_state": 0 pressed, 1 held, 2 released, 3 cancelled
	CD_PLAYER_SEEK_FORWARD = '>>>>',
	// Posted to the display after every change: string "box", "eject",
	// "play", "position", "field"; string "item" (one per menu item);
	// int32 "marked" (the marked item, -1 for none).
	CD_PLAYER_DISPLAY = 'CPdi',
};

// What the player window shows.
struct CdPlayerDisplay {
	std::string boxLabel = "CD";
	std::string ejectLabel = "Load";
	std::string playLabel = "Play";
	std::string positionText = "Position: 00:00";
	std::vector<std::string> menuItems;
	int32 markedItem = -1;
	// The menu field's text: the marked item's, or a notice.
	std::string fieldText = "No CD found";
};

// "%02i)    %s%s%s    (%02i:%02i)": the track menu's item for a track with
// that artist, title and own length in frames.
std::string CdPlayerMenuItemText(int32 track, const std::string& artist, const std::string& title, int32 frames);

class CCdPlayerView {
public:
	// Takes over `transport` (never null). Display messages go to `display`
	// (an invalid messenger: nowhere; Display() always has them).
	CCdPlayerView(std::unique_ptr<CCdAudioTransport> transport, const BMessenger& display);
	// Waits for a running play thread (its pauses are cut short).
	~CCdPlayerView();
	CCdPlayerView(const CCdPlayerView&) = delete;
	CCdPlayerView& operator=(const CCdPlayerView&) = delete;

	// Registers `self` (the window) with the drive for all four
	// notifications / removes it.
	void AttachedToWindow(const BMessenger& self);
	void DetachedFromWindow();

	// Every message of the table above and the device's notifications.
	// False for a message it does not know.
	bool MessageReceived(const BMessage* message);

	// A recording runs (the play thread then spins the drive up first).
	// Default: none runs. Any thread may call the probe.
	void SetRecordingProbe(std::function<bool()> probe);
	// The play thread's pause after each of its four StartUnit rounds
	// (2 s by default).
	void SetStartUnitPause(bigtime_t pause);

	const CdPlayerDisplay& Display() const { return fDisplay; }
	bool IsPlayThreadRunning() const { return fPlayThreadRunning.load(); }
	int32 SelectedTrack() const { return fSelectedTrack; }
	int32 MarkedTrack() const { return fMarkedTrack; }
	bool IsDiscPresent() const { return fDiscPresent; }
	// Waits up to `timeout` for the play thread to finish; true when none runs.
	bool WaitForPlayThread(bigtime_t timeout);

	// The seek step of each direction, shared by every player.
	static float SeekStep(bool forward);

	// The commands of the buttons.
	void Play(int32 track);
	void PlayButton();
	void Stop();
	void SkipBackward();
	void SkipForward();
	void EjectOrLoad();
	void Seek(bool forward, int32 phase);

private:
	void _BuildMenu();
	void _UpdateMenuItem(int32 track);
	void _UpdateFromDevice();
	void _UpdateDisplay();
	void _Post();
	void _JoinPlayThread();
	static status_t _PlayThreadEntry(void* data);
	void _PlayThread();

	std::unique_ptr<CCdAudioTransport> fTransport;
	BMessenger fDisplayTarget;
	BMessenger fSelf;
	bool fAttached = false;
	CdPlayerDisplay fDisplay;

	std::atomic<bool> fPlayThreadRunning{false};
	thread_id fPlayThread = -1;
	int32 fPlayThreadTrack = 0;
	sem_id fCancel;
	bigtime_t fStartUnitPause = 2000000;
	std::function<bool()> fRecordingProbe;

	int32 fMarkedTrack = -1;
	int32 fCurrentTrack = 0;
	int32 fAbsolutePosition = 0;
	int32 fRelativePosition = 0;
	int32 fSelectedTrack = 0;
	bool fDiscPresent = false;
	bool fPaused = false;
	bool fStopped = true;
};
