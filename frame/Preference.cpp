// The settings store. Every record lives inside the one settings file (see
// SettingsFile.h); a save rewrites the file through a temporary file, so an
// interrupted save leaves the previous settings whole, and a damaged file
// reads as "no records": every record keeps its defaults.
#include "frame/Preference.h"

#include "frame/Diagnostics.h"
#include "frame/SettingsFile.h"
#include "kit/interface/Font.h"
#include "kit/storage/Resources.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

CPreferenceHandler PreferenceHandler;

namespace {

// A file we cannot parse is set aside (never silently overwritten) before the
// first save replaces it, so whatever it held can still be looked at.
void SetDamagedFileAside(const std::string& path)
{
	std::string aside = path + ".damaged";
	rename(path.c_str(), aside.c_str());
	fprintf(stderr, "Settings file \"%s\" is damaged; kept as \"%s\", using defaults.\n", path.c_str(),
		aside.c_str());
}

}   // namespace

status_t CPreferenceHandler::Init(const char* path)
{
	if (path == nullptr || path[0] == '\0')
		return B_BAD_VALUE;
	int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
	if (fd < 0)
		return StatusFromErrno();
	close(fd);
	std::lock_guard<std::mutex> lock(fLock);
	fPath = path;
	return B_OK;
}

BMessage* CPreferenceHandler::LoadMessage(const char* name)
{
	if (name == nullptr)
		return nullptr;
	std::string bytes;
	CSettingsFile file;
	{
		std::lock_guard<std::mutex> lock(fLock);
		if (fPath.empty() || CSettingsFile::ReadFile(fPath, &bytes) != B_OK || file.Parse(bytes) != B_OK) {
			Dummy_DebugLog("ReadAttr failed\n");
			return nullptr;
		}
	}
	const CSettingsFile::Record* record = file.Find(name);
	if (record == nullptr) {
		Dummy_DebugLog("GetAttrInfo failed\n");
		return nullptr;
	}
	BMessage* message = new BMessage;
	if (record->type != B_RAW_TYPE || message->Unflatten(record->data.data(), record->data.size()) != B_OK) {
		Dummy_DebugLog("Unflatten failed\n");
		delete message;
		return nullptr;
	}
	return message;
}

bool CPreferenceHandler::SaveMessage(const char* name, BMessage* message)
{
	if (name == nullptr || name[0] == '\0' || message == nullptr)
		return false;
	std::string data;
	if (message->Flatten(&data) != B_OK)
		return false;

	std::lock_guard<std::mutex> lock(fLock);
	if (fPath.empty())
		return false;
	std::string bytes;
	CSettingsFile file;
	status_t status = CSettingsFile::ReadFile(fPath, &bytes);
	if (status == B_OK)
		status = file.Parse(bytes);
	if (status == B_BAD_DATA)
		SetDamagedFileAside(fPath);
	else if (status != B_OK)
		return false;   // unreadable: do not replace what we could not read
	file.Set(name, B_RAW_TYPE, std::move(data));
	return CSettingsFile::WriteFile(fPath, file.Serialize()) == B_OK;
}

void InitPreferenceHandler(const char* path)
{
	int fd = path != nullptr ? open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0600) : -1;
	if (fd < 0) {
		printf("Preference file open error!\n");
		fflush(stdout);
		exit(1);
	}
	close(fd);
	if (PreferenceHandler.Init(path) != B_OK) {
		printf("Preference file init error!\n");
		fflush(stdout);
		exit(1);
	}
}

CPreference::CPreference(const char* name)
	:
	fName(nullptr)
{
	const char* source = name != nullptr ? name : "";
	fName = new char[strlen(source) + 1];
	strcpy(fName, source);
}

CPreference::~CPreference()
{
	delete[] fName;
}

bool CPreference::Load()
{
	BMessage* stored = PreferenceHandler.LoadMessage(fName);
	if (stored == nullptr)
		return false;
	what = stored->what;

	bool result = true;
	for (int32 index = 0;; index++) {
		if (index >= stored->CountNames(B_ANY_TYPE)) {
			Dummy_DebugLog("End of preferences reached at index %d\n", (int)index);
			break;
		}
		const char* name = nullptr;
		type_code type = 0;
		int32 count = 0;
		if (stored->GetInfo(B_ANY_TYPE, index, &name, &type, &count) != B_OK) {
			Dummy_DebugLog("Getinfo failed\n");
			result = false;
			break;
		}
		if (count == 0) {
			Dummy_DebugLog("Empty preference\n");
			result = false;
			break;
		}
		for (int32 item = 0; item < count; item++) {
			const void* data = nullptr;
			ssize_t size = 0;
			if (stored->FindData(name, type, item, &data, &size) != B_OK) {
				Dummy_DebugLog("Finddata failed, but getinfo succeeded\n");
				delete stored;
				return false;
			}
			status_t stat;
			if (HasData(name, type, item)) {
				stat = ReplaceData(name, type, item, data, size);
			} else {
				// A field that exists keeps its own kind (fixed or variable
				// size); only a new field is made variable.
				bool fixedSize = false;
				type_code existingType;
				if (GetInfo(name, &existingType, &fixedSize) != B_OK)
					fixedSize = false;
				stat = AddData(name, type, data, size, fixedSize);
			}
			if (stat != B_OK)
				DebugAssert(__FILE__, __LINE__, "stat == B_OK");
		}
	}
	delete stored;
	return result;
}

bool CPreference::Save()
{
	return PreferenceHandler.SaveMessage(fName, this);
}

bool CPreference::Delete()
{
	DebugAssert(__FILE__, __LINE__, "(\"CPreference::Delete() not implemented\",0)");
	return true;
}

BRect LoadWindowPlacement(const char* name, BRect defaultFrame)
{
	CPreference preference(name);
	preference.AddRect("window placement", defaultFrame);
	preference.Load();
	BRect frame = defaultFrame;
	preference.FindRect("window placement", &frame);
	return frame;
}

void SaveWindowPlacement(const char* name, BRect frame)
{
	CPreference preference(name);
	preference.AddRect("window placement", BRect(0, 0, 0, 0));
	preference.Load();
	preference.ReplaceRect("window placement", frame);
	preference.Save();
}

BPoint LoadWindowPosition(const char* name, BPoint defaultPosition)
{
	CPreference preference(name);
	preference.AddPoint("window position", defaultPosition);
	preference.Load();
	BPoint position = defaultPosition;
	preference.FindPoint("window position", &position);
	return position;
}

void SaveWindowPosition(const char* name, BPoint position)
{
	CPreference preference(name);
	preference.AddPoint("window position", BPoint(0, 0));
	preference.Load();
	preference.ReplacePoint("window position", position);
	preference.Save();
}

BMessage* GetResource(const char* name)
{
	size_t size = 0;
	const void* data = FindResource(FourCC('A', 'R', 'C', 'V'), name, &size);
	if (data == nullptr) {
		printf("Resource '%s' not found!\n", name);
		fflush(stdout);
		exit(1);
	}
	BMessage* archive = new BMessage;
	if (archive->Unflatten(static_cast<const char*>(data), size) != B_OK) {
		printf("Unflatten message failed for resource '%s'!\n", name);
		fflush(stdout);
		exit(1);
	}
	return RescaleArchive(archive, 0);
}

BMessage* RescaleArchive(BMessage* archive, float factor)
{
	if (archive == nullptr)
		return nullptr;
	if (factor < 0.001f) {
		float designSize = kDefaultFontDesignSize;
		float stored;
		if (archive->FindFloat("designfsize", &stored) == B_OK && stored > 0)
			designSize = stored;
		factor = PlainFontHeight() / designSize;
		if (factor > 0.99f && factor < 1.01f)
			return archive;
		factor *= 1.02f;
	}
	BRect frame;
	if (archive->FindRect("_frame", &frame) == B_OK) {
		frame.left = floorf(frame.left * factor + 0.5f);
		frame.top = floorf(frame.top * factor + 0.5f);
		frame.right = floorf(frame.right * factor + 0.5f);
		frame.bottom = floorf(frame.bottom * factor + 0.5f);
		archive->ReplaceRect("_frame", frame);
	}
	BMessage child;
	for (int32 index = 0; archive->FindMessage("_views", index, &child) == B_OK; index++) {
		RescaleArchive(&child, factor);
		archive->ReplaceMessage("_views", index, &child);
	}
	return archive;
}
