#include "disc/CdInfo.h"

#include "frame/Diagnostics.h"
#include "kit/storage/Directory.h"
#include "kit/storage/Entry.h"
#include "kit/storage/FindDirectory.h"
#include "kit/storage/Node.h"
#include "kit/support/TypeConstants.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kKeyAttr = "CD:key";
constexpr const char* kTracksAttr = "CD:tracks";
constexpr const char* kTypeAttr = "BEOS:TYPE";
constexpr const char* kNewFileName = "Audio CD";

// Store files and their "CD:tracks" attribute are read up to this size; a
// larger file is not taken for a disc's file.
constexpr size_t kMaxStoreBytes = 4 << 20;
// New file names tried before giving up: "Audio CD", "Audio CD 1", ...
constexpr int kMaxFileNumber = 100000;

struct DataLine {
	std::string_view label;
	int32 minutes;
	int32 seconds;
};

// A decimal number with an optional minus sign at `pos`; false when there
// are no digits. Values beyond 9 digits are refused rather than overflowed.
bool ParseNumber(std::string_view line, size_t& pos, int32& value)
{
	bool negative = false;
	if (pos < line.size() && line[pos] == '-') {
		negative = true;
		pos++;
	}
	size_t digits = 0;
	int64 number = 0;
	while (pos < line.size() && line[pos] >= '0' && line[pos] <= '9') {
		if (++digits > 9)
			return false;
		number = number * 10 + (line[pos] - '0');
		pos++;
	}
	if (digits == 0)
		return false;
	value = int32(negative ? -number : number);
	return true;
}

// Splits a store file's data into its lines "label<tab>M:S". The last tab of
// a line ends the label. False when a line does not have that form.
bool ParseDataLines(std::string_view data, std::vector<DataLine>& lines)
{
	lines.clear();
	size_t start = 0;
	while (start < data.size()) {
		size_t end = data.find('\n', start);
		if (end == std::string_view::npos)
			end = data.size();
		const std::string_view line = data.substr(start, end - start);
		start = end + 1;

		const size_t tab = line.rfind('\t');
		if (tab == std::string_view::npos)
			return false;
		DataLine parsed {line.substr(0, tab), 0, 0};
		size_t pos = tab + 1;
		if (!ParseNumber(line, pos, parsed.minutes) || pos >= line.size() || line[pos] != ':')
			return false;
		pos++;
		if (!ParseNumber(line, pos, parsed.seconds))
			return false;
		lines.push_back(parsed);
	}
	return true;
}

// A name as the file holds it: tabs and line feeds would break the lines.
std::string Sanitised(std::string_view text)
{
	std::string result(text);
	for (char& c : result) {
		if (c == '\t' || c == '\n')
			c = ' ';
	}
	return result;
}

std::string FormatLine(std::string_view label, int32 minutes, int32 seconds)
{
	char length[32];
	snprintf(length, sizeof(length), "\t%02d:%02d\n", int(minutes), int(seconds));
	return Sanitised(label) + length;
}

// The file's data, up to kMaxStoreBytes. B_OK, or the open or read failure.
status_t ReadFileData(int fd, std::string* data)
{
	data->clear();
	char buffer[65536];
	while (data->size() < kMaxStoreBytes) {
		const size_t wanted = std::min(sizeof(buffer), kMaxStoreBytes - data->size());
		const ssize_t got = pread(fd, buffer, wanted, off_t(data->size()));
		if (got < 0) {
			if (errno == EINTR)
				continue;
			return StatusFromErrno();
		}
		if (got == 0)
			break;
		data->append(buffer, size_t(got));
	}
	return B_OK;
}

status_t WriteFileData(int fd, const std::string& data)
{
	size_t done = 0;
	while (done < data.size()) {
		const ssize_t put = pwrite(fd, data.data() + done, data.size() - done, off_t(done));
		if (put < 0) {
			if (errno == EINTR)
				continue;
			return StatusFromErrno();
		}
		done += size_t(put);
	}
	if (ftruncate(fd, off_t(data.size())) != 0)
		return StatusFromErrno();
	return B_OK;
}

// The "CD:tracks" value of a node up to its first 0; false when it has none.
bool ReadTracksAttr(const BNode& node, std::string* value)
{
	attr_info info;
	if (node.GetAttrInfo(kTracksAttr, &info) != B_OK || info.size < 0)
		return false;
	value->resize(size_t(std::min<off_t>(info.size, off_t(kMaxStoreBytes))));
	const ssize_t got = node.ReadAttr(kTracksAttr, B_STRING_TYPE, 0, value->data(), value->size());
	if (got < 0)
		return false;
	value->resize(size_t(got));
	const size_t end = value->find('\0');
	if (end != std::string::npos)
		value->resize(end);
	return true;
}

class FileDescriptor {
public:
	explicit FileDescriptor(int fd) : fFd(fd) {}
	~FileDescriptor()
	{
		if (fFd >= 0)
			close(fFd);
	}
	FileDescriptor(const FileDescriptor&) = delete;
	FileDescriptor& operator=(const FileDescriptor&) = delete;
	int Get() const { return fFd; }

private:
	int fFd;
};

}   // namespace

CCdInfo::CCdInfo() = default;

CCdInfo::~CCdInfo()
{
	Reset();
}

void CCdInfo::Reset()
{
	fEntries.clear();
	fTrackCount = 0;
	fKey = -1;
	bInit = false;
}

void CCdInfo::Init(int count, int key, int minutes, int seconds)
{
	if (count < 0 || count > kMaxTracks) {
		DebugAssert(__FILE__, __LINE__, "TrackCount >= 0 && TrackCount <= 99");
		count = count < 0 ? 0 : kMaxTracks;
	}
	fEntries.clear();
	// Room for every entry, so that pointers to names stay valid as tracks
	// are added.
	fEntries.reserve(kMaxTracks + 1);
	fTrackCount = count;
	fKey = key;
	fEntries.push_back(CD_INFO_DATA {0, minutes, seconds, std::nullopt});
	bInit = true;
}

void CCdInfo::Init(int track, int minutes, int seconds)
{
	if (track <= 0 || track > kMaxTracks) {
		DebugAssert(__FILE__, __LINE__, "TrackNr > 0 && TrackNr <= 99");
		return;
	}
	if (fEntries.size() > size_t(kMaxTracks))
		return;
	fEntries.push_back(CD_INFO_DATA {track, minutes, seconds, std::nullopt});
}

status_t CCdInfo::Load()
{
	if (fTrackCount == 0)
		return B_OK;
	return DoLoadSave(false);
}

status_t CCdInfo::Save()
{
	if (fTrackCount == 0)
		return B_OK;
	return DoLoadSave(true);
}

bool CCdInfo::CheckInit() const
{
	if (bInit)
		return true;
	DebugAssert(__FILE__, __LINE__, "bInit == true");
	return false;
}

const char* CCdInfo::TextOf(CD_INFO_DATA* data)
{
	return data != nullptr && data->text ? data->text->c_str() : "";
}

void CCdInfo::SetTextOf(CD_INFO_DATA* data, const char* text)
{
	if (data != nullptr)
		data->text = std::string(text != nullptr ? text : "");
}

const char* CCdInfo::CdText()
{
	CheckInit();
	if (fTrackCount == 0)
		return "";
	return TextOf(InfoData(0));
}

const char* CCdInfo::TrackText(int track)
{
	CheckInit();
	if (track <= 0 || track > kMaxTracks) {
		DebugAssert(__FILE__, __LINE__, "TrackNo > 0 && TrackNo <= 99");
		return "";
	}
	if (fTrackCount == 0)
		return "";
	return TextOf(InfoData(track));
}

void CCdInfo::SetCdText(const char* text)
{
	CheckInit();
	if (fTrackCount == 0)
		return;
	SetTextOf(InfoData(0), text);
}

void CCdInfo::SetTrackText(int track, const char* text)
{
	CheckInit();
	if (fTrackCount == 0)
		return;
	SetTextOf(InfoData(track), text);
}

CD_INFO_DATA* CCdInfo::InfoData(int track)
{
	for (CD_INFO_DATA& data : fEntries) {
		if (data.track == track)
			return &data;
	}
	DebugAssert(__FILE__, __LINE__, "infodata != 0");
	return nullptr;
}

status_t CCdInfo::GetStorePath(std::string* path)
{
	std::string data;
	status_t status = find_directory(B_USER_DATA_DIRECTORY, &data, true);
	if (status != B_OK)
		return status;
	*path = data + "/" + kStoreFolder;
	return create_directory(path->c_str(), 0777);
}

bool CCdInfo::CheckFile(std::string_view data) const
{
	std::vector<DataLine> lines;
	if (!ParseDataLines(data, lines) || lines.size() != fEntries.size())
		return false;
	for (size_t i = 0; i < lines.size(); i++) {
		if (lines[i].minutes != fEntries[i].minutes || lines[i].seconds != fEntries[i].seconds)
			return false;
	}
	return true;
}

bool CCdInfo::LoadCdData(std::string_view data, const std::string* tracks)
{
	if (!CheckFile(data))
		return false;
	std::vector<DataLine> lines;
	ParseDataLines(data, lines);

	size_t covered = 0;
	if (tracks != nullptr) {
		size_t pos = 0;
		while (covered < fEntries.size() && pos < tracks->size()) {
			const size_t end = tracks->find('\n', pos);
			if (end == std::string::npos) {
				fEntries[covered++].text = tracks->substr(pos);
				break;
			}
			fEntries[covered++].text = tracks->substr(pos, end - pos);
			pos = end + 1;
		}
	}
	for (size_t i = covered; i < fEntries.size(); i++)
		fEntries[i].text = std::string(lines[i].label);
	return true;
}

bool CCdInfo::LoadCdData(const BEntry* entry)
{
	if (entry == nullptr || entry->InitCheck() != B_OK) {
		DebugAssert(__FILE__, __LINE__, "entry->InitCheck() == B_OK");
		return false;
	}
	const std::string path = entry->Path();
	FileDescriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
	std::string data;
	status_t status = fd.Get() < 0 ? StatusFromErrno() : ReadFileData(fd.Get(), &data);
	if (status != B_OK) {
		DebugAssert(__FILE__, __LINE__, "status == B_OK");
		if (fIoStatus == B_OK)
			fIoStatus = status;
		return false;
	}
	BNode node(entry);
	std::string tracks;
	const bool hasTracks = node.InitCheck() == B_OK && ReadTracksAttr(node, &tracks);
	return LoadCdData(data, hasTracks ? &tracks : nullptr);
}

bool CCdInfo::SaveCdData(const BEntry* entry)
{
	if (entry == nullptr || entry->InitCheck() != B_OK) {
		DebugAssert(__FILE__, __LINE__, "entry->InitCheck() == B_OK");
		return false;
	}
	const std::string path = entry->Path();
	FileDescriptor fd(open(path.c_str(), O_RDWR | O_CLOEXEC));
	std::string data;
	status_t status = fd.Get() < 0 ? StatusFromErrno() : ReadFileData(fd.Get(), &data);
	if (status != B_OK) {
		DebugAssert(__FILE__, __LINE__, "status == B_OK");
		if (fIoStatus == B_OK)
			fIoStatus = status;
		return false;
	}
	if (!CheckFile(data))
		return false;

	for (const CD_INFO_DATA& info : fEntries) {
		if (!info.text)
			DebugAssert(__FILE__, __LINE__, "data->Text != 0");
	}
	// The lines first: they keep every name even when the attribute cannot.
	status = WriteFileData(fd.Get(), DataLines());
	if (status != B_OK) {
		DebugAssert(__FILE__, __LINE__, "status == B_OK");
		if (fIoStatus == B_OK)
			fIoStatus = status;
		return true;
	}
	BNode node(entry);
	const std::string tracks = TracksAttribute();
	if (node.WriteAttr(kTracksAttr, B_STRING_TYPE, 0, tracks.c_str(), tracks.size() + 1) < 0) {
		// Too long for the attribute space: an older, shorter value must not
		// stand in for the names now in the lines.
		node.RemoveAttr(kTracksAttr);
	}
	return true;
}

std::string CCdInfo::DataLines() const
{
	std::string data;
	for (const CD_INFO_DATA& info : fEntries)
		data += FormatLine(info.text ? *info.text : std::string(), info.minutes, info.seconds);
	return data;
}

std::string CCdInfo::TracksAttribute() const
{
	std::string tracks;
	for (const CD_INFO_DATA& info : fEntries) {
		if (info.text)
			tracks += Sanitised(*info.text);
		tracks += '\n';
	}
	return tracks;
}

status_t CCdInfo::DoLoadSave(bool save)
{
	fIoStatus = B_OK;
	std::string folder;
	status_t status = GetStorePath(&folder);
	BDirectory dir;
	if (status == B_OK)
		status = dir.SetTo(folder.c_str());
	if (status != B_OK) {
		DebugAssert(__FILE__, __LINE__, "status == B_OK");
		return status;
	}

	BEntry entry;
	while (dir.GetNextEntry(&entry) == B_OK) {
		if (!entry.IsFile())
			continue;
		BNode node(&entry);
		int32 key = 0;
		if (node.InitCheck() != B_OK || node.ReadAttr(kKeyAttr, B_INT32_TYPE, 0, &key, sizeof(key)) != sizeof(key)
			|| key != fKey)
			continue;
		if (save ? SaveCdData(&entry) : LoadCdData(&entry))
			return fIoStatus;
	}

	status = CreateFile(folder, &entry);
	if (status != B_OK)
		return status;
	const bool b = save ? SaveCdData(&entry) : LoadCdData(&entry);
	if (!b) {
		DebugAssert(__FILE__, __LINE__, "b");
		return fIoStatus != B_OK ? fIoStatus : B_ERROR;
	}
	return fIoStatus;
}

status_t CCdInfo::CreateFile(const std::string& folder, BEntry* entry)
{
	BDirectory dir(folder.c_str());
	status_t status = dir.InitCheck();
	std::string name;
	for (int number = 0; status == B_OK; number++) {
		if (number >= kMaxFileNumber) {
			status = B_FILE_EXISTS;
			break;
		}
		name = kNewFileName;
		if (number > 0)
			name += " " + std::to_string(number);
		status = dir.CreateFile(name.c_str(), entry, true);
		if (status == B_OK)
			break;
		if (status == B_FILE_EXISTS)
			status = B_OK;   // try the next number
	}
	if (status != B_OK) {
		DebugAssert(__FILE__, __LINE__, "status == B_OK");
		return status;
	}

	std::string data;
	std::string tracks;
	for (const CD_INFO_DATA& info : fEntries) {
		const std::string label = info.track == 0 ? name : "Track " + std::to_string(info.track);
		data += FormatLine(label, info.minutes, info.seconds);
		tracks += label + "\n";
	}

	BNode node(entry);
	status = node.InitCheck();
	if (status == B_OK) {
		const ssize_t written = node.WriteAttr(kTypeAttr, B_MIME_TYPE, 0, kFileType, strlen(kFileType) + 1);
		status = written < 0 ? status_t(written) : B_OK;
	}
	if (status == B_OK) {
		FileDescriptor fd(open(entry->Path().c_str(), O_WRONLY | O_CLOEXEC));
		status = fd.Get() < 0 ? StatusFromErrno() : WriteFileData(fd.Get(), data);
	}
	if (status == B_OK) {
		const ssize_t written = node.WriteAttr(kKeyAttr, B_INT32_TYPE, 0, &fKey, sizeof(fKey));
		status = written < 0 ? status_t(written) : B_OK;
	}
	if (status == B_OK) {
		const ssize_t written = node.WriteAttr(kTracksAttr, B_STRING_TYPE, 0, tracks.c_str(), tracks.size() + 1);
		status = written < 0 ? status_t(written) : B_OK;
	}
	if (status != B_OK)
		DebugAssert(__FILE__, __LINE__, "status == B_OK");
	return status;
}
