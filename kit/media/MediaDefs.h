// Media kit types: media formats (raw and encoded audio, a little of
// video), sample formats, byte orders, file format and codec descriptions,
// and the flags of media files. Plain records; the media file and track
// classes fill them.
#pragma once

#include "kit/support/SupportDefs.h"

#include <cstddef>

enum media_type : int32 {
	B_MEDIA_NO_TYPE = -1,
	B_MEDIA_UNKNOWN_TYPE = 0,   // also the wildcard of a format request
	B_MEDIA_RAW_AUDIO = 1,
	B_MEDIA_RAW_VIDEO,
	B_MEDIA_VBL,
	B_MEDIA_TIMECODE,
	B_MEDIA_MIDI,
	B_MEDIA_TEXT,
	B_MEDIA_HTML,
	B_MEDIA_MULTISTREAM,
	B_MEDIA_PARAMETERS,
	B_MEDIA_ENCODED_AUDIO,
	B_MEDIA_ENCODED_VIDEO,
};

// Byte orders of multi-byte samples.
enum : uint32 {
	B_MEDIA_BIG_ENDIAN = 1,
	B_MEDIA_LITTLE_ENDIAN = 2,
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
	B_MEDIA_HOST_ENDIAN = B_MEDIA_BIG_ENDIAN,
#else
	B_MEDIA_HOST_ENDIAN = B_MEDIA_LITTLE_ENDIAN,
#endif
};

// Sample format codes; the low four bits are the sample size in bytes.
enum : uint32 {
	B_AUDIO_UCHAR = 0x11,
	B_AUDIO_CHAR = 0x1,
	B_AUDIO_SHORT = 0x2,
	B_AUDIO_INT = 0x4,
	B_AUDIO_FLOAT = 0x24,
	B_AUDIO_SIZE_MASK = 0xf,
};

// Uncompressed audio. A zero field is a wildcard in a request ("any").
struct media_raw_audio_format {
	static constexpr uint32 B_AUDIO_UCHAR = ::B_AUDIO_UCHAR;
	static constexpr uint32 B_AUDIO_CHAR = ::B_AUDIO_CHAR;
	static constexpr uint32 B_AUDIO_SHORT = ::B_AUDIO_SHORT;
	static constexpr uint32 B_AUDIO_INT = ::B_AUDIO_INT;
	static constexpr uint32 B_AUDIO_FLOAT = ::B_AUDIO_FLOAT;
	static constexpr uint32 B_AUDIO_SIZE_MASK = ::B_AUDIO_SIZE_MASK;

	float frame_rate;
	uint32 channel_count;
	uint32 format;        // B_AUDIO_SHORT, ...
	uint32 byte_order;    // B_MEDIA_BIG_ENDIAN or B_MEDIA_LITTLE_ENDIAN
	size_t buffer_size;   // bytes per buffer a read delivers at most

	static const media_raw_audio_format wildcard;
};

// Compressed audio: the raw form it stands for, its bit rate and the
// frames one packet holds (0 when it varies).
struct media_encoded_audio_format {
	media_raw_audio_format output;
	float bit_rate;        // bits per second, 0 when unknown
	size_t frame_size;     // frames per packet, 0 when variable
	int32 encoding;        // the codec's id in this kit (media_codec_info::id)
};

// Video is only described, never decoded: enough for a track list.
struct media_encoded_video_format {
	uint32 width;
	uint32 height;
	float field_rate;
	int32 encoding;
};

struct media_format {
	media_type type;
	union {
		media_raw_audio_format raw_audio;
		media_encoded_audio_format encoded_audio;
		media_encoded_video_format encoded_video;
	} u;

	// Everything zero: type B_MEDIA_UNKNOWN_TYPE, every field a wildcard.
	media_format();
	void Clear();
	bool IsAudio() const { return type == B_MEDIA_RAW_AUDIO || type == B_MEDIA_ENCODED_AUDIO; }
};

// Filled by BMediaTrack::ReadFrames when asked.
struct media_header {
	media_type type;
	bigtime_t start_time;   // microseconds from the start of the track
	size_t size_used;       // bytes delivered
};

// Flags of BMediaFile.
enum : int32 {
	B_MEDIA_FILE_REPLACE_MODE = 0x00000001,    // writing: replace an existing file
	B_MEDIA_FILE_NO_READ_AHEAD = 0x00000002,
	B_MEDIA_FILE_UNBUFFERED = 0x00000006,
	B_MEDIA_FILE_BIG_BUFFERS = 0x00000008,     // larger file buffers for sequential reading
};

// Capabilities of a file format.
enum : uint32 {
	B_READABLE = 0x1,
	B_WRITABLE = 0x2,
	B_PERFECTLY_SEEKABLE = 0x4,
	B_IMPERFECTLY_SEEKABLE = 0x8,
	B_KNOWS_RAW_AUDIO = 0x20,
	B_KNOWS_ENCODED_AUDIO = 0x100,
};

// A file format that can be written (get_next_file_format).
struct media_file_format {
	uint32 capabilities;
	int32 family;
	int32 version;
	uint32 id;              // index in the kit's list of file formats
	char mime_type[64];
	char pretty_name[64];
	char short_name[32];
	char file_extension[8];
};

// An encoder (get_next_encoder) or a decoder (BMediaTrack::GetCodecInfo).
struct media_codec_info {
	char pretty_name[96];
	char short_name[32];
	int32 id;       // file format id << 8 | encoder index, for encoders
	int32 sub_id;
};
