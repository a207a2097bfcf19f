// The CD player window of one drive, titled "CD Player - " and the drive's
// name: a thin Qt shell around CCdPlayerView. It hands the view the
// messages of its controls and of the drive, and renders the display record
// the view posts.
#pragma once

#include "kit/interface/qt/Window.h"
#include "players/CdPlayerView.h"

#include <memory>

class CCdAudioTransport;
class CDevice;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;

// Opens the player of `device` (or brings it to the front) and returns its
// messenger (invalid when it could not be opened). Any thread.
BMessenger ShowCdPlayerWindow(CDevice* device);

// GUI thread, like every window.
class CCdPlayerWindow : public BWindow {
	Q_OBJECT

public:
	// Plays through `transport` (null: the drive's own mode). The placement
	// is loaded and saved under the title.
	CCdPlayerWindow(BRect frame, CDevice* device, std::unique_ptr<CCdAudioTransport> transport = nullptr);
	~CCdPlayerWindow() override;

	void MessageReceived(BMessage* message) override;
	bool QuitRequested() override;

	CCdPlayerView* View() const { return fView.get(); }
	QPushButton* Button(const char* name) const;
	QPushButton* TrackField() const { return fTrackField; }
	QLabel* PositionLabel() const { return fPosition; }

private:
	QPushButton* _Button(const char* name, const char* label, uint32 command);
	QPushButton* _SeekButton(const char* name, const char* label, uint32 command);
	void _Render(const BMessage* display);

	std::unique_ptr<CCdPlayerView> fView;
	QGroupBox* fBox = nullptr;
	QPushButton* fTrackField = nullptr;
	QMenu* fTrackMenu = nullptr;
	QLabel* fPosition = nullptr;
};
