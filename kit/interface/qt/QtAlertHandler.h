// Alerts as Qt dialogs. Any thread may ask: the dialog runs on the GUI thread
// and the calling thread waits for the answer; on the GUI thread the dialog
// runs at once (in a nested event loop). When the GUI can no longer run a
// dialog (no application, or its event loop has ended) the alert is answered
// on the console instead, with the default button.
#pragma once

#include "kit/interface/Alert.h"

class BWindow;

class CQtAlertHandler : public CAlertHandler {
public:
	int32 Show(const AlertRequest& request) override;
};

// GUI thread: shows the dialog for `request` and returns the index of the
// button pressed. The dialog can only be left through one of its buttons.
int32 RunAlertDialog(const AlertRequest& request);

// Brings `window` (may be null) to the front, then shows a stop alert titled
// "error alert" with `text` and up to three buttons (button1 and button2 may
// be null), the buttons as wide as the widest. Returns the index of the
// button pressed. Any thread.
int32 ShowErrorAlert(BWindow* window, const char* text, const char* button0, const char* button1 = nullptr,
	const char* button2 = nullptr);
