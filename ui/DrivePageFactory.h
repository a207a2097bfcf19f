// The source pane's page of one drive. The main window calls the factory for
// each drive; the page finds the windows it talks to through the openers
// below, which the program may replace (the extraction window's opener and
// the destination pane's active project come from their own windows).
#pragma once

#include <functional>

#include "kit/app/Messenger.h"

class CDevice;
class CProject;
class QWidget;

// The drive page of `device` (a CCdromPage), owned by `parent`. GUI thread.
QWidget* CreateDrivePage(CDevice* device, QWidget* parent);

// How pages open the drive's extraction window (default: the window titled
// "Reading audio data - " + the drive's name, when it exists) and find the
// destination pane's active project (default: none). Set them before pages
// are made; GUI thread.
void SetCddaReadWindowOpener(std::function<BMessenger(CDevice*)> opener);
void SetActiveProjectProvider(std::function<CProject*()> provider);
