// The command library and the driver add-ons of the build, loaded once per
// test program from the build's add-on folder, the way the program loads
// them.
#pragma once

#include "driver/driverbaseclass.h"
#include "kit/kernel/OS.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <utility>

namespace drivertest {

struct CAddOn {
	image_id image = -1;
	bool (*InitDriver)(image_id) = nullptr;
	CDriver* (*LoadDriver)(const SCSI_INQUIRY*) = nullptr;
	bool (*ExitDriver)() = nullptr;
	const char* name = nullptr;
	const char* version = nullptr;
	const char* description = nullptr;
};

inline std::string AddOnPath(const std::string& name)
{
	return std::string(TARNWICK_ADDONS_DIR) + "/" + name;
}

// The command library's image; fails the test when it does not load.
inline image_id GenericImage()
{
	static image_id image = load_add_on(AddOnPath("generic").c_str());
	EXPECT_GT(image, 0) << last_add_on_error();
	return image;
}

// Address of a command library function, or null.
inline void* GenericFunction(const char* name)
{
	void* address = nullptr;
	if (get_image_symbol(GenericImage(), name, B_SYMBOL_TYPE_TEXT, &address) != B_OK)
		return nullptr;
	return address;
}

// A driver add-on, loaded once and initialised with the command library.
inline const CAddOn& AddOn(const std::string& name)
{
	static std::map<std::string, CAddOn> loaded;
	auto found = loaded.find(name);
	if (found != loaded.end())
		return found->second;
	CAddOn addOn;
	addOn.image = load_add_on(AddOnPath(name).c_str());
	EXPECT_GT(addOn.image, 0) << name << ": " << last_add_on_error();
	auto symbol = [&](const char* symbolName, int32 type) {
		void* address = nullptr;
		EXPECT_EQ(get_image_symbol(addOn.image, symbolName, type, &address), B_OK) << name << " " << symbolName;
		return address;
	};
	addOn.InitDriver = reinterpret_cast<bool (*)(image_id)>(symbol("InitDriver", B_SYMBOL_TYPE_TEXT));
	addOn.LoadDriver = reinterpret_cast<CDriver* (*)(const SCSI_INQUIRY*)>(symbol("LoadDriver", B_SYMBOL_TYPE_TEXT));
	addOn.ExitDriver = reinterpret_cast<bool (*)()>(symbol("ExitDriver", B_SYMBOL_TYPE_TEXT));
	for (auto [field, symbolName] : {std::pair {&addOn.name, "pszDriverName"},
			 std::pair {&addOn.version, "pszDriverVersion"}, std::pair {&addOn.description, "pszDriverDescription"}}) {
		auto* text = static_cast<const char**>(symbol(symbolName, B_SYMBOL_TYPE_DATA));
		*field = text != nullptr ? *text : nullptr;
	}
	if (addOn.InitDriver != nullptr) {
		EXPECT_TRUE(addOn.InitDriver(GenericImage()));
	}
	return loaded.emplace(name, addOn).first->second;
}

// Inquiry data as a drive sends them: vendor, product and revision blank
// padded, then `vendor` at byte 8 and `product` at byte 16 (a product
// longer than its field runs into the revision field).
inline SCSI_INQUIRY Inquiry(const std::string& vendor, const std::string& product)
{
	SCSI_INQUIRY inquiry;
	memset(&inquiry, 0, sizeof(inquiry));
	inquiry.PeripheralDeviceType = 5;
	auto* bytes = reinterpret_cast<char*>(&inquiry);
	memset(bytes + 8, ' ', 28);
	memcpy(bytes + 8, vendor.data(), std::min<size_t>(vendor.size(), 8));
	memcpy(bytes + 16, product.data(), std::min<size_t>(product.size(), 40));
	return inquiry;
}

}   // namespace drivertest
