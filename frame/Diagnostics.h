// Diagnostics: the console log and the SCSI console log switched by
// g_DebugFlags, the per-thread function tracer, the assertion handler and the
// debug alert. Everything is exported by the program so add-ons log through
// the same functions.
#pragma once

#include "kit/support/SupportDefs.h"

#include <cstdio>

#define TW_EXPORT __attribute__((visibility("default")))

// Bits of g_DebugFlags.
enum : uint32 {
	DEBUG_FLAG_CONSOLE_LOG = 0x01,
	DEBUG_FLAG_SCSI_LOG = 0x08,
	DEBUG_FLAG_DEBUG_MODE = 0x10,
};

extern "C" TW_EXPORT uint32 g_DebugFlags;

// Race-free access to g_DebugFlags for code that may run while another
// thread changes the word (the menus of the main window, tests).
TW_EXPORT uint32 GetDebugFlags();
TW_EXPORT void SetDebugFlags(uint32 flags);

TW_EXPORT void DebugLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
TW_EXPORT void DebugLogScsi(const char* format, ...) __attribute__((format(printf, 1, 2)));
TW_EXPORT void Dummy_DebugLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Prints to the diagnostics output whatever the flags say (error lines that
// are always shown, dumps asked for explicitly).
TW_EXPORT void DebugPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));

TW_EXPORT void DebugAssert(const char* file, int line, const char* expression);
TW_EXPORT void DebugAlert(const char* text);

#define DEBUG_ASSERT(expr)                              \
	do {                                                \
		if (!(expr))                                    \
			DebugAssert(__FILE__, __LINE__, #expr);     \
	} while (0)

class TW_EXPORT CDebugFunctionTracer {
public:
	explicit CDebugFunctionTracer(const char* functionName);
	~CDebugFunctionTracer();
	CDebugFunctionTracer(const CDebugFunctionTracer&) = delete;
	CDebugFunctionTracer& operator=(const CDebugFunctionTracer&) = delete;

	static void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
	static void ChangeLevel(int delta);
	// The calling thread's word: trace number << 16 | nesting level. A thread
	// not numbered yet takes the next number on these calls, as on its first
	// trace.
	static int GetColor();     // trace number - 1
	static int GetLevel();     // nesting level
	static uint32 GetValue();  // the whole thread word
	// Threads numbered so far; changed only under the tracer's locker.
	static int32 threadcount;

private:
	const char* fName;
	bool fEntered = false;   // the constructor printed "enter" and raised the level
};

// The colour sequences of the tracer, indexed by (trace number - 1) % 12.
extern TW_EXPORT const char* const colormap[12];

// Where diagnostics output goes (standard output by default). Tests redirect
// it to a memory stream; the stream is flushed after each line.
TW_EXPORT FILE* SetDebugOutput(FILE* stream);
