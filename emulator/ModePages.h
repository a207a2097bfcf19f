// The mode pages of a virtual drive: read/write error recovery (01h), write
// parameters (05h, MMC recorders only), CD device parameters (0Dh), CD audio
// control (0Eh) and capabilities and mechanical status (2Ah, MMC drives
// only), each with its current, default, saved and changeable values,
// answered through MODE SENSE(10) and changed through MODE SELECT(10) with
// the rules ATAPI drives enforce.
//
// The pre-MMC drive families (vendor dialects) have no pages 05h and 2Ah but
// vendor pages of their own, and take MODE SENSE(6)/MODE SELECT(6) with a
// block descriptor (density code, number of blocks, block length):
//   Teac CD-R50/55   21h preview (test) writing, 22h write method, 31h speed
//   Philips CDD 2x00 21h write track parameters, 22h catalogue, 23h speed
//                    and test writing
//   Yamaha CDR100    31h speed and test writing, 32h write format
//   Plextor readers  31h speed
// Not thread-safe: the drive calls it under its own lock.
#pragma once

#include "emulator/MmcDefs.h"
#include "kit/device/ScsiParameters.h"
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
	bool cdTextWrite = true;      // CD-Text in a session-at-once lead-in (feature 002Eh R-W)
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
	enum page_set { kPagesMmc, kPagesTeac, kPagesPhilips, kPagesYamaha, kPagesPlextor };

	explicit CModePages(const SDriveCapabilities& capabilities, page_set set = kPagesMmc);

	// Answers MODE SENSE(10) for `page` (3Fh = all pages) into `out` (at most
	// `capacity` bytes are built) and returns the full answer's length in
	// *length. Sense on error (unknown page, saved values of a page that
	// cannot be saved).
	mmc::SSense Sense(page_control control, uint8 page, uint8 subpage, uint8* out, size_t capacity,
		size_t* length) const;

	// Applies a MODE SELECT(10) parameter list. All pages are checked before
	// any is changed. `save` also stores them as saved values.
	mmc::SSense Select(const uint8* list, size_t length, bool save);

	// MODE SENSE(6): a 4-byte header, the block descriptor (unless
	// `disableBlockDescriptors`) with the current density, `blocks` and the
	// block length, then the pages as for Sense.
	mmc::SSense Sense6(page_control control, uint8 page, uint8 subpage, bool disableBlockDescriptors, uint32 blocks,
		uint8* out, size_t capacity, size_t* length) const;
	// MODE SELECT(6): a 4-byte header, no block descriptor or one (density
	// code 00h, 04h or 82h; block length 2048 or 2352), then pages. Nothing
	// changes unless all of it is valid.
	mmc::SSense Select6(const uint8* list, size_t length, bool save);

	// The block descriptor's current density code and block length.
	uint8 Density() const { return fDensity; }
	uint32 BlockLength() const { return fBlockLength; }
	// The current values of a page (code byte first), or null.
	const std::vector<uint8>* CurrentPage(uint8 code) const;

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
	static constexpr size_t kHeaderLength6 = 4;
	static constexpr size_t kBlockDescriptorLength = 8;

private:
	struct SPage {
		uint8 code = 0;
		bool savable = true;
		std::vector<uint8> current, defaults, saved, changeable;
	};

	SPage* Find(uint8 code);
	const SPage* Find(uint8 code) const;
	mmc::SSense Validate(const SPage& page, const uint8* data, size_t listOffset) const;
	// Checks and applies the pages of a parameter list from `offset` on.
	mmc::SSense SelectPages(const uint8* list, size_t length, size_t offset, bool save);
	// The pages of an answer (all for 3Fh) after the header, as far as
	// `capacity` allows; *total receives their full length.
	mmc::SSense CollectPages(page_control control, uint8 page, uint8 subpage, std::vector<const SPage*>* pages,
		size_t* total) const;
	size_t CopyPages(page_control control, const std::vector<const SPage*>& pages, uint8* out, size_t done,
		size_t capacity) const;
	void AddVendorPages(page_set set);
	void BuildCapabilities();

	SDriveCapabilities fCapabilities;
	std::vector<SPage> fPages;
	bool fLocked = false;
	uint16 fReadSpeed = 0;
	uint16 fWriteSpeed = 0;
	bool fMmc = true;
	uint8 fDensity = 0x00;
	uint32 fBlockLength = 2048;
};
