#include "ui/CdPlayerWindow.h"

#include "devices/Device.h"
#include "frame/Preference.h"
#include "kit/support/Message.h"
#include "players/CdTransports.h"
#include "recording/CdRecordStatusView.h"
#include "ui/WindowOpener.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <string>

namespace {

std::string PlayerTitle(CDevice* device)
{
	return std::string("CD Player - ") + device->GetDeviceName();
}

// Seek buttons repeat while held.
constexpr int kSeekRepeatMs = 100;

}   // namespace

BMessenger ShowCdPlayerWindow(CDevice* device)
{
	std::string title = PlayerTitle(device);
	BWindow* window = ShowWindowWithTitle(title.c_str(),
		[&]() -> BWindow* { return new CCdPlayerWindow(BRect(340, 100, -1, -1), device); });
	if (window == nullptr)
		return BMessenger();
	return FindWindowMessenger(title.c_str());
}

CCdPlayerWindow::CCdPlayerWindow(BRect frame, CDevice* device, std::unique_ptr<CCdAudioTransport> transport)
	:
	BWindow(LoadWindowPlacement(PlayerTitle(device).c_str(), frame), PlayerTitle(device).c_str())
{
	setObjectName("CdPlayerView");
	if (transport == nullptr)
		transport = MakeCdAudioTransport(device);
	fView = std::make_unique<CCdPlayerView>(std::move(transport), Messenger());
	fView->SetRecordingProbe([] { return atomic_get(&g_CdRecordingActive) != 0; });

	auto* layout = new QVBoxLayout(this);
	fBox = new QGroupBox("CD", this);
	fBox->setObjectName("CdBox");
	layout->addWidget(fBox);
	auto* inner = new QVBoxLayout(fBox);

	fTrackField = new QPushButton("No CD found", fBox);
	fTrackField->setObjectName("SelectTrack");
	fTrackMenu = new QMenu(fTrackField);
	fTrackField->setMenu(fTrackMenu);
	fTrackField->setStyleSheet("text-align: left; padding: 3px 6px;");
	inner->addWidget(fTrackField);

	fPosition = new QLabel("Position: 00:00", fBox);
	inner->addWidget(fPosition);

	auto* buttons = new QHBoxLayout;
	buttons->addWidget(_Button("SkipBackwardButton", "|<<", CD_PLAYER_SKIP_BACKWARD));
	buttons->addWidget(_SeekButton("SeekBackwardButton", "<<", CD_PLAYER_SEEK_BACKWARD));
	buttons->addWidget(_Button("PlayButton", "Play", CD_PLAYER_PLAY));
	buttons->addWidget(_Button("StopButton", "Stop", CD_PLAYER_STOP));
	buttons->addWidget(_SeekButton("SeekForwardButton", ">>", CD_PLAYER_SEEK_FORWARD));
	buttons->addWidget(_Button("SkipForwardButton", ">>|", CD_PLAYER_SKIP_FORWARD));
	buttons->addWidget(_Button("EjectButton", "Load", CD_PLAYER_EJECT));
	inner->addLayout(buttons);

	fView->AttachedToWindow(Messenger());
}

CCdPlayerWindow::~CCdPlayerWindow()
{
	if (fView != nullptr)
		fView->DetachedFromWindow();
}

QPushButton* CCdPlayerWindow::Button(const char* name) const
{
	return findChild<QPushButton*>(name);
}

QPushButton* CCdPlayerWindow::_Button(const char* name, const char* label, uint32 command)
{
	auto* button = new QPushButton(label, fBox);
	button->setObjectName(name);
	connect(button, &QPushButton::clicked, this, [this, command] { PostMessage(command); });
	return button;
}

QPushButton* CCdPlayerWindow::_SeekButton(const char* name, const char* label, uint32 command)
{
	auto* button = new QPushButton(label, fBox);
	button->setObjectName(name);
	auto* repeat = new QTimer(button);
	repeat->setInterval(kSeekRepeatMs);
	auto post = [this, command](int32 phase) {
		BMessage message(command);
		message.AddInt32("btn_state", phase);
		PostMessage(&message);
	};
	connect(button, &QPushButton::pressed, this, [post, repeat] {
		post(0);
		repeat->start();
	});
	connect(repeat, &QTimer::timeout, this, [post] { post(1); });
	connect(button, &QPushButton::released, this, [post, repeat] {
		repeat->stop();
		post(2);
	});
	return button;
}

void CCdPlayerWindow::MessageReceived(BMessage* message)
{
	if (message->what == CD_PLAYER_DISPLAY) {
		_Render(message);
		return;
	}
	if (fView != nullptr && fView->MessageReceived(message))
		return;
	BWindow::MessageReceived(message);
}

void CCdPlayerWindow::_Render(const BMessage* display)
{
	fBox->setTitle(QString::fromUtf8(display->GetString("box", "CD")));
	if (QPushButton* eject = Button("EjectButton"))
		eject->setText(QString::fromUtf8(display->GetString("eject", "Load")));
	if (QPushButton* play = Button("PlayButton"))
		play->setText(QString::fromUtf8(display->GetString("play", "Play")));
	fPosition->setText(QString::fromUtf8(display->GetString("position", "")));
	fTrackField->setText(QString::fromUtf8(display->GetString("field", "")));

	int32 marked = display->GetInt32("marked", -1);
	fTrackMenu->clear();
	std::string item;
	for (int32 index = 0; display->FindString("item", index, &item) == B_OK; index++) {
		QAction* action = fTrackMenu->addAction(QString::fromUtf8(item.c_str()));
		action->setCheckable(true);
		action->setChecked(index == marked);
		connect(action, &QAction::triggered, this, [this, index] {
			BMessage chosen(CD_PLAYER_MENU_ITEM);
			chosen.AddInt32("index", index);
			PostMessage(&chosen);
		});
	}
	fTrackField->setEnabled(!fTrackMenu->isEmpty());
}

bool CCdPlayerWindow::QuitRequested()
{
	SaveWindowPlacement(Title().c_str(), Frame());
	return true;
}
