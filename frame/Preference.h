// The settings store: named records (flattened messages) kept in one file.
#pragma once

#include "kit/interface/Point.h"
#include "kit/interface/Rect.h"
#include "kit/support/Message.h"

#include <mutex>
#include <string>

class CPreferenceHandler {
public:
	CPreferenceHandler() = default;
	// Binds the handler to the settings file at `path`, creating the file
	// when missing. B_OK; B_BAD_TYPE when `path` is not a regular file (a
	// FIFO there is refused without blocking); or the open error.
	status_t Init(const char* path);
	// A new message (the caller owns it) or null when the record is missing
	// or damaged.
	BMessage* LoadMessage(const char* name);
	// Writes the record whole; true when every byte was written.
	bool SaveMessage(const char* name, BMessage* message);
	const std::string& Path() const { return fPath; }

private:
	std::string fPath;
	std::mutex fLock;   // serialises the read-modify-write of the file
};

extern CPreferenceHandler PreferenceHandler;

// The path (control characters escaped) and the reason, for the messages of
// a settings file that cannot be used: "\"/x/Tarnwick Settings\" (not a
// regular file)".
std::string PreferenceFileProblem(const char* path, status_t status);

// Binds the global handler; on failure prints "Preference file open error!"
// (or "... init error!") with PreferenceFileProblem and exits with status 1.
void InitPreferenceHandler(const char* path);

class CPreference : public BMessage {
public:
	explicit CPreference(const char* name);
	~CPreference() override;
	bool Load();
	bool Save();
	bool Delete();
	const char* Name() const { return fName; }

private:
	char* fName;
};

BRect LoadWindowPlacement(const char* name, BRect defaultFrame);
void SaveWindowPlacement(const char* name, BRect frame);
BPoint LoadWindowPosition(const char* name, BPoint defaultPosition);
void SaveWindowPosition(const char* name, BPoint position);

BMessage* GetResource(const char* name);
BMessage* RescaleArchive(BMessage* archive, float factor);
