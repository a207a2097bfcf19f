// Diagnostics: console logs, the per-thread function tracer, the assertion
// handler and the debug alert.
#include "frame/Diagnostics.h"

#include "kit/interface/Alert.h"
#include "kit/kernel/OS.h"
#include "kit/support/Locker.h"

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstring>
#include <string>
#include <unistd.h>

uint32 g_DebugFlags = 0;   // C linkage from the header

int32 CDebugFunctionTracer::threadcount = 0;

const char* const colormap[12] = {
	"\033[0;40;31m",
	"\033[0;40;32m",
	"\033[0;40;33m",
	"\033[0;40;35m",
	"\033[1;40;34m",
	"\033[1;40;33m",
	"\033[0;40;36m",
	"\033[1;40;36m",
	"\033[1;40;32m",
	"\033[1;40;31m",
	"\033[1;40;35m",
	"\033[0;40;34m",
};

namespace {

const char* const kLogColor = "\033[1;40;37m";

std::atomic<FILE*> sOutput {nullptr};   // null: standard output

// Serialises all tracer output. Made on first use and never destroyed, so
// threads that still trace while the program exits find it intact.
BLocker& TracerLocker()
{
	static BLocker* locker = new BLocker("CDebugFunctionTracer locker");
	return *locker;
}

// trace number << 16 | nesting level; 0 while the thread is not numbered.
thread_local uint32 tThreadWord = 0;

constexpr uint32 kLevelMask = 0xffff;
constexpr uint32 kMaxThreadNumber = 0xffff;

bool ConsoleLogOn()
{
	return (GetDebugFlags() & DEBUG_FLAG_CONSOLE_LOG) != 0;
}

// Writes `text` whole to the diagnostics output and flushes it.
void WriteOut(const std::string& text)
{
	FILE* stream = sOutput.load(std::memory_order_acquire);
	if (stream == nullptr)
		stream = stdout;
	fwrite(text.data(), 1, text.size(), stream);
	fflush(stream);
}

void AppendFormatV(std::string& out, const char* format, va_list args)
{
	if (format == nullptr)
		return;
	va_list copy;
	va_copy(copy, args);
	char small[512];
	int length = vsnprintf(small, sizeof(small), format, copy);
	va_end(copy);
	if (length < 0)
		return;
	if (size_t(length) < sizeof(small)) {
		out.append(small, size_t(length));
		return;
	}
	size_t start = out.size();
	out.resize(start + size_t(length) + 1);
	vsnprintf(out.data() + start, size_t(length) + 1, format, args);
	out.resize(start + size_t(length));
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...)
{
	std::string out;
	va_list args;
	va_start(args, format);
	AppendFormatV(out, format, args);
	va_end(args);
	return out;
}

// The calling thread's word, numbering the thread when it has no number
// yet. The caller holds the tracer's locker when it prints, but numbering
// takes the locker itself (it is recursive).
uint32 ThreadWord()
{
	if (tThreadWord == 0) {
		BAutolock lock(TracerLocker());
		int32 number = CDebugFunctionTracer::threadcount++;
		tThreadWord = (uint32(number) % kMaxThreadNumber + 1) << 16;
	}
	return tThreadWord;
}

// Colour and indent of the calling thread's next line.
std::string LinePrefix()
{
	uint32 word = ThreadWord();
	uint32 number = word >> 16;
	std::string prefix = colormap[(number + 11) % 12];   // (number - 1) mod 12, number >= 1
	for (uint32 level = word & kLevelMask; level > 0; level--)
		prefix += "| ";
	return prefix;
}

void AddToLevel(int delta)
{
	uint32 word = ThreadWord();
	int64 level = int64(word & kLevelMask) + delta;
	level = std::clamp<int64>(level, 0, kLevelMask);
	tThreadWord = (word & ~kLevelMask) | uint32(level);
}

}   // namespace

uint32 GetDebugFlags()
{
	return std::atomic_ref<uint32>(g_DebugFlags).load(std::memory_order_relaxed);
}

void SetDebugFlags(uint32 flags)
{
	std::atomic_ref<uint32>(g_DebugFlags).store(flags, std::memory_order_relaxed);
}

FILE* SetDebugOutput(FILE* stream)
{
	FILE* previous = sOutput.exchange(stream, std::memory_order_acq_rel);
	return previous != nullptr ? previous : stdout;
}

void DebugLog(const char* format, ...)
{
	if (!ConsoleLogOn())
		return;
	std::string line = kLogColor;
	va_list args;
	va_start(args, format);
	AppendFormatV(line, format, args);
	va_end(args);
	WriteOut(line);
}

void DebugLogScsi(const char* format, ...)
{
	if ((GetDebugFlags() & DEBUG_FLAG_SCSI_LOG) == 0)
		return;
	std::string line = kLogColor;
	va_list args;
	va_start(args, format);
	AppendFormatV(line, format, args);
	va_end(args);
	WriteOut(line);
}

void Dummy_DebugLog(const char* format, ...)
{
}

void DebugPrint(const char* format, ...)
{
	std::string line;
	va_list args;
	va_start(args, format);
	AppendFormatV(line, format, args);
	va_end(args);
	WriteOut(line);
}

// #pragma mark - CDebugFunctionTracer

CDebugFunctionTracer::CDebugFunctionTracer(const char* functionName)
	:
	fName(functionName != nullptr ? functionName : "")
{
	if (!ConsoleLogOn())
		return;
	BAutolock lock(TracerLocker());
	WriteOut(LinePrefix() + Format("%s() enter\n", fName));
	AddToLevel(1);
	fEntered = true;
}

CDebugFunctionTracer::~CDebugFunctionTracer()
{
	// A tracer that entered always gives its level back, so switching the log
	// off inside a traced function does not leave the thread indented.
	if (!fEntered)
		return;
	BAutolock lock(TracerLocker());
	AddToLevel(-1);
	if (ConsoleLogOn())
		WriteOut(LinePrefix() + Format("%s() leave\n", fName));
}

void CDebugFunctionTracer::Trace(const char* format, ...)
{
	if (!ConsoleLogOn())
		return;
	BAutolock lock(TracerLocker());
	std::string line = LinePrefix();
	va_list args;
	va_start(args, format);
	AppendFormatV(line, format, args);
	va_end(args);
	WriteOut(line);
}

void CDebugFunctionTracer::ChangeLevel(int delta)
{
	AddToLevel(delta);
}

int CDebugFunctionTracer::GetColor()
{
	return int(ThreadWord() >> 16) - 1;
}

int CDebugFunctionTracer::GetLevel()
{
	return int(ThreadWord() & kLevelMask);
}

uint32 CDebugFunctionTracer::GetValue()
{
	return ThreadWord();
}

// #pragma mark - assertions and alerts

void DebugAssert(const char* file, int line, const char* expression)
{
	if (file == nullptr)
		file = "";
	if (expression == nullptr)
		expression = "";
	const char* name = strrchr(file, '/');
	name = name != nullptr ? name + 1 : file;

	std::string message = Format("Assertion failed! file: %s, line: %d, expression: %s\n", name, line, expression);
	WriteOut(Format("\033[1;40;37m%s", message.c_str()));

	std::string text = Format(
		"Debug assertion failed!\n\nfile: %s, line: %d\n\nPlease report file, line and the application's\nversion number to the author. Consult the readme\nfile for further information.\n\nIf you click on \"Ignore\", the application will\ntry to continue, but this may be dangerous.\n",
		name, line);
	BAlert alert("assertion failed", text.c_str(), "Abort", "Debugger", "Ignore", B_WIDTH_AS_USUAL, B_INFO_ALERT);
	switch (alert.Go()) {
		case 0:
			// Abort: end every thread of the process at once, with status 1.
			fflush(nullptr);
			_exit(1);
		case 1:
			debugger(message.c_str());
			return;
		default:
			return;
	}
}

void DebugAlert(const char* text)
{
	BAlert alert("debug alert", text != nullptr ? text : "", "OK", nullptr, nullptr, B_WIDTH_AS_USUAL, B_INFO_ALERT);
	alert.Go();
}
