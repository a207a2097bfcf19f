#include "kit/support/EscapeText.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;

TEST(EscapeControlChars, KeepsPrintableTextAndEscapesWhatATerminalWouldAct)
{
	EXPECT_EQ(EscapeControlChars("Track 01.wav"), "Track 01.wav");
	EXPECT_EQ(EscapeControlChars("Café – Ærø ♪ 𝄞"), "Café – Ærø ♪ 𝄞");
	EXPECT_EQ(EscapeControlChars("a\tb\nc\rd"), "a\\tb\\nc\\rd");
	// An ANSI sequence that would clear the screen, a bell, NUL and DEL.
	EXPECT_EQ(EscapeControlChars("x\x1b[2Jy\a"), "x\\x1B[2Jy\\x07");
	EXPECT_EQ(EscapeControlChars("a\0b\x7f"s), "a\\x00b\\x7F");
	// The backslash is doubled so that an escape in the input cannot pass
	// for one that the function wrote.
	EXPECT_EQ(EscapeControlChars("C:\\x1B"), "C:\\\\x1B");
	EXPECT_EQ(EscapeControlChars(""), "");
}

TEST(EscapeControlChars, EscapesC1ControlsAndMalformedUtf8BytePerByte)
{
	// U+009B (CSI) encoded in UTF-8, and as a lone byte.
	EXPECT_EQ(EscapeControlChars("a\xC2\x9B" "b"), "a\\xC2\\x9Bb");
	EXPECT_EQ(EscapeControlChars("a\x9B" "b"), "a\\x9Bb");
	// U+00A0 is the first code point past the C1 block: kept.
	EXPECT_EQ(EscapeControlChars("\xC2\xA0"), "\xC2\xA0");
	// Overlong slash, a surrogate, a value past U+10FFFF, a truncated tail.
	EXPECT_EQ(EscapeControlChars("\xC0\xAF"), "\\xC0\\xAF");
	EXPECT_EQ(EscapeControlChars("\xED\xA0\x80"), "\\xED\\xA0\\x80");
	EXPECT_EQ(EscapeControlChars("\xF4\x90\x80\x80"), "\\xF4\\x90\\x80\\x80");
	EXPECT_EQ(EscapeControlChars("ok\xE2\x99"), "ok\\xE2\\x99");
	// Latin-1 bytes from an old file: each shown, the text around kept.
	EXPECT_EQ(EscapeControlChars("Caf\xE9 au lait"), "Caf\\xE9 au lait");
}
