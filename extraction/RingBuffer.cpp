// The extraction ring buffer: elements of a locked pool, filled by one
// writer and drained by one reader.
#include "extraction/RingBuffer.h"

#include "frame/Diagnostics.h"
#include "kit/kernel/OS.h"

#include <chrono>
#include <cstring>

CRingBuffer::CRingBuffer(int32 elementSize, int32 elementCount)
	: BLocker("CRingBuffer")
{
	if (elementSize <= 1000)
		DebugAssert(__FILE__, __LINE__, "sizeElement > 1000");
	if (elementCount < 2)
		DebugAssert(__FILE__, __LINE__, "countElements >= 2");
	fElementSize = elementSize > 0 ? elementSize : 1;
	fElementCount = elementCount > 0 ? elementCount : 1;
	fPool = std::make_unique<CBufferCache>(kHeaderSize + fElementSize, fElementCount);
	fElementAvailable = create_sem(1, "CRingBuffer::semReadElementAvailable\n");
	fReading = create_sem(1, "CRingBuffer::semReading\n");
}

CRingBuffer::~CRingBuffer()
{
	int32 count = 0;
	if (fElementAvailable >= 0 && get_sem_count(fElementAvailable, &count) == B_OK && count != 1)
		DebugAssert(__FILE__, __LINE__, "count == 1");
	// Elements a broken-off job left queued go back to the pool, so that
	// the pool's own checks speak only of real leaks.
	while (fFirst != nullptr) {
		void* element = fFirst;
		int32 next = _Header(element)->next;
		fFirst = next > 0 ? fPool->BufferAt(next - 1) : nullptr;
		fPool->Put(element);
	}
	fLast = nullptr;
	if (fElementAvailable >= 0)
		delete_sem(fElementAvailable);
	if (fReading >= 0)
		delete_sem(fReading);
}

status_t CRingBuffer::InitCheck() const
{
	if (fPool->InitCheck() != B_OK)
		return fPool->InitCheck();
	if (fElementAvailable < 0)
		return fElementAvailable;
	if (fReading < 0)
		return fReading;
	return B_OK;
}

void* CRingBuffer::_NewElement()
{
	void* element = fPool->Get();
	if (element != nullptr)
		std::memset(element, 0, kHeaderSize);
	return element;
}

void CRingBuffer::WriteInit()
{
	BAutolock lock(this);
	if (fFirst != nullptr)
		DebugAssert(__FILE__, __LINE__, "pElementFirst == 0");
	if (fLast != nullptr)
		DebugAssert(__FILE__, __LINE__, "pElementLast == 0");
}

status_t CRingBuffer::Write(const void* data, int32 bytes)
{
	if (bytes > fElementSize) {
		DebugAssert(__FILE__, __LINE__, "bytes <= sizeElement");
		return B_BAD_VALUE;
	}
	if (bytes < 0 || (bytes > 0 && data == nullptr))
		return B_BAD_VALUE;
	if (InitCheck() != B_OK)
		return B_NO_INIT;
	if (bytes == 0)
		return B_OK;

	Lock();
	if (fLast == nullptr) {
		Unlock();
		void* element = _NewElement();
		if (element == nullptr)
			return B_NO_MEMORY;
		Lock();
		if (fFirst != nullptr)
			DebugAssert(__FILE__, __LINE__, "pElementFirst == 0");
		fFirst = element;
		fLast = element;
	}
	ElementHeader* last = _Header(fLast);
	if (fElementSize - last->sizeUsed < bytes) {
		fBytesWasted += fElementSize - last->sizeUsed;
		Unlock();
		// Blocks here while every element is full.
		void* element = _NewElement();
		if (element == nullptr) {
			Lock();
			fBytesWasted -= fElementSize - last->sizeUsed;
			Unlock();
			return B_NO_MEMORY;
		}
		Lock();
		if (last->next != 0)
			DebugAssert(__FILE__, __LINE__, "pElementLast->pNext == 0");
		last->next = fPool->IndexOf(element) + 1;
		fLast = element;
		last = _Header(element);
		if (last->sizeUsed != 0)
			DebugAssert(__FILE__, __LINE__, "pElementLast->sizeUsed == 0");
		// The closed element may now be read.
		release_sem(fElementAvailable);
	}
	fBytesBuffered += bytes;
	void* element = fLast;
	Unlock();

	// Only this thread touches the element being filled: the reader takes
	// closed elements only.
	int32 offset = last->sizeUsed;
	last->offsetLastWrite = offset;
	last->sizeLastWrite = bytes;
	std::memcpy(_Payload(element) + offset, data, size_t(bytes));
	last->sizeUsed = offset + bytes;
	return B_OK;
}

void CRingBuffer::WriteExit()
{
	acquire_sem(fReading);
	Lock();
	if (fFirst != nullptr) {
		// The partly filled last element is closed now: its free tail counts
		// as wasted until it is read, like that of every closed element.
		if (fLast != nullptr)
			fBytesWasted += fElementSize - _Header(fLast)->sizeUsed;
		release_sem(fElementAvailable);
	}
	fLast = nullptr;
	Unlock();

	for (;;) {
		Lock();
		bool drained = fFirst == nullptr;
		Unlock();
		if (drained)
			break;
		uint64 seen;
		{
			std::lock_guard<std::mutex> guard(fDrainedLock);
			seen = fReadEnds;
		}
		release_sem(fReading);
		{
			// Woken by ReadEnd; the bound only guards against a lost wake-up.
			std::unique_lock<std::mutex> guard(fDrainedLock);
			fDrained.wait_for(guard, std::chrono::milliseconds(20), [&] { return fReadEnds != seen; });
		}
		acquire_sem(fReading);
	}
	release_sem(fReading);
	// The reader's next ReadBegin gives 0 bytes.
	release_sem(fElementAvailable);
}

void CRingBuffer::ReadInit()
{
	acquire_sem(fElementAvailable);
}

void CRingBuffer::ReadBegin(void** data, int32* bytes)
{
	acquire_sem(fElementAvailable);
	acquire_sem(fReading);
	BAutolock lock(this);
	if (fFirst != nullptr) {
		*data = _Payload(fFirst);
		*bytes = _Header(fFirst)->sizeUsed;
	} else {
		*data = nullptr;
		*bytes = 0;
	}
}

void CRingBuffer::ReadEnd()
{
	void* done = nullptr;
	{
		BAutolock lock(this);
		if (fFirst != nullptr) {
			ElementHeader* first = _Header(fFirst);
			fBytesBuffered -= first->sizeUsed;
			fBytesWasted -= fElementSize - first->sizeUsed;
			done = fFirst;
			fFirst = first->next > 0 ? fPool->BufferAt(first->next - 1) : nullptr;
		}
	}
	if (done != nullptr)
		fPool->Put(done);
	{
		std::lock_guard<std::mutex> guard(fDrainedLock);
		fReadEnds++;
	}
	fDrained.notify_all();
	release_sem(fReading);
}

void CRingBuffer::ReadExit()
{
	BAutolock lock(this);
	release_sem(fElementAvailable);
	int32 count = 0;
	get_sem_count(fElementAvailable, &count);
	if (count != 1)
		DebugAssert(__FILE__, __LINE__, "count == 1");
	if (fFirst != nullptr)
		DebugAssert(__FILE__, __LINE__, "pElementFirst == 0");
	if (fBytesBuffered != 0)
		DebugAssert(__FILE__, __LINE__, "statusSizeBufferUsed == 0");
	fBytesWasted = 0;
}

void CRingBuffer::GetStatus(int32* percentUsed, int32* percentFree)
{
	int64 used;
	{
		BAutolock lock(this);
		used = (int64(fBytesBuffered) + fBytesWasted) * 100 / (int64(fElementSize) * fElementCount);
	}
	if (used < 0)
		used = 0;
	if (used > 100)
		used = 100;
	*percentUsed = int32(used);
	*percentFree = 100 - int32(used);
}

int32 CRingBuffer::BytesBuffered()
{
	BAutolock lock(this);
	return fBytesBuffered;
}

int32 CRingBuffer::BytesWasted()
{
	BAutolock lock(this);
	return fBytesWasted;
}
