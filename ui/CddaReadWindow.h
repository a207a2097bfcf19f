// The "Reading audio data - <drive>" window: renders the extraction engine
// of one drive (extraction/CddaReadView.h), which reads and encodes on its
// own threads and tells the window what to show through messages; the
// window hands the engine's messages and the close button back to it.
#pragma once

#include "extraction/CddaReadView.h"
#include "kit/interface/qt/Window.h"

#include <memory>

class CDevice;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QResizeEvent;
class QString;

// GUI thread, like every window.
class CCddaReadWindow : public BWindow {
	Q_OBJECT

public:
	// A hidden window for `device` (not owned; it must outlive the window)
	// at its saved placement.
	explicit CCddaReadWindow(CDevice* device);
	~CCddaReadWindow() override;

	void MessageReceived(BMessage* message) override;
	// Saves the placement, then asks the engine (the abort question while
	// it reads).
	bool QuitRequested() override;

	CCddaReadView* View() const { return fView.get(); }
	// What the window shows now (for tests).
	const CddaReadDisplay& Shown() const { return fShown; }
	QPushButton* Button() const { return fButton; }
	// The title the track box shows now (cut to fit, "…" at its end).
	QString TrackBoxTitle() const;

protected:
	void resizeEvent(QResizeEvent* event) override;

private:
	struct SBar {
		QLabel* label;
		QLabel* text;
		QProgressBar* bar;
		QLabel* trailing;
	};
	SBar _MakeBar(QWidget* parent);
	void _Render();
	static void _RenderBar(const SBar& widgets, const CddaReadBar& bar);
	// Shows the titles of the disc and track boxes cut to the boxes' width,
	// so that a long name never widens the window; the whole name is the
	// box's tool tip.
	void _FitBoxTitles();

	std::unique_ptr<CCddaReadView> fView;
	CddaReadDisplay fShown;
	QGroupBox* fCdBox;
	QGroupBox* fTrackBox;
	QGroupBox* fStatusBox;
	SBar fCurrent;
	SBar fAll;
	SBar fThird;
	QLabel* fTimeLabel;
	QLabel* fTime;
	QLabel* fRemainingLabel;
	QLabel* fRemaining;
	QLabel* fStatusText;
	QPushButton* fButton;
};

// Brings the window of `device` to the front, or makes and shows one, and
// returns it. GUI thread.
CCddaReadWindow* ShowCddaReadWindow(CDevice* device);
