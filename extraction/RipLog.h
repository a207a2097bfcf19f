// The text log written next to ripped files: drive, read offset, settings,
// per track the checksums and re-reads, and the disc ids.
#pragma once

#include "extraction/DiscIds.h"
#include "kit/support/SupportDefs.h"

#include <string>
#include <vector>

// One track's outcome.
struct RipLogTrack {
	int32 number = 0;
	std::string artist;
	std::string title;
	std::string fileName;       // final file name, "" when none was made
	int64 frames = 0;           // frames written
	uint32 crc32 = 0;
	uint32 accurateRipV1 = 0;
	uint32 accurateRipV2 = 0;
	int32 rereads = 0;          // blocks read more than once
	int32 correctedBlocks = 0;  // read synchronisation: blocks placed away from where they landed
	bool secure = false;        // read twice
	bool proven = false;        // secure: both reads agreed
	std::string outcome;        // "OK", "Read error", "Aborted", "Write error", ...
};

struct RipLog {
	std::string program;        // name and version of the writer
	std::string date;           // when the rip started, as shown
	std::string drive;          // vendor, product, revision, path
	int32 readOffset = 0;       // samples
	int32 readSyncMode = 0;
	int32 readSyncSectors = 0;
	int32 readErrorRetrys = 0;
	bool secureMode = false;
	bool removeLeadingSilence = false;
	std::string formatShortName;
	std::string codecShortName;
	std::string discTitle;
	std::string discArtist;
	DiscLayout layout;
	std::vector<RipLogTrack> tracks;

	// The whole log as text (UTF-8, '\n' line ends). Control characters in
	// names are shown escaped.
	std::string ToText() const;
	// Writes ToText() to `path` through a temporary file renamed over it.
	// B_OK or the file system's status.
	status_t WriteTo(const std::string& path) const;
};

// The log's file name for a rip into a folder.
inline constexpr const char* kRipLogFileName = "Tarnwick rip log.txt";
