// Sense, status and error texts, the sysfs attribute parsers, and the
// decoders of sense data (both formats), the write parameters page and cue
// sheet entries, over arbitrary bytes.
#include "devices/ScsiMisc.h"
#include "kit/device/ScsiParameters.h"
#include "kit/device/ScsiSense.h"
#include "kit/device/ScsiSysfs.h"

#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

void Check(bool condition)
{
	if (!condition)
		abort();
}

// The decoders read only the bytes they are given (exactly sized copies, so
// that a read beyond them is caught) and what they decode holds together.
void Decode(const uint8_t* data, size_t size)
{
	std::vector<uint8> bytes(data, data + size);
	SScsiSense sense = DecodeSense(bytes.data(), bytes.size());
	Check(sense.valid || (!sense.informationValid && !sense.fieldPointerValid));
	Check(sense.code.key <= 0x0F);
	uint8 fixed[kFixedSenseLength];
	EncodeFixedSense(sense, fixed);
	if (sense.valid) {
		SScsiSense again = DecodeSense(fixed, sizeof(fixed));
		Check(again.code == sense.code);
	}

	SWriteParameters parameters;
	if (DecodeWriteParametersPage(bytes.data(), bytes.size(), &parameters)) {
		Check(bytes.size() >= kWriteParametersMinimumSize);
		Check(strlen(parameters.catalogue) <= 13 && strlen(parameters.isrc) <= 12);
		std::vector<uint8> page(bytes);
		Check(EncodeWriteParametersPage(parameters, page.data(), page.size()));
		SWriteParameters back;
		Check(DecodeWriteParametersPage(page.data(), page.size(), &back));
		Check(back.writeType == parameters.writeType && back.audioPauseLength == parameters.audioPauseLength);
	}

	for (size_t at = 0; at + kCueSheetEntrySize <= bytes.size(); at += kCueSheetEntrySize) {
		SCueSheetEntry entry;
		for (bool bcd : {false, true}) {
			if (!DecodeCueSheetEntry(bytes.data() + at, &entry, bcd))
				continue;
			uint8 out[kCueSheetEntrySize];
			EncodeCueSheetEntry(entry, out, bcd);
			SCueSheetEntry back;
			Check(DecodeCueSheetEntry(out, &back, bcd) && back.lba == entry.lba);
		}
	}
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	SCSI_STATUS status;
	memset(&status, 0, sizeof(status));
	memcpy(&status, data, size < sizeof(status) ? size : sizeof(status));
	bool verbose = size > 0 && (data[0] & 1) != 0;

	std::string text = GetScsiErrorMessage("fuzz", &status, verbose);
	text += GetScsiSenseMessage(status.sense.SenseKey, status.sense.AdditionalSenseCode,
		status.sense.AdditionalSenseCodeQualifier, verbose);
	if (size >= 3)
		text += GetScsiSenseMessage(data[0], data[1], data[2], verbose);
	text += GetScsiStatusByteDescription(status.scsi_status);
	text += GetCamStatusByteDescription(status.cam_status);
	DumpSense(&status.sense);

	std::string_view input(reinterpret_cast<const char*>(data), size);
	int a, b, c, d;
	ParseScsiAddress(input, &a, &b, &c, &d);
	ParseSysfsNumber(input, &a);
	IsLibataHostName(input);
	Decode(data, size);
	return text.empty() ? 1 : 0;
}
