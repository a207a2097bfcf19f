// Basic types of the platform layer: fixed-width integers, status codes,
// ids and times, with the names the rest of the program uses.
#pragma once

#include <cstddef>
#include <cstdint>

typedef int8_t int8;
typedef uint8_t uint8;
typedef int16_t int16;
typedef uint16_t uint16;
typedef int32_t int32;
typedef uint32_t uint32;
typedef int64_t int64;
typedef uint64_t uint64;

typedef int32 status_t;
typedef int64 bigtime_t;   // microseconds
typedef uint32 type_code;
typedef int64 off_t_b;

typedef int32 thread_id;
typedef int32 sem_id;
typedef int32 area_id;
typedef int32 image_id;
typedef int32 team_id;
typedef int32 dev_t_b;
typedef int64 ino_t_b;

#include "kit/support/Errors.h"

// Four-character codes as the platform writes them: 'PrAd'.
constexpr uint32 FourCC(char a, char b, char c, char d)
{
	return (uint32(uint8(a)) << 24) | (uint32(uint8(b)) << 16) | (uint32(uint8(c)) << 8) | uint32(uint8(d));
}

#ifndef B_DO_NOT_RESCHEDULE
#define B_DO_NOT_RESCHEDULE 0x02
#endif
