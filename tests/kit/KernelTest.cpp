// Kernel services: semaphores, threads, time, areas, add-on images and the
// debugger hook.
#include "kit/kernel/OS.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// Polls `condition` for up to 10 s (generous for a loaded machine).
template<typename Condition>
bool WaitUntil(Condition condition)
{
	bigtime_t deadline = system_time() + 10000000;
	while (!condition()) {
		if (system_time() > deadline)
			return false;
		snooze(1000);
	}
	return true;
}

int32 SemCount(sem_id sem)
{
	int32 count = 0;
	EXPECT_EQ(B_OK, get_sem_count(sem, &count));
	return count;
}

// A thread that acquires `units` of `sem` and keeps the result.
struct Acquirer {
	sem_id sem = -1;
	int32 units = 1;
	uint32 flags = 0;
	bigtime_t timeout = 0;
	std::atomic<status_t> result {1};   // 1 = still waiting
	thread_id thread = -1;

	static status_t Run(void* data)
	{
		auto* self = static_cast<Acquirer*>(data);
		self->result = acquire_sem_etc(self->sem, self->units, self->flags, self->timeout);
		return B_OK;
	}
	void Start(sem_id semaphore, int32 count, uint32 waitFlags = 0, bigtime_t waitTimeout = 0)
	{
		sem = semaphore;
		units = count;
		flags = waitFlags;
		timeout = waitTimeout;
		thread = spawn_thread(Run, "acquirer", B_NORMAL_PRIORITY, this);
		ASSERT_GT(thread, 0);
		ASSERT_EQ(B_OK, resume_thread(thread));
	}
	void Join() { wait_for_thread(thread, nullptr); }
	bool Done() const { return result != 1; }
};

// ---- Semaphores ----

TEST(KernelSemaphoreTest, TimeOuts)
{
	sem_id sem = create_sem(0, "time-outs");
	ASSERT_GT(sem, 0);

	EXPECT_EQ(B_WOULD_BLOCK, acquire_sem_etc(sem, 1, B_RELATIVE_TIMEOUT, 0));

	bigtime_t start = system_time();
	EXPECT_EQ(B_TIMED_OUT, acquire_sem_etc(sem, 1, B_RELATIVE_TIMEOUT, 50000));
	EXPECT_GE(system_time() - start, 50000);

	bigtime_t deadline = system_time() + 30000;
	EXPECT_EQ(B_TIMED_OUT, acquire_sem_etc(sem, 1, B_ABSOLUTE_TIMEOUT, deadline));
	EXPECT_GE(system_time(), deadline);

	// A timed-out waiter leaves no trace in the count.
	EXPECT_EQ(0, SemCount(sem));
	ASSERT_EQ(B_OK, release_sem(sem));
	EXPECT_EQ(B_OK, acquire_sem_etc(sem, 1, B_RELATIVE_TIMEOUT, 0));
	EXPECT_EQ(B_OK, delete_sem(sem));
}

TEST(KernelSemaphoreTest, CountIsNegativeWhileThreadsWait)
{
	sem_id sem = create_sem(0, "count");
	Acquirer waiter;
	waiter.Start(sem, 1);
	EXPECT_TRUE(WaitUntil([&] { return SemCount(sem) == -1; }));
	EXPECT_FALSE(waiter.Done());

	ASSERT_EQ(B_OK, release_sem(sem));
	waiter.Join();
	EXPECT_EQ(B_OK, waiter.result);
	EXPECT_EQ(0, SemCount(sem));

	ASSERT_EQ(B_OK, release_sem_etc(sem, 3, B_DO_NOT_RESCHEDULE));
	EXPECT_EQ(3, SemCount(sem));
	delete_sem(sem);
}

TEST(KernelSemaphoreTest, MultiUnitWaiterHoldsBackLaterWaiters)
{
	sem_id sem = create_sem(1, "fifo");
	Acquirer big;
	big.Start(sem, 3);
	ASSERT_TRUE(WaitUntil([&] { return SemCount(sem) == -2; }));
	Acquirer small;
	small.Start(sem, 1);
	ASSERT_TRUE(WaitUntil([&] { return SemCount(sem) == -3; }));

	// One free unit would satisfy the small request, but it queued later.
	snooze(20000);
	EXPECT_FALSE(small.Done());

	ASSERT_EQ(B_OK, release_sem_etc(sem, 2, 0));
	big.Join();
	EXPECT_EQ(B_OK, big.result);
	EXPECT_EQ(-1, SemCount(sem));
	EXPECT_FALSE(small.Done());

	ASSERT_EQ(B_OK, release_sem(sem));
	small.Join();
	EXPECT_EQ(B_OK, small.result);
	EXPECT_EQ(0, SemCount(sem));
	delete_sem(sem);
}

TEST(KernelSemaphoreTest, TimedOutHeadServesThoseBehindIt)
{
	sem_id sem = create_sem(1, "withdraw");
	Acquirer big;
	big.Start(sem, 5, B_RELATIVE_TIMEOUT, 300000);
	ASSERT_TRUE(WaitUntil([&] { return SemCount(sem) == -4 || big.Done(); }));
	Acquirer small;
	small.Start(sem, 1);
	ASSERT_TRUE(WaitUntil([&] { return SemCount(sem) == -5 || big.Done(); }));
	// When the big request gives up, the free unit goes to the small one.
	big.Join();
	EXPECT_EQ(B_TIMED_OUT, big.result);
	small.Join();
	EXPECT_EQ(B_OK, small.result);
	EXPECT_EQ(0, SemCount(sem));
	delete_sem(sem);
}

TEST(KernelSemaphoreTest, DeleteWakesEveryWaiter)
{
	sem_id sem = create_sem(0, "doomed");
	Acquirer waiters[4];
	waiters[0].Start(sem, 1);
	waiters[1].Start(sem, 2);
	waiters[2].Start(sem, 1, B_RELATIVE_TIMEOUT, 60000000);
	waiters[3].Start(sem, 1, B_ABSOLUTE_TIMEOUT, system_time() + 60000000);
	ASSERT_TRUE(WaitUntil([&] { return SemCount(sem) == -5; }));

	ASSERT_EQ(B_OK, delete_sem(sem));
	for (Acquirer& waiter : waiters) {
		waiter.Join();
		EXPECT_EQ(B_BAD_SEM_ID, waiter.result);
	}

	int32 count;
	EXPECT_EQ(B_BAD_SEM_ID, acquire_sem(sem));
	EXPECT_EQ(B_BAD_SEM_ID, release_sem(sem));
	EXPECT_EQ(B_BAD_SEM_ID, get_sem_count(sem, &count));
	EXPECT_EQ(B_BAD_SEM_ID, delete_sem(sem));
	// Ids are not reused.
	sem_id next = create_sem(0, "next");
	EXPECT_NE(sem, next);
	delete_sem(next);
}

TEST(KernelSemaphoreTest, BadArguments)
{
	EXPECT_EQ(B_BAD_VALUE, create_sem(-1, "negative"));
	sem_id sem = create_sem(1, nullptr);
	ASSERT_GT(sem, 0);
	EXPECT_EQ(B_BAD_VALUE, acquire_sem_etc(sem, 0, 0, 0));
	EXPECT_EQ(B_BAD_VALUE, release_sem_etc(sem, 0, 0));
	EXPECT_EQ(B_BAD_VALUE, release_sem_etc(sem, INT32_MAX, 0));
	EXPECT_EQ(1, SemCount(sem));
	EXPECT_EQ(B_BAD_SEM_ID, acquire_sem(-5));
	delete_sem(sem);
}

// ---- Threads ----

struct ThreadProbe {
	std::atomic<bool> ran {false};
	std::atomic<thread_id> ownId {0};
	char systemName[32] = {};
	sem_id release = -1;   // the thread waits for it before it ends, when set
};

status_t ProbeThread(void* data)
{
	auto* probe = static_cast<ThreadProbe*>(data);
	probe->ownId = find_thread(nullptr);
	pthread_getname_np(pthread_self(), probe->systemName, sizeof(probe->systemName));
	probe->ran = true;
	if (probe->release >= 0)
		acquire_sem(probe->release);
	return 42;
}

TEST(KernelThreadTest, NamePriorityAndExitValue)
{
	const char* name = "cd-recording display updater";   // longer than 15 bytes
	ThreadProbe probe;
	probe.release = create_sem(0, "release");
	thread_id thread = spawn_thread(ProbeThread, name, B_DISPLAY_PRIORITY, &probe);
	ASSERT_GT(thread, 0);

	thread_info info;
	ASSERT_EQ(B_OK, get_thread_info(thread, &info));
	EXPECT_EQ(thread, info.thread);
	EXPECT_STREQ(name, info.name);
	EXPECT_EQ(B_DISPLAY_PRIORITY, info.priority);
	EXPECT_EQ(current_team(), info.team);
	EXPECT_EQ(thread, find_thread(name));

	// Suspended until resumed.
	snooze(20000);
	EXPECT_FALSE(probe.ran);
	ASSERT_EQ(B_OK, resume_thread(thread));
	EXPECT_EQ(B_BAD_THREAD_STATE, resume_thread(thread));
	ASSERT_TRUE(WaitUntil([&] { return probe.ran.load(); }));
	EXPECT_EQ(thread, probe.ownId);
	EXPECT_EQ(std::string(name, 15), probe.systemName);

	EXPECT_EQ(B_DISPLAY_PRIORITY, set_thread_priority(thread, B_REAL_TIME_PRIORITY));
	EXPECT_EQ(B_REAL_TIME_PRIORITY, set_thread_priority(thread, 7));
	ASSERT_EQ(B_OK, get_thread_info(thread, &info));
	EXPECT_EQ(7, info.priority);

	release_sem(probe.release);
	status_t exitValue = 0;
	ASSERT_EQ(B_OK, wait_for_thread(thread, &exitValue));
	EXPECT_EQ(42, exitValue);
	// The record went with the wait.
	EXPECT_EQ(B_BAD_THREAD_ID, get_thread_info(thread, &info));
	EXPECT_EQ(B_BAD_THREAD_ID, wait_for_thread(thread, &exitValue));
	EXPECT_EQ(B_NAME_NOT_FOUND, find_thread(name));
	delete_sem(probe.release);
}

TEST(KernelThreadTest, WaitingForASuspendedThreadStartsIt)
{
	ThreadProbe probe;
	thread_id thread = spawn_thread(ProbeThread, "never resumed", B_LOW_PRIORITY, &probe);
	ASSERT_GT(thread, 0);
	status_t exitValue = 0;
	ASSERT_EQ(B_OK, wait_for_thread(thread, &exitValue));
	EXPECT_TRUE(probe.ran);
	EXPECT_EQ(42, exitValue);
}

TEST(KernelThreadTest, OwnIdForThreadsNotSpawnedHere)
{
	thread_id self = find_thread(nullptr);
	EXPECT_GT(self, 0);
	EXPECT_EQ(self, find_thread(nullptr));
	EXPECT_EQ(B_BAD_THREAD_ID, wait_for_thread(self, nullptr));

	thread_id other = 0;
	std::thread worker([&] {
		other = find_thread(nullptr);
		thread_info info;
		EXPECT_EQ(B_OK, get_thread_info(other, &info));
		EXPECT_EQ(B_NORMAL_PRIORITY, info.priority);
		EXPECT_EQ(B_OK, rename_thread(other, "borrowed std::thread"));
		EXPECT_EQ(other, find_thread("borrowed std::thread"));
	});
	worker.join();
	EXPECT_GT(other, 0);
	EXPECT_NE(self, other);
	// Its record ended with it.
	thread_info info;
	EXPECT_EQ(B_BAD_THREAD_ID, get_thread_info(other, &info));
}

TEST(KernelThreadTest, RenameDetachAndIds)
{
	ThreadProbe probe;
	thread_id first = spawn_thread(ProbeThread, "old name", B_NORMAL_PRIORITY, &probe);
	ASSERT_GT(first, 0);
	ASSERT_EQ(B_OK, rename_thread(first, "new name"));
	EXPECT_EQ(B_NAME_NOT_FOUND, find_thread("old name"));
	EXPECT_EQ(first, find_thread("new name"));
	EXPECT_EQ(B_BAD_VALUE, rename_thread(first, nullptr));

	// A detached thread leaves no record once it has ended.
	ASSERT_EQ(B_OK, detach_thread(first));
	ASSERT_EQ(B_OK, resume_thread(first));
	thread_info info;
	EXPECT_TRUE(WaitUntil([&] { return get_thread_info(first, &info) == B_BAD_THREAD_ID; }));

	ThreadProbe second;
	thread_id next = spawn_thread(ProbeThread, "new name", B_NORMAL_PRIORITY, &second);
	EXPECT_GT(next, first);
	wait_for_thread(next, nullptr);

	EXPECT_EQ(B_BAD_VALUE, spawn_thread(nullptr, "no function", B_NORMAL_PRIORITY, nullptr));
	EXPECT_EQ(B_BAD_THREAD_ID, resume_thread(-3));
	EXPECT_EQ(B_BAD_THREAD_ID, set_thread_priority(-3, B_NORMAL_PRIORITY));
	EXPECT_EQ(B_BAD_THREAD_ID, detach_thread(-3));
}

// ---- Time and atomics ----

TEST(KernelTimeTest, SnoozeLastsAtLeastTheDelay)
{
	bigtime_t start = system_time();
	EXPECT_EQ(B_OK, snooze(20000));
	EXPECT_GE(system_time() - start, 20000);
	bigtime_t wakeUp = system_time() + 20000;
	EXPECT_EQ(B_OK, snooze_until(wakeUp, B_SYSTEM_TIMEBASE));
	EXPECT_GE(system_time(), wakeUp);
	EXPECT_EQ(B_BAD_VALUE, snooze_until(wakeUp, 1));
}

TEST(KernelTimeTest, AtomicsAcrossThreads)
{
	int32 counter = 0;
	int64 wide = int64(1) << 40;
	std::vector<std::thread> threads;
	for (int t = 0; t < 4; t++) {
		threads.emplace_back([&] {
			for (int i = 0; i < 10000; i++) {
				atomic_add(&counter, 1);
				atomic_add64(&wide, 2);
			}
		});
	}
	for (auto& thread : threads)
		thread.join();
	EXPECT_EQ(40000, atomic_get(&counter));
	EXPECT_EQ((int64(1) << 40) + 80000, wide);
	EXPECT_EQ(40000, atomic_set(&counter, 5));
	EXPECT_EQ(5, atomic_add(&counter, -2));
	EXPECT_EQ(3, counter);
}

// ---- Areas ----

TEST(KernelAreaTest, LockedAreaAndAreaFor)
{
	void* address = nullptr;
	area_id area = create_area("locked memory", &address, B_ANY_ADDRESS, 4 * B_PAGE_SIZE, B_FULL_LOCK,
		B_READ_AREA | B_WRITE_AREA);
	ASSERT_GT(area, 0);
	ASSERT_NE(nullptr, address);
	auto* bytes = static_cast<uint8*>(address);
	EXPECT_EQ(0, bytes[0]);
	memset(bytes, 0xA5, 4 * B_PAGE_SIZE);

	EXPECT_EQ(area, area_for(bytes));
	EXPECT_EQ(area, area_for(bytes + 4 * B_PAGE_SIZE - 1));
	EXPECT_EQ(B_ERROR, area_for(bytes + 4 * B_PAGE_SIZE));
	int onStack = 0;
	EXPECT_EQ(B_ERROR, area_for(&onStack));

	EXPECT_EQ(B_OK, delete_area(area));
	EXPECT_EQ(B_ERROR, area_for(bytes));
	EXPECT_EQ(B_BAD_VALUE, delete_area(area));
}

TEST(KernelAreaTest, BadSizes)
{
	void* address = nullptr;
	EXPECT_EQ(B_BAD_VALUE, create_area("zero", &address, B_ANY_ADDRESS, 0, B_NO_LOCK, B_READ_AREA));
	EXPECT_EQ(B_BAD_VALUE,
		create_area("odd", &address, B_ANY_ADDRESS, B_PAGE_SIZE + 1, B_NO_LOCK, B_READ_AREA));
	EXPECT_EQ(nullptr, address);
}

// In a child process: with a small lock limit (and, for root, without the
// privilege that ignores it) a fully locked area too big to lock is not made.
int CreateAreaBeyondTheLockLimit()
{
	rlimit tight {16 * B_PAGE_SIZE, 16 * B_PAGE_SIZE};
	if (setrlimit(RLIMIT_MEMLOCK, &tight) != 0)
		return 2;
	if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
		return 3;
	void* address = nullptr;
	area_id area = create_area("too big", &address, B_ANY_ADDRESS, 256 * B_PAGE_SIZE, B_FULL_LOCK,
		B_READ_AREA | B_WRITE_AREA);
	return area == B_NO_MEMORY && address == nullptr ? 0 : 1;
}

TEST(KernelAreaTest, FailedLockMakesNoArea)
{
	GTEST_FLAG_SET(death_test_style, "threadsafe");
	EXPECT_EXIT(exit(CreateAreaBeyondTheLockLimit()), testing::ExitedWithCode(0), "");
}

// ---- Add-on images ----

TEST(KernelImageTest, LoadCallAndUnload)
{
	image_id image = load_add_on(TEST_ADDON_PATH);
	ASSERT_GT(image, 0) << last_add_on_error();

	void* function = nullptr;
	ASSERT_EQ(B_OK, get_image_symbol(image, "TestAddonAdd", B_SYMBOL_TYPE_TEXT, &function));
	auto add = reinterpret_cast<int32 (*)(int32, int32)>(function);
	EXPECT_EQ(5, add(2, 3));

	void* counter = nullptr;
	ASSERT_EQ(B_OK, get_image_symbol(image, "TestAddonCounter", B_SYMBOL_TYPE_DATA, &counter));
	EXPECT_EQ(1, *static_cast<int32*>(counter));
	void* name = nullptr;
	ASSERT_EQ(B_OK, get_image_symbol(image, "pszTestAddonName", B_SYMBOL_TYPE_ANY, &name));
	EXPECT_STREQ("test add-on", *static_cast<const char**>(name));

	// The kind must match, and only the image's own symbols count.
	void* wrong = nullptr;
	EXPECT_EQ(B_MISSING_SYMBOL, get_image_symbol(image, "pszTestAddonName", B_SYMBOL_TYPE_TEXT, &wrong));
	EXPECT_EQ(B_MISSING_SYMBOL, get_image_symbol(image, "TestAddonAdd", B_SYMBOL_TYPE_DATA, &wrong));
	EXPECT_EQ(B_MISSING_SYMBOL, get_image_symbol(image, "NoSuchFunction", B_SYMBOL_TYPE_ANY, &wrong));
	EXPECT_EQ(B_MISSING_SYMBOL, get_image_symbol(image, "malloc", B_SYMBOL_TYPE_ANY, &wrong));

	// A second load is a separate image of the same object.
	image_id again = load_add_on(TEST_ADDON_PATH);
	ASSERT_GT(again, 0);
	EXPECT_NE(image, again);
	EXPECT_EQ(B_OK, unload_add_on(again));
	EXPECT_EQ(B_OK, get_image_symbol(image, "TestAddonAdd", B_SYMBOL_TYPE_TEXT, &function));

	EXPECT_EQ(B_OK, unload_add_on(image));
	EXPECT_EQ(B_BAD_IMAGE_ID, unload_add_on(image));
	EXPECT_EQ(B_BAD_IMAGE_ID, get_image_symbol(image, "TestAddonAdd", B_SYMBOL_TYPE_TEXT, &function));
}

TEST(KernelImageTest, RefusedFiles)
{
	EXPECT_EQ(B_ENTRY_NOT_FOUND, load_add_on("/nonexistent/add-ons/drv-none"));
	EXPECT_NE(std::string(), last_add_on_error());

	std::string path = std::filesystem::temp_directory_path() / ("not-an-add-on-" + std::to_string(getpid()));
	{
		std::ofstream file(path);
		file << "just text, no ELF header\n";
	}
	EXPECT_EQ(B_NOT_AN_EXECUTABLE, load_add_on(path.c_str()));
	EXPECT_NE(std::string(), last_add_on_error());
	std::filesystem::remove(path);

	EXPECT_EQ(B_NOT_AN_EXECUTABLE, load_add_on(std::filesystem::temp_directory_path().c_str()));
	EXPECT_EQ(B_BAD_VALUE, load_add_on(nullptr));
}

// ---- Debugger ----

std::string gDebuggerMessage;

void RecordDebuggerMessage(const char* message)
{
	gDebuggerMessage = message;
}

TEST(KernelDebuggerTest, HookReceivesTheMessage)
{
	EXPECT_EQ(nullptr, set_debugger_hook(RecordDebuggerMessage));
	debugger("Couldn't find function \"ReadToc\"");
	EXPECT_EQ("Couldn't find function \"ReadToc\"", gDebuggerMessage);
	EXPECT_EQ(RecordDebuggerMessage, set_debugger_hook(nullptr));
}

TEST(KernelDebuggerTest, DefaultPrintsAndReturns)
{
	std::ifstream status("/proc/self/status");
	std::string line;
	while (std::getline(status, line)) {
		if (line.rfind("TracerPid:", 0) == 0 && std::stol(line.substr(10)) != 0)
			GTEST_SKIP() << "a debugger is attached";
	}
	testing::internal::CaptureStderr();
	debugger("stop here");
	EXPECT_EQ("debugger: stop here\n", testing::internal::GetCapturedStderr());
}

}   // namespace
