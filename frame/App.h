// The application's identity and the Qt-free rules of start-up and shutdown:
// the command line, the process limits, the settings folder and the project
// root folder. The application object itself (CApp) lives with the windows in
// ui/App.h, because start-up joins every subsystem.
#pragma once

#include "kit/support/SupportDefs.h"

#include <atomic>
#include <string>

extern const char* pszAppName;           // "Tarnwick"
extern const char* pszAppVersion;        // "0.80 beta"
extern const char* pszAppSig;            // the application signature
extern const char* pszAppSettingsFile;   // file name of the settings store

// True while the application asks its windows to quit (set and cleared on
// the GUI thread; any thread may read it).
extern std::atomic<bool> g_bApplicationQuitting;

// True when the first argument (only that one) is "debug", "-debug" or
// "--debug" in any case.
bool IsDebugArgument(int argc, char** argv);

// The first steps of main: sets every debug flag when IsDebugArgument, then
// traces the start line ("Tarnwick 0.80 beta starting in debug mode...").
void ApplyCommandLine(int argc, char** argv);

// Raises the descriptor limit to 1024 and prints the two lines about it
// ("asking for 1024 file descriptors..." and the result); also raises the
// soft locked-memory limit to the hard one (silently). Returns the status of
// the descriptor request, which callers only print.
status_t AskForFileDescriptors();

// The user settings folder with a trailing '/', created when missing; the
// fixed "/boot/home/config/settings/" when it cannot be found or made.
std::string GetSettingsDirectory();
// The settings store's path: the settings folder + pszAppSettingsFile.
std::string GetSettingsFile();
// The default project root folder: the settings folder + "Tarnwick Projects".
std::string GetDefaultProjectRootFolder();

// The volume check of a project root folder: the path up to (not including)
// the first '/' after its first character must exist ("/home" for
// "/home/ann/x"); a path without such a '/' ("/mnt", "/") is tested whole.
// B_OK or B_ENTRY_NOT_FOUND.
status_t CheckProjectVolume(const std::string& folder);

// Moves everything inside folder `from` into folder `to`; B_OK or the failure.
typedef status_t (*project_folder_mover)(const char* from, const char* to);

// Finds the project root folder from the "project root folder" record,
// creates it, and carries out a pending move of the folder with `mover`
// (which must not be null). `path` receives the root folder, also when a
// failing status is returned (the folder that could not be used). Returns
// B_OK, B_ENTRY_NOT_FOUND (its volume, or a pending move's target volume, is
// missing: nothing is created and the record stays as it is) or the status
// of the folder creation. A move that fails part-way is reported through
// DebugAlert and the old folder stays the root; the pending move is then
// cleared. Any thread; the settings store must be bound.
status_t ResolveProjectRootFolder(std::string* path, project_folder_mover mover);
