// CD-Text pack encoding: CRCs, the track and character-position fields of
// texts that span packs, the size limit, and packs files.
#include "kit/device/CdText.h"

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

// Packs files as mastering tools write them: plain or with the READ TOC
// header, either with one trailing zero byte (which libcdio skips too).
TEST(CdTextPacksFile, AcceptsPlainPacksOrTheReadTocAnswerAndSaysWhyNot)
{
	auto parse = [](std::vector<uint8> data, size_t* count) {
		std::vector<uint8> packs;
		std::string why;
		status_t status = CCdText::ParsePacks(data.data(), data.size(), &packs, &why);
		*count = packs.size() / CCdText::kPackSize;
		EXPECT_EQ(status == B_OK, why.empty());
		return status == B_OK ? std::string("ok") : why;
	};
	std::vector<uint8> plain(36, 0);
	plain[0] = 0x80;
	plain[18] = 0x8F;
	std::vector<uint8> answer = {0x00, 38, 0, 0};
	answer.insert(answer.end(), plain.begin(), plain.end());
	size_t count = 0;
	EXPECT_EQ(parse(plain, &count), "ok");
	EXPECT_EQ(count, 2u);
	EXPECT_EQ(parse(answer, &count), "ok");
	EXPECT_EQ(count, 2u);
	for (std::vector<uint8> data : {plain, answer}) {
		data.push_back(0);
		EXPECT_EQ(parse(data, &count), "ok");
		EXPECT_EQ(count, 2u) << "the trailing zero byte is no part of the packs";
		data.back() = 0x80;
		EXPECT_EQ(parse(data, &count), "it ends in a byte after its packs that is not zero");
	}
	answer[1] = 20;
	EXPECT_EQ(parse(answer, &count), "its header gives a length of 20 for 38 bytes");
	EXPECT_EQ(parse(std::vector<uint8>(plain.begin(), plain.begin() + 20), &count),
		"20 bytes are not whole packs of 18 bytes");
	EXPECT_EQ(parse({}, &count), "it holds no packs");
	EXPECT_EQ(parse({0}, &count), "it holds no packs");
	plain[18] = 0x7F;
	EXPECT_EQ(parse(plain, &count), "pack 2 has the type 7Fh, not one of CD-Text");

	std::vector<uint8> packs;
	std::string why;
	EXPECT_EQ(CCdText::LoadPacksFile("/nonexistent/packs.cdt", &packs, &why), B_ENTRY_NOT_FOUND);
	EXPECT_EQ(why, "cannot open /nonexistent/packs.cdt");
	EXPECT_EQ(CCdText::LoadPacksFile("/", &packs, &why), B_BAD_DATA);
	EXPECT_EQ(why, "/ is not a regular file (a folder)");
}

TEST(CdTextLatin1, ConvertsUtf8AndKeepsOtherBytes)
{
	EXPECT_EQ(CCdText::ToLatin1("plain"), "plain");
	EXPECT_EQ(CCdText::ToLatin1("\xC3\xBC\xC3\x9F"), "\xFC\xDF");
	EXPECT_EQ(CCdText::ToLatin1("\xE2\x82\xAC!"), "?!");
	EXPECT_EQ(CCdText::ToLatin1("\xFC ber"), "\xFC ber") << "already ISO 8859-1";
	EXPECT_EQ(CCdText::ToLatin1("cut \xC3"), "cut \xC3");
}
