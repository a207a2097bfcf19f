// The capability flag sets that the add-ons give their models.
#pragma once

#include "driver/driverbaseclass.h"

constexpr uint64 FlagWords(uint32 upper, uint32 lower)
{
	return static_cast<uint64>(upper) << 32 | lower;
}

inline constexpr uint64 FLAGS_A = FlagWords(0, 0x1B00D03);
inline constexpr uint64 FLAGS_B = FlagWords(0x100, 0x1B00F01);
inline constexpr uint64 FLAGS_C = FlagWords(0x140, 0x1B00F01);
inline constexpr uint64 FLAGS_D = FlagWords(0x1C0, 0x1B00F01);
inline constexpr uint64 FLAGS_E = FlagWords(0x1C0, 0x1B00F03);
inline constexpr uint64 FLAGS_F = FlagWords(0x140, 0x1B00F03);
inline constexpr uint64 FLAGS_G = FlagWords(0x1C0, 0x1B00F02);
inline constexpr uint64 FLAGS_H = FlagWords(0x1C0, 0x1B00102);
inline constexpr uint64 FLAGS_I = FlagWords(0x1C0, 0x1200F01);
inline constexpr uint64 FLAGS_J = FlagWords(0x1C0, 0x1200F03);
inline constexpr uint64 FLAGS_K = FlagWords(0, 0x1200103);
inline constexpr uint64 FLAGS_L = FlagWords(0, 0x900107);
inline constexpr uint64 FLAGS_M = FlagWords(0x1C0, 0x900F03);
inline constexpr uint64 FLAGS_N = FlagWords(0, 0x101);
inline constexpr uint64 FLAGS_O = FlagWords(0, 0x103);
inline constexpr uint64 FLAGS_P = FlagWords(0, 0xA);
inline constexpr uint64 FLAGS_Q = FlagWords(0, 0x11A);

// The sets spelled out by capability.
namespace flag_sets_check {
constexpr uint64 kReadInfo = F_AUDIO_READ | F_ATIP_READ | F_ISRC_READ | F_MCN_READ;
constexpr uint64 kTaoDao = F_TAO_WRITE | F_DAO_WRITE | F_TAO_TESTWRITE | F_DAO_TESTWRITE;
constexpr uint64 kBlank = F_BLANK_FULL | F_BLANK_MINIMAL;
static_assert(FLAGS_A == (F_SUPPORTED | F_EXPERIMENTAL | F_AUDIO_READ | F_ISRC_READ | F_MCN_READ | kTaoDao));
static_assert(FLAGS_B == (F_SUPPORTED | kReadInfo | kTaoDao | F_BUFFER_INQUIRY));
static_assert(FLAGS_C == (FLAGS_B | F_BLANK_FULL));
static_assert(FLAGS_D == (FLAGS_B | kBlank));
static_assert(FLAGS_E == (FLAGS_D | F_EXPERIMENTAL));
static_assert(FLAGS_F == (FLAGS_C | F_EXPERIMENTAL));
static_assert(FLAGS_G == (FLAGS_E & ~F_SUPPORTED));
static_assert(FLAGS_H == (F_EXPERIMENTAL | F_AUDIO_READ | kTaoDao | F_BUFFER_INQUIRY | kBlank));
static_assert(FLAGS_I == (F_SUPPORTED | kReadInfo | F_DAO_WRITE | F_DAO_TESTWRITE | F_BUFFER_INQUIRY | kBlank));
static_assert(FLAGS_J == (FLAGS_I | F_EXPERIMENTAL));
static_assert(FLAGS_K == (F_SUPPORTED | F_EXPERIMENTAL | F_AUDIO_READ | F_DAO_WRITE | F_DAO_TESTWRITE));
static_assert(FLAGS_L
	== (F_SUPPORTED | F_EXPERIMENTAL | F_BIGENDIAN | F_AUDIO_READ | F_TAO_WRITE | F_TAO_TESTWRITE));
static_assert(FLAGS_M
	== (F_SUPPORTED | F_EXPERIMENTAL | kReadInfo | F_TAO_WRITE | F_TAO_TESTWRITE | F_BUFFER_INQUIRY | kBlank));
static_assert(FLAGS_N == (F_SUPPORTED | F_AUDIO_READ));
static_assert(FLAGS_O == (F_SUPPORTED | F_EXPERIMENTAL | F_AUDIO_READ));
static_assert(FLAGS_P == (F_EXPERIMENTAL | F_GENERIC_DRIVER));
static_assert(FLAGS_Q == (F_EXPERIMENTAL | F_GENERIC_DRIVER | F_GENERIC_READONLY | F_AUDIO_READ));
}   // namespace flag_sets_check
