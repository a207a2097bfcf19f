// CPtrMap: growth, swap-with-last removal, reverse look-ups, bounds, dump
// and use from several threads.
#include "frame/Diagnostics.h"
#include "frame/PtrMap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

void* P(uintptr_t value)
{
	return reinterpret_cast<void*>(value);
}

}   // namespace

TEST(PtrMap, GrowsByHalfKeepingEveryEntry)
{
	CPtrMap map;
	EXPECT_EQ(map.Capacity(), 30);
	for (uintptr_t i = 0; i < 30; i++)
		map.Add(P(0x1000 + i), 100 + i);
	EXPECT_EQ(map.Capacity(), 30);

	map.Add(P(0x2000), 999);
	EXPECT_EQ(map.Capacity(), 45);
	EXPECT_EQ(map.CountItems(), 31);
	for (uintptr_t i = 0; i < 30; i++) {
		void* pointer = nullptr;
		ASSERT_TRUE(map.Find(&pointer, uint64(100 + i)));
		EXPECT_EQ(pointer, P(0x1000 + i));
		ASSERT_TRUE(map.ItemAt(int(i), &pointer));
		EXPECT_EQ(pointer, P(0x1000 + i));
	}

	std::vector<int32> capacities;
	for (uintptr_t i = 31; i < 101; i++) {
		map.Add(P(0x3000 + i), i);
		if (capacities.empty() || capacities.back() != map.Capacity())
			capacities.push_back(map.Capacity());
	}
	EXPECT_EQ(capacities, (std::vector<int32> {45, 67, 100, 150}));

	map.MakeEmpty();
	EXPECT_TRUE(map.IsEmpty());
	EXPECT_EQ(map.Capacity(), 150);
	void* pointer = nullptr;
	EXPECT_FALSE(map.Find(&pointer, uint64(100)));
}

TEST(PtrMap, RemovalMovesTheLastEntryIntoTheGap)
{
	CPtrMap map;
	map.Add(P(0xa), 1);
	map.Add(P(0xb), 2);
	map.Add(P(0xc), 3);
	EXPECT_TRUE(map.Remove(P(0xb)));
	EXPECT_EQ(map.CountItems(), 2);
	void* pointer = nullptr;
	ASSERT_TRUE(map.ItemAt(1, &pointer));
	EXPECT_EQ(pointer, P(0xc));
	EXPECT_FALSE(map.Remove(P(0xb)));

	EXPECT_TRUE(map.Remove(uint64(1)));
	ASSERT_TRUE(map.ItemAt(0, &pointer));
	EXPECT_EQ(pointer, P(0xc));
	EXPECT_FALSE(map.Remove(uint64(1)));

	// One pointer under two keys: removing by key drops that key's entry.
	map.MakeEmpty();
	map.Add(P(0xd), 10);
	map.Add(P(0xd), 20);
	EXPECT_TRUE(map.Remove(uint64(20)));
	uint64 key = 0;
	ASSERT_TRUE(map.Find(&key, P(0xd)));
	EXPECT_EQ(key, 10u);
}

TEST(PtrMap, LookUpsReturnTheFirstMatchAtTheOutTypesWidth)
{
	CPtrMap map;
	const uint64 wide = 0x123456789abcdef0ull;
	map.Add(P(0x10), wide);
	map.Add(P(0x20), 7);
	map.Add(P(0x30), 7);   // duplicate key: look-ups find the first

	void* pointer = nullptr;
	ASSERT_TRUE(map.Find(&pointer, uint64(7)));
	EXPECT_EQ(pointer, P(0x20));

	uint64 key64 = 0;
	int keyInt = 0;
	long keyLong = 0;
	long long keyLongLong = 0;
	ASSERT_TRUE(map.Find(&key64, P(0x10)));
	EXPECT_EQ(key64, wide);
	ASSERT_TRUE(map.Find(&keyInt, P(0x10)));
	EXPECT_EQ(uint32(keyInt), 0x9abcdef0u);
	ASSERT_TRUE(map.Find(&keyLong, P(0x10)));
	EXPECT_EQ(uint64(keyLong), wide);   // long holds the whole key on this platform
	ASSERT_TRUE(map.Find(&keyLongLong, P(0x10)));
	EXPECT_EQ(uint64(keyLongLong), wide);

	EXPECT_FALSE(map.Find(&key64, P(0x40)));
	EXPECT_FALSE(map.Find(&pointer, uint64(8)));
}

TEST(PtrMap, ItemAtRefusesEveryIndexOutsideTheEntries)
{
	CPtrMap map;
	void* pointer = P(0x77);
	EXPECT_FALSE(map.ItemAt(0, &pointer));
	map.Add(P(0x1), 1);
	EXPECT_FALSE(map.ItemAt(-1, &pointer));
	EXPECT_FALSE(map.ItemAt(-1000000, &pointer));
	EXPECT_FALSE(map.ItemAt(1, &pointer));
	EXPECT_FALSE(map.ItemAt(29, &pointer));   // allocated but not in use
	EXPECT_EQ(pointer, P(0x77));
}

TEST(PtrMap, DebugDumpListsEveryEntry)
{
	char* buffer = nullptr;
	size_t size = 0;
	FILE* stream = open_memstream(&buffer, &size);
	FILE* previous = SetDebugOutput(stream);
	CPtrMap map;
	map.Add(P(0xbeef), 0x42);
	map.Add(P(0x1), 0x100000000ull);
	map.DebugDump();
	SetDebugOutput(previous);
	fclose(stream);
	EXPECT_EQ(std::string(buffer, size),
		"CPtrMap Dump: countItems = 2, maxItems = 30\n"
		"item=0 \t key=0x42 \t ptr = 0xbeef\n"
		"item=1 \t key=0x100000000 \t ptr = 0x1\n");
	free(buffer);
}

TEST(PtrMap, SharedBetweenThreads)
{
	CPtrMap map;
	std::vector<std::thread> threads;
	for (uint64 t = 0; t < 4; t++) {
		threads.emplace_back([&map, t] {
			for (uint64 i = 0; i < 500; i++) {
				map.Add(P(t << 32 | i), t << 32 | i);
				if (i % 2 == 0)
					map.Remove(t << 32 | i);
			}
		});
	}
	for (std::thread& thread : threads)
		thread.join();
	EXPECT_EQ(map.CountItems(), 4 * 250);
}
