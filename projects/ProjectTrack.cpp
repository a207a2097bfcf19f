// The track model: construction from a record, the length limits, the
// attributes that hold artist and title, and the renaming of the file.
#include "projects/ProjectTrack.h"

#include "frame/Diagnostics.h"
#include "frame/Preference.h"
#include "kit/storage/Directory.h"
#include "kit/storage/Entry.h"
#include "kit/storage/Node.h"
#include "kit/storage/Path.h"
#include "kit/support/EscapeText.h"
#include "kit/support/Message.h"
#include "projects/AudioFileInfo.h"
#include "projects/Project.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

const char* const kArtistAttribute = "Audio:Artist";
const char* const kTitleAttribute = "Audio:Title";

namespace {

constexpr size_t kAttributeReadLimit = 500;
constexpr int32 kRenameAttempts = 10000;

int64 SaturatingAdd(int64 a, int64 b)
{
	int64 sum;
	if (__builtin_add_overflow(a, b, &sum))
		return b > 0 ? std::numeric_limits<int64>::max() : std::numeric_limits<int64>::min();
	return sum;
}

int64 FindInt64Or(const BMessage& record, const char* name, int64 defaultValue)
{
	int64 value;
	return record.FindInt64(name, &value) == B_OK ? value : defaultValue;
}

// A span or offset: never negative.
int64 NotNegative(int64 value)
{
	return value < 0 ? 0 : value;
}

// A length: -1 ("not measured") or not negative.
int64 LengthOrUnknown(int64 value)
{
	return value < -1 ? -1 : value;
}

}   // namespace

// #pragma mark - attributes

status_t ReadFileAttributeString(const char* path, const char* attribute, std::string* value)
{
	if (value == nullptr)
		return B_BAD_VALUE;
	value->clear();
	if (path == nullptr || attribute == nullptr)
		return B_BAD_VALUE;

	BEntry entry(path, true);
	status_t status = entry.InitCheck();
	if (status != B_OK)
		return status;
	BNode node(&entry);
	status = node.InitCheck();
	if (status != B_OK)
		return status;
	attr_info info;
	status = node.GetAttrInfo(attribute, &info);
	if (status != B_OK)
		return status;

	char buffer[kAttributeReadLimit];
	size_t wanted = info.size < off_t(sizeof(buffer)) ? size_t(info.size) : sizeof(buffer);
	ssize_t got = node.ReadAttr(attribute, info.type, 0, buffer, wanted);
	if (got < 0)
		return status_t(got);

	size_t length = 0;
	while (length < size_t(got) && buffer[length] != '\0')
		length++;
	size_t start = 0;
	while (start < length && buffer[start] == ' ')
		start++;
	value->assign(buffer + start, length - start);
	return B_OK;
}

status_t WriteFileAttributeString(const char* path, const char* attribute, const char* value)
{
	if (path == nullptr || attribute == nullptr || value == nullptr)
		return B_BAD_VALUE;
	BEntry entry(path, true);
	status_t status = entry.InitCheck();
	if (status != B_OK)
		return status;
	BNode node(&entry);
	status = node.InitCheck();
	if (status != B_OK)
		return status;
	// Best-effort: a volume without attributes keeps the data file's copy.
	node.WriteAttr(attribute, B_STRING_TYPE, 0, value, strlen(value) + 1);
	return B_OK;
}

// #pragma mark - record helpers

void ReadTrackRecord(const BMessage& record, TRACK_RECORD* values)
{
	*values = TRACK_RECORD();
	// A leaf name inside the project folder, never a way out of it.
	if (record.FindString("mFile", &values->file) != B_OK || values->file.empty() || values->file == "."
		|| values->file == ".." || values->file.find('/') != std::string::npos)
		values->file = "file not found in message";
	values->hasArtist = record.FindString("mArtist", &values->artist) == B_OK;
	values->hasTitle = record.FindString("mTitle", &values->title) == B_OK;
	values->startSilenceLength = NotNegative(FindInt64Or(record, "mStartSilenceLength", 0));
	values->endSilenceLength = NotNegative(FindInt64Or(record, "mEndSilenceLength", 0));
	values->fileLengthEstimated = LengthOrUnknown(FindInt64Or(record, "mFileLengthEstimated", -1));
	values->fileLengthExact = LengthOrUnknown(FindInt64Or(record, "mFileLengthExact", -1));
	values->fileLengthUsed = LengthOrUnknown(FindInt64Or(record, "mFileLengthUsed", -1));
	values->fileStartOffset = NotNegative(FindInt64Or(record, "mFileStartOffset", 0));
	values->fileFadeInEndOffset = NotNegative(FindInt64Or(record, "mFileFadeInEndOffset", 0));
	values->fileFadeOutStartOffset = NotNegative(FindInt64Or(record, "mFileFadeOutStartOffset", 0));
	values->index1Offset = NotNegative(FindInt64Or(record, "mIndex1Offset", 0));
	float gain;
	if (record.FindFloat("mGain", &gain) == B_OK && std::isfinite(gain))
		values->gain = gain;
}

void ClampTrackSpans(int64 used, int64* fadeInEnd, int64* fadeOutStart, int64* index1)
{
	if (*fadeInEnd > used)
		*fadeInEnd = used;
	if (*fadeOutStart > used)
		*fadeOutStart = used;
	if (SaturatingAdd(*fadeInEnd, *fadeOutStart) > used) {
		*fadeInEnd = used / 2;
		*fadeOutStart = used / 2;
	}
	if (*index1 > used)
		*index1 = used;
}

int64 PaddingFrames(int64 used)
{
	if (used <= 0)
		return 0;
	int64 rest = used % FRAMES_PER_SECTOR;
	return rest == 0 ? 0 : FRAMES_PER_SECTOR - rest;
}

// #pragma mark - CProjectTrack

CProjectTrack::CProjectTrack(CProject* project, const BMessage* record)
{
	construct_CProjectTrack(project, record);
}

CProjectTrack::CProjectTrack(CProject* project, const char* file, const char* title, const char* artist,
	int32 startSectors, int32 endSectors, int64 estimatedLength)
{
	BMessage record;
	record.AddString("mFile", file != nullptr ? file : "");
	record.AddString("mTitle", title != nullptr ? title : "");
	record.AddString("mArtist", artist != nullptr ? artist : "");
	record.AddInt64("mStartSilenceLength", int64(startSectors) * FRAMES_PER_SECTOR);
	record.AddInt64("mEndSilenceLength", int64(endSectors) * FRAMES_PER_SECTOR);
	record.AddInt64("mFileLengthEstimated", estimatedLength);
	construct_CProjectTrack(project, &record);
}

CProjectTrack::~CProjectTrack()
{
	DEBUG_ASSERT(mEntryUseCounter == 0);
	DEBUG_ASSERT(mEntry == nullptr);
}

void CProjectTrack::construct_CProjectTrack(CProject* project, const BMessage* record)
{
	BAutolock lock(fLock);
	fProject = project;
	mEntry.reset();
	mEntryUseCounter = 0;

	TRACK_RECORD values;
	ReadTrackRecord(*record, &values);
	mFile = values.file;
	const std::string path = File();

	// The attributes are the primary store; a record value fills in for a
	// file that lacks them.
	struct {
		const char* attribute;
		bool hasValue;
		const std::string& value;
		std::string* member;
	} names[] = {
		{kArtistAttribute, values.hasArtist, values.artist, &mArtist},
		{kTitleAttribute, values.hasTitle, values.title, &mTitle},
	};
	for (auto& name : names) {
		std::string attribute;
		if (ReadFileAttributeString(path.c_str(), name.attribute, &attribute) == B_OK && !attribute.empty()) {
			*name.member = attribute;
		} else if (name.hasValue) {
			*name.member = name.value;
			if (!name.value.empty())
				WriteFileAttributeString(path.c_str(), name.attribute, name.value.c_str());
		} else {
			name.member->clear();
		}
	}

	mStartSilenceLength = values.startSilenceLength;
	mEndSilenceLength = values.endSilenceLength;
	mFileLengthEstimated = values.fileLengthEstimated;
	mFileLengthExact = values.fileLengthExact;
	mFileLengthUsed = values.fileLengthUsed;
	mFileStartOffset = values.fileStartOffset;
	mFileFadeInEndOffset = values.fileFadeInEndOffset;
	mFileFadeOutStartOffset = values.fileFadeOutStartOffset;
	mIndex1Offset = values.index1Offset;
	mGain = values.gain;

	_ApplyInvariants();
}

void CProjectTrack::_ApplyInvariants()
{
	if (mFileLengthEstimated == -1)
		mFileLengthEstimated = _GetEstimatedFileLength(true);
	if (mFileLengthUsed == -1)
		mFileLengthUsed = FileLength();
	if (mFileLengthUsed < 0)
		mFileLengthUsed = 0;
	ClampTrackSpans(mFileLengthUsed, &mFileFadeInEndOffset, &mFileFadeOutStartOffset, &mIndex1Offset);
}

int64 CProjectTrack::_GetEstimatedFileLength(bool assertOnFailure)
{
	BAutolock lock(fLock);
	const std::string path = File();
	entry_ref ref;
	status_t status = get_ref_for_path(path.c_str(), &ref);
	bool isAudio = false;
	int64 frames = 0;
	std::string info;
	if (status == B_OK)
		status = GetMediaFileInfo(ref, isAudio, frames, info);
	if (status != B_OK) {
		// A file that went away, or is being rewritten by another program,
		// is no fault of the program.
		struct stat st;
		if (assertOnFailure && stat(path.c_str(), &st) == 0)
			DEBUG_ASSERT(status == B_OK);
		DebugLog("CProjectTrack: couldn't measure \"%s\": %s\n", EscapeControlChars(path).c_str(), StatusText(status));
		return 0;
	}
	return frames < 0 ? 0 : frames;
}

status_t CProjectTrack::Save(BMessage* record) const
{
	if (record == nullptr)
		return B_BAD_VALUE;
	BAutolock lock(fLock);
	record->MakeEmpty();
	status_t status;
	if ((status = record->AddString("mFile", mFile)) != B_OK)
		return status;
	if ((status = record->AddString("mArtist", mArtist)) != B_OK)
		return status;
	if ((status = record->AddString("mTitle", mTitle)) != B_OK)
		return status;
	const struct {
		const char* name;
		int64 value;
	} lengths[] = {
		{"mStartSilenceLength", mStartSilenceLength},
		{"mEndSilenceLength", mEndSilenceLength},
		{"mFileLengthEstimated", mFileLengthEstimated},
		{"mFileLengthExact", mFileLengthExact},
		{"mFileLengthUsed", mFileLengthUsed},
		{"mFileStartOffset", mFileStartOffset},
		{"mFileFadeInEndOffset", mFileFadeInEndOffset},
		{"mFileFadeOutStartOffset", mFileFadeOutStartOffset},
		{"mIndex1Offset", mIndex1Offset},
	};
	for (const auto& length : lengths) {
		if ((status = record->AddInt64(length.name, length.value)) != B_OK)
			return status;
	}
	return record->AddFloat("mGain", mGain);
}

std::string CProjectTrack::File() const
{
	BAutolock lock(fLock);
	std::string folder = fProject != nullptr ? fProject->ProjectFolder() : std::string();
	return folder + "/" + mFile;
}

std::string CProjectTrack::Filename() const
{
	BAutolock lock(fLock);
	return mFile;
}

std::string CProjectTrack::Title() const
{
	BAutolock lock(fLock);
	return mTitle;
}

std::string CProjectTrack::Artist() const
{
	BAutolock lock(fLock);
	return mArtist;
}

void CProjectTrack::SetTitle(const char* title)
{
	BAutolock lock(fLock);
	mTitle = title != nullptr ? title : "";
	WriteFileAttributeString(File().c_str(), kTitleAttribute, mTitle.c_str());
	RenameFile();
}

void CProjectTrack::SetArtist(const char* artist)
{
	BAutolock lock(fLock);
	mArtist = artist != nullptr ? artist : "";
	WriteFileAttributeString(File().c_str(), kArtistAttribute, mArtist.c_str());
	RenameFile();
}

void CProjectTrack::SetArtistAndTitle(const char* artist, const char* title)
{
	BAutolock lock(fLock);
	mArtist = artist != nullptr ? artist : "";
	mTitle = title != nullptr ? title : "";
	const std::string path = File();
	WriteFileAttributeString(path.c_str(), kArtistAttribute, mArtist.c_str());
	WriteFileAttributeString(path.c_str(), kTitleAttribute, mTitle.c_str());
	RenameFile();
}

#define TRACK_ACCESSORS(Name, member, type)  \
	void CProjectTrack::Set##Name(type value) \
	{                                         \
		BAutolock lock(fLock);                \
		member = value;                       \
	}                                         \
	type CProjectTrack::Name() const          \
	{                                         \
		BAutolock lock(fLock);                \
		return member;                        \
	}

TRACK_ACCESSORS(Gain, mGain, float)
TRACK_ACCESSORS(StartSilenceLength, mStartSilenceLength, int64)
TRACK_ACCESSORS(EndSilenceLength, mEndSilenceLength, int64)
TRACK_ACCESSORS(Index1Offset, mIndex1Offset, int64)
TRACK_ACCESSORS(FileFadeOutStartOffset, mFileFadeOutStartOffset, int64)
TRACK_ACCESSORS(FileFadeInEndOffset, mFileFadeInEndOffset, int64)
TRACK_ACCESSORS(FileStartOffset, mFileStartOffset, int64)
TRACK_ACCESSORS(FileLengthUsed, mFileLengthUsed, int64)

#undef TRACK_ACCESSORS

int64 CProjectTrack::FileLengthEstimated() const
{
	BAutolock lock(fLock);
	return mFileLengthEstimated;
}

int64 CProjectTrack::FileLengthExact() const
{
	BAutolock lock(fLock);
	return mFileLengthExact;
}

int64 CProjectTrack::FileLength() const
{
	BAutolock lock(fLock);
	return mFileLengthExact != -1 ? mFileLengthExact : mFileLengthEstimated;
}

bool CProjectTrack::IsFileLengthExact() const
{
	BAutolock lock(fLock);
	return mFileLengthExact != -1;
}

int64 CProjectTrack::FilePaddingLength() const
{
	BAutolock lock(fLock);
	return PaddingFrames(mFileLengthUsed);
}

status_t CProjectTrack::GetEntry(const BEntry** entry)
{
	if (entry == nullptr)
		return B_BAD_VALUE;
	BAutolock lock(fLock);
	mEntryUseCounter++;
	if (mEntryUseCounter == 1) {
		mEntry = std::make_unique<BEntry>();
		status_t status = mEntry->SetTo(File().c_str(), false);
		if (status == B_OK && !mEntry->Exists())
			status = B_ENTRY_NOT_FOUND;
		if (status != B_OK) {
			mEntry.reset();
			mEntryUseCounter--;
			return status;
		}
	}
	*entry = mEntry.get();
	return B_OK;
}

void CProjectTrack::ReleaseEntry()
{
	BAutolock lock(fLock);
	DEBUG_ASSERT(mEntryUseCounter > 0);
	if (mEntryUseCounter <= 0)
		return;
	if (--mEntryUseCounter == 0)
		mEntry.reset();
}

bool CProjectTrack::FileExists() const
{
	BEntry entry(File().c_str(), true);
	return entry.InitCheck() == B_OK && entry.Exists();
}

void CProjectTrack::FileNameChanged(const char* name)
{
	DEBUG_ASSERT(name != nullptr && strchr(name, '/') == nullptr);
	if (name == nullptr || strchr(name, '/') != nullptr)
		return;
	BAutolock lock(fLock);
	mFile = name;
}

bool CProjectTrack::FileSizeChanged()
{
	BAutolock lock(fLock);
	const int64 exact = mFileLengthExact;
	const int64 estimated = mFileLengthEstimated;
	const int64 used = mFileLengthUsed;
	mFileLengthExact = -1;
	mFileLengthEstimated = _GetEstimatedFileLength(false);
	mFileLengthUsed = mFileLengthExact != -1 ? mFileLengthExact : mFileLengthEstimated;
	return exact != mFileLengthExact || estimated != mFileLengthEstimated || used != mFileLengthUsed;
}

bool CProjectTrack::FileAttributesChanged()
{
	BAutolock lock(fLock);
	const std::string path = File();
	bool changed = false;
	std::string value;
	if (ReadFileAttributeString(path.c_str(), kArtistAttribute, &value) == B_OK && !value.empty()
		&& value != mArtist) {
		mArtist = value;
		changed = true;
	}
	if (ReadFileAttributeString(path.c_str(), kTitleAttribute, &value) == B_OK && !value.empty()
		&& value != mTitle) {
		mTitle = value;
		changed = true;
	}
	return changed;
}

status_t CProjectTrack::CalculateExactFileSize()
{
	BAutolock lock(fLock);
	if (mFileLengthExact != -1)
		return B_OK;

	entry_ref ref;
	status_t status = get_ref_for_path(File().c_str(), &ref);
	int64 exact = 0;
	if (status == B_OK)
		status = GetExactMediaFileLength(ref, exact);
	if (status != B_OK)
		return status;
	if (exact < 0)
		exact = 0;

	mFileLengthExact = exact;
	if (mFileLengthEstimated <= SaturatingAdd(mFileStartOffset, mFileLengthUsed))
		mFileLengthUsed = exact - mFileStartOffset;
	if (mFileLengthUsed < 0) {
		mFileStartOffset = 0;
		mFileLengthUsed = exact;
	}
	if (mFileStartOffset > exact) {
		mFileStartOffset = exact;
		mFileLengthUsed = 0;
		mFileFadeInEndOffset = 0;
		mFileFadeOutStartOffset = 0;
		mIndex1Offset = 0;
	}
	if (exact <= SaturatingAdd(mFileStartOffset, mFileLengthUsed))
		mFileLengthUsed = exact - mFileStartOffset;
	ClampTrackSpans(mFileLengthUsed, &mFileFadeInEndOffset, &mFileFadeOutStartOffset, &mIndex1Offset);
	return B_OK;
}

namespace {

// Renames `entry` within its folder to base + extension, or base + " (n)" +
// extension for the first n whose name is free; a name it already has is
// kept. True when the entry now has such a name.
bool RenameToFreeName(BEntry* entry, const std::string& base, const std::string& extension)
{
	std::string current;
	entry->GetName(&current);
	for (int32 n = 0; n < kRenameAttempts; n++) {
		std::string name = base;
		if (n > 0)
			name += " (" + std::to_string(n) + ")";
		name += extension;
		// Renaming onto its own name would count that name as taken.
		if (current == name)
			return true;
		status_t status = entry->Rename(name.c_str(), false);
		if (status != B_FILE_EXISTS)
			return status == B_OK;
	}
	return false;
}

}   // namespace

void CProjectTrack::RenameFile()
{
	BAutolock lock(fLock);

	CPreference settings("global project settings");
	settings.AddBool("rename source files", false);
	settings.Load();
	bool renameSource = false;
	settings.FindBool("rename source files", &renameSource);

	const std::string path = File();
	BEntry own(path.c_str(), false);
	if (own.InitCheck() != B_OK || !own.Exists())
		return;
	const bool isLink = own.IsSymLink();
	BEntry source;
	if (isLink) {
		if (source.SetTo(path.c_str(), true) != B_OK || !source.Exists())
			return;
	}

	std::string leaf;
	own.GetName(&leaf);
	size_t dot = leaf.rfind('.');
	const std::string extension = dot == std::string::npos ? std::string() : leaf.substr(dot);

	std::string base = (mArtist.empty() ? std::string(" ") : mArtist) + " - " + (mTitle.empty() ? std::string(" ") : mTitle);
	for (char& c : base) {
		if (c == '/')
			c = '|';
	}

	if (!(isLink && renameSource)) {
		RenameToFreeName(&own, base, extension);
		return;
	}

	// A link whose source is renamed too. The link takes its new name first;
	// then the source is renamed, and last a new link to the source is put
	// over the link's new name (made under a scratch name the roster passes
	// over). The replacement is the last step, so when the roster reads of
	// it the name still holds the new link and the track can follow it; a
	// step after it could take the name away before the roster looks.
	if (!RenameToFreeName(&own, base, extension) || !RenameToFreeName(&source, base, extension))
		return;
	BEntry folder;
	BPath sourcePath(&source);
	if (own.GetParent(&folder) != B_OK || sourcePath.InitCheck() != B_OK)
		return;
	const std::string scratch = folder.Path() + "/" + kProjectScratchPrefix + "link";
	unlink(scratch.c_str());
	if (symlink(sourcePath.Path(), scratch.c_str()) == 0 && rename(scratch.c_str(), own.Path().c_str()) != 0)
		unlink(scratch.c_str());
}

bool CProjectTrack::Lock()
{
	return fLock.Lock();
}

void CProjectTrack::Unlock()
{
	fLock.Unlock();
}
