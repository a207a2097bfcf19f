#include "ui/ApplicationSetupWindow.h"

#include "frame/Preference.h"
#include "kit/interface/qt/FilePanel.h"
#include "kit/support/Message.h"
#include "ui/WindowOpener.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

// The stored frame's top-left, else the opener's place; the contents size
// the window.
BRect InitialFrame()
{
	BRect stored = LoadWindowPlacement(kApplicationSetupWindowTitle, BRect(0, 0, -1, -1));
	if (stored.IsValid())
		return BRect(stored.left, stored.top, stored.left - 1, stored.top - 1);
	return BRect(150, 100, -1, -1);
}

}   // namespace

void ShowApplicationSetupWindow()
{
	ShowWindowWithTitle(kApplicationSetupWindowTitle, [] { return new CApplicationSetupWindow(); });
}

CApplicationSetupWindow::CApplicationSetupWindow(std::unique_ptr<CApplicationSetupView> view)
	:
	BWindow(InitialFrame(), kApplicationSetupWindowTitle),
	fView(view != nullptr ? std::move(view) : std::make_unique<CApplicationSetupView>())
{
	auto* layout = new QVBoxLayout(this);
	layout->setContentsMargins(10, 10, 10, 10);

	auto* folderBox = new QGroupBox("Project folder", this);
	auto* folderLayout = new QHBoxLayout(folderBox);
	fFolder = new QLineEdit(folderBox);
	fFolder->setObjectName("ProjectFolder");
	fFolder->setMinimumWidth(320);
	fChange = new QPushButton("Change…", folderBox);
	fChange->setObjectName("ChangeProjectFolder");
	folderLayout->addWidget(fFolder, 1);
	folderLayout->addWidget(fChange);
	layout->addWidget(folderBox);

	fSplash = new QCheckBox("Show splash screen at start-up", this);
	fSplash->setObjectName("ShowSplashScreen");
	fRename = new QCheckBox("Rename a track's file when its title or artist changes", this);
	fRename->setObjectName("RenameFiles");
	layout->addWidget(fSplash);
	layout->addWidget(fRename);
	layout->addStretch(1);

	auto* buttons = new QHBoxLayout;
	buttons->addStretch(1);
	fRevert = new QPushButton("Revert", this);
	fRevert->setObjectName("Revert");
	buttons->addWidget(fRevert);
	layout->addLayout(buttons);

	connect(fFolder, &QLineEdit::textEdited, this, [this](const QString& text) {
		BMessage message(APPLICATION_SETUP_FOLDER_EDITED);
		message.AddString("text", text.toStdString().c_str());
		PostMessage(&message);
	});
	connect(fChange, &QPushButton::clicked, this, [this] { PostMessage(APPLICATION_SETUP_SHOW_SELECTOR); });
	connect(fRevert, &QPushButton::clicked, this, [this] { PostMessage(APPLICATION_SETUP_REVERT); });
	for (QCheckBox* box : {fSplash, fRename}) {
		connect(box, &QCheckBox::toggled, this, [this, box](bool on) {
			if (fRendering)
				return;
			BMessage message(APPLICATION_SETUP_CHECK_BOX);
			message.AddBool(box->objectName().toStdString().c_str(), on);
			PostMessage(&message);
		});
	}

	fView->SetTarget(Messenger());
	fView->AttachedToWindow();
	_Render();
	resize(sizeHint());
}

CApplicationSetupWindow::~CApplicationSetupWindow() = default;

void CApplicationSetupWindow::MessageReceived(BMessage* message)
{
	switch (message->what) {
		case APPLICATION_SETUP_CHANGED:
			_Render();
			break;
		case APPLICATION_SETUP_OPEN_SELECTOR:
			_OpenSelector(message->GetString("folder", nullptr));
			break;
		case APPLICATION_SETUP_CLOSE_SELECTOR:
			if (fPanel != nullptr)
				fPanel->Hide();
			break;
		default:
			if (!fView->MessageReceived(message))
				BWindow::MessageReceived(message);
			break;
	}
}

bool CApplicationSetupWindow::QuitRequested()
{
	SaveWindowPlacement(kApplicationSetupWindowTitle, Frame());
	if (fPanel != nullptr)
		fPanel->Hide();
	fView->DetachedFromWindow();
	return true;
}

void CApplicationSetupWindow::_OpenSelector(const char* folder)
{
	if (fPanel == nullptr) {
		BMessage selected(APPLICATION_SETUP_FOLDER_SELECTED);
		fPanel = std::make_unique<BFilePanel>(Messenger(), folder, &selected);
		fPanel->SetTitle("Select New Project Folder");
		fPanel->SetButtonLabel("Select");
	} else if (!fPanel->IsShowing()) {
		fPanel->SetPanelDirectory(folder);
	}
	fPanel->Show();
}

void CApplicationSetupWindow::_Render()
{
	fRendering = true;
	const APPLICATION_SETUP_DISPLAY& display = fView->Display();
	const QString folder = QString::fromStdString(display.projectFolder);
	if (fFolder->text() != folder)
		fFolder->setText(folder);
	{
		QSignalBlocker a(fSplash), b(fRename);
		fSplash->setChecked(display.showSplashScreen);
		fRename->setChecked(display.renameFiles);
	}
	fRevert->setEnabled(display.revertEnabled);
	fRendering = false;
}
