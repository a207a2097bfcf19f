#include "ui/MoveFolderNotice.h"

#include "kit/interface/qt/GuiThread.h"

#include <QMessageBox>
#include <QPushButton>

void CQtMoveFolderNotice::Show(const AlertRequest& request)
{
	RunOnGuiThread([this, &request] {
		auto* box = new QMessageBox(QMessageBox::Information, QString::fromStdString(request.title),
			QString::fromStdString(request.text), QMessageBox::NoButton);
		box->setAttribute(Qt::WA_DeleteOnClose);
		box->setWindowModality(Qt::ApplicationModal);
		QString label = request.buttons.empty() ? QString() : QString::fromStdString(request.buttons[0]);
		QPushButton* button = box->addButton(label, QMessageBox::AcceptRole);
		button->setEnabled(false);
		box->show();
		box->move(box->x(), box->y() + 15);
		fBox = box;
	});
}

void CQtMoveFolderNotice::Close()
{
	RunOnGuiThread([this] {
		if (!fBox.isNull())
			fBox->close();
		fBox = nullptr;
	});
}

void InstallMoveFolderNotice()
{
	static CQtMoveFolderNotice notice;
	SetMoveFolderNotice(&notice);
}
