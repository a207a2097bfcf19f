// Memory locked into RAM: one area per allocation.
#include "frame/BufferCache.h"

#include "frame/Diagnostics.h"
#include "kit/kernel/OS.h"

area_id AllocLockedMem(void** address, int size)
{
	*address = nullptr;
	area_id id = B_BAD_VALUE;
	if (size > 0) {
		size_t bytes = (size_t(size) + B_PAGE_SIZE - 1) / B_PAGE_SIZE * B_PAGE_SIZE;
		id = create_area("locked memory", address, B_ANY_ADDRESS, bytes, B_FULL_LOCK, B_READ_AREA | B_WRITE_AREA);
	}
	if (id < 0) {
		*address = nullptr;
		if (id == B_BAD_VALUE)
			DebugAssert(__FILE__, __LINE__, "id != B_BAD_VALUE");
		else if (id == B_NO_MEMORY)
			DebugAssert(__FILE__, __LINE__, "id != B_NO_MEMORY");
		else
			DebugAssert(__FILE__, __LINE__, "id != B_ERROR");
	}
	return id;
}

void FreeLockedMem(void* address)
{
	if (address == nullptr)
		return;
	area_id id = area_for(address);
	if (id < 0) {
		DebugAssert(__FILE__, __LINE__, "id != B_ERROR");
		return;
	}
	delete_area(id);
}
