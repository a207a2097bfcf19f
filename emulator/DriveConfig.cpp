#include "emulator/DriveConfig.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

namespace {

constexpr size_t kMaxLineLength = 4096;

std::string_view Trim(std::string_view s)
{
	while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
		s.remove_prefix(1);
	while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
		s.remove_suffix(1);
	return s;
}

std::string Lower(std::string_view s)
{
	std::string out(s);
	for (char& c : out)
		c = char(std::tolower(uint8(c)));
	return out;
}

// Decimal, or hexadecimal with 0x. Fails outside [minValue, maxValue].
bool ParseInt(std::string_view s, int64 minValue, int64 maxValue, int64* value)
{
	bool negative = false;
	if (!s.empty() && s[0] == '-') {
		negative = true;
		s.remove_prefix(1);
	}
	int base = 10;
	if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
		base = 16;
		s.remove_prefix(2);
	}
	if (s.empty() || s.size() > 12)
		return false;
	int64 v = 0;
	for (char c : s) {
		int digit;
		if (c >= '0' && c <= '9')
			digit = c - '0';
		else if (base == 16 && c >= 'a' && c <= 'f')
			digit = c - 'a' + 10;
		else if (base == 16 && c >= 'A' && c <= 'F')
			digit = c - 'A' + 10;
		else
			return false;
		v = v * base + digit;
	}
	if (negative)
		v = -v;
	if (v < minValue || v > maxValue)
		return false;
	*value = v;
	return true;
}

std::vector<std::string_view> Words(std::string_view s)
{
	std::vector<std::string_view> words;
	size_t i = 0;
	while (i < s.size()) {
		while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == ','))
			i++;
		size_t start = i;
		while (i < s.size() && s[i] != ' ' && s[i] != '\t' && s[i] != ',')
			i++;
		if (i > start)
			words.push_back(s.substr(start, i - start));
	}
	return words;
}

bool ParseBool(std::string_view s, bool* value)
{
	std::string v = Lower(s);
	if (v == "yes" || v == "true" || v == "on" || v == "1")
		*value = true;
	else if (v == "no" || v == "false" || v == "off" || v == "0")
		*value = false;
	else
		return false;
	return true;
}

int HexDigit(char c)
{
	if (c >= '0' && c <= '9')
		return c - '0';
	if (c >= 'a' && c <= 'f')
		return c - 'a' + 10;
	if (c >= 'A' && c <= 'F')
		return c - 'A' + 10;
	return -1;
}

// Decodes an identity value: printable ASCII in which `\xNN` (two hex
// digits) stands for any byte and `\\` for a backslash. Returns false for a
// character outside printable ASCII, another backslash sequence, or more
// than `limit` decoded bytes; *decoded is then unspecified.
bool DecodeIdentity(std::string_view s, size_t limit, std::string* decoded)
{
	decoded->clear();
	for (size_t i = 0; i < s.size(); i++) {
		char c = s[i];
		if (c < 0x20 || c > 0x7E)
			return false;
		if (c == '\\') {
			if (i + 1 >= s.size())
				return false;
			if (s[i + 1] == '\\') {
				i += 1;
			} else if (s[i + 1] == 'x' && i + 3 < s.size() && HexDigit(s[i + 2]) >= 0 && HexDigit(s[i + 3]) >= 0) {
				c = char(HexDigit(s[i + 2]) << 4 | HexDigit(s[i + 3]));
				i += 3;
			} else {
				return false;
			}
		}
		if (decoded->size() >= limit)
			return false;
		decoded->push_back(c);
	}
	return true;
}

std::string Resolve(const std::string& folder, std::string_view path)
{
	if (!path.empty() && path[0] == '/')
		return std::string(path);
	return folder + "/" + std::string(path);
}

}   // namespace

CDriveConfig::CDriveConfig()
{
	for (uint16 x : {4, 8, 16, 24, 32, 40})
		capabilities.readSpeeds.push_back(SpeedKbs(x));
	for (uint16 x : {1, 2, 4, 8, 16})
		capabilities.writeSpeeds.push_back(SpeedKbs(x));
}

status_t CDriveConfig::Parse(std::string_view text, const std::string& baseFolder, std::vector<CDriveConfig>* drives,
	std::string* error)
{
	std::vector<CDriveConfig> result;
	std::string message;
	int lineNumber = 0;
	bool writeSpeedsGiven = false;
	auto fail = [&](const std::string& what) {
		message = "line " + std::to_string(lineNumber) + ": " + what;
		return B_BAD_DATA;
	};
	// Checks that apply once a drive's section is complete.
	auto finish = [&]() -> status_t {
		if (result.empty())
			return B_OK;
		CDriveConfig& d = result.back();
		SDriveCapabilities& c = d.capabilities;
		bool writer = c.writeCdR || c.writeCdRw;
		if (!writer) {
			if (!writeSpeedsGiven)
				c.writeSpeeds.clear();
			c.testWrite = false;
			c.bufferUnderrunFree = false;
			c.cdTextWrite = false;
		} else if (c.writeSpeeds.empty()) {
			return fail("a drive that writes needs write_speeds");
		}
		if (d.medium == kMediumImage && d.image.empty())
			return fail("medium = image needs an image");
		return B_OK;
	};

	if (text.size() > kMaxFileSize) {
		message = "the description is longer than 1 MiB";
		if (error != nullptr)
			*error = message;
		return B_BAD_DATA;
	}

	status_t status = B_OK;
	size_t pos = 0;
	while (status == B_OK && pos < text.size()) {
		size_t end = text.find('\n', pos);
		if (end == std::string_view::npos)
			end = text.size();
		std::string_view line = text.substr(pos, end - pos);
		pos = end + 1;
		lineNumber++;
		if (!line.empty() && line.back() == '\r')
			line.remove_suffix(1);
		if (line.size() > kMaxLineLength) {
			status = fail("line too long");
			break;
		}
		line = Trim(line);
		if (line.empty() || line[0] == '#' || line[0] == ';')
			continue;

		if (line[0] == '[') {
			if (line.back() != ']' || Lower(Trim(line.substr(1, line.size() - 2))) != "drive") {
				status = fail("unknown section " + std::string(line) + " (only [drive])");
				continue;
			}
			status = finish();
			if (status != B_OK)
				continue;
			if (result.size() >= kMaxDrives) {
				status = fail("more than 16 drives");
				continue;
			}
			result.emplace_back();
			writeSpeedsGiven = false;
			continue;
		}

		size_t equals = line.find('=');
		if (equals == std::string_view::npos) {
			status = fail("expected key = value");
			continue;
		}
		std::string key = Lower(Trim(line.substr(0, equals)));
		std::string_view value = Trim(line.substr(equals + 1));
		if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
			value = value.substr(1, value.size() - 2);
		else if (!value.empty() && value.front() == '"') {
			status = fail("unterminated quote");
			continue;
		}
		if (result.empty()) {
			status = fail("key " + key + " outside a [drive] section");
			continue;
		}
		CDriveConfig& d = result.back();
		SDriveCapabilities& c = d.capabilities;
		int64 n = 0;

		if (key == "vendor" || key == "product" || key == "revision") {
			size_t limit = key == "vendor" ? 8 : key == "product" ? 16 : 4;
			std::string decoded;
			if (!DecodeIdentity(value, limit, &decoded)) {
				status = fail(key + " takes at most " + std::to_string(limit) +
					" printable ASCII characters or \\xNN escapes (\\\\ for a backslash)");
				continue;
			}
			(key == "vendor" ? d.vendor : key == "product" ? d.product : d.revision) = std::move(decoded);
		} else if (key == "type") {
			if (!ParseInt(value, 4, 5, &n)) {
				status = fail("type is 5 (CD-ROM) or 4 (write-once)");
				continue;
			}
			d.peripheralType = uint8(n);
		} else if (key == "bus") {
			std::string v = Lower(value);
			if (v != "scsi" && v != "atapi") {
				status = fail("bus is scsi or atapi");
				continue;
			}
			d.atapi = v == "atapi";
		} else if (key == "read_speeds" || key == "write_speeds") {
			std::vector<uint16> speeds;
			for (std::string_view word : Words(value)) {
				if (speeds.size() >= 32 || !ParseInt(word, 1, 100, &n)) {
					status = fail(key + " lists up to 32 speed factors 1..100");
					break;
				}
				speeds.push_back(SpeedKbs(int(n)));
			}
			if (status != B_OK)
				continue;
			std::sort(speeds.begin(), speeds.end());
			speeds.erase(std::unique(speeds.begin(), speeds.end()), speeds.end());
			if (key == "read_speeds") {
				if (speeds.empty()) {
					status = fail("read_speeds needs at least one speed");
					continue;
				}
				c.readSpeeds = speeds;
			} else {
				c.writeSpeeds = speeds;
				writeSpeedsGiven = true;
			}
		} else if (key == "buffer_kb") {
			if (!ParseInt(value, 0, 65535, &n)) {
				status = fail("buffer_kb is 0..65535");
				continue;
			}
			c.bufferKb = uint16(n);
		} else if (key == "read_cdr" || key == "read_cdrw" || key == "write_cdr" || key == "write_cdrw" ||
			key == "test_write" || key == "burn_free" || key == "cd_text_write" || key == "audio_play" || key == "cdda" ||
			key == "accurate_stream" || key == "isrc" || key == "mcn" || key == "eject" || key == "lock" ||
			key == "fua" || key == "read_cd_da") {
			bool b;
			if (!ParseBool(value, &b)) {
				status = fail(key + " is yes or no");
				continue;
			}
			bool* target = key == "read_cdr" ? &c.readCdR
				: key == "read_cdrw"         ? &c.readCdRw
				: key == "write_cdr"         ? &c.writeCdR
				: key == "write_cdrw"        ? &c.writeCdRw
				: key == "test_write"        ? &c.testWrite
				: key == "burn_free"         ? &c.bufferUnderrunFree
				: key == "cd_text_write"     ? &c.cdTextWrite
				: key == "audio_play"        ? &c.audioPlay
				: key == "cdda"              ? &c.cddaCommands
				: key == "accurate_stream"   ? &c.accurateStream
				: key == "isrc"              ? &c.isrc
				: key == "mcn"               ? &c.mcn
				: key == "eject"             ? &c.eject
				: key == "lock"              ? &c.lock
				: key == "read_cd_da"        ? &d.readCdDaCommand
											 : &c.supportsFua;
			*target = b;
		} else if (key == "medium") {
			std::string v = Lower(value);
			if (v == "none")
				d.medium = kMediumNone;
			else if (v == "cdr" || v == "cd-r")
				d.medium = kMediumBlankCdR;
			else if (v == "cdrw" || v == "cd-rw")
				d.medium = kMediumBlankCdRw;
			else if (v == "image")
				d.medium = kMediumImage;
			else {
				status = fail("medium is none, cdr, cdrw or image");
				continue;
			}
		} else if (key == "minutes") {
			if (!ParseInt(value, 1, 99, &n)) {
				status = fail("minutes is 1..99");
				continue;
			}
			d.minutes = int(n);
		} else if (key == "image" || key == "cdtext" || key == "output") {
			if (value.empty() || value.find('\0') != std::string_view::npos) {
				status = fail(key + " needs a path");
				continue;
			}
			std::string path = Resolve(baseFolder, value);
			(key == "image" ? d.image : key == "cdtext" ? d.cdText : d.output) = path;
			if (key == "image" && d.medium != kMediumImage)
				d.medium = kMediumImage;
		} else if (key == "dialect") {
			std::string v = Lower(value);
			if (v == "mmc")
				d.dialect = kDialectMmc;
			else if (v == "teac")
				d.dialect = kDialectTeac;
			else if (v == "philips")
				d.dialect = kDialectPhilips;
			else if (v == "yamaha")
				d.dialect = kDialectYamaha;
			else if (v == "plextor")
				d.dialect = kDialectPlextor;
			else {
				status = fail("dialect is mmc, teac, philips, yamaha or plextor");
				continue;
			}
		} else if (key == "q_format") {
			std::string v = Lower(value);
			if (v != "bcd" && v != "hex") {
				status = fail("q_format is bcd or hex");
				continue;
			}
			d.hexQ = v == "hex";
		} else if (key == "timing") {
			std::string v = Lower(value);
			if (v != "realtime" && v != "instant") {
				status = fail("timing is realtime or instant");
				continue;
			}
			d.realTime = v == "realtime";
		} else if (key == "after_eject") {
			std::string v = Lower(value);
			if (v != "same" && v != "blank") {
				status = fail("after_eject is same or blank");
				continue;
			}
			d.blankAfterEject = v == "blank";
		} else if (key == "write_error" || key == "underrun_at") {
			auto words = Words(value);
			int64 lba = 0, attempts = 1;
			if (words.empty() || words.size() > (key == "write_error" ? 2u : 1u)
				|| !ParseInt(words[0], -150, 449849, &lba)
				|| (words.size() == 2 && !ParseInt(words[1], -1, 1000000, &attempts))) {
				status = fail(key + " is an LBA" + (key == "write_error" ? " and optionally a count of attempts" : ""));
				continue;
			}
			if (key == "underrun_at")
				d.writeFaults.ForceUnderrunAt(int32(lba));
			else if (!d.writeFaults.AddWriteError(int32(lba), int32(attempts))) {
				status = fail("too many write errors");
				continue;
			}
		} else if (key == "long_write" || key == "opc_failure" || key == "pca_full") {
			if (!ParseInt(value, -1, 1000000, &n)) {
				status = fail(key + " is a count (-1 = always)");
				continue;
			}
			if (key == "long_write")
				d.writeFaults.SetLongWrite(int32(n));
			else if (key == "opc_failure")
				d.writeFaults.SetOpcFailure(int32(n));
			else
				d.writeFaults.SetPcaFull(int32(n));
		} else if (key == "disc_sectors") {
			if (!ParseInt(value, 1, 449849, &n)) {
				status = fail("disc_sectors is a number of sectors");
				continue;
			}
			d.writeFaults.SetDiscSectors(int32(n));
		} else if (key == "not_ready") {
			if (!ParseInt(value, -1, 1000000, &n)) {
				status = fail("not_ready is a count of commands (-1 = always)");
				continue;
			}
			d.notReady = int32(n);
		} else if (key == "read_offset") {
			if (!ParseInt(value, -5880, 5880, &n)) {
				status = fail("read_offset is a count of samples from -5880 to 5880");
				continue;
			}
			d.readOffset = int32(n);
		} else if (key == "jitter") {
			auto words = Words(value);
			int64 bound = 0, percent = 50;
			if (words.empty() || words.size() > 2 || !ParseInt(words[0], 0, 5880, &bound)
				|| (words.size() == 2 && !ParseInt(words[1], 0, 100, &percent))) {
				status = fail("jitter is a bound in samples and optionally a percentage of reads");
				continue;
			}
			d.jitter = int32(bound);
			d.jitterPercent = int32(percent);
		} else if (key == "medium_error") {
			auto words = Words(value);
			int64 lba = 0, attempts = 1;
			if (words.empty() || words.size() > 2 || !ParseInt(words[0], 0, 449849, &lba) ||
				(words.size() == 2 && !ParseInt(words[1], -1, 1000000, &attempts))) {
				status = fail("medium_error is an LBA and optionally a count of attempts");
				continue;
			}
			if (d.mediumErrors.size() >= 256) {
				status = fail("too many medium errors");
				continue;
			}
			d.mediumErrors.push_back({int32(lba), int32(attempts)});
		} else if (key == "command_error") {
			auto words = Words(value);
			int64 opcode = 0, senseKey = 0, asc = 0, ascq = 0, attempts = 1;
			if (words.size() < 4 || words.size() > 5 || !ParseInt(words[0], 0, 255, &opcode) ||
				!ParseInt(words[1], 0, 15, &senseKey) || !ParseInt(words[2], 0, 255, &asc) ||
				!ParseInt(words[3], 0, 255, &ascq) ||
				(words.size() == 5 && !ParseInt(words[4], -1, 1000000, &attempts))) {
				status = fail("command_error is opcode, sense key, ASC, ASCQ and optionally a count");
				continue;
			}
			if (d.commandFaults.size() >= 256) {
				status = fail("too many command errors");
				continue;
			}
			d.commandFaults.push_back(
				{uint8(opcode), mmc::Sense(uint8(senseKey), uint8(asc), uint8(ascq)), int32(attempts)});
		} else {
			status = fail("unknown key " + key);
		}
	}
	if (status == B_OK)
		status = finish();
	if (status != B_OK) {
		if (error != nullptr)
			*error = message;
		return status;
	}
	*drives = std::move(result);
	return B_OK;
}

status_t CDriveConfig::Load(const std::string& path, std::vector<CDriveConfig>* drives, std::string* error)
{
	// O_NONBLOCK: a FIFO at the path must not block the open; the type
	// check below refuses it.
	int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
	if (fd < 0) {
		if (error != nullptr)
			*error = "cannot open " + path;
		return B_ENTRY_NOT_FOUND;
	}
	struct stat st;
	if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || uint64(st.st_size) > kMaxFileSize) {
		::close(fd);
		if (error != nullptr)
			*error = path + " is not a file of at most 1 MiB";
		return B_BAD_DATA;
	}
	std::string text(size_t(st.st_size), '\0');
	size_t done = 0;
	while (done < text.size()) {
		ssize_t n = ::pread(fd, text.data() + done, text.size() - done, off_t(done));
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0)
			break;
		done += size_t(n);
	}
	::close(fd);
	if (done != text.size()) {
		if (error != nullptr)
			*error = "cannot read " + path;
		return B_IO_ERROR;
	}
	std::string folder = ".";
	size_t slash = path.rfind('/');
	if (slash != std::string::npos)
		folder = slash == 0 ? "/" : path.substr(0, slash);
	std::string parseError;
	status_t status = Parse(text, folder, drives, &parseError);
	if (status != B_OK && error != nullptr)
		*error = path + ": " + parseError;
	return status;
}
