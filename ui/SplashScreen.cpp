#include "ui/SplashScreen.h"

#include "kit/interface/qt/Bitmap.h"
#include "kit/interface/qt/GuiThread.h"
#include "kit/support/Message.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include <cmath>

std::atomic<thread_id> SplashScreenThreadId {-1};
std::atomic<bool> bStopSplashScreenThread {false};

namespace {

constexpr bigtime_t kPollInterval = 200000;

}   // namespace

void StartSplashScreen(const char* bitmapName, bigtime_t displayTime)
{
	bStopSplashScreenThread = false;
	auto* splash = new CSplashScreen(bitmapName, displayTime);
	thread_id thread = spawn_thread(SplashScreenThread, "splash image", 21, splash);
	if (thread < 0) {
		delete splash;
		return;
	}
	SplashScreenThreadId = thread;
	resume_thread(thread);
}

void StopSplashScreen()
{
	thread_id thread = SplashScreenThreadId.exchange(-1);
	if (thread < 0)
		return;
	bStopSplashScreenThread = true;
	status_t ignored;
	wait_for_thread(thread, &ignored);
}

status_t SplashScreenThread(void* data)
{
	auto* splash = static_cast<CSplashScreen*>(data);
	bigtime_t start = system_time();
	while (!bStopSplashScreenThread) {
		if (system_time() - start >= splash->DisplayTime() || splash->IsHidden())
			break;
		snooze(kPollInterval);
	}
	delete splash;
	return B_OK;
}

// #pragma mark - CSplashScreen

CSplashScreen::CSplashScreen(const char* bitmapName, bigtime_t displayTime)
	:
	fDisplayTime(displayTime),
	fBitmap(GetBitmap(bitmapName)),
	fHidden(std::make_shared<std::atomic<bool>>(false))
{
	if (fBitmap.isNull()) {
		fDisplayTime = 0;
		*fHidden = true;
		return;
	}
	bool shown = RunOnGuiThread([this] {
		auto* window = new CSplashScreenWindow(fBitmap, fHidden);
		window->Show();
		fWindow = window->Messenger();
	});
	if (!shown) {
		fDisplayTime = 0;
		*fHidden = true;
	}
}

CSplashScreen::~CSplashScreen()
{
	// Fails harmlessly when the window is gone already.
	BMessage quit(B_QUIT_REQUESTED);
	fWindow.SendMessage(&quit, nullptr, 0);
}

bool CSplashScreen::IsHidden() const
{
	return *fHidden;
}

// #pragma mark - CSplashScreenWindow

namespace {

BRect CentredFrame(const QImage& bitmap)
{
	QRect screen(0, 0, bitmap.width(), bitmap.height());
	if (QScreen* primary = QGuiApplication::primaryScreen())
		screen = primary->geometry();
	float left = screen.left() + std::ceil((screen.width() - bitmap.width()) / 2.0f);
	float top = screen.top() + std::ceil((screen.height() - bitmap.height()) / 2.0f);
	return BRect(left, top, left + bitmap.width() - 1, top + bitmap.height() - 1);
}

}   // namespace

CSplashScreenWindow::CSplashScreenWindow(const QImage& bitmap, std::shared_ptr<std::atomic<bool>> hidden)
	:
	BWindow(CentredFrame(bitmap), "splash",
		Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
	fHidden(std::move(hidden))
{
	setAttribute(Qt::WA_ShowWithoutActivating);
	setAttribute(Qt::WA_TranslucentBackground);
	setFixedSize(bitmap.width(), bitmap.height());
	auto* view = new CSplashScreenBitmapView(bitmap, this);
	view->setGeometry(0, 0, bitmap.width(), bitmap.height());
}

CSplashScreenWindow::~CSplashScreenWindow()
{
	*fHidden = true;
}

bool CSplashScreenWindow::QuitRequested()
{
	Hide();
	return true;
}

void CSplashScreenWindow::hideEvent(QHideEvent* event)
{
	*fHidden = true;
	BWindow::hideEvent(event);
}

// #pragma mark - CSplashScreenBitmapView

CSplashScreenBitmapView::CSplashScreenBitmapView(const QImage& bitmap, QWidget* parent)
	:
	QWidget(parent),
	fBitmap(bitmap.copy())
{
	setObjectName("bitmap splash view");
	setAttribute(Qt::WA_TranslucentBackground);
}

void CSplashScreenBitmapView::paintEvent(QPaintEvent* event)
{
	QPainter painter(this);
	painter.drawImage(0, 0, fBitmap);
}

void CSplashScreenBitmapView::mousePressEvent(QMouseEvent* event)
{
	window()->hide();
}
