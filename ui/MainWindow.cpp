#include "ui/MainWindow.h"

#include "devices/Device.h"
#include "devices/devices.h"
#include "frame/App.h"
#include "frame/Diagnostics.h"
#include "frame/Preference.h"
#include "kit/interface/qt/Application.h"
#include "kit/support/Message.h"
#include "projects/ProjectRoster.h"
#include "ui/AboutBox.h"
#include "ui/ApplicationSetupWindow.h"
#include "ui/CddaReadSetupWindow.h"
#include "ui/CddaReadWindow.h"
#include "ui/CdRecordWindow.h"
#include "ui/DeviceSetupWindow.h"
#include "ui/DrivePageFactory.h"
#include "ui/ProjectView.h"
#include "ui/DestinationView.h"
#include "ui/SourceView.h"
#include "widgets/SplitterView.h"

#include <QAction>
#include <QIcon>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QVBoxLayout>

CMainWindow* pMainWindow = nullptr;

namespace {

const char* const kPlacementRecord = "main window";

// The stored placement when it lies on a screen, else the creator's frame.
BRect InitialFrame(BRect frame)
{
	BRect stored = LoadWindowPlacement(kPlacementRecord, frame);
	if (!stored.IsValid())
		return frame;
	QRect area(int(stored.left), int(stored.top), int(stored.Width()) + 1, int(stored.Height()) + 1);
	for (QScreen* screen : QGuiApplication::screens()) {
		if (screen->availableGeometry().intersects(area))
			return stored;
	}
	return frame;
}

}   // namespace

CMainWindow::CMainWindow(BRect frame)
	:
	BWindow(InitialFrame(frame), pszAppName),
	fMenuBar(nullptr),
	fSplitter(nullptr),
	fSourceView(nullptr),
	fDestinationView(nullptr)
{
	pMainWindow = this;
	setUpdatesEnabled(false);
	SetSizeLimits(400, 4096, 250, 4096);
	setWindowIcon(QIcon::fromTheme("com.orrisec.tarnwick"));

	// Panes first, then menu bar, splitter and menus.
	auto* sourcePane = new QWidget;
	auto* sourceLayout = new QVBoxLayout(sourcePane);
	sourceLayout->setContentsMargins(5, 5, 2, 5);
	fSourceView = new CSourceView(this);
	sourceLayout->addWidget(fSourceView);
	fDestinationView = new CDestinationView(this, gpProjectRoster);

	fMenuBar = new QMenuBar(this);
	fMenuBar->setObjectName("Menu Bar");
	fMenuBar->setNativeMenuBar(false);

	fSplitter = new CSplitterView("Main Splitter", this);
	fSplitter->SetPanes(sourcePane, fDestinationView);

	auto* layout = new QVBoxLayout(this);
	layout->setContentsMargins(0, 0, 0, 0);
	layout->setSpacing(0);
	layout->setMenuBar(fMenuBar);
	layout->addWidget(fSplitter, 1);

	// The windows of the settings menu that the program has so far.
	if (!HasWindowOpener(MSG_APPLICATION_PREFERENCES))
		RegisterWindowOpener(MSG_APPLICATION_PREFERENCES, [] { ShowApplicationSetupWindow(); });
	if (!HasWindowOpener(MSG_CDDA_READ_PREFERENCES))
		RegisterWindowOpener(MSG_CDDA_READ_PREFERENCES, [] { ShowCddaReadSetupWindow(); });
	if (!HasWindowOpener(MSG_DEVICE_PREFERENCES))
		RegisterWindowOpener(MSG_DEVICE_PREFERENCES, [] { ShowDeviceSetupWindow(); });
	if (!HasWindowOpener(MSG_SEND_FEEDBACK))
		RegisterWindowOpener(MSG_SEND_FEEDBACK, [] { SendFeedbackFromMenu(); });
	// "Write CD" of a project page, the copy requests of a drive page and its
	// "Add A Copy" target.
	SetRecordSetupOpener([](CProject* project) { ShowCdRecordWindow(project); });
	SetCddaReadWindowOpener([](CDevice* device) {
		CCddaReadWindow* window = ShowCddaReadWindow(device);
		return window != nullptr ? window->Messenger() : BMessenger();
	});
	SetActiveProjectProvider([this]() -> CProject* { return fDestinationView->ActiveProject(); });

	BuildMenus();
	fSplitter->SetPercentage(fModel.InitialSplitterShare());

	setUpdatesEnabled(true);
}

CMainWindow::~CMainWindow()
{
	if (pMainWindow == this)
		pMainWindow = nullptr;
}

void CMainWindow::BuildMenus()
{
	for (const MENU_RECORD& record : fModel.MainMenus()) {
		QMenu* menu = fMenuBar->addMenu(QString::fromUtf8(record.title));
		for (const MENU_ITEM_RECORD& item : record.items) {
			if (item.separator) {
				menu->addSeparator();
				continue;
			}
			QAction* action = menu->addAction(QString::fromUtf8(item.label));
			action->setData(QVariant::fromValue(item.command));
			action->setEnabled(item.enabled);
			action->setCheckable(item.checkable);
			action->setChecked(item.marked);
			if (item.shortcut != 0)
				action->setShortcut(QKeySequence(QKeyCombination(Qt::CTRL, Qt::Key(item.shortcut))));
			uint32 command = item.command;
			connect(action, &QAction::triggered, this, [this, command] {
				if (command == B_QUIT_REQUESTED) {
					if (be_app != nullptr)
						be_app->PostMessage(B_QUIT_REQUESTED);
					return;
				}
				BMessage message(command);
				DispatchMessage(&message);
			});
		}
		// Openers may be registered after the menus were built.
		connect(menu, &QMenu::aboutToShow, this, &CMainWindow::UpdateMenus);
	}
	// Shortcuts work while the menus are closed.
	addActions(fMenuBar->actions());
}

void CMainWindow::UpdateMenus()
{
	for (const MENU_RECORD& record : fModel.MainMenus()) {
		for (const MENU_ITEM_RECORD& item : record.items) {
			if (item.separator)
				continue;
			if (QAction* action = MenuItem(item.command)) {
				action->setEnabled(item.enabled);
				action->setChecked(item.marked);
			}
		}
	}
}

QAction* CMainWindow::MenuItem(uint32 command) const
{
	for (QMenu* menu : fMenuBar->findChildren<QMenu*>()) {
		for (QAction* action : menu->actions()) {
			if (!action->isSeparator() && action->data().isValid() && action->data().toUInt() == command)
				return action;
		}
	}
	return nullptr;
}

bool CMainWindow::QuitRequested()
{
	if (!g_bApplicationQuitting) {
		CDebugFunctionTracer::Trace("passing quit request to application\n");
		if (be_app != nullptr)
			be_app->PostMessage(B_QUIT_REQUESTED);
		return false;
	}
	fModel.SaveOnClose(Frame(), fSplitter->Percentage());
	return true;
}

void CMainWindow::Quit()
{
	if (fDestinationView != nullptr)
		fDestinationView->DetachFromRoster();
	BWindow::Quit();
}

void CMainWindow::MessageReceived(BMessage* message)
{
	switch (message->what) {
		case MSG_ABOUT:
			ShowAboutBox();
			return;
		case MSG_SEND_FEEDBACK:
		case MSG_APPLICATION_PREFERENCES:
		case MSG_CDDA_READ_PREFERENCES:
		case MSG_DEVICE_PREFERENCES:
			// Routed through the window openers; one not installed yet
			// leaves the command unanswered.
			if (!RunWindowOpener(message->what))
				CDebugFunctionTracer::Trace("no window opener for command 0x%08x\n", unsigned(message->what));
			return;
		case MSG_SHOW_SOURCE:
			ToggleSource();
			return;
		case MSG_USE_CONSOLE_LOG:
			ToggleDebugFlag(MSG_USE_CONSOLE_LOG);
			return;
		case MSG_USE_SCSI_CONSOLE_LOG: {
			ToggleDebugFlag(MSG_USE_SCSI_CONSOLE_LOG);
			// Every drive takes the new value as its own debug flag.
			bool on = (GetDebugFlags() & DEBUG_FLAG_SCSI_LOG) != 0;
			for (int32 index = 0; index < kMaxDevices && g_pDevices[index] != nullptr; index++)
				g_pDevices[index]->EnableDebug(on);
			return;
		}
		default:
			break;
	}
	if (fSourceView->HandleMessage(message))
		return;
	if (fDestinationView->HandleMessage(message))
		return;
	BWindow::MessageReceived(message);
}

void CMainWindow::ToggleSource()
{
	fSplitter->SetPercentage(fModel.ToggleSource(fSplitter->Percentage()));
	if (QAction* item = MenuItem(MSG_SHOW_SOURCE))
		item->setChecked(fModel.IsSourceVisible());
}

void CMainWindow::ToggleDebugFlag(uint32 command)
{
	bool on = fModel.ToggleDebugFlag(command);
	if (QAction* item = MenuItem(command))
		item->setChecked(on);
}
