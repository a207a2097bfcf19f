// MODE SENSE and MODE SELECT.
#include "addons/generic/Generic.h"

#include "addons/generic/DriveResponses.h"
#include "addons/generic/GenericCommon.h"

#include <algorithm>

// The answer is MODE SENSE(10) data with its block descriptors; the header
// is clamped to what arrived and the rest of the caller's buffer is zeroed,
// so the block descriptor length and the page lengths can be trusted up to
// `length`.
bool ModeSense(CDevice* device, void* buffer, int32 length, int32 page, uint16 pageControl, SCSI_STATUS* status)
{
	if (buffer == nullptr || length < 8 || page < 0 || page > kModePageAll || pageControl > cdb::kPageControlSaved)
		return FailWith(status, B_BAD_VALUE);
	size_t size = std::min<size_t>(size_t(length), 0xFFFF);
	auto* data = static_cast<uint8*>(buffer);
	size_t transferred = 0;
	bool ok = SendCommand(device, cdb::ModeSense10(false, uint8(pageControl), uint8(page), uint16(size)), kDataIn,
		data, size, status, &transferred);
	response::ClampModeSense10(data, size_t(length), ok ? transferred : 0);
	return ok && transferred >= 8;
}

bool ModeSelect(CDevice* device, const void* buffer, int32 length, uint16 pageFormat, uint16 save,
	SCSI_STATUS* status)
{
	if (buffer == nullptr || length < 8 || length > 0xFFFF)
		return FailWith(status, B_BAD_VALUE);
	return SendCommand(device, cdb::ModeSelect10(pageFormat != 0, save != 0, uint16(length)), kDataOut,
		const_cast<void*>(buffer), size_t(length), status);
}
