#include "ui/CdEditorWindow.h"

#include "devices/Device.h"
#include "disc/Toc.h"
#include "frame/Preference.h"
#include "kit/support/Message.h"
#include "players/CdromView.h"
#include "ui/WindowOpener.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cstdio>
#include <string>

namespace {

std::string EditorTitle(CDevice* device)
{
	return std::string("CD Properties - ") + device->GetDeviceName();
}

enum { kNumberColumn, kArtistColumn, kTitleColumn, kLengthColumn };

}   // namespace

BMessenger ShowCdEditorWindow(CDevice* device)
{
	std::string title = EditorTitle(device);
	BWindow* window = ShowWindowWithTitle(title.c_str(),
		[&]() -> BWindow* { return new CCdEditorWindow(BRect(210, 100, -1, -1), device); });
	if (window == nullptr)
		return BMessenger();
	return FindWindowMessenger(title.c_str());
}

CCdEditorWindow::CCdEditorWindow(BRect frame, CDevice* device)
	:
	BWindow(LoadWindowPlacement(EditorTitle(device).c_str(), frame), EditorTitle(device).c_str()),
	fDevice(device)
{
	auto* layout = new QVBoxLayout(this);
	auto* titleRow = new QHBoxLayout;
	titleRow->addWidget(new QLabel("Disc title:", this));
	fDiscTitle = new QLineEdit(this);
	fDiscTitle->setObjectName("DiscTitle");
	titleRow->addWidget(fDiscTitle, 1);
	layout->addLayout(titleRow);
	connect(fDiscTitle, &QLineEdit::editingFinished, this, [this] {
		if (fFilling)
			return;
		std::string text = fDiscTitle->text().toStdString();
		CToc* toc = fDevice->GetToc();
		toc->Lock();
		bool changed = text != toc->Title();
		if (changed)
			toc->SetTitle(text.c_str());
		toc->Unlock();
		if (changed)
			fDevice->PostTocUpdate(0);
	});

	fTable = new QTableWidget(0, 4, this);
	fTable->setObjectName("TrackTable");
	fTable->setHorizontalHeaderLabels({"#", "Artist", "Title", "Length"});
	fTable->verticalHeader()->setVisible(false);
	fTable->horizontalHeader()->setSectionResizeMode(kArtistColumn, QHeaderView::Stretch);
	fTable->horizontalHeader()->setSectionResizeMode(kTitleColumn, QHeaderView::Stretch);
	fTable->setSelectionBehavior(QAbstractItemView::SelectRows);
	layout->addWidget(fTable, 1);
	connect(fTable, &QTableWidget::cellChanged, this, [this](int row, int column) { _CellChanged(row, column); });
	resize(520, 360);

	fDevice->Attach(Messenger(), true, true, false, true);
	Fill();
}

CCdEditorWindow::~CCdEditorWindow()
{
	fDevice->Detach(Messenger());
}

void CCdEditorWindow::Fill()
{
	fFilling = true;
	CToc* toc = fDevice->GetToc();
	toc->Lock();
	int32 count = toc->TrackCount();
	fTable->setRowCount(count);
	for (int32 track = 1; track <= count; track++) {
		char number[12];
		snprintf(number, sizeof(number), "%02i", int(track));
		int32 seconds = toc->TrackSize(track) / 75;
		char length[16];
		snprintf(length, sizeof(length), "%02i:%02i", int(seconds / 60), int(seconds % 60));
		auto* numberItem = new QTableWidgetItem(number);
		numberItem->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
		auto* lengthItem = new QTableWidgetItem(length);
		lengthItem->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
		fTable->setItem(track - 1, kNumberColumn, numberItem);
		fTable->setItem(track - 1, kArtistColumn, new QTableWidgetItem(QString::fromUtf8(toc->TrackArtist(track))));
		fTable->setItem(track - 1, kTitleColumn, new QTableWidgetItem(QString::fromUtf8(toc->TrackTitle(track))));
		fTable->setItem(track - 1, kLengthColumn, lengthItem);
	}
	fDiscTitle->setText(QString::fromUtf8(toc->Title()));
	toc->Unlock();
	fTable->resizeColumnToContents(kNumberColumn);
	fTable->resizeColumnToContents(kLengthColumn);
	fFilling = false;
}

void CCdEditorWindow::_CellChanged(int row, int column)
{
	if (fFilling || (column != kArtistColumn && column != kTitleColumn))
		return;
	int32 track = row + 1;
	std::string text = fTable->item(row, column)->text().toStdString();
	CToc* toc = fDevice->GetToc();
	toc->Lock();
	bool changed = false;
	if (track <= toc->TrackCount()) {
		const char* now = column == kArtistColumn ? toc->TrackArtist(track) : toc->TrackTitle(track);
		changed = text != now;
		if (changed && column == kArtistColumn)
			toc->SetTrackArtist(track, text.c_str());
		else if (changed)
			toc->SetTrackTitle(track, text.c_str());
	}
	toc->Unlock();
	if (changed)
		fDevice->PostTocUpdate(track);
}

void CCdEditorWindow::MessageReceived(BMessage* message)
{
	switch (message->what) {
		case CDROM_EDIT_TRACK: {
			int32 track = message->GetInt32("track", 0);
			if (track >= 1 && track <= fTable->rowCount()) {
				fTable->selectRow(track - 1);
				fTable->setCurrentCell(track - 1, kTitleColumn);
			}
			break;
		}
		case M_NOTIFY_CD_INSERTED:
		case M_NOTIFY_CD_REMOVED:
			if (message->what == M_NOTIFY_CD_REMOVED) {
				fFilling = true;
				fTable->setRowCount(0);
				fDiscTitle->clear();
				fFilling = false;
			} else {
				Fill();
			}
			break;
		case M_NOTIFY_TOC_UPDATE:
			Fill();
			break;
		default:
			BWindow::MessageReceived(message);
			break;
	}
}

bool CCdEditorWindow::QuitRequested()
{
	SaveWindowPlacement(Title().c_str(), Frame());
	return true;
}
