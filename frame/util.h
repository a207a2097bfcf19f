// Semaphore helpers that never give up on an interrupted wait, and string
// helpers whose results the caller frees with delete[].
#pragma once

#include "kit/support/SupportDefs.h"

status_t take_sem(sem_id sem);
status_t take_sem(sem_id sem, int32 count);
// true when acquired; false on time-out (0: a non-blocking try) or when the
// semaphore is gone.
bool take_sem_timeout(sem_id sem, bigtime_t timeout);
status_t give_sem(sem_id sem);
status_t give_sem(sem_id sem, int32 count);
status_t give_sem(sem_id sem, bool reschedule);
status_t give_sem(sem_id sem, int32 count, bool reschedule);

char* Strdup_new(const char* string);
char* Strcat_new(const char* s1, const char* s2);
char* Strcat_new(const char* s1, const char* s2, const char* s3);
char* Strcat_new(const char* s1, const char* s2, const char* s3, const char* s4);
void StrToLower(char* string);
void StrToUpper(char* string);
