// The description of one virtual drive (identity, capabilities, medium,
// output folder, timing and faults) and the parser of the description file
// that lists the drives. The file format is documented in
// docs/virtual-drives.md; the parser is bounds-checked and fuzzed.
#pragma once

#include "emulator/FaultInjector.h"
#include "emulator/ModePages.h"
#include "kit/support/SupportDefs.h"

#include <string>
#include <string_view>
#include <vector>

class CDriveConfig {
public:
	enum medium_type { kMediumNone, kMediumBlankCdR, kMediumBlankCdRw, kMediumImage };
	// The command set the drive speaks beyond SCSI-2 (see MmcDrive.h): MMC,
	// or the vendor dialect of a pre-MMC drive family.
	enum dialect_type { kDialectMmc, kDialectTeac, kDialectPhilips, kDialectYamaha, kDialectPlextor };

	// The speed of a speed factor in kB/s (1000 bytes): 1X moves 75 audio
	// sectors a second, 176.4 kB/s, so 40X is 7056 kB/s; fractions round to
	// the nearest kB/s, as drives report them.
	static constexpr uint16 SpeedKbs(int factor) { return uint16((factor * 1764 + 5) / 10); }
	// The speed factor closest to `kbs` kB/s.
	static constexpr int SpeedFactor(uint32 kbs) { return int((kbs * 10 + 882) / 1764); }
	static constexpr size_t kMaxDrives = 16;
	static constexpr size_t kMaxFileSize = 1 << 20;

	std::string vendor = "TARNWICK";    // at most 8 characters
	std::string product = "Virtual CD-RW";   // at most 16
	std::string revision = "1.00";      // at most 4
	uint8 peripheralType = 5;           // 5 CD-ROM, 4 write-once
	bool atapi = false;
	SDriveCapabilities capabilities;    // speeds in kB/s
	medium_type medium = kMediumBlankCdR;
	int minutes = 80;                   // length of a blank medium
	std::string image;                  // CUE sheet of kMediumImage
	std::string cdText;                 // CD-Text packs file replacing the sheet's
	std::string output;                 // folder for what is recorded
	bool realTime = true;               // reads take as long as at the drive's speed
	bool readCdDaCommand = true;        // answers the vendor READ CD-DA (D8h)
	bool hexQ = false;                  // formatted Q of READ CD in binary, not BCD
	dialect_type dialect = kDialectMmc;
	int32 notReady = 0;
	int32 readOffset = 0;               // frames the audio arrives late (negative: early)
	int32 jitter = 0;                   // bound in frames of the jitter fault (0: none)
	int32 jitterPercent = 50;           // share of the reads it strikes
	std::vector<CFaultInjector::SMediumError> mediumErrors;
	std::vector<CFaultInjector::SCommandFault> commandFaults;

	CDriveConfig();

	// Parses a description file's text. Relative paths are taken from
	// `baseFolder`. Returns B_OK with the drives in file order (possibly
	// none), or B_BAD_DATA with *error (when given) as "line N: ...".
	static status_t Parse(std::string_view text, const std::string& baseFolder, std::vector<CDriveConfig>* drives,
		std::string* error);
	// Reads and parses a description file (at most kMaxFileSize bytes).
	static status_t Load(const std::string& path, std::vector<CDriveConfig>* drives, std::string* error);
};
