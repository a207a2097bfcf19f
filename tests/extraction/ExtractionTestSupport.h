// Helpers shared by the extraction tests.
#pragma once

#include "DebugCapture.h"
#include "kit/interface/Alert.h"

#include <string>

// Answers every alert (assertions included) with "Ignore" and counts them.
class AlertScope {
public:
	AlertScope() : fPrevious(SetAlertHandler(&handler)) {}
	~AlertScope() { SetAlertHandler(fPrevious); }
	AlertScope(const AlertScope&) = delete;
	AlertScope& operator=(const AlertScope&) = delete;
	CScriptedAlertHandler handler {2};

private:
	CAlertHandler* fPrevious;
};

// Whether `text` holds an assertion of `expression`.
inline bool HasAssertion(const std::string& text, const std::string& expression)
{
	return text.find("expression: " + expression + "\n") != std::string::npos;
}
