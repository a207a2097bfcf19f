#include "ui/ProjectPageFactory.h"

#include "ui/ProjectView.h"

QWidget* CreateProjectPage(CProject* project)
{
	return new CProjectPage(project);
}

void DeliverToProjectPage(QWidget* page, BMessage* message)
{
	if (auto* projectPage = qobject_cast<CProjectPage*>(page))
		projectPage->MessageReceived(message);
}
