// Audio file inspection (through the media kit) and the naming rules.
#include "projects/AudioFileInfo.h"

#include "kit/media/MeasureAudio.h"
#include "kit/media/MediaFile.h"
#include "kit/media/MediaTrack.h"
#include "kit/support/Locker.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <initializer_list>
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

// Position of the first string of `list` (in list order) that occurs in
// `text`, and its length; false when none occurs.
bool FindFirstOf(const std::string& text, std::initializer_list<const char*> list, size_t& position, size_t& length)
{
	for (const char* candidate : list) {
		size_t found = text.find(candidate);
		if (found != std::string::npos) {
			position = found;
			length = std::strlen(candidate);
			return true;
		}
	}
	return false;
}

void ReplaceAll(std::string& text, std::string_view from, std::string_view to)
{
	size_t position = 0;
	while ((position = text.find(from, position)) != std::string::npos) {
		text.replace(position, from.size(), to);
		position += to.size();
	}
}

void TrimTrailingBlanks(std::string& text)
{
	size_t end = text.find_last_not_of(' ');
	text.erase(end == std::string::npos ? 0 : end + 1);
}

void TrimLeadingBlanks(std::string& text)
{
	text.erase(0, std::min(text.find_first_not_of(' '), text.size()));
}

void TidyBlanks(std::string& text)
{
	ReplaceAll(text, "    ", " ");
	ReplaceAll(text, "   ", " ");
	ReplaceAll(text, "  ", " ");
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
	static const char* const kExtensions[] = {".mov", ".qt", ".mpeg", ".mpg", ".mp3", ".au", ".wave", ".wav",
		".riff", ".rif", ".aifc", ".aiff", ".aif", ".raw"};
	for (const char* extension : kExtensions) {
		const std::string_view ext(extension);
		size_t position = 0;
		while (position + ext.size() <= name.size()) {
			if (EqualsIgnoringCase(std::string_view(name).substr(position, ext.size()), ext)) {
				name.erase(position, ext.size());
				// What precedes may now join what follows: look again there.
				position = position >= ext.size() ? position - ext.size() + 1 : 0;
			} else {
				position++;
			}
		}
	}
}

void SeparateArtistAndTitle(std::string& artist, std::string& title, std::string_view input)
{
	static constexpr std::string_view kSkipped = " 0123456789_-,.:;#~";
	size_t start = input.find_first_not_of(kSkipped);
	std::string text(start == std::string_view::npos ? std::string_view() : input.substr(start));

	artist.clear();
	title.clear();
	size_t position = 0;
	size_t length = 0;
	const bool parenthesised = !text.empty() && text[0] == '(';
	if (parenthesised && FindFirstOf(text, {") - ", ") : ", ") ; ", ") ~ ", ") _ "}, position, length)) {
		artist = text.substr(1, position - 1);
		title = text.substr(position + length);
	} else if (parenthesised && FindFirstOf(text, {")-", "):", ");", ")~", ")_"}, position, length)) {
		artist = text.substr(1, position - 1);
		title = text.substr(position + length);
	} else if (FindFirstOf(text, {" - ", " : ", " ; ", " ~ ", " _ "}, position, length)
		|| FindFirstOf(text, {"- ", ": ", "; ", "~ ", "_ ", " -", " :", " ;", " ~", " _"}, position, length)
		|| FindFirstOf(text, {"-", ":", ";", "~", "_"}, position, length)) {
		artist = text.substr(0, position);
		title = text.substr(position + length);
	} else if (parenthesised && (position = text.find(')')) != std::string::npos) {
		artist = text.substr(1, position - 1);
		title = text.substr(position + 1);
	} else if ((position = text.find("  ")) != std::string::npos) {
		artist = text.substr(0, position);
		title = text.substr(position + 2);
	} else {
		title = text;
	}

	TrimTrailingBlanks(artist);
	TrimTrailingBlanks(title);
	TrimLeadingBlanks(artist);
	TrimLeadingBlanks(title);

	std::replace(title.begin(), title.end(), '_', ' ');
	std::replace(artist.begin(), artist.end(), '_', ' ');
	TidyBlanks(title);
	TidyBlanks(artist);
}

std::string GetTrackName(std::string_view first, std::string_view second)
{
	std::string name(first);
	if (!first.empty() && !second.empty())
		name += ": ";
	name += second;
	return name;
}
