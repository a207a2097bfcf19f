// BLocker: recursion, ownership, time-outs and mutual exclusion.
#include "kit/support/Locker.h"

#include "kit/kernel/OS.h"
#include "ThreadState.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

namespace {

TEST(LockerTest, RecursiveLockingByOneThread)
{
	BLocker locker("CToc locker");
	EXPECT_STREQ("CToc locker", locker.Name());
	EXPECT_FALSE(locker.IsLocked());
	EXPECT_EQ(-1, locker.LockingThread());

	ASSERT_TRUE(locker.Lock());
	ASSERT_EQ(B_OK, locker.LockWithTimeout(0));
	EXPECT_TRUE(locker.IsLocked());
	EXPECT_EQ(2, locker.CountLocks());
	EXPECT_EQ(find_thread(nullptr), locker.LockingThread());

	locker.Unlock();
	EXPECT_TRUE(locker.IsLocked());
	EXPECT_EQ(1, locker.CountLocks());
	locker.Unlock();
	EXPECT_FALSE(locker.IsLocked());
	EXPECT_EQ(0, locker.CountLocks());
	EXPECT_EQ(-1, locker.LockingThread());

	// Unlocking a free lock changes nothing.
	locker.Unlock();
	EXPECT_EQ(0, locker.CountLocks());
	ASSERT_TRUE(locker.Lock());
	EXPECT_EQ(1, locker.CountLocks());
	locker.Unlock();
}

TEST(LockerTest, OtherThreadsTimeOutAndCannotUnlock)
{
	BLocker locker("held");
	ASSERT_TRUE(locker.Lock());
	thread_id owner = find_thread(nullptr);

	std::thread other([&] {
		EXPECT_FALSE(locker.IsLocked());
		EXPECT_EQ(B_TIMED_OUT, locker.LockWithTimeout(0));
		bigtime_t start = system_time();
		EXPECT_EQ(B_TIMED_OUT, locker.LockWithTimeout(30000));
		EXPECT_GE(system_time() - start, 30000);
		// Not the owner: ignored.
		locker.Unlock();
	});
	other.join();
	EXPECT_TRUE(locker.IsLocked());
	EXPECT_EQ(owner, locker.LockingThread());
	EXPECT_EQ(1, locker.CountLocks());
	locker.Unlock();
	EXPECT_EQ(0, locker.CountLocks());
}

TEST(LockerTest, WaiterGetsTheLockWhenReleased)
{
	BLocker locker;
	ASSERT_TRUE(locker.Lock());
	std::atomic<pid_t> waiterTid {0};
	std::atomic<bool> locked {false};
	// The waiter's wait is bounded: a lock that is never handed over fails
	// the test instead of hanging it.
	auto waiter = std::async(std::launch::async, [&] {
		waiterTid = test_threads::CurrentTid();
		const thread_id self = find_thread(nullptr);
		status_t status = locker.LockWithTimeout(10000000);
		if (status != B_OK)
			return status;
		locked = true;
		EXPECT_EQ(self, locker.LockingThread());
		locker.Unlock();
		return status;
	});
	// Released only once the waiter is really waiting for it.
	while (waiterTid == 0)
		snooze(1000);
	ASSERT_TRUE(test_threads::WaitUntilAsleep(waiterTid));
	EXPECT_FALSE(locked);
	locker.Unlock();
	ASSERT_EQ(std::future_status::ready, waiter.wait_for(std::chrono::seconds(20)));
	EXPECT_EQ(B_OK, waiter.get());
	EXPECT_TRUE(locked);
	EXPECT_EQ(-1, locker.LockingThread());
}

TEST(LockerTest, MutualExclusionUnderContention)
{
	BLocker locker("contended");
	int64 total = 0;   // guarded by locker only
	std::vector<std::thread> threads;
	for (int t = 0; t < 4; t++) {
		threads.emplace_back([&] {
			for (int i = 0; i < 2000; i++) {
				BAutolock outer(locker);
				BAutolock inner(&locker);   // recursion inside the hold
				ASSERT_TRUE(inner.IsLocked());
				total++;
			}
		});
	}
	for (auto& thread : threads)
		thread.join();
	EXPECT_EQ(8000, total);
	EXPECT_EQ(0, locker.CountLocks());
}

}   // namespace
