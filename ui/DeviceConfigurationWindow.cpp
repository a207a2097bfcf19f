#include "ui/DeviceConfigurationWindow.h"

#include "devices/Device.h"
#include "devices/DeviceProperties.h"
#include "kit/support/Message.h"
#include "ui/WindowOpener.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const BRect kPlace(50, 50, -1, -1);

QComboBox* AddMenu(QFormLayout* form, QWidget* parent, const CONFIGURATION_MENU& menu)
{
	auto* box = new QComboBox(parent);
	box->setObjectName(QString::fromStdString(menu.label));
	box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
	form->addRow(QString::fromStdString(menu.label) + ":", box);
	return box;
}

}   // namespace

BWindow* ShowDeviceConfigurationWindow(CDevice* device)
{
	if (device == nullptr)
		return nullptr;
	const std::string title = DeviceConfigurationTitle(device);
	return ShowWindowWithTitle(title.c_str(), [device] { return new CDeviceConfigurationWindow(device); });
}

BWindow* ShowDevicePropertiesWindow(CDevice* device)
{
	if (device == nullptr)
		return nullptr;
	const std::string title = DevicePropertiesTitle(device);
	return ShowWindowWithTitle(title.c_str(), [device] { return new CDevicePropertiesWindow(device); });
}

CDeviceConfigurationWindow::CDeviceConfigurationWindow(CDevice* device, CPreference* settings)
	:
	BWindow(kPlace, DeviceConfigurationTitle(device).c_str()),
	fView(settings != nullptr ? settings : (device != nullptr ? device->GetPreference() : nullptr), device)
{
	using View = CDeviceConfigurationView;
	auto* layout = new QVBoxLayout(this);
	layout->setContentsMargins(10, 10, 10, 10);

	auto* reading = new QGroupBox("Reading", this);
	auto* readingForm = new QFormLayout(reading);
	for (int32 m : {View::kSpindownTimeout, View::kSpinupDelay, View::kSyncMode, View::kSyncSectors,
			 View::kErrorAction, View::kRetryCount}) {
		fMenus[m] = AddMenu(readingForm, reading, fView.Menu(m));
	}
	layout->addWidget(reading);

	// The buffer geometry sits behind "More".
	fBuffers = new QGroupBox("Buffers", this);
	auto* bufferForm = new QFormLayout(fBuffers);
	for (int32 m : {View::kReadClusterSize, View::kReadElementSize, View::kReadBufferSize, View::kWriteClusterSize,
			 View::kWriteElementSize, View::kWriteBufferSize}) {
		fMenus[m] = AddMenu(bufferForm, fBuffers, fView.Menu(m));
	}
	fBuffers->setVisible(false);
	layout->addWidget(fBuffers);

	auto* buttons = new QHBoxLayout;
	fMore = new QPushButton("More", this);
	fMore->setObjectName("More");
	fMore->setCheckable(true);
	buttons->addWidget(fMore);
	buttons->addStretch(1);
	layout->addLayout(buttons);
	connect(fMore, &QPushButton::toggled, this, [this](bool on) {
		fBuffers->setVisible(on);
		fMore->setText(on ? "Less" : "More");
		adjustSize();
	});

	for (int32 m = 0; m < View::kMenuCount; m++) {
		connect(fMenus[m], &QComboBox::activated, this, [this, m](int index) {
			if (fRendering || index < 0)
				return;
			BMessage message(DEVICE_CONFIGURATION_CHOICE);
			message.AddInt32("menu", m);
			message.AddInt32(fView.Menu(m).field, fMenus[m]->itemData(index).toInt());
			PostMessage(&message);
		});
	}

	fView.SetTarget(Messenger());
	fView.Load();
	_Render();
	resize(sizeHint());
}

CDeviceConfigurationWindow::~CDeviceConfigurationWindow() = default;

void CDeviceConfigurationWindow::MessageReceived(BMessage* message)
{
	if (message->what == DEVICE_CONFIGURATION_CHANGED) {
		_Render();
		return;
	}
	if (!fView.MessageReceived(message))
		BWindow::MessageReceived(message);
}

bool CDeviceConfigurationWindow::QuitRequested()
{
	return fView.QuitRequested();
}

void CDeviceConfigurationWindow::_Render()
{
	fRendering = true;
	for (int32 m = 0; m < CDeviceConfigurationView::kMenuCount; m++) {
		const CONFIGURATION_MENU& menu = fView.Menu(m);
		QComboBox* box = fMenus[m];
		QSignalBlocker block(box);
		bool same = box->count() == int(menu.items.size());
		for (int i = 0; same && i < box->count(); i++)
			same = box->itemData(i).toInt() == menu.items[size_t(i)].value;
		if (!same) {
			box->clear();
			for (const CONFIGURATION_ITEM& item : menu.items)
				box->addItem(QString::fromStdString(item.label), item.value);
		}
		box->setCurrentIndex(menu.marked);
		box->setEnabled(menu.enabled);
	}
	fRendering = false;
}

CDevicePropertiesWindow::CDevicePropertiesWindow(CDevice* device)
	:
	BWindow(kPlace, DevicePropertiesTitle(device).c_str())
{
	auto* layout = new QVBoxLayout(this);
	layout->setContentsMargins(10, 10, 10, 10);
	fList = new QTreeWidget(this);
	fList->setObjectName("Properties");
	fList->setColumnCount(2);
	fList->setHeaderLabels({"Property", "Value"});
	fList->setRootIsDecorated(false);
	fList->setTextElideMode(Qt::ElideNone);
	for (const PROPERTY_SECTION& section : DeviceProperties(device)) {
		auto* title = new QTreeWidgetItem(fList);
		title->setText(0, QString::fromStdString(section.title));
		title->setFirstColumnSpanned(true);
		QFont bold = title->font(0);
		bold.setBold(true);
		title->setFont(0, bold);
		for (const PROPERTY_ROW& row : section.rows) {
			auto* item = new QTreeWidgetItem(title);
			item->setText(0, QString::fromStdString(row.label));
			item->setTextAlignment(0, Qt::AlignLeft | Qt::AlignTop);
			item->setText(1, QString::fromStdString(row.value));
			item->setToolTip(1, item->text(1));
		}
	}
	fList->expandAll();
	fList->resizeColumnToContents(0);
	fList->header()->setStretchLastSection(true);
	layout->addWidget(fList);
	resize(640, 560);
}

CDevicePropertiesWindow::~CDevicePropertiesWindow() = default;
