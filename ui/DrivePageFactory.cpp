#include "ui/DrivePageFactory.h"

#include "devices/Device.h"
#include "kit/interface/qt/Window.h"
#include "projects/ProjectRoster.h"
#include "ui/CdEditorWindow.h"
#include "ui/CdPlayerWindow.h"
#include "ui/CdromView.h"

#include <string>

namespace {

std::function<BMessenger(CDevice*)> sCddaReadOpener;
std::function<CProject*()> sActiveProject;

BMessenger FindCddaReadWindow(CDevice* device)
{
	if (sCddaReadOpener)
		return sCddaReadOpener(device);
	return FindWindowMessenger((std::string("Reading audio data - ") + device->GetDeviceName()).c_str());
}

}   // namespace

void SetCddaReadWindowOpener(std::function<BMessenger(CDevice*)> opener)
{
	sCddaReadOpener = std::move(opener);
}

void SetActiveProjectProvider(std::function<CProject*()> provider)
{
	sActiveProject = std::move(provider);
}

QWidget* CreateDrivePage(CDevice* device, QWidget* parent)
{
	CdromViewHooks hooks;
	hooks.showPlayer = ShowCdPlayerWindow;
	hooks.showEditor = ShowCdEditorWindow;
	hooks.showExtraction = FindCddaReadWindow;
	hooks.activeProject = [] { return sActiveProject ? sActiveProject() : nullptr; };
	hooks.roster = gpProjectRoster;
	return new CCdromPage(device, std::move(hooks), parent);
}
