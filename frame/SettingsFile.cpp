#include "frame/SettingsFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kMagic[4] = {'T', 'W', 'S', 'F'};
constexpr uint32 kVersion = 1;
// A settings file has a few dozen small records; anything far beyond this is
// damage, not settings.
constexpr size_t kMaxFileSize = 64 * 1024 * 1024;

void PutUInt32(std::string* out, uint32 value)
{
	char bytes[4] = {char(value & 0xff), char((value >> 8) & 0xff), char((value >> 16) & 0xff),
		char((value >> 24) & 0xff)};
	out->append(bytes, 4);
}

class Reader {
public:
	Reader(const std::string& bytes, size_t offset)
		: fData(bytes.data() + offset), fLeft(bytes.size() - offset) {}
	bool UInt32(uint32* value)
	{
		if (fLeft < 4)
			return false;
		const uint8* p = reinterpret_cast<const uint8*>(fData);
		*value = uint32(p[0]) | (uint32(p[1]) << 8) | (uint32(p[2]) << 16) | (uint32(p[3]) << 24);
		fData += 4;
		fLeft -= 4;
		return true;
	}
	bool Bytes(size_t length, std::string* out)
	{
		if (length > fLeft)
			return false;
		out->assign(fData, length);
		fData += length;
		fLeft -= length;
		return true;
	}
	size_t Left() const { return fLeft; }

private:
	const char* fData;
	size_t fLeft;
};

// Opens `path` with `flags` plus O_NONBLOCK, so that a FIFO without a
// writer cannot hold the caller, and keeps the descriptor only when it is a
// regular file, then in blocking mode again. Returns the descriptor, or -1
// with *status set (B_BAD_TYPE for any other kind of file).
int OpenRegularFile(const std::string& path, int flags, status_t* status)
{
	int fd;
	do {
		fd = open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0600);
	} while (fd < 0 && errno == EINTR);
	if (fd < 0) {
		*status = StatusFromErrno();
		return -1;
	}
	struct stat st;
	if (fstat(fd, &st) != 0) {
		*status = StatusFromErrno();
		close(fd);
		return -1;
	}
	if (!S_ISREG(st.st_mode)) {
		close(fd);
		*status = B_BAD_TYPE;
		return -1;
	}
	const int fileFlags = fcntl(fd, F_GETFL);
	if (fileFlags >= 0)
		fcntl(fd, F_SETFL, fileFlags & ~O_NONBLOCK);
	*status = B_OK;
	return fd;
}

}   // namespace

status_t CSettingsFile::Parse(const std::string& bytes)
{
	fRecords.clear();
	if (bytes.empty())
		return B_OK;
	if (bytes.size() < 12 || memcmp(bytes.data(), kMagic, 4) != 0)
		return B_BAD_DATA;
	Reader reader(bytes, 4);
	uint32 version = 0;
	uint32 count = 0;
	if (!reader.UInt32(&version) || version != kVersion || !reader.UInt32(&count))
		return B_BAD_DATA;
	// Each record takes at least 12 bytes: refuse counts the data cannot hold
	// before reserving anything.
	if (count > reader.Left() / 12)
		return B_BAD_DATA;
	std::vector<Record> records;
	records.reserve(count);
	for (uint32 i = 0; i < count; i++) {
		Record record;
		uint32 nameLength = 0;
		uint32 dataLength = 0;
		if (!reader.UInt32(&nameLength) || nameLength == 0 || !reader.Bytes(nameLength, &record.name)
			|| !reader.UInt32(&record.type) || !reader.UInt32(&dataLength)
			|| !reader.Bytes(dataLength, &record.data)) {
			return B_BAD_DATA;
		}
		if (record.name.find('\0') != std::string::npos)
			return B_BAD_DATA;
		for (const Record& other : records) {
			if (other.name == record.name)
				return B_BAD_DATA;
		}
		records.push_back(std::move(record));
	}
	if (reader.Left() != 0)
		return B_BAD_DATA;
	fRecords = std::move(records);
	return B_OK;
}

std::string CSettingsFile::Serialize() const
{
	std::string out(kMagic, 4);
	PutUInt32(&out, kVersion);
	PutUInt32(&out, uint32(fRecords.size()));
	for (const Record& record : fRecords) {
		PutUInt32(&out, uint32(record.name.size()));
		out += record.name;
		PutUInt32(&out, record.type);
		PutUInt32(&out, uint32(record.data.size()));
		out += record.data;
	}
	return out;
}

const CSettingsFile::Record* CSettingsFile::Find(const std::string& name) const
{
	for (const Record& record : fRecords) {
		if (record.name == name)
			return &record;
	}
	return nullptr;
}

void CSettingsFile::Set(const std::string& name, type_code type, std::string data)
{
	for (Record& record : fRecords) {
		if (record.name == name) {
			record.type = type;
			record.data = std::move(data);
			return;
		}
	}
	fRecords.push_back(Record {name, type, std::move(data)});
}

bool CSettingsFile::Remove(const std::string& name)
{
	for (auto it = fRecords.begin(); it != fRecords.end(); ++it) {
		if (it->name == name) {
			fRecords.erase(it);
			return true;
		}
	}
	return false;
}

status_t CSettingsFile::ReadFile(const std::string& path, std::string* bytes)
{
	bytes->clear();
	status_t openStatus;
	int fd = OpenRegularFile(path, O_RDONLY, &openStatus);
	if (fd < 0)
		return openStatus == B_ENTRY_NOT_FOUND ? B_OK : openStatus;
	struct stat st;
	if (fstat(fd, &st) != 0) {
		status_t status = StatusFromErrno();
		close(fd);
		return status;
	}
	if (size_t(st.st_size) > kMaxFileSize) {
		close(fd);
		return B_BAD_DATA;
	}
	char buffer[16384];
	for (;;) {
		ssize_t got = read(fd, buffer, sizeof(buffer));
		if (got < 0 && errno == EINTR)
			continue;
		if (got < 0) {
			status_t status = StatusFromErrno();
			close(fd);
			return status;
		}
		if (got == 0)
			break;
		bytes->append(buffer, size_t(got));
		if (bytes->size() > kMaxFileSize) {
			close(fd);
			return B_BAD_DATA;
		}
	}
	close(fd);
	return B_OK;
}

status_t CSettingsFile::CreateFile(const std::string& path)
{
	status_t status;
	int fd = OpenRegularFile(path, O_RDWR | O_CREAT, &status);
	if (fd >= 0)
		close(fd);
	return status;
}

status_t CSettingsFile::WriteFile(const std::string& path, const std::string& bytes)
{
	std::string temporary = path + ".tmp-XXXXXX";
	int fd = mkostemp(temporary.data(), O_CLOEXEC);
	if (fd < 0)
		return StatusFromErrno();
	// Keep the permissions of the file we replace (new files: 0600).
	struct stat st;
	fchmod(fd, stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0600);
	size_t written = 0;
	status_t status = B_OK;
	while (written < bytes.size()) {
		ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0) {
			status = n < 0 ? StatusFromErrno() : B_IO_ERROR;
			break;
		}
		written += size_t(n);
	}
	if (status == B_OK && fsync(fd) != 0)
		status = StatusFromErrno();
	if (close(fd) != 0 && status == B_OK)
		status = StatusFromErrno();
	if (status == B_OK && rename(temporary.c_str(), path.c_str()) != 0)
		status = StatusFromErrno();
	if (status != B_OK)
		unlink(temporary.c_str());
	return status;
}
