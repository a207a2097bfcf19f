// Exact length of an audio track.
#include "kit/media/MeasureAudio.h"

#include "kit/media/MediaFile.h"
#include "kit/media/MediaTrack.h"

status_t MeasureExactFrameCount(const entry_ref& ref, int32 trackIndex, int64* frameCount)
{
	if (frameCount == nullptr)
		return B_BAD_VALUE;
	*frameCount = 0;
	BMediaFile file(&ref, B_MEDIA_FILE_BIG_BUFFERS);
	if (file.InitCheck() != B_OK)
		return file.InitCheck();
	BMediaTrack* track = file.TrackAt(trackIndex);
	if (track == nullptr)
		return B_BAD_INDEX;
	status_t status = track->CountFramesExactly(frameCount);
	file.ReleaseTrack(track);
	return status;
}
