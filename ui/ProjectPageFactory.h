// The destination pane's pages are made here, so the page widget can change
// without touching the pane. The pane owns each page it gets.
#pragma once

class BMessage;
class CProject;
class QWidget;

// GUI thread. A new page widget showing `project` (the pane holds the
// roster's reference to it for as long as the page lives).
QWidget* CreateProjectPage(CProject* project);

// GUI thread. Hands `message` to the page made by CreateProjectPage: the
// roster's notifications for its project ('PrCh', 'PrTA', 'PrTR', 'PrTC',
// 'PrTm') and drops ('DATA', with "refs"). The caller keeps the message.
void DeliverToProjectPage(QWidget* page, BMessage* message);
