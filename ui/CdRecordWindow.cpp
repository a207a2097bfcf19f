#include "ui/CdRecordWindow.h"

#include "devices/devices.h"
#include "frame/Preference.h"
#include "kit/support/Message.h"
#include "projects/ProjectRoster.h"
#include "recording/RecordAction.h"
#include "ui/CdRecordStatusWindow.h"

#include <QCheckBox>
#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kWidth = 480;

std::vector<CDevice*> ListedDevices()
{
	std::vector<CDevice*> devices;
	for (int i = 0; i < kMaxDevices && g_pDevices[i] != nullptr; i++)
		devices.push_back(g_pDevices[i]);
	return devices;
}

QLineEdit* StatusLine(QWidget* parent, const char* name)
{
	auto* line = new QLineEdit(parent);
	line->setObjectName(name);
	line->setReadOnly(true);
	line->setFocusPolicy(Qt::NoFocus);
	line->setAttribute(Qt::WA_TransparentForMouseEvents, true);
	return line;
}

QPushButton* Button(QWidget* parent, const char* name, const char* label, const char* toolTip)
{
	auto* button = new QPushButton(label, parent);
	button->setObjectName(name);
	button->setToolTip(toolTip);
	button->setAutoDefault(false);
	return button;
}

}   // namespace

BWindow* ShowCdRecordWindow(CProject* project)
{
	BWindow* window = FindWindow(kCdRecordWindowTitle);
	if (window != nullptr) {
		window->Activate();
	} else {
		window = new CCdRecordWindow(BRect(100, 100, -1, -1), ListedDevices(), gpProjectRoster);
		window->Show();
	}
	BMessage select(M_SETUP_SELECT_PROJECT);
	select.AddPointer("project", project);
	window->PostMessage(&select);
	return window;
}

CCdRecordWindow::CCdRecordWindow(BRect frame, std::vector<CDevice*> devices, CProjectRoster* roster, bool poll)
	:
	BWindow(LoadWindowPlacement(kCdRecordWindowTitle, frame), kCdRecordWindowTitle,
		Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
	fView = std::make_unique<CCdRecordView>(Messenger(), std::move(devices), roster);
	const CD_RECORD_SETUP_DISPLAY initial;

	auto* layout = new QVBoxLayout(this);
	layout->setContentsMargins(10, 8, 10, 8);
	layout->setSpacing(6);

	// Each box is labelled by its select field, in bold.
	auto box = [&](const char* name, const SETUP_MENU& menu) {
		auto* group = new QGroupBox(this);
		group->setObjectName(name);
		auto* grid = new QGridLayout(group);
		grid->setContentsMargins(8, 6, 8, 6);
		auto* label = new QLabel(QString::fromStdString(menu.label), group);
		QFont bold = label->font();
		bold.setBold(true);
		label->setFont(bold);
		grid->addWidget(label, 0, 0);
		grid->addWidget(_MakeField(menu), 0, 1, 1, 3);
		grid->setColumnStretch(1, 1);
		layout->addWidget(group);
		return std::pair {group, grid};
	};
	auto labelled = [&](QGridLayout* grid, int row, const SETUP_MENU& menu) {
		grid->addWidget(new QLabel(QString::fromStdString(menu.label), grid->parentWidget()), row, 0);
		grid->addWidget(_MakeField(menu), row, 1, 1, 3);
	};

	auto [recorderBox, recorderGrid] = box("Recorder Box", initial.recorder);
	fRecorderStatus = StatusLine(recorderBox, "Recorder Status");
	recorderGrid->addWidget(fRecorderStatus, 1, 0, 1, 4);
	labelled(recorderGrid, 2, initial.speed);
	auto* recorderInfo = Button(recorderBox, "Recorder Info", "Info", kRecorderInfoToolTip);
	auto* eject = Button(recorderBox, "Eject", "Eject", kEjectToolTip);
	auto* recorderButtons = new QHBoxLayout;
	recorderButtons->addStretch(1);
	recorderButtons->addWidget(recorderInfo);
	recorderButtons->addWidget(eject);
	recorderGrid->addLayout(recorderButtons, 3, 0, 1, 4);

	auto [projectBox, projectGrid] = box("Project Box", initial.project);
	fProjectStatus = StatusLine(projectBox, "Project Status");
	projectGrid->addWidget(fProjectStatus, 1, 0, 1, 4);
	fProblems = new QLabel(projectBox);
	fProblems->setObjectName("Project Problems");
	fProblems->setWordWrap(true);
	projectGrid->addWidget(fProblems, 2, 0, 1, 4);
	auto* projectInfo = Button(projectBox, "Project Info", "Info", kProjectInfoToolTip);
	auto* projectButtons = new QHBoxLayout;
	projectButtons->addStretch(1);
	projectButtons->addWidget(projectInfo);
	projectGrid->addLayout(projectButtons, 3, 0, 1, 4);

	auto [actionBox, actionGrid] = box("Action Box", initial.action);
	labelled(actionGrid, 1, initial.writeMode);
	labelled(actionGrid, 2, initial.cdText);
	fCdTextNote = new QLabel(actionBox);
	fCdTextNote->setObjectName("CD Text Note");
	fCdTextNote->setWordWrap(true);
	actionGrid->addWidget(fCdTextNote, 4, 0, 1, 4);
	fBurnProof = new QCheckBox("Enable BURN-Proof", actionBox);
	fBurnProof->setObjectName("burnproof");
	fVerify = new QCheckBox("Verify after writing", actionBox);
	fVerify->setObjectName("verify");
	fVerify->setToolTip("Read the written disc back and compare every track with its source");
	auto* checks = new QHBoxLayout;
	checks->addWidget(fBurnProof);
	checks->addSpacing(12);
	checks->addWidget(fVerify);
	checks->addStretch(1);
	actionGrid->addLayout(checks, 3, 0, 1, 4);

	auto* bottom = new QHBoxLayout;
	bottom->addStretch(1);
	auto* cancel = Button(this, "Cancel", "Cancel", kCancelToolTip);
	fActionButton = Button(this, "Action", "", kActionToolTip);
	fActionButton->setDefault(true);
	bottom->addWidget(cancel);
	bottom->addWidget(fActionButton);
	layout->addLayout(bottom);

	connect(recorderInfo, &QPushButton::clicked, this, [this] { _PostCommand(M_SETUP_RECORDER_INFO); });
	connect(eject, &QPushButton::clicked, this, [this] { _PostCommand(M_SETUP_EJECT); });
	connect(projectInfo, &QPushButton::clicked, this, [this] { _PostCommand(M_SETUP_PROJECT_INFO); });
	connect(cancel, &QPushButton::clicked, this, [this] { _PostCommand(M_SETUP_CLOSE); });
	connect(fActionButton, &QPushButton::clicked, this, [this] { _PostCommand(M_SETUP_START); });
	connect(fBurnProof, &QCheckBox::toggled, this, [this](bool on) {
		BMessage message(M_SETUP_BURN_PROOF);
		message.AddBool("value", on);
		PostMessage(&message);
	});
	connect(fVerify, &QCheckBox::toggled, this, [this](bool on) {
		BMessage message(M_SETUP_VERIFY);
		message.AddBool("value", on);
		PostMessage(&message);
	});

	fView->Attach(poll);
	_Render();
	setFixedSize(kWidth, sizeHint().height());
}

CCdRecordWindow::~CCdRecordWindow() = default;

QPushButton* CCdRecordWindow::_MakeField(const SETUP_MENU& menu)
{
	auto* button = new QPushButton(this);
	button->setObjectName(QString::fromStdString(menu.name));
	button->setToolTip(QString::fromStdString(menu.toolTip));
	button->setAutoDefault(false);
	button->setStyleSheet("text-align: left; padding: 3px 8px;");
	button->setMenu(new QMenu(button));
	const SETUP_MENU CD_RECORD_SETUP_DISPLAY::*member = nullptr;
	for (auto candidate : {&CD_RECORD_SETUP_DISPLAY::recorder, &CD_RECORD_SETUP_DISPLAY::project,
			 &CD_RECORD_SETUP_DISPLAY::action, &CD_RECORD_SETUP_DISPLAY::writeMode, &CD_RECORD_SETUP_DISPLAY::speed,
			 &CD_RECORD_SETUP_DISPLAY::cdText})
		if ((CD_RECORD_SETUP_DISPLAY().*candidate).name == menu.name)
			member = candidate;
	fFields.push_back({member, button});
	return button;
}

QPushButton* CCdRecordWindow::MenuField(const char* name) const
{
	for (const Field& field : fFields)
		if (field.button->objectName() == name)
			return field.button;
	return nullptr;
}

void CCdRecordWindow::_RenderField(const Field& field)
{
	const SETUP_MENU& menu = fShown.*field.menu;
	field.button->setText(QString::fromStdString(menu.shown));
	QMenu* popUp = field.button->menu();
	popUp->clear();
	for (size_t i = 0; i < menu.items.size(); i++) {
		const SETUP_MENU_ITEM& item = menu.items[i];
		QAction* action = popUp->addAction(QString::fromStdString(item.label));
		action->setCheckable(true);
		action->setChecked(item.marked);
		action->setEnabled(item.enabled);
		int32 index = int32(i);
		connect(action, &QAction::triggered, this, [this, menu = field.menu, index] {
			std::unique_ptr<BMessage> message(CCdRecordView::ItemMessage(fShown.*menu, index));
			if (message != nullptr)
				PostMessage(message.get());
		});
	}
	field.button->setEnabled(!menu.items.empty());
}

void CCdRecordWindow::_Render()
{
	fShown = fView->Display();
	for (const Field& field : fFields)
		_RenderField(field);
	fRecorderStatus->setText(QString::fromStdString(fShown.recorderStatus));
	fRecorderStatus->setCursorPosition(0);
	fProjectStatus->setText(QString::fromStdString(fShown.projectStatus));
	fProjectStatus->setCursorPosition(0);
	fProjectStatus->setToolTip(QString::fromStdString(fShown.projectStatus));
	QString problems;
	for (const std::string& line : fShown.projectProblems)
		problems += (problems.isEmpty() ? "" : "\n") + QString::fromStdString(line);
	fProblems->setText(problems);
	fProblems->setVisible(!problems.isEmpty());
	fActionButton->setText(QString::fromStdString(fShown.actionButtonLabel));
	QSignalBlocker blockBurnProof(fBurnProof);
	QSignalBlocker blockVerify(fVerify);
	fBurnProof->setChecked(fShown.burnProof);
	fVerify->setChecked(fShown.verify);
	fVerify->setEnabled(fShown.verifyEnabled);
	fCdTextNote->setText(QString::fromStdString(fShown.cdTextNote));
	fCdTextNote->setVisible(!fShown.cdTextNote.empty());
	if (isVisible() && (fProblems->isVisible() || fCdTextNote->isVisible()))
		setFixedSize(kWidth, sizeHint().height());
}

void CCdRecordWindow::_PostCommand(uint32 command)
{
	PostMessage(command);
}

void CCdRecordWindow::MessageReceived(BMessage* message)
{
	switch (message->what) {
		case M_RECORD_SETUP_DISPLAY_CHANGED:
			_Render();
			return;
		case M_RECORD_SETUP_HAND_OVER: {
			void* pointer = nullptr;
			if (message->FindPointer("recordaction", &pointer) == B_OK && pointer != nullptr)
				ShowCdRecordStatusWindow(static_cast<CRecordAction*>(pointer));
			return;
		}
		case PROJECT_ADDED:
		case PROJECT_REMOVED:
		case PROJECT_RENAMED:
		case PROJECT_CHANGED:
		case PROJECT_TRACKS_MOVED:
		case PROJECT_TRACK_ADDED:
		case PROJECT_TRACK_REMOVED:
		case PROJECT_TRACK_CHANGED:
			fView->MessageReceived(message);
			_Render();
			return;
		default:
			break;
	}
	if (message->what < 65535) {
		fView->MessageReceived(message);
		_Render();
		return;
	}
	BWindow::MessageReceived(message);
}

bool CCdRecordWindow::QuitRequested()
{
	SaveWindowPlacement(Title().c_str(), Frame());
	fView->Detach();
	return true;
}
