// The write side of the virtual recorder, piece by piece: the cue sheets a
// recorder takes and refuses, the recording state, the buffer on a fake
// clock, and the image it leaves (read by libcdio's cd-info).
#include "emulator/DriveConfig.h"
#include "emulator/ImageWriter.h"
#include "emulator/RecorderState.h"
#include "emulator/WriteBuffer.h"
#include "kit/device/CdAddress.h"
#include "tests/emulator/EmulatorTestUtil.h"
#include "RunCommand.h"

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>

using namespace mmc;
using emutest::CTempFolder;

namespace {

// A cue sheet written entry by entry (binary track, index and MSF).
struct SCue {
	std::vector<uint8> bytes;

	SCue& Entry(uint8 controlAdr, uint8 track, uint8 index, uint8 form, int32 lba, uint8 scms = 0)
	{
		SCueSheetEntry entry;
		entry.control = uint8(controlAdr >> 4);
		entry.adr = controlAdr & 0x0F;
		entry.track = track;
		entry.index = index;
		entry.dataForm = form;
		entry.scms = scms;
		entry.lba = lba;
		bytes.resize(bytes.size() + kCueSheetEntrySize);
		EncodeCueSheetEntry(entry, bytes.data() + bytes.size() - kCueSheetEntrySize);
		return *this;
	}
	SCue& LeadIn() { return Entry(0x01, 0, 0, 0x01, -150); }
	SCue& Index(uint8 track, uint8 index, int32 lba, uint8 form = 0x00) { return Entry(0x01, track, index, form, lba); }
	SCue& LeadOut(int32 lba) { return Entry(0x01, 0xAA, 1, 0x01, lba); }
	SCue& Raw(std::initializer_list<uint8> entry)
	{
		bytes.insert(bytes.end(), entry);
		return *this;
	}
};

// The disc of the recording tests: three tracks, a 200-sector first pause
// (index 1 at LBA 50), no pause before track 2 (a zero-length index 0, as
// the recording engine sends it), a 75-sector pause before track 3.
SCue ThreeTracks()
{
	SCue cue;
	cue.LeadIn().Index(1, 0, -150).Index(1, 1, 50).Index(2, 0, 400).Index(2, 1, 400).Index(3, 0, 700)
		.Index(3, 1, 775).LeadOut(1000);
	return cue;
}

constexpr int32 kDiscEnd = ProgramMsfToLba(79, 59, 74);

SSense Check(const SCue& cue, int32 capacity = kDiscEnd, SCueSheetPlan* plan = nullptr)
{
	SCueSheetPlan local;
	return ParseCueSheetPlan(cue.bytes.data(), cue.bytes.size(), capacity, plan != nullptr ? plan : &local);
}

bool SameSense(const SSense& a, const SSense& b)
{
	return a.key == b.key && a.asc == b.asc && a.ascq == b.ascq;
}

SWriteParameters Parameters(uint8 type, bool test = false)
{
	SWriteParameters p;
	p.writeType = type;
	p.testWrite = test;
	return p;
}

std::string RunCdInfo(const std::string& cue)
{
	return RunCommand("cd-info --no-device-info --no-header --cue-file '" + cue + "' 2>&1");
}

std::map<int, int32> CdInfoStarts(const std::string& output)
{
	std::regex line(R"(^\s*(\d+): \d\d:\d\d:\d\d\s+(\d+) )");
	std::smatch match;
	std::map<int, int32> starts;
	std::istringstream lines(output);
	for (std::string text; std::getline(lines, text);)
		if (std::regex_search(text, match, line))
			starts[std::stoi(match[1])] = std::stoi(match[2]);
	return starts;
}

}   // namespace

// --- Cue sheets -------------------------------------------------------------------

TEST(RecorderCueSheet, AcceptsWhatRecordersTake)
{
	SCueSheetPlan plan;
	ASSERT_FALSE(Check(ThreeTracks(), kDiscEnd, &plan).IsError());
	ASSERT_EQ(plan.disc.tracks.size(), 3u);
	EXPECT_EQ(plan.disc.tracks[0].pregapStart, -150);
	EXPECT_EQ(plan.disc.tracks[0].start, 50);
	EXPECT_EQ(plan.disc.tracks[0].end, 400);
	EXPECT_EQ(plan.disc.tracks[1].pregapStart, 400);
	EXPECT_EQ(plan.disc.tracks[1].start, 400);
	EXPECT_EQ(plan.disc.tracks[2].pregapStart, 700);
	EXPECT_EQ(plan.disc.tracks[2].start, 775);
	EXPECT_EQ(plan.disc.leadOut, 1000);
	ASSERT_EQ(plan.ranges.size(), 1u);   // all from the host
	EXPECT_EQ(plan.ranges[0].start, -150);
	EXPECT_EQ(plan.ranges[0].count, 1150);

	// Catalogue number and ISRC entries (as cdrdao sends them), a pause the
	// recorder makes (01h), more index points, the copy bit and 4 channels.
	SCue full;
	full.Raw({0x02, '1', '2', '3', '4', '5', '6', '7', 0x02, '8', '9', '0', '1', '2', '3', 0})
		.LeadIn()
		.Raw({0x03, 1, 'U', 'S', 'A', 'B', 'C', '9', 0x03, 1, '8', '0', '0', '0', '0', '1'})
		.Index(1, 0, -150, 0x01)
		.Entry(0x21, 1, 1, 0x00, 0)
		.Entry(0x21, 1, 2, 0x00, 100)
		.Entry(0x81, 2, 1, 0x00, 300, 0x80)
		.LeadOut(600);
	ASSERT_FALSE(Check(full, kDiscEnd, &plan).IsError());
	EXPECT_EQ(plan.disc.mcn, "1234567890123");
	EXPECT_EQ(plan.disc.tracks[0].isrc, "USABC9800001");
	EXPECT_EQ(plan.disc.tracks[0].control, 0x2);
	EXPECT_EQ(plan.disc.tracks[1].control, 0x8);
	EXPECT_EQ(plan.disc.tracks[0].indexes, (std::vector<std::pair<int, int32>> {{1, 0}, {2, 100}}));
	ASSERT_EQ(plan.ranges.size(), 2u);
	EXPECT_FALSE(plan.ranges[0].fromHost);
	EXPECT_EQ(plan.ranges[0].count, 150);
	EXPECT_TRUE(plan.ranges[1].fromHost);
	EXPECT_EQ(plan.ranges[1].start, 0);

	// The lead-out exactly at the last possible one.
	SCue edge;
	edge.LeadIn().Index(1, 0, -150).Index(1, 1, 0).LeadOut(kDiscEnd);
	EXPECT_FALSE(Check(edge).IsError());
}

TEST(RecorderCueSheet, RefusesWhatRecordersRefuseWithTheFieldPointer)
{
	struct SCase {
		const char* what;
		SCue cue;
		uint16 field;   // byte offset in the list
	};
	auto base = [] { return SCue().LeadIn().Index(1, 0, -150); };
	std::vector<SCase> cases = {
		{"no lead-in", SCue().Index(1, 0, -150).Index(1, 1, 0).LeadOut(500), 1},
		{"track 0 after the lead-in (found by fuzzing)", SCue().LeadIn().Index(0, 1, -150).LeadOut(500), 9},
		{"track 1 before 00:02:00", SCue().LeadIn().Index(1, 0, -150).Index(1, 1, -1).LeadOut(500), 21},
		{"track 1 not at 00:00:00", SCue().LeadIn().Index(1, 0, -100).Index(1, 1, 0).LeadOut(500), 13},
		{"time going back", base().Index(1, 1, 300).Index(2, 1, 200).LeadOut(500), 29},
		{"a track skipped", base().Index(1, 1, 0).Index(3, 1, 200).LeadOut(500), 25},
		{"an index skipped", base().Index(1, 1, 0).Index(1, 3, 200).LeadOut(500), 26},
		{"an empty index 1", base().Index(1, 1, 0).Index(1, 2, 0).LeadOut(500), 29},
		{"an empty track", base().Index(1, 1, 0).Index(2, 1, 0).LeadOut(500), 29},
		{"data form 02h", base().Index(1, 1, 0, 0x02).LeadOut(500), 19},
		{"a data track", base().Entry(0x41, 1, 1, 0x00, 0).LeadOut(500), 16},
		{"lead-out beyond the disc", base().Index(1, 1, 0).LeadOut(kDiscEnd + 1), 29},
		{"lead-out at the track start", base().Index(1, 1, 0).LeadOut(0), 29},
		{"no lead-out", base().Index(1, 1, 0), 17},
		{"entries after the lead-out", base().Index(1, 1, 0).LeadOut(500).Index(2, 1, 600), 32},
		{"ADR 4", base().Index(1, 1, 0).Raw({0x04, 1, 0, 0, 0, 0, 9, 0}).LeadOut(500), 24},
		{"frames 75", base().Raw({0x01, 1, 1, 0, 0, 0, 2, 75}).LeadOut(500), 23},
		{"seconds 60", base().Raw({0x01, 1, 1, 0, 0, 0, 60, 0}).LeadOut(500), 22},
		{"SCMS byte", base().Entry(0x01, 1, 1, 0, 0, 0x40).LeadOut(500), 20},
		{"letter in the catalogue number",
			SCue().Raw({0x02, '1', '2', 'X', '4', '5', '6', '7', 0x02, '8', '9', '0', '1', '2', '3', 0})
				.LeadIn().Index(1, 0, -150).Index(1, 1, 0).LeadOut(500),
			3},
		{"ISRC of another track",
			SCue().LeadIn().Raw({0x03, 2, 'U', 'S', 'A', 'B', 'C', '9', 0x03, 2, '8', '0', '0', '0', '0', '1'})
				.Index(1, 0, -150).Index(1, 1, 0).LeadOut(500),
			9},
		{"catalogue number after a track",
			base().Index(1, 1, 0).Raw({0x02, '1', '2', '3', '4', '5', '6', '7', 0x02, '8', '9', '0', '1', '2', '3', 0})
				.LeadOut(500),
			24},
	};
	for (const SCase& c : cases) {
		SSense sense = Check(c.cue);
		EXPECT_TRUE(SameSense(sense, Sense(kSenseKeyIllegalRequest, 0x26, 0x00))) << c.what;
		EXPECT_TRUE(sense.fieldValid && !sense.fieldInCdb) << c.what;
		EXPECT_EQ(sense.field, c.field) << c.what;
	}
	// Not whole entries, or none.
	SCue torn = ThreeTracks();
	torn.bytes.pop_back();
	EXPECT_TRUE(SameSense(Check(torn), kSenseParameterListLength));
	EXPECT_TRUE(SameSense(Check(SCue()), kSenseParameterListLength));
	// A disc too short for the sheet.
	EXPECT_TRUE(Check(ThreeTracks(), 999).IsError());
	EXPECT_FALSE(Check(ThreeTracks(), 1000).IsError());
}

// --- Recording state -----------------------------------------------------------------

TEST(RecorderState, SessionAtOnceChecksEveryWriteAndClosesOnce)
{
	CRecorderState state;
	state.Reset(true, kDiscEnd);
	SWriteParameters sao = Parameters(kWriteTypeSessionAtOnce);
	CRecorderState::SWritePlan plan;
	EXPECT_TRUE(SameSense(state.PlanWrite(sao, -150, 27, &plan), kSenseCommandSequenceError)) << "no cue sheet";
	SCue cue = ThreeTracks();
	EXPECT_TRUE(SameSense(state.SendCueSheet(Parameters(kWriteTypeTrackAtOnce), cue.bytes.data(),
							  cue.bytes.size()),
		kSenseCommandSequenceError));
	ASSERT_FALSE(state.SendCueSheet(sao, cue.bytes.data(), cue.bytes.size()).IsError());
	int32 nwa = 0;
	ASSERT_TRUE(state.NextWritableAddress(sao, &nwa));
	EXPECT_EQ(nwa, -150);
	EXPECT_TRUE(SameSense(state.PlanWrite(sao, 0, 27, &plan), kSenseInvalidAddressForWrite));
	for (int32 lba = -150; lba < 1000;) {
		int32 count = std::min(27, 1000 - lba);
		ASSERT_FALSE(state.PlanWrite(sao, lba, count, &plan).IsError()) << lba;
		EXPECT_EQ(plan.startsRun, lba == -150);
		EXPECT_TRUE(SameSense(state.CanCloseSession(), lba == -150 ? kSenseCommandSequenceError
																   : kSenseIncompleteTrack));
		state.Commit(sao, plan);
		lba += count;
	}
	EXPECT_EQ(state.Status(), CRecorderState::kIncomplete);
	EXPECT_TRUE(SameSense(state.PlanWrite(sao, 1000, 1, &plan), kSenseLbaOutOfRange)) << "beyond the lead-out";
	ASSERT_FALSE(state.CanCloseSession().IsError());
	SWrittenDisc disc = state.CloseSession();
	EXPECT_EQ(disc.tracks.size(), 3u);
	EXPECT_EQ(disc.leadOut, 1000);
	EXPECT_EQ(state.Status(), CRecorderState::kComplete);
	// A CD-R is written once.
	EXPECT_TRUE(SameSense(state.SendCueSheet(sao, cue.bytes.data(), cue.bytes.size()), kSensePermanentWriteProtect));
	EXPECT_TRUE(SameSense(state.PlanWrite(sao, -150, 1, &plan), kSensePermanentWriteProtect));
}

TEST(RecorderState, TestWriteAndFailureLeaveTheRightDisc)
{
	SCue cue = ThreeTracks();
	SWriteParameters test = Parameters(kWriteTypeSessionAtOnce, true);
	CRecorderState state;
	state.Reset(true, kDiscEnd);
	ASSERT_FALSE(state.SendCueSheet(test, cue.bytes.data(), cue.bytes.size()).IsError());
	CRecorderState::SWritePlan plan;
	ASSERT_FALSE(state.PlanWrite(test, -150, 1150, &plan).IsError());
	state.Commit(test, plan);
	// Switching test writing off in the middle of a run is refused.
	SWriteParameters real = Parameters(kWriteTypeSessionAtOnce);
	EXPECT_TRUE(SameSense(state.CanCloseSession(), kSenseNone));
	state.CloseSession();
	EXPECT_EQ(state.Status(), CRecorderState::kEmpty) << "a test write leaves the disc blank";

	ASSERT_FALSE(state.SendCueSheet(real, cue.bytes.data(), cue.bytes.size()).IsError());
	ASSERT_FALSE(state.PlanWrite(real, -150, 27, &plan).IsError());
	state.Commit(real, plan);
	EXPECT_TRUE(SameSense(state.PlanWrite(test, -123, 27, &plan), kSenseCommandSequenceError));
	state.Fail();
	EXPECT_TRUE(state.Unusable());
	EXPECT_TRUE(state.PlanWrite(real, -123, 27, &plan).IsError());
	EXPECT_TRUE(state.CanCloseSession().IsError());
	EXPECT_FALSE(state.NextWritableAddress(real, &plan.lba));
}

TEST(RecorderState, TrackAtOnceWritesThePauseFromThePageAndKeepsThePma)
{
	CRecorderState state;
	state.Reset(true, 2000);
	SWriteParameters tao = Parameters(kWriteTypeTrackAtOnce);
	tao.audioPauseLength = 200;
	tao.trackMode = 0x02;
	tao.isrcValid = true;
	memcpy(tao.isrc, "USABC9800001", 12);
	tao.catalogueValid = true;
	memcpy(tao.catalogue, "1234567890123", 13);
	int32 nwa = 0;
	ASSERT_TRUE(state.NextWritableAddress(tao, &nwa));
	EXPECT_EQ(nwa, 50) << "track 1's 200-sector pause ends at LBA 50";
	CRecorderState::SWritePlan plan;
	EXPECT_TRUE(SameSense(state.PlanWrite(tao, -150, 27, &plan), kSenseInvalidAddressForWrite));
	ASSERT_FALSE(state.PlanWrite(tao, 50, 350, &plan).IsError());
	EXPECT_EQ(plan.generatedStart, -150);
	EXPECT_EQ(plan.generatedCount, 200);
	state.Commit(tao, plan);
	ASSERT_TRUE(state.NextWritableAddress(tao, &nwa));
	EXPECT_EQ(nwa, 400) << "inside the open track";
	EXPECT_TRUE(state.CloseTrack());
	EXPECT_FALSE(state.CloseTrack());

	tao.audioPauseLength = 0;
	memcpy(tao.isrc, "USABC980000X", 12);   // not an ISRC: the track gets none
	tao.trackMode = 0;
	EXPECT_EQ(state.NextTrackNumber(), 2);
	ASSERT_TRUE(state.NextWritableAddress(tao, &nwa));
	EXPECT_EQ(nwa, 400);
	ASSERT_FALSE(state.PlanWrite(tao, 400, 300, &plan).IsError());
	state.Commit(tao, plan);
	state.CloseTrack();
	tao.audioPauseLength = 150;
	ASSERT_TRUE(state.NextWritableAddress(tao, &nwa));
	EXPECT_EQ(nwa, 850);
	EXPECT_TRUE(SameSense(state.PlanWrite(tao, 850, 1151, &plan), kSenseLbaOutOfRange)) << "beyond the medium";
	ASSERT_FALSE(state.PlanWrite(tao, 850, 150, &plan).IsError());
	state.Commit(tao, plan);

	SWrittenDisc disc = state.CloseSession();
	ASSERT_EQ(disc.tracks.size(), 3u);
	EXPECT_EQ(disc.mcn, "1234567890123");
	EXPECT_EQ(disc.tracks[0].isrc, "USABC9800001");
	EXPECT_EQ(disc.tracks[0].control, 0x02);
	EXPECT_EQ(disc.tracks[0].pregapStart, -150);
	EXPECT_EQ(disc.tracks[0].start, 50);
	EXPECT_EQ(disc.tracks[1].pregapStart, 400);
	EXPECT_EQ(disc.tracks[1].start, 400);
	EXPECT_TRUE(disc.tracks[1].isrc.empty());
	EXPECT_EQ(disc.tracks[2].pregapStart, 700);
	EXPECT_EQ(disc.tracks[2].start, 850);
	EXPECT_EQ(disc.leadOut, 1000);
	EXPECT_EQ(state.Status(), CRecorderState::kComplete);
}

// --- The buffer on a fake clock ---------------------------------------------------------

TEST(RecorderBuffer, FillsWithWritesAndDrainsAtTheWriteSpeed)
{
	CWriteBuffer buffer;
	buffer.Configure(100 * 2352, 600);   // 8X: 600 sectors a second
	bigtime_t now = 1000000;
	buffer.StartRun(now, 0, false);
	EXPECT_EQ(buffer.FillSectors(now), 0);
	CWriteBuffer::SAccept a = buffer.Accept(now, 60);
	EXPECT_FALSE(a.longWrite);
	EXPECT_EQ(a.doneAt, now);
	EXPECT_EQ(buffer.FillSectors(now), 60);
	now += 50000;   // 30 sectors burned
	EXPECT_FALSE(buffer.Update(now));
	EXPECT_EQ(buffer.FillSectors(now), 30);
	a = buffer.Accept(now, 60);
	EXPECT_EQ(buffer.FillSectors(now), 90);
	EXPECT_EQ(a.doneAt, now);
	// A write that does not fit waits until it does, and no longer.
	a = buffer.Accept(now, 40);
	EXPECT_EQ(a.doneAt, now + buffer.Duration(30));
	EXPECT_EQ(buffer.FillSectors(a.doneAt), 100);
	// Drained to the end: no underrun, the buffer empties.
	bigtime_t empty = buffer.Drain(a.doneAt);
	EXPECT_EQ(empty, a.doneAt + buffer.Duration(100));
	EXPECT_FALSE(buffer.Update(empty + 5000000));
	EXPECT_EQ(buffer.FillSectors(empty + 5000000), 0);
	EXPECT_EQ(buffer.Underruns(), 0);
}

TEST(RecorderBuffer, LeadInAnswersLongWriteWhileFullThenUnderrunFailsOrPauses)
{
	CWriteBuffer buffer;
	buffer.Configure(100 * 2352, 600);
	bigtime_t now = 1000000;
	buffer.StartRun(now, 6000, false);   // 10 s of lead-in at 8X
	EXPECT_TRUE(buffer.InLeadIn(now));
	EXPECT_FALSE(buffer.Accept(now, 54).longWrite);
	EXPECT_FALSE(buffer.Accept(now, 27).longWrite);
	now += 5000000;
	EXPECT_FALSE(buffer.Update(now));
	EXPECT_EQ(buffer.FillSectors(now), 81) << "nothing drains during the lead-in";
	CWriteBuffer::SAccept a = buffer.Accept(now, 27);
	EXPECT_TRUE(a.longWrite);
	EXPECT_EQ(buffer.FillSectors(now), 81) << "a refused write takes nothing";
	EXPECT_TRUE(buffer.Accept(now, 19).longWrite == false);
	now += 5000000;   // the lead-in ends
	EXPECT_FALSE(buffer.Update(now));
	EXPECT_FALSE(buffer.InLeadIn(now));
	EXPECT_FALSE(buffer.Accept(now + buffer.Duration(27), 27).longWrite);
	// The host stalls: the buffer runs empty mid-track.
	now += 10000000;
	EXPECT_TRUE(buffer.Update(now));
	EXPECT_TRUE(buffer.Failed());

	// With BUFE the recorder pauses, counts and links on.
	buffer.Configure(100 * 2352, 600);
	buffer.StartRun(now, 0, true);
	buffer.Accept(now, 60);
	now += 1000000;
	EXPECT_FALSE(buffer.Update(now));
	EXPECT_EQ(buffer.Underruns(), 1);
	EXPECT_EQ(buffer.FillSectors(now), 0);
	buffer.Accept(now, 60);
	now += buffer.Duration(30);
	EXPECT_FALSE(buffer.Update(now));
	EXPECT_EQ(buffer.FillSectors(now), 30) << "draining again from the new data";
	buffer.ForceUnderrun(now);
	EXPECT_EQ(buffer.Underruns(), 2);
	EXPECT_FALSE(buffer.Failed());
}

// --- The image --------------------------------------------------------------------------

TEST(RecorderImage, BinHoldsTheSectorsFromLbaZeroAndTheCueIsReadByCdInfo)
{
	CTempFolder folder;
	CImageWriter writer;
	std::string error;
	ASSERT_EQ(writer.Begin(folder.File("out"), &error), B_OK) << error;
	std::vector<uint8> audio = emutest::PatternAudio(1150, 7);
	// Little-endian sectors -150..499, then big-endian ones that the writer turns.
	ASSERT_EQ(writer.Store(-150, audio.data(), 650, false, &error), B_OK) << error;
	std::vector<uint8> swapped(audio.begin() + 650 * 2352, audio.end());
	for (size_t i = 0; i + 1 < swapped.size(); i += 2)
		std::swap(swapped[i], swapped[i + 1]);
	ASSERT_EQ(writer.Store(500, swapped.data(), 500, true, &error), B_OK) << error;
	EXPECT_TRUE(std::filesystem::exists(folder.File("out/recording-001.partial.bin")));
	EXPECT_FALSE(std::filesystem::exists(folder.File("out/recording-001.cue")));

	SCueSheetPlan plan;
	SCue cue = ThreeTracks();
	ASSERT_FALSE(Check(cue, kDiscEnd, &plan).IsError());
	plan.disc.mcn = "0614231234567";
	plan.disc.tracks[0].isrc = "USABC9800001";
	plan.disc.tracks[1].control = 0x03;
	std::string cuePath;
	ASSERT_EQ(writer.Finish(plan.disc, &cuePath, &error), B_OK) << error;
	EXPECT_EQ(cuePath, folder.File("out/recording-001.cue"));
	EXPECT_FALSE(std::filesystem::exists(folder.File("out/recording-001.partial.bin")));

	std::ifstream in(folder.File("out/recording-001.bin"), std::ios::binary);
	std::vector<uint8> bin((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
	ASSERT_EQ(bin.size(), size_t(1000) * 2352);
	EXPECT_TRUE(std::equal(bin.begin(), bin.end(), audio.begin() + 150 * 2352)) << "sectors as sent, LBA 0 first";

	// The program loads it like any image: same starts and pregaps.
	std::shared_ptr<CDiscImage> image;
	ASSERT_EQ(CDiscImage::LoadCue(cuePath, &image, &error), B_OK) << error;
	ASSERT_EQ(image->Tracks().size(), 3u);
	EXPECT_EQ(image->Tracks()[0].start, 50);
	EXPECT_EQ(image->Tracks()[0].pregapStart, 0);
	EXPECT_EQ(image->Tracks()[1].start, 400);
	EXPECT_EQ(image->Tracks()[1].pregapStart, 400);
	EXPECT_EQ(image->Tracks()[2].pregapStart, 700);
	EXPECT_EQ(image->Tracks()[2].start, 775);
	EXPECT_EQ(image->Tracks()[1].control, 0x03);
	EXPECT_EQ(image->LeadOut(), 1000);
	EXPECT_EQ(image->Catalog(), "0614231234567");

	if (system("command -v cd-info >/dev/null 2>&1") != 0)
		GTEST_SKIP() << "cd-info (libcdio-utils) is not installed";
	std::string output = RunCdInfo(cuePath);
	EXPECT_EQ(CdInfoStarts(output), (std::map<int, int32> {{1, 50}, {2, 400}, {3, 775}, {170, 1000}})) << output;
	EXPECT_NE(output.find("0614231234567"), std::string::npos) << output;
}

TEST(RecorderImage, FailuresLeaveAPartialBinAndNoCue)
{
	CTempFolder folder;
	std::string error;
	{
		CImageWriter writer;
		ASSERT_EQ(writer.Begin(folder.Path(), &error), B_OK);
		std::vector<uint8> audio = emutest::PatternAudio(30, 1);
		ASSERT_EQ(writer.Store(0, audio.data(), 30, false, &error), B_OK);
		writer.Abandon();
		EXPECT_FALSE(writer.IsOpen());
		// The next run takes the next name.
		ASSERT_EQ(writer.Begin(folder.Path(), &error), B_OK);
		EXPECT_EQ(writer.PartialPath(), folder.File("recording-002.partial.bin"));
	}   // destroyed mid-run
	EXPECT_TRUE(std::filesystem::exists(folder.File("recording-001.partial.bin")));
	EXPECT_TRUE(std::filesystem::exists(folder.File("recording-002.partial.bin")));
	for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
		EXPECT_NE(entry.path().extension(), ".cue") << entry.path();

	// A folder that cannot be written: the reason, and no image.
	if (geteuid() != 0) {
		std::filesystem::create_directory(folder.File("locked"));
		chmod(folder.File("locked").c_str(), 0500);
		CImageWriter writer;
		EXPECT_NE(writer.Begin(folder.File("locked"), &error), B_OK);
		EXPECT_NE(error.find("locked"), std::string::npos) << error;
		chmod(folder.File("locked").c_str(), 0700);
	}
}

// --- Description keys -----------------------------------------------------------------

TEST(RecorderDescription, ReadsTheReloadChoiceAndTheWriteFaults)
{
	std::vector<CDriveConfig> drives;
	std::string error;
	ASSERT_EQ(CDriveConfig::Parse("[drive]\nafter_eject = Blank\nwrite_error = 300 2\nwrite_error = -150\n"
								  "long_write = 3\nunderrun_at = 500\nopc_failure = 1\npca_full = -1\n"
								  "disc_sectors = 999\n[drive]\n",
				  "/", &drives, &error),
		B_OK)
		<< error;
	ASSERT_EQ(drives.size(), 2u);
	EXPECT_TRUE(drives[0].blankAfterEject);
	EXPECT_FALSE(drives[1].blankAfterEject) << "a described drive keeps its written disc";
	CWriteFaults faults = drives[0].writeFaults;
	int32 bad = 0;
	EXPECT_TRUE(faults.TakeWriteError(-150, 27, &bad));
	EXPECT_EQ(bad, -150);
	EXPECT_TRUE(faults.TakeWriteError(290, 27, &bad));
	EXPECT_TRUE(faults.TakeWriteError(290, 27, &bad));
	EXPECT_FALSE(faults.TakeWriteError(290, 27, &bad)) << "two attempts";
	EXPECT_FALSE(faults.TakeUnderrun(473, 27));
	EXPECT_TRUE(faults.TakeUnderrun(474, 27));
	EXPECT_FALSE(faults.TakeUnderrun(474, 27)) << "once";
	SSense sense;
	EXPECT_TRUE(faults.TakeOpcFault(&sense));
	EXPECT_TRUE(SameSense(sense, kSensePcaFull)) << "a full area comes first";
	EXPECT_EQ(faults.DiscLimit(kDiscEnd), 999);
	for (const char* bad : {"after_eject = later", "write_error = x", "long_write = -2", "underrun_at = 1 2",
			 "disc_sectors = 0"})
		EXPECT_EQ(CDriveConfig::Parse(std::string("[drive]\n") + bad + "\n", "/", &drives, &error), B_BAD_DATA) << bad;
}
