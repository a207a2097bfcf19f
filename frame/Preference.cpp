// The settings store. Every record lives inside the one settings file (see
// SettingsFile.h); a save rewrites the file through a temporary file, so an
// interrupted save leaves the previous settings whole, and a damaged file
// reads as "no records": every record keeps its defaults.
#include "frame/Preference.h"

#include "frame/Diagnostics.h"
#include "frame/SettingsFile.h"
#include "kit/interface/Font.h"
#include "kit/storage/Resources.h"
#include "kit/support/EscapeText.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

CPreferenceHandler PreferenceHandler;

namespace {

// Files set aside are "<path>.damaged", "<path>.damaged 1", "<path>.damaged 2"
// ... up to this many: an older one is never replaced.
constexpr int kMaxDamagedFiles = 1000;

// Renames `from` to `to` unless `to` exists. 0, or -1 with errno (EEXIST
// when `to` exists).
int RenameWithoutReplacing(const std::string& from, const std::string& to)
{
	if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
		return 0;
	if (errno != EINVAL && errno != ENOSYS)
		return -1;
	// A file system without RENAME_NOREPLACE: a hard link fails on an
	// existing name just as well.
	if (link(from.c_str(), to.c_str()) == 0)
		return unlink(from.c_str());
	if (errno == EEXIST)
		return -1;
	struct stat st;
	if (lstat(to.c_str(), &st) == 0) {
		errno = EEXIST;
		return -1;
	}
	return rename(from.c_str(), to.c_str());
}

// A file we cannot parse is set aside (never silently overwritten, nor one
// set aside before) before the first save replaces it, so whatever it held
// can still be looked at. False when it could not be set aside: then it
// must not be replaced either.
bool SetDamagedFileAside(const std::string& path)
{
	for (int n = 0; n < kMaxDamagedFiles; n++) {
		std::string aside = path + ".damaged";
		if (n > 0)
			aside += " " + std::to_string(n);
		if (RenameWithoutReplacing(path, aside) == 0) {
			fprintf(stderr, "Settings file \"%s\" is damaged; kept as \"%s\", using defaults.\n",
				EscapeControlChars(path).c_str(), EscapeControlChars(aside).c_str());
			return true;
		}
		if (errno != EEXIST)
			break;
	}
	fprintf(stderr, "Settings file \"%s\" is damaged and could not be set aside (%s); it is left as it is.\n",
		EscapeControlChars(path).c_str(), strerror(errno));
	return false;
}

}   // namespace

status_t CPreferenceHandler::Init(const char* path)
{
	if (path == nullptr || path[0] == '\0')
		return B_BAD_VALUE;
	status_t status = CSettingsFile::CreateFile(path);
	if (status != B_OK)
		return status;
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
	if (status == B_BAD_DATA) {
		if (!SetDamagedFileAside(fPath))
			return false;
	} else if (status != B_OK)
		return false;   // unreadable: do not replace what we could not read
	file.Set(name, B_RAW_TYPE, std::move(data));
	return CSettingsFile::WriteFile(fPath, file.Serialize()) == B_OK;
}

std::string PreferenceFileProblem(const char* path, status_t status)
{
	const char* reason = status == B_BAD_TYPE ? "not a regular file" : StatusText(status);
	return "\"" + EscapeControlChars(path != nullptr ? path : "") + "\" (" + reason + ")";
}

void InitPreferenceHandler(const char* path)
{
	status_t status = path != nullptr && path[0] != '\0' ? CSettingsFile::CreateFile(path) : B_BAD_VALUE;
	if (status != B_OK) {
		printf("Preference file open error! %s\n", PreferenceFileProblem(path, status).c_str());
		fflush(stdout);
		exit(1);
	}
	status = PreferenceHandler.Init(path);
	if (status != B_OK) {
		printf("Preference file init error! %s\n", PreferenceFileProblem(path, status).c_str());
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
