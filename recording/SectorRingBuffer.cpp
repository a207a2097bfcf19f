// CSectorRingBuffer: elements in, clusters or sectors out, over one locked
// memory block.
#include "recording/SectorRingBuffer.h"

#include "frame/Diagnostics.h"
#include "frame/util.h"
#include "kit/kernel/OS.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kRecordAlignment = B_PAGE_SIZE;

bool ValidGeometry(int sizeSector, int sizeCluster, int sizeElement, int countElements)
{
	bool valid = true;
	if (!(sizeSector > 0)) {
		DebugAssert(__FILE__, __LINE__, "sizeSector > 0");
		valid = false;
	}
	if (valid && !(sizeCluster > 0 && sizeCluster % sizeSector == 0)) {
		DebugAssert(__FILE__, __LINE__, "sizeCluster % sizeSector == 0");
		valid = false;
	}
	if (valid && !(sizeElement > 0 && sizeElement % sizeCluster == 0)) {
		DebugAssert(__FILE__, __LINE__, "sizeElement % sizeCluster == 0");
		valid = false;
	}
	if (!(countElements > 0)) {
		DebugAssert(__FILE__, __LINE__, "countElements > 0");
		valid = false;
	}
	return valid;
}

int32 ClustersPerElement(int sizeCluster, int sizeElement)
{
	return sizeCluster > 0 && sizeElement > 0 ? sizeElement / sizeCluster : 0;
}

int32 ClusterTotal(int sizeCluster, int sizeElement, int countElements)
{
	const int64 total = int64(ClustersPerElement(sizeCluster, sizeElement)) * std::max(countElements, 0);
	return total <= INT32_MAX ? int32(total) : 0;
}

}   // namespace

CSectorRingBuffer::CSectorRingBuffer(int sizeSector, int sizeCluster, int sizeElement, int countElements)
	:
	sizeSector(sizeSector),
	sizeCluster(sizeCluster),
	sizeElement(sizeElement),
	countElements(countElements),
	countClustersPerElement(ClustersPerElement(sizeCluster, sizeElement)),
	countClusters(ClusterTotal(sizeCluster, sizeElement, countElements))
{
	const bool valid = ValidGeometry(sizeSector, sizeCluster, sizeElement, countElements) && countClusters > 0;

	semClustersUsed = create_sem(0, "ring_buffer_clusters_used");
	semElementsFree = create_sem(std::max(countElements, 0), "ring_buffer_elements_free");
	fLock = create_sem(1, "ring_buffer_lock");
	if (!valid || semClustersUsed < 0 || semElementsFree < 0 || fLock < 0)
		return;

	// Records first, the data area from the next page on. Sizes in 64 bits:
	// a geometry whose block does not fit an int32 has no memory.
	const int64 recordBytes = int64(countElements) * int64(sizeof(ELEMENTINFO))
		+ int64(countClusters) * int64(sizeof(CLUSTERINFO));
	const int64 dataOffset = (recordBytes + int64(kRecordAlignment) - 1) / int64(kRecordAlignment)
		* int64(kRecordAlignment);
	const int64 totalBytes = dataOffset + int64(countElements) * int64(sizeElement);
	const int64 areaBytes = (totalBytes + int64(B_PAGE_SIZE) - 1) / int64(B_PAGE_SIZE) * int64(B_PAGE_SIZE);
	if (areaBytes > INT32_MAX) {
		DebugLog("CSectorRingBuffer::CSectorRingBuffer - not enough memory\n");
		return;
	}

	void* address = nullptr;
	fArea = create_area("locked_memory", &address, B_ANY_ADDRESS, size_t(areaBytes), B_FULL_LOCK,
		B_READ_AREA | B_WRITE_AREA);
	if (fArea >= 0) {
		fMemoryIsLocked = true;
	} else {
		fArea = -1;
		address = std::aligned_alloc(B_PAGE_SIZE, size_t(areaBytes));
		if (address == nullptr) {
			DebugLog("CSectorRingBuffer::CSectorRingBuffer - not enough memory\n");
			return;
		}
	}
	fMemory = static_cast<uint8*>(address);
	fMemorySize = int32(areaBytes);

	fElements = reinterpret_cast<ELEMENTINFO*>(fMemory);
	fClusters = reinterpret_cast<CLUSTERINFO*>(fMemory + size_t(countElements) * sizeof(ELEMENTINFO));
	uint8* dataArea = fMemory + dataOffset;
	for (int32 i = 0; i < countClusters; i++) {
		CLUSTERINFO& cluster = fClusters[i];
		cluster.next = &fClusters[(i + 1) % countClusters];
		cluster.data = dataArea + size_t(i) * size_t(sizeCluster);
		cluster.indexInElement = i % countClustersPerElement;
	}
	for (int32 j = 0; j < countElements; j++) {
		ELEMENTINFO& element = fElements[j];
		element.next = &fElements[(j + 1) % countElements];
		element.firstCluster = &fClusters[j * countClustersPerElement];
		element.data = dataArea + size_t(j) * size_t(sizeElement);
	}
	_ArrangeRecords();
}

CSectorRingBuffer::~CSectorRingBuffer()
{
	delete_sem(semClustersUsed);
	delete_sem(semElementsFree);
	delete_sem(fLock);
	if (fMemory != nullptr) {
		if (fMemoryIsLocked) {
			status_t status = delete_area(fArea);
			DEBUG_ASSERT(status == B_OK);
		} else {
			std::free(fMemory);
		}
	}
}

bool CSectorRingBuffer::InitCheck() const
{
	return fMemory != nullptr;
}

bool CSectorRingBuffer::IsMemoryLocked() const
{
	return fMemory != nullptr && fMemoryIsLocked;
}

int32 CSectorRingBuffer::SectorPerClusterCount() const
{
	return sizeSector > 0 ? sizeCluster / sizeSector : 0;
}

int32 CSectorRingBuffer::SectorCount() const
{
	return SectorPerClusterCount() * countClusters;
}

// #pragma mark - producer

void CSectorRingBuffer::WriteInit()
{
	_Lock();
	DEBUG_ASSERT(bWriteFinished == false);
	_Unlock();
}

void CSectorRingBuffer::WriteElementBegin(uint8** data, bigtime_t timeout, bool* timedOut)
{
	DEBUG_ASSERT(data != nullptr);
	if (timeout > 0) {
		if (!take_sem_timeout(semElementsFree, timeout)) {
			if (timedOut != nullptr)
				*timedOut = true;
			return;
		}
		if (timedOut != nullptr)
			*timedOut = false;
	} else {
		take_sem(semElementsFree);
	}
	_Lock();
	*data = fNextWriteElement != nullptr ? fNextWriteElement->data : nullptr;
	_Unlock();
}

void CSectorRingBuffer::WriteElementEnd(int32 sizeWritten)
{
	_Lock();
	debug_nBytesWritten += sizeWritten;
	if (sizeWritten == 0 || fWasReset || fNextWriteElement == nullptr) {
		// Nothing to publish: the element is free again.
		give_sem(semElementsFree, 1, false);
		_Unlock();
		return;
	}
	DEBUG_ASSERT(sizeWritten <= sizeElement);
	DEBUG_ASSERT(sizeWritten % sizeSector == 0);
	sizeWritten = std::clamp(sizeWritten, 0, sizeElement);
	const int32 countClusterWritten = (sizeWritten + sizeCluster - 1) / sizeCluster;
	DEBUG_ASSERT(countClusterWritten <= countClustersPerElement);

	ELEMENTINFO* element = fNextWriteElement;
	CLUSTERINFO* cluster = element->firstCluster;
	int32 sizeElementWritten = sizeWritten;
	for (int32 i = 0; i < countClusterWritten; i++) {
		DEBUG_ASSERT(sizeElementWritten > 0);
		cluster->offsetNextRead = 0;
		cluster->sizeData = std::min(sizeElementWritten, sizeCluster);
		// After the last filled cluster of a short element the consumer goes
		// straight to the next element, so that this one is freed and both
		// positions stay in step.
		cluster->nextRead = i == countClusterWritten - 1 ? element->next->firstCluster : cluster->next;
		sizeElementWritten -= sizeCluster;
		cluster = cluster->next;
	}
	fNextWriteElement = element->next;
	give_sem(semClustersUsed, countClusterWritten, false);
	_Unlock();
}

void CSectorRingBuffer::WriteExit()
{
	_Lock();
	DEBUG_ASSERT(bWriteFinished == false);
	bWriteFinished = true;
	give_sem(semClustersUsed, 1, false);
	_Unlock();
}

// #pragma mark - consumer

void CSectorRingBuffer::ReadInit()
{
	_Lock();
	DEBUG_ASSERT(bReadFinished == false);
	bReadWasUnblocked = false;
	_Unlock();
}

bool CSectorRingBuffer::_ReachedEnd(int32* size)
{
	if (fWasReset || pNextReadCluster == nullptr || (bWriteFinished && _SemCount(semClustersUsed) == 0)) {
		*size = 0;
		bReadWasUnblocked = true;
		return true;
	}
	return false;
}

bool CSectorRingBuffer::ReadClusterBegin(uint8** data, int32* size)
{
	DEBUG_ASSERT(data != nullptr && size != nullptr);
	take_sem(semClustersUsed);
	_Lock();
	if (_ReachedEnd(size)) {
		_Unlock();
		return false;
	}
	DEBUG_ASSERT(pNextReadCluster->offsetNextRead == 0);
	*size = pNextReadCluster->sizeData;
	*data = pNextReadCluster->data;
	debug_nBytesRead += *size;
	_Unlock();
	return true;
}

void CSectorRingBuffer::ReadClusterEnd()
{
	_Lock();
	if (bReadWasUnblocked) {
		if (_SemCount(semClustersUsed) == countElements - 1)
			give_sem(semElementsFree, 1, false);
		_Unlock();
		return;
	}
	_AdvanceReadCluster();
	_Unlock();
}

bool CSectorRingBuffer::ReadSectorBegin(uint8** data, int32* size, int32 sectorCount)
{
	DEBUG_ASSERT(data != nullptr && size != nullptr);
	take_sem(semClustersUsed);
	_Lock();
	if (_ReachedEnd(size)) {
		_Unlock();
		return false;
	}
	const int64 wanted = int64(std::max(sectorCount, 0)) * sizeSector;
	const int32 left = pNextReadCluster->sizeData - pNextReadCluster->offsetNextRead;
	sizeSectorRead = int32(std::min<int64>(wanted, left));
	DEBUG_ASSERT(pNextReadCluster->offsetNextRead <= (pNextReadCluster->sizeData - sizeSectorRead));
	DEBUG_ASSERT(sizeSectorRead > 0 && sizeSectorRead <= sizeCluster);
	*size = sizeSectorRead;
	*data = pNextReadCluster->data + pNextReadCluster->offsetNextRead;
	debug_nBytesRead += sizeSectorRead;
	_Unlock();
	return true;
}

void CSectorRingBuffer::ReadSectorEnd()
{
	_Lock();
	if (bReadWasUnblocked) {
		if (_SemCount(semClustersUsed) == countElements - 1)
			give_sem(semElementsFree, 1, false);
		_Unlock();
		return;
	}
	pNextReadCluster->offsetNextRead += sizeSectorRead;
	sizeSectorRead = 0;
	DEBUG_ASSERT(pNextReadCluster->sizeData <= sizeCluster);
	DEBUG_ASSERT(pNextReadCluster->offsetNextRead <= pNextReadCluster->sizeData);
	if (pNextReadCluster->offsetNextRead >= pNextReadCluster->sizeData)
		_AdvanceReadCluster();
	else
		give_sem(semClustersUsed, 1, false);   // the rest of the cluster is for the next Begin call
	_Unlock();
}

void CSectorRingBuffer::ReadExit()
{
	_Lock();
	DEBUG_ASSERT(bReadFinished == false);
	bReadFinished = true;
	const bool unblocked = bReadWasUnblocked;
	_Unlock();
	if (!unblocked)
		take_sem(semClustersUsed);   // the producer's end marker
}

void CSectorRingBuffer::_AdvanceReadCluster()
{
	CLUSTERINFO* passed = pNextReadCluster;
	pNextReadCluster = passed->nextRead != nullptr ? passed->nextRead : passed->next;
	if (pNextReadCluster->indexInElement == 0)
		give_sem(semElementsFree, 1, false);
}

// #pragma mark - status

void CSectorRingBuffer::GetStatus(float* fillPercent, float* freePercent)
{
	DEBUG_ASSERT(fillPercent != nullptr);
	_Lock();
	const int32 used = std::clamp(_SemCount(semClustersUsed), 0, std::max(countClusters, 0));
	_Unlock();
	const float fill = countClusters > 0 ? float(used) * 100.0f / float(countClusters) : 0.0f;
	*fillPercent = std::max(fill, 0.0f);
	if (freePercent != nullptr)
		*freePercent = 100.0f - *fillPercent;
}

bool CSectorRingBuffer::IsReadFinished()
{
	_Lock();
	const bool finished = bReadFinished;
	_Unlock();
	return finished;
}

bool CSectorRingBuffer::IsWriteFinished()
{
	_Lock();
	const bool finished = bWriteFinished;
	_Unlock();
	return finished;
}

void CSectorRingBuffer::Rewind()
{
	_Lock();
	int32 count = _SemCount(semClustersUsed);
	DEBUG_ASSERT(count == 0);
	// Both sides have finished, so nobody waits on the counts: put them back
	// to their initial values whatever the pass left behind.
	for (; count > 0; count--) {
		if (!take_sem_timeout(semClustersUsed, 0))
			break;
	}
	count = _SemCount(semElementsFree);
	DEBUG_ASSERT(count == countElements);
	if (count >= 0 && count < countElements)
		give_sem(semElementsFree, countElements - count, false);
	for (; count > countElements; count--) {
		if (!take_sem_timeout(semElementsFree, 0))
			break;
	}
	DEBUG_ASSERT(!fWasReset);
	_ArrangeRecords();
	bReadFinished = false;
	bWriteFinished = false;
	bReadWasUnblocked = false;
	_Unlock();
}

void CSectorRingBuffer::Reset()
{
	DebugLog("CSectorRingBuffer::Reset()\n");
	_Lock();
	fWasReset = true;
	_Unlock();
	give_sem(semElementsFree, 9999, false);
	give_sem(semClustersUsed, 9999, false);
}

// #pragma mark - private

void CSectorRingBuffer::_Lock()
{
	take_sem(fLock);
}

void CSectorRingBuffer::_Unlock()
{
	give_sem(fLock, 1, false);
}

int32 CSectorRingBuffer::_SemCount(sem_id sem) const
{
	int32 count = 0;
	if (get_sem_count(sem, &count) != B_OK)
		return 0;
	return count;
}

void CSectorRingBuffer::_ArrangeRecords()
{
	if (fMemory == nullptr)
		return;
	for (int32 i = 0; i < countClusters; i++) {
		std::memset(&fClusters[i].sizeData, 0xEF, sizeof(fClusters[i].sizeData));
		std::memset(&fClusters[i].offsetNextRead, 0xEF, sizeof(fClusters[i].offsetNextRead));
		fClusters[i].nextRead = nullptr;
	}
	pNextReadCluster = &fClusters[0];
	fNextWriteElement = &fElements[0];
	sizeSectorRead = 0;
}
