// Checks of a project before a recording run.
#include "recording/RecordingCheck.h"

#include "kit/media/MediaFile.h"
#include "kit/media/MediaTrack.h"
#include "kit/storage/Entry.h"
#include "projects/Project.h"
#include "projects/ProjectTrack.h"
#include "recording/TrackFeeder.h"

#include <cerrno>
#include <cstdio>

namespace {

constexpr int32 kMaxTracks = 99;

std::string SampleFormatReason(uint32 format)
{
	switch (format) {
		case B_AUDIO_UCHAR:
		case B_AUDIO_CHAR:
			return "8-bit samples instead of 16-bit";
		case B_AUDIO_INT:
			return "more than 16 bits per sample instead of 16";
		case B_AUDIO_FLOAT:
			return "floating-point samples instead of 16-bit integers";
		default:
			return "samples that are not 16-bit";
	}
}

// The audio of `ref` as the recording reader would take it: the first track
// that decodes at 44100 Hz in 2 channels, which must also be stored with at
// most 16-bit integer samples (lossy formats decode from floating point and
// count as CD audio). *frames receives that track's frame count.
status_t InspectCdAudio(const entry_ref& ref, std::string* reason, int64* frames)
{
	*frames = 0;
	reason->clear();
	BMediaFile file(&ref);
	status_t status = file.InitCheck();
	if (status != B_OK) {
		*reason = status == B_MEDIA_NO_HANDLER ? "no decoder knows its format"
			: std::string("it cannot be opened (") + StatusText(status) + ")";
		return status;
	}

	std::string firstReason;
	for (int32 i = 0; i < file.CountTracks(); i++) {
		BMediaTrack* track = file.TrackAt(i);
		if (track == nullptr)
			continue;
		media_format encoded;
		media_format decoded;
		decoded.type = B_MEDIA_RAW_AUDIO;
		const bool isAudio = track->EncodedFormat(&encoded) == B_OK && encoded.IsAudio()
			&& track->DecodedFormat(&decoded) == B_OK && decoded.type == B_MEDIA_RAW_AUDIO;
		std::string trackReason;
		if (isAudio) {
			const media_raw_audio_format& raw = decoded.u.raw_audio;
			const uint32 storedFormat = encoded.type == B_MEDIA_RAW_AUDIO ? encoded.u.raw_audio.format
				: encoded.u.encoded_audio.output.format;
			char text[96];
			if (raw.frame_rate != 44100.0f) {
				snprintf(text, sizeof(text), "%g Hz instead of 44100 Hz", double(raw.frame_rate));
				trackReason = text;
			} else if (raw.channel_count != 2) {
				snprintf(text, sizeof(text), "%u channel%s instead of 2", unsigned(raw.channel_count),
					raw.channel_count == 1 ? "" : "s");
				trackReason = text;
			} else if (raw.format != B_AUDIO_SHORT) {
				trackReason = SampleFormatReason(raw.format);
			} else if (encoded.type == B_MEDIA_RAW_AUDIO ? storedFormat != B_AUDIO_SHORT
						   : (storedFormat & B_AUDIO_SIZE_MASK) > 2 && storedFormat != B_AUDIO_FLOAT) {
				// The one the reader takes; its stored samples decide.
				*reason = SampleFormatReason(storedFormat);
				file.ReleaseTrack(track);
				return B_MEDIA_BAD_FORMAT;
			} else {
				*frames = track->CountFrames();
				file.ReleaseTrack(track);
				return B_OK;
			}
		}
		if (firstReason.empty())
			firstReason = trackReason;
		file.ReleaseTrack(track);
	}
	*reason = firstReason.empty() ? "it holds no audio" : firstReason;
	return B_MEDIA_BAD_FORMAT;
}

std::string FormatTime(int64 sectors)
{
	char text[48];
	snprintf(text, sizeof(text), "%02lld:%02lld.%02lld", (long long)(sectors / (60 * CD_SECTORS_PER_SECOND)),
		(long long)(sectors / CD_SECTORS_PER_SECOND % 60), (long long)(sectors % CD_SECTORS_PER_SECOND));
	return text;
}

void Add(std::vector<RECORDING_PROBLEM>* problems, bool fatal, int32 track, const std::string& file,
	const std::string& text)
{
	RECORDING_PROBLEM problem;
	problem.fatal = fatal;
	problem.track = track;
	problem.file = file;
	problem.text = text;
	problems->push_back(std::move(problem));
}

}   // namespace

int64 PauseSectorsForTrack(int64 startSilenceFrames, bool firstTrack)
{
	int64 sectors = startSilenceFrames > 0 ? startSilenceFrames / CD_FRAMES_PER_SECTOR : 0;
	if (firstTrack && sectors <= 149)
		sectors = 150;
	return sectors;
}

bool DiscByteTotalFits(const std::vector<int64>& trackBytes, int64* total)
{
	int64 sum = 0;
	bool fits = true;
	for (int64 bytes : trackBytes) {
		if (bytes < 0 || bytes > INT32_MAX || sum + bytes > INT32_MAX)
			fits = false;
		sum = bytes > INT64_MAX - sum ? INT64_MAX : sum + bytes;
	}
	if (total != nullptr)
		*total = sum;
	return fits;
}

status_t CheckCdAudioFile(const entry_ref& ref, std::string* reason)
{
	std::string ignored;
	int64 frames = 0;
	return InspectCdAudio(ref, reason != nullptr ? reason : &ignored, &frames);
}

status_t CheckProjectForRecording(CProject* project, std::vector<RECORDING_PROBLEM>* problems)
{
	if (project == nullptr || problems == nullptr)
		return B_BAD_VALUE;
	project->Lock();
	status_t result = B_OK;
	auto fatal = [&](status_t status, int32 track, const std::string& file, const std::string& text) {
		Add(problems, true, track, file, text);
		if (result == B_OK)
			result = status;
	};

	const int32 count = project->CountTracks();
	if (count == 0)
		fatal(B_BAD_VALUE, 0, "", "The project has no tracks.");
	else if (count > kMaxTracks)
		fatal(B_BAD_VALUE, 0, "", "The project has " + std::to_string(count) + " tracks; a CD holds at most 99.");

	std::vector<int64> trackBytes;
	for (int32 i = 0; i < count; i++) {
		CProjectTrack* track = project->TrackAt(i);
		if (track == nullptr)
			continue;
		const std::string name = track->Filename();
		const std::string quoted = "\"" + name + "\"";
		entry_ref ref;
		BEntry entry(track->File().c_str(), true);
		if (entry.InitCheck() != B_OK || !entry.Exists() || entry.GetRef(&ref) != B_OK) {
			fatal(B_FILE_NOT_FOUND, i + 1, name, quoted + ": the file does not exist.");
			continue;
		}
		std::string reason;
		int64 frames = 0;
		status_t status = InspectCdAudio(ref, &reason, &frames);
		if (status != B_OK) {
			fatal(status, i + 1, name, quoted + " is not CD audio: " + reason + ".");
			continue;
		}
		const int64 dataSectors = (frames + CD_FRAMES_PER_SECTOR - 1) / CD_FRAMES_PER_SECTOR;
		if (dataSectors < MIN_TRACK_SECTORS) {
			Add(problems, false, i + 1, name, quoted + " is shorter than 4 seconds (" + FormatTime(dataSectors)
				+ "); many recorders refuse such a track.");
		}
		const int64 pause = PauseSectorsForTrack(track->StartSilenceLength(), i == 0);
		trackBytes.push_back(pause > INT32_MAX || dataSectors > INT32_MAX ? INT64_MAX / 4
			: (pause + dataSectors) * CD_SECTOR_SIZE);
	}

	int64 total = 0;
	if (!DiscByteTotalFits(trackBytes, &total)) {
		fatal(StatusFromErrno(EFBIG), 0, "", "The project is too long to record: it takes " + std::to_string(total)
			+ " bytes (" + FormatTime(total / CD_SECTOR_SIZE) + "), more than the " + std::to_string(INT32_MAX)
			+ " bytes (" + FormatTime(INT32_MAX / CD_SECTOR_SIZE) + ") a recording run can carry.");
	}
	project->Unlock();
	return result;
}
