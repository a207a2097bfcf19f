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

	// Appends {key, pointer}; duplicates are kept. The capacity grows by half
	// of itself when full (30, 45, 67, 100, ...).
	void Add(void* pointer, uint64 key);
	// The pointer of the first entry with `key`.
	bool Find(void** pointer, uint64 key);
	// Reverse look-ups: the key of the first entry holding `pointer`,
	// converted to the width of the out type (an int gets the low 32 bits).
	bool Find(uint64* key, void* pointer);
	bool Find(int* key, void* pointer);
	bool Find(long* key, void* pointer);
#if !defined(__LP64__)
	// On LP64 unsigned long is uint64, declared above.
	bool Find(unsigned long* key, void* pointer);
#endif
	bool Find(long long* key, void* pointer);
	// Removes the first entry holding `pointer` (or with `key`); the last
	// entry takes its place, so the order is not kept.
	bool Remove(void* pointer);
	bool Remove(uint64 key);
	// false for any index outside 0 .. CountItems() - 1.
	bool ItemAt(int index, void** pointer);
	int32 CountItems();
	bool IsEmpty();
	// Empties the map; the array stays allocated.
	void MakeEmpty();
	void RemoveAll();
	// Prints the map to the diagnostics output.
	void DebugDump();
	int32 Capacity();

private:
	struct Entry {
		uint64 key;
		void* pointer;
	};
	int32 FindIndex(void* pointer);   // with the locker held; -1 when absent
	void RemoveAt(int32 index);        // with the locker held
	template<typename T> bool FindKey(T* key, void* pointer);

	int32 fCount = 0;
	int32 fCapacity = 30;
	Entry* fEntries;
	BLocker fLocker;
};
