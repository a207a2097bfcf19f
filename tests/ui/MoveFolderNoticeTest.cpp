// The notice window shown while the project folder moves.
#include "kit/interface/qt/GuiThread.h"
#include "ui/MoveFolderNotice.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

QMessageBox* FindNotice()
{
	for (QWidget* widget : QApplication::topLevelWidgets()) {
		auto* box = qobject_cast<QMessageBox*>(widget);
		if (box != nullptr && box->isVisible() && box->windowTitle() == "moving folder")
			return box;
	}
	return nullptr;
}

TEST(MoveFolderNoticeTest, StaysUpWithItsButtonDisabledUntilClosed)
{
	// The test thread runs the Qt application: it is the GUI thread.
	OpenGuiDispatch();
	CQtMoveFolderNotice notice;
	notice.Show(MoveFolderNoticeRequest());
	QMessageBox* box = FindNotice();
	ASSERT_NE(box, nullptr);
	EXPECT_TRUE(box->text().startsWith("Tarnwick\n\nPlease wait while the project folder is moved"));
	ASSERT_EQ(box->buttons().size(), 1);
	EXPECT_FALSE(box->buttons()[0]->isEnabled());

	notice.Close();
	QApplication::processEvents();
	EXPECT_EQ(FindNotice(), nullptr);
	// Closing twice is harmless.
	notice.Close();
	CloseGuiDispatch();
}

}   // namespace
