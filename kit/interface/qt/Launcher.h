// Handing things to the user's own programs: opening a file with the
// preferred application (xdg-open) and starting a new mail (xdg-email).
//
// Both wait a little for the helper to report: a helper that fails at once
// (missing file, no program for the type, helper not installed) gives its
// failure; one still running after that time is taken as started and reaped
// in the background. Any thread.
#pragma once

#include "kit/support/SupportDefs.h"

// B_OK, B_BAD_VALUE (null or empty path), B_ENTRY_NOT_FOUND (no such file),
// B_LAUNCH_FAILED_APP_NOT_FOUND (xdg-open missing),
// B_LAUNCH_FAILED_NO_PREFERRED_APP (no program for the file) or
// B_LAUNCH_FAILED.
status_t OpenWithPreferredApplication(const char* path);

// Opens the mail program with a new mail to `address` (may be empty)
// carrying `subject` and `body` (either may be null). B_OK, B_BAD_VALUE
// (an address starting with '-'), B_LAUNCH_FAILED_APP_NOT_FOUND (xdg-email
// missing),
// B_LAUNCH_FAILED_NO_PREFERRED_APP (no mail program) or B_LAUNCH_FAILED.
status_t OpenNewMail(const char* address, const char* subject, const char* body);
