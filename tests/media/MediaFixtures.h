// Sound files for the media and projects tests, made at test time with the
// ffmpeg tool inside the test's temporary HOME, plus small helpers to read
// tracks whole. Header-only: used by media_tests and projects_tests.
#pragma once

#include "kit/media/MediaFile.h"
#include "kit/media/MediaTrack.h"
#include "kit/storage/EntryRef.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>
#include <unistd.h>

namespace media_test {

// Frames of the CD audio fixtures: not a multiple of any codec's frame size
// nor of the readers' buffers.
constexpr int64_t kCdFrames = 100001;

inline std::string FixtureFolder()
{
	const char* home = std::getenv("HOME");
	std::string folder = std::string(home != nullptr ? home : "/tmp") + "/media-fixtures";
	std::filesystem::create_directories(folder);
	return folder;
}

// Where Fixture() keeps what it makes: the folder that TARNWICK_TEST_FIXTURES
// names, shared by every process of one ctest run (each case runs as a
// process of its own, and making the files takes seconds), else
// FixtureFolder().
inline std::string FixtureStore()
{
	const char* shared = std::getenv("TARNWICK_TEST_FIXTURES");
	if (shared == nullptr || shared[0] == '\0')
		return FixtureFolder();
	std::filesystem::create_directories(shared);
	return shared;
}

inline bool RunTool(const std::string& command)
{
	return std::system(command.c_str()) == 0;
}

inline bool RunFfmpeg(const std::string& arguments)
{
	return RunTool("ffmpeg -nostdin -hide_banner -loglevel error -y " + arguments + " </dev/null");
}

inline std::string Quote(const std::string& path)
{
	std::string quoted = "'";
	for (char c : path) {
		if (c == '\'')
			quoted += "'\\''";
		else
			quoted += c;
	}
	return quoted + "'";
}

// A two-tone stereo (or mono) source of `frames` frames at `rate`.
inline std::string ToneSource(int rate, int channels, int64_t frames)
{
	std::string exprs = channels == 1 ? "0.3*sin(440*2*PI*t)" : "0.3*sin(440*2*PI*t)|0.2*sin(660*2*PI*t)";
	return "-f lavfi -i \"aevalsrc=exprs=" + exprs + ":s=" + std::to_string(rate) + ":d=" + std::to_string(frames / rate + 2)
		+ "\" ";
}

inline std::string Trim(int64_t frames)
{
	return " -af atrim=end_sample=" + std::to_string(frames) + " ";
}

// Writes a 44.1 kHz stereo 16-bit WAV of `samples` (interleaved, host
// order) by hand, whose data chunk states `statedFrames` frames, with a
// fact chunk of `factFrames` when that is not negative.
inline void WriteWav(const std::string& path, const std::vector<int16_t>& samples, uint32_t statedFrames,
	int64_t factFrames = -1)
{
	std::vector<uint8_t> bytes;
	auto put32 = [&](uint32_t v) {
		for (int i = 0; i < 4; i++)
			bytes.push_back(uint8_t(v >> (8 * i)));
	};
	auto put16 = [&](uint16_t v) {
		bytes.push_back(uint8_t(v));
		bytes.push_back(uint8_t(v >> 8));
	};
	auto tag = [&](const char* t) { bytes.insert(bytes.end(), t, t + 4); };
	tag("RIFF");
	put32(0);
	tag("WAVE");
	tag("fmt ");
	put32(16);
	put16(1);
	put16(2);
	put32(44100);
	put32(44100 * 4);
	put16(4);
	put16(16);
	if (factFrames >= 0) {
		tag("fact");
		put32(4);
		put32(uint32_t(factFrames));
	}
	tag("data");
	put32(statedFrames * 4);
	for (int16_t sample : samples)
		put16(uint16_t(sample));
	const uint32_t riffSize = uint32_t(bytes.size() - 8);
	for (int i = 0; i < 4; i++)
		bytes[size_t(4 + i)] = uint8_t(riffSize >> (8 * i));
	std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
		std::streamsize(bytes.size()));
}

// The fixture `name` (made once per test program). Known names:
// cd.wav cd.flac cd.mp3 cd.ogg cd.aiff cd.opus cd.m4a (44.1 kHz stereo,
// kCdFrames frames), hz48.wav (48 kHz stereo), mono.wav (44.1 kHz mono),
// s24.flac (24-bit), float.wav (32-bit float), video_first.mov (video track,
// then CD audio), video_hz48.mov (video, then 48 kHz audio), cover.mp3 (CD
// audio with cover art), notes.txt (not media), metadata.txt (FFmpeg
// metadata: a media file without streams), unknown_codec.wav (a WAV whose
// codec nobody decodes).
inline std::string Fixture(const std::string& name)
{
	static std::map<std::string, std::string> made;
	auto found = made.find(name);
	if (found != made.end())
		return found->second;
	const std::string store = FixtureStore();
	const std::string path = store + "/" + name;
	const bool shared = store != FixtureFolder();
	if (shared && std::filesystem::exists(path)) {
		made[name] = path;
		return path;
	}
	// A shared file is made aside and moved into place whole, so another
	// process never reads half of it.
	const std::string making = shared ? store + "/.making-" + std::to_string(getpid()) + "/" + name : path;
	if (shared)
		std::filesystem::create_directories(store + "/.making-" + std::to_string(getpid()));
	const std::string out = " " + Quote(making);
	const std::string cd = ToneSource(44100, 2, kCdFrames) + Trim(kCdFrames);
	bool ok = true;
	if (name == "cd.wav")
		ok = RunFfmpeg(cd + "-c:a pcm_s16le" + out);
	else if (name == "cd.flac")
		ok = RunFfmpeg(cd + "-c:a flac" + out);
	else if (name == "cd.mp3")
		ok = RunFfmpeg(cd + "-c:a libmp3lame -q:a 2" + out);
	else if (name == "cd.ogg")
		ok = RunFfmpeg(cd + "-c:a libvorbis" + out);
	else if (name == "cd.aiff")
		ok = RunFfmpeg(cd + "-c:a pcm_s16be" + out);
	else if (name == "cd.opus")
		ok = RunFfmpeg(cd + "-c:a libopus" + out);
	else if (name == "cd.m4a")
		ok = RunFfmpeg(cd + "-c:a aac" + out);
	else if (name == "hz48.wav")
		ok = RunFfmpeg(ToneSource(48000, 2, 48000) + Trim(48000) + "-c:a pcm_s16le" + out);
	else if (name == "mono.wav")
		ok = RunFfmpeg(ToneSource(44100, 1, 44100) + Trim(44100) + "-c:a pcm_s16le" + out);
	else if (name == "s24.flac")
		ok = RunFfmpeg(cd + "-c:a flac -sample_fmt s32" + out);
	else if (name == "float.wav")
		ok = RunFfmpeg(cd + "-c:a pcm_f32le" + out);
	else if (name == "video_first.mov" || name == "video_hz48.mov") {
		const int rate = name == "video_first.mov" ? 44100 : 48000;
		ok = RunFfmpeg("-f lavfi -i testsrc=size=64x48:rate=10:duration=3 " + ToneSource(rate, 2, kCdFrames)
			+ "-map 0:v -map 1:a -af atrim=end_sample=" + std::to_string(kCdFrames) + " -c:v mpeg4 -c:a pcm_s16le" + out);
	} else if (name == "cover.mp3") {
		std::string picture = Fixture("cover.png");
		ok = RunFfmpeg("-i " + Quote(Fixture("cd.wav")) + " -i " + Quote(picture)
			+ " -map 0:a -map 1:v -c:a libmp3lame -q:a 2 -c:v png -disposition:v attached_pic -id3v2_version 3" + out);
	} else if (name == "cover.png")
		ok = RunFfmpeg("-f lavfi -i color=c=red:s=32x32 -frames:v 1" + out);
	else if (name == "notes.txt") {
		std::ofstream(making) << "These are notes about a song, not the song itself.\n";
	} else if (name == "metadata.txt") {
		std::ofstream(making) << ";FFMETADATA1\ntitle=Nothing to hear\n";
	} else if (name == "unknown_codec.wav") {
		// RIFF WAVE with the format tag 0x7777: a codec nobody knows.
		std::vector<uint8_t> bytes = {'R', 'I', 'F', 'F', 44, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0,
			0, 0x77, 0x77, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0, 'd', 'a', 't', 'a', 8, 0, 0, 0};
		bytes.resize(bytes.size() + 8, 0x11);
		std::ofstream(making, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
	} else {
		ADD_FAILURE() << "unknown fixture " << name;
		return path;
	}
	EXPECT_TRUE(ok) << "making fixture " << name;
	if (shared) {
		std::error_code error;
		std::filesystem::rename(making, path, error);
		EXPECT_FALSE(error) << "storing fixture " << name;
	}
	made[name] = path;
	return path;
}

inline entry_ref Ref(const std::string& path)
{
	entry_ref ref;
	EXPECT_EQ(B_OK, get_ref_for_path(path.c_str(), &ref)) << path;
	return ref;
}

inline std::vector<uint8_t> ReadFileBytes(const std::string& path)
{
	std::ifstream in(path, std::ios::binary);
	return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// What the ffmpeg tool decodes from `path`: 16-bit little-endian samples.
inline std::vector<uint8_t> FfmpegDecode(const std::string& path, const std::string& options = "")
{
	// Beside the process's own files: fixtures may be shared.
	static int decodes = 0;
	const std::string raw = FixtureFolder() + "/decoded-" + std::to_string(++decodes) + ".s16le";
	EXPECT_TRUE(RunFfmpeg("-i " + Quote(path) + " " + options + " -f s16le " + Quote(raw)));
	return ReadFileBytes(raw);
}

// Every frame of `track` after negotiating raw audio with `bufferSize`
// bytes (0: the default); `status` receives the status that ended it.
inline std::vector<uint8_t> ReadAll(BMediaTrack* track, size_t bufferSize = 0, status_t* status = nullptr)
{
	media_format format;
	format.type = B_MEDIA_RAW_AUDIO;
	format.u.raw_audio.buffer_size = bufferSize;
	std::vector<uint8_t> all;
	status_t result = track->DecodedFormat(&format);
	if (result == B_OK) {
		std::vector<uint8_t> buffer(format.u.raw_audio.buffer_size);
		const size_t frameBytes = 2 * format.u.raw_audio.channel_count;
		int64 frames = 0;
		while ((result = track->ReadFrames(buffer.data(), &frames)) == B_OK)
			all.insert(all.end(), buffer.begin(), buffer.begin() + std::ptrdiff_t(size_t(frames) * frameBytes));
	}
	if (status != nullptr)
		*status = result;
	return all;
}

}   // namespace media_test
