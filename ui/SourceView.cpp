#include "ui/SourceView.h"

#include "devices/DebugTools.h"
#include "devices/Device.h"
#include "devices/devices.h"
#include "frame/Diagnostics.h"
#include "frame/MainWindowModel.h"
#include "kit/support/Message.h"
#include "ui/DrivePageFactory.h"
#include "ui/VolumesPage.h"

#include <QVariant>

CSourceView* pSourceView = nullptr;

namespace {

// The drive page of one drive; it carries its device for the drive tools.
QWidget* MakeDrivePage(CDevice* device)
{
	QWidget* page = CreateDrivePage(device, nullptr);
	page->setProperty("device", QVariant::fromValue(static_cast<void*>(device)));
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
	CDevice* device = DeviceOfPage(ActivePage());
	if (device == nullptr)
		CDebugFunctionTracer::Trace("drive tool %u: the active page is not a drive page\n", unsigned(message->what));
	else
		RunDeviceTool(message->what, device);
	return true;
}
