// The drive report for bug reports and feedback: every drive's identity,
// driver, settings, capabilities page and a live speed test, as plain text.
//
// The report sends drive commands (the speed test leaves the drive at its
// maximum speeds). It runs on the thread that asks for it; the drive's
// update thread may poll in between, which the drive commands tolerate.
#pragma once

#include "kit/support/SupportDefs.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

class CDevice;

// Where feedback mails go, and their subject.
constexpr const char* kFeedbackAddress = "feedback@tarnwick.example";
constexpr const char* kFeedbackSubject = "Tarnwick feedback";

// The report of one drive: lines of a label, the value in double quotes and
// a line feed; the capability and speed-test sections only when the
// capabilities page (2Ah) can be read.
std::string DeviceReport(CDevice* device);

// The capability section of the report: label (with its ": ") and value of
// each line of the capabilities page (2Ah), speeds included; empty when the
// drive does not answer with the page. Sends one drive command.
std::vector<std::pair<std::string, std::string>> DeviceCapabilityLines(CDevice* device);

// The reports of every drive of g_pDevices, each after a banner with its
// display name; "" when there is no drive.
std::string DeviceReportAll();

// What the user is told before the report is made.
extern const char* const kFeedbackIntroText;

// The ways out of the program that SendFeedback uses, given by the caller
// (Qt in the program, fakes in tests).
struct FEEDBACK_ACTIONS {
	// Opens a new mail; B_OK when a mail program took it.
	std::function<status_t(const char* address, const char* subject, const char* body)> openMail;
	// Puts the text on the system clipboard; true on success.
	std::function<bool(const char* text)> putIntoClipboard;
	// The folder the report is saved into when no mail program takes it;
	// empty means the user's documents folder (DocumentsFolder()).
	std::string folder;
};

enum feedback_outcome {
	FEEDBACK_MAILED = 0,   // a mail program took the report
	FEEDBACK_SAVED,        // saved to a file (and copied to the clipboard when it could be)
	FEEDBACK_LOST,         // neither mail nor file: only the clipboard may hold it
};

struct FEEDBACK_RESULT {
	feedback_outcome outcome = FEEDBACK_LOST;
	std::string path;        // the file written (FEEDBACK_SAVED)
	bool copied = false;     // the report is on the clipboard
	std::string alertText;   // what to tell the user; "" after FEEDBACK_MAILED
};

// Hands `report` to a new mail to kFeedbackAddress. When no mail program
// takes it, saves it as a new file in the folder (never overwriting one)
// and puts it on the clipboard, and says where it is. Any thread.
FEEDBACK_RESULT SendFeedback(const std::string& report, const FEEDBACK_ACTIONS& actions);

// The user's documents folder: XDG_DOCUMENTS_DIR of the environment or of
// the user-dirs file in the settings folder, else ~/Documents.
std::string DocumentsFolder();
