// CSectorRingBuffer: carries the audio stream of a recording run from the
// file-reading thread (the producer, which fills whole elements) to the
// recorder-writing thread (the consumer, which takes whole clusters or up to
// a cluster's worth of sectors per Write command).
//
// One memory block per buffer, locked into RAM when the system allows it:
// the element records, the cluster records, then the data area. Elements and
// clusters form rings; an element is `countClustersPerElement` contiguous
// clusters. Nothing is allocated after construction.
//
// Threads: exactly one producer and one consumer at a time; GetStatus,
// IsReadFinished and IsWriteFinished from any thread. Blocking happens only
// on the two counting semaphores, never while the lock is held.
//
// Producer: WriteInit, WriteElementBegin/WriteElementEnd pairs (the last
// with size 0), WriteExit. Consumer: ReadInit, ReadClusterBegin/
// ReadClusterEnd or ReadSectorBegin/ReadSectorEnd pairs, ReadExit. Between
// two passes over the same data (both sides finished): Rewind. To unblock
// both sides on the way to destruction: Reset.
#pragma once

#include "kit/support/SupportDefs.h"

struct ELEMENTINFO;

struct CLUSTERINFO {
	CLUSTERINFO* next;             // the ring; the last points to the first
	int32 sizeData;                // bytes of valid data
	int32 offsetNextRead;          // bytes already granted
	uint8* data;
	int32 indexInElement;
	// Where the consumer goes after this cluster: the next cluster, or the
	// next element's first cluster after the last filled cluster of a short
	// element. Set when the cluster is filled.
	CLUSTERINFO* nextRead;
};

struct ELEMENTINFO {
	ELEMENTINFO* next;             // the ring; the last points to the first
	CLUSTERINFO* firstCluster;
	uint8* data;
};

class CSectorRingBuffer {
public:
	// Sizes in bytes: sizeCluster a multiple of sizeSector, sizeElement a
	// multiple of sizeCluster, countElements at least 1. When the memory
	// cannot be had (or the geometry is invalid, after an assertion),
	// InitCheck() is false.
	CSectorRingBuffer(int sizeSector, int sizeCluster, int sizeElement, int countElements);
	// Deletes the semaphores and frees the block. Neither side may be inside
	// a call.
	~CSectorRingBuffer();
	CSectorRingBuffer(const CSectorRingBuffer&) = delete;
	CSectorRingBuffer& operator=(const CSectorRingBuffer&) = delete;

	bool InitCheck() const;
	// The block is a locked area (not the heap fallback).
	bool IsMemoryLocked() const;

	int32 SectorSize() const { return sizeSector; }
	int32 ClusterSize() const { return sizeCluster; }
	int32 ElementSize() const { return sizeElement; }
	int32 ElementCount() const { return countElements; }
	int32 ClusterCount() const { return countClusters; }
	int32 SectorPerClusterCount() const;
	int32 SectorCount() const;

	// Producer side.
	void WriteInit();
	// Waits for a free element: with timeout > 0 at most that many
	// microseconds (*timedOut tells whether it ran out; then *data is not
	// set), else without limit (*timedOut untouched). *data receives the
	// element's memory, sizeElement bytes.
	void WriteElementBegin(uint8** data, bigtime_t timeout, bool* timedOut);
	// Publishes `sizeWritten` bytes (a multiple of sizeSector, at most
	// sizeElement) of the element taken by WriteElementBegin; 0 gives the
	// element back unused (the producer has no more data).
	void WriteElementEnd(int32 sizeWritten);
	// No more data follows this pass: leaves the end marker for the consumer.
	void WriteExit();

	// Consumer side.
	void ReadInit();
	// Waits for the next cluster (no time limit). true: *data and *size hold
	// the whole cluster's data. false: the producer has ended and everything
	// was read (or Reset was called); *size is 0.
	bool ReadClusterBegin(uint8** data, int32* size);
	void ReadClusterEnd();
	// As ReadClusterBegin, for at most `sectorCount` sectors of the current
	// cluster: a request never spans two clusters, *size may be shorter.
	bool ReadSectorBegin(uint8** data, int32* size, int32 sectorCount);
	void ReadSectorEnd();
	// The consumer is done with this pass; waits for the producer's end
	// marker unless a Begin call has already reported the end.
	void ReadExit();

	// Fill level in percent (0..100) of the clusters holding unread data;
	// *freePercent (may be null) receives 100 - fill. Any thread.
	void GetStatus(float* fillPercent, float* freePercent);
	bool IsReadFinished();
	bool IsWriteFinished();

	// After a pass in which both sides finished: returns the buffer to its
	// state after construction (every element free, no cluster pending, both
	// positions at the first records), also after a pass that ended on a
	// short element, so that the next pass hands the consumer exactly the
	// bytes the producer writes, in order.
	void Rewind();
	// Wakes every side blocked in a Begin call; consumer Begin calls report
	// the end from now on. The buffer is then fit only for destruction.
	void Reset();

private:
	void _Lock();
	void _Unlock();
	int32 _SemCount(sem_id sem) const;
	// The consumer is past pNextReadCluster: moves on and frees the element
	// when a new one begins. Under the lock.
	void _AdvanceReadCluster();
	// The records and positions as after construction. Under the lock (or
	// in the constructor).
	void _ArrangeRecords();
	// End test of the Begin calls after taking a cluster count: true when the
	// consumer has reached the end (size and flags set). Under the lock.
	bool _ReachedEnd(int32* size);

	const int32 sizeSector;
	const int32 sizeCluster;
	const int32 sizeElement;
	const int32 countElements;
	const int32 countClustersPerElement;
	const int32 countClusters;

	int32 sizeSectorRead = 0;
	uint8* fMemory = nullptr;
	int32 fMemorySize = 0;
	bool fMemoryIsLocked = false;
	area_id fArea = -1;
	sem_id semClustersUsed = -1;
	sem_id semElementsFree = -1;
	sem_id fLock = -1;
	CLUSTERINFO* pNextReadCluster = nullptr;
	ELEMENTINFO* fNextWriteElement = nullptr;
	ELEMENTINFO* fElements = nullptr;      // the first element record
	CLUSTERINFO* fClusters = nullptr;      // the first cluster record
	bool bReadFinished = false;
	bool bWriteFinished = false;
	int32 debug_nBytesWritten = 0;
	int32 debug_nBytesRead = 0;
	bool bReadWasUnblocked = false;
	bool fWasReset = false;
};
