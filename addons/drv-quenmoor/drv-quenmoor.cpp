// The generic driver for drives read through the operating system's own CD
// support. It recognises nothing and prints nothing; audio is read through
// the system's CD driver and no speed can be chosen.
#include "addons/common/FlagSets.h"
#include "addons/common/ModelTable.h"

const char* pszDriverName = "drv-quenmoor";
const char* pszDriverVersion = DRIVER_VERSION_TEXT;
const char* pszDriverDescription = "BeOS compatible CD-ROM / DVD drives";

namespace {

constexpr SLOT_BINDING kVariants[] = {
	{SLOT_READ_AUDIO, "ReadAudio_BeOS"},
};

constexpr DRIVER_FAMILY kFamily = {
	.noMatch = {nullptr, {}, FLAGS_Q, nullptr, nullptr, nullptr, kVariants},
};

}   // namespace

CDriver* LoadDriver(const SCSI_INQUIRY* inquiry)
{
	return LoadDriverForFamily(kFamily, inquiry);
}
