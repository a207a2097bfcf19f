// Window openers: every window that can be opened from several places is
// looked for by its exact title first, so it is brought to the front instead
// of opened twice.
#pragma once

#include "kit/interface/qt/Window.h"

#include <functional>

// Finds the window titled `title` and activates it, or makes one with
// `create` (which places it: openers give left/top and let it size itself),
// shows it and activates it. Any thread: the work runs on the GUI thread
// while the caller waits, so two openers of one title give one window.
// Returns the window (use the pointer on the GUI thread only), or null when
// the GUI has gone or `create` gave none.
BWindow* ShowWindowWithTitle(const char* title, const std::function<BWindow*()>& create);
