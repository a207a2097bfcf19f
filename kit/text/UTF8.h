// Text conversion from the platform's character sets into UTF-8.
//
// ISO 8859-1 and 16-bit Unicode (big-endian) are converted by our own code;
// the other sets go through the C library's iconv. A set that the system's
// iconv cannot load is refused with B_ERROR, like an unknown constant.
#pragma once

#include "kit/support/SupportDefs.h"

// The platform's conversion constants.
enum {
	B_ISO1_CONVERSION = 0,        // ISO 8859-1 (Latin-1)
	B_ISO2_CONVERSION,            // ISO 8859-2
	B_ISO3_CONVERSION,            // ISO 8859-3
	B_ISO4_CONVERSION,            // ISO 8859-4
	B_ISO5_CONVERSION,            // ISO 8859-5
	B_ISO6_CONVERSION,            // ISO 8859-6
	B_ISO7_CONVERSION,            // ISO 8859-7
	B_ISO8_CONVERSION,            // ISO 8859-8
	B_ISO9_CONVERSION,            // ISO 8859-9
	B_ISO10_CONVERSION,           // ISO 8859-10
	B_MAC_ROMAN_CONVERSION,       // Macintosh Roman
	B_SJIS_CONVERSION,            // Shift-JIS as Microsoft defines it (MS-JIS, code page 932)
	B_EUC_CONVERSION,             // EUC-JP
	B_JIS_CONVERSION,             // ISO-2022-JP (stateful: see convert_to_utf8)
	B_MS_WINDOWS_CONVERSION,      // Windows code page 1252
	B_UNICODE_CONVERSION,         // 16-bit Unicode, big-endian
	B_KOI8R_CONVERSION,           // KOI8-R
	B_MS_WINDOWS_1251_CONVERSION, // Windows code page 1251
	B_MS_DOS_866_CONVERSION,      // DOS code page 866
	B_MS_DOS_CONVERSION,          // DOS code page 437
	B_EUC_KR_CONVERSION,          // EUC-KR
	B_ISO13_CONVERSION,           // ISO 8859-13
	B_ISO14_CONVERSION,           // ISO 8859-14
	B_ISO15_CONVERSION,           // ISO 8859-15
	B_BIG5_CONVERSION,            // Big5
	B_GBK_CONVERSION,             // GBK
	B_UTF16_CONVERSION,           // UTF-16 with byte-order mark (big-endian without one)
	B_MS_WINDOWS_1250_CONVERSION, // Windows code page 1250
};

// The platform's default substitute: written for every source character
// that has no Unicode equivalent or is malformed.
constexpr char B_SUBSTITUTE = 0x1A;

// Converts from `sourceEncoding` to UTF-8.
//
// In: *sourceLength bytes at `source`, room for *destLength bytes at `dest`.
// Out: *sourceLength = bytes consumed, *destLength = bytes written. Only
// whole characters are written: conversion stops before a character whose
// UTF-8 form does not fit, and before a multi-byte character that is cut off
// by the end of the source (it is left unconsumed for the next call). A
// malformed or unmappable character becomes `substitute` (one byte), and one
// source unit (a byte; two bytes in 16-bit Unicode) is skipped. A 16-bit
// surrogate pair becomes one four-byte character. No terminating 0 is
// written.
//
// `state` carries the shift state of ISO-2022-JP between calls (start with
// 0); the other sets neither read nor change it. It may be null, which
// means a fresh state each call.
//
// Returns B_OK (also when nothing fitted), B_BAD_VALUE for null pointers or
// negative lengths, B_ERROR for an unknown or unavailable conversion.
// Safe from any thread.
status_t convert_to_utf8(uint32 sourceEncoding, const char* source, int32* sourceLength, char* dest,
	int32* destLength, int32* state, char substitute = B_SUBSTITUTE);
