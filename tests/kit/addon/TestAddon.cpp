// A small add-on for the image tests: one function, one string and one
// counter, exported by name like the driver add-ons export theirs.
#include "kit/support/SupportDefs.h"

#define TEST_ADDON_EXPORT __attribute__((visibility("default")))

extern "C" {

TEST_ADDON_EXPORT const char* pszTestAddonName = "test add-on";

TEST_ADDON_EXPORT int32 TestAddonCounter = 0;

// Returns a + b and counts the calls, so a test sees that the add-on's own
// state is used.
TEST_ADDON_EXPORT int32 TestAddonAdd(int32 a, int32 b)
{
	TestAddonCounter++;
	return a + b;
}

}   // extern "C"
