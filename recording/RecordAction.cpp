#include "recording/RecordAction.h"

#include "projects/Project.h"
#include "projects/ProjectRoster.h"

CRecordAction::~CRecordAction()
{
	if (bProjectRegistered && pProject != nullptr && gpProjectRoster != nullptr)
		gpProjectRoster->UnregisterProject(pProject);
}
