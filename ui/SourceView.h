// CSourceView: the left pane of the main window, the pages of the places
// tracks come from: first the volumes page, then one page per drive of the
// device list (made once; drives are not added later), labelled with the
// drive's unique name.
#pragma once

#include "widgets/ContainerView.h"

class BMessage;
class BWindow;
class CDevice;
class CVolumesPage;

class CSourceView : public CContainerView {
	Q_OBJECT

public:
	// GUI thread (every member). The volumes page sends its drops to
	// `window` (may be null: nowhere).
	explicit CSourceView(BWindow* window = nullptr, QWidget* parent = nullptr);
	~CSourceView() override;

	// Messages with the codes 65..73 (the drive tools) are for the window of
	// the active page: true when taken. Drive pages take them once they can
	// run the tools; until then they are dropped.
	bool HandleMessage(BMessage* message);

	CVolumesPage* VolumesPage() const { return fVolumes; }
	// The drive of a drive page, or null for another page.
	static CDevice* DeviceOfPage(QWidget* page);

private:
	CVolumesPage* fVolumes;
};

// The source pane of the main window while it exists (GUI thread).
extern CSourceView* pSourceView;
