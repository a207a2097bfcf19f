// What the program shows about the media libraries it runs with (the about
// box): their version and the licence they were built under.
#pragma once

#include <string>

// "libavformat 59.27.100, libavcodec 59.37.100, libavutil 57.28.100" (the
// versions of the libraries loaded, not of the headers built against).
std::string MediaLibraryVersions();
// The licence text the FFmpeg build reports ("LGPL version 2.1 or later",
// "GPL version 2 or later", ...).
std::string MediaLibraryLicense();
