// A virtual drive holding an audio disc made from a CUE/BIN image at test
// time: its TOC, full TOC, CD-Text, audio data and sub-channel positions
// must agree with each other and with the image.
#include "EmulatorTestUtil.h"

#include "kit/device/CdText.h"
#include "kit/device/VirtualDevice.h"

#include <fcntl.h>

#include <map>
#include <tuple>

using namespace emutest;

namespace {

class AudioDisc : public ::testing::Test {
protected:
	void SetUp() override
	{
		fDisc = MakeTestDisc(fFolder);
		std::string error;
		ASSERT_EQ(CDiscImage::LoadCue(fDisc.cuePath, &fImage, &error), B_OK) << error;
		fClock = std::make_shared<CManualDriveClock>();
		fDrive = std::make_shared<CMmcDrive>(TestConfig(), fImage, fClock);
	}

	CTempFolder fFolder;
	STestDisc fDisc;
	std::shared_ptr<CDiscImage> fImage;
	std::shared_ptr<CManualDriveClock> fClock;
	std::shared_ptr<CMmcDrive> fDrive;
};

struct STocEntry {
	uint8 control;
	uint8 track;
	int32 lba;
};

std::vector<STocEntry> TocEntries(const std::vector<uint8>& toc, bool msf)
{
	std::vector<STocEntry> entries;
	for (size_t i = 4; i + 8 <= toc.size(); i += 8) {
		const uint8* d = &toc[i];
		EXPECT_EQ(d[1] >> 4, 1) << "ADR of entry " << (i - 4) / 8;
		int32 lba = msf ? MsfToLba(d[5], d[6], d[7]) : int32(Be32(d + 4));
		entries.push_back({uint8(d[1] & 0x0F), d[2], lba});
	}
	return entries;
}

}   // namespace

TEST_F(AudioDisc, TocFullTocTrackAndDiscInformationAgree)
{
	std::vector<uint8> toc, tocMsf, full;
	ASSERT_TRUE(ReadToc(*fDrive, 0, false, 0, &toc).Good());
	ASSERT_TRUE(ReadToc(*fDrive, 0, true, 0, &tocMsf).Good());
	ASSERT_TRUE(ReadToc(*fDrive, 2, true, 1, &full).Good());

	ASSERT_EQ(toc.size(), 4u + 4 * 8);
	EXPECT_EQ(Be16(&toc[0]), toc.size() - 2);
	EXPECT_EQ(toc[2], 1);
	EXPECT_EQ(toc[3], 3);
	std::vector<STocEntry> entries = TocEntries(toc, false);
	std::vector<STocEntry> expected = {
		{0x0, 1, 0}, {0x2, 2, kTrack2Start}, {0x0, 3, kTrack3Start}, {0x0, 0xAA, kLeadOut}};
	ASSERT_EQ(entries.size(), expected.size());
	std::vector<STocEntry> msfEntries = TocEntries(tocMsf, true);
	for (size_t i = 0; i < expected.size(); i++) {
		EXPECT_EQ(entries[i].track, expected[i].track);
		EXPECT_EQ(entries[i].control, expected[i].control) << "track " << int(expected[i].track);
		EXPECT_EQ(entries[i].lba, expected[i].lba) << "track " << int(expected[i].track);
		EXPECT_EQ(msfEntries[i].lba, expected[i].lba) << "MSF of track " << int(expected[i].track);
	}

	// A starting track limits the answer; only the lead-out for AAh.
	std::vector<uint8> fromTrack2, leadOutOnly;
	ASSERT_TRUE(ReadToc(*fDrive, 0, false, 2, &fromTrack2).Good());
	EXPECT_EQ(TocEntries(fromTrack2, false).size(), 3u);
	ASSERT_TRUE(ReadToc(*fDrive, 0, false, 0xAA, &leadOutOnly).Good());
	ASSERT_EQ(TocEntries(leadOutOnly, false).size(), 1u);
	EXPECT_EQ(TocEntries(leadOutOnly, false)[0].lba, kLeadOut);

	// Full TOC: A0 first track, A1 last track, A2 lead-out, then the tracks
	// at the TOC's addresses.
	ASSERT_EQ((full.size() - 4) % 11, 0u);
	EXPECT_EQ(Be16(&full[0]), full.size() - 2);
	std::map<uint8, const uint8*> points;
	for (size_t i = 4; i + 11 <= full.size(); i += 11) {
		EXPECT_EQ(full[i], 1) << "session";
		EXPECT_EQ(full[i + 1] >> 4, 1) << "ADR";
		points[full[i + 3]] = &full[i];
	}
	ASSERT_EQ(points.size(), 6u);
	EXPECT_EQ(points[0xA0][8], 1);
	EXPECT_EQ(points[0xA0][9], 0x00) << "disc type CD-DA";
	EXPECT_EQ(points[0xA1][8], 3);
	EXPECT_EQ(MsfToLba(points[0xA2][8], points[0xA2][9], points[0xA2][10]), kLeadOut);
	for (const STocEntry& e : expected) {
		if (e.track == 0xAA)
			continue;
		const uint8* p = points[e.track];
		ASSERT_NE(p, nullptr);
		EXPECT_EQ(MsfToLba(p[8], p[9], p[10]), e.lba);
		EXPECT_EQ(p[1] & 0x0F, e.control);
	}

	// Session information names track 1 at LBA 0.
	std::vector<uint8> session;
	ASSERT_TRUE(ReadToc(*fDrive, 1, false, 0, &session).Good());
	ASSERT_EQ(session.size(), 12u);
	EXPECT_EQ(session[6], 1);
	EXPECT_EQ(Be32(&session[8]), 0u);

	// Track information: each track holds its pause, so the tracks cover
	// the program area without gap or overlap; type 0 finds a pause's
	// sector in the track it belongs to.
	int32 covered = 0;
	for (const auto& [number, start, end] :
		{std::tuple {1, 0, kTrack2Pregap}, {2, kTrack2Pregap, kTrack3Pregap}, {3, kTrack3Pregap, kLeadOut}}) {
		uint8 info[36] = {};
		SOutcome o = Send(*fDrive, {0x52, 0x01, 0, 0, 0, uint8(number), 0, 0, 36, 0}, info, sizeof(info));
		ASSERT_TRUE(o.Good()) << o.SenseText();
		EXPECT_EQ(info[2], number);
		EXPECT_EQ(int32(Be32(info + 8)), start);
		EXPECT_EQ(int32(Be32(info + 8)), covered) << "track " << number << " starts where the one before ends";
		EXPECT_EQ(int32(Be32(info + 24)), end - start);
		EXPECT_EQ(int32(Be32(info + 28)), end - 1) << "last recorded address";
		EXPECT_EQ(info[6] & 0x40, 0) << "not blank";
		covered = int32(Be32(info + 8) + Be32(info + 24));
		uint32 pause = uint32(start);
		ASSERT_TRUE(Send(*fDrive, {0x52, 0x00, B3(pause), B2(pause), Hi(pause), Lo(pause), 0, 0, 36, 0}, info,
			sizeof(info)).Good());
		EXPECT_EQ(info[2], number) << "LBA " << start;
	}
	EXPECT_EQ(covered, kLeadOut);

	uint8 disc[34] = {};
	ASSERT_TRUE(Send(*fDrive, {0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, disc, sizeof(disc)).Good());
	EXPECT_EQ(disc[2] & 0x03, 2) << "complete disc";
	EXPECT_EQ((disc[2] >> 2) & 0x03, 3) << "complete session";
	EXPECT_EQ(disc[3], 1);
	EXPECT_EQ(disc[6], 3);

	// Sub-channel MCN and ISRC.
	std::vector<uint8> mcn, isrc1, isrc2;
	ASSERT_TRUE(ReadSubChannel(*fDrive, 2, false, 0, &mcn).Good());
	EXPECT_EQ(mcn[8] & 0x80, 0x80);
	EXPECT_EQ(std::string(reinterpret_cast<char*>(&mcn[9]), 13), "0123456789012");
	ASSERT_TRUE(ReadSubChannel(*fDrive, 3, false, 1, &isrc1).Good());
	EXPECT_EQ(isrc1[8] & 0x80, 0x80);
	EXPECT_EQ(std::string(reinterpret_cast<char*>(&isrc1[9]), 12), "USTW10000001");
	ASSERT_TRUE(ReadSubChannel(*fDrive, 3, false, 2, &isrc2).Good());
	EXPECT_EQ(isrc2[8] & 0x80, 0) << "track 2 has no ISRC";
}

TEST_F(AudioDisc, CdTextPacksCarryTheSheetsTextsWithValidCrcs)
{
	std::vector<uint8> answer;
	ASSERT_TRUE(ReadToc(*fDrive, 5, false, 0, &answer).Good());
	ASSERT_GE(answer.size(), 4u + 18);
	ASSERT_EQ(Be16(&answer[0]), answer.size() - 2);
	ASSERT_EQ((answer.size() - 4) % 18, 0u);

	std::map<uint8, std::map<int, std::string>> texts;
	std::map<uint8, int> counts;
	int expectedSequence = 0;
	const uint8* sizeInfo[3] = {};
	for (size_t i = 4; i < answer.size(); i += 18) {
		const uint8* pack = &answer[i];
		uint16 crc = CCdText::Crc16(pack, 16);
		EXPECT_EQ(pack[16], uint8(crc >> 8)) << "CRC of pack " << expectedSequence;
		EXPECT_EQ(pack[17], uint8(crc)) << "CRC of pack " << expectedSequence;
		EXPECT_EQ(pack[2], expectedSequence++);
		EXPECT_EQ(pack[3] & 0xF0, 0) << "block 0, single-byte characters";
		counts[pack[0]]++;
		if (pack[0] == 0x8F) {
			sizeInfo[pack[1]] = pack + 4;
			continue;
		}
		int track = pack[1];
		for (int k = 0; k < 12; k++) {
			if (pack[4 + k] == 0)
				track++;
			else
				texts[pack[0]][track] += char(pack[4 + k]);
		}
	}
	EXPECT_EQ(texts[0x80][0], "Test Album");
	EXPECT_EQ(texts[0x80][1], "First Song");
	EXPECT_EQ(texts[0x80][2], "Second Song");
	EXPECT_EQ(texts[0x80][3], "Third");
	EXPECT_EQ(texts[0x81][0], "Test Artist");
	EXPECT_EQ(texts[0x81][1], "Singer One");
	EXPECT_EQ(texts[0x81][3], "Singer Three");
	EXPECT_EQ(counts.count(0x82), 0u) << "no songwriter pack without songwriters";

	// Size information: first and last track, pack counts, last sequence.
	ASSERT_TRUE(sizeInfo[0] != nullptr && sizeInfo[1] != nullptr && sizeInfo[2] != nullptr);
	uint8 info[36];
	for (int k = 0; k < 3; k++)
		std::memcpy(info + 12 * k, sizeInfo[k], 12);
	EXPECT_EQ(info[1], 1);
	EXPECT_EQ(info[2], 3);
	EXPECT_EQ(info[4 + 0], counts[0x80]);
	EXPECT_EQ(info[4 + 1], counts[0x81]);
	EXPECT_EQ(info[4 + 15], 3);
	EXPECT_EQ(info[20], expectedSequence - 1);
	EXPECT_EQ(info[28], 0x09);
}

TEST_F(AudioDisc, ReadCdReadCdDaAndReadAudioAreBitIdenticalToTheImage)
{
	const size_t sector = kCdAudioSectorSize;
	std::vector<uint8> all(kLeadOut * sector);
	// Odd-sized chunks cross the pregaps and index points.
	for (int32 lba = 0; lba < kLeadOut; lba += 37) {
		uint32 n = uint32(std::min(37, kLeadOut - lba));
		SOutcome o = ReadCd(*fDrive, lba, n, &all[size_t(lba) * sector], n * sector);
		ASSERT_TRUE(o.Good()) << "READ CD at " << lba << ": " << o.SenseText();
		EXPECT_EQ(o.camStatus, CAM_REQ_CMP);
		EXPECT_EQ(o.residual, 0u);
	}
	EXPECT_TRUE(all == fDisc.audio) << "READ CD differs from the image";

	std::vector<uint8> viaD8(kLeadOut * sector);
	for (int32 lba = 0; lba < kLeadOut; lba += 200) {
		uint32 n = uint32(std::min(200, kLeadOut - lba));
		ASSERT_TRUE(ReadCdDa(*fDrive, lba, n, &viaD8[size_t(lba) * sector], n * sector).Good());
	}
	EXPECT_TRUE(viaD8 == fDisc.audio) << "READ CD-DA differs from the image";

	std::vector<uint8> viaOs(100 * sector);
	ASSERT_EQ(fDrive->ReadAudio(kTrack2Pregap, 100, viaOs.data()), B_OK);
	EXPECT_EQ(std::memcmp(viaOs.data(), &fDisc.audio[kTrack2Pregap * sector], viaOs.size()), 0);

	// With the Q sub-channel: data and position of each sector together.
	const size_t withQ = sector + 16;
	std::vector<uint8> q(4 * withQ);
	for (int32 lba : {0, kTrack2Pregap + 5, kTrack2Start, kTrack2Index2 + 1, kLeadOut - 4}) {
		ASSERT_TRUE(ReadCd(*fDrive, lba, 4, q.data(), q.size(), 2).Good());
		for (int32 i = 0; i < 4; i++) {
			const uint8* s = &q[size_t(i) * withQ];
			EXPECT_EQ(std::memcmp(s, &fDisc.audio[size_t(lba + i) * sector], sector), 0);
			const uint8* sub = s + sector;
			uint16 crc = CCdText::Crc16(sub, 10);
			EXPECT_EQ(GetBe16(sub + 10), crc) << "Q CRC at " << lba + i;
			const CDiscImage::STrack* track = fImage->TrackAt(lba + i);
			ASSERT_NE(track, nullptr);
			EXPECT_EQ(sub[1], ToBcd(uint32(track->number)));
			EXPECT_EQ(sub[2], ToBcd(uint32(CDiscImage::IndexAt(*track, lba + i))));
			SCdMsf abs = LbaToMsf(lba + i);
			EXPECT_EQ(sub[7], ToBcd(abs.minute));
			EXPECT_EQ(sub[8], ToBcd(abs.second));
			EXPECT_EQ(sub[9], ToBcd(abs.frame));
		}
	}
	// Raw P-W: Q spread over bit 6 of the 96 bytes, P set in the pause.
	for (int32 lba : {kTrack2Pregap + 1, kTrack2Start}) {
		std::vector<uint8> raw(sector + 96), formatted(sector + 16);
		ASSERT_TRUE(ReadCd(*fDrive, lba, 1, raw.data(), raw.size(), 1).Good());
		ASSERT_TRUE(ReadCd(*fDrive, lba, 1, formatted.data(), formatted.size(), 2).Good());
		uint8 q[12] = {};
		for (int j = 0; j < 96; j++) {
			q[j / 8] = uint8(q[j / 8] | ((raw[sector + size_t(j)] >> 6) & 1) << (7 - j % 8));
			EXPECT_EQ(raw[sector + size_t(j)] >> 7, lba < kTrack2Start ? 1 : 0) << "P at " << lba;
		}
		EXPECT_EQ(std::memcmp(q, &formatted[sector], 12), 0) << "Q at " << lba;
	}

	std::vector<uint8> one(sector + 16);
	ASSERT_TRUE(ReadCdDa(*fDrive, kTrack2Index2, 1, one.data(), one.size(), 1).Good());
	EXPECT_EQ(one[sector + 2], 0x02) << "index 2 in the D8 sub-code";
}

TEST_F(AudioDisc, SubChannelPositionFollowsPlayOnTheInjectedClock)
{
	std::vector<uint8> sub;
	ASSERT_TRUE(ReadSubChannel(*fDrive, 1, false, 0, &sub).Good());
	EXPECT_EQ(sub[1], cdb::kAudioStatusNone);

	ASSERT_TRUE(PlayMsf(*fDrive, 250, kLeadOut).Good());
	struct SExpect {
		bigtime_t at;      // microseconds since the play started
		int track, index;
		int32 relative;
	};
	const SExpect steps[] = {
		{0, 1, 1, 250},
		{1000000, 2, 0, 325 - kTrack2Start},          // in track 2's pregap: negative
		{3000000, 2, 1, 475 - kTrack2Start},
		{5000000, 2, 2, 625 - kTrack2Start},
		{10000000, 3, 1, 1000 - kTrack3Start},
	};
	bigtime_t elapsed = 0;
	std::vector<std::tuple<int32, int, int>> seen;   // LBA, track, index
	for (const SExpect& step : steps) {
		fClock->Advance(step.at - elapsed);
		elapsed = step.at;
		int32 lba = 250 + int32(step.at * 75 / 1000000);
		ASSERT_TRUE(ReadSubChannel(*fDrive, 1, false, 0, &sub).Good());
		ASSERT_EQ(sub.size(), 16u);
		EXPECT_EQ(sub[1], cdb::kAudioStatusPlaying);
		EXPECT_EQ(sub[4], 1);
		EXPECT_EQ(sub[6], step.track) << "at " << lba;
		EXPECT_EQ(sub[7], step.index) << "at " << lba;
		EXPECT_EQ(int32(Be32(&sub[8])), lba);
		EXPECT_EQ(int32(Be32(&sub[12])), step.relative);
		seen.emplace_back(lba, sub[6], sub[7]);
		// The same position in MSF form.
		std::vector<uint8> msf;
		ASSERT_TRUE(ReadSubChannel(*fDrive, 1, true, 0, &msf).Good());
		EXPECT_EQ(MsfToLba(msf[9], msf[10], msf[11]), lba);
	}
	// Play runs into the lead-out and completes.
	fClock->Advance(60000000);
	ASSERT_TRUE(ReadSubChannel(*fDrive, 1, false, 0, &sub).Good());
	EXPECT_EQ(sub[1], cdb::kAudioStatusCompleted);

	// The Q sub-channel that READ CD returns for those sectors agrees.
	for (const auto& [lba, track, index] : seen) {
		uint8 q[kCdAudioSectorSize + 16];
		ASSERT_TRUE(ReadCd(*fDrive, lba, 1, q, sizeof(q), 2).Good());
		EXPECT_EQ(q[kCdAudioSectorSize + 1], ToBcd(uint32(track))) << "at " << lba;
		EXPECT_EQ(q[kCdAudioSectorSize + 2], ToBcd(uint32(index))) << "at " << lba;
	}
}

TEST_F(AudioDisc, PausePlayCompletionAndStopReportTheAudioStatus)
{
	std::vector<uint8> sub;
	// Pause without a play is a sequence error.
	SOutcome o = Send(*fDrive, {0x4B, 0, 0, 0, 0, 0, 0, 0, 0x00, 0});
	EXPECT_EQ(o.SenseText(), "5/2C/00");

	ASSERT_TRUE(Send(*fDrive, {0x48, 0, 0, 0, 2, 1, 0, 2, 1, 0}).Good()) << "PLAY AUDIO TRACK INDEX 2.1-2.1";
	fClock->Advance(1000000);
	ASSERT_TRUE(Send(*fDrive, {0x4B, 0, 0, 0, 0, 0, 0, 0, 0x00, 0}).Good());
	fClock->Advance(5000000);
	ASSERT_TRUE(ReadSubChannel(*fDrive, 1, false, 0, &sub).Good());
	EXPECT_EQ(sub[1], cdb::kAudioStatusPaused);
	EXPECT_EQ(int32(Be32(&sub[8])), kTrack2Start + 75) << "paused position does not move";

	ASSERT_TRUE(Send(*fDrive, {0x4B, 0, 0, 0, 0, 0, 0, 0, 0x01, 0}).Good());
	fClock->Advance(800000);
	ASSERT_TRUE(ReadSubChannel(*fDrive, 1, false, 0, &sub).Good());
	EXPECT_EQ(sub[1], cdb::kAudioStatusPlaying);
	EXPECT_EQ(int32(Be32(&sub[8])), kTrack2Start + 75 + 60);

	// Index 1 only: play ends where index 2 begins; completion shows once.
	fClock->Advance(10000000);
	ASSERT_TRUE(ReadSubChannel(*fDrive, 1, false, 0, &sub).Good());
	EXPECT_EQ(sub[1], cdb::kAudioStatusCompleted);
	ASSERT_TRUE(ReadSubChannel(*fDrive, 1, false, 0, &sub).Good());
	EXPECT_EQ(sub[1], cdb::kAudioStatusNone);

	// PLAY AUDIO(10), then STOP PLAY/SCAN.
	ASSERT_TRUE(Send(*fDrive, {0x45, 0, 0, 0, 0, 100, 0, 0, 200, 0}).Good());
	uint8 sense[18];
	ASSERT_TRUE(Send(*fDrive, {0x03, 0, 0, 0, 18, 0}, sense, sizeof(sense)).Good());
	EXPECT_EQ(sense[13], 0x11) << "REQUEST SENSE tells that audio plays";
	ASSERT_TRUE(Send(*fDrive, {0x4E, 0, 0, 0, 0, 0, 0, 0, 0, 0}).Good());
	ASSERT_TRUE(ReadSubChannel(*fDrive, 1, false, 0, &sub).Good());
	EXPECT_EQ(sub[1], cdb::kAudioStatusNone);

	// Stop on track crossing (page 0Eh SOTC) ends the play at the track's end.
	std::vector<uint8> page;
	ASSERT_TRUE(ModeSense(*fDrive, 0x0E, 0, &page).Good());
	std::vector<uint8> list(page.begin(), page.begin() + 8 + 16);
	std::fill(list.begin(), list.begin() + 8, 0);
	list[8] &= 0x3F;
	list[10] |= 0x02;
	ASSERT_TRUE(ModeSelect(*fDrive, list).Good());
	ASSERT_TRUE(PlayMsf(*fDrive, kTrack3Pregap - 10, kLeadOut).Good());
	fClock->Advance(1000000);
	ASSERT_TRUE(ReadSubChannel(*fDrive, 1, false, 0, &sub).Good());
	EXPECT_EQ(sub[1], cdb::kAudioStatusCompleted);
	EXPECT_EQ(sub[6], 2) << "stopped in track 2";
}

TEST_F(AudioDisc, CommandsThroughTheDeviceNamespace)
{
	std::string path;
	ASSERT_EQ(RegisterVirtualDevice(fDrive, &path), B_OK);
	ASSERT_FALSE(path.empty());
	int fd = dev_open(path.c_str(), O_RDONLY);
	ASSERT_GE(fd, 0) << path;

	uint8 inquiry[56] = {};
	raw_device_command command {};
	const uint8 cdb[6] = {0x12, 0, 0, 0, sizeof(inquiry), 0};
	std::memcpy(command.command, cdb, sizeof(cdb));
	command.command_length = 6;
	command.flags = B_RAW_DEVICE_DATA_IN | B_RAW_DEVICE_SHORT_READ_VALID;
	command.data = inquiry;
	command.data_length = sizeof(inquiry);
	command.timeout = 1000000;
	ASSERT_EQ(dev_ioctl(fd, B_RAW_DEVICE_COMMAND, &command, sizeof(command)), 0);
	EXPECT_EQ(command.cam_status, CAM_REQ_CMP);
	EXPECT_EQ(inquiry[0], 5);
	EXPECT_EQ(std::string(reinterpret_cast<char*>(inquiry + 8), 8), "TARNWICK");

	std::vector<uint8> toc(804);
	const uint8 tocCdb[10] = {0x43, 0, 0, 0, 0, 0, 0, 0x03, 0x24, 0};
	raw_device_command tocCommand {};
	std::memcpy(tocCommand.command, tocCdb, sizeof(tocCdb));
	tocCommand.command_length = 10;
	tocCommand.flags = B_RAW_DEVICE_DATA_IN | B_RAW_DEVICE_REPORT_RESIDUAL;
	tocCommand.data = toc.data();
	tocCommand.data_length = toc.size();
	ASSERT_EQ(dev_ioctl(fd, B_RAW_DEVICE_COMMAND, &tocCommand, sizeof(tocCommand)), 0);
	EXPECT_EQ(tocCommand.cam_status, CAM_DATA_RUN_ERR) << "a short answer is an underrun";
	EXPECT_EQ(tocCommand.data_length, toc.size() - (4 + 4 * 8));
	EXPECT_EQ(Be32(&toc[4 + 8 + 4]), uint32(kTrack2Start));

	std::vector<uint8> audio(10 * kCdAudioSectorSize);
	ASSERT_EQ(dev_read_cd_audio(fd, kTrack3Start, 10, audio.data()), B_OK);
	EXPECT_EQ(std::memcmp(audio.data(), &fDisc.audio[kTrack3Start * kCdAudioSectorSize], audio.size()), 0);

	dev_close(fd);
	UnregisterVirtualDevices();
}
