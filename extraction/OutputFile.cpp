// Output files of the extraction engine.
#include "extraction/OutputFile.h"

#include "frame/Diagnostics.h"
#include "frame/TrackNames.h"
#include "kit/media/MediaFile.h"
#include "kit/media/MediaFormats.h"
#include "kit/media/MediaTrack.h"
#include "kit/storage/Directory.h"
#include "kit/storage/Mime.h"
#include "kit/storage/Node.h"
#include "kit/support/Errors.h"
#include "projects/FileUtil.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kCreateAttempts = 100;
// Room left in a file name for " (nnnnn)" and the extension.
constexpr size_t kNameReserve = 24;

std::string JoinPath(const std::string& folder, const std::string& name)
{
	if (!folder.empty() && folder.back() == '/')
		return folder + name;
	return folder + "/" + name;
}

// Cuts `name` to at most `limit` bytes without splitting a UTF-8 sequence.
void CutUtf8(std::string* name, size_t limit)
{
	if (name->size() <= limit)
		return;
	size_t end = limit;
	while (end > 0 && (static_cast<unsigned char>((*name)[end]) & 0xC0) == 0x80)
		end--;
	name->resize(end);
}

// The free-form tag name of the MusicBrainz disc id in the tags of a file
// format: Vorbis comments use the upper-case key, ID3v2 the TXXX
// description. Null when the format keeps no free-form tags.
const char* DiscIdTagKey(const char* formatShortName)
{
	static const struct {
		const char* format;
		const char* key;
	} kKeys[] = {
		{"flac", "MUSICBRAINZ_DISCID"},
		{"ogg", "MUSICBRAINZ_DISCID"},
		{"opus", "MUSICBRAINZ_DISCID"},
		{"mp3", "MusicBrainz Disc Id"},
		{"aiff", "MusicBrainz Disc Id"},
	};
	for (const auto& entry : kKeys) {
		if (std::strcmp(entry.format, formatShortName) == 0)
			return entry.key;
	}
	return nullptr;
}

// Copies the file at `source` to the new file `destination` (which must
// not exist). Nothing is left at `destination` on failure.
status_t CopyToNewFile(const std::string& source, const std::string& destination)
{
	int in = open(source.c_str(), O_RDONLY | O_CLOEXEC);
	if (in < 0)
		return StatusFromErrno();
	int out = open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
	if (out < 0) {
		status_t status = StatusFromErrno();
		close(in);
		return status;
	}
	status_t status = B_OK;
	static thread_local char buffer[65536];
	for (;;) {
		ssize_t got = read(in, buffer, sizeof(buffer));
		if (got < 0) {
			if (errno == EINTR)
				continue;
			status = StatusFromErrno();
			break;
		}
		if (got == 0)
			break;
		for (ssize_t done = 0; done < got;) {
			ssize_t put = write(out, buffer + done, size_t(got - done));
			if (put < 0) {
				if (errno == EINTR)
					continue;
				status = StatusFromErrno();
				break;
			}
			done += put;
		}
		if (status != B_OK)
			break;
	}
	if (close(out) != 0 && status == B_OK)
		status = StatusFromErrno();
	close(in);
	if (status != B_OK)
		unlink(destination.c_str());
	return status;
}

}   // namespace

media_format CddaInputFormat()
{
	media_format format {};
	format.type = B_MEDIA_RAW_AUDIO;
	format.u.raw_audio = media_raw_audio_format::wildcard;
	format.u.raw_audio.frame_rate = 44100;
	format.u.raw_audio.channel_count = 2;
	format.u.raw_audio.format = B_AUDIO_SHORT;
	format.u.raw_audio.byte_order = B_MEDIA_LITTLE_ENDIAN;
	format.u.raw_audio.buffer_size = 0;
	return format;
}

status_t FindEncoder(media_file_format* fileFormat, media_codec_info* codec, const media_format* inputFormat,
	const char* formatShortName, const char* codecShortName)
{
	if (fileFormat == nullptr || codec == nullptr || inputFormat == nullptr || formatShortName == nullptr
		|| codecShortName == nullptr)
		return B_BAD_VALUE;
	int32 formatCookie = 0;
	media_file_format format;
	while (get_next_file_format(&formatCookie, &format) == B_OK) {
		if (std::strcmp(format.short_name, formatShortName) != 0)
			continue;
		int32 codecCookie = 0;
		media_codec_info info;
		media_format output;
		while (get_next_encoder(&codecCookie, &format, inputFormat, &output, &info) == B_OK) {
			if (std::strcmp(info.short_name, codecShortName) == 0) {
				*fileFormat = format;
				*codec = info;
				return B_OK;
			}
		}
	}
	return B_ERROR;
}

std::vector<FileFormatPair> ListFileFormatPairs(const media_format& inputFormat)
{
	std::vector<FileFormatPair> pairs;
	int32 formatCookie = 0;
	media_file_format format;
	while (get_next_file_format(&formatCookie, &format) == B_OK) {
		int32 codecCookie = 0;
		media_codec_info info;
		media_format output;
		while (get_next_encoder(&codecCookie, &format, &inputFormat, &output, &info) == B_OK) {
			FileFormatPair pair;
			pair.label = std::string(format.file_extension) + ", " + info.pretty_name;
			pair.formatShortName = format.short_name;
			pair.codecShortName = info.short_name;
			pair.extension = format.file_extension;
			pair.mimeType = format.mime_type;
			pairs.push_back(std::move(pair));
		}
	}
	return pairs;
}

std::string FinalTrackBaseName(const std::string& artist, const std::string& title)
{
	std::string name = GetTrackName(artist, title);
	for (char& c : name) {
		if (c == '/')
			c = '|';
	}
	return name;
}

// #pragma mark - CTrackFile

CTrackFile::CTrackFile() = default;

CTrackFile::~CTrackFile()
{
	// An unfinished file goes; a finished one that could not be moved stays
	// under its temporary name.
	if (fFile != nullptr)
		Discard();
}

status_t CTrackFile::Create(const std::string& folder, const media_file_format& format,
	const media_codec_info& codec, const TrackTags& tags)
{
	if (fFile != nullptr)
		return B_BUSY;
	fTemporaryPath.clear();
	BDirectory directory(folder.c_str());
	if (directory.InitCheck() != B_OK)
		return directory.InitCheck();

	// Reserve a free name by creating the file; another writer may take a
	// name between the look-up and the creation, so try again then.
	std::string path;
	status_t status = B_ERROR;
	for (int attempt = 0; attempt < kCreateAttempts; attempt++) {
		std::string name;
		status = GetUnusedName(&name, &directory, kTemporaryTrackFileName);
		if (status != B_OK)
			return status;
		path = JoinPath(folder, name);
		int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
		if (fd >= 0) {
			close(fd);
			status = B_OK;
			break;
		}
		status = StatusFromErrno();
		if (errno != EEXIST)
			return status;
	}
	if (status != B_OK)
		return status;
	fTemporaryPath = path;
	fFormat = format;
	fFramesWritten = 0;

	auto fail = [&](status_t error) {
		Discard();
		return error;
	};

	entry_ref ref;
	status = get_ref_for_path(path.c_str(), &ref);
	if (status != B_OK)
		return fail(status);
	fFile = std::make_unique<BMediaFile>(&ref, &format,
		B_MEDIA_FILE_REPLACE_MODE | B_MEDIA_FILE_NO_READ_AHEAD | B_MEDIA_FILE_BIG_BUFFERS);
	if (fFile->InitCheck() != B_OK)
		return fail(fFile->InitCheck());
	media_format input = CddaInputFormat();
	fTrack = fFile->CreateTrack(&input, &codec);
	if (fTrack == nullptr)
		return fail(B_RESOURCE_UNAVAILABLE);
	if (fTrack->SetQuality(1.0f) != B_OK)
		DebugPrint("mJob->track->SetQuality() failed\n");

	char number[32];
	fFile->SetTag("artist", tags.artist.c_str());
	fFile->SetTag("title", tags.title.c_str());
	fFile->SetTag("album", tags.album.c_str());
	if (tags.trackNumber > 0) {
		if (tags.trackCount > 0)
			std::snprintf(number, sizeof(number), "%d/%d", int(tags.trackNumber), int(tags.trackCount));
		else
			std::snprintf(number, sizeof(number), "%d", int(tags.trackNumber));
		fFile->SetTag("track", number);
	}
	if (const char* key = DiscIdTagKey(format.short_name))
		fFile->SetTag(key, tags.musicBrainzDiscId.c_str());

	status = fFile->CommitHeader();
	if (status != B_OK)
		return fail(status);
	return B_OK;
}

status_t CTrackFile::WriteFrames(const void* data, int32 frameCount)
{
	if (fTrack == nullptr)
		return B_NO_INIT;
	if (frameCount <= 0)
		return frameCount == 0 ? B_OK : B_BAD_VALUE;
	status_t status = fTrack->WriteFrames(data, frameCount);
	if (status == B_OK)
		fFramesWritten += frameCount;
	return status;
}

void CTrackFile::_Close(status_t* closeStatus)
{
	status_t status = B_OK;
	if (fFile != nullptr) {
		if (fTrack != nullptr)
			fFile->ReleaseTrack(fTrack);
		fTrack = nullptr;
		status = fFile->CloseFile();
		fFile.reset();
	}
	if (closeStatus != nullptr)
		*closeStatus = status;
}

status_t CTrackFile::Discard()
{
	_Close(nullptr);
	if (fTemporaryPath.empty())
		return B_OK;
	status_t status = B_OK;
	if (unlink(fTemporaryPath.c_str()) != 0 && errno != ENOENT)
		status = StatusFromErrno();
	fTemporaryPath.clear();
	return status;
}

status_t CTrackFile::Finish(const std::string& destinationFolder, const std::string& artist,
	const std::string& title, std::string* finalPath)
{
	if (fFile == nullptr || fTemporaryPath.empty())
		return B_NO_INIT;
	status_t status;
	_Close(&status);
	if (status != B_OK) {
		// The file is incomplete (the disk filled up while the encoder
		// flushed): nothing of it is kept.
		Discard();
		return status;
	}

	BDirectory destination(destinationFolder.c_str());
	if (destination.InitCheck() != B_OK)
		return destination.InitCheck();

	// The type goes on first, so that a failure leaves the file under its
	// temporary name. A file system without attributes does not stop the
	// file from being kept.
	bool typed = false;
	{
		BNode node(fTemporaryPath.c_str());
		BNodeInfo info(&node);
		status = info.InitCheck() == B_OK ? info.SetType(fFormat.mime_type) : info.InitCheck();
		typed = status == B_OK;
		if (status == StatusFromErrno(ENOTSUP) || status == StatusFromErrno(EOPNOTSUPP))
			status = B_OK;
		if (status != B_OK)
			return status;
	}

	std::string base = FinalTrackBaseName(artist, title);
	if (base.empty())
		base = "Untitled";
	size_t extensionLength = std::strlen(fFormat.file_extension);
	size_t limit = NAME_MAX - kNameReserve - extensionLength;
	CutUtf8(&base, limit);
	const char* extension = extensionLength > 0 ? fFormat.file_extension : nullptr;

	for (int attempt = 0; attempt < kCreateAttempts; attempt++) {
		std::string name;
		status = GetUnusedName(&name, &destination, base.c_str(), extension);
		if (status != B_OK)
			return status;
		std::string target = JoinPath(destinationFolder, name);
		if (renameat2(AT_FDCWD, fTemporaryPath.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
			fTemporaryPath.clear();
			if (!typed) {
				// The temporary folder keeps no attributes; the destination may.
				BNode node(target.c_str());
				BNodeInfo info(&node);
				if (info.InitCheck() == B_OK)
					info.SetType(fFormat.mime_type);
			}
			if (finalPath != nullptr)
				*finalPath = target;
			return B_OK;
		}
		if (errno == EEXIST)
			continue;   // taken meanwhile: the next free name
		if (errno != EXDEV && errno != ENOSYS && errno != EINVAL)
			return StatusFromErrno();
		// Another volume (or no RENAME_NOREPLACE): copy, then remove.
		status = CopyToNewFile(fTemporaryPath, target);
		if (status == B_FILE_EXISTS)
			continue;
		if (status != B_OK)
			return status;
		BNode node(target.c_str());
		BNodeInfo info(&node);
		if (info.InitCheck() == B_OK)
			info.SetType(fFormat.mime_type);
		unlink(fTemporaryPath.c_str());
		fTemporaryPath.clear();
		if (finalPath != nullptr)
			*finalPath = target;
		return B_OK;
	}
	return B_FILE_EXISTS;
}
