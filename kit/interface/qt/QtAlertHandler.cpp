#include "kit/interface/qt/QtAlertHandler.h"

#include "kit/interface/qt/GuiThread.h"
#include "kit/interface/qt/Window.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>
#include <vector>

namespace {

QMessageBox::Icon IconFor(alert_type type)
{
	switch (type) {
		case B_EMPTY_ALERT:
			return QMessageBox::NoIcon;
		case B_WARNING_ALERT:
			return QMessageBox::Warning;
		case B_STOP_ALERT:
			return QMessageBox::Critical;
		case B_INFO_ALERT:
		case B_IDEA_ALERT:
		default:
			return QMessageBox::Information;
	}
}

}   // namespace

int32 RunAlertDialog(const AlertRequest& request)
{
	QMessageBox box;
	box.setWindowTitle(QString::fromStdString(request.title));
	box.setTextFormat(Qt::PlainText);
	box.setText(QString::fromStdString(request.text));
	box.setIcon(IconFor(request.type));
	if (request.feel == B_ALERT_FLOATING_ALL_FEEL)
		box.setWindowFlag(Qt::WindowStaysOnTopHint, true);

	std::vector<QPushButton*> buttons;
	std::vector<std::string> labels = request.buttons;
	if (labels.empty())
		labels.push_back("OK");
	for (const std::string& label : labels)
		buttons.push_back(box.addButton(QString::fromStdString(label), QMessageBox::AcceptRole));
	if (request.width == B_WIDTH_FROM_WIDEST) {
		int widest = 0;
		for (QPushButton* button : buttons)
			widest = std::max(widest, button->sizeHint().width());
		for (QPushButton* button : buttons)
			button->setMinimumWidth(widest);
	}
	// The last button answers Enter, as on the platform.
	box.setDefaultButton(buttons.back());

	// Escape and the close button do not answer an alert: only a button does.
	for (;;) {
		box.exec();
		auto pressed = std::find(buttons.begin(), buttons.end(), box.clickedButton());
		if (pressed != buttons.end())
			return int32(pressed - buttons.begin());
	}
}

int32 CQtAlertHandler::Show(const AlertRequest& request)
{
	if (IsGuiThread() && QApplication::instance() != nullptr)
		return RunAlertDialog(request);
	int32 answer = 0;
	if (RunOnGuiThread([&] { answer = RunAlertDialog(request); }))
		return answer;
	CConsoleAlertHandler console;
	return console.Show(request);
}

int32 ShowErrorAlert(BWindow* window, const char* text, const char* button0, const char* button1,
	const char* button2)
{
	if (window != nullptr) {
		RunOnGuiThread([window] {
			// Only a window still listed may be touched.
			for (int32 index = 0; BWindow* listed = WindowAt(index); index++) {
				if (listed == window) {
					window->Activate();
					break;
				}
			}
		});
	}
	BAlert* alert = new BAlert("error alert", text, button0, button1, button2, B_WIDTH_FROM_WIDEST,
		button2 != nullptr ? B_OFFSET_SPACING : B_EVEN_SPACING, B_STOP_ALERT);
	return alert->Go();
}
