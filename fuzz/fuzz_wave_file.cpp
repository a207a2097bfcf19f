// libFuzzer target: the RIFF/WAVE chunk walk of the disc image, on a real
// file. The input is the body of a RIFF WAVE file (what follows "RIFF",
// its size and "WAVE"). A refused file must say why and give no image; an
// accepted one must be laid out from the data chunk it found: one track
// from LBA 0, a lead-out no longer than the file, and every sector readable.
#include "emulator/DiscImage.h"
#include "emulator/MmcDefs.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	if (size > (1 << 20))
		return 0;
	int fd = memfd_create("wave", MFD_CLOEXEC);
	if (fd < 0)
		abort();
	uint8 head[12] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
	uint32 riffSize = uint32(size + 4);
	for (int i = 0; i < 4; i++)
		head[4 + i] = uint8(riffSize >> (8 * i));
	if (write(fd, head, sizeof(head)) != ssize_t(sizeof(head)) || (size > 0 && write(fd, data, size) != ssize_t(size)))
		abort();

	std::string path = "/proc/self/fd/" + std::to_string(fd);
	CCueSheet sheet;
	if (sheet.Parse("FILE \"" + path + "\" WAVE\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n", nullptr) != B_OK)
		abort();
	std::shared_ptr<CDiscImage> disc;
	std::string error;
	status_t status = CDiscImage::FromCueSheet(sheet, "/", &disc, &error);
	if (status != B_OK) {
		if (disc != nullptr || error.empty())
			abort();
		close(fd);
		return 0;
	}
	const int32 leadOut = disc->LeadOut();
	const int32 maxSectors = int32((size + mmc::kAudioSectorSize - 1) / mmc::kAudioSectorSize);
	if (disc->Tracks().size() != 1 || disc->Tracks()[0].start != 0 || leadOut < 1 || leadOut > maxSectors)
		abort();
	static std::vector<uint8> buffer(450 * mmc::kAudioSectorSize);
	for (int32 lba = 0; lba < leadOut; lba += 450) {
		int32 count = std::min(450, leadOut - lba);
		if (disc->ReadSectors(lba, count, buffer.data(), mmc::kAudioSectorSize) != B_OK)
			abort();
	}
	if (disc->ReadSectors(leadOut, 1, buffer.data(), mmc::kAudioSectorSize) == B_OK)
		abort();
	disc.reset();
	close(fd);
	return 0;
}
