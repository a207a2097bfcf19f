// The command block decoders read back what the builders wrote, for values
// at the edges of each field (negative LBAs, the largest counts, every bit).
#include "kit/device/ScsiCommandDecoders.h"

#include <gtest/gtest.h>

using namespace cdb;

TEST(ScsiCommandDecoders, ReadBackWhatTheBuildersWrote)
{
	for (int32 lba : {-451, -150, 0, 1, 449849, 0x7FFFFFFF}) {
		SBlockRange read = DecodeRead10(Read10(lba, 0xFFFF).Bytes());
		EXPECT_EQ(read.lba, lba);
		EXPECT_EQ(read.blocks, 0xFFFFu);

		SReadCdFields cd = DecodeReadCd(ReadCd(lba, 0xFFFFFF, kSectorTypeCdDa, 0x12, kSubChannelRawPW).Bytes());
		EXPECT_EQ(cd.lba, lba);
		EXPECT_EQ(cd.blocks, 0xFFFFFFu);
		EXPECT_EQ(cd.sectorType, kSectorTypeCdDa);
		EXPECT_TRUE(cd.UserData());
		EXPECT_EQ(cd.C2Field(), 1);
		EXPECT_EQ(cd.subChannel, kSubChannelRawPW);

		SReadCdDaFields da = DecodeReadCdDa(ReadCdDa("READ CD-DA", lba, 0x01020304, 3).Bytes());
		EXPECT_EQ(da.lba, lba);
		EXPECT_EQ(da.blocks, 0x01020304u);
		EXPECT_EQ(da.subCode, 3);

		SBlockRange limits = DecodeTeacSetLimits(TeacSetLimits(lba, 0xFFFFFFFF).Bytes());
		EXPECT_EQ(limits.lba, lba);
		EXPECT_EQ(limits.blocks, 0xFFFFFFFFu);
	}

	for (bool b : {false, true}) {
		SStartStopUnitFields ssu = DecodeStartStopUnit(StartStopUnit(b, !b, b).Bytes());
		EXPECT_EQ(ssu.loadEject, b);
		EXPECT_EQ(ssu.start, !b);
		EXPECT_EQ(ssu.immediate, b);
		EXPECT_EQ(ssu.powerCondition, 0);
		EXPECT_EQ(DecodePreventAllowMediumRemoval(PreventAllowMediumRemoval(b).Bytes()), b);
		EXPECT_EQ(DecodePauseResume(PauseResume(b).Bytes()), b);
		EXPECT_EQ(DecodeSendOpcInformation(SendOpcInformation(b).Bytes()), b);
		EXPECT_EQ(DecodePhilipsMediumLoadUnload(PhilipsMediumLoadUnload(b).Bytes()), b);

		SReadSubChannelFields sub = DecodeReadSubChannel(ReadSubChannel(b, !b, kSubChannelIsrc, 99, 0xFFFE).Bytes());
		EXPECT_EQ(sub.msf, b);
		EXPECT_EQ(sub.subQ, !b);
		EXPECT_EQ(sub.format, kSubChannelIsrc);
		EXPECT_EQ(sub.track, 99);
		EXPECT_EQ(sub.allocation, 0xFFFE);

		SReadTocFields toc = DecodeReadTocPmaAtip(ReadTocPmaAtip(b, kTocFormatAtip, 0xAA, 0x1234).Bytes());
		EXPECT_EQ(toc.msf, b);
		EXPECT_EQ(toc.format, kTocFormatAtip);
		EXPECT_EQ(toc.trackSession, 0xAA);
		EXPECT_EQ(toc.allocation, 0x1234);

		for (SModeSelectFields select : {DecodeModeSelect6(ModeSelect6(b, !b, 0xFC).Bytes()),
				 DecodeModeSelect10(ModeSelect10(b, !b, 0xFC).Bytes())}) {
			EXPECT_EQ(select.pageFormat, b);
			EXPECT_EQ(select.save, !b);
			EXPECT_EQ(select.length, 0xFC);
		}
		for (SModeSenseFields sense : {DecodeModeSense6(ModeSense6(b, kPageControlSaved, 0x3F, 0xFF).Bytes()),
				 DecodeModeSense10(ModeSense10(b, kPageControlSaved, 0x3F, 0xFF).Bytes())}) {
			EXPECT_EQ(sense.disableBlockDescriptors, b);
			EXPECT_EQ(sense.pageControl, kPageControlSaved);
			EXPECT_EQ(sense.page, 0x3F);
			EXPECT_EQ(sense.subpage, 0);
			EXPECT_EQ(sense.allocation, 0xFF);
		}
	}

	EXPECT_EQ(DecodeRequestSense(RequestSense(252).Bytes()).allocation, 252);
	EXPECT_FALSE(DecodeRequestSense(RequestSense(252).Bytes()).descriptorFormat);
	SInquiryFields inquiry = DecodeInquiry(Inquiry(96).Bytes());
	EXPECT_FALSE(inquiry.vitalProductData);
	EXPECT_EQ(inquiry.allocation, 96) << "byte 4 alone: the 2-byte field of SPC reads the same";
	SMsfRange play = DecodePlayAudioMsf(PlayAudioMsf(-150, 449849).Bytes());
	EXPECT_EQ(MsfToLba(play.start), -150);
	EXPECT_EQ(ProgramMsfToLba(play.end), 449849) << "99:59:74 of the program area";
	EXPECT_EQ(DecodeReadDiscInformation(ReadDiscInformation(34).Bytes()).allocation, 34);
	SReadTrackInformationFields track = DecodeReadTrackInformation(ReadTrackInformation(kTrackAddressTrack, 0xFF, 36).Bytes());
	EXPECT_EQ(track.addressType, kTrackAddressTrack);
	EXPECT_EQ(track.number, 0xFFu);
	EXPECT_EQ(track.allocation, 36);
	SReadBufferCapacityFields capacity = DecodeReadBufferCapacity(ReadBufferCapacity(12).Bytes());
	EXPECT_FALSE(capacity.blocks);
	EXPECT_EQ(capacity.allocation, 12);
	SSetCdSpeedFields speed = DecodeSetCdSpeed(SetCdSpeed(7056, 0xFFFF).Bytes());
	EXPECT_EQ(speed.readSpeed, 7056);
	EXPECT_EQ(speed.writeSpeed, 0xFFFF);
	EXPECT_EQ(speed.rotationControl, 0);
	SPhilipsFirstWritableAddressFields fwa = DecodePhilipsFirstWritableAddress(PhilipsFirstWritableAddress(7, 4, 6).Bytes());
	EXPECT_EQ(fwa.track, 7);
	EXPECT_EQ(fwa.sectorType, 4);
	EXPECT_EQ(fwa.allocation, 6);
	EXPECT_EQ(DecodePhilipsReadSessionInfo(PhilipsReadSessionInfo(4).Bytes()), 4);
	EXPECT_EQ(DecodeParameterListLength10(PhilipsWriteSession(0, 0xABCD).Bytes()), 0xABCD);
	EXPECT_EQ(DecodeParameterListLength10(YamahaWriteToc(0x1230).Bytes()), 0x1230);
	EXPECT_EQ(DecodeParameterListLength10(TeacSetSubcode(4).Bytes()), 4);
}

// Fields the builders never set but drives check are read as sent.
TEST(ScsiCommandDecoders, ReadFieldsTheBuildersLeaveAlone)
{
	const uint8 inquiry[6] = {kInquiry, 0x03, 0x80, 0x01, 0x00, 0};
	SInquiryFields i = DecodeInquiry(inquiry);
	EXPECT_TRUE(i.vitalProductData);
	EXPECT_EQ(i.otherFlags, 0x02);
	EXPECT_EQ(i.page, 0x80);
	EXPECT_EQ(i.allocation, 256);

	const uint8 toc[10] = {kReadTocPmaAtip, 0, 0, 0, 0, 0, 1, 0, 12, 0x80};
	EXPECT_EQ(DecodeReadTocPmaAtip(toc).format, kTocFormatFullToc) << "the older place of the format";

	const uint8 msf[12] = {kReadCdMsf, 0x04, 0, 0, 2, 0, 99, 59, 74, 0xF8, 0x02, 0};
	SReadCdFields cd = DecodeReadCdMsf(msf);
	EXPECT_EQ(cd.sectorType, 1);
	EXPECT_EQ(cd.msf.start, (SCdMsf {0, 2, 0}));
	EXPECT_EQ(cd.msf.end, (SCdMsf {99, 59, 74}));
	EXPECT_EQ(cd.C2Field(), 0);
	EXPECT_EQ(cd.subChannel, kSubChannelFormattedQ);

	const uint8 configuration[10] = {kGetConfiguration, 0x02, 0x00, 0x2D, 0, 0, 0, 0x01, 0x00, 0};
	SGetConfigurationFields g = DecodeGetConfiguration(configuration);
	EXPECT_EQ(g.requestType, 2);
	EXPECT_EQ(g.startingFeature, 0x002D);
	EXPECT_EQ(g.allocation, 256);
	const uint8 events[10] = {kGetEventStatusNotification, 0x01, 0, 0, 0x10, 0, 0, 0, 8, 0};
	SGetEventStatusFields e = DecodeGetEventStatusNotification(events);
	EXPECT_TRUE(e.polled);
	EXPECT_EQ(e.classRequest, 0x10);
	EXPECT_EQ(e.allocation, 8);

	const uint8 play12[12] = {kPlayAudio12, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x01, 0x00, 0x00, 0, 0};
	SPlayAudioFields p = DecodePlayAudio12(play12);
	EXPECT_EQ(p.address, 0xFFFFFFFFu) << "from the current position";
	EXPECT_EQ(p.length, 0x10000u);
	const uint8 trackIndex[10] = {kPlayAudioTrackIndex, 0, 0, 0, 2, 1, 0, 5, 99, 0};
	SPlayTrackIndexFields t = DecodePlayAudioTrackIndex(trackIndex);
	EXPECT_EQ(t.startTrack, 2);
	EXPECT_EQ(t.startIndex, 1);
	EXPECT_EQ(t.endTrack, 5);
	EXPECT_EQ(t.endIndex, 99);
}
