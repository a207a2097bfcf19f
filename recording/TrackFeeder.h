// CTrackFeeder: one audio file of a project as the sector stream of one
// track: a run of silent pause bytes, the decoded CD audio of the file, then
// silent padding up to the next whole sector (2352 bytes = 588 frames).
//
// Lengths are int32 byte counts; the track length (pause + data + padding)
// is always a multiple of 2352. A file whose data does not fit an int32 is
// refused by Init.
//
// Threads: Init, Rewind, Read and DummyRead on one thread at a time (the
// reading thread of a run); the accessors only read members that do not
// change after Init and may be called from any thread once Init returned.
#pragma once

#include "kit/storage/EntryRef.h"
#include "kit/support/SupportDefs.h"

#include <memory>
#include <string>

class CRawMediaFileReader;

// Bytes of one audio sector and its sample frames.
constexpr int32 CD_SECTOR_SIZE = 2352;
constexpr int32 CD_FRAMES_PER_SECTOR = 588;
constexpr int32 CD_SECTORS_PER_SECOND = 75;

class CTrackFeeder {
public:
	// Makes the decoder; nothing is opened before Init.
	CTrackFeeder();
	// Logs the delivered and expected data bytes, then frees everything.
	~CTrackFeeder();
	CTrackFeeder(const CTrackFeeder&) = delete;
	CTrackFeeder& operator=(const CTrackFeeder&) = delete;

	// Opens `ref` for decoding, measures it and closes it again (the first
	// Read or Rewind opens it for reading). B_OK; the decoder's or the
	// path's status; B_ERROR when the file holds no data; the status of
	// EFBIG ("File too large") when its data does not fit an int32.
	// Each failure prints its "CTrackFeeder::Init error: ..." line.
	status_t Init(const entry_ref* ref);
	// Back to the first byte of the pause; opens the file when it is not
	// open (B_IO_ERROR when it no longer holds the same amount of audio).
	// B_OK or the decoder's status.
	status_t Rewind();
	// Closes the decoder of a track that has been read, so that a disc of
	// many tracks holds one decoder at a time. Rewind opens it again.
	void Release();
	// Places the next at most `bytes` bytes (a multiple of 4) of the track at
	// `buffer`; *bytesRead receives the count, short only at the end of the
	// track (0 after it). Audio samples come little-endian when
	// `littleEndian`, else big-endian. B_OK, or the decoder's failure (then
	// *bytesRead is not set).
	status_t Read(void* buffer, int bytes, int* bytesRead, bool littleEndian);
	// Reads one sector's worth of the file at a random place and discards
	// it, to keep the file's medium awake. B_OK when 2352 bytes came back;
	// -1 for a file of 3099 bytes or less or a short read; the open or size
	// status otherwise.
	status_t DummyRead();

	// Full path and leaf name of the file; "" before Init.
	const char* File() const;
	const char* Name() const;
	int32 DataLength() const { return fDataLength; }
	int32 PaddingLength() const { return fPaddingLength; }
	int32 PauseLength() const { return fPauseLength; }
	int32 TrackLength() const { return fPauseLength + fDataLength + fPaddingLength; }
	bool CopyAllowed() const { return fCopyAllowed; }
	bool PreEmphasis() const { return fPreEmphasis; }

	// Pause before the data, in sectors; the caller keeps TrackLength()
	// within int32 (see MaxPauseSectorCount).
	void SetPauseSectorCount(int sectors);
	// The most pause sectors this track can take with its track length still
	// an int32.
	int32 MaxPauseSectorCount() const;
	void SetCopyAllowed(bool copyAllowed) { fCopyAllowed = copyAllowed; }
	void SetPreEmphasis(bool preEmphasis) { fPreEmphasis = preEmphasis; }

private:
	// Makes and opens the decoder at the file's first frame; the length
	// must still be the one Init measured.
	status_t _Open();

	std::unique_ptr<CRawMediaFileReader> fReader;   // null while released
	std::string fName;
	std::string fPath;
	entry_ref fRef;
	int fDummyFile = -1;              // opened on the first DummyRead
	bool fPreEmphasis = false;
	bool fCopyAllowed = false;
	bool fDataIsLittleEndian = true;
	int32 fPauseLength = 0;
	int32 fDataLength = 0;
	int32 fPaddingLength = 0;
	int32 fPosition = 0;              // bytes delivered since the last rewind
	int32 DEBUG_data_bytes_read = 0;
	int32 DEBUG_data_bytes_max = 0;
};
