// The extraction buffer pool and ring buffer.
#include "ExtractionTestSupport.h"
#include "extraction/BufferCache.h"
#include "extraction/RingBuffer.h"
#include "kit/kernel/OS.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

namespace {

// Waits, up to a bound, until `done` holds.
template<typename Predicate>
bool WaitFor(Predicate done, bigtime_t bound = 5000000)
{
	bigtime_t end = system_time() + bound;
	while (!done()) {
		if (system_time() > end)
			return false;
		std::this_thread::yield();
	}
	return true;
}

}   // namespace

TEST(BufferCache, HandsOutTheLowestFreeBufferOfOneAreaAndCountsThem)
{
	CBufferCache pool(1001, 3);
	ASSERT_EQ(pool.InitCheck(), B_OK);
	EXPECT_EQ(pool.GetBufferSize(), 1008);   // a multiple of 16
	EXPECT_EQ(pool.GetBuffersCount(), 3);
	void* a = pool.Get();
	void* b = pool.Get();
	void* c = pool.Get();
	EXPECT_EQ(static_cast<char*>(b) - static_cast<char*>(a), 1008);
	EXPECT_EQ(static_cast<char*>(c) - static_cast<char*>(b), 1008);
	EXPECT_EQ(area_for(a), area_for(c));
	EXPECT_EQ(pool.GetBuffersUsedCount(), 3);
	EXPECT_EQ(pool.GetBuffersFreeCount(), 0);
	std::memset(a, 0x5a, 3 * 1008);   // the whole pool is writable memory
	pool.Put(b);
	EXPECT_EQ(pool.Get(), b);   // the lowest free one, not the last put
	pool.Put(a);
	pool.Put(c);
	pool.Put(b);
	EXPECT_EQ(pool.GetBuffersFreeCount(), 3);
	EXPECT_EQ(pool.GetBuffersUsedCount(), 0);
}

TEST(BufferCache, MisuseRaisesItsAssertionsAndChangesNothing)
{
	AlertScope alerts;
	CapturedOutput output;
	{
		CBufferCache bad(0, 2);
		EXPECT_EQ(bad.InitCheck(), B_BAD_VALUE);
		EXPECT_EQ(bad.Get(), nullptr);
		CBufferCache none(16, 0);
		EXPECT_NE(none.InitCheck(), B_OK);
	}
	CBufferCache pool(64, 2);
	void* a = pool.Get();
	int local = 0;
	pool.Put(&local);                           // not ours
	pool.Put(static_cast<char*>(a) + 16);       // inside a buffer, not its start
	pool.Put(pool.BufferAt(1));                 // ours but not handed out
	EXPECT_EQ(pool.GetBuffersUsedCount(), 1);
	EXPECT_EQ(pool.GetBuffersFreeCount(), 1);
	pool.Put(a);

	std::string text = output.Text();
	EXPECT_TRUE(HasAssertion(text, "sizeBuffer > 0"));
	EXPECT_TRUE(HasAssertion(text, "countBuffers > 0"));
	EXPECT_TRUE(HasAssertion(text, "p == 0"));
	EXPECT_TRUE(HasAssertion(text, "pBufferUsed[i] == true"));
	EXPECT_EQ(alerts.handler.CountShown(), 5u);
}

TEST(BufferCache, DestroyingWithABufferOutIsAnAssertion)
{
	AlertScope alerts;
	CapturedOutput output;
	{
		CBufferCache pool(64, 2);
		pool.Get();
	}
	EXPECT_TRUE(HasAssertion(output.Text(), "GetBuffersFreeCount() == countBuffers"));
	EXPECT_TRUE(HasAssertion(output.Text(), "GetBuffersUsedCount() == 0"));
}

TEST(RingBuffer, AWriterThatWritesNothingEndsAtOnceAndTheReaderSeesTheEnd)
{
	CRingBuffer ring(2500, 2);
	ASSERT_EQ(ring.InitCheck(), B_OK);
	ring.WriteInit();
	ring.WriteExit();   // returns at once: nothing queued
	ring.ReadInit();
	void* data = reinterpret_cast<void*>(1);
	int32 bytes = -1;
	ring.ReadBegin(&data, &bytes);
	EXPECT_EQ(data, nullptr);
	EXPECT_EQ(bytes, 0);
	ring.ReadEnd();
	ring.ReadExit();
	// Idle again: a second job on the same buffer works the same way.
	ring.WriteInit();
	ring.WriteExit();
	ring.ReadInit();
	ring.ReadBegin(&data, &bytes);
	EXPECT_EQ(bytes, 0);
	ring.ReadEnd();
	ring.ReadExit();
}

TEST(RingBuffer, WholeWritesFillElementsAndTheFreeTailCountsAsWastedUntilRead)
{
	AlertScope alerts;
	CapturedOutput output;
	CRingBuffer ring(2500, 3);
	int32 used = -1, free = -1;
	ring.GetStatus(&used, &free);
	EXPECT_EQ(used, 0);
	EXPECT_EQ(free, 100);

	std::vector<uint8> block(1000);
	ring.WriteInit();
	ring.ReadInit();
	for (int i = 0; i < 3; i++) {
		std::memset(block.data(), 'a' + i, block.size());
		ASSERT_EQ(ring.Write(block.data(), 1000), B_OK);
	}
	EXPECT_EQ(ring.BytesBuffered(), 3000);
	EXPECT_EQ(ring.BytesWasted(), 500);
	ring.GetStatus(&used, &free);
	EXPECT_EQ(used, 3500 * 100 / 7500);
	EXPECT_EQ(used + free, 100);

	// The first element (two writes) is closed and readable; its header
	// tells what the last write was.
	void* data = nullptr;
	int32 bytes = 0;
	ring.ReadBegin(&data, &bytes);
	ASSERT_EQ(bytes, 2000);
	const auto* header = reinterpret_cast<const CRingBuffer::ElementHeader*>(static_cast<uint8*>(data) - 16);
	EXPECT_EQ(header->sizeUsed, 2000);
	EXPECT_EQ(header->offsetLastWrite, 1000);
	EXPECT_EQ(header->sizeLastWrite, 1000);
	EXPECT_NE(header->next, 0);
	EXPECT_EQ(static_cast<uint8*>(data)[999], 'a');
	EXPECT_EQ(static_cast<uint8*>(data)[1000], 'b');
	ring.ReadEnd();
	EXPECT_EQ(ring.BytesWasted(), 0);
	EXPECT_EQ(ring.BytesBuffered(), 1000);

	// Too large a write is refused whole.
	std::vector<uint8> big(2501);
	EXPECT_EQ(ring.Write(big.data(), 2501), B_BAD_VALUE);
	EXPECT_TRUE(HasAssertion(output.Text(), "bytes <= sizeElement"));

	std::thread writer([&] { ring.WriteExit(); });
	ring.ReadBegin(&data, &bytes);
	EXPECT_EQ(bytes, 1000);
	EXPECT_EQ(static_cast<uint8*>(data)[0], 'c');
	ring.ReadEnd();
	ring.ReadBegin(&data, &bytes);
	EXPECT_EQ(bytes, 0);
	ring.ReadEnd();
	writer.join();
	ring.ReadExit();
	ring.GetStatus(&used, &free);
	EXPECT_EQ(used, 0);
	EXPECT_EQ(free, 100);
	EXPECT_EQ(alerts.handler.CountShown(), 1u);
}

TEST(RingBuffer, AFullBufferBlocksTheWriterUntilTheReaderGivesAnElementBack)
{
	CRingBuffer ring(1200, 2);
	std::vector<uint8> block(1200, 7);
	ring.WriteInit();
	ring.ReadInit();
	ASSERT_EQ(ring.Write(block.data(), 1200), B_OK);
	ASSERT_EQ(ring.Write(block.data(), 1200), B_OK);   // second element; the first is closed
	int32 used = 0, free = 0;
	ring.GetStatus(&used, &free);
	EXPECT_EQ(used, 100);

	std::atomic<bool> third {false};
	std::thread writer([&] {
		ring.Write(block.data(), 1200);   // needs a third element: waits
		third = true;
		ring.WriteExit();
	});
	ASSERT_TRUE(WaitFor([&] { return ring.FreeElements() < 0; }));   // the writer waits in the pool
	EXPECT_FALSE(third.load());

	void* data = nullptr;
	int32 bytes = 0;
	int32 total = 0;
	for (;;) {
		ring.ReadBegin(&data, &bytes);
		total += bytes;
		ring.ReadEnd();
		if (bytes == 0)
			break;
	}
	writer.join();
	ring.ReadExit();
	EXPECT_TRUE(third.load());
	EXPECT_EQ(total, 3600);
}

TEST(RingBuffer, DestroyingOutsideTheIdleStateIsAnAssertion)
{
	AlertScope alerts;
	CapturedOutput output;
	{
		CRingBuffer ring(1000, 1);   // both sizes out of range
		ring.ReadInit();             // never ended
	}
	std::string text = output.Text();
	EXPECT_TRUE(HasAssertion(text, "sizeElement > 1000"));
	EXPECT_TRUE(HasAssertion(text, "countElements >= 2"));
	EXPECT_TRUE(HasAssertion(text, "count == 1"));
}

// One writer and one reader at once, with writes of changing sizes: every
// byte arrives once, in order, and the buffer ends idle. Run it repeated
// under load before trusting a change to the handshake.
TEST(RingBuffer, TwoThreadsHandOverEveryByteInOrder)
{
	constexpr int32 kElement = 4 * 2352;
	CRingBuffer ring(kElement, 3);
	std::mt19937 random(20260);
	std::vector<int32> sizes;
	int64 total = 0;
	for (int i = 0; i < 3000; i++) {
		int32 size = int32(random() % kElement) + 1;
		sizes.push_back(size);
		total += size;
	}

	std::atomic<int64> received {0};
	std::atomic<bool> wrong {false};
	std::thread reader([&] {
		ring.ReadInit();
		uint8 expected = 0;
		int64 count = 0;
		int32 peak = 0;
		for (;;) {
			void* data = nullptr;
			int32 bytes = 0;
			ring.ReadBegin(&data, &bytes);
			if (bytes == 0) {
				ring.ReadEnd();
				break;
			}
			const uint8* p = static_cast<const uint8*>(data);
			for (int32 i = 0; i < bytes; i++) {
				if (p[i] != expected++)
					wrong = true;
			}
			count += bytes;
			int32 used, free;
			ring.GetStatus(&used, &free);
			peak = std::max(peak, used);
			if (used < 0 || used > 100)
				wrong = true;
			ring.ReadEnd();
		}
		ring.ReadExit();
		received = count;
	});

	ring.WriteInit();
	std::vector<uint8> block(kElement);
	uint8 next = 0;
	for (int32 size : sizes) {
		for (int32 i = 0; i < size; i++)
			block[i] = next++;
		ASSERT_EQ(ring.Write(block.data(), size), B_OK);
	}
	ring.WriteExit();
	reader.join();
	EXPECT_FALSE(wrong.load());
	EXPECT_EQ(received.load(), total);
	EXPECT_EQ(ring.BytesBuffered(), 0);
	EXPECT_EQ(ring.BytesWasted(), 0);
	EXPECT_EQ(ring.FreeElements(), 3);
}
