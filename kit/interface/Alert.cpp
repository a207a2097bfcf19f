// The synchronous alert service: one replaceable handler answers every alert.
#include "kit/interface/Alert.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <unordered_set>

namespace {

CConsoleAlertHandler sConsoleHandler;
std::atomic<CAlertHandler*> sHandler {&sConsoleHandler};

// Alerts made with new (Go deletes those). Never destroyed, so alerts shown
// while the program exits still find it.
std::mutex& HeapAlertLock()
{
	static std::mutex* lock = new std::mutex;
	return *lock;
}

std::unordered_set<const void*>& HeapAlerts()
{
	static auto* alerts = new std::unordered_set<const void*>;
	return *alerts;
}

}   // namespace

CAlertHandler* SetAlertHandler(CAlertHandler* handler)
{
	if (handler == nullptr)
		handler = &sConsoleHandler;
	return sHandler.exchange(handler, std::memory_order_acq_rel);
}

CAlertHandler* GetAlertHandler()
{
	return sHandler.load(std::memory_order_acquire);
}

int32 ShowAlert(const AlertRequest& request)
{
	return GetAlertHandler()->Show(request);
}

// #pragma mark - CConsoleAlertHandler

int32 CConsoleAlertHandler::Show(const AlertRequest& request)
{
	static std::mutex printLock;
	int32 answer = request.buttons.empty() ? 0 : int32(request.buttons.size()) - 1;

	std::string out = "*** " + request.title + " ***\n" + request.text;
	if (out.empty() || out.back() != '\n')
		out += '\n';
	for (const std::string& button : request.buttons)
		out += "[" + button + "] ";
	out += "-> ";
	if (!request.buttons.empty())
		out += request.buttons[size_t(answer)];
	out += '\n';

	std::lock_guard<std::mutex> lock(printLock);
	fwrite(out.data(), 1, out.size(), stdout);
	fflush(stdout);
	return answer;
}

// #pragma mark - CScriptedAlertHandler

int32 CScriptedAlertHandler::Show(const AlertRequest& request)
{
	std::lock_guard<std::mutex> lock(fLock);
	fShown.push_back(request);
	if (fLabels.empty())
		return fDefault;

	std::string scripted = fLabels.front();
	fLabels.pop_front();
	if (!scripted.empty() && scripted[0] == '#')
		return int32(strtol(scripted.c_str() + 1, nullptr, 10));
	for (size_t i = 0; i < request.buttons.size(); i++) {
		if (request.buttons[i] == scripted)
			return int32(i);
	}
	// A label the alert does not have: the default answer.
	return fDefault;
}

void CScriptedAlertHandler::QueueAnswer(int32 index)
{
	std::lock_guard<std::mutex> lock(fLock);
	fLabels.push_back("#" + std::to_string(index));
}

void CScriptedAlertHandler::QueueAnswer(const std::string& buttonLabel)
{
	std::lock_guard<std::mutex> lock(fLock);
	fLabels.push_back(buttonLabel);
}

std::vector<AlertRequest> CScriptedAlertHandler::Shown() const
{
	std::lock_guard<std::mutex> lock(fLock);
	return fShown;
}

size_t CScriptedAlertHandler::CountShown() const
{
	std::lock_guard<std::mutex> lock(fLock);
	return fShown.size();
}

void CScriptedAlertHandler::Clear()
{
	std::lock_guard<std::mutex> lock(fLock);
	fShown.clear();
	fLabels.clear();
}

// #pragma mark - BAlert

void* BAlert::operator new(size_t size)
{
	void* pointer = ::operator new(size);
	std::lock_guard<std::mutex> lock(HeapAlertLock());
	HeapAlerts().insert(pointer);
	return pointer;
}

void BAlert::operator delete(void* pointer)
{
	if (pointer == nullptr)
		return;
	{
		std::lock_guard<std::mutex> lock(HeapAlertLock());
		HeapAlerts().erase(pointer);
	}
	::operator delete(pointer);
}

BAlert::BAlert(const char* title, const char* text, const char* button0, const char* button1, const char* button2,
	button_width width, alert_type type)
	:
	BAlert(title, text, button0, button1, button2, width, B_EVEN_SPACING, type)
{
}

BAlert::BAlert(const char* title, const char* text, const char* button0, const char* button1, const char* button2,
	button_width width, button_spacing spacing, alert_type type)
{
	fRequest.title = title != nullptr ? title : "";
	fRequest.text = text != nullptr ? text : "";
	for (const char* label : {button0, button1, button2}) {
		if (label == nullptr)
			break;
		fRequest.buttons.push_back(label);
	}
	if (fRequest.buttons.empty())
		fRequest.buttons.push_back("OK");
	fRequest.width = width;
	fRequest.spacing = spacing;
	fRequest.type = type;
}

int32 BAlert::Go()
{
	int32 answer = ShowAlert(fRequest);
	bool madeWithNew;
	{
		std::lock_guard<std::mutex> lock(HeapAlertLock());
		madeWithNew = HeapAlerts().count(this) != 0;
	}
	if (madeWithNew)
		delete this;
	return answer;
}
