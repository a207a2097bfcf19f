// The queue between the extraction engine's reading thread (the writer) and
// its file-writing thread (the reader): fixed-size elements from a locked
// buffer pool, each filled with whole writes.
#pragma once

#include "extraction/BufferCache.h"
#include "kit/support/Locker.h"
#include "kit/support/SupportDefs.h"

#include <condition_variable>
#include <memory>
#include <mutex>

// Exactly one writer thread and one reader thread. The object's own lock
// guards its members and is never held while waiting on a semaphore.
//
// Writer:  WriteInit, Write..., WriteExit (returns when the reader has taken
//          every element).
// Reader:  ReadInit, then ReadBegin/ReadEnd pairs until ReadBegin gives 0
//          bytes, then one more ReadEnd and ReadExit.
class CRingBuffer : public BLocker {
public:
	// Layout of an element in a pool buffer: a header of four 32-bit fields,
	// then elementSize payload bytes.
	struct ElementHeader {
		int32 sizeUsed;         // payload bytes used
		int32 offsetLastWrite;  // payload offset of the last write
		int32 sizeLastWrite;    // size of the last write
		int32 next;             // pool index + 1 of the next element, 0 for none
	};
	static constexpr int32 kHeaderSize = 16;

	// elementSize > 1000 ("sizeElement > 1000"), elementCount >= 2
	// ("countElements >= 2"): assertions.
	CRingBuffer(int32 elementSize, int32 elementCount);
	// Asserts the idle state ("count == 1").
	virtual ~CRingBuffer();
	CRingBuffer(const CRingBuffer&) = delete;
	CRingBuffer& operator=(const CRingBuffer&) = delete;

	// B_OK, or the pool's or a semaphore's failure.
	status_t InitCheck() const;

	// Writer side.
	void WriteInit();
	// Appends `bytes` (at most the element size: "bytes <= sizeElement") to
	// the element being filled, or closes it and opens a new one when they
	// do not fit (blocking while every element is full). A write is never
	// split. B_OK, B_BAD_VALUE for a size out of range, B_NO_INIT.
	status_t Write(const void* data, int32 bytes);
	// Hands the partly filled element to the reader and waits until the
	// reader has taken every element; the reader's next ReadBegin gives 0.
	void WriteExit();

	// Reader side.
	void ReadInit();
	// Waits for a closed element: *data and *bytes are its payload, or null
	// and 0 at the end. Call ReadEnd exactly once after each ReadBegin.
	void ReadBegin(void** data, int32* bytes);
	void ReadEnd();
	void ReadExit();

	// Fill level for the status display: used = (bytes buffered + bytes
	// wasted) x 100 / (element size x count), free = 100 - used. Any thread.
	void GetStatus(int32* percentUsed, int32* percentFree);

	int32 ElementSize() const { return fElementSize; }
	int32 ElementCount() const { return fElementCount; }
	// Payload bytes written and not yet read; free tail bytes of closed
	// elements not yet read. Any thread.
	int32 BytesBuffered();
	int32 BytesWasted();
	// The pool's free element count: -1 while the writer waits for one.
	int32 FreeElements() { return fPool->GetBuffersFreeCount(); }

private:
	ElementHeader* _Header(void* element) const { return static_cast<ElementHeader*>(element); }
	uint8* _Payload(void* element) const { return static_cast<uint8*>(element) + kHeaderSize; }
	void* _NewElement();

	std::unique_ptr<CBufferCache> fPool;
	int32 fElementSize = 0;
	int32 fElementCount = 0;
	sem_id fElementAvailable = -1;
	sem_id fReading = -1;
	void* fFirst = nullptr;
	void* fLast = nullptr;
	int32 fBytesBuffered = 0;
	int32 fBytesWasted = 0;
	// Told by ReadEnd when the queue runs empty, so that WriteExit waits for
	// the event rather than polling.
	std::mutex fDrainedLock;
	std::condition_variable fDrained;
	uint64 fReadEnds = 0;   // guarded by fDrainedLock
};
