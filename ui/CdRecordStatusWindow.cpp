#include "ui/CdRecordStatusWindow.h"

#include "devices/Device.h"
#include "frame/Preference.h"
#include "kit/support/Message.h"
#include "recording/RecordAction.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <string>

namespace {

constexpr int kWidth = 420;

}   // namespace

BWindow* ShowCdRecordStatusWindow(CRecordAction* action)
{
	std::unique_ptr<CRecordAction> owned(action);
	std::string title = "CD Recording - ";
	if (owned != nullptr && owned->pDevice != nullptr)
		title += owned->pDevice->GetDeviceName();
	BWindow* window = FindWindow(title.c_str());
	if (window != nullptr) {
		window->Activate();
	} else {
		window = new CCdRecordStatusWindow(BRect(100, 100, -1, -1), title.c_str());
		window->Show();
	}
	BMessage start(M_RECORD_START);
	start.AddPointer("recordaction", owned.release());
	window->PostMessage(&start);
	return window;
}

CCdRecordStatusWindow::CCdRecordStatusWindow(BRect frame, const char* title, CRecordClock* clock)
	:
	BWindow(LoadWindowPlacement(title, frame), title,
		Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
	fView = std::make_unique<CCdRecordStatusView>(Messenger(), clock);

	auto* layout = new QVBoxLayout(this);
	layout->setContentsMargins(10, 8, 10, 8);
	layout->setSpacing(4);

	auto* lines = new QFormLayout;
	fProject = new QLineEdit(this);
	fProject->setObjectName("Project");
	fProject->setReadOnly(true);
	fStatus = new QLineEdit(this);
	fStatus->setObjectName("Status");
	fStatus->setReadOnly(true);
	fProject->setFocusPolicy(Qt::NoFocus);
	fProject->setAttribute(Qt::WA_TransparentForMouseEvents, true);
	lines->addRow("Project:", fProject);
	lines->addRow("Status:", fStatus);
	layout->addLayout(lines);

	fOverall = _MakeBar("Overall");
	fTrack = _MakeBar("Track");
	fBuffer = _MakeBar("Buffer");
	fRecorderBuffer = _MakeBar("Recorder Buffer");
	for (const Bar* bar : {&fOverall, &fTrack, &fBuffer, &fRecorderBuffer}) {
		auto* labels = new QHBoxLayout;
		labels->addWidget(bar->label, 1);
		labels->addWidget(bar->trailing);
		layout->addLayout(labels);
		layout->addWidget(bar->bar);
	}

	fVerification = new QLabel(this);
	fVerification->setObjectName("Verification");
	fVerification->setWordWrap(true);
	fVerification->hide();
	layout->addWidget(fVerification);

	auto* bottom = new QHBoxLayout;
	bottom->addStretch(1);
	fButton = new QPushButton(this);
	fButton->setObjectName("Cancel");
	bottom->addWidget(fButton);
	layout->addLayout(bottom);
	connect(fButton, &QPushButton::clicked, this, [this] {
		if (fView->IsBusy())
			fView->CancelWrite();
		else
			PostMessage(B_QUIT_REQUESTED);
	});

	_Render();
	setFixedSize(kWidth, sizeHint().height());
}

CCdRecordStatusWindow::~CCdRecordStatusWindow() = default;

CCdRecordStatusWindow::Bar CCdRecordStatusWindow::_MakeBar(const char* name)
{
	Bar bar;
	bar.label = new QLabel(this);
	bar.trailing = new QLabel(this);
	bar.trailing->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
	bar.bar = new QProgressBar(this);
	bar.bar->setObjectName(name);
	bar.bar->setRange(0, 1000);
	bar.bar->setTextVisible(false);
	bar.bar->setMaximumHeight(12);
	return bar;
}

void CCdRecordStatusWindow::_RenderBar(const Bar& bar, const RECORD_BAR_DISPLAY& shown)
{
	bar.label->setText(QString::fromStdString(shown.label + shown.text));
	bar.trailing->setText(QString::fromStdString(shown.trailingText));
	bar.bar->setValue(int(shown.value * 10.0f + 0.5f));
	QString tip = QString::fromStdString(shown.toolTip);
	bar.bar->setToolTip(tip);
	bar.label->setToolTip(tip);
	bar.trailing->setToolTip(tip);
}

void CCdRecordStatusWindow::_Render()
{
	fShown = fView->Display();
	fProject->setText(QString::fromStdString(fShown.project));
	fStatus->setText(QString::fromStdString(fShown.status));
	// Long lines show their beginning.
	fProject->setCursorPosition(0);
	fStatus->setCursorPosition(0);
	// After a failure the message can be selected and copied.
	fStatus->setFocusPolicy(fShown.statusSelectable ? Qt::StrongFocus : Qt::NoFocus);
	fStatus->setAttribute(Qt::WA_TransparentForMouseEvents, !fShown.statusSelectable);
	if (!fShown.statusSelectable)
		fStatus->deselect();
	_RenderBar(fOverall, fShown.overall);
	_RenderBar(fTrack, fShown.track);
	_RenderBar(fBuffer, fShown.buffer);
	_RenderBar(fRecorderBuffer, fShown.recorderBuffer);
	QString verification;
	for (const std::string& line : fShown.verification)
		verification += (verification.isEmpty() ? "" : "\n") + QString::fromStdString(line);
	if (verification != fVerification->text()) {
		fVerification->setText(verification);
		fVerification->setVisible(!verification.isEmpty());
		setFixedSize(kWidth, sizeHint().height());
	}
	fButton->setText(QString::fromStdString(fShown.buttonLabel));
	fButton->setToolTip(QString::fromStdString(fShown.buttonToolTip));
	fButton->setDefault(fShown.buttonIsDefault);
}

void CCdRecordStatusWindow::MessageReceived(BMessage* message)
{
	if (message->what < 65535) {
		fView->MessageReceived(message);
		_Render();
		return;
	}
	if (message->what == M_RECORD_DISPLAY_CHANGED) {
		_Render();
		return;
	}
	BWindow::MessageReceived(message);
}

bool CCdRecordStatusWindow::QuitRequested()
{
	SaveWindowPlacement(Title().c_str(), Frame());
	return fView->QuitRequested();
}
