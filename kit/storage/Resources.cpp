#include "kit/storage/Resources.h"

#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace {

struct Resource {
	const void* data;
	size_t size;
};

std::mutex sLock;

std::map<std::pair<type_code, std::string>, Resource>& Table()
{
	static std::map<std::pair<type_code, std::string>, Resource> table;
	return table;
}

}   // namespace

void RegisterResource(type_code type, const char* name, const void* data, size_t size)
{
	if (name == nullptr || data == nullptr)
		return;
	std::lock_guard<std::mutex> lock(sLock);
	Table()[{type, name}] = Resource {data, size};
}

const void* FindResource(type_code type, const char* name, size_t* size)
{
	if (name == nullptr)
		return nullptr;
	std::lock_guard<std::mutex> lock(sLock);
	auto found = Table().find({type, name});
	if (found == Table().end())
		return nullptr;
	if (size != nullptr)
		*size = found->second.size;
	return found->second.data;
}
