#include "players/CdPlayerView.h"

#include "devices/Device.h"
#include "disc/Toc.h"
#include "frame/Diagnostics.h"
#include "kit/support/Message.h"
#include "players/CdAudioTransport.h"

#include <cstdio>

namespace {

constexpr int32 kFramesPerSecond = 75;
// Less than this much of a track played: skip backward goes to the track before.
constexpr int32 kRestartFrames = 225;
constexpr float kSeekStartStep = 10.0f;
constexpr float kSeekMaxStep = 200.0f;
constexpr float kSeekGrowth = 1.05f;
constexpr int32 kStartUnitRounds = 4;

// Shared by every player; touched on window threads only.
float sSeekStep[2] = {kSeekStartStep, kSeekStartStep};

class CTocLocker {
public:
	explicit CTocLocker(CToc* toc) : fToc(toc) { fToc->Lock(); }
	~CTocLocker() { fToc->Unlock(); }
	CTocLocker(const CTocLocker&) = delete;
	CTocLocker& operator=(const CTocLocker&) = delete;

private:
	CToc* fToc;
};

std::string MinutesSeconds(const char* format, int32 frames)
{
	int32 seconds = frames / kFramesPerSecond;
	char text[64];
	snprintf(text, sizeof(text), format, int(seconds / 60), int(seconds % 60));
	return text;
}

}   // namespace

std::string CdPlayerMenuItemText(int32 track, const std::string& artist, const std::string& title, int32 frames)
{
	int32 seconds = frames / kFramesPerSecond;
	const char* separator = !artist.empty() && !title.empty() ? ": " : "";
	int length = snprintf(nullptr, 0, "%02i)    %s%s%s    (%02i:%02i)", int(track), artist.c_str(), separator,
		title.c_str(), int(seconds / 60), int(seconds % 60));
	std::string text(size_t(length) + 1, '\0');
	snprintf(text.data(), text.size(), "%02i)    %s%s%s    (%02i:%02i)", int(track), artist.c_str(), separator,
		title.c_str(), int(seconds / 60), int(seconds % 60));
	text.resize(size_t(length));
	return text;
}

CCdPlayerView::CCdPlayerView(std::unique_ptr<CCdAudioTransport> transport, const BMessenger& display)
	:
	fTransport(std::move(transport)),
	fDisplayTarget(display),
	fCancel(create_sem(0, "CCdPlayerView cancel"))
{
	if (fTransport == nullptr)
		DebugAssert(__FILE__, __LINE__, "pDevice != 0");
}

CCdPlayerView::~CCdPlayerView()
{
	DetachedFromWindow();
	release_sem(fCancel);
	_JoinPlayThread();
	delete_sem(fCancel);
}

void CCdPlayerView::AttachedToWindow(const BMessenger& self)
{
	if (fAttached)
		return;
	fSelf = self;
	fAttached = true;
	fTransport->Attach(fSelf);
	_UpdateDisplay();
}

void CCdPlayerView::DetachedFromWindow()
{
	if (!fAttached)
		return;
	fTransport->Detach(fSelf);
	fAttached = false;
}

void CCdPlayerView::SetRecordingProbe(std::function<bool()> probe)
{
	fRecordingProbe = std::move(probe);
}

void CCdPlayerView::SetStartUnitPause(bigtime_t pause)
{
	fStartUnitPause = pause;
}

float CCdPlayerView::SeekStep(bool forward)
{
	return sSeekStep[forward ? 1 : 0];
}

bool CCdPlayerView::WaitForPlayThread(bigtime_t timeout)
{
	bigtime_t end = system_time() + timeout;
	while (fPlayThreadRunning.load()) {
		if (system_time() >= end)
			return false;
		// The thread clears its flag as its last step; joining it is bounded
		// by that.
		snooze(1000);
	}
	_JoinPlayThread();
	return true;
}

bool CCdPlayerView::MessageReceived(const BMessage* message)
{
	switch (message->what) {
		case M_NOTIFY_CD_INSERTED:
			_BuildMenu();
			fDiscPresent = true;
			fSelectedTrack = 0;
			fMarkedTrack = -2;
			_UpdateDisplay();
			return true;
		case M_NOTIFY_CD_REMOVED:
			fDisplay.menuItems.clear();
			fDisplay.markedItem = -1;
			fSelectedTrack = 0;
			fDiscPresent = false;
			fMarkedTrack = -2;
			// Nothing plays without a disc, whatever the last poll said.
			fCurrentTrack = 0;
			fRelativePosition = 0;
			fAbsolutePosition = 0;
			fPaused = false;
			fStopped = true;
			_UpdateDisplay();
			return true;
		case M_NOTIFY_CD_UPDATE:
			_UpdateFromDevice();
			_UpdateDisplay();
			return true;
		case M_NOTIFY_TOC_UPDATE: {
			int32 track = 0;
			message->FindInt32("track", &track);
			if (track == 0) {
				CToc* toc = fTransport->Toc();
				CTocLocker lock(toc);
				fDisplay.boxLabel = toc->Title()[0] != '\0' ? toc->Title() : "CD";
			} else {
				_UpdateMenuItem(track);
			}
			_Post();
			return true;
		}
		case CD_PLAYER_PLAY_TRACK: {
			int32 track = 0;
			if (message->FindInt32("track", &track) == B_OK)
				Play(track);
			return true;
		}
		case CD_PLAYER_MENU_ITEM: {
			int32 index = 0;
			if (message->FindInt32("index", &index) == B_OK)
				Play(index + 1);
			return true;
		}
		case CD_PLAYER_PLAY:
			PlayButton();
			return true;
		case CD_PLAYER_STOP:
			Stop();
			return true;
		case CD_PLAYER_SKIP_BACKWARD:
			SkipBackward();
			return true;
		case CD_PLAYER_SKIP_FORWARD:
			SkipForward();
			return true;
		case CD_PLAYER_EJECT:
			EjectOrLoad();
			return true;
		case CD_PLAYER_SEEK_BACKWARD:
		case CD_PLAYER_SEEK_FORWARD: {
			int32 phase = 0;
			if (message->FindInt32("btn_state", &phase) == B_OK)
				Seek(message->what == CD_PLAYER_SEEK_FORWARD, phase);
			return true;
		}
		default:
			return false;
	}
}

void CCdPlayerView::_BuildMenu()
{
	fDisplay.menuItems.clear();
	fDisplay.markedItem = -1;
	CToc* toc = fTransport->Toc();
	CTocLocker lock(toc);
	int32 count = toc->TrackCount();
	for (int32 track = 1; track <= count; track++) {
		fDisplay.menuItems.push_back(CdPlayerMenuItemText(track, toc->TrackArtist(track), toc->TrackTitle(track),
			toc->TrackTrackSize(track)));
	}
	fDisplay.boxLabel = toc->Title()[0] != '\0' ? toc->Title() : "CD";
}

void CCdPlayerView::_UpdateMenuItem(int32 track)
{
	if (track < 1 || track > int32(fDisplay.menuItems.size()))
		return;
	CToc* toc = fTransport->Toc();
	CTocLocker lock(toc);
	std::string& item = fDisplay.menuItems[size_t(track - 1)];
	item = CdPlayerMenuItemText(track, toc->TrackArtist(track), toc->TrackTitle(track), toc->TrackTrackSize(track));
	if (fDisplay.markedItem == track - 1)
		fDisplay.fieldText = item;
}

void CCdPlayerView::_UpdateFromDevice()
{
	fCurrentTrack = fTransport->CurrentTrack();
	fRelativePosition = fTransport->RelativePosition();
	fAbsolutePosition = fTransport->AbsolutePosition();
	fPaused = fTransport->IsPaused();
	fStopped = fCurrentTrack < 1;
}

void CCdPlayerView::_UpdateDisplay()
{
	fDisplay.ejectLabel = fDiscPresent ? "Eject" : "Load";
	fDisplay.playLabel = fPaused ? "Resume" : fStopped ? "Play" : "Pause";

	if (!fPaused && !fStopped)
		fSelectedTrack = fCurrentTrack;
	int32 relative = fSelectedTrack != fCurrentTrack ? 0 : fRelativePosition;
	fDisplay.positionText = MinutesSeconds("Position: %02i:%02i", relative);

	if (fSelectedTrack != fMarkedTrack) {
		if (fSelectedTrack > 0) {
			int32 index = fSelectedTrack - 1;
			bool exists = index < int32(fDisplay.menuItems.size());
			if (!exists)
				DebugAssert(__FILE__, __LINE__, "item != 0");
			else {
				fDisplay.markedItem = index;
				fDisplay.fieldText = fDisplay.menuItems[size_t(index)];
			}
			fMarkedTrack = fSelectedTrack;
		} else {
			fDisplay.markedItem = -1;
			if (fPlayThreadRunning.load()) {
				fMarkedTrack = -1;
			} else {
				fDisplay.fieldText = fDisplay.menuItems.empty() ? "No CD found" : "Select a track";
				fMarkedTrack = fSelectedTrack;
			}
		}
	}
	_Post();
}

void CCdPlayerView::_Post()
{
	if (!fDisplayTarget.IsValid())
		return;
	BMessage message(CD_PLAYER_DISPLAY);
	message.AddString("box", fDisplay.boxLabel);
	message.AddString("eject", fDisplay.ejectLabel);
	message.AddString("play", fDisplay.playLabel);
	message.AddString("position", fDisplay.positionText);
	message.AddString("field", fDisplay.fieldText);
	for (const std::string& item : fDisplay.menuItems)
		message.AddString("item", item);
	message.AddInt32("marked", fDisplay.markedItem);
	fDisplayTarget.SendMessage(&message);
}

void CCdPlayerView::Play(int32 track)
{
	if (!fDiscPresent || fPlayThreadRunning.load())
		return;
	{
		CToc* toc = fTransport->Toc();
		CTocLocker lock(toc);
		if (track < 1 || track > toc->TrackCount())
			return;
	}
	if (fTransport->CurrentTrack() > 0) {
		fTransport->PlayAudioTrack(track);
		_UpdateDisplay();
		return;
	}

	_JoinPlayThread();
	fDisplay.fieldText = "Initializing - please wait";
	fDisplay.markedItem = -1;
	fMarkedTrack = -1;
	fPlayThreadTrack = track;
	fPlayThreadRunning = true;
	fPlayThread = spawn_thread(_PlayThreadEntry, "CCdPlayerView::_PlayThread", 10, this);
	if (fPlayThread < 0 || resume_thread(fPlayThread) != B_OK) {
		fPlayThread = -1;
		fPlayThreadRunning = false;
	}
	_Post();
}

status_t CCdPlayerView::_PlayThreadEntry(void* data)
{
	static_cast<CCdPlayerView*>(data)->_PlayThread();
	return B_OK;
}

void CCdPlayerView::_PlayThread()
{
	if (fRecordingProbe && fRecordingProbe()) {
		for (int32 round = 0; round < kStartUnitRounds; round++) {
			fTransport->StartUnit();
			// The pause ends early when the view goes away.
			if (acquire_sem_etc(fCancel, 1, B_RELATIVE_TIMEOUT, fStartUnitPause) == B_OK) {
				release_sem(fCancel);
				break;
			}
		}
	}
	fTransport->PlayAudioTrack(fPlayThreadTrack);
	fPlayThreadRunning = false;
}

void CCdPlayerView::_JoinPlayThread()
{
	if (fPlayThread >= 0) {
		status_t result;
		wait_for_thread(fPlayThread, &result);
		fPlayThread = -1;
	}
}

void CCdPlayerView::PlayButton()
{
	if (fPaused) {
		if (fSelectedTrack > 0 && (fSelectedTrack != fCurrentTrack || fRelativePosition == 0))
			Play(fSelectedTrack);
		fTransport->ResumeAudio();
	} else if (fStopped) {
		Play(fSelectedTrack > 0 ? fSelectedTrack : 1);
	} else {
		fTransport->PauseAudio();
	}
}

void CCdPlayerView::Stop()
{
	fTransport->StopAudio();
	fSelectedTrack = 0;
	_UpdateDisplay();
}

void CCdPlayerView::SkipBackward()
{
	if (!fDiscPresent || fSelectedTrack <= 0)
		return;
	if (fSelectedTrack >= 2 && fRelativePosition < kRestartFrames)
		fSelectedTrack--;
	if (!fPaused)
		Play(fSelectedTrack);
	else
		_UpdateDisplay();
}

void CCdPlayerView::SkipForward()
{
	if (!fDiscPresent)
		return;
	bool next = false;
	{
		CToc* toc = fTransport->Toc();
		CTocLocker lock(toc);
		next = fSelectedTrack + 1 <= toc->TrackCount();
	}
	if (!next)
		return;
	fSelectedTrack++;
	if (!fPaused)
		Play(fSelectedTrack);
	else
		_UpdateDisplay();
}

void CCdPlayerView::EjectOrLoad()
{
	if (fDiscPresent) {
		fTransport->MediumAllowRemoval();
		fTransport->MediumEject();
		fSelectedTrack = 0;
		_UpdateDisplay();
	} else {
		fTransport->MediumLoad();
	}
}

void CCdPlayerView::Seek(bool forward, int32 phase)
{
	if (!fDiscPresent || fStopped)
		return;
	float& step = sSeekStep[forward ? 1 : 0];
	switch (phase) {
		case 0:
			fTransport->DisableUpdates();
			fTransport->PauseAudio();
			step = kSeekStartStep;
			break;
		case 1: {
			if (step < kSeekMaxStep)
				step = step * kSeekGrowth;
			int32 move = int32(step);
			if (forward) {
				int32 length = 0;
				{
					CToc* toc = fTransport->Toc();
					CTocLocker lock(toc);
					length = toc->TrackTrackSize(fCurrentTrack);
				}
				if (fRelativePosition + move > length) {
					fAbsolutePosition += length - fRelativePosition;
					fRelativePosition = length;
				} else {
					fRelativePosition += move;
					fAbsolutePosition += move;
				}
			} else {
				if (fRelativePosition - move < 0) {
					fAbsolutePosition -= fRelativePosition;
					fRelativePosition = 0;
				} else {
					fRelativePosition -= move;
					fAbsolutePosition -= move;
				}
			}
			_UpdateDisplay();
			break;
		}
		case 2:
			fTransport->EnableUpdates();
			fTransport->PlayAudioPosition(fAbsolutePosition - 150);
			fTransport->ResumeAudio();
			break;
		case 3:
			fTransport->EnableUpdates();
			fTransport->ResumeAudio();
			break;
		default:
			break;
	}
}
