// The application: identity, the program entry and start-up.
#pragma once

#include "kit/support/SupportDefs.h"

#include <string>

extern const char* pszAppName;
extern const char* pszAppVersion;
extern const char* pszAppSig;
extern const char* pszAppSettingsFile;

// True when the first argument asks for debug mode ("debug", "-debug",
// "--debug", any case).
bool IsDebugArgument(int argc, char** argv);

// The settings folder (created when missing), with a trailing '/'.
std::string GetSettingsDirectory();
// The path of the settings file.
std::string GetSettingsFile();

// Everything main does; returns the exit status.
int TarnwickMain(int argc, char** argv);
