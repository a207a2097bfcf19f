#include "emulator/ImageWriter.h"

#include "kit/device/CdAddress.h"
#include "kit/device/CdText.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t kSectorBytes = kCdAudioSectorSize;
const uint8 kSilence[32 * kSectorBytes] = {};

// A position in the file as a CUE sheet writes it.
std::string Msf(int32 frames)
{
	SCdMsf msf = FramesToMsf(frames);
	char text[16];
	snprintf(text, sizeof(text), "%02d:%02d:%02d", int(msf.minute), int(msf.second), int(msf.frame));
	return text;
}

status_t ErrnoStatus(int error)
{
	return error == ENOSPC || error == EDQUOT ? B_DEVICE_FULL : B_IO_ERROR;
}

// Writes all of `length` bytes at `offset`.
bool WriteAll(int fd, const uint8* data, size_t length, off_t offset)
{
	while (length > 0) {
		ssize_t done = pwrite(fd, data, length, offset);
		if (done < 0 && errno == EINTR)
			continue;
		if (done <= 0) {
			if (done == 0)
				errno = ENOSPC;
			return false;
		}
		data += done;
		length -= size_t(done);
		offset += done;
	}
	return true;
}

}   // namespace

CImageWriter::CImageWriter() : fSwap(size_t(kChunkSectors) * kSectorBytes) {}

CImageWriter::~CImageWriter()
{
	Abandon();
}

status_t CImageWriter::Begin(const std::string& folder, std::string* error)
{
	Abandon();
	std::error_code code;
	std::filesystem::create_directories(folder, code);
	for (int n = 1; n <= 999; n++) {
		char name[32];
		snprintf(name, sizeof(name), "recording-%03d", n);
		std::string base = folder + "/" + name;
		struct stat st;
		if (lstat((base + ".bin").c_str(), &st) == 0 || lstat((base + ".cue").c_str(), &st) == 0
			|| lstat((base + ".partial.bin").c_str(), &st) == 0 || lstat((base + ".cdt").c_str(), &st) == 0)
			continue;
		std::string partial = base + ".partial.bin";
		int fd = open(partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
		if (fd < 0) {
			int saved = errno;
			if (saved == EEXIST)
				continue;
			if (error != nullptr)
				*error = "cannot create \"" + partial + "\": " + strerror(saved);
			return ErrnoStatus(saved);
		}
		fFd = fd;
		fFolder = folder;
		fName = name;
		fPartialPath = partial;
		fStoredEnd = 0;
		return B_OK;
	}
	if (error != nullptr)
		*error = "no free image name in \"" + folder + "\"";
	return B_IO_ERROR;
}

status_t CImageWriter::Store(int32 lba, const uint8* data, int32 count, bool bigEndian, std::string* error)
{
	if (fFd < 0)
		return B_NO_INIT;
	if (lba < 0) {
		int32 skip = std::min(count, -lba);
		lba += skip;
		count -= skip;
		if (data != nullptr)
			data += size_t(skip) * kSectorBytes;
	}
	while (count > 0) {
		int32 chunk = std::min(count, kChunkSectors);
		size_t bytes = size_t(chunk) * kSectorBytes;
		const uint8* source = data != nullptr ? data : kSilence;
		if (data != nullptr && bigEndian) {
			for (size_t i = 0; i + 1 < bytes; i += 2) {
				fSwap[i] = data[i + 1];
				fSwap[i + 1] = data[i];
			}
			source = fSwap.data();
		}
		if (!WriteAll(fFd, source, bytes, off_t(lba) * off_t(kSectorBytes))) {
			int saved = errno;
			if (error != nullptr)
				*error = "cannot write \"" + fPartialPath + "\": " + strerror(saved);
			return ErrnoStatus(saved);
		}
		fStoredEnd = std::max<int64>(fStoredEnd, int64(lba) + chunk);
		lba += chunk;
		count -= chunk;
		if (data != nullptr)
			data += bytes;
	}
	return B_OK;
}

namespace {

// A CUE line `keyword "text"` for ISO 8859-1 `latin1`, or nothing for an
// empty text. The bytes stay ISO 8859-1, as CUE readers take them.
std::string CueTextLine(const char* indent, const char* keyword, const std::string& latin1)
{
	if (latin1.empty())
		return std::string();
	std::string line = std::string(indent) + keyword + " \"";
	for (char c : latin1)
		line += c == '"' ? '\'' : uint8(c) < 0x20 ? ' ' : c;
	return line + "\"\n";
}

}   // namespace

std::string CImageWriter::CueText(const SWrittenDisc& disc, const std::string& binName,
	const std::string& cdTextName)
{
	CCdText::SBlock block;
	bool texts = !disc.cdTextPacks.empty()
		&& CCdText::Decode(disc.cdTextPacks.data(), disc.cdTextPacks.size() / CCdText::kPackSize, &block);
	auto textOf = [&](uint8 type, int track) -> std::string {
		const size_t index = size_t(type - CCdText::kTitle);
		if (!texts || block.doubleByte[index] || track < 0 || track > CCdText::kMaxTrack)
			return std::string();
		return block.texts[index][size_t(track)];
	};
	std::string text;
	if (!disc.mcn.empty())
		text += "CATALOG " + disc.mcn + "\n";
	if (!cdTextName.empty())
		text += "CDTEXTFILE \"" + cdTextName + "\"\n";
	text += CueTextLine("", "TITLE", textOf(CCdText::kTitle, 0));
	text += CueTextLine("", "PERFORMER", textOf(CCdText::kPerformer, 0));
	text += "FILE \"" + binName + "\" BINARY\n";
	for (const SWrittenDisc::STrack& track : disc.tracks) {
		char line[64];
		snprintf(line, sizeof(line), "  TRACK %02d AUDIO\n", track.number);
		text += line;
		text += CueTextLine("    ", "TITLE", textOf(CCdText::kTitle, track.number));
		text += CueTextLine("    ", "PERFORMER", textOf(CCdText::kPerformer, track.number));
		std::string flags;
		if ((track.control & 0x02) != 0)
			flags += " DCP";
		if ((track.control & 0x08) != 0)
			flags += " 4CH";
		if ((track.control & 0x01) != 0)
			flags += " PRE";
		if (!flags.empty())
			text += "    FLAGS" + flags + "\n";
		if (!track.isrc.empty())
			text += "    ISRC " + track.isrc + "\n";
		// The file starts at LBA 0: a pregap before it is not stored.
		int32 pregap = std::max(track.pregapStart, 0);
		if (pregap < track.start)
			text += "    INDEX 00 " + Msf(pregap) + "\n";
		for (const auto& index : track.indexes) {
			snprintf(line, sizeof(line), "    INDEX %02d ", index.first);
			text += line + Msf(index.second) + "\n";
		}
	}
	return text;
}

status_t CImageWriter::Finish(const SWrittenDisc& disc, std::string* cuePath, std::string* error)
{
	if (fFd < 0)
		return B_NO_INIT;
	// The BIN holds every sector up to the lead-out, silence included.
	status_t status = B_OK;
	if (ftruncate(fFd, off_t(std::max(disc.leadOut, 0)) * off_t(kSectorBytes)) != 0 || fsync(fFd) != 0) {
		int saved = errno;
		if (error != nullptr)
			*error = "cannot complete \"" + fPartialPath + "\": " + strerror(saved);
		status = ErrnoStatus(saved);
	}
	close(fFd);
	fFd = -1;
	if (status != B_OK)
		return status;

	std::string base = fFolder + "/" + fName;
	std::string bin = base + ".bin";
	std::string cue = base + ".cue";
	std::string temporary = base + ".cue.tmp";
	std::string cdText = disc.cdTextPacks.empty() ? std::string() : fName + ".cdt";
	std::string text = CueText(disc, fName + ".bin", cdText);
	auto fail = [&](const std::string& what) {
		int saved = errno;
		if (error != nullptr)
			*error = what + ": " + strerror(saved);
		unlink(temporary.c_str());
		return ErrnoStatus(saved);
	};
	if (!cdText.empty()) {
		// The packs first: the CUE that names them comes last.
		std::string packsPath = fFolder + "/" + cdText;
		int fd = open(packsPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
		if (fd < 0)
			return fail("cannot create \"" + packsPath + "\"");
		bool written = WriteAll(fd, disc.cdTextPacks.data(), disc.cdTextPacks.size(), 0) && fsync(fd) == 0;
		close(fd);
		if (!written)
			return fail("cannot write \"" + packsPath + "\"");
	}
	int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
	if (fd < 0)
		return fail("cannot create \"" + temporary + "\"");
	bool written = WriteAll(fd, reinterpret_cast<const uint8*>(text.data()), text.size(), 0) && fsync(fd) == 0;
	close(fd);
	if (!written)
		return fail("cannot write \"" + temporary + "\"");
	if (rename(fPartialPath.c_str(), bin.c_str()) != 0)
		return fail("cannot rename \"" + fPartialPath + "\"");
	if (rename(temporary.c_str(), cue.c_str()) != 0) {
		status_t failed = fail("cannot rename \"" + temporary + "\"");
		rename(bin.c_str(), fPartialPath.c_str());
		return failed;
	}
	if (cuePath != nullptr)
		*cuePath = cue;
	return B_OK;
}

void CImageWriter::Abandon()
{
	if (fFd >= 0) {
		close(fFd);
		fFd = -1;
	}
}
