#include "projects/ProjectRoster.h"

#include "frame/Diagnostics.h"
#include "kit/storage/Directory.h"

CProjectRoster* gpProjectRoster = nullptr;

CProjectRoster::CProjectRoster() = default;

CProjectRoster::~CProjectRoster() = default;

status_t CProjectRoster::Init(const char* rootFolder)
{
	if (rootFolder == nullptr)
		return B_BAD_VALUE;
	std::lock_guard<std::recursive_mutex> lock(fLock);
	BDirectory folder(rootFolder);
	if (folder.InitCheck() != B_OK)
		return folder.InitCheck();
	fRootFolder = rootFolder;
	fInitialized = true;
	CDebugFunctionTracer::Trace("CProjectRoster::Init: projects are not loaded yet\n");
	return B_OK;
}

void CProjectRoster::Exit()
{
	std::lock_guard<std::recursive_mutex> lock(fLock);
	fInitialized = false;
}

status_t CProjectRoster::GetProjectBaseFolder(BDirectory* dir)
{
	if (dir == nullptr)
		return B_BAD_VALUE;
	std::lock_guard<std::recursive_mutex> lock(fLock);
	if (!fInitialized)
		return B_NO_INIT;
	return dir->SetTo(fRootFolder.c_str());
}

status_t MoveFolderContent(const char* from, const char* to)
{
	CDebugFunctionTracer::Trace("MoveFolderContent: moving project folders is not available yet\n");
	return B_UNSUPPORTED;
}
