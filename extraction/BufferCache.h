// A pool of equal-size buffers carved out of one locked memory area, for the
// extraction engine's ring buffer.
#pragma once

#include "kit/support/Locker.h"
#include "kit/support/SupportDefs.h"

#include <memory>

// The pool is its own lock (it guards the used flags); the lock is never held
// while Get waits. Get and Put may be called from any thread.
class CBufferCache : public BLocker {
public:
	// bufferSize is rounded up to a multiple of 16; both arguments must be
	// positive (assertions "sizeBuffer > 0", "countBuffers > 0"). The area
	// "locked memory" of bufferSize x bufferCount bytes (rounded up to whole
	// pages) is made and fully locked at once; when that fails the pool
	// asserts and InitCheck gives the reason (Get then gives null).
	CBufferCache(int32 bufferSize, int32 bufferCount);
	// Asserts that every buffer has been put back; frees the area.
	virtual ~CBufferCache();
	CBufferCache(const CBufferCache&) = delete;
	CBufferCache& operator=(const CBufferCache&) = delete;

	// B_OK, or B_NO_MEMORY / B_BAD_VALUE when the area could not be made.
	status_t InitCheck() const { return fStatus; }

	// Waits until a buffer is free and hands out the free one with the
	// lowest index. Null only when InitCheck failed or the pool is being
	// destroyed.
	void* Get();
	// Gives a buffer back. A pointer that is not a buffer of this pool, or
	// one not handed out, is an assertion and is ignored.
	void Put(void* buffer);

	int32 GetBuffersUsedCount();
	int32 GetBuffersFreeCount();   // from the free semaphore's count
	int32 GetBuffersCount() const { return fBufferCount; }
	int32 GetBufferSize() const { return fBufferSize; }
	// The index of `buffer` in the pool, or -1 when it is none of ours.
	int32 IndexOf(const void* buffer) const;
	// The buffer at `index` (0 .. count - 1), or null.
	void* BufferAt(int32 index) const;

private:
	int32 fBufferSize = 0;
	int32 fBufferCount = 0;
	void* fAreaBase = nullptr;
	area_id fArea = -1;
	std::unique_ptr<uint8*[]> fBuffers;
	std::unique_ptr<bool[]> fUsed;
	sem_id fFree = -1;
	status_t fStatus = B_NO_INIT;
};
