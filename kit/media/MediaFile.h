// BMediaFile: a sound file read or written through FFmpeg.
//
// Reading: every stream of the file is a track (audio, video, cover art);
// audio tracks decode to raw 16-bit samples (BMediaTrack). Tracks of one
// file share the demuxer: read one track at a time.
// Writing: made for one of the kit's file formats (get_next_file_format);
// one audio track per file (CreateTrack), then CommitHeader, WriteFrames on
// the track, and CloseFile, which completes the file.
// A media file and its tracks belong to one thread at a time.
#pragma once

#include "kit/media/MediaDefs.h"
#include "kit/storage/EntryRef.h"

#include <memory>
#include <string>
#include <vector>

struct AVFormatContext;
class BMediaTrack;
class MediaDemuxer;
class MediaIO;

namespace media_kit_private {
struct FileFormatEntry;
}

class BMediaFile {
public:
	// Opens `ref` for reading. `flags`: B_MEDIA_FILE_BIG_BUFFERS asks for
	// large file buffers (the other flags are accepted and ignored).
	explicit BMediaFile(const entry_ref* ref, int32 flags = 0);
	// Creates `ref` as a file of `format` for writing. Without
	// B_MEDIA_FILE_REPLACE_MODE an existing file is not replaced
	// (InitCheck() gives B_FILE_EXISTS).
	BMediaFile(const entry_ref* ref, const media_file_format* format, int32 flags = 0);
	// Completes a written file whose header was committed (as CloseFile).
	~BMediaFile();
	BMediaFile(const BMediaFile&) = delete;
	BMediaFile& operator=(const BMediaFile&) = delete;

	// B_OK; B_MEDIA_NO_HANDLER when no demuxer knows the file (or the
	// format cannot be written); file system errors as their status
	// (B_ENTRY_NOT_FOUND, B_PERMISSION_DENIED, ...).
	status_t InitCheck() const { return fStatus; }

	// Writing: the format the file was made for. Reading: the demuxer's
	// names (short and pretty name; no MIME type or extension).
	status_t GetFileFormatInfo(media_file_format* format) const;

	int32 CountTracks() const;
	// The track at `index` (null when out of range). The file owns it; a
	// track given back with ReleaseTrack is deleted, and a later TrackAt
	// makes a fresh one that starts at frame 0.
	BMediaTrack* TrackAt(int32 index);
	status_t ReleaseTrack(BMediaTrack* track);
	status_t ReleaseAllTracks();

	// Writing: a track that encodes `format` (raw audio, B_AUDIO_SHORT; the
	// byte order as given) with `codec` (from get_next_encoder for this
	// file's format). Null when the file is not open for writing, a track
	// exists already, the header is committed, or the pair does not fit.
	BMediaTrack* CreateTrack(media_format* format, const media_codec_info* codec, uint32 flags = 0);
	// Writing, before CommitHeader: a tag of the file, by FFmpeg's metadata
	// key ("artist", "title", "album", "track" as "3/12", or a free-form
	// name, which Vorbis comments and ID3v2 keep). The file formats decide
	// what they can carry: Ogg files put the tags on the stream, AIFF in an
	// ID3v2 chunk, WAV only the INFO keys, MPEG-4 only the iTunes atoms.
	// A null or empty value removes the tag. B_OK; B_BAD_VALUE for an empty
	// key; B_NOT_ALLOWED when not writing or the header is committed.
	status_t SetTag(const char* key, const char* value);
	// Opens the encoder with its quality and writes the file's header.
	status_t CommitHeader();
	// Writing: flushes the encoder, writes the trailer and closes the file;
	// the first failure's status (B_DEVICE_FULL, ...). Reading: releases
	// every track and closes. Tracks are invalid afterwards.
	status_t CloseFile();

private:
	friend class BMediaTrack;

	status_t fStatus = B_NO_INIT;
	// Reading: the demuxer that lists the tracks (each track reads through
	// a demuxer of its own, on the same path).
	std::unique_ptr<MediaDemuxer> fDemuxer;
	std::string fPath;
	int32 fReadBufferSize = 0;
	// Writing: the muxer and its output.
	std::unique_ptr<MediaIO> fIO;
	AVFormatContext* fContext = nullptr;
	std::vector<std::unique_ptr<BMediaTrack>> fTracks;

	const media_kit_private::FileFormatEntry* fWriteFormat = nullptr;
	uint32 fWriteFormatId = 0;
	bool fWriting = false;
	bool fHeaderCommitted = false;
	bool fClosed = false;
};
