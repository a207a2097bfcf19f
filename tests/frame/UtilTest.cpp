// Semaphore helpers (time-outs, deleted semaphores), the new[] string
// helpers and locked memory.
#include "DebugCapture.h"
#include "frame/BufferCache.h"
#include "frame/Diagnostics.h"
#include "frame/util.h"
#include "kit/interface/Alert.h"
#include "kit/kernel/OS.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <future>
#include <memory>
#include <new>
#include <string>
#include <thread>

// Array allocations of this program are counted per thread while a test asks
// for it, so the exact size of a new[] result can be checked.
namespace {
thread_local bool tRecordArrays = false;
thread_local size_t tLastArraySize = 0;
}   // namespace

void* operator new[](size_t size)
{
	if (tRecordArrays)
		tLastArraySize = size;
	void* pointer = malloc(size != 0 ? size : 1);
	if (pointer == nullptr)
		throw std::bad_alloc();
	return pointer;
}

void operator delete[](void* pointer) noexcept
{
	free(pointer);
}

void operator delete[](void* pointer, size_t) noexcept
{
	free(pointer);
}

namespace {

class AlertScope {
public:
	AlertScope() : fPrevious(SetAlertHandler(&handler)) {}
	~AlertScope() { SetAlertHandler(fPrevious); }
	CScriptedAlertHandler handler {2};

private:
	CAlertHandler* fPrevious;
};

// Allocates through `make` and reports the size of the new[] it made.
template<typename Make>
size_t ArraySizeOf(Make make, char** result)
{
	tRecordArrays = true;
	tLastArraySize = 0;
	*result = make();
	tRecordArrays = false;
	return tLastArraySize;
}

}   // namespace

TEST(Strings, ConcatenationsAreExactSizeArrays)
{
	char* result = nullptr;
	EXPECT_EQ(ArraySizeOf([] { return Strcat_new("ab", "", "c"); }, &result), 4u);
	EXPECT_STREQ(result, "abc");
	delete[] result;

	EXPECT_EQ(ArraySizeOf([] { return Strcat_new("update ", "TEAC", " ", "CD-R55S"); }, &result), 20u);
	EXPECT_STREQ(result, "update TEAC CD-R55S");
	delete[] result;

	const char* original = "Tarnwick Projects";
	EXPECT_EQ(ArraySizeOf([&] { return Strdup_new(original); }, &result), strlen(original) + 1);
	EXPECT_STREQ(result, original);
	delete[] result;
}

TEST(Strings, CaseChangesTouchOnlyAsciiLetters)
{
	char text[] = "Ab\xc4\xe4 Z-9z\xff";
	StrToLower(text);
	EXPECT_STREQ(text, "ab\xc4\xe4 z-9z\xff");
	StrToUpper(text);
	EXPECT_STREQ(text, "AB\xc4\xe4 Z-9Z\xff");
	StrToLower(nullptr);
	StrToUpper(nullptr);
}

TEST(Semaphores, TakeAndGiveMoveTheRequestedUnits)
{
	sem_id sem = create_sem(3, "units");
	int32 count = -1;
	EXPECT_EQ(take_sem(sem, 2), B_OK);
	EXPECT_EQ(give_sem(sem, 4, false), B_OK);
	get_sem_count(sem, &count);
	EXPECT_EQ(count, 5);
	delete_sem(sem);
}

TEST(Semaphores, TimeOutWaitsAtLeastItsTimeAndEmptyTryReturnsAtOnce)
{
	sem_id sem = create_sem(0, "empty");
	CapturedOutput output;
	bigtime_t start = system_time();
	EXPECT_FALSE(take_sem_timeout(sem, 0));
	EXPECT_LT(system_time() - start, 5'000'000);   // no wait worth the name
	start = system_time();
	EXPECT_FALSE(take_sem_timeout(sem, 50'000));
	EXPECT_GE(system_time() - start, 50'000);
	EXPECT_EQ(output.Text(), "");   // a time-out is not an error

	// Given only once the taker waits (a waiter shows as a negative count),
	// so the wait itself is what is tested.
	std::thread giver([&] {
		int32 count = 0;
		const bigtime_t end = system_time() + 10'000'000;
		while (get_sem_count(sem, &count) == B_OK && count >= 0 && system_time() < end)
			snooze(1000);
		give_sem(sem);
	});
	EXPECT_TRUE(take_sem_timeout(sem, 30'000'000));
	giver.join();
	delete_sem(sem);
}

TEST(Semaphores, DeletedSemaphoreEndsEveryHelperWithAnErrorLine)
{
	sem_id sem = create_sem(0, "doomed");
	ASSERT_GE(sem, 0);
	CapturedOutput output;

	// A waiter blocked when the semaphore goes away comes back. It is deleted
	// only once the waiter waits (a negative count); a waiter that never
	// comes back fails the test and is left behind instead of hanging it.
	auto waiterStatus = std::make_shared<std::promise<status_t>>();
	std::future<status_t> waited = waiterStatus->get_future();
	std::thread([sem, waiterStatus] { waiterStatus->set_value(take_sem(sem)); }).detach();
	int32 count = 0;
	const bigtime_t end = system_time() + 10'000'000;
	while (get_sem_count(sem, &count) == B_OK && count >= 0 && system_time() < end)
		snooze(1000);
	EXPECT_EQ(count, -1);
	delete_sem(sem);
	ASSERT_EQ(waited.wait_for(std::chrono::seconds(10)), std::future_status::ready);
	EXPECT_EQ(waited.get(), B_BAD_SEM_ID);

	EXPECT_EQ(take_sem(sem, 2), B_BAD_SEM_ID);
	EXPECT_FALSE(take_sem_timeout(sem, 1'000'000));
	EXPECT_EQ(give_sem(sem), B_BAD_SEM_ID);

	std::string take = std::string("take_sem error 0x80001000: ") + StatusText(B_BAD_SEM_ID) + "\n";
	std::string give = std::string("give_sem error 0x80001000: ") + StatusText(B_BAD_SEM_ID) + "\n";
	EXPECT_EQ(output.Text(), take + take + take + give);
}

TEST(LockedMemory, RoundsToPagesAndFreesTheArea)
{
	void* address = nullptr;
	area_id area = AllocLockedMem(&address, 5000);
	ASSERT_GE(area, 0);
	ASSERT_NE(address, nullptr);
	memset(address, 0xa5, 8192);   // two whole pages are there
	EXPECT_EQ(area_for(static_cast<char*>(address) + 8191), area);
	FreeLockedMem(address);
	EXPECT_LT(area_for(address), 0);
}

TEST(LockedMemory, FailuresRaiseTheirAssertions)
{
	AlertScope alerts;
	CapturedOutput output;
	void* address = reinterpret_cast<void*>(1);
	EXPECT_EQ(AllocLockedMem(&address, 0), B_BAD_VALUE);
	EXPECT_EQ(address, nullptr);

	int local = 0;
	FreeLockedMem(&local);   // not an area
	FreeLockedMem(nullptr);  // nothing to do

	std::string text = output.Text();
	EXPECT_NE(text.find("file: BufferCache.cpp, line: "), std::string::npos);
	EXPECT_NE(text.find("expression: id != B_BAD_VALUE\n"), std::string::npos);
	EXPECT_NE(text.find("expression: id != B_ERROR\n"), std::string::npos);
	EXPECT_EQ(alerts.handler.CountShown(), 2u);
}
