#include "emulator/DiscImage.h"

#include "kit/device/CdText.h"
#include "kit/device/ImageFile.h"
#include "emulator/MmcDefs.h"
#include "emulator/SoundFileDecoder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr size_t kMaxCueSize = 1 << 20;
// The last LBA a CD can address is 99:59:74.
constexpr int32 kMaxLba = CCueSheet::kMaxFrames - mmc::kMsfOffset;

std::string FolderOf(const std::string& path)
{
	size_t slash = path.rfind('/');
	if (slash == std::string::npos)
		return ".";
	if (slash == 0)
		return "/";
	return path.substr(0, slash);
}

std::string Resolve(const std::string& folder, const std::string& name)
{
	if (!name.empty() && name[0] == '/')
		return name;
	return folder + "/" + name;
}

using image_file::ReadAll;

uint32 Le32(const uint8* p) { return uint32(p[0]) | uint32(p[1]) << 8 | uint32(p[2]) << 16 | uint32(p[3]) << 24; }
uint16 Le16(const uint8* p) { return uint16(p[0] | p[1] << 8); }

}   // namespace

CDiscImage::~CDiscImage()
{
	for (SFile& file : fFiles)
		if (file.fd >= 0)
			::close(file.fd);
}

std::shared_ptr<CDiscImage> CDiscImage::CreateBlank(medium_kind kind, int minutes)
{
	if ((kind != kBlankCdR && kind != kBlankCdRw) || minutes < 1 || minutes > 99)
		return nullptr;
	std::shared_ptr<CDiscImage> image(new CDiscImage);
	image->fKind = kind;
	image->fStatus = kStatusEmpty;
	image->fLastPossibleLeadOut = minutes * 60 * mmc::kFramesPerSecond - 1 - mmc::kMsfOffset;
	image->fLeadInStart = minutes > 74 ? mmc::MsfToLba(97, 15, 0) : mmc::MsfToLba(97, 26, 66);
	return image;
}

void CDiscImage::SetRecordedOn(const CDiscImage& blank)
{
	fKind = blank.fKind;
	fStatus = kStatusComplete;
	fLeadInStart = blank.fLeadInStart;
	fLastPossibleLeadOut = blank.fLastPossibleLeadOut;
}

const CDiscImage::STrack* CDiscImage::FindTrack(int number) const
{
	for (const STrack& track : fTracks)
		if (track.number == number)
			return &track;
	return nullptr;
}

const CDiscImage::STrack* CDiscImage::TrackAt(int32 lba) const
{
	for (const STrack& track : fTracks)
		if (lba >= track.pregapStart && lba < track.end)
			return &track;
	return nullptr;
}

const std::string& CDiscImage::Isrc(int trackNumber) const
{
	static const std::string kNone;
	const STrack* track = FindTrack(trackNumber);
	return track != nullptr ? track->isrc : kNone;
}

int CDiscImage::IndexAt(const STrack& track, int32 lba)
{
	int index = 0;
	for (const auto& [number, start] : track.indexes)
		if (start <= lba)
			index = number;
	return lba < track.start ? 0 : index;
}

status_t CDiscImage::OpenAudioFile(const std::string& path, const std::string& name,
	CCueSheet::file_type type, SFile* file, std::string* error)
{
	int fd;
	uint64 size;
	status_t status = image_file::OpenRegular(path, &fd, &size, error);
	if (status != B_OK)
		return status;
	file->fd = fd;
	file->bigEndian = type == CCueSheet::kMotorola;
	file->dataOffset = 0;
	file->dataSize = size;
	if (type == CCueSheet::kBinary || type == CCueSheet::kMotorola)
		return B_OK;

	uint8 header[12];
	bool riff = size >= 12 && ReadAll(fd, header, 12, 0) && std::memcmp(header, "RIFF", 4) == 0
		&& std::memcmp(header + 8, "WAVE", 4) == 0;
	if (type != CCueSheet::kWave || !riff) {
		// AIFF, FLAC, MP3, or a sound file of another kind named as WAVE
		// (rippers do so for FLAC): decoded once, read from the samples.
		::close(fd);
		file->fd = -1;
		return DecodeSoundFile(path, name, uint64(CCueSheet::kMaxFrames) * mmc::kAudioSectorSize, &file->fd,
			&file->dataSize, error);
	}

	// RIFF/WAVE: walk the chunks to "fmt " and "data". Only 16-bit stereo
	// 44.1 kHz PCM (plain or in the extensible format) is CD audio.
	uint64 offset = 12;
	bool formatOk = false;
	for (int chunks = 0; chunks < 64 && offset + 8 <= size; chunks++) {
		uint8 chunk[8];
		if (!ReadAll(fd, chunk, 8, offset))
			break;
		uint64 chunkSize = Le32(chunk + 4);
		uint64 body = offset + 8;
		if (std::memcmp(chunk, "fmt ", 4) == 0) {
			uint8 fmt[40] = {};
			if (chunkSize < 16 || !ReadAll(fd, fmt, size_t(std::min<uint64>(chunkSize, 40)), body))
				break;
			uint16 tag = Le16(fmt);
			if (tag == 0xFFFE && chunkSize >= 40)
				tag = Le16(fmt + 24);   // the sub-format's first two bytes
			formatOk = tag == 1 && Le16(fmt + 2) == 2 && Le32(fmt + 4) == 44100 && Le16(fmt + 14) == 16;
			if (!formatOk) {
				*error = name + kNotCdAudio;
				return B_BAD_DATA;
			}
		} else if (std::memcmp(chunk, "data", 4) == 0) {
			if (!formatOk)
				break;
			file->dataOffset = body;
			file->dataSize = std::min<uint64>(chunkSize, size - body);
			return B_OK;
		}
		offset = body + chunkSize + (chunkSize & 1);
	}
	*error = name + ": no PCM data chunk";
	return B_BAD_DATA;
}

status_t CDiscImage::LoadCue(const std::string& cuePath, std::shared_ptr<CDiscImage>* image, std::string* error,
	const std::string& cdTextPath)
{
	std::string ignored;
	if (error == nullptr)
		error = &ignored;
	int fd;
	uint64 size;
	status_t status = image_file::OpenRegular(cuePath, &fd, &size, error);
	if (status != B_OK)
		return status;
	if (size > kMaxCueSize) {
		::close(fd);
		*error = cuePath + " is not a CUE sheet of at most 1 MiB";
		return B_BAD_DATA;
	}
	std::string text(size_t(size), '\0');
	bool ok = ReadAll(fd, reinterpret_cast<uint8*>(text.data()), text.size(), 0);
	::close(fd);
	if (!ok) {
		*error = "cannot read " + cuePath;
		return B_IO_ERROR;
	}
	CCueSheet sheet;
	std::string parseError;
	if (sheet.Parse(text, &parseError) != B_OK) {
		*error = cuePath + ": " + parseError;
		return B_BAD_DATA;
	}
	return FromCueSheet(sheet, FolderOf(cuePath), image, error, cdTextPath);
}

status_t CDiscImage::FromCueSheet(const CCueSheet& sheet, const std::string& folder,
	std::shared_ptr<CDiscImage>* image, std::string* error, const std::string& cdTextPath)
{
	std::string ignored;
	if (error == nullptr)
		error = &ignored;
	std::shared_ptr<CDiscImage> disc(new CDiscImage);
	disc->fKind = kAudioDisc;
	disc->fStatus = kStatusComplete;
	disc->fCatalog = sheet.Catalog();

	const auto& cueFiles = sheet.Files();
	std::vector<int64> fileSectors;
	for (const CCueSheet::SFile& cueFile : cueFiles) {
		SFile file;
		std::string path = Resolve(folder, cueFile.name);
		status_t status = OpenAudioFile(path, path, cueFile.type, &file, error);
		if (file.fd >= 0)
			disc->fFiles.push_back(file);
		if (status != B_OK)
			return status;
		fileSectors.push_back(int64((file.dataSize + mmc::kAudioSectorSize - 1) / mmc::kAudioSectorSize));
	}

	// The disc is the files one after the other, index positions counting
	// from the start of their own file, with the generated silence of
	// PREGAP and POSTGAP inserted. `cursorFile`/`cursorSector` is the first
	// sector of the files not yet laid out.
	int32 lba = 0;
	size_t cursorFile = 0;
	int64 cursorSector = 0;
	bool tooLong = false;
	auto lay = [&](int32 count, int fileIndex, uint64 offset) {
		if (count <= 0)
			return;
		if (int64(lba) + count > kMaxLba) {
			tooLong = true;
			return;
		}
		disc->fSegments.push_back({lba, count, fileIndex, offset});
		lba += count;
	};
	auto layFilesUpTo = [&](size_t fileIndex, int64 sector) {
		while (!tooLong && cursorFile <= fileIndex && cursorFile < cueFiles.size()) {
			int64 end = cursorFile == fileIndex ? sector : fileSectors[cursorFile];
			const SFile& file = disc->fFiles[cursorFile];
			lay(int32(std::min<int64>(end - cursorSector, kMaxLba + 1)), int(cursorFile),
				file.dataOffset + uint64(cursorSector) * mmc::kAudioSectorSize);
			if (cursorFile == fileIndex) {
				cursorSector = sector;
				break;
			}
			cursorFile++;
			cursorSector = 0;
		}
	};

	const auto& cueTracks = sheet.Tracks();
	for (size_t i = 0; i < cueTracks.size() && !tooLong; i++) {
		const CCueSheet::STrack& cue = cueTracks[i];
		if (!cue.audio) {
			*error = "track " + std::to_string(cue.number) + " is not an audio track (" + cue.mode + ")";
			return B_BAD_DATA;
		}
		STrack track;
		track.number = cue.number;
		track.control = cue.control;
		track.isrc = cue.isrc;
		int32 silenceStart = -1;
		int32 index0 = -1;
		for (size_t k = 0; k < cue.indexes.size(); k++) {
			const CCueSheet::SIndex& index = cue.indexes[k];
			if (index.position >= fileSectors[size_t(index.file)]) {
				*error = "track " + std::to_string(cue.number) + ": an index lies beyond the end of "
					+ cueFiles[size_t(index.file)].name;
				return B_BAD_DATA;
			}
			layFilesUpTo(size_t(index.file), index.position);
			if (k == 0) {
				// The previous track ends here, then its postgap, then this
				// track's pregap.
				if (i > 0)
					lay(cueTracks[i - 1].postgap, -1, 0);
				silenceStart = lba;
				lay(cue.pregap, -1, 0);
			}
			if (index.number == 0)
				index0 = lba;
			else
				track.indexes.emplace_back(index.number, lba);
		}
		track.start = track.indexes.front().second;
		if (cue.pregap > 0)
			track.pregapStart = silenceStart;
		else if (index0 >= 0)
			track.pregapStart = index0;
		else
			track.pregapStart = track.start;
		if (i == 0)
			track.pregapStart = track.start > 0 ? std::min(track.pregapStart, 0) : -mmc::kMsfOffset;
		if (track.pregapStart < track.start)
			track.indexes.insert(track.indexes.begin(), {0, track.pregapStart});
		disc->fTracks.push_back(std::move(track));
	}
	if (!cueFiles.empty())
		layFilesUpTo(cueFiles.size() - 1, fileSectors.back());
	if (!cueTracks.empty())
		lay(cueTracks.back().postgap, -1, 0);
	if (tooLong) {
		*error = "the disc is longer than 99:59:74";
		return B_BAD_DATA;
	}
	disc->fLeadOut = lba;
	for (size_t i = 0; i < disc->fTracks.size(); i++)
		disc->fTracks[i].end = i + 1 < disc->fTracks.size() ? disc->fTracks[i + 1].pregapStart : lba;
	for (const STrack& track : disc->fTracks)
		if (track.end <= track.start) {
			*error = "track " + std::to_string(track.number) + " is empty";
			return B_BAD_DATA;
		}

	// CD-Text.
	std::string packsPath = !cdTextPath.empty() ? cdTextPath
		: !sheet.CdTextFile().empty()           ? Resolve(folder, sheet.CdTextFile())
												: std::string();
	if (!packsPath.empty()) {
		std::string why;
		status_t status = CCdText::LoadPacksFile(packsPath, &disc->fCdTextPacks, &why);
		if (status != B_OK) {
			*error = "cannot use the CD-Text packs: " + why;
			return status;
		}
	} else {
		CCdText text;
		for (int field = 0; field < CCueSheet::kTextCount; field++) {
			uint8 type = uint8(CCdText::kTitle + field);
			text.SetText(type, 0, CCdText::ToLatin1(sheet.DiscText()[size_t(field)]));
			for (const CCueSheet::STrack& cue : cueTracks)
				text.SetText(type, cue.number, CCdText::ToLatin1(cue.text[size_t(field)]));
		}
		if (text.Encode(disc->FirstTrack(), disc->LastTrack(), &disc->fCdTextPacks) != B_OK) {
			*error = "the CD-Text of the sheet does not fit into one block of packs";
			return B_BAD_DATA;
		}
	}

	*image = std::move(disc);
	return B_OK;
}

status_t CDiscImage::ReadSectors(int32 lba, int32 count, uint8* buffer, size_t stride) const
{
	if (count < 0 || lba < 0 || int64(lba) + count > fLeadOut || stride < mmc::kAudioSectorSize)
		return B_BAD_VALUE;
	if (count == 0)
		return B_OK;
	// The first segment that ends after lba.
	auto segment = std::upper_bound(fSegments.begin(), fSegments.end(), lba,
		[](int32 value, const SSegment& s) { return value < s.start + s.count; });
	int32 done = 0;
	while (done < count && segment != fSegments.end()) {
		int32 current = lba + done;
		int32 inSegment = current - segment->start;
		int32 n = std::min(count - done, segment->count - inSegment);
		uint8* out = buffer + size_t(done) * stride;
		if (segment->file < 0) {
			for (int32 k = 0; k < n; k++)
				std::memset(out + size_t(k) * stride, 0, mmc::kAudioSectorSize);
		} else {
			const SFile& file = fFiles[size_t(segment->file)];
			uint64 offset = segment->offset + uint64(inSegment) * mmc::kAudioSectorSize;
			uint64 dataEnd = file.dataOffset + file.dataSize;
			// Contiguous output: one read for the run; else sector by sector.
			int32 runs = stride == mmc::kAudioSectorSize ? 1 : n;
			size_t runBytes = stride == mmc::kAudioSectorSize ? size_t(n) * mmc::kAudioSectorSize
															  : mmc::kAudioSectorSize;
			for (int32 r = 0; r < runs; r++) {
				uint8* dst = out + size_t(r) * stride;
				uint64 from = offset + uint64(r) * mmc::kAudioSectorSize;
				size_t available = from >= dataEnd ? 0 : size_t(std::min<uint64>(runBytes, dataEnd - from));
				if (available > 0 && !ReadAll(file.fd, dst, available, from))
					return B_IO_ERROR;
				// A file that ends inside its last sector reads as silence after.
				if (available < runBytes)
					std::memset(dst + available, 0, runBytes - available);
				if (file.bigEndian)
					for (size_t b = 0; b + 1 < runBytes; b += 2)
						std::swap(dst[b], dst[b + 1]);
			}
		}
		done += n;
		++segment;
	}
	return done == count ? B_OK : B_BAD_VALUE;
}

void CDiscImage::QSubChannel(int32 lba, uint8* q) const
{
	std::memset(q, 0, 12);
	const STrack* track = TrackAt(lba);
	uint8 control = 0;
	uint8 number = 0xAA;
	uint8 index = 1;
	int32 relative = lba - fLeadOut;
	if (track != nullptr) {
		control = track->control;
		number = mmc::ToBcd(uint32(track->number));
		index = mmc::ToBcd(uint32(IndexAt(*track, lba)));
		relative = lba - track->start;
	} else if (!fTracks.empty() && lba < fTracks.front().pregapStart) {
		control = fTracks.front().control;
		number = mmc::ToBcd(uint32(fTracks.front().number));
		index = 0;
		relative = lba - fTracks.front().start;
	}
	mmc::SMsf rel = mmc::FramesToMsf(relative);
	mmc::SMsf abs = mmc::LbaToMsf(lba);
	q[0] = uint8(control << 4 | 0x01);
	q[1] = number;
	q[2] = index;
	q[3] = mmc::ToBcd(rel.minute);
	q[4] = mmc::ToBcd(rel.second);
	q[5] = mmc::ToBcd(rel.frame);
	q[6] = 0;
	q[7] = mmc::ToBcd(abs.minute);
	q[8] = mmc::ToBcd(abs.second);
	q[9] = mmc::ToBcd(abs.frame);
	uint16 crc = CCdText::Crc16(q, 10);
	q[10] = uint8(crc >> 8);
	q[11] = uint8(crc);
}
