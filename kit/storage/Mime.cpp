// MIME types: the recorded type attribute and recognition by content and
// name. The recognisers read only inside the bytes they are given.
#include "kit/storage/Mime.h"

#include "kit/storage/Directory.h"
#include "kit/storage/Entry.h"
#include "kit/support/TypeConstants.h"

#include <algorithm>
#include <initializer_list>
#include <cstring>
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

const char* const B_DIRECTORY_MIME_TYPE = "application/x-vnd.Be-directory";
const char* const B_SYMLINK_MIME_TYPE = "application/x-vnd.Be-symlink";
const char* const B_FILE_MIME_TYPE = "application/octet-stream";

namespace {

const char* const kTypeAttr = "BEOS:TYPE";
constexpr size_t kSniffSize = 4096;

bool Has(const uint8* data, size_t size, size_t offset, const char* magic)
{
	size_t length = strlen(magic);
	return offset <= size && size - offset >= length && memcmp(data + offset, magic, length) == 0;
}

uint32 BigEndian32(const uint8* p)
{
	return (uint32(p[0]) << 24) | (uint32(p[1]) << 16) | (uint32(p[2]) << 8) | uint32(p[3]);
}

// The length of the ID3v2 tag at the start of data (header and footer
// included), or 0 when there is none.
size_t Id3v2Length(const uint8* data, size_t size)
{
	if (!Has(data, size, 0, "ID3") || size < 10)
		return 0;
	if (data[3] == 0xff || data[4] == 0xff)
		return 0;
	for (int i = 6; i < 10; i++) {
		if (data[i] & 0x80)
			return 0;
	}
	size_t length = (size_t(data[6]) << 21) | (size_t(data[7]) << 14) | (size_t(data[8]) << 7) | size_t(data[9]);
	length += 10;
	if (data[5] & 0x10)
		length += 10;   // footer
	return length;
}

// An MPEG audio frame header at p: true with the frame's length in bytes.
// Free-format frames (bit-rate index 0) are not accepted: their length
// cannot be checked.
bool MpegFrame(const uint8* p, size_t available, size_t* frameLength)
{
	if (available < 4 || p[0] != 0xff || (p[1] & 0xe0) != 0xe0)
		return false;
	int version = (p[1] >> 3) & 3;   // 0: 2.5, 1: reserved, 2: 2, 3: 1
	int layer = (p[1] >> 1) & 3;     // 1: III, 2: II, 3: I
	int bitrateIndex = p[2] >> 4;
	int rateIndex = (p[2] >> 2) & 3;
	int padding = (p[2] >> 1) & 1;
	if (version == 1 || layer == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
		return false;
	static const int kRates[3][3] = {{11025, 12000, 8000}, {22050, 24000, 16000}, {44100, 48000, 32000}};
	static const int kBitrates[5][14] = {
		{32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},   // V1 L1
		{32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},      // V1 L2
		{32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},       // V1 L3
		{32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},      // V2 L1
		{8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},           // V2 L2, L3
	};
	bool v1 = version == 3;
	int rate = kRates[version == 0 ? 0 : version - 1][rateIndex];
	int table = v1 ? (layer == 3 ? 0 : layer == 2 ? 1 : 2) : (layer == 3 ? 3 : 4);
	long bitrate = long(kBitrates[table][bitrateIndex - 1]) * 1000;
	long length;
	if (layer == 3)
		length = (12 * bitrate / rate + padding) * 4;
	else if (layer == 1 && !v1)
		length = 72 * bitrate / rate + padding;
	else
		length = 144 * bitrate / rate + padding;
	if (length < 4)
		return false;
	*frameLength = size_t(length);
	return true;
}

const char* SniffMpeg(const uint8* data, size_t size)
{
	size_t length = 0;
	if (!MpegFrame(data, size, &length))
		return nullptr;
	if (length < size && size - length >= 4) {
		size_t next = 0;
		if (!MpegFrame(data + length, size - length, &next))
			return nullptr;
	}
	return "audio/mpeg";
}

const char* SniffOgg(const uint8* data, size_t size)
{
	if (size < 27 || data[4] != 0)
		return "application/ogg";
	size_t payload = 27 + size_t(data[26]);
	if (Has(data, size, payload, "OpusHead"))
		return "audio/opus";
	if (Has(data, size, payload, "\x01vorbis") || Has(data, size, payload, "\x7f" "FLAC")
		|| Has(data, size, payload, "Speex   "))
		return "audio/ogg";
	if (Has(data, size, payload, "\x80theora"))
		return "video/ogg";
	return "application/ogg";
}

bool ExtensionIs(const char* fileName, std::initializer_list<const char*> extensions)
{
	if (fileName == nullptr)
		return false;
	const char* dot = strrchr(fileName, '.');
	if (dot == nullptr || strchr(dot, '/') != nullptr)
		return false;
	for (const char* extension : extensions) {
		if (strcasecmp(dot + 1, extension) == 0)
			return true;
	}
	return false;
}

const char* SniffMp4(const uint8* data, size_t size, const char* fileName)
{
	if (Has(data, size, 8, "M4A ") || Has(data, size, 8, "M4B ") || Has(data, size, 8, "M4P ")
		|| Has(data, size, 8, "M4R "))
		return "audio/mp4";
	if (Has(data, size, 8, "qt  "))
		return "video/quicktime";
	if (Has(data, size, 8, "3gp") || Has(data, size, 8, "3g2"))
		return "video/3gpp";
	// Compatible brands follow the minor version, up to the box's end.
	size_t boxEnd = std::min<size_t>(BigEndian32(data), size);
	for (size_t offset = 16; offset + 4 <= boxEnd; offset += 4) {
		if (memcmp(data + offset, "M4A ", 4) == 0)
			return "audio/mp4";
	}
	if (ExtensionIs(fileName, {"m4a", "m4b", "m4r", "m4p"}))
		return "audio/mp4";
	return "video/mp4";
}

const char* SniffMatroska(const uint8* data, size_t size, const char* fileName)
{
	bool webm = false;
	size_t limit = std::min<size_t>(size, 64);
	for (size_t i = 0; i + 4 <= limit; i++) {
		if (memcmp(data + i, "webm", 4) == 0)
			webm = true;
	}
	if (webm)
		return ExtensionIs(fileName, {"weba"}) ? "audio/webm" : "video/webm";
	return ExtensionIs(fileName, {"mka"}) ? "audio/x-matroska" : "video/x-matroska";
}

const char* SniffContent(const uint8* data, size_t size, const char* fileName, int depth)
{
	if (size == 0)
		return nullptr;
	if ((Has(data, size, 0, "RIFF") || Has(data, size, 0, "RF64") || Has(data, size, 0, "BW64"))
		&& Has(data, size, 8, "WAVE"))
		return "audio/x-wav";
	if (Has(data, size, 0, "RIFF") && Has(data, size, 8, "AVI "))
		return "video/x-msvideo";
	if (Has(data, size, 0, "FORM") && (Has(data, size, 8, "AIFF") || Has(data, size, 8, "AIFC")))
		return "audio/x-aiff";
	if (Has(data, size, 0, "fLaC"))
		return "audio/flac";
	if (Has(data, size, 0, "OggS"))
		return SniffOgg(data, size);
	if (Has(data, size, 4, "ftyp"))
		return SniffMp4(data, size, fileName);
	if (Has(data, size, 0, "\x30\x26\xb2\x75\x8e\x66\xcf\x11"))
		return ExtensionIs(fileName, {"wma"}) ? "audio/x-ms-wma" : "video/x-ms-asf";
	if (Has(data, size, 0, "\x1a\x45\xdf\xa3"))
		return SniffMatroska(data, size, fileName);
	if (Has(data, size, 0, "MAC "))
		return "audio/x-ape";
	if (Has(data, size, 0, "wvpk"))
		return "audio/x-wavpack";
	if (Has(data, size, 0, "MPCK") || Has(data, size, 0, "MP+"))
		return "audio/x-musepack";
	if (Has(data, size, 0, "caff"))
		return "audio/x-caf";
	if (Has(data, size, 0, ".snd"))
		return "audio/basic";
	if (Has(data, size, 0, "MThd"))
		return "audio/midi";
	if (Has(data, size, 0, "#!AMR"))
		return "audio/amr";
	if (Has(data, size, 0, "ADIF"))
		return "audio/aac";
	size_t tag = Id3v2Length(data, size);
	if (tag > 0) {
		// What follows the tag decides; a tag longer than the bytes at hand
		// is taken as MP3 unless the name says otherwise.
		if (tag < size && depth < 4) {
			const char* inner = SniffContent(data + tag, size - tag, fileName, depth + 1);
			if (inner != nullptr && (strcmp(inner, "audio/flac") == 0 || strcmp(inner, "audio/aac") == 0
					|| strcmp(inner, "audio/mpeg") == 0))
				return inner;
		} else if (ExtensionIs(fileName, {"flac"})) {
			return "audio/flac";
		} else if (ExtensionIs(fileName, {"aac"})) {
			return "audio/aac";
		}
		return "audio/mpeg";
	}
	if (size >= 4 && data[0] == 0xff && (data[1] & 0xf6) == 0xf0 && ((data[2] >> 2) & 0x0f) < 13)
		return "audio/aac";
	if (const char* mpeg = SniffMpeg(data, size))
		return mpeg;
	if (Has(data, size, 0, "%PDF-"))
		return "application/pdf";
	if (Has(data, size, 0, "\x89PNG\r\n\x1a\n"))
		return "image/png";
	if (Has(data, size, 0, "\xff\xd8\xff"))
		return "image/jpeg";
	if (Has(data, size, 0, "GIF87a") || Has(data, size, 0, "GIF89a"))
		return "image/gif";
	if (Has(data, size, 0, "PK\x03\x04"))
		return "application/zip";
	return nullptr;
}

// Text: no NUL and almost no control characters (a cut multi-byte
// character at the end is allowed).
bool LooksLikeText(const uint8* data, size_t size)
{
	if (size == 0)
		return false;
	size_t controls = 0;
	for (size_t i = 0; i < size; i++) {
		uint8 c = data[i];
		if (c == 0)
			return false;
		if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f')
			controls++;
	}
	return controls * 100 < size;
}

}   // namespace

// #pragma mark - BNodeInfo

BNodeInfo::BNodeInfo() = default;

BNodeInfo::BNodeInfo(BNode* node)
{
	SetTo(node);
}

status_t BNodeInfo::SetTo(BNode* node)
{
	fNode = nullptr;
	if (node == nullptr || node->InitCheck() != B_OK)
		return fStatus = B_BAD_VALUE;
	fNode = node;
	return fStatus = B_OK;
}

status_t BNodeInfo::GetType(std::string* type) const
{
	if (type == nullptr)
		return B_BAD_VALUE;
	if (fStatus != B_OK)
		return fStatus;
	std::string value;
	status_t status = fNode->ReadAttrString(kTypeAttr, &value);
	if (status != B_OK)
		return status;
	if (value.empty())
		return B_ENTRY_NOT_FOUND;
	if (value.size() >= size_t(B_MIME_TYPE_LENGTH))
		return B_BAD_DATA;
	*type = std::move(value);
	return B_OK;
}

status_t BNodeInfo::GetType(char* type) const
{
	if (type == nullptr)
		return B_BAD_VALUE;
	std::string value;
	status_t status = GetType(&value);
	if (status != B_OK)
		return status;
	memcpy(type, value.c_str(), value.size() + 1);
	return B_OK;
}

status_t BNodeInfo::SetType(const char* type)
{
	if (fStatus != B_OK)
		return fStatus;
	if (type == nullptr || type[0] == '\0') {
		status_t status = fNode->RemoveAttr(kTypeAttr);
		return status == B_ENTRY_NOT_FOUND ? B_OK : status;
	}
	size_t length = strlen(type);
	if (length >= size_t(B_MIME_TYPE_LENGTH))
		return B_BAD_VALUE;
	ssize_t written = fNode->WriteAttr(kTypeAttr, B_MIME_TYPE, 0, type, length + 1);
	if (written < 0)
		return status_t(written);
	return B_OK;
}

// #pragma mark - recognition

const char* mime_type_for_extension(const char* fileName)
{
	struct Extension {
		const char* extension;
		const char* type;
	};
	static const Extension kExtensions[] = {
		{"wav", "audio/x-wav"}, {"wave", "audio/x-wav"}, {"aif", "audio/x-aiff"}, {"aiff", "audio/x-aiff"},
		{"aifc", "audio/x-aiff"}, {"flac", "audio/flac"}, {"mp3", "audio/mpeg"}, {"mp2", "audio/mpeg"},
		{"mpga", "audio/mpeg"}, {"ogg", "audio/ogg"}, {"oga", "audio/ogg"}, {"opus", "audio/opus"},
		{"m4a", "audio/mp4"}, {"m4b", "audio/mp4"}, {"m4r", "audio/mp4"}, {"aac", "audio/aac"},
		{"wma", "audio/x-ms-wma"}, {"mka", "audio/x-matroska"}, {"ape", "audio/x-ape"},
		{"wv", "audio/x-wavpack"}, {"mpc", "audio/x-musepack"}, {"au", "audio/basic"},
		{"snd", "audio/basic"}, {"mid", "audio/midi"}, {"midi", "audio/midi"}, {"caf", "audio/x-caf"},
		{"amr", "audio/amr"}, {"weba", "audio/webm"}, {"mp4", "video/mp4"}, {"mkv", "video/x-matroska"},
		{"webm", "video/webm"}, {"avi", "video/x-msvideo"}, {"mov", "video/quicktime"},
		{"txt", "text/plain"}, {"cue", "application/x-cue"}, {"pdf", "application/pdf"},
		{"png", "image/png"}, {"jpg", "image/jpeg"}, {"jpeg", "image/jpeg"}, {"gif", "image/gif"},
	};
	if (fileName == nullptr)
		return nullptr;
	const char* slash = strrchr(fileName, '/');
	const char* leaf = slash != nullptr ? slash + 1 : fileName;
	const char* dot = strrchr(leaf, '.');
	if (dot == nullptr || dot == leaf || dot[1] == '\0')
		return nullptr;
	for (const Extension& entry : kExtensions) {
		if (strcasecmp(dot + 1, entry.extension) == 0)
			return entry.type;
	}
	return nullptr;
}

const char* sniff_mime_type(const void* data, size_t size, const char* fileName)
{
	const uint8* bytes = static_cast<const uint8*>(data);
	if (bytes == nullptr)
		size = 0;
	if (const char* type = SniffContent(bytes, size, fileName, 0))
		return type;
	if (const char* type = mime_type_for_extension(fileName))
		return type;
	if (LooksLikeText(bytes, size))
		return "text/plain";
	return nullptr;
}

status_t get_file_mime_type(const char* path, std::string* type, bool traverse)
{
	if (path == nullptr || type == nullptr)
		return B_BAD_VALUE;
	BEntry entry(path, traverse);
	status_t status = entry.InitCheck();
	if (status != B_OK)
		return status;
	struct stat st;
	status = entry.GetStat(&st);
	if (status != B_OK)
		return status;
	if (S_ISDIR(st.st_mode)) {
		*type = B_DIRECTORY_MIME_TYPE;
		return B_OK;
	}
	if (S_ISLNK(st.st_mode)) {
		*type = B_SYMLINK_MIME_TYPE;
		return B_OK;
	}
	BNode node(&entry);
	BNodeInfo info(&node);
	if (info.GetType(type) == B_OK)
		return B_OK;
	if (!S_ISREG(st.st_mode)) {
		*type = B_FILE_MIME_TYPE;
		return B_OK;
	}

	std::string full = entry.Path();
	int fd = open(full.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
	if (fd < 0)
		return StatusFromErrno();
	uint8 head[kSniffSize];
	ssize_t got = pread(fd, head, sizeof(head), 0);
	const char* sniffed = nullptr;
	if (got >= 0) {
		size_t tag = Id3v2Length(head, size_t(got));
		if (tag >= size_t(got) && tag < size_t(st.st_size)) {
			// A long tag (cover art): look behind it.
			uint8 after[kSniffSize];
			ssize_t more = pread(fd, after, sizeof(after), off_t(tag));
			if (more > 0)
				sniffed = SniffContent(after, size_t(more), full.c_str(), 1);
			if (sniffed != nullptr && strcmp(sniffed, "audio/flac") != 0 && strcmp(sniffed, "audio/aac") != 0)
				sniffed = "audio/mpeg";
			if (sniffed == nullptr)
				sniffed = "audio/mpeg";
		}
		if (sniffed == nullptr)
			sniffed = sniff_mime_type(head, size_t(got), full.c_str());
	}
	status = got < 0 ? StatusFromErrno() : B_OK;
	close(fd);
	if (status != B_OK)
		return status;
	*type = sniffed != nullptr ? sniffed : B_FILE_MIME_TYPE;
	return B_OK;
}

status_t update_mime_info(const char* path, bool recursive, bool synchronous, int32 force)
{
	if (path == nullptr)
		return B_BAD_VALUE;
	BEntry entry(path);
	status_t status = entry.InitCheck();
	if (status != B_OK)
		return status;
	struct stat st;
	status = entry.GetStat(&st);
	if (status != B_OK)
		return status;
	if (S_ISDIR(st.st_mode) && recursive) {
		BDirectory dir(&entry);
		BEntry child;
		while (dir.GetNextEntry(&child) == B_OK) {
			status = update_mime_info(child.Path().c_str(), true, synchronous, force);
			if (status != B_OK)
				return status;
		}
	}
	if (!S_ISREG(st.st_mode))
		return B_OK;
	BNode node(&entry);
	BNodeInfo info(&node);
	std::string type;
	if (force != B_UPDATE_MIME_INFO_FORCE_UPDATE_ALL && info.GetType(&type) == B_OK)
		return B_OK;
	status = get_file_mime_type(entry.Path().c_str(), &type, false);
	if (status != B_OK)
		return status;
	if (force == B_UPDATE_MIME_INFO_FORCE_UPDATE_ALL) {
		// Recognise by content, not by the type recorded before.
		node.RemoveAttr(kTypeAttr);
		status = get_file_mime_type(entry.Path().c_str(), &type, false);
		if (status != B_OK)
			return status;
	}
	return info.SetType(type.c_str());
}
