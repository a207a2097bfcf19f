#include "ui/MainWindow.h"

#include "devices/Device.h"
#include "devices/devices.h"
#include "frame/App.h"
#include "frame/Diagnostics.h"
#include "frame/Preference.h"
#include "kit/interface/Alert.h"
#include "kit/interface/qt/Application.h"
#include "kit/support/Message.h"
#include "ui/DestinationView.h"
#include "ui/SourceView.h"
#include "widgets/SplitterView.h"

#include <QAction>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QVBoxLayout>

#include <string>

CMainWindow* pMainWindow = nullptr;

namespace {

const char* const kPlacementRecord = "main window";
const char* const kSourceVisibleRecord = "Main Window Source Visible";
const char* const kSplitterRecord = "Main Window Splitter";

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
	fDestinationView(nullptr),
	fSourceVisible(true)
{
	pMainWindow = this;
	setUpdatesEnabled(false);
	SetSizeLimits(400, 4096, 250, 4096);

	// Panes first, then menu bar, splitter and menus.
	auto* sourcePane = new QWidget;
	auto* sourceLayout = new QVBoxLayout(sourcePane);
	sourceLayout->setContentsMargins(5, 5, 2, 5);
	fSourceView = new CSourceView;
	sourceLayout->addWidget(fSourceView);
	fDestinationView = new CDestinationView;

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

	BuildMenus();

	fSourceVisible = LoadWindowPosition(kSourceVisibleRecord, BPoint(1.0f, 0)).x == 1.0f;
	float percentage = LoadWindowPosition(kSplitterRecord, BPoint(50.0f, 0)).x;
	fSplitter->SetPercentage(fSourceVisible ? percentage : 0);
	MenuItem(MSG_SHOW_SOURCE)->setChecked(fSourceVisible);

	setUpdatesEnabled(true);
}

CMainWindow::~CMainWindow()
{
	if (pMainWindow == this)
		pMainWindow = nullptr;
}

QAction* CMainWindow::AddItem(QMenu* menu, const char* label, uint32 command, bool enabled)
{
	QAction* action = menu->addAction(QString::fromUtf8(label));
	action->setData(QVariant::fromValue(command));
	action->setEnabled(enabled);
	connect(action, &QAction::triggered, this, [this, command] {
		if (command == B_QUIT_REQUESTED) {
			if (be_app != nullptr)
				be_app->PostMessage(B_QUIT_REQUESTED);
			return;
		}
		BMessage message(command);
		DispatchMessage(&message);
	});
	return action;
}

void CMainWindow::BuildMenus()
{
	// Items whose windows or tools are not part of the program yet are
	// shown disabled.
	QMenu* application = fMenuBar->addMenu(QString::fromUtf8(pszAppName));
	AddItem(application, "Send Feedback…", MSG_SEND_FEEDBACK, false);
	application->addSeparator();
	AddItem(application, "About…", MSG_ABOUT);
	application->addSeparator();
	AddItem(application, "Quit", B_QUIT_REQUESTED)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

	QMenu* settings = fMenuBar->addMenu("Settings");
	AddItem(settings, "Application Preferences…", MSG_APPLICATION_PREFERENCES, false);
	AddItem(settings, "CD Reading Preferences…", MSG_CDDA_READ_PREFERENCES, false);
	AddItem(settings, "Device Preferences…", MSG_DEVICE_PREFERENCES, false);
	settings->addSeparator();
	QAction* showSource = AddItem(settings, "Show Source", MSG_SHOW_SOURCE);
	showSource->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
	showSource->setCheckable(true);

	if ((GetDebugFlags() & DEBUG_FLAG_DEBUG_MODE) == 0)
		return;
	QMenu* tools = fMenuBar->addMenu("Debug Tools");
	AddItem(tools, "execute ReadBufferCapacity…", MSG_DEVICE_TOOL_1, false);
	AddItem(tools, "execute ReadDiscInformation…", MSG_DEVICE_TOOL_2, false);
	AddItem(tools, "execute ReadAtipData…", MSG_DEVICE_TOOL_3, false);
	AddItem(tools, "show Write-Parameter-Page…", MSG_DEVICE_TOOL_4, false);

	QMenu* debug = fMenuBar->addMenu("Debug");
	QAction* console = AddItem(debug, "Use Console Log", MSG_USE_CONSOLE_LOG);
	console->setCheckable(true);
	console->setChecked((GetDebugFlags() & DEBUG_FLAG_CONSOLE_LOG) != 0);
	QAction* scsi = AddItem(debug, "Use SCSI Console Log", MSG_USE_SCSI_CONSOLE_LOG);
	scsi->setCheckable(true);
	scsi->setChecked((GetDebugFlags() & DEBUG_FLAG_SCSI_LOG) != 0);
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
	SaveWindowPlacement(kPlacementRecord, Frame());
	SaveWindowPosition(kSourceVisibleRecord, BPoint(fSourceVisible ? 1.0f : 0.0f, 0));
	if (fSourceVisible)
		SaveWindowPosition(kSplitterRecord, BPoint(fSplitter->Percentage(), 0));
	return true;
}

void CMainWindow::MessageReceived(BMessage* message)
{
	switch (message->what) {
		case MSG_ABOUT: {
			std::string text = std::string(pszAppName) + " " + pszAppVersion
				+ "\n\nRecords audio CDs, reads the tracks of audio CDs into sound files and plays CDs.\n";
			(new BAlert("About Tarnwick", text.c_str(), "OK"))->Go();
			break;
		}
		case MSG_SHOW_SOURCE:
			ToggleSource();
			break;
		case MSG_USE_CONSOLE_LOG:
			ToggleDebugFlag(DEBUG_FLAG_CONSOLE_LOG, MSG_USE_CONSOLE_LOG);
			break;
		case MSG_USE_SCSI_CONSOLE_LOG:
			ToggleDebugFlag(DEBUG_FLAG_SCSI_LOG, MSG_USE_SCSI_CONSOLE_LOG);
			// Every drive takes the new value as its own debug flag.
			for (int32 index = 0; index < kMaxDevices && g_pDevices[index] != nullptr; index++)
				g_pDevices[index]->EnableDebug((GetDebugFlags() & DEBUG_FLAG_SCSI_LOG) != 0);
			break;
		default:
			BWindow::MessageReceived(message);
			break;
	}
}

void CMainWindow::ToggleSource()
{
	fSourceVisible = !fSourceVisible;
	if (fSourceVisible) {
		fSplitter->SetPercentage(LoadWindowPosition(kSplitterRecord, BPoint(50.0f, 0)).x);
	} else {
		SaveWindowPosition(kSplitterRecord, BPoint(fSplitter->Percentage(), 0));
		fSplitter->SetPercentage(0);
	}
	if (QAction* item = MenuItem(MSG_SHOW_SOURCE))
		item->setChecked(fSourceVisible);
}

void CMainWindow::ToggleDebugFlag(uint32 flag, uint32 command)
{
	uint32 flags = GetDebugFlags() ^ flag;
	SetDebugFlags(flags);
	if (QAction* item = MenuItem(command))
		item->setChecked((flags & flag) != 0);
}
