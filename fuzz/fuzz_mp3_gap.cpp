// The ID3v2 size and the Info frame of an MP3 file's first bytes.
#include "kit/media/Mp3Gap.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	const size_t tag = Id3v2TagSize(data, size);
	if (tag != 0 && tag < 10)
		abort();
	Mp3EncoderGap gap;
	if (ParseMp3EncoderGap(data, size, 4096, &gap)) {
		if (gap.samplesPerFrame != 1152 && gap.samplesPerFrame != 576)
			abort();
		if (gap.delay > 4095 || gap.padding > 4095 || Mp3GaplessSampleCount(gap) < -1)
			abort();
	}
	return 0;
}
