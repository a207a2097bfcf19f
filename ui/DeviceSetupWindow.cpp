#include "ui/DeviceSetupWindow.h"

#include "devices/DeviceReport.h"
#include "devices/devices.h"
#include "frame/Diagnostics.h"
#include "kit/interface/Alert.h"
#include "kit/interface/qt/Clipboard.h"
#include "kit/interface/qt/Launcher.h"
#include "ui/DeviceConfigurationWindow.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QPointer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr const char* kTitle = "Device Preferences";

QPointer<CDeviceSetupWindow> sWindow;

}   // namespace

CDeviceSetupWindow::CDeviceSetupWindow()
	:
	BWindow(BRect(0, 0, 619, 479), kTitle),
	fView(std::make_unique<CDeviceSetupView>())
{
	auto* layout = new QVBoxLayout(this);

	fList = new QTreeWidget(this);
	fList->setObjectName("DeviceList");
	fList->setRootIsDecorated(false);
	fList->setColumnCount(4);
	QStringList columns;
	for (const char* column : CDeviceSetupView::kColumns)
		columns << column;
	fList->setHeaderLabels(columns);
	for (const CDeviceSetupView::DEVICE_ROW& row : fView->Rows()) {
		auto* item = new QTreeWidgetItem(fList);
		item->setText(0, QString::fromStdString(row.device));
		item->setText(1, QString::fromStdString(row.vendor));
		item->setText(2, QString::fromStdString(row.product));
		item->setText(3, QString::fromStdString(row.version));
	}
	fList->header()->setSectionResizeMode(0, QHeaderView::Stretch);
	fList->setMaximumHeight(120);
	layout->addWidget(fList);
	connect(fList, &QTreeWidget::itemSelectionChanged, this, [this] {
		QList<QTreeWidgetItem*> selected = fList->selectedItems();
		int index = selected.isEmpty() ? -1 : fList->indexOfTopLevelItem(selected.first());
		if (index != fView->SelectedIndex()) {
			fView->SelectDevice(index);
			_Render();
		}
	});

	auto* middle = new QHBoxLayout;
	auto* identity = new QFormLayout;
	fVendor = new QLineEdit(this);
	fProduct = new QLineEdit(this);
	fRevision = new QLineEdit(this);
	for (QLineEdit* field : {fVendor, fProduct, fRevision})
		field->setReadOnly(true);
	identity->addRow("Vendor", fVendor);
	identity->addRow("Product", fProduct);
	identity->addRow("Version", fRevision);
	for (int m = 0; m < CDeviceSetupView::kMenuCount; m++) {
		fMenus[m] = new QComboBox(this);
		fMenus[m]->setObjectName(QString::fromStdString(fView->Menu(m).label));
		identity->addRow(QString::fromStdString(fView->Menu(m).label), fMenus[m]);
		connect(fMenus[m], &QComboBox::activated, this, [this, m](int item) { fView->MarkSpeed(m, item); });
	}
	middle->addLayout(identity, 1);
	layout->addLayout(middle);

	fStatus = new QPlainTextEdit(this);
	fStatus->setObjectName("DeviceStatus");
	fStatus->setReadOnly(true);
	layout->addWidget(fStatus, 1);

	// The selected drive's configuration and properties windows.
	auto* drive = new QHBoxLayout;
	drive->addStretch(1);
	fConfigure = new QPushButton("Change Configuration…", this);
	fConfigure->setObjectName("ChangeConfiguration");
	fProperties = new QPushButton("Device Properties…", this);
	fProperties->setObjectName("DeviceProperties");
	drive->addWidget(fConfigure);
	drive->addWidget(fProperties);
	layout->addLayout(drive);
	connect(fConfigure, &QPushButton::clicked, this, [this] { ShowDeviceConfigurationWindow(SelectedDevice()); });
	connect(fProperties, &QPushButton::clicked, this, [this] { ShowDevicePropertiesWindow(SelectedDevice()); });

	_Render();
}

CDeviceSetupWindow::~CDeviceSetupWindow() = default;

bool CDeviceSetupWindow::QuitRequested()
{
	if (fView->SelectedIndex() >= 0)
		fView->DeselectDevice(fView->SelectedIndex());
	return true;
}

void CDeviceSetupWindow::SelectRow(int index)
{
	if (index < 0 || index >= fList->topLevelItemCount()) {
		fList->clearSelection();
		return;
	}
	fList->setCurrentItem(fList->topLevelItem(index));
}

CDevice* CDeviceSetupWindow::SelectedDevice() const
{
	const int32 index = fView->SelectedIndex();
	return index >= 0 && index < kMaxDevices ? g_pDevices[index] : nullptr;
}

void CDeviceSetupWindow::_Render()
{
	fVendor->setText(QString::fromStdString(fView->Vendor()));
	fProduct->setText(QString::fromStdString(fView->Product()));
	fRevision->setText(QString::fromStdString(fView->Revision()));
	fStatus->setPlainText(QString::fromStdString(fView->StatusText()));
	fConfigure->setEnabled(SelectedDevice() != nullptr);
	fProperties->setEnabled(SelectedDevice() != nullptr);
	for (int m = 0; m < CDeviceSetupView::kMenuCount; m++) {
		const CDeviceSetupView::SPEED_MENU& menu = fView->Menu(m);
		QSignalBlocker block(fMenus[m]);
		fMenus[m]->clear();
		for (const SPEED_MENU_ITEM& item : menu.items)
			fMenus[m]->addItem(QString::fromStdString(item.label), item.speedValue);
		fMenus[m]->setCurrentIndex(menu.marked);
		fMenus[m]->setEnabled(menu.enabled);
	}
}

void ShowDeviceSetupWindow()
{
	if (sWindow.isNull()) {
		sWindow = new CDeviceSetupWindow();
		sWindow->Show();
	}
	sWindow->Activate();
}

void SendFeedbackFromMenu()
{
	CDebugFunctionTracer::Trace("CMainWindow::SendFeedback\n");
	DebugAlert(kFeedbackIntroText);
	FEEDBACK_ACTIONS actions;
	actions.openMail = OpenNewMail;
	actions.putIntoClipboard = PutTextIntoClipboard;
	FEEDBACK_RESULT result = SendFeedback(DeviceReportAll(), actions);
	if (result.outcome != FEEDBACK_MAILED)
		DebugAlert(result.alertText.c_str());
}
