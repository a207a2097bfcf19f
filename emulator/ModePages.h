// The mode pages of a virtual drive: read/write error recovery (01h), write
// parameters (05h, recorders only), CD device parameters (0Dh), CD audio
// control (0Eh) and capabilities and mechanical status (2Ah), each with its
// current, default, saved and changeable values, answered through MODE
// SENSE(10) and changed through MODE SELECT(10) with the rules ATAPI drives
// enforce. Not thread-safe: the drive calls it under its own lock.
#pragma once

#include "emulator/MmcDefs.h"
#include "kit/support/SupportDefs.h"

#include <array>
#include <vector>

// What page 2Ah says about the drive (speeds in kB/s).
struct SDriveCapabilities {
	bool readCdR = true;
	bool readCdRw = true;
	bool writeCdR = true;
	bool writeCdRw = true;
	bool testWrite = true;
	bool bufferUnderrunFree = false;
	bool audioPlay = true;
	bool cddaCommands = true;
	bool accurateStream = true;
	bool isrc = true;
	bool mcn = true;
	bool eject = true;
	bool lock = true;
	bool supportsFua = false;
	uint16 bufferKb = 2048;
	std::vector<uint16> readSpeeds;    // ascending, non-empty
	std::vector<uint16> writeSpeeds;   // ascending; empty for readers
};

class CModePages {
public:
	enum page_control { kCurrent = 0, kChangeable = 1, kDefault = 2, kSaved = 3 };

	explicit CModePages(const SDriveCapabilities& capabilities);

	// Answers MODE SENSE(10) for `page` (3Fh = all pages) into `out` (at most
	// `capacity` bytes are built) and returns the full answer's length in
	// *length. Sense on error (unknown page, saved values of a page that
	// cannot be saved).
	mmc::SSense Sense(page_control control, uint8 page, uint8 subpage, uint8* out, size_t capacity,
		size_t* length) const;

	// Applies a MODE SELECT(10) parameter list. All pages are checked before
	// any is changed. `save` also stores them as saved values.
	mmc::SSense Select(const uint8* list, size_t length, bool save);

	// Page 2Ah state kept by the drive.
	void SetCurrentSpeeds(uint16 readKbs, uint16 writeKbs);
	void SetLocked(bool locked);
	uint16 CurrentReadSpeed() const;
	uint16 CurrentWriteSpeed() const;

	// Current page 0Eh stop-on-track-crossing bit.
	bool StopOnTrackCrossing() const;
	// Current page 05h write type and test write bit (for recording).
	uint8 WriteType() const;
	bool TestWrite() const;

	static constexpr size_t kHeaderLength = 8;

private:
	struct SPage {
		uint8 code = 0;
		bool savable = true;
		std::vector<uint8> current, defaults, saved, changeable;
	};

	SPage* Find(uint8 code);
	const SPage* Find(uint8 code) const;
	mmc::SSense Validate(const SPage& page, const uint8* data, size_t listOffset) const;
	void BuildCapabilities();

	SDriveCapabilities fCapabilities;
	std::vector<SPage> fPages;
	bool fLocked = false;
	uint16 fReadSpeed = 0;
	uint16 fWriteSpeed = 0;
};
