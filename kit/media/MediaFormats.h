// The file formats this kit writes and their encoders, in a fixed order.
// Both walks skip what the installed FFmpeg lacks, keeping the order of
// the rest. Safe from any thread.
#pragma once

#include "kit/media/MediaDefs.h"

#include <string_view>

// Fills `format` with the file format at or after *cookie (start with 0)
// and advances the cookie. B_OK, or B_BAD_INDEX after the last one;
// B_BAD_VALUE for null arguments.
status_t get_next_file_format(int32* cookie, media_file_format* format);

// Fills `codec` with the next encoder of `fileFormat` that accepts
// `inputFormat` (raw audio, B_AUDIO_SHORT; zero fields are wildcards) and
// `outputFormat`, when not null, with what it writes. Advances *cookie
// (start with 0). B_OK, B_BAD_INDEX after the last one, B_BAD_VALUE for
// null or unknown arguments.
status_t get_next_encoder(int32* cookie, const media_file_format* fileFormat, const media_format* inputFormat,
	media_format* outputFormat, media_codec_info* codec);

// Whether `extension` (with its leading dot, any case: ".FLAC") is the
// usual extension of a sound file format this kit reads: WAVE, AIFF, AU,
// FLAC, MP3, Ogg (Vorbis, Opus, Speex), MPEG-4 audio (AAC, ALAC), WMA,
// WavPack, Monkey's Audio, Musepack, TTA, AC-3, CAF, Wave64, Matroska audio.
// A fixed list: it does not depend on the installed FFmpeg.
bool IsReadableAudioExtension(std::string_view extension);

namespace media_kit_private {

// One encoder of a file format: its names and the FFmpeg encoder behind it.
struct EncoderEntry {
	const char* shortName;
	const char* prettyName;
	const char* ffmpegEncoder;   // avcodec encoder name
	uint32 maxChannels;
	bool resamples;              // takes any rate, converting to one the codec has
};

struct FileFormatEntry {
	const char* shortName;
	const char* prettyName;
	const char* extension;
	const char* mimeType;
	const char* ffmpegMuxer;     // avformat muxer name
	const EncoderEntry* encoders;
	int32 encoderCount;
};

// The entry with that id (media_file_format::id) when it is installed,
// else null.
const FileFormatEntry* FileFormatById(uint32 id);
// The encoder named by a codec id (media_codec_info::id) of that format,
// when installed and its short name matches; else null.
const EncoderEntry* EncoderOf(const FileFormatEntry* format, const media_codec_info* codec);
// The rate `encoder` writes for input at `inputRate`: the same rate when
// the codec takes it; for a resampling encoder the smallest higher rate it
// has (else its highest); 0 when it cannot take the input.
int EncoderOutputRate(const EncoderEntry& encoder, int inputRate);
// Whether `encoder` takes raw input in `format` (wildcards accepted); if so
// and `output` is not null, describes the encoded result.
bool EncoderAccepts(const EncoderEntry& encoder, const media_format& input, media_format* output);

}   // namespace media_kit_private
