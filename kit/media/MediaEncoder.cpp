// Encoding raw 16-bit audio into one stream of a file being written.
#include "kit/media/MediaEncoder.h"

#include "kit/media/MediaIO.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>

using media_kit_private::EncoderEntry;

namespace {

// Input frames converted per step: bounds the scratch buffers.
constexpr int32 kChunkFrames = 4096;

bool IsEncoder(const EncoderEntry& entry, const char* name)
{
	return std::strcmp(entry.ffmpegEncoder, name) == 0;
}

AVSampleFormat ChooseSampleFormat(const AVCodec* codec)
{
	if (codec->sample_fmts == nullptr)
		return AV_SAMPLE_FMT_S16;
	for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; f++) {
		if (*f == AV_SAMPLE_FMT_S16)
			return *f;
	}
	for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; f++) {
		if (*f == AV_SAMPLE_FMT_S16P)
			return *f;
	}
	return codec->sample_fmts[0];
}

void SwapSamples(const uint8* source, uint8* destination, size_t bytes)
{
	for (size_t i = 0; i + 1 < bytes; i += 2) {
		destination[i] = source[i + 1];
		destination[i + 1] = source[i];
	}
}

}   // namespace

MediaEncoder::MediaEncoder(AVFormatContext* context, MediaIO* io, const EncoderEntry& entry,
	const media_raw_audio_format& input)
	:
	fContext(context),
	fIO(io),
	fEntry(entry),
	fInput(input)
{
	const AVCodec* codec = avcodec_find_encoder_by_name(entry.ffmpegEncoder);
	if (codec == nullptr) {
		fStatus = B_MEDIA_NO_HANDLER;
		return;
	}
	const int inputRate = int(std::lround(input.frame_rate));
	const int outputRate = media_kit_private::EncoderOutputRate(entry, inputRate);
	if (input.format != B_AUDIO_SHORT || input.channel_count == 0 || input.channel_count > entry.maxChannels
		|| inputRate <= 0 || outputRate == 0) {
		fStatus = B_MEDIA_BAD_FORMAT;
		return;
	}
	fStream = avformat_new_stream(context, nullptr);
	fCodec = avcodec_alloc_context3(codec);
	fPacket = av_packet_alloc();
	fFrame = av_frame_alloc();
	if (fStream == nullptr || fCodec == nullptr || fPacket == nullptr || fFrame == nullptr) {
		fStatus = B_NO_MEMORY;
		return;
	}
	fCodec->sample_fmt = ChooseSampleFormat(codec);
	fCodec->sample_rate = outputRate;
	av_channel_layout_default(&fCodec->ch_layout, int(input.channel_count));
	fCodec->time_base = AVRational {1, outputRate};
	if ((context->oformat->flags & AVFMT_GLOBALHEADER) != 0)
		fCodec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
	fStatus = B_OK;
}

MediaEncoder::~MediaEncoder()
{
	av_audio_fifo_free(fFifo);
	swr_free(&fSwr);
	av_frame_free(&fFrame);
	av_packet_free(&fPacket);
	avcodec_free_context(&fCodec);
}

int MediaEncoder::StreamIndex() const
{
	return fStream != nullptr ? fStream->index : -1;
}

status_t MediaEncoder::SetQuality(float quality)
{
	if (!(quality >= 0.0f && quality <= 1.0f))
		return B_BAD_VALUE;
	if (fOpened)
		return B_NOT_ALLOWED;
	fQuality = quality;
	return B_OK;
}

status_t MediaEncoder::Open()
{
	if (fStatus != B_OK)
		return fStatus;
	if (fOpened)
		return B_OK;

	// Quality: VBR levels for LAME (V9..V0) and Vorbis (q0..q10), bit rates
	// for the bit-rate driven codecs; the lossless ones ignore it.
	const int channels = fCodec->ch_layout.nb_channels;
	const double perChannelPair = std::max(1.0, channels / 2.0);
	if (IsEncoder(fEntry, "libmp3lame")) {
		fCodec->flags |= AV_CODEC_FLAG_QSCALE;
		fCodec->global_quality = int(std::lround((1.0 - fQuality) * 9.0)) * FF_QP2LAMBDA;
	} else if (IsEncoder(fEntry, "libvorbis")) {
		fCodec->flags |= AV_CODEC_FLAG_QSCALE;
		fCodec->global_quality = int(std::lround(fQuality * 10.0 * FF_QP2LAMBDA));
	} else if (IsEncoder(fEntry, "libopus")) {
		fCodec->bit_rate = int64(std::lround((64000 + fQuality * 192000) * perChannelPair));
	} else if (IsEncoder(fEntry, "aac")) {
		fCodec->bit_rate = int64(std::lround((96000 + fQuality * 224000) * perChannelPair));
	}

	int error = avcodec_open2(fCodec, fCodec->codec, nullptr);
	if (error < 0)
		return error == AVERROR(ENOMEM) ? B_NO_MEMORY : B_MEDIA_BAD_FORMAT;
	if (avcodec_parameters_from_context(fStream->codecpar, fCodec) < 0)
		return B_NO_MEMORY;
	fStream->time_base = fCodec->time_base;

	const bool variable = (fCodec->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) != 0;
	fFrameSize = fCodec->frame_size > 0 && !variable ? fCodec->frame_size : kChunkFrames;

	const int inputRate = int(std::lround(fInput.frame_rate));
	fFifo = av_audio_fifo_alloc(fCodec->sample_fmt, channels, fFrameSize + 2 * kChunkFrames);
	fFrame->nb_samples = fFrameSize;
	fFrame->format = fCodec->sample_fmt;
	fFrame->sample_rate = fCodec->sample_rate;
	if (fFifo == nullptr || av_channel_layout_copy(&fFrame->ch_layout, &fCodec->ch_layout) < 0
		|| av_frame_get_buffer(fFrame, 0) < 0)
		return B_NO_MEMORY;

	if (fCodec->sample_fmt != AV_SAMPLE_FMT_S16 || fCodec->sample_rate != inputRate) {
		error = swr_alloc_set_opts2(&fSwr, &fCodec->ch_layout, fCodec->sample_fmt, fCodec->sample_rate,
			&fCodec->ch_layout, AV_SAMPLE_FMT_S16, inputRate, 0, nullptr);
		if (error < 0 || swr_init(fSwr) < 0)
			return B_NO_MEMORY;
		fChunkCapacity = int32(av_rescale_rnd(kChunkFrames, fCodec->sample_rate, inputRate, AV_ROUND_UP)) + 256;
		int size = av_samples_get_buffer_size(nullptr, channels, fChunkCapacity, fCodec->sample_fmt, 1);
		if (size < 0)
			return B_NO_MEMORY;
		fConverted.resize(size_t(size));
		fPlanes.resize(size_t(channels));
		av_samples_fill_arrays(fPlanes.data(), nullptr, fConverted.data(), channels, fChunkCapacity,
			fCodec->sample_fmt, 1);
	}
	if (fInput.byte_order != B_MEDIA_HOST_ENDIAN && fInput.byte_order != 0)
		fSwapped.resize(size_t(kChunkFrames) * size_t(channels) * sizeof(int16));
	fOpened = true;
	return B_OK;
}

status_t MediaEncoder::_WriteError(int error) const
{
	status_t ioStatus = fIO != nullptr ? fIO->LastError() : B_OK;
	return ioStatus != B_OK ? ioStatus : StatusFromAVError(error);
}

status_t MediaEncoder::_SendFrame(AVFrame* frame)
{
	int error = avcodec_send_frame(fCodec, frame);
	if (error < 0)
		return StatusFromAVError(error);
	for (;;) {
		error = avcodec_receive_packet(fCodec, fPacket);
		if (error == AVERROR(EAGAIN) || error == AVERROR_EOF)
			return B_OK;
		if (error < 0)
			return StatusFromAVError(error);
		av_packet_rescale_ts(fPacket, fCodec->time_base, fStream->time_base);
		fPacket->stream_index = fStream->index;
		error = av_interleaved_write_frame(fContext, fPacket);
		if (error < 0)
			return _WriteError(error);
	}
}

status_t MediaEncoder::_PushToFifo(const uint8* interleaved, int32 frames)
{
	if (fSwr == nullptr) {
		void* planes[1] = {const_cast<uint8*>(interleaved)};
		return av_audio_fifo_write(fFifo, planes, frames) == frames ? B_OK : B_NO_MEMORY;
	}
	const uint8* in[1] = {interleaved};
	int out = swr_convert(fSwr, fPlanes.data(), fChunkCapacity, frames > 0 ? in : nullptr, frames);
	while (out > 0) {
		if (av_audio_fifo_write(fFifo, reinterpret_cast<void**>(fPlanes.data()), out) != out)
			return B_NO_MEMORY;
		if (frames > 0)
			break;
		// Flushing the resampler: take everything it still holds.
		out = swr_convert(fSwr, fPlanes.data(), fChunkCapacity, nullptr, 0);
	}
	return out < 0 ? B_ERROR : B_OK;
}

status_t MediaEncoder::_Encode(bool final)
{
	const bool smallLast = (fCodec->codec->capabilities
		& (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE)) != 0;
	for (;;) {
		int available = av_audio_fifo_size(fFifo);
		if (available <= 0 || (available < fFrameSize && !final))
			return B_OK;
		int n = std::min(available, fFrameSize);
		if (av_frame_make_writable(fFrame) < 0)
			return B_NO_MEMORY;
		fFrame->nb_samples = fFrameSize;
		if (av_audio_fifo_read(fFifo, reinterpret_cast<void**>(fFrame->extended_data), n) != n)
			return B_ERROR;
		if (n < fFrameSize) {
			if (smallLast) {
				fFrame->nb_samples = n;
			} else {
				av_samples_set_silence(fFrame->extended_data, n, fFrameSize - n, fCodec->ch_layout.nb_channels,
					fCodec->sample_fmt);
			}
		}
		fFrame->pts = fNextPts;
		fNextPts += fFrame->nb_samples;
		status_t status = _SendFrame(fFrame);
		fFrame->nb_samples = fFrameSize;
		if (status != B_OK)
			return status;
	}
}

status_t MediaEncoder::Write(const void* data, int32 frames)
{
	if (!fOpened)
		return B_NO_INIT;
	if (fFinished)
		return B_NOT_ALLOWED;
	if (frames < 0 || (data == nullptr && frames > 0))
		return B_BAD_VALUE;
	const size_t frameBytes = size_t(fInput.channel_count) * sizeof(int16);
	const auto* source = static_cast<const uint8*>(data);
	int32 done = 0;
	while (done < frames) {
		int32 n = std::min(kChunkFrames, frames - done);
		const uint8* chunk = source + size_t(done) * frameBytes;
		if (!fSwapped.empty()) {
			SwapSamples(chunk, fSwapped.data(), size_t(n) * frameBytes);
			chunk = fSwapped.data();
		}
		status_t status = _PushToFifo(chunk, n);
		if (status == B_OK)
			status = _Encode(false);
		if (status != B_OK)
			return status;
		done += n;
		fFramesWritten += n;
	}
	return B_OK;
}

status_t MediaEncoder::Finish()
{
	if (!fOpened || fFinished)
		return B_OK;
	fFinished = true;
	status_t status = B_OK;
	if (fSwr != nullptr)
		status = _PushToFifo(nullptr, 0);
	if (status == B_OK)
		status = _Encode(true);
	if (status == B_OK)
		status = _SendFrame(nullptr);
	return status;
}
