// Kernel services: named threads with priorities, counting semaphores, time,
// atomic arithmetic, locked memory areas, add-on images and the debugger.
//
// Threads are pthreads. Each keeps its full name and its priority as the
// program numbers them (1..120); the priority is applied to the operating
// system on a best-effort basis (nice values below 100, real-time scheduling
// at 100 and above when permitted) and reads back as set.
#pragma once

#include "kit/support/SupportDefs.h"

#include <cstddef>

// Thread priorities.
enum : int32 {
	B_IDLE_PRIORITY = 0,
	B_LOWEST_ACTIVE_PRIORITY = 1,
	B_LOW_PRIORITY = 5,
	B_NORMAL_PRIORITY = 10,
	B_DISPLAY_PRIORITY = 15,
	B_URGENT_DISPLAY_PRIORITY = 20,
	B_REAL_TIME_DISPLAY_PRIORITY = 100,
	B_URGENT_PRIORITY = 110,
	B_REAL_TIME_PRIORITY = 120,
};

constexpr int32 B_OS_NAME_LENGTH = 128;   // longer than the platform's 32: names are kept whole
constexpr bigtime_t B_INFINITE_TIMEOUT = INT64_MAX;

// Flags of acquire_sem_etc / release_sem_etc.
enum : uint32 {
	B_CAN_INTERRUPT = 0x01,
	// B_DO_NOT_RESCHEDULE = 0x02 (SupportDefs.h)
	B_CHECK_PERMISSION = 0x04,
	B_RELATIVE_TIMEOUT = 0x08,
	B_TIMEOUT = B_RELATIVE_TIMEOUT,
	B_ABSOLUTE_TIMEOUT = 0x10,
	B_RELEASE_ALL = 0x08000000,
};

// Threads.
typedef status_t (*thread_func)(void* data);

struct thread_info {
	thread_id thread;
	team_id team;
	char name[B_OS_NAME_LENGTH];
	int32 priority;
};

// Creates a suspended thread; resume_thread starts it. Returns its id (> 0)
// or B_NO_MORE_THREADS / B_BAD_VALUE (null function).
thread_id spawn_thread(thread_func func, const char* name, int32 priority, void* data);
status_t resume_thread(thread_id thread);
// Waits for the thread to end and gives its return value. Waiting for a
// thread that was never resumed starts it first, as the platform does.
// B_BAD_THREAD_ID for an unknown id or the caller's own id.
status_t wait_for_thread(thread_id thread, status_t* exitValue);
// Returns the previous priority, or B_BAD_THREAD_ID.
status_t set_thread_priority(thread_id thread, int32 newPriority);
status_t rename_thread(thread_id thread, const char* newName);
status_t get_thread_info(thread_id thread, thread_info* info);
// null: the caller's own id (threads not made by spawn_thread get an id on
// first use). Otherwise the first live thread of that name, or B_NAME_NOT_FOUND.
thread_id find_thread(const char* name);
team_id current_team();
// Lets `thread` end when its function returns without anyone waiting.
status_t detach_thread(thread_id thread);

// Semaphores.
sem_id create_sem(int32 count, const char* name);
// Wakes every waiter with B_BAD_SEM_ID.
status_t delete_sem(sem_id sem);
status_t acquire_sem(sem_id sem);
// flags: B_RELATIVE_TIMEOUT / B_ABSOLUTE_TIMEOUT (system_time base). A
// relative time-out of 0 is a try: B_WOULD_BLOCK when the units are not there.
// Otherwise B_TIMED_OUT when the time ran out, B_BAD_SEM_ID when deleted.
status_t acquire_sem_etc(sem_id sem, int32 count, uint32 flags, bigtime_t timeout);
status_t release_sem(sem_id sem);
status_t release_sem_etc(sem_id sem, int32 count, uint32 flags);
// The count: the free units, or minus the number of units waited for when
// threads wait.
status_t get_sem_count(sem_id sem, int32* threadCount);

// Time.
bigtime_t system_time();              // monotonic microseconds
status_t snooze(bigtime_t microseconds);
status_t snooze_until(bigtime_t time, int timeBase);

// Atomic arithmetic: return the previous value.
int32 atomic_add(int32* value, int32 addValue);
int64 atomic_add64(int64* value, int64 addValue);
int32 atomic_get(int32* value);
int32 atomic_set(int32* value, int32 newValue);

// Memory areas.
enum : uint32 {
	B_ANY_ADDRESS = 1,
	B_EXACT_ADDRESS = 2,
};
enum : uint32 {
	B_NO_LOCK = 0,
	B_LAZY_LOCK = 1,
	B_FULL_LOCK = 2,
};
enum : uint32 {
	B_READ_AREA = 1,
	B_WRITE_AREA = 2,
};
constexpr size_t B_PAGE_SIZE = 4096;

// Maps `size` bytes (a multiple of B_PAGE_SIZE, else B_BAD_VALUE). With
// B_FULL_LOCK the pages are locked into RAM; when the lock fails the area
// is not made and the result is B_NO_MEMORY.
area_id create_area(const char* name, void** startAddress, uint32 addressSpec, size_t size, uint32 lock,
	uint32 protection);
// The area that contains `address`, or B_ERROR.
area_id area_for(void* address);
status_t delete_area(area_id area);

// Add-on images.
enum : int32 {
	B_SYMBOL_TYPE_DATA = 0x1,
	B_SYMBOL_TYPE_TEXT = 0x2,
	B_SYMBOL_TYPE_ANY = 0x5,
};
// B_ENTRY_NOT_FOUND for a missing file, B_NOT_AN_EXECUTABLE / B_MISSING_LIBRARY
// when the loader refuses it.
image_id load_add_on(const char* path);
status_t unload_add_on(image_id image);
// B_MISSING_SYMBOL when not found, B_BAD_IMAGE_ID for an unknown image.
status_t get_image_symbol(image_id image, const char* name, int32 symbolType, void** location);

// Debugger: with a debugger attached it stops there (SIGTRAP); without one
// the message is printed to standard error and the call returns.
void debugger(const char* message);
// Tests replace what debugger() does; null restores the default.
typedef void (*debugger_hook)(const char* message);
debugger_hook set_debugger_hook(debugger_hook hook);
