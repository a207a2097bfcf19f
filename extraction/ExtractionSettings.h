// The settings an extraction job reads: the record "cdda read setup" and the
// reading keys of a drive's own settings record.
#pragma once

#include "kit/support/SupportDefs.h"

#include <string>

class BMessage;

inline constexpr const char* kCddaReadSetupName = "cdda read setup";

// Keys of "cdda read setup".
inline constexpr const char* kFormatShortNameKey = "format short name";
inline constexpr const char* kCodecShortNameKey = "codec short name";
inline constexpr const char* kRemoveSilenceAtBeginningKey = "remove digital silence at beginning";
inline constexpr const char* kRemoveSilenceAtEndingKey = "remove digital silence at ending";

// Reading keys of a drive's settings record (named by the drive's unique
// device name).
inline constexpr const char* kReadBufferSectorsKey = "read buffer sectors";
inline constexpr const char* kReadBufferClustersKey = "read buffer clusters";
inline constexpr const char* kReadBufferElementsKey = "read buffer elements";
inline constexpr const char* kReadSpinupSectorsKey = "read spinup sectors";
inline constexpr const char* kReadSyncModeKey = "read sync mode";
inline constexpr const char* kReadSyncSectorsKey = "read sync sectors";
inline constexpr const char* kReadErrorRetrysKey = "read error retrys";
inline constexpr const char* kReadOffsetKey = "read offset";

// Values of "read sync mode".
enum : int32 {
	READ_SYNC_OFF = 0,      // plain block reads
	READ_SYNC_ALWAYS = 1,   // every block overlaps the previous one
	READ_SYNC_AUTO = 2,     // overlapping reads once a block landed out of place (jitter)
};

// Bounds of the drive keys the preferences offer.
inline constexpr int32 kMaxReadSyncSectors = 26;      // below the default read block of 27
inline constexpr int32 kMaxReadOffsetSamples = 5880;  // ten sectors either way

// "cdda read setup" with the defaults for missing or mistyped keys.
struct CddaReadSetup {
	std::string formatShortName = "wav";
	std::string codecShortName = "raw-audio";
	bool removeSilenceAtBeginning = true;
	bool removeSilenceAtEnding = true;
};

// The reading keys of a drive record, with the defaults of a new record.
struct DeviceReadSettings {
	int32 readBufferSectors = 27;
	int32 readBufferClusters = 6;
	int32 readBufferElements = 5;
	int32 readSpinupSectors = 75;
	int32 readSyncMode = READ_SYNC_OFF;
	int32 readSyncSectors = 3;
	int32 readErrorRetrys = 10;
	int32 readOffset = 0;   // samples (frames of 4 bytes), positive or negative
};

// Reads the record's keys over the defaults (a missing key keeps its
// default). Pure; any thread.
CddaReadSetup CddaReadSetupFromMessage(const BMessage& record);
DeviceReadSettings DeviceReadSettingsFromMessage(const BMessage& record);

// Loads "cdda read setup" from the settings store (defaults when missing).
CddaReadSetup LoadCddaReadSetup();
// Loads the reading keys of the drive record `deviceRecordName` (defaults
// when missing).
DeviceReadSettings LoadDeviceReadSettings(const char* deviceRecordName);
