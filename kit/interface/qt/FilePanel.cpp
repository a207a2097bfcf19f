#include "kit/interface/qt/FilePanel.h"

#include "kit/storage/EntryRef.h"
#include "kit/storage/FindDirectory.h"

#include <QFileDialog>

BFilePanel::BFilePanel(const BMessenger& target, const char* startFolder, const BMessage* message)
	:
	fDialog(std::make_unique<QFileDialog>()),
	fTarget(target),
	fMessage(message != nullptr ? *message : BMessage(B_REFS_RECEIVED))
{
	fDialog->setFileMode(QFileDialog::Directory);
	fDialog->setAcceptMode(QFileDialog::AcceptOpen);
	// The same panel everywhere, and one that tests can drive.
	fDialog->setOption(QFileDialog::DontUseNativeDialog, true);
	fDialog->setOption(QFileDialog::ShowDirsOnly, true);
	fDialog->setModal(false);
	SetPanelDirectory(startFolder);
	QObject::connect(fDialog.get(), &QFileDialog::fileSelected,
		[this](const QString& folder) { Confirmed(folder.toUtf8().constData()); });
	QObject::connect(fDialog.get(), &QFileDialog::rejected, [this] { Cancelled(); });
}

BFilePanel::~BFilePanel() = default;

void BFilePanel::SetTitle(const char* title)
{
	fDialog->setWindowTitle(QString::fromUtf8(title != nullptr ? title : ""));
}

void BFilePanel::SetButtonLabel(const char* label)
{
	fDialog->setLabelText(QFileDialog::Accept, QString::fromUtf8(label != nullptr ? label : ""));
}

void BFilePanel::SetTarget(const BMessenger& target)
{
	fTarget = target;
}

void BFilePanel::SetMessage(const BMessage* message)
{
	fMessage = message != nullptr ? *message : BMessage(B_REFS_RECEIVED);
}

void BFilePanel::SetPanelDirectory(const char* folder)
{
	std::string start;
	if (folder != nullptr && folder[0] != '\0')
		start = folder;
	else if (find_directory(B_USER_DIRECTORY, &start, false) != B_OK)
		start = "/";
	fDialog->setDirectory(QString::fromStdString(start));
}

void BFilePanel::Show()
{
	fDialog->show();
	fDialog->raise();
	fDialog->activateWindow();
}

void BFilePanel::Hide()
{
	fDialog->hide();
}

bool BFilePanel::IsShowing() const
{
	return fDialog->isVisible();
}

void BFilePanel::Confirmed(const char* folder)
{
	entry_ref ref;
	if (get_ref_for_path(folder, &ref) != B_OK)
		return;
	BMessage message(fMessage);
	message.AddRef("refs", &ref);
	fTarget.SendMessage(&message, nullptr, 0);
}

void BFilePanel::Cancelled()
{
	BMessage message(B_CANCEL);
	message.AddInt32("old_what", int32(fMessage.what));
	fTarget.SendMessage(&message, nullptr, 0);
}
