#include "ui/CddaReadWindow.h"

#include "frame/Preference.h"
#include "kit/support/Message.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QVBoxLayout>

namespace {

constexpr int kWidth = 420;

}   // namespace

CCddaReadWindow::CCddaReadWindow(CDevice* device)
	:
	BWindow(BRect(100, 100, 99, 99), CCddaReadView::WindowTitle(device).c_str())
{
	auto* layout = new QVBoxLayout(this);
	layout->setContentsMargins(8, 8, 8, 8);

	fCdBox = new QGroupBox(this);
	auto* cdLayout = new QVBoxLayout(fCdBox);
	fTrackBox = new QGroupBox(fCdBox);
	auto* trackLayout = new QVBoxLayout(fTrackBox);
	fCurrent = _MakeBar(fTrackBox);
	fAll = _MakeBar(fTrackBox);
	fThird = _MakeBar(fTrackBox);
	for (const SBar* bar : {&fCurrent, &fAll, &fThird}) {
		auto* top = new QHBoxLayout;
		top->addWidget(bar->label, 1);
		top->addWidget(bar->text);
		trackLayout->addLayout(top);
		trackLayout->addWidget(bar->bar);
		trackLayout->addWidget(bar->trailing);
	}
	auto* times = new QGridLayout;
	fTimeLabel = new QLabel(fTrackBox);
	fTime = new QLabel(fTrackBox);
	fRemainingLabel = new QLabel(fTrackBox);
	fRemaining = new QLabel(fTrackBox);
	times->addWidget(fTimeLabel, 0, 0);
	times->addWidget(fTime, 0, 1);
	times->addWidget(fRemainingLabel, 1, 0);
	times->addWidget(fRemaining, 1, 1);
	times->setColumnStretch(2, 1);
	trackLayout->addLayout(times);
	cdLayout->addWidget(fTrackBox);
	layout->addWidget(fCdBox);

	fStatusBox = new QGroupBox(this);
	auto* statusLayout = new QVBoxLayout(fStatusBox);
	fStatusText = new QLabel(fStatusBox);
	fStatusText->setObjectName("statusText");
	fStatusText->setWordWrap(true);
	// A long message wraps; it never widens the window.
	fStatusText->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
	fStatusText->setMinimumHeight(fStatusText->fontMetrics().height() * 2);
	statusLayout->addWidget(fStatusText);
	layout->addWidget(fStatusBox);

	auto* buttons = new QHBoxLayout;
	fButton = new QPushButton(this);
	buttons->addStretch(1);
	buttons->addWidget(fButton);
	layout->addLayout(buttons);
	connect(fButton, &QPushButton::clicked, this, [this] { PostMessage(CDDA_READ_CLOSE_BUTTON); });

	fView = std::make_unique<CCddaReadView>(device, Messenger());
	fShown = fView->Display();
	resize(kWidth, sizeHint().height());
	_Render();

	BRect frame = LoadWindowPlacement(Title().c_str(), BRect(100, 100, 100 + kWidth - 1, 100 + height() - 1));
	MoveTo(frame.left, frame.top);
}

CCddaReadWindow::~CCddaReadWindow()
{
	// The engine's threads end before the widgets go.
	fView.reset();
}

CCddaReadWindow::SBar CCddaReadWindow::_MakeBar(QWidget* parent)
{
	SBar bar;
	bar.label = new QLabel(parent);
	bar.text = new QLabel(parent);
	bar.text->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
	bar.bar = new QProgressBar(parent);
	bar.bar->setRange(0, 100);
	bar.bar->setTextVisible(false);
	bar.bar->setMaximumHeight(12);
	bar.trailing = new QLabel(parent);
	return bar;
}

void CCddaReadWindow::_RenderBar(const SBar& widgets, const CddaReadBar& bar)
{
	widgets.label->setText(QString::fromStdString(bar.label));
	widgets.text->setText(QString::fromStdString(bar.text));
	widgets.bar->setValue(bar.value);
	widgets.trailing->setText(QString::fromStdString(bar.trailing));
	// A bar without a line under it (the buffer, the spin-up) takes no room.
	widgets.trailing->setVisible(!bar.trailing.empty());
}

void CCddaReadWindow::_Render()
{
	_FitBoxTitles();
	fStatusBox->setTitle(QString::fromStdString(fShown.statusBox));
	fStatusText->setText(QString::fromStdString(fShown.statusText));
	_RenderBar(fCurrent, fShown.current);
	_RenderBar(fAll, fShown.all);
	_RenderBar(fThird, fShown.third);
	fTimeLabel->setText(QString::fromStdString(fShown.timeLabel));
	fTime->setText(QString::fromStdString(fShown.time));
	fRemainingLabel->setText(QString::fromStdString(fShown.remainingLabel));
	fRemaining->setText(QString::fromStdString(fShown.remaining));
	fButton->setText(QString::fromStdString(fShown.button));
	fButton->setDefault(fShown.buttonIsDefault);
}

void CCddaReadWindow::_FitBoxTitles()
{
	// Room for a title: the window's width less the margins and frames
	// around the box (one level more for the track box inside the disc box),
	// so that the titles never make the boxes wider than the window.
	auto fit = [this](QGroupBox* box, const std::string& title, int depth) {
		QString whole = QString::fromStdString(title);
		const int inset = 3 * box->fontMetrics().averageCharWidth();
		const int room = std::max(40, width() - 16 - depth * (box->fontMetrics().height() + inset));
		QString shown = box->fontMetrics().elidedText(whole, Qt::ElideRight, room);
		if (box->title() != shown)
			box->setTitle(shown);
		box->setToolTip(shown == whole ? QString() : whole);
	};
	fit(fCdBox, fShown.cdBox, 1);
	fit(fTrackBox, fShown.trackBox, 2);
}

QString CCddaReadWindow::TrackBoxTitle() const
{
	return fTrackBox->title();
}

void CCddaReadWindow::resizeEvent(QResizeEvent* event)
{
	BWindow::resizeEvent(event);
	_FitBoxTitles();
}

void CCddaReadWindow::MessageReceived(BMessage* message)
{
	switch (message->what) {
		case CDDA_READ_CLOSE_BUTTON:
			// While reading, the abort question; its wait keeps the loop turning.
			if (fView->IsBusy()) {
				if (QuitRequested())
					Quit();
				break;
			}
			[[fallthrough]];
		case CDDA_READ_COPY_TRACKS:
		case CDDA_READ_UPDATE_STATUS:
		case CDDA_READ_STATUS_TEXT:
			fView->MessageReceived(message);
			fShown = fView->Display();
			_Render();
			break;
		case CDDA_READ_DISPLAY_CHANGED:
		case CDDA_READ_BATCH_DONE:
			fShown = fView->Display();
			_Render();
			break;
		case CDDA_READ_CLOSE_WINDOW:
			SaveWindowPlacement(Title().c_str(), Frame());
			Quit();
			break;
		default:
			BWindow::MessageReceived(message);
			break;
	}
}

bool CCddaReadWindow::QuitRequested()
{
	SaveWindowPlacement(Title().c_str(), Frame());
	// While the engine winds down the alert and the display need the loop.
	return fView->QuitRequested([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 20); });
}

CCddaReadWindow* ShowCddaReadWindow(CDevice* device)
{
	std::string title = CCddaReadView::WindowTitle(device);
	if (auto* existing = dynamic_cast<CCddaReadWindow*>(FindWindow(title.c_str()))) {
		existing->Activate();
		return existing;
	}
	auto* window = new CCddaReadWindow(device);
	window->Show();
	return window;
}
