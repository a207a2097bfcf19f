#include "emulator/MmcDefs.h"

namespace mmc {

void EncodeFixedSense(const SSense& sense, uint8* out)
{
	SScsiSense record;
	record.valid = true;
	record.code = sense.Code();
	record.informationValid = sense.infoValid;
	record.information = sense.info;
	record.fieldPointerValid = sense.fieldValid;
	record.fieldInCommand = sense.fieldInCdb;
	record.fieldPointer = sense.field;
	::EncodeFixedSense(record, out);
}

}   // namespace mmc
