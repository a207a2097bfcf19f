#include "ui/CopyWindow.h"

#include "kit/interface/qt/GuiThread.h"
#include "kit/support/Message.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kWidth = 360;
constexpr int kHeight = 60;

}   // namespace

void InstallFileCopyWindow()
{
	SetFileCopyDisplayMaker([](const std::shared_ptr<CFileCopyWorker>& worker) {
		BMessenger messenger;
		RunOnGuiThread([&] {
			auto* window = new CFileCopyWindow(worker);
			messenger = window->Messenger();
		});
		return messenger;
	});
}

CFileCopyWindow::CFileCopyWindow(std::shared_ptr<CFileCopyWorker> worker)
	:
	BWindow(BRect(0, 0, kWidth - 1, kHeight - 1), "Copying Files"),
	fWorker(std::move(worker))
{
	auto* layout = new QVBoxLayout(this);
	layout->setContentsMargins(8, 6, 8, 6);
	layout->setSpacing(3);

	auto* labels = new QHBoxLayout;
	fLabel = new QLabel(this);
	fTrailingLabel = new QLabel(this);
	fTrailingLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
	labels->addWidget(fLabel, 1);
	labels->addWidget(fTrailingLabel);
	layout->addLayout(labels);

	fBar = new QProgressBar(this);
	fBar->setObjectName("status");
	fBar->setRange(0, 100);
	fBar->setTextVisible(false);
	fBar->setMaximumHeight(12);
	layout->addWidget(fBar);

	auto* bottom = new QHBoxLayout;
	fDestination = new QLabel(this);
	fStopButton = new QPushButton("Stop", this);
	bottom->addWidget(fDestination, 1);
	bottom->addWidget(fStopButton);
	layout->addLayout(bottom);
	connect(fStopButton, &QPushButton::clicked, this, [this] { PostMessage(FILE_COPY_STOP); });

	// The contents decide the height; the window keeps its width.
	int height = std::max(kHeight, sizeHint().height());
	resize(kWidth, height);
	if (QScreen* screen = QGuiApplication::primaryScreen()) {
		QRect area = screen->availableGeometry();
		move(area.left() + (area.width() - kWidth) / 2, area.top() + (area.height() - height) / 2);
	}
}

CFileCopyWindow::~CFileCopyWindow() = default;

void CFileCopyWindow::MessageReceived(BMessage* message)
{
	switch (message->what) {
		case FILE_COPY_REQUEST:
			if (fWorker != nullptr)
				fWorker->AddRequest(message);
			break;
		case FILE_COPY_STOP:
			if (fWorker != nullptr)
				fWorker->Stop();
			break;
		case FILE_COPY_PULSE:
			if (fWorker != nullptr)
				fWorker->Pulse(&fDisplay);
			_Render();
			break;
		case FILE_COPY_SHOW:
			if (IsHidden())
				Show();
			break;
		case FILE_COPY_HIDE:
			if (!IsHidden())
				Hide();
			break;
		case FILE_COPY_CLOSE:
			Quit();
			break;
		default:
			BWindow::MessageReceived(message);
			break;
	}
}

bool CFileCopyWindow::QuitRequested()
{
	if (fWorker == nullptr)
		return true;
	// While the worker catches up it may still ask about a failed file: its
	// alert needs the event loop.
	return fWorker->QuitRequested([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 20); });
}

void CFileCopyWindow::_Render()
{
	fLabel->setText(QString::fromStdString(fDisplay.label));
	fTrailingLabel->setText(QString::fromStdString(fDisplay.trailingLabel));
	fDestination->setText(QString::fromStdString(fDisplay.destination));
	fBar->setValue(int(fDisplay.value));
}
