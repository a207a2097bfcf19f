// CD addresses: sector numbers (LBA), MSF times and BCD digits.
//
// An LBA counts sectors from the first sector of the program area; the
// absolute MSF time of a sector is its LBA + 150 frames (75 frames a
// second), so MSF 00:02:00 is LBA 0. Lead-in sectors have negative LBAs. One
// rule places them on the MSF clock, as MMC does: LBAs -150 to -1 are
// 00:00:00 to 00:01:74, and an LBA below -150 wraps into the last minutes of
// the 100-minute clock (MSF = LBA + 450150: LBA -151 is 99:59:74). Going
// back, MsfToLba takes minutes from 90 up as lead-in times; a field known to
// lie in the program area or lead-out (a table of contents entry, a cue
// sheet time) uses ProgramMsfToLba, which never wraps, so the sectors past
// 90 minutes of a long disc keep their addresses.
//
// Header only, constexpr; any thread.
#pragma once

#include "kit/support/SupportDefs.h"

#include <cstddef>

constexpr int32 kCdFramesPerSecond = 75;
constexpr int32 kCdFramesPerMinute = 60 * kCdFramesPerSecond;
constexpr int32 kCdMsfOffset = 150;                        // MSF 00:02:00 = LBA 0
constexpr int32 kCdClockFrames = 100 * kCdFramesPerMinute; // 450000: the wrap of the MSF clock
constexpr int32 kCdLeadInMinute = 90;                      // MSF minutes from here on are lead-in times
constexpr int32 kCdLastMsfLba = kCdClockFrames - 1 - kCdMsfOffset; // 99:59:74 in the program area: 449849
constexpr size_t kCdAudioSectorSize = 2352;

struct SCdMsf {
	uint8 minute = 0;
	uint8 second = 0;
	uint8 frame = 0;

	constexpr bool operator==(const SCdMsf&) const = default;
};

// The frame count of an LBA on the MSF clock (0..449999 for every LBA from
// -450150 to 449849). Any int32 is taken (a drive may send any address):
// the sum is made wide and wraps into int32.
constexpr int32 LbaToFrames(int32 lba)
{
	int64 frames = int64(lba) + (lba < -kCdMsfOffset ? kCdClockFrames + kCdMsfOffset : kCdMsfOffset);
	return int32(uint32(uint64(frames)));
}

// A frame count as minutes, seconds and frames (a length, or a time on the
// clock). A negative count gives the MSF of its magnitude (relative times
// counting down to an index 1 are written that way).
constexpr SCdMsf FramesToMsf(int32 frames)
{
	if (frames < 0)
		frames = -frames;
	SCdMsf msf;
	msf.minute = uint8(frames / kCdFramesPerMinute);
	msf.second = uint8((frames / kCdFramesPerSecond) % 60);
	msf.frame = uint8(frames % kCdFramesPerSecond);
	return msf;
}

constexpr int32 MsfToFrames(int32 minute, int32 second, int32 frame)
{
	return minute * kCdFramesPerMinute + second * kCdFramesPerSecond + frame;
}

// The absolute MSF time of an LBA (the wrap rule above).
constexpr SCdMsf LbaToMsf(int32 lba)
{
	return FramesToMsf(LbaToFrames(lba));
}

// The LBA of an absolute MSF time; minutes of 90 and above are lead-in
// times (negative LBAs).
constexpr int32 MsfToLba(int32 minute, int32 second, int32 frame)
{
	int32 frames = MsfToFrames(minute, second, frame);
	return minute >= kCdLeadInMinute ? frames - kCdClockFrames - kCdMsfOffset : frames - kCdMsfOffset;
}

constexpr int32 MsfToLba(const SCdMsf& msf)
{
	return MsfToLba(msf.minute, msf.second, msf.frame);
}

// The LBA of an MSF time that lies in the program area or lead-out: no wrap.
constexpr int32 ProgramMsfToLba(int32 minute, int32 second, int32 frame)
{
	return MsfToFrames(minute, second, frame) - kCdMsfOffset;
}

constexpr int32 ProgramMsfToLba(const SCdMsf& msf)
{
	return ProgramMsfToLba(msf.minute, msf.second, msf.frame);
}

// --- BCD ------------------------------------------------------------------

// Two BCD digits of value % 100.
constexpr uint8 ToBcd(uint32 value)
{
	return uint8(((value / 10) % 10) << 4 | (value % 10));
}

constexpr bool IsBcd(uint8 value)
{
	return (value >> 4) <= 9 && (value & 0x0F) <= 9;
}

// The value of a BCD byte, or -1 when it is not one.
constexpr int32 FromBcd(uint8 value)
{
	return IsBcd(value) ? (value >> 4) * 10 + (value & 0x0F) : -1;
}

constexpr SCdMsf MsfToBcd(const SCdMsf& msf)
{
	SCdMsf bcd;
	bcd.minute = ToBcd(msf.minute);
	bcd.second = ToBcd(msf.second);
	bcd.frame = ToBcd(msf.frame);
	return bcd;
}

// Decodes a BCD MSF; false (and *msf untouched) when a byte is no BCD.
constexpr bool MsfFromBcd(const SCdMsf& bcd, SCdMsf* msf)
{
	int32 m = FromBcd(bcd.minute);
	int32 s = FromBcd(bcd.second);
	int32 f = FromBcd(bcd.frame);
	if (m < 0 || s < 0 || f < 0)
		return false;
	msf->minute = uint8(m);
	msf->second = uint8(s);
	msf->frame = uint8(f);
	return true;
}

// A number of the Q sub-channel (track, index, time digits) as a drive
// delivers it: BCD on most drives, binary on some (a drive's formatted Q
// says which). -1 when a BCD byte is no BCD.
constexpr int32 QValue(uint8 value, bool bcd)
{
	return bcd ? FromBcd(value) : int32(value);
}
