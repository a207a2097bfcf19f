// An FFmpeg demuxer over our own byte I/O.
#include "kit/media/MediaDemuxer.h"

#include "kit/media/MediaIO.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

// Demuxers that reference other files or URLs (playlists, concatenations)
// get nothing: a media file is the one file it was opened on.
int RefuseNestedOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**)
{
	return AVERROR(EPERM);
}

}   // namespace

MediaDemuxer::MediaDemuxer() = default;

MediaDemuxer::~MediaDemuxer()
{
	Close();
}

void MediaDemuxer::Close()
{
	// The context does not own our I/O (custom I/O); close it first.
	avformat_close_input(&fContext);
	fIO.reset();
}

status_t MediaDemuxer::StatusFor(int error) const
{
	status_t ioStatus = fIO ? fIO->LastError() : B_OK;
	return ioStatus != B_OK ? ioStatus : StatusFromAVError(error);
}

status_t MediaDemuxer::Open(const std::string& path, int32 bufferSize, bool rawTimeline)
{
	Close();
	fIO = std::make_unique<MediaIO>();
	status_t status = fIO->OpenForReading(path, bufferSize);
	if (status != B_OK)
		return status;
	fContext = avformat_alloc_context();
	if (fContext == nullptr)
		return B_NO_MEMORY;
	fContext->pb = fIO->Context();
	fContext->io_open = &RefuseNestedOpen;
	// The path only serves the probe's guess by extension.
	AVDictionary* options = nullptr;
	if (rawTimeline)
		av_dict_set(&options, "ignore_editlist", "1", 0);
	int error = avformat_open_input(&fContext, path.c_str(), nullptr, &options);
	av_dict_free(&options);
	if (error < 0) {
		// avformat_open_input freed the context.
		fContext = nullptr;
		status_t ioStatus = fIO->LastError();
		if (ioStatus != B_OK)
			return ioStatus;
		if (error == AVERROR_INVALIDDATA || error == AVERROR_EOF || error == AVERROR(EPERM))
			return B_MEDIA_NO_HANDLER;
		return StatusFromAVError(error);
	}
	// Failing to learn every stream's details still leaves the streams the
	// demuxer found usable; their tracks report what they lack.
	if (!rawTimeline)
		avformat_find_stream_info(fContext, nullptr);
	return B_OK;
}
