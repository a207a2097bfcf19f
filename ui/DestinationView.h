// CDestinationView: the right pane of the main window, one page per project.
#pragma once

#include "widgets/ContainerView.h"

class CDestinationView : public CContainerView {
	Q_OBJECT

public:
	// GUI thread.
	explicit CDestinationView(QWidget* parent = nullptr);
	~CDestinationView() override;
};

// The destination pane of the main window while it exists (GUI thread).
extern CDestinationView* pDestinationView;
