// CProjectRoster: the registry of every project inside the project root
// folder. This is the frame that start-up and shutdown use: it opens the root
// folder and gives it back; projects, monitors and notifications join later.
#pragma once

#include "kit/support/SupportDefs.h"

#include <mutex>
#include <string>

class BDirectory;

class CProjectRoster {
public:
	CProjectRoster();
	~CProjectRoster();
	CProjectRoster(const CProjectRoster&) = delete;
	CProjectRoster& operator=(const CProjectRoster&) = delete;

	// Opens the root folder `rootFolder` (which must exist). B_OK, or the
	// status of opening it; the roster stays uninitialised on failure.
	status_t Init(const char* rootFolder);
	// Ends the roster's work; does nothing unless Init succeeded.
	void Exit();
	// Sets `dir` to the root folder. B_NO_INIT before a successful Init or
	// after Exit, B_BAD_VALUE for a null dir, else the status of opening it.
	status_t GetProjectBaseFolder(BDirectory* dir);

	// The roster lock: callers that walk or change projects take it first.
	void Lock() { fLock.lock(); }
	void Unlock() { fLock.unlock(); }

private:
	std::recursive_mutex fLock;
	std::string fRootFolder;
	bool fInitialized = false;
};

// The roster of the running application: created and initialised by start-up,
// shut down and deleted at exit.
extern CProjectRoster* gpProjectRoster;

// Moves everything inside folder `from` into folder `to` (another volume).
// B_OK or the status of the first failure. Not available yet: answers
// B_UNSUPPORTED and moves nothing, so the old folder stays in use.
status_t MoveFolderContent(const char* from, const char* to);
