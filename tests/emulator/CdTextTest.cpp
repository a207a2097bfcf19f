// CD-Text pack encoding: CRCs, the track and character-position fields of
// texts that span packs, the size limit, and packs files.
#include "emulator/CdText.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(CdTextCrc, MatchesPacksOfAPublishedDisc)
{
	// Size-information packs as a mastering tool wrote them, CRC included.
	const uint8 packs[3][18] = {
		{0x8F, 0x00, 0x2B, 0x00, 0x01, 0x01, 0x0D, 0x03, 0x0C, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x7B, 0x3D},
		{0x8F, 0x01, 0x2C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x12, 0x03, 0x2D, 0x00, 0x00, 0x00, 0xDA, 0xB7},
		{0x8F, 0x02, 0x2D, 0x00, 0x00, 0x00, 0x00, 0x00, 0x09, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x6A, 0x24},
	};
	for (const auto& pack : packs) {
		EXPECT_TRUE(CCdText::PackCrcValid(pack));
		uint8 damaged[18];
		std::memcpy(damaged, pack, 18);
		damaged[7] ^= 0x10;
		EXPECT_FALSE(CCdText::PackCrcValid(damaged));
	}
}

TEST(CdTextEncode, LongTextsSpanPacksWithTrackAndCharacterPosition)
{
	CCdText text;
	ASSERT_EQ(text.SetText(CCdText::kTitle, 0, "An album title of 31 characters"), B_OK);
	ASSERT_EQ(text.SetText(CCdText::kTitle, 1, "Short"), B_OK);
	ASSERT_EQ(text.SetText(CCdText::kTitle, 2, std::string(40, 'x')), B_OK);
	EXPECT_EQ(text.SetText(0x8E, 1, "x"), B_BAD_VALUE);
	EXPECT_EQ(text.SetText(CCdText::kTitle, 100, "x"), B_BAD_VALUE);

	std::vector<uint8> packs;
	ASSERT_EQ(text.Encode(1, 2, &packs), B_OK);
	// Title stream: 32 + 6 + 41 = 79 bytes -> 7 packs, then 3 size packs.
	ASSERT_EQ(packs.size(), 10u * 18);
	struct {
		uint8 track, position;
	} expected[7] = {{0, 0}, {0, 12}, {0, 15}, {1, 4}, {2, 10}, {2, 15}, {2, 15}};
	for (int i = 0; i < 7; i++) {
		const uint8* p = &packs[size_t(i) * 18];
		EXPECT_EQ(p[0], 0x80);
		EXPECT_EQ(p[1], expected[i].track) << "pack " << i;
		EXPECT_EQ(p[2], i);
		EXPECT_EQ(p[3], expected[i].position) << "pack " << i;
		EXPECT_TRUE(CCdText::PackCrcValid(p));
	}
	const uint8* size = &packs[7 * 18];
	EXPECT_EQ(size[0], 0x8F);
	EXPECT_EQ(size[4 + 1], 1);
	EXPECT_EQ(size[4 + 2], 2);
	EXPECT_EQ(size[4 + 4], 7) << "title packs";
	EXPECT_EQ(packs[8 * 18 + 4 + 7], 3) << "size packs";
	EXPECT_EQ(packs[8 * 18 + 4 + 8], 9) << "last sequence number";

	CCdText empty;
	std::vector<uint8> none;
	EXPECT_EQ(empty.Encode(1, 5, &none), B_OK);
	EXPECT_TRUE(none.empty());
	EXPECT_EQ(text.Encode(3, 2, &none), B_BAD_VALUE);
}

TEST(CdTextEncode, RefusesMoreThanOneBlockOfPacks)
{
	CCdText text;
	for (int track = 1; track <= 99; track++)
		for (uint8 type = CCdText::kTitle; type <= CCdText::kArranger; type++)
			text.SetText(type, track, std::string(40, char('a' + track % 26)));
	std::vector<uint8> packs;
	EXPECT_EQ(text.Encode(1, 99, &packs), B_BAD_DATA);
	EXPECT_TRUE(packs.empty());
}

TEST(CdTextPacksFile, AcceptsPlainPacksOrTheReadTocAnswer)
{
	std::vector<uint8> packs;
	uint8 plain[36] = {0x80};
	EXPECT_EQ(CCdText::ParsePacks(plain, 36, &packs), B_OK);
	EXPECT_EQ(packs.size(), 36u);
	uint8 answer[22] = {0x00, 20};
	EXPECT_EQ(CCdText::ParsePacks(answer, 22, &packs), B_OK);
	EXPECT_EQ(packs.size(), 18u);
	answer[1] = 38;
	EXPECT_EQ(CCdText::ParsePacks(answer, 22, &packs), B_BAD_DATA) << "length field disagrees";
	EXPECT_EQ(CCdText::ParsePacks(plain, 20, &packs), B_BAD_DATA);
	EXPECT_EQ(CCdText::LoadPacksFile("/nonexistent/packs.cdt", &packs), B_ENTRY_NOT_FOUND);
}

TEST(CdTextLatin1, ConvertsUtf8AndKeepsOtherBytes)
{
	EXPECT_EQ(CCdText::ToLatin1("plain"), "plain");
	EXPECT_EQ(CCdText::ToLatin1("\xC3\xBC\xC3\x9F"), "\xFC\xDF");
	EXPECT_EQ(CCdText::ToLatin1("\xE2\x82\xAC!"), "?!");
	EXPECT_EQ(CCdText::ToLatin1("\xFC ber"), "\xFC ber") << "already ISO 8859-1";
	EXPECT_EQ(CCdText::ToLatin1("cut \xC3"), "cut \xC3");
}
