// Output files of the extraction engine: the file format and encoder pair by
// short names, and one track's file from its temporary name to its final
// name.
#pragma once

#include "kit/media/MediaDefs.h"
#include "kit/storage/EntryRef.h"
#include "kit/support/SupportDefs.h"

#include <memory>
#include <string>
#include <vector>

class BMediaFile;
class BMediaTrack;

// Base name of the file a track is written to before it is finished.
inline constexpr const char* kTemporaryTrackFileName = "Tarnwick temporary trackdata";

// What every encoder is offered: raw audio, 44100 frames per second, two
// channels, 16-bit signed samples, little-endian, buffer size open.
media_format CddaInputFormat();

// Walks the media kit's file formats in order; the first format whose short
// name is `formatShortName` and that has an encoder for `inputFormat` whose
// short name is `codecShortName` fills both records. B_OK, or B_ERROR when
// no pair matches (B_BAD_VALUE for null arguments). Any thread.
status_t FindEncoder(media_file_format* fileFormat, media_codec_info* codec, const media_format* inputFormat,
	const char* formatShortName, const char* codecShortName);

// One selectable pair: label "%s, %s" of the format's file extension and the
// encoder's pretty name, and the two short names.
struct FileFormatPair {
	std::string label;
	std::string formatShortName;
	std::string codecShortName;
	std::string extension;
	std::string mimeType;
};

// Every file format and encoder pair that accepts `inputFormat`, in the
// media kit's order. Any thread.
std::vector<FileFormatPair> ListFileFormatPairs(const media_format& inputFormat);

// Tags written into the file through the media kit's metadata; empty
// strings and zero numbers are left out.
struct TrackTags {
	std::string artist;
	std::string title;
	std::string album;            // the disc title
	int32 trackNumber = 0;
	int32 trackCount = 0;
	std::string musicBrainzDiscId;
};

// The final base name of a track file: artist + ": " + title when both are
// present, else the one that is, with every '/' made '|'.
std::string FinalTrackBaseName(const std::string& artist, const std::string& title);

// One track's output file. Created under a free name with base
// kTemporaryTrackFileName in a given folder, filled with WriteFrames, then
// either moved to its final name or discarded. Every failure of Create and
// every discard removes the temporary file; the destructor discards a file
// still open (neither finished nor discarded). A finished file whose move
// failed stays under its temporary name. One thread at a time.
class CTrackFile {
public:
	CTrackFile();
	~CTrackFile();
	CTrackFile(const CTrackFile&) = delete;
	CTrackFile& operator=(const CTrackFile&) = delete;

	// Creates the temporary file in `folder` (a path to an existing folder)
	// for `format` with `codec` on CddaInputFormat(), sets the tags, sets the
	// quality to 1.0 and commits the header. B_OK; B_RESOURCE_UNAVAILABLE
	// when the pair makes no track; B_BUSY when a file is already open; the
	// file system's or media kit's status otherwise. Nothing is left behind
	// on failure.
	status_t Create(const std::string& folder, const media_file_format& format, const media_codec_info& codec,
		const TrackTags& tags);

	// Encodes `frameCount` frames of CddaInputFormat() (4 bytes each). B_OK,
	// B_NO_INIT when nothing is open, or the write's status (B_DEVICE_FULL
	// when the disk is full, ...). A failed write may be repeated.
	status_t WriteFrames(const void* data, int32 frameCount);

	// Completes the file and moves it into `destinationFolder` under a free
	// name from FinalTrackBaseName(artist, title) and the format's file
	// extension, never replacing a file, and sets its MIME type. *finalPath,
	// when given, receives where it went. When completing fails (the disk
	// filled up at the end) the temporary file is removed and the status
	// returned; when the move or the typing fails the file stays under its
	// temporary name and the status is returned.
	status_t Finish(const std::string& destinationFolder, const std::string& artist, const std::string& title,
		std::string* finalPath = nullptr);

	// Closes the file without completing it and removes the temporary file
	// (a cancelled job). B_OK, or the removal's status.
	status_t Discard();

	bool IsOpen() const { return fFile != nullptr; }
	// The temporary file's full path ("" when none).
	const std::string& TemporaryPath() const { return fTemporaryPath; }
	int64 FramesWritten() const { return fFramesWritten; }

private:
	void _Close(status_t* closeStatus);

	std::unique_ptr<BMediaFile> fFile;
	BMediaTrack* fTrack = nullptr;   // owned by fFile
	media_file_format fFormat {};
	std::string fTemporaryPath;
	int64 fFramesWritten = 0;
};
