// The writable file formats and their encoders, in the kit's fixed order.
#include "kit/media/MediaFormats.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>

bool IsReadableAudioExtension(std::string_view extension)
{
	static constexpr std::string_view kExtensions[] = {".wav", ".wave", ".aif", ".aiff", ".aifc", ".au", ".snd",
		".flac", ".mp3", ".mp2", ".mpa", ".ogg", ".oga", ".opus", ".spx", ".m4a", ".m4b", ".aac", ".wma", ".wv",
		".ape", ".mpc", ".tta", ".ac3", ".caf", ".w64", ".mka"};
	for (std::string_view known : kExtensions) {
		if (extension.size() == known.size()
			&& std::equal(known.begin(), known.end(), extension.begin(),
				[](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); }))
			return true;
	}
	return false;
}

namespace media_kit_private {

namespace {

// Channels: what the codec (or muxer) takes without a channel map of ours.
const EncoderEntry kWavEncoders[] = {
	{"raw-audio", "Raw Audio", "pcm_s16le", 8, false},
};
const EncoderEntry kAiffEncoders[] = {
	{"raw-audio", "Raw Audio", "pcm_s16be", 8, false},
};
const EncoderEntry kFlacEncoders[] = {
	{"flac", "FLAC (Free Lossless Audio Codec)", "flac", 8, false},
};
const EncoderEntry kMp3Encoders[] = {
	{"lame", "MP3 (LAME)", "libmp3lame", 2, false},
};
const EncoderEntry kOggEncoders[] = {
	{"vorbis", "Vorbis", "libvorbis", 8, false},
};
// Opus codes 48 kHz (and a few lower rates); other input is resampled here.
const EncoderEntry kOpusEncoders[] = {
	{"opus", "Opus", "libopus", 2, true},
};
const EncoderEntry kM4aEncoders[] = {
	{"aac", "AAC (Advanced Audio Coding)", "aac", 2, false},
	{"alac", "Apple Lossless", "alac", 8, false},
};

const FileFormatEntry kFileFormats[] = {
	{"wav", "WAV Audio File", "wav", "audio/x-wav", "wav", kWavEncoders, int32(std::size(kWavEncoders))},
	{"aiff", "AIFF Audio File", "aiff", "audio/x-aiff", "aiff", kAiffEncoders, int32(std::size(kAiffEncoders))},
	{"flac", "FLAC Audio File", "flac", "audio/flac", "flac", kFlacEncoders, int32(std::size(kFlacEncoders))},
	{"mp3", "MP3 Audio File", "mp3", "audio/mpeg", "mp3", kMp3Encoders, int32(std::size(kMp3Encoders))},
	{"ogg", "Ogg Vorbis Audio File", "ogg", "audio/x-vorbis+ogg", "ogg", kOggEncoders,
		int32(std::size(kOggEncoders))},
	{"opus", "Ogg Opus Audio File", "opus", "audio/x-opus+ogg", "opus", kOpusEncoders,
		int32(std::size(kOpusEncoders))},
	{"m4a", "MPEG-4 Audio File", "m4a", "audio/mp4", "ipod", kM4aEncoders, int32(std::size(kM4aEncoders))},
};

bool EncoderInstalled(const EncoderEntry& encoder)
{
	return avcodec_find_encoder_by_name(encoder.ffmpegEncoder) != nullptr;
}

bool FormatInstalled(const FileFormatEntry& format)
{
	if (av_guess_format(format.ffmpegMuxer, nullptr, nullptr) == nullptr)
		return false;
	for (int32 i = 0; i < format.encoderCount; i++) {
		if (EncoderInstalled(format.encoders[i]))
			return true;
	}
	return false;
}

template<size_t N>
void CopyName(char (&destination)[N], const char* source)
{
	std::snprintf(destination, N, "%s", source);
}

}   // namespace

const FileFormatEntry* FileFormatById(uint32 id)
{
	if (id >= std::size(kFileFormats) || !FormatInstalled(kFileFormats[id]))
		return nullptr;
	return &kFileFormats[id];
}

const EncoderEntry* EncoderOf(const FileFormatEntry* format, const media_codec_info* codec)
{
	if (format == nullptr || codec == nullptr)
		return nullptr;
	int32 formatId = codec->id >> 8;
	int32 index = codec->id & 0xff;
	if (formatId != int32(format - kFileFormats) || index >= format->encoderCount)
		return nullptr;
	const EncoderEntry& encoder = format->encoders[index];
	if (std::strcmp(encoder.shortName, codec->short_name) != 0 || !EncoderInstalled(encoder))
		return nullptr;
	return &encoder;
}

int EncoderOutputRate(const EncoderEntry& encoder, int inputRate)
{
	const AVCodec* codec = avcodec_find_encoder_by_name(encoder.ffmpegEncoder);
	if (codec == nullptr || inputRate <= 0)
		return 0;
	if (codec->supported_samplerates == nullptr)
		return inputRate;
	int higher = 0;
	int highest = 0;
	for (const int* r = codec->supported_samplerates; *r != 0; r++) {
		if (*r == inputRate)
			return inputRate;
		if (*r > inputRate && (higher == 0 || *r < higher))
			higher = *r;
		highest = std::max(highest, *r);
	}
	if (!encoder.resamples)
		return 0;
	return higher != 0 ? higher : highest;
}

bool EncoderAccepts(const EncoderEntry& encoder, const media_format& input, media_format* output)
{
	if (input.type != B_MEDIA_RAW_AUDIO && input.type != B_MEDIA_UNKNOWN_TYPE)
		return false;
	const media_raw_audio_format& raw = input.u.raw_audio;
	if (raw.format != 0 && raw.format != B_AUDIO_SHORT)
		return false;
	if (raw.byte_order != 0 && raw.byte_order != B_MEDIA_BIG_ENDIAN && raw.byte_order != B_MEDIA_LITTLE_ENDIAN)
		return false;
	if (raw.channel_count > encoder.maxChannels)
		return false;
	if (!(raw.frame_rate >= 0.0f) || raw.frame_rate > 1.0e6f)
		return false;
	const AVCodec* codec = avcodec_find_encoder_by_name(encoder.ffmpegEncoder);
	if (codec == nullptr)
		return false;
	const int rate = int(std::lround(raw.frame_rate));
	const int outputRate = rate != 0 ? EncoderOutputRate(encoder, rate) : 0;
	if (rate != 0 && outputRate == 0)
		return false;
	if (output != nullptr) {
		output->Clear();
		const bool pcm = codec->id >= AV_CODEC_ID_FIRST_AUDIO && codec->id < AV_CODEC_ID_ADPCM_IMA_QT;
		output->type = pcm ? B_MEDIA_RAW_AUDIO : B_MEDIA_ENCODED_AUDIO;
		media_raw_audio_format& out = pcm ? output->u.raw_audio : output->u.encoded_audio.output;
		out.frame_rate = float(outputRate);
		out.channel_count = raw.channel_count;
		out.format = B_AUDIO_SHORT;
		out.byte_order = codec->id == AV_CODEC_ID_PCM_S16BE ? B_MEDIA_BIG_ENDIAN : B_MEDIA_LITTLE_ENDIAN;
		if (!pcm)
			output->u.encoded_audio.encoding = int32(codec->id);
	}
	return true;
}

}   // namespace media_kit_private

using namespace media_kit_private;

status_t get_next_file_format(int32* cookie, media_file_format* format)
{
	if (cookie == nullptr || format == nullptr || *cookie < 0)
		return B_BAD_VALUE;
	for (int32 i = *cookie; i < int32(std::size(kFileFormats)); i++) {
		const FileFormatEntry& entry = kFileFormats[i];
		if (!FormatInstalled(entry))
			continue;
		std::memset(format, 0, sizeof(*format));
		format->capabilities = B_WRITABLE | B_READABLE | B_KNOWS_RAW_AUDIO | B_KNOWS_ENCODED_AUDIO;
		format->family = 0;
		format->version = 100;
		format->id = uint32(i);
		CopyName(format->mime_type, entry.mimeType);
		CopyName(format->pretty_name, entry.prettyName);
		CopyName(format->short_name, entry.shortName);
		CopyName(format->file_extension, entry.extension);
		*cookie = i + 1;
		return B_OK;
	}
	*cookie = int32(std::size(kFileFormats));
	return B_BAD_INDEX;
}

status_t get_next_encoder(int32* cookie, const media_file_format* fileFormat, const media_format* inputFormat,
	media_format* outputFormat, media_codec_info* codec)
{
	if (cookie == nullptr || fileFormat == nullptr || inputFormat == nullptr || codec == nullptr || *cookie < 0)
		return B_BAD_VALUE;
	const FileFormatEntry* format = FileFormatById(fileFormat->id);
	if (format == nullptr || std::strcmp(format->shortName, fileFormat->short_name) != 0)
		return B_BAD_VALUE;
	for (int32 i = *cookie; i < format->encoderCount; i++) {
		const EncoderEntry& encoder = format->encoders[i];
		if (!EncoderInstalled(encoder) || !EncoderAccepts(encoder, *inputFormat, outputFormat))
			continue;
		std::memset(codec, 0, sizeof(*codec));
		CopyName(codec->pretty_name, encoder.prettyName);
		CopyName(codec->short_name, encoder.shortName);
		codec->id = int32(fileFormat->id << 8) | i;
		codec->sub_id = 0;
		*cookie = i + 1;
		return B_OK;
	}
	*cookie = format->encoderCount;
	return B_BAD_INDEX;
}
