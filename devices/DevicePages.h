// The drive answers that the device object reads itself: mode pages of a
// MODE SENSE(10) answer (capabilities 2Ah, CD parameters 0Dh, CD audio
// control 0Eh, read-write error recovery 01h) and the current position of
// READ SUB-CHANNEL. Every function takes the answer as hostile: it reads
// only inside the buffer it is given and fails when the fields it needs
// are not there. Any thread.
#pragma once

#include "kit/support/SupportDefs.h"

#include <cstddef>

// The fields of the capabilities page (2Ah) that the device uses.
struct MMC_CAPABILITIES {
	bool audioReadByte2 = false;   // byte 2 bit 0: what the speed table builder calls "AudioRead"
	bool cdrWriting = false;       // byte 3 bit 0
	bool cdrwWriting = false;      // byte 3 bit 1
	bool testWriting = false;      // byte 3 bit 2
	bool audioReading = false;     // byte 5 bit 0: CD-DA commands
	bool audioAccurate = false;    // byte 5 bit 1
	bool isrcReading = false;      // byte 5 bit 5
	bool mcnReading = false;       // byte 5 bit 6
	int32 maximumReadSpeed = 0;    // kB/s
	int32 currentReadSpeed = 0;
	int32 maximumWriteSpeed = 0;
	int32 currentWriteSpeed = 0;
};

// Where the page of a MODE SENSE(10) answer of `size` bytes starts (after
// the 8-byte header and the block descriptors): false when fewer than
// `needed` page bytes fit in the buffer.
bool LocateModePage(const uint8* buffer, size_t size, size_t needed, size_t* offset);

// The capabilities page of a MODE SENSE(10) answer; false when it is not
// there (too short, or another page code).
bool ParseCapabilitiesPage(const uint8* buffer, size_t size, MMC_CAPABILITIES* capabilities);

// Turns a MODE SENSE(10) answer holding the CD parameters page (0Dh) into
// the MODE SELECT parameter list that sets the inactivity timer to the low
// four bits of `timer` (and 60 S units per M unit, 75 F units per S unit).
// *length receives the list's length. False when the page is not there.
bool PrepareCdParametersSelect(uint8* buffer, size_t size, int32 timer, int32* length);

// The same for the CD audio control page (0Eh): audio play returns at once
// (Immed) and does not stop at track boundaries (SOTC clear).
bool PrepareAudioControlSelect(uint8* buffer, size_t size, int32* length);

// The FUA bit (bit 4 of the device-specific header byte) of a MODE
// SENSE(10) answer of `size` bytes; false when it is too short.
bool HeaderSupportsFua(const uint8* buffer, size_t size);

// The current position of a READ SUB-CHANNEL answer (16 bytes).
struct SUBCHANNEL_POSITION {
	bool playing = false;          // audio status 11h (playing) or 12h (paused)
	bool paused = false;
	int32 track = 0;               // byte 6, while playing or paused
	int32 relativeFrames = 0;      // bytes 12-15 as frames
	int32 absoluteFrames = 0;      // bytes 8-11 as frames
};
SUBCHANNEL_POSITION ParseCurrentPosition(const uint8 (&data)[16]);

// A sector address as frames: address + 150, or + 450150 below -150 (the
// wrap of the MSF clock).
int32 PositionToFrames(int32 address);
