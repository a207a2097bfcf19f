#include "kit/interface/qt/Clipboard.h"

#include "kit/interface/qt/GuiThread.h"

#include <QClipboard>
#include <QGuiApplication>

#include <cstdio>

status_t SetClipboardText(const std::string& text)
{
	bool ran = RunOnGuiThread([&text] {
		QGuiApplication::clipboard()->setText(QString::fromStdString(text), QClipboard::Clipboard);
	});
	return ran ? B_OK : B_NO_INIT;
}

status_t GetClipboardText(std::string* text)
{
	if (text == nullptr)
		return B_BAD_VALUE;
	bool ran = RunOnGuiThread(
		[text] { *text = QGuiApplication::clipboard()->text(QClipboard::Clipboard).toStdString(); });
	return ran ? B_OK : B_NO_INIT;
}

bool PutTextIntoClipboard(const char* text)
{
	if (SetClipboardText(text != nullptr ? text : "") != B_OK) {
		printf("could not lock clipboard\n");
		return false;
	}
	return true;
}
