// Helpers shared by the command library's sources.
#include "addons/generic/GenericCommon.h"

#include "frame/Diagnostics.h"
#include "kit/support/Errors.h"

#include <cstring>

bool NotImplemented(const char* function, SCSI_STATUS* status)
{
	DebugLog("generic: %s is not implemented\n", function);
	if (status != nullptr) {
		memset(status, 0, sizeof(*status));
		status->os_status = B_ERROR;
	}
	return false;
}
