// The project page until the project pane proper takes its place: the
// project's name, its track count and folder, refreshed by the roster's
// notifications. Drops reach the pane around it.
#include "ui/ProjectPageFactory.h"

#include "kit/support/Message.h"
#include "projects/Project.h"

#include <QLabel>
#include <QVBoxLayout>
#include <QVariant>

namespace {

void Refresh(QWidget* page)
{
	auto* project = static_cast<CProject*>(page->property("project").value<void*>());
	auto* label = page->findChild<QLabel*>("project-summary");
	if (project == nullptr || label == nullptr)
		return;
	int32 tracks = project->CountTracks();
	label->setText(QString::fromUtf8(project->Name()) + "\n\n"
		+ (tracks == 1 ? QString("1 track") : QString("%1 tracks").arg(tracks)) + "\n"
		+ QString::fromUtf8(project->ProjectFolder()));
}

}   // namespace

QWidget* CreateProjectPage(CProject* project)
{
	auto* page = new QWidget;
	page->setObjectName("project-view");
	page->setProperty("project", QVariant::fromValue(static_cast<void*>(project)));
	auto* layout = new QVBoxLayout(page);
	auto* label = new QLabel(page);
	label->setObjectName("project-summary");
	label->setAlignment(Qt::AlignTop | Qt::AlignLeft);
	label->setWordWrap(true);
	layout->addWidget(label);
	Refresh(page);
	return page;
}

void DeliverToProjectPage(QWidget* page, BMessage* message)
{
	if (page != nullptr && message != nullptr)
		Refresh(page);
}
