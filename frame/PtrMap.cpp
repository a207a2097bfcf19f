// CPtrMap: an unsorted array of {key, pointer} under a recursive locker.
#include "frame/PtrMap.h"

#include "frame/Diagnostics.h"

#include <algorithm>

CPtrMap::CPtrMap()
	:
	fEntries(new Entry[30]),
	fLocker("CPtrMap locker")
{
}

CPtrMap::~CPtrMap()
{
	delete[] fEntries;
}

void CPtrMap::Add(void* pointer, uint64 key)
{
	BAutolock lock(fLocker);
	if (fCount == fCapacity) {
		int32 capacity = fCapacity + fCapacity / 2;
		Entry* entries = new Entry[capacity];
		std::copy(fEntries, fEntries + fCount, entries);
		delete[] fEntries;
		fEntries = entries;
		fCapacity = capacity;
	}
	fEntries[fCount++] = Entry {key, pointer};
}

bool CPtrMap::Find(void** pointer, uint64 key)
{
	BAutolock lock(fLocker);
	for (int32 i = 0; i < fCount; i++) {
		if (fEntries[i].key == key) {
			*pointer = fEntries[i].pointer;
			return true;
		}
	}
	return false;
}

template<typename T>
bool CPtrMap::FindKey(T* key, void* pointer)
{
	BAutolock lock(fLocker);
	int32 index = FindIndex(pointer);
	if (index < 0)
		return false;
	*key = static_cast<T>(fEntries[index].key);
	return true;
}

bool CPtrMap::Find(uint64* key, void* pointer)
{
	return FindKey(key, pointer);
}

bool CPtrMap::Find(int* key, void* pointer)
{
	return FindKey(key, pointer);
}

bool CPtrMap::Find(long* key, void* pointer)
{
	return FindKey(key, pointer);
}

#if !defined(__LP64__)
bool CPtrMap::Find(unsigned long* key, void* pointer)
{
	return FindKey(key, pointer);
}
#endif

bool CPtrMap::Find(long long* key, void* pointer)
{
	return FindKey(key, pointer);
}

bool CPtrMap::Remove(void* pointer)
{
	BAutolock lock(fLocker);
	int32 index = FindIndex(pointer);
	if (index < 0)
		return false;
	RemoveAt(index);
	return true;
}

bool CPtrMap::Remove(uint64 key)
{
	// The entry with that key itself goes, even when its pointer is also
	// stored under another key earlier in the array.
	BAutolock lock(fLocker);
	for (int32 i = 0; i < fCount; i++) {
		if (fEntries[i].key == key) {
			RemoveAt(i);
			return true;
		}
	}
	return false;
}

bool CPtrMap::ItemAt(int index, void** pointer)
{
	BAutolock lock(fLocker);
	if (index < 0 || index >= fCount)
		return false;
	*pointer = fEntries[index].pointer;
	return true;
}

int32 CPtrMap::CountItems()
{
	BAutolock lock(fLocker);
	return fCount;
}

bool CPtrMap::IsEmpty()
{
	BAutolock lock(fLocker);
	return fCount == 0;
}

void CPtrMap::MakeEmpty()
{
	BAutolock lock(fLocker);
	fCount = 0;
}

void CPtrMap::RemoveAll()
{
	MakeEmpty();
}

void CPtrMap::DebugDump()
{
	BAutolock lock(fLocker);
	DebugPrint("CPtrMap Dump: countItems = %d, maxItems = %d\n", int(fCount), int(fCapacity));
	for (int32 i = 0; i < fCount; i++) {
		DebugPrint("item=%d \t key=0x%llx \t ptr = 0x%llx\n", int(i), (unsigned long long)fEntries[i].key,
			(unsigned long long)(uintptr_t)fEntries[i].pointer);
	}
}

int32 CPtrMap::Capacity()
{
	BAutolock lock(fLocker);
	return fCapacity;
}

int32 CPtrMap::FindIndex(void* pointer)
{
	for (int32 i = 0; i < fCount; i++) {
		if (fEntries[i].pointer == pointer)
			return i;
	}
	return -1;
}

void CPtrMap::RemoveAt(int32 index)
{
	fEntries[index] = fEntries[fCount - 1];
	fCount--;
}
