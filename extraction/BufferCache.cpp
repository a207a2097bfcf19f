// The extraction buffer pool: one locked area cut into equal buffers.
#include "extraction/BufferCache.h"

#include "frame/Diagnostics.h"
#include "kit/kernel/OS.h"

CBufferCache::CBufferCache(int32 bufferSize, int32 bufferCount)
	: BLocker("CBufferCache")
{
	if (bufferSize <= 0) {
		DebugAssert(__FILE__, __LINE__, "sizeBuffer > 0");
		fStatus = B_BAD_VALUE;
		return;
	}
	if (bufferCount <= 0) {
		DebugAssert(__FILE__, __LINE__, "countBuffers > 0");
		fStatus = B_BAD_VALUE;
		return;
	}
	int64 size = (int64(bufferSize) + 15) / 16 * 16;
	int64 total = size * bufferCount;
	if (size > INT32_MAX || total > int64(INT32_MAX) - int64(B_PAGE_SIZE)) {
		DebugAssert(__FILE__, __LINE__, "id != B_BAD_VALUE");
		fStatus = B_BAD_VALUE;
		return;
	}
	fBufferSize = int32(size);
	fBufferCount = bufferCount;
	size_t areaSize = (size_t(total) + B_PAGE_SIZE - 1) / B_PAGE_SIZE * B_PAGE_SIZE;
	fArea = create_area("locked memory", &fAreaBase, B_ANY_ADDRESS, areaSize, B_FULL_LOCK,
		B_READ_AREA | B_WRITE_AREA);
	if (fArea < 0) {
		if (fArea == B_BAD_VALUE)
			DebugAssert(__FILE__, __LINE__, "id != B_BAD_VALUE");
		else if (fArea == B_NO_MEMORY)
			DebugAssert(__FILE__, __LINE__, "id != B_NO_MEMORY");
		else
			DebugAssert(__FILE__, __LINE__, "id != B_ERROR");
		fStatus = fArea == B_BAD_VALUE ? B_BAD_VALUE : B_NO_MEMORY;
		fAreaBase = nullptr;
		fBufferCount = 0;
		return;
	}
	fBuffers = std::make_unique<uint8*[]>(size_t(bufferCount));
	fUsed = std::make_unique<bool[]>(size_t(bufferCount));
	for (int32 i = 0; i < bufferCount; i++) {
		fBuffers[i] = static_cast<uint8*>(fAreaBase) + int64(i) * fBufferSize;
		fUsed[i] = false;
	}
	fFree = create_sem(bufferCount, "CBufferCache::semBuffersFree");
	if (fFree < 0) {
		fStatus = fFree;
		delete_area(fArea);
		fArea = -1;
		fAreaBase = nullptr;
		fBufferCount = 0;
		return;
	}
	fStatus = B_OK;
}

CBufferCache::~CBufferCache()
{
	if (fStatus == B_OK) {
		if (GetBuffersFreeCount() != fBufferCount)
			DebugAssert(__FILE__, __LINE__, "GetBuffersFreeCount() == countBuffers");
		if (GetBuffersUsedCount() != 0)
			DebugAssert(__FILE__, __LINE__, "GetBuffersUsedCount() == 0");
	}
	if (fFree >= 0)
		delete_sem(fFree);
	if (fArea >= 0)
		delete_area(fArea);
}

void* CBufferCache::Get()
{
	if (fStatus != B_OK)
		return nullptr;
	if (acquire_sem(fFree) != B_OK)
		return nullptr;
	BAutolock lock(this);
	for (int32 i = 0; i < fBufferCount; i++) {
		if (!fUsed[i]) {
			fUsed[i] = true;
			return fBuffers[i];
		}
	}
	// The semaphore promised a free buffer: the flags disagree with it.
	DebugAssert(__FILE__, __LINE__, "p != 0");
	release_sem(fFree);
	return nullptr;
}

void CBufferCache::Put(void* buffer)
{
	if (buffer == nullptr) {
		DebugAssert(__FILE__, __LINE__, "p != 0");
		return;
	}
	{
		BAutolock lock(this);
		int32 i = IndexOf(buffer);
		if (i < 0) {
			DebugAssert(__FILE__, __LINE__, "p == 0");
			return;
		}
		if (!fUsed[i]) {
			DebugAssert(__FILE__, __LINE__, "pBufferUsed[i] == true");
			return;
		}
		if (GetBuffersUsedCount() < 1) {
			DebugAssert(__FILE__, __LINE__, "GetBuffersUsedCount() >= 1");
			return;
		}
		fUsed[i] = false;
	}
	release_sem(fFree);
}

int32 CBufferCache::GetBuffersUsedCount()
{
	BAutolock lock(this);
	int32 used = 0;
	for (int32 i = 0; i < fBufferCount; i++)
		used += fUsed[i] ? 1 : 0;
	return used;
}

int32 CBufferCache::GetBuffersFreeCount()
{
	int32 count = 0;
	if (fFree < 0 || get_sem_count(fFree, &count) != B_OK)
		return 0;
	return count;
}

int32 CBufferCache::IndexOf(const void* buffer) const
{
	if (fAreaBase == nullptr || buffer == nullptr)
		return -1;
	const uint8* p = static_cast<const uint8*>(buffer);
	const uint8* base = static_cast<const uint8*>(fAreaBase);
	if (p < base)
		return -1;
	int64 offset = p - base;
	if (offset % fBufferSize != 0 || offset / fBufferSize >= fBufferCount)
		return -1;
	return int32(offset / fBufferSize);
}

void* CBufferCache::BufferAt(int32 index) const
{
	if (index < 0 || index >= fBufferCount)
		return nullptr;
	return fBuffers[index];
}
