// Semaphore helpers that never give up on an interrupted wait, and string
// helpers whose results the caller frees with delete[].
#pragma once

#include "kit/support/SupportDefs.h"

// Each failure prints "take_sem error ..." / "give_sem error ..." with the
// status and its text. An interrupted wait is tried again; any other failure
// (a deleted semaphore: B_BAD_SEM_ID) is returned, so no caller spins.
// B_OK once acquired (released).
status_t take_sem(sem_id sem);
status_t take_sem(sem_id sem, int32 count);
// true when acquired; false on time-out (0: a non-blocking try) or when the
// semaphore is gone.
bool take_sem_timeout(sem_id sem, bigtime_t timeout);
status_t give_sem(sem_id sem);
status_t give_sem(sem_id sem, int32 count);
status_t give_sem(sem_id sem, bool reschedule);
status_t give_sem(sem_id sem, int32 count, bool reschedule);

// Null for a null string.
char* Strdup_new(const char* string);
// Null arguments count as empty strings.
char* Strcat_new(const char* s1, const char* s2);
char* Strcat_new(const char* s1, const char* s2, const char* s3);
char* Strcat_new(const char* s1, const char* s2, const char* s3, const char* s4);
// In place; only the ASCII letters change.
void StrToLower(char* string);
void StrToUpper(char* string);
