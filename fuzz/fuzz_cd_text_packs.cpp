// libFuzzer target: a CD-Text packs file, read from a real file as the
// virtual drives read it. A refused file must say why and leave the packs
// as they were; accepted packs are whole 18-byte packs of CD-Text types,
// at least one and at most eight blocks, and no longer than the file.
#include "kit/device/CdText.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	int fd = memfd_create("packs", MFD_CLOEXEC);
	if (fd < 0)
		abort();
	if (size > 0 && write(fd, data, size) != ssize_t(size))
		abort();
	std::vector<uint8> packs = {1, 2, 3};
	std::string why;
	status_t status = CCdText::LoadPacksFile("/proc/self/fd/" + std::to_string(fd), &packs, &why);
	close(fd);
	if (status != B_OK) {
		if (why.empty() || packs != std::vector<uint8> {1, 2, 3})
			abort();
		return 0;
	}
	if (!why.empty() || packs.empty() || packs.size() % CCdText::kPackSize != 0 || packs.size() > size
		|| packs.size() > CCdText::kMaxPacks * 8 * CCdText::kPackSize)
		abort();
	for (size_t i = 0; i < packs.size(); i += CCdText::kPackSize)
		if (packs[i] < 0x80 || packs[i] > 0x8F)
			abort();
	// The same bytes in memory give the same packs.
	std::vector<uint8> again;
	if (CCdText::ParsePacks(data, size, &again) != B_OK || again != packs)
		abort();
	return 0;
}
