// libFuzzer target: reading the data lines and the "CD:tracks" value of a
// disc information file. The input chooses the disc (track count, lengths)
// and then holds the file's data and its attribute. A file that is taken
// must give a name to every entry, and what the store writes for those
// names must be taken again with the same names.
#include "disc/CdInfo.h"
#include "frame/Diagnostics.h"

#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	static FILE* const quiet = [] {
		FILE* devNull = fopen("/dev/null", "w");
		SetDebugOutput(devNull);
		return devNull;
	}();
	(void)quiet;

	if (size < 3)
		return 0;
	const int count = 1 + data[0] % CCdInfo::kMaxTracks;
	const bool hasTracks = (data[1] & 1) != 0;
	const size_t dataShare = data[2];
	size_t pos = 3;
	CCdInfo info;
	// Lengths from the input while it lasts; the rest are 00:00.
	auto next = [&]() -> int { return pos < size ? int(int8_t(data[pos++])) : 0; };
	const int discMinutes = next();
	const int discSeconds = next();
	info.Init(count, 1, discMinutes, discSeconds);
	for (int track = 1; track <= count; track++) {
		const int minutes = next();
		info.Init(track, minutes, next());
	}

	const std::string rest(reinterpret_cast<const char*>(data) + std::min(pos, size), size - std::min(pos, size));
	const size_t split = std::min(rest.size(), rest.size() * dataShare / 255);
	const std::string fileData = rest.substr(0, split);
	const std::string tracks = rest.substr(split);

	const bool matches = info.CheckFile(fileData);
	const bool loaded = info.LoadCdData(fileData, hasTracks ? &tracks : nullptr);
	if (matches != loaded)
		abort();
	if (!loaded)
		return 0;
	for (int track = 1; track <= count; track++) {
		if (info.InfoData(track) == nullptr || !info.InfoData(track)->text)
			abort();
	}

	// Written back, the names read the same (tabs and line feeds are stored
	// as blanks, which the names read from a file no longer hold).
	const std::string lines = info.DataLines();
	const std::string attribute = info.TracksAttribute();
	if (!info.CheckFile(lines))
		abort();
	CCdInfo copy;
	copy.Init(count, 1, discMinutes, discSeconds);
	for (int track = 1; track <= count; track++) {
		const CD_INFO_DATA* entry = info.InfoData(track);
		copy.Init(track, entry->minutes, entry->seconds);
	}
	if (!copy.LoadCdData(lines, &attribute))
		abort();
	for (int track = 0; track <= count; track++) {
		std::string expected = *info.InfoData(track)->text;
		for (char& c : expected) {
			if (c == '\t' || c == '\n')
				c = ' ';
		}
		if (*copy.InfoData(track)->text != expected)
			abort();
	}
	if (!copy.LoadCdData(lines, nullptr))
		abort();
	return 0;
}
