// What a virtual drive answers where real drives differ from a naive model:
// transfers longer than the buffer, the Q sub-channel's catalogue and ISRC
// frames and its hex form, GET CONFIGURATION profiles and features, and the
// media events of GET EVENT STATUS NOTIFICATION.
#include "EmulatorTestUtil.h"

#include "kit/device/CdText.h"

#include <map>
#include <set>

using namespace emutest;

namespace {

std::shared_ptr<CMmcDrive> DiscDrive(const CTempFolder& folder, CDriveConfig config = TestConfig())
{
	STestDisc disc = MakeTestDisc(folder);
	std::shared_ptr<CDiscImage> image;
	std::string error;
	EXPECT_EQ(CDiscImage::LoadCue(disc.cuePath, &image, &error), B_OK) << error;
	return std::make_shared<CMmcDrive>(config, image);
}

std::shared_ptr<CMmcDrive> Drive(CDriveConfig config, std::shared_ptr<CDiscImage> medium)
{
	return std::make_shared<CMmcDrive>(config, std::move(medium));
}

// The 16-byte formatted Q of every sector of [first, first + count).
std::vector<uint8> FormattedQ(CMmcDrive& drive, int32 first, uint32 count)
{
	std::vector<uint8> q(size_t(count) * 16);
	SOutcome o = ReadCd(drive, first, count, q.data(), q.size(), 2, 0x00);
	EXPECT_TRUE(o.Good()) << o.SenseText();
	EXPECT_EQ(o.residual, 0u);
	return q;
}

// The catalogue number of an ADR 2 frame: 13 BCD digits from byte 1 on.
std::string DecodeCatalog(const uint8* q)
{
	std::string digits;
	for (int i = 0; i < 13; i++) {
		uint8 nibble = (q[1 + i / 2] >> (i % 2 == 0 ? 4 : 0)) & 0x0F;
		digits.push_back(nibble <= 9 ? char('0' + nibble) : '?');
	}
	return digits;
}

// The ISRC of an ADR 3 frame: five 6-bit characters, two zero bits, seven
// BCD digits.
std::string DecodeIsrc(const uint8* q)
{
	uint64 bits = 0;
	for (int i = 1; i <= 8; i++)
		bits = bits << 8 | q[i];
	std::string isrc;
	for (int i = 0; i < 5; i++) {
		int code = int(bits >> (58 - 6 * i)) & 0x3F;
		isrc.push_back(code <= 9 ? char('0' + code) : code >= 17 && code <= 42 ? char('A' + code - 17) : '?');
	}
	for (int i = 0; i < 7; i++)
		isrc.push_back(char('0' + (int(bits >> (28 - 4 * i)) & 0x0F)));
	return isrc;
}

struct SFeature {
	bool persistent = false;
	bool current = false;
	std::vector<uint8> data;   // after the 4-byte header
};

// GET CONFIGURATION; *profile receives the current profile, the features
// are keyed by code.
SOutcome GetConfiguration(CMmcDrive& drive, uint8 requestType, uint16 start, uint16* profile,
	std::map<uint16, SFeature>* features, uint16 allocation = 1024, uint32* dataLength = nullptr)
{
	std::vector<uint8> answer(allocation);
	SOutcome o = Send(drive, {0x46, requestType, Hi(start), Lo(start), 0, 0, 0, Hi(allocation), Lo(allocation), 0},
		answer.data(), answer.size());
	features->clear();
	size_t received = answer.size() - o.residual;
	if (!o.Good() || received < 8)
		return o;
	*profile = Be16(&answer[6]);
	if (dataLength != nullptr)
		*dataLength = Be32(&answer[0]);
	for (size_t at = 8; at + 4 <= received; at += 4 + answer[at + 3]) {
		SFeature f;
		f.persistent = (answer[at + 2] & 0x02) != 0;
		f.current = (answer[at + 2] & 0x01) != 0;
		size_t end = std::min(received, at + 4 + answer[at + 3]);
		f.data.assign(answer.begin() + ptrdiff_t(at + 4), answer.begin() + ptrdiff_t(end));
		(*features)[Be16(&answer[at])] = f;
	}
	return o;
}

struct SMediaEvent {
	uint8 eventClass = 0xFF;
	bool noEventAvailable = false;
	uint8 code = 0xFF;
	uint8 status = 0xFF;
};

SMediaEvent PollMedia(CMmcDrive& drive, uint8 classes = 0x10)
{
	uint8 answer[8] = {};
	SOutcome o = Send(drive, {0x4A, 0x01, 0, 0, classes, 0, 0, 0, 8, 0}, answer, sizeof(answer));
	EXPECT_TRUE(o.Good()) << o.SenseText();
	EXPECT_EQ(answer[3], 0x10) << "media class supported";
	SMediaEvent e;
	e.eventClass = answer[2] & 0x07;
	e.noEventAvailable = (answer[2] & 0x80) != 0;
	if (!e.noEventAvailable) {
		EXPECT_EQ(Be16(answer), 6);
		e.code = answer[4] & 0x0F;
		e.status = answer[5];
	}
	return e;
}

}   // namespace

// An initiator that asks for more than its buffer takes (forgetting the C2
// or sub-channel bytes) gets its buffer filled and the overrun reported; a
// buffer of the right size gets a clean completion.
TEST(DriveTransfers, ReadCdLongerThanTheBufferIsAnOverrun)
{
	CTempFolder folder;
	auto drive = DiscDrive(folder);
	const size_t sector = kCdAudioSectorSize;
	struct {
		uint8 sub;
		uint8 fields;
		size_t perSector;
	} layouts[] = {{0, 0x10, sector}, {1, 0x10, sector + 96}, {2, 0x10, sector + 16}, {0, 0x12, sector + 294},
		{2, 0x00, 16}};
	for (const auto& layout : layouts) {
		SCOPED_TRACE(testing::Message() << "sub " << int(layout.sub) << " fields " << int(layout.fields));
		std::vector<uint8> whole(3 * layout.perSector);
		SOutcome o = ReadCd(*drive, 500, 3, whole.data(), whole.size(), layout.sub, layout.fields);
		ASSERT_TRUE(o.Good());
		EXPECT_EQ(o.camStatus, CAM_REQ_CMP) << "exactly the buffer";
		EXPECT_EQ(o.residual, 0u);

		// The buffer of audio only: full, the overrun reported.
		std::vector<uint8> part(3 * sector - 5, 0xEE);
		o = ReadCd(*drive, 500, 3, part.data(), part.size(), layout.sub, layout.fields);
		EXPECT_EQ(o.scsiStatus, SCSI_STATUS_GOOD);
		if (layout.perSector * 3 > part.size()) {
			EXPECT_EQ(o.camStatus, CAM_DATA_RUN_ERR);
			EXPECT_EQ(o.residual, 0u);
			EXPECT_EQ(std::memcmp(part.data(), whole.data(), part.size()), 0) << "the stream, cut at the end";
		} else {
			EXPECT_EQ(o.camStatus, CAM_DATA_RUN_ERR) << "a short transfer";
			EXPECT_EQ(o.residual, part.size() - whole.size());
		}
	}
	// READ CD-DA with sub-code, READ CD MSF and a reader's READ(10) alike.
	std::vector<uint8> plain(2 * sector);
	SOutcome o = ReadCdDa(*drive, 10, 2, plain.data(), plain.size(), 2);
	EXPECT_EQ(o.camStatus, CAM_DATA_RUN_ERR);
	EXPECT_EQ(o.residual, 0u);
	SCdMsf s = LbaToMsf(10), e = LbaToMsf(13);
	o = Send(*drive, {0xB9, 0x04, 0, s.minute, s.second, s.frame, e.minute, e.second, e.frame, 0x10, 0, 0},
		plain.data(), plain.size());
	EXPECT_EQ(o.camStatus, CAM_DATA_RUN_ERR) << "three sectors into two";
	EXPECT_EQ(o.residual, 0u);
	// A medium error inside the part that fits wins over the overrun.
	drive->AddMediumError(11, 1);
	o = ReadCd(*drive, 10, 3, plain.data(), plain.size());
	EXPECT_EQ(o.SenseText(), "3/11/00");
	EXPECT_EQ(o.residual, sector) << "the sector before the error arrived";
}

// One sector in each hundred carries the catalogue number (ADR 2), or the
// ISRC of a track that has one (ADR 3), with a valid CRC; raw P-W carries
// the same frames; every other sector its position.
TEST(DriveSubChannel, CatalogueAndIsrcFramesReadBackAsTheImageHasThem)
{
	CTempFolder folder;
	auto drive = DiscDrive(folder);
	std::vector<uint8> q = FormattedQ(*drive, 0, kLeadOut);
	int32 lastCatalog = -1;
	int catalogs = 0, isrcs = 0;
	for (int32 lba = 0; lba < kLeadOut; lba++) {
		const uint8* f = &q[size_t(lba) * 16];
		EXPECT_EQ(GetBe16(f + 10), CCdText::Crc16(f, 10)) << "CRC at " << lba;
		uint8 adr = f[0] & 0x0F;
		uint8 control = f[0] >> 4;
		EXPECT_EQ(control, lba >= kTrack2Pregap && lba < kTrack3Pregap ? 0x02 : 0x00) << "DCP of track 2 at " << lba;
		if (adr == 2) {
			EXPECT_EQ(DecodeCatalog(f), "0123456789012") << lba;
			EXPECT_EQ(f[9], ToBcd(LbaToMsf(lba).frame)) << "absolute frame";
			EXPECT_LE(lba - lastCatalog, 100) << "one in a hundred at least";
			lastCatalog = lba;
			catalogs++;
		} else if (adr == 3) {
			EXPECT_LT(lba, kTrack2Pregap) << "only track 1 has an ISRC";
			EXPECT_EQ(DecodeIsrc(f), "USTW10000001") << lba;
			isrcs++;
		} else {
			EXPECT_EQ(adr, 1) << lba;
		}
		if (lba > 0 && adr != 1) {
			EXPECT_EQ(q[size_t(lba - 1) * 16] & 0x0F, 1) << "no two special frames in a row at " << lba;
		}
	}
	EXPECT_GE(kLeadOut - lastCatalog, 1);
	EXPECT_LE(kLeadOut - lastCatalog, 100);
	EXPECT_GE(catalogs, kLeadOut / 100);
	EXPECT_GE(isrcs, kTrack2Pregap / 100);

	// Raw P-W: bit 6 of the 96 bytes spells the same Q frames.
	std::vector<uint8> raw(200 * 96);
	ASSERT_TRUE(ReadCd(*drive, 0, 200, raw.data(), raw.size(), 1, 0x00).Good());
	for (int32 lba = 0; lba < 200; lba++) {
		uint8 frame[12] = {};
		for (int j = 0; j < 96; j++)
			frame[j / 8] |= uint8(((raw[size_t(lba) * 96 + j] >> 6) & 1) << (7 - j % 8));
		EXPECT_EQ(std::memcmp(frame, &q[size_t(lba) * 16], 12), 0) << "raw Q at " << lba;
	}

	// A disc without catalogue number or ISRC carries positions only.
	CTempFolder plainFolder;
	WriteBytes(plainFolder.File("a.bin"), PatternAudio(300, 3));
	WriteText(plainFolder.File("a.cue"), "FILE \"a.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
	std::shared_ptr<CDiscImage> image;
	ASSERT_EQ(CDiscImage::LoadCue(plainFolder.File("a.cue"), &image, nullptr), B_OK);
	auto plain = Drive(TestConfig(), image);
	std::vector<uint8> plainQ = FormattedQ(*plain, 0, 300);
	for (int32 lba = 0; lba < 300; lba++)
		EXPECT_EQ(plainQ[size_t(lba) * 16] & 0x0F, 1) << lba;
}

// A hex-Q drive gives the numbers of the formatted Q in binary; the frames
// are otherwise those of a BCD drive, and raw P-W stays as recorded.
TEST(DriveSubChannel, HexQDrivesGiveTheSameFramesInBinary)
{
	CTempFolder folder;
	auto bcd = DiscDrive(folder);
	CDriveConfig config = TestConfig();
	config.hexQ = true;
	CTempFolder hexFolder;
	auto hex = DiscDrive(hexFolder, config);
	std::vector<uint8> b = FormattedQ(*bcd, 0, kLeadOut);
	std::vector<uint8> h = FormattedQ(*hex, 0, kLeadOut);
	auto fromBcd = [](uint8 v) { return uint8((v >> 4) * 10 + (v & 0x0F)); };
	for (int32 lba = 0; lba < kLeadOut; lba++) {
		const uint8* fb = &b[size_t(lba) * 16];
		const uint8* fh = &h[size_t(lba) * 16];
		ASSERT_EQ(fb[0], fh[0]) << lba;
		if ((fb[0] & 0x0F) == 1) {
			for (int i : {1, 2, 3, 4, 5, 7, 8, 9})
				EXPECT_EQ(fh[i], fromBcd(fb[i])) << "byte " << i << " at " << lba;
			SCdMsf abs = LbaToMsf(lba);
			EXPECT_EQ(fh[7] * 4500 + fh[8] * 75 + fh[9], abs.minute * 4500 + abs.second * 75 + abs.frame);
		} else {
			EXPECT_EQ(std::memcmp(fb + 1, fh + 1, 8), 0) << "catalogue and ISRC codes are not numbers";
			EXPECT_EQ(fh[9], fromBcd(fb[9]));
		}
	}
	std::vector<uint8> rawB(10 * 96), rawH(10 * 96);
	ASSERT_TRUE(ReadCd(*bcd, 700, 10, rawB.data(), rawB.size(), 1, 0x00).Good());
	ASSERT_TRUE(ReadCd(*hex, 700, 10, rawH.data(), rawH.size(), 1, 0x00).Good());
	EXPECT_EQ(rawB, rawH);
}

// GET CONFIGURATION names the profile of the medium in the tray and the
// features that apply to it now.
TEST(DriveConfiguration, ProfileAndFeaturesFollowTheMedium)
{
	CTempFolder folder;
	STestDisc disc = MakeTestDisc(folder);
	std::shared_ptr<CDiscImage> audio;
	ASSERT_EQ(CDiscImage::LoadCue(disc.cuePath, &audio, nullptr), B_OK);
	CDriveConfig recorder = TestConfig();
	recorder.capabilities.bufferUnderrunFree = true;
	CDriveConfig reader = TestConfig();
	reader.capabilities.writeCdR = reader.capabilities.writeCdRw = false;
	reader.capabilities.testWrite = false;
	reader.capabilities.writeSpeeds.clear();

	struct {
		const char* name;
		const CDriveConfig& config;
		std::shared_ptr<CDiscImage> medium;
		uint16 profile;
		bool writable;
	} cases[] = {
		{"recorder, CD-R", recorder, CDiscImage::CreateBlank(CDiscImage::kBlankCdR, 80), 0x0009, true},
		{"recorder, CD-RW", recorder, CDiscImage::CreateBlank(CDiscImage::kBlankCdRw, 74), 0x000A, true},
		{"recorder, audio disc", recorder, audio, 0x0008, false},
		{"recorder, empty", recorder, nullptr, 0x0000, false},
		{"reader, CD-R", reader, CDiscImage::CreateBlank(CDiscImage::kBlankCdR, 80), 0x0008, false},
		{"reader, audio disc", reader, audio, 0x0008, false},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.name);
		auto drive = Drive(c.config, c.medium);
		uint16 profile = 0xFFFF;
		std::map<uint16, SFeature> features;
		uint32 dataLength = 0;
		ASSERT_TRUE(GetConfiguration(*drive, 0, 0, &profile, &features, 1024, &dataLength).Good());
		EXPECT_EQ(profile, c.profile);
		bool isRecorder = &c.config == &recorder;

		// The profile list: the drive's profiles, the current one marked.
		ASSERT_TRUE(features.count(0x0000));
		const SFeature& list = features[0x0000];
		EXPECT_TRUE(list.persistent && list.current);
		std::set<uint16> listed;
		for (size_t i = 0; i + 4 <= list.data.size(); i += 4) {
			uint16 number = Be16(&list.data[i]);
			listed.insert(number);
			EXPECT_EQ((list.data[i + 2] & 0x01) != 0, number == c.profile) << "CurrentP of " << number;
		}
		std::set<uint16> profiles = {0x0008};
		if (isRecorder)
			profiles = {0x0008, 0x0009, 0x000A};
		EXPECT_EQ(listed, profiles);
		EXPECT_TRUE(features.count(0x0001) && features[0x0001].current) << "core";
		EXPECT_EQ(features.count(0x001E) && features[0x001E].current, c.medium != nullptr) << "CD read";

		// Track-at-once and session-at-once: on recorders, current on a
		// blank disc, with test write and BUF as the drive has them.
		EXPECT_EQ(features.count(0x002D) != 0, isRecorder);
		EXPECT_EQ(features.count(0x002E) != 0, isRecorder);
		if (isRecorder) {
			const SFeature& tao = features[0x002D];
			const SFeature& sao = features[0x002E];
			EXPECT_EQ(tao.current, c.writable);
			EXPECT_EQ(sao.current, c.writable);
			ASSERT_EQ(tao.data.size(), 4u);
			ASSERT_EQ(sao.data.size(), 4u);
			EXPECT_EQ(tao.data[0] & 0x44, 0x44) << "BUF and test write";
			EXPECT_EQ(Be16(&tao.data[2]) & 0x0001, 0x0001) << "raw audio blocks";
			EXPECT_EQ(sao.data[0] & 0x64, 0x64) << "BUF, SAO and test write";
			EXPECT_GT(uint32(sao.data[1]) << 16 | Be16(&sao.data[2]), 0u) << "maximum cue sheet length";
		}
		uint16 previous = 0;
		bool first = true;
		for (const auto& [code, feature] : features) {
			EXPECT_TRUE(first || code > previous);
			previous = code;
			first = false;
		}

		// RT 1: only what is current; RT 2: the one feature asked for.
		std::map<uint16, SFeature> current;
		ASSERT_TRUE(GetConfiguration(*drive, 1, 0, &profile, &current).Good());
		for (const auto& [code, feature] : features)
			EXPECT_EQ(current.count(code) != 0, feature.current) << "feature " << code;
		std::map<uint16, SFeature> one;
		ASSERT_TRUE(GetConfiguration(*drive, 2, 0x002E, &profile, &one).Good());
		EXPECT_EQ(one.size(), isRecorder ? 1u : 0u);
		EXPECT_EQ(profile, c.profile);
		// RT 0 from a starting feature: nothing below it.
		std::map<uint16, SFeature> from;
		ASSERT_TRUE(GetConfiguration(*drive, 0, 0x001F, &profile, &from).Good());
		EXPECT_EQ(from.count(0x001E), 0u);
		EXPECT_EQ(from.count(0x002D), features.count(0x002D));

		// A short allocation gets the header, which still counts it all.
		uint32 shortLength = 0;
		SOutcome o = GetConfiguration(*drive, 0, 0, &profile, &one, 8, &shortLength);
		ASSERT_TRUE(o.Good());
		EXPECT_EQ(o.residual, 0u);
		EXPECT_EQ(shortLength, dataLength);
		EXPECT_EQ(profile, c.profile);
	}

	auto drive = Drive(recorder, nullptr);
	uint8 answer[8];
	EXPECT_EQ(Send(*drive, {0x46, 0x03, 0, 0, 0, 0, 0, 0, 8, 0}, answer, 8).SenseText(), "5/24/00") << "RT 3";
	// A medium change is reported to other commands, not to this one.
	drive->InsertMedium(CDiscImage::CreateBlank(CDiscImage::kBlankCdRw, 74));
	uint16 profile = 0;
	std::map<uint16, SFeature> features;
	ASSERT_TRUE(GetConfiguration(*drive, 0, 0, &profile, &features).Good());
	EXPECT_EQ(profile, 0x000A);
	EXPECT_EQ(TestUnitReady(*drive).SenseText(), "6/28/00");
}

// GET EVENT STATUS NOTIFICATION (polled) reports each media event once, in
// order, with the tray and medium as they are.
TEST(DriveEvents, MediaEventsAreReportedOnceInOrder)
{
	auto drive = Drive(TestConfig(), CDiscImage::CreateBlank(CDiscImage::kBlankCdR, 80));
	uint8 answer[8];
	EXPECT_EQ(Send(*drive, {0x4A, 0x00, 0, 0, 0x10, 0, 0, 0, 8, 0}, answer, 8).SenseText(), "5/24/00")
		<< "asynchronous notification is not offered";
	SMediaEvent e = PollMedia(*drive, 0x02);
	EXPECT_TRUE(e.noEventAvailable) << "no class asked for that the drive has";

	e = PollMedia(*drive);
	EXPECT_EQ(e.eventClass, 4);
	EXPECT_EQ(e.code, 0) << "the first medium is no event";
	EXPECT_EQ(e.status, 0x02) << "medium present, tray closed";

	// The user opens the tray and puts a new disc in.
	ASSERT_EQ(drive->EjectMedium(), B_OK);
	drive->InsertMedium(CDiscImage::CreateBlank(CDiscImage::kBlankCdRw, 74));
	e = PollMedia(*drive);
	EXPECT_EQ(e.code, 3) << "media removal";
	e = PollMedia(*drive);
	EXPECT_EQ(e.code, 2) << "new media";
	EXPECT_EQ(e.status, 0x02);
	EXPECT_EQ(PollMedia(*drive).code, 0);
	EXPECT_EQ(TestUnitReady(*drive).SenseText(), "6/28/00") << "polling leaves the unit attention";

	// Locked: the button asks, the host decides.
	ASSERT_TRUE(Send(*drive, {0x1E, 0, 0, 0, 1, 0}).Good());
	EXPECT_EQ(drive->EjectMedium(), B_NOT_ALLOWED);
	EXPECT_EQ(PollMedia(*drive).code, 1) << "eject request";
	ASSERT_TRUE(Send(*drive, {0x1E, 0, 0, 0, 0, 0}).Good());
	ASSERT_TRUE(Send(*drive, {0x1B, 0, 0, 0, 0x02, 0}).Good()) << "eject";
	e = PollMedia(*drive);
	EXPECT_EQ(e.code, 3);
	EXPECT_EQ(e.status, 0x01) << "tray open";
	ASSERT_TRUE(Send(*drive, {0x1B, 0, 0, 0, 0x03, 0}).Good()) << "load";
	EXPECT_EQ(PollMedia(*drive).code, 2);

	// An answer too short for the event leaves it waiting.
	ASSERT_EQ(drive->EjectMedium(), B_OK);
	uint8 header[4];
	ASSERT_TRUE(Send(*drive, {0x4A, 0x01, 0, 0, 0x10, 0, 0, 0, 4, 0}, header, 4).Good());
	EXPECT_EQ(PollMedia(*drive).code, 3);
}
