// The rip log.
#include "extraction/RipLog.h"

#include "kit/support/Errors.h"
#include "kit/support/EscapeText.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string Format(const char* format, ...)
{
	char buffer[512];
	va_list args;
	va_start(args, format);
	std::vsnprintf(buffer, sizeof(buffer), format, args);
	va_end(args);
	return buffer;
}

// "mm:ss.ff" of a sector count.
std::string Msf(int64 sectors)
{
	return Format("%02lld:%02lld.%02lld", (long long)(sectors / 4500), (long long)(sectors / 75 % 60),
		(long long)(sectors % 75));
}

const char* SyncModeName(int32 mode)
{
	switch (mode) {
		case 0:
			return "off";
		case 1:
			return "always";
		case 2:
			return "auto";
		default:
			return "unknown";
	}
}

}   // namespace

std::string RipLog::ToText() const
{
	std::string text;
	text += EscapeControlChars(program) + " extraction log\n";
	if (!date.empty())
		text += "Date: " + EscapeControlChars(date) + "\n";
	text += "\n";
	text += "Drive: " + EscapeControlChars(drive) + "\n";
	text += Format("Read offset: %+d samples\n", int(readOffset));
	text += Format("Read sync: %s, %d sectors\n", SyncModeName(readSyncMode), int(readSyncSectors));
	text += Format("Read error retries: %d\n", int(readErrorRetrys));
	text += Format("Secure mode (each track read twice): %s\n", secureMode ? "yes" : "no");
	text += Format("Remove digital silence at beginning: %s\n", removeLeadingSilence ? "yes" : "no");
	text += "Output: " + EscapeControlChars(formatShortName) + ", " + EscapeControlChars(codecShortName) + "\n";
	text += "\n";
	if (!discArtist.empty() || !discTitle.empty())
		text += "Disc: " + EscapeControlChars(discArtist) + " / " + EscapeControlChars(discTitle) + "\n";
	if (layout.IsValid()) {
		text += "AccurateRip disc id: " + ComputeAccurateRipDiscId(layout).ToString() + "\n";
		text += Format("CDDB disc id: %08x\n", unsigned(CddbDiscId(layout)));
		text += "MusicBrainz disc id: " + MusicBrainzDiscId(layout) + "\n";
		text += "\nTable of contents\n";
		text += "Track |    Start |   Length | Start sector | End sector\n";
		for (int32 i = 0; i < layout.TrackCount(); i++) {
			int32 start = layout.trackStarts[i];
			int32 end = (i + 1 < layout.TrackCount() ? layout.trackStarts[i + 1] : layout.leadOut) - 1;
			text += Format("%5d | %s | %s | %12d | %10d%s\n", int(layout.firstTrack + i), Msf(start).c_str(),
				Msf(end - start + 1).c_str(), int(start), int(end), layout.IsDataTrack(i) ? "  (data)" : "");
		}
	}
	text += "\n";
	int32 good = 0;
	for (const RipLogTrack& track : tracks) {
		text += Format("Track %2d\n", int(track.number));
		if (!track.artist.empty() || !track.title.empty())
			text += "  Name: " + EscapeControlChars(track.artist) + " / " + EscapeControlChars(track.title) + "\n";
		if (!track.fileName.empty())
			text += "  File: " + EscapeControlChars(track.fileName) + "\n";
		text += "  Length: " + Msf(track.frames / kCddaSectorFrames) + Format(" (%lld frames)\n",
			(long long)track.frames);
		text += Format("  CRC32: %08X\n", unsigned(track.crc32));
		text += Format("  AccurateRip v1: %08X\n", unsigned(track.accurateRipV1));
		text += Format("  AccurateRip v2: %08X\n", unsigned(track.accurateRipV2));
		text += Format("  Re-reads: %d\n", int(track.rereads));
		if (readSyncMode != 0)
			text += Format("  Jitter corrections: %d\n", int(track.correctedBlocks));
		if (track.secure)
			text += Format("  Secure: %s\n", track.proven ? "both reads agree" : "reads differ");
		text += "  Result: " + EscapeControlChars(track.outcome) + "\n\n";
		if (track.outcome == "OK")
			good++;
	}
	text += Format("%d of %d tracks read without error\n", int(good), int(tracks.size()));
	return text;
}

status_t RipLog::WriteTo(const std::string& path) const
{
	std::string text = ToText();
	std::string temporary = path + ".tmp";
	int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
	if (fd < 0)
		return StatusFromErrno();
	status_t status = B_OK;
	for (size_t done = 0; done < text.size();) {
		ssize_t put = write(fd, text.data() + done, text.size() - done);
		if (put < 0) {
			if (errno == EINTR)
				continue;
			status = StatusFromErrno();
			break;
		}
		done += size_t(put);
	}
	if (close(fd) != 0 && status == B_OK)
		status = StatusFromErrno();
	if (status == B_OK && rename(temporary.c_str(), path.c_str()) != 0)
		status = StatusFromErrno();
	if (status != B_OK)
		unlink(temporary.c_str());
	return status;
}
