#include "ui/DestinationView.h"

CDestinationView* pDestinationView = nullptr;

CDestinationView::CDestinationView(QWidget* parent)
	:
	CContainerView("destination-container-view", "Destination", parent)
{
	pDestinationView = this;
}

CDestinationView::~CDestinationView()
{
	if (pDestinationView == this)
		pDestinationView = nullptr;
}
