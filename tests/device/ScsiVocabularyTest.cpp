// The SCSI vocabulary of kit/device: CD addresses and BCD, sense decoding and
// the sense table, the write parameters page and cue sheet entries.
#include "kit/device/CdAddress.h"
#include "kit/device/ScsiCommands.h"
#include "kit/device/ScsiParameters.h"
#include "kit/device/ScsiSense.h"
#include "kit/support/ByteOrder.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

TEST(CdAddress, OneRuleForEveryAddress)
{
	struct SCase {
		int32 lba;
		SCdMsf msf;
	};
	const SCase cases[] = {
		{-150, {0, 0, 0}},          // the first lead-in time before the program area
		{-151, {99, 59, 74}},       // below it the clock wraps
		{-451, {99, 55, 74}},
		{0, {0, 2, 0}},
		{449849, {99, 59, 74}},     // the last time on the clock
		{445350, {99, 0, 0}},       // the lead-out of a 99-minute disc
		{-1, {0, 1, 74}},
	};
	for (const SCase& c : cases) {
		EXPECT_EQ(LbaToMsf(c.lba), c.msf) << c.lba;
		// The lead-in reading takes minutes from 90 as lead-in; the
		// program reading never wraps.
		if (c.lba >= -150 && c.msf.minute < 90) {
			EXPECT_EQ(MsfToLba(c.msf), c.lba) << c.lba;
			EXPECT_EQ(ProgramMsfToLba(c.msf), c.lba) << c.lba;
		} else if (c.lba < -150) {
			EXPECT_EQ(MsfToLba(c.msf), c.lba) << c.lba;
		} else {
			EXPECT_EQ(ProgramMsfToLba(c.msf), c.lba) << c.lba;
		}
	}
	EXPECT_EQ(MsfToLba(99, 59, 74), -151);
	EXPECT_EQ(ProgramMsfToLba(99, 59, 74), 449849);
	EXPECT_EQ(LbaToFrames(-151), 449999);
	EXPECT_EQ(LbaToFrames(-150), 0);
	EXPECT_EQ(kCdLastMsfLba, 449849);
	// Any address a drive may send is taken without overflow.
	EXPECT_EQ(LbaToFrames(INT32_MAX), int32(uint32(INT32_MAX) + 150u));
	EXPECT_EQ(LbaToFrames(INT32_MIN), INT32_MIN + 450150);
	// A length, not a time: no offset; counting down gives the magnitude.
	EXPECT_EQ(FramesToMsf(-75), (SCdMsf {0, 1, 0}));
}

TEST(CdAddress, BcdDigits)
{
	EXPECT_EQ(ToBcd(0), 0x00);
	EXPECT_EQ(ToBcd(59), 0x59);
	EXPECT_EQ(ToBcd(99), 0x99);
	EXPECT_EQ(FromBcd(0x74), 74);
	EXPECT_EQ(FromBcd(0x0A), -1);
	EXPECT_EQ(FromBcd(0xA0), -1);
	EXPECT_EQ(QValue(0x10, true), 10);
	EXPECT_EQ(QValue(0x10, false), 16);
	EXPECT_EQ(MsfToBcd(LbaToMsf(449849)), (SCdMsf {0x99, 0x59, 0x74}));
	SCdMsf msf {7, 7, 7};
	EXPECT_FALSE(MsfFromBcd(SCdMsf {0x12, 0x3B, 0x00}, &msf));
	EXPECT_EQ(msf, (SCdMsf {7, 7, 7}));
	EXPECT_TRUE(MsfFromBcd(SCdMsf {0x12, 0x34, 0x56}, &msf));
	EXPECT_EQ(msf, (SCdMsf {12, 34, 56}));
}

TEST(ScsiSense, BothFormatsDecodeToTheSameRecord)
{
	// ILLEGAL REQUEST 24h/00h, field pointer: byte 2 of the command block,
	// information 1234h.
	const uint8 fixed[18] = {0xF0, 0, 0x05, 0, 0, 0x12, 0x34, 10, 0, 0, 0, 0, 0x24, 0x00, 0, 0xC0, 0x00, 0x02};
	const uint8 descriptor[] = {0x72, 0x05, 0x24, 0x00, 0, 0, 0, 20,
		0x00, 0x0A, 0x80, 0, 0, 0, 0, 0, 0, 0, 0x12, 0x34,
		0x02, 0x06, 0, 0, 0xC0, 0x00, 0x02, 0};
	for (const std::vector<uint8>& data : {std::vector<uint8>(fixed, fixed + sizeof(fixed)),
			 std::vector<uint8>(descriptor, descriptor + sizeof(descriptor))}) {
		SScsiSense sense = DecodeSense(data.data(), data.size());
		EXPECT_TRUE(sense.valid);
		EXPECT_EQ(sense.descriptorFormat, data[0] == 0x72);
		EXPECT_EQ(sense.code, (SSenseCode {0x5, 0x24, 0x00}));
		EXPECT_TRUE(sense.informationValid);
		EXPECT_EQ(sense.information, 0x1234u);
		EXPECT_TRUE(sense.fieldPointerValid);
		EXPECT_TRUE(sense.fieldInCommand);
		EXPECT_EQ(sense.fieldPointer, 2);
		// And back into fixed format, as the status record keeps it.
		uint8 encoded[kFixedSenseLength];
		EncodeFixedSense(sense, encoded);
		EXPECT_EQ(std::vector<uint8>(encoded, encoded + 18), std::vector<uint8>(fixed, fixed + 18));
	}
	// Deferred errors, progress of a drive becoming ready.
	const uint8 progress[] = {0x73, 0x02, 0x04, 0x01, 0, 0, 0, 8, 0x02, 0x06, 0, 0, 0x80, 0x40, 0x00, 0};
	SScsiSense becoming = DecodeSense(progress, sizeof(progress));
	EXPECT_TRUE(becoming.deferred);
	EXPECT_TRUE(becoming.progressValid);
	EXPECT_EQ(becoming.progress, 0x4000);
}

TEST(ScsiSense, HostileSenseIsReadOnlyAsFarAsItArrived)
{
	// Additional lengths far beyond the bytes; descriptors that overrun.
	const uint8 fixedShort[] = {0x70, 0, 0x03, 0, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0x11};
	SScsiSense a = DecodeSense(fixedShort, sizeof(fixedShort));
	EXPECT_EQ(a.code, (SSenseCode {0x3, 0x11, 0x00}));
	EXPECT_FALSE(a.senseKeySpecificValid);
	// The additional length cuts off bytes that did arrive.
	const uint8 fixedCut[18] = {0x70, 0, 0x03, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0x11, 0x05, 0, 0x80, 0, 1};
	EXPECT_EQ(DecodeSense(fixedCut, sizeof(fixedCut)).code, (SSenseCode {0x3, 0, 0}));
	const uint8 overrun[] = {0x72, 0x05, 0x20, 0x00, 0, 0, 0, 12, 0x00, 0x0A, 0x80, 0, 0xFF, 0xFF, 0xFF, 0xFF};
	SScsiSense b = DecodeSense(overrun, sizeof(overrun));
	EXPECT_EQ(b.code, (SSenseCode {0x5, 0x20, 0x00}));
	EXPECT_FALSE(b.informationValid) << "a descriptor longer than the data is skipped";
	EXPECT_FALSE(DecodeSense(nullptr, 0).valid);
	const uint8 other[18] = {0x7F, 0, 0x05};
	EXPECT_FALSE(DecodeSense(other, sizeof(other)).valid);
	const uint8 one = 0x72;
	EXPECT_TRUE(DecodeSense(&one, 1).valid);
}

TEST(ScsiSense, TheTableDecidesRetryWaitOrFail)
{
	EXPECT_EQ(ActionForSense({0x6, 0x28, 0x00}), sense_action::kRetry);
	EXPECT_EQ(ActionForSense({0x6, 0x29, 0x02}), sense_action::kRetry);
	EXPECT_EQ(ActionForSense(sense::kBecomingReady), sense_action::kWait);
	EXPECT_EQ(ActionForSense(sense::kLongWriteInProgress), sense_action::kWait);
	EXPECT_EQ(ActionForSense(sense::kOperationInProgress), sense_action::kFail);
	EXPECT_EQ(ActionForSense(sense::kMediumNotPresent), sense_action::kFail);
	EXPECT_EQ(ActionForSense({0x6, 0x2A, 0x00}), sense_action::kFail);
	EXPECT_EQ(ActionForSense({0x5, 0x28, 0x00}), sense_action::kFail) << "the key counts";
	// A dialect's own busy conditions, by key and code.
	const SSenseCode vendor[] = {sense::kYamahaWritingLeadIn};
	EXPECT_EQ(ActionForSense({0x9, 0xB8, 0x01}, vendor), sense_action::kWait);
	EXPECT_EQ(ActionForSense({0x9, 0xB8, 0x01}), sense_action::kFail);
}

TEST(ScsiParameters, WriteParametersPageChangesOnlyItsFields)
{
	// A page as a drive sent it: PS bit, link size, vendor bytes in the
	// reserved places and the subheader.
	uint8 page[kWriteParametersPageSize];
	for (size_t i = 0; i < sizeof(page); i++)
		page[i] = uint8(0xA0 + i);
	page[0] = 0x85;
	page[1] = 0x32;
	SWriteParameters parameters;
	ASSERT_TRUE(DecodeWriteParametersPage(page, sizeof(page), &parameters));
	EXPECT_EQ(parameters.writeType, 0xA2 & 0x0F);
	EXPECT_EQ(parameters.audioPauseLength, 0xAEAF);
	EXPECT_TRUE(parameters.catalogueValid);

	parameters.testWrite = true;
	parameters.bufferUnderrunFree = false;
	parameters.writeType = kWriteTypeSessionAtOnce;
	parameters.trackMode = cdb::kControlCopyPermitted;
	parameters.audioPauseLength = 150;
	parameters.catalogueValid = false;
	parameters.isrcValid = true;
	memcpy(parameters.isrc, "USTW10000001", 12);
	std::vector<uint8> before(page, page + sizeof(page));
	ASSERT_TRUE(EncodeWriteParametersPage(parameters, page, sizeof(page)));
	EXPECT_EQ(page[0], kModePageWriteParameters);
	EXPECT_EQ(page[2] & 0x7F, 0x10 | 0x20 | kWriteTypeSessionAtOnce) << "link size valid kept";
	EXPECT_EQ(page[3] & 0x0F, cdb::kControlCopyPermitted);
	EXPECT_EQ(GetBe16(page + 14), 150);
	EXPECT_EQ(page[16], 0);
	EXPECT_EQ(page[32], 0x80);
	EXPECT_EQ(std::string(reinterpret_cast<char*>(page + 33), 12), "USTW10000001");
	for (size_t i : {6, 9, 48, 49, 50, 51})
		EXPECT_EQ(page[i], before[i]) << "byte " << i << " is not the record's";
	SWriteParameters back;
	ASSERT_TRUE(DecodeWriteParametersPage(page, sizeof(page), &back));
	EXPECT_TRUE(back.testWrite);
	EXPECT_STREQ(back.isrc, "USTW10000001");

	// A short page: the fields up to the pause, nothing beyond its bytes.
	uint8 small[18] = {0x05, 0x10};
	small[16] = small[17] = 0xEE;
	ASSERT_TRUE(EncodeWriteParametersPage(parameters, small, 16));
	EXPECT_EQ(small[16], 0xEE);
	EXPECT_FALSE(DecodeWriteParametersPage(small, 15, &back));
	const uint8 otherPage[16] = {0x2A, 0x0E};
	EXPECT_FALSE(DecodeWriteParametersPage(otherPage, sizeof(otherPage), &back));
	EXPECT_FALSE(EncodeWriteParametersPage(parameters, small, 15));
}

TEST(ScsiParameters, CueSheetEntriesInBinaryAndBcd)
{
	SCueSheetEntry entry;
	entry.control = cdb::kControlCopyPermitted;
	entry.track = 12;
	entry.index = 1;
	entry.scms = 0x80;
	entry.lba = 4500 * 10 + 75 * 12 + 34 - 150;   // 10:12:34
	uint8 binary[8];
	EncodeCueSheetEntry(entry, binary);
	EXPECT_EQ(std::vector<uint8>(binary, binary + 8), (std::vector<uint8> {0x21, 12, 1, 0, 0x80, 10, 12, 34}));
	uint8 bcd[8];
	EncodeCueSheetEntry(entry, bcd, true);
	EXPECT_EQ(std::vector<uint8>(bcd, bcd + 8), (std::vector<uint8> {0x21, 0x12, 0x01, 0, 0x80, 0x10, 0x12, 0x34}));
	SCueSheetEntry back;
	ASSERT_TRUE(DecodeCueSheetEntry(bcd, &back, true));
	EXPECT_EQ(back.track, 12);
	EXPECT_EQ(back.lba, entry.lba);
	ASSERT_TRUE(DecodeCueSheetEntry(binary, &back));
	EXPECT_EQ(back.lba, entry.lba);
	EXPECT_EQ(back.scms, 0x80);

	// The lead-out keeps AAh in either coding; lead-in is MSF 00:00:00.
	SCueSheetEntry leadOut;
	leadOut.track = cdb::kLeadOutTrack;
	leadOut.lba = 449849 - 1;
	EncodeCueSheetEntry(leadOut, bcd, true);
	EXPECT_EQ(bcd[1], 0xAA);
	ASSERT_TRUE(DecodeCueSheetEntry(bcd, &back, true));
	EXPECT_EQ(back.lba, 449848) << "a cue sheet time never wraps";
	SCueSheetEntry leadIn;
	leadIn.track = cdb::kLeadInTrack;
	EncodeCueSheetEntry(leadIn, binary);
	EXPECT_EQ(binary[5] | binary[6] | binary[7], 0);

	const uint8 badSecond[8] = {0x01, 1, 1, 0, 0, 0, 60, 0};
	const uint8 badFrame[8] = {0x01, 1, 1, 0, 0, 0, 0, 75};
	const uint8 badBcd[8] = {0x01, 0x1A, 1, 0, 0, 0, 0, 0};
	EXPECT_FALSE(DecodeCueSheetEntry(badSecond, &back));
	EXPECT_FALSE(DecodeCueSheetEntry(badFrame, &back));
	EXPECT_FALSE(DecodeCueSheetEntry(badBcd, &back, true));
	EXPECT_TRUE(DecodeCueSheetEntry(badBcd, &back, false));
}

TEST(ScsiCommands, BuildersUseTheOneAddressRule)
{
	CCommandBlock play = cdb::PlayAudioMsf(-150, 449849);
	EXPECT_EQ(play.Length(), 10);
	EXPECT_EQ(std::vector<uint8>(play.Bytes() + 3, play.Bytes() + 9), (std::vector<uint8> {0, 0, 0, 99, 59, 74}));
	CCommandBlock read = cdb::ReadCd(-1, 0x010203, cdb::kSectorTypeCdDa, cdb::kReadCdUserData, 2);
	EXPECT_EQ(GetBe32(read.Bytes() + 2), 0xFFFFFFFFu);
	EXPECT_EQ(GetBe24(read.Bytes() + 6), 0x010203u);
	EXPECT_EQ(read.Bytes()[1], 0x04);
	EXPECT_EQ(cdb::Inquiry(56).Bytes()[4], 56);
	EXPECT_EQ(cdb::Inquiry(56).Opcode(), cdb::kInquiry);
}
