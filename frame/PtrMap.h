// CPtrMap: an unsorted, locked map from 64-bit keys to pointers. Keys are not
// unique; look-ups return the first match in array order.
#pragma once

#include "kit/support/Locker.h"
#include "kit/support/SupportDefs.h"

class CPtrMap {
public:
	CPtrMap();
	~CPtrMap();
	CPtrMap(const CPtrMap&) = delete;
	CPtrMap& operator=(const CPtrMap&) = delete;

	void Add(void* pointer, uint64 key);
	bool Find(void** pointer, uint64 key);
	bool Find(uint64* key, void* pointer);
	bool Find(int* key, void* pointer);
	bool Find(long* key, void* pointer);
	bool Find(unsigned long* key, void* pointer);
	bool Find(long long* key, void* pointer);
	bool Remove(void* pointer);
	bool Remove(uint64 key);
	bool ItemAt(int index, void** pointer);
	int32 CountItems();
	bool IsEmpty();
	void MakeEmpty();
	void RemoveAll();
	void DebugDump();
	int32 Capacity();

private:
	struct Entry {
		uint64 key;
		void* pointer;
	};
	int32 FindIndex(void* pointer);

	int32 fCount = 0;
	int32 fCapacity = 30;
	Entry* fEntries;
	BLocker fLocker;
};
