// The logic and displayed state of the "CD Reading Preferences" window: the
// output pair and silence option of "cdda read setup", and the reading
// options of one drive's record. Qt-free: a window renders Display() and
// sends the user's actions back as messages.
#pragma once

#include "extraction/ExtractionSettings.h"
#include "extraction/OutputFile.h"
#include "kit/app/Messenger.h"
#include "kit/support/SupportDefs.h"

#include <string>
#include <vector>

class BMessage;

inline constexpr const char* kCddaReadSetupWindowTitle = "CD Reading Preferences";

// Messages to the view (from its window's controls).
enum : uint32 {
	CDDA_READ_SETUP_REVERT = 80,              // "Revert"
	CDDA_READ_SETUP_SILENCE_BEGINNING = 84,   // check box toggled: "value" int32 0/1
	CDDA_READ_SETUP_SILENCE_ENDING = 86,      // check box toggled: "value" int32 0/1
	CDDA_READ_SETUP_FORMAT = 'fmtc',          // menu item: "format short name", "codec short name"
	CDDA_READ_SETUP_SYNC_MODE = 'rsmd',       // "value" int32 READ_SYNC_*
	CDDA_READ_SETUP_SYNC_SECTORS = 'rssc',    // "value" int32
	CDDA_READ_SETUP_READ_OFFSET = 'rdof',     // "value" int32 samples
	// To the window: Display() changed.
	CDDA_READ_SETUP_CHANGED = 'crsC',
};

struct CddaReadSetupDisplay {
	// "FileFormat": one label per pair; the marked item (-1: none).
	std::vector<std::string> fileFormatLabels;
	int32 markedFileFormat = -1;
	bool removeSilenceAtBeginning = true;   // "Remove digital silence at beginning"
	bool removeSilenceAtEnding = false;     // "Remove digital silence at ending": always off
	bool removeSilenceAtEndingEnabled = false;
	bool revertEnabled = false;             // "Revert"
	// The drive part, shown only when the view has a drive record.
	bool hasDevice = false;
	std::string deviceRecordName;
	int32 readSyncMode = READ_SYNC_OFF;
	int32 readSyncSectors = 3;
	int32 readOffset = 0;
};

// Belongs to the window's thread (one thread at a time). The settings are
// read by Revert and written by ApplyAndSave through the settings store.
class CCddaReadSetupView {
public:
	// deviceRecordName: the settings record of the drive whose reading
	// options the view shows too (its unique device name), or null.
	explicit CCddaReadSetupView(const char* deviceRecordName = nullptr);
	~CCddaReadSetupView();
	CCddaReadSetupView(const CCddaReadSetupView&) = delete;
	CCddaReadSetupView& operator=(const CCddaReadSetupView&) = delete;

	// Where CDDA_READ_SETUP_CHANGED goes (an invalid messenger: nowhere).
	void SetTarget(const BMessenger& target);

	// The window shows the view: LoadFileFormats, Revert.
	void AttachedToWindow();
	// The window closes: ApplyAndSave when something changed.
	void DetachedFromWindow();

	// Fills the pair list from the media kit (pairs accepting CddaInputFormat()).
	void LoadFileFormats();
	// Tests and the window may give the list instead of the media kit's.
	void SetFileFormats(std::vector<FileFormatPair> pairs);
	// Loads the records and shows them; clears the changed flag.
	void Revert();
	// Writes the shown state into the records and saves them.
	void ApplyAndSave();
	// Handles the messages above; false for any other.
	bool MessageReceived(BMessage* message);

	const CddaReadSetupDisplay& Display() const { return fDisplay; }
	const std::vector<FileFormatPair>& FileFormats() const { return fPairs; }
	bool IsChanged() const { return fChanged; }

private:
	void _DataChanged();
	void _Post();

	std::string fDeviceRecordName;
	std::vector<FileFormatPair> fPairs;
	CddaReadSetupDisplay fDisplay;
	BMessenger fTarget;
	bool fChanged = false;
};
