// The drive answers the device object reads and writes itself: the mode
// pages it adapts a drive with and the position of the update thread.
#include "devices/DevicePages.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A MODE SENSE(10) answer: header with `descriptors` bytes of block
// descriptors, then `page`.
std::vector<uint8> Answer(std::vector<uint8> page, uint16 descriptors = 0, uint8 deviceSpecific = 0)
{
	std::vector<uint8> answer(8 + descriptors, 0);
	answer[3] = deviceSpecific;
	answer[6] = uint8(descriptors >> 8);
	answer[7] = uint8(descriptors);
	answer.insert(answer.end(), page.begin(), page.end());
	answer[1] = uint8(answer.size() - 2);
	return answer;
}

std::vector<uint8> CapabilitiesPage()
{
	std::vector<uint8> page(28, 0);
	page[0] = 0x80 | 0x2A;   // saveable
	page[1] = 26;
	page[2] = 0x01;
	page[3] = 0x05;   // CD-R and test writing, no CD-RW
	page[5] = 0x01 | 0x40;   // CD-DA, MCN
	page[8] = 0x1B;   // 7040 kB/s
	page[9] = 0x80;
	page[14] = 0x05;   // 1408
	page[15] = 0x80;
	page[18] = 0x0B;   // 2816
	page[19] = 0x00;
	page[20] = 0x02;   // 704
	page[21] = 0xC0;
	return page;
}

TEST(DevicePagesTest, TheCapabilitiesPageIsFoundAfterTheBlockDescriptors)
{
	for (uint16 descriptors : {0, 8, 16}) {
		std::vector<uint8> answer = Answer(CapabilitiesPage(), descriptors);
		MMC_CAPABILITIES capabilities;
		ASSERT_TRUE(ParseCapabilitiesPage(answer.data(), answer.size(), &capabilities)) << descriptors;
		EXPECT_TRUE(capabilities.audioReadByte2);
		EXPECT_TRUE(capabilities.cdrWriting);
		EXPECT_FALSE(capabilities.cdrwWriting);
		EXPECT_TRUE(capabilities.testWriting);
		EXPECT_TRUE(capabilities.audioReading);
		EXPECT_FALSE(capabilities.audioAccurate);
		EXPECT_FALSE(capabilities.isrcReading);
		EXPECT_TRUE(capabilities.mcnReading);
		EXPECT_EQ(capabilities.maximumReadSpeed, 7040);
		EXPECT_EQ(capabilities.currentReadSpeed, 1408);
		EXPECT_EQ(capabilities.maximumWriteSpeed, 2816);
		EXPECT_EQ(capabilities.currentWriteSpeed, 704);
	}
}

TEST(DevicePagesTest, AnswersWithoutThePageAreRefused)
{
	MMC_CAPABILITIES capabilities;
	std::vector<uint8> other = CapabilitiesPage();
	other[0] = 0x0E;
	std::vector<uint8> answer = Answer(other);
	EXPECT_FALSE(ParseCapabilitiesPage(answer.data(), answer.size(), &capabilities));

	// Block descriptors that push the page out of the buffer.
	answer = Answer(CapabilitiesPage());
	answer[6] = 0xFF;
	EXPECT_FALSE(ParseCapabilitiesPage(answer.data(), answer.size(), &capabilities));
	// A page cut short.
	answer = Answer(CapabilitiesPage());
	EXPECT_FALSE(ParseCapabilitiesPage(answer.data(), 8 + 21, &capabilities));
	EXPECT_FALSE(ParseCapabilitiesPage(answer.data(), 7, &capabilities));
	EXPECT_FALSE(capabilities.audioReading);

	EXPECT_TRUE(HeaderSupportsFua(Answer({0x01, 0x0A}, 0, 0x10).data(), 12));
	EXPECT_FALSE(HeaderSupportsFua(Answer({0x01, 0x0A}, 0, 0xEF).data(), 12));
	EXPECT_FALSE(HeaderSupportsFua(Answer({0x01, 0x0A}, 0, 0x10).data(), 3));
}

TEST(DevicePagesTest, TheSpindownTimerGoesIntoTheCdParametersPage)
{
	std::vector<uint8> page = {0x8D, 0x06, 0x00, 0xA7, 0x00, 0x10, 0x00, 0x20};
	std::vector<uint8> answer = Answer(page, 8);
	answer[2] = 0x55;   // medium type and the rest of the header go
	int32 length = 0;
	ASSERT_TRUE(PrepareCdParametersSelect(answer.data(), answer.size(), 0x13, &length));
	EXPECT_EQ(length, 8 + 8 + 16 - 8);
	EXPECT_EQ(std::vector<uint8>(answer.begin(), answer.begin() + 8), (std::vector<uint8> {0, 0, 0, 0, 0, 0, 0, 8}));
	// The page code without PS, the timer's low bits beside the reserved
	// high nibble, 60 S units per minute and 75 frames per second.
	EXPECT_EQ(std::vector<uint8>(answer.begin() + 16, answer.end()),
		(std::vector<uint8> {0x0D, 0x06, 0x00, 0xA3, 0x00, 60, 0x00, 75}));

	std::vector<uint8> shortAnswer = Answer({0x0D, 0x06, 0x00});
	EXPECT_FALSE(PrepareCdParametersSelect(shortAnswer.data(), shortAnswer.size(), 1, &length));
}

TEST(DevicePagesTest, AudioPlayReturnsAtOnceAndCrossesTracks)
{
	std::vector<uint8> page(16, 0);
	page[0] = 0xCE;   // PS and bit 6
	page[1] = 0x0E;
	page[2] = 0x02;   // SOTC
	page[8] = 0x01;
	std::vector<uint8> answer = Answer(page);
	int32 length = 0;
	ASSERT_TRUE(PrepareAudioControlSelect(answer.data(), answer.size(), &length));
	EXPECT_EQ(length, 24);
	EXPECT_EQ(answer[8], 0x4E);
	EXPECT_EQ(answer[8 + 2], 0x04);
	EXPECT_EQ(answer[8 + 8], 0x01);
	EXPECT_FALSE(PrepareAudioControlSelect(answer.data(), 23, &length));
}

TEST(DevicePagesTest, PositionsAreFramesWithTheWrapBelowTheLeadIn)
{
	EXPECT_EQ(PositionToFrames(0), 150);
	EXPECT_EQ(PositionToFrames(-150), 0);
	EXPECT_EQ(PositionToFrames(-151), 449999);
	EXPECT_EQ(PositionToFrames(1000), 1150);

	uint8 playing[16] = {0, 0x11, 0, 12, 1, 0x10, 7, 1, 0xFF, 0xFF, 0xFF, 0x00, 0, 0, 0x01, 0x00};
	SUBCHANNEL_POSITION position = ParseCurrentPosition(playing);
	EXPECT_TRUE(position.playing);
	EXPECT_FALSE(position.paused);
	EXPECT_EQ(position.track, 7);
	EXPECT_EQ(position.absoluteFrames, -256 + 450150);
	EXPECT_EQ(position.relativeFrames, 256 + 150);

	playing[1] = 0x12;
	EXPECT_TRUE(ParseCurrentPosition(playing).paused);
	// Play completed: no track and no position, whatever the bytes say.
	playing[1] = 0x13;
	position = ParseCurrentPosition(playing);
	EXPECT_FALSE(position.playing);
	EXPECT_EQ(position.track, 0);
	EXPECT_EQ(position.absoluteFrames, 0);
}

}   // namespace
