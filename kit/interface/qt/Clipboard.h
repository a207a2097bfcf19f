// The system clipboard, plain text only. Any thread (the work is done on the
// GUI thread). B_NO_INIT when there is no running application.
#pragma once

#include "kit/support/SupportDefs.h"

#include <string>

status_t SetClipboardText(const std::string& text);
// An empty clipboard, or one without text, gives "".
status_t GetClipboardText(std::string* text);

// Puts `text` (null is "") on the clipboard as plain text. False, after
// printing "could not lock clipboard", when there is no clipboard to use.
bool PutTextIntoClipboard(const char* text);
