// Add-on images on the dynamic loader.
#include "kit/kernel/OS.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include <dlfcn.h>
#include <elf.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct ImageRegistry {
	std::mutex lock;
	std::map<image_id, void*> images;   // id -> loader handle
	image_id nextId = 1;
};

// Never destroyed: add-ons may be unloaded during static destruction.
ImageRegistry& Registry()
{
	static ImageRegistry* registry = new ImageRegistry;
	return *registry;
}

thread_local std::string tLastError;

status_t Fail(status_t status, std::string text)
{
	tLastError = std::move(text);
	return status;
}

// The loader's text of a refused object: a dependency it cannot find, or a
// symbol no loaded library defines, is a missing library; anything else
// (not ELF, wrong machine, damaged) means the file is no add-on.
status_t StatusForLoaderError(const std::string& text)
{
	if (text.find("cannot open shared object file") != std::string::npos
		|| text.find("undefined symbol") != std::string::npos
		|| text.find("version `") != std::string::npos)
		return B_MISSING_LIBRARY;
	return B_NOT_AN_EXECUTABLE;
}

bool TypeMatches(int32 symbolType, unsigned char elfType)
{
	switch (symbolType) {
		case B_SYMBOL_TYPE_TEXT:
			return elfType == STT_FUNC || elfType == STT_GNU_IFUNC || elfType == STT_NOTYPE;
		case B_SYMBOL_TYPE_DATA:
			return elfType == STT_OBJECT || elfType == STT_COMMON || elfType == STT_TLS
				|| elfType == STT_NOTYPE;
		default:
			return true;
	}
}

}   // namespace

image_id load_add_on(const char* path)
{
	tLastError.clear();
	if (path == nullptr || path[0] == '\0')
		return Fail(B_BAD_VALUE, "no path");
	struct stat info;
	if (stat(path, &info) != 0) {
		int error = errno;
		std::string text = std::string(path) + ": " + strerror(error);
		return Fail(error == EACCES ? B_PERMISSION_DENIED : B_ENTRY_NOT_FOUND, text);
	}
	if (S_ISDIR(info.st_mode))
		return Fail(B_NOT_AN_EXECUTABLE, std::string(path) + ": is a folder");
	if (access(path, R_OK) != 0)
		return Fail(B_PERMISSION_DENIED, std::string(path) + ": " + strerror(errno));

	// Without a slash the loader would search its library path instead.
	std::string file = strchr(path, '/') != nullptr ? path : std::string("./") + path;
	void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
	if (handle == nullptr) {
		const char* text = dlerror();
		std::string message = text != nullptr ? text : "unknown loader error";
		return Fail(StatusForLoaderError(message), message);
	}

	ImageRegistry& registry = Registry();
	std::lock_guard lock(registry.lock);
	if (registry.nextId == INT32_MAX) {
		dlclose(handle);
		return Fail(B_NO_MEMORY, "no more image ids");
	}
	image_id id = registry.nextId++;
	registry.images.emplace(id, handle);
	return id;
}

status_t unload_add_on(image_id image)
{
	void* handle;
	{
		ImageRegistry& registry = Registry();
		std::lock_guard lock(registry.lock);
		auto found = registry.images.find(image);
		if (found == registry.images.end())
			return B_BAD_IMAGE_ID;
		handle = found->second;
		registry.images.erase(found);
	}
	return dlclose(handle) == 0 ? B_OK : B_ERROR;
}

status_t get_image_symbol(image_id image, const char* name, int32 symbolType, void** location)
{
	if (name == nullptr || location == nullptr)
		return B_BAD_VALUE;
	ImageRegistry& registry = Registry();
	// Held throughout, so that no unload closes the handle meanwhile.
	std::lock_guard lock(registry.lock);
	auto found = registry.images.find(image);
	if (found == registry.images.end())
		return B_BAD_IMAGE_ID;
	void* handle = found->second;

	dlerror();
	void* symbol = dlsym(handle, name);
	if (symbol == nullptr)
		return B_MISSING_SYMBOL;

	// dlsym also searches the libraries the image uses: keep only the
	// image's own definitions, of the kind asked for.
	link_map* imageMap = nullptr;
	if (dlinfo(handle, RTLD_DI_LINKMAP, &imageMap) != 0)
		return B_MISSING_SYMBOL;
	Dl_info where;
	link_map* symbolMap = nullptr;
	if (dladdr1(symbol, &where, reinterpret_cast<void**>(&symbolMap), RTLD_DL_LINKMAP) == 0
		|| symbolMap != imageMap)
		return B_MISSING_SYMBOL;
	// The symbol table entry at that address tells the kind; an alias of
	// another name there is taken as is.
	void* entryAddress = nullptr;
	if (dladdr1(symbol, &where, &entryAddress, RTLD_DL_SYMENT) != 0 && entryAddress != nullptr
		&& where.dli_sname != nullptr && strcmp(where.dli_sname, name) == 0) {
		auto* entry = static_cast<const ElfW(Sym)*>(entryAddress);
		if (!TypeMatches(symbolType, ELF32_ST_TYPE(entry->st_info)))   // same for 64-bit entries
			return B_MISSING_SYMBOL;
	}

	*location = symbol;
	return B_OK;
}

const char* last_add_on_error()
{
	return tLastError.c_str();
}
