#include "widgets/SplitterView.h"

#include <QResizeEvent>

#include <algorithm>
#include <cmath>

CSplitterView::CSplitterView(const char* name, QWidget* parent)
	:
	QSplitter(Qt::Horizontal, parent)
{
	setObjectName(QString::fromUtf8(name != nullptr ? name : ""));
	setChildrenCollapsible(true);
	connect(this, &QSplitter::splitterMoved, this, [this](int, int) { Moved(); });
}

void CSplitterView::SetPanes(QWidget* first, QWidget* second)
{
	addWidget(first);
	addWidget(second);
	setStretchFactor(0, 1);
	setStretchFactor(1, 1);
	Apply();
}

void CSplitterView::SetPercentage(float percentage)
{
	if (std::isnan(percentage))
		percentage = 50;
	fPercentage = std::clamp(percentage, 0.0f, 100.0f);
	Apply();
}

void CSplitterView::resizeEvent(QResizeEvent* event)
{
	QSplitter::resizeEvent(event);
	// The panes keep their share when the window changes size.
	Apply();
}

void CSplitterView::Apply()
{
	if (count() < 2)
		return;
	int total = std::max(width() - handleWidth(), 100);
	int first = int(std::lround(total * fPercentage / 100.0f));
	setSizes({first, total - first});
}

void CSplitterView::Moved()
{
	QList<int> panes = sizes();
	if (panes.size() < 2)
		return;
	int total = panes[0] + panes[1];
	if (total > 0)
		fPercentage = 100.0f * float(panes[0]) / float(total);
}
