// libFuzzer target: a project data file ("Tarnwick project") of arbitrary
// bytes. The parser must refuse or accept it without faults; every track
// record it yields must read into harmless values whose spans stay inside
// the used length; and a project loaded from it (in a scratch folder, with
// its track files missing) must save and load again to the same model.
#include "frame/Diagnostics.h"
#include "kit/interface/Alert.h"
#include "kit/support/Message.h"
#include "projects/Project.h"
#include "projects/ProjectTrack.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

// Assertions (a missing "TrackCount") are answered "Ignore", silently.
class CIgnoreAlerts : public CAlertHandler {
public:
	int32 Show(const AlertRequest& request) override { return int32(request.buttons.size()) - 1; }
};

const std::string& ScratchFolder()
{
	static const std::string folder = [] {
		std::string path = std::filesystem::temp_directory_path() / ("fuzz-project-" + std::to_string(getpid()));
		std::filesystem::create_directories(path + "/Project");
		static std::string removeAtExit = path;
		atexit([] {
			std::error_code ignored;
			std::filesystem::remove_all(removeAtExit, ignored);
		});
		static CIgnoreAlerts ignore;
		SetAlertHandler(&ignore);
		SetDebugOutput(fopen("/dev/null", "w"));
		return path + "/Project";
	}();
	return folder;
}

void Check(bool condition)
{
	if (!condition)
		abort();
}

std::string Describe(CProject& project)
{
	std::string text = project.Title() + "|" + project.Artist() + "|" + std::to_string(project.DiscMaxLength());
	for (int32 i = 0; i < project.CountTracks(); i++) {
		BMessage record;
		Check(project.TrackAt(i)->Save(&record) == B_OK);
		std::string flat;
		Check(record.Flatten(&flat) == B_OK);
		text += "|" + flat;
	}
	return text;
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	PROJECT_DATA parsed;
	if (ParseProjectData(data, size, &parsed) != B_OK)
		return 0;
	Check(parsed.maxLength >= 0);
	for (const BMessage& record : parsed.tracks) {
		TRACK_RECORD values;
		ReadTrackRecord(record, &values);
		Check(!values.file.empty() && values.file.find('/') == std::string::npos);
		Check(values.startSilenceLength >= 0 && values.endSilenceLength >= 0 && values.fileStartOffset >= 0);
		Check(values.fileLengthUsed >= -1 && values.fileLengthEstimated >= -1 && values.fileLengthExact >= -1);
		const int64 used = values.fileLengthUsed >= 0 ? values.fileLengthUsed : 0;
		ClampTrackSpans(used, &values.fileFadeInEndOffset, &values.fileFadeOutStartOffset, &values.index1Offset);
		Check(values.fileFadeInEndOffset <= used && values.fileFadeOutStartOffset <= used && values.index1Offset <= used);
		Check(values.fileFadeInEndOffset <= used - values.fileFadeOutStartOffset);
		const int64 padding = PaddingFrames(used);
		Check(padding >= 0 && padding < 588);
	}

	// Whole projects only for inputs of a sensible size: every track costs
	// a file look-up.
	if (parsed.tracks.size() > 64)
		return 0;
	const std::string& folder = ScratchFolder();
	{
		std::ofstream out(folder + "/Tarnwick project", std::ios::binary | std::ios::trunc);
		out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
	}
	std::string first;
	{
		CProject project(folder.c_str());
		Check(project.Load() == B_OK);
		Check(project.DiscLength() >= 0);
		Check(project.Save() == B_OK);
		first = Describe(project);
	}
	CProject again(folder.c_str());
	Check(again.Load() == B_OK);
	Check(Describe(again) == first);
	return 0;
}
