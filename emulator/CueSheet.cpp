#include "emulator/CueSheet.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace {

std::string Upper(std::string_view s)
{
	std::string out(s);
	for (char& c : out)
		c = char(std::toupper(uint8(c)));
	return out;
}

// Splits one line into tokens: words, or "quoted strings" (no escapes).
// Returns false for an unterminated quote.
bool Tokenize(std::string_view line, std::vector<std::string>* tokens)
{
	tokens->clear();
	size_t i = 0;
	while (i < line.size()) {
		while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
			i++;
		if (i >= line.size())
			break;
		if (line[i] == '"') {
			size_t end = line.find('"', i + 1);
			if (end == std::string_view::npos)
				return false;
			tokens->emplace_back(line.substr(i + 1, end - i - 1));
			i = end + 1;
		} else {
			size_t start = i;
			while (i < line.size() && line[i] != ' ' && line[i] != '\t')
				i++;
			tokens->emplace_back(line.substr(start, i - start));
		}
	}
	return true;
}

bool ParseNumber(std::string_view s, int maxValue, int* value)
{
	if (s.empty() || s.size() > 3)
		return false;
	int v = 0;
	for (char c : s) {
		if (c < '0' || c > '9')
			return false;
		v = v * 10 + (c - '0');
	}
	if (v > maxValue)
		return false;
	*value = v;
	return true;
}

// "mm:ss:ff" as frames; minutes up to 99.
bool ParseMsf(std::string_view s, int32* frames)
{
	size_t c1 = s.find(':');
	if (c1 == std::string_view::npos)
		return false;
	size_t c2 = s.find(':', c1 + 1);
	if (c2 == std::string_view::npos)
		return false;
	int m, sec, f;
	if (!ParseNumber(s.substr(0, c1), 99, &m) || !ParseNumber(s.substr(c1 + 1, c2 - c1 - 1), 59, &sec) ||
		!ParseNumber(s.substr(c2 + 1), 74, &f))
		return false;
	*frames = (int32(m) * 60 + sec) * 75 + f;
	return true;
}

bool ValidIsrc(std::string_view s)
{
	if (s.size() != 12)
		return false;
	for (size_t i = 0; i < 12; i++) {
		char c = s[i];
		bool digit = c >= '0' && c <= '9';
		bool alnum = digit || (c >= 'A' && c <= 'Z');
		if (i < 5 ? !alnum : !digit)
			return false;
	}
	return true;
}

void AppendUtf8(uint32 code, std::string* out)
{
	if (code < 0x80) {
		out->push_back(char(code));
	} else if (code < 0x800) {
		out->push_back(char(0xC0 | code >> 6));
		out->push_back(char(0x80 | (code & 0x3F)));
	} else if (code < 0x10000) {
		out->push_back(char(0xE0 | code >> 12));
		out->push_back(char(0x80 | ((code >> 6) & 0x3F)));
		out->push_back(char(0x80 | (code & 0x3F)));
	} else {
		out->push_back(char(0xF0 | code >> 18));
		out->push_back(char(0x80 | ((code >> 12) & 0x3F)));
		out->push_back(char(0x80 | ((code >> 6) & 0x3F)));
		out->push_back(char(0x80 | (code & 0x3F)));
	}
}

// UTF-16 text after its byte order mark as UTF-8. A lone surrogate becomes
// U+FFFD. False for an odd number of bytes.
bool Utf16ToUtf8(std::string_view in, bool bigEndian, std::string* out)
{
	if (in.size() % 2 != 0)
		return false;
	out->clear();
	out->reserve(in.size());
	auto unit = [&](size_t i) {
		uint8 a = uint8(in[i]), b = uint8(in[i + 1]);
		return bigEndian ? uint32(a << 8 | b) : uint32(b << 8 | a);
	};
	for (size_t i = 0; i < in.size(); i += 2) {
		uint32 code = unit(i);
		if (code >= 0xD800 && code <= 0xDBFF && i + 2 < in.size()) {
			uint32 low = unit(i + 2);
			if (low >= 0xDC00 && low <= 0xDFFF) {
				code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
				i += 2;
			}
		}
		if (code >= 0xD800 && code <= 0xDFFF)
			code = 0xFFFD;
		AppendUtf8(code, out);
	}
	return true;
}

}   // namespace

int32 CCueSheet::STrack::IndexPosition(int number) const
{
	for (const SIndex& index : indexes)
		if (index.number == number)
			return index.position;
	return -1;
}

void CCueSheet::Clear()
{
	fCatalog.clear();
	fCdTextFile.clear();
	for (auto& t : fDiscText)
		t.clear();
	fFiles.clear();
	fTracks.clear();
}

status_t CCueSheet::Parse(std::string_view text, std::string* error)
{
	Clear();
	int lineNumber = 0;
	std::string message;
	std::vector<std::string> tokens;

	auto fail = [&](const std::string& what) {
		message = "line " + std::to_string(lineNumber) + ": " + what;
		return B_BAD_DATA;
	};

	status_t status = B_OK;
	std::string converted;
	if (text.size() >= 2 && ((uint8(text[0]) == 0xFF && uint8(text[1]) == 0xFE)
			|| (uint8(text[0]) == 0xFE && uint8(text[1]) == 0xFF))) {
		bool bigEndian = uint8(text[0]) == 0xFE;
		if (!Utf16ToUtf8(text.substr(2), bigEndian, &converted)) {
			lineNumber = 1;
			status = fail("UTF-16 text of an odd number of bytes");
		}
		text = converted;
	} else if (text.size() >= 3 && uint8(text[0]) == 0xEF && uint8(text[1]) == 0xBB && uint8(text[2]) == 0xBF) {
		text.remove_prefix(3);
	}

	// The index before the one being read, in sheet order (any track).
	std::optional<SIndex> lastIndex;
	size_t pos = 0;
	while (pos < text.size() && status == B_OK) {
		size_t end = text.find_first_of("\r\n", pos);
		if (end == std::string_view::npos)
			end = text.size();
		std::string_view line = text.substr(pos, end - pos);
		// "\r\n" counts as one line end.
		pos = end + 1;
		if (end < text.size() && text[end] == '\r' && pos < text.size() && text[pos] == '\n')
			pos++;
		lineNumber++;

		if (!Tokenize(line, &tokens)) {
			status = fail("unterminated quote");
			break;
		}
		if (tokens.empty())
			continue;
		std::string command = Upper(tokens[0]);
		size_t args = tokens.size() - 1;
		STrack* track = fTracks.empty() ? nullptr : &fTracks.back();

		if (command == "REM") {
			continue;
		} else if (command == "CATALOG") {
			if (args != 1 || tokens[1].size() != 13 ||
				!std::all_of(tokens[1].begin(), tokens[1].end(), [](char c) { return c >= '0' && c <= '9'; }))
				status = fail("CATALOG needs 13 digits");
			else
				fCatalog = tokens[1];
		} else if (command == "CDTEXTFILE") {
			if (args != 1 || tokens[1].empty() || tokens[1].size() > 4096)
				status = fail("CDTEXTFILE needs a file name");
			else
				fCdTextFile = tokens[1];
		} else if (command == "FILE") {
			if (args != 2 || tokens[1].empty() || tokens[1].size() > 4096) {
				status = fail("FILE needs a name and a type");
				continue;
			}
			if (fFiles.size() >= 99) {
				status = fail("too many files");
				continue;
			}
			if (!fFiles.empty() && (!lastIndex || lastIndex->file != int(fFiles.size()) - 1)) {
				status = fail("the previous FILE has no INDEX");
				continue;
			}
			std::string type = Upper(tokens[2]);
			SFile file;
			file.name = tokens[1];
			if (type == "BINARY")
				file.type = kBinary;
			else if (type == "MOTOROLA")
				file.type = kMotorola;
			else if (type == "WAVE")
				file.type = kWave;
			else if (type == "AIFF")
				file.type = kAiff;
			else if (type == "FLAC")
				file.type = kFlac;
			else if (type == "MP3")
				file.type = kMp3;
			else {
				status = fail("unsupported file type " + tokens[2]);
				continue;
			}
			fFiles.push_back(std::move(file));
		} else if (command == "TRACK") {
			int number;
			if (fFiles.empty()) {
				status = fail("TRACK before FILE");
				continue;
			}
			if (args != 2 || !ParseNumber(tokens[1], 99, &number) || number < 1) {
				status = fail("TRACK needs a number 1..99 and a mode");
				continue;
			}
			if (track != nullptr && number != track->number + 1) {
				status = fail("track numbers must follow each other");
				continue;
			}
			if (track != nullptr && track->IndexPosition(1) < 0) {
				status = fail("track " + std::to_string(track->number) + " has no INDEX 01");
				continue;
			}
			STrack t;
			t.number = number;
			t.file = int(fFiles.size()) - 1;
			t.mode = Upper(tokens[2]);
			t.audio = t.mode == "AUDIO";
			fTracks.push_back(std::move(t));
		} else if (command == "INDEX") {
			int number;
			int32 position;
			if (track == nullptr) {
				status = fail("INDEX outside a track");
				continue;
			}
			if (args != 2 || !ParseNumber(tokens[1], kMaxIndex, &number) || !ParseMsf(tokens[2], &position)) {
				status = fail("INDEX needs a number 0..99 and a time mm:ss:ff");
				continue;
			}
			if (track->postgap > 0) {
				status = fail("INDEX after POSTGAP");
				continue;
			}
			int file = int(fFiles.size()) - 1;
			bool first = track->indexes.empty();
			if (first && number > 1) {
				status = fail("a track's first index must be 00 or 01");
				continue;
			}
			// Positions count per file: only indexes of the same file are
			// compared, so a pregap at the end of one file and INDEX 01 at
			// the start of the next are in order.
			bool backwards = lastIndex && lastIndex->file == file && position <= lastIndex->position;
			if (!first && (number <= track->indexes.back().number || backwards)) {
				status = fail("index numbers and times must increase");
				continue;
			}
			if (first && backwards) {
				status = fail("track starts before the previous track's last index");
				continue;
			}
			track->indexes.push_back({number, position, file});
			if (number == 1)
				track->file = file;
			lastIndex = track->indexes.back();
		} else if (command == "PREGAP" || command == "POSTGAP") {
			int32 frames;
			if (track == nullptr) {
				status = fail(command + " outside a track");
				continue;
			}
			if (args != 1 || !ParseMsf(tokens[1], &frames)) {
				status = fail(command + " needs a time mm:ss:ff");
				continue;
			}
			if (command == "PREGAP") {
				if (!track->indexes.empty() || track->pregap > 0) {
					status = fail("PREGAP must come once, before the track's indexes");
					continue;
				}
				track->pregap = frames;
			} else {
				if (track->IndexPosition(1) < 0 || track->postgap > 0) {
					status = fail("POSTGAP must come once, after INDEX 01");
					continue;
				}
				track->postgap = frames;
			}
		} else if (command == "FLAGS") {
			if (track == nullptr || !track->indexes.empty()) {
				status = fail("FLAGS must come in a track, before its indexes");
				continue;
			}
			uint8 control = 0;
			for (size_t i = 1; i < tokens.size() && status == B_OK; i++) {
				std::string flag = Upper(tokens[i]);
				if (flag == "PRE")
					control |= 0x01;
				else if (flag == "DCP")
					control |= 0x02;
				else if (flag == "4CH")
					control |= 0x08;
				else if (flag != "SCMS" && flag != "DATA")
					status = fail("unknown flag " + tokens[i]);
			}
			track->control = control;
		} else if (command == "ISRC") {
			if (track == nullptr || args != 1 || !ValidIsrc(Upper(tokens[1]))) {
				status = fail("ISRC needs a track and a code of 12 characters (CCOOOYYNNNNN)");
				continue;
			}
			track->isrc = Upper(tokens[1]);
		} else if (command == "TITLE" || command == "PERFORMER" || command == "SONGWRITER" ||
			command == "COMPOSER" || command == "ARRANGER" || command == "MESSAGE") {
			int field = command == "TITLE"           ? kTextTitle
				: command == "PERFORMER"             ? kTextPerformer
				: command == "SONGWRITER"            ? kTextSongwriter
				: command == "COMPOSER"              ? kTextComposer
				: command == "ARRANGER"              ? kTextArranger
													 : kTextMessage;
			if (args != 1) {
				status = fail(command + " needs one (quoted) text");
				continue;
			}
			if (tokens[1].size() > kMaxTextLength) {
				status = fail(command + " is longer than 255 bytes");
				continue;
			}
			if (tokens[1].find('\0') != std::string::npos) {
				status = fail(command + " holds a zero byte");
				continue;
			}
			(track != nullptr ? track->text : fDiscText)[field] = tokens[1];
		}
		// Other commands (tool-specific extensions) are ignored.
	}
	if (lineNumber == 0)
		lineNumber = 1;

	if (status == B_OK) {
		if (fTracks.empty())
			status = fail("no track");
		else if (fTracks.back().IndexPosition(1) < 0)
			status = fail("track " + std::to_string(fTracks.back().number) + " has no INDEX 01");
		else if (!lastIndex || lastIndex->file != int(fFiles.size()) - 1)
			status = fail("the last FILE has no INDEX");
	}
	if (status != B_OK) {
		Clear();
		if (error != nullptr)
			*error = message;
	}
	return status;
}
