// libFuzzer target: a CUE sheet laid out against real files. The folder
// holds a.bin (20 sectors), b.wav (15.5 sectors of WAVE data), c.bin (1
// sector) and t.cdt (CD-Text packs); the input is the sheet. A refused
// sheet must say why and give no image. An accepted one must keep the
// promises of CDiscImage: tracks ascending, each with pregap <= start <
// end, every sector from the first track's start to the lead-out in exactly
// one track, index points ascending inside their track, and every sector
// readable with any stride.
#include "kit/device/CdText.h"
#include "emulator/DiscImage.h"
#include "emulator/MmcDefs.h"

extern "C" {
#include <libavutil/log.h>
}

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <vector>

namespace {

std::string gFolder;

void RemoveFolder()
{
	std::error_code ignored;
	std::filesystem::remove_all(gFolder, ignored);
}

void WriteFile(const std::string& name, const std::vector<uint8>& bytes)
{
	FILE* file = fopen((gFolder + "/" + name).c_str(), "wb");
	if (file == nullptr || fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
		abort();
	fclose(file);
}

void MakeFolder()
{
	char folder[] = "/tmp/tw-fuzz-cue-XXXXXX";
	if (mkdtemp(folder) == nullptr)
		abort();
	gFolder = folder;
	atexit(RemoveFolder);
	av_log_set_level(AV_LOG_QUIET);
	std::vector<uint8> a(20 * 2352);
	for (size_t i = 0; i < a.size(); i++)
		a[i] = uint8(i * 7);
	WriteFile("a.bin", a);
	WriteFile("c.bin", std::vector<uint8>(2352, 0x11));
	size_t pcm = 15 * 2352 + 1176;
	std::vector<uint8> w = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 2,
		0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0, 'd', 'a', 't', 'a'};
	for (int i = 0; i < 4; i++)
		w.push_back(uint8(pcm >> (8 * i)));
	w.resize(w.size() + pcm, 0x22);
	WriteFile("b.wav", w);
	CCdText text;
	text.SetText(CCdText::kTitle, 0, "Album");
	text.SetText(CCdText::kTitle, 1, "One");
	std::vector<uint8> packs;
	text.Encode(1, 1, &packs);
	packs.push_back(0);
	WriteFile("t.cdt", packs);
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	if (gFolder.empty())
		MakeFolder();
	CCueSheet sheet;
	if (sheet.Parse(std::string_view(reinterpret_cast<const char*>(data), size), nullptr) != B_OK)
		return 0;
	std::shared_ptr<CDiscImage> disc;
	std::string error;
	if (CDiscImage::FromCueSheet(sheet, gFolder, &disc, &error) != B_OK) {
		if (disc != nullptr || error.empty())
			abort();
		return 0;
	}
	const auto& tracks = disc->Tracks();
	const int32 leadOut = disc->LeadOut();
	if (tracks.empty() || leadOut <= 0 || leadOut > CCueSheet::kMaxFrames - mmc::kMsfOffset)
		abort();
	if (tracks.front().number != sheet.Tracks().front().number || tracks.size() != sheet.Tracks().size())
		abort();
	for (size_t i = 0; i < tracks.size(); i++) {
		const CDiscImage::STrack& t = tracks[i];
		if (t.pregapStart > t.start || t.start >= t.end || t.indexes.empty())
			abort();
		if (i > 0 && (t.number != tracks[i - 1].number + 1 || t.pregapStart != tracks[i - 1].end))
			abort();
		for (size_t k = 1; k < t.indexes.size(); k++)
			if (t.indexes[k].first <= t.indexes[k - 1].first || t.indexes[k].second <= t.indexes[k - 1].second)
				abort();
		if (t.indexes.back().second >= t.end || disc->FindTrack(t.number) != &t)
			abort();
		for (int32 lba : {t.pregapStart, t.start, t.end - 1})
			if (lba >= 0 && disc->TrackAt(lba) != &t)
				abort();
	}
	if (tracks.back().end != leadOut || tracks.front().start < 0 || disc->TrackAt(leadOut) != nullptr)
		abort();

	// Reads around every track boundary, with and without sub-channel room.
	static std::vector<uint8> buffer(8 * (2352 + 96));
	for (const CDiscImage::STrack& t : tracks) {
		for (int32 lba : {t.pregapStart - 2, t.start - 1, t.end - 3}) {
			int32 from = std::max(0, lba);
			int32 count = std::min(4, leadOut - from);
			if (count <= 0)
				continue;
			if (disc->ReadSectors(from, count, buffer.data(), 2352) != B_OK
				|| disc->ReadSectors(from, count, buffer.data(), 2352 + 96) != B_OK)
				abort();
		}
	}
	if (disc->ReadSectors(leadOut - 1, 2, buffer.data(), 2352) == B_OK)
		abort();
	uint8 q[12];
	disc->QSubChannel(leadOut, q);
	return 0;
}
