// Building blocks of the add-ons' constant speed tables.
#pragma once

#include "driver/driverbaseclass.h"

inline constexpr const char* kUnverified = "unverified";
inline constexpr const char* kDataOnly = "data only";
inline constexpr const char* kAudioOnly = "audio only";

// The kB/s value of an MMC table entry: the integer part of 176.4 x factor,
// plus 1 (exact for the whole factors the tables use).
constexpr int32 MmcValue(int factor)
{
	return factor * 1764 / 10 + 1;
}

// An entry with a drive-specific code, and one marked "unverified".
constexpr SPEED_INFO Code(int32 value, float factor, const char* name = nullptr, const char* comment = nullptr)
{
	return {value, factor, name, comment};
}

constexpr SPEED_INFO CodeU(int32 value, float factor)
{
	return {value, factor, nullptr, kUnverified};
}

// An MMC entry, and one marked "unverified".
constexpr SPEED_INFO Mmc(int factor)
{
	return {MmcValue(factor), static_cast<float>(factor), nullptr, nullptr};
}

constexpr SPEED_INFO MmcU(int factor)
{
	return {MmcValue(factor), static_cast<float>(factor), nullptr, kUnverified};
}

// "maximum" with no fixed factor, plain and unverified.
inline constexpr SPEED_INFO kMax = {65535, -1.0f, "maximum", nullptr};
inline constexpr SPEED_INFO kMaxU = {65535, -1.0f, "maximum", kUnverified};
inline constexpr SPEED_INFO kEnd = {0, 0.0f, nullptr, nullptr};

static_assert(MmcValue(1) == 177 && MmcValue(2) == 353 && MmcValue(4) == 706 && MmcValue(6) == 1059);
static_assert(MmcValue(8) == 1412 && MmcValue(10) == 1765 && MmcValue(12) == 2117 && MmcValue(16) == 2823);
static_assert(MmcValue(20) == 3529 && MmcValue(24) == 4234 && MmcValue(32) == 5645);

// The tables of the generic MMC driver (drv-pellworth), which the Sony
// CDU928E add-on uses too: read maximum, 1u, 2u, 4u and every even factor up
// to 80u; CD-R and CD-RW write maximum, 1u, 2u, 4u, 6u, 8u, 10u, 12u.
extern const SPEED_INFO g_GenericReadSpeed[];
extern const SPEED_INFO g_GenericWriteSpeed[];
