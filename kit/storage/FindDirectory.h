// Standard folders of the user.
#pragma once

#include "kit/support/SupportDefs.h"

#include <string>

enum directory_which {
	B_USER_SETTINGS_DIRECTORY = 0,   // $XDG_CONFIG_HOME, else $HOME/.config
	B_USER_DATA_DIRECTORY,           // $XDG_DATA_HOME, else $HOME/.local/share
	B_USER_DIRECTORY,                // $HOME
	B_SYSTEM_TEMP_DIRECTORY,         // $TMPDIR, else /tmp
};

// Gives the folder's path (no trailing '/'), creating it (and its parents,
// mode 0700) when createIt is set. B_ENTRY_NOT_FOUND when neither variable is
// set, or a creation error.
status_t find_directory(directory_which which, std::string* path, bool createIt = true);
// The platform's form: the path into a buffer of `length` bytes
// (B_BUFFER_OVERFLOW-like B_NAME_TOO_LONG when it does not fit).
status_t find_directory(directory_which which, int32 device, bool createIt, char* pathString, int32 length);
