// The generic driver for MMC recorders. It recognises nothing and prints
// nothing; the device object completes its flags and tables from the
// drive's own capability page.
#include "addons/common/FlagSets.h"
#include "addons/common/ModelTable.h"
#include "addons/common/SpeedTables.h"

const char* pszDriverName = "drv-pellworth";
const char* pszDriverVersion = DRIVER_VERSION_TEXT;
const char* pszDriverDescription = "SCSI-3 MultiMedia Command Set compatible CD recorder";

namespace {

constexpr SLOT_BINDING kVariants[] = {
	{SLOT_SPEED_SET, "SpeedSet_mmc"},
	{SLOT_SPEED_GET, "SpeedGet_mmc"},
};

constexpr DRIVER_FAMILY kFamily = {
	.noMatch = {nullptr, {}, FLAGS_P, g_GenericReadSpeed, g_GenericWriteSpeed, g_GenericWriteSpeed, kVariants},
};

}   // namespace

CDriver* LoadDriver(const SCSI_INQUIRY* inquiry)
{
	return LoadDriverForFamily(kFamily, inquiry);
}
