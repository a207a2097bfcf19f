#include "emulator/MmcDefs.h"

#include <cstring>

namespace mmc {

void EncodeFixedSense(const SSense& sense, uint8* out)
{
	std::memset(out, 0, kSenseLength);
	out[0] = uint8(0x70 | (sense.infoValid ? 0x80 : 0x00));
	out[2] = uint8(sense.key & 0x0F);
	Put32(out + 3, sense.info);
	out[7] = uint8(kSenseLength - 8);
	out[12] = sense.asc;
	out[13] = sense.ascq;
	if (sense.fieldValid) {
		out[15] = uint8(0x80 | (sense.fieldInCdb ? 0x40 : 0x00));
		Put16(out + 16, sense.field);
	}
}

}   // namespace mmc
