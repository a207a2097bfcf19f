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

// Every function below may be called from any thread. Thread ids are never
// reused. A thread's record (name, priority, exit value) lives until someone
// waits for the ended thread, or until a detached thread ends; a thread that
// nobody waits for should be detached.
//
// Priorities are kept between B_IDLE_PRIORITY and B_REAL_TIME_PRIORITY
// (other values are clamped) and read back exactly as set.

// Creates a suspended thread; resume_thread starts it. Names are kept whole
// up to B_OS_NAME_LENGTH - 1 bytes (the system sees the first 15); null
// gives "unnamed thread". Returns its id (> 0) or B_NO_MORE_THREADS /
// B_BAD_VALUE (null function).
thread_id spawn_thread(thread_func func, const char* name, int32 priority, void* data);
// B_BAD_THREAD_STATE when the thread is not suspended (running, ended, or
// not made by spawn_thread).
status_t resume_thread(thread_id thread);
// Waits for the thread to end and gives its return value. Waiting for a
// thread that was never resumed starts it first, as the platform does.
// B_BAD_THREAD_ID for an unknown id or the caller's own id. Several threads
// may wait for the same thread; each gets the exit value.
status_t wait_for_thread(thread_id thread, status_t* exitValue);
// Returns the previous priority, or B_BAD_THREAD_ID.
status_t set_thread_priority(thread_id thread, int32 newPriority);
// B_BAD_VALUE for a null name.
status_t rename_thread(thread_id thread, const char* newName);
// B_BAD_VALUE for a null info, B_BAD_THREAD_ID for an unknown id.
status_t get_thread_info(thread_id thread, thread_info* info);
// null: the caller's own id (threads not made by spawn_thread get an id on
// first use, kept until they end). Otherwise the live thread of that name
// with the lowest id, or B_NAME_NOT_FOUND.
thread_id find_thread(const char* name);
team_id current_team();
// Lets `thread` end when its function returns without anyone waiting: its
// record goes away when it ends (at once when it has ended already).
status_t detach_thread(thread_id thread);

// Semaphores. Every function may be called from any thread. Ids are never
// reused; a deleted id answers B_BAD_SEM_ID.
//
// Waiters are served strictly in arrival order: a thread waiting for 3 units
// holds back every later waiter, even one that 1 free unit would satisfy,
// as the platform does. So no large request starves behind a stream of small
// ones. A waiter that times out leaves the queue, and those behind it are
// served at once when the free units now suffice.

// B_BAD_VALUE for a negative count, B_NO_MORE_SEMS when ids are exhausted.
sem_id create_sem(int32 count, const char* name);
// Wakes every waiter with B_BAD_SEM_ID.
status_t delete_sem(sem_id sem);
status_t acquire_sem(sem_id sem);
// flags: B_RELATIVE_TIMEOUT / B_ABSOLUTE_TIMEOUT (system_time base). A
// relative time-out of 0 is a try: B_WOULD_BLOCK when the units are not there.
// Otherwise B_TIMED_OUT when the time ran out, B_BAD_SEM_ID when deleted,
// B_BAD_VALUE for a count below 1. B_CAN_INTERRUPT is accepted; waits are
// never interrupted by signals.
status_t acquire_sem_etc(sem_id sem, int32 count, uint32 flags, bigtime_t timeout);
status_t release_sem(sem_id sem);
// B_DO_NOT_RESCHEDULE is accepted (the waiters run when the system picks
// them). B_RELEASE_ALL releases as many units as the waiters need, ignoring
// `count`. B_BAD_VALUE for a count below 1 or one that would take the free
// units past INT32_MAX.
status_t release_sem_etc(sem_id sem, int32 count, uint32 flags);
// The count: the free units minus the units waited for. With no waiter it is
// the free units; with count 0 and one thread waiting for 1 unit it is -1.
status_t get_sem_count(sem_id sem, int32* threadCount);

// Time.
enum : int {
	B_SYSTEM_TIMEBASE = 0,
};
bigtime_t system_time();              // monotonic microseconds
// Sleeps at least that long (signals do not cut it short); B_OK.
status_t snooze(bigtime_t microseconds);
// Sleeps until system_time() reaches `time`; B_BAD_VALUE for a time base
// other than B_SYSTEM_TIMEBASE.
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

// Maps `size` bytes (a multiple of B_PAGE_SIZE above 0, else B_BAD_VALUE)
// of zeroed memory and stores the start in *startAddress. B_ANY_ADDRESS
// picks the place; B_EXACT_ADDRESS maps at the page-aligned *startAddress
// (B_NO_MEMORY when something is there already). With B_FULL_LOCK the pages
// are locked into RAM; when the lock fails the area is not made and the
// result is B_NO_MEMORY. B_LAZY_LOCK locks pages as they are first touched,
// where the system allows it. Returns the area's id (> 0).
area_id create_area(const char* name, void** startAddress, uint32 addressSpec, size_t size, uint32 lock,
	uint32 protection);
// The area that contains `address`, or B_ERROR.
area_id area_for(void* address);
// Unmaps the area; B_BAD_VALUE for an unknown id. Any thread may call these.
status_t delete_area(area_id area);

// Add-on images.
enum : int32 {
	B_SYMBOL_TYPE_DATA = 0x1,
	B_SYMBOL_TYPE_TEXT = 0x2,
	B_SYMBOL_TYPE_ANY = 0x5,
};
// Loads the shared object at `path` with its symbols kept to itself (a
// path without a slash is taken from the current folder). Each load gives a
// new image id, also for an object loaded already; unload each id once.
// B_ENTRY_NOT_FOUND for a missing file, B_PERMISSION_DENIED for an
// unreadable one, B_MISSING_LIBRARY when a library it needs (or a symbol from
// one) is missing, B_NOT_AN_EXECUTABLE when the loader refuses it otherwise.
// last_add_on_error() then gives the loader's explanation.
image_id load_add_on(const char* path);
// B_BAD_IMAGE_ID for an unknown image (also one unloaded already).
status_t unload_add_on(image_id image);
// Looks `name` up among the symbols that the image itself defines (not those
// of the libraries it uses). B_SYMBOL_TYPE_TEXT finds functions only,
// B_SYMBOL_TYPE_DATA variables only, B_SYMBOL_TYPE_ANY both.
// B_MISSING_SYMBOL when not found, B_BAD_IMAGE_ID for an unknown image,
// B_BAD_VALUE for a null name or location.
status_t get_image_symbol(image_id image, const char* name, int32 symbolType, void** location);
// The loader's text for the last load_add_on on the calling thread that
// failed ("" when none did), for a debug line. Valid until the next
// load_add_on on the same thread.
const char* last_add_on_error();

// Debugger: prints "debugger: <message>" to standard error; with a debugger
// attached it then stops there (SIGTRAP). The call returns in either case.
void debugger(const char* message);
// Tests replace what debugger() does; null restores the default. Returns
// the hook that was set before (null for the default).
typedef void (*debugger_hook)(const char* message);
debugger_hook set_debugger_hook(debugger_hook hook);
