// The rules that turn a track's stored or displayed name into artist and
// title and back. Pure functions of their arguments; any thread.
#pragma once

#include <string>
#include <string_view>

// Splits a name such as "01 - Artist - Title" into artist and title: leading
// track numbers and separators are skipped, then the first rule of a fixed
// list that finds its separator splits; blanks and underscores are tidied.
void SeparateArtistAndTitle(std::string& artist, std::string& title, std::string_view text);

// first + ": " + second when both are non-empty, else the one that is.
std::string GetTrackName(std::string_view first, std::string_view second);
