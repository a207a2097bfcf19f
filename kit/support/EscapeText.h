// Showing outside text (file names, bytes read from a user's file) in a
// message without letting it act on the terminal or log viewer that shows it.
#pragma once

#include <string>
#include <string_view>

// Returns `text` with every byte that could control a terminal written as an
// escape: tab, line feed and carriage return as \t, \n and \r, the other C0
// controls and DEL as \xNN, the C1 controls (U+0080..U+009F) and every byte
// that is not part of well-formed UTF-8 as \xNN per byte, and the backslash as
// \\ so that the result reads back unambiguously. Printable UTF-8 is kept.
// Pure function; any thread may call it.
std::string EscapeControlChars(std::string_view text);
