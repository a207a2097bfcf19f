// The pack codec both ways: what the encoder writes, the pack decoder and
// the program's own disc decoder read back unchanged, also through the R-W
// sub-channel of lead-in sectors.
#include "disc/CdTextDecoder.h"
#include "kit/device/CdText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A text of track n whose length varies from 1 to 30 bytes, so that texts
// end at every position of a pack and many span several packs.
std::string TrackText(uint8 type, int track)
{
	std::string text = std::string(1, char('A' + type - CCdText::kTitle)) + std::to_string(track);
	while (text.size() < size_t(1 + (track * 7) % 30))
		text += char('a' + (text.size() + size_t(track)) % 26);
	return text;
}

std::vector<uint8> WithHeader(const std::vector<uint8>& packs)
{
	const size_t length = packs.size() + 2;
	std::vector<uint8> buffer {uint8(length >> 8), uint8(length), 0, 0};
	buffer.insert(buffer.end(), packs.begin(), packs.end());
	return buffer;
}

}   // namespace

TEST(CdTextRoundTrip, EveryTextTypeWith99TracksComesBackUnchanged)
{
	for (uint8 type = CCdText::kTitle; type <= CCdText::kMessage; type++) {
		CCdText text;
		ASSERT_EQ(text.SetText(type, 0, "Disc text of more than twelve bytes"), B_OK);
		for (int track = 1; track <= 99; track++)
			ASSERT_EQ(text.SetText(type, track, TrackText(type, track)), B_OK);
		std::vector<uint8> packs;
		ASSERT_EQ(text.Encode(1, 99, &packs), B_OK) << int(type);
		for (size_t i = 0; i < packs.size(); i += CCdText::kPackSize)
			ASSERT_TRUE(CCdText::PackCrcValid(&packs[i]));

		CCdText::SBlock block;
		ASSERT_TRUE(CCdText::Decode(packs.data(), packs.size() / CCdText::kPackSize, &block));
		EXPECT_EQ(block.block, 0);
		EXPECT_EQ(block.characterCode, 0x00);
		for (int index = 0; index < CCdText::kTextTypes; index++) {
			for (int track = 0; track <= 99; track++) {
				const std::string expected = index == type - CCdText::kTitle ? text.Text(type, track) : "";
				EXPECT_EQ(block.texts[size_t(index)][size_t(track)], expected) << int(type) << " track " << track;
			}
		}
	}
}

TEST(CdTextRoundTrip, AllTypesTogetherAndTheDiscDecoderSeeLatin1AsUtf8)
{
	CCdText text;
	for (uint8 type = CCdText::kTitle; type <= CCdText::kMessage; type++)
		for (int track = 0; track <= 12; track++)
			ASSERT_EQ(text.SetText(type, track, TrackText(type, track)), B_OK);
	// "Café" and "Müller" in ISO 8859-1.
	ASSERT_EQ(text.SetText(CCdText::kTitle, 3, "Caf\xE9 de Flore"), B_OK);
	ASSERT_EQ(text.SetText(CCdText::kPerformer, 3, "M\xFCller"), B_OK);
	std::vector<uint8> packs;
	ASSERT_EQ(text.Encode(1, 12, &packs), B_OK);

	CCdText::SBlock block;
	ASSERT_TRUE(CCdText::Decode(packs.data(), packs.size() / CCdText::kPackSize, &block));
	for (uint8 type = CCdText::kTitle; type <= CCdText::kMessage; type++)
		for (int track = 0; track <= 12; track++)
			EXPECT_EQ(block.texts[size_t(type - CCdText::kTitle)][size_t(track)], text.Text(type, track));

	CCdTextDecoder decoder;
	std::vector<uint8> buffer = WithHeader(packs);
	ASSERT_TRUE(decoder.Init(buffer.data(), int(buffer.size())));
	EXPECT_STREQ(decoder.Title(3), "Caf\xC3\xA9 de Flore");
	EXPECT_STREQ(decoder.Artist(3), "M\xC3\xBCller");
	for (int track = 0; track <= 12; track++) {
		if (track == 3)
			continue;
		EXPECT_EQ(decoder.Title(track), text.Text(CCdText::kTitle, track));
		EXPECT_EQ(decoder.Artist(track), text.Text(CCdText::kPerformer, track));
	}
	EXPECT_STREQ(decoder.Title(13), "");
}

TEST(CdTextRoundTrip, PacksSurviveTheLeadInSubchannelAndRefuseDamage)
{
	CCdText text;
	ASSERT_EQ(text.SetText(CCdText::kTitle, 0, "Lead-in"), B_OK);
	ASSERT_EQ(text.SetText(CCdText::kTitle, 1, "One"), B_OK);
	std::vector<uint8> packs;
	ASSERT_EQ(text.Encode(1, 1, &packs), B_OK);
	ASSERT_GE(packs.size(), 4 * CCdText::kPackSize);

	uint8 subcode[CCdText::kSubcodeSize];
	CCdText::PacksToSubcode(packs.data(), 4, subcode);
	for (uint8 symbol : subcode)
		EXPECT_EQ(symbol & 0xC0, 0) << "only six bits a symbol";
	// Mode 4 of the R-W channel: the pack type's high bits.
	EXPECT_EQ(subcode[0], 0x80 >> 2);
	uint8 back[4 * CCdText::kPackSize];
	CCdText::SubcodeToPacks(subcode, back);
	EXPECT_EQ(std::vector<uint8>(back, back + sizeof(back)),
		std::vector<uint8>(packs.begin(), packs.begin() + 4 * CCdText::kPackSize));

	subcode[30] ^= 0x01;   // one bit of the second pack
	CCdText::SubcodeToPacks(subcode, back);
	EXPECT_TRUE(CCdText::PackCrcValid(back));
	EXPECT_FALSE(CCdText::PackCrcValid(back + CCdText::kPackSize));
}
