// Fuzzes the command library's parsers of drive answers (mode sense data and
// the capabilities page, the table of contents, formatted Q, CD-Text, disc,
// track and buffer information, cue sheets) with arbitrary bytes from a
// fake drive, which may also deliver fewer bytes than its answer claims.
//
// Input: byte 0 picks the parser, byte 1 how many bytes of the answer
// "arrive" (the rest is cut off); the remaining bytes are the answer, kept
// in a buffer of exactly their size so that any read beyond it is caught.
#include "addons/generic/DriveResponses.cpp"

#include <cstdlib>
#include <vector>

namespace {

void Check(bool condition)
{
	if (!condition)
		abort();
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	if (size < 2)
		return 0;
	uint8 selector = data[0];
	uint8 cut = data[1];
	std::vector<uint8> answer(data + 2, data + size);
	size_t transferred = answer.size() - std::min<size_t>(cut, answer.size());
	uint8* bytes = answer.data();

	switch (selector % 10) {
		case 0: {
			size_t offset = 0, pageSize = 0;
			if (response::FindModePage10(bytes, transferred, selector >> 2, &offset, &pageSize))
				Check(pageSize >= 2 && offset + pageSize <= transferred);
			if (response::FindModePage6(bytes, transferred, selector >> 2, &offset, &pageSize))
				Check(pageSize >= 2 && offset + pageSize <= transferred);
			break;
		}
		case 1: {
			response::ClampModeSense10(bytes, answer.size(), transferred);
			if (answer.size() >= 8) {
				// The header a caller reads never points past what arrived.
				size_t length = size_t(GetBe16(bytes)) + 2;
				size_t descriptors = GetBe16(bytes + 6);
				Check(transferred < 2 ? length == 2 : length <= transferred);
				Check(descriptors == 0 || 8 + descriptors <= length);
			}
			break;
		}
		case 2: {
			response::SCapabilities capabilities;
			response::ParseCapabilities(bytes, transferred, &capabilities);
			break;
		}
		case 3: {
			response::SToc toc;
			if (response::ParseToc(bytes, transferred, &toc)) {
				Check(toc.firstTrack >= 1 && toc.firstTrack <= toc.lastTrack && toc.lastTrack <= 99);
				for (int32 n = toc.firstTrack; n <= toc.lastTrack; n++)
					Check(toc.start[n] < (n < toc.lastTrack ? toc.start[n + 1] : toc.leadOut));
			}
			break;
		}
		case 4: {
			int32 track = 0, index = 0;
			if (response::ParseFormattedQ(bytes, transferred, selector >= 0x80, &track, &index))
				Check(track >= 1 && track <= 99 && index >= 0 && index <= 99);
			break;
		}
		case 5: {
			size_t packs = response::ClampCdText(bytes, answer.size(), transferred);
			Check(packs == 0 || 4 + packs * 18 <= transferred);
			if (answer.size() >= 2)
				Check(size_t(GetBe16(bytes)) == (packs == 0 ? 0 : 2 + packs * 18));
			break;
		}
		case 6: {
			SCSI_DISC_INFORMATION information;
			if (response::CopyDiscInformation(bytes, transferred, &information))
				Check(size_t(information.DataLength[0] << 8 | information.DataLength[1]) + 2 <= transferred);
			break;
		}
		case 7: {
			response::STrackInformation information;
			response::ParseTrackInformation(bytes, transferred, &information);
			break;
		}
		case 8: {
			int32 total = 0, free = 0;
			if (response::ParseBufferCapacity(bytes, transferred, &total, &free))
				Check(total >= 0 && free >= 0 && free <= total);
			break;
		}
		case 9: {
			response::SCueSheet sheet;
			if (response::ParseCueSheet(bytes, transferred, &sheet)) {
				Check(sheet.lastTrack >= 1 && sheet.lastTrack <= 99);
				Check(sheet.firstLba <= sheet.start[1] && sheet.start[sheet.lastTrack] < sheet.leadOut);
			}
			break;
		}
	}
	return 0;
}
