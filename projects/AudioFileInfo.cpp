// Audio file inspection (through the media kit) and the naming rules.
#include "projects/AudioFileInfo.h"

#include "kit/media/MeasureAudio.h"
#include "kit/media/MediaFormats.h"
#include "kit/media/MediaFile.h"
#include "kit/media/MediaTrack.h"
#include "kit/support/Locker.h"

#include <algorithm>
#include <cctype>
#include <memory>

namespace {

BLocker& InfoLocker()
{
	static BLocker locker("GetMediaFileInfo locker");
	return locker;
}

std::string StatusDetail(status_t status)
{
	return std::to_string(uint32(status)) + " (" + StatusText(status) + ").\n";
}

// The reason `format` (a decoder's answer to a raw audio request) is not CD
// audio, or "" when it is.
std::string RejectionReason(const media_format& format)
{
	if (format.type != B_MEDIA_RAW_AUDIO)
		return "BMediaTrack::DecodedFormat() wrong, format = " + std::to_string(int32(format.type)) + "\n";
	if (format.u.raw_audio.channel_count != 2)
		return "This is not a stereo audio file.\n";
	if (format.u.raw_audio.frame_rate != 44100.0f)
		return "This is not a 44100 Hz audio file.\n";
	if (format.u.raw_audio.format != B_AUDIO_SHORT)
		return "This is not a B_AUDIO_SHORT audio file format.\n";
	return std::string();
}

// Index of the first CD audio track of `file` (-1 when none), its frame
// count, and the reasons for the tracks rejected before it.
int32 FindCdAudioTrack(BMediaFile& file, int64& frameCount, std::string& reasons)
{
	const int32 count = file.CountTracks();
	for (int32 i = 0; i < count; i++) {
		BMediaTrack* track = file.TrackAt(i);
		if (track == nullptr)
			continue;
		media_format format;
		format.type = B_MEDIA_RAW_AUDIO;
		status_t status = track->DecodedFormat(&format);
		std::string reason = status != B_OK
			? "BMediaTrack::DecodedFormat() returned error code " + StatusDetail(status) : RejectionReason(format);
		if (reason.empty()) {
			frameCount = track->CountFrames();
			file.ReleaseTrack(track);
			return i;
		}
		reasons += reason;
		file.ReleaseTrack(track);
	}
	return -1;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
	return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
		return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
	});
}

}   // namespace

status_t GetMediaFileInfo(const entry_ref& ref, bool& isAudio, int64& frameCount, std::string& info)
{
	BAutolock lock(InfoLocker());
	isAudio = false;
	frameCount = 0;

	BMediaFile file(&ref);
	status_t status = file.InitCheck();
	if (status != B_OK) {
		if (status == B_MEDIA_NO_HANDLER)
			info = "No codec available for the required file format.\n";
		else
			info = "BMediaFile::InitCheck() returned error code " + StatusDetail(status);
		return status;
	}
	if (file.CountTracks() == 0) {
		info = "BMediaFile::CountTracks() returned 0.\n";
		return B_STREAM_NOT_FOUND;
	}

	info.clear();
	if (FindCdAudioTrack(file, frameCount, info) >= 0) {
		isAudio = true;
		info.clear();
	}
	return B_OK;
}

status_t GetExactMediaFileLength(const entry_ref& ref, int64& frameCount)
{
	frameCount = 0;
	int32 index;
	{
		BMediaFile file(&ref);
		if (file.InitCheck() != B_OK)
			return file.InitCheck();
		int64 estimate = 0;
		std::string reasons;
		index = FindCdAudioTrack(file, estimate, reasons);
	}
	if (index < 0)
		return B_ERROR;
	return MeasureExactFrameCount(ref, index, &frameCount);
}

void StripAudioFileExtension(std::string& name)
{
	static constexpr std::string_view kMovieExtensions[] = {".mov", ".qt", ".mpeg", ".mpg", ".riff", ".rif",
		".raw"};
	const size_t dot = name.rfind('.');
	// A name that is all extension (".wav") keeps it: the title is never
	// emptied.
	if (dot == std::string::npos || dot == 0)
		return;
	const std::string_view extension = std::string_view(name).substr(dot);
	bool known = IsReadableAudioExtension(extension);
	for (std::string_view movie : kMovieExtensions)
		known = known || EqualsIgnoringCase(extension, movie);
	if (known)
		name.erase(dot);
}
