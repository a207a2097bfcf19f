// BMediaFile over libavformat, with our own byte I/O.
#include "kit/media/MediaFile.h"

#include "kit/media/MediaDemuxer.h"
#include "kit/media/MediaEncoder.h"
#include "kit/media/MediaFormats.h"
#include "kit/media/MediaIO.h"
#include "kit/media/MediaTrack.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <cstdio>
#include <cstring>

using media_kit_private::EncoderEntry;
using media_kit_private::FileFormatEntry;

namespace {

constexpr int32 kReadBufferSize = 64 * 1024;
constexpr int32 kBigReadBufferSize = 256 * 1024;

}   // namespace

BMediaFile::BMediaFile(const entry_ref* ref, int32 flags)
{
	if (ref == nullptr || !ref->IsValid()) {
		fStatus = B_BAD_VALUE;
		return;
	}
	fPath = ref->Path();
	fReadBufferSize = (flags & B_MEDIA_FILE_BIG_BUFFERS) != 0 ? kBigReadBufferSize : kReadBufferSize;
	fDemuxer = std::make_unique<MediaDemuxer>();
	fStatus = fDemuxer->Open(fPath, fReadBufferSize);
	if (fStatus == B_OK)
		fTracks.resize(fDemuxer->Context()->nb_streams);
}

BMediaFile::BMediaFile(const entry_ref* ref, const media_file_format* format, int32 flags)
{
	fWriting = true;
	if (ref == nullptr || !ref->IsValid() || format == nullptr) {
		fStatus = B_BAD_VALUE;
		return;
	}
	fWriteFormat = media_kit_private::FileFormatById(format->id);
	fWriteFormatId = format->id;
	if (fWriteFormat == nullptr || std::strcmp(fWriteFormat->shortName, format->short_name) != 0) {
		fStatus = B_MEDIA_NO_HANDLER;
		return;
	}
	const std::string path = ref->Path();
	int error = avformat_alloc_output_context2(&fContext, nullptr, fWriteFormat->ffmpegMuxer, path.c_str());
	if (error < 0 || fContext == nullptr) {
		fContext = nullptr;
		fStatus = B_MEDIA_NO_HANDLER;
		return;
	}
	fIO = std::make_unique<MediaIO>();
	fStatus = fIO->OpenForWriting(path, (flags & B_MEDIA_FILE_REPLACE_MODE) != 0);
	if (fStatus != B_OK)
		return;
	fContext->pb = fIO->Context();
	fContext->flags |= AVFMT_FLAG_CUSTOM_IO;
}

BMediaFile::~BMediaFile()
{
	CloseFile();
}

status_t BMediaFile::GetFileFormatInfo(media_file_format* format) const
{
	if (format == nullptr)
		return B_BAD_VALUE;
	if (fStatus != B_OK)
		return fStatus;
	std::memset(format, 0, sizeof(*format));
	if (fWriting) {
		int32 cookie = int32(fWriteFormatId);
		return get_next_file_format(&cookie, format);
	}
	const AVInputFormat* demuxer = fDemuxer->Context()->iformat;
	format->capabilities = B_READABLE;
	std::snprintf(format->short_name, sizeof(format->short_name), "%s", demuxer->name);
	std::snprintf(format->pretty_name, sizeof(format->pretty_name), "%s",
		demuxer->long_name != nullptr ? demuxer->long_name : demuxer->name);
	return B_OK;
}

int32 BMediaFile::CountTracks() const
{
	if (fStatus != B_OK)
		return 0;
	return int32(fTracks.size());
}

BMediaTrack* BMediaFile::TrackAt(int32 index)
{
	if (fStatus != B_OK || fClosed || index < 0 || index >= int32(fTracks.size()))
		return nullptr;
	if (!fTracks[size_t(index)]) {
		if (fWriting)
			return nullptr;
		fTracks[size_t(index)].reset(new BMediaTrack(this, index));
	}
	return fTracks[size_t(index)].get();
}

status_t BMediaFile::ReleaseTrack(BMediaTrack* track)
{
	if (track == nullptr)
		return B_BAD_VALUE;
	for (auto& slot : fTracks) {
		if (slot.get() == track) {
			// A written track lives until the file is closed: its encoder
			// still has to be flushed.
			if (!fWriting)
				slot.reset();
			return B_OK;
		}
	}
	return B_BAD_VALUE;
}

status_t BMediaFile::ReleaseAllTracks()
{
	if (!fWriting) {
		for (auto& slot : fTracks)
			slot.reset();
	}
	return B_OK;
}

BMediaTrack* BMediaFile::CreateTrack(media_format* format, const media_codec_info* codec, uint32 flags)
{
	if (fStatus != B_OK || !fWriting || fHeaderCommitted || fClosed || !fTracks.empty() || format == nullptr)
		return nullptr;
	const EncoderEntry* encoder = media_kit_private::EncoderOf(fWriteFormat, codec);
	if (encoder == nullptr || !media_kit_private::EncoderAccepts(*encoder, *format, nullptr))
		return nullptr;
	if (format->type != B_MEDIA_RAW_AUDIO || format->u.raw_audio.frame_rate <= 0
		|| format->u.raw_audio.channel_count == 0)
		return nullptr;
	media_raw_audio_format input = format->u.raw_audio;
	input.format = B_AUDIO_SHORT;
	if (input.byte_order == 0)
		input.byte_order = B_MEDIA_HOST_ENDIAN;
	auto mediaEncoder = std::make_unique<MediaEncoder>(fContext, fIO.get(), *encoder, input);
	if (mediaEncoder->InitCheck() != B_OK)
		return nullptr;
	int32 index = int32(fTracks.size());
	fTracks.emplace_back(new BMediaTrack(this, std::move(mediaEncoder)));
	fTracks.back()->fStreamIndex = index;
	return fTracks.back().get();
}

status_t BMediaFile::SetTag(const char* key, const char* value)
{
	if (key == nullptr || key[0] == '\0')
		return B_BAD_VALUE;
	if (fStatus != B_OK)
		return fStatus;
	if (!fWriting || fClosed || fHeaderCommitted || fContext == nullptr)
		return B_NOT_ALLOWED;
	int error = av_dict_set(&fContext->metadata, key, value != nullptr && value[0] != '\0' ? value : nullptr, 0);
	return error < 0 ? StatusFromAVError(error) : B_OK;
}

status_t BMediaFile::CommitHeader()
{
	if (fStatus != B_OK)
		return fStatus;
	if (!fWriting || fClosed)
		return B_NOT_ALLOWED;
	if (fHeaderCommitted)
		return B_OK;
	if (fTracks.empty())
		return B_NO_INIT;
	for (auto& track : fTracks) {
		status_t status = track->fEncoder->Open();
		if (status != B_OK)
			return status;
	}
	// Ogg muxers take their comments from the stream, AIFF writes ID3v2
	// only when asked.
	AVDictionary* options = nullptr;
	if (fContext->metadata != nullptr) {
		if (std::strcmp(fWriteFormat->ffmpegMuxer, "ogg") == 0 || std::strcmp(fWriteFormat->ffmpegMuxer, "opus") == 0) {
			for (unsigned i = 0; i < fContext->nb_streams; i++)
				av_dict_copy(&fContext->streams[i]->metadata, fContext->metadata, 0);
		}
		if (std::strcmp(fWriteFormat->ffmpegMuxer, "aiff") == 0)
			av_dict_set(&options, "write_id3v2", "1", 0);
	}
	int error = avformat_write_header(fContext, &options);
	av_dict_free(&options);
	if (error < 0) {
		status_t ioStatus = fIO->LastError();
		return ioStatus != B_OK ? ioStatus : StatusFromAVError(error);
	}
	fHeaderCommitted = true;
	return B_OK;
}

status_t BMediaFile::CloseFile()
{
	if (fClosed)
		return B_OK;
	fClosed = true;
	status_t status = B_OK;
	if (fWriting) {
		if (fHeaderCommitted) {
			for (auto& track : fTracks) {
				status_t finished = track->fEncoder->Finish();
				if (status == B_OK)
					status = finished;
			}
			int error = av_write_trailer(fContext);
			if (error < 0 && status == B_OK)
				status = fIO->LastError() != B_OK ? fIO->LastError() : StatusFromAVError(error);
		}
		fTracks.clear();
		avformat_free_context(fContext);
		fContext = nullptr;
	} else {
		fTracks.clear();
		fDemuxer.reset();
	}
	if (fIO) {
		status_t closed = fIO->Close();
		if (status == B_OK && fHeaderCommitted)
			status = closed;
	}
	return status;
}
