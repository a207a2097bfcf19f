// Decoding one audio stream to interleaved host-order 16-bit samples.
#include "kit/media/MediaDecoder.h"

#include "kit/media/MediaDemuxer.h"
#include "kit/media/MediaIO.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kDefaultBufferBytes = 65536;
// A stream whose decoder refuses this many packets in a row is not decodable.
constexpr int32 kMaxBadPackets = 1000;
constexpr int32 kMaxChannels = 255;

}   // namespace

MediaDecoder::MediaDecoder(const std::string& path, int32 bufferSize, const AVStream* stream)
	:
	fPath(path),
	fIOBufferSize(bufferSize),
	fStream(stream),
	fStreamIndex(stream->index),
	fOriginPts(AV_NOPTS_VALUE)
{
}

MediaDecoder::~MediaDecoder()
{
	swr_free(&fSwr);
	av_frame_free(&fFrame);
	av_packet_free(&fPacket);
	avcodec_free_context(&fCodec);
}

bool MediaDecoder::IsPcm() const
{
	AVCodecID id = fStream->codecpar->codec_id;
	return id >= AV_CODEC_ID_FIRST_AUDIO && id < AV_CODEC_ID_ADPCM_IMA_QT;
}

status_t MediaDecoder::_Open()
{
	if (fOpenStatus != B_NO_INIT)
		return fOpenStatus;
	const AVCodec* codec = avcodec_find_decoder(fStream->codecpar->codec_id);
	if (codec == nullptr)
		return fOpenStatus = B_MEDIA_NO_HANDLER;
	fCodec = avcodec_alloc_context3(codec);
	if (fPacket == nullptr)
		fPacket = av_packet_alloc();
	if (fFrame == nullptr)
		fFrame = av_frame_alloc();
	if (fCodec == nullptr || fPacket == nullptr || fFrame == nullptr)
		return fOpenStatus = B_NO_MEMORY;
	if (avcodec_parameters_to_context(fCodec, fStream->codecpar) < 0)
		return fOpenStatus = B_MEDIA_BAD_FORMAT;
	fCodec->pkt_timebase = fStream->time_base;
	fCodec->thread_count = 1;
	int error = avcodec_open2(fCodec, codec, nullptr);
	if (error < 0)
		return fOpenStatus = error == AVERROR(ENOMEM) ? B_NO_MEMORY : B_MEDIA_NO_HANDLER;
	const int32 channels = fCodec->ch_layout.nb_channels;
	const int32 rate = fCodec->sample_rate;
	if (channels <= 0 || channels > kMaxChannels || rate <= 0)
		return fOpenStatus = B_MEDIA_BAD_FORMAT;
	if (fChannels != 0 && (channels != fChannels || rate != fRate)) {
		// A restart must deliver what was negotiated before.
		return fOpenStatus = B_MEDIA_BAD_FORMAT;
	}
	fChannels = channels;
	fRate = rate;
	fFrameBytes = fChannels * int32(sizeof(int16));
	fPlanes.assign(size_t(fChannels), nullptr);
	return fOpenStatus = B_OK;
}

status_t MediaDecoder::_EnsureDemuxer()
{
	if (fDemuxer)
		return B_OK;
	auto demuxer = std::make_unique<MediaDemuxer>();
	status_t status = demuxer->Open(fPath, fIOBufferSize);
	if (status != B_OK)
		return status;
	AVFormatContext* context = demuxer->Context();
	if (fStreamIndex >= int(context->nb_streams)
		|| context->streams[fStreamIndex]->codecpar->codec_id != fStream->codecpar->codec_id)
		return B_MEDIA_BAD_FORMAT;
	for (unsigned i = 0; i < context->nb_streams; i++)
		context->streams[i]->discard = int(i) == fStreamIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
	fDemuxer = std::move(demuxer);
	return B_OK;
}

// Back to the state of a fresh track: a new demuxer and a new decoder.
status_t MediaDecoder::_Restart()
{
	fDemuxer.reset();
	avcodec_free_context(&fCodec);
	swr_free(&fSwr);
	fSwrFormat = -1;
	fOpenStatus = B_NO_INIT;
	if (fFrame != nullptr)
		av_frame_unref(fFrame);
	fHaveFrame = false;
	fFrameOffset = 0;
	fInputEnded = false;
	fEnded = false;
	fEndStatus = B_LAST_BUFFER_ERROR;
	fBadPackets = 0;
	fPosition = 0;
	fAtStart = true;
	status_t status = _Open();
	if (status == B_OK)
		status = _EnsureDemuxer();
	return status;
}

status_t MediaDecoder::Negotiate(media_format* ioFormat)
{
	if (ioFormat == nullptr)
		return B_BAD_VALUE;
	if (ioFormat->type != B_MEDIA_RAW_AUDIO && ioFormat->type != B_MEDIA_UNKNOWN_TYPE)
		return B_MEDIA_BAD_FORMAT;
	status_t status = _Open();
	if (status != B_OK)
		return status;

	size_t requested = ioFormat->u.raw_audio.buffer_size;
	if (requested == 0)
		requested = kDefaultBufferBytes;
	fBufferFrames = std::max<int64>(1, int64(requested / size_t(fFrameBytes)));

	ioFormat->Clear();
	ioFormat->type = B_MEDIA_RAW_AUDIO;
	media_raw_audio_format& raw = ioFormat->u.raw_audio;
	raw.frame_rate = float(fRate);
	raw.channel_count = uint32(fChannels);
	raw.format = B_AUDIO_SHORT;
	raw.byte_order = B_MEDIA_HOST_ENDIAN;
	raw.buffer_size = size_t(fBufferFrames) * size_t(fFrameBytes);
	fNegotiated = true;
	return B_OK;
}

status_t MediaDecoder::_NextFrame()
{
	while (!fEnded) {
		int error = avcodec_receive_frame(fCodec, fFrame);
		if (error == 0) {
			if (fFrame->nb_samples <= 0) {
				av_frame_unref(fFrame);
				continue;
			}
			if (fFrame->ch_layout.nb_channels != fChannels || fFrame->sample_rate != fRate) {
				// The stream changed its layout midway; what was promised
				// cannot be delivered from here on.
				av_frame_unref(fFrame);
				fEnded = true;
				fEndStatus = B_MEDIA_BAD_FORMAT;
				break;
			}
			if (fAtStart) {
				fOriginPts = fFrame->pts != AV_NOPTS_VALUE ? fFrame->pts : fFrame->best_effort_timestamp;
				fAtStart = false;
			}
			fBadPackets = 0;
			fHaveFrame = true;
			fFrameOffset = 0;
			return B_OK;
		}
		if (error == AVERROR_EOF) {
			fEnded = true;
			break;
		}
		if (error != AVERROR(EAGAIN)) {
			if (error == AVERROR(ENOMEM) || ++fBadPackets > kMaxBadPackets) {
				fEnded = true;
				fEndStatus = StatusFromAVError(error);
				break;
			}
			continue;
		}
		if (fInputEnded) {
			fEnded = true;
			break;
		}

		error = av_read_frame(fDemuxer->Context(), fPacket);
		if (error < 0) {
			if (error != AVERROR_EOF)
				fEndStatus = fDemuxer->StatusFor(error);
			fInputEnded = true;
			avcodec_send_packet(fCodec, nullptr);
			continue;
		}
		if (fPacket->stream_index != fStreamIndex) {
			av_packet_unref(fPacket);
			continue;
		}
		error = avcodec_send_packet(fCodec, fPacket);
		av_packet_unref(fPacket);
		if (error < 0 && error != AVERROR(EAGAIN)) {
			if (error == AVERROR(ENOMEM) || ++fBadPackets > kMaxBadPackets) {
				fEnded = true;
				fEndStatus = StatusFromAVError(error);
				break;
			}
		}
	}
	return fEndStatus;
}

int64 MediaDecoder::_FramesAllowed(int64 position) const
{
	if (fFrameLimit < 0)
		return INT64_MAX;
	return std::max<int64>(0, fFrameLimit - position);
}

bool MediaDecoder::_Convert(uint8* destination, int64 frames)
{
	const auto format = AVSampleFormat(fFrame->format);
	const int bytesPerSample = av_get_bytes_per_sample(format);
	if (format == AV_SAMPLE_FMT_S16) {
		std::memcpy(destination, fFrame->data[0] + fFrameOffset * fFrameBytes, size_t(frames * fFrameBytes));
		return true;
	}
	if (bytesPerSample <= 0)
		return false;
	if (fSwr == nullptr || fSwrFormat != fFrame->format) {
		swr_free(&fSwr);
		AVChannelLayout layout;
		av_channel_layout_default(&layout, fChannels);
		// The same layout and rate on both sides: a sample format conversion only.
		int error = swr_alloc_set_opts2(&fSwr, &layout, AV_SAMPLE_FMT_S16, fRate, &layout, format, fRate, 0, nullptr);
		av_channel_layout_uninit(&layout);
		if (error < 0 || swr_init(fSwr) < 0) {
			swr_free(&fSwr);
			return false;
		}
		fSwrFormat = fFrame->format;
	}
	if (av_sample_fmt_is_planar(format)) {
		for (int32 c = 0; c < fChannels; c++)
			fPlanes[size_t(c)] = fFrame->extended_data[c] + fFrameOffset * bytesPerSample;
	} else {
		fPlanes[0] = fFrame->extended_data[0] + fFrameOffset * bytesPerSample * fChannels;
	}
	uint8* out[1] = {destination};
	int done = swr_convert(fSwr, out, int(frames), fPlanes.data(), int(frames));
	return done == int(frames);
}

status_t MediaDecoder::ReadFrames(void* buffer, int64* frameCount, media_header* header)
{
	if (frameCount == nullptr || buffer == nullptr)
		return B_BAD_VALUE;
	*frameCount = 0;
	if (!fNegotiated) {
		media_format format;
		format.type = B_MEDIA_RAW_AUDIO;
		status_t status = Negotiate(&format);
		if (status != B_OK)
			return status;
	}
	status_t demuxStatus = _EnsureDemuxer();
	if (demuxStatus != B_OK)
		return demuxStatus;

	auto* destination = static_cast<uint8*>(buffer);
	const int64 startPosition = fPosition;
	int64 delivered = 0;
	status_t status = B_OK;
	while (delivered < fBufferFrames) {
		const int64 allowed = _FramesAllowed(fPosition + delivered);
		if (allowed == 0) {
			status = B_LAST_BUFFER_ERROR;
			break;
		}
		if (!fHaveFrame) {
			status = _NextFrame();
			if (status != B_OK)
				break;
		}
		int64 n = std::min({fFrame->nb_samples - fFrameOffset, fBufferFrames - delivered, allowed});
		if (!_Convert(destination + delivered * fFrameBytes, n)) {
			fEnded = true;
			fEndStatus = B_MEDIA_BAD_FORMAT;
			av_frame_unref(fFrame);
			fHaveFrame = false;
			status = fEndStatus;
			break;
		}
		delivered += n;
		fFrameOffset += n;
		if (fFrameOffset >= fFrame->nb_samples) {
			av_frame_unref(fFrame);
			fHaveFrame = false;
		}
	}
	fPosition += delivered;
	*frameCount = delivered;
	if (header != nullptr) {
		header->type = B_MEDIA_RAW_AUDIO;
		header->start_time = bigtime_t(av_rescale(startPosition, 1000000, fRate));
		header->size_used = size_t(delivered * fFrameBytes);
	}
	return delivered > 0 ? B_OK : status;
}

int64 MediaDecoder::_Skip(int64 count, status_t* status)
{
	int64 skipped = 0;
	*status = B_OK;
	while (skipped < count) {
		const int64 allowed = _FramesAllowed(fPosition + skipped);
		if (allowed == 0) {
			*status = B_LAST_BUFFER_ERROR;
			break;
		}
		if (!fHaveFrame) {
			*status = _NextFrame();
			if (*status != B_OK)
				break;
		}
		int64 n = std::min({fFrame->nb_samples - fFrameOffset, count - skipped, allowed});
		skipped += n;
		fFrameOffset += n;
		if (fFrameOffset >= fFrame->nb_samples) {
			av_frame_unref(fFrame);
			fHaveFrame = false;
		}
	}
	fPosition += skipped;
	return skipped;
}

status_t MediaDecoder::SeekToFrame(int64* ioFrame)
{
	if (ioFrame == nullptr)
		return B_BAD_VALUE;
	const int64 target = std::max<int64>(0, *ioFrame);
	*ioFrame = 0;
	if (target == 0 && !fDemuxer && fPosition == 0)
		return _Open();   // nothing read yet: already at frame 0
	status_t status = _Restart();
	if (status != B_OK)
		return status;
	if (target == 0)
		return B_OK;

	if (IsPcm()) {
		// PCM timestamps are exact: learn where frame 0 lies on the stream's
		// clock, jump close to the target and drop the frames before it.
		if (_NextFrame() == B_OK && fOriginPts != AV_NOPTS_VALUE) {
			const AVRational sampleBase = {1, fRate};
			AVFormatContext* context = fDemuxer->Context();
			int64 timestamp = fOriginPts + av_rescale_q(target, sampleBase, fStream->time_base);
			if (av_seek_frame(context, fStreamIndex, timestamp, AVSEEK_FLAG_BACKWARD) >= 0) {
				avcodec_flush_buffers(fCodec);
				av_frame_unref(fFrame);
				fHaveFrame = false;
				if (_NextFrame() == B_OK) {
					int64 pts = fFrame->pts != AV_NOPTS_VALUE ? fFrame->pts : fFrame->best_effort_timestamp;
					int64 position = pts != AV_NOPTS_VALUE
						? av_rescale_q(pts - fOriginPts, fStream->time_base, sampleBase) : -1;
					if (position >= 0 && position <= target) {
						fPosition = position;
						_Skip(target - position, &status);
						*ioFrame = fPosition;
						return B_OK;
					}
				}
			}
		}
		status = _Restart();
		if (status != B_OK)
			return status;
	}
	_Skip(target, &status);
	*ioFrame = fPosition;
	return B_OK;
}

status_t MediaDecoder::CountRemainingFrames(int64* frames)
{
	status_t status = _Open();
	if (status == B_OK)
		status = _EnsureDemuxer();
	if (status != B_OK)
		return status;
	int64 total = 0;
	for (;;) {
		const int64 allowed = _FramesAllowed(fPosition + total);
		if (allowed == 0) {
			status = B_LAST_BUFFER_ERROR;
			break;
		}
		if (!fHaveFrame) {
			status = _NextFrame();
			if (status != B_OK)
				break;
		}
		const int64 n = std::min<int64>(fFrame->nb_samples - fFrameOffset, allowed);
		total += n;
		fFrameOffset += n;
		if (fFrameOffset >= fFrame->nb_samples) {
			av_frame_unref(fFrame);
			fHaveFrame = false;
		}
	}
	fPosition += total;
	*frames = total;
	return status == B_LAST_BUFFER_ERROR ? B_OK : status;
}

status_t MediaDecoder::CountPcmFrames(int64 statedFrames, int64* frames)
{
	*frames = 0;
	const AVCodecParameters* parameters = fStream->codecpar;
	int64 frameBytes = parameters->block_align;
	if (frameBytes <= 0)
		frameBytes = int64(av_get_exact_bits_per_sample(parameters->codec_id)) * parameters->ch_layout.nb_channels / 8;
	if (frameBytes <= 0)
		return B_MEDIA_BAD_FORMAT;
	status_t status = _Restart();
	if (status != B_OK)
		return status;
	int64 dataStart = -1;
	while (av_read_frame(fDemuxer->Context(), fPacket) >= 0) {
		bool ours = fPacket->stream_index == fStreamIndex;
		if (ours)
			dataStart = fPacket->pos;
		av_packet_unref(fPacket);
		if (ours)
			break;
	}
	const int64 fileSize = fDemuxer->IO()->FileSize();
	status = _Restart();
	if (dataStart < 0 || fileSize < dataStart)
		return status;
	int64 count = (fileSize - dataStart) / frameBytes;
	if (statedFrames > 0)
		count = std::min(count, statedFrames);
	*frames = count;
	return status;
}
