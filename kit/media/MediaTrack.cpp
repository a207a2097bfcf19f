// BMediaTrack: a façade over the decoder or encoder of one stream.
#include "kit/media/MediaTrack.h"

#include "kit/media/MediaDecoder.h"
#include "kit/media/MediaDemuxer.h"
#include "kit/media/MediaEncoder.h"
#include "kit/media/MediaFile.h"
#include "kit/media/MediaIO.h"
#include "kit/media/Mp3Gap.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

bool IsPcm(AVCodecID id)
{
	return id >= AV_CODEC_ID_FIRST_AUDIO && id < AV_CODEC_ID_ADPCM_IMA_QT;
}

uint32 SampleFormatCode(AVSampleFormat format)
{
	switch (av_get_packed_sample_fmt(format)) {
		case AV_SAMPLE_FMT_U8:
			return B_AUDIO_UCHAR;
		case AV_SAMPLE_FMT_S16:
			return B_AUDIO_SHORT;
		case AV_SAMPLE_FMT_S32:
			return B_AUDIO_INT;
		case AV_SAMPLE_FMT_FLT:
			return B_AUDIO_FLOAT;
		default:
			return 0;
	}
}

// Byte order of a PCM codec's samples (the host's for the rest).
uint32 PcmByteOrder(AVCodecID id)
{
	const AVCodecDescriptor* descriptor = avcodec_descriptor_get(id);
	if (descriptor != nullptr && descriptor->name != nullptr) {
		size_t length = std::strlen(descriptor->name);
		if (length > 2 && std::strcmp(descriptor->name + length - 2, "be") == 0)
			return B_MEDIA_BIG_ENDIAN;
		if (length > 2 && std::strcmp(descriptor->name + length - 2, "le") == 0)
			return B_MEDIA_LITTLE_ENDIAN;
	}
	return B_MEDIA_HOST_ENDIAN;
}

// Bytes read from the start of an MP3 file (after its ID3v2 tag) to find
// the Info frame, and the junk allowed before it.
constexpr size_t kMp3HeadBytes = 8192;
constexpr size_t kMp3MaxJunk = 4096;

// The length an MP3 stream delivers when its Info frame declares the
// encoder's delay and padding, which FFmpeg's decoder removes: -1 when it
// declares none, or when FFmpeg did not take the same delay (its start
// time is the delay plus the decoder's own 529 samples).
int64 Mp3GaplessLength(const MediaDemuxer& demuxer, const AVStream* stream)
{
	const MediaIO* io = demuxer.IO();
	uint8 head[kMp3HeadBytes];
	ssize_t got = io != nullptr ? io->ReadAt(0, head, 10) : -1;
	if (got < 10)
		return -1;
	const size_t tag = Id3v2TagSize(head, size_t(got));
	got = io->ReadAt(int64(tag), head, sizeof(head));
	Mp3EncoderGap gap;
	if (got <= 0 || !ParseMp3EncoderGap(head, size_t(got), kMp3MaxJunk, &gap))
		return -1;
	if (gap.sampleRate != stream->codecpar->sample_rate || stream->start_time == AV_NOPTS_VALUE)
		return -1;
	const int64 startSkip = av_rescale_q(stream->start_time, stream->time_base, AVRational {1, gap.sampleRate});
	if (startSkip != int64(gap.delay) + 529)
		return -1;
	return Mp3GaplessSampleCount(gap);
}

// Whether the demuxer is the one of ISO media files (MP4, M4A, MOV).
bool IsIsoMedia(const AVFormatContext* context)
{
	return context->iformat != nullptr && std::strncmp(context->iformat->name, "mov,", 4) == 0;
}

// The first packet's timestamp of stream `index` and the end of its last
// packet (timestamp + duration), on the stream's clock, the last found
// through the index. False when either is unknown. Leaves `context` at
// its start.
bool PacketSpan(AVFormatContext* context, int index, int64* firstPts, int64* lastEnd)
{
	if (index < 0 || index >= int(context->nb_streams))
		return false;
	AVStream* stream = context->streams[index];
	const int entries = avformat_index_get_entries_count(stream);
	const AVIndexEntry* last = entries > 0 ? avformat_index_get_entry(stream, entries - 1) : nullptr;
	AVPacket* packet = av_packet_alloc();
	if (packet == nullptr || last == nullptr) {
		av_packet_free(&packet);
		return false;
	}
	*firstPts = AV_NOPTS_VALUE;
	*lastEnd = AV_NOPTS_VALUE;
	while (*firstPts == AV_NOPTS_VALUE && av_read_frame(context, packet) >= 0) {
		if (packet->stream_index == index)
			*firstPts = packet->pts;
		av_packet_unref(packet);
	}
	if (av_seek_frame(context, index, last->timestamp, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY) >= 0) {
		while (av_read_frame(context, packet) >= 0) {
			if (packet->stream_index == index && packet->pts != AV_NOPTS_VALUE && packet->duration > 0
				&& (*lastEnd == AV_NOPTS_VALUE || packet->pts + packet->duration > *lastEnd))
				*lastEnd = packet->pts + packet->duration;
			av_packet_unref(packet);
		}
	}
	av_packet_free(&packet);
	av_seek_frame(context, -1, 0, AVSEEK_FLAG_BACKWARD);
	return *firstPts != AV_NOPTS_VALUE && *lastEnd != AV_NOPTS_VALUE;
}

// The samples an ISO media audio stream holds after the encoder's priming,
// -1 when unknown. The edit list states the presented length, but in the
// movie's time scale (often milliseconds), so it may fall short of the
// last samples by a fraction of a tick; the sample table is exact. The
// sample table's length counts unless it differs from the edit list's by
// more than that rounding (an edit that really cuts the end).
int64 IsoMediaLength(AVFormatContext* context, const AVStream* stream, int rate, const std::string& path)
{
	if (rate <= 0)
		return -1;
	const AVRational sampleBase = {1, rate};
	int64 editedFirst;
	int64 editedEnd;
	if (!PacketSpan(context, stream->index, &editedFirst, &editedEnd))
		return -1;
	const int64 start = stream->start_time != AV_NOPTS_VALUE ? std::max<int64>(0, stream->start_time) : 0;
	const int64 edited = std::max<int64>(0, av_rescale_q(editedEnd - start, stream->time_base, sampleBase));

	MediaDemuxer raw;
	int64 rawFirst;
	int64 rawEnd;
	if (raw.Open(path, 65536, true) != B_OK || stream->index >= int(raw.Context()->nb_streams)
		|| raw.Context()->streams[stream->index]->codecpar->codec_id != stream->codecpar->codec_id
		|| !PacketSpan(raw.Context(), stream->index, &rawFirst, &rawEnd))
		return edited;
	// The priming: what the edit list puts before the presented start.
	const int64 priming = editedFirst < start ? start - editedFirst : 0;
	const AVRational rawBase = raw.Context()->streams[stream->index]->time_base;
	const int64 whole = av_rescale_q(rawEnd - rawFirst, rawBase, sampleBase)
		- av_rescale_q(priming, stream->time_base, sampleBase);
	const int64 tick = rate / 600 + 1;
	return whole >= edited && whole - edited <= tick ? whole : edited;
}

}   // namespace

BMediaTrack::BMediaTrack(BMediaFile* file, int32 streamIndex)
	:
	fFile(file),
	fStreamIndex(streamIndex)
{
	AVFormatContext* context = file->fDemuxer->Context();
	AVStream* stream = context->streams[streamIndex];
	const AVCodecParameters* parameters = stream->codecpar;
	switch (parameters->codec_type) {
		case AVMEDIA_TYPE_AUDIO: {
			fKind = B_MEDIA_ENCODED_AUDIO;
			fRate = parameters->sample_rate;
			// The container's length, less the encoder's priming when the
			// demuxer states it separately (Opus).
			const AVRational sampleBase = {1, std::max(1, fRate)};
			if (stream->duration > 0 && stream->time_base.num > 0 && stream->time_base.den > 0)
				fFrameCount = av_rescale_q(stream->duration, stream->time_base, sampleBase);
			else if (context->duration > 0)
				fFrameCount = av_rescale(context->duration, std::max(1, fRate), AV_TIME_BASE);
			fFrameCount -= std::max(0, parameters->initial_padding);
			fFrameCount = fRate > 0 ? std::max<int64>(0, fFrameCount) : 0;
			fDecoder = std::make_unique<MediaDecoder>(file->fPath, file->fReadBufferSize, stream);
			// Gapless lengths: what the encoder was given, without its
			// priming and padding. The decoder is held to them, as it does
			// not drop the padding at the end of every format by itself.
			if (parameters->codec_id == AV_CODEC_ID_MP3) {
				const int64 gapless = Mp3GaplessLength(*file->fDemuxer, stream);
				if (gapless >= 0) {
					fFrameCount = gapless;
					fDecoder->SetFrameLimit(gapless);
				}
			} else if (IsIsoMedia(context) && !IsPcm(parameters->codec_id)) {
				const int64 length = IsoMediaLength(context, stream, fRate, file->fPath);
				if (length >= 0) {
					fFrameCount = length;
					fDecoder->SetFrameLimit(length);
				}
			}
			break;
		}
		case AVMEDIA_TYPE_VIDEO:
			fKind = B_MEDIA_ENCODED_VIDEO;
			fFrameCount = std::max<int64>(0, stream->nb_frames);
			break;
		default:
			fKind = B_MEDIA_UNKNOWN_TYPE;
			break;
	}
	fStatus = B_OK;
}

BMediaTrack::BMediaTrack(BMediaFile* file, std::unique_ptr<MediaEncoder> encoder)
	:
	fFile(file),
	fStreamIndex(-1),
	fStatus(B_OK),
	fKind(B_MEDIA_RAW_AUDIO),
	fEncoder(std::move(encoder))
{
}

BMediaTrack::~BMediaTrack() = default;

status_t BMediaTrack::EncodedFormat(media_format* format) const
{
	if (format == nullptr)
		return B_BAD_VALUE;
	format->Clear();
	if (fEncoder) {
		AVStream* stream = fFile->fContext->streams[fEncoder->StreamIndex()];
		format->type = IsPcm(stream->codecpar->codec_id) ? B_MEDIA_RAW_AUDIO : B_MEDIA_ENCODED_AUDIO;
		media_raw_audio_format& raw = format->type == B_MEDIA_RAW_AUDIO ? format->u.raw_audio
			: format->u.encoded_audio.output;
		raw.frame_rate = float(stream->codecpar->sample_rate);
		raw.channel_count = uint32(std::max(0, stream->codecpar->ch_layout.nb_channels));
		raw.format = B_AUDIO_SHORT;
		raw.byte_order = PcmByteOrder(stream->codecpar->codec_id);
		return B_OK;
	}
	AVStream* stream = fFile->fDemuxer->Context()->streams[fStreamIndex];
	const AVCodecParameters* parameters = stream->codecpar;
	if (fKind == B_MEDIA_ENCODED_AUDIO) {
		media_raw_audio_format raw = {};
		raw.frame_rate = float(parameters->sample_rate);
		raw.channel_count = uint32(std::max(0, parameters->ch_layout.nb_channels));
		raw.format = SampleFormatCode(AVSampleFormat(parameters->format));
		raw.byte_order = PcmByteOrder(parameters->codec_id);
		if (IsPcm(parameters->codec_id) && raw.format != 0) {
			format->type = B_MEDIA_RAW_AUDIO;
			format->u.raw_audio = raw;
		} else {
			format->type = B_MEDIA_ENCODED_AUDIO;
			format->u.encoded_audio.output = raw;
			format->u.encoded_audio.bit_rate = float(parameters->bit_rate);
			format->u.encoded_audio.frame_size = size_t(std::max(0, parameters->frame_size));
			format->u.encoded_audio.encoding = int32(parameters->codec_id);
		}
	} else if (fKind == B_MEDIA_ENCODED_VIDEO) {
		format->type = B_MEDIA_ENCODED_VIDEO;
		format->u.encoded_video.width = uint32(std::max(0, parameters->width));
		format->u.encoded_video.height = uint32(std::max(0, parameters->height));
		if (stream->avg_frame_rate.den > 0)
			format->u.encoded_video.field_rate = float(av_q2d(stream->avg_frame_rate));
		format->u.encoded_video.encoding = int32(parameters->codec_id);
	}
	return B_OK;
}

status_t BMediaTrack::DecodedFormat(media_format* ioFormat, uint32 flags)
{
	if (ioFormat == nullptr)
		return B_BAD_VALUE;
	if (fEncoder)
		return B_NOT_ALLOWED;
	if (!fDecoder)
		return B_MEDIA_BAD_FORMAT;
	return fDecoder->Negotiate(ioFormat);
}

status_t BMediaTrack::GetCodecInfo(media_codec_info* info) const
{
	if (info == nullptr)
		return B_BAD_VALUE;
	std::memset(info, 0, sizeof(*info));
	if (fEncoder) {
		std::snprintf(info->pretty_name, sizeof(info->pretty_name), "%s", fEncoder->Entry().prettyName);
		std::snprintf(info->short_name, sizeof(info->short_name), "%s", fEncoder->Entry().shortName);
		return B_OK;
	}
	const AVCodecParameters* parameters = fFile->fDemuxer->Context()->streams[fStreamIndex]->codecpar;
	const AVCodecDescriptor* descriptor = avcodec_descriptor_get(parameters->codec_id);
	if (descriptor == nullptr)
		return B_MEDIA_NO_HANDLER;
	std::snprintf(info->pretty_name, sizeof(info->pretty_name), "%s",
		descriptor->long_name != nullptr ? descriptor->long_name : descriptor->name);
	std::snprintf(info->short_name, sizeof(info->short_name), "%s", descriptor->name);
	info->id = int32(parameters->codec_id);
	return B_OK;
}

int64 BMediaTrack::CountFrames() const
{
	if (fEncoder)
		return fEncoder->FramesWritten();
	return fFrameCount;
}

bigtime_t BMediaTrack::Duration() const
{
	if (fEncoder) {
		AVStream* stream = fFile->fContext->streams[fEncoder->StreamIndex()];
		return stream->codecpar->sample_rate > 0
			? bigtime_t(av_rescale(fEncoder->FramesWritten(), 1000000, stream->codecpar->sample_rate)) : 0;
	}
	if (fKind == B_MEDIA_ENCODED_AUDIO && fRate > 0)
		return bigtime_t(av_rescale(fFrameCount, 1000000, fRate));
	AVStream* stream = fFile->fDemuxer->Context()->streams[fStreamIndex];
	if (stream->duration > 0)
		return bigtime_t(av_rescale_q(stream->duration, stream->time_base, AVRational {1, 1000000}));
	return 0;
}

int64 BMediaTrack::CurrentFrame() const
{
	if (fEncoder)
		return fEncoder->FramesWritten();
	return fDecoder ? fDecoder->CurrentFrame() : 0;
}

status_t BMediaTrack::ReadFrames(void* buffer, int64* frameCount, media_header* header)
{
	if (frameCount == nullptr)
		return B_BAD_VALUE;
	*frameCount = 0;
	if (fEncoder)
		return B_NOT_ALLOWED;
	if (!fDecoder)
		return B_MEDIA_BAD_FORMAT;
	return fDecoder->ReadFrames(buffer, frameCount, header);
}

status_t BMediaTrack::SeekToFrame(int64* ioFrame, int32 flags)
{
	if (ioFrame == nullptr)
		return B_BAD_VALUE;
	if (fEncoder)
		return B_NOT_ALLOWED;
	if (!fDecoder)
		return B_MEDIA_BAD_FORMAT;
	return fDecoder->SeekToFrame(ioFrame);
}

status_t BMediaTrack::CountFramesExactly(int64* frameCount)
{
	if (frameCount == nullptr)
		return B_BAD_VALUE;
	*frameCount = 0;
	if (fEncoder)
		return B_NOT_ALLOWED;
	if (!fDecoder)
		return B_MEDIA_BAD_FORMAT;
	media_format format;
	format.type = B_MEDIA_RAW_AUDIO;
	status_t status = fDecoder->Negotiate(&format);
	if (status != B_OK)
		return status;
	if (fDecoder->IsPcm())
		return fDecoder->CountPcmFrames(fFrameCount, frameCount);
	int64 position = 0;
	status = fDecoder->SeekToFrame(&position);
	if (status != B_OK)
		return status;
	return fDecoder->CountRemainingFrames(frameCount);
}

status_t BMediaTrack::WriteFrames(const void* data, int32 frameCount, int32 flags)
{
	if (!fEncoder)
		return B_NOT_ALLOWED;
	if (!fFile->fHeaderCommitted)
		return B_NO_INIT;
	return fEncoder->Write(data, frameCount);
}

status_t BMediaTrack::SetQuality(float quality)
{
	if (!fEncoder)
		return B_NOT_ALLOWED;
	if (fFile->fHeaderCommitted)
		return B_NOT_ALLOWED;
	return fEncoder->SetQuality(quality);
}

status_t BMediaTrack::GetQuality(float* quality) const
{
	if (quality == nullptr)
		return B_BAD_VALUE;
	if (!fEncoder)
		return B_NOT_ALLOWED;
	*quality = fEncoder->Quality();
	return B_OK;
}
