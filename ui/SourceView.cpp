#include "ui/SourceView.h"

#include "devices/Device.h"
#include "devices/devices.h"
#include "frame/Diagnostics.h"
#include "frame/MainWindowModel.h"
#include "kit/support/Message.h"
#include "ui/VolumesPage.h"

#include <QLabel>
#include <QVBoxLayout>
#include <QVariant>

CSourceView* pSourceView = nullptr;

namespace {

// The page of one drive until the drive pane fills it.
QWidget* MakeDrivePage(CDevice* device)
{
	auto* page = new QWidget;
	page->setObjectName("cdrom-view");
	page->setProperty("device", QVariant::fromValue(static_cast<void*>(device)));
	auto* layout = new QVBoxLayout(page);
	auto* label = new QLabel(QString::fromUtf8(device->GetDeviceName()), page);
	label->setAlignment(Qt::AlignTop | Qt::AlignLeft);
	label->setWordWrap(true);
	layout->addWidget(label);
	return page;
}

}   // namespace

CSourceView::CSourceView(BWindow* window, QWidget* parent)
	:
	CContainerView("source-container-view", "Source", parent),
	fVolumes(new CVolumesPage(window))
{
	pSourceView = this;
	AddPage(fVolumes, "Volumes");
	for (int32 index = 0; index < kMaxDevices && g_pDevices[index] != nullptr; index++)
		AddPage(MakeDrivePage(g_pDevices[index]), g_pDevices[index]->GetUniqueDeviceName());
}

CSourceView::~CSourceView()
{
	if (pSourceView == this)
		pSourceView = nullptr;
}

CDevice* CSourceView::DeviceOfPage(QWidget* page)
{
	if (page == nullptr)
		return nullptr;
	return static_cast<CDevice*>(page->property("device").value<void*>());
}

bool CSourceView::HandleMessage(BMessage* message)
{
	if (message->what < MSG_DRIVE_PAGE_FIRST || message->what > MSG_DRIVE_PAGE_LAST)
		return false;
	if (DeviceOfPage(ActivePage()) == nullptr)
		CDebugFunctionTracer::Trace("drive tool %u: the active page is not a drive page\n", unsigned(message->what));
	return true;
}
