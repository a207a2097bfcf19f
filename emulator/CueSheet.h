// A CUE sheet as text describes it: the disc's catalogue number and CD-Text,
// its files (raw samples, or WAVE, AIFF, FLAC or MP3 sound files), and per
// track the mode, flags, ISRC, pregap and postgap, index points and CD-Text.
// Index positions count from the start of the file they lie in, and a track
// may begin in one file and continue in the next (a pregap appended to the
// previous track's file). Parsing is pure (no file is opened),
// bounds-checked and fuzzed; DiscImage lays the sheet out on a disc.
#pragma once

#include "kit/support/SupportDefs.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

class CCueSheet {
public:
	enum file_type { kBinary, kMotorola, kWave, kAiff, kFlac, kMp3 };

	// CD-Text fields of a CUE sheet, in the order of the pack types
	// 0x80 (title) to 0x85 (message).
	enum { kTextTitle, kTextPerformer, kTextSongwriter, kTextComposer, kTextArranger, kTextMessage,
		kTextCount };

	struct SFile {
		std::string name;
		file_type type = kBinary;
	};

	struct SIndex {
		int number = 0;
		int32 position = 0;   // frames (sectors) from the start of its file
		int file = 0;         // index into Files()
	};

	struct STrack {
		int number = 0;
		int file = 0;            // index into Files(): the file of INDEX 01
		std::string mode;        // "AUDIO", "MODE1/2352", ...
		bool audio = true;
		uint8 control = 0;       // Q control bits: 0x01 PRE, 0x02 DCP, 0x08 4CH
		std::string isrc;        // 12 characters, or empty
		int32 pregap = 0;        // generated silence before the track's indexes
		int32 postgap = 0;       // generated silence after the track's data
		// Ascending numbers; INDEX 01 present. Positions ascend within a
		// file, across the tracks of the sheet.
		std::vector<SIndex> indexes;
		std::array<std::string, kTextCount> text;

		int32 IndexPosition(int number) const;   // -1 when absent
	};

	static constexpr size_t kMaxTextLength = 255;
	static constexpr int kMaxIndex = 99;
	// The last frame a CD can address: 99:59:74.
	static constexpr int32 kMaxFrames = (99 * 60 + 59) * 75 + 74;

	// Parses CUE text: UTF-8 or ISO 8859-1 with or without a UTF-8 byte
	// order mark, or UTF-16 with its byte order mark (converted to UTF-8).
	// Keywords in any case, LF or CR LF line ends. Returns B_OK, or
	// B_BAD_DATA with *error (when given) saying "line N: ..." what is
	// wrong. On error the sheet is left empty.
	status_t Parse(std::string_view text, std::string* error);

	const std::string& Catalog() const { return fCatalog; }
	const std::string& CdTextFile() const { return fCdTextFile; }
	const std::array<std::string, kTextCount>& DiscText() const { return fDiscText; }
	const std::vector<SFile>& Files() const { return fFiles; }
	const std::vector<STrack>& Tracks() const { return fTracks; }

private:
	void Clear();

	std::string fCatalog;
	std::string fCdTextFile;
	std::array<std::string, kTextCount> fDiscText;
	std::vector<SFile> fFiles;
	std::vector<STrack> fTracks;
};
