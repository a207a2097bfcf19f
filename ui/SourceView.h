// CSourceView: the left pane of the main window, the pages of the places
// tracks come from (volumes, drives).
#pragma once

#include "widgets/ContainerView.h"

class CSourceView : public CContainerView {
	Q_OBJECT

public:
	// GUI thread.
	explicit CSourceView(QWidget* parent = nullptr);
	~CSourceView() override;
};

// The source pane of the main window while it exists (GUI thread).
extern CSourceView* pSourceView;
