#include "ui/App.h"

#include "devices/devices.h"
#include "frame/App.h"
#include "frame/Diagnostics.h"
#include "frame/Preference.h"
#include "kit/interface/Alert.h"
#include "kit/interface/qt/GuiThread.h"
#include "kit/interface/qt/QtAlertHandler.h"
#include "kit/interface/qt/Window.h"
#include "kit/media/MediaIO.h"
#include "kit/storage/Directory.h"
#include "kit/storage/Entry.h"
#include "kit/storage/Path.h"
#include "kit/support/Message.h"
#include "projects/ProjectRoster.h"
#include "projects/FileUtil.h"
#include "ui/CopyWindow.h"
#include "ui/MainWindow.h"
#include "ui/MoveFolderNotice.h"
#include "ui/SplashScreen.h"

#include <QApplication>
#include <QPointer>

#include <algorithm>
#include <vector>

CApp::CApp(int* argc, char** argv)
	:
	BApplication(pszAppSig, argc, argv)
{
	QApplication::setApplicationName(QString::fromUtf8(pszAppName));
	CDebugFunctionTracer::Trace("Application constructor\n");
	WatchQuitSignals();
	// Copies of dropped files show the "Copying Files" window.
	InstallFileCopyWindow();
	// A move of the project folder at start-up shows its notice window.
	InstallMoveFolderNotice();
	fInitThread = spawn_thread(initthread, "application init", B_NORMAL_PRIORITY, this);
	if (fInitThread >= 0)
		resume_thread(fInitThread);
}

CApp::~CApp()
{
	CDebugFunctionTracer tracer("CApp::~CApp");
	// Start-up must be over before shutdown begins; work it still wants
	// from the GUI thread is refused from here on.
	CloseGuiDispatch();
	if (fInitThread >= 0) {
		status_t ignored;
		wait_for_thread(fInitThread, &ignored);
		fInitThread = -1;
	}
	Exit();
	StopSplashScreen();
}

status_t CApp::initthread(void* data)
{
	static_cast<CApp*>(data)->InitThread();
	return B_OK;
}

void CApp::InitThread()
{
	CDebugFunctionTracer::Trace("InitThread\n");
	if (Init()) {
		RunOnGuiThread([] {
			// A quit that came first leaves no window to open.
			if (g_bApplicationQuitting)
				return;
			auto* window = new CMainWindow(BRect(40, 40, 550, 420));
			window->Show();
		});
	} else {
		PostMessage(B_QUIT_REQUESTED);
	}
}

bool CApp::Init()
{
	CDebugFunctionTracer tracer("CApp::Init");

	CDebugFunctionTracer::Trace("executing: InitPreferenceHandler()\n");
	InitPreferenceHandler(GetSettingsFile().c_str());

	CPreference splash("splash screen");
	splash.AddBool("show", true);
	splash.Load();
	// Written back so the record is there for the user to change.
	splash.Save();
	bool show = true;
	splash.FindBool("show", &show);
	if (show)
		StartSplashScreen("splash", 10000000);

	CDebugFunctionTracer::Trace("executing: LoadDriver()\n");
	LoadDriver();

	CDebugFunctionTracer::Trace("executing: DevicesInit()\n");
	DevicesInit();

	CDebugFunctionTracer::Trace("creating project roster\n");
	gpProjectRoster = new CProjectRoster;

	CDebugFunctionTracer::Trace("initializing project roster\n");
	std::string path;
	status_t status = GetProjectRootFolder(&path);
	if (status == B_OK)
		status = gpProjectRoster->Init(path.c_str());
	if (status == B_OK)
		return true;

	std::string text = "Couldn't initialize project folder.\n\n" + path + "\n\n" + "Error: " + StatusText(status);
	BAlert* alert = new BAlert("Error Box", text.c_str(), "Quit", nullptr, nullptr, B_WIDTH_AS_USUAL, B_INFO_ALERT);
	alert->SetFeel(B_ALERT_FLOATING_ALL_FEEL);
	alert->Go();
	return false;
}

void CApp::Exit()
{
	CDebugFunctionTracer tracer("CApp::Exit");

	CDebugFunctionTracer::Trace("Saveing project roster folder path\n");
	BDirectory folder;
	BEntry entry;
	BPath path;
	status_t status = gpProjectRoster != nullptr ? gpProjectRoster->GetProjectBaseFolder(&folder) : B_NO_INIT;
	if (status == B_OK)
		status = folder.GetEntry(&entry);
	if (status == B_OK)
		status = entry.GetPath(&path);
	if (status == B_OK) {
		CPreference preference("project root folder");
		preference.AddString("rootfolder", "dummy");
		preference.Load();
		preference.ReplaceString("rootfolder", path.Path());
		preference.Save();
	} else {
		std::string text = std::string("Tarnwick\n\nCouldn't save current project folder location.\n\n") + "Error: "
			+ StatusText(status) + "\n\n";
		BAlert* alert = new BAlert("Error Box", text.c_str(), "Quit", nullptr, nullptr, B_WIDTH_AS_USUAL,
			B_INFO_ALERT);
		alert->SetFeel(B_ALERT_FLOATING_ALL_FEEL);
		alert->Go();
	}

	CDebugFunctionTracer::Trace("Removing project roster\n");
	if (gpProjectRoster != nullptr) {
		gpProjectRoster->Exit();
		delete gpProjectRoster;
		gpProjectRoster = nullptr;
	}

	CDebugFunctionTracer::Trace("executing: DevicesExit()\n");
	DevicesExit();

	CDebugFunctionTracer::Trace("executing: UnloadDriver()\n");
	UnloadDriver();
}

status_t CApp::GetProjectRootFolder(std::string* path)
{
	return ResolveProjectRootFolder(path, MoveFolderContent);
}

void CApp::DevicesInit()
{
	CDebugFunctionTracer tracer("CApp::DevicesInit");
	OpenDevices();
}

void CApp::DevicesExit()
{
	CDebugFunctionTracer tracer("CApp::DevicesExit");
	CloseDevices();
}

void CApp::MessageReceived(BMessage* message)
{
	BApplication::MessageReceived(message);
}

bool CApp::QuitRequested()
{
	CDebugFunctionTracer tracer("CApp::QuitRequested");
	g_bApplicationQuitting = true;
	CDebugFunctionTracer::Trace("asking windows to quit\n");

	// Windows in list order, each asked once. A window's QuitRequested may
	// run a dialog, during which windows can come and go: the next one to
	// ask is the first listed window not asked yet.
	std::vector<QPointer<BWindow>> asked;
	for (;;) {
		BWindow* window = nullptr;
		for (int32 index = 0; BWindow* listed = WindowAt(index); index++) {
			bool done = std::any_of(asked.begin(), asked.end(),
				[listed](const QPointer<BWindow>& earlier) { return earlier.data() == listed; });
			if (!done) {
				window = listed;
				break;
			}
		}
		if (window == nullptr)
			break;
		asked.emplace_back(window);
		QPointer<BWindow> guard(window);
		if (!window->QuitRequested() && !guard.isNull()) {
			CDebugFunctionTracer::Trace("window refused to quit: \"%s\"\n", window->Title().c_str());
			CDebugFunctionTracer::Trace("application quit canceled\n");
			g_bApplicationQuitting = false;
			return false;
		}
	}

	CDebugFunctionTracer::Trace("closing all windows now\n");
	while (BWindow* window = WindowAt(0))
		window->Quit();
	// A copy still running stops now, while the GUI loop is alive.
	ShutDownFileCopying();
	return true;
}

int TarnwickMain(int argc, char** argv)
{
	ApplyCommandLine(argc, argv);
	SetMediaKitLogLevel((GetDebugFlags() & DEBUG_FLAG_CONSOLE_LOG) != 0 ? MediaKitLogLevel::kWarnings
		: MediaKitLogLevel::kQuiet);
	AskForFileDescriptors();

	CQtAlertHandler alerts;
	CAlertHandler* previous = SetAlertHandler(&alerts);
	CApp* app = new CApp(&argc, argv);
	CDebugFunctionTracer::Trace("Running application\n");
	app->Run();
	delete app;
	SetAlertHandler(previous);

	CDebugFunctionTracer::Trace("Application is now shut down\n");
	return 0;
}
