#include "widgets/ContainerView.h"

#include <QLabel>
#include <QTabWidget>
#include <QVBoxLayout>

CContainerView::CContainerView(const char* name, const char* label, QWidget* parent)
	:
	QFrame(parent),
	fLabel(new QLabel(QString::fromUtf8(label != nullptr ? label : ""), this)),
	fPages(new QTabWidget(this))
{
	setObjectName(QString::fromUtf8(name != nullptr ? name : ""));
	setFrameShape(QFrame::StyledPanel);
	QFont font = fLabel->font();
	font.setBold(true);
	fLabel->setFont(font);
	fPages->setDocumentMode(true);

	auto* layout = new QVBoxLayout(this);
	layout->setContentsMargins(4, 4, 4, 4);
	layout->setSpacing(4);
	layout->addWidget(fLabel);
	layout->addWidget(fPages, 1);
}

QString CContainerView::Label() const
{
	return fLabel->text();
}

int CContainerView::AddPage(QWidget* page, const char* label)
{
	return fPages->addTab(page, QString::fromUtf8(label != nullptr ? label : ""));
}

bool CContainerView::RemovePage(QWidget* page)
{
	int index = fPages->indexOf(page);
	if (index < 0)
		return false;
	fPages->removeTab(index);
	page->setParent(nullptr);
	return true;
}

void CContainerView::SetPageLabel(QWidget* page, const char* label)
{
	int index = fPages->indexOf(page);
	if (index >= 0)
		fPages->setTabText(index, QString::fromUtf8(label != nullptr ? label : ""));
}

int CContainerView::CountPages() const
{
	return fPages->count();
}

QWidget* CContainerView::PageAt(int index) const
{
	return fPages->widget(index);
}

QWidget* CContainerView::ActivePage() const
{
	return fPages->currentWidget();
}

void CContainerView::SetActivePage(QWidget* page)
{
	fPages->setCurrentWidget(page);
}
