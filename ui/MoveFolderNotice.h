// The window that stays up while the project folder moves to another volume.
#pragma once

#include "projects/MoveFolderContent.h"

#include <QPointer>

class QMessageBox;

// Shows the notice as a non-blocking message box on the GUI thread, its one
// button disabled, 15 pixels below an alert's usual place. Show and Close
// are called on the moving thread.
class CQtMoveFolderNotice : public CMoveFolderNotice {
public:
	void Show(const AlertRequest& request) override;
	void Close() override;

private:
	QPointer<QMessageBox> fBox;
};

// Installs the window notice for the life of the program.
void InstallMoveFolderNotice();
