// The image a virtual recorder writes: a BIN file of 2352-byte sectors with
// little-endian samples whose first sector is LBA 0 (the sectors before it
// are not stored), and, only when the session is closed, the CUE sheet that
// describes it. While a run is going on the BIN is named
// "<name>.partial.bin"; a closed session renames it "<name>.bin" and then
// writes "<name>.cue" (through a temporary file and a rename). A run that
// fails or is interrupted leaves the partial BIN and no CUE, so no image
// ever claims a disc that was not finished. A disc with CD-Text also gets
// "<name>.cdt", its packs, which the CUE names as CDTEXTFILE and repeats
// as TITLE and PERFORMER lines.
//
// Storing allocates nothing per sector. Not thread-safe: the drive calls it
// under its own lock.
#pragma once

#include "emulator/RecorderState.h"
#include "kit/support/SupportDefs.h"

#include <string>
#include <vector>

class CImageWriter {
public:
	CImageWriter();
	~CImageWriter();   // an open run is abandoned
	CImageWriter(const CImageWriter&) = delete;
	CImageWriter& operator=(const CImageWriter&) = delete;

	// Starts a run in `folder` (created when missing) under the first free
	// name "recording-NNN". B_OK, or an error with *error saying why.
	status_t Begin(const std::string& folder, std::string* error);
	bool IsOpen() const { return fFd >= 0; }

	// Stores `count` sectors from `lba` on: `data` holds them (2352 bytes
	// each, samples big-endian when `bigEndian`), null means silence.
	// Sectors before LBA 0 are dropped. B_OK, or B_IO_ERROR / B_DEVICE_FULL
	// with *error naming the file and the reason.
	status_t Store(int32 lba, const uint8* data, int32 count, bool bigEndian, std::string* error);

	// Closes the run for the finished disc `disc`: renames the BIN, writes
	// the CUE and gives its path in *cuePath. On error the BIN keeps its
	// partial name and no CUE is left.
	status_t Finish(const SWrittenDisc& disc, std::string* cuePath, std::string* error);
	// Ends the run without a CUE; the BIN keeps its partial name.
	void Abandon();

	// The text of the CUE sheet of `disc` stored in the BIN file `binName`,
	// naming `cdTextName` (when not empty) as its CD-Text packs file; the
	// disc's and tracks' titles and performers of its packs become TITLE
	// and PERFORMER lines in ISO 8859-1 (a double quote, which a CUE cannot
	// hold inside a text, as a single one).
	static std::string CueText(const SWrittenDisc& disc, const std::string& binName,
		const std::string& cdTextName = std::string());

	const std::string& PartialPath() const { return fPartialPath; }

private:
	static constexpr int32 kChunkSectors = 32;

	int fFd = -1;
	std::string fFolder;
	std::string fName;
	std::string fPartialPath;
	int64 fStoredEnd = 0;             // sectors stored, LBA 0 on
	std::vector<uint8> fSwap;         // kChunkSectors sectors, made once
};
