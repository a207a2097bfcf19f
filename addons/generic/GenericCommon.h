// Helpers shared by the command library's sources; not exported.
#pragma once

#include "driver/driverbaseclass.h"

// The answer of a command whose body is still to be written: logs the
// function's name, fills `status` (when given) with zeros and os_status
// B_ERROR, and returns false.
bool NotImplemented(const char* function, SCSI_STATUS* status);
