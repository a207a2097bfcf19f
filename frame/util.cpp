// Semaphore wrappers that ride out interrupted waits, and string helpers
// that allocate their result with new[].
#include "frame/util.h"

#include "frame/Diagnostics.h"
#include "kit/kernel/OS.h"

#include <cstring>
#include <initializer_list>

namespace {

// Only an interrupted wait is worth another try; every other failure (a
// deleted semaphore, a bad count) would fail the same way for ever.
bool Retry(status_t status)
{
	return status == B_INTERRUPTED;
}

}   // namespace

status_t take_sem(sem_id sem)
{
	return take_sem(sem, 1);
}

status_t take_sem(sem_id sem, int32 count)
{
	for (;;) {
		status_t status = acquire_sem_etc(sem, count, 0, 0);
		if (status == B_OK)
			return B_OK;
		DebugPrint("take_sem error 0x%X: %s\n", unsigned(status), StatusText(status));
		if (!Retry(status))
			return status;
	}
}

bool take_sem_timeout(sem_id sem, bigtime_t timeout)
{
	for (;;) {
		status_t status = acquire_sem_etc(sem, 1, B_RELATIVE_TIMEOUT, timeout);
		if (status == B_OK)
			return true;
		if (status == B_TIMED_OUT || status == B_WOULD_BLOCK)
			return false;
		DebugPrint("take_sem error 0x%X: %s\n", unsigned(status), StatusText(status));
		if (!Retry(status))
			return false;
	}
}

status_t give_sem(sem_id sem)
{
	return give_sem(sem, 1, true);
}

status_t give_sem(sem_id sem, int32 count)
{
	return give_sem(sem, count, true);
}

status_t give_sem(sem_id sem, bool reschedule)
{
	return give_sem(sem, 1, reschedule);
}

status_t give_sem(sem_id sem, int32 count, bool reschedule)
{
	uint32 flags = reschedule ? 0 : B_DO_NOT_RESCHEDULE;
	for (;;) {
		status_t status = release_sem_etc(sem, count, flags);
		if (status == B_OK)
			return B_OK;
		DebugPrint("give_sem error 0x%X: %s\n", unsigned(status), StatusText(status));
		if (!Retry(status))
			return status;
	}
}

// #pragma mark - strings

namespace {

// Concatenates the strings (null counts as empty) into one new[] array of
// exactly the needed size.
char* ConcatNew(std::initializer_list<const char*> parts)
{
	size_t total = 0;
	for (const char* part : parts)
		total += part != nullptr ? strlen(part) : 0;
	char* result = new char[total + 1];
	char* end = result;
	for (const char* part : parts) {
		if (part == nullptr)
			continue;
		size_t length = strlen(part);
		memcpy(end, part, length);
		end += length;
	}
	*end = '\0';
	return result;
}

}   // namespace

char* Strdup_new(const char* string)
{
	if (string == nullptr)
		return nullptr;
	return ConcatNew({string});
}

char* Strcat_new(const char* s1, const char* s2)
{
	return ConcatNew({s1, s2});
}

char* Strcat_new(const char* s1, const char* s2, const char* s3)
{
	return ConcatNew({s1, s2, s3});
}

char* Strcat_new(const char* s1, const char* s2, const char* s3, const char* s4)
{
	return ConcatNew({s1, s2, s3, s4});
}

void StrToLower(char* string)
{
	if (string == nullptr)
		return;
	for (char* c = string; *c != '\0'; c++) {
		if (*c >= 'A' && *c <= 'Z')
			*c = char(*c - 'A' + 'a');
	}
}

void StrToUpper(char* string)
{
	if (string == nullptr)
		return;
	for (char* c = string; *c != '\0'; c++) {
		if (*c >= 'a' && *c <= 'z')
			*c = char(*c - 'a' + 'A');
	}
}
