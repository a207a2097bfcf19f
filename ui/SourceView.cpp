#include "ui/SourceView.h"

CSourceView* pSourceView = nullptr;

CSourceView::CSourceView(QWidget* parent)
	:
	CContainerView("source-container-view", "Source", parent)
{
	pSourceView = this;
}

CSourceView::~CSourceView()
{
	if (pSourceView == this)
		pSourceView = nullptr;
}
