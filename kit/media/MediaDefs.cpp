// The media format record's defaults.
#include "kit/media/MediaDefs.h"

#include <cstring>

const media_raw_audio_format media_raw_audio_format::wildcard = {};

media_format::media_format()
{
	Clear();
}

void media_format::Clear()
{
	std::memset(static_cast<void*>(this), 0, sizeof(*this));
	type = B_MEDIA_UNKNOWN_TYPE;
}
