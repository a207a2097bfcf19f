// The CD-Text of a recording: ISO 8859-1 transliteration, case changes, the
// texts taken from a project, and the cut of texts that exceed 256 packs.
#include "RecordEngineFixture.h"

#include "kit/device/CdAddress.h"
#include "kit/device/CdText.h"
#include "recording/CdTextWriter.h"

using namespace recordtest;

TEST(CdTextTransliteration, KeepsLatin1AndTakesTheNearestLatinLetterElseAQuestionMark)
{
	struct {
		const char* utf8;
		const char* latin1;
		bool lost;
	} cases[] = {
		{"Caf\xC3\xA9 M\xC3\xBCller", "Caf\xE9 M\xFCller", false},
		{"Czes\xC5\x82\x61w \xC5\x81\xC3\xB3\x64\xC5\xBA", "Czeslaw L\xF3\x64z", true},
		{"\xE2\x80\x9ETak\xE2\x80\x9D \xE2\x80\x93 \xC5\x92uvre\xE2\x80\xA6", "\"Tak\" - OEuvre...", true},
		{"\xE5\x9D\x82\xE6\x9C\xAC \xF0\x9F\x8E\xB5", "?? ?", true},
		{"tab\there", "tab here", true},
		{"bad \xFF \xC3 end", "bad ? ? end", true},
		{"\xC0\xAF overlong", "?? overlong", true},
	};
	for (const auto& c : cases) {
		bool lost = !c.lost;
		EXPECT_EQ(TransliterateToLatin1(c.utf8, &lost), c.latin1) << c.utf8;
		EXPECT_EQ(lost, c.lost) << c.utf8;
	}
	EXPECT_EQ(ChangeLatin1Case("\xE9t\xE9 \xDF \xF7 \xFF", CD_TEXT_UPPERCASE), "\xC9T\xC9 \xDF \xF7 \xFF");
	EXPECT_EQ(ChangeLatin1Case("\xC9T\xC9 \xD7 Z", CD_TEXT_LOWERCASE), "\xE9t\xE9 \xD7 z");
	EXPECT_EQ(ChangeLatin1Case("Mixed", CD_TEXT_NORMAL), "Mixed");
}

namespace {

CCdText::SBlock Decode(const SCdTextResult& result)
{
	CCdText::SBlock block;
	EXPECT_TRUE(CCdText::Decode(result.packs.data(), result.packs.size() / CCdText::kPackSize, &block));
	for (size_t i = 0; i < result.packs.size(); i += CCdText::kPackSize)
		EXPECT_TRUE(CCdText::PackCrcValid(&result.packs[i]));
	return block;
}

const std::string& Text(const CCdText::SBlock& block, uint8 type, int track)
{
	return block.texts[size_t(type - CCdText::kTitle)][size_t(track)];
}

}   // namespace

TEST_F(RecordEngine, CdTextOfAProjectNamesTheDiscAndEveryTrackAndCutsWhatDoesNotFit)
{
	MakeProject({{588 * 4, 0}, {588 * 4, 0}, {588 * 4, 0}});
	for (int32 i = 0; i < 3; i++)
		fProject->TrackAt(i)->SetArtistAndTitle("Band", ("Song " + std::to_string(i + 1)).c_str());

	SCdTextResult result;
	ASSERT_EQ(BuildCdText(fProject.get(), CD_TEXT_NONE, &result), B_OK);
	EXPECT_TRUE(result.packs.empty());
	ASSERT_EQ(BuildCdText(fProject.get(), CD_TEXT_LOWERCASE, &result), B_OK);
	CCdText::SBlock block = Decode(result);
	const std::string name = fProject->Name();
	EXPECT_EQ(Text(block, CCdText::kTitle, 0), ChangeLatin1Case(TransliterateToLatin1(name), CD_TEXT_LOWERCASE));
	EXPECT_EQ(Text(block, CCdText::kPerformer, 0), "band") << "the artist every track shares";
	EXPECT_EQ(Text(block, CCdText::kTitle, 3), "song 3");
	EXPECT_EQ(Text(block, CCdText::kPerformer, 2), "band");
	EXPECT_EQ(fProject->TrackAt(2)->Title(), "Song 3") << "the project keeps its case";
	EXPECT_TRUE(result.lostTracks.empty());
	EXPECT_EQ(CdTextNotice(result), "");

	// Different artists: no disc performer. Texts too long for 256 packs
	// are shortened, the longest first.
	fProject->TrackAt(1)->SetArtistAndTitle("Other \xE6\x97\xA5", std::string(2000, 'b').c_str());
	fProject->TrackAt(2)->SetTitle(std::string(1800, 'c').c_str());
	ASSERT_EQ(BuildCdText(fProject.get(), CD_TEXT_NORMAL, &result), B_OK);
	EXPECT_LE(result.packs.size(), CCdText::kMaxPacks * CCdText::kPackSize);
	block = Decode(result);
	EXPECT_EQ(Text(block, CCdText::kPerformer, 0), "");
	EXPECT_EQ(Text(block, CCdText::kPerformer, 2), "Other ?");
	EXPECT_EQ(Text(block, CCdText::kTitle, 1), "Song 1");
	const std::string& two = Text(block, CCdText::kTitle, 2);
	const std::string& three = Text(block, CCdText::kTitle, 3);
	EXPECT_GT(two.size(), 500u);
	EXPECT_EQ(two, std::string(two.size(), 'b'));
	EXPECT_EQ(three, std::string(three.size(), 'c'));
	EXPECT_LE(std::max(two.size(), three.size()) - std::min(two.size(), three.size()), 12u);
	EXPECT_EQ(result.lostTracks, (std::vector<int32> {2}));
	EXPECT_EQ(result.cutTracks, (std::vector<int32> {2, 3}));
	EXPECT_EQ(CdTextNotice(result), "CD-Text: characters replaced in track 2; shortened to fit: track 2, track 3");
}

namespace {

struct SLeadInWrite {
	int32 lba;
	int32 sectors;
	int32 size;
	std::vector<uint8> data;
};
std::vector<SLeadInWrite> gLeadInWrites;
uint8 gLeadInStart[3];

}   // namespace

// The lead-in goes from the lead-in start the recorder reports up to LBA
// -150, 96 bytes of R-W sub-channel a sector, the packs over and over.
TEST_F(RecordEngine, CdTextLeadInRepeatsThePacksFromTheLeadInStartToTheFirstSector)
{
	UseRecorder(kRecorderFlags | F_CDTEXT_WRITE);
	CDriver* driver = fDevice->GetDriver();
	driver->ReadDiscInformation = [](CDevice*, SCSI_DISC_INFORMATION* info, SCSI_STATUS* s) {
		*info = SCSI_DISC_INFORMATION();
		std::copy_n(gLeadInStart, 3, info->LastSessionStartTimeOfLeadin);
		return Good(s);
	};
	driver->Write = [](CDevice*, int32 lba, const void* buffer, int32 sectors, int32 size, SCSI_STATUS* s) {
		const uint8* bytes = static_cast<const uint8*>(buffer);
		gLeadInWrites.push_back({lba, sectors, size, std::vector<uint8>(bytes, bytes + size_t(sectors) * size_t(size))});
		return Good(s);
	};
	CCdText text;
	ASSERT_EQ(text.SetText(CCdText::kTitle, 0, "A title of two packs"), B_OK);
	std::vector<uint8> packs;
	ASSERT_EQ(text.Encode(1, 1, &packs), B_OK);
	const size_t count = packs.size() / CCdText::kPackSize;
	ASSERT_EQ(count % 4, 1u) << "packs that do not fill whole sectors";

	// 97:26:66, the lead-in start of a 74-minute disc.
	gLeadInWrites.clear();
	const uint8 start[3] = {97, 26, 66};
	std::copy_n(start, 3, gLeadInStart);
	ASSERT_TRUE(WriteCdTextLeadIn(fDevice.get(), packs, nullptr));
	ASSERT_FALSE(gLeadInWrites.empty());
	EXPECT_EQ(gLeadInWrites.front().lba, MsfToLba(97, 26, 66));
	int32 next = gLeadInWrites.front().lba;
	size_t pack = 0;
	for (const SLeadInWrite& write : gLeadInWrites) {
		ASSERT_EQ(write.lba, next);
		ASSERT_EQ(write.size, int32(CCdText::kSubcodeSize));
		for (int32 s = 0; s < write.sectors; s++) {
			uint8 four[4 * CCdText::kPackSize];
			CCdText::SubcodeToPacks(write.data.data() + size_t(s) * CCdText::kSubcodeSize, four);
			for (size_t p = 0; p < 4; p++, pack++)
				ASSERT_TRUE(std::equal(four + p * CCdText::kPackSize, four + (p + 1) * CCdText::kPackSize,
					packs.begin() + long((pack % count) * CCdText::kPackSize)))
					<< "sector " << next + s << " pack " << p;
		}
		next += write.sectors;
	}
	EXPECT_EQ(next, -150);

	// A lead-in start that is no lead-in time writes nothing.
	gLeadInWrites.clear();
	const uint8 program[3] = {0, 2, 0};
	std::copy_n(program, 3, gLeadInStart);
	EXPECT_FALSE(WriteCdTextLeadIn(fDevice.get(), packs, nullptr));
	EXPECT_TRUE(gLeadInWrites.empty());
	EXPECT_FALSE(WriteCdTextLeadIn(fDevice.get(), {}, nullptr));
}
