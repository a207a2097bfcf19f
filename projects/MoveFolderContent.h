// Moving the content of the project root folder to another folder (another
// volume), with the "moving folder" notice that the user sees meanwhile.
#pragma once

#include "kit/interface/Alert.h"
#include "kit/support/SupportDefs.h"

// A notice that cannot be answered: shown before a long operation and taken
// down by the program when it is done. The request is an information alert
// with one button that stays disabled; the window is placed 15 pixels lower
// than an alert's usual place and is modal to the program's windows.
class CMoveFolderNotice {
public:
	virtual ~CMoveFolderNotice() = default;
	// Shows the notice and returns at once. Called on the moving thread.
	virtual void Show(const AlertRequest& request) = 0;
	// Takes the notice down. Called on the moving thread after Show.
	virtual void Close() = 0;
};

// Installs `notice` (not owned; null restores the console notice, which
// prints the text) and returns the one installed before. The program's
// windowing layer installs one that shows a window.
CMoveFolderNotice* SetMoveFolderNotice(CMoveFolderNotice* notice);

// Why the settings refuse a folder chosen as the new project root folder,
// and why a folder on another volume only takes over at the next start.
extern const char* const kRootFolderWithoutAttributesText;
extern const char* const kRootFolderWithoutMimeText;
extern const char* const kRootFolderOnOtherVolumeText;

// The notice's title, text and button.
AlertRequest MoveFolderNoticeRequest();

// Moves everything inside folder `from` into folder `to` (see
// MoveFolderContentRecursiv), showing the notice for at least `minimumShow`
// microseconds from the start. B_OK, the status of opening either folder,
// or the move's first failure (what was not moved stays in `from`).
// Any thread but the GUI thread.
status_t MoveFolderContent(const char* from, const char* to, bigtime_t minimumShow);
// The same, with the notice up for at least 3 seconds.
status_t MoveFolderContent(const char* from, const char* to);
