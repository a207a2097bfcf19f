// CD-Text decoding from raw packs, and the UTF-8 conversions it relies on.
#include "DebugCapture.h"
#include "disc/CdTextDecoder.h"
#include "frame/Diagnostics.h"
#include "kit/text/UTF8.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Pack = std::array<uint8, 18>;

// A pack with up to 12 text bytes (the rest 0) and a CRC that is never
// right: the decoder does not check it.
Pack MakePack(uint8 type, uint8 track, uint8 sequence, uint8 flags, const std::string& text)
{
	Pack pack {type, track, sequence, flags};
	for (size_t i = 0; i < text.size() && i < 12; i++)
		pack[4 + i] = uint8(text[i]);
	pack[16] = 0xDE;
	return pack;
}

// The drive's answer: the length field, two reserved bytes, the packs.
std::vector<uint8> MakeBuffer(const std::vector<Pack>& packs)
{
	const size_t length = packs.size() * 18 + 2;
	std::vector<uint8> buffer {uint8(length >> 8), uint8(length), 0, 0};
	for (const Pack& pack : packs)
		buffer.insert(buffer.end(), pack.begin(), pack.end());
	return buffer;
}

bool Decode(CCdTextDecoder& decoder, const std::vector<Pack>& packs)
{
	std::vector<uint8> buffer = MakeBuffer(packs);
	return decoder.Init(buffer.data(), int(buffer.size()));
}

// Converts all of `source`; *consumed receives the bytes taken.
std::string Convert(uint32 conversion, const std::string& source, int32* consumed = nullptr, int32 capacity = 64,
	int32* state = nullptr)
{
	char dest[64];
	int32 sourceLength = int32(source.size());
	int32 localState = 0;
	EXPECT_EQ(convert_to_utf8(conversion, source.data(), &sourceLength, dest, &capacity,
				  state != nullptr ? state : &localState),
		B_OK);
	if (consumed != nullptr)
		*consumed = sourceLength;
	return std::string(dest, size_t(capacity));
}

}   // namespace

TEST(ConvertToUtf8, SingleAndSixteenBitSetsWithinTheirBounds)
{
	int32 consumed = 0;
	EXPECT_EQ(Convert(B_ISO1_CONVERSION, "\xE9t\xE9", &consumed), "\xC3\xA9t\xC3\xA9");
	// Room for one two-byte character only: the second stays unconsumed.
	EXPECT_EQ(Convert(B_ISO1_CONVERSION, "\xE9\xE9", &consumed, 3), "\xC3\xA9");
	EXPECT_EQ(consumed, 1);

	// A, HIRAGANA A, and U+1F600 as a surrogate pair.
	EXPECT_EQ(Convert(B_UNICODE_CONVERSION, std::string("\x00\x41\x30\x42\xD8\x3D\xDE\x00", 8), &consumed),
		"A\xE3\x81\x82\xF0\x9F\x98\x80");
	EXPECT_EQ(consumed, 8);
	EXPECT_EQ(Convert(B_UNICODE_CONVERSION, std::string("\xDC\x00\x00\x42", 4)), "\x1A" "B");
	// A high surrogate or a lone byte at the end waits for more source.
	EXPECT_EQ(Convert(B_UNICODE_CONVERSION, std::string("\x00\x41\xD8\x3D", 4), &consumed), "A");
	EXPECT_EQ(consumed, 2);
	EXPECT_EQ(Convert(B_UNICODE_CONVERSION, std::string("\x00\x41\x00", 3), &consumed), "A");
	EXPECT_EQ(consumed, 2);

	char dest[8];
	int32 length = 1;
	int32 capacity = 8;
	EXPECT_EQ(convert_to_utf8(99, "A", &length, dest, &capacity, nullptr), B_ERROR);
	EXPECT_EQ(convert_to_utf8(B_ISO1_CONVERSION, nullptr, &length, dest, &capacity, nullptr), B_BAD_VALUE);
}

TEST(ConvertToUtf8, MsJisAndStatefulJis)
{
	int32 consumed = 0;
	EXPECT_EQ(Convert(B_SJIS_CONVERSION, "A\x82\xA0", &consumed), "A\xE3\x81\x82");
	// A lead byte cut off by the end of the source is left for the next call.
	EXPECT_EQ(Convert(B_SJIS_CONVERSION, "A\x82", &consumed), "A");
	EXPECT_EQ(consumed, 1);
	EXPECT_EQ(Convert(B_SJIS_CONVERSION, "\xA0" "B"), "\x1A" "B");

	// The shift into JIS X 0208 carries over to the next call.
	int32 state = 0;
	EXPECT_EQ(Convert(B_JIS_CONVERSION, "\x1B$B\x24\x22", nullptr, 64, &state), "\xE3\x81\x82");
	EXPECT_EQ(Convert(B_JIS_CONVERSION, "\x24\x24", nullptr, 64, &state), "\xE3\x81\x84");
	EXPECT_EQ(Convert(B_JIS_CONVERSION, "\x1B(BZ", nullptr, 64, &state), "Z");
	EXPECT_EQ(state, 0);
}

TEST(CdTextDecoder, NothingToDecode)
{
	CCdTextDecoder decoder;
	std::vector<uint8> buffer(64, 0);
	{
		CapturedOutput output;
		EXPECT_FALSE(decoder.Init(buffer.data(), int(buffer.size())));
		EXPECT_FALSE(decoder.Init(buffer.data(), 1));
		EXPECT_EQ(output.Text(), "couldn't decode cd-text (no data)\ncouldn't decode cd-text (no data)\n");
	}
	CapturedOutput output;
	for (uint8 length : {1, 2, 3, 19}) {
		buffer[1] = length;
		EXPECT_FALSE(decoder.Init(buffer.data(), int(buffer.size()))) << int(length);
	}
	// A length field that promises a pack the buffer does not hold.
	std::vector<uint8> cut = MakeBuffer({MakePack(0x80, 0, 0, 0, "Title")});
	EXPECT_FALSE(decoder.Init(cut.data(), int(cut.size()) - 1));
	std::string line = "couldn't decode cd-text (no data packs)\n";
	EXPECT_EQ(output.Text(), line + line + line + line + line);
}

TEST(CdTextDecoder, TextsSpanPacksAndTerminatorsAdvanceTracks)
{
	CCdTextDecoder decoder;
	ASSERT_TRUE(Decode(decoder, {MakePack(0x80, 1, 0, 0, std::string("ABC\0DEF\0GHIJ", 12)),
									MakePack(0x80, 3, 1, 0, "KL"), MakePack(0x81, 1, 2, 0, std::string("Pa\0Pb", 5))}));
	EXPECT_STREQ(decoder.Title(1), "ABC");
	EXPECT_STREQ(decoder.Title(2), "DEF");
	EXPECT_STREQ(decoder.Title(3), "GHIJKL");
	EXPECT_STREQ(decoder.Artist(2), "Pb");
	EXPECT_STREQ(decoder.Title(0), "");

	// Decoding again starts from empty texts.
	ASSERT_TRUE(Decode(decoder, {MakePack(0x80, 2, 0, 0, "New")}));
	EXPECT_STREQ(decoder.Title(1), "");
	EXPECT_STREQ(decoder.Title(2), "New");
}

TEST(CdTextDecoder, WhichPacksCount)
{
	CCdTextDecoder decoder;
	ASSERT_TRUE(Decode(decoder, {
									MakePack(0x80, 0, 0, 0, "Disc"),
									MakePack(0x82, 1, 1, 0, "Songwriter"),   // other types are skipped
									MakePack(0x80, 0x81, 2, 0, "Ext"),       // extension flag: skipped
									MakePack(0x80, 0, 3, 0, "Two"),
									MakePack(0x80, 0, 3, 0x10, "Zwei"),      // a second language block
									MakePack(0x81, 0, 1, 0, "Late"),         // sequence goes back: the end
									MakePack(0x81, 0, 4, 0, "Never"),
								}));
	EXPECT_STREQ(decoder.Title(0), "DiscTwo");
	EXPECT_STREQ(decoder.Title(1), "");
	EXPECT_STREQ(decoder.Artist(0), "");
}

TEST(CdTextDecoder, TracksAboveNinetyNineAreDropped)
{
	CCdTextDecoder decoder;
	ASSERT_TRUE(Decode(decoder, {MakePack(0x80, 98, 0, 0, std::string("A\0B\0C\0D\0EEEE", 12)),
									MakePack(0x80, 127, 1, 0, "Far"), MakePack(0x81, 99, 2, 0, "Last")}));
	EXPECT_STREQ(decoder.Title(98), "A");
	EXPECT_STREQ(decoder.Title(99), "B");
	EXPECT_STREQ(decoder.Artist(99), "Last");

	CapturedOutput output;
	EXPECT_STREQ(decoder.Title(100), "");
	EXPECT_STREQ(decoder.Artist(-1), "");
	EXPECT_NE(output.Text().find("track >= 0 && track <= 99"), std::string::npos);
}

TEST(CdTextDecoder, ReadsOnlyWhatTheBufferHolds)
{
	// The length field claims ten packs; the buffer ends inside the third.
	std::vector<uint8> buffer =
		MakeBuffer({MakePack(0x80, 1, 0, 0, "One"), MakePack(0x80, 2, 1, 0, "Two"), MakePack(0x80, 3, 2, 0, "Three")});
	buffer[1] = 10 * 18 + 2;
	CCdTextDecoder decoder;
	ASSERT_TRUE(decoder.Init(buffer.data(), int(buffer.size()) - 1));
	EXPECT_STREQ(decoder.Title(2), "Two");
	EXPECT_STREQ(decoder.Title(3), "");

	// The length field claims one pack; the others are not read.
	buffer[1] = 18 + 2;
	ASSERT_TRUE(decoder.Init(buffer.data(), int(buffer.size())));
	EXPECT_STREQ(decoder.Title(2), "");
}

TEST(CdTextDecoder, CharacterSets)
{
	CCdTextDecoder decoder;
	ASSERT_TRUE(Decode(decoder, {MakePack(0x80, 1, 0, 0, "Caf\xE9")}));
	EXPECT_STREQ(decoder.Title(1), "Caf\xC3\xA9");

	// Double-byte packs: 16-bit Unicode, "\0\0" ends a text, an unpaired
	// surrogate becomes a blank.
	std::string wide("\x00\x41\x30\x42\x00\x00\x00\x41\xDC\x00\x00\x42", 12);
	ASSERT_TRUE(Decode(decoder, {MakePack(0x80, 1, 0, 0x80, wide)}));
	EXPECT_STREQ(decoder.Title(1), "A\xE3\x81\x82");
	EXPECT_STREQ(decoder.Title(2), "A B");

	// ... or MS-JIS when the block's size information says so.
	ASSERT_TRUE(Decode(decoder, {MakePack(0x80, 1, 0, 0x80, std::string("\x82\xA0\x82\xA2\x00\x00", 6)),
									MakePack(0x8F, 0, 1, 0, std::string("\x80\x01\x01", 3))}));
	EXPECT_STREQ(decoder.Title(1), "\xE3\x81\x82\xE3\x81\x84");
}

TEST(CdTextDecoder, RepeatMarkersAndSplitTitles)
{
	CCdTextDecoder decoder;
	// A lone tab repeats the text of the track before; a title without a
	// performer is split at its separator; a title of digits stays whole.
	ASSERT_TRUE(Decode(decoder, {MakePack(0x80, 0, 0, 0, std::string("Band - Album", 12)),
									MakePack(0x80, 1, 1, 0, std::string("1999\0Song\0\t\0", 12)),
									MakePack(0x81, 2, 2, 0, std::string("P2\0\t\0", 5))}));
	EXPECT_STREQ(decoder.Artist(0), "Band");
	EXPECT_STREQ(decoder.Title(0), "Album");
	EXPECT_STREQ(decoder.Title(1), "1999");
	EXPECT_STREQ(decoder.Title(3), "Song");
	EXPECT_STREQ(decoder.Artist(3), "P2");
	// With a performer the title is taken as it is.
	ASSERT_TRUE(Decode(decoder, {MakePack(0x80, 1, 0, 0, "A - B"), MakePack(0x81, 1, 1, 0, "P")}));
	EXPECT_STREQ(decoder.Title(1), "A - B");
}
