#include "emulator/DiscImage.h"

#include "emulator/CdText.h"
#include "emulator/MmcDefs.h"

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

bool ReadAll(int fd, uint8* buffer, size_t size, uint64 offset)
{
	size_t done = 0;
	while (done < size) {
		ssize_t n = ::pread(fd, buffer + done, size - done, off_t(offset + done));
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0)
			return false;
		done += size_t(n);
	}
	return true;
}

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

int CDiscImage::IndexAt(const STrack& track, int32 lba)
{
	int index = 0;
	for (const auto& [number, start] : track.indexes)
		if (start <= lba)
			index = number;
	return lba < track.start ? 0 : index;
}

status_t CDiscImage::OpenAudioFile(const std::string& path, CCueSheet::file_type type, SFile* file,
	std::string* error)
{
	int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
	if (fd < 0) {
		*error = "cannot open " + path;
		return B_ENTRY_NOT_FOUND;
	}
	struct stat st;
	if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
		::close(fd);
		*error = path + " is not a regular file";
		return B_BAD_DATA;
	}
	file->fd = fd;
	file->bigEndian = type == CCueSheet::kMotorola;
	file->dataOffset = 0;
	file->dataSize = uint64(st.st_size);
	if (type != CCueSheet::kWave)
		return B_OK;

	// RIFF/WAVE: walk the chunks to "fmt " and "data"; only 16-bit stereo
	// 44.1 kHz PCM is CD audio.
	uint8 header[12];
	if (st.st_size < 12 || !ReadAll(fd, header, 12, 0) || std::memcmp(header, "RIFF", 4) != 0 ||
		std::memcmp(header + 8, "WAVE", 4) != 0) {
		*error = path + " is not a WAVE file";
		return B_BAD_DATA;
	}
	uint64 offset = 12;
	bool formatOk = false;
	for (int chunks = 0; chunks < 64 && offset + 8 <= uint64(st.st_size); chunks++) {
		uint8 chunk[8];
		if (!ReadAll(fd, chunk, 8, offset))
			break;
		uint64 size = Le32(chunk + 4);
		uint64 body = offset + 8;
		if (std::memcmp(chunk, "fmt ", 4) == 0) {
			uint8 fmt[16];
			if (size < 16 || !ReadAll(fd, fmt, 16, body))
				break;
			formatOk = Le16(fmt) == 1 && Le16(fmt + 2) == 2 && Le32(fmt + 4) == 44100 && Le16(fmt + 14) == 16;
			if (!formatOk) {
				*error = path + " is not 16-bit stereo 44.1 kHz PCM";
				return B_BAD_DATA;
			}
		} else if (std::memcmp(chunk, "data", 4) == 0) {
			if (!formatOk)
				break;
			file->dataOffset = body;
			file->dataSize = std::min<uint64>(size, uint64(st.st_size) - body);
			return B_OK;
		}
		offset = body + size + (size & 1);
	}
	*error = path + ": no PCM data chunk";
	return B_BAD_DATA;
}

status_t CDiscImage::LoadCue(const std::string& cuePath, std::shared_ptr<CDiscImage>* image, std::string* error,
	const std::string& cdTextPath)
{
	std::string ignored;
	if (error == nullptr)
		error = &ignored;
	int fd = ::open(cuePath.c_str(), O_RDONLY | O_CLOEXEC);
	if (fd < 0) {
		*error = "cannot open " + cuePath;
		return B_ENTRY_NOT_FOUND;
	}
	struct stat st;
	if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || uint64(st.st_size) > kMaxCueSize) {
		::close(fd);
		*error = cuePath + " is not a CUE sheet of at most 1 MiB";
		return B_BAD_DATA;
	}
	std::string text(size_t(st.st_size), '\0');
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

	for (const CCueSheet::SFile& cueFile : sheet.Files()) {
		SFile file;
		status_t status = OpenAudioFile(Resolve(folder, cueFile.name), cueFile.type, &file, error);
		if (file.fd >= 0)
			disc->fFiles.push_back(file);
		if (status != B_OK)
			return status;
	}

	const auto& cueTracks = sheet.Tracks();
	int32 lba = 0;
	for (size_t i = 0; i < cueTracks.size(); i++) {
		const CCueSheet::STrack& cue = cueTracks[i];
		if (!cue.audio) {
			*error = "track " + std::to_string(cue.number) + " is not an audio track (" + cue.mode + ")";
			return B_BAD_DATA;
		}
		const SFile& file = disc->fFiles[size_t(cue.file)];
		int64 fileSectors = int64((file.dataSize + mmc::kAudioSectorSize - 1) / mmc::kAudioSectorSize);
		bool firstInFile = i == 0 || cueTracks[i - 1].file != cue.file;
		bool lastInFile = i + 1 == cueTracks.size() || cueTracks[i + 1].file != cue.file;
		int32 regionStart = firstInFile ? 0 : cue.indexes.front().position;
		int64 regionEnd = lastInFile ? fileSectors : cueTracks[i + 1].indexes.front().position;
		if (cue.indexes.back().position >= regionEnd || regionEnd > fileSectors) {
			*error = "track " + std::to_string(cue.number) + ": an index lies beyond the end of "
				+ sheet.Files()[size_t(cue.file)].name;
			return B_BAD_DATA;
		}
		if (int64(lba) + cue.pregap + (regionEnd - regionStart) + cue.postgap > kMaxLba) {
			*error = "the disc is longer than 99:59:74";
			return B_BAD_DATA;
		}

		STrack track;
		track.number = cue.number;
		track.control = cue.control;
		track.isrc = cue.isrc;
		int32 silenceStart = lba;
		if (cue.pregap > 0) {
			disc->fSegments.push_back({lba, cue.pregap, -1, 0});
			lba += cue.pregap;
		}
		int32 regionLba = lba;
		int32 count = int32(regionEnd - regionStart);
		disc->fSegments.push_back(
			{lba, count, cue.file, file.dataOffset + uint64(regionStart) * mmc::kAudioSectorSize});
		lba += count;
		for (const CCueSheet::SIndex& index : cue.indexes)
			if (index.number >= 1)
				track.indexes.emplace_back(index.number, regionLba + (index.position - regionStart));
		track.start = track.indexes.front().second;
		int32 index0 = cue.IndexPosition(0);
		if (cue.pregap > 0)
			track.pregapStart = silenceStart;
		else if (index0 >= 0)
			track.pregapStart = regionLba + (index0 - regionStart);
		else
			track.pregapStart = track.start;
		if (i == 0)
			track.pregapStart = track.start > 0 ? std::min(track.pregapStart, 0) : -mmc::kMsfOffset;
		if (track.pregapStart < track.start)
			track.indexes.insert(track.indexes.begin(), {0, track.pregapStart});
		if (cue.postgap > 0) {
			disc->fSegments.push_back({lba, cue.postgap, -1, 0});
			lba += cue.postgap;
		}
		disc->fTracks.push_back(std::move(track));
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
		status_t status = CCdText::LoadPacksFile(packsPath, &disc->fCdTextPacks);
		if (status != B_OK) {
			*error = "cannot use the CD-Text packs of " + packsPath;
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
