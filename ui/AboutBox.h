// The about box: the program's name and version, and the libraries it runs
// with under their licences.
#pragma once

#include <string>

// The box's text. Any thread.
std::string AboutText();
// Shows it (an alert with "OK") and waits. Any thread.
void ShowAboutBox();
