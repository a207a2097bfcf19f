// Memory areas: anonymous mappings, locked into RAM on request.
#include "kit/kernel/OS.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

struct Area {
	std::string name;
	uintptr_t start = 0;
	size_t size = 0;
};

struct AreaRegistry {
	std::mutex lock;
	std::map<area_id, Area> areas;
	area_id nextId = 1;
};

// Never destroyed: areas may outlive static destruction.
AreaRegistry& Registry()
{
	static AreaRegistry* registry = new AreaRegistry;
	return *registry;
}

}   // namespace

area_id create_area(const char* name, void** startAddress, uint32 addressSpec, size_t size, uint32 lock,
	uint32 protection)
{
	if (startAddress == nullptr || size == 0 || size % B_PAGE_SIZE != 0)
		return B_BAD_VALUE;
	if (lock != B_NO_LOCK && lock != B_LAZY_LOCK && lock != B_FULL_LOCK)
		return B_BAD_VALUE;

	int flags = MAP_PRIVATE | MAP_ANONYMOUS;
	void* hint = nullptr;
	if (addressSpec == B_EXACT_ADDRESS) {
		hint = *startAddress;
		if (hint == nullptr || reinterpret_cast<uintptr_t>(hint) % B_PAGE_SIZE != 0)
			return B_BAD_VALUE;
		flags |= MAP_FIXED_NOREPLACE;
	} else if (addressSpec != B_ANY_ADDRESS) {
		return B_BAD_VALUE;
	}

	int prot = PROT_NONE;
	if ((protection & B_READ_AREA) != 0)
		prot |= PROT_READ;
	if ((protection & B_WRITE_AREA) != 0)
		prot |= PROT_WRITE;

	void* address = mmap(hint, size, prot, flags, -1, 0);
	if (address == MAP_FAILED)
		return B_NO_MEMORY;
	if (hint != nullptr && address != hint) {
		// Kernels before 4.17 ignore MAP_FIXED_NOREPLACE and treat it as a hint.
		munmap(address, size);
		return B_NO_MEMORY;
	}
	// The system calls directly: the sanitizers' run-times replace mlock
	// with a no-op that always succeeds.
	if (lock == B_FULL_LOCK && syscall(SYS_mlock, address, size) != 0) {
		munmap(address, size);
		return B_NO_MEMORY;
	}
	if (lock == B_LAZY_LOCK)
		syscall(SYS_mlock2, address, size, MLOCK_ONFAULT);   // best effort: a hint, not a promise

	AreaRegistry& registry = Registry();
	std::lock_guard guard(registry.lock);
	if (registry.nextId == INT32_MAX) {
		munmap(address, size);
		return B_NO_MEMORY;
	}
	area_id id = registry.nextId++;
	Area area;
	area.name = name != nullptr ? name : "";
	area.start = reinterpret_cast<uintptr_t>(address);
	area.size = size;
	registry.areas.emplace(id, std::move(area));
	*startAddress = address;
	return id;
}

area_id area_for(void* address)
{
	uintptr_t where = reinterpret_cast<uintptr_t>(address);
	AreaRegistry& registry = Registry();
	std::lock_guard guard(registry.lock);
	for (const auto& [id, area] : registry.areas) {
		if (where >= area.start && where - area.start < area.size)
			return id;
	}
	return B_ERROR;
}

status_t delete_area(area_id id)
{
	Area area;
	{
		AreaRegistry& registry = Registry();
		std::lock_guard guard(registry.lock);
		auto found = registry.areas.find(id);
		if (found == registry.areas.end())
			return B_BAD_VALUE;
		area = std::move(found->second);
		registry.areas.erase(found);
	}
	munmap(reinterpret_cast<void*>(area.start), area.size);
	return B_OK;
}
