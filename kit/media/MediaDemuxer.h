// An FFmpeg demuxer on a file of its own: our byte I/O (MediaIO), no nested
// opens, stream details probed. A media file has one for its track list and
// each reading track one more, so that tracks read and seek independently.
// One thread at a time.
#pragma once

#include "kit/support/SupportDefs.h"

#include <memory>
#include <string>

struct AVFormatContext;
class MediaIO;

class MediaDemuxer {
public:
	MediaDemuxer();
	~MediaDemuxer();
	MediaDemuxer(const MediaDemuxer&) = delete;
	MediaDemuxer& operator=(const MediaDemuxer&) = delete;

	// B_OK; B_MEDIA_NO_HANDLER when no demuxer recognises the file; the
	// file system's status (B_ENTRY_NOT_FOUND, ...) when it cannot be read.
	// `rawTimeline` opens ISO media files without applying their edit list
	// (packets on the media's own clock, the encoder's priming included)
	// and without probing the streams further: for measuring, not decoding.
	status_t Open(const std::string& path, int32 bufferSize, bool rawTimeline = false);
	void Close();

	AVFormatContext* Context() const { return fContext; }
	MediaIO* IO() const { return fIO.get(); }
	// The status that explains FFmpeg's `error` best: the I/O layer's own
	// failure when there was one.
	status_t StatusFor(int error) const;

private:
	std::unique_ptr<MediaIO> fIO;
	AVFormatContext* fContext = nullptr;
};
