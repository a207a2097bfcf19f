// Test helpers around the diagnostics: capture what they print, and set the
// debug flags for one scope.
#pragma once

#include "frame/Diagnostics.h"

#include <cstdio>
#include <cstdlib>
#include <string>

// Sends the diagnostics output to memory for the life of the object.
class CapturedOutput {
public:
	CapturedOutput() : fStream(open_memstream(&fBuffer, &fSize)), fPrevious(SetDebugOutput(fStream)) {}
	~CapturedOutput()
	{
		SetDebugOutput(fPrevious);
		fclose(fStream);
		free(fBuffer);
	}
	CapturedOutput(const CapturedOutput&) = delete;
	CapturedOutput& operator=(const CapturedOutput&) = delete;

	// Everything printed so far.
	std::string Text()
	{
		fflush(fStream);
		return std::string(fBuffer, fSize);
	}

private:
	char* fBuffer = nullptr;
	size_t fSize = 0;
	FILE* fStream;
	FILE* fPrevious;
};

// Sets g_DebugFlags for one scope.
class FlagsScope {
public:
	explicit FlagsScope(uint32 flags) : fPrevious(GetDebugFlags()) { SetDebugFlags(flags); }
	~FlagsScope() { SetDebugFlags(fPrevious); }
	FlagsScope(const FlagsScope&) = delete;
	FlagsScope& operator=(const FlagsScope&) = delete;

private:
	uint32 fPrevious;
};
