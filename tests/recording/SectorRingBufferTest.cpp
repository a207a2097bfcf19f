// The sector ring buffer: its geometry and locked memory, the hand-over of
// clusters and sectors, the end marker, the time-out of a full buffer, and
// two threads passing a stream through it twice with a Rewind between the
// passes (the second pass must deliver exactly the same bytes).
#include "recording/SectorRingBuffer.h"

#include "kit/interface/Alert.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <random>
#include <thread>
#include <vector>

namespace {

constexpr int32 kSector = 2352;

// Counts the assertions (alerts) raised while it lives; they are answered
// "Ignore".
class AssertionCounter {
public:
	AssertionCounter() : fPrevious(SetAlertHandler(&fHandler)) {}
	~AssertionCounter() { SetAlertHandler(fPrevious); }
	AssertionCounter(const AssertionCounter&) = delete;
	AssertionCounter& operator=(const AssertionCounter&) = delete;
	size_t Count() const { return fHandler.CountShown(); }

private:
	CScriptedAlertHandler fHandler {2};
	CAlertHandler* fPrevious;
};

// Bounded wait for a helper thread of a test.
template<typename T>
bool Finishes(std::future<T>& future)
{
	return future.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
}

std::vector<uint8> Source(int32 sectors, uint32 seed)
{
	std::vector<uint8> bytes(size_t(sectors) * kSector);
	std::mt19937 random(seed);
	for (uint8& byte : bytes)
		byte = uint8(random());
	return bytes;
}

// The producer as the reading thread runs it: whole elements, a short last
// one, a final empty round, then the end marker.
void Produce(CSectorRingBuffer& buffer, const std::vector<uint8>& source)
{
	buffer.WriteInit();
	size_t offset = 0;
	for (;;) {
		uint8* data = nullptr;
		bool timedOut = false;
		buffer.WriteElementBegin(&data, 1000000, &timedOut);
		if (timedOut)
			continue;
		const size_t size = std::min(source.size() - offset, size_t(buffer.ElementSize()));
		if (size > 0)
			std::memcpy(data, source.data() + offset, size);
		offset += size;
		buffer.WriteElementEnd(int32(size));
		if (size == 0)
			break;
	}
	buffer.WriteExit();
}

// The consumer: sector requests of varying counts and whole clusters at
// cluster starts; each grant must be exactly what is left of the request,
// the cluster and the stream. With `untilEnd` it reads until a Begin call
// reports the end; else exactly the source's bytes (as the writer does,
// knowing the disc's length). Returns what it was handed.
std::vector<uint8> Consume(CSectorRingBuffer& buffer, size_t bytes, bool untilEnd, uint32 seed)
{
	std::vector<uint8> received;
	std::mt19937 random(seed);
	const size_t clusterSize = size_t(buffer.ClusterSize());
	buffer.ReadInit();
	while (untilEnd || received.size() < bytes) {
		// Every cluster before the stream's last one is full, so the position
		// in the current cluster follows from the bytes received.
		const size_t inCluster = received.size() % clusterSize;
		const size_t left = std::min(clusterSize - inCluster, bytes - std::min(bytes, received.size()));
		const bool wholeCluster = inCluster == 0 && random() % 3 == 0;
		const int32 wanted = int32(random() % uint32(2 * buffer.SectorPerClusterCount())) + 1;
		uint8* data = nullptr;
		int32 size = -1;
		const bool got = wholeCluster ? buffer.ReadClusterBegin(&data, &size)
									  : buffer.ReadSectorBegin(&data, &size, wanted);
		if (!got) {
			EXPECT_EQ(0, size);
			EXPECT_TRUE(untilEnd);
			EXPECT_EQ(bytes, received.size());
			break;
		}
		const size_t expected = wholeCluster ? left : std::min(left, size_t(wanted) * kSector);
		EXPECT_EQ(expected, size_t(size));
		if (size <= 0 || size_t(size) != expected)
			break;
		received.insert(received.end(), data, data + size);
		if (wholeCluster)
			buffer.ReadClusterEnd();
		else
			buffer.ReadSectorEnd();
	}
	buffer.ReadExit();
	return received;
}

}   // namespace

// The engine's default geometry in locked memory; invalid geometries give a
// buffer without memory instead of a crash.
TEST(SectorRingBuffer, GeometryAndMemory)
{
	CSectorRingBuffer buffer(kSector, 27 * kSector, 27 * kSector * 8, 14);
	ASSERT_TRUE(buffer.InitCheck());
	EXPECT_TRUE(buffer.IsMemoryLocked());
	EXPECT_EQ(27, buffer.SectorPerClusterCount());
	EXPECT_EQ(112, buffer.ClusterCount());
	EXPECT_EQ(3024, buffer.SectorCount());
	EXPECT_EQ(508032, buffer.ElementSize());
	float fill = -1;
	float free = -1;
	buffer.GetStatus(&fill, &free);
	EXPECT_EQ(0.0f, fill);
	EXPECT_EQ(100.0f, free);

	AssertionCounter assertions;
	CSectorRingBuffer uneven(kSector, 2 * kSector + 1, 4 * kSector, 2);
	EXPECT_FALSE(uneven.InitCheck());
	CSectorRingBuffer none(kSector, kSector, kSector, 0);
	EXPECT_FALSE(none.InitCheck());
	EXPECT_EQ(2u, assertions.Count());
	// 2 GB of elements do not fit the buffer's int32 sizes.
	CSectorRingBuffer huge(kSector, 27 * kSector, 27 * kSector * 8, 5000);
	EXPECT_FALSE(huge.InitCheck());
}

// One thread on both sides: partial sector grants stay in their cluster and
// resume at the new offset, a full buffer times out, the fill level counts
// clusters and stops at 100 %, and the end marker ends the consumer.
TEST(SectorRingBuffer, HandOverOnOneThread)
{
	AssertionCounter assertions;
	// Clusters of 6 sectors, elements of 2 clusters, 2 elements.
	CSectorRingBuffer buffer(kSector, 6 * kSector, 12 * kSector, 2);
	ASSERT_TRUE(buffer.InitCheck());
	const std::vector<uint8> source = Source(24, 1);
	buffer.WriteInit();
	uint8* element[2] = {};
	for (int i = 0; i < 2; i++) {
		bool timedOut = true;
		buffer.WriteElementBegin(&element[i], 1000000, &timedOut);
		ASSERT_FALSE(timedOut);
		std::memcpy(element[i], source.data() + i * 12 * kSector, 12 * kSector);
		buffer.WriteElementEnd(12 * kSector);
	}
	EXPECT_NE(element[0], element[1]);
	float fill = 0;
	buffer.GetStatus(&fill, nullptr);
	EXPECT_EQ(100.0f, fill);

	// Full: the producer waits in vain.
	uint8* untouched = reinterpret_cast<uint8*>(1);
	bool timedOut = false;
	buffer.WriteElementBegin(&untouched, 1000, &timedOut);
	EXPECT_TRUE(timedOut);
	EXPECT_EQ(reinterpret_cast<uint8*>(1), untouched);

	buffer.ReadInit();
	uint8* data = nullptr;
	int32 size = 0;
	ASSERT_TRUE(buffer.ReadSectorBegin(&data, &size, 2));
	EXPECT_EQ(2 * kSector, size);
	EXPECT_EQ(element[0], data);
	buffer.ReadSectorEnd();
	// 10 wanted, 4 left in the cluster: the same cluster, at the new offset.
	ASSERT_TRUE(buffer.ReadSectorBegin(&data, &size, 10));
	EXPECT_EQ(4 * kSector, size);
	EXPECT_EQ(element[0] + 2 * kSector, data);
	buffer.ReadSectorEnd();
	ASSERT_TRUE(buffer.ReadClusterBegin(&data, &size));
	EXPECT_EQ(6 * kSector, size);
	EXPECT_EQ(element[0] + 6 * kSector, data);
	buffer.GetStatus(&fill, nullptr);
	EXPECT_EQ(50.0f, fill);   // the cluster being read no longer counts
	buffer.ReadClusterEnd();   // the first element is free again

	// A short element: one sector in one cluster.
	bool waited = true;
	uint8* third = nullptr;
	buffer.WriteElementBegin(&third, 1000000, &waited);
	ASSERT_FALSE(waited);
	EXPECT_EQ(element[0], third);
	third[0] = 0x5A;
	buffer.WriteElementEnd(kSector);
	for (int i = 0; i < 2; i++) {
		ASSERT_TRUE(buffer.ReadClusterBegin(&data, &size));
		EXPECT_EQ(0, std::memcmp(data, source.data() + (12 + 6 * i) * kSector, 6 * kSector));
		buffer.ReadClusterEnd();
	}
	ASSERT_TRUE(buffer.ReadSectorBegin(&data, &size, 27));
	EXPECT_EQ(kSector, size);
	EXPECT_EQ(0x5A, data[0]);
	buffer.ReadSectorEnd();

	// Nothing more: an empty round, the end marker, and the consumer learns
	// of the end instead of waiting for ever.
	buffer.WriteElementBegin(&third, 0, &waited);
	buffer.WriteElementEnd(0);
	buffer.WriteExit();
	EXPECT_TRUE(buffer.IsWriteFinished());
	size = -1;
	EXPECT_FALSE(buffer.ReadClusterBegin(&data, &size));
	EXPECT_EQ(0, size);
	buffer.ReadExit();
	EXPECT_TRUE(buffer.IsReadFinished());
	buffer.GetStatus(&fill, nullptr);
	EXPECT_EQ(0.0f, fill);
	EXPECT_EQ(0u, assertions.Count());
}

// A producer and a consumer thread pass streams of every shape through
// buffers of several geometries (one element only, short last elements,
// partial last clusters, exact multiples), while a third thread watches the
// fill level. After each pass Rewind; the second pass must hand over the
// very same bytes, whether the first ended on the writer's own count or on
// the end marker.
TEST(SectorRingBuffer, TwoThreadsTwoPassesSameBytes)
{
	const struct {
		int32 sectorsPerCluster;
		int32 clustersPerElement;
		int32 elements;
		int32 sectors;   // of the stream
	} cases[] = {
		{3, 4, 3, 100},      // short last element, partial last cluster
		{3, 4, 3, 120},      // ends on an element boundary
		{3, 4, 3, 5},        // less than one element
		{5, 2, 1, 23},       // one element only
		{1, 1, 1, 7},        // one sector per element
		{27, 8, 2, 1000},
		{4, 3, 2, 0},        // nothing at all
	};
	AssertionCounter assertions;
	uint32 seed = 1;
	for (const auto& c : cases) {
		SCOPED_TRACE(testing::Message() << c.sectorsPerCluster << "/" << c.clustersPerElement << "/" << c.elements
											<< " " << c.sectors);
		CSectorRingBuffer buffer(kSector, c.sectorsPerCluster * kSector,
			c.sectorsPerCluster * c.clustersPerElement * kSector, c.elements);
		ASSERT_TRUE(buffer.InitCheck());
		const std::vector<uint8> source = Source(c.sectors, seed++);

		std::atomic<bool> watching {true};
		auto watcher = std::async(std::launch::async, [&] {
			bool inRange = true;
			while (watching.load()) {
				float fill = -1;
				float free = -1;
				buffer.GetStatus(&fill, &free);
				inRange = inRange && fill >= 0.0f && fill <= 100.0f && fill + free == 100.0f;
				std::this_thread::yield();
			}
			return inRange;
		});
		// Ends the watcher on every way out of this case.
		struct StopWatching {
			std::atomic<bool>& flag;
			~StopWatching() { flag = false; }
		} stopWatching {watching};

		for (int pass = 0; pass < 2; pass++) {
			auto producer = std::async(std::launch::async, [&] { Produce(buffer, source); });
			auto consumer = std::async(std::launch::async,
				[&] { return Consume(buffer, source.size(), pass == 1, seed * 7 + uint32(pass)); });
			const bool finished = Finishes(producer) && Finishes(consumer);
			if (!finished)
				buffer.Reset();   // unblock both so the test ends and reports
			ASSERT_TRUE(finished) << "pass " << pass;
			EXPECT_TRUE(consumer.get() == source) << "pass " << pass;
			EXPECT_TRUE(buffer.IsReadFinished());
			EXPECT_TRUE(buffer.IsWriteFinished());
			buffer.Rewind();
			EXPECT_FALSE(buffer.IsReadFinished());
			EXPECT_FALSE(buffer.IsWriteFinished());
		}
		watching = false;
		EXPECT_TRUE(watcher.get());
	}
	EXPECT_EQ(0u, assertions.Count());
}

// Reset wakes a consumer waiting on an empty buffer (it learns of the end)
// and a producer waiting on a full one.
TEST(SectorRingBuffer, ResetUnblocksBothSides)
{
	CSectorRingBuffer empty(kSector, kSector, 2 * kSector, 2);
	ASSERT_TRUE(empty.InitCheck());
	auto consumer = std::async(std::launch::async, [&] {
		empty.ReadInit();
		uint8* data = nullptr;
		int32 size = -1;
		const bool got = empty.ReadClusterBegin(&data, &size);
		return !got && size == 0;
	});
	EXPECT_EQ(std::future_status::timeout, consumer.wait_for(std::chrono::milliseconds(20)));
	empty.Reset();
	ASSERT_TRUE(Finishes(consumer));
	EXPECT_TRUE(consumer.get());

	CSectorRingBuffer full(kSector, kSector, kSector, 1);
	ASSERT_TRUE(full.InitCheck());
	full.WriteInit();
	uint8* data = nullptr;
	bool timedOut = false;
	full.WriteElementBegin(&data, 0, &timedOut);
	full.WriteElementEnd(kSector);
	auto producer = std::async(std::launch::async, [&] {
		uint8* next = nullptr;
		bool waited = false;
		full.WriteElementBegin(&next, 0, &waited);
		return next;
	});
	EXPECT_EQ(std::future_status::timeout, producer.wait_for(std::chrono::milliseconds(20)));
	full.Reset();
	ASSERT_TRUE(Finishes(producer));
	EXPECT_EQ(data, producer.get());
}
