// Synchronous alerts from any thread. An alert has a title, a text, one to
// three buttons and an icon kind; Go() blocks the calling thread until the
// installed handler answers with the index of the button pressed.
//
// The handler decides how alerts are answered: Qt dialogs in the program
// (ui/), scripted answers in tests, a console rule on the command line.
#pragma once

#include "kit/support/SupportDefs.h"

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

enum alert_type {
	B_EMPTY_ALERT = 0,
	B_INFO_ALERT,
	B_IDEA_ALERT,
	B_WARNING_ALERT,
	B_STOP_ALERT,
};

enum button_width {
	B_WIDTH_AS_USUAL = 0,
	B_WIDTH_FROM_WIDEST,
	B_WIDTH_FROM_LABEL,
};

enum button_spacing {
	B_EVEN_SPACING = 0,
	B_OFFSET_SPACING,
};

// Window feel of an alert window: normal or floating above all windows.
enum alert_feel {
	B_ALERT_NORMAL_FEEL = 0,
	B_ALERT_FLOATING_ALL_FEEL,
};

struct AlertRequest {
	std::string title;
	std::string text;
	std::vector<std::string> buttons;   // 1 to 3 labels
	alert_type type = B_INFO_ALERT;
	button_width width = B_WIDTH_AS_USUAL;
	button_spacing spacing = B_EVEN_SPACING;
	alert_feel feel = B_ALERT_NORMAL_FEEL;
};

class CAlertHandler {
public:
	virtual ~CAlertHandler() = default;
	// Shows the alert and returns the index of the button pressed. Called on
	// the thread that asked; a handler that needs another thread (the GUI)
	// waits for it here.
	virtual int32 Show(const AlertRequest& request) = 0;
};

// Installs `handler` (not owned; null restores the console handler) and
// returns the previous one.
CAlertHandler* SetAlertHandler(CAlertHandler* handler);
CAlertHandler* GetAlertHandler();
// Runs one alert through the installed handler.
int32 ShowAlert(const AlertRequest& request);

// Prints the alert to standard output and answers with the default button:
// the last one, as pressing Enter would.
class CConsoleAlertHandler : public CAlertHandler {
public:
	int32 Show(const AlertRequest& request) override;
};

// Test handler: answers from a queue of scripted button indexes (or by a
// button label), and records every alert shown. When the script is empty
// it answers `defaultAnswer`. Thread-safe.
class CScriptedAlertHandler : public CAlertHandler {
public:
	explicit CScriptedAlertHandler(int32 defaultAnswer = 0) : fDefault(defaultAnswer) {}
	int32 Show(const AlertRequest& request) override;

	void QueueAnswer(int32 index);
	void QueueAnswer(const std::string& buttonLabel);   // index of that label in the alert
	std::vector<AlertRequest> Shown() const;
	size_t CountShown() const;
	void Clear();

private:
	mutable std::mutex fLock;
	std::deque<std::string> fLabels;   // "#n" for an index answer, else a label
	std::vector<AlertRequest> fShown;
	int32 fDefault;
};

// The platform's alert object. Build it, then Go() to show it and wait.
// Go() deletes an alert made with new, as the platform does, so
// `(new BAlert(...))->Go()` is the usual form; an alert on the stack is
// left alone. Never keep an alert made with new in a smart pointer.
class BAlert {
public:
	static void* operator new(size_t size);
	static void operator delete(void* pointer);

	BAlert(const char* title, const char* text, const char* button0, const char* button1 = nullptr,
		const char* button2 = nullptr, button_width width = B_WIDTH_AS_USUAL, alert_type type = B_INFO_ALERT);
	BAlert(const char* title, const char* text, const char* button0, const char* button1, const char* button2,
		button_width width, button_spacing spacing, alert_type type);
	void SetFeel(alert_feel feel) { fRequest.feel = feel; }
	// Blocks until the installed handler answers; returns the index of the
	// button pressed. Any thread may call it.
	int32 Go();
	const AlertRequest& Request() const { return fRequest; }

private:
	AlertRequest fRequest;
};
